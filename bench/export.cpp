// Exporting an A4 page holding ten large pictures at 600 dpi as PNG and as JPEG, against the
// time the system codec (WIC) alone takes to write the same rendered pixels, and the peak memory
// of the export against the size of the page's bitmap.
#include <windows.h>
#include <objbase.h>
#include <wincodec.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/PageExport.h"
#include "bench/BenchSupport.h"
#include "document/LayerImage.h"
#include "document/SheetfoldProject.h"
#include "graphics/Gfx32.h"
#include "platform/ComObj.h"

namespace {

constexpr int Dpi = 600;
constexpr int ImageCount = 10;
constexpr int ImageWidth = 3000;
constexpr int ImageHeight = 2000;
constexpr int Runs = 5;

struct TMeasure {
    double Ms = 0;
    double PeakMB = 0;
};

// One run of the body: its time and the peak memory above the start.
template <class F>
TMeasure Once(F&& body)
{
    TPeakSampler sampler;
    const double start = Now();
    body();
    const double ms = Now() - start;
    return TMeasure{ms, sampler.Stop()};
}

// The median time of the runs, and the highest peak.
TMeasure Summary(std::vector<TMeasure> runs)
{
    std::sort(runs.begin(), runs.end(), [](const TMeasure& a, const TMeasure& b) { return a.Ms < b.Ms; });
    double peak = 0;
    for (const TMeasure& m : runs)
        peak = std::max(peak, m.PeakMB);
    return TMeasure{runs[runs.size() / 2].Ms, peak};
}

// A photograph-like picture: smooth colour gradients with a little grain, which PNG cannot
// squeeze much and JPEG can.
std::string MakePicture(int index, const std::string& folder)
{
    TILBitmapGuard bitmap;
    if (IL_CreateBitmap(&bitmap.Get(), IL_MEMORY_OWNED, ImageWidth, ImageHeight, 24, 1, nullptr, IL_TOP_DOWN, nullptr,
                        0) != IL_SUCCESS)
        throw Exception("Cannot make a test picture");
    uint32_t seed = 12345u + uint32_t(index) * 7919u;
    for (int y = 0; y < ImageHeight; ++y) {
        uint8_t* row = bitmap.Get().Pixels + size_t(y) * size_t(bitmap.Get().BytesPerLine);
        for (int x = 0; x < ImageWidth; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int grain = int(seed >> 28) - 8;
            row[x * 3 + 0] = uint8_t(std::clamp((x * 255) / ImageWidth + grain, 0, 255));
            row[x * 3 + 1] = uint8_t(std::clamp((y * 255) / ImageHeight + grain, 0, 255));
            row[x * 3 + 2] = uint8_t(std::clamp(((x + y + index * 300) % 512) / 2 + grain, 0, 255));
        }
    }
    const std::string name = folder + "picture" + std::to_string(index) + ".bmp";
    if (IL_SaveBitmap(name.c_str(), &bitmap.Get(), IL_FILE_BMP, 24, 0, 0) != IL_SUCCESS)
        throw Exception("Cannot write a test picture");
    return name;
}

std::string TempFolder()
{
    char base[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    std::string folder = std::string(base) + "sfbench_export_" + std::to_string(GetCurrentProcessId()) + "\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

double FileMB(const std::string& name)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA(name.c_str(), GetFileExInfoStandard, &data))
        return 0;
    return (double(data.nFileSizeHigh) * 4294967296.0 + double(data.nFileSizeLow)) / MB;
}

// The system's PNG encoder writing the rendered page, a band of rows at a time.
void SaveWithWicPng(const TILBitmapHandle& bitmap, const std::string& fileName)
{
    TComPtr<IWICImagingFactory> factory;
    TComPtr<IWICStream> stream;
    TComPtr<IWICBitmapEncoder> encoder;
    TComPtr<IWICBitmapFrameEncode> frame;
    TComPtr<IPropertyBag2> options;
    const std::wstring wide(fileName.begin(), fileName.end());
    HRESULT hr = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                  reinterpret_cast<void**>(factory.Put()));
    if (SUCCEEDED(hr))
        hr = factory->CreateStream(stream.Put());
    if (SUCCEEDED(hr))
        hr = stream->InitializeFromFilename(wide.c_str(), GENERIC_WRITE);
    if (SUCCEEDED(hr))
        hr = factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.Put());
    if (SUCCEEDED(hr))
        hr = encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache);
    if (SUCCEEDED(hr))
        hr = encoder->CreateNewFrame(frame.Put(), options.Put());
    if (SUCCEEDED(hr))
        hr = frame->Initialize(options.Get());
    if (SUCCEEDED(hr))
        hr = frame->SetSize(UINT(bitmap.Width), UINT(bitmap.Height));
    WICPixelFormatGUID pixelFormat = GUID_WICPixelFormat24bppBGR;
    if (SUCCEEDED(hr))
        hr = frame->SetPixelFormat(&pixelFormat);
    const UINT stride = UINT(bitmap.BytesPerLine);
    for (int32_t y = 0; SUCCEEDED(hr) && y < bitmap.Height; ++y) {
        const int32_t stored = bitmap.ViewPerspective == IL_BOTTOM_UP ? bitmap.Height - 1 - y : y;
        hr = frame->WritePixels(1, stride, stride, bitmap.Pixels + size_t(stored) * stride);
    }
    if (SUCCEEDED(hr))
        hr = frame->Commit();
    if (SUCCEEDED(hr))
        hr = encoder->Commit();
    if (FAILED(hr))
        throw Exception("The system codec could not write the picture");
}

