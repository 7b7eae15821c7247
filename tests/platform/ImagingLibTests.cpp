#include "ImagingTestFiles.h"
#include "TestSupport.h"

#include "platform/ImagingLib.h"

#include <objbase.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace {

int ChannelDistance(COLORREF a, COLORREF b)
{
    int d = std::abs(int(GetRValue(a)) - int(GetRValue(b)));
    d = std::max(d, std::abs(int(GetGValue(a)) - int(GetGValue(b))));
    return std::max(d, std::abs(int(GetBValue(a)) - int(GetBValue(b))));
}

void ExpectPattern(const TILBitmapHandle& bitmap, int32_t width, int32_t height, int tolerance = 0)
{
    ASSERT_EQ(width, bitmap.Width);
    ASSERT_EQ(height, bitmap.Height);
    int worst = 0;
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
            worst = std::max(worst, ChannelDistance(PatternColour(x, y), PixelAt(bitmap, x, y)));
    EXPECT_LE(worst, tolerance);
}

// A smooth picture: JPEG keeps it within a few levels.
TILBitmapHandle MakeSmoothBitmap(int32_t width, int32_t height)
{
    TILBitmapHandle bitmap;
    EXPECT_EQ(IL_SUCCESS, IL_CreateBitmap(&bitmap, IL_MEMORY_OWNED, width, height, 24, 1, nullptr, IL_TOP_DOWN, nullptr, 0));
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
            SetPixelAt(bitmap, x, y, RGB(x * 255 / width, y * 255 / height, 128));
    return bitmap;
}

int32_t __stdcall GrowBuffer(uint32_t sizeWanted, void** address, uint32_t* size, void* data)
{
    auto* buffer = static_cast<TBytes*>(data);
    buffer->resize(sizeWanted);
    *address = buffer->data();
    *size = sizeWanted;
    return 1;
}

int32_t __stdcall RefuseBuffer(uint32_t, void** address, uint32_t* size, void*)
{
    *address = nullptr;
    *size = 0;
    return 0;
}

// Hands out a buffer full of junk and counts how often it is asked.
struct TCountedBuffer {
    TBytes Bytes;
    int Calls = 0;
    uint32_t LastWanted = 0;
};

int32_t __stdcall CountedBuffer(uint32_t sizeWanted, void** address, uint32_t* size, void* data)
{
    auto* counted = static_cast<TCountedBuffer*>(data);
    ++counted->Calls;
    counted->LastWanted = sizeWanted;
    counted->Bytes.assign(sizeWanted, 0xCD);
    *address = counted->Bytes.data();
    *size = sizeWanted;
    return 1;
}

} // namespace

// The offsets are those of the 32-bit product; a 64-bit build's pointers move them.
TEST(ImagingRecords, LayoutCallersReadByOffset)
{
#if defined(_WIN64)
    GTEST_SKIP() << "record offsets are the 32-bit build's";
#endif
    TILBitmapHandle bitmap;
    bitmap.Width = 7;
    bitmap.Height = 9;
    bitmap.BitsPerPixel = 24;
    bitmap.ViewPerspective = 2;
    bitmap.XResolution = 300;
    bitmap.YResolution = 150;
    const uint8_t* raw = reinterpret_cast<const uint8_t*>(&bitmap);
    int32_t v = 0;
    memcpy(&v, raw + 8, 4);
    EXPECT_EQ(7, v);
    memcpy(&v, raw + 12, 4);
    EXPECT_EQ(9, v);
    uint16_t bits = 0;
    memcpy(&bits, raw + 16, 2);
    EXPECT_EQ(24, bits);
    memcpy(&v, raw + 44, 4);
    EXPECT_EQ(2, v);
    memcpy(&v, raw + 68, 4);
    EXPECT_EQ(300, v);
    memcpy(&v, raw + 72, 4);
    EXPECT_EQ(150, v);
    TILThumbOptions options;
    const int32_t* fields = reinterpret_cast<const int32_t*>(&options);
    EXPECT_EQ(24, fields[2]);
    EXPECT_EQ(6, fields[3]);
}

TEST(ImagingSave, RoundTripsThroughEverySaverKeepPixelsSizeAndResolution)
{
    TOwnedBitmap pattern;
    pattern.Bitmap = MakePatternBitmap(37, 23);
    pattern->XResolution = 300;
    pattern->YResolution = 150;
    for (int32_t format : {IL_FILE_BMP, IL_FILE_PNG}) {
        SCOPED_TRACE(format);
        std::string path = TestTempFile("roundtrip" + std::to_string(format));
        ASSERT_EQ(IL_SUCCESS, IL_SaveBitmap(path.c_str(), &pattern, format, 24, 0, 0));
        TILFileInfo info;
        ASSERT_EQ(IL_SUCCESS, IL_FileInfo(path.c_str(), &info, sizeof(info), 0));
        EXPECT_EQ(format, info.Format);
        EXPECT_EQ(37, info.Width);
        EXPECT_EQ(23, info.Height);
        EXPECT_EQ(24, info.BitsPerPixel);
        TOwnedBitmap loaded;
        ASSERT_EQ(IL_SUCCESS, IL_LoadFile(path.c_str(), &loaded, info.BitsPerPixel, 1, 3, nullptr, nullptr, nullptr, &info));
        ExpectPattern(loaded.Bitmap, 37, 23);
        EXPECT_EQ(24, loaded->BitsPerPixel);
        EXPECT_EQ(300, loaded->XResolution);
        EXPECT_EQ(150, loaded->YResolution);
    }
    TOwnedBitmap smooth;
    smooth.Bitmap = MakeSmoothBitmap(64, 48);
    smooth->XResolution = smooth->YResolution = 200;
    std::string path = TestTempFile("roundtrip.jpg");
    ASSERT_EQ(IL_SUCCESS, IL_SaveBitmap(path.c_str(), &smooth, IL_FILE_JFIF, 24, 8, 0));
    TOwnedBitmap loaded;
    ASSERT_EQ(IL_SUCCESS, IL_LoadFile(path.c_str(), &loaded, 24, 1, 3, nullptr, nullptr, nullptr, nullptr));
    ASSERT_EQ(64, loaded->Width);
    ASSERT_EQ(48, loaded->Height);
    int worst = 0;
    for (int32_t y = 0; y < 48; ++y)
        for (int32_t x = 0; x < 64; ++x)
            worst = std::max(worst, ChannelDistance(PixelAt(smooth.Bitmap, x, y), PixelAt(loaded.Bitmap, x, y)));
    EXPECT_LE(worst, 12);
    EXPECT_EQ(200, loaded->XResolution);
    EXPECT_EQ(200, loaded->YResolution);
}

