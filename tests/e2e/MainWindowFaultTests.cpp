// The main window as a user meets it with real keys and clicks: Del and Enter in the image
// panel's edits, the toolbar in a narrow window, and tips that must not stay over open menus and
// dialogs.
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "E2ESupport.h"
#include "TestSupport.h"

namespace {
constexpr COLORREF Teal = RGB(20, 150, 160);

// A tip of the program on the screen now, or 0.
HWND VisibleTip(DWORD processId)
{
    for (HWND wnd : ProcessWindows(processId))
        if (WindowClass(wnd).find("HintWindow") != std::string::npos)
            return wnd;
    return nullptr;
}

// The key names PressKeys takes for the text's letters and digits.
std::string Keystrokes(const std::string& text)
{
    std::string keys;
    for (char c : text) {
        const bool upper = c >= 'A' && c <= 'Z';
        keys += upper ? std::string("shift+") + char(c - 'A' + 'a') : std::string(1, c);
        keys += ' ';
    }
    return keys;
}

// Keeps in *param the edit (class TEdit) that is highest, and of those the leftmost.
BOOL CALLBACK KeepTopLeftEdit(HWND wnd, LPARAM param)
{
    auto* found = reinterpret_cast<HWND*>(param);
    if (WindowClass(wnd) != "TEdit")
        return TRUE;
    const RECT r = ScreenRect(wnd);
    const RECT best = *found ? ScreenRect(*found) : RECT{};
    if (!*found || r.top < best.top || (r.top == best.top && r.left < best.left))
        *found = wnd;
    return TRUE;
}

class TMainWindowFaultTest : public TProgramTest {
protected:
    // The program on a project of one page with one teal picture, shown in front.
    void StartWithPicture()
    {
        const std::string folder = TestTempDir() + "\\mainwindow";
        CreateDirectoryA(folder.c_str(), nullptr);
        const std::string path = folder + "\\picture.sfp";
        {
            TProjectPtr project = NewTestProject();
            AddTestImage(AddTestPage(project.get()), WriteSolidPicture(folder + "\\teal.bmp", 40, 30, Teal),
                         RECT{3000, 3000, 12000, 10000}, "teal");
            project->SaveToFile(path);
        }
        ASSERT_TRUE(Program.Start(Quoted(path)));
        ASSERT_TRUE(Program.WaitForCaption("picture - Sheetfold")) << Program.Caption();
        View = Program.FindChild("TSheetfoldView");
        Panel = Program.FindChild("TImagePanel");
        ASSERT_TRUE(View && Panel);
        ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(Panel) != 0; }));
        ASSERT_TRUE(Program.BringToFront());
    }

    // The picture's box on the screen, empty while it is not drawn.
    RECT PictureOnScreen() const
    {
        RECT box = FindColorBox(CaptureClient(View), Teal);
        if (box.right - box.left < 4 || box.bottom - box.top < 4)
            return RECT{};
        POINT origin{0, 0};
        ClientToScreen(View, &origin);
        OffsetRect(&box, origin.x, origin.y);
        return box;
    }

    // A real click on the picture: it is selected and the page has the focus.
    void ClickPicture()
    {
        RECT box{};
        ASSERT_TRUE(WaitUntil([&] { return (box = PictureOnScreen()).right > 0; })) << "the picture is not shown";
        MouseClick(Centre(box));
        ASSERT_TRUE(Program.Sync());
        ASSERT_TRUE(WaitUntil([&] { return !WindowText(NameBox()).empty(); })) << "the panel shows no selection";
    }

    // A real click on the paper beside the picture (the view's lower right part is paper).
    void ClickPaper()
    {
        const RECT view = ScreenRect(View);
        const RECT box = PictureOnScreen();
        ASSERT_GT(box.right, 0);
        MouseClick(POINT{box.right + 30, std::min<LONG>(box.bottom + 30, view.bottom - 10)});
        ASSERT_TRUE(Program.Sync());
    }

    HWND NameBox() const { return FindDescendant(Panel, "TComboBox"); }
    HWND NameEdit() const { return FindDescendant(NameBox(), "Edit"); }
    HWND Memo() const { return FindDescendant(Panel, "TMemo"); }
    // The top-left one of the four length edits: Left.
    HWND LeftEdit() const
    {
        HWND best = nullptr;
        EnumChildWindows(Panel, &KeepTopLeftEdit, reinterpret_cast<LPARAM>(&best));
        return best;
    }

    // Clicks into the edit and types the text over what it holds.
    void TypeInto(HWND edit, const std::string& text)
    {
        MouseClick(Centre(ScreenRect(edit)));
        ASSERT_TRUE(WaitUntil([&] {
            GUITHREADINFO info{};
            info.cbSize = sizeof info;
            return GetGUIThreadInfo(GetWindowThreadProcessId(edit, nullptr), &info) && info.hwndFocus == edit;
        })) << WindowClass(edit) << " did not take the focus";
        PressKeys("home shift+end");
        PressKeys(Keystrokes(text));
        Program.Sync();
    }

    // The names the name box lists when its list is opened by a click on its arrow.
    std::vector<std::wstring> ListedNames()
    {
        const RECT box = ScreenRect(NameBox());
        MouseClick(POINT{box.right - 6, (box.top + box.bottom) / 2});
        Program.Sync();
        std::vector<std::wstring> names;
        DWORD_PTR count = 0;
        SendMessageTimeoutW(NameBox(), CB_GETCOUNT, 0, 0, SMTO_NORMAL, 5000, &count);
        for (DWORD_PTR i = 0; i < count; ++i) {
            wchar_t name[256] = {};
            SendMessageTimeoutW(NameBox(), CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(name), SMTO_NORMAL, 5000, nullptr);
            names.emplace_back(name);
        }
        PressKeys("esc");
        Program.Sync();
        return names;
    }

    HWND View = nullptr;
    HWND Panel = nullptr;
};
} // namespace

