#include <gtest/gtest.h>

#include "TestSupport.h"
#include "platform/SysUtils.h"

TEST(SysUtilsFormat, PrintfStyle)
{
    EXPECT_EQ(Format("%s has %d items (%x) %.2f", "list", 42, 255, 1.005), "list has 42 items (ff) 1.00");
    EXPECT_EQ(Format("%lld", static_cast<long long>(1) << 40), "1099511627776");
    EXPECT_EQ(Format(" (%dx%d)", 640, 480), " (640x480)");
    std::string longText(1000, 'a');
    EXPECT_EQ(Format("<%s>", longText.c_str()), "<" + longText + ">");
    EXPECT_EQ(Format("%s", ""), "");
}

TEST(SysUtilsFormat, IntegersToText)
{
    EXPECT_EQ(IntToStr(0), "0");
    EXPECT_EQ(IntToStr(-2147483647 - 1), "-2147483648");
    EXPECT_EQ(IntToStr(static_cast<int64_t>(-5000000000LL)), "-5000000000");
    EXPECT_EQ(IntToHex(255, 4), "00FF");
    EXPECT_EQ(IntToHex(0x12345, 2), "12345");
    EXPECT_EQ(IntToHex(-1, 2), "FFFFFFFF");
    EXPECT_EQ(IntToHex(0, 0), "0");
    EXPECT_EQ(IntToHex(static_cast<int64_t>(0x1FFFFFFFFLL), 10), "01FFFFFFFF");
    EXPECT_EQ(IntToHex(static_cast<int64_t>(-1), 1), "FFFFFFFFFFFFFFFF");
    EXPECT_EQ(IntToHex(static_cast<short>(-2), 1), "FFFE");
    EXPECT_EQ(IntToHex(static_cast<DWORD>(0xC0000005u), 8), "C0000005");
    EXPECT_EQ(IntToStr(std::vector<int>(3).size()), "3");
    EXPECT_EQ(IntToStr(static_cast<DWORD>(4000000000u)), "4000000000");
    EXPECT_EQ(Format("%u %d", {std::vector<int>(2).size(), static_cast<uint64_t>(7)}), "2 7");
}

TEST(SysUtilsConvert, StrToIntAcceptsDecimalAndHex)
{
    EXPECT_EQ(StrToInt("123"), 123);
    EXPECT_EQ(StrToInt("  -17"), -17);
    EXPECT_EQ(StrToInt("+8"), 8);
    EXPECT_EQ(StrToInt("$1F"), 31);
    EXPECT_EQ(StrToInt("0x1f"), 31);
    EXPECT_EQ(StrToInt("-$10"), -16);
    EXPECT_EQ(StrToInt("$FFFFFFFF"), -1);
    EXPECT_EQ(StrToInt("$80000000"), -2147483647 - 1);
    EXPECT_EQ(StrToInt("2147483647"), 2147483647);
    EXPECT_EQ(StrToInt("-2147483648"), -2147483647 - 1);
    EXPECT_EQ(StrToInt("007"), 7);
}

TEST(SysUtilsConvert, StrToIntRejectsBadInputAndOverflow)
{
    for (const char* bad : {"", " ", "-", "+", "$", "0x", "12a", "1 ", "1.5", "2147483648", "-2147483649",
                            "$100000000", "99999999999999999999999", "--1", "abc", "0x-1"}) {
        int v = 77;
        EXPECT_FALSE(TryStrToInt(bad, v)) << bad;
        EXPECT_EQ(v, 77) << bad;
        EXPECT_EQ(StrToIntDef(bad, -3), -3) << bad;
    }
    try {
        StrToInt("12x");
        FAIL() << "no exception";
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'12x' is not a valid integer value");
    }
}