TEST(ImagingSave, BottomUpBitmapsSaveTheDisplayedPicture)
{
    TOwnedBitmap bitmap;
    bitmap.Bitmap = MakePatternBitmap(5, 3, IL_BOTTOM_UP);
    for (int32_t format : {IL_FILE_BMP, IL_FILE_PNG}) {
        std::string path = TestTempFile("bottomup" + std::to_string(format));
        ASSERT_EQ(IL_SUCCESS, IL_SaveBitmap(path.c_str(), &bitmap, format, 24, 0, 0));
        TOwnedBitmap loaded;
        ASSERT_EQ(IL_SUCCESS, IL_LoadFile(path.c_str(), &loaded, 24, 1, 3, nullptr, nullptr, nullptr, nullptr));
        EXPECT_EQ(IL_TOP_DOWN, loaded->ViewPerspective);
        ExpectPattern(loaded.Bitmap, 5, 3);
    }
}

TEST(ImagingSave, ResolutionUnknownStaysUnknown)
{
    TOwnedBitmap bitmap;
    bitmap.Bitmap = MakePatternBitmap(8, 8);
    for (int32_t format : {IL_FILE_BMP, IL_FILE_PNG, IL_FILE_JFIF}) {
        SCOPED_TRACE(format);
        TBytes buffer;
        uint32_t size = 0;
        ASSERT_EQ(IL_SUCCESS, IL_SaveBitmapBuffer(nullptr, 1, &size, &bitmap, format, 24, 8, GrowBuffer, &buffer, 0));
        TILFileInfo info;
        ASSERT_EQ(IL_SUCCESS, IL_FileInfoMemory(buffer.data(), &info, size, sizeof(info), 0));
        EXPECT_EQ(0, info.XResolution);
        EXPECT_EQ(0, info.YResolution);
    }
}

TEST(ImagingSave, BufferSaveUsesTheCallbackAndReportsItsFailure)
{
    TOwnedBitmap bitmap;
    bitmap.Bitmap = MakePatternBitmap(9, 4);
    bitmap->XResolution = bitmap->YResolution = 96;
    TBytes buffer;
    uint32_t size = 0;
    ASSERT_EQ(IL_SUCCESS, IL_SaveBitmapBuffer(nullptr, 1, &size, &bitmap, IL_FILE_BMP, 24, 0, GrowBuffer, &buffer, 0));
    ASSERT_EQ(54u + 28u * 4u, size);
    EXPECT_EQ('B', buffer[0]);
    TOwnedBitmap loaded;
    ASSERT_EQ(IL_SUCCESS, IL_LoadBitmapMemory(buffer.data(), &loaded, 24, 1, size, nullptr, nullptr));
    ExpectPattern(loaded.Bitmap, 9, 4);
    EXPECT_EQ(96, loaded->XResolution);

    uint32_t refusedSize = 0;
    EXPECT_LT(IL_SaveBitmapBuffer(nullptr, 1, &refusedSize, &bitmap, IL_FILE_BMP, 24, 0, RefuseBuffer, nullptr, 0), 0);
    EXPECT_EQ(0u, refusedSize);

    TILBitmapHandle empty;
    EXPECT_EQ(IL_ERROR_NO_BITMAP, IL_SaveBitmapBuffer(nullptr, 1, &size, &empty, IL_FILE_BMP, 24, 0, GrowBuffer, &buffer, 0));
    EXPECT_EQ(IL_ERROR_FEATURE_NOT_SUPPORTED, IL_SaveBitmapBuffer(nullptr, 1, &size, &bitmap, IL_FILE_GIF, 24, 0, GrowBuffer, &buffer, 0));
}

// An embedded picture is written at its own depth and reads back as it was: up to 8 bits as the
// grey levels the library shows them as, 32 bits with the fourth byte of every pixel.
TEST(ImagingSave, BmpBuffersKeepTheBitmapsOwnDepthAndReadBackExactly)
{
    constexpr int32_t Width = 13, Height = 5;
    for (int32_t bits : {1, 4, 8, 24, 32}) {
        for (int32_t perspective : {IL_TOP_DOWN, IL_BOTTOM_UP}) {
            SCOPED_TRACE(std::to_string(bits) + " bits, perspective " + std::to_string(perspective));
            const uint32_t stride = ((uint32_t(Width) * uint32_t(bits) + 31) / 32) * 4;
            TBytes pixels(size_t(stride) * Height);
            for (size_t i = 0; i < pixels.size(); ++i)
                pixels[i] = uint8_t(i * 37 + 11);
            TILBitmapHandle bitmap;
            ASSERT_EQ(IL_SUCCESS, IL_CreateBitmap(&bitmap, IL_MEMORY_USER, Width, Height, bits, 1, nullptr, perspective,
                                                  pixels.data(), uint32_t(pixels.size())));
            TBytes buffer;
            uint32_t size = 0;
            ASSERT_EQ(IL_SUCCESS,
                      IL_SaveBitmapBuffer(nullptr, 1, &size, &bitmap, IL_FILE_BMP, bits, 0, GrowBuffer, &buffer, 0));
            const uint32_t palette = bits <= 8 ? 4u << bits : 0;
            EXPECT_EQ(54 + palette + stride * Height, size);
            EXPECT_EQ(bits, buffer[28] | buffer[29] << 8);

            TILFileInfo info;
            ASSERT_EQ(IL_SUCCESS, IL_FileInfoMemory(buffer.data(), &info, size, sizeof(info), 0));
            EXPECT_EQ(bits, info.FileBitsPerPixel);
            TOwnedBitmap loaded;
            ASSERT_EQ(IL_SUCCESS, IL_LoadBitmapMemory(buffer.data(), &loaded, info.BitsPerPixel, 1, size, nullptr, nullptr));
            ASSERT_EQ(Width, loaded->Width);
            ASSERT_EQ(Height, loaded->Height);
            ASSERT_EQ(bits == 32 ? 32 : 24, loaded->BitsPerPixel);
            auto row = [](const TILBitmapHandle& b, int32_t y) {
                return b.Pixels + size_t(b.ViewPerspective == IL_BOTTOM_UP ? b.Height - 1 - y : y) * size_t(b.BytesPerLine);
            };
            int wrong = 0;
            for (int32_t y = 0; y < Height; ++y) {
                const uint8_t* in = row(bitmap, y);
                const uint8_t* out = row(loaded.Bitmap, y);
                for (int32_t x = 0; x < Width; ++x) {
                    if (bits >= 24) {
                        const size_t n = size_t(bits / 8);
                        wrong += std::memcmp(in + x * n, out + x * n, n) != 0;
                        continue;
                    }
                    const int32_t bit = x * bits;
                    const int32_t index = (in[bit >> 3] >> (8 - bits - (bit & 7))) & ((1 << bits) - 1);
                    const uint8_t grey = uint8_t(index * 255 / ((1 << bits) - 1));
                    wrong += out[3 * x] != grey || out[3 * x + 1] != grey || out[3 * x + 2] != grey;
                }
            }
            EXPECT_EQ(0, wrong);
        }
    }
}

