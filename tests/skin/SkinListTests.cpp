// Lists in popups: measuring with and without the scroll bar, the line kept in view, keys, wheel,
// dragging with auto-scroll bands, clicks that commit, the windowless scroll bar's parts, thumb,
// repeat and auto-scroll, pixels of the default drawing, and the list popup's own view type.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SkinItemTestSupport.h"
#include "SkinRecordingTheme.h"
#include "SkinTestSupport.h"
#include "TestSupport.h"
#include "platform/ScopeGuards.h"
#include "skin/Skin.h"
#include "skin/SkinLists.h"
#include "skin/SkinPopup.h"
#include "toolbar/TBCommon.h"

namespace {

TSkinStringList* AddList(TViewFixture& f, int lines, int itemIndex = -1)
{
    auto* list = New<TSkinStringList>(nullptr);
    for (int i = 0; i < lines; ++i)
        list->GetLines()->Add(std::to_wstring((i + 1) * 10) + L"%");
    list->SetItemIndex(itemIndex);
    f.Root->Add(list);
    return list;
}

TSkinCustomListViewer* LaidOut(TViewFixture& f, TSkinStringList* list)
{
    f.View->EnsureLayout();
    auto* viewer = static_cast<TSkinCustomListViewer*>(f.ViewerOf(list));
    // Painting gives the viewer its rectangle and scroll bar.
    TTestSurface surface(400, 400);
    TTestCanvas canvas(surface.DC(), f.View.get());
    const RECT& b = viewer->GetBoundsRect();
    viewer->Paint(canvas.Get(), RECT{0, 0, b.right - b.left, b.bottom - b.top}, false, false, false);
    return viewer;
}

int LineHeight(TViewFixture& f)
{
    return TextSizeInViewFont(f.View.get(), L"Q", DT_SINGLELINE).cy + 2;
}

TEST(SkinList, MeasuresVisibleLinesAndTheScrollBar)
{
    struct TCase {
        const char* Name;
        int Lines, MaxVisible, MinWidth, MaxWidth;
        int ExpectVisible;
        bool ExpectBar;
    };
    const TCase cases[] = {
        {"ten lines show eight and a bar", 10, 8, 32, 0, 8, true},
        {"eight lines fit", 8, 8, 32, 0, 8, false},
        {"an empty list keeps one line", 0, 8, 32, 0, 1, false},
        {"at least MinWidth", 2, 8, 200, 0, 2, false},
        {"at most MaxWidth above MinWidth", 3, 8, 32, 40, 3, false},
    };
    for (const TCase& c : cases) {
        TViewFixture f(vtListPopup, false);
        TSkinStringList* list = AddList(f, c.Lines);
        list->SetMaxVisibleItems(c.MaxVisible);
        list->SetMinWidth(c.MinWidth);
        list->SetMaxWidth(c.MaxWidth);
        TSkinCustomListViewer* viewer = LaidOut(f, list);
        const RECT b = viewer->GetBoundsRect();
        EXPECT_EQ(viewer->GetVisibleLines(), c.ExpectVisible) << c.Name;
        EXPECT_EQ(b.bottom - b.top, c.ExpectVisible * LineHeight(f)) << c.Name;
        EXPECT_EQ(viewer->GetScrollBarWidth(), c.ExpectBar ? GetSystemMetrics(SM_CXVSCROLL) : 0) << c.Name;
        EXPECT_EQ(viewer->GetScrollBar() != nullptr, c.ExpectBar) << c.Name;
        int widest = 0;
        for (int i = 0; i < c.Lines; ++i)
            widest = std::max(widest, int(TextSizeInViewFont(f.View.get(), list->GetItemText(i), DT_SINGLELINE).cx) + 8);
        int want = std::max(widest + viewer->GetScrollBarWidth(), c.MinWidth);
        if (c.MaxWidth > c.MinWidth)
            want = std::min(want, c.MaxWidth);
        EXPECT_EQ(b.right - b.left, want) << c.Name;
    }
}

TEST(SkinList, ItemIndexKeysAndWheel)
{
    TViewFixture f(vtListPopup, false);
    TSkinStringList* list = AddList(f, 10, 9);
    TSkinCustomListViewer* viewer = LaidOut(f, list);
    EXPECT_EQ(viewer->GetOffset(), 2) << "line 9 opens as the last visible one";
    EXPECT_EQ(viewer->GetHotIndex(), 9);
    list->SetItemIndex(-5);
    EXPECT_EQ(list->GetItemIndex(), -1);
    EXPECT_EQ(viewer->GetHotIndex(), -1);
    EXPECT_THROW(list->GetItemText(10), Exception) << "List index out of bounds";

    struct TStep {
        WORD Key;
        int ExpectIndex, ExpectOffset;
    };
    const TStep steps[] = {
        {VK_DOWN, 0, 0}, {VK_NEXT, 8, 1},  {VK_DOWN, 9, 2}, {VK_DOWN, 9, 2}, {VK_HOME, 0, 0},
        {VK_UP, 0, 0},   {VK_END, 9, 2},   {VK_PRIOR, 1, 1}, {VK_PRIOR, 0, 0},
    };
    int changes = 0;
    list->OnChange = TNotifyEvent([&](TObject*) { ++changes; });
    for (const TStep& s : steps) {
        WORD key = s.Key;
        viewer->KeyDown(key, 0);
        EXPECT_EQ(key, 0) << "key " << s.Key << " consumed";
        EXPECT_EQ(list->GetItemIndex(), s.ExpectIndex) << "key " << s.Key;
        EXPECT_EQ(viewer->GetHotIndex(), s.ExpectIndex) << "key " << s.Key;
        EXPECT_EQ(viewer->GetOffset(), s.ExpectOffset) << "key " << s.Key;
    }
    EXPECT_EQ(changes, int(std::size(steps)));
    WORD other = 'A';
    viewer->KeyDown(other, 0);
    EXPECT_EQ(other, 'A') << "other keys go on to the menu";

    // The wheel: each full notch one line, up for a positive delta, kept within the list.
    struct TWheel {
        int Delta, ExpectOffset;
    };
    const TWheel wheel[] = {{-120, 1}, {-60, 1}, {-60, 2}, {-240, 2}, {120, 1}, {360, 0}};
    for (const TWheel& w : wheel) {
        viewer->MouseWheel(w.Delta, 5, 5);
        EXPECT_EQ(viewer->GetOffset(), w.ExpectOffset) << "delta " << w.Delta;
        EXPECT_EQ(viewer->GetScrollBar()->GetPosition(), w.ExpectOffset);
    }

    // Keys on an empty list move nowhere and raise nothing.
    TViewFixture g(vtListPopup, false);
    TSkinStringList* empty = AddList(g, 0);
    TSkinCustomListViewer* emptyViewer = LaidOut(g, empty);
    for (WORD k : {VK_DOWN, VK_UP, VK_END, VK_HOME, VK_NEXT}) {
        WORD key = k;
        EXPECT_NO_THROW(emptyViewer->KeyDown(key, 0));
        EXPECT_EQ(empty->GetItemIndex(), -1);
    }
}

TEST(SkinList, DragAutoScrollsByBandAndReleaseCommits)
{
    TViewFixture f(vtListPopup, false);
    TSkinStringList* list = AddList(f, 30);
    TSkinCustomListViewer* viewer = LaidOut(f, list);
    const int h = LineHeight(f), bottom = 8 * h;
    bool onMenu = true;
    viewer->MouseDown(0, 5, h + 1, onMenu);
    EXPECT_TRUE(viewer->GetListTracking());
    EXPECT_EQ(viewer->GetHotIndex(), 1);
    viewer->MouseMove(5, 3 * h + 2);
    EXPECT_EQ(viewer->GetHotIndex(), 3) << "the hot line follows the pointer";
    EXPECT_EQ(list->GetItemIndex(), -1) << "nothing committed while dragging";

    struct TBand {
        int Distance, Step, Interval;
    };
    const TBand bands[] = {{0, 1, 150}, {9, 1, 150}, {10, 1, 100}, {29, 1, 100},
                           {30, 2, 100}, {50, 2, 100}, {51, 4, 100}};
    TSkinScrollBar* bar = viewer->GetScrollBar();
    ASSERT_NE(bar, nullptr);
    for (const TBand& b : bands) {
        viewer->MouseMove(5, bottom + b.Distance);
        EXPECT_TRUE(bar->GetAutoScrolling()) << b.Distance;
        EXPECT_EQ(bar->GetAutoScrollStep(), b.Step) << b.Distance;
        EXPECT_EQ(bar->GetAutoScrollInterval(), b.Interval) << b.Distance;
    }
    // Above the list: upward; and the band's steps move the lines.
    viewer->MouseMove(5, bottom + 40);
    int interval = 100;
    bar->HandleTimer(sbtAutoScroll, interval);
    EXPECT_EQ(viewer->GetOffset(), 2) << "40 pixels below: two lines a tick";
    EXPECT_EQ(viewer->GetHotIndex(), 9) << "the hot line rides the bottom edge";
    viewer->MouseMove(5, -5);
    EXPECT_EQ(bar->GetAutoScrollStep(), -1);
    interval = 150;
    bar->HandleTimer(sbtAutoScroll, interval);
    EXPECT_EQ(viewer->GetOffset(), 1);
    EXPECT_EQ(viewer->GetHotIndex(), 1);
    bar->HandleTimer(sbtAutoScroll, interval);
    EXPECT_EQ(viewer->GetOffset(), 0);
    EXPECT_EQ(interval, 0) << "the first line stops the scrolling";
    viewer->MouseMove(5, -5);
    EXPECT_FALSE(bar->GetAutoScrolling()) << "nothing left to scroll";
    viewer->MouseMove(5, 2 * h + 1);
    EXPECT_FALSE(bar->GetAutoScrolling()) << "inside the list it stops";

    viewer->MouseUp(5, 2 * h + 1, false);
    EXPECT_FALSE(viewer->GetListTracking());
    EXPECT_EQ(list->GetItemIndex(), 2) << "the release commits the hot line";
    const TTBDoneActionData& done = f.View->GetDoneActionData();
    EXPECT_EQ(done.DoneAction, TTBDoneKind::dkClickItem);
    EXPECT_EQ(done.ClickItem, list);
}

TEST(SkinList, ScrollBarStripKeepsTheMenuOpen)
{
    TViewFixture f(vtListPopup, false);
    TSkinStringList* list = AddList(f, 20);
    TSkinCustomListViewer* viewer = LaidOut(f, list);
    const RECT b = viewer->GetBoundsRect();
    const int w = b.right - b.left, bar = viewer->GetScrollBarWidth();
    bool onMenu = true;
    // The last arrow at the strip's bottom.
    viewer->MouseDown(0, w - bar / 2, (b.bottom - b.top) - 3, onMenu);
    EXPECT_FALSE(onMenu) << "not a press on a menu item";
    EXPECT_TRUE(viewer->GetScrollBarTracking());
    EXPECT_EQ(viewer->GetOffset(), 1) << "one line down";
    EXPECT_EQ(viewer->GetScrollBar()->GetRepeatInterval(), 500u);
    int interval = 500;
    viewer->GetScrollBar()->HandleTimer(sbtRepeat, interval);
    EXPECT_EQ(interval, 100);
    EXPECT_EQ(viewer->GetOffset(), 2) << "repeats while held";
    viewer->MouseUp(w - bar / 2, (b.bottom - b.top) - 3, false);
    EXPECT_FALSE(viewer->GetScrollBarTracking());
    EXPECT_EQ(viewer->GetScrollBar()->GetRepeatInterval(), 0u);
    EXPECT_EQ(f.View->GetDoneActionData().DoneAction, TTBDoneKind::dkNone) << "the menu stays open";
    EXPECT_EQ(list->GetItemIndex(), -1);
}

TEST(SkinScrollBar, PartsThumbAndDrag)
{
    struct TCase {
        const char* Name;
        int Length, Range, Window, Position;
        int ExpectArrow;
        int ExpectThumbStart, ExpectThumbLength;   // along the axis; length 0: no thumb
    };
    const TCase cases[] = {
        {"proportional thumb", 100, 10, 8, 0, 17, 17, 53},
        {"proportional thumb at the end", 100, 10, 8, 2, 17, 17 + 13, 53},
        {"the thumb keeps 8 pixels", 100, 1000, 8, 0, 17, 17, 8},
        {"the minimum thumb reaches the end", 100, 1000, 8, 992, 17, 17 + 66 - 8, 8},
        {"a 13-pixel track has a thumb", 47, 10, 5, 0, 17, 17, 8},
        {"a 12-pixel track has none", 46, 10, 5, 0, 17, 0, 0},
        {"short bars halve the arrows", 30, 10, 5, 0, 14, 0, 0},
        {"disabled: window covers the range", 100, 5, 8, 0, 17, 0, 0},
    };
    for (const TCase& c : cases) {
        std::unique_ptr<TSkinScrollBar, TObjectFree> bar(New<TSkinScrollBar>());
        bar->SetBounds(RECT{0, 0, 17, c.Length});
        bar->SetRange(c.Range);
        bar->SetWindow(c.Window);
        bar->SetPosition(c.Position);
        const RECT first = bar->GetPartRect(sbpFirstArrow), last = bar->GetPartRect(sbpLastArrow);
        EXPECT_EQ(first.bottom - first.top, c.ExpectArrow) << c.Name;
        EXPECT_EQ(last.bottom, c.Length) << c.Name;
        const RECT thumb = bar->GetPartRect(sbpThumb);
        EXPECT_EQ(thumb.bottom - thumb.top, c.ExpectThumbLength) << c.Name;
        if (c.ExpectThumbLength > 0) {
            EXPECT_EQ(thumb.top, c.ExpectThumbStart) << c.Name;
            EXPECT_EQ(bar->GetPartRect(sbpTrackBefore).bottom, thumb.top) << c.Name;
            EXPECT_EQ(bar->GetPartRect(sbpTrackAfter).top, thumb.bottom) << c.Name;
        }
    }

    // Dragging the thumb: to the end gives Range - Window exactly, beyond stays there.
    for (int range : {10, 1000}) {
        std::unique_ptr<TSkinScrollBar, TObjectFree> bar(New<TSkinScrollBar>());
        bar->SetBounds(RECT{0, 0, 17, 100});
        bar->SetRange(range);
        bar->SetWindow(8);
        int changes = 0;
        bar->OnChange = TNotifyEvent([&](TObject*) { ++changes; });
        const RECT thumb = bar->GetPartRect(sbpThumb);
        bar->MouseDown(TMouseButton::mbLeft, 8, thumb.top + 2);
        EXPECT_EQ(bar->GetPressedPart(), sbpThumb);
        bar->MouseMove(8, thumb.top + 2 + (100 - 34 - (thumb.bottom - thumb.top)));
        EXPECT_EQ(bar->GetPosition(), range - 8) << range;
        bar->MouseMove(8, 400);
        EXPECT_EQ(bar->GetPosition(), range - 8) << range;
        bar->MouseMove(8, -400);
        EXPECT_EQ(bar->GetPosition(), 0) << range;
        bar->MouseUp(TMouseButton::mbLeft, 8, 0);
        EXPECT_EQ(bar->GetPressedPart(), sbpNone);
        EXPECT_GE(changes, 2);
        bar->SetRange(-4);
        EXPECT_EQ(bar->GetRange(), 0);
    }

    // A track press pages; its repeat waits while the pointer is off the part.
    std::unique_ptr<TSkinScrollBar, TObjectFree> bar(New<TSkinScrollBar>());
    bar->SetBounds(RECT{0, 0, 17, 200});
    bar->SetRange(100);
    bar->SetWindow(10);
    bar->MouseDown(TMouseButton::mbLeft, 8, 190 - 17 - 2);
    EXPECT_EQ(bar->GetPosition(), 10);
    bar->MouseMove(30, 190 - 17 - 2);
    int interval = 100;
    bar->HandleTimer(sbtRepeat, interval);
    EXPECT_EQ(bar->GetPosition(), 10) << "off the part: no paging";
    EXPECT_EQ(interval, 100) << "but the timer keeps going";
    bar->MouseMove(8, 190 - 17 - 2);
    bar->HandleTimer(sbtRepeat, interval);
    EXPECT_EQ(bar->GetPosition(), 20);
    bar->MouseUp(TMouseButton::mbLeft, 8, 0);
}

TEST(SkinList, DefaultDrawingInPixels)
{
    TViewFixture f(vtListPopup, false);
    TSkinStringList* list = AddList(f, 12, 1);
    f.View->EnsureLayout();
    auto* viewer = static_cast<TSkinCustomListViewer*>(f.ViewerOf(list));
    const RECT& b = viewer->GetBoundsRect();
    const int w = b.right - b.left, h = b.bottom - b.top, line = LineHeight(f);
    const int liveBefore = LiveHandles(THandleKind::GdiObject);
    {
        TTestSurface surface(w, h + 20);
        TTestCanvas canvas(surface.DC(), f.View.get());
        viewer->Paint(canvas.Get(), RECT{0, 0, w, h}, false, false, false);
        const int bar = viewer->GetScrollBarWidth();
        EXPECT_EQ(surface.At(1, line + line / 2), PixelRGB(GetSysColor(COLOR_HIGHLIGHT))) << "the hot line";
        EXPECT_EQ(surface.At(1, line / 2), PixelRGB(GetSysColor(COLOR_WINDOW))) << "a plain line";
        EXPECT_EQ(surface.At(w - bar - 1, line / 2), PixelRGB(GetSysColor(COLOR_WINDOW))) << "lines stop at the bar";
        int barInk = 0;
        for (int y = 0; y < h; ++y)
            barInk += surface.At(w - bar / 2, y) != PixelRGB(GetSysColor(COLOR_WINDOW));
        EXPECT_GT(barInk, h / 2) << "the scroll bar fills its strip";
        EXPECT_TRUE(surface.At(w / 2, h + 5) == 0xFFFFFF) << "nothing below the viewer";
    }
    EXPECT_EQ(LiveHandles(THandleKind::GdiObject), liveBefore);
}

TEST(SkinList, ListPopupReportsItsTypeAndCastsNoShadow)
{
    TRecordingThemeScope theme;
    theme->ShadowStyle = 1;
    HWND owner = CreateWindowExA(WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW, "STATIC", "", WS_POPUP, 50, 50, 400, 100,
                                 nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ShowWindow(owner, SW_SHOWNOACTIVATE);
    {
        TViewFixture f;
        f.Host->SetBounds(10, 10, 300, 30);
        f.Host->SetParentWindow(owner);
        auto* zoom = f.Add<TSkinSubmenuItem>(L"Zoom");
        auto* list = New<TSkinStringList>(nullptr);
        list->GetLines()->Add(L"100%");
        zoom->Add(list);
        auto* menu = f.Add<TSkinSubmenuItem>(L"Menu");
        menu->Add(New<TSkinItem>(nullptr));
        f.View->EnsureLayout();
        f.View->IncludeState(stModal);
        struct TCase {
            TTBCustomItem* Item;
            uint32_t ExpectType;
            bool ExpectShadowClass;
        };
        const TCase cases[] = {{zoom, vtListPopup, false}, {menu, vtPopup, RunningOnXP()}};
        for (const TCase& c : cases) {
            f.View->Select(f.ViewerOf(c.Item), false);
            ASSERT_TRUE(f.View->ShowChildPopup(false));
            auto* popup = dynamic_cast<TSkinPopupWindow*>(f.View->GetOpenedViewerWindow());
            ASSERT_NE(popup, nullptr);
            EXPECT_EQ(GetViewTypeOfControl(popup), c.ExpectType);
            EXPECT_EQ(popup->ShadowAllowed(), c.ExpectType != vtListPopup);
            char name[64] = {};
            GetClassNameA(popup->GetHandle(), name, sizeof(name));
            const bool shadowClass = (GetClassLongPtrA(popup->GetHandle(), GCL_STYLE) & CS_DROPSHADOW) != 0;
            EXPECT_EQ(shadowClass, c.ExpectShadowClass) << name;
            EXPECT_EQ(std::string(name).back() == 'S', c.ExpectShadowClass) << name;
            f.View->HideChildPopups();
        }
        f.View->ExcludeState(stModal);
    }
    DestroyWindow(owner);
    PumpMessages();
}

} // namespace
