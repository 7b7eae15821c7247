// Per-thread window hooks: installation counted per user and procedure, dispatch in registration
// order to each procedure once, fixed kinds, exceptions kept inside the hook.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ToolbarTestSupport.h"
#include "platform/Forms.h"
#include "platform/ScopeGuards.h"
#include "toolbar/TBHook.h"

namespace {

std::vector<std::string> gCalls;
HWND gWatched = nullptr;

void Record(const char* name, THookKind kind, HWND wnd)
{
    if (kind == THookKind::hkDestroyWindow && wnd != gWatched)
        return;
    gCalls.push_back(std::string(name) + ":" + std::to_string(static_cast<int>(kind)));
}

void ProcA(THookKind kind, HWND wnd, WPARAM, LPARAM) { Record("A", kind, wnd); }
void ProcB(THookKind kind, HWND wnd, WPARAM, LPARAM) { Record("B", kind, wnd); }
void Thrower(THookKind kind, HWND wnd, WPARAM, LPARAM)
{
    Record("T", kind, wnd);
    if (kind == THookKind::hkDestroyWindow && wnd == gWatched)
        throw Exception("hook procedure failed");
}

void ChangeMessage(THookKind, HWND, WPARAM, LPARAM lParam)
{
    auto* msg = reinterpret_cast<MSG*>(lParam);
    if (msg && msg->message == WM_APP + 7)
        msg->wParam = 42;
}

// Withdraws itself and ProcB while the destruction of a window is dispatched.
const int gSelfUser = 0;
void SelfRemover(THookKind kind, HWND wnd, WPARAM, LPARAM)
{
    Record("S", kind, wnd);
    if (kind == THookKind::hkDestroyWindow && wnd == gWatched) {
        RemoveWindowHook(&gSelfUser, &SelfRemover);
        RemoveWindowHook(&gSelfUser, &ProcB);
    }
}

class TBHook : public testing::Test {
protected:
    void SetUp() override
    {
        gCalls.clear();
        gWatched = nullptr;
        ASSERT_EQ(InstalledWindowHookCount(), 0);
    }
    void TearDown() override { EXPECT_EQ(InstalledWindowHookCount(), 0); }

    void DestroyWatchedWindow()
    {
        TTestWindow* w = new TTestWindow(50, 50);
        gWatched = w->Handle();
        delete w;
    }
};

TEST_F(TBHook, InstallationIsCountedPerUserAndProcedure)
{
    const int userA = 0, userB = 0;
    int hooksBefore = LiveHandles(THandleKind::Hook);
    struct TStep {
        const char* What;
        bool Add;
        const void* User;
        TWindowHookProc Proc;
        THookKinds Kinds;
        int Installed;
    };
    const TStep steps[] = {
        {"first user", true, &userA, &ProcA, HookKindSet(THookKind::hkActivate), 1},
        {"same user again", true, &userA, &ProcA, HookKindSet(THookKind::hkActivate), 1},
        {"second user, other kinds", true, &userB, &ProcA, HookKindSet(THookKind::hkGetMessage), 1},
        {"other procedure, two types", true, &userA, &ProcB,
         HookKindSet(THookKind::hkDestroyWindow, THookKind::hkGetMessage), 3},
        {"unknown registration", false, &userB, &ProcB, 0, 3},
        {"one removal undoes the repeat", false, &userA, &ProcA, 0, 3},
        {"last user of A", false, &userB, &ProcA, 0, 2},
        {"last procedure", false, &userA, &ProcB, 0, 0},
        {"removing again", false, &userA, &ProcB, 0, 0},
    };
    for (const TStep& s : steps) {
        if (s.Add)
            AddWindowHook(s.User, s.Proc, s.Kinds);
        else
            RemoveWindowHook(s.User, s.Proc);
        EXPECT_EQ(InstalledWindowHookCount(), s.Installed) << s.What;
        EXPECT_EQ(LiveHandles(THandleKind::Hook) - hooksBefore, s.Installed) << s.What;
    }
}

TEST_F(TBHook, DispatchReachesEachProcedureOnceInOrder)
{
    const int userA = 0, userB = 0;
    AddWindowHook(&userA, &ProcB, HookKindSet(THookKind::hkDestroyWindow));
    AddWindowHook(&userA, &ProcA, HookKindSet(THookKind::hkDestroyWindow));
    // A second user of ProcA neither doubles its calls nor adds the kinds it names.
    AddWindowHook(&userB, &ProcA, HookKindSet(THookKind::hkGetMessage, THookKind::hkDestroyWindow));
    DestroyWatchedWindow();
    PostThreadMessageA(GetCurrentThreadId(), WM_APP, 0, 0);
    PumpMessages();
    EXPECT_EQ(gCalls, (std::vector<std::string>{"B:3", "A:3"}));
    RemoveWindowHook(&userA, &ProcA);
    RemoveWindowHook(&userB, &ProcA);
    RemoveWindowHook(&userA, &ProcB);
}

TEST_F(TBHook, ExceptionStaysInsideAndOthersStillRun)
{
    // An error box opened from inside the hook would send its own activation through it again.
    std::vector<std::string> reported;
    Application->OnException = [&](TObject*, const Exception& e) { reported.push_back(e.what()); };
    const int user = 0;
    AddWindowHook(&user, &ProcA, HookKindSet(THookKind::hkDestroyWindow));
    AddWindowHook(&user, &Thrower, HookKindSet(THookKind::hkDestroyWindow));
    AddWindowHook(&user, &ProcB, HookKindSet(THookKind::hkDestroyWindow));
    DestroyWatchedWindow();
    EXPECT_EQ(gCalls, (std::vector<std::string>{"A:3", "T:3", "B:3"}));
    EXPECT_TRUE(reported.empty()) << "the application's handler was asked: " << reported.front();
    Application->OnException = nullptr;
    RemoveWindowHook(&user, &ProcA);
    RemoveWindowHook(&user, &Thrower);
    RemoveWindowHook(&user, &ProcB);
}

TEST_F(TBHook, ProcedureWithdrawnDuringDispatchIsNotCalled)
{
    AddWindowHook(&gSelfUser, &SelfRemover, HookKindSet(THookKind::hkDestroyWindow));
    AddWindowHook(&gSelfUser, &ProcB, HookKindSet(THookKind::hkDestroyWindow));
    DestroyWatchedWindow();
    EXPECT_EQ(gCalls, std::vector<std::string>{"S:3"});
    EXPECT_EQ(InstalledWindowHookCount(), 0);
}

TEST_F(TBHook, RetrievedMessageMayBeChanged)
{
    const int user = 0;
    AddWindowHook(&user, &ChangeMessage, HookKindSet(THookKind::hkGetMessage));
    PostThreadMessageA(GetCurrentThreadId(), WM_APP + 7, 1, 0);
    MSG msg{};
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_APP + 7, WM_APP + 7, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 42u);
    RemoveWindowHook(&user, &ChangeMessage);
}

TEST_F(TBHook, ForcedRemovalUnhooksEverything)
{
    const int user = 0;
    AddWindowHook(&user, &ProcA, HookKindSet(THookKind::hkActivate, THookKind::hkDestroyWindow));
    EXPECT_EQ(InstalledWindowHookCount(), 2);
    RemoveAllWindowHooks();
    EXPECT_EQ(InstalledWindowHookCount(), 0);
    // The registration itself is still there and goes quietly.
    RemoveWindowHook(&user, &ProcA);
}

} // namespace