TEST_F(TMainWindowFaultTest, DelDeletesForwardInThePanelsEditsAndTheElementOnlyOnThePage)
{
    ASSERT_NO_FATAL_FAILURE(StartWithPicture());
    ASSERT_NO_FATAL_FAILURE(ClickPicture());
    const struct {
        const char* What;
        HWND Edit;
    } edits[] = {{"name box", NameEdit()}, {"Left", LeftEdit()}, {"text memo", Memo()}};
    for (const auto& edit : edits) {
        ASSERT_NE(edit.Edit, nullptr) << edit.What;
        TypeInto(edit.Edit, "123");
        PressKeys("home del");
        Program.Sync();
        EXPECT_TRUE(WaitUntil([&] { return WindowText(edit.Edit) == "23"; }, 3000))
            << edit.What << " holds \"" << WindowText(edit.Edit) << "\" after Del at its start";
        EXPECT_GT(PictureOnScreen().right, 0) << "Del in the " << edit.What << " took the picture";
    }
    // On the page, Del deletes the selected picture.
    ASSERT_NO_FATAL_FAILURE(ClickPicture());
    PressKeys("del");
    Program.Sync();
    EXPECT_TRUE(WaitUntil([&] { return PictureOnScreen().right == 0; })) << "Del on the page left the picture";
    CloseProgram(Program);
}

TEST_F(TMainWindowFaultTest, TheNameBoxCommitsOnEnterAndOnLeavingForThePaper)
{
    ASSERT_NO_FATAL_FAILURE(StartWithPicture());
    ASSERT_NO_FATAL_FAILURE(ClickPicture());
    ASSERT_NE(NameEdit(), nullptr);

    // Enter names the picture; its list, filled from the page when it opens, says so.
    TypeInto(NameEdit(), "Heading");
    PressKeys("enter");
    Program.Sync();
    EXPECT_EQ(ListedNames(), std::vector<std::wstring>{L"Heading"});

    // Typed, then left for the paper: the name is kept, as the panel shows once the picture is
    // selected again.
    TypeInto(NameEdit(), "Two");
    ASSERT_NO_FATAL_FAILURE(ClickPaper());
    ASSERT_NO_FATAL_FAILURE(ClickPicture());
    EXPECT_EQ(WindowText(NameBox()), "Two");
    CloseProgram(Program);
}

