// The Unicode layer's UTF-8 codec against the system's MultiByteToWideChar / WideCharToMultiByte
// (CP_UTF8) on 10 MB of mixed text, ASCII-heavy and CJK-heavy, measured in the same run; and the
// UTF-7 codec's time per megabyte at 1 MB and 10 MB.
// Targets: the codec at least as fast as the system's conversion (ratio <= 1.0), into a buffer and
// into a new string; UTF-7 linear (10 MB within 10x of 1 MB).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <random>
#include <string>

#include "bench/BenchSupport.h"
#include "unicode/UniCodec.h"

namespace {

// Best of several rounds, in milliseconds.
double BestMs(int rounds, const std::function<void()>& body)
{
    double best = 1e30;
    for (int i = 0; i < rounds; ++i) {
        double start = Now();
        body();
        best = std::min(best, Now() - start);
    }
    return best;
}

void AppendCodePoint(std::wstring& text, unsigned cp)
{
    if (cp < 0x10000) {
        text += static_cast<wchar_t>(cp);
        return;
    }
    cp -= 0x10000;
    text += static_cast<wchar_t>(0xD800 + (cp >> 10));
    text += static_cast<wchar_t>(0xDC00 + (cp & 0x3FF));
}

// Words of text until the UTF-8 form reaches the size: mostly ASCII words with some Latin-1,
// Cyrillic and CJK ones, or mostly CJK with ASCII punctuation, numbers and a few emoji.
std::wstring MixedText(size_t utf8Bytes, bool cjkHeavy)
{
    std::mt19937 random(cjkHeavy ? 2 : 1);
    std::wstring text;
    size_t bytes = 0;
    while (bytes < utf8Bytes) {
        unsigned roll = random() % 100;
        size_t length = 2 + random() % 8;
        for (size_t i = 0; i < length; ++i) {
            unsigned cp;
            if (cjkHeavy)
                cp = roll < 80 ? 0x4E00 + random() % 0x5000 : roll < 95 ? '0' + random() % 10 : 0x1F600 + random() % 80;
            else
                cp = roll < 90 ? 'a' + random() % 26 : roll < 94 ? 0xC0 + random() % 0x40 : roll < 97 ? 0x410 + random() % 0x40 : 0x4E00 + random() % 0x5000;
            AppendCodePoint(text, cp);
            bytes += cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
        }
        text += cjkHeavy && roll % 3 ? L'\x3001' : L' ';
        bytes += cjkHeavy && roll % 3 ? 3 : 1;
        if (random() % 12 == 0) {
            text += L"\r\n";
            bytes += 2;
        }
    }
    return text;
}

std::wstring SystemDecode(const std::string& utf8)
{
    int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring result(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), result.data(), length);
    return result;
}

std::string SystemEncode(const std::wstring& text)
{
    int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), length, nullptr, nullptr);
    return result;
}

void ReportUtf8(const char* name, const std::wstring& text)
{
    std::string utf8 = SystemEncode(text);
    double mb = static_cast<double>(utf8.size()) / MB;
    // Into buffers of the right size, touched before: the conversion alone.
    std::wstring units(utf8.size(), L'\0');
    std::string bytes(utf8.size(), '\0');
    size_t ourUnits = 0, ourBytes = 0;
    double systemDecode = BestMs(7, [&] {
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), units.data(), static_cast<int>(units.size()));
    });
    double systemEncode = BestMs(7, [&] {
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), static_cast<int>(bytes.size()),
                            nullptr, nullptr);
    });
    double ourDecode = BestMs(7, [&] { ourUnits = Utf8ToUtf16(utf8, units.data()); });
    double ourEncode = BestMs(7, [&] { ourBytes = Utf16ToUtf8(text, bytes.data()); });
    bool same = units.compare(0, ourUnits, text) == 0 && ourUnits == text.size() && bytes == utf8 && ourBytes == utf8.size();
    // Making a new string of the result, as callers do: measuring, allocating and converting.
    std::wstring decoded;
    std::string encoded;
    double systemDecodeString = BestMs(7, [&] { decoded = SystemDecode(utf8); });
    double systemEncodeString = BestMs(7, [&] { encoded = SystemEncode(text); });
    double ourDecodeString = BestMs(7, [&] { decoded = Utf8ToUtf16(utf8); });
    double ourEncodeString = BestMs(7, [&] { encoded = Utf16ToUtf8(text); });
    same = same && decoded == text && encoded == utf8;
    std::printf("%s, %.1f MB of UTF-8 (%zu UTF-16 units)%s\n", name, mb, text.size(), same ? "" : "  RESULTS DIFFER");
    std::printf("  UTF-8 -> UTF-16: ours %6.2f ms  system %6.2f ms  ratio %.2f | new string: ours %6.2f ms  system %6.2f ms  ratio %.2f\n",
                ourDecode, systemDecode, ourDecode / systemDecode, ourDecodeString, systemDecodeString,
                ourDecodeString / systemDecodeString);
    std::printf("  UTF-16 -> UTF-8: ours %6.2f ms  system %6.2f ms  ratio %.2f | new string: ours %6.2f ms  system %6.2f ms  ratio %.2f\n",
                ourEncode, systemEncode, ourEncode / systemEncode, ourEncodeString, systemEncodeString,
                ourEncodeString / systemEncodeString);
}

// Milliseconds per megabyte of UTF-7 to encode and decode the text.
std::pair<double, double> Utf7PerMB(const std::wstring& text)
{
    std::string utf7;
    std::wstring back;
    double encode = BestMs(3, [&] { utf7 = Utf16ToUtf7(text); });
    double decode = BestMs(3, [&] { Utf7ToUtf16(utf7, back); });
    if (back != text)
        std::printf("  UTF-7 ROUND TRIP DIFFERS\n");
    double mb = static_cast<double>(utf7.size()) / MB;
    return {encode / mb, decode / mb};
}

}

int main()
{
    PrintArchitecture();
    std::printf("target: UTF-8 codec ratio <= 1.0 against the system's conversion; UTF-7 linear (10 MB within 10x of 1 MB)\n");
    std::printf("(a new string's memory is mapped page by page on first touch, which under Wine costs more than the conversion)\n");
    std::wstring ascii = MixedText(10 * 1024 * 1024, false);
    std::wstring cjk = MixedText(10 * 1024 * 1024, true);
    ReportUtf8("ASCII-heavy", ascii);
    ReportUtf8("CJK-heavy", cjk);
    for (const auto& [name, text] : {std::pair<const char*, const std::wstring*>{"ASCII-heavy", &ascii}, {"CJK-heavy", &cjk}}) {
        auto small = Utf7PerMB(text->substr(0, text->size() / 10));
        auto large = Utf7PerMB(*text);
        std::printf("UTF-7 %s: encode %.2f ms/MB at 1 MB, %.2f at 10 MB (x%.2f); decode %.2f, %.2f (x%.2f)\n", name,
                    small.first, large.first, large.first / small.first, small.second, large.second,
                    large.second / small.second);
    }
    return 0;
}
