// Themed toolbars on themed docks: view types by kind and state, the colour kept to the theme's
// until set by hand, the docked frame's record and the background through the theme, layout and
// item states through the recording theme, the chevron and its themed popup, a few pixels of the
// default theme, the background-only repaint after a size change, and theme changes.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ScriptedInput.h"
#include "SkinControlsTestSupport.h"
#include "SkinItemTestSupport.h"
#include "SkinRecordingTheme.h"
#include "SkinTestSupport.h"
#include "TestSupport.h"
#include "platform/Forms.h"
#include "skin/Skin.h"
#include "skin/SkinDock.h"
#include "skin/SkinItems.h"
#include "skin/SkinPopup.h"
#include "skin/SkinToolbar.h"
#include "toolbar/TBCommon.h"

namespace {

// The button frame each caption was painted on, by caption.
std::map<std::wstring, TSkinItemDrawInfo> FramesByCaption(const TRecordingTheme& theme)
{
    std::map<std::wstring, TSkinItemDrawInfo> frames;
    const TSkinItemDrawInfo* last = nullptr;
    for (const TThemeCall& call : theme.Calls) {
        if (call.Op == "DrawButtonFrame")
            last = &call.Info;
        else if (call.Op == "DrawItemText" && last)
            frames[call.Text] = *last;
    }
    return frames;
}

class SkinToolbarTest : public testing::Test {
protected:
    void SetUp() override { THostForm::Clear(); }
    void TearDown() override { THostForm::Clear(); }

