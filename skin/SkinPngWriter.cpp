#include "skin/SkinPngWriter.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "platform/ImagingPng.h"
#include "platform/Streams.h"
#include "skin/SkinZlib.h"

SF_IMPLEMENT_ABSTRACT(TPNGWriter, TObject)

using namespace ImagingPng;

namespace {

constexpr size_t MaxPaletteColors = 256;

inline bool IsGrey(uint32_t c)
{
    return ((c >> 16) & 0xFF) == (c & 0xFF) && ((c >> 8) & 0xFF) == (c & 0xFF);
}

// Colours of an image in order of first appearance, found through a small open hash table, as
// many as a palette holds.
class TColorTable {
public:
    // Index of the colour, adding it when new; -1 for a new colour once the table is full.
    int Find(uint32_t c)
    {
        size_t slot = Hash(c);
        while (FSlots[slot].Used) {
            if (FSlots[slot].Color == c)
                return FSlots[slot].Index;
            slot = (slot + 1) & (Size - 1);
        }
        if (FColors.size() >= MaxPaletteColors)
            return -1;
        FSlots[slot] = TSlot{c, int(FColors.size()), true};
        FColors.push_back(c);
        return FSlots[slot].Index;
    }
    const std::vector<uint32_t>& Colors() const { return FColors; }

private:
    static constexpr size_t Size = 1024;
    static size_t Hash(uint32_t c) { return (c * 2654435761u) >> 22; }
    struct TSlot {
        uint32_t Color = 0;
        int Index = 0;
        bool Used = false;
    };
    TSlot FSlots[Size];
    std::vector<uint32_t> FColors;
};

// A key turns every pixel of its colour transparent, so it serves only while no visible colour
// has the key's colour channels.
bool KeyCollides(const std::vector<uint32_t>& colors, uint32_t key)
{
    return std::any_of(colors.begin(), colors.end(),
                       [&](uint32_t c) { return (c >> 24) != 0 && (c & 0xFFFFFF) == (key & 0xFFFFFF); });
}

void WriteChunk(TStream* stream, const char type[4], const uint8_t* data, size_t size)
{
    uint8_t head[8], tail[4];
    ChunkFrame(type, data, size, head, tail);
    stream->WriteBuffer(head, 8);
    if (size)
        stream->WriteBuffer(data, int32_t(size));
    stream->WriteBuffer(tail, 4);
}

} // namespace

TPNGWriter::TPNGWriter(int width, int height, const uint32_t* pixels, int stride) : FWidth(width), FHeight(height)
{
    if (width < 1 || height <= 0)
        throw Exception("Invalid dimensions");
    FPixels.resize(size_t(width) * size_t(height));
    if (stride == width) {
        std::memcpy(FPixels.data(), pixels, FPixels.size() * 4);
        return;
    }
    for (int y = 0; y < height; ++y)
        std::memcpy(FPixels.data() + size_t(y) * size_t(width), pixels + size_t(y) * size_t(stride), size_t(width) * 4);
}

// ---------------------------------------------------------------------------------------------
// Choosing the colour type

void TPNGWriter::Analyse()
{
    FGrey = FWritePalette = FAlpha = FTransparent = false;
    FKey = 0;
    FPalette.clear();
    if (CollectColors())
        ChooseFromPalette();
    else
        ChooseWithoutPalette();
}

bool TPNGWriter::CollectColors()
{
    auto table = std::make_unique<TColorTable>();
    uint32_t previous = ~FPixels[0];
    for (uint32_t c : FPixels) {
        if (c == previous)
            continue;
        previous = c;
        if (table->Find(c) < 0)
            return false;
    }
    FPalette = table->Colors();
    return true;
}

