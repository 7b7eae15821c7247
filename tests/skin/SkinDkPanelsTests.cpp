// Dockable side panels: how a multi-dock shares its length (ties, minimums, maximums), how a
// boundary moves between neighbours, the panel's size rules, the controls a multi-dock refuses,
// the frame's hit codes, the edge and splitter loops driven by scripted mouse input, and a panel's
// whole life repeated without leaking.
#include <gtest/gtest.h>

#include <map>
#include <numeric>
#include <random>

#include "ScriptedInput.h"
#include "SkinRecordingTheme.h"
#include "SkinControlsTestSupport.h"
#include "SkinTestSupport.h"
#include "TestSupport.h"
#include "platform/Geometry.h"
#include "platform/StdCtrls.h"
#include "skin/Skin.h"
#include "skin/SkinDkPanels.h"
#include "skin/SkinDock.h"

namespace {

std::vector<int> Sizes(const std::vector<TSkinSplitEntry>& entries)
{
    std::vector<int> sizes;
    for (const TSkinSplitEntry& e : entries)
        sizes.push_back(e.Size);
    return sizes;
}

// A panel whose floating frame has a border the test chooses, as a visual style would give it.
class TBorderedPanel : public TSkinDockablePanel {
public:
    using TSkinDockablePanel::TSkinDockablePanel;
    SIZE QueryFloatingBorder() override { return Border; }
    SIZE Border{3, 3};
};

TSkinFloatingWindowParent* FloatFormOf(TSkinDockablePanel* panel)
{
    return dynamic_cast<TSkinFloatingWindowParent*>(panel->GetFloatForm());
}

POINT Centre(const RECT& r)
{
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

// A point on a docked panel's caption, away from its close button.
POINT CaptionPoint(TWinControl* panel)
{
    RECT r{};
    GetWindowRect(panel->GetHandle(), &r);
    return POINT{r.left + 20, r.top + 2 + GetSystemMetrics(SM_CYSMCAPTION) / 2};
}

// Moves in a few steps to `to` and releases there.
std::vector<std::function<void()>> DragTo(POINT from, POINT to)
{
    std::vector<std::function<void()>> steps;
    for (int i = 1; i <= 3; ++i)
        steps.push_back([=] { MoveMouse(POINT{from.x + (to.x - from.x) * i / 3, from.y + (to.y - from.y) * i / 3}); });
    steps.push_back([=] { ReleaseButton(to); });
    return steps;
}

// A left multi-dock on the shared host form, as tall as the form.
class SkinDkPanels : public testing::Test {
protected:
    void SetUp() override
    {
        THostForm::Clear();
        FDock = New<TSkinMultiDock>(THostForm::Form());
        FDock->SetPosition(dpLeft);
        FDock->SetParent(THostForm::Form());
        FDock->HandleNeeded();
    }
    void TearDown() override { THostForm::Clear(); }

    TSkinDockablePanel* Panel(int pos, int splitHeight = 0)
    {
        auto* panel = New<TSkinDockablePanel>(THostForm::Form());
        // A floating form with a sizing frame is one Wine waits for when it hides.
        panel->SetResizable(false);
        panel->SetCaption(L"Panel");
        panel->SetDockPos(pos);
        panel->SetSplitHeight(splitHeight);
        panel->SetParent(FDock);
        panel->HandleNeeded();
        PumpMessages();
        return panel;
    }
    static RECT WindowRect(TWinControl* control)
    {
        RECT r{};
        GetWindowRect(control->GetHandle(), &r);
        return r;
    }
    // Floats the panel with its form's corner at `at`; the form it floats in.
    static TSkinFloatingWindowParent* FloatAt(TSkinDockablePanel* panel, POINT at)
    {
        panel->SetFloatPoint(at);
        panel->SetFloating(true);
        return FloatFormOf(panel);
    }
    static RECT WorkAreaOf(TWinControl* control)
    {
        MONITORINFO monitor{};
        monitor.cbSize = sizeof(monitor);
        GetMonitorInfoA(MonitorFromWindow(control->GetHandle(), MONITOR_DEFAULTTONEAREST), &monitor);
        return monitor.rcWork;
    }
    static LRESULT HitAt(TWinControl* control, POINT p)
    {
        return SendMessageA(control->GetHandle(), WM_NCHITTEST, 0, MAKELPARAM(p.x, p.y));
    }
    // Presses the left button on a non-client hit code at p and runs the loop that follows with
    // the script.
    static bool Drag(TWinControl* control, int hitCode, POINT p, std::vector<std::function<void()>> script)
    {
        SetCursorPos(p.x, p.y);
        return RunScripted(
            [&] { SendMessageA(control->GetHandle(), WM_NCLBUTTONDOWN, hitCode, MAKELPARAM(p.x, p.y)); },
            std::move(script));
    }

    TSkinMultiDock* FDock = nullptr;
};

} // namespace

TEST(SkinSplitLength, SharesTheDifferenceEquallyWithTiesToEvenWithinBounds)
{
    struct TCase {
        const char* Name;
        std::vector<TSkinSplitEntry> Entries;
        int Length;
        std::vector<int> Expected;
    } cases[] = {
        {"sums that match stay", {{32, 600, 378}, {32, 600, 252}}, 630, {378, 252}},
        {"grow 5 over two", {{0, 100, 10}, {0, 100, 10}}, 25, {12, 13}},
        {"grow 1 over two", {{0, 100, 10}, {0, 100, 10}}, 21, {10, 11}},
        {"shrink 3 over two", {{0, 100, 10}, {0, 100, 10}}, 17, {8, 9}},
        {"loss shared until one stops at its minimum", {{50, 500, 60}, {20, 500, 100}}, 130, {50, 80}},
        {"gain stops at a maximum", {{0, 40, 30}, {0, 500, 30}}, 100, {40, 60}},
        {"minimums that do not fit", {{50, 500, 60}, {40, 500, 100}}, 60, {50, 40}},
        {"maximums that do not fill", {{0, 40, 10}, {0, 30, 10}}, 300, {40, 30}},
        {"sizes clamped first", {{30, 60, 0}, {10, 500, 900}}, 100, {30, 70}},
        {"three panels, one at its bound", {{0, 500, 100}, {95, 500, 100}, {0, 500, 100}}, 285, {95, 95, 95}},
    };
    for (TCase& c : cases) {
        ShareSplitLength(c.Entries, c.Length);
        EXPECT_EQ(Sizes(c.Entries), c.Expected) << c.Name;
    }

    // Whatever the sizes and bounds, a length between the sums is filled exactly within bounds.
    std::mt19937 random(23);
    for (int round = 0; round < 500; ++round) {
        std::vector<TSkinSplitEntry> entries(1 + random() % 6);
        int sumMin = 0, sumMax = 0;
        for (TSkinSplitEntry& e : entries) {
            e.Min = static_cast<int>(random() % 100);
            e.Max = e.Min + static_cast<int>(random() % 300);
            e.Size = static_cast<int>(random() % 500);
            sumMin += e.Min;
            sumMax += e.Max;
        }
        const int length = sumMin + static_cast<int>(random() % (sumMax - sumMin + 1));
        const std::vector<TSkinSplitEntry> bounds = entries;
        ShareSplitLength(entries, length);
        int sum = 0;
        for (size_t i = 0; i < entries.size(); ++i) {
            EXPECT_GE(entries[i].Size, bounds[i].Min);
            EXPECT_LE(entries[i].Size, bounds[i].Max);
            sum += entries[i].Size;
        }
        ASSERT_EQ(sum, length) << "round " << round;
    }
}

TEST(SkinSplitLength, ABoundaryMovesOnlyAsFarAsBothSidesAllow)
{
    struct TCase {
        const char* Name;
        int Boundary;
        int Delta;
        int Moved;
        std::vector<int> Expected;
    } cases[] = {
        {"down within room", 1, 20, 20, {120, 80, 100}},
        {"up within room", 2, -30, -30, {100, 70, 130}},
        {"the nearer panel takes first", 2, 80, 50, {100, 150, 50}},
        {"the farther panel takes the rest", 2, -80, -80, {70, 50, 180}},
        {"the first panel's minimum holds", 1, -200, -50, {50, 150, 100}},
        {"both sides' limits hold", 2, -500, -100, {50, 50, 200}},
        {"no boundary before the first panel", 0, 30, 0, {100, 100, 100}},
        {"no boundary after the last panel", 3, 30, 0, {100, 100, 100}},
    };
    for (const TCase& c : cases) {
        std::vector<TSkinSplitEntry> entries{{50, 150, 100}, {50, 150, 100}, {50, 200, 100}};
        EXPECT_EQ(MoveSplitBoundary(entries, c.Boundary, c.Delta), c.Moved) << c.Name;
        EXPECT_EQ(Sizes(entries), c.Expected) << c.Name;
        EXPECT_EQ(std::accumulate(entries.begin(), entries.end(), 0,
                                  [](int sum, const TSkinSplitEntry& e) { return sum + e.Size; }),
                  300)
            << c.Name;
    }
}

TEST_F(SkinDkPanels, SizeSettersClampAsTheirRulesSay)
{
    auto* panel = New<TSkinDockablePanel>(THostForm::Form());
    EXPECT_EQ(panel->GetMinClientWidth(), 32);
    EXPECT_EQ(panel->GetDockedWidth(), 128);
    struct TStep {
        const char* Name;
        std::function<void()> Act;
        std::function<int()> Read;
        int Expected;
    } steps[] = {
        {"minimum below 8", [&] { panel->SetMinClientWidth(3); }, [&] { return panel->GetMinClientWidth(); }, 8},
        {"minimum height below 8", [&] { panel->SetMinClientHeight(-4); }, [&] { return panel->GetMinClientHeight(); }, 8},
        {"docked width over the maximum",
         [&] {
             panel->SetMaxClientWidth(300);
             panel->SetDockedWidth(500);
         },
         [&] { return panel->GetDockedWidth(); }, 300},
        {"docked width without a maximum",
         [&] {
             panel->SetMaxClientWidth(0);
             panel->SetDockedWidth(500);
         },
         [&] { return panel->GetDockedWidth(); }, 500},
        {"docked width under the minimum",
         [&] {
             panel->SetMinClientWidth(40);
             panel->SetDockedWidth(10);
         },
         [&] { return panel->GetDockedWidth(); }, 40},
        {"negative floating width", [&] { panel->SetFloatingWidth(-5); }, [&] { return panel->GetFloatingWidth(); }, 40},
        {"negative split height", [&] { panel->SetSplitHeight(-1); }, [&] { return panel->GetSplitHeight(); }, 0},
        {"negative snap distance", [&] { panel->SetSnapDistance(-9); }, [&] { return panel->GetSnapDistance(); }, 0},
    };
    for (const TStep& step : steps) {
        step.Act();
        EXPECT_EQ(step.Read(), step.Expected) << step.Name;
    }

    // Docked, a small floating width is kept as it is: it applies only once the panel floats.
    TSkinDockablePanel* docked = Panel(0);
    docked->SetFloatingWidth(-5);
    EXPECT_EQ(docked->GetFloatingWidth(), 0);
    docked->SetFloatingWidth(3);
    EXPECT_EQ(docked->GetFloatingWidth(), 3);
}

TEST_F(SkinDkPanels, AMultiDockRefusesEveryControlButADockablePanel)
{
    auto* button = New<TButton>(THostForm::Form());
    try {
        button->SetParent(FDock);
        FAIL() << "no exception";
    } catch (const EInvalidOperation& e) {
        EXPECT_EQ(e.GetMessage(), "Cannot insert TButton into TSkinMultiDock");
    }
    EXPECT_EQ(button->GetParent(), nullptr);
    EXPECT_EQ(FDock->GetControlCount(), 0);

    button->SetParent(THostForm::Form());
    EXPECT_THROW(button->SetParent(FDock), EInvalidOperation);
    EXPECT_EQ(button->GetParent(), THostForm::Form());

    TSkinDockablePanel* panel = Panel(0);
    EXPECT_EQ(panel->GetParent(), FDock);
    EXPECT_EQ(SendMessageA(FDock->GetHandle(), TBM_QUERYVIEWTYPE, 0, 0), LRESULT(vtMultiDock));
    EXPECT_EQ(SendMessageA(panel->GetHandle(), TBM_QUERYVIEWTYPE, 0, 0), LRESULT(vtDockPanel));
}

TEST_F(SkinDkPanels, PanelsShareTheDockLengthAndTheDockTakesTheirWidth)
{
    const int length = FDock->GetClientHeight();
    ASSERT_GT(length, 200);
    TSkinDockablePanel* top = Panel(0, 300);
    TSkinDockablePanel* bottom = Panel(1, 100);
    const SIZE nc = top->GetDockedNCAreaSize(FDock);
    EXPECT_EQ(nc.cx, 4);
    EXPECT_EQ(nc.cy, 4 + GetSystemMetrics(SM_CYSMCAPTION));

    // The sizes meet the length; the difference is shared equally.
    const int difference = length - 400;
    EXPECT_EQ(top->GetTop(), 0);
    EXPECT_EQ(top->GetHeight() + bottom->GetHeight(), length);
    EXPECT_NEAR(top->GetHeight(), 300 + difference / 2, 1);
    EXPECT_EQ(bottom->GetTop(), top->GetHeight());
    EXPECT_EQ(top->GetWidth(), 128 + nc.cx);
    EXPECT_EQ(FDock->GetClientWidth(), 128 + nc.cx);

    // A wider panel widens the dock; every panel takes the dock's thickness.
    bottom->SetDockedWidth(200);
    EXPECT_EQ(FDock->GetClientWidth(), 200 + nc.cx);
    EXPECT_EQ(top->GetWidth(), 200 + nc.cx);
    EXPECT_EQ(top->GetDockedWidth(), 128);

    // A hidden panel gives its length to the rest.
    bottom->SetVisible(false);
    EXPECT_EQ(top->GetHeight(), length);

    // The client area sits inside the border and below the caption.
    RECT client{};
    GetClientRect(top->GetHandle(), &client);
    EXPECT_EQ(client.right, top->GetWidth() - nc.cx);
    EXPECT_EQ(client.bottom, top->GetHeight() - nc.cy);
}

// Without the theme's background a multi-dock erases with an assigned background object, else
// with its colour; and it keeps its panels in one row, whatever row they came with.
TEST_F(SkinDkPanels, AMultiDockErasesWithItsBackgroundObjectAndKeepsOneRow)
{
    auto* panel = New<TSkinDockablePanel>(THostForm::Form());
    panel->SetResizable(false);
    panel->SetDockRow(2);
    panel->SetParent(FDock);
    EXPECT_EQ(panel->GetDockRow(), 0);

    FDock->SetUseThemeColor(false);
    FDock->SetColor(TColor(RGB(20, 40, 60)));
    std::unique_ptr<TPlainBackground, TObjectFree> background(New<TPlainBackground>());
    const struct {
        const char* Name;
        TTBBasicBackground* Background;
        COLORREF Expected;
    } cases[] = {
        {"no background object: the colour", nullptr, RGB(20, 40, 60)},
        {"a background object paints", background.get(), background->Color},
    };
    for (const auto& c : cases) {
        FDock->SetBackground(c.Background);
        TTestSurface surface(20, 20);
        EXPECT_EQ(SendMessageA(FDock->GetHandle(), WM_ERASEBKGND, WPARAM(surface.DC()), 0), 1) << c.Name;
        EXPECT_EQ(surface.Color(5, 5) & 0xFFFFFF, c.Expected) << c.Name;
    }
    FDock->SetBackground(nullptr);
}

TEST_F(SkinDkPanels, DockedFrameAnswersWithEdgeSplitterCaptionAndCloseCodes)
{
    TSkinDockablePanel* top = Panel(0, 200);
    TSkinDockablePanel* bottom = Panel(1, 200);
    const RECT t = WindowRect(top), b = WindowRect(bottom);
    const int caption = GetSystemMetrics(SM_CYSMCAPTION);
    const RECT close = top->DockedCloseButtonBounds(true);
    struct TCase {
        const char* Name;
        TSkinDockablePanel* Panel;
        POINT At;
        LRESULT Expected;
    } cases[] = {
        {"under the next panel", top, {t.left + 40, t.bottom - 1}, htSplitBottom},
        {"above the previous panel", bottom, {b.left + 40, b.top}, htSplitTop},
        {"caption", top, {t.left + 10, t.top + 2 + caption / 2}, htPanelCaption},
        {"close button", top, {t.left + (close.left + close.right) / 2, t.top + (close.top + close.bottom) / 2}, htPanelClose},
        {"client area", top, {t.left + 40, t.top + caption + 20}, HTCLIENT},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(HitAt(c.Panel, c.At), c.Expected) << c.Name;
    // No splitter before the first panel, and no edge sizing unless the panel is resizable.
    EXPECT_NE(HitAt(top, POINT{t.left + 40, t.top}), htSplitTop);
    EXPECT_NE(HitAt(top, POINT{t.right - 1, t.top + 60}), HTRIGHT);
    top->SetResizable(true);
    EXPECT_EQ(HitAt(top, POINT{t.right - 1, t.top + 60}), HTRIGHT);
    top->SetResizable(false);

    // Splitters show the sizing cursor.
    SetCursorPos(t.left + 40, t.bottom - 1);
    SendMessageA(top->GetHandle(), WM_SETCURSOR, reinterpret_cast<WPARAM>(top->GetHandle()),
                 MAKELPARAM(htSplitBottom, WM_MOUSEMOVE));
    EXPECT_EQ(GetCursor(), LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_SIZENS)));
}

