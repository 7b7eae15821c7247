#include "document/PrintHelper.h"

#include <algorithm>
#include <utility>

SF_IMPLEMENT_CLASS(TPaper, TObject)
SF_IMPLEMENT_CLASS(TPrintHelper, TObject)

void TPaper::Set(int width, int height, int topMargin, int bottomMargin, int leftMargin, int rightMargin,
                 bool landscape)
{
    Width = width;
    Height = height;
    TopMargin = topMargin;
    BottomMargin = bottomMargin;
    LeftMargin = leftMargin;
    RightMargin = rightMargin;
    Landscape = landscape;
}

void TPaper::Assign(const TPaper* source)
{
    if (!source)
        return;
    Set(source->Width, source->Height, source->TopMargin, source->BottomMargin, source->LeftMargin,
        source->RightMargin, source->Landscape);
}

RECT TPaper::GetPaperRect() const
{
    return RECT{0, 0, Width, Height};
}

RECT TPaper::GetPrintableRect() const
{
    return RECT{LeftMargin, TopMargin, Width - RightMargin, Height - BottomMargin};
}

void TPaper::SetMarginsFromRect(const RECT& r)
{
    TopMargin = r.top;
    LeftMargin = r.left;
    BottomMargin = Height - r.bottom;
    RightMargin = Width - r.right;
}

void TPaper::SetSizeFromRect(const RECT& r)
{
    Width = r.right - r.left;
    Height = r.bottom - r.top;
}

void TPaper::SetLandscape(bool value)
{
    if (value == Landscape)
        return;
    std::swap(Width, Height);
    const int top = TopMargin;
    const int bottom = BottomMargin;
    const int left = LeftMargin;
    const int right = RightMargin;
    if (value) {
        TopMargin = left;
        BottomMargin = right;
        LeftMargin = bottom;
        RightMargin = top;
    } else {
        TopMargin = right;
        BottomMargin = left;
        LeftMargin = top;
        RightMargin = bottom;
    }
    Landscape = value;
}

TPrinterPaperCaps GetPrinterPaperCaps(HDC dc)
{
    TPrinterPaperCaps caps;
    caps.Page = GetPrinterPageCaps(dc);
    caps.PhysicalWidth = GetDeviceCaps(dc, PHYSICALWIDTH);
    caps.PhysicalHeight = GetDeviceCaps(dc, PHYSICALHEIGHT);
    return caps;
}

namespace {
// A printer that reports no printable size (a display-like context, a broken driver) would give
// a map mode that divides by zero and a paper of -1 units.
void CheckPageCaps(const TPrinterPageCaps& page)
{
    if (page.HorzRes <= 0 || page.VertRes <= 0 || page.HorzSizeMM <= 0 || page.VertSizeMM <= 0)
        throw EPrinter("The printer reports no printable page size");
}

void CheckPaperCaps(const TPrinterPaperCaps& caps)
{
    CheckPageCaps(caps.Page);
    if (caps.PhysicalWidth <= 0 || caps.PhysicalHeight <= 0 || caps.Page.PhysicalOffsetX < 0 ||
        caps.Page.PhysicalOffsetY < 0)
        throw EPrinter("The printer reports no physical page size");
}
}

TPrintHelper::TPrintHelper(TPrinter* printer)
    : FPrinter(printer), FPaper(New<TPaper>()), FMapMode(New<THiMetric>())
{
}

TPrinter* TPrintHelper::GetPrinter() const
{
    return FPrinter ? FPrinter : Printer();
}

bool TPrintHelper::HasPrinter()
{
    return !GetPrinter()->GetPrinters().empty();
}

TPrinterOrientation TPrintHelper::GetOrientation()
{
    return GetPrinter()->GetOrientation();
}

void TPrintHelper::SetOrientation(TPrinterOrientation orientation)
{
    if (HasPrinter())
        GetPrinter()->SetOrientation(orientation);
}

TPrinterPaperCaps TPrintHelper::ReadPrinterCaps()
{
    return GetPrinterPaperCaps(GetPrinter()->GetHandle());
}

THiMetric* TPrintHelper::GetPrinterMapMode()
{
    if (!HasPrinter())
        return FMapMode.get();
    TPrinterPaperCaps caps = ReadPrinterCaps();
    CheckPageCaps(caps.Page);
    FMapMode->SetPrinterPage(caps.Page);
    return FMapMode.get();
}

TPaper* TPrintHelper::GetPrinterPaper()
{
    try {
        if (!HasPrinter())
            return FPaper.get();
        TPrinterPaperCaps caps = ReadPrinterCaps();
        CheckPaperCaps(caps);
        const bool landscape = GetOrientation() == TPrinterOrientation::poLandscape;
        THiMetric map;
        map.SetPrinterPage(caps.Page);
        POINT size = map.DPtoLPSize(POINT{caps.PhysicalWidth, caps.PhysicalHeight});
        POINT offset = map.DPtoLPSize(POINT{caps.Page.PhysicalOffsetX, caps.Page.PhysicalOffsetY});
        POINT printable = map.DPtoLPSize(POINT{caps.Page.HorzRes, caps.Page.VertRes});
        // Each size is rounded on its own: a printable area that fills the page may come out
        // one unit larger than it, which is no margin rather than a negative one.
        FMapMode->Assign(&map);
        FPaper->Set(size.x, size.y, offset.y, std::max(0, static_cast<int>(size.y - offset.y - printable.y)),
                    offset.x, std::max(0, static_cast<int>(size.x - offset.x - printable.x)), landscape);
    } catch (const Exception&) {
        // A printer that cannot tell its page leaves the paper as it was: pages keep a usable
        // paper whatever state the printer is in.
    }
    return FPaper.get();
}
