// Printing through the program's window on the PDF printer of the test CUPS server, and the
// program without any printer. e2e-print-check.sh runs these cases and checks the PDF files.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "E2ESupport.h"
#include "TestSupport.h"

namespace {
struct TPrintedPage {
    bool Landscape;
    COLORREF Color;
};
// Three pages, portrait, landscape, portrait: three print documents of one sheet each.
constexpr TPrintedPage PrintedPages[] = {
    {false, RGB(220, 30, 30)}, {true, RGB(30, 160, 40)}, {false, RGB(30, 60, 220)}};

std::string ReportPath()
{
    const char* path = std::getenv("SF_PRINT_REPORT");
    return path ? WindowsPath(path) : std::string();
}

// Waits for the print job's progress window to come and go; a job quicker than the polling
// may show it too briefly to be seen.
void WaitForPrintJob(const TProgramDriver& program)
{
    if (program.WaitForClass("TProgressForm", 5000)) {
        EXPECT_TRUE(program.WaitForClassGone("TProgressForm", 120000)) << "the print job does not end";
    }
    EXPECT_TRUE(program.Sync());
}
}

class Printing : public TProgramTest {};
class NoPrinter : public TProgramTest {};

TEST_F(Printing, PortraitLandscapePortraitGivesThreeDocuments)
{
    ASSERT_FALSE(ReportPath().empty()) << "SF_PRINT_REPORT names no report file";
    // No stored printer: the default one, "PDF".
    WriteSetting("Printer", std::string());
    const std::string folder = TestTempDir() + "\\print";
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::string source = folder + "\\threepages.sfp";
    {
        TProjectPtr project = NewTestProject();
        int n = 0;
        for (const TPrintedPage& printed : PrintedPages) {
            TSheetfoldPage* page = AddTestPage(project.get(), printed.Landscape);
            const std::string picture = folder + "\\p" + std::to_string(n++) + ".bmp";
            // A large block in the middle of the printable area.
            const RECT area = page->GetPrintableRect();
            const int w = (area.right - area.left) / 2;
            const int h = (area.bottom - area.top) / 2;
            const RECT bounds{area.left + w / 2, area.top + h / 2, area.left + w / 2 + w, area.top + h / 2 + h};
            AddTestImage(page, WriteSolidPicture(picture, 40, 40 * h / w, printed.Color), bounds, "block");
        }
        project->SaveToFile(source);
    }
    ASSERT_TRUE(Program.Start(Quoted(source)));
    ASSERT_TRUE(Program.WaitForCaption("threepages - Sheetfold"));
    Program.PostCommand(cmdPrint);
    WaitForPrintJob(Program);
    EXPECT_FALSE(Program.HasDialog()) << "a message while printing: " << MessageBoxText(Program.WaitForMessageBox(0));
    CloseProgram(Program);
    EXPECT_EQ(ReadStringSetting("Printer"), "PDF");

    FILE* report = std::fopen(ReportPath().c_str(), "w");
    ASSERT_NE(report, nullptr);
    for (const TPrintedPage& printed : PrintedPages)
        std::fprintf(report, "page %s %d %d %d\n", printed.Landscape ? "landscape" : "portrait", GetRValue(printed.Color),
                     GetGValue(printed.Color), GetBValue(printed.Color));
    std::fclose(report);
}

TEST_F(NoPrinter, PrintIsOffAndExportStillWorks)
{
    // A start without printers keeps the printer chosen earlier for the next start.
    WriteSetting("Printer", "PDF2");
    const std::string folder = TestTempDir() + "\\noprinter";
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::string source = folder + "\\noprinter.sfp";
    {
        TProjectPtr project = NewTestProject();
        AddTestImage(AddTestPage(project.get()), WriteSolidPicture(folder + "\\b.bmp", 8, 8, RGB(0, 0, 255)),
                     RECT{2000, 2000, 4000, 4000}, "b");
        project->SaveToFile(source);
    }
    ASSERT_TRUE(Program.Start(Quoted(source)));
    ASSERT_TRUE(Program.WaitForCaption("noprinter - Sheetfold"));

    // Print is off: nothing opens, nothing fails.
    Program.PostCommand(cmdPrint);
    ASSERT_TRUE(Program.Sync());
    const HWND opened = Program.WaitForWindow([&](HWND wnd) { return wnd != Program.MainWindow(); }, 1500);
    EXPECT_FALSE(opened) << "a window of class " << WindowClass(opened) << " opened for printing without a printer";

    // Export does not need a printer: the page keeps a paper of its own.
    const std::string exported = folder + "\\page.bmp";
    ASSERT_TRUE(ExportPage(Program, exported, 1, 0));
    TDecodedPicture picture = DecodePicture(exported);
    EXPECT_GT(picture.Width, 0);
    EXPECT_GT(picture.Height, picture.Width);

    CloseProgram(Program);
    EXPECT_EQ(ReadStringSetting("Printer"), "PDF2");
}

TEST_F(Printing, StoredPrinterIsChosenAndKept)
{
    WriteSetting("Printer", "PDF2");
    ASSERT_TRUE(Program.Start());
    CloseProgram(Program);
    EXPECT_EQ(ReadStringSetting("Printer"), "PDF2");
}
