#include "SkinTestSupport.h"

#include <gtest/gtest.h>
#include <vsstyle.h>

#include <functional>
#include <set>
#include <vector>

#include "skin/Skin.h"
#include "skin/SkinDefaultTheme.h"
#include "platform/ScopeGuards.h"
#include "skin/SkinUtils.h"

namespace {

TSkinDefaultTheme* Theme()
{
    return static_cast<TSkinDefaultTheme*>(CurrentTheme());
}

uint32_t Sys(int index)
{
    return PixelRGB(GetSysColor(index));
}

uint32_t ColorPixel(TColor c)
{
    return PixelRGB(COLORREF(ColorToRGB(c)));
}

TSkinItemDrawInfo Item(uint32_t viewKind, uint32_t flags, bool enabled, uint8_t hot = 0, bool pushed = false,
                       bool checked = false)
{
    TSkinItemDrawInfo info;
    info.ViewKind = viewKind;
    info.ItemFlags = flags;
    info.Enabled = enabled;
    info.HotState = hot;
    info.Pushed = pushed;
    info.Checked = checked;
    return info;
}

// Flat menus on or off while it lives.
class TFlatMenus {
public:
    explicit TFlatMenus(bool on) : FSaved(VisualStyleState().FlatMenuStyle) { VisualStyleState().FlatMenuStyle = on; }
    ~TFlatMenus() { VisualStyleState().FlatMenuStyle = FSaved; }

private:
    bool FSaved;
};

// Visual styles as a recording stand-in: every part drawn fills its rectangle with a colour made of
// class, part and state, and is noted; colours, margins and sizes come from fixed values.
struct TPartCall {
    int Class, Part, State;
    RECT Bounds;
};
std::vector<TPartCall> gPartCalls;

COLORREF PartColor(int cls, int part, int state)
{
    return RGB(cls * 20 + 5, part * 9 + 3, state * 30 + 1);
}

HRESULT WINAPI FakeDraw(HTHEME theme, HDC dc, int part, int state, const RECT* r, const RECT*)
{
    const int cls = int(reinterpret_cast<intptr_t>(theme)) - 1;
    gPartCalls.push_back(TPartCall{cls, part, state, *r});
    HBRUSH brush = CreateSolidBrush(PartColor(cls, part, state));
    FillRect(dc, r, brush);
    DeleteObject(brush);
    return S_OK;
}

HRESULT WINAPI FakeColor(HTHEME theme, int, int, int property, COLORREF* color)
{
    const int cls = int(reinterpret_cast<intptr_t>(theme)) - 1;
    *color = RGB(cls * 10, property % 256, 77);
    return S_OK;
}

HRESULT WINAPI FakeRegion(HTHEME, HDC, int, int, const RECT* r, HRGN* region)
{
    *region = CreateRectRgnIndirect(r);
    return S_OK;
}

HRESULT WINAPI FakeMargins(HTHEME, HDC, int, int, int, const RECT*, MARGINS* margins)
{
    margins->cxLeftWidth = 3;
    margins->cyTopHeight = 4;
    margins->cxRightWidth = 5;
    margins->cyBottomHeight = 6;
    return S_OK;
}

HRESULT WINAPI FakePartSize(HTHEME, HDC, int, int, const RECT*, THEMESIZE, SIZE* size)
{
    *size = SIZE{15, 20};
    return S_OK;
}

HRESULT WINAPI FakeContent(HTHEME, HDC, int, int, const RECT* r, RECT* content)
{
    *content = *r;
    InflateRect(content, -2, -1);
    return S_OK;
}

class TFakeVisualStyles {
public:
    TFakeVisualStyles() : FState(VisualStyleState()), FCalls(VisualStyleCalls())
    {
        TVisualStyleState& state = VisualStyleState();
        state.VisualStylesInUse = true;
        for (int i = 0; i < vscCount; ++i)
            state.Handles[i] = reinterpret_cast<HTHEME>(intptr_t(i + 1));
        TVisualStyleCalls& calls = VisualStyleCalls();
        calls = TVisualStyleCalls{};
        calls.DrawThemeBackground = &FakeDraw;
        calls.GetThemeColor = &FakeColor;
        calls.GetThemeBackgroundRegion = &FakeRegion;
        calls.GetThemeMargins = &FakeMargins;
        calls.GetThemePartSize = &FakePartSize;
        calls.GetThemeBackgroundContentRect = &FakeContent;
        Theme()->ComputeColors();
        gPartCalls.clear();
    }
    ~TFakeVisualStyles()
    {
        VisualStyleState() = FState;
        VisualStyleCalls() = FCalls;
        Theme()->ComputeColors();
    }

private:
    TVisualStyleState FState;
    TVisualStyleCalls FCalls;
};

// Draws into a fresh DIB of the size filled with a marker colour and gives the DIB back.
template <class Draw>
TDIBPtr Painted(int w, int h, Draw&& draw, uint32_t fill = 0xFF123456)
{
    TDIBPtr dib = MakeDIB(w, h, fill);
    draw(dib->GetDC(), RECT{0, 0, w, h});
    GdiFlush();
    return dib;
}

std::set<uint32_t> ColoursIn(const TDIB32* dib)
{
    std::set<uint32_t> colours;
    for (uint32_t p : PixelsOf(dib))
        colours.insert(RGBOf(p));
    return colours;
}

} // namespace

