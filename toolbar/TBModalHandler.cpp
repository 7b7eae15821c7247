#include "toolbar/TBModalHandler.h"

#include <mmsystem.h>

#include <vector>

#include "platform/Controls.h"
#include "platform/Forms.h"
#include "platform/SysUtils.h"
#include "toolbar/TBAcc.h"
#include "toolbar/TBCommon.h"
#include "toolbar/TBFramework.h"
#include "toolbar/TBItem.h"
#include "toolbar/TBItemViewer.h"
#include "toolbar/TBPopup.h"

SF_IMPLEMENT_ABSTRACT(TTBModalHandler, TObject)

namespace {

// Swallowed while a menu runs: the F1 key's own message and the caret's blink timer.
constexpr UINT WM_KEYF1 = 0x004D;
constexpr UINT WM_SYSTIMER = 0x0118;
constexpr UINT WM_MOUSELAST_ALL = 0x020E;
// Plays asynchronously, only a sound the scheme names, without cutting one that plays.
constexpr DWORD MenuSoundFlags = SND_ALIAS | SND_ASYNC | SND_NODEFAULT | SND_NOSTOP;

using TLockSetForegroundWindow = BOOL(WINAPI*)(UINT);
using TImmGetVirtualKey = UINT(WINAPI*)(HWND);

TLockSetForegroundWindow LockForegroundCall()
{
    static const auto call = reinterpret_cast<TLockSetForegroundWindow>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "LockSetForegroundWindow")));
    return call;
}

// The key an input method stands for while it composes.
WORD VirtualKeyOf(const MSG& msg)
{
    if (msg.wParam != VK_PROCESSKEY)
        return static_cast<WORD>(msg.wParam);
    static const auto call = [] {
        HMODULE imm = GetModuleHandleA("imm32.dll");
        if (!imm)
            imm = LoadLibraryA("imm32.dll");
        return imm ? reinterpret_cast<TImmGetVirtualKey>(reinterpret_cast<void*>(GetProcAddress(imm, "ImmGetVirtualKey")))
                   : nullptr;
    }();
    return call ? static_cast<WORD>(call(msg.hwnd)) : static_cast<WORD>(msg.wParam);
}

POINT MessagePos()
{
    DWORD pos = GetMessagePos();
    return POINT{static_cast<short>(LOWORD(pos)), static_cast<short>(HIWORD(pos))};
}

bool MouseButtonTracked(bool trackRightButton)
{
    return GetKeyState(VK_LBUTTON) < 0 || (trackRightButton && GetKeyState(VK_RBUTTON) < 0);
}

bool IsPress(UINT msg)
{
    return msg == WM_LBUTTONDOWN || msg == WM_LBUTTONDBLCLK || msg == WM_RBUTTONDOWN || msg == WM_RBUTTONDBLCLK;
}

bool InChain(TTBView* rootView, const TTBView* view)
{
    for (TTBView* v = rootView; v; v = v->GetOpenedViewerView())
        if (v == view)
            return true;
    return false;
}

// The viewer mouse messages go to: the selection of the first view of the chain that has the
// capture, else the first selection that has the mouse, stopping at a view that has the mouse
// without such a selection. foundView: the view the search ended at (nullptr: none).
TTBItemViewer* TargetViewer(TTBView* rootView, TTBView*& foundView)
{
    foundView = nullptr;
    for (TTBView* v = rootView; v; v = v->GetOpenedViewerView()) {
        if (v->GetCapture() || (v->GetSelected() && v->GetMouseInSelected())) {
            foundView = v;
            return v->GetSelected();
        }
        if (v->InState(stMouseInWindow)) {
            foundView = v;
            return nullptr;
        }
    }
    return nullptr;
}

// The selections of the chain follow the point, from the deepest view up (only the captured view
// while one has the capture). A view closed on the way is skipped.
void UpdateChainSelection(TTBView* rootView, POINT p, bool allowNewSelection)
{
    std::vector<TTBView*> chain;
    for (TTBView* v = rootView; v; v = v->GetOpenedViewerView()) {
        if (v->GetCapture()) {
            v->SyncSelection(&p, allowNewSelection);
            return;
        }
        chain.push_back(v);
    }
    for (auto it = chain.rbegin(); it != chain.rend(); ++it)
        if (InChain(rootView, *it))
            (*it)->SyncSelection(&p, allowNewSelection);
}

