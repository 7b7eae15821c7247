#include "SkinControlsTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>

#include "SkinTestSupport.h"
#include "TestSupport.h"
#include "platform/ScopeGuards.h"
#include "platform/Timers.h"

namespace {

// Themed tests float, dock and hide many windows: they must not wait for a window manager there is
// not. Set before main, ahead of the program's first window.
const bool WindowsUnmanaged = [] {
    LeaveWindowsUnmanaged("skin_tests.exe");
    return true;
}();

TForm* gHostForm = nullptr;

class THostFormEnvironment : public testing::Environment {
public:
    void TearDown() override
    {
        if (gHostForm)
            gHostForm->Free();
        gHostForm = nullptr;
        PumpMessages();
    }
};

BOOL CALLBACK CountWindow(HWND wnd, LPARAM data)
{
    ++*reinterpret_cast<int*>(data);
    EnumChildWindows(wnd, &CountWindow, data);
    return TRUE;
}

} // namespace

TForm* THostForm::Form()
{
    if (gHostForm)
        return gHostForm;
    static bool registered = false;
    if (!registered) {
        testing::AddGlobalTestEnvironment(new THostFormEnvironment);
        registered = true;
    }
    gHostForm = New<TForm>(nullptr);
    gHostForm->SetBorderStyle(bsNone);
    gHostForm->SetFormStyle(fsStayOnTop);
    // Away from the top-left corner, where other suites put windows they find by position.
    gHostForm->SetBounds(600, 500, 640, 480);
    gHostForm->Show();
    PumpMessages();
    return gHostForm;
}

void THostForm::Clear()
{
    TForm* form = Form();
    for (int i = form->GetComponentCount(); i-- > 0;)
        form->GetComponent(i)->Free();
    PumpMessages();
}

LPARAM ClientPoint(int x, int y)
{
    return MAKELPARAM(static_cast<WORD>(static_cast<short>(x)), static_cast<WORD>(static_cast<short>(y)));
}

void SendMouseMove(TWinControl* control, int x, int y, WPARAM keys)
{
    POINT screen{x, y};
    ClientToScreen(control->GetHandle(), &screen);
    SetCursorPos(screen.x, screen.y);
    SendMessageA(control->GetHandle(), WM_MOUSEMOVE, keys, ClientPoint(x, y));
}

void SendLeftDown(TWinControl* control, int x, int y)
{
    SendMessageA(control->GetHandle(), WM_LBUTTONDOWN, MK_LBUTTON, ClientPoint(x, y));
}

void SendLeftUp(TWinControl* control, int x, int y)
{
    SendMessageA(control->GetHandle(), WM_LBUTTONUP, 0, ClientPoint(x, y));
}

void SendKey(TWinControl* control, UINT message, WORD key)
{
    const LPARAM data = message == WM_KEYUP ? LPARAM(0xC0000001) : LPARAM(1);
    SendMessageA(control->GetHandle(), message, key, data);
}

TResourceCounts CountResources()
{
    TResourceCounts counts;
    EnumThreadWindows(GetCurrentThreadId(), &CountWindow, reinterpret_cast<LPARAM>(&counts.Windows));
    counts.GdiObjects = LiveHandles(THandleKind::GdiObject);
    counts.DeviceContexts = LiveHandles(THandleKind::DeviceContext);
    counts.Timers = TTimer::ActiveTimerCount() + LiveHandles(THandleKind::Timer);
    counts.UtilityWindows = AllocatedHWndCount();
    return counts;
}

std::string Describe(const TResourceCounts& c)
{
    return "windows " + std::to_string(c.Windows) + ", GDI objects " + std::to_string(c.GdiObjects) + ", DCs " +
           std::to_string(c.DeviceContexts) + ", timers " + std::to_string(c.Timers) + ", utility windows " +
           std::to_string(c.UtilityWindows);
}

std::string TEventLog::Joined() const
{
    std::string out;
    for (const std::string& e : Entries)
        out += (out.empty() ? "" : " ") + e;
    return out;
}

RECT InkBox(const TDIB32* dib, uint32_t rgb)
{
    RECT box{INT_MAX, INT_MAX, INT_MIN, INT_MIN};
    for (int y = 0; y < dib->GetHeight(); ++y)
        for (int x = 0; x < dib->GetWidth(); ++x)
            if (RGBOf(PixelAt(dib, x, y)) == rgb) {
                box.left = std::min<LONG>(box.left, x);
                box.top = std::min<LONG>(box.top, y);
                box.right = std::max<LONG>(box.right, x + 1);
                box.bottom = std::max<LONG>(box.bottom, y + 1);
            }
    return box.left == INT_MAX ? RECT{} : box;
}
