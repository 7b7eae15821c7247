#include "ImagingTestFiles.h"
#include "TestSupport.h"

#include "platform/ImagingCodec.h"
#include "platform/ImagingLib.h"

#include <gtest/gtest.h>

#include <wincodec.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>

namespace {

void PutLE16(TBytes& b, size_t at, uint32_t v)
{
    b[at] = uint8_t(v);
    b[at + 1] = uint8_t(v >> 8);
}

void PutLE32(TBytes& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = uint8_t(v >> (8 * i));
}

void PutBE32(TBytes& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = uint8_t(v >> (24 - 8 * i));
}

void Append(TBytes& b, std::initializer_list<uint32_t> bytes)
{
    for (uint32_t v : bytes)
        b.push_back(uint8_t(v));
}

void AppendLE(TBytes& b, uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        b.push_back(uint8_t(v >> (8 * i)));
}

void AppendPngChunk(TBytes& out, const char* type, const TBytes& data)
{
    const size_t at = out.size();
    out.resize(at + 4);
    PutBE32(out, at, uint32_t(data.size()));
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>(type), 4);
    crc = crc32(crc, data.data(), uInt(data.size()));
    out.resize(out.size() + 4);
    PutBE32(out, out.size() - 4, uint32_t(crc));
}

// An 8-bit grey PNG whose rows are all zero, deflated; the header may announce another size.
TBytes GreyPng(uint32_t width, uint32_t height, uint32_t announcedWidth, uint32_t announcedHeight)
{
    TBytes out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    TBytes header(13, 0);
    PutBE32(header, 0, announcedWidth);
    PutBE32(header, 4, announcedHeight);
    header[8] = 8;
    AppendPngChunk(out, "IHDR", header);
    TBytes raw(size_t(height) * (width + 1), 0);
    uLongf packedSize = compressBound(uLong(raw.size()));
    TBytes packed(packedSize);
    compress2(packed.data(), &packedSize, raw.data(), uLong(raw.size()), 9);
    packed.resize(packedSize);
    AppendPngChunk(out, "IDAT", packed);
    AppendPngChunk(out, "IEND", {});
    return out;
}

// A GIF of one frame of one pixel; the frame may announce another size, and the colour tables may
// be left out.
TBytes TinyGif(uint32_t frameWidth, uint32_t frameHeight, bool globalTable, bool localTable)
{
    TBytes out = {'G', 'I', 'F', '8', '9', 'a'};
    AppendLE(out, std::max(frameWidth, 1u), 2);
    AppendLE(out, std::max(frameHeight, 1u), 2);
    Append(out, {globalTable ? 0x80u : 0u, 0, 0});
    if (globalTable)
        Append(out, {0, 0, 0, 255, 255, 255});
    Append(out, {0x2C, 0, 0, 0, 0});
    AppendLE(out, frameWidth, 2);
    AppendLE(out, frameHeight, 2);
    Append(out, {localTable ? 0x80u : 0u});
    if (localTable)
        Append(out, {255, 0, 0, 0, 0, 255});
    // Minimum code size 2: clear, pixel 0, end.
    Append(out, {2, 2, 0x44, 0x01, 0, 0x3B});
    return out;
}

