#include "TestSupport.h"

#include <windows.h>

#include <objbase.h>
#include <zlib.h>
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <stdexcept>
#include <thread>

#if SF_TESTS_USE_GRAPHICS
#include "graphics/Gfx32.h"
#endif
#include "platform/Clipboard.h"
#include "platform/Controls.h"
#include "platform/Forms.h"
#include "platform/Menus.h"
#include "platform/Printers.h"
#include "platform/ScopeGuards.h"

namespace {
std::string& TempDirPath()
{
    static std::string path;
    return path;
}
}

void PumpMessages()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

namespace {

BOOL CALLBACK CollectWindow(HWND wnd, LPARAM list)
{
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(wnd);
    return TRUE;
}

} // namespace

HENHMETAFILE RecordHalves(COLORREF left, COLORREF right)
{
    RECT frame{0, 0, 5000, 2500};
    HDC dc = CreateEnhMetaFileA(nullptr, nullptr, &frame, nullptr);
    int w = MulDiv(50, GetDeviceCaps(dc, HORZRES), GetDeviceCaps(dc, HORZSIZE));
    int h = MulDiv(25, GetDeviceCaps(dc, VERTRES), GetDeviceCaps(dc, VERTSIZE));
    TGdiObject<HBRUSH> leftBrush(CreateSolidBrush(left));
    TGdiObject<HBRUSH> rightBrush(CreateSolidBrush(right));
    RECT leftHalf{0, 0, w / 2, h}, rightHalf{w / 2, 0, w, h};
    FillRect(dc, &leftHalf, leftBrush.Get());
    FillRect(dc, &rightHalf, rightBrush.Get());
    return CloseEnhMetaFile(dc);
}

std::vector<std::string> LinesOf(const TStrings& list)
{
    std::vector<std::string> lines;
    for (int i = 0; i < list.Count(); ++i)
        lines.push_back(list.Get(i));
    return lines;
}

