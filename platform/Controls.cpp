#include "platform/Controls.h"

#include <algorithm>
#include <optional>
#include <unordered_map>

#include "platform/Forms.h"
#include "platform/Geometry.h"
#include "platform/ScopeGuards.h"

SF_IMPLEMENT_COMPONENT(TControl, TComponent)
SF_IMPLEMENT_COMPONENT(TWinControl, TControl)
SF_IMPLEMENT_COMPONENT(TCustomControl, TWinControl)
SF_IMPLEMENT_COMPONENT(TGraphicControl, TControl)
SF_IMPLEMENT_CLASS(TControlCanvas, TCanvas)

std::function<bool(TControl*, TComponent*, POINT)> TControl::PopupMenuHook;

namespace {
TWinControl* gCreationControl = nullptr;
TControl* gCaptureControl = nullptr;
ATOM gWindowAtom = 0;
ATOM gControlAtom = 0;
// The windows this thread has bound to controls, mirroring their control property: every message
// looks its control up, and under Wine reading a window property is a round trip to the server.
thread_local std::unordered_map<HWND, TWinControl*> tBoundWindows;
int gLivePaintBuffers = 0;
// Control canvases holding a DC they fetched themselves, oldest first.
std::vector<TControlCanvas*> gCachedCanvases;
constexpr size_t MaxCachedCanvases = 4;

bool IsMouseMessage(UINT msg)
{
    return msg >= WM_MOUSEFIRST && msg <= WM_MOUSELAST;
}

LPARAM PointToLParam(POINT p)
{
    return MAKELPARAM(static_cast<WORD>(static_cast<short>(p.x)), static_cast<WORD>(static_cast<short>(p.y)));
}

// Moves item to the end (toEnd) or the front of list; false when the list does not hold it.
template <class T>
bool MoveToEdge(std::vector<T*>& list, T* item, bool toEnd)
{
    auto it = std::find(list.begin(), list.end(), item);
    if (it == list.end())
        return false;
    list.erase(it);
    if (toEnd)
        list.push_back(item);
    else
        list.insert(list.begin(), item);
    return true;
}

// Lends a control's canvas the DC being painted for the length of one paint call.
template <class PaintFn>
void PaintOnDC(TControlCanvas& canvas, HDC& paintDC, HDC dc, PaintFn paint)
{
    canvas.Lock();
    canvas.FreeHandle();
    canvas.SetHandle(dc);
    paintDC = dc;
    TScopeExit release([&] {
        paintDC = nullptr;
        canvas.SetHandle(nullptr);
        canvas.Unlock();
    });
    paint();
}
}

// ---- module functions ----

int LivePaintBuffers() { return gLivePaintBuffers; }
TWinControl* GetCreationControl() { return gCreationControl; }
void SetCreationControl(TWinControl* control) { gCreationControl = control; }
ATOM GetWindowAtom() { return gWindowAtom; }
ATOM GetControlAtom() { return gControlAtom; }

TWinControl* FindControl(HWND wnd)
{
    if (!wnd || !gControlAtom)
        return nullptr;
    if (GetWindowThreadProcessId(wnd, nullptr) != GetCurrentThreadId())
        return nullptr;
    auto bound = tBoundWindows.find(wnd);
    return bound == tBoundWindows.end() ? nullptr : bound->second;
}

// A bound window is counted until it is unbound, whichever procedure made it (8-bit or wide), so
// that leak tests see the windows controls leave behind.
void BindControlWindow(HWND wnd, TWinControl* control)
{
    SetPropA(wnd, MAKEINTATOM(gWindowAtom), control);
    SetPropA(wnd, MAKEINTATOM(gControlAtom), control);
    if (tBoundWindows.insert_or_assign(wnd, control).second)
        CountHandle(THandleKind::Window, 1);
}

void UnbindControlWindow(HWND wnd)
{
    if (tBoundWindows.erase(wnd))
        CountHandle(THandleKind::Window, -1);
    RemovePropA(wnd, MAKEINTATOM(gWindowAtom));
    RemovePropA(wnd, MAKEINTATOM(gControlAtom));
}

TControl* GetCaptureControl()
{
    // Capture may have moved to a window outside the class library without telling us.
    if (gCaptureControl) {
        HWND capture = GetCapture();
        HWND expected = nullptr;
        if (auto* wc = dynamic_cast<TWinControl*>(gCaptureControl))
            expected = wc->GetWindowHandle();
        else if (gCaptureControl->GetParent())
            expected = gCaptureControl->GetParent()->GetWindowHandle();
        if (capture != expected)
            gCaptureControl = nullptr;
    }
    return gCaptureControl;
}

void SetCaptureControl(TControl* control)
{
    gCaptureControl = nullptr;
    if (!control) {
        ReleaseCapture();
        return;
    }
    HWND wnd = nullptr;
    if (auto* wc = dynamic_cast<TWinControl*>(control))
        wnd = wc->GetHandle();
    else if (control->GetParent())
        wnd = control->GetParent()->GetHandle();
    if (!wnd)
        return;
    SetCapture(wnd);
    gCaptureControl = control;
}

TCustomForm* GetParentForm(const TControl* control)
{
    while (control && control->GetParent())
        control = control->GetParent();
    if (control && Is<TCustomForm>(control))
        return static_cast<TCustomForm*>(const_cast<TControl*>(control));
    return nullptr;
}

TControl* FindDragTarget(POINT screenPos, bool allowDisabled)
{
    HWND wnd = WindowFromPoint(screenPos);
    TWinControl* wc = nullptr;
    while (wnd && !(wc = FindControl(wnd)))
        wnd = GetParent(wnd);
    if (!wc)
        return nullptr;
    // WindowFromPoint skips disabled windows; walk down through every child instead.
    for (;;) {
        POINT p = wc->ScreenToClient(screenPos);
        HWND child = ChildWindowFromPointEx(wc->GetHandle(), p, CWP_SKIPINVISIBLE | CWP_SKIPTRANSPARENT);
        TWinControl* next = child && child != wc->GetHandle() ? FindControl(child) : nullptr;
        if (!next || (!allowDisabled && !next->GetEnabled()))
            break;
        wc = next;
    }
    POINT p = wc->ScreenToClient(screenPos);
    if (TControl* c = wc->ControlAtPos(p, allowDisabled))
        return c;
    return wc;
}

std::string GetShortHint(const std::string& hint)
{
    size_t bar = hint.find('|');
    return bar == std::string::npos ? hint : hint.substr(0, bar);
}

std::string GetLongHint(const std::string& hint)
{
    size_t bar = hint.find('|');
    return bar == std::string::npos ? hint : hint.substr(bar + 1);
}

void InitControls()
{
    char name[64];
    std::snprintf(name, sizeof(name), "Sheetfold%.8lX", GetCurrentProcessId());
    gWindowAtom = GlobalAddAtomA(name);
    std::snprintf(name, sizeof(name), "ControlOfs%.8lX%.8lX", static_cast<unsigned long>(reinterpret_cast<uintptr_t>(GetModuleHandleA(nullptr))),
                  GetCurrentThreadId());
    gControlAtom = GlobalAddAtomA(name);
}

void DoneControls()
{
    if (gControlAtom)
        GlobalDeleteAtom(gControlAtom);
    if (gWindowAtom)
        GlobalDeleteAtom(gWindowAtom);
    gControlAtom = 0;
    gWindowAtom = 0;
}

LRESULT CALLBACK InitWndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    TWinControl* control = gCreationControl;
    if (!control)
        return DefWindowProcA(wnd, msg, wParam, lParam);
    gCreationControl = nullptr;
    control->FHandle = wnd;
    BindControlWindow(wnd, control);
    SetWindowLongPtrA(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ControlWndProc));
    // Give a child without an identifier its own handle as one, so notifications name it.
    if ((GetWindowLongA(wnd, GWL_STYLE) & WS_CHILD) && GetWindowLongPtrA(wnd, GWLP_ID) == 0)
        SetWindowLongPtrA(wnd, GWLP_ID, reinterpret_cast<LONG_PTR>(wnd));
    return ControlWndProc(wnd, msg, wParam, lParam);
}

LRESULT CALLBACK ControlWndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    TWinControl* control = FindControl(wnd);
    if (!control)
        return DefWindowProcA(wnd, msg, wParam, lParam);
    TMessage m{msg, wParam, lParam, 0};
    std::weak_ptr<int> alive = control->LifeToken();
    control->MainWndProc(m);
    if (msg == WM_NCDESTROY) {
        UnbindControlWindow(wnd);
        if (!alive.expired() && control->GetWindowHandle() == wnd)
            control->SetWindowHandle(nullptr);
    }
    return m.Result;
}

// ---- TControl ----

TControl::TControl(TComponent* owner)
    : TComponent(owner), FFont(New<TFont>()), FWindowProc(this, &TControl::WndProc)
{
    FFont->OnChange = TNotifyEvent(this, &TControl::FontChanged);
}

void TControl::FontChanged(TObject*)
{
    FParentFont = false;
    Perform(CM_FONTCHANGED);
}

void TControl::SetColor(TColor value)
{
    // A colour set is the control's own even when it equals the one it has: an edit that asks for
    // the window colour keeps it when its parent's colour comes down.
    FParentColor = false;
    if (value == FColor)
        return;
    FColor = value;
    Perform(CM_COLORCHANGED);
}

