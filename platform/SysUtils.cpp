#include "platform/SysUtils.h"

#include <winnetwk.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/Exceptions.h"

// ---- Formatting and number conversion ----

std::string FormatV(const char* fmt, va_list args)
{
    char small[256];
    va_list copy;
    va_copy(copy, args);
    int len = vsnprintf(small, sizeof(small), fmt, copy);
    va_end(copy);
    if (len < 0)
        throw EConvertError(std::string("Format '") + fmt + "' invalid or incompatible with argument");
    if (static_cast<size_t>(len) < sizeof(small))
        return std::string(small, len);
    std::string result(len, '\0');
    vsnprintf(result.data(), len + 1, fmt, args);
    return result;
}

std::string Format(const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    try {
        std::string result = FormatV(fmt, args);
        va_end(args);
        return result;
    } catch (...) {
        va_end(args);
        throw;
    }
}

namespace {
std::string ScientificFloat(double value, int precision);
std::string GeneralFloat(double value, int precision);
std::string HexDigits(uint64_t value, int digits);
std::string WithThousands(const std::string& fixed);

// Walks a checked format string, taking values in order or by index.
class TFormatter {
public:
    TFormatter(const std::string& fmt, const std::vector<TFormatArg>& args) : FFmt(fmt), FArgs(args) {}

    std::string Run()
    {
        std::string out;
        while (FPos < FFmt.size()) {
            char c = FFmt[FPos++];
            if (c != '%') {
                out += c;
                continue;
            }
            if (Peek() == '%') {
                ++FPos;
                out += '%';
                continue;
            }
            out += Placeholder();
        }
        return out;
    }

private:
    static constexpr int kMaxWidth = 4096;

    [[noreturn]] void Invalid() const
    {
        throw EConvertError("Format '" + FFmt + "' invalid or incompatible with argument");
    }

    char Peek() const { return FPos < FFmt.size() ? FFmt[FPos] : '\0'; }

    const TFormatArg& Next()
    {
        if (FArgIndex >= FArgs.size())
            throw EConvertError("No argument for format '" + FFmt + "'");
        return FArgs[FArgIndex++];
    }

    // A decimal number or "*"; false when neither is there.
    bool ReadNumber(int& value)
    {
        if (Peek() == '*') {
            ++FPos;
            const TFormatArg& arg = Next();
            if (arg.GetKind() != TFormatArg::TKind::Integer)
                Invalid();
            value = static_cast<int>(std::clamp<int64_t>(arg.GetInteger(), -1, kMaxWidth + 1));
            return true;
        }
        if (Peek() < '0' || Peek() > '9')
            return false;
        value = 0;
        while (Peek() >= '0' && Peek() <= '9') {
            value = value * 10 + (FFmt[FPos++] - '0');
            if (value > kMaxWidth)
                Invalid();
        }
        return true;
    }

    std::string Placeholder()
    {
        int number = 0;
        bool hasNumber = ReadNumber(number);
        if (hasNumber && Peek() == ':') {
            ++FPos;
            FArgIndex = static_cast<size_t>(std::max(number, 0));
            hasNumber = false;
        }
        bool left = false;
        if (!hasNumber && Peek() == '-') {
            ++FPos;
            left = true;
        }
        if (!hasNumber)
            hasNumber = ReadNumber(number);
        int width = hasNumber ? number : -1;
        int precision = -1;
        if (Peek() == '.') {
            ++FPos;
            if (!ReadNumber(precision))
                Invalid();
        }
        if (width > kMaxWidth || precision > kMaxWidth)
            Invalid();
        if (FPos >= FFmt.size())
            Invalid();
        char type = static_cast<char>(std::toupper(static_cast<unsigned char>(FFmt[FPos++])));
        std::string text = Convert(type, precision, Next());
        if (width > static_cast<int>(text.size()))
            text = left ? text + std::string(width - text.size(), ' ') : std::string(width - text.size(), ' ') + text;
        return text;
    }

