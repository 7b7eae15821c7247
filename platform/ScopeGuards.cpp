#include "platform/ScopeGuards.h"

#include <algorithm>
#include <array>
#include <atomic>

#include "platform/Exceptions.h"
#include "platform/Forms.h"

namespace {

std::array<std::atomic<int>, 5> LiveCounts{};

std::atomic<int>& Count(THandleKind kind) { return LiveCounts.at(static_cast<size_t>(kind)); }

}  // namespace

int LiveHandles(THandleKind kind) { return Count(kind).load(); }

void CountHandle(THandleKind kind, int delta) { Count(kind) += delta; }

TMemoryDC::TMemoryDC(HDC reference) : TOwnedHandle(CreateCompatibleDC(reference))
{
    if (!Get())
        RaiseLastOSError("CreateCompatibleDC");
}

TWindowDC::TWindowDC(HWND window, bool wholeWindow)
    : FWindow(window), FDC(wholeWindow ? GetWindowDC(window) : GetDC(window))
{
    if (FDC)
        CountHandle(THandleKind::DeviceContext, 1);
}

TWindowDC::~TWindowDC()
{
    if (!FDC)
        return;
    ReleaseDC(FWindow, FDC);
    CountHandle(THandleKind::DeviceContext, -1);
}

TReservedMemory::TReservedMemory(size_t size)
{
    if (size == 0)
        return;
    FBase = VirtualAlloc(nullptr, size, MEM_RESERVE, PAGE_NOACCESS);
    if (!FBase)
        return;
    SYSTEM_INFO system{};
    GetSystemInfo(&system);
    FPageSize = system.dwPageSize;
    FSize = size;
    const size_t pages = (size + FPageSize - 1) / FPageSize;
    FCommitted.assign((pages + 63) / 64, 0);
}

TReservedMemory::~TReservedMemory()
{
    Free();
}

TReservedMemory& TReservedMemory::operator=(TReservedMemory&& other) noexcept
{
    if (this == &other)
        return *this;
    Free();
    FBase = std::exchange(other.FBase, nullptr);
    FSize = std::exchange(other.FSize, 0);
    FPageSize = other.FPageSize;
    FCommitted = std::move(other.FCommitted);
    return *this;
}

void TReservedMemory::Free()
{
    if (FBase)
        VirtualFree(FBase, 0, MEM_RELEASE);
    FBase = nullptr;
    FSize = 0;
    FCommitted.clear();
}

bool TReservedMemory::Commit(size_t offset, size_t size)
{
    if (!FBase || size == 0 || offset >= FSize)
        return FBase != nullptr;
    const size_t first = offset / FPageSize;
    const size_t end = (std::min(offset + size, FSize) + FPageSize - 1) / FPageSize;
    auto committed = [&](size_t page) { return (FCommitted[page / 64] >> (page % 64)) & 1; };
    // Runs of pages not committed yet, each with one call.
    for (size_t page = first; page < end;) {
        if (committed(page)) {
            ++page;
            continue;
        }
        size_t runEnd = page + 1;
        while (runEnd < end && !committed(runEnd))
            ++runEnd;
        if (!VirtualAlloc(static_cast<char*>(FBase) + page * FPageSize, (runEnd - page) * FPageSize, MEM_COMMIT,
                          PAGE_READWRITE))
            return false;
        for (; page < runEnd; ++page)
            FCommitted[page / 64] |= uint64_t(1) << (page % 64);
    }
    return true;
}

TClipboardOpen::TClipboardOpen(HWND owner)
{
    for (int attempt = 0; attempt < 10 && !FOpen; ++attempt) {
        FOpen = OpenClipboard(owner) != FALSE;
        if (!FOpen)
            Sleep(10);
    }
}

TClipboardOpen::~TClipboardOpen()
{
    if (FOpen)
        CloseClipboard();
}

TTimerScope::TTimerScope(HWND window, UINT_PTR id, UINT milliseconds, TIMERPROC proc)
    : FWindow(window), FId(SetTimer(window, id, milliseconds, proc))
{
    // A window's timer answers non-zero on success, not necessarily its id.
    if (FId && window)
        FId = id;
    if (FId)
        CountHandle(THandleKind::Timer, 1);
}

TTimerScope::~TTimerScope()
{
    if (!FId)
        return;
    KillTimer(FWindow, FId);
    CountHandle(THandleKind::Timer, -1);
}

TDesktopDrawDC::TDesktopDrawDC()
    : FLocked(LockWindowUpdate(GetDesktopWindow()) != FALSE),
      FDC(GetDCEx(GetDesktopWindow(), nullptr, DCX_WINDOW | DCX_CACHE | (FLocked ? DCX_LOCKWINDOWUPDATE : 0)))
{
    if (FDC)
        CountHandle(THandleKind::DeviceContext, 1);
}

TDesktopDrawDC::~TDesktopDrawDC()
{
    if (FDC) {
        ReleaseDC(GetDesktopWindow(), FDC);
        CountHandle(THandleKind::DeviceContext, -1);
    }
    if (FLocked)
        LockWindowUpdate(nullptr);
}

TBusyCursor::TBusyCursor()
{
    if (!Screen)
        return;
    FSaved = Screen->GetCursor();
    Screen->SetCursor(crHourGlass);
}

TBusyCursor::~TBusyCursor()
{
    if (Screen)
        Screen->SetCursor(FSaved);
}

BITMAPINFO Dib32Info(int width, int height)
{
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

TGdiObject<HBITMAP> MakeDib32(int width, int height, uint32_t** bits)
{
    const BITMAPINFO info = Dib32Info(width, height);
    void* first = nullptr;
    TGdiObject<HBITMAP> dib(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &first, nullptr, 0));
    if (bits)
        *bits = static_cast<uint32_t*>(first);
    return dib;
}
