// Scope guards: each undoes one Win32 or program call when its scope ends, however it ends. Use these
// instead of a cleanup written twice or a catch that cleans up and rethrows.
//
// Guards that own a handle count it while they hold it, by kind (LiveHandles): leak tests read the
// counts, since GetGuiResources answers 0 under Wine. Control windows, utility windows, TTimer's
// timers and the handles of fonts, pens and brushes are counted too, from creation to destruction.
// Only TMemoryDC and TNestingGuard raise; any other guard whose call failed holds nullptr, and the
// caller says why if it matters.
#pragma once

#include <windows.h>

#include <objbase.h>

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

// ---------------------------------------------------------------- counting

enum class THandleKind { DeviceContext, GdiObject, Window, Hook, Timer };

// Handles of a kind that guards hold now, across the process.
int LiveHandles(THandleKind kind);
// For handles whose life is not a scope (a control's window): counted the same way.
void CountHandle(THandleKind kind, int delta);

// ---------------------------------------------------------------- owned handles

// Owns a handle and frees it with Free(handle) unless released first. Moving passes ownership on.
template <class H, auto Free, THandleKind Kind>
class TOwnedHandle {
public:
    TOwnedHandle() = default;
    explicit TOwnedHandle(H handle) { Reset(handle); }
    ~TOwnedHandle() { Reset(); }
    TOwnedHandle(const TOwnedHandle&) = delete;
    TOwnedHandle& operator=(const TOwnedHandle&) = delete;
    TOwnedHandle(TOwnedHandle&& other) noexcept : FHandle(other.FHandle) { other.FHandle = nullptr; }
    TOwnedHandle& operator=(TOwnedHandle&& other) noexcept
    {
        if (this != &other) {
            Reset();
            FHandle = other.FHandle;
            other.FHandle = nullptr;
        }
        return *this;
    }

    H Get() const { return FHandle; }
    explicit operator bool() const { return FHandle != nullptr; }
    bool operator==(std::nullptr_t) const { return FHandle == nullptr; }
    // Gives up ownership: the caller frees the handle.
    H Release()
    {
        H handle = FHandle;
        if (handle)
            CountHandle(Kind, -1);
        FHandle = nullptr;
        return handle;
    }
    void Reset(H handle = nullptr)
    {
        if (handle == FHandle)
            return;
        if (FHandle) {
            Free(FHandle);
            CountHandle(Kind, -1);
        }
        FHandle = handle;
        if (FHandle)
            CountHandle(Kind, 1);
    }

private:
    H FHandle = nullptr;
};

template <class H = HGDIOBJ>
using TGdiObject = TOwnedHandle<H, &DeleteObject, THandleKind::GdiObject>;
using TWindowHandle = TOwnedHandle<HWND, &DestroyWindow, THandleKind::Window>;
using THookHandle = TOwnedHandle<HHOOK, &UnhookWindowsHookEx, THandleKind::Hook>;
// A memory device context: CreateCompatibleDC(reference), deleted with the guard. Raises EOSError
// when none can be made.
class TMemoryDC : public TOwnedHandle<HDC, &DeleteDC, THandleKind::DeviceContext> {
public:
    explicit TMemoryDC(HDC reference = nullptr);
};

// The header of a 32-bit top-down DIB of the given size.
BITMAPINFO Dib32Info(int width, int height);
// A 32-bit top-down DIB section of the given size; empty when the system refuses one. Bits, when
// given, receives the address of its first pixel.
TGdiObject<HBITMAP> MakeDib32(int width, int height, uint32_t** bits = nullptr);

// BeginPaint now, EndPaint with the guard.
class TPaintDC {
public:
    explicit TPaintDC(HWND window) : FWindow(window), FDC(BeginPaint(window, &FPaint)) {}
    ~TPaintDC() { EndPaint(FWindow, &FPaint); }
    TPaintDC(const TPaintDC&) = delete;
    TPaintDC& operator=(const TPaintDC&) = delete;
    HDC Get() const { return FDC; }

private:
    HWND FWindow;
    PAINTSTRUCT FPaint{};
    HDC FDC;
};

// A window's device context (the screen's for nullptr), released with the guard; with
// wholeWindow, the context of the whole window, frame included (GetWindowDC).
class TWindowDC {
public:
    explicit TWindowDC(HWND window = nullptr, bool wholeWindow = false);
    ~TWindowDC();
    TWindowDC(const TWindowDC&) = delete;
    TWindowDC& operator=(const TWindowDC&) = delete;
    HDC Get() const { return FDC; }
    explicit operator bool() const { return FDC != nullptr; }

private:
    HWND FWindow;
    HDC FDC;
};

