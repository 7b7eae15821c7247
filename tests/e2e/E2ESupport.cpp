#include "E2ESupport.h"

#include <oleacc.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "TestSupport.h"
#include "platform/ImagingLib.h"

namespace {
void WriteSettingValue(const std::string& name, DWORD type, const void* data, DWORD size)
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, SheetfoldSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        throw std::runtime_error("cannot open the settings key");
    LONG result = RegSetValueExA(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS)
        throw std::runtime_error("cannot write the setting " + name);
}
}

void WriteSetting(const std::string& name, DWORD value)
{
    WriteSettingValue(name, REG_DWORD, &value, sizeof value);
}

void WriteSetting(const std::string& name, const std::string& value)
{
    WriteSettingValue(name, REG_SZ, value.c_str(), static_cast<DWORD>(value.size() + 1));
}

DWORD ReadDwordSetting(const std::string& name, DWORD fallback)
{
    DWORD value = 0;
    DWORD size = sizeof value;
    DWORD type = 0;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, SheetfoldSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return fallback;
    LONG result = RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS && type == REG_DWORD ? value : fallback;
}

std::string ReadStringSetting(const std::string& name, const std::string& fallback)
{
    char buffer[1024] = {};
    DWORD size = sizeof buffer - 1;
    DWORD type = 0;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, SheetfoldSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return fallback;
    LONG result = RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || type != REG_SZ)
        return fallback;
    return std::string(buffer);
}

std::string WriteSolidPicture(const std::string& path, int width, int height, COLORREF color, int format)
{
    TILBitmapHandle bitmap;
    if (IL_CreateBitmap(&bitmap, IL_MEMORY_OWNED, width, height, 24, 1, nullptr, IL_TOP_DOWN, nullptr, 0) != IL_SUCCESS)
        throw std::runtime_error("cannot create a bitmap");
    for (int y = 0; y < height; ++y) {
        uint8_t* row = bitmap.Pixels + y * bitmap.BytesPerLine;
        for (int x = 0; x < width; ++x) {
            row[3 * x] = GetBValue(color);
            row[3 * x + 1] = GetGValue(color);
            row[3 * x + 2] = GetRValue(color);
        }
    }
    int32_t result = IL_SaveBitmap(path.c_str(), &bitmap, format, 24, 0, 0);
    IL_FreeBitmap(&bitmap);
    if (result != IL_SUCCESS)
        throw std::runtime_error("cannot write " + path);
    return path;
}

TProjectPtr NewTestProject()
{
    return TProjectPtr(New<TSheetfoldProject>());
}

TSheetfoldPage* AddTestPage(TSheetfoldProject* project, bool landscape)
{
    TSheetfoldPage* page = New<TSheetfoldPage>(project);
    page->SetLandscape(landscape);
    return page;
}

TLayerImage* AddTestImage(TSheetfoldPage* page, const std::string& file, const RECT& bounds, const std::string& name)
{
    TLayerImage* image = New<TLayerImage>(page);
    image->LoadFromFile(file);
    image->SetName(name);
    image->SetBounds(bounds.left, bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top);
    return image;
}

TProjectPtr LoadTestProject(const std::string& path)
{
    TProjectPtr project = NewTestProject();
    project->LoadFromFile(path);
    return project;
}

std::vector<TLayerImage*> PageImages(TSheetfoldPage* page)
{
    std::vector<TLayerImage*> images;
    for (int i = 0; i < page->Count(); ++i)
        if (Is<TLayerImage>(page->GetItem(i)))
            images.push_back(static_cast<TLayerImage*>(page->GetItem(i)));
    return images;
}

COLORREF TDecodedPicture::Pixel(int x, int y) const
{
    const uint8_t* p = &Rgb[(static_cast<size_t>(y) * Width + x) * 3];
    return RGB(p[0], p[1], p[2]);
}

TDecodedPicture DecodePicture(const std::string& path)
{
    TDecodedPicture picture;
    TILBitmapHandle bitmap;
    if (IL_LoadFile(path.c_str(), &bitmap, 24, 1, 0, nullptr, nullptr, nullptr, nullptr) != IL_SUCCESS)
        return picture;
    picture.Width = bitmap.Width;
    picture.Height = bitmap.Height;
    picture.Rgb.resize(static_cast<size_t>(bitmap.Width) * bitmap.Height * 3);
    for (int y = 0; y < bitmap.Height; ++y) {
        const int stored = bitmap.ViewPerspective == IL_BOTTOM_UP ? bitmap.Height - 1 - y : y;
        const uint8_t* row = bitmap.Pixels + static_cast<size_t>(stored) * bitmap.BytesPerLine;
        uint8_t* out = &picture.Rgb[static_cast<size_t>(y) * bitmap.Width * 3];
        for (int x = 0; x < bitmap.Width; ++x) {
            out[3 * x] = row[3 * x + 2];
            out[3 * x + 1] = row[3 * x + 1];
            out[3 * x + 2] = row[3 * x];
        }
    }
    IL_FreeBitmap(&bitmap);
    return picture;
}

