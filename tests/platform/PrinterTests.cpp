#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Printers.h"
#include "TestSupport.h"

namespace {

bool EnvSet(const char* name)
{
    const char* v = std::getenv(name);
    return v && *v;
}

// A queue of the test CUPS server, or -1. Tests that need it skip without it, unless the test
// script says that it is there.
int PrinterIndexOf(TPrinter* printer, const char* name)
{
    const auto& names = printer->GetPrinters();
    auto it = std::find(names.begin(), names.end(), name);
    return it == names.end() ? -1 : static_cast<int>(it - names.begin());
}

#define REQUIRE_PDF_PRINTER(printer, index) REQUIRE_PRINTER(printer, index, "PDF")
#define REQUIRE_PRINTER(printer, index, name)                                                        \
    int index = PrinterIndexOf(printer, name);                                                       \
    if (index < 0) {                                                                                 \
        if (EnvSet("SF_REQUIRE_PRINTER"))                                                            \
            FAIL() << "the test CUPS server's printer " << name << " is missing";                   \
        GTEST_SKIP() << "no PDF printer (CUPS is not running)";                                      \
    }

void ExpectPrinterError(const std::function<void()>& call, const std::string& message)
{
    try {
        call();
        ADD_FAILURE() << "no EPrinter raised; expected \"" << message << "\"";
    } catch (const EPrinter& e) {
        EXPECT_EQ(e.GetMessage(), message);
    }
}

std::string UniqueTitle(const char* what)
{
    return "sftest_" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(GetTickCount()) + "_" + what;
}

} // namespace

TEST(NoPrinter, EverythingRaisesClearly)
{
    if (!EnvSet("SF_EXPECT_NO_PRINTER"))
        GTEST_SKIP() << "run by the printing check with CUPS out of reach";
    TOwned<TPrinter> printer(New<TPrinter>());
    EXPECT_TRUE(printer->GetPrinters().empty());
    const std::string none = "There is no default printer currently selected";
    ExpectPrinterError([&] { printer->GetPrinterIndex(); }, none);
    ExpectPrinterError([&] { printer->SetPrinterIndex(-1); }, none);
    ExpectPrinterError([&] { printer->GetOrientation(); }, none);
    ExpectPrinterError([&] { printer->SetOrientation(TPrinterOrientation::poLandscape); }, none);
    ExpectPrinterError([&] { printer->GetHandle(); }, none);
    ExpectPrinterError([&] { printer->BeginDoc(); }, none);
    ExpectPrinterError([&] { printer->SetPrinterIndex(0); }, "Printer selected is not valid");
    ExpectPrinterError([&] { printer->EndDoc(); }, "Printer is not currently printing");
    ExpectPrinterError([&] { printer->GetCanvas()->FillRect({0, 0, 1, 1}); }, "Printer is not currently printing");
    EXPECT_FALSE(printer->GetPrinting());
}

TEST(Printer, OneObjectForTheProgram)
{
    TPrinter* first = Printer();
    EXPECT_EQ(Printer(), first);
    TPrinter* mine = New<TPrinter>();
    EXPECT_EQ(SetPrinter(mine), first);
    EXPECT_EQ(Printer(), mine);
    EXPECT_EQ(SetPrinter(first), mine);
    mine->Free();
}

