#include "platform/ComCtrls.h"

#include <commctrl.h>

#include <algorithm>

SF_IMPLEMENT_COMPONENT(TUpDown, TSystemControl)
SF_IMPLEMENT_COMPONENT(TProgressBar, TSystemControl)
SF_IMPLEMENT_COMPONENT(TTabControl, TSystemControl)

namespace {

void InitCommonControlClass(DWORD classes)
{
    INITCOMMONCONTROLSEX icc{sizeof(icc), classes};
    InitCommonControlsEx(&icc);
}

// The tab captions: held by the tab window while it exists, kept here while it does not.
class TTabStrings : public TStrings {
public:
    explicit TTabStrings(TTabControl* control) : FControl(control), FKept(New<TStringList>()) {}

    std::string Get(int index) const override
    {
        if (!Live())
            return FKept->Get(index);
        Check(index);
        char text[256] = {};
        TCITEMA item{};
        item.mask = TCIF_TEXT;
        item.pszText = text;
        item.cchTextMax = sizeof(text);
        Send(TCM_GETITEMA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
        return text;
    }
    TObject* GetObject(int index) const override
    {
        if (!Live())
            return FKept->GetObject(index);
        Check(index);
        TCITEMA item{};
        item.mask = TCIF_PARAM;
        Send(TCM_GETITEMA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
        return reinterpret_cast<TObject*>(item.lParam);
    }
    void PutObject(int index, TObject* object) override
    {
        if (!Live()) {
            FKept->PutObject(index, object);
            return;
        }
        Check(index);
        TCITEMA item{};
        item.mask = TCIF_PARAM;
        item.lParam = reinterpret_cast<LPARAM>(object);
        Send(TCM_SETITEMA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
    }
    void Put(int index, const std::string& s) override
    {
        if (!Live()) {
            FKept->Put(index, s);
            return;
        }
        Check(index);
        TCITEMA item{};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<char*>(s.c_str());
        Send(TCM_SETITEMA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
        FControl->Realign();
    }
    int GetCount() const override { return Live() ? static_cast<int>(Send(TCM_GETITEMCOUNT)) : FKept->Count(); }
    void Insert(int index, const std::string& s) override { InsertObject(index, s, nullptr); }
    void InsertObject(int index, const std::string& s, TObject* object) override
    {
        if (!Live()) {
            FKept->InsertObject(index, s, object);
            return;
        }
        if (index < 0 || index > GetCount())
            Error("List index out of bounds (%d)", index);
        TCITEMA item{};
        item.mask = TCIF_TEXT | TCIF_PARAM;
        item.pszText = const_cast<char*>(s.c_str());
        item.lParam = reinterpret_cast<LPARAM>(object);
        if (Send(TCM_INSERTITEMA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item)) < 0)
            throw EOutOfResources("Unable to insert a tab");
        FControl->Realign();
    }
    void Delete(int index) override
    {
        if (!Live()) {
            FKept->Delete(index);
            return;
        }
        Check(index);
        Send(TCM_DELETEITEM, static_cast<WPARAM>(index));
        FControl->Realign();
    }
    void Clear() override
    {
        if (!Live()) {
            FKept->Clear();
            return;
        }
        Send(TCM_DELETEALLITEMS);
        FControl->Realign();
    }

    void WindowCreated()
    {
        std::unique_ptr<TStringList, TObjectFree> kept(New<TStringList>());
        kept->Assign(FKept.get());
        FKept->Clear();
        for (int i = 0; i < kept->Count(); ++i)
            InsertObject(i, kept->Get(i), kept->GetObject(i));
    }
    void WindowDestroying()
    {
        FKept->Clear();
        int count = GetCount();
        for (int i = 0; i < count; ++i)
            FKept->AddObject(Get(i), GetObject(i));
    }

private:
    bool Live() const { return FControl->HandleAllocated(); }
    LRESULT Send(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return SendMessageA(FControl->GetWindowHandle(), msg, wParam, lParam);
    }
    void Check(int index) const
    {
        if (index < 0 || index >= GetCount())
            Error("List index out of bounds (%d)", index);
    }

    TTabControl* FControl;
    std::unique_ptr<TStringList, TObjectFree> FKept;
};

}

// ---------------------------------------------------------------------------------------------
// TUpDown

TUpDown::TUpDown(TComponent* owner) : TSystemControl(owner)
{
    // The system control tracks the mouse itself.
    SetControlStyle(csDoubleClicks);
    SetBounds(0, 0, 17, 25);
}

void TUpDown::CreateParams(TCreateParams& p)
{
    InitCommonControlClass(ICC_UPDOWN_CLASS);
    TSystemControl::CreateParams(p);
    CreateSubClass(p, UPDOWN_CLASSA);
    p.Style |= UDS_ARROWKEYS | UDS_SETBUDDYINT | UDS_NOTHOUSANDS;
    if (FWrap)
        p.Style |= UDS_WRAP;
}

void TUpDown::CreateWnd()
{
    TSystemControl::CreateWnd();
    ApplyRange();
    UDACCEL accel{0, static_cast<UINT>(FIncrement)};
    SendMessageA(FHandle, UDM_SETACCEL, 1, reinterpret_cast<LPARAM>(&accel));
    ApplyAssociate();
}

void TUpDown::ApplyRange()
{
    if (!HandleAllocated())
        return;
    SendMessageA(FHandle, UDM_SETRANGE32, static_cast<WPARAM>(FMin), FMax);
    SendMessageA(FHandle, UDM_SETPOS32, 0, FPosition);
}

void TUpDown::ApplyAssociate()
{
    // Beside the associated control, as high as it.
    if (FAssociate)
        SetBounds(FAssociate->GetLeft() + FAssociate->GetWidth(), FAssociate->GetTop(), FWidth, FAssociate->GetHeight());
    if (!HandleAllocated())
        return;
    HWND buddy = nullptr;
    if (FAssociate && FAssociate->GetParent() == GetParent())
        buddy = FAssociate->GetHandle();
    SendMessageA(FHandle, UDM_SETBUDDY, reinterpret_cast<WPARAM>(buddy), 0);
    if (buddy)
        SendMessageA(FHandle, UDM_SETPOS32, 0, FPosition);
}

void TUpDown::SetMin(int value)
{
    FMin = value;
    FMax = std::max(FMax, FMin);
    FPosition = std::clamp(FPosition, FMin, FMax);
    ApplyRange();
}

void TUpDown::SetMax(int value)
{
    FMax = value;
    FMin = std::min(FMin, FMax);
    FPosition = std::clamp(FPosition, FMin, FMax);
    ApplyRange();
}

int TUpDown::GetPosition() const
{
    if (!HandleAllocated())
        return FPosition;
    BOOL failed = FALSE;
    LRESULT pos = SendMessageA(FHandle, UDM_GETPOS32, 0, reinterpret_cast<LPARAM>(&failed));
    return failed ? FPosition : static_cast<int>(pos);
}

void TUpDown::SetPosition(int value)
{
    FPosition = std::clamp(value, FMin, FMax);
    if (HandleAllocated())
        SendMessageA(FHandle, UDM_SETPOS32, 0, FPosition);
}

void TUpDown::SetIncrement(int value)
{
    FIncrement = std::max(value, 1);
    if (HandleAllocated()) {
        UDACCEL accel{0, static_cast<UINT>(FIncrement)};
        SendMessageA(FHandle, UDM_SETACCEL, 1, reinterpret_cast<LPARAM>(&accel));
    }
}

void TUpDown::SetWrap(bool value)
{
    if (value == FWrap)
        return;
    FWrap = value;
    RecreateWnd();
}

void TUpDown::SetAssociate(TWinControl* value)
{
    if (value == FAssociate)
        return;
    if (FAssociate)
        FAssociate->RemoveFreeNotification(this);
    FAssociate = value;
    if (value)
        value->FreeNotification(this);
    ApplyAssociate();
}

void TUpDown::Notification(TComponent* component, TOperation operation)
{
    TSystemControl::Notification(component, operation);
    if (operation == TOperation::opRemove && component == FAssociate) {
        FAssociate = nullptr;
        if (HandleAllocated() && !HasState(csDestroying))
            SendMessageA(FHandle, UDM_SETBUDDY, 0, 0);
    }
}

void TUpDown::CNNotify(TMessage& m)
{
    auto* header = reinterpret_cast<NMHDR*>(m.LParam);
    if (header->code != UDN_DELTAPOS)
        return;
    auto* change = reinterpret_cast<NMUPDOWN*>(m.LParam);
    bool allow = true;
    OnChanging(this, allow);
    m.Result = allow ? 0 : 1;
    if (allow) {
        int next = change->iPos + change->iDelta;
        FPosition = FWrap ? (next > FMax ? FMin : next < FMin ? FMax : next) : std::clamp(next, FMin, FMax);
    }
    // The arrow tells its click whether or not the position moved.
    OnClick(this, change->iDelta > 0 ? btNext : btPrev);
}

void TUpDown::Dispatch(TMessage& m)
{
    if (m.Msg == CN_VSCROLL || m.Msg == CN_HSCROLL) {
        m.Result = 0;
        return;
    }
    TSystemControl::Dispatch(m);
}

// ---------------------------------------------------------------------------------------------
// TProgressBar

TProgressBar::TProgressBar(TComponent* owner) : TSystemControl(owner)
{
    SetControlStyle(csDoubleClicks);
    SetBounds(0, 0, 150, 16);
}

void TProgressBar::CreateParams(TCreateParams& p)
{
    InitCommonControlClass(ICC_PROGRESS_CLASS);
    TSystemControl::CreateParams(p);
    CreateSubClass(p, PROGRESS_CLASSA);
}

void TProgressBar::CreateWnd()
{
    TSystemControl::CreateWnd();
    SendMessageA(FHandle, PBM_SETRANGE32, static_cast<WPARAM>(FMin), FMax);
    SendMessageA(FHandle, PBM_SETSTEP, static_cast<WPARAM>(FStep), 0);
    SendMessageA(FHandle, PBM_SETPOS, static_cast<WPARAM>(FPosition), 0);
}

void TProgressBar::SetRange(int min, int max)
{
    FMin = min;
    FMax = std::max(min, max);
    FPosition = std::clamp(FPosition, FMin, FMax);
    if (HandleAllocated()) {
        SendMessageA(FHandle, PBM_SETRANGE32, static_cast<WPARAM>(FMin), FMax);
        SendMessageA(FHandle, PBM_SETPOS, static_cast<WPARAM>(FPosition), 0);
    }
}

void TProgressBar::SetPosition(int value)
{
    FPosition = std::clamp(value, FMin, FMax);
    if (HandleAllocated())
        SendMessageA(FHandle, PBM_SETPOS, static_cast<WPARAM>(FPosition), 0);
}

void TProgressBar::SetStep(int value)
{
    FStep = value;
    if (HandleAllocated())
        SendMessageA(FHandle, PBM_SETSTEP, static_cast<WPARAM>(value), 0);
}

void TProgressBar::StepIt()
{
    // Past the end the bar starts again from the beginning, as the system bar does.
    int next = FPosition + FStep;
    SetPosition(next > FMax ? FMin : next);
}

// ---------------------------------------------------------------------------------------------
// TTabControl

TTabControl::TTabControl(TComponent* owner) : TSystemControl(owner), FTabs(new TTabStrings(this))
{
    SetControlStyle(csAcceptsControls | csClickEvents | csDoubleClicks);
    SetTabStop(true);
    SetBounds(0, 0, 289, 193);
}

TTabControl::~TTabControl() = default;

void TTabControl::CreateParams(TCreateParams& p)
{
    InitCommonControlClass(ICC_TAB_CLASSES);
    TSystemControl::CreateParams(p);
    CreateSubClass(p, WC_TABCONTROLA);
    p.Style |= WS_CLIPCHILDREN | TCS_TABS;
}

void TTabControl::CreateWnd()
{
    TSystemControl::CreateWnd();
    static_cast<TTabStrings*>(FTabs.get())->WindowCreated();
    if (FKeptIndex >= 0)
        SendMessageA(FHandle, TCM_SETCURSEL, static_cast<WPARAM>(FKeptIndex), 0);
    FKeptIndex = -1;
    Realign();
}

void TTabControl::DestroyWnd()
{
    if (HandleAllocated() && !HasState(csDestroying)) {
        FKeptIndex = static_cast<int>(SendMessageA(FHandle, TCM_GETCURSEL, 0, 0));
        static_cast<TTabStrings*>(FTabs.get())->WindowDestroying();
    }
    TSystemControl::DestroyWnd();
}

int TTabControl::GetTabIndex() const
{
    if (!HandleAllocated())
        return FKeptIndex;
    return static_cast<int>(SendMessageA(FHandle, TCM_GETCURSEL, 0, 0));
}

void TTabControl::SetTabIndex(int value)
{
    if (!HandleAllocated()) {
        FKeptIndex = value;
        return;
    }
    SendMessageA(FHandle, TCM_SETCURSEL, static_cast<WPARAM>(value), 0);
}

RECT TTabControl::GetDisplayRect()
{
    RECT r{0, 0, FWidth, FHeight};
    if (HandleAllocated())
        SendMessageA(FHandle, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&r));
    return r;
}

void TTabControl::AdjustClientRect(RECT& rect)
{
    TSystemControl::AdjustClientRect(rect);
    RECT display = GetDisplayRect();
    rect.left = std::max(rect.left, display.left);
    rect.top = std::max(rect.top, display.top);
    rect.right = std::min(rect.right, display.right);
    rect.bottom = std::min(rect.bottom, display.bottom);
}

void TTabControl::CNNotify(TMessage& m)
{
    auto* header = reinterpret_cast<NMHDR*>(m.LParam);
    switch (header->code) {
    case TCN_SELCHANGING: {
        bool allow = true;
        OnChanging(this, allow);
        m.Result = allow ? FALSE : TRUE;
        break;
    }
    case TCN_SELCHANGE:
        OnChange(this);
        break;
    default:
        break;
    }
}
