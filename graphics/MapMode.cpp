#include "graphics/MapMode.h"

#include <climits>
#include <cmath>
#include <cstdint>
#include <utility>

SF_IMPLEMENT_CLASS(TMapMode, TObject)
SF_IMPLEMENT_CLASS(THiMetric, TMapMode)

namespace {
POINT Swapped(const POINT& p)
{
    return POINT{p.y, p.x};
}

// Round to nearest with halves to even, in extended precision like the unit constants.
int RoundExtended(long double v)
{
    return static_cast<int>(std::nearbyint(v));
}
}

void TMapMode::SetWindowExt(const POINT& p)
{
    if (p.x == 0 || p.y == 0)
        return;
    FWindowExt = p;
    FZoomDen = POINT{1, 1};
}

void TMapMode::SetOrigin(const POINT& p)
{
    FOrigin = p;
}

void TMapMode::SetViewportExt(const POINT& p)
{
    if (p.x == 0 || p.y == 0)
        return;
    FViewportExt = p;
    FZoomNum = POINT{1, 1};
}

void TMapMode::Assign(const TMapMode* source)
{
    if (!source)
        return;
    FZoomNum = source->FZoomNum;
    FZoomDen = source->FZoomDen;
    FViewportExt = source->FViewportExt;
    FWindowExt = source->FWindowExt;
    FOrigin = source->FOrigin;
}

void TMapMode::Setup(const POINT& viewport, const POINT& window, bool swapXY, const POINT& origin)
{
    SetViewportExt(swapXY ? Swapped(viewport) : viewport);
    SetWindowExt(swapXY ? Swapped(window) : window);
    SetOrigin(swapXY ? Swapped(origin) : origin);
}

void TMapMode::SetZoom(int num, int den)
{
    if (num < 1 || den < 1)
        return;
    POINT viewport{MulDiv(FViewportExt.x, num, FZoomNum.x), MulDiv(FViewportExt.y, num, FZoomNum.y)};
    POINT window{MulDiv(FWindowExt.x, den, FZoomDen.x), MulDiv(FWindowExt.y, den, FZoomDen.y)};
    SetViewportExt(viewport);
    SetWindowExt(window);
    FZoomNum = POINT{num, num};
    FZoomDen = POINT{den, den};
}

void TMapMode::ZoomToFit(const RECT& d, const RECT& l, RECT& used)
{
    int dw = d.right - d.left;
    int dh = d.bottom - d.top;
    int lw = l.right - l.left;
    int lh = l.bottom - l.top;
    long double heightRatio = static_cast<long double>(dh) / lh;
    long double widthRatio = static_cast<long double>(dw) / lw;
    if (heightRatio > widthRatio) {
        SetViewportExt(POINT{dw, dw});
        SetWindowExt(POINT{lw, lw});
        int h = MulDiv(lh, dw, lw);
        int off = (dh - h) / 2;
        used = RECT{d.left, d.top + off, d.right, d.top + off + h};
        SetOrigin(POINT{d.left, d.top + off});
        return;
    }
    SetViewportExt(POINT{dh, dh});
    SetWindowExt(POINT{lh, lh});
    int w = MulDiv(lw, dh, lh);
    int off = (dw - w) / 2;
    used = RECT{d.left + off, d.top, d.left + off + w, d.bottom};
    SetOrigin(POINT{d.left + off, d.top});
}

POINT TMapMode::LPtoDP(const POINT& p) const
{
    return POINT{MulDiv(p.x, FViewportExt.x, FWindowExt.x) + FOrigin.x,
                 MulDiv(p.y, FViewportExt.y, FWindowExt.y) + FOrigin.y};
}

POINT TMapMode::DPtoLP(const POINT& p) const
{
    return POINT{MulDiv(p.x - FOrigin.x, FWindowExt.x, FViewportExt.x),
                 MulDiv(p.y - FOrigin.y, FWindowExt.y, FViewportExt.y)};
}

POINT TMapMode::LPtoDPSize(const POINT& p) const
{
    return POINT{MulDiv(p.x, FViewportExt.x, FWindowExt.x), MulDiv(p.y, FViewportExt.y, FWindowExt.y)};
}

