#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "document/PrintHelper.h"
#include "TestSupport.h"

namespace {

struct PaperFields {
    int Width, Height, Top, Bottom, Left, Right;
    bool Landscape;
};

PaperFields Fields(const TPaper& p)
{
    return {p.Width, p.Height, p.TopMargin, p.BottomMargin, p.LeftMargin, p.RightMargin, p.Landscape};
}

void ExpectFields(const TPaper& p, const PaperFields& f)
{
    EXPECT_EQ(p.Width, f.Width);
    EXPECT_EQ(p.Height, f.Height);
    EXPECT_EQ(p.TopMargin, f.Top);
    EXPECT_EQ(p.BottomMargin, f.Bottom);
    EXPECT_EQ(p.LeftMargin, f.Left);
    EXPECT_EQ(p.RightMargin, f.Right);
    EXPECT_EQ(p.Landscape, f.Landscape);
}

void ExpectRect(const RECT& r, LONG left, LONG top, LONG right, LONG bottom)
{
    EXPECT_EQ(r.left, left);
    EXPECT_EQ(r.top, top);
    EXPECT_EQ(r.right, right);
    EXPECT_EQ(r.bottom, bottom);
}

// A printer that exists only in the test: a name list, an orientation, and a handle that can
// be made to fail.
class TFakePrinter : public TPrinter {
public:
    std::vector<std::string> Names;
    TPrinterOrientation Orientation = TPrinterOrientation::poPortrait;
    bool FailHandle = false;
    int OrientationWrites = 0;

    const std::vector<std::string>& GetPrinters() override { return Names; }
    TPrinterOrientation GetOrientation() override { return Orientation; }
    void SetOrientation(TPrinterOrientation o) override
    {
        Orientation = o;
        ++OrientationWrites;
    }
    HDC GetHandle() override
    {
        if (FailHandle)
            throw EPrinter("no handle");
        return nullptr;
    }
};

// A print helper that reads the given device capabilities instead of a printer context.
class TCapsPrintHelper : public TPrintHelper {
public:
    explicit TCapsPrintHelper(TPrinter* printer) : TPrintHelper(printer) {}
    TPrinterPaperCaps Caps;
    bool Fail = false;

protected:
    TPrinterPaperCaps ReadPrinterCaps() override
    {
        if (Fail)
            throw EPrinter("the driver failed");
        return Caps;
    }
};

// A 600 dpi Letter page with quarter-inch margins left and right and a sixth of an inch at the
// top and bottom, as a driver reports it for the given orientation.
TPrinterPaperCaps Letter600(bool landscape)
{
    TPrinterPaperCaps c;
    c.PhysicalWidth = 5100;
    c.PhysicalHeight = 6600;
    c.Page.PhysicalOffsetX = 150;
    c.Page.PhysicalOffsetY = 100;
    c.Page.HorzRes = 5100 - 300;
    c.Page.VertRes = 6600 - 200;
    if (landscape) {
        std::swap(c.PhysicalWidth, c.PhysicalHeight);
        std::swap(c.Page.PhysicalOffsetX, c.Page.PhysicalOffsetY);
        std::swap(c.Page.HorzRes, c.Page.VertRes);
    }
    // HORZSIZE and VERTSIZE are whole millimetres of the printable area.
    c.Page.HorzSizeMM = MulDiv(c.Page.HorzRes, 254, 6000);
    c.Page.VertSizeMM = MulDiv(c.Page.VertRes, 254, 6000);
    return c;
}

} // namespace

TEST(Paper, DefaultIsPortraitLetterWithoutMargins)
{
    TOwned<TPaper> p(New<TPaper>());
    ExpectFields(*p, {21590, 27940, 0, 0, 0, 0, false});
    ExpectRect(p->GetPaperRect(), 0, 0, 21590, 27940);
    ExpectRect(p->GetPrintableRect(), 0, 0, 21590, 27940);
}

