// Themed docks and floating forms: the dock's view type, its colour following the theme until set
// by hand, its background drawn by the theme or taken from its parent; the floating form's frame
// record for the theme and its snapping to the work area.
#include <gtest/gtest.h>

#include <memory>

#include "SkinItemTestSupport.h"
#include "SkinRecordingTheme.h"
#include "SkinTestSupport.h"
#include "TestSupport.h"
#include "platform/Forms.h"
#include "skin/Skin.h"
#include "skin/SkinDock.h"
#include "toolbar/TBDockableWindow.h"

namespace {

using TDockPtr = std::unique_ptr<TSkinDock, TObjectFree>;
using TFormPtr = std::unique_ptr<TForm, TObjectFree>;

TEST(SkinDock, ColourFollowsTheThemeUntilSetByHand)
{
    TRecordingThemeScope theme;
    TDockPtr dock(New<TSkinDock>(nullptr));
    EXPECT_EQ(GetViewTypeOfControl(dock.get()), uint32_t(vtDock));
    const TColor themed = theme->QueryViewColor(vtDock);
    EXPECT_EQ(dock->GetColor(), themed);
    EXPECT_TRUE(dock->GetUseThemeColor());
    dock->SetColor(clRed);
    EXPECT_FALSE(dock->GetUseThemeColor()) << "a colour set by hand turns the theme's off";
    TMessage done{TBM_NEWTHEME, scThemeDone, 0, 0};
    dock->Dispatch(done);
    EXPECT_EQ(dock->GetColor(), clRed) << "a theme change keeps the hand-set colour";
    dock->SetUseThemeColor(true);
    EXPECT_EQ(dock->GetColor(), themed);
    EXPECT_TRUE(dock->GetUseThemeColor()) << "the dock's own colour change keeps it on";
}

// A parent whose background is one plain colour.
class TColouredParent : public TCustomControl {
public:
    using TCustomControl::TCustomControl;
    void Dispatch(TMessage& m) override
    {
        if (m.Msg == WM_ERASEBKGND) {
            RECT r{-1000, -1000, 1000, 1000};
            TGdiObject<HBRUSH> brush(CreateSolidBrush(RGB(10, 200, 30)));
            FillRect(reinterpret_cast<HDC>(m.WParam), &r, brush.Get());
            m.Result = 1;
            return;
        }
        TCustomControl::Dispatch(m);
    }
};

TEST(SkinDock, BackgroundFromTheThemeOrTheParent)
{
    TRecordingThemeScope theme;
    std::unique_ptr<TColouredParent, TObjectFree> parent(New<TColouredParent>(nullptr));
    parent->SetBounds(0, 0, 300, 200);
    const HWND owner = CreateWindowExA(WS_EX_TOOLWINDOW, "STATIC", "", WS_POPUP, 0, 0, 400, 300, nullptr, nullptr,
                                       GetModuleHandleA(nullptr), nullptr);
    parent->SetParentWindow(owner);
    TSkinDock* dock = New<TSkinDock>(parent.get());
    dock->SetParent(parent.get());
    dock->SetPosition(dpLeft);
    dock->SetBounds(0, 0, 40, 200);
    parent->HandleNeeded();
    dock->HandleNeeded();
    const RECT client = dock->GetClientRect();

    EXPECT_FALSE(dock->ThemedBackground()) << "the theme's metric 5 is off";
    theme->BooleanMetrics[bmVisualStyles] = true;
    EXPECT_TRUE(dock->ThemedBackground());
    EXPECT_TRUE(dock->HasBackgroundImage());
    {
        TTestSurface surface(60, 220);
        theme->Clear();
        EXPECT_EQ(SendMessageA(dock->GetHandle(), WM_ERASEBKGND, WPARAM(surface.DC()), 0), 1);
        const auto calls = theme->Of("DrawDockBackground");
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0].Value, 3) << "left dock";
        EXPECT_TRUE(SameRect(calls[0].Popup.OpenerRect, client)) << "the whole dock";
        // Behind a docked window only its part is asked for: the dock's client rectangle first,
        // then the part to paint.
        theme->Clear();
        const RECT part{0, 40, 30, 90};
        dock->FillDockBackground(surface.DC(), part);
        const auto partCalls = theme->Of("DrawDockBackground");
        ASSERT_EQ(partCalls.size(), 1u);
        EXPECT_RECT(client, partCalls[0].R);
        EXPECT_RECT(part, partCalls[0].Popup.OpenerRect);
    }
    dock->SetUseThemeColor(false);
    EXPECT_FALSE(dock->ThemedBackground()) << "no theme colour, no theme background";

    dock->SetUseParentBackground(true);
    TTestSurface surface(60, 220);
    EXPECT_EQ(SendMessageA(dock->GetHandle(), WM_ERASEBKGND, WPARAM(surface.DC()), 0), 1);
    EXPECT_EQ(surface.At(5, 5), 0x0AC81Eu) << "the parent's background shows through";
    EXPECT_EQ(surface.At(client.right - 1, client.bottom - 1), 0x0AC81Eu);
    parent.reset();
    DestroyWindow(owner);
}

