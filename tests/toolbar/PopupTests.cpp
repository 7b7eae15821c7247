// Popups: placement on the monitor (sides, flipping, up and left at the corner), and real popup
// windows opened from a toolbar view: their view, position, accessibility events, submenus of
// submenus and closing them from the keyboard.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "MenuTestSupport.h"
#include "ToolbarTestSupport.h"
#include "platform/SysUtils.h"
#include "toolbar/TBItem.h"
#include "toolbar/TBPopup.h"
#include "toolbar/TBView.h"

namespace {

TEST(PopupPlacement, StaysOnTheMonitorOnTheSideThatFits)
{
    const RECT monitor{0, 0, 1000, 800};
    struct TCase {
        const char* Name;
        bool AsSubmenu;
        bool FlipSide;
        RECT Opener;
        int X, Y;
        TPopupAlignment Alignment;
        int ExpectX, ExpectY;
        bool ExpectFlip;
        TTBSlideDirections Slide;
    };
    const TCase cases[] = {
        {"submenu to the right", true, false, {300, 100, 400, 120}, 397, 97, paLeft, 397, 97, false, tbsdRight},
        {"submenu at the right edge", true, false, {900, 100, 1000, 120}, 997, 97, paLeft, 847, 97, false, tbsdLeft},
        {"parent opened left: left too", true, true, {300, 100, 400, 120}, 397, 97, paLeft, 247, 97, true, tbsdLeft},
        {"left does not fit: back right", true, true, {0, 100, 103, 120}, 100, 97, paLeft, 100, 97, false, tbsdRight},
        {"submenu at the bottom goes up", true, false, {300, 700, 400, 720}, 397, 697, paLeft, 397, 523, false, tbsdRight},
        {"context menu at the corner", false, false, {990, 790, 990, 790}, 990, 790, paLeft, 840, 590, false,
         tbsdUp | tbsdLeft},
        {"context menu in the open", false, false, {500, 300, 500, 300}, 500, 300, paLeft, 500, 300, false,
         tbsdDown | tbsdRight},
        {"right-aligned past the left edge", false, false, {50, 300, 50, 300}, -100, 300, paRight, 50, 300, false,
         tbsdDown | tbsdRight},
    };
    TItemPtr item(New<TTBCustomItem>(nullptr));
    for (const TCase& c : cases) {
        TTBPopupPlacement p;
        p.AsSubmenu = c.AsSubmenu;
        p.FlipSide = c.FlipSide;
        p.Alignment = c.Alignment;
        p.MonitorArea = monitor;
        p.OpenerRect = c.Opener;
        p.BorderX = p.BorderY = 3;
        p.X = c.X;
        p.Y = c.Y;
        p.W = 150;
        p.H = 200;
        item->PlacePopup(nullptr, nullptr, p);
        EXPECT_EQ(p.X, c.ExpectX) << c.Name;
        EXPECT_EQ(p.Y, c.ExpectY) << c.Name;
        EXPECT_EQ(p.FlipSide, c.ExpectFlip) << c.Name;
        EXPECT_EQ(p.SlideDirections, c.Slide) << c.Name;
        EXPECT_GE(p.X, monitor.left) << c.Name;
        EXPECT_LE(p.Y + p.H, monitor.bottom) << c.Name;
    }
}

// Records the menu events raised on the thread.
std::vector<std::pair<DWORD, HWND>>* MenuEvents = nullptr;

void CALLBACK RecordEvent(HWINEVENTHOOK, DWORD event, HWND wnd, LONG, LONG, DWORD, DWORD)
{
    if (MenuEvents)
        MenuEvents->emplace_back(event, wnd);
}

class TEventHook {
public:
    TEventHook()
        : FHook(SetWinEventHook(EVENT_SYSTEM_MENUPOPUPSTART, EVENT_SYSTEM_MENUPOPUPEND, GetModuleHandleA(nullptr),
                                RecordEvent, GetCurrentProcessId(), GetCurrentThreadId(), WINEVENT_INCONTEXT))
    {
        MenuEvents = &Events;
    }
    ~TEventHook()
    {
        UnhookWinEvent(FHook);
        MenuEvents = nullptr;
    }
    TEventHook(const TEventHook&) = delete;
    TEventHook& operator=(const TEventHook&) = delete;
    std::vector<std::pair<DWORD, HWND>> Events;

private:
    HWINEVENTHOOK FHook;
};

TEST(PopupWindow, OpensBelowItsToolbarItemAndClosesAgain)
{
    TTestWindow host(400, 100, WS_POPUP | WS_VISIBLE);
    std::unique_ptr<TViewHost, TObjectFree> toolbar(New<TViewHost>(nullptr));
    toolbar->SetBounds(10, 10, 300, 30);
    toolbar->SetParentWindow(host.Handle());
    TItemPtr root(New<TTBRootItem>(nullptr));
    TTBCustomItem* file = AddItem(root.get(), L"&File", isSubmenu);
    AddItem(file, L"&New");
    AddItem(file, L"&Open");
    TTBCustomItem* recent = AddItem(file, L"&Recent", isSubmenu);
    AddItem(recent, L"One.sfp");
    int popups = 0;
    file->OnPopup = TTBPopupEvent([&](TTBCustomItem*, bool) { ++popups; });
    std::unique_ptr<TTBView, TObjectFree> view(
        New<TTBView>(toolbar.get(), nullptr, root.get(), toolbar.get(), true, false, false));
    toolbar->View = view.get();
    view->EnsureLayout();
    PumpMessages();

    TEventHook hook;
    view->IncludeState(stModal);
    view->Select(view->Find(file), false);
    ASSERT_TRUE(view->ShowChildPopup(true));
    PumpMessages();
    EXPECT_EQ(popups, 1);
    TTBPopupWindow* popup = view->GetOpenedViewerWindow();
    ASSERT_NE(popup, nullptr);
    EXPECT_EQ(view->GetOpenedViewer(), view->Find(file));
    EXPECT_TRUE(view->InState(stDropDownMenus));
    TTBView* popupView = view->GetOpenedViewerView();
    EXPECT_EQ(popupView->GetParentView(), view.get());
    EXPECT_EQ(popupView->GetViewerCount(), 3);
    EXPECT_EQ(popupView->GetSelected(), popupView->GetViewer(0)) << "opened from the keyboard: first item selected";
    EXPECT_TRUE(IsWindowVisible(popup->GetHandle()));
    RECT itemOnScreen = view->Find(file)->GetBoundsRect();
    POINT origin = toolbar->ClientToScreen(POINT{0, 0});
    OffsetRect(&itemOnScreen, origin.x, origin.y);
    RECT popupRect{};
    GetWindowRect(popup->GetHandle(), &popupRect);
    EXPECT_EQ(popupRect.left, itemOnScreen.left);
    EXPECT_EQ(popupRect.top, itemOnScreen.bottom) << "drops down below the item";
    RECT client{};
    GetClientRect(popup->GetHandle(), &client);
    EXPECT_EQ(popupRect.right - popupRect.left - client.right, 6) << "a 3-pixel frame";

    // The popup's own submenu opens to the right; Escape there closes only it.
    popupView->Select(popupView->Find(recent), false);
    WORD key = VK_RIGHT;
    popupView->HandleKeyPress(key, 0);
    TTBPopupWindow* sub = popupView->GetOpenedViewerWindow();
    ASSERT_NE(sub, nullptr);
    RECT subRect{};
    GetWindowRect(sub->GetHandle(), &subRect);
    RECT openerRect{};
    GetWindowRect(popup->GetHandle(), &openerRect);
    EXPECT_GE(subRect.left, openerRect.right - 6) << "a submenu opens beside its parent";
    TTBView* subView = popupView->GetOpenedViewerView();
    key = VK_ESCAPE;
    subView->HandleKeyPress(key, 0);
    EXPECT_EQ(key, 0);
    EXPECT_EQ(popupView->GetOpenedViewerWindow(), nullptr);
    EXPECT_EQ(view->GetOpenedViewerWindow(), popup) << "the first popup stays";
    PumpMessages();

    HWND popupWnd = popup->GetHandle();
    view->HideChildPopups();
    PumpMessages();
    EXPECT_EQ(view->GetOpenedViewer(), nullptr);
    EXPECT_FALSE(IsWindow(popupWnd));

    int starts = 0, ends = 0;
    for (auto& [event, wnd] : hook.Events) {
        EXPECT_TRUE(wnd == popupWnd || wnd == hook.Events[1].second);
        starts += event == EVENT_SYSTEM_MENUPOPUPSTART;
        ends += event == EVENT_SYSTEM_MENUPOPUPEND;
    }
    EXPECT_EQ(starts, 2) << "one start per popup";
    EXPECT_EQ(ends, 2) << "one end per popup";
    view->ExcludeState(stModal);
    toolbar->View = nullptr;
}

TEST(PopupWindow, AnOpenMenuWidensForANewShortcutText)
{
    TTestWindow host(400, 100, WS_POPUP | WS_VISIBLE);
    std::unique_ptr<TViewHost, TObjectFree> toolbar(New<TViewHost>(nullptr));
    toolbar->SetBounds(0, 0, 300, 30);
    toolbar->SetParentWindow(host.Handle());
    TItemPtr root(New<TTBRootItem>(nullptr));
    TTBCustomItem* file = AddItem(root.get(), L"&File", isSubmenu);
    TTBCustomItem* save = AddItem(file, L"&Save");
    std::unique_ptr<TTBView, TObjectFree> view(
        New<TTBView>(toolbar.get(), nullptr, root.get(), toolbar.get(), true, false, false));
    toolbar->View = view.get();
    view->EnsureLayout();
    view->Select(view->Find(file), false);
    ASSERT_TRUE(view->ShowChildPopup(false));
    TTBPopupWindow* popup = view->GetOpenedViewerWindow();
    ASSERT_NE(popup, nullptr);
    const int before = popup->GetWidth();
    save->SetShortCut(scCtrl | scShift | 'S');
    PumpMessages();
    EXPECT_GT(popup->GetWidth(), before) << "the shortcut column has no room";
    view->HideChildPopups();
    toolbar->View = nullptr;
}

TEST(PopupWindow, ItemDeletedWhileItsPopupIsOpen)
{
    TTestWindow host(400, 100, WS_POPUP | WS_VISIBLE);
    std::unique_ptr<TViewHost, TObjectFree> toolbar(New<TViewHost>(nullptr));
    toolbar->SetBounds(0, 0, 300, 30);
    toolbar->SetParentWindow(host.Handle());
    TItemPtr root(New<TTBRootItem>(nullptr));
    TTBCustomItem* edit = AddItem(root.get(), L"&Edit", isSubmenu);
    AddItem(edit, L"&Copy");
    std::unique_ptr<TTBView, TObjectFree> view(
        New<TTBView>(toolbar.get(), nullptr, root.get(), toolbar.get(), true, false, false));
    toolbar->View = view.get();
    view->EnsureLayout();
    view->Select(view->Find(edit), false);
    ASSERT_TRUE(view->ShowChildPopup(false));
    HWND popupWnd = view->GetOpenedViewerWindow()->GetHandle();
    edit->Free();
    EXPECT_EQ(view->GetOpenedViewer(), nullptr);
    EXPECT_EQ(view->GetSelected(), nullptr);
    EXPECT_FALSE(IsWindow(popupWnd)) << "the popup goes with its item";
    toolbar->View = nullptr;
}

} // namespace
