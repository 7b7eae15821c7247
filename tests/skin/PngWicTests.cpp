// Pictures written by the system's own PNG encoder (WIC) read back pixel for pixel.
#include "PngTestFiles.h"
#include "SkinTestSupport.h"

#include <gtest/gtest.h>

#include <objbase.h>
#include <wincodec.h>

#include <string>

#include "platform/ComObj.h"
#include "platform/Streams.h"
#include "skin/SkinPngReader.h"

namespace {

struct TWicCase {
    const char* Name;
    const GUID* Format;
    int Bits;                       // per pixel in the buffer handed to WIC
    std::vector<uint32_t> Palette;  // ARGB, for indexed formats
};

// The value of pixel (x, y) in a format's own terms: an index, a grey level or a colour.
uint32_t Sample(int x, int y, uint32_t levels)
{
    return uint32_t(x * 7 + y * 13 + (x * y) % 5) % levels;
}

// Fills one row of the buffer and gives the ARGB pixels the reader must return for it.
void MakeRow(const TWicCase& c, int y, int width, uint8_t* row, std::vector<uint32_t>& expected)
{
    for (int x = 0; x < width; ++x) {
        if (!c.Palette.empty() || c.Bits < 8) {
            const uint32_t levels = c.Palette.empty() ? 1u << c.Bits : uint32_t(c.Palette.size());
            const uint32_t v = Sample(x, y, levels);
            const size_t bit = size_t(x) * size_t(c.Bits);
            row[bit / 8] = uint8_t(row[bit / 8] | (v << (8 - c.Bits - bit % 8)));
            const uint32_t grey = v * 255 / ((1u << c.Bits) - 1);
            expected.push_back(c.Palette.empty() ? 0xFF000000u | grey * 0x010101u : c.Palette[v]);
            continue;
        }
        const uint8_t r = uint8_t(Sample(x, y, 256)), g = uint8_t(Sample(y, x, 256)), b = uint8_t(x * 31 + y);
        const uint8_t a = uint8_t(Sample(x + 3, y, 256));
        switch (c.Bits) {
        case 8:
            row[x] = r;
            expected.push_back(0xFF000000u | r * 0x010101u);
            break;
        case 16: // 16-bit grey: both bytes alike, whatever the byte order
            row[2 * x] = row[2 * x + 1] = r;
            expected.push_back(0xFF000000u | r * 0x010101u);
            break;
        case 24:
            row[3 * x] = b;
            row[3 * x + 1] = g;
            row[3 * x + 2] = r;
            expected.push_back(0xFF000000u | uint32_t(r) << 16 | uint32_t(g) << 8 | b);
            break;
        case 32:
            row[4 * x] = b;
            row[4 * x + 1] = g;
            row[4 * x + 2] = r;
            row[4 * x + 3] = a;
            expected.push_back(uint32_t(a) << 24 | uint32_t(r) << 16 | uint32_t(g) << 8 | b);
            break;
        case 48:
        case 64: {
            const uint8_t channels[4] = {r, g, b, a};
            const int n = c.Bits / 16;
            for (int i = 0; i < n; ++i)
                row[size_t(x) * size_t(2 * n) + size_t(2 * i)] = row[size_t(x) * size_t(2 * n) + size_t(2 * i) + 1] = channels[i];
            expected.push_back((n == 4 ? uint32_t(a) << 24 : 0xFF000000u) | uint32_t(r) << 16 | uint32_t(g) << 8 | b);
            break;
        }
        }
    }
}

// Encodes with WIC; false when this system's encoder does not take the format as it is.
bool EncodeWithWic(const TWicCase& c, int width, int height, bool interlaced, TBytes& file,
                   std::vector<uint32_t>& expected)
{
    TComPtr<IWICImagingFactory> factory;
    TComPtr<IStream> stream;
    TComPtr<IWICBitmapEncoder> encoder;
    TComPtr<IWICBitmapFrameEncode> frame;
    TComPtr<IPropertyBag2> options;
    HRESULT hr = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                  reinterpret_cast<void**>(factory.Put()));
    if (SUCCEEDED(hr))
        hr = CreateStreamOnHGlobal(nullptr, TRUE, stream.Put());
    if (SUCCEEDED(hr))
        hr = factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.Put());
    if (SUCCEEDED(hr))
        hr = encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache);
    if (SUCCEEDED(hr))
        hr = encoder->CreateNewFrame(frame.Put(), options.Put());
    if (SUCCEEDED(hr) && interlaced) {
        PROPBAG2 option = {};
        option.pstrName = const_cast<LPOLESTR>(L"InterlaceOption");
        VARIANT value;
        VariantInit(&value);
        value.vt = VT_BOOL;
        value.boolVal = VARIANT_TRUE;
        if (FAILED(options->Write(1, &option, &value)))
            return false;
    }
    if (SUCCEEDED(hr))
        hr = frame->Initialize(options.Get());
    if (SUCCEEDED(hr))
        hr = frame->SetSize(UINT(width), UINT(height));
    WICPixelFormatGUID format = *c.Format;
    if (SUCCEEDED(hr))
        hr = frame->SetPixelFormat(&format);
    if (FAILED(hr) || !IsEqualGUID(format, *c.Format))
        return false;
    if (!c.Palette.empty()) {
        TComPtr<IWICPalette> palette;
        std::vector<WICColor> colours(c.Palette.begin(), c.Palette.end());
        if (FAILED(factory->CreatePalette(palette.Put())) ||
            FAILED(palette->InitializeCustom(colours.data(), UINT(colours.size()))) ||
            FAILED(frame->SetPalette(palette.Get())))
            return false;
    }
    const UINT stride = UINT((width * c.Bits + 31) / 32 * 4);
    std::vector<uint8_t> pixels(size_t(stride) * size_t(height), 0);
    expected.clear();
    for (int y = 0; y < height; ++y)
        MakeRow(c, y, width, pixels.data() + size_t(y) * stride, expected);
    if (FAILED(frame->WritePixels(UINT(height), stride, UINT(pixels.size()), pixels.data())) ||
        FAILED(frame->Commit()) || FAILED(encoder->Commit()))
        return false;
    HGLOBAL memory = nullptr;
    STATSTG stat = {};
    if (FAILED(GetHGlobalFromStream(stream.Get(), &memory)) || FAILED(stream->Stat(&stat, STATFLAG_NONAME)))
        return false;
    const uint8_t* bytes = static_cast<const uint8_t*>(GlobalLock(memory));
    file.assign(bytes, bytes + stat.cbSize.QuadPart);
    GlobalUnlock(memory);
    return true;
}

} // namespace

