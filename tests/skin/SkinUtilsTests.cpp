#include "SkinTestSupport.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include "platform/ImgList.h"
#include "platform/ScopeGuards.h"
#include "skin/SkinUtils.h"

namespace {

// An image list of one 8 x 8 image: its left half red, its right half transparent.
class TRedHalfList {
public:
    TRedHalfList() : FImages(New<TImageList>(nullptr, 8, 8)), FList(FImages->GetHandle())
    {
        TWindowDC screen;
        TGdiObject<HBITMAP> bitmap(CreateCompatibleBitmap(screen.Get(), 8, 8));
        {
            TMemoryDC dc(screen.Get());
            TSelectGuard select(dc.Get(), bitmap.Get());
            TGdiObject<HBRUSH> red(CreateSolidBrush(RGB(255, 0, 0))), key(CreateSolidBrush(RGB(255, 0, 255)));
            const RECT left{0, 0, 4, 8}, right{4, 0, 8, 8};
            FillRect(dc.Get(), &left, red.Get());
            FillRect(dc.Get(), &right, key.Get());
        }
        ImageList_AddMasked(FList, bitmap.Get(), RGB(255, 0, 255));
    }
    HIMAGELIST Get() const { return FList; }
    TCustomImageList* Images() const { return FImages.get(); }

private:
    std::unique_ptr<TCustomImageList, TObjectFree> FImages;
    HIMAGELIST FList;
};

constexpr uint32_t Background = 0x204080;

TDIBPtr DrawnImage(HIMAGELIST list, int index, const TImageEffects& effects, int w = 0, int h = 0)
{
    TDIBPtr target = MakeDIB(20, 20, 0xFF000000 | Background);
    DrawListImage(list, index, target->GetDC(), effects, 2, 3, w, h);
    GdiFlush();
    return target;
}

} // namespace

TEST(SkinUtils, ColourArithmetic)
{
    EXPECT_EQ(MixColorPair(clWhite, clBlack, 0), 0);
    EXPECT_EQ(MixColorPair(clWhite, clBlack, 255), 0xFEFEFE) << "division by 256";
    EXPECT_EQ(MixColorPair(RGB(200, 100, 0), RGB(0, 100, 200), 128), RGB(100, 99, 99));
    EXPECT_EQ(MixColorPair(clWindow, clWindow, 255), MixColorPair(ColorToRGB(clWindow), ColorToRGB(clWindow), 255))
        << "system colours are resolved first";
    EXPECT_THROW(MixColorPair(clWhite, clBlack, 256), EAssertionFailed);
    EXPECT_EQ(OffsetColorChannels(RGB(10, 250, 128), 300), 0xFFFFFF);
    EXPECT_EQ(OffsetColorChannels(RGB(10, 250, 128), -300), 0);
    EXPECT_EQ(OffsetColorChannels(RGB(10, 250, 128), 5), RGB(15, 255, 133));
    EXPECT_TRUE(IsColorDark(clBlack, 100));
    EXPECT_FALSE(IsColorDark(clWhite, 100));
    EXPECT_EQ(IsColorDark(clWindow, 100), IsColorDark(ColorToRGB(clWindow), 100));
    EXPECT_TRUE(IsColorDark(RGB(0, 0, 255), 100)) << "blue weighs little";
    EXPECT_EQ(ExchangeRedBlue(0x123456), 0x563412);
    EXPECT_EQ(MixToScreenColor(clWhite, clBlack, 255), 0xFEFEFE) << "a true-colour screen shows it as it is";
}

TEST(SkinUtils, RampsRoundToTheirEndsAndAreCached)
{
    EXPECT_EQ(ColorRamp(1, clBlack, clWhite), std::vector<TColor>{0x7F7F7F});
    EXPECT_EQ(ColorRamp(4, clWhite, clBlack), (std::vector<TColor>{0xFFFFFF, 0xAAAAAA, 0x555555, 0x000000}))
        << "a falling ramp ends at its last colour";
    EXPECT_EQ(ColorRamp(3, RGB(0, 10, 200), RGB(10, 0, 100)),
              (std::vector<TColor>{RGB(0, 10, 200), RGB(5, 5, 150), RGB(10, 0, 100)}));
    EXPECT_THROW(ColorRamp(0, clBlack, clWhite), EAssertionFailed);

    const std::vector<TColor>* first = &ColorRamp(7, RGB(1, 2, 3), RGB(4, 5, 6));
    for (int i = 0; i < 15; ++i)
        ColorRamp(20 + i, clBlack, clWhite);
    EXPECT_EQ(first, &ColorRamp(7, RGB(1, 2, 3), RGB(4, 5, 6))) << "still one of the last 16";
    for (int i = 0; i < 16; ++i)
        ColorRamp(40 + i, clBlack, clWhite);
    EXPECT_NE(first->size(), 7u) << "its slot went to a newer ramp";
    EXPECT_EQ(ColorRamp(7, RGB(1, 2, 3), RGB(4, 5, 6)).back(), RGB(4, 5, 6));
}

