// Items beyond the plain command: the label item's size in toolbars and menus, both orientations,
// and its caption painted by the theme in the state's colour.
#include <gtest/gtest.h>

#include <string>

#include "SkinItemTestSupport.h"
#include "SkinRecordingTheme.h"
#include "SkinTestSupport.h"
#include "TestSupport.h"
#include "platform/ScopeGuards.h"
#include "platform/SysUtils.h"
#include "skin/Skin.h"
#include "skin/SkinExtItems.h"
#include "skin/SkinUtils.h"
#include "toolbar/TBCommon.h"

namespace {

TEXTMETRICW ViewFontMetrics(TTBView* view)
{
    TMemoryDC dc;
    TTestCanvas canvas(dc.Get(), view);
    canvas->RequiredState(TCanvas::csHandleValid | TCanvas::csFontValid);
    TEXTMETRICW tm{};
    GetTextMetricsW(canvas->GetHandle(), &tm);
    return tm;
}

TEST(SkinLabelItem, SizesByOrientationMarginAndView)
{
    struct TCase {
        const char* Name;
        uint32_t ViewType;
        bool Toolbar;
        TTBViewAxis Axis;
        TSkinLabelOrientation Orientation;
        std::wstring Caption;
        int Margin;
        bool Vertical;
    };
    const TCase cases[] = {
        {"toolbar label", vtToolbar, true, TTBViewAxis::vaHorizontal, TSkinLabelOrientation::skoAuto, L"&Scale:", 0,
         false},
        {"with a margin", vtToolbar, true, TTBViewAxis::vaHorizontal, TSkinLabelOrientation::skoAuto, L"Scale:", 3,
         false},
        {"an empty label measures a digit", vtToolbar, true, TTBViewAxis::vaHorizontal,
         TSkinLabelOrientation::skoAuto, L"", 0, false},
        {"vertical view turns it", vtToolbar, true, TTBViewAxis::vaVertical, TSkinLabelOrientation::skoAuto,
         L"Scale:", 1, true},
        {"horizontal on request", vtToolbar, true, TTBViewAxis::vaVertical, TSkinLabelOrientation::skoHorizontal,
         L"Scale:", 1, false},
        {"in an edit popup it counts as a toolbar", vtEditPopup, false, TTBViewAxis::vaHorizontal,
         TSkinLabelOrientation::skoAuto, L"Scale:", 0, false},
    };
    for (const TCase& c : cases) {
        TViewFixture f(c.ViewType, c.Toolbar, c.Axis);
        auto* label = f.Add<TSkinLabelItem>(c.Caption);
        label->SetMargin(c.Margin);
        label->SetOrientation(c.Orientation);
        EXPECT_FALSE(label->HasTrait(isSelectable)) << c.Name;
        EXPECT_TRUE(label->HasTrait(isPassClicks)) << c.Name;
        f.View->EnsureLayout();
        const TEXTMETRICW tm = ViewFontMetrics(f.View.get());
        const std::wstring shown = c.Caption.empty() ? L"0" : c.Caption;
        int textWidth = TextSizeInViewFont(f.View.get(), RemoveAccelMarks(shown), DT_SINGLELINE | DT_NOPREFIX).cx;
        if (c.Vertical) {
            // The turned font of the same height measures its own width.
            TMemoryDC dc;
            TTestCanvas canvas(dc.Get(), f.View.get());
            canvas->RequiredState(TCanvas::csHandleValid | TCanvas::csFontValid);
            TGdiObject<HFONT> turned = MakeVerticalFont(canvas->GetHandle());
            TSelectGuard select(canvas->GetHandle(), turned.Get());
            textWidth = GetTextWidthW(canvas->GetHandle(), shown, true);
        }
        const int along = std::max(c.Margin + textWidth, 6) + 2 * c.Margin + 1;
        const int across = std::max(c.Margin + int(tm.tmHeight), 6) + 2 * c.Margin + 1;
        TMemoryDC dc;
        TTestCanvas canvas(dc.Get(), f.View.get());
        int w = 0, h = 0;
        f.ViewerOf(label)->MeasureSize(canvas.Get(), w, h);
        EXPECT_EQ(w, c.Vertical ? across : along) << c.Name;
        EXPECT_EQ(h, c.Vertical ? along : across) << c.Name;
    }
}

TEST(SkinLabelItem, PaintsTheCaptionInTheStateColour)
{
    TRecordingThemeScope theme;
    TViewFixture f(vtToolbar, true, TTBViewAxis::vaVertical);
    auto* label = f.Add<TSkinLabelItem>(L"&Scale:");
    label->SetMargin(2);
    label->GetFontSettings()->SetBold(TTriState::tsTrue);
    bool bold = false;
    label->OnAdjustFont = TAdjustFontEvent([&](TTBCustomItem*, TTBItemViewer*, TFont* font, uint32_t) {
        bold = font->GetStyle().Contains(fsBold);
    });
    f.View->EnsureLayout();
    for (bool enabled : {true, false}) {
        label->SetEnabled(enabled);
        theme->Clear();
        TTestSurface surface(100, 100);
        TTestCanvas canvas(surface.DC(), f.View.get());
        f.ViewerOf(label)->Paint(canvas.Get(), RECT{0, 0, 30, 80}, false, false, false);
        const auto texts = theme->Of("DrawItemText");
        ASSERT_EQ(texts.size(), 1u);
        EXPECT_EQ(texts[0].Text, L"&Scale:");
        EXPECT_TRUE(texts[0].Format & DrawTextRotation270) << "turned in a vertical view";
        EXPECT_TRUE(SameRect(texts[0].R, RECT{2, 2, 28, 78})) << "inside the margin";
        EXPECT_EQ(texts[0].Color, enabled ? TColor(0x102030) : TColor(0x808080));
        EXPECT_EQ(texts[0].Info.Enabled, enabled);
        EXPECT_TRUE(bold) << "font settings apply before the event";
    }
}

} // namespace
