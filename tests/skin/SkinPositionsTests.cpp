// Saved positions of themed toolbars and dockable panels read into real docks: chosen damage of
// each kind, then thousands of randomly damaged streams, after each of which every bar and panel
// is somewhere the user can reach at a size its setters accept; and the component stream of a
// toolbar or panel written, read and written again gives the same bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <random>
#include <string>
#include <variant>
#include <vector>

#include "SkinControlsTestSupport.h"
#include "TestSupport.h"
#include "platform/Filer.h"
#include "skin/SkinDkPanels.h"
#include "skin/SkinDock.h"
#include "skin/SkinItems.h"
#include "skin/SkinToolbar.h"
#include "toolbar/TBPositions.h"

namespace {

using TValue = std::variant<int, std::string>;
struct TSection {
    std::string Window;
    std::vector<std::pair<std::string, TValue>> Values;
};

// A stream of sections laid out as TBStorePositions writes them.
std::vector<uint8_t> PositionsOf(const std::vector<TSection>& sections)
{
    TMemoryStream stream;
    {
        TWriter w(&stream);
        w.WriteListBegin();
        for (const TSection& section : sections) {
            w.WriteStr(section.Window);
            w.WriteListBegin();
            for (const auto& [key, value] : section.Values) {
                w.WriteStr(key);
                if (const int* number = std::get_if<int>(&value))
                    w.WriteInteger(*number);
                else
                    w.WriteString(std::get<std::string>(value));
            }
            w.WriteListEnd();
        }
        w.WriteListEnd();
    }
    return BytesOf(stream);
}

// No screen coordinate is larger.
constexpr int Largest = 32767;

RECT WorkArea()
{
    RECT work{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    return work;
}

// The main window's kind of layout on the shared host form: toolbars on themed docks at the top
// and bottom, panels in multi-docks on both sides.
class SkinPositions : public testing::Test {
protected:
    void SetUp() override
    {
        THostForm::Clear();
        Docks.clear();
        Windows.clear();
        TopDock = MakeDock<TSkinDock>("TopDock", dpTop);
        BottomDock = MakeDock<TSkinDock>("BottomDock", dpBottom);
        PanelDock = MakeDock<TSkinMultiDock>("PanelDock", dpLeft);
        RightPanels = MakeDock<TSkinMultiDock>("RightPanels", dpRight);
        MainBar = MakeBar("MainBar", 6, TopDock);
        ToolsBar = MakeBar("ToolsBar", 12, TopDock);
        ToolsBar->SetDockRow(1);
        ImagePanel = MakePanel("ImagePanel", PanelDock);
        PrintPanel = MakePanel("PrintPanel", PanelDock);
        // A panel with upper limits that never floats and lives only in multi-docks.
        InfoPanel = MakePanel("InfoPanel", RightPanels);
        InfoPanel->SetMaxClientWidth(300);
        InfoPanel->SetMaxClientHeight(400);
        InfoPanel->SetDockMode(dmCannotFloat);
        InfoPanel->SetSupportedDocks(DockKindSet(dkMultiDock));
        PumpMessages();
    }
    void TearDown() override { THostForm::Clear(); }

    template <class TDockClass>
    TDockClass* MakeDock(const char* name, TTBDockPosition position)
    {
        auto* dock = New<TDockClass>(THostForm::Form());
        dock->SetName(name);
        dock->SetPosition(position);
        dock->SetParent(THostForm::Form());
        Docks.push_back(dock);
        return dock;
    }
    // Floating forms with a sizing frame, and ones that hide when the application is inactive,
    // are ones Wine waits for when they hide.
    void Prepare(TTBCustomDockableWindow* window, const char* name, TTBDock* dock)
    {
        window->SetName(name);
        window->SetResizable(false);
        window->SetHideWhenInactive(false);
        window->SetParent(dock);
        Windows.push_back(window);
    }
    TSkinToolbar* MakeBar(const char* name, int items, TTBDock* dock)
    {
        auto* bar = New<TSkinToolbar>(THostForm::Form());
        for (int i = 0; i < items; ++i) {
            auto* item = New<TSkinItem>(nullptr);
            item->SetCaption(L"Item " + std::to_wstring(i));
            bar->GetItems()->Add(item);
        }
        Prepare(bar, name, dock);
        return bar;
    }
    TSkinDockablePanel* MakePanel(const char* name, TTBDock* dock)
    {
        auto* panel = New<TSkinDockablePanel>(THostForm::Form());
        panel->SetCaption(L"Panel");
        panel->SetSplitHeight(150);
        Prepare(panel, name, dock);
        return panel;
    }

    void Load(const std::vector<uint8_t>& bytes)
    {
        TOwned<TMemoryStream> stream = StreamOf(bytes);
        TBLoadPositions(THostForm::Form(), stream.get());
    }

    // What keeps a window out of the user's reach, or its sizes out of its setters' limits;
    // empty when nothing does.
    std::string Unreachable(TTBCustomDockableWindow* window) const
    {
        const std::string name = window->GetName() + ": ";
        if (window->GetFloating()) {
            TWinControl* form = window->GetFloatForm();
            if (!form)
                return name + "floats without a form";
            if (window->GetVisible() && !IsWindowVisible(form->GetHandle()))
                return name + "floats hidden";
            const RECT r = form->GetBoundsRect();
            // Inside the work area; one too large for it starts at the work area's corner.
            if (r.left < Work.left || r.top < Work.top || (r.right > Work.right && r.left != Work.left) ||
                (r.bottom > Work.bottom && r.top != Work.top) || r.right <= r.left || r.bottom <= r.top)
                return name + "floats outside the work area";
        } else {
            TTBDock* dock = window->GetCurrentDock();
            if (!window->GetDocked() || !dock || std::find(Docks.begin(), Docks.end(), dock) == Docks.end())
                return name + "neither docked nor floating";
            if (!dock->AcceptsWindow(window) || !window->AcceptsDock(dock))
                return name + "on a dock that refuses it";
            // Where on the form it shows depends on the form's size as well: saved sizes that
            // fit the screen may overflow a small form.
            if (window->GetVisible() && (window->GetWidth() <= 0 || window->GetHeight() <= 0))
                return name + "docked without a size";
        }
        if (window->GetDockRow() < 0 || window->GetDockPos() < -1 || window->GetDockPos() > Largest)
            return name + "has a row or place out of range";
        if (auto* bar = dynamic_cast<TSkinToolbar*>(window))
            if (bar->GetFloatingWrapWidth() < 0 || bar->GetFloatingWrapWidth() > Largest)
                return name + "has a wrap width out of range";
        if (auto* panel = dynamic_cast<TSkinDockablePanel*>(window))
            return SizesOutsideTheirLimits(panel);
        return {};
    }
    // A size its setter takes unchanged is one it accepts.
    std::string SizesOutsideTheirLimits(TSkinDockablePanel* panel) const
    {
        using TPanel = TSkinDockablePanel;
        static const struct {
            const char* Name;
            int (TPanel::*Get)() const;
            void (TPanel::*Set)(int);
        } sizes[] = {
            {"docked width", &TPanel::GetDockedWidth, &TPanel::SetDockedWidth},
            {"docked height", &TPanel::GetDockedHeight, &TPanel::SetDockedHeight},
            {"floating width", &TPanel::GetFloatingWidth, &TPanel::SetFloatingWidth},
            {"floating height", &TPanel::GetFloatingHeight, &TPanel::SetFloatingHeight},
            {"split width", &TPanel::GetSplitWidth, &TPanel::SetSplitWidth},
            {"split height", &TPanel::GetSplitHeight, &TPanel::SetSplitHeight},
        };
        for (const auto& size : sizes) {
            const int value = (panel->*size.Get)();
            (panel->*size.Set)(value);
            if ((panel->*size.Get)() != value || value > Screen)
                return panel->GetName() + ": " + size.Name + " " + std::to_string(value) + " outside its limits";
        }
        return {};
    }
    std::string AnyUnreachable() const
    {
        for (TTBCustomDockableWindow* window : Windows)
            if (std::string problem = Unreachable(window); !problem.empty())
                return problem + "\n" + Layout();
        return {};
    }
    // Where every dock and window is, to show with a failure.
    std::string Layout() const
    {
        auto rectOf = [](TWinControl* control) {
            RECT r{};
            GetWindowRect(control->GetHandle(), &r);
            return "(" + std::to_string(r.left) + "," + std::to_string(r.top) + ")-(" + std::to_string(r.right) + "," +
                   std::to_string(r.bottom) + ")";
        };
        std::string text = "form " + rectOf(THostForm::Form()) + "\n";
        for (TTBDock* dock : Docks)
            text += dock->GetName() + " " + rectOf(dock) + "\n";
        for (TTBCustomDockableWindow* window : Windows) {
            text += window->GetName() + (window->GetVisible() ? "" : " hidden");
            if (window->GetFloating())
                text += " floating " + rectOf(window->GetFloatForm());
            else if (window->GetCurrentDock())
                text += " on " + window->GetCurrentDock()->GetName() + " row " + std::to_string(window->GetDockRow()) +
                        " pos " + std::to_string(window->GetDockPos()) + " " + rectOf(window);
            text += "\n";
        }
        return text;
    }

    const RECT Work = WorkArea();
    // The larger side of all screens together: no saved size of a panel is larger.
    const int Screen = std::max(GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN));
    std::vector<TTBDock*> Docks;
    std::vector<TTBCustomDockableWindow*> Windows;
    TSkinDock* TopDock = nullptr;
    TSkinDock* BottomDock = nullptr;
    TSkinMultiDock* PanelDock = nullptr;
    TSkinMultiDock* RightPanels = nullptr;
    TSkinToolbar* MainBar = nullptr;
    TSkinToolbar* ToolsBar = nullptr;
    TSkinDockablePanel* ImagePanel = nullptr;
    TSkinDockablePanel* PrintPanel = nullptr;
    TSkinDockablePanel* InfoPanel = nullptr;
};

} // namespace

