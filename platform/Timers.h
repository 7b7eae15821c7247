// Utility windows for objects that receive messages without being controls, and the timer
// component built on one.
#pragma once

#include <windows.h>

#include "platform/Component.h"
#include "platform/Messages.h"

// Creates a hidden window whose messages go to `method`. The method answers what it handles
// and passes everything else to DefWindowProcA itself. Exceptions in it go to the application.
HWND AllocateHWnd(const TWndMethod& method);
void DeallocateHWnd(HWND wnd);
// Utility windows alive now (for leak checks).
int AllocatedHWndCount();

// Calls OnTimer every Interval milliseconds while Enabled, through a utility window.
class TTimer : public TComponent {
    SF_CLASS(TTimer)
public:
    explicit TTimer(TComponent* owner = nullptr);
    ~TTimer() override;
    void BeforeDestruction() override;

    bool GetEnabled() const { return FEnabled; }
    void SetEnabled(bool value);
    unsigned GetInterval() const { return FInterval; }
    void SetInterval(unsigned value);
    const TNotifyEvent& GetOnTimer() const { return FOnTimer; }
    void SetOnTimer(const TNotifyEvent& handler);

    // System timers running now (for leak checks).
    static int ActiveTimerCount();

protected:
    virtual void Timer();

private:
    void UpdateTimer();
    void WndProc(TMessage& message);
    void Stop();

    HWND FWindowHandle = nullptr;
    unsigned FInterval = 1000;
    bool FEnabled = true;
    bool FRunning = false;
    TNotifyEvent FOnTimer;
};
