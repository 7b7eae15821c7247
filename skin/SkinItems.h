// The item tree with the themed look: font overrides that items, lists and panels lay over a
// view's font, the themed command, submenu, separator and visibility-toggle items, and the viewers
// that measure and paint every such item through the current theme.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/Graphics.h"
#include "platform/Persistent.h"
#include "skin/SkinTheme.h"
#include "toolbar/TBItem.h"
#include "toolbar/TBItemViewer.h"

class TSkinItemViewer;

// The theme's integer metric; one the theme does not know (-1) counts as nothing.
int SkinMetric(int id);

enum class TTriState : uint8_t { tsDefault, tsTrue, tsFalse };

using TFontName = std::string;

// Font overrides: each style added, removed or left, the size as a percentage, a colour and a
// face name. clNone and an empty name leave the font's own.
class TFontSettings : public TPersistent {
    SF_CLASS(TFontSettings)
public:
    explicit TFontSettings(TPersistent* owner = nullptr, TNotifyEvent onChange = {})
        : OnChange(std::move(onChange)), FOwner(owner)
    {
    }

    TTriState GetBold() const { return FBold; }
    void SetBold(TTriState value) { Store(FBold, value); }
    TTriState GetItalic() const { return FItalic; }
    void SetItalic(TTriState value) { Store(FItalic, value); }
    TTriState GetUnderline() const { return FUnderline; }
    void SetUnderline(TTriState value) { Store(FUnderline, value); }
    TTriState GetStrikeOut() const { return FStrikeOut; }
    void SetStrikeOut(TTriState value) { Store(FStrikeOut, value); }
    uint16_t GetSize() const { return FSize; }
    void SetSize(uint16_t value) { Store(FSize, value); }
    TColor GetColor() const { return FColor; }
    void SetColor(TColor value) { Store(FColor, value); }
    const TFontName& GetName() const { return FName; }
    void SetName(const TFontName& value) { Store(FName, value); }

    // From another TFontSettings: all seven values, one OnChange when anything differed.
    void Assign(TPersistent* source) override;
    // Nothing is overridden.
    bool IsDefault() const;
    void Apply(TFont* font) const;
    void ApplyToLogFont(LOGFONTW& logFont, TColor& color) const;
    // The font's LOGFONT with the settings applied, as a new font the caller owns.
    HFONT MakeAdjustedFont(HFONT font, TColor& color) const;

    TNotifyEvent OnChange;

protected:
    TPersistent* GetOwner() const override { return FOwner; }

private:
    template <class T>
    void Store(T& field, const T& value)
    {
        if (field == value)
            return;
        field = value;
        OnChange(this);
    }

    TTriState FBold = TTriState::tsDefault;
    TTriState FItalic = TTriState::tsDefault;
    TTriState FUnderline = TTriState::tsDefault;
    TTriState FStrikeOut = TTriState::tsDefault;
    uint16_t FSize = 100;
    TColor FColor = clNone;
    TFontName FName;
    TPersistent* FOwner = nullptr;
};

using TFontSettingsPtr = std::unique_ptr<TFontSettings, TObjectFree>;

enum class TSkinItemLayout : uint8_t { sklAuto, sklGlyphLeft, sklGlyphTop };

class TSkinCustomItem;
// Item, viewer, the font about to be used, state flags (TSkinStateFlag bits).
using TAdjustFontEvent = TEvent<TTBCustomItem*, TTBItemViewer*, TFont*, uint32_t>;
// Item, viewer, canvas, image rectangle, the theme's image shift, state flags.
using TDrawImageEvent = TEvent<TTBCustomItem*, TTBItemViewer*, TCanvas*, RECT, POINT, uint32_t>;

// An item measured and painted by the current theme, with its own font, layout and minimum size.
class TSkinCustomItem : public TTBCustomItem {
    SF_CLASS(TSkinCustomItem)
public:
    explicit TSkinCustomItem(TComponent* owner = nullptr);

