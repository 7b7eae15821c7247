// Driving modal windows from inside their own message loops: scripted steps on a thread timer,
// a watchdog that cancels whatever is still open when a test loses its way, and message box
// lookup.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <vector>

// Cancels and closes every window of the test's thread, again and again, once the time is up,
// so that a modal window the test failed to drive ends the test instead of hanging it.
class TDialogWatchdog {
public:
    explicit TDialogWatchdog(DWORD timeoutMs = 8000);
    ~TDialogWatchdog();
    TDialogWatchdog(const TDialogWatchdog&) = delete;
    TDialogWatchdog& operator=(const TDialogWatchdog&) = delete;
    bool Fired() const { return FFired; }

private:
    static DWORD WINAPI Run(LPVOID param);
    static BOOL CALLBACK CloseWindow(HWND wnd, LPARAM);

    DWORD FThreadId;
    DWORD FTimeout;
    HANDLE FStop;
    HANDLE FThread = nullptr;
    std::atomic<bool> FFired{false};
};

// Runs steps one after another on the current thread, inside whatever modal loop is going on: a
// helper thread posts a tick to a hidden window of this thread, which every loop dispatches.
// A step returns false to be tried again at the next tick; the steps after one that opens a
// modal loop run inside that loop.
class TScriptedSteps {
public:
    explicit TScriptedSteps(std::vector<std::function<bool()>> steps, UINT intervalMs = 40);
    ~TScriptedSteps();
    TScriptedSteps(const TScriptedSteps&) = delete;
    TScriptedSteps& operator=(const TScriptedSteps&) = delete;
    bool Done() const { return FNext >= FSteps.size(); }
    size_t Next() const { return FNext; }

private:
    static LRESULT CALLBACK WindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
    static DWORD WINAPI Ticker(LPVOID param);
    void Tick();

    std::vector<std::function<bool()>> FSteps;
    size_t FNext = 0;
    HWND FWindow = nullptr;
    UINT FInterval;
    HANDLE FStop;
    HANDLE FTicker = nullptr;
};

// The visible system dialog (a message box) of this thread with the caption, or 0.
HWND FindThreadDialog(const std::string& caption);
// The text of a message box.
std::string MessageBoxText(HWND box);
