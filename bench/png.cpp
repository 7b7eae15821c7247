// The themed framework's PNG reader and writer on 4096 x 4096 photo-like RGB and RGBA pictures and
// a palette picture, against zlib alone in the same run: reading against inflating the same IDAT
// data, both into memory already in hand and into fresh memory (which on some machines costs more
// than the decoding: the first touch of every page), and the first read of a fresh process (the
// reader keeps its thread and buffers for the process, so later reads do not pay for them);
// writing, at the writer's own level 9, against deflating the same filtered rows at level 9 and
// at zlib's default level 6, which says what level 9 costs.
#include <windows.h>

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "platform/ScopeGuards.h"
#include "platform/Streams.h"
#include "skin/Skin.h"
#include "skin/SkinPngReader.h"
#include "skin/SkinPngWriter.h"

namespace {

constexpr int Side = 4096;
constexpr int Runs = 3;
// The writer's level, and the fixed level of the second baseline (zlib's default).
constexpr int WriterLevel = 9;
constexpr int FixedLevel = 6;

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

// Times the first read of the file in a new process of this program, which prints the figure.
void FirstReadInFreshProcess(const char* name, const TBytes& file)
{
    wchar_t folder[MAX_PATH], path[MAX_PATH], self[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    GetTempFileNameW(folder, L"png", 0, path);
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    {
        TKernelHandle out(CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        WriteFile(out.Get(), file.data(), DWORD(file.size()), &written, nullptr);
    }
    std::wstring command = L"\"" + std::wstring(self) + L"\" --first-read \"" + path + L"\" \"";
    for (const char* c = name; *c; ++c)
        command += wchar_t(*c);
    command += L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        TKernelHandle child(process.hProcess), thread(process.hThread);
        WaitForSingleObject(child.Get(), INFINITE);
    } else {
        std::printf("%s: could not start a fresh process for the first read\n", name);
    }
    DeleteFileW(path);
}

// In the fresh process: one read of the file, into memory in hand as in the runs above.
int FirstRead(const char* path, const char* name)
{
    std::unique_ptr<TMemoryStream, TObjectFree> stream(New<TMemoryStream>());
    stream->LoadFromFile(path);
    std::vector<uint32_t> target(size_t(Side) * Side);
    std::unique_ptr<TPNGReader, TObjectFree> reader(New<TPNGReader>());
    const double start = Now();
    reader->LoadFromStream(stream.get(), [&](int, int) { return target.data(); });
    std::printf("%s: first read in a fresh process %8.1f ms\n", name, Now() - start);
    return 0;
}

void Measure(const char* name, bool alpha, bool palette)
{
    const std::vector<uint32_t> pixels = MakePicture(alpha, palette);
    std::vector<double> writeMs, deflateMs, fixedMs, readMs, inflateMs, freshReadMs, freshInflateMs;
    size_t fixedBytes = 0;
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
        compress2(out.data(), &outSize, rows.data(), uLong(rows.size()), WriterLevel);
        deflateMs.push_back(Now() - start);
        outSize = uLongf(out.size());
        start = Now();
        compress2(out.data(), &outSize, rows.data(), uLong(rows.size()), FixedLevel);
        fixedMs.push_back(Now() - start);
        fixedBytes = outSize;

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
        if (!std::equal(pixels.begin(), pixels.end(), reader->GetPixels().begin(), reader->GetPixels().end())) {
            std::printf("%s: the picture did not read back unchanged\n", name);
            return;
        }
    }
    const double w = Median(writeMs), d = Median(deflateMs), f = Median(fixedMs), r = Median(readMs), i = Median(inflateMs);
    const double fr = Median(freshReadMs), fi = Median(freshInflateMs);
    const double mb = double(Side) * Side * 4 / MB;
    std::printf("%s: file %.1f MB at the writer's level %d; %.1f MB at level %d\n", name, double(file.size()) / MB,
                WriterLevel, double(fixedBytes) / MB, FixedLevel);
    std::printf("%s: write (level %d) %8.1f ms (%6.1f MB/s)   zlib deflate alone at level %d %8.1f ms   ratio %.2f (target <= 1.15)\n",
                name, WriterLevel, w, mb / w * 1000, WriterLevel, d, w / d);
    std::printf("%s: write (level %d) %8.1f ms   zlib deflate alone at level %d %8.1f ms   ratio %.2f (what the level costs)\n",
                name, WriterLevel, w, FixedLevel, f, w / f);
    std::printf("%s: read  %8.1f ms (%6.1f MB/s)   zlib inflate alone %8.1f ms   ratio %.2f (target <= 1.30)\n", name, r,
                mb / r * 1000, i, r / i);
    std::printf("%s: read into fresh memory %8.1f ms   inflate into fresh memory %8.1f ms   ratio %.2f\n", name, fr, fi,
                fr / fi);
    std::fflush(stdout);
    FirstReadInFreshProcess(name, file);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::string(argv[1]) == "--first-read") {
        InitSkin();
        const int result = FirstRead(argv[2], argv[3]);
        DoneSkin();
        return result;
    }
    PrintArchitecture();
    PrintMachineLoad();
    InitSkin();
    std::printf("%dx%d pictures, median of %d runs\n", Side, Side, Runs);
    Measure("RGB    ", false, false);
    Measure("RGBA   ", true, false);
    Measure("palette", false, true);
    DoneSkin();
    PrintMachineLoad();
    return 0;
}
