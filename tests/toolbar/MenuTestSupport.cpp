#include "MenuTestSupport.h"

#include <tlhelp32.h>

#include <map>

#include "TestSupport.h"
#include "platform/ScopeGuards.h"
#include "toolbar/TBCommon.h"
#include "toolbar/TBPopup.h"

namespace {

std::map<UINT_PTR, TInputScript*>& Scripts()
{
    static std::map<UINT_PTR, TInputScript*> scripts;
    return scripts;
}

const char* FormClass()
{
    static const char* name = [] {
        WNDCLASSA wc{};
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        wc.lpszClassName = "MenuTestForm";
        RegisterClassA(&wc);
        return "MenuTestForm";
    }();
    return name;
}

// Menu tests show and hide many windows: they must not wait for a window manager there is not.
// Set before main, ahead of the program's first window.
const bool WindowsUnmanaged = [] {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string name = path;
    LeaveWindowsUnmanaged(name.substr(name.find_last_of("\\/") + 1));
    return true;
}();

} // namespace

TTBCustomItem* FindItem(TTBCustomItem* root, const std::wstring& caption)
{
    for (int i = 0; i < root->Count(); ++i) {
        TTBCustomItem* item = root->GetItem(i);
        if (RemoveAccelMarks(item->GetCaption()) == caption)
            return item;
        if (TTBCustomItem* found = FindItem(item, caption))
            return found;
    }
    return nullptr;
}

// ---------------------------------------------------------------------------------------------
// TInputScript

TInputScript::TInputScript(HWND host, UINT tickMs, UINT watchdogMs)
    : FHost(host), FTickMs(tickMs), FWatchdogMs(watchdogMs)
{
}

TInputScript::~TInputScript()
{
    if (FTimer) {
        KillTimer(nullptr, FTimer);
        Scripts().erase(FTimer);
    }
    if (FWatchdog) {
        KillTimer(nullptr, FWatchdog);
        Scripts().erase(FWatchdog);
    }
}

void PostMouse(UINT message, POINT screen)
{
    SetCursorPos(screen.x, screen.y);
    HWND target = WindowFromPoint(screen);
    POINT client = screen;
    if (target)
        ScreenToClient(target, &client);
    PostMessageA(target, message, 0, MAKELPARAM(client.x, client.y));
}

TInputScript& TInputScript::Key(WORD vk, bool alt)
{
    FSteps.push_back([this, vk, alt] {
        HWND target = GetFocus() ? GetFocus() : FHost;
        const UINT down = alt || vk == VK_MENU || vk == VK_F10 ? WM_SYSKEYDOWN : WM_KEYDOWN;
        const LPARAM data = 1 | (static_cast<LPARAM>(MapVirtualKeyA(vk, MAPVK_VK_TO_VSC)) << 16) | (alt ? 1L << 29 : 0);
        PostMessageA(target, down, vk, data);
        PostMessageA(target, down == WM_SYSKEYDOWN ? WM_SYSKEYUP : WM_KEYUP, vk, data | (3L << 30));
    });
    return *this;
}

TInputScript& TInputScript::Keys(std::initializer_list<WORD> keys)
{
    for (WORD key : keys)
        Key(key);
    return *this;
}

TInputScript& TInputScript::Char(wchar_t c)
{
    FSteps.push_back([this, c] { PostMessageA(GetFocus() ? GetFocus() : FHost, WM_CHAR, c, 1); });
    return *this;
}

TInputScript& TInputScript::MoveTo(TPointSource screen)
{
    return Press(std::move(screen), WM_MOUSEMOVE);
}

TInputScript& TInputScript::Press(TPointSource screen, UINT message)
{
    FSteps.push_back([screen, message] { PostMouse(message, screen()); });
    return *this;
}

TInputScript& TInputScript::Release(TPointSource screen, UINT message)
{
    return Press(std::move(screen), message);
}

TInputScript& TInputScript::Click(TPointSource screen)
{
    MoveTo(screen);
    Press(screen);
    return Release(screen);
}

TInputScript& TInputScript::Wait(UINT ms)
{
    for (UINT waited = FTickMs; waited < ms; waited += FTickMs)
        FSteps.push_back([] {});
    return *this;
}

TInputScript& TInputScript::Do(std::function<void()> step)
{
    FSteps.push_back(std::move(step));
    return *this;
}

void TInputScript::Start()
{
    FTimer = SetTimer(nullptr, 0, FTickMs, &TInputScript::Tick);
    FWatchdog = SetTimer(nullptr, 0, FWatchdogMs, &TInputScript::Tick);
    Scripts()[FTimer] = this;
    Scripts()[FWatchdog] = this;
}

void CALLBACK TInputScript::Tick(HWND, UINT, UINT_PTR id, DWORD)
{
    auto it = Scripts().find(id);
    if (it == Scripts().end())
        return;
    TInputScript* script = it->second;
    try {
        if (id == script->FWatchdog)
            script->Bark();
        else
            script->Play();
    } catch (...) {
        // A failed check inside a step must not cross the system's frames.
        script->Bark();
    }
}

void TInputScript::Play()
{
    if (Finished())
        return;
    // A step may run a nested loop (a posted click): take it before playing it.
    auto step = FSteps[FNext++];
    step();
}

void TInputScript::Bark()
{
    FWatchdogFired = true;
    KillTimer(nullptr, FWatchdog);
    Scripts().erase(FWatchdog);
    FWatchdog = 0;
    ReleaseCapture();
    for (int i = 0; i < 4; ++i)
        PostMessageA(FHost, WM_KEYDOWN, VK_ESCAPE, 1);
}