POINT TMapMode::DPtoLPSize(const POINT& p) const
{
    return POINT{MulDiv(p.x, FWindowExt.x, FViewportExt.x), MulDiv(p.y, FWindowExt.y, FViewportExt.y)};
}

RECT TMapMode::LPtoDPRect(const RECT& r) const
{
    POINT a = LPtoDP(POINT{r.left, r.top});
    POINT b = LPtoDP(POINT{r.right, r.bottom});
    return RECT{a.x, a.y, b.x, b.y};
}

RECT TMapMode::DPtoLPRect(const RECT& r) const
{
    POINT a = DPtoLP(POINT{r.left, r.top});
    POINT b = DPtoLP(POINT{r.right, r.bottom});
    return RECT{a.x, a.y, b.x, b.y};
}

RECT TMapMode::LPtoDPSizeRect(const RECT& r) const
{
    POINT a = LPtoDPSize(POINT{r.left, r.top});
    POINT b = LPtoDPSize(POINT{r.right, r.bottom});
    return RECT{a.x, a.y, b.x, b.y};
}

int TMapMode::LPtoDPLength(int v) const
{
    return LPtoDPSize(POINT{v, v}).x;
}

int TMapMode::LPtoDPY(int h, double offset) const
{
    // Like MulDiv, an unset window extent gives -1 instead of a division by zero.
    if (FWindowExt.y == 0)
        return -1;
    long double v = static_cast<long double>(static_cast<int64_t>(h) * FViewportExt.y) / FWindowExt.y + offset;
    if (!(v > static_cast<long double>(INT_MIN) - 1))
        return INT_MIN;
    if (!(v < static_cast<long double>(INT_MAX) + 1))
        return INT_MAX;
    return static_cast<int>(std::trunc(v));
}

TPrinterPageCaps GetPrinterPageCaps(HDC dc)
{
    TPrinterPageCaps caps;
    caps.PhysicalOffsetX = GetDeviceCaps(dc, PHYSICALOFFSETX);
    caps.PhysicalOffsetY = GetDeviceCaps(dc, PHYSICALOFFSETY);
    caps.HorzSizeMM = GetDeviceCaps(dc, HORZSIZE);
    caps.VertSizeMM = GetDeviceCaps(dc, VERTSIZE);
    caps.HorzRes = GetDeviceCaps(dc, HORZRES);
    caps.VertRes = GetDeviceCaps(dc, VERTRES);
    return caps;
}

void THiMetric::SetDPI(const POINT& dpi)
{
    Setup(dpi, POINT{2540, 2540}, false, POINT{0, 0});
}

void THiMetric::SetDC(HDC dc)
{
    SetDPI(POINT{GetDeviceCaps(dc, LOGPIXELSX), GetDeviceCaps(dc, LOGPIXELSY)});
}

void THiMetric::SetScreen()
{
    HDC dc = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
    if (!dc)
        RaiseLastOSError("CreateDC(DISPLAY)");
    SetDC(dc);
    DeleteDC(dc);
}

void THiMetric::SetPrinterPage(HDC dc)
{
    SetPrinterPage(GetPrinterPageCaps(dc));
}

void THiMetric::SetPrinterPage(const TPrinterPageCaps& caps)
{
    Setup(POINT{caps.HorzRes, caps.VertRes}, POINT{caps.HorzSizeMM * 100, caps.VertSizeMM * 100}, false,
          POINT{-caps.PhysicalOffsetX, -caps.PhysicalOffsetY});
}

POINT THiMetric::PixelsPerInch() const
{
    return LPtoDPSize(POINT{2540, 2540});
}

int PointsToHiMetric(float points)
{
    return RoundExtended(static_cast<long double>(points) * (2540.0L / 72.0L));
}

int InchesToHiMetric(float inches)
{
    return RoundExtended(static_cast<long double>(inches) * 2540.0L);
}

int MMToHiMetric(float mm)
{
    return RoundExtended(static_cast<long double>(mm) * 100.0L);
}

float HiMetricToInches(int n)
{
    return static_cast<float>(static_cast<long double>(n) / 2540.0L);
}

float HiMetricToMM(int n)
{
    return static_cast<float>(static_cast<long double>(n) / 100.0L);
}
