// Real popup windows on the monitors: a context menu at each corner of the screen opens toward
// the inside, submenus flip at the edge of a second monitor given in place of the system's and
// keep their side, and opening and closing a 30-item popup with a submenu a thousand times leaves
// no window, GDI object, timer, hook or thread behind.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "MenuTestSupport.h"
#include "ToolbarTestSupport.h"
#include "toolbar/TBCommon.h"
#include "toolbar/TBPopup.h"

namespace {

RECT WindowRectOf(TTBPopupWindow* popup)
{
    RECT r{};
    GetWindowRect(popup->GetHandle(), &r);
    return r;
}

bool Inside(const RECT& inner, const RECT& outer)
{
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

TEST(PopupPlacement, ContextMenusOpenTowardTheInsideOnEitherMonitor)
{
    TMenuSettings settings(false, false, 100);
    const RECT first{0, 0, 1280, 1024};
    const RECT second{1280, 100, 1880, 700};
    const std::vector<TMonitorLayoutEntry> monitors{{first, first}, {second, second}};
    SetMonitorLayout(&monitors);
    TItemPtr root(New<TTBRootItem>(nullptr));
    for (int i = 0; i < 12; ++i)
        AddItem(root.get(), L"Command number " + std::to_wstring(i));
    struct TCase {
        const char* Name;
        POINT At;
        RECT Monitor;
        bool Left;   // opens to the left of the point
        bool Up;     // opens above the point
    };
    const TCase cases[] = {
        {"top left corner", {2, 2}, first, false, false},
        {"top right corner", {1277, 2}, first, true, false},
        {"bottom left corner", {2, 1021}, first, false, true},
        {"bottom right corner", {1277, 1021}, first, true, true},
        {"second monitor, its left edge", {1283, 103}, second, false, false},
        {"second monitor, bottom right", {1877, 697}, second, true, true},
    };
    for (const TCase& c : cases) {
        std::unique_ptr<TTBPopupWindow, TObjectFree> popup(
            root->OpenPopupWindow(nullptr, nullptr, false, false, false, c.At, paLeft));
        const RECT r = WindowRectOf(popup.get());
        EXPECT_TRUE(Inside(r, c.Monitor)) << c.Name;
        EXPECT_EQ(c.Left ? r.right : r.left, c.At.x) << c.Name;
        EXPECT_EQ(c.Up ? r.bottom : r.top, c.At.y) << c.Name;
        EXPECT_TRUE(EqualRect(&popup->GetView()->GetMonitorArea(), &c.Monitor)) << c.Name;
    }
    SetMonitorLayout(nullptr);
}

TEST(PopupPlacement, SubmenusFlipAtTheMonitorEdgeAndKeepTheirSide)
{
    TMenuSettings settings(false, false, 100);
    const RECT first{0, 0, 1280, 1024};
    const RECT second{1280, 0, 1760, 1024};
    const std::vector<TMonitorLayoutEntry> monitors{{first, first}, {second, second}};
    SetMonitorLayout(&monitors);
    // A chain of submenus deep enough to cross the monitor twice.
    TItemPtr root(New<TTBRootItem>(nullptr));
    TTBCustomItem* parent = root.get();
    for (int level = 0; level < 9; ++level) {
        AddItem(parent, L"Leaf");
        parent = AddItem(parent, L"Deeper submenu", isSubmenu);
    }
    AddItem(parent, L"Leaf");
    std::unique_ptr<TTBPopupWindow, TObjectFree> top(
        root->OpenPopupWindow(nullptr, nullptr, false, false, false, POINT{1600, 50}, paLeft));
    std::vector<RECT> rects{WindowRectOf(top.get())};
    TTBView* view = top->GetView();
    for (TTBCustomItem* item = root->GetItem(1); item; item = item->Count() > 1 ? item->GetItem(1) : nullptr) {
        view->Select(view->Find(item), false);
        ASSERT_TRUE(view->ShowChildPopup(true));
        view = view->GetOpenedViewerView();
        rects.push_back(WindowRectOf(static_cast<TTBPopupWindow*>(view->GetWindow())));
    }
    ASSERT_EQ(rects.size(), 10u);
    std::string sides;
    for (size_t i = 1; i < rects.size(); ++i) {
        const RECT& r = rects[i];
        const RECT& p = rects[i - 1];
        EXPECT_TRUE(Inside(r, second)) << "level " << i;
        const bool left = r.right <= p.left + 6;
        const bool right = r.left >= p.right - 6;
        ASSERT_TRUE(left != right) << "level " << i << " beside its parent";
        sides += left ? 'L' : 'R';
        // Back to the right only where the left would leave the monitor.
        if (right && i >= 2 && sides[sides.size() - 2] == 'L') {
            EXPECT_LT(p.left + 6 - (r.right - r.left), second.left) << "level " << i;
        }
    }
    EXPECT_EQ(sides.substr(0, 2), "LL") << "the first submenu flips and the next keeps its side";
    EXPECT_NE(sides.find('R'), std::string::npos) << "one returns to the right at the left edge: " << sides;
    top->GetView()->HideChildPopups();
    SetMonitorLayout(nullptr);
}

// The watchdog of a menu loop that would not end.
void CALLBACK ReleaseCaptureOnTimer(HWND, UINT, UINT_PTR, DWORD)
{
    ReleaseCapture();
}

TEST(PopupLeaks, AThousandPopupsWithASubmenuLeaveNothingBehind)
{
    // Animation on: every top popup starts (and must join) its worker.
    TMenuSettings settings(true, false, 0);
    std::unique_ptr<TTBPopupMenu, TObjectFree> menu(New<TTBPopupMenu>(nullptr));
    for (int i = 0; i < 29; ++i)
        AddItem(menu->GetItems(), L"Command &" + std::to_wstring(i));
    TTBCustomItem* more = AddItem(menu->GetItems(), L"&More", isSubmenu);
    for (int i = 0; i < 5; ++i)
        AddItem(more, L"Inner " + std::to_wstring(i));
    TMenuBarHost host(menu->GetItems(), POINT{40, 600});
    auto openAndClose = [&] {
        // Up to the last item, into its submenu, and out of both.
        for (WORD key : {VK_UP, VK_RIGHT, VK_ESCAPE, VK_ESCAPE})
            PostMessageA(host.Form(), WM_KEYDOWN, key, 1);
        // A watchdog for a loop that would not end.
        UINT_PTR watchdog = SetTimer(nullptr, 0, 5000, ReleaseCaptureOnTimer);
        menu->PopupAtControl(300, 100, false);
        KillTimer(nullptr, watchdog);
    };
    SetCursorPos(1200, 1000);
    openAndClose();
    PumpMessages();
    const TResourceCount before = CountResources();
    int stuck = 0;
    for (int i = 0; i < 1000; ++i) {
        openAndClose();
        stuck += VisiblePopupWindows() != 0;
    }
    PumpMessages();
    const TResourceCount after = CountResources();
    EXPECT_EQ(stuck, 0);
    EXPECT_EQ(after, before) << "before: " << Describe(before) << "\nafter: " << Describe(after);
}

} // namespace
