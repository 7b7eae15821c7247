#include "skin/SkinDefaultTheme.h"

#include <algorithm>

#include "platform/ImgList.h"
#include "platform/ScopeGuards.h"
#include "skin/SkinDib.h"
#include "skin/SkinUtils.h"

SF_IMPLEMENT_ABSTRACT(TSkinDefaultTheme, TSkinTheme)

namespace {

// Glyphs: one 16-bit word per row, the low byte's top bit leftmost.
const uint16_t ChevronHorz[] = {0xCC, 0x66, 0x33, 0x66, 0xCC};                    // 8 x 5
const uint16_t ChevronVert[] = {0x88, 0xD8, 0x70, 0x20, 0x88, 0xD8, 0x70, 0x20};  // 5 x 8
const uint16_t ToolbarCross[] = {0x00, 0xCC, 0x78, 0x30, 0x78, 0xCC, 0x00};       // 7 x 7
const uint16_t PanelCross[] = {0xC6, 0x6C, 0x38, 0x38, 0x6C, 0xC6};               // 7 x 6

// Visual-style parts and states used here.
enum : int {
    TP_BUTTON_PART = 1, TP_SEPARATOR_PART = 5, TP_SEPARATORVERT_PART = 6,
    RP_GRIPPER_PART = 1, RP_GRIPPERVERT_PART = 2,
    CP_DROPDOWNBUTTON_PART = 1, SPNP_UP_PART = 1, SPNP_DOWN_PART = 2,
    WP_SMALLCAPTION_PART = 2, WP_SMALLFRAMELEFT_PART = 10, WP_SMALLFRAMERIGHT_PART = 11,
    WP_SMALLFRAMEBOTTOM_PART = 12, WP_MDIMINBUTTON_PART = 16, WP_SMALLCLOSEBUTTON_PART = 19,
    WP_MDICLOSEBUTTON_PART = 20, WP_MDIRESTOREBUTTON_PART = 22,
};

// Visual-style property ids: a fill colour, a text colour and caption margins.
constexpr int PropFillColor = 3802;
constexpr int PropTextColor = 3803;
constexpr int PropCaptionMargins = 3603;

TGdiObject<HFONT>& SmallCaptionFontHandle()
{
    static TGdiObject<HFONT> font;
    return font;
}

bool Styled()
{
    return VisualStyleState().VisualStylesInUse;
}

HTHEME Handle(TVisualStyleClass cls)
{
    return VisualStyleState().Handles[cls];
}

bool DrawPart(TVisualStyleClass cls, HDC dc, int part, int state, const RECT& r, const RECT* clip = nullptr)
{
    const HTHEME handle = Handle(cls);
    const auto draw = VisualStyleCalls().DrawThemeBackground;
    return handle && draw && SUCCEEDED(draw(handle, dc, part, state, &r, clip));
}

COLORREF Sys(TColor c)
{
    return COLORREF(ColorToRGB(c)) & 0xFFFFFF;
}

void Edge(HDC dc, RECT r, UINT edge, UINT flags)
{
    DrawEdge(dc, &r, edge, flags);
}

RECT Inset(RECT r, int d)
{
    InflateRect(&r, -d, -d);
    return r;
}

bool IsHot(const TSkinItemDrawInfo& info)
{
    return info.Enabled ? info.HotState != 0 : info.HotState == 1;
}

bool IsToolbarStyle(const TSkinItemDrawInfo& info)
{
    return (info.ItemFlags & ifToolbarStyle) != 0;
}

bool IsMenuBarItem(const TSkinItemDrawInfo& info)
{
    return ViewKindOf(info.ViewKind) == vtMenuBar;
}

bool IsPlainPopupItem(const TSkinItemDrawInfo& info)
{
    return ViewKindOf(info.ViewKind) == vtPopup && !IsToolbarStyle(info);
}

bool IsFramedToolbar(uint32_t viewType)
{
    return ViewFamilyOf(viewType) == 1 && (viewType & vtFramed);
}

bool AppInactive(const TSkinItemDrawInfo& info)
{
    return (info.ItemFlags & ifAppActive) == 0;
}

// A glyph of the given size with its top left at (x, y).
void Glyph(HDC dc, int x, int y, int w, int h, const uint16_t* pattern, TColor color)
{
    DrawPatternGlyph(dc, RECT{x, y, x + w, y + h}, w, color, pattern, h);
}

// The look of something disabled: a highlight copy one pixel down and right, the shadow on top.
template <class Draw>
void Embossed(Draw&& draw)
{
    draw(1, clBtnHighlight);
    draw(0, clBtnShadow);
}

// A filled triangle pointing in the direction, centred on (cx, cy), half as wide as long.
void Triangle(HDC dc, int cx, int cy, int half, int direction, TColor color)
{
    POINT p[3];
    switch (direction) {
    case adUp:
        p[0] = {cx - half, cy + half / 2};
        p[1] = {cx + half, cy + half / 2};
        p[2] = {cx, cy - half / 2 - half % 2};
        break;
    case adDown:
        p[0] = {cx - half, cy - half / 2};
        p[1] = {cx + half, cy - half / 2};
        p[2] = {cx, cy + half / 2 + half % 2};
        break;
    case adLeft:
        p[0] = {cx + half / 2, cy - half};
        p[1] = {cx + half / 2, cy + half};
        p[2] = {cx - half / 2 - half % 2, cy};
        break;
    default:
        p[0] = {cx - half / 2, cy - half};
        p[1] = {cx - half / 2, cy + half};
        p[2] = {cx + half / 2 + half % 2, cy};
    }
    PolygonColor(dc, p, 3, color, color);
}

int ToolbarButtonState(const TSkinItemDrawInfo& info)
{
    if (!info.Enabled)
        return info.HotState == 1 ? 2 : 4;
    if (info.Pushed)
        return 3;
    if (info.Checked)
        return IsHot(info) ? 6 : 5;
    return IsHot(info) ? 2 : 1;
}

// Normal 1, hot 2, pushed 3, disabled 4: the states of most single-state parts.
int PartState(bool disabled, bool pushed, bool hot)
{
    return disabled ? 4 : pushed ? 3 : hot ? 2 : 1;
}

TSkinMargins MarginsFrom(const RECT& outer, const RECT& inner)
{
    return {int(inner.left - outer.left), int(inner.top - outer.top), int(outer.right - inner.right),
            int(outer.bottom - inner.bottom)};
}

} // namespace

