#include "toolbar/TBAcc.h"

#include <atomic>

#include "platform/SysUtils.h"

namespace {

using TNotifyWinEvent = void(WINAPI*)(DWORD, HWND, LONG, LONG);
using TLresultFromObject = LRESULT(WINAPI*)(REFIID, WPARAM, LPUNKNOWN);
using TAccessibleObjectFromWindow = HRESULT(WINAPI*)(HWND, DWORD, REFIID, void**);

template <class F>
F Entry(HMODULE module, const char* name)
{
    return module ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

// The entry points, looked up once.
struct TAccEntries {
    TNotifyWinEvent NotifyWinEvent = nullptr;
    TLresultFromObject LresultFromObject = nullptr;
    TAccessibleObjectFromWindow AccessibleObjectFromWindow = nullptr;
};

const TAccEntries& Entries()
{
    static std::atomic<bool> lookedUp{false};
    static TAccEntries entries;
    if (!lookedUp.load()) {
        TAccEntries found;
        found.NotifyWinEvent = Entry<TNotifyWinEvent>(GetModuleHandleA("user32.dll"), "NotifyWinEvent");
        UINT oldMode = SetErrorMode(SEM_NOOPENFILEERRORBOX);
        HMODULE oleacc = LoadLibraryA("oleacc.dll");
        SetErrorMode(oldMode);
        found.LresultFromObject = Entry<TLresultFromObject>(oleacc, "LresultFromObject");
        found.AccessibleObjectFromWindow = Entry<TAccessibleObjectFromWindow>(oleacc, "AccessibleObjectFromWindow");
        entries = found;
        lookedUp.exchange(true);
    }
    return entries;
}

} // namespace

void NotifyEvent(DWORD event, HWND wnd, LONG objectId, LONG childId)
{
    if (TNotifyWinEvent notify = Entries().NotifyWinEvent)
        notify(event, wnd, objectId, childId);
}

bool AccessibilityAvailable()
{
    const TAccEntries& entries = Entries();
    return entries.LresultFromObject && entries.AccessibleObjectFromWindow;
}

LRESULT AccLresultFromObject(REFIID iid, WPARAM wParam, IUnknown* object)
{
    TLresultFromObject lresult = Entries().LresultFromObject;
    return lresult ? lresult(iid, wParam, object) : 0;
}

bool WindowAccObject(HWND wnd, IDispatch** dispatch)
{
    *dispatch = nullptr;
    TAccessibleObjectFromWindow fromWindow = Entries().AccessibleObjectFromWindow;
    return fromWindow &&
           SUCCEEDED(fromWindow(wnd, static_cast<DWORD>(OBJID_WINDOW), IID_IDispatch, reinterpret_cast<void**>(dispatch))) &&
           *dispatch;
}

std::wstring AltKeyName()
{
    char name[64] = {};
    LONG scan = static_cast<LONG>(MapVirtualKeyA(VK_MENU, MAPVK_VK_TO_VSC)) << 16;
    if (GetKeyNameTextA(scan, name, sizeof(name)) > 0)
        return AnsiToWide(name);
    return L"Alt";
}
