#include "unicode/UniStdCtrls.h"

#include <algorithm>

#include "platform/SysUtils.h"
#include "unicode/UniActnList.h"
#include "unicode/UniForms.h"
#include "unicode/UniGraphics.h"

SF_IMPLEMENT_ABSTRACT(TUniComboBoxStrings, TUniStrings)
SF_IMPLEMENT_COMPONENT(TUniCustomComboBox, TCustomComboBox)
SF_IMPLEMENT_COMPONENT(TUniComboBox, TUniCustomComboBox)
SF_IMPLEMENT_COMPONENT(TUniButton, TButton)

namespace {
TUniCustomComboBox::TTickSource gTickSource = &GetTickCount;
// Keys that arrive further apart than this start a new type-ahead search.
constexpr DWORD kTypeAheadGap = 1250;

void CheckInserted(LRESULT index)
{
    if (index < 0)
        throw EOutOfResources("Unable to insert a line");
}
}

// ---- TUniComboBoxStrings ----

std::wstring TUniComboBoxStrings::Get(int index) const
{
    if (!FComboBox->HandleAllocated())
        return FComboBox->SavedItems()->Get(index);
    if (!FComboBox->HasUnicodeWindow())
        return WidenText(FComboBox->TCustomComboBox::GetItems()->Get(index));
    HWND wnd = FComboBox->GetWindowHandle();
    LRESULT length = SendMessageW(wnd, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length < 0)
        return {};
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    LRESULT got = SendMessageW(wnd, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(std::clamp<LRESULT>(got, 0, length)));
    return text;
}

TObject* TUniComboBoxStrings::GetObject(int index) const
{
    if (!FComboBox->HandleAllocated())
        return FComboBox->SavedItems()->GetObject(index);
    return FComboBox->TCustomComboBox::GetItems()->GetObject(index);
}

void TUniComboBoxStrings::PutObject(int index, TObject* object)
{
    if (!FComboBox->HandleAllocated())
        FComboBox->SavedItems()->PutObject(index, object);
    else
        FComboBox->TCustomComboBox::GetItems()->PutObject(index, object);
}

int TUniComboBoxStrings::GetCount() const
{
    if (!FComboBox->HandleAllocated())
        return FComboBox->SavedItems()->Count();
    return FComboBox->TCustomComboBox::GetItems()->Count();
}

int TUniComboBoxStrings::Add(const std::wstring& s)
{
    if (!FComboBox->HandleAllocated())
        return FComboBox->SavedItems()->Add(s);
    if (!FComboBox->HasUnicodeWindow())
        return FComboBox->TCustomComboBox::GetItems()->Add(NarrowText(s));
    LRESULT index = SendMessageW(FComboBox->GetWindowHandle(), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s.c_str()));
    CheckInserted(index);
    return static_cast<int>(index);
}

void TUniComboBoxStrings::Insert(int index, const std::wstring& s)
{
    if (!FComboBox->HandleAllocated()) {
        FComboBox->SavedItems()->Insert(index, s);
        return;
    }
    if (!FComboBox->HasUnicodeWindow()) {
        FComboBox->TCustomComboBox::GetItems()->Insert(index, NarrowText(s));
        return;
    }
    if (index < 0 || index > GetCount())
        Error("List index out of bounds (%d)", index);
    CheckInserted(SendMessageW(FComboBox->GetWindowHandle(), CB_INSERTSTRING, static_cast<WPARAM>(index),
                               reinterpret_cast<LPARAM>(s.c_str())));
}

void TUniComboBoxStrings::Delete(int index)
{
    if (!FComboBox->HandleAllocated())
        FComboBox->SavedItems()->Delete(index);
    else
        FComboBox->TCustomComboBox::GetItems()->Delete(index);
}