void TPNGWriter::ChooseFromPalette()
{
    const size_t n = FPalette.size();
    FBitDepth = n > 16 ? 8 : n > 4 ? 4 : n > 2 ? 2 : 1;
    int transparent = 0;
    bool partly = false;
    bool grey = FBitDepth == 1 || FBitDepth == 8;
    uint32_t key = 0;
    for (uint32_t c : FPalette) {
        const uint32_t a = c >> 24;
        if (a == 0) {
            ++transparent;
            key = c;
        } else if (a != 255) {
            partly = true;
        }
        grey = grey && IsGrey(c);
        // One bit of grey holds black and white only.
        grey = grey && (FBitDepth == 8 || (c & 0xFFFFFF) == 0 || (c & 0xFFFFFF) == 0xFFFFFF);
    }
    if (grey && !partly && transparent <= 1 && !(transparent == 1 && KeyCollides(FPalette, key))) {
        FColor = ccGrey;
        FGrey = true;
        FTransparent = transparent == 1;
        FKey = FBitDepth == 1 ? key & 1 : key & 0xFF;
        FPalette.clear();
        return;
    }
    FColor = ccIndexed;
    FWritePalette = true;
    FTransparent = std::any_of(FPalette.begin(), FPalette.end(), [](uint32_t c) { return (c >> 24) != 255; });
}

void TPNGWriter::ChooseWithoutPalette()
{
    FPalette.clear();
    FBitDepth = 8;
    uint32_t transparentColors[2] = {};
    int transparent = 0;
    bool partly = false;
    bool grey = true;
    for (uint32_t c : FPixels) {
        const uint32_t a = c >> 24;
        if (a == 0) {
            if (transparent == 0 || (transparent == 1 && c != transparentColors[0]))
                transparentColors[transparent++] = c;
        } else if (a != 255) {
            partly = true;
        }
        grey = grey && IsGrey(c);
    }
    FGrey = grey;
    FAlpha = partly || transparent > 1 || (transparent == 1 && KeyCollides(FPixels, transparentColors[0]));
    if (FAlpha) {
        FColor = grey ? ccGreyAlpha : ccRGBA;
        return;
    }
    FColor = grey ? ccGrey : ccRGB;
    FTransparent = transparent == 1;
    FKey = grey ? transparentColors[0] & 0xFF : transparentColors[0] & 0xFFFFFF;
}

// ---------------------------------------------------------------------------------------------
// Writing

void TPNGWriter::IndexPixels()
{
    auto table = std::make_unique<TColorTable>();
    for (uint32_t c : FPalette)
        table->Find(c);
    uint32_t previous = ~FPixels[0];
    uint32_t index = 0;
    for (uint32_t& c : FPixels) {
        if (c != previous) {
            previous = c;
            index = uint32_t(table->Find(c));
        }
        c = index;
    }
}

std::vector<uint8_t> TPNGWriter::TransparencyData() const
{
    if (FColor == ccIndexed) {
        std::vector<uint8_t> alpha;
        for (uint32_t c : FPalette)
            alpha.push_back(uint8_t(c >> 24));
        while (!alpha.empty() && alpha.back() == 255)
            alpha.pop_back();
        return alpha;
    }
    if (FColor == ccGrey)
        return {0, uint8_t(FKey)};
    return {0, uint8_t(FKey >> 16), 0, uint8_t(FKey >> 8), 0, uint8_t(FKey)};
}

size_t TPNGWriter::RowBytes() const
{
    int samples = 1;
    if (FColor == ccGreyAlpha)
        samples = 2;
    else if (FColor == ccRGB)
        samples = 3;
    else if (FColor == ccRGBA)
        samples = 4;
    return (size_t(FWidth) * size_t(samples * FBitDepth) + 7) / 8;
}

