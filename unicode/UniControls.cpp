#include "unicode/UniControls.h"

#include <algorithm>
#include <vector>

#include "platform/ScopeGuards.h"
#include "unicode/UniGraphics.h"
#include "unicode/UniWindows.h"

SF_IMPLEMENT_ABSTRACT(TWideControlHelper, TWideComponentHelper)
SF_IMPLEMENT_ABSTRACT(TWinControlTrap, TComponent)
SF_IMPLEMENT_COMPONENT(TUniCustomHintWindow, THintWindow)

namespace {
// The window property that leads from a subclassed window to its trap.
const wchar_t kTrapProperty[] = L"SheetfoldUniTrap";
const wchar_t kUnicodeClassSuffix[] = L".UnicodeClass";

// Traps whose window went while their control stays, waiting for its next window.
std::vector<TWinControlTrap*> gWaitingTraps;
bool gShutDown = false;

TWinControlTrap* TrapOfWindow(HWND wnd)
{
    return static_cast<TWinControlTrap*>(GetPropW(wnd, kTrapProperty));
}

// The waiting trap of a control (the latest first), taken off the list; nullptr when none waits.
TWinControlTrap* TakeWaitingTrap(TWinControl* control)
{
    for (auto it = gWaitingTraps.rbegin(); it != gWaitingTraps.rend(); ++it) {
        if ((*it)->GetControl() != control)
            continue;
        TWinControlTrap* trap = *it;
        gWaitingTraps.erase(std::next(it).base());
        return trap;
    }
    return nullptr;
}

void ForgetWaitingTrap(TWinControlTrap* trap)
{
    gWaitingTraps.erase(std::remove(gWaitingTraps.begin(), gWaitingTraps.end(), trap), gWaitingTraps.end());
}

bool IsUnicodeWindow(const TControl* control)
{
    auto* win = dynamic_cast<const TWinControl*>(control);
    return win && win->HandleAllocated() && IsWindowUnicode(win->GetWindowHandle());
}

std::wstring WindowTextW(HWND wnd)
{
    int length = GetWindowTextLengthW(wnd);
    if (length <= 0)
        return {};
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    int got = GetWindowTextW(wnd, text.data(), length + 1);
    text.resize(static_cast<size_t>(std::clamp(got, 0, length)));
    return text;
}
}

void InitUniControls()
{
    gShutDown = false;
}

void DoneUniControls()
{
    gWaitingTraps.clear();
    gShutDown = true;
}

// ---- Helpers and wide texts ----

TWideControlHelper* FindWideControlHelper(const TComponent* component)
{
    TWideComponentHelper* helper = FindWideComponentHelper(component);
    return Is<TWideControlHelper>(helper) ? static_cast<TWideControlHelper*>(helper) : nullptr;
}

TWideControlHelper* GetWideControlHelper(TComponent* component)
{
    if (TWideControlHelper* helper = FindWideControlHelper(component))
        return helper;
    return New<TWideControlHelper>(component);
}

std::wstring GetWideText(TControl* control)
{
    auto* win = dynamic_cast<TWinControl*>(control);
    if (!IsUnicodePlatform() || (win && win->HandleAllocated() && !IsUnicodeWindow(win)))
        return WidenText(control->GetText());
    if (win && win->HandleAllocated())
        return WindowTextW(win->GetWindowHandle());
    TWideControlHelper* helper = FindWideControlHelper(control);
    if (!helper)
        return WidenText(control->GetText());
    return ReadSyncedWide(helper->Caption(), control->GetText());
}

void SetWideText(TControl* control, const std::wstring& value)
{
    auto* win = dynamic_cast<TWinControl*>(control);
    if (!IsUnicodePlatform() || (win && win->HandleAllocated() && !IsUnicodeWindow(win))) {
        control->SetText(NarrowText(value));
        return;
    }
    if (win && win->HandleAllocated()) {
        if (WindowTextW(win->GetWindowHandle()) == value)
            return;
        // A window may refuse a text (a pick list one that is not among its items), as the class
        // library's own text setting lets it.
        WideSetWindowText(win->GetWindowHandle(), value);
        control->Perform(CM_TEXTCHANGED);
        return;
    }
    TWideControlHelper* helper = GetWideControlHelper(control);
    if (win) {
        helper->Caption() = value;
        control->SetText(NarrowText(value));
        return;
    }
    WriteSyncedWide(helper->Caption(), value, control->GetText(),
                    [control](const std::string& text) { control->SetText(text); });
}

