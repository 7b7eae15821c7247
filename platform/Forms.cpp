#include "platform/Forms.h"

#include <algorithm>
#include <exception>

#include "platform/Geometry.h"
#include "platform/Menus.h"
#include "platform/ScopeGuards.h"
#include "platform/StdActns.h"

SF_IMPLEMENT_COMPONENT(TCustomForm, TWinControl)
SF_IMPLEMENT_COMPONENT(TForm, TCustomForm)
SF_IMPLEMENT_COMPONENT(THintWindow, TCustomControl)
SF_IMPLEMENT_COMPONENT(TScreen, TComponent)
SF_IMPLEMENT_COMPONENT(TApplication, TComponent)

TApplication* Application = nullptr;
TScreen* Screen = nullptr;

namespace {
const char* const AppWindowClass = "TApplication";
constexpr UINT_PTR HintTimerId = 1;
enum { htShow = 1, htHide = 2 };

// The hint of a control, or of the nearest parent that has one.
std::string InheritedHint(TControl* control)
{
    for (; control; control = control->GetParent())
        if (!control->GetHint().empty())
            return control->GetHint();
    return {};
}

// The nearest control, from this one up, that shows hints.
TControl* HintControlOf(TControl* control)
{
    while (control && !control->GetShowHint())
        control = control->GetParent();
    return control;
}

// Whether the window the control is in takes input: a modal dialog disables the windows it
// stands over, and a tip of theirs would stand over the dialog.
bool ControlWindowEnabled(TControl* control)
{
    TWinControl* window = dynamic_cast<TWinControl*>(control);
    if (!window)
        window = control->GetParent();
    if (!window || !window->HandleAllocated())
        return true;
    HWND root = GetAncestor(window->GetWindowHandle(), GA_ROOT);
    return !root || IsWindowEnabled(root);
}

BOOL CALLBACK DisableThreadWindow(HWND wnd, LPARAM data)
{
    auto* list = reinterpret_cast<std::vector<HWND>*>(data);
    if (wnd != list->front() && IsWindowVisible(wnd) && IsWindowEnabled(wnd)) {
        EnableWindow(wnd, FALSE);
        list->push_back(wnd);
    }
    return TRUE;
}

// A cursor drawn in code: the split cursors have no system equivalent.
HCURSOR MakeSplitCursor(bool horizontal)
{
    constexpr int S = 32;
    bool black[S][S] = {};
    auto set = [&](int x, int y) {
        if (horizontal)
            black[y][x] = true;
        else
            black[x][y] = true;
    };
    for (int y = 7; y <= 25; ++y) {
        set(14, y);
        set(18, y);
    }
    for (int x = 5; x <= 27; ++x)
        if (x < 14 || x > 18)
            set(x, 16);
    for (int d = 1; d <= 3; ++d) {
        set(5 + d, 16 - d);
        set(5 + d, 16 + d);
        set(27 - d, 16 - d);
        set(27 - d, 16 + d);
    }
    unsigned char andMask[S * S / 8];
    unsigned char xorMask[S * S / 8];
    std::fill(std::begin(andMask), std::end(andMask), 0xFF);
    std::fill(std::begin(xorMask), std::end(xorMask), 0x00);
    for (int y = 0; y < S; ++y)
        for (int x = 0; x < S; ++x) {
            bool outline = false;
            for (int dy = -1; dy <= 1 && !outline; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    int nx = x + dx, ny = y + dy;
                    if (nx >= 0 && ny >= 0 && nx < S && ny < S && black[ny][nx]) {
                        outline = true;
                        break;
                    }
                }
            if (!outline)
                continue;
            int bit = y * S + x;
            andMask[bit / 8] &= static_cast<unsigned char>(~(0x80 >> (bit % 8)));
            if (!black[y][x])
                xorMask[bit / 8] |= static_cast<unsigned char>(0x80 >> (bit % 8));
        }
    return CreateCursor(GetModuleHandleA(nullptr), 16, 16, S, S, andMask, xorMask);
}
}

void HandleCallbackException(TObject* sender) noexcept
{
    try {
        if (Application) {
            Application->HandleException(sender);
            return;
        }
        TraceException(std::current_exception());
    } catch (...) {
        TraceException(std::current_exception());
    }
}

void InitForms()
{
    if (!Screen)
        Screen = New<TScreen>(nullptr);
    if (!Application)
        Application = New<TApplication>(nullptr);
}

void DoneForms()
{
    if (Application) {
        TApplication* app = Application;
        app->Free();
        Application = nullptr;
    }
    if (Screen) {
        TScreen* screen = Screen;
        screen->Free();
        Screen = nullptr;
    }
}

// ---- TCustomForm ----

TCustomForm::TCustomForm(TComponent* owner) : TWinControl(owner), FCanvas(New<TControlCanvas>())
{
    FCanvas->SetControl(this);
    FVisible = false;
    FColor = clBtnFace;
    FParentColor = false;
    FParentFont = false;
    FBrush->SetColor(FColor);
    FControlStyle = csAcceptsControls | csCaptureMouse | csClickEvents | csSetCaption | csDoubleClicks;
    FFormState = fsCreating;
    FWidth = 320;
    FHeight = 240;
    if (Screen)
        Screen->AddForm(this);
}

void TCustomForm::AfterConstruction()
{
    TWinControl::AfterConstruction();
    FFormState &= ~fsCreating;
    try {
        DoCreate();
    } catch (...) {
        // A failing OnCreate is reported and the form still exists.
        if (!Application)
            throw;
        Application->HandleException(this);
    }
}

void TCustomForm::BeforeDestruction()
{
    Destroying();
    try {
        DoDestroy();
    } catch (...) {
        if (Application)
            Application->HandleException(this);
    }
    if (Screen)
        Screen->RemoveForm(this);
    TWinControl::BeforeDestruction();
}