void TUniComboBoxStrings::Clear()
{
    if (!FComboBox->HandleAllocated()) {
        FComboBox->SavedItems()->Clear();
        return;
    }
    // Emptying the list empties the edit part too; the text stays what it was. A pick list has
    // no text but its items'.
    std::wstring text = GetWideText(FComboBox);
    SendMessageW(FComboBox->GetWindowHandle(), CB_RESETCONTENT, 0, 0);
    if (FComboBox->IsEditable())
        SetWideText(FComboBox, text);
    FComboBox->Update();
}

int TUniComboBoxStrings::IndexOf(const std::wstring& s) const
{
    if (!FComboBox->HandleAllocated())
        return FComboBox->SavedItems()->IndexOf(s);
    if (!FComboBox->HasUnicodeWindow())
        return FComboBox->TCustomComboBox::GetItems()->IndexOf(NarrowText(s));
    LRESULT index = SendMessageW(FComboBox->GetWindowHandle(), CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                 reinterpret_cast<LPARAM>(s.c_str()));
    return index < 0 ? -1 : static_cast<int>(index);
}

void TUniComboBoxStrings::SetUpdateState(bool updating)
{
    if (!FComboBox->HandleAllocated())
        return;
    if (updating)
        FComboBox->TCustomComboBox::GetItems()->BeginUpdate();
    else
        FComboBox->TCustomComboBox::GetItems()->EndUpdate();
}

// ---- TUniCustomComboBox ----

TUniCustomComboBox::TUniCustomComboBox(TComponent* owner)
    : TCustomComboBox(owner), FItems(New<TUniComboBoxStrings>(this))
{
}

TUniCustomComboBox::~TUniCustomComboBox() = default;

void TUniCustomComboBox::SetTickSource(TTickSource source)
{
    gTickSource = source ? source : &GetTickCount;
}

bool TUniCustomComboBox::HasUnicodeWindow() const
{
    return HandleAllocated() && IsUnicodePlatform() && IsWindowUnicode(GetWindowHandle());
}

TUniStringList* TUniCustomComboBox::SavedItems()
{
    if (!FSavedItems) {
        FSavedItems.reset(New<TUniStringList>());
        // Items given to the 8-bit list before take their place first.
        TStrings* ansi = TCustomComboBox::GetItems();
        FSavedItems->Assign(ansi);
        ansi->Clear();
    }
    return FSavedItems.get();
}

void TUniCustomComboBox::SetItems(TUniStrings* value)
{
    FItems->Assign(value);
}

void TUniCustomComboBox::AddItem(const std::wstring& item, TObject* object)
{
    FItems->AddObject(item, object);
}

std::wstring TUniCustomComboBox::GetText()
{
    return GetWideText(this);
}

void TUniCustomComboBox::SetText(const std::wstring& value)
{
    SetWideText(this, value);
}

void TUniCustomComboBox::SetItemIndex(int value)
{
    // Without a window the chosen item is the text the window will show, not a caption that came
    // before it (the name an editable box takes as its text).
    if (!HandleAllocated() && value >= 0 && value < SavedItems()->Count())
        SetText(SavedItems()->Get(value));
    TCustomComboBox::SetItemIndex(value);
}

std::wstring TUniCustomComboBox::GetHint()
{
    return GetWideHint(this);
}

void TUniCustomComboBox::SetHint(const std::wstring& value)
{
    SetWideHint(this, value);
}

int TUniCustomComboBox::GetSelStart()
{
    int start = TCustomComboBox::GetSelStart();
    if (HasUnicodeWindow())
        return start;
    // The system counts bytes of the 8-bit text.
    return static_cast<int>(WidenText(TControl::GetText().substr(0, static_cast<size_t>(start))).size());
}

void TUniCustomComboBox::SetSelStart(int value)
{
    if (!HasUnicodeWindow())
        value = static_cast<int>(NarrowText(GetText().substr(0, static_cast<size_t>(std::max(value, 0)))).size());
    TCustomComboBox::SetSelStart(value);
}

