// Per-thread window hooks shared by the framework's objects: a few window events of the thread
// (activation, application activation, position changes, destruction, retrieved messages) fanned
// out to registered procedures, with each Windows hook installed only while someone needs it.
#pragma once

#include <windows.h>

#include <cstdint>

enum class THookKind : uint8_t {
    hkActivate,          // WM_ACTIVATE is being sent to a window of the thread
    hkActivateApp,       // WM_ACTIVATEAPP is being sent
    hkWindowPosChanged,  // WM_WINDOWPOSCHANGED is being sent
    hkDestroyWindow,     // a window is about to be destroyed
    hkGetMessage,        // a message was retrieved from the queue (LParam: the MSG, may be changed)
};
// A set of kinds: bit n stands for kind n.
using THookKinds = uint8_t;

constexpr THookKinds HookKindSet(THookKind kind)
{
    return static_cast<THookKinds>(1u << static_cast<unsigned>(kind));
}
template <class... K>
constexpr THookKinds HookKindSet(THookKind kind, K... more)
{
    return static_cast<THookKinds>(HookKindSet(kind) | HookKindSet(more...));
}

using TWindowHookProc = void (*)(THookKind kind, HWND wnd, WPARAM wParam, LPARAM lParam);

// Registers proc for user (compared by identity). The kinds of the first registration of a
// procedure stay its kinds; registering the same user and procedure again changes nothing.
void AddWindowHook(const void* user, TWindowHookProc proc, THookKinds kinds);
// Withdraws user's registration of proc; unknown registrations are ignored.
void RemoveWindowHook(const void* user, TWindowHookProc proc);
// Removes every hook of the calling thread whatever its count (the thread is finishing).
void RemoveAllWindowHooks();
// Windows hooks installed for the calling thread now (0 to 3).
int InstalledWindowHookCount();
