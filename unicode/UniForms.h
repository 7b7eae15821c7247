// The Unicode application object and the message hook that let the whole application receive
// characters above 255 and show wide titles and hints. The class library's message loop and
// application object stay in charge; these step in only for what they cannot carry.
#pragma once

#include <windows.h>

#include <string>

#include "platform/Controls.h"
#include "platform/Forms.h"

class TUniApplication;

// The one application object, between InitUniForms and DoneUniForms.
extern TUniApplication* UniApplication;

// Creates the application object and, on a Unicode platform, installs the message hook for the
// calling (main) thread. DoneUniForms removes the hook and frees the object.
void InitUniForms();
void DoneUniForms();

// Installs the WH_GETMESSAGE hook for the calling thread (a Unicode platform only) and removes it.
void InstallMessageHook();
void UninstallMessageHook();
bool MessageHookInstalled();
// While disabled the hook leaves every message to the class library's loop.
void SetMessageHookDisabled(bool value);

// Whether a typed character (8-bit below 256, else wide) is the hot key of a wide caption,
// without regard to case. A caption without a hot key matches nothing.
bool MatchesWideAccel(WORD charCode, const std::wstring& caption);

// Placed on the main form: its idle update gives the application an idle call.
class TUniAppIdleEventControl : public TControl {
    SF_CLASS(TUniAppIdleEventControl)
public:
    explicit TUniAppIdleEventControl(TComponent* owner = nullptr);
    void InitiateAction() override;
};

class TUniApplication : public TComponent {
    SF_CLASS(TUniApplication)
public:
    explicit TUniApplication(TComponent* owner = nullptr);
    void AfterConstruction() override;
    void BeforeDestruction() override;

    // The long part of the wide hint of the control the application shows hints for, while the
    // application's 8-bit hint is its narrowed form; else the last wide hint set, in step with
    // the 8-bit one. Writing sets the application's hint to the narrowed text.
    std::wstring GetHint();
    void SetHint(const std::wstring& value);
    // The application window's title, wide.
    std::wstring GetTitle();
    void SetTitle(const std::wstring& value);
    // The tick count of the last system settings change (WM_WININICHANGE).
    DWORD GetSettingsChangeTime() const { return FSettingsChangeTime; }
    TUniAppIdleEventControl* GetIdleControl() const { return FIdleControl; }

    // The idle step: the wide hint follows the application's 8-bit one.
    void DoIdle();
    // What the message hook does with each message taken from the queue.
    void HookMessage(MSG& msg);

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    void MainWindowHook(TMessage& message, bool& handled);

    bool FIdleControlCreated = false;
    TUniAppIdleEventControl* FIdleControl = nullptr;
    std::wstring FHint;
    DWORD FSettingsChangeTime = 0;
    std::wstring FTitle;
    bool FTitlePending = false;
};
