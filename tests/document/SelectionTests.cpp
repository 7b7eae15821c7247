#include <gtest/gtest.h>

#include "LayerTestSupport.h"
#include "document/SheetfoldSelection.h"
#include "TestSupport.h"

using namespace SelectionGeometry;

namespace {

struct TAlignFixture {
    TAlignFixture() : Page(NewPage()), Selection(New<TSheetfoldSelection>(nullptr)) {}

    TLayerRect* Add(int left, int top, int width, int height)
    {
        auto* e = AddElement<TLayerRect>(Page.get(), left, top, width, height);
        Selection->Add(e);
        return e;
    }

    TOwned<TRecordingPage> Page;
    TOwned<TSheetfoldSelection> Selection;
};

}

TEST(SelectionGeometry, HandlesSitOnTheEdgesAndCorners)
{
    RECT s{100, 200, 301, 401};
    EXPECT_TRUE(SameRect(HandleSquare(POINT{10, 20}, HandleSize), RECT{7, 17, 13, 23}));
    EXPECT_EQ(HandleCentre(s, lpmLeft).x, 100);
    EXPECT_EQ(HandleCentre(s, lpmLeft).y, 300);
    EXPECT_EQ(HandleCentre(s, lpmTop).x, 200);
    EXPECT_EQ(HandleCentre(s, lpmBottomRight).x, 301);
    EXPECT_EQ(HandleCentre(s, lpmBottomRight).y, 401);
    EXPECT_TRUE(SameRect(GripRect(s), RECT{97, 197, 109, 209}));

    // Each handle answers its own zone; the right and bottom edges of a square are outside.
    for (int zone = lpmLeft; zone <= lpmBottomLeft; ++zone) {
        POINT c = HandleCentre(s, zone);
        EXPECT_EQ(HitHandle(s, c), zone) << zone;
        EXPECT_EQ(HitHandle(s, POINT{c.x - 3, c.y - 3}), zone) << zone;
        EXPECT_NE(HitHandle(s, POINT{c.x + 3, c.y}), zone) << zone;
    }
    EXPECT_EQ(HitHandle(s, POINT{200, 300}), 0);
}

TEST(SelectionGeometry, ZonesOfASmallSelectionResolveInTheFixedOrder)
{
    // A 4-pixel selection: every handle overlaps the top-left one, which wins.
    RECT tiny{50, 50, 54, 54};
    EXPECT_EQ(HitZone(tiny, POINT{52, 50}, false), lpmTopLeft);
    EXPECT_EQ(HitZone(tiny, POINT{52, 52}, false), lpmTopLeft);
    // Outside the top-left square the top one comes next, then the top-right.
    EXPECT_EQ(HitZone(tiny, POINT{53, 47}, false), lpmTop);
    EXPECT_EQ(HitZone(tiny, POINT{56, 50}, false), lpmTopRight);
    EXPECT_EQ(HitZone(tiny, POINT{52, 56}, false), lpmBottomRight);

    RECT s{100, 100, 300, 300};
    EXPECT_EQ(HitZone(s, POINT{200, 200}, false), 0);
    EXPECT_EQ(HitZone(s, POINT{200, 200}, true), lpmMove);
    // The grip reaches outside the selection.
    EXPECT_EQ(HitZone(s, POINT{108, 108}, false), lpmMove);
    EXPECT_EQ(HitZone(s, POINT{109, 109}, false), 0);
    EXPECT_EQ(HitZone(s, POINT{97, 102}, false), lpmTopLeft);
}

TEST(SelectionGeometry, DragTargetMovesTheEdgesOfItsZone)
{
    RECT start{-500, -300, 500, 700};
    POINT d{-37, 51};
    struct Case {
        int Zone;
        RECT Expected;
    } cases[] = {
        {lpmLeft, {-537, -300, 500, 700}},   {lpmTop, {-500, -249, 500, 700}},
        {lpmRight, {-500, -300, 463, 700}},  {lpmBottom, {-500, -300, 500, 751}},
        {lpmTopLeft, {-537, -249, 500, 700}}, {lpmTopRight, {-500, -249, 463, 700}},
        {lpmBottomRight, {-500, -300, 463, 751}}, {lpmBottomLeft, {-537, -300, 500, 751}},
        {lpmMove, {-537, -249, 463, 751}},   {0, {-500, -300, 500, 700}},
    };
    for (const Case& c : cases) {
        RECT r = DragTarget(start, d, c.Zone);
        EXPECT_TRUE(SameRect(r, c.Expected)) << "zone " << c.Zone << ": " << r.left << "," << r.top << ","
                                             << r.right << "," << r.bottom;
    }
    // Dragging past the opposite edge gives a negative width, which the tool refuses.
    RECT r = DragTarget(RECT{0, 0, 100, 100}, POINT{150, 0}, lpmLeft);
    EXPECT_LT(r.right - r.left, 1);
}