    std::string Convert(char type, int precision, const TFormatArg& arg) const
    {
        using K = TFormatArg::TKind;
        const bool integer = arg.GetKind() == K::Integer;
        const bool number = integer || arg.GetKind() == K::Float;
        const double real = integer ? static_cast<double>(arg.GetInteger()) : arg.GetFloat();
        switch (type) {
        case 'D':
        case 'U': {
            if (!integer)
                Invalid();
            int64_t v = arg.GetInteger();
            bool negative = false;
            uint64_t magnitude;
            if (type == 'U')
                magnitude = (v < 0 && v >= INT32_MIN) ? static_cast<uint32_t>(v) : static_cast<uint64_t>(v);
            else {
                negative = v < 0;
                magnitude = negative ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
            }
            std::string digits = std::to_string(magnitude);
            if (precision > static_cast<int>(digits.size()))
                digits.insert(0, precision - digits.size(), '0');
            return negative ? "-" + digits : digits;
        }
        case 'X': {
            if (!integer)
                Invalid();
            int64_t v = arg.GetInteger();
            uint64_t bits = (v < 0 && v >= INT32_MIN) ? static_cast<uint32_t>(v) : static_cast<uint64_t>(v);
            return HexDigits(bits, precision);
        }
        case 'F':
        case 'N': {
            if (!number)
                Invalid();
            std::string fixed = FloatToStrFixed(real, precision < 0 ? 2 : std::min(precision, 18));
            return type == 'N' ? WithThousands(fixed) : fixed;
        }
        case 'G':
            if (!number)
                Invalid();
            return GeneralFloat(real, precision < 1 ? 15 : std::min(precision, 17));
        case 'E':
            if (!number)
                Invalid();
            return ScientificFloat(real, precision < 1 ? 15 : std::min(precision, 17));
        case 'S':
            if (arg.GetKind() != K::String)
                Invalid();
            return precision >= 0 ? arg.GetString().substr(0, precision) : arg.GetString();
        case 'P':
            if (arg.GetKind() != K::Pointer)
                Invalid();
            return HexDigits(static_cast<uint64_t>(arg.GetInteger()), 8);
        default:
            Invalid();
        }
    }

    const std::string& FFmt;
    const std::vector<TFormatArg>& FArgs;
    size_t FPos = 0;
    size_t FArgIndex = 0;
};
}

std::string Format(const std::string& fmt, const std::vector<TFormatArg>& args)
{
    return TFormatter(fmt, args).Run();
}

namespace {
std::string HexDigits(uint64_t value, int digits)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string result;
    do {
        result.insert(result.begin(), hex[value & 15]);
        value >>= 4;
    } while (value != 0);
    if (static_cast<int>(result.size()) < digits)
        result.insert(0, digits - result.size(), '0');
    return result;
}

