#include "toolbar/TBFloatingWindow.h"

#include <cstdio>
#include <optional>

#include "platform/ScopeGuards.h"
#include "platform/SysUtils.h"
#include "toolbar/TBCommon.h"
#include "toolbar/TBDockableWindow.h"

SF_IMPLEMENT_COMPONENT(TTBFloatingWindowParent, TCustomForm)

namespace {

using TDrawCaptionTempW = BOOL(WINAPI*)(HWND, HDC, const RECT*, HFONT, HICON, LPCWSTR, UINT);

// Not declared by every set of headers; bound by name.
TDrawCaptionTempW DrawCaptionTempEntry()
{
    static TDrawCaptionTempW entry = reinterpret_cast<TDrawCaptionTempW>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "DrawCaptionTempW")));
    return entry;
}

bool GradientCaptionsOn()
{
    BOOL on = FALSE;
    return SystemParametersInfoA(SPI_GETGRADIENTCAPTIONS, 0, &on, 0) && on;
}

constexpr UINT DC_GRADIENT_FLAG = 0x0020;

bool OwnedBy(HWND wnd, HWND owner)
{
    for (HWND w = GetWindow(wnd, GW_OWNER); w; w = GetWindow(w, GW_OWNER))
        if (w == owner)
            return true;
    return false;
}

// The window to insert wnd after (below) so that it stands just above the highest of its owner
// and the windows the owner owns; HWND_TOP when nothing but topmost windows lie above that.
HWND InsertAfterForOwnerChain(HWND wnd)
{
    HWND owner = GetWindow(wnd, GW_OWNER);
    if (!owner)
        return HWND_TOP;
    HWND above = HWND_TOP;
    for (HWND w = GetTopWindow(nullptr); w; w = GetWindow(w, GW_HWNDNEXT)) {
        if (w == wnd)
            continue;
        if (w == owner || OwnedBy(w, owner))
            return above;
        above = (GetWindowLongPtrW(w, GWL_EXSTYLE) & WS_EX_TOPMOST) ? HWND_TOP : w;
    }
    return HWND_TOP;
}

} // namespace

TTBFloatingWindowParent::TTBFloatingWindowParent(TComponent* owner) : TCustomForm(owner)
{
}

void TTBFloatingWindowParent::BeforeDestruction()
{
    Destroying();
    // The window it carried has gone elsewhere by now; never take it down with the form.
    if (FHostedWindow && FHostedWindow->GetParent() == this)
        FHostedWindow->SetParent(nullptr);
    FHostedWindow = nullptr;
    if (FOwnerForm)
        FOwnerForm->RemoveFreeNotification(this);
    FOwnerForm = nullptr;
    TCustomForm::BeforeDestruction();
}

void TTBFloatingWindowParent::AttachWindow(TTBCustomDockableWindow* window, TCustomForm* ownerForm)
{
    if (!ownerForm)
        throw EInvalidOperation("Control '" + window->GetName() + "' has no parent window");
    FHostedWindow = window;
    FOwnerForm = ownerForm;
    ownerForm->FreeNotification(this);
    char name[64];
    std::snprintf(name, sizeof(name), "NBFloatingWindowParent_%.8x",
                  static_cast<unsigned>(reinterpret_cast<uintptr_t>(this) & 0xFFFFFFFFu));
    SetName(name);
    FCaption = window->GetCaption();
    SetText(WideToAnsi(FCaption));
    SetBorderStyle(bsToolWindow);
    SIZE nc = window->FloatingNCSize();
    SetBounds(FLeft, FTop, window->GetWidth() + nc.cx, window->GetHeight() + nc.cy);
    SetShowHint(true);
    SetVisible(true);
}

void TTBFloatingWindowParent::DetachWindow()
{
    FHostedWindow = nullptr;
}

void TTBFloatingWindowParent::Notification(TComponent* component, TOperation operation)
{
    TCustomForm::Notification(component, operation);
    if (operation == TOperation::opRemove && component == FOwnerForm)
        FOwnerForm = nullptr;
}

void TTBFloatingWindowParent::CreateParams(TCreateParams& params)
{
    TCustomForm::CreateParams(params);
    params.Style = WS_POPUP | WS_BORDER | WS_CLIPCHILDREN | (params.Style & WS_DISABLED);
    if (FHostedWindow && FHostedWindow->GetResizable())
        params.Style |= WS_THICKFRAME;
    params.ExStyle = WS_EX_TOOLWINDOW;
    params.WindowClass.style &= ~(CS_HREDRAW | CS_VREDRAW);
}

