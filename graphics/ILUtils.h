// Loading an image file into an imaging-library bitmap record.
#pragma once

#include <cstdint>
#include <string>

#include "platform/ImagingLib.h"

// Loads the file at the depth the library reports for it. Returns the library's result (1 when
// loaded), or -10 without asking the library when there is no such file.
int32_t LoadImageFile(TILBitmapHandle& bitmap, const std::string& fileName);