TEST(DefaultTheme, ViewColoursByFamilyThenKind)
{
    TSkinDefaultTheme* theme = Theme();
    const TColor toolbar = theme->GetToolbarColor();
    const struct {
        uint32_t ViewType;
        TColor Expected;
    } cases[] = {
        {0x101, toolbar},        {0x10101, toolbar},
        {0x102, toolbar},        {0x201, clMenu},
        {0x204, clMenu},         {0x202, clWindow},
        {0x203, toolbar},        {0x2FF, clBtnFace},
        {0x300, theme->GetStatusBarColor()}, {0x400, theme->GetDockPanelColor()},
        {0x500, toolbar},        {0x601, theme->GetDockColor()},
        {0x602, theme->GetDockColor()}, {0x700, clBtnFace},
        {0, clBtnFace},
    };
    for (const auto& c : cases)
        EXPECT_EQ(theme->QueryViewColor(c.ViewType), c.Expected) << std::hex << c.ViewType;
    EXPECT_EQ(theme->GetDockPanelColor(), MixToScreenColor(clBtnFace, clWindow, 64));
    EXPECT_EQ(theme->QueryViewColor(0x601), clBtnFace) << "plain docks are button face";
}

TEST(DefaultTheme, TextColoursFollowTheirRulesInOrder)
{
    TSkinDefaultTheme* theme = Theme();
    const uint32_t active = ifAppActive;
    for (bool flat : {false, true}) {
        TFlatMenus menus(flat);
        const struct {
            const char* Name;
            TSkinItemDrawInfo Info;
            TColor Expected;
        } cases[] = {
            {"disabled", Item(vtPopup, active, false, 2), clGrayText},
            {"toolbar button", Item(vtToolbar, ifToolbarStyle | active, true, 2), clBtnText},
            {"menu bar of an inactive program", Item(vtMenuBar, ifToolbarStyle, true),
             flat ? clGrayText : clGrayText},
            {"hot menu bar item", Item(vtMenuBar, ifToolbarStyle | active, true, 2),
             flat ? clHighlightText : clBtnText},
            {"hot popup item", Item(vtPopup, active, true, 1), clHighlightText},
            {"popup item", Item(vtPopup, active, true), clMenuText},
        };
        for (const auto& c : cases)
            EXPECT_EQ(theme->QueryItemTextColor(c.Info), c.Expected) << c.Name << (flat ? " (flat menus)" : "");
    }
    // Hot: enabled with any hot state; disabled only with hot state 1.
    EXPECT_EQ(theme->QueryItemColor(Item(vtPopup, 0, true, 2)), clHighlight);
    EXPECT_EQ(theme->QueryItemColor(Item(vtPopup, 0, false, 1)), clHighlight);
    EXPECT_EQ(theme->QueryItemColor(Item(vtPopup, 0, false, 2)), clMenu);
    EXPECT_EQ(theme->QueryItemColor(Item(vtPopup, ifToolbarStyle, true, 2)), clMenu);
    {
        TFlatMenus menus(true);
        EXPECT_EQ(theme->QueryImageBackColor(Item(vtMenuBar, ifToolbarStyle, true, 2)), clHighlight);
        EXPECT_EQ(theme->QueryImageBackColor(Item(vtChevronPopup, 0, true)), theme->GetToolbarColor());
        EXPECT_EQ(theme->QueryImageBackColor(Item(vtPopup, 0, true, 2)), theme->GetToolbarColor());
        EXPECT_EQ(theme->QueryImageBackColor(Item(vtPopup, 0, true, 0)), clMenu);
    }
    POINT shift = theme->QueryImageShift(nullptr, Item(vtToolbar, 0, true, 0, false, true), 0);
    EXPECT_EQ(shift.x, 1);
    shift = theme->QueryImageShift(nullptr, Item(vtToolbar, 0, true, 2), 0);
    EXPECT_EQ(shift.x, 0);
}

