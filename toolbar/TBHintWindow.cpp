#include "toolbar/TBHintWindow.h"

#include "platform/ScopeGuards.h"
#include "platform/SysUtils.h"
#include "toolbar/TBCommon.h"

SF_IMPLEMENT_COMPONENT(TTBHintWindow, THintWindow)

namespace {

constexpr DWORD QuickSuccession = 251;
constexpr size_t LongHint = 100;
constexpr DWORD AnimationTime = 100;
constexpr UINT TextFormat = DT_LEFT | DT_NOPREFIX | DT_WORDBREAK;

using TAnimateWindow = BOOL(WINAPI*)(HWND, DWORD, DWORD);

TAnimateWindow AnimateWindowCall()
{
    static const auto call = reinterpret_cast<TAnimateWindow>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "AnimateWindow")));
    return call;
}

HFONT HintFont()
{
    return Screen ? Screen->GetHintFont()->GetHandle() : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

} // namespace

DWORD HintAnimationFlags(DWORD sinceLastActive, size_t textLength, bool tooltipAnimation, bool tooltipFade,
                         bool cursorAtOrAboveTop)
{
    if (sinceLastActive < QuickSuccession || textLength >= LongHint || !tooltipAnimation)
        return 0;
    if (tooltipFade)
        return AW_BLEND;
    return AW_SLIDE | (cursorAtOrAboveTop ? AW_VER_POSITIVE : AW_VER_NEGATIVE);
}

RECT FitToVirtualScreen(RECT rect)
{
    const int left = GetSystemMetrics(SM_XVIRTUALSCREEN), top = GetSystemMetrics(SM_YVIRTUALSCREEN);
    const int right = left + GetSystemMetrics(SM_CXVIRTUALSCREEN);
    const int bottom = top + GetSystemMetrics(SM_CYVIRTUALSCREEN);
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    if (rect.top + height > bottom)
        rect.top = bottom - height;
    if (rect.left + width > right)
        rect.left = right - width;
    if (rect.left < left)
        rect.left = left;
    if (rect.top < top)
        rect.top = top;
    return RECT{rect.left, rect.top, rect.left + width, rect.top + height};
}

TTBHintWindow::TTBHintWindow(TComponent* owner) : THintWindow(owner) {}

RECT TTBHintWindow::CalcHintRect(int maxWidth, const std::string& hint, void*)
{
    RECT r{0, 0, maxWidth, 0};
    TWindowDC dc;
    TSelectGuard font(dc.Get(), HintFont());
    DrawTextLine(dc.Get(), AnsiToWide(hint, CP_UTF8), -1, r, DT_CALCRECT | TextFormat);
    r.right += 6;
    r.bottom += 2;
    return r;
}

void TTBHintWindow::ActivateHint(RECT rect, const std::string& hint)
{
    TFlagScope activating(FActivating);
    FCaption = AnsiToWide(hint, CP_UTF8);
    SetText(hint);
    rect.bottom += 4;
    rect = FitToVirtualScreen(rect);
    FLeft = rect.left;
    FTop = rect.top;
    FWidth = rect.right - rect.left;
    FHeight = rect.bottom - rect.top;
    HWND wnd = GetHandle();
    SetWindowPos(wnd, HWND_TOPMOST, FLeft, FTop, FWidth, FHeight, SWP_NOACTIVATE);
    POINT cursor{};
    GetCursorPos(&cursor);
    const DWORD flags = HintAnimationFlags(GetTickCount() - FLastActive, FCaption.size(),
                                           SystemSettingOn(SPI_GETTOOLTIPANIMATION), SystemSettingOn(SPI_GETTOOLTIPFADE),
                                           cursor.y <= FTop);
    if (flags && AnimateWindowCall())
        AnimateWindowCall()(wnd, AnimationTime, flags);
    ShowWindow(wnd, SW_SHOWNOACTIVATE);
    Invalidate();
    FLastActive = GetTickCount();
}

void TTBHintWindow::TextChanged(TMessage& message)
{
    {
        TFlagScope inTextChange(FInTextChange);
        THintWindow::Dispatch(message);
    }
    if (FActivating || !HandleAllocated())
        return;
    // Text set from outside (the application updating a shown tip): the tip fits it again.
    FCaption = AnsiToWide(GetText(), CP_UTF8);
    TCanvas* canvas = GetCanvas();
    canvas->SetFont(Screen ? Screen->GetHintFont() : canvas->GetFont());
    SIZE extent = WideTextExtent(canvas->GetHandle(), FCaption);
    SetBounds(FLeft, FTop, extent.cx + 6, extent.cy + 4);
}

void TTBHintWindow::PaintText(HDC dc, RECT& rect)
{
    DrawTextLine(dc, FCaption, -1, rect, TextFormat);
}

void TTBHintWindow::Dispatch(TMessage& message)
{
    if (message.Msg == CM_TEXTCHANGED) {
        TextChanged(message);
        return;
    }
    THintWindow::Dispatch(message);
}
