#include "toolbar/TBPopup.h"

#include <mmsystem.h>

#include <algorithm>
#include <memory>

#include "platform/Forms.h"
#include "platform/ScopeGuards.h"
#include "platform/SysUtils.h"
#include "toolbar/TBAcc.h"
#include "toolbar/TBCommon.h"
#include "toolbar/TBExtItems.h"
#include "toolbar/TBFramework.h"
#include "toolbar/TBHintWindow.h"
#include "toolbar/TBModalHandler.h"

SF_IMPLEMENT_ABSTRACT(TTBPopupView, TTBView)
SF_IMPLEMENT_ABSTRACT(TTBPopupWindow, TCustomControl)
SF_IMPLEMENT_COMPONENT(TTBPopupMenu, TPopupMenu)

namespace {

constexpr int ScrollArrowStrip = 19;
// Plays asynchronously, only a sound the scheme names, without cutting one that plays.
constexpr DWORD MenuSoundFlags = SND_ALIAS | SND_ASYNC | SND_NODEFAULT | SND_NOSTOP;

bool FirstPopupShown = false;

bool Overlaps(const RECT& a, const RECT& b)
{
    RECT overlap{};
    return IntersectRect(&overlap, &a, &b) != FALSE;
}

// How many shown viewers of the parent view a popup at this place would hide entirely.
int CoveredViewers(TTBView* parentView, const RECT& popup)
{
    if (!parentView)
        return 0;
    int count = 0;
    for (int i = 0; i < parentView->GetViewerCount(); ++i) {
        TTBItemViewer* viewer = parentView->GetViewer(i);
        if (!viewer->GetShown())
            continue;
        RECT r = viewer->ScreenBounds();
        if (r.left >= popup.left && r.top >= popup.top && r.right <= popup.right && r.bottom <= popup.bottom)
            ++count;
    }
    return count;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// TTBPopupView

void TTBPopupView::AutoSize(int width, int height)
{
    auto* window = dynamic_cast<TTBPopupWindow*>(GetWindow());
    if (!window)
        return;
    SIZE frame{3, 3};
    window->QueryFrameSize(frame);
    window->SetBounds(window->GetLeft(), window->GetTop(), width + frame.cx * 2, height + frame.cy * 2);
}

TFont* TTBPopupView::ResolveFont()
{
    return GetWindow() ? GetWindow()->GetFont() : TTBView::ResolveFont();
}

// ---------------------------------------------------------------------------------------------
// TTBPopupWindow

TTBPopupWindow::TTBPopupWindow(TComponent* owner, TTBView* parentView, TTBCustomItem* item, bool customizing)
    : TCustomControl(owner), FParentView(parentView), FItem(item), FCustomizing(customizing)
{
    FVisible = false;
    SetControlStyle(GetControlStyle() & ~csCaptureMouse);
    SetShowHint(true);
    SetColor(clMenu);
}

void TTBPopupWindow::AfterConstruction()
{
    TCustomControl::AfterConstruction();
    FView = static_cast<TTBPopupView*>(
        QueryViewClass()->Create(this, FParentView, FItem, this, false, FCustomizing, false));
    FView->IncludeState(stModal);
    if (TFont* font = FParentView ? FParentView->ResolveFont() : TBMenuFont())
        SetFont(font);
    if (!FParentView) {
        FView->SetStyle(FView->GetStyle() | syHiddenAccels);
    } else {
        FView->SetStyle((FView->GetStyle() & ~syHiddenAccels) | (FParentView->GetStyle() & syHiddenAccels));
        if (FParentView->InState(stShowAccels))
            FView->IncludeState(stShowAccels);
    }
    SetParentWindow(Application && Application->GetHandle() ? Application->GetHandle() : GetDesktopWindow());
}

void TTBPopupWindow::BeforeDestruction()
{
    if (FView)
        FView->HideChildPopups();
    if (HandleAllocated())
        DestroyHandle();
    FreeAndNil(FView);
    TCustomControl::BeforeDestruction();
}

TTBViewClass TTBPopupWindow::QueryViewClass()
{
    return ViewClassOf<TTBPopupView>();
}

void TTBPopupWindow::QueryFrameSize(SIZE& size)
{
    size = SIZE{3, 3};
}

void TTBPopupWindow::CreateParams(TCreateParams& params)
{
    TCustomControl::CreateParams(params);
    params.Style = (params.Style & ~(WS_CHILD | WS_GROUP | WS_TABSTOP)) | WS_POPUP;
    params.ExStyle |= WS_EX_TOPMOST | WS_EX_TOOLWINDOW;
    params.WindowClass.style |= CS_SAVEBITS;
    if (RunningOnXP())
        params.WindowClass.style |= CS_DROPSHADOW;
}

void TTBPopupWindow::CreateWnd()
{
    TCustomControl::CreateWnd();
    if (FView->GetParentView() || FAccelsInitialised)
        return;
    FAccelsInitialised = true;
    HWND wnd = GetHandle();
    SendMessageA(wnd, WM_CHANGEUISTATE, MAKEWPARAM(UIS_INITIALIZE, 0), 0);
    if (!(SendMessageA(wnd, WM_QUERYUISTATE, 0, 0) & UISF_HIDEACCEL))
        FView->ToggleAccelerators(true);
}

void TTBPopupWindow::DestroyWindowHandle()
{
    EndAnimation(GetWindowHandle());
    if (FView)
        FView->DisarmAllTimers();
    NotifyEvent(EVENT_SYSTEM_MENUPOPUPEND, GetWindowHandle(), OBJID_CLIENT, CHILDID_SELF);
    TCustomControl::DestroyWindowHandle();
}

void TTBPopupWindow::Paint()
{
    FView->PaintViewers(GetCanvas());
    DrawScrollArrows();
}

void TTBPopupWindow::DrawScrollArrows()
{
    HDC dc = GetCanvas()->GetHandle();
    int width = GetClientWidth(), height = GetClientHeight();
    COLORREF colour = GetSysColor(COLOR_MENUTEXT);
    TGdiObject<HPEN> pen(CreatePen(PS_SOLID, 1, colour));
    TGdiObject<HBRUSH> brush(CreateSolidBrush(colour));
    TSavedDC saved(dc);
    SelectObject(dc, pen.Get());
    SelectObject(dc, brush.Get());
    int x = (width - 7) / 2;
    if (FView->GetUpArrowShown()) {
        int y = (ScrollArrowStrip - 4) / 2;
        POINT up[3] = {{x + 3, y}, {x, y + 3}, {x + 6, y + 3}};
        Polygon(dc, up, 3);
    }
    if (FView->GetDownArrowShown()) {
        int y = height - ScrollArrowStrip + (ScrollArrowStrip - 4) / 2;
        POINT down[3] = {{x, y}, {x + 6, y}, {x + 3, y + 3}};
        Polygon(dc, down, 3);
    }
}

void TTBPopupWindow::PaintFrame(HDC dc)
{
    RECT r{};
    GetWindowRect(GetWindowHandle(), &r);
    OffsetRect(&r, -r.left, -r.top);
    if (FlatMenusOn()) {
        FrameRect(dc, &r, GetSysColorBrush(COLOR_BTNSHADOW));
        TGdiObject<HBRUSH> face(CreateSolidBrush(static_cast<COLORREF>(ColorToRGB(GetColor()))));
        for (int i = 0; i < 2; ++i) {
            InflateRect(&r, -1, -1);
            FrameRect(dc, &r, face.Get());
        }
        return;
    }
    DrawEdge(dc, &r, EDGE_RAISED, BF_RECT | BF_ADJUST);
    FrameRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
}

void TTBPopupWindow::ShowingChanged()
{
    HWND wnd = GetWindowHandle();
    if (!wnd)
        return;
    const bool show = GetShowing();
    // Switching between the menus of one menu bar is instant.
    const bool switching = FParentView && FParentView->InState(stChildPopupClosed);
    if (show && !switching && !FView->GetSelected() && !IsWindowVisible(wnd) && SystemSettingOn(SPI_GETMENUANIMATION)) {
        const bool fade = SystemSettingOn(SPI_GETMENUFADE);
        if ((fade || FAnimationDirection != 0) && SendMessageA(wnd, TBM_POPUPSTATE, 1, 0) == 0) {
            StartAnimation(wnd, fade, FAnimationDirection);
            return;
        }
    }
    if (!show)
        EndAnimation(wnd);
    SetWindowPos(wnd, nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | (show ? SWP_SHOWWINDOW : SWP_HIDEWINDOW));
    if (show)
        SendNotifyMessageA(wnd, TBM_POPUPSTATE, 3, 0);
}

void TTBPopupWindow::HintShow(THintInfo& info)
{
    TTBItemViewer* selected = FView->GetSelected();
    // A viewer laid out nowhere (scrolled out of a long menu) has no place for a hint.
    if (!selected || IsRectEmpty(&selected->GetBoundsRect())) {
        info.HintStr.clear();
        return;
    }
    // The hint window decodes the text, which may hold characters of any language.
    info.HintStr = WideToAnsi(selected->ComposeHint(), CP_UTF8);
    info.CursorRect = selected->GetBoundsRect();
    info.HintWindowClass = TTBHintWindow::StaticClass();
}

void TTBPopupWindow::Dispatch(TMessage& m)
{
    switch (m.Msg) {
    case WM_NCCALCSIZE: {
        SIZE frame{3, 3};
        QueryFrameSize(frame);
        RECT* r = m.WParam ? &reinterpret_cast<NCCALCSIZE_PARAMS*>(m.LParam)->rgrc[0]
                           : reinterpret_cast<RECT*>(m.LParam);
        InflateRect(r, -frame.cx, -frame.cy);
        m.Result = 0;
        return;
    }
    case WM_NCPAINT: {
        HWND wnd = GetWindowHandle();
        TWindowDC dc(wnd, true);
        ClipToNCUpdate(wnd, dc.Get(), reinterpret_cast<HRGN>(m.WParam));
        PaintFrame(dc.Get());
        m.Result = 0;
        return;
    }
    case WM_PRINT:
        AnswerPrintMessage(GetWindowHandle(), m, [this](HWND, HDC dc) { PaintFrame(dc); });
        return;
    case WM_PRINTCLIENT:
        PrintClientArea(this, m);
        return;
    case WM_CLOSE:
        m.Result = 0;
        return;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
        if (!RelayEditItemColor(m))
            TCustomControl::Dispatch(m);
        return;
    case WM_GETOBJECT:
        if (!FView || !FView->HandleWMGetObject(m))
            TCustomControl::Dispatch(m);
        return;
    case CM_SHOWINGCHANGED:
        ShowingChanged();
        return;
    case CM_HINTSHOW:
        HintShow(*reinterpret_cast<THintInfo*>(m.LParam));
        m.Result = 0;
        return;
    case TBM_ANIMATIONSTEP:
        AnimationStep(m);
        return;
    case TBM_ANIMATIONENDED:
        SendNotifyMessageA(GetWindowHandle(), TBM_POPUPSTATE, 2, 0);
        return;
    case WM_ERASEBKGND:
    case WM_PAINT:
        // Drawing over a running animation would show the menu twice.
        EndAnimation(GetWindowHandle());
        TCustomControl::Dispatch(m);
        return;
    default:
        TCustomControl::Dispatch(m);
    }
}

// ---------------------------------------------------------------------------------------------
// Opening and placing popups (the item's side)

TTBPopupWindowClass TTBCustomItem::QueryPopupWindowClass()
{
    return PopupWindowClassOf<TTBPopupWindow>();
}

TTBPopupWindow* TTBCustomItem::OpenPopupWindow(TTBView* parentView, TTBItemViewer* parentViewer, bool asSubmenu,
                                               bool selectFirstItem, bool customizing, POINT popupPoint,
                                               TPopupAlignment alignment)
{
    TTBCustomItem* linked = GetLinkedItem();
    if (linked != this)
        linked->RaisePopupEvent(this, true);
    RaisePopupEvent(this, false);
    // A chevron's popup shows the items its toolbar hides.
    TTBView* chevronParent = FindChevronParentView();
    TTBCustomItem* shown = chevronParent ? chevronParent->GetParentItem() : this;
    std::unique_ptr<TTBPopupWindow, TObjectFree> window(
        QueryPopupWindowClass()->Create(nullptr, parentView, shown, customizing));
    TTBPopupView* view = window->GetView();
    TTBPopupPlacement placement;
    placement.AsSubmenu = asSubmenu;
    placement.Alignment = alignment;
    placement.FlipSide = parentView && parentView->InState(stShiftedPopup);
    if (chevronParent) {
        view->SetChevronParentView(chevronParent);
        view->SetIsToolbar(true);
        view->SetStyle((view->GetStyle() & ~syAlwaysShowHints) | (chevronParent->GetStyle() & syAlwaysShowHints));
        window->SetColor(clBtnFace);
    }
    if (parentView) {
        parentView->EnsureLayout();
        placement.OpenerRect = parentViewer->ScreenBounds();
        placement.MonitorArea = !IsRectEmpty(&parentView->GetMonitorArea())
                                    ? parentView->GetMonitorArea()
                                    : MonitorRectOfRect(placement.OpenerRect, false);
    } else {
        placement.OpenerRect = RECT{popupPoint.x, popupPoint.y, popupPoint.x, popupPoint.y};
        placement.MonitorArea = MonitorRectOfPoint(popupPoint, false);
    }
    view->SetMonitorArea(placement.MonitorArea);
    SIZE frame{3, 3};
    window->QueryFrameSize(frame);
    placement.BorderX = frame.cx;
    placement.BorderY = frame.cy;
    const RECT& m = placement.MonitorArea;
    if (chevronParent)
        view->SetWrapLength((m.right - m.left) - frame.cx * 2);
    else
        view->SetMaxHeight((m.bottom - m.top) - frame.cy * 2);
    // The layout decides what is shown, so the first selection is chosen after it.
    POINT size{};
    view->RefreshLayout(size);
    if (selectFirstItem)
        view->Select(view->InitialSelectable(), false);
    placement.W = window->GetWidth();
    placement.H = window->GetHeight();
    const RECT& p = placement.OpenerRect;
    if (parentView) {
        bool verticalParent = (chevronParent ? chevronParent : parentView)->GetOrientation() == TTBViewAxis::vaVertical;
        if (asSubmenu) {
            placement.X = p.right - placement.BorderX;
            placement.Y = p.top - placement.BorderY;
        } else if (!verticalParent) {
            placement.Y = p.bottom;
            bool rightAligned = GetSystemMetrics(SM_MENUDROPALIGNMENT) != 0 || chevronParent;
            placement.X = rightAligned ? p.right - placement.W : p.left;
        } else {
            placement.X = p.left - placement.W;
            placement.Y = p.top;
        }
    } else {
        placement.X = popupPoint.x;
        placement.Y = popupPoint.y;
        if (alignment == paRight)
            placement.X -= placement.W;
        else if (alignment == paCenter)
            placement.X -= placement.W / 2;
    }
    PlacePopup(parentView, window.get(), placement);
    window->SetBounds(placement.X, placement.Y, placement.W, placement.H);
    window->SetAnimationDirection(placement.SlideDirections);
    TTBPopupWindow* result = window.get();
    if (parentView) {
        // From here the parent view owns the window.
        parentView->SetOpenedPopup(parentViewer, view, window.release());
        if (parentView->GetIsToolbar()) {
            parentView->IncludeState(stDropDownMenus);
            parentViewer->Invalidate();
            TWinControl* parentWindow = parentView->GetWindow();
            if (parentWindow && parentWindow->HandleAllocated())
                UpdateWindow(parentWindow->GetHandle());
        }
    }
    view->IncludeState(stPaintInOrder);
    if (placement.WithSound && IsSoundInScheme("MenuPopup")) {
        // The very first popup appears before its sound, which may take a moment to load.
        if (!FirstPopupShown) {
            result->Show();
            result->Update();
            PlaySoundA("MenuPopup", nullptr, MenuSoundFlags);
        } else {
            PlaySoundA("MenuPopup", nullptr, MenuSoundFlags);
            result->Show();
        }
    } else {
        result->Show();
    }
    FirstPopupShown = true;
    NotifyEvent(EVENT_SYSTEM_MENUPOPUPSTART, result->GetHandle(), OBJID_CLIENT, CHILDID_SELF);
    // A first item selected from the keyboard was chosen while the window was hidden, when a
    // screen reader could not be told; it hears of it now.
    if (view->GetSelected())
        view->SignalFocus();
    if (!parentView)
        return window.release();
    return result;
}

void TTBCustomItem::PlacePopup(TTBView* parentView, TTBPopupWindow* popupWindow, TTBPopupPlacement& pos)
{
    const RECT& m = pos.MonitorArea;
    const RECT& p = pos.OpenerRect;
    const bool verticalParent = parentView && parentView->GetOrientation() == TTBViewAxis::vaVertical;
    auto popupRect = [&](int x, int y) { return RECT{x, y, x + pos.W, y + pos.H}; };

    // Up when it would leave the monitor at the bottom.
    if (pos.Y + pos.H > m.bottom && !verticalParent) {
        int y = pos.AsSubmenu ? p.bottom + pos.BorderY - pos.H : p.top - pos.H;
        if (y >= m.top)
            pos.Y = y;
    }
    if (pos.Y + pos.H > m.bottom)
        pos.Y = m.bottom - pos.H;
    if (pos.Y < m.top)
        pos.Y = m.top;

    if (pos.AsSubmenu) {
        // The left side when asked (the parent opened there) or when the right one does not fit;
        // a left side that does not fit either sends it back to the right once.
        for (int attempt = 0; attempt < 2; ++attempt) {
            if (!pos.FlipSide && pos.X + pos.W <= m.right)
                break;
            int x = parentView ? p.left + pos.BorderX - pos.W : pos.X - pos.W;
            if (pos.FlipSide && x < m.left) {
                pos.FlipSide = false;
                continue;
            }
            if (popupWindow)
                popupWindow->GetView()->IncludeState(stShiftedPopup);
            pos.X = x;
            break;
        }
        pos.X = std::max(pos.X, static_cast<int>(m.left));
    } else {
        if (!parentView && pos.Alignment == paRight && pos.X < m.left)
            pos.X += pos.W;
        if (pos.X + pos.W > m.right)
            pos.X = parentView || pos.Alignment != paLeft ? m.right - pos.W : pos.X - pos.W;
        pos.X = std::max(pos.X, static_cast<int>(m.left));
        if (verticalParent) {
            int x = p.right;
            if (x + pos.W <= m.right &&
                (CoveredViewers(parentView, popupRect(x, pos.Y)) < CoveredViewers(parentView, popupRect(pos.X, pos.Y)) ||
                 Overlaps(popupRect(pos.X, pos.Y), p)))
                pos.X = x;
            if (Overlaps(popupRect(pos.X, pos.Y), p))
                pos.Y = p.bottom + pos.H <= m.bottom ? p.bottom : std::max(p.top - pos.H, m.top);
        } else {
            int y = p.top - pos.H;
            if (y >= m.top &&
                (CoveredViewers(parentView, popupRect(pos.X, y)) < CoveredViewers(parentView, popupRect(pos.X, pos.Y)) ||
                 Overlaps(popupRect(pos.X, pos.Y), p)))
                pos.Y = y;
            if (Overlaps(popupRect(pos.X, pos.Y), p))
                pos.X = p.right + pos.W <= m.right ? p.right : std::max(p.left - pos.W, m.left);
        }
    }

    pos.SlideDirections = 0;
    if (pos.AsSubmenu) {
        pos.SlideDirections = pos.X + pos.W / 2 < (p.left + p.right) / 2 ? tbsdLeft : tbsdRight;
        return;
    }
    if (pos.Y + pos.H <= p.top)
        pos.SlideDirections |= tbsdUp;
    else if (pos.Y >= p.bottom)
        pos.SlideDirections |= tbsdDown;
    if (pos.X + pos.W <= p.left)
        pos.SlideDirections |= tbsdLeft;
    else if (pos.X >= p.right)
        pos.SlideDirections |= tbsdRight;
}

// ---------------------------------------------------------------------------------------------
// A popup menu at a point

TTBCustomItem* RunPopupMenu(TObject* sender, const std::function<TTBPopupWindow*()>& open, bool trackRightButton,
                            bool returnClickedItemOnly)
{
    TTBDoneActionData done;
    try {
        std::unique_ptr<TTBModalHandler, TObjectFree> handler(New<TTBModalHandler>(nullptr));
        std::unique_ptr<TTBPopupWindow, TObjectFree> popup(open());
        TTBPopupView* view = popup->GetView();
        // The release of the button that opened the menu does not close it.
        view->IncludeState(stKeepOnMouseUp);
        handler->SetRootPopup(popup.get());
        TScopeExit detach([&handler] { handler->SetRootPopup(nullptr); });
        handler->Loop(view, false, trackRightButton, false, false);
        view->ExcludeState(stModal);
        done = view->GetDoneActionData();
    } catch (...) {
        // The menu is closed by now: the application's handler shows the error on its own.
        HandleCallbackException(sender);
        return nullptr;
    }
    return TTBModalHandler::ApplyDoneAction(done, returnClickedItemOnly);
}

TTBCustomItem* TTBCustomItem::Popup(int x, int y, bool trackRightButton, TPopupAlignment alignment,
                                    bool returnClickedItemOnly)
{
    return RunPopupMenu(
        this, [&] { return OpenPopupWindow(nullptr, nullptr, false, false, false, POINT{x, y}, alignment); },
        trackRightButton, returnClickedItemOnly);
}

// ---------------------------------------------------------------------------------------------
// TTBPopupMenu

TTBPopupMenu::TTBPopupMenu(TComponent* owner) : TPopupMenu(owner) {}

void TTBPopupMenu::AfterConstruction()
{
    TPopupMenu::AfterConstruction();
    FRootItem.reset(QueryRootItemClass()->Create(nullptr));
    FRootItem->SetParentComponentOfItems(this);
    FRootItem->OnClick = TNotifyEvent(this, &TTBPopupMenu::RootItemClick);
}

void TTBPopupMenu::BeforeDestruction()
{
    FRootItem.reset();
    TPopupMenu::BeforeDestruction();
}

const TTBClassRef<TTBRootItem, TComponent*>* TTBPopupMenu::QueryRootItemClass()
{
    return TBClassRefOf<TTBRootItem, TTBRootItem, TComponent*>();
}

void TTBPopupMenu::RootItemClick(TObject* sender)
{
    if (sender == FRootItem.get())
        DoPopup();
}

void TTBPopupMenu::Popup(int x, int y)
{
    PopupAtControl(x, y, false);
}

TTBCustomItem* TTBPopupMenu::PopupAtControl(int x, int y, bool returnClickedItemOnly)
{
    SetPopupPoint(POINT{x, y});
    return FRootItem->Popup(x, y, GetTrackButton() == tbRightButton, GetAlignment(), returnClickedItemOnly);
}

bool TTBPopupMenu::IsShortCut(const TMessage& keyMessage)
{
    return FRootItem->IsShortCut(keyMessage);
}

void TTBPopupMenu::GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root)
{
    FRootItem->GetChildren(proc, root);
}
