#include "skin/SkinToolbar.h"


#include "platform/ScopeGuards.h"
#include "skin/Skin.h"
#include "skin/SkinDock.h"
#include "skin/SkinItems.h"
#include "skin/SkinPopup.h"
#include "toolbar/TBCommon.h"

SF_IMPLEMENT_COMPONENT(TSkinChevronItem, TTBChevronItem)
SF_IMPLEMENT_ABSTRACT(TSkinChevronItemViewer, TTBItemViewer)
SF_IMPLEMENT_ABSTRACT(TSkinToolbarView, TTBToolbarView)
SF_IMPLEMENT_COMPONENT(TSkinToolbar, TTBCustomToolbar)

// ---------------------------------------------------------------------------------------------
// Chevron

TTBItemViewerClass TSkinChevronItem::QueryViewerClass(TTBView*)
{
    return ViewerClassOf<TSkinChevronItemViewer>();
}

TTBPopupWindowClass TSkinChevronItem::QueryPopupWindowClass()
{
    return PopupWindowClassOf<TSkinChevronPopupWindow>();
}

void TSkinChevronItem::PlacePopup(TTBView* parentView, TTBPopupWindow* popupWindow, TTBPopupPlacement& placement)
{
    PlaceSharingEdge(this, parentView, popupWindow, placement, false);
}

void TSkinChevronItemViewer::Paint(TCanvas* canvas, const RECT& clientAreaRect, bool isSelected, bool isPushed, bool)
{
    TSkinTheme* theme = CurrentTheme();
    if (!theme)
        return;
    TSkinItemDrawInfo info;
    info.ViewKind = GetViewTypeOfItemOwner(FView);
    info.ItemFlags = ifToolbarStyle;
    if (FItem->HasState(csDesigning))
        info.ItemFlags |= ifShowFrame;
    info.Enabled = FItem->GetEnabled() || FView->GetCustomizing();
    info.Pushed = isPushed;
    info.PopupOpen = isPushed;
    info.HotState = ItemHotState(FView, info.Enabled, isSelected);
    info.Vertical = FView->GetOrientation() == TTBViewAxis::vaVertical;
    theme->DrawChevronGlyph(canvas->GetHandle(), clientAreaRect, info);
}

// ---------------------------------------------------------------------------------------------
// View

void TSkinToolbarView::QueryMargins(TTBViewAxis orientation, RECT& margins)
{
    TSkinTheme* theme = CurrentTheme();
    if (!theme) {
        TTBToolbarView::QueryMargins(orientation, margins);
        return;
    }
    uint32_t viewType = GetViewTypeOfItemOwner(this);
    const uint32_t family = ViewFamilyOf(viewType);
    if (orientation == TTBViewAxis::vaFloating && (family == ViewFamilyOf(vtToolbar) || family == ViewFamilyOf(vtDockPanel)))
        viewType |= vtFloating;
    // Themes list a view's margins as left, right, top, bottom.
    const TSkinMargins m = theme->QueryViewMargins(viewType);
    margins = RECT{m.Left, m.Right, m.Top, m.Bottom};
}

// ---------------------------------------------------------------------------------------------
// Toolbar: state and colour

TSkinToolbar::TSkinToolbar(TComponent* owner) : TTBCustomToolbar(owner)
{
    AddThemeListener(this);
    FControlStyle &= ~csOpaque;
    SetClassDefaults({.DblClickUndock = false});
}

void TSkinToolbar::AfterConstruction()
{
    TTBCustomToolbar::AfterConstruction();
    SetParentBackground(false);
    SetParentColor(false);
    UpdateThemeColor();
}

void TSkinToolbar::BeforeDestruction()
{
    RemoveThemeListener(this);
    TTBCustomToolbar::BeforeDestruction();
}

TClass TSkinToolbar::QueryChevronItemClass()
{
    return TSkinChevronItem::StaticClass();
}

TTBViewClass TSkinToolbar::QueryViewClass()
{
    return ViewClassOf<TSkinToolbarView>();
}

TClass TSkinToolbar::QueryFloatingParentClass()
{
    return TSkinFloatingWindowParent::StaticClass();
}

