// The themed framework's 32-bit top-down DIB with per-pixel alpha, the copy, blend and resample
// routines it composes images with, and small monochrome glyphs drawn in one colour.
//
// Pixels are ARGB: alpha in bits 24-31, red 16-23, green 8-15, blue 0-7; alpha 0 is fully
// transparent and 255 opaque. Every routine clips to the ClipRect of each DIB it touches.
#pragma once

#include <windows.h>

#include <cstdint>

#include "platform/Exceptions.h"
#include "platform/Graphics.h"
#include "platform/ObjectModel.h"
#include "platform/ScopeGuards.h"

SF_EXCEPTION(EDIB32Error, Exception);

// AlphaMul(a, c): round(c * a / 255) in the alpha byte (bits 24-31).
uint32_t AlphaMul(uint8_t a, uint8_t c);
// AlphaDiv(a, c): round(c * 255 / a) for c < a, 255 for c >= a, and 127 for a = 0.
uint8_t AlphaDiv(uint8_t a, uint8_t c);

// S over D: alpha 0 leaves D, 255 stores S, anything between mixes the colour channels with
// weight a + (a >> 7) of 256, rounded, and leaves alpha 0 in the result.
uint32_t BlendPixel(uint32_t s, uint32_t d);
// Stores combine(source pixel, destination pixel) over a run; where source and destination repeat
// their neighbours, the previous result is reused.
template <class Combine>
void CombineRun(const uint32_t* source, uint32_t* dest, int count, Combine&& combine)
{
    if (count <= 0)
        return;
    // The "previous" pair starts as one that cannot match the first pixel.
    uint32_t lastS = ~source[0], lastD = 0, lastR = 0;
    for (int i = 0; i < count; ++i) {
        const uint32_t s = source[i], d = dest[i];
        if (s != lastS || d != lastD) {
            lastS = s;
            lastD = d;
            lastR = combine(s, d);
        }
        dest[i] = lastR;
    }
}

// BlendPixel over a run.
void BlendRun(const uint32_t* source, uint32_t* dest, int count);
// The same with every source alpha first scaled by the master alpha (0 does nothing).
void BlendRunMaster(const uint32_t* source, uint32_t* dest, int count, uint8_t masterAlpha);
// Mixes c1 toward c2 per channel (alpha included) with weight w (0 keeps c1, 255 gives c2).
uint32_t MixPixel(uint32_t c1, uint32_t c2, uint8_t w);

class TDIB32 : public TObject {
    SF_CLASS(TDIB32)
public:
    TDIB32() = default;
    ~TDIB32() override { Clear(); }

    // Makes a top-down section of the size (none when either side is 0 or less, though the size
    // is remembered); with keepContents the overlapping area keeps its pixels, new area is 0.
    void SetSize(int width, int height, bool keepContents = false);
    // Same size and pixels as the source; nullptr empties.
    void Assign(const TDIB32* source);
    // Frees the section: size 0 x 0.
    void Clear();
    // Trades sections, sizes and clip rectangles with the other DIB.
    void Exchange(TDIB32* other);

    int GetWidth() const { return FWidth; }
    int GetHeight() const { return FHeight; }
    bool HasBits() const { return FBits != nullptr; }
    uint32_t* GetBits() const { return FBits; }
    uint32_t* GetScanLine(int y) const { return FBits + size_t(y) * size_t(FWidth); }
    HDC GetDC() const { return FDC.Get(); }
    HBITMAP GetHandle() const { return FHandle.Get(); }
    const BITMAPINFO& GetInfo() const { return FInfo; }
    const RECT& GetClipRect() const { return FClipRect; }
    // Limited to the image.
    void SetClipRect(const RECT& r);
    // Sets every pixel inside the clip rectangle.
    void Fill(uint32_t color);

    // Draws sourceRect into destRect. Flags: DrawBlend alpha-blends, DrawResample resamples when
    // the sizes differ (only the part inside the DC's clip box); without either a size change
    // is a plain GDI stretch.
    void Draw(HDC dc, const RECT& destRect, uint32_t flags, const RECT& sourceRect);

    static constexpr uint32_t DrawBlend = 0x001;
    static constexpr uint32_t DrawResample = 0x100;

private:
    using TDCHandle = TOwnedHandle<HDC, &DeleteDC, THandleKind::DeviceContext>;

    BITMAPINFO FInfo{};
    uint32_t* FBits = nullptr;
    RECT FClipRect{};
    TDCHandle FDC;
    HGDIOBJ FOldBitmap = nullptr;
    TGdiObject<HBITMAP> FHandle;
    int FWidth = 0;
    int FHeight = 0;
};

// Copies sourceRect of source to (x, y) of dest; source and dest may be the same DIB with
// overlapping areas.
void DIBCopy(TDIB32* dest, int x, int y, const TDIB32* source, const RECT& sourceRect);
// Blends sourceRect of source over dest at (x, y) with the master alpha.
void DIBBlend(TDIB32* dest, int x, int y, const TDIB32* source, const RECT& sourceRect, uint8_t masterAlpha = 255);
// Blends sourceRect over what the DC shows at (x, y): small areas in one piece, larger ones in
// bands of rows read from the DC, blended and written back. An empty or unreadable clip box
// draws nothing.
void DIBBlendToDC(HDC dc, int x, int y, const TDIB32* source, const RECT& sourceRect, uint8_t masterAlpha = 255);
// Opaque copy of sourceRect into destRect of the DC, stretched by GDI when the sizes differ.
void DIBCopyToDC(HDC dc, const RECT& destRect, const TDIB32* source, const RECT& sourceRect);
// Resamples sourceRect of source into destRect of dest (which may reach outside dest: only the
// part inside dest's clip rectangle is computed). Each axis has per-pixel lists of weights in
// 1/256 that sum to 256; enlarging interpolates between the two nearest pixels, reducing
// averages the covered span. All four channels are resampled.
void DIBResample(TDIB32* dest, const RECT& destRect, const TDIB32* source, const RECT& sourceRect);

// A monochrome glyph from a bit pattern: one 16-bit word per row, the most significant bit of its
// low byte leftmost; set bits are drawn, clear bits leave the target.
class TMonoGlyph : public TObject {
    SF_CLASS(TMonoGlyph)
public:
    TMonoGlyph(int width, const uint16_t* pattern, int height);
    ~TMonoGlyph() override;

    int GetWidth() const { return FWidth; }
    int GetHeight() const { return FHeight; }
    // clNone draws nothing.
    void Draw(HDC dc, int x, int y, TColor color) const;

private:
    int FWidth = 0;
    int FHeight = 0;
    TGdiObject<HBITMAP> FBitmap;
    TMemoryDC FDC;
    HGDIOBJ FOldBitmap = nullptr;
};

// Draws the pattern as a glyph centred in the rectangle (spare room halved, rounded toward zero).
void DrawPatternGlyph(HDC dc, const RECT& r, int width, TColor color, const uint16_t* pattern, int height);