TEST(Paper, SetAssignAndRectangles)
{
    TOwned<TPaper> p(New<TPaper>());
    p->Set(21000, 29700, 100, 200, 300, 400, true);
    ExpectFields(*p, {21000, 29700, 100, 200, 300, 400, true});
    ExpectRect(p->GetPrintableRect(), 300, 100, 21000 - 400, 29700 - 200);

    TOwned<TPaper> q(New<TPaper>());
    q->Assign(p.get());
    ExpectFields(*q, {21000, 29700, 100, 200, 300, 400, true});
    q->Assign(nullptr);
    ExpectFields(*q, {21000, 29700, 100, 200, 300, 400, true});

    // The printable rectangle read back into margins is the identity.
    q->SetMarginsFromRect(q->GetPrintableRect());
    ExpectFields(*q, {21000, 29700, 100, 200, 300, 400, true});

    q->SetMarginsFromRect(RECT{10, 20, 20000, 29000});
    ExpectFields(*q, {21000, 29700, 20, 700, 10, 1000, true});
    q->SetSizeFromRect(RECT{100, 200, 5100, 10200});
    EXPECT_EQ(q->Width, 5000);
    EXPECT_EQ(q->Height, 10000);
    EXPECT_EQ(q->TopMargin, 20);
}

TEST(Paper, MarginsTurnWithThePaper)
{
    TOwned<TPaper> p(New<TPaper>());
    p->Set(21000, 29700, 1, 2, 3, 4, false);

    p->SetLandscape(false);
    ExpectFields(*p, {21000, 29700, 1, 2, 3, 4, false});

    // Turned a quarter: the old left edge is now at the top.
    p->SetLandscape(true);
    ExpectFields(*p, {29700, 21000, 3, 4, 2, 1, true});
    p->SetLandscape(true);
    ExpectFields(*p, {29700, 21000, 3, 4, 2, 1, true});

    p->SetLandscape(false);
    ExpectFields(*p, {21000, 29700, 1, 2, 3, 4, false});

    // The same from a paper that is stored as landscape.
    p->Set(29700, 21000, 1, 2, 3, 4, true);
    p->SetLandscape(false);
    ExpectFields(*p, {21000, 29700, 4, 3, 1, 2, false});
    p->SetLandscape(true);
    ExpectFields(*p, {29700, 21000, 1, 2, 3, 4, true});

    // Writing the flag alone turns nothing.
    p->Landscape = false;
    ExpectFields(*p, {29700, 21000, 1, 2, 3, 4, false});
}

TEST(PrintHelper, WithoutAPrinterThePaperIsPortraitLetter)
{
    TFakePrinter* printer = New<TFakePrinter>();
    TOwned<TPrinter> owner(printer);
    TOwned<TCapsPrintHelper> helper(New<TCapsPrintHelper>(printer));
    helper->Caps = Letter600(true);
    EXPECT_FALSE(helper->HasPrinter());

    ExpectFields(*helper->GetPrinterPaper(), {21590, 27940, 0, 0, 0, 0, false});

    helper->SetOrientation(TPrinterOrientation::poLandscape);
    EXPECT_EQ(printer->OrientationWrites, 0);

    THiMetric* map = helper->GetPrinterMapMode();
    EXPECT_EQ(map, helper->GetMapMode());
    EXPECT_EQ(map->GetViewportExt().x, 0);
}