uint32_t TSkinToolbar::GetViewType() const
{
    uint32_t type = GetMenuBar() ? vtMenuBar : vtToolbar;
    if (GetFloating())
        type |= vtFloating;
    if (GetResizable())
        type |= vtResizable;
    if (FItemTransparency == itDisable || (FItemTransparency == itAuto && !GetDocked() && !GetFloating()))
        type |= vtFramed;
    return type;
}

void TSkinToolbar::SetItemTransparency(TSkinItemTransparency value)
{
    if (FItemTransparency == value)
        return;
    FItemTransparency = value;
    Invalidate();
}

void TSkinToolbar::SetSnapDistance(int value)
{
    FSnapDistance = value < 0 ? 0 : value;
    if (auto* floating = dynamic_cast<TSkinFloatingWindowParent*>(GetParent()))
        floating->SetSnapDistance(FSnapDistance);
}

void TSkinToolbar::SetParent(TWinControl* parent)
{
    TTBCustomToolbar::SetParent(parent);
    if (auto* floating = dynamic_cast<TSkinFloatingWindowParent*>(GetParent()))
        floating->SetSnapDistance(FSnapDistance);
}

void TSkinToolbar::SetUseThemeColor(bool value)
{
    if (FUseThemeColor == value)
        return;
    FUseThemeColor = value;
    if (!value)
        return;
    SetParentColor(false);
    UpdateThemeColor();
}

void TSkinToolbar::UpdateThemeColor()
{
    TSkinTheme* theme = CurrentTheme();
    if (!FUseThemeColor || !theme)
        return;
    const TColor color = theme->QueryViewColor(GetViewType());
    if (color == GetColor())
        return;
    TFlagScope own(FSettingColor);
    SetColor(color);
}

