// The main window's frame as a user works it: the side panels docked at the left are resized by
// their edge and the splitter between them, floated, resized and docked again by the mouse, closed
// by their own button and brought back from the View menu; the status bar's grip resizes the window.
#include <windows.h>

#include <functional>
#include <tuple>

#include "E2ESupport.h"
#include "TestSupport.h"
#include "skin/SkinDkPanels.h"

namespace {

LPARAM ClientLParam(HWND wnd, POINT screen)
{
    ScreenToClient(wnd, &screen);
    return MAKELPARAM(screen.x, screen.y);
}

// A press on the non-client part of the window, moves to `to` and a release, as the mouse does
// while the window holds the capture of its sizing loop.
void NonClientDrag(const TProgramDriver& program, HWND wnd, LRESULT code, POINT from, POINT to)
{
    SetCursorPos(from.x, from.y);
    PostMessageA(wnd, WM_NCLBUTTONDOWN, static_cast<WPARAM>(code), MAKELPARAM(from.x, from.y));
    for (int i = 1; i <= 4; ++i) {
        POINT p{from.x + (to.x - from.x) * i / 4, from.y + (to.y - from.y) * i / 4};
        SetCursorPos(p.x, p.y);
        PostMessageA(wnd, WM_MOUSEMOVE, MK_LBUTTON, ClientLParam(wnd, p));
        Sleep(30);
    }
    PostMessageA(wnd, WM_LBUTTONUP, 0, ClientLParam(wnd, to));
    program.Sync();
}

// The image panel, the print panel and their dock, once both panels show; zeros when they do not.
std::tuple<HWND, HWND, HWND> SidePanels(const TProgramDriver& program)
{
    HWND image = program.FindChild("TImagePanel");
    HWND print = program.FindChild("TPrintPanel");
    // The window has a dock on either side; the panels start on the left one.
    HWND dock = image ? GetParent(image) : nullptr;
    if (!image || !print || !dock || !WaitUntil([&] { return IsWindowVisible(image) && IsWindowVisible(print); }))
        return {};
    return {image, print, dock};
}

int Width(const RECT& r)
{
    return r.right - r.left;
}

int Height(const RECT& r)
{
    return r.bottom - r.top;
}

} // namespace