TEST_F(SkinDkPanels, TheSplitterLoopMovesTheBoundaryWithinBothPanelsLimits)
{
    TSkinDockablePanel* top = Panel(0, 200);
    TSkinDockablePanel* bottom = Panel(1, 200);
    bottom->SetMinClientHeight(100);
    FDock->LayOutToolbars();
    const int length = FDock->GetClientHeight();
    const int minimum = 100 + bottom->GetDockedNCAreaSize(FDock).cy;

    // Each row drags the boundary under the top panel by Move in two steps and ends the loop its
    // way; Expected gives the top panel's height from the height it had before.
    auto release = [](POINT p) { ReleaseButton(p); };
    struct TCase {
        const char* Name;
        int Move;
        std::function<void(POINT)> End;
        std::function<int(int)> Expected;
    } cases[] = {
        {"live moves, kept on release", 30, release, [](int before) { return before + 30; }},
        {"far down the lower panel stops at its minimum", 1000, release, [&](int) { return length - minimum; }},
        {"escape puts everything back", -50, [](POINT) { PostMessageA(GetCapture(), WM_KEYDOWN, VK_ESCAPE, 0); },
         [](int before) { return before; }},
        {"a lost capture keeps it", -50, [](POINT) { ReleaseCapture(); }, [](int before) { return before - 50; }},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const int before = top->GetHeight();
        const RECT t = WindowRect(top);
        const POINT grab{t.left + 40, t.bottom - 1};
        const POINT to{grab.x, grab.y + c.Move};
        EXPECT_TRUE(Drag(top, htSplitBottom, grab,
                         {[&] { MoveMouse(POINT{grab.x, grab.y + c.Move / 2}); }, [&] { MoveMouse(to); },
                          [&] { c.End(to); }}));
        EXPECT_EQ(top->GetHeight(), c.Expected(before));
        EXPECT_EQ(top->GetHeight() + bottom->GetHeight(), length);
        EXPECT_EQ(top->GetSplitHeight(), top->GetHeight());
        EXPECT_EQ(GetCapture(), nullptr);
    }
}

