#include "unicode/UniForms.h"

#include "platform/ScopeGuards.h"
#include "platform/StdActns.h"
#include "platform/SysUtils.h"
#include "unicode/UniClasses.h"
#include "unicode/UniControls.h"
#include "unicode/UniMenus.h"
#include "unicode/UniStdActns.h"

SF_IMPLEMENT_COMPONENT(TUniAppIdleEventControl, TControl)
SF_IMPLEMENT_COMPONENT(TUniApplication, TComponent)

TUniApplication* UniApplication = nullptr;

namespace {
THookHandle gHook;
bool gHookDisabled = false;

// A character the 8-bit message loop would lose: above 255, or not in the system code page
// (which the loop would map to a look-alike or '?').
bool NeedsWideDispatch(WPARAM code)
{
    if (code > 255)
        return true;
    UINT codePage = GetSavedAnsiCodePage();
    if (codePage == CP_UTF7 || codePage == CP_UTF8)
        return false;
    auto ch = static_cast<wchar_t>(code);
    char bytes[4] = {};
    BOOL usedDefault = FALSE;
    int length = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, &ch, 1, bytes, sizeof(bytes), nullptr, &usedDefault);
    wchar_t back = 0;
    return length <= 0 || usedDefault || MultiByteToWideChar(codePage, 0, bytes, length, &back, 1) != 1 || back != ch;
}

LRESULT CALLBACK GetMessageHook(int code, WPARAM wParam, LPARAM lParam)
{
    if (code >= 0 && wParam == PM_REMOVE && !gHookDisabled && UniApplication) {
        try {
            UniApplication->HookMessage(*reinterpret_cast<MSG*>(lParam));
        } catch (...) {
            HandleCallbackException(UniApplication);
        }
    }
    return CallNextHookEx(gHook.Get(), code, wParam, lParam);
}
}

void InitUniForms()
{
    if (!UniApplication)
        UniApplication = New<TUniApplication>(nullptr);
    if (IsUnicodePlatform())
        InstallMessageHook();
}

void DoneUniForms()
{
    UninstallMessageHook();
    FreeAndNil(UniApplication);
}

void InstallMessageHook()
{
    Assert(IsUnicodePlatform(), "InstallMessageHook: the platform is not Unicode");
    if (gHook)
        return;
    gHook.Reset(SetWindowsHookExW(WH_GETMESSAGE, &GetMessageHook, nullptr, GetCurrentThreadId()));
    if (!gHook)
        RaiseLastOSError("SetWindowsHookEx");
}

void UninstallMessageHook()
{
    gHook.Reset();
}

bool MessageHookInstalled()
{
    return static_cast<bool>(gHook);
}

void SetMessageHookDisabled(bool value)
{
    gHookDisabled = value;
}

bool MatchesWideAccel(WORD charCode, const std::wstring& caption)
{
    wchar_t hotKey = ExtractHotkeyChar(caption);
    if (hotKey == 0)
        return false;
    return WideSameText(std::wstring(1, KeyCharToWide(charCode)), std::wstring(1, hotKey));
}

// ---- TUniAppIdleEventControl ----

TUniAppIdleEventControl::TUniAppIdleEventControl(TComponent* owner) : TControl(owner)
{
    FVisible = false;
}

void TUniAppIdleEventControl::InitiateAction()
{
    if (UniApplication)
        UniApplication->DoIdle();
}

// ---- TUniApplication ----

TUniApplication::TUniApplication(TComponent* owner) : TComponent(owner), FSettingsChangeTime(GetTickCount())
{
}

void TUniApplication::AfterConstruction()
{
    TComponent::AfterConstruction();
    if (Application)
        Application->HookMainWindow(TWindowHook(this, &TUniApplication::MainWindowHook));
}

void TUniApplication::BeforeDestruction()
{
    if (FIdleControl) {
        FIdleControl->RemoveFreeNotification(this);
        FIdleControl = nullptr;
    }
    if (Application)
        Application->UnhookMainWindow(TWindowHook(this, &TUniApplication::MainWindowHook));
    TComponent::BeforeDestruction();
}

void TUniApplication::Notification(TComponent* component, TOperation operation)
{
    TComponent::Notification(component, operation);
    if (operation == TOperation::opRemove && component == FIdleControl)
        FIdleControl = nullptr;
}