TEST(ImagingSave, BmpIsWrittenOnceIntoTheCallersBuffer)
{
    TOwnedBitmap bitmap;
    bitmap.Bitmap = MakePatternBitmap(5, 3);
    const uint32_t expected = 54u + 16u * 3u;

    TCountedBuffer counted;
    uint32_t size = 0;
    ASSERT_EQ(IL_SUCCESS, IL_SaveBitmapBuffer(nullptr, 1, &size, &bitmap, IL_FILE_BMP, 24, 0, CountedBuffer, &counted, 0));
    EXPECT_EQ(1, counted.Calls);
    EXPECT_EQ(expected, counted.LastWanted);
    ASSERT_EQ(expected, size);
    // Row padding is written, not left as the buffer's junk.
    for (uint32_t row = 0; row < 3; ++row)
        EXPECT_EQ(0, counted.Bytes[54 + row * 16 + 15]);

    TBytes roomy(expected + 10, 0xCD);
    uint32_t roomySize = uint32_t(roomy.size());
    TCountedBuffer unused;
    ASSERT_EQ(IL_SUCCESS, IL_SaveBitmapBuffer(roomy.data(), 1, &roomySize, &bitmap, IL_FILE_BMP, 24, 0, CountedBuffer, &unused, 0));
    EXPECT_EQ(0, unused.Calls);
    EXPECT_EQ(expected, roomySize);
    EXPECT_TRUE(std::equal(counted.Bytes.begin(), counted.Bytes.end(), roomy.begin()));

    TBytes tight(expected - 1);
    uint32_t tightSize = uint32_t(tight.size());
    EXPECT_EQ(IL_ERROR_NO_MEMORY, IL_SaveBitmapBuffer(tight.data(), 1, &tightSize, &bitmap, IL_FILE_BMP, 24, 0, nullptr, nullptr, 0));
}

TEST(ImagingLoad, Plain24BitBmpLoadsAt32BitsOpaque)
{
    for (bool topDown : {false, true}) {
        SCOPED_TRACE(topDown);
        TBmpOptions options;
        options.Bits = 24;
        options.TopDown = topDown;
        TBytes file = BuildBmp(13, 7, options);
        TOwnedBitmap bitmap;
        ASSERT_EQ(IL_SUCCESS, IL_LoadBitmapMemory(file.data(), &bitmap, 32, 1, uint32_t(file.size()), nullptr, nullptr));
        ASSERT_EQ(32, bitmap->BitsPerPixel);
        int worst = 0;
        for (int32_t y = 0; y < 7; ++y)
            for (int32_t x = 0; x < 13; ++x) {
                worst = std::max(worst, ChannelDistance(BmpColour(x, y, 24), PixelAt(bitmap.Bitmap, x, y)));
                EXPECT_EQ(255, bitmap->Pixels[size_t(y) * bitmap->BytesPerLine + size_t(x) * 4 + 3]);
            }
        EXPECT_EQ(0, worst);
        // A file cut short inside its rows is refused before anything is read.
        EXPECT_NE(IL_SUCCESS, IL_LoadBitmapMemory(file.data(), &bitmap, 24, 1, uint32_t(file.size() - 1), nullptr, nullptr));
    }
}

TEST(ImagingSave, JpegQualityFactorTradesSizeForFidelity)
{
    TOwnedBitmap bitmap;
    bitmap.Bitmap = MakePatternBitmap(64, 64);
    uint32_t sizes[3] = {};
    int32_t factors[3] = {2, 8, 120};
    for (int i = 0; i < 3; ++i) {
        TBytes buffer;
        ASSERT_EQ(IL_SUCCESS, IL_SaveBitmapBuffer(nullptr, 1, &sizes[i], &bitmap, IL_FILE_JFIF, 24, factors[i], GrowBuffer, &buffer, 0));
    }
    // Wine's encoder ignores the quality it is given; Windows' follows it.
    EXPECT_GE(sizes[0], sizes[1]);
    EXPECT_GE(sizes[1], sizes[2]);
}

TEST(ImagingLoad, BmpOfEveryDepthAndRowOrderLoads)
{
    struct TCase {
        int32_t Bits;
        bool TopDown;
        bool BitFields;
    } cases[] = {{1, false, false}, {4, false, false}, {8, false, false}, {24, false, false}, {32, false, false},
                 {24, true, false},  {8, true, false},  {16, false, true}, {32, false, true}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Bits << " bits, top-down " << c.TopDown << ", bitfields " << c.BitFields);
        TBmpOptions options;
        options.Bits = c.Bits;
        options.TopDown = c.TopDown;
        options.BitFields = c.BitFields;
        options.PixelsPerMetre = 11811;
        TBytes file = BuildBmp(13, 7, options);
        TILFileInfo info;
        ASSERT_EQ(IL_SUCCESS, IL_FileInfoMemory(file.data(), &info, uint32_t(file.size()), sizeof(info), 0));
        EXPECT_EQ(IL_FILE_BMP, info.Format);
        EXPECT_EQ(c.Bits, info.FileBitsPerPixel);
        TOwnedBitmap bitmap;
        ASSERT_EQ(IL_SUCCESS, IL_LoadBitmapMemory(file.data(), &bitmap, info.BitsPerPixel, 1, uint32_t(file.size()), nullptr, &info));
        ASSERT_EQ(13, bitmap->Width);
        ASSERT_EQ(7, bitmap->Height);
        EXPECT_EQ(300, bitmap->XResolution);
        EXPECT_EQ(300, bitmap->YResolution);
        int worst = 0;
        for (int32_t y = 0; y < 7; ++y)
            for (int32_t x = 0; x < 13; ++x)
                worst = std::max(worst, ChannelDistance(BmpColour(x, y, c.Bits), PixelAt(bitmap.Bitmap, x, y)));
        EXPECT_LE(worst, c.Bits == 16 ? 8 : 0);
    }
}