TEST_F(SkinDkPanels, TheEdgeLoopSizesTheDockedWidthAndEndsOnEscapeOrLostCapture)
{
    TSkinDockablePanel* panel = Panel(0);
    panel->SetResizable(true);
    panel->SetMaxClientWidth(250);
    std::vector<std::string> stages;
    panel->OnDockedResizing = TSkinDockedResizing([&](TObject*, bool vertical, bool&, TSkinResizingStage stage, int&) {
        stages.push_back(std::string(vertical ? "v" : "h") + std::to_string(static_cast<int>(stage)));
    });
    const int nc = panel->GetDockedNCAreaSize(FDock).cx;
    auto grab = [&] {
        const RECT r = WindowRect(panel);
        return POINT{r.right - 1, r.top + 60};
    };

    struct TCase {
        const char* Name;
        bool Smooth;
        int Move;
        std::function<void(POINT)> End;
        int Expected;
    } cases[] = {
        {"smooth, released", true, 40, [](POINT p) { ReleaseButton(p); }, 168},
        {"outline, released", false, -60, [](POINT p) { ReleaseButton(p); }, 108},
        {"held at the maximum", true, 400, [](POINT p) { ReleaseButton(p); }, 250},
        {"escape puts it back", true, -100, [](POINT) { PostMessageA(GetCapture(), WM_KEYDOWN, VK_ESCAPE, 0); }, 250},
        {"outline, capture lost", false, -100, [](POINT) { ReleaseCapture(); }, 250},
        {"smooth, capture lost keeps it", true, -100, [](POINT) { ReleaseCapture(); }, 150},
    };
    for (const TCase& c : cases) {
        panel->SetSmoothDockedResize(c.Smooth);
        stages.clear();
        const POINT start = grab();
        const POINT to{start.x + c.Move, start.y};
        EXPECT_TRUE(Drag(panel, HTRIGHT, start, {[&] { MoveMouse(to); }, [&] { c.End(to); }})) << c.Name;
        EXPECT_EQ(panel->GetDockedWidth(), c.Expected) << c.Name;
        EXPECT_EQ(panel->GetWidth(), c.Expected + nc) << c.Name;
        EXPECT_EQ(FDock->GetClientWidth(), c.Expected + nc) << c.Name;
        EXPECT_EQ(GetCapture(), nullptr) << c.Name;
        ASSERT_GE(stages.size(), 3u) << c.Name;
        EXPECT_EQ(stages.front(), "h0") << c.Name;
        EXPECT_EQ(stages.back(), "h2") << c.Name;
    }
}

