#include "unicode/UniSystem.h"

#include <algorithm>
#include <cstdarg>
#include <cwchar>
#include <iterator>
#include <optional>

#include "platform/SysUtils.h"
#include "unicode/UniCodec.h"
#include "unicode/UniWindows.h"

namespace {
UINT gSavedAnsiCodePage = 0;
bool gUnicodePlatform = false;
std::optional<bool> gUnicodePlatformOverride;
DWORD gMajorVersion = 0;
DWORD gMinorVersion = 0;

bool VersionAtLeast(DWORD major, DWORD minor)
{
    return gMajorVersion > major || (gMajorVersion == major && gMinorVersion >= minor);
}
}

void InitUniSystem()
{
    gSavedAnsiCodePage = GetACP();
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof(info);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (GetVersionExA(&info)) {
#pragma GCC diagnostic pop
        gUnicodePlatform = info.dwPlatformId == VER_PLATFORM_WIN32_NT;
        gMajorVersion = info.dwMajorVersion;
        gMinorVersion = info.dwMinorVersion;
    }
}

void DoneUniSystem()
{
    gUnicodePlatformOverride.reset();
}

UINT GetSavedAnsiCodePage()
{
    return gSavedAnsiCodePage ? gSavedAnsiCodePage : GetACP();
}

bool IsUnicodePlatform()
{
    return gUnicodePlatformOverride.value_or(gUnicodePlatform);
}

void SetUnicodePlatform(bool value)
{
    gUnicodePlatformOverride = value;
}

void ResetUnicodePlatform()
{
    gUnicodePlatformOverride.reset();
}

bool IsWinXPOrLater()
{
    return gUnicodePlatform && VersionAtLeast(5, 1);
}

bool IsWin2003OrLater()
{
    return gUnicodePlatform && VersionAtLeast(5, 2);
}

bool IsWinVistaOrLater()
{
    return gUnicodePlatform && VersionAtLeast(6, 0);
}

// ---- Exceptions ----

WideException::WideException(std::wstring message)
    : Exception(WideToAnsi(message, GetSavedAnsiCodePage())), FWideMessage(std::move(message))
{
}

std::wstring WideFormat(const wchar_t* fmt, ...)
{
    std::wstring result(256, L'\0');
    for (;;) {
        va_list args;
        va_start(args, fmt);
        int written = std::vswprintf(result.data(), result.size(), fmt, args);
        va_end(args);
        if (written >= 0 && static_cast<size_t>(written) < result.size()) {
            result.resize(static_cast<size_t>(written));
            return result;
        }
        // Too small (or a bad format, which no size mends): grow up to a limit.
        if (result.size() >= (1u << 20))
            throw EUniInternalError(L"Invalid format: " + std::wstring(fmt));
        result.resize(result.size() * 4);
    }
}

// ---- Conversion ----

std::string WideToCodePage(const std::wstring& text, UINT codePage)
{
    if (codePage == CP_UTF7)
        return Utf16ToUtf7(text);
    if (codePage == CP_UTF8)
        return Utf16ToUtf8(text);
    return WideToAnsi(text, codePage);
}

std::wstring CodePageToWide(const std::string& text, UINT codePage)
{
    if (codePage == CP_UTF7) {
        std::wstring result;
        if (!Utf7ToUtf16(text, result))
            throw EUniGeneralError(L"Invalid UTF7");
        return result;
    }
    if (codePage == CP_UTF8)
        return Utf8ToUtf16(text);
    return AnsiToWide(text, codePage);
}

std::string NarrowText(const std::wstring& text)
{
    return WideToCodePage(text, GetSavedAnsiCodePage());
}

std::wstring WidenText(const std::string& text)
{
    return CodePageToWide(text, GetSavedAnsiCodePage());
}

