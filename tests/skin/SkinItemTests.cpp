// Themed items and their viewers: font settings, measuring and painting through the theme in
// toolbars and menus (checked call by call with the recording theme, and in pixels with the
// default one), separators, split parts, the visibility toggle, popups sharing an edge with their
// item, and the themed popup window.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "SkinItemTestSupport.h"
#include "SkinRecordingTheme.h"
#include "SkinTestSupport.h"
#include "TestSupport.h"
#include "platform/ScopeGuards.h"
#include "skin/Skin.h"
#include "skin/SkinItems.h"
#include "skin/SkinPopup.h"
#include "skin/SkinUtils.h"
#include "toolbar/TBCommon.h"
#include "toolbar/TBPopup.h"

namespace {

// ---------------------------------------------------------------------------------------------
// Font settings

TEST(SkinFontSettings, ApplyScalesAddsAndRemoves)
{
    struct TCase {
        const char* Name;
        std::function<void(TFontSettings&)> Set;
        int StartSize;
        TFontStyles StartStyle;
        int ExpectSize;
        TFontStyles ExpectStyle;
    };
    const TCase cases[] = {
        {"150% of 8 points", [](TFontSettings& s) { s.SetSize(150); }, 8, {}, 12, {}},
        {"33% of 10 points rounds", [](TFontSettings& s) { s.SetSize(33); }, 10, {}, 3, {}},
        {"100% leaves the size", [](TFontSettings&) {}, 9, {fsItalic}, 9, {fsItalic}},
        {"bold added", [](TFontSettings& s) { s.SetBold(TTriState::tsTrue); }, 8, {fsItalic}, 8, {fsBold, fsItalic}},
        {"italic removed, others kept",
         [](TFontSettings& s) { s.SetItalic(TTriState::tsFalse); }, 8, {fsItalic, fsUnderline}, 8, {fsUnderline}},
        {"underline and strike-out",
         [](TFontSettings& s) {
             s.SetUnderline(TTriState::tsTrue);
             s.SetStrikeOut(TTriState::tsTrue);
         },
         8, {}, 8, {fsUnderline, fsStrikeOut}},
    };
    for (const TCase& c : cases) {
        std::unique_ptr<TFontSettings, TObjectFree> settings(New<TFontSettings>());
        std::unique_ptr<TFont, TObjectFree> font(New<TFont>());
        font->SetSize(c.StartSize);
        font->SetStyle(c.StartStyle);
        c.Set(*settings);
        settings->Apply(font.get());
        EXPECT_EQ(font->GetSize(), c.ExpectSize) << c.Name;
        EXPECT_TRUE(font->GetStyle() == c.ExpectStyle) << c.Name;
    }
}

TEST(SkinFontSettings, ColourNameAndLogFont)
{
    std::unique_ptr<TFontSettings, TObjectFree> settings(New<TFontSettings>());
    std::unique_ptr<TFont, TObjectFree> font(New<TFont>());
    font->SetColor(clWindowText);
    font->SetName("Tahoma");
    settings->Apply(font.get());
    EXPECT_EQ(font->GetColor(), clWindowText) << "clNone keeps the colour";
    EXPECT_EQ(font->GetName(), "Tahoma") << "an empty name keeps the face";
    settings->SetColor(clRed);
    settings->SetName("Courier New");
    settings->Apply(font.get());
    EXPECT_EQ(font->GetColor(), clRed);
    EXPECT_EQ(font->GetName(), "Courier New");

    // The LOGFONT path: height scaled, weight 700 or 400, a face cut to 31 characters.
    LOGFONTW lf{};
    lf.lfHeight = -20;
    lf.lfWeight = 600;
    TColor color = clBlack;
    std::unique_ptr<TFontSettings, TObjectFree> plain(New<TFontSettings>());
    plain->ApplyToLogFont(lf, color);
    EXPECT_EQ(lf.lfWeight, 600) << "tsDefault keeps the weight";
    plain->SetSize(150);
    plain->SetBold(TTriState::tsFalse);
    plain->SetItalic(TTriState::tsTrue);
    plain->SetName(std::string(40, 'A'));
    plain->SetColor(clBlue);
    plain->ApplyToLogFont(lf, color);
    EXPECT_EQ(lf.lfHeight, -29) << "(-20 x 150 + 50) div 100";
    EXPECT_EQ(lf.lfWeight, 400);
    EXPECT_EQ(lf.lfItalic, 1);
    EXPECT_EQ(std::wstring(lf.lfFaceName), std::wstring(31, L'A'));
    EXPECT_EQ(color, clBlue);

    TGdiObject<HFONT> made(plain->MakeAdjustedFont(HFONT(GetStockObject(DEFAULT_GUI_FONT)), color));
    LOGFONTW back{};
    ASSERT_TRUE(GetObjectW(made.Get(), sizeof(back), &back));
    EXPECT_EQ(back.lfItalic, 1);
    EXPECT_EQ(back.lfWeight, 400);
}

TEST(SkinFontSettings, ChangesFireOncePerDifference)
{
    int changes = 0;
    std::unique_ptr<TFontSettings, TObjectFree> a(New<TFontSettings>(nullptr, TNotifyEvent([&](TObject*) { ++changes; })));
    std::unique_ptr<TFontSettings, TObjectFree> b(New<TFontSettings>());
    a->Assign(b.get());
    EXPECT_EQ(changes, 0) << "equal settings";
    a->SetSize(100);
    a->SetBold(TTriState::tsDefault);
    EXPECT_EQ(changes, 0) << "setting the value held";
    b->SetSize(120);
    b->SetBold(TTriState::tsTrue);
    b->SetName("Arial");
    a->Assign(b.get());
    EXPECT_EQ(changes, 1) << "several fields, one notice";
    EXPECT_EQ(a->GetSize(), 120);
    EXPECT_EQ(a->GetName(), "Arial");
    std::unique_ptr<TFont, TObjectFree> font(New<TFont>());
    EXPECT_THROW(a->Assign(font.get()), Exception) << "a foreign source";
}

// ---------------------------------------------------------------------------------------------
// Measuring

void SetToolbarMetrics(TRecordingTheme& theme)
{
    theme.IntegerMetrics = {{imSplitArrowWidth, 11}, {imDropDownArrowWidth, 8}, {imMenuImageSpacing, 1},
                            {imMenuTextSpacing, 2},   {imMenuTextEndSpacing, 2}, {imToolbarSeparatorSize, 6}};
    theme.Margins[mkMenuItem] = TSkinMargins{2, 1, 2, 1};
}

SIZE Measure(TViewFixture& f, TTBCustomItem* item)
{
    TMemoryDC dc;
    TTestCanvas canvas(dc.Get(), f.View.get());
    int w = 0, h = 0;
    f.ViewerOf(item)->MeasureSize(canvas.Get(), w, h);
    return SIZE{w, h};
}

TEST(SkinItemViewer, ToolbarSizesFollowLayoutImagesAndArrows)
{
    TRecordingThemeScope theme;
    SetToolbarMetrics(*theme);
    TImageListPtr images = MakeImageList(16, 16, 2);
    struct TCase {
        const char* Name;
        TTBViewAxis Axis;
        bool Image;
        TTBItemTraits Traits;   // isSubmenu, isSplitButton
        TTBItemOptions Options;
        TTBItemDisplayMode Mode;
        std::function<SIZE(SIZE text)> Expect;
    };
    const TCase cases[] = {
        {"caption only", TTBViewAxis::vaHorizontal, false, 0, 0, TTBItemDisplayMode::nbdmDefault,
         [](SIZE t) { return SIZE{6 + t.cx + 4, 6 + t.cy}; }},
        {"image left of the caption", TTBViewAxis::vaHorizontal, true, 0, 0, TTBItemDisplayMode::nbdmImageAndText,
         [](SIZE t) { return SIZE{6 + t.cx + 4 + 16 + 1, std::max(6 + int(t.cy), 22)}; }},
        {"image only", TTBViewAxis::vaHorizontal, true, 0, 0, TTBItemDisplayMode::nbdmDefault,
         [](SIZE) { return SIZE{6 + 16 + 1, 22}; }},
        {"image above the caption", TTBViewAxis::vaHorizontal, true, 0, tboImageAboveCaption,
         TTBItemDisplayMode::nbdmDefault,
         [](SIZE t) { return SIZE{std::max(6 + int(t.cx) + 4, 23), 6 + t.cy + 16}; }},
        {"split button", TTBViewAxis::vaHorizontal, true, isSubmenu | isSplitButton, 0,
         TTBItemDisplayMode::nbdmImageAndText,
         [](SIZE t) { return SIZE{6 + t.cx + 4 + 16 + 1 + 11, std::max(6 + int(t.cy), 22)}; }},
        {"drop-down arrow", TTBViewAxis::vaHorizontal, false, isSubmenu, tboDropdownArrow,
         TTBItemDisplayMode::nbdmDefault, [](SIZE t) { return SIZE{6 + t.cx + 4 + 8, 6 + t.cy}; }},
        {"arrow beside an image above the caption", TTBViewAxis::vaHorizontal, true, isSubmenu,
         tboDropdownArrow | tboImageAboveCaption, TTBItemDisplayMode::nbdmDefault,
         [](SIZE t) { return SIZE{std::max({6 + int(t.cx) + 4, 23, 8 + 16 + 2 + 7}), 6 + t.cy + 16}; }},
        {"vertical view: image above", TTBViewAxis::vaVertical, true, 0, 0, TTBItemDisplayMode::nbdmImageAndText,
         [](SIZE t) { return SIZE{std::max(6 + int(t.cx), 23), 6 + t.cy + 4 + 16}; }},
        {"vertical drop-down: arrow below", TTBViewAxis::vaVertical, false, isSubmenu, tboDropdownArrow,
         TTBItemDisplayMode::nbdmDefault, [](SIZE t) { return SIZE{6 + t.cx, 6 + t.cy + 4 + 8}; }},
    };
    for (const TCase& c : cases) {
        TViewFixture f(vtToolbar, true, c.Axis);
        TSkinCustomItem* item = (c.Traits & isSubmenu) ? static_cast<TSkinCustomItem*>(f.Add<TSkinSubmenuItem>(L"&Open"))
                                                       : f.Add<TSkinItem>(L"&Open");
        item->SetDropdownCombo((c.Traits & isSplitButton) != 0);
        item->SetOptions(c.Options);
        item->SetDisplayMode(c.Mode);
        if (c.Image) {
            item->SetImages(images.get());
            item->SetImageIndex(1);
        }
        f.View->EnsureLayout();
        SIZE text = TextSizeInViewFont(f.View.get(), L"&Open", 0);
        if (c.Axis == TTBViewAxis::vaVertical) {
            // Turned: as wide as the font is high, as long as the text without its marker.
            TMemoryDC dc;
            TTestCanvas canvas(dc.Get(), f.View.get());
            canvas->RequiredState(TCanvas::csHandleValid | TCanvas::csFontValid);
            TEXTMETRICW tm{};
            GetTextMetricsW(canvas->GetHandle(), &tm);
            text = SIZE{tm.tmHeight, TextSizeInViewFont(f.View.get(), L"Open", DT_SINGLELINE).cx};
        }
        const SIZE got = Measure(f, item), want = c.Expect(text);
        EXPECT_EQ(got.cx, want.cx) << c.Name;
        EXPECT_EQ(got.cy, want.cy) << c.Name;
    }
}

// A viewer keeps what it measured: each change of caption or font settings must still reach the
// size, in the viewer's bounds once the view lays out again.
TEST(SkinItemViewer, RemeasuresAfterCaptionAndFontChanges)
{
    TRecordingThemeScope theme;
    SetToolbarMetrics(*theme);
    TViewFixture f(vtToolbar, true, TTBViewAxis::vaHorizontal);
    auto* item = f.Add<TSkinItem>(L"&Open");
    f.View->EnsureLayout();
    struct TStep {
        const char* Name;
        std::function<void()> Change;
        const wchar_t* Caption;
        bool Grown;   // bold or larger: more than the plain font's text
    };
    const TStep steps[] = {
        {"first measure", [] {}, L"&Open", false},
        {"same again", [] {}, L"&Open", false},
        {"longer caption", [&] { item->SetCaption(L"&Open a picture"); }, L"&Open a picture", false},
        {"bold", [&] { item->GetFontSettings()->SetBold(TTriState::tsTrue); }, L"&Open a picture", true},
        {"three times the size", [&] { item->GetFontSettings()->SetSize(300); }, L"&Open a picture", true},
        {"plain again",
         [&] {
             item->GetFontSettings()->SetBold(TTriState::tsDefault);
             item->GetFontSettings()->SetSize(100);
         },
         L"&Open a picture", false},
        {"caption back", [&] { item->SetCaption(L"&Open"); }, L"&Open", false},
    };
    for (const TStep& step : steps) {
        step.Change();
        const SIZE text = TextSizeInViewFont(f.View.get(), step.Caption, 0);
        const SIZE got = Measure(f, item);
        f.View->EnsureLayout();
        const RECT& bounds = f.ViewerOf(item)->GetBoundsRect();
        EXPECT_EQ(bounds.right - bounds.left, got.cx) << step.Name;
        if (step.Grown) {
            EXPECT_GT(got.cx, 6 + text.cx + 4) << step.Name;
            EXPECT_GE(got.cy, 6 + text.cy) << step.Name;
        } else {
            EXPECT_EQ(got.cx, 6 + text.cx + 4) << step.Name;
            EXPECT_EQ(got.cy, 6 + text.cy) << step.Name;
        }
    }
}

TEST(SkinItemViewer, MenuSizeAndMinimums)
{
    TRecordingThemeScope theme;
    SetToolbarMetrics(*theme);
    TViewFixture f(vtPopup, false);
    auto* save = f.Add<TSkinItem>(L"&Save");
    save->SetShortCut(TextToShortCut("Ctrl+S"));
    auto* plain = f.Add<TSkinItem>(L"Plain");
    auto* big = f.Add<TSkinItem>(L"Big");
    big->SetMinWidth(300);
    big->SetMinHeight(40);
    f.View->EnsureLayout();

    TMemoryDC dc;
    TTestCanvas canvas(dc.Get(), f.View.get());
    canvas->RequiredState(TCanvas::csHandleValid | TCanvas::csFontValid);
    TEXTMETRICW tm{};
    GetTextMetricsW(canvas->GetHandle(), &tm);
    auto expect = [&](TTBCustomItem* item, const std::wstring& caption, const std::wstring& shortCut) {
        const SIZE text = TextSizeInViewFont(f.View.get(), caption, DT_SINGLELINE);
        const int h = std::max(int(text.cy + tm.tmExternalLeading), 16) + 2;
        int w = text.cx + 4 + 1 + ComputeImageColumn(f.ViewerOf(item)) + 2 + 2;
        if (!shortCut.empty())
            w += TextSizeInViewFont(f.View.get(), shortCut, DT_SINGLELINE).cx + h - 6;
        return SIZE{w + h, h};
    };
    const std::wstring cut = save->FormatShortCut();
    ASSERT_FALSE(cut.empty());
    EXPECT_EQ(Measure(f, save).cx, expect(save, L"&Save", cut).cx);
    EXPECT_EQ(Measure(f, save).cy, expect(save, L"&Save", cut).cy);
    EXPECT_EQ(Measure(f, plain).cx, expect(plain, L"Plain", L"").cx);
    EXPECT_EQ(Measure(f, big).cx, 300) << "raised to MinWidth";
    EXPECT_EQ(Measure(f, big).cy, 40) << "raised to MinHeight";
    theme->Calls.clear();
    Measure(f, save);
    EXPECT_TRUE(theme->Of("DrawItemText").empty()) << "measuring paints nothing";
}

// ---------------------------------------------------------------------------------------------
// Painting with the recording theme

struct TPainted {
    std::vector<TThemeCall> Calls;
    RECT Bounds{};
};

TPainted PaintViewer(TViewFixture& f, TTBCustomItem* item, bool selected, bool pushed)
{
    f.View->EnsureLayout();
    TTBItemViewer* viewer = f.ViewerOf(item);
    const RECT& b = viewer->GetBoundsRect();
    const RECT client{0, 0, b.right - b.left, b.bottom - b.top};
    auto* theme = static_cast<TRecordingTheme*>(CurrentTheme());
    theme->Clear();
    TTestSurface surface(200, 100);
    TTestCanvas canvas(surface.DC(), f.View.get());
    viewer->Paint(canvas.Get(), client, selected, pushed, false);
    return TPainted{theme->Calls, client};
}

TEST(SkinItemViewer, ToolbarStatesReachTheTheme)
{
    TRecordingThemeScope theme;
    SetToolbarMetrics(*theme);
    struct TCase {
        const char* Name;
        bool Enabled, Checked, Selected, Pushed;
        bool ExpectEnabled;
        uint8_t ExpectHot;
        bool ExpectPushed, ExpectChecked;
        TColor ExpectText;
    };
    const TCase cases[] = {
        {"idle", true, false, false, false, true, 0, false, false, 0x102030},
        {"hot", true, false, true, false, true, 2, false, false, 0x102030},
        {"pushed", true, false, true, true, true, 2, true, false, 0x102030},
        {"checked", true, true, false, false, true, 0, false, true, 0x102030},
        {"disabled", false, false, false, false, false, 0, false, false, 0x808080},
        {"disabled, selected from the keyboard", false, false, true, false, false, 1, false, false, 0x808080},
    };
    for (const TCase& c : cases) {
        TViewFixture f;
        auto* item = f.Add<TSkinItem>(L"&Print");
        item->SetEnabled(c.Enabled);
        item->SetChecked(c.Checked);
        const TPainted p = PaintViewer(f, item, c.Selected, c.Pushed);
        ASSERT_EQ(p.Calls.size(), 2u) << c.Name << ": one frame, one caption";
        const TThemeCall& frame = p.Calls[0];
        EXPECT_EQ(frame.Op, "DrawButtonFrame") << c.Name;
        EXPECT_TRUE(SameRect(frame.R, p.Bounds)) << c.Name;
        EXPECT_EQ(frame.Info.ViewKind, uint32_t(vtToolbar)) << c.Name;
        EXPECT_EQ(frame.Info.ItemFlags & (ifToolbarStyle | ifSubmenu | ifSplit), uint32_t(ifToolbarStyle)) << c.Name;
        EXPECT_EQ(frame.Info.Enabled, c.ExpectEnabled) << c.Name;
        EXPECT_EQ(frame.Info.HotState, c.ExpectHot) << c.Name;
        EXPECT_EQ(frame.Info.Pushed, c.ExpectPushed) << c.Name;
        EXPECT_EQ(frame.Info.Checked, c.ExpectChecked) << c.Name;
        EXPECT_EQ(frame.Info.ButtonPart, bpWhole) << c.Name;
        const TThemeCall& text = p.Calls[1];
        EXPECT_EQ(text.Op, "DrawItemText") << c.Name;
        EXPECT_EQ(text.Text, L"&Print") << c.Name;
        EXPECT_EQ(text.Color, c.ExpectText) << c.Name;
        EXPECT_TRUE(text.Format & DT_CENTER) << c.Name;
        EXPECT_FALSE(text.Format & DT_SINGLELINE) << c.Name << ": toolbar captions may wrap lines";
        // The caption is centred in the frame less two pixels on each side.
        const SIZE size = TextSizeInViewFont(f.View.get(), L"&Print", 0);
        EXPECT_EQ(text.R.right - text.R.left, size.cx) << c.Name;
        EXPECT_EQ(text.R.left, (p.Bounds.right - size.cx) / 2) << c.Name;
    }
}

TEST(SkinItemViewer, FontSettingsAndAdjustEventReachTheCaption)
{
    TRecordingThemeScope theme;
    TViewFixture f;
    auto* item = f.Add<TSkinItem>(L"Bold");
    item->GetFontSettings()->SetColor(clRed);
    item->GetFontSettings()->SetBold(TTriState::tsTrue);
    std::vector<uint32_t> flags;
    bool boldSeen = false;
    item->OnAdjustFont = TAdjustFontEvent([&](TTBCustomItem*, TTBItemViewer*, TFont* font, uint32_t state) {
        flags.push_back(state);
        boldSeen = font->GetStyle().Contains(fsBold);
    });
    item->SetEnabled(false);
    const TPainted p = PaintViewer(f, item, false, false);
    const auto texts = theme->Of("DrawItemText");
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].Color, clRed) << "the item's colour wins over the theme's";
    ASSERT_FALSE(flags.empty());
    EXPECT_TRUE(flags.back() & sfDisabled);
    EXPECT_TRUE(boldSeen) << "settings apply before the event";
    // The bold caption measures wider than the plain one.
    SIZE plainSize = TextSizeInViewFont(f.View.get(), L"Bold", 0);
    EXPECT_GE(texts[0].R.right - texts[0].R.left, plainSize.cx);
}

