// The PNG format's building blocks, shared by the imaging library's own PNG writer and by every
// other PNG codec of the program: the signature, chunks with their checksums, the five row
// filters in both directions with the two ways of choosing one, and deflating filtered rows in
// bands on all cores into one zlib stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace ImagingPng {

extern const uint8_t Signature[8];

// PNG colour types.
enum TPngColorType : uint8_t { ctGrey = 0, ctRGB = 2, ctIndexed = 3, ctGreyAlpha = 4, ctRGBA = 6 };

// Row filter types; the filter byte in front of every row.
enum TPngFilter : uint8_t { pfNone = 0, pfSub = 1, pfUp = 2, pfAverage = 3, pfPaeth = 4 };

// How a writer picks a row's filter: the smallest sum of the filtered bytes taken as 0..255, or
// as signed values -128..127 (which favours small differences in both directions).
enum class TFilterChoice : uint8_t { PlainSum, SignedSum };

// What goes around a chunk's data: length and type in front, the CRC over type and data after.
void ChunkFrame(const char type[4], const uint8_t* data, size_t size, uint8_t head[8], uint8_t tail[4]);
// Appends length, type, data and the CRC over type and data.
void AppendChunk(std::vector<uint8_t>& out, const char type[4], const uint8_t* data, size_t size);
// The 13 data bytes of an IHDR chunk (compression, filter and interlace method 0).
std::vector<uint8_t> HeaderData(uint32_t width, uint32_t height, uint8_t bitDepth, TPngColorType colorType);

inline void PutBE32(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}

// Filters row (length bytes, bpp bytes per complete pixel, at least 1) against the row above it
// (all zero for the first row) into out.
void FilterRow(TPngFilter filter, const uint8_t* row, const uint8_t* prior, size_t length, int bpp, uint8_t* out);
// Picks the filter whose output has the smallest sum (ties to the lower type) and writes the
// filter byte and the filtered row into out (length + 1 bytes); returns the type.
TPngFilter FilterRowBest(const uint8_t* row, const uint8_t* prior, size_t length, int bpp, TFilterChoice choice,
                         uint8_t* out);
// Undoes a filter in place; false for a type above 4, which the format does not know.
bool UnfilterRow(uint8_t filter, uint8_t* row, const uint8_t* prior, size_t length, int bpp);

// Fills count filtered rows (filter byte and row each) starting at row first into out. Called on
// worker threads, several bands at a time: it may only read what stays unchanged.
using TBandRows = std::function<void(int64_t first, int32_t count, uint8_t* out)>;
// Waits until rows [0, rows) may be read; false stops the compression.
using TRowsWait = std::function<bool(int64_t rows)>;
// Takes the next piece of the compressed stream; false stops the compression.
using TStreamSink = std::function<bool(const uint8_t* data, size_t size)>;

enum class TDeflateResult : uint8_t { Done, Stopped, NoMemory, Failed };

// Deflates rowCount filtered rows of filteredRowBytes each into one zlib stream at the level.
// The rows are cut into bands deflated on all cores; every band but the last ends on a full
// flush, so the pieces join into one valid stream. Bands are asked for only once wait has
// allowed their rows (and the row above them), and the stream reaches sink in order.
TDeflateResult DeflateBands(int64_t rowCount, size_t filteredRowBytes, int level, const TBandRows& fill,
                            const TRowsWait& wait, const TStreamSink& sink);

} // namespace ImagingPng
