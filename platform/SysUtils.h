// Run-time helpers: formatting and conversion, text case and comparison in the system code page,
// file-name handling, file-system queries, the command line and wide/8-bit text conversion.
#pragma once

#include <windows.h>

#include <cstdarg>
#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/Exceptions.h"

// windows.h maps DeleteFile to DeleteFileA; here it names the run-time helper.
#undef DeleteFile

// ---- Formatting and number conversion ----

// printf-style formatting into a string.
std::string Format(const char* fmt, ...) __attribute__((format(gnu_printf, 1, 2)));
std::string FormatV(const char* fmt, va_list args) __attribute__((format(gnu_printf, 1, 0)));

// One value for the checked Format below.
class TFormatArg {
public:
    enum class TKind { Integer, Float, String, Pointer };

    TFormatArg(int v) : FKind(TKind::Integer), FInteger(v) {}
    TFormatArg(unsigned v) : FKind(TKind::Integer), FInteger(v) {}
    TFormatArg(long v) : FKind(TKind::Integer), FInteger(v) {}
    TFormatArg(unsigned long v) : FKind(TKind::Integer), FInteger(static_cast<int64_t>(v)) {}
    TFormatArg(long long v) : FKind(TKind::Integer), FInteger(v) {}
    TFormatArg(unsigned long long v) : FKind(TKind::Integer), FInteger(static_cast<int64_t>(v)) {}
    TFormatArg(double v) : FKind(TKind::Float), FFloat(v) {}
    TFormatArg(const char* v) : FKind(TKind::String), FString(v ? v : "") {}
    TFormatArg(std::string v) : FKind(TKind::String), FString(std::move(v)) {}
    TFormatArg(const void* v) : FKind(TKind::Pointer), FInteger(reinterpret_cast<uintptr_t>(v)) {}

    TKind GetKind() const { return FKind; }
    int64_t GetInteger() const { return FInteger; }
    double GetFloat() const { return FFloat; }
    const std::string& GetString() const { return FString; }

private:
    TKind FKind;
    int64_t FInteger = 0;
    double FFloat = 0;
    std::string FString;
};

// Formatting for format strings that come from outside the program (language files): every
// placeholder is checked against its value. Placeholders are "%" [index ":"] ["-"] [width]
// ["." precision] type, where width and precision may be "*" (taken from the values) and type is
// d (integer; precision = least digits), u (unsigned), x (upper-case hex), f (fixed, 2 decimals
// by default), n (fixed with thousands separators), g (general, 15 digits), e (scientific),
// s (string; precision = most characters) or p (pointer); "%%" is one percent sign.
// A value of the wrong kind or a malformed placeholder raises EConvertError
// "Format '<fmt>' invalid or incompatible with argument"; a missing value raises EConvertError
// "No argument for format '<fmt>'".
std::string Format(const std::string& fmt, const std::vector<TFormatArg>& args);
inline std::string Format(const char* fmt, const std::vector<TFormatArg>& args)
{
    return Format(std::string(fmt), args);
}

template <class T>
    requires std::is_integral_v<T>
std::string IntToStr(T value)
{
    return std::to_string(value);
}
// Upper-case hexadecimal of the bits, at least `digits` wide.
std::string UIntToHex(uint64_t bits, int digits);
// Negative values show the two's complement in their own type's width (-1 as int: "FFFFFFFF").
template <class T>
    requires std::is_integral_v<T>
std::string IntToHex(T value, int digits)
{
    return UIntToHex(static_cast<std::make_unsigned_t<T>>(value), digits);
}

// Decimal, or hexadecimal with a "$" or "0x" prefix; leading blanks and a sign are accepted.
// Raises EConvertError "'<text>' is not a valid integer value" for anything else or out of range.
int StrToInt(const std::string& text);
int StrToIntDef(const std::string& text, int defaultValue);
bool TryStrToInt(const std::string& text, int& value);

// Shortest general form with 15 significant digits ("1.5", "0.0001", "1E20").
std::string FloatToStr(double value);
// Fixed notation with the given number of decimals, rounded half away from zero on the
// 15-digit decimal value (so 1.005 gives "1.01").
std::string FloatToStrFixed(double value, int decimals);
// Decimal separator '.', optional exponent, surrounding blanks allowed.
// Raises EConvertError "'<text>' is not a valid floating point value".
double StrToFloat(const std::string& text);
double StrToFloatDef(const std::string& text, double defaultValue);
bool TryStrToFloat(const std::string& text, double& value);

// ---- Case and comparison ----

// ASCII letters only.
std::string UpperCase(const std::string& s);
std::string LowerCase(const std::string& s);
// Every letter of the system code page.
std::string AnsiUpperCase(const std::string& s);
std::string AnsiLowerCase(const std::string& s);