TEST(SkinItemViewer, SplitAndDropDownParts)
{
    TRecordingThemeScope theme;
    SetToolbarMetrics(*theme);
    TViewFixture f;
    auto* split = f.Add<TSkinSubmenuItem>(L"Undo");
    split->SetDropdownCombo(true);
    split->Add(New<TSkinItem>(nullptr));
    auto* drop = f.Add<TSkinSubmenuItem>(L"View");
    drop->SetOptions(tboDropdownArrow);
    drop->Add(New<TSkinItem>(nullptr));

    TPainted p = PaintViewer(f, split, true, true);
    auto frames = theme->Of("DrawButtonFrame");
    ASSERT_EQ(frames.size(), 2u);
    const int w = p.Bounds.right, h = p.Bounds.bottom;
    EXPECT_TRUE(SameRect(frames[0].R, RECT{w - 11, 0, w, h})) << "the arrow part first";
    EXPECT_EQ(frames[0].Info.ButtonPart, bpSplitArrow);
    EXPECT_FALSE(frames[0].Info.Pushed) << "the button part is the pushed one";
    EXPECT_FALSE(frames[0].Info.Checked);
    EXPECT_TRUE(SameRect(frames[1].R, RECT{0, 0, w - 11, h}));
    EXPECT_EQ(frames[1].Info.ButtonPart, bpSplitButton);
    EXPECT_TRUE(frames[1].Info.Pushed);
    EXPECT_EQ(frames[1].Info.ItemFlags & (ifSubmenu | ifSplit), uint32_t(ifSubmenu | ifSplit));
    EXPECT_FALSE(frames[1].Info.PopupOpen);

    // Hit testing: the arrow part is outside the button part.
    TTBItemViewer* viewer = f.ViewerOf(split);
    EXPECT_TRUE(viewer->PointInButtonPart(w - 12, 2));
    EXPECT_FALSE(viewer->PointInButtonPart(w - 11, 2));
    EXPECT_FALSE(f.ViewerOf(drop)->PointInButtonPart(1, 1)) << "a plain submenu item opens everywhere";

    p = PaintViewer(f, drop, true, true);
    frames = theme->Of("DrawButtonFrame");
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].Info.ButtonPart, bpWithArrow);
    EXPECT_TRUE(frames[0].Info.PopupOpen) << "a pushed drop-down item has its popup open";
    const auto arrows = theme->Of("DrawArrowGlyph");
    ASSERT_EQ(arrows.size(), 1u);
    EXPECT_TRUE(SameRect(arrows[0].R, RECT{p.Bounds.right - 8, 0, p.Bounds.right, p.Bounds.bottom}));
    const auto texts = theme->Of("DrawItemText");
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_LE(texts[0].R.right, p.Bounds.right - 8 - 2) << "the caption stays left of the arrow strip";
}

