#include "SkinTestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Controls.h"
#include "platform/Forms.h"
#include "platform/ScopeGuards.h"
#include "toolbar/TBDock.h"
#include "skin/Skin.h"
#include "skin/SkinDefaultTheme.h"
#include "skin/SkinTheme.h"
#include "skin/SkinToolbar.h"

namespace {

// Every TBM_SYSCHANGE a target has been told, in order.
struct TRecorder : ISkinMessageTarget {
    std::vector<WPARAM> Changes;
    void Dispatch(TMessage& message) override
    {
        if (message.Msg == TBM_SYSCHANGE)
            Changes.push_back(message.WParam);
    }
};

int gThemesAlive = 0;

// A theme that only counts itself and what it is told.
class TCountingTheme : public TSkinTheme {
public:
    explicit TCountingTheme(std::string name) : TSkinTheme(std::move(name)) { ++gThemesAlive; }
    ~TCountingTheme() override { --gThemesAlive; }
    static TSkinTheme* Create(const std::string& name) { return New<TCountingTheme>(name); }
    void Dispatch(TMessage& message) override { Told.push_back(message.WParam); }
    std::vector<WPARAM> Told;
};

// A windowless control that notes every TBM_NEWTHEME, and may act on one.
class TListeningControl : public TGraphicControl {
public:
    std::vector<WPARAM> NewThemes;
    std::function<void()> OnNewTheme;
    void Dispatch(TMessage& message) override
    {
        if (message.Msg == TBM_NEWTHEME) {
            NewThemes.push_back(message.WParam);
            if (OnNewTheme)
                OnNewTheme();
            return;
        }
        TGraphicControl::Dispatch(message);
    }
};

// A top-level window of its own, so that it can have a handle without a parent.
class TPopupPanel : public TCustomControl {
protected:
    void CreateParams(TCreateParams& params) override
    {
        TCustomControl::CreateParams(params);
        params.Style = WS_POPUP;
    }
};

std::string RaisedBy(const std::function<void()>& call)
{
    try {
        call();
    } catch (const Exception& e) {
        return e.GetMessage();
    }
    return "";
}

} // namespace

TEST(SkinThemes, RegistryNamesAndReferenceCounts)
{
    ASSERT_EQ(RaisedBy([] { RegisterThemeClass("Counting", &TCountingTheme::Create); }), "");
    EXPECT_EQ(RaisedBy([] { RegisterThemeClass("COUNTING", &TCountingTheme::Create); }),
              "Theme COUNTING is already registered");
    EXPECT_EQ(RaisedBy([] { RegisterThemeClass("", &TCountingTheme::Create); }), "Cannot register theme");
    EXPECT_EQ(RaisedBy([] { RegisterThemeClass("NoClass", nullptr); }), "Cannot register theme");
    EXPECT_EQ(RaisedBy([] { GetTheme("Nowhere"); }), "Unknown theme Nowhere");
    // Only A to Z compare without case.
    EXPECT_EQ(RaisedBy([] { RegisterThemeClass("\xC4ther", &TCountingTheme::Create); }), "");
    EXPECT_EQ(RaisedBy([] { GetTheme("\xE4THER"); }), "Unknown theme \xE4THER");

    const int before = gThemesAlive;
    TSkinTheme* first = GetTheme("counting");
    TSkinTheme* second = GetTheme("Counting");
    EXPECT_EQ(first, second) << "one instance for both";
    EXPECT_EQ(gThemesAlive, before + 1);
    EXPECT_EQ(first->GetName(), "Counting");
    // A new theme is told once whether the application is active (it is once a test has shown a form).
    const WPARAM told = Application && Application->GetActive() ? WPARAM(scColors) : WPARAM(scInactive);
    EXPECT_EQ(static_cast<TCountingTheme*>(first)->Told, (std::vector<WPARAM>{told}));
    ReleaseTheme(second);
    EXPECT_EQ(second, first) << "only the last release clears the variable";
    EXPECT_EQ(gThemesAlive, before + 1);
    ReleaseTheme(first);
    EXPECT_EQ(first, nullptr);
    EXPECT_EQ(gThemesAlive, before);

    TCountingTheme foreign("Foreign");
    TSkinTheme* stranger = &foreign;
    EXPECT_EQ(RaisedBy([&] { ReleaseTheme(stranger); }), "Cannot release theme");
    EXPECT_EQ(stranger, &foreign);

    // Long names are kept to 255 characters and found by them.
    const std::string longName = std::string(300, 'x');
    ASSERT_EQ(RaisedBy([&] { RegisterThemeClass(longName, &TCountingTheme::Create); }), "");
    TSkinTheme* longOne = GetTheme(longName);
    EXPECT_EQ(longOne->GetName().size(), 255u);
    ReleaseTheme(longOne);
}