TEST(DefaultTheme, BordersMarginsAndMetrics)
{
    TSkinDefaultTheme* theme = Theme();
    const struct {
        uint32_t ViewType;
        SIZE Expected;
    } borders[] = {
        {0x101, {2, 2}},
        {0x10101, {GetSystemMetrics(SM_CXFIXEDFRAME), GetSystemMetrics(SM_CYFIXEDFRAME)}},
        {0x30101, {GetSystemMetrics(SM_CXFRAME), GetSystemMetrics(SM_CYFRAME)}},
        {0x30400, {GetSystemMetrics(SM_CXFRAME), GetSystemMetrics(SM_CYFRAME)}},
        {0x201, {3, 3}},
        {0x202, {1, 1}},
        {0x601, {0, 0}},
    };
    for (const auto& b : borders) {
        const SIZE s = theme->QueryViewBorder(b.ViewType);
        EXPECT_TRUE(s.cx == b.Expected.cx && s.cy == b.Expected.cy) << std::hex << b.ViewType;
    }
    const TSkinMargins floating = theme->QueryViewMargins(0x10101);
    EXPECT_TRUE(floating.Left == 4 && floating.Top == 4 && floating.Right == 2 && floating.Bottom == 1);
    EXPECT_EQ(theme->QueryViewMargins(0x101).Left, 0);
    const TSkinMargins item = theme->QueryMargins(mkItemContent), menu = theme->QueryMargins(mkMenuItem);
    const TSkinMargins panel = theme->QueryMargins(mkStatusPanel), other = theme->QueryMargins(9);
    EXPECT_TRUE(item.Left == 2 && item.Bottom == 2);
    EXPECT_TRUE(menu.Left == 0 && menu.Right == 2 && menu.Bottom == 2);
    EXPECT_TRUE(panel.Left == 1 && panel.Top == 3 && panel.Right == 1 && panel.Bottom == 1);
    EXPECT_TRUE(other.Left == 0 && other.Bottom == 0);

    const std::pair<int, int> metrics[] = {{10, 11}, {20, 8}, {21, 3}, {32, 1}, {62, 1}, {33, 2}, {34, 2}, {36, 2},
                                           {60, 2},  {61, 2}, {37, 4}, {50, 6}, {65, 13}, {66, 0}, {35, -1}, {99, -1}};
    for (const auto& [id, value] : metrics)
        EXPECT_EQ(theme->QueryIntegerMetric(id), value) << id;
    for (int id : {1, 4, 5, 6, 7, 99})
        EXPECT_FALSE(theme->QueryBooleanMetric(id)) << id;
    EXPECT_EQ(theme->QueryPopupShadowStyle(), 1);
}

TEST(DefaultTheme, ViewBackgroundFillsOnlyInsideTheClip)
{
    TSkinDefaultTheme* theme = Theme();
    bool answered = true;
    TDIBPtr none = Painted(10, 10, [&](HDC dc, RECT r) {
        answered = theme->FillViewBackground(dc, r, r, r, clNone, vtToolbar);
    });
    EXPECT_FALSE(answered);
    EXPECT_EQ(ColoursIn(none.get()), (std::set<uint32_t>{0x123456}));
    TDIBPtr clipped = Painted(10, 10, [&](HDC dc, RECT r) {
        answered = theme->FillViewBackground(dc, r, RECT{2, 2, 8, 8}, RECT{5, 0, 10, 10}, clViewColor, vtListPopup);
    });
    EXPECT_TRUE(answered);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x) {
            const bool inside = x >= 5 && x < 8 && y >= 2 && y < 8;
            ASSERT_EQ(RGBOf(PixelAt(clipped.get(), x, y)), inside ? Sys(COLOR_WINDOW) : 0x123456u) << x << "," << y;
        }
}

