// Blend throughput of the plain and MMX mixing paths against memcpy bandwidth measured in the
// same run. Bytes count once per pixel touched (read and written in place, like memcpy's read
// and write). Target: the faster path's FillRectT reaches at least half of memcpy bandwidth.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "bench/BenchSupport.h"
#include "graphics/Gfx32.h"
#include "graphics/Gfx32_CPUid.h"

namespace {

constexpr int Width = 1920;
constexpr int Height = 1080;
constexpr size_t FrameBytes = size_t(Width) * Height * 4;

double Seconds()
{
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return double(now.QuadPart) / double(frequency.QuadPart);
}

// Best of several rounds, in bytes per second, for a body that processes `bytes` per call.
double Bandwidth(size_t bytes, int callsPerRound, const std::function<void()>& body)
{
    double best = 1e30;
    for (int round = 0; round < 7; ++round) {
        double start = Seconds();
        for (int i = 0; i < callsPerRound; ++i)
            body();
        best = std::min(best, (Seconds() - start) / callsPerRound);
    }
    return double(bytes) / best;
}

void Report(const char* name, double bandwidth, double baseline)
{
    std::printf("%-44s %8.0f MB/s  %6.1f Mpix/s  %5.2f x memcpy\n", name, bandwidth / 1e6, bandwidth / 4e6,
                bandwidth / baseline);
}

}

int main()
{
    PrintArchitecture();
    Gfx32Startup();
    std::vector<uint32_t> source(FrameBytes / 4, 0x80402010u);
    std::vector<uint32_t> dest(FrameBytes / 4, 0);
    volatile uint32_t sink = 0;

    double memcpyRate = Bandwidth(FrameBytes, 20, [&] {
        std::memcpy(dest.data(), source.data(), FrameBytes);
        sink = sink + dest[12345];
    });
    std::printf("Frame %dx%d (%.1f MB), MMX %s, SSE2 %s\n", Width, Height, FrameBytes / 1e6, HasMMX() ? "yes" : "no",
                HasSSE2() ? "yes" : "no");
    Report("memcpy (baseline)", memcpyRate, memcpyRate);

    std::unique_ptr<TBitmap32, TObjectFree> bitmap(New<TBitmap32>());
    bitmap->SetSize(Width, Height);
    bitmap->FillRect(0, 0, Width, Height, 0xFF808080u);

    double bestFill = 0;
    for (bool mmx : {false, true}) {
        if (mmx && !HasMMX())
            continue;
        BindCombineRoutines(mmx);
        const char* path = mmx ? "MMX" : "plain";
        for (TColor32 colour : {0xC0204060u, 0x80FF0000u}) {
            double rate = Bandwidth(FrameBytes, 10, [&] { bitmap->FillRectT(0, 0, Width, Height, colour); });
            char name[64];
            std::snprintf(name, sizeof(name), "FillRectT %s, alpha %u", path, colour >> 24);
            Report(name, rate, memcpyRate);
            bestFill = std::max(bestFill, rate);
        }
        TCombineColorInPlace combine = mmx ? CombineColorInPlaceMMX : CombineColorInPlacePlain;
        double rate = Bandwidth(FrameBytes, 5, [&] {
            uint32_t* p = dest.data();
            for (size_t i = 0, n = dest.size(); i < n; ++i)
                combine(0xC0204060u, p[i], 0xC0);
            EMMS();
        });
        char name[64];
        std::snprintf(name, sizeof(name), "CombineColorInPlace %s, per pixel", path);
        Report(name, rate, memcpyRate);
        TCombineLineInPlace line = mmx ? CombineLineInPlaceMMX : CombineLineInPlacePlain;
        rate = Bandwidth(FrameBytes, 10, [&] { line(0xC0204060u, dest.data(), int(dest.size()), 0xC0); });
        std::snprintf(name, sizeof(name), "CombineLineInPlace %s, whole buffer", path);
        Report(name, rate, memcpyRate);
    }
    BindCombineRoutines(HasMMX());

    double fraction = bestFill / memcpyRate;
    std::printf("Faster FillRectT reaches %.2f of memcpy bandwidth (target 0.50): %s\n", fraction,
                fraction >= 0.5 ? "met" : "NOT met");
    Gfx32Shutdown();
    return sink == 0xFFFFFFFFu;
}
