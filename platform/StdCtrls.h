// The standard controls, each wrapping the system's window class: buttons, check boxes and
// radio buttons (with action links), edits and memos, combo and list boxes, group boxes, and the
// windowless label.
#pragma once

#include <memory>
#include <string>

#include "platform/ActnList.h"
#include "platform/Controls.h"
#include "platform/Forms.h"
#include "platform/Graphics.h"
#include "platform/Strings.h"

// A windowed control over a system window class; the notifications its parent reflects to it
// (CN_COMMAND, CN_NOTIFY) reach the virtuals below.
class TSystemControl : public TWinControl {
    SF_CLASS(TSystemControl)
public:
    using TWinControl::TWinControl;
    void Dispatch(TMessage& message) override;

protected:
    virtual void CNCommand(TMessage&) {}
    virtual void CNNotify(TMessage&) {}
};

class TButtonControl;

// Drives a control from a TCustomAction: caption, enabled state, hint, visibility and the click.
class TControlActionLink : public TActionLink {
    SF_CLASS(TControlActionLink)
public:
    using TActionLink::TActionLink;

    bool IsCaptionLinked() override;
    bool IsEnabledLinked() override;
    bool IsHintLinked() override;
    bool IsVisibleLinked() override;
    bool IsOnExecuteLinked() override;
    void SetCaption(const std::string& value) override;
    void SetEnabled(bool value) override;
    void SetHint(const std::string& value) override;
    void SetVisible(bool value) override;
    void SetOnExecute(const TNotifyEvent& value) override;

protected:
    void AssignClient(TObject* client) override;
    TControl* FClient = nullptr;
};

// Adds the checked state for buttons that have one.
class TButtonActionLink : public TControlActionLink {
    SF_CLASS(TButtonActionLink)
public:
    using TControlActionLink::TControlActionLink;
    bool IsCheckedLinked() override;
    void SetChecked(bool value) override;
};

// Base of push buttons, check boxes and radio buttons: the checked state and an action.
class TButtonControl : public TSystemControl {
    SF_CLASS(TButtonControl)
public:
    explicit TButtonControl(TComponent* owner = nullptr);
    ~TButtonControl() override;

    virtual bool GetChecked() const { return false; }
    virtual void SetChecked(bool) {}

    TBasicAction* GetAction() const;
    void SetAction(TBasicAction* value);
    void InitiateAction() override;

protected:
    friend class TButtonActionLink;
    friend class TClientActionLink<TButtonControl, TButtonActionLink>;
    // Set while the state changes without a user's click (an action checking its clients).
    bool FClicksDisabled = false;
    // Re-reads the action (only into properties still at their defaults when checkDefaults).
    virtual void ActionChange(TObject* sender, bool checkDefaults);
    // The link the control makes when it gets an action (a derived control may give its own).
    virtual TButtonActionLink* CreateActionLink();
    void Click() override;
    void Notification(TComponent* component, TOperation operation) override;

private:
    TClientActionLink<TButtonControl, TButtonActionLink> FActionLink{this};
};

// A push button. The default button is clicked by Enter, the cancel button by Esc; a modal
// result closes the modal form it is on.
class TButton : public TButtonControl {
    SF_CLASS(TButton)
public:
    explicit TButton(TComponent* owner = nullptr);

    bool GetDefault() const { return FDefault; }
    void SetDefault(bool value);
    bool GetCancel() const { return FCancel; }
    void SetCancel(bool value) { FCancel = value; }
    TModalResult GetModalResult() const { return FModalResult; }
    void SetModalResult(TModalResult value) { FModalResult = value; }
    // Clicks the button as a user would.
    void Click() override;

    void Dispatch(TMessage& message) override;

protected:
    void CreateParams(TCreateParams& params) override;
    void CNCommand(TMessage& message) override;

private:
    bool FDefault = false;
    bool FCancel = false;
    TModalResult FModalResult = 0;
};

enum TCheckBoxState { cbUnchecked, cbChecked, cbGrayed };

