#include "skin/SkinPopup.h"

#include <algorithm>

#include "platform/ScopeGuards.h"
#include "skin/Skin.h"
#include "skin/SkinExtItems.h"
#include "skin/SkinItems.h"
#include "skin/SkinLists.h"
#include "toolbar/TBCommon.h"

SF_IMPLEMENT_ABSTRACT(TSkinPopupView, TTBPopupView)
SF_IMPLEMENT_ABSTRACT(TSkinPopupWindow, TTBPopupWindow)
SF_IMPLEMENT_ABSTRACT(TSkinChevronPopupWindow, TSkinPopupWindow)
SF_IMPLEMENT_COMPONENT(TSkinRootItem, TTBRootItem)
SF_IMPLEMENT_COMPONENT(TSkinPopupMenu, TTBPopupMenu)

namespace {

constexpr uint8_t ShadowOpacity = 61;
constexpr int ShadowSize = 4;

} // namespace

void TSkinPopupWindow::BeforeDestruction()
{
    FreeShadows();
    TTBPopupWindow::BeforeDestruction();
}

TTBViewClass TSkinPopupWindow::QueryViewClass()
{
    return ViewClassOf<TSkinPopupView>();
}

void TSkinPopupView::HandleKeyPress(WORD& key, TShiftState shift)
{
    // F4 closes a field's drop-down from inside it, as it opened it.
    if (key == VK_F4 && GetParentView())
        if (auto* dropDown = dynamic_cast<TSkinDropDownItemViewer*>(GetParentView()->GetOpenedViewer())) {
            key = 0;
            dropDown->ToggleDropDown();
            return;
        }
    TTBPopupView::HandleKeyPress(key, shift);
}

uint32_t TSkinPopupWindow::GetViewType()
{
    TTBPopupView* view = GetView();
    if (Is<TSkinChevronPopupWindow>(this) || (view && view->GetChevronParentView()))
        return vtChevronPopup;
    TTBCustomItem* item = view ? view->GetParentItem() : nullptr;
    if (!item)
        return vtPopup;
    if (item->Count() == 1 && Is<TSkinCustomList>(item->GetItem(0)))
        return vtListPopup;
    auto* themed = dynamic_cast<TSkinCustomItem*>(item);
    if ((themed && themed->GetToolBoxPopup()) || Is<TSkinEditItem>(item))
        return vtEditPopup;
    return vtPopup;
}

bool TSkinPopupWindow::ShadowAllowed()
{
    return ViewKindOf(GetViewType()) != vtListPopup;
}

void TSkinPopupWindow::QueryFrameSize(SIZE& size)
{
    size = CurrentTheme()->QueryViewBorder(GetViewType());
}

void TSkinPopupWindow::CreateParams(TCreateParams& params)
{
    TTBPopupWindow::CreateParams(params);
    params.WindowClass.style &= ~(CS_DROPSHADOW | CS_DBLCLKS);
    if (ShadowAllowed() && CurrentTheme()->QueryPopupShadowStyle() == 1 && RunningOnXP()) {
        params.WindowClass.style |= CS_DROPSHADOW;
        params.WinClassName += "S";
    }
}

RECT TSkinPopupWindow::OpenerRect()
{
    RECT screen{};
    TTBView* parentView = GetView() ? GetView()->GetParentView() : nullptr;
    auto* root = GetView() ? dynamic_cast<TSkinRootItem*>(GetView()->GetParentItem()) : nullptr;
    if (root && !IsRectEmpty(&root->GetControlRect())) {
        screen = root->GetControlRect();
    } else if (!IsRectEmpty(&FControlRect)) {
        screen = FControlRect;
    } else if (parentView && parentView->GetSelected()) {
        TTBItemViewer* opener = parentView->GetSelected();
        if ((Is<TSkinItemViewer>(opener) && opener->UsesToolbarStyle()) ||
            ViewKindOf(GetViewType()) == vtChevronPopup)
            screen = opener->ScreenBounds();
    }
    if (IsRectEmpty(&screen) || !HandleAllocated())
        return RECT{};
    RECT window{};
    GetWindowRect(GetWindowHandle(), &window);
    OffsetRect(&screen, -window.left, -window.top);
    return screen;
}

void TSkinPopupWindow::PaintFrame(HDC dc)
{
    TSkinPopupInfo popup;
    popup.Window = GetWindowHandle();
    popup.ViewType = GetViewType();
    popup.OpenerRect = OpenerRect();
    popup.BorderSize = CurrentTheme()->QueryViewBorder(popup.ViewType);
    RECT r{};
    GetWindowRect(popup.Window, &r);
    OffsetRect(&r, -r.left, -r.top);
    TSavedDC saved(dc);
    ExcludeClipRect(dc, popup.BorderSize.cx, popup.BorderSize.cy, r.right - popup.BorderSize.cx,
                    r.bottom - popup.BorderSize.cy);
    CurrentTheme()->DrawPopupFrame(dc, r, popup);
}

