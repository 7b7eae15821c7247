// The print job behind the main window's print command: the project's pages on the printer, one
// print document per run of equally oriented pages, with progress and an Abort button.
#pragma once

#include <windows.h>

#include <string>

#include "document/PrintHelper.h"
#include "document/SheetfoldHooks.h"
#include "document/SheetfoldProject.h"

struct TPrintJobOptions {
    bool AllPages = true;
    int Copies = 1;
};

// The copies the print panel allows; other counts are brought into this range.
constexpr int MinPrintCopies = 1;
constexpr int MaxPrintCopies = 99;
int ClampPrintCopies(int copies);

// The title every print job carries.
extern const char PrintJobTitle[];

// What the print job needs of a printer. TPrinterPrintTarget is the real printer's.
class TPrintTarget {
public:
    virtual ~TPrintTarget() = default;

    virtual void SetTitle(const std::string& title) = 0;
    virtual void SetCopies(int copies) = 0;
    // Only while no document is open.
    virtual void SetOrientation(TPrinterOrientation orientation) = 0;
    virtual void BeginDoc() = 0;
    virtual void EndDoc() = 0;
    virtual void NewPage() = 0;
    // Throws away the open document.
    virtual void Abort() = 0;
    virtual bool GetPrinting() = 0;
    // Draws the page on the current sheet of the open document.
    virtual void PrintPage(TSheetfoldPage& page) = 0;
};

// The print helper's printer. Each page is drawn with the map mode and the picture stretch mode
// of the document it lands in, read afresh: a new document may have another orientation.
class TPrinterPrintTarget : public TPrintTarget {
public:
    explicit TPrinterPrintTarget(TPrintHelper& helper) : FHelper(helper) {}

    void SetTitle(const std::string& title) override;
    void SetCopies(int copies) override;
    void SetOrientation(TPrinterOrientation orientation) override;
    void BeginDoc() override;
    void EndDoc() override;
    void NewPage() override;
    void Abort() override;
    bool GetPrinting() override;
    void PrintPage(TSheetfoldPage& page) override;

private:
    TPrintHelper& FHelper;
};

// Prints every page, or the current one, with the copies clamped to the allowed range. Progress
// is shown with the caption [Const] 11 and may be aborted: then the open document is thrown
// away and the result is false. Failures raise after the open document was thrown
// away. On every way out the progress display is ended and no document is left open.
bool PrintPages(TSheetfoldProject& project, TPrintTarget& target, TSheetfoldProgress& progress,
                const TPrintJobOptions& options);
// The same on the helper's printer.
bool PrintPages(TSheetfoldProject& project, TPrintHelper& helper, TSheetfoldProgress& progress,
                const TPrintJobOptions& options);
