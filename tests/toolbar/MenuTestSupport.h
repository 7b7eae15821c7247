// What the menu tests share: a user at the keyboard and mouse played from a timer while a menu
// loop runs (with a watchdog that ends a loop that got stuck), system menu settings held for a
// test, a control that shows a toolbar view of an item tree, item trees built from a table, and
// counts of what a menu leaves behind.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ToolbarTestSupport.h"
#include "toolbar/TBItem.h"
#include "toolbar/TBView.h"

using TItemPtr = std::unique_ptr<TTBCustomItem, TObjectFree>;

// The item with the caption anywhere below root (accelerator marks ignored), nullptr when none.
TTBCustomItem* FindItem(TTBCustomItem* root, const std::wstring& caption);

// Plays steps one per timer tick (the loop under test dispatches the ticks). Mouse steps put the
// cursor on the point and post the message to the window under it, as the system would; key
// steps post to the focus window (else the host window). The watchdog releases the capture and
// posts Escape when the script has not finished after its time limit.
class TInputScript {
public:
    explicit TInputScript(HWND host, UINT tickMs = 25, UINT watchdogMs = 8000);
    ~TInputScript();
    TInputScript(const TInputScript&) = delete;
    TInputScript& operator=(const TInputScript&) = delete;

    TInputScript& Key(WORD vk, bool alt = false);
    TInputScript& Keys(std::initializer_list<WORD> keys);
    TInputScript& Char(wchar_t c);
    // Points are read when the step plays (a popup's items have no place before it opens).
    using TPointSource = std::function<POINT()>;
    TInputScript& MoveTo(TPointSource screen);
    TInputScript& Press(TPointSource screen, UINT message = WM_LBUTTONDOWN);
    TInputScript& Release(TPointSource screen, UINT message = WM_LBUTTONUP);
    TInputScript& Click(TPointSource screen);
    TInputScript& MoveTo(POINT screen) { return MoveTo(Fixed(screen)); }
    TInputScript& Press(POINT screen, UINT message = WM_LBUTTONDOWN) { return Press(Fixed(screen), message); }
    TInputScript& Release(POINT screen, UINT message = WM_LBUTTONUP) { return Release(Fixed(screen), message); }
    TInputScript& Click(POINT screen) { return Click(Fixed(screen)); }
    // Lets about ms pass before the next step.
    TInputScript& Wait(UINT ms);
    TInputScript& Do(std::function<void()> step);
    void Start();

    bool Finished() const { return FNext >= FSteps.size(); }
    bool WatchdogFired() const { return FWatchdogFired; }

private:
    static TPointSource Fixed(POINT p)
    {
        return [p] { return p; };
    }
    static void CALLBACK Tick(HWND, UINT, UINT_PTR id, DWORD);
    void Play();
    void Bark();

    HWND FHost;
    UINT FTickMs;
    UINT FWatchdogMs;
    std::vector<std::function<void()>> FSteps;
    size_t FNext = 0;
    UINT_PTR FTimer = 0;
    UINT_PTR FWatchdog = 0;
    bool FWatchdogFired = false;
};

// A screen point's window gets the mouse message there (client coordinates in lParam), with the
// cursor put on the point first, as the system would.
void PostMouse(UINT message, POINT screen);
// The centre of the item's viewer in the deepest open view below view that shows it.
POINT ItemCentre(TTBView* view, TTBCustomItem* item);

// Holds system menu settings for a test and puts them back afterwards.
class TMenuSettings {
public:
    TMenuSettings(bool animation, bool fade, UINT showDelay);
    ~TMenuSettings();
    TMenuSettings(const TMenuSettings&) = delete;
    TMenuSettings& operator=(const TMenuSettings&) = delete;

private:
    BOOL FAnimation = FALSE;
    BOOL FFade = FALSE;
    UINT FDelay = 400;
};

// A visible top-level window with a control that shows a toolbar view of the root item at its
// top left: the menu bar of the tests. It is activated only when asked: the menu loop ends when
// the thread's active window changes, and test programs running beside this one activate their
// own windows, which deactivates this thread's.
class TMenuBarHost {
public:
    explicit TMenuBarHost(TTBCustomItem* root, POINT screenPos = POINT{100, 100}, bool activate = false);
    ~TMenuBarHost();
    TMenuBarHost(const TMenuBarHost&) = delete;
    TMenuBarHost& operator=(const TMenuBarHost&) = delete;

    HWND Form() const { return FForm; }
    TTBView* View() const { return FView; }
    TWinControl* Bar() const { return FBar.get(); }
    // The centre of the item's viewer in a view, on the screen.
    static POINT CentreOf(TTBView* view, TTBCustomItem* item);
    // Messages the form received (mouse presses that reached it, system commands).
    std::vector<UINT> Received;
    std::vector<WPARAM> ReceivedWParams;

private:
    static LRESULT CALLBACK FormProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);

    HWND FForm = nullptr;
    std::unique_ptr<TViewHost, TObjectFree> FBar;
    TTBView* FView = nullptr;
};

// The chain of open views from the view down.
std::vector<TTBView*> OpenChain(TTBView* view);
// Visible popup windows of the thread.
int VisiblePopupWindows();

// What the thread holds now: windows, GDI objects and device contexts, timers and hooks that the
// shared guards count, and the process's threads.
struct TResourceCount {
    int Windows = 0;
    int GdiObjects = 0;
    int DeviceContexts = 0;
    int Timers = 0;
    int Hooks = 0;
    int Threads = 0;
    bool operator==(const TResourceCount&) const = default;
};
TResourceCount CountResources();
std::string Describe(const TResourceCount& count);
