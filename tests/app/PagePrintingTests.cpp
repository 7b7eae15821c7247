#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "SheetfoldHooksFake.h"
#include "app/PagePrinting.h"
#include "platform/Exceptions.h"

namespace {

using TProjectPtr = std::unique_ptr<TSheetfoldProject, TObjectFree>;

// A printer that writes down what the job asks of it, one line per call; a document begun
// records its copies and orientation.
class TRecordingTarget : public TPrintTarget {
public:
    explicit TRecordingTarget(TSheetfoldProject* project) : FProject(project) {}

    void SetTitle(const std::string& title) override { Calls.push_back("title " + title); }
    void SetCopies(int copies) override { Copies = copies; }
    void SetOrientation(TPrinterOrientation orientation) override
    {
        if (Printing)
            throw EPrinter("Printing in progress");
        Landscape = orientation == TPrinterOrientation::poLandscape;
    }
    void BeginDoc() override
    {
        if (Printing)
            throw EPrinter("Printing in progress");
        Printing = true;
        Calls.push_back("begin " + std::to_string(Copies) + (Landscape ? "L" : "P"));
    }
    void EndDoc() override
    {
        Expect(true);
        Printing = false;
        Calls.push_back("end");
    }
    void NewPage() override
    {
        Expect(true);
        Calls.push_back("newpage");
    }
    void Abort() override
    {
        Expect(true);
        Printing = false;
        Calls.push_back("abort");
    }
    bool GetPrinting() override { return Printing; }
    void PrintPage(TSheetfoldPage& page) override
    {
        Expect(true);
        int index = -1;
        for (int i = 0; i < FProject->Count(); ++i)
            if (FProject->GetPage(i) == &page)
                index = i;
        Calls.push_back("page " + std::to_string(index));
        if (index == FailAtPage)
            throw EPrinter("the driver failed");
    }

    // The documents begun, in order.
    int Documents() const
    {
        int n = 0;
        for (const auto& c : Calls)
            n += c.rfind("begin", 0) == 0;
        return n;
    }

    std::vector<std::string> Calls;
    int Copies = 1;
    bool Landscape = false;
    bool Printing = false;
    int FailAtPage = -1;

private:
    void Expect(bool printing) const
    {
        if (Printing != printing)
            throw EPrinter("Printer is not currently printing");
    }

    TSheetfoldProject* FProject;
};

using TProgressHooks = TProgressRecorder<TSheetfoldProgress>;

// A project whose pages have the given orientations ('P' or 'L').
TProjectPtr ProjectOf(const std::string& orientations)
{
    TProjectPtr project(New<TSheetfoldProject>());
    for (char o : orientations)
        New<TSheetfoldPage>(project.get())->SetLandscape(o == 'L');
    return project;
}

using TCalls = std::vector<std::string>;

} // namespace

TEST(PagePrinting, EachRunOfEquallyOrientedPagesIsOneDocument)
{
    struct TCase {
        const char* Pages;
        TCalls Expected;
    };
    const TCase cases[] = {
        {"PLL", {"title Sheetfold", "begin 1P", "page 0", "end", "begin 1L", "page 1", "newpage", "page 2", "end"}},
        {"PLP",
         {"title Sheetfold", "begin 1P", "page 0", "end", "begin 1L", "page 1", "end", "begin 1P", "page 2", "end"}},
        {"LL", {"title Sheetfold", "begin 1L", "page 0", "newpage", "page 1", "end"}},
        {"P", {"title Sheetfold", "begin 1P", "page 0", "end"}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Pages);
        TProjectPtr project = ProjectOf(c.Pages);
        TRecordingTarget target(project.get());
        TProgressHooks hooks;
        EXPECT_TRUE(PrintPages(*project, target, hooks, TPrintJobOptions{}));
        EXPECT_EQ(target.Calls, c.Expected);
        EXPECT_FALSE(target.Printing);
        EXPECT_EQ(hooks.Begins, 1);
        EXPECT_EQ(hooks.Ends, 1);
        EXPECT_EQ(hooks.Maximum, static_cast<int>(std::string(c.Pages).size()));
        EXPECT_TRUE(hooks.CanAbort);
        EXPECT_EQ(hooks.Caption, "Print...");
        EXPECT_EQ(hooks.Positions.size(), std::string(c.Pages).size());
        EXPECT_EQ(hooks.Positions.back(), hooks.Maximum);
    }
}

TEST(PagePrinting, CopiesApplyToEveryDocumentAndStayBetweenOneAnd99)
{
    const std::pair<int, int> copies[] = {{3, 3}, {1, 1}, {99, 99}, {0, 1}, {-4, 1}, {100, 99}, {500, 99}};
    for (auto [asked, used] : copies) {
        SCOPED_TRACE(asked);
        TProjectPtr project = ProjectOf("PLP");
        TRecordingTarget target(project.get());
        TProgressHooks hooks;
        EXPECT_TRUE(PrintPages(*project, target, hooks, TPrintJobOptions{true, asked}));
        const std::string p = "begin " + std::to_string(used) + "P";
        const std::string l = "begin " + std::to_string(used) + "L";
        EXPECT_EQ(target.Calls, (TCalls{"title Sheetfold", p, "page 0", "end", l, "page 1", "end", p, "page 2", "end"}));
    }
    EXPECT_EQ(ClampPrintCopies(MinPrintCopies), 1);
    EXPECT_EQ(ClampPrintCopies(MaxPrintCopies), 99);
}

