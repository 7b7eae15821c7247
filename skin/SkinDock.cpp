#include "skin/SkinDock.h"

#include <cstdlib>

#include "platform/Geometry.h"
#include "platform/ScopeGuards.h"
#include "skin/Skin.h"
#include "skin/SkinToolbar.h"
#include "toolbar/TBDockableWindow.h"

SF_IMPLEMENT_COMPONENT(TSkinDock, TTBDock)
SF_IMPLEMENT_COMPONENT(TSkinFloatingWindowParent, TTBFloatingWindowParent)

// ---------------------------------------------------------------------------------------------
// TSkinDock

TSkinDock::TSkinDock(TComponent* owner) : TTBDock(owner)
{
    AddThemeListener(this);
}

void TSkinDock::AfterConstruction()
{
    TTBDock::AfterConstruction();
    SetParentColor(false);
    UpdateThemeColor();
}

void TSkinDock::BeforeDestruction()
{
    RemoveThemeListener(this);
    TTBDock::BeforeDestruction();
}

void TSkinDock::UpdateThemeColor()
{
    if (!FUseThemeColor)
        return;
    if (!CurrentTheme())
        throw EInvalidOperation("A themed dock needs a current theme");
    const TColor color = CurrentTheme()->QueryViewColor(vtDock);
    if (color == GetColor())
        return;
    TFlagScope own(FSettingColor);
    SetColor(color);
}