TEST(PrintHelper, PaperAndMarginsFromTheDeviceCaps)
{
    TFakePrinter* printer = New<TFakePrinter>();
    TOwned<TPrinter> owner(printer);
    printer->Names = {"Fake"};
    TOwned<TCapsPrintHelper> helper(New<TCapsPrintHelper>(printer));
    ASSERT_TRUE(helper->HasPrinter());

    helper->Caps = Letter600(false);
    TPaper* p = helper->GetPrinterPaper();
    EXPECT_EQ(p, helper->GetPaper());
    // The sizes come through the millimetre extents of the printable area, so they are as exact
    // as the driver's whole millimetres.
    EXPECT_NEAR(p->Width, 21590, 30);
    EXPECT_NEAR(p->Height, 27940, 30);
    EXPECT_NEAR(p->LeftMargin, 635, 2);
    EXPECT_NEAR(p->TopMargin, 423, 2);
    EXPECT_NEAR(p->RightMargin, 635, 3);
    EXPECT_NEAR(p->BottomMargin, 423, 3);
    EXPECT_FALSE(p->Landscape);
    PaperFields portrait = Fields(*p);

    // The map mode is the printer page's: the printable corner is device (0, 0).
    POINT corner = helper->GetMapMode()->LPtoDP(POINT{p->LeftMargin, p->TopMargin});
    EXPECT_NEAR(corner.x, 0, 1);
    EXPECT_NEAR(corner.y, 0, 1);

    printer->Orientation = TPrinterOrientation::poLandscape;
    helper->Caps = Letter600(true);
    helper->GetPrinterPaper();
    EXPECT_TRUE(p->Landscape);
    EXPECT_GT(p->Width, p->Height);
    EXPECT_NEAR(p->Width, portrait.Height, 30);
    EXPECT_NEAR(p->Height, portrait.Width, 30);
    EXPECT_NEAR(p->TopMargin, portrait.Left, 2);
    EXPECT_NEAR(p->LeftMargin, portrait.Top, 2);
}

TEST(PrintHelper, SetOrientationReachesThePrinter)
{
    TFakePrinter* printer = New<TFakePrinter>();
    TOwned<TPrinter> owner(printer);
    printer->Names = {"Fake"};
    TOwned<TPrintHelper> helper(New<TPrintHelper>(printer));
    helper->SetOrientation(TPrinterOrientation::poLandscape);
    EXPECT_EQ(printer->OrientationWrites, 1);
    EXPECT_EQ(helper->GetOrientation(), TPrinterOrientation::poLandscape);
}

TEST(PrintHelper, AFailingPrinterKeepsThePaper)
{
    TFakePrinter* printer = New<TFakePrinter>();
    TOwned<TPrinter> owner(printer);
    printer->Names = {"Fake"};
    TOwned<TCapsPrintHelper> helper(New<TCapsPrintHelper>(printer));
    helper->GetPaper()->Set(1000, 2000, 1, 2, 3, 4, true);

    helper->Fail = true;
    ExpectFields(*helper->GetPrinterPaper(), {1000, 2000, 1, 2, 3, 4, true});
    EXPECT_THROW(helper->GetPrinterMapMode(), EPrinter);

    // A context that knows no page (a display, a broken driver) is no paper, not a paper of
    // -1 units, and no map mode that divides by zero.
    helper->Fail = false;
    for (int which = 0; which < 7; ++which) {
        TPrinterPaperCaps caps = Letter600(false);
        int* fields[] = {&caps.PhysicalWidth, &caps.PhysicalHeight, &caps.Page.HorzRes, &caps.Page.VertRes,
                         &caps.Page.HorzSizeMM, &caps.Page.VertSizeMM, &caps.Page.PhysicalOffsetX};
        *fields[which] = which == 6 ? -1 : 0;
        helper->Caps = caps;
        ExpectFields(*helper->GetPrinterPaper(), {1000, 2000, 1, 2, 3, 4, true});
    }
    helper->Caps = TPrinterPaperCaps{};
    EXPECT_THROW(helper->GetPrinterMapMode(), EPrinter);
    EXPECT_EQ(helper->GetMapMode()->GetViewportExt().x, 0);

    // The real printer object's error is discarded the same way.
    printer->FailHandle = true;
    TOwned<TPrintHelper> plain(New<TPrintHelper>(printer));
    plain->GetPaper()->Set(1000, 2000, 1, 2, 3, 4, false);
    ExpectFields(*plain->GetPrinterPaper(), {1000, 2000, 1, 2, 3, 4, false});
}