void CancelApplicationHint()
{
    if (Application)
        Application->CancelHint();
}

// The handler's own window ends a popup menu's tracking when the system cancels the mode.
LRESULT CALLBACK UtilityWndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg != WM_CANCELMODE)
        return DefWindowProcA(wnd, msg, wParam, lParam);
    auto* handler = reinterpret_cast<TTBModalHandler*>(GetWindowLongPtrA(wnd, GWLP_USERDATA));
    try {
        if (handler && handler->GetRootPopup())
            handler->GetRootPopup()->GetView()->AbortTracking();
    } catch (...) {
        HandleCallbackException(nullptr);
    }
    return 0;
}

const char* UtilityWindowClass()
{
    static const char* name = [] {
        WNDCLASSA wc{};
        wc.lpfnWndProc = UtilityWndProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "TBModalHandlerWindow";
        RegisterClassA(&wc);
        return "TBModalHandlerWindow";
    }();
    return name;
}

// Creating a top-level window costs milliseconds under some window systems and every menu opens a
// handler, so the handlers of a thread share one utility window that lives as long as the thread.
HWND ThreadUtilityWindow()
{
    thread_local TWindowHandle wnd;
    if (!wnd) {
        wnd.Reset(CreateWindowExA(0, UtilityWindowClass(), "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr));
        if (!wnd)
            RaiseLastOSError("CreateWindowEx");
    }
    return wnd.Get();
}

} // namespace

TTBView* DeepestOpenView(TTBView* view)
{
    while (view->GetOpenedViewerView())
        view = view->GetOpenedViewerView();
    return view;
}

void ReportMenuException(std::exception_ptr failure) noexcept
{
    try {
        std::rethrow_exception(failure);
    } catch (...) {
        HandleCallbackException(nullptr);
    }
}

// ---------------------------------------------------------------------------------------------
// Construction

TTBModalHandler::TTBModalHandler(HWND existingWnd)
{
    TBSetLastMousePos(MessagePos());
    if (existingWnd) {
        FWnd = existingWnd;
    } else {
        FWnd = ThreadUtilityWindow();
        // A menu opened while another runs (from an item's popup event) hands the window back.
        FOuterHandler = SetWindowLongPtrA(FWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        FCreatedWnd = true;
    }
    if (TLockSetForegroundWindow lock = LockForegroundCall())
        lock(LSFW_LOCK);
    ::SetCapture(FWnd);
    ::SetCursor(LoadCursor(nullptr, IDC_ARROW));
    NotifyEvent(EVENT_SYSTEM_MENUSTART, FWnd, OBJID_CLIENT, CHILDID_SELF);
    FInited = true;
}

TTBModalHandler::~TTBModalHandler()
{
    if (TLockSetForegroundWindow lock = LockForegroundCall())
        lock(LSFW_UNLOCK);
    if (!FWnd)
        return;
    if (GetCapture() == FWnd)
        ReleaseCapture();
    if (FInited)
        NotifyEvent(EVENT_SYSTEM_MENUEND, FWnd, OBJID_CLIENT, CHILDID_SELF);
    if (FCreatedWnd)
        SetWindowLongPtrA(FWnd, GWLP_USERDATA, FOuterHandler);
}

// ---------------------------------------------------------------------------------------------
// The loop

bool TTBModalHandler::LoopGoesOn(TTBView* rootView, HWND activeWnd) const
{
    return !RootGone() && GetCapture() == FWnd && GetActiveWindow() == activeWnd && !rootView->ModalClosing();
}

void TTBModalHandler::Loop(TTBView* rootView, bool mouseDown, bool trackRightButton, bool noPriority,
                           bool executeSelected)
{
    FRootAlive = rootView->LifeToken();
    rootView->GetDoneActionData() = TTBDoneActionData{};
    // A tip shown or still to come for the item that opened the menu would stand over the menu.
    CancelApplicationHint();
    rootView->EnsureLayout();
    rootView->SetModalWnd(FWnd);
    TScopeExit leave([this, rootView] {
        if (!RootGone()) {
            rootView->DropCapture();
            rootView->SetModalWnd(nullptr);
        }
        // Characters of keys the menu took must not reach the window that gets them next.
        FlushMessages(WM_CHAR, WM_DEADCHAR);
        FlushMessages(WM_SYSCHAR, WM_SYSDEADCHAR);
        FlushMessages(WM_KEYF1, WM_KEYF1);
    });
    RunLoop(rootView, mouseDown, trackRightButton, noPriority, executeSelected);
    if (Application)
        Application->SetHint("");
}

void TTBModalHandler::RunLoop(TTBView* rootView, bool mouseDown, bool trackRightButton, bool noPriority,
                              bool executeSelected)
{
    bool mouseDownOnMenu = false;
    if (mouseDown) {
        if (TTBItemViewer* selected = rootView->GetSelected()) {
            POINT p = selected->ScreenToClient(MessagePos());
            selected->MouseDown(0, p.x, p.y, mouseDownOnMenu);
            if (RootGone() || rootView->ModalClosing())
                return;
        }
    } else if (executeSelected) {
        rootView->RunSelected(!noPriority);
        if (RootGone() || rootView->ModalClosing())
            return;
    }
    const HWND activeWnd = GetActiveWindow();
    while (LoopGoesOn(rootView, activeWnd)) {
        MSG msg{};
        if (!PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
            WaitMessage();
            continue;
        }
        // The program is asked to end: the menu goes and the request stays for the main loop.
        if (msg.message == WM_QUIT) {
            rootView->FinishModal();
            break;
        }
        // A press outside the menus ends them and stays queued for the window under the mouse.
        if (IsPress(msg.message) && !PressBelongsToMenus(msg, rootView))
            break;
        if (!PeekMessageA(&msg, msg.hwnd, msg.message, msg.message, PM_REMOVE | PM_NOYIELD))
            continue;
        HandleMessage(msg, rootView, trackRightButton, mouseDownOnMenu);
        if (!LoopGoesOn(rootView, activeWnd))
            break;
        POINT last{};
        if (!TBGetLastMousePos(last)) {
            POINT p = MessagePos();
            TBSetLastMousePos(p);
            MouseMoved(rootView, p);
        }
        if (!RootGone())
            UpdateApplicationHint(rootView);
    }
}

bool TTBModalHandler::PressBelongsToMenus(const MSG& msg, TTBView* rootView)
{
    HWND under = WindowFromPoint(msg.pt);
    if (auto* popup = dynamic_cast<TTBPopupWindow*>(FindControl(under)); popup && rootView->Encloses(popup->GetView()))
        return true;
    TWinControl* rootWindow = rootView->GetWindow();
    if (rootView->GetIsPopup() || !rootWindow || !rootWindow->HandleAllocated() || under != rootWindow->GetHandle())
        return false;
    RECT client{};
    GetClientRect(under, &client);
    MapWindowPoints(under, nullptr, reinterpret_cast<POINT*>(&client), 2);
    if (!PtInRect(&client, msg.pt))
        return false;
    if (msg.message == WM_LBUTTONDOWN || msg.message == WM_LBUTTONDBLCLK) {
        POINT p = msg.pt;
        rootView->SyncSelection(&p, true);
        TTBItemViewer* selected = rootView->GetSelected();
        if (!selected || !rootView->GetMouseInSelected() || selected->GetItem()->HasTrait(isPassClicks))
            return false;
    }
    return true;
}

void TTBModalHandler::HandleMessage(MSG& msg, TTBView* rootView, bool trackRightButton, bool& mouseDownOnMenu)
{
    switch (msg.message) {
    case WM_TIMER:
        if (msg.wParam >= ViewTimerIdBase && msg.wParam <= ViewTimerIdBase + 3) {
            if (auto* popup = dynamic_cast<TTBPopupWindow*>(FindControl(msg.hwnd))) {
                popup->GetView()->TimerTick(static_cast<TTBViewTimerKind>(msg.wParam - ViewTimerIdBase));
                return;
            }
        }
        DispatchMessageA(&msg);
        return;
    case WM_KEYF1:
    case WM_CONTEXTMENU:
    case WM_SYSTIMER:
        return;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        HandleKey(msg, rootView, trackRightButton);
        return;
    case WM_CHAR:
    case WM_SYSCHAR:
        HandleChar(msg, rootView, trackRightButton);
        return;
    default:
        break;
    }
    if (msg.message >= WM_KEYFIRST && msg.message <= WM_KEYLAST)
        return;
    if (msg.message >= WM_MOUSEFIRST && msg.message <= WM_MOUSELAST_ALL) {
        HandleMouse(msg, rootView, trackRightButton, mouseDownOnMenu);
        return;
    }
    DispatchMessageA(&msg);
}

void TTBModalHandler::HandleKey(MSG& msg, TTBView* rootView, bool trackRightButton)
{
    CancelApplicationHint();
    WORD key = VirtualKeyOf(msg);
    if (MouseButtonTracked(trackRightButton) && key != VK_F1)
        return;
    TTBView* view = DeepestOpenView(rootView);
    const TShiftState shift = KeyDataToShiftState(msg.lParam);
    if (TTBItemViewer* selected = view->GetSelected())
        selected->KeyDown(key, shift);
    // The viewer may have closed its own view, or freed the whole chain.
    if (RootGone())
        return;
    if (key != 0 && InChain(rootView, view))
        view->HandleKeyPress(key, shift);
    if (rootView->ModalClosing())
        return;
    if (key != 0)
        TranslateMessage(&msg);
}

void TTBModalHandler::HandleChar(const MSG& msg, TTBView* rootView, bool trackRightButton)
{
    if (MouseButtonTracked(trackRightButton))
        return;
    TTBView* view = DeepestOpenView(rootView);
    const wchar_t ch = KeyCharToWideChar(static_cast<WORD>(msg.wParam));
    bool isOnly = false;
    if (TTBItemViewer* match = view->MatchAccelerator(view->GetSelected(), ch, isOnly, false)) {
        view->Select(match, false);
        view->RevealSelected();
        if (isOnly)
            view->RunSelected(true);
        return;
    }
    HWND active = GetActiveWindow();
    if ((ch == L' ' || ch == L'-') && view == rootView && !rootView->GetIsPopup() && active) {
        rootView->CloseWithSystemMenu(active, static_cast<WORD>(ch));
        return;
    }
    MessageBeep(0);
}

void TTBModalHandler::HandleMouse(const MSG& msg, TTBView* rootView, bool trackRightButton, bool& mouseDownOnMenu)
{
    const POINT p = msg.pt;
    TTBView* foundView = nullptr;
    switch (msg.message) {
    case WM_MOUSEMOVE: {
        POINT last{};
        if (!TBGetLastMousePos(last) || last.x != p.x || last.y != p.y) {
            TBSetLastMousePos(p);
            MouseMoved(rootView, p);
        }
        // Opening a submenu runs the item's popup event, which may free the whole chain.
        if (RootGone())
            return;
        if (TTBItemViewer* target = TargetViewer(rootView, foundView)) {
            POINT local = target->ScreenToClient(p);
            target->MouseMove(local.x, local.y);
        }
        return;
    }
    case WM_RBUTTONDOWN:
        if (!trackRightButton)
            return;
        [[fallthrough]];
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        CancelApplicationHint();
        mouseDownOnMenu = false;
        rootView->ExcludeState(stKeepOnMouseUp);
        UpdateChainSelection(rootView, p, true);
        if (RootGone())
            return;
        if (TTBItemViewer* target = TargetViewer(rootView, foundView)) {
            POINT local = target->ScreenToClient(p);
            const TShiftState shift = msg.message == WM_LBUTTONDBLCLK ? TShiftState(ssDouble) : TShiftState(0);
            target->MouseDown(shift, local.x, local.y, mouseDownOnMenu);
        }
        TBSetLastMousePos(p);
        return;
    }
    case WM_RBUTTONUP:
        if (!trackRightButton)
            return;
        [[fallthrough]];
    case WM_LBUTTONUP: {
        UpdateChainSelection(rootView, p, false);
        if (RootGone())
            return;
        if (TTBItemViewer* target = TargetViewer(rootView, foundView)) {
            POINT local = target->ScreenToClient(p);
            target->MouseUp(local.x, local.y, mouseDownOnMenu);
            return;
        }
        // Released over a menu but no item: nothing. Elsewhere the menu ends, except for the
        // release of the press that opened it.
        if (foundView && (foundView != rootView || rootView->GetIsPopup()))
            return;
        if (rootView->InState(stKeepOnMouseUp))
            rootView->ExcludeState(stKeepOnMouseUp);
        else
            rootView->FinishModal();
        return;
    }
    case WM_MOUSEWHEEL:
        if (TTBItemViewer* target = TargetViewer(rootView, foundView)) {
            POINT local = target->ScreenToClient(p);
            target->MouseWheel(GET_WHEEL_DELTA_WPARAM(msg.wParam), local.x, local.y);
        }
        return;
    default:
        return;
    }
}

void TTBModalHandler::MouseMoved(TTBView* rootView, POINT p)
{
    UpdateChainSelection(rootView, p, true);
    TTBView* deepest = DeepestOpenView(rootView);
    TTBItemViewer* selected = deepest->GetSelected();
    TWinControl* window = deepest->GetWindow();
    HCURSOR cursor = nullptr;
    if (selected && window && window->HandleAllocated()) {
        const bool showsHint = deepest->HasStyle(syAlwaysShowHints) ||
                               (selected->GetItem()->GetEffectiveOptions() & tboShowHint) != 0;
        if (showsHint && !deepest->GetCapture()) {
            UpdateWindow(window->GetHandle());
            if (Application) {
                POINT local = window->ScreenToClient(p);
                TMessage message{WM_MOUSEMOVE, 0, MAKELPARAM(local.x, local.y), 0};
                Application->HintMouseMessage(window, message);
            }
        } else {
            CancelApplicationHint();
        }
        selected->GetCursor(selected->ScreenToClient(p), cursor);
    }
    ::SetCursor(cursor ? cursor : LoadCursor(nullptr, IDC_ARROW));
}

void TTBModalHandler::UpdateApplicationHint(TTBView* rootView)
{
    if (!Application)
        return;
    std::wstring hint;
    for (TTBView* v = rootView; v; v = v->GetOpenedViewerView())
        if (TTBItemViewer* selected = v->GetSelected())
            hint = GetLongHintW(selected->GetItem()->GetHint());
    Application->SetHint(WideToAnsi(hint));
}

// ---------------------------------------------------------------------------------------------
// Done actions

TTBCustomItem* TTBModalHandler::ApplyDoneAction(const TTBDoneActionData& done, bool returnClickedItemOnly)
{
    switch (done.DoneAction) {
    case TTBDoneKind::dkClickItem:
        if (done.ClickedInPopup && IsSoundInScheme("MenuCommand"))
            PlaySoundA("MenuCommand", nullptr, MenuSoundFlags);
        if (!returnClickedItemOnly)
            QueueClick(done.ClickItem);
        return done.ClickItem;
    case TTBDoneKind::dkOpenSystemMenu:
        SendMessageA(done.Wnd, WM_SYSCOMMAND, SC_KEYMENU, done.Key);
        return nullptr;
    case TTBDoneKind::dkHelpContext: {
        if (!Application)
            return nullptr;
        TCustomForm* form = Screen ? Screen->GetActiveForm() : nullptr;
        if (form && (form->GetBorderIcons() & biHelp))
            Application->HelpCommand(HELP_CONTEXTPOPUP, static_cast<ULONG_PTR>(done.ContextID));
        else
            Application->HelpContext(done.ContextID);
        return nullptr;
    }
    default:
        return nullptr;
    }
}