void TSkinToolbar::NewTheme(WPARAM change)
{
    switch (change) {
    case scColors:
        if (!FThemeUpdating) {
            FThemeUpdating = true;
            BeginUpdate();
        }
        return;
    case scThemeDone:
        // A toolbar made between the first and the last message has nothing to end.
        if (FThemeUpdating) {
            FThemeUpdating = false;
            EndUpdate();
        }
        UpdateThemeColor();
        if (GetFloating() && GetFloatForm())
            RecalcFrame(GetFloatForm());
        else if (GetDocked() && HandleAllocated())
            SetWindowPos(GetHandle(), nullptr, 0, 0, 0, 0,
                         SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
        Invalidate();
        Arrange();
        return;
    case scActivated:
    case scDeactivated:
        if (GetMenuBar())
            Invalidate();
        return;
    default:
        return;
    }
}

// ---------------------------------------------------------------------------------------------
// Toolbar: painting

bool TSkinToolbar::OnDockBackground() const
{
    TTBDock* dock = GetDocked() ? GetCurrentDock() : nullptr;
    return dock && dock->GetBackgroundOnToolbars() && dock->HasBackgroundImage();
}

bool TSkinToolbar::DockResizing() const
{
    auto* dock = dynamic_cast<TSkinDock*>(GetDocked() ? GetCurrentDock() : nullptr);
    return dock && dock->GetHandlingSize();
}

void TSkinToolbar::EraseBackground(HDC dc)
{
    TSkinTheme* theme = CurrentTheme();
    const RECT client = GetClientRect();
    const bool opaqueToolbars = theme->QueryBooleanMetric(bmOpaqueToolbars);
    TColor color = FUseThemeColor ? clViewColor : GetColor();
    bool transparent = !opaqueToolbars;
    if (GetDocked() && (OnDockBackground() || (FUseThemeColor && !opaqueToolbars))) {
        transparent = true;
        color = clNone;
    }
    if (transparent)
        PaintParentBackdrop(this, dc, client);
    RECT dockRect{};
    TTBDock* dock = GetDocked() ? GetCurrentDock() : nullptr;
    if (dock && dock->HandleAllocated() && HandleAllocated()) {
        dockRect = dock->GetClientRect();
        MapWindowPoints(dock->GetHandle(), GetHandle(), reinterpret_cast<POINT*>(&dockRect), 2);
    }
    theme->FillViewBackground(dc, dockRect, client, client, color, GetViewType());
}

void TSkinToolbar::FillToolbarRecord(TSkinToolbarInfo& info)
{
    info = TSkinToolbarInfo{};
    info.Window = HandleAllocated() ? GetHandle() : nullptr;
    info.ViewType = GetViewType();
    TTBDock* dock = GetDocked() ? GetCurrentDock() : nullptr;
    info.Vertical = dock && dock->IsLeftRight();
    info.DragHandle = dock && dock->GetAllowDrag();
    info.BorderStyle = static_cast<uint8_t>(GetBorderStyle());
    switch (GetDragHandleStyle()) {
    case dhDouble:
        info.DragHandleStyle = dhsDoubleBar;
        break;
    case dhNone:
        info.DragHandleStyle = dhsNone;
        break;
    case dhSingle:
        info.DragHandleStyle = dhsSingleBar;
        break;
    }
    info.ClientWidth = GetClientWidth();
    info.ClientHeight = GetClientHeight();
    if (info.DragHandle && GetCloseButtonWhenDocked()) {
        info.CloseButtonState = cbShown;
        if (CloseButtonPressed)
            info.CloseButtonState |= cbPushed;
        else if (CloseButtonHot)
            info.CloseButtonState |= cbHot;
    }
    if (TSkinTheme* theme = CurrentTheme())
        info.BorderSize = theme->QueryViewBorder(info.ViewType);
    info.Color = FUseThemeColor ? clViewColor : GetColor();
}

void TSkinToolbar::DrawNCArea(bool useGivenDC, HDC dc, HRGN clipRegion)
{
    TSkinTheme* theme = CurrentTheme();
    if (!GetDocked() || !HandleAllocated() || !theme)
        return;
    TFrameDC frame(GetHandle(), useGivenDC, dc, clipRegion);
    dc = frame.Get();
    if (!dc)
        return;
    const RECT& window = frame.GetWindow();
    const RECT& client = frame.GetClient();
    TSkinToolbarInfo info;
    FillToolbarRecord(info);
    bool transparent = !theme->QueryBooleanMetric(bmOpaqueToolbarFrame);
    if (OnDockBackground() || (FUseThemeColor && !theme->QueryBooleanMetric(bmOpaqueToolbars))) {
        transparent = true;
        info.Color = clNone;
    }
    if (transparent) {
        // The backdrop is painted in client coordinates, which start inside the frame.
        TSavedDC shifted(dc);
        OffsetWindowOrgEx(dc, -client.left, -client.top, nullptr);
        RECT r = window;
        OffsetRect(&r, -client.left, -client.top);
        PaintParentBackdrop(this, dc, r);
    }
    theme->DrawToolbarFrame(dc, window, info);
}

void TSkinToolbar::RepaintBackgroundOnly()
{
    if (!HandleAllocated())
        return;
    TTBView* view = GetView();
    for (int i = 0; i < view->GetViewerCount(); ++i)
        view->Invalidate(view->GetViewer(i));
    Update();
    RedrawWindow(GetHandle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME);
    for (int i = 0; i < view->GetViewerCount(); ++i) {
        TTBItemViewer* viewer = view->GetViewer(i);
        if (viewer->GetShown() && !Is<TTBControlItem>(viewer->GetItem()))
            ValidateRect(GetHandle(), &viewer->GetBoundsRect());
    }
}

// ---------------------------------------------------------------------------------------------
// Toolbar: messages

SIZE TSkinToolbar::QueryFloatingBorder()
{
    if (TSkinTheme* theme = CurrentTheme())
        return theme->QueryViewBorder(GetViewType() | vtFloating);
    return TTBCustomToolbar::QueryFloatingBorder();
}

void TSkinToolbar::Dispatch(TMessage& m)
{
    switch (m.Msg) {
    case TBM_QUERYVIEWTYPE:
        m.Result = LRESULT(GetViewType());
        return;
    case TBM_NEWTHEME:
        NewTheme(m.WParam);
        return;
    case CM_COLORCHANGED:
        TTBCustomToolbar::Dispatch(m);
        if (!FSettingColor)
            FUseThemeColor = false;
        if (GetDocked() && HandleAllocated())
            RedrawWindow(GetHandle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
        return;
    case WM_ERASEBKGND:
        if (!CurrentTheme())
            break;
        EraseBackground(reinterpret_cast<HDC>(m.WParam));
        m.Result = 1;
        return;
    case WM_SIZE:
        TTBCustomToolbar::Dispatch(m);
        if (Is<TSkinDock>(GetCurrentDock()) && OnDockBackground() && !DockResizing())
            RepaintBackgroundOnly();
        return;
    default:
        break;
    }
    TTBCustomToolbar::Dispatch(m);
}
