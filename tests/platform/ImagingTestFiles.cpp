#include "ImagingTestFiles.h"

#include <gtest/gtest.h>

#include <objbase.h>
#include <wincodec.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>

COLORREF PatternColour(int32_t x, int32_t y)
{
    return RGB((x * 37 + y * 11) & 0xFF, (x * 5 + y * 53) & 0xFF, (x * 101 + y * 7 + 40) & 0xFF);
}

TILBitmapHandle MakePatternBitmap(int32_t width, int32_t height, int32_t perspective)
{
    TILBitmapHandle bitmap;
    EXPECT_EQ(IL_SUCCESS, IL_CreateBitmap(&bitmap, IL_MEMORY_OWNED, width, height, 24, 1, nullptr, perspective, nullptr, 0));
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
            SetPixelAt(bitmap, x, y, PatternColour(x, y));
    IL_BitmapChanged(&bitmap);
    return bitmap;
}

static uint8_t* PixelPointer(const TILBitmapHandle& bitmap, int32_t x, int32_t y)
{
    int32_t row = bitmap.ViewPerspective == IL_BOTTOM_UP ? bitmap.Height - 1 - y : y;
    return bitmap.Pixels + size_t(row) * bitmap.BytesPerLine + size_t(x) * (bitmap.BitsPerPixel / 8);
}

COLORREF PixelAt(const TILBitmapHandle& bitmap, int32_t x, int32_t y)
{
    const uint8_t* p = PixelPointer(bitmap, x, y);
    return RGB(p[2], p[1], p[0]);
}

void SetPixelAt(TILBitmapHandle& bitmap, int32_t x, int32_t y, COLORREF colour)
{
    uint8_t* p = PixelPointer(bitmap, x, y);
    p[0] = GetBValue(colour);
    p[1] = GetGValue(colour);
    p[2] = GetRValue(colour);
}

