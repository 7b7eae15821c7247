// Dockable windows docked and floating in real windows: the docked frame and its hit codes, the
// floating form's hit codes, the double-click rule, closing, visibility while the application is
// inactive, the owner's window going away, and saved positions read back whatever they hold.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "DockTestSupport.h"
#include "ToolbarTestSupport.h"
#include "platform/ScopeGuards.h"
#include "platform/Filer.h"
#include "platform/Streams.h"
#include "toolbar/TBFloatingWindow.h"
#include "toolbar/TBHook.h"
#include "toolbar/TBPositions.h"

namespace {

class TBDockable : public testing::Test {
protected:
    void SetUp() override
    {
        FForm = &TDockForm::Shared();
        FForm->Clear();
    }
    void TearDown() override { FForm->Clear(); }

    static LRESULT HitAt(HWND wnd, POINT screen)
    {
        return SendMessageA(wnd, WM_NCHITTEST, 0, MAKELPARAM(screen.x, screen.y));
    }

    TDockForm* FForm = nullptr;
};

TEST_F(TBDockable, DockedFrameSizes)
{
    struct TCase {
        TTBDragHandleStyle Style;
        bool CloseButton;
        bool AllowDrag;
        TTBDockPosition Position;
        SIZE Expected;
    };
    const TCase cases[] = {
        {dhNone, false, true, dpTop, {4, 4}},     {dhSingle, false, true, dpTop, {10, 4}},
        {dhDouble, false, true, dpTop, {13, 4}},  {dhNone, true, true, dpTop, {18, 4}},
        {dhSingle, true, true, dpLeft, {4, 18}},  {dhDouble, false, true, dpRight, {4, 13}},
        {dhDouble, true, false, dpTop, {4, 4}},
    };
    TFakeBar* bar = FForm->Bar(dpTop, 0, 0);
    for (const TCase& c : cases) {
        TTBDock* dock = FForm->Dock(c.Position);
        dock->SetAllowDrag(c.AllowDrag);
        bar->SetDragHandleStyle(c.Style);
        bar->SetCloseButtonWhenDocked(c.CloseButton);
        SIZE size = bar->GetDockedNCAreaSize(dock);
        EXPECT_EQ(size.cx, c.Expected.cx) << c.Style << c.CloseButton << c.AllowDrag << c.Position;
        EXPECT_EQ(size.cy, c.Expected.cy) << c.Style << c.CloseButton << c.AllowDrag << c.Position;
        dock->SetAllowDrag(true);
    }
    EXPECT_EQ(bar->GetDockedNCAreaSize(nullptr).cx, 0);
}

TEST_F(TBDockable, DockedHitCodesAndCursor)
{
    TFakeBar* bar = FForm->Bar(dpTop, 0, 0);
    bar->SetDragHandleStyle(dhNone);
    HWND wnd = bar->GetHandle();
    RECT window{}, client{};
    GetWindowRect(wnd, &window);
    GetClientRect(wnd, &client);
    EXPECT_EQ(client.right, window.right - window.left - 4);
    EXPECT_EQ(client.bottom, window.bottom - window.top - 4);
    EXPECT_EQ(HitAt(wnd, POINT{window.left + 1, window.top + 10}), HT_TB2K_DOCKED);
    EXPECT_EQ(HitAt(wnd, POINT{window.left + 10, window.top + 10}), HTCLIENT);
    // No handle: the frame gives no moving cursor.
    HCURSOR sizeAll = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_SIZEALL));
    SetCursorPos(window.left + 1, window.top + 10);
    SetCursor(nullptr);
    SendMessageA(wnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(wnd), MAKELPARAM(HT_TB2K_DOCKED, WM_MOUSEMOVE));
    EXPECT_NE(GetCursor(), sizeAll);

    bar->SetDragHandleStyle(dhSingle);
    bar->SetCloseButtonWhenDocked(true);
    GetWindowRect(wnd, &window);
    GetClientRect(wnd, &client);
    EXPECT_EQ(client.right, window.right - window.left - 18);
    RECT close = bar->DockedCloseButtonBounds(false);
    EXPECT_EQ(HitAt(wnd, POINT{window.left + close.left + 2, window.top + close.top + 2}), HT_TB2K_CLOSE);
    EXPECT_EQ(HitAt(wnd, POINT{window.left + 5, window.bottom - 3}), HT_TB2K_DOCKED);
    SetCursorPos(window.left + 5, window.bottom - 3);
    SendMessageA(wnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(wnd), MAKELPARAM(HT_TB2K_DOCKED, WM_MOUSEMOVE));
    EXPECT_EQ(GetCursor(), sizeAll);
}