TEST(PrintHelper, APrintableAreaBeyondThePageGivesNoNegativeMargin)
{
    TFakePrinter* printer = New<TFakePrinter>();
    TOwned<TPrinter> owner(printer);
    printer->Names = {"Fake"};
    TOwned<TCapsPrintHelper> helper(New<TCapsPrintHelper>(printer));
    TPrinterPaperCaps caps;
    caps.PhysicalWidth = caps.Page.HorzRes = 4961;
    caps.PhysicalHeight = caps.Page.VertRes = 7016;
    caps.Page.HorzSizeMM = 210;
    caps.Page.VertSizeMM = 297;
    helper->Caps = caps;
    ExpectFields(*helper->GetPrinterPaper(), {21000, 29700, 0, 0, 0, 0, false});

    // A driver that shifts the printable area without shrinking it.
    helper->Caps.Page.PhysicalOffsetX = 24;
    helper->Caps.Page.PhysicalOffsetY = 12;
    ExpectFields(*helper->GetPrinterPaper(), {21000, 29700, 51, 0, 102, 0, false});
}

TEST(PrintHelper, PdfPrinterPageInBothOrientations)
{
    TPrinter* printer = Printer();
    const auto& names = printer->GetPrinters();
    auto it = std::find(names.begin(), names.end(), "PDF");
    if (it == names.end()) {
        const char* require = std::getenv("SF_REQUIRE_PRINTER");
        if (require && *require)
            FAIL() << "the test CUPS server's PDF printer is missing";
        GTEST_SKIP() << "no PDF printer (CUPS is not running)";
    }
    printer->SetPrinterIndex(static_cast<int>(it - names.begin()));
    TPrinterOrientation before = printer->GetOrientation();
    TOwned<TPrintHelper> helper(New<TPrintHelper>());
    ASSERT_TRUE(helper->HasPrinter());

    PaperFields turned[2];
    for (int landscape = 0; landscape < 2; ++landscape) {
        helper->SetOrientation(landscape ? TPrinterOrientation::poLandscape : TPrinterOrientation::poPortrait);
        TPaper* p = helper->GetPrinterPaper();
        TPrinterPaperCaps caps = GetPrinterPaperCaps(printer->GetHandle());
        SCOPED_TRACE(landscape ? "landscape" : "portrait");
        EXPECT_EQ(p->Landscape, landscape == 1);
        EXPECT_EQ(p->Width > p->Height, landscape == 1);
        // Letter or A4, whichever the queue defaults to, as exact as the whole millimetres of
        // the driver's printable size.
        int shortSide = std::min(p->Width, p->Height);
        EXPECT_TRUE(std::abs(shortSide - 21590) < 150 || std::abs(shortSide - 21000) < 150) << shortSide;
        for (int margin : {p->LeftMargin, p->TopMargin, p->RightMargin, p->BottomMargin}) {
            EXPECT_GE(margin, 0);
            EXPECT_LT(margin, 2540);
        }
        // The printable area is where the device pixels are.
        THiMetric* map = helper->GetPrinterMapMode();
        POINT corner = map->LPtoDP(POINT{p->LeftMargin, p->TopMargin});
        POINT opposite = map->LPtoDP(POINT{p->Width - p->RightMargin, p->Height - p->BottomMargin});
        EXPECT_NEAR(corner.x, 0, 2);
        EXPECT_NEAR(corner.y, 0, 2);
        EXPECT_NEAR(opposite.x, caps.Page.HorzRes, caps.Page.HorzRes / 100);
        EXPECT_NEAR(opposite.y, caps.Page.VertRes, caps.Page.VertRes / 100);
        turned[landscape] = Fields(*p);
    }
    EXPECT_NEAR(turned[1].Width, turned[0].Height, 60);
    EXPECT_NEAR(turned[1].Height, turned[0].Width, 60);
    printer->SetOrientation(before);
}
