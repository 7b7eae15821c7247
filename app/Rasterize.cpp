#include "app/Rasterize.h"

#include "platform/SysUtils.h"

namespace {

constexpr int64_t HundredthsMmPerInch = 2540;
// No search for a cap goes beyond this: a picture small enough to allow more needs no more.
constexpr int ResolutionCeiling = 100000;

int64_t PixelsAt(LONG hundredthsMm, int resolution)
{
    int64_t length = hundredthsMm > 0 ? hundredthsMm : 1;
    int64_t pixels = (length * resolution + HundredthsMmPerInch / 2) / HundredthsMmPerInch;
    return pixels > 0 ? pixels : 1;
}

}  // namespace

int64_t RasterBytes(SIZE extent, int resolution)
{
    int64_t stride = (PixelsAt(extent.cx, resolution) * 3 + 3) / 4 * 4;
    return stride * PixelsAt(extent.cy, resolution);
}

int MaxResolutionForExtent(SIZE extent)
{
    int low = 1;
    int high = ResolutionCeiling;
    while (low < high) {
        int middle = low + (high - low + 1) / 2;
        if (RasterBytes(extent, middle) <= MaxRasterBytes)
            low = middle;
        else
            high = middle - 1;
    }
    return low;
}

bool ParseResolution(const std::string& text, int& resolution)
{
    int value = 0;
    if (!TryStrToInt(text, value) || value < 1)
        return false;
    resolution = value;
    return true;
}
