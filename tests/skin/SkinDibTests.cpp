#include "SkinTestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "skin/SkinColorEffects.h"
#include "skin/SkinDib.h"

namespace {

// One channel of S over D as the blend is defined: weight a + (a >> 7) of 256, rounded.
uint32_t ReferenceBlend(uint32_t s, uint32_t d)
{
    const uint32_t a = s >> 24;
    if (a == 0)
        return d;
    if (a == 255)
        return s;
    const uint32_t w = a + (a >> 7);
    uint32_t r = 0;
    for (int shift = 0; shift < 24; shift += 8)
        r |= ((((s >> shift) & 0xFF) * w + ((d >> shift) & 0xFF) * (256 - w) + 127) >> 8) << shift;
    return r;
}

} // namespace

TEST(SkinBlend, EveryAlphaEdgeMatchesTheDefinition)
{
    const uint32_t dests[] = {0x00000000, 0xFFFFFFFF, 0x12345678, 0x80FF00FF};
    for (uint32_t a : {0u, 1u, 127u, 128u, 254u, 255u})
        for (uint32_t colour : {0x000000u, 0xFFFFFFu, 0x89ABCDu})
            for (uint32_t d : dests) {
                const uint32_t s = (a << 24) | colour;
                SCOPED_TRACE(testing::Message() << std::hex << s << " over " << d);
                EXPECT_EQ(BlendPixel(s, d), ReferenceBlend(s, d));
            }
    EXPECT_EQ(BlendPixel(0x00ABCDEF, 0x11223344), 0x11223344u) << "alpha 0 leaves the destination";
    EXPECT_EQ(BlendPixel(0xFFABCDEF, 0x11223344), 0xFFABCDEFu) << "alpha 255 replaces it exactly";
    EXPECT_EQ(BlendPixel(0x80FFFFFF, 0xFF000000) >> 24, 0u) << "a mixed pixel has alpha 0";
}

TEST(SkinBlend, RunsAndMasterAlphaAgreeWithSinglePixels)
{
    // Repeated neighbours exercise the reuse of the previous result, the first pixel included.
    std::vector<uint32_t> source = RandomPixels(200, 7);
    for (size_t i = 0; i < source.size(); i += 3)
        source[i] = source[i / 2];
    source[0] = 0;
    const std::vector<uint32_t> dest = RandomPixels(200, 11);
    for (int master : {0, 1, 128, 254, 255}) {
        SCOPED_TRACE(master);
        std::vector<uint32_t> run = dest;
        BlendRunMaster(source.data(), run.data(), int(run.size()), uint8_t(master));
        for (size_t i = 0; i < run.size(); ++i) {
            uint32_t s = source[i];
            if (master == 0) {
                EXPECT_EQ(run[i], dest[i]);
                continue;
            }
            s = (s & 0xFFFFFF) | AlphaMul(uint8_t(master), uint8_t(s >> 24));
            ASSERT_EQ(run[i], ReferenceBlend(s, dest[i])) << i;
        }
    }
}

TEST(SkinBlend, AlphaTables)
{
    EXPECT_EQ(AlphaMul(255, 200), 200u << 24);
    EXPECT_EQ(AlphaMul(0, 200), 0u);
    EXPECT_EQ(AlphaMul(128, 255), 128u << 24);
    EXPECT_EQ(AlphaMul(128, 1), 1u << 24) << "0.502 rounds up";
    EXPECT_EQ(AlphaDiv(0, 0), 127);
    EXPECT_EQ(AlphaDiv(200, 100), 128);
    EXPECT_EQ(AlphaDiv(100, 100), 255);
    EXPECT_EQ(AlphaDiv(100, 150), 255);
}

