#include <gtest/gtest.h>

#include <cmath>

#include "LayerTestSupport.h"

namespace {

// A canvas whose map mode puts 10 logical units in a pixel, its buffer filled white.
TOwned<TLayerCanvas> NewCanvas(int width, int height, int dpi = 254)
{
    TOwned<TLayerCanvas> canvas(New<TLayerCanvas>());
    canvas->Resize(width, height);
    canvas->GetMapMode()->SetDPI(POINT{dpi, dpi});
    canvas->GetMainBuffer()->FillRect(0, 0, width, height, 0xFFFFFFFF);
    canvas->SetUpdateRect(RECT{0, 0, width, height});
    return canvas;
}

uint32_t Rgb(const TLayerCanvas& canvas, int x, int y)
{
    return *canvas.GetMainBuffer()->PixelPtr(x, y) & 0xFFFFFF;
}

bool IsInk(uint32_t rgb)
{
    return rgb != 0xFFFFFF;
}

// The rows that hold ink, as bands of consecutive rows.
int InkBands(const TLayerCanvas& canvas)
{
    TLayerBuffer* buffer = canvas.GetMainBuffer();
    int bands = 0;
    bool previous = false;
    for (int y = 0; y < buffer->GetHeight(); ++y) {
        bool ink = false;
        for (int x = 0; x < buffer->GetWidth() && !ink; ++x)
            ink = IsInk(Rgb(canvas, x, y));
        if (ink && !previous)
            ++bands;
        previous = ink;
    }
    return bands;
}

bool InkOutside(const TLayerCanvas& canvas, const RECT& r)
{
    TLayerBuffer* buffer = canvas.GetMainBuffer();
    for (int y = 0; y < buffer->GetHeight(); ++y)
        for (int x = 0; x < buffer->GetWidth(); ++x)
            if ((x < r.left || x >= r.right || y < r.top || y >= r.bottom) && IsInk(Rgb(canvas, x, y)))
                return true;
    return false;
}

TEST(LayerPainting, AlphaRectangleBlendsOnlyInTheUpdateArea)
{
    auto page = NewPage();
    auto* rect = AddElement<TLayerRect>(page.get(), 100, 100, 400, 400);
    rect->SetColor(clRed);
    rect->SetAlpha(128);
    auto canvas = NewCanvas(60, 60);
    page->Paint(canvas.get(), RECT{0, 0, 30, 60});
    uint32_t inside = Rgb(*canvas, 20, 20);
    EXPECT_EQ(0xFFu, (inside >> 16) & 0xFF);
    EXPECT_NEAR(127, static_cast<int>((inside >> 8) & 0xFF), 1);
    EXPECT_NEAR(127, static_cast<int>(inside & 0xFF), 1);
    EXPECT_EQ(0xFFFFFFu, Rgb(*canvas, 9, 20));
    EXPECT_EQ(inside, Rgb(*canvas, 10, 10));
    EXPECT_EQ(0xFFFFFFu, Rgb(*canvas, 50, 20));  // right edge lies outside
    EXPECT_EQ(0xFFFFFFu, Rgb(*canvas, 35, 20));  // outside the update rectangle

    rect->SetVisible(false);
    canvas = NewCanvas(60, 60);
    page->Paint(canvas.get(), RECT{0, 0, 60, 60});
    EXPECT_EQ(0xFFFFFFu, Rgb(*canvas, 20, 20));
}

TEST(LayerPainting, FrameFillsOnlyItsBand)
{
    auto page = NewPage();
    auto* frame = AddElement<TLayerFrame>(page.get(), 0, 0, 500, 500);
    frame->SetColor(clBlue);
    frame->SetInnerRect(frame->GetBounds());
    auto canvas = NewCanvas(60, 60);
    page->Paint(canvas.get(), RECT{0, 0, 60, 60});
    EXPECT_FALSE(InkOutside(*canvas, RECT{0, 0, 0, 0}));

    frame->SetInnerRect(RECT{100, 100, 400, 400});
    page->Paint(canvas.get(), RECT{0, 0, 60, 60});
    EXPECT_EQ(0x0000FFu, Rgb(*canvas, 5, 25));   // left band (blue is 0000FF in ARGB order)
    EXPECT_EQ(0x0000FFu, Rgb(*canvas, 45, 25));  // right band
    EXPECT_EQ(0x0000FFu, Rgb(*canvas, 25, 45));  // bottom band
    EXPECT_EQ(0xFFFFFFu, Rgb(*canvas, 25, 25));  // inside
    EXPECT_EQ(0xFFFFFFu, Rgb(*canvas, 55, 25));  // outside
}

TEST(LayerPainting, EllipseTakesItsColourForOutlineAndFill)
{
    auto page = NewPage();
    auto* ellipse = AddElement<TLayerEllipse>(page.get(), 0, 0, 400, 400);
    ellipse->SetColor(clGreen);
    EXPECT_EQ(clGreen, ellipse->GetPen()->GetColor());
    EXPECT_EQ(clGreen, ellipse->GetBrush()->GetColor());
    auto canvas = NewCanvas(60, 60);
    page->Paint(canvas.get(), RECT{0, 0, 60, 60});
    EXPECT_EQ(0x008000u, Rgb(*canvas, 20, 20));
    EXPECT_EQ(0x008000u, Rgb(*canvas, 20, 0));  // the outline at the top
    EXPECT_EQ(0xFFFFFFu, Rgb(*canvas, 1, 1));   // outside the curve
    EXPECT_FALSE(InkOutside(*canvas, RECT{0, 0, 40, 40}));

    // On paper through a print map mode: the same shape at another resolution.
    TLayerBuffer paper;
    paper.SetSize(120, 120);
    paper.FillRect(0, 0, 120, 120, 0xFFFFFFFF);
    THiMetric printMode;
    printMode.SetDPI(POINT{508, 508});
    ellipse->Print(paper.GetHandle(), printMode);
    EXPECT_EQ(0x008000u, *paper.PixelPtr(40, 40) & 0xFFFFFF);
    EXPECT_EQ(0xFFFFFFu, *paper.PixelPtr(100, 100) & 0xFFFFFF);
}

// Elements far larger than the page (791,003 mm across, a font of 1,220 points) at 100 % and
// 500 %: what the view shows of them is drawn, with the device coordinates of millions of pixels
// that this takes, and the rest is left out instead of being walked.
TEST(LayerPainting, ElementsFarLargerThanThePageDrawWhatTheViewShows)
{
    constexpr int Huge = 79100300;
    auto page = NewPage();
    auto* rect = AddElement<TLayerRect>(page.get(), 1000, 1000, Huge, Huge);
    rect->SetColor(clRed);
    auto* ellipse = AddElement<TLayerEllipse>(page.get(), 1000, 1000, Huge, Huge);
    ellipse->SetColor(clBlue);
    auto* text = New<TLayerText>(page.get());
    TOwned<TFont> font(New<TFont>());
    font->SetName("Arial");
    font->SetSize(1220);
    text->SetAutoSize(true);
    text->SetFont(font.get());
    text->SetText("I");
    ASSERT_GT(text->GetHeight(), 40000);

    struct TView {
        int Dpi;
        double Down;    // where the view's middle row lies, from the element's top to its bottom
    };
    // The canvas with the element's horizontal middle and the given height in its middle.
    auto look = [](TLayerElement* element, TView view) {
        auto canvas = NewCanvas(200, 200, view.Dpi);
        RECT b = element->GetBounds();
        POINT at{static_cast<int>((int64_t{b.left} + b.right) / 2),
                 static_cast<int>(b.top + (int64_t{b.bottom} - b.top) * view.Down)};
        POINT d = canvas->GetMapMode()->LPtoDP(at);
        canvas->GetMapMode()->SetOrigin(POINT{100 - d.x, 100 - d.y});
        element->Paint(canvas.get(), RECT{0, 0, 200, 200});
        return canvas;
    };
    auto inked = [](const TLayerCanvas& canvas) {
        int n = 0;
        for (int y = 0; y < 200; ++y)
            for (int x = 0; x < 200; ++x)
                n += IsInk(Rgb(canvas, x, y)) ? 1 : 0;
        return n;
    };
    for (int dpi : {96, 480}) {
        SCOPED_TRACE(dpi);
        // In the middle, each fills the view; at the top edge, the half below it.
        EXPECT_EQ(inked(*look(rect, TView{dpi, 0.5})), 40000);
        EXPECT_EQ(inked(*look(ellipse, TView{dpi, 0.5})), 40000);
        EXPECT_EQ(Rgb(*look(ellipse, TView{dpi, 0.5}), 100, 100), 0x0000FFu);
        EXPECT_EQ(inked(*look(rect, TView{dpi, 0.0})), 20000);
        EXPECT_NEAR(inked(*look(ellipse, TView{dpi, 0.0})), 20000, 200);
        EXPECT_TRUE(IsInk(Rgb(*look(text, TView{dpi, 0.5}), 100, 100)));
    }

    // On paper: the part of the ellipse that falls on the sheet.
    TLayerBuffer paper;
    paper.SetSize(120, 120);
    paper.FillRect(0, 0, 120, 120, 0xFFFFFFFF);
    THiMetric printMode;
    printMode.SetDPI(POINT{600, 600});
    POINT centre = printMode.LPtoDP(POINT{1000 + Huge / 2, 1000 + Huge / 2});
    printMode.SetOrigin(POINT{60 - centre.x, 60 - centre.y});
    ellipse->Print(paper.GetHandle(), printMode);
    EXPECT_EQ(*paper.PixelPtr(0, 0) & 0xFFFFFF, 0x0000FFu);
    EXPECT_EQ(*paper.PixelPtr(119, 119) & 0xFFFFFF, 0x0000FFu);
}

TEST(LayerPainting, RectanglePrintsOpaque)
{
    auto page = NewPage();
    auto* rect = AddElement<TLayerRect>(page.get(), 100, 100, 200, 200);
    rect->SetColor(clRed);
    rect->SetAlpha(128);
    TLayerBuffer paper;
    paper.SetSize(40, 40);
    paper.FillRect(0, 0, 40, 40, 0xFFFFFFFF);
    THiMetric printMode;
    printMode.SetDPI(POINT{254, 254});
    page->Print(paper.GetHandle(), printMode);
    EXPECT_EQ(0xFF0000u, *paper.PixelPtr(15, 15) & 0xFFFFFF);
    EXPECT_EQ(0xFFFFFFu, *paper.PixelPtr(30, 15) & 0xFFFFFF);
}

// Text layout.

TLayerText* AddText(TLayerComposition* page, const std::string& text, int width, int height = 5000)
{
    auto* element = AddElement<TLayerText>(page, 0, 0, width, height);
    TOwned<TFont> font(New<TFont>());
    font->SetName("Arial");
    font->SetSize(12);
    font->SetColor(clBlack);
    element->SetFont(font.get());
    element->SetText(text);
    return element;
}

int WidthOf(TLayerComposition* page, const std::string& text)
{
    auto* probe = AddText(page, text, 100);
    probe->SetAutoSize(true);
    probe->Remeasure();
    int width = probe->GetWidth();
    probe->Free();
    return width;
}

using Lines = std::vector<std::string>;

TEST(LayerTextLayout, BreaksAtSpacesToFitTheWidth)
{
    auto page = NewPage();
    int aaa = WidthOf(page.get(), "aaa");
    ASSERT_GT(aaa, 0);
    auto* text = AddText(page.get(), "aaa bbb", aaa);
    EXPECT_EQ((Lines{"aaa", "bbb"}), text->GetLines());
    // Two spaces count twice on a line and vanish at a break.
    text->SetText("aaa  bbb");
    EXPECT_EQ((Lines{"aaa", "bbb"}), text->GetLines());
    text->SetWidth(aaa * 10);
    EXPECT_EQ((Lines{"aaa  bbb"}), text->GetLines());
    // A word wider than the element stands alone; leading spaces stay.
    text->SetWidth(aaa);
    text->SetText("a verylongword b");
    EXPECT_EQ((Lines{"a", "verylongword", "b"}), text->GetLines());
    text->SetWidth(aaa * 10);
    text->SetText("  aaa");
    EXPECT_EQ((Lines{"  aaa"}), text->GetLines());
    text->SetText("a\rb\nc\r\nd\n");
    EXPECT_EQ((Lines{"a", "b", "c", "d", ""}), text->GetLines());
}

TEST(LayerTextLayout, CentredAndRightLinesUseTheMeasuredLineWidth)
{
    auto page = NewPage();
    int aaa = WidthOf(page.get(), "aaa");
    auto* text = AddText(page.get(), "aaa", aaa + 1001);
    text->SetFormat(DT_WORDBREAK | DT_CENTER);
    EXPECT_EQ(500, text->GetCharOffsets(0)[0]);
    text->SetFormat(DT_WORDBREAK | DT_RIGHT);
    EXPECT_EQ(1001, text->GetCharOffsets(0)[0]);
    text->SetFormat(DT_WORDBREAK);
    std::vector<int> offsets = text->GetCharOffsets(0);
    ASSERT_EQ(3u, offsets.size());
    EXPECT_EQ(0, offsets[0]);
    EXPECT_LT(offsets[1], offsets[2]);
}

TEST(LayerTextLayout, AutoSizeMeasuresOneLineAndNeverWraps)
{
    auto page = NewPage();
    auto* text = AddText(page.get(), "", 100);
    text->SetAutoSize(true);
    text->SetText("Holiday at the lake, summer");
    EXPECT_EQ((Lines{"Holiday at the lake, summer"}), text->GetLines());
    int oneLine = text->GetWidth();
    int height = text->GetHeight();
    EXPECT_GT(height, 300);
    EXPECT_LT(height, 600);
    // A line break counts as characters of the one line.
    text->SetText("Holiday at the lake,\r\nsummer");
    EXPECT_EQ(height, text->GetHeight());
    EXPECT_GT(text->GetWidth(), WidthOf(page.get(), "Holiday at the lake,"));
    EXPECT_NE(oneLine, 0);
}

TEST(LayerTextLayout, SameBreaksAndPlacesAt100And200PercentAnd600Dpi)
{
    auto page = NewPage();
    auto* text = AddText(page.get(), "The quick brown fox jumps over the lazy dog and runs away", 4000, 3000);
    text->SetLeft(100);
    text->SetTop(100);
    Lines lines = text->GetLines();
    ASSERT_GE(lines.size(), 3u);
    int fontSize = text->GetFont()->GetSize();

    int bands[3];
    const int dpis[3] = {96, 192, 600};
    for (int i = 0; i < 3; ++i) {
        int dpi = dpis[i];
        int side = MulDiv(4400, dpi, 2540);
        auto canvas = NewCanvas(side, side, dpi);
        page->Paint(canvas.get(), RECT{0, 0, side, side});
        EXPECT_EQ(lines, text->GetLines());
        RECT device = canvas->GetMapMode()->LPtoDPRect(text->GetBounds());
        EXPECT_FALSE(InkOutside(*canvas, device)) << dpi;
        bands[i] = InkBands(*canvas);
    }
    EXPECT_EQ(static_cast<int>(lines.size()), bands[0]);
    EXPECT_EQ(bands[0], bands[1]);
    EXPECT_EQ(bands[0], bands[2]);
    EXPECT_EQ(fontSize, text->GetFont()->GetSize());
}

// Draws the laid-out text one character at a time, each at its own place: the output that the
// line-at-a-time drawing must match pixel for pixel.
void DrawCharByChar(TLayerText* text, TLayerCanvas* canvas)
{
    const TMapMode& mapMode = *canvas->GetMapMode();
    HDC dc = canvas->GetMainBuffer()->GetHandle();
    int lh = PointsToHiMetric(static_cast<float>(text->GetFont()->GetSize()));
    LOGFONTA lf = text->GetFont()->GetLogFont();
    lf.lfHeight = lh;
    HFONT logical = CreateFontIndirectA(&lf);
    HDC reference = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(reference, logical);
    TEXTMETRICA tm{};
    GetTextMetricsA(reference, &tm);
    SelectObject(reference, old);
    DeleteDC(reference);
    DeleteObject(logical);

    lf.lfHeight = mapMode.LPtoDPY(lh, 1.5);
    HFONT device = CreateFontIndirectA(&lf);
    old = SelectObject(dc, device);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, 0);
    RECT clip = mapMode.LPtoDPRect(text->GetBounds());
    double ratio = static_cast<double>(mapMode.GetViewportExt().x) / mapMode.GetWindowExt().x;
    Lines lines = text->GetLines();
    for (size_t i = 0; i < lines.size(); ++i) {
        std::vector<int> offsets = text->GetCharOffsets(static_cast<int>(i));
        POINT d = mapMode.LPtoDP(POINT{text->GetLeft(), text->GetTop() + static_cast<int>(i) * (tm.tmHeight + tm.tmExternalLeading)});
        for (size_t k = 0; k < lines[i].size(); ++k) {
            int x = d.x + (k == 0 ? 0 : static_cast<int>(std::trunc(offsets[k] * ratio + 0.1)));
            ExtTextOutA(dc, x, d.y, ETO_CLIPPED, &clip, &lines[i][k], 1, nullptr);
        }
    }
    SelectObject(dc, old);
    DeleteObject(device);
}

