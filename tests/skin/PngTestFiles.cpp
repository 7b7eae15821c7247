#include "PngTestFiles.h"

#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace {

struct TPass {
    int X, Y, DX, DY;
};
const TPass Whole[] = {{0, 0, 1, 1}};
const TPass Adam7[] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4}, {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};

int Paeth(int a, int b, int c)
{
    const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    if (pa <= pb && pa <= pc)
        return a;
    return pb <= pc ? b : c;
}

uint32_t Scale(uint32_t v, int depth)
{
    return depth == 16 ? v >> 8 : v * 255 / ((1u << depth) - 1);
}

} // namespace

int TSampleImage::Channels() const
{
    switch (ColorType) {
    case 2:
        return 3;
    case 4:
        return 2;
    case 6:
        return 4;
    default:
        return 1;
    }
}

TBytes ScanLines(const TSampleImage& image, bool interlaced, const TRowFilter& filter)
{
    const int channels = image.Channels();
    const int bitsPerPixel = channels * image.Depth;
    const int bpp = std::max(1, bitsPerPixel / 8);
    TBytes out;
    const TPass* passes = interlaced ? Adam7 : Whole;
    const int passCount = interlaced ? 7 : 1;
    for (int p = 0; p < passCount; ++p) {
        const TPass& pass = passes[p];
        if (image.Width <= pass.X || image.Height <= pass.Y)
            continue;
        const int width = (image.Width - pass.X + pass.DX - 1) / pass.DX;
        const size_t rowBytes = (size_t(width) * bitsPerPixel + 7) / 8;
        TBytes prior(rowBytes, 0);
        int index = 0;
        for (int y = pass.Y; y < image.Height; y += pass.DY, ++index) {
            TBytes row(rowBytes, 0);
            size_t bit = 0;
            for (int i = 0; i < width; ++i)
                for (int c = 0; c < channels; ++c) {
                    const uint32_t v = image.At(pass.X + i * pass.DX, y, c);
                    if (image.Depth == 16) {
                        row[bit / 8] = uint8_t(v >> 8);
                        row[bit / 8 + 1] = uint8_t(v);
                    } else if (image.Depth == 8) {
                        row[bit / 8] = uint8_t(v);
                    } else {
                        row[bit / 8] = uint8_t(row[bit / 8] | (v << (8 - image.Depth - bit % 8)));
                    }
                    bit += size_t(image.Depth);
                }
            const uint8_t type = filter ? filter(index) : 0;
            out.push_back(type);
            for (size_t i = 0; i < rowBytes; ++i) {
                const int a = i >= size_t(bpp) ? row[i - bpp] : 0;
                const int b = prior[i];
                const int c = i >= size_t(bpp) ? prior[i - bpp] : 0;
                int predictor = 0;
                if (type == 1)
                    predictor = a;
                else if (type == 2)
                    predictor = b;
                else if (type == 3)
                    predictor = (a + b) / 2;
                else if (type == 4)
                    predictor = Paeth(a, b, c);
                out.push_back(uint8_t(row[i] - predictor));
            }
            prior = row;
        }
    }
    return out;
}

TBytes Deflate(const TBytes& raw, int level)
{
    uLongf size = compressBound(uLong(raw.size()));
    TBytes out(size);
    if (compress2(out.data(), &size, raw.data(), uLong(raw.size()), level) != Z_OK)
        throw std::runtime_error("compress2 failed");
    out.resize(size);
    return out;
}