TEST(SkinItemViewer, RotatedCaptionAndImages)
{
    TRecordingThemeScope theme;
    TImageListPtr images = MakeImageList(16, 16, 3);
    TViewFixture f(vtToolbar, true, TTBViewAxis::vaVertical);
    auto* item = f.Add<TSkinItem>(L"Go");
    const TPainted rotated = PaintViewer(f, item, false, false);
    auto texts = theme->Of("DrawItemText");
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_TRUE(texts[0].Format & DrawTextRotation270);
    EXPECT_TRUE(texts[0].Format & DT_SINGLELINE);

    TViewFixture g;
    auto* withImage = g.Add<TSkinItem>(L"Copy");
    withImage->SetImages(images.get());
    withImage->SetImageIndex(2);
    withImage->SetDisplayMode(TTBItemDisplayMode::nbdmImageAndText);
    int drawn = 0;
    POINT shift{-1, -1};
    withImage->OnDrawImage = TDrawImageEvent([&](TTBCustomItem*, TTBItemViewer*, TCanvas*, RECT, POINT s, uint32_t) {
        ++drawn;
        shift = s;
    });
    const TPainted p = PaintViewer(g, withImage, true, true);
    const auto imageCalls = theme->Of("DrawImageForState");
    ASSERT_EQ(imageCalls.size(), 1u);
    EXPECT_EQ(imageCalls[0].Value, 2);
    EXPECT_EQ(imageCalls[0].R.right - imageCalls[0].R.left, 16);
    EXPECT_EQ(imageCalls[0].R.left, 2 + 1) << "centred in a column two wider than the image";
    EXPECT_EQ(imageCalls[0].R.top, (p.Bounds.bottom - 16) / 2);
    EXPECT_TRUE(imageCalls[0].Info.HasImage);
    EXPECT_EQ(imageCalls[0].Info.ImageWidth, 16);
    EXPECT_EQ(drawn, 1);
    EXPECT_EQ(shift.x, 1) << "the theme's shift for a pushed item";
    texts = theme->Of("DrawItemText");
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_GE(texts[0].R.left, imageCalls[0].R.right) << "the caption right of the image";

    withImage->SetImageIndex(7);
    PaintViewer(g, withImage, false, false);
    EXPECT_TRUE(theme->Of("DrawImageForState").empty()) << "an index outside the list draws nothing";
}

