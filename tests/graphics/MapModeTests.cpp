#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstdlib>

#include "graphics/MapMode.h"
#include "graphics/SfTypes.h"

namespace {

// Windows MulDiv: 64-bit product, halves rounded away from zero.
int RefMulDiv(int a, int b, int c)
{
    int64_t p = static_cast<int64_t>(a) * b;
    int64_t q = (2 * std::llabs(p) + std::llabs(static_cast<int64_t>(c))) / (2 * std::llabs(static_cast<int64_t>(c)));
    return static_cast<int>(((p < 0) != (c < 0)) ? -q : q);
}

void ExpectPoint(const POINT& p, int x, int y)
{
    EXPECT_EQ(p.x, x);
    EXPECT_EQ(p.y, y);
}

void ExpectRect(const RECT& r, int l, int t, int rr, int b)
{
    EXPECT_EQ(r.left, l);
    EXPECT_EQ(r.top, t);
    EXPECT_EQ(r.right, rr);
    EXPECT_EQ(r.bottom, b);
}

}

TEST(MapMode, CreateAndZeroExtentsAreIgnored)
{
    THiMetric m;
    ExpectPoint(m.GetZoom(), 1, 1);
    ExpectPoint(m.GetViewportExt(), 0, 0);
    // Before any extent is set a conversion yields MulDiv's -1 instead of faulting.
    ExpectPoint(m.LPtoDPSize(POINT{5, 5}), -1, -1);
    EXPECT_EQ(m.LPtoDPY(10, 0.0), -1);

    m.SetDPI(POINT{96, 96});
    m.SetZoom(3, 2);
    m.SetViewportExt(POINT{0, 5});
    m.SetWindowExt(POINT{7, 0});
    ExpectPoint(m.GetViewportExt(), 288, 288);
    ExpectPoint(m.GetWindowExt(), 5080, 5080);
    ExpectPoint(m.GetZoom(), 3, 2);
}

TEST(MapMode, SetDCAndDPI)
{
    THiMetric m;
    m.SetDPI(POINT{96, 96});
    ExpectPoint(m.LPtoDP(POINT{1270, 0}), 48, 0);
    ExpectPoint(m.LPtoDP(POINT{2540, -2540}), 96, -96);
    ExpectPoint(m.PixelsPerInch(), 96, 96);

    m.SetDPI(POINT{300, 150});
    ExpectPoint(m.PixelsPerInch(), 300, 150);

    HDC dc = GetDC(nullptr);
    int dpiX = GetDeviceCaps(dc, LOGPIXELSX);
    int dpiY = GetDeviceCaps(dc, LOGPIXELSY);
    m.SetDC(dc);
    ReleaseDC(nullptr, dc);
    ExpectPoint(m.LPtoDPSize(POINT{2540, 2540}), dpiX, dpiY);

    THiMetric screen;
    screen.SetScreen();
    ExpectPoint(screen.PixelsPerInch(), dpiX, dpiY);
    ExpectPoint(screen.GetOrigin(), 0, 0);
}

TEST(MapMode, ZoomDoesNotCompound)
{
    THiMetric m;
    m.SetDPI(POINT{96, 96});
    m.SetZoom(2, 1);
    ExpectPoint(m.GetViewportExt(), 192, 192);
    m.SetZoom(2, 1);
    ExpectPoint(m.GetViewportExt(), 192, 192);
    ExpectPoint(m.GetWindowExt(), 2540, 2540);
    ExpectPoint(m.GetZoom(), 2, 1);

    m.SetZoom(1, 4);
    ExpectPoint(m.GetViewportExt(), 96, 96);
    ExpectPoint(m.GetWindowExt(), 10160, 10160);
    ExpectPoint(m.GetZoom(), 1, 4);

    m.SetZoom(0, 1);
    m.SetZoom(1, -2);
    ExpectPoint(m.GetZoom(), 1, 4);

    // An extent setter resets its zoom pair.
    m.SetViewportExt(POINT{50, 50});
    ExpectPoint(m.GetZoom(), 1, 4);
    m.SetWindowExt(POINT{100, 100});
    ExpectPoint(m.GetZoom(), 1, 1);
}

