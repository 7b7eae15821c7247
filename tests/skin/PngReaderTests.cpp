#include "PngTestFiles.h"
#include "SkinTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/Streams.h"
#include "skin/SkinPngBitmap.h"
#include "skin/SkinPngReader.h"

#include <zlib.h>

namespace {

using TStreamPtr = std::unique_ptr<TMemoryStream, TObjectFree>;
using TReaderPtr = std::unique_ptr<TPNGReader, TObjectFree>;

TReaderPtr Decode(const TBytes& bytes)
{
    TStreamPtr stream = StreamOf(bytes);
    TReaderPtr reader(New<TPNGReader>());
    reader->LoadFromStream(stream.get());
    return reader;
}

// The message of the stream error that decoding raises, or "" when it succeeds.
std::string DecodeError(const TBytes& bytes)
{
    try {
        Decode(bytes);
    } catch (const EStreamError& e) {
        return e.GetMessage();
    }
    return "";
}

// Samples counting up through the depth's range, different in every channel.
TSampleImage Counting(int width, int height, int depth, int colorType, int salt = 0)
{
    TSampleImage image{width, height, depth, colorType, {}};
    const uint32_t levels = depth == 16 ? 65536 : 1u << depth;
    const size_t count = size_t(width) * size_t(height) * size_t(image.Channels());
    for (size_t i = 0; i < count; ++i)
        image.Samples.push_back(uint16_t((i * 2654435761u + uint32_t(salt) * 40503u) % levels));
    return image;
}

TBytes GreyPalette(int entries)
{
    TBytes palette;
    for (int i = 0; i < entries; ++i) {
        palette.push_back(uint8_t(i * 3));
        palette.push_back(uint8_t(255 - i));
        palette.push_back(uint8_t(i * 7));
    }
    return palette;
}

struct TFormat {
    int ColorType, Depth;
};
const TFormat AllFormats[] = {{0, 1}, {0, 2}, {0, 4}, {0, 8}, {0, 16}, {2, 8}, {2, 16}, {3, 1},
                              {3, 2}, {3, 4}, {3, 8}, {4, 8}, {4, 16}, {6, 8}, {6, 16}};

// The zlib stream of rows filtered scan lines (filter 0, rowBytes bytes each) cut by a full flush
// and followed by a block of a type deflate does not have: the rows decode, then the data fails.
TBytes RowsThenBrokenBlock(size_t rowBytes, int rows)
{
    TBytes raw;
    for (int y = 0; y < rows; ++y) {
        raw.push_back(0);
        for (size_t x = 0; x < rowBytes; ++x)
            raw.push_back(uint8_t(x * 7 + size_t(y)));
    }
    z_stream z{};
    deflateInit(&z, 6);
    TBytes out(deflateBound(&z, uLong(raw.size())) + 64);
    z.next_in = raw.data();
    z.avail_in = uInt(raw.size());
    z.next_out = out.data();
    z.avail_out = uInt(out.size());
    deflate(&z, Z_FULL_FLUSH);
    out.resize(out.size() - z.avail_out);
    deflateEnd(&z);
    out.insert(out.end(), {0x07, 0, 0, 0});
    return out;
}

} // namespace

TEST(PngReader, EveryTypeAndDepthInterlacedOrNotAtAwkwardSizes)
{
    const SIZE sizes[] = {{1, 1}, {2, 2}, {3, 3}, {1, 9}, {9, 1}, {33, 17}};
    for (const TFormat f : AllFormats)
        for (const SIZE size : sizes)
            for (bool interlaced : {false, true}) {
                SCOPED_TRACE(testing::Message() << "type " << f.ColorType << " depth " << f.Depth << " " << size.cx
                                                << "x" << size.cy << (interlaced ? " interlaced" : ""));
                const TSampleImage image = Counting(int(size.cx), int(size.cy), f.Depth, f.ColorType);
                const TBytes palette = f.ColorType == 3 ? GreyPalette(1 << f.Depth) : TBytes{};
                // Every filter type, changing from row to row.
                const TBytes file = BuildPng(image, interlaced, palette, {}, [](int row) { return uint8_t(row % 5); });
                TReaderPtr reader = Decode(file);
                ASSERT_EQ(reader->GetWidth(), size.cx);
                ASSERT_EQ(reader->GetHeight(), size.cy);
                ASSERT_EQ(PixelsOf(*reader), ExpectedPixels(image, palette));
            }
}

