// Item tooltips: when they animate, how they stay on the screen, wide text handed over as UTF-8,
// and a menu item's hint shown while the menu runs without ending it.
#include <gtest/gtest.h>

#include <memory>

#include "MenuTestSupport.h"
#include "ToolbarTestSupport.h"
#include "platform/Forms.h"
#include "platform/SysUtils.h"
#include "toolbar/TBHintWindow.h"
#include "toolbar/TBPopup.h"

namespace {

TEST(HintWindow, AnimatesOnlyAfterAPauseAndForShortTexts)
{
    struct TCase {
        const char* Name;
        DWORD Since;
        size_t Length;
        bool Animation;
        bool Fade;
        bool CursorAbove;
        DWORD Expect;
    };
    const TCase cases[] = {
        {"fades", 1000, 10, true, true, false, AW_BLEND},
        {"slides down from a cursor above", 1000, 10, true, false, true, AW_SLIDE | AW_VER_POSITIVE},
        {"slides up from a cursor below", 1000, 10, true, false, false, AW_SLIDE | AW_VER_NEGATIVE},
        {"within 250 ms of the last", 250, 10, true, true, false, 0},
        {"at 251 ms", 251, 10, true, true, false, AW_BLEND},
        {"99 characters", 1000, 99, true, true, false, AW_BLEND},
        {"100 characters", 1000, 100, true, true, false, 0},
        {"system animation off", 1000, 10, false, true, false, 0},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(HintAnimationFlags(c.Since, c.Length, c.Animation, c.Fade, c.CursorAbove), c.Expect) << c.Name;
}

TEST(HintWindow, StaysOnTheVirtualScreen)
{
    const int left = GetSystemMetrics(SM_XVIRTUALSCREEN), top = GetSystemMetrics(SM_YVIRTUALSCREEN);
    const int right = left + GetSystemMetrics(SM_CXVIRTUALSCREEN);
    const int bottom = top + GetSystemMetrics(SM_CYVIRTUALSCREEN);
    struct TCase {
        const char* Name;
        RECT In;
        RECT Expect;
    };
    const TCase cases[] = {
        {"inside", {left + 10, top + 10, left + 110, top + 30}, {left + 10, top + 10, left + 110, top + 30}},
        {"past the bottom right", {right - 50, bottom - 5, right + 50, bottom + 15},
         {right - 100, bottom - 20, right, bottom}},
        {"past the top left", {left - 30, top - 8, left + 70, top + 12}, {left, top, left + 100, top + 20}},
        {"wider than the screen", {left + 5, top + 5, right + 200, top + 25},
         {left, top + 5, left + (right + 200 - left - 5), top + 25}},
    };
    for (const TCase& c : cases) {
        RECT r = FitToVirtualScreen(c.In);
        EXPECT_TRUE(EqualRect(&r, &c.Expect)) << c.Name << ": " << r.left << "," << r.top << "," << r.right << ","
                                              << r.bottom;
    }
}

TEST(HintWindow, ShowsWideTextWithoutTakingTheActivation)
{
    TItemPtr root(New<TTBRootItem>(nullptr));
    TMenuBarHost host(root.get());
    const HWND active = GetActiveWindow();
    std::unique_ptr<TTBHintWindow, TObjectFree> hint(New<TTBHintWindow>(nullptr));
    const std::wstring text = L"\u00D6ffnen \u958B\u304F \u0414\u0430";
    const std::string utf8 = WideToAnsi(text, CP_UTF8);
    RECT r = hint->CalcHintRect(400, utf8, nullptr);
    EXPECT_GT(r.right, 6);
    EXPECT_GT(r.bottom, 2);
    const int right = GetSystemMetrics(SM_XVIRTUALSCREEN) + GetSystemMetrics(SM_CXVIRTUALSCREEN);
    const int bottom = GetSystemMetrics(SM_YVIRTUALSCREEN) + GetSystemMetrics(SM_CYVIRTUALSCREEN);
    OffsetRect(&r, right - 10, bottom - 5);
    hint->ActivateHint(r, utf8);
    EXPECT_EQ(hint->GetCaption(), text);
    HWND wnd = hint->GetHandle();
    EXPECT_TRUE(IsWindowVisible(wnd));
    EXPECT_TRUE(GetWindowLongPtrA(wnd, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_EQ(GetActiveWindow(), active);
    RECT shown{};
    GetWindowRect(wnd, &shown);
    EXPECT_LE(shown.right, right);
    EXPECT_LE(shown.bottom, bottom);
    EXPECT_EQ(shown.bottom - shown.top, r.bottom - r.top + 4);

    // A text set from outside resizes the tip to it.
    hint->SetText(WideToAnsi(L"A much longer text than before", CP_UTF8));
    EXPECT_EQ(hint->GetCaption(), L"A much longer text than before");
    EXPECT_GT(hint->GetWidth(), shown.right - shown.left);
    hint->ReleaseHandle();
}

TEST(HintWindow, MenuItemHintShowsWhileTheMenuRuns)
{
    TMenuSettings settings(false, false, 100);
    std::unique_ptr<TTBPopupMenu, TObjectFree> menu(New<TTBPopupMenu>(nullptr));
    TTBCustomItem* open = AddItem(menu->GetItems(), L"&Open");
    open->SetHint(L"Open \u958B|Opens a project");
    open->SetOptions(tboShowHint);
    AddItem(menu->GetItems(), L"&Save");
    TMenuBarHost host(menu->GetItems(), POINT{50, 400});
    const int pause = Application->GetHintPause();
    Application->SetHintPause(100);
    std::wstring caption;
    std::string appHint;
    bool visible = false;
    bool active = false;
    const HWND activeBefore = GetActiveWindow();
    TInputScript script(host.Form());
    auto openItem = [&] {
        POINT p{};
        for (HWND wnd : ThreadWindows()) {
            auto* popup = dynamic_cast<TTBPopupWindow*>(FindControl(wnd));
            if (popup && IsWindowVisible(wnd)) {
                const RECT& r = popup->GetView()->GetViewer(0)->GetBoundsRect();
                p = popup->ClientToScreen(POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2});
            }
        }
        return p;
    };
    script.MoveTo(openItem).Wait(500).Do([&] {
        auto* window = dynamic_cast<TTBHintWindow*>(Application->GetHintWindow());
        if (window) {
            caption = window->GetCaption();
            visible = window->HandleAllocated() && IsWindowVisible(window->GetHandle());
        }
        appHint = Application->GetHint();
        active = GetActiveWindow() == activeBefore;
    });
    script.Key(VK_ESCAPE);
    script.Start();
    menu->PopupAtControl(200, 150, false);
    Application->SetHintPause(pause);
    Application->CancelHint();
    EXPECT_FALSE(script.WatchdogFired()) << "the hint must not end the menu";
    EXPECT_TRUE(visible);
    EXPECT_EQ(caption, L"Open \u958B");
    EXPECT_EQ(appHint, "Opens a project");
    EXPECT_TRUE(active);
}

} // namespace
