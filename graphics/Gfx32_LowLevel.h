// The 32-bit ARGB colour type and the word-level memory helpers the bitmap code stands on.
#pragma once

#include <cstdint>
#include <vector>

// Alpha in bits 24-31, red 16-23, green 8-15, blue 0-7 (memory order blue, green, red, alpha).
using TColor32 = uint32_t;
using TArrayOfColor32 = std::vector<TColor32>;

// Stores value count times; nothing for count <= 0.
void FillLongword(void* dest, int count, uint32_t value);
