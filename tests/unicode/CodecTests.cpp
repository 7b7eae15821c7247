// The text codecs: UTF-8 and UTF-7 round trips of every code point and of random text, agreement
// with the system's converters, the RFC 2152 examples, ill-formed input and byte-order marks.
#include <gtest/gtest.h>

#include <windows.h>

#include <random>
#include <string>
#include <vector>

#include "unicode/UniCodec.h"
#include "unicode/UniSystem.h"

namespace {

std::wstring EveryCodePoint()
{
    std::wstring text;
    for (unsigned cp = 0; cp <= 0x10FFFF; ++cp) {
        if (cp >= 0xD800 && cp <= 0xDFFF)
            continue;
        if (cp < 0x10000) {
            text += static_cast<wchar_t>(cp);
        } else {
            text += static_cast<wchar_t>(0xD800 + ((cp - 0x10000) >> 10));
            text += static_cast<wchar_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        }
    }
    return text;
}

std::string SystemUtf8(const std::wstring& text)
{
    int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), length, nullptr, nullptr);
    return result;
}

std::wstring SystemDecode(UINT codePage, const std::string& bytes)
{
    int length = MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring result(static_cast<size_t>(std::max(length, 0)), L'\0');
    MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), result.data(), length);
    return result;
}

// Random text from pieces that stress the codecs: ASCII, UTF-7's special characters, Latin-1,
// CJK, surrogate pairs, unpaired surrogates and U+0000.
std::wstring RandomText(std::mt19937& random, size_t length)
{
    static const std::vector<std::pair<unsigned, unsigned>> ranges = {
        {0x20, 0x7E}, {'+', '+'}, {'-', '-'}, {0, 0x1F}, {0x80, 0xFF}, {0x400, 0x4FF}, {0x4E00, 0x9FFF},
        {0xD800, 0xDBFF}, {0xDC00, 0xDFFF}, {0xE000, 0xFFFF}};
    std::wstring text;
    while (text.size() < length) {
        const auto& range = ranges[random() % ranges.size()];
        unsigned u = range.first + random() % (range.second - range.first + 1);
        text += static_cast<wchar_t>(u);
        // Often a high surrogate gets its partner, so that pairs are common too.
        if (u >= 0xD800 && u <= 0xDBFF && random() % 2)
            text += static_cast<wchar_t>(0xDC00 + random() % 0x400);
    }
    return text;
}

// The text with every unpaired surrogate replaced, as UTF-8 has to.
std::wstring WithoutLoneSurrogates(const std::wstring& text)
{
    std::wstring result = text;
    for (size_t i = 0; i < result.size(); ++i) {
        unsigned u = static_cast<uint16_t>(result[i]);
        bool high = u >= 0xD800 && u <= 0xDBFF;
        bool low = u >= 0xDC00 && u <= 0xDFFF;
        if (high && i + 1 < result.size() && result[i + 1] >= 0xDC00 && result[i + 1] <= 0xDFFF) {
            ++i;
            continue;
        }
        if (high || low)
            result[i] = ReplacementChar;
    }
    return result;
}

std::wstring Utf7Decode(const std::string& bytes)
{
    std::wstring result;
    EXPECT_TRUE(Utf7ToUtf16(bytes, result)) << bytes;
    return result;
}

}

TEST(Utf8, EveryCodePointRoundTripsAndAgreesWithTheSystem)
{
    std::wstring all = EveryCodePoint();
    std::string utf8 = Utf16ToUtf8(all);
    EXPECT_EQ(utf8, SystemUtf8(all));
    EXPECT_EQ(Utf8ToUtf16(utf8), all);
    EXPECT_EQ(SystemDecode(CP_UTF8, utf8), Utf8ToUtf16(utf8));
    // Each length class at its edges, alone and between ASCII runs long enough for the fast path.
    for (unsigned cp : {0x7Fu, 0x80u, 0x7FFu, 0x800u, 0xFFFFu, 0x10000u, 0x10FFFFu}) {
        std::wstring one = cp < 0x10000 ? std::wstring(1, static_cast<wchar_t>(cp))
                                        : std::wstring{static_cast<wchar_t>(0xD800 + ((cp - 0x10000) >> 10)),
                                                       static_cast<wchar_t>(0xDC00 + ((cp - 0x10000) & 0x3FF))};
        std::wstring padded = std::wstring(17, L'a') + one + std::wstring(33, L'b');
        EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(padded)), padded) << std::hex << cp;
    }
}