TEST(SysUtilsConvert, FloatText)
{
    EXPECT_EQ(FloatToStr(1.5), "1.5");
    EXPECT_EQ(FloatToStr(0), "0");
    EXPECT_EQ(FloatToStr(-0.25), "-0.25");
    EXPECT_EQ(FloatToStr(0.1), "0.1");
    EXPECT_EQ(FloatToStr(1e20), "1E20");
    EXPECT_EQ(FloatToStr(1.5e-7), "1.5E-7");
    EXPECT_EQ(FloatToStr(0.0001), "0.0001");
    EXPECT_EQ(FloatToStr(123456789012345.0), "123456789012345");

    EXPECT_EQ(FloatToStrFixed(1.005, 2), "1.01");
    EXPECT_EQ(FloatToStrFixed(2.675, 2), "2.68");
    EXPECT_EQ(FloatToStrFixed(-1.005, 2), "-1.01");
    EXPECT_EQ(FloatToStrFixed(0, 2), "0.00");
    EXPECT_EQ(FloatToStrFixed(-0.001, 2), "0.00");
    EXPECT_EQ(FloatToStrFixed(9.999, 2), "10.00");
    EXPECT_EQ(FloatToStrFixed(0.005, 2), "0.01");
    EXPECT_EQ(FloatToStrFixed(0.0049, 2), "0.00");
    EXPECT_EQ(FloatToStrFixed(210.0, 2), "210.00");
    EXPECT_EQ(FloatToStrFixed(25.4 * 3, 1), "76.2");
    EXPECT_EQ(FloatToStrFixed(1e17, 2), "100000000000000000.00");
    EXPECT_EQ(FloatToStrFixed(2.5, 0), "3");
    EXPECT_EQ(FloatToStrFixed(0.5, 0), "1");
    EXPECT_EQ(FloatToStrFixed(0.04, 0), "0");
}

TEST(SysUtilsConvert, StrToFloat)
{
    EXPECT_DOUBLE_EQ(StrToFloat("1.5"), 1.5);
    EXPECT_DOUBLE_EQ(StrToFloat(" -2.25 "), -2.25);
    EXPECT_DOUBLE_EQ(StrToFloat(".5"), 0.5);
    EXPECT_DOUBLE_EQ(StrToFloat("5."), 5.0);
    EXPECT_DOUBLE_EQ(StrToFloat("1e3"), 1000.0);
    EXPECT_DOUBLE_EQ(StrToFloat("+1.5E-2"), 0.015);
    for (const char* bad : {"", ".", "1,5", "1e", "e5", "inf", "nan", "0x10", "1.5.2", "--1", "1 2", "1e999"}) {
        double v = 9;
        EXPECT_FALSE(TryStrToFloat(bad, v)) << bad;
        EXPECT_EQ(v, 9) << bad;
    }
    EXPECT_DOUBLE_EQ(StrToFloatDef("x", 2.5), 2.5);
    EXPECT_THROW(StrToFloat("1,5"), EConvertError);
}

TEST(SysUtilsText, CaseAndTrim)
{
    EXPECT_EQ(UpperCase("abc\xE9z"), "ABC\xE9Z");
    EXPECT_EQ(LowerCase("ABC\xC9Z"), "abc\xC9z");
    EXPECT_EQ(Trim("\t  a b \r\n"), "a b");
    EXPECT_EQ(TrimLeft("  a "), "a ");
    EXPECT_EQ(TrimRight("  a "), "  a");
    EXPECT_EQ(Trim("   "), "");
    EXPECT_EQ(CompareText("abc", "ABD"), 'C' - 'D');
    EXPECT_EQ(CompareText("ABC", "abc"), 0);
    EXPECT_GT(CompareText("abcd", "ABC"), 0);
    EXPECT_TRUE(SameText("Hello", "hELLO"));
    EXPECT_FALSE(SameText("\xE9", "\xC9"));
    EXPECT_LT(CompareStr("B", "a"), 0);
}

TEST(SysUtilsText, AnsiCompareUnderCodePage1252)
{
    if (GetACP() != 1252)
        GTEST_SKIP() << "needs code page 1252";
    EXPECT_EQ(AnsiUpperCase("caf\xE9"), "CAF\xC9");
    EXPECT_EQ(AnsiLowerCase("\xC0\xC9\xD6"), "\xE0\xE9\xF6");
    EXPECT_TRUE(AnsiSameText("caf\xE9", "CAF\xC9"));
    EXPECT_FALSE(AnsiSameText("cafe", "caf\xE9"));
    // Linguistic order puts an accented letter next to its base letter, not after 'z'.
    EXPECT_LT(AnsiCompareText("\xE9t\xE9", "f"), 0);
    EXPECT_GT(AnsiCompareText("\xE9t\xE9", "d"), 0);
    EXPECT_LT(AnsiCompareStr("a", "B"), 0);
    EXPECT_NE(AnsiCompareStr("a", "A"), 0);
    EXPECT_EQ(AnsiCompareStr("", ""), 0);
    EXPECT_LT(AnsiCompareStr("", "a"), 0);
    EXPECT_TRUE(AnsiSameStr("abc", "abc"));
}

