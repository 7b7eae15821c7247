// PNG files built by the tests themselves, straight from the format's definition, so that the
// reader is checked against an encoder that shares no code with the program's own.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

using TBytes = std::vector<uint8_t>;

// An image as raw samples: Channels per pixel (1 grey or index, 2 grey+alpha, 3 RGB, 4 RGBA),
// each 0 .. 2^Depth - 1, row by row.
struct TSampleImage {
    TSampleImage() = default;
    TSampleImage(int width, int height, int depth, int colorType, std::vector<uint16_t> samples = {})
        : Width(width), Height(height), Depth(depth), ColorType(colorType), Samples(std::move(samples))
    {
    }

    int Width = 0;
    int Height = 0;
    int Depth = 8;
    int ColorType = 0;
    std::vector<uint16_t> Samples;

    int Channels() const;
    uint16_t At(int x, int y, int channel) const { return Samples[(size_t(y) * Width + x) * Channels() + channel]; }
};

// The filter type the builder uses for a row (its index within its pass).
using TRowFilter = std::function<uint8_t(int row)>;

// The filtered scan lines (filter byte first) of the image, in Adam7 passes when interlaced.
TBytes ScanLines(const TSampleImage& image, bool interlaced, const TRowFilter& filter);
TBytes Deflate(const TBytes& raw, int level = 6);

// A PNG file put together chunk by chunk.
class TPngFile {
public:
    TPngFile();
    TPngFile& Chunk(const std::string& type, const TBytes& data);
    // IHDR with compression, filter and interlace fields as given.
    TPngFile& Header(uint32_t width, uint32_t height, int depth, int colorType, bool interlaced = false,
                     int compression = 0);
    // IDAT chunks of at most pieceSize bytes each (0: one chunk), empty ones between when asked.
    TPngFile& Data(const TBytes& compressed, size_t pieceSize = 0, bool emptyBetween = false);
    TPngFile& End() { return Chunk("IEND", {}); }
    const TBytes& Bytes() const { return FBytes; }

private:
    TBytes FBytes;
};

// A whole file for the image: header, PLTE and tRNS when given, the data, IEND.
TBytes BuildPng(const TSampleImage& image, bool interlaced = false, const TBytes& palette = {},
                const TBytes& transparency = {}, const TRowFilter& filter = nullptr);

// The ARGB pixels a reader must give for the image (palette entries as RGB triples, their alphas
// from transparency; keys as the file's tRNS bytes).
std::vector<uint32_t> ExpectedPixels(const TSampleImage& image, const TBytes& palette = {},
                                     const TBytes& transparency = {});

// The chunks of a file in order: type and data.
struct TChunk {
    std::string Type;
    TBytes Data;
};
std::vector<TChunk> ChunksOf(const TBytes& file);
// Recomputes every chunk's CRC after the file was changed (stops at the first broken length).
void FixCrcs(TBytes& file);

inline void PutBE16(TBytes& out, uint32_t v)
{
    out.push_back(uint8_t(v >> 8));
    out.push_back(uint8_t(v));
}
inline void PutBE32(TBytes& out, uint32_t v)
{
    PutBE16(out, v >> 16);
    PutBE16(out, v & 0xFFFF);
}
