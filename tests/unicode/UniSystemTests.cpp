// Conversion through code pages, the wide Windows calls with their 8-bit fallback, the buffer rule,
// file names and error texts.
#include <gtest/gtest.h>

#include <windows.h>

#include "UniTestSupport.h"
#include "platform/ScopeGuards.h"
#include "unicode/UniGraphics.h"
#include "unicode/UniSystem.h"
#include "unicode/UniWindows.h"

TEST(UniSystem, CodePageConversionRoundTripsAndEmptyTextStaysEmpty)
{
    for (UINT codePage : {UINT(CP_UTF7), UINT(CP_UTF8), 1252u, 1251u, 932u, 0u}) {
        EXPECT_EQ(WideToCodePage(L"", codePage), "");
        EXPECT_EQ(CodePageToWide("", codePage), L"");
        EXPECT_EQ(CodePageToWide(WideToCodePage(L"Plain 123", codePage), codePage), L"Plain 123");
    }
    EXPECT_EQ(CodePageToWide(WideToCodePage(kWideText, CP_UTF8), CP_UTF8), kWideText);
    EXPECT_EQ(CodePageToWide(WideToCodePage(kWideText, CP_UTF7), CP_UTF7), kWideText);
    EXPECT_EQ(WideToCodePage(L"\u0416", 1251), "\xC6");
    EXPECT_EQ(CodePageToWide("\x82\xA0", 932), L"\u3042");
    // Narrowing replaces what the code page lacks with its default character.
    EXPECT_EQ(WideToCodePage(L"\u0416x", 1252), "?x");
    EXPECT_EQ(NarrowText(WidenText("abc")), "abc");
}

TEST(UniSystem, WideExceptionsAndFormatting)
{
    EUniInternalError error(WideFormat(L"%ls (%d)", L"\u0416\u0443\u043A", 42));
    EXPECT_EQ(error.GetWideMessage(), L"\u0416\u0443\u043A (42)");
    EXPECT_EQ(error.GetMessage(), NarrowText(L"\u0416\u0443\u043A (42)"));
    EXPECT_STREQ(error.ClassName(), "EUniInternalError");
    std::wstring longText(5000, L'x');
    EXPECT_EQ(WideFormat(L"[%ls]", longText.c_str()), L"[" + longText + L"]");
}

