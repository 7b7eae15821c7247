#include "TestSupport.h"

#include <windows.h>

#include <objbase.h>

#include <filesystem>

#include "graphics/Gfx32.h"
#include "platform/Clipboard.h"
#include "platform/Controls.h"
#include "platform/Forms.h"
#include "platform/Menus.h"
#include "platform/Printers.h"

namespace {
std::string& TempDirPath()
{
    static std::string path;
    return path;
}
}

void TestEnvironmentStartup()
{
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    Gfx32Startup();
    InitControls();
    InitForms();
    InitMenus();
}

void TestEnvironmentShutdown()
{
    DonePrinters();
    DoneClipboard();
    DoneMenus();
    DoneForms();
    DoneControls();
    Gfx32Shutdown();
    if (!TempDirPath().empty()) {
        std::error_code ec;
        std::filesystem::remove_all(TempDirPath(), ec);
    }
    CoUninitialize();
}

std::string TestTempDir()
{
    std::string& path = TempDirPath();
    if (path.empty()) {
        char base[MAX_PATH];
        GetTempPathA(MAX_PATH, base);
        path = std::string(base) + "sftest_" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(GetTickCount());
        CreateDirectoryA(path.c_str(), nullptr);
    }
    return path;
}

std::string TestTempFile(const std::string& name)
{
    return TestTempDir() + "\\" + name;
}