TEST_F(SkinDkPanels, PositionsRoundTripTheSixSizes)
{
    using TPanel = TSkinDockablePanel;
    struct TSize {
        const char* Name;
        void (TPanel::*Set)(int);
        int (TPanel::*Get)() const;
        int Value;
    } sizes[] = {
        {"docked width", &TPanel::SetDockedWidth, &TPanel::GetDockedWidth, 150},
        {"docked height", &TPanel::SetDockedHeight, &TPanel::GetDockedHeight, 90},
        {"floating width", &TPanel::SetFloatingWidth, &TPanel::GetFloatingWidth, 210},
        {"floating height", &TPanel::SetFloatingHeight, &TPanel::GetFloatingHeight, 170},
        {"split width", &TPanel::SetSplitWidth, &TPanel::GetSplitWidth, 33},
        {"split height", &TPanel::SetSplitHeight, &TPanel::GetSplitHeight, 44},
    };
    auto* panel = New<TPanel>(THostForm::Form());
    for (const TSize& size : sizes)
        (panel->*size.Set)(size.Value);
    std::map<std::string, int> saved;
    TTBPositionData data;
    data.WriteInt = [&](const std::string& name, int value) { saved[name] = value; };
    data.WriteString = [](const std::string&, const std::string&) {};
    data.ReadInt = [&](const std::string& name, int fallback) {
        auto it = saved.find(name);
        return it == saved.end() ? fallback : it->second;
    };
    data.ReadString = [](const std::string&, const std::string& fallback) { return fallback; };
    panel->StorePosition(data);
    EXPECT_EQ(saved.size(), 6u);

    // Read into another panel, then again with nothing stored: missing names keep what it had.
    auto* other = New<TPanel>(THostForm::Form());
    for (const char* round : {"stored", "missing"}) {
        other->LoadPosition(data);
        for (const TSize& size : sizes)
            EXPECT_EQ((other->*size.Get)(), size.Value) << size.Name << ", " << round;
        saved.clear();
    }
}