TEST(Printer, SettingsOfTheSelectedPrinter)
{
    TOwned<TPrinter> printer(New<TPrinter>());
    REQUIRE_PDF_PRINTER(printer.get(), pdf);
    EXPECT_EQ(printer->GetPrinterIndex(), pdf) << "the test server's default printer";
    printer->SetPrinterIndex(pdf);
    EXPECT_EQ(printer->GetPrinterName(), "PDF");
    ExpectPrinterError([&] { printer->SetPrinterIndex(static_cast<int>(printer->GetPrinters().size())); },
                       "Printer selected is not valid");

    printer->SetOrientation(TPrinterOrientation::poPortrait);
    EXPECT_EQ(printer->GetOrientation(), TPrinterOrientation::poPortrait);
    int w = printer->GetPageWidth(), h = printer->GetPageHeight();
    EXPECT_GT(h, w);
    printer->SetOrientation(TPrinterOrientation::poLandscape);
    EXPECT_EQ(printer->GetOrientation(), TPrinterOrientation::poLandscape);
    EXPECT_EQ(printer->GetPageWidth(), h) << "the device context follows the device mode";
    EXPECT_EQ(printer->GetPageHeight(), w);
    HDC dc = printer->GetHandle();
    EXPECT_GT(GetDeviceCaps(dc, PHYSICALWIDTH), GetDeviceCaps(dc, PHYSICALHEIGHT));

    printer->SetCopies(3);
    EXPECT_EQ(printer->GetCopies(), 3);
    ExpectPrinterError([&] { printer->SetCopies(0); }, "The number of copies must be between 1 and 32767");
    EXPECT_TRUE(printer->GetCapabilities() & pcOrientation);

    // Another printer object starts from the printer's own defaults.
    TOwned<TPrinter> other(New<TPrinter>());
    other->SetPrinterIndex(pdf);
    EXPECT_EQ(other->GetCopies(), 1);
}

TEST(Printer, EveryPrinterKeepsItsSettings)
{
    TOwned<TPrinter> printer(New<TPrinter>());
    REQUIRE_PDF_PRINTER(printer.get(), pdf);
    REQUIRE_PRINTER(printer.get(), pdf2, "PDF2");
    printer->SetPrinterIndex(pdf);
    printer->SetOrientation(TPrinterOrientation::poLandscape);
    printer->SetPrinterIndex(pdf2);
    EXPECT_EQ(printer->GetOrientation(), TPrinterOrientation::poPortrait);
    printer->SetCopies(4);
    printer->SetPrinterIndex(pdf);
    EXPECT_EQ(printer->GetOrientation(), TPrinterOrientation::poLandscape);
    EXPECT_EQ(printer->GetCopies(), 1);
    printer->SetPrinterIndex(pdf);
    EXPECT_EQ(printer->GetOrientation(), TPrinterOrientation::poLandscape) << "selecting again keeps the settings";
    printer->SetPrinterIndex(pdf2);
    EXPECT_EQ(printer->GetCopies(), 4);
    printer->SetPrinterIndex(-1);
    EXPECT_EQ(printer->GetPrinterName(), "PDF");

    // A setup dialog's choice: another printer with its settings.
    const DEVMODEA* mode = printer->GetDevMode();
    std::vector<uint8_t> copy(reinterpret_cast<const uint8_t*>(mode),
                              reinterpret_cast<const uint8_t*>(mode) + mode->dmSize + mode->dmDriverExtra);
    auto* chosen = reinterpret_cast<DEVMODEA*>(copy.data());
    chosen->dmOrientation = DMORIENT_PORTRAIT;
    chosen->dmCopies = 2;
    printer->SetDevMode("PDF2", chosen);
    EXPECT_EQ(printer->GetPrinterIndex(), pdf2);
    EXPECT_EQ(printer->GetOrientation(), TPrinterOrientation::poPortrait);
    EXPECT_EQ(printer->GetCopies(), 2);
    ExpectPrinterError([&] { printer->SetDevMode("No such printer", chosen); }, "Printer selected is not valid");
    chosen->dmSize = 10;
    ExpectPrinterError([&] { printer->SetDevMode("PDF", chosen); }, "The printer settings are not valid");
    EXPECT_EQ(printer->GetPrinterIndex(), pdf2);
}