// Ordinal comparison, ASCII letters folded: < 0, 0 or > 0.
int CompareText(const std::string& a, const std::string& b);
bool SameText(const std::string& a, const std::string& b);
// Ordinal, case-sensitive.
int CompareStr(const std::string& a, const std::string& b);
// Linguistic comparison under the user's locale: < 0, 0 or > 0.
int AnsiCompareStr(const std::string& a, const std::string& b);
int AnsiCompareText(const std::string& a, const std::string& b);
bool AnsiSameStr(const std::string& a, const std::string& b);
bool AnsiSameText(const std::string& a, const std::string& b);
// The same for wide text, which needs no code page: every script folds and sorts.
std::wstring WideUpperCase(const std::wstring& s);
std::wstring WideLowerCase(const std::wstring& s);
int WideCompareStr(const std::wstring& a, const std::wstring& b);
int WideCompareText(const std::wstring& a, const std::wstring& b);
bool WideSameText(const std::wstring& a, const std::wstring& b);

// ---- Trimming and replacing ----

// Remove characters <= ' '.
std::string Trim(const std::string& s);
std::string TrimLeft(const std::string& s);
std::string TrimRight(const std::string& s);

enum TReplaceFlag : unsigned { rfReplaceAll = 1, rfIgnoreCase = 2 };
using TReplaceFlags = unsigned;
std::string StringReplace(const std::string& s, const std::string& oldPattern, const std::string& newPattern,
                          TReplaceFlags flags);

// ---- File names ('\\', '/' and ':' delimit; double-byte trail bytes never do) ----

// Index of the last character of `s` that is one of `delimiters`, or npos.
size_t LastDelimiter(const std::string& delimiters, const std::string& s);
// Drive and folder with the trailing delimiter: "C:\\a\\b.txt" -> "C:\\a\\".
std::string ExtractFilePath(const std::string& fileName);
// Drive and folder without the trailing delimiter, except at a root: "C:\\a\\b" -> "C:\\a", "C:\\b" -> "C:\\".
std::string ExtractFileDir(const std::string& fileName);
std::string ExtractFileName(const std::string& fileName);
// The extension with its dot, or empty.
std::string ExtractFileExt(const std::string& fileName);
// Replaces (or appends) the extension; `extension` includes its dot or is empty.
std::string ChangeFileExt(const std::string& fileName, const std::string& extension);
// Full path through the system (relative to the current folder).
std::string ExpandFileName(const std::string& fileName);
// Full path with a mapped network drive replaced by its UNC name.
std::string ExpandUNCFileName(const std::string& fileName);
std::string IncludeTrailingPathDelimiter(const std::string& s);
std::string ExcludeTrailingPathDelimiter(const std::string& s);

// ---- File system ----

bool FileExists(const std::string& fileName);
bool DirectoryExists(const std::string& dirName);
bool DeleteFile(const std::string& fileName);
bool RenameFile(const std::string& oldName, const std::string& newName);
std::string GetCurrentDir();

constexpr uint32_t faReadOnly = FILE_ATTRIBUTE_READONLY;
constexpr uint32_t faHidden = FILE_ATTRIBUTE_HIDDEN;
constexpr uint32_t faSysFile = FILE_ATTRIBUTE_SYSTEM;
constexpr uint32_t faDirectory = FILE_ATTRIBUTE_DIRECTORY;
constexpr uint32_t faArchive = FILE_ATTRIBUTE_ARCHIVE;

struct TSearchRec {
    std::string Name;   // file name without folder
    uint32_t Attr = 0;  // FILE_ATTRIBUTE_* bits
    int64_t Size = 0;
    FILETIME Time{};    // last write, UTC
};
// Every entry matching a wildcard pattern ("C:\\dir\\*.ini"), folders included, "." and ".." left
// out, in the order the system enumerates them. A pattern that matches nothing gives an empty list.
std::vector<TSearchRec> FindFiles(const std::string& pattern);

// ---- Process ----

// The file name of a module (the program itself for nullptr).
std::string GetModuleFileNameStr(HMODULE module = nullptr);
// Command-line arguments after the program name: blanks separate them, double quotes group
// blanks into one argument and are themselves removed.
int ParamCount();
// ParamStr(0) is the program's file name; an index out of range gives "".
std::string ParamStr(int index);
// The same parsing over a given command line (its first argument being the program).
std::vector<std::string> ParseCommandLine(const char* commandLine);

// ---- Wide text ----

std::string WideToAnsi(const std::wstring& s, UINT codePage = CP_ACP);
std::wstring AnsiToWide(const std::string& s, UINT codePage = CP_ACP);