HFONT SmallCaptionFont()
{
    return SmallCaptionFontHandle() ? SmallCaptionFontHandle().Get() : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

void InitSkinDefaultTheme()
{
    // The record size of the oldest systems, which every later one accepts.
    NONCLIENTMETRICSA metrics{};
    metrics.cbSize = 340;
    if (SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0))
        SmallCaptionFontHandle().Reset(CreateFontIndirectA(&metrics.lfSmCaptionFont));
}

void DoneSkinDefaultTheme()
{
    SmallCaptionFontHandle().Reset();
}

// ---------------------------------------------------------------------------------------------
// Life and colours

TSkinTheme* TSkinDefaultTheme::Create(const std::string& name)
{
    return New<TSkinDefaultTheme>(name);
}

void TSkinDefaultTheme::AfterConstruction()
{
    TSkinTheme::AfterConstruction();
    if (ThemeManager())
        ThemeManager()->AddNotification(this);
    ComputeColors();
}

TSkinDefaultTheme::~TSkinDefaultTheme()
{
    if (ThemeManager())
        ThemeManager()->RemoveNotification(this);
}

void TSkinDefaultTheme::Dispatch(TMessage& message)
{
    if (message.Msg == TBM_SYSCHANGE && message.WParam == scMetrics)
        ComputeColors();
}

void TSkinDefaultTheme::ComputeColors()
{
    FToolbarColor = FDockColor = FStatusBarColor = clBtnFace;
    FToolbarTextColor = clBtnText;
    if (Styled()) {
        const auto color = [](TVisualStyleClass cls, int property, TColor& target) {
            const auto get = VisualStyleCalls().GetThemeColor;
            COLORREF c = 0;
            if (Handle(cls) && get && SUCCEEDED(get(Handle(cls), 0, 0, property, &c)))
                target = TColor(c);
        };
        color(vscRebar, PropFillColor, FDockColor);
        color(vscToolbar, PropFillColor, FToolbarColor);
        color(vscToolbar, PropTextColor, FToolbarTextColor);
        color(vscStatus, PropFillColor, FStatusBarColor);
    }
    FDockPanelColor = MixToScreenColor(FToolbarColor, clWindow, 64);
}

// ---------------------------------------------------------------------------------------------
// Queries

POINT TSkinDefaultTheme::QueryImageShift(HDC, const TSkinItemDrawInfo& info, int)
{
    return info.Pushed || info.Checked ? POINT{1, 1} : POINT{0, 0};
}

TColor TSkinDefaultTheme::QueryViewColor(uint32_t viewType)
{
    switch (ViewFamilyOf(viewType)) {
    case 0x1:
    case 0x5:
        return FToolbarColor;
    case 0x2:
        switch (ViewKindOf(viewType)) {
        case vtPopup:
        case vtChevronPopup:
            return VisualStyleState().MenuColor;
        case vtListPopup:
            return clWindow;
        case vtEditPopup:
            return FToolbarColor;
        default:
            return clBtnFace;
        }
    case 0x3:
        return FStatusBarColor;
    case 0x4:
        return FDockPanelColor;
    case 0x6:
        return FDockColor;
    default:
        return clBtnFace;
    }
}

TColor TSkinDefaultTheme::QueryItemColor(const TSkinItemDrawInfo& info)
{
    if (IsPlainPopupItem(info) && IsHot(info) && !Styled())
        return clHighlight;
    return QueryViewColor(info.ViewKind);
}

TColor TSkinDefaultTheme::QueryItemTextColor(const TSkinItemDrawInfo& info)
{
    if (!info.Enabled)
        return clGrayText;
    const bool flatMenuBar = IsMenuBarItem(info) && VisualStyleState().FlatMenuStyle;
    if (IsToolbarStyle(info) && !flatMenuBar)
        return IsMenuBarItem(info) && AppInactive(info) ? clGrayText : clBtnText;
    if (info.HotState != 0)
        return clHighlightText;
    if (IsMenuBarItem(info) && AppInactive(info))
        return clGrayText;
    return VisualStyleState().MenuTextColor;
}

TColor TSkinDefaultTheme::QueryImageBackColor(const TSkinItemDrawInfo& info)
{
    const bool flat = VisualStyleState().FlatMenuStyle;
    if (IsMenuBarItem(info) && IsHot(info) && flat)
        return clHighlight;
    if (ViewKindOf(info.ViewKind) == vtChevronPopup && flat)
        return FToolbarColor;
    if (IsPlainPopupItem(info) && flat && IsHot(info))
        return FToolbarColor;
    return QueryViewColor(info.ViewKind);
}

SIZE TSkinDefaultTheme::QueryViewBorder(uint32_t viewType)
{
    const uint32_t family = ViewFamilyOf(viewType);
    if (family == 0x1 || family == 0x4 || family == 0x5) {
        if (!(viewType & vtFloating))
            return SIZE{2, 2};
        if (viewType & vtResizable)
            return SIZE{GetSystemMetrics(SM_CXFRAME), GetSystemMetrics(SM_CYFRAME)};
        return SIZE{GetSystemMetrics(SM_CXFIXEDFRAME), GetSystemMetrics(SM_CYFIXEDFRAME)};
    }
    if (family == 0x2)
        return ViewKindOf(viewType) == vtListPopup ? SIZE{1, 1} : SIZE{3, 3};
    return SIZE{0, 0};
}

