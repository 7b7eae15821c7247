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

// A key turns every pixel of its colour transparent, so it serves only while no visible colour
// has the key's colour channels.
bool Collides(uint32_t c, uint32_t key)
{
    return (c >> 24) != 0 && (c & 0xFFFFFF) == (key & 0xFFFFFF);
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

// Colours of an image in order of first appearance, found through a small open hash table, as
// many as a palette holds.
class TPNGWriter::TColorTable {
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

TPNGWriter::TPNGWriter(int width, int height, const uint32_t* pixels, int stride)
    : FWidth(width), FHeight(height), FPixels(pixels), FStride(std::max(stride, width))
{
    if (width < 1 || height <= 0)
        throw Exception("Invalid dimensions");
}

TPNGWriter::~TPNGWriter() = default;

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
    FTable = std::make_unique<TColorTable>();
    uint32_t previous = ~FPixels[0];
    for (int y = 0; y < FHeight; ++y)
        for (const uint32_t* p = Row(y); p != Row(y) + FWidth; ++p) {
            if (*p == previous)
                continue;
            previous = *p;
            if (FTable->Find(*p) < 0) {
                FTable.reset();
                return false;
            }
        }
    FPalette = FTable->Colors();
    return true;
}

bool TPNGWriter::KeyCollides(uint32_t key) const
{
    for (int y = 0; y < FHeight; ++y)
        if (std::any_of(Row(y), Row(y) + FWidth, [key](uint32_t c) { return Collides(c, key); }))
            return true;
    return false;
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
    const bool keyClash =
        transparent == 1 && std::any_of(FPalette.begin(), FPalette.end(), [key](uint32_t c) { return Collides(c, key); });
    if (grey && !partly && transparent <= 1 && !keyClash) {
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
    for (int y = 0; y < FHeight; ++y)
        for (const uint32_t* p = Row(y); p != Row(y) + FWidth; ++p) {
            const uint32_t c = *p, a = c >> 24;
            if (a == 0) {
                if (transparent == 0 || (transparent == 1 && c != transparentColors[0]))
                    transparentColors[transparent++] = c;
            } else if (a != 255) {
                partly = true;
            }
            grey = grey && IsGrey(c);
        }
    FGrey = grey;
    FAlpha = partly || transparent > 1 || (transparent == 1 && KeyCollides(transparentColors[0]));
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
    case ccGrey: {
        // Palette indexes are looked up as the row is packed; grey is the blue byte (its low bit
        // at one bit per pixel).
        const uint32_t mask = (1u << FBitDepth) - 1;
        uint32_t previous = ~pixels[0], value = 0;
        if (FBitDepth < 8)
            std::memset(out, 0, RowBytes());
        for (int x = 0; x < FWidth; ++x) {
            if (pixels[x] != previous) {
                previous = pixels[x];
                value = (FColor == ccIndexed ? uint32_t(FTable->Find(pixels[x])) : pixels[x]) & mask;
            }
            if (FBitDepth == 8) {
                out[x] = uint8_t(value);
                continue;
            }
            const size_t bit = size_t(x) * size_t(FBitDepth);
            out[bit >> 3] = uint8_t(out[bit >> 3] | (value << (8 - FBitDepth - (bit & 7))));
        }
        return;
    }
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
            PackRow(Row(y), row.data());
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
