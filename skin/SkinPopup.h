// Popups with the themed look: the border, background and frame the theme gives for the popup's
// view type, and the theme's drop shadows.
#pragma once

#include <windows.h>

#include <memory>

#include "skin/SkinShadows.h"
#include "toolbar/TBPopup.h"

class TSkinPopupView : public TTBPopupView {
    SF_CLASS(TSkinPopupView)
public:
    using TTBPopupView::TTBPopupView;
    void HandleKeyPress(WORD& key, TShiftState shift) override;
};

class TSkinPopupWindow : public TTBPopupWindow {
    SF_CLASS(TSkinPopupWindow)
public:
    using TTBPopupWindow::TTBPopupWindow;
    void BeforeDestruction() override;

    // The screen rectangle of the control the popup opened from; empty for none.
    const RECT& GetControlRect() const { return FControlRect; }
    void SetControlRect(const RECT& value) { FControlRect = value; }
    // 0x201, 0x202 for a popup whose only item is a list, 0x203 for an edit or tool-box item's
    // popup, 0x204 for a chevron's.
    uint32_t GetViewType();
    TShadows* GetShadows() const { return FShadows.get(); }

    virtual void ShowShadows();
    virtual void FreeShadows();
    virtual bool ShadowAllowed();

    void QueryFrameSize(SIZE& size) override;
    TTBViewClass QueryViewClass() override;
    void Dispatch(TMessage& message) override;

protected:
    void CreateParams(TCreateParams& params) override;
    void PaintFrame(HDC dc) override;

private:
    // The opening item's rectangle in the window's coordinates; empty when there is none.
    RECT OpenerRect();

    RECT FControlRect{};
    std::unique_ptr<TShadows, TObjectFree> FShadows;
};

// The root of a popup menu that may open from a control: the popup goes below the control's
// rectangle, or above it when there is no room below.
class TSkinRootItem : public TTBRootItem {
    SF_CLASS(TSkinRootItem)
public:
    using TTBRootItem::TTBRootItem;

    // The screen rectangle of the control a popup opens from; empty for none.
    const RECT& GetControlRect() const { return FControlRect; }
    // Opens the popup below (or above) the control's rectangle; the caller owns the window. The
    // linked item hears of the popup as OpenPopupWindow tells it, whatever fromLink says.
    virtual TSkinPopupWindow* OpenPopupWindowAt(bool fromLink, const RECT& controlRect, bool selectFirstItem,
                                                TPopupAlignment alignment = paLeft);
    TTBPopupWindowClass QueryPopupWindowClass() override;
    void PlacePopup(TTBView* parentView, TTBPopupWindow* popupWindow, TTBPopupPlacement& placement) override;

private:
    RECT FControlRect{};
};

// A popup menu with the themed look that may also open from a control: below its screen
// rectangle, or above it when the monitor has no room below.
class TSkinPopupMenu : public TTBPopupMenu {
    SF_CLASS(TSkinPopupMenu)
public:
    using TTBPopupMenu::TTBPopupMenu;
    using TTBPopupMenu::PopupAtControl;
    TSkinRootItem* GetItems() const { return static_cast<TSkinRootItem*>(TTBPopupMenu::GetItems()); }
    // Runs the menu from the control's rectangle and returns the clicked item (its Click queued
    // unless returnClickedItemOnly), else nullptr.
    TTBCustomItem* PopupAtControl(const RECT& controlRect, bool returnClickedItemOnly);

protected:
    const TTBClassRef<TTBRootItem, TComponent*>* QueryRootItemClass() override;
};

// The popup of a chevron.
class TSkinChevronPopupWindow : public TSkinPopupWindow {
    SF_CLASS(TSkinChevronPopupWindow)
public:
    using TSkinPopupWindow::TSkinPopupWindow;
};
