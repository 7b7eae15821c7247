// The themed framework's PNG reader and writer on 4096 x 4096 photo-like RGB and RGBA pictures and
// a palette picture, against zlib alone in the same run: reading against inflating the same IDAT
// data, both into memory already in hand and into fresh memory (which on some machines costs more
// than the decoding: the first touch of every page), writing against deflating the same filtered
// rows at the same level (9).
#include <windows.h>

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "platform/Streams.h"
#include "skin/Skin.h"
#include "skin/SkinPngReader.h"
#include "skin/SkinPngWriter.h"

namespace {

constexpr int Side = 4096;
constexpr int Runs = 3;

using TBytes = std::vector<uint8_t>;

// Smooth shading with a little grain; alpha (when asked) a soft radial fade; palette pictures
// posterized to a few levels per channel.
std::vector<uint32_t> MakePicture(bool alpha, bool palette)
{
    std::vector<uint32_t> pixels(size_t(Side) * Side);
    uint32_t seed = 4711;
    for (int y = 0; y < Side; ++y)
        for (int x = 0; x < Side; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int grain = int(seed >> 29) - 4;
            int r = std::clamp(x * 255 / Side + grain, 0, 255);
            int g = std::clamp(y * 255 / Side + grain, 0, 255);
            int b = std::clamp(((x + y) % 1024) / 4 + grain, 0, 255);
            int a = 255;
            if (alpha) {
                const int dx = x - Side / 2, dy = y - Side / 2;
                a = std::clamp(255 - int((int64_t(dx) * dx + int64_t(dy) * dy) / (Side * 32)), 0, 255);
            }
            if (palette) {
                r = r / 43 * 51;
                g = g / 43 * 51;
                b = b / 64 * 85;
            }
            pixels[size_t(y) * Side + size_t(x)] = uint32_t(a) << 24 | uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b);
        }
    return pixels;
}

TBytes IdatData(const TBytes& file)
{
    TBytes data;
    for (size_t at = 8; at + 12 <= file.size();) {
        const uint32_t length = uint32_t(file[at]) << 24 | uint32_t(file[at + 1]) << 16 | uint32_t(file[at + 2]) << 8 | file[at + 3];
        if (std::equal(file.begin() + long(at) + 4, file.begin() + long(at) + 8, "IDAT"))
            data.insert(data.end(), file.begin() + long(at) + 8, file.begin() + long(at + 8 + length));
        at += 12 + length;
    }
    return data;
}

size_t InflatedSize(const TBytes& compressed, TBytes& out)
{
    z_stream z{};
    inflateInit(&z);
    z.next_in = const_cast<uint8_t*>(compressed.data());
    z.avail_in = uInt(compressed.size());
    z.next_out = out.data();
    z.avail_out = uInt(out.size());
    inflate(&z, Z_FINISH);
    inflateEnd(&z);
    return out.size() - z.avail_out;
}

void Measure(const char* name, bool alpha, bool palette)
{
    const std::vector<uint32_t> pixels = MakePicture(alpha, palette);
    std::vector<double> writeMs, deflateMs, readMs, inflateMs, freshReadMs, freshInflateMs;
    std::vector<uint32_t> target(pixels.size());
    TBytes inflated(size_t(Side) * (size_t(Side) * 4 + 1));
    TBytes file;
    for (int run = 0; run < Runs; ++run) {
        std::unique_ptr<TMemoryStream, TObjectFree> stream(New<TMemoryStream>());
        double start = Now();
        {
            std::unique_ptr<TPNGWriter, TObjectFree> writer(New<TPNGWriter>(Side, Side, pixels.data(), Side));
            writer->SaveToStream(stream.get());
        }
        writeMs.push_back(Now() - start);
        const uint8_t* bytes = static_cast<const uint8_t*>(stream->GetMemory());
        file.assign(bytes, bytes + stream->GetSize());

        // The same filtered rows deflated by zlib alone.
        const TBytes idat = IdatData(file);
        TBytes rows(size_t(Side) * (size_t(Side) * 4 + 1) + 1024);
        rows.resize(InflatedSize(idat, rows));
        TBytes out(compressBound(uLong(rows.size())));
        uLongf outSize = uLongf(out.size());
        start = Now();
        compress2(out.data(), &outSize, rows.data(), uLong(rows.size()), 9);
        deflateMs.push_back(Now() - start);

        // Reading the file against inflating its image data alone, into memory in hand.
        stream->SetPosition(0);
        std::unique_ptr<TPNGReader, TObjectFree> reader(New<TPNGReader>());
        start = Now();
        reader->LoadFromStream(stream.get(), [&](int, int) { return target.data(); });
        readMs.push_back(Now() - start);
        start = Now();
        InflatedSize(idat, inflated);
        inflateMs.push_back(Now() - start);
        if (target != pixels) {
            std::printf("%s: the picture did not read back unchanged\n", name);
            return;
        }
        // The same into fresh memory each.
        stream->SetPosition(0);
        start = Now();
        reader->LoadFromStream(stream.get());
        freshReadMs.push_back(Now() - start);
        start = Now();
        {
            TBytes fresh(rows.size());
            InflatedSize(idat, fresh);
        }
        freshInflateMs.push_back(Now() - start);
        if (reader->GetPixels() != pixels) {
            std::printf("%s: the picture did not read back unchanged\n", name);
            return;
        }
    }
    const double w = Median(writeMs), d = Median(deflateMs), r = Median(readMs), i = Median(inflateMs);
    const double fr = Median(freshReadMs), fi = Median(freshInflateMs);
    const double mb = double(Side) * Side * 4 / MB;
    std::printf("%s: file %.1f MB\n", name, double(file.size()) / MB);
    std::printf("%s: write %8.1f ms (%6.1f MB/s)   zlib deflate alone %8.1f ms   ratio %.2f (target <= 1.15)\n", name, w,
                mb / w * 1000, d, w / d);
    std::printf("%s: read  %8.1f ms (%6.1f MB/s)   zlib inflate alone %8.1f ms   ratio %.2f (target <= 1.30)\n", name, r,
                mb / r * 1000, i, r / i);
    std::printf("%s: read into fresh memory %8.1f ms   inflate into fresh memory %8.1f ms   ratio %.2f\n", name, fr, fi,
                fr / fi);
}

} // namespace

int main()
{
    PrintArchitecture();
    InitSkin();
    std::printf("%dx%d pictures, median of %d runs\n", Side, Side, Runs);
    Measure("RGB    ", false, false);
    Measure("RGBA   ", true, false);
    Measure("palette", false, true);
    DoneSkin();
    return 0;
}