// Parses an integer the way the conversion routines accept it. Decimal values must lie in
// [-(maxPositive + 1), maxPositive]; hexadecimal ones may use every bit up to hexMask and are
// taken as two's complement of that width.
bool ParseInteger(const std::string& text, uint64_t maxPositive, uint64_t hexMask, int64_t& value)
{
    size_t i = 0;
    const size_t n = text.size();
    while (i < n && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    bool hex = false;
    if (i < n && text[i] == '$') {
        hex = true;
        ++i;
    } else if (i + 1 < n && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }
    if (i == n)
        return false;
    uint64_t magnitude = 0;
    for (; i < n; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        unsigned digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (hex && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (hex && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return false;
        magnitude = magnitude * (hex ? 16 : 10) + digit;
        if (hex ? magnitude > hexMask : magnitude > maxPositive + 1)
            return false;
    }
    if (hex) {
        // Sign-extend from the width of the mask.
        uint64_t signBit = (hexMask >> 1) + 1;
        int64_t v = (magnitude & signBit) ? static_cast<int64_t>(magnitude | ~hexMask) : static_cast<int64_t>(magnitude);
        value = negative ? -v : v;
        return true;
    }
    if (!negative && magnitude > maxPositive)
        return false;
    value = negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
    return true;
}
}

std::string UIntToHex(uint64_t bits, int digits)
{
    return HexDigits(bits, digits);
}

bool TryStrToInt(const std::string& text, int& value)
{
    int64_t v = 0;
    if (!ParseInteger(text, 0x7FFFFFFFu, 0xFFFFFFFFu, v))
        return false;
    value = static_cast<int>(v);
    return true;
}

int StrToInt(const std::string& text)
{
    int value = 0;
    if (!TryStrToInt(text, value))
        throw EConvertError("'" + text + "' is not a valid integer value");
    return value;
}

int StrToIntDef(const std::string& text, int defaultValue)
{
    int value = 0;
    return TryStrToInt(text, value) ? value : defaultValue;
}

namespace {
// Non-finite values have no digits to show.
std::string NonFiniteText(double value)
{
    if (std::isnan(value))
        return "NAN";
    return value < 0 ? "-INF" : "INF";
}
}

namespace {
// General form with the given number of significant digits and a bare exponent ("1.5E-7").
std::string GeneralFloat(double value, int precision)
{
    if (!std::isfinite(value))
        return NonFiniteText(value);
    char buf[64];
    snprintf(buf, sizeof(buf), "%.*g", precision, value);
    std::string text(buf);
    size_t e = text.find('e');
    if (e == std::string::npos)
        return text;
    // "1.5e+020" style exponents become "1.5E20".
    std::string mantissa = text.substr(0, e);
    size_t i = e + 1;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    while (i + 1 < text.size() && text[i] == '0')
        ++i;
    return mantissa + "E" + (negative ? "-" : "") + text.substr(i);
}

// Scientific form with the given number of significant digits and a signed exponent of at
// least three digits ("1.50000000000000E+000").
std::string ScientificFloat(double value, int precision)
{
    if (!std::isfinite(value))
        return NonFiniteText(value);
    char buf[64];
    snprintf(buf, sizeof(buf), "%.*E", precision - 1, value);
    std::string text(buf);
    size_t e = text.find('E');
    std::string exponent = text.substr(e + 2);
    if (exponent.size() < 3)
        exponent.insert(0, 3 - exponent.size(), '0');
    return text.substr(0, e + 2) + exponent;
}

// Inserts ',' between groups of three integer digits of a fixed-notation number.
std::string WithThousands(const std::string& fixed)
{
    size_t start = (!fixed.empty() && fixed[0] == '-') ? 1 : 0;
    size_t end = fixed.find('.');
    if (end == std::string::npos)
        end = fixed.size();
    std::string result = fixed.substr(0, start);
    for (size_t i = start; i < end; ++i) {
        if (i > start && (end - i) % 3 == 0)
            result += ',';
        result += fixed[i];
    }
    return result + fixed.substr(end);
}
}

std::string FloatToStr(double value)
{
    return GeneralFloat(value, 15);
}

std::string FloatToStrFixed(double value, int decimals)
{
    if (!std::isfinite(value))
        return NonFiniteText(value);
    if (decimals < 0)
        decimals = 0;
    // The 15 significant digits of the value: value = 0.D * 10^point.
    char buf[64];
    snprintf(buf, sizeof(buf), "%.14e", std::fabs(value));
    std::string digits;
    digits += buf[0];
    digits.append(buf + 2, 14);
    int point = std::atoi(std::strchr(buf, 'e') + 1) + 1;
    if (std::fabs(value) == 0)
        point = 1;

    // Round half away from zero at the last decimal kept.
    int keep = point + decimals;
    if (keep < 0) {
        digits.clear();
    } else if (keep < static_cast<int>(digits.size())) {
        bool up = digits[keep] >= '5';
        digits.resize(keep);
        for (int i = keep - 1; up && i >= 0; --i) {
            if (digits[i] == '9') {
                digits[i] = '0';
            } else {
                ++digits[i];
                up = false;
            }
        }
        if (up) {
            digits.insert(digits.begin(), '1');
            ++point;
        }
    }
    bool nonZero = digits.find_first_not_of('0') != std::string::npos;

    std::string intPart;
    std::string fracPart;
    for (int pos = std::min(point, 0); pos < point + decimals; ++pos) {
        // Digit at decimal position `pos` (0 = first digit of the digit string).
        char d = (pos >= 0 && pos < static_cast<int>(digits.size())) ? digits[pos] : '0';
        if (pos < point) {
            if (pos >= 0)
                intPart += d;
        } else {
            fracPart += d;
        }
    }
    size_t significant = std::min(intPart.find_first_not_of('0'), intPart.size());
    std::string result = (value < 0 && nonZero) ? "-" : "";
    if (significant == intPart.size())
        result.push_back('0');
    else
        result.append(intPart, significant, std::string::npos);
    if (decimals > 0)
        result += "." + fracPart;
    return result;
}

bool TryStrToFloat(const std::string& text, double& value)
{
    size_t first = 0;
    size_t last = text.size();
    while (first < last && static_cast<unsigned char>(text[first]) <= ' ')
        ++first;
    while (last > first && static_cast<unsigned char>(text[last - 1]) <= ' ')
        --last;
    std::string s = text.substr(first, last - first);
    bool negative = false;
    if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
        negative = s[0] == '-';
        s.erase(0, 1);
    }
    // Only plain decimal notation: no hexadecimal floats, INF or NAN.
    size_t i = 0;
    size_t mantissaDigits = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9')
        ++i, ++mantissaDigits;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9')
            ++i, ++mantissaDigits;
    }
    if (mantissaDigits == 0)
        return false;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-'))
            ++i;
        size_t expDigits = 0;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9')
            ++i, ++expDigits;
        if (expDigits == 0)
            return false;
    }
    if (i != s.size())
        return false;
    double v = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size())
        return false;
    value = negative ? -v : v;
    return true;
}