TDecodedPicture CaptureClient(HWND wnd)
{
    RECT client{};
    GetClientRect(wnd, &client);
    MapWindowPoints(wnd, nullptr, reinterpret_cast<POINT*>(&client), 2);
    return CaptureScreen(client);
}

TDecodedPicture CaptureScreen(const RECT& screenRect)
{
    TDecodedPicture picture;
    const int width = screenRect.right - screenRect.left;
    const int height = screenRect.bottom - screenRect.top;
    if (width <= 0 || height <= 0)
        return picture;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    // Another process's window draws into its own surface: only the screen shows what it drew.
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP dib = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, dib);
    BitBlt(memory, 0, 0, width, height, screen, screenRect.left, screenRect.top, SRCCOPY);
    GdiFlush();
    picture.Width = width;
    picture.Height = height;
    picture.Rgb.resize(static_cast<size_t>(width) * height * 3);
    const auto* source = static_cast<const uint8_t*>(bits);
    for (size_t i = 0; i < static_cast<size_t>(width) * height; ++i) {
        picture.Rgb[3 * i] = source[4 * i + 2];
        picture.Rgb[3 * i + 1] = source[4 * i + 1];
        picture.Rgb[3 * i + 2] = source[4 * i];
    }
    SelectObject(memory, old);
    DeleteObject(dib);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return picture;
}

bool NearColor(COLORREF a, COLORREF b, int tolerance)
{
    return std::abs(GetRValue(a) - GetRValue(b)) <= tolerance && std::abs(GetGValue(a) - GetGValue(b)) <= tolerance &&
           std::abs(GetBValue(a) - GetBValue(b)) <= tolerance;
}

RECT FindColorBox(const TDecodedPicture& picture, COLORREF color, int tolerance)
{
    RECT box{picture.Width, picture.Height, 0, 0};
    for (int y = 0; y < picture.Height; ++y)
        for (int x = 0; x < picture.Width; ++x) {
            if (!NearColor(picture.Pixel(x, y), color, tolerance))
                continue;
            box.left = std::min<LONG>(box.left, x);
            box.top = std::min<LONG>(box.top, y);
            box.right = std::max<LONG>(box.right, x + 1);
            box.bottom = std::max<LONG>(box.bottom, y + 1);
        }
    if (box.right <= box.left)
        return RECT{};
    return box;
}

