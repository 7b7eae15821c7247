#include "app/HtmlHelpAPI.h"

#include <algorithm>
#include <cstring>

namespace {

using THtmlHelpA = HWND(WINAPI*)(HWND, LPCSTR, UINT, DWORD_PTR);
using THtmlHelpW = HWND(WINAPI*)(HWND, LPCWSTR, UINT, DWORD_PTR);

struct THtmlHelpLibrary {
    HMODULE Module = nullptr;
    THtmlHelpA HtmlHelpA = nullptr;
    THtmlHelpW HtmlHelpW = nullptr;
};

THtmlHelpLibrary& Library()
{
    static THtmlHelpLibrary library;
    return library;
}

bool FileExists(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string WithoutTrailingDelimiter(std::string folder)
{
    while (!folder.empty() && (folder.back() == '\\' || folder.back() == '/'))
        folder.pop_back();
    return folder;
}

std::string RegisteredServerPath()
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, "CLSID\\{adb880a6-d8ff-11cf-9377-00aa003b7a11}\\InprocServer32", 0, KEY_READ,
                      &key) != ERROR_SUCCESS)
        return {};
    char buffer[MAX_PATH * 2] = {};
    DWORD size = sizeof(buffer) - 1;
    DWORD type = 0;
    LONG result = RegQueryValueExA(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ))
        return {};
    buffer[std::min<DWORD>(size, sizeof(buffer) - 1)] = 0;
    char windows[MAX_PATH] = {};
    GetWindowsDirectoryA(windows, MAX_PATH);
    std::string path = ExpandSystemRoot(buffer, WithoutTrailingDelimiter(windows));
    return FileExists(path) ? path : std::string();
}

} // namespace

std::string ExpandSystemRoot(const std::string& path, const std::string& windowsFolder)
{
    static const char prefix[] = "%SYSTEMROOT%";
    const size_t length = sizeof(prefix) - 1;
    if (path.size() < length || _strnicmp(path.c_str(), prefix, length) != 0)
        return path;
    return windowsFolder + path.substr(length);
}

void LoadHtmlHelp()
{
    THtmlHelpLibrary& library = Library();
    if (library.Module)
        return;
    library.Module = LoadLibraryA("hhctrl.ocx");
    if (!library.Module) {
        std::string path = RegisteredServerPath();
        if (path.empty()) {
            char system[MAX_PATH] = {};
            GetSystemDirectoryA(system, MAX_PATH);
            path = WithoutTrailingDelimiter(system) + "\\hhctrl.ocx";
        }
        if (FileExists(path))
            library.Module = LoadLibraryA(path.c_str());
    }
    if (!library.Module)
        return;
    library.HtmlHelpA = reinterpret_cast<THtmlHelpA>(reinterpret_cast<void*>(GetProcAddress(library.Module, "HtmlHelpA")));
    library.HtmlHelpW = reinterpret_cast<THtmlHelpW>(reinterpret_cast<void*>(GetProcAddress(library.Module, "HtmlHelpW")));
}

void UnloadHtmlHelp()
{
    THtmlHelpLibrary& library = Library();
    if (library.Module)
        FreeLibrary(library.Module);
    library = THtmlHelpLibrary{};
}

bool HtmlHelpLoaded()
{
    return Library().HtmlHelpA != nullptr;
}

bool ShowHtmlHelp(HWND caller, const std::string& helpFile)
{
    THtmlHelpLibrary& library = Library();
    if (!library.HtmlHelpA)
        return false;
    library.HtmlHelpA(caller, helpFile.c_str(), 0, 0);
    return true;
}