void TControl::SetParentColor(bool value)
{
    if (value == FParentColor)
        return;
    FParentColor = value;
    if (value && FParent)
        Perform(CM_PARENTCOLORCHANGED);
}

void TControl::SetParentFont(bool value)
{
    if (value == FParentFont)
        return;
    FParentFont = value;
    if (value && FParent)
        Perform(CM_PARENTFONTCHANGED);
}

TControl::~TControl()
{
    if (FParent)
        FParent->RemoveControl(this);
    if (gCaptureControl == this)
        gCaptureControl = nullptr;
}

void TControl::BeforeDestruction()
{
    Destroying();
    if (Application)
        Application->ControlDestroyed(this);
    if (gCaptureControl == this)
        SetCaptureControl(nullptr);
    if (FParent)
        SetParent(nullptr);
    TComponent::BeforeDestruction();
}

void TControl::Notification(TComponent* component, TOperation operation)
{
    TComponent::Notification(component, operation);
    if (operation == TOperation::opRemove && component == FPopupMenu)
        FPopupMenu = nullptr;
}

TComponent* TControl::GetParentComponent() const
{
    return FParent;
}

void TControl::SetName(const std::string& name)
{
    // A caption that still shows the old name follows the new one.
    bool follow = (FControlStyle & csSetCaption) && !HasState(csLoading) && GetText() == GetName();
    TComponent::SetName(name);
    if (follow)
        SetText(name);
}

void TControl::SetParentComponent(TComponent* parent)
{
    if (auto* wc = dynamic_cast<TWinControl*>(parent))
        SetParent(wc);
}

void TControl::SetParent(TWinControl* parent)
{
    if (parent == FParent)
        return;
    if (parent == this)
        throw EInvalidOperation("A control cannot have itself as its parent");
    if (parent)
        parent->ValidateInsert(this);
    if (FParent)
        FParent->RemoveControl(this);
    if (parent) {
        parent->InsertControl(this);
        UpdateAnchorRules();
    }
    ParentChanged();
}

void TControl::SetBounds(int left, int top, int width, int height)
{
    ConstrainedResize(width, height);
    if (left == FLeft && top == FTop && width == FWidth && height == FHeight)
        return;
    InvalidateControl(FVisible, false);
    bool resized = width != FWidth || height != FHeight;
    FLeft = left;
    FTop = top;
    FWidth = width;
    FHeight = height;
    UpdateAnchorRules();
    InvalidateControl(FVisible, false);
    RequestAlign();
    if (resized)
        Resize();
}

void TControl::ConstrainedResize(int& width, int& height)
{
    if (FConstraints.MaxWidth > 0 && width > FConstraints.MaxWidth)
        width = FConstraints.MaxWidth;
    if (FConstraints.MaxHeight > 0 && height > FConstraints.MaxHeight)
        height = FConstraints.MaxHeight;
    width = std::max({width, FConstraints.MinWidth, 0});
    height = std::max({height, FConstraints.MinHeight, 0});
}

void TControl::SetConstraints(const TSizeConstraints& value)
{
    FConstraints = value;
    SetBounds(FLeft, FTop, FWidth, FHeight);
}

void TControl::SetAutoSize(bool value)
{
    if (value == FAutoSize)
        return;
    FAutoSize = value;
    if (value)
        AdjustSize();
}

bool TControl::CanAutoSize(int&, int&)
{
    return true;
}

void TControl::AdjustSize()
{
    if (!FAutoSize)
        return;
    int w = FWidth, h = FHeight;
    if (CanAutoSize(w, h))
        SetBounds(FLeft, FTop, w, h);
}

void TControl::SetParentBackground(bool value)
{
    if (value == GetParentBackground())
        return;
    if (value)
        FControlStyle |= csParentBackground;
    else
        FControlStyle &= ~csParentBackground;
    Invalidate();
}

RECT TControl::GetClientRect() const
{
    return RECT{0, 0, FWidth, FHeight};
}

int TControl::GetClientWidth() const
{
    RECT r = GetClientRect();
    return r.right - r.left;
}

int TControl::GetClientHeight() const
{
    RECT r = GetClientRect();
    return r.bottom - r.top;
}

void TControl::SetClientWidth(int value)
{
    SetWidth(value + (FWidth - GetClientWidth()));
}

void TControl::SetClientHeight(int value)
{
    SetHeight(value + (FHeight - GetClientHeight()));
}

POINT TControl::GetClientOrigin() const
{
    if (!FParent)
        throw EInvalidOperation("Control '" + GetName() + "' has no parent window");
    POINT p = FParent->GetClientOrigin();
    return POINT{p.x + FLeft, p.y + FTop};
}

POINT TControl::ClientToScreen(POINT p) const
{
    POINT o = GetClientOrigin();
    return POINT{p.x + o.x, p.y + o.y};
}

POINT TControl::ScreenToClient(POINT p) const
{
    POINT o = GetClientOrigin();
    return POINT{p.x - o.x, p.y - o.y};
}

void TControl::SetAlign(TAlign value)
{
    if (value == FAlign)
        return;
    TAlign old = FAlign;
    FAlign = value;
    FAnchors = akLeft | akTop;
    // A control that stops being aligned keeps the size it had before, not the stretched one.
    if (old == alTop || old == alBottom || old == alClient || value == alNone)
        UpdateAnchorRules();
    RequestAlign();
}

void TControl::SetAnchors(TAnchors value)
{
    if (value == FAnchors)
        return;
    FAnchors = value;
    UpdateAnchorRules();
}

void TControl::UpdateAnchorRules()
{
    if (!FParent)
        return;
    int cw = FParent->GetClientWidth();
    int ch = FParent->GetClientHeight();
    FAnchorRight = cw - (FLeft + FWidth);
    FAnchorBottom = ch - (FTop + FHeight);
}

void TControl::SetVisible(bool value)
{
    if (value == FVisible)
        return;
    VisibleChanging();
    FVisible = value;
    Perform(CM_VISIBLECHANGED, value ? 1 : 0);
    RequestAlign();
}

void TControl::Show()
{
    if (FParent)
        FParent->ShowControl(this);
    SetVisible(true);
}

void TControl::Hide()
{
    SetVisible(false);
}

bool TControl::GetShowing() const
{
    return FVisible && FParent && FParent->GetShowing();
}

void TControl::SetEnabled(bool value)
{
    if (value == FEnabled)
        return;
    FEnabled = value;
    Perform(CM_ENABLEDCHANGED);
}

std::string TControl::GetText()
{
    LRESULT len = Perform(WM_GETTEXTLENGTH);
    if (len <= 0)
        return {};
    std::string text(static_cast<size_t>(len) + 1, '\0');
    LRESULT got = Perform(WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(std::clamp<LRESULT>(got, 0, len)));
    return text;
}

void TControl::SetText(const std::string& value)
{
    if (GetText() == value)
        return;
    Perform(WM_SETTEXT, 0, reinterpret_cast<LPARAM>(value.c_str()));
    Perform(CM_TEXTCHANGED);
}

void TControl::SetShowHint(bool value)
{
    if (value == FShowHint && !FParentShowHint)
        return;
    FShowHint = value;
    FParentShowHint = false;
    Perform(CM_SHOWHINTCHANGED);
}

void TControl::SetParentShowHint(bool value)
{
    if (value == FParentShowHint)
        return;
    FParentShowHint = value;
    if (value && FParent) {
        FShowHint = FParent->GetShowHint();
        Perform(CM_SHOWHINTCHANGED);
    }
}

void TControl::SetCursor(TCursor value)
{
    if (value == FCursor)
        return;
    FCursor = value;
    Perform(CM_CURSORCHANGED);
}

void TControl::SetPopupMenu(TComponent* menu)
{
    if (menu == FPopupMenu)
        return;
    if (FPopupMenu)
        FPopupMenu->RemoveFreeNotification(this);
    FPopupMenu = menu;
    if (menu)
        menu->FreeNotification(this);
}

LRESULT TControl::Perform(UINT msg, WPARAM wParam, LPARAM lParam)
{
    TMessage m{msg, wParam, lParam, 0};
    DeliverMessage(m);
    return m.Result;
}

void TControl::DeliverMessage(TMessage& m)
{
    if (FWindowProc)
        FWindowProc(m);
    else
        WndProc(m);
}

void TControl::WndProc(TMessage& m)
{
    if (IsMouseMessage(m.Msg)) {
        if (m.Msg == WM_MOUSEMOVE && Application)
            Application->HintMouseMessage(this, m);
        if (m.Msg == WM_LBUTTONDOWN || m.Msg == WM_LBUTTONDBLCLK)
            FControlState |= csLButtonDown;
        else if (m.Msg == WM_LBUTTONUP)
            FControlState &= ~csLButtonDown;
    }
    Dispatch(m);
}

