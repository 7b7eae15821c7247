// Plain rectangle, point and size helpers of the document model. Rectangles are half-open:
// Right and Bottom lie outside. Rectangles that only touch do not intersect here (they do in the
// bitmap unit's Gfx32::IntersectRect).
#pragma once

#include <windows.h>

namespace SfTypes {

POINT MakePoint(int x, int y);
SIZE MakeSize(int cx, int cy);
RECT MakeRect(int left, int top, int right, int bottom);
// (0, 0, cx, cy).
RECT RectFromSize(const SIZE& size);
SIZE RectSize(const RECT& r);

bool IsRectEmpty(const RECT& r);
bool EqualRect(const RECT& a, const RECT& b);
bool PtInRect(const RECT& r, const POINT& p);
// False only when no rectangle is given.
bool OffsetRect(RECT* r, int dx, int dy);
// D := A clipped to B; an empty result is zeroed and answers false.
bool IntersectRect(RECT& dest, const RECT& a, const RECT& b);
// D := A grown to B unless B is empty (A counts even when empty); an empty result is zeroed and answers false.
bool UnionRect(RECT& dest, const RECT& a, const RECT& b);
// The union of two rectangles where an empty one, either one, adds nothing.
RECT UnionNonEmpty(const RECT& a, const RECT& b);
// The rectangle with two opposite corners at a and b, in either order.
RECT RectFromCorners(const POINT& a, const POINT& b);
// r grown by d on every side.
RECT InflatedRect(const RECT& r, int d);

// a * b / c rounded toward minus infinity, with a 64-bit product. A zero divisor gives -1,
// like MulDiv; a quotient beyond 32 bits is clamped.
int MulDivFloor(int a, int b, int c);

// The largest rectangle of source's proportions, centred in dest.
void FitRectProportional(const RECT& source, const RECT& dest, RECT& result);

}