TEST(MapMode, SetupSwapsAndAssignCopies)
{
    TMapMode m;
    m.Setup(POINT{10, 20}, POINT{30, 40}, true, POINT{5, 6});
    ExpectPoint(m.GetViewportExt(), 20, 10);
    ExpectPoint(m.GetWindowExt(), 40, 30);
    ExpectPoint(m.GetOrigin(), 6, 5);
    m.SetZoom(3, 7);

    THiMetric copy;
    copy.Assign(&m);
    ExpectPoint(copy.GetViewportExt(), 60, 30);
    ExpectPoint(copy.GetWindowExt(), 280, 210);
    ExpectPoint(copy.GetOrigin(), 6, 5);
    ExpectPoint(copy.GetZoom(), 3, 7);
    copy.Assign(nullptr);
    ExpectPoint(copy.GetZoom(), 3, 7);
}

TEST(MapMode, ConversionsFollowMulDivAtSeveralResolutionsAndZooms)
{
    const int dpis[] = {72, 96, 120, 150, 300, 600};
    const int zooms[][2] = {{1, 1}, {2, 1}, {1, 3}, {5, 4}};
    for (int dpi : dpis) {
        for (auto& z : zooms) {
            THiMetric m;
            m.SetDPI(POINT{dpi, dpi * 2});
            m.SetOrigin(POINT{-13, 17});
            m.SetZoom(z[0], z[1]);
            POINT vp = m.GetViewportExt();
            POINT wn = m.GetWindowExt();
            EXPECT_EQ(vp.x, dpi * z[0]);
            EXPECT_EQ(wn.y, 2540 * z[1]);
            for (int v = -30001; v <= 30001; v += 377) {
                POINT d = m.LPtoDP(POINT{v, -v});
                ASSERT_EQ(d.x, RefMulDiv(v, vp.x, wn.x) - 13);
                ASSERT_EQ(d.y, RefMulDiv(-v, vp.y, wn.y) + 17);
                POINT l = m.DPtoLP(POINT{v, -v});
                ASSERT_EQ(l.x, RefMulDiv(v + 13, wn.x, vp.x));
                ASSERT_EQ(l.y, RefMulDiv(-v - 17, wn.y, vp.y));
                ASSERT_EQ(m.LPtoDPLength(v), RefMulDiv(v, vp.x, wn.x));
            }
        }
    }
}

TEST(MapMode, RoundsHalvesAwayFromZero)
{
    TMapMode m;
    m.Setup(POINT{1, 1}, POINT{2, 2}, false, POINT{0, 0});
    ExpectPoint(m.LPtoDPSize(POINT{1, -1}), 1, -1);
    ExpectPoint(m.LPtoDPSize(POINT{3, -3}), 2, -2);
    ExpectPoint(m.LPtoDPSize(POINT{2, -2}), 1, -1);

    m.SetOrigin(POINT{100, -100});
    ExpectRect(m.LPtoDPRect(RECT{-3, -1, 5, 7}), 98, -101, 103, -96);
    ExpectRect(m.LPtoDPSizeRect(RECT{-3, -1, 5, 7}), -2, -1, 3, 4);
    ExpectRect(m.DPtoLPRect(RECT{98, -101, 103, -96}), -4, -2, 6, 8);
}

TEST(MapMode, LPtoDPYKeepsTheProductIn64Bits)
{
    THiMetric m;
    m.SetDPI(POINT{600, 600});
    // 10,000,000 x 600 does not fit 32 bits.
    EXPECT_EQ(m.LPtoDPY(10000000, 0.5), 2362205);
    EXPECT_EQ(m.LPtoDPY(-10000000, 0.0), -2362204);
    m.SetDPI(POINT{96, 96});
    EXPECT_EQ(m.LPtoDPY(-10, 0.0), 0);
    EXPECT_EQ(m.LPtoDPY(2540, 0.99), 96);
    EXPECT_EQ(m.LPtoDPY(2540, -0.5), 95);
    EXPECT_EQ(m.LPtoDPY(0, 1e30), INT_MAX);
}