TEST(SkinDib, SizingKeepsWhatOverlaps)
{
    TDIBPtr dib = MakeDIB(4, 3, RandomPixels(12, 3));
    const std::vector<uint32_t> before = PixelsOf(dib.get());
    dib->SetSize(6, 2, true);
    ASSERT_TRUE(dib->HasBits());
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 6; ++x)
            EXPECT_EQ(PixelAt(dib.get(), x, y), x < 4 ? before[size_t(y) * 4 + size_t(x)] : 0u) << x << "," << y;
    dib->SetSize(3, 5, true);
    EXPECT_EQ(PixelAt(dib.get(), 2, 1), before[6]);
    EXPECT_EQ(PixelAt(dib.get(), 2, 4), 0u);
    dib->SetSize(0, 5);
    EXPECT_FALSE(dib->HasBits());
    EXPECT_EQ(dib->GetDC(), nullptr);
    EXPECT_EQ(dib->GetHeight(), 5) << "a side stays known while the other is 0";
    EXPECT_TRUE(IsRectEmpty(&dib->GetClipRect()));
    dib->SetSize(2, 5);
    EXPECT_EQ(dib->GetClipRect().right, 2);
    EXPECT_EQ(dib->GetClipRect().bottom, 5);

    TDIBPtr copy(New<TDIB32>());
    copy->Assign(dib.get());
    EXPECT_EQ(PixelsOf(copy.get()), PixelsOf(dib.get()));
    copy->Assign(nullptr);
    EXPECT_FALSE(copy->HasBits());
}

TEST(SkinDib, OverlappingCopiesInEveryDirectionMatchACopyThroughABuffer)
{
    const std::vector<uint32_t> start = RandomPixels(12 * 10, 5);
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
            if (!dx && !dy)
                continue;
            SCOPED_TRACE(testing::Message() << dx << "," << dy);
            TDIBPtr dib = MakeDIB(12, 10, start);
            const RECT source{3, 3, 9, 7};
            DIBCopy(dib.get(), source.left + dx * 2, source.top + dy * 3, dib.get(), source);
            std::vector<uint32_t> expected = start;
            for (int y = source.top; y < source.bottom; ++y)
                for (int x = source.left; x < source.right; ++x)
                    expected[size_t(y + dy * 3) * 12 + size_t(x + dx * 2)] = start[size_t(y) * 12 + size_t(x)];
            EXPECT_EQ(PixelsOf(dib.get()), expected);
        }
}

TEST(SkinDib, TransfersClipToBothImages)
{
    TDIBPtr source = MakeDIB(4, 4, 0xFF112233);
    TDIBPtr dest = MakeDIB(5, 5, 0xFF000000);
    dest->SetClipRect(RECT{1, 1, 5, 5});
    DIBCopy(dest.get(), -2, 3, source.get(), RECT{0, 0, 4, 4});
    // Only columns 1 (source x 3) and rows 3..4 (source y 0..1) land inside the clip.
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(PixelAt(dest.get(), x, y), x == 1 && y >= 3 ? 0xFF112233u : 0xFF000000u) << x << "," << y;
    // Blending honours the source's clip rectangle too.
    TDIBPtr over = MakeDIB(4, 4, 0x80FFFFFF);
    over->SetClipRect(RECT{0, 0, 1, 1});
    TDIBPtr target = MakeDIB(4, 4, 0xFF000000);
    DIBBlend(target.get(), 0, 0, over.get(), RECT{0, 0, 4, 4});
    EXPECT_EQ(PixelAt(target.get(), 0, 0), ReferenceBlend(0x80FFFFFF, 0xFF000000));
    EXPECT_EQ(PixelAt(target.get(), 1, 0), 0xFF000000u);
    EXPECT_THROW(DIBCopy(nullptr, 0, 0, source.get(), RECT{0, 0, 1, 1}), EDIB32Error);
}

TEST(SkinResample, UniformImagesStayExactInBothDirections)
{
    const struct {
        int SourceW, SourceH, DestW, DestH;
    } cases[] = {{7, 5, 3, 2}, {3, 2, 7, 5}, {100, 1, 1, 1}, {1, 1, 50, 9}, {16, 16, 15, 17}, {5, 5, 5, 5}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.SourceW << "x" << c.SourceH << " -> " << c.DestW << "x" << c.DestH);
        TDIBPtr source = MakeDIB(c.SourceW, c.SourceH, 0x7F3C9AFF);
        TDIBPtr dest = MakeDIB(c.DestW, c.DestH);
        DIBResample(dest.get(), RECT{0, 0, c.DestW, c.DestH}, source.get(), RECT{0, 0, c.SourceW, c.SourceH});
        const std::vector<uint32_t> pixels = PixelsOf(dest.get());
        EXPECT_TRUE(std::all_of(pixels.begin(), pixels.end(), [](uint32_t p) { return p == 0x7F3C9AFF; }));
    }
}