TEST(SkinUtils, GradientsWithAndWithoutTheSystemCall)
{
    {
        TOptionalCallsScope scope;
        SkinOptionalCalls().GradientFill = nullptr;
        // Ten one-pixel strips of the ramp, only those inside the clip region drawn.
        TDIBPtr target = MakeDIB(6, 10, 0xFF123456);
        TGdiObject<HRGN> clip(CreateRectRgn(0, 3, 6, 7));
        SelectClipRgn(target->GetDC(), clip.Get());
        GradientRect(target->GetDC(), RECT{0, 0, 6, 10}, clBlack, clWhite, true);
        SelectClipRgn(target->GetDC(), nullptr);
        GdiFlush();
        const std::vector<TColor>& ramp = ColorRamp(10, clBlack, clWhite);
        for (int y = 0; y < 10; ++y) {
            const uint32_t expected = y >= 3 && y < 7 ? PixelRGB(COLORREF(ramp[size_t(y)])) : 0x123456;
            EXPECT_EQ(RGBOf(PixelAt(target.get(), 2, y)), expected) << y;
            EXPECT_EQ(PixelAt(target.get(), 0, y), PixelAt(target.get(), 5, y));
        }
        TDIBPtr across = MakeDIB(10, 2, 0xFF123456);
        GradientRect(across->GetDC(), RECT{0, 0, 10, 2}, RGB(255, 0, 0), RGB(0, 0, 255), false);
        GdiFlush();
        EXPECT_EQ(RGBOf(PixelAt(across.get(), 0, 1)), 0xFF0000u);
        EXPECT_EQ(RGBOf(PixelAt(across.get(), 9, 1)), 0x0000FFu);
    }
    if (SkinOptionalCalls().GradientFill) {
        TDIBPtr target = MakeDIB(4, 64, 0xFF123456);
        GradientRect(target->GetDC(), RECT{0, 0, 4, 64}, clBlack, clWhite, true);
        GdiFlush();
        EXPECT_LT(RGBOf(PixelAt(target.get(), 1, 0)) & 0xFF, 8u);
        EXPECT_GT(RGBOf(PixelAt(target.get(), 1, 63)) & 0xFF, 247u);
    }
}

TEST(SkinUtils, ShapesUnderstandNoColour)
{
    TDIBPtr target = MakeDIB(12, 12, 0xFF123456);
    HDC dc = target->GetDC();
    EXPECT_FALSE(FillRectColor(dc, RECT{0, 0, 12, 12}, clNone));
    const POINT triangle[3] = {{1, 1}, {10, 1}, {5, 9}};
    PolygonColor(dc, triangle, 3, clNone, clNone);
    RoundRectColor(dc, RECT{0, 0, 12, 12}, clNone, clNone, 3, 3);
    LineColor(dc, 0, 0, 11, 11, clNone);
    GdiFlush();
    EXPECT_EQ(PixelsOf(target.get()), PixelsOf(MakeDIB(12, 12, 0xFF123456).get()));

    RECT r{0, 0, 12, 12};
    FrameRectColor(dc, r, clRed, true);
    EXPECT_TRUE(SameRect(r, RECT{1, 1, 11, 11}));
    FrameRectColor(dc, r, clNone, true);
    EXPECT_TRUE(SameRect(r, RECT{2, 2, 10, 10})) << "shrinks even without colour";
    CheckerFillRect(dc, r, clBlack, clWhite);
    PolygonColor(dc, triangle, 3, clNone, clLime);
    GdiFlush();
    EXPECT_EQ(RGBOf(PixelAt(target.get(), 0, 0)), 0xFF0000u);
    EXPECT_EQ(RGBOf(PixelAt(target.get(), 1, 10)), 0x123456u) << "the frame moved in before the second one";
    EXPECT_EQ(RGBOf(PixelAt(target.get(), 5, 4)), 0x00FF00u);
    const uint32_t a = RGBOf(PixelAt(target.get(), 2, 9)), b = RGBOf(PixelAt(target.get(), 3, 9));
    EXPECT_TRUE((a == 0 && b == 0xFFFFFF) || (a == 0xFFFFFF && b == 0)) << "checkered";

    TDIBPtr bevel = MakeDIB(8, 6, 0xFF123456);
    RECT inner{0, 0, 8, 6};
    Bevel3D(bevel->GetDC(), inner, clWhite, clBlack, true);
    GdiFlush();
    EXPECT_TRUE(SameRect(inner, RECT{1, 1, 7, 5}));
    EXPECT_EQ(RGBOf(PixelAt(bevel.get(), 0, 0)), 0xFFFFFFu);
    EXPECT_EQ(RGBOf(PixelAt(bevel.get(), 0, 4)), 0xFFFFFFu);
    EXPECT_EQ(RGBOf(PixelAt(bevel.get(), 6, 0)), 0xFFFFFFu);
    EXPECT_EQ(RGBOf(PixelAt(bevel.get(), 7, 0)), 0x000000u) << "corners go to the bottom-right colour";
    EXPECT_EQ(RGBOf(PixelAt(bevel.get(), 0, 5)), 0x000000u);
    EXPECT_EQ(RGBOf(PixelAt(bevel.get(), 4, 5)), 0x000000u);
    EXPECT_EQ(RGBOf(PixelAt(bevel.get(), 3, 3)), 0x123456u);
    RECT narrower{0, 0, 8, 6};
    Bevel3D(bevel->GetDC(), narrower, clWhite, clBlack, false);
    EXPECT_TRUE(SameRect(narrower, RECT{0, 0, 6, 4}));
}

