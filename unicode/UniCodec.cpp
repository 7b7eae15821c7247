#include "unicode/UniCodec.h"

#include <emmintrin.h>

namespace {

// The vector paths move 16-bit units; where wchar_t is wider they are left out.
constexpr bool kWide16 = sizeof(wchar_t) == 2;

inline bool IsContinuation(unsigned char b)
{
    return (b & 0xC0) == 0x80;
}

inline bool IsHighSurrogate(unsigned u)
{
    return u >= 0xD800 && u <= 0xDBFF;
}

inline bool IsLowSurrogate(unsigned u)
{
    return u >= 0xDC00 && u <= 0xDFFF;
}

// Widens ASCII bytes 16 at a time while they last and the room does.
inline void WidenAsciiRun(const unsigned char*& p, const unsigned char* end, wchar_t*& d, const wchar_t* limit)
{
    if constexpr (kWide16) {
        const __m128i zero = _mm_setzero_si128();
        while (end - p >= 16 && limit - d >= 16) {
            __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            if (_mm_movemask_epi8(v) != 0)
                return;
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_unpacklo_epi8(v, zero));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 8), _mm_unpackhi_epi8(v, zero));
            p += 16;
            d += 16;
        }
    }
}

// True when 16 units from p are all ASCII.
inline bool AllAscii16(const wchar_t* p, __m128i& lo, __m128i& hi)
{
    const __m128i mask = _mm_set1_epi16(static_cast<short>(0xFF80));
    lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 8));
    __m128i bits = _mm_and_si128(_mm_or_si128(lo, hi), mask);
    return _mm_movemask_epi8(_mm_cmpeq_epi16(bits, _mm_setzero_si128())) == 0xFFFF;
}

// The units that well-formed UTF-8 decodes to: one per byte that is not a continuation byte,
// and a second one for each lead byte of a four-byte form. Ill-formed input may need more.
size_t Utf16UnitsEstimate(const unsigned char* p, const unsigned char* end)
{
    size_t units = 0;
    if constexpr (kWide16) {
        const __m128i notContinuation = _mm_set1_epi8(-65);  // above 0xBF or ASCII, as signed bytes
        const __m128i fourByteLead = _mm_set1_epi8(-17);     // 0xF0 and above, or ASCII
        const __m128i ascii = _mm_set1_epi8(-1);
        while (end - p >= 16) {
            __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            auto starts = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpgt_epi8(v, notContinuation)));
            auto high = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpgt_epi8(v, fourByteLead)));
            auto plain = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpgt_epi8(v, ascii)));
            units += static_cast<size_t>(__builtin_popcount(starts) + __builtin_popcount(high & ~plain));
            p += 16;
        }
    }
    for (; p < end; ++p)
        units += !IsContinuation(*p) + (*p >= 0xF0);
    return units;
}