TSkinMargins TSkinDefaultTheme::QueryViewMargins(uint32_t viewType)
{
    if (ViewFamilyOf(viewType) == 0x1 && (viewType & vtFloating))
        return {4, 4, 2, 1};
    return {};
}

TSkinMargins TSkinDefaultTheme::QueryMargins(int kind)
{
    switch (kind) {
    case mkItemContent: {
        TSkinMargins m{2, 2, 2, 2};
        const auto get = VisualStyleCalls().GetThemeMargins;
        MARGINS styled{};
        if (Styled() && Handle(vscToolbar) && get &&
            SUCCEEDED(get(Handle(vscToolbar), nullptr, TP_BUTTON_PART, 2, PropCaptionMargins, nullptr, &styled)))
            m = {styled.cxLeftWidth, styled.cyTopHeight, styled.cxRightWidth, styled.cyBottomHeight};
        return m;
    }
    case mkMenuItem:
        return {0, 0, 2, 2};
    case mkStatusPanel: {
        const auto content = VisualStyleCalls().GetThemeBackgroundContentRect;
        const RECT outer{0, 0, 100, 100};
        RECT inner{};
        if (Styled() && Handle(vscStatus) && content &&
            SUCCEEDED(content(Handle(vscStatus), nullptr, 1, 0, &outer, &inner)))
            return MarginsFrom(outer, inner);
        return {1, 3, 1, 1};
    }
    default:
        return {};
    }
}

int TSkinDefaultTheme::QueryIntegerMetric(int id)
{
    switch (id) {
    case imSplitArrowWidth: {
        const auto partSize = VisualStyleCalls().GetThemePartSize;
        SIZE size{};
        if (Styled() && Handle(vscToolbar) && partSize &&
            SUCCEEDED(partSize(Handle(vscToolbar), nullptr, 4, 1, nullptr, TS_TRUE, &size)))
            return size.cx + 2;
        return 11;
    }
    case imDropDownArrowWidth:
        return 8;
    case 21:
        return 3;
    case imMenuImageSpacing:
    case imEditVertInset:
        return 1;
    case imMenuTextSpacing:
    case imMenuTextEndSpacing:
    case 36:
    case imEditFrameWidth:
    case imEditHorzInset:
        return 2;
    case 37:
        return 4;
    case imToolbarSeparatorSize:
        return 6;
    case imDropDownButtonWidth:
        return 13;
    case imEditExtraWidth:
        return 0;
    default:
        return -1;
    }
}

bool TSkinDefaultTheme::QueryBooleanMetric(int id)
{
    return id == bmVisualStyles && Styled();
}

// ---------------------------------------------------------------------------------------------
// Backgrounds and frames

bool TSkinDefaultTheme::FillViewBackground(HDC dc, const RECT&, const RECT& paint, const RECT& clip, TColor color,
                                           uint32_t viewType)
{
    if (color == clNone)
        return false;
    if (color == clViewColor)
        color = QueryViewColor(viewType);
    RECT r;
    if (IntersectRect(&r, &paint, &clip))
        FillRectColor(dc, r, color);
    return true;
}

void TSkinDefaultTheme::DrawButtonFrame(HDC dc, const RECT& r, const TSkinItemDrawInfo& info)
{
    const bool enabled = info.Enabled;
    const bool hot = IsHot(info);
    const bool down = info.Pushed || info.Checked;
    const bool flat = VisualStyleState().FlatMenuStyle;
    if (IsMenuBarItem(info) && flat) {
        if ((down && enabled) || hot)
            FillRectColor(dc, r, clHighlight);
        return;
    }
    const bool framed = IsFramedToolbar(info.ViewKind);
    const bool showFrame = (info.ItemFlags & ifShowFrame) != 0;
    if (Styled() && !IsMenuBarItem(info) && Handle(vscToolbar)) {
        static const int Parts[] = {1, 2, 3, 4};
        const int part = Parts[std::min<int>(info.ButtonPart, 3)];
        if (framed || showFrame) {
            // The button's outline in the hot state, filled and framed for a framed toolbar.
            RECT outline = r;
            if (info.ButtonPart == bpSplitArrow)
                --outline.right;
            HRGN region = nullptr;
            const auto regionOf = VisualStyleCalls().GetThemeBackgroundRegion;
            if (regionOf && SUCCEEDED(regionOf(Handle(vscToolbar), dc, part, 2, &outline, &region)) && region) {
                TGdiObject<HRGN> owned(region);
                if (framed) {
                    TGdiObject<HBRUSH> fill(MakeBrush(FToolbarColor));
                    FillRgn(dc, region, fill.Get());
                }
                TGdiObject<HBRUSH> frame(MakeBrush(clBtnShadow));
                FrameRgn(dc, region, frame.Get(), 1, 1);
            }
        }
        DrawPart(vscToolbar, dc, part, ToolbarButtonState(info), r);
        return;
    }
    RECT face = r;
    if (info.ButtonPart == bpSplitArrow)
        face.right -= 2;
    if (flat && ((down && enabled) || hot))
        FillRectColor(dc, face, FToolbarColor);
    if (framed) {
        const bool raised = hot && enabled && !down;
        RECT edge = face;
        if (info.ButtonPart == bpSplitButton && !hot && !info.Pushed)
            ++edge.right;
        Edge(dc, edge, EDGE_RAISED, BF_RECT | BF_MIDDLE | (raised ? 0 : BF_FLAT));
        if (info.Checked && enabled && info.HotState == 0)
            CheckerFillRect(dc, Inset(face, 2), FToolbarColor, clBtnHighlight);
    } else if (down && enabled) {
        Edge(dc, face, BDR_SUNKENOUTER, BF_RECT);
        if (!info.Pushed && !hot)
            CheckerFillRect(dc, Inset(face, 1), FToolbarColor, clBtnHighlight);
    } else if (hot || showFrame) {
        Edge(dc, face, BDR_RAISEDINNER, BF_RECT);
    }
    if (info.ButtonPart == bpSplitArrow)
        DrawArrowGlyph(dc, r, info);
}