    static TSkinDock* MakeDock(TTBDockPosition position = dpTop)
    {
        auto* dock = New<TSkinDock>(THostForm::Form());
        dock->SetPosition(position);
        dock->SetParent(THostForm::Form());
        dock->HandleNeeded();
        return dock;
    }
    static TSkinToolbar* MakeToolbar(TWinControl* parent, std::initializer_list<const wchar_t*> captions)
    {
        auto* bar = New<TSkinToolbar>(THostForm::Form());
        bar->SetHideWhenInactive(false);
        // A floating form with a sizing frame is one Wine waits for when it hides.
        bar->SetResizable(false);
        bar->BeginUpdate();
        for (const wchar_t* caption : captions) {
            auto* item = New<TSkinItem>(nullptr);
            item->SetCaption(caption);
            bar->GetItems()->Add(item);
        }
        bar->EndUpdate();
        bar->SetParent(parent);
        bar->HandleNeeded();
        PumpMessages();
        return bar;
    }
    static TTBItemViewer* ViewerOf(TSkinToolbar* bar, int index)
    {
        return bar->GetView()->Find(bar->GetItems()->GetItem(index));
    }
    // Paints the toolbar's items into a surface and returns what the theme was asked.
    static void PaintItems(TSkinToolbar* bar)
    {
        TTestSurface surface(bar->GetClientWidth() + 1, bar->GetClientHeight() + 1);
        TTestCanvas canvas(surface.DC(), bar->GetView());
        bar->GetView()->PaintViewers(canvas.Get());
    }
};

TEST_F(SkinToolbarTest, ViewTypeFollowsKindStateAndTransparency)
{
    TRecordingThemeScope theme;
    TSkinDock* dock = MakeDock();
    TSkinToolbar* bar = MakeToolbar(dock, {L"One"});
    EXPECT_TRUE(Is<TSkinChevronItem>(bar->GetChevronItem()));
    EXPECT_TRUE(Is<TSkinToolbarView>(bar->GetView()));
    EXPECT_TRUE(Is<TSkinChevronItemViewer>(bar->GetView()->Find(bar->GetChevronItem())));
    struct TCase {
        const char* Name;
        std::function<void()> Change;
        uint32_t Expected;
    };
    const TCase cases[] = {
        {"docked toolbar", [] {}, 0x101},
        {"docked menu bar", [&] { bar->SetMenuBar(true); }, 0x102},
        {"transparency off frames the buttons", [&] { bar->SetItemTransparency(itDisable); }, 0x40102},
        {"on the form, transparency on", [&] {
             bar->SetMenuBar(false);
             bar->SetItemTransparency(itEnable);
             bar->SetParent(THostForm::Form());
         }, 0x101},
        {"on the form, auto frames the buttons", [&] { bar->SetItemTransparency(itAuto); }, 0x40101},
        {"floating", [&] {
             bar->SetVisible(false);
             bar->SetFloating(true);
         }, 0x10101},
        {"floating and resizable", [&] { bar->SetResizable(true); }, 0x30101},
        {"docked again, resizable still counts", [&] { bar->SetParent(dock); }, 0x20101},
    };
    for (const TCase& c : cases) {
        c.Change();
        EXPECT_EQ(GetViewTypeOfControl(bar), c.Expected) << c.Name;
        if (bar->GetFloating()) {
            EXPECT_TRUE(Is<TSkinFloatingWindowParent>(bar->GetFloatForm())) << c.Name;
        }
    }
}

TEST_F(SkinToolbarTest, ColourFollowsTheThemeUntilSetByHand)
{
    TRecordingThemeScope theme;
    TSkinDock* dock = MakeDock();
    TSkinToolbar* bar = MakeToolbar(dock, {L"One"});
    const TColor themed = theme->QueryViewColor(vtToolbar);
    EXPECT_TRUE(bar->GetUseThemeColor());
    EXPECT_FALSE(bar->GetParentColor());
    EXPECT_FALSE(bar->GetParentBackground());
    EXPECT_FALSE(bar->GetDblClickUndock());
    EXPECT_EQ(bar->GetColor(), themed);
    bar->SetMenuBar(true);
    TMessage done{TBM_NEWTHEME, scThemeDone, 0, 0};
    bar->Dispatch(done);
    EXPECT_EQ(bar->GetColor(), theme->QueryViewColor(vtMenuBar)) << "the colour of the view type in hand";
    EXPECT_TRUE(bar->GetUseThemeColor()) << "the toolbar's own change keeps it on";

    bar->SetColor(clRed);
    EXPECT_FALSE(bar->GetUseThemeColor()) << "a colour set by hand turns the theme's off";
    bar->Dispatch(done);
    EXPECT_EQ(bar->GetColor(), clRed);
    bar->SetParentColor(true);
    bar->SetUseThemeColor(true);
    EXPECT_FALSE(bar->GetParentColor());
    EXPECT_EQ(bar->GetColor(), theme->QueryViewColor(vtMenuBar));
}

TEST_F(SkinToolbarTest, SnapDistanceReachesItsFloatingWindow)
{
    TRecordingThemeScope theme;
    TSkinToolbar* bar = MakeToolbar(MakeDock(), {L"One"});
    bar->SetSnapDistance(-3);
    EXPECT_EQ(bar->GetSnapDistance(), 0);
    bar->SetSnapDistance(12);
    bar->SetVisible(false);
    bar->SetFloating(true);
    auto* floating = dynamic_cast<TSkinFloatingWindowParent*>(bar->GetFloatForm());
    ASSERT_NE(floating, nullptr);
    EXPECT_EQ(floating->GetSnapDistance(), 12) << "a new floating window takes it";
    bar->SetSnapDistance(7);
    EXPECT_EQ(floating->GetSnapDistance(), 7) << "and follows it";
    EXPECT_TRUE(SameRect(RECT{0, 0, bar->QueryFloatingBorder().cx, bar->QueryFloatingBorder().cy},
                         RECT{0, 0, theme->ViewBorder.cx, theme->ViewBorder.cy}));
}

TEST_F(SkinToolbarTest, DockedFrameAndBackgroundThroughTheTheme)
{
    TRecordingThemeScope theme;
    TSkinDock* left = MakeDock(dpLeft);
    TSkinToolbar* bar = MakeToolbar(left, {L"One", L"Two"});
    bar->SetCloseButtonWhenDocked(true);
    bar->SetDragHandleStyle(dhDouble);
    const HWND wnd = bar->GetHandle();
    RECT window{};
    GetWindowRect(wnd, &window);
    OffsetRect(&window, -window.left, -window.top);
    struct TCase {
        const char* Name;
        bool OpaqueToolbars;
        bool OpaqueFrame;
        bool UseThemeColor;
        bool Hot, Pressed;
        TColor FrameColor;
        TColor FillColor;
        uint32_t CloseState;
    };
    const TCase cases[] = {
        {"transparent toolbars: no colour", false, true, true, false, false, clNone, clNone, cbShown},
        {"opaque toolbars: the view colour", true, true, true, true, false, clViewColor, clViewColor, cbShown | cbHot},
        {"own colour", true, true, false, true, true, clRed, clRed, cbShown | cbPushed},
        {"own colour on transparent toolbars: the fill stays", false, false, false, false, false, clRed, clRed,
         cbShown},
    };
    for (const TCase& c : cases) {
        theme->BooleanMetrics[bmOpaqueToolbars] = c.OpaqueToolbars;
        theme->BooleanMetrics[bmOpaqueToolbarFrame] = c.OpaqueFrame;
        if (c.UseThemeColor)
            bar->SetUseThemeColor(true);
        else
            bar->SetColor(clRed);
        bar->CloseButtonHot = c.Hot;
        bar->CloseButtonPressed = c.Pressed;
        TTestSurface surface(window.right + 2, window.bottom + 2);
        theme->Clear();
        SendMessageA(wnd, WM_PRINT, WPARAM(surface.DC()), PRF_NONCLIENT);
        const auto frames = theme->Of("DrawToolbarFrame");
        ASSERT_EQ(frames.size(), 1u) << c.Name;
        const TSkinToolbarInfo& info = frames[0].Toolbar;
        EXPECT_TRUE(SameRect(frames[0].R, window)) << c.Name;
        EXPECT_EQ(info.Window, wnd) << c.Name;
        EXPECT_EQ(info.ViewType, uint32_t(vtToolbar)) << c.Name;
        EXPECT_TRUE(info.Vertical) << c.Name;
        EXPECT_TRUE(info.DragHandle) << c.Name;
        EXPECT_EQ(info.BorderStyle, 1) << c.Name;
        EXPECT_EQ(info.DragHandleStyle, dhsDoubleBar) << c.Name;
        EXPECT_EQ(info.ClientWidth, bar->GetClientWidth()) << c.Name;
        EXPECT_EQ(info.ClientHeight, bar->GetClientHeight()) << c.Name;
        EXPECT_EQ(info.CloseButtonState, c.CloseState) << c.Name;
        EXPECT_EQ(info.BorderSize.cx, theme->ViewBorder.cx) << c.Name;
        EXPECT_EQ(info.Color, c.FrameColor) << c.Name;

        theme->Clear();
        EXPECT_EQ(SendMessageA(wnd, WM_ERASEBKGND, WPARAM(surface.DC()), 0), 1) << c.Name;
        const auto fills = theme->Of("FillViewBackground");
        ASSERT_EQ(fills.size(), 1u) << c.Name;
        EXPECT_TRUE(SameRect(fills[0].R, bar->GetClientRect())) << c.Name;
        EXPECT_EQ(fills[0].Color, c.FillColor) << c.Name;
        EXPECT_EQ(fills[0].Value, int(vtToolbar)) << c.Name;
        // The dock's client area in the toolbar's coordinates: the theme may line a texture up.
        RECT dockRect = left->GetClientRect();
        MapWindowPoints(left->GetHandle(), wnd, reinterpret_cast<POINT*>(&dockRect), 2);
        EXPECT_TRUE(SameRect(fills[0].Popup.OpenerRect, dockRect)) << c.Name;
    }
    bar->CloseButtonHot = bar->CloseButtonPressed = false;
}

TEST_F(SkinToolbarTest, LayoutMarginsAndItemStatesThroughTheTheme)
{
    TRecordingThemeScope theme;
    TSkinToolbar* bar = MakeToolbar(MakeDock(), {L"Alpha", L"Beta", L"Gamma", L"Delta"});
    TTBView* view = bar->GetView();
    // The theme lists margins as left, right, top, bottom: 1, 2, 3, 4.
    const SIZE alpha = TextSizeInViewFont(view, L"Alpha", DT_SINGLELINE);
    const RECT first = ViewerOf(bar, 0)->GetBoundsRect();
    EXPECT_TRUE(SameRect(first, RECT{1, 3, 1 + 6 + alpha.cx + 4, 3 + 6 + alpha.cy}));
    EXPECT_EQ(bar->GetClientHeight(), 3 + 6 + alpha.cy + 4);
    EXPECT_EQ(ViewerOf(bar, 1)->GetBoundsRect().left, first.right);

    auto* beta = bar->GetItems()->GetItem(1);
    auto* gamma = bar->GetItems()->GetItem(2);
    auto* delta = bar->GetItems()->GetItem(3);
    gamma->SetChecked(true);
    delta->SetEnabled(false);
    const RECT b = ViewerOf(bar, 1)->GetBoundsRect();
    SendMouseMove(bar, (b.left + b.right) / 2, (b.top + b.bottom) / 2);
    EXPECT_EQ(view->GetSelected(), ViewerOf(bar, 1));
    theme->Clear();
    PaintItems(bar);
    const auto frames = FramesByCaption(*theme);
    ASSERT_EQ(frames.size(), 4u);
    struct TExpect {
        const wchar_t* Caption;
        int HotState;
        bool Checked, Enabled;
    };
    const TExpect expected[] = {
        {L"Alpha", 0, false, true}, {L"Beta", 2, false, true}, {L"Gamma", 0, true, true}, {L"Delta", 0, false, false}};
    for (const TExpect& e : expected) {
        const TSkinItemDrawInfo& info = frames.at(e.Caption);
        EXPECT_EQ(info.HotState, e.HotState) << e.Caption;
        EXPECT_EQ(info.Checked, e.Checked) << e.Caption;
        EXPECT_EQ(info.Enabled, e.Enabled) << e.Caption;
        EXPECT_FALSE(info.Pushed) << e.Caption;
        EXPECT_EQ(info.ViewKind, uint32_t(vtToolbar)) << e.Caption;
        EXPECT_EQ(info.ItemFlags & ifToolbarStyle, uint32_t(ifToolbarStyle)) << e.Caption;
    }

    // Pressed: the button is pushed while the mouse holds it, and clicked on release.
    int clicks = 0;
    beta->OnClick = TNotifyEvent([&](TObject*) { ++clicks; });
    const POINT client{(b.left + b.right) / 2, (b.top + b.bottom) / 2};
    POINT screen = client;
    ClientToScreen(bar->GetHandle(), &screen);
    SetCursorPos(screen.x, screen.y);
    bool pushedWhileHeld = false;
    EXPECT_TRUE(RunScripted(
        [&] { SendLeftDown(bar, client.x, client.y); },
        {[&] {
             theme->Clear();
             PaintItems(bar);
             const auto held = FramesByCaption(*theme);
             pushedWhileHeld = held.count(L"Beta") && held.at(L"Beta").Pushed && held.at(L"Beta").HotState == 2;
         },
         [&] { ReleaseButton(screen); }}));
    PumpMessages();
    EXPECT_TRUE(pushedWhileHeld);
    EXPECT_EQ(clicks, 1);
}

} // namespace

