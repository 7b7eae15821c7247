#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "platform/Graphics.h"
#include "platform/Streams.h"
#include "TestSupport.h"

namespace {

using Bytes = std::vector<uint8_t>;

void Put16(Bytes& b, size_t at, uint32_t v)
{
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}

void Put32(Bytes& b, size_t at, uint32_t v)
{
    Put16(b, at, v);
    Put16(b, at + 2, v >> 16);
}

// A BMP file as another program would write it. Rows are given top row first.
struct TBmpLayout {
    int Width = 0;
    int Height = 0;
    int BitCount = 24;
    uint32_t Compression = BI_RGB;
    uint32_t HeaderSize = 40;
    bool TopDown = false;
    std::vector<uint32_t> Masks;   // after a 40-byte header, or inside a larger one
    std::vector<RGBQUAD> Colors;
    std::vector<Bytes> Rows;       // unpadded
};

size_t Stride(int width, int bpp)
{
    return ((static_cast<size_t>(width) * bpp + 31) / 32) * 4;
}

Bytes BuildBmp(const TBmpLayout& s)
{
    bool core = s.HeaderSize == 12;
    size_t masksAfter = (!core && s.HeaderSize == 40) ? s.Masks.size() * 4 : 0;
    size_t entry = core ? 3 : 4;
    size_t offset = 14 + s.HeaderSize + masksAfter + s.Colors.size() * entry;
    size_t stride = Stride(s.Width, s.BitCount);
    Bytes b(offset + stride * s.Height, 0);
    b[0] = 'B';
    b[1] = 'M';
    Put32(b, 2, static_cast<uint32_t>(b.size()));
    Put32(b, 10, static_cast<uint32_t>(offset));
    Put32(b, 14, s.HeaderSize);
    if (core) {
        Put16(b, 18, s.Width);
        Put16(b, 20, s.Height);
        Put16(b, 22, 1);
        Put16(b, 24, s.BitCount);
    } else {
        Put32(b, 18, static_cast<uint32_t>(s.Width));
        Put32(b, 22, static_cast<uint32_t>(s.TopDown ? -s.Height : s.Height));
        Put16(b, 26, 1);
        Put16(b, 28, s.BitCount);
        Put32(b, 30, s.Compression);
        Put32(b, 46, static_cast<uint32_t>(s.Colors.size()));
        for (size_t i = 0; i < s.Masks.size(); ++i)
            Put32(b, 14 + 40 + 4 * i, s.Masks[i]);
    }
    size_t at = 14 + s.HeaderSize + masksAfter;
    for (const RGBQUAD& q : s.Colors) {
        b[at] = q.rgbBlue;
        b[at + 1] = q.rgbGreen;
        b[at + 2] = q.rgbRed;
        at += entry;
    }
    for (int y = 0; y < s.Height; ++y) {
        int fileRow = s.TopDown ? y : s.Height - 1 - y;
        std::memcpy(b.data() + offset + stride * fileRow, s.Rows[y].data(), s.Rows[y].size());
    }
    return b;
}

TOwned<TBitmap> Load(const Bytes& b)
{
    TOwned<TBitmap> bmp(New<TBitmap>());
    auto ms = StreamOf(b);
    bmp->LoadFromStream(ms.get());
    return bmp;
}

COLORREF Pixel(TBitmap* bmp, int x, int y)
{
    return static_cast<COLORREF>(bmp->GetCanvas()->GetPixel(x, y)) & 0xFFFFFF;
}

RGBQUAD Q(uint8_t r, uint8_t g, uint8_t b)
{
    return RGBQUAD{b, g, r, 0};
}

} // namespace

