// Dockable side panels: how a multi-dock shares its length (ties, minimums, maximums), how a
// boundary moves between neighbours, the panel's size rules, the controls a multi-dock refuses,
// the frame's hit codes, the edge and splitter loops driven by scripted mouse input, and a panel's
// whole life repeated without leaking.
#include <gtest/gtest.h>

#include <map>
#include <numeric>
#include <random>

#include "ScriptedInput.h"
#include "SkinControlsTestSupport.h"
#include "TestSupport.h"
#include "platform/StdCtrls.h"
#include "skin/SkinDkPanels.h"

namespace {

std::vector<int> Sizes(const std::vector<TSkinSplitEntry>& entries)
{
    std::vector<int> sizes;
    for (const TSkinSplitEntry& e : entries)
        sizes.push_back(e.Size);
    return sizes;
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
    const int topStart = top->GetHeight();
    const RECT t = WindowRect(top);
    const POINT grab{t.left + 40, t.bottom - 1};

    // Live: each move re-arranges; the release keeps it.
    EXPECT_TRUE(Drag(top, htSplitBottom, grab,
                     {[&] { MoveMouse(POINT{grab.x, grab.y + 15}); }, [&] { MoveMouse(POINT{grab.x, grab.y + 30}); },
                      [&] { ReleaseButton(POINT{grab.x, grab.y + 30}); }}));
    EXPECT_EQ(top->GetHeight(), topStart + 30);
    EXPECT_EQ(top->GetHeight() + bottom->GetHeight(), length);
    EXPECT_EQ(top->GetSplitHeight(), topStart + 30);

    // Far down, the lower panel stops at its minimum.
    const int minimum = 100 + bottom->GetDockedNCAreaSize(FDock).cy;
    const RECT t2 = WindowRect(top);
    const POINT grab2{t2.left + 40, t2.bottom - 1};
    EXPECT_TRUE(Drag(top, htSplitBottom, grab2,
                     {[&] { MoveMouse(POINT{grab2.x, grab2.y + 1000}); }, [&] { ReleaseButton(POINT{grab2.x, grab2.y + 1000}); }}));
    EXPECT_EQ(bottom->GetHeight(), minimum);
    EXPECT_EQ(top->GetHeight(), length - minimum);

    // Escape puts everything back; so does nothing when the capture goes.
    const int before = top->GetHeight();
    const RECT t3 = WindowRect(top);
    const POINT grab3{t3.left + 40, t3.bottom - 1};
    EXPECT_TRUE(Drag(top, htSplitBottom, grab3,
                     {[&] { MoveMouse(POINT{grab3.x, grab3.y - 50}); },
                      [&] { PostMessageA(GetCapture(), WM_KEYDOWN, VK_ESCAPE, 0); }}));
    EXPECT_EQ(top->GetHeight(), before);
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_TRUE(Drag(top, htSplitBottom, grab3,
                     {[&] { MoveMouse(POINT{grab3.x, grab3.y - 50}); }, [&] { ReleaseCapture(); }}));
    EXPECT_EQ(top->GetHeight(), before - 50);
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
    auto* panel = New<TSkinDockablePanel>(THostForm::Form());
    panel->SetDockedWidth(150);
    panel->SetDockedHeight(90);
    panel->SetFloatingWidth(210);
    panel->SetFloatingHeight(170);
    panel->SetSplitWidth(33);
    panel->SetSplitHeight(44);
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

    auto* other = New<TSkinDockablePanel>(THostForm::Form());
    other->LoadPosition(data);
    EXPECT_EQ(other->GetDockedWidth(), 150);
    EXPECT_EQ(other->GetDockedHeight(), 90);
    EXPECT_EQ(other->GetFloatingWidth(), 210);
    EXPECT_EQ(other->GetFloatingHeight(), 170);
    EXPECT_EQ(other->GetSplitWidth(), 33);
    EXPECT_EQ(other->GetSplitHeight(), 44);

    // Missing names keep what the panel had.
    saved.clear();
    other->LoadPosition(data);
    EXPECT_EQ(other->GetDockedWidth(), 150);
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
            panel->SetFloatPoint(POINT{100, 100});
            panel->SetFloating(true);
            panel->SetFloating(false);
            panel->SetParent(FDock);
        }
        panel->Free();
    }
    PumpMessages();
    EXPECT_EQ(Describe(CountResources()), Describe(before));
    EXPECT_EQ(FDock->GetControlCount(), 0);
}
