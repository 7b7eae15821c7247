#include "unicode/UniCodec.h"

#include <emmintrin.h>

#include <cstddef>
#include <cstring>

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

// Eight units classified at once for encoding into UTF-8: each lane of a mask is 0xFFFF where it
// holds. A high surrogate followed by a low one (the unit after the eight included) is a pair,
// whose low half is consumed by it; any other surrogate is unpaired and becomes U+FFFD.
struct TUnitBlock {
    __m128i Units, Ascii, Below800, Unpaired, PairHigh, ConsumedLow;
    bool AnyFrom800;          // a unit of three bytes or a surrogate among the eight
    bool LastIsPairHigh;      // the eighth unit pairs with the unit after the block
};

inline __m128i Equal16(__m128i v, int mask, int value)
{
    return _mm_cmpeq_epi16(_mm_and_si128(v, _mm_set1_epi16(static_cast<short>(mask))), _mm_set1_epi16(static_cast<short>(value)));
}

// Reads p[0] .. p[8].
inline TUnitBlock ClassifyUnits(const wchar_t* p)
{
    TUnitBlock b;
    b.Units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 1));
    b.Ascii = Equal16(b.Units, 0xFF80, 0);
    b.Below800 = Equal16(b.Units, 0xF800, 0);
    b.AnyFrom800 = _mm_movemask_epi8(b.Below800) != 0xFFFF;
    if (!b.AnyFrom800) {
        b.Unpaired = b.PairHigh = b.ConsumedLow = _mm_setzero_si128();
        b.LastIsPairHigh = false;
        return b;
    }
    const __m128i surrogate = Equal16(b.Units, 0xF800, 0xD800);
    const __m128i high = Equal16(b.Units, 0xFC00, 0xD800);
    const __m128i low = Equal16(b.Units, 0xFC00, 0xDC00);
    b.PairHigh = _mm_and_si128(high, Equal16(next, 0xFC00, 0xDC00));
    // The block never starts with the low half of a pair: a pair across blocks is taken whole.
    b.ConsumedLow = _mm_and_si128(low, _mm_slli_si128(high, 2));
    b.Unpaired = _mm_andnot_si128(_mm_or_si128(b.PairHigh, b.ConsumedLow), surrogate);
    b.LastIsPairHigh = (_mm_movemask_epi8(b.PairHigh) & 0x8000) != 0;
    return b;
}

inline int LaneCount(__m128i mask)
{
    return __builtin_popcount(static_cast<unsigned>(_mm_movemask_epi8(mask))) / 2;
}