TEST(BitmapFile, RoundTripsEveryPixelFormat)
{
    for (TPixelFormat format : {TPixelFormat::pf1bit, TPixelFormat::pf4bit, TPixelFormat::pf8bit, TPixelFormat::pf15bit,
                                TPixelFormat::pf16bit, TPixelFormat::pf24bit, TPixelFormat::pf32bit}) {
        TOwned<TBitmap> bmp(New<TBitmap>());
        bmp->SetPixelFormat(format);
        bmp->SetSize(13, 7);   // odd width: rows are padded
        int bytes = (13 * bmp->GetBitsPerPixel() + 7) / 8;
        for (int y = 0; y < 7; ++y) {
            auto* row = static_cast<uint8_t*>(bmp->GetScanLine(y));
            for (int x = 0; x < bytes; ++x)
                row[x] = static_cast<uint8_t>(x * 31 + y * 17 + 5);
        }
        TOwned<TMemoryStream> ms(New<TMemoryStream>());
        bmp->SaveToStream(ms.get());
        auto* data = static_cast<uint8_t*>(ms->GetMemory());
        ASSERT_EQ(data[0], 'B');
        ASSERT_EQ(data[1], 'M');
        ms->SetPosition(0);
        TOwned<TBitmap> back(New<TBitmap>());
        back->LoadFromStream(ms.get());
        EXPECT_EQ(ms->GetPosition(), ms->GetSize());
        ASSERT_EQ(back->GetWidth(), 13);
        ASSERT_EQ(back->GetHeight(), 7);
        EXPECT_EQ(back->GetPixelFormat(), format) << static_cast<int>(format);
        EXPECT_EQ(back->GetColorTable().size(), bmp->GetColorTable().size());
        for (int y = 0; y < 7; ++y)
            EXPECT_EQ(std::memcmp(back->GetScanLine(y), bmp->GetScanLine(y), bytes), 0) << static_cast<int>(format) << " row " << y;
        for (int x = 0; x < 13; ++x)
            EXPECT_EQ(Pixel(back.get(), x, 3), Pixel(bmp.get(), x, 3));
    }
}

