#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

#include "platform/Forms.h"
#include "platform/ScopeGuards.h"
#include "platform/StdCtrls.h"

namespace {

HWND MakeWindow() { return CreateWindowExA(0, "STATIC", "", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr); }

LRESULT CALLBACK PassHook(int code, WPARAM w, LPARAM l) { return CallNextHookEx(nullptr, code, w, l); }

// Runs body in a scope left by an exception, as a failed operation leaves it.
void LeaveByThrow(const std::function<void()>& body)
{
    EXPECT_THROW(
        {
            body();
            throw std::runtime_error("left");
        },
        std::runtime_error);
}

}  // namespace

// Each owning guard counts its handle while it holds it and frees it at the end of its scope, also
// when an exception ends the scope; a released handle is the caller's and no longer counted.
TEST(ScopeGuards, OwnedHandlesAreCountedByKindAndFreed)
{
    HWND host = MakeWindow();
    ASSERT_TRUE(host);
    struct TCase {
        const char* Name;
        THandleKind Kind;
        std::function<bool()> LeakedHandleExists;  // holds one and throws; then: is it still there?
    };
    const TCase cases[] = {
        {"gdi object", THandleKind::GdiObject,
         [] {
             HGDIOBJ pen = nullptr;
             int before = LiveHandles(THandleKind::GdiObject);
             LeaveByThrow([&] {
                 TGdiObject<HPEN> guard(CreatePen(PS_SOLID, 1, 0));
                 pen = guard.Get();
                 EXPECT_EQ(LiveHandles(THandleKind::GdiObject), before + 1);
             });
             return GetObjectType(pen) != 0;
         }},
        {"window", THandleKind::Window,
         [] {
             HWND wnd = nullptr;
             LeaveByThrow([&] {
                 TWindowHandle guard(MakeWindow());
                 wnd = guard.Get();
             });
             return IsWindow(wnd) != FALSE;
         }},
        {"hook", THandleKind::Hook,
         [] {
             HHOOK hook = nullptr;
             LeaveByThrow([&] {
                 THookHandle guard(SetWindowsHookExA(WH_CALLWNDPROC, PassHook, nullptr, GetCurrentThreadId()));
                 hook = guard.Get();
             });
             return UnhookWindowsHookEx(hook) != FALSE;
         }},
        {"timer", THandleKind::Timer,
         [host] {
             LeaveByThrow([&] { TTimerScope timer(host, 7, 10000); });
             return KillTimer(host, 7) != FALSE;
         }},
        {"memory dc", THandleKind::DeviceContext,
         [] {
             HDC dc = nullptr;
             LeaveByThrow([&] {
                 TMemoryDC guard;
                 dc = guard.Get();
             });
             return GetObjectType(dc) != 0;
         }},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        int before = LiveHandles(c.Kind);
        EXPECT_FALSE(c.LeakedHandleExists());
        EXPECT_EQ(LiveHandles(c.Kind), before);
    }

    int objects = LiveHandles(THandleKind::GdiObject), dcs = LiveHandles(THandleKind::DeviceContext);
    HPEN pen = nullptr;
    {
        TGdiObject<HPEN> guard(CreatePen(PS_SOLID, 1, 0));
        pen = guard.Release();
        EXPECT_FALSE(guard);
        EXPECT_EQ(LiveHandles(THandleKind::GdiObject), objects);
    }
    EXPECT_NE(GetObjectType(pen), 0u);
    DeleteObject(pen);
    {
        TWindowDC screen;
        EXPECT_TRUE(screen);
        EXPECT_EQ(LiveHandles(THandleKind::DeviceContext), dcs + 1);
    }
    EXPECT_EQ(LiveHandles(THandleKind::DeviceContext), dcs);
    DestroyWindow(host);
}

// The windows of controls count from creation until the system destroys them with their parent.
TEST(ScopeGuards, ControlWindowsAreCounted)
{
    int before = LiveHandles(THandleKind::Window);
    {
        TOwned<TForm> form(New<TForm>(nullptr));
        TButton* button = New<TButton>(form.get());
        button->SetParent(form.get());
        button->HandleNeeded();
        EXPECT_EQ(LiveHandles(THandleKind::Window), before + 2);
    }
    EXPECT_EQ(LiveHandles(THandleKind::Window), before);
}

// Guards over a device context's state put back what they changed, on every way out.
TEST(ScopeGuards, DeviceContextStateComesBack)
{
    TMemoryDC dc;
    TGdiObject<HBITMAP> bitmap(CreateBitmap(20, 20, 1, 1, nullptr));
    SelectObject(dc.Get(), bitmap.Get());
    HGDIOBJ font = GetCurrentObject(dc.Get(), OBJ_FONT);
    TGdiObject<HFONT> other(CreateFontA(12, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Arial"));
    RECT full{};
    GetClipBox(dc.Get(), &full);

    LeaveByThrow([&] {
        TSelectGuard select(dc.Get(), other.Get());
        TClipGuard clip(dc.Get(), RECT{2, 3, 5, 7});
        RECT narrowed{};
        GetClipBox(dc.Get(), &narrowed);
        EXPECT_EQ(narrowed.right - narrowed.left, 3);
        EXPECT_EQ(GetCurrentObject(dc.Get(), OBJ_FONT), other.Get());
    });
    RECT after{};
    GetClipBox(dc.Get(), &after);
    EXPECT_TRUE(EqualRect(&after, &full));
    EXPECT_EQ(GetCurrentObject(dc.Get(), OBJ_FONT), font);
}

// State of the program itself: flags, counters, paired calls and nesting depth.
TEST(ScopeGuards, ProgramStateComesBack)
{
    struct TPaired {
        int Updates = 0, Opens = 0;
        void BeginUpdate() { ++Updates; }
        void EndUpdate() { --Updates; }
        void Open() { ++Opens; }
        void Close() { --Opens; }
    } paired;
    bool outer = false, inner = true;
    int refreshing = 0;
    LeaveByThrow([&] {
        TFlagScope a(outer), b(inner);
        TCountScope c(refreshing), d(refreshing);
        TUpdateScope update(&paired);
        TOpenScope open(&paired);
        EXPECT_TRUE(outer && inner);
        EXPECT_EQ(refreshing, 2);
        EXPECT_EQ(paired.Updates + paired.Opens, 2);
    });
    EXPECT_FALSE(outer);
    EXPECT_TRUE(inner);
    EXPECT_EQ(refreshing, 0);
    EXPECT_EQ(paired.Updates + paired.Opens, 0);

    // Depth 0 and 1 pass a limit of 2; the third level is refused and leaves the depth as it was.
    int depth = 0;
    auto refuse = [] { throw std::length_error("too deep"); };
    std::function<void(int)> descend = [&](int levels) {
        TNestingGuard guard(depth, 2, refuse);
        if (levels > 1)
            descend(levels - 1);
    };
    EXPECT_NO_THROW(descend(2));
    EXPECT_THROW(descend(3), std::length_error);
    EXPECT_EQ(depth, 0);
}

TEST(ScopeGuards, GlobalMemoryIsUnlocked)
{
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, 16);
    {
        TGlobalLock<char> lock(block);
        ASSERT_TRUE(lock.Get());
        EXPECT_GE(lock.Size(), 16u);
        EXPECT_EQ(GlobalFlags(block) & GMEM_LOCKCOUNT, 1u);
    }
    EXPECT_EQ(GlobalFlags(block) & GMEM_LOCKCOUNT, 0u);
    GlobalFree(block);
    EXPECT_EQ(TGlobalLock<char>(nullptr).Get(), nullptr);
}