TEST(PagePrinting, CurrentPageOnlyPrintsThatPageInItsOrientation)
{
    TProjectPtr project = ProjectOf("PLP");
    project->SetCurrentPageIndex(1);
    TRecordingTarget target(project.get());
    TProgressHooks hooks;
    EXPECT_TRUE(PrintPages(*project, target, hooks, TPrintJobOptions{false, 2}));
    EXPECT_EQ(target.Calls, (TCalls{"title Sheetfold", "begin 2L", "page 1", "end"}));
    EXPECT_EQ(hooks.Maximum, 1);
    EXPECT_EQ(hooks.Positions, std::vector<int>{1});
    EXPECT_EQ(hooks.Ends, 1);
}

TEST(PagePrinting, NoPagesPrintNothing)
{
    TProjectPtr project = ProjectOf("");
    TRecordingTarget target(project.get());
    TProgressHooks hooks;
    for (bool all : {true, false}) {
        EXPECT_TRUE(PrintPages(*project, target, hooks, TPrintJobOptions{all, 1}));
        EXPECT_TRUE(target.Calls.empty());
        EXPECT_EQ(hooks.Begins, 0);
    }
}

TEST(PagePrinting, AnAbortThrowsTheOpenDocumentAwayAndEndsTheProgress)
{
    struct TCase {
        int Step;
        TCalls Expected;
    };
    const TCase cases[] = {
        // At the first step nothing was begun: nothing to throw away.
        {1, {"title Sheetfold"}},
        {2, {"title Sheetfold", "begin 1P", "page 0", "abort"}},
        // The landscape page is a document of its own: the first one is already printed.
        {4, {"title Sheetfold", "begin 1P", "page 0", "newpage", "page 1", "end", "begin 1L", "page 2", "abort"}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Step);
        TProjectPtr project = ProjectOf("PPLL");
        TRecordingTarget target(project.get());
        TProgressHooks hooks;
        hooks.AbortAtStep = c.Step;
        EXPECT_FALSE(PrintPages(*project, target, hooks, TPrintJobOptions{}));
        EXPECT_EQ(target.Calls, c.Expected);
        EXPECT_FALSE(target.Printing);
        EXPECT_EQ(hooks.Ends, 1);
    }
}

TEST(PagePrinting, AnAbortDoesNotCarryOverToTheNextJob)
{
    TProjectPtr project = ProjectOf("PL");
    TRecordingTarget target(project.get());
    TProgressHooks hooks;
    hooks.AbortAtStep = 1;
    EXPECT_FALSE(PrintPages(*project, target, hooks, TPrintJobOptions{}));
    // The hidden progress window still says aborted until it is shown again.
    ASSERT_TRUE(hooks.Aborted);
    hooks.AbortAtStep = -1;
    target.Calls.clear();
    EXPECT_TRUE(PrintPages(*project, target, hooks, TPrintJobOptions{}));
    EXPECT_EQ(target.Calls, (TCalls{"title Sheetfold", "begin 1P", "page 0", "end", "begin 1L", "page 1", "end"}));
    EXPECT_EQ(hooks.Ends, 2);
}

TEST(PagePrinting, AFailureThrowsTheOpenDocumentAwayEndsTheProgressAndRaises)
{
    TProjectPtr project = ProjectOf("PPL");
    TRecordingTarget target(project.get());
    target.FailAtPage = 1;
    TProgressHooks hooks;
    EXPECT_THROW(PrintPages(*project, target, hooks, TPrintJobOptions{}), EPrinter);
    EXPECT_EQ(target.Calls, (TCalls{"title Sheetfold", "begin 1P", "page 0", "newpage", "page 1", "abort"}));
    EXPECT_FALSE(target.Printing);
    EXPECT_EQ(hooks.Ends, 1);

    // The current page alone fails the same way.
    TProjectPtr single = ProjectOf("P");
    TRecordingTarget failing(single.get());
    failing.FailAtPage = 0;
    EXPECT_THROW(PrintPages(*single, failing, hooks, TPrintJobOptions{false, 1}), EPrinter);
    EXPECT_EQ(failing.Calls, (TCalls{"title Sheetfold", "begin 1P", "page 0", "abort"}));
    EXPECT_EQ(hooks.Ends, 2);
}

namespace {

// A computer without printers.
class TNoPrinters : public TPrinter {
public:
    const std::vector<std::string>& GetPrinters() override { return FNone; }

private:
    std::vector<std::string> FNone;
};

} // namespace

TEST(PagePrinting, WithoutAPrinterTheJobFailsClearlyBeforeAnyProgress)
{
    std::unique_ptr<TNoPrinters, TObjectFree> printer(New<TNoPrinters>());
    std::unique_ptr<TPrintHelper, TObjectFree> helper(New<TPrintHelper>(printer.get()));
    TProjectPtr project = ProjectOf("PL");
    TProgressHooks hooks;
    try {
        PrintPages(*project, *helper, hooks, TPrintJobOptions{});
        ADD_FAILURE() << "printed without a printer";
    } catch (const EPrinter& e) {
        EXPECT_STREQ(e.what(), "There is no default printer currently selected");
    }
    EXPECT_EQ(hooks.Begins, 0);
    EXPECT_EQ(hooks.Ends, 0);
    EXPECT_FALSE(printer->GetPrinting());
}
