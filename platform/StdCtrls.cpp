#include "platform/StdCtrls.h"

#include <algorithm>
#include <cctype>

#include "platform/Forms.h"
#include "platform/ScopeGuards.h"

SF_IMPLEMENT_COMPONENT(TSystemControl, TWinControl)
SF_IMPLEMENT_ABSTRACT(TControlActionLink, TActionLink)
SF_IMPLEMENT_ABSTRACT(TButtonActionLink, TControlActionLink)
SF_IMPLEMENT_COMPONENT(TButtonControl, TSystemControl)
SF_IMPLEMENT_COMPONENT(TButton, TButtonControl)
SF_IMPLEMENT_COMPONENT(TCheckBox, TButtonControl)
SF_IMPLEMENT_COMPONENT(TRadioButton, TButtonControl)
SF_IMPLEMENT_ABSTRACT(TListControlStrings, TStrings)
SF_IMPLEMENT_COMPONENT(TCustomComboBox, TSystemControl)
SF_IMPLEMENT_COMPONENT(TComboBox, TCustomComboBox)
SF_IMPLEMENT_COMPONENT(TListBox, TSystemControl)
SF_IMPLEMENT_COMPONENT(TCustomEdit, TSystemControl)
SF_IMPLEMENT_COMPONENT(TEdit, TCustomEdit)
SF_IMPLEMENT_COMPONENT(TMemo, TCustomEdit)
SF_IMPLEMENT_COMPONENT(TGroupBox, TSystemControl)
SF_IMPLEMENT_COMPONENT(TLabel, TGraphicControl)

namespace {

// True when the character is the accelerator ('&' before it, "&&" being a plain ampersand).
bool IsAccel(WPARAM ch, const std::string& caption)
{
    for (size_t i = 0; i + 1 < caption.size(); ++i) {
        if (caption[i] != '&')
            continue;
        if (caption[i + 1] == '&') {
            ++i;
            continue;
        }
        return std::toupper(static_cast<unsigned char>(caption[i + 1])) == std::toupper(static_cast<int>(ch & 0xFF));
    }
    return false;
}

const TListControlStrings::TMessages kComboMessages{CB_GETCOUNT,    CB_GETLBTEXTLEN,  CB_GETLBTEXT,
                                                    CB_GETITEMDATA, CB_SETITEMDATA,   CB_ADDSTRING,
                                                    CB_INSERTSTRING, CB_DELETESTRING, CB_RESETCONTENT,
                                                    CB_FINDSTRINGEXACT, static_cast<UINT>(CB_ERR)};
const TListControlStrings::TMessages kListMessages{LB_GETCOUNT,    LB_GETTEXTLEN,  LB_GETTEXT,
                                                   LB_GETITEMDATA, LB_SETITEMDATA, LB_ADDSTRING,
                                                   LB_INSERTSTRING, LB_DELETESTRING, LB_RESETCONTENT,
                                                   LB_FINDSTRINGEXACT, static_cast<UINT>(LB_ERR)};

// The lines of a memo: the control's text split at line breaks.
class TMemoStrings : public TStrings {
public:
    explicit TMemoStrings(TMemo* memo) : FMemo(memo) {}

    std::string Get(int index) const override
    {
        std::vector<std::string> lines = Lines();
        Check(index, lines);
        return lines[static_cast<size_t>(index)];
    }
    int GetCount() const override { return static_cast<int>(Lines().size()); }
    void Put(int index, const std::string& s) override
    {
        std::vector<std::string> lines = Lines();
        Check(index, lines);
        lines[static_cast<size_t>(index)] = s;
        Store(lines);
    }
    void Insert(int index, const std::string& s) override
    {
        std::vector<std::string> lines = Lines();
        if (index < 0 || index > static_cast<int>(lines.size()))
            Error("List index out of bounds (%d)", index);
        lines.insert(lines.begin() + index, s);
        Store(lines);
    }
    void Delete(int index) override
    {
        std::vector<std::string> lines = Lines();
        Check(index, lines);
        lines.erase(lines.begin() + index);
        Store(lines);
    }
    void Clear() override { FMemo->SetText({}); }
    std::string GetText() const override { return FMemo->GetText(); }
    void SetText(const std::string& text) override
    {
        std::unique_ptr<TStringList, TObjectFree> list(New<TStringList>());
        list->SetText(text);
        std::vector<std::string> lines;
        for (int i = 0; i < list->Count(); ++i)
            lines.push_back(list->Get(i));
        Store(lines);
    }

private:
    std::vector<std::string> Lines() const
    {
        std::string text = FMemo->GetText();
        std::vector<std::string> lines;
        if (text.empty())
            return lines;
        std::unique_ptr<TStringList, TObjectFree> list(New<TStringList>());
        list->SetText(text);
        for (int i = 0; i < list->Count(); ++i)
            lines.push_back(list->Get(i));
        // A text that ends in a line break has an empty last line in the control.
        if (text.back() == '\n' || text.back() == '\r')
            lines.emplace_back();
        return lines;
    }
    void Store(const std::vector<std::string>& lines)
    {
        std::string text;
        for (size_t i = 0; i < lines.size(); ++i) {
            if (i > 0)
                text += "\r\n";
            text += lines[i];
        }
        FMemo->SetText(text);
    }
    void Check(int index, const std::vector<std::string>& lines) const
    {
        if (index < 0 || index >= static_cast<int>(lines.size()))
            Error("List index out of bounds (%d)", index);
    }