TEST_F(TProgramTest, TheSidePanelsAreResizedClosedAndBroughtBackFromTheViewMenu)
{
    ASSERT_TRUE(Program.Start());
    const auto [image, print, dock] = SidePanels(Program);
    ASSERT_TRUE(image && print && dock) << "the side panels are not both shown on their dock";
    const RECT imageBefore = ScreenRect(image);
    const RECT printBefore = ScreenRect(print);
    EXPECT_LT(imageBefore.top, printBefore.top) << "the image panel comes first";
    EXPECT_EQ(imageBefore.bottom, printBefore.top) << "the panels share the dock's height";

    // The right edge widens the docked panels and the dock.
    const POINT edge = FindHit(image, HTRIGHT, POINT{imageBefore.right - 6, imageBefore.top + 80}, POINT{1, 0}, 12);
    ASSERT_NE(edge.x, -1) << "no sizing edge at the image panel's right";
    NonClientDrag(Program, image, HTRIGHT, edge, POINT{edge.x + 40, edge.y});
    Program.Sync();
    // The loop ends on the release; both panels and the page beside them follow.
    HWND tabs = Program.FindChild("TTabControl");
    EXPECT_TRUE(WaitUntil([&] {
        return Width(ScreenRect(image)) == Width(imageBefore) + 40 && Width(ScreenRect(print)) == Width(imageBefore) + 40 &&
               ScreenRect(tabs).left >= ScreenRect(image).right;
    })) << Width(ScreenRect(image)) << " and " << Width(ScreenRect(print)) << " after " << Width(imageBefore);

    // The splitter between them moves the boundary: one panel gives what the other takes. Both
    // show all their rows at the window's first size, so there is little to give.
    const RECT image1 = ScreenRect(image);
    const RECT print1 = ScreenRect(print);
    const POINT split = FindHit(image, htSplitBottom, POINT{image1.left + 40, image1.bottom - 1}, POINT{0, -1}, 12);
    ASSERT_NE(split.x, -1) << "no splitter at the image panel's bottom";
    NonClientDrag(Program, image, htSplitBottom, split, POINT{split.x, split.y - 6});
    EXPECT_TRUE(WaitUntil([&] {
        return Height(ScreenRect(image)) == Height(image1) - 6 && Height(ScreenRect(print)) == Height(print1) + 6;
    })) << Height(ScreenRect(image)) << " and " << Height(ScreenRect(print)) << " after " << Height(image1) << " and "
        << Height(print1);

    // Its own close button hides the image panel and the print panel takes the whole dock.
    const POINT close = FindHit(image, htPanelClose, POINT{image1.right - 2, image1.top + 8}, POINT{-1, 0}, 40);
    ASSERT_NE(close.x, -1) << "no close button in the image panel's caption";
    SetCursorPos(close.x, close.y);
    PostMessageA(image, WM_NCLBUTTONDOWN, htPanelClose, MAKELPARAM(close.x, close.y));
    PostMessageA(image, WM_LBUTTONUP, 0, ClientLParam(image, close));
    Program.Sync();
    EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(image); }));
    EXPECT_TRUE(WaitUntil([&] { return ScreenRect(print).top == imageBefore.top; }));

    // View > Image brings it back, and again hides it: the toggle follows the close.
    Program.PostCommand(100);
    EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(image); }));
    EXPECT_TRUE(WaitUntil([&] {
        return ScreenRect(image).bottom == ScreenRect(print).top || ScreenRect(print).bottom == ScreenRect(image).top;
    })) << "the panels share the dock again: image " << ScreenRect(image).top << "-" << ScreenRect(image).bottom
        << ", print " << ScreenRect(print).top << "-" << ScreenRect(print).bottom;
    Program.PostCommand(200);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(print); }));
    Program.PostCommand(200);
    EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(print); }));
    CloseProgram(Program);
}

TEST_F(TProgramTest, TheStatusBarGripResizesTheWindow)
{
    ASSERT_TRUE(Program.Start());
    HWND bar = Program.FindChild("TSkinStatusBar");
    ASSERT_NE(bar, nullptr);
    const RECT before = ScreenRect(Program.MainWindow());
    const RECT barRect = ScreenRect(bar);
    const POINT grip{barRect.right - 4, barRect.bottom - 4};
    ASSERT_EQ(HitAt(bar, grip), HTBOTTOMRIGHT);
    ASSERT_TRUE(Program.BringToFront());
    MouseDrag(grip, POINT{grip.x - 60, grip.y - 40});
    EXPECT_TRUE(WaitUntil([&] {
        RECT now = ScreenRect(Program.MainWindow());
        return Width(now) == Width(before) - 60 && Height(now) == Height(before) - 40;
    })) << Width(ScreenRect(Program.MainWindow())) << "x" << Height(ScreenRect(Program.MainWindow()));
    // The grip stays in the window's corner.
    EXPECT_TRUE(WaitUntil([&] {
        const RECT now = ScreenRect(bar);
        return HitAt(bar, POINT{now.right - 4, now.bottom - 4}) == HTBOTTOMRIGHT;
    }));
    CloseProgram(Program);
}

namespace {
// The floating form that holds the panel while it floats, or 0 while it is docked or hidden.
HWND FloatingFormOf(HWND panel)
{
    HWND root = GetAncestor(panel, GA_ROOT);
    return root && WindowClass(root) == "TSkinFloatingWindowParent" && IsWindowVisible(root) ? root : nullptr;
}

// A panel grabbed by its caption (docked or floating) and dropped with the real mouse.
void DragCaption(HWND panel, POINT to)
{
    HWND floating = FloatingFormOf(panel);
    HWND target = floating ? floating : panel;
    const RECT r = ScreenRect(target);
    const LRESULT code = floating ? 2002 : htPanelCaption;
    const POINT caption = FindHit(target, code, POINT{r.left + 12, r.top + 1}, POINT{0, 1}, 24);
    ASSERT_NE(caption.x, -1) << "no caption at the panel's top";
    MouseDrag(caption, to);
}
} // namespace