TEST_F(SkinPositions, EachKindOfDamageLeavesTheWindowsReachableWithinTheirLimits)
{
    struct TCase {
        const char* Name;
        std::vector<TSection> Sections;
        std::function<void()> Check;
    } cases[] = {
        {"a toolbar saved on the panels' dock stays on one that takes it",
         {{"MainBar", {{"DockedTo", std::string("PanelDock")}}},
          {"ToolsBar", {{"DockedTo", std::string("RightPanels")}}}},
         [&] {
             EXPECT_EQ(MainBar->GetCurrentDock(), TopDock);
             EXPECT_EQ(ToolsBar->GetCurrentDock(), TopDock);
         }},
        {"a toolbar wrapped taller near the bottom is kept above it",
         {{"ToolsBar", {{"Floating", 1}, {"FloatLeft", 100}, {"FloatTop", int(Work.bottom) - 30}, {"FloatRightX", 1}}}},
         [&] {
             ASSERT_TRUE(ToolsBar->GetFloating());
             EXPECT_EQ(ToolsBar->GetFloatingWrapWidth(), 1);
             EXPECT_GT(ToolsBar->GetHeight(), 60) << "one item a row";
         }},
        {"a panel widened near the right edge is kept left of it",
         {{"PrintPanel", {{"Floating", 1}, {"FloatLeft", int(Work.right) - 60}, {"FloatTop", 100},
                          {"DPFloatingWidth", 400}, {"DPFloatingHeight", 200}}}},
         [&] {
             ASSERT_TRUE(PrintPanel->GetFloating());
             EXPECT_EQ(PrintPanel->GetFloatingWidth(), 400);
             EXPECT_EQ(PrintPanel->GetWidth(), 400);
         }},
        {"negative panel sizes rise to their minimums",
         {{"ImagePanel", {{"DPDockedWidth", -50}, {"DPDockedHeight", INT_MIN}, {"DPFloatingWidth", -5},
                          {"DPFloatingHeight", -1}, {"DPSplitWidth", -7}, {"DPSplitHeight", -9}}}},
         [&] {
             EXPECT_EQ(ImagePanel->GetDockedWidth(), ImagePanel->GetMinClientWidth());
             EXPECT_EQ(ImagePanel->GetDockedHeight(), ImagePanel->GetMinClientHeight());
             EXPECT_EQ(ImagePanel->GetFloatingWidth(), 0);
             EXPECT_EQ(ImagePanel->GetSplitHeight(), 0);
         }},
        {"huge panel sizes fall to their maximums, or to what the screens can show",
         {{"InfoPanel", {{"DPDockedWidth", 500}, {"DPDockedHeight", INT_MAX}}},
          {"ImagePanel", {{"DPDockedWidth", 2000000000}, {"DPSplitHeight", INT_MAX}}}},
         [&] {
             EXPECT_EQ(InfoPanel->GetDockedWidth(), 300);
             EXPECT_EQ(InfoPanel->GetDockedHeight(), 400);
             EXPECT_EQ(ImagePanel->GetDockedWidth(), GetSystemMetrics(SM_CXVIRTUALSCREEN));
             EXPECT_EQ(ImagePanel->GetSplitHeight(), GetSystemMetrics(SM_CYVIRTUALSCREEN));
         }},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        SetUp(); // every case starts from the same layout
        ASSERT_NO_THROW(Load(PositionsOf(c.Sections)));
        c.Check();
        EXPECT_EQ(AnyUnreachable(), "");
    }
}