namespace {
// Whether the toolbar shows each of its items, in their order, and where its chevron is (an empty
// name while it has none).
struct TToolbarItems {
    std::vector<bool> Shown;
    TAccessibleItem Chevron;
};

TToolbarItems ToolbarItems(HWND toolbar)
{
    TToolbarItems items;
    for (const TAccessibleItem& item : AccessibleChildren(toolbar)) {
        if (item.Label() == L"More Buttons")
            items.Chevron = item;
        else
            items.Shown.push_back(!(item.State & STATE_SYSTEM_INVISIBLE));
    }
    return items;
}

// No tip of the program shows for a while: one still up, or one the timer brings back, fails.
bool NoTipFor(DWORD processId, DWORD ms)
{
    return !WaitUntil([&] { return VisibleTip(processId) != nullptr; }, ms);
}
} // namespace

TEST_F(TMainWindowFaultTest, ANarrowWindowHidesTheLastToolbarItemsAndTheirTipsGoWhenMenusOpen)
{
    ASSERT_NO_FATAL_FAILURE(StartWithPicture());
    ASSERT_NO_FATAL_FAILURE(ClickPicture());
    HWND toolbar = ToolbarOf(Program);
    ASSERT_NE(toolbar, nullptr);
    const std::vector<TAccessibleItem> all = AccessibleChildren(toolbar);
    const std::vector<bool> wide = ToolbarItems(toolbar).Shown;
    ASSERT_GE(wide.size(), 12u);
    ASSERT_EQ(std::count(wide.begin(), wide.end(), false), 0) << "the wide window hides toolbar items";

    // Tips of a drop-down and of a button that opens a dialog go when the menu or dialog opens,
    // whether the tip already shows or is still to come when the click comes.
    const TAccessibleItem rotate = FindAccessible(toolbar, L"Rotate");
    ASSERT_FALSE(rotate.Name.empty()) << "no Rotate drop-down";
    // Open, Save, Print, Cut, Copy, Paste, Delete, Add Page, Delete Page, Insert Image...
    const TAccessibleItem insert = all[9];
    for (bool tipShown : {true, false}) {
        SCOPED_TRACE(tipShown ? "clicked under the tip" : "clicked before the tip");
        if (tipShown) {
            EXPECT_FALSE(Program.HoverHint(rotate.Center()).empty()) << "the Rotate drop-down shows no tip";
        }
        MouseClick(rotate.Center());
        ASSERT_NE(Program.WaitForPopupMenus(1), nullptr) << "the Rotate menu did not open";
        EXPECT_TRUE(NoTipFor(Program.ProcessId(), 1500)) << "a tip stays over the open Rotate menu";
        PressKeys("esc");
        EXPECT_EQ(Program.WaitForPopupMenus(0), nullptr);

        if (tipShown) {
            EXPECT_FALSE(Program.HoverHint(insert.Center()).empty()) << "the Insert button shows no tip";
        }
        MouseClick(insert.Center());
        HWND dialog = Program.WaitForFileDialog();
        ASSERT_NE(dialog, nullptr) << "the Insert button opened no dialog";
        EXPECT_TRUE(NoTipFor(Program.ProcessId(), 1500)) << "a tip stays over the file dialog";
        PressDialogButton(dialog, IDCANCEL);
        ASSERT_TRUE(Program.WaitForDialogsGone());
        MoveMouse(POINT{0, 0});
    }

    // A window too narrow for the toolbar keeps its first items and hides its last ones.
    const RECT window = ScreenRect(Program.MainWindow());
    const RECT bar = ScreenRect(toolbar);
    const int narrow = (bar.right - bar.left) / 2 + (bar.left - window.left) + 40;
    SetWindowPos(Program.MainWindow(), nullptr, 0, 0, narrow, window.bottom - window.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    Program.Sync();
    TToolbarItems items;
    ASSERT_TRUE(WaitUntil([&] {
        items = ToolbarItems(toolbar);
        return std::count(items.Shown.begin(), items.Shown.end(), false) > 0 && !items.Chevron.Name.empty();
    })) << "the toolbar shows all its items in a window " << narrow << " wide";
    const auto firstHidden = std::find(items.Shown.begin(), items.Shown.end(), false);
    EXPECT_GT(firstHidden - items.Shown.begin(), 2) << "the first items are hidden";
    EXPECT_EQ(std::count(firstHidden, items.Shown.end(), true), 0)
        << "an item after a hidden one is shown: the last ones must go first";

    // The chevron's popup holds the hidden ones, and the chevron's tip does not stay over it.
    EXPECT_FALSE(Program.HoverHint(items.Chevron.Center()).empty()) << "the chevron shows no tip";
    MouseClick(items.Chevron.Center());
    HWND popup = Program.WaitForPopupMenus(1);
    ASSERT_NE(popup, nullptr) << "the chevron opened nothing";
    EXPECT_TRUE(NoTipFor(Program.ProcessId(), 1500)) << "a tip stays over the chevron's popup";
    PressKeys("esc");
    EXPECT_EQ(Program.WaitForPopupMenus(0), nullptr);
    CloseProgram(Program);
}

// View > Language lists the English file the build puts beside the program, so that a user who
// chose another language finds the way back; a program with no language files beside it shows
// the item disabled rather than an empty submenu.
TEST_F(TProgramTest, TheLanguageMenuOffersEnglishAndNoEmptyBox)
{
    const std::string shipped = SheetfoldExePath();
    const std::string alone = TestTempDir() + "\\alone";
    CreateDirectoryA(alone.c_str(), nullptr);
    ASSERT_TRUE(CopyFileA(shipped.c_str(), (alone + "\\Sheetfold.exe").c_str(), FALSE));
    const struct {
        std::string Program;
        bool Listed;
    } runs[] = {{shipped, true}, {alone + "\\Sheetfold.exe", false}};
    for (const auto& run : runs) {
        SCOPED_TRACE(run.Program);
        _putenv_s("SF_SHEETFOLD_EXE", run.Program.c_str());
        const bool started = Program.Start();
        _putenv_s("SF_SHEETFOLD_EXE", shipped.c_str());
        ASSERT_TRUE(started);
        ASSERT_TRUE(Program.BringToFront());
        HWND menuBar = MenuBarOf(Program);
        ASSERT_NE(menuBar, nullptr);
        MouseClick(FindAccessible(menuBar, L"View").Center());
        HWND view = Program.WaitForPopupMenus(1);
        ASSERT_NE(view, nullptr) << "the View menu did not open";
        const TAccessibleItem language = FindAccessible(view, L"Language");
        ASSERT_FALSE(language.Name.empty()) << "no Language item";
        EXPECT_EQ((language.State & STATE_SYSTEM_UNAVAILABLE) == 0, run.Listed);
        MouseClick(language.Center());
        HWND languages = Program.WaitForPopupMenus(2, run.Listed ? DriverWaitMs : 1500);
        if (run.Listed) {
            ASSERT_NE(languages, nullptr) << "the Language submenu did not open";
            const std::vector<std::wstring> names = Labels(AccessibleChildren(languages));
            EXPECT_EQ(std::count(names.begin(), names.end(), L"English"), 1);
        } else {
            EXPECT_EQ(languages, nullptr) << "an empty Language submenu opened";
        }
        PressKeys("esc esc esc");
        EXPECT_TRUE(Program.WaitForPopupMenus(0) == nullptr);
        CloseProgram(Program);
    }
}

namespace {
// The darkest pixel of the menu bar item's text: black while the program is active, the grey
// text colour while it is not.
COLORREF DarkestOfItem(HWND bar, const std::wstring& label)
{
    const TDecodedPicture picture = CaptureClient(bar);
    RECT item = FindAccessible(bar, label).Bounds;
    POINT origin{0, 0};
    ClientToScreen(bar, &origin);
    OffsetRect(&item, -origin.x, -origin.y);
    COLORREF darkest = RGB(255, 255, 255);
    auto sum = [](COLORREF c) { return GetRValue(c) + GetGValue(c) + GetBValue(c); };
    for (int y = std::max<LONG>(item.top, 0); y < std::min<LONG>(item.bottom, picture.Height); ++y)
        for (int x = std::max<LONG>(item.left, 0); x < std::min<LONG>(item.right, picture.Width); ++x)
            if (sum(picture.Pixel(x, y)) < sum(darkest))
                darkest = picture.Pixel(x, y);
    return darkest;
}
} // namespace

// A project opened through Ctrl+O leaves the main window active, its menu bar in the active look:
// the progress window that showed while it loaded must not take the activation with it.
TEST_F(TMainWindowFaultTest, AProjectOpenedByTheDialogLeavesTheWindowActive)
{
    ASSERT_NO_FATAL_FAILURE(StartWithPicture());
    const std::string path = TestTempDir() + "\\mainwindow\\picture.sfp";
    PressKeys("ctrl+n");
    ASSERT_TRUE(Program.WaitForCaption("Untitled - Sheetfold"));
    PressKeys("ctrl+o");
    ASSERT_TRUE(Program.AnswerFileDialog(Program.WaitForFileDialog(), path));
    ASSERT_TRUE(Program.WaitForCaption("picture - Sheetfold"));
    HWND menuBar = MenuBarOf(Program);
    ASSERT_NE(menuBar, nullptr);
    EXPECT_TRUE(WaitUntil([&] { return GetForegroundWindow() == Program.MainWindow(); }, 3000))
        << "the main window is not active after the project loaded";
    EXPECT_TRUE(WaitUntil([&] { return DarkestOfItem(menuBar, L"File") == RGB(0, 0, 0); }, 3000))
        << "the menu bar keeps the inactive look";
    CloseProgram(Program);
}

namespace {
// How wide the text's ink is when a window of this process draws it on the screen with the font.
int InkWidthOnScreen(const char* text, const LOGFONTA& font, COLORREF color)
{
    HWND wnd = CreateWindowExA(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 300, 40,
                               nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    UpdateWindow(wnd);
    HDC dc = GetDC(wnd);
    RECT all{0, 0, 300, 40};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    HFONT handle = CreateFontIndirectA(&font);
    HGDIOBJ old = SelectObject(dc, handle);
    SetTextColor(dc, color);
    SetBkMode(dc, TRANSPARENT);
    RECT r{4, 4, 300, 40};
    DrawTextA(dc, text, -1, &r, DT_LEFT | DT_NOPREFIX);
    SelectObject(dc, old);
    DeleteObject(handle);
    ReleaseDC(wnd, dc);
    // The drawing reaches the screen once the window's thread takes its messages.
    RECT ink{};
    WaitUntil([&] {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            if (msg.message != WM_PAINT)
                DispatchMessageA(&msg);
        ink = FindColorBox(CaptureClient(wnd), color, 40);
        return ink.right > ink.left;
    }, 3000);
    DestroyWindow(wnd);
    return ink.right - ink.left;
}
} // namespace

// The About box's links show whole: as wide as the same text drawn on the screen in their font.
TEST_F(TProgramTest, TheAboutBoxShowsItsLinksWhole)
{
    ASSERT_TRUE(Program.Start());
    ASSERT_TRUE(Program.BringToFront());
    PressKeys("alt+h a");
    HWND box = Program.WaitForClass("TAboutForm");
    ASSERT_NE(box, nullptr) << "Help > About opened nothing";
    constexpr COLORREF Link = RGB(0, 0, 255);
    RECT links{};
    ASSERT_TRUE(WaitUntil([&] { return (links = FindColorBox(CaptureClient(box), Link, 40)).right > 0; }))
        << "no link is drawn";
    LOGFONTA font{};
    font.lfHeight = -11;
    font.lfWeight = FW_NORMAL;
    font.lfUnderline = TRUE;
    lstrcpyA(font.lfFaceName, "MS Sans Serif");
    EXPECT_GE(links.right - links.left, InkWidthOnScreen("www.sheetfold.com", font, Link)) << "a link is cut";
    // It has no button: Esc closes it.
    ASSERT_TRUE(Program.BringToFront(box));
    PressKeys("esc");
    EXPECT_TRUE(Program.WaitForClassGone("TAboutForm"));
    CloseProgram(Program);
}
