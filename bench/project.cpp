// Saving and loading a project of 100 pages with 20 elements each and 10 embedded 12-megapixel
// images, against the time the image codec alone takes to write and read those images, and the
// memory the save and the load need beyond the decoded images.
// Usage: bench_project.exe            (builds, saves, then loads in a child process)
//        bench_project.exe load FILE  (the child: loads FILE and reports)
#include <windows.h>
#include <psapi.h>

#include <atomic>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <thread>
#include <string>
#include <vector>

#include "document/LayerImage.h"
#include "document/SheetfoldProject.h"
#include "platform/Streams.h"

namespace {

constexpr int PageCount = 100;
constexpr int ElementsPerPage = 20;
constexpr int ImageCount = 10;
constexpr int ImageWidth = 4000;
constexpr int ImageHeight = 3000;
constexpr double MB = 1024.0 * 1024.0;

double Now()
{
    LARGE_INTEGER frequency;
    LARGE_INTEGER counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

PROCESS_MEMORY_COUNTERS Memory()
{
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
    return counters;
}

// The highest private bytes seen while it runs, sampled every millisecond: the process's own
// peak counter never goes down, so it cannot tell one phase's peak from an earlier one.
class TPeakSampler {
public:
    TPeakSampler() : FBase(Memory().PagefileUsage), FPeak(FBase)
    {
        FThread = std::thread([this] {
            while (!FStop) {
                size_t usage = Memory().PagefileUsage;
                if (usage > FPeak)
                    FPeak = usage;
                Sleep(1);
            }
        });
    }
    // Megabytes above the usage at the start.
    double Stop()
    {
        FStop = true;
        FThread.join();
        size_t usage = Memory().PagefileUsage;
        if (usage > FPeak)
            FPeak = usage;
        return (static_cast<double>(FPeak) - static_cast<double>(FBase)) / MB;
    }

private:
    size_t FBase;
    std::atomic<size_t> FPeak;
    std::atomic<bool> FStop{false};
    std::thread FThread;
};

// Swallows what is written: the cost of a save without the disk.
class TNullStream : public TStream {
public:
    int32_t Read(void*, int32_t) override { return 0; }
    int32_t Write(const void*, int32_t count) override
    {
        FPosition += count;
        return count;
    }
    int64_t Seek(int64_t offset, TSeekOrigin origin) override
    {
        if (origin == TSeekOrigin::soBeginning)
            FPosition = offset;
        else
            FPosition += offset;
        return FPosition;
    }

private:
    int64_t FPosition = 0;
};

double DecodedImagesMB()
{
    return static_cast<double>(ImageCount) * ImageWidth * ImageHeight * 3 / MB;
}

// One picture's BMP bytes, as an embedded image stores them.
std::string MakeImagePayload(int seed)
{
    TILBitmapHandle b;
    if (IL_CreateBitmap(&b, IL_MEMORY_OWNED, ImageWidth, ImageHeight, 24, 1, nullptr, IL_TOP_DOWN, nullptr, 0) !=
        IL_SUCCESS)
        throw Exception("Cannot create a test picture");
    for (int y = 0; y < ImageHeight; ++y) {
        uint8_t* row = b.Pixels + static_cast<ptrdiff_t>(y) * b.BytesPerLine;
        for (int x = 0; x < ImageWidth * 3; ++x)
            row[x] = static_cast<uint8_t>(x * 3 + y * 5 + seed);
    }
    IL_BitmapChanged(&b);
    std::string payload = EncodeBitmapData(b);
    IL_FreeBitmap(&b);
    return payload;
}

void AddElements(TSheetfoldPage* page, int pageIndex)
{
    for (int i = 0; i < ElementsPerPage; ++i) {
        int x = 500 + (i % 5) * 3500;
        int y = 500 + (i / 5) * 5000;
        TLayerElement* element = nullptr;
        switch (i % 3) {
        case 0:
            element = New<TLayerRect>(page);
            break;
        case 1:
            element = New<TLayerEllipse>(page);
            break;
        default: {
            auto* text = New<TLayerText>(page);
            text->SetText("Page " + std::to_string(pageIndex) + ", a caption of a picture, element " + std::to_string(i));
            element = text;
            break;
        }
        }
        element->SetBounds(x, y, 3000, 4000);
        element->SetColor(static_cast<TColor>(0x102030 * (i + 1)));
    }
}

int RunLoad(const std::string& fileName)
{
    PROCESS_MEMORY_COUNTERS before = Memory();
    std::unique_ptr<TSheetfoldProject, TObjectFree> project(New<TSheetfoldProject>());
    TPeakSampler sampler;
    double start = Now();
    project->LoadFromFile(fileName);
    double elapsed = Now() - start;
    double peakPrivate = sampler.Stop();
    PROCESS_MEMORY_COUNTERS after = Memory();
    double peakWorking =
        (static_cast<double>(after.PeakWorkingSetSize) - static_cast<double>(before.WorkingSetSize)) / MB;
    int elements = 0;
    for (int i = 0; i < project->Count(); ++i)
        elements += project->GetPage(i)->Count();
    std::printf("%.1f %.1f %.1f %d %d\n", elapsed, peakPrivate, peakWorking, project->Count(), elements);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    try {
        if (argc == 3 && std::string(argv[1]) == "load")
            return RunLoad(argv[2]);

        std::printf("Project of %d pages x %d elements with %d embedded %dx%d images (%.0f MB decoded)\n", PageCount,
                    ElementsPerPage, ImageCount, ImageWidth, ImageHeight, DecodedImagesMB());
        std::vector<std::string> payloads;
        for (int i = 0; i < ImageCount; ++i)
            payloads.push_back(MakeImagePayload(i));

        // Baseline: the codec alone, writing and reading the same pictures.
        double encodeMs = 0;
        double decodeMs = 0;
        for (int i = 0; i < ImageCount; ++i) {
            TILBitmapHandle b;
            double start = Now();
            if (DecodeBitmapData(payloads[i], b) != IL_SUCCESS)
                throw Exception("Cannot decode a test picture");
            decodeMs += Now() - start;
            start = Now();
            std::string again = EncodeBitmapData(b);
            encodeMs += Now() - start;
            IL_FreeBitmap(&b);
        }

        std::unique_ptr<TSheetfoldProject, TObjectFree> project(New<TSheetfoldProject>());
        for (int p = 0; p < PageCount; ++p) {
            TSheetfoldPage* page = New<TSheetfoldPage>(project.get());
            AddElements(page, p);
            if (p < ImageCount) {
                std::string bytes;
                {
                    std::unique_ptr<TStringStream, TObjectFree> stream(New<TStringStream>());
                    TXDataStream data(stream.get());
                    data.BeginGroup("PAGE");
                    data.BeginGroup("IMAG");
                    data.WriteData("BMPD", payloads[p].data(), static_cast<int32_t>(payloads[p].size()));
                    data.WriteRect("BNDR", RECT{1000, 1000, 17000, 13000});
                    data.EndGroup("IMAG");
                    data.EndGroup("PAGE");
                    bytes = stream->GetDataString();
                }
                ReadPagePayload(page, bytes);
            }
        }
        payloads.clear();
        payloads.shrink_to_fit();

        char folder[MAX_PATH];
        GetTempPathA(MAX_PATH, folder);
        std::string fileName = std::string(folder) + "bench_project.sfp";
        TNullStream null;
        double start = Now();
        project->SaveToStream(&null);
        double serializeMs = Now() - start;
        TPeakSampler saveSampler;
        start = Now();
        project->SaveToFile(fileName);
        double saveMs = Now() - start;
        double saveExtra = saveSampler.Stop();
        project.reset();

        // The disk alone: the same number of bytes written in large blocks.
        WIN32_FILE_ATTRIBUTE_DATA attributes{};
        GetFileAttributesExA(fileName.c_str(), GetFileExInfoStandard, &attributes);
        std::string rawName = fileName + ".raw";
        double rawMs = 0;
        {
            std::vector<char> block(1 << 20, 'x');
            HANDLE raw = CreateFileA(rawName.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            start = Now();
            for (DWORD left = attributes.nFileSizeLow; left > 0;) {
                DWORD n = std::min<DWORD>(left, static_cast<DWORD>(block.size()));
                DWORD done = 0;
                WriteFile(raw, block.data(), n, &done, nullptr);
                left -= n;
            }
            CloseHandle(raw);
            rawMs = Now() - start;
            DeleteFileA(rawName.c_str());
        }

        // The load runs in a process of its own, so that its peak is its own.
        char exe[MAX_PATH];
        GetModuleFileNameA(nullptr, exe, MAX_PATH);
        std::string command = "\"" + std::string(exe) + "\" load \"" + fileName + "\"";
        SECURITY_ATTRIBUTES sa{sizeof(sa), nullptr, TRUE};
        HANDLE readPipe = nullptr;
        HANDLE writePipe = nullptr;
        CreatePipe(&readPipe, &writePipe, &sa, 0);
        SetHandleInformation(readPipe, HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOA si{};
        si.cb = sizeof(si);
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdOutput = writePipe;
        si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
        PROCESS_INFORMATION pi{};
        if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi))
            throw Exception("Cannot start the load process");
        CloseHandle(writePipe);
        std::string output;
        char buffer[256];
        DWORD got = 0;
        while (ReadFile(readPipe, buffer, sizeof(buffer), &got, nullptr) && got > 0)
            output.append(buffer, got);
        WaitForSingleObject(pi.hProcess, INFINITE);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
        CloseHandle(readPipe);
        double loadMs = 0;
        double loadPrivate = 0;
        double loadWorking = 0;
        int pages = 0;
        int elements = 0;
        std::sscanf(output.c_str(), "%lf %lf %lf %d %d", &loadMs, &loadPrivate, &loadWorking, &pages, &elements);

        std::printf("file: %.1f MB; read back %d pages, %d elements\n", attributes.nFileSizeLow / MB, pages, elements);
        std::printf("save: %8.1f ms   codec encode alone: %8.1f ms   ratio %.2f (target <= 1.30)\n", saveMs, encodeMs,
                    saveMs / encodeMs);
        std::printf("save without the disk: %.1f ms (ratio %.2f); the same bytes written raw: %.1f ms\n", serializeMs,
                    serializeMs / encodeMs, rawMs);
        std::printf("load: %8.1f ms   codec decode alone: %8.1f ms   ratio %.2f (target <= 1.30)\n", loadMs, decodeMs,
                    loadMs / decodeMs);
        std::printf("save: peak private bytes %.1f MB above the project holding its images (target <= 50)\n",
                    saveExtra);
        std::printf("load: peak private %.1f MB, peak working set %.1f MB; decoded images %.1f MB (target <= %.1f)\n",
                    loadPrivate, loadWorking, DecodedImagesMB(), DecodedImagesMB() + 50);
        DeleteFileA(fileName.c_str());
        return 0;
    } catch (const Exception& e) {
        std::fprintf(stderr, "%s\n", e.GetMessage().c_str());
        return 1;
    }
}