std::wstring TUniApplication::GetHint()
{
    std::string ansi = Application ? Application->GetHint() : std::string();
    if (TControl* control = Application ? Application->GetHintControl() : nullptr) {
        std::wstring hint = GetLongHint(GetWideParentHint(control));
        if (NarrowText(hint) == ansi)
            return hint;
    }
    return ReadSyncedWide(FHint, ansi);
}

void TUniApplication::SetHint(const std::wstring& value)
{
    if (!Application) {
        FHint = value;
        return;
    }
    WriteSyncedWide(FHint, value, Application->GetHint(), [](const std::string& text) { Application->SetHint(text); });
}

std::wstring TUniApplication::GetTitle()
{
    HWND wnd = Application ? Application->GetHandle() : nullptr;
    if (!IsUnicodePlatform() || !wnd)
        return ReadSyncedWide(FTitle, Application ? Application->GetTitle() : std::string());
    auto length = static_cast<int>(DefWindowProcW(wnd, WM_GETTEXTLENGTH, 0, 0));
    std::wstring text(static_cast<size_t>(std::max(length, 0)) + 1, L'\0');
    auto got = static_cast<int>(DefWindowProcW(wnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data())));
    text.resize(static_cast<size_t>(std::clamp(got, 0, std::max(length, 0))));
    return text;
}

void TUniApplication::SetTitle(const std::wstring& value)
{
    HWND wnd = Application ? Application->GetHandle() : nullptr;
    if (!IsUnicodePlatform() || !wnd) {
        // Applied when the window is made (WM_CREATE).
        FTitlePending = IsUnicodePlatform();
        if (Application)
            WriteSyncedWide(FTitle, value, Application->GetTitle(), [](const std::string& t) { Application->SetTitle(t); });
        else
            FTitle = value;
        return;
    }
    if (GetTitle() == value)
        return;
    // The 8-bit title (message boxes) follows; the window gets the wide text last.
    Application->SetTitle(NarrowText(value));
    DefWindowProcW(wnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(value.c_str()));
    FTitle = value;
}

void TUniApplication::DoIdle()
{
    if (Application)
        ReadSyncedWide(FHint, Application->GetHint());
}

void TUniApplication::MainWindowHook(TMessage& m, bool& handled)
{
    switch (m.Msg) {
    case WM_WININICHANGE:
        FSettingsChangeTime = GetTickCount();
        break;
    case WM_CREATE:
        if (FTitlePending && Application && Application->GetHandle()) {
            FTitlePending = false;
            DefWindowProcW(Application->GetHandle(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(FTitle.c_str()));
        }
        break;
    case CM_ACTIONEXECUTE: {
        auto* action = reinterpret_cast<TBasicAction*>(m.LParam);
        if (!action || action->ClassType() != THintAction::StaticClass())
            break;
        std::wstring hint = GetHint();
        if (static_cast<THintAction*>(action)->GetHint() != NarrowText(hint))
            break;
        // Whoever listens hears the wide hint instead.
        m.Result = 1;
        handled = true;
        std::unique_ptr<TUniHintAction, TObjectFree> wide(New<TUniHintAction>(nullptr));
        wide->SetHint(hint);
        wide->Execute();
        break;
    }
    default:
        break;
    }
}

void TUniApplication::HookMessage(MSG& msg)
{
    if (!FIdleControlCreated && Application && Application->GetMainForm()) {
        FIdleControlCreated = true;
        TCustomForm* form = Application->GetMainForm();
        FIdleControl = New<TUniAppIdleEventControl>(form);
        FIdleControl->SetParent(form);
        FIdleControl->FreeNotification(this);
    }
    if (msg.message != WM_CHAR || !NeedsWideDispatch(msg.wParam) || !IsWindowUnicode(msg.hwnd))
        return;
    HWND dialog = Application ? Application->GetDialogHandle() : nullptr;
    bool dialogActive = dialog && IsWindow(dialog);
    if (dialogActive && !IsWindowUnicode(dialog))
        return;
    // The class library's loop would take this through the 8-bit path: handle it here instead
    // and leave the loop a message that does nothing.
    MSG wide = msg;
    msg.message = WM_NULL;
    bool handled = false;
    if (Application) {
        Application->OnMessage(wide, handled);
        Application->IsHintMsg(wide);
    }
    if (handled)
        return;
    if (!dialogActive || !IsDialogMessageW(dialog, &wide))
        DispatchMessageW(&wide);
}