TEST_F(TBDockable, FloatingHitCodes)
{
    TFakeBar* bar = FForm->Bar(dpTop, 0, 0, 8);
    bar->Thickness = 60;
    bar->SetResizable(true);
    bar->SetFloatPoint(POINT{200, 200});
    bar->SetFloating(true);
    TTBFloatingWindowParent* form = bar->GetFloatForm();
    ASSERT_NE(form, nullptr);
    HWND wnd = form->GetHandle();
    RECT r{};
    GetWindowRect(wnd, &r);
    SIZE border = bar->QueryFloatingBorder();
    RECT caption = form->CaptionRect(true);
    RECT close = form->CloseButtonRect();
    int midX = (r.left + r.right) / 2, midY = (r.top + r.bottom) / 2;
    struct TCase {
        const char* Name;
        POINT At;
        uint8_t EdgeOptions;
        LRESULT Expected;
    };
    const TCase cases[] = {
        {"caption", {r.left + caption.left + 4, r.top + caption.top + 3}, 3, HT_TB2K_CAPTION},
        {"close button", {r.left + close.left + 3, r.top + close.top + 3}, 3, HT_TB2K_CLOSE},
        {"client", {midX, r.bottom - border.cy - 3}, 3, HTCLIENT},
        {"left edge", {r.left, midY + 5}, 3, HTLEFT},
        {"right edge", {r.right - 1, midY + 5}, 3, HTRIGHT},
        {"bottom edge", {midX, r.bottom - 1}, 3, HTBOTTOM},
        {"top edge", {midX, r.top}, 3, HTTOP},
        {"top-left corner", {r.left, r.top}, 3, HTTOPLEFT},
        {"bottom edge near the right", {r.right - 5, r.bottom - 1}, 3, HTBOTTOMRIGHT},
        {"left edge near the bottom", {r.left, r.bottom - 5}, 3, HTBOTTOMLEFT},
        {"no corners without the option", {r.right - 5, r.bottom - 1}, 2, HTBOTTOM},
    };
    for (const TCase& c : cases) {
        bar->SizeEdgeOptions = c.EdgeOptions;
        EXPECT_EQ(HitAt(wnd, c.At), c.Expected) << c.Name;
    }
    bar->SizeEdgeOptions = 3;
    bar->SetResizable(false);
    wnd = form->GetHandle();
    GetWindowRect(wnd, &r);
    EXPECT_EQ(HitAt(wnd, POINT{r.left, (r.top + r.bottom) / 2 + 5}), HTBORDER);
    EXPECT_EQ(HitAt(wnd, POINT{r.left, r.top}), HTBORDER);
}