// An 8-bit run-length BMP: each row one run of colour 1, the picture ended by its end code.
TBytes RleBmp(int32_t width, int32_t height, bool codeRows)
{
    TBytes data;
    for (int32_t y = 0; codeRows && y < height; ++y) {
        for (int32_t left = width; left > 0; left -= 255)
            Append(data, {uint32_t(std::min(left, 255)), 1});
        Append(data, {0, 0});
    }
    Append(data, {0, 1});
    TBytes out = {'B', 'M'};
    const uint32_t offBits = 14 + 40 + 8;
    AppendLE(out, offBits + uint32_t(data.size()), 4);
    AppendLE(out, 0, 4);
    AppendLE(out, offBits, 4);
    AppendLE(out, 40, 4);
    AppendLE(out, uint32_t(width), 4);
    AppendLE(out, uint32_t(height), 4);
    AppendLE(out, 1, 2);
    AppendLE(out, 8, 2);
    AppendLE(out, BI_RLE8, 4);
    AppendLE(out, uint32_t(data.size()), 4);
    AppendLE(out, 0, 8);
    AppendLE(out, 2, 4);
    AppendLE(out, 0, 4);
    Append(out, {0, 0, 0, 0, 0, 0, 255, 0});
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

// A BMP with the old 12-byte header, 24 bits, its pixels all there.
TBytes CoreBmp(uint16_t width, uint16_t height)
{
    const uint32_t stride = (uint32_t(width) * 3 + 3) & ~3u;
    TBytes out = {'B', 'M'};
    AppendLE(out, 26 + stride * height, 4);
    AppendLE(out, 0, 4);
    AppendLE(out, 26, 4);
    AppendLE(out, 12, 4);
    AppendLE(out, width, 2);
    AppendLE(out, height, 2);
    AppendLE(out, 1, 2);
    AppendLE(out, 24, 2);
    out.resize(out.size() + size_t(stride) * height, 0x80);
    return out;
}

// An uncompressed 8-bit grey TIFF of one strip; its entries may be changed afterwards.
struct TTiff {
    TBytes Bytes;
    size_t Entry(uint16_t tag) const
    {
        for (size_t at = 10; at + 12 <= Bytes.size(); at += 12)
            if (Bytes[at] == (tag & 0xFF) && Bytes[at + 1] == (tag >> 8))
                return at;
        return 0;
    }
    void Set(uint16_t tag, uint32_t value) { PutLE32(Bytes, Entry(tag) + 8, value); }
};

TTiff GreyTiff(uint32_t width, uint32_t height)
{
    TTiff tiff;
    TBytes& b = tiff.Bytes;
    Append(b, {'I', 'I', 42, 0});
    AppendLE(b, 8, 4);
    const uint16_t entries = 9;
    AppendLE(b, entries, 2);
    const uint32_t pixels = 8 + 2 + 12 * entries + 4;
    auto entry = [&](uint16_t tag, uint16_t type, uint32_t value) {
        AppendLE(b, tag, 2);
        AppendLE(b, type, 2);
        AppendLE(b, 1, 4);
        AppendLE(b, value, 4);
    };
    entry(256, 4, width);
    entry(257, 4, height);
    entry(258, 3, 8);
    entry(259, 3, 1);
    entry(262, 3, 1);
    entry(273, 4, pixels);
    entry(277, 3, 1);
    entry(278, 4, height);
    entry(279, 4, width * height);
    AppendLE(b, 0, 4);
    for (uint32_t i = 0; i < width * height; ++i)
        b.push_back(uint8_t(i * 37));
    return tiff;
}

int32_t Load(const TBytes& bytes, TOwnedBitmap& bitmap)
{
    return IL_LoadBitmapMemory(bytes.data(), &bitmap, 24, 1, uint32_t(bytes.size()), nullptr, nullptr);
}

struct THeaderCase {
    const char* Name;
    std::function<TBytes()> Build;
    int32_t Expected;  // IL_SUCCESS for a sound file
};

// Each file is loaded under watch: no case runs a second or takes memory its bytes cannot justify.
void ExpectLoads(const std::vector<THeaderCase>& cases)
{
    TCaseWatch watch;
    for (const THeaderCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const TBytes bytes = c.Build();
        TOwnedBitmap bitmap;
        TILFileInfo info;
        watch.Begin(c.Name);
        const int32_t infoResult = IL_FileInfoMemory(bytes.data(), &info, uint32_t(bytes.size()), sizeof(info), 0);
        const int32_t result = Load(bytes, bitmap);
        const size_t added = watch.End();
        EXPECT_EQ(c.Expected, result);
        EXPECT_EQ(c.Expected == IL_SUCCESS, infoResult == IL_SUCCESS);
        EXPECT_LT(added, size_t(bitmap->Size) + (size_t(16) << 20));
        if (result != IL_SUCCESS) {
            EXPECT_EQ(nullptr, bitmap->Pixels);
        }
    }
}

} // namespace