    TMemo* FMemo;
};

}

// ---------------------------------------------------------------------------------------------
// TSystemControl

void TSystemControl::Dispatch(TMessage& m)
{
    switch (m.Msg) {
    case CN_COMMAND:
        CNCommand(m);
        return;
    case CN_NOTIFY:
        CNNotify(m);
        return;
    default:
        TWinControl::Dispatch(m);
    }
}

// ---------------------------------------------------------------------------------------------
// Action links

void TControlActionLink::AssignClient(TObject* client)
{
    FClient = As<TControl>(client);
}
bool TControlActionLink::IsCaptionLinked()
{
    return TActionLink::IsCaptionLinked() && FClient->GetCaption() == CustomAction()->GetCaption();
}
bool TControlActionLink::IsEnabledLinked()
{
    return TActionLink::IsEnabledLinked() && FClient->GetEnabled() == CustomAction()->GetEnabled();
}
bool TControlActionLink::IsHintLinked()
{
    return TActionLink::IsHintLinked() && FClient->GetHint() == CustomAction()->GetHint();
}
bool TControlActionLink::IsVisibleLinked()
{
    return TActionLink::IsVisibleLinked() && FClient->GetVisible() == CustomAction()->GetVisible();
}
bool TControlActionLink::IsOnExecuteLinked()
{
    return TActionLink::IsOnExecuteLinked() && FAction && FClient->OnClick == FAction->GetOnExecute();
}
void TControlActionLink::SetCaption(const std::string& value)
{
    if (IsCaptionLinked())
        FClient->SetCaption(value);
}
void TControlActionLink::SetEnabled(bool value)
{
    if (IsEnabledLinked())
        FClient->SetEnabled(value);
}
void TControlActionLink::SetHint(const std::string& value)
{
    if (IsHintLinked())
        FClient->SetHint(value);
}
void TControlActionLink::SetVisible(bool value)
{
    if (IsVisibleLinked())
        FClient->SetVisible(value);
}
void TControlActionLink::SetOnExecute(const TNotifyEvent& value)
{
    if (IsOnExecuteLinked())
        FClient->OnClick = value;
}

bool TButtonActionLink::IsCheckedLinked()
{
    return TActionLink::IsCheckedLinked() && Is<TButtonControl>(FClient) &&
           static_cast<TButtonControl*>(FClient)->GetChecked() == CustomAction()->GetChecked();
}

void TButtonActionLink::SetChecked(bool value)
{
    if (!IsCheckedLinked())
        return;
    // The action is already running (it checks itself): no second click.
    auto* button = static_cast<TButtonControl*>(FClient);
    TFlagScope clicksDisabled(button->FClicksDisabled);
    button->SetChecked(value);
}

// ---------------------------------------------------------------------------------------------
// TButtonControl

TButtonControl::TButtonControl(TComponent* owner) : TSystemControl(owner)
{
    // Clicks come from the system button's notification, not from the mouse messages.
    SetControlStyle(csSetCaption | csDoubleClicks);
    SetTabStop(true);
}

TButtonControl::~TButtonControl() = default;

TBasicAction* TButtonControl::GetAction() const
{
    return FActionLink.GetAction();
}

void TButtonControl::SetAction(TBasicAction* value)
{
    FActionLink.SetAction(value);
}

TButtonActionLink* TButtonControl::CreateActionLink()
{
    return New<TButtonActionLink>(this);
}

void TButtonControl::ActionChange(TObject* sender, bool checkDefaults)
{
    auto* action = Is<TCustomAction>(sender) ? static_cast<TCustomAction*>(sender) : nullptr;
    if (!action)
        return;
    if (!checkDefaults || GetCaption().empty())
        SetCaption(action->GetCaption());
    if (!checkDefaults || GetEnabled())
        SetEnabled(action->GetEnabled());
    if (!checkDefaults || GetHint().empty())
        SetHint(action->GetHint());
    if (!checkDefaults || GetVisible())
        SetVisible(action->GetVisible());
    if (!checkDefaults || !GetChecked()) {
        FClicksDisabled = true;
        SetChecked(action->GetChecked());
        FClicksDisabled = false;
    }
    if (!checkDefaults || !OnClick)
        OnClick = action->GetOnExecute();
}

void TButtonControl::InitiateAction()
{
    FActionLink.Update();
}

void TButtonControl::Click()
{
    if (FActionLink.Click(OnClick))
        return;
    TSystemControl::Click();
}

void TButtonControl::Notification(TComponent* component, TOperation operation)
{
    TSystemControl::Notification(component, operation);
    FActionLink.Notification(component, operation);
}

// ---------------------------------------------------------------------------------------------
// TButton

TButton::TButton(TComponent* owner) : TButtonControl(owner)
{
    SetBounds(0, 0, 75, 25);
}

void TButton::CreateParams(TCreateParams& p)
{
    TButtonControl::CreateParams(p);
    CreateSubClass(p, "BUTTON");
    p.Style |= FDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
}

