// Point and rectangle helpers shared by every folder. Rectangles are half-open: the right column
// and the bottom row lie outside.
#pragma once

#include <windows.h>

inline int RectWidth(const RECT& r) { return r.right - r.left; }
inline int RectHeight(const RECT& r) { return r.bottom - r.top; }

inline bool PointInRect(const RECT& r, POINT p)
{
    return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom;
}
