// Time from asking for a popup menu of 30 items to its first painted frame (menu animation off),
// against creating, showing and painting a bare popup window that draws the same 30 texts with
// ExtTextOutW, measured in the same run.
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
#include "toolbar/TBFramework.h"
#include "toolbar/TBPopup.h"

namespace {

constexpr int ItemCount = 30;
constexpr int Runs = 200;
double PaintedAt = 0;

std::wstring ItemText(int i)
{
    return L"Menu command number " + std::to_wstring(i + 1);
}

// A popup window that notes its first paint and ends the menu there.
class TTimedPopupWindow : public TTBPopupWindow {
    SF_CLASS(TTimedPopupWindow)
public:
    using TTBPopupWindow::TTBPopupWindow;

protected:
    void Paint() override
    {
        TTBPopupWindow::Paint();
        if (PaintedAt == 0) {
            PaintedAt = Now();
            GetView()->FinishModal();
        }
    }
};
SF_IMPLEMENT_ABSTRACT(TTimedPopupWindow, TTBPopupWindow)

class TTimedRootItem : public TTBRootItem {
public:
    using TTBRootItem::TTBRootItem;
    TTBPopupWindowClass QueryPopupWindowClass() override { return PopupWindowClassOf<TTimedPopupWindow>(); }
};

double PopupToFirstPaint(TTBCustomItem* root)
{
    PaintedAt = 0;
    const double start = Now();
    root->Popup(200, 100, false, paLeft, true);
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
    for (int i = 0; i < ItemCount; ++i) {
        std::wstring text = ItemText(i);
        ExtTextOutW(dc.Get(), 24, 3 + i * (metrics.tmHeight + 4), 0, nullptr, text.c_str(),
                    static_cast<UINT>(text.size()), nullptr);
    }
    if (PaintedAt == 0)
        PaintedAt = Now();
    return 0;
}

double BareWindowToFirstPaint()
{
    static const wchar_t* cls = [] {
        WNDCLASSW wc{};
        wc.lpfnWndProc = BareProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"BenchBarePopup";
        RegisterClassW(&wc);
        return L"BenchBarePopup";
    }();
    PaintedAt = 0;
    const double start = Now();
    HWND wnd = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, cls, L"", WS_POPUP | WS_BORDER, 200, 100, 220,
                               ItemCount * 20 + 6, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ShowWindow(wnd, SW_SHOWNOACTIVATE);
    UpdateWindow(wnd);
    const double elapsed = PaintedAt - start;
    DestroyWindow(wnd);
    return elapsed;
}

} // namespace

int main()
{
    PrintArchitecture();
    InitControls();
    InitForms();
    InitMenus();
    InitTBFramework();
    BOOL animation = FALSE;
    SystemParametersInfoA(SPI_GETMENUANIMATION, 0, &animation, 0);
    SystemParametersInfoA(SPI_SETMENUANIMATION, 0, nullptr, 0);
    {
        std::unique_ptr<TTimedRootItem, TObjectFree> root(New<TTimedRootItem>(nullptr));
        for (int i = 0; i < ItemCount; ++i) {
            auto* item = New<TTBCustomItem>(nullptr);
            item->SetCaption(ItemText(i));
            root->Add(item);
        }
        // The first of each pays for class registration and font loading.
        PopupToFirstPaint(root.get());
        BareWindowToFirstPaint();
        std::vector<double> popup, bare;
        for (int i = 0; i < Runs; ++i) {
            popup.push_back(PopupToFirstPaint(root.get()));
            bare.push_back(BareWindowToFirstPaint());
        }
        const double p = Median(popup), b = Median(bare);
        std::printf("popup menu of %d items, Popup to first paint: median %.3f ms over %d runs\n", ItemCount, p, Runs);
        std::printf("bare popup window, %d texts by ExtTextOutW, create to first paint: median %.3f ms\n", ItemCount,
                    b);
        std::printf("ratio %.2f (target: at most 2, and under 8 ms)\n", b > 0 ? p / b : 0.0);
    }
    SystemParametersInfoA(SPI_SETMENUANIMATION, 0, reinterpret_cast<void*>(static_cast<UINT_PTR>(animation)), 0);
    DoneTBFramework();
    DoneMenus();
    DoneForms();
    DoneControls();
    return 0;
}
