#include "ImagingTestFiles.h"
#include "TestSupport.h"

#include "platform/ImagingLib.h"
#include "platform/PcxReader.h"
#include "platform/PsdReader.h"

#include <gtest/gtest.h>

namespace {

int32_t LoadBytes(const TBytes& bytes, TOwnedBitmap& bitmap, TILFileInfo* info = nullptr)
{
    return IL_LoadBitmapMemory(bytes.data(), &bitmap, 24, 1, uint32_t(bytes.size()), nullptr, info);
}

} // namespace

TEST(ImagingPcx, EveryDepthLoadsEncodedAndRaw)
{
    for (int32_t bits : {1, 8, 24})
        for (bool encoded : {true, false}) {
            SCOPED_TRACE(testing::Message() << bits << " bits, encoded " << encoded);
            TPcxOptions options;
            options.Bits = bits;
            options.Encoded = encoded;
            options.Dpi = 150;
            // Odd widths leave padding at the end of every plane's line.
            TBytes file = BuildPcx(13, 6, options);
            std::string path = TestTempFile("picture" + std::to_string(bits) + (encoded ? "e" : "r") + ".pcx");
            WriteFileBytes(path, file);
            TILFileInfo info;
            ASSERT_EQ(IL_SUCCESS, IL_FileInfo(path.c_str(), &info, sizeof(info), 0));
            EXPECT_EQ(IL_FILE_PCX, info.Format);
            EXPECT_EQ(13, info.Width);
            EXPECT_EQ(6, info.Height);
            EXPECT_EQ(bits, info.FileBitsPerPixel);
            TOwnedBitmap bitmap;
            ASSERT_EQ(IL_SUCCESS, IL_LoadFile(path.c_str(), &bitmap, info.BitsPerPixel, 1, 3, nullptr, nullptr, nullptr, &info));
            ASSERT_EQ(13, bitmap->Width);
            ASSERT_EQ(6, bitmap->Height);
            EXPECT_EQ(150, bitmap->XResolution);
            EXPECT_EQ(150, bitmap->YResolution);
            for (int32_t y = 0; y < 6; ++y)
                for (int32_t x = 0; x < 13; ++x)
                    ASSERT_EQ(PcxColour(x, y, bits), PixelAt(bitmap.Bitmap, x, y)) << x << "," << y;
        }
}

TEST(ImagingPcx, DamagedFilesGiveErrors)
{
    TPcxOptions options;
    options.Bits = 8;
    TBytes good = BuildPcx(20, 10, options);
    TOwnedBitmap bitmap;
    ASSERT_EQ(IL_SUCCESS, LoadBytes(good, bitmap));
    IL_FreeBitmap(&bitmap);

    TBytes noPalette(good.begin(), good.end() - 769);
    EXPECT_EQ(IL_ERROR_FILE_FORMAT, LoadBytes(noPalette, bitmap));

    TBytes truncated(good.begin(), good.begin() + 140);
    truncated.push_back(0x0C);
    truncated.insert(truncated.end(), 768, 0);
    EXPECT_EQ(IL_ERROR_FILE_FORMAT, LoadBytes(truncated, bitmap));

    // A run that reaches past the end of the line.
    TBytes overrun = good;
    overrun[128] = 0xFF;
    EXPECT_EQ(IL_ERROR_FILE_FORMAT, LoadBytes(overrun, bitmap));

    TBytes huge = good;
    huge[8] = huge[9] = huge[10] = huge[11] = 0xFF; // 65536 x 65536
    EXPECT_EQ(IL_ERROR_NO_MEMORY, LoadBytes(huge, bitmap));

    TBytes empty = good;
    empty[4] = 5; // xMin beyond xMax
    empty[8] = 3;
    empty[9] = 0;
    EXPECT_EQ(IL_ERROR_FILE_FORMAT, LoadBytes(empty, bitmap));

    TBytes narrowLine = good;
    narrowLine[66] = 2; // fewer bytes per line than the width needs
    narrowLine[67] = 0;
    EXPECT_EQ(IL_ERROR_FILE_FORMAT, LoadBytes(narrowLine, bitmap));

    TBytes fourPlanes = good;
    fourPlanes[65] = 4;
    EXPECT_EQ(IL_ERROR_FEATURE_NOT_SUPPORTED, LoadBytes(fourPlanes, bitmap));
    EXPECT_EQ(nullptr, bitmap->Pixels);
}

