#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "app/PagePrinting.h"
#include "SheetfoldHooksFake.h"
#include "TestSupport.h"

namespace {

// The printer's own target, with each document given a title of its own so that the printing
// check can find its PDF file, and a report of what each document should show: its geometry,
// its sheet count and the colour at the centre of each element and at a blank place.
class TReportingTarget : public TPrintTarget {
public:
    TReportingTarget(TPrintHelper& helper, FILE* report) : FInner(helper), FHelper(helper), FReport(report)
    {
        FStem = "sftest_" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(GetTickCount()) + "_project";
    }

    void SetTitle(const std::string& title) override
    {
        FInner.SetTitle(title);
        JobTitle = title;
    }
    void SetCopies(int copies) override { FInner.SetCopies(copies); }
    void SetOrientation(TPrinterOrientation orientation) override
    {
        FInner.SetOrientation(orientation);
        FLandscape = orientation == TPrinterOrientation::poLandscape;
    }
    void BeginDoc() override
    {
        FTitle = FStem + std::to_string(++FDocuments);
        FInner.SetTitle(FTitle);
        FInner.BeginDoc();
        FSheets = 1;
        HDC dc = FHelper.GetPrinter()->GetHandle();
        std::fprintf(FReport, "job %s %s %d %d %d %d %d %d\n", FTitle.c_str(), FLandscape ? "landscape" : "portrait",
                     GetDeviceCaps(dc, PHYSICALWIDTH), GetDeviceCaps(dc, PHYSICALHEIGHT),
                     GetDeviceCaps(dc, PHYSICALOFFSETX), GetDeviceCaps(dc, PHYSICALOFFSETY),
                     GetDeviceCaps(dc, LOGPIXELSX), GetDeviceCaps(dc, LOGPIXELSY));
    }
    void EndDoc() override
    {
        FInner.EndDoc();
        std::fprintf(FReport, "sheets %s %d\n", FTitle.c_str(), FSheets);
    }
    void NewPage() override
    {
        FInner.NewPage();
        ++FSheets;
    }
    void Abort() override { FInner.Abort(); }
    bool GetPrinting() override { return FInner.GetPrinting(); }
    void PrintPage(TSheetfoldPage& page) override
    {
        FInner.PrintPage(page);
        const THiMetric* mapMode = FHelper.GetPrinterMapMode();
        for (int i = 0; i < page.Count(); ++i) {
            RECT r = mapMode->LPtoDPRect(page.GetItem(i)->GetBounds());
            TColor c = page.GetItem(i)->GetColor();
            Expect((r.left + r.right) / 2, (r.top + r.bottom) / 2, GetRValue(c), GetGValue(c), GetBValue(c));
        }
        // The middle of the page is left blank.
        RECT paper = mapMode->LPtoDPRect(page.GetPaperRect());
        Expect((paper.left + paper.right) / 2, (paper.top + paper.bottom) / 2, 255, 255, 255);
    }

    int Documents() const { return FDocuments; }
    std::string JobTitle;

private:
    void Expect(int x, int y, int r, int g, int b)
    {
        std::fprintf(FReport, "expect %s %d %d %d %d %d %d\n", FTitle.c_str(), x, y, r, g, b, FSheets);
    }

    TPrinterPrintTarget FInner;
    TPrintHelper& FHelper;
    FILE* FReport;
    std::string FStem;
    std::string FTitle;
    int FDocuments = 0;
    int FSheets = 0;
    bool FLandscape = false;
};

} // namespace

// Prints a project of four pages (portrait, landscape, landscape, portrait) on the PDF printer
// for the printing check, which expects three PDF files of one, two and one sheets.
TEST(PrintingProject, PagesForTheCheck)
{
    const char* reportName = std::getenv("SF_PRINT_REPORT");
    if (!reportName || !*reportName)
        GTEST_SKIP() << "run by the printing check";
    TOwned<TPrinter> printer(New<TPrinter>());
    const auto& names = printer->GetPrinters();
    int pdf = -1;
    for (size_t i = 0; i < names.size(); ++i)
        if (names[i] == "PDF")
            pdf = static_cast<int>(i);
    ASSERT_GE(pdf, 0) << "the test CUPS server's printer PDF is missing";
    printer->SetPrinterIndex(pdf);
    TPrintHelper helper(printer.get());

    TOwned<TSheetfoldProject> project(New<TSheetfoldProject>());
    struct TBox {
        char Orientation;
        RECT Bounds;
        TColor Color;
    };
    const TBox boxes[] = {
        {'P', {2000, 2000, 7000, 7000}, 0x0000FF},
        {'L', {16000, 2000, 22000, 7000}, 0xFF0000},
        {'L', {2000, 11000, 7000, 16000}, 0x00FF00},
        {'P', {12000, 20000, 17000, 25000}, 0xFF00FF},
    };
    for (const TBox& b : boxes) {
        auto* page = New<TSheetfoldPage>(project.get());
        page->SetLandscape(b.Orientation == 'L');
        auto* rect = New<TLayerRect>(page);
        rect->SetBounds(b.Bounds.left, b.Bounds.top, b.Bounds.right - b.Bounds.left, b.Bounds.bottom - b.Bounds.top);
        rect->SetColor(b.Color);
    }

    FILE* report = std::fopen(reportName, "w");
    ASSERT_NE(report, nullptr);
    TReportingTarget target(helper, report);
    TNoOpHooks hooks;
    bool printed = false;
    EXPECT_NO_THROW(printed = PrintPages(*project, target, hooks, TPrintJobOptions{true, 1}));
    std::fclose(report);
    EXPECT_TRUE(printed);
    EXPECT_EQ(target.Documents(), 3);
    EXPECT_EQ(target.JobTitle, "Sheetfold");
    EXPECT_FALSE(printer->GetPrinting());
}