TEST(ImagingLoad, MissingFileAndBadNames)
{
    TILBitmapHandle bitmap;
    TILFileInfo info;
    std::string missing = TestTempFile("no-such-picture.png");
    EXPECT_EQ(IL_ERROR_FILENOTFOUND, IL_FileInfo(missing.c_str(), &info, sizeof(info), 0));
    EXPECT_EQ(IL_ERROR_FILENOTFOUND, IL_LoadFile(missing.c_str(), &bitmap, 24, 1, 3, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(IL_ERROR_INV_FILENAME, IL_LoadFile("", &bitmap, 24, 1, 3, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(nullptr, bitmap.Pixels);
    std::string text = TestTempFile("not-a-picture.png");
    WriteFileBytes(text, TBytes{'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd'});
    EXPECT_EQ(IL_ERROR_FILE_FORMAT, IL_FileInfo(text.c_str(), &info, sizeof(info), 0));
    EXPECT_EQ(IL_ERROR_FILE_FORMAT, IL_LoadFile(text.c_str(), &bitmap, 24, 1, 3, nullptr, nullptr, nullptr, nullptr));
}

TEST(ImagingLoad, NamesAreWidenedWithTheSystemCodePage)
{
    TOwnedBitmap bitmap;
    bitmap.Bitmap = MakePatternBitmap(3, 3);
    // "café" in the system code page when it has the letter and the file system takes it (Wine
    // needs a host locale that can spell it); a plain name otherwise.
    std::string name = "caf";
    char accented = char(0xE9);
    wchar_t wide = 0;
    if (MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, &accented, 1, &wide, 1) == 1 && wide == 0xE9) {
        std::wstring probe(MAX_PATH, L'\0');
        std::string probeName = TestTempFile("probe") + accented;
        probe.resize(size_t(MultiByteToWideChar(CP_ACP, 0, probeName.c_str(), -1, probe.data(), MAX_PATH) - 1));
        HANDLE file = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
            name += accented;
        }
    }
    std::string path = TestTempFile(name + ".bmp");
    ASSERT_EQ(IL_SUCCESS, IL_SaveBitmap(path.c_str(), &bitmap, IL_FILE_BMP, 24, 0, 0));
    std::wstring widePath(MAX_PATH, L'\0');
    widePath.resize(size_t(MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, widePath.data(), MAX_PATH) - 1));
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(widePath.c_str()));
    TOwnedBitmap loaded;
    EXPECT_EQ(IL_SUCCESS, IL_LoadFile(path.c_str(), &loaded, 24, 1, 3, nullptr, nullptr, nullptr, nullptr));
}

TEST(ImagingLoad, TransparentPngPixelsLieOverWhiteUnlessThirtyTwoBitsAreAsked)
{
    // Opaque red, transparent black, half-covering blue.
    TBytes png = BuildRgbaPng({{255, 0, 0, 255}, {0, 0, 0, 0}, {0, 0, 255, 128}});
    TOwnedBitmap flat;
    ASSERT_EQ(IL_SUCCESS, IL_LoadBitmapMemory(png.data(), &flat, 24, 1, uint32_t(png.size()), nullptr, nullptr));
    EXPECT_EQ(24, flat->BitsPerPixel);
    EXPECT_EQ(RGB(255, 0, 0), PixelAt(flat.Bitmap, 0, 0));
    EXPECT_EQ(RGB(255, 255, 255), PixelAt(flat.Bitmap, 1, 0));
    EXPECT_LE(ChannelDistance(RGB(127, 127, 255), PixelAt(flat.Bitmap, 2, 0)), 1);
    TOwnedBitmap full;
    ASSERT_EQ(IL_SUCCESS, IL_LoadBitmapMemory(png.data(), &full, 32, 1, uint32_t(png.size()), nullptr, nullptr));
    EXPECT_EQ(32, full->BitsPerPixel);
    EXPECT_EQ(255, full->Pixels[3]);
    EXPECT_EQ(0, full->Pixels[7]);
    EXPECT_EQ(128, full->Pixels[11]);
}

TEST(ImagingThumbnail, FitsThePictureIntoTheBoxOnTheBackground)
{
    TOwnedBitmap picture;
    ASSERT_EQ(IL_SUCCESS, IL_CreateBitmap(&picture, IL_MEMORY_OWNED, 200, 100, 24, 1, nullptr, IL_TOP_DOWN, nullptr, 0));
    for (int32_t y = 0; y < 100; ++y)
        for (int32_t x = 0; x < 200; ++x)
            SetPixelAt(picture.Bitmap, x, y, x < 100 ? RGB(255, 0, 0) : RGB(0, 0, 255));
    picture->XResolution = picture->YResolution = 72;
    std::string path = TestTempFile("thumb.png");
    ASSERT_EQ(IL_SUCCESS, IL_SaveBitmap(path.c_str(), &picture, IL_FILE_PNG, 24, 0, 0));

    TILThumbOptions options;
    options.Width = 50;
    options.Height = 50;
    options.BackColor = RGB(0, 255, 0);
    TOwnedBitmap thumb;
    TILFileInfo info;
    ASSERT_EQ(IL_SUCCESS, IL_CreateThumbnailFromFile(path.c_str(), &thumb, &options, nullptr, nullptr, nullptr, &info));
    EXPECT_EQ(200, info.Width);
    ASSERT_EQ(50, thumb->Width);
    ASSERT_EQ(50, thumb->Height);
    EXPECT_EQ(24, thumb->BitsPerPixel);
    EXPECT_EQ(RGB(0, 255, 0), PixelAt(thumb.Bitmap, 25, 5));   // above the picture
    EXPECT_EQ(RGB(255, 0, 0), PixelAt(thumb.Bitmap, 5, 25));
    EXPECT_EQ(RGB(0, 0, 255), PixelAt(thumb.Bitmap, 45, 25));
    EXPECT_EQ(RGB(0, 255, 0), PixelAt(thumb.Bitmap, 25, 45));  // below it

    // A picture smaller than the box keeps its size, centred; a system colour fills around it.
    TOwnedBitmap small;
    options.Width = 400;
    options.Height = 300;
    options.BackColor = 0x80000000u | COLOR_WINDOW;
    ASSERT_EQ(IL_SUCCESS, IL_CreateThumbnailFromFile(path.c_str(), &small, &options, nullptr, nullptr, nullptr, nullptr));
    ASSERT_EQ(400, small->Width);
    COLORREF window = GetSysColor(COLOR_WINDOW);
    EXPECT_EQ(window, PixelAt(small.Bitmap, 99, 100));
    EXPECT_EQ(RGB(255, 0, 0), PixelAt(small.Bitmap, 100, 100));
    EXPECT_EQ(RGB(0, 0, 255), PixelAt(small.Bitmap, 299, 199));
    EXPECT_EQ(window, PixelAt(small.Bitmap, 300, 199));

    TOwnedBitmap none;
    EXPECT_EQ(IL_ERROR_FILENOTFOUND, IL_CreateThumbnailFromFile(TestTempFile("gone.png").c_str(), &none, &options, nullptr,
                                                                nullptr, nullptr, nullptr));
    EXPECT_EQ(nullptr, none->Pixels);
}