double StrToFloat(const std::string& text)
{
    double value = 0;
    if (!TryStrToFloat(text, value))
        throw EConvertError("'" + text + "' is not a valid floating point value");
    return value;
}

double StrToFloatDef(const std::string& text, double defaultValue)
{
    double value = 0;
    return TryStrToFloat(text, value) ? value : defaultValue;
}

// ---- Case and comparison ----

std::string UpperCase(const std::string& s)
{
    std::string result = s;
    for (char& c : result)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return result;
}

std::string LowerCase(const std::string& s)
{
    std::string result = s;
    for (char& c : result)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return result;
}

std::string AnsiUpperCase(const std::string& s)
{
    std::string result = s;
    if (!result.empty())
        CharUpperBuffA(result.data(), static_cast<DWORD>(result.size()));
    return result;
}

std::string AnsiLowerCase(const std::string& s)
{
    std::string result = s;
    if (!result.empty())
        CharLowerBuffA(result.data(), static_cast<DWORD>(result.size()));
    return result;
}

int CompareText(const std::string& a, const std::string& b)
{
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        unsigned char ca = static_cast<unsigned char>(a[i]);
        unsigned char cb = static_cast<unsigned char>(b[i]);
        if (ca >= 'a' && ca <= 'z')
            ca = ca - 'a' + 'A';
        if (cb >= 'a' && cb <= 'z')
            cb = cb - 'a' + 'A';
        if (ca != cb)
            return ca - cb;
    }
    return static_cast<int>(a.size()) - static_cast<int>(b.size());
}

bool SameText(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && CompareText(a, b) == 0;
}

int CompareStr(const std::string& a, const std::string& b)
{
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        unsigned char ca = static_cast<unsigned char>(a[i]);
        unsigned char cb = static_cast<unsigned char>(b[i]);
        if (ca != cb)
            return ca - cb;
    }
    return static_cast<int>(a.size()) - static_cast<int>(b.size());
}

namespace {
int LocaleCompare(DWORD flags, const std::string& a, const std::string& b)
{
    int r = CompareStringA(LOCALE_USER_DEFAULT, flags, a.data(), static_cast<int>(a.size()), b.data(),
                           static_cast<int>(b.size()));
    if (r == 0)
        RaiseLastOSError("CompareString");
    return r - CSTR_EQUAL;
}
}