TEST(SkinItemViewer, MenuItemsPaintFaceCheckAndShortcut)
{
    TRecordingThemeScope theme;
    SetToolbarMetrics(*theme);
    TViewFixture f(vtPopup, false);
    auto* radio = f.Add<TSkinItem>(L"&Large");
    radio->SetRadioItem(true);
    radio->SetChecked(true);
    radio->SetShortCut(TextToShortCut("Ctrl+L"));
    const TPainted p = PaintViewer(f, radio, true, false);
    ASSERT_FALSE(p.Calls.empty());
    EXPECT_EQ(p.Calls[0].Op, "DrawMenuItemFace") << "the face first";
    EXPECT_TRUE(SameRect(p.Calls[0].R, p.Bounds));
    EXPECT_EQ(p.Calls[0].Info.ItemFlags & ifToolbarStyle, 0u);
    EXPECT_EQ(p.Calls[0].Info.HotState, 2);
    EXPECT_GT(p.Calls[0].Info.ImageColumnWidth, 0);
    const auto checks = theme->Of("DrawCheckGlyph");
    ASSERT_EQ(checks.size(), 1u);
    EXPECT_TRUE(checks[0].Info.ItemFlags & ifRadio);
    EXPECT_EQ(checks[0].R.left, 2) << "the image column starts inside the left margin";
    EXPECT_EQ(checks[0].R.right - checks[0].R.left, p.Calls[0].Info.ImageColumnWidth);
    const auto texts = theme->Of("DrawItemText");
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0].Text, L"&Large");
    EXPECT_EQ(texts[0].R.left, 2 + 1 + p.Calls[0].Info.ImageColumnWidth + 2);
    EXPECT_TRUE(texts[0].Format & DT_VCENTER);
    EXPECT_TRUE(texts[0].Format & DT_SINGLELINE);
    EXPECT_EQ(texts[1].Text, radio->FormatShortCut());
    EXPECT_TRUE(texts[1].Format & DT_RIGHT);
    EXPECT_EQ(texts[1].R.right, p.Bounds.right - p.Bounds.bottom) << "ends one height before the right edge";
}

