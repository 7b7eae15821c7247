#include "platform/Timers.h"

#include "platform/Forms.h"
#include "platform/ScopeGuards.h"

SF_IMPLEMENT_COMPONENT(TTimer, TComponent)

namespace {
const char* const UtilWindowClass = "TPUtilWindow";
int gUtilWindows = 0;

LRESULT CALLBACK UtilWndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto* method = reinterpret_cast<TWndMethod*>(GetWindowLongPtrA(wnd, GWLP_USERDATA));
    if (!method)
        return DefWindowProcA(wnd, msg, wParam, lParam);
    TMessage m{msg, wParam, lParam, 0};
    // The receiver may free itself while it handles the message (a timer freed in its own
    // tick), which deletes the method: call through a copy.
    const TWndMethod call = *method;
    try {
        call(m);
    } catch (...) {
        HandleCallbackException(nullptr);
    }
    return m.Result;
}

void RegisterUtilClass()
{
    WNDCLASSA existing{};
    HINSTANCE instance = GetModuleHandleA(nullptr);
    if (GetClassInfoA(instance, UtilWindowClass, &existing))
        return;
    WNDCLASSA wc{};
    wc.lpfnWndProc = &UtilWndProc;
    wc.hInstance = instance;
    wc.lpszClassName = UtilWindowClass;
    if (!RegisterClassA(&wc))
        RaiseLastOSError("RegisterClass TPUtilWindow");
}
}

HWND AllocateHWnd(const TWndMethod& method)
{
    RegisterUtilClass();
    HWND wnd = CreateWindowExA(WS_EX_TOOLWINDOW, UtilWindowClass, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
    if (!wnd)
        RaiseLastOSError("CreateWindow TPUtilWindow");
    if (method)
        SetWindowLongPtrA(wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(new TWndMethod(method)));
    ++gUtilWindows;
    CountHandle(THandleKind::Window, 1);
    return wnd;
}

void DeallocateHWnd(HWND wnd)
{
    if (!wnd)
        return;
    auto* method = reinterpret_cast<TWndMethod*>(GetWindowLongPtrA(wnd, GWLP_USERDATA));
    SetWindowLongPtrA(wnd, GWLP_USERDATA, 0);
    DestroyWindow(wnd);
    delete method;
    --gUtilWindows;
    CountHandle(THandleKind::Window, -1);
}

int AllocatedHWndCount()
{
    return gUtilWindows;
}

TTimer::TTimer(TComponent* owner) : TComponent(owner)
{
    FWindowHandle = AllocateHWnd(TWndMethod(this, &TTimer::WndProc));
}

TTimer::~TTimer()
{
    Stop();
}

void TTimer::BeforeDestruction()
{
    Stop();
    TComponent::BeforeDestruction();
}

void TTimer::Stop()
{
    FEnabled = false;
    UpdateTimer();
    DeallocateHWnd(FWindowHandle);
    FWindowHandle = nullptr;
}

int TTimer::ActiveTimerCount()
{
    return LiveHandles(THandleKind::Timer);
}

void TTimer::UpdateTimer()
{
    if (FRunning) {
        KillTimer(FWindowHandle, 1);
        FRunning = false;
        CountHandle(THandleKind::Timer, -1);
    }
    if (FInterval == 0 || !FEnabled || !FOnTimer || !FWindowHandle)
        return;
    if (!SetTimer(FWindowHandle, 1, FInterval, nullptr))
        throw EOutOfResources("Not enough timers available");
    FRunning = true;
    CountHandle(THandleKind::Timer, 1);
}

void TTimer::SetEnabled(bool value)
{
    if (value == FEnabled)
        return;
    FEnabled = value;
    UpdateTimer();
}

void TTimer::SetInterval(unsigned value)
{
    if (value == FInterval)
        return;
    FInterval = value;
    UpdateTimer();
}

void TTimer::SetOnTimer(const TNotifyEvent& handler)
{
    FOnTimer = handler;
    UpdateTimer();
}

void TTimer::Timer()
{
    // The handler may free the timer, and with it FOnTimer.
    const TNotifyEvent handler = FOnTimer;
    handler(this);
}

void TTimer::WndProc(TMessage& m)
{
    if (m.Msg != WM_TIMER) {
        m.Result = DefWindowProcA(FWindowHandle, m.Msg, m.WParam, m.LParam);
        return;
    }
    try {
        Timer();
    } catch (...) {
        HandleCallbackException(this);
    }
}
