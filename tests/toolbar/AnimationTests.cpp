// Menu animation on a plain window: fading and sliding show the window and give it back in its
// normal state with every GDI object released; a worker that cannot start, a missing layered
// window call, an early mouse, a stale step and ending another window's animation.
#include <gtest/gtest.h>

#include <vector>

#include "MenuTestSupport.h"
#include "ToolbarTestSupport.h"
#include "platform/ScopeGuards.h"
#include "toolbar/TBAnim.h"
#include "toolbar/TBPopup.h"

namespace {

// A hidden popup window that hands animation steps on (or holds them) and counts the ends.
class TAnimatedWindow {
public:
    TAnimatedWindow()
    {
        static const char* cls = [] {
            WNDCLASSA wc{};
            wc.lpfnWndProc = &TAnimatedWindow::Proc;
            wc.hInstance = GetModuleHandleA(nullptr);
            wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
            wc.lpszClassName = "AnimationTestWindow";
            RegisterClassA(&wc);
            return "AnimationTestWindow";
        }();
        FWnd = CreateWindowExA(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, cls, "", WS_POPUP | WS_BORDER, 300, 200, 160, 120,
                               nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        SetWindowLongPtrA(FWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~TAnimatedWindow()
    {
        EndAnimation(FWnd);
        DestroyWindow(FWnd);
        PumpMessages();
    }
    TAnimatedWindow(const TAnimatedWindow&) = delete;
    TAnimatedWindow& operator=(const TAnimatedWindow&) = delete;

    HWND Handle() const { return FWnd; }
    bool Hold = false;
    int Steps = 0;
    int Ended = 0;
    std::vector<LPARAM> HeldSteps;

    // Dispatches until the animation has ended (or a second has passed).
    bool WaitForEnd()
    {
        const DWORD start = GetTickCount();
        while (Ended == 0 && GetTickCount() - start < 1000) {
            PumpMessages();
            Sleep(2);
        }
        return Ended > 0;
    }
    // Dispatches until a held step has come (or a second has passed): a busy machine may start the
    // worker late.
    bool WaitForHeldStep()
    {
        const DWORD start = GetTickCount();
        while (HeldSteps.empty() && GetTickCount() - start < 1000) {
            PumpMessages();
            Sleep(2);
        }
        return !HeldSteps.empty();
    }
    void Deliver(LPARAM sequence)
    {
        TMessage m{TBM_ANIMATIONSTEP, 0, sequence, 0};
        AnimationStep(m);
    }
    bool Layered() const { return (GetWindowLongPtrA(FWnd, GWL_EXSTYLE) & WS_EX_LAYERED) != 0; }
    // The window's region box; false when it has none.
    bool Region(RECT& box) const
    {
        TGdiObject<HRGN> region(CreateRectRgn(0, 0, 0, 0));
        if (GetWindowRgn(FWnd, region.Get()) == ERROR)
            return false;
        GetRgnBox(region.Get(), &box);
        return true;
    }

private:
    static LRESULT CALLBACK Proc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
    {
        auto* self = reinterpret_cast<TAnimatedWindow*>(GetWindowLongPtrA(wnd, GWLP_USERDATA));
        if (self && msg == TBM_ANIMATIONSTEP) {
            ++self->Steps;
            if (self->Hold)
                self->HeldSteps.push_back(lParam);
            else
                self->Deliver(lParam);
            return 0;
        }
        if (self && msg == TBM_ANIMATIONENDED) {
            ++self->Ended;
            return 0;
        }
        return DefWindowProcA(wnd, msg, wParam, lParam);
    }

    HWND FWnd = nullptr;
};

// Puts the cursor away from every window of the tests for the life of the scope.
struct TCursorAway {
    TCursorAway() { SetCursorPos(1250, 1000); }
};

HANDLE NoWorker(LPTHREAD_START_ROUTINE, void*)
{
    return nullptr;
}

TEST(MenuAnimation, ShowsTheWindowAndGivesItBackWhole)
{
    TCursorAway away;
    TAnimationSystem& system = AnimationSystem();
    const TAnimationSystem saved = system;
    struct TCase {
        const char* Name;
        bool Blend;
        TTBSlideDirections Direction;
        bool WithoutLayering;
        bool WithoutWorker;
        bool ExpectLayered;   // while it runs
        bool ExpectRegion;    // while it runs
    };
    const TCase cases[] = {
        {"fade", true, 0, false, false, true, false},
        {"slide down", false, tbsdDown, false, false, false, true},
        {"slide up and left", false, tbsdUp | tbsdLeft, false, false, false, true},
        {"fade without layered windows slides", true, tbsdRight, true, false, false, true},
        {"no worker: shown at once", true, 0, false, true, false, false},
    };
    for (const TCase& c : cases) {
        system = saved;
        if (c.WithoutLayering)
            system.UpdateLayeredWindow = nullptr;
        if (c.WithoutWorker)
            system.CreateWorker = NoWorker;
        const int gdi = LiveHandles(THandleKind::GdiObject);
        const int dcs = LiveHandles(THandleKind::DeviceContext);
        TAnimatedWindow window;
        StartAnimation(window.Handle(), c.Blend, c.Direction);
        EXPECT_TRUE(IsWindowVisible(window.Handle())) << c.Name;
        EXPECT_EQ(AnimationRunning(window.Handle()), !c.WithoutWorker) << c.Name;
        EXPECT_EQ(window.Layered(), c.ExpectLayered) << c.Name;
        RECT box{};
        EXPECT_EQ(window.Region(box), c.ExpectRegion) << c.Name;
        EXPECT_TRUE(window.WaitForEnd()) << c.Name;
        EXPECT_EQ(window.Ended, 1) << c.Name;
        EXPECT_FALSE(AnimationRunning(nullptr)) << c.Name;
        EXPECT_FALSE(window.Layered()) << c.Name;
        EXPECT_FALSE(window.Region(box)) << c.Name;
        EXPECT_TRUE(IsWindowVisible(window.Handle())) << c.Name;
        EXPECT_EQ(LiveHandles(THandleKind::GdiObject), gdi) << c.Name;
        EXPECT_EQ(LiveHandles(THandleKind::DeviceContext), dcs) << c.Name;
        if (!c.WithoutWorker) {
            EXPECT_GE(window.Steps, 2) << c.Name << ": steps and the final one";
        }
    }
    system = saved;
}

TEST(MenuAnimation, EndsForItsOwnWindowOnlyAndAtOnceWhenTheMousePointsIn)
{
    TCursorAway away;
    TAnimatedWindow window;
    TAnimatedWindow other;
    StartAnimation(window.Handle(), false, tbsdDown);
    EndAnimation(other.Handle());
    EXPECT_TRUE(AnimationRunning(window.Handle())) << "another window's end does not stop it";
    EndAnimation(window.Handle());
    EXPECT_FALSE(AnimationRunning(nullptr));
    EXPECT_TRUE(window.WaitForEnd());

    TAnimatedWindow pointed;
    StartAnimation(pointed.Handle(), false, tbsdDown);
    RECT client{};
    GetClientRect(pointed.Handle(), &client);
    MapWindowPoints(pointed.Handle(), nullptr, reinterpret_cast<POINT*>(&client), 2);
    SetCursorPos((client.left + client.right) / 2, (client.top + client.bottom) / 2);
    EXPECT_TRUE(pointed.WaitForEnd());
    EXPECT_LE(pointed.Steps, 3) << "a slide takes about fifteen steps unless the mouse cuts it short";
    SetCursorPos(1250, 1000);
}

TEST(MenuAnimation, AStepOfAnEarlierAnimationDoesNothing)
{
    TCursorAway away;
    TAnimatedWindow window;
    window.Hold = true;
    StartAnimation(window.Handle(), false, tbsdDown);
    ASSERT_TRUE(window.WaitForHeldStep());
    const LPARAM earlier = window.HeldSteps.back();
    EndAnimation(window.Handle());
    ShowWindow(window.Handle(), SW_HIDE);
    PumpMessages();  // the ended worker's last step
    window.HeldSteps.clear();

    StartAnimation(window.Handle(), false, tbsdDown);
    ASSERT_TRUE(window.WaitForHeldStep());
    const LPARAM current = window.HeldSteps.back();
    EXPECT_NE(current, earlier);
    RECT box{};
    window.Deliver(earlier);
    ASSERT_TRUE(window.Region(box));
    EXPECT_TRUE(IsRectEmpty(&box)) << "still the empty region of the start";
    window.Deliver(current);
    ASSERT_TRUE(window.Region(box));
    EXPECT_FALSE(IsRectEmpty(&box)) << "the current step shows part of the window";
    window.Hold = false;
    EndAnimation(window.Handle());
    EXPECT_FALSE(window.Region(box));
}

// A popup window that refuses the show animation when asked.
class TVetoPopupWindow : public TTBPopupWindow {
    SF_CLASS(TVetoPopupWindow)
public:
    using TTBPopupWindow::TTBPopupWindow;
    void Dispatch(TMessage& message) override
    {
        if (message.Msg == TBM_POPUPSTATE && message.WParam == 1) {
            message.Result = 1;
            return;
        }
        TTBPopupWindow::Dispatch(message);
    }
};
SF_IMPLEMENT_ABSTRACT(TVetoPopupWindow, TTBPopupWindow)

class TVetoRootItem : public TTBRootItem {
public:
    using TTBRootItem::TTBRootItem;
    TTBPopupWindowClass QueryPopupWindowClass() override { return PopupWindowClassOf<TVetoPopupWindow>(); }
};

TEST(MenuAnimation, PopupsFadeOrSlideAsTheSystemSaysUnlessTheWindowRefuses)
{
    TCursorAway away;
    struct TCase {
        const char* Name;
        bool Animation;
        bool Fade;
        bool Veto;
        bool ExpectRunning;
        bool ExpectLayered;
        bool ExpectRegion;
    };
    const TCase cases[] = {
        {"menu animation off", false, true, false, false, false, false},
        {"slide", true, false, false, true, false, true},
        {"fade", true, true, false, true, true, false},
        {"the window refuses", true, true, true, false, false, false},
    };
    for (const TCase& c : cases) {
        TMenuSettings settings(c.Animation, c.Fade, 100);
        TItemPtr root(c.Veto ? New<TVetoRootItem>(nullptr) : New<TTBRootItem>(nullptr));
        AddItem(root.get(), L"One");
        AddItem(root.get(), L"Two");
        std::unique_ptr<TTBPopupWindow, TObjectFree> popup(
            root->OpenPopupWindow(nullptr, nullptr, false, false, false, POINT{300, 200}, paLeft));
        HWND wnd = popup->GetHandle();
        EXPECT_TRUE(IsWindowVisible(wnd)) << c.Name;
        EXPECT_EQ(AnimationRunning(wnd), c.ExpectRunning) << c.Name;
        EXPECT_EQ((GetWindowLongPtrA(wnd, GWL_EXSTYLE) & WS_EX_LAYERED) != 0, c.ExpectLayered) << c.Name;
        TGdiObject<HRGN> region(CreateRectRgn(0, 0, 0, 0));
        EXPECT_EQ(GetWindowRgn(wnd, region.Get()) != ERROR, c.ExpectRegion) << c.Name;
        popup.reset();
        EXPECT_FALSE(AnimationRunning(nullptr)) << c.Name << ": the animation ends with its window";
        PumpMessages();
    }
}

} // namespace