int AnsiCompareStr(const std::string& a, const std::string& b)
{
    return LocaleCompare(0, a, b);
}

int AnsiCompareText(const std::string& a, const std::string& b)
{
    return LocaleCompare(NORM_IGNORECASE, a, b);
}

bool AnsiSameStr(const std::string& a, const std::string& b)
{
    return AnsiCompareStr(a, b) == 0;
}

bool AnsiSameText(const std::string& a, const std::string& b)
{
    return AnsiCompareText(a, b) == 0;
}

std::wstring WideUpperCase(const std::wstring& s)
{
    std::wstring result = s;
    if (!result.empty())
        CharUpperBuffW(result.data(), static_cast<DWORD>(result.size()));
    return result;
}

std::wstring WideLowerCase(const std::wstring& s)
{
    std::wstring result = s;
    if (!result.empty())
        CharLowerBuffW(result.data(), static_cast<DWORD>(result.size()));
    return result;
}

namespace {
int WideLocaleCompare(DWORD flags, const std::wstring& a, const std::wstring& b)
{
    int r = CompareStringW(LOCALE_USER_DEFAULT, flags, a.data(), static_cast<int>(a.size()), b.data(),
                           static_cast<int>(b.size()));
    if (r == 0)
        RaiseLastOSError("CompareString");
    return r - CSTR_EQUAL;
}
}

int WideCompareStr(const std::wstring& a, const std::wstring& b)
{
    return WideLocaleCompare(0, a, b);
}

int WideCompareText(const std::wstring& a, const std::wstring& b)
{
    return WideLocaleCompare(NORM_IGNORECASE, a, b);
}

bool WideSameText(const std::wstring& a, const std::wstring& b)
{
    return WideCompareText(a, b) == 0;
}

// ---- Trimming and replacing ----

namespace {
bool IsBlank(char c)
{
    return static_cast<unsigned char>(c) <= ' ';
}
}

std::string Trim(const std::string& s)
{
    size_t first = 0;
    size_t last = s.size();
    while (first < last && IsBlank(s[first]))
        ++first;
    while (last > first && IsBlank(s[last - 1]))
        --last;
    return s.substr(first, last - first);
}

std::string TrimLeft(const std::string& s)
{
    size_t first = 0;
    while (first < s.size() && IsBlank(s[first]))
        ++first;
    return s.substr(first);
}

std::string TrimRight(const std::string& s)
{
    size_t last = s.size();
    while (last > 0 && IsBlank(s[last - 1]))
        --last;
    return s.substr(0, last);
}

std::string StringReplace(const std::string& s, const std::string& oldPattern, const std::string& newPattern,
                          TReplaceFlags flags)
{
    if (oldPattern.empty())
        return s;
    const bool ignoreCase = (flags & rfIgnoreCase) != 0;
    const std::string haystack = ignoreCase ? AnsiUpperCase(s) : s;
    const std::string needle = ignoreCase ? AnsiUpperCase(oldPattern) : oldPattern;
    std::string result;
    size_t from = 0;
    while (from <= s.size()) {
        size_t found = haystack.find(needle, from);
        if (found == std::string::npos)
            break;
        result.append(s, from, found - from);
        result += newPattern;
        from = found + oldPattern.size();
        if (!(flags & rfReplaceAll))
            break;
    }
    result.append(s, from, std::string::npos);
    return result;
}

// ---- File names ----

namespace {
const char kPathDelimiters[] = "\\/:";

bool IsLeadByte(char c)
{
    return IsDBCSLeadByte(static_cast<BYTE>(c)) != FALSE;
}

// Whether the byte at `index` is the second byte of a double-byte character.
bool IsTrailByte(const std::string& s, size_t index)
{
    size_t i = 0;
    while (i < index)
        i += (IsLeadByte(s[i]) && i + 1 < s.size()) ? 2 : 1;
    return i > index;
}

bool IsPathDelimiterAt(const std::string& s, size_t index)
{
    return index < s.size() && (s[index] == '\\' || s[index] == '/') && !IsTrailByte(s, index);
}
}