// Streams of sections made of the names and values that matter, damaged further byte by byte,
// cut short or laid over what the layout itself stored; loaded one after another into the same
// docks.
TEST_F(SkinPositions, RandomlyDamagedStreamsLeaveEveryWindowReachable)
{
    std::mt19937 random(20261209);
    auto pick = [&random](const auto& list) { return list[random() % std::size(list)]; };
    const std::string windows[] = {"MainBar", "ToolsBar", "ImagePanel", "PrintPanel", "InfoPanel", "Ghost", ""};
    const std::string docks[] = {"TopDock", "BottomDock", "PanelDock", "RightPanels", "", "Nowhere", "MainBar"};
    const std::string intKeys[] = {"Visible", "Floating", "DockRow", "DockPos", "FloatLeft", "FloatTop",
                                   "FloatRightX", "DPDockedWidth", "DPDockedHeight", "DPFloatingWidth",
                                   "DPFloatingHeight", "DPSplitWidth", "DPSplitHeight"};
    const int numbers[] = {INT_MIN, -2000000000, -32768, -100, -1, 0, 1, 2, 7, 40, 130, 600, 1000, 1023, 32767, 32768,
                           2000000000, INT_MAX};
    auto number = [&]() -> int {
        return random() % 3 ? pick(numbers) : int(random() % 3000) - 500;
    };
    auto randomSections = [&] {
        std::vector<TSection> sections(random() % 7);
        for (TSection& section : sections) {
            section.Window = pick(windows);
            for (int n = int(random() % 8); n > 0; --n) {
                if (random() % 5 == 0)
                    section.Values.emplace_back("DockedTo", pick(docks));
                else if (random() % 20 == 0) // a value of the wrong kind
                    section.Values.emplace_back(pick(intKeys), pick(docks));
                else
                    section.Values.emplace_back(pick(intKeys), number());
            }
        }
        return PositionsOf(sections);
    };
    auto stored = [] {
        TMemoryStream stream;
        TBStorePositions(THostForm::Form(), &stream);
        return BytesOf(stream);
    };

    TCaseWatch watch;
    constexpr int Rounds = 2000;
    for (int round = 0; round < Rounds; ++round) {
        std::vector<uint8_t> bytes = random() % 4 ? randomSections() : stored();
        if (random() % 3 == 0 && !bytes.empty()) {
            for (int n = 1 + int(random() % 4); n > 0; --n)
                bytes[random() % bytes.size()] = random() % 2 ? uint8_t(random()) : uint8_t(0xFF);
            if (random() % 2)
                bytes.resize(random() % bytes.size());
        }
        const std::string name = "round " + std::to_string(round);
        watch.Begin(name);
        try {
            Load(bytes);
        } catch (const std::exception& e) {
            FAIL() << name << ": " << e.what();
        }
        EXPECT_LT(watch.End(), size_t(16) << 20) << name;
        if (round % 16 == 0)
            PumpMessages();
        ASSERT_EQ(AnyUnreachable(), "") << name;
    }

}