TEST(ImagingPsd, RgbAndGreyCompositesLoad)
{
    for (bool grey : {false, true})
        for (bool packed : {true, false}) {
            SCOPED_TRACE(testing::Message() << "grey " << grey << ", packed " << packed);
            TPsdOptions options;
            options.Grey = grey;
            options.Packed = packed;
            options.Dpi = 240;
            options.ExtraChannel = true;
            TBytes file = BuildPsd(150, 7, options);
            TILFileInfo info;
            ASSERT_EQ(IL_SUCCESS, IL_FileInfoMemory(file.data(), &info, uint32_t(file.size()), sizeof(info), 0));
            EXPECT_EQ(IL_FILE_PSD, info.Format);
            EXPECT_EQ(150, info.Width);
            EXPECT_EQ(7, info.Height);
            EXPECT_EQ(240, info.XResolution);
            TOwnedBitmap bitmap;
            ASSERT_EQ(IL_SUCCESS, LoadBytes(file, bitmap, &info));
            ASSERT_EQ(150, bitmap->Width);
            EXPECT_EQ(240, bitmap->YResolution);
            for (int32_t y = 0; y < 7; ++y)
                for (int32_t x = 0; x < 150; ++x)
                    ASSERT_EQ(PsdColour(x, y, grey), PixelAt(bitmap.Bitmap, x, y)) << x << "," << y;
        }
    TPsdOptions plain;
    TBytes noResolution = BuildPsd(4, 4, plain);
    TOwnedBitmap bitmap;
    ASSERT_EQ(IL_SUCCESS, LoadBytes(noResolution, bitmap));
    EXPECT_EQ(0, bitmap->XResolution);
    // Asked for 32 bits, our readers give opaque 32-bit pixels too.
    TOwnedBitmap wide;
    ASSERT_EQ(IL_SUCCESS, IL_LoadBitmapMemory(noResolution.data(), &wide, 32, 1, uint32_t(noResolution.size()), nullptr, nullptr));
    EXPECT_EQ(32, wide->BitsPerPixel);
    EXPECT_EQ(PsdColour(3, 2, false), PixelAt(wide.Bitmap, 3, 2));
    EXPECT_EQ(255, wide->Pixels[3]);
}

TEST(ImagingPsd, DamagedAndUnsupportedFilesGiveErrors)
{
    TPsdOptions options;
    TBytes good = BuildPsd(30, 5, options);
    TOwnedBitmap bitmap;
    ASSERT_EQ(IL_SUCCESS, LoadBytes(good, bitmap));
    IL_FreeBitmap(&bitmap);

    TBytes cmyk = good;
    cmyk[25] = 4;
    EXPECT_EQ(IL_ERROR_FEATURE_NOT_SUPPORTED, LoadBytes(cmyk, bitmap));
    TBytes sixteen = good;
    sixteen[23] = 16;
    EXPECT_EQ(IL_ERROR_FEATURE_NOT_SUPPORTED, LoadBytes(sixteen, bitmap));
    TBytes wrongVersion = good;
    wrongVersion[5] = 2;
    EXPECT_EQ(IL_ERROR_FEATURE_NOT_SUPPORTED, LoadBytes(wrongVersion, bitmap));
    TBytes zero = good;
    zero[18] = zero[19] = zero[20] = zero[21] = 0;
    EXPECT_EQ(IL_ERROR_FILE_FORMAT, LoadBytes(zero, bitmap));
    TBytes huge = good;
    huge[14] = 0x7F; // 2^30 rows
    EXPECT_EQ(IL_ERROR_NO_MEMORY, LoadBytes(huge, bitmap));
    // Width times height overflows 32 bits: 65536 x 65536.
    TBytes overflow = good;
    overflow[14] = 0; overflow[15] = 1; overflow[16] = 0; overflow[17] = 0;
    overflow[18] = 0; overflow[19] = 1; overflow[20] = 0; overflow[21] = 0;
    EXPECT_EQ(IL_ERROR_NO_MEMORY, LoadBytes(overflow, bitmap));
    TBytes resourcesTooLong = good;
    resourcesTooLong[30] = 0x7F;
    EXPECT_EQ(IL_ERROR_FILE_FORMAT, LoadBytes(resourcesTooLong, bitmap));
    for (size_t cut : {size_t(27), size_t(60), good.size() - 10, good.size() - 1}) {
        TBytes truncated(good.begin(), good.begin() + long(cut));
        EXPECT_EQ(IL_ERROR_FILE_FORMAT, LoadBytes(truncated, bitmap)) << cut;
    }
    EXPECT_EQ(nullptr, bitmap->Pixels);
}