TEST(UniSystem, SystemErrorTexts)
{
    EXPECT_EQ(SystemErrorTextW(0xDEAD), L"Unspecified error (57005) from system.");
    std::wstring known = SystemErrorTextW(ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(known.empty());
    EXPECT_NE(known.back(), L'\n');
    TNonUnicodePlatform ansi;
    EXPECT_EQ(SystemErrorTextW(ERROR_FILE_NOT_FOUND), known);
}

TEST(UniSystem, KeyCharactersWidenInTheKeyboardsCodePage)
{
    EXPECT_EQ(KeyCharToWide(0x416), L'\u0416');
    EXPECT_EQ(KeyCharToWide('a'), L'a');
    wchar_t expected = 0;
    char byte = static_cast<char>(0xE9);
    MultiByteToWideChar(GetLayoutCodePage(), MB_USEGLYPHCHARS, &byte, 1, &expected, 1);
    EXPECT_EQ(KeyCharToWide(0xE9), expected);
    EXPECT_GT(GetLayoutCodePage(), 0u);
}

TEST(UniWindows, BufferRuleAtTheEdges)
{
    const std::wstring text = L"C:\\ab\\cd";  // 8 characters
    struct Case {
        DWORD Size;
        unsigned Rules;
        DWORD Answer;
        const wchar_t* Buffer;
    };
    const Case cases[] = {
        {9, 0, 8, L"C:\\ab\\cd"},
        {8, 0, 9, L"untouched"},
        {8, wbrEmptyOnOverflow, 9, L""},
        {8, wbrExactFit, 9, L"C:\\ab\\c"},
        {7, wbrExactFit, 9, L"untouched"},
        {8, wbrTruncate, 7, L"C:\\ab\\c"},
        {4, wbrTruncate, 3, L"C:\\"},
        {7, wbrPathPrefix, 9, L"C:\\ab\\"},
        {5, wbrPathPrefix, 9, L"C:\\"},
        {3, wbrPathPrefix, 9, L""},
    };
    for (const Case& c : cases) {
        wchar_t buffer[16];
        wcscpy(buffer, L"untouched");
        EXPECT_EQ(CopyToWideBuffer(text, buffer, c.Size, c.Rules), c.Answer) << c.Size << " " << c.Rules;
        EXPECT_STREQ(buffer, c.Buffer) << c.Size << " " << c.Rules;
    }
}

TEST(UniWindows, FullPathNamesOnBothPaths)
{
    wchar_t current[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, current);
    std::wstring expected = std::wstring(current) + (current[wcslen(current) - 1] == L'\\' ? L"" : L"\\") + L"name.txt";
    for (bool unicode : {true, false}) {
        SetUnicodePlatform(unicode);
        wchar_t buffer[MAX_PATH];
        wchar_t* part = nullptr;
        DWORD length = WideGetFullPathName(L"name.txt", MAX_PATH, buffer, &part);
        EXPECT_EQ(std::wstring(buffer, length), expected);
        ASSERT_NE(part, nullptr);
        EXPECT_STREQ(part, L"name.txt");
        // Too small: the size needed, and an empty buffer.
        wchar_t small[4] = L"xyz";
        part = buffer;
        EXPECT_EQ(WideGetFullPathName(L"name.txt", 4, small, &part), expected.size() + 1);
        EXPECT_STREQ(small, L"");
        EXPECT_EQ(part, nullptr);
    }
    ResetUnicodePlatform();
    // Longer than the first buffer of 260 characters.
    std::wstring deep = L"\\" + std::wstring(300, L'd') + L"\\f.txt";
    EXPECT_EQ(FullWideFileName(deep).size(), 2 + deep.size());
    EXPECT_EQ(FullWideFileName(L"name.txt"), expected);
}

TEST(UniWindows, FilesWithWideNamesAndModes)
{
    std::wstring dir = WidenText(TestTempDir());
    std::wstring name = WideTempFileName(L"modes");
    HANDLE created = CreateFileWide(name);
    ASSERT_NE(created, INVALID_HANDLE_VALUE);
    CloseHandle(created);
    EXPECT_NE(GetFileAttributesW(name.c_str()), INVALID_FILE_ATTRIBUTES);
    HANDLE reading = OpenFileWide(name, 0x20);
    ASSERT_NE(reading, INVALID_HANDLE_VALUE);
    // Denying others writing: a second opening for writing fails, one for reading does not.
    EXPECT_EQ(OpenFileWide(name, 0x41), INVALID_HANDLE_VALUE);
    HANDLE second = OpenFileWide(name, 0x40);
    EXPECT_NE(second, INVALID_HANDLE_VALUE);
    CloseHandle(second);
    CloseHandle(reading);
    EXPECT_THROW(OpenFileWide(name, 3), EUniInternalError);
    EXPECT_THROW(OpenFileWide(name, 0x50), EUniInternalError);
    EXPECT_EQ(OpenFileWide(dir + L"\\missing.txt", 0), INVALID_HANDLE_VALUE);
    DeleteFileW(name.c_str());
}

TEST_F(UniFormTest, WindowTextAndDrawingFallBackToTheCodePage)
{
    HWND wnd = Make<TWideEdit>()->GetHandle();
    WideSetWindowText(wnd, kWideText);
    EXPECT_EQ(WindowText(wnd), kWideText);
    {
        TNonUnicodePlatform ansi;
        WideSetWindowText(wnd, L"\u0416x\u00E9");
        EXPECT_EQ(WindowText(wnd), WidenText(NarrowText(L"\u0416x\u00E9")));
        // The 8-bit drawing measures the narrowed text, a count of characters taken first.
        RECT wide{0, 0, 0, 0}, narrow{0, 0, 0, 0};
        {
            TWindowDC dc(wnd);
            WideDrawText(dc.Get(), L"abc\u0416\u0416", 3, &wide, DT_CALCRECT | DT_MODIFYSTRING);
            DrawTextA(dc.Get(), "abc", 3, &narrow, DT_CALCRECT);
        }
        EXPECT_EQ(wide.right, narrow.right);
    }
    // Wide text on a canvas: the pen ends where the text does.
    TCanvas* canvas = Form->GetCanvas();
    SIZE size = MeasureWideText(canvas, kWideText);
    EXPECT_GT(size.cx, 0);
    OutputWideText(canvas, 5, 7, kWideText);
    EXPECT_EQ(canvas->GetPenPos().x, 5 + size.cx);
    EXPECT_EQ(MeasureWideTextHeight(canvas, L"x"), size.cy);
}