namespace {

// The toolbar's whole window as the system prints it: frame, background and items.
std::unique_ptr<TTestSurface> PrintToolbar(TSkinToolbar* bar)
{
    RECT r{};
    GetWindowRect(bar->GetHandle(), &r);
    auto surface = std::make_unique<TTestSurface>(r.right - r.left, r.bottom - r.top);
    PrintWindow(bar->GetHandle(), surface->DC(), 0);
    return surface;
}

// The viewer's rectangle in the toolbar's window coordinates.
RECT InWindow(TSkinToolbar* bar, const RECT& client)
{
    RECT window{}, inner{};
    GetWindowFrame(bar->GetHandle(), window, inner);
    RECT r = client;
    OffsetRect(&r, inner.left, inner.top);
    return r;
}

int CountDark(const TTestSurface& s, const RECT& r)
{
    int dark = 0;
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x) {
            const uint32_t p = s.At(x, y);
            dark += ((p >> 16) & 0xFF) + ((p >> 8) & 0xFF) + (p & 0xFF) < 150 ? 1 : 0;
        }
    return dark;
}

int CountDifferent(const TTestSurface& a, const TTestSurface& b, const RECT& r, bool outside, int width, int height)
{
    int different = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (bool(PtInRect(&r, POINT{x, y})) != outside && a.At(x, y) != b.At(x, y))
                ++different;
    return different;
}

} // namespace

