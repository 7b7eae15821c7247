// The export box driven by keyboard alone, as a user answers it: characters of any alphabet reach
// its resolution entry, a refused entry is answered by Enter, typed digits and Enter export at
// that resolution, Esc cancels.
#include <windows.h>

#include "E2ESupport.h"
#include "TestSupport.h"

namespace {
constexpr COLORREF Green = RGB(40, 160, 60);
constexpr RECT PictureBounds{6000, 7000, 10000, 10000};

std::wstring WindowTextW(HWND wnd)
{
    wchar_t text[256] = {};
    SendMessageTimeoutW(wnd, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 5000, nullptr);
    return text;
}

// The window of the box that has the keyboard focus, once the box is active; 0 when it never is.
HWND WaitForFocusIn(HWND box)
{
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    const DWORD thread = GetWindowThreadProcessId(box, nullptr);
    if (!WaitUntil([&] {
            return GetGUIThreadInfo(thread, &info) && info.hwndActive == box && info.hwndFocus &&
                   (info.hwndFocus == box || IsChild(box, info.hwndFocus));
        }))
        return nullptr;
    return info.hwndFocus;
}

// A character as the keyboard driver delivers it to the focused window, wide.
void TypeChar(HWND wnd, wchar_t ch)
{
    PostMessageW(wnd, WM_CHAR, ch, 1);
}

void PressKey(HWND wnd, WORD key)
{
    PostMessageW(wnd, WM_KEYDOWN, key, 1);
    PostMessageW(wnd, WM_KEYUP, key, 0xC0000001);
}

HWND ResolutionBox(HWND box)
{
    return FindDescendantIf(box, [](HWND wnd) {
        std::string name = WindowClass(wnd);
        for (char& c : name)
            c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
        return name.find("combo") != std::string::npos;
    });
}
}

TEST_F(TProgramTest, TheExportBoxIsAnsweredByKeyboard)
{
    const std::string folder = TestTempDir() + "\\keyboard";
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::string source = folder + "\\keys.sfp";
    {
        TProjectPtr project = NewTestProject();
        AddTestImage(AddTestPage(project.get()), WriteSolidPicture(folder + "\\g.bmp", 8, 8, Green), PictureBounds, "g");
        project->SaveToFile(source);
    }
    ASSERT_TRUE(Program.Start(Quoted(source)));
    ASSERT_TRUE(Program.WaitForCaption("keys - Sheetfold")) << Program.Caption();

    // Esc leaves without a picture.
    const std::string cancelled = folder + "\\cancelled.png";
    Program.PostCommand(cmdExport);
    ASSERT_TRUE(Program.AnswerFileDialog(Program.WaitForFileDialog(), cancelled, 2));
    HWND box = Program.WaitForClass("TExportForm");
    ASSERT_NE(box, nullptr);
    HWND focus = WaitForFocusIn(box);
    ASSERT_NE(focus, nullptr) << "the keyboard focus stays outside the box";
    PressKey(focus, VK_ESCAPE);
    ASSERT_TRUE(Program.WaitForClassGone("TExportForm"));
    ASSERT_TRUE(Program.Sync());
    EXPECT_EQ(FileSize(cancelled), -1);

    const std::string exported = folder + "\\typed.png";
    Program.PostCommand(cmdExport);
    ASSERT_TRUE(Program.AnswerFileDialog(Program.WaitForFileDialog(), exported, 2));
    box = Program.WaitForClass("TExportForm");
    ASSERT_NE(box, nullptr);
    focus = WaitForFocusIn(box);
    ASSERT_NE(focus, nullptr);
    HWND entry = ResolutionBox(box);
    ASSERT_NE(entry, nullptr);
    EXPECT_TRUE(entry == focus || IsChild(entry, focus)) << "the focus is not in the resolution entry";
    EXPECT_EQ(WindowTextW(entry), L"100 dpi");

    // Letters beyond the system's code page arrive whole, a letter of it as it is. The entry is
    // then no resolution: Enter is refused with a message that Enter answers.
    PressKey(focus, VK_END);
    for (wchar_t ch : {L'\x416', L'\x401', L'\x5D0', L'\xC8'})
        TypeChar(focus, ch);
    const std::wstring mixed = L"100 dpi\x416\x401\x5D0\xC8";
    EXPECT_TRUE(WaitUntil([&] { return WindowTextW(entry) == mixed; }, 5000)) << WindowTextW(entry).size();
    PressKey(focus, VK_RETURN);
    HWND refusal = Program.WaitForWindow([](HWND wnd) { return WindowText(wnd) == "Rasterization"; });
    ASSERT_NE(refusal, nullptr) << "the entry was not refused";
    HWND answer = WaitForFocusIn(refusal);
    ASSERT_NE(answer, nullptr);
    PressKey(answer, VK_RETURN);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(refusal); }));
    EXPECT_FALSE(ProcessWindows(Program.ProcessId(), "TExportForm").empty()) << "a refused entry closed the box";

    // Back in the entry: rub the text out, type a resolution, and Enter exports at it.
    focus = WaitForFocusIn(box);
    ASSERT_NE(focus, nullptr);
    PressKey(focus, VK_END);
    for (size_t i = WindowTextW(entry).size(); i > 0; --i)
        TypeChar(focus, L'\b');
    for (wchar_t ch : std::wstring(L"300"))
        TypeChar(focus, ch);
    EXPECT_TRUE(WaitUntil([&] { return WindowTextW(entry).substr(0, 3) == L"300"; }, 5000)) << WindowTextW(entry).size();
    PressKey(focus, VK_RETURN);
    ASSERT_TRUE(Program.WaitForClassGone("TExportForm"));
    ASSERT_TRUE(WaitUntil([&] { return FileComplete(exported); }, 60000));

    // A picture 3 times as wide as a 100 dpi one.
    const std::string reference = folder + "\\reference.png";
    ASSERT_TRUE(ExportPage(Program, reference, 2, 0));
    TDecodedPicture typed = DecodePicture(exported);
    TDecodedPicture at100 = DecodePicture(reference);
    ASSERT_GT(at100.Width, 0);
    EXPECT_NEAR(typed.Width, 3 * at100.Width, 3);
    EXPECT_NEAR(typed.Height, 3 * at100.Height, 3);
    CloseProgram(Program);
}