// ---------------------------------------------------------------------------------------------
// Separators

TEST(SkinSeparator, SizesAndLines)
{
    TRecordingThemeScope theme;
    SetToolbarMetrics(*theme);
    struct TCase {
        const char* Name;
        uint32_t ViewType;
        bool Toolbar;
        int Size;
        int ExpectStored;
        SIZE Expect;
        bool Paints;
        bool Horizontal;
    };
    const TCase cases[] = {
        {"toolbar, theme size", vtToolbar, true, -1, -1, {6, 6}, true, false},
        {"below -1 becomes -1", vtToolbar, true, -5, -1, {6, 6}, true, false},
        {"own size in a toolbar", vtToolbar, true, 9, 9, {9, 9}, true, false},
        {"no room at all", vtToolbar, true, 0, 0, {0, 0}, false, false},
        {"own size in a menu", vtPopup, false, 7, 7, {0, 7}, true, true},
    };
    for (const TCase& c : cases) {
        TViewFixture f(c.ViewType, c.Toolbar);
        auto* separator = New<TSkinSeparatorItem>(nullptr);
        separator->SetSize(c.Size);
        f.Root->Add(separator);
        f.Add<TSkinItem>(L"After");
        EXPECT_EQ(separator->GetSize(), c.ExpectStored) << c.Name;
        f.View->EnsureLayout();
        const SIZE got = Measure(f, separator);
        EXPECT_EQ(got.cx, c.Expect.cx) << c.Name;
        EXPECT_EQ(got.cy, c.Expect.cy) << c.Name;
        theme->Clear();
        TTestSurface surface(50, 50);
        TTestCanvas canvas(surface.DC(), f.View.get());
        f.ViewerOf(separator)->Paint(canvas.Get(), RECT{0, 0, 10, 10}, false, false, false);
        const auto lines = theme->Of("DrawSeparatorLine");
        ASSERT_EQ(lines.size(), c.Paints ? 1u : 0u) << c.Name;
        if (c.Paints) {
            EXPECT_EQ(lines[0].Flag1, c.Horizontal) << c.Name;
            EXPECT_FALSE(lines[0].Flag2) << c.Name;
            EXPECT_TRUE(lines[0].Info.Enabled) << c.Name;
        }
    }
    // Without a theme size, menus keep the framework's separator height.
    TViewFixture menu(vtPopup, false);
    auto* separator = New<TSkinSeparatorItem>(nullptr);
    menu.Root->Add(separator);
    menu.View->EnsureLayout();
    EXPECT_GT(Measure(menu, separator).cy, 0);
}