void TControl::Dispatch(TMessage& m)
{
    switch (m.Msg) {
    case WM_LBUTTONDOWN:
        WMMouseDown(m, TMouseButton::mbLeft, 0);
        return;
    case WM_RBUTTONDOWN:
        WMMouseDown(m, TMouseButton::mbRight, 0);
        return;
    case WM_MBUTTONDOWN:
        WMMouseDown(m, TMouseButton::mbMiddle, 0);
        return;
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDBLCLK: {
        TMouseButton b = m.Msg == WM_LBUTTONDBLCLK ? TMouseButton::mbLeft
                         : m.Msg == WM_RBUTTONDBLCLK ? TMouseButton::mbRight
                                                     : TMouseButton::mbMiddle;
        if (!(FControlStyle & csDoubleClicks)) {
            WMMouseDown(m, b, 0);
            return;
        }
        if (b == TMouseButton::mbLeft) {
            std::weak_ptr<int> alive = FLifeToken;
            DblClick();
            if (alive.expired())
                return;
        }
        WMMouseDown(m, b, ssDouble);
        return;
    }
    case WM_LBUTTONUP:
        WMMouseUp(m, TMouseButton::mbLeft);
        return;
    case WM_RBUTTONUP:
        WMMouseUp(m, TMouseButton::mbRight);
        return;
    case WM_MBUTTONUP:
        WMMouseUp(m, TMouseButton::mbMiddle);
        return;
    case WM_MOUSEMOVE:
        WMMouseMove(m);
        return;
    case WM_CONTEXTMENU:
        WMContextMenu(m);
        return;
    case WM_CANCELMODE:
        WMCancelMode(m);
        return;
    case CM_MOUSEENTER:
        OnMouseEnter(this);
        return;
    case CM_MOUSELEAVE:
        OnMouseLeave(this);
        return;
    case CM_HITTEST:
        m.Result = HTCLIENT;
        return;
    case CM_PARENTCOLORCHANGED:
        if (FParentColor && FParent) {
            SetColor(FParent->FColor);
            FParentColor = true;
        }
        return;
    case CM_PARENTFONTCHANGED:
        if (FParentFont && FParent) {
            FFont->Assign(FParent->FFont.get());
            FParentFont = true;
        }
        return;
    case CM_PARENTSHOWHINTCHANGED:
        if (FParentShowHint && FParent && FShowHint != FParent->GetShowHint()) {
            FShowHint = FParent->GetShowHint();
            Perform(CM_SHOWHINTCHANGED);
        }
        return;
    case CM_VISIBLECHANGED:
    case CM_ENABLEDCHANGED:
    case CM_TEXTCHANGED:
    case CM_COLORCHANGED:
    case CM_FONTCHANGED:
        if (!dynamic_cast<TWinControl*>(this))
            Invalidate();
        return;
    default:
        DefaultHandler(m);
    }
}

void TControl::DefaultHandler(TMessage& m)
{
    switch (m.Msg) {
    case WM_GETTEXT: {
        if (m.WParam == 0 || !m.LParam)
            return;
        size_t n = std::min(FText.size(), static_cast<size_t>(m.WParam) - 1);
        std::copy_n(FText.data(), n, reinterpret_cast<char*>(m.LParam));
        reinterpret_cast<char*>(m.LParam)[n] = '\0';
        m.Result = static_cast<LRESULT>(n);
        return;
    }
    case WM_GETTEXTLENGTH:
        m.Result = static_cast<LRESULT>(FText.size());
        return;
    case WM_SETTEXT:
        FText = m.LParam ? reinterpret_cast<const char*>(m.LParam) : "";
        m.Result = 1;
        return;
    default:
        return;
    }
}

void TControl::WMMouseDown(TMessage& m, TMouseButton button, TShiftState extra)
{
    // A system control (button, edit, list) acts on the mouse itself; it sees the message first.
    DefaultHandler(m);
    if (button == TMouseButton::mbLeft) {
        if (FControlStyle & csCaptureMouse)
            SetMouseCapture(true);
        if (FControlStyle & csClickEvents)
            FControlState |= csClicked;
    }
    if (!(FControlStyle & csNoStdEvents))
        MouseDown(button, KeysToShiftState(m.WParam) | extra, m.XPos(), m.YPos());
}

void TControl::WMMouseUp(TMessage& m, TMouseButton button)
{
    std::weak_ptr<int> alive = FLifeToken;
    DefaultHandler(m);
    if (alive.expired())
        return;
    if (button == TMouseButton::mbLeft) {
        if (FControlStyle & csCaptureMouse)
            SetMouseCapture(false);
        if (FControlState & csClicked) {
            FControlState &= ~csClicked;
            if (PointInRect(GetClientRect(), POINT{m.XPos(), m.YPos()}))
                Click();
            if (alive.expired())
                return;
        }
    }
    if (!(FControlStyle & csNoStdEvents))
        MouseUp(button, KeysToShiftState(m.WParam), m.XPos(), m.YPos());
}

void TControl::WMMouseMove(TMessage& m)
{
    DefaultHandler(m);
    if (!(FControlStyle & csNoStdEvents))
        MouseMove(KeysToShiftState(m.WParam), m.XPos(), m.YPos());
}

void TControl::WMContextMenu(TMessage& m)
{
    if (m.Result != 0)
        return;
    POINT pos{m.XPos(), m.YPos()};
    POINT clientPos = pos;
    // (-1, -1) marks a request from the keyboard: show the menu at the control's origin.
    if (pos.x == -1 && pos.y == -1)
        clientPos = POINT{0, 0};
    else
        clientPos = ScreenToClient(pos);
    bool handled = false;
    DoContextPopup(clientPos, handled);
    if (handled) {
        m.Result = 1;
        return;
    }
    if (FPopupMenu && PopupMenuHook) {
        POINT screen = ClientToScreen(clientPos);
        if (PopupMenuHook(this, FPopupMenu, screen))
            m.Result = 1;
    }
}

void TControl::WMCancelMode(TMessage&)
{
    // The system takes the mouse away (a dialog, a menu, another capture): end a drag properly.
    if (GetMouseCapture()) {
        SetMouseCapture(false);
        Perform(CM_CANCELMODE, 0, reinterpret_cast<LPARAM>(this));
        if (FControlState & csLButtonDown)
            Perform(WM_LBUTTONUP, 0, static_cast<LPARAM>(0xFFFFFFFF));
    } else {
        FControlState &= ~csLButtonDown;
    }
}

void TControl::DoContextPopup(POINT mousePos, bool& handled)
{
    OnContextPopup(this, mousePos, handled);
}

void TControl::Click()
{
    OnClick(this);
}

void TControl::DblClick()
{
    OnDblClick(this);
}

void TControl::Resize()
{
    OnResize(this);
}

void TControl::MouseDown(TMouseButton button, TShiftState shift, int x, int y)
{
    OnMouseDown(this, button, shift, x, y);
}

void TControl::MouseMove(TShiftState shift, int x, int y)
{
    OnMouseMove(this, shift, x, y);
}

void TControl::MouseUp(TMouseButton button, TShiftState shift, int x, int y)
{
    OnMouseUp(this, button, shift, x, y);
}

bool TControl::GetMouseCapture() const
{
    return GetCaptureControl() == this;
}

void TControl::SetMouseCapture(bool value)
{
    if (value == GetMouseCapture())
        return;
    SetCaptureControl(value ? this : nullptr);
}

void TControl::InvalidateControl(bool isVisible, bool isOpaque)
{
    if (!FParent || !FParent->HandleAllocated() || !(isVisible || FVisible) || dynamic_cast<TWinControl*>(this))
        return;
    RECT r = GetBoundsRect();
    InvalidateRect(FParent->GetWindowHandle(), &r, !(isOpaque || (FControlStyle & csOpaque)));
}

void TControl::Invalidate()
{
    InvalidateControl(FVisible, (FControlStyle & csOpaque) != 0);
}

void TControl::Update()
{
    if (FParent)
        FParent->Update();
}

void TControl::Repaint()
{
    if (!FParent || !FVisible || !FParent->HandleAllocated())
        return;
    if (FControlStyle & csOpaque) {
        TWindowDC dc(FParent->GetWindowHandle());
        TClipGuard clip(dc.Get(), GetBoundsRect());
        FParent->PaintControls(dc.Get(), this);
        return;
    }
    Invalidate();
    Update();
}

void TControl::BringToFront()
{
    SetZOrder(true);
}

void TControl::SendToBack()
{
    SetZOrder(false);
}

void TControl::SetZOrder(bool topMost)
{
    if (!FParent || !MoveToEdge(FParent->FControls, this, topMost))
        return;
    if (FAlign != alNone)
        RequestAlign();
    Invalidate();
}

void TControl::RequestAlign()
{
    if (FParent)
        FParent->Realign();
}

// ---- TWinControl ----

TWinControl::TWinControl(TComponent* owner) : TControl(owner), FBrush(New<TBrush>())
{
    FBrush->SetColor(FColor);
}

TWinControl::~TWinControl()
{
    if (FHandle)
        DestroyWindow(FHandle);
    while (!FControls.empty() || !FWinControls.empty()) {
        TControl* c = !FWinControls.empty() ? static_cast<TControl*>(FWinControls.back()) : FControls.back();
        RemoveControl(c);
        delete c;
    }
}

void TWinControl::BeforeDestruction()
{
    Destroying();
    if (TCustomForm* form = GetParentForm(this))
        if (form != this)
            form->DefocusControl(this, true);
    if (FHandle)
        DestroyHandle();
    // A parent frees its children, whoever owns them.
    while (GetControlCount() > 0) {
        TControl* c = GetControl(GetControlCount() - 1);
        RemoveControl(c);
        c->Free();
    }
    TControl::BeforeDestruction();
}

HWND TWinControl::GetHandle()
{
    HandleNeeded();
    return FHandle;
}

void TWinControl::HandleNeeded()
{
    if (FHandle)
        return;
    if (FParent)
        FParent->HandleNeeded();
    CreateHandle();
}