int TUniCustomComboBox::GetSelLength()
{
    if (HasUnicodeWindow())
        return TCustomComboBox::GetSelLength();
    std::string text = TControl::GetText();
    int start = TCustomComboBox::GetSelStart();
    int length = TCustomComboBox::GetSelLength();
    return static_cast<int>(WidenText(text.substr(static_cast<size_t>(start), static_cast<size_t>(length))).size());
}

void TUniCustomComboBox::SetSelLength(int value)
{
    if (!HasUnicodeWindow()) {
        std::wstring text = GetText();
        size_t start = std::min(static_cast<size_t>(GetSelStart()), text.size());
        value = static_cast<int>(NarrowText(text.substr(start, static_cast<size_t>(std::max(value, 0)))).size());
    }
    TCustomComboBox::SetSelLength(value);
}

std::wstring TUniCustomComboBox::GetSelText()
{
    std::wstring text = GetText();
    size_t start = std::min(static_cast<size_t>(std::max(GetSelStart(), 0)), text.size());
    return text.substr(start, static_cast<size_t>(std::max(GetSelLength(), 0)));
}

int TUniCustomComboBox::FindString(int start, const std::wstring& s)
{
    HWND wnd = GetHandle();
    LRESULT index = HasUnicodeWindow()
                        ? SendMessageW(wnd, CB_FINDSTRING, static_cast<WPARAM>(start), reinterpret_cast<LPARAM>(s.c_str()))
                        : SendMessageA(wnd, CB_FINDSTRING, static_cast<WPARAM>(start),
                                       reinterpret_cast<LPARAM>(NarrowText(s).c_str()));
    return index < 0 ? -1 : static_cast<int>(index);
}

int TUniCustomComboBox::FindUniqueString(const std::wstring& s)
{
    int first = FindString(-1, s);
    // The search wraps round: a unique match finds itself again.
    return first >= 0 && FindString(first, s) == first ? first : -1;
}

bool TUniCustomComboBox::SelectItem(const std::wstring& s, bool partial, bool unique)
{
    int index = unique ? FindUniqueString(s) : FindString(-1, s);
    if (index < 0)
        return false;
    std::wstring item = FItems->Get(index);
    bool changed = GetStyle() == csDropDownList ? GetItemIndex() != index : GetText() != item;
    if (GetAutoCloseUp() && FItems->IndexOf(s) >= 0 && GetDroppedDown())
        SetDroppedDown(false);
    SetItemIndex(index);
    if (IsEditable()) {
        std::wstring text = partial ? s + item.substr(std::min(s.size(), item.size())) : item;
        SetText(text);
        SetSelStart(static_cast<int>(s.size()));
        SetSelLength(static_cast<int>(text.size() - std::min(s.size(), text.size())));
    }
    if (changed) {
        Click();
        Change();
    }
    return true;
}

void TUniCustomComboBox::CreateWindowHandle(const TCreateParams& params)
{
    CreateWideWindow(this, params, L"COMBOBOX", false);
}

void TUniCustomComboBox::CreateWnd()
{
    // What the class library keeps of the text and the selection without a window.
    std::wstring text = GetWideText(this);
    int index = GetItemIndex();
    TCustomComboBox::CreateWnd();
    if (HasUnicodeWindow()) {
        // The class library's subclassing made the children 8-bit windows: make them wide again.
        for (HWND child : {GetEditHandle(), GetListHandle()}) {
            if (!child)
                continue;
            SetWindowLongPtrW(child, GWLP_WNDPROC, GetWindowLongPtrA(child, GWLP_WNDPROC));
        }
        HWND edit = GetEditHandle();
        HWND list = GetListHandle();
        FEditProc = edit ? reinterpret_cast<WNDPROC>(GetClassLongPtrW(edit, GCLP_WNDPROC)) : nullptr;
        FListProc = list ? reinterpret_cast<WNDPROC>(GetClassLongPtrW(list, GCLP_WNDPROC)) : nullptr;
    }
    if (FSavedItems) {
        std::unique_ptr<TUniStringList, TObjectFree> saved(FSavedItems.release());
        FItems->Assign(saved.get());
    }
    if (index >= 0 && FItems->Count() > 0)
        SetItemIndex(std::min(index, FItems->Count() - 1));
    if (IsEditable())
        SetWideText(this, text);
}