UINT GetLayoutCodePage()
{
    char buffer[6] = {};
    LCID locale = MAKELCID(LOWORD(reinterpret_cast<UINT_PTR>(GetKeyboardLayout(0))), SORT_DEFAULT);
    if (GetLocaleInfoA(locale, LOCALE_IDEFAULTANSICODEPAGE, buffer, sizeof(buffer)) == 0)
        return GetACP();
    int codePage = 0;
    if (!TryStrToInt(buffer, codePage) || codePage <= 0)
        return GetACP();
    return static_cast<UINT>(codePage);
}

wchar_t KeyCharToWide(WORD charCode)
{
    if (charCode > 255)
        return static_cast<wchar_t>(charCode);
    UINT codePage = GetLayoutCodePage();
    char byte = static_cast<char>(charCode);
    wchar_t result = 0;
    // The glyph flag is refused with UTF-7 and UTF-8; a lone lead byte of a double-byte code page
    // converts to nothing. Either way the code is taken as the character.
    DWORD flags = codePage == CP_UTF7 || codePage == CP_UTF8 ? 0 : MB_USEGLYPHCHARS;
    if (MultiByteToWideChar(codePage, flags, &byte, 1, &result, 1) != 1 || (result == 0 && charCode != 0))
        return static_cast<wchar_t>(charCode);
    return result;
}

// ---- Files and errors ----

bool TryFullWideFileName(const std::wstring& name, std::wstring& full)
{
    full.assign(MAX_PATH, L'\0');
    wchar_t* filePart = nullptr;
    for (;;) {
        DWORD length = WideGetFullPathName(name.c_str(), static_cast<DWORD>(full.size()), full.data(), &filePart);
        if (length == 0)
            return false;
        // A long path does not fit the first buffer: the call told the size it needs.
        if (length < full.size()) {
            full.resize(length);
            return true;
        }
        full.assign(length, L'\0');
    }
}

std::wstring FullWideFileName(const std::wstring& name)
{
    std::wstring full;
    if (!TryFullWideFileName(name, full))
        RaiseLastOSError("GetFullPathName");
    return full;
}

HANDLE CreateFileWide(const std::wstring& name)
{
    return WideCreateFile(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                          nullptr);
}

HANDLE OpenFileWide(const std::wstring& name, WORD mode)
{
    static const DWORD kAccess[] = {GENERIC_READ, GENERIC_WRITE, GENERIC_READ | GENERIC_WRITE};
    static const DWORD kShare[] = {0, 0, FILE_SHARE_READ, FILE_SHARE_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE};
    unsigned access = mode & 3;
    unsigned share = (mode & 0xF0) >> 4;
    if (access >= std::size(kAccess) || share >= std::size(kShare))
        throw EUniInternalError(WideFormat(L"Invalid file mode $%04X.", mode));
    return WideCreateFile(name.c_str(), kAccess[access], kShare[share], nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                          nullptr);
}

std::wstring SystemErrorTextW(DWORD code, HMODULE module)
{
    DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ARGUMENT_ARRAY;
    if (module)
        flags |= FORMAT_MESSAGE_FROM_HMODULE;
    std::wstring text;
    if (IsUnicodePlatform()) {
        wchar_t buffer[256] = {};
        DWORD length = FormatMessageW(flags, module, code, 0, buffer, 256, nullptr);
        text.assign(buffer, std::min<DWORD>(length, 256));
    } else {
        char buffer[256] = {};
        DWORD length = FormatMessageA(flags, module, code, 0, buffer, 256, nullptr);
        text = WidenText(std::string(buffer, std::min<DWORD>(length, 256)));
    }
    size_t first = text.find_first_not_of(L" \t\r\n");
    size_t last = text.find_last_not_of(L" \t\r\n");
    text = first == std::wstring::npos ? std::wstring() : text.substr(first, last - first + 1);
    if (!text.empty())
        return text;
    std::wstring source = L"system";
    if (module) {
        wchar_t path[MAX_PATH] = {};
        if (GetModuleFileNameW(module, path, MAX_PATH))
            source = path;
    }
    return WideFormat(L"Unspecified error (%d) from %ls.", static_cast<int>(code), source.c_str());
}
