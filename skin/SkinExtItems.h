// Items beyond the plain command: the themed edit field, the field with a drop-down button, the
// combo box that drops a list of lines and completes typed text from them, and the caption-only
// label item a toolbar shows beside its fields.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "platform/StdCtrls.h"
#include "skin/SkinItems.h"
#include "toolbar/TBExtItems.h"

class TSkinStringList;
class TStringListW;

// ---------------------------------------------------------------------------------------------
// Edit items

// A string-list class the combo item creates its list from, with the owner.
using TSkinStringListClass = const TTBClassRef<TSkinStringList, TComponent*>*;

// Sender is the item; the virtual key pressed in its field.
using TSkinEditTyping = TEvent<TObject*, WORD>;
// Sender is the combo item; the line's text, its index (-1 for the field's own image), the image.
using TSkinCAdjustImageIndex = TEvent<TObject*, const std::wstring&, int, int&>;

// The character a password field shows for each of its characters: "*" before the version 6
// common controls, the black circle from them on (or when their version cannot be read).
wchar_t EditPasswordChar();
// The product version of a common-controls library file (major in the high word), 0xFFFFFFFF
// when it cannot be read.
uint32_t ComCtlProductVersion(const char* fileName = "comctl32.dll");

// An edit field drawn by the theme, with fonts of its own for the field and the caption, the
// text's alignment, a read-only and a password mode, and an optional image at its left.
class TSkinEditItem : public TTBEditItem {
    SF_CLASS(TSkinEditItem)
public:
    explicit TSkinEditItem(TComponent* owner = nullptr);

    TAlignment GetAlignment() const { return FAlignment; }
    void SetAlignment(TAlignment value);
    TFontSettings* GetEditorFontSettings() const { return FEditorFontSettings.get(); }
    void SetEditorFontSettings(TFontSettings* value) { FEditorFontSettings->Assign(value); }
    TFontSettings* GetFontSettings() const { return FFontSettings.get(); }
    void SetFontSettings(TFontSettings* value) { FFontSettings->Assign(value); }
    bool GetReadOnly() const { return FReadOnly; }
    void SetReadOnly(bool value) { FReadOnly = value; }
    bool GetShowImage() const { return FShowImage; }
    void SetShowImage(bool value);
    bool GetPassword() const { return FPassword; }
    void SetPassword(bool value);

    TNotifyEvent OnChange;
    TSkinEditTyping OnTyping;

    // Completes a typed text in place; true when it did. The plain field completes nothing.
    virtual bool DoAutoComplete(std::wstring&) { return false; }
    virtual void DoTyping(WORD key) { OnTyping(this, key); }
    // The image the field shows at its left.
    virtual int GetEditImageIndex() { return GetImageIndex(); }
    void AfterTextChange() override;

    TTBItemViewerClass QueryViewerClass(TTBView* view) override;
    TTBPopupWindowClass QueryPopupWindowClass() override;
    void PlacePopup(TTBView* parentView, TTBPopupWindow* popupWindow, TTBPopupPlacement& placement) override;

protected:
    void DefineProperties(TFiler* filer) override;
    // The viewer class outside vertical views that show the item as a button.
    virtual TTBItemViewerClass FieldViewerClass();

private:
    void FontSettingsChanged(TObject*) { Change(true); }

    TAlignment FAlignment = taLeftJustify;
    TFontSettingsPtr FEditorFontSettings;
    TFontSettingsPtr FFontSettings;
    bool FReadOnly = false;
    bool FShowImage = false;
    bool FPassword = false;
};

// An edit field with a drop-down button that opens the item's popup; with DropDownList the field
// takes no typing and the whole item opens the popup.
class TSkinCustomDropDownItem : public TSkinEditItem {
    SF_CLASS(TSkinCustomDropDownItem)
public:
    explicit TSkinCustomDropDownItem(TComponent* owner = nullptr);

    bool GetDropDownList() const { return FDropDownList; }
    void SetDropDownList(bool value);

    TTBPopupWindow* OpenPopupWindow(TTBView* parentView, TTBItemViewer* parentViewer, bool asSubmenu,
                                    bool selectFirstItem, bool customizing, POINT popupPoint,
                                    TPopupAlignment alignment) override;

protected:
    TTBItemViewerClass FieldViewerClass() override;

private:
    bool FDropDownList = false;
    bool FSelectFirstItem = false;
};

// A drop-down field whose popup is a themed list of lines: choosing a line sets the text, the
// text chooses its line when the list opens, and typed text is completed from the lines.
class TSkinComboBoxItem : public TSkinCustomDropDownItem {
    SF_CLASS(TSkinComboBoxItem)
public:
    explicit TSkinComboBoxItem(TComponent* owner = nullptr);
    void BeforeDestruction() override;

    bool GetAutoComplete() const { return FAutoComplete; }
    void SetAutoComplete(bool value) { FAutoComplete = value; }
    TSkinStringList* GetList() const { return FList; }
    TStringListW* GetLines() const;
    void SetLines(TStringListW* value);
    // -1 for none; setting it selects the line in the list, which sets the text to it.
    int GetItemIndex() const;
    void SetItemIndex(int value);
    int GetMaxVisibleItems() const;
    void SetMaxVisibleItems(int value);
    int GetMaxListWidth() const;
    void SetMaxListWidth(int value);
    int GetMinListWidth() const;
    void SetMinListWidth(int value);
    bool GetShowListImages() const;
    void SetShowListImages(bool value);

    TNotifyEvent OnItemClick;
    TSkinCAdjustImageIndex OnAdjustImageIndex;

    virtual void DoAdjustImageIndex(const std::wstring& text, int index, int& imageIndex);
    virtual void DoListChange();
    virtual void DoItemClick();
    virtual TSkinStringListClass GetStringListClass();