TEST(DefaultTheme, PlainButtonFramesByState)
{
    TSkinDefaultTheme* theme = Theme();
    TFlatMenus menus(false);
    const auto frame = [&](const TSkinItemDrawInfo& info) {
        return Painted(12, 10, [&](HDC dc, RECT r) { theme->DrawButtonFrame(dc, r, info); });
    };
    TDIBPtr hot = frame(Item(vtToolbar, ifToolbarStyle, true, 2));
    EXPECT_EQ(RGBOf(PixelAt(hot.get(), 0, 0)), Sys(COLOR_BTNHIGHLIGHT));
    EXPECT_EQ(RGBOf(PixelAt(hot.get(), 11, 9)), Sys(COLOR_BTNSHADOW));
    EXPECT_EQ(RGBOf(PixelAt(hot.get(), 5, 5)), 0x123456u) << "a plain toolbar button keeps what is behind it";
    TDIBPtr pushed = frame(Item(vtToolbar, ifToolbarStyle, true, 2, true));
    EXPECT_EQ(RGBOf(PixelAt(pushed.get(), 0, 0)), Sys(COLOR_BTNSHADOW));
    EXPECT_EQ(RGBOf(PixelAt(pushed.get(), 11, 9)), Sys(COLOR_BTNHIGHLIGHT));
    TDIBPtr checked = frame(Item(vtToolbar, ifToolbarStyle, true, 0, false, true));
    EXPECT_NE(RGBOf(PixelAt(checked.get(), 3, 3)), RGBOf(PixelAt(checked.get(), 4, 3))) << "dithered";
    EXPECT_EQ(RGBOf(PixelAt(checked.get(), 3, 3)), RGBOf(PixelAt(checked.get(), 4, 4)));
    TDIBPtr idle = frame(Item(vtToolbar, ifToolbarStyle, true));
    EXPECT_EQ(ColoursIn(idle.get()), (std::set<uint32_t>{0x123456})) << "nothing for an idle button";
    TDIBPtr disabledHot = frame(Item(vtToolbar, ifToolbarStyle, false, 1));
    EXPECT_EQ(RGBOf(PixelAt(disabledHot.get(), 0, 0)), Sys(COLOR_BTNHIGHLIGHT)) << "hot state 1 is hot when disabled";
    TDIBPtr disabledSelected = frame(Item(vtToolbar, ifToolbarStyle, false, 2));
    EXPECT_EQ(ColoursIn(disabledSelected.get()), (std::set<uint32_t>{0x123456}));
    // A framed toolbar fills its buttons.
    TDIBPtr framed = frame(Item(vtToolbar | vtFramed, ifToolbarStyle, true));
    EXPECT_EQ(RGBOf(PixelAt(framed.get(), 5, 5)), ColorPixel(theme->GetToolbarColor()));

    TFlatMenus flatMenus(true);
    TDIBPtr menuBar = frame(Item(vtMenuBar, ifToolbarStyle, true, 2));
    EXPECT_EQ(ColoursIn(menuBar.get()), (std::set<uint32_t>{Sys(COLOR_HIGHLIGHT)}));
    TDIBPtr flatHot = frame(Item(vtToolbar, ifToolbarStyle, true, 2));
    EXPECT_EQ(RGBOf(PixelAt(flatHot.get(), 5, 5)), ColorPixel(theme->GetToolbarColor()));
}

TEST(DefaultTheme, TextEmbossedOnlyWithoutVisualStyles)
{
    TSkinDefaultTheme* theme = Theme();
    const auto text = [&](const TSkinItemDrawInfo& info, TColor color) {
        return Painted(60, 20, [&](HDC dc, RECT r) {
            SetTextColor(dc, RGB(200, 0, 0));
            theme->DrawItemText(dc, r, info, L"WWW", DT_SINGLELINE | DT_LEFT | DT_TOP, color);
        });
    };
    std::set<uint32_t> disabled = ColoursIn(text(Item(vtPopup, 0, false), clViewColor).get());
    EXPECT_TRUE(disabled.count(Sys(COLOR_BTNHIGHLIGHT)) && disabled.count(Sys(COLOR_BTNSHADOW))) << "embossed";
    std::set<uint32_t> plainHot = ColoursIn(text(Item(vtPopup, 0, false, 1), clViewColor).get());
    EXPECT_TRUE(plainHot.count(Sys(COLOR_GRAYTEXT)) && !plainHot.count(Sys(COLOR_BTNHIGHLIGHT)));
    std::set<uint32_t> own = ColoursIn(text(Item(vtPopup, 0, true), clNone).get());
    EXPECT_TRUE(own.count(0xC80000)) << "no colour keeps the DC's text colour";
    {
        TFakeVisualStyles styles;
        std::set<uint32_t> flat = ColoursIn(text(Item(vtPopup, 0, false), clViewColor).get());
        EXPECT_FALSE(flat.count(Sys(COLOR_BTNHIGHLIGHT))) << "plain grey text with visual styles";
    }
    // A pushed toolbar caption moves by one pixel.
    TDIBPtr up = text(Item(vtToolbar, ifToolbarStyle, true), clBlack);
    TDIBPtr down = text(Item(vtToolbar, ifToolbarStyle, true, 0, true), clBlack);
    EXPECT_EQ(RGBOf(PixelAt(up.get(), 5, 5)), RGBOf(PixelAt(down.get(), 6, 6)));
}

