// The Unicode layer's base: the platform facts every Unicode unit tests (a Unicode platform, its
// version, the code page saved at start-up), conversion between UTF-16 and code pages, exceptions
// with wide messages, and file and error-text routines that take wide names.
#pragma once

#include <windows.h>

#include <string>

#include "platform/Exceptions.h"

// ---- Start-up state ----

// Saves the ANSI code page and reads the platform and its version; called in the start-up order.
void InitUniSystem();
void DoneUniSystem();

UINT GetSavedAnsiCodePage();
// Windows NT: the wide Windows calls work. Everything else takes the 8-bit calls.
bool IsUnicodePlatform();
// Lets a test take the paths of a platform that is (or is not) Unicode, until it is reset.
void SetUnicodePlatform(bool value);
void ResetUnicodePlatform();
// Windows version 5.1 (XP), 5.2 (Server 2003) and 6 (Vista) or later.
bool IsWinXPOrLater();
bool IsWin2003OrLater();
bool IsWinVistaOrLater();

// ---- Exceptions with wide messages ----

// An exception whose message is wide; the 8-bit message is its narrowed form.
class WideException : public Exception {
public:
    explicit WideException(std::wstring message);
    const std::wstring& GetWideMessage() const { return FWideMessage; }
    const char* ClassName() const override { return "WideException"; }

private:
    std::wstring FWideMessage;
};

SF_EXCEPTION(EUniGeneralError, WideException);
SF_EXCEPTION(EUniInternalError, WideException);

// printf-style formatting of wide text (%ls for a wide string, %d for a number).
std::wstring WideFormat(const wchar_t* fmt, ...);

// ---- Conversion ----

// 65000 is UTF-7 (raising EUniGeneralError "Invalid UTF7" for text that is not), 65001 UTF-8
// (with the replacement rules of the UTF-8 codec); any other code page goes through the system.
std::string WideToCodePage(const std::wstring& text, UINT codePage);
std::wstring CodePageToWide(const std::string& text, UINT codePage);
// The same with the code page saved at start-up: what "narrowed" and "widened" mean in this layer.
std::string NarrowText(const std::wstring& text);
std::wstring WidenText(const std::string& text);
// The ANSI code page of the current keyboard layout's language (GetACP when it has none).
UINT GetLayoutCodePage();
// A typed character: codes below 256 are 8-bit characters of the keyboard's code page, larger
// codes are wide characters already.
wchar_t KeyCharToWide(WORD charCode);

// ---- Files and errors ----

// The full path of a file name. Raises EOSError when the system makes none of it (an empty name).
std::wstring FullWideFileName(const std::wstring& name);
// The same, false where FullWideFileName raises: for messages about a name that failed already.
bool TryFullWideFileName(const std::wstring& name, std::wstring& full);
// Creates (or empties) a file for reading and writing, shared with nobody.
HANDLE CreateFileWide(const std::wstring& name);
// Opens an existing file with an access mode (low two bits: 0 read, 1 write, 2 both) and a share
// mode (bits 4..7: 0 and 1 none, 2 deny write, 3 deny read, 4 deny none), as the file stream
// modes give them. Raises EUniInternalError for a mode outside these.
HANDLE OpenFileWide(const std::wstring& name, WORD mode);
// The system's text for an error code (from a module's message table when given), trimmed;
// "Unspecified error (<code>) from <source>." when there is none.
std::wstring SystemErrorTextW(DWORD code, HMODULE module = nullptr);

// Raises the last operating-system error for a zero result and otherwise hands the result back.
template <class T>
T UniWin32Check(T result)
{
    if (!result)
        RaiseLastOSError();
    return result;
}