void TSkinPopupWindow::ShowShadows()
{
    const int style = CurrentTheme()->QueryPopupShadowStyle();
    if (!HandleAllocated())
        return;
    RECT bounds{};
    GetWindowRect(GetWindowHandle(), &bounds);
    RECT opener{};
    if (style == 2) {
        opener = OpenerRect();
        if (!IsRectEmpty(&opener))
            OffsetRect(&opener, bounds.left, bounds.top);
    }
    FShadows.reset(New<TShadows>(bounds, opener, VisualStyleState().LowColorDisplay, ShadowOpacity, ShadowSize));
    FShadows->Show(GetWindowHandle());
}

void TSkinPopupWindow::FreeShadows()
{
    FShadows.reset();
}

void TSkinPopupWindow::Dispatch(TMessage& m)
{
    switch (m.Msg) {
    case TBM_QUERYVIEWTYPE:
        m.Result = LRESULT(GetViewType());
        return;
    case WM_ERASEBKGND: {
        const uint32_t viewType = GetViewType();
        const TColor color = CurrentTheme()->QueryViewColor(viewType);
        if (GetView())
            GetView()->SetBackgroundColor(color);
        RECT client{0, 0, GetClientWidth(), GetClientHeight()};
        CurrentTheme()->FillViewBackground(reinterpret_cast<HDC>(m.WParam), client, client, client, color,
                                           viewType);
        m.Result = 1;
        return;
    }
    case TBM_POPUPSTATE:
        TTBPopupWindow::Dispatch(m);
        if ((m.WParam == 2 || m.WParam == 3) && !HasState(csDestroying) && ShadowAllowed()) {
            const int style = CurrentTheme()->QueryPopupShadowStyle();
            if (style == 2 || style == 3)
                ShowShadows();
        }
        return;
    case WM_WINDOWPOSCHANGED: {
        TTBPopupWindow::Dispatch(m);
        const auto* pos = reinterpret_cast<const WINDOWPOS*>(m.LParam);
        if (FShadows && !(pos->flags & (SWP_SHOWWINDOW | SWP_HIDEWINDOW))) {
            FreeShadows();
            ShowShadows();
        }
        return;
    }
    default:
        TTBPopupWindow::Dispatch(m);
    }
}

// ---------------------------------------------------------------------------------------------
// TSkinRootItem

TTBPopupWindowClass TSkinRootItem::QueryPopupWindowClass()
{
    return PopupWindowClassOf<TSkinPopupWindow>();
}

TSkinPopupWindow* TSkinRootItem::OpenPopupWindowAt(bool, const RECT& controlRect, bool selectFirstItem,
                                                   TPopupAlignment alignment)
{
    const RECT previous = FControlRect;
    FControlRect = controlRect;
    TScopeExit restore([&] { FControlRect = previous; });
    TTBPopupWindow* window = OpenPopupWindow(nullptr, nullptr, false, selectFirstItem, false,
                                             POINT{controlRect.left, controlRect.bottom}, alignment);
    auto* themed = dynamic_cast<TSkinPopupWindow*>(window);
    if (themed)
        themed->SetControlRect(controlRect);
    return themed;
}

void TSkinRootItem::PlacePopup(TTBView* parentView, TTBPopupWindow* popupWindow, TTBPopupPlacement& p)
{
    if (!IsRectEmpty(&FControlRect)) {
        const RECT& c = FControlRect;
        const RECT& m = p.MonitorArea;
        p.OpenerRect = c;
        p.Y = c.bottom;
        if (p.Y + p.H > m.bottom && c.top - p.H >= m.top)
            p.Y = c.top - p.H;
        p.Y = std::max(std::min(p.Y, int(m.bottom) - p.H), int(m.top));
        if (p.Alignment == paRight)
            p.X = c.right - p.W;
        p.X = std::max(std::min(p.X, int(m.right) - p.W), int(m.left));
    }
    // The opposite of the items: here only a popup of a list plays the popup sound.
    PlaceSharingEdge(this, parentView, popupWindow, p, true);
}

// ---------------------------------------------------------------------------------------------
// TSkinPopupMenu

const TTBClassRef<TTBRootItem, TComponent*>* TSkinPopupMenu::QueryRootItemClass()
{
    return TBClassRefOf<TTBRootItem, TSkinRootItem, TComponent*>();
}

TTBCustomItem* TSkinPopupMenu::PopupAtControl(const RECT& controlRect, bool returnClickedItemOnly)
{
    SetPopupPoint(POINT{controlRect.left, controlRect.bottom});
    return RunPopupMenu(
        this, [&] { return GetItems()->OpenPopupWindowAt(false, controlRect, false, GetAlignment()); },
        GetTrackButton() == tbRightButton, returnClickedItemOnly);
}
