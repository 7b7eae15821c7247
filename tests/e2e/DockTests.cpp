// The main window's side panels and its printer, worked by the real mouse and keyboard: the paper
// chosen in the printer setup dialog reaches the page.
#include <windows.h>

#include <dlgs.h>

#include <cstdlib>
#include <iterator>

#include "E2ESupport.h"
#include "TestSupport.h"

namespace {

RECT ScreenRect(HWND wnd)
{
    RECT r{};
    GetWindowRect(wnd, &r);
    return r;
}

POINT Centre(const RECT& r)
{
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

// The print panel's Setup... button: the topmost of its buttons.
HWND SetupButton(const TProgramDriver& program)
{
    HWND panel = program.FindChild("TPrintPanel");
    HWND found = nullptr;
    FindDescendantIf(panel, [&](HWND wnd) {
        if (WindowClass(wnd) == "TSkinButton" && (!found || ScreenRect(wnd).top < ScreenRect(found).top))
            found = wnd;
        return false;
    });
    return found;
}

// The system's dialog keeps its lists in wide text.
std::wstring ComboItem(HWND combo, int index)
{
    wchar_t text[256] = {};
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(combo, CB_GETLBTEXTLEN, index, 0, SMTO_NORMAL, 5000, &length) || length >= std::size(text))
        return {};
    SendMessageTimeoutW(combo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 5000, nullptr);
    return text;
}

int ComboIndexOf(HWND combo, const std::wstring& item)
{
    DWORD_PTR count = 0;
    SendMessageTimeoutA(combo, CB_GETCOUNT, 0, 0, SMTO_NORMAL, 5000, &count);
    for (int i = 0; i < static_cast<int>(count); ++i)
        if (ComboItem(combo, i) == item)
            return i;
    return -1;
}

int ComboSelection(HWND combo)
{
    DWORD_PTR index = static_cast<DWORD_PTR>(-1);
    SendMessageTimeoutA(combo, CB_GETCURSEL, 0, 0, SMTO_NORMAL, 5000, &index);
    return static_cast<int>(index);
}

// Whether the page's paper is the size given in 0.01 mm, either way round, within a millimetre.
bool PaperIs(TSheetfoldPage* page, int width, int height)
{
    const RECT paper = page->GetPaperRect();
    const int w = paper.right - paper.left, h = paper.bottom - paper.top;
    auto close = [](int a, int b) { return std::abs(a - b) <= 100; };
    return (close(w, width) && close(h, height)) || (close(w, height) && close(h, width));
}

} // namespace

class PaperChoice : public TProgramTest {};

TEST_F(PaperChoice, PaperSizeChosenInPrinterSetupBecomesThePages)
{
    if (!std::getenv("CUPS_SERVER") && !std::getenv("SF_REQUIRE_PRINTER"))
        GTEST_SKIP() << "no test CUPS server";
    WriteSetting("Printer", "PDF");
    ASSERT_TRUE(Program.Start());
    HWND setup = SetupButton(Program);
    ASSERT_NE(setup, nullptr) << "no Setup... button in the print panel";
    ASSERT_TRUE(Program.BringToFront());
    MouseClick(Centre(ScreenRect(setup)));
    HWND dialog = Program.WaitForClass("#32770");
    ASSERT_NE(dialog, nullptr) << "Setup... opened no dialog";
    HWND paper = GetDlgItem(dialog, cmb2);
    ASSERT_NE(paper, nullptr) << "the dialog has no paper size box";
    const int a5 = ComboIndexOf(paper, L"A5");
    ASSERT_GE(a5, 0) << "the printer offers no A5";

    // The paper box by its mnemonic, then down its list to A5; Enter is OK.
    ASSERT_TRUE(Program.BringToFront(dialog));
    PressKeys("alt+z home");
    for (int i = 0; i < a5; ++i)
        PressKeys("down");
    EXPECT_TRUE(WaitUntil([&] { return ComboSelection(paper) == a5; })) << "chose " << Narrow(ComboItem(paper, ComboSelection(paper)));
    PressKeys("enter");
    ASSERT_TRUE(Program.WaitForClassGone("#32770"));
    ASSERT_TRUE(Program.Sync());

    const std::string folder = TestTempDir() + "\\paper";
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::string saved = folder + "\\a5.sfp";
    DeleteFileA(saved.c_str());
    ASSERT_TRUE(SaveProjectAs(Program, saved));
    TProjectPtr project = LoadTestProject(saved);
    ASSERT_EQ(project->Count(), 1);
    const RECT sheet = project->GetPage(0)->GetPaperRect();
    EXPECT_TRUE(PaperIs(project->GetPage(0), 14800, 21000))
        << "the page is " << sheet.right - sheet.left << " x " << sheet.bottom - sheet.top << ", not A5";
    CloseProgram(Program);
}
