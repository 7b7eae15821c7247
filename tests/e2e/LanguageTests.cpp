// Language files of other alphabets on the running program: a German one with umlauts and a
// Russian one in code page 1251, the latter with the program under a Russian locale. The panels
// and the export box take the file's texts, and GetWindowTextW reads them back whole; the menu
// items' names read through the accessibility interface and the toolbar's tips match them too.
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>
#include <sstream>

#include "E2ESupport.h"
#include "TestSupport.h"

namespace {

// A language file carried in the test program, and the code page it is written in, which the
// program must run under: Wine takes the code page from the locale the program inherits.
struct TLanguageRun {
    const char* Resource;
    UINT CodePage;
};
constexpr TLanguageRun German{"DEUTSCH_INI", 1252};
constexpr TLanguageRun Russian{"RUSSIAN_INI", 1251};

std::string ResourceBytes(const char* name)
{
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC info = FindResourceA(module, name, MAKEINTRESOURCEA(10));
    HGLOBAL data = info ? LoadResource(module, info) : nullptr;
    if (!data)
        return {};
    return std::string(static_cast<const char*>(LockResource(data)), SizeofResource(module, info));
}

std::wstring Widen(const std::string& text, UINT codePage)
{
    std::wstring wide(text.size(), L'\0');
    wide.resize(static_cast<size_t>(
        MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), static_cast<int>(wide.size()))));
    return wide;
}

// The caption and the hint ("caption|hint") of an [Interface] key.
struct TInterfaceText {
    std::wstring Caption;
    std::wstring Hint;
};

// Each [Interface] key's texts, unescaped, in UTF-16.
std::map<int, TInterfaceText> InterfaceTexts(const std::string& file, UINT codePage)
{
    std::map<int, TInterfaceText> texts;
    std::istringstream lines(file);
    std::string line, section;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.size() > 1 && line.front() == '[') {
            section = line.substr(1, line.find(']') - 1);
            continue;
        }
        const size_t equals = line.find('=');
        if (section != "Interface" || equals == std::string::npos)
            continue;
        std::string value;
        const std::string escaped = line.substr(equals + 1);
        for (size_t i = 0; i < escaped.size(); ++i) {
            const bool blank = escaped[i] == '\\' && i + 1 < escaped.size() && escaped[i + 1] == 's';
            value += blank ? ' ' : escaped[i];
            i += blank;
        }
        const size_t bar = value.find('|');
        TInterfaceText& text = texts[std::stoi(line.substr(0, equals))];
        text.Caption = Widen(value.substr(0, bar), codePage);
        if (bar != std::string::npos)
            text.Hint = Widen(value.substr(bar + 1), codePage);
    }
    return texts;
}

// A caption as the menus show it to a screen reader: without its accelerator mark.
std::wstring WithoutMark(std::wstring caption)
{
    caption.erase(std::remove(caption.begin(), caption.end(), L'&'), caption.end());
    return caption;
}

std::wstring WindowTextW(HWND wnd)
{
    wchar_t text[512] = {};
    SendMessageTimeoutW(wnd, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 5000, nullptr);
    return text;
}

// Every window of the process, its top-level ones and all their descendants.
std::vector<HWND> AllWindows(DWORD processId)
{
    std::vector<HWND> all;
    for (HWND top : ProcessWindows(processId)) {
        all.push_back(top);
        std::vector<HWND> children = ChildWindows(top);
        all.insert(all.end(), children.begin(), children.end());
    }
    return all;
}

class TLanguageTest : public TProgramTest {
protected:
    // Starts the program with the language file on a project
    // with one picture, so that the export box can be reached.
    void StartWith(const TLanguageRun& run)
    {
        // The run under the file's locale (ctest's e2e_ru_RU for Russian) says so; elsewhere
        // the case has nothing to check.
        const char* required = std::getenv("SF_REQUIRE_CODEPAGE");
        if (GetACP() != run.CodePage) {
            ASSERT_FALSE(required && std::atoi(required) == int(run.CodePage))
                << "not under the code page " << run.CodePage << ": scripts/setup.sh generates the locale";
            GTEST_SKIP() << "runs under the code page " << run.CodePage;
        }
        const std::string bytes = ResourceBytes(run.Resource);
        ASSERT_FALSE(bytes.empty()) << run.Resource;
        Texts = InterfaceTexts(bytes, run.CodePage);
        ASSERT_GT(Texts.size(), 100u);
        Folder = TestTempDir() + "\\" + std::to_string(run.CodePage);
        CreateDirectoryA(Folder.c_str(), nullptr);
        const std::string file = WriteBytes(std::to_string(run.CodePage) + "\\language.ini", bytes);
        Project = Folder + "\\language.sfp";
        {
            TProjectPtr project = NewTestProject();
            AddTestImage(AddTestPage(project.get()), WriteSolidPicture(Folder + "\\p.bmp", 8, 8, RGB(0, 0, 200)),
                         RECT{6000, 7000, 10000, 10000}, "p");
            project->SaveToFile(Project);
        }
        WriteSetting("Language", file);
        ASSERT_TRUE(Program.Start(Quoted(Project)));
        ASSERT_TRUE(Program.WaitForCaption("language - Sheetfold")) << Program.Caption();
    }