int64_t FileSize(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return -1;
    return (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool FileComplete(const std::string& path)
{
    if (FileSize(path) <= 0)
        return false;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return true;
}

TCaseWatchdog::TCaseWatchdog(DWORD timeoutMs) : FTimeout(timeoutMs), FStop(CreateEventA(nullptr, TRUE, FALSE, nullptr))
{
    FThread = CreateThread(nullptr, 0, &TCaseWatchdog::Run, this, 0, nullptr);
}

TCaseWatchdog::~TCaseWatchdog()
{
    SetEvent(FStop);
    WaitForSingleObject(FThread, INFINITE);
    CloseHandle(FThread);
    CloseHandle(FStop);
}

DWORD WINAPI TCaseWatchdog::Run(LPVOID param)
{
    auto* self = static_cast<TCaseWatchdog*>(param);
    if (WaitForSingleObject(self->FStop, self->FTimeout) != WAIT_TIMEOUT)
        return 0;
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    std::fprintf(stderr, "e2e: %s.%s still runs after %lu s: ended\n", test ? test->test_suite_name() : "?",
                 test ? test->name() : "?", self->FTimeout / 1000);
    std::fflush(stderr);
    TProgramDriver::KillAll();
    TerminateProcess(GetCurrentProcess(), 3);
    return 0;
}

void TProgramTest::SetUp()
{
    Watchdog = std::make_unique<TCaseWatchdog>(ProgramCaseTimeoutMs);
    LeaveWindowsUnmanaged("Sheetfold.exe");
    WriteSetting("InsertImageMessage", 0);
    WriteSetting("ShowDemo", 2);
}

void TProgramTest::TearDown()
{
    Program.Kill();
    Watchdog.reset();
}

void TProgramTest::CloseProgram(TProgramDriver& program)
{
    program.Close();
    WaitUntil(
        [&] {
            if (HWND box = ProcessWindows(program.ProcessId(), "#32770").empty() ? nullptr : program.WaitForMessageBox(0))
                PressDialogButton(box, IDNO);
            return !program.Running();
        },
        DriverWaitMs);
    DWORD code = 1;
    EXPECT_TRUE(program.WaitForExit(DriverWaitMs, &code)) << "the program did not end after WM_CLOSE";
    EXPECT_EQ(code, 0u);
}

bool SaveProjectAs(const TProgramDriver& program, const std::string& path)
{
    program.PostCommand(cmdSaveAs);
    if (!program.AnswerFileDialog(program.WaitForFileDialog(), path))
        return false;
    const size_t slash = path.find_last_of('\\');
    const size_t dot = path.find_last_of('.');
    const std::string title = path.substr(slash + 1, dot == std::string::npos || dot < slash ? std::string::npos : dot - slash - 1);
    return program.WaitForCaption(title + " - Sheetfold") && WaitUntil([&] { return FileComplete(path); });
}

namespace {
bool IsOkButton(HWND wnd)
{
    std::string text = WindowText(wnd);
    text.erase(std::remove(text.begin(), text.end(), '&'), text.end());
    return (GetWindowLongA(wnd, GWL_STYLE) & WS_VISIBLE) && text.size() == 2 && std::toupper(text[0]) == 'O' &&
           std::toupper(text[1]) == 'K';
}

bool IsComboBox(HWND wnd)
{
    std::string name = WindowClass(wnd);
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    return name.find("combo") != std::string::npos;
}
}

bool ExportPage(const TProgramDriver& program, const std::string& path, int filterIndex, int resolutionIndex,
                const std::string& writtenAs)
{
    const std::string written = writtenAs.empty() ? path : writtenAs;
    program.PostCommand(cmdExport);
    if (!program.AnswerFileDialog(program.WaitForFileDialog(), path, filterIndex))
        return false;
    HWND box = program.WaitForClass("TExportForm");
    HWND combo = box ? FindDescendantIf(box, &IsComboBox) : nullptr;
    HWND ok = box ? FindDescendantIf(box, &IsOkButton) : nullptr;
    if (!combo || !ok)
        return false;
    SendMessageTimeoutA(combo, CB_SETCURSEL, resolutionIndex, 0, SMTO_NORMAL, 5000, nullptr);
    PostMessageA(ok, BM_CLICK, 0, 0);
    return program.WaitForClassGone("TExportForm") && WaitUntil([&] { return FileComplete(written); }, 60000);
}

namespace {
HWND ThemedBar(const TProgramDriver& program, long itemRole)
{
    return FindDescendantIf(program.MainWindow(), [&](HWND wnd) {
        if (WindowClass(wnd) != "TSkinToolbar")
            return false;
        const std::vector<TAccessibleItem> items = AccessibleChildren(wnd);
        return !items.empty() && items.front().Role == itemRole;
    });
}
}

HWND MenuBarOf(const TProgramDriver& program)
{
    return ThemedBar(program, ROLE_SYSTEM_MENUITEM);
}

HWND ToolbarOf(const TProgramDriver& program)
{
    return ThemedBar(program, ROLE_SYSTEM_PUSHBUTTON);
}

std::vector<std::wstring> Labels(const std::vector<TAccessibleItem>& items)
{
    std::vector<std::wstring> labels;
    for (const TAccessibleItem& item : items)
        labels.push_back(item.Label());
    return labels;
}

std::vector<std::pair<TAccessibleItem, std::wstring>> ToolButtonHints(const TProgramDriver& program, HWND toolbar)
{
    std::vector<std::pair<TAccessibleItem, std::wstring>> buttons;
    for (const TAccessibleItem& item : AccessibleChildren(toolbar))
        if (item.Role == ROLE_SYSTEM_PUSHBUTTON && !(item.State & STATE_SYSTEM_HASPOPUP))
            buttons.emplace_back(item, program.HoverHint(item.Center(), 2500));
    return buttons;
}

std::string Narrow(const std::wstring& text)
{
    std::string narrow(text.size() * 3, '\0');
    narrow.resize(static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                                          narrow.data(), static_cast<int>(narrow.size()), nullptr, nullptr)));
    return narrow;
}

RECT ScreenRect(HWND wnd)
{
    RECT r{};
    GetWindowRect(wnd, &r);
    return r;
}

POINT Centre(const RECT& r)
{
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

LRESULT HitAt(HWND wnd, POINT screen)
{
    DWORD_PTR result = HTNOWHERE;
    SendMessageTimeoutA(wnd, WM_NCHITTEST, 0, MAKELPARAM(screen.x, screen.y), SMTO_NORMAL, 5000, &result);
    return static_cast<LRESULT>(result);
}

POINT FindHit(HWND wnd, LRESULT code, POINT from, POINT step, int count)
{
    for (int i = 0; i < count; ++i) {
        const POINT p{from.x + step.x * i, from.y + step.y * i};
        if (HitAt(wnd, p) == code)
            return p;
    }
    return POINT{-1, -1};
}