void TSkinDefaultTheme::DrawHotBackground(HDC dc, const RECT& r, const TSkinItemDrawInfo& info)
{
    if (IsHot(info))
        FillRectColor(dc, r, clHighlight);
}

void TSkinDefaultTheme::DrawPopupFrame(HDC dc, const RECT& r, const TSkinPopupInfo& popup)
{
    const TColor menu = VisualStyleState().MenuColor;
    RECT ring = r;
    if (ViewKindOf(popup.ViewType) == vtListPopup) {
        FrameRectColor(dc, ring, clWindowFrame, true);
        FrameRectColor(dc, ring, clWindow, true);
        FrameRectColor(dc, ring, clWindow, true);
        return;
    }
    const bool editPopup = ViewKindOf(popup.ViewType) == vtEditPopup;
    if (VisualStyleState().FlatMenuStyle && !editPopup) {
        FrameRectColor(dc, ring, clBtnShadow, true);
        FrameRectColor(dc, ring, menu, true);
        FrameRectColor(dc, ring, menu, true);
        return;
    }
    DrawEdge(dc, &ring, EDGE_RAISED, BF_RECT | BF_ADJUST);
    FrameRectColor(dc, ring, editPopup ? FToolbarColor : menu, true);
}

void TSkinDefaultTheme::DrawDockBackground(HDC dc, const RECT& clientRect, const RECT& dockRect, int dockPosition)
{
    if (!Styled())
        return;
    // The band covers the whole dock; only the part asked for is painted.
    RECT r = clientRect;
    if (dockPosition == dsLeft || dockPosition == dsRight)
        ++r.bottom;
    DrawPart(vscRebar, dc, 0, 0, r, &dockRect);
}

void TSkinDefaultTheme::DrawStatusBarPart(HDC dc, const RECT& r, int part)
{
    if (Styled() && DrawPart(vscStatus, dc, part, 0, r))
        return;
    switch (part) {
    case spBackground:
        FillRectColor(dc, r, FStatusBarColor);
        return;
    case spPanel:
    case spPanelAtGrip: {
        RECT panel = r;
        if (part == spPanel)
            panel.right -= 2;
        Bevel3D(dc, panel, clBtnShadow, clBtnHighlight, true);
        return;
    }
    case spSizeGrip:
        // Three diagonal ridges toward the corner, each a highlight line above two shadow lines.
        for (int i = 0; i < 3; ++i) {
            const int d = 4 * i + 2;
            for (int k = 0; k < 3; ++k) {
                const TColor c = k == 0 ? clBtnHighlight : clBtnShadow;
                LineColor(dc, r.right - 1 - d - k, r.bottom - 1, r.right, r.bottom - 2 - d - k, c);
            }
        }
        return;
    default:
        return;
    }
}

// ---------------------------------------------------------------------------------------------
// Text and glyphs

void TSkinDefaultTheme::DrawItemText(HDC dc, RECT& r, const TSkinItemDrawInfo& info, const std::wstring& caption,
                                     UINT format, TColor color)
{
    if (color == clViewColor)
        color = QueryItemTextColor(info);
    else if (color == clNone)
        color = clDefault;   // the DC's own text colour
    const bool plainHot = !info.Enabled && !IsToolbarStyle(info) && info.HotState == 1;
    if (info.Enabled || plainHot || Styled()) {
        RECT shown = r;
        const bool shift = info.Enabled && IsToolbarStyle(info) && (info.Pushed || info.Checked) &&
                           !(IsMenuBarItem(info) && VisualStyleState().FlatMenuStyle);
        if (shift)
            OffsetRect(&shown, 1, 1);
        DrawWideText(dc, caption, shown, color, format);
        return;
    }
    Embossed([&](int d, TColor c) {
        RECT shown = r;
        OffsetRect(&shown, d, d);
        DrawWideText(dc, caption, shown, c, format);
    });
}

void TSkinDefaultTheme::DrawCheckGlyph(HDC dc, const RECT& r, const TSkinItemDrawInfo& info)
{
    const TColor color = info.Enabled ? clBtnText : clGrayText;
    const int cx = (r.left + r.right) / 2, cy = (r.top + r.bottom) / 2;
    if (info.ItemFlags & ifRadio) {
        if (info.Enabled)
            RoundRectColor(dc, RECT{cx - 3 + 1, cy - 3 + 1, cx + 4 + 1, cy + 4 + 1}, clBtnHighlight, clBtnHighlight, 4, 4);
        RoundRectColor(dc, RECT{cx - 2, cy - 2, cx + 3, cy + 3}, color, color, 3, 3);
        return;
    }
    // A tick three pixels thick, its corner one left of and two below the centre.
    const int x = cx - 1, y = cy + 2;
    if (info.Enabled) {
        const POINT light[5] = {{x - 2, y - 1}, {x + 1, y + 2}, {x + 5, y - 2}, {x + 5, y - 1}, {x + 1, y + 3}};
        PolylineColor(dc, light, 5, clBtnHighlight);
    }
    const POINT tick[7] = {{x - 3, y - 3}, {x, y}, {x + 4, y - 4}, {x + 4, y - 3}, {x, y + 1},
                           {x - 3, y - 2}, {x - 3, y - 1}};
    PolylineColor(dc, tick, 7, color);
    LineColor(dc, x - 2, y - 1, x + 1, y + 2, color);
}

