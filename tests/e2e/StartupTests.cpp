// The program starts, shows its main window, closes on WM_CLOSE and can always be ended; the
// driver's dialog answering works on real common dialogs and message boxes.
#include <windows.h>

#include <commdlg.h>

#include <thread>

#include "E2ESupport.h"
#include "TestSupport.h"

TEST_F(TProgramTest, StartsWithItsMainWindowAndEndsOnClose)
{
    ASSERT_TRUE(Program.Start()) << "no main window from " << SheetfoldExePath();
    EXPECT_EQ(WindowClass(Program.MainWindow()), "TSheetfoldForm");
    EXPECT_TRUE(IsWindowVisible(Program.MainWindow()));
    CloseProgram(Program);
    EXPECT_TRUE(ProcessWindows(Program.ProcessId()).empty());
}

TEST_F(TProgramTest, ADriverEndsTheProgramWhateverState)
{
    HANDLE process = nullptr;
    {
        TProgramDriver second;
        ASSERT_TRUE(second.Start());
        ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), second.ProcessHandle(), GetCurrentProcess(), &process, 0, FALSE,
                                    DUPLICATE_SAME_ACCESS));
        EXPECT_TRUE(second.Running());
    }
    EXPECT_EQ(WaitForSingleObject(process, 5000), WAIT_OBJECT_0);
    CloseHandle(process);

    // Starting again ends the first program.
    ASSERT_TRUE(Program.Start());
    const DWORD first = Program.ProcessId();
    ASSERT_TRUE(Program.Start());
    EXPECT_NE(Program.ProcessId(), first);
    EXPECT_TRUE(ProcessWindows(first).empty());
}

TEST(ProgramDriverPaths, LinuxPathsBecomeDriveZ)
{
    EXPECT_EQ(WindowsPath("/work/build/Sheetfold.exe"), "Z:\\work\\build\\Sheetfold.exe");
    EXPECT_EQ(WindowsPath("C:\\x\\y.exe"), "C:\\x\\y.exe");
    EXPECT_EQ(WindowsPath(""), "");
}

// The common dialogs run on a thread of this process, so that the driver's functions answer them
// from outside their loop the way they answer the program's.
namespace {
HWND WaitForOwnDialog(const std::function<bool(HWND)>& test)
{
    HWND found = nullptr;
    WaitUntil([&] {
        for (HWND wnd : ProcessWindows(GetCurrentProcessId(), "#32770"))
            if (test(wnd)) {
                found = wnd;
                return true;
            }
        return false;
    });
    return found;
}

// Ends whatever dialog a failed case left open, so that its thread can be joined.
void CancelOwnDialogs()
{
    for (HWND wnd : ProcessWindows(GetCurrentProcessId(), "#32770"))
        PressDialogButton(wnd, IDCANCEL);
}
}

TEST(ProgramDriverDialogs, AMessageBoxIsReadAndAnswered)
{
    int answer = 0;
    std::thread box([&] { answer = MessageBoxA(nullptr, "The project was modified. Save project?", "Sheetfold", MB_YESNOCANCEL); });
    HWND found = WaitForOwnDialog([](HWND wnd) { return WindowText(wnd) == "Sheetfold"; });
    EXPECT_NE(found, nullptr);
    if (found) {
        EXPECT_EQ(MessageBoxText(found), "The project was modified. Save project?");
        EXPECT_FALSE(IsFileDialog(found));
        PressDialogButton(found, IDNO);
    }
    WaitUntil([&] { return answer != 0; }, 5000);
    if (answer == 0)
        CancelOwnDialogs();
    box.join();
    EXPECT_EQ(answer, IDNO);
}

