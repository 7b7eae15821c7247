#include "PngTestFiles.h"
#include "TestSupport.h"
#include "SkinTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>

#include "platform/Streams.h"
#include "skin/SkinPngBitmap.h"
#include "skin/SkinPngReader.h"
#include "skin/SkinPngWriter.h"
#include "skin/SkinZlib.h"

namespace {

using TStreamPtr = std::unique_ptr<TMemoryStream, TObjectFree>;

TBytes Encode(int width, int height, const std::vector<uint32_t>& pixels)
{
    std::unique_ptr<TPNGWriter, TObjectFree> writer(New<TPNGWriter>(width, height, pixels.data(), width));
    TStreamPtr stream(New<TMemoryStream>());
    writer->SaveToStream(stream.get());
    return BytesOf(*stream);
}

std::vector<uint32_t> DecodePixels(const TBytes& file)
{
    TStreamPtr stream(New<TMemoryStream>());
    stream->WriteBuffer(file.data(), int32_t(file.size()));
    stream->SetPosition(0);
    std::unique_ptr<TPNGReader, TObjectFree> reader(New<TPNGReader>());
    reader->LoadFromStream(stream.get());
    return PixelsOf(*reader);
}

struct TLayout {
    int ColorType = -1;
    int Depth = 0;
    size_t TransparencyBytes = 0;  // 0: no tRNS chunk
    std::vector<uint8_t> Filters;  // one per row
};

TLayout LayoutOf(const TBytes& file)
{
    TLayout layout;
    TBytes data;
    int width = 0, height = 0;
    for (const TChunk& c : ChunksOf(file)) {
        if (c.Type == "IHDR") {
            width = int(c.Data[0] << 24 | c.Data[1] << 16 | c.Data[2] << 8 | c.Data[3]);
            height = int(c.Data[4] << 24 | c.Data[5] << 16 | c.Data[6] << 8 | c.Data[7]);
            layout.Depth = c.Data[8];
            layout.ColorType = c.Data[9];
        } else if (c.Type == "tRNS") {
            layout.TransparencyBytes = c.Data.size();
        } else if (c.Type == "IDAT") {
            data.insert(data.end(), c.Data.begin(), c.Data.end());
        }
    }
    const int channels = layout.ColorType == 2 ? 3 : layout.ColorType == 4 ? 2 : layout.ColorType == 6 ? 4 : 1;
    const size_t rowBytes = (size_t(width) * size_t(channels * layout.Depth) + 7) / 8;
    const TBytes lines = InflateZlib(data);
    EXPECT_EQ(lines.size(), size_t(height) * (rowBytes + 1));
    for (size_t at = 0; at < lines.size(); at += rowBytes + 1)
        layout.Filters.push_back(lines[at]);
    return layout;
}

// The colours in their order first, then scattered over the rest of the pixels.
std::vector<uint32_t> Spread(const std::vector<uint32_t>& colors, size_t pixelCount)
{
    std::vector<uint32_t> pixels(pixelCount);
    for (size_t i = 0; i < pixelCount; ++i)
        pixels[i] = colors[i < colors.size() ? i : (i * 7 + i / colors.size()) % colors.size()];
    return pixels;
}

std::vector<uint32_t> Palette(size_t count, bool grey, uint32_t alphaOf(size_t))
{
    std::vector<uint32_t> colors;
    for (size_t i = 0; i < count; ++i) {
        const uint32_t v = grey ? uint32_t(i % 256) * 0x010101u : uint32_t(i * 2654435761u) & 0xFFFFFF;
        colors.push_back(alphaOf(i) << 24 | v);
    }
    return colors;
}

uint32_t Opaque(size_t) { return 255; }
uint32_t FirstTransparent(size_t i) { return i == 0 ? 0 : 255; }
uint32_t TwoTransparent(size_t i) { return i < 2 ? 0 : 255; }
uint32_t OnePartial(size_t i) { return i == 1 ? 128 : 255; }

} // namespace

TEST(PngWriter, RoundTripsKeepEveryPixelForEveryColourMix)
{
    const size_t counts[] = {1, 2, 3, 4, 5, 16, 17, 256, 257, 1000};
    uint32_t (*const alphas[])(size_t) = {Opaque, FirstTransparent, TwoTransparent, OnePartial};
    const int widths[] = {1, 2, 7, 8, 9, 16, 17, 31, 32, 33};
    const int heights[] = {1, 2, 5, 9};
    for (size_t count : counts)
        for (bool grey : {false, true})
            for (auto alpha : alphas)
                for (int w : widths)
                    for (int h : heights) {
                        const std::vector<uint32_t> pixels = Spread(Palette(count, grey, alpha), size_t(w) * size_t(h));
                        ASSERT_EQ(DecodePixels(Encode(w, h, pixels)), pixels)
                            << count << (grey ? " greys " : " colours ") << w << "x" << h;
                    }
}

