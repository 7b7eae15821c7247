// Scripted input for tests of modal loops: steps played by a thread timer while the loop runs, a
// watchdog that ends a loop left hanging, and the mouse messages the system would post.
#pragma once

#include <windows.h>

#include <functional>
#include <vector>

#include "TestSupport.h"
#include "platform/ScopeGuards.h"

namespace scripted_input_detail {

struct TScript {
    std::vector<std::function<void()>> Steps;
    size_t Next = 0;
    bool WatchdogFired = false;
};
inline TScript* gScript = nullptr;

inline void CALLBACK ScriptTick(HWND, UINT, UINT_PTR, DWORD)
{
    if (!gScript || gScript->Next >= gScript->Steps.size())
        return;
    gScript->Steps[gScript->Next++]();
}

inline void CALLBACK WatchdogTick(HWND, UINT, UINT_PTR, DWORD)
{
    if (!gScript)
        return;
    gScript->WatchdogFired = true;
    gScript->Next = gScript->Steps.size();
    if (HWND capture = GetCapture()) {
        PostMessageA(capture, WM_KEYDOWN, VK_ESCAPE, 0);
        ReleaseCapture();
    }
}

// Moves the cursor and posts a mouse message to the window with the capture, as the system would.
inline void PostMouse(UINT msg, WPARAM keys, POINT screen)
{
    SetCursorPos(screen.x, screen.y);
    HWND target = GetCapture();
    if (!target)
        return;
    POINT client = screen;
    ScreenToClient(target, &client);
    PostMessageA(target, msg, keys, MAKELPARAM(client.x, client.y));
}

} // namespace scripted_input_detail

// Runs `body` while a thread timer plays `script` one step every `stepMs` milliseconds; a
// watchdog posts Escape and releases the capture once `limitMs` pass. True when the script ran to
// its end before the watchdog fired.
inline bool RunScripted(const std::function<void()>& body, std::vector<std::function<void()>> script,
                        UINT stepMs = 30, UINT limitMs = 5000)
{
    using namespace scripted_input_detail;
    TScript run;
    run.Steps = std::move(script);
    gScript = &run;
    {
        TTimerScope steps(nullptr, 0, stepMs, &ScriptTick);
        TTimerScope watchdog(nullptr, 0, limitMs, &WatchdogTick);
        body();
    }
    gScript = nullptr;
    PumpMessages();
    return !run.WatchdogFired && run.Next >= run.Steps.size();
}

// Moves the cursor and posts the mouse move the system would send to the window with the capture.
inline void MoveMouse(POINT screen)
{
    scripted_input_detail::PostMouse(WM_MOUSEMOVE, MK_LBUTTON, screen);
}

inline void ReleaseButton(POINT screen)
{
    scripted_input_detail::PostMouse(WM_LBUTTONUP, 0, screen);
}
