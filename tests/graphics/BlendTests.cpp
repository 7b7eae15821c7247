#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "graphics/Gfx32.h"
#include "graphics/Gfx32_Blend.h"
#include "graphics/Gfx32_CPUid.h"

namespace {

uint32_t Channel(uint32_t c, int i)
{
    return (c >> (8 * i)) & 0xFF;
}

uint32_t PlainFormula(uint32_t f, uint32_t b, uint32_t w)
{
    return ((f * w + 128) >> 8) + ((b * (255 - w) + 128) >> 8);
}

uint32_t MMXFormula(uint32_t f, uint32_t b, uint32_t w)
{
    return (b * 256 + (static_cast<int>(f) - static_cast<int>(b)) * static_cast<int>(w) + 128) >> 8;
}

// The expected mix of packed values, channel by channel, with the weight's two special cases.
template <class Formula>
TColor32 Expected(TColor32 f, TColor32 b, uint32_t w, Formula formula)
{
    if (w == 0)
        return b;
    if (w == 255)
        return f;
    TColor32 r = 0;
    for (int i = 0; i < 4; ++i)
        r |= formula(Channel(f, i), Channel(b, i), w) << (8 * i);
    return r;
}

// Channel k of background b0 is b0 + 64k, so 64 backgrounds cover every byte in each channel.
TColor32 Background(uint32_t b0)
{
    return b0 | ((b0 + 64) << 8) | ((b0 + 128) << 16) | ((b0 + 192) << 24);
}

// The plain formula weighs the background by 255 - W where the MMX one uses 256 - W, and rounds
// its two terms apart: the MMX result lies between one below and two above the plain one.
bool PathsAgree(TColor32 plain, TColor32 mmx)
{
    for (int i = 0; i < 4; ++i) {
        int d = static_cast<int>(Channel(mmx, i)) - static_cast<int>(Channel(plain, i));
        if (d < -1 || d > 2)
            return false;
    }
    return true;
}

struct BlendPaths : ::testing::Test {
    void SetUp() override
    {
        if (!HasMMX())
            GTEST_SKIP() << "no MMX on this processor";
    }
    void TearDown() override { BindCombineRoutines(HasMMX()); }
};

}

TEST(Blend, ProcessorTestBindsTheMMXPathWhenAvailable)
{
    EXPECT_TRUE(CPUIDAvailable());
    EXPECT_EQ(MMXActive(), HasMMX());
    EXPECT_EQ(CombineColorInPlace == CombineColorInPlaceMMX, HasMMX());
}

TEST_F(BlendPaths, EveryForegroundBackgroundAndWeightMatchesItsFormula)
{
    // 256 weights x 256 foregrounds x 64 packed backgrounds: each call checks four channels, so
    // every (foreground, background, weight) triple is met once per path.
    long plainErrors = 0, mmxErrors = 0, apart = 0;
    for (uint32_t w = 0; w < 256; ++w) {
        for (uint32_t f = 0; f < 256; ++f) {
            TColor32 fc = f * 0x01010101u;
            for (uint32_t b0 = 0; b0 < 64; ++b0) {
                TColor32 bc = Background(b0);
                TColor32 plain = bc;
                CombineColorInPlacePlain(fc, plain, w);
                TColor32 mmx = bc;
                CombineColorInPlaceMMX(fc, mmx, w);
                plainErrors += plain != Expected(fc, bc, w, PlainFormula);
                mmxErrors += mmx != Expected(fc, bc, w, MMXFormula);
                apart += !PathsAgree(plain, mmx);
            }
        }
        EMMSMMX();
    }
    EXPECT_EQ(plainErrors, 0);
    EXPECT_EQ(mmxErrors, 0);
    EXPECT_EQ(apart, 0);
}

TEST_F(BlendPaths, LineRoutinesMatchTheirPixelRoutines)
{
    // 67 pixels: 64 packed backgrounds and three more so the four-pixel steps leave a tail; the
    // line starts one pixel in to be unaligned.
    std::vector<TColor32> source(68);
    for (uint32_t i = 0; i < 68; ++i)
        source[i] = Background(i & 63) ^ (i >= 64 ? 0x5A5A5A5Au : 0);
    long plainErrors = 0, mmxErrors = 0;
    for (uint32_t w = 0; w < 256; ++w) {
        for (uint32_t f = 0; f < 256; ++f) {
            TColor32 fc = f * 0x01010101u ^ 0x00FF0000u;
            std::vector<TColor32> plain = source, mmx = source;
            CombineLineInPlacePlain(fc, plain.data() + 1, 67, w);
            CombineLineInPlaceMMX(fc, mmx.data() + 1, 67, w);
            plainErrors += plain[0] != source[0];
            mmxErrors += mmx[0] != source[0];
            for (int i = 1; i < 68; ++i) {
                plainErrors += plain[i] != Expected(fc, source[i], w, PlainFormula);
                mmxErrors += mmx[i] != Expected(fc, source[i], w, MMXFormula);
            }
        }
    }
    EXPECT_EQ(plainErrors, 0);
    EXPECT_EQ(mmxErrors, 0);
}

TEST_F(BlendPaths, WeightSpecialCasesAndRedOverBlue)
{
    for (auto combine : {CombineColorInPlacePlain, CombineColorInPlaceMMX}) {
        TColor32 b = 0xFFFF0000;
        combine(0xFF0000FF, b, 128);
        EMMSMMX();
        EXPECT_NEAR(static_cast<int>(Channel(b, 0)), 128, 1);
        EXPECT_NEAR(static_cast<int>(Channel(b, 2)), 128, 1);
        EXPECT_EQ(Channel(b, 1), 0u);
        EXPECT_EQ(Channel(b, 3), 255u);

        // The zero test looks at the low 16 bits only.
        b = 0x12345678;
        combine(0xFFFFFFFF, b, 0x10000);
        EXPECT_EQ(b, 0x12345678u);
        combine(0x87654321, b, 255);
        EXPECT_EQ(b, 0x87654321u);
    }
    TColor32 line[3] = {1, 2, 3};
    CombineLineInPlaceMMX(0xABCDEF01, line, 2, 255);
    EXPECT_EQ(line[1], 0xABCDEF01u);
    EXPECT_EQ(line[2], 3u);
    CombineLineInPlacePlain(0xABCDEF01, line + 2, 0, 77);
    CombineLineInPlacePlain(0xABCDEF01, line + 2, -4, 77);
    EXPECT_EQ(line[2], 3u);
}

TEST_F(BlendPaths, BindingSwitchesAllThreeRoutines)
{
    EXPECT_FALSE(BindCombineRoutines(false));
    EXPECT_EQ(CombineColorInPlace, CombineColorInPlacePlain);
    EXPECT_EQ(CombineLineInPlace, CombineLineInPlacePlain);
    EXPECT_FALSE(MMXActive());
    EXPECT_TRUE(BindCombineRoutines(true));
    EXPECT_EQ(CombineColorInPlace, CombineColorInPlaceMMX);
    EXPECT_EQ(CombineLineInPlace, CombineLineInPlaceMMX);
    EXPECT_EQ(EMMS, EMMSMMX);
}