void TTBFloatingWindowParent::SetCaption(const std::wstring& value)
{
    if (value == FCaption)
        return;
    FCaption = value;
    RedrawNCArea(frpCaption);
}

void TTBFloatingWindowParent::SetShowWanted(bool value)
{
    FShowWanted = value;
    ApplyShowState();
}

void TTBFloatingWindowParent::ApplyShowState()
{
    if (!FHandle)
        return;
    if (!FShowing || !FShowWanted) {
        SetWindowPos(FHandle, nullptr, 0, 0, 0, 0,
                     SWP_NOACTIVATE | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_HIDEWINDOW);
        return;
    }
    // Shown again, the form goes just above its owner's windows, as a new window of the owner
    // would, not back under the ones the owner showed while it was hidden.
    SetWindowPos(FHandle, InsertAfterForOwnerChain(FHandle), 0, 0, 0, 0,
                 SWP_NOACTIVATE | SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
}

// ---- geometry

SIZE TTBFloatingWindowParent::Border() const
{
    return FHostedWindow ? FHostedWindow->QueryFloatingBorder() : SIZE{0, 0};
}

int TTBFloatingWindowParent::CaptionHeight() const
{
    return FHostedWindow && FHostedWindow->GetShowCaption() ? GetSystemMetrics(SM_CYSMCAPTION) : 0;
}

RECT TTBFloatingWindowParent::CaptionRect(bool minusCloseButton) const
{
    SIZE border = Border();
    int height = GetSystemMetrics(SM_CYSMCAPTION);
    int clientWidth = FWidth - 2 * border.cx;
    RECT r{border.cx, border.cy, border.cx + clientWidth, border.cy + height - 1};
    if (minusCloseButton && FHostedWindow && FHostedWindow->GetCloseButton())
        r.right -= height;
    return r;
}

RECT TTBFloatingWindowParent::CloseButtonRect() const
{
    RECT caption = CaptionRect(false);
    int side = GetSystemMetrics(SM_CYSMCAPTION) - 1;
    return RECT{caption.right - side, caption.top, caption.right, caption.top + side};
}

LRESULT TTBFloatingWindowParent::HitTest(POINT p) const
{
    if (!FHandle)
        return HTNOWHERE;
    RECT window{};
    GetWindowRect(FHandle, &window);
    if (!::PtInRect(&window, p))
        return HTNOWHERE;
    POINT origin{0, 0};
    ::ClientToScreen(FHandle, &origin);
    RECT client{};
    ::GetClientRect(FHandle, &client);
    OffsetRect(&client, origin.x, origin.y);
    if (::PtInRect(&client, p))
        return HTCLIENT;
    if (!FHostedWindow)
        return HTBORDER;
    POINT local{p.x - window.left, p.y - window.top};
    if (FHostedWindow->GetShowCaption()) {
        RECT caption = CaptionRect(false);
        if (::PtInRect(&caption, local)) {
            RECT close = CloseButtonRect();
            if (FHostedWindow->GetCloseButton() && ::PtInRect(&close, local))
                return HT_TB2K_CLOSE;
            return HT_TB2K_CAPTION;
        }
    }
    if (!FHostedWindow->GetResizable())
        return HTBORDER;
    SIZE border = Border();
    int width = window.right - window.left, height = window.bottom - window.top;
    bool left = local.x < border.cx, right = local.x >= width - border.cx;
    bool top = local.y < border.cy, bottom = local.y >= height - border.cy;
    if (FHostedWindow->SizeEdgeOptions & 1) {
        int corner = GetSystemMetrics(SM_CYSMCAPTION) - 1 + border.cx;
        bool nearLeft = local.x < corner, nearRight = local.x >= width - corner;
        bool nearTop = local.y < corner, nearBottom = local.y >= height - corner;
        if ((top && nearLeft) || (left && nearTop))
            return HTTOPLEFT;
        if ((top && nearRight) || (right && nearTop))
            return HTTOPRIGHT;
        if ((bottom && nearLeft) || (left && nearBottom))
            return HTBOTTOMLEFT;
        if ((bottom && nearRight) || (right && nearBottom))
            return HTBOTTOMRIGHT;
    }
    if (left)
        return HTLEFT;
    if (right)
        return HTRIGHT;
    if (top)
        return HTTOP;
    if (bottom)
        return HTBOTTOM;
    return HTBORDER;
}

// ---- painting

void TTBFloatingWindowParent::RedrawNCArea(uint8_t parts)
{
    if (!FHandle || !IsWindowVisible(FHandle))
        return;
    TWindowDC dc(FHandle, true);
    if (dc)
        DrawNCArea(dc.Get(), parts);
}

void TTBFloatingWindowParent::DrawNCArea(HDC dc, uint8_t parts)
{
    if (!FHandle || !FHostedWindow)
        return;
    TSavedDC saved(dc);
    RECT r{}, client{};
    GetWindowFrame(FHandle, r, client);
    ExcludeClipRect(dc, client.left, client.top, client.right, client.bottom);

    if (parts & frpBorder) {
        DrawEdge(dc, &r, EDGE_RAISED, BF_RECT);
        RECT band = r;
        InflateRect(&band, -2, -2);
        FillRect(dc, &band, GetSysColorBrush(COLOR_BTNFACE));
    }
    if (FHostedWindow->GetShowCaption() && (parts & frpCaption)) {
        RECT caption = CaptionRect(true);
        UINT flags = DC_TEXT | DC_SMALLCAP;
        if (!FHostedWindow->CaptionInactive)
            flags |= DC_ACTIVE;
        if (GradientCaptionsOn())
            flags |= DC_GRADIENT_FLAG;
        if (TDrawCaptionTempW draw = DrawCaptionTempEntry()) {
            draw(FHandle, dc, &caption, nullptr, nullptr, FCaption.c_str(), flags);
        } else {
            FillRect(dc, &caption, GetSysColorBrush(FHostedWindow->CaptionInactive ? COLOR_INACTIVECAPTION : COLOR_ACTIVECAPTION));
            DrawTextW(dc, FCaption.c_str(), -1, &caption, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
        }
        RECT line{caption.left, caption.bottom, CaptionRect(false).right, caption.bottom + 1};
        FillRect(dc, &line, GetSysColorBrush(COLOR_BTNFACE));
    }
    if (FHostedWindow->GetShowCaption() && FHostedWindow->GetCloseButton() && (parts & frpCloseButton)) {
        RECT close = CloseButtonRect();
        DrawFrameControl(dc, &close, DFC_CAPTION, DFCS_CAPTIONCLOSE | (FCloseButtonPressed ? DFCS_PUSHED : 0));
    }
}

// ---- messages

void TTBFloatingWindowParent::Dispatch(TMessage& m)
{
    switch (m.Msg) {
    case WM_NCCALCSIZE: {
        if (!FHostedWindow)
            break;
        auto* r = reinterpret_cast<RECT*>(m.LParam);
        SIZE border = Border();
        r->left += border.cx;
        r->right -= border.cx;
        r->top += border.cy + CaptionHeight();
        r->bottom -= border.cy;
        if (r->right < r->left)
            r->right = r->left;
        if (r->bottom < r->top)
            r->bottom = r->top;
        m.Result = 0;
        return;
    }
    case WM_NCHITTEST:
        m.Result = HitTest(POINT{static_cast<short>(LOWORD(m.LParam)), static_cast<short>(HIWORD(m.LParam))});
        return;
    case WM_NCPAINT: {
        TWindowDC dc(FHandle, true);
        if (dc) {
            ClipToNCUpdate(FHandle, dc.Get(), reinterpret_cast<HRGN>(m.WParam));
            DrawNCArea(dc.Get(), frpAll);
        }
        m.Result = 0;
        return;
    }
    case WM_PRINT:
        AnswerPrintMessage(FHandle, m, [this](HWND, HDC dc) { DrawNCArea(dc, frpAll); });
        return;
    case WM_NCACTIVATE:
        // The frame is ours: nothing of the system's caption is drawn.
        RedrawNCArea(frpCaption);
        m.Result = TRUE;
        return;
    case WM_GETMINMAXINFO: {
        auto* info = reinterpret_cast<MINMAXINFO*>(m.LParam);
        info->ptMinTrackSize = POINT{1, 1};
        info->ptMaxTrackSize = POINT{32767, 32767};
        m.Result = 0;
        return;
    }
    case CM_SHOWINGCHANGED:
        ApplyShowState();
        return;
    case CM_DIALOGKEY:
        if (m.WParam == VK_ESCAPE && GetCurrentShiftState() == 0 && FOwnerForm) {
            FOwnerForm->SetFocus();
            m.Result = 1;
            return;
        }
        break;
    case CM_TEXTCHANGED:
        RedrawNCArea(frpCaption);
        return;
    case WM_NCLBUTTONDOWN:
        WMNCLButtonDown(m);
        return;
    case WM_NCLBUTTONDBLCLK:
        if (m.WParam == static_cast<WPARAM>(HT_TB2K_CAPTION) && FHostedWindow) {
            FHostedWindow->DoubleClick();
            return;
        }
        break;
    case WM_NCRBUTTONUP:
        if (FHostedWindow && FHostedWindow->HandleAllocated()) {
            SendMessageA(FHostedWindow->GetWindowHandle(), WM_CONTEXTMENU,
                         reinterpret_cast<WPARAM>(FHostedWindow->GetWindowHandle()), m.LParam);
            return;
        }
        break;
    case WM_CLOSE:
        // Alt+F4 on a floating window means the form it belongs to.
        if (FOwnerForm && FOwnerForm->HandleAllocated())
            PostMessageA(FOwnerForm->GetWindowHandle(), WM_CLOSE, 0, 0);
        return;
    case WM_ACTIVATE:
        WMActivate(m);
        return;
    case WM_MOUSEACTIVATE:
        WMMouseActivate(m);
        return;
    case WM_MOVE:
        TCustomForm::Dispatch(m);
        if (FHostedWindow)
            FHostedWindow->OnMove(FHostedWindow);
        return;
    default:
        break;
    }
    TCustomForm::Dispatch(m);
}

void TTBFloatingWindowParent::WMActivate(TMessage& m)
{
    bool active = LOWORD(m.WParam) != WA_INACTIVE;
    HWND ownerWnd = FOwnerForm && FOwnerForm->HandleAllocated() ? FOwnerForm->GetWindowHandle() : nullptr;
    // The form the window belongs to keeps an active caption.
    if (ownerWnd)
        SendMessageA(ownerWnd, WM_NCACTIVATE, active ? TRUE : FALSE, 0);
    if (!active)
        return;
    if (!IsWindowVisible(FHandle))
        ActivateFirstThreadWindow(FHandle);
    else if (ownerWnd && ownerWnd != reinterpret_cast<HWND>(m.LParam))
        SetActiveWindow(ownerWnd);
}

void TTBFloatingWindowParent::WMMouseActivate(TMessage& m)
{
    m.Result = MA_NOACTIVATE;
    SetWindowPos(FHandle, HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE);
    if (!FHostedWindow || FHostedWindow->GetFloatingMode() != fmOnTopOfParentForm || !FHostedWindow->GetActivateParent())
        return;
    if (GetActiveWindow() == FHandle || !FOwnerForm || !FOwnerForm->HandleAllocated())
        return;
    SetActiveWindow(FOwnerForm->GetWindowHandle());
}

void TTBFloatingWindowParent::WMNCLButtonDown(TMessage& m)
{
    TTBCustomDockableWindow* window = FHostedWindow;
    LRESULT code = static_cast<LRESULT>(m.WParam);
    POINT p{static_cast<short>(LOWORD(m.LParam)), static_cast<short>(HIWORD(m.LParam))};
    if (code >= HTLEFT && code <= HTBOTTOMRIGHT) {
        // From where the button went down: a busy window starts the loop late, and measuring
        // from the cursor by then would lose what the pointer moved meanwhile.
        if (window && window->GetResizable())
            window->BeginSizing(static_cast<int>(code - HTLEFT), p);
        return;
    }
    if (code == HT_TB2K_CLOSE) {
        TrackCloseButton();
        return;
    }
    if (code == HT_TB2K_CAPTION) {
        // The loop may dock the window and let this form go: nothing of it is touched afterwards.
        if (window)
            window->BeginMoving(p);
        return;
    }
    TCustomForm::Dispatch(m);
}

void TTBFloatingWindowParent::TrackCloseButton()
{
    HWND wnd = FHandle;
    std::weak_ptr<int> alive = LifeToken();
    auto over = [this, wnd] {
        POINT p{};
        GetCursorPos(&p);
        RECT window{};
        GetWindowRect(wnd, &window);
        RECT close = CloseButtonRect();
        return ::PtInRect(&close, POINT{p.x - window.left, p.y - window.top}) != FALSE;
    };
    auto showPressed = [this](bool pressed) {
        FCloseButtonPressed = pressed;
        RedrawNCArea(frpCloseButton);
    };
    bool released = TrackButtonPress(wnd, alive, over, showPressed);
    if (alive.expired())
        return;
    showPressed(false);
    if (released && FHostedWindow)
        FHostedWindow->Close();
}