void TSkinDefaultTheme::DrawChevronGlyph(HDC dc, const RECT& r, const TSkinItemDrawInfo& info)
{
    DrawButtonFrame(dc, r, info);
    int x, y, w, h;
    const uint16_t* pattern;
    if (info.Vertical) {
        w = 5;
        h = 8;
        x = r.right - 9;
        y = r.top + (r.bottom - r.top - h) / 2;
        pattern = ChevronVert;
    } else {
        w = 8;
        h = 5;
        x = r.left + (r.right - r.left - w) / 2;
        y = r.top + 4;
        pattern = ChevronHorz;
    }
    if (info.Pushed) {
        ++x;
        ++y;
    }
    if (info.Enabled) {
        Glyph(dc, x, y, w, h, pattern, clBtnText);
        return;
    }
    Embossed([&](int d, TColor c) { Glyph(dc, x + d, y + d, w, h, pattern, c); });
}

void TSkinDefaultTheme::DrawArrowGlyph(HDC dc, const RECT& r, const TSkinItemDrawInfo& info)
{
    int cx = (r.left + r.right) / 2, cy = (r.top + r.bottom) / 2 - 1;
    if ((info.Pushed || info.Checked) && info.ButtonPart != bpSplitArrow) {
        ++cx;
        ++cy;
    }
    const auto draw = [&](int d, TColor c) {
        POINT p[3];
        if (info.Vertical) {
            // Pointing left, 3 wide and 5 high.
            p[0] = {cx + 1 + d, cy - 2 + d};
            p[1] = {cx + 1 + d, cy + 2 + d};
            p[2] = {cx - 1 + d, cy + d};
        } else {
            // Pointing down, 5 wide and 3 high.
            p[0] = {cx - 2 + d, cy - 1 + d};
            p[1] = {cx + 2 + d, cy - 1 + d};
            p[2] = {cx + d, cy + 1 + d};
        }
        PolygonColor(dc, p, 3, c, c);
    };
    if (!info.Enabled) {
        Embossed(draw);
        return;
    }
    draw(0, IsToolbarStyle(info) ? VisualStyleState().MenuTextColor : clBtnText);
}

void TSkinDefaultTheme::DrawSeparatorLine(HDC dc, const RECT& r, const TSkinItemDrawInfo& info, bool horizontal,
                                          bool toolbarSeparator)
{
    if (!info.Enabled)
        return;
    if (Styled() && ViewKindOf(info.ViewKind) != vtPopup &&
        DrawPart(vscToolbar, dc, horizontal ? TP_SEPARATORVERT_PART : TP_SEPARATOR_PART, 1, r))
        return;
    int inset = 0;
    if (toolbarSeparator)
        inset = (info.ViewKind & vtFloating) ? 1 : 4;
    else if (horizontal && !IsToolbarStyle(info))
        inset = 12;
    if (horizontal) {
        const int y = (r.top + r.bottom) / 2 - 1;
        Edge(dc, RECT{r.left + inset, y, r.right - inset, y + 2}, EDGE_ETCHED, BF_TOP);
    } else {
        const int x = (r.left + r.right) / 2 - 1;
        Edge(dc, RECT{x, r.top + inset, x + 2, r.bottom - inset}, EDGE_ETCHED, BF_LEFT);
    }
}

void TSkinDefaultTheme::DrawArrowButton(HDC dc, const RECT& r, int direction, bool pushed)
{
    if (Styled() && DrawPart(vscToolbar, dc, TP_BUTTON_PART, pushed ? 3 : 2, r)) {
        const int half = std::min(r.right - r.left, r.bottom - r.top) / 2 * 3 / 4;
        Triangle(dc, (r.left + r.right) / 2, (r.top + r.bottom) / 2, std::max(half, 1), direction, clBtnText);
        return;
    }
    static const UINT Kinds[] = {DFCS_SCROLLUP, DFCS_SCROLLUP, DFCS_SCROLLDOWN, DFCS_SCROLLLEFT, DFCS_SCROLLRIGHT};
    RECT button = r;
    DrawFrameControl(dc, &button, DFC_SCROLL,
                     Kinds[std::clamp(direction, 0, 4)] | (pushed ? DFCS_PUSHED | DFCS_FLAT : 0));
}

void TSkinDefaultTheme::DrawControlGlyph(HDC dc, const RECT& r, int kind, uint32_t state, uint32_t)
{
    const bool disabled = state & cgsDisabled, pushed = state & cgsPushed, hot = state & cgsHot;
    const bool checked = state & cgsChecked;
    if (Styled() && DrawPart(vscButton, dc, kind == cgRadio ? 2 : 3, (checked ? 4 : 0) + PartState(disabled, pushed, hot), r))
        return;
    RECT box = r;
    DrawFrameControl(dc, &box, DFC_BUTTON,
                     (kind == cgRadio ? DFCS_BUTTONRADIO : DFCS_BUTTONCHECK) | (checked ? DFCS_CHECKED : 0) |
                         (disabled ? DFCS_INACTIVE : 0) | (pushed ? DFCS_PUSHED : 0));
}