TEST_F(SkinDkPanels, TwoHundredPanelsDockedFloatedAndFreedLeaveNothingBehind)
{
    // The first panel starts what every panel shares (hooks, classes, the theme nexus).
    Panel(0)->Free();
    PumpMessages();
    const TResourceCounts before = CountResources();
    for (int i = 0; i < 200; ++i) {
        TSkinDockablePanel* panel = Panel(i % 3, 100);
        if (i % 2 == 0) {
            panel->SetSnapDistance(8);
            panel->SetFloatPoint(POINT{100, 100});
            panel->SetFloating(true);
            // The themed form's hot close button asks for leave tracking; closing hides both.
            SendMessageA(panel->GetFloatForm()->GetHandle(), WM_NCMOUSEMOVE, WPARAM(HT_TB2K_CLOSE), 0);
            panel->Close();
            panel->SetVisible(true);
            SendMessageA(panel->GetHandle(), TBM_NEWTHEME, scThemeDone, 0);
            // Every fourth panel is freed while it floats.
            if (i % 4 == 2)
                panel->SetCurrentDock(FDock);
        }
        panel->Free();
    }
    PumpMessages();
    EXPECT_EQ(Describe(CountResources()), Describe(before));
    EXPECT_EQ(FDock->GetControlCount(), 0);
}

TEST_F(SkinDkPanels, ACaptionDragFloatsThePanelWhichSizesThereAndDocksAgain)
{
    TSkinDockablePanel* top = Panel(0);
    TSkinDockablePanel* bottom = Panel(1);
    bottom->SetResizable(true);
    bottom->SetSnapDistance(6);
    int dockChanges = 0;
    bottom->OnDockChanged = TNotifyEvent([&](TObject*) { ++dockChanges; });
    const int length = FDock->GetClientHeight();
    const SIZE nc = bottom->GetDockedNCAreaSize(FDock);
    const int dockedClientHeight = bottom->GetHeight() - nc.cy;

    // Away from every dock the caption drag floats the panel in the themed form, its client as
    // the docked one was; the panel left behind takes the whole dock.
    const POINT grab = CaptionPoint(bottom);
    EXPECT_TRUE(Drag(bottom, htPanelCaption, grab, DragTo(grab, POINT{grab.x + 300, grab.y - 40})));
    EXPECT_EQ(GetCapture(), nullptr);
    ASSERT_TRUE(bottom->GetFloating());
    TSkinFloatingWindowParent* floating = FloatFormOf(bottom);
    ASSERT_NE(floating, nullptr);
    EXPECT_EQ(floating->GetSnapDistance(), 6);
    EXPECT_EQ(bottom->GetFloatingWidth(), 128);
    EXPECT_EQ(bottom->GetFloatingHeight(), dockedClientHeight);
    EXPECT_EQ(bottom->GetClientWidth(), 128);
    EXPECT_EQ(FDock->ShownPanels(), std::vector<TSkinDockablePanel*>{top});
    EXPECT_EQ(top->GetHeight(), length);
    EXPECT_EQ(dockChanges, 1);
    EXPECT_EQ(bottom->ViewType(), uint32_t(vtDockPanel | vtFloating | vtResizable));
    RECT form = WindowRect(floating);
    EXPECT_EQ(bottom->GetFloatPoint().x, form.left);
    EXPECT_EQ(bottom->GetFloatPoint().y, form.top);

    // Its right edge sizes it; the floating width follows and stays when it docks.
    const POINT edge{form.right - 1, (form.top + form.bottom) / 2};
    ASSERT_EQ(HitAt(floating, edge), HTRIGHT);
    EXPECT_TRUE(Drag(floating, HTRIGHT, edge, DragTo(edge, POINT{edge.x + 40, edge.y})));
    EXPECT_EQ(bottom->GetFloatingWidth(), 168);
    EXPECT_EQ(bottom->GetClientWidth(), 168);
    EXPECT_EQ(RectWidth(WindowRect(floating)), RectWidth(form) + 40);

    // Its floating caption dragged onto the lower half of the dock docks it after the other.
    form = WindowRect(floating);
    const POINT caption{form.left + 30, form.top + bottom->QueryFloatingBorder().cy + 4};
    ASSERT_EQ(HitAt(floating, caption), HT_TB2K_CAPTION);
    const RECT dock = WindowRect(FDock);
    EXPECT_TRUE(Drag(floating, HT_TB2K_CAPTION, caption,
                     DragTo(caption, POINT{dock.left + 20, dock.top + length * 3 / 4})));
    ASSERT_TRUE(bottom->GetDocked());
    EXPECT_EQ(bottom->GetCurrentDock(), FDock);
    EXPECT_EQ(bottom->GetLastDock(), FDock);
    EXPECT_EQ(FDock->ShownPanels(), (std::vector<TSkinDockablePanel*>{top, bottom}));
    EXPECT_EQ(top->GetHeight() + bottom->GetHeight(), length);
    EXPECT_EQ(bottom->GetWidth(), 128 + nc.cx);
    EXPECT_EQ(dockChanges, 2);

    // Floated again it comes back at its size and place; a double-click on its floating caption
    // docks it where it was last.
    const POINT floatPoint = bottom->GetFloatPoint();
    bottom->SetFloating(true);
    EXPECT_EQ(bottom->GetClientWidth(), 168);
    form = WindowRect(FloatFormOf(bottom));
    EXPECT_EQ(form.left, floatPoint.x);
    SendMessageA(FloatFormOf(bottom)->GetHandle(), WM_NCLBUTTONDBLCLK, HT_TB2K_CAPTION,
                 MAKELPARAM(form.left + 30, form.top + 8));
    EXPECT_EQ(bottom->GetCurrentDock(), FDock);
    EXPECT_EQ(FDock->ShownPanels().size(), 2u);
    PumpMessages();
}