TEST(DefaultTheme, PlainFramesSeparatorsAndGlyphs)
{
    TSkinDefaultTheme* theme = Theme();
    {
        TFlatMenus menus(true);
        TDIBPtr flat = Painted(20, 20, [&](HDC dc, RECT r) { theme->DrawPopupFrame(dc, r, TSkinPopupInfo{nullptr, vtPopup}); });
        EXPECT_EQ(RGBOf(PixelAt(flat.get(), 0, 0)), Sys(COLOR_BTNSHADOW));
        EXPECT_EQ(RGBOf(PixelAt(flat.get(), 1, 1)), Sys(COLOR_MENU));
        EXPECT_EQ(RGBOf(PixelAt(flat.get(), 3, 3)), 0x123456u);
    }
    {
        TFlatMenus menus(false);
        TDIBPtr raised = Painted(20, 20, [&](HDC dc, RECT r) { theme->DrawPopupFrame(dc, r, TSkinPopupInfo{nullptr, vtPopup}); });
        EXPECT_EQ(RGBOf(PixelAt(raised.get(), 0, 0)), Sys(COLOR_3DLIGHT));
        EXPECT_EQ(RGBOf(PixelAt(raised.get(), 19, 19)), Sys(COLOR_3DDKSHADOW));
        EXPECT_EQ(RGBOf(PixelAt(raised.get(), 2, 2)), Sys(COLOR_MENU));
        TDIBPtr list = Painted(20, 20, [&](HDC dc, RECT r) { theme->DrawPopupFrame(dc, r, TSkinPopupInfo{nullptr, vtListPopup}); });
        EXPECT_EQ(RGBOf(PixelAt(list.get(), 0, 0)), Sys(COLOR_WINDOWFRAME));
        EXPECT_EQ(RGBOf(PixelAt(list.get(), 2, 2)), Sys(COLOR_WINDOW));
    }
    // A menu separator: an etched line one pixel above the middle, 12 pixels in from each end.
    TDIBPtr separator = Painted(40, 8, [&](HDC dc, RECT r) {
        theme->DrawSeparatorLine(dc, r, Item(vtPopup, 0, true), true, false);
    });
    EXPECT_EQ(RGBOf(PixelAt(separator.get(), 20, 3)), Sys(COLOR_BTNSHADOW));
    EXPECT_EQ(RGBOf(PixelAt(separator.get(), 20, 4)), Sys(COLOR_BTNHIGHLIGHT));
    EXPECT_EQ(RGBOf(PixelAt(separator.get(), 11, 3)), 0x123456u);
    EXPECT_EQ(RGBOf(PixelAt(separator.get(), 12, 3)), Sys(COLOR_BTNSHADOW));
    TDIBPtr hidden = Painted(40, 8, [&](HDC dc, RECT r) { theme->DrawSeparatorLine(dc, r, Item(vtPopup, 0, false), true, false); });
    EXPECT_EQ(ColoursIn(hidden.get()), (std::set<uint32_t>{0x123456}));

    // The chevron glyph 4 pixels below the top, centred.
    TDIBPtr chevron = Painted(16, 14, [&](HDC dc, RECT r) { theme->DrawChevronGlyph(dc, r, Item(vtToolbar, ifToolbarStyle, true)); });
    const int gx = 4, gy = 4;
    const uint16_t rows[] = {0xCC, 0x66, 0x33, 0x66, 0xCC};
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 8; ++x) {
            const bool set = rows[y] & (0x80 >> x);
            ASSERT_EQ(RGBOf(PixelAt(chevron.get(), gx + x, gy + y)) == Sys(COLOR_BTNTEXT), set) << x << "," << y;
        }
    // The drop-down arrow: pointing down, its tip one pixel above the middle's row below.
    TDIBPtr arrow = Painted(11, 11, [&](HDC dc, RECT r) { theme->DrawArrowGlyph(dc, r, Item(vtPopup, 0, true)); });
    EXPECT_EQ(RGBOf(PixelAt(arrow.get(), 5, 4)), Sys(COLOR_BTNTEXT));
    EXPECT_EQ(RGBOf(PixelAt(arrow.get(), 5, 1)), 0x123456u);
    // A radio mark: a dot in the middle.
    TDIBPtr radio = Painted(16, 16, [&](HDC dc, RECT r) { theme->DrawCheckGlyph(dc, r, Item(vtPopup, ifRadio, true, 0, false, true)); });
    EXPECT_EQ(RGBOf(PixelAt(radio.get(), 8, 8)), Sys(COLOR_BTNTEXT));
    // Status bar: background and a panel frame whose right edge stands two pixels in.
    TDIBPtr status = Painted(30, 12, [&](HDC dc, RECT r) { theme->DrawStatusBarPart(dc, r, spBackground); });
    EXPECT_EQ(ColoursIn(status.get()), (std::set<uint32_t>{ColorPixel(theme->GetStatusBarColor())}));
    TDIBPtr panel = Painted(30, 12, [&](HDC dc, RECT r) { theme->DrawStatusBarPart(dc, r, spPanel); });
    EXPECT_EQ(RGBOf(PixelAt(panel.get(), 0, 0)), Sys(COLOR_BTNSHADOW));
    EXPECT_EQ(RGBOf(PixelAt(panel.get(), 27, 6)), Sys(COLOR_BTNHIGHLIGHT));
    EXPECT_EQ(RGBOf(PixelAt(panel.get(), 29, 6)), 0x123456u);
}