TEST(SysUtilsText, StringReplace)
{
    EXPECT_EQ(StringReplace("a-b-c", "-", "+", 0), "a+b-c");
    EXPECT_EQ(StringReplace("a-b-c", "-", "+", rfReplaceAll), "a+b+c");
    EXPECT_EQ(StringReplace("Ab ab AB", "ab", "x", rfReplaceAll), "Ab x AB");
    EXPECT_EQ(StringReplace("Ab ab AB", "ab", "x", rfReplaceAll | rfIgnoreCase), "x x x");
    EXPECT_EQ(StringReplace("aaa", "a", "aa", rfReplaceAll), "aaaaaa");
    EXPECT_EQ(StringReplace("abc", "", "x", rfReplaceAll), "abc");
    EXPECT_EQ(StringReplace("\\s\\sx", "\\s", " ", rfReplaceAll), "  x");
}

TEST(SysUtilsFileNames, Extraction)
{
    EXPECT_EQ(ExtractFilePath("C:\\dir\\file.txt"), "C:\\dir\\");
    EXPECT_EQ(ExtractFileDir("C:\\dir\\file.txt"), "C:\\dir");
    EXPECT_EQ(ExtractFileName("C:\\dir\\file.txt"), "file.txt");
    EXPECT_EQ(ExtractFileExt("C:\\dir\\file.txt"), ".txt");

    // Drive roots keep their delimiter.
    EXPECT_EQ(ExtractFileDir("C:\\file.txt"), "C:\\");
    EXPECT_EQ(ExtractFilePath("C:\\file.txt"), "C:\\");
    EXPECT_EQ(ExtractFileDir("C:file.txt"), "C:");
    EXPECT_EQ(ExtractFileName("C:file.txt"), "file.txt");
    EXPECT_EQ(ExtractFileDir("\\file"), "\\");

    // UNC-style names.
    EXPECT_EQ(ExtractFileDir("\\\\server\\share\\pic.bmp"), "\\\\server\\share");
    EXPECT_EQ(ExtractFileName("\\\\server\\share\\pic.bmp"), "pic.bmp");
    EXPECT_EQ(ExtractFilePath("\\\\server\\share"), "\\\\server\\");

    // Forward slashes delimit too.
    EXPECT_EQ(ExtractFileName("a/b/c.png"), "c.png");
    EXPECT_EQ(ExtractFileDir("a/b/c.png"), "a/b");

    // Names without extension, or with a dot only in a folder name.
    EXPECT_EQ(ExtractFileExt("C:\\my.dir\\README"), "");
    EXPECT_EQ(ExtractFileExt("archive.tar.gz"), ".gz");
    EXPECT_EQ(ExtractFileExt("name."), ".");
    EXPECT_EQ(ExtractFileExt(""), "");
    EXPECT_EQ(ExtractFileName("plain"), "plain");
    EXPECT_EQ(ExtractFilePath("plain"), "");
    EXPECT_EQ(ExtractFileDir("plain"), "");

    EXPECT_EQ(ChangeFileExt("C:\\my.dir\\README", ".ini"), "C:\\my.dir\\README.ini");
    EXPECT_EQ(ChangeFileExt("English", ".ini"), "English.ini");
    EXPECT_EQ(ChangeFileExt("pic.PNG", ".sfp"), "pic.sfp");
    EXPECT_EQ(ChangeFileExt("pic.png", ""), "pic");
}

TEST(SysUtilsFileNames, TrailingDelimiters)
{
    EXPECT_EQ(IncludeTrailingPathDelimiter("C:\\dir"), "C:\\dir\\");
    EXPECT_EQ(IncludeTrailingPathDelimiter("C:\\dir\\"), "C:\\dir\\");
    EXPECT_EQ(IncludeTrailingPathDelimiter("a/"), "a/");
    EXPECT_EQ(ExcludeTrailingPathDelimiter("C:\\dir\\"), "C:\\dir");
    EXPECT_EQ(ExcludeTrailingPathDelimiter("C:\\dir"), "C:\\dir");
    EXPECT_EQ(ExcludeTrailingPathDelimiter("C:\\"), "C:");
}

