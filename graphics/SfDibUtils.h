// Header arithmetic of device-independent bitmaps, and the checked reading of packed DIBs
// (header, optional colour masks, colour table, pixels in one block) from untrusted memory.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "platform/Exceptions.h"

SF_EXCEPTION(EDibError, Exception);

namespace SfDibUtils {

// The size of a plain header (BITMAPINFOHEADER) without colour table.
constexpr uint32_t InfoHeaderSize = 40;

// Entries in the colour table: 2^BitCount for up to 8 bits when ClrUsed is 0, else ClrUsed.
uint32_t ColourCount(uint32_t bitCount, uint32_t clrUsed);
// A plain header followed by its colour table.
uint32_t HeaderSize(uint32_t colourCount);
// Bytes in one row of the given number of bits, rounded up to whole 32-bit words.
int64_t Stride(int64_t rowBits);
// Bytes of pixels the header describes: |biHeight| rows of Stride(biBitCount * biWidth).
int64_t ImageSize(const BITMAPINFOHEADER& header);

// Where the parts of a packed DIB lie and what they say.
struct TPackedDib {
    int32_t Width = 0;
    int32_t Height = 0;  // negative for rows stored top-down
    uint16_t BitCount = 0;
    uint32_t ClrUsed = 0;
    uint32_t ColourCount = 0;
    uint32_t Compression = BI_RGB;
    uint32_t Masks[4] = {};  // red, green, blue, alpha; set for BI_BITFIELDS only
    uint32_t ColourTableOffset = 0;
    uint32_t BitsOffset = 0;
    int64_t ImageSize = 0;
};

// Reads a packed DIB of the given size, honouring headers longer than 40 bytes (V4, V5) and
// the colour masks of BI_BITFIELDS. Raises EDibError for anything that is not an uncompressed
// DIB lying wholly inside the block.
TPackedDib ParsePackedDib(const void* data, size_t size);

}
