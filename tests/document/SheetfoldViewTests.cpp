#include <gtest/gtest.h>

#include <windows.h>

#include <shellapi.h>
#include <shlobj.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "LayerTestSupport.h"
#include "SheetfoldHooksFake.h"
#include "TestSupport.h"
#include "document/LayerImage.h"
#include "document/SheetfoldView.h"
#include "graphics/SfTypes.h"
#include "platform/Forms.h"
#include "platform/ScopeGuards.h"

namespace {

// The main window's hooks, recorded.
class TStubForm : public TNoOpHooks {
public:
    void SelectionItemChanged(TObject*) override { ++SelectionChanges; }
    void UpdateProperties(TObject*) override { ++PropertyUpdates; }
    void ViewResized() override { ++Resizes; }
    void ShowContextMenu(int x, int y) override { ContextMenus.push_back(POINT{x, y}); }
    void ViewKeyDown(WORD key, TShiftState shift) override { Keys.emplace_back(key, shift); }
    void SetInsertPoint(const POINT& p) override { InsertPoint = p; }
    void InsertImageFile(const std::string& fileName) override
    {
        Inserted.emplace_back(fileName, InsertPoint);
        if (fileName == FailingFile)
            throw EFOpenError("Cannot open " + fileName);
    }

    int SelectionChanges = 0;
    int PropertyUpdates = 0;
    int Resizes = 0;
    std::vector<POINT> ContextMenus;
    std::vector<std::pair<WORD, TShiftState>> Keys;
    POINT InsertPoint{};
    std::vector<std::pair<std::string, POINT>> Inserted;
    std::string FailingFile;
};

// A view that records focus requests instead of taking the focus from other test programs.
class TTestView : public TSheetfoldView {
public:
    using TSheetfoldView::TSheetfoldView;
    void SetFocus() override { ++FocusRequests; }
    int FocusRequests = 0;
};

// The view with a one-page project at 10 logical units to the pixel and the origin at the page
// corner, in a host window that never takes the focus.
struct TViewWindow {
    TViewWindow()
    {
        Host = CreateWindowExA(WS_EX_NOACTIVATE | WS_EX_TOPMOST | WS_EX_TOOLWINDOW, "STATIC", "", WS_POPUP, 850, 600,
                               420, 340, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        ShowWindow(Host, SW_SHOWNOACTIVATE);
        View = New<TTestView>(nullptr);
        View->SetForm(&Form);
        View->SetScrolling(false);
        View->GetMapMode()->SetDPI(POINT{254, 254});
        View->SetParentWindow(Host);
        View->SetBounds(0, 0, 400, 300);
        View->HandleNeeded();
        ShowWindow(View->GetHandle(), SW_SHOWNA);
        auto* project = New<TSheetfoldProject>();
        View->SetProject(project);
        Page = New<TSheetfoldPage>(project);
        UpdateWindow(View->GetHandle());
    }
    ~TViewWindow()
    {
        View->Free();
        DestroyWindow(Host);
    }

    TSheetfoldSelection* Selection() const { return View->GetSheetfoldSelection(); }
    TSheetfoldMoveTool* Tool() const { return As<TSheetfoldMoveTool>(Selection()->GetTool()); }
    HWND Wnd() const { return View->GetHandle(); }
    // Logical units are ten times the pixels.
    TLayerRect* AddRect(int x, int y, int w, int h)
    {
        return AddElement<TLayerRect>(Page, x * 10, y * 10, w * 10, h * 10);
    }

    void Down(int x, int y, WPARAM keys = 0) { SendMessageA(Wnd(), WM_LBUTTONDOWN, MK_LBUTTON | keys, MAKELPARAM(x, y)); }
    void DoubleDown(int x, int y, WPARAM keys = 0)
    {
        SendMessageA(Wnd(), WM_LBUTTONDBLCLK, MK_LBUTTON | keys, MAKELPARAM(x, y));
    }
    void Move(int x, int y, WPARAM keys = MK_LBUTTON) { SendMessageA(Wnd(), WM_MOUSEMOVE, keys, MAKELPARAM(x, y)); }
    void Up(int x, int y, WPARAM keys = 0) { SendMessageA(Wnd(), WM_LBUTTONUP, keys, MAKELPARAM(x, y)); }
    void Click(int x, int y, WPARAM keys = 0)
    {
        Down(x, y, keys);
        Up(x, y, keys);
    }
    void Drag(int x0, int y0, int x1, int y1, WPARAM keys = 0)
    {
        Down(x0, y0, keys);
        Move((x0 + x1) / 2, (y0 + y1) / 2, MK_LBUTTON | keys);
        Move(x1, y1, MK_LBUTTON | keys);
        Up(x1, y1, keys);
    }
    std::vector<TLayerElement*> Selected() const
    {
        std::vector<TLayerElement*> result;
        for (int i = 0; i < Selection()->Count(); ++i)
            result.push_back(Selection()->GetItem(i));
        return result;
    }

    TStubForm Form;
    HWND Host = nullptr;
    TTestView* View = nullptr;
    TSheetfoldPage* Page = nullptr;
};

RECT Bounds(TLayerElement* e)
{
    return e->GetBounds();
}

// A shell drop of ANSI file names at a client point.
HDROP MakeDrop(const std::vector<std::string>& files, POINT at)
{
    size_t chars = 1;
    for (const std::string& f : files)
        chars += f.size() + 1;
    HGLOBAL mem = GlobalAlloc(GHND, sizeof(DROPFILES) + chars);
    auto* df = static_cast<DROPFILES*>(GlobalLock(mem));
    df->pFiles = sizeof(DROPFILES);
    df->pt = at;
    df->fNC = FALSE;
    df->fWide = FALSE;
    char* p = reinterpret_cast<char*>(df) + sizeof(DROPFILES);
    for (const std::string& f : files) {
        std::memcpy(p, f.c_str(), f.size() + 1);
        p += f.size() + 1;
    }
    *p = '\0';
    GlobalUnlock(mem);
    return static_cast<HDROP>(mem);
}

// A grey 24-bit BMP file of the size at 254 dpi: ten logical units to the pixel.
std::string WriteGreyBmp(const std::string& name, int width, int height)
{
    return WriteBmp(name, width, height, 10000);
}

}

TEST(SheetfoldView, ClickShiftClickAndEmptySpace)
{
    TViewWindow w;
    auto* a = w.AddRect(20, 20, 50, 40);
    auto* b = w.AddRect(100, 20, 30, 30);
    auto* hidden = w.AddRect(200, 100, 30, 30);
    hidden->SetVisible(false);

    w.Click(30, 30);
    EXPECT_EQ(w.Selected(), std::vector<TLayerElement*>{a});
    EXPECT_EQ(w.Form.SelectionChanges, 1);
    EXPECT_GE(w.View->FocusRequests, 1);
    w.Click(110, 30, MK_SHIFT);
    EXPECT_EQ(w.Selected(), (std::vector<TLayerElement*>{a, b}));
    // A click on a selected element keeps the others.
    w.Click(30, 30);
    EXPECT_EQ(w.Selection()->Count(), 2);
    // Empty space clears the selection.
    w.Click(300, 250);
    EXPECT_TRUE(w.Selection()->IsEmpty());
    // Empty space, also over an invisible element, selects nothing.
    w.Click(210, 110);
    EXPECT_TRUE(w.Selection()->IsEmpty());
    EXPECT_FALSE(w.Tool()->GetBanding());
}

TEST(SheetfoldView, AQuickSecondPressSelectsAndDragsLikeAnyPress)
{
    TViewWindow w;
    auto* a = w.AddRect(20, 20, 50, 40);
    auto* b = w.AddRect(100, 20, 30, 30);
    w.Click(30, 30);
    int focusRequests = w.View->FocusRequests;
    w.DoubleDown(110, 30);
    EXPECT_TRUE(w.Tool()->GetDragging());
    w.Up(110, 30);
    EXPECT_EQ(w.Selected(), std::vector<TLayerElement*>{b});
    EXPECT_GT(w.View->FocusRequests, focusRequests);

    // The second press of a double-click drags.
    w.DoubleDown(110, 30);
    w.Move(130, 40);
    w.Move(150, 50);
    w.Up(150, 50);
    EXPECT_EQ(Bounds(b).left, 1400);
    EXPECT_EQ(Bounds(b).top, 400);
    EXPECT_EQ(Bounds(a).left, 200);

    // On empty paper it starts a rubber band.
    w.Click(300, 250);
    w.DoubleDown(10, 10);
    EXPECT_TRUE(w.Tool()->GetBanding());
    w.Move(40, 40);
    w.Move(80, 80);
    w.Up(80, 80);
    EXPECT_FALSE(w.Tool()->GetBanding());
    EXPECT_EQ(w.Selected(), std::vector<TLayerElement*>{a});
}

TEST(SheetfoldView, CtrlClickTogglesAndDisabledCaptionsSelectTheirOwner)
{
    TViewWindow w;
    auto* a = w.AddRect(20, 20, 50, 40);
    auto* b = w.AddRect(100, 20, 30, 30);
    w.Click(30, 30);
    w.Click(110, 30, MK_CONTROL);
    EXPECT_EQ(w.Selection()->Count(), 2);
    // Ctrl on a selected element takes it out, and does not drag the rest.
    w.Down(110, 30, MK_CONTROL);
    EXPECT_FALSE(w.Tool()->GetDragging());
    w.Move(150, 60, MK_LBUTTON | MK_CONTROL);
    w.Up(150, 60, MK_CONTROL);
    EXPECT_EQ(w.Selected(), std::vector<TLayerElement*>{a});
    EXPECT_EQ(Bounds(a).left, 200);
    EXPECT_EQ(Bounds(b).left, 1000);

    // A disabled element is not hit; the band selects its owner instead.
    w.Click(300, 250);
    auto* caption = w.AddRect(20, 70, 50, 10);
    caption->SetAttachedTo(a);
    caption->SetEnabled(false);
    w.Drag(10, 75, 80, 78);
    EXPECT_EQ(w.Selected(), std::vector<TLayerElement*>{a});
}

TEST(SheetfoldView, RubberBandSelectsOverlapsAndCtrlBandToggles)
{
    TViewWindow w;
    auto* a = w.AddRect(20, 20, 20, 20);
    auto* b = w.AddRect(60, 20, 20, 20);
    auto* touching = w.AddRect(100, 20, 20, 20);
    auto* hidden = w.AddRect(20, 60, 20, 20);
    hidden->SetVisible(false);
    // From empty space, right to left and bottom to top: the corners are put in order. The band
    // ends where `touching` begins, so it only touches it.
    w.Drag(100, 90, 10, 10);
    auto selected = w.Selected();
    EXPECT_EQ(selected.size(), 3u);
    EXPECT_TRUE(w.Selection()->Contains(a));
    EXPECT_TRUE(w.Selection()->Contains(b));
    EXPECT_TRUE(w.Selection()->Contains(hidden));
    EXPECT_FALSE(w.Selection()->Contains(touching));
    // The topmost comes first.
    EXPECT_EQ(selected[0], hidden);

    // Ctrl band toggles: a and b leave, touching joins.
    w.Drag(150, 10, 50, 30, MK_CONTROL);
    EXPECT_TRUE(w.Selection()->Contains(a));
    EXPECT_FALSE(w.Selection()->Contains(b));
    EXPECT_TRUE(w.Selection()->Contains(touching));
    EXPECT_TRUE(w.Selection()->Contains(hidden));
    EXPECT_FALSE(w.Tool()->GetBanding());
}

TEST(SheetfoldView, DraggingMovesTheWholeSelection)
{
    TViewWindow w;
    auto* a = w.AddRect(50, 50, 50, 40);
    auto* b = w.AddRect(150, 60, 30, 30);
    w.Page->SetSnap(false);
    w.Click(60, 60);
    w.Click(160, 70, MK_SHIFT);
    w.Drag(160, 70, 177, 59);
    EXPECT_TRUE(SameRect(Bounds(a), RECT{670, 390, 1170, 790}));
    EXPECT_TRUE(SameRect(Bounds(b), RECT{1670, 490, 1970, 790}));
    EXPECT_FALSE(w.Tool()->GetDragging());
    // The grip moves too, from outside the elements.
    w.Drag(65, 45, 55, 45);
    EXPECT_EQ(Bounds(a).left, 570);
    EXPECT_EQ(Bounds(b).left, 1570);
}

TEST(SheetfoldView, EachHandleResizesItsEdgesAndTinySizesAreRefused)
{
    TViewWindow w;
    w.Page->SetSnap(false);
    auto* a = w.AddRect(100, 100, 60, 40);
    w.Click(120, 120);
    const RECT start = Bounds(a);
    const POINT d{7, -5};
    struct Case {
        int Zone;
        RECT Expected;
    } cases[] = {
        {lpmLeft, {1070, 1000, 1600, 1400}},   {lpmTop, {1000, 950, 1600, 1400}},
        {lpmRight, {1000, 1000, 1670, 1400}},  {lpmBottom, {1000, 1000, 1600, 1350}},
        {lpmTopLeft, {1070, 950, 1600, 1400}}, {lpmTopRight, {1000, 950, 1670, 1400}},
        {lpmBottomRight, {1000, 1000, 1670, 1350}}, {lpmBottomLeft, {1070, 1000, 1600, 1350}},
    };
    for (const Case& c : cases) {
        a->SetBoundsRect(start);
        RECT s = w.View->GetMapMode()->LPtoDPRect(start);
        POINT h = SelectionGeometry::HandleCentre(s, c.Zone);
        w.Down(h.x, h.y);
        EXPECT_EQ(w.Tool()->GetZone(), c.Zone);
        w.Move(h.x + d.x, h.y + d.y);
        w.Up(h.x + d.x, h.y + d.y);
        EXPECT_TRUE(SameRect(Bounds(a), c.Expected)) << "zone " << c.Zone;
    }

    // Past the opposite edge: the last acceptable size stays.
    a->SetBoundsRect(start);
    w.Down(160, 120);
    w.Move(130, 120);
    w.Move(100, 120);
    w.Move(90, 120);
    w.Up(90, 120);
    EXPECT_TRUE(SameRect(Bounds(a), RECT{1000, 1000, 1300, 1400}));
}

TEST(SheetfoldView, CursorFollowsTheZone)
{
    TViewWindow w;
    auto* a = w.AddRect(100, 100, 60, 40);
    w.Click(120, 120);
    w.Move(100, 120, 0);
    EXPECT_EQ(w.View->GetCursor(), crSizeWE);
    w.Move(130, 140, 0);
    EXPECT_EQ(w.View->GetCursor(), crSizeNS);
    w.Move(160, 140, 0);
    EXPECT_EQ(w.View->GetCursor(), crSizeNWSE);
    w.Move(160, 100, 0);
    EXPECT_EQ(w.View->GetCursor(), crSizeNESW);
    w.Move(130, 120, 0);
    EXPECT_EQ(w.View->GetCursor(), crSizeAll);
    w.Move(300, 250, 0);
    EXPECT_EQ(w.View->GetCursor(), crDefault);

    // With two selected, an edge handle leaves the cursor as it is.
    auto* b = w.AddRect(200, 100, 20, 40);
    w.Click(210, 120, MK_SHIFT);
    w.Move(130, 120, 0);
    EXPECT_EQ(w.View->GetCursor(), crSizeAll);
    w.Move(100, 120, 0);
    EXPECT_EQ(w.View->GetCursor(), crSizeAll);
    EXPECT_TRUE(w.Selection()->Contains(a));
    EXPECT_TRUE(w.Selection()->Contains(b));

    // The edges of a croppable image show the split cursors.
    auto* image = AddElement<TLayerImage>(w.Page, 2000, 2000, 10, 10);
    image->LoadFromFile(WriteGreyBmp("cursor.bmp", 60, 40));
    ASSERT_EQ(image->GetWidth(), 600);
    image->SetClipEnabled(true);
    w.Click(300, 250);
    w.Click(230, 220);
    ASSERT_EQ(w.Selected(), std::vector<TLayerElement*>{image});
    w.Move(200, 220, 0);
    EXPECT_EQ(w.View->GetCursor(), crHSplit);
    w.Move(230, 240, 0);
    EXPECT_EQ(w.View->GetCursor(), crVSplit);
    w.Move(260, 240, 0);
    EXPECT_EQ(w.View->GetCursor(), crSizeNWSE);
}

TEST(SheetfoldView, LosingTheCaptureEndsADragOrBandCleanly)
{
    TViewWindow w;
    w.Page->SetSnap(false);
    auto* a = w.AddRect(50, 50, 50, 40);
    w.Down(60, 60);
    w.Move(70, 70);
    EXPECT_TRUE(w.Tool()->GetDragging());
    EXPECT_EQ(GetCapture(), w.Wnd());
    // Another window takes the mouse.
    SetCapture(w.Host);
    ReleaseCapture();
    EXPECT_FALSE(w.Tool()->GetDragging());
    EXPECT_EQ(Bounds(a).left, 600);
    w.Move(120, 120);
    w.Up(120, 120);
    EXPECT_EQ(Bounds(a).left, 600);

    // A band cancelled by WM_CANCELMODE selects nothing.
    w.Click(300, 250);
    w.Down(10, 10);
    w.Move(200, 200);
    EXPECT_TRUE(w.Tool()->GetBanding());
    SendMessageA(w.Wnd(), WM_CANCELMODE, 0, 0);
    EXPECT_FALSE(w.Tool()->GetBanding());
    w.Up(200, 200);
    EXPECT_TRUE(w.Selection()->IsEmpty());
    EXPECT_NE(GetCapture(), w.Wnd());
}

TEST(SheetfoldView, AlignmentOnAnUnevenSelectionThroughTheView)
{
    TViewWindow w;
    auto* a = w.AddRect(0, 0, 10, 10);
    auto* b = w.AddRect(0, 0, 10, 10);
    auto* c = w.AddRect(0, 0, 10, 10);
    a->SetBounds(-333, 71, 101, 33);
    b->SetBounds(1001, 4000, 55, 7);
    c->SetBounds(-20, -500, 3, 999);
    w.Selection()->Add(a);
    w.Selection()->Add(b);
    w.Selection()->Add(c);
    w.Selection()->AlignElements(amRights);
    EXPECT_EQ(a->GetLeft(), 1056 - 101);
    EXPECT_EQ(c->GetLeft(), 1056 - 3);
    w.Selection()->AlignElements(amSpaceVert);
    // Bounds -500 .. 4007, heights 1039: gap (4507 - 1039) div 2 = 1734.
    EXPECT_EQ(c->GetTop(), -500);
    EXPECT_EQ(a->GetTop(), -500 + 999 + 1734);
    EXPECT_EQ(b->GetTop(), -500 + 999 + 33 + 2 * 1734);
    w.Selection()->AlignElements(amSameHeight);
    EXPECT_EQ(b->GetHeight(), 999);
    EXPECT_GE(w.Form.PropertyUpdates, 1);

    // An image that keeps its ratio follows the common width with its height.
    w.Click(300, 250);
    auto* image = AddElement<TLayerImage>(w.Page, 0, 0, 10, 10);
    image->LoadFromFile(WriteGreyBmp("ratio.bmp", 200, 100));
    ASSERT_EQ(image->GetWidth(), 2000);
    ASSERT_TRUE(image->GetKeepRatio());
    auto* wide = w.AddRect(0, 200, 300, 10);
    w.Selection()->Add(image);
    w.Selection()->Add(wide);
    w.Selection()->AlignElements(amSameWidth);
    EXPECT_EQ(image->GetWidth(), 3000);
    EXPECT_EQ(image->GetHeight(), 1500);
    EXPECT_EQ(wide->GetHeight(), 100);
}

TEST(SheetfoldView, KeysAndRightButtonGoToTheMainWindow)
{
    TViewWindow w;
    SendMessageA(w.Wnd(), WM_KEYDOWN, VK_DELETE, 1 | (1 << 29));
    ASSERT_EQ(w.Form.Keys.size(), 1u);
    EXPECT_EQ(w.Form.Keys[0].first, VK_DELETE);
    EXPECT_TRUE(w.Form.Keys[0].second & ssAlt);
    SendMessageA(w.Wnd(), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(33, 44));
    SendMessageA(w.Wnd(), WM_RBUTTONUP, 0, MAKELPARAM(33, 44));
    ASSERT_EQ(w.Form.ContextMenus.size(), 1u);
    EXPECT_EQ(w.Form.ContextMenus[0].x, 33);
    EXPECT_EQ(w.Form.ContextMenus[0].y, 44);
    EXPECT_GE(w.View->FocusRequests, 1);
    w.View->SetBounds(0, 0, 300, 200);
    EXPECT_GE(w.Form.Resizes, 1);
}

TEST(SheetfoldView, DroppedFilesAreInsertedInOrderEvenWhenOneFails)
{
    TViewWindow w;
    EXPECT_TRUE(GetWindowLongA(w.Wnd(), GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
    std::string reported;
    Application->OnException = TExceptionEvent([&](TObject*, const Exception& e) { reported = e.GetMessage(); });
    std::string longName = "C:\\" + std::string(300, 'x') + ".bmp";
    w.Form.FailingFile = "C:\\two.png";
    HDROP drop = MakeDrop({"C:\\one.bmp", "C:\\two.png", longName}, POINT{30, 40});
    SendMessageA(w.Wnd(), WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
    Application->OnException = nullptr;
    ASSERT_EQ(w.Form.Inserted.size(), 3u);
    EXPECT_EQ(w.Form.Inserted[0].first, "C:\\one.bmp");
    EXPECT_EQ(w.Form.Inserted[0].second.x, 300);
    EXPECT_EQ(w.Form.Inserted[0].second.y, 400);
    EXPECT_EQ(w.Form.Inserted[1].first, "C:\\two.png");
    EXPECT_EQ(w.Form.Inserted[1].second.x, 1300);
    EXPECT_EQ(w.Form.Inserted[2].first, longName);
    EXPECT_EQ(w.Form.Inserted[2].second.x, 2300);
    EXPECT_EQ(w.Form.Inserted[2].second.y, 2400);
    EXPECT_NE(reported.find("two.png"), std::string::npos);
}

TEST(SheetfoldView, PaintsBackgroundOnlyWithoutPagesAndHandlesWithASelection)
{
    TViewWindow w;
    w.View->SetBackgroundColor(clGray);
    auto* a = w.AddRect(50, 50, 50, 40);
    a->SetColor(clRed);
    RedrawWindow(w.Wnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    TWindowDC windowDC(w.Wnd());
    HDC dc = windowDC.Get();
    EXPECT_EQ(GetPixel(dc, 75, 70), static_cast<COLORREF>(clRed));
    EXPECT_EQ(GetPixel(dc, 10, 10), RGB(255, 255, 255));
    w.Click(75, 70);
    UpdateWindow(w.Wnd());
    // The top handle inverts red around (75, 50).
    EXPECT_EQ(GetPixel(dc, 75, 51), RGB(0, 255, 255));
    // Deselecting leaves no stale handle pixels.
    w.Click(300, 250);
    UpdateWindow(w.Wnd());
    EXPECT_EQ(GetPixel(dc, 75, 51), static_cast<COLORREF>(clRed));
    EXPECT_EQ(GetPixel(dc, 75, 48), RGB(255, 255, 255));

    // Dragging leaves no handle pixels behind at the old place.
    w.Page->SetSnap(false);
    w.Click(75, 70);
    UpdateWindow(w.Wnd());
    w.Down(75, 70);
    w.Move(95, 100);
    UpdateWindow(w.Wnd());
    EXPECT_EQ(GetPixel(dc, 75, 48), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(dc, 95, 81), RGB(0, 255, 255));
    w.Up(95, 100);

    // The rubber band is drawn while it runs and gone after it.
    w.Click(300, 250);
    UpdateWindow(w.Wnd());
    auto bandPixels = [&] {
        int changed = 0;
        for (int x = 200; x < 280; ++x)
            if (GetPixel(dc, x, 200) != RGB(255, 255, 255))
                ++changed;
        return changed;
    };
    w.Down(200, 200);
    w.Move(280, 240);
    UpdateWindow(w.Wnd());
    EXPECT_GT(bandPixels(), 0);
    w.Up(280, 240);
    UpdateWindow(w.Wnd());
    EXPECT_EQ(bandPixels(), 0);

    // Without pages, only the background.
    w.View->GetProject()->Clear();
    EXPECT_TRUE(w.Selection()->IsEmpty());
    w.View->Invalidate();
    UpdateWindow(w.Wnd());
    EXPECT_EQ(GetPixel(dc, 75, 70), RGB(128, 128, 128));
    EXPECT_EQ(GetPixel(dc, 10, 10), RGB(128, 128, 128));
}

TEST(SheetfoldView, RepaintRequestsOutsideTheClientOnlyCoverHandleChanges)
{
    TViewWindow w;
    auto* a = w.AddRect(50, 50, 50, 40);
    UpdateWindow(w.Wnd());
    RECT update{};
    w.View->InvalidateLogicalRect(RECT{50000, 50000, 60000, 60000});
    EXPECT_FALSE(GetUpdateRect(w.Wnd(), &update, FALSE));
    w.Selection()->Add(a);
    UpdateWindow(w.Wnd());
    // The element moves off the client: the request covers the old and new handle areas only.
    a->SetBounds(50000, 50000, 500, 400);
    ASSERT_TRUE(GetUpdateRect(w.Wnd(), &update, FALSE));
    EXPECT_LE(update.left, 50 - SelectionGeometry::UpdateMargin);
    UpdateWindow(w.Wnd());
    w.View->InvalidateLogicalRect(RECT{50000, 50000, 60000, 60000});
    EXPECT_FALSE(GetUpdateRect(w.Wnd(), &update, FALSE));
}

TEST(SheetfoldView, FreeingTheViewWithASelectionAndReplacingTheProject)
{
    {
        TViewWindow w;
        w.Click(0, 0);
        auto* a = w.AddRect(50, 50, 50, 40);
        w.Click(60, 60);
        ASSERT_EQ(w.Selected(), std::vector<TLayerElement*>{a});
        TSheetfoldProject* old = w.View->GetProject();
        auto* other = New<TSheetfoldProject>();
        w.View->SetProject(other);
        EXPECT_TRUE(w.Selection()->IsEmpty());
        EXPECT_EQ(other->GetView(), w.View);
        EXPECT_EQ(old->GetView(), nullptr);
        old->Free();
        w.Page = New<TSheetfoldPage>(other);
        auto* b = w.AddRect(10, 10, 20, 20);
        w.Click(15, 15);
        ASSERT_EQ(w.Selected(), std::vector<TLayerElement*>{b});
    }
    SUCCEED();
}

TEST(SheetfoldView, ScrollBarsFollowThePaperButNotEveryMovedElement)
{
    TViewWindow w;
    w.View->SetScrolling(true);
    w.View->UpdateScrollPos();
    auto range = [&](int bar) {
        SCROLLINFO info{};
        info.cbSize = sizeof(info);
        info.fMask = SIF_RANGE;
        GetScrollInfo(w.Wnd(), bar, &info);
        return info.nMax;
    };
    int portraitWidth = range(SB_HORZ);
    int portraitHeight = range(SB_VERT);
    EXPECT_LT(portraitWidth, portraitHeight);
    w.Page->SetLandscape(true);
    EXPECT_GT(range(SB_HORZ), range(SB_VERT));
    EXPECT_NE(range(SB_HORZ), portraitWidth);
    auto* a = w.AddRect(10, 10, 10, 10);
    a->SetLeft(90000);
    EXPECT_GT(range(SB_HORZ), range(SB_VERT));
}

TEST(SheetfoldView, DraggingSeveralElementsRepaintsWhereEachWasAndIs)
{
    TViewWindow w;
    w.View->SetBackgroundColor(clGray);
    w.Page->SetSnap(false);
    struct TCase {
        int X, Y, W, H;
        TColor Color;
    };
    const TCase cases[] = {{50, 50, 50, 40, clRed}, {150, 60, 30, 30, clBlue}, {60, 200, 20, 20, clLime}};
    for (const TCase& c : cases) {
        auto* e = w.AddRect(c.X, c.Y, c.W, c.H);
        e->SetColor(c.Color);
        w.Selection()->Add(e);
    }
    UpdateWindow(w.Wnd());
    // Two moves, painted after each: the second starts from what the first painted.
    w.Down(60, 60);
    w.Move(90, 40);
    UpdateWindow(w.Wnd());
    w.Move(100, 30);
    UpdateWindow(w.Wnd());
    w.Up(100, 30);
    UpdateWindow(w.Wnd());
    TWindowDC windowDC(w.Wnd());
    for (const TCase& c : cases) {
        // Moved by (40, -30): the old bottom-left corner is page again, the new centre is the element.
        EXPECT_EQ(GetPixel(windowDC.Get(), c.X + 2, c.Y + c.H - 2), RGB(255, 255, 255)) << c.X;
        EXPECT_EQ(GetPixel(windowDC.Get(), c.X + 40 + c.W / 2, c.Y - 30 + c.H / 2), static_cast<COLORREF>(c.Color))
            << c.X;
    }
}
