// The rasterize box: asks for the resolution at which a vector image or a text becomes a bitmap.
// Its rules for reading and capping a resolution serve the export box as well.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// The largest 24-bit raster a resolution may ask for: beyond it a 32-bit process cannot count on
// finding the memory in one piece.
constexpr int64_t MaxRasterBytes = int64_t(256) << 20;
// The extent (0.01 mm) the resolution is capped for when the caller names none: an A3 page, the
// largest the program prints on, so that every offered resolution up to 600 dpi stays open.
constexpr SIZE DefaultRasterExtent{29700, 42000};

// The bytes of a 24-bit bitmap covering the extent (0.01 mm) at the resolution, rows aligned to
// four bytes.
int64_t RasterBytes(SIZE extent, int resolution);
// The highest resolution at which the extent fits into MaxRasterBytes (at least 1).
int MaxResolutionForExtent(SIZE extent);
// A resolution typed by the user: the whole text must be an integer above 0.
bool ParseResolution(const std::string& text, int& resolution);