TEST(SysUtilsFileNames, DoubleByteTrailBytesAreNotDelimiters)
{
    if (!IsDBCSLeadByte(0x83))
        GTEST_SKIP() << "needs a double-byte code page";
    // 0x83 0x5C is one character whose second byte equals '\'.
    std::string name = "dir\\\x83\x5C.txt";
    EXPECT_EQ(ExtractFileName(name), "\x83\x5C.txt");
    EXPECT_EQ(ExcludeTrailingPathDelimiter("\x83\x5C"), "\x83\x5C");
}

TEST(SysUtilsFiles, ExistsRenameDeleteAndFind)
{
    std::string dir = TestTempFile("findme");
    ASSERT_TRUE(CreateDirectoryA(dir.c_str(), nullptr));
    EXPECT_TRUE(DirectoryExists(dir));
    EXPECT_FALSE(FileExists(dir));

    std::string a = dir + "\\one.ini";
    HANDLE h = CreateFileA(a.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(h, "abc", 3, &written, nullptr);
    CloseHandle(h);
    EXPECT_TRUE(FileExists(a));
    EXPECT_FALSE(DirectoryExists(a));

    std::string b = dir + "\\two.ini";
    EXPECT_TRUE(RenameFile(a, b));
    EXPECT_FALSE(FileExists(a));
    EXPECT_TRUE(FileExists(b));
    ASSERT_TRUE(CreateDirectoryA((dir + "\\sub").c_str(), nullptr));

    std::vector<TSearchRec> found = FindFiles(dir + "\\*.ini");
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].Name, "two.ini");
    EXPECT_EQ(found[0].Size, 3);
    EXPECT_EQ(FindFiles(dir + "\\*").size(), 2u);
    EXPECT_TRUE(FindFiles(dir + "\\*.none").empty());
    EXPECT_TRUE(FindFiles(dir + "\\missing\\*").empty());

    EXPECT_TRUE(DeleteFile(b));
    EXPECT_FALSE(FileExists(b));
    EXPECT_FALSE(DeleteFile(b));
    EXPECT_FALSE(FileExists(""));
}

TEST(SysUtilsFiles, ExpandFileName)
{
    std::string cwd = GetCurrentDir();
    ASSERT_FALSE(cwd.empty());
    EXPECT_EQ(ExpandFileName("x.txt"), IncludeTrailingPathDelimiter(cwd) + "x.txt");
    EXPECT_EQ(ExpandFileName("C:\\a\\..\\b\\.\\c.txt"), "C:\\b\\c.txt");
    EXPECT_EQ(ExpandFileName(""), "");
    EXPECT_EQ(ExpandUNCFileName("C:\\a\\..\\b.txt"), "C:\\b.txt");
    EXPECT_EQ(ExtractFileName(GetModuleFileNameStr()), "platform_tests.exe");
    EXPECT_EQ(ParamStr(0), GetModuleFileNameStr());
}

TEST(SysUtilsProcess, CommandLineParsing)
{
    using V = std::vector<std::string>;
    EXPECT_EQ(ParseCommandLine("prog.exe a b"), (V{"prog.exe", "a", "b"}));
    EXPECT_EQ(ParseCommandLine("\"C:\\Program Files\\p.exe\"  \"my file.sfp\"\t x"),
              (V{"C:\\Program Files\\p.exe", "my file.sfp", "x"}));
    EXPECT_EQ(ParseCommandLine("p a\"b c\"d"), (V{"p", "ab cd"}));
    EXPECT_EQ(ParseCommandLine("p \"\" \"unterminated arg"), (V{"p", "", "unterminated arg"}));
    EXPECT_EQ(ParseCommandLine("   "), V{});
    EXPECT_EQ(ParseCommandLine(nullptr), V{});
    EXPECT_GE(ParamCount(), 0);
    EXPECT_EQ(ParamStr(ParamCount() + 1), "");
    EXPECT_EQ(ParamStr(-1), "");
}