TEST(SkinThemes, SystemChangesReachEveryTargetInOrder)
{
    TSkinThemeManager* manager = ThemeManager();
    ASSERT_NE(manager, nullptr);
    TRecorder first, second;
    manager->AddNotification(&first);
    manager->AddNotification(&second);
    manager->AddNotification(&first);
    SendMessageA(manager->GetHandle(), WM_SYSCOLORCHANGE, 0, 0);
    SendMessageA(manager->GetHandle(), WM_ACTIVATEAPP, TRUE, 0);
    SendMessageA(manager->GetHandle(), WM_ACTIVATEAPP, FALSE, 0);
    SendMessageA(manager->GetHandle(), WM_THEMECHANGED, 0, 0);
    manager->RemoveNotification(&first);
    SendMessageA(manager->GetHandle(), WM_DISPLAYCHANGE, 32, 0);
    manager->RemoveNotification(&second);
    const std::vector<WPARAM> expectedFirst{scColors, scMetrics, scThemeDone, scActivated,
                                            scDeactivated, scColors, scMetrics, scThemeDone};
    EXPECT_EQ(first.Changes, expectedFirst);
    std::vector<WPARAM> expectedSecond = expectedFirst;
    expectedSecond.insert(expectedSecond.end(), {scColors, scMetrics, scThemeDone});
    EXPECT_EQ(second.Changes, expectedSecond);
    EXPECT_EQ(manager->SendSysChange(scColors), 0) << "nobody listens but the theme and the nexus";
}

TEST(SkinThemes, WithoutVisualStylesEveryHandleIsClosed)
{
    TSkinThemeManager* manager = ThemeManager();
    manager->SetAllowVisualStyles(false);
    EXPECT_FALSE(VisualStyleState().VisualStylesInUse);
    for (HTHEME handle : VisualStyleState().Handles)
        EXPECT_EQ(handle, nullptr);
    EXPECT_FALSE(CurrentTheme()->QueryBooleanMetric(bmVisualStyles));
    manager->SetAllowVisualStyles(true);
    // The test prefix turns the system's visual styles off: the state follows the system.
    EXPECT_EQ(VisualStyleState().VisualStylesInUse, CanUseVisualStyles());
}

TEST(SkinThemes, TheNexusRelaysEachChangeToEachWindowOnce)
{
    ASSERT_NE(CurrentTheme(), nullptr);
    EXPECT_EQ(CurrentTheme()->GetName(), "Default");
    EXPECT_TRUE(Is<TSkinDefaultTheme>(CurrentTheme()));
    std::unique_ptr<TListeningControl, TObjectFree> a(New<TListeningControl>());
    std::unique_ptr<TListeningControl, TObjectFree> b(New<TListeningControl>());
    std::unique_ptr<TListeningControl, TObjectFree> c(New<TListeningControl>());
    AddThemeListener(a.get());
    AddThemeListener(b.get());
    AddThemeListener(a.get());
    AddThemeListener(c.get());
    // The first window takes the third out of the list while it is being told.
    a->OnNewTheme = [&] { RemoveThemeListener(c.get()); };
    SendMessageA(ThemeManager()->GetHandle(), WM_SYSCOLORCHANGE, 0, 0);
    const std::vector<WPARAM> three{scColors, scMetrics, scThemeDone};
    EXPECT_EQ(a->NewThemes, three);
    EXPECT_EQ(b->NewThemes, three);
    EXPECT_TRUE(c->NewThemes.empty());
    a->OnNewTheme = nullptr;
    SendMessageA(ThemeManager()->GetHandle(), WM_ACTIVATEAPP, TRUE, 0);
    EXPECT_EQ(b->NewThemes.back(), WPARAM(scActivated));
    RemoveThemeListener(a.get());
    RemoveThemeListener(b.get());
    SendMessageA(ThemeManager()->GetHandle(), WM_ACTIVATEAPP, FALSE, 0);
    EXPECT_EQ(b->NewThemes.size(), 4u);
}