void Report(const char* format, const TMeasure& exported, const TMeasure& codec, double pageMB, double fileMB,
            double codecFileMB, const char* target)
{
    std::printf("%s: export %8.1f ms   system codec alone %8.1f ms   ratio %.2f (target %s)\n", format, exported.Ms,
                codec.Ms, exported.Ms / codec.Ms, target);
    std::printf("%s: file %.1f MB, system codec's %.1f MB, ratio %.3f%s\n", format, fileMB, codecFileMB,
                fileMB / codecFileMB, format[0] == 'P' ? " (target <= 1.05)" : "");
    std::printf("%s: export peak %.1f MB = %.2fx the page bitmap (target <= 1.50); codec alone peak %.1f MB above "
                "the rendered bitmap\n",
                format, exported.PeakMB, exported.PeakMB / pageMB, codec.PeakMB);
}

} // namespace

int main()
{
    PrintArchitecture();
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    Gfx32Startup();
    const std::string folder = TempFolder();
    std::vector<std::string> files;
    int status = 0;
    try {
        std::unique_ptr<TSheetfoldProject, TObjectFree> project(New<TSheetfoldProject>());
        TSheetfoldPage* page = New<TSheetfoldPage>(project.get());
        std::unique_ptr<TPaper, TObjectFree> paper(New<TPaper>());
        paper->Set(21000, 29700, 1000, 1000, 1000, 1000, false);
        page->SetPaper(paper.get());
        // Two columns of five pictures filling the printable area.
        for (int i = 0; i < ImageCount; ++i) {
            files.push_back(MakePicture(i, folder));
            auto* image = New<TLayerImage>(page);
            image->LoadFromFile(files.back());
            if (!image->IsBitmap())
                throw Exception("Cannot load a test picture");
            image->SetBounds(1000 + (i % 2) * 9600, 1000 + (i / 2) * 5540, 9400, 5400);
        }

        const SIZE size = ExportPixelSize(*page, Dpi);
        const double pageMB = double((size.cx * 3 + 3) / 4 * 4) * double(size.cy) / MB;
        std::printf("A4 page, %d pictures of %dx%d, at %d dpi: %ldx%ld pixels, page bitmap %.1f MB\n", ImageCount,
                    ImageWidth, ImageHeight, Dpi, size.cx, size.cy, pageMB);

        // Baseline: the codec writing an already rendered page. The codec and the export take
        // turns, so that a busy machine slows both alike.
        TILBitmapGuard rendered;
        const TMeasure render = Once([&] { RenderPage(*page, Dpi, rendered); });
        std::printf("render alone: %.1f ms, peak %.1f MB\n", render.Ms, render.PeakMB);
        struct TFormatRun {
            const char* Name;
            int FilterIndex;
            int32_t Code;
            int32_t Quality;
            const char* Target;
        };
        // PNG goes through our own writer, JPEG through the system codec in both runs.
        const TFormatRun formats[] = {{"PNG ", 2, IL_FILE_PNG, 0, "<= 0.35"}, {"JPEG", 3, IL_FILE_JFIF, 8, "<= 1.20"}};
        for (const TFormatRun& f : formats) {
            const std::string codecFile = folder + "codec" + PictureFormatOf(f.FilterIndex).Extension;
            const std::string exportFile = folder + "page" + PictureFormatOf(f.FilterIndex).Extension;
            files.push_back(codecFile);
            files.push_back(exportFile);
            std::vector<TMeasure> codecRuns;
            std::vector<TMeasure> exportRuns;
            for (int i = 0; i < Runs; ++i) {
                codecRuns.push_back(Once([&] {
                    if (f.Code == IL_FILE_PNG)
                        SaveWithWicPng(rendered.Get(), codecFile);
                    else if (IL_SaveBitmap(codecFile.c_str(), &rendered.Get(), f.Code, 24, f.Quality, 0) != IL_SUCCESS)
                        throw Exception("The codec could not write the picture");
                }));
                exportRuns.push_back(Once([&] { ExportPage(*page, Dpi, exportFile, f.FilterIndex); }));
            }
            Report(f.Name, Summary(exportRuns), Summary(codecRuns), pageMB, FileMB(exportFile), FileMB(codecFile),
                   f.Target);
        }
    } catch (const Exception& e) {
        std::fprintf(stderr, "%s\n", e.GetMessage().c_str());
        status = 1;
    }
    for (const std::string& name : files)
        DeleteFileA(name.c_str());
    RemoveDirectoryA(folder.c_str());
    Gfx32Shutdown();
    CoUninitialize();
    return status;
}