void TCustomForm::DoCreate()
{
    OnCreate(this);
}

void TCustomForm::DoDestroy()
{
    OnDestroy(this);
}

void TCustomForm::DoShow()
{
    OnShow(this);
}

void TCustomForm::DoHide()
{
    OnHide(this);
}

void TCustomForm::DoClose(TCloseAction& action)
{
    OnClose(this, action);
}

void TCustomForm::Activate()
{
    OnActivate(this);
}

void TCustomForm::Deactivate()
{
    OnDeactivate(this);
}

void TCustomForm::SetBorderStyle(TFormBorderStyle value)
{
    if (value == FBorderStyle)
        return;
    FBorderStyle = value;
    RecreateWnd();
}

void TCustomForm::SetBorderIcons(TBorderIcons value)
{
    if (value == FBorderIcons)
        return;
    FBorderIcons = value;
    RecreateWnd();
}

void TCustomForm::SetFormStyle(TFormStyle value)
{
    if (value == FFormStyle)
        return;
    FFormStyle = value;
    if (FHandle)
        SetWindowPos(FHandle, value == fsStayOnTop ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void TCustomForm::CreateParams(TCreateParams& p)
{
    TWinControl::CreateParams(p);
    if (FParent)
        return;
    p.Style = WS_CLIPCHILDREN | (p.Style & WS_DISABLED);
    p.ExStyle &= ~WS_EX_CONTROLPARENT;
    FrameStyle(p.Style, p.ExStyle);
    if (FPosition == poDefault || FPosition == poDefaultPosOnly) {
        p.X = CW_USEDEFAULT;
        p.Y = CW_USEDEFAULT;
    }
    p.WndParent = Application ? Application->GetHandle() : nullptr;
    p.WindowClass.style |= CS_DBLCLKS;
}

void TCustomForm::FrameStyle(DWORD& style, DWORD& exStyle) const
{
    switch (FBorderStyle) {
    case bsNone:
        style |= WS_POPUP;
        break;
    case bsSingle:
        style |= WS_CAPTION | WS_BORDER;
        break;
    case bsSizeable:
        style |= WS_CAPTION | WS_THICKFRAME;
        break;
    case bsDialog:
        style |= WS_POPUP | WS_CAPTION;
        exStyle |= WS_EX_DLGMODALFRAME;
        break;
    case bsToolWindow:
        style |= WS_CAPTION;
        exStyle |= WS_EX_TOOLWINDOW;
        break;
    case bsSizeToolWin:
        style |= WS_CAPTION | WS_THICKFRAME;
        exStyle |= WS_EX_TOOLWINDOW;
        break;
    }
    if (FBorderStyle != bsNone && (FBorderIcons & biSystemMenu)) {
        style |= WS_SYSMENU;
        if (FBorderStyle == bsSingle || FBorderStyle == bsSizeable) {
            if (FBorderIcons & biMinimize)
                style |= WS_MINIMIZEBOX;
            if (FBorderIcons & biMaximize)
                style |= WS_MAXIMIZEBOX;
        }
        if ((FBorderIcons & biHelp) && (FBorderStyle == bsDialog || !(FBorderIcons & (biMinimize | biMaximize))))
            exStyle |= WS_EX_CONTEXTHELP;
    }
    if (FFormStyle == fsStayOnTop)
        exStyle |= WS_EX_TOPMOST;
}

void TCustomForm::CreateWnd()
{
    TWinControl::CreateWnd();
    if (FHandle && FFormStyle == fsStayOnTop)
        SetWindowPos(FHandle, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

RECT TCustomForm::GetClientRect() const
{
    if (FHandle || FParent)
        return TWinControl::GetClientRect();
    // Without a window: the bounds less the frame the window will have.
    DWORD style = 0, exStyle = 0;
    FrameStyle(style, exStyle);
    RECT frame{0, 0, 0, 0};
    AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    return RECT{0, 0, std::max<LONG>(FWidth - (frame.right - frame.left), 0), std::max<LONG>(FHeight - (frame.bottom - frame.top), 0)};
}

void TCustomForm::PaintWindow(HDC dc)
{
    FCanvas->Lock();
    FCanvas->FreeHandle();
    FCanvas->SetHandle(dc);
    TScopeExit lent([this] {
        FCanvas->SetHandle(nullptr);
        FCanvas->Unlock();
    });
    OnPaint(this);
}

void TCustomForm::Show()
{
    SetVisible(true);
    if (FHandle)
        SetWindowPos(FHandle, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

void TCustomForm::Hide()
{
    SetVisible(false);
}

bool TCustomForm::CloseQuery()
{
    bool canClose = true;
    OnCloseQuery(this, canClose);
    return canClose;
}

void TCustomForm::Close()
{
    if (FFormState & fsModal) {
        FModalResult = mrCancel;
        return;
    }
    if (!CloseQuery())
        return;
    TCloseAction action = caHide;
    std::weak_ptr<int> alive = LifeToken();
    DoClose(action);
    if (alive.expired() || action == caNone)
        return;
    if (Application && Application->GetMainForm() == this) {
        Application->Terminate();
        return;
    }
    switch (action) {
    case caHide:
        Hide();
        break;
    case caMinimize:
        if (FHandle)
            ShowWindow(FHandle, SW_MINIMIZE);
        break;
    default:
        Release();
        break;
    }
}

void TCustomForm::CloseModal()
{
    try {
        TCloseAction action = caNone;
        if (CloseQuery()) {
            action = caHide;
            DoClose(action);
        }
        if (action == caNone)
            FModalResult = mrNone;
        else if (action == caFree)
            Release();
    } catch (...) {
        FModalResult = mrNone;
        if (!Application)
            throw;
        Application->HandleException(this);
    }
}

TModalResult TCustomForm::ShowModal()
{
    if (FVisible || !FEnabled || (FFormState & fsModal) || !Application)
        throw EInvalidOperation("Cannot make a visible window modal");
    if (HWND capture = GetCapture())
        SendMessageA(capture, WM_CANCELMODE, 0, 0);
    ReleaseCapture();
    Application->CancelHint();
    HandleNeeded();
    FFormState |= fsModal;
    HWND activeWindow = GetActiveWindow();
    std::vector<HWND> disabled{FHandle};
    EnumThreadWindows(GetCurrentThreadId(), &DisableThreadWindow, reinterpret_cast<LPARAM>(&disabled));
    std::weak_ptr<int> alive = LifeToken();
    TScopeExit restore([&] {
        for (size_t i = 1; i < disabled.size(); ++i)
            if (IsWindow(disabled[i]))
                EnableWindow(disabled[i], TRUE);
        if (activeWindow && IsWindow(activeWindow))
            SetActiveWindow(activeWindow);
    });
    TModalResult result = mrNone;
    try {
        Show();
        FModalResult = mrNone;
        do {
            try {
                Application->HandleMessage();
            } catch (...) {
                Application->HandleException(this);
            }
            if (alive.expired())
                break;
            if (Application->GetTerminated())
                FModalResult = mrCancel;
            else if (FModalResult != mrNone)
                CloseModal();
        } while (!alive.expired() && FModalResult == mrNone);
        if (!alive.expired()) {
            result = FModalResult;
            Hide();
            FFormState &= ~fsModal;
        } else {
            result = mrCancel;
        }
    } catch (...) {
        if (!alive.expired()) {
            FFormState &= ~fsModal;
            if (FVisible)
                Hide();
        }
        throw;
    }
    return result;
}

void TCustomForm::Release()
{
    PostMessageA(GetHandle(), CM_RELEASE, 0, 0);
}

bool TCustomForm::IsShortCut(TMessage& message)
{
    bool handled = false;
    OnShortCut(message, handled);
    if (!handled)
        if (TMainMenu* menu = TMainMenu::MenuOfWindow(this))
            handled = menu->IsShortCut(message);
    return handled;
}

void TCustomForm::SetActiveControl(TWinControl* control)
{
    if (control == FActiveControl)
        return;
    if (control && (control == this || GetParentForm(control) != this || !control->CanFocus()))
        throw EInvalidOperation("Cannot focus a disabled or invisible window");
    FActiveControl = control;
    if (FActive && FHandle)
        SetWindowFocus();
}

void TCustomForm::FocusControl(TWinControl* control)
{
    bool wasActive = FActive;
    SetActiveControl(control);
    if (!wasActive)
        SetFocus();
}

void TCustomForm::SetFocus()
{
    if (FActive)
        return;
    if (!FVisible || !FEnabled)
        throw EInvalidOperation("Cannot focus a disabled or invisible window");
    SetWindowFocus();
}

void TCustomForm::SetWindowFocus()
{
    if (!FHandle)
        return;
    if (FActiveControl && FActiveControl->CanFocus())
        ::SetFocus(FActiveControl->GetHandle());
    else
        ::SetFocus(FHandle);
}

bool TCustomForm::SetFocusedControl(TWinControl* control)
{
    TWinControl* old = FFocusedControl;
    FFocusedControl = control;
    if (control != this)
        FActiveControl = control;
    if (Screen) {
        Screen->FActiveControl = control == this ? nullptr : control;
        Screen->FActiveForm = this;
        Screen->MoveFormToFront(this);
    }
    if (old != control) {
        std::weak_ptr<int> alive = LifeToken();
        if (old)
            old->Perform(CM_EXIT);
        if (alive.expired())
            return false;
        if (control && control != this)
            control->Perform(CM_ENTER);
        if (alive.expired())
            return false;
        Perform(CM_FOCUSCHANGED, 0, reinterpret_cast<LPARAM>(control));
    }
    return true;
}

void TCustomForm::DefocusControl(TWinControl* control, bool removing)
{
    if (removing && control->ContainsControl(FFocusedControl))
        FFocusedControl = control->GetParent();
    if (Screen && control->ContainsControl(Screen->FActiveControl))
        Screen->FActiveControl = nullptr;
    if (control->ContainsControl(FActiveControl)) {
        FActiveControl = nullptr;
        if (FActive && FHandle && !HasState(csDestroying) && control->Focused())
            ::SetFocus(FHandle);
    }
}

void TCustomForm::SelectFirst()
{
    if (TWinControl* c = FindNextControl(nullptr, true, true, false))
        c->SetFocus();
}

void TCustomForm::SetActive(bool value)
{
    FActive = value;
    if (value) {
        if (!FActiveControl)
            FActiveControl = FindNextControl(nullptr, true, true, false);
        if (Screen) {
            Screen->FActiveForm = this;
            Screen->MoveFormToFront(this);
        }
        SetWindowFocus();
        Perform(CM_ACTIVATE);
    } else {
        Perform(CM_DEACTIVATE);
    }
}

void TCustomForm::PlaceOnFirstShow()
{
    if (FPlaced)
        return;
    FPlaced = true;
    RECT area{};
    switch (FPosition) {
    case poScreenCenter:
    case poDesktopCenter:
        area = Screen ? Screen->GetWorkAreaRect() : RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
        break;
    case poMainFormCenter:
    case poOwnerFormCenter: {
        TCustomForm* center = FPosition == poOwnerFormCenter ? dynamic_cast<TCustomForm*>(GetOwner()) : nullptr;
        if (!center && Application)
            center = Application->GetMainForm();
        if (center && center != this)
            area = center->GetBoundsRect();
        else
            area = Screen ? Screen->GetWorkAreaRect() : RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
        break;
    }
    default:
        return;
    }
    int x = area.left + ((area.right - area.left) - FWidth) / 2;
    int y = area.top + ((area.bottom - area.top) - FHeight) / 2;
    SetBounds(std::max<int>(x, 0), std::max<int>(y, 0), FWidth, FHeight);
}

void TCustomForm::Dispatch(TMessage& m)
{
    switch (m.Msg) {
    case WM_CLOSE:
        WMClose(m);
        return;
    case WM_ACTIVATE:
        WMActivate(m);
        return;
    case WM_SYSCOMMAND:
        WMSysCommand(m);
        return;
    case WM_SETFOCUS:
        if (FActiveControl && FActiveControl->CanFocus() && FActiveControl->FHandle) {
            ::SetFocus(FActiveControl->FHandle);
            return;
        }
        SetFocusedControl(this);
        DefaultHandler(m);
        return;
    case CM_SHOWINGCHANGED:
        CMShowingChanged(m);
        return;
    case CM_DIALOGKEY:
        CMDialogKey(m);
        return;
    case CM_ACTIVATE:
        Activate();
        return;
    case CM_DEACTIVATE:
        Deactivate();
        return;
    case CM_RELEASE:
        Free();
        return;
    default:
        TWinControl::Dispatch(m);
    }
}

void TCustomForm::WMClose(TMessage&)
{
    Close();
}

void TCustomForm::WMActivate(TMessage& m)
{
    if (FParent) {
        DefaultHandler(m);
        return;
    }
    SetActive(LOWORD(m.WParam) != WA_INACTIVE);
}

void TCustomForm::WMSysCommand(TMessage& m)
{
    if ((m.WParam & 0xFFF0) == SC_KEYMENU) {
        // The application's hooks (toolbars acting as menu bars) see the Alt key first.
        if (Application && Application->GetHandle() &&
            SendMessageA(Application->GetHandle(), CM_APPSYSCOMMAND, 0, reinterpret_cast<LPARAM>(&m)) != 0) {
            m.Result = 1;
            return;
        }
        WORD key = LOWORD(m.LParam);
        if (key != VK_SPACE && key != '-' && !GetCapture() && Perform(CM_DIALOGCHAR, key, 0x20000000) != 0)
            return;
    }
    DefaultHandler(m);
}

void TCustomForm::CMShowingChanged(TMessage&)
{
    if (!FHandle)
        return;
    if (FShowing) {
        FFormState |= fsShowing;
        std::weak_ptr<int> alive = LifeToken();
        TRollback unshow([this, &alive] {
            if (!alive.expired())
                FFormState &= ~fsShowing;
        });
        DoShow();
        unshow.Commit();
        if (alive.expired())
            return;
        PlaceOnFirstShow();
        ShowWindow(FHandle, SW_SHOWNORMAL);
        FFormState &= ~fsShowing;
        return;
    }
    std::weak_ptr<int> alive = LifeToken();
    DoHide();
    if (alive.expired())
        return;
    if (Screen && Screen->FActiveForm == this)
        Screen->FActiveForm = nullptr;
    ShowWindow(FHandle, SW_HIDE);
}

void TCustomForm::CMDialogKey(TMessage& m)
{
    if (GetKeyState(VK_MENU) >= 0 && m.WParam == VK_TAB && GetKeyState(VK_CONTROL) >= 0) {
        SelectNext(FActiveControl, GetKeyState(VK_SHIFT) >= 0, true);
        m.Result = 1;
        return;
    }
    TWinControl::CMDialogKey(m);
}

// ---- THintWindow ----

THintWindow::THintWindow(TComponent* owner) : TCustomControl(owner)
{
    FVisible = false;
    SetColor(clInfoBk);
    if (Screen)
        GetCanvas()->SetFont(Screen->GetHintFont());
}

void THintWindow::CreateParams(TCreateParams& p)
{
    TCustomControl::CreateParams(p);
    p.Style = WS_POPUP | WS_BORDER;
    p.ExStyle = WS_EX_TOOLWINDOW | WS_EX_TOPMOST;
    p.WindowClass.style |= CS_SAVEBITS;
    p.WndParent = Application ? Application->GetHandle() : nullptr;
}

void THintWindow::ActivateHint(RECT rect, const std::string& hint)
{
    HandleNeeded();
    SetText(hint);
    int sw = GetSystemMetrics(SM_CXVIRTUALSCREEN), sh = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    int sx = GetSystemMetrics(SM_XVIRTUALSCREEN), sy = GetSystemMetrics(SM_YVIRTUALSCREEN);
    int w = rect.right - rect.left, h = rect.bottom - rect.top;
    // Keep the window on the screen: origin plus size is the far edge.
    int x = std::max(sx, std::min<int>(rect.left, sx + sw - w));
    int y = std::max(sy, std::min<int>(rect.top, sy + sh - h));
    FLeft = x;
    FTop = y;
    FWidth = w;
    FHeight = h;
    SetWindowPos(FHandle, HWND_TOPMOST, x, y, w, h, SWP_SHOWWINDOW | SWP_NOACTIVATE);
    InvalidateRect(FHandle, nullptr, TRUE);
}

void THintWindow::ActivateHintData(RECT rect, const std::string& hint, void*)
{
    ActivateHint(rect, hint);
}

RECT THintWindow::CalcHintRect(int maxWidth, const std::string& hint, void*)
{
    RECT r{0, 0, maxWidth, 0};
    TWindowDC dc;
    HFONT font = Screen ? Screen->GetHintFont()->GetHandle() : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    TSelectGuard select(dc.Get(), font);
    DrawTextA(dc.Get(), hint.c_str(), -1, &r, DT_CALCRECT | DT_LEFT | DT_WORDBREAK | DT_NOPREFIX);
    r.right += 6;
    r.bottom += 2;
    return r;
}

bool THintWindow::IsHintMsg(const MSG& msg)
{
    switch (msg.message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_NCLBUTTONDOWN:
    case WM_NCRBUTTONDOWN:
    case WM_NCMBUTTONDOWN:
    case WM_ACTIVATEAPP:
    case CM_ACTIVATE:
    case CM_DEACTIVATE:
        return true;
    default:
        return false;
    }
}

void THintWindow::ReleaseHandle()
{
    DestroyHandle();
}

void THintWindow::Paint()
{
    TCanvas* canvas = GetCanvas();
    if (Screen)
        canvas->SetFont(Screen->GetHintFont());
    canvas->GetBrush()->SetColor(GetColor());
    RECT r = GetClientRect();
    canvas->FillRect(r);
    HDC dc = canvas->GetHandle();
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, static_cast<COLORREF>(ColorToRGB(canvas->GetFont()->GetColor())));
    r.left += 2;
    r.top += 2;
    PaintText(dc, r);
}

void THintWindow::PaintText(HDC dc, RECT& r)
{
    std::string text = GetText();
    DrawTextA(dc, text.c_str(), -1, &r, DT_LEFT | DT_NOPREFIX | DT_WORDBREAK);
}

void THintWindow::Dispatch(TMessage& m)
{
    switch (m.Msg) {
    case WM_NCHITTEST:
        m.Result = HTTRANSPARENT;
        return;
    case WM_MOUSEACTIVATE:
        m.Result = MA_NOACTIVATE;
        return;
    case WM_ERASEBKGND:
        m.Result = 1;
        return;
    default:
        TCustomControl::Dispatch(m);
    }
}

// ---- TScreen ----

TScreen::TScreen(TComponent* owner) : TComponent(owner), FHintFont(New<TFont>())
{
    FPixelsPerInch = GetDeviceCaps(TWindowDC().Get(), LOGPIXELSY);
    NONCLIENTMETRICSA metrics{};
    metrics.cbSize = sizeof(metrics);
    bool got = SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0) != 0;
    if (!got) {
        // Systems that predate the padded-border field want the shorter record.
        metrics.cbSize = sizeof(metrics) - sizeof(metrics.iPaddedBorderWidth);
        got = SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0) != 0;
    }
    if (got) {
        HFONT status = CreateFontIndirectA(&metrics.lfStatusFont);
        if (status)
            FHintFont->SetHandle(status);
    }
    FHintFont->SetColor(clInfoText);
}

TScreen::~TScreen()
{
    for (const TCursorEntry& e : FCursors)
        if (e.Owned && e.Handle)
            DestroyCursor(e.Handle);
}

TCustomForm* TScreen::GetForm(int index) const
{
    if (index < 0 || index >= GetFormCount())
        throw EListError("List index out of bounds (" + std::to_string(index) + ")");
    return FForms[static_cast<size_t>(index)];
}

void TScreen::AddForm(TCustomForm* form)
{
    FForms.push_back(form);
}

void TScreen::RemoveForm(TCustomForm* form)
{
    FForms.erase(std::remove(FForms.begin(), FForms.end(), form), FForms.end());
    if (FActiveForm == form)
        FActiveForm = nullptr;
    if (FActiveControl && GetParentForm(FActiveControl) == form)
        FActiveControl = nullptr;
}

void TScreen::MoveFormToFront(TCustomForm* form)
{
    auto it = std::find(FForms.begin(), FForms.end(), form);
    if (it == FForms.end() || it == FForms.begin())
        return;
    FForms.erase(it);
    FForms.insert(FForms.begin(), form);
}

void TScreen::SetCursor(TCursor value)
{
    FCursor = value;
    if (value != crDefault) {
        ::SetCursor(GetCursors(value));
        return;
    }
    // Let the window under the mouse choose its cursor again.
    POINT p{};
    GetCursorPos(&p);
    HWND wnd = WindowFromPoint(p);
    if (wnd && GetWindowThreadProcessId(wnd, nullptr) == GetCurrentThreadId())
        SendMessageA(wnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(wnd),
                     MAKELPARAM(SendMessageA(wnd, WM_NCHITTEST, 0, MAKELPARAM(p.x, p.y)), WM_MOUSEMOVE));
}

HCURSOR TScreen::GetCursors(TCursor index)
{
    for (const TCursorEntry& e : FCursors)
        if (e.Index == index)
            return e.Handle;
    LPCSTR id = nullptr;
    switch (index) {
    case crNone:
        return nullptr;
    case crCross:
        id = reinterpret_cast<LPCSTR>(IDC_CROSS);
        break;
    case crIBeam:
        id = reinterpret_cast<LPCSTR>(IDC_IBEAM);
        break;
    case crSizeNESW:
        id = reinterpret_cast<LPCSTR>(IDC_SIZENESW);
        break;
    case crSizeNS:
        id = reinterpret_cast<LPCSTR>(IDC_SIZENS);
        break;
    case crSizeNWSE:
        id = reinterpret_cast<LPCSTR>(IDC_SIZENWSE);
        break;
    case crSizeWE:
        id = reinterpret_cast<LPCSTR>(IDC_SIZEWE);
        break;
    case crUpArrow:
        id = reinterpret_cast<LPCSTR>(IDC_UPARROW);
        break;
    case crHourGlass:
        id = reinterpret_cast<LPCSTR>(IDC_WAIT);
        break;
    case crDrag:
    case crNoDrop:
    case crNo:
        id = reinterpret_cast<LPCSTR>(IDC_NO);
        break;
    case crAppStart:
        id = reinterpret_cast<LPCSTR>(IDC_APPSTARTING);
        break;
    case crHelp:
        id = reinterpret_cast<LPCSTR>(IDC_HELP);
        break;
    case crHandPoint:
        id = reinterpret_cast<LPCSTR>(IDC_HAND);
        break;
    case crSizeAll:
        id = reinterpret_cast<LPCSTR>(IDC_SIZEALL);
        break;
    case crHSplit:
    case crVSplit: {
        HCURSOR made = MakeSplitCursor(index == crHSplit);
        FCursors.push_back({index, made, true});
        return made;
    }
    default:
        id = reinterpret_cast<LPCSTR>(IDC_ARROW);
        break;
    }
    HCURSOR cursor = LoadCursorA(nullptr, id);
    FCursors.push_back({index, cursor, false});
    return cursor;
}

void TScreen::SetCursors(TCursor index, HCURSOR cursor)
{
    for (TCursorEntry& e : FCursors)
        if (e.Index == index) {
            if (e.Owned && e.Handle)
                DestroyCursor(e.Handle);
            e.Handle = cursor;
            e.Owned = true;
            return;
        }
    FCursors.push_back({index, cursor, true});
}

int TScreen::GetWidth() const
{
    return GetSystemMetrics(SM_CXSCREEN);
}

int TScreen::GetHeight() const
{
    return GetSystemMetrics(SM_CYSCREEN);
}

RECT TScreen::GetWorkAreaRect() const
{
    RECT r{};
    if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &r, 0))
        r = RECT{0, 0, GetWidth(), GetHeight()};
    return r;
}

// ---- TApplication ----

namespace {
LRESULT CALLBACK AppWndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto* app = reinterpret_cast<TApplication*>(GetWindowLongPtrA(wnd, GWLP_USERDATA));
    if (!app)
        return DefWindowProcA(wnd, msg, wParam, lParam);
    TMessage m{msg, wParam, lParam, 0};
    app->MainWndProc(m);
    return m.Result;
}
}