// ---------------------------------------------------------------------------------------------
// Visibility toggle

TEST(SkinVisibilityToggle, FollowsItsControlAndForgetsItWhenFreed)
{
    TItemPtr item(New<TSkinVisibilityToggleItem>(nullptr));
    auto* toggle = static_cast<TSkinVisibilityToggleItem*>(item.get());
    TCustomControl* panel = New<TCustomControl>(nullptr);
    panel->SetText("Properties");
    panel->SetVisible(false);
    toggle->SetControl(panel);
    EXPECT_EQ(toggle->GetCaption(), L"Properties") << "an empty caption takes the control's";
    EXPECT_FALSE(toggle->GetChecked());
    toggle->Click();
    EXPECT_TRUE(panel->GetVisible()) << "a click shows the hidden control";
    toggle->InitiateAction();
    EXPECT_TRUE(toggle->GetChecked());
    panel->SetVisible(false);
    toggle->InitiateAction();
    EXPECT_FALSE(toggle->GetChecked()) << "the next update follows a change made elsewhere";
    panel->Free();
    EXPECT_EQ(toggle->GetControl(), nullptr);
    toggle->Click();
    toggle->InitiateAction();
    EXPECT_FALSE(toggle->GetChecked());
}

// ---------------------------------------------------------------------------------------------
// Popup placement and the popup window