void TSkinDefaultTheme::DrawCaptionButton(HDC dc, const RECT& r, const TSkinItemDrawInfo& info, int kind)
{
    if (Styled()) {
        static const int Parts[] = {WP_MDICLOSEBUTTON_PART, WP_MDIMINBUTTON_PART, 0, WP_MDIRESTOREBUTTON_PART};
        const int part = Parts[std::clamp(kind, 0, 3)];
        if (part)
            DrawPart(vscWindow, dc, part, info.Pushed ? 3 : IsHot(info) ? 2 : 1, r);
        return;
    }
    static const UINT Kinds[] = {DFCS_CAPTIONCLOSE, DFCS_CAPTIONMIN, DFCS_CAPTIONMAX, DFCS_CAPTIONRESTORE};
    RECT button = r;
    DrawFrameControl(dc, &button, DFC_CAPTION, Kinds[std::clamp(kind, 0, 3)] | (info.Pushed ? DFCS_PUSHED : 0));
}

// ---------------------------------------------------------------------------------------------
// Menus

void TSkinDefaultTheme::DrawMenuItemFace(HDC dc, const RECT& r, const TSkinItemDrawInfo& info)
{
    const bool hot = IsHot(info);
    const bool marked = info.ImageWidth > 0 || info.Checked;
    const bool split = (info.ItemFlags & ifSplit) && info.Enabled;
    RECT text = r;
    if (marked)
        text.left += QueryIntegerMetric(imMenuImageSpacing) + info.ImageColumnWidth;
    RECT arrowPart{};
    if (split) {
        text.right -= GetSystemMetrics(SM_CXMENUCHECK);
        arrowPart = RECT{text.right, r.top, r.right, r.bottom};
    }
    DrawHotBackground(dc, text, info);
    if (split) {
        if (hot)
            Edge(dc, arrowPart, BDR_SUNKENOUTER, BF_RECT);
        else
            Edge(dc, arrowPart, EDGE_ETCHED, BF_LEFT);
    }
    if (info.ItemFlags & ifSubmenu) {
        // A right-pointing arrow 3 wide and 6 high, its tip two thirds of a check mark's width and
        // 2 more from the right, halfway down the item.
        const int tip = r.right - (2 * GetSystemMetrics(SM_CXMENUCHECK) / 3 + 2);
        const int cy = (r.top + r.bottom) / 2;
        const auto draw = [&](int d, TColor c) {
            const POINT p[3] = {{tip - 3 + d, cy - 3 + d}, {tip - 3 + d, cy + 3 + d}, {tip + d, cy + d}};
            PolygonColor(dc, p, 3, c, c);
        };
        if (info.Enabled) {
            draw(0, hot && !split ? clHighlightText : VisualStyleState().MenuTextColor);
        } else {
            if (info.HotState != 1)
                draw(1, clBtnHighlight);
            draw(0, clBtnShadow);
        }
    }
    if (info.Enabled && marked && (hot || info.Checked)) {
        const RECT column{r.left, r.top, r.left + info.ImageColumnWidth, r.bottom};
        if (VisualStyleState().FlatMenuStyle)
            FillRectColor(dc, column, FToolbarColor);
        DrawButtonFrame(dc, column, info);
    }
}

// ---------------------------------------------------------------------------------------------
// Edit items

void TSkinDefaultTheme::DrawEditFieldFrame(HDC dc, const RECT& r, const TSkinItemDrawInfo& info)
{
    const bool framed = IsFramedToolbar(info.ViewKind);
    const bool active = info.Pushed || info.Checked || IsHot(info);
    if (Styled()) {
        RECT ring = Inset(r, 1);
        FrameRectColor(dc, ring, framed ? clBtnShadow : FToolbarColor, false);
        if (active || (info.ItemFlags & ifShowFrame))
            DrawPart(vscComboBox, dc, 0, 0, r);
        ring = Inset(r, 3);
        FrameRectColor(dc, ring, clWindow, false);
        return;
    }
    if (framed) {
        if (active)
            Edge(dc, r, EDGE_SUNKEN, BF_RECT);
        else
            Edge(dc, Inset(r, 1), BDR_SUNKENOUTER, BF_RECT | BF_FLAT);
        return;
    }
    if (active || (info.ItemFlags & ifShowFrame))
        Edge(dc, r, BDR_SUNKENOUTER, BF_RECT);
    RECT ring = Inset(r, 1);
    FrameRectColor(dc, ring, FToolbarColor, true);
    FrameRectColor(dc, ring, clWindow, true);
}

void TSkinDefaultTheme::DrawEditButtonPart(HDC dc, const RECT& r, const TSkinItemDrawInfo& info,
                                           const TSkinEditButtonInfo& button)
{
    const bool disabled = button.State & ebsDisabled, hot = button.State & ebsHot;
    const bool upper = button.State & ebsPushed, lower = button.State & ebsLowerPushed;
    const int mid = (r.top + r.bottom) / 2;
    const RECT halves[2] = {{r.left, r.top, r.right, mid}, {r.left, mid, r.right, r.bottom}};
    if (Styled()) {
        if (button.Kind == ebDropDown) {
            RECT part = r;
            if (hot)
                InflateRect(&part, 1, 1);
            DrawPart(vscComboBox, dc, CP_DROPDOWNBUTTON_PART, PartState(disabled, upper, hot), part);
        } else if (button.Kind == ebSpin) {
            DrawPart(vscSpin, dc, SPNP_UP_PART, PartState(disabled, upper, hot), halves[0]);
            DrawPart(vscSpin, dc, SPNP_DOWN_PART, PartState(disabled, lower, hot), halves[1]);
        }
        return;
    }
    const auto edges = [&](const RECT& part, bool pushed) {
        if (pushed)
            Edge(dc, part, BDR_SUNKENOUTER, BF_RECT);
        else if (hot)
            Edge(dc, part, BDR_RAISEDINNER, BF_RECT);
    };
    if (button.Kind == ebDropDown) {
        const TColor line = upper || hot ? FToolbarColor : IsFramedToolbar(info.ViewKind) ? clBtnShadow : clWindow;
        LineColor(dc, r.left, r.top, r.left, r.bottom, line);
        const RECT face{r.left + 1, r.top, r.right, r.bottom};
        edges(face, upper);
        TSkinItemDrawInfo arrow = info;
        arrow.Enabled = !disabled;
        arrow.Pushed = upper;
        arrow.Checked = false;
        arrow.Vertical = false;
        arrow.ItemFlags &= ~uint32_t(ifToolbarStyle);
        DrawArrowGlyph(dc, face, arrow);
    } else if (button.Kind == ebSpin) {
        const TColor color = disabled ? clGrayText : clBtnText;
        for (int i = 0; i < 2; ++i) {
            edges(halves[i], i == 0 ? upper : lower);
            const RECT& h = halves[i];
            Triangle(dc, (h.left + h.right) / 2, (h.top + h.bottom) / 2, 2, i == 0 ? adUp : adDown, color);
        }
    }
}

