// Time from asking for a popup menu of n items to its first painted frame (menu animation off), for
// the program's own path (a themed popup menu opening a themed popup window of themed items), beside
// a bare popup window that draws the same n texts with ExtTextOutW and the system's TrackPopupMenu,
// all measured in the same run at 10, 30 and 1,000 items.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "platform/Forms.h"
#include "platform/Menus.h"
#include "platform/ScopeGuards.h"
#include "skin/Skin.h"
#include "skin/SkinItems.h"
#include "skin/SkinPopup.h"
#include "toolbar/TBFramework.h"
#include "toolbar/TBPopup.h"

namespace {

double PaintedAt = 0;
int BareItems = 0;

std::wstring ItemText(int i)
{
    return L"Menu command number " + std::to_wstring(i + 1);
}

// A themed popup window that notes its first paint and ends the menu there.
class TTimedPopupWindow : public TSkinPopupWindow {
    SF_CLASS(TTimedPopupWindow)
public:
    using TSkinPopupWindow::TSkinPopupWindow;

protected:
    void Paint() override
    {
        TSkinPopupWindow::Paint();
        if (PaintedAt == 0) {
            PaintedAt = Now();
            GetView()->FinishModal();
        }
    }
};
SF_IMPLEMENT_ABSTRACT(TTimedPopupWindow, TSkinPopupWindow)

class TTimedRootItem : public TSkinRootItem {
public:
    using TSkinRootItem::TSkinRootItem;
    TTBPopupWindowClass QueryPopupWindowClass() override { return PopupWindowClassOf<TTimedPopupWindow>(); }
};

class TTimedPopupMenu : public TSkinPopupMenu {
public:
    using TSkinPopupMenu::TSkinPopupMenu;

protected:
    const TTBClassRef<TTBRootItem, TComponent*>* QueryRootItemClass() override
    {
        return TBClassRefOf<TTBRootItem, TTimedRootItem, TComponent*>();
    }
};

double ThemedToFirstPaint(TTimedPopupMenu* menu)
{
    PaintedAt = 0;
    const double start = Now();
    menu->Popup(200, 100);
    return PaintedAt - start;
}

LRESULT CALLBACK BareProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg != WM_PAINT)
        return DefWindowProcW(wnd, msg, wParam, lParam);
    TPaintDC dc(wnd);
    RECT client{};
    GetClientRect(wnd, &client);
    FillRect(dc.Get(), &client, GetSysColorBrush(COLOR_MENU));
    TSelectGuard font(dc.Get(), TBMenuFont()->GetHandle());
    SetBkMode(dc.Get(), TRANSPARENT);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc.Get(), &metrics);
    for (int i = 0; i < BareItems; ++i) {
        std::wstring text = ItemText(i);
        ExtTextOutW(dc.Get(), 24, 3 + i * (metrics.tmHeight + 4), 0, nullptr, text.c_str(),
                    static_cast<UINT>(text.size()), nullptr);
    }
    if (PaintedAt == 0)
        PaintedAt = Now();
    return 0;
}

double BareWindowToFirstPaint(int items)
{
    static const wchar_t* cls = [] {
        WNDCLASSW wc{};
        wc.lpfnWndProc = BareProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"BenchBarePopup";
        RegisterClassW(&wc);
        return L"BenchBarePopup";
    }();
    BareItems = items;
    PaintedAt = 0;
    const double start = Now();
    HWND wnd = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, cls, L"", WS_POPUP | WS_BORDER, 200, 100, 220,
                               std::min(items * 20 + 6, 900), nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ShowWindow(wnd, SW_SHOWNOACTIVATE);
    UpdateWindow(wnd);
    const double elapsed = PaintedAt - start;
    DestroyWindow(wnd);
    return elapsed;
}

// The system's menu tells its owner when it has nothing more to do after showing (and painting)
// itself: that is where its time ends.
LRESULT CALLBACK OwnerProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_ENTERIDLE && wParam == MSGF_MENU) {
        if (PaintedAt == 0)
            PaintedAt = Now();
        EndMenu();
        return 0;
    }
    return DefWindowProcW(wnd, msg, wParam, lParam);
}

double SystemMenuToIdle(HWND owner, HMENU menu)
{
    PaintedAt = 0;
    const double start = Now();
    TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_TOPALIGN, 200, 100, 0, owner, nullptr);
    return PaintedAt - start;
}

struct TFigures {
    double Themed = 0;
    double Bare = 0;
    double System = 0;
};

TFigures MeasureAt(int items, int runs, HWND owner)
{
    std::unique_ptr<TTimedPopupMenu, TObjectFree> menu(New<TTimedPopupMenu>(nullptr));
    HMENU system = CreatePopupMenu();
    for (int i = 0; i < items; ++i) {
        auto* item = New<TSkinItem>(nullptr);
        item->SetCaption(ItemText(i));
        menu->GetItems()->Add(item);
        AppendMenuW(system, MF_STRING, static_cast<UINT_PTR>(i + 1), ItemText(i).c_str());
    }
    // The first of each pays for class registration and font loading.
    ThemedToFirstPaint(menu.get());
    BareWindowToFirstPaint(items);
    SystemMenuToIdle(owner, system);
    std::vector<double> themed, bare, sys;
    for (int i = 0; i < runs; ++i) {
        themed.push_back(ThemedToFirstPaint(menu.get()));
        bare.push_back(BareWindowToFirstPaint(items));
        sys.push_back(SystemMenuToIdle(owner, system));
    }
    DestroyMenu(system);
    return TFigures{Median(themed), Median(bare), Median(sys)};
}

} // namespace

int main()
{
    PrintArchitecture();
    InitControls();
    InitForms();
    InitMenus();
    InitTBFramework();
    InitSkin();
    BOOL animation = FALSE;
    SystemParametersInfoA(SPI_GETMENUANIMATION, 0, &animation, 0);
    SystemParametersInfoA(SPI_SETMENUANIMATION, 0, nullptr, 0);
    WNDCLASSW wc{};
    wc.lpfnWndProc = OwnerProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"BenchMenuOwner";
    RegisterClassW(&wc);
    HWND owner = CreateWindowExW(WS_EX_TOOLWINDOW, wc.lpszClassName, L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                 wc.hInstance, nullptr);
    std::printf("Popup to first paint, menu animation off (medians); the system's menu to its first idle\n");
    std::printf("  items   themed popup menu   bare window   TrackPopupMenu   themed / bare\n");
    for (int items : {10, 30, 1000}) {
        const TFigures f = MeasureAt(items, items > 100 ? 21 : 101, owner);
        std::printf("  %5d   %14.3f ms   %8.3f ms   %11.3f ms   %6.2f\n", items, f.Themed, f.Bare, f.System,
                    f.Bare > 0 ? f.Themed / f.Bare : 0.0);
    }
    std::printf("targets: themed / bare at most 2 at 1,000 items; themed faster than TrackPopupMenu at 30 items\n");
    DestroyWindow(owner);
    SystemParametersInfoA(SPI_SETMENUANIMATION, 0, reinterpret_cast<void*>(static_cast<UINT_PTR>(animation)), 0);
    DoneSkin();
    DoneTBFramework();
    DoneMenus();
    DoneForms();
    DoneControls();
    return 0;
}
