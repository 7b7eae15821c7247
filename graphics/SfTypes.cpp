#include "graphics/SfTypes.h"

#include <algorithm>
#include <climits>
#include <cstdint>

#include "platform/Geometry.h"

namespace SfTypes {

namespace {
int ClampToInt(int64_t v)
{
    if (v > INT_MAX)
        return INT_MAX;
    if (v < INT_MIN)
        return INT_MIN;
    return static_cast<int>(v);
}

int64_t FloorDiv(int64_t a, int64_t b)
{
    int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0)))
        --q;
    return q;
}

}

POINT MakePoint(int x, int y)
{
    return POINT{x, y};
}

SIZE MakeSize(int cx, int cy)
{
    return SIZE{cx, cy};
}

RECT MakeRect(int left, int top, int right, int bottom)
{
    return RECT{left, top, right, bottom};
}

RECT RectFromSize(const SIZE& size)
{
    return RECT{0, 0, size.cx, size.cy};
}

SIZE RectSize(const RECT& r)
{
    return SIZE{RectWidth(r), RectHeight(r)};
}

bool IsRectEmpty(const RECT& r)
{
    return r.right <= r.left || r.bottom <= r.top;
}

bool EqualRect(const RECT& a, const RECT& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

bool PtInRect(const RECT& r, const POINT& p)
{
    return PointInRect(r, p);
}

bool OffsetRect(RECT* r, int dx, int dy)
{
    if (!r)
        return false;
    r->left += dx;
    r->right += dx;
    r->top += dy;
    r->bottom += dy;
    return true;
}

namespace {
// Stores d, or a zeroed rectangle when d is empty; answers whether d was stored.
bool StoreUnlessEmpty(RECT& dest, const RECT& d)
{
    if (IsRectEmpty(d)) {
        dest = RECT{};
        return false;
    }
    dest = d;
    return true;
}
}

bool IntersectRect(RECT& dest, const RECT& a, const RECT& b)
{
    return StoreUnlessEmpty(dest, RECT{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                                       std::min(a.bottom, b.bottom)});
}

bool UnionRect(RECT& dest, const RECT& a, const RECT& b)
{
    if (IsRectEmpty(b))
        return StoreUnlessEmpty(dest, a);
    return StoreUnlessEmpty(dest, RECT{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
                                       std::max(a.bottom, b.bottom)});
}

RECT UnionNonEmpty(const RECT& a, const RECT& b)
{
    if (IsRectEmpty(a))
        return b;
    if (IsRectEmpty(b))
        return a;
    return RECT{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
                std::max(a.bottom, b.bottom)};
}

RECT RectFromCorners(const POINT& a, const POINT& b)
{
    return RECT{std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
}

RECT InflatedRect(const RECT& r, int d)
{
    return RECT{r.left - d, r.top - d, r.right + d, r.bottom + d};
}

int MulDivFloor(int a, int b, int c)
{
    if (c == 0)
        return -1;
    return ClampToInt(FloorDiv(static_cast<int64_t>(a) * b, c));
}

void FitRectProportional(const RECT& source, const RECT& dest, RECT& result)
{
    int sw = RectWidth(source);
    int sh = RectHeight(source);
    if (sw == 0)
        sw = 1;
    if (sh == 0)
        sh = 1;
    int dw = RectWidth(dest);
    int dh = RectHeight(dest);
    long double heightRatio = static_cast<long double>(dh) / sh;
    long double widthRatio = static_cast<long double>(dw) / sw;
    if (heightRatio <= widthRatio) {
        int w = MulDivFloor(sw, dh, sh);
        int left = ClampToInt(dest.left + FloorDiv(static_cast<int64_t>(dw) - w, 2));
        result = RECT{left, dest.top, ClampToInt(static_cast<int64_t>(left) + w), dest.bottom};
        return;
    }
    int h = MulDivFloor(sh, dw, sw);
    int top = ClampToInt(dest.top + FloorDiv(static_cast<int64_t>(dh) - h, 2));
    result = RECT{dest.left, top, dest.right, ClampToInt(static_cast<int64_t>(top) + h)};
}

}