TEST(BitmapFile, ReadsWhatOtherProgramsWrite)
{
    // Top-down 24 bits.
    TBmpLayout td;
    td.Width = 3;
    td.Height = 2;
    td.TopDown = true;
    td.Rows = {{0, 0, 255, 0, 255, 0, 255, 0, 0}, {255, 255, 255, 0, 0, 0, 0, 255, 255}};
    auto bmp = Load(BuildBmp(td));
    EXPECT_EQ(Pixel(bmp.get(), 0, 0), RGB(255, 0, 0));
    EXPECT_EQ(Pixel(bmp.get(), 2, 0), RGB(0, 0, 255));
    EXPECT_EQ(Pixel(bmp.get(), 2, 1), RGB(255, 255, 0));

    // 16 bits 5-6-5 through bit fields.
    TBmpLayout f565;
    f565.Width = 2;
    f565.Height = 2;
    f565.BitCount = 16;
    f565.Compression = BI_BITFIELDS;
    f565.Masks = {0xF800, 0x07E0, 0x001F};
    f565.Rows = {{0x00, 0xF8, 0xE0, 0x07}, {0x1F, 0x00, 0xFF, 0xFF}};
    bmp = Load(BuildBmp(f565));
    EXPECT_EQ(bmp->GetPixelFormat(), TPixelFormat::pf16bit);
    EXPECT_EQ(Pixel(bmp.get(), 0, 0), RGB(255, 0, 0));
    EXPECT_EQ(Pixel(bmp.get(), 1, 0), RGB(0, 255, 0));
    EXPECT_EQ(Pixel(bmp.get(), 0, 1), RGB(0, 0, 255));

    // 16 bits 4-4-4: converted to 32 bits.
    TBmpLayout f444 = f565;
    f444.Masks = {0x0F00, 0x00F0, 0x000F};
    f444.Rows = {{0x00, 0x0F, 0xF0, 0x00}, {0x0F, 0x00, 0x88, 0x08}};
    bmp = Load(BuildBmp(f444));
    EXPECT_EQ(bmp->GetPixelFormat(), TPixelFormat::pf32bit);
    EXPECT_EQ(Pixel(bmp.get(), 0, 0), RGB(255, 0, 0));
    EXPECT_EQ(Pixel(bmp.get(), 1, 0), RGB(0, 255, 0));
    EXPECT_EQ(Pixel(bmp.get(), 0, 1), RGB(0, 0, 255));
    EXPECT_EQ(Pixel(bmp.get(), 1, 1), RGB(0x88, 0x88, 0x88));

    // 32 bits with red in the low byte, masks inside a version 5 header, top-down.
    TBmpLayout v5;
    v5.Width = 2;
    v5.Height = 1;
    v5.BitCount = 32;
    v5.Compression = BI_BITFIELDS;
    v5.HeaderSize = 124;
    v5.TopDown = true;
    v5.Masks = {0x000000FF, 0x0000FF00, 0x00FF0000};
    v5.Rows = {{0x10, 0x20, 0x30, 0xFF, 0xFF, 0, 0, 0xFF}};
    bmp = Load(BuildBmp(v5));
    EXPECT_EQ(Pixel(bmp.get(), 0, 0), RGB(0x10, 0x20, 0x30));
    EXPECT_EQ(Pixel(bmp.get(), 1, 0), RGB(255, 0, 0));

    // An OS/2 core header with a three-byte colour table, 8 bits, two colours used.
    TBmpLayout core;
    core.Width = 3;
    core.Height = 1;
    core.BitCount = 8;
    core.HeaderSize = 12;
    core.Colors.resize(256);
    core.Colors[0] = Q(10, 20, 30);
    core.Colors[1] = Q(200, 100, 50);
    core.Rows = {{0, 1, 1}};
    bmp = Load(BuildBmp(core));
    EXPECT_EQ(bmp->GetPixelFormat(), TPixelFormat::pf8bit);
    EXPECT_EQ(Pixel(bmp.get(), 0, 0), RGB(10, 20, 30));
    EXPECT_EQ(Pixel(bmp.get(), 2, 0), RGB(200, 100, 50));

    // 4 bits with a short colour table (biClrUsed = 2).
    TBmpLayout four;
    four.Width = 4;
    four.Height = 1;
    four.BitCount = 4;
    four.Colors = {Q(1, 2, 3), Q(250, 240, 230)};
    four.Rows = {{0x01, 0x10}};
    bmp = Load(BuildBmp(four));
    EXPECT_EQ(bmp->GetColorTable().size(), 2u);
    EXPECT_EQ(Pixel(bmp.get(), 1, 0), RGB(250, 240, 230));
    EXPECT_EQ(Pixel(bmp.get(), 3, 0), RGB(1, 2, 3));
}

TEST(BitmapFile, ReadsOnlyItsOwnBytes)
{
    TBmpLayout s;
    s.Width = 2;
    s.Height = 2;
    s.Rows = {{1, 2, 3, 4, 5, 6}, {7, 8, 9, 10, 11, 12}};
    Bytes file = BuildBmp(s);
    Bytes withTail = file;
    withTail.insert(withTail.end(), {'t', 'a', 'i', 'l'});
    auto ms = StreamOf(withTail);
    TOwned<TBitmap> bmp(New<TBitmap>());
    bmp->LoadFromStream(ms.get());
    EXPECT_EQ(ms->GetPosition(), static_cast<int64_t>(file.size()));
}

