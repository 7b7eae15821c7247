// Row arrangement of docks with fake windows of known sizes: rows, gaps, overlaps, shrinking,
// wrapping, full-size and stretching windows, and the dock's own thickness.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "DockTestSupport.h"
#include "ToolbarTestSupport.h"

namespace {

// Without a drag handle a bar's docked frame is 4 x 4: a bar of n blocks is 20n + 4 long and
// 24 thick.
struct TBarSetup {
    int Row = 0;
    int Pos = -1;
    int Blocks = 4;
    TTBShrinkMode Shrink = tbsmNone;
    int MinShrink = 0;
    bool FullSize = false;
    bool Stretch = false;
    bool Visible = true;
    bool Moving = false;
};

struct TPlaced {
    int Row;
    int Pos;
    int Length;
};

struct TLayoutCase {
    const char* Name;
    int RowSpace;
    std::vector<TBarSetup> Bars;
    std::vector<TPlaced> Expected;  // one per visible bar, in the order given
    int Thickness;
    TTBDockPosition Position = dpTop;
    bool LimitToOneRow = false;
    TTBDockBoundLines BoundLines = 0;
};

TBarSetup Chevron(int row, int pos, int blocks, int minShrink)
{
    TBarSetup s;
    s.Row = row;
    s.Pos = pos;
    s.Blocks = blocks;
    s.Shrink = tbsmChevron;
    s.MinShrink = minShrink;
    return s;
}

TBarSetup Plain(int row, int pos, int blocks = 4)
{
    TBarSetup s;
    s.Row = row;
    s.Pos = pos;
    s.Blocks = blocks;
    return s;
}

template <class F>
TBarSetup With(TBarSetup s, F change)
{
    change(s);
    return s;
}

class TLayoutFixture {
public:
    TLayoutFixture() : FOwner(New<TComponent>(nullptr)) {}

    TTBDock* MakeDock(TTBDockPosition position, int rowSpace)
    {
        FDock = New<TTBDock>(FOwner.get());
        FDock->SetPosition(position);
        if (position == dpLeft || position == dpRight)
            FDock->SetBounds(0, 0, 0, rowSpace);
        else
            FDock->SetBounds(0, 0, rowSpace, 0);
        return FDock;
    }