TEST(SkinPopupPlacement, SharesAnEdgeWhenTheThemeAsks)
{
    TRecordingThemeScope theme;
    TItemPtr item(New<TSkinItem>(nullptr));
    struct TCase {
        const char* Name;
        bool Share;
        bool AsSubmenu;
        int ExpectX, ExpectY, ExpectW, ExpectH, ExpectBorderX;
    };
    const TCase cases[] = {
        {"drop-down, plain", false, false, 100, 122, 150, 200, 3},
        {"drop-down, shared edge", true, false, 100, 121, 150, 200, 0},
        {"submenu, shared edge", true, true, 183, 103, 150, 200, 0},
    };
    for (const TCase& c : cases) {
        theme->BooleanMetrics[bmPopupsShareEdge] = c.Share;
        TTBPopupPlacement p;
        p.AsSubmenu = c.AsSubmenu;
        p.MonitorArea = RECT{0, 0, 1000, 800};
        p.OpenerRect = RECT{100, 100, 180, 122};
        p.BorderX = p.BorderY = 3;
        p.X = c.AsSubmenu ? 180 : 100;
        p.Y = c.AsSubmenu ? 100 : 122;
        p.W = 150;
        p.H = 200;
        item->PlacePopup(nullptr, nullptr, p);
        EXPECT_EQ(p.X, c.ExpectX) << c.Name;
        EXPECT_EQ(p.Y, c.ExpectY) << c.Name;
        EXPECT_EQ(p.W, c.ExpectW) << c.Name;
        EXPECT_EQ(p.H, c.ExpectH) << c.Name;
        EXPECT_EQ(p.BorderX, c.ExpectBorderX) << c.Name;
        EXPECT_TRUE(p.WithSound) << c.Name;
    }
}