TEST(Utf8, RandomTextRoundTripsWithUnpairedSurrogatesReplaced)
{
    std::mt19937 random(20240601);
    for (int i = 0; i < 3000; ++i) {
        std::wstring text = RandomText(random, random() % 200);
        std::string utf8 = Utf16ToUtf8(text);
        std::wstring expected = WithoutLoneSurrogates(text);
        ASSERT_EQ(Utf8ToUtf16(utf8), expected) << i;
        ASSERT_EQ(utf8, SystemUtf8(expected)) << i;
        // Into a buffer of exactly the length: nothing written beyond it.
        std::string buffer(utf8.size() + 8, '\x55');
        ASSERT_EQ(Utf16ToUtf8(text, buffer.data()), utf8.size()) << i;
        ASSERT_EQ(buffer, utf8 + std::string(8, '\x55')) << i;
    }
}

TEST(Utf8, IllFormedInputBecomesReplacementCharactersAndTheRestSurvives)
{
    const std::wstring R(1, ReplacementChar);
    struct Case {
        const char* Bytes;
        std::wstring Expected;
    };
    const Case cases[] = {
        {"a\x80z", L"a" + R + L"z"},                          // continuation byte without a lead
        {"a\xC0\x80z", L"a" + R + R + L"z"},                  // over-long NUL
        {"a\xE0\x80\x80z", L"a" + R + R + R + L"z"},          // over-long three-byte form
        {"a\xF0\x80\x80\x80z", L"a" + R + R + R + R + L"z"},  // over-long four-byte form
        {"a\xED\xA0\x80z", L"a" + R + R + R + L"z"},          // an encoded surrogate
        {"a\xF4\x90\x80\x80z", L"a" + R + R + R + R + L"z"},  // above U+10FFFF
        {"a\xE6\x97z", L"a" + R + L"z"},                      // a sequence cut short
        {"a\xF0\x9F\x98", L"a" + R},                          // cut short at the end
        {"\xFE\xFF", R + R},                                  // bytes UTF-8 never uses
        {"\xE6\x97\xA5\xC3", std::wstring(1, L'\x65E5') + R}, // truncated after a good character
    };
    for (const Case& c : cases)
        EXPECT_EQ(Utf8ToUtf16(c.Bytes), c.Expected) << c.Bytes;
    // Long ill-formed text needs more room than well-formed text of its length would.
    std::string overLong;
    for (int i = 0; i < 100; ++i)
        overLong += "\xE0\x80";
    EXPECT_EQ(Utf8ToUtf16(overLong), std::wstring(200, ReplacementChar));
    EXPECT_EQ(Utf16ToUtf8(std::wstring(1, L'\xD800')), "\xEF\xBF\xBD");
    EXPECT_EQ(Utf8ToUtf16(std::string("a\0b", 3)), std::wstring(L"a\0b", 3));
}

TEST(Utf7, Rfc2152ExamplesAndTheEncodersRules)
{
    struct Case {
        std::wstring Text;
        const char* Utf7;
    };
    const Case cases[] = {
        {L"A\u2262\u0391.", "A+ImIDkQ."},
        {L"Hi Mom -\u263A-!", "Hi Mom -+Jjo--!"},
        {L"\u65E5\u672C\u8A9E", "+ZeVnLIqe"},
        {L"Item 3 is \u00A31.", "Item 3 is +AKM-1."},
        {L"A+B", "A+-B"},
        {L"\u00E9a", "+AOk-a"},
        {L"\u00E9.", "+AOk."},
        {L"\u00E9-", "+AOk--"},
        {L"\u00E9 x", "+AOk x"},
        {L"a~b\\c", "a+AH4-b+AFw-c"},
        {L"\U0001F600", "+2D3eAA"},
        {L"\u00E9+", "+AOkAKw"},
        {L"", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Utf16ToUtf7(c.Text), c.Utf7);
        EXPECT_EQ(Utf7Decode(c.Utf7), c.Text) << c.Utf7;
    }
    // The optional direct characters go into shifted runs when asked.
    EXPECT_EQ(Utf16ToUtf7(L"a!b", false), "a+ACE-b");
    EXPECT_EQ(Utf16ToUtf7(L"a!b", true), "a!b");
    // What RFC 2152 writes with a closing "-", and runs left open, decode the same.
    EXPECT_EQ(Utf7Decode("+ZeVnLIqe-"), L"\u65E5\u672C\u8A9E");
    EXPECT_EQ(Utf7Decode("+AOk"), L"\u00E9");
    EXPECT_EQ(Utf7Decode("+AAAA-"), std::wstring(1, L'\0'));
}