std::wstring GetWideHint(TControl* control)
{
    if (!IsUnicodePlatform())
        return WidenText(control->GetHint());
    TWideControlHelper* helper = FindWideControlHelper(control);
    if (!helper)
        return WidenText(control->GetHint());
    return ReadSyncedWide(helper->Hint(), control->GetHint());
}

void SetWideHint(TControl* control, const std::wstring& value)
{
    if (!IsUnicodePlatform()) {
        control->SetHint(NarrowText(value));
        return;
    }
    WriteSyncedWide(GetWideControlHelper(control)->Hint(), value, control->GetHint(),
                    [control](const std::string& text) { control->SetHint(text); });
}

std::wstring GetWideParentHint(TControl* control)
{
    for (TControl* c = control; c; c = c->GetParent()) {
        std::wstring hint = GetWideHint(c);
        if (!hint.empty())
            return hint;
    }
    return {};
}

std::wstring GetShortHint(const std::wstring& hint)
{
    size_t bar = hint.find(L'|');
    return bar == std::wstring::npos ? hint : hint.substr(0, bar);
}

std::wstring GetLongHint(const std::wstring& hint)
{
    size_t bar = hint.find(L'|');
    return bar == std::wstring::npos ? hint : hint.substr(bar + 1);
}

// ---- Wide windows ----

std::wstring RegisterWideWindowClass(const TCreateParams& params, bool ideWindow)
{
    std::wstring name = WidenText(params.WinClassName) + kUnicodeClassSuffix;
    WNDPROC proc = ideWindow ? &InitWndProc : &InitWideWndProc;
    HINSTANCE instance = params.WindowClass.hInstance;
    WNDCLASSW existing{};
    if (GetClassInfoW(instance, name.c_str(), &existing)) {
        if (existing.lpfnWndProc == proc)
            return name;
        if (!UnregisterClassW(name.c_str(), instance))
            RaiseLastOSError("UnregisterClass");
    }
    const WNDCLASSA& source = params.WindowClass;
    std::wstring menuName;
    WNDCLASSW wc{};
    wc.style = source.style;
    wc.lpfnWndProc = proc;
    wc.cbClsExtra = source.cbClsExtra;
    wc.cbWndExtra = source.cbWndExtra;
    wc.hInstance = instance;
    wc.hIcon = source.hIcon;
    wc.hCursor = source.hCursor;
    wc.hbrBackground = source.hbrBackground;
    if (IS_INTRESOURCE(source.lpszMenuName)) {
        wc.lpszMenuName = reinterpret_cast<LPCWSTR>(source.lpszMenuName);
    } else {
        menuName = WidenText(source.lpszMenuName);
        wc.lpszMenuName = menuName.c_str();
    }
    wc.lpszClassName = name.c_str();
    if (!RegisterClassW(&wc))
        RaiseLastOSError("RegisterClass");
    return name;
}

void CreateWideWindow(TWinControl* control, const TCreateParams& p, const std::wstring& subClass, bool ideWindow)
{
    if (!IsUnicodePlatform()) {
        HWND wnd = CreateWindowExA(p.ExStyle, p.WinClassName.c_str(), p.Caption.c_str(), p.Style, p.X, p.Y, p.Width,
                                   p.Height, p.WndParent, nullptr, p.WindowClass.hInstance, p.Param);
        if (wnd && !control->GetWindowHandle())
            control->SetWindowHandle(wnd);
        return;
    }
    WNDCLASSW system{};
    bool known = !subClass.empty() && GetClassInfoW(nullptr, subClass.c_str(), &system);
    control->SetDefWndProc(known ? system.lpfnWndProc : &DefWindowProcW);
    std::wstring name = RegisterWideWindowClass(p, ideWindow);
    SetCreationControl(control);
    HWND wnd = CreateWindowExW(p.ExStyle, name.c_str(), nullptr, p.Style, p.X, p.Y, p.Width, p.Height, p.WndParent,
                               nullptr, p.WindowClass.hInstance, p.Param);
    SetCreationControl(nullptr);
    if (!wnd)
        RaiseLastOSError("CreateWindow " + p.WinClassName);
    control->SetWindowHandle(wnd);
    // The class library's own first procedure leaves an 8-bit window: make it wide again.
    if (ideWindow)
        SetWindowLongPtrW(wnd, GWLP_WNDPROC, GetWindowLongPtrA(wnd, GWLP_WNDPROC));
    SubClassUnicodeControl(control, p.Caption, ideWindow);
}