TEST(MapMode, ZoomToFit)
{
    TMapMode m;
    RECT used{};
    m.ZoomToFit(RECT{0, 0, 1000, 1000}, RECT{0, 0, 21000, 29700}, used);
    ExpectRect(used, 146, 0, 853, 1000);
    ExpectPoint(m.GetViewportExt(), 1000, 1000);
    ExpectPoint(m.GetWindowExt(), 29700, 29700);
    ExpectPoint(m.LPtoDP(POINT{0, 0}), 146, 0);
    ExpectPoint(m.LPtoDP(POINT{21000, 29700}), 853, 1000);

    // Landscape: scaled by width and centred vertically; the logical position is not used.
    m.ZoomToFit(RECT{10, 20, 1010, 1020}, RECT{500, 500, 30200, 21500}, used);
    ExpectRect(used, 10, 166, 1010, 873);
    ExpectPoint(m.GetOrigin(), 10, 166);
    ExpectPoint(m.GetWindowExt(), 29700, 29700);

    // A tie scales by height.
    m.ZoomToFit(RECT{0, 0, 300, 200}, RECT{0, 0, 30, 20}, used);
    ExpectRect(used, 0, 0, 300, 200);
    ExpectPoint(m.GetViewportExt(), 200, 200);
    ExpectPoint(m.GetWindowExt(), 20, 20);
}

TEST(MapMode, PrinterPageFromInjectedCaps)
{
    TPrinterPageCaps caps;
    caps.PhysicalOffsetX = 100;
    caps.PhysicalOffsetY = 120;
    caps.HorzSizeMM = 203;
    caps.VertSizeMM = 287;
    caps.HorzRes = 4795;
    caps.VertRes = 6779;
    THiMetric m;
    m.SetPrinterPage(caps);
    ExpectPoint(m.GetOrigin(), -100, -120);
    ExpectPoint(m.GetWindowExt(), 20300, 28700);
    ExpectPoint(m.GetViewportExt(), 4795, 6779);
    // The paper corner lies before the printable area's first pixel.
    ExpectPoint(m.LPtoDP(POINT{0, 0}), -100, -120);
    ExpectPoint(m.LPtoDP(POINT{20300, 28700}), 4695, 6659);
    ExpectPoint(m.DPtoLP(POINT{0, 0}), 423, 508);

    // A display DC has no physical offset: the page starts at the device origin.
    HDC dc = GetDC(nullptr);
    TPrinterPageCaps screen = GetPrinterPageCaps(dc);
    EXPECT_EQ(screen.HorzRes, GetDeviceCaps(dc, HORZRES));
    m.SetPrinterPage(dc);
    ReleaseDC(nullptr, dc);
    ExpectPoint(m.GetOrigin(), 0, 0);
    EXPECT_EQ(m.GetViewportExt().x, screen.HorzRes);
    EXPECT_EQ(m.GetWindowExt().y, screen.VertSizeMM * 100);
}

TEST(MapMode, UnitConversionsRoundHalvesToEvenInExtendedPrecision)
{
    EXPECT_EQ(PointsToHiMetric(9), 318);
    EXPECT_EQ(PointsToHiMetric(12), 423);
    EXPECT_EQ(PointsToHiMetric(45), 1587);
    EXPECT_EQ(PointsToHiMetric(-12), -423);
    EXPECT_EQ(InchesToHiMetric(1.5f), 3810);
    EXPECT_EQ(InchesToHiMetric(-0.5f), -1270);
    EXPECT_EQ(MMToHiMetric(0.125f), 12);
    EXPECT_EQ(MMToHiMetric(0.375f), 38);
    EXPECT_EQ(MMToHiMetric(-0.125f), -12);
    EXPECT_FLOAT_EQ(HiMetricToInches(3810), 1.5f);
    EXPECT_FLOAT_EQ(HiMetricToMM(150), 1.5f);
    EXPECT_FLOAT_EQ(HiMetricToMM(-25), -0.25f);
}