TPngFile::TPngFile() : FBytes{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'} {}

TPngFile& TPngFile::Chunk(const std::string& type, const TBytes& data)
{
    PutBE32(FBytes, uint32_t(data.size()));
    const size_t typeAt = FBytes.size();
    FBytes.insert(FBytes.end(), type.begin(), type.begin() + 4);
    FBytes.insert(FBytes.end(), data.begin(), data.end());
    PutBE32(FBytes, uint32_t(crc32(0, FBytes.data() + typeAt, uInt(4 + data.size()))));
    return *this;
}

TPngFile& TPngFile::Header(uint32_t width, uint32_t height, int depth, int colorType, bool interlaced, int compression)
{
    TBytes data;
    PutBE32(data, width);
    PutBE32(data, height);
    data.push_back(uint8_t(depth));
    data.push_back(uint8_t(colorType));
    data.push_back(uint8_t(compression));
    data.push_back(0);
    data.push_back(interlaced ? 1 : 0);
    return Chunk("IHDR", data);
}

TPngFile& TPngFile::Data(const TBytes& compressed, size_t pieceSize, bool emptyBetween)
{
    if (pieceSize == 0)
        return Chunk("IDAT", compressed);
    for (size_t at = 0; at < compressed.size(); at += pieceSize) {
        Chunk("IDAT", TBytes(compressed.begin() + at, compressed.begin() + std::min(compressed.size(), at + pieceSize)));
        if (emptyBetween)
            Chunk("IDAT", {});
    }
    return *this;
}

TBytes BuildPng(const TSampleImage& image, bool interlaced, const TBytes& palette, const TBytes& transparency,
                const TRowFilter& filter)
{
    TPngFile file;
    file.Header(uint32_t(image.Width), uint32_t(image.Height), image.Depth, image.ColorType, interlaced);
    if (!palette.empty())
        file.Chunk("PLTE", palette);
    if (!transparency.empty())
        file.Chunk("tRNS", transparency);
    return file.Data(Deflate(ScanLines(image, interlaced, filter))).End().Bytes();
}

std::vector<uint32_t> ExpectedPixels(const TSampleImage& image, const TBytes& palette, const TBytes& transparency)
{
    std::vector<uint32_t> out;
    const int d = image.Depth;
    for (int y = 0; y < image.Height; ++y)
        for (int x = 0; x < image.Width; ++x) {
            uint32_t pixel = 0;
            switch (image.ColorType) {
            case 0: {
                const uint32_t v = image.At(x, y, 0), g = Scale(v, d);
                // 16 bits compare whole, 2 bits their low two bits, the others the low byte.
                bool key = false;
                if (transparency.size() >= 2)
                    key = v == (d == 16 ? uint32_t(transparency[0] << 8 | transparency[1])
                                : d == 2 ? transparency[1] & 3u
                                         : transparency[1]);
                pixel = (key ? 0u : 0xFF000000u) | g << 16 | g << 8 | g;
                break;
            }
            case 2: {
                const uint32_t r = image.At(x, y, 0), g = image.At(x, y, 1), b = image.At(x, y, 2);
                bool key = transparency.size() >= 6;
                for (int c = 0; c < 3 && key; ++c) {
                    const uint32_t k = d == 16 ? uint32_t(transparency[2 * c] << 8 | transparency[2 * c + 1])
                                               : transparency[2 * c + 1];
                    key = image.At(x, y, c) == k;
                }
                pixel = (key ? 0u : 0xFF000000u) | Scale(r, d) << 16 | Scale(g, d) << 8 | Scale(b, d);
                break;
            }
            case 3: {
                const uint32_t i = image.At(x, y, 0);
                const uint32_t a = i < transparency.size() ? transparency[i] : 255;
                pixel = a << 24 | uint32_t(palette[3 * i]) << 16 | uint32_t(palette[3 * i + 1]) << 8 | palette[3 * i + 2];
                break;
            }
            case 4: {
                const uint32_t g = Scale(image.At(x, y, 0), d);
                pixel = Scale(image.At(x, y, 1), d) << 24 | g << 16 | g << 8 | g;
                break;
            }
            default:
                pixel = Scale(image.At(x, y, 3), d) << 24 | Scale(image.At(x, y, 0), d) << 16 |
                        Scale(image.At(x, y, 1), d) << 8 | Scale(image.At(x, y, 2), d);
            }
            out.push_back(pixel);
        }
    return out;
}

std::vector<TChunk> ChunksOf(const TBytes& file)
{
    std::vector<TChunk> chunks;
    size_t at = 8;
    while (at + 12 <= file.size()) {
        const uint32_t length = uint32_t(file[at]) << 24 | uint32_t(file[at + 1]) << 16 | uint32_t(file[at + 2]) << 8 | file[at + 3];
        if (length > file.size() - at - 12)
            break;
        chunks.push_back({std::string(file.begin() + long(at) + 4, file.begin() + long(at) + 8),
                          TBytes(file.begin() + long(at) + 8, file.begin() + long(at + 8 + length))});
        at += 12 + length;
    }
    return chunks;
}

void FixCrcs(TBytes& file)
{
    size_t at = 8;
    while (at + 12 <= file.size()) {
        const uint32_t length = uint32_t(file[at]) << 24 | uint32_t(file[at + 1]) << 16 | uint32_t(file[at + 2]) << 8 | file[at + 3];
        if (length > file.size() - at - 12)
            return;
        const uint32_t crc = uint32_t(crc32(0, file.data() + at + 4, uInt(4 + length)));
        uint8_t* p = file.data() + at + 8 + length;
        p[0] = uint8_t(crc >> 24);
        p[1] = uint8_t(crc >> 16);
        p[2] = uint8_t(crc >> 8);
        p[3] = uint8_t(crc);
        at += 12 + length;
    }
}
