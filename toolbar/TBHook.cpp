#include "toolbar/TBHook.h"

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

#include "platform/Exceptions.h"
#include "platform/ScopeGuards.h"

namespace {

// The three Windows hooks behind the five kinds.
enum THookType { htCallWndProc, htCBT, htGetMessage, HookTypeCount };
using THookTypes = uint8_t;

constexpr int WindowsHookIds[HookTypeCount] = {WH_CALLWNDPROC, WH_CBT, WH_GETMESSAGE};

THookType TypeOfKind(THookKind kind)
{
    switch (kind) {
    case THookKind::hkDestroyWindow:
        return htCBT;
    case THookKind::hkGetMessage:
        return htGetMessage;
    default:
        return htCallWndProc;
    }
}

THookTypes TypesOfKinds(THookKinds kinds)
{
    THookTypes types = 0;
    for (unsigned k = 0; k <= static_cast<unsigned>(THookKind::hkGetMessage); ++k)
        if (kinds & (1u << k))
            types |= static_cast<THookTypes>(1u << TypeOfKind(static_cast<THookKind>(k)));
    return types;
}

struct TUserRecord {
    const void* User = nullptr;
    THookTypes InstalledTypes = 0;
};

struct TProcRecord {
    TWindowHookProc Proc = nullptr;
    THookKinds Kinds = 0;
    std::vector<TUserRecord> Users;  // the newest user first
};

struct TThreadHooks {
    std::array<THookHandle, HookTypeCount> Handles;
    std::array<int, HookTypeCount> Counts{};
    std::vector<TProcRecord> Procs;  // in registration order
};

// Created on the thread's first registration, gone with its last one.
thread_local TThreadHooks* tHooks = nullptr;

LRESULT CALLBACK CallWndProcHook(int code, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK CBTHook(int code, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK GetMessageHook(int code, WPARAM wParam, LPARAM lParam);

constexpr HOOKPROC HookProcs[HookTypeCount] = {&CallWndProcHook, &CBTHook, &GetMessageHook};

TProcRecord* FindProc(TWindowHookProc proc)
{
    if (!tHooks)
        return nullptr;
    for (TProcRecord& r : tHooks->Procs)
        if (r.Proc == proc)
            return &r;
    return nullptr;
}

void InstallNeededHooks(THookTypes types)
{
    for (int t = 0; t < HookTypeCount; ++t) {
        if (!(types & (1u << t)) || tHooks->Handles[t])
            continue;
        tHooks->Handles[t].Reset(SetWindowsHookExW(WindowsHookIds[t], HookProcs[t], nullptr, GetCurrentThreadId()));
    }
}

void FreeWhenUnused()
{
    if (tHooks && tHooks->Procs.empty()) {
        delete tHooks;
        tHooks = nullptr;
    }
}

// Calls every procedure registered for the kind. Handlers may register or withdraw procedures
// (a window freed by a handler withdraws its own), so the walk runs over a copy and skips
// procedures that are gone by the time their turn comes.
void DispatchKind(THookKind kind, HWND wnd, WPARAM wParam, LPARAM lParam)
{
    if (!tHooks)
        return;
    std::vector<TWindowHookProc> procs;
    for (const TProcRecord& r : tHooks->Procs)
        if (r.Kinds & HookKindSet(kind))
            procs.push_back(r.Proc);
    for (TWindowHookProc proc : procs) {
        if (!FindProc(proc))
            continue;
        // No error box from here: its activation and position messages would come back through
        // this same hook, and a procedure that always fails would stack boxes without end.
        try {
            proc(kind, wnd, wParam, lParam);
        } catch (...) {
            TraceException(std::current_exception());
        }
    }
}

LRESULT NextHook(THookType type, int code, WPARAM wParam, LPARAM lParam)
{
    HHOOK hook = tHooks ? tHooks->Handles[type].Get() : nullptr;
    return CallNextHookEx(hook, code, wParam, lParam);
}

LRESULT CALLBACK CallWndProcHook(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HC_ACTION && tHooks) {
        const auto* cwp = reinterpret_cast<const CWPSTRUCT*>(lParam);
        switch (cwp->message) {
        case WM_ACTIVATE:
            DispatchKind(THookKind::hkActivate, cwp->hwnd, cwp->wParam, cwp->lParam);
            break;
        case WM_ACTIVATEAPP:
            DispatchKind(THookKind::hkActivateApp, cwp->hwnd, cwp->wParam, cwp->lParam);
            break;
        case WM_WINDOWPOSCHANGED:
            DispatchKind(THookKind::hkWindowPosChanged, cwp->hwnd, cwp->wParam, cwp->lParam);
            break;
        default:
            break;
        }
    }
    return NextHook(htCallWndProc, code, wParam, lParam);
}

LRESULT CALLBACK CBTHook(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_DESTROYWND)
        DispatchKind(THookKind::hkDestroyWindow, reinterpret_cast<HWND>(wParam), 0, 0);
    return NextHook(htCBT, code, wParam, lParam);
}

LRESULT CALLBACK GetMessageHook(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HC_ACTION)
        DispatchKind(THookKind::hkGetMessage, nullptr, wParam, lParam);
    return NextHook(htGetMessage, code, wParam, lParam);
}

} // namespace

void AddWindowHook(const void* user, TWindowHookProc proc, THookKinds kinds)
{
    if (!tHooks)
        tHooks = new TThreadHooks;
    TProcRecord* record = FindProc(proc);
    if (!record) {
        tHooks->Procs.push_back(TProcRecord{proc, kinds, {}});
        record = &tHooks->Procs.back();
    }
    auto it = std::find_if(record->Users.begin(), record->Users.end(),
                           [user](const TUserRecord& u) { return u.User == user; });
    if (it == record->Users.end())
        it = record->Users.insert(record->Users.begin(), TUserRecord{user, 0});
    // A repeated registration finds its types counted already and adds nothing.
    THookTypes needed = TypesOfKinds(record->Kinds);
    for (int t = 0; t < HookTypeCount; ++t) {
        if ((needed & (1u << t)) && !(it->InstalledTypes & (1u << t))) {
            ++tHooks->Counts[t];
            it->InstalledTypes |= static_cast<THookTypes>(1u << t);
        }
    }
    InstallNeededHooks(it->InstalledTypes);
}

void RemoveWindowHook(const void* user, TWindowHookProc proc)
{
    TProcRecord* record = FindProc(proc);
    if (!record)
        return;
    auto it = std::find_if(record->Users.begin(), record->Users.end(),
                           [user](const TUserRecord& u) { return u.User == user; });
    if (it == record->Users.end())
        return;
    THookTypes types = it->InstalledTypes;
    record->Users.erase(it);
    if (record->Users.empty())
        tHooks->Procs.erase(tHooks->Procs.begin() + (record - tHooks->Procs.data()));
    for (int t = 0; t < HookTypeCount; ++t) {
        if (!(types & (1u << t)))
            continue;
        if (--tHooks->Counts[t] == 0)
            tHooks->Handles[t].Reset();
    }
    FreeWhenUnused();
}

void RemoveAllWindowHooks()
{
    if (!tHooks)
        return;
    for (THookHandle& h : tHooks->Handles)
        h.Reset();
    tHooks->Counts = {};
    for (TProcRecord& r : tHooks->Procs)
        for (TUserRecord& u : r.Users)
            u.InstalledTypes = 0;
}

int InstalledWindowHookCount()
{
    if (!tHooks)
        return 0;
    return static_cast<int>(std::count_if(tHooks->Handles.begin(), tHooks->Handles.end(),
                                          [](const THookHandle& h) { return static_cast<bool>(h); }));
}