std::vector<HWND> ThreadWindows(DWORD threadId)
{
    std::vector<HWND> windows;
    EnumThreadWindows(threadId, CollectWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

std::vector<HWND> ChildWindows(HWND parent)
{
    std::vector<HWND> windows;
    EnumChildWindows(parent, CollectWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

void TestEnvironmentStartup()
{
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
#if SF_TESTS_USE_GRAPHICS
    Gfx32Startup();
#endif
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
#if SF_TESTS_USE_GRAPHICS
    Gfx32Shutdown();
#endif
    if (!TempDirPath().empty()) {
        std::error_code ec;
        std::filesystem::remove_all(TempDirPath(), ec);
    }
    CoUninitialize();
}

void LeaveWindowsUnmanaged(const std::string& exeName)
{
    HKEY key = nullptr;
    const std::string path = "Software\\Wine\\AppDefaults\\" + exeName + "\\X11 Driver";
    if (RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return;
    RegSetValueExA(key, "Managed", 0, REG_SZ, reinterpret_cast<const BYTE*>("N"), 2);
    RegCloseKey(key);
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

// TCaseWatch

namespace {
size_t PrivateBytesNow()
{
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
    return counters.PagefileUsage;
}

double ThreadSeconds(HANDLE thread)
{
    FILETIME created, exited, kernel, user;
    if (!GetThreadTimes(thread, &created, &exited, &kernel, &user))
        return 0;
    auto value = [](const FILETIME& t) { return (uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    return double(value(kernel) + value(user)) / 1e7;
}
}

struct TCaseWatch::TState {
    HANDLE Thread = nullptr;
    double CpuLimit = 1;
    double WallLimit = 10;
    std::mutex Lock;
    std::string Name;
    bool Armed = false;
    double CpuStart = 0;
    ULONGLONG WallStart = 0;
    size_t BaseBytes = 0;
    std::atomic<size_t> PeakBytes{0};
    std::atomic<bool> Stop{false};
    std::thread Watcher;

    void Watch()
    {
        while (!Stop) {
            Sleep(1);
            std::lock_guard<std::mutex> guard(Lock);
            if (!Armed)
                continue;
            const size_t bytes = PrivateBytesNow();
            if (bytes > PeakBytes)
                PeakBytes = bytes;
            const double cpu = ThreadSeconds(Thread) - CpuStart;
            const double wall = double(GetTickCount64() - WallStart) / 1000;
            if (cpu > CpuLimit || wall > WallLimit) {
                std::fprintf(stderr, "\nFAILED: case \"%s\" still running after %.2f s of processor time, %.2f s in all\n",
                             Name.c_str(), cpu, wall);
                std::fflush(stderr);
                TerminateProcess(GetCurrentProcess(), 3);
            }
        }
    }
};

TCaseWatch::TCaseWatch(double cpuSeconds, double wallSeconds) : FState(new TState)
{
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &FState->Thread, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    FState->CpuLimit = cpuSeconds;
    FState->WallLimit = wallSeconds;
    FState->Watcher = std::thread([state = FState] { state->Watch(); });
}

TCaseWatch::~TCaseWatch()
{
    FState->Stop = true;
    FState->Watcher.join();
    CloseHandle(FState->Thread);
    delete FState;
}

void TCaseWatch::Begin(const std::string& name)
{
    std::lock_guard<std::mutex> guard(FState->Lock);
    FState->Name = name;
    FState->BaseBytes = PrivateBytesNow();
    FState->PeakBytes = FState->BaseBytes;
    FState->CpuStart = ThreadSeconds(FState->Thread);
    FState->WallStart = GetTickCount64();
    FState->Armed = true;
}

size_t TCaseWatch::End()
{
    std::lock_guard<std::mutex> guard(FState->Lock);
    FState->Armed = false;
    const size_t now = PrivateBytesNow();
    const size_t peak = std::max<size_t>(FState->PeakBytes, now);
    const size_t added = peak > FState->BaseBytes ? peak - FState->BaseBytes : 0;
    if (added > FWorstBytes) {
        FWorstBytes = added;
        FWorstCase = FState->Name;
    }
    return added;
}

// TTestSurface

TTestSurface::TTestSurface(int width, int height, uint32_t background)
    : FDC(CreateCompatibleDC(nullptr)), FWidth(width), FHeight(height)
{
    const BITMAPINFO info = Dib32Info(width, height);
    void* bits = nullptr;
    FBitmap = CreateDIBSection(FDC, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    FBits = static_cast<uint32_t*>(bits);
    FOld = SelectObject(FDC, FBitmap);
    std::fill_n(FBits, size_t(width) * size_t(height), background);
}

TTestSurface::~TTestSurface()
{
    SelectObject(FDC, FOld);
    DeleteObject(FBitmap);
    DeleteDC(FDC);
}

uint32_t TTestSurface::At(int x, int y) const
{
    GdiFlush();
    return FBits[size_t(y) * size_t(FWidth) + size_t(x)] & 0xFFFFFF;
}

COLORREF TTestSurface::Color(int x, int y) const
{
    const uint32_t pixel = At(x, y);
    return RGB(pixel >> 16, (pixel >> 8) & 0xFF, pixel & 0xFF);
}

std::vector<uint32_t> TTestSurface::Pixels() const
{
    GdiFlush();
    std::vector<uint32_t> all(FBits, FBits + size_t(FWidth) * size_t(FHeight));
    for (uint32_t& p : all)
        p &= 0xFFFFFF;
    return all;
}

bool TTestSurface::AllWhite() const
{
    const std::vector<uint32_t> all = Pixels();
    return std::all_of(all.begin(), all.end(), [](uint32_t p) { return p == 0xFFFFFF; });
}

std::vector<uint8_t> InflateZlib(const std::vector<uint8_t>& compressed)
{
    z_stream z{};
    inflateInit(&z);
    std::vector<uint8_t> out;
    uint8_t buffer[1 << 16];
    z.next_in = const_cast<uint8_t*>(compressed.data());
    z.avail_in = uInt(compressed.size());
    int status = Z_OK;
    while (status == Z_OK) {
        z.next_out = buffer;
        z.avail_out = sizeof(buffer);
        status = inflate(&z, Z_NO_FLUSH);
        out.insert(out.end(), buffer, buffer + (sizeof(buffer) - z.avail_out));
    }
    inflateEnd(&z);
    if (status != Z_STREAM_END || z.avail_in != 0)
        throw std::runtime_error("not exactly one complete zlib stream");
    return out;
}

TOwned<TMemoryStream> StreamOf(const std::vector<uint8_t>& bytes)
{
    auto stream = Make<TMemoryStream>();
    if (!bytes.empty())
        stream->WriteBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
    stream->SetPosition(0);
    return stream;
}

std::vector<uint8_t> BytesOf(TCustomMemoryStream& stream)
{
    const auto* p = static_cast<const uint8_t*>(stream.GetMemory());
    return std::vector<uint8_t>(p, p + stream.GetSize());
}

std::string TextOf(TCustomMemoryStream& stream)
{
    return std::string(static_cast<const char*>(stream.GetMemory()), static_cast<size_t>(stream.GetSize()));
}

testing::AssertionResult SameRect(const RECT& a, const RECT& b)
{
    if (a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom)
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << testing::PrintToString(a) << " is not " << testing::PrintToString(b);
}

void PrintTo(const RECT& r, std::ostream* os)
{
    *os << "{" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << "}";
}

std::string WriteBmp(const std::string& name, int width, int height, int pixelsPerMetre)
{
    const int stride = (width * 3 + 3) & ~3;
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER info{};
    info.biSize = sizeof(info);
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biSizeImage = stride * height;
    info.biXPelsPerMeter = pixelsPerMetre;
    info.biYPelsPerMeter = pixelsPerMetre;
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(file) + sizeof(info);
    file.bfSize = file.bfOffBits + info.biSizeImage;
    std::string bytes(reinterpret_cast<const char*>(&file), sizeof(file));
    bytes.append(reinterpret_cast<const char*>(&info), sizeof(info));
    bytes.append(info.biSizeImage, '\x80');
    std::string path = TestTempFile(name);
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path;
}

std::string WriteBytes(const std::string& name, const std::string& bytes)
{
    std::string path = TestTempFile(name);
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path;
}

std::string ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