TEST(ProgramDriverDialogs, ASaveDialogTakesItsFilterAndName)
{
    const std::string target = TestTempFile("driven.png");
    char name[MAX_PATH] = {};
    OPENFILENAMEA ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.lpstrFilter = "Bitmap (*.bmp)\0*.bmp\0PNG (*.png)\0*.png\0JPEG (*.jpg)\0*.jpg\0";
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = name;
    ofn.nMaxFile = MAX_PATH;
    ofn.Flags = OFN_EXPLORER;
    BOOL ok = FALSE;
    bool done = false;
    std::thread dialog([&] {
        ok = GetSaveFileNameA(&ofn);
        done = true;
    });
    HWND found = WaitForOwnDialog(&IsFileDialog);
    EXPECT_NE(found, nullptr);
    if (found) {
        SetFileDialogFilter(found, 2);
        SetFileDialogName(found, target);
        PressDialogButton(found, IDOK);
    }
    WaitUntil([&] { return done; }, 5000);
    if (!done)
        CancelOwnDialogs();
    dialog.join();
    EXPECT_TRUE(ok);
    EXPECT_EQ(ofn.nFilterIndex, 2u);
    EXPECT_STRCASEEQ(name, target.c_str());
}

TEST(ProgramDriverDialogs, AnOpenDialogTakesSeveralFilesOfAFolder)
{
    const std::string folder = TestTempDir() + "\\pictures";
    CreateDirectoryA(folder.c_str(), nullptr);
    WriteSolidPicture(folder + "\\a.bmp", 4, 4, RGB(255, 0, 0));
    WriteSolidPicture(folder + "\\b.bmp", 4, 4, RGB(0, 255, 0));
    char names[4096] = {};
    OPENFILENAMEA ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.lpstrFilter = "Bitmaps (*.bmp)\0*.bmp\0";
    ofn.lpstrFile = names;
    ofn.nMaxFile = sizeof names;
    ofn.Flags = OFN_EXPLORER | OFN_ALLOWMULTISELECT;
    BOOL ok = FALSE;
    bool done = false;
    std::thread dialog([&] {
        ok = GetOpenFileNameA(&ofn);
        done = true;
    });
    HWND found = WaitForOwnDialog(&IsFileDialog);
    EXPECT_NE(found, nullptr);
    if (found)
        SelectFilesInDialog(found, folder, {"a.bmp", "b.bmp"});
    WaitUntil([&] { return done; }, 5000);
    if (!done)
        CancelOwnDialogs();
    dialog.join();
    ASSERT_TRUE(ok);
    // A folder, then the names, each ended by a zero.
    std::vector<std::string> parts;
    for (const char* p = names; *p; p += strlen(p) + 1)
        parts.emplace_back(p);
    ASSERT_EQ(parts.size(), 3u);
    EXPECT_STRCASEEQ(parts[0].c_str(), folder.c_str());
    EXPECT_EQ(parts[1], "a.bmp");
    EXPECT_EQ(parts[2], "b.bmp");
}

// Help > About: Esc and Enter close the box. The program puts the keyboard focus into it, even
// when another program's window is in front (the suites share one display), and the keys go there.
TEST_F(TProgramTest, AboutClosesOnEscapeAndEnter)
{
    ASSERT_TRUE(Program.Start());
    for (WORD key : {WORD(VK_ESCAPE), WORD(VK_RETURN)}) {
        Program.PostCommand(1002);
        HWND about = Program.WaitForClass("TAboutForm");
        ASSERT_NE(about, nullptr);
        GUITHREADINFO info{};
        info.cbSize = sizeof(info);
        ASSERT_TRUE(WaitUntil([&] {
            return GetGUIThreadInfo(GetWindowThreadProcessId(about, nullptr), &info) && info.hwndActive == about &&
                   (info.hwndFocus == about || IsChild(about, info.hwndFocus));
        })) << "the keyboard focus stays outside the box";
        PostMessageA(info.hwndFocus, WM_KEYDOWN, key, 1);
        PostMessageA(info.hwndFocus, WM_KEYUP, key, 0xC0000001);
        EXPECT_TRUE(Program.WaitForClassGone("TAboutForm")) << key;
    }
    CloseProgram(Program);
}