void TUniCustomComboBox::DestroyWnd()
{
    if (HandleAllocated() && !HasState(csDestroying) && FItems->Count() > 0) {
        std::unique_ptr<TUniStringList, TObjectFree> saved(New<TUniStringList>());
        saved->Assign(FItems.get());
        TCustomComboBox::DestroyWnd();
        TCustomComboBox::GetItems()->Clear();
        FSavedItems = std::move(saved);
        return;
    }
    TCustomComboBox::DestroyWnd();
}

void TUniCustomComboBox::DefineProperties(TFiler* filer)
{
    TCustomComboBox::DefineProperties(filer);
    TUniWideStringPropertyFiler wide(filer, this);
    wide.Define("Text", [this] { return GetText(); }, [this](const std::wstring& v) { SetText(v); });
    wide.Define("Hint", [this] { return GetHint(); }, [this](const std::wstring& v) { SetHint(v); });
    DefineWideStringsProperties(filer, this, "Items.", FItems.get());
}

void TUniCustomComboBox::CNCommand(TMessage& m)
{
    if (HIWORD(m.WParam) != CBN_SELCHANGE) {
        TCustomComboBox::CNCommand(m);
        return;
    }
    int index = GetItemIndex();
    if (index >= 0)
        SetText(FItems->Get(index));
    Click();
    Change();
}

void TUniCustomComboBox::DrawItem(int index, const RECT& rect, UINT state)
{
    if (OnDrawItem) {
        OnDrawItem(this, index, rect, state);
        return;
    }
    TCanvas* canvas = GetCanvas();
    canvas->FillRect(rect);
    if (index >= 0 && index < FItems->Count())
        OutputWideText(canvas, rect.left + 2, rect.top, FItems->Get(index));
}

void TUniCustomComboBox::Dispatch(TMessage& m)
{
    // A pick list completes typing itself rather than leaving it to the window's own search.
    if (m.Msg == WM_CHAR && GetStyle() == csDropDownList && GetAutoComplete()) {
        if (!DoKeyPress(m))
            DoAutoCompleteKeyPress(m);
        m.Result = 0;
        return;
    }
    TCustomComboBox::Dispatch(m);
}

void TUniCustomComboBox::ComboChildWndProc(TMessage& m, HWND child, WNDPROC original)
{
    if (!HasUnicodeWindow() || !IsWindowUnicode(child)) {
        TCustomComboBox::ComboChildWndProc(m, child, original);
        return;
    }
    WNDPROC proc = child == GetEditHandle() ? FEditProc : child == GetListHandle() ? FListProc : nullptr;
    if (!proc)
        proc = reinterpret_cast<WNDPROC>(GetClassLongPtrW(child, GCLP_WNDPROC));
    if (RouteEditMessage(m, child)) {
        m.Result = 0;
        return;
    }
    switch (m.Msg) {
    case WM_CHAR: {
        MakeWMCharMsgSafeForAnsi(m);
        if (DoKeyPress(m)) {
            m.Result = 0;
            return;
        }
        wchar_t ch = GetWideCharFromWMCharMsg(m);
        if ((ch == VK_RETURN || ch == VK_ESCAPE) && GetDroppedDown()) {
            SetDroppedDown(false);
            m.Result = 0;
            return;
        }
        if (IsEditable() && GetAutoComplete()) {
            AutoCompleteKeyPress(m);
            if (GetWideCharFromWMCharMsg(m) == 0) {
                m.Result = 0;
                return;
            }
        }
        RestoreWMCharMsg(m);
        break;
    }
    case WM_IME_CHAR:
        m.Result = SendMessageW(child, WM_CHAR, m.WParam, m.LParam);
        return;
    default:
        break;
    }
    m.Result = CallWindowProcW(proc, child, m.Msg, m.WParam, m.LParam);
}