TEST(SkinResample, ReductionAveragesAndAxesStaySeparate)
{
    // 4 x 4 down to 1 x 1 is the mean of all pixels.
    std::vector<uint32_t> sixteen(16);
    for (size_t i = 0; i < 16; ++i)
        sixteen[i] = uint32_t(i * 16) << 8 | uint32_t(i);
    TDIBPtr source = MakeDIB(4, 4, sixteen);
    TDIBPtr one = MakeDIB(1, 1);
    DIBResample(one.get(), RECT{0, 0, 1, 1}, source.get(), RECT{0, 0, 4, 4});
    EXPECT_EQ(PixelAt(one.get(), 0, 0), (120u << 8) | 8u) << "means 120 and 7.5";

    // Rows of one value each keep their values when only the width changes.
    std::vector<uint32_t> rows(9 * 6);
    for (size_t i = 0; i < rows.size(); ++i)
        rows[i] = 0xFF000000u | uint32_t(i / 9 * 40);
    TDIBPtr striped = MakeDIB(9, 6, rows);
    for (int width : {4, 13}) {
        TDIBPtr dest = MakeDIB(width, 6);
        DIBResample(dest.get(), RECT{0, 0, width, 6}, striped.get(), RECT{0, 0, 9, 6});
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < width; ++x)
                ASSERT_EQ(PixelAt(dest.get(), x, y), 0xFF000000u | uint32_t(y * 40)) << width << ":" << x << "," << y;
    }
    // Enlarging interpolates between neighbours: 2 pixels to 4 give 0, 64, 191, 255 (quarter steps).
    TDIBPtr pair = MakeDIB(2, 1, std::vector<uint32_t>{0xFF000000, 0xFF0000FF});
    TDIBPtr wide = MakeDIB(4, 1);
    DIBResample(wide.get(), RECT{0, 0, 4, 1}, pair.get(), RECT{0, 0, 2, 1});
    EXPECT_EQ(PixelsOf(wide.get()), (std::vector<uint32_t>{0xFF000000, 0xFF000040, 0xFF0000BF, 0xFF0000FF}));
}

TEST(SkinResample, ClippedDestinationEqualsThatPartOfTheWhole)
{
    TDIBPtr source = MakeDIB(23, 17, RandomPixels(23 * 17, 9));
    for (const SIZE size : {SIZE{41, 30}, SIZE{11, 8}}) {
        TDIBPtr whole = MakeDIB(int(size.cx), int(size.cy));
        DIBResample(whole.get(), RECT{0, 0, size.cx, size.cy}, source.get(), RECT{0, 0, 23, 17});
        // The same target rectangle placed so that only a window of it falls inside a small DIB.
        TDIBPtr part = MakeDIB(5, 4);
        const int ox = 3, oy = 2;
        DIBResample(part.get(), RECT{-ox, -oy, size.cx - ox, size.cy - oy}, source.get(), RECT{0, 0, 23, 17});
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 5; ++x)
                ASSERT_EQ(PixelAt(part.get(), x, y), PixelAt(whole.get(), x + ox, y + oy)) << x << "," << y;
    }
}