// A kernel handle (a file, an event), closed with the guard; INVALID_HANDLE_VALUE counts as none.
class TKernelHandle {
public:
    explicit TKernelHandle(HANDLE handle) : FHandle(handle == INVALID_HANDLE_VALUE ? nullptr : handle) {}
    ~TKernelHandle()
    {
        if (FHandle)
            CloseHandle(FHandle);
    }
    TKernelHandle(const TKernelHandle&) = delete;
    TKernelHandle& operator=(const TKernelHandle&) = delete;
    HANDLE Get() const { return FHandle; }
    explicit operator bool() const { return FHandle != nullptr; }

private:
    HANDLE FHandle;
};

// ---------------------------------------------------------------- device context state

// Selects a GDI object into a device context; the one it replaced comes back with the guard.
class TSelectGuard {
public:
    TSelectGuard(HDC dc, HGDIOBJ object) : FDC(dc), FOld(SelectObject(dc, object)) {}
    ~TSelectGuard()
    {
        if (FOld)
            SelectObject(FDC, FOld);
    }
    TSelectGuard(const TSelectGuard&) = delete;
    TSelectGuard& operator=(const TSelectGuard&) = delete;

private:
    HDC FDC;
    HGDIOBJ FOld;
};

// A memory device context drawing on a bitmap, which is selected out again before the context goes.
class TBitmapDC {
public:
    TBitmapDC(HDC reference, HGDIOBJ bitmap) : FDC(reference), FSelect(FDC.Get(), bitmap) {}
    HDC Get() const { return FDC.Get(); }
    explicit operator bool() const { return static_cast<bool>(FDC); }

private:
    TMemoryDC FDC;
    TSelectGuard FSelect;
};

// Everything SaveDC keeps (clipping, mapping, selected objects, colours), restored with the guard.
class TSavedDC {
public:
    explicit TSavedDC(HDC dc) : FDC(dc), FSaved(SaveDC(dc)) {}
    ~TSavedDC()
    {
        if (FSaved)
            RestoreDC(FDC, FSaved);
    }
    TSavedDC(const TSavedDC&) = delete;
    TSavedDC& operator=(const TSavedDC&) = delete;
    HDC Get() const { return FDC; }

private:
    HDC FDC;
    int FSaved;
};

// The device context's clipping narrowed to a rectangle for the life of the guard.
class TClipGuard : public TSavedDC {
public:
    TClipGuard(HDC dc, const RECT& r) : TSavedDC(dc) { IntersectClipRect(dc, r.left, r.top, r.right, r.bottom); }
};

// The device context clipped to a rectangle whose top left corner becomes the origin (with the
// origin at 0, 0 before), for the life of the guard; then the origin it found and the clip region
// the caller names (none: no clip) come back. Unlike TClipGuard it saves nothing else: for many
// small scopes inside one TSavedDC, where saving the whole DC each time costs more than the drawing.
class TClipOriginScope {
public:
    TClipOriginScope(HDC dc, const RECT& r, HRGN clipAfter) : FDC(dc), FClipAfter(clipAfter)
    {
        GetWindowOrgEx(dc, &FOrigin);
        IntersectClipRect(dc, r.left, r.top, r.right, r.bottom);
        SetWindowOrgEx(dc, -r.left, -r.top, nullptr);
    }
    ~TClipOriginScope()
    {
        SetWindowOrgEx(FDC, FOrigin.x, FOrigin.y, nullptr);
        SelectClipRgn(FDC, FClipAfter);
    }
    TClipOriginScope(const TClipOriginScope&) = delete;
    TClipOriginScope& operator=(const TClipOriginScope&) = delete;

private:
    HDC FDC;
    HRGN FClipAfter;
    POINT FOrigin{};
};

// Text colour, background mode and alignment set for drawing text; each comes back with the guard.
// Unlike TSavedDC it adds no records to a metafile being recorded beyond the calls themselves.
class TTextStateGuard {
public:
    TTextStateGuard(HDC dc, COLORREF color, int backgroundMode = TRANSPARENT,
                    UINT align = TA_LEFT | TA_TOP | TA_NOUPDATECP)
        : FDC(dc), FColor(SetTextColor(dc, color)), FMode(SetBkMode(dc, backgroundMode)), FAlign(SetTextAlign(dc, align))
    {
    }
    ~TTextStateGuard()
    {
        SetTextAlign(FDC, FAlign);
        SetBkMode(FDC, FMode);
        SetTextColor(FDC, FColor);
    }
    TTextStateGuard(const TTextStateGuard&) = delete;
    TTextStateGuard& operator=(const TTextStateGuard&) = delete;

private:
    HDC FDC;
    COLORREF FColor;
    int FMode;
    UINT FAlign;
};