TEST_F(SkinDkPanels, MoveAndSizeLoopsEndCleanlyOnEscapeAndLostCapture)
{
    TSkinDockablePanel* panel = Panel(0);
    panel->SetResizable(true);
    struct TCase {
        const char* Name;
        std::function<void()> End;
    } ends[] = {
        {"escape", [] { PostMessageA(GetCapture(), WM_KEYDOWN, VK_ESCAPE, 0); }},
        {"capture lost", [] { ReleaseCapture(); }},
    };
    for (const TCase& c : ends) {
        // A live drag stops where its last step put the panel.
        panel->SetCurrentDock(FDock);
        const POINT grab = CaptionPoint(panel);
        const POINT away{grab.x + 300, grab.y};
        EXPECT_TRUE(Drag(panel, htPanelCaption, grab, {[&] { MoveMouse(away); }, c.End})) << c.Name;
        EXPECT_EQ(GetCapture(), nullptr) << c.Name;
        EXPECT_TRUE(panel->GetFloating()) << c.Name;
        EXPECT_FALSE(panel->MovingNow || panel->DragInProgress) << c.Name;

        // A cancelled size stays where the last move put it, and sizes again afterwards.
        TSkinFloatingWindowParent* floating = FloatFormOf(panel);
        ASSERT_NE(floating, nullptr) << c.Name;
        panel->SetFloatPoint(POINT{300, 100});
        const RECT form = WindowRect(floating);
        const POINT edge{(form.left + form.right) / 2, form.bottom - 1};
        EXPECT_TRUE(Drag(floating, HTBOTTOM, edge, {[&] { MoveMouse(POINT{edge.x, edge.y + 30}); }, c.End}))
            << c.Name;
        EXPECT_EQ(GetCapture(), nullptr) << c.Name;
        EXPECT_EQ(RectHeight(WindowRect(floating)), RectHeight(form) + 30) << c.Name;
        EXPECT_EQ(panel->GetFloatingHeight(), panel->GetClientHeight()) << c.Name;
    }
    panel->SetCurrentDock(FDock);
    EXPECT_TRUE(panel->GetDocked());
}

TEST_F(SkinDkPanels, TheCloseButtonsHideThePanelAndSaySoForAViewToggle)
{
    TSkinDockablePanel* top = Panel(0, 200);
    TSkinDockablePanel* bottom = Panel(1, 200);
    const int length = FDock->GetClientHeight();
    TEventLog log;
    bottom->OnVisibleChanged = TNotifyEvent([&](TObject*) { log.Add(bottom->GetVisible() ? "shown" : "hidden"); });
    bottom->OnClose = TNotifyEvent([&](TObject*) { log.Add("closed"); });
    bool allowClose = false;
    bottom->OnCloseQuery = TCloseQueryEvent([&](TObject*, bool& canClose) { canClose = allowClose; });

    auto clickClose = [&](TWinControl* window, LRESULT code, POINT at) {
        ASSERT_EQ(HitAt(window, at), code);
        EXPECT_TRUE(Drag(window, int(code), at, {[&] { ReleaseButton(at); }}));
        EXPECT_EQ(GetCapture(), nullptr);
    };
    RECT r = WindowRect(bottom);
    RECT close = bottom->DockedCloseButtonBounds(false);
    OffsetRect(&close, r.left, r.top);

    // A refused close changes nothing.
    clickClose(bottom, htPanelClose, Centre(close));
    EXPECT_TRUE(bottom->GetVisible());
    EXPECT_EQ(log.Joined(), "");

    // Docked: hidden, reported, and the other panel takes the dock; shown again it shares it.
    allowClose = true;
    clickClose(bottom, htPanelClose, Centre(close));
    EXPECT_FALSE(bottom->GetVisible());
    EXPECT_EQ(log.Joined(), "hidden closed");
    EXPECT_EQ(FDock->ShownPanels(), std::vector<TSkinDockablePanel*>{top});
    EXPECT_EQ(top->GetHeight(), length);
    bottom->SetVisible(true);
    EXPECT_EQ(log.Joined(), "hidden closed shown");
    EXPECT_EQ(FDock->ShownPanels(), (std::vector<TSkinDockablePanel*>{top, bottom}));
    EXPECT_EQ(top->GetHeight() + bottom->GetHeight(), length);

    // Floating: the floating form's close button hides the form with the panel.
    log.Entries.clear();
    TSkinFloatingWindowParent* floating = FloatAt(bottom, POINT{200, 200});
    ASSERT_NE(floating, nullptr);
    EXPECT_TRUE(IsWindowVisible(floating->GetHandle()));
    RECT button = floating->CloseButtonRect();
    r = WindowRect(floating);
    OffsetRect(&button, r.left, r.top);
    clickClose(floating, HT_TB2K_CLOSE, Centre(button));
    EXPECT_FALSE(bottom->GetVisible());
    EXPECT_FALSE(IsWindowVisible(floating->GetHandle()));
    EXPECT_EQ(log.Joined(), "hidden closed");
    bottom->SetVisible(true);
    EXPECT_TRUE(bottom->GetFloating());
    EXPECT_TRUE(IsWindowVisible(floating->GetHandle()));
    EXPECT_EQ(log.Joined(), "hidden closed shown");
    bottom->SetCurrentDock(FDock);
}

TEST_F(SkinDkPanels, AFloatingPanelSnapsToTheWorkAreaWithinItsSnapDistance)
{
    TSkinDockablePanel* panel = Panel(0);
    panel->SetSnapDistance(10);
    TSkinFloatingWindowParent* floating = FloatAt(panel, POINT{300, 300});
    ASSERT_NE(floating, nullptr);
    EXPECT_EQ(floating->GetSnapDistance(), 10);
    const RECT work = WorkAreaOf(floating);
    const RECT start = WindowRect(floating);
    const int w = RectWidth(start), h = RectHeight(start);

    // Each row drags the floating caption so that the form would land at (X, Y).
    struct TCase {
        const char* Name;
        int Snap;
        int X, Y;
        int ExpectX, ExpectY;
    } cases[] = {
        {"9 from the right snaps", 10, int(work.right) - w - 9, 300, int(work.right) - w, 300},
        {"10 from the right stays", 10, int(work.right) - w - 10, 300, int(work.right) - w - 10, 300},
        {"9 from the top snaps", 10, 300, int(work.top) + 9, 300, int(work.top)},
        {"10 from the top stays", 10, 300, int(work.top) + 10, 300, int(work.top) + 10},
        {"a corner snaps both ways", 10, int(work.left) + 4, int(work.bottom) - h - 5, int(work.left),
         int(work.bottom) - h},
        {"on the edge stays", 10, int(work.left), 300, int(work.left), 300},
        {"no snap distance", 0, int(work.left) + 4, 300, int(work.left) + 4, 300},
    };
    for (const TCase& c : cases) {
        panel->SetSnapDistance(c.Snap);
        EXPECT_EQ(floating->GetSnapDistance(), c.Snap) << c.Name;
        panel->SetFloatPoint(POINT{400, 400});
        const RECT form = WindowRect(floating);
        const POINT grab{form.left + 30, form.top + panel->QueryFloatingBorder().cy + 4};
        const POINT to{grab.x + c.X - form.left, grab.y + c.Y - form.top};
        EXPECT_TRUE(Drag(floating, HT_TB2K_CAPTION, grab, DragTo(grab, to))) << c.Name;
        const RECT now = WindowRect(floating);
        EXPECT_EQ(now.left, c.ExpectX) << c.Name;
        EXPECT_EQ(now.top, c.ExpectY) << c.Name;
        // Where it snapped is where it floats.
        EXPECT_EQ(floating->GetLeft(), now.left) << c.Name << " form";
        EXPECT_EQ(panel->GetFloatPoint().x, now.left) << c.Name;
        EXPECT_EQ(panel->GetFloatPoint().y, now.top) << c.Name;
    }
    panel->SetSnapDistance(-3);
    EXPECT_EQ(panel->GetSnapDistance(), 0);
    EXPECT_EQ(floating->GetSnapDistance(), 0);
    panel->SetCurrentDock(FDock);
}

