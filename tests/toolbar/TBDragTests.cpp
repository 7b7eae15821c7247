// The move and size loops: their decisions on their own, then real drags in real windows driven
// by timer scripts (each with a watchdog): docking, floating, rows, Ctrl, Escape, split drags and
// sizing limits.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DockTestSupport.h"
#include "ToolbarTestSupport.h"
#include "toolbar/TBDragLoops.h"
#include "toolbar/TBFloatingWindow.h"

namespace {

TEST(TBDragDecisions, RowByQuarters)
{
    const std::vector<TTBDockRowInfo> rows = {{24, false}, {40, true}, {24, false}};
    struct TCase {
        int Coordinate;
        bool MovedFullSize;
        TTBRowChoice Expected;
    };
    const TCase cases[] = {
        {-10, false, {0, true}},  // before every row
        {0, false, {0, true}},    // first quarter of row 0
        {5, false, {0, true}},
        {6, false, {0, false}},   // middle of row 0
        {17, false, {0, false}},
        {18, false, {1, true}},   // last quarter: a new row between 0 and 1
        {24, false, {1, true}},   // full-size row 1: first half before it
        {43, false, {1, true}},
        {44, false, {2, true}},   // second half belongs after it
        {63, false, {2, true}},
        {64, false, {2, true}},   // row 2, first quarter
        {76, false, {2, false}},
        {87, false, {3, true}},   // last quarter of the last row: a new last row
        {200, false, {3, true}},  // past every row
        {12, true, {1, true}},    // a full-size window never shares a row
        {11, true, {0, true}},
    };
    for (const TCase& c : cases) {
        TTBRowChoice got = ChooseDockRow(rows, c.Coordinate, c.MovedFullSize);
        EXPECT_EQ(got.Row, c.Expected.Row) << c.Coordinate;
        EXPECT_EQ(got.NewRow, c.Expected.NewRow) << c.Coordinate;
    }
    TTBRowChoice empty = ChooseDockRow({}, 5, false);
    EXPECT_EQ(empty.Row, 0);
    EXPECT_TRUE(empty.NewRow);
}

TEST(TBDragDecisions, DockZoneFollowsTheGrabPoint)
{
    const RECT dock{100, 100, 500, 124};  // a top dock, 24 thick
    struct TCase {
        const char* Name;
        POINT Cursor;
        POINT Grab;
        bool LeftRight;
        bool Expected;
    };
    const TCase cases[] = {
        {"inside", {300, 110}, {0, 0}, false, true},
        {"above by less than the window, grabbed at the top", {300, 74}, {0, 0}, false, true},
        {"above by the whole window, grabbed at the top", {300, 73}, {0, 0}, false, false},
        {"just below, grabbed at the top", {300, 126}, {0, 0}, false, true},
        {"below, grabbed at the top", {300, 127}, {0, 0}, false, false},
        {"below, grabbed at the bottom", {300, 149}, {0, 24}, false, true},
        {"further below, grabbed at the bottom", {300, 150}, {0, 24}, false, false},
        {"left of the dock", {60, 110}, {0, 0}, false, false},
        {"side dock needs the cursor within its length", {300, 95}, {0, 24}, true, false},
    };
    for (const TCase& c : cases) {
        RECT window = PlaceAtGrab(c.Cursor, SIZE{80, 24}, c.Grab, SIZE{80, 24});
        EXPECT_EQ(DockTargetHit(dock, c.LeftRight, window, c.Cursor, c.Grab, SIZE{80, 24}), c.Expected) << c.Name;
    }
}

TEST(TBDragDecisions, PlacementKeepsTheGrabPointInProportion)
{
    RECT r = PlaceAtGrab(POINT{200, 100}, SIZE{41, 21}, POINT{10, 5}, SIZE{21, 11});
    EXPECT_EQ(r.left, 200 - 19);
    EXPECT_EQ(r.top, 100 - 9);
    EXPECT_EQ(r.right - r.left, 41);
}

TEST(TBDragDecisions, SizingByEdgeStopsAtTheLimits)
{
    const RECT start{100, 100, 300, 200};
    const SIZE minSize{50, 40};
    struct TCase {
        int Edge;
        POINT Delta;
        SIZE Max;
        RECT Expected;
    };
    const TCase cases[] = {
        {1, {30, 0}, {0, 0}, {100, 100, 330, 200}},        // right edge, no maximum
        {1, {-400, 0}, {0, 0}, {100, 100, 150, 200}},      // right edge held at the minimum
        {0, {400, 0}, {0, 0}, {250, 100, 300, 200}},       // left edge held at the minimum
        {0, {-100, 0}, {320, 0}, {0, 100, 300, 200}},      // within the maximum
        {0, {-100, 0}, {220, 0}, {80, 100, 300, 200}},     // left edge held at the maximum
        {5, {0, 500}, {0, 250}, {100, 100, 300, 350}},     // bottom edge at the maximum height
        {3, {-10, 90}, {0, 0}, {90, 160, 300, 200}},       // top-left: top held at the minimum
        {7, {10, 10}, {0, 0}, {100, 100, 310, 210}},       // bottom-right
        {4, {-500, -5}, {0, 0}, {100, 95, 150, 200}},      // top-right
    };
    for (const TCase& c : cases) {
        RECT r = SizeByEdge(start, c.Edge, c.Delta, minSize, c.Max);
        EXPECT_TRUE(EqualRect(&r, &c.Expected)) << "edge " << c.Edge << ": " << r.left << "," << r.top << ","
                                                << r.right << "," << r.bottom;
    }
}

// ---- real drags

class TBDragLoop : public testing::Test {
protected:
    void SetUp() override
    {
        FForm = &TDockForm::Shared();
        FForm->Clear();
    }
    void TearDown() override
    {
        FForm->Clear();
        EXPECT_EQ(GetCapture(), nullptr);
    }