    bool DoAutoComplete(std::wstring& text) override;
    // The item's image, or the selected line's, as OnAdjustImageIndex leaves it; kept until the
    // selection or the item changes.
    int GetEditImageIndex() override;
    void Change(bool needResize) override;
    void RaisePopupEvent(TTBCustomItem* sender, bool fromLink) override;
    // The list is the item's own, not a child that streams.
    void GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) override;

protected:
    void Loaded() override;
    void DefineProperties(TFiler* filer) override;

private:
    void ListChanged(TObject*);
    void ListClicked(TObject*);
    void ListAdjustImageIndex(TObject*, int index, int& imageIndex);
    void ShowListInPopup();

    bool FAutoComplete = true;
    TSkinStringList* FList = nullptr;
    int FCachedImageIndex = -1;
    bool FImageIndexValid = false;
};

// Draws an edit item through the theme: caption (in menus), frame, field, image and text; while
// editing, the in-place EDIT takes the theme's insets, the editor font, alignment and password.
class TSkinEditItemViewer : public TTBEditItemViewer {
    SF_CLASS(TSkinEditItemViewer)
public:
    using TTBEditItemViewer::TTBEditItemViewer;

    TSkinEditItem* GetSkinEditItem() const { return static_cast<TSkinEditItem*>(FItem); }
    // The item-info record of the item as it would be painted.
    TSkinItemDrawInfo MakeItemInfo(bool isSelected, bool isPushed);
    // The edit-item record: the image part at the left, the button at the right.
    virtual TSkinEditInfo MakeEditInfo(const TSkinItemDrawInfo& info);
    // The field's box in the viewer's coordinates: the whole item, less the caption in menus.
    RECT BoxRect();

    void MeasureSize(TCanvas* canvas, int& width, int& height) override;
    void Paint(TCanvas* canvas, const RECT& clientAreaRect, bool isSelected, bool isPushed,
               bool useDisabledShadow) override;
    bool UsesToolbarSize() override;
    bool UsesToolbarStyle() override;

    void GetEditControlStyle(DWORD& style) override;
    void ApplyEditFont(TFont* font) override;
    void EditFieldBounds(RECT& r) override;
    void GetEditMargins(RECT& margins) override;
    bool EditMessageHook(TMessage& message) override;
    void SetupEditControl(HWND editWnd) override;

protected:
    // The width of the caption part in menus (0 in toolbar style or without a caption).
    int CaptionPartWidth(TCanvas* canvas);
    // The canvas font as the caption or the field draws with it.
    void SelectCaptionFont(TCanvas* canvas);
    void SelectEditorFont(TCanvas* canvas);

private:
    // Completes the EDIT's text after a typed character changed it.
    void CompleteTypedText(const std::wstring& before);

    bool FTypingKey = false;
};

// An edit item with its drop-down button.
class TSkinDropDownItemViewer : public TSkinEditItemViewer {
    SF_CLASS(TSkinDropDownItemViewer)
public:
    using TSkinEditItemViewer::TSkinEditItemViewer;

    TSkinCustomDropDownItem* GetDropDownItem() const { return static_cast<TSkinCustomDropDownItem*>(FItem); }
    // The theme's button width in toolbars, a menu check mark's and 2 in menus.
    int ButtonWidth();
    // Opens the popup with its first item selected, or closes it when it is open from here.
    void ToggleDropDown();

    TSkinEditInfo MakeEditInfo(const TSkinItemDrawInfo& info) override;
    bool PerformExecute() override;
    bool PointInButtonPart(int x, int y) override;
    void GetCursor(POINT p, HCURSOR& cursor) override;
    void KeyDown(WORD& key, TShiftState shift) override;
    bool EditMessageHook(TMessage& message) override;
};

// ---------------------------------------------------------------------------------------------
// Label item

enum class TSkinLabelOrientation : uint8_t { skoAuto, skoHorizontal, skoVertical };

// A caption in a toolbar or menu that cannot be selected or clicked.
class TSkinLabelItem : public TTBCustomItem {
    SF_CLASS(TSkinLabelItem)
public:
    explicit TSkinLabelItem(TComponent* owner = nullptr);

    TFontSettings* GetFontSettings() const { return FFontSettings.get(); }
    void SetFontSettings(TFontSettings* value) { FFontSettings->Assign(value); }
    int GetMargin() const { return FMargin; }
    void SetMargin(int value);
    bool GetShowAccelChar() const { return FShowAccelChar; }
    void SetShowAccelChar(bool value);
    TSkinLabelOrientation GetOrientation() const { return FOrientation; }
    void SetOrientation(TSkinLabelOrientation value);

    TAdjustFontEvent OnAdjustFont;

    TTBItemViewerClass QueryViewerClass(TTBView* view) override;

private:
    void FontSettingsChanged(TObject*) { Change(true); }

    TFontSettingsPtr FFontSettings;
    int FMargin = 0;
    bool FShowAccelChar = true;
    TSkinLabelOrientation FOrientation = TSkinLabelOrientation::skoAuto;
};

class TSkinLabelItemViewer : public TSkinItemViewer {
    SF_CLASS(TSkinLabelItemViewer)
public:
    using TSkinItemViewer::TSkinItemViewer;
    // Vertical when asked, or automatically in a vertical view.
    bool IsVertical();
    void AdjustViewerFont(TFont* font, uint32_t stateFlags) override;
    void MeasureSize(TCanvas* canvas, int& width, int& height) override;
    void Paint(TCanvas* canvas, const RECT& clientAreaRect, bool isSelected, bool isPushed,
               bool useDisabledShadow) override;

private:
    TSkinLabelItem* Label() const { return static_cast<TSkinLabelItem*>(FItem); }
    std::wstring ShownCaption();
};