// Decodes into [d, limit); npos when the room runs out (ill-formed input the estimate missed).
size_t DecodeUtf8(const unsigned char* p, const unsigned char* end, wchar_t* const begin, wchar_t* const limit)
{
    wchar_t* d = begin;
    while (p < end) {
        WidenAsciiRun(p, end, d, limit);
        if (p >= end)
            break;
        if (d == limit)
            return std::wstring::npos;
        unsigned c = *p;
        if (c < 0x80) {
            *d++ = static_cast<wchar_t>(c);
            ++p;
            continue;
        }
        size_t left = static_cast<size_t>(end - p);
        if (c >= 0xC2 && c <= 0xDF) {
            if (left >= 2 && IsContinuation(p[1])) {
                *d++ = static_cast<wchar_t>(((c & 0x1F) << 6) | (p[1] & 0x3F));
                p += 2;
            } else {
                *d++ = ReplacementChar;
                p += 1;
            }
            continue;
        }
        if (c >= 0xE0 && c <= 0xEF) {
            // E0 must not be over-long, ED must not encode a surrogate.
            unsigned low = c == 0xE0 ? 0xA0 : 0x80;
            unsigned high = c == 0xED ? 0x9F : 0xBF;
            if (left < 2 || p[1] < low || p[1] > high) {
                *d++ = ReplacementChar;
                p += 1;
            } else if (left < 3 || !IsContinuation(p[2])) {
                *d++ = ReplacementChar;
                p += 2;
            } else {
                *d++ = static_cast<wchar_t>(((c & 0x0F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F));
                p += 3;
            }
            continue;
        }
        if (c >= 0xF0 && c <= 0xF4) {
            // F0 must not be over-long, F4 must stay within U+10FFFF.
            unsigned low = c == 0xF0 ? 0x90 : 0x80;
            unsigned high = c == 0xF4 ? 0x8F : 0xBF;
            if (left < 2 || p[1] < low || p[1] > high) {
                *d++ = ReplacementChar;
                p += 1;
            } else if (left < 3 || !IsContinuation(p[2])) {
                *d++ = ReplacementChar;
                p += 2;
            } else if (left < 4 || !IsContinuation(p[3])) {
                *d++ = ReplacementChar;
                p += 3;
            } else if (limit - d < 2) {
                return std::wstring::npos;
            } else {
                unsigned cp = ((c & 0x07) << 18) | ((p[1] & 0x3Fu) << 12) | ((p[2] & 0x3Fu) << 6) | (p[3] & 0x3Fu);
                cp -= 0x10000;
                *d++ = static_cast<wchar_t>(0xD800 + (cp >> 10));
                *d++ = static_cast<wchar_t>(0xDC00 + (cp & 0x3FF));
                p += 4;
            }
            continue;
        }
        // A continuation byte without a lead, C0, C1 and F5..FF.
        *d++ = ReplacementChar;
        ++p;
    }
    return static_cast<size_t>(d - begin);
}

// The 64 characters of base64, and the value of each byte in it (-1 for the others).
constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

struct TUtf7Tables {
    signed char Base64Value[256];
    // Written directly: the directly encoded set and white space; the second also Set O.
    bool Direct[128];
    bool DirectOptional[128];

    constexpr TUtf7Tables() : Base64Value{}, Direct{}, DirectOptional{}
    {
        for (int i = 0; i < 256; ++i)
            Base64Value[i] = -1;
        for (int i = 0; i < 64; ++i)
            Base64Value[static_cast<unsigned char>(kBase64[i])] = static_cast<signed char>(i);
        const char* direct = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789'(),-./:?\t\r\n ";
        for (const char* c = direct; *c; ++c)
            Direct[static_cast<unsigned char>(*c)] = DirectOptional[static_cast<unsigned char>(*c)] = true;
        for (const char* c = "!\"#$%&*;<=>@[]^_`{|}"; *c; ++c)
            DirectOptional[static_cast<unsigned char>(*c)] = true;
    }
};

constexpr TUtf7Tables kUtf7;

inline bool IsBase64(unsigned c)
{
    return c < 256 && kUtf7.Base64Value[c] >= 0;
}

}

size_t Utf8Length(std::wstring_view text)
{
    const wchar_t* p = text.data();
    const wchar_t* end = p + text.size();
    size_t length = 0;
    auto count = [&](const wchar_t* stop) {
        while (p < stop) {
            unsigned u = static_cast<uint16_t>(*p++);
            if (u >= 0x800 && (u < 0xD800 || u > 0xDFFF))
                length += 3;
            else if (u < 0x80)
                length += 1;
            else if (u < 0x800)
                length += 2;
            else if (IsHighSurrogate(u) && p < end && IsLowSurrogate(static_cast<uint16_t>(*p))) {
                ++p;
                length += 4;
            } else
                length += 3;
        }
    };
    if constexpr (kWide16) {
        // Sixteen units at a time: ASCII in one step, anything else one by one.
        __m128i lo, hi;
        while (end - p >= 16) {
            if (AllAscii16(p, lo, hi)) {
                p += 16;
                length += 16;
            } else {
                count(p + 16);
            }
        }
    }
    count(end);
    return length;
}

size_t Utf16ToUtf8(std::wstring_view text, char* buffer)
{
    const wchar_t* p = text.data();
    const wchar_t* end = p + text.size();
    auto* d = reinterpret_cast<unsigned char*>(buffer);
    auto encode = [&](const wchar_t* stop) {
        while (p < stop) {
            unsigned u = static_cast<uint16_t>(*p++);
            // Most of the units that are not ASCII are three bytes long (CJK): test them first.
            if (u >= 0x800 && (u < 0xD800 || u > 0xDFFF)) {
                d[0] = static_cast<unsigned char>(0xE0 | (u >> 12));
                d[1] = static_cast<unsigned char>(0x80 | ((u >> 6) & 0x3F));
                d[2] = static_cast<unsigned char>(0x80 | (u & 0x3F));
                d += 3;
            } else if (u < 0x80) {
                *d++ = static_cast<unsigned char>(u);
            } else if (u < 0x800) {
                *d++ = static_cast<unsigned char>(0xC0 | (u >> 6));
                *d++ = static_cast<unsigned char>(0x80 | (u & 0x3F));
            } else if (IsHighSurrogate(u) && p < end && IsLowSurrogate(static_cast<uint16_t>(*p))) {
                unsigned cp = 0x10000 + ((u - 0xD800) << 10) + (static_cast<uint16_t>(*p++) - 0xDC00);
                *d++ = static_cast<unsigned char>(0xF0 | (cp >> 18));
                *d++ = static_cast<unsigned char>(0x80 | ((cp >> 12) & 0x3F));
                *d++ = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
                *d++ = static_cast<unsigned char>(0x80 | (cp & 0x3F));
            } else {
                // An unpaired surrogate: U+FFFD.
                *d++ = 0xEF;
                *d++ = 0xBF;
                *d++ = 0xBD;
            }
        }
    };
    if constexpr (kWide16) {
        // Sixteen units at a time: ASCII in one step, anything else one by one.
        __m128i lo, hi;
        while (end - p >= 16) {
            if (AllAscii16(p, lo, hi)) {
                _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_packus_epi16(lo, hi));
                p += 16;
                d += 16;
            } else {
                encode(p + 16);
            }
        }
    }
    encode(end);
    return static_cast<size_t>(d - reinterpret_cast<unsigned char*>(buffer));
}

