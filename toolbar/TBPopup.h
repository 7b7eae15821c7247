// Submenus and popup menus: the borderless top-level window that shows a popup view of an item's
// subitems, and the placement that keeps it on the monitor beside the viewer that opened it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/Controls.h"
#include "platform/Menus.h"
#include "toolbar/TBAnim.h"
#include "toolbar/TBItem.h"
#include "toolbar/TBView.h"

// From the popup framework to a popup window: wParam 1 before an animated show (sent; a non-zero
// result vetoes the animation), 2 when the show animation has ended and 3 when the window has
// been shown without animation (both as notify messages).
constexpr UINT TBM_POPUPSTATE = 1578;

// Where a popup goes: filled by OpenPopupWindow, settled by the item's PlacePopup.
struct TTBPopupPlacement {
    bool AsSubmenu = false;
    TPopupAlignment Alignment = paLeft;
    bool FlipSide = false;       // the parent popup itself opened on the far side
    RECT MonitorArea{};          // the whole monitor, not its work area
    RECT OpenerRect{};           // the opening viewer on the screen, or the point
    int BorderX = 0;
    int BorderY = 0;
    int X = 0;
    int Y = 0;
    int W = 0;
    int H = 0;
    TTBSlideDirections SlideDirections = 0;
    bool WithSound = true;
};

// The view of a popup window.
class TTBPopupView : public TTBView {
    SF_CLASS(TTBPopupView)
public:
    using TTBView::TTBView;
    // The window takes the view's size plus its frame, where it is.
    void AutoSize(int width, int height) override;
    TFont* ResolveFont() override;
};

class TTBPopupWindow : public TCustomControl {
    SF_CLASS(TTBPopupWindow)
public:
    // The virtual constructor of popup windows (parent view: the view that opens the popup).
    TTBPopupWindow(TComponent* owner, TTBView* parentView, TTBCustomItem* item, bool customizing);
    void AfterConstruction() override;
    void BeforeDestruction() override;

    TTBPopupView* GetView() const { return FView; }
    TTBSlideDirections GetAnimationDirection() const { return FAnimationDirection; }
    void SetAnimationDirection(TTBSlideDirections value) { FAnimationDirection = value; }

    virtual void DrawScrollArrows();
    // The width of the frame on the left and right, and its height at the top and bottom.
    virtual void QueryFrameSize(SIZE& size);
    virtual TTBViewClass QueryViewClass();

    void Dispatch(TMessage& message) override;

protected:
    void CreateParams(TCreateParams& params) override;
    void CreateWnd() override;
    void DestroyWindowHandle() override;
    void Paint() override;
    // The frame around the client area, in window coordinates.
    virtual void PaintFrame(HDC dc);

private:
    void ShowingChanged();
    void HintShow(THintInfo& info);

    TTBView* FParentView = nullptr;
    TTBCustomItem* FItem = nullptr;
    bool FCustomizing = false;
    TTBPopupView* FView = nullptr;
    TTBSlideDirections FAnimationDirection = 0;
    bool FAccelsInitialised = false;
};

// Runs the menu loop of the popup window that `open` creates once the loop holds the capture, then
// carries out what the menu ended with (see TTBModalHandler::ApplyDoneAction); the popup is gone
// when it returns. A failure reaches the application's handler after the menu has closed and
// gives nullptr.
TTBCustomItem* RunPopupMenu(TObject* sender, const std::function<TTBPopupWindow*()>& open, bool trackRightButton,
                            bool returnClickedItemOnly);

// A popup menu whose items are an item tree (Items): Popup shows them in a popup window and runs
// the menu loop there; the chosen item's Click runs once the menu is gone.
class TTBPopupMenu : public TPopupMenu {
    SF_CLASS(TTBPopupMenu)
public:
    explicit TTBPopupMenu(TComponent* owner = nullptr);
    void AfterConstruction() override;
    void BeforeDestruction() override;

    // The item tree (it hides the class library's own, which a popup menu of items leaves empty).
    TTBRootItem* GetItems() const { return FRootItem.get(); }
    TCustomImageList* GetImages() const { return FRootItem->GetSubMenuImages(); }
    void SetImages(TCustomImageList* value) { FRootItem->SetSubMenuImages(value); }
    TTBCustomItem* GetLinkSubitems() const { return FRootItem->GetLinkSubitems(); }
    void SetLinkSubitems(TTBCustomItem* value) { FRootItem->SetLinkSubitems(value); }
    TTBItemOptions GetOptions() const { return FRootItem->GetOptions(); }
    void SetOptions(TTBItemOptions value) { FRootItem->SetOptions(value); }

    void Popup(int x, int y) override;
    // Pops up at the point and returns the clicked item (its Click queued unless
    // returnClickedItemOnly), else nullptr.
    TTBCustomItem* PopupAtControl(int x, int y, bool returnClickedItemOnly);
    bool IsShortCut(const TMessage& keyMessage) override;

    void GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) override;
    void SetChildOrder(TComponent* child, int order) { FRootItem->SetChildOrder(child, order); }

protected:
    virtual const TTBClassRef<TTBRootItem, TComponent*>* QueryRootItemClass();

private:
    // Each opening of the menu fires the root item's OnClick, which becomes the menu's OnPopup.
    void RootItemClick(TObject* sender);

    std::unique_ptr<TTBRootItem, TObjectFree> FRootItem;
};
