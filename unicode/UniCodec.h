// Text codecs between UTF-16 and UTF-8 or UTF-7, and the byte-order marks of text files: plain
// functions without the Windows headers, so that they can be tested and measured on their own.
// Wide text is UTF-16 in wchar_t units; unpaired surrogates are text like any other unit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// What stands for text that cannot be encoded or decoded.
constexpr wchar_t ReplacementChar = 0xFFFD;

// UTF-16 to UTF-8. An unpaired surrogate becomes U+FFFD (EF BF BD): UTF-8 cannot carry it.
std::string Utf16ToUtf8(std::wstring_view text);
// The bytes of the UTF-8 form, and the form written into a buffer of at least that many bytes
// (answering the bytes written).
size_t Utf8Length(std::wstring_view text);
size_t Utf16ToUtf8(std::wstring_view text, char* buffer);
// UTF-8 to UTF-16. Each maximal part of an ill-formed sequence (a stray or missing continuation
// byte, an over-long form, an encoded surrogate, a value above U+10FFFF, a truncated end)
// becomes one U+FFFD, and decoding goes on with the next byte.
std::wstring Utf8ToUtf16(std::string_view text);
// The same into a buffer of at least text.size() units, answering the units written.
size_t Utf8ToUtf16(std::string_view text, wchar_t* buffer);

// UTF-16 to UTF-7 (RFC 2152). The letters, digits, '(),-./:? and white space are written
// directly, and with directOptional also the optional direct characters (Set O); everything else
// goes into shifted runs. "+" outside a run is "+-"; a run ends with "-" only when a base64
// character or "-" follows it.
std::string Utf16ToUtf7(std::wstring_view text, bool directOptional = true);
// UTF-7 to UTF-16. False, with the text decoded so far in result, for a byte above 127 outside a
// shifted run, a "+" followed by neither a base64 character nor "-" (the end included), or a run
// that ends with bits left over that are not zero.
bool Utf7ToUtf16(std::string_view text, std::wstring& result);

// How a text file's bytes are encoded, as its byte-order mark tells.
enum TByteOrderKind : uint8_t { bokAnsi = 0, bokUtf16LE = 1, bokUtf16BE = 2, bokUtf8 = 3 };

// The mark at the start of the bytes (FF FE, FE FF, EF BB BF) and its length; bokAnsi and 0 when
// there is none.
TByteOrderKind DetectByteOrderMark(const unsigned char* bytes, size_t count, size_t& markLength);

// Swaps the two bytes of each of count units in place (big-endian and little-endian UTF-16).
void SwapUtf16Bytes(wchar_t* units, size_t count);