TEST(SkinPopupWindow, ThemedFrameBackgroundAndShadows)
{
    TRecordingThemeScope theme;
    theme->ViewBorder = SIZE{2, 2};
    theme->ShadowStyle = 2;
    const int liveBefore = LiveHandles(THandleKind::GdiObject);
    HWND owner = CreateWindowExA(WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW, "STATIC", "", WS_POPUP, 50, 50, 400, 100,
                                 nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ShowWindow(owner, SW_SHOWNOACTIVATE);
    {
        TViewFixture f;
        f.Host->SetBounds(10, 10, 300, 30);
        f.Host->SetParentWindow(owner);
        auto* file = f.Add<TSkinSubmenuItem>(L"&File");
        auto* open = New<TSkinItem>(nullptr);
        open->SetCaption(L"&Open");
        file->Add(open);
        f.View->EnsureLayout();
        f.View->IncludeState(stModal);
        f.View->Select(f.ViewerOf(file), false);
        ASSERT_TRUE(f.View->ShowChildPopup(true));
        auto* popup = dynamic_cast<TSkinPopupWindow*>(f.View->GetOpenedViewerWindow());
        ASSERT_NE(popup, nullptr) << "themed items open themed popups";
        PumpMessages();
        EXPECT_EQ(GetViewTypeOfControl(popup), uint32_t(vtPopup));
        RECT window{}, client{};
        GetWindowRect(popup->GetHandle(), &window);
        GetClientRect(popup->GetHandle(), &client);
        EXPECT_EQ(window.right - window.left - client.right, 4) << "the theme's two-pixel border";

        theme->Clear();
        RedrawWindow(popup->GetHandle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_UPDATENOW);
        const auto frames = theme->Of("DrawPopupFrame");
        ASSERT_FALSE(frames.empty());
        EXPECT_EQ(frames[0].Popup.ViewType, uint32_t(vtPopup));
        EXPECT_EQ(frames[0].Popup.BorderSize.cx, 2);
        // The opening item, relative to the popup window: the popup hangs below it.
        const RECT item = f.ViewerOf(file)->ScreenBounds();
        EXPECT_EQ(frames[0].Popup.OpenerRect.left, item.left - window.left);
        EXPECT_EQ(frames[0].Popup.OpenerRect.bottom, item.bottom - window.top);
        const auto fills = theme->Of("FillViewBackground");
        ASSERT_FALSE(fills.empty());
        EXPECT_EQ(fills[0].Value, int(vtPopup));
        EXPECT_FALSE(theme->Of("DrawMenuItemFace").empty()) << "the items paint through the theme";

        ASSERT_NE(popup->GetShadows(), nullptr) << "style 2 shows the theme's shadows once shown";
        EXPECT_GT(popup->GetShadows()->GetCount(), 0);
        HWND popupWnd = popup->GetHandle();
        f.View->HideChildPopups();
        f.View->ExcludeState(stModal);
        PumpMessages();
        EXPECT_FALSE(IsWindow(popupWnd));
    }
    DestroyWindow(owner);
    PumpMessages();
    EXPECT_EQ(LiveHandles(THandleKind::GdiObject), liveBefore) << "no drawing object left behind";
}

// ---------------------------------------------------------------------------------------------
// The default theme, in pixels

TEST(SkinItemViewer, DefaultThemePixels)
{
    TImageListPtr images = MakeImageList(16, 16, 1);
    TViewFixture f;
    auto* item = f.Add<TSkinItem>(L"Image");
    item->SetImages(images.get());
    item->SetImageIndex(0);
    item->SetDisplayMode(TTBItemDisplayMode::nbdmImageAndText);
    f.View->EnsureLayout();
    TTBItemViewer* viewer = f.ViewerOf(item);
    const RECT b = viewer->GetBoundsRect();
    const int w = b.right - b.left, h = b.bottom - b.top;
    const int liveBefore = LiveHandles(THandleKind::GdiObject);
    for (bool hot : {false, true}) {
        TTestSurface surface(w, h);
        TTestCanvas canvas(surface.DC(), f.View.get());
        viewer->Paint(canvas.Get(), RECT{0, 0, w, h}, hot, false, false);
        // A hot image is drawn as it is; an idle one may be faded toward the background.
        const uint32_t image = PixelRGB(ImageColor(0)), at = surface.At(2 + 1 + 8, h / 2);
        if (hot) {
            EXPECT_EQ(at, image) << "the image at its place";
        }
        for (int shift : {0, 8, 16})
            EXPECT_GE((at >> shift) & 0xFF, (image >> shift) & 0xFF) << "the image at its place, hot " << hot;
        EXPECT_NE(at, surface.At(1, 1)) << "hot " << hot;
        int ink = 0;
        for (int x = 2 + 16 + 3; x < w - 2; ++x)
            for (int y = 2; y < h - 2; ++y)
                ink += surface.At(x, y) != surface.At(w / 2, 1) && surface.At(x, y) != 0xFFFFFF;
        EXPECT_GT(ink, 5) << "caption ink right of the image, hot " << hot;
    }
    for (int i = 0; i < 20; ++i) {
        TTestSurface surface(w, h);
        TTestCanvas canvas(surface.DC(), f.View.get());
        viewer->Paint(canvas.Get(), RECT{0, 0, w, h}, i % 2 == 0, i % 3 == 0, false);
    }
    EXPECT_EQ(LiveHandles(THandleKind::GdiObject), liveBefore);
}

} // namespace
