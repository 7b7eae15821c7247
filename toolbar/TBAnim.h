// The show animation of a popup menu window: a fade-in through a layered window or a slide
// through a growing window region. A worker thread only keeps time and asks for each step; the
// window's own thread draws every step, so ending an animation can always wait for the worker.
#pragma once

#include <windows.h>

#include <cstdint>

#include "platform/Messages.h"

// To the animated window: one step is due (lParam: the animation's sequence number). Its handler
// calls AnimationStep.
constexpr UINT TBM_ANIMATIONSTEP = WM_USER + 0x555;
// Posted to the window once the animation is over and the window shows in full.
constexpr UINT TBM_ANIMATIONENDED = WM_USER + 0x556;

// Directions a window slides in (a popup's placement chooses them).
enum TTBSlideDirection : uint8_t {
    tbsdLeft = 1,   // comes in from the right, moving left
    tbsdRight = 2,  // from the left, moving right
    tbsdDown = 4,   // from above, moving down
    tbsdUp = 8,     // from below, moving up
};
using TTBSlideDirections = uint8_t;

// Starts the animation of a hidden, fully laid out window (it is snapshotted through WM_PRINT)
// and shows it. Any running animation of the thread ends first. Fading falls back to sliding
// where the system has no layered windows.
void StartAnimation(HWND wnd, bool blend, TTBSlideDirections direction);
// Ends the thread's running animation (nullptr: whichever window it animates) and shows the
// window in full; waits for the worker.
void EndAnimation(HWND wnd);
// The animated window's handler of TBM_ANIMATIONSTEP.
void AnimationStep(const TMessage& message);
// The thread animates this window now (nullptr: any window).
bool AnimationRunning(HWND wnd);

// What the animation takes from the system, so tests can take parts of it away.
struct TAnimationSystem {
    // nullptr: no layered windows.
    BOOL(WINAPI* UpdateLayeredWindow)(HWND, HDC, POINT*, SIZE*, HDC, POINT*, COLORREF, BLENDFUNCTION*, DWORD) = nullptr;
    // Creates the worker suspended; nullptr when it cannot.
    HANDLE (*CreateWorker)(LPTHREAD_START_ROUTINE proc, void* parameter) = nullptr;
};
TAnimationSystem& AnimationSystem();