TEST_F(SkinDkPanels, AVisualStyleChangeRefitsTheFloatingFrameAroundTheSameClient)
{
    auto* panel = New<TBorderedPanel>(THostForm::Form());
    panel->SetResizable(false);
    panel->SetParent(FDock);
    TSkinFloatingWindowParent* floating = FloatAt(panel, POINT{300, 300});
    ASSERT_NE(floating, nullptr);
    const SIZE client{panel->GetClientWidth(), panel->GetClientHeight()};
    const RECT before = WindowRect(floating);

    // A system change reaches the panel as its three codes through the theme manager.
    auto systemChange = [] { SendMessageA(ThemeManager()->GetHandle(), WM_SYSCOLORCHANGE, 0, 0); };
    auto colorsOnly = [] { SkinNexus()->Broadcast(TBM_NEWTHEME, scColors, 0); };
    struct TCase {
        const char* Name;
        std::function<void()> Change;
        int Border;
        int Grow;  // on each side
    } cases[] = {
        {"colours only: nothing moves", colorsOnly, 7, 0},
        {"a system change: grown by 4 a side", systemChange, 7, 4},
        {"back to 3: shrunk again", systemChange, 3, 0},
        {"one more pixel a side", systemChange, 4, 1},
    };
    for (const TCase& c : cases) {
        panel->Border = SIZE{c.Border, c.Border};
        c.Change();
        const RECT now = WindowRect(floating);
        EXPECT_EQ(now.left, before.left - c.Grow) << c.Name;
        EXPECT_EQ(now.top, before.top - c.Grow) << c.Name;
        EXPECT_EQ(RectWidth(now), RectWidth(before) + 2 * c.Grow) << c.Name;
        EXPECT_EQ(RectHeight(now), RectHeight(before) + 2 * c.Grow) << c.Name;
        EXPECT_EQ(panel->GetClientWidth(), client.cx) << c.Name;
        EXPECT_EQ(panel->GetClientHeight(), client.cy) << c.Name;
        EXPECT_EQ(panel->GetFloatPoint().x, now.left) << c.Name;
        RECT inner{};
        GetClientRect(floating->GetHandle(), &inner);
        EXPECT_EQ(RectWidth(inner), client.cx) << c.Name;
    }
    panel->SetCurrentDock(FDock);
}

TEST_F(SkinDkPanels, ACaptionChangeRedrawsTheFrameThatShowsIt)
{
    TRecordingThemeScope theme;
    TSkinDockablePanel* panel = Panel(0);
    auto captionDrawn = [&](const char* op, const std::wstring& caption) {
        theme->Clear();
        panel->SetCaption(caption);
        PumpMessages();
        const std::vector<TThemeCall> calls = theme->Of(op);
        return !calls.empty() && (calls.back().Op != "DrawFloatingFrame" || calls.back().Floating.Caption == caption);
    };
    EXPECT_TRUE(captionDrawn("DrawPanelFrame", L"Docked"));
    FloatAt(panel, POINT{200, 200});
    PumpMessages();
    EXPECT_TRUE(captionDrawn("DrawFloatingFrame", L"Floating"));
    theme->Clear();
    panel->SetCaption(L"Floating");
    PumpMessages();
    EXPECT_TRUE(theme->Calls.empty()) << "the same caption draws nothing";
    panel->SetCurrentDock(FDock);
}

TEST_F(SkinDkPanels, ACaptionDragWithinTheDockReordersThePanels)
{
    TSkinDockablePanel* first = Panel(0, 200);
    TSkinDockablePanel* second = Panel(1, 200);
    const int length = FDock->GetClientHeight();
    const RECT dock = WindowRect(FDock);

    // Down into the lower part of the dock the first panel goes after the second; the drop writes
    // the arranged positions back.
    POINT grab = CaptionPoint(first);
    EXPECT_TRUE(Drag(first, htPanelCaption, grab, DragTo(grab, POINT{grab.x, dock.top + length - 40})));
    EXPECT_EQ(FDock->ShownPanels(), (std::vector<TSkinDockablePanel*>{second, first}));
    EXPECT_EQ(second->GetDockPos(), 0);
    EXPECT_EQ(first->GetDockPos(), second->GetHeight());
    EXPECT_EQ(first->GetHeight() + second->GetHeight(), length);
    EXPECT_TRUE(first->GetDocked());

    // And back up to the top.
    grab = CaptionPoint(first);
    EXPECT_TRUE(Drag(first, htPanelCaption, grab, DragTo(grab, POINT{grab.x, dock.top + 5})));
    EXPECT_EQ(FDock->ShownPanels(), (std::vector<TSkinDockablePanel*>{first, second}));
    EXPECT_EQ(first->GetDockPos(), 0);
}

