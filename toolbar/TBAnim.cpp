#include "toolbar/TBAnim.h"

#include <atomic>
#include <memory>

#include "platform/ScopeGuards.h"

namespace {

constexpr int FadeDuration = 175;
constexpr int SlideDuration = 150;
constexpr int FadeStartLevel = 40;
constexpr DWORD StepInterval = 10;
// Shows the snapshotted window without drawing it and without the usual activation.
constexpr UINT ShowQuietly = SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOREDRAW | SWP_NOACTIVATE |
                             SWP_SHOWWINDOW | SWP_NOOWNERZORDER | SWP_ASYNCWINDOWPOS;

// One animation. The worker reads the timing fields and writes Level, LastCursorPos, Finished and
// StepPending; the window's thread reads Level and Finished and clears StepPending.
struct TAnimationData {
    LONG Sequence = 0;
    HWND Wnd = nullptr;
    int Duration = 0;
    bool Blend = false;
    std::atomic<int> Level{0};
    std::unique_ptr<TWindowDC> ScreenDC;
    TGdiObject<HBITMAP> Bmp;
    std::unique_ptr<TBitmapDC> BmpDC;
    RECT ScreenClientRect{};
    SIZE Size{};
    POINT LastCursorPos{};
    TTBSlideDirections Direction = 0;
    std::atomic<bool> StopRequested{false};
    std::atomic<bool> Finished{false};
    std::atomic<LONG> StepPending{0};
};

// The animation of the thread that starts them; the worker is joined before the record goes.
struct TAnimationState {
    HANDLE Thread = nullptr;
    LONG Sequence = 0;
    std::unique_ptr<TAnimationData> Data;

    TAnimationState() = default;
    TAnimationState(const TAnimationState&) = delete;
    TAnimationState& operator=(const TAnimationState&) = delete;
    ~TAnimationState() { JoinWorker(); }

    void JoinWorker()
    {
        if (!Thread)
            return;
        Data->StopRequested = true;
        WaitForSingleObject(Thread, INFINITE);
        CloseHandle(Thread);
        Thread = nullptr;
    }
};

TAnimationState& State()
{
    thread_local TAnimationState state;
    return state;
}

HANDLE CreateSuspendedThread(LPTHREAD_START_ROUTINE proc, void* parameter)
{
    return CreateThread(nullptr, 0, proc, parameter, CREATE_SUSPENDED, nullptr);
}

// Keeps time only: it never touches the window or a GDI object, so the window's thread may wait
// for it at any moment.
DWORD WINAPI AnimationWorker(void* parameter)
{
    TAnimationData& d = *static_cast<TAnimationData*>(parameter);
    const DWORD start = GetTickCount();
    const int startLevel = d.Level;
    DWORD last = start;
    for (;;) {
        if (d.StopRequested)
            break;
        const LONG elapsed = static_cast<LONG>(last - start);
        if (elapsed < 0 || elapsed >= d.Duration)
            break;
        const int newLevel = static_cast<int>(elapsed * 255 / d.Duration) + startLevel;
        if (newLevel < 0 || newLevel >= 255)
            break;
        POINT cursor{};
        GetCursorPos(&cursor);
        if (cursor.x != d.LastCursorPos.x || cursor.y != d.LastCursorPos.y) {
            // The user already points into the menu: show it whole.
            if (PtInRect(&d.ScreenClientRect, cursor))
                break;
            d.LastCursorPos = cursor;
        }
        if (newLevel > d.Level) {
            d.Level = newLevel;
            // At most one step in flight: a busy window gets no backlog.
            if (d.StepPending.exchange(1) == 0)
                SendNotifyMessageA(d.Wnd, TBM_ANIMATIONSTEP, 0, d.Sequence);
        }
        DWORD now = GetTickCount();
        while (now - last < StepInterval) {
            Sleep(5);
            now = GetTickCount();
        }
        last = now;
    }
    d.Finished = true;
    SendNotifyMessageA(d.Wnd, TBM_ANIMATIONSTEP, 0, d.Sequence);
    return 0;
}

void SetRegion(HWND wnd, int left, int top, int right, int bottom)
{
    TGdiObject<HRGN> region(CreateRectRgn(left, top, right, bottom));
    // The window owns a region it accepts.
    if (SetWindowRgn(wnd, region.Get(), FALSE))
        region.Release();
}

// The window back to normal, shown in full; the animation's objects go.
void Finish(TAnimationState& st)
{
    TAnimationData& d = *st.Data;
    if (d.Blend)
        SetWindowLongPtrA(d.Wnd, GWL_EXSTYLE, GetWindowLongPtrA(d.Wnd, GWL_EXSTYLE) & ~static_cast<LONG_PTR>(WS_EX_LAYERED));
    else
        SetWindowRgn(d.Wnd, nullptr, FALSE);
    BitBlt(d.ScreenDC->Get(), 0, 0, d.Size.cx, d.Size.cy, d.BmpDC->Get(), 0, 0, SRCCOPY);
    HWND wnd = d.Wnd;
    st.Data.reset();
    PostMessageA(wnd, TBM_ANIMATIONENDED, 0, 0);
}

} // namespace

