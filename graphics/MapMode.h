// Conversion between logical coordinates (0.01 mm in THiMetric) and device pixels by origin,
// extents and zoom: the screen at a zoom, a printer page, a raster of a chosen resolution.
#pragma once

#include <windows.h>

#include "platform/ObjectModel.h"

class TMapMode : public TObject {
    SF_CLASS(TMapMode)
public:
    TMapMode() = default;

    // A zero component leaves the map mode unchanged; else the extent is stored and its zoom
    // pair (numerator for the viewport, denominator for the window) reset to (1, 1).
    virtual void SetWindowExt(const POINT& p);
    virtual void SetOrigin(const POINT& p);
    virtual void SetViewportExt(const POINT& p);
    virtual void Assign(const TMapMode* source);

    void Setup(const POINT& viewport, const POINT& window, bool swapXY, const POINT& origin);
    // Scales the extents from the current zoom to num/den; nothing unless both are at least 1.
    void SetZoom(int num, int den);
    // (numerator, denominator).
    POINT GetZoom() const { return POINT{FZoomNum.x, FZoomDen.x}; }
    // Maps the logical rectangle's size isotropically into the device rectangle, centred;
    // logical (0, 0) lands on the top-left of the used part, which is returned.
    void ZoomToFit(const RECT& deviceRect, const RECT& logicalRect, RECT& used);

    POINT GetViewportExt() const { return FViewportExt; }
    POINT GetWindowExt() const { return FWindowExt; }
    POINT GetOrigin() const { return FOrigin; }

    POINT LPtoDP(const POINT& p) const;
    POINT DPtoLP(const POINT& p) const;
    POINT LPtoDPSize(const POINT& p) const;
    POINT DPtoLPSize(const POINT& p) const;
    RECT LPtoDPRect(const RECT& r) const;
    RECT DPtoLPRect(const RECT& r) const;
    RECT LPtoDPSizeRect(const RECT& r) const;
    int LPtoDPLength(int v) const;
    // Text line position: the height scaled in floating point plus the offset, truncated.
    int LPtoDPY(int h, double offset) const;

protected:
    POINT FZoomNum{1, 1};
    POINT FZoomDen{1, 1};
    POINT FViewportExt{0, 0};
    POINT FWindowExt{0, 0};
    POINT FOrigin{0, 0};
};

// The device capabilities a printer page set-up reads; filled from a printer DC or by a test.
struct TPrinterPageCaps {
    int PhysicalOffsetX = 0;
    int PhysicalOffsetY = 0;
    int HorzSizeMM = 0;
    int VertSizeMM = 0;
    int HorzRes = 0;
    int VertRes = 0;
};

TPrinterPageCaps GetPrinterPageCaps(HDC dc);

// A map mode in 0.01 mm logical units (2540 to the inch).
class THiMetric : public TMapMode {
    SF_CLASS(THiMetric)
public:
    THiMetric() = default;

    void SetDPI(const POINT& dpi);
    void SetDC(HDC dc);
    void SetScreen();
    // Logical coordinates from the physical paper corner, device ones from the printable area.
    void SetPrinterPage(HDC dc);
    void SetPrinterPage(const TPrinterPageCaps& caps);
    POINT PixelsPerInch() const;
};

int PointsToHiMetric(float points);
int InchesToHiMetric(float inches);
int MMToHiMetric(float mm);
float HiMetricToInches(int n);
float HiMetricToMM(int n);
