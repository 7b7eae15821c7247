// The few Windows calls the Unicode layer makes with text: each calls the wide function on a
// Unicode platform and otherwise the 8-bit one with the text narrowed by the system code page,
// handing the result back in wide form.
#pragma once

#include <windows.h>

#include <string>

BOOL WideSetWindowText(HWND window, const std::wstring& text);
// As GetFullPathNameW. A buffer too small for the path is left empty (filePart nullptr) and the
// size it needs, terminator included, is answered.
DWORD WideGetFullPathName(const wchar_t* name, DWORD bufferLength, wchar_t* buffer, wchar_t** filePart);
HANDLE WideCreateFile(const wchar_t* name, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security,
                      DWORD disposition, DWORD flags, HANDLE templateFile);
// As DrawTextW; count -1 draws up to the terminator. Without a Unicode platform the string is not
// modified (DT_MODIFYSTRING is ignored): the 8-bit copy drawn is not the caller's.
int WideDrawText(HDC dc, const wchar_t* text, int count, RECT* rect, UINT format);

// How a result that does not fit a caller's buffer is handled.
enum TWideBufferRule : unsigned {
    // A result of exactly the buffer's size loses its last character to the terminator.
    wbrExactFit = 1,
    // The buffer is left empty.
    wbrEmptyOnOverflow = 2,
    // As much as fits is copied, terminated.
    wbrTruncate = 4,
    // The buffer gets the path up to the last backslash that fits (nothing below 4 characters).
    wbrPathPrefix = 8,
};

// Copies a result into a caller's buffer of size characters. A result shorter than the buffer is
// copied and its length answered. Otherwise: with wbrTruncate the length copied (size - 1); with
// wbrExactFit and a result of exactly size characters, size + 1; else the size needed (length +
// 1), the buffer emptied or given the path prefix when the rules ask for it.
DWORD CopyToWideBuffer(const std::wstring& text, wchar_t* buffer, DWORD size, unsigned rules);