    TFontSettings* GetFontSettings() const { return FFontSettings.get(); }
    void SetFontSettings(TFontSettings* value) { FFontSettings->Assign(value); }
    TSkinItemLayout GetLayout() const { return FLayout; }
    void SetLayout(TSkinItemLayout value);
    int GetMinHeight() const { return FMinHeight; }
    void SetMinHeight(int value);
    int GetMinWidth() const { return FMinWidth; }
    void SetMinWidth(int value);
    bool GetStretch() const { return HasTrait(isCrossFill); }
    void SetStretch(bool value);
    // Opened popups start with their first item selected.
    bool GetAlwaysSelectFirst() const { return FAlwaysSelectFirst; }
    void SetAlwaysSelectFirst(bool value) { FAlwaysSelectFirst = value; }
    // The item is a split button: its arrow part opens the submenu.
    bool GetDropdownCombo() const { return HasTrait(isSplitButton); }
    void SetDropdownCombo(bool value);
    // The popup shows a tool box: it takes toolbar-style items and reports its own view type.
    bool GetToolBoxPopup() const { return FToolBoxPopup; }
    void SetToolBoxPopup(bool value) { FToolBoxPopup = value; }

    TAdjustFontEvent OnAdjustFont;
    TDrawImageEvent OnDrawImage;

    TTBItemViewerClass QueryViewerClass(TTBView* view) override;
    TTBPopupWindowClass QueryPopupWindowClass() override;
    TTBPopupWindow* OpenPopupWindow(TTBView* parentView, TTBItemViewer* parentViewer, bool asSubmenu,
                                    bool selectFirstItem, bool customizing, POINT popupPoint,
                                    TPopupAlignment alignment) override;
    void PlacePopup(TTBView* parentView, TTBPopupWindow* popupWindow, TTBPopupPlacement& placement) override;

private:
    void FontSettingsChanged(TObject*) { Change(true); }
    void SetTrait(TTBItemTraits trait, bool on);

    TFontSettingsPtr FFontSettings;
    TSkinItemLayout FLayout = TSkinItemLayout::sklAuto;
    int FMinHeight = 0;
    int FMinWidth = 0;
    bool FAlwaysSelectFirst = false;
    bool FToolBoxPopup = false;
};

// The popup placement that lets a popup and the item it opens from share an edge line, when the
// theme asks for it (boolean metric 1); drop-downs and submenus alike. Also used by chevrons.
void PlaceSharingEdge(TTBCustomItem* item, TTBView* parentView, TTBPopupWindow* popupWindow,
                      TTBPopupPlacement& placement, bool soundForListPopups);

// A command item.
class TSkinItem : public TSkinCustomItem {
    SF_CLASS(TSkinItem)
public:
    using TSkinCustomItem::TSkinCustomItem;
};

// An item with a submenu (a main menu entry).
class TSkinSubmenuItem : public TSkinCustomItem {
    SF_CLASS(TSkinSubmenuItem)
public:
    explicit TSkinSubmenuItem(TComponent* owner = nullptr);
};

// A separator with a size of its own; -1 takes the theme's.
class TSkinSeparatorItem : public TTBSeparatorItem {
    SF_CLASS(TSkinSeparatorItem)
public:
    explicit TSkinSeparatorItem(TComponent* owner = nullptr) : TTBSeparatorItem(owner) {}
    int GetSize() const { return FSize; }
    void SetSize(int value);
    TTBItemViewerClass QueryViewerClass(TTBView* view) override;

private:
    int FSize = -1;
};

// An item that shows or hides a control and is checked while the control is visible.
class TSkinVisibilityToggleItem : public TSkinCustomItem {
    SF_CLASS(TSkinVisibilityToggleItem)
public:
    using TSkinCustomItem::TSkinCustomItem;
    TControl* GetControl() const { return FControl; }
    void SetControl(TControl* value);
    void Click() override;
    void InitiateAction() override;

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    void UpdateChecked();
    TControl* FControl = nullptr;
};