std::string Utf16ToUtf8(std::wstring_view text)
{
    std::string result(Utf8Length(text), '\0');
    Utf16ToUtf8(text, result.data());
    return result;
}

size_t Utf8ToUtf16(std::string_view text, wchar_t* buffer)
{
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    return DecodeUtf8(p, p + text.size(), buffer, buffer + text.size());
}

std::wstring Utf8ToUtf16(std::string_view text)
{
    // Sized for well-formed text (the decoder's vector path needs 16 units of room at the end);
    // ill-formed text that needs more is decoded again into room for one unit per byte.
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    std::wstring result(std::min(Utf16UnitsEstimate(p, p + text.size()) + 16, text.size()), L'\0');
    size_t units = DecodeUtf8(p, p + text.size(), result.data(), result.data() + result.size());
    if (units == std::wstring::npos) {
        result.assign(text.size(), L'\0');
        units = Utf8ToUtf16(text, result.data());
    }
    result.resize(units);
    return result;
}

std::string Utf16ToUtf7(std::wstring_view text, bool directOptional)
{
    const bool* direct = directOptional ? kUtf7.DirectOptional : kUtf7.Direct;
    std::string result;
    result.reserve(text.size() + text.size() / 2 + 2);
    bool shifted = false;
    uint32_t bits = 0;
    int bitCount = 0;
    auto closeRun = [&] {
        if (bitCount > 0)
            result += kBase64[(bits << (6 - bitCount)) & 0x3F];
        bits = 0;
        bitCount = 0;
        shifted = false;
    };
    for (wchar_t ch : text) {
        unsigned u = static_cast<uint16_t>(ch);
        if (u < 128 && direct[u]) {
            if (shifted) {
                closeRun();
                // The decoder would read a base64 character or "-" as part of the run.
                if (IsBase64(u) || u == '-')
                    result += '-';
            }
            result += static_cast<char>(u);
            continue;
        }
        if (u == '+' && !shifted) {
            result += "+-";
            continue;
        }
        if (!shifted) {
            result += '+';
            shifted = true;
        }
        bits = (bits << 16) | u;
        bitCount += 16;
        while (bitCount >= 6) {
            bitCount -= 6;
            result += kBase64[(bits >> bitCount) & 0x3F];
        }
        bits &= (1u << bitCount) - 1;
    }
    if (shifted)
        closeRun();
    return result;
}

bool Utf7ToUtf16(std::string_view text, std::wstring& result)
{
    result.clear();
    result.reserve(text.size());
    bool shifted = false;
    uint32_t bits = 0;
    int bitCount = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned c = static_cast<unsigned char>(text[i]);
        if (shifted) {
            int value = kUtf7.Base64Value[c];
            if (value >= 0) {
                bits = (bits << 6) | static_cast<uint32_t>(value);
                bitCount += 6;
                if (bitCount >= 16) {
                    bitCount -= 16;
                    result += static_cast<wchar_t>((bits >> bitCount) & 0xFFFF);
                    bits &= (1u << bitCount) - 1;
                }
                continue;
            }
            shifted = false;
            if (bits != 0)
                return false;
            bitCount = 0;
            if (c == '-')
                continue;
        }
        if (c > 127)
            return false;
        if (c == '+') {
            const unsigned next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
            if (next == '-') {
                result += L'+';
                ++i;
                continue;
            }
            // A run that codes nothing is ill-formed: the "+" would vanish without a trace.
            if (kUtf7.Base64Value[next] < 0)
                return false;
            shifted = true;
            bits = 0;
            bitCount = 0;
            continue;
        }
        result += static_cast<wchar_t>(c);
    }
    return !shifted || bits == 0;
}

TByteOrderKind DetectByteOrderMark(const unsigned char* bytes, size_t count, size_t& markLength)
{
    markLength = 0;
    if (count >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
        markLength = 2;
        return bokUtf16LE;
    }
    if (count >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF) {
        markLength = 2;
        return bokUtf16BE;
    }
    if (count >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
        markLength = 3;
        return bokUtf8;
    }
    return bokAnsi;
}

void SwapUtf16Bytes(wchar_t* units, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        auto u = static_cast<uint16_t>(units[i]);
        units[i] = static_cast<wchar_t>(static_cast<uint16_t>((u << 8) | (u >> 8)));
    }
}