namespace {

void Put16(TBytes& out, uint32_t v)
{
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

void Put32(TBytes& out, uint32_t v)
{
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

void PutBE16(TBytes& out, uint32_t v)
{
    out.push_back(uint8_t(v >> 8));
    out.push_back(uint8_t(v));
}

void PutBE32(TBytes& out, uint32_t v)
{
    PutBE16(out, v >> 16);
    PutBE16(out, v & 0xFFFF);
}

uint32_t PaletteIndex(int32_t x, int32_t y, int32_t bits)
{
    return uint32_t(x * 3 + y * 5) & ((1u << bits) - 1);
}

uint8_t GreyOf(uint32_t index, int32_t bits)
{
    return uint8_t(index * 255 / ((1u << bits) - 1));
}

} // namespace

COLORREF BmpColour(int32_t x, int32_t y, int32_t bits)
{
    if (bits <= 8) {
        uint8_t v = GreyOf(PaletteIndex(x, y, bits), bits);
        return RGB(v, v, v);
    }
    COLORREF c = PatternColour(x, y);
    if (bits == 16) // 5-6-5 keeps the high bits; decoders widen them back
        return RGB(GetRValue(c) & 0xF8, GetGValue(c) & 0xFC, GetBValue(c) & 0xF8);
    return c;
}

TBytes BuildBmp(int32_t width, int32_t height, const TBmpOptions& options)
{
    const int32_t bits = options.Bits;
    const uint32_t stride = ((uint32_t(width) * bits + 31) / 32) * 4;
    const uint32_t colours = bits <= 8 ? (1u << bits) : 0;
    const uint32_t masks = options.BitFields ? 12 : 0;
    const uint32_t offset = 14 + 40 + masks + colours * 4;
    TBytes out;
    out.push_back('B');
    out.push_back('M');
    Put32(out, offset + stride * height);
    Put32(out, 0);
    Put32(out, offset);
    Put32(out, 40);
    Put32(out, uint32_t(width));
    Put32(out, uint32_t(options.TopDown ? -height : height));
    Put16(out, 1);
    Put16(out, uint32_t(bits));
    Put32(out, options.BitFields ? BI_BITFIELDS : BI_RGB);
    Put32(out, stride * height);
    Put32(out, options.PixelsPerMetre);
    Put32(out, options.PixelsPerMetre);
    Put32(out, colours);
    Put32(out, 0);
    if (options.BitFields) {
        if (bits == 16) {
            Put32(out, 0xF800);
            Put32(out, 0x07E0);
            Put32(out, 0x001F);
        } else {
            Put32(out, 0x00FF0000);
            Put32(out, 0x0000FF00);
            Put32(out, 0x000000FF);
        }
    }
    for (uint32_t i = 0; i < colours; ++i) {
        uint8_t v = GreyOf(i, bits);
        out.insert(out.end(), {v, v, v, 0});
    }
    for (int32_t row = 0; row < height; ++row) {
        int32_t y = options.TopDown ? row : height - 1 - row;
        TBytes line(stride, 0);
        for (int32_t x = 0; x < width; ++x) {
            COLORREF c = PatternColour(x, y);
            if (bits <= 8) {
                int32_t bit = x * bits;
                line[bit >> 3] |= uint8_t(PaletteIndex(x, y, bits) << (8 - bits - (bit & 7)));
            } else if (bits == 16) {
                uint32_t v = ((GetRValue(c) >> 3) << 11) | ((GetGValue(c) >> 2) << 5) | (GetBValue(c) >> 3);
                if (!options.BitFields)
                    v = ((GetRValue(c) >> 3) << 10) | ((GetGValue(c) >> 3) << 5) | (GetBValue(c) >> 3);
                line[x * 2] = uint8_t(v);
                line[x * 2 + 1] = uint8_t(v >> 8);
            } else {
                uint8_t* p = &line[size_t(x) * (bits / 8)];
                p[0] = GetBValue(c);
                p[1] = GetGValue(c);
                p[2] = GetRValue(c);
                if (bits == 32)
                    p[3] = 0xFF;
            }
        }
        out.insert(out.end(), line.begin(), line.end());
    }
    return out;
}

COLORREF PcxColour(int32_t x, int32_t y, int32_t bits)
{
    if (bits == 1)
        return ((x + y) % 3 == 0) ? RGB(255, 255, 255) : RGB(0, 0, 0);
    if (bits == 8) {
        uint32_t i = uint32_t(x * 7 + y * 3) & 0xFF;
        return RGB(i, 255 - i, (i * 3) & 0xFF);
    }
    return PatternColour(x, y);
}

namespace {

void PcxPack(TBytes& out, const TBytes& line, bool encoded)
{
    if (!encoded) {
        out.insert(out.end(), line.begin(), line.end());
        return;
    }
    for (size_t i = 0; i < line.size();) {
        size_t run = 1;
        while (i + run < line.size() && line[i + run] == line[i] && run < 63)
            ++run;
        if (run > 1 || (line[i] & 0xC0) == 0xC0) {
            out.push_back(uint8_t(0xC0 | run));
            out.push_back(line[i]);
        } else {
            out.push_back(line[i]);
        }
        i += run;
    }
}

} // namespace

TBytes BuildPcx(int32_t width, int32_t height, const TPcxOptions& options)
{
    const int32_t bits = options.Bits == 24 ? 8 : options.Bits;
    const int32_t planes = options.Bits == 24 ? 3 : 1;
    uint32_t bytesPerLine = (uint32_t(width) * bits + 7) / 8;
    bytesPerLine += bytesPerLine & 1;
    TBytes out(128, 0);
    out[0] = 0x0A;
    out[1] = 5;
    out[2] = options.Encoded ? 1 : 0;
    out[3] = uint8_t(bits);
    out[8] = uint8_t(width - 1);
    out[9] = uint8_t((width - 1) >> 8);
    out[10] = uint8_t(height - 1);
    out[11] = uint8_t((height - 1) >> 8);
    out[12] = uint8_t(options.Dpi);
    out[13] = uint8_t(options.Dpi >> 8);
    out[14] = uint8_t(options.Dpi);
    out[15] = uint8_t(options.Dpi >> 8);
    out[65] = uint8_t(planes);
    out[66] = uint8_t(bytesPerLine);
    out[67] = uint8_t(bytesPerLine >> 8);
    out[68] = 1;
    for (int32_t y = 0; y < height; ++y) {
        TBytes line(size_t(bytesPerLine) * planes, 0);
        for (int32_t x = 0; x < width; ++x) {
            COLORREF c = PcxColour(x, y, options.Bits);
            if (options.Bits == 1) {
                if (c == RGB(255, 255, 255))
                    line[x >> 3] |= uint8_t(0x80 >> (x & 7));
            } else if (options.Bits == 8) {
                line[x] = uint8_t((x * 7 + y * 3) & 0xFF);
            } else {
                line[x] = GetRValue(c);
                line[bytesPerLine + x] = GetGValue(c);
                line[2 * bytesPerLine + x] = GetBValue(c);
            }
        }
        PcxPack(out, line, options.Encoded);
    }
    if (options.Bits == 8) {
        out.push_back(0x0C);
        for (uint32_t i = 0; i < 256; ++i)
            out.insert(out.end(), {uint8_t(i), uint8_t(255 - i), uint8_t((i * 3) & 0xFF)});
    }
    return out;
}

COLORREF PsdColour(int32_t x, int32_t y, bool grey)
{
    // Even rows repeat one colour from x = 4 on, so packed rows hold repeat runs as well as literals.
    COLORREF c = PatternColour(y % 2 == 0 && x >= 4 ? 4 : x, y);
    if (grey)
        return RGB(GetGValue(c), GetGValue(c), GetGValue(c));
    return c;
}

namespace {

// PackBits with both literal and repeat runs.
TBytes PackBits(const TBytes& row)
{
    TBytes out;
    size_t i = 0;
    while (i < row.size()) {
        size_t run = 1;
        while (i + run < row.size() && row[i + run] == row[i] && run < 128)
            ++run;
        if (run >= 2) {
            out.push_back(uint8_t(int8_t(1 - int(run))));
            out.push_back(row[i]);
            i += run;
            continue;
        }
        size_t start = i, count = 0;
        while (i < row.size() && count < 128 && !(i + 1 < row.size() && row[i + 1] == row[i])) {
            ++i;
            ++count;
        }
        if (count == 0) {
            ++i;
            count = 1;
        }
        out.push_back(uint8_t(count - 1));
        out.insert(out.end(), row.begin() + long(start), row.begin() + long(start + count));
    }
    return out;
}

} // namespace

TBytes BuildPsd(int32_t width, int32_t height, const TPsdOptions& options)
{
    const int32_t colourChannels = options.Grey ? 1 : 3;
    const int32_t channels = colourChannels + (options.ExtraChannel ? 1 : 0);
    TBytes out = {'8', 'B', 'P', 'S', 0, 1, 0, 0, 0, 0, 0, 0};
    PutBE16(out, uint32_t(channels));
    PutBE32(out, uint32_t(height));
    PutBE32(out, uint32_t(width));
    PutBE16(out, 8);
    PutBE16(out, options.Grey ? 1 : 3);
    PutBE32(out, 0); // colour mode data
    TBytes resources;
    // An unrelated resource first, with an odd-length name and odd data, to exercise padding.
    resources.insert(resources.end(), {'8', 'B', 'I', 'M'});
    PutBE16(resources, 0x0400);
    resources.insert(resources.end(), {1, 'a'});
    PutBE32(resources, 3);
    resources.insert(resources.end(), {1, 2, 3, 0});
    if (options.Dpi) {
        resources.insert(resources.end(), {'8', 'B', 'I', 'M'});
        PutBE16(resources, 0x03ED);
        resources.insert(resources.end(), {0, 0});
        PutBE32(resources, 16);
        PutBE32(resources, uint32_t(options.Dpi) << 16);
        PutBE16(resources, 1);
        PutBE16(resources, 1);
        PutBE32(resources, uint32_t(options.Dpi) << 16);
        PutBE16(resources, 1);
        PutBE16(resources, 1);
    }
    PutBE32(out, uint32_t(resources.size()));
    out.insert(out.end(), resources.begin(), resources.end());
    PutBE32(out, 4); // layer and mask section, skipped
    PutBE32(out, 0);
    PutBE16(out, options.Packed ? 1 : 0);
    std::vector<TBytes> rows;
    for (int32_t c = 0; c < channels; ++c)
        for (int32_t y = 0; y < height; ++y) {
            TBytes row(static_cast<size_t>(width));
            for (int32_t x = 0; x < width; ++x) {
                COLORREF colour = PsdColour(x, y, options.Grey);
                if (c >= colourChannels)
                    row[x] = 0x80;
                else if (options.Grey)
                    row[x] = GetGValue(colour);
                else
                    row[x] = c == 0 ? GetRValue(colour) : c == 1 ? GetGValue(colour) : GetBValue(colour);
            }
            rows.push_back(options.Packed ? PackBits(row) : row);
        }
    if (options.Packed)
        for (const TBytes& row : rows)
            PutBE16(out, uint32_t(row.size()));
    for (const TBytes& row : rows)
        out.insert(out.end(), row.begin(), row.end());
    return out;
}

namespace {

void PutPngChunk(TBytes& out, const char* type, const TBytes& data)
{
    PutBE32(out, uint32_t(data.size()));
    size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    PutBE32(out, uint32_t(crc32(0, out.data() + start, uInt(out.size() - start))));
}

} // namespace

TBytes BuildRgbaPng(const std::vector<std::vector<uint8_t>>& pixels)
{
    TBytes out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    TBytes header;
    PutBE32(header, uint32_t(pixels.size()));
    PutBE32(header, 1);
    header.insert(header.end(), {8, 6, 0, 0, 0});
    PutPngChunk(out, "IHDR", header);
    TBytes raw = {0};
    for (const auto& p : pixels)
        raw.insert(raw.end(), p.begin(), p.end());
    uLongf packedSize = compressBound(uLong(raw.size()));
    TBytes packed(packedSize);
    compress(packed.data(), &packedSize, raw.data(), uLong(raw.size()));
    packed.resize(packedSize);
    PutPngChunk(out, "IDAT", packed);
    PutPngChunk(out, "IEND", {});
    return out;
}

void WriteFileBytes(const std::string& path, const TBytes& bytes)
{
    FILE* file = fopen(path.c_str(), "wb");
    ASSERT_NE(nullptr, file);
    fwrite(bytes.data(), 1, bytes.size(), file);
    fclose(file);
}

TBytes ReadFileBytes(const std::string& path)
{
    TBytes bytes;
    FILE* file = fopen(path.c_str(), "rb");
    if (!file)
        return bytes;
    fseek(file, 0, SEEK_END);
    bytes.resize(size_t(ftell(file)));
    fseek(file, 0, SEEK_SET);
    size_t got = fread(bytes.data(), 1, bytes.size(), file);
    bytes.resize(got);
    fclose(file);
    return bytes;
}

// A file image written by WIC itself, for the formats our saver does not write.
TBytes EncodeWithWic(const GUID& container, int32_t width, int32_t height, int32_t dpi)
{
    TBytes out;
    IWICImagingFactory* factory = nullptr;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                reinterpret_cast<void**>(&factory))))
        return out;
    IStream* stream = nullptr;
    IWICBitmapEncoder* encoder = nullptr;
    IWICBitmapFrameEncode* frame = nullptr;
    IPropertyBag2* options = nullptr;
    HRESULT hr = CreateStreamOnHGlobal(nullptr, TRUE, &stream);
    if (SUCCEEDED(hr))
        hr = factory->CreateEncoder(container, nullptr, &encoder);
    if (SUCCEEDED(hr))
        hr = encoder->Initialize(stream, WICBitmapEncoderNoCache);
    if (SUCCEEDED(hr))
        hr = encoder->CreateNewFrame(&frame, &options);
    if (SUCCEEDED(hr))
        hr = frame->Initialize(options);
    if (SUCCEEDED(hr))
        hr = frame->SetSize(UINT(width), UINT(height));
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    if (SUCCEEDED(hr))
        hr = frame->SetPixelFormat(&format);
    bool indexed = !IsEqualGUID(format, GUID_WICPixelFormat24bppBGR);
    if (SUCCEEDED(hr) && dpi)
        hr = frame->SetResolution(dpi, dpi);
    // Four colours only, so that a palette format keeps them exactly.
    const uint32_t stride = indexed ? uint32_t((width + 3) & ~3) : uint32_t((width * 3 + 3) & ~3);
    TBytes pixels(size_t(stride) * height);
    IWICPalette* palette = nullptr;
    if (SUCCEEDED(hr) && indexed) {
        WICColor colours[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF};
        hr = factory->CreatePalette(&palette);
        if (SUCCEEDED(hr))
            hr = palette->InitializeCustom(colours, 4);
        if (SUCCEEDED(hr))
            hr = frame->SetPalette(palette);
    }
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) {
            int32_t index = (x / 2 + y) % 4;
            if (indexed) {
                pixels[size_t(y) * stride + x] = uint8_t(index);
            } else {
                static const uint8_t bgr[4][3] = {{0, 0, 255}, {0, 255, 0}, {255, 0, 0}, {255, 255, 255}};
                memcpy(&pixels[size_t(y) * stride + size_t(x) * 3], bgr[index], 3);
            }
        }
    if (SUCCEEDED(hr))
        hr = frame->WritePixels(UINT(height), stride, UINT(pixels.size()), pixels.data());
    if (SUCCEEDED(hr))
        hr = frame->Commit();
    if (SUCCEEDED(hr))
        hr = encoder->Commit();
    HGLOBAL memory = nullptr;
    STATSTG stat = {};
    if (SUCCEEDED(hr) && SUCCEEDED(GetHGlobalFromStream(stream, &memory)) && SUCCEEDED(stream->Stat(&stat, STATFLAG_NONAME))) {
        const uint8_t* bytes = static_cast<const uint8_t*>(GlobalLock(memory));
        out.assign(bytes, bytes + size_t(stat.cbSize.QuadPart));
        GlobalUnlock(memory);
    }
    for (IUnknown* object : std::initializer_list<IUnknown*>{palette, options, frame, encoder, stream, factory})
        if (object)
            object->Release();
    return out;
}

