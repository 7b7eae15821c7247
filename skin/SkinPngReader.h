// Decodes a PNG stream into 32-bit ARGB pixels: every colour type and bit depth, interlaced or
// not, with palette and key transparency. Damaged input raises EStreamError (a short stream
// EReadError) and never reads beyond what the stream holds; memory for the pixels is taken as
// rows arrive, so a file whose data fails early costs only what it decoded.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "platform/ObjectModel.h"
#include "platform/ScopeGuards.h"

class TStream;

// Where decoded pixels go: given the image's size, memory for width x height zeroed pixels.
using TPNGPixelTarget = std::function<uint32_t*(int width, int height)>;

class TPNGReader : public TObject {
    SF_CLASS(TPNGReader)
public:
    TPNGReader() = default;
    ~TPNGReader() override;

    // Decodes from the stream's position; afterwards the size and the pixels (top row first) hold
    // the image. A header of width or height 0 gives an empty image; rows the data does not reach
    // are 0. With a target the pixels go there instead (GetPixels stays empty); it is asked for
    // when the first row is decoded, or at the end when none was, so a file that fails before
    // its first row never asks for it.
    void LoadFromStream(TStream* stream, const TPNGPixelTarget& target = nullptr);

    int GetWidth() const { return FWidth; }
    int GetHeight() const { return FHeight; }
    // Empty unless the last load without a target succeeded.
    std::span<const uint32_t> GetPixels() const;
    // The file's gamma (its value / 100000), 0 without a gAMA chunk.
    double GetGamma() const { return FGamma; }
    bool HasBackground() const { return FHasBackground; }
    // Grey and RGB images: the colour as ARGB; indexed images: the palette index.
    uint32_t GetBackground() const { return FBackground; }

private:
    enum TColorCode : uint8_t { ccIndexed = 1, ccGrey, ccGreyAlpha, ccRGB, ccRGBA };

    void ReadHeader();
    void ProvideRows(int firstY, int yStep, int count);
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
    void PassOverRestOfData();
    void ConvertRow(const uint8_t* row, int count, int y, int xStart, int xStep);
    void FinishDecompression();

    TStream* FStream = nullptr;
    int64_t FStreamEnd = 0;
    int FWidth = 0;
    int FHeight = 0;
    // Without a target the pixels live here, committed as rows arrive.
    TReservedMemory FStore;
    bool FStoreFilled = false;
    const TPNGPixelTarget* FTargetSource = nullptr;
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