// Measures and paints an item through the current theme.
class TSkinItemViewer : public TTBItemViewer {
    SF_CLASS(TSkinItemViewer)
public:
    using TTBItemViewer::TTBItemViewer;

    // The layout in force: the item's own, else glyph-top for images above captions and in
    // vertical views, else glyph-left.
    TSkinItemLayout EffectiveLayout();
    // Captions turn in vertical toolbars unless the layout or the options say otherwise.
    bool CaptionRotated();
    // The item-info record of the item as it would be painted.
    TSkinItemDrawInfo MakeItemInfo(bool isSelected, bool isPushed);

    // May move the caption's rectangle or paint the caption itself (clearing paintDefault).
    virtual void PaintCaption(TCanvas*, RECT&, bool& /*paintDefault*/, bool /*rotated*/) {}
    // 1 in toolbar style, else 2.
    virtual int GetItemType() { return UsesToolbarStyle() ? 1 : 2; }
    virtual void DrawViewerImage(TCanvas* canvas, const RECT& r, const TSkinItemDrawInfo& info);
    virtual void AdjustViewerFont(TFont* font, uint32_t stateFlags);
    virtual void GetImageSize(SIZE& size);
    // DT_HIDEPREFIX while accelerators are hidden, else 0.
    virtual UINT GetTextFlags();
    virtual void GetTextSize(TCanvas* canvas, const std::wstring& text, SIZE& size, UINT flags, bool rotated,
                             uint32_t stateFlags);

    void MeasureSize(TCanvas* canvas, int& width, int& height) override;
    void Paint(TCanvas* canvas, const RECT& clientAreaRect, bool isSelected, bool isPushed,
               bool useDisabledShadow) override;
    bool UsesToolbarSize() override;
    bool UsesToolbarStyle() override;
    bool PointInButtonPart(int x, int y) override;
    void MouseUp(int x, int y, bool mouseWasDownOnMenu) override;
    int AccessibleRole() override;

protected:
    // A toolbar item with its image left of the caption is one pixel wider.
    bool FWidenGlyphLeft = true;

private:
    // A text measured on this viewer, kept until the text, the flags or the font it was measured
    // with differ (the font covers theme changes: they reach the text only through it).
    struct TMeasuredText {
        std::wstring Text;
        LOGFONTA Font{};
        UINT Flags = 0;
        bool Rotated = false;
        bool Valid = false;
        SIZE Size{};
    };

    void PaintToolbarFrame(HDC dc, const RECT& client, RECT& content, const TSkinItemDrawInfo& info,
                           bool arrowPushed, bool buttonPushed, bool arrowBelow, const RECT& imageRect);
    // The caption and the shortcut of a menu item each keep a place.
    std::array<TMeasuredText, 2> FMeasured;
    size_t FNextMeasured = 0;
};

// The hot state the theme gets for a viewer: 0 when not selected; 2 for an enabled item, 1 for a
// disabled one the mouse is not over.
uint8_t ItemHotState(TTBView* view, bool enabled, bool isSelected);

// True for a view that shows an edit or combo item's popup (view type 0x203), where every item
// counts as toolbar-style.
bool InEditPopup(TTBView* view);

// A separator viewer that takes its size from the item or the theme.
class TSkinSeparatorItemViewer : public TTBSeparatorItemViewer {
    SF_CLASS(TSkinSeparatorItemViewer)
public:
    using TTBSeparatorItemViewer::TTBSeparatorItemViewer;
    void MeasureSize(TCanvas* canvas, int& width, int& height) override;
    void Paint(TCanvas* canvas, const RECT& clientAreaRect, bool isSelected, bool isPushed,
               bool useDisabledShadow) override;
    bool UsesToolbarSize() override;
    bool UsesToolbarStyle() override;
};
