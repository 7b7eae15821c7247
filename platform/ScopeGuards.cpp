#include "platform/ScopeGuards.h"

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