TEST(DefaultTheme, PlainToolbarFramesAndEditItems)
{
    TSkinDefaultTheme* theme = Theme();
    TSkinToolbarInfo toolbar;
    toolbar.ViewType = vtToolbar;
    toolbar.BorderStyle = 1;
    toolbar.BorderSize = SIZE{2, 2};
    toolbar.ClientWidth = 60;
    toolbar.ClientHeight = 20;
    toolbar.DragHandle = true;
    toolbar.DragHandleStyle = dhsSingleBar;
    toolbar.Color = clViewColor;
    TDIBPtr frame = Painted(64, 24, [&](HDC dc, RECT r) { theme->DrawToolbarFrame(dc, r, toolbar); });
    EXPECT_EQ(RGBOf(PixelAt(frame.get(), 0, 0)), Sys(COLOR_BTNHIGHLIGHT));
    EXPECT_EQ(RGBOf(PixelAt(frame.get(), 63, 23)), Sys(COLOR_BTNSHADOW));
    // The single grip bar, offset 2 into the handle: its light left side and dark right side.
    EXPECT_EQ(RGBOf(PixelAt(frame.get(), 4, 10)), Sys(COLOR_BTNHIGHLIGHT));
    EXPECT_EQ(RGBOf(PixelAt(frame.get(), 6, 10)), Sys(COLOR_BTNSHADOW));
    EXPECT_EQ(RGBOf(PixelAt(frame.get(), 30, 10)), ColorPixel(theme->GetToolbarColor()));
    toolbar.Color = clNone;
    TDIBPtr noColour = Painted(64, 24, [&](HDC dc, RECT r) { theme->DrawToolbarFrame(dc, r, toolbar); });
    EXPECT_EQ(RGBOf(PixelAt(noColour.get(), 30, 10)), Sys(COLOR_BTNFACE));

    TSkinEditInfo edit;
    edit.RightWidth = 12;
    edit.Button.Kind = ebDropDown;
    TDIBPtr field = Painted(60, 20, [&](HDC dc, RECT r) { theme->DrawEditItem(dc, r, Item(vtToolbar, ifToolbarStyle, true), edit); });
    EXPECT_EQ(RGBOf(PixelAt(field.get(), 10, 10)), Sys(COLOR_WINDOW));
    EXPECT_EQ(RGBOf(PixelAt(field.get(), 52, 9)), Sys(COLOR_BTNTEXT)) << "the drop-down arrow";
    TDIBPtr disabled = Painted(60, 20, [&](HDC dc, RECT r) { theme->DrawEditItem(dc, r, Item(vtToolbar, ifToolbarStyle, false), TSkinEditInfo{}); });
    EXPECT_EQ(RGBOf(PixelAt(disabled.get(), 10, 10)), 0x123456u) << "a disabled field is not filled";
}