TEST(ImagingHeaders, PngChunksMustLieInsideTheFileAndFeedTheRows)
{
    const std::vector<THeaderCase> cases = {
        {"sound", [] { return GreyPng(40, 30, 40, 30); }, IL_SUCCESS},
        {"ancillary chunk of a gigabyte in 41 bytes", [] {
             TBytes png = GreyPng(4, 4, 4, 4);
             png.resize(33);
             Append(png, {0x40, 0, 0, 0, 't', 'E', 'X', 't'});
             return png;
         }, IL_ERROR_FILE_FORMAT},
        {"ancillary chunk running past the end", [] {
             TBytes png = GreyPng(4, 4, 4, 4);
             TBytes text = {'k', 0, 'v'};
             TBytes withText(png.begin(), png.begin() + 33);
             AppendPngChunk(withText, "tEXt", text);
             PutBE32(withText, 33, 5000);
             withText.insert(withText.end(), png.begin() + 33, png.end());
             return withText;
         }, IL_ERROR_FILE_FORMAT},
        {"image data cut short", [] {
             TBytes png = GreyPng(40, 30, 40, 30);
             png.resize(png.size() - 20);
             return png;
         }, IL_ERROR_FILE_FORMAT},
        {"16384 x 16384 announced over rows of 40 x 30", [] { return GreyPng(40, 30, 16384, 16384); },
         IL_ERROR_FILE_FORMAT},
        {"a depth the colour type does not have", [] {
             TBytes png = GreyPng(4, 4, 4, 4);
             png[24] = 3;
             return png;
         }, IL_ERROR_FILE_FORMAT},
    };
    ExpectLoads(cases);
}

TEST(ImagingHeaders, GifFramesNeedAColourTableAndTheirCodes)
{
    const std::vector<THeaderCase> cases = {
        {"global table", [] { return TinyGif(1, 1, true, false); }, IL_SUCCESS},
        {"local table", [] { return TinyGif(1, 1, false, true); }, IL_SUCCESS},
        {"written by the system", [] { return EncodeWithWic(GUID_ContainerFormatGif, 40, 20, 0); }, IL_SUCCESS},
        {"no colour table at all", [] { return TinyGif(1, 1, false, false); }, IL_ERROR_FILE_FORMAT},
        {"second frame without a table", [] {
             TBytes gif = TinyGif(1, 1, false, true);
             gif.pop_back();
             const TBytes frame = TinyGif(1, 1, false, false);
             gif.insert(gif.end(), frame.begin() + 13, frame.end());
             return gif;
         }, IL_ERROR_FILE_FORMAT},
        {"frame of 16384 x 16384 in three bytes of codes", [] { return TinyGif(16384, 16384, true, false); },
         IL_ERROR_FILE_FORMAT},
        {"code block running past the end", [] {
             TBytes gif = TinyGif(1, 1, true, false);
             gif.resize(gif.size() - 3);
             gif[gif.size() - 2] = 200;
             return gif;
         }, IL_ERROR_FILE_FORMAT},
        {"colour table past the end", [] {
             TBytes gif = TinyGif(1, 1, true, false);
             gif[10] = 0x87;
             return gif;
         }, IL_ERROR_FILE_FORMAT},
    };
    ExpectLoads(cases);
}

TEST(ImagingHeaders, BitmapSizesMustAgreeWithTheirBytes)
{
    // Run-length codes may skip any area, so a few bytes make a valid picture of any size: what
    // the picture needs in memory decides, here against a budget of 512 MB.
    const uint64_t previous = ImagingCodec::SetPictureMemoryCeiling(uint64_t(512) << 20);
    const std::vector<THeaderCase> cases = {
        {"run-length coded rows", [] { return RleBmp(300, 40, true); }, IL_SUCCESS},
        {"small picture ended early", [] { return RleBmp(100, 100, false); }, IL_SUCCESS},
        {"16384 x 16384 run-length coded in 64 bytes", [] { return RleBmp(16384, 16384, false); },
         IL_ERROR_NO_MEMORY},
        {"old header, all pixels there", [] { return CoreBmp(20, 10); }, IL_SUCCESS},
        {"old header taller than its pixels", [] {
             TBytes bmp = CoreBmp(20, 10);
             PutLE16(bmp, 20, 4000);
             return bmp;
         }, IL_ERROR_FILE_FORMAT},
        {"taller than its pixels", [] {
             TBmpOptions options;
             TBytes bmp = BuildBmp(8, 4, options);
             PutLE32(bmp, 22, 4000);
             return bmp;
         }, IL_ERROR_FILE_FORMAT},
    };
    ExpectLoads(cases);
    ImagingCodec::SetPictureMemoryCeiling(previous);
}