    TFakeBar* MakeBar(const TBarSetup& setup)
    {
        TFakeBar* bar = New<TFakeBar>(FOwner.get());
        bar->Blocks = setup.Blocks;
        bar->Shrink = setup.Shrink;
        bar->MinShrink = setup.MinShrink;
        bar->SetDragHandleStyle(dhNone);
        bar->SetDockRow(setup.Row);
        bar->SetDockPos(setup.Pos);
        bar->SetFullSize(setup.FullSize);
        bar->SetStretch(setup.Stretch);
        bar->SetVisible(setup.Visible);
        bar->MovingNow = setup.Moving;
        bar->SetParent(FDock);
        return bar;
    }

private:
    std::unique_ptr<TComponent, TObjectFree> FOwner;
    TTBDock* FDock = nullptr;
};

TEST(TBDockLayout, RowsPositionsAndThickness)
{
    const TLayoutCase cases[] = {
        {"rows 0 and 3 close up to 0 and 1", 400, {Plain(0, 0), Plain(3, 0)}, {{0, 0, 84}, {1, 0, 84}}, 48},
        {"a gap is kept in a roomy row", 400, {Plain(0, 0), Plain(0, 200)}, {{0, 0, 84}, {0, 200, 84}}, 24},
        {"the same gap closes in an overfull row", 150, {Chevron(0, 0, 4, 24), Chevron(0, 200, 4, 24)},
         {{0, 0, 84}, {0, 84, 66}}, 24},
        {"a bar that does not fit wraps to a new row", 200, {Plain(0, -1), Plain(0, -1), Plain(0, -1)},
         {{0, 0, 84}, {0, 84, 84}, {1, 0, 84}}, 48},
        {"one row: shrinking instead of wrapping", 200,
         {Chevron(0, 0, 4, 24), Chevron(1, 0, 4, 24), Chevron(2, 0, 4, 24)},
         {{0, 0, 32}, {0, 32, 84}, {0, 116, 84}}, 24, dpTop, true},
        {"chevron shrinking stops at the minimum", 30, {Chevron(0, 0, 4, 44)}, {{0, 0, 44}}, 24},
        {"a full-size bar gets a row of its own, as long as the row", 300,
         {Plain(0, 0), With(Plain(0, 100, 2), [](TBarSetup& s) { s.FullSize = true; }), Plain(0, 200, 2)},
         {{1, 0, 84}, {0, 0, 300}, {1, 200, 44}}, 48},
        {"a stretching bar takes the gap after it", 300,
         {With(Plain(0, 0), [](TBarSetup& s) { s.Stretch = true; }), Plain(0, 250, 2)},
         {{0, 0, 250}, {0, 250, 44}}, 24},
        {"a stretching last bar reaches the end of the row", 300,
         {Plain(0, 0), With(Plain(0, 100, 2), [](TBarSetup& s) { s.Stretch = true; })},
         {{0, 0, 84}, {0, 84, 216}}, 24},
        {"a hidden bar takes no room", 400,
         {Plain(0, 0), With(Plain(1, 0), [](TBarSetup& s) { s.Visible = false; }), Plain(2, 0)},
         {{0, 0, 84}, {2, 0, 84}}, 48},
        {"rows far out of range are numbered from 0", 400, {Plain(-5, 0), Plain(1 << 30, 0)},
         {{0, 0, 84}, {1, 0, 84}}, 48},
        {"a moved bar takes the gaps before it; the bars behind stay", 500,
         {Plain(0, 50), With(Plain(0, 100), [](TBarSetup& s) { s.Moving = true; }), Plain(0, 300)},
         {{0, 16, 84}, {0, 100, 84}, {0, 300, 84}}, 24},
        {"left dock: lengths run down the dock", 300, {Plain(0, 0), Plain(0, 150, 2), Plain(1, 0)},
         {{0, 0, 84}, {0, 150, 44}, {1, 0, 84}}, 48, dpLeft},
        {"bound lines add to the thickness and take from the row", 90, {Plain(0, -1), Plain(0, -1)},
         {{0, 0, 84}, {1, 0, 84}}, 50, dpTop, false,
         BoundLineSet(blTop) | BoundLineSet(blBottom) | BoundLineSet(blLeft) | BoundLineSet(blRight)},
    };
    for (const TLayoutCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TLayoutFixture f;
        TTBDock* dock = f.MakeDock(c.Position, c.RowSpace + (c.BoundLines ? 2 : 0));
        dock->SetLimitToOneRow(c.LimitToOneRow);
        dock->SetBoundLines(c.BoundLines);
        std::vector<TFakeBar*> visible;
        dock->BeginUpdate();
        for (const TBarSetup& setup : c.Bars) {
            TFakeBar* bar = f.MakeBar(setup);
            if (setup.Visible)
                visible.push_back(bar);
        }
        dock->EndUpdate();
        ASSERT_EQ(visible.size(), c.Expected.size());
        bool leftRight = c.Position == dpLeft || c.Position == dpRight;
        for (size_t i = 0; i < visible.size(); ++i) {
            TFakeBar* bar = visible[i];
            SCOPED_TRACE("bar " + std::to_string(i));
            EXPECT_EQ(bar->PlacedRow, c.Expected[i].Row);
            EXPECT_EQ(bar->PlacedPos, c.Expected[i].Pos);
            EXPECT_EQ(leftRight ? bar->GetHeight() : bar->GetWidth(), c.Expected[i].Length);
            EXPECT_EQ(leftRight ? bar->GetTop() : bar->GetLeft(), c.Expected[i].Pos);
        }
        EXPECT_EQ(leftRight ? dock->GetWidth() : dock->GetHeight(), c.Thickness);
    }
}

TEST(TBDockLayout, ShrunkBarsAreArrangedAgainAndWrappingBarsGrowThicker)
{
    TLayoutFixture f;
    TTBDock* dock = f.MakeDock(dpTop, 120);
    TBarSetup wrap = Plain(0, 0, 10);
    wrap.Shrink = tbsmWrap;
    wrap.MinShrink = 24;
    TFakeBar* bar = f.MakeBar(wrap);
    // 204 long in a row of 120: five blocks to a row, two rows.
    EXPECT_EQ(bar->GetWidth(), 120);
    EXPECT_EQ(bar->ShrunkLength, 120);
    EXPECT_EQ(bar->DockedThickness, 40);
    EXPECT_EQ(dock->GetHeight(), 44);
    int arranged = bar->Arrangements;
    dock->SetBounds(0, 0, 400, dock->GetHeight());
    EXPECT_EQ(bar->ShrunkLength, 0);
    EXPECT_EQ(dock->GetHeight(), 24);
    EXPECT_GT(bar->Arrangements, arranged);
}

TEST(TBDockLayout, MovedBarInOverfullRowMaySplit)
{
    TLayoutFixture f;
    f.MakeDock(dpTop, 150);
    f.MakeBar(Chevron(0, 0, 4, 24));
    TBarSetup moved = Chevron(0, 50, 4, 24);
    moved.Moving = true;
    TFakeBar* bar = f.MakeBar(moved);
    EXPECT_TRUE(bar->SplitAllowed);
}

TEST(TBDockLayout, UnplacedBarsKeepTheirOrderAcrossArrangements)
{
    TLayoutFixture f;
    TTBDock* dock = f.MakeDock(dpTop, 600);
    std::vector<TFakeBar*> bars;
    for (int i = 0; i < 6; ++i)
        bars.push_back(f.MakeBar(Plain(0, -1, 1 + i % 3)));
    for (int round = 0; round < 4; ++round) {
        dock->SetBounds(0, 0, 600 + round, dock->GetHeight());
        int expected = 0;
        for (TFakeBar* bar : bars) {
            EXPECT_EQ(bar->GetLeft(), expected) << "round " << round;
            expected += bar->GetWidth();
        }
    }
}

TEST(TBDockLayout, EmptyDockThickness)
{
    TLayoutFixture f;
    TTBDock* dock = f.MakeDock(dpTop, 300);
    dock->LayOutToolbars();
    EXPECT_EQ(dock->GetHeight(), 0);
    dock->SetFixAlign(true);
    EXPECT_EQ(dock->GetHeight(), 1);
    TFakeBar* bar = f.MakeBar(Plain(0, 0));
    EXPECT_EQ(dock->GetHeight(), 24);
    bar->Hide();
    EXPECT_EQ(dock->GetHeight(), 1);
    EXPECT_EQ(dock->GetDockedCount(), 0);
    bar->Show();
    EXPECT_EQ(dock->GetDockedCount(), 1);
}

TEST(TBDockLayout, WritePlacementStoresTheComputedRows)
{
    TLayoutFixture f;
    TTBDock* dock = f.MakeDock(dpTop, 400);
    TFakeBar* a = f.MakeBar(Plain(2, 30));
    TFakeBar* b = f.MakeBar(Plain(7, -1));
    EXPECT_EQ(a->GetDockRow(), 2);
    dock->SetWritePlacement(true);
    dock->LayOutToolbars();
    EXPECT_EQ(a->GetDockRow(), 0);
    EXPECT_EQ(a->GetDockPos(), 30);
    EXPECT_EQ(b->GetDockRow(), 1);
    EXPECT_EQ(b->GetDockPos(), 0);
    EXPECT_EQ(dock->HighestRow(true), 1);
    EXPECT_EQ(dock->RowAt(10), 0);
    EXPECT_EQ(dock->RowAt(30), 1);
    EXPECT_EQ(dock->RowAt(60), 2);
}

TEST(TBDock, ParentAndPositionRules)
{
    TLayoutFixture f;
    TTBDock* dock = f.MakeDock(dpTop, 300);
    std::unique_ptr<TTBDock, TObjectFree> other(New<TTBDock>(nullptr));
    EXPECT_THROW(other->SetParent(dock), EInvalidOperation);
    dock->SetPosition(dpLeft);
    EXPECT_EQ(dock->GetAlign(), alLeft);
    f.MakeBar(Plain(0, 0));
    EXPECT_THROW(dock->SetPosition(dpBottom), EInvalidOperation);
    EXPECT_EQ(dock->GetPosition(), dpLeft);
}

TEST(TBDock, InsertRemoveEventsFollowVisibility)
{
    TLayoutFixture f;
    TTBDock* dock = f.MakeDock(dpTop, 300);
    std::vector<std::string> events;
    dock->OnInsertRemoveBar = [&](TObject*, bool inserting, TTBCustomDockableWindow*) {
        events.push_back(inserting ? "in" : "out");
    };
    TFakeBar* bar = f.MakeBar(Plain(0, 0));
    bar->Hide();
    bar->Hide();
    bar->Show();
    bar->Free();
    EXPECT_EQ(events, (std::vector<std::string>{"in", "out", "in", "out"}));
    EXPECT_EQ(dock->GetDockedCount(), 0);
    EXPECT_TRUE(dock->GetAllWindows().empty());
}

} // namespace
