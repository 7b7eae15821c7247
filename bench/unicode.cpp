// The Unicode layer's UTF-8 codec against the system's MultiByteToWideChar / WideCharToMultiByte
// (CP_UTF8) on 10 MB of text of each kind (ASCII, Latin-1 with accents, Cyrillic, CJK, emoji),
// measured in the same run; and the UTF-7 codec's time per megabyte at 1 MB and 10 MB.
// Targets: the codec at least as fast as the system's conversion (ratio <= 1.0, medians of 7 runs),
// into a buffer and into a new string, for every kind; UTF-7 linear (10 MB within 10x of 1 MB).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "unicode/UniCodec.h"

namespace {

// The median of several runs, in milliseconds.
double MedianMs(int rounds, const std::function<void()>& body)
{
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) {
        double start = Now();
        body();
        times.push_back(Now() - start);
    }
    return Median(times);
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

size_t Utf8Bytes(unsigned cp)
{
    return cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
}

enum class TTextKind { Ascii, Latin1, Cyrillic, Cjk, Emoji };

// One letter of a word of the kind's text.
unsigned Letter(TTextKind kind, std::mt19937& random)
{
    static const unsigned accented[] = {0xE0, 0xE2, 0xE4, 0xE7, 0xE8, 0xE9, 0xEA, 0xEB, 0xEE, 0xEF, 0xF4, 0xF6, 0xF9, 0xFB, 0xFC, 0xDF};
    const unsigned roll = random() % 100;
    switch (kind) {
    case TTextKind::Ascii:
        return 'a' + random() % 26;
    case TTextKind::Latin1:
        // French and German: about one letter in eight accented.
        return roll < 12 ? accented[random() % 16] : 'a' + random() % 26;
    case TTextKind::Cyrillic:
        return 0x430 + random() % 32;
    case TTextKind::Cjk:
        return roll < 95 ? 0x4E00 + random() % 0x5000 : '0' + random() % 10;
    case TTextKind::Emoji:
        // Chat: short ASCII words with an emoji in most of them.
        return roll < 30 ? 0x1F600 + random() % 80 : 'a' + random() % 26;
    }
    return ' ';
}

// Words of the kind's text until its UTF-8 form reaches the size, with the kind's spaces and
// punctuation and a line break now and then.
std::wstring Text(TTextKind kind, size_t utf8Bytes)
{
    std::mt19937 random(static_cast<unsigned>(kind) + 1);
    std::wstring text;
    size_t bytes = 0;
    auto add = [&](unsigned cp) {
        AppendCodePoint(text, cp);
        bytes += Utf8Bytes(cp);
    };
    while (bytes < utf8Bytes) {
        const size_t length = (kind == TTextKind::Cjk ? 4 : 2) + random() % 8;
        for (size_t i = 0; i < length; ++i)
            add(Letter(kind, random));
        const unsigned roll = random() % 100;
        if (kind == TTextKind::Cjk)
            add(roll < 60 ? 0x3001 : roll < 80 ? 0x3002 : ',');
        else
            add(roll < 85 ? ' ' : roll < 95 ? ',' : '.');
        if (random() % 12 == 0) {
            add('\r');
            add('\n');
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
    double systemDecode = MedianMs(7, [&] {
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), units.data(), static_cast<int>(units.size()));
    });
    double systemEncode = MedianMs(7, [&] {
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), static_cast<int>(bytes.size()),
                            nullptr, nullptr);
    });
    double ourDecode = MedianMs(7, [&] { ourUnits = Utf8ToUtf16(utf8, units.data()); });
    double ourEncode = MedianMs(7, [&] { ourBytes = Utf16ToUtf8(text, bytes.data()); });
    bool same = units.compare(0, ourUnits, text) == 0 && ourUnits == text.size() && bytes == utf8 && ourBytes == utf8.size();
    // Making a new string of the result, as callers do: measuring, allocating and converting.
    std::wstring decoded;
    std::string encoded;
    double systemDecodeString = MedianMs(7, [&] { decoded = SystemDecode(utf8); });
    double systemEncodeString = MedianMs(7, [&] { encoded = SystemEncode(text); });
    double ourDecodeString = MedianMs(7, [&] { decoded = Utf8ToUtf16(utf8); });
    double ourEncodeString = MedianMs(7, [&] { encoded = Utf16ToUtf8(text); });
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
    double encode = MedianMs(3, [&] { utf7 = Utf16ToUtf7(text); });
    double decode = MedianMs(3, [&] { Utf7ToUtf16(utf7, back); });
    if (back != text)
        std::printf("  UTF-7 ROUND TRIP DIFFERS\n");
    double mb = static_cast<double>(utf7.size()) / MB;
    return {encode / mb, decode / mb};
}

}

int main()
{
    PrintArchitecture();
    PrintMachineLoad();
    std::printf("target: UTF-8 codec ratio <= 1.0 against the system's conversion for every kind of text; UTF-7 linear (10 MB within 10x of 1 MB)\n");
    std::printf("(medians of 7 runs; a new string's memory is mapped page by page on first touch, as for the system's)\n");
    const std::pair<const char*, TTextKind> kinds[] = {{"ASCII", TTextKind::Ascii},
                                                       {"Latin-1 with accents", TTextKind::Latin1},
                                                       {"Cyrillic", TTextKind::Cyrillic},
                                                       {"CJK", TTextKind::Cjk},
                                                       {"emoji", TTextKind::Emoji}};
    for (const auto& [name, kind] : kinds)
        ReportUtf8(name, Text(kind, 10 * 1024 * 1024));
    for (const auto& [name, kind] : {kinds[0], kinds[3]}) {
        const std::wstring text = Text(kind, 10 * 1024 * 1024);
        auto small = Utf7PerMB(text.substr(0, text.size() / 10));
        auto large = Utf7PerMB(text);
        std::printf("UTF-7 %s: encode %.2f ms/MB at 1 MB, %.2f at 10 MB (x%.2f); decode %.2f, %.2f (x%.2f)\n", name,
                    small.first, large.first, large.first / small.first, small.second, large.second,
                    large.second / small.second);
    }
    PrintMachineLoad();
    return 0;
}