void TSkinDefaultTheme::DrawEditItem(HDC dc, const RECT& r, const TSkinItemDrawInfo& info, const TSkinEditInfo& edit)
{
    DrawEditFieldFrame(dc, r, info);
    const RECT field = Inset(r, QueryIntegerMetric(imEditFrameWidth));
    if (info.Enabled)
        FillRectColor(dc, field, clWindow);
    if (edit.RightWidth > 0)
        DrawEditButtonPart(dc, RECT{field.right - edit.RightWidth, field.top, field.right, field.bottom}, info,
                           edit.Button);
}

void TSkinDefaultTheme::DrawImageForState(HDC dc, const RECT& r, const TSkinItemDrawInfo& info, TCustomImageList* images,
                                          int imageIndex)
{
    if (!images)
        return;
    const bool effects = IsPlainPopupItem(info) ? VisualStyleState().FlatMenuStyle : Styled();
    if (!effects) {
        DrawListImageNormal(dc, r.left, r.top, images, imageIndex, info.Enabled);
        return;
    }
    RECT at = r;
    if (info.Pushed || info.Checked)
        OffsetRect(&at, 1, 1);
    if (!info.Enabled) {
        DrawListImageGreyed(dc, at, images, imageIndex, 0);
        return;
    }
    // Popup items always count as lying on a light background.
    const bool dark = !IsPlainPopupItem(info) && IsColorDark(QueryImageBackColor(info), 100);
    const TVisualStyleState& state = VisualStyleState();
    if (!info.Pushed && !info.Checked && !IsHot(info) && !dark && !state.WhiteButtonFace && !state.LowColorDisplay)
        DrawListImageFaded(dc, at, images, imageIndex, clWindow, 178);
    else
        DrawListImagePlain(dc, at, images, imageIndex, dark);
}

// ---------------------------------------------------------------------------------------------
// Toolbars, panels and floating windows

void TSkinDefaultTheme::DrawCloseButton(HDC dc, const RECT& r, uint32_t state, const uint16_t* cross, int crossHeight)
{
    const bool pushed = state & cbPushed, hot = state & cbHot;
    if (Styled() && DrawPart(vscToolbar, dc, TP_BUTTON_PART, pushed ? 3 : hot ? 2 : 1, r)) {
        DrawPatternGlyph(dc, r, 7, clBtnText, cross, crossHeight);
        return;
    }
    if (pushed)
        Edge(dc, r, EDGE_SUNKEN, BF_RECT);
    else if (hot)
        Edge(dc, r, BDR_RAISEDINNER, BF_RECT);
    DrawPatternGlyph(dc, r, 7, clBtnText, cross, crossHeight);
}

void TSkinDefaultTheme::DrawDragHandle(HDC dc, const RECT& r, const TSkinToolbarInfo& toolbar)
{
    const int size = DragHandleSize(toolbar);
    if (size == 0)
        return;
    const bool close = toolbar.CloseButtonState & cbShown;
    // The handle runs along the toolbar's start: down the left edge, or along the top when vertical.
    const int bx = int(r.left + toolbar.BorderSize.cx), by = int(r.top + toolbar.BorderSize.cy);
    const int along = toolbar.Vertical ? toolbar.ClientWidth : toolbar.ClientHeight;
    int start = 0;
    if (close) {
        RECT button = DragHandleCloseRect(toolbar);
        OffsetRect(&button, r.left, r.top);
        button = Inset(button, Styled() ? 1 : 2);
        DrawCloseButton(dc, button, toolbar.CloseButtonState, ToolbarCross, 7);
        start = size;
    }
    const auto bar = [&](int offset, int thickness) {
        return toolbar.Vertical ? RECT{bx + start, by + offset, bx + along, by + offset + thickness}
                                : RECT{bx + offset, by + start, bx + offset + thickness, by + along};
    };
    if (Styled() && DrawPart(vscRebar, dc, toolbar.Vertical ? RP_GRIPPERVERT_PART : RP_GRIPPER_PART, 0, bar(0, 6)))
        return;
    const int first = toolbar.DragHandleStyle == dhsDoubleBar ? (close ? 3 : 2) : (close ? 5 : 2);
    const int bars = toolbar.DragHandleStyle == dhsDoubleBar ? 2 : 1;
    for (int i = 0; i < bars; ++i) {
        const RECT b = bar(first + 3 * i, 3);
        Edge(dc, b, BDR_RAISEDINNER, BF_RECT);
        // A highlight pixel where the bar ends.
        if (toolbar.Vertical)
            SetPixel(dc, b.right - 1, b.top, Sys(clBtnHighlight));
        else
            SetPixel(dc, b.left, b.bottom - 1, Sys(clBtnHighlight));
    }
}