TEST(PngWriter, ChoosesTheSmallestTypeThatHoldsTheImage)
{
    const auto colours = [](size_t n) { return Palette(n, false, Opaque); };
    std::vector<uint32_t> keyed = Palette(300, false, Opaque);
    keyed[5] = 0x00123456;
    std::vector<uint32_t> keyClash = keyed;
    keyClash[6] = 0xFF123456;
    std::vector<uint32_t> greysAndClear = Palette(256, true, Opaque);
    greysAndClear.push_back(0x00404040);
    std::vector<uint32_t> partlyGrey = Palette(300, true, Opaque);
    partlyGrey[3] = 0x80111111;
    struct TCase {
        const char* Name;
        std::vector<uint32_t> Colors;
        int ColorType, Depth;
        size_t Transparency;
    };
    const std::vector<TCase> cases = {
        {"black and white", {0xFF000000, 0xFFFFFFFF}, 0, 1, 0},
        {"black and clear white", {0xFF000000, 0x00FFFFFF}, 0, 1, 2},
        {"two greys that one bit cannot hold", {0xFF404040, 0xFF808080}, 3, 1, 0},
        {"opaque and clear black share a key", {0xFF000000, 0x00000000}, 3, 1, 2},
        {"3 colours", colours(3), 3, 2, 0},
        {"16 colours", colours(16), 3, 4, 0},
        {"17 colours", colours(17), 3, 8, 0},
        {"200 greys", Palette(200, true, Opaque), 0, 8, 0},
        {"200 greys, one clear", Palette(200, true, FirstTransparent), 0, 8, 2},
        {"palette with partial alpha, trailing 255s dropped", Palette(20, false, OnePartial), 3, 8, 2},
        {"300 colours", colours(300), 2, 8, 0},
        {"300 colours, one clear", keyed, 2, 8, 6},
        {"300 colours, the clear one's colour also opaque", keyClash, 6, 8, 0},
        {"256 greys and a clear grey", greysAndClear, 4, 8, 0},
        {"300 greys, one partly clear", partlyGrey, 4, 8, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const int w = 7, h = int((c.Colors.size() + 6) / 7) + 1;
        const std::vector<uint32_t> pixels = Spread(c.Colors, size_t(w) * size_t(h));
        const TBytes file = Encode(w, h, pixels);
        const TLayout layout = LayoutOf(file);
        EXPECT_EQ(layout.ColorType, c.ColorType);
        EXPECT_EQ(layout.Depth, c.Depth);
        EXPECT_EQ(layout.TransparencyBytes, c.Transparency);
        EXPECT_EQ(DecodePixels(file), pixels);
        if (layout.ColorType == 3 || layout.Depth < 8) {
            EXPECT_TRUE(std::all_of(layout.Filters.begin(), layout.Filters.end(), [](uint8_t f) { return f == 0; }));
        }
    }
}

TEST(PngWriter, EachRowTakesTheFilterWithTheSmallestPlainSum)
{
    // A smooth RGB picture with noise: the rows pick different filters.
    const int w = 40, h = 12;
    TSampleImage image{w, h, 8, 2, {}};
    std::vector<uint32_t> pixels;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint32_t r = uint32_t(x * 6 + (y % 3) * 50) & 0xFF, g = uint32_t(y * 20 + x) & 0xFF,
                           b = uint32_t(x * y * 37 % 251);
            image.Samples.insert(image.Samples.end(), {uint16_t(r), uint16_t(g), uint16_t(b)});
            pixels.push_back(0xFF000000u | r << 16 | g << 8 | b);
        }
    const TLayout layout = LayoutOf(Encode(w, h, pixels));
    ASSERT_EQ(layout.ColorType, 2);
    ASSERT_EQ(layout.Filters.size(), size_t(h));
    TBytes byFilter[5];
    for (uint8_t f = 0; f < 5; ++f)
        byFilter[f] = ScanLines(image, false, [f](int) { return f; });
    for (int y = 0; y < h; ++y) {
        uint64_t sums[5] = {};
        for (int f = 0; f < 5; ++f)
            for (int i = 1; i <= w * 3; ++i)
                sums[f] += byFilter[f][size_t(y) * size_t(w * 3 + 1) + size_t(i)];
        const uint8_t best = uint8_t(std::min_element(sums, sums + 5) - sums);
        EXPECT_EQ(layout.Filters[size_t(y)], best) << "row " << y;
    }
    EXPECT_GT(std::set<uint8_t>(layout.Filters.begin(), layout.Filters.end()).size(), 1u);
}

TEST(PngWriter, DimensionsAndEmptyPictures)
{
    const uint32_t pixel = 0xFF000000;
    try {
        New<TPNGWriter>(0, 1, &pixel, 0);
        FAIL();
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Invalid dimensions");
    }
    EXPECT_THROW(New<TPNGWriter>(1, 0, &pixel, 1), Exception);

    std::unique_ptr<TPNGBitmap, TObjectFree> empty(New<TPNGBitmap>());
    TStreamPtr stream(New<TMemoryStream>());
    empty->SaveToStream(stream.get());
    EXPECT_EQ(stream->GetSize(), 0) << "an empty picture writes nothing";
    TDIBPtr flat(New<TDIB32>());
    flat->SetSize(0, 4);
    try {
        SavePNGFromDIB(stream.get(), flat.get());
        FAIL();
    } catch (const EStreamError& e) {
        EXPECT_EQ(e.GetMessage(), "Invalid image dimensions");
    }
}

