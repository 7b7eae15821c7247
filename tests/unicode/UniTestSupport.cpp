#include "UniTestSupport.h"

#include "UnicodeLayerEnvironment.h"

#include "unicode/UniClasses.h"
#include "unicode/UniForms.h"
#include "unicode/UniMenus.h"

std::wstring WindowText(HWND wnd)
{
    int length = GetWindowTextLengthW(wnd);
    std::wstring text(static_cast<size_t>(std::max(length, 0)) + 1, L'\0');
    text.resize(static_cast<size_t>(std::max(GetWindowTextW(wnd, text.data(), length + 1), 0)));
    return text;
}

std::wstring WideTempFileName(const std::wstring& stem)
{
    std::wstring folder = WidenText(TestTempDir()) + L"\\";
    std::wstring wide = folder + stem + L" " + kWideText + L".txt";
    HANDLE probe = CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (probe == INVALID_HANDLE_VALUE)
        return folder + stem + L".txt";
    CloseHandle(probe);
    DeleteFileW(wide.c_str());
    return wide;
}

namespace {
const testing::Environment* const kEnvironment = testing::AddGlobalTestEnvironment(new TUnicodeLayerEnvironment(true));
}