// A window that raises while the three messages of a change go round keeps neither the others
// from hearing all three nor a toolbar inside the update that the first one began.
TEST(SkinThemes, AWindowThatRaisesStopsNoOtherWindowHearingTheChange)
{
    const std::vector<WPARAM> three{scColors, scMetrics, scThemeDone};
    const struct {
        const char* Name;
        WPARAM RaiseAt;
        bool BeforeToolbar;
    } cases[] = {
        {"at the first message, told before the toolbar", scColors, true},
        {"at the first message, told after the toolbar", scColors, false},
        {"at the second message", scMetrics, false},
        {"at the last message, told before the toolbar", scThemeDone, true},
    };
    for (const auto& c : cases) {
        std::unique_ptr<TListeningControl, TObjectFree> raiser(New<TListeningControl>());
        std::unique_ptr<TListeningControl, TObjectFree> other(New<TListeningControl>());
        if (c.BeforeToolbar)
            AddThemeListener(raiser.get());
        std::unique_ptr<TSkinToolbar, TObjectFree> toolbar(New<TSkinToolbar>(nullptr));
        if (!c.BeforeToolbar)
            AddThemeListener(raiser.get());
        AddThemeListener(other.get());
        raiser->OnNewTheme = [&] {
            if (raiser->NewThemes.back() == c.RaiseAt)
                throw Exception("listener failed");
        };
        std::vector<std::string> reported;
        Application->OnException =
            TExceptionEvent([&](TObject*, const Exception& e) { reported.push_back(e.GetMessage()); });
        SendMessageA(ThemeManager()->GetHandle(), WM_SYSCOLORCHANGE, 0, 0);
        Application->OnException = nullptr;
        RemoveThemeListener(raiser.get());
        RemoveThemeListener(other.get());
        EXPECT_EQ(toolbar->GetView()->GetUpdateCount(), 0) << c.Name;
        EXPECT_EQ(raiser->NewThemes, three) << c.Name;
        EXPECT_EQ(other->NewThemes, three) << c.Name;
        EXPECT_EQ(reported, std::vector<std::string>{"listener failed"}) << c.Name;
    }
}

TEST(SkinThemes, DragHandleAndFloatingGeometry)
{
    TSkinToolbarInfo toolbar;
    toolbar.BorderSize = SIZE{2, 3};
    toolbar.ClientWidth = 100;
    EXPECT_EQ(DragHandleSize(toolbar), 0) << "no handle shown";
    toolbar.DragHandle = true;
    const int sizes[] = {9, 0, 6};
    for (uint32_t style = 0; style < 3; ++style) {
        toolbar.DragHandleStyle = TSkinDragHandleStyle(style);
        toolbar.CloseButtonState = 0;
        EXPECT_EQ(DragHandleSize(toolbar), sizes[style]);
        toolbar.CloseButtonState = cbShown;
        EXPECT_EQ(DragHandleSize(toolbar), 14);
    }
    EXPECT_TRUE(SameRect(DragHandleCloseRect(toolbar), RECT{2, 3, 15, 16}));
    toolbar.Vertical = true;
    EXPECT_TRUE(SameRect(DragHandleCloseRect(toolbar), RECT{89, 3, 102, 16}));

    TSkinFloatingInfo floating;
    floating.ClientWidth = 200;
    floating.BorderSize = SIZE{4, 5};
    const int caption = GetSystemMetrics(SM_CYSMCAPTION) - 1;
    EXPECT_TRUE(SameRect(FloatingCaptionRect(floating, false, false), RECT{0, 0, 200, caption}));
    EXPECT_TRUE(SameRect(FloatingCaptionRect(floating, true, true), RECT{4, 5, 204 - caption, 5 + caption}));
    EXPECT_TRUE(SameRect(FloatingCloseButtonRect(floating, true), RECT{204 - caption, 5, 204, 5 + caption}));
}

TEST(SkinThemes, StateFlagsBecomeItemRecords)
{
    TSkinItemDrawInfo info;
    info.Enabled = false;
    info.HotState = 2;
    info.Checked = true;
    EXPECT_EQ(DeriveStateFlags(info), uint32_t(sfDisabled | sfHot | sfSelected));
    info.Enabled = true;
    info.HotState = 1;
    info.Pushed = true;
    EXPECT_EQ(DeriveStateFlags(info), uint32_t(sfPushed | sfSelected)) << "hot state 1 is not hot for the flags";

    const TSkinItemDrawInfo toolbar = StateItemInfo(sfHot | sfPushed);
    EXPECT_EQ(toolbar.ViewKind, uint32_t(vtToolbar));
    EXPECT_EQ(toolbar.ItemFlags, uint32_t(ifToolbarStyle));
    EXPECT_TRUE(toolbar.Enabled && toolbar.Pushed);
    EXPECT_EQ(toolbar.HotState, 2);
    EXPECT_EQ(StateItemInfo(sfPanelKind | sfDisabled).ViewKind, uint32_t(vtDockPanel));
    EXPECT_FALSE(StateItemInfo(sfPanelKind | sfDisabled).Enabled);
    EXPECT_EQ(StateItemInfo(sfStandaloneKind).ViewKind, uint32_t(vtStatusBar));
    EXPECT_EQ(StateItemInfo(0x300).ViewKind, 0u);
    EXPECT_EQ(GetStateTextColor(sfDisabled), clGrayText);
    EXPECT_EQ(GetStateTextColor(sfHot), clBtnText) << "toolbar style";
}