TEST(BitmapFile, MalformedFilesRaiseCleanly)
{
    TBmpLayout s;
    s.Width = 4;
    s.Height = 4;
    s.Rows.assign(4, Bytes(12, 0x80));
    const Bytes good = BuildBmp(s);
    ASSERT_NO_THROW(Load(good));

    auto expectInvalid = [](const Bytes& b, const char* what) {
        TOwned<TBitmap> bmp(New<TBitmap>());
        auto ms = StreamOf(b);
        EXPECT_THROW(bmp->LoadFromStream(ms.get()), EInvalidGraphic) << what;
        EXPECT_TRUE(bmp->GetEmpty()) << what;
    };
    expectInvalid({}, "empty");
    expectInvalid(Bytes(good.begin(), good.begin() + 10), "cut in the file header");
    expectInvalid(Bytes(good.begin(), good.begin() + 30), "cut in the info header");
    expectInvalid(Bytes(good.begin(), good.end() - 1), "cut in the pixels");
    Bytes b = good;
    b[0] = 'X';
    expectInvalid(b, "not BM");
    b = good;
    Put32(b, 10, 20);
    expectInvalid(b, "offset inside the header");
    b = good;
    Put32(b, 10, 0x7FFFFFF0);
    expectInvalid(b, "offset beyond the end");
    b = good;
    Put32(b, 18, 100000);
    expectInvalid(b, "huge width");
    b = good;
    Put32(b, 18, 30000);
    Put32(b, 22, 30000);
    expectInvalid(b, "large image in a small file");
    b = good;
    Put32(b, 22, 0x80000000u);
    expectInvalid(b, "most negative height");
    b = good;
    Put32(b, 18, 0);
    expectInvalid(b, "zero width");
    b = good;
    Put16(b, 28, 7);
    expectInvalid(b, "seven bits per pixel");
    b = good;
    Put32(b, 30, BI_RLE8);
    expectInvalid(b, "run-length compression");
    b = good;
    Put32(b, 14, 2000);
    expectInvalid(b, "header larger than any version");
    b = good;
    Put16(b, 26, 3);
    expectInvalid(b, "three planes");

    TBmpLayout pal;
    pal.Width = 2;
    pal.Height = 1;
    pal.BitCount = 1;
    pal.Colors = {Q(0, 0, 0), Q(255, 255, 255)};
    pal.Rows = {{0x40}};
    b = BuildBmp(pal);
    Put32(b, 46, 3);   // three colours in a two-colour table
    expectInvalid(b, "colour table larger than the depth allows");

    TBmpLayout fields;
    fields.Width = 1;
    fields.Height = 1;
    fields.BitCount = 24;
    fields.Compression = BI_BITFIELDS;
    fields.Masks = {0xFF0000, 0xFF00, 0xFF};
    fields.Rows = {{1, 2, 3}};
    expectInvalid(BuildBmp(fields), "bit fields at 24 bits");
}

TEST(BitmapFile, PackedDibRoundTripAndBounds)
{
    TOwned<TBitmap> bmp(New<TBitmap>());
    bmp->SetPixelFormat(TPixelFormat::pf16bit);
    bmp->SetSize(3, 2);
    bmp->GetCanvas()->SetPixel(2, 1, clRed);
    HGLOBAL dib = bmp->CreatePackedDIB();
    size_t size = GlobalSize(dib);
    void* p = GlobalLock(dib);
    TOwned<TBitmap> back(New<TBitmap>());
    back->LoadFromPackedDIB(p, size);
    EXPECT_EQ(back->GetPixelFormat(), TPixelFormat::pf16bit);
    EXPECT_EQ(Pixel(back.get(), 2, 1), RGB(255, 0, 0));
    EXPECT_EQ(Pixel(back.get(), 0, 0), RGB(255, 255, 255));
    EXPECT_THROW(back->LoadFromPackedDIB(p, size - 1), EInvalidGraphic);
    EXPECT_THROW(back->LoadFromPackedDIB(p, 40), EInvalidGraphic) << "masks missing";
    GlobalUnlock(dib);
    GlobalFree(dib);
}

TEST(BitmapFile, FilesOnDisk)
{
    std::string name = TestTempFile("roundtrip.bmp");
    TOwned<TBitmap> bmp(New<TBitmap>());
    bmp->SetPixelFormat(TPixelFormat::pf24bit);
    bmp->SetSize(5, 5);
    bmp->GetCanvas()->SetPixel(4, 4, clBlue);
    bmp->SaveToFile(name);
    TOwned<TBitmap> back(New<TBitmap>());
    back->LoadFromFile(name);
    EXPECT_EQ(Pixel(back.get(), 4, 4), RGB(0, 0, 255));
    EXPECT_THROW(back->LoadFromFile(name + ".missing"), EFOpenError);
}
