// The two Unicode controls the program places on forms: a combo box and a push button with wide
// windows, keeping every behaviour of the class library's ones with texts, items, hints and
// typed characters in UTF-16.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "platform/StdCtrls.h"
#include "unicode/UniClasses.h"
#include "unicode/UniControls.h"

class TUniCustomComboBox;

// The items of a Unicode combo box: wide messages to its Unicode window; the 8-bit items where
// the window is not Unicode; a wide list of the combo box's own while it has no window.
class TUniComboBoxStrings : public TUniStrings {
    SF_CLASS(TUniComboBoxStrings)
public:
    explicit TUniComboBoxStrings(TUniCustomComboBox* comboBox) : FComboBox(comboBox) {}

    std::wstring Get(int index) const override;
    TObject* GetObject(int index) const override;
    void PutObject(int index, TObject* object) override;
    int GetCount() const override;
    // A line the window refuses raises EOutOfResources "Unable to insert a line".
    int Add(const std::wstring& s) override;
    void Insert(int index, const std::wstring& s) override;
    void Delete(int index) override;
    // Keeps the combo box's text.
    void Clear() override;
    // Exact, without regard to case.
    int IndexOf(const std::wstring& s) const override;

protected:
    void SetUpdateState(bool updating) override;

private:
    TUniCustomComboBox* FComboBox;
};

// A combo box with a wide window: wide items, text, selection, hint and type-ahead.
class TUniCustomComboBox : public TCustomComboBox {
    SF_CLASS(TUniCustomComboBox)
public:
    explicit TUniCustomComboBox(TComponent* owner = nullptr);
    ~TUniCustomComboBox() override;

    TUniStrings* GetItems() const { return FItems.get(); }
    virtual void SetItems(TUniStrings* value);
    virtual void AddItem(const std::wstring& item, TObject* object);
    std::wstring GetText();
    void SetText(const std::wstring& value);
    // Hides the class library's own, which cannot see the wide items kept while there is no window.
    void SetItemIndex(int value);
    std::wstring GetHint();
    void SetHint(const std::wstring& value);
    // The selection in the edit part, in characters of the wide text.
    int GetSelStart();
    void SetSelStart(int value);
    int GetSelLength();
    void SetSelLength(int value);
    std::wstring GetSelText();

    // The first item from start on (-1: from the top) that begins with s, without regard to
    // case; -1 when none does.
    int FindString(int start, const std::wstring& s);
    // The item that begins with s when it is the only one, else -1.
    int FindUniqueString(const std::wstring& s);
    // Selects the (unique) item that begins with s: an editable combo box shows s followed by the
    // rest of the item (partial) or the item, the rest selected. Click and Change follow a change.
    // False when no item begins with s.
    bool SelectItem(const std::wstring& s, bool partial, bool unique);

    void Dispatch(TMessage& message) override;
    // Where the type-ahead of a drop-down list takes the time from (tests give their own;
    // nullptr: GetTickCount).
    using TTickSource = DWORD(WINAPI*)();
    static void SetTickSource(TTickSource source);

protected:
    void CreateWindowHandle(const TCreateParams& params) override;
    void CreateWnd() override;
    void DestroyWnd() override;
    void DefineProperties(TFiler* filer) override;
    void CNCommand(TMessage& message) override;
    void DrawItem(int index, const RECT& rect, UINT state) override;
    void ComboChildWndProc(TMessage& message, HWND child, WNDPROC original) override;
    // The type-ahead of a drop-down list with AutoComplete: typed characters within 1250 ms of
    // each other select the first item that begins with all of them.
    virtual void DoAutoCompleteKeyPress(TMessage& message);
    // Completes what is typed into the edit part from the items (editable styles only).
    void AutoCompleteKeyPress(TMessage& message);

private:
    friend class TUniComboBoxStrings;
    bool IsEditable() const { return GetStyle() == csDropDown || GetStyle() == csSimple; }
    bool HasUnicodeWindow() const;
    // The wide list that holds the items while there is no window (taking over 8-bit ones).
    TUniStringList* SavedItems();

    std::unique_ptr<TUniComboBoxStrings, TObjectFree> FItems;
    // The selected index is kept by the class library's side while there is no window.
    std::unique_ptr<TUniStringList, TObjectFree> FSavedItems;
    DWORD FLastTypeAheadTime = 0;
    std::wstring FTypeAhead;
    WNDPROC FEditProc = nullptr;
    WNDPROC FListProc = nullptr;
};

class TUniComboBox : public TUniCustomComboBox {
    SF_CLASS(TUniComboBox)
public:
    using TUniCustomComboBox::TUniCustomComboBox;
};

// A push button with a wide window: wide caption (whose hot key clicks it) and hint.
class TUniButton : public TButton {
    SF_CLASS(TUniButton)
public:
    using TButton::TButton;
    std::wstring GetCaption() { return GetWideText(this); }
    void SetCaption(const std::wstring& value) { SetWideText(this, value); }
    std::wstring GetHint() { return GetWideHint(this); }
    void SetHint(const std::wstring& value) { SetWideHint(this, value); }

    void Dispatch(TMessage& message) override;

protected:
    void CreateWindowHandle(const TCreateParams& params) override;
    void DefineProperties(TFiler* filer) override;
    void ActionChange(TObject* sender, bool checkDefaults) override;
    TButtonActionLink* CreateActionLink() override;
};