TEST(PngReader, PicturesOfTheSystemsEncoderDecodePixelExact)
{
    const std::vector<uint32_t> sixColours{0xFF000000, 0xFFFF0000, 0x8000FF00, 0x000000FF, 0xFF123456, 0x40FFFFFF};
    std::vector<uint32_t> manyColours;
    for (uint32_t i = 0; i < 200; ++i)
        manyColours.push_back((i < 20 ? i * 12 : 255u) << 24 | (i * 2654435761u & 0xFFFFFF));
    const TWicCase cases[] = {
        {"24-bit BGR", &GUID_WICPixelFormat24bppBGR, 24, {}},
        {"32-bit BGRA", &GUID_WICPixelFormat32bppBGRA, 32, {}},
        {"black and white", &GUID_WICPixelFormatBlackWhite, 1, {}},
        {"2-bit grey", &GUID_WICPixelFormat2bppGray, 2, {}},
        {"4-bit grey", &GUID_WICPixelFormat4bppGray, 4, {}},
        {"8-bit grey", &GUID_WICPixelFormat8bppGray, 8, {}},
        {"16-bit grey", &GUID_WICPixelFormat16bppGray, 16, {}},
        {"48-bit RGB", &GUID_WICPixelFormat48bppRGB, 48, {}},
        {"64-bit RGBA", &GUID_WICPixelFormat64bppRGBA, 64, {}},
        {"1-bit indexed", &GUID_WICPixelFormat1bppIndexed, 1, {0xFF102030, 0x80F0E0D0}},
        {"4-bit indexed", &GUID_WICPixelFormat4bppIndexed, 4, sixColours},
        {"8-bit indexed", &GUID_WICPixelFormat8bppIndexed, 8, manyColours},
    };
    int decoded = 0;
    for (const TWicCase& c : cases)
        for (bool interlaced : {false, true}) {
            SCOPED_TRACE(testing::Message() << c.Name << (interlaced ? " interlaced" : ""));
            TBytes file;
            std::vector<uint32_t> expected;
            if (!EncodeWithWic(c, 37, 21, interlaced, file, expected)) {
                std::printf("  the system's encoder does not write %s%s\n", c.Name, interlaced ? " interlaced" : "");
                continue;
            }
            std::unique_ptr<TMemoryStream, TObjectFree> stream(New<TMemoryStream>());
            stream->WriteBuffer(file.data(), int32_t(file.size()));
            stream->SetPosition(0);
            std::unique_ptr<TPNGReader, TObjectFree> reader(New<TPNGReader>());
            reader->LoadFromStream(stream.get());
            ASSERT_EQ(reader->GetWidth(), 37);
            ASSERT_EQ(reader->GetHeight(), 21);
            EXPECT_EQ(PixelsOf(*reader), expected);
            ++decoded;
        }
    EXPECT_GE(decoded, 8) << "too few of the system encoder's formats could be checked";
}