class TBar : public TTBCustomDockableWindow {
public:
    using TTBCustomDockableWindow::TTBCustomDockableWindow;
    POINT ComputeArrangement(bool, TTBDockType, bool, TTBDock*) override { return POINT{120, 30}; }
    void QueryBaseSize(POINT& size) override { size = POINT{120, 30}; }
    TClass QueryFloatingParentClass() override { return TSkinFloatingWindowParent::StaticClass(); }
};

TEST(SkinFloatingWindow, FrameRecordAndSnapping)
{
    TRecordingThemeScope theme;
    TFormPtr form(New<TForm>(nullptr));
    form->SetBounds(100, 100, 300, 200);
    form->HandleNeeded();
    TBar* bar = New<TBar>(form.get());
    bar->SetParent(form.get());
    bar->SetCaption(L"Tools");
    bar->SetCloseButton(true);
    bar->SetFloatPoint(POINT{300, 300});
    bar->SetFloating(true);
    auto* floating = dynamic_cast<TSkinFloatingWindowParent*>(bar->GetFloatForm());
    ASSERT_NE(floating, nullptr);
    const HWND wnd = floating->GetHandle();

    // The frame comes from the theme, with the docked window's state in the record.
    theme->Clear();
    TTestSurface surface(400, 200);
    SendMessageA(wnd, WM_PRINT, WPARAM(surface.DC()), PRF_NONCLIENT);
    const auto frames = theme->Of("DrawFloatingFrame");
    ASSERT_EQ(frames.size(), 1u);
    const TSkinFloatingInfo& info = frames[0].Floating;
    EXPECT_EQ(info.Window, wnd);
    EXPECT_EQ(info.Caption, L"Tools");
    EXPECT_TRUE(info.ShowCaption);
    EXPECT_EQ(info.CloseButtonState, uint32_t(cbShown));
    EXPECT_EQ(info.RedrawParts, uint32_t(frpAll));
    EXPECT_EQ(info.ClientWidth, floating->GetClientWidth());
    RECT window{};
    GetWindowRect(wnd, &window);
    EXPECT_EQ(frames[0].R.right, window.right - window.left);
    EXPECT_EQ(frames[0].R.bottom, window.bottom - window.top);

    // A move that ends near the work area's edge snaps onto it; a resize does not.
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    GetMonitorInfoA(MonitorFromWindow(wnd, MONITOR_DEFAULTTONEAREST), &monitor);
    const RECT work = monitor.rcWork;
    const int w = window.right - window.left, h = window.bottom - window.top;
    struct TCase {
        const char* Name;
        int Snap;
        int X, Y, W, H;
        int ExpectX, ExpectY;
    };
    const TCase cases[] = {
        {"8 pixels from the left edge snap", 10, int(work.left) + 8, 300, w, h, int(work.left), 300},
        {"12 pixels stay", 10, int(work.left) + 12, 300, w, h, int(work.left) + 12, 300},
        {"the bottom edge too", 10, 300, int(work.bottom) - h - 9, w, h, 300, int(work.bottom) - h},
        {"no snap distance, no snapping", 0, int(work.left) + 3, 300, w, h, int(work.left) + 3, 300},
        {"resizing never snaps", 10, int(work.left) + 8, 300, w + 20, h, int(work.left) + 8, 300},
    };
    for (const TCase& c : cases) {
        floating->SetSnapDistance(c.Snap);
        SetWindowPos(wnd, nullptr, 300, 300, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
        SetWindowPos(wnd, nullptr, c.X, c.Y, c.W, c.H, SWP_NOZORDER | SWP_NOACTIVATE);
        RECT now{};
        GetWindowRect(wnd, &now);
        EXPECT_EQ(now.left, c.ExpectX) << c.Name;
        EXPECT_EQ(now.top, c.ExpectY) << c.Name;
    }
    floating->SetSnapDistance(-4);
    EXPECT_EQ(floating->GetSnapDistance(), 0);

    // The close button turns hot under the pointer and cold when it leaves.
    SendMessageA(wnd, WM_NCMOUSEMOVE, WPARAM(HT_TB2K_CLOSE), 0);
    EXPECT_TRUE(floating->GetCloseButtonHot());
    theme->Clear();
    SendMessageA(wnd, WM_PRINT, WPARAM(surface.DC()), PRF_NONCLIENT);
    ASSERT_EQ(theme->Of("DrawFloatingFrame").size(), 1u);
    EXPECT_EQ(theme->Of("DrawFloatingFrame")[0].Floating.CloseButtonState, uint32_t(cbShown | cbHot));
    SendMessageA(wnd, WM_NCMOUSEMOVE, WPARAM(HT_TB2K_CAPTION), 0);
    EXPECT_FALSE(floating->GetCloseButtonHot());
    bar->SetFloating(false);
    form.reset();
    PumpMessages();
}

} // namespace