// A check box. Changing the state, by the user or in code, clicks it (OnClick).
class TCheckBox : public TButtonControl {
    SF_CLASS(TCheckBox)
public:
    explicit TCheckBox(TComponent* owner = nullptr);

    bool GetChecked() const override { return FState == cbChecked; }
    void SetChecked(bool value) override { SetState(value ? cbChecked : cbUnchecked); }
    TCheckBoxState GetState() const { return FState; }
    void SetState(TCheckBoxState value);
    bool GetAllowGrayed() const { return FAllowGrayed; }
    void SetAllowGrayed(bool value) { FAllowGrayed = value; }

protected:
    void CreateParams(TCreateParams& params) override;
    void CreateWnd() override;
    void CNCommand(TMessage& message) override;

private:
    TCheckBoxState FState = cbUnchecked;
    bool FAllowGrayed = false;
};

// A radio button: checking it unchecks the other radio buttons of the same parent.
class TRadioButton : public TButtonControl {
    SF_CLASS(TRadioButton)
public:
    explicit TRadioButton(TComponent* owner = nullptr);

    bool GetChecked() const override { return FChecked; }
    void SetChecked(bool value) override;

protected:
    void CreateParams(TCreateParams& params) override;
    void CreateWnd() override;
    void CNCommand(TMessage& message) override;

private:
    bool FChecked = false;
};

// A list of strings held by a list window (a combo box's or list box's) while it exists, and
// kept here while it does not, so items survive the window being made again.
class TListControlStrings : public TStrings {
    SF_CLASS(TListControlStrings)
public:
    struct TMessages {
        UINT Count, GetTextLen, GetText, GetData, SetData, AddString, InsertString, DeleteString, Reset, FindExact,
            Error;
    };
    TListControlStrings(TWinControl* control, const TMessages& messages);
    ~TListControlStrings() override;

    std::string Get(int index) const override;
    TObject* GetObject(int index) const override;
    void PutObject(int index, TObject* object) override;
    int GetCount() const override;
    int AddObject(const std::string& s, TObject* object) override;
    int Add(const std::string& s) override { return AddObject(s, nullptr); }
    void Insert(int index, const std::string& s) override { InsertObject(index, s, nullptr); }
    void InsertObject(int index, const std::string& s, TObject* object) override;
    void Delete(int index) override;
    void Clear() override;
    int IndexOf(const std::string& s) const override;

    // The window was made: the kept items move into it. Before it goes: they move back here.
    void WindowCreated();
    void WindowDestroying();

private:
    bool Live() const { return FControl->HandleAllocated(); }
    LRESULT Send(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) const;
    void CheckIndex(int index) const;

    TWinControl* FControl;
    TMessages FMsg;
    std::unique_ptr<TStringList, TObjectFree> FKept;
};

enum TComboBoxStyle { csDropDown, csSimple, csDropDownList, csOwnerDrawFixed, csOwnerDrawVariable };
using TDrawItemEvent = TEvent<TWinControl*, int, const RECT&, UINT>;

// A combo box: editable or a pick list, optionally drawn by its owner. Items and the selection
// survive the window being made again. The edit and list parts are reachable as windows and
// their messages pass through a virtual routine.
class TCustomComboBox : public TSystemControl {
    SF_CLASS(TCustomComboBox)
public:
    explicit TCustomComboBox(TComponent* owner = nullptr);
    ~TCustomComboBox() override;

