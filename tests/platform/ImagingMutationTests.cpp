#include "ImagingTestFiles.h"
#include "TestSupport.h"

#include "platform/ImagingLib.h"

#include <gtest/gtest.h>

#include <psapi.h>
#include <wincodec.h>

#include <random>

namespace {

COLORREF FourColour(int32_t x, int32_t y)
{
    static const COLORREF colours[4] = {RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255), RGB(255, 255, 255)};
    return colours[(x / 2 + y) % 4];
}

// A 4x4 icon of 32-bit pixels with its AND mask; the top-left pixel is transparent.
TBytes BuildIcon()
{
    TBytes out = {0, 0, 1, 0, 1, 0, 4, 4, 0, 0, 1, 0, 32, 0};
    const uint32_t imageSize = 40 + 4 * 4 * 4 + 4 * 4;
    for (uint32_t v : {imageSize, 22u})
        for (int i = 0; i < 4; ++i)
            out.push_back(uint8_t(v >> (8 * i)));
    const uint32_t header[] = {40, 4, 8};
    for (uint32_t v : header)
        for (int i = 0; i < 4; ++i)
            out.push_back(uint8_t(v >> (8 * i)));
    out.insert(out.end(), {1, 0, 32, 0});
    out.insert(out.end(), 24, 0);
    for (int32_t row = 0; row < 4; ++row) // bottom-up
        for (int32_t x = 0; x < 4; ++x) {
            int32_t y = 3 - row;
            COLORREF c = FourColour(x, y);
            uint8_t alpha = (x == 0 && y == 0) ? 0 : 255;
            out.insert(out.end(), {GetBValue(c), GetGValue(c), GetRValue(c), alpha});
        }
    for (int32_t row = 0; row < 4; ++row)
        out.insert(out.end(), {uint8_t(row == 3 ? 0x80 : 0), 0, 0, 0});
    return out;
}

struct TSample {
    const char* Name;
    TBytes Bytes;
};

std::vector<TSample> Samples()
{
    std::vector<TSample> samples;
    TOwnedBitmap pattern;
    pattern.Bitmap = MakePatternBitmap(23, 11);
    pattern->XResolution = pattern->YResolution = 72;
    auto save = [&](int32_t format) {
        TBytes bytes(200000);
        uint32_t size = uint32_t(bytes.size());
        EXPECT_EQ(IL_SUCCESS, IL_SaveBitmapBuffer(bytes.data(), 1, &size, &pattern, format, 24, 8, nullptr, nullptr, 0));
        bytes.resize(size);
        return bytes;
    };
    samples.push_back({"bmp24", save(IL_FILE_BMP)});
    samples.push_back({"png", save(IL_FILE_PNG)});
    samples.push_back({"jpeg", save(IL_FILE_JFIF)});
    TBmpOptions bmp8;
    bmp8.Bits = 8;
    samples.push_back({"bmp8", BuildBmp(17, 9, bmp8)});
    samples.push_back({"gif", EncodeWithWic(GUID_ContainerFormatGif, 16, 8, 0)});
    samples.push_back({"tiff", EncodeWithWic(GUID_ContainerFormatTiff, 16, 8, 200)});
    samples.push_back({"ico", BuildIcon()});
    for (int32_t bits : {1, 8, 24}) {
        TPcxOptions pcx;
        pcx.Bits = bits;
        samples.push_back({"pcx", BuildPcx(19, 7, pcx)});
    }
    for (bool packed : {true, false}) {
        TPsdOptions psd;
        psd.Packed = packed;
        psd.Dpi = 300;
        samples.push_back({"psd", BuildPsd(21, 6, psd)});
    }
    TPsdOptions grey;
    grey.Grey = true;
    samples.push_back({"psd grey", BuildPsd(21, 6, grey)});
    return samples;
}

} // namespace

