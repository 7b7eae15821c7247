#include "graphics/SfDibUtils.h"

#include <cstdlib>
#include <cstring>

namespace SfDibUtils {

uint32_t ColourCount(uint32_t bitCount, uint32_t clrUsed)
{
    if (bitCount <= 8 && clrUsed == 0)
        return 1u << bitCount;
    return clrUsed;
}

uint32_t HeaderSize(uint32_t colourCount)
{
    return InfoHeaderSize + 4 * colourCount;
}

int64_t Stride(int64_t rowBits)
{
    return (rowBits + 31) / 32 * 4;
}

int64_t ImageSize(const BITMAPINFOHEADER& header)
{
    return std::llabs(static_cast<int64_t>(header.biHeight)) *
           Stride(static_cast<int64_t>(header.biBitCount) * header.biWidth);
}

namespace {
// The largest colour table a DIB can sensibly carry.
constexpr uint32_t MaxColours = 256;
// The offset of the colour masks inside headers long enough to hold them (V2 and later).
constexpr uint32_t MaskOffset = 40;

[[noreturn]] void Malformed(const char* what)
{
    throw EDibError(std::string("Invalid bitmap data: ") + what);
}

bool KnownBitCount(uint32_t bitCount)
{
    return bitCount == 1 || bitCount == 4 || bitCount == 8 || bitCount == 16 || bitCount == 24 || bitCount == 32;
}

uint32_t ReadU32(const uint8_t* p)
{
    uint32_t value;
    std::memcpy(&value, p, sizeof value);
    return value;
}
}

TPackedDib ParsePackedDib(const void* data, size_t size)
{
    if (!data)
        Malformed("no data");
    if (size < InfoHeaderSize)
        Malformed("block shorter than a header");
    const auto* bytes = static_cast<const uint8_t*>(data);
    BITMAPINFOHEADER header;
    std::memcpy(&header, bytes, sizeof header);
    if (header.biSize < InfoHeaderSize || header.biSize > size)
        Malformed("header size");
    if (header.biWidth < 1 || header.biHeight == 0 || header.biHeight == INT32_MIN)
        Malformed("dimensions");
    if (!KnownBitCount(header.biBitCount))
        Malformed("bits per pixel");
    bool bitFields = header.biCompression == BI_BITFIELDS;
    if (header.biCompression != BI_RGB && !(bitFields && (header.biBitCount == 16 || header.biBitCount == 32)))
        Malformed("compression");

    TPackedDib dib;
    dib.Width = header.biWidth;
    dib.Height = header.biHeight;
    dib.BitCount = header.biBitCount;
    dib.ClrUsed = header.biClrUsed;
    dib.ColourCount = ColourCount(header.biBitCount, header.biClrUsed);
    dib.Compression = header.biCompression;
    if (dib.ColourCount > MaxColours || (header.biBitCount <= 8 && dib.ColourCount > (1u << header.biBitCount)))
        Malformed("colour count");

    uint64_t offset = header.biSize;
    if (bitFields) {
        // A plain header is followed by three masks; longer headers hold them (and alpha) inside.
        if (header.biSize == InfoHeaderSize) {
            if (offset + 12 > size)
                Malformed("colour masks");
            for (int i = 0; i < 3; ++i)
                dib.Masks[i] = ReadU32(bytes + offset + 4 * i);
            offset += 12;
        } else {
            for (uint32_t i = 0; i < 4 && MaskOffset + 4 * (i + 1) <= header.biSize; ++i)
                dib.Masks[i] = ReadU32(bytes + MaskOffset + 4 * i);
        }
        if (dib.Masks[0] == 0 && dib.Masks[1] == 0 && dib.Masks[2] == 0)
            Malformed("colour masks");
    }
    dib.ColourTableOffset = static_cast<uint32_t>(offset);
    offset += 4ull * dib.ColourCount;
    dib.ImageSize = ImageSize(header);
    if (offset + static_cast<uint64_t>(dib.ImageSize) > size || dib.ImageSize > INT32_MAX)
        Malformed("pixels run past the end of the block");
    dib.BitsOffset = static_cast<uint32_t>(offset);
    return dib;
}

}