TEST(SkinDib, DrawingIntoADeviceContext)
{
    // The target is a DIB's own DC; GDI drops alpha there, so only colours are compared.
    TDIBPtr image = MakeDIB(80, 70, RandomPixels(80 * 70, 21));
    TDIBPtr target = MakeDIB(100, 90, 0xFF204060);
    // Larger than one piece: the band path against a blend between DIBs.
    image->Draw(target->GetDC(), RECT{10, 5, 90, 75}, TDIB32::DrawBlend, RECT{0, 0, 80, 70});
    GdiFlush();
    TDIBPtr expected = MakeDIB(100, 90, 0xFF204060);
    DIBBlend(expected.get(), 10, 5, image.get(), RECT{0, 0, 80, 70});
    for (int y = 0; y < 90; ++y)
        for (int x = 0; x < 100; ++x)
            ASSERT_EQ(RGBOf(PixelAt(target.get(), x, y)), RGBOf(PixelAt(expected.get(), x, y))) << x << "," << y;

    // A resampled draw through a clip region equals the unclipped one inside the region.
    TDIBPtr whole = MakeDIB(100, 90, 0xFF000000);
    image->Draw(whole->GetDC(), RECT{0, 0, 100, 90}, TDIB32::DrawBlend | TDIB32::DrawResample, RECT{0, 0, 80, 70});
    TDIBPtr clipped = MakeDIB(100, 90, 0xFF000000);
    HRGN region = CreateRectRgn(30, 20, 61, 47);
    SelectClipRgn(clipped->GetDC(), region);
    DeleteObject(region);
    image->Draw(clipped->GetDC(), RECT{0, 0, 100, 90}, TDIB32::DrawBlend | TDIB32::DrawResample, RECT{0, 0, 80, 70});
    SelectClipRgn(clipped->GetDC(), nullptr);
    GdiFlush();
    for (int y = 0; y < 90; ++y)
        for (int x = 0; x < 100; ++x) {
            const bool inside = x >= 30 && x < 61 && y >= 20 && y < 47;
            ASSERT_EQ(RGBOf(PixelAt(clipped.get(), x, y)), inside ? RGBOf(PixelAt(whole.get(), x, y)) : 0u)
                << x << "," << y;
        }

    // An opaque draw of the same size copies; nothing raises for a missing DC only.
    TDIBPtr copy = MakeDIB(80, 70, 0xFFFFFFFF);
    image->Draw(copy->GetDC(), RECT{0, 0, 80, 70}, 0, RECT{0, 0, 80, 70});
    GdiFlush();
    EXPECT_EQ(RGBOf(PixelAt(copy.get(), 13, 61)), RGBOf(PixelAt(image.get(), 13, 61)));
    EXPECT_THROW(image->Draw(nullptr, RECT{0, 0, 1, 1}, 0, RECT{0, 0, 1, 1}), EDIB32Error);
}

TEST(SkinGlyph, SetBitsTakeTheColourAndClearBitsLeaveTheTarget)
{
    const uint16_t cross[] = {0x82, 0x44, 0x28, 0x10, 0x28, 0x44, 0x82};
    TDIBPtr target = MakeDIB(9, 9, 0xFF336699);
    DrawPatternGlyph(target->GetDC(), RECT{0, 0, 9, 9}, 7, RGB(255, 0, 0), cross, 7);
    GdiFlush();
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 9; ++x) {
            const int gx = x - 1, gy = y - 1;
            const bool set = gx >= 0 && gx < 7 && gy >= 0 && gy < 7 && (cross[gy] & (0x80 >> gx));
            EXPECT_EQ(RGBOf(PixelAt(target.get(), x, y)), set ? 0xFF0000u : 0x336699u) << x << "," << y;
        }
    TDIBPtr untouched = MakeDIB(9, 9, 0xFF336699);
    DrawPatternGlyph(untouched->GetDC(), RECT{0, 0, 9, 9}, 7, clNone, cross, 7);
    GdiFlush();
    EXPECT_EQ(PixelsOf(untouched.get()), PixelsOf(MakeDIB(9, 9, 0xFF336699).get()));
}

