// Help > About from the main window: the box closes on Esc or Enter pressed wherever the program
// has put the keyboard focus.
#include <gtest/gtest.h>

#include "DialogTestSupport.h"
#include "MainFormTestSupport.h"
#include "TestSupport.h"
#include "app/SheetfoldCommands.h"

namespace {

// The About box's window while it is on the screen, else 0.
HWND ShownAboutBox()
{
    for (HWND wnd : ThreadWindows()) {
        char name[32] = {};
        GetClassNameA(wnd, name, sizeof(name));
        if (IsWindowVisible(wnd) && lstrcmpA(name, "TAboutForm") == 0)
            return wnd;
    }
    return nullptr;
}

}  // namespace

TEST_F(MainFormTest, AboutClosesOnEscapeOrEnterWhereverTheFocusIs)
{
    ShowForm();
    TDialogWatchdog watchdog(15000);
    for (WORD key : {WORD(VK_ESCAPE), WORD(VK_RETURN)}) {
        bool focusInside = false;
        TScriptedSteps script({[&] {
            HWND about = ShownAboutBox();
            if (!about)
                return false;
            // The keyboard goes to the focused window, or to the active one when none has the focus.
            HWND target = GetFocus() ? GetFocus() : GetActiveWindow();
            focusInside = target == about || IsChild(about, target);
            PostMessageA(target, WM_KEYDOWN, key, 1);
            PostMessageA(target, WM_KEYUP, key, 0xC0000001);
            return true;
        }});
        Form->ExecuteCommand(cmAbout);
        EXPECT_TRUE(script.Done());
        EXPECT_TRUE(focusInside) << key;
        EXPECT_EQ(ShownAboutBox(), nullptr);
    }
    EXPECT_FALSE(watchdog.Fired());
}