LRESULT CALLBACK InitWideWndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    TWinControl* control = GetCreationControl();
    if (!control)
        return DefWindowProcW(wnd, msg, wParam, lParam);
    SetCreationControl(nullptr);
    try {
        control->SetWindowHandle(wnd);
        TWinControlTrap* trap = TakeWaitingTrap(control);
        if (!trap)
            trap = New<TWinControlTrap>(control);
        gWaitingTraps.push_back(trap);
        trap->Attach(wnd);
    } catch (...) {
        HandleCallbackException(control);
        return DefWindowProcW(wnd, msg, wParam, lParam);
    }
    BindControlWindow(wnd, control);
    SetWindowLongPtrW(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ControlWndProc));
    // Give a child without an identifier its own handle as one, so notifications name it.
    if ((GetWindowLongW(wnd, GWL_STYLE) & WS_CHILD) && GetWindowLongPtrW(wnd, GWLP_ID) == 0)
        SetWindowLongPtrW(wnd, GWLP_ID, reinterpret_cast<LONG_PTR>(wnd));
    return CallWindowProcW(&ControlWndProc, wnd, msg, wParam, lParam);
}

void SubClassUnicodeControl(TWinControl* control, const std::string& ansiCaption, bool)
{
    HWND wnd = control->GetWindowHandle();
    if (!IsWindowUnicode(wnd))
        throw EUniInternalError(L"Internal Error: SubClassUnicodeControl.Control is not Unicode.");
    TWinControlTrap* trap = TakeWaitingTrap(control);
    if (!trap)
        trap = New<TWinControlTrap>(control);
    if (trap->GetHandle() != wnd)
        trap->Attach(wnd);
    trap->SubClass(ansiCaption);
}

// ---- WM_CHAR carriage ----

namespace {
WORD CodeOf(WPARAM w)
{
    return static_cast<WORD>(w & 0xFFFF);
}

WORD SpareOf(WPARAM w)
{
    return static_cast<WORD>((w >> 16) & 0xFFFF);
}
}

void MakeWMCharMsgSafeForAnsi(TMessage& m)
{
    Assert(m.Msg == WM_CHAR, "MakeWMCharMsgSafeForAnsi: not a WM_CHAR message");
    WORD code = CodeOf(m.WParam);
    WORD spare = SpareOf(m.WParam);
    if (code == 255 && spare != 0)
        return;
    if (IsUnicodePlatform()) {
        if (spare != 0 && code <= 255)
            code = static_cast<WORD>((spare << 8) | code);
    } else {
        Assert(spare == 0, "MakeWMCharMsgSafeForAnsi: the spare word is in use");
    }
    m.WParam = code > 255 ? (static_cast<WPARAM>(code) << 16) | 255 : code;
}

void RestoreWMCharMsg(TMessage& m)
{
    Assert(m.Msg == WM_CHAR, "RestoreWMCharMsg: not a WM_CHAR message");
    m.WParam = GetWideCharFromWMCharMsg(m);
}

wchar_t GetWideCharFromWMCharMsg(const TMessage& m)
{
    Assert(m.Msg == WM_CHAR, "GetWideCharFromWMCharMsg: not a WM_CHAR message");
    WORD code = CodeOf(m.WParam);
    WORD spare = SpareOf(m.WParam);
    return static_cast<wchar_t>(code == 255 && spare != 0 ? spare : code);
}

const TWideHintData* AsWideHintData(const void* data)
{
    auto* hint = static_cast<const TWideHintData*>(data);
    return hint && hint->Signature == TWideHintData::Tag ? hint : nullptr;
}

// ---- TWinControlTrap ----

TWinControlTrap::TWinControlTrap(TWinControl* control) : TComponent(nullptr), FControl(control)
{
    control->FreeNotification(this);
}

void TWinControlTrap::BeforeDestruction()
{
    ForgetWaitingTrap(this);
    if (FHandle && TrapOfWindow(FHandle) == this)
        RemovePropW(FHandle, kTrapProperty);
    TComponent::BeforeDestruction();
}

void TWinControlTrap::Attach(HWND wnd)
{
    FHandle = wnd;
    SetPropW(wnd, kTrapProperty, this);
    if (FControl->GetDefWndProc() != &DefaultProcedure)
        FDefWndProc = FControl->GetDefWndProc();
    FControl->SetDefWndProc(&DefaultProcedure);
}

void TWinControlTrap::SubClass(const std::string& ansiCaption)
{
    FWindowProc = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(FHandle, GWLP_WNDPROC));
    SetWindowLongPtrW(FHandle, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WindowProcedure));
    if (!HandlerInChain()) {
        FPrevWindowProc = FControl->GetWindowProc();
        FControl->SetWindowProc(TWndMethod(this, &TWinControlTrap::WindowProcHandler));
    }
    TWideControlHelper* helper = FindWideControlHelper(FControl);
    std::wstring text = helper ? ReadSyncedWide(helper->Caption(), ansiCaption) : WidenText(ansiCaption);
    if (!text.empty())
        SetWindowTextW(FHandle, text.c_str());
}