TEST(LayerTextLayout, LineAtATimeDrawsTheSamePixelsAsCharacterByCharacter)
{
    auto page = NewPage();
    auto* text = AddText(page.get(), "Pictures of the summer by the lake, with the whole family", 5000, 2000);
    text->SetBounds(300, 200, 5000, 2000);
    for (int dpi : {96, 150, 300}) {
        int side = MulDiv(5600, dpi, 2540);
        auto lineWise = NewCanvas(side, side, dpi);
        auto charWise = NewCanvas(side, side, dpi);
        page->Paint(lineWise.get(), RECT{0, 0, side, side});
        DrawCharByChar(text, charWise.get());
        int differences = 0;
        for (int y = 0; y < side; ++y)
            for (int x = 0; x < side; ++x)
                differences += Rgb(*lineWise, x, y) != Rgb(*charWise, x, y);
        EXPECT_EQ(0, differences) << dpi;
        EXPECT_GT(InkBands(*lineWise), 1);
    }
}

TEST(LayerTextLayout, EmptyTextDrawsAndPrintsNothing)
{
    auto page = NewPage();
    auto* text = AddText(page.get(), "", 2000, 2000);
    auto canvas = NewCanvas(40, 40);
    page->Paint(canvas.get(), RECT{0, 0, 40, 40});
    text->Print(canvas->GetMainBuffer()->GetHandle(), *canvas->GetMapMode());
    EXPECT_FALSE(InkOutside(*canvas, RECT{0, 0, 0, 0}));
}