TBytes BuildTiff16(int32_t width, int32_t height, bool grey, COLORREF (*colour)(int32_t x, int32_t y))
{
    const uint32_t samples = grey ? 1 : 3;
    const uint32_t entries = 12;
    const uint32_t ifd = 8;
    const uint32_t extra = ifd + 2 + entries * 12 + 4;  // bits per sample (RGB), then the resolutions
    const uint32_t bitsAt = extra, xResAt = extra + 8, yResAt = extra + 16, pixelsAt = extra + 24;
    const uint32_t size = uint32_t(width) * uint32_t(height) * samples * 2;
    TBytes out = {'I', 'I'};
    Put16(out, 42);
    Put32(out, ifd);
    Put16(out, entries);
    auto entry = [&out](uint32_t tag, uint32_t type, uint32_t count, uint32_t value) {
        Put16(out, tag);
        Put16(out, type);
        Put32(out, count);
        Put32(out, value);
    };
    constexpr uint32_t Short = 3, Long = 4, Rational = 5;
    entry(256, Long, 1, uint32_t(width));
    entry(257, Long, 1, uint32_t(height));
    entry(258, Short, samples, grey ? 16 : bitsAt);
    entry(259, Short, 1, 1);
    entry(262, Short, 1, grey ? 1 : 2);
    entry(273, Long, 1, pixelsAt);
    entry(277, Short, 1, samples);
    entry(278, Long, 1, uint32_t(height));
    entry(279, Long, 1, size);
    entry(282, Rational, 1, xResAt);
    entry(283, Rational, 1, yResAt);
    entry(296, Short, 1, 2);
    Put32(out, 0);
    for (int i = 0; i < 4; ++i)
        Put16(out, 16);
    for (int i = 0; i < 2; ++i) {
        Put32(out, 72);
        Put32(out, 1);
    }
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) {
            COLORREF c = colour(x, y);
            if (grey) {
                Put16(out, GetRValue(c) * 257u);
                continue;
            }
            Put16(out, GetRValue(c) * 257u);
            Put16(out, GetGValue(c) * 257u);
            Put16(out, GetBValue(c) * 257u);
        }
    return out;
}
