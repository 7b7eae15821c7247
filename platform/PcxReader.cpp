#include "platform/PcxReader.h"

#include "platform/ImagingLib.h"

#include <cstring>
#include <vector>

using namespace ImagingCodec;

namespace PcxReader {

namespace {

constexpr size_t HeaderSize = 128;
constexpr size_t PaletteSize = 769; // marker 0x0C and 256 RGB triples at the end of the file

struct TPcxLayout {
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t BitsPerPixel = 0;
    int32_t Planes = 0;
    uint32_t BytesPerLine = 0;
    bool Encoded = false;
};

int32_t ReadLayout(const uint8_t* data, size_t size, TPcxLayout& layout)
{
    if (!IsPcx(data, size))
        return IL_ERROR_FILE_FORMAT;
    int32_t xMin = ReadLE16(data + 4), yMin = ReadLE16(data + 6);
    int32_t xMax = ReadLE16(data + 8), yMax = ReadLE16(data + 10);
    layout.Width = xMax - xMin + 1;
    layout.Height = yMax - yMin + 1;
    layout.BitsPerPixel = data[3];
    layout.Planes = data[65];
    layout.BytesPerLine = ReadLE16(data + 66);
    layout.Encoded = data[2] == 1;
    bool known = (layout.BitsPerPixel == 1 && layout.Planes == 1) ||
                 (layout.BitsPerPixel == 8 && (layout.Planes == 1 || layout.Planes == 3));
    if (!known)
        return IL_ERROR_FEATURE_NOT_SUPPORTED;
    if (int32_t check = CheckImageSize(layout.Width, layout.Height); check != IL_SUCCESS)
        return check;
    uint64_t neededBits = uint64_t(layout.Width) * uint64_t(layout.BitsPerPixel);
    if (uint64_t(layout.BytesPerLine) * 8 < neededBits)
        return IL_ERROR_FILE_FORMAT;
    return IL_SUCCESS;
}

// Expands the run-length data of one scan line (all planes) into line; false on damaged data.
bool ReadLine(const uint8_t* data, size_t size, size_t& pos, bool encoded, uint8_t* line, size_t lineBytes)
{
    if (!encoded) {
        if (size - pos < lineBytes)
            return false;
        memcpy(line, data + pos, lineBytes);
        pos += lineBytes;
        return true;
    }
    size_t filled = 0;
    while (filled < lineBytes) {
        if (pos >= size)
            return false;
        uint8_t code = data[pos++];
        size_t count = 1;
        uint8_t value = code;
        if ((code & 0xC0) == 0xC0) {
            if (pos >= size)
                return false;
            count = code & 0x3F;
            value = data[pos++];
        }
        if (count > lineBytes - filled)
            return false;
        memset(line + filled, value, count);
        filled += count;
    }
    return true;
}

} // namespace

bool IsPcx(const uint8_t* data, size_t size)
{
    return size >= HeaderSize && data[0] == 0x0A && data[1] <= 5 && data[2] <= 1;
}

int32_t ReadHeader(const uint8_t* data, size_t size, TImageHeader& header)
{
    TPcxLayout layout;
    if (int32_t result = ReadLayout(data, size, layout); result != IL_SUCCESS)
        return result;
    header.Format = IL_FILE_PCX;
    header.Width = layout.Width;
    header.Height = layout.Height;
    header.XResolution = ReadLE16(data + 12);
    header.YResolution = ReadLE16(data + 14);
    header.FileBitsPerPixel = layout.BitsPerPixel * layout.Planes;
    return IL_SUCCESS;
}

int32_t Decode(const uint8_t* data, size_t size, uint8_t* pixels, int32_t stride)
{
    TPcxLayout layout;
    if (int32_t result = ReadLayout(data, size, layout); result != IL_SUCCESS)
        return result;
    const uint8_t* palette = nullptr;
    size_t dataEnd = size;
    if (layout.BitsPerPixel == 8 && layout.Planes == 1) {
        if (size < HeaderSize + PaletteSize || data[size - PaletteSize] != 0x0C)
            return IL_ERROR_FILE_FORMAT;
        palette = data + size - PaletteSize + 1;
        dataEnd = size - PaletteSize; // a short image must not read the palette as pixels
    }
    size_t lineBytes = size_t(layout.BytesPerLine) * size_t(layout.Planes);
    std::vector<uint8_t> line(lineBytes);
    size_t pos = HeaderSize;
    for (int32_t y = 0; y < layout.Height; ++y) {
        if (!ReadLine(data, dataEnd, pos, layout.Encoded, line.data(), lineBytes))
            return IL_ERROR_FILE_FORMAT;
        uint8_t* out = pixels + size_t(y) * size_t(stride);
        for (int32_t x = 0; x < layout.Width; ++x, out += 3) {
            if (layout.BitsPerPixel == 1) {
                uint8_t v = (line[x >> 3] >> (7 - (x & 7))) & 1 ? 0xFF : 0x00;
                out[0] = out[1] = out[2] = v;
            } else if (palette) {
                const uint8_t* rgb = palette + 3 * line[x];
                out[0] = rgb[2];
                out[1] = rgb[1];
                out[2] = rgb[0];
            } else {
                out[2] = line[x];
                out[1] = line[layout.BytesPerLine + x];
                out[0] = line[2 * layout.BytesPerLine + x];
            }
        }
    }
    return IL_SUCCESS;
}

} // namespace PcxReader
