#include "toolbar/TBDockableWindow.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "platform/Filer.h"
#include "platform/ScopeGuards.h"
#include "platform/SysUtils.h"
#include "toolbar/TBCommon.h"
#include "toolbar/TBFloatingWindow.h"
#include "toolbar/TBPopup.h"

SF_IMPLEMENT_ABSTRACT(TTBCustomDockableWindow, TCustomControl)

namespace {

// Floating windows of this thread, for the activation hooks.
thread_local std::vector<TTBCustomDockableWindow*>* tFloatingWindows = nullptr;
// While a WM_ACTIVATEAPP is being sent the system has not settled who is active: the message says.
thread_local int tAppActiveOverride = -1;

// Drag handle length by [close button when docked][handle style].
constexpr int DragHandleSizes[2][3] = {{9, 0, 6}, {14, 14, 14}};

bool ApplicationActive()
{
    if (tAppActiveOverride >= 0)
        return tAppActiveOverride != 0;
    return IsAppActive();
}

const char* const DockModeNames[] = {"dmCanFloat", "dmCannotFloat", "dmCannotFloatOrChangeDocks"};
const char* const DragHandleNames[] = {"dhDouble", "dhNone", "dhSingle"};
const char* const FloatingModeNames[] = {"fmOnTopOfParentForm", "fmOnTopOfAllForms"};
const char* const DockPositionNames[] = {"dpTop", "dpBottom", "dpLeft", "dpRight"};

// Stores a new value; false when it is the one held already.
template <class T>
bool Change(T& field, T value)
{
    if (field == value)
        return false;
    field = value;
    return true;
}

template <size_t N>
int IndexOfName(const char* const (&names)[N], const std::string& name)
{
    for (size_t i = 0; i < N; ++i)
        if (name == names[i])
            return static_cast<int>(i);
    return -1;
}

// The framework's popup menus take the activation for a moment; a floating caption ignores that.
bool IsFrameworkPopup(HWND wnd)
{
    return wnd && Is<TTBPopupWindow>(FindControl(wnd));
}

} // namespace

void DrawMonochromeGlyph(HDC dc, int x, int y, int width, int height, const uint8_t (&rows)[8], COLORREF color)
{
    WORD bits[8];
    for (int i = 0; i < 8; ++i)
        bits[i] = rows[i];
    TGdiObject<HBITMAP> glyph(CreateBitmap(8, 8, 1, 1, bits));
    if (!glyph)
        return;
    TBitmapDC mem(dc, glyph.Get());
    TGdiObject<HBRUSH> brush(CreateSolidBrush(color));
    TSelectGuard selBrush(dc, brush.Get());
    TSavedDC saved(dc);
    SetTextColor(dc, RGB(0, 0, 0));
    SetBkColor(dc, RGB(255, 255, 255));
    // Where the glyph is set the brush shows; elsewhere the destination stays.
    BitBlt(dc, x, y, width, height, mem.Get(), 0, 0, 0x00E20746);
}