TEST(DefaultTheme, VisualStylesChooseClassPartAndState)
{
    TFakeVisualStyles styles;
    TSkinDefaultTheme* theme = Theme();
    EXPECT_EQ(theme->GetDockColor(), TColor(RGB(vscRebar * 10, 3802 % 256, 77)));
    EXPECT_EQ(theme->GetToolbarTextColor(), TColor(RGB(vscToolbar * 10, 3803 % 256, 77)));
    EXPECT_TRUE(theme->QueryBooleanMetric(bmVisualStyles));
    EXPECT_EQ(theme->QueryIntegerMetric(imSplitArrowWidth), 17) << "the arrow part's width plus 2";
    const TSkinMargins item = theme->QueryMargins(mkItemContent), panel = theme->QueryMargins(mkStatusPanel);
    EXPECT_TRUE(item.Left == 3 && item.Top == 4 && item.Right == 5 && item.Bottom == 6);
    EXPECT_TRUE(panel.Left == 2 && panel.Top == 1 && panel.Right == 2 && panel.Bottom == 1);

    // What each drawing asks of the system's theme, in the system's own part and state names.
    const auto button = [&](TSkinItemDrawInfo info, TSkinButtonPart part = bpWhole) {
        info.ButtonPart = part;
        return std::function<void(HDC, RECT)>([theme, info](HDC dc, RECT r) { theme->DrawButtonFrame(dc, r, info); });
    };
    struct TExpected {
        int Class, Part, State;
    };
    const struct {
        const char* What;
        std::function<void(HDC, RECT)> Draw;
        std::vector<TExpected> Calls;
    } requests[] = {
        {"normal", button(Item(vtToolbar, ifToolbarStyle, true)), {{vscToolbar, TP_BUTTON, TS_NORMAL}}},
        {"hot", button(Item(vtToolbar, ifToolbarStyle, true, 2)), {{vscToolbar, TP_BUTTON, TS_HOT}}},
        {"pushed", button(Item(vtToolbar, ifToolbarStyle, true, 2, true)), {{vscToolbar, TP_BUTTON, TS_PRESSED}}},
        {"disabled", button(Item(vtToolbar, ifToolbarStyle, false)), {{vscToolbar, TP_BUTTON, TS_DISABLED}}},
        {"disabled, selected", button(Item(vtToolbar, ifToolbarStyle, false, 1)), {{vscToolbar, TP_BUTTON, TS_HOT}}},
        {"checked", button(Item(vtToolbar, ifToolbarStyle, true, 0, false, true)), {{vscToolbar, TP_BUTTON, TS_CHECKED}}},
        {"hot, checked", button(Item(vtToolbar, ifToolbarStyle, true, 1, false, true)),
         {{vscToolbar, TP_BUTTON, TS_HOTCHECKED}}},
        {"with arrow", button(Item(vtToolbar, ifToolbarStyle, true), bpWithArrow),
         {{vscToolbar, TP_DROPDOWNBUTTON, TS_NORMAL}}},
        {"split button", button(Item(vtToolbar, ifToolbarStyle, true), bpSplitButton),
         {{vscToolbar, TP_SPLITBUTTON, TS_NORMAL}}},
        {"split arrow", button(Item(vtToolbar, ifToolbarStyle, true), bpSplitArrow),
         {{vscToolbar, TP_SPLITBUTTONDROPDOWN, TS_NORMAL}}},
        {"vertical separator",
         [&](HDC dc, RECT r) { theme->DrawSeparatorLine(dc, r, Item(vtToolbar, ifToolbarStyle, true), true, true); },
         {{vscToolbar, TP_SEPARATORVERT, 0}}},
        {"separator",
         [&](HDC dc, RECT r) { theme->DrawSeparatorLine(dc, r, Item(vtToolbar, ifToolbarStyle, true), false, true); },
         {{vscToolbar, TP_SEPARATOR, 0}}},
        {"menus keep the etched line",
         [&](HDC dc, RECT r) { theme->DrawSeparatorLine(dc, r, Item(vtPopup, 0, true), true, false); }, {}},
        {"hot drop-down button",
         [&](HDC dc, RECT) {
             theme->DrawEditButtonPart(dc, RECT{4, 4, 10, 10}, Item(vtToolbar, 0, true), TSkinEditButtonInfo{ebDropDown, ebsHot});
         },
         {{vscComboBox, CP_DROPDOWNBUTTON, CBXS_HOT}}},
        {"spin, lower pushed",
         [&](HDC dc, RECT r) {
             theme->DrawEditButtonPart(dc, r, Item(vtToolbar, 0, true), TSkinEditButtonInfo{ebSpin, ebsLowerPushed});
         },
         {{vscSpin, SPNP_UP, UPS_NORMAL}, {vscSpin, SPNP_DOWN, DNS_PRESSED}}},
        {"size grip", [&](HDC dc, RECT r) { theme->DrawStatusBarPart(dc, r, spSizeGrip); }, {{vscStatus, SP_GRIPPER, 0}}},
        {"no part for maximize",
         [&](HDC dc, RECT r) { theme->DrawCaptionButton(dc, r, Item(vtToolbar, 0, true, 2), cbnMaximize); }, {}},
        {"hot check box", [&](HDC dc, RECT r) { theme->DrawControlGlyph(dc, r, cgCheckBox, cgsChecked | cgsHot, 0); },
         {{vscButton, BP_CHECKBOX, CBS_CHECKEDHOT}}},
    };
    for (const auto& request : requests) {
        SCOPED_TRACE(request.What);
        gPartCalls.clear();
        Painted(20, 20, request.Draw);
        ASSERT_EQ(gPartCalls.size(), request.Calls.size());
        for (size_t i = 0; i < gPartCalls.size(); ++i) {
            EXPECT_EQ(gPartCalls[i].Class, request.Calls[i].Class);
            EXPECT_EQ(gPartCalls[i].Part, request.Calls[i].Part);
            if (request.Calls[i].State) {
                EXPECT_EQ(gPartCalls[i].State, request.Calls[i].State);
            }
        }
    }
    const auto single = [&](auto draw) {
        gPartCalls.clear();
        Painted(20, 20, draw);
        return gPartCalls;
    };
    auto calls = single([&](HDC dc, RECT) {
        theme->DrawEditButtonPart(dc, RECT{4, 4, 10, 10}, Item(vtToolbar, 0, true), TSkinEditButtonInfo{ebDropDown, ebsHot});
    });
    EXPECT_TRUE(SameRect(calls.at(0).Bounds, RECT{3, 3, 11, 11})) << "a hot drop-down button grows by one";
    // The band covers the dock's client rectangle (one pixel taller on a side dock), whatever part
    // of it is painted.
    calls = single([&](HDC dc, RECT r) { theme->DrawDockBackground(dc, RECT{0, 0, 20, 15}, r, dsLeft); });
    EXPECT_TRUE(calls.at(0).Class == vscRebar && calls[0].Bounds.bottom == 16);

    // A button shown framed: its outline filled with the toolbar colour and framed, then the part.
    gPartCalls.clear();
    TDIBPtr framed = Painted(10, 10, [&](HDC dc, RECT r) {
        FakeDraw(nullptr, dc, 0, 0, &r, nullptr);
        gPartCalls.clear();
        TSkinItemDrawInfo info = Item(vtToolbar | vtFramed, ifToolbarStyle, true);
        VisualStyleCalls().DrawThemeBackground = nullptr;
        theme->DrawButtonFrame(dc, r, info);
        VisualStyleCalls().DrawThemeBackground = &FakeDraw;
    });
    EXPECT_EQ(RGBOf(PixelAt(framed.get(), 0, 0)), Sys(COLOR_BTNSHADOW));
    EXPECT_EQ(RGBOf(PixelAt(framed.get(), 5, 5)), ColorPixel(theme->GetToolbarColor()));

    // The single border of a toolbar: lightened and darkened copies of its colour.
    TSkinToolbarInfo toolbar;
    toolbar.BorderStyle = 1;
    toolbar.Color = RGB(100, 100, 100);
    TDIBPtr frame = Painted(20, 10, [&](HDC dc, RECT r) { theme->DrawToolbarFrame(dc, r, toolbar); });
    EXPECT_EQ(RGBOf(PixelAt(frame.get(), 0, 0)), 0x7C7C7Cu);
    EXPECT_EQ(RGBOf(PixelAt(frame.get(), 19, 9)), 0x444444u);

    // Flat menu bars ignore visual styles.
    TFlatMenus menus(true);
    calls = single([&](HDC dc, RECT r) { theme->DrawButtonFrame(dc, r, Item(vtMenuBar, ifToolbarStyle, true, 2)); });
    EXPECT_TRUE(calls.empty());
}