TEST_F(TBDockable, FloatingFormFollowsTheWindow)
{
    TFakeBar* bar = FForm->Bar(dpTop, 0, 0, 5);
    bar->SetCaption(L"Tools \u00e9");
    bar->SetFloatPoint(POINT{150, 160});
    bar->SetFloating(true);
    TTBFloatingWindowParent* form = bar->GetFloatForm();
    ASSERT_NE(form, nullptr);
    HWND wnd = form->GetHandle();
    EXPECT_TRUE(IsWindowVisible(wnd));
    EXPECT_EQ(form->GetCaption(), L"Tools \u00e9");
    EXPECT_EQ(form->GetOwnerForm(), FForm->Form());
    EXPECT_EQ(GetWindow(wnd, GW_OWNER), FForm->Form()->GetHandle());
    EXPECT_EQ(GetWindowLongPtrA(wnd, GWL_EXSTYLE) & WS_EX_TOOLWINDOW, WS_EX_TOOLWINDOW);
    RECT r{}, client{};
    GetWindowRect(wnd, &r);
    GetClientRect(wnd, &client);
    EXPECT_EQ(r.left, 150);
    EXPECT_EQ(r.top, 160);
    EXPECT_EQ(client.right, 100);
    EXPECT_EQ(client.bottom, 20);
    EXPECT_EQ(bar->GetWidth(), 100);
    // Clicking it never takes the activation; Escape gives the focus back to the form.
    EXPECT_EQ(SendMessageA(wnd, WM_MOUSEACTIVATE, reinterpret_cast<WPARAM>(wnd), MAKELPARAM(HTCLIENT, WM_LBUTTONDOWN)),
              MA_NOACTIVATE);
    EXPECT_EQ(form->Perform(CM_DIALOGKEY, VK_ESCAPE, 0), 1);
    // Contents growing grow the form.
    bar->Blocks = 7;
    bar->Arrange();
    GetWindowRect(wnd, &r);
    GetClientRect(wnd, &client);
    EXPECT_EQ(client.right, 140);
    // Off the screen it is brought back; while it still touches the work area it stays put when asked to.
    RECT work{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    bar->SetFloatPoint(POINT{work.right - 20, 300});
    bar->FitToScreen(true);
    EXPECT_EQ(form->GetLeft(), work.right - 20);
    bar->SetFloatPoint(POINT{work.right + 500, work.bottom + 500});
    bar->FitToScreen(true);
    GetWindowRect(wnd, &r);
    EXPECT_EQ(r.right, work.right);
    EXPECT_EQ(r.bottom, work.bottom);
}

TEST_F(TBDockable, DoubleClickRule)
{
    TTBDock* top = FForm->Dock(dpTop);
    TFakeBar* first = FForm->Bar(dpTop, 0, 0);
    TFakeBar* bar = FForm->Bar(dpTop, 0, 200);
    HWND wnd = bar->GetHandle();
    auto doubleClickDocked = [&] {
        SendMessageA(bar->GetHandle(), WM_NCLBUTTONDBLCLK, HT_TB2K_DOCKED, 0);
        PumpMessages();
    };
    auto doubleClickCaption = [&] {
        SendMessageA(bar->GetFloatForm()->GetHandle(), WM_NCLBUTTONDBLCLK, HT_TB2K_CAPTION, 0);
        PumpMessages();
    };
    bar->SetDockMode(dmCannotFloat);
    doubleClickDocked();
    EXPECT_TRUE(bar->GetDocked());
    bar->SetDockMode(dmCanFloat);
    bar->SetDblClickUndock(false);
    doubleClickDocked();
    EXPECT_TRUE(bar->GetDocked());
    bar->SetDblClickUndock(true);
    doubleClickDocked();
    ASSERT_TRUE(bar->GetFloating());
    EXPECT_EQ(bar->GetHandle(), wnd);  // the window moved with its handle
    // Floating with a last dock: back to it.
    doubleClickCaption();
    EXPECT_EQ(bar->GetCurrentDock(), top);
    // Without a last dock, to the default dock, before everything in row 0.
    doubleClickDocked();
    ASSERT_TRUE(bar->GetFloating());
    bar->SetUseLastDock(false);
    bar->SetDefaultDock(FForm->Dock(dpBottom));
    TFakeBar* other = FForm->Bar(dpBottom, 0, 0);
    doubleClickCaption();
    EXPECT_EQ(bar->GetCurrentDock(), FForm->Dock(dpBottom));
    EXPECT_EQ(bar->GetLeft(), 0);
    EXPECT_EQ(bar->PlacedRow, 0);
    EXPECT_EQ(other->PlacedRow, 0);
    EXPECT_EQ(other->GetLeft(), bar->GetWidth());
    EXPECT_EQ(first->GetLeft(), 0);
}

TEST_F(TBDockable, CloseAsksFirst)
{
    TFakeBar* bar = FForm->Bar(dpTop, 0, 0);
    std::vector<std::string> events;
    bool allow = false;
    bar->OnCloseQuery = [&](TObject*, bool& canClose) {
        events.push_back("query");
        canClose = allow;
    };
    bar->OnClose = [&](TObject*) { events.push_back("close"); };
    bar->Close();
    EXPECT_TRUE(bar->GetVisible());
    EXPECT_EQ(FForm->Dock(dpTop)->GetDockedCount(), 1);
    allow = true;
    // Closing through the floating form's close button: pressed, released over it.
    bar->SetFloating(true);
    HWND wnd = bar->GetFloatForm()->GetHandle();
    RECT r{};
    GetWindowRect(wnd, &r);
    RECT close = bar->GetFloatForm()->CloseButtonRect();
    POINT over{r.left + close.left + 3, r.top + close.top + 3};
    SetCursorPos(over.x, over.y);
    bool pressedShown = false;
    ASSERT_TRUE(RunScripted([&] { SendMessageA(wnd, WM_NCLBUTTONDOWN, HT_TB2K_CLOSE, MAKELPARAM(over.x, over.y)); },
                            {[&] { pressedShown = bar->GetFloatForm()->GetCloseButtonPressed(); },
                             [&] { ReleaseButton(over); }}));
    EXPECT_TRUE(pressedShown);
    EXPECT_EQ(events, (std::vector<std::string>{"query", "query", "close"}));
    EXPECT_FALSE(bar->GetVisible());
    EXPECT_FALSE(IsWindowVisible(wnd));
}

TEST_F(TBDockable, FloatingWindowHidesWhileTheApplicationIsInactive)
{
    TFakeBar* bar = FForm->Bar(dpTop, 0, 0);
    bar->SetFloating(true);
    bar->SetHideWhenInactive(true);
    HWND formWnd = FForm->Form()->GetHandle();
    HWND wnd = bar->GetFloatForm()->GetHandle();
    SendMessageA(formWnd, WM_ACTIVATEAPP, FALSE, 0);
    EXPECT_FALSE(IsWindowVisible(wnd));
    SendMessageA(formWnd, WM_ACTIVATEAPP, TRUE, 0);
    EXPECT_TRUE(IsWindowVisible(wnd));
    bar->SetHideWhenInactive(false);
    SendMessageA(formWnd, WM_ACTIVATEAPP, FALSE, 0);
    EXPECT_TRUE(IsWindowVisible(wnd));
    // Hidden by its own Visible, it stays hidden when the application comes back.
    bar->Hide();
    EXPECT_FALSE(IsWindowVisible(wnd));
    SendMessageA(formWnd, WM_ACTIVATEAPP, TRUE, 0);
    EXPECT_FALSE(IsWindowVisible(wnd));
}

bool Above(HWND a, HWND b)
{
    for (HWND w = GetTopWindow(nullptr); w; w = GetWindow(w, GW_HWNDNEXT)) {
        if (w == a)
            return true;
        if (w == b)
            return false;
    }
    return false;
}

// Shown again, a floating window goes above the windows its owner showed while it was hidden,
// as a window newly shown by the owner would.
TEST_F(TBDockable, AFloatingWindowShownAgainGoesAboveItsOwnersWindows)
{
    TFakeBar* bar = FForm->Bar(dpTop, 0, 0);
    bar->SetFloating(true);
    HWND formWnd = FForm->Form()->GetHandle();
    HWND wnd = bar->GetFloatForm()->GetHandle();
    const struct {
        const char* Name;
        std::function<void()> Hide;
        std::function<void()> Show;
    } cases[] = {
        {"hidden and shown by hand", [bar] { bar->Hide(); }, [bar] { bar->Show(); }},
        {"hidden while the application was inactive", [bar, formWnd] {
             bar->SetHideWhenInactive(true);
             SendMessageA(formWnd, WM_ACTIVATEAPP, FALSE, 0);
         },
         [bar, formWnd] {
             SendMessageA(formWnd, WM_ACTIVATEAPP, TRUE, 0);
             bar->SetHideWhenInactive(false);
         }},
    };
    for (const auto& c : cases) {
        c.Hide();
        ASSERT_FALSE(IsWindowVisible(wnd)) << c.Name;
        // Another window of the owner, shown meanwhile, stands above the hidden one.
        TWindowHandle other(CreateWindowExA(WS_EX_TOOLWINDOW, "STATIC", "", WS_POPUP, 400, 400, 50, 50, formWnd,
                                            nullptr, GetModuleHandleA(nullptr), nullptr));
        SetWindowPos(other.Get(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
        ASSERT_TRUE(Above(other.Get(), wnd)) << c.Name;
        c.Show();
        EXPECT_TRUE(IsWindowVisible(wnd)) << c.Name;
        EXPECT_TRUE(Above(wnd, other.Get())) << c.Name;
        EXPECT_TRUE(Above(wnd, formWnd)) << c.Name;
    }
}

// The thread's window hooks serve floating windows only, and every message the thread sends passes
// through them: they are there exactly while some window floats.
TEST_F(TBDockable, ThreadHooksOnlyWhileAWindowFloats)
{
    const int before = InstalledWindowHookCount();
    TFakeBar* first = FForm->Bar(dpTop, 0, 0);
    TFakeBar* second = FForm->Bar(dpTop, 0, 1);
    struct TStep {
        const char* What;
        std::function<void()> Do;
        int Added;
    };
    const TStep steps[] = {
        {"both docked", [] {}, 0},
        {"one floats", [&] { first->SetFloating(true); }, 2},
        {"both float", [&] { second->SetFloating(true); }, 2},
        {"one docks again", [&] { first->SetFloating(false); }, 2},
        {"the other docks", [&] { second->SetFloating(false); }, 0},
        {"floats again", [&] { second->SetFloating(true); }, 2},
    };
    for (const TStep& step : steps) {
        step.Do();
        EXPECT_EQ(InstalledWindowHookCount(), before + step.Added) << step.What;
    }
    // Still hooked, the floating window follows the application's activation.
    second->SetHideWhenInactive(true);
    HWND floatWnd = second->GetFloatForm()->GetHandle();
    SendMessageA(FForm->Form()->GetHandle(), WM_ACTIVATEAPP, FALSE, 0);
    EXPECT_FALSE(IsWindowVisible(floatWnd));
    SendMessageA(FForm->Form()->GetHandle(), WM_ACTIVATEAPP, TRUE, 0);
    EXPECT_TRUE(IsWindowVisible(floatWnd));
    FForm->Clear();
    EXPECT_EQ(InstalledWindowHookCount(), before) << "freed while floating";
}

TEST_F(TBDockable, FloatingFormOutlivesTheWindowOfItsOwner)
{
    std::unique_ptr<TComponent, TObjectFree> owner(New<TComponent>(nullptr));
    TForm* other = New<TForm>(nullptr);
    other->SetBorderStyle(bsNone);
    other->HandleNeeded();
    TTBDock* dock = New<TTBDock>(other);
    dock->SetParent(other);
    TFakeBar* bar = New<TFakeBar>(owner.get());
    bar->SetResizable(false);
    bar->SetHideWhenInactive(false);
    bar->SetFloatingMode(fmOnTopOfAllForms);
    bar->SetParent(dock);
    bar->SetFloating(true);
    HWND floatWnd = bar->GetFloatForm()->GetHandle();
    EXPECT_EQ(GetWindow(floatWnd, GW_OWNER), other->GetHandle());
    other->Free();
    EXPECT_TRUE(IsWindow(floatWnd));
    EXPECT_EQ(GetWindow(floatWnd, GW_OWNER), Application->GetHandle());
    EXPECT_EQ(bar->GetFloatForm()->GetOwnerForm(), nullptr);
    EXPECT_EQ(bar->GetLastDock(), nullptr);
    owner.reset();
    PumpMessages();
    EXPECT_FALSE(IsWindow(floatWnd));
}

TEST_F(TBDockable, AltF4OnAFloatingWindowMeansItsForm)
{
    TFakeBar* bar = FForm->Bar(dpTop, 0, 0);
    bar->SetFloating(true);
    int asked = 0;
    FForm->Form()->OnCloseQuery = [&](TObject*, bool& canClose) {
        ++asked;
        canClose = false;
    };
    SendMessageA(bar->GetFloatForm()->GetHandle(), WM_CLOSE, 0, 0);
    PumpMessages();
    FForm->Form()->OnCloseQuery = nullptr;
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(bar->GetVisible());
}

// ---- saved positions

class TBPositions : public TBDockable {
protected:
    // A stream of sections as TBStorePositions writes them, built by hand.
    static void WriteSection(TWriter& w, const std::string& name, const std::vector<std::pair<std::string, TValueType>>& keys,
                             const std::vector<std::string>& values)
    {
        w.WriteStr(name);
        w.WriteListBegin();
        for (size_t i = 0; i < keys.size(); ++i) {
            w.WriteStr(keys[i].first);
            if (keys[i].second == vaString)
                w.WriteString(values[i]);
            else
                w.WriteInteger(std::stoi(values[i]));
        }
        w.WriteListEnd();
    }
};

TEST_F(TBPositions, RoundTrip)
{
    TFakeBar* a = FForm->Bar(dpTop, 0, 0);
    TFakeBar* b = FForm->Bar(dpTop, 0, 150);
    TFakeBar* c = FForm->Bar(dpLeft, 1, 20);
    TFakeBar* d = FForm->Bar(dpBottom, 0, 0);
    a->SetName("BarA");
    b->SetName("BarB");
    c->SetName("BarC");
    d->SetName("BarD");
    b->SetFloatPoint(POINT{220, 230});
    b->SetFloating(true);
    d->Hide();
    TMemoryStream stream;
    TBStorePositions(FForm->Form(), &stream);

    // Everything moved elsewhere, then read back.
    a->SetParent(FForm->Dock(dpRight));
    b->SetParent(FForm->Dock(dpTop));
    c->SetParent(FForm->Dock(dpTop));
    d->Show();
    stream.SetPosition(0);
    TBLoadPositions(FForm->Form(), &stream);
    EXPECT_EQ(a->GetCurrentDock(), FForm->Dock(dpTop));
    EXPECT_EQ(a->GetLeft(), 0);
    ASSERT_TRUE(b->GetFloating());
    EXPECT_EQ(b->GetFloatForm()->GetLeft(), 220);
    EXPECT_EQ(b->GetFloatForm()->GetTop(), 230);
    EXPECT_EQ(c->GetCurrentDock(), FForm->Dock(dpLeft));
    EXPECT_EQ(c->GetTop(), 20);
    EXPECT_EQ(d->GetCurrentDock(), FForm->Dock(dpBottom));
    EXPECT_FALSE(d->GetVisible());
}

TEST_F(TBPositions, BadStateLoadsIntoAUsableLayout)
{
    TFakeBar* a = FForm->Bar(dpTop, 0, 0);
    TFakeBar* b = FForm->Bar(dpTop, 0, 100);
    TFakeBar* c = FForm->Bar(dpTop, 0, 200);
    TFakeBar* e = FForm->Bar(dpTop, 0, 300);
    a->SetName("BarA");
    b->SetName("BarB");
    c->SetName("BarC");
    e->SetName("BarE");
    c->SetDockableTo(DockPositionSet(dpTop) | DockPositionSet(dpBottom));
    TMemoryStream stream;
    {
        TWriter w(&stream);
        w.WriteListBegin();
        // Floating far off every monitor.
        WriteSection(w, "BarA", {{"Floating", vaInt32}, {"FloatLeft", vaInt32}, {"FloatTop", vaInt32}},
                     {"1", "-2000000000", "2000000000"});
        // A dock nobody has, huge and negative figures.
        WriteSection(w, "BarB", {{"DockedTo", vaString}, {"DockRow", vaInt32}, {"DockPos", vaInt32}},
                     {"NoSuchDock", "2000000000", "-77"});
        // A dock that refuses the window.
        WriteSection(w, "BarC", {{"DockedTo", vaString}, {"DockRow", vaInt32}}, {FForm->Dock(dpLeft)->GetName(), "-3"});
        WriteSection(w, "Unknown", {{"Visible", vaInt32}}, {"0"});
        // Values of the wrong kind are passed over.
        WriteSection(w, "BarE", {{"Visible", vaString}, {"DockPos", vaString}}, {"no", "far"});
        w.WriteListEnd();
    }
    stream.SetPosition(0);
    TBLoadPositions(FForm->Form(), &stream);

    ASSERT_TRUE(a->GetFloating());
    RECT work{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    RECT r = a->GetFloatForm()->GetBoundsRect();
    EXPECT_GE(r.left, work.left);
    EXPECT_GE(r.top, work.top);
    EXPECT_LE(r.right, work.right);
    EXPECT_LE(r.bottom, work.bottom);
    EXPECT_TRUE(IsWindowVisible(a->GetFloatForm()->GetHandle()));
    EXPECT_EQ(b->GetCurrentDock(), FForm->Dock(dpTop));
    EXPECT_GE(b->GetDockPos(), -1);
    EXPECT_LE(b->GetDockRow(), 1000);
    EXPECT_EQ(c->GetCurrentDock(), FForm->Dock(dpTop));
    EXPECT_EQ(c->GetDockRow(), 0);
    EXPECT_TRUE(e->GetVisible());
    EXPECT_EQ(e->GetDockPos(), 300);
    for (TFakeBar* bar : {b, c, e}) {
        EXPECT_TRUE(bar->GetVisible());
        EXPECT_GT(bar->GetWidth(), 0);
        EXPECT_LT(bar->PlacedRow, 3);
    }
}

TEST_F(TBPositions, DamagedStreamKeepsWhatCameBeforeTheDamage)
{
    TFakeBar* a = FForm->Bar(dpTop, 0, 0);
    TFakeBar* b = FForm->Bar(dpTop, 0, 100);
    a->SetName("BarA");
    b->SetName("BarB");
    a->SetParent(FForm->Dock(dpBottom));
    b->SetParent(FForm->Dock(dpBottom));
    TMemoryStream good;
    TBStorePositions(FForm->Form(), &good);
    a->SetParent(FForm->Dock(dpTop));
    b->SetParent(FForm->Dock(dpTop));
    // Cut the stream inside b's section at every length; garbage after it; and nothing at all.
    std::string bytes(static_cast<size_t>(good.GetSize()), '\0');
    good.SetPosition(0);
    good.ReadBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
    size_t bStart = bytes.find("BarB");
    ASSERT_NE(bStart, std::string::npos);
    for (size_t cut = 0; cut < bytes.size(); ++cut) {
        a->SetParent(FForm->Dock(dpTop));
        b->SetParent(FForm->Dock(dpTop));
        std::string damaged = bytes.substr(0, cut) + (cut % 2 ? std::string("\x17\xff\xff\x7f", 4) : std::string());
        TMemoryStream stream;
        stream.WriteBuffer(damaged.data(), static_cast<int32_t>(damaged.size()));
        stream.SetPosition(0);
        ASSERT_NO_THROW(TBLoadPositions(FForm->Form(), &stream)) << cut;
        bool aComplete = cut > bStart;
        if (aComplete) {
            EXPECT_EQ(a->GetCurrentDock(), FForm->Dock(dpBottom)) << cut;
        }
        for (TFakeBar* bar : {a, b}) {
            EXPECT_TRUE(bar->GetVisible()) << cut;
            EXPECT_TRUE(bar->GetDocked()) << cut;
        }
    }
}

} // namespace