bool TWinControlTrap::HandlerInChain()
{
    TWndMethod current = FControl->GetWindowProc();
    if (current == TWndMethod(static_cast<TControl*>(FControl), &TControl::WndProc))
        return false;
    if (current == TWndMethod(this, &TWinControlTrap::WindowProcHandler))
        return true;
    // Someone hooked the chain after us: ask it whether our handler still sees messages.
    TFlagScope testing(FTestingChain);
    FChainTestSeen = false;
    FControl->Perform(WM_NULL);
    return FChainTestSeen;
}

void TWinControlTrap::UnSubClass()
{
    if (!FHandle)
        return;
    if (!FControl->HasState(csDestroying))
        GetWideControlHelper(FControl)->Caption() = WindowTextW(FHandle);
    // A handler hooked after ours keeps calling ours: then ours stays and passes messages on.
    if (FControl->GetWindowProc() == TWndMethod(this, &TWinControlTrap::WindowProcHandler)) {
        FControl->SetWindowProc(FPrevWindowProc);
        FPrevWindowProc = nullptr;
    }
    FControl->SetDefWndProc(FDefWndProc);
    if (reinterpret_cast<WNDPROC>(GetWindowLongPtrW(FHandle, GWLP_WNDPROC)) == &WindowProcedure)
        SetWindowLongPtrW(FHandle, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FWindowProc));
    RemovePropW(FHandle, kTrapProperty);
    FHandle = nullptr;
    if (FControl->HasState(csDestroying))
        FreeWhenIdle();
    else
        gWaitingTraps.push_back(this);
}

void TWinControlTrap::FreeWhenIdle()
{
    ForgetWaitingTrap(this);
    if (FDepth > 0)
        FFreePending = true;
    else
        Free();
}

void TWinControlTrap::Notification(TComponent* component, TOperation operation)
{
    TComponent::Notification(component, operation);
    if (operation == TOperation::opRemove && component == FControl)
        FreeWhenIdle();
}

bool TWinControlTrap::IsInFlight(const TMessage& m) const
{
    return FDepth > 0 && FInFlight.Msg == m.Msg && FInFlight.WParam == m.WParam && FInFlight.LParam == m.LParam;
}

LRESULT CALLBACK TWinControlTrap::WindowProcedure(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    TWinControlTrap* trap = TrapOfWindow(wnd);
    if (!trap)
        return DefWindowProcW(wnd, msg, wParam, lParam);
    if (gShutDown) {
        // The program is ending: only let the control know its window is gone.
        if (msg == WM_DESTROY && trap->FControl->GetWindowHandle() == wnd)
            trap->FControl->SetWindowHandle(nullptr);
        return DefWindowProcW(wnd, msg, wParam, lParam);
    }
    TInFlight outer = trap->FInFlight;
    trap->FInFlight = TInFlight{msg, wParam, lParam};
    ++trap->FDepth;
    LRESULT result = CallWindowProcW(trap->FWindowProc, wnd, msg, wParam, lParam);
    --trap->FDepth;
    trap->FInFlight = outer;
    if (trap->FDepth == 0 && trap->FFreePending) {
        try {
            trap->Free();
        } catch (...) {
            HandleCallbackException(nullptr);
        }
    }
    return result;
}

LRESULT CALLBACK TWinControlTrap::DefaultProcedure(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    TWinControlTrap* trap = TrapOfWindow(wnd);
    if (!trap)
        return DefWindowProcW(wnd, msg, wParam, lParam);
    try {
        return trap->DefaultWindowProc(msg, wParam, lParam);
    } catch (...) {
        HandleCallbackException(trap->FControl);
        return 0;
    }
}

