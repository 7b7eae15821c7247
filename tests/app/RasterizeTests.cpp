// The resolution rules of the rasterize and export boxes: what counts as a resolution, and the
// cap that keeps a raster within memory the program can get.
#include <gtest/gtest.h>

#include "app/Rasterize.h"

TEST(Resolution, OnlyWholeIntegersAboveZeroAreResolutions)
{
    int resolution = 77;
    for (const char* bad : {"", " ", "0", "-5", "12a", "a12", "3.5", "300 dpi", "1e3", "99999999999", "+", "-0"}) {
        EXPECT_FALSE(ParseResolution(bad, resolution)) << '"' << bad << '"';
        EXPECT_EQ(resolution, 77) << "a refused text leaves the value alone";
    }
    ASSERT_TRUE(ParseResolution("300", resolution));
    EXPECT_EQ(resolution, 300);
    ASSERT_TRUE(ParseResolution("1", resolution));
    EXPECT_EQ(resolution, 1);
    ASSERT_TRUE(ParseResolution("2147483647", resolution));
    EXPECT_EQ(resolution, 2147483647);
}

TEST(Resolution, RasterBytesCountAlignedRowsOfThreeBytes)
{
    // One inch square at 100 dpi: rows of 300 bytes, 100 of them.
    EXPECT_EQ(RasterBytes(SIZE{2540, 2540}, 100), 30000);
    // 190 mm at 300 dpi is 2244 pixels; 2244 * 3 is already aligned.
    EXPECT_EQ(RasterBytes(SIZE{19000, 2540}, 300), int64_t(2244) * 3 * 300);
    // 1 pixel wide rows take 4 bytes; an empty extent still counts one pixel.
    EXPECT_EQ(RasterBytes(SIZE{1, 1}, 1), 4);
    EXPECT_EQ(RasterBytes(SIZE{0, -5}, 600), 4);
    // Far beyond 32 bits without overflow.
    EXPECT_GT(RasterBytes(SIZE{29700, 42000}, 100000), int64_t(1) << 40);
}

TEST(Resolution, CapIsTheHighestResolutionThatFits)
{
    for (SIZE extent : {SIZE{21000, 29700}, SIZE{29700, 42000}, SIZE{2540, 2540}, SIZE{100000, 500}}) {
        int cap = MaxResolutionForExtent(extent);
        EXPECT_LE(RasterBytes(extent, cap), MaxRasterBytes);
        EXPECT_GT(RasterBytes(extent, cap + 1), MaxRasterBytes);
    }
    // Every resolution the boxes offer stays open on the largest page.
    EXPECT_GE(MaxResolutionForExtent(DefaultRasterExtent), 600);
    EXPECT_LT(MaxResolutionForExtent(DefaultRasterExtent), 999999);
    // A tiny picture reaches the search ceiling rather than looping or overflowing.
    EXPECT_GE(MaxResolutionForExtent(SIZE{1, 1}), 10000);
}