// ---------------------------------------------------------------- memory, clipboard, COM

// A global memory block locked for the life of the guard; Get() is nullptr when it cannot be locked.
template <class T = void>
class TGlobalLock {
public:
    explicit TGlobalLock(HGLOBAL block) : FBlock(block), FData(block ? GlobalLock(block) : nullptr) {}
    ~TGlobalLock()
    {
        if (FData)
            GlobalUnlock(FBlock);
    }
    TGlobalLock(const TGlobalLock&) = delete;
    TGlobalLock& operator=(const TGlobalLock&) = delete;
    T* Get() const { return static_cast<T*>(FData); }
    SIZE_T Size() const { return GlobalSize(FBlock); }

private:
    HGLOBAL FBlock;
    void* FData;
};

// Address space reserved for a block of memory whose pages are committed only as they are asked
// for, so that what is never written costs nothing; all of it is given back with the guard.
// Committed pages read as zero until written. Get() is nullptr when the space cannot be reserved.
class TReservedMemory {
public:
    TReservedMemory() = default;
    explicit TReservedMemory(size_t size);
    ~TReservedMemory();
    TReservedMemory(const TReservedMemory&) = delete;
    TReservedMemory& operator=(const TReservedMemory&) = delete;
    TReservedMemory(TReservedMemory&& other) noexcept { *this = std::move(other); }
    TReservedMemory& operator=(TReservedMemory&& other) noexcept;

    void* Get() const { return FBase; }
    size_t Size() const { return FSize; }
    // Commits the pages under [offset, offset + size) that are not committed yet; false when the
    // system has no memory for them.
    bool Commit(size_t offset, size_t size);

private:
    void Free();

    void* FBase = nullptr;
    size_t FSize = 0;
    size_t FPageSize = 0;
    // One bit per page: committed or not.
    std::vector<uint64_t> FCommitted;
};

// The Win32 clipboard opened for the life of the guard. Another program may hold it for a moment,
// so opening tries a few times; Open() says whether it succeeded.
class TClipboardOpen {
public:
    explicit TClipboardOpen(HWND owner);
    ~TClipboardOpen();
    TClipboardOpen(const TClipboardOpen&) = delete;
    TClipboardOpen& operator=(const TClipboardOpen&) = delete;
    bool Open() const { return FOpen; }

private:
    bool FOpen = false;
};

// COM on this thread for the life of the guard, when the thread has not initialized it another way.
class TComInit {
public:
    explicit TComInit(DWORD model = COINIT_APARTMENTTHREADED) : FResult(CoInitializeEx(nullptr, model)) {}
    ~TComInit()
    {
        if (SUCCEEDED(FResult))
            CoUninitialize();
    }
    TComInit(const TComInit&) = delete;
    TComInit& operator=(const TComInit&) = delete;
    HRESULT Result() const { return FResult; }

private:
    HRESULT FResult;
};

// ---------------------------------------------------------------- windows

// A timer of a window (or a thread timer for a null window), killed with the guard.
class TTimerScope {
public:
    TTimerScope(HWND window, UINT_PTR id, UINT milliseconds, TIMERPROC proc = nullptr);
    ~TTimerScope();
    TTimerScope(const TTimerScope&) = delete;
    TTimerScope& operator=(const TTimerScope&) = delete;
    // The timer's id as WM_TIMER carries it; 0 when it could not be set.
    UINT_PTR Get() const { return FId; }

private:
    HWND FWindow;
    UINT_PTR FId;
};

// The mouse captured by a window; released with the guard unless another window took it since.
class TMouseCapture {
public:
    explicit TMouseCapture(HWND window) : FWindow(window) { SetCapture(window); }
    ~TMouseCapture()
    {
        if (GetCapture() == FWindow)
            ReleaseCapture();
    }
    TMouseCapture(const TMouseCapture&) = delete;
    TMouseCapture& operator=(const TMouseCapture&) = delete;

private:
    HWND FWindow;
};

// The cursor kept inside a screen rectangle; free again with the guard.
class TCursorClip {
public:
    explicit TCursorClip(const RECT& r) : FClipped(ClipCursor(&r) != FALSE) {}
    ~TCursorClip()
    {
        if (FClipped)
            ClipCursor(nullptr);
    }
    TCursorClip(const TCursorClip&) = delete;
    TCursorClip& operator=(const TCursorClip&) = delete;

private:
    bool FClipped;
};