TEST(Utf7, EveryCodeUnitAndCodePointRoundTrips)
{
    for (bool optional : {true, false}) {
        for (unsigned u = 0; u <= 0xFFFF; ++u) {
            auto ch = static_cast<wchar_t>(u);
            for (const std::wstring& text : {std::wstring(1, ch), L"a" + std::wstring(1, ch) + L"-b",
                                              L"+" + std::wstring(1, ch) + L"\u00E9" + std::wstring(1, ch)}) {
                std::wstring back;
                ASSERT_TRUE(Utf7ToUtf16(Utf16ToUtf7(text, optional), back)) << u;
                ASSERT_EQ(back, text) << u;
            }
        }
    }
    std::wstring all = EveryCodePoint();
    std::string utf7 = Utf16ToUtf7(all);
    EXPECT_EQ(Utf7Decode(utf7), all);
    // The system's UTF-7 decoder reads what ours writes.
    EXPECT_EQ(SystemDecode(CP_UTF7, utf7), all);
}

TEST(Utf7, RandomTextRoundTripsUnpairedSurrogatesIncluded)
{
    std::mt19937 random(7);
    for (int i = 0; i < 3000; ++i) {
        std::wstring text = RandomText(random, random() % 64);
        std::string utf7 = Utf16ToUtf7(text, i % 2 == 0);
        ASSERT_EQ(Utf7Decode(utf7), text) << utf7;
        ASSERT_EQ(SystemDecode(CP_UTF7, utf7), text) << utf7;
    }
}

TEST(Utf7, IllFormedInputIsRefusedAfterDecodingWhatCame)
{
    struct Case {
        std::string Bytes;
        std::wstring Before;
    };
    const Case cases[] = {
        {"ab\xE9", L"ab"},
        {"+AOl", L"\u00E9"},
        {"+AOl-x", L"\u00E9"},
        {"+AOk\xE9", L"\u00E9"},
        // A "+" that opens no run would be lost: "1 + 1" is not "1  1".
        {"1 + 1", L"1 "},
        {"+", L""},
        {"a+!b", L"a"},
        {"+AOk-+.", L"\u00E9"},
        {std::string("+\0", 2), L""},
    };
    for (const Case& c : cases) {
        std::wstring result;
        EXPECT_FALSE(Utf7ToUtf16(c.Bytes, result)) << c.Bytes;
        EXPECT_EQ(result, c.Before) << c.Bytes;
    }
    // Through the code-page conversion the refusal is the layer's error.
    for (const char* bytes : {"+AOl", "1 + 1"}) {
        try {
            CodePageToWide(bytes, CP_UTF7);
            ADD_FAILURE() << "no error for " << bytes;
        } catch (const EUniGeneralError& e) {
            EXPECT_EQ(e.GetWideMessage(), L"Invalid UTF7");
        }
    }
}

TEST(ByteOrderMark, DetectionAndSwapping)
{
    struct Case {
        std::string Bytes;
        TByteOrderKind Kind;
        size_t Length;
    };
    const Case cases[] = {
        {"\xFF\xFE", bokUtf16LE, 2},    {"\xFF\xFE\x41\x00", bokUtf16LE, 2}, {"\xFE\xFF\x00\x41", bokUtf16BE, 2},
        {"\xEF\xBB\xBF", bokUtf8, 3},   {"\xEF\xBB\xBF\x41", bokUtf8, 3},    {"\xEF\xBB", bokAnsi, 0},
        {"\xFF", bokAnsi, 0},           {"", bokAnsi, 0},                    {"AB", bokAnsi, 0},
    };
    for (const Case& c : cases) {
        size_t length = 99;
        EXPECT_EQ(DetectByteOrderMark(reinterpret_cast<const unsigned char*>(c.Bytes.data()), c.Bytes.size(), length), c.Kind)
            << c.Bytes;
        EXPECT_EQ(length, c.Length);
    }
    std::wstring text(L"\x4100\0\x4200\x00FF", 4);
    SwapUtf16Bytes(text.data(), text.size());
    EXPECT_EQ(text, std::wstring(L"A\0B\xFF00", 4));
}