TApplication::TApplication(TComponent* owner) : TComponent(owner)
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string exe = path;
    size_t slash = exe.find_last_of("\\/");
    std::string name = slash == std::string::npos ? exe : exe.substr(slash + 1);
    size_t dot = name.find_last_of('.');
    FTitle = dot == std::string::npos ? name : name.substr(0, dot);
    CreateHandle();
}

TApplication::~TApplication()
{
    if (FHandle) {
        SetWindowLongPtrA(FHandle, GWLP_USERDATA, 0);
        DestroyWindow(FHandle);
        FHandle = nullptr;
    }
}

void TApplication::BeforeDestruction()
{
    CancelHint();
    TComponent::BeforeDestruction();
    FHintWindow = nullptr;
    FMainForm = nullptr;
    if (FHandle) {
        SetWindowLongPtrA(FHandle, GWLP_USERDATA, 0);
        DestroyWindow(FHandle);
        FHandle = nullptr;
    }
}

void TApplication::CreateHandle()
{
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA existing{};
    if (!GetClassInfoA(instance, AppWindowClass, &existing)) {
        WNDCLASSA wc{};
        wc.lpfnWndProc = &AppWndProc;
        wc.hInstance = instance;
        wc.lpszClassName = AppWindowClass;
        wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
        if (!RegisterClassA(&wc))
            RaiseLastOSError("RegisterClass TApplication");
    }
    FHandle = CreateWindowExA(0, AppWindowClass, FTitle.c_str(),
                              WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX, 0, 0, 0, 0, nullptr,
                              nullptr, instance, nullptr);
    if (!FHandle)
        RaiseLastOSError("CreateWindow TApplication");
    SetWindowLongPtrA(FHandle, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

void TApplication::MainWndProc(TMessage& m)
{
    try {
        WndProc(m);
    } catch (...) {
        HandleCallbackException(this);
    }
}

void TApplication::WndProc(TMessage& m)
{
    // Hooks added last see the message first; a hook may remove itself while it runs.
    std::vector<TWindowHook> hooks = FWindowHooks;
    for (auto it = hooks.rbegin(); it != hooks.rend(); ++it) {
        bool handled = false;
        (*it)(m, handled);
        if (handled)
            return;
    }
    switch (m.Msg) {
    case WM_ACTIVATEAPP:
        FActive = m.WParam != 0;
        if (FActive)
            OnActivate(this);
        else {
            CancelHint();
            OnDeactivate(this);
        }
        m.Result = DefWindowProcA(FHandle, m.Msg, m.WParam, m.LParam);
        return;
    case WM_CLOSE:
        if (FMainForm)
            FMainForm->Close();
        return;
    case WM_QUERYENDSESSION:
        m.Result = 1;
        return;
    case WM_TIMER:
        if (m.WParam == HintTimerId) {
            HintTimerExpired();
            return;
        }
        break;
    case CM_APPKEYDOWN:
        if (FMainForm && FMainForm->HandleAllocated() && IsWindowEnabled(FMainForm->GetWindowHandle())) {
            TMessage key{WM_KEYDOWN, m.WParam, m.LParam, 0};
            if (FMainForm->IsShortCut(key))
                m.Result = 1;
        }
        return;
    case CM_APPSYSCOMMAND:
    case CM_ACTIONEXECUTE:
    case CM_ACTIONUPDATE:
        m.Result = 0;
        return;
    default:
        break;
    }
    m.Result = DefWindowProcA(FHandle, m.Msg, m.WParam, m.LParam);
}

void TApplication::Initialize()
{
    if (!FHandle)
        CreateHandle();
}

TCustomForm* TApplication::CreateForm(TClass formClass)
{
    TCustomForm* form = As<TCustomForm>(CreateInstance(formClass, this));
    if (!FMainForm) {
        FMainForm = form;
        form->HandleNeeded();
    }
    return form;
}

void TApplication::Run()
{
    if (FMainForm && FShowMainForm)
        FMainForm->Show();
    while (!FTerminated) {
        try {
            HandleMessage();
        } catch (...) {
            HandleException(this);
        }
    }
}

void TApplication::Terminate()
{
    PostQuitMessage(0);
}

bool TApplication::ProcessMessage(MSG& msg)
{
    if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        return false;
    if (msg.message == WM_QUIT) {
        FTerminated = true;
        return true;
    }
    bool handled = false;
    OnMessage(msg, handled);
    if (!IsHintMsg(msg) && !handled && !IsKeyMsg(msg) && !IsDlgMsg(msg)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return true;
}

void TApplication::ProcessMessages()
{
    MSG msg{};
    while (ProcessMessage(msg)) {
    }
}

void TApplication::HandleMessage()
{
    MSG msg{};
    if (!ProcessMessage(msg))
        Idle(msg);
}

void TApplication::Idle(const MSG&)
{
    DoMouseIdle();
    bool done = true;
    try {
        OnIdle(this, done);
        if (done && Screen) {
            // Idle update of actions: each visible form's controls refresh their action links.
            std::vector<TCustomForm*> forms = Screen->FForms;
            for (TCustomForm* form : forms) {
                if (!form->GetVisible())
                    continue;
                std::function<void(TControl*)> walk = [&](TControl* c) {
                    c->InitiateAction();
                    if (auto* wc = dynamic_cast<TWinControl*>(c))
                        for (int i = 0; i < wc->GetControlCount(); ++i)
                            walk(wc->GetControl(i));
                };
                walk(form);
            }
            UpdateActionsOnIdle();
        }
    } catch (...) {
        HandleException(this);
    }
    if (done)
        WaitMessage();
}

bool TApplication::IsKeyMsg(MSG& msg)
{
    if (msg.message < WM_KEYFIRST || msg.message > WM_KEYLAST)
        return false;
    HWND wnd = GetCapture();
    TWinControl* target = nullptr;
    if (wnd) {
        target = FindControl(wnd);
    } else {
        // The nearest window of the class library: foreign windows know nothing of CN_ messages.
        for (wnd = msg.hwnd; wnd && !(target = FindControl(wnd)); wnd = GetParent(wnd)) {
        }
    }
    if (!target)
        return false;
    return SendMessageA(target->GetWindowHandle(), CN_BASE + msg.message, msg.wParam, msg.lParam) != 0;
}

bool TApplication::IsDlgMsg(MSG& msg)
{
    return FDialogHandle && IsWindow(FDialogHandle) && IsDialogMessageA(FDialogHandle, &msg);
}

bool TApplication::IsHintMsg(const MSG& msg)
{
    if (FHintWindow && FHintWindow->HandleAllocated() && IsWindowVisible(FHintWindow->GetWindowHandle()) &&
        FHintWindow->IsHintMsg(msg))
        CancelHint();
    return false;
}

void TApplication::HandleException(TObject* sender)
{
    std::exception_ptr current = std::current_exception();
    if (!current)
        return;
    auto report = [&](const Exception& e) {
        if (OnException)
            OnException(sender, e);
        else
            ShowException(e);
    };
    try {
        std::rethrow_exception(current);
    } catch (const EAbort&) {
    } catch (const Exception& e) {
        report(e);
    } catch (const std::exception& e) {
        report(Exception(e.what()));
    } catch (...) {
        report(Exception("Unknown exception"));
    }
}

bool TApplication::HelpCommand(WORD command, ULONG_PTR data)
{
    bool handled = false;
    if (OnHelp)
        OnHelp(command, data, handled);
    return handled;
}

bool TApplication::HelpContext(int context)
{
    return HelpCommand(HELP_CONTEXT, static_cast<ULONG_PTR>(context));
}

void TApplication::ShowException(const Exception& e)
{
    std::string text = e.GetMessage();
    if (!text.empty() && static_cast<unsigned char>(text.back()) > '.')
        text += '.';
    MessageBoxA(nullptr, text.c_str(), FTitle.c_str(), MB_OK | MB_ICONSTOP | MB_TASKMODAL);
}

void TApplication::SetTitle(const std::string& value)
{
    FTitle = value;
    if (FHandle)
        SetWindowTextA(FHandle, value.c_str());
}

std::string TApplication::GetExeName() const
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return path;
}

void TApplication::SetHint(const std::string& value)
{
    if (value == FHint)
        return;
    FHint = value;
    if (OnHint) {
        OnHint(this);
        return;
    }
    // Nobody takes the hint here: whoever listens gets it as a hint action.
    std::unique_ptr<THintAction, TObjectFree> action(New<THintAction>(this));
    action->SetHint(value);
    action->Execute();
}

void TApplication::SetShowHint(bool value)
{
    if (value == FShowHint)
        return;
    FShowHint = value;
    if (!value)
        CancelHint();
}

void TApplication::HookMainWindow(const TWindowHook& hook)
{
    FWindowHooks.push_back(hook);
}

void TApplication::UnhookMainWindow(const TWindowHook& hook)
{
    auto it = std::find(FWindowHooks.begin(), FWindowHooks.end(), hook);
    if (it != FWindowHooks.end())
        FWindowHooks.erase(it);
}

void TApplication::DoMouseIdle()
{
    POINT p{};
    GetCursorPos(&p);
    TControl* target = FindDragTarget(p, true);
    if (target != FMouseControl) {
        TControl* old = FMouseControl;
        FMouseControl = target;
        if (old)
            old->Perform(CM_MOUSELEAVE);
        if (target && FMouseControl == target)
            target->Perform(CM_MOUSEENTER);
    }
    TControl* capture = GetCaptureControl();
    std::string hint = GetLongHint(InheritedHint(capture ? capture : FMouseControl));
    if (hint != FHint)
        SetHint(hint);
}

void TApplication::StartHintTimer(int delay, int kind)
{
    StopHintTimer();
    FHintTimerKind = kind;
    if (FHandle)
        SetTimer(FHandle, HintTimerId, static_cast<UINT>(std::max(delay, 1)), nullptr);
}

void TApplication::StopHintTimer()
{
    if (FHintTimerKind && FHandle)
        KillTimer(FHandle, HintTimerId);
    FHintTimerKind = 0;
}

void TApplication::HintTimerExpired()
{
    int kind = FHintTimerKind;
    StopHintTimer();
    if (kind == htShow) {
        POINT p{};
        GetCursorPos(&p);
        ActivateHint(p);
    } else if (kind == htHide) {
        if (FHintWindow)
            FHintWindow->ReleaseHandle();
    }
}

void TApplication::HintMouseMessage(TControl* control, TMessage& m)
{
    if (!FShowHint && !FHintActive)
        return;
    POINT screen{};
    try {
        screen = control->ClientToScreen(POINT{m.XPos(), m.YPos()});
    } catch (const EInvalidOperation&) {
        return;
    }
    TControl* hintControl = HintControlOf(FindDragTarget(screen, true));
    if (!hintControl || !FShowHint) {
        CancelHint();
        return;
    }
    POINT local = hintControl->ScreenToClient(screen);
    if (hintControl == FHintControl && PointInRect(FHintCursorRect, local))
        return;
    bool wasActive = FHintActive && FHintWindow && FHintWindow->HandleAllocated();
    if (FHintWindow)
        FHintWindow->ReleaseHandle();
    FHintControl = hintControl;
    FHintCursorRect = hintControl->GetClientRect();
    StartHintTimer(wasActive ? FHintShortPause : FHintPause, htShow);
}

void TApplication::ActivateHint(POINT cursorPos)
{
    StopHintTimer();
    TControl* control = HintControlOf(FindDragTarget(cursorPos, true));
    if (!control || !FShowHint || !ControlWindowEnabled(control)) {
        CancelHint();
        return;
    }
    FHintControl = control;
    THintInfo info;
    info.HintControl = control;
    info.HintWindowClass = THintWindow::StaticClass();
    info.HintPos = POINT{cursorPos.x, cursorPos.y + GetSystemMetrics(SM_CYCURSOR) * 3 / 4};
    info.HintMaxWidth = Screen ? Screen->GetWidth() : GetSystemMetrics(SM_CXSCREEN);
    info.HintColor = FHintColor;
    info.CursorRect = control->GetClientRect();
    info.CursorPos = control->ScreenToClient(cursorPos);
    info.HideTimeout = FHintHidePause;
    info.HintStr = GetShortHint(InheritedHint(control));
    std::weak_ptr<int> alive = control->LifeToken();
    bool canShow = control->Perform(CM_HINTSHOW, 0, reinterpret_cast<LPARAM>(&info)) == 0;
    if (alive.expired()) {
        CancelHint();
        return;
    }
    FHintCursorRect = info.CursorRect;
    if (!canShow || info.HintStr.empty()) {
        if (FHintWindow)
            FHintWindow->ReleaseHandle();
        FHintActive = false;
        if (info.ReshowTimeout > 0)
            StartHintTimer(info.ReshowTimeout, htShow);
        return;
    }
    TClass windowClass = info.HintWindowClass ? info.HintWindowClass : THintWindow::StaticClass();
    if (FHintWindow && FHintWindow->ClassType() != windowClass)
        FreeAndNil(FHintWindow);
    if (!FHintWindow)
        FHintWindow = As<THintWindow>(CreateInstance(windowClass, this));
    FHintWindow->SetColor(info.HintColor);
    RECT r = FHintWindow->CalcHintRect(info.HintMaxWidth, info.HintStr, info.HintData);
    OffsetRect(&r, info.HintPos.x, info.HintPos.y);
    FHintWindow->ActivateHintData(r, info.HintStr, info.HintData);
    FHintActive = true;
    if (info.ReshowTimeout > 0)
        StartHintTimer(info.ReshowTimeout, htShow);
    else if (info.HideTimeout > 0)
        StartHintTimer(info.HideTimeout, htHide);
}

void TApplication::CancelHint()
{
    StopHintTimer();
    if (FHintWindow)
        FHintWindow->ReleaseHandle();
    FHintControl = nullptr;
    FHintActive = false;
    FHintCursorRect = RECT{};
}

void TApplication::ControlDestroyed(TControl* control)
{
    if (control == FMainForm)
        FMainForm = nullptr;
    if (control == FMouseControl)
        FMouseControl = nullptr;
    if (control == FHintControl)
        CancelHint();
    if (control == FHintWindow)
        FHintWindow = nullptr;
    if (!Screen)
        return;
    if (Screen->FActiveControl == control)
        Screen->FActiveControl = nullptr;
    if (Screen->FActiveForm == control)
        Screen->FActiveForm = nullptr;
    for (TCustomForm* form : Screen->FForms) {
        if (form->FActiveControl == control)
            form->FActiveControl = nullptr;
        if (form->FFocusedControl == control)
            form->FFocusedControl = nullptr;
    }
}
