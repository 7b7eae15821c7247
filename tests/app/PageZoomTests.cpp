// Every part of every page can be brought into the page view at every zoom: fitted whole at
// "Auto", reachable with the scroll bars at a fixed ratio, for portrait and landscape pages,
// after the orientation changes, after another page is chosen and after a project is opened.
#include <gtest/gtest.h>

#include <string>

#include "MainFormTestSupport.h"
#include "TestSupport.h"
#include "app/SheetfoldCommands.h"
#include "document/Layer.h"
#include "document/SheetfoldProject.h"
#include "graphics/MapMode.h"

namespace {

constexpr int AutoZoom = ZoomChoiceCount - 1;
constexpr int FiveHundredPercent = ZoomChoiceCount - 2;

}  // namespace

class PageZoomTest : public MainFormTest {
protected:
    void SetUp() override
    {
        MainFormTest::SetUp();
        ShowForm();
    }
    void Zoom(int choice)
    {
        Form->GetZoomBox()->SetItemIndex(choice);
        Form->ApplyZoom();
        Pump();
    }
    RECT Client()
    {
        RECT r{};
        GetClientRect(Form->GetView()->GetHandle(), &r);
        return r;
    }
    // The paper of the current page as the view draws it now.
    RECT PaperOnScreen()
    {
        return Form->GetView()->GetMapMode()->LPtoDPRect(Form->GetCurrentPage()->GetPaperRect());
    }
    // Scrolls one bar with page steps to one end, as clicks on the bar would.
    void ScrollToEnd(UINT message, WPARAM step)
    {
        HWND view = Form->GetView()->GetHandle();
        int bar = message == WM_HSCROLL ? SB_HORZ : SB_VERT;
        for (int i = 0; i < 400; ++i) {
            int before = GetScrollPos(view, bar);
            SendMessageA(view, message, step, 0);
            if (GetScrollPos(view, bar) == before)
                break;
        }
        Pump();
    }
    void ExpectWholePageShown(const char* what)
    {
        RECT paper = PaperOnScreen();
        RECT client = Client();
        EXPECT_GE(paper.left, client.left) << what;
        EXPECT_GE(paper.top, client.top) << what;
        EXPECT_LE(paper.right, client.right) << what;
        EXPECT_LE(paper.bottom, client.bottom) << what;
        // Fitted, not merely inside: it fills the view along one side.
        EXPECT_TRUE(paper.right - paper.left >= client.right - 2 || paper.bottom - paper.top >= client.bottom - 2) << what;
    }
    // Each corner of the paper can be scrolled into the view.
    void ExpectEveryCornerReachable(const char* what)
    {
        struct TCorner {
            WPARAM Horizontal;
            WPARAM Vertical;
        };
        for (TCorner corner : {TCorner{SB_PAGELEFT, SB_PAGEUP}, TCorner{SB_PAGERIGHT, SB_PAGEUP},
                               TCorner{SB_PAGERIGHT, SB_PAGEDOWN}, TCorner{SB_PAGELEFT, SB_PAGEDOWN}}) {
            ScrollToEnd(WM_HSCROLL, corner.Horizontal);
            ScrollToEnd(WM_VSCROLL, corner.Vertical);
            RECT paper = PaperOnScreen();
            RECT client = Client();
            const int x = corner.Horizontal == SB_PAGELEFT ? paper.left : paper.right;
            const int y = corner.Vertical == SB_PAGEUP ? paper.top : paper.bottom;
            EXPECT_TRUE(x >= client.left && x <= client.right && y >= client.top && y <= client.bottom)
                << what << ": corner (" << x << ", " << y << ") outside the view " << client.right << " x "
                << client.bottom;
        }
    }
};