TEST(DefaultTheme, PaintingGivesEveryHandleBack)
{
    TSkinDefaultTheme* theme = Theme();
    const int objects = LiveHandles(THandleKind::GdiObject), dcs = LiveHandles(THandleKind::DeviceContext);
    const auto paintAll = [&] {
        Painted(60, 40, [&](HDC dc, RECT r) {
            const TSkinItemDrawInfo hot = Item(vtToolbar | vtFramed, ifToolbarStyle | ifShowFrame, true, 2, false, true);
            theme->DrawButtonFrame(dc, r, hot);
            theme->DrawChevronGlyph(dc, r, Item(vtToolbar, ifToolbarStyle, false));
            theme->DrawCheckGlyph(dc, r, Item(vtPopup, 0, true, 0, false, true));
            theme->DrawMenuItemFace(dc, r, Item(vtPopup, ifSubmenu | ifSplit, true, 2));
            theme->DrawEditItem(dc, r, hot, TSkinEditInfo{0, 12, {ebSpin, ebsHot}});
            theme->DrawArrowButton(dc, r, adLeft, true);
            TSkinToolbarInfo toolbar;
            toolbar.BorderStyle = 1;
            toolbar.DragHandle = true;
            toolbar.CloseButtonState = cbShown | cbHot;
            toolbar.ClientWidth = 50;
            toolbar.ClientHeight = 30;
            theme->DrawToolbarFrame(dc, r, toolbar);
            TSkinDockPanelInfo panel;
            panel.ShowCaption = true;
            panel.CaptionHorizontal = false;
            panel.CloseButtonState = cbShown;
            panel.Caption = L"Panel";
            theme->DrawPanelFrame(dc, r, panel);
            TSkinFloatingInfo floating;
            floating.ClientWidth = 50;
            floating.BorderSize = SIZE{3, 3};
            floating.ShowCaption = true;
            floating.RedrawParts = fpBorder | fpCaption | fpCloseButton;
            floating.CloseButtonState = cbShown;
            theme->DrawFloatingFrame(dc, r, floating);
            for (int part = 0; part < 4; ++part)
                theme->DrawStatusBarPart(dc, r, part);
        });
    };
    paintAll();
    {
        TFakeVisualStyles styles;
        paintAll();
    }
    EXPECT_EQ(LiveHandles(THandleKind::GdiObject), objects);
    EXPECT_EQ(LiveHandles(THandleKind::DeviceContext), dcs);
}