TEST(LayerTextLayout, PrintsClippedToItsBoundsAt600Dpi)
{
    auto page = NewPage();
    auto* text = AddText(page.get(), "A single verylongwordthatcannotfitanywhere", 800, 300);
    text->SetBounds(100, 100, 800, 300);
    TLayerBuffer paper;
    paper.SetSize(250, 250);
    paper.FillRect(0, 0, 250, 250, 0xFFFFFFFF);
    THiMetric printMode;
    printMode.SetDPI(POINT{600, 600});
    text->Print(paper.GetHandle(), printMode);
    RECT device = printMode.LPtoDPRect(text->GetBounds());
    bool inside = false;
    bool outside = false;
    for (int y = 0; y < 250; ++y)
        for (int x = 0; x < 250; ++x) {
            bool ink = (*paper.PixelPtr(x, y) & 0xFFFFFF) != 0xFFFFFF;
            bool in = x >= device.left && x < device.right && y >= device.top && y < device.bottom;
            (in ? inside : outside) |= ink;
        }
    EXPECT_TRUE(inside);
    EXPECT_FALSE(outside);
}

TEST(LayerTextLayout, TextFormatAndFontChangesReplaceTheElement)
{
    auto page = NewPage();
    auto* text = AddText(page.get(), "x", 2000, 2000);
    page->Reset();
    text->SetText("y");
    EXPECT_FALSE(page->Changed.empty());
    text->SetAutoSize(true);
    text->Remeasure();
    page->Reset();
    TOwned<TFont> font(New<TFont>());
    font->SetName("Arial");
    font->SetSize(40);
    int before = text->GetHeight();
    text->SetFont(font.get());
    EXPECT_GT(text->GetHeight(), before * 2);
    EXPECT_FALSE(page->Changed.empty());
}

}  // namespace