TEST(ImagingGeometry, QuarterTurnsMapEveryPixelOnOddSizes)
{
    for (int32_t perspective : {IL_TOP_DOWN, IL_BOTTOM_UP})
        for (auto size : {std::pair{3, 2}, std::pair{5, 3}}) {
            SCOPED_TRACE(testing::Message() << size.first << "x" << size.second << " perspective " << perspective);
            const int32_t w = size.first, h = size.second;
            TOwnedBitmap right, left, half;
            right.Bitmap = MakePatternBitmap(w, h, perspective);
            left.Bitmap = MakePatternBitmap(w, h, perspective);
            half.Bitmap = MakePatternBitmap(w, h, perspective);
            right->XResolution = 100;
            right->YResolution = 200;
            ASSERT_EQ(IL_SUCCESS, IL_RotateBitmap(&right, 9000, 1, 0));
            ASSERT_EQ(IL_SUCCESS, IL_RotateBitmap(&left, -9000, 1, 0));
            ASSERT_EQ(IL_SUCCESS, IL_RotateBitmap(&half, 18000, 1, 0));
            ASSERT_EQ(h, right->Width);
            ASSERT_EQ(w, right->Height);
            EXPECT_EQ(perspective, right->ViewPerspective);
            EXPECT_EQ(200, right->XResolution);
            EXPECT_EQ(100, right->YResolution);
            for (int32_t y = 0; y < h; ++y)
                for (int32_t x = 0; x < w; ++x) {
                    EXPECT_EQ(PatternColour(x, y), PixelAt(right.Bitmap, h - 1 - y, x));
                    EXPECT_EQ(PatternColour(x, y), PixelAt(left.Bitmap, y, w - 1 - x));
                    EXPECT_EQ(PatternColour(x, y), PixelAt(half.Bitmap, w - 1 - x, h - 1 - y));
                }
        }
}

TEST(ImagingGeometry, TurnsUndoEachOther)
{
    TOwnedBitmap bitmap;
    bitmap.Bitmap = MakePatternBitmap(5, 3);
    ASSERT_EQ(IL_SUCCESS, IL_RotateBitmap(&bitmap, -9000, 1, 0));
    ASSERT_EQ(IL_SUCCESS, IL_RotateBitmap(&bitmap, 9000, 1, 0));
    ExpectPattern(bitmap.Bitmap, 5, 3);
    for (int i = 0; i < 4; ++i)
        ASSERT_EQ(IL_SUCCESS, IL_RotateBitmap(&bitmap, -9000, 1, 0));
    ExpectPattern(bitmap.Bitmap, 5, 3);
    ASSERT_EQ(IL_SUCCESS, IL_RotateBitmap(&bitmap, 36000, 1, 0));
    ExpectPattern(bitmap.Bitmap, 5, 3);
    EXPECT_EQ(IL_ERROR_INV_PARAMETER, IL_RotateBitmap(&bitmap, 4500, 1, 0));
    TILBitmapHandle empty;
    EXPECT_EQ(IL_ERROR_NO_BITMAP, IL_RotateBitmap(&empty, 9000, 1, 0));
}

TEST(ImagingGeometry, PerspectiveChangeKeepsThePicture)
{
    TOwnedBitmap bitmap;
    bitmap.Bitmap = MakePatternBitmap(5, 3);
    const uint8_t firstStored = bitmap->Pixels[0];
    ASSERT_EQ(IL_SUCCESS, IL_ChangeBitmapViewPerspective(nullptr, &bitmap, IL_BOTTOM_UP));
    EXPECT_EQ(IL_BOTTOM_UP, bitmap->ViewPerspective);
    ExpectPattern(bitmap.Bitmap, 5, 3);
    EXPECT_EQ(GetBValue(PatternColour(0, 2)), bitmap->Pixels[0]); // the bottom row is stored first now
    EXPECT_NE(firstStored, bitmap->Pixels[0]);
    ASSERT_EQ(IL_SUCCESS, IL_ChangeBitmapViewPerspective(nullptr, &bitmap, IL_BOTTOM_UP));
    ExpectPattern(bitmap.Bitmap, 5, 3);

    TOwnedBitmap copy;
    ASSERT_EQ(IL_SUCCESS, IL_ChangeBitmapViewPerspective(&copy, &bitmap, IL_TOP_DOWN));
    EXPECT_EQ(IL_TOP_DOWN, copy->ViewPerspective);
    ExpectPattern(copy.Bitmap, 5, 3);
    EXPECT_EQ(IL_ERROR_INV_PARAMETER, IL_ChangeBitmapViewPerspective(nullptr, &bitmap, 1));
}

TEST(ImagingGeometry, RectToBitmapFlipsRowsForBottomUpBitmaps)
{
    TILBitmapHandle bitmap;
    bitmap.Height = 100;
    bitmap.ViewPerspective = IL_BOTTOM_UP;
    RECT rect = {10, 20, 30, 45};
    ASSERT_EQ(IL_SUCCESS, IL_RectToBitmap(&bitmap, IL_TOP_DOWN, &rect));
    EXPECT_EQ(10, rect.left);
    EXPECT_EQ(55, rect.top);
    EXPECT_EQ(30, rect.right);
    EXPECT_EQ(80, rect.bottom);
    bitmap.ViewPerspective = IL_TOP_DOWN;
    RECT same = {10, 20, 30, 45};
    ASSERT_EQ(IL_SUCCESS, IL_RectToBitmap(&bitmap, IL_TOP_DOWN, &same));
    EXPECT_EQ(20, same.top);
    EXPECT_EQ(45, same.bottom);
}

TEST(ImagingMemory, CallerOwnedPixelsAndDataCopies)
{
    // A bottom-up 24-bit DIB of the caller's, 5x3: rows of 16 bytes.
    std::vector<uint8_t> pixels(16 * 3, 0);
    TILBitmapHandle user;
    EXPECT_EQ(IL_ERROR_INV_PARAMETER, IL_CreateBitmap(&user, IL_MEMORY_USER, 5, 3, 24, 1, nullptr, IL_BOTTOM_UP, pixels.data(), 47));
    ASSERT_EQ(IL_SUCCESS, IL_CreateBitmap(&user, IL_MEMORY_USER, 5, 3, 24, 1, nullptr, IL_BOTTOM_UP, pixels.data(), 48));
    EXPECT_EQ(pixels.data(), user.Pixels);
    EXPECT_EQ(16, user.BytesPerLine);
    // A top-down DIB arrives with its negative height.
    TILBitmapHandle topDown;
    ASSERT_EQ(IL_SUCCESS, IL_CreateBitmap(&topDown, IL_MEMORY_USER, 5, -3, 24, 1, nullptr, IL_TOP_DOWN, pixels.data(), 48));
    EXPECT_EQ(3, topDown.Height);

    TOwnedBitmap source;
    source.Bitmap = MakePatternBitmap(5, 3);
    ASSERT_EQ(IL_SUCCESS, IL_CopyBitmapData(&user, &source));
    ExpectPattern(user, 5, 3);
    EXPECT_EQ(GetBValue(PatternColour(0, 2)), pixels[0]);
    EXPECT_EQ(IL_SUCCESS, IL_RotateBitmap(&user, 18000, 1, 0));
    EXPECT_EQ(IL_ERROR_INV_PARAMETER, IL_RotateBitmap(&user, 9000, 1, 0));

    TOwnedBitmap other;
    other.Bitmap = MakePatternBitmap(4, 3);
    EXPECT_EQ(IL_ERROR_INV_PARAMETER, IL_CopyBitmapData(&user, &other));
    TILBitmapHandle empty;
    EXPECT_EQ(IL_ERROR_NO_BITMAP, IL_CopyBitmapData(&empty, &source));

    // Freeing a caller-owned record leaves the caller's pixels alone.
    EXPECT_EQ(IL_SUCCESS, IL_FreeBitmap(&user));
    EXPECT_EQ(nullptr, user.Pixels);
    pixels[0] = 7;
    EXPECT_EQ(IL_ERROR_INV_PARAMETER, IL_CreateBitmap(&user, IL_MEMORY_OWNED, 0, 3, 24, 1, nullptr, 0, nullptr, 0));
    EXPECT_EQ(IL_ERROR_INV_PARAMETER, IL_CreateBitmap(&user, IL_MEMORY_OWNED, 1 << 16, 1 << 16, 24, 1, nullptr, 0, nullptr, 0));
}