void TButton::SetDefault(bool value)
{
    if (value == FDefault)
        return;
    FDefault = value;
    if (HandleAllocated())
        SendMessageA(FHandle, BM_SETSTYLE, value ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
}

void TButton::Click()
{
    if (FModalResult != 0)
        if (TCustomForm* form = GetParentForm(this))
            form->SetModalResult(FModalResult);
    TButtonControl::Click();
}

void TButton::CNCommand(TMessage& m)
{
    if (HIWORD(m.WParam) == BN_CLICKED)
        Click();
}

void TButton::Dispatch(TMessage& m)
{
    if (m.Msg == CM_DIALOGKEY) {
        WORD key = static_cast<WORD>(m.WParam);
        // Enter clicks the focused button, or else the default one.
        TWinControl* focused = FindControl(GetFocus());
        bool enterIsMine = Focused() || (FDefault && !Is<TButton>(focused));
        bool pressed = (key == VK_RETURN && enterIsMine) || (key == VK_ESCAPE && FCancel);
        if (pressed && KeyDataToShiftState(m.LParam) == 0 && CanFocus()) {
            Click();
            m.Result = 1;
            return;
        }
    } else if (m.Msg == CM_DIALOGCHAR) {
        if (IsAccel(m.WParam, GetCaption()) && CanFocus()) {
            Click();
            m.Result = 1;
            return;
        }
    }
    TButtonControl::Dispatch(m);
}

// ---------------------------------------------------------------------------------------------
// TCheckBox

TCheckBox::TCheckBox(TComponent* owner) : TButtonControl(owner)
{
    SetBounds(0, 0, 97, 17);
}

void TCheckBox::CreateParams(TCreateParams& p)
{
    TButtonControl::CreateParams(p);
    CreateSubClass(p, "BUTTON");
    p.Style |= BS_3STATE;
}

void TCheckBox::CreateWnd()
{
    TButtonControl::CreateWnd();
    SendMessageA(FHandle, BM_SETCHECK, static_cast<WPARAM>(FState), 0);
}

void TCheckBox::SetState(TCheckBoxState value)
{
    if (value == FState)
        return;
    FState = value;
    if (HandleAllocated())
        SendMessageA(FHandle, BM_SETCHECK, static_cast<WPARAM>(value), 0);
    if (!FClicksDisabled)
        Click();
}

void TCheckBox::CNCommand(TMessage& m)
{
    if (HIWORD(m.WParam) != BN_CLICKED)
        return;
    switch (FState) {
    case cbUnchecked:
        SetState(cbChecked);
        break;
    case cbChecked:
        SetState(FAllowGrayed ? cbGrayed : cbUnchecked);
        break;
    case cbGrayed:
        SetState(cbUnchecked);
        break;
    }
}

// ---------------------------------------------------------------------------------------------
// TRadioButton

TRadioButton::TRadioButton(TComponent* owner) : TButtonControl(owner)
{
    SetBounds(0, 0, 113, 17);
}

void TRadioButton::CreateParams(TCreateParams& p)
{
    TButtonControl::CreateParams(p);
    CreateSubClass(p, "BUTTON");
    p.Style |= BS_RADIOBUTTON;
}

void TRadioButton::CreateWnd()
{
    TButtonControl::CreateWnd();
    SendMessageA(FHandle, BM_SETCHECK, FChecked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void TRadioButton::SetChecked(bool value)
{
    if (value == FChecked)
        return;
    FChecked = value;
    SetTabStop(value);
    if (HandleAllocated())
        SendMessageA(FHandle, BM_SETCHECK, value ? BST_CHECKED : BST_UNCHECKED, 0);
    if (!value)
        return;
    if (TWinControl* parent = GetParent())
        for (int i = 0; i < parent->GetControlCount(); ++i) {
            TControl* sibling = parent->GetControl(i);
            if (sibling != this && Is<TRadioButton>(sibling))
                static_cast<TRadioButton*>(sibling)->SetChecked(false);
        }
    if (!FClicksDisabled)
        Click();
}

void TRadioButton::CNCommand(TMessage& m)
{
    switch (HIWORD(m.WParam)) {
    case BN_CLICKED:
        SetChecked(true);
        break;
    case BN_DOUBLECLICKED:
        DblClick();
        break;
    default:
        break;
    }
}

// ---------------------------------------------------------------------------------------------
// TListControlStrings

TListControlStrings::TListControlStrings(TWinControl* control, const TMessages& messages)
    : FControl(control), FMsg(messages), FKept(New<TStringList>())
{
}

TListControlStrings::~TListControlStrings() = default;

LRESULT TListControlStrings::Send(UINT msg, WPARAM wParam, LPARAM lParam) const
{
    return SendMessageA(FControl->GetWindowHandle(), msg, wParam, lParam);
}

void TListControlStrings::CheckIndex(int index) const
{
    if (index < 0 || index >= GetCount())
        Error("List index out of bounds (%d)", index);
}

std::string TListControlStrings::Get(int index) const
{
    if (!Live())
        return FKept->Get(index);
    CheckIndex(index);
    LRESULT len = Send(FMsg.GetTextLen, static_cast<WPARAM>(index));
    if (len <= 0 || len == static_cast<LRESULT>(static_cast<int>(FMsg.Error)))
        return {};
    std::string text(static_cast<size_t>(len) + 1, '\0');
    LRESULT got = Send(FMsg.GetText, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(std::clamp<LRESULT>(got, 0, len)));
    return text;
}

TObject* TListControlStrings::GetObject(int index) const
{
    if (!Live())
        return FKept->GetObject(index);
    CheckIndex(index);
    return reinterpret_cast<TObject*>(Send(FMsg.GetData, static_cast<WPARAM>(index)));
}

void TListControlStrings::PutObject(int index, TObject* object)
{
    if (!Live()) {
        FKept->PutObject(index, object);
        return;
    }
    CheckIndex(index);
    Send(FMsg.SetData, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(object));
}

int TListControlStrings::GetCount() const
{
    return Live() ? static_cast<int>(Send(FMsg.Count)) : FKept->Count();
}

int TListControlStrings::AddObject(const std::string& s, TObject* object)
{
    if (!Live())
        return FKept->AddObject(s, object);
    LRESULT index = Send(FMsg.AddString, 0, reinterpret_cast<LPARAM>(s.c_str()));
    if (index < 0)
        throw EOutOfResources("Unable to insert a line");
    Send(FMsg.SetData, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(object));
    return static_cast<int>(index);
}

void TListControlStrings::InsertObject(int index, const std::string& s, TObject* object)
{
    if (!Live()) {
        FKept->InsertObject(index, s, object);
        return;
    }
    if (index < 0 || index > GetCount())
        Error("List index out of bounds (%d)", index);
    LRESULT at = Send(FMsg.InsertString, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(s.c_str()));
    if (at < 0)
        throw EOutOfResources("Unable to insert a line");
    Send(FMsg.SetData, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(object));
}

void TListControlStrings::Delete(int index)
{
    if (!Live()) {
        FKept->Delete(index);
        return;
    }
    CheckIndex(index);
    Send(FMsg.DeleteString, static_cast<WPARAM>(index));
}

void TListControlStrings::Clear()
{
    if (!Live()) {
        FKept->Clear();
        return;
    }
    // Emptying a combo box's list empties its edit too; the text stays what it was.
    HWND wnd = FControl->GetWindowHandle();
    int len = GetWindowTextLengthA(wnd);
    std::string text(static_cast<size_t>(std::max(len, 0)) + 1, '\0');
    text.resize(static_cast<size_t>(std::max(GetWindowTextA(wnd, text.data(), len + 1), 0)));
    Send(FMsg.Reset);
    if (!text.empty())
        SetWindowTextA(wnd, text.c_str());
}

int TListControlStrings::IndexOf(const std::string& s) const
{
    if (!Live())
        return FKept->IndexOf(s);
    LRESULT index = Send(FMsg.FindExact, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(s.c_str()));
    return index < 0 ? -1 : static_cast<int>(index);
}

void TListControlStrings::WindowCreated()
{
    for (int i = 0; i < FKept->Count(); ++i) {
        LRESULT index = Send(FMsg.AddString, 0, reinterpret_cast<LPARAM>(FKept->Get(i).c_str()));
        if (index < 0)
            throw EOutOfResources("Unable to insert a line");
        Send(FMsg.SetData, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(FKept->GetObject(i)));
    }
    FKept->Clear();
}

void TListControlStrings::WindowDestroying()
{
    FKept->Clear();
    int count = static_cast<int>(Send(FMsg.Count));
    for (int i = 0; i < count; ++i)
        FKept->AddObject(Get(i), GetObject(i));
}

// ---------------------------------------------------------------------------------------------
// TCustomComboBox

TCustomComboBox::TCustomComboBox(TComponent* owner)
    : TSystemControl(owner), FItems(New<TListControlStrings>(this, kComboMessages)), FCanvas(New<TCanvas>())
{
    SetControlStyle(csSetCaption | csDoubleClicks);
    SetColor(clWindow);
    SetBounds(0, 0, 145, 21);
    SetTabStop(true);
}

TCustomComboBox::~TCustomComboBox() = default;

void TCustomComboBox::CreateParams(TCreateParams& p)
{
    TSystemControl::CreateParams(p);
    CreateSubClass(p, "COMBOBOX");
    p.Style |= WS_VSCROLL | CBS_AUTOHSCROLL;
    switch (FStyle) {
    case csDropDown:
        p.Style |= CBS_DROPDOWN;
        break;
    case csSimple:
        p.Style |= CBS_SIMPLE;
        break;
    case csDropDownList:
        p.Style |= CBS_DROPDOWNLIST;
        break;
    case csOwnerDrawFixed:
        p.Style |= CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED | CBS_HASSTRINGS;
        break;
    case csOwnerDrawVariable:
        p.Style |= CBS_DROPDOWNLIST | CBS_OWNERDRAWVARIABLE | CBS_HASSTRINGS;
        break;
    }
    // The height of a drop-down combo box's window includes its list.
    if (FStyle != csSimple)
        p.Height = FHeight + std::max(FDropDownCount, 1) * 16 + 2;
}

void TCustomComboBox::CreateWnd()
{
    TSystemControl::CreateWnd();
    if (FStyle == csOwnerDrawFixed || FStyle == csOwnerDrawVariable)
        SendMessageA(FHandle, CB_SETITEMHEIGHT, 0, FItemHeight);
    SubclassChild(GetEditHandle());
    SubclassChild(GetListHandle());
    FItems->WindowCreated();
    if (FKeptIndex >= 0)
        SendMessageA(FHandle, CB_SETCURSEL, static_cast<WPARAM>(std::min(FKeptIndex, FItems->Count() - 1)), 0);
    FKeptIndex = -1;
    if (IsEditable() && !FText.empty())
        SetWindowTextA(FHandle, FText.c_str());
}

void TCustomComboBox::DestroyWnd()
{
    if (HandleAllocated() && !HasState(csDestroying)) {
        FKeptIndex = static_cast<int>(SendMessageA(FHandle, CB_GETCURSEL, 0, 0));
        FItems->WindowDestroying();
    }
    TSystemControl::DestroyWnd();
}

int TCustomComboBox::GetItemIndex() const
{
    if (!HandleAllocated())
        return FKeptIndex;
    return static_cast<int>(SendMessageA(FHandle, CB_GETCURSEL, 0, 0));
}

void TCustomComboBox::SetItemIndex(int value)
{
    if (!HandleAllocated()) {
        FKeptIndex = value;
        // The chosen item is the text the window will show, not a caption that came before it
        // (the name an editable box takes as its text).
        if (value >= 0 && value < FItems->Count())
            FText = FItems->Get(value);
        return;
    }
    SendMessageA(FHandle, CB_SETCURSEL, static_cast<WPARAM>(value), 0);
}

void TCustomComboBox::SetStyle(TComboBoxStyle value)
{
    if (value == FStyle)
        return;
    FStyle = value;
    RecreateWnd();
}

void TCustomComboBox::SetBounds(int left, int top, int width, int height)
{
    TSystemControl::SetBounds(left, top, width, height);
    if (HandleAllocated() && FStyle != csSimple) {
        int item = static_cast<int>(SendMessageA(FHandle, CB_GETITEMHEIGHT, 0, 0));
        int dropped = FHeight + std::max(FDropDownCount, 1) * std::max(item, 1) + 2;
        SetWindowPos(FHandle, nullptr, 0, 0, FWidth, dropped, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

bool TCustomComboBox::GetDroppedDown() const
{
    return HandleAllocated() && SendMessageA(FHandle, CB_GETDROPPEDSTATE, 0, 0) != 0;
}

void TCustomComboBox::SetDroppedDown(bool value)
{
    if (HandleAllocated())
        SendMessageA(FHandle, CB_SHOWDROPDOWN, value, 0);
}

HWND TCustomComboBox::GetEditHandle() const
{
    COMBOBOXINFO info{};
    info.cbSize = sizeof(info);
    if (!HandleAllocated() || !IsEditable() || !GetComboBoxInfo(FHandle, &info))
        return nullptr;
    return info.hwndItem;
}

HWND TCustomComboBox::GetListHandle() const
{
    COMBOBOXINFO info{};
    info.cbSize = sizeof(info);
    if (!HandleAllocated() || !GetComboBoxInfo(FHandle, &info))
        return nullptr;
    return info.hwndList;
}

void TCustomComboBox::CNCommand(TMessage& m)
{
    switch (HIWORD(m.WParam)) {
    case CBN_DBLCLK:
        DblClick();
        break;
    case CBN_EDITCHANGE:
        Change();
        break;
    case CBN_DROPDOWN:
        OnDropDown(this);
        break;
    case CBN_CLOSEUP:
        OnCloseUp(this);
        break;
    case CBN_SELCHANGE: {
        // The edit shows the new item only after this notification; the text follows now.
        int index = GetItemIndex();
        if (index >= 0 && IsEditable())
            SetWindowTextA(FHandle, FItems->Get(index).c_str());
        Click();
        Select();
        break;
    }
    default:
        break;
    }
}

void TCustomComboBox::Change()
{
    OnChange(this);
}

void TCustomComboBox::Select()
{
    if (OnSelect)
        OnSelect(this);
    else
        Change();
}

void TCustomComboBox::SetItemHeight(int value)
{
    FItemHeight = std::max(value, 1);
    if (HandleAllocated() && (FStyle == csOwnerDrawFixed || FStyle == csOwnerDrawVariable))
        SendMessageA(FHandle, CB_SETITEMHEIGHT, 0, FItemHeight);
}

int TCustomComboBox::GetSelStart()
{
    DWORD start = 0, end = 0;
    SendMessageA(GetHandle(), CB_GETEDITSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    return static_cast<int>(start);
}

void TCustomComboBox::SetSelStart(int value)
{
    SendMessageA(GetHandle(), CB_SETEDITSEL, 0, MAKELPARAM(value, value));
}

int TCustomComboBox::GetSelLength()
{
    DWORD start = 0, end = 0;
    SendMessageA(GetHandle(), CB_GETEDITSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    return static_cast<int>(end - start);
}

void TCustomComboBox::SetSelLength(int value)
{
    int start = GetSelStart();
    SendMessageA(GetHandle(), CB_SETEDITSEL, 0, MAKELPARAM(start, start + value));
}

std::string TCustomComboBox::GetSelText()
{
    int start = GetSelStart();
    return GetText().substr(static_cast<size_t>(start), static_cast<size_t>(GetSelLength()));
}

namespace {
const char kComboOwnerProp[] = "SfComboOwner";
const char kComboProcProp[] = "SfComboProc";
}

void TCustomComboBox::SubclassChild(HWND child)
{
    if (!child || child == FHandle || GetPropA(child, kComboOwnerProp))
        return;
    auto original = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(child, GWLP_WNDPROC));
    SetPropA(child, kComboOwnerProp, this);
    SetPropA(child, kComboProcProp, reinterpret_cast<HANDLE>(original));
    SetWindowLongPtrA(child, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TCustomComboBox::ChildWndProc));
}

LRESULT CALLBACK TCustomComboBox::ChildWndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto* self = static_cast<TCustomComboBox*>(GetPropA(wnd, kComboOwnerProp));
    auto original = reinterpret_cast<WNDPROC>(GetPropA(wnd, kComboProcProp));
    if (!original)
        return DefWindowProcA(wnd, msg, wParam, lParam);
    if (msg == WM_NCDESTROY || !self) {
        SetWindowLongPtrA(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
        RemovePropA(wnd, kComboOwnerProp);
        RemovePropA(wnd, kComboProcProp);
        return CallWindowProcA(original, wnd, msg, wParam, lParam);
    }
    TMessage m;
    m.Msg = msg;
    m.WParam = wParam;
    m.LParam = lParam;
    try {
        self->ComboChildWndProc(m, wnd, original);
    } catch (...) {
        HandleCallbackException(self);
    }
    return m.Result;
}

void TCustomComboBox::ComboChildWndProc(TMessage& m, HWND child, WNDPROC original)
{
    if (m.Msg == WM_CHAR && (m.WParam == VK_RETURN || m.WParam == VK_ESCAPE) && GetDroppedDown()) {
        SetDroppedDown(false);
        m.Result = 0;
        return;
    }
    if (RouteEditMessage(m, child) || (m.Msg == WM_CHAR && child == GetEditHandle() && DoKeyPress(m))) {
        m.Result = 0;
        return;
    }
    m.Result = CallWindowProcA(original, child, m.Msg, m.WParam, m.LParam);
}

bool TCustomComboBox::RouteEditMessage(TMessage& m, HWND child)
{
    if (child != GetEditHandle())
        return false;
    switch (m.Msg) {
    case WM_SETFOCUS: {
        // The box is the form's focused control while its edit part has the focus, so that
        // leaving it for another control reaches the box as leaving.
        TCustomForm* form = GetParentForm(this);
        return form && !form->SetFocusedControl(this);
    }
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        return DoKeyDown(m);
    default:
        return false;
    }
}

void TCustomComboBox::Dispatch(TMessage& m)
{
    if (m.Msg == CN_DRAWITEM) {
        CNDrawItem(m);
        return;
    }
    if (m.Msg == CN_MEASUREITEM) {
        reinterpret_cast<MEASUREITEMSTRUCT*>(m.LParam)->itemHeight = static_cast<UINT>(FItemHeight);
        m.Result = TRUE;
        return;
    }
    TSystemControl::Dispatch(m);
}

void TCustomComboBox::CNDrawItem(TMessage& m)
{
    auto* draw = reinterpret_cast<DRAWITEMSTRUCT*>(m.LParam);
    bool selected = (draw->itemState & ODS_SELECTED) != 0;
    FCanvas->SetHandle(draw->hDC);
    TScopeExit lent([this] { FCanvas->SetHandle(nullptr); });
    FCanvas->SetFont(GetFont());
    FCanvas->GetBrush()->SetColor(selected ? clHighlight : GetColor());
    if (selected)
        FCanvas->GetFont()->SetColor(clHighlightText);
    DrawItem(static_cast<int>(draw->itemID), draw->rcItem, draw->itemState);
    m.Result = TRUE;
}

void TCustomComboBox::DrawItem(int index, const RECT& rect, UINT state)
{
    if (OnDrawItem) {
        OnDrawItem(this, index, rect, state);
        return;
    }
    FCanvas->FillRect(rect);
    if (index >= 0 && index < FItems->Count())
        FCanvas->TextOut(rect.left + 2, rect.top, FItems->Get(index));
}

// ---------------------------------------------------------------------------------------------
// TListBox

TListBox::TListBox(TComponent* owner) : TSystemControl(owner), FItems(New<TListControlStrings>(this, kListMessages))
{
    SetControlStyle(csSetCaption | csDoubleClicks);
    SetColor(clWindow);
    SetBounds(0, 0, 121, 97);
    SetTabStop(true);
}

TListBox::~TListBox() = default;

void TListBox::CreateParams(TCreateParams& p)
{
    TSystemControl::CreateParams(p);
    CreateSubClass(p, "LISTBOX");
    p.Style |= WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | LBS_HASSTRINGS;
    p.ExStyle |= WS_EX_CLIENTEDGE;
}

void TListBox::CreateWnd()
{
    TSystemControl::CreateWnd();
    FItems->WindowCreated();
    if (FKeptIndex >= 0)
        SendMessageA(FHandle, LB_SETCURSEL, static_cast<WPARAM>(std::min(FKeptIndex, FItems->Count() - 1)), 0);
    FKeptIndex = -1;
}

void TListBox::DestroyWnd()
{
    if (HandleAllocated() && !HasState(csDestroying)) {
        FKeptIndex = static_cast<int>(SendMessageA(FHandle, LB_GETCURSEL, 0, 0));
        FItems->WindowDestroying();
    }
    TSystemControl::DestroyWnd();
}

int TListBox::GetItemIndex() const
{
    if (!HandleAllocated())
        return FKeptIndex;
    return static_cast<int>(SendMessageA(FHandle, LB_GETCURSEL, 0, 0));
}

void TListBox::SetItemIndex(int value)
{
    if (!HandleAllocated()) {
        FKeptIndex = value;
        return;
    }
    SendMessageA(FHandle, LB_SETCURSEL, static_cast<WPARAM>(value), 0);
}

void TListBox::CNCommand(TMessage& m)
{
    if (HIWORD(m.WParam) == LBN_SELCHANGE)
        Click();
    else if (HIWORD(m.WParam) == LBN_DBLCLK)
        DblClick();
}

// ---------------------------------------------------------------------------------------------
// TCustomEdit

TCustomEdit::TCustomEdit(TComponent* owner) : TSystemControl(owner)
{
    SetControlStyle(csClickEvents | csSetCaption | csDoubleClicks);
    SetColor(clWindow);
    SetBounds(0, 0, 121, 21);
    SetTabStop(true);
}

void TCustomEdit::CreateParams(TCreateParams& p)
{
    TSystemControl::CreateParams(p);
    CreateSubClass(p, "EDIT");
    p.Style |= ES_AUTOHSCROLL | ES_LEFT;
    if (FReadOnly)
        p.Style |= ES_READONLY;
    p.ExStyle |= WS_EX_CLIENTEDGE;
}

void TCustomEdit::CreateWnd()
{
    TSystemControl::CreateWnd();
    SendMessageA(FHandle, EM_LIMITTEXT, static_cast<WPARAM>(FMaxLength), 0);
    if (FPasswordChar)
        SendMessageA(FHandle, EM_SETPASSWORDCHAR, static_cast<unsigned char>(FPasswordChar), 0);
}

void TCustomEdit::SetReadOnly(bool value)
{
    FReadOnly = value;
    if (HandleAllocated())
        SendMessageA(FHandle, EM_SETREADONLY, value, 0);
}

void TCustomEdit::SetPasswordChar(char value)
{
    if (value == FPasswordChar)
        return;
    FPasswordChar = value;
    if (HandleAllocated()) {
        SendMessageA(FHandle, EM_SETPASSWORDCHAR, static_cast<unsigned char>(value), 0);
        Invalidate();
    }
}

void TCustomEdit::SetMaxLength(int value)
{
    FMaxLength = std::max(value, 0);
    if (HandleAllocated())
        SendMessageA(FHandle, EM_LIMITTEXT, static_cast<WPARAM>(FMaxLength), 0);
}

int TCustomEdit::GetSelStart()
{
    DWORD start = 0, end = 0;
    SendMessageA(GetHandle(), EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    return static_cast<int>(start);
}

void TCustomEdit::SetSelStart(int value)
{
    SendMessageA(GetHandle(), EM_SETSEL, static_cast<WPARAM>(value), value);
}

int TCustomEdit::GetSelLength()
{
    DWORD start = 0, end = 0;
    SendMessageA(GetHandle(), EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    return static_cast<int>(end - start);
}

void TCustomEdit::SetSelLength(int value)
{
    int start = GetSelStart();
    SendMessageA(GetHandle(), EM_SETSEL, static_cast<WPARAM>(start), start + value);
}

void TCustomEdit::SelectAll()
{
    if (HandleAllocated())
        SendMessageA(FHandle, EM_SETSEL, 0, -1);
}

void TCustomEdit::CNCommand(TMessage& m)
{
    if (HIWORD(m.WParam) == EN_CHANGE && !FSettingText)
        Change();
}

void TCustomEdit::Dispatch(TMessage& m)
{
    switch (m.Msg) {
    case WM_SETTEXT: {
        // Systems differ in whether setting the text notifies a change; the change of a text
        // set in code is told once, from CM_TEXTCHANGED.
        TFlagScope settingText(FSettingText);
        TSystemControl::Dispatch(m);
        return;
    }
    case CM_TEXTCHANGED:
        Change();
        return;
    default:
        TSystemControl::Dispatch(m);
    }
}

void TCustomEdit::Change()
{
    OnChange(this);
}

// ---------------------------------------------------------------------------------------------
// TMemo

TMemo::TMemo(TComponent* owner) : TCustomEdit(owner), FLines(new TMemoStrings(this))
{
    SetBounds(0, 0, 185, 89);
}

TMemo::~TMemo() = default;

void TMemo::CreateParams(TCreateParams& p)
{
    TCustomEdit::CreateParams(p);
    p.Style |= ES_MULTILINE | ES_WANTRETURN | ES_AUTOVSCROLL;
    if (FWordWrap)
        p.Style &= ~static_cast<DWORD>(ES_AUTOHSCROLL);
    if (FScrollBars == ssHorizontal || FScrollBars == ssBoth)
        p.Style |= WS_HSCROLL;
    if (FScrollBars == ssVertical || FScrollBars == ssBoth)
        p.Style |= WS_VSCROLL;
}

void TMemo::SetWordWrap(bool value)
{
    if (value == FWordWrap)
        return;
    FWordWrap = value;
    RecreateWnd();
}

void TMemo::SetScrollBars(TScrollStyle value)
{
    if (value == FScrollBars)
        return;
    FScrollBars = value;
    RecreateWnd();
}

// ---------------------------------------------------------------------------------------------
// TGroupBox

TGroupBox::TGroupBox(TComponent* owner) : TSystemControl(owner)
{
    SetControlStyle(GetControlStyle() | csAcceptsControls);
    SetBounds(0, 0, 185, 105);
}

void TGroupBox::CreateParams(TCreateParams& p)
{
    TSystemControl::CreateParams(p);
    CreateSubClass(p, "BUTTON");
    p.Style |= BS_GROUPBOX;
}

void TGroupBox::AdjustClientRect(RECT& rect)
{
    TSystemControl::AdjustClientRect(rect);
    // Below the caption line, inside the frame.
    TWindowDC dc;
    TSelectGuard select(dc.Get(), GetFont()->GetHandle());
    TEXTMETRICA tm{};
    GetTextMetricsA(dc.Get(), &tm);
    rect.top += tm.tmHeight;
    rect.left += 2;
    rect.right -= 2;
    rect.bottom -= 2;
}

// ---------------------------------------------------------------------------------------------
// TLabel

TLabel::TLabel(TComponent* owner) : TGraphicControl(owner)
{
    SetBounds(0, 0, 65, 17);
}

void TLabel::SetAlignment(TAlignment value)
{
    if (value == FAlignment)
        return;
    FAlignment = value;
    Invalidate();
}

void TLabel::SetLayout(TTextLayout value)
{
    if (value == FLayout)
        return;
    FLayout = value;
    Invalidate();
}

void TLabel::SetWordWrap(bool value)
{
    if (value == FWordWrap)
        return;
    FWordWrap = value;
    AdjustBounds();
    Invalidate();
}

void TLabel::SetTransparent(bool value)
{
    if (value == FTransparent)
        return;
    FTransparent = value;
    Invalidate();
}

void TLabel::SetAutoSize(bool value)
{
    if (value == FAutoSize)
        return;
    FAutoSize = value;
    AdjustBounds();
}

void TLabel::SetShowAccelChar(bool value)
{
    if (value == FShowAccelChar)
        return;
    FShowAccelChar = value;
    AdjustBounds();
    Invalidate();
}

void TLabel::SetFocusControl(TWinControl* value)
{
    if (value == FFocusControl)
        return;
    if (FFocusControl)
        FFocusControl->RemoveFreeNotification(this);
    FFocusControl = value;
    if (value)
        value->FreeNotification(this);
}

void TLabel::Notification(TComponent* component, TOperation operation)
{
    TGraphicControl::Notification(component, operation);
    if (operation == TOperation::opRemove && component == FFocusControl)
        FFocusControl = nullptr;
}

UINT TLabel::DrawFlags() const
{
    UINT flags = DT_EXPANDTABS;
    if (FWordWrap)
        flags |= DT_WORDBREAK;
    if (!FShowAccelChar)
        flags |= DT_NOPREFIX;
    switch (FAlignment) {
    case taLeftJustify:
        flags |= DT_LEFT;
        break;
    case taRightJustify:
        flags |= DT_RIGHT;
        break;
    case taCenter:
        flags |= DT_CENTER;
        break;
    }
    return flags;
}

void TLabel::AdjustBounds()
{
    if (!FAutoSize)
        return;
    std::string caption = GetCaption();
    const char* text = caption.empty() ? " " : caption.c_str();
    RECT r{0, 0, FWordWrap ? FWidth : 0, 0};
    {
        TWindowDC dc;
        TSelectGuard select(dc.Get(), GetFont()->GetHandle());
        DrawTextA(dc.Get(), text, -1, &r, DrawFlags() | DT_CALCRECT);
    }
    // A right-aligned label keeps its right edge.
    int left = FAlignment == taRightJustify ? FLeft + FWidth - r.right : FLeft;
    SetBounds(left, FTop, r.right, r.bottom);
}

void TLabel::Paint()
{
    HDC dc = GetPaintDC();
    RECT client{0, 0, FWidth, FHeight};
    if (!FTransparent) {
        HBRUSH brush = CreateSolidBrush(static_cast<COLORREF>(ColorToRGB(GetColor())));
        FillRect(dc, &client, brush);
        DeleteObject(brush);
    }
    std::string text = GetCaption();
    HGDIOBJ oldFont = SelectObject(dc, GetFont()->GetHandle());
    TTextStateGuard textState(dc, static_cast<COLORREF>(ColorToRGB(GetFont()->GetColor())));
    UINT flags = DrawFlags();
    RECT r = client;
    if (FLayout != tlTop) {
        RECT measured = client;
        DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &measured, flags | DT_CALCRECT);
        int free = FHeight - (measured.bottom - measured.top);
        r.top += FLayout == tlCenter ? free / 2 : free;
    }
    if (GetEnabled()) {
        DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &r, flags);
    } else {
        RECT shifted = r;
        OffsetRect(&shifted, 1, 1);
        SetTextColor(dc, static_cast<COLORREF>(ColorToRGB(clBtnHighlight)));
        DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &shifted, flags);
        SetTextColor(dc, static_cast<COLORREF>(ColorToRGB(clBtnShadow)));
        DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &r, flags);
    }
    SelectObject(dc, oldFont);
}

void TLabel::Dispatch(TMessage& m)
{
    switch (m.Msg) {
    case CM_TEXTCHANGED:
    case CM_FONTCHANGED:
    case CM_PARENTFONTCHANGED:
        TGraphicControl::Dispatch(m);
        AdjustBounds();
        Invalidate();
        return;
    case CM_DIALOGCHAR:
        if (FFocusControl && FShowAccelChar && GetEnabled() && IsAccel(m.WParam, GetCaption()) &&
            FFocusControl->CanFocus()) {
            FFocusControl->SetFocus();
            m.Result = 1;
            return;
        }
        break;
    default:
        break;
    }
    TGraphicControl::Dispatch(m);
}