TEST(SkinUtils, WideTextColoursAndRotation)
{
    const auto drawn = [](TColor color, UINT format) {
        TDIBPtr target = MakeDIB(60, 60, 0xFFFFFFFF);
        SetTextColor(target->GetDC(), RGB(0, 0, 200));
        RECT r{0, 0, 60, 60};
        DrawWideText(target->GetDC(), L"Wg\u00e9", r, color, format | DT_NOCLIP);
        GdiFlush();
        return target;
    };
    const auto inked = [](const TDIB32* dib, uint32_t colour) {
        int count = 0;
        for (uint32_t p : PixelsOf(dib))
            count += RGBOf(p) == colour;
        return count;
    };
    EXPECT_GT(inked(drawn(clDefault, 0).get(), 0x0000C8), 0) << "the DC's own colour";
    EXPECT_GT(inked(drawn(clRed, 0).get(), 0xFF0000), 0);
    // Codes beyond 2 draw as if there were no rotation.
    EXPECT_EQ(PixelsOf(drawn(clBlack, 0x3000000).get()), PixelsOf(drawn(clBlack, 0).get()));
    for (UINT rotation : {DrawTextRotation90, DrawTextRotation270}) {
        TDIBPtr rotated = drawn(clBlack, rotation | DT_CENTER);
        EXPECT_GT(inked(rotated.get(), 0), 0) << std::hex << rotation;
        EXPECT_NE(PixelsOf(rotated.get()), PixelsOf(drawn(clBlack, DT_CENTER).get()));
    }
    TDIBPtr nothing = MakeDIB(10, 10, 0xFFFFFFFF);
    RECT r{0, 0, 10, 10};
    DrawWideText(nothing->GetDC(), L"", r, clBlack, 0);
    const SIZE size = WideTextSize(nothing->GetDC(), L"WW");
    EXPECT_GT(size.cx, 0);
    EXPECT_GT(size.cy, 0);
}

TEST(SkinUtils, ListImagesWithEffects)
{
    TRedHalfList list;
    const auto expectImage = [](const TDIB32* dib, uint32_t inside, int w, int h, int x0 = 2, int y0 = 3) {
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 20; ++x) {
                const bool image = x >= x0 && x < x0 + w && y >= y0 && y < y0 + h;
                ASSERT_EQ(RGBOf(PixelAt(dib, x, y)), image ? inside : Background) << x << "," << y;
            }
    };
    // The masked half keeps the target in every case.
    expectImage(DrawnImage(list.Get(), 0, TImageEffects{}).get(), 0xFF0000, 4, 8);
    TImageEffects half;
    half.Alpha = 128;
    expectImage(DrawnImage(list.Get(), 0, half).get(), RGBOf(BlendPixel(0x80FF0000, Background)), 4, 8);
    TImageEffects silhouette;
    silhouette.Silhouette = true;
    expectImage(DrawnImage(list.Get(), 0, silhouette).get(), 0xFFFFFF, 4, 8);
    expectImage(DrawnImage(list.Get(), 0, TImageEffects{}, 16, 16).get(), 0xFF0000, 8, 16);

    // Disabled, style 0: grey (255 + 0 + 0) / 4 = 63, tinted 47 toward black (51), at alpha 95,
    // one pixel right of and below the corner.
    TDIBPtr greyed = MakeDIB(20, 20, 0xFF000000 | Background);
    DrawListImageGreyed(greyed->GetDC(), RECT{2, 3, 10, 11}, list.Images(), 0, 0);
    GdiFlush();
    expectImage(greyed.get(), RGBOf(BlendPixel(0x5F333333, Background)), 4, 8, 3, 4);
    TDIBPtr shadow = MakeDIB(20, 20, 0xFF000000 | Background);
    DrawListImageGreyed(shadow->GetDC(), RECT{2, 3, 10, 11}, list.Images(), 0, 1);
    GdiFlush();
    expectImage(shadow.get(), RGBOf(BlendPixel(0x1F000000, Background)), 4, 8, 3, 4);
    TDIBPtr faded = MakeDIB(20, 20, 0xFF000000 | Background);
    DrawListImageFaded(faded->GetDC(), RECT{2, 3, 10, 11}, list.Images(), 0, clWhite, 178);
    GdiFlush();
    expectImage(faded.get(), RGBOf(MixPixel(0xFF0000, 0xFFFFFF, 77)), 4, 8);

    // Nothing for a missing list or an index outside it.
    for (int index : {-1, 1}) {
        TDIBPtr none = DrawnImage(list.Get(), index, half);
        expectImage(none.get(), Background, 0, 0);
    }
    expectImage(DrawnImage(nullptr, 0, half).get(), Background, 0, 0);
}
