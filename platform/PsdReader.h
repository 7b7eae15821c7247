// Reads the composite image of Photoshop PSD files: RGB and greyscale, 8 bits per channel, raw or
// PackBits-compressed; layers are skipped. WIC has no PSD codec.
#pragma once

#include "platform/ImagingCodec.h"

#include <cstddef>
#include <cstdint>

namespace PsdReader {

bool IsPsd(const uint8_t* data, size_t size);
// Fills header, resolution from the resolution resource; IL_SUCCESS or an IL_ERROR_ code.
int32_t ReadHeader(const uint8_t* data, size_t size, ImagingCodec::TImageHeader& header);
// Decodes into rows of 24-bit BGR, top row first, stride bytes apart; IL_SUCCESS or an IL_ERROR_ code.
int32_t Decode(const uint8_t* data, size_t size, uint8_t* pixels, int32_t stride);

} // namespace PsdReader