// Each class writes what differs from its own start, so a value equal to the base class's start
// (a themed toolbar's or panel's double-click undocking switched on) survives a round trip.
TEST(SkinDockableStreams, WriteReadWriteGivesTheSameBytes)
{
    using TWindow = TTBCustomDockableWindow;
    const struct {
        const char* Name;
        void (TWindow::*Set)(bool);
        bool (TWindow::*Get)() const;
    } properties[] = {
        {"CloseButtonWhenDocked", &TWindow::SetCloseButtonWhenDocked, &TWindow::GetCloseButtonWhenDocked},
        {"DblClickUndock", &TWindow::SetDblClickUndock, &TWindow::GetDblClickUndock},
        {"FullSize", &TWindow::SetFullSize, &TWindow::GetFullSize},
    };
    // Each class, bare (to read into) or with what it streams besides its own values.
    const std::function<TWindow*(bool)> makers[] = {
        [](bool filled) {
            auto* bar = New<TSkinToolbar>(nullptr);
            if (filled) {
                auto* item = New<TSkinItem>(nullptr);
                item->SetCaption(L"Open");
                bar->GetItems()->Add(item);
            }
            return bar;
        },
        [](bool filled) {
            auto* panel = New<TSkinDockablePanel>(nullptr);
            if (filled)
                panel->SetCaption(L"Properties");
            return panel;
        },
    };
    RegisterClass(TSkinItem::StaticClass());
    for (const auto& make : makers) {
        for (const auto& property : properties) {
            for (bool value : {false, true}) {
                TOwned<TWindow> written(make(true));
                (written.get()->*property.Set)(value);
                SCOPED_TRACE(written->ClassName() + "." + property.Name + " = " + (value ? "True" : "False"));
                TMemoryStream first;
                first.WriteComponent(written.get());
                first.SetPosition(0);
                TOwned<TWindow> read(make(false));
                first.ReadComponent(read.get());
                EXPECT_EQ((read.get()->*property.Get)(), value);
                TMemoryStream second;
                second.WriteComponent(read.get());
                EXPECT_EQ(BytesOf(first), BytesOf(second));
            }
        }
    }
}