TEST(SelectionGeometry, CursorsPerZone)
{
    EXPECT_EQ(ZoneCursor(0, false), crDefault);
    EXPECT_EQ(ZoneCursor(lpmLeft, false), crSizeWE);
    EXPECT_EQ(ZoneCursor(lpmRight, true), crHSplit);
    EXPECT_EQ(ZoneCursor(lpmTop, false), crSizeNS);
    EXPECT_EQ(ZoneCursor(lpmBottom, true), crVSplit);
    EXPECT_EQ(ZoneCursor(lpmTopLeft, true), crSizeNWSE);
    EXPECT_EQ(ZoneCursor(lpmBottomRight, false), crSizeNWSE);
    EXPECT_EQ(ZoneCursor(lpmTopRight, false), crSizeNESW);
    EXPECT_EQ(ZoneCursor(lpmBottomLeft, true), crSizeNESW);
    EXPECT_EQ(ZoneCursor(lpmMove, true), crSizeAll);
}

TEST(SelectionSort, EqualKeysTakeTheOrderOfTheQuicksort)
{
    std::vector<int> order{0, 1, 2};
    SortIndexesByKey(order, {5, 5, 5});
    EXPECT_EQ(order, (std::vector<int>{2, 1, 0}));

    order = {0, 1, 2, 3, 4};
    SortIndexesByKey(order, {30, 10, 20, 10, 0});
    EXPECT_EQ(order, (std::vector<int>{4, 3, 1, 2, 0}));

    // Keys far apart, whose 32-bit difference overflows, still sort.
    order = {0, 1, 2};
    SortIndexesByKey(order, {2000000000, -2000000000, 0});
    EXPECT_EQ(order, (std::vector<int>{1, 2, 0}));

    order = {};
    SortIndexesByKey(order, {});
    EXPECT_TRUE(order.empty());
}

TEST(SelectionAlign, EdgesAndCentresOfAnUnevenSelection)
{
    TAlignFixture f;
    auto* a = f.Add(-333, -71, 101, 33);
    auto* b = f.Add(100, 40, 50, 7);
    auto* c = f.Add(-20, -500, 3, 999);
    // Bounds: (-333, -500) .. (150, 499).
    f.Selection->AlignElements(amLefts);
    EXPECT_EQ(a->GetLeft(), -333);
    EXPECT_EQ(b->GetLeft(), -333);
    EXPECT_EQ(c->GetLeft(), -333);

    a->SetLeft(-333);
    b->SetLeft(100);
    c->SetLeft(-20);
    f.Selection->AlignElements(amRights);
    EXPECT_EQ(a->GetLeft(), 150 - 101);
    EXPECT_EQ(b->GetLeft(), 100);
    EXPECT_EQ(c->GetLeft(), 147);

    a->SetLeft(-333);
    b->SetLeft(100);
    c->SetLeft(-20);
    // Centre (-333 + 150) / 2 = -91 (truncated toward zero).
    f.Selection->AlignElements(amHorzCenters);
    EXPECT_EQ(a->GetLeft(), -91 - 50);
    EXPECT_EQ(b->GetLeft(), -91 - 25);
    EXPECT_EQ(c->GetLeft(), -91 - 1);

    f.Selection->AlignElements(amTops);
    EXPECT_EQ(a->GetTop(), -500);
    EXPECT_EQ(b->GetTop(), -500);
    f.Selection->AlignElements(amBottoms);
    // The bounds are now (.., -500) .. (.., 499).
    EXPECT_EQ(a->GetTop(), 499 - 33);
    EXPECT_EQ(b->GetTop(), 499 - 7);
    EXPECT_EQ(c->GetTop(), -500);
    f.Selection->AlignElements(amVertCenters);
    EXPECT_EQ(a->GetTop(), 0 - 16);
    EXPECT_EQ(b->GetTop(), 0 - 3);
    EXPECT_EQ(c->GetTop(), 0 - 499);
    EXPECT_EQ(a->GetWidth(), 101);
    EXPECT_EQ(c->GetHeight(), 999);
}