LRESULT TWinControlTrap::DefaultWindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    HWND wnd = FHandle;
    WNDPROC defProc = FDefWndProc;
    switch (msg) {
    case WM_NOTIFYFORMAT: {
        if (!IsUnicodePlatform())
            return NFR_ANSI;
        auto asking = reinterpret_cast<HWND>(wParam);
        TWinControl* creating = GetCreationControl();
        bool beingMade = creating && creating->GetWindowHandle() == asking;
        return IsWindowUnicode(asking) || beingMade ? NFR_UNICODE : NFR_ANSI;
    }
    case WM_CHAR: {
        TMessage m{msg, wParam, lParam, 0};
        RestoreWMCharMsg(m);
        wParam = m.WParam;
        break;
    }
    case WM_IME_CHAR: {
        wchar_t ch = static_cast<wchar_t>(wParam & 0xFFFF);
        if (!IsUnicodePlatform() && (wParam & 0xFF00)) {
            // A double-byte character: lead byte high, trail byte low.
            char bytes[2] = {static_cast<char>((wParam >> 8) & 0xFF), static_cast<char>(wParam & 0xFF)};
            MultiByteToWideChar(GetSavedAnsiCodePage(), 0, bytes, 2, &ch, 1);
        }
        // An edit keeps typed characters in order with the ones still queued.
        WNDCLASSW edit{};
        if (IsUnicodePlatform() && GetClassInfoW(nullptr, L"EDIT", &edit) && edit.lpfnWndProc == defProc)
            PostMessageW(wnd, WM_CHAR, ch, lParam);
        else
            SendMessageW(wnd, WM_CHAR, ch, lParam);
        return 0;
    }
    case WM_DESTROY:
        UnSubClass();
        break;
    default:
        break;
    }
    return CallWindowProcW(defProc, wnd, msg, wParam, lParam);
}

void TWinControlTrap::WindowProcHandler(TMessage& m)
{
    if (!FHandle || !FPrevWindowProc) {
        FControl->WndProc(m);
        return;
    }
    switch (m.Msg) {
    case WM_NULL:
        if (FTestingChain)
            FChainTestSeen = true;
        break;
    case CM_HINTSHOW:
        FPrevWindowProc(m);
        PrepareWideHint(m);
        return;
    case WM_SETTEXT:
    case WM_GETTEXT:
    case WM_GETTEXTLENGTH:
        // The class library's own text calls carry 8-bit text: the system converts it.
        if (!IsInFlight(m)) {
            m.Result = SendMessageA(FHandle, m.Msg, m.WParam, m.LParam);
            return;
        }
        break;
    case WM_CHAR:
        MakeWMCharMsgSafeForAnsi(m);
        break;
    default:
        break;
    }
    FPrevWindowProc(m);
}

void TWinControlTrap::PrepareWideHint(TMessage& m)
{
    auto* info = reinterpret_cast<THintInfo*>(m.LParam);
    if (m.Result != 0 || !info || !info->HintControl)
        return;
    std::wstring hint = GetShortHint(GetWideParentHint(info->HintControl));
    // A handler that chose another text keeps it.
    if (NarrowText(hint) != info->HintStr)
        return;
    FHintData.Text = hint;
    info->HintData = &FHintData;
    if (info->HintWindowClass == THintWindow::StaticClass())
        info->HintWindowClass = TUniCustomHintWindow::StaticClass();
}

// ---- TUniCustomHintWindow ----

void TUniCustomHintWindow::CreateWindowHandle(const TCreateParams& params)
{
    CreateWideWindow(this, params, L"", false);
}

void TUniCustomHintWindow::ActivateHintData(RECT rect, const std::string& hint, void* data)
{
    const TWideHintData* wide = AsWideHintData(data);
    TFlagScope activating(FActivating);
    if (wide) {
        HandleNeeded();
        SetWideText(this, wide->Text);
    }
    // The 8-bit text equals the narrowed wide one, so the window keeps the wide text.
    THintWindow::ActivateHintData(rect, hint, data);
}

RECT TUniCustomHintWindow::CalcHintRect(int maxWidth, const std::string& hint, void* data)
{
    const TWideHintData* wide = AsWideHintData(data);
    if (!wide)
        return THintWindow::CalcHintRect(maxWidth, hint, data);
    RECT r{0, 0, maxWidth, 0};
    TWindowDC dc(nullptr);
    HFONT font = Screen ? Screen->GetHintFont()->GetHandle() : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    TSelectGuard select(dc.Get(), font);
    WideDrawText(dc.Get(), wide->Text.c_str(), -1, &r, DT_CALCRECT | DT_LEFT | DT_WORDBREAK | DT_NOPREFIX);
    r.right += 6;
    r.bottom += 2;
    return r;
}

void TUniCustomHintWindow::PaintText(HDC dc, RECT& rect)
{
    std::wstring text = GetWideText(this);
    WideDrawText(dc, text.c_str(), -1, &rect, DT_LEFT | DT_WORDBREAK | DT_NOPREFIX);
}

void TUniCustomHintWindow::Dispatch(TMessage& m)
{
    if (m.Msg == CM_TEXTCHANGED && !FActivating) {
        std::wstring text = GetWideText(this);
        SIZE size = text.empty() ? SIZE{0, 0} : MeasureWideText(GetCanvas(), text);
        SetBounds(GetLeft(), GetTop(), size.cx + 6, size.cy + 6);
        return;
    }
    THintWindow::Dispatch(m);
}
