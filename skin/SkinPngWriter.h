// Encodes 32-bit ARGB pixels as PNG in the smallest colour type that holds them exactly:
// indexed at 1 to 8 bits, grey, grey with alpha, RGB or RGBA, with a key or palette alpha
// where that keeps every pixel as it was.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/ObjectModel.h"

class TStream;

class TPNGWriter : public TObject {
    SF_CLASS(TPNGWriter)
public:
    // Reads the pixels in place (stride in pixels, at least the width): they must stay as they
    // are until SaveToStream returns. Width or height below 1 raises "Invalid dimensions".
    TPNGWriter(int width, int height, const uint32_t* pixels, int stride);
    ~TPNGWriter() override;

    void SaveToStream(TStream* stream);

    int GetWidth() const { return FWidth; }
    int GetHeight() const { return FHeight; }

private:
    enum TColorCode : uint8_t { ccIndexed = 1, ccGrey, ccGreyAlpha, ccRGB, ccRGBA };

    class TColorTable;

    const uint32_t* Row(int y) const { return FPixels + size_t(y) * size_t(FStride); }
    void Analyse();
    bool CollectColors();
    bool KeyCollides(uint32_t key) const;
    void ChooseFromPalette();
    void ChooseWithoutPalette();
    std::vector<uint8_t> TransparencyData() const;
    void PackRow(const uint32_t* pixels, uint8_t* out) const;
    size_t RowBytes() const;

    int FWidth = 0;
    int FHeight = 0;
    const uint32_t* FPixels = nullptr;
    int FStride = 0;
    std::unique_ptr<TColorTable> FTable;  // the palette's colours and their indexes

    int FBitDepth = 8;
    TColorCode FColor = ccRGB;
    bool FGrey = false;
    bool FWritePalette = false;
    bool FAlpha = false;
    bool FTransparent = false;
    uint32_t FKey = 0;
    std::vector<uint32_t> FPalette;
};