TEST_F(SkinDkPanels, APanelDocksOnlyWhereItsDockKindsAndEdgesAllow)
{
    auto* standard = New<TSkinDock>(THostForm::Form());
    standard->SetPosition(dpTop);
    standard->SetParent(THostForm::Form());
    auto* panel = New<TSkinDockablePanel>(THostForm::Form());
    panel->SetResizable(false);
    const TDockKinds both = DockKindSet(dkStandardDock) | DockKindSet(dkMultiDock);
    struct TCase {
        const char* Name;
        TDockKinds Kinds;
        TTBDockableTo Edges;
        bool Multi, Standard;
    } cases[] = {
        {"both kinds, every edge", both, AllDockPositions, true, true},
        {"multi-docks only", DockKindSet(dkMultiDock), AllDockPositions, true, false},
        {"standard docks only", DockKindSet(dkStandardDock), AllDockPositions, false, true},
        {"not on the left edge", both, TTBDockableTo(AllDockPositions & ~DockPositionSet(dpLeft)), false, true},
        {"no kind at all", 0, AllDockPositions, false, false},
    };
    for (const TCase& c : cases) {
        panel->SetSupportedDocks(c.Kinds);
        panel->SetDockableTo(c.Edges);
        EXPECT_EQ(panel->AcceptsDock(FDock), c.Multi) << c.Name;
        EXPECT_EQ(panel->AcceptsDock(standard), c.Standard) << c.Name;
    }
    EXPECT_FALSE(panel->AcceptsDock(nullptr));

    // On a top dock the caption stands on the left and the panel spans the dock; floated from
    // there, it keeps that width and its docked height.
    panel->SetSupportedDocks(both);
    panel->SetDockableTo(AllDockPositions);
    panel->SetDockedHeight(90);
    panel->SetParent(standard);
    const SIZE nc = panel->GetDockedNCAreaSize(standard);
    EXPECT_TRUE(panel->CaptionIsVertical());
    EXPECT_EQ(nc.cx, 4 + GetSystemMetrics(SM_CYSMCAPTION));
    EXPECT_EQ(panel->GetHeight(), 90 + nc.cy);
    EXPECT_EQ(panel->GetWidth(), standard->GetClientWidth());
    const int spanned = panel->GetWidth() - nc.cx;
    EXPECT_EQ(panel->GetFloatingWidth(), 0) << "filled only when it floats";
    FloatAt(panel, POINT{200, 200});
    EXPECT_FALSE(panel->CaptionIsVertical());
    EXPECT_EQ(panel->GetFloatingWidth(), spanned);
    EXPECT_EQ(panel->GetFloatingHeight(), 90);
    EXPECT_EQ(panel->GetClientWidth(), spanned);

    // While it floats the floating sizes size it, never below the minimum.
    struct TSize {
        const char* Name;
        int Width, Height;
        SIZE Expected;
    } sizes[] = {
        {"grown", 200, 150, SIZE{200, 150}},
        {"below the minimum", 10, 20, SIZE{32, 32}},
    };
    for (const TSize& s : sizes) {
        panel->SetFloatingWidth(s.Width);
        panel->SetFloatingHeight(s.Height);
        EXPECT_EQ(panel->GetFloatingWidth(), s.Expected.cx) << s.Name;
        EXPECT_EQ(panel->GetClientWidth(), s.Expected.cx) << s.Name;
        EXPECT_EQ(panel->GetClientHeight(), s.Expected.cy) << s.Name;
        const SIZE frame = panel->FloatingNCSize();
        EXPECT_EQ(RectWidth(WindowRect(panel->GetFloatForm())), s.Expected.cx + frame.cx) << s.Name;
    }
    // The docked width waits for docking.
    panel->SetDockedWidth(150);
    EXPECT_EQ(panel->GetClientWidth(), 32);
    panel->SetCurrentDock(FDock);
    EXPECT_EQ(panel->GetWidth(), 150 + panel->GetDockedNCAreaSize(FDock).cx);

    // Floated without a drag from a left dock, a new panel keeps its docked client height.
    TSkinDockablePanel* left = Panel(1);
    const int dockedHeight = left->GetClientHeight();
    FloatAt(left, POINT{200, 200});
    EXPECT_EQ(left->GetFloatingHeight(), dockedHeight);
    EXPECT_EQ(left->GetFloatingWidth(), 128);
    left->SetCurrentDock(FDock);
}

TEST_F(SkinDkPanels, SizingAFloatingPanelByAnEdgeNeverSnaps)
{
    TSkinDockablePanel* panel = Panel(0);
    panel->SetResizable(true);
    panel->SetSnapDistance(10);
    TSkinFloatingWindowParent* floating = FloatAt(panel, POINT{300, 200});
    ASSERT_NE(floating, nullptr);
    const RECT work = WorkAreaOf(floating);
    const int w = RectWidth(WindowRect(floating));

    // Each row puts the form's left edge at Left, drags an edge by Move and expects the edges at
    // ExpectLeft and ExpectRight: the dragged edge follows the mouse near the work area's edges
    // too, and the other edge stays.
    struct TCase {
        const char* Name;
        int Left;
        int HitCode;
        int Move;
        int ExpectLeft, ExpectRight;
    } cases[] = {
        {"left edge of a form on the right edge", int(work.right) - w, HTLEFT, -5, int(work.right) - w - 5,
         int(work.right)},
        {"left edge to 5 from the work area's left", int(work.left) + 20, HTLEFT, -15, int(work.left) + 5,
         int(work.left) + 20 + w},
        {"right edge to 5 from the work area's right", int(work.right) - w - 20, HTRIGHT, 15, int(work.right) - w - 20,
         int(work.right) - 5},
    };
    for (const TCase& c : cases) {
        panel->SetFloatPoint(POINT{c.Left, 200});
        ASSERT_EQ(WindowRect(floating).left, c.Left) << c.Name;
        const RECT form = WindowRect(floating);
        const POINT edge{c.HitCode == HTLEFT ? form.left : form.right - 1, (form.top + form.bottom) / 2};
        EXPECT_TRUE(Drag(floating, c.HitCode, edge, DragTo(edge, POINT{edge.x + c.Move, edge.y}))) << c.Name;
        const RECT now = WindowRect(floating);
        EXPECT_EQ(now.left, c.ExpectLeft) << c.Name;
        EXPECT_EQ(now.right, c.ExpectRight) << c.Name;
        EXPECT_EQ(panel->GetFloatPoint().x, now.left) << c.Name;
        // Back to the starting width for the next row.
        panel->SetFloatingWidth(w - panel->FloatingNCSize().cx);
    }
    panel->SetCurrentDock(FDock);
}