void TUniCustomComboBox::DoAutoCompleteKeyPress(TMessage& m)
{
    wchar_t ch = GetWideCharFromWMCharMsg(m);
    switch (ch) {
    case VK_BACK:
        if (!FTypeAhead.empty())
            FTypeAhead.pop_back();
        return;
    case VK_TAB:
        if (GetAutoDropDown() && GetDroppedDown())
            SetDroppedDown(false);
        return;
    case VK_ESCAPE:
        return;
    default:
        break;
    }
    if (GetAutoDropDown() && !GetDroppedDown())
        SetDroppedDown(true);
    DWORD now = gTickSource();
    // Unsigned: the tick count wraps every 49.7 days.
    if (now - FLastTypeAheadTime >= kTypeAheadGap)
        FTypeAhead.clear();
    FLastTypeAheadTime = now;
    if (SelectItem(FTypeAhead + ch, false, false))
        FTypeAhead += ch;
}

void TUniCustomComboBox::AutoCompleteKeyPress(TMessage& m)
{
    Assert(IsEditable(),
           "Internal Error: UniCombo_AutoCompleteKeyPress is only for csSimple and csDropDown style combo boxes.");
    if (!GetAutoComplete())
        return;
    wchar_t ch = GetWideCharFromWMCharMsg(m);
    switch (ch) {
    case VK_BACK:
    case VK_ESCAPE:
        return;
    case VK_TAB:
        if (GetAutoDropDown() && GetDroppedDown())
            SetDroppedDown(false);
        return;
    default:
        break;
    }
    if (ch < L' ')
        return;
    if (GetAutoDropDown() && !GetDroppedDown()) {
        // Opening the list selects the whole text: keep what the user had.
        std::wstring text = GetText();
        int start = GetSelStart();
        int length = GetSelLength();
        SetDroppedDown(true);
        SetText(text);
        SetSelStart(start);
        SetSelLength(length);
    }
    std::wstring text = GetText();
    int start = GetSelStart();
    int length = GetSelLength();
    if (static_cast<size_t>(start + length) != text.size())
        return;
    if (SelectItem(text.substr(0, static_cast<size_t>(start)) + ch, true, false))
        m.WParam = 0;
}

// ---- TUniButton ----

void TUniButton::CreateWindowHandle(const TCreateParams& params)
{
    CreateWideWindow(this, params, L"BUTTON", false);
}

void TUniButton::DefineProperties(TFiler* filer)
{
    TButton::DefineProperties(filer);
    TUniWideStringPropertyFiler wide(filer, this);
    wide.Define("Caption", [this] { return GetCaption(); }, [this](const std::wstring& v) { SetCaption(v); });
    wide.Define("Hint", [this] { return GetHint(); }, [this](const std::wstring& v) { SetHint(v); });
}

void TUniButton::Dispatch(TMessage& m)
{
    if (m.Msg != CM_DIALOGCHAR) {
        TButton::Dispatch(m);
        return;
    }
    // A character above 255 may arrive carried past the 8-bit key path.
    WORD code = LOWORD(m.WParam);
    WORD carried = HIWORD(m.WParam);
    if (MatchesWideAccel(code == 255 && carried ? carried : code, GetCaption()) && CanFocus()) {
        Click();
        m.Result = 1;
        return;
    }
    // Not the class library's test of the 8-bit caption: its narrowed marks would match '?'.
    TButtonControl::Dispatch(m);
}

void TUniButton::ActionChange(TObject* sender, bool checkDefaults)
{
    UniControlActionChange(this, sender, checkDefaults);
    TButton::ActionChange(sender, checkDefaults);
}

TButtonActionLink* TUniButton::CreateActionLink()
{
    TClass link = GetUniActionLinkClass(this, TButtonActionLink::StaticClass());
    return As<TButtonActionLink>(CreateInstance(link, this));
}
