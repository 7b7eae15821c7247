// Decodes a PNG stream into 32-bit ARGB pixels: every colour type and bit depth, interlaced or
// not, with palette and key transparency. Damaged input raises EStreamError (a short stream
// EReadError) and never reads or allocates beyond what the stream holds.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/ObjectModel.h"

class TStream;

// Where decoded pixels go: given the image's size, memory for width x height zeroed pixels.
using TPNGPixelTarget = std::function<uint32_t*(int width, int height)>;

class TPNGReader : public TObject {
    SF_CLASS(TPNGReader)
public:
    TPNGReader() = default;
    ~TPNGReader() override;

    // Decodes from the stream's position; afterwards the size and the pixels (top row first) hold
    // the image. A header of width or height 0 gives an empty image. With a target the pixels go
    // there instead (GetPixels stays empty), asked for once the header is read.
    void LoadFromStream(TStream* stream, const TPNGPixelTarget& target = nullptr);

    int GetWidth() const { return FWidth; }
    int GetHeight() const { return FHeight; }
    const std::vector<uint32_t>& GetPixels() const { return FPixels; }
    // The file's gamma (its value / 100000), 0 without a gAMA chunk.
    double GetGamma() const { return FGamma; }
    bool HasBackground() const { return FHasBackground; }
    // Grey and RGB images: the colour as ARGB; indexed images: the palette index.
    uint32_t GetBackground() const { return FBackground; }

private:
    enum TColorCode : uint8_t { ccIndexed = 1, ccGrey, ccGreyAlpha, ccRGB, ccRGBA };

    void ReadHeader(const TPNGPixelTarget& target);
    void ReadChunkHeader();
    void ReadChunkData();
    void SkipChunkData();
    bool FeedImageData();
    bool InsideImageChunk() const;
    bool IsChunk(const char* type) const;
    void ReadPalette();
    void ReadTransparency();
    void ReadBackground();
    class TRowPipeline;

    void DecodeImage();
    void DecodePass(TRowPipeline& pipeline, int xStart, int yStart, int xStep, int yStep);
    size_t Decompress(uint8_t* out, size_t count);
    void CheckDataEnd();
    void ConvertRow(const uint8_t* row, int count, int y, int xStart, int xStep);
    void FinishDecompression();

    TStream* FStream = nullptr;
    int64_t FStreamEnd = 0;
    int FWidth = 0;
    int FHeight = 0;
    std::vector<uint32_t> FPixels;
    uint32_t* FTarget = nullptr;

    uint32_t FChunkLength = 0;
    uint8_t FChunkType[4] = {};
    std::vector<uint8_t> FChunkData;
    // Image data is read a piece at a time: the bytes of the current IDAT not read yet, and the
    // running CRC over its type and what was read.
    uint32_t FChunkLeft = 0;
    uLong FChunkCrc = 0;
    std::vector<uint8_t> FPiece;

    z_stream FZ{};
    bool FZActive = false;
    bool FDataEnded = false;    // the image data ran out before the image was complete
    bool FStreamEnded = false;  // the compressed stream is complete
    bool FDecoded = false;

    TColorCode FColor = ccGrey;
    int FBitDepth = 0;
    int FSamples = 0;
    int FFilterBytes = 1;       // bytes per complete pixel, at least 1
    int FPixelBits = 0;
    bool FInterlaced = false;
    double FGamma = 0;
    std::vector<uint32_t> FPalette;
    bool FHasKey = false;
    uint32_t FKey8 = 0;         // grey: the key sample; RGB 8: the 24-bit key
    uint16_t FKey16[3] = {};    // 16-bit grey (first only) and RGB keys
    bool FHasBackground = false;
    uint32_t FBackground = 0;
};