// The UTF-8 bytes of the block's units; p moves past them (and past the low half of a pair that
// the eighth unit opens). Each unit's bytes are stored whole (two or four at a time, the rest
// overwritten by the next unit's), so at least four bytes of room must follow the block's own.
inline void EncodeUnits(const wchar_t*& p, unsigned char*& d)
{
    const TUnitBlock b = ClassifyUnits(p);
    const __m128i u = b.Units;
    const __m128i x3F = _mm_set1_epi16(0x3F), x80 = _mm_set1_epi16(0x80);
    // Lead and first continuation byte of the two-byte form, in the low and high byte of each lane.
    const __m128i two = _mm_or_si128(_mm_or_si128(_mm_srli_epi16(u, 6), _mm_set1_epi16(0xC0)),
                                     _mm_slli_epi16(_mm_or_si128(_mm_and_si128(u, x3F), x80), 8));
    alignas(16) uint16_t lengths[8];
    if (!b.AnyFrom800) {
        alignas(16) uint16_t words[8];
        _mm_store_si128(reinterpret_cast<__m128i*>(words), _mm_or_si128(_mm_and_si128(b.Ascii, u), _mm_andnot_si128(b.Ascii, two)));
        _mm_store_si128(reinterpret_cast<__m128i*>(lengths), _mm_sub_epi16(_mm_set1_epi16(2), _mm_and_si128(b.Ascii, _mm_set1_epi16(1))));
        for (int i = 0; i < 8; ++i) {
            std::memcpy(d, &words[i], 2);
            d += lengths[i];
        }
        p += 8;
        return;
    }
    // The three-byte form: bytes 0 and 1 in the low half, byte 2 in the high half.
    const __m128i threeLow = _mm_or_si128(_mm_or_si128(_mm_srli_epi16(u, 12), _mm_set1_epi16(0xE0)),
                                          _mm_slli_epi16(_mm_or_si128(_mm_and_si128(_mm_srli_epi16(u, 6), x3F), x80), 8));
    const __m128i threeHigh = _mm_or_si128(_mm_and_si128(u, x3F), x80);
    // The four-byte form of a pair: with h the high half's ten bits + 0x40 and l the low half's,
    // the bytes are F0 | h >> 8, 80 | (h >> 2 & 3F), 80 | (h & 3) << 4 | l >> 6, 80 | (l & 3F).
    const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 1));
    const __m128i h = _mm_add_epi16(_mm_and_si128(u, _mm_set1_epi16(0x3FF)), _mm_set1_epi16(0x40));
    const __m128i l = _mm_and_si128(next, _mm_set1_epi16(0x3FF));
    const __m128i fourLow = _mm_or_si128(_mm_or_si128(_mm_srli_epi16(h, 8), _mm_set1_epi16(0xF0)),
                                         _mm_slli_epi16(_mm_or_si128(_mm_and_si128(_mm_srli_epi16(h, 2), x3F), x80), 8));
    const __m128i fourHigh = _mm_or_si128(
        _mm_or_si128(_mm_or_si128(_mm_slli_epi16(_mm_and_si128(h, _mm_set1_epi16(3)), 4), _mm_srli_epi16(l, 6)), x80),
        _mm_slli_epi16(_mm_or_si128(_mm_and_si128(l, x3F), x80), 8));
    const __m128i twoOnly = _mm_andnot_si128(b.Ascii, b.Below800);
    const __m128i threeOnly = _mm_andnot_si128(_mm_or_si128(b.Below800, _mm_or_si128(b.Unpaired, _mm_or_si128(b.PairHigh, b.ConsumedLow))),
                                               _mm_set1_epi16(-1));
    auto pick = [](__m128i mask, __m128i value) { return _mm_and_si128(mask, value); };
    const __m128i low = _mm_or_si128(
        _mm_or_si128(_mm_or_si128(pick(b.Ascii, u), pick(twoOnly, two)), pick(threeOnly, threeLow)),
        _mm_or_si128(pick(b.Unpaired, _mm_set1_epi16(static_cast<short>(0xBFEF))), pick(b.PairHigh, fourLow)));
    const __m128i high = _mm_or_si128(_mm_or_si128(pick(threeOnly, threeHigh), pick(b.Unpaired, _mm_set1_epi16(0xBD))),
                                      pick(b.PairHigh, fourHigh));
    alignas(16) uint32_t words[8];
    _mm_store_si128(reinterpret_cast<__m128i*>(words), _mm_unpacklo_epi16(low, high));
    _mm_store_si128(reinterpret_cast<__m128i*>(words + 4), _mm_unpackhi_epi16(low, high));
    const __m128i length = _mm_or_si128(
        _mm_or_si128(pick(b.Ascii, _mm_set1_epi16(1)), pick(twoOnly, _mm_set1_epi16(2))),
        _mm_or_si128(pick(_mm_or_si128(threeOnly, b.Unpaired), _mm_set1_epi16(3)), pick(b.PairHigh, _mm_set1_epi16(4))));
    _mm_store_si128(reinterpret_cast<__m128i*>(lengths), length);
    for (int i = 0; i < 8; ++i) {
        std::memcpy(d, &words[i], 4);
        d += lengths[i];
    }
    p += b.LastIsPairHigh ? 9 : 8;
}

// The UTF-8 length of the block's units; p moves as EncodeUnits moves it.
inline size_t CountUnits(const wchar_t*& p)
{
    const TUnitBlock b = ClassifyUnits(p);
    p += b.LastIsPairHigh ? 9 : 8;
    // One byte each, one more from 0x80, one more from 0x800 (surrogates included), one more for
    // the high half of a pair, and a consumed low half gives back its three.
    return size_t(8 + (8 - LaneCount(b.Ascii)) + (8 - LaneCount(b.Below800)) + LaneCount(b.PairHigh) -
                  3 * LaneCount(b.ConsumedLow));
}

// Blocks are taken while this many units are left: the nine a block reads and enough after them
// that the bytes a block stores beyond its own are written again by what follows.
constexpr ptrdiff_t kBlockUnits = 24;

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
        // Sixteen ASCII units in one step, else eight units of any kind.
        __m128i lo, hi;
        while (end - p >= kBlockUnits) {
            if (AllAscii16(p, lo, hi)) {
                p += 16;
                length += 16;
            } else {
                length += CountUnits(p);
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
        // Sixteen ASCII units in one step, else eight units of any kind.
        __m128i lo, hi;
        while (end - p >= kBlockUnits) {
            if (AllAscii16(p, lo, hi)) {
                _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_packus_epi16(lo, hi));
                p += 16;
                d += 16;
            } else {
                EncodeUnits(p, d);
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