void TPNGWriter::PackRow(const uint32_t* pixels, uint8_t* out) const
{
    switch (FColor) {
    case ccIndexed:
    case ccGrey:
        if (FBitDepth == 8) {
            for (int x = 0; x < FWidth; ++x)
                out[x] = uint8_t(pixels[x]);
            return;
        }
        std::memset(out, 0, RowBytes());
        for (int x = 0; x < FWidth; ++x) {
            const size_t bit = size_t(x) * size_t(FBitDepth);
            const uint32_t v = pixels[x] & ((1u << FBitDepth) - 1);
            out[bit >> 3] = uint8_t(out[bit >> 3] | (v << (8 - FBitDepth - (bit & 7))));
        }
        return;
    case ccGreyAlpha:
        for (int x = 0; x < FWidth; ++x, out += 2) {
            out[0] = uint8_t(pixels[x]);
            out[1] = uint8_t(pixels[x] >> 24);
        }
        return;
    case ccRGB:
        for (int x = 0; x < FWidth; ++x, out += 3) {
            out[0] = uint8_t(pixels[x] >> 16);
            out[1] = uint8_t(pixels[x] >> 8);
            out[2] = uint8_t(pixels[x]);
        }
        return;
    case ccRGBA:
        for (int x = 0; x < FWidth; ++x, out += 4) {
            out[0] = uint8_t(pixels[x] >> 16);
            out[1] = uint8_t(pixels[x] >> 8);
            out[2] = uint8_t(pixels[x]);
            out[3] = uint8_t(pixels[x] >> 24);
        }
        return;
    }
}

void TPNGWriter::SaveToStream(TStream* stream)
{
    stream->WriteBuffer(Signature, 8);
    Analyse();
    static constexpr TPngColorType ColorTypes[] = {ctIndexed, ctGrey, ctGreyAlpha, ctRGB, ctRGBA};
    const std::vector<uint8_t> header =
        HeaderData(uint32_t(FWidth), uint32_t(FHeight), uint8_t(FBitDepth), ColorTypes[FColor - ccIndexed]);
    WriteChunk(stream, "IHDR", header.data(), header.size());
    if (FWritePalette) {
        IndexPixels();
        std::vector<uint8_t> plte;
        for (uint32_t c : FPalette) {
            plte.push_back(uint8_t(c >> 16));
            plte.push_back(uint8_t(c >> 8));
            plte.push_back(uint8_t(c));
        }
        WriteChunk(stream, "PLTE", plte.data(), plte.size());
    }
    if (FTransparent) {
        const std::vector<uint8_t> trns = TransparencyData();
        if (!trns.empty())
            WriteChunk(stream, "tRNS", trns.data(), trns.size());
    }

    const size_t rowBytes = RowBytes();
    const bool filtered = FColor != ccIndexed && FBitDepth >= 5;
    const int filterBytes = std::max<int>(1, int(rowBytes / size_t(FWidth)));
    std::vector<uint8_t> prior(rowBytes, 0), row(rowBytes), out(rowBytes + 1, 0);
    std::unique_ptr<TMemoryStream, TObjectFree> data(New<TMemoryStream>());
    {
        std::unique_ptr<TCompressionStream, TObjectFree> z(New<TCompressionStream>(data.get(), 9));
        for (int y = 0; y < FHeight; ++y) {
            PackRow(FPixels.data() + size_t(y) * size_t(FWidth), row.data());
            if (filtered) {
                FilterRowBest(row.data(), prior.data(), rowBytes, filterBytes, TFilterChoice::PlainSum, out.data());
                prior.swap(row);
            } else {
                std::memcpy(out.data() + 1, row.data(), rowBytes);
            }
            z->WriteBuffer(out.data(), int32_t(rowBytes + 1));
        }
        z->Finish();
    }
    // One IDAT, unless the data outgrows what a chunk's length can say.
    const uint8_t* bytes = static_cast<const uint8_t*>(data->GetMemory());
    const size_t total = size_t(data->GetSize());
    constexpr size_t MaxChunk = size_t(1) << 30;
    size_t done = 0;
    do {
        const size_t part = std::min(MaxChunk, total - done);
        WriteChunk(stream, "IDAT", bytes + done, part);
        done += part;
    } while (done < total);
    WriteChunk(stream, "IEND", nullptr, 0);
}
