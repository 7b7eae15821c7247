// The toolbar with the themed look: background, docked frame, drag handle and floating caption
// drawn by the current theme, its colour kept to the theme's until set by hand, its chevron drawn
// by the theme and opening a themed popup, and its margins taken from the theme.
#pragma once

#include <windows.h>

#include <cstdint>

#include "toolbar/TBToolbar.h"

struct TSkinToolbarInfo;

// Whether the theme draws a toolbar's buttons as on a plain panel (framed even when not hot):
// auto does so only for a toolbar that is neither docked nor floating.
enum TSkinItemTransparency : uint8_t { itAuto, itEnable, itDisable };

class TSkinChevronItem : public TTBChevronItem {
    SF_CLASS(TSkinChevronItem)
public:
    using TTBChevronItem::TTBChevronItem;
    TTBItemViewerClass QueryViewerClass(TTBView* view) override;
    TTBPopupWindowClass QueryPopupWindowClass() override;
    void PlacePopup(TTBView* parentView, TTBPopupWindow* popupWindow, TTBPopupPlacement& placement) override;
};

class TSkinChevronItemViewer : public TTBItemViewer {
    SF_CLASS(TSkinChevronItemViewer)
public:
    using TTBItemViewer::TTBItemViewer;
    void Paint(TCanvas* canvas, const RECT& clientAreaRect, bool isSelected, bool isPushed,
               bool useDisabledShadow) override;
};

class TSkinToolbarView : public TTBToolbarView {
    SF_CLASS(TSkinToolbarView)
public:
    using TTBToolbarView::TTBToolbarView;
    void QueryMargins(TTBViewAxis orientation, RECT& margins) override;
};

class TSkinToolbar : public TTBCustomToolbar {
    SF_CLASS(TSkinToolbar)
public:
    explicit TSkinToolbar(TComponent* owner = nullptr);
    void AfterConstruction() override;
    void BeforeDestruction() override;
    void SetParent(TWinControl* parent) override;
    void Dispatch(TMessage& message) override;

    TSkinItemTransparency GetItemTransparency() const { return FItemTransparency; }
    void SetItemTransparency(TSkinItemTransparency value);
    int GetSnapDistance() const { return FSnapDistance; }
    void SetSnapDistance(int value);
    bool GetUseThemeColor() const { return FUseThemeColor; }
    void SetUseThemeColor(bool value);

    // 0x101, or 0x102 for a menu bar; flagged floating (and then resizable), and framed for
    // itDisable or an auto toolbar that is neither docked nor floating.
    uint32_t GetViewType() const;
    // The record the theme draws the docked frame from.
    virtual void FillToolbarRecord(TSkinToolbarInfo& info);
    // After a size change over a dock background: repaints only the background between the
    // items, which stay as they are.
    void RepaintBackgroundOnly();

    SIZE QueryFloatingBorder() override;
    TClass QueryChevronItemClass() override;
    TTBViewClass QueryViewClass() override;
    TClass QueryFloatingParentClass() override;
    void DrawNCArea(bool useGivenDC, HDC dc, HRGN clipRegion) override;

private:
    void UpdateThemeColor();
    void NewTheme(WPARAM change);
    void EraseBackground(HDC dc);
    // Shows its dock's background object; and a dock with one that is resizing.
    bool OnDockBackground() const;
    bool DockResizing() const;

    TSkinItemTransparency FItemTransparency = itAuto;
    int FSnapDistance = 0;
    bool FUseThemeColor = true;
    bool FSettingColor = false;
    // Between the theme manager's first and last change message.
    bool FThemeUpdating = false;
};