TEST_F(SkinToolbarTest, DefaultThemePixels)
{
    TSkinDock* dock = MakeDock();
    TSkinToolbar* bar = MakeToolbar(dock, {L"Alpha", L"Beta", L"Gamma"});
    RECT window{};
    GetWindowRect(bar->GetHandle(), &window);
    const int w = window.right - window.left, h = window.bottom - window.top;
    const auto cold = PrintToolbar(bar);
    for (int i = 0; i < 3; ++i) {
        const RECT r = InWindow(bar, ViewerOf(bar, i)->GetBoundsRect());
        EXPECT_GT(CountDark(*cold, r), 20) << "the caption's ink, item " << i;
    }
    const RECT last = InWindow(bar, ViewerOf(bar, 2)->GetBoundsRect());
    const RECT beyond{last.right + 1, last.top, w - 3, last.bottom};
    EXPECT_EQ(CountDark(*cold, beyond), 0) << "no ink past the last item";

    const RECT b = ViewerOf(bar, 1)->GetBoundsRect();
    SendMouseMove(bar, (b.left + b.right) / 2, (b.top + b.bottom) / 2);
    PumpMessages();
    const auto hot = PrintToolbar(bar);
    const RECT beta = InWindow(bar, b);
    EXPECT_GT(CountDifferent(*cold, *hot, beta, false, w, h), 0) << "the hot item looks different";
    EXPECT_EQ(CountDifferent(*cold, *hot, beta, true, w, h), 0) << "nothing else changes";
}