TEST_F(PageZoomTest, PortraitAndLandscapePagesAreWhollyShownAtAutoAndReachableAtFiveHundredPercent)
{
    Form->AddPage();
    Form->SetLandscape(true);
    Form->SetCurrentPage(0);
    ASSERT_FALSE(Form->GetCurrentPage()->GetLandscape());
    Zoom(AutoZoom);
    ExpectWholePageShown("portrait at Auto");

    // Choosing the landscape page, and back.
    Form->SetCurrentPage(1);
    Pump();
    ExpectWholePageShown("landscape page chosen at Auto");
    Form->SetCurrentPage(0);
    Pump();
    ExpectWholePageShown("portrait page chosen again at Auto");

    // Turning the page shown.
    Form->SetLandscape(true);
    Pump();
    ExpectWholePageShown("turned to landscape at Auto");
    Form->SetLandscape(false);
    Pump();
    ExpectWholePageShown("turned back to portrait at Auto");

    Zoom(FiveHundredPercent);
    ExpectEveryCornerReachable("portrait at 500%");
    Form->SetCurrentPage(1);
    Pump();
    ExpectEveryCornerReachable("landscape at 500%");

    // Back to Auto from a scrolled view.
    Zoom(AutoZoom);
    ExpectWholePageShown("landscape at Auto after 500%");
}

TEST_F(PageZoomTest, AnOpenedProjectIsShownAtItsOwnOrientation)
{
    Form->SetLandscape(true);
    AddText("wide");
    std::string file = TestTempFile("landscape.sfp");
    Form->SaveProject(file);
    Form->NewProject();
    // A new page takes the printer's orientation, which the landscape page has just set.
    Form->SetLandscape(false);
    ASSERT_FALSE(Form->GetCurrentPage()->GetLandscape());
    Zoom(AutoZoom);
    ExpectWholePageShown("new portrait page");

    Form->OpenFile(file);
    Pump();
    ASSERT_TRUE(Form->GetCurrentPage()->GetLandscape());
    ExpectWholePageShown("opened landscape page at Auto");
    Zoom(FiveHundredPercent);
    ExpectEveryCornerReachable("opened landscape page at 500%");
}

// An element far larger than the page, selected at 500 %: the view paints it and its handles, a
// press inside it keeps it selected, and a drag moves it by what the mouse moved.
TEST_F(PageZoomTest, AnElementFarLargerThanThePageCanBeSelectedAndDraggedAtFiveHundredPercent)
{
    TLayerEllipse* ellipse = Form->InsertEllipse();
    ellipse->SetBounds(1000, 1000, 79100300, 79100300);
    Zoom(FiveHundredPercent);
    HWND view = Form->GetView()->GetHandle();
    RedrawWindow(view, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    ScrollToEnd(WM_HSCROLL, SB_PAGELEFT);
    ScrollToEnd(WM_VSCROLL, SB_PAGEUP);
    RedrawWindow(view, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);

    // Scrolled to the page's corner, which is the element's.
    POINT corner = ViewPoint(POINT{1000, 1000});
    RECT client = Client();
    ASSERT_TRUE(corner.x >= 0 && corner.x < client.right && corner.y >= 0 && corner.y < client.bottom);

    const RECT before = ellipse->GetBounds();
    POINT from{client.right / 2, client.bottom / 2};
    POINT to{from.x + 100, from.y + 80};
    SendMessageA(view, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(from.x, from.y));
    ASSERT_EQ(Selection()->Count(), 1);
    EXPECT_EQ(Selection()->GetItem(0), ellipse);
    SendMessageA(view, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(to.x, to.y));
    SendMessageA(view, WM_LBUTTONUP, 0, MAKELPARAM(to.x, to.y));
    Pump();
    POINT moved = Form->GetView()->GetMapMode()->DPtoLPSize(POINT{100, 80});
    EXPECT_NEAR(ellipse->GetLeft() - before.left, moved.x, 2);
    EXPECT_NEAR(ellipse->GetTop() - before.top, moved.y, 2);
    EXPECT_EQ(ellipse->GetWidth(), before.right - before.left);
}