TEST_F(TProgramTest, ASidePanelFloatsIsResizedDocksAgainAndClosesByMouse)
{
    ASSERT_TRUE(Program.Start());
    const auto [image, print, dock] = SidePanels(Program);
    ASSERT_TRUE(image && print && dock) << "the side panels are not both shown on their dock";
    ASSERT_TRUE(Program.BringToFront());
    const RECT dockBefore = ScreenRect(dock);
    const RECT imageBefore = ScreenRect(image);
    auto docked = [&] {
        return GetParent(image) == dock && IsWindowVisible(image) && !FloatingFormOf(image) &&
               (ScreenRect(image).bottom == ScreenRect(print).top || ScreenRect(print).bottom == ScreenRect(image).top);
    };

    // Its caption dragged out over the page floats it; the print panel takes the whole dock.
    const POINT away{dockBefore.right + 300, dockBefore.top + 120};
    DragCaption(image, away);
    ASSERT_TRUE(WaitUntil([&] { return FloatingFormOf(image) != nullptr; })) << "the panel did not float";
    EXPECT_TRUE(WaitUntil([&] { return ScreenRect(print).top == imageBefore.top; }));
    HWND floating = FloatingFormOf(image);
    EXPECT_GT(ScreenRect(floating).left, dockBefore.right) << "it floats where it was dropped";

    // The floating form's corner resizes it and the panel inside with it.
    const RECT floatBefore = ScreenRect(floating);
    const RECT imageFloating = ScreenRect(image);
    const POINT corner = FindHit(floating, HTBOTTOMRIGHT, POINT{floatBefore.right - 1, floatBefore.bottom - 1}, POINT{-1, -1}, 6);
    ASSERT_NE(corner.x, -1) << "no sizing corner at the floating form's bottom right";
    MouseDrag(corner, POINT{corner.x + 50, corner.y + 40});
    EXPECT_TRUE(WaitUntil([&] {
        return Width(ScreenRect(floating)) == Width(floatBefore) + 50 && Height(ScreenRect(floating)) == Height(floatBefore) + 40;
    })) << Width(ScreenRect(floating)) << "x" << Height(ScreenRect(floating)) << " after " << Width(floatBefore) << "x"
        << Height(floatBefore);
    EXPECT_TRUE(WaitUntil([&] {
        return Width(ScreenRect(image)) == Width(imageFloating) + 50 && Height(ScreenRect(image)) == Height(imageFloating) + 40;
    }));

    // Dragged back onto the left dock it docks beside the print panel.
    DragCaption(image, POINT{(dockBefore.left + dockBefore.right) / 2, dockBefore.top + 40});
    EXPECT_TRUE(WaitUntil(docked)) << "the panel did not dock again";

    // Floated once more, a double click on its floating caption takes it back to its dock.
    DragCaption(image, away);
    ASSERT_TRUE(WaitUntil([&] { return FloatingFormOf(image) != nullptr; })) << "the panel did not float again";
    floating = FloatingFormOf(image);
    const RECT floatRect = ScreenRect(floating);
    const POINT caption = FindHit(floating, 2002, POINT{floatRect.left + 12, floatRect.top + 1}, POINT{0, 1}, 24);
    ASSERT_NE(caption.x, -1);
    MouseDoubleClick(caption);
    EXPECT_TRUE(WaitUntil(docked)) << "a double click did not dock the panel";

    // Its close button hides it; the View toggle brings it back onto the dock.
    const RECT now = ScreenRect(image);
    const POINT close = FindHit(image, htPanelClose, POINT{now.right - 2, now.top + 8}, POINT{-1, 0}, 40);
    ASSERT_NE(close.x, -1) << "no close button in the image panel's caption";
    MouseClick(close);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(image); }));
    Program.PostCommand(100);
    EXPECT_TRUE(WaitUntil(docked)) << "View > Image did not bring the panel back";
    CloseProgram(Program);
}