size_t LastDelimiter(const std::string& delimiters, const std::string& s)
{
    size_t last = std::string::npos;
    for (size_t i = 0; i < s.size(); ++i) {
        if (IsLeadByte(s[i]) && i + 1 < s.size()) {
            ++i;
            continue;
        }
        if (delimiters.find(s[i]) != std::string::npos)
            last = i;
    }
    return last;
}

std::string ExtractFilePath(const std::string& fileName)
{
    size_t i = LastDelimiter(kPathDelimiters, fileName);
    return i == std::string::npos ? std::string() : fileName.substr(0, i + 1);
}

std::string ExtractFileDir(const std::string& fileName)
{
    size_t i = LastDelimiter(kPathDelimiters, fileName);
    if (i == std::string::npos)
        return std::string();
    // Keep the delimiter of a root ("C:\", "\") and of a run of delimiters ("\\server").
    bool previousIsDelimiter = i > 0 && std::strchr(kPathDelimiters, fileName[i - 1]) && !IsTrailByte(fileName, i - 1);
    if (i > 0 && fileName[i] != ':' && !previousIsDelimiter)
        --i;
    return fileName.substr(0, i + 1);
}

std::string ExtractFileName(const std::string& fileName)
{
    size_t i = LastDelimiter(kPathDelimiters, fileName);
    return i == std::string::npos ? fileName : fileName.substr(i + 1);
}

std::string ExtractFileExt(const std::string& fileName)
{
    size_t i = LastDelimiter(std::string(".") + kPathDelimiters, fileName);
    if (i == std::string::npos || fileName[i] != '.')
        return std::string();
    return fileName.substr(i);
}

std::string ChangeFileExt(const std::string& fileName, const std::string& extension)
{
    size_t i = LastDelimiter(std::string(".") + kPathDelimiters, fileName);
    if (i == std::string::npos || fileName[i] != '.')
        return fileName + extension;
    return fileName.substr(0, i) + extension;
}

std::string ExpandFileName(const std::string& fileName)
{
    if (fileName.empty())
        return std::string();
    DWORD size = GetFullPathNameA(fileName.c_str(), 0, nullptr, nullptr);
    if (size == 0)
        return fileName;
    std::string result(size, '\0');
    DWORD len = GetFullPathNameA(fileName.c_str(), size, result.data(), nullptr);
    if (len == 0 || len >= size)
        return fileName;
    result.resize(len);
    return result;
}

std::string ExpandUNCFileName(const std::string& fileName)
{
    std::string full = ExpandFileName(fileName);
    if (full.size() < 2 || full[1] != ':')
        return full;
    DWORD size = 1024;
    std::vector<char> buffer(size);
    DWORD r = WNetGetUniversalNameA(full.c_str(), UNIVERSAL_NAME_INFO_LEVEL, buffer.data(), &size);
    if (r == ERROR_MORE_DATA) {
        buffer.resize(size);
        r = WNetGetUniversalNameA(full.c_str(), UNIVERSAL_NAME_INFO_LEVEL, buffer.data(), &size);
    }
    if (r != NO_ERROR)
        return full;
    const auto* info = reinterpret_cast<const UNIVERSAL_NAME_INFOA*>(buffer.data());
    return info->lpUniversalName ? std::string(info->lpUniversalName) : full;
}

std::string IncludeTrailingPathDelimiter(const std::string& s)
{
    if (!s.empty() && IsPathDelimiterAt(s, s.size() - 1))
        return s;
    return s + "\\";
}

std::string ExcludeTrailingPathDelimiter(const std::string& s)
{
    if (!s.empty() && IsPathDelimiterAt(s, s.size() - 1))
        return s.substr(0, s.size() - 1);
    return s;
}

// ---- File system ----

bool FileExists(const std::string& fileName)
{
    DWORD attr = GetFileAttributesA(fileName.c_str());
    return attr != INVALID_FILE_ATTRIBUTES && !(attr & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::string& dirName)
{
    DWORD attr = GetFileAttributesA(dirName.c_str());
    return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY);
}

