// The main window's side panels and its printer, worked by the real mouse and keyboard: a panel
// dragged to either edge docks there, a floating one shows its close button's cross and docks back
// on a double click where it was dropped, every row of the panels can be reached in a low window,
// and the paper chosen in the printer setup dialog reaches the page.
#include <windows.h>

#include <dlgs.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <string>
#include <vector>

#include "E2ESupport.h"
#include "TestSupport.h"
#include "skin/SkinDkPanels.h"
#include "toolbar/TBDockableWindow.h"

namespace {

RECT ClientScreenRect(HWND wnd)
{
    RECT r{};
    GetClientRect(wnd, &r);
    MapWindowPoints(wnd, nullptr, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// The floating form that holds the panel while it floats, or 0 while it is docked or hidden.
HWND FloatingFormOf(HWND panel)
{
    HWND root = GetAncestor(panel, GA_ROOT);
    return root && WindowClass(root) == "TSkinFloatingWindowParent" && IsWindowVisible(root) ? root : nullptr;
}

// A point of the panel's caption, docked or floating; {-1, -1} when it shows none.
POINT CaptionPoint(HWND panel)
{
    HWND floating = FloatingFormOf(panel);
    HWND target = floating ? floating : panel;
    const RECT r = ScreenRect(target);
    return FindHit(target, floating ? 2002 : htPanelCaption, POINT{r.left + 12, r.top + 1}, POINT{0, 1}, 24);
}

// The box of the pixels of the window that answer the hit code along the row and column through
// `inside`, which answers it.
RECT HitBox(HWND wnd, LRESULT code, POINT inside)
{
    RECT box{inside.x, inside.y, inside.x + 1, inside.y + 1};
    while (HitAt(wnd, POINT{box.left - 1, inside.y}) == code)
        --box.left;
    while (HitAt(wnd, POINT{box.right, inside.y}) == code)
        ++box.right;
    while (HitAt(wnd, POINT{inside.x, box.top - 1}) == code)
        --box.top;
    while (HitAt(wnd, POINT{inside.x, box.bottom}) == code)
        ++box.bottom;
    return box;
}

// The dark pixels of a picture, row by row.
struct TGlyphMask {
    int Width = 0;
    int Height = 0;
    std::vector<bool> Dark;
    bool At(int x, int y) const { return x >= 0 && y >= 0 && x < Width && y < Height && Dark[y * Width + x]; }
    std::string Drawing() const
    {
        std::string text;
        for (int y = 0; y < Height; ++y) {
            for (int x = 0; x < Width; ++x)
                text += At(x, y) ? '#' : '.';
            text += '\n';
        }
        return text;
    }
};

// The glyph's dark pixels, cut to their box.
TGlyphMask DarkGlyph(const TDecodedPicture& picture)
{
    RECT box{picture.Width, picture.Height, 0, 0};
    auto dark = [&](int x, int y) {
        const COLORREF c = picture.Pixel(x, y);
        return GetRValue(c) + GetGValue(c) + GetBValue(c) < 3 * 80;
    };
    for (int y = 0; y < picture.Height; ++y)
        for (int x = 0; x < picture.Width; ++x)
            if (dark(x, y))
                box = RECT{std::min<LONG>(box.left, x), std::min<LONG>(box.top, y), std::max<LONG>(box.right, x + 1),
                           std::max<LONG>(box.bottom, y + 1)};
    TGlyphMask mask;
    if (box.right <= box.left)
        return mask;
    mask.Width = box.right - box.left;
    mask.Height = box.bottom - box.top;
    for (int y = box.top; y < box.bottom; ++y)
        for (int x = box.left; x < box.right; ++x)
            mask.Dark.push_back(dark(x, y));
    return mask;
}

// A cross: about square, the same mirrored left to right, ink at its four corners and its centre.
// A letter "r" in place of the symbol font's cross has none of its right-hand half.
bool IsCross(const TGlyphMask& m)
{
    if (m.Width < 4 || m.Height < 4 || std::abs(m.Width - m.Height) > 2)
        return false;
    int ink = 0, asymmetric = 0;
    for (int y = 0; y < m.Height; ++y)
        for (int x = 0; x < m.Width; ++x) {
            ink += m.At(x, y);
            asymmetric += m.At(x, y) != m.At(m.Width - 1 - x, y);
        }
    auto inkNear = [&](int cx, int cy) {
        for (int y = cy - 1; y <= cy + 1; ++y)
            for (int x = cx - 1; x <= cx + 1; ++x)
                if (m.At(x, y))
                    return true;
        return false;
    };
    const int r = m.Width - 1, b = m.Height - 1;
    return asymmetric * 7 <= ink && inkNear(0, 0) && inkNear(r, 0) && inkNear(0, b) && inkNear(r, b) &&
           inkNear(r / 2, b / 2);
}

// The side panels and the main window's multi-docks, once both panels show.
struct TSidePanels {
    HWND Image = nullptr;
    HWND Print = nullptr;
    std::vector<HWND> Docks;
};

TSidePanels FindSidePanels(const TProgramDriver& program)
{
    TSidePanels panels{program.FindChild("TImagePanel"), program.FindChild("TPrintPanel"), {}};
    FindDescendantIf(program.MainWindow(), [&](HWND wnd) {
        if (WindowClass(wnd) == "TSkinMultiDock")
            panels.Docks.push_back(wnd);
        return false;
    });
    if (!panels.Image || !panels.Print ||
        !WaitUntil([&] { return IsWindowVisible(panels.Image) && IsWindowVisible(panels.Print); }))
        return {};
    return panels;
}

// The print panel's Setup... button: the topmost of its buttons.
HWND SetupButton(const TProgramDriver& program)
{
    HWND panel = program.FindChild("TPrintPanel");
    HWND found = nullptr;
    FindDescendantIf(panel, [&](HWND wnd) {
        if (WindowClass(wnd) == "TSkinButton" && (!found || ScreenRect(wnd).top < ScreenRect(found).top))
            found = wnd;
        return false;
    });
    return found;
}

// The system's dialog keeps its lists in wide text.
std::wstring ComboItem(HWND combo, int index)
{
    wchar_t text[256] = {};
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(combo, CB_GETLBTEXTLEN, index, 0, SMTO_NORMAL, 5000, &length) || length >= std::size(text))
        return {};
    SendMessageTimeoutW(combo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 5000, nullptr);
    return text;
}

int ComboIndexOf(HWND combo, const std::wstring& item)
{
    DWORD_PTR count = 0;
    SendMessageTimeoutA(combo, CB_GETCOUNT, 0, 0, SMTO_NORMAL, 5000, &count);
    for (int i = 0; i < static_cast<int>(count); ++i)
        if (ComboItem(combo, i) == item)
            return i;
    return -1;
}

int ComboSelection(HWND combo)
{
    DWORD_PTR index = static_cast<DWORD_PTR>(-1);
    SendMessageTimeoutA(combo, CB_GETCURSEL, 0, 0, SMTO_NORMAL, 5000, &index);
    return static_cast<int>(index);
}

// Whether the page's paper is the size given in 0.01 mm, either way round, within a millimetre.
bool PaperIs(TSheetfoldPage* page, int width, int height)
{
    const RECT paper = page->GetPaperRect();
    const int w = paper.right - paper.left, h = paper.bottom - paper.top;
    auto close = [](int a, int b) { return std::abs(a - b) <= 100; };
    return (close(w, width) && close(h, height)) || (close(w, height) && close(h, width));
}

} // namespace

class PaperChoice : public TProgramTest {};

TEST_F(PaperChoice, PaperSizeChosenInPrinterSetupBecomesThePages)
{
    if (!std::getenv("CUPS_SERVER") && !std::getenv("SF_REQUIRE_PRINTER"))
        GTEST_SKIP() << "no test CUPS server";
    WriteSetting("Printer", "PDF");
    ASSERT_TRUE(Program.Start());
    HWND setup = SetupButton(Program);
    ASSERT_NE(setup, nullptr) << "no Setup... button in the print panel";
    ASSERT_TRUE(Program.BringToFront());
    MouseClick(Centre(ScreenRect(setup)));
    HWND dialog = Program.WaitForClass("#32770");
    ASSERT_NE(dialog, nullptr) << "Setup... opened no dialog";
    HWND paper = GetDlgItem(dialog, cmb2);
    ASSERT_NE(paper, nullptr) << "the dialog has no paper size box";
    const int a5 = ComboIndexOf(paper, L"A5");
    ASSERT_GE(a5, 0) << "the printer offers no A5";

    // The paper box by its mnemonic, then down its list to A5; Enter is OK.
    ASSERT_TRUE(Program.BringToFront(dialog));
    PressKeys("alt+z home");
    for (int i = 0; i < a5; ++i)
        PressKeys("down");
    EXPECT_TRUE(WaitUntil([&] { return ComboSelection(paper) == a5; })) << "chose " << Narrow(ComboItem(paper, ComboSelection(paper)));
    PressKeys("enter");
    ASSERT_TRUE(Program.WaitForClassGone("#32770"));
    ASSERT_TRUE(Program.Sync());

    const std::string folder = TestTempDir() + "\\paper";
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::string saved = folder + "\\a5.sfp";
    DeleteFileA(saved.c_str());
    ASSERT_TRUE(SaveProjectAs(Program, saved));
    TProjectPtr project = LoadTestProject(saved);
    ASSERT_EQ(project->Count(), 1);
    const RECT sheet = project->GetPage(0)->GetPaperRect();
    EXPECT_TRUE(PaperIs(project->GetPage(0), 14800, 21000))
        << "the page is " << sheet.right - sheet.left << " x " << sheet.bottom - sheet.top << ", not A5";
    CloseProgram(Program);
}

class SidePanels : public TProgramTest {};

TEST_F(SidePanels, APanelDraggedToEitherEdgeDocksThere)
{
    ASSERT_TRUE(Program.Start());
    const TSidePanels panels = FindSidePanels(Program);
    ASSERT_TRUE(panels.Image && panels.Print) << "the side panels are not both shown";
    ASSERT_TRUE(Program.BringToFront());
    HWND tabs = Program.FindChild("TTabControl");
    const RECT client = ClientScreenRect(Program.MainWindow());
    const RECT page = ScreenRect(tabs);
    HWND leftDock = GetParent(panels.Print);
    ASSERT_EQ(ScreenRect(leftDock).left, client.left) << "the panels start on the left dock";
    const int middle = (page.top + page.bottom) / 2;

    // Each panel's caption taken to the window's right edge: it docks there, at the right of the
    // page, and the panels share that dock's length as they shared the left one's.
    struct TMove {
        const char* Name;
        HWND Panel;
    };
    for (const TMove& move : {TMove{"image", panels.Image}, TMove{"print", panels.Print}}) {
        SCOPED_TRACE(move.Name);
        const POINT caption = CaptionPoint(move.Panel);
        ASSERT_NE(caption.x, -1) << "no caption at the panel's top";
        MouseDrag(caption, POINT{client.right - 8, middle});
        EXPECT_TRUE(WaitUntil([&] {
            HWND dock = GetParent(move.Panel);
            return !FloatingFormOf(move.Panel) && dock != leftDock && WindowClass(dock) == "TSkinMultiDock" &&
                   ScreenRect(move.Panel).right == client.right && ScreenRect(tabs).right <= ScreenRect(move.Panel).left;
        })) << "the panel is in a " << WindowClass(GetParent(move.Panel)) << " at " << ScreenRect(move.Panel).left << "-"
            << ScreenRect(move.Panel).right << ", the window's client ends at " << client.right;
    }
    const RECT image = ScreenRect(panels.Image), print = ScreenRect(panels.Print);
    EXPECT_EQ(GetParent(panels.Image), GetParent(panels.Print));
    EXPECT_TRUE(image.bottom == print.top || print.bottom == image.top)
        << "image " << image.top << "-" << image.bottom << ", print " << print.top << "-" << print.bottom;
    // The empty left dock gives its room to the page.
    EXPECT_TRUE(WaitUntil([&] { return ScreenRect(tabs).left == client.left; })) << ScreenRect(tabs).left;

    // Dragged back to the left edge, a panel docks there again: an empty dock takes a panel
    // dropped on the window's edge.
    MouseDrag(CaptionPoint(panels.Image), POINT{client.left + 1, middle});
    EXPECT_TRUE(WaitUntil([&] { return GetParent(panels.Image) == leftDock && ScreenRect(panels.Image).left == client.left; }));
    CloseProgram(Program);
}

TEST_F(SidePanels, AFloatingPanelDocksBackOnTheFirstDoubleClickAndStaysReachable)
{
    ASSERT_TRUE(Program.Start());
    const TSidePanels panels = FindSidePanels(Program);
    ASSERT_TRUE(panels.Image && panels.Print) << "the side panels are not both shown";
    ASSERT_TRUE(Program.BringToFront());
    HWND dock = GetParent(panels.Image);

    // A window too low for both panels' rows, made so by its grip.
    HWND bar = Program.FindChild("TSkinStatusBar");
    ASSERT_NE(bar, nullptr);
    const RECT barRect = ScreenRect(bar);
    const int heightBefore = ScreenRect(Program.MainWindow()).bottom - ScreenRect(Program.MainWindow()).top;
    MouseDrag(POINT{barRect.right - 4, barRect.bottom - 4}, POINT{barRect.right - 4, barRect.bottom - 264});
    ASSERT_TRUE(WaitUntil([&] {
        const RECT now = ScreenRect(Program.MainWindow());
        return now.bottom - now.top == heightBefore - 260;
    })) << "the grip did not make the window lower";
    const RECT dockRect = ScreenRect(dock);

    // Out over the page by its caption: it floats under the pointer, which stays on its caption.
    const POINT caption = CaptionPoint(panels.Image);
    ASSERT_NE(caption.x, -1) << "no caption at the panel's top";
    const POINT dropped{dockRect.right + 300, dockRect.top + 60};
    MouseDrag(caption, dropped);
    ASSERT_TRUE(WaitUntil([&] { return FloatingFormOf(panels.Image) != nullptr; })) << "the panel did not float";
    // The drag's last moves may still be on their way.
    EXPECT_TRUE(WaitUntil([&] { return HitAt(FloatingFormOf(panels.Image), dropped) == 2002; }))
        << "the pointer is not on the floating caption";

    // One double click right there docks it back.
    MouseDoubleClick(dropped);
    ASSERT_TRUE(WaitUntil([&] { return GetParent(panels.Image) == dock && !FloatingFormOf(panels.Image); }))
        << "the first double click did not dock the panel";

    // The dock's scroll bar brings the panel's lowest row into view, and back to the top the
    // first panel's first row.
    RECT area{};
    POINT down{};
    ASSERT_TRUE(WaitUntil([&] {
        area = ClientScreenRect(dock);
        down = POINT{area.right + 2, area.bottom - 3};
        return HitAt(dock, down) == HTVSCROLL;
    })) << "the dock offers no scroll bar for the panels it cannot hold";
    auto lowestRow = [](HWND panel) {
        RECT lowest{};
        FindDescendantIf(panel, [&](HWND child) {
            if (IsWindowVisible(child) && ScreenRect(child).bottom > lowest.bottom)
                lowest = ScreenRect(child);
            return false;
        });
        return lowest;
    };
    for (int i = 0; i < 60 && lowestRow(panels.Image).bottom > area.bottom; ++i)
        MouseClick(down);
    EXPECT_LE(lowestRow(panels.Image).bottom, area.bottom) << "the image panel's last row stays out of reach";
    EXPECT_GE(lowestRow(panels.Image).top, area.top);
    const POINT up{area.right + 2, area.top + 3};
    auto firstTop = [&] { return std::min(ScreenRect(panels.Print).top, ScreenRect(panels.Image).top); };
    for (int i = 0; i < 60 && firstTop() < area.top; ++i)
        MouseClick(up);
    EXPECT_EQ(firstTop(), area.top) << "the first panel's top stays out of reach";
    CloseProgram(Program);
}

TEST_F(SidePanels, AFloatingPanelsCloseButtonShowsACross)
{
    ASSERT_TRUE(Program.Start());
    const TSidePanels panels = FindSidePanels(Program);
    ASSERT_TRUE(panels.Image && panels.Print) << "the side panels are not both shown";
    ASSERT_TRUE(Program.BringToFront());
    const RECT dockRect = ScreenRect(GetParent(panels.Print));
    MouseDrag(CaptionPoint(panels.Print), POINT{dockRect.right + 300, dockRect.top + 120});
    ASSERT_TRUE(WaitUntil([&] { return FloatingFormOf(panels.Print) != nullptr; })) << "the panel did not float";
    HWND floating = FloatingFormOf(panels.Print);
    // Away from the button, so that it is drawn neither hot nor pressed.
    MoveMouse(POINT{dockRect.right + 600, dockRect.top + 500});

    const RECT form = ScreenRect(floating);
    const POINT close = FindHit(floating, HT_TB2K_CLOSE, POINT{form.right - 2, CaptionPoint(panels.Print).y}, POINT{-1, 0}, 40);
    ASSERT_NE(close.x, -1) << "no close button in the floating caption";
    RECT button = HitBox(floating, HT_TB2K_CLOSE, close);
    // Inside the button's raised edge.
    InflateRect(&button, -2, -2);
    TGlyphMask glyph;
    EXPECT_TRUE(WaitUntil([&] {
        glyph = DarkGlyph(CaptureScreen(button));
        return IsCross(glyph);
    })) << "the close button shows\n" << glyph.Drawing();
    CloseProgram(Program);
}
