// Picture files built byte by byte for the imaging tests, and small helpers to read bitmaps back.
#pragma once

#include "platform/ImagingLib.h"

#include <cstdint>
#include <string>
#include <vector>

using TBytes = std::vector<uint8_t>;

// A test colour for every pixel: distinct enough that a misplaced pixel shows.
COLORREF PatternColour(int32_t x, int32_t y);

// A 24-bit top-down library bitmap filled with PatternColour.
TILBitmapHandle MakePatternBitmap(int32_t width, int32_t height, int32_t perspective = IL_TOP_DOWN);
// The colour at display position (x, y) of a 24- or 32-bit bitmap.
COLORREF PixelAt(const TILBitmapHandle& bitmap, int32_t x, int32_t y);
void SetPixelAt(TILBitmapHandle& bitmap, int32_t x, int32_t y, COLORREF colour);

struct TBmpOptions {
    int32_t Bits = 24;
    bool TopDown = false;
    bool BitFields = false;       // 16 bits as 5-6-5, 32 bits with explicit masks
    uint32_t PixelsPerMetre = 0;
};
// A BMP file of the pattern; depths up to 8 bits use a grey palette of the pattern's index.
TBytes BuildBmp(int32_t width, int32_t height, const TBmpOptions& options);
// The colour BuildBmp stores at (x, y) for the depth.
COLORREF BmpColour(int32_t x, int32_t y, int32_t bits);

struct TPcxOptions {
    int32_t Bits = 24;            // 1, 8 or 24
    bool Encoded = true;
    uint16_t Dpi = 0;
};
TBytes BuildPcx(int32_t width, int32_t height, const TPcxOptions& options);
COLORREF PcxColour(int32_t x, int32_t y, int32_t bits);

struct TPsdOptions {
    bool Grey = false;
    bool Packed = true;
    int32_t Dpi = 0;              // no resolution resource when 0
    bool ExtraChannel = false;    // an alpha channel after the colour channels
};
TBytes BuildPsd(int32_t width, int32_t height, const TPsdOptions& options);
COLORREF PsdColour(int32_t x, int32_t y, bool grey);

// A file image written by WIC itself (GIF, TIFF: formats our saver does not write), four colours in
// a pattern; empty when WIC cannot write it.
TBytes EncodeWithWic(const GUID& container, int32_t width, int32_t height, int32_t dpi);

// An uncompressed TIFF of 16 bits a sample, RGB or grey (BlackIsZero), little-endian: every pixel
// takes the colour the function gives it, each 8-bit channel spread over 16 bits.
TBytes BuildTiff16(int32_t width, int32_t height, bool grey, COLORREF (*colour)(int32_t x, int32_t y));

// A one-row PNG of RGBA pixels.
TBytes BuildRgbaPng(const std::vector<std::vector<uint8_t>>& pixels);

void WriteFileBytes(const std::string& path, const TBytes& bytes);
TBytes ReadFileBytes(const std::string& path);

// A bitmap that frees itself at the end of a test.
struct TOwnedBitmap {
    TILBitmapHandle Bitmap;
    TOwnedBitmap() = default;
    TOwnedBitmap(const TOwnedBitmap&) = delete;
    TOwnedBitmap& operator=(const TOwnedBitmap&) = delete;
    ~TOwnedBitmap() { IL_FreeBitmap(&Bitmap); }
    TILBitmapHandle* operator&() { return &Bitmap; }
    TILBitmapHandle* operator->() { return &Bitmap; }
};