bool DeleteFile(const std::string& fileName)
{
    return DeleteFileA(fileName.c_str()) != FALSE;
}

bool RenameFile(const std::string& oldName, const std::string& newName)
{
    return MoveFileA(oldName.c_str(), newName.c_str()) != FALSE;
}

std::string GetCurrentDir()
{
    DWORD size = GetCurrentDirectoryA(0, nullptr);
    if (size == 0)
        RaiseLastOSError("GetCurrentDirectory");
    std::string result(size, '\0');
    DWORD len = GetCurrentDirectoryA(size, result.data());
    result.resize(len < size ? len : 0);
    return result;
}

namespace {
struct FindCloser {
    void operator()(HANDLE h) const { FindClose(h); }
};
using FindHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, FindCloser>;
}

std::vector<TSearchRec> FindFiles(const std::string& pattern)
{
    std::vector<TSearchRec> result;
    WIN32_FIND_DATAA data;
    HANDLE raw = FindFirstFileA(pattern.c_str(), &data);
    if (raw == INVALID_HANDLE_VALUE)
        return result;
    FindHandle handle(raw);
    do {
        if (std::strcmp(data.cFileName, ".") == 0 || std::strcmp(data.cFileName, "..") == 0)
            continue;
        TSearchRec rec;
        rec.Name = data.cFileName;
        rec.Attr = data.dwFileAttributes;
        rec.Size = (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        rec.Time = data.ftLastWriteTime;
        result.push_back(std::move(rec));
    } while (FindNextFileA(handle.get(), &data));
    return result;
}

// ---- Process ----

std::string GetModuleFileNameStr(HMODULE module)
{
    std::string buffer(MAX_PATH, '\0');
    for (;;) {
        DWORD len = GetModuleFileNameA(module, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (len == 0)
            return std::string();
        if (len < buffer.size()) {
            buffer.resize(len);
            return buffer;
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::vector<std::string> ParseCommandLine(const char* commandLine)
{
    std::vector<std::string> args;
    if (!commandLine)
        return args;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(commandLine);
    for (;;) {
        while (*p != 0 && *p <= ' ')
            ++p;
        if (*p == 0)
            break;
        std::string arg;
        while (*p > ' ') {
            if (*p != '"') {
                arg += static_cast<char>(*p++);
                continue;
            }
            ++p;
            while (*p != 0 && *p != '"')
                arg += static_cast<char>(*p++);
            if (*p != 0)
                ++p;
        }
        args.push_back(std::move(arg));
    }
    return args;
}

int ParamCount()
{
    std::vector<std::string> args = ParseCommandLine(GetCommandLineA());
    return args.empty() ? 0 : static_cast<int>(args.size()) - 1;
}

std::string ParamStr(int index)
{
    if (index == 0)
        return GetModuleFileNameStr();
    std::vector<std::string> args = ParseCommandLine(GetCommandLineA());
    if (index < 0 || index >= static_cast<int>(args.size()))
        return std::string();
    return args[index];
}

// ---- Wide text ----

std::string WideToAnsi(const std::wstring& s, UINT codePage)
{
    if (s.empty())
        return std::string();
    int len = WideCharToMultiByte(codePage, 0, s.data(), static_cast<int>(s.size()), nullptr, 0, nullptr, nullptr);
    if (len <= 0)
        RaiseLastOSError("WideCharToMultiByte");
    std::string result(len, '\0');
    WideCharToMultiByte(codePage, 0, s.data(), static_cast<int>(s.size()), result.data(), len, nullptr, nullptr);
    return result;
}

std::wstring AnsiToWide(const std::string& s, UINT codePage)
{
    if (s.empty())
        return std::wstring();
    int len = MultiByteToWideChar(codePage, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    if (len <= 0)
        RaiseLastOSError("MultiByteToWideChar");
    std::wstring result(len, L'\0');
    MultiByteToWideChar(codePage, 0, s.data(), static_cast<int>(s.size()), result.data(), len);
    return result;
}