TEST(SysUtilsWide, ConversionThroughCodePage)
{
    EXPECT_EQ(AnsiToWide("abc"), L"abc");
    EXPECT_EQ(WideToAnsi(L"abc"), "abc");
    EXPECT_EQ(AnsiToWide(""), L"");
    EXPECT_EQ(WideToAnsi(L""), "");
    EXPECT_EQ(AnsiToWide("\xE9", 1252), L"\u00E9");
    EXPECT_EQ(WideToAnsi(L"\u00E9", 1252), "\xE9");
    EXPECT_EQ(WideToAnsi(L"\u044F", 1251), "\xFF");
    EXPECT_EQ(WideToAnsi(L"\u4E2D", 1252), "?");
    std::string withNul("a\0b", 3);
    EXPECT_EQ(WideToAnsi(AnsiToWide(withNul)), withNul);
}

TEST(SysUtilsFormat, CheckedFormatWithValues)
{
    EXPECT_EQ(Format(std::string("File \"%s\" loading error: %d"), {"a.png", -146}),
              "File \"a.png\" loading error: -146");
    EXPECT_EQ(Format("%5s|%-5s|%.2s", {"ab", "cd", "xyz"}), "   ab|cd   |xy");
    EXPECT_EQ(Format("%.4d %3d %-3d|", {-12, 7, 7}), "-0012   7 7  |");
    EXPECT_EQ(Format("%x %.4x %x", {255, 10, -1}), "FF 000A FFFFFFFF");
    EXPECT_EQ(Format("%u", {-1}), "4294967295");
    EXPECT_EQ(Format("%f %.1f %.0f %f", {1.005, 2.25, 2.5, 3}), "1.01 2.3 3 3.00");
    EXPECT_EQ(Format("%n %.0n", {-1234567.891, 999.5}), "-1,234,567.89 1,000");
    EXPECT_EQ(Format("%g %g", {1.5, 1e20}), "1.5 1E20");
    EXPECT_EQ(Format("%e %.3e", {1.5, -0.000123}), "1.50000000000000E+000 -1.23E-004");
    EXPECT_EQ(Format("%1:s %0:s %s", {"a", "b"}), "b a b");
    EXPECT_EQ(Format("%*d|%-*d|%.*f", {4, 1, 3, 2, 1, 0.25}), "   1|2  |0.3");
    EXPECT_EQ(Format("100%% %s", {"done"}), "100% done");
    EXPECT_EQ(Format("%p", {static_cast<const void*>(reinterpret_cast<void*>(0xABCD))}), "0000ABCD");
    EXPECT_EQ(Format("no placeholders", {}), "no placeholders");
    EXPECT_EQ(Format("%d", {static_cast<long long>(-5000000000LL)}), "-5000000000");
}

TEST(SysUtilsFormat, CheckedFormatRejectsBadStringsFromOutside)
{
    // A language file may carry any text: wrong kinds and malformed placeholders raise.
    for (const char* bad : {"%d", "%n", "%x", "%z", "abc %", "%-", "%.s", "%99999s", "%1.f"}) {
        try {
            Format(std::string(bad), {"text"});
            ADD_FAILURE() << "no exception for " << bad;
        } catch (const EConvertError& e) {
            EXPECT_EQ(std::string(e.what()), "Format '" + std::string(bad) + "' invalid or incompatible with argument")
                << bad;
        }
    }
    try {
        Format(std::string("File %s: %d"), {"x"});
        FAIL() << "no exception";
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "No argument for format 'File %s: %d'");
    }
    EXPECT_THROW(Format("%s", {1}), EConvertError);
    EXPECT_THROW(Format("%f", {"1.5"}), EConvertError);
    EXPECT_THROW(Format("%5:s", {"a"}), EConvertError);
}

TEST(SysUtilsWide, CaseAndCompareInEveryScript)
{
    EXPECT_EQ(WideUpperCase(L"caf\u00E9 \u044F"), L"CAF\u00C9 \u042F");
    EXPECT_EQ(WideLowerCase(L"\u0394X"), L"\u03B4x");
    EXPECT_TRUE(WideSameText(L"\u00E9t\u00E9", L"\u00C9T\u00C9"));
    EXPECT_FALSE(WideSameText(L"a", L"b"));
    EXPECT_LT(WideCompareText(L"\u00E9", L"f"), 0);
    EXPECT_NE(WideCompareStr(L"a", L"A"), 0);
    EXPECT_EQ(WideCompareStr(L"", L""), 0);
    EXPECT_EQ(WideCompareText(std::wstring(L"x\0y", 3), std::wstring(L"X\0Y", 3)), 0);
}
