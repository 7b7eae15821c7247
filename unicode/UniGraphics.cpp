#include "unicode/UniGraphics.h"

void OutputWideText(TCanvas* canvas, int x, int y, const std::wstring& text)
{
    canvas->Changing();
    canvas->RequiredState(TCanvas::csHandleValid | TCanvas::csFontValid | TCanvas::csBrushValid);
    HDC dc = canvas->GetHandle();
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    if (GetTextAlign(dc) & TA_RTLREADING)
        x -= size.cx + 1;
    ExtTextOutW(dc, x, y, static_cast<UINT>(canvas->GetTextFlags()), nullptr, text.c_str(), static_cast<UINT>(text.size()),
                nullptr);
    canvas->SetPenPos(POINT{x + size.cx, y});
    canvas->Changed();
}

SIZE MeasureWideText(TCanvas* canvas, const std::wstring& text)
{
    canvas->RequiredState(TCanvas::csHandleValid | TCanvas::csFontValid);
    SIZE size{};
    GetTextExtentPoint32W(canvas->GetHandle(), text.c_str(), static_cast<int>(text.size()), &size);
    return size;
}

int MeasureWideTextWidth(TCanvas* canvas, const std::wstring& text)
{
    return MeasureWideText(canvas, text).cx;
}

int MeasureWideTextHeight(TCanvas* canvas, const std::wstring& text)
{
    return MeasureWideText(canvas, text).cy;
}
