// The themed menu bar, toolbar, zoom box and popup menus of the main window, worked from outside
// as a user works them: by the mouse at the places the items take on the screen, and by real key
// strokes. The items are no windows: they are found through what the accessibility interface
// reports of each bar and popup.
#include <windows.h>

#include <commctrl.h>
#include <oleacc.h>

#include <algorithm>

#include "E2ESupport.h"
#include "TestSupport.h"

namespace {
constexpr COLORREF Red = RGB(220, 0, 0);
constexpr COLORREF Blue = RGB(0, 0, 220);

// The item labels of the newest open popup menu; empty when none is open.
std::vector<std::wstring> OpenMenuLabels(const TProgramDriver& program)
{
    const std::vector<HWND> popups = program.PopupMenus();
    return popups.empty() ? std::vector<std::wstring>() : Labels(AccessibleChildren(popups.back()));
}

bool Has(const std::vector<std::wstring>& labels, const std::wstring& label)
{
    return std::find(labels.begin(), labels.end(), label) != labels.end();
}

// The label of the item the bar's keyboard loop has selected, or empty when it runs none.
std::wstring FocusedItem(HWND bar)
{
    for (const TAccessibleItem& item : AccessibleChildren(bar))
        if (item.State & STATE_SYSTEM_FOCUSED)
            return item.Label();
    return {};
}

// The picture of the colour in the page view, in screen coordinates; empty when it is not shown.
RECT ScreenBoxOf(HWND view, COLORREF color)
{
    RECT box = FindColorBox(CaptureClient(view), color);
    if (IsRectEmpty(&box))
        return box;
    POINT origin{0, 0};
    ClientToScreen(view, &origin);
    OffsetRect(&box, origin.x, origin.y);
    return box;
}

POINT CenterOf(const RECT& r)
{
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

class TMenuTest : public TProgramTest {
protected:
    // Starts on a project of one page with a red and a blue picture, its window in front.
    void StartOnTwoPictures()
    {
        const std::string folder = TestTempDir() + "\\menus";
        CreateDirectoryA(folder.c_str(), nullptr);
        TProjectPtr project = NewTestProject();
        TSheetfoldPage* page = AddTestPage(project.get());
        AddTestImage(page, WriteSolidPicture(folder + "\\red.bmp", 8, 8, Red), RECT{3000, 3000, 6000, 6000}, "red");
        AddTestImage(page, WriteSolidPicture(folder + "\\blue.bmp", 8, 8, Blue), RECT{8000, 9000, 12000, 12000}, "blue");
        const std::string path = folder + "\\two.sfp";
        project->SaveToFile(path);
        ASSERT_TRUE(Program.Start(Quoted(path)));
        ASSERT_TRUE(Program.WaitForCaption("two - Sheetfold"));
        ASSERT_TRUE(Program.BringToFront());
        MenuBar = MenuBarOf(Program);
        Toolbar = ToolbarOf(Program);
        View = Program.FindChild("TSheetfoldView");
        ASSERT_TRUE(MenuBar && Toolbar && View);
        ASSERT_TRUE(WaitUntil([&] { return Shown(Red) && Shown(Blue); }));
    }

    RECT Box(COLORREF color) const { return ScreenBoxOf(View, color); }
    bool Shown(COLORREF color) const
    {
        const RECT box = Box(color);
        return !IsRectEmpty(&box);
    }

    POINT MenuBarItem(const std::wstring& label)
    {
        const TAccessibleItem item = FindAccessible(MenuBar, label);
        EXPECT_FALSE(item.Name.empty()) << "no menu bar item " << Narrow(label);
        return item.Center();
    }

    // Clicks the item of the newest open popup menu.
    void ClickMenuItem(const std::wstring& label)
    {
        const std::vector<HWND> popups = Program.PopupMenus();
        ASSERT_FALSE(popups.empty()) << "no menu open";
        const TAccessibleItem item = FindAccessible(popups.back(), label);
        ASSERT_FALSE(item.Name.empty()) << "no item " << Narrow(label) << " in the open menu";
        MouseClick(item.Center());
    }

    HWND MenuBar = nullptr;
    HWND Toolbar = nullptr;
    HWND View = nullptr;
};
} // namespace

// Opened by the mouse, the menus follow the arrow keys from one to the next, Escape steps back
// out, a letter runs the item it marks, and Enter the selected one.
TEST_F(TMenuTest, MenusOpenedByMouseAreWorkedByKeyboard)
{
    ASSERT_NO_FATAL_FAILURE(StartOnTwoPictures());
    struct TStep {
        const char* Keys;
        const wchar_t* InOpenMenu;  // an item of the menu open afterwards; null: none is open
        const wchar_t* Selected;    // the menu bar's item its keyboard loop selects afterwards
    };
    const TStep steps[] = {
        {"right", L"Cut", L"Edit"},
        {"right", L"Image", L"View"},
        {"right right", L"About", L"Help"},
        {"right", L"New", L"File"},
        {"left left", L"Text", L"Insert"},
        {"down down", L"Text", L"Insert"},
        {"esc", nullptr, L"Insert"},
        {"esc", nullptr, L""},
    };
    MouseClick(MenuBarItem(L"File"));
    ASSERT_NE(Program.WaitForPopupMenus(1), nullptr) << "File did not open";
    EXPECT_TRUE(Has(OpenMenuLabels(Program), L"New"));
    for (const TStep& step : steps) {
        PressKeys(step.Keys);
        if (step.InOpenMenu) {
            EXPECT_TRUE(WaitUntil([&] { return Has(OpenMenuLabels(Program), step.InOpenMenu); }, 3000))
                << step.Keys << ": the open menu lacks " << Narrow(step.InOpenMenu);
            EXPECT_EQ(Program.PopupMenus().size(), 1u) << step.Keys;
        } else {
            EXPECT_EQ(Program.WaitForPopupMenus(0, 3000), nullptr);
            EXPECT_TRUE(Program.PopupMenus().empty()) << step.Keys << ": a menu is still open";
        }
        EXPECT_TRUE(WaitUntil([&] { return FocusedItem(MenuBar) == step.Selected; }, 3000))
            << step.Keys << ": " << Narrow(FocusedItem(MenuBar)) << " is selected";
    }

    // A command by its marked letter, and one by Enter on the selected item.
    struct TCommandRun {
        const wchar_t* Menu;
        const char* Keys;
    };
    for (const TCommandRun& run : {TCommandRun{L"Help", "a"}, TCommandRun{L"Help", "down down enter"}}) {
        MouseClick(MenuBarItem(run.Menu));
        ASSERT_NE(Program.WaitForPopupMenus(1), nullptr);
        PressKeys(run.Keys);
        EXPECT_NE(Program.WaitForClass("TAboutForm", 5000), nullptr) << run.Keys << " did not open the About box";
        EXPECT_TRUE(Program.PopupMenus().empty());
        PressKeys("esc");
        EXPECT_TRUE(Program.WaitForClassGone("TAboutForm"));
    }

    // Shortcut keys run their commands with no menu open.
    PressKeys("ctrl+n");
    EXPECT_TRUE(Program.WaitForCaption("Untitled - Sheetfold")) << Program.Caption();
    CloseProgram(Program);
}

// Alt alone selects the menu bar's first item, Alt with a marked letter opens that menu, wherever
// the keyboard focus is in the window.
TEST_F(TMenuTest, AltAndMarkedLettersOpenTheMenuBar)
{
    ASSERT_NO_FATAL_FAILURE(StartOnTwoPictures());
    PressKeys("alt");
    EXPECT_TRUE(WaitUntil([&] { return FocusedItem(MenuBar) == L"File"; }, 3000));
    EXPECT_TRUE(Program.PopupMenus().empty()) << "Alt alone opens no menu";
    PressKeys("down");
    EXPECT_TRUE(WaitUntil([&] { return Has(OpenMenuLabels(Program), L"New"); }, 3000));
    PressKeys("esc esc");
    EXPECT_EQ(Program.WaitForPopupMenus(0, 3000), nullptr);
    PressKeys("alt+h a");
    EXPECT_NE(Program.WaitForClass("TAboutForm", 5000), nullptr);
    PressKeys("esc");
    EXPECT_TRUE(Program.WaitForClassGone("TAboutForm"));
    CloseProgram(Program);
}

// The mouse runs commands from the menu bar, moving along the bar switches the open menu, and a
// click elsewhere closes it.
TEST_F(TMenuTest, TheMenuBarIsWorkedByMouse)
{
    ASSERT_NO_FATAL_FAILURE(StartOnTwoPictures());
    MouseClick(MenuBarItem(L"File"));
    ASSERT_NE(Program.WaitForPopupMenus(1), nullptr);
    MoveMouse(MenuBarItem(L"Insert"));
    EXPECT_TRUE(WaitUntil([&] { return Has(OpenMenuLabels(Program), L"Image"); }, 3000)) << "Insert did not open";
    EXPECT_EQ(Program.PopupMenus().size(), 1u);
    MouseClick(CenterOf(Box(Red)));
    EXPECT_EQ(Program.WaitForPopupMenus(0, 3000), nullptr);
    EXPECT_TRUE(Program.PopupMenus().empty()) << "a click on the page leaves the menu open";

    MouseClick(MenuBarItem(L"Help"));
    ASSERT_NE(Program.WaitForPopupMenus(1), nullptr);
    ClickMenuItem(L"About");
    EXPECT_NE(Program.WaitForClass("TAboutForm", 5000), nullptr);
    PressKeys("esc");
    EXPECT_TRUE(Program.WaitForClassGone("TAboutForm"));

    MouseClick(MenuBarItem(L"File"));
    ASSERT_NE(Program.WaitForPopupMenus(1), nullptr);
    ClickMenuItem(L"New");
    EXPECT_TRUE(Program.WaitForCaption("Untitled - Sheetfold")) << Program.Caption();
    CloseProgram(Program);
}

// The toolbar's Align drop-down, the page's context menu, the zoom box by mouse and keyboard, and
// a toolbar button, each with what it does to the page.
TEST_F(TMenuTest, TheToolbarZoomBoxAndContextMenuRunTheirCommands)
{
    ASSERT_NO_FATAL_FAILURE(StartOnTwoPictures());
    // A band drawn round both pictures selects them; Align Left from the toolbar lines them up.
    const RECT red = Box(Red);
    const RECT blue = Box(Blue);
    MouseDrag(POINT{std::min(red.left, blue.left) - 12, std::min(red.top, blue.top) - 12},
              POINT{std::max(red.right, blue.right) + 12, std::max(red.bottom, blue.bottom) + 12});
    std::vector<TAccessibleItem> tools = AccessibleChildren(Toolbar);
    auto align = std::find_if(tools.begin(), tools.end(), [](const TAccessibleItem& item) {
        return (item.State & STATE_SYSTEM_HASPOPUP) != 0;
    });
    ASSERT_NE(align, tools.end()) << "no drop-down on the toolbar";
    ASSERT_TRUE(WaitUntil([&] { return !(FindAccessible(Toolbar, align->Label()).State & STATE_SYSTEM_UNAVAILABLE); }, 3000))
        << "Align stays disabled with two pictures selected";
    MouseClick(align->Center());
    ASSERT_NE(Program.WaitForPopupMenus(1), nullptr) << "Align did not open";
    EXPECT_TRUE(Has(OpenMenuLabels(Program), L"Align Right"));
    ClickMenuItem(L"Align Left");
    EXPECT_TRUE(WaitUntil([&] { return Box(Red).left == Box(Blue).left; })) << "the pictures' left edges differ";
    EXPECT_EQ(Box(Red).top, red.top) << "Align Left moved a picture up or down";

    // The context menu on the blue picture alone deletes it: a click beside the pictures lets go
    // of both first. The menu's items are enabled at idle time, as the Order drop-down shows.
    auto orderEnabled = [&] {
        const std::vector<TAccessibleItem> items = AccessibleChildren(Toolbar);
        int dropDowns = 0;
        for (const TAccessibleItem& item : items)
            if ((item.State & STATE_SYSTEM_HASPOPUP) && ++dropDowns == 2)
                return !(item.State & STATE_SYSTEM_UNAVAILABLE);
        return false;
    };
    MouseClick(POINT{std::min(red.left, blue.left) - 12, std::min(red.top, blue.top) - 12});
    EXPECT_TRUE(WaitUntil([&] { return !orderEnabled(); })) << "the selection was not let go";
    MouseClick(CenterOf(Box(Blue)));
    EXPECT_TRUE(WaitUntil(orderEnabled)) << "the blue picture was not selected";
    MouseClick(CenterOf(Box(Blue)), true);
    ASSERT_NE(Program.WaitForPopupMenus(1), nullptr) << "no context menu";
    EXPECT_TRUE(Has(OpenMenuLabels(Program), L"Copy"));
    ClickMenuItem(L"Delete");
    EXPECT_TRUE(WaitUntil([&] { return !Shown(Blue); })) << "the blue picture is still shown";
    EXPECT_TRUE(Shown(Red));

    // The zoom box: its list picked by keys, then by the mouse; the page follows.
    const TAccessibleItem zoom = AccessibleChildren(Toolbar).back();
    ASSERT_EQ(zoom.Value, L"Auto");
    const int autoWidth = Box(Red).right - Box(Red).left;
    struct TZoomPick {
        const char* Keys;
        const wchar_t* Value;
    };
    for (const TZoomPick& pick : {TZoomPick{"home enter", L"10%"}, TZoomPick{"down down enter", L"50%"},
                                  TZoomPick{"end enter", L"Auto"}}) {
        MouseClick(zoom.Center());
        ASSERT_NE(Program.WaitForPopupMenus(1), nullptr) << "the zoom box's list did not open";
        PressKeys(pick.Keys);
        EXPECT_EQ(Program.WaitForPopupMenus(0, 3000), nullptr);
        EXPECT_TRUE(WaitUntil([&] { return AccessibleChildren(Toolbar).back().Value == pick.Value; }, 3000)) << pick.Keys;
        if (std::wstring(pick.Value) == L"10%") {
            EXPECT_TRUE(WaitUntil([&] { return Box(Red).right - Box(Red).left < autoWidth / 2; }))
                << "the page did not shrink at 10%";
        }
    }
    MouseClick(zoom.Center());
    HWND list = Program.WaitForPopupMenus(1);
    ASSERT_NE(list, nullptr);
    const std::vector<TAccessibleItem> lines = AccessibleChildren(list);
    ASSERT_FALSE(lines.empty());
    MouseClick(POINT{lines.front().Center().x, lines.front().Bounds.top + 3});
    EXPECT_EQ(Program.WaitForPopupMenus(0, 3000), nullptr);
    EXPECT_TRUE(WaitUntil([&] {
        const std::wstring value = AccessibleChildren(Toolbar).back().Value;
        return value != L"Auto" && !value.empty() && value.back() == L'%';
    })) << "the list's top line was not taken";

    // The Add Page button, found by its tip, adds a tab.
    HWND tabs = Program.FindChild("TTabControl");
    ASSERT_EQ(SendMessageA(tabs, TCM_GETITEMCOUNT, 0, 0), 1);
    const auto buttons = ToolButtonHints(Program, Toolbar);
    auto addPage = std::find_if(buttons.begin(), buttons.end(), [](const auto& button) { return button.second == L"Add Page"; });
    ASSERT_NE(addPage, buttons.end()) << "no button shows the tip Add Page";
    MouseClick(addPage->first.Center());
    EXPECT_TRUE(WaitUntil([&] { return SendMessageA(tabs, TCM_GETITEMCOUNT, 0, 0) == 2; }));
    CloseProgram(Program);
}

// A screen reader runs an item of an open menu through its default action.
TEST_F(TMenuTest, AnOpenMenusItemRunsByItsAccessibleDefaultAction)
{
    ASSERT_NO_FATAL_FAILURE(StartOnTwoPictures());
    MouseClick(MenuBarItem(L"Help"));
    HWND help = Program.WaitForPopupMenus(1);
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(DoAccessibleAction(help, L"About"));
    EXPECT_NE(Program.WaitForClass("TAboutForm", 5000), nullptr);
    PressKeys("esc");
    EXPECT_TRUE(Program.WaitForClassGone("TAboutForm"));
    CloseProgram(Program);
}

// The default action of a menu bar's item opens its menu, as a click does.
TEST_F(TMenuTest, AMenuBarItemOpensByItsAccessibleDefaultAction)
{
    ASSERT_NO_FATAL_FAILURE(StartOnTwoPictures());
    EXPECT_TRUE(DoAccessibleAction(MenuBar, L"Help"));
    EXPECT_TRUE(WaitUntil([&] { return Has(OpenMenuLabels(Program), L"About"); }, 3000)) << "Help did not open";
    PressKeys("esc esc");
    CloseProgram(Program);
}
