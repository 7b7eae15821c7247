// The edit item: a text field in a toolbar or menu, with an optional label in menus. Clicking the
// box (or Enter on the selected item) opens an in-place EDIT control over it; Enter and Tab offer
// the typed text for acceptance, Escape drops it, Alt or a click elsewhere end the editing.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "toolbar/TBItem.h"
#include "toolbar/TBItemViewer.h"

enum TEditCharCase : uint8_t { ecNormal, ecUpperCase, ecLowerCase };

enum TTBEditItemOption : uint8_t { tboUseEditWhenVertical = 1u << 0 };
using TTBEditItemOptions = uint8_t;

// Sender is the item; clearing Accept keeps the old text; NewText may be changed.
using TTBAcceptTextEvent = TEvent<TObject*, std::wstring&, bool&>;

class TTBEditItemViewer;

// True for the in-place EDIT of an edit item while its editing runs.
bool IsEditItemWindow(HWND wnd);
// The EDIT is no control of the class library, so the window it sits in (a toolbar or a popup)
// hands it its WM_CTLCOLOR* messages through this; false for any other child.
bool RelayEditItemColor(TMessage& m);

class TTBEditItem : public TTBCustomItem {
    SF_CLASS(TTBEditItem)
public:
    explicit TTBEditItem(TComponent* owner = nullptr);

    TTBEditItemViewer* GetActiveEditViewer() const { return FActiveEditViewer; }
    TEditCharCase GetCharCase() const { return FCharCase; }
    void SetCharCase(TEditCharCase value);
    const std::wstring& GetEditCaption() const { return FEditCaption; }
    void SetEditCaption(const std::wstring& value);
    TTBEditItemOptions GetEditOptions() const { return FEditOptions; }
    void SetEditOptions(TTBEditItemOptions value);
    int GetEditWidth() const { return FEditWidth; }
    void SetEditWidth(int value);
    // Editing that ends by a click elsewhere (or the menu closing) still offers the text.
    bool GetExtendedAccept() const { return FExtendedAccept; }
    void SetExtendedAccept(bool value) { FExtendedAccept = value; }
    int GetMaxLength() const { return FMaxLength; }
    void SetMaxLength(int value);
    const std::wstring& GetText() const { return FText; }
    void SetText(const std::wstring& value);

    TTBAcceptTextEvent OnAcceptText;

    // OnAcceptText's answer (True without a handler); the handler may change the text.
    virtual bool ConfirmText(std::wstring& newText);
    virtual void ApplyCharCase(std::wstring& text);
    virtual void AfterTextChange() {}

    TTBItemViewerClass QueryViewerClass(TTBView* view) override;
    bool ViewerNeedsRebuild(TTBView* view, TTBItemViewer* viewer) override;

protected:
    friend class TTBEditItemViewer;

    void DefineProperties(TFiler* filer) override;

private:
    TTBEditItemViewer* FActiveEditViewer = nullptr;
    TEditCharCase FCharCase = ecNormal;
    std::wstring FEditCaption;
    TTBEditItemOptions FEditOptions = 0;
    int FEditWidth = 64;
    bool FExtendedAccept = false;
    int FMaxLength = 0;
    std::wstring FText;
};

class TTBEditItemViewer : public TTBItemViewer {
    SF_CLASS(TTBEditItemViewer)
public:
    using TTBItemViewer::TTBItemViewer;
    ~TTBEditItemViewer() override;

    TTBEditItem* GetEditItem() const;
    // The EDIT window while editing runs, else nullptr.
    HWND GetEditWnd() const { return FEditWnd; }
    // Bit 0 editing runs, bit 1 the text was committed (Tab or Enter), bit 2 the menu should close.
    uint8_t GetEndState() const { return FEndState; }

    void MeasureSize(TCanvas* canvas, int& width, int& height) override;
    std::wstring ComposeCaption() override;
    void Paint(TCanvas* canvas, const RECT& clientAreaRect, bool isSelected, bool isPushed,
               bool useDisabledShadow) override;
    void GetCursor(POINT p, HCURSOR& cursor) override;
    void MouseDown(TShiftState shift, int x, int y, bool& mouseDownOnMenu) override;
    void MouseUp(int x, int y, bool mouseWasDownOnMenu) override;
    bool ShowsCaption() override;
    // Runs the editing; true when it ended with Enter.
    bool PerformExecute() override;
    bool SharesButtonWidth() override { return false; }
    int AccessibleRole() override { return 42; }
    bool AccessibleValue(std::wstring& value) override;

    // Puts a new text of the item into the open EDIT control.
    void TextChanged(const std::wstring& text);

    virtual void GetEditControlStyle(DWORD&) {}
    virtual void ApplyEditFont(TFont*) {}
    // The box in the view window's coordinates.
    virtual void EditFieldBounds(RECT& r);
    virtual void GetEditMargins(RECT& margins);
    // Lets a subclass take a message of the EDIT control while editing runs (true: taken).
    virtual bool EditMessageHook(TMessage&) { return false; }
    virtual void SetupEditControl(HWND editWnd);

protected:
    TColor GetEditColor() const { return FEditColor; }
    void SetEditColor(TColor value) { FEditColor = value; }
    // The text in the open EDIT control.
    std::wstring ReadEditText() const;
    // Lets the EDIT control handle a message itself, past the framework's handling; for a hook
    // that acts on what the control made of it.
    LRESULT CallPreviousEditProc(UINT msg, WPARAM wParam, LPARAM lParam);

private:
    // A press or release in the box: an enabled item edits, a disabled one ends a toolbar's menu.
    void ClickedInBox();
    bool DoEditing(HWND captureWnd);
    void RunEditLoop(HWND captureWnd, const std::weak_ptr<int>& alive);
    void AcceptEditText();
    LRESULT EditWindowProc(UINT msg, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK EditWndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
    friend bool IsEditItemWindow(HWND wnd);

    WNDPROC FOldWndProc = nullptr;
    TColor FEditColor = clNone;
    HBRUSH FEditBrush = nullptr;
    std::unique_ptr<TFont, TObjectFree> FEditFont;
    HWND FEditWnd = nullptr;
    uint8_t FEndState = 0;
    bool FInTextUpdate = false;
    bool FSubclassMessages = false;
};