// Window updates locked on the desktop and a DC that draws over every window (drag outlines);
// both given back with the guard.
class TDesktopDrawDC {
public:
    TDesktopDrawDC();
    ~TDesktopDrawDC();
    TDesktopDrawDC(const TDesktopDrawDC&) = delete;
    TDesktopDrawDC& operator=(const TDesktopDrawDC&) = delete;
    HDC Get() const { return FDC; }
    explicit operator bool() const { return FDC != nullptr; }

private:
    bool FLocked = false;
    HDC FDC = nullptr;
};

// The hour-glass while an operation runs; the cursor before it comes back on every way out.
class TBusyCursor {
public:
    TBusyCursor();
    ~TBusyCursor();
    TBusyCursor(const TBusyCursor&) = delete;
    TBusyCursor& operator=(const TBusyCursor&) = delete;

private:
    int FSaved = 0;
};

// ---------------------------------------------------------------- program state

// Runs a cleanup when the scope ends, however it ends: for pairs of calls no guard here covers.
// The cleanup must not raise.
template <class F>
class TScopeExit {
public:
    explicit TScopeExit(F cleanup) : FCleanup(std::move(cleanup)) {}
    ~TScopeExit() { FCleanup(); }
    TScopeExit(const TScopeExit&) = delete;
    TScopeExit& operator=(const TScopeExit&) = delete;

private:
    F FCleanup;
};

// Undoes a half-done change when the scope ends before Commit(), that is, when a step of the
// change raised: the state before stays for the caller. The rollback must not raise.
template <class F>
class TRollback {
public:
    explicit TRollback(F rollback) : FRollback(std::move(rollback)) {}
    ~TRollback()
    {
        if (!FCommitted)
            FRollback();
    }
    TRollback(const TRollback&) = delete;
    TRollback& operator=(const TRollback&) = delete;
    void Commit() { FCommitted = true; }

private:
    F FRollback;
    bool FCommitted = false;
};

// object->BeginUpdate() now, object->EndUpdate() with the guard.
template <class T>
class TUpdateScope {
public:
    explicit TUpdateScope(T* object) : FObject(object) { FObject->BeginUpdate(); }
    ~TUpdateScope() { FObject->EndUpdate(); }
    TUpdateScope(const TUpdateScope&) = delete;
    TUpdateScope& operator=(const TUpdateScope&) = delete;

private:
    T* FObject;
};

// object->Open() now, object->Close() with the guard (an object that counts its openings).
template <class T>
class TOpenScope {
public:
    explicit TOpenScope(T* object) : FObject(object) { FObject->Open(); }
    ~TOpenScope() { FObject->Close(); }
    TOpenScope(const TOpenScope&) = delete;
    TOpenScope& operator=(const TOpenScope&) = delete;

private:
    T* FObject;
};

// Gives a variable a value for the length of a scope; on the way out it is as it was before.
template <class T>
class TValueScope {
public:
    TValueScope(T& variable, T value) : FVariable(variable), FPrevious(variable) { FVariable = value; }
    ~TValueScope() { FVariable = FPrevious; }
    TValueScope(const TValueScope&) = delete;
    TValueScope& operator=(const TValueScope&) = delete;

private:
    T& FVariable;
    T FPrevious;
};

// Sets a flag for the length of a scope; on the way out it is as it was before.
class TFlagScope : public TValueScope<bool> {
public:
    explicit TFlagScope(bool& flag) : TValueScope(flag, true) {}
};

// Counts one more for the length of a scope (re-entry counters such as "refreshing").
class TCountScope {
public:
    explicit TCountScope(int& count) : FCount(count) { ++FCount; }
    ~TCountScope() { --FCount; }
    TCountScope(const TCountScope&) = delete;
    TCountScope& operator=(const TCountScope&) = delete;

private:
    int& FCount;
};

// One level of recursion counted in depth for as long as the guard lives. At the limit tooDeep()
// is called instead, and must raise: a reader of nested data refuses input nested beyond reason.
class TNestingGuard {
public:
    template <class F>
    TNestingGuard(int& depth, int limit, F&& tooDeep) : FDepth(depth)
    {
        if (FDepth >= limit)
            tooDeep();
        ++FDepth;
    }
    ~TNestingGuard() { --FDepth; }
    TNestingGuard(const TNestingGuard&) = delete;
    TNestingGuard& operator=(const TNestingGuard&) = delete;

private:
    int& FDepth;
};