TEST(Printer, DocumentStates)
{
    TOwned<TPrinter> printer(New<TPrinter>());
    REQUIRE_PDF_PRINTER(printer.get(), pdf);
    printer->SetPrinterIndex(pdf);
    ExpectPrinterError([&] { printer->EndDoc(); }, "Printer is not currently printing");
    ExpectPrinterError([&] { printer->NewPage(); }, "Printer is not currently printing");
    ExpectPrinterError([&] { printer->Abort(); }, "Printer is not currently printing");
    ExpectPrinterError([&] { printer->GetCanvas()->Rectangle(0, 0, 5, 5); }, "Printer is not currently printing");

    printer->SetTitle(UniqueTitle("aborted"));
    printer->BeginDoc();
    EXPECT_TRUE(printer->GetPrinting());
    EXPECT_EQ(printer->GetPageNumber(), 1);
    EXPECT_EQ(printer->GetCanvas()->GetFont()->GetPixelsPerInch(), GetDeviceCaps(printer->GetHandle(), LOGPIXELSY));
    printer->GetCanvas()->Rectangle(0, 0, 100, 100);
    ExpectPrinterError([&] { printer->BeginDoc(); }, "Printing in progress");
    ExpectPrinterError([&] { printer->SetPrinterIndex(pdf); }, "Printing in progress");
    ExpectPrinterError([&] { printer->SetOrientation(TPrinterOrientation::poLandscape); }, "Printing in progress");
    printer->NewPage();
    EXPECT_EQ(printer->GetPageNumber(), 2);
    printer->GetCanvas()->Rectangle(0, 0, 100, 100);
    printer->Abort();
    EXPECT_FALSE(printer->GetPrinting());
    EXPECT_TRUE(printer->GetAborted());
    EXPECT_EQ(printer->GetPageNumber(), 0);
    ExpectPrinterError([&] { printer->EndDoc(); }, "Printer is not currently printing");

    // A printer freed while it holds an information DC lets its canvas go first.
    EXPECT_NE(printer->GetHandle(), nullptr);
    printer.reset();
}

// Prints the pages the printing check looks for in the PDF files. It writes what it printed
// (titles, page geometry and the expected colour at points in device pixels) to the report.
TEST(Printing, PagesForTheCheck)
{
    const char* report = std::getenv("SF_PRINT_REPORT");
    if (!report || !*report)
        GTEST_SKIP() << "run by the printing check";
    TOwned<TPrinter> printer(New<TPrinter>());
    REQUIRE_PDF_PRINTER(printer.get(), pdf);
    printer->SetPrinterIndex(pdf);
    FILE* out = std::fopen(report, "w");
    ASSERT_NE(out, nullptr);
    for (auto orientation : {TPrinterOrientation::poPortrait, TPrinterOrientation::poLandscape}) {
        bool landscape = orientation == TPrinterOrientation::poLandscape;
        std::string title = UniqueTitle(landscape ? "landscape" : "portrait");
        printer->SetTitle(title);
        printer->SetOrientation(orientation);
        printer->BeginDoc();
        HDC dc = printer->GetHandle();
        int w = printer->GetPageWidth(), h = printer->GetPageHeight();
        std::fprintf(out, "job %s %s %d %d %d %d %d %d\n", title.c_str(), landscape ? "landscape" : "portrait",
                     GetDeviceCaps(dc, PHYSICALWIDTH), GetDeviceCaps(dc, PHYSICALHEIGHT), GetDeviceCaps(dc, PHYSICALOFFSETX),
                     GetDeviceCaps(dc, PHYSICALOFFSETY), GetDeviceCaps(dc, LOGPIXELSX), GetDeviceCaps(dc, LOGPIXELSY));
        struct TBox {
            int L, T, R, B;   // in tenths of the printable area
            TColor Color;
        };
        const TBox boxes[] = {{1, 1, 4, 4, clRed}, {6, 6, 9, 9, clBlue}, {1, 6, 4, 9, clLime}};
        TCanvas* canvas = printer->GetCanvas();
        canvas->GetPen()->SetStyle(TPenStyle::psClear);
        for (const TBox& b : boxes) {
            canvas->GetBrush()->SetColor(b.Color);
            RECT r{w * b.L / 10, h * b.T / 10, w * b.R / 10, h * b.B / 10};
            canvas->FillRect(r);
            std::fprintf(out, "expect %s %d %d %d %d %d\n", title.c_str(), static_cast<int>((r.left + r.right) / 2), static_cast<int>((r.top + r.bottom) / 2),
                         GetRValue(b.Color), GetGValue(b.Color), GetBValue(b.Color));
        }
        std::fprintf(out, "expect %s %d %d 255 255 255\n", title.c_str(), w * 3 / 4, h / 4);
        printer->EndDoc();
    }
    std::fclose(out);
}