namespace {

struct TActivationSearch {
    HWND Leaving;
    HWND AppWindow;
    HWND Normal = nullptr;
    HWND Topmost = nullptr;
};

BOOL CALLBACK NoteActivationCandidate(HWND wnd, LPARAM param)
{
    auto* s = reinterpret_cast<TActivationSearch*>(param);
    if (wnd == s->Leaving || wnd == s->AppWindow || !IsWindowVisible(wnd) || !IsWindowEnabled(wnd))
        return TRUE;
    bool topmost = (GetWindowLongPtrW(wnd, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    if (!topmost && !s->Normal)
        s->Normal = wnd;
    if (topmost && !s->Topmost)
        s->Topmost = wnd;
    return TRUE;
}

} // namespace

void ActivateFirstThreadWindow(HWND leaving)
{
    TActivationSearch search{leaving, Application ? Application->GetHandle() : nullptr};
    EnumThreadWindows(GetCurrentThreadId(), NoteActivationCandidate, reinterpret_cast<LPARAM>(&search));
    if (HWND target = search.Normal ? search.Normal : search.Topmost)
        SetActiveWindow(target);
}

bool TrackButtonPress(HWND wnd, const std::weak_ptr<int>& alive, const std::function<bool()>& over,
                      const std::function<void(bool)>& showPressed)
{
    TMouseCapture capture(wnd);
    bool pressed = true;
    showPressed(true);
    MSG msg{};
    while (GetCapture() == wnd) {
        if (GetMessageA(&msg, nullptr, 0, 0) <= 0) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return false;
        }
        switch (msg.message) {
        case WM_LBUTTONUP:
            return over();
        case WM_MOUSEMOVE:
            if (over() != pressed) {
                pressed = !pressed;
                showPressed(pressed);
            }
            continue;
        case WM_KEYDOWN:
            if (msg.wParam == VK_ESCAPE)
                return false;
            continue;
        default:
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
            if (alive.expired())
                return false;
        }
    }
    return false;
}

// ---------------------------------------------------------------------------------------------
// Construction and destruction

TTBCustomDockableWindow::TTBCustomDockableWindow(TComponent* owner) : TCustomControl(owner)
{
    FControlStyle = (FControlStyle | csAcceptsControls | csClickEvents | csSetCaption | csDoubleClicks) &
                    ~(csCaptureMouse | csOpaque);
    FColor = clBtnFace;
    FParentColor = false;
    FBrush->SetColor(FColor);
}

TTBCustomDockableWindow::~TTBCustomDockableWindow() = default;

void TTBCustomDockableWindow::BeforeDestruction()
{
    Destroying();
    if (FHookRegistered) {
        RemoveWindowHook(this, &TTBCustomDockableWindow::HookProc);
        FHookRegistered = false;
    }
    if (tFloatingWindows) {
        auto& list = *tFloatingWindows;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
    }
    if (FCurrentDock) {
        FCurrentDock->VisibilityChanged(this, true);
        FCurrentDock->UpdateDockList(false, this);
    }
    if (FLastDock && FLastDock != FCurrentDock)
        FLastDock->UpdateDockList(false, this);
    if (FFloatForm) {
        if (FParent == FFloatForm.get())
            TCustomControl::SetParent(nullptr);
        ReleaseFloatForm();
    }
    TCustomControl::BeforeDestruction();
}

void TTBCustomDockableWindow::ReleaseFloatForm()
{
    TTBFloatingWindowParent* form = FFloatForm.release();
    if (!form)
        return;
    form->DetachWindow();
    // The form may be in the middle of one of its own handlers (a double-click on its caption
    // docks the window): it goes once the messages now queued are handled.
    if (form->HandleAllocated()) {
        ShowWindow(form->GetWindowHandle(), SW_HIDE);
        form->Release();
    } else {
        form->Free();
    }
}

void TTBCustomDockableWindow::CreateParams(TCreateParams& params)
{
    TCustomControl::CreateParams(params);
    params.WindowClass.style &= ~(CS_HREDRAW | CS_VREDRAW);
}

// ---------------------------------------------------------------------------------------------
// Docking transaction

TTBDockType TTBCustomDockableWindow::DockTypeOf(bool floating, const TTBDock* dock)
{
    if (floating)
        return dtFloating;
    if (!dock)
        return dtNotDocked;
    return dock->IsLeftRight() ? dtLeftRight : dtTopBottom;
}

void TTBCustomDockableWindow::SetParent(TWinControl* parent)
{
    if (parent == FParent)
        return;
    if (HasState(csDestroying)) {
        TCustomControl::SetParent(parent);
        return;
    }
    SetParentTransaction(parent);
}

void TTBCustomDockableWindow::SetParentTransaction(TWinControl* parent)
{
    auto* newDock = dynamic_cast<TTBDock*>(parent);
    bool newFloating = parent && Is<TTBFloatingWindowParent>(parent);
    std::weak_ptr<int> alive = LifeToken();
    OnDockChanging(this, newFloating, newDock);
    OnRecreating(this);
    if (alive.expired())
        return;

    TTBDock* oldDock = FCurrentDock;
    TTBFloatingWindowParent* oldFloatForm = FFloating ? FFloatForm.get() : nullptr;
    {
        TCountScope moveNotify(FMoveNotifyDisabled);
        TCountScope hiding(HidingCount);
        RefreshVisibility();
        std::optional<TUpdateScope<TTBDock>> oldDockUpdate, newDockUpdate;
        if (oldDock)
            oldDockUpdate.emplace(oldDock);
        if (newDock && newDock != oldDock)
            newDockUpdate.emplace(newDock);
        TCountScope bounds(BoundsUpdating);
        TUpdateScope<TTBCustomDockableWindow> self(this);
        ShrunkLength = 0;

        if (oldDock) {
            oldDock->VisibilityChanged(this, true);
            // A floating window keeps its place in the order of the dock it remembers.
            bool keepsPlace = FUseLastDock && FLastDock == oldDock && !newDock;
            if (!keepsPlace)
                oldDock->UpdateDockList(false, this);
        }
        FCurrentDock = newDock;
        FFloating = newFloating;
        FDocked = newDock != nullptr;
        PlacedRow = -1;
        ReparentWindow(parent);
        if (oldFloatForm && parent != oldFloatForm)
            ReleaseFloatForm();
        if (newDock) {
            if (FUseLastDock)
                SetLastDock(newDock);
            newDock->UpdateDockList(true, this);
        }
        UpdateFloatingList();
        if (FFloating)
            PlaceFloatForm();
        Arrange();
    }
    RefreshVisibility();
    if (alive.expired())
        return;
    OnMove(this);
    OnDockChanged(this);
    OnRecreated(this);
}

void TTBCustomDockableWindow::ReparentWindow(TWinControl* parent)
{
    if (TCustomForm* form = GetParentForm(this))
        form->DefocusControl(this, true);
    HWND wnd = FHandle;
    // The window moves with its handle: recreating it would lose what the contents keep in it.
    TControl::SetParent(parent);
    if (wnd && !parent) {
        DestroyHandle();
        return;
    }
    if (wnd) {
        ::SetParent(wnd, parent->GetHandle());
        SetWindowPos(wnd, nullptr, 0, 0, 0, 0, SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (FParent)
        UpdateControlState();
}

void TTBCustomDockableWindow::UpdateFloatingList()
{
    if (FFloating) {
        if (!tFloatingWindows)
            tFloatingWindows = new std::vector<TTBCustomDockableWindow*>;
        if (std::find(tFloatingWindows->begin(), tFloatingWindows->end(), this) == tFloatingWindows->end())
            tFloatingWindows->push_back(this);
        if (!FHookRegistered) {
            AddWindowHook(this, &TTBCustomDockableWindow::HookProc,
                          HookKindSet(THookKind::hkActivate, THookKind::hkActivateApp, THookKind::hkWindowPosChanged,
                                      THookKind::hkDestroyWindow));
            FHookRegistered = true;
        }
        return;
    }
    if (FHookRegistered) {
        RemoveWindowHook(this, &TTBCustomDockableWindow::HookProc);
        FHookRegistered = false;
    }
    if (!tFloatingWindows)
        return;
    auto& list = *tFloatingWindows;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    if (list.empty()) {
        delete tFloatingWindows;
        tFloatingWindows = nullptr;
    }
}

void TTBCustomDockableWindow::PlaceFloatForm()
{
    if (!FFloatForm)
        return;
    SIZE nc = FloatingNCSize();
    FFloatForm->SetBounds(FFloatPoint.x, FFloatPoint.y, FWidth + nc.cx, FHeight + nc.cy);
}

TCustomForm* TTBCustomDockableWindow::FindOwnerForm() const
{
    if (FFloating && FFloatForm)
        return FFloatForm->GetOwnerForm();
    if (TCustomForm* form = GetParentForm(this))
        return form;
    for (TTBDock* dock : {FLastDock, FDefaultDock})
        if (dock)
            if (TCustomForm* form = GetParentForm(dock))
                return form;
    return dynamic_cast<TCustomForm*>(GetOwner());
}

TCustomForm* TTBCustomDockableWindow::GetOwnerForm() const
{
    return FindOwnerForm();
}

void TTBCustomDockableWindow::SetFloating(bool value)
{
    if (value == FFloating)
        return;
    if (!value) {
        SetParent(FindOwnerForm());
        return;
    }
    TCustomForm* form = FindOwnerForm();
    if (!form)
        throw EInvalidOperation("Control '" + GetName() + "' has no parent window");
    if (!FFloatForm || FFloatForm->GetOwnerForm() != form) {
        ReleaseFloatForm();
        std::unique_ptr<TObject, TObjectFree> created(CreateInstance(QueryFloatingParentClass(), nullptr));
        auto* floatForm = As<TTBFloatingWindowParent>(created.get());
        floatForm->AttachWindow(this, form);
        created.release();
        FFloatForm.reset(floatForm);
    }
    SetParent(FFloatForm.get());
}

void TTBCustomDockableWindow::SetCurrentDock(TTBDock* value)
{
    if (HasState(csLoading) || value == FCurrentDock)
        return;
    if (value)
        SetParent(value);
    else
        SetParent(FindOwnerForm());
}

// ---------------------------------------------------------------------------------------------
// Arrangement and bounds

void TTBCustomDockableWindow::BeginUpdate()
{
    ++FArrangeDisabled;
}

void TTBCustomDockableWindow::EndUpdate()
{
    if (--FArrangeDisabled == 0 && FArrangeNeeded)
        Arrange();
}

void TTBCustomDockableWindow::Arrange()
{
    if (FArrangeDisabled > 0 || !FParent || HasState(csLoading) || HasState(csDestroying)) {
        FArrangeNeeded = true;
        return;
    }
    FArrangeNeeded = false;
    POINT size = ComputeArrangement(true, CurrentDockType(), FFloating, FCurrentDock);
    if (FAutoResize || FDocked || FFloating)
        ApplyArrangedSize(size);
}

void TTBCustomDockableWindow::ApplyArrangedSize(POINT size)
{
    if (FDocked) {
        FCurrentDock->LayOutToolbars();
        return;
    }
    if (FFloating) {
        SetBounds(0, 0, size.x, size.y);
        return;
    }
    SIZE nc = GetDockedNCAreaSize(nullptr);
    int width = size.x + nc.cx, height = size.y + nc.cy;
    // An edge anchored on both sides keeps the extent its anchors give it.
    if ((FAnchors & (akLeft | akRight)) == (akLeft | akRight))
        width = FWidth;
    if ((FAnchors & (akTop | akBottom)) == (akTop | akBottom))
        height = FHeight;
    SetBounds(FLeft, FTop, width, height);
}

void TTBCustomDockableWindow::SetBounds(int left, int top, int width, int height)
{
    bool floating = FFloating && FFloatForm;
    if (floating) {
        left = 0;
        top = 0;
    }
    if (BoundsUpdating == 0 && (width != FWidth || height != FHeight))
        AdjustNewSize(width, height);
    TCustomControl::SetBounds(left, top, width, height);
    if (floating) {
        SIZE nc = FloatingNCSize();
        TTBFloatingWindowParent* form = FFloatForm.get();
        form->SetBounds(form->GetLeft(), form->GetTop(), FWidth + nc.cx, FHeight + nc.cy);
    }
}

SIZE TTBCustomDockableWindow::SizeForState(TTBDock* dock, bool floating)
{
    POINT contents = ComputeArrangement(false, DockTypeOf(floating, dock), floating, dock);
    SIZE nc = floating ? SIZE{0, 0} : GetDockedNCAreaSize(dock);
    return SIZE{contents.x + nc.cx, contents.y + nc.cy};
}

bool TTBCustomDockableWindow::HasParent() const
{
    return !FFloating && TCustomControl::HasParent();
}

TComponent* TTBCustomDockableWindow::GetParentComponent() const
{
    // A floating window streams with its owner form, not with its floating form.
    return FFloating ? nullptr : TCustomControl::GetParentComponent();
}

// ---------------------------------------------------------------------------------------------
// Subclass hooks: base behaviour

int TTBCustomDockableWindow::DragHandleLength(const TTBDock* dock) const
{
    if (!dock || !dock->GetAllowDrag())
        return 0;
    return DragHandleSizes[FCloseButtonWhenDocked ? 1 : 0][FDragHandleStyle];
}

SIZE TTBCustomDockableWindow::GetDockedNCAreaSize(const TTBDock* dock)
{
    if (!dock)
        return SIZE{0, 0};
    SIZE size{4, 4};
    int handle = DragHandleLength(dock);
    if (dock->IsLeftRight())
        size.cy += handle;
    else
        size.cx += handle;
    return size;
}

bool TTBCustomDockableWindow::AcceptsDock(TTBDock* dock)
{
    return dock && (FDockableTo & DockPositionSet(dock->GetPosition())) != 0;
}

bool TTBCustomDockableWindow::HitTestContents(POINT clientPoint)
{
    TControl* control = ControlAtPos(clientPoint, true, true);
    return control && control->GetVisible() && !IsChildControlTransparent(control);
}

RECT TTBCustomDockableWindow::DockedCloseButtonBounds(bool leftRight)
{
    int side = DragHandleLength(FCurrentDock) - 3;
    if (leftRight) {
        int x = GetClientWidth() + 2 - side;
        return RECT{x, 3, x + side, 3 + side};
    }
    return RECT{3, 2, 3 + side, 2 + side};
}

void TTBCustomDockableWindow::QueryMinShrinkSize(int&)
{
}

void TTBCustomDockableWindow::QueryMinMaxSize(int&, int&, int&, int&)
{
}

TTBShrinkMode TTBCustomDockableWindow::QueryShrinkMode()
{
    return tbsmNone;
}

void TTBCustomDockableWindow::AdjustNewSize(int&, int&)
{
}

SIZE TTBCustomDockableWindow::QueryFloatingBorder()
{
    if (FResizable)
        return SIZE{GetSystemMetrics(SM_CXFRAME), GetSystemMetrics(SM_CYFRAME)};
    return SIZE{GetSystemMetrics(SM_CXFIXEDFRAME), GetSystemMetrics(SM_CYFIXEDFRAME)};
}

SIZE TTBCustomDockableWindow::FloatingNCSize()
{
    SIZE border = QueryFloatingBorder();
    SIZE size{border.cx * 2, border.cy * 2};
    if (FShowCaption)
        size.cy += GetSystemMetrics(SM_CYSMCAPTION);
    return size;
}

bool TTBCustomDockableWindow::IsChildControlTransparent(TControl*)
{
    return false;
}

TClass TTBCustomDockableWindow::QueryFloatingParentClass()
{
    return TTBFloatingWindowParent::StaticClass();
}

void TTBCustomDockableWindow::SizeStart(int)
{
}

void TTBCustomDockableWindow::SizeMove(RECT&, const RECT&)
{
}

void TTBCustomDockableWindow::LoadPosition(const TTBPositionData&)
{
}

void TTBCustomDockableWindow::StorePosition(const TTBPositionData&)
{
}

// ---------------------------------------------------------------------------------------------
// Closing, the double-click rule, screen fitting

void TTBCustomDockableWindow::Close()
{
    bool canClose = true;
    std::weak_ptr<int> alive = LifeToken();
    OnCloseQuery(this, canClose);
    if (!canClose || alive.expired())
        return;
    Hide();
    if (!alive.expired())
        OnClose(this);
}

bool TTBCustomDockableWindow::IsMovable() const
{
    return (FDocked && FCurrentDock->GetAllowDrag()) || FFloating;
}

void TTBCustomDockableWindow::DoubleClick()
{
    if (FDocked) {
        if (!FDblClickUndock || FDockMode != dmCanFloat)
            return;
        RECT r{};
        if (FHandle)
            GetWindowRect(FHandle, &r);
        FFloatPoint = POINT{r.left, r.top};
        SetFloating(true);
        FitToScreen(false);
        return;
    }
    if (!FFloating)
        return;
    if (FLastDock) {
        SetParent(FLastDock);
        return;
    }
    if (FDefaultDock) {
        FDockRow = 0;
        FDockPos = -8;
        SetParent(FDefaultDock);
    }
}

void TTBCustomDockableWindow::FitToScreen(bool onlyIfFullyOffscreen)
{
    if (!FFloating || !FFloatForm)
        return;
    RECT r = FFloatForm->GetBoundsRect();
    RECT work = MonitorRectOfRect(r, true);
    RECT overlap{};
    if (onlyIfFullyOffscreen && ::IntersectRect(&overlap, &r, &work))
        return;
    int width = r.right - r.left, height = r.bottom - r.top;
    POINT p{r.left, r.top};
    if (p.x + width > work.right)
        p.x = work.right - width;
    if (p.y + height > work.bottom)
        p.y = work.bottom - height;
    if (p.x < work.left)
        p.x = work.left;
    if (p.y < work.top)
        p.y = work.top;
    SetFloatPoint(p);
}

void TTBCustomDockableWindow::SetFloatPoint(POINT value)
{
    FFloatPoint = value;
    if (FFloating && FFloatForm)
        FFloatForm->SetBounds(value.x, value.y, FFloatForm->GetWidth(), FFloatForm->GetHeight());
}

// ---------------------------------------------------------------------------------------------
// Visibility of floating windows

void TTBCustomDockableWindow::RefreshVisibility()
{
    if (!FFloating || !FFloatForm || FRefreshing)
        return;
    TFlagScope refreshing(FRefreshing);
    bool show = FVisible && HidingCount == 0 && !HasState(csDestroying);
    if (show && FHideWhenInactive)
        show = ApplicationActive();
    TCustomForm* form = FFloatForm->GetOwnerForm();
    if (show && form && FFloatingMode == fmOnTopOfParentForm) {
        HWND formWnd = form->GetWindowHandle();
        show = formWnd && IsWindowVisible(formWnd) && !IsIconic(formWnd);
    }
    ApplyVisibility(show);
}

void TTBCustomDockableWindow::ApplyVisibility(bool show)
{
    TTBFloatingWindowParent* floatForm = FFloatForm.get();
    if (show == floatForm->GetShowWanted() && floatForm->HandleAllocated())
        return;
    HWND wnd = floatForm->GetHandle();
    if (show) {
        TCustomForm* form = floatForm->GetOwnerForm();
        HWND owner = form ? form->GetHandle() : (Application ? Application->GetHandle() : nullptr);
        SetWindowLongPtrW(wnd, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(owner));
    }
    bool wasActive = GetActiveWindow() == wnd;
    floatForm->SetShowWanted(show);
    if (show)
        UpdateTopmost();
    else if (wasActive)
        ActivateFirstThreadWindow(wnd);
}

void TTBCustomDockableWindow::UpdateTopmost()
{
    if (!FFloatForm || !FFloatForm->HandleAllocated())
        return;
    HWND wnd = FFloatForm->GetWindowHandle();
    bool topmost = false;
    if (FFloatingMode == fmOnTopOfAllForms) {
        topmost = FEnabled;
    } else if (HWND owner = GetWindow(wnd, GW_OWNER)) {
        topmost = (GetWindowLongPtrW(owner, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    }
    SetWindowPos(wnd, topmost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE);
}

void TTBCustomDockableWindow::InvalidateFloatingCaption()
{
    if (FFloatForm)
        FFloatForm->RedrawNCArea(frpCaption);
}

void TTBCustomDockableWindow::RefreshAllFloating()
{
    if (!tFloatingWindows)
        return;
    std::vector<TTBCustomDockableWindow*> windows = *tFloatingWindows;
    for (TTBCustomDockableWindow* w : windows) {
        // A refresh may free another floating window (through the events it raises).
        if (!tFloatingWindows ||
            std::find(tFloatingWindows->begin(), tFloatingWindows->end(), w) == tFloatingWindows->end())
            continue;
        w->RefreshVisibility();
        w->UpdateCaptionState();
    }
}

void TTBCustomDockableWindow::UpdateCaptionState()
{
    if (!FFloatForm)
        return;
    bool inactive = !ApplicationActive();
    if (!inactive && FFloatingMode == fmOnTopOfParentForm) {
        HWND active = GetActiveWindow();
        if (IsFrameworkPopup(active))
            return;
        TCustomForm* form = FFloatForm->GetOwnerForm();
        HWND formWnd = form ? form->GetWindowHandle() : nullptr;
        // An active floating form stands for the form it belongs to.
        if (FFloatForm->HandleAllocated() && active == FFloatForm->GetWindowHandle())
            active = formWnd;
        inactive = !formWnd || !(active == formWnd || IsChild(formWnd, active));
    }
    if (inactive == CaptionInactive)
        return;
    CaptionInactive = inactive;
    InvalidateFloatingCaption();
}

void TTBCustomDockableWindow::HookProc(THookKind kind, HWND wnd, WPARAM wParam, LPARAM lParam)
{
    switch (kind) {
    case THookKind::hkActivate:
        RefreshAllFloating();
        return;
    case THookKind::hkActivateApp: {
        int saved = tAppActiveOverride;
        tAppActiveOverride = wParam != 0 ? 1 : 0;
        TScopeExit restore([saved] { tAppActiveOverride = saved; });
        RefreshAllFloating();
        return;
    }
    case THookKind::hkWindowPosChanged: {
        const auto* pos = reinterpret_cast<const WINDOWPOS*>(lParam);
        if (!pos || !(pos->flags & (SWP_SHOWWINDOW | SWP_HIDEWINDOW | SWP_FRAMECHANGED)) || !tFloatingWindows)
            return;
        std::vector<TTBCustomDockableWindow*> windows = *tFloatingWindows;
        for (TTBCustomDockableWindow* w : windows) {
            if (!tFloatingWindows ||
                std::find(tFloatingWindows->begin(), tFloatingWindows->end(), w) == tFloatingWindows->end())
                continue;
            TCustomForm* form = w->FFloatForm ? w->FFloatForm->GetOwnerForm() : nullptr;
            HWND formWnd = form ? form->GetWindowHandle() : nullptr;
            if (formWnd && (formWnd == wnd || IsChild(wnd, formWnd)))
                w->RefreshVisibility();
        }
        return;
    }
    case THookKind::hkDestroyWindow:
        // A floating form outlives the window that owns it: it is handed to the application.
        if (!tFloatingWindows)
            return;
        for (TTBCustomDockableWindow* w : *tFloatingWindows) {
            if (!w->FFloatForm || !w->FFloatForm->HandleAllocated())
                continue;
            HWND floatWnd = w->FFloatForm->GetWindowHandle();
            if (GetWindow(floatWnd, GW_OWNER) == wnd)
                SetWindowLongPtrW(floatWnd, GWLP_HWNDPARENT,
                                  reinterpret_cast<LONG_PTR>(Application ? Application->GetHandle() : nullptr));
        }
        return;
    default:
        return;
    }
}

// ---------------------------------------------------------------------------------------------
// Properties

void TTBCustomDockableWindow::SetAutoResize(bool value)
{
    if (Change(FAutoResize, value) && value)
        Arrange();
}

void TTBCustomDockableWindow::RearrangeDock()
{
    if (FDocked)
        FCurrentDock->LayOutToolbars();
}

void TTBCustomDockableWindow::RecalcNCArea()
{
    if (FHandle)
        SetWindowPos(FHandle, nullptr, 0, 0, 0, 0, SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    RearrangeDock();
}

void TTBCustomDockableWindow::RedrawNC()
{
    if (FHandle)
        RedrawWindow(FHandle, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_NOCHILDREN);
}

void TTBCustomDockableWindow::SetBorderStyle(TFormBorderStyle value)
{
    if (Change(FBorderStyle, value) && FDocked)
        RecalcNCArea();
}

void TTBCustomDockableWindow::SetCaption(const std::wstring& value)
{
    if (value == FCaption)
        return;
    FCaption = value;
    // The window text follows in the 8-bit form the class library keeps.
    TControl::SetText(WideToAnsi(value));
    Perform(CM_TEXTCHANGED);
    if (FFloatForm)
        FFloatForm->SetCaption(value);
}

void TTBCustomDockableWindow::SetCloseButton(bool value)
{
    if (Change(FCloseButton, value) && FFloatForm)
        FFloatForm->RedrawNCArea(frpCaption | frpCloseButton);
}

void TTBCustomDockableWindow::SetCloseButtonWhenDocked(bool value)
{
    if (Change(FCloseButtonWhenDocked, value) && FDocked)
        RecalcNCArea();
}

void TTBCustomDockableWindow::SetDefaultDock(TTBDock* value)
{
    if (value == FDefaultDock)
        return;
    if (FDefaultDock)
        FDefaultDock->RemoveFreeNotification(this);
    FDefaultDock = value;
    if (value)
        value->FreeNotification(this);
}

void TTBCustomDockableWindow::SetDockPos(int value)
{
    if (Change(FDockPos, value))
        RearrangeDock();
}

void TTBCustomDockableWindow::SetDockRow(int value)
{
    if (Change(FDockRow, value))
        RearrangeDock();
}

void TTBCustomDockableWindow::SetDragHandleStyle(TTBDragHandleStyle value)
{
    if (Change(FDragHandleStyle, value) && FDocked)
        RecalcNCArea();
}

void TTBCustomDockableWindow::SetFloatingMode(TTBFloatingMode value)
{
    if (!Change(FFloatingMode, value))
        return;
    RefreshVisibility();
    UpdateTopmost();
}

void TTBCustomDockableWindow::SetFullSize(bool value)
{
    if (Change(FFullSize, value))
        RearrangeDock();
}

void TTBCustomDockableWindow::SetClassDefaults(const TTBDockableDefaults& defaults)
{
    FClassDefaults = defaults;
    SetCloseButtonWhenDocked(defaults.CloseButtonWhenDocked);
    SetDblClickUndock(defaults.DblClickUndock);
    SetFullSize(defaults.FullSize);
}

void TTBCustomDockableWindow::SetHideWhenInactive(bool value)
{
    if (Change(FHideWhenInactive, value))
        RefreshVisibility();
}

void TTBCustomDockableWindow::SetLastDock(TTBDock* value)
{
    if (FUseLastDock && FDocked)
        value = FCurrentDock;
    if (value == FLastDock)
        return;
    TTBDock* old = FLastDock;
    FLastDock = value;
    if (old && old != FParent)
        old->UpdateDockList(false, this);
    if (!value)
        return;
    FUseLastDock = true;
    value->FreeNotification(this);
    value->UpdateDockList(true, this);
}

void TTBCustomDockableWindow::SetResizable(bool value)
{
    if (value == FResizable)
        return;
    FResizable = value;
    if (!FFloatForm)
        return;
    // The frame style changes with it.
    FFloatForm->RecreateWnd();
    PlaceFloatForm();
    RefreshVisibility();
}

void TTBCustomDockableWindow::SetShowCaption(bool value)
{
    if (value == FShowCaption)
        return;
    FShowCaption = value;
    if (FFloatForm && FFloatForm->HandleAllocated())
        SetWindowPos(FFloatForm->GetWindowHandle(), nullptr, 0, 0, 0, 0,
                     SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    if (FFloating)
        PlaceFloatForm();
    Arrange();
}

void TTBCustomDockableWindow::SetStretch(bool value)
{
    if (Change(FStretch, value))
        RearrangeDock();
}

void TTBCustomDockableWindow::SetUseLastDock(bool value)
{
    if (value == FUseLastDock)
        return;
    FUseLastDock = value;
    if (value) {
        SetLastDock(FCurrentDock);
        return;
    }
    TTBDock* old = FLastDock;
    FLastDock = nullptr;
    if (old && old != FParent)
        old->UpdateDockList(false, this);
}

void TTBCustomDockableWindow::Notification(TComponent* component, TOperation operation)
{
    TCustomControl::Notification(component, operation);
    if (operation != TOperation::opRemove)
        return;
    if (component == FLastDock)
        FLastDock = nullptr;
    if (component == FDefaultDock)
        FDefaultDock = nullptr;
    if (component == FCurrentDock) {
        FCurrentDock = nullptr;
        FDocked = false;
    }
}

// ---------------------------------------------------------------------------------------------
// Streaming

void TTBCustomDockableWindow::DefineProperties(TFiler* filer)
{
    TCustomControl::DefineProperties(filer);
    filer->DefineProperty(
        "SavedAtRunTime", [this](TReader* r) { FSavedAtRunTime = r->ReadBoolean(); },
        [](TWriter* w) { w->WriteBoolean(true); }, true);
    DefineWideStringProp(filer, "Caption", FCaption, [this](const std::wstring& v) { SetCaption(v); }, !FCaption.empty());

    auto boolProperty = [filer](const char* name, bool value, bool defaultValue, const std::function<void(bool)>& set) {
        DefineBoolProp(filer, name, value, defaultValue, set);
    };
    // Enumerations are read by name; an unknown name leaves the value as it is.
    auto enumProperty = [filer](const char* name, const auto& names, int value, int defaultValue, auto set) {
        filer->DefineProperty(
            name,
            [&names, set](TReader* r) {
                int index = IndexOfName(names, r->ReadIdent());
                if (index >= 0)
                    set(index);
            },
            [&names, value](TWriter* w) { w->WriteIdent(names[value]); }, value != defaultValue);
    };
    auto dockProperty = [filer](const char* name, TTBDock* value, std::string& pending, bool stored) {
        filer->DefineProperty(
            name, [&pending](TReader* r) { pending = r->ReadIdent(); },
            [value](TWriter* w) { w->WriteIdent(value->GetName()); }, stored && value && !value->GetName().empty());
    };

    boolProperty("ActivateParent", FActivateParent, true, [this](bool v) { SetActivateParent(v); });
    boolProperty("AutoResize", FAutoResize, true, [this](bool v) { SetAutoResize(v); });
    boolProperty("BorderSingle", FBorderStyle == bsSingle, true,
                 [this](bool v) { SetBorderStyle(v ? bsSingle : bsNone); });
    boolProperty("CloseButton", FCloseButton, true, [this](bool v) { SetCloseButton(v); });
    // A subclass may start these otherwise: what differs from its own start is written.
    boolProperty("CloseButtonWhenDocked", FCloseButtonWhenDocked, FClassDefaults.CloseButtonWhenDocked,
                 [this](bool v) { SetCloseButtonWhenDocked(v); });
    boolProperty("DblClickUndock", FDblClickUndock, FClassDefaults.DblClickUndock,
                 [this](bool v) { SetDblClickUndock(v); });
    dockProperty("DefaultDock", FDefaultDock, FDefaultDockName, true);
    filer->DefineProperty(
        "DockableTo",
        [this](TReader* r) {
            TTBDockableTo set = 0;
            for (const std::string& name : r->ReadSet()) {
                int index = IndexOfName(DockPositionNames, name);
                if (index >= 0)
                    set |= DockPositionSet(static_cast<TTBDockPosition>(index));
            }
            SetDockableTo(set);
        },
        [this](TWriter* w) {
            std::vector<std::string> names;
            for (int i = 0; i < 4; ++i)
                if (FDockableTo & (1u << i))
                    names.emplace_back(DockPositionNames[i]);
            w->WriteSet(names);
        },
        FDockableTo != AllDockPositions);
    enumProperty("DockMode", DockModeNames, FDockMode, dmCanFloat,
                 [this](int v) { SetDockMode(static_cast<TTBDockMode>(v)); });
    DefineIntProp(filer, "DockPos", FDockPos, -1, [this](int v) { SetDockPos(v); });
    DefineIntProp(filer, "DockRow", FDockRow, 0, [this](int v) { SetDockRow(std::max(v, 0)); });
    enumProperty("DragHandleStyle", DragHandleNames, FDragHandleStyle, dhSingle,
                 [this](int v) { SetDragHandleStyle(static_cast<TTBDragHandleStyle>(v)); });
    enumProperty("FloatingMode", FloatingModeNames, FFloatingMode, fmOnTopOfParentForm,
                 [this](int v) { SetFloatingMode(static_cast<TTBFloatingMode>(v)); });
    boolProperty("FullSize", FFullSize, FClassDefaults.FullSize, [this](bool v) { SetFullSize(v); });
    boolProperty("HideWhenInactive", FHideWhenInactive, true, [this](bool v) { SetHideWhenInactive(v); });
    dockProperty("LastDock", FLastDock, FLastDockName, !FDocked);
    boolProperty("Resizable", FResizable, true, [this](bool v) { SetResizable(v); });
    boolProperty("ShowCaption", FShowCaption, true, [this](bool v) { SetShowCaption(v); });
    boolProperty("SmoothDrag", FSmoothDrag, true, [this](bool v) { SetSmoothDrag(v); });
    boolProperty("Stretch", FStretch, false, [this](bool v) { SetStretch(v); });
    boolProperty("UseLastDock", FUseLastDock, true, [this](bool v) { SetUseLastDock(v); });
}

void TTBCustomDockableWindow::Loaded()
{
    TCustomControl::Loaded();
    // Docks named in the stream are found among the owner's components; a name that is not a dock
    // there leaves the reference empty.
    auto resolve = [this](std::string& name) -> TTBDock* {
        std::string pending;
        pending.swap(name);
        if (pending.empty() || !GetOwner())
            return nullptr;
        return dynamic_cast<TTBDock*>(GetOwner()->FindComponent(pending));
    };
    if (TTBDock* dock = resolve(FDefaultDockName))
        SetDefaultDock(dock);
    if (TTBDock* dock = resolve(FLastDockName))
        SetLastDock(dock);
    if (FFloating && !FSavedAtRunTime)
        FitToScreen(false);
    DoneLoading();
    Arrange();
}

// ---------------------------------------------------------------------------------------------
// Messages

void TTBCustomDockableWindow::Dispatch(TMessage& m)
{
    switch (m.Msg) {
    case WM_NCCALCSIZE:
        WMNCCalcSize(m);
        return;
    case WM_NCHITTEST:
        WMNCHitTest(m);
        return;
    case WM_NCPAINT:
        WMNCPaint(m);
        return;
    case WM_PRINT:
        if (!FDocked)
            break;
        AnswerPrintMessage(FHandle, m, [this](HWND, HDC dc) { DrawNCArea(true, dc, nullptr); });
        return;
    case WM_PRINTCLIENT:
        PrintClientArea(this, m);
        return;
    case WM_SETCURSOR:
        WMSetCursor(m);
        return;
    case WM_NCLBUTTONDOWN:
        WMNCLButtonDown(m);
        return;
    case WM_NCLBUTTONDBLCLK:
        if (m.WParam == static_cast<WPARAM>(HT_TB2K_DOCKED)) {
            DoubleClick();
            return;
        }
        break;
    case WM_NCRBUTTONUP:
        SendMessageA(FHandle, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(FHandle), m.LParam);
        return;
    case WM_NCMOUSEMOVE:
        WMNCMouseMove(m);
        return;
    case WM_NCMOUSELEAVE:
    case WM_MOUSELEAVE:
    case CM_MOUSELEAVE:
    case WM_MOUSEMOVE:
        if (CloseButtonHot) {
            CloseButtonHot = false;
            RedrawNC();
        }
        break;
    case WM_MOVE:
        TCustomControl::Dispatch(m);
        if (FDocked && FCurrentDock->HasBackgroundImage() && FHandle)
            RedrawWindow(FHandle, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_ERASE);
        if (FMoveNotifyDisabled == 0 && !FFloating)
            OnMove(this);
        return;
    case CM_VISIBLECHANGED: {
        std::weak_ptr<int> alive = LifeToken();
        TCustomControl::Dispatch(m);
        if (FCurrentDock)
            FCurrentDock->VisibilityChanged(this, false);
        RefreshVisibility();
        if (!alive.expired())
            OnVisibleChanged(this);
        return;
    }
    case WM_ENABLE:
        TCustomControl::Dispatch(m);
        if (FFloating && FFloatingMode == fmOnTopOfAllForms)
            UpdateTopmost();
        return;
    default:
        break;
    }
    TCustomControl::Dispatch(m);
}

void TTBCustomDockableWindow::WMNCCalcSize(TMessage& m)
{
    if (!FDocked) {
        TCustomControl::Dispatch(m);
        return;
    }
    auto* r = reinterpret_cast<RECT*>(m.LParam);
    InflateRect(r, -2, -2);
    int handle = DragHandleLength(FCurrentDock);
    if (FCurrentDock->IsLeftRight())
        r->top += handle;
    else
        r->left += handle;
    if (r->right < r->left)
        r->right = r->left;
    if (r->bottom < r->top)
        r->bottom = r->top;
    m.Result = 0;
}

void TTBCustomDockableWindow::WMNCHitTest(TMessage& m)
{
    TCustomControl::Dispatch(m);
    if (!FDocked || !FHandle)
        return;
    POINT p{static_cast<short>(LOWORD(m.LParam)), static_cast<short>(HIWORD(m.LParam))};
    RECT window{};
    GetWindowRect(FHandle, &window);
    if (!::PtInRect(&window, p))
        return;
    POINT client = p;
    ::ScreenToClient(FHandle, &client);
    RECT clientRect{};
    ::GetClientRect(FHandle, &clientRect);
    if (::PtInRect(&clientRect, client)) {
        m.Result = HTCLIENT;
        return;
    }
    POINT local{p.x - window.left, p.y - window.top};
    RECT close = DockedCloseButtonBounds(FCurrentDock->IsLeftRight());
    bool onClose = FCloseButtonWhenDocked && FCurrentDock->GetAllowDrag() && ::PtInRect(&close, local);
    m.Result = onClose ? HT_TB2K_CLOSE : HT_TB2K_DOCKED;
}

void TTBCustomDockableWindow::WMNCPaint(TMessage& m)
{
    if (!FDocked) {
        TCustomControl::Dispatch(m);
        return;
    }
    DrawNCArea(false, nullptr, reinterpret_cast<HRGN>(m.WParam));
    m.Result = 0;
}

void TTBCustomDockableWindow::WMSetCursor(TMessage& m)
{
    if (LOWORD(m.LParam) == HT_TB2K_DOCKED && FDocked && FDragHandleStyle != dhNone) {
        POINT p{};
        GetCursorPos(&p);
        RECT window{};
        GetWindowRect(FHandle, &window);
        int reach = DragHandleLength(FCurrentDock) + 2;
        bool onHandle = FCurrentDock->IsLeftRight() ? p.y - window.top < reach : p.x - window.left < reach;
        if (onHandle) {
            ::SetCursor(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_SIZEALL)));
            m.Result = 1;
            return;
        }
    }
    TCustomControl::Dispatch(m);
}

void TTBCustomDockableWindow::WMNCLButtonDown(TMessage& m)
{
    POINT p{static_cast<short>(LOWORD(m.LParam)), static_cast<short>(HIWORD(m.LParam))};
    if (m.WParam == static_cast<WPARAM>(HT_TB2K_DOCKED)) {
        if (IsMovable())
            BeginMoving(p);
        return;
    }
    if (m.WParam == static_cast<WPARAM>(HT_TB2K_CLOSE)) {
        TrackDockedCloseButton();
        return;
    }
    TCustomControl::Dispatch(m);
}

void TTBCustomDockableWindow::WMNCMouseMove(TMessage& m)
{
    bool hot = m.WParam == static_cast<WPARAM>(HT_TB2K_CLOSE);
    if (hot != CloseButtonHot) {
        CloseButtonHot = hot;
        RedrawNC();
    }
    if (hot)
        RequestMouseLeave(FHandle, TME_LEAVE | TME_NONCLIENT);
    TCustomControl::Dispatch(m);
}

void TTBCustomDockableWindow::TrackDockedCloseButton()
{
    if (!FHandle || !FDocked)
        return;
    std::weak_ptr<int> alive = LifeToken();
    HWND wnd = FHandle;
    auto over = [this, wnd] {
        POINT p{};
        GetCursorPos(&p);
        RECT window{};
        GetWindowRect(wnd, &window);
        RECT close = DockedCloseButtonBounds(FCurrentDock && FCurrentDock->IsLeftRight());
        return ::PtInRect(&close, POINT{p.x - window.left, p.y - window.top}) != FALSE;
    };
    auto showPressed = [this](bool pressed) {
        CloseButtonPressed = pressed;
        RedrawNC();
    };
    bool released = TrackButtonPress(wnd, alive, over, showPressed);
    if (alive.expired())
        return;
    showPressed(false);
    if (released)
        Close();
}

void TTBCustomDockableWindow::MouseDown(TMouseButton button, TShiftState shift, int x, int y)
{
    if (button != TMouseButton::mbLeft || !IsMovable() || HitTestContents(POINT{x, y})) {
        TCustomControl::MouseDown(button, shift, x, y);
        return;
    }
    if (shift & ssDouble) {
        DoubleClick();
        return;
    }
    std::weak_ptr<int> alive = LifeToken();
    BeginMoving(ClientToScreen(POINT{x, y}));
    // The loop swallowed the release; the class library still waits for one.
    if (!alive.expired())
        Perform(WM_LBUTTONUP, 0, MAKELPARAM(x, y));
}

// ---------------------------------------------------------------------------------------------
// Docked frame painting

void TTBCustomDockableWindow::DrawNCArea(bool useGivenDC, HDC dc, HRGN clipRegion)
{
    if (!FDocked || !FHandle)
        return;
    TFrameDC frame(FHandle, useGivenDC, dc, clipRegion);
    dc = frame.Get();
    if (!dc)
        return;
    RECT r = frame.GetWindow();

    TTBDock* dock = FCurrentDock;
    if (dock->GetBackgroundOnToolbars() && dock->HasBackgroundImage()) {
        POINT old{};
        SetWindowOrgEx(dc, FLeft, FTop, &old);
        dock->FillDockBackground(dc, RECT{FLeft, FTop, FLeft + r.right, FTop + r.bottom});
        SetWindowOrgEx(dc, old.x, old.y, nullptr);
    } else {
        TGdiObject<HBRUSH> face(CreateSolidBrush(static_cast<COLORREF>(ColorToRGB(FColor))));
        FillRect(dc, &r, face.Get());
    }
    if (FBorderStyle == bsSingle)
        DrawEdge(dc, &r, BDR_RAISEDINNER, BF_RECT);

    int handle = DragHandleLength(dock);
    bool leftRight = dock->IsLeftRight();
    if (handle > 0 && FDragHandleStyle != dhNone) {
        int grips = FDragHandleStyle == dhDouble ? 2 : 1;
        int start = FCloseButtonWhenDocked ? handle - 3 : 0;
        for (int i = 0; i < grips; ++i) {
            RECT grip = leftRight ? RECT{2 + start, 3 + i * 3, r.right - 3, 6 + i * 3}
                                  : RECT{3 + i * 3, 2 + start, 6 + i * 3, r.bottom - 3};
            if (FCloseButtonWhenDocked)
                grip = leftRight ? RECT{3, 4 + i * 3, r.right - 3 - (handle - 3), 7 + i * 3}
                                 : RECT{4 + i * 3, 2 + handle - 1, 7 + i * 3, r.bottom - 3};
            DrawEdge(dc, &grip, BDR_RAISEDINNER, BF_RECT);
            SetPixelV(dc, grip.left, grip.bottom - 1, GetSysColor(COLOR_BTNHIGHLIGHT));
        }
    }
    if (FCloseButtonWhenDocked && handle > 0) {
        RECT close = DockedCloseButtonBounds(leftRight);
        if (CloseButtonPressed)
            DrawEdge(dc, &close, BDR_SUNKENOUTER, BF_RECT);
        else if (CloseButtonHot)
            DrawEdge(dc, &close, BDR_RAISEDINNER, BF_RECT);
        static const uint8_t cross[8] = {0x00, 0xC6, 0x6C, 0x38, 0x38, 0x6C, 0xC6, 0x00};
        int x = close.left + (close.right - close.left - 8) / 2 + (CloseButtonPressed ? 1 : 0);
        int y = close.top + (close.bottom - close.top - 8) / 2 + (CloseButtonPressed ? 1 : 0);
        DrawMonochromeGlyph(dc, x, y, 8, 8, cross, GetSysColor(COLOR_BTNTEXT));
    }
}