    // A point on the drag handle of a docked bar.
    static POINT HandlePoint(TTBCustomDockableWindow* bar)
    {
        RECT r = TDockForm::ScreenRect(bar);
        return bar->GetCurrentDock()->IsLeftRight() ? POINT{(r.left + r.right) / 2, r.top + 4}
                                                    : POINT{r.left + 4, (r.top + r.bottom) / 2};
    }
    POINT ClientPoint(int x, int y) const { return FForm->Form()->ClientToScreen(POINT{x, y}); }

    // Drags bar from `from` through `path`; the last point releases the button unless cancelled.
    bool Drag(TTBCustomDockableWindow* bar, POINT from, const std::vector<POINT>& path,
              const std::vector<std::function<void()>>& extra = {}, bool release = true)
    {
        SetCursorPos(from.x, from.y);
        std::vector<std::function<void()>> script;
        for (POINT p : path)
            script.push_back([p] { MoveMouse(p); });
        for (const auto& step : extra)
            script.push_back(step);
        if (release)
            script.push_back([] {
                POINT p{};
                GetCursorPos(&p);
                ReleaseButton(p);
            });
        return RunScripted([&] { bar->BeginMoving(from); }, script);
    }

    TDockForm* FForm = nullptr;
};

TEST_F(TBDragLoop, DragsBetweenDocksAndFloats)
{
    TFakeBar* bar = FForm->Bar(dpTop, 0, 0);
    ASSERT_TRUE(bar->GetDocked());
    POINT start = HandlePoint(bar);
    // Onto the left dock: the cursor at the form's left edge, half way down.
    POINT left = ClientPoint(2, 200);
    ASSERT_TRUE(Drag(bar, start, {ClientPoint(100, 150), left}));
    EXPECT_EQ(bar->GetCurrentDock(), FForm->Dock(dpLeft));
    EXPECT_EQ(bar->GetLastDock(), FForm->Dock(dpLeft));
    EXPECT_EQ(FForm->Dock(dpTop)->GetHeight(), 0);
    EXPECT_EQ(bar->GetWidth(), 24);

    // Into the middle of the form: floating, with the grab point under the cursor.
    POINT middle = ClientPoint(300, 200);
    ASSERT_TRUE(Drag(bar, HandlePoint(bar), {ClientPoint(200, 200), middle}));
    ASSERT_TRUE(bar->GetFloating());
    TTBFloatingWindowParent* floatForm = bar->GetFloatForm();
    ASSERT_NE(floatForm, nullptr);
    EXPECT_TRUE(IsWindowVisible(floatForm->GetHandle()));
    RECT floatRect{};
    GetWindowRect(floatForm->GetHandle(), &floatRect);
    EXPECT_TRUE(PtInRect(&floatRect, middle));
    EXPECT_EQ(bar->GetLastDock(), FForm->Dock(dpLeft));

    // Back by the floating caption onto the bottom dock.
    RECT caption = floatForm->CaptionRect(true);
    POINT grip{floatRect.left + caption.left + 5, floatRect.top + caption.top + 3};
    POINT bottom = ClientPoint(300, 398);
    HWND floatWnd = floatForm->GetHandle();
    ASSERT_TRUE(Drag(bar, grip, {ClientPoint(300, 300), bottom}));
    EXPECT_EQ(bar->GetCurrentDock(), FForm->Dock(dpBottom));
    EXPECT_EQ(bar->GetFloatForm(), nullptr);
    PumpMessages();
    EXPECT_FALSE(IsWindow(floatWnd));
}

TEST_F(TBDragLoop, FirstQuarterOfARowInsertsARowBeforeIt)
{
    TFakeBar* a = FForm->Bar(dpTop, 0, 0);
    TFakeBar* b = FForm->Bar(dpTop, 1, 0);
    ASSERT_EQ(b->PlacedRow, 1);
    RECT rowA = TDockForm::ScreenRect(a);
    // Grabbed in its middle, b's centre follows the cursor: the top pixels of row 0.
    POINT start = HandlePoint(b);
    POINT target{start.x + 100, rowA.top + 1};
    ASSERT_TRUE(Drag(b, start, {POINT{start.x + 50, start.y}, target}));
    EXPECT_EQ(b->PlacedRow, 0);
    EXPECT_EQ(a->PlacedRow, 1);
    EXPECT_EQ(b->GetDockRow(), 0);
    EXPECT_EQ(a->GetDockRow(), 1);
    // The middle of a row joins it.
    RECT rowB = TDockForm::ScreenRect(b);
    ASSERT_TRUE(Drag(a, HandlePoint(a), {POINT{rowB.right + 60, (rowB.top + rowB.bottom) / 2}}));
    EXPECT_EQ(a->PlacedRow, 0);
    EXPECT_EQ(b->PlacedRow, 0);
    EXPECT_GT(a->GetLeft(), b->GetLeft());
}

TEST_F(TBDragLoop, CtrlKeepsTheWindowFromDocking)
{
    TFakeBar* bar = FForm->Bar(dpTop, 0, 0);
    POINT start = HandlePoint(bar);
    POINT overLeftDock = ClientPoint(2, 200);
    HWND wnd = bar->GetHandle();
    bool floatedWithCtrl = false;
    ASSERT_TRUE(Drag(bar, start, {ClientPoint(200, 200)},
                     {[wnd] { PostMessageA(wnd, WM_KEYDOWN, VK_CONTROL, 0); },
                      [overLeftDock] { MoveMouse(overLeftDock); },
                      [&] { floatedWithCtrl = bar->GetFloating(); },
                      [wnd] { PostMessageA(wnd, WM_KEYUP, VK_CONTROL, static_cast<LPARAM>(0xC0000001)); }, [] {}}));
    EXPECT_TRUE(floatedWithCtrl);
    // Releasing Ctrl re-evaluated the target at once, without a mouse move.
    EXPECT_EQ(bar->GetCurrentDock(), FForm->Dock(dpLeft));
}

TEST_F(TBDragLoop, EscapeInOutlineModeLeavesTheWindowAlone)
{
    TFakeBar* a = FForm->Bar(dpTop, 0, 0);
    TFakeBar* bar = FForm->Bar(dpTop, 0, 200);
    bar->SetSmoothDrag(false);
    int left = bar->GetLeft();
    HWND wnd = bar->GetHandle();
    ASSERT_TRUE(Drag(bar, HandlePoint(bar), {ClientPoint(300, 200), ClientPoint(2, 200)},
                     {[wnd] { PostMessageA(wnd, WM_KEYDOWN, VK_ESCAPE, 0); }}, false));
    EXPECT_EQ(bar->GetCurrentDock(), FForm->Dock(dpTop));
    EXPECT_EQ(bar->GetLeft(), left);
    EXPECT_FALSE(bar->GetFloating());
    EXPECT_EQ(a->GetLeft(), 0);
    // The same drag accepted moves it once, at the end.
    ASSERT_TRUE(Drag(bar, HandlePoint(bar), {ClientPoint(300, 200), ClientPoint(2, 200)}));
    EXPECT_EQ(bar->GetCurrentDock(), FForm->Dock(dpLeft));
}

TEST_F(TBDragLoop, CannotFloatStaysDocked)
{
    TFakeBar* bar = FForm->Bar(dpTop, 0, 0);
    bar->SetDockMode(dmCannotFloat);
    bool noCursor = false;
    HCURSOR no = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_NO));
    ASSERT_TRUE(Drag(bar, HandlePoint(bar), {ClientPoint(300, 200)}, {[&] { noCursor = GetCursor() == no; }}));
    EXPECT_TRUE(noCursor);
    EXPECT_FALSE(bar->GetFloating());
    EXPECT_EQ(bar->GetCurrentDock(), FForm->Dock(dpTop));
    // Changing docks is still allowed; with dmCannotFloatOrChangeDocks it is not.
    ASSERT_TRUE(Drag(bar, HandlePoint(bar), {ClientPoint(2, 200)}));
    EXPECT_EQ(bar->GetCurrentDock(), FForm->Dock(dpLeft));
    bar->SetDockMode(dmCannotFloatOrChangeDocks);
    ASSERT_TRUE(Drag(bar, HandlePoint(bar), {ClientPoint(300, 2)}));
    EXPECT_EQ(bar->GetCurrentDock(), FForm->Dock(dpLeft));
}

