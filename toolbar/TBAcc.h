// Menus and toolbars for screen readers: the accessibility events they raise, and the system's
// accessibility entry points, bound at run time so the program runs where they are missing.
#pragma once

#include <windows.h>

#include <oleacc.h>

#include <string>

// Raises a WinEvent when the system has NotifyWinEvent; nothing otherwise.
void NotifyEvent(DWORD event, HWND wnd, LONG objectId, LONG childId);
// The accessibility library answers WM_GETOBJECT and finds window objects.
bool AccessibilityAvailable();
// LresultFromObject of the accessibility library (0 without it).
LRESULT AccLresultFromObject(REFIID iid, WPARAM wParam, IUnknown* object);
// The window's own accessible object (OBJID_WINDOW); true when there is one.
bool WindowAccObject(HWND wnd, IDispatch** dispatch);
// The localized name of the Alt key, "Alt" when the system gives none.
std::wstring AltKeyName();