TAnimationSystem& AnimationSystem()
{
    static TAnimationSystem system = [] {
        TAnimationSystem s;
        s.UpdateLayeredWindow = reinterpret_cast<decltype(s.UpdateLayeredWindow)>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "UpdateLayeredWindow")));
        s.CreateWorker = CreateSuspendedThread;
        return s;
    }();
    return system;
}

void StartAnimation(HWND wnd, bool blend, TTBSlideDirections direction)
{
    EndAnimation(nullptr);
    TAnimationState& st = State();
    ++st.Sequence;
    auto data = std::make_unique<TAnimationData>();
    TAnimationData& d = *data;
    const TAnimationSystem& system = AnimationSystem();
    d.Sequence = st.Sequence;
    d.Wnd = wnd;
    d.Blend = blend && system.UpdateLayeredWindow;
    d.Direction = direction;
    GetCursorPos(&d.LastCursorPos);
    GetClientRect(wnd, &d.ScreenClientRect);
    MapWindowPoints(wnd, nullptr, reinterpret_cast<POINT*>(&d.ScreenClientRect), 2);
    RECT bounds{};
    GetWindowRect(wnd, &bounds);
    d.Size = SIZE{bounds.right - bounds.left, bounds.bottom - bounds.top};
    d.ScreenDC = std::make_unique<TWindowDC>(wnd, true);
    d.Bmp.Reset(CreateCompatibleBitmap(d.ScreenDC->Get(), d.Size.cx, d.Size.cy));
    d.BmpDC = std::make_unique<TBitmapDC>(d.ScreenDC->Get(), d.Bmp.Get());
    SendMessageA(wnd, WM_PRINT, reinterpret_cast<WPARAM>(d.BmpDC->Get()),
                 PRF_NONCLIENT | PRF_CLIENT | PRF_ERASEBKGND | PRF_CHILDREN);
    if (d.Blend) {
        SetWindowLongPtrA(wnd, GWL_EXSTYLE, GetWindowLongPtrA(wnd, GWL_EXSTYLE) | WS_EX_LAYERED);
        d.Duration = FadeDuration;
        d.Level = FadeStartLevel;
        POINT position{bounds.left, bounds.top};
        POINT source{0, 0};
        BLENDFUNCTION blendFunction{AC_SRC_OVER, 0, static_cast<BYTE>(FadeStartLevel), 0};
        system.UpdateLayeredWindow(wnd, nullptr, &position, &d.Size, d.BmpDC->Get(), &source, 0, &blendFunction,
                                   ULW_ALPHA);
    } else {
        d.Duration = SlideDuration;
        d.Level = 0;
        SetRegion(wnd, 0, 0, 0, 0);
    }
    SetWindowPos(wnd, nullptr, 0, 0, 0, 0, ShowQuietly);
    st.Data = std::move(data);
    HANDLE thread = system.CreateWorker(AnimationWorker, st.Data.get());
    if (!thread) {
        Finish(st);
        return;
    }
    st.Thread = thread;
    ResumeThread(thread);
}

void EndAnimation(HWND wnd)
{
    TAnimationState& st = State();
    if (!st.Thread || (wnd && st.Data->Wnd != wnd))
        return;
    st.JoinWorker();
    Finish(st);
}

void AnimationStep(const TMessage& message)
{
    TAnimationState& st = State();
    if (static_cast<LONG>(message.LParam) != st.Sequence || !st.Data)
        return;
    TAnimationData& d = *st.Data;
    if (d.Finished) {
        EndAnimation(d.Wnd);
        return;
    }
    const int level = d.Level;
    if (d.Blend) {
        BLENDFUNCTION blendFunction{AC_SRC_OVER, 0, static_cast<BYTE>(level), 0};
        AnimationSystem().UpdateLayeredWindow(d.Wnd, nullptr, nullptr, nullptr, nullptr, nullptr, 0, &blendFunction,
                                              ULW_ALPHA);
    } else {
        const int cx = d.Size.cx, cy = d.Size.cy;
        int x = 0, y = 0;
        if (d.Direction & tbsdDown)
            y = MulDiv(cy, level, 255) - cy;
        else if (d.Direction & tbsdUp)
            y = cy - MulDiv(cy, level, 255);
        if (d.Direction & tbsdRight)
            x = MulDiv(cx, level, 255) - cx;
        else if (d.Direction & tbsdLeft)
            x = cx - MulDiv(cx, level, 255);
        SetRegion(d.Wnd, x, y, x + cx, y + cy);
        BitBlt(d.ScreenDC->Get(), x, y, cx, cy, d.BmpDC->Get(), 0, 0, SRCCOPY);
    }
    d.StepPending = 0;
}

bool AnimationRunning(HWND wnd)
{
    TAnimationState& st = State();
    return st.Thread && (!wnd || st.Data->Wnd == wnd);
}