TEST_F(SkinToolbarTest, ChevronOfAShortToolbarOpensAThemedPopup)
{
    TRecordingThemeScope theme;
    theme->BooleanMetrics[bmOpaqueToolbars] = true;
    TSkinDock* dock = MakeDock();
    std::vector<const wchar_t*> captions(30, L"Button");
    TSkinToolbar* bar = MakeToolbar(dock, {});
    for (const wchar_t* caption : captions) {
        auto* item = New<TSkinItem>(nullptr);
        item->SetCaption(caption);
        bar->GetItems()->Add(item);
    }
    PumpMessages();
    ASSERT_LE(bar->GetWidth(), dock->GetClientWidth());
    TTBItemViewer* chevron = bar->GetView()->Find(bar->GetChevronItem());
    ASSERT_TRUE(chevron->GetShown()) << "30 buttons do not fit";
    int hidden = 0;
    for (int i = 0; i < bar->GetView()->GetViewerCount(); ++i)
        hidden += bar->GetView()->GetViewer(i)->GetBehindChevron() ? 1 : 0;
    EXPECT_GT(hidden, 0);

    theme->Clear();
    PaintItems(bar);
    const auto glyphs = theme->Of("DrawChevronGlyph");
    ASSERT_EQ(glyphs.size(), 1u);
    EXPECT_EQ(glyphs[0].Info.ViewKind, uint32_t(vtToolbar));
    EXPECT_EQ(glyphs[0].Info.ItemFlags, uint32_t(ifToolbarStyle));
    EXPECT_TRUE(glyphs[0].Info.Enabled);
    EXPECT_FALSE(glyphs[0].Info.Pushed);

    const RECT c = chevron->GetBoundsRect();
    const POINT client{(c.left + c.right) / 2, (c.top + c.bottom) / 2};
    POINT screen = client;
    ClientToScreen(bar->GetHandle(), &screen);
    SetCursorPos(screen.x, screen.y);
    uint32_t popupType = 0;
    bool chevronClass = false, pushed = false;
    int popupItems = 0;
    EXPECT_TRUE(RunScripted([&] { SendLeftDown(bar, client.x, client.y); },
                            {[&] {
                                 TTBPopupWindow* popup = bar->GetView()->GetOpenedViewerWindow();
                                 if (!popup)
                                     return;
                                 chevronClass = Is<TSkinChevronPopupWindow>(popup);
                                 popupType = GetViewTypeOfControl(popup);
                                 popupItems = popup->GetView()->GetViewerCount();
                                 theme->Clear();
                                 PaintItems(bar);
                                 const auto held = theme->Of("DrawChevronGlyph");
                                 pushed = held.size() == 1 && held[0].Info.Pushed && held[0].Info.PopupOpen;
                             },
                             [&] { PostMessageA(GetCapture(), WM_KEYDOWN, VK_ESCAPE, 0); },
                             [&] {
                                 if (GetCapture())
                                     PostMessageA(GetCapture(), WM_KEYDOWN, VK_ESCAPE, 0);
                             }}));
    EXPECT_TRUE(chevronClass);
    EXPECT_EQ(popupType, uint32_t(vtChevronPopup));
    EXPECT_GE(popupItems, hidden);
    EXPECT_TRUE(pushed) << "the chevron is pushed while its popup is open";
}