TEST(PngWriter, StridedPixelsAreCopiedRowByRow)
{
    // Rows of 3 pixels held 5 apart; the extra pixels must not reach the file.
    std::vector<uint32_t> held(5 * 4, 0xFFFF0000);
    std::vector<uint32_t> expected;
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 3; ++x) {
            held[size_t(y) * 5 + size_t(x)] = 0xFF000000u | uint32_t(y * 3 + x) * 0x10101u;
            expected.push_back(held[size_t(y) * 5 + size_t(x)]);
        }
    std::unique_ptr<TPNGWriter, TObjectFree> writer(New<TPNGWriter>(3, 4, held.data(), 5));
    TStreamPtr stream(New<TMemoryStream>());
    writer->SaveToStream(stream.get());
    EXPECT_EQ(DecodePixels(BytesOf(*stream)), expected);
}

TEST(ZlibStream, LargeOutputAndAMovedTarget)
{
    // Noise does not compress: well over one 64 KiB buffer of output.
    TBytes input(300000);
    uint32_t seed = 99;
    for (uint8_t& b : input) {
        seed = seed * 1664525u + 1013904223u;
        b = uint8_t(seed >> 24);
    }
    TStreamPtr target(New<TMemoryStream>());
    target->WriteBuffer("head", 4);
    {
        std::unique_ptr<TCompressionStream, TObjectFree> z(New<TCompressionStream>(target.get()));
        z->WriteBuffer(input.data(), 100000);
        // Someone else moves the target; the next write still continues where the stream was.
        target->SetPosition(0);
        EXPECT_EQ(z->Write(input.data() + 100000, 200000), 200000);
        EXPECT_EQ(z->GetPosition(), 300000);
        target->SetPosition(1);
        z->Finish();
        EXPECT_THROW(z->Read(input.data(), 1), EZlibError);
    }
    TBytes written = BytesOf(*target);
    ASSERT_EQ(TBytes(written.begin(), written.begin() + 4), (TBytes{'h', 'e', 'a', 'd'}));
    EXPECT_EQ(InflateZlib(TBytes(written.begin() + 4, written.end())), input);
}

TEST(PngBitmap, RegisteredAndDrawnWithAlpha)
{
    EXPECT_EQ(TPicture::FileFormatClass("png"), TPNGBitmap::StaticClass());
    EXPECT_NE(GraphicFilter(TGraphic::StaticClass()).find("Portable network graphic images (*.png)|*.png"),
              std::string::npos);

    // A class-library bitmap is taken over opaque, whatever GDI leaves in its alpha bytes.
    std::unique_ptr<TBitmap, TObjectFree> bitmap(New<TBitmap>());
    bitmap->SetSize(3, 2);
    bitmap->GetCanvas()->GetBrush()->SetColor(clRed);
    bitmap->GetCanvas()->FillRect(RECT{0, 0, 3, 2});
    std::unique_ptr<TPNGBitmap, TObjectFree> png(New<TPNGBitmap>());
    png->Assign(bitmap.get());
    ASSERT_EQ(png->GetWidth(), 3);
    EXPECT_EQ(PixelAt(png->GetDIB(), 2, 1), 0xFFFF0000u);
    EXPECT_TRUE(png->GetTransparent());

    // Save and load through a stream; then half-transparent pixels drawn over a canvas.
    png->GetDIB()->GetScanLine(0)[0] = 0x800000FF;
    TStreamPtr stream(New<TMemoryStream>());
    png->SaveToStream(stream.get());
    stream->SetPosition(0);
    std::unique_ptr<TPNGBitmap, TObjectFree> loaded(New<TPNGBitmap>());
    loaded->LoadFromStream(stream.get());
    EXPECT_EQ(PixelsOf(loaded->GetDIB()), PixelsOf(png->GetDIB()));
    TDIBPtr target = MakeDIB(6, 4, 0xFF000000);
    std::unique_ptr<TCanvas, TObjectFree> canvas(New<TCanvas>());
    canvas->SetHandle(target->GetDC());
    canvas->StretchDraw(RECT{0, 0, 3, 2}, loaded.get());
    canvas->SetHandle(nullptr);
    GdiFlush();
    EXPECT_EQ(RGBOf(PixelAt(target.get(), 0, 0)), 0x000080u);
    EXPECT_EQ(RGBOf(PixelAt(target.get(), 1, 0)), 0xFF0000u);
    EXPECT_EQ(RGBOf(PixelAt(target.get(), 4, 0)), 0u);

    // Sizes: negative values become 0; each side is kept when the other changes.
    loaded->SetWidth(-3);
    EXPECT_TRUE(loaded->GetEmpty());
    loaded->SetWidth(5);
    EXPECT_EQ(loaded->GetHeight(), 2);
    EXPECT_FALSE(loaded->GetEmpty());
    loaded->Assign(nullptr);
    EXPECT_TRUE(loaded->GetEmpty());
}
