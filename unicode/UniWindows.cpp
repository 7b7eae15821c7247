#include "unicode/UniWindows.h"

#include <algorithm>
#include <vector>

#include "unicode/UniSystem.h"

BOOL WideSetWindowText(HWND window, const std::wstring& text)
{
    if (IsUnicodePlatform())
        return SetWindowTextW(window, text.c_str());
    return SetWindowTextA(window, NarrowText(text).c_str());
}

DWORD CopyToWideBuffer(const std::wstring& text, wchar_t* buffer, DWORD size, unsigned rules)
{
    DWORD length = static_cast<DWORD>(text.size());
    if (length < size) {
        std::copy_n(text.data(), length, buffer);
        buffer[length] = L'\0';
        return length;
    }
    if ((rules & wbrTruncate) && size > 0) {
        std::copy_n(text.data(), size - 1, buffer);
        buffer[size - 1] = L'\0';
        return size - 1;
    }
    if ((rules & wbrExactFit) && length == size && size > 0) {
        std::copy_n(text.data(), size - 1, buffer);
        buffer[size - 1] = L'\0';
        return length + 1;
    }
    if (size == 0)
        return length + 1;
    if (rules & wbrEmptyOnOverflow) {
        buffer[0] = L'\0';
    } else if (rules & wbrPathPrefix) {
        buffer[0] = L'\0';
        size_t slash = size >= 4 ? text.find_last_of(L'\\', size - 2) : std::wstring::npos;
        if (slash != std::wstring::npos) {
            std::copy_n(text.data(), slash + 1, buffer);
            buffer[slash + 1] = L'\0';
        }
    }
    return length + 1;
}

DWORD WideGetFullPathName(const wchar_t* name, DWORD bufferLength, wchar_t* buffer, wchar_t** filePart)
{
    if (filePart)
        *filePart = nullptr;
    if (IsUnicodePlatform()) {
        wchar_t* part = nullptr;
        DWORD length = GetFullPathNameW(name, bufferLength, buffer, &part);
        if (length >= bufferLength) {
            // The system leaves a buffer that is too small as it was.
            if (bufferLength > 0)
                buffer[0] = L'\0';
            return length;
        }
        if (filePart)
            *filePart = part;
        return length;
    }
    std::string narrowName = NarrowText(name);
    std::vector<char> path(520);
    char* part = nullptr;
    DWORD length = GetFullPathNameA(narrowName.c_str(), static_cast<DWORD>(path.size()), path.data(), &part);
    if (length >= path.size()) {
        path.resize(length);
        length = GetFullPathNameA(narrowName.c_str(), static_cast<DWORD>(path.size()), path.data(), &part);
    }
    if (length == 0 || length >= path.size())
        return 0;
    std::string result(path.data(), length);
    DWORD copied = CopyToWideBuffer(WidenText(result), buffer, bufferLength, wbrEmptyOnOverflow);
    if (filePart && copied < bufferLength && part)
        *filePart = buffer + WidenText(result.substr(0, static_cast<size_t>(part - path.data()))).size();
    return copied;
}

HANDLE WideCreateFile(const wchar_t* name, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security,
                      DWORD disposition, DWORD flags, HANDLE templateFile)
{
    if (IsUnicodePlatform())
        return CreateFileW(name, access, share, security, disposition, flags, templateFile);
    return CreateFileA(NarrowText(name).c_str(), access, share, security, disposition, flags, templateFile);
}

int WideDrawText(HDC dc, const wchar_t* text, int count, RECT* rect, UINT format)
{
    if (IsUnicodePlatform())
        return DrawTextW(dc, text, count, rect, format);
    std::wstring part = count < 0 ? std::wstring(text) : std::wstring(text, static_cast<size_t>(count));
    std::string narrow = NarrowText(part);
    return DrawTextA(dc, narrow.c_str(), static_cast<int>(narrow.size()), rect, format & ~static_cast<UINT>(DT_MODIFYSTRING));
}