// A run-length picture whose codes skip most of it with a delta opens, however few its bytes: two
// runs of red, 255 pixels right and up from each other, in a picture of 3000 x 3000.
TEST(ImagingHeaders, RunLengthPicturesSkippingLargeAreasOpen)
{
    constexpr int32_t Side = 3000;
    for (uint32_t bits : {8u, 4u}) {
        SCOPED_TRACE(bits);
        const uint8_t red = bits == 8 ? 1 : 0x11;  // RLE4 runs alternate two indexes
        TBytes codes;
        Append(codes, {4, red, 0, 2, 251, 255, 3, red, 0, 1});
        TBytes bmp = {'B', 'M'};
        const uint32_t offBits = 14 + 40 + 8;
        AppendLE(bmp, offBits + uint32_t(codes.size()), 4);
        AppendLE(bmp, 0, 4);
        AppendLE(bmp, offBits, 4);
        AppendLE(bmp, 40, 4);
        AppendLE(bmp, Side, 4);
        AppendLE(bmp, Side, 4);
        AppendLE(bmp, 1, 2);
        AppendLE(bmp, bits, 2);
        AppendLE(bmp, bits == 8 ? BI_RLE8 : BI_RLE4, 4);
        AppendLE(bmp, uint32_t(codes.size()), 4);
        AppendLE(bmp, 0, 8);
        AppendLE(bmp, 2, 4);
        AppendLE(bmp, 0, 4);
        Append(bmp, {255, 255, 255, 0, 0, 0, 255, 0});
        bmp.insert(bmp.end(), codes.begin(), codes.end());
        TOwnedBitmap bitmap;
        ASSERT_EQ(IL_SUCCESS, Load(bmp, bitmap));
        ASSERT_EQ(Side, bitmap->Width);
        ASSERT_EQ(Side, bitmap->Height);
        // The file's first row is the picture's bottom one.
        EXPECT_EQ(RGB(255, 0, 0), PixelAt(bitmap.Bitmap, 0, Side - 1));
        EXPECT_EQ(RGB(255, 0, 0), PixelAt(bitmap.Bitmap, 3, Side - 1));
        EXPECT_EQ(RGB(255, 0, 0), PixelAt(bitmap.Bitmap, 255, Side - 256));
        EXPECT_EQ(RGB(255, 0, 0), PixelAt(bitmap.Bitmap, 257, Side - 256));
    }
}

TEST(ImagingHeaders, TiffStripsMustLieInsideTheFileAndHoldTheRows)
{
    const std::vector<THeaderCase> cases = {
        {"sound", [] { return GreyTiff(6, 5).Bytes; }, IL_SUCCESS},
        {"strip shorter than its rows", [] {
             TTiff tiff = GreyTiff(6, 5);
             tiff.Set(279, 10);
             return tiff.Bytes;
         }, IL_ERROR_FILE_FORMAT},
        {"strip past the end", [] {
             TTiff tiff = GreyTiff(6, 5);
             tiff.Set(273, 0x7FFFFFF0);
             return tiff.Bytes;
         }, IL_ERROR_FILE_FORMAT},
        {"16384 x 16384 in thirty bytes", [] {
             TTiff tiff = GreyTiff(6, 5);
             tiff.Set(256, 16384);
             tiff.Set(257, 16384);
             return tiff.Bytes;
         }, IL_ERROR_FILE_FORMAT},
        {"directory past the end", [] {
             TTiff tiff = GreyTiff(6, 5);
             PutLE32(tiff.Bytes, 4, 0x10000);
             return tiff.Bytes;
         }, IL_ERROR_FILE_FORMAT},
    };
    ExpectLoads(cases);
}

// Whatever the format, a picture that would not fit the memory the process can get is refused
// before anything is allocated for it, and the same picture loads once the memory is there.
TEST(ImagingHeaders, PicturesThatWouldNotFitAreRefusedInEveryFormat)
{
    TOwnedBitmap pattern;
    pattern.Bitmap = MakePatternBitmap(600, 500);
    auto saved = [&](int32_t format) {
        TBytes bytes(4 << 20);
        uint32_t size = uint32_t(bytes.size());
        EXPECT_EQ(IL_SUCCESS, IL_SaveBitmapBuffer(bytes.data(), 1, &size, &pattern, format, 24, 8, nullptr, nullptr, 0));
        bytes.resize(size);
        return bytes;
    };
    TPcxOptions pcx;
    TPsdOptions psd;
    const std::vector<std::pair<const char*, TBytes>> files = {
        {"bmp", saved(IL_FILE_BMP)},
        {"png", saved(IL_FILE_PNG)},
        {"jpeg", saved(IL_FILE_JFIF)},
        {"gif", EncodeWithWic(GUID_ContainerFormatGif, 600, 500, 0)},
        {"tiff", EncodeWithWic(GUID_ContainerFormatTiff, 600, 500, 0)},
        {"pcx", BuildPcx(600, 500, pcx)},
        {"psd", BuildPsd(600, 500, psd)},
    };
    // 600 x 500 pixels take well over a megabyte at any depth.
    const uint64_t previous = ImagingCodec::SetPictureMemoryCeiling(1 << 20);
    for (const auto& [name, bytes] : files) {
        SCOPED_TRACE(name);
        ASSERT_GT(bytes.size(), 100u);
        TOwnedBitmap bitmap;
        EXPECT_EQ(IL_ERROR_NO_MEMORY, Load(bytes, bitmap));
        EXPECT_EQ(nullptr, bitmap->Pixels);
    }
    ImagingCodec::SetPictureMemoryCeiling(previous);
    for (const auto& [name, bytes] : files) {
        SCOPED_TRACE(name);
        TOwnedBitmap bitmap;
        ASSERT_EQ(IL_SUCCESS, Load(bytes, bitmap));
        EXPECT_EQ(600, bitmap->Width);
        EXPECT_EQ(500, bitmap->Height);
    }
}

