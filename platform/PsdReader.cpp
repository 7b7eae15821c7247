#include "platform/PsdReader.h"

#include "platform/ImagingLib.h"

#include <cstring>
#include <vector>

using namespace ImagingCodec;

namespace PsdReader {

namespace {

constexpr size_t HeaderSize = 26;
constexpr uint16_t ResolutionResource = 0x03ED;

struct TPsdLayout {
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t Channels = 0;
    int32_t Mode = 0;
    size_t ResourcesStart = 0;  // first byte of the image resources
    size_t ResourcesSize = 0;
    size_t ImageStart = 0;      // the compression word of the composite image
};

// Skips a section that starts with its 32-bit length; false when it runs past the end.
bool SkipSection(size_t size, const uint8_t* data, size_t& pos, size_t* start = nullptr, size_t* length = nullptr)
{
    if (size - pos < 4)
        return false;
    uint32_t sectionSize = ReadBE32(data + pos);
    pos += 4;
    if (sectionSize > size - pos)
        return false;
    if (start)
        *start = pos;
    if (length)
        *length = sectionSize;
    pos += sectionSize;
    return true;
}

int32_t ReadLayout(const uint8_t* data, size_t size, TPsdLayout& layout)
{
    if (!IsPsd(data, size))
        return IL_ERROR_FILE_FORMAT;
    if (ReadBE16(data + 4) != 1)
        return IL_ERROR_FEATURE_NOT_SUPPORTED;
    layout.Channels = ReadBE16(data + 12);
    uint32_t height = ReadBE32(data + 14);
    uint32_t width = ReadBE32(data + 18);
    int32_t depth = ReadBE16(data + 22);
    layout.Mode = ReadBE16(data + 24);
    if (layout.Channels < 1 || layout.Channels > 56)
        return IL_ERROR_FILE_FORMAT;
    if (depth != 8 || (layout.Mode != 1 && layout.Mode != 3) || (layout.Mode == 3 && layout.Channels < 3))
        return IL_ERROR_FEATURE_NOT_SUPPORTED;
    if (int32_t check = CheckImageSize(width, height); check != IL_SUCCESS)
        return check;
    layout.Width = int32_t(width);
    layout.Height = int32_t(height);
    size_t pos = HeaderSize;
    if (!SkipSection(size, data, pos) || !SkipSection(size, data, pos, &layout.ResourcesStart, &layout.ResourcesSize) ||
        !SkipSection(size, data, pos) || size - pos < 2)
        return IL_ERROR_FILE_FORMAT;
    layout.ImageStart = pos;
    return IL_SUCCESS;
}

// Dots per inch from the resolution resource (16.16 fixed point, always per inch); 0 when absent.
void ReadResolution(const uint8_t* data, const TPsdLayout& layout, TImageHeader& header)
{
    const uint8_t* p = data + layout.ResourcesStart;
    size_t left = layout.ResourcesSize;
    while (left >= 12 && memcmp(p, "8BIM", 4) == 0) {
        uint16_t id = ReadBE16(p + 4);
        size_t nameBytes = (size_t(p[6]) + 2) & ~size_t(1); // Pascal string padded to even length
        if (left < 6 + nameBytes + 4)
            return;
        uint32_t dataSize = ReadBE32(p + 6 + nameBytes);
        size_t headBytes = 6 + nameBytes + 4;
        if (dataSize > left - headBytes)
            return;
        const uint8_t* body = p + headBytes;
        if (id == ResolutionResource && dataSize >= 16) {
            header.XResolution = int32_t((ReadBE32(body) + 0x8000) >> 16);
            header.YResolution = int32_t((ReadBE32(body + 8) + 0x8000) >> 16);
            return;
        }
        size_t step = headBytes + ((size_t(dataSize) + 1) & ~size_t(1));
        if (step > left)
            return;
        p += step;
        left -= step;
    }
}

// Expands PackBits data into exactly count bytes; false on damaged data.
bool UnpackBits(const uint8_t* src, size_t srcSize, uint8_t* out, size_t count)
{
    size_t in = 0, filled = 0;
    while (filled < count) {
        if (in >= srcSize)
            return false;
        int8_t code = int8_t(src[in++]);
        if (code == -128)
            continue;
        if (code >= 0) {
            size_t n = size_t(code) + 1;
            if (n > srcSize - in || n > count - filled)
                return false;
            memcpy(out + filled, src + in, n);
            in += n;
            filled += n;
        } else {
            size_t n = size_t(1 - code);
            if (in >= srcSize || n > count - filled)
                return false;
            memset(out + filled, src[in++], n);
            filled += n;
        }
    }
    return true;
}

// Puts one channel row into the BGR output at the given byte (2 red, 1 green, 0 blue; -1 all three).
void StoreRow(const uint8_t* row, int32_t width, uint8_t* out, int32_t target)
{
    for (int32_t x = 0; x < width; ++x, out += 3) {
        if (target < 0)
            out[0] = out[1] = out[2] = row[x];
        else
            out[target] = row[x];
    }
}

} // namespace

bool IsPsd(const uint8_t* data, size_t size)
{
    return size >= HeaderSize && memcmp(data, "8BPS", 4) == 0;
}

int32_t ReadHeader(const uint8_t* data, size_t size, TImageHeader& header)
{
    TPsdLayout layout;
    if (int32_t result = ReadLayout(data, size, layout); result != IL_SUCCESS)
        return result;
    header.Format = IL_FILE_PSD;
    header.Width = layout.Width;
    header.Height = layout.Height;
    header.FileBitsPerPixel = 8 * (layout.Mode == 3 ? 3 : 1);
    ReadResolution(data, layout, header);
    return IL_SUCCESS;
}

int32_t Decode(const uint8_t* data, size_t size, uint8_t* pixels, int32_t stride)
{
    TPsdLayout layout;
    if (int32_t result = ReadLayout(data, size, layout); result != IL_SUCCESS)
        return result;
    const int32_t used = layout.Mode == 3 ? 3 : 1;
    const int32_t targets[3] = {2, 1, 0};
    size_t pos = layout.ImageStart;
    uint16_t compression = ReadBE16(data + pos);
    pos += 2;
    const size_t width = size_t(layout.Width);
    const size_t rows = size_t(layout.Height);
    std::vector<uint8_t> row(width);
    if (compression == 0) {
        if (uint64_t(width) * rows * uint64_t(used) > size - pos)
            return IL_ERROR_FILE_FORMAT;
        for (int32_t c = 0; c < used; ++c)
            for (size_t y = 0; y < rows; ++y) {
                const uint8_t* src = data + pos + (size_t(c) * rows + y) * width;
                StoreRow(src, layout.Width, pixels + y * size_t(stride), used == 1 ? -1 : targets[c]);
            }
        return IL_SUCCESS;
    }
    if (compression != 1)
        return IL_ERROR_FEATURE_NOT_SUPPORTED;
    // Byte counts of every row of every channel come first, then the rows in the same order.
    uint64_t countBytes = uint64_t(rows) * uint64_t(layout.Channels) * 2;
    if (countBytes > size - pos)
        return IL_ERROR_FILE_FORMAT;
    const uint8_t* counts = data + pos;
    size_t rowPos = pos + size_t(countBytes);
    for (int32_t c = 0; c < used; ++c)
        for (size_t y = 0; y < rows; ++y) {
            size_t packed = ReadBE16(counts + 2 * (size_t(c) * rows + y));
            if (packed > size - rowPos || !UnpackBits(data + rowPos, packed, row.data(), width))
                return IL_ERROR_FILE_FORMAT;
            rowPos += packed;
            StoreRow(row.data(), layout.Width, pixels + y * size_t(stride), used == 1 ? -1 : targets[c]);
        }
    return IL_SUCCESS;
}

} // namespace PsdReader