void TSkinDock::RedrawAll()
{
    if (HandleAllocated())
        RedrawWindow(GetHandle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}

void TSkinDock::RedrawWindowsOnBackground()
{
    if (!HasBackgroundImage() || !HandleAllocated())
        return;
    for (int i = 0; i < GetControlCount(); ++i) {
        auto* window = dynamic_cast<TWinControl*>(GetControl(i));
        if (!window || !window->HandleAllocated())
            continue;
        // A toolbar keeps its items as they are and repaints only the background between them.
        if (auto* toolbar = dynamic_cast<TSkinToolbar*>(window))
            toolbar->RepaintBackgroundOnly();
        else
            RedrawWindow(window->GetHandle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME);
    }
}

void TSkinDock::SetUseParentBackground(bool value)
{
    if (FUseParentBackground == value)
        return;
    FUseParentBackground = value;
    RedrawAll();
}

void TSkinDock::SetUseThemeColor(bool value)
{
    if (FUseThemeColor == value)
        return;
    FUseThemeColor = value;
    UpdateThemeColor();
    RedrawAll();
}

bool TSkinDock::ThemedBackground()
{
    if (GetBackground() || !FUseThemeColor || !CurrentTheme())
        return false;
    return CurrentTheme()->QueryBooleanMetric(bmVisualStyles);
}

bool TSkinDock::HasBackgroundImage()
{
    if (FUseParentBackground || (ThemedBackground() && !FHandlingMove))
        return true;
    return TTBDock::HasBackgroundImage();
}

void TSkinDock::FillDockBackground(HDC dc, const RECT& drawRect)
{
    const RECT client = GetClientRect();
    if (FUseParentBackground) {
        PaintParentBackdrop(this, dc, client);
        return;
    }
    if (ThemedBackground()) {
        CurrentTheme()->DrawDockBackground(dc, client, drawRect, int(GetPosition()) + 1);
        return;
    }
    TTBDock::FillDockBackground(dc, drawRect);
}

void TSkinDock::Dispatch(TMessage& m)
{
    switch (m.Msg) {
    case TBM_QUERYVIEWTYPE:
        m.Result = vtDock;
        return;
    case TBM_NEWTHEME:
        if (m.WParam == scThemeDone) {
            UpdateThemeColor();
            Invalidate();
        }
        return;
    case CM_COLORCHANGED:
        TTBDock::Dispatch(m);
        if (!FSettingColor)
            FUseThemeColor = false;
        return;
    case WM_ERASEBKGND:
        // The theme's and the parent's backgrounds are drawn in the dock's own coordinates.
        if (!GetBackground() && (FUseParentBackground || ThemedBackground())) {
            FillDockBackground(reinterpret_cast<HDC>(m.WParam), GetClientRect());
            m.Result = 1;
            return;
        }
        TTBDock::Dispatch(m);
        return;
    case WM_MOVE: {
        TFlagScope moving(FHandlingMove);
        TTBDock::Dispatch(m);
        return;
    }
    case WM_SIZE: {
        TFlagScope sizing(FHandlingSize);
        TTBDock::Dispatch(m);
        RedrawWindowsOnBackground();
        return;
    }
    default:
        TTBDock::Dispatch(m);
    }
}

// ---------------------------------------------------------------------------------------------
// TSkinFloatingWindowParent

void TSkinFloatingWindowParent::DrawNCArea(HDC dc, uint8_t parts)
{
    TTBCustomDockableWindow* docked = GetHostedWindow();
    const HWND wnd = GetWindowHandle();
    if (!wnd || !docked || !CurrentTheme())
        return;
    RECT window{};
    GetWindowRect(wnd, &window);
    OffsetRect(&window, -window.left, -window.top);
    TSkinFloatingInfo info;
    info.Window = wnd;
    info.DockedWindow = docked->HandleAllocated() ? docked->GetHandle() : nullptr;
    info.ViewType = GetViewTypeOfControl(docked);
    info.ClientWidth = GetClientWidth();
    info.ClientHeight = GetClientHeight();
    info.ShowCaption = docked->GetShowCaption();
    info.BorderSize = docked->QueryFloatingBorder();
    if (docked->GetCloseButton() && docked->GetShowCaption()) {
        info.CloseButtonState = cbShown;
        if (GetCloseButtonPressed())
            info.CloseButtonState |= cbPushed;
        else if (FCloseButtonHot)
            info.CloseButtonState |= cbHot;
    }
    info.RedrawParts = parts & frpAll;
    info.Caption = GetCaption();
    info.Color = docked->GetColor();
    info.Active = !docked->CaptionInactive;
    TSavedDC saved(dc);
    RECT client{};
    ::GetClientRect(wnd, &client);
    POINT origin{0, 0};
    ::ClientToScreen(wnd, &origin);
    RECT screen{};
    GetWindowRect(wnd, &screen);
    OffsetRect(&client, origin.x - screen.left, origin.y - screen.top);
    ExcludeClipRect(dc, client.left, client.top, client.right, client.bottom);
    CurrentTheme()->DrawFloatingFrame(dc, window, info);
}

void TSkinFloatingWindowParent::SetCloseButtonHot(bool value)
{
    if (FCloseButtonHot == value)
        return;
    FCloseButtonHot = value;
    RedrawNCArea(frpCloseButton);
}

POINT TSkinFloatingWindowParent::SnapPosition(const RECT& at) const
{
    POINT pos{at.left, at.top};
    if (FSnapDistance <= 0)
        return pos;
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    if (!GetMonitorInfoA(MonitorFromRect(&at, MONITOR_DEFAULTTONEAREST), &monitor))
        return pos;
    const RECT& work = monitor.rcWork;
    const int w = at.right - at.left, h = at.bottom - at.top;
    if (std::abs(pos.x + w - work.right) < FSnapDistance)
        pos.x = work.right - w;
    if (std::abs(pos.y + h - work.bottom) < FSnapDistance)
        pos.y = work.bottom - h;
    if (std::abs(pos.x - work.left) < FSnapDistance)
        pos.x = work.left;
    if (std::abs(pos.y - work.top) < FSnapDistance)
        pos.y = work.top;
    return pos;
}

void TSkinFloatingWindowParent::SetBounds(int left, int top, int width, int height)
{
    // Snapped here rather than only on the way to the system, so that the form's bounds and the
    // window's floating position say where it really went.
    POINT at{left, top};
    if (width == FWidth && height == FHeight && (left != FLeft || top != FTop))
        at = SnapPosition(RECT{left, top, left + width, top + height});
    TTBFloatingWindowParent::SetBounds(at.x, at.y, width, height);
    TTBCustomDockableWindow* hosted = GetHostedWindow();
    if ((at.x != left || at.y != top) && hosted && hosted->GetFloatForm() == this)
        hosted->SetFloatPoint(at);
}

void ShareSnapDistance(TTBCustomDockableWindow* window, int distance)
{
    if (auto* floating = dynamic_cast<TSkinFloatingWindowParent*>(window->GetFloatForm()))
        floating->SetSnapDistance(distance);
}

void TSkinFloatingWindowParent::Dispatch(TMessage& m)
{
    switch (m.Msg) {
    case WM_ERASEBKGND:
        m.Result = 1;
        return;
    case WM_NCMOUSEMOVE: {
        TTBFloatingWindowParent::Dispatch(m);
        TRACKMOUSEEVENT track{sizeof(track), TME_NONCLIENT | TME_LEAVE, GetWindowHandle(), 0};
        TrackMouseEvent(&track);
        SetCloseButtonHot(LRESULT(m.WParam) == HT_TB2K_CLOSE);
        return;
    }
    case CM_MOUSELEAVE:
        TTBFloatingWindowParent::Dispatch(m);
        SetCloseButtonHot(false);
        return;
    case WM_NCMOUSELEAVE:
        TTBFloatingWindowParent::Dispatch(m);
        if (GetFocus() != GetWindowHandle())
            SetCloseButtonHot(false);
        return;
    case WM_WINDOWPOSCHANGING: {
        // Moves from outside the form's own bounds snap too.
        auto& pos = *reinterpret_cast<WINDOWPOS*>(m.LParam);
        RECT current{};
        GetWindowRect(GetWindowHandle(), &current);
        const bool sized = !(pos.flags & SWP_NOSIZE) &&
                           (pos.cx != RectWidth(current) || pos.cy != RectHeight(current));
        const bool moved = !(pos.flags & SWP_NOMOVE) && (pos.x != current.left || pos.y != current.top);
        if (moved && !sized) {
            const POINT at = SnapPosition(RECT{pos.x, pos.y, pos.x + RectWidth(current), pos.y + RectHeight(current)});
            pos.x = at.x;
            pos.y = at.y;
        }
        TTBFloatingWindowParent::Dispatch(m);
        return;
    }
    default:
        TTBFloatingWindowParent::Dispatch(m);
    }
}