void TSkinDefaultTheme::DrawToolbarFrame(HDC dc, const RECT& r, const TSkinToolbarInfo& toolbar)
{
    TColor color = toolbar.Color;
    if (color == clViewColor)
        color = QueryViewColor(toolbar.ViewType);
    else if (color == clNone)
        color = clBtnFace;
    FillRectColor(dc, r, color);
    if (toolbar.BorderStyle == 1) {
        RECT border = r;
        if (Styled())
            Bevel3D(dc, border, OffsetColorChannels(color, 24), OffsetColorChannels(color, -32), true);
        else
            Edge(dc, border, BDR_RAISEDINNER, BF_RECT);
    }
    if (toolbar.DragHandle)
        DrawDragHandle(dc, r, toolbar);
}

void TSkinDefaultTheme::DrawPanelFrame(HDC dc, const RECT& r, const TSkinDockPanelInfo& panel)
{
    RECT ring = r;
    FrameRectColor(dc, ring, FToolbarColor, true);
    FrameRectColor(dc, ring, clWindow, true);
    if (!panel.ShowCaption)
        return;
    const int band = GetSystemMetrics(SM_CYSMCAPTION);
    const bool across = panel.CaptionHorizontal;
    RECT caption = across ? RECT{ring.left, ring.top, ring.right, ring.top + band}
                          : RECT{ring.left, ring.top, ring.left + band, ring.bottom};
    TColor color = panel.Color == clViewColor ? QueryViewColor(panel.ViewType) : panel.Color;
    FillRectColor(dc, caption, color == clNone ? clBtnFace : color);
    Edge(dc, caption, BDR_RAISEDINNER, BF_RECT);
    RECT text = Inset(caption, 2);
    if (panel.CloseButtonState & cbShown) {
        // The close button at the band's end: the right end across, the top end beside.
        const int side = band - 4;
        RECT button = across ? RECT{caption.right - 2 - side, caption.top + 2, caption.right - 2, caption.bottom - 2}
                             : RECT{caption.left + 2, caption.top + 2, caption.right - 2, caption.top + 2 + side};
        DrawCloseButton(dc, button, panel.CloseButtonState, PanelCross, 6);
        if (across)
            text.right = button.left - 1;
        else
            text.top = button.bottom + 1;
    }
    TSelectGuard font(dc, SmallCaptionFont());
    UINT format = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS;
    if (!across)
        format |= DrawTextRotation270;
    DrawWideText(dc, panel.Caption, text, clBtnText, format);
}

void TSkinDefaultTheme::DrawFloatingFrame(HDC dc, const RECT& r, const TSkinFloatingInfo& floating)
{
    const RECT inner{r.left + floating.BorderSize.cx, r.top + floating.BorderSize.cy, r.right - floating.BorderSize.cx,
                     r.bottom - floating.BorderSize.cy};
    RECT caption = FloatingCaptionRect(floating, true, false);
    OffsetRect(&caption, r.left, r.top);
    RECT closeButton = FloatingCloseButtonRect(floating, true);
    OffsetRect(&closeButton, r.left, r.top);
    const bool drawCaption = (floating.RedrawParts & fpCaption) && floating.ShowCaption;
    const bool drawClose = (floating.RedrawParts & fpCloseButton) && (floating.CloseButtonState & cbShown);
    const uint32_t closeState = floating.CloseButtonState;
    if (Styled() && Handle(vscWindow)) {
        const int frameState = floating.Active ? 1 : 2;
        if (floating.RedrawParts & fpBorder) {
            DrawPart(vscWindow, dc, WP_SMALLFRAMELEFT_PART, frameState, RECT{r.left, inner.top, inner.left, r.bottom});
            DrawPart(vscWindow, dc, WP_SMALLFRAMERIGHT_PART, frameState, RECT{inner.right, inner.top, r.right, r.bottom});
            DrawPart(vscWindow, dc, WP_SMALLFRAMEBOTTOM_PART, frameState, RECT{r.left, inner.bottom, r.right, r.bottom});
        }
        if (drawCaption) {
            DrawPart(vscWindow, dc, WP_SMALLCAPTION_PART, frameState, RECT{r.left, r.top, r.right, caption.bottom});
            RECT text = caption;
            text.left += 2;
            if (floating.CloseButtonState & cbShown)
                text.right = closeButton.left;
            DrawWideText(dc, floating.Caption, text, floating.Active ? clCaptionText : clInactiveCaptionText,
                         DT_SINGLELINE | DT_VCENTER | DT_HIDEPREFIX | DT_END_ELLIPSIS);
        }
        if (drawClose)
            DrawPart(vscWindow, dc, WP_SMALLCLOSEBUTTON_PART,
                     (closeState & cbPushed) ? 3 : (closeState & cbHot) ? 2 : 1, closeButton);
        return;
    }
    if (floating.RedrawParts & fpBorder) {
        TSavedDC saved(dc);
        ExcludeClipRect(dc, inner.left, inner.top, inner.right, inner.bottom);
        Edge(dc, r, EDGE_RAISED, BF_RECT | BF_MIDDLE);
    }
    if (drawCaption) {
        BOOL gradient = FALSE;
        SystemParametersInfoA(SPI_GETGRADIENTCAPTIONS, 0, &gradient, 0);
        const UINT flags = DC_SMALLCAP | DC_TEXT | (floating.Active ? DC_ACTIVE : 0) | (gradient ? DC_GRADIENT : 0);
        DrawCaption(floating.Window, dc, &caption, flags);
        const TColor strip = floating.Active ? (gradient ? clGradientActiveCaption : clActiveCaption)
                                             : (gradient ? clGradientInactiveCaption : clInactiveCaption);
        LineColor(dc, caption.left, caption.bottom, caption.right, caption.bottom, strip);
    }
    if (drawClose) {
        RECT button = closeButton;
        DrawFrameControl(dc, &button, DFC_CAPTION, DFCS_CAPTIONCLOSE | ((closeState & cbPushed) ? DFCS_PUSHED : 0));
    }
}