TEST(ImagingHeaders, TheMemoryAPictureMayTakeIsASaneBound)
{
    MEMORYSTATUSEX status = {};
    status.dwLength = sizeof(status);
    ASSERT_TRUE(GlobalMemoryStatusEx(&status));
    const uint64_t available = ImagingCodec::AvailablePictureBytes();
    EXPECT_GT(available, uint64_t(64) << 20);
    // Never all of a 64-bit process's addresses: at most half the machine's memory.
    EXPECT_LE(available, status.ullTotalPhys / 2);
    EXPECT_LE(available, status.ullAvailVirtual);
    const uint64_t previous = ImagingCodec::SetPictureMemoryCeiling(12345);
    EXPECT_EQ(12345u, ImagingCodec::AvailablePictureBytes());
    EXPECT_EQ(IL_ERROR_NO_MEMORY, ImagingCodec::CheckDecodedFits(100, 100, 3));
    EXPECT_EQ(IL_SUCCESS, ImagingCodec::CheckDecodedFits(60, 60, 3));
    ImagingCodec::SetPictureMemoryCeiling(previous);
}

// The bound is the running process's own: a 32-bit program linked large-address-aware gets the
// upper half of its addresses where the system grants them (64-bit Windows, Wine on a 64-bit
// kernel), and what is already taken of the address space counts against a picture.
TEST(ImagingHeaders, TheMemoryBoundIsTheRunningProcesssAddressSpace)
{
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(GetModuleHandleA(nullptr));
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(reinterpret_cast<const BYTE*>(dos) + dos->e_lfanew);
    EXPECT_NE(nt->FileHeader.Characteristics & IMAGE_FILE_LARGE_ADDRESS_AWARE, 0);
    SYSTEM_INFO system{};
    GetSystemInfo(&system);
    MEMORYSTATUSEX status = {};
    status.dwLength = sizeof(status);
    ASSERT_TRUE(GlobalMemoryStatusEx(&status));
    EXPECT_GT(uintptr_t(system.lpMaximumApplicationAddress), uintptr_t(0x80000000u));
    EXPECT_GT(status.ullTotalVirtual, uint64_t(0x80000000u));
#if !defined(_WIN64)
    // Taking the largest free block leaves a picture no more than what is left.
    const uint64_t before = ImagingCodec::AvailablePictureBytes();
    SIZE_T largest = 0;
    MEMORY_BASIC_INFORMATION info{};
    for (const char* at = nullptr; VirtualQuery(at, &info, sizeof(info)) == sizeof(info);
         at = static_cast<const char*>(info.BaseAddress) + info.RegionSize) {
        if (info.State == MEM_FREE)
            largest = std::max(largest, info.RegionSize);
        if (uintptr_t(info.BaseAddress) + info.RegionSize < uintptr_t(at))
            break;
    }
    void* taken = VirtualAlloc(nullptr, largest & ~SIZE_T(0xFFFF), MEM_RESERVE, PAGE_NOACCESS);
    ASSERT_NE(taken, nullptr);
    EXPECT_LT(ImagingCodec::AvailablePictureBytes(), before);
    EXPECT_LT(ImagingCodec::AvailablePictureBytes(), uint64_t(largest));
    VirtualFree(taken, 0, MEM_RELEASE);
#endif
}