namespace {

// The visible popup windows of the thread, outermost first.
std::vector<TSkinPopupWindow*> OpenPopups()
{
    std::vector<TSkinPopupWindow*> popups;
    for (HWND wnd : ThreadWindows())
        if (auto* popup = dynamic_cast<TSkinPopupWindow*>(FindControl(wnd)); popup && IsWindowVisible(wnd))
            popups.push_back(popup);
    // A submenu's view has the view it opened from as its parent.
    std::sort(popups.begin(), popups.end(), [](TSkinPopupWindow* a, TSkinPopupWindow* b) {
        return a->GetView()->GetParentView() == nullptr && b->GetView()->GetParentView() != nullptr;
    });
    return popups;
}

void PostKey(WORD vk)
{
    HWND target = GetCapture();
    PostMessageA(target, WM_KEYDOWN, vk, 1);
    PostMessageA(target, WM_KEYUP, vk, 1 | (3L << 30));
}

// The window under the point gets the mouse message there, as the system would post it.
void PostMouseAt(UINT message, WPARAM keys, POINT screen)
{
    SetCursorPos(screen.x, screen.y);
    HWND target = WindowFromPoint(screen);
    POINT client = screen;
    ScreenToClient(target, &client);
    PostMessageA(target, message, keys, MAKELPARAM(client.x, client.y));
}

// The centre of the item's viewer in the innermost open popup that shows it.
POINT CentreOf(TTBCustomItem* item)
{
    for (TSkinPopupWindow* popup : OpenPopups()) {
        TTBView* view = popup->GetView();
        for (int i = 0; i < view->GetViewerCount(); ++i)
            if (view->GetViewer(i)->GetItem() == item) {
                const RECT r = view->GetViewer(i)->ScreenBounds();
                return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
            }
    }
    return POINT{-1, -1};
}

class SkinPopupMenuTest : public testing::Test {
protected:
    void SetUp() override
    {
        Menu.reset(New<TSkinPopupMenu>(nullptr));
        Open = Add(Menu->GetItems(), New<TSkinItem>(nullptr), L"&Open");
        Recent = Add(Menu->GetItems(), New<TSkinSubmenuItem>(nullptr), L"&Recent");
        First = Add(Recent, New<TSkinItem>(nullptr), L"&First");
        Second = Add(Recent, New<TSkinItem>(nullptr), L"&Second");
        Menu->GetItems()->Add(New<TSkinSeparatorItem>(nullptr));
        Close = Add(Menu->GetItems(), New<TSkinItem>(nullptr), L"&Close");
    }
    void TearDown() override
    {
        Menu.reset();
        PumpMessages();
    }
    TTBCustomItem* Add(TTBCustomItem* parent, TTBCustomItem* item, const wchar_t* caption)
    {
        item->SetCaption(caption);
        // A submenu item's click is its opening.
        if (!item->HasTrait(isSubmenu))
            item->OnClick = TNotifyEvent([this, item](TObject*) { Clicked.push_back(item->GetCaption()); });
        parent->Add(item);
        return item;
    }

    std::unique_ptr<TSkinPopupMenu, TObjectFree> Menu;
    TTBCustomItem *Open = nullptr, *Recent = nullptr, *First = nullptr, *Second = nullptr, *Close = nullptr;
    std::vector<std::wstring> Clicked;
};

} // namespace