TEST(SfTypes, RectangleHelpers)
{
    using namespace SfTypes;
    RECT d{};
    EXPECT_TRUE(UnionRect(d, MakeRect(0, 0, 0, 0), MakeRect(10, 10, 20, 20)));
    ExpectRect(d, 0, 0, 20, 20);
    EXPECT_TRUE(UnionRect(d, MakeRect(1, 1, 5, 5), MakeRect(10, 10, 10, 20)));
    ExpectRect(d, 1, 1, 5, 5);
    d = MakeRect(1, 2, 3, 4);
    EXPECT_FALSE(UnionRect(d, MakeRect(5, 5, 5, 9), MakeRect(3, 3, 2, 2)));
    ExpectRect(d, 0, 0, 0, 0);

    d = MakeRect(1, 2, 3, 4);
    EXPECT_FALSE(IntersectRect(d, MakeRect(0, 0, 10, 10), MakeRect(10, 0, 20, 10)));
    ExpectRect(d, 0, 0, 0, 0);
    EXPECT_TRUE(IntersectRect(d, MakeRect(-5, -5, 10, 10), MakeRect(0, 2, 20, 8)));
    ExpectRect(d, 0, 2, 10, 8);

    EXPECT_TRUE(IsRectEmpty(MakeRect(0, 0, 0, 5)));
    EXPECT_TRUE(IsRectEmpty(MakeRect(0, 5, 5, 4)));
    EXPECT_FALSE(IsRectEmpty(MakeRect(-2, -2, -1, -1)));
    EXPECT_TRUE(EqualRect(MakeRect(1, 2, 3, 4), MakeRect(1, 2, 3, 4)));
    EXPECT_FALSE(EqualRect(MakeRect(1, 2, 3, 4), MakeRect(1, 2, 3, 5)));
    EXPECT_TRUE(PtInRect(MakeRect(0, 0, 10, 10), MakePoint(0, 9)));
    EXPECT_FALSE(PtInRect(MakeRect(0, 0, 10, 10), MakePoint(10, 5)));
    EXPECT_FALSE(PtInRect(MakeRect(0, 0, 10, 10), MakePoint(5, 10)));

    RECT r = MakeRect(1, 2, 3, 4);
    EXPECT_TRUE(SfTypes::OffsetRect(&r, -5, 10));
    ExpectRect(r, -4, 12, -2, 14);
    EXPECT_FALSE(SfTypes::OffsetRect(nullptr, 1, 1));

    SIZE s = RectSize(MakeRect(-3, 4, 7, 2));
    EXPECT_EQ(s.cx, 10);
    EXPECT_EQ(s.cy, -2);
    ExpectRect(RectFromSize(MakeSize(7, 9)), 0, 0, 7, 9);
}

TEST(SfTypes, MulDivFloorUses64BitProductsAndFloors)
{
    using SfTypes::MulDivFloor;
    EXPECT_EQ(MulDivFloor(-7, 1, 2), -4);
    EXPECT_EQ(MulDivFloor(7, 1, 2), 3);
    EXPECT_EQ(MulDivFloor(7, -1, 2), -4);
    EXPECT_EQ(MulDivFloor(-7, -1, 2), 3);
    EXPECT_EQ(MulDivFloor(7, 1, -2), -4);
    EXPECT_EQ(MulDivFloor(-8, 1, 2), -4);
    EXPECT_EQ(MulDivFloor(100000, 100000, 1000), 10000000);
    EXPECT_EQ(MulDivFloor(-100000, 100000, 30000), -333334);
    EXPECT_EQ(MulDivFloor(INT_MAX, INT_MAX, 1), INT_MAX);
    EXPECT_EQ(MulDivFloor(1, 1, 0), -1);
}

TEST(SfTypes, FitRectProportional)
{
    using namespace SfTypes;
    RECT r{};
    FitRectProportional(MakeRect(0, 0, 200, 100), MakeRect(0, 0, 100, 100), r);
    ExpectRect(r, 0, 25, 100, 75);
    FitRectProportional(MakeRect(0, 0, 100, 200), MakeRect(10, 10, 110, 110), r);
    ExpectRect(r, 35, 10, 85, 110);
    // A zero side counts as 1; odd slack is halved rounding down.
    FitRectProportional(MakeRect(5, 5, 5, 5), MakeRect(0, 0, 101, 50), r);
    ExpectRect(r, 25, 0, 75, 50);
    FitRectProportional(MakeRect(0, 0, 3, 7), MakeRect(0, 0, 10, 10), r);
    ExpectRect(r, 3, 0, 7, 10);
    // Equal ratios centre horizontally over the full height.
    FitRectProportional(MakeRect(0, 0, 2, 1), MakeRect(0, 0, 20, 10), r);
    ExpectRect(r, 0, 0, 20, 10);
    // Large sizes do not overflow the product.
    FitRectProportional(MakeRect(0, 0, 100000, 50000), MakeRect(0, 0, 90000, 90000), r);
    ExpectRect(r, 0, 22500, 90000, 67500);
}
