// Reads ZSoft PCX pictures: 1 bit (one plane), 8 bits with a 256-colour palette, 24 bits as three
// 8-bit planes; run-length encoded or raw. WIC has no PCX codec.
#pragma once

#include "platform/ImagingCodec.h"

#include <cstddef>
#include <cstdint>

namespace PcxReader {

// True when the data starts like a PCX file.
bool IsPcx(const uint8_t* data, size_t size);
// Fills header from the file's header; IL_SUCCESS or an IL_ERROR_ code.
int32_t ReadHeader(const uint8_t* data, size_t size, ImagingCodec::TImageHeader& header);
// Decodes into rows of 24-bit BGR, top row first, stride bytes apart; IL_SUCCESS or an IL_ERROR_ code.
int32_t Decode(const uint8_t* data, size_t size, uint8_t* pixels, int32_t stride);

} // namespace PcxReader