TEST(ImagingLoad, GifTiffAndIconFilesLoad)
{
    TBytes gif = EncodeWithWic(GUID_ContainerFormatGif, 16, 8, 0);
    TBytes tiff = EncodeWithWic(GUID_ContainerFormatTiff, 16, 8, 200);
    for (const TBytes* file : {&gif, &tiff}) {
        ASSERT_FALSE(file->empty());
        TOwnedBitmap bitmap;
        TILFileInfo info;
        ASSERT_EQ(IL_SUCCESS, IL_LoadBitmapMemory(file->data(), &bitmap, 24, 1, uint32_t(file->size()), nullptr, &info));
        ASSERT_EQ(16, bitmap->Width);
        ASSERT_EQ(8, bitmap->Height);
        for (int32_t y = 0; y < 8; ++y)
            for (int32_t x = 0; x < 16; ++x)
                ASSERT_EQ(FourColour(x, y), PixelAt(bitmap.Bitmap, x, y)) << x << "," << y;
        if (file == &gif) {
            EXPECT_EQ(IL_FILE_GIF, info.Format);
            EXPECT_EQ(0, bitmap->XResolution);
        } else {
            EXPECT_EQ(IL_FILE_TIF, info.Format);
            EXPECT_EQ(200, bitmap->XResolution);
        }
    }
    TBytes icon = BuildIcon();
    TOwnedBitmap bitmap;
    TILFileInfo info;
    ASSERT_EQ(IL_SUCCESS, IL_LoadBitmapMemory(icon.data(), &bitmap, 24, 1, uint32_t(icon.size()), nullptr, &info));
    EXPECT_EQ(IL_FILE_ICO, info.Format);
    ASSERT_EQ(4, bitmap->Width);
    ASSERT_EQ(4, bitmap->Height);
    EXPECT_EQ(RGB(255, 255, 255), PixelAt(bitmap.Bitmap, 0, 0)); // transparent: laid over white
    EXPECT_EQ(FourColour(3, 3), PixelAt(bitmap.Bitmap, 3, 3));
    EXPECT_EQ(FourColour(2, 1), PixelAt(bitmap.Bitmap, 2, 1));
}

// Damaged files of every format, many times over: each gives an error or a sound bitmap, and never
// a crash, a hang or a huge allocation.
TEST(ImagingMutation, DamagedFilesNeverCrash)
{
    std::mt19937 random(20261208);
    TCaseWatch watch;
    int loaded = 0, refused = 0;
    PROCESS_MEMORY_COUNTERS before = {};
    before.cb = sizeof(before);
    GetProcessMemoryInfo(GetCurrentProcess(), &before, sizeof(before));
    for (const TSample& sample : Samples()) {
        SCOPED_TRACE(sample.Name);
        ASSERT_GT(sample.Bytes.size(), 16u);
        {
            TOwnedBitmap intact;
            ASSERT_EQ(IL_SUCCESS, IL_LoadBitmapMemory(sample.Bytes.data(), &intact, 24, 1, uint32_t(sample.Bytes.size()),
                                                      nullptr, nullptr));
        }
        for (int round = 0; round < 250; ++round) {
            TBytes bytes = sample.Bytes;
            int kind = int(random() % 4);
            if (kind != 1) { // change bytes, mostly in the header where the sizes live
                int changes = 1 + int(random() % 6);
                for (int i = 0; i < changes; ++i) {
                    size_t limit = random() % 2 ? std::min<size_t>(bytes.size(), 64) : bytes.size();
                    size_t at = random() % limit;
                    bytes[at] = random() % 3 == 0 ? uint8_t(0xFF) : uint8_t(random());
                }
            }
            if (kind >= 1) // cut the file short
                bytes.resize(random() % bytes.size());
            TILFileInfo info;
            watch.Begin(std::string(sample.Name) + " #" + std::to_string(round));
            IL_FileInfoMemory(bytes.data(), &info, uint32_t(bytes.size()), sizeof(info), 0);
            TOwnedBitmap bitmap;
            int32_t result = IL_LoadBitmapMemory(bytes.data(), &bitmap, 24, 1, uint32_t(bytes.size()), nullptr, nullptr);
            // A picture that loads may hold what its header says; one that is refused, nothing.
            const size_t held = result == IL_SUCCESS ? size_t(bitmap->Size) : 0;
            EXPECT_LT(watch.End(), held + (size_t(32) << 20));
            if (result == IL_SUCCESS) {
                ++loaded;
                ASSERT_NE(nullptr, bitmap->Pixels);
                ASSERT_GT(bitmap->Width, 0);
                ASSERT_GT(bitmap->Height, 0);
                ASSERT_LE(int64_t(bitmap->Width) * bitmap->Height, int64_t(1) << 28);
                ASSERT_GE(int64_t(bitmap->BytesPerLine), int64_t(bitmap->Width) * 3);
            } else {
                ++refused;
                ASSERT_LT(result, 1);
                ASSERT_EQ(nullptr, bitmap->Pixels);
            }
        }
    }
    EXPECT_GT(loaded, 0);
    EXPECT_GT(refused, 0);
    // No damaged header made anything allocate for a picture of its claimed size.
    EXPECT_GT(before.PeakPagefileUsage, SIZE_T(0));
    PROCESS_MEMORY_COUNTERS after = {};
    after.cb = sizeof(after);
    GetProcessMemoryInfo(GetCurrentProcess(), &after, sizeof(after));
    EXPECT_LT(after.PeakPagefileUsage, before.PeakPagefileUsage + (SIZE_T(256) << 20));
}
