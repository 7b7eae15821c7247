#include "app/PagePrinting.h"

#include <algorithm>
#include <vector>

#include "app/SfLanguage1.h"

const char PrintJobTitle[] = "Sheetfold";

int ClampPrintCopies(int copies)
{
    return std::clamp(copies, MinPrintCopies, MaxPrintCopies);
}

// TPrinterPrintTarget

void TPrinterPrintTarget::SetTitle(const std::string& title)
{
    FHelper.GetPrinter()->SetTitle(title);
}

void TPrinterPrintTarget::SetCopies(int copies)
{
    FHelper.GetPrinter()->SetCopies(copies);
}

void TPrinterPrintTarget::SetOrientation(TPrinterOrientation orientation)
{
    FHelper.GetPrinter()->SetOrientation(orientation);
}

void TPrinterPrintTarget::BeginDoc()
{
    FHelper.GetPrinter()->BeginDoc();
}

void TPrinterPrintTarget::EndDoc()
{
    FHelper.GetPrinter()->EndDoc();
}

void TPrinterPrintTarget::NewPage()
{
    FHelper.GetPrinter()->NewPage();
}

void TPrinterPrintTarget::Abort()
{
    FHelper.GetPrinter()->Abort();
}

bool TPrinterPrintTarget::GetPrinting()
{
    return FHelper.GetPrinter()->GetPrinting();
}

void TPrinterPrintTarget::PrintPage(TSheetfoldPage& page)
{
    const THiMetric* mapMode = FHelper.GetPrinterMapMode();
    HDC dc = FHelper.GetPrinter()->GetHandle();
    SetStretchBltMode(dc, COLORONCOLOR);
    page.Print(dc, *mapMode);
}

// The print job

namespace {

TPrinterOrientation OrientationOf(const TSheetfoldPage& page)
{
    return page.GetLandscape() ? TPrinterOrientation::poLandscape : TPrinterOrientation::poPortrait;
}

class TPrintJob {
public:
    TPrintJob(TPrintTarget& target, TSheetfoldProgress& progress) : FTarget(target), FProgress(progress) {}

    // True when every page was printed; false when the user aborted.
    bool Run(const std::vector<TSheetfoldPage*>& pages)
    {
        for (size_t i = 0; i < pages.size(); ++i) {
            if (Aborted())
                return false;
            // The progress window lets messages through here: the Abort button is noticed now.
            FProgress.SetProgress(static_cast<int>(i) + 1);
            if (Aborted())
                return false;
            StartSheet(OrientationOf(*pages[i]));
            FTarget.PrintPage(*pages[i]);
        }
        return !Aborted();
    }

private:
    // A new sheet in the open document while the orientation stays; another document when it
    // changes, since a document has one orientation.
    void StartSheet(TPrinterOrientation orientation)
    {
        if (FTarget.GetPrinting()) {
            if (orientation == FOrientation) {
                FTarget.NewPage();
                return;
            }
            FTarget.EndDoc();
        }
        FTarget.SetOrientation(orientation);
        FTarget.BeginDoc();
        FOrientation = orientation;
    }

    bool Aborted()
    {
        if (!FProgress.ProgressAborted())
            return false;
        if (FTarget.GetPrinting())
            FTarget.Abort();
        return true;
    }

    TPrintTarget& FTarget;
    TSheetfoldProgress& FProgress;
    TPrinterOrientation FOrientation = TPrinterOrientation::poPortrait;
};

std::vector<TSheetfoldPage*> PagesToPrint(TSheetfoldProject& project, bool allPages)
{
    std::vector<TSheetfoldPage*> pages;
    if (project.Count() == 0)
        return pages;
    if (!allPages) {
        pages.push_back(project.GetCurrentPage());
        return pages;
    }
    for (int i = 0; i < project.Count(); ++i)
        pages.push_back(project.GetPage(i));
    return pages;
}

std::string PrintCaption()
{
    return ConstText(11, "Print...");
}

} // namespace

bool PrintPages(TSheetfoldProject& project, TPrintTarget& target, TSheetfoldProgress& progress,
                const TPrintJobOptions& options)
{
    const std::vector<TSheetfoldPage*> pages = PagesToPrint(project, options.AllPages);
    if (pages.empty())
        return true;
    target.SetTitle(PrintJobTitle);
    target.SetCopies(ClampPrintCopies(options.Copies));
    // The progress window clears an abort left over from an earlier job when it is shown, so
    // the job asks for aborts only from here on.
    TProgressScope shown(&progress, static_cast<int>(pages.size()), PrintCaption(), true);
    bool completed = false;
    try {
        completed = TPrintJob(target, progress).Run(pages);
        if (target.GetPrinting())
            target.EndDoc();
    } catch (...) {
        // A page that failed half-drawn is not sent to the printer. Should throwing the document
        // away fail as well, the first failure is the one the user needs to see.
        try {
            if (target.GetPrinting())
                target.Abort();
        } catch (...) {
        }
        throw;
    }
    return completed;
}

bool PrintPages(TSheetfoldProject& project, TPrintHelper& helper, TSheetfoldProgress& progress,
                const TPrintJobOptions& options)
{
    TPrinterPrintTarget target(helper);
    return PrintPages(project, target, progress, options);
}