TEST_F(SkinPopupMenuTest, RunsFromAControlByKeyboardAndMouse)
{
    TRecordingThemeScope theme;
    const RECT control{100, 100, 180, 124};
    using TSteps = std::vector<std::function<void()>>;
    struct TCase {
        const char* Name;
        TSteps Script;
        const wchar_t* Expected;  // nullptr: nothing chosen
    };
    std::vector<uint32_t> popupTypes;
    std::vector<LONG> popupTops;
    auto note = [&] {
        for (TSkinPopupWindow* popup : OpenPopups()) {
            popupTypes.push_back(GetViewTypeOfControl(popup));
            RECT r{};
            GetWindowRect(popup->GetHandle(), &r);
            popupTops.push_back(r.top);
        }
    };
    auto moveTo = [](TTBCustomItem* item) { return [item] { PostMouseAt(WM_MOUSEMOVE, 0, CentreOf(item)); }; };
    auto click = [](TTBCustomItem* item) {
        return [item] {
            const POINT p = CentreOf(item);
            // Not open: a press elsewhere on the screen could start another window's own loop.
            if (p.x < 0) {
                PostKey(VK_ESCAPE);
                return;
            }
            PostMouseAt(WM_LBUTTONDOWN, MK_LBUTTON, p);
            PostMouseAt(WM_LBUTTONUP, 0, p);
        };
    };
    const struct {
        const char* Name;
        TSteps Script;
        const wchar_t* Expected;
    } cases[] = {
        {"Down selects the first item, Return chooses it", {note, [] { PostKey(VK_DOWN); }, [] { PostKey(VK_RETURN); }},
         L"&Open"},
        {"Right opens the submenu at its first item",
         {[] { PostKey(VK_DOWN); }, [] { PostKey(VK_DOWN); }, [] { PostKey(VK_RIGHT); }, note, [] { PostKey(VK_DOWN); },
          [] { PostKey(VK_RETURN); }},
         L"&Second"},
        {"a click on an item", {moveTo(Close), click(Close)}, L"&Close"},
        {"the mouse into the submenu, after the system's delay", [&] {
             TSteps steps{moveTo(Recent)};
             steps.resize(1 + 20, [] {});
             steps.push_back(moveTo(First));
             steps.push_back(click(First));
             return steps;
         }(), L"&First"},
        {"Escape chooses nothing", {[] { PostKey(VK_ESCAPE); }}, nullptr},
    };
    for (const auto& c : cases) {
        Clicked.clear();
        TTBCustomItem* result = nullptr;
        EXPECT_TRUE(RunScripted([&] { result = Menu->PopupAtControl(control, false); }, c.Script, 40, 6000)) << c.Name;
        EXPECT_TRUE(OpenPopups().empty()) << c.Name;
        EXPECT_EQ(result ? result->GetCaption() : std::wstring(), c.Expected ? c.Expected : L"") << c.Name;
        PumpMessages();
        EXPECT_EQ(Clicked, c.Expected ? std::vector<std::wstring>{c.Expected} : std::vector<std::wstring>{}) << c.Name;
    }
    // What the notes saw: the menu below the control, its submenu themed as well.
    ASSERT_EQ(popupTypes.size(), 3u);
    EXPECT_EQ(popupTypes[0], uint32_t(vtPopup));
    EXPECT_EQ(popupTops[0], control.bottom);
    EXPECT_EQ(popupTypes[2], uint32_t(vtPopup)) << "the submenu";
    EXPECT_EQ(Menu->GetPopupPoint().x, control.left);
    EXPECT_EQ(Menu->GetPopupPoint().y, control.bottom);
}

TEST_F(SkinPopupMenuTest, ShowingAndClosingLeavesNothingBehind)
{
    // A first run creates what lives for the thread (the menu loop's window, the menu font).
    RunScripted([&] { Menu->PopupAtControl(RECT{100, 100, 180, 124}, false); }, {[] { PostKey(VK_ESCAPE); }});
    const TResourceCounts before = CountResources();
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(RunScripted([&] { Menu->PopupAtControl(RECT{100, 100, 180, 124}, false); },
                                {[] { PostKey(VK_DOWN); }, [] { PostKey(VK_DOWN); }, [] { PostKey(VK_RIGHT); },
                                 [] { PostKey(VK_ESCAPE); }, [] { PostKey(VK_ESCAPE); }}));
        EXPECT_TRUE(RunScripted([&] { Menu->Popup(150, 150); }, {[] { PostKey(VK_ESCAPE); }}));
    }
    PumpMessages();
    const TResourceCounts after = CountResources();
    EXPECT_EQ(after, before) << Describe(before) << " before, " << Describe(after) << " after";
}

TEST_F(SkinToolbarTest, OverADockBackgroundASizeChangeRepaintsOnlyBetweenTheItems)
{
    TRecordingThemeScope theme;
    TSkinDock* dock = MakeDock();
    TSkinToolbar* bar = MakeToolbar(dock, {L"One", L"Two"});
    const HWND wnd = bar->GetHandle();
    const RECT item = ViewerOf(bar, 0)->GetBoundsRect();
    const POINT inItem{(item.left + item.right) / 2, (item.top + item.bottom) / 2};
    // The recording theme's margins leave a strip of background at the toolbar's left.
    const POINT between{0, inItem.y};
    struct TCase {
        const char* Name;
        bool ParentBackground;
        HWND Sized;
        bool Repaints;
    };
    const TCase cases[] = {
        {"the toolbar sized over the dock's background", true, wnd, true},
        {"the dock sized under its toolbar", true, dock->GetHandle(), true},
        {"no background: nothing to repaint", false, wnd, false},
        {"no background on the dock either", false, dock->GetHandle(), false},
    };
    for (const TCase& c : cases) {
        dock->SetUseParentBackground(c.ParentBackground);
        PumpMessages();
        RedrawWindow(wnd, nullptr, nullptr, RDW_VALIDATE | RDW_NOCHILDREN);
        RECT r{};
        GetClientRect(c.Sized, &r);
        SendMessageA(c.Sized, WM_SIZE, SIZE_RESTORED, MAKELPARAM(r.right, r.bottom));
        TGdiObject<HRGN> update(CreateRectRgn(0, 0, 0, 0));
        GetUpdateRgn(wnd, update.Get(), FALSE);
        EXPECT_EQ(bool(PtInRegion(update.Get(), between.x, between.y)), c.Repaints) << c.Name;
        EXPECT_FALSE(PtInRegion(update.Get(), inItem.x, inItem.y)) << c.Name << ": the items stay as they are";
    }
}