    TStrings* GetItems() const { return FItems.get(); }
    void SetItems(TStrings* value) { FItems->Assign(value); }
    void AddItem(const std::string& item, TObject* object) { FItems->AddObject(item, object); }
    int GetItemIndex() const;
    void SetItemIndex(int value);
    TComboBoxStyle GetStyle() const { return FStyle; }
    void SetStyle(TComboBoxStyle value);
    int GetDropDownCount() const { return FDropDownCount; }
    void SetDropDownCount(int value) { FDropDownCount = value; }
    // The height of the list's items (owner-drawn styles).
    int GetItemHeight() const { return FItemHeight; }
    void SetItemHeight(int value);
    bool GetDroppedDown() const;
    void SetDroppedDown(bool value);
    // The edit part (none for a pick list) and the list part, while the window exists.
    HWND GetEditHandle() const;
    HWND GetListHandle() const;
    // The selection in the edit part.
    int GetSelStart();
    void SetSelStart(int value);
    int GetSelLength();
    void SetSelLength(int value);
    std::string GetSelText();
    // The window of a drop-down combo box also spans its list: its height is kept apart.
    void SetBounds(int left, int top, int width, int height) override;
    // How typing selects items, for combo boxes that complete what is typed: complete the text
    // from the items (AutoComplete), open the list on a key (AutoDropDown), close it on an exact
    // match (AutoCloseUp).
    bool GetAutoComplete() const { return FAutoComplete; }
    void SetAutoComplete(bool value) { FAutoComplete = value; }
    bool GetAutoDropDown() const { return FAutoDropDown; }
    void SetAutoDropDown(bool value) { FAutoDropDown = value; }
    bool GetAutoCloseUp() const { return FAutoCloseUp; }
    void SetAutoCloseUp(bool value) { FAutoCloseUp = value; }

    TNotifyEvent OnChange;
    TNotifyEvent OnSelect;
    TNotifyEvent OnDropDown;
    TNotifyEvent OnCloseUp;
    // Draws an owner-drawn item inside OnDrawItem or DrawItem.
    TCanvas* GetCanvas() const { return FCanvas.get(); }
    TDrawItemEvent OnDrawItem;

    void Dispatch(TMessage& message) override;

protected:
    void CreateParams(TCreateParams& params) override;
    void CreateWnd() override;
    void DestroyWnd() override;
    void CNCommand(TMessage& message) override;
    virtual void Change();
    virtual void Select();
    // Draws one item of an owner-drawn list (state: the ODS_ flags); OnDrawItem when set.
    virtual void DrawItem(int index, const RECT& rect, UINT state);
    // Every message of the edit and list parts, with the part's own procedure. The base
    // closes an open list on Enter and Esc and passes everything else on.
    virtual void ComboChildWndProc(TMessage& message, HWND child, WNDPROC original);
    // The typing and the focus of the edit part are the box's own (its key events, leaving it):
    // focus and key-down messages of the edit part go through the box first. True when they
    // were swallowed there and the edit part must not see them.
    bool RouteEditMessage(TMessage& message, HWND child);

private:
    static LRESULT CALLBACK ChildWndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
    void SubclassChild(HWND child);
    bool IsEditable() const { return FStyle == csDropDown || FStyle == csSimple; }
    void CNDrawItem(TMessage& message);

    std::unique_ptr<TListControlStrings, TObjectFree> FItems;
    std::unique_ptr<TCanvas, TObjectFree> FCanvas;
    TComboBoxStyle FStyle = csDropDown;
    int FDropDownCount = 8;
    int FItemHeight = 16;
    int FKeptIndex = -1;
    bool FAutoComplete = true;
    bool FAutoDropDown = false;
    bool FAutoCloseUp = false;
};

class TComboBox : public TCustomComboBox {
    SF_CLASS(TComboBox)
public:
    using TCustomComboBox::TCustomComboBox;
};

// A list box of strings with one selected item.
class TListBox : public TSystemControl {
    SF_CLASS(TListBox)
public:
    explicit TListBox(TComponent* owner = nullptr);
    ~TListBox() override;

    TStrings* GetItems() const { return FItems.get(); }
    void SetItems(TStrings* value) { FItems->Assign(value); }
    int GetItemIndex() const;
    void SetItemIndex(int value);

protected:
    void CreateParams(TCreateParams& params) override;
    void CreateWnd() override;
    void DestroyWnd() override;
    void CNCommand(TMessage& message) override;

private:
    std::unique_ptr<TListControlStrings, TObjectFree> FItems;
    int FKeptIndex = -1;
};