TEST_F(TBDragLoop, SplitDragKeepsTheRowAndItsOrder)
{
    TTBDock* dock = FForm->Dock(dpTop);
    // Two shrinkable bars whose row is too short for both.
    TFakeBar* a = FForm->Bar(dpTop, 0, 0, 20);
    TFakeBar* b = FForm->Bar(dpTop, 0, 300, 20);
    for (TFakeBar* bar : {a, b}) {
        bar->Shrink = tbsmChevron;
        bar->MinShrink = 60;
    }
    dock->LayOutToolbars();
    ASSERT_EQ(b->PlacedRow, 0);
    ASSERT_LT(a->GetWidth() + b->GetWidth(), 2 * (20 * 20 + 10));
    POINT start = HandlePoint(b);
    bool splitting = false;
    HCURSOR sizeWE = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_SIZEWE));
    bool sizeCursor = false;
    int before = b->GetLeft();
    ASSERT_TRUE(Drag(b, start, {POINT{start.x + 4, start.y}, POINT{start.x + 12, start.y}},
                     {[&] {
                          splitting = b->SplitDragging;
                          sizeCursor = GetCursor() == sizeWE;
                      },
                      [&] { MoveMouse(POINT{start.x + 100, start.y + 40}); }}));
    EXPECT_TRUE(splitting);
    EXPECT_TRUE(sizeCursor);
    // Moved along the row, b moves the split between the two: a grows into the room, b gives
    // it up; below the row, b still stays in row 0 after a.
    EXPECT_EQ(b->PlacedRow, 0);
    EXPECT_EQ(a->PlacedRow, 0);
    EXPECT_NEAR(b->GetLeft(), before + 100, 1);
    EXPECT_EQ(a->GetLeft() + a->GetWidth(), b->GetLeft());
    EXPECT_EQ(b->GetLeft() + b->GetWidth(), dock->RowSpace());
}

TEST_F(TBDragLoop, SizingAFloatingWindowStopsAtItsMinimum)
{
    TFakeBar* bar = FForm->Bar(dpTop, 0, 0);
    bar->SetResizable(true);
    bar->SetFloating(true);
    ASSERT_TRUE(bar->GetFloating());
    HWND floatWnd = bar->GetFloatForm()->GetHandle();
    RECT r{};
    GetWindowRect(floatWnd, &r);
    SIZE nc = bar->FloatingNCSize();
    POINT edge{r.right - 1, (r.top + r.bottom) / 2};
    SetCursorPos(edge.x, edge.y);
    ASSERT_TRUE(RunScripted([&] { bar->BeginSizing(1); },
                            {[&] { MoveMouse(POINT{edge.x + 30, edge.y}); },
                             [&] { MoveMouse(POINT{edge.x - 1000, edge.y}); },
                             [&] { ReleaseButton(POINT{edge.x - 1000, edge.y}); }}));
    // The fake bar sets no limits: its client may shrink to nothing, never below.
    GetWindowRect(floatWnd, &r);
    EXPECT_EQ(r.right - r.left, nc.cx);
    EXPECT_EQ(bar->GetWidth(), 0);
}

} // namespace