TEST(SelectionAlign, SpacingKeepsTheOuterElementsAndSharesTheGap)
{
    TAlignFixture f;
    auto* last = f.Add(2000, 0, 100, 100);
    auto* first = f.Add(0, 50, 100, 100);
    auto* middle = f.Add(500, 80, 100, 100);
    f.Selection->AlignElements(amSpaceHorz);
    EXPECT_EQ(first->GetLeft(), 0);
    EXPECT_EQ(middle->GetLeft(), 1000);
    EXPECT_EQ(last->GetLeft(), 2000);

    // Down, with negative coordinates and a gap that does not divide: (3 - -1001 - 30) div 3.
    TAlignFixture g;
    auto* p = g.Add(0, -1001, 10, 10);
    auto* q = g.Add(0, -7, 10, 10);
    auto* r = g.Add(0, -500, 10, 5);
    auto* s = g.Add(0, -5, 10, 5);
    g.Selection->AlignElements(amSpaceVert);
    int gap = (3 - -1001 - 30) / 3;
    EXPECT_EQ(p->GetTop(), -1001);
    EXPECT_EQ(r->GetTop(), -1001 + 10 + gap);
    EXPECT_EQ(q->GetTop(), -1001 + 15 + 2 * gap);
    EXPECT_EQ(s->GetTop(), -1001 + 25 + 3 * gap);
}

TEST(SelectionAlign, SameSizeAndModesThatDoNothing)
{
    TAlignFixture f;
    auto* a = f.Add(0, 0, 120, 30);
    auto* b = f.Add(500, 500, 333, 7);
    f.Selection->AlignElements(amSameWidth);
    EXPECT_EQ(a->GetWidth(), 333);
    EXPECT_EQ(b->GetWidth(), 333);
    EXPECT_EQ(a->GetHeight(), 30);
    f.Selection->AlignElements(amSameHeight);
    EXPECT_EQ(b->GetHeight(), 30);
    EXPECT_EQ(b->GetLeft(), 500);

    f.Selection->AlignElements(amNone);
    f.Selection->AlignElements(static_cast<TAlignMode>(11));
    EXPECT_EQ(b->GetLeft(), 500);

    TAlignFixture one;
    auto* only = one.Add(10, 10, 10, 10);
    one.Selection->AlignElements(amRights);
    one.Selection->AlignElements(amSameWidth);
    EXPECT_EQ(only->GetLeft(), 10);
}

TEST(SelectionAlign, NudgeMovesEverySelectedElementWithoutSnapping)
{
    TAlignFixture f;
    f.Page->SnapX = 5;
    auto* a = f.Add(0, 0, 10, 10);
    auto* b = f.Add(-300, 70, 33, 9);
    auto* other = AddElement<TLayerRect>(f.Page.get(), 50, 50, 10, 10);
    f.Selection->NudgeElements(-100, 0);
    f.Selection->NudgeElements(0, 100);
    EXPECT_EQ(a->GetLeft(), -100);
    EXPECT_EQ(a->GetTop(), 100);
    EXPECT_EQ(b->GetLeft(), -400);
    EXPECT_EQ(b->GetTop(), 170);
    EXPECT_EQ(b->GetWidth(), 33);
    EXPECT_EQ(other->GetLeft(), 50);
}

TEST(SelectionList, FreedElementsLeaveAndTheToolStaysIdleWithoutAView)
{
    TAlignFixture f;
    auto* a = f.Add(0, 0, 10, 10);
    f.Add(20, 0, 10, 10);
    EXPECT_EQ(f.Selection->Count(), 2);
    a->Free();
    EXPECT_EQ(f.Selection->Count(), 1);
    auto* tool = As<TSheetfoldMoveTool>(f.Selection->GetTool());
    ASSERT_NE(tool, nullptr);
    EXPECT_TRUE(tool->IsActive());
    EXPECT_EQ(tool->HitZone(POINT{0, 0}), 0);
    f.Selection->Clear();
    EXPECT_FALSE(tool->IsActive());
}
