#include "DialogTestSupport.h"

#include <gtest/gtest.h>

#include "UnicodeLayerEnvironment.h"

namespace {
// The program's dialogs hold the Unicode layer's controls: they find it started as the program
// starts it.
const testing::Environment* const kUnicodeLayer = testing::AddGlobalTestEnvironment(new TUnicodeLayerEnvironment(false));
}

TDialogWatchdog::TDialogWatchdog(DWORD timeoutMs)
    : FThreadId(GetCurrentThreadId()), FTimeout(timeoutMs), FStop(CreateEventA(nullptr, TRUE, FALSE, nullptr))
{
    FThread = CreateThread(nullptr, 0, &TDialogWatchdog::Run, this, 0, nullptr);
}

TDialogWatchdog::~TDialogWatchdog()
{
    SetEvent(FStop);
    WaitForSingleObject(FThread, INFINITE);
    CloseHandle(FThread);
    CloseHandle(FStop);
}

DWORD WINAPI TDialogWatchdog::Run(LPVOID param)
{
    auto* self = static_cast<TDialogWatchdog*>(param);
    while (WaitForSingleObject(self->FStop, self->FTimeout) == WAIT_TIMEOUT) {
        self->FFired = true;
        EnumThreadWindows(self->FThreadId, &TDialogWatchdog::CloseWindow, 0);
    }
    return 0;
}

BOOL CALLBACK TDialogWatchdog::CloseWindow(HWND wnd, LPARAM)
{
    PostMessageA(wnd, WM_COMMAND, IDCANCEL, 0);
    PostMessageA(wnd, WM_CLOSE, 0, 0);
    return TRUE;
}

namespace {
constexpr UINT WM_SCRIPT_TICK = WM_APP + 77;
}

TScriptedSteps::TScriptedSteps(std::vector<std::function<bool()>> steps, UINT intervalMs)
    : FSteps(std::move(steps)), FInterval(intervalMs), FStop(CreateEventA(nullptr, TRUE, FALSE, nullptr))
{
    WNDCLASSA wc{};
    wc.lpfnWndProc = &TScriptedSteps::WindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "TScriptedStepsWindow";
    RegisterClassA(&wc);
    FWindow = CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    SetWindowLongPtrA(FWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    FTicker = CreateThread(nullptr, 0, &TScriptedSteps::Ticker, this, 0, nullptr);
}

TScriptedSteps::~TScriptedSteps()
{
    SetEvent(FStop);
    WaitForSingleObject(FTicker, INFINITE);
    CloseHandle(FTicker);
    CloseHandle(FStop);
    SetWindowLongPtrA(FWindow, GWLP_USERDATA, 0);
    DestroyWindow(FWindow);
}

DWORD WINAPI TScriptedSteps::Ticker(LPVOID param)
{
    auto* self = static_cast<TScriptedSteps*>(param);
    while (WaitForSingleObject(self->FStop, self->FInterval) == WAIT_TIMEOUT)
        PostMessageA(self->FWindow, WM_SCRIPT_TICK, 0, 0);
    return 0;
}

LRESULT CALLBACK TScriptedSteps::WindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_SCRIPT_TICK) {
        if (auto* self = reinterpret_cast<TScriptedSteps*>(GetWindowLongPtrA(wnd, GWLP_USERDATA)))
            self->Tick();
        return 0;
    }
    // The watchdog closes every window of the thread: this one stays.
    if (msg == WM_CLOSE)
        return 0;
    return DefWindowProcA(wnd, msg, wParam, lParam);
}

void TScriptedSteps::Tick()
{
    if (Done())
        return;
    // The next step is due as soon as this one starts: a step that opens a modal loop sees the
    // following steps run inside it.
    size_t index = FNext++;
    bool done = true;
    try {
        done = FSteps[index]();
    } catch (const std::exception& e) {
        ADD_FAILURE() << "step " << index << " raised: " << e.what();
    } catch (...) {
        ADD_FAILURE() << "step " << index << " raised";
    }
    if (!done && FNext == index + 1)
        FNext = index;
}

namespace {

struct TDialogSearch {
    std::string Caption;
    HWND Found = nullptr;
};

BOOL CALLBACK MatchDialog(HWND wnd, LPARAM data)
{
    auto* search = reinterpret_cast<TDialogSearch*>(data);
    char className[32] = {};
    char caption[256] = {};
    GetClassNameA(wnd, className, sizeof(className));
    GetWindowTextA(wnd, caption, sizeof(caption));
    if (IsWindowVisible(wnd) && lstrcmpA(className, "#32770") == 0 && search->Caption == caption) {
        search->Found = wnd;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

HWND FindThreadDialog(const std::string& caption)
{
    TDialogSearch search{caption};
    EnumThreadWindows(GetCurrentThreadId(), &MatchDialog, reinterpret_cast<LPARAM>(&search));
    return search.Found;
}

std::string MessageBoxText(HWND box)
{
    char text[1024] = {};
    GetDlgItemTextA(box, 0xFFFF, text, sizeof(text));
    return text;
}