void TWinControl::SetParentWindow(HWND parent)
{
    if (FParent || parent == FParentWindow)
        return;
    if (FHandle && parent && FParentWindow) {
        ::SetParent(FHandle, parent);
        FParentWindow = parent;
        return;
    }
    DestroyHandle();
    FParentWindow = parent;
    UpdateControlState();
}

void TWinControl::SetParent(TWinControl* parent)
{
    if (parent == FParent)
        return;
    if (FParent && FHandle)
        DestroyHandle();
    if (TCustomForm* form = GetParentForm(this))
        if (form != this)
            form->DefocusControl(this, true);
    TControl::SetParent(parent);
    if (FParent)
        UpdateControlState();
}

void TWinControl::CreateParams(TCreateParams& p)
{
    p = TCreateParams{};
    p.Caption = FText;
    p.Style = WS_CHILD | WS_CLIPSIBLINGS;
    if (FControlStyle & csAcceptsControls) {
        p.Style |= WS_CLIPCHILDREN;
        p.ExStyle |= WS_EX_CONTROLPARENT;
    }
    if (!FEnabled)
        p.Style |= WS_DISABLED;
    if (FTabStop)
        p.Style |= WS_TABSTOP;
    p.X = FLeft;
    p.Y = FTop;
    p.Width = FWidth;
    p.Height = FHeight;
    p.WndParent = FParent ? FParent->GetHandle() : FParentWindow;
    p.WindowClass.style = CS_VREDRAW | CS_HREDRAW;
    if (FControlStyle & csDoubleClicks)
        p.WindowClass.style |= CS_DBLCLKS;
    p.WindowClass.lpfnWndProc = &DefWindowProcA;
    p.WindowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    p.WindowClass.hInstance = GetModuleHandleA(nullptr);
    p.WinClassName = ClassName();
}

void TWinControl::CreateSubClass(TCreateParams& p, const char* className)
{
    WNDCLASSA wc{};
    if (!GetClassInfoA(nullptr, className, &wc) && !GetClassInfoA(p.WindowClass.hInstance, className, &wc))
        RaiseLastOSError(std::string("GetClassInfo ") + className);
    HINSTANCE instance = p.WindowClass.hInstance;
    p.WindowClass = wc;
    p.WindowClass.hInstance = instance;
    p.WindowClass.style &= ~(CS_OWNDC | CS_CLASSDC | CS_PARENTDC | CS_GLOBALCLASS);
}

void TWinControl::CreateWnd()
{
    TCreateParams p;
    CreateParams(p);
    if ((p.Style & WS_CHILD) && !p.WndParent)
        throw EInvalidOperation("Control '" + GetName() + "' has no parent window");
    FDefWndProc = p.WindowClass.lpfnWndProc ? p.WindowClass.lpfnWndProc : &DefWindowProcA;
    WNDCLASSA existing{};
    bool registered = GetClassInfoA(p.WindowClass.hInstance, p.WinClassName.c_str(), &existing) != 0;
    if (!registered || existing.lpfnWndProc != &InitWndProc) {
        if (registered)
            UnregisterClassA(p.WinClassName.c_str(), p.WindowClass.hInstance);
        WNDCLASSA wc = p.WindowClass;
        wc.lpfnWndProc = &InitWndProc;
        wc.lpszClassName = p.WinClassName.c_str();
        if (!RegisterClassA(&wc))
            RaiseLastOSError("RegisterClass " + p.WinClassName);
    }
    {
        gCreationControl = this;
        TScopeExit created([] { gCreationControl = nullptr; });
        CreateWindowHandle(p);
    }
    if (!FHandle)
        RaiseLastOSError("CreateWindow " + p.WinClassName);
    // System controls draw with the font they are given.
    if (FDefWndProc != &DefWindowProcA)
        Perform(WM_SETFONT, reinterpret_cast<WPARAM>(FFont->GetHandle()), 0);
}

void TWinControl::CreateWindowHandle(const TCreateParams& p)
{
    HWND wnd = CreateWindowExA(p.ExStyle, p.WinClassName.c_str(), p.Caption.c_str(), p.Style, p.X, p.Y, p.Width, p.Height,
                               p.WndParent, nullptr, p.WindowClass.hInstance, p.Param);
    if (wnd && !FHandle)
        FHandle = wnd;
}

