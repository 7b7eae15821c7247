// What the benchmarks share: the architecture line, a millisecond clock, the median of repeated runs and the
// process's private bytes, with a sampler of their peak while a piece of work runs.
#pragma once

#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include <cstdio>

constexpr double MB = 1024.0 * 1024.0;

// Figures from the 32-bit product and the 64-bit build differ, so every report says which it measured.
inline void PrintArchitecture()
{
#if defined(_WIN64)
    std::printf("measured: the 64-bit build (x86_64)\n");
#else
    std::printf("measured: the 32-bit build (i686)\n");
#endif
}

// The machine's load while a bench runs, since other work on a shared machine moves every
// figure: how busy all processors were over a quarter of a second, and the host's load average
// where Wine shows the host's /proc on drive Z:.
inline void PrintMachineLoad()
{
    auto ticks = [](const FILETIME& t) { return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    FILETIME idle0, kernel0, user0, idle1, kernel1, user1;
    GetSystemTimes(&idle0, &kernel0, &user0);
    Sleep(250);
    GetSystemTimes(&idle1, &kernel1, &user1);
    // Kernel time includes idle time.
    const double total = static_cast<double>(ticks(kernel1) - ticks(kernel0) + ticks(user1) - ticks(user0));
    const double idle = static_cast<double>(ticks(idle1) - ticks(idle0));
    SYSTEM_INFO system{};
    GetSystemInfo(&system);
    char average[64] = "unknown";
    if (FILE* file = std::fopen("Z:\\proc\\loadavg", "r")) {
        if (std::fscanf(file, "%63[^\n]", average) != 1)
            std::snprintf(average, sizeof(average), "unknown");
        std::fclose(file);
    }
    std::printf("machine load: %.0f%% of %lu processors busy over 0.25 s; host load average %s\n",
                total > 0 ? 100.0 * (total - idle) / total : 0.0, static_cast<unsigned long>(system.dwNumberOfProcessors),
                average);
}

inline double Now()
{
    static const LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

// The middle run: one slow run on a shared machine should not move the figure.
inline double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

inline PROCESS_MEMORY_COUNTERS ProcessMemory()
{
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
    return counters;
}

inline size_t PrivateBytes()
{
    return ProcessMemory().PagefileUsage;
}

// The highest private bytes seen while it runs, sampled every millisecond: the process's own
// peak counter never goes down, so it cannot tell one phase's peak from an earlier one.
class TPeakSampler {
public:
    TPeakSampler() : FBase(PrivateBytes()), FPeak(FBase)
    {
        FThread = std::thread([this] {
            while (!FStop) {
                Note(PrivateBytes());
                Sleep(1);
            }
        });
    }
    TPeakSampler(const TPeakSampler&) = delete;
    TPeakSampler& operator=(const TPeakSampler&) = delete;
    ~TPeakSampler()
    {
        if (FThread.joinable())
            Stop();
    }
    // Megabytes above the usage at the start.
    double Stop()
    {
        FStop = true;
        FThread.join();
        Note(PrivateBytes());
        return (static_cast<double>(FPeak) - static_cast<double>(FBase)) / MB;
    }

private:
    void Note(size_t usage)
    {
        if (usage > FPeak)
            FPeak = usage;
    }

    size_t FBase;
    std::atomic<size_t> FPeak;
    std::atomic<bool> FStop{false};
    std::thread FThread;
};