TEST_F(SkinToolbarTest, ThemeChangesHoldTheLayoutUntilTheLastMessage)
{
    TRecordingThemeScope theme;
    TSkinToolbar* bar = MakeToolbar(MakeDock(), {L"One"});
    auto add = [&] {
        auto* item = New<TSkinItem>(nullptr);
        item->SetCaption(L"More");
        bar->GetItems()->Add(item);
        PumpMessages();
        return bar->GetWidth();
    };
    TMessage first{TBM_NEWTHEME, scColors, 0, 0}, done{TBM_NEWTHEME, scThemeDone, 0, 0};
    // A toolbar made after the first message hears only the last: its updates stay balanced.
    bar->Dispatch(done);
    int width = bar->GetWidth();
    EXPECT_GT(add(), width) << "the layout still follows the items";
    width = bar->GetWidth();
    bar->Dispatch(first);
    bar->Dispatch(first);
    EXPECT_EQ(add(), width) << "held while the theme changes";
    bar->Dispatch(done);
    PumpMessages();
    EXPECT_GT(bar->GetWidth(), width) << "arranged with the theme's last message";
    width = bar->GetWidth();
    EXPECT_GT(add(), width) << "and not held any longer";
}

TEST_F(SkinToolbarTest, AVisibilityToggleTakesTheToolbarsWideCaption)
{
    TRecordingThemeScope theme;
    TSkinToolbar* bar = MakeToolbar(MakeDock(), {L"One"});
    bar->SetCaption(L"\x0418\x043D\x0441\x0442\x0440\x0443\x043C\x0435\x043D\x0442\x044B");
    std::unique_ptr<TSkinVisibilityToggleItem, TObjectFree> toggle(New<TSkinVisibilityToggleItem>(nullptr));
    toggle->SetControl(bar);
    EXPECT_EQ(toggle->GetCaption(), bar->GetCaption());
    EXPECT_TRUE(toggle->GetChecked());
    toggle->Click();
    EXPECT_FALSE(bar->GetVisible());
    toggle->InitiateAction();
    EXPECT_FALSE(toggle->GetChecked());
}

TEST_F(SkinToolbarTest, AToolbarAndItsChevronPopupLeaveNothingBehind)
{
    TRecordingThemeScope theme;
    auto run = [&] {
        TSkinDock* dock = MakeDock();
        TSkinToolbar* bar = MakeToolbar(dock, {});
        for (int i = 0; i < 30; ++i) {
            auto* item = New<TSkinItem>(nullptr);
            item->SetCaption(L"Button");
            bar->GetItems()->Add(item);
        }
        PumpMessages();
        const RECT c = bar->GetView()->Find(bar->GetChevronItem())->GetBoundsRect();
        const POINT client{(c.left + c.right) / 2, (c.top + c.bottom) / 2};
        POINT screen = client;
        ClientToScreen(bar->GetHandle(), &screen);
        SetCursorPos(screen.x, screen.y);
        const bool ended = RunScripted([&] { SendLeftDown(bar, client.x, client.y); },
                                       {[] {}, [] { PostMessageA(GetCapture(), WM_KEYDOWN, VK_ESCAPE, 0); },
                                        [] {
                                            if (GetCapture())
                                                PostMessageA(GetCapture(), WM_KEYDOWN, VK_ESCAPE, 0);
                                        }});
        THostForm::Clear();
        return ended;
    };
    // The first run makes what lives for the thread (the menu loop's window, the menu font).
    ASSERT_TRUE(run());
    const TResourceCounts before = CountResources();
    EXPECT_TRUE(run());
    EXPECT_TRUE(run());
    const TResourceCounts after = CountResources();
    EXPECT_EQ(after, before) << Describe(before) << " before, " << Describe(after) << " after";
}