void TWinControl::CreateHandle()
{
    if (FHandle)
        return;
    CreateWnd();
    if (FParent)
        SetWindowPos(FHandle, FParent->PrecedingWindow(this), 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    for (TControl* c : FControls)
        c->UpdateAnchorRules();
    for (TWinControl* c : FWinControls)
        c->UpdateAnchorRules();
    Realign();
}

void TWinControl::DestroyWnd()
{
    // The window keeps the text while it exists; keep it for the next window.
    if (FHandle) {
        TControlCanvas::FreeWindowCanvases(FHandle);
        int len = GetWindowTextLengthA(FHandle);
        std::string text(static_cast<size_t>(std::max(len, 0)) + 1, '\0');
        int got = len > 0 ? GetWindowTextA(FHandle, text.data(), len + 1) : 0;
        text.resize(static_cast<size_t>(std::max(got, 0)));
        FText = text;
    }
    DestroyWindowHandle();
}

void TWinControl::DestroyWindowHandle()
{
    FControlState |= csDestroyingHandle;
    HWND wnd = FHandle;
    if (wnd && !DestroyWindow(wnd) && IsWindow(wnd)) {
        FControlState &= ~csDestroyingHandle;
        RaiseLastOSError("DestroyWindow");
    }
    FHandle = nullptr;
    FControlState &= ~csDestroyingHandle;
}

void TWinControl::DestroyHandle()
{
    if (!FHandle)
        return;
    for (TWinControl* c : FWinControls)
        c->DestroyHandle();
    if (gCaptureControl && (gCaptureControl == this || gCaptureControl->FParent == this))
        gCaptureControl = nullptr;
    DestroyWnd();
    FShowing = false;
}

void TWinControl::RecreateWnd()
{
    if (FHandle)
        Perform(CM_RECREATEWND);
}

void TWinControl::CMRecreateWnd(TMessage&)
{
    bool wasFocused = Focused();
    std::vector<TWinControl*> hadHandles;
    std::function<void(TWinControl*)> collect = [&](TWinControl* c) {
        if (!c->FHandle)
            return;
        hadHandles.push_back(c);
        for (TWinControl* child : c->FWinControls)
            collect(child);
    };
    collect(this);
    FControlState |= csRecreating;
    DestroyHandle();
    for (TWinControl* c : hadHandles)
        c->HandleNeeded();
    FControlState &= ~csRecreating;
    for (TWinControl* c : hadHandles)
        c->UpdateShowing();
    if (wasFocused && FHandle)
        ::SetFocus(FHandle);
}

void TWinControl::MainWndProc(TMessage& m)
{
    try {
        if (FWindowProc)
            FWindowProc(m);
        else
            WndProc(m);
    } catch (...) {
        HandleCallbackException(this);
    }
}

TControl* TWinControl::GetControl(int index) const
{
    if (index < 0 || index >= GetControlCount())
        throw EListError("List index out of bounds (" + std::to_string(index) + ")");
    size_t i = static_cast<size_t>(index);
    if (i < FControls.size())
        return FControls[i];
    return FWinControls[i - FControls.size()];
}

void TWinControl::InsertControl(TControl* control)
{
    control->FParent = this;
    if (auto* wc = dynamic_cast<TWinControl*>(control)) {
        FWinControls.push_back(wc);
        FTabList.push_back(wc);
    } else {
        FControls.push_back(control);
    }
    control->Perform(CM_PARENTCOLORCHANGED);
    control->Perform(CM_PARENTFONTCHANGED);
    control->Perform(CM_PARENTSHOWHINTCHANGED);
    Perform(CM_CONTROLCHANGE, reinterpret_cast<WPARAM>(control), 1);
    Perform(CM_CONTROLLISTCHANGE, reinterpret_cast<WPARAM>(control), 1);
    if (control->FAlign != alNone)
        Realign();
}

void TWinControl::RemoveControl(TControl* control)
{
    bool destroying = HasState(csDestroying);
    if (!destroying)
        Perform(CM_CONTROLCHANGE, reinterpret_cast<WPARAM>(control), 0);
    if (auto* wc = dynamic_cast<TWinControl*>(control)) {
        FWinControls.erase(std::remove(FWinControls.begin(), FWinControls.end(), wc), FWinControls.end());
        FTabList.erase(std::remove(FTabList.begin(), FTabList.end(), wc), FTabList.end());
    } else {
        control->InvalidateControl(control->FVisible, false);
        FControls.erase(std::remove(FControls.begin(), FControls.end(), control), FControls.end());
    }
    control->FParent = nullptr;
    if (!destroying) {
        Perform(CM_CONTROLLISTCHANGE, reinterpret_cast<WPARAM>(control), 0);
        if (control->FAlign != alNone)
            Realign();
    }
}

bool TWinControl::ContainsControl(const TControl* control) const
{
    while (control && control != this)
        control = control->GetParent();
    return control == this;
}

TControl* TWinControl::ControlAtPos(POINT pos, bool allowDisabled, bool allowWinControls) const
{
    auto hit = [&](TControl* c) {
        if (!c->FVisible || (!allowDisabled && !c->FEnabled))
            return false;
        RECT r = c->GetBoundsRect();
        if (!PointInRect(r, pos))
            return false;
        POINT local{pos.x - c->FLeft, pos.y - c->FTop};
        return c->Perform(CM_HITTEST, 0, PointToLParam(local)) != 0;
    };
    if (allowWinControls)
        for (auto it = FWinControls.rbegin(); it != FWinControls.rend(); ++it)
            if (hit(*it))
                return *it;
    for (auto it = FControls.rbegin(); it != FControls.rend(); ++it)
        if (hit(*it))
            return *it;
    return nullptr;
}

void TWinControl::Broadcast(TMessage& m)
{
    for (int i = 0; i < GetControlCount(); ++i) {
        GetControl(i)->DeliverMessage(m);
        if (m.Result != 0)
            return;
    }
}

void TWinControl::NotifyControls(UINT msg)
{
    TMessage m{msg, 0, 0, 0};
    Broadcast(m);
}

void TWinControl::EnableAlign()
{
    if (--FAlignLevel == 0 && (FControlState & csAlignmentNeeded))
        Realign();
}

void TWinControl::Realign()
{
    if (FAlignLevel > 0 || HasState(csDestroying)) {
        FControlState |= csAlignmentNeeded;
        return;
    }
    TCountScope aligning(FAlignLevel);
    TScopeExit aligned([this] { FControlState &= ~csAlignmentNeeded; });
    RECT r = GetClientRect();
    AlignControls(nullptr, r);
}

void TWinControl::AdjustClientRect(RECT&)
{
}

void TWinControl::AlignControls(TControl*, RECT& rect)
{
    AdjustClientRect(rect);
    std::vector<TControl*> all;
    for (int i = 0; i < GetControlCount(); ++i)
        all.push_back(GetControl(i));
    const TAlign order[] = {alTop, alBottom, alLeft, alRight, alClient};
    for (TAlign align : order) {
        std::vector<TControl*> list;
        for (TControl* c : all)
            if (c->FVisible && c->FAlign == align)
                list.push_back(c);
        // Controls of one side stack by position; ties keep creation order.
        std::stable_sort(list.begin(), list.end(), [align](TControl* a, TControl* b) {
            switch (align) {
            case alTop:
                return a->FTop < b->FTop;
            case alBottom:
                return a->FTop + a->FHeight > b->FTop + b->FHeight;
            case alLeft:
                return a->FLeft < b->FLeft;
            case alRight:
                return a->FLeft + a->FWidth > b->FLeft + b->FWidth;
            default:
                return false;
            }
        });
        for (TControl* c : list) {
            int w = rect.right - rect.left;
            int h = rect.bottom - rect.top;
            switch (align) {
            case alTop:
                c->SetBounds(rect.left, rect.top, w, c->FHeight);
                rect.top += c->FHeight;
                break;
            case alBottom:
                c->SetBounds(rect.left, rect.bottom - c->FHeight, w, c->FHeight);
                rect.bottom -= c->FHeight;
                break;
            case alLeft:
                c->SetBounds(rect.left, rect.top, c->FWidth, h);
                rect.left += c->FWidth;
                break;
            case alRight:
                c->SetBounds(rect.right - c->FWidth, rect.top, c->FWidth, h);
                rect.right -= c->FWidth;
                break;
            default:
                c->SetBounds(rect.left, rect.top, w, h);
                break;
            }
        }
    }
    // Anchored controls keep their distances to the right and bottom edges.
    int cw = GetClientWidth();
    int ch = GetClientHeight();
    for (TControl* c : all) {
        if (c->FAlign != alNone || (c->FAnchors & (akRight | akBottom)) == 0)
            continue;
        int l = c->FLeft, t = c->FTop, w = c->FWidth, h = c->FHeight;
        int right = c->FAnchorRight, bottom = c->FAnchorBottom;
        if (c->FAnchors & akRight) {
            if (c->FAnchors & akLeft)
                w = cw - right - l;
            else
                l = cw - right - w;
        }
        if (c->FAnchors & akBottom) {
            if (c->FAnchors & akTop)
                h = ch - bottom - t;
            else
                t = ch - bottom - h;
        }
        c->SetBounds(l, t, w, h);
        c->FAnchorRight = right;
        c->FAnchorBottom = bottom;
    }
    ControlsAligned();
}

RECT TWinControl::GetClientRect() const
{
    if (FHandle) {
        RECT r{};
        ::GetClientRect(FHandle, &r);
        return r;
    }
    return TControl::GetClientRect();
}

POINT TWinControl::GetClientOrigin() const
{
    if (FHandle) {
        POINT p{0, 0};
        ::ClientToScreen(FHandle, &p);
        return p;
    }
    if (!FParent && FParentWindow) {
        POINT p{FLeft, FTop};
        ::ClientToScreen(FParentWindow, &p);
        return p;
    }
    if (!FParent)
        return POINT{FLeft, FTop};
    return TControl::GetClientOrigin();
}

void TWinControl::SetBounds(int left, int top, int width, int height)
{
    ConstrainedResize(width, height);
    if (left == FLeft && top == FTop && width == FWidth && height == FHeight)
        return;
    bool resized = width != FWidth || height != FHeight;
    FLeft = left;
    FTop = top;
    FWidth = width;
    FHeight = height;
    if (FHandle && !IsIconic(FHandle))
        SetWindowPos(FHandle, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    UpdateAnchorRules();
    if (resized) {
        std::weak_ptr<int> alive = LifeToken();
        Realign();
        Resize();
        if (alive.expired())
            return;
    }
    RequestAlign();
}

void TWinControl::RequestAlign()
{
    if (FParent)
        FParent->Realign();
}

bool TWinControl::CanAutoSize(int& newWidth, int& newHeight)
{
    bool any = false;
    int right = 0, bottom = 0;
    for (int i = 0; i < GetControlCount(); ++i) {
        TControl* c = GetControl(i);
        if (!c->FVisible)
            continue;
        any = true;
        right = std::max(right, c->FLeft + c->FWidth);
        bottom = std::max(bottom, c->FTop + c->FHeight);
    }
    if (!any)
        return false;
    RECT client = GetClientRect();
    RECT adjusted = client;
    AdjustClientRect(adjusted);
    // What the frame and the client adjustment take from the bounds.
    int extraW = (FWidth - (client.right - client.left)) + (client.right - adjusted.right) + adjusted.left;
    int extraH = (FHeight - (client.bottom - client.top)) + (client.bottom - adjusted.bottom) + adjusted.top;
    newWidth = right + extraW;
    newHeight = bottom + extraH;
    return true;
}

bool TWinControl::CanFocus() const
{
    TCustomForm* form = GetParentForm(this);
    if (!form)
        return FParentWindow && FVisible && FEnabled;
    for (const TWinControl* c = this; c && c != form; c = c->FParent)
        if (!c->FVisible || !c->FEnabled)
            return false;
    return true;
}

bool TWinControl::Focused() const
{
    return FHandle && GetFocus() == FHandle;
}

void TWinControl::SetFocus()
{
    if (TCustomForm* form = GetParentForm(this)) {
        form->FocusControl(this);
        return;
    }
    if (FParentWindow) {
        ::SetFocus(GetHandle());
        return;
    }
    throw EInvalidOperation("Control '" + GetName() + "' has no parent window");
}

void TWinControl::SetTabStop(bool value)
{
    if (value == FTabStop)
        return;
    FTabStop = value;
    if (FHandle) {
        LONG style = GetWindowLongA(FHandle, GWL_STYLE);
        SetWindowLongA(FHandle, GWL_STYLE, value ? (style | WS_TABSTOP) : (style & ~WS_TABSTOP));
    }
    Perform(CM_TABSTOPCHANGED);
}

int TWinControl::GetTabOrder() const
{
    if (!FParent)
        return -1;
    auto& list = FParent->FTabList;
    auto it = std::find(list.begin(), list.end(), this);
    return it == list.end() ? -1 : static_cast<int>(it - list.begin());
}

void TWinControl::SetTabOrder(int value)
{
    if (!FParent)
        return;
    auto& list = FParent->FTabList;
    int current = GetTabOrder();
    if (current < 0)
        return;
    value = std::clamp(value, 0, static_cast<int>(list.size()) - 1);
    list.erase(list.begin() + current);
    list.insert(list.begin() + value, this);
}

void TWinControl::GetTabOrderList(std::vector<TWinControl*>& list) const
{
    for (TWinControl* c : FTabList) {
        list.push_back(c);
        c->GetTabOrderList(list);
    }
}

TWinControl* TWinControl::FindNextControl(TWinControl* current, bool goForward, bool checkTabStop, bool checkParent) const
{
    std::vector<TWinControl*> list;
    GetTabOrderList(list);
    if (list.empty())
        return nullptr;
    int n = static_cast<int>(list.size());
    int start = -1;
    for (int i = 0; i < n; ++i)
        if (list[static_cast<size_t>(i)] == current)
            start = i;
    if (start < 0)
        start = goForward ? n - 1 : 0;
    int i = start;
    for (int step = 0; step < n; ++step) {
        i = goForward ? (i + 1) % n : (i + n - 1) % n;
        TWinControl* c = list[static_cast<size_t>(i)];
        if (c == current)
            break;
        if ((!checkTabStop || c->FTabStop) && (!checkParent || c->FParent == this) && c->CanFocus())
            return c;
    }
    return nullptr;
}

void TWinControl::SelectNext(TWinControl* current, bool goForward, bool checkTabStop)
{
    if (TWinControl* next = FindNextControl(current, goForward, checkTabStop, false))
        next->SetFocus();
}

void TWinControl::Invalidate()
{
    if (FHandle)
        InvalidateRect(FHandle, nullptr, !(FControlStyle & csOpaque));
}

void TWinControl::Update()
{
    if (FHandle)
        UpdateWindow(FHandle);
}

void TWinControl::Repaint()
{
    Invalidate();
    Update();
}

void TWinControl::PaintTo(HDC dc, int x, int y)
{
    int saved = SaveDC(dc);
    SetViewportOrgEx(dc, x, y, nullptr);
    IntersectClipRect(dc, 0, 0, FWidth, FHeight);
    Perform(WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(dc));
    Perform(WM_PAINT, reinterpret_cast<WPARAM>(dc), 0);
    RestoreDC(dc, saved);
    for (TWinControl* c : FWinControls)
        if (c->FVisible)
            c->PaintTo(dc, x + c->FLeft, y + c->FTop);
}

void TWinControl::ScrollBy(int deltaX, int deltaY)
{
    // A visible window scrolls its pixels and child windows together; a hidden one moves them.
    // The bounds change first, so the moves the scroll reports match them.
    bool scrolled = FHandle && IsWindowVisible(FHandle);
    for (int i = 0; i < GetControlCount(); ++i) {
        TControl* c = GetControl(i);
        c->FLeft += deltaX;
        c->FTop += deltaY;
        auto* wc = dynamic_cast<TWinControl*>(c);
        if (wc && wc->FHandle && !scrolled)
            SetWindowPos(wc->FHandle, nullptr, c->FLeft, c->FTop, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        c->UpdateAnchorRules();
    }
    if (scrolled)
        ScrollWindow(FHandle, deltaX, deltaY, nullptr, nullptr);
}

void TWinControl::UpdateControlState()
{
    const TWinControl* top = this;
    while (top->FParent) {
        top = top->FParent;
        if (!top->FShowing)
            return;
    }
    if (Is<TCustomForm>(top) || top->FParentWindow)
        UpdateShowing();
}

void TWinControl::UpdateShowing()
{
    // Showing: visible here and on every parent up to the top.
    bool show = FVisible && (!FParent || FParent->FShowing);
    if (show && !FHandle)
        CreateHandle();
    bool changed = FHandle && FShowing != show;
    if (show && changed) {
        // The children come up first, so the window appears with them in place.
        TFlagScope showing(FShowing);
        for (TWinControl* c : std::vector<TWinControl*>(FWinControls))
            c->UpdateShowing();
    }
    if (changed) {
        FShowing = show;
        TRollback unshow([this, show] { FShowing = !show; });
        Perform(CM_SHOWINGCHANGED);
        unshow.Commit();
    }
    if (!(show && changed))
        for (TWinControl* c : std::vector<TWinControl*>(FWinControls))
            c->UpdateShowing();
}

HWND TWinControl::PrecedingWindow(const TWinControl* control) const
{
    auto it = std::find(FWinControls.begin(), FWinControls.end(), control);
    if (it == FWinControls.end())
        return HWND_TOP;
    for (++it; it != FWinControls.end(); ++it)
        if ((*it)->FHandle)
            return (*it)->FHandle;
    return HWND_TOP;
}

void TWinControl::SetZOrder(bool topMost)
{
    if (!FParent || !MoveToEdge(FParent->FWinControls, this, topMost))
        return;
    if (FHandle)
        SetWindowPos(FHandle, topMost ? HWND_TOP : HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    if (FAlign != alNone)
        RequestAlign();
}

void TWinControl::WndProc(TMessage& m)
{
    if (IsMouseMessage(m.Msg) && IsControlMouseMsg(m))
        return;
    if (m.Msg == WM_SETFOCUS) {
        TCustomForm* form = GetParentForm(this);
        if (form && form != this && !form->SetFocusedControl(this))
            return;
    }
    TControl::WndProc(m);
}

bool TWinControl::IsControlMouseMsg(TMessage& m)
{
    TControl* target = nullptr;
    TControl* capture = GetCaptureControl();
    POINT p{m.XPos(), m.YPos()};
    if (m.Msg == WM_MOUSEWHEEL)
        return false;
    if (capture && capture != this) {
        if (capture->FParent != this)
            return false;
        target = capture;
    } else if (!capture) {
        target = ControlAtPos(p, false);
    }
    if (!target || dynamic_cast<TWinControl*>(target))
        return false;
    POINT local{p.x - target->FLeft, p.y - target->FTop};
    m.Result = target->Perform(m.Msg, m.WParam, PointToLParam(local));
    return true;
}

void TWinControl::Dispatch(TMessage& m)
{
    switch (m.Msg) {
    case WM_PAINT:
        WMPaint(m);
        return;
    case WM_PRINTCLIENT:
        if (m.WParam) {
            TMessage paint{WM_PAINT, m.WParam, 0, 0};
            PaintHandler(paint);
            return;
        }
        DefaultHandler(m);
        return;
    case WM_SYSCOLORCHANGE:
        NotifyControls(CM_SYSCOLORCHANGE);
        DefaultHandler(m);
        return;
    case WM_WININICHANGE:
        NotifyControls(CM_WININICHANGE);
        DefaultHandler(m);
        return;
    case WM_ERASEBKGND:
        WMEraseBkgnd(m);
        return;
    case WM_SIZE:
        WMSize(m);
        return;
    case WM_WINDOWPOSCHANGED:
        WMMove(m);
        return;
    case WM_SETFOCUS:
        WMSetFocus(m);
        return;
    case WM_KILLFOCUS:
        WMKillFocus(m);
        return;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        WMKeyDown(m);
        return;
    case WM_KEYUP:
    case WM_SYSKEYUP:
        WMKeyUp(m);
        return;
    case WM_CHAR:
        WMChar(m);
        return;
    case WM_SETCURSOR:
        WMSetCursor(m);
        return;
    case WM_SYSCOMMAND:
        WMSysCommand(m);
        return;
    case WM_CANCELMODE: {
        TControl* capture = gCaptureControl;
        if (capture && capture != this && capture->FParent == this)
            capture->Perform(WM_CANCELMODE);
        else
            WMCancelMode(m);
        DefaultHandler(m);
        return;
    }
    case WM_CAPTURECHANGED: {
        // Another window took the mouse: the control that held it ends its drag.
        TControl* capture = gCaptureControl;
        if (capture && reinterpret_cast<HWND>(m.LParam) != FHandle && (capture == this || capture->FParent == this)) {
            gCaptureControl = nullptr;
            capture->Perform(CM_CANCELMODE, 0, reinterpret_cast<LPARAM>(capture));
            if (capture->FControlState & csLButtonDown)
                capture->Perform(WM_LBUTTONUP, 0, static_cast<LPARAM>(0xFFFFFFFF));
        }
        DefaultHandler(m);
        return;
    }
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_DRAWITEM:
    case WM_MEASUREITEM:
    case WM_DELETEITEM:
    case WM_COMPAREITEM:
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_CHARTOITEM:
    case WM_VKEYTOITEM:
        WMCommandReflect(m);
        return;
    case CN_KEYDOWN:
    case CN_SYSKEYDOWN:
        CNKeyDown(m);
        return;
    case CN_CHAR:
    case CN_SYSCHAR:
        CNChar(m);
        return;
    case CM_DIALOGKEY:
        CMDialogKey(m);
        return;
    case CM_DIALOGCHAR:
        CMDialogChar(m);
        return;
    case CM_CHILDKEY:
        CMChildKey(m);
        return;
    case CM_SHOWINGCHANGED:
        CMShowingChanged(m);
        return;
    case CM_VISIBLECHANGED:
        CMVisibleChanged(m);
        return;
    case CM_ENABLEDCHANGED:
        CMEnabledChanged(m);
        return;
    case CM_RECREATEWND:
        CMRecreateWnd(m);
        return;
    case CM_SHOWHINTCHANGED:
        NotifyControls(CM_PARENTSHOWHINTCHANGED);
        return;
    case CM_FOCUSCHANGED:
        Broadcast(m);
        return;
    case CM_ENTER:
        DoEnter();
        return;
    case CM_EXIT:
        DoExit();
        return;
    case CM_INVALIDATE:
        Invalidate();
        return;
    case CM_COLORCHANGED:
        CMColorChanged(m);
        return;
    case CM_FONTCHANGED:
        CMFontChanged(m);
        return;
    case CN_CTLCOLORMSGBOX:
    case CN_CTLCOLOREDIT:
    case CN_CTLCOLORLISTBOX:
    case CN_CTLCOLORBTN:
    case CN_CTLCOLORDLG:
    case CN_CTLCOLORSCROLLBAR:
    case CN_CTLCOLORSTATIC:
        CNCtlColor(m);
        return;
    default:
        TControl::Dispatch(m);
    }
}

void TWinControl::CNCtlColor(TMessage& m)
{
    HDC dc = reinterpret_cast<HDC>(m.WParam);
    SetTextColor(dc, static_cast<COLORREF>(ColorToRGB(FFont->GetColor())));
    SetBkColor(dc, static_cast<COLORREF>(ColorToRGB(FBrush->GetColor())));
    m.Result = reinterpret_cast<LRESULT>(FBrush->GetHandle());
}

void TWinControl::CMColorChanged(TMessage&)
{
    FBrush->SetColor(FColor);
    Invalidate();
    NotifyControls(CM_PARENTCOLORCHANGED);
}

void TWinControl::CMFontChanged(TMessage&)
{
    if (FHandle && FDefWndProc != &DefWindowProcA)
        Perform(WM_SETFONT, reinterpret_cast<WPARAM>(FFont->GetHandle()), 0);
    Invalidate();
    NotifyControls(CM_PARENTFONTCHANGED);
}

void TWinControl::DefaultHandler(TMessage& m)
{
    if (!FHandle) {
        TControl::DefaultHandler(m);
        return;
    }
    if (m.Msg >= CN_BASE && m.Msg < CN_BASE + WM_USER) {
        // A reflected notification nobody answered: what the parent would have done itself.
        UINT original = m.Msg - CN_BASE;
        if (original >= WM_CTLCOLORMSGBOX && original <= WM_CTLCOLORSTATIC)
            m.Result = DefWindowProcA(::GetParent(FHandle), original, m.WParam, m.LParam);
        return;
    }
    if (m.Msg == WM_CONTEXTMENU && FParent) {
        m.Result = FParent->Perform(m.Msg, m.WParam, m.LParam);
        if (m.Result != 0)
            return;
    }
    if (m.Msg >= CM_BASE && m.Msg < CN_BASE + WM_USER)
        return;
    if (m.Msg == WM_NCPAINT && !HasFrameToPaint())
        return;
    m.Result = CallWindowProcA(FDefWndProc ? FDefWndProc : &DefWindowProcA, FHandle, m.Msg, m.WParam, m.LParam);
}

// A window of the library's own classes whose window and client areas are the same size has no
// frame, caption or scroll bar: the default frame painting would only fetch and free a window DC,
// a trip to the window server for each of the dozens of controls a panel shows at once.
bool TWinControl::HasFrameToPaint() const
{
    if (FDefWndProc && FDefWndProc != &DefWindowProcA)
        return true;
    RECT window{};
    RECT client{};
    if (!::GetWindowRect(FHandle, &window) || !::GetClientRect(FHandle, &client))
        return true;
    return window.right - window.left != client.right || window.bottom - window.top != client.bottom;
}

void TWinControl::WMCommandReflect(TMessage& m)
{
    HWND child = nullptr;
    switch (m.Msg) {
    case WM_NOTIFY:
        child = m.LParam ? reinterpret_cast<NMHDR*>(m.LParam)->hwndFrom : nullptr;
        break;
    case WM_DRAWITEM: {
        auto* dis = reinterpret_cast<DRAWITEMSTRUCT*>(m.LParam);
        if (dis && dis->CtlType != ODT_MENU)
            child = dis->hwndItem;
        break;
    }
    case WM_MEASUREITEM: {
        auto* mis = reinterpret_cast<MEASUREITEMSTRUCT*>(m.LParam);
        if (mis && mis->CtlType != ODT_MENU && FHandle)
            child = GetDlgItem(FHandle, static_cast<int>(mis->CtlID));
        break;
    }
    case WM_DELETEITEM:
        child = m.LParam ? reinterpret_cast<DELETEITEMSTRUCT*>(m.LParam)->hwndItem : nullptr;
        break;
    case WM_COMPAREITEM:
        child = m.LParam ? reinterpret_cast<COMPAREITEMSTRUCT*>(m.LParam)->hwndItem : nullptr;
        break;
    default:
        child = reinterpret_cast<HWND>(m.LParam);
        break;
    }
    TWinControl* target = child && child != FHandle ? FindControl(child) : nullptr;
    if (target) {
        m.Result = target->Perform(CN_BASE + m.Msg, m.WParam, m.LParam);
        return;
    }
    DefaultHandler(m);
}

void TWinControl::WMPaint(TMessage& m)
{
    if (m.WParam != 0 || !FDoubleBuffered || !FHandle) {
        PaintHandler(m);
        return;
    }
    TPaintDC paint(FHandle);
    HDC dc = paint.Get();
    RECT cr = GetClientRect();
    int w = std::max<LONG>(cr.right, 1), h = std::max<LONG>(cr.bottom, 1);
    // A memory bitmap the size of the client area, for double-buffered painting: a DIB section,
    // which costs a third of a bitmap compatible with the screen to make under Wine.
    TGdiObject<HBITMAP> bitmap = MakeDib32(w, h);
    if (!bitmap)
        throw EOutOfResources("Out of system resources");
    TBitmapDC buffer(dc, bitmap.Get());
    TCountScope live(gLivePaintBuffers);
    // The memory DC in both parameters tells erase handlers this is the buffered pass.
    Perform(WM_ERASEBKGND, reinterpret_cast<WPARAM>(buffer.Get()), reinterpret_cast<LPARAM>(buffer.Get()));
    TMessage inner{WM_PAINT, reinterpret_cast<WPARAM>(buffer.Get()), 0, 0};
    PaintHandler(inner);
    BitBlt(dc, 0, 0, w, h, buffer.Get(), 0, 0, SRCCOPY);
}

void TWinControl::PaintHandler(TMessage& m)
{
    HDC dc = reinterpret_cast<HDC>(m.WParam);
    std::optional<TPaintDC> paint;
    if (!dc) {
        if (!FHandle)
            return;
        dc = paint.emplace(FHandle).Get();
    }
    {
        TSavedDC saved(dc);
        // Opaque windowless children paint their own area: keep the window from painting under them.
        for (TControl* c : FControls)
            if (c->FVisible && (c->FControlStyle & csOpaque))
                ExcludeClipRect(dc, c->FLeft, c->FTop, c->FLeft + c->FWidth, c->FTop + c->FHeight);
        PaintWindow(dc);
    }
    PaintControls(dc, nullptr);
}

void TWinControl::PaintWindow(HDC dc)
{
    TMessage m{WM_PAINT, reinterpret_cast<WPARAM>(dc), 0, 0};
    DefaultHandler(m);
}

void TWinControl::PaintControls(HDC dc, TControl* first)
{
    auto it = FControls.begin();
    if (first) {
        it = std::find(FControls.begin(), FControls.end(), first);
        if (it == FControls.end())
            it = FControls.begin();
    }
    RECT clip{};
    bool hasClip = GetClipBox(dc, &clip) != ERROR;
    for (; it != FControls.end(); ++it) {
        TControl* c = *it;
        if (!c->FVisible)
            continue;
        RECT r = c->GetBoundsRect();
        RECT inter{};
        if (hasClip && !::IntersectRect(&inter, &r, &clip))
            continue;
        int saved = SaveDC(dc);
        POINT org{};
        GetWindowOrgEx(dc, &org);
        SetWindowOrgEx(dc, org.x - c->FLeft, org.y - c->FTop, nullptr);
        IntersectClipRect(dc, 0, 0, c->FWidth, c->FHeight);
        c->Perform(WM_PAINT, reinterpret_cast<WPARAM>(dc), 0);
        RestoreDC(dc, saved);
    }
}

void TWinControl::WMEraseBkgnd(TMessage& m)
{
    // Double-buffered windows erase only in the buffered pass (memory DC in both parameters).
    if (FDoubleBuffered && m.WParam != static_cast<WPARAM>(m.LParam)) {
        m.Result = 1;
        return;
    }
    RECT r = GetClientRect();
    ::FillRect(reinterpret_cast<HDC>(m.WParam), &r, FBrush->GetHandle());
    m.Result = 1;
}

void TWinControl::WMSize(TMessage& m)
{
    DefaultHandler(m);
}

void TWinControl::WMMove(TMessage& m)
{
    DefaultHandler(m);
    if (!FHandle || IsIconic(FHandle))
        return;
    // The window moved or was sized from outside (the user, the system): take its bounds.
    RECT r{};
    GetWindowRect(FHandle, &r);
    HWND parent = ::GetParent(FHandle);
    if (parent && (GetWindowLongA(FHandle, GWL_STYLE) & WS_CHILD))
        MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    int l = r.left, t = r.top, w = r.right - r.left, h = r.bottom - r.top;
    if (l == FLeft && t == FTop && w == FWidth && h == FHeight)
        return;
    bool resized = w != FWidth || h != FHeight;
    FLeft = l;
    FTop = t;
    FWidth = w;
    FHeight = h;
    UpdateAnchorRules();
    if (resized) {
        std::weak_ptr<int> alive = LifeToken();
        Realign();
        Resize();
        if (alive.expired())
            return;
    }
    RequestAlign();
}

void TWinControl::WMSetFocus(TMessage& m)
{
    DefaultHandler(m);
}

void TWinControl::WMKillFocus(TMessage& m)
{
    DefaultHandler(m);
}

bool TWinControl::DoKeyDown(TMessage& m)
{
    TCustomForm* form = GetParentForm(this);
    std::weak_ptr<int> alive = LifeToken();
    if (form && form != this && form->GetKeyPreview() && form->DoKeyDown(m))
        return true;
    if (alive.expired())
        return true;
    WORD key = static_cast<WORD>(m.WParam);
    TShiftState shift = KeyDataToShiftState(m.LParam);
    if (!(FControlStyle & csNoStdEvents)) {
        KeyDown(key, shift);
        if (alive.expired())
            return true;
        m.WParam = key;
        if (key == 0)
            return true;
    }
    return false;
}

void TWinControl::WMKeyDown(TMessage& m)
{
    if (!DoKeyDown(m))
        DefaultHandler(m);
}

void TWinControl::WMKeyUp(TMessage& m)
{
    TCustomForm* form = GetParentForm(this);
    std::weak_ptr<int> alive = LifeToken();
    WORD key = static_cast<WORD>(m.WParam);
    TShiftState shift = KeyDataToShiftState(m.LParam);
    if (form && form != this && form->GetKeyPreview()) {
        form->KeyUp(key, shift);
        if (alive.expired() || key == 0)
            return;
    }
    if (!(FControlStyle & csNoStdEvents)) {
        KeyUp(key, shift);
        if (alive.expired() || key == 0)
            return;
        m.WParam = key;
    }
    DefaultHandler(m);
}

bool TWinControl::DoKeyPress(TMessage& m)
{
    TCustomForm* form = GetParentForm(this);
    std::weak_ptr<int> alive = LifeToken();
    char ch = static_cast<char>(m.WParam);
    if (form && form != this && form->GetKeyPreview()) {
        form->KeyPress(ch);
        if (alive.expired() || ch == 0)
            return true;
    }
    if (!(FControlStyle & csNoStdEvents)) {
        KeyPress(ch);
        if (alive.expired() || ch == 0)
            return true;
        m.WParam = (m.WParam & ~static_cast<WPARAM>(0xFF)) | static_cast<unsigned char>(ch);
    }
    return false;
}

void TWinControl::WMChar(TMessage& m)
{
    if (!DoKeyPress(m))
        DefaultHandler(m);
}

void TWinControl::KeyDown(WORD& key, TShiftState shift)
{
    OnKeyDown(this, key, shift);
}

void TWinControl::KeyUp(WORD& key, TShiftState shift)
{
    OnKeyUp(this, key, shift);
}

void TWinControl::KeyPress(char& key)
{
    OnKeyPress(this, key);
}

void TWinControl::DoEnter()
{
    OnEnter(this);
}

void TWinControl::DoExit()
{
    OnExit(this);
}

void TWinControl::WMSetCursor(TMessage& m)
{
    if (LOWORD(m.LParam) == HTCLIENT && reinterpret_cast<HWND>(m.WParam) == FHandle && Screen) {
        TCursor cursor = Screen->GetCursor();
        if (cursor == crDefault) {
            POINT p{};
            GetCursorPos(&p);
            p = ScreenToClient(p);
            TControl* c = GetCaptureControl();
            if (!c || c->FParent != this)
                c = ControlAtPos(p, false);
            cursor = c && c->FCursor != crDefault ? c->FCursor : FCursor;
        }
        if (cursor != crDefault) {
            ::SetCursor(Screen->GetCursors(cursor));
            m.Result = 1;
            return;
        }
    }
    DefaultHandler(m);
}

// The menu key (Alt, Alt+letter) belongs to the form: its menu bars take it there. The system hands
// it to the focused window itself, so that window passes it on; any other child answers it with
// nothing, since the default handling of a child would open the form's system menu under Wine
// before the menu bars were asked (the form's menu-bar search sends the command to its docks).
void TWinControl::WMSysCommand(TMessage& m)
{
    static bool forwarding = false;
    TCustomForm* form = FParent ? GetParentForm(this) : nullptr;
    if ((m.WParam & 0xFFF0) != SC_KEYMENU || !form) {
        DefaultHandler(m);
        return;
    }
    m.Result = 0;
    if (forwarding || GetFocus() != FHandle)
        return;
    TFlagScope inForward(forwarding);
    m.Result = form->Perform(WM_SYSCOMMAND, m.WParam, m.LParam);
}

void TWinControl::CNKeyDown(TMessage& m)
{
    m.Result = 1;
    WORD key = static_cast<WORD>(m.WParam);
    // Shortcuts first: the form's menus, then the application's main-window hooks.
    TCustomForm* form = GetParentForm(this);
    TMessage keyMsg{m.Msg - CN_BASE, m.WParam, m.LParam, 0};
    if (form && form->IsShortCut(keyMsg))
        return;
    if (Application && Application->GetHandle() &&
        SendMessageA(Application->GetHandle(), CM_APPKEYDOWN, m.WParam, m.LParam) != 0)
        return;
    if (m.Msg == CN_KEYDOWN) {
        if (Perform(CM_CHILDKEY, key, reinterpret_cast<LPARAM>(this)) != 0)
            return;
        LRESULT mask = 0;
        switch (key) {
        case VK_TAB:
            mask = DLGC_WANTTAB;
            break;
        case VK_LEFT:
        case VK_RIGHT:
        case VK_UP:
        case VK_DOWN:
            mask = DLGC_WANTARROWS;
            break;
        case VK_RETURN:
        case VK_EXECUTE:
        case VK_ESCAPE:
        case VK_CANCEL:
            mask = DLGC_WANTALLKEYS;
            break;
        default:
            break;
        }
        if (mask && Perform(CM_WANTSPECIALKEY, key, m.LParam) == 0 && (Perform(WM_GETDLGCODE) & mask) == 0 && form &&
            form->Perform(CM_DIALOGKEY, key, m.LParam) != 0)
            return;
    }
    m.Result = 0;
}

void TWinControl::CNChar(TMessage& m)
{
    m.Result = 0;
    if (m.Msg == CN_CHAR && (Perform(WM_GETDLGCODE) & DLGC_WANTCHARS) != 0)
        return;
    TCustomForm* form = GetParentForm(this);
    if (form && form->Perform(CM_DIALOGCHAR, m.WParam, m.LParam) != 0)
        m.Result = 1;
}

void TWinControl::CMDialogKey(TMessage& m)
{
    Broadcast(m);
}

void TWinControl::CMDialogChar(TMessage& m)
{
    Broadcast(m);
}

void TWinControl::CMChildKey(TMessage& m)
{
    if (FParent)
        m.Result = FParent->Perform(m.Msg, m.WParam, m.LParam);
}

void TWinControl::CMShowingChanged(TMessage&)
{
    if (!FHandle)
        return;
    SetWindowPos(FHandle, nullptr, 0, 0, 0, 0,
                 SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | (FShowing ? SWP_SHOWWINDOW : SWP_HIDEWINDOW));
}

void TWinControl::CMVisibleChanged(TMessage&)
{
    if (!FVisible && FParent) {
        if (TCustomForm* form = GetParentForm(this))
            form->DefocusControl(this, false);
    }
    UpdateControlState();
}

void TWinControl::CMEnabledChanged(TMessage&)
{
    if (!FEnabled && FParent) {
        if (TCustomForm* form = GetParentForm(this))
            form->DefocusControl(this, false);
    }
    if (FHandle)
        EnableWindow(FHandle, FEnabled);
}

// ---- TCustomControl / TGraphicControl ----

TCustomControl::TCustomControl(TComponent* owner) : TWinControl(owner), FCanvas(New<TControlCanvas>())
{
    FCanvas->SetControl(this);
}

void TCustomControl::PaintWindow(HDC dc)
{
    PaintOnDC(*FCanvas, FPaintDC, dc, [this] { Paint(); });
}

void TCustomControl::DestroyWnd()
{
    FCanvas->FreeHandle();
    TWinControl::DestroyWnd();
}

TGraphicControl::TGraphicControl(TComponent* owner) : TControl(owner), FCanvas(New<TControlCanvas>())
{
    FCanvas->SetControl(this);
}

void TGraphicControl::Dispatch(TMessage& m)
{
    if (m.Msg == WM_PAINT && m.WParam) {
        PaintOnDC(*FCanvas, FPaintDC, reinterpret_cast<HDC>(m.WParam), [this] { Paint(); });
        return;
    }
    TControl::Dispatch(m);
}

// ---- TControlCanvas ----

TControlCanvas::~TControlCanvas()
{
    FreeHandle();
}

void TControlCanvas::SetControl(TControl* control)
{
    if (control == FControl)
        return;
    FreeHandle();
    FControl = control;
}

void TControlCanvas::CreateHandle()
{
    if (!FControl)
        return;
    if (!FDeviceContext) {
        HWND wnd = nullptr;
        bool windowed = dynamic_cast<TWinControl*>(FControl) != nullptr;
        if (windowed)
            wnd = static_cast<TWinControl*>(FControl)->GetHandle();
        else if (FControl->GetParent())
            wnd = FControl->GetParent()->GetHandle();
        if (!wnd)
            return;
        if (gCachedCanvases.size() >= MaxCachedCanvases)
            gCachedCanvases.front()->FreeHandle();
        HDC dc = GetDCEx(wnd, nullptr, DCX_CACHE | DCX_CLIPSIBLINGS);
        if (!dc)
            throw EOutOfResources("Out of system resources");
        if (!windowed) {
            SetViewportOrgEx(dc, FControl->GetLeft(), FControl->GetTop(), nullptr);
            IntersectClipRect(dc, 0, 0, FControl->GetWidth(), FControl->GetHeight());
        }
        FDeviceContext = dc;
        FWindowHandle = wnd;
        gCachedCanvases.push_back(this);
    }
    SetHandle(FDeviceContext);
}

void TControlCanvas::FreeHandle()
{
    if (!FDeviceContext)
        return;
    SetHandle(nullptr);
    ReleaseDC(FWindowHandle, FDeviceContext);
    FDeviceContext = nullptr;
    FWindowHandle = nullptr;
    gCachedCanvases.erase(std::remove(gCachedCanvases.begin(), gCachedCanvases.end(), this), gCachedCanvases.end());
}

void TControlCanvas::FreeWindowCanvases(HWND wnd)
{
    std::vector<TControlCanvas*> list = gCachedCanvases;
    for (TControlCanvas* c : list)
        if (c->FWindowHandle == wnd)
            c->FreeHandle();
}