TEST(PngReader, EveryFilterOnTheFirstAndSecondRow)
{
    const TSampleImage image = Counting(7, 2, 8, 6);
    for (uint8_t first = 0; first < 5; ++first)
        for (uint8_t second = 0; second < 5; ++second) {
            SCOPED_TRACE(testing::Message() << int(first) << "," << int(second));
            const TBytes file = BuildPng(image, false, {}, {}, [&](int row) { return row == 0 ? first : second; });
            EXPECT_EQ(PixelsOf(*Decode(file)), ExpectedPixels(image));
        }
}

TEST(PngReader, KeysCompareRawSamples)
{
    struct TCase {
        const char* Name;
        TSampleImage Image;
        TBytes Key;
    };
    const std::vector<TCase> cases = {
        {"grey 1", {4, 1, 1, 0, {0, 1, 1, 0}}, {0, 1}},
        {"grey 2", {4, 1, 2, 0, {0, 1, 2, 3}}, {0, 2}},
        {"grey 4: key 5 matches sample 5", {4, 1, 4, 0, {5, 6, 5, 15}}, {0, 5}},
        {"grey 4: only the low byte counts", {4, 1, 4, 0, {5, 6, 5, 15}}, {1, 5}},
        {"grey 8", {3, 1, 8, 0, {9, 200, 9}}, {0, 200}},
        {"grey 16: all 16 bits", {3, 1, 16, 0, {0x1234, 0x1299, 0x1234}}, {0x12, 0x34}},
        {"rgb 8: all three", {3, 1, 8, 2, {1, 2, 3, 1, 2, 4, 1, 2, 3}}, {0, 1, 0, 2, 0, 3}},
        {"rgb 16: all three, all bits", {3, 1, 16, 2, {0x100, 0x200, 0x300, 0x100, 0x200, 0x3FF, 0x100, 0x201, 0x300}},
         {1, 0, 2, 0, 3, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const TBytes file = BuildPng(c.Image, false, {}, c.Key);
        EXPECT_EQ(PixelsOf(*Decode(file)), ExpectedPixels(c.Image, {}, c.Key));
    }
    // The 16-bit grey key differing only in its low byte does not match.
    const TSampleImage grey{1, 1, 16, 0, {0x1234}};
    EXPECT_EQ(PixelsOf(*Decode(BuildPng(grey, false, {}, {0x12, 0x35})))[0], 0xFF121212u);
    // Grey with alpha and RGBA ignore a tRNS chunk.
    const TSampleImage ga{1, 1, 8, 4, {7, 99}};
    EXPECT_EQ(PixelsOf(*Decode(BuildPng(ga, false, {}, {0, 7})))[0], 0x63070707u);
}

TEST(PngReader, PaletteAlphaAndIndexRange)
{
    const TSampleImage image{4, 1, 2, 3, {0, 1, 2, 1}};
    // Transparency longer than the palette only reaches the entries there are.
    const TBytes palette = GreyPalette(3);
    const TBytes alpha{10, 20, 30, 40, 50};
    EXPECT_EQ(PixelsOf(*Decode(BuildPng(image, false, palette, alpha))), ExpectedPixels(image, palette, alpha));
    // A short palette: an index beyond it is refused, whatever the depth allows.
    for (int depth : {1, 2, 4, 8}) {
        const TBytes one = GreyPalette(1);
        EXPECT_EQ(DecodeError(BuildPng(TSampleImage{3, 2, depth, 3, {0, 0, 0, 0, 1, 0}}, false, one)),
                  "Invalid palette index")
            << depth;
        EXPECT_EQ(DecodeError(BuildPng(TSampleImage{3, 2, depth, 3, {0, 0, 0, 0, 1, 0}}, true, one)),
                  "Invalid palette index")
            << depth << " interlaced";
    }
    EXPECT_EQ(DecodeError(BuildPng(image)), "Invalid palette index") << "no PLTE at all";
    // A palette after the image data comes too late for it.
    TPngFile late;
    late.Header(4, 1, 2, 3).Data(Deflate(ScanLines(image, false, nullptr))).Chunk("PLTE", palette).End();
    EXPECT_EQ(DecodeError(late.Bytes()), "Invalid palette index");
}

TEST(PngReader, LargeImagesDecodeBesideTheirDecompression)
{
    // Large enough that rows are unfiltered and converted on a thread of their own.
    for (bool interlaced : {false, true}) {
        const TSampleImage image = Counting(700, 600, 8, 2, interlaced ? 1 : 0);
        const TBytes file = BuildPng(image, interlaced, {}, {}, [](int row) { return uint8_t((row / 3) % 5); });
        EXPECT_EQ(PixelsOf(*Decode(file)), ExpectedPixels(image)) << interlaced;
    }
    // A failure there reaches the caller.
    TSampleImage indexed = Counting(1300, 1000, 8, 3);
    for (uint16_t& sample : indexed.Samples)
        sample = uint16_t(sample % 200);
    indexed.Samples[indexed.Samples.size() - 5] = 250;
    EXPECT_EQ(DecodeError(BuildPng(indexed, false, GreyPalette(200))), "Invalid palette index");
    // As does data that ends early: the rows that came, the rest 0.
    const TSampleImage rgb = Counting(1000, 500, 8, 2);
    const TBytes compressed = Deflate(ScanLines(rgb, false, [](int row) { return uint8_t(row % 5); }));
    const TBytes cut(compressed.begin(), compressed.begin() + long(compressed.size() / 2));
    const std::vector<uint32_t> pixels = PixelsOf(*Decode(TPngFile().Header(1000, 500, 8, 2).Data(cut).End().Bytes()));
    const std::vector<uint32_t> expected = ExpectedPixels(rgb);
    size_t same = 0;
    while (same < pixels.size() && pixels[same] == expected[same])
        ++same;
    EXPECT_EQ(same % 1000, 0u) << "whole rows only";
    EXPECT_GT(same, 0u);
    EXPECT_TRUE(std::all_of(pixels.begin() + long(same), pixels.end(), [](uint32_t p) { return p == 0; }));
}

// Large images share one thread and its bands between them: a failure must leave them clean for
// the next image, and an image read while another is must get its own.
TEST(PngReader, LargeImagesOneAfterAnotherAndSideBySide)
{
    const TSampleImage rgb = Counting(1000, 500, 8, 2);
    const TBytes good = BuildPng(rgb, false, {}, {}, [](int row) { return uint8_t(row % 5); });
    const TBytes goodInterlaced = BuildPng(rgb, true, {}, {}, [](int row) { return uint8_t(4 - row % 5); });
    TSampleImage indexed = Counting(1300, 1000, 8, 3);
    for (uint16_t& sample : indexed.Samples)
        sample = uint16_t(sample % 200);
    indexed.Samples[indexed.Samples.size() / 3] = 250;
    const TBytes badIndex = BuildPng(indexed, true, GreyPalette(200));
    const TBytes compressed = Deflate(ScanLines(rgb, false, nullptr));
    const TBytes cut = TPngFile()
                           .Header(1000, 500, 8, 2)
                           .Data(TBytes(compressed.begin(), compressed.begin() + long(compressed.size() / 3)))
                           .End()
                           .Bytes();
    const std::vector<uint32_t> expected = ExpectedPixels(rgb);
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(DecodeError(badIndex), "Invalid palette index") << round;
        EXPECT_EQ(PixelsOf(*Decode(good)), expected) << round;
        const std::vector<uint32_t> partial = PixelsOf(*Decode(cut));
        EXPECT_TRUE(std::equal(partial.begin(), partial.begin() + 1000, expected.begin())) << round;
        EXPECT_EQ(partial.back(), 0u) << round;
        EXPECT_EQ(PixelsOf(*Decode(goodInterlaced)), expected) << round;
    }
    std::string results[3];
    std::vector<std::thread> readers;
    for (std::string& result : results)
        readers.emplace_back([&] {
            try {
                for (int i = 0; i < 3; ++i)
                    result += PixelsOf(*Decode(good)) == expected ? "same " : "different ";
            } catch (const Exception& e) {
                result += e.GetMessage();
            }
        });
    for (std::thread& reader : readers)
        reader.join();
    for (const std::string& result : results)
        EXPECT_EQ(result, "same same same ");
}

// Whichever thread meets its failure first, the one raised is the one a single thread meets first:
// here a palette index out of range in the last row of a band (bands of 256 KiB hold 201 rows of
// this width) and a broken CRC of the image data chunk some rows into the next band.
TEST(PngReader, TheFailureEarliestInTheFileIsRaised)
{
    // Indexes that hardly compress, so that the compressed data runs even with the rows.
    TSampleImage indexed = Counting(1300, 1000, 8, 3);
    uint32_t seed = 1;
    for (uint16_t& sample : indexed.Samples)
        sample = uint16_t(((seed = seed * 1664525u + 1013904223u) >> 16) % 200);
    for (int row : {200, 401, 602})
        for (bool outOfRange : {false, true}) {
            TSampleImage image = indexed;
            if (outOfRange)
                image.Samples[size_t(row) * 1300 + 1299] = 250;
            const TBytes compressed = Deflate(ScanLines(image, false, nullptr));
            TBytes file =
                TPngFile().Header(1300, 1000, 8, 3).Chunk("PLTE", GreyPalette(200)).Data(compressed, 4096).End().Bytes();
            const size_t damageAt = compressed.size() * size_t(row + 30) / 1000;
            size_t at = 8, data = 0;
            for (const TChunk& chunk : ChunksOf(file)) {
                const size_t size = chunk.Data.size();
                if (chunk.Type == "IDAT" && (data += size) > damageAt) {
                    file[at + 8 + size] ^= 0x01;
                    break;
                }
                at += 12 + size;
            }
            EXPECT_EQ(DecodeError(file), outOfRange ? "Invalid palette index" : "CRC error") << row;
        }
}

TEST(PngReader, ImageDataInPiecesAndEmptyChunks)
{
    const TSampleImage image = Counting(20, 9, 8, 2);
    const TBytes compressed = Deflate(ScanLines(image, true, [](int row) { return uint8_t(4 - row % 5); }));
    for (size_t piece : {size_t(1), size_t(7), size_t(0)})
        for (bool empty : {false, true}) {
            SCOPED_TRACE(testing::Message() << piece << (empty ? " with empty chunks" : ""));
            TPngFile file;
            file.Header(20, 9, 8, 2, true);
            if (empty)
                file.Chunk("IDAT", {});
            file.Data(compressed, piece, empty).Chunk("tEXt", {'a', 0, 'b'}).End();
            EXPECT_EQ(PixelsOf(*Decode(file.Bytes())), ExpectedPixels(image));
        }
}

TEST(PngReader, AncillaryChunksAndTheirValues)
{
    const TSampleImage image = Counting(3, 2, 16, 2);
    TPngFile file;
    file.Header(3, 2, 16, 2).Chunk("gAMA", {0, 0, 0xB1, 0x8F}).Chunk("bKGD", {0xFF, 0xFF, 0, 0, 0x80, 0x80});
    // An ancillary chunk with a broken CRC is passed over unread.
    file.Chunk("zZzz", {1, 2, 3});
    TBytes bytes = file.Bytes();
    bytes.back() ^= 0x40;
    const TBytes rest = TPngFile().Data(Deflate(ScanLines(image, false, nullptr))).End().Bytes();
    bytes.insert(bytes.end(), rest.begin() + 8, rest.end());
    TReaderPtr reader = Decode(bytes);
    EXPECT_DOUBLE_EQ(reader->GetGamma(), 0.45455);
    ASSERT_TRUE(reader->HasBackground());
    EXPECT_EQ(reader->GetBackground(), 0xFFFF0080u);
    EXPECT_EQ(PixelsOf(*reader), ExpectedPixels(image));

    // A background colour is the colour a pixel of the same samples gets, at every depth.
    struct TCase {
        int Depth, ColorType;
        std::vector<uint16_t> Samples;
    };
    const TCase cases[] = {
        {16, 2, {0xFF00, 0x00FF, 0x8080}}, {16, 0, {0xFF00}}, {16, 0, {0x7FFF}}, {8, 2, {1, 128, 255}},
        {8, 0, {200}},                     {4, 0, {5}},       {2, 0, {2}},       {1, 0, {1}},
        {16, 4, {0xFF00, 0}},              {16, 6, {0xFE01, 0x0180, 0xFFFF, 0}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "depth " << c.Depth << " type " << c.ColorType);
        const TSampleImage one{1, 1, c.Depth, c.ColorType, c.Samples};
        TBytes background;
        for (size_t i = 0; i < (c.ColorType == 2 || c.ColorType == 6 ? 3u : 1u); ++i)
            PutBE16(background, c.Samples[i]);
        const TBytes file = TPngFile()
                                .Header(1, 1, c.Depth, c.ColorType)
                                .Chunk("bKGD", background)
                                .Data(Deflate(ScanLines(one, false, nullptr)))
                                .End()
                                .Bytes();
        TReaderPtr decoded = Decode(file);
        ASSERT_TRUE(decoded->HasBackground());
        EXPECT_EQ(decoded->GetBackground() & 0xFFFFFF, PixelsOf(*decoded)[0] & 0xFFFFFF);
    }
}

TEST(PngReader, BadInputRaisesTheFormatsErrors)
{
    const TSampleImage image = Counting(5, 4, 8, 2);
    const TBytes data = Deflate(ScanLines(image, false, nullptr));
    const TBytes good = TPngFile().Header(5, 4, 8, 2).Data(data).End().Bytes();
    ASSERT_EQ(DecodeError(good), "");

    auto flipped = [&](const std::string& type) {
        TBytes bytes = good;
        size_t at = 8;
        for (const TChunk& c : ChunksOf(good)) {
            if (c.Type == type)
                bytes[at + 8 + c.Data.size()] ^= 0x01;
            at += 12 + c.Data.size();
        }
        return bytes;
    };
    TBytes badSignature = good;
    badSignature[1] = 'Q';
    TBytes damagedStream = good;
    damagedStream[8 + 25 + 8 + 3] ^= 0xFF; // inside the deflate data of IDAT
    FixCrcs(damagedStream);
    TBytes badChecksum = data;
    badChecksum.back() ^= 0x01;
    // The 13 bytes of a header with each field as given.
    auto header = [](int depth, int colorType, int filterMethod, int interlace) {
        TBytes h;
        PutBE32(h, 5);
        PutBE32(h, 4);
        h.insert(h.end(), {uint8_t(depth), uint8_t(colorType), 0, uint8_t(filterMethod), uint8_t(interlace)});
        return h;
    };
    // Rows whose filter byte is 5 (a type the format does not have), first or in a later pass.
    TBytes filter5 = ScanLines(image, false, nullptr);
    filter5[0] = 5;
    TBytes filter5Interlaced = ScanLines(image, true, [](int row) { return uint8_t(row == 1 ? 5 : 0); });

    struct TCase {
        const char* Name;
        TBytes File;
        const char* Error;
    };
    const std::vector<TCase> cases = {
        {"signature", badSignature, "Invalid format"},
        {"first chunk not IHDR", TPngFile().Chunk("gAMA", {0, 0, 0, 1}).Header(5, 4, 8, 2).End().Bytes(), "Invalid format"},
        {"short IHDR", TPngFile().Chunk("IHDR", {0, 0, 0, 1, 0, 0, 0, 1, 8}).End().Bytes(), "Invalid format"},
        {"IHDR CRC", flipped("IHDR"), "CRC error"},
        {"IDAT CRC", flipped("IDAT"), "CRC error"},
        {"PLTE CRC",
         [&] {
             TBytes b = TPngFile().Header(1, 1, 8, 3).Chunk("PLTE", {1, 2, 3}).End().Bytes();
             b[8 + 25 + 12 + 3 - 1] ^= 1;
             return b;
         }(),
         "CRC error"},
        {"PLTE of 10 bytes", TPngFile().Header(1, 1, 8, 3).Chunk("PLTE", TBytes(10, 0)).End().Bytes(), "Invalid palette"},
        {"unknown critical chunk", TPngFile().Header(5, 4, 8, 2).Chunk("ABCD", {}).End().Bytes(),
         "Unexpected but critical chunk detected"},
        {"second IHDR", TPngFile().Header(5, 4, 8, 2).Header(5, 4, 8, 2).End().Bytes(),
         "Unexpected but critical chunk detected"},
        {"RGB at 4 bits", TPngFile().Header(5, 4, 4, 2).End().Bytes(), "Invalid color format"},
        {"colour type 5", TPngFile().Header(5, 4, 8, 5).End().Bytes(), "Invalid color format"},
        {"compression method 1", TPngFile().Header(5, 4, 8, 2, false, 1).End().Bytes(), "Unsupported compression scheme"},
        {"filter method 1", TPngFile().Chunk("IHDR", header(8, 2, 1, 0)).Data(data).End().Bytes(),
         "Unsupported filter method"},
        {"interlace method 2", TPngFile().Chunk("IHDR", header(8, 2, 0, 2)).Data(data).End().Bytes(),
         "Unsupported interlace method"},
        {"filter type 5", TPngFile().Header(5, 4, 8, 2).Data(Deflate(filter5)).End().Bytes(), "Invalid filter type"},
        {"filter type 5 in a later pass", TPngFile().Header(5, 4, 8, 2, true).Data(Deflate(filter5Interlaced)).End().Bytes(),
         "Invalid filter type"},
        {"width beyond 31 bits", TPngFile().Header(0x80000000u, 1, 8, 2).End().Bytes(), "Invalid image dimensions"},
        {"huge claim in a small file", TPngFile().Header(60000, 60000, 8, 2).Data(data).End().Bytes(),
         "Invalid image dimensions"},
        {"damaged zlib stream", damagedStream, "Compression error"},
        {"damaged checksum", TPngFile().Header(5, 4, 8, 2).Data(badChecksum).End().Bytes(), "Compression error"},
        {"stream ends before the image", TPngFile().Header(5, 6, 8, 2).Data(data).End().Bytes(),
         "Extra compressed data found"},
        {"chunk length beyond the file", [&] {
             TBytes b = good;
             b[8 + 25] = 0x7F;
             return b;
         }(),
         "Stream read error"},
        {"missing IEND", TPngFile().Header(5, 4, 8, 2).Data(data).Bytes(), "Stream read error"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DecodeError(c.File), c.Error) << c.Name;
    }
    // An ancillary chunk's CRC is not checked, and a lower-case copy of a known type is that type.
    EXPECT_EQ(DecodeError(TPngFile().Header(5, 4, 8, 2).Chunk("abcd", {}).Data(data).End().Bytes()), "");
    EXPECT_EQ(DecodeError(TPngFile().Header(5, 4, 8, 2).Chunk("idat", data).Chunk("iEND", {}).Bytes()), "");
}

// Image data beyond the last row, in the stream or after its end, is passed over as other viewers
// do; the stream's damage and checksum, and the chunks' CRCs, still count.
TEST(PngReader, SurplusImageDataIsPassedOver)
{
    const TSampleImage image = Counting(5, 4, 8, 2);
    const std::vector<uint32_t> expected = ExpectedPixels(image);
    TBytes overLong = ScanLines(image, false, nullptr);
    overLong.insert(overLong.end(), 5000, 7);
    const TBytes surplusRows = Deflate(overLong);
    TBytes trailing = Deflate(ScanLines(image, false, nullptr));
    trailing.insert(trailing.end(), {0x12, 0x34, 0x56});
    TBytes surplusChecksum = surplusRows;
    surplusChecksum.back() ^= 0x01;
    auto lastDataCrcFlipped = [](TBytes file) {
        size_t at = 8, last = 0;
        for (const TChunk& c : ChunksOf(file)) {
            if (c.Type == "IDAT")
                last = at + 8 + c.Data.size();
            at += 12 + c.Data.size();
        }
        file[last] ^= 0x01;
        return file;
    };
    struct TCase {
        const char* Name;
        TBytes File;
        const char* Error;
    };
    const std::vector<TCase> cases = {
        {"surplus rows in the stream", TPngFile().Header(5, 4, 8, 2).Data(surplusRows).End().Bytes(), ""},
        {"surplus rows over many chunks", TPngFile().Header(5, 4, 8, 2).Data(surplusRows, 3).End().Bytes(), ""},
        {"bytes after the stream's end", TPngFile().Header(5, 4, 8, 2).Data(trailing).End().Bytes(), ""},
        {"a chunk after the stream's end",
         TPngFile().Header(5, 4, 8, 2).Data(trailing).Chunk("IDAT", {1, 2, 3}).End().Bytes(), ""},
        {"surplus with a damaged checksum", TPngFile().Header(5, 4, 8, 2).Data(surplusChecksum, 40).End().Bytes(),
         "Compression error"},
        {"surplus in a chunk with a broken CRC",
         lastDataCrcFlipped(TPngFile().Header(5, 4, 8, 2).Data(surplusRows, 8).End().Bytes()), "CRC error"},
        {"bytes after the end in a chunk with a broken CRC",
         lastDataCrcFlipped(TPngFile().Header(5, 4, 8, 2).Data(trailing).End().Bytes()), "CRC error"},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(DecodeError(c.File), c.Error) << c.Name;
        if (*c.Error == 0) {
            EXPECT_EQ(PixelsOf(*Decode(c.File)), expected) << c.Name;
        }
    }
}

TEST(PngReader, EmptyAndDatalessImages)
{
    TReaderPtr empty = Decode(TPngFile().Header(0, 7, 8, 2).Bytes());
    EXPECT_EQ(empty->GetWidth(), 0);
    EXPECT_TRUE(PixelsOf(*empty).empty());
    // IEND before any image data: the header's size, every pixel 0, however large the header
    // says the image is.
    for (const SIZE size : {SIZE{3, 2}, SIZE{300, 300}, SIZE{4000, 3000}}) {
        TReaderPtr dataless = Decode(TPngFile().Header(uint32_t(size.cx), uint32_t(size.cy), 8, 6).End().Bytes());
        EXPECT_EQ(dataless->GetWidth(), size.cx);
        const std::vector<uint32_t> pixels = PixelsOf(*dataless);
        EXPECT_EQ(pixels.size(), size_t(size.cx * size.cy));
        EXPECT_TRUE(std::all_of(pixels.begin(), pixels.end(), [](uint32_t p) { return p == 0; })) << size.cx;
    }
    // Data that ends early (a complete zlib stream is missing its end): the rows that came, the
    // rest 0, never a half row.
    const TSampleImage image = Counting(4, 3, 8, 6);
    const TBytes lines = ScanLines(image, false, nullptr);
    const TBytes compressed = Deflate(lines);
    TBytes cut(compressed.begin(), compressed.end() - 4);
    cut.resize(cut.size() - 6);
    TReaderPtr partial = Decode(TPngFile().Header(4, 3, 8, 6).Data(cut).End().Bytes());
    const std::vector<uint32_t> expected = ExpectedPixels(image);
    const std::vector<uint32_t> got = PixelsOf(*partial);
    int wholeRows = 0;
    for (int y = 0; y < 3; ++y) {
        const bool same = std::equal(got.begin() + y * 4, got.begin() + y * 4 + 4, expected.begin() + y * 4);
        const bool zero = std::all_of(got.begin() + y * 4, got.begin() + y * 4 + 4, [](uint32_t p) { return p == 0; });
        EXPECT_TRUE(same || zero) << "row " << y;
        wholeRows += same ? 1 : 0;
    }
    EXPECT_GE(wholeRows, 1);
    EXPECT_LT(wholeRows, 3);
}

// A file whose data fails after a few rows costs the memory of those rows, not of the image its
// header announces (the reader takes its pixels' memory as rows arrive), however much else the
// file holds.
TEST(PngReader, DataFailingEarlyCostsOnlyWhatItDecoded)
{
    struct TCase {
        const char* Name;
        uint32_t Width, Height;
        int Depth, ColorType;
        bool Interlaced;
        size_t Padding;         // bytes of an ancillary chunk after the header
        bool BrokenCrc;         // a second data chunk with a broken CRC instead of a broken block
        const char* Error;
    };
    const TCase cases[] = {
        {"1 bit, 16384 x 16384", 16384, 16384, 1, 0, false, 48 << 10, false, "Compression error"},
        {"1 bit, 16384 x 16384, interlaced", 16384, 16384, 1, 0, true, 48 << 10, false, "Compression error"},
        {"RGB, 182400 x 700", 182400, 700, 8, 2, false, 400 << 10, false, "Compression error"},
        {"RGBA, 8192 x 8192, CRC", 8192, 8192, 8, 6, false, 300 << 10, true, "CRC error"},
    };
    TCaseWatch watch(20, 60);
    for (const TCase& c : cases) {
        const int samples = c.ColorType == 6 ? 4 : c.ColorType == 2 ? 3 : 1;
        // The rows of the first pass: every eighth pixel of every eighth row when interlaced.
        const uint32_t passWidth = c.Interlaced ? (c.Width + 7) / 8 : c.Width;
        const size_t rowBytes = (size_t(passWidth) * size_t(samples * c.Depth) + 7) / 8;
        TPngFile file;
        file.Header(c.Width, c.Height, c.Depth, c.ColorType, c.Interlaced).Chunk("tEXt", TBytes(c.Padding, 'x'));
        if (c.BrokenCrc) {
            TBytes rows = RowsThenBrokenBlock(rowBytes, 4);
            rows.resize(rows.size() - 4);
            file.Data(rows).Chunk("IDAT", TBytes(100, 0));
        } else {
            file.Data(RowsThenBrokenBlock(rowBytes, 4));
        }
        TBytes bytes = file.End().Bytes();
        if (c.BrokenCrc)
            bytes[bytes.size() - 12 - 1] ^= 0x01;
        watch.Begin(c.Name);
        const std::string error = DecodeError(bytes);
        const size_t added = watch.End();
        EXPECT_EQ(error, c.Error) << c.Name;
        EXPECT_LT(added, size_t(64) << 20) << c.Name;
    }
}

TEST(PngReader, TruncationAtEveryOffsetFailsCleanlyAndLeavesTheDibAlone)
{
    const TSampleImage image = Counting(9, 7, 8, 3);
    const TBytes file = BuildPng(image, true, GreyPalette(256), {1, 2, 3});
    TDIBPtr dib = MakeDIB(2, 2, 0xAB00CDEF);
    for (size_t length = 0; length < file.size(); ++length) {
        TStreamPtr stream = StreamOf(TBytes(file.begin(), file.begin() + long(length)));
        EXPECT_THROW(LoadPNGIntoDIB(stream.get(), dib.get()), EStreamError) << length;
        ASSERT_EQ(dib->GetWidth(), 2);
        ASSERT_EQ(PixelAt(dib.get(), 1, 1), 0xAB00CDEFu);
    }
    TStreamPtr whole = StreamOf(file);
    LoadPNGIntoDIB(whole.get(), dib.get());
    EXPECT_EQ(PixelsOf(dib.get()), ExpectedPixels(image, GreyPalette(256), {1, 2, 3}));
}

// Thousands of damaged files: each either decodes or raises a stream error (or runs out of
// memory for a header it cannot hold); nothing else escapes, nothing hangs.
TEST(PngReader, MutatedFilesNeverEscapeTheReadersErrors)
{
    const TBytes seeds[] = {
        BuildPng(Counting(13, 11, 8, 2), false, {}, {}, [](int row) { return uint8_t(row % 5); }),
        BuildPng(Counting(17, 5, 4, 3), true, GreyPalette(16), {0, 128}),
        BuildPng(Counting(6, 9, 16, 6), true, {}, {}, [](int row) { return uint8_t(4 - row % 5); }),
        BuildPng(Counting(30, 3, 1, 0), false, {}, {0, 1}),
    };
    uint32_t seed = 20240601;
    auto next = [&] {
        seed = seed * 1103515245u + 12345u;
        return seed >> 8;
    };
    int decoded = 0, refused = 0;
    for (int round = 0; round < 4000; ++round) {
        TBytes bytes = seeds[round % 4];
        const int edits = 1 + int(next() % 4);
        for (int e = 0; e < edits && !bytes.empty(); ++e) {
            const size_t at = next() % bytes.size();
            switch (next() % 5) {
            case 0:
                bytes[at] = uint8_t(next());
                break;
            case 1:
                bytes[at] ^= uint8_t(1u << (next() % 8));
                break;
            case 2:
                bytes.erase(bytes.begin() + long(at));
                break;
            case 3:
                bytes.insert(bytes.begin() + long(at), uint8_t(next()));
                break;
            default:
                bytes.resize(at + 1);
            }
        }
        // Half the files get valid CRCs again, so that damage reaches the header fields and the
        // compressed data.
        if (round % 2)
            FixCrcs(bytes);
        try {
            Decode(bytes);
            ++decoded;
        } catch (const EStreamError&) {
            ++refused;
        } catch (const EOutOfMemory&) {
            ++refused;
        }
    }
    EXPECT_GT(decoded, 0);
    EXPECT_GT(refused, 0);
}