// ---------------------------------------------------------------------------------------------
// Settings and hosts

TMenuSettings::TMenuSettings(bool animation, bool fade, UINT showDelay)
{
    SystemParametersInfoA(SPI_GETMENUANIMATION, 0, &FAnimation, 0);
    SystemParametersInfoA(SPI_GETMENUFADE, 0, &FFade, 0);
    SystemParametersInfoA(SPI_GETMENUSHOWDELAY, 0, &FDelay, 0);
    SystemParametersInfoA(SPI_SETMENUANIMATION, 0, reinterpret_cast<void*>(static_cast<UINT_PTR>(animation)), 0);
    SystemParametersInfoA(SPI_SETMENUFADE, 0, reinterpret_cast<void*>(static_cast<UINT_PTR>(fade)), 0);
    SystemParametersInfoA(SPI_SETMENUSHOWDELAY, showDelay, nullptr, 0);
}

TMenuSettings::~TMenuSettings()
{
    SystemParametersInfoA(SPI_SETMENUANIMATION, 0, reinterpret_cast<void*>(static_cast<UINT_PTR>(FAnimation)), 0);
    SystemParametersInfoA(SPI_SETMENUFADE, 0, reinterpret_cast<void*>(static_cast<UINT_PTR>(FFade)), 0);
    SystemParametersInfoA(SPI_SETMENUSHOWDELAY, FDelay, nullptr, 0);
}

TMenuBarHost::TMenuBarHost(TTBCustomItem* root, POINT screenPos, bool activate)
{
    // Without a caption Wine leaves the window to itself: a managed one costs seconds to hide
    // when there is no window manager.
    FForm = CreateWindowExA(0, FormClass(), "Menu test", WS_POPUP | WS_BORDER | WS_SYSMENU, screenPos.x, screenPos.y,
                            500, 200, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    SetWindowLongPtrA(FForm, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrA(FForm, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TMenuBarHost::FormProc));
    auto* bar = New<TViewHost>(nullptr);
    FBar.reset(bar);
    bar->SetBounds(0, 0, 480, 24);
    bar->SetParentWindow(FForm);
    FView = New<TTBView>(bar, nullptr, root, bar, true, false, false);
    bar->View = FView;
    ShowWindow(FForm, activate ? SW_SHOW : SW_SHOWNOACTIVATE);
    if (activate) {
        SetForegroundWindow(FForm);
        SetActiveWindow(FForm);
    } else {
        // With no active window in the thread, another program activating its own window changes
        // nothing the menu loop watches.
        SetActiveWindow(nullptr);
    }
    FView->EnsureLayout();
    UpdateWindow(FForm);
}

TMenuBarHost::~TMenuBarHost()
{
    FBar->View = nullptr;
    FBar.reset();
    SetWindowLongPtrA(FForm, GWLP_USERDATA, 0);
    DestroyWindow(FForm);
}

LRESULT CALLBACK TMenuBarHost::FormProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto* host = reinterpret_cast<TMenuBarHost*>(GetWindowLongPtrA(wnd, GWLP_USERDATA));
    if (host && (msg == WM_LBUTTONDOWN || msg == WM_RBUTTONDOWN || msg == WM_SYSCOMMAND)) {
        host->Received.push_back(msg);
        host->ReceivedWParams.push_back(wParam);
        if (msg == WM_SYSCOMMAND)
            return 0;
    }
    return DefWindowProcA(wnd, msg, wParam, lParam);
}

POINT TMenuBarHost::CentreOf(TTBView* view, TTBCustomItem* item)
{
    view->EnsureLayout();
    const RECT& r = view->Find(item)->GetBoundsRect();
    return view->GetWindow()->ClientToScreen(POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2});
}

POINT ItemCentre(TTBView* view, TTBCustomItem* item)
{
    std::vector<TTBView*> chain = OpenChain(view);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it)
        for (int i = 0; i < (*it)->GetViewerCount(); ++i)
            if ((*it)->GetViewer(i)->GetItem() == item)
                return TMenuBarHost::CentreOf(*it, item);
    return POINT{-1, -1};
}

std::vector<TTBView*> OpenChain(TTBView* view)
{
    std::vector<TTBView*> chain;
    for (; view; view = view->GetOpenedViewerView())
        chain.push_back(view);
    return chain;
}

int VisiblePopupWindows()
{
    int count = 0;
    for (HWND wnd : ThreadWindows())
        if (IsWindowVisible(wnd) && dynamic_cast<TTBPopupWindow*>(FindControl(wnd)))
            ++count;
    return count;
}

TResourceCount CountResources()
{
    TResourceCount count;
    count.Windows = static_cast<int>(ThreadWindows().size());
    count.GdiObjects = LiveHandles(THandleKind::GdiObject);
    count.DeviceContexts = LiveHandles(THandleKind::DeviceContext);
    count.Timers = LiveHandles(THandleKind::Timer);
    count.Hooks = LiveHandles(THandleKind::Hook);
    TKernelHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Thread32First(snapshot.Get(), &entry); more; more = Thread32Next(snapshot.Get(), &entry))
        if (entry.th32OwnerProcessID == GetCurrentProcessId())
            ++count.Threads;
    return count;
}

std::string Describe(const TResourceCount& c)
{
    return "windows " + std::to_string(c.Windows) + ", GDI objects " + std::to_string(c.GdiObjects) + ", DCs " +
           std::to_string(c.DeviceContexts) + ", timers " + std::to_string(c.Timers) + ", hooks " +
           std::to_string(c.Hooks) + ", threads " + std::to_string(c.Threads);
}