    void TearDown() override
    {
        WriteSetting("Language", "English");
        TProgramTest::TearDown();
    }

    const std::wstring& Caption(int key) { return Texts[key].Caption; }
    const std::wstring& Hint(int key) { return Texts[key].Hint; }

    // The menu bar's items and the File menu's, read through the accessibility interface.
    void ExpectMenusRecaptioned()
    {
        ASSERT_TRUE(Program.BringToFront());
        HWND menuBar = MenuBarOf(Program);
        ASSERT_NE(menuBar, nullptr);
        std::vector<std::wstring> expected;
        for (int key : {400, 500, 600, 700, 1000})
            expected.push_back(WithoutMark(Caption(key)));
        EXPECT_EQ(Labels(AccessibleChildren(menuBar)), expected);

        MouseClick(FindAccessible(menuBar, WithoutMark(Caption(400))).Center());
        HWND file = Program.WaitForPopupMenus(1);
        ASSERT_NE(file, nullptr) << "the File menu did not open";
        std::vector<std::wstring> items = Labels(AccessibleChildren(file));
        items.erase(std::remove(items.begin(), items.end(), L""), items.end());
        expected.clear();
        for (int key : {401, 402, 404, 405, 406, 407, 408})
            expected.push_back(WithoutMark(Caption(key)));
        EXPECT_EQ(items, expected);
        PressKeys("esc esc");
        EXPECT_EQ(Program.WaitForPopupMenus(0), nullptr);
    }

    void ExpectRecaptioned()
    {
        // The panels' controls that are windows of their own.
        std::vector<std::wstring> texts;
        for (HWND wnd : AllWindows(Program.ProcessId()))
            texts.push_back(WindowTextW(wnd));
        // (The themed buttons and radio buttons draw their captions and keep no window text.)
        for (int key : {107, 108, 109, 110, 119, 205})
            EXPECT_NE(std::find(texts.begin(), texts.end(), Caption(key)), texts.end()) << key;

        // The export box, left by Esc.
        Program.PostCommand(cmdExport);
        ASSERT_TRUE(Program.AnswerFileDialog(Program.WaitForFileDialog(), Folder + "\\page.png", 2));
        HWND box = Program.WaitForClass("TExportForm");
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(WindowTextW(box), Caption(8101));
        std::vector<std::wstring> boxTexts;
        for (HWND wnd : AllWindows(Program.ProcessId()))
            if (IsChild(box, wnd))
                boxTexts.push_back(WindowTextW(wnd));
        for (int key : {8103, 8104})
            EXPECT_NE(std::find(boxTexts.begin(), boxTexts.end(), Caption(key)), boxTexts.end()) << key;
        PostMessageW(box, WM_CLOSE, 0, 0);
        EXPECT_TRUE(Program.WaitForClassGone("TExportForm"));
        CloseProgram(Program);
    }

    // The tips the toolbar's buttons show under the mouse; a tip that only repeats an item's own
    // caption (the "Scale:" label's) is none of the file's hints.
    void ExpectToolbarTips()
    {
        ASSERT_TRUE(Program.BringToFront());
        HWND toolbar = ToolbarOf(Program);
        ASSERT_NE(toolbar, nullptr);
        std::vector<std::wstring> tips;
        for (const auto& [button, tip] : ToolButtonHints(Program, toolbar))
            if (!tip.empty() && tip != button.Label())
                tips.push_back(tip);
        std::vector<std::wstring> expected;
        for (int key : {306, 307, 308, 309, 310, 311, 312, 301, 302, 304, 305})
            expected.push_back(Hint(key));
        EXPECT_EQ(tips, expected);
        CloseProgram(Program);
    }

    std::map<int, TInterfaceText> Texts;
    std::string Folder;
    std::string Project;
};
}

TEST_F(TLanguageTest, AGermanFileWithUmlautsRecaptionsTheWindows)
{
    StartWith(German);
    if (HasFatalFailure() || IsSkipped())
        return;
    EXPECT_EQ(Caption(400), L"&Datei");
    EXPECT_EQ(Caption(105), L"H\x00F6he:");
    EXPECT_EQ(Hint(302), L"Seite l\x00F6schen");
    ExpectMenusRecaptioned();
    ExpectRecaptioned();
}

TEST_F(TLanguageTest, ARussianFileRecaptionsTheWindowsUnderARussianLocale)
{
    StartWith(Russian);
    if (HasFatalFailure() || IsSkipped())
        return;
    EXPECT_EQ(Caption(400), L"&\x0424\x0430\x0439\x043B");
    ExpectMenusRecaptioned();
    ExpectRecaptioned();
}

TEST_F(TLanguageTest, TheToolbarTipsShowAGermanFilesHints)
{
    StartWith(German);
    if (HasFatalFailure() || IsSkipped())
        return;
    ExpectToolbarTips();
}

TEST_F(TLanguageTest, TheToolbarTipsShowARussianFilesHintsUnderARussianLocale)
{
    StartWith(Russian);
    if (HasFatalFailure() || IsSkipped())
        return;
    ExpectToolbarTips();
}