// A single-line edit. OnChange follows every change of the text.
class TCustomEdit : public TSystemControl {
    SF_CLASS(TCustomEdit)
public:
    explicit TCustomEdit(TComponent* owner = nullptr);

    bool GetReadOnly() const { return FReadOnly; }
    void SetReadOnly(bool value);
    char GetPasswordChar() const { return FPasswordChar; }
    void SetPasswordChar(char value);
    // 0: no limit.
    int GetMaxLength() const { return FMaxLength; }
    void SetMaxLength(int value);
    int GetSelStart();
    void SetSelStart(int value);
    int GetSelLength();
    void SetSelLength(int value);
    void SelectAll();

    TNotifyEvent OnChange;
    void Dispatch(TMessage& message) override;

protected:
    void CreateParams(TCreateParams& params) override;
    void CreateWnd() override;
    void CNCommand(TMessage& message) override;
    virtual void Change();

private:
    bool FReadOnly = false;
    bool FSettingText = false;
    char FPasswordChar = 0;
    int FMaxLength = 0;
};

class TEdit : public TCustomEdit {
    SF_CLASS(TEdit)
public:
    using TCustomEdit::TCustomEdit;
};

enum TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };

// A multi-line edit whose lines are a string list.
class TMemo : public TCustomEdit {
    SF_CLASS(TMemo)
public:
    explicit TMemo(TComponent* owner = nullptr);
    ~TMemo() override;

    TStrings* GetLines() const { return FLines.get(); }
    void SetLines(TStrings* value) { FLines->Assign(value); }
    bool GetWordWrap() const { return FWordWrap; }
    void SetWordWrap(bool value);
    TScrollStyle GetScrollBars() const { return FScrollBars; }
    void SetScrollBars(TScrollStyle value);

protected:
    void CreateParams(TCreateParams& params) override;

private:
    std::unique_ptr<TStrings, TObjectFree> FLines;
    bool FWordWrap = true;
    TScrollStyle FScrollBars = ssNone;
};

// A frame with a caption around other controls.
class TGroupBox : public TSystemControl {
    SF_CLASS(TGroupBox)
public:
    explicit TGroupBox(TComponent* owner = nullptr);

protected:
    void CreateParams(TCreateParams& params) override;
    void AdjustClientRect(RECT& rect) override;
};

enum TAlignment { taLeftJustify, taRightJustify, taCenter };
enum TTextLayout { tlTop, tlCenter, tlBottom };

// Text painted on its parent: alignment, wrapping, transparency, the accelerator that focuses
// another control, and a size that follows the text.
class TLabel : public TGraphicControl {
    SF_CLASS(TLabel)
public:
    explicit TLabel(TComponent* owner = nullptr);

    TAlignment GetAlignment() const { return FAlignment; }
    void SetAlignment(TAlignment value);
    TTextLayout GetLayout() const { return FLayout; }
    void SetLayout(TTextLayout value);
    bool GetWordWrap() const { return FWordWrap; }
    void SetWordWrap(bool value);
    bool GetTransparent() const { return FTransparent; }
    void SetTransparent(bool value);
    bool GetAutoSize() const { return FAutoSize; }
    void SetAutoSize(bool value);
    bool GetShowAccelChar() const { return FShowAccelChar; }
    void SetShowAccelChar(bool value);
    TWinControl* GetFocusControl() const { return FFocusControl; }
    void SetFocusControl(TWinControl* value);

    void Dispatch(TMessage& message) override;

protected:
    void Paint() override;
    void Notification(TComponent* component, TOperation operation) override;
    // Fits the bounds to the text (keeping the width when wrapping).
    void AdjustBounds();

private:
    UINT DrawFlags() const;

    TAlignment FAlignment = taLeftJustify;
    TTextLayout FLayout = tlTop;
    bool FWordWrap = false;
    bool FTransparent = false;
    bool FAutoSize = true;
    bool FShowAccelChar = true;
    TWinControl* FFocusControl = nullptr;
};
