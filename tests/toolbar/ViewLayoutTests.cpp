// Views: viewers kept in step with the item tree (inline groups, depth, rebuilds), the layout in
// rows and columns with fixed-size test viewers (separators, centring, the chevron by priority,
// wrapping, right-flush, vertical, popup columns and scrolling), selection steps, keys, and the
// base viewer's measuring, hints and hit parts.
#include <gtest/gtest.h>

#include <oleacc.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "MenuTestSupport.h"
#include "ToolbarTestSupport.h"
#include "platform/Forms.h"
#include "platform/SysUtils.h"
#include "toolbar/TBCommon.h"
#include "toolbar/TBFramework.h"
#include "toolbar/TBItem.h"
#include "toolbar/TBItemViewer.h"
#include "toolbar/TBView.h"

namespace {

using TItemPtr = std::unique_ptr<TTBCustomItem, TObjectFree>;

// An item whose viewer always measures the same size.
class TSizedItem : public TTBCustomItem {
public:
    TSizedItem(int width, int height, TTBItemTraits extra = 0) : TTBCustomItem(nullptr), Width(width), Height(height)
    {
        SetItemStyle(static_cast<TTBItemTraits>(GetItemStyle() | extra));
    }
    TTBItemViewerClass QueryViewerClass(TTBView*) override;
    int Width;
    int Height;
};

std::vector<std::string>* PaintLog = nullptr;
// Viewers fill far beyond their bounds in a colour of their caption's, leave the canvas's tools
// changed, and mark the origin they were given with a black corner.
bool PaintFills = false;

class TSizedViewer : public TTBItemViewer {
public:
    using TTBItemViewer::TTBItemViewer;
    void MeasureSize(TCanvas*, int& width, int& height) override
    {
        auto* item = static_cast<TSizedItem*>(GetItem());
        width = item->Width;
        height = item->Height;
        ++Measured;
    }
    void Paint(TCanvas* canvas, const RECT&, bool, bool, bool) override
    {
        if (PaintLog)
            PaintLog->push_back(WideToAnsi(GetItem()->GetCaption()));
        if (!PaintFills)
            return;
        const TColor colours[] = {clRed, clLime, clBlue};
        canvas->GetBrush()->SetColor(colours[(GetItem()->GetCaption()[0] - L'A') % 3]);
        canvas->GetPen()->SetColor(clYellow);
        canvas->FillRect({-500, -500, 500, 500});
        canvas->GetBrush()->SetColor(clBlack);
        canvas->FillRect({0, 0, 3, 3});
        canvas->GetFont()->SetColor(clFuchsia);
    }
    static int Measured;
};
int TSizedViewer::Measured = 0;

TTBItemViewerClass TSizedItem::QueryViewerClass(TTBView*)
{
    return ViewerClassOf<TSizedViewer>();
}

TTBCustomItem* Sized(TTBCustomItem* parent, int width, int height, const std::wstring& caption = L"",
                     TTBItemTraits extra = 0)
{
    auto* item = New<TSizedItem>(width, height, extra);
    item->SetCaption(caption);
    parent->Add(item);
    return item;
}

TTBCustomItem* Separator(TTBCustomItem* parent)
{
    auto* item = New<TTBSeparatorItem>(nullptr);
    parent->Add(item);
    return item;
}

// A separator that stays in its row while the group after it fits.
class TNoBreakSeparator : public TTBSeparatorItem {
public:
    TNoBreakSeparator() : TTBSeparatorItem(nullptr)
    {
        SetItemStyle(static_cast<TTBItemTraits>(GetItemStyle() | isNoWrapBreak));
    }
};

// Items from letters: a letter is a 30x20 item of that caption, '|' a separator, '!' a separator
// that stays in its row.
std::vector<TTBCustomItem*> AddLetters(TTBCustomItem* root, const char* letters)
{
    std::vector<TTBCustomItem*> items;
    for (const char* p = letters; *p; ++p) {
        if (*p != '|' && *p != '!') {
            items.push_back(Sized(root, 30, 20, std::wstring(1, static_cast<wchar_t>(*p))));
            continue;
        }
        TTBCustomItem* separator = *p == '!' ? New<TNoBreakSeparator>() : New<TTBSeparatorItem>(nullptr);
        root->Add(separator);
        items.push_back(separator);
    }
    return items;
}

// A view with an optional chevron item, as a toolbar's view has.
class TTestView : public TTBView {
public:
    using TTBView::TTBView;
    TTBCustomItem* FindChevronItem() override { return Chevron; }
    TTBCustomItem* Chevron = nullptr;
};

using TViewPtr = std::unique_ptr<TTestView, TObjectFree>;

TViewPtr MakeView(TTBCustomItem* root, bool toolbar, TWinControl* window = nullptr, bool priority = false)
{
    return TViewPtr(New<TTestView>(nullptr, nullptr, root, window, toolbar, false, priority));
}

RECT Bounds(TTBView* view, TTBCustomItem* item)
{
    return view->Find(item)->GetBoundsRect();
}

::testing::AssertionResult RectIs(const RECT& r, int left, int top, int right, int bottom)
{
    if (r.left == left && r.top == top && r.right == right && r.bottom == bottom)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "(" << r.left << "," << r.top << "," << r.right << "," << r.bottom
                                         << ") is not (" << left << "," << top << "," << right << "," << bottom << ")";
}

// What a view shows, in the letters AddLetters takes.
std::string ShownLetters(TTBView* view)
{
    std::string shown;
    for (int i = 0; i < view->GetViewerCount(); ++i) {
        TTBItemViewer* v = view->GetViewer(i);
        if (v->GetShown())
            shown += v->GetItem()->HasTrait(isSeparator) ? "|" : WideToAnsi(v->GetItem()->GetCaption());
    }
    return shown;
}

// ---------------------------------------------------------------------------------------------
// Viewers kept in step with the tree

TEST(ViewViewers, FollowInsertionsDeletionsAndInlineGroups)
{
    TItemPtr root(New<TTBRootItem>(nullptr));
    TTBCustomItem* a = Sized(root.get(), 10, 10, L"A");
    TTBCustomItem* group = Sized(root.get(), 0, 0, L"G", isInlineGroup);
    TTBCustomItem* g1 = Sized(group, 10, 10, L"G1");
    TTBCustomItem* g2 = Sized(group, 10, 10, L"G2");
    Sized(root.get(), 10, 10, L"B");
    TViewPtr view = MakeView(root.get(), true);
    auto order = [&] {
        std::string s;
        for (int i = 0; i < view->GetViewerCount(); ++i)
            s += WideToAnsi(view->GetViewer(i)->GetItem()->GetCaption()) + ":" +
                 std::to_string(view->GetViewer(i)->GetGroupLevel()) + " ";
        return s;
    };
    EXPECT_EQ(order(), "A:0 G:0 G1:1 G2:1 B:0 ");

    TTBCustomItem* x = New<TSizedItem>(10, 10);
    x->SetCaption(L"X");
    group->Insert(1, x);
    EXPECT_EQ(order(), "A:0 G:0 G1:1 X:1 G2:1 B:0 ");
    TTBCustomItem* y = New<TSizedItem>(10, 10);
    y->SetCaption(L"Y");
    group->Add(y);
    EXPECT_EQ(order(), "A:0 G:0 G1:1 X:1 G2:1 Y:1 B:0 ");
    TTBCustomItem* z = New<TSizedItem>(10, 10);
    z->SetCaption(L"Z");
    root->Insert(2, z);
    EXPECT_EQ(order(), "A:0 G:0 G1:1 X:1 G2:1 Y:1 Z:0 B:0 ");
    root->Move(3, 0);
    EXPECT_EQ(order(), "B:0 A:0 G:0 G1:1 X:1 G2:1 Y:1 Z:0 ");

    // Laid out, an invisible group hides its subitems with it.
    view->EnsureLayout();
    EXPECT_TRUE(view->Find(g1)->GetShown());
    EXPECT_FALSE(view->Find(group)->GetShown()) << "the group itself is never shown";
    group->SetVisible(false);
    view->EnsureLayout();
    EXPECT_FALSE(view->Find(g1)->GetShown());
    EXPECT_TRUE(view->Find(a)->GetShown());

    group->Free();
    EXPECT_EQ(order(), "B:0 A:0 Z:0 ");
    EXPECT_THROW(view->Find(g2), ETBItemError);

    // Linking the parent item elsewhere shows the linked item's subitems.
    TItemPtr other(New<TTBRootItem>(nullptr));
    Sized(other.get(), 10, 10, L"O");
    root->SetLinkSubitems(other.get());
    EXPECT_EQ(order(), "O:0 ");
    other.reset();
    EXPECT_EQ(order(), "B:0 A:0 Z:0 ");
}

TEST(ViewViewers, NestedGroupsStopAtTheDepthLimit)
{
    TItemPtr root(New<TTBRootItem>(nullptr));
    TTBCustomItem* parent = root.get();
    for (int i = 0; i < 14; ++i)
        parent = Sized(parent, 0, 0, L"G", isInlineGroup);
    Sized(parent, 10, 10, L"Deep");
    TViewPtr view = MakeView(root.get(), true);
    EXPECT_EQ(view->GetViewerCount(), 11) << "levels 0 to 10";
    EXPECT_EQ(view->GetViewer(10)->GetGroupLevel(), 10);
}

TEST(ViewViewers, RebuiltViewerKeepsTheSelection)
{
    TItemPtr root(New<TTBRootItem>(nullptr));
    TTBCustomItem* a = Sized(root.get(), 10, 10, L"A");
    TViewPtr view = MakeView(root.get(), true, nullptr, true);
    view->EnsureLayout();
    TTBItemViewer* old = view->Find(a);
    view->Select(old, false);
    root->Notify(TTBItemChangeKind::ickRebuildViewers, -1, a);
    TTBItemViewer* rebuilt = view->Find(a);
    EXPECT_NE(rebuilt, old);
    EXPECT_EQ(view->GetSelected(), rebuilt);
    EXPECT_EQ(view->GetPriorityOrder().front(), rebuilt);
    EXPECT_TRUE(rebuilt->GetShown()) << "laid out again";
}

// ---------------------------------------------------------------------------------------------
// Layout

TEST(ViewLayout, EmptyViewsHaveTheirMarginsOnly)
{
    TItemPtr root(New<TTBRootItem>(nullptr));
    TViewPtr view = MakeView(root.get(), true);
    EXPECT_EQ(view->GetViewerCount(), 0);
    TTBLayoutResult floating = view->ComputeLayout(true, TTBViewAxis::vaFloating, 0, 0, 0);
    EXPECT_EQ(floating.TotalSize.x, 8);
    EXPECT_EQ(floating.TotalSize.y, 3);
    TTBLayoutResult docked = view->ComputeLayout(true, TTBViewAxis::vaHorizontal, 0, 0, 0);
    EXPECT_EQ(docked.TotalSize.x, 0);
    EXPECT_EQ(docked.TotalSize.y, 0);
}

TEST(ViewLayout, SeparatorsCollapseAndItemsCentreAcrossTheRow)
{
    TItemPtr root(New<TTBRootItem>(nullptr));
    TTBCustomItem* lead = Separator(root.get());
    TTBCustomItem* a = Sized(root.get(), 30, 20, L"A");
    TTBCustomItem* s1 = Separator(root.get());
    TTBCustomItem* s2 = Separator(root.get());
    TTBCustomItem* s3 = Separator(root.get());
    TTBCustomItem* b = Sized(root.get(), 20, 10, L"B");
    TTBCustomItem* c = Sized(root.get(), 20, 15, L"C");
    TTBCustomItem* fill = Sized(root.get(), 10, 8, L"Fill", isCrossFill);
    TTBCustomItem* hidden = Sized(root.get(), 10, 10, L"Hidden");
    hidden->SetVisible(false);
    TTBCustomItem* trail = Separator(root.get());
    TViewPtr view = MakeView(root.get(), true);
    TTBLayoutResult r = view->ComputeLayout(true, TTBViewAxis::vaHorizontal, 0, 0, 0);
    EXPECT_FALSE(view->Find(lead)->GetShown()) << "before any item";
    EXPECT_TRUE(view->Find(s1)->GetShown());
    EXPECT_FALSE(view->Find(s2)->GetShown()) << "three in a row show as one";
    EXPECT_FALSE(view->Find(s3)->GetShown());
    EXPECT_FALSE(view->Find(trail)->GetShown()) << "after the last item";
    EXPECT_FALSE(view->Find(hidden)->GetShown());
    EXPECT_TRUE(RectIs(Bounds(view.get(), a), 0, 0, 30, 20));
    EXPECT_TRUE(RectIs(Bounds(view.get(), s1), 30, 0, 36, 20)) << "a separator takes the row's full height";
    EXPECT_TRUE(RectIs(Bounds(view.get(), b), 36, 5, 56, 15));
    EXPECT_TRUE(RectIs(Bounds(view.get(), c), 56, 2, 76, 17)) << "centred, rounded down";
    EXPECT_TRUE(RectIs(Bounds(view.get(), fill), 76, 0, 86, 20)) << "a cross-fill item takes the full height";
    EXPECT_EQ(r.TotalSize.x, 86);
    EXPECT_EQ(r.TotalSize.y, 20);
    EXPECT_EQ(r.WrappedLines, 1);
    EXPECT_TRUE(r.Moved);
    EXPECT_FALSE(view->ComputeLayout(true, TTBViewAxis::vaHorizontal, 0, 0, 0).Moved) << "nothing changed the second time";
}

TEST(ViewLayout, ChevronHidesItemsByPriority)
{
    struct TCase {
        const char* Name;
        const char* Items;             // letters are 30x20 items, '|' separators
        int ChevronOffset;
        const char* RaiseFirst;        // items given priority, in order
        const char* Shown;             // what stays on the row, separators included
        int ChevronLeft;
    };
    const TCase cases[] = {
        {"fits", "ABCDE", 200, "", "ABCDE", -1},
        {"one too many", "ABCDE", 149, "", "ABCD", 137},
        {"drops from the end", "ABCDE", 100, "", "AB", 88},
        {"priority keeps D", "ABCDE", 100, "D", "AD", 88},
        {"a trailing separator goes first", "AB|CDE", 100, "", "AB", 88},
        {"a doubled separator goes", "A|B|C", 90, "C", "A|C", 78},
        {"a leading separator goes", "A|BC", 80, "BC", "BC", 68},
        {"one item always stays", "ABCDE", 20, "", "A", 30},
    };
    for (const TCase& c : cases) {
        TItemPtr root(New<TTBRootItem>(nullptr));
        std::vector<TTBCustomItem*> items = AddLetters(root.get(), c.Items);
        TItemPtr chevron(New<TSizedItem>(12, 20, isSubmenu));
        TViewPtr view = MakeView(root.get(), true, nullptr, true);
        view->Chevron = chevron.get();
        view->RebuildAllViewers();
        view->ComputeLayout(true, TTBViewAxis::vaHorizontal, 0, c.ChevronOffset, 12);
        for (const char* p = c.RaiseFirst; *p; ++p)
            view->RaisePriority(view->Find(FindItem(root.get(), std::wstring(1, static_cast<wchar_t>(*p)))));
        TTBLayoutResult r = view->ComputeLayout(true, TTBViewAxis::vaHorizontal, 0, c.ChevronOffset, 12);
        EXPECT_EQ(ShownLetters(view.get()), c.Shown) << c.Name;
        for (TTBCustomItem* item : items) {
            TTBItemViewer* v = view->Find(item);
            if (!item->HasTrait(isSeparator)) {
                EXPECT_EQ(v->GetBehindChevron(), !v->GetShown()) << c.Name;
            }
        }
        TTBItemViewer* chev = view->Find(chevron.get());
        EXPECT_EQ(chev->GetShown(), c.ChevronLeft >= 0) << c.Name;
        if (c.ChevronLeft >= 0) {
            EXPECT_EQ(chev->GetBoundsRect().left, c.ChevronLeft) << c.Name;
            EXPECT_EQ(chev->GetBoundsRect().bottom, 20) << c.Name;
            EXPECT_TRUE(chevron->GetEnabled()) << c.Name;
            EXPECT_LE(r.TotalSize.x, std::max(c.ChevronOffset, c.ChevronLeft + 12)) << c.Name;
        }
    }
}

TEST(ViewLayout, ChevronIsDisabledWhenOnlyControlsAreHidden)
{
    std::unique_ptr<TWinControl, TObjectFree> window(New<TWinControl>(nullptr));
    window->SetBounds(0, 0, 300, 30);
    TItemPtr root(New<TTBRootItem>(nullptr));
    Sized(root.get(), 30, 20, L"A");
    Sized(root.get(), 30, 20, L"B");
    TControl* control = New<TControl>(window.get());
    control->SetParent(window.get());
    control->SetBounds(0, 0, 40, 20);
    auto* controlItem = New<TTBControlItem>(nullptr, control);
    root->Add(controlItem);
    TItemPtr chevron(New<TSizedItem>(12, 20, isSubmenu));
    TViewPtr view = MakeView(root.get(), true, window.get(), false);
    view->Chevron = chevron.get();
    view->RebuildAllViewers();
    view->ComputeLayout(true, TTBViewAxis::vaHorizontal, 0, 80, 12);
    EXPECT_TRUE(view->Find(controlItem)->GetBehindChevron());
    EXPECT_TRUE(view->Find(chevron.get())->GetShown());
    EXPECT_FALSE(chevron->GetEnabled()) << "only a control went behind the chevron";
    EXPECT_EQ(control->GetLeft(), window->GetClientWidth()) << "a hidden control waits out of sight";
    view->ComputeLayout(true, TTBViewAxis::vaHorizontal, 0, 0, 0);
    EXPECT_TRUE(view->Find(controlItem)->GetShown());
    EXPECT_TRUE(RectIs(control->GetBoundsRect(), 60, 0, 100, 20)) << "a shown control takes its viewer's place";
    view->ComputeLayout(true, TTBViewAxis::vaHorizontal, 0, 50, 12);
    EXPECT_TRUE(chevron->GetEnabled());
}

TEST(ViewLayout, ChevronPopupShowsWhatTheToolbarHides)
{
    TItemPtr root(New<TTBRootItem>(nullptr));
    std::vector<TTBCustomItem*> items = AddLetters(root.get(), "AB|CD|E");
    TItemPtr chevron(New<TSizedItem>(12, 20, isSubmenu));
    TViewPtr toolbar = MakeView(root.get(), true, nullptr, true);
    toolbar->Chevron = chevron.get();
    toolbar->RebuildAllViewers();
    toolbar->SetChevronExtent(12);
    toolbar->SetChevronGap(80);
    toolbar->EnsureLayout();
    // The toolbar keeps A and B; the chevron's popup lists the rest, in rows.
    TViewPtr popup = MakeView(root.get(), false);
    popup->SetChevronParentView(toolbar.get());
    popup->SetIsToolbar(true);
    popup->ComputeLayout(true, TTBViewAxis::vaHorizontal, 0, 0, 0);
    EXPECT_EQ(ShownLetters(popup.get()), "CD|E") << "a separator before any hidden item is left out";

    // Choosing an item there gives it priority on the toolbar, which then shows it.
    popup->RaisePriority(popup->Find(items[6]));
    EXPECT_EQ(toolbar->GetPriorityOrder().front(), toolbar->Find(items[6]));
    EXPECT_TRUE(toolbar->Find(items[6])->GetShown());
    EXPECT_TRUE(toolbar->Find(items[1])->GetBehindChevron());
}

TEST(ViewLayout, WrapsAndBreaksAtSeparators)
{
    struct TCase {
        const char* Name;
        const char* Items;   // letters are 30x20 items, '|' a separator, '!' one that stays in its row
        int Wrap;
        const char* Expected;  // per item or separator: line it lies on, or 'b' for a line break
        int Lines;             // lines of items: a separator's line break is not one
    };
    const TCase cases[] = {
        {"fits", "AB|C", 200, "0000", 1},
        {"item wraps", "ABC", 70, "001", 2},
        {"separator group fits", "A|B", 80, "000", 1},
        {"separator group does not fit", "AB|C", 80, "00b2", 2},
        {"after a wrap a separator breaks", "ABC|D", 70, "001b3", 3},
        {"unless it is told not to", "ABC!D", 70, "00111", 2},
    };
    for (const TCase& c : cases) {
        TItemPtr root(New<TTBRootItem>(nullptr));
        std::vector<TTBCustomItem*> items = AddLetters(root.get(), c.Items);
        TViewPtr view = MakeView(root.get(), true);
        TTBLayoutResult r = view->ComputeLayout(true, TTBViewAxis::vaHorizontal, c.Wrap, 0, 0);
        std::vector<int> tops;
        for (TTBCustomItem* item : items)
            if (view->Find(item)->GetShown())
                tops.push_back(view->Find(item)->GetBoundsRect().top);
        std::sort(tops.begin(), tops.end());
        tops.erase(std::unique(tops.begin(), tops.end()), tops.end());
        std::string lines;
        for (TTBCustomItem* item : items) {
            TTBItemViewer* v = view->Find(item);
            if (v->IsLineSeparator()) {
                lines += 'b';
                EXPECT_EQ(v->GetBoundsRect().bottom - v->GetBoundsRect().top, 6) << c.Name;
                EXPECT_EQ(v->GetBoundsRect().right, c.Wrap) << c.Name << ": a break runs the full length";
                continue;
            }
            auto line = std::find(tops.begin(), tops.end(), v->GetBoundsRect().top) - tops.begin();
            lines += static_cast<char>('0' + line);
        }
        EXPECT_EQ(lines, c.Expected) << c.Name;
        EXPECT_EQ(r.WrappedLines, c.Lines) << c.Name;
        if (c.Lines > 1) {
            EXPECT_EQ(r.TotalSize.x, c.Wrap) << c.Name << ": a wrapped toolbar is as long as its wrap";
        }
    }
}

TEST(ViewLayout, RightFlushNeedsAWrapLength)
{
    TItemPtr root(New<TTBRootItem>(nullptr));
    TTBCustomItem* a = Sized(root.get(), 30, 20, L"A");
    TTBCustomItem* b = Sized(root.get(), 30, 20, L"B", isRightFlush);
    TTBCustomItem* c = Sized(root.get(), 50, 20, L"C");
    TViewPtr view = MakeView(root.get(), true);
    view->ComputeLayout(true, TTBViewAxis::vaHorizontal, 0, 0, 0);
    EXPECT_EQ(Bounds(view.get(), b).left, 30) << "without a wrap length nothing moves";
    view->ComputeLayout(true, TTBViewAxis::vaHorizontal, 100, 0, 0);
    EXPECT_EQ(Bounds(view.get(), a).left, 0);
    EXPECT_TRUE(RectIs(Bounds(view.get(), b), 70, 0, 100, 20)) << "moved to the end of the wrapped row";
    EXPECT_TRUE(RectIs(Bounds(view.get(), c), 0, 20, 50, 40));
}

TEST(ViewLayout, VerticalToolbarsAreColumns)
{
    TItemPtr root(New<TTBRootItem>(nullptr));
    TTBCustomItem* a = Sized(root.get(), 20, 30, L"A");
    TTBCustomItem* sep = Separator(root.get());
    TTBCustomItem* b = Sized(root.get(), 10, 20, L"B");
    TViewPtr view = MakeView(root.get(), true);
    TTBLayoutResult r = view->ComputeLayout(true, TTBViewAxis::vaVertical, 0, 0, 0);
    EXPECT_TRUE(RectIs(Bounds(view.get(), a), 0, 0, 20, 30));
    EXPECT_TRUE(RectIs(Bounds(view.get(), sep), 0, 30, 20, 36));
    EXPECT_TRUE(RectIs(Bounds(view.get(), b), 5, 36, 15, 56)) << "centred across the column";
    EXPECT_EQ(r.TotalSize.x, 20);
    EXPECT_EQ(r.TotalSize.y, 56);
}

TEST(ViewLayout, PopupMenusAreColumnsOfFullWidthItems)
{
    TItemPtr root(New<TTBRootItem>(nullptr));
    TTBCustomItem* a = Sized(root.get(), 50, 18, L"A");
    TTBCustomItem* b = Sized(root.get(), 80, 18, L"B");
    TTBCustomItem* sep = Separator(root.get());
    TTBCustomItem* row1 = Sized(root.get(), 20, 20, L"R1");
    row1->SetOptions(tboToolbarStyle | tboToolbarSize);
    TTBCustomItem* row2 = Sized(root.get(), 20, 20, L"R2");
    row2->SetOptions(tboToolbarStyle | tboToolbarSize);
    TTBCustomItem* c = Sized(root.get(), 60, 18, L"C");
    TViewPtr view = MakeView(root.get(), false);
    TTBLayoutResult r = view->ComputeLayout(true, TTBViewAxis::vaHorizontal, 0, 0, 0);
    EXPECT_TRUE(RectIs(Bounds(view.get(), a), 0, 0, 80, 18)) << "as wide as the widest";
    EXPECT_TRUE(RectIs(Bounds(view.get(), b), 0, 18, 80, 36));
    EXPECT_EQ(Bounds(view.get(), sep).top, 36);
    int sepBottom = Bounds(view.get(), sep).bottom;
    EXPECT_TRUE(RectIs(Bounds(view.get(), row1), 0, sepBottom, 20, sepBottom + 20)) << "toolbar-size items share a row";
    EXPECT_TRUE(RectIs(Bounds(view.get(), row2), 20, sepBottom, 40, sepBottom + 20));
    EXPECT_TRUE(RectIs(Bounds(view.get(), c), 0, sepBottom + 20, 80, sepBottom + 38));
    EXPECT_EQ(r.TotalSize.x, 80);
    EXPECT_EQ(r.TotalSize.y, sepBottom + 38);
}

TEST(ViewLayout, TallPopupsScrollBetweenTheirArrowStrips)
{
    TItemPtr root(New<TTBRootItem>(nullptr));
    std::vector<TTBCustomItem*> items;
    for (int i = 0; i < 10; ++i)
        items.push_back(Sized(root.get(), 40, 20, L"I" + std::to_wstring(i)));
    TViewPtr view = MakeView(root.get(), false);
    view->SetMaxHeight(100);
    struct TCase {
        int Shift, ClampedShift;
        bool Up, Down;
        int FirstShown, LastShown;
    };
    const TCase cases[] = {
        {0, 0, false, true, 0, 3},
        {50, 50, true, true, 4, 5},
        {500, 100, true, false, 6, 9},
        {-5, 0, false, true, 0, 3},
    };
    for (const TCase& c : cases) {
        view->SetScrollShift(c.Shift);
        TTBLayoutResult r = view->ComputeLayout(true, TTBViewAxis::vaHorizontal, 0, 0, 0);
        EXPECT_EQ(view->GetScrollShift(), c.ClampedShift);
        EXPECT_EQ(view->GetUpArrowShown(), c.Up) << c.Shift;
        EXPECT_EQ(view->GetDownArrowShown(), c.Down) << c.Shift;
        EXPECT_EQ(r.TotalSize.y, 100);
        for (int i = 0; i < 10; ++i) {
            TTBItemViewer* v = view->Find(items[static_cast<size_t>(i)]);
            bool shown = i >= c.FirstShown && i <= c.LastShown;
            EXPECT_EQ(v->GetShown(), shown) << c.Shift << " item " << i;
            EXPECT_EQ(v->GetScrolledOut(), !shown) << c.Shift << " item " << i;
        }
    }
}

TEST(ViewLayout, SizesAreKeptUntilTheItemChanges)
{
    TItemPtr root(New<TTBRootItem>(nullptr));
    auto* a = static_cast<TSizedItem*>(Sized(root.get(), 30, 20, L"A"));
    Sized(root.get(), 30, 20, L"B");
    auto* same1 = static_cast<TSizedItem*>(Sized(root.get(), 25, 20, L"S1"));
    auto* same2 = static_cast<TSizedItem*>(Sized(root.get(), 45, 20, L"S2"));
    same1->SetOptions(tboImageAboveCaption | tboSameWidth);
    same2->SetOptions(tboImageAboveCaption | tboSameWidth);
    TViewPtr view = MakeView(root.get(), true);
    TSizedViewer::Measured = 0;
    view->ComputeLayout(true, TTBViewAxis::vaHorizontal, 0, 0, 0);
    EXPECT_EQ(TSizedViewer::Measured, 4);
    EXPECT_EQ(Bounds(view.get(), same1).right - Bounds(view.get(), same1).left, 45) << "shared width";
    view->ComputeLayout(true, TTBViewAxis::vaHorizontal, 50, 0, 0);
    EXPECT_EQ(TSizedViewer::Measured, 4) << "a new wrap length measures nothing";
    a->Width = 60;
    a->SetCaption(L"A longer");
    view->ComputeLayout(true, TTBViewAxis::vaHorizontal, 0, 0, 0);
    EXPECT_EQ(TSizedViewer::Measured, 5) << "only the changed item is measured again";
    EXPECT_EQ(Bounds(view.get(), a).right, 60);
    view->SetOrientation(TTBViewAxis::vaVertical);
    view->ComputeLayout(true, TTBViewAxis::vaVertical, 0, 0, 0);
    EXPECT_EQ(TSizedViewer::Measured, 9) << "turning the view measures everything";
}

// ---------------------------------------------------------------------------------------------
// Selection and keys

TEST(ViewSelection, StepsSkipWhatCannotBeSelected)
{
    TItemPtr root(New<TTBRootItem>(nullptr));
    TViewPtr empty = MakeView(root.get(), false);
    EXPECT_EQ(empty->StepSelectable(nullptr, true), nullptr);
    Separator(root.get());
    Separator(root.get());
    TViewPtr separators = MakeView(root.get(), false);
    separators->EnsureLayout();
    EXPECT_EQ(separators->StepSelectable(nullptr, true), nullptr) << "separators only";
    EXPECT_EQ(separators->InitialSelectable(), nullptr);

    TTBCustomItem* first = Sized(root.get(), 10, 10, L"First", isNeverFirst);
    TTBCustomItem* hidden = Sized(root.get(), 10, 10, L"Hidden");
    hidden->SetVisible(false);
    TTBCustomItem* second = Sized(root.get(), 10, 10, L"Second");
    Separator(root.get());
    TTBCustomItem* last = Sized(root.get(), 10, 10, L"Last");
    TViewPtr view = MakeView(root.get(), false);
    view->EnsureLayout();
    auto viewerOf = [&](TTBCustomItem* item) { return view->Find(item); };
    EXPECT_EQ(view->StepSelectable(nullptr, true), viewerOf(first));
    EXPECT_EQ(view->InitialSelectable(), viewerOf(second)) << "passes over a never-first item";
    EXPECT_EQ(view->StepSelectable(viewerOf(first), true), viewerOf(second)) << "skips the invisible";
    EXPECT_EQ(view->StepSelectable(viewerOf(second), true), viewerOf(last)) << "skips the separator";
    EXPECT_EQ(view->StepSelectable(viewerOf(last), true), viewerOf(first)) << "cycles";
    EXPECT_EQ(view->StepSelectable(nullptr, false), viewerOf(last));

    TItemPtr onlyNever(New<TTBRootItem>(nullptr));
    TTBCustomItem* never = Sized(onlyNever.get(), 10, 10, L"Never", isNeverFirst);
    TViewPtr neverView = MakeView(onlyNever.get(), false);
    neverView->EnsureLayout();
    EXPECT_EQ(neverView->InitialSelectable(), neverView->Find(never)) << "with no other, the never-first one";
}

TEST(ViewSelection, KeysMoveRunAndClose)
{
    TItemPtr root(New<TTBRootItem>(nullptr));
    Separator(root.get());
    TTBCustomItem* a = Sized(root.get(), 10, 10, L"A");
    TTBCustomItem* b = Sized(root.get(), 10, 10, L"B");
    b->SetHelpContext(42);
    TTBCustomItem* c = Sized(root.get(), 10, 10, L"C");
    TViewPtr view = MakeView(root.get(), false);
    view->EnsureLayout();
    std::vector<std::string> selections;
    for (TTBCustomItem* item : {a, b, c})
        item->OnSelect = TTBSelectEvent([&](TTBCustomItem* sender, TTBItemViewer*, bool selecting) {
            selections.push_back((selecting ? "+" : "-") + WideToAnsi(sender->GetCaption()));
        });
    auto press = [&](WORD key) {
        WORD k = key;
        view->HandleKeyPress(k, 0);
        EXPECT_EQ(k, 0) << "key " << key << " is handled";
    };
    press(VK_HOME);
    EXPECT_EQ(view->GetSelected(), view->Find(a)) << "Home passes the separator";
    press(VK_DOWN);
    press(VK_DOWN);
    EXPECT_EQ(view->GetSelected(), view->Find(c));
    press(VK_DOWN);
    EXPECT_EQ(view->GetSelected(), view->Find(a)) << "and wraps";
    press(VK_UP);
    press(VK_END);
    EXPECT_EQ(view->GetSelected(), view->Find(c));
    EXPECT_EQ(selections, (std::vector<std::string>{"+A", "-A", "+B", "-B", "+C", "-C", "+A", "-A", "+C"}));

    press(VK_UP);
    press(VK_F1);
    EXPECT_EQ(view->GetDoneActionData().DoneAction, TTBDoneKind::dkHelpContext);
    EXPECT_EQ(view->GetDoneActionData().ContextID, 42);

    press(VK_RETURN);
    EXPECT_EQ(view->GetDoneActionData().DoneAction, TTBDoneKind::dkClickItem);
    EXPECT_EQ(view->GetDoneActionData().ClickItem, b);
    EXPECT_TRUE(view->GetDoneActionData().ClickedInPopup);

    b->SetEnabled(false);
    press(VK_RETURN);
    EXPECT_EQ(view->GetDoneActionData().DoneAction, TTBDoneKind::dkCancel) << "a disabled item ends the menu";
    press(VK_ESCAPE);
    EXPECT_EQ(view->GetDoneActionData().DoneAction, TTBDoneKind::dkCancel);
    WORD other = 'Q';
    view->HandleKeyPress(other, 0);
    EXPECT_EQ(other, 'Q') << "other keys are left alone";
}

TEST(ViewPainting, SelectedViewerLastHiddenAndControlsNever)
{
    TItemPtr root(New<TTBRootItem>(nullptr));
    Sized(root.get(), 20, 20, L"A");
    TTBCustomItem* b = Sized(root.get(), 20, 20, L"B");
    Sized(root.get(), 20, 20, L"C");
    Sized(root.get(), 20, 20, L"Hidden")->SetVisible(false);
    TViewPtr view = MakeView(root.get(), true);
    view->EnsureLayout();
    view->Select(view->Find(b), false);
    TTestDib dib(100, 30);
    std::unique_ptr<TCanvas, TObjectFree> canvas(New<TCanvas>());
    canvas->SetHandle(dib.DC());
    std::vector<std::string> log;
    PaintLog = &log;
    view->PaintViewers(canvas.get());
    EXPECT_EQ(log, (std::vector<std::string>{"A", "C", "B"}));
    log.clear();
    view->IncludeState(stPaintInOrder);
    view->PaintViewers(canvas.get());
    EXPECT_EQ(log, (std::vector<std::string>{"A", "B", "C"}));
    EXPECT_FALSE(view->InState(stPaintInOrder)) << "once";
    log.clear();
    IntersectClipRect(dib.DC(), 45, 0, 60, 30);
    view->PaintViewers(canvas.get());
    EXPECT_EQ(log, (std::vector<std::string>{"C"})) << "outside the clip nothing is painted";
    PaintLog = nullptr;
    canvas->SetHandle(nullptr);
}

TEST(ViewPainting, EachViewerPaintsInItsBoundsFromItsCornerAndTheDCComesBackAsItWas)
{
    TItemPtr root(New<TTBRootItem>(nullptr));
    TTBCustomItem* items[] = {Sized(root.get(), 20, 20, L"A"), Sized(root.get(), 20, 20, L"B"),
                              Sized(root.get(), 20, 20, L"C")};
    TViewPtr view = MakeView(root.get(), true);
    view->EnsureLayout();
    TTestDib dib(100, 40);
    dib.Fill(0x123456);
    std::unique_ptr<TCanvas, TObjectFree> canvas(New<TCanvas>());
    canvas->SetHandle(dib.DC());
    HDC dc = canvas->GetHandle();
    const RECT last = view->Find(items[2])->GetBoundsRect();
    const int clipRight = last.left + 5;
    IntersectClipRect(dc, 0, 0, clipRight, 40);
    SetBkMode(dc, OPAQUE);
    const HGDIOBJ font = GetCurrentObject(dc, OBJ_FONT), pen = GetCurrentObject(dc, OBJ_PEN),
                  brush = GetCurrentObject(dc, OBJ_BRUSH);
    const COLORREF text = GetTextColor(dc);
    PaintFills = true;
    view->PaintViewers(canvas.get());
    view->PaintViewers(canvas.get());   // a second paint starts from what the first left
    PaintFills = false;

    const uint32_t colours[] = {0xFF0000, 0x00FF00, 0x0000FF};
    RECT all{};
    for (int i = 0; i < 3; ++i) {
        const RECT r = view->Find(items[i])->GetBoundsRect();
        UnionRect(&all, &all, &r);
        EXPECT_EQ(dib.Pixel(r.left + 1, r.top + 1), 0u) << i << ": the origin is the viewer's corner";
        EXPECT_EQ(dib.Pixel(r.left + 4, r.bottom - 2), colours[i]) << i << ": its own fill, no other's";
    }
    EXPECT_EQ(dib.Pixel(clipRight, last.top + 10), 0x123456u) << "the paint's clip holds";
    EXPECT_EQ(dib.CountNot(0x123456, all, true), 0) << "nothing outside the viewers";
    RECT clip{};
    EXPECT_EQ(GetClipBox(dc, &clip), SIMPLEREGION);
    EXPECT_EQ(clip.right, clipRight);
    POINT origin{1, 1};
    GetWindowOrgEx(dc, &origin);
    EXPECT_EQ(origin.x, 0);
    EXPECT_EQ(origin.y, 0);
    EXPECT_EQ(GetCurrentObject(dc, OBJ_FONT), font);
    EXPECT_EQ(GetCurrentObject(dc, OBJ_PEN), pen);
    EXPECT_EQ(GetCurrentObject(dc, OBJ_BRUSH), brush);
    EXPECT_EQ(GetTextColor(dc), text);
    EXPECT_EQ(GetBkMode(dc), OPAQUE);
    canvas->SetHandle(nullptr);
}

TEST(ViewPainting, DefaultLookOfMenuItemsAndSeparators)
{
    TItemPtr root(New<TTBRootItem>(nullptr));
    auto* plain = New<TTBCustomItem>(nullptr);
    plain->SetCaption(L"&Plain");
    root->Add(plain);
    auto* selected = New<TTBCustomItem>(nullptr);
    selected->SetCaption(L"&Selected");
    root->Add(selected);
    auto* line = New<TTBSeparatorItem>(nullptr);
    root->Add(line);
    auto* middle = New<TTBCustomItem>(nullptr);
    middle->SetCaption(L"Middle");
    root->Add(middle);
    auto* blank = New<TTBSeparatorItem>(nullptr);
    blank->SetBlank(true);
    root->Add(blank);
    auto* last = New<TTBCustomItem>(nullptr);
    last->SetCaption(L"Last");
    root->Add(last);
    TViewPtr menu = MakeView(root.get(), false);
    menu->EnsureLayout();
    menu->Select(menu->Find(selected), false);
    TTestDib dib(300, 200);
    dib.Fill(0x123456);
    std::unique_ptr<TCanvas, TObjectFree> canvas(New<TCanvas>());
    canvas->SetHandle(dib.DC());
    menu->PaintViewers(canvas.get());
    canvas->SetHandle(nullptr);
    auto rgb = [](int sysColour) {
        COLORREF c = GetSysColor(sysColour);
        return static_cast<uint32_t>((GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c));
    };
    const uint32_t menuColour = rgb(COLOR_MENU);
    const uint32_t highlight = rgb(FlatMenusOn() ? COLOR_MENUHILIGHT : COLOR_HIGHLIGHT);
    RECT p = menu->Find(plain)->GetBoundsRect();
    RECT s = menu->Find(selected)->GetBoundsRect();
    EXPECT_EQ(dib.Pixel(p.left, p.top), menuColour);
    EXPECT_EQ(dib.Pixel(s.left, s.top), highlight) << "the selected item is filled with the highlight";
    EXPECT_GT(dib.CountNot(menuColour, p), 0) << "the caption is drawn";
    RECT end = menu->Find(last)->GetBoundsRect();
    EXPECT_EQ(dib.CountNot(0x123456, RECT{0, 0, end.right, end.bottom}, true), 0) << "nothing outside the viewers";
    RECT l = menu->Find(line)->GetBoundsRect();
    RECT b = menu->Find(blank)->GetBoundsRect();
    EXPECT_EQ(b.bottom - b.top, l.bottom - l.top) << "a blank separator keeps its size";
    EXPECT_GT(dib.CountNot(menuColour, l), 0) << "an etched line";
    EXPECT_EQ(dib.CountNot(menuColour, b), 0) << "but a blank one draws nothing";
}

// ---------------------------------------------------------------------------------------------
// The base viewer

TEST(BaseViewer, MeasuresCaptionsShortcutsAndSeparators)
{
    TItemPtr root(New<TTBRootItem>(nullptr));
    auto* item = New<TTBCustomItem>(nullptr);
    item->SetCaption(L"&Open");
    root->Add(item);
    auto* withTab = New<TTBCustomItem>(nullptr);
    withTab->SetCaption(L"Save\tCtrl+S");
    root->Add(withTab);
    TTBCustomItem* sep = Separator(root.get());
    TViewPtr toolbar = MakeView(root.get(), true);
    TViewPtr menu = MakeView(root.get(), false);

    TTestDib dib(10, 10);
    std::unique_ptr<TCanvas, TObjectFree> canvas(New<TCanvas>());
    canvas->SetHandle(dib.DC());
    canvas->GetFont()->Assign(TBMenuFont());
    canvas->RequiredState(TCanvas::csHandleValid | TCanvas::csFontValid);
    TEXTMETRICW tm{};
    GetTextMetricsW(dib.DC(), &tm);
    int open = WideTextExtent(dib.DC(), L"Open").cx;
    int save = WideTextExtent(dib.DC(), L"Save").cx;
    int shortCut = WideTextExtent(dib.DC(), L"Ctrl+S").cx;

    int w = 0, h = 0;
    toolbar->Find(item)->MeasureSize(canvas.get(), w, h);
    EXPECT_EQ(w, 6 + open + 6);
    EXPECT_EQ(h, 6 + tm.tmHeight);
    menu->Find(item)->MeasureSize(canvas.get(), w, h);
    int height = tm.tmHeight + tm.tmExternalLeading + 4;
    EXPECT_EQ(h, height);
    EXPECT_EQ(w, open + height + 6 + height) << "image column as wide as the height, and the arrow room";
    menu->Find(withTab)->MeasureSize(canvas.get(), w, h);
    EXPECT_EQ(w, save + height + 6 + shortCut + height - 6 + height);
    toolbar->Find(sep)->MeasureSize(canvas.get(), w, h);
    EXPECT_EQ(w, 6);
    EXPECT_EQ(h, 6);
    menu->Find(sep)->MeasureSize(canvas.get(), w, h);
    EXPECT_EQ(h, tm.tmHeight * 2 / 3);
    canvas->SetHandle(nullptr);

    EXPECT_EQ(menu->Find(withTab)->ComposeCaption(), L"Save");
}

TEST(BaseViewer, HintsRolesAndButtonParts)
{
    TItemPtr root(New<TTBRootItem>(nullptr));
    auto add = [&](const std::wstring& caption, const std::wstring& hint, TTBItemTraits traits = 0) {
        TTBCustomItem* item = Sized(root.get(), 40, 20, caption, traits);
        item->SetHint(hint);
        return item;
    };
    TTBCustomItem* withHint = add(L"&Open", L"Open a file|Opens a project file");
    TTBCustomItem* auto1 = add(L"&Save\tCtrl+S", L"");
    auto1->SetShortCut(scCtrl | 'S');
    TTBCustomItem* noAuto = add(L"&Quiet", L"");
    noAuto->SetOptions(tboNoAutoHint);
    TTBCustomItem* submenu = add(L"&File", L"", isSubmenu);
    TTBCustomItem* split = add(L"&Undo", L"", isSubmenu | isSplitButton);
    TTBCustomItem* sep = Separator(root.get());
    TViewPtr toolbar = MakeView(root.get(), true);
    toolbar->EnsureLayout();
    TViewPtr menu = MakeView(root.get(), false);
    menu->EnsureLayout();

    Application->SetHintShortCuts(true);
    EXPECT_EQ(toolbar->Find(withHint)->ComposeHint(), L"Open a file");
    EXPECT_EQ(toolbar->Find(auto1)->ComposeHint(), L"Save (Ctrl+S)");
    EXPECT_EQ(toolbar->Find(noAuto)->ComposeHint(), L"");
    EXPECT_EQ(toolbar->Find(submenu)->ComposeHint(), L"") << "a submenu whose caption shows has no hint of it";
    EXPECT_EQ(toolbar->Find(split)->ComposeHint(), L"Undo");
    Application->SetHintShortCuts(false);
    EXPECT_EQ(toolbar->Find(auto1)->ComposeHint(), L"Save");
    Application->SetHintShortCuts(true);

    EXPECT_EQ(toolbar->Find(withHint)->AccessibleRole(), ROLE_SYSTEM_PUSHBUTTON);
    EXPECT_EQ(toolbar->Find(submenu)->AccessibleRole(), ROLE_SYSTEM_BUTTONMENU);
    EXPECT_EQ(toolbar->Find(sep)->AccessibleRole(), ROLE_SYSTEM_SEPARATOR);
    EXPECT_EQ(menu->Find(withHint)->AccessibleRole(), ROLE_SYSTEM_MENUITEM);

    // A split item 40 wide: the last 11 pixels are its arrow.
    TTBItemViewer* splitViewer = toolbar->Find(split);
    EXPECT_EQ(splitViewer->GetBoundsRect().right - splitViewer->GetBoundsRect().left, 40);
    EXPECT_TRUE(splitViewer->PointInButtonPart(28, 5));
    EXPECT_FALSE(splitViewer->PointInButtonPart(29, 5));
    EXPECT_FALSE(toolbar->Find(submenu)->PointInButtonPart(1, 1));
    EXPECT_TRUE(toolbar->Find(withHint)->PointInButtonPart(39, 1));
}

TEST(BaseViewer, ActionHintHookReplacesHidesOrKeepsTheHint)
{
    struct TCase {
        const char* Name;
        THintEvent Hook;
        std::wstring Hint;
    };
    const TCase cases[] = {
        {"no hook", nullptr, L"\x4E2D\x6587 (Ctrl+K)"},
        {"a hook that leaves it keeps the wide text", THintEvent([](std::string&, bool&) {}), L"\x4E2D\x6587 (Ctrl+K)"},
        {"replaced", THintEvent([](std::string& text, bool&) { text = "Other"; }), L"Other (Ctrl+K)"},
        {"hidden, shortcut and all", THintEvent([](std::string&, bool& show) { show = false; }), L""},
    };
    Application->SetHintShortCuts(true);
    for (const TCase& c : cases) {
        std::unique_ptr<TAction, TObjectFree> action(New<TAction>(nullptr));
        action->SetShortCut(scCtrl | 'K');
        action->OnHint = c.Hook;
        TItemPtr root(New<TTBRootItem>(nullptr));
        TTBCustomItem* item = Sized(root.get(), 40, 20);
        item->SetAction(action.get());
        item->SetHint(L"\x4E2D\x6587|long");
        TViewPtr view = MakeView(root.get(), true);
        view->EnsureLayout();
        EXPECT_EQ(view->Find(item)->ComposeHint(), c.Hint) << c.Name;
        item->SetAction(nullptr);
    }
}

} // namespace