TEST(ImagingMemory, ImageDCDrawsOnThePixels)
{
    for (int32_t perspective : {IL_TOP_DOWN, IL_BOTTOM_UP}) {
        TOwnedBitmap bitmap;
        ASSERT_EQ(IL_SUCCESS, IL_CreateBitmap(&bitmap, IL_MEMORY_OWNED, 20, 10, 24, 1, nullptr, perspective, nullptr, 0));
        HDC dc = IL_CreateImageDC(&bitmap);
        ASSERT_NE(nullptr, dc);
        RECT whole = {0, 0, 20, 10}, corner = {0, 0, 4, 2};
        FillRect(dc, &whole, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
        FillRect(dc, &corner, red);
        DeleteObject(red);
        ASSERT_EQ(IL_SUCCESS, IL_DeleteImageDC(dc));
        EXPECT_EQ(RGB(255, 0, 0), PixelAt(bitmap.Bitmap, 0, 0));
        EXPECT_EQ(RGB(255, 255, 255), PixelAt(bitmap.Bitmap, 4, 2));
        EXPECT_EQ(RGB(255, 255, 255), PixelAt(bitmap.Bitmap, 19, 9));
        // After a perspective change the DC draws on a copy and puts it back.
        ASSERT_EQ(IL_SUCCESS, IL_ChangeBitmapViewPerspective(nullptr, &bitmap, perspective == IL_TOP_DOWN ? IL_BOTTOM_UP : IL_TOP_DOWN));
        dc = IL_CreateImageDC(&bitmap);
        ASSERT_NE(nullptr, dc);
        RECT last = {19, 9, 20, 10};
        FillRect(dc, &last, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        ASSERT_EQ(IL_SUCCESS, IL_DeleteImageDC(dc));
        EXPECT_EQ(RGB(0, 0, 0), PixelAt(bitmap.Bitmap, 19, 9));
        EXPECT_EQ(RGB(255, 0, 0), PixelAt(bitmap.Bitmap, 0, 0));
    }
    EXPECT_EQ(IL_ERROR_INV_PARAMETER, IL_DeleteImageDC(nullptr));
}

TEST(ImagingPaint, CornersLandInPlaceForBothPerspectives)
{
    for (int32_t perspective : {IL_TOP_DOWN, IL_BOTTOM_UP}) {
        SCOPED_TRACE(perspective);
        TOwnedBitmap bitmap;
        bitmap.Bitmap = MakePatternBitmap(6, 4, perspective);
        TTestSurface target(12, 8, 0);
        RECT destination = {0, 0, 12, 8};
        ASSERT_EQ(IL_SUCCESS, IL_PaintDC(target.DC(), &bitmap, nullptr, nullptr, &destination, nullptr, SRCCOPY));
        EXPECT_EQ(PatternColour(0, 0), target.Color(0, 0));
        EXPECT_EQ(PatternColour(5, 0), target.Color(11, 0));
        EXPECT_EQ(PatternColour(0, 3), target.Color(0, 7));
        EXPECT_EQ(PatternColour(5, 3), target.Color(11, 7));

        // A part of the picture, given in display terms and turned into bitmap terms as callers do.
        RECT part = {1, 1, 3, 3};
        if (bitmap->ViewPerspective != IL_TOP_DOWN)
            IL_RectToBitmap(&bitmap, IL_TOP_DOWN, &part);
        RECT small = {0, 0, 2, 2};
        ASSERT_EQ(IL_SUCCESS, IL_PaintDC(target.DC(), &bitmap, &part, nullptr, &small, nullptr, SRCCOPY));
        EXPECT_EQ(PatternColour(1, 1), target.Color(0, 0));
        EXPECT_EQ(PatternColour(2, 1), target.Color(1, 0));
        EXPECT_EQ(PatternColour(1, 2), target.Color(0, 1));
        EXPECT_EQ(PatternColour(2, 2), target.Color(1, 1));

        TOwnedBitmap printed;
        printed.Bitmap = MakePatternBitmap(6, 4, perspective);
        ASSERT_EQ(IL_SUCCESS, IL_PrintBitmapFast(target.DC(), &printed, 2, 2, 6, 4, 0));
        EXPECT_EQ(PatternColour(0, 0), target.Color(2, 2));
        EXPECT_EQ(PatternColour(5, 3), target.Color(7, 5));
    }
    TILBitmapHandle empty;
    TTestSurface target(2, 2, 0);
    RECT destination = {0, 0, 2, 2};
    EXPECT_EQ(IL_ERROR_NO_BITMAP, IL_PaintDC(target.DC(), &empty, nullptr, nullptr, &destination, nullptr, SRCCOPY));
    EXPECT_EQ(nullptr, IL_CreatePaintPalette(target.DC(), &empty));
}

TEST(ImagingPaint, ReducedCopiesAverageAndFollowPixelChanges)
{
    for (int32_t perspective : {IL_TOP_DOWN, IL_BOTTOM_UP}) {
        SCOPED_TRACE(perspective);
        // Quadrants of four colours, and a fine black and white checker in the top-left one that an
        // area filter turns grey where nearest-neighbour would pick black or white.
        TOwnedBitmap bitmap;
        ASSERT_EQ(IL_SUCCESS, IL_CreateBitmap(&bitmap, IL_MEMORY_OWNED, 400, 300, 24, 1, nullptr, perspective, nullptr, 0));
        for (int32_t y = 0; y < 300; ++y)
            for (int32_t x = 0; x < 400; ++x) {
                COLORREF c = x < 200 ? (y < 150 ? (((x + y) & 1) ? RGB(255, 255, 255) : RGB(0, 0, 0)) : RGB(0, 0, 255))
                                     : (y < 150 ? RGB(255, 0, 0) : RGB(0, 255, 0));
                SetPixelAt(bitmap.Bitmap, x, y, c);
            }
        IL_BitmapChanged(&bitmap);
        TTestSurface target(100, 75, 0);
        RECT destination = {0, 0, 100, 75};
        ASSERT_EQ(IL_SUCCESS, IL_PaintDC(target.DC(), &bitmap, nullptr, nullptr, &destination, nullptr, SRCCOPY));
        EXPECT_LE(ChannelDistance(RGB(128, 128, 128), target.Color(10, 10)), 1);
        EXPECT_EQ(RGB(255, 0, 0), target.Color(99, 0));
        EXPECT_EQ(RGB(0, 0, 255), target.Color(0, 74));
        EXPECT_EQ(RGB(0, 255, 0), target.Color(99, 74));

        // Pixels changed by the library show at once.
        ASSERT_EQ(IL_SUCCESS, IL_RotateBitmap(&bitmap, 18000, 1, 0));
        ASSERT_EQ(IL_SUCCESS, IL_PaintDC(target.DC(), &bitmap, nullptr, nullptr, &destination, nullptr, SRCCOPY));
        EXPECT_EQ(RGB(0, 255, 0), target.Color(0, 0));
        EXPECT_EQ(RGB(255, 0, 0), target.Color(0, 74));

        // Pixels changed directly show after IL_BitmapChanged.
        for (int32_t y = 0; y < 300; ++y)
            for (int32_t x = 0; x < 400; ++x)
                SetPixelAt(bitmap.Bitmap, x, y, RGB(9, 9, 9));
        ASSERT_EQ(IL_SUCCESS, IL_BitmapChanged(&bitmap));
        ASSERT_EQ(IL_SUCCESS, IL_PaintDC(target.DC(), &bitmap, nullptr, nullptr, &destination, nullptr, SRCCOPY));
        EXPECT_EQ(RGB(9, 9, 9), target.Color(50, 40));

        // Pixels drawn through an image DC show after the DC is deleted.
        HDC imageDC = IL_CreateImageDC(&bitmap);
        ASSERT_NE(nullptr, imageDC);
        RECT all = {0, 0, 400, 300};
        FillRect(imageDC, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        ASSERT_EQ(IL_SUCCESS, IL_DeleteImageDC(imageDC));
        ASSERT_EQ(IL_SUCCESS, IL_PaintDC(target.DC(), &bitmap, nullptr, nullptr, &destination, nullptr, SRCCOPY));
        EXPECT_EQ(RGB(255, 255, 255), target.Color(50, 40));

        // A part of the picture, in bitmap terms.
        for (int32_t y = 0; y < 300; ++y)
            for (int32_t x = 0; x < 400; ++x)
                SetPixelAt(bitmap.Bitmap, x, y, y < 100 ? RGB(200, 0, 0) : RGB(0, 0, 200));
        IL_BitmapChanged(&bitmap);
        RECT part = {0, 50, 400, 150};
        if (bitmap->ViewPerspective != IL_TOP_DOWN)
            IL_RectToBitmap(&bitmap, IL_TOP_DOWN, &part);
        RECT strip = {0, 0, 40, 10};
        ASSERT_EQ(IL_SUCCESS, IL_PaintDC(target.DC(), &bitmap, &part, nullptr, &strip, nullptr, SRCCOPY));
        EXPECT_EQ(RGB(200, 0, 0), target.Color(20, 0));
        EXPECT_EQ(RGB(0, 0, 200), target.Color(20, 9));
    }
}

// A picture of 16 bits a sample, read and then shown smaller on the screen, looks as its export
// does: every pixel shown lies between the colours it stands for, with no grid of dark dots
// where neighbouring pixels are merged, by whichever road the shrinking takes.
TEST(ImagingPaint, SixteenBitTiffsShrinkWithoutDots)
{
    auto checker = [](int32_t x, int32_t y) { return ((x + y) & 1) ? RGB(200, 120, 40) : RGB(90, 100, 110); };
    for (bool grey : {false, true}) {
        SCOPED_TRACE(grey ? "grey" : "RGB");
        const TBytes file = BuildTiff16(300, 200, grey, checker);
        TOwnedBitmap bitmap;
        ASSERT_EQ(IL_SUCCESS, IL_LoadBitmapMemory(file.data(), &bitmap, 24, 1, int32_t(file.size()), nullptr, nullptr));
        const COLORREF a = grey ? RGB(200, 200, 200) : RGB(200, 120, 40);
        const COLORREF b = grey ? RGB(90, 90, 90) : RGB(90, 100, 110);
        ASSERT_EQ(a, PixelAt(bitmap.Bitmap, 1, 0));
        ASSERT_EQ(b, PixelAt(bitmap.Bitmap, 0, 0));
        auto between = [](int value, int x, int y) { return value >= std::min(x, y) - 1 && value <= std::max(x, y) + 1; };
        // Shrunk by a little (a plain stretch) and by more (the reduced copy).
        for (int32_t width : {250, 200, 150, 100, 30}) {
            const int32_t height = width * 2 / 3;
            TTestSurface target(width, height, 0);
            RECT destination = {0, 0, width, height};
            ASSERT_EQ(IL_SUCCESS, IL_PaintDC(target.DC(), &bitmap, nullptr, nullptr, &destination, nullptr, SRCCOPY));
            int stray = 0;
            for (int32_t y = 0; y < height; ++y)
                for (int32_t x = 0; x < width; ++x) {
                    const COLORREF c = target.Color(x, y);
                    stray += between(GetRValue(c), GetRValue(a), GetRValue(b)) && between(GetGValue(c), GetGValue(a), GetGValue(b)) &&
                                     between(GetBValue(c), GetBValue(a), GetBValue(b))
                                 ? 0
                                 : 1;
                }
            EXPECT_EQ(stray, 0) << width << " pixels wide";
        }
        // The device context is left as it was.
        TTestSurface target(250, 166, 0);
        RECT destination = {0, 0, 250, 166};
        SetStretchBltMode(target.DC(), BLACKONWHITE);
        ASSERT_EQ(IL_SUCCESS, IL_PaintDC(target.DC(), &bitmap, nullptr, nullptr, &destination, nullptr, SRCCOPY));
        EXPECT_EQ(BLACKONWHITE, GetStretchBltMode(target.DC()));
    }
}

TEST(ImagingClipboard, PastesADeviceIndependentBitmap)
{
    TOwnedBitmap source;
    source.Bitmap = MakePatternBitmap(7, 5);
    source->XResolution = source->YResolution = 150;
    TBytes file;
    uint32_t size = 0;
    ASSERT_EQ(IL_SUCCESS, IL_SaveBitmapBuffer(nullptr, 1, &size, &source, IL_FILE_BMP, 24, 0, GrowBuffer, &file, 0));
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, size - 14);
    memcpy(GlobalLock(memory), file.data() + 14, size - 14);
    GlobalUnlock(memory);
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    ASSERT_NE(nullptr, SetClipboardData(CF_DIB, memory));
    CloseClipboard();
    EXPECT_NE(0, IL_ClipboardReady());
    TOwnedBitmap pasted;
    ASSERT_EQ(IL_SUCCESS, IL_CopyFromClipboard(nullptr, &pasted));
    ExpectPattern(pasted.Bitmap, 7, 5);
    EXPECT_EQ(150, pasted->XResolution);

    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    CloseClipboard();
    EXPECT_EQ(0, IL_ClipboardReady());
    TOwnedBitmap none;
    EXPECT_EQ(IL_ERROR_CLIPBOARD, IL_CopyFromClipboard(nullptr, &none));
}

namespace {

struct TThreadArgs {
    TILBitmapHandle* Bitmap;
    const char* Path;
    int Apartment = -1; // the COM model the thread starts with, -1 for none
    int32_t SaveResult = 0;
    int32_t LoadResult = 0;
    int32_t AgainResult = 0;
    COLORREF Corner = 0;
    HRESULT ComAfterwards = E_FAIL;
};

DWORD WINAPI SaveAndLoadOnAThread(void* data)
{
    auto* a = static_cast<TThreadArgs*>(data);
    if (a->Apartment >= 0)
        CoInitializeEx(nullptr, DWORD(a->Apartment));
    a->SaveResult = IL_SaveBitmap(a->Path, a->Bitmap, IL_FILE_PNG, 24, 0, 0);
    TILBitmapHandle loaded;
    a->LoadResult = IL_LoadFile(a->Path, &loaded, 24, 1, 3, nullptr, nullptr, nullptr, nullptr);
    if (a->LoadResult == IL_SUCCESS)
        a->Corner = PixelAt(loaded, 3, 3);
    IL_FreeBitmap(&loaded);
    a->AgainResult = IL_LoadFile(a->Path, &loaded, 24, 1, 3, nullptr, nullptr, nullptr, nullptr);
    IL_FreeBitmap(&loaded);
    // S_FALSE: COM is still up on the thread, held by the codec factory the library keeps there.
    a->ComAfterwards = CoInitializeEx(nullptr, a->Apartment >= 0 ? DWORD(a->Apartment) : DWORD(COINIT_APARTMENTTHREADED));
    if (SUCCEEDED(a->ComAfterwards))
        CoUninitialize();
    if (a->Apartment >= 0)
        CoUninitialize();
    return 0;
}

} // namespace

// Each thread makes its codec factory once and keeps it, with COM, until it ends; a thread that
// chose its own COM model keeps it.
TEST(ImagingCom, EachThreadKeepsOneFactoryWhateverItsApartment)
{
    const struct {
        const char* Name;
        int Apartment;
    } threads[] = {
        {"a thread without COM", -1},
        {"a single-threaded apartment", COINIT_APARTMENTTHREADED},
        {"the multithreaded apartment", COINIT_MULTITHREADED},
    };
    TOwnedBitmap bitmap;
    bitmap.Bitmap = MakePatternBitmap(4, 4);
    std::string path = TestTempFile("thread.png");
    for (const auto& t : threads) {
        SCOPED_TRACE(t.Name);
        TThreadArgs args{&bitmap.Bitmap, path.c_str(), t.Apartment};
        HANDLE thread = CreateThread(nullptr, 0, SaveAndLoadOnAThread, &args, 0, nullptr);
        ASSERT_NE(nullptr, thread);
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
        EXPECT_EQ(IL_SUCCESS, args.SaveResult);
        EXPECT_EQ(IL_SUCCESS, args.LoadResult);
        EXPECT_EQ(IL_SUCCESS, args.AgainResult);
        EXPECT_EQ(PatternColour(3, 3), args.Corner);
        EXPECT_EQ(S_FALSE, args.ComAfterwards);
    }
}

TEST(ImagingLoad, ResolutionComesFromTheFileItself)
{
    TOwnedBitmap bitmap;
    bitmap.Bitmap = MakeSmoothBitmap(16, 8);
    bitmap->XResolution = bitmap->YResolution = 72;
    TBytes jpeg;
    uint32_t size = 0;
    ASSERT_EQ(IL_SUCCESS, IL_SaveBitmapBuffer(nullptr, 1, &size, &bitmap, IL_FILE_JFIF, 24, 8, GrowBuffer, &jpeg, 0));
    jpeg.resize(size);
    // The JFIF segment right after the start of image: units at 13, densities at 14 and 16.
    ASSERT_EQ(0xE0, jpeg[3]);
    ASSERT_EQ(0, memcmp(&jpeg[6], "JFIF", 4));
    TILFileInfo info;
    ASSERT_EQ(IL_SUCCESS, IL_FileInfoMemory(jpeg.data(), &info, size, sizeof(info), 0));
    EXPECT_EQ(72, info.XResolution);
    jpeg[13] = 2; // dots per centimetre: 118 per cm is 300 per inch
    jpeg[14] = 0;
    jpeg[15] = 118;
    jpeg[16] = 0;
    jpeg[17] = 59;
    TOwnedBitmap perCentimetre;
    ASSERT_EQ(IL_SUCCESS, IL_LoadBitmapMemory(jpeg.data(), &perCentimetre, 24, 1, size, nullptr, nullptr));
    EXPECT_EQ(300, perCentimetre->XResolution);
    EXPECT_EQ(150, perCentimetre->YResolution);
    jpeg[13] = 0; // an aspect ratio only
    TOwnedBitmap aspectOnly;
    ASSERT_EQ(IL_SUCCESS, IL_LoadBitmapMemory(jpeg.data(), &aspectOnly, 24, 1, size, nullptr, nullptr));
    EXPECT_EQ(0, aspectOnly->XResolution);
    EXPECT_EQ(0, aspectOnly->YResolution);

    TBmpOptions options;
    options.PixelsPerMetre = 3780;
    TBytes bmp = BuildBmp(4, 4, options);
    ASSERT_EQ(IL_SUCCESS, IL_FileInfoMemory(bmp.data(), &info, uint32_t(bmp.size()), sizeof(info), 0));
    EXPECT_EQ(96, info.XResolution);
    options.PixelsPerMetre = 0;
    bmp = BuildBmp(4, 4, options);
    ASSERT_EQ(IL_SUCCESS, IL_FileInfoMemory(bmp.data(), &info, uint32_t(bmp.size()), sizeof(info), 0));
    EXPECT_EQ(0, info.XResolution);
}