TEST(SkinThemes, ParentBackdropAndImageColumn)
{
    // A control on a parent that erases nothing of its own shows the parent's colour.
    std::unique_ptr<TPopupPanel, TObjectFree> parent(New<TPopupPanel>());
    parent->SetBounds(0, 0, 60, 40);
    parent->SetColor(RGB(10, 200, 30));
    std::unique_ptr<TGraphicControl, TObjectFree> child(New<TGraphicControl>());
    child->SetBounds(5, 5, 20, 10);
    child->SetParent(parent.get());
    TDIBPtr target = MakeDIB(20, 10, 0xFF000000);
    PaintParentBackdrop(child.get(), target->GetDC(), RECT{0, 0, 20, 10});
    GdiFlush();
    EXPECT_EQ(RGBOf(PixelAt(target.get(), 3, 3)), PixelRGB(RGB(10, 200, 30)));
    // With a window the parent erases itself, through the shifted origin.
    parent->HandleNeeded();
    TDIBPtr erased = MakeDIB(20, 10, 0xFF000000);
    PaintParentBackdrop(child.get(), erased->GetDC(), RECT{0, 0, 20, 10});
    GdiFlush();
    EXPECT_EQ(RGBOf(PixelAt(erased.get(), 19, 9)), PixelRGB(RGB(10, 200, 30)));
    child->SetParent(nullptr);
    TDIBPtr orphan = MakeDIB(4, 4, 0xFF000000);
    PaintParentBackdrop(child.get(), orphan->GetDC(), RECT{0, 0, 4, 4});
    GdiFlush();
    EXPECT_EQ(RGBOf(PixelAt(orphan.get(), 1, 1)), PixelRGB(GetSysColor(COLOR_BTNFACE)));

    // On a dock without a window of its own the dock's background is drawn behind the control,
    // at the control's place in the dock.
    std::unique_ptr<TTBDock, TObjectFree> dock(New<TTBDock>());
    std::unique_ptr<TPlainBackground, TObjectFree> background(New<TPlainBackground>());
    dock->SetBackground(background.get());
    dock->SetBounds(0, 0, 100, 30);
    std::unique_ptr<TGraphicControl, TObjectFree> onDock(New<TGraphicControl>());
    onDock->SetBounds(7, 4, 20, 10);
    onDock->SetParent(dock.get());
    TDIBPtr docked = MakeDIB(20, 10, 0xFF000000);
    PaintParentBackdrop(onDock.get(), docked->GetDC(), RECT{0, 0, 20, 10});
    GdiFlush();
    EXPECT_EQ(RGBOf(PixelAt(docked.get(), 19, 9)), PixelRGB(RGB(250, 120, 0)));
    EXPECT_TRUE(SameRect(background->Painted, RECT{7, 4, 27, 14}));
    onDock->SetParent(nullptr);
    dock->SetBackground(nullptr);

    // An item without images gets a column for 16 x 16 kept in proportion to a menu line.
    TEXTMETRICW metrics{};
    {
        TMemoryDC dc;
        TSelectGuard font(dc.Get(), GetStockObject(DEFAULT_GUI_FONT));
        GetTextMetricsW(dc.Get(), &metrics);
    }
    const TSkinMargins m = CurrentTheme()->QueryMargins(mkMenuItem);
    const int v = m.Top + m.Bottom;
    const auto line = [&](int imageHeight) {
        return std::max(int(metrics.tmHeight + metrics.tmExternalLeading) + v, imageHeight + v);
    };
    EXPECT_EQ(ComputeImageColumn(nullptr), (16 + v) * line(16) / (16 + v));
    EXPECT_EQ(ComputeImageColumn(nullptr, SIZE{32, 8}), (32 + v) * line(8) / (8 + v));
}