TEST(SkinEffects, EachEffectOnChosenPixels)
{
    const struct {
        int Id;
        uint32_t Parameter, Pixel, Expected;
    } cases[] = {
        {ceInvert, 0, 0x80123456, 0x80EDCBA9},
        {ceDesaturate, 255, 0xFF804020, 0xFF484848},   // (128 + 128 + 32) / 4 = 72
        {ceDesaturate, 128, 0xFF804020, 0xFF644434},   // halfway, weight 129 of 256
        {ceDesaturate, 0, 0xFF804020, 0xFF804020},
        {ceMultiply, 0xFF808080, 0x40FF4000, 0x40802000},
        {ceMultiply, 0x00808080, 0x40FF4000, 0x40FF4000}, // alpha 0: nothing mixed in
        {ceAdd, 0xFF808080, 0x20F01000, 0x20FF9080},    // saturates at 255
        {ceAdd, 0x80FF0000, 0x20000000, 0x20800000},
        {ceFade, 128, 0xFF112233, 0x80112233},
        {ceMix, 0xFFFFFFFF, 0x10000000, 0x10FFFFFF},
        {ceMix, 0x00FFFFFF, 0x10000000, 0x10000000},
        {ceShadow, 0x000000, 0xFFC0C0C0, 0xFF000000},  // grey 192 keeps its alpha
        {ceShadow, 0x000000, 0xFFC1C1C1, 0xFB000000},  // 193: alpha * 63 / 64
        {ceShadow, 0x0000FF, 0xFFFEFEFE, 0x070000FF},  // 254: alpha * 2 / 64, the parameter's colour
        {ceShadow, 0x000000, 0xFFFFFFFF, 0x00000000},  // 255: transparent
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "effect " << c.Id << std::hex << " on " << c.Pixel);
        std::unique_ptr<TColorEffects, TObjectFree> effects(New<TColorEffects>());
        ASSERT_TRUE(effects->AddEffect(c.Id, c.Parameter));
        uint32_t pixel = c.Pixel;
        effects->Apply(pixel, c.Pixel);
        EXPECT_EQ(pixel, c.Expected);
    }
}

TEST(SkinEffects, RegistryAndRuns)
{
    std::unique_ptr<TColorEffects, TObjectFree> effects(New<TColorEffects>());
    EXPECT_FALSE(effects->AddEffect(99, 0));
    EXPECT_EQ(effects->GetCount(), 0);
    try {
        RegisterColorEffect(3, [](uint32_t&, uint32_t, uint32_t) {});
        FAIL() << "a second effect 3 was registered";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "color effect 3 already registered");
    }

    // A chain laid over a destination: the run reuses results for repeated pairs only.
    ASSERT_TRUE(effects->AddEffect(ceDesaturate, 255));
    ASSERT_TRUE(effects->AddEffect(ceFade, 200));
    std::vector<uint32_t> source = RandomPixels(64, 4);
    for (size_t i = 1; i < source.size(); i += 2)
        source[i] = source[i - 1];
    source[5] = 0x00FFFFFF;
    source[6] = 0xFF00FF00;
    const std::vector<uint32_t> dest = RandomPixels(64, 8);
    std::vector<uint32_t> run = dest;
    effects->ApplyRun(source.data(), run.data(), int(run.size()));
    for (size_t i = 0; i < run.size(); ++i) {
        uint32_t pixel = source[i];
        effects->Apply(pixel, source[i]);
        ASSERT_EQ(run[i], BlendPixel(pixel, dest[i])) << i;
    }
    EXPECT_EQ(run[5], dest[5]) << "a transparent result keeps the destination";
}

TEST(SkinDib, EveryHandleIsGivenBack)
{
    const int objects = LiveHandles(THandleKind::GdiObject), dcs = LiveHandles(THandleKind::DeviceContext);
    {
        TDIBPtr a = MakeDIB(30, 20, 0xFF102030);
        TDIBPtr b = MakeDIB(5, 5);
        a->SetSize(40, 10, true);
        a->Exchange(b.get());
        b->Assign(a.get());
        b->SetSize(0, 3);
        const uint16_t bar[] = {0xFF};
        DrawPatternGlyph(a->GetDC(), RECT{0, 0, 5, 5}, 8, clRed, bar, 1);
        TDIBPtr target = MakeDIB(50, 50);
        a->Draw(target->GetDC(), RECT{0, 0, 50, 50}, TDIB32::DrawBlend | TDIB32::DrawResample, RECT{0, 0, 5, 5});
        EXPECT_GT(LiveHandles(THandleKind::GdiObject), objects);
    }
    EXPECT_EQ(LiveHandles(THandleKind::GdiObject), objects);
    EXPECT_EQ(LiveHandles(THandleKind::DeviceContext), dcs);
}
