// Saving and loading a project of 100 pages with 20 elements each and 10 embedded 12-megapixel
// images, against the same work done with the codec alone and the same way, and the memory the
// save and the load need beyond the decoded images. The save's baseline encodes each picture into
// one reused buffer and writes it through the same buffered file stream into a new file; the
// load's reads each picture's bytes from the saved file into one reused buffer and decodes them.
// Time figures are medians of a few rounds. A project of many small embedded pictures is loaded
// against the image codec decoding them with one factory.
// Usage: bench_project.exe              (builds, then saves and loads in rounds)
//        bench_project.exe load FILE    (a child: loads FILE and reports its time and working set)
//        bench_project.exe peak FILE    (a child: the same, watching its peak private bytes)
//        bench_project.exe decode FILE  (a child: decodes FILE's pictures alone and reports)
//        bench_project.exe wic FILE     (a child: decodes FILE's pictures with one codec factory)
#include <windows.h>

#include <objbase.h>
#include <wincodec.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "document/LayerImage.h"
#include "document/SheetfoldProject.h"
#include "platform/Streams.h"

namespace {

constexpr int PageCount = 100;
constexpr int ElementsPerPage = 20;
constexpr int ImageCount = 10;
constexpr int ImageWidth = 4000;
constexpr int ImageHeight = 3000;
constexpr int Rounds = 5;
// The many small pictures of an embedding project.
constexpr int SmallCount = 1728;
constexpr int SmallWidth = 16;
constexpr int SmallHeight = 12;
constexpr int SmallPerPage = 24;

// What one round measures, in milliseconds and megabytes.
struct TRound {
    double EncodeMs = 0;
    double EncodeWriteMs = 0;
    double DecodeMs = 0;
    double ReadDecodeMs = 0;
    double SerializeMs = 0;
    double SaveMs = 0;
    double LoadMs = 0;
    double LoadWorkingMB = 0;
    double FileMB = 0;
    double SmallLoadMs = 0;
    double SmallLibraryMs = 0;
    double SmallDecodeMs = 0;
    int Pages = 0;
    int Elements = 0;
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

// A small 32-bit BMP file image, as other writers embed pictures: not the plain 24-bit kind that
// the load reads straight into a bitmap, so each goes through the codec.
std::string MakeSmallPayload(int seed)
{
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER info{};
    info.biSize = sizeof(info);
    info.biWidth = SmallWidth;
    info.biHeight = SmallHeight;
    info.biPlanes = 1;
    info.biBitCount = 32;
    info.biCompression = BI_RGB;
    const DWORD pixelBytes = SmallWidth * SmallHeight * 4;
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(file) + sizeof(info);
    file.bfSize = file.bfOffBits + pixelBytes;
    std::string payload(reinterpret_cast<const char*>(&file), sizeof(file));
    payload.append(reinterpret_cast<const char*>(&info), sizeof(info));
    for (DWORD i = 0; i < pixelBytes; ++i)
        payload.push_back(static_cast<char>(i % 4 == 3 ? 0xFF : i * 7 + seed));
    return payload;
}

// Puts each picture on the page as an embedded image element.
void AddPictures(TSheetfoldPage* page, const std::vector<const std::string*>& payloads)
{
    std::unique_ptr<TStringStream, TObjectFree> stream(New<TStringStream>());
    TXDataStream data(stream.get());
    data.BeginGroup("PAGE");
    for (const std::string* payload : payloads) {
        data.BeginGroup("IMAG");
        data.WriteData("BMPD", payload->data(), static_cast<int32_t>(payload->size()));
        data.WriteRect("BNDR", RECT{1000, 1000, 17000, 13000});
        data.EndGroup("IMAG");
    }
    data.EndGroup("PAGE");
    ReadPagePayload(page, stream->GetDataString());
}

// Saves a project of the many small pictures, a page of them at a time.
void SaveSmallPicturesProject(const std::string& fileName)
{
    std::unique_ptr<TSheetfoldProject, TObjectFree> project(New<TSheetfoldProject>());
    std::vector<std::string> payloads;
    for (int i = 0; i < SmallCount; ++i)
        payloads.push_back(MakeSmallPayload(i));
    for (int first = 0; first < SmallCount; first += SmallPerPage) {
        std::vector<const std::string*> page;
        for (int i = first; i < std::min(first + SmallPerPage, SmallCount); ++i)
            page.push_back(&payloads[i]);
        AddPictures(New<TSheetfoldPage>(project.get()), page);
    }
    DeleteFileA(fileName.c_str());
    project->SaveToFile(fileName);
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

// Loads FILE. Watching the peak memory samples the process every millisecond, which slows the
// load measurably, so the timed loads run without it and the peak comes from a load of its own.
int RunLoad(const std::string& fileName, bool sampled)
{
    PROCESS_MEMORY_COUNTERS before = ProcessMemory();
    std::unique_ptr<TSheetfoldProject, TObjectFree> project(New<TSheetfoldProject>());
    std::unique_ptr<TPeakSampler> sampler;
    if (sampled)
        sampler = std::make_unique<TPeakSampler>();
    double start = Now();
    project->LoadFromFile(fileName);
    double elapsed = Now() - start;
    double peakPrivate = sampler ? sampler->Stop() : 0;
    PROCESS_MEMORY_COUNTERS after = ProcessMemory();
    double peakWorking =
        (static_cast<double>(after.PeakWorkingSetSize) - static_cast<double>(before.WorkingSetSize)) / MB;
    int elements = 0;
    for (int i = 0; i < project->Count(); ++i)
        elements += project->GetPage(i)->Count();
    std::printf("%.1f %.1f %.1f %d %d\n", elapsed, peakPrivate, peakWorking, project->Count(), elements);
    return 0;
}

// Hands each "BMPD" payload of FILE to `use`, read into one reused buffer, as the load reads it.
void ForEachPicture(const std::string& fileName, const std::function<void(const std::string&)>& use)
{
    std::unique_ptr<TFileStream, TObjectFree> file(New<TFileStream>(fileName, fmOpenRead | fmShareDenyWrite));
    std::unique_ptr<TBufferedStream, TObjectFree> buffered(New<TBufferedStream>(file.get()));
    TXDataStream data(buffered.get());
    const int64_t size = data.GetSize();
    while (data.GetPosition() < size) {
        TChunkHeader header;
        data.ReadChunkHeader(header);
        if (header.Size < 0)
            continue;
        if (!IsChunk(header, "BMPD")) {
            data.Seek(header.Size, TSeekOrigin::soCurrent);
            continue;
        }
        std::string& payload = data.GetPayloadBuffer();
        data.ReadString(header.Size, payload);
        use(payload);
    }
}

// The codec alone on the pictures of FILE, in a process of its own as the load has: each "BMPD"
// payload is read into one reused buffer and decoded; both are timed, and the decoding alone too.
// The decoded pictures are kept until the end, as the loaded project keeps them.
int RunDecode(const std::string& fileName)
{
    std::vector<TILBitmapHandle> decoded;
    double decoding = 0;
    const double start = Now();
    ForEachPicture(fileName, [&](const std::string& payload) {
        TILBitmapHandle bitmap;
        const double began = Now();
        int32_t result = DecodeBitmapData(payload, bitmap);
        decoding += Now() - began;
        if (result != IL_SUCCESS)
            throw Exception("Cannot decode a picture of the project");
        decoded.push_back(bitmap);
    });
    const double elapsed = Now() - start;
    for (TILBitmapHandle& bitmap : decoded)
        IL_FreeBitmap(&bitmap);
    std::printf("%.1f %.1f %d\n", elapsed, decoding, static_cast<int>(decoded.size()));
    return 0;
}

// The codec itself on the pictures of FILE, with one factory made for all of them: each picture
// decoded into 32-bit rows of its own, which are kept until the end.
int RunDecodeWithOneFactory(const std::string& fileName)
{
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    std::vector<std::vector<uint8_t>> decoded;
    double elapsed = 0;
    IWICImagingFactory* factory = nullptr;
    double start = Now();
    HRESULT hr = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                  reinterpret_cast<void**>(&factory));
    elapsed += Now() - start;
    if (FAILED(hr))
        throw Exception("Cannot make a codec factory");
    ForEachPicture(fileName, [&](const std::string& payload) {
        start = Now();
        IWICStream* stream = nullptr;
        IWICBitmapDecoder* decoder = nullptr;
        IWICBitmapFrameDecode* frame = nullptr;
        IWICFormatConverter* converter = nullptr;
        UINT width = 0, height = 0;
        HRESULT result = factory->CreateStream(&stream);
        if (SUCCEEDED(result))
            result = stream->InitializeFromMemory(reinterpret_cast<BYTE*>(const_cast<char*>(payload.data())),
                                                  static_cast<DWORD>(payload.size()));
        if (SUCCEEDED(result))
            result = factory->CreateDecoderFromStream(stream, nullptr, WICDecodeMetadataCacheOnDemand, &decoder);
        if (SUCCEEDED(result))
            result = decoder->GetFrame(0, &frame);
        if (SUCCEEDED(result))
            result = frame->GetSize(&width, &height);
        if (SUCCEEDED(result))
            result = factory->CreateFormatConverter(&converter);
        if (SUCCEEDED(result))
            result = converter->Initialize(frame, GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone, nullptr, 0,
                                           WICBitmapPaletteTypeCustom);
        std::vector<uint8_t> pixels(size_t(width) * height * 4);
        if (SUCCEEDED(result))
            result = converter->CopyPixels(nullptr, width * 4, UINT(pixels.size()), pixels.data());
        for (IUnknown* object : {static_cast<IUnknown*>(converter), static_cast<IUnknown*>(frame),
                                 static_cast<IUnknown*>(decoder), static_cast<IUnknown*>(stream)})
            if (object)
                object->Release();
        elapsed += Now() - start;
        if (FAILED(result))
            throw Exception("Cannot decode a picture of the project");
        decoded.push_back(std::move(pixels));
    });
    factory->Release();
    std::printf("%.1f %d\n", elapsed, static_cast<int>(decoded.size()));
    return 0;
}

// A new, empty file opened for writing as the save opens its temporary file: truncating an
// existing file instead makes ext4 push its data to the disk when it is closed.
TFileStream* NewFileStream(const std::string& fileName)
{
    DeleteFileA(fileName.c_str());
    HANDLE file = CreateFileA(fileName.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        throw Exception("Cannot create " + fileName);
    CloseHandle(file);
    return New<TFileStream>(fileName, fmOpenWrite | fmShareExclusive);
}

// Runs this program with the arguments and gives what it printed.
std::string RunChild(const std::string& arguments)
{
    char exe[MAX_PATH];
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string command;
    command.append("\"").append(exe).append("\" ").append(arguments);
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
        throw Exception("Cannot start " + command);
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
    return output;
}

// Saves the project, then loads it in a child process, against the codec alone on the same
// pictures just before; each figure comes from the same round.
TRound RunRound(TSheetfoldProject* project, const std::vector<std::string>& payloads, const std::string& fileName)
{
    TRound round;
    // Baseline: the codec alone, writing the same pictures into one reused buffer as the save
    // does; then the same again with each picture's bytes written into a new file the save's way.
    // One picture decoded at a time: the 32-bit build has no room for all of them twice over.
    auto eachPicture = [&](const auto& timed) {
        double ms = 0;
        for (const std::string& payload : payloads) {
            TILBitmapHandle b;
            if (DecodeBitmapData(payload, b) != IL_SUCCESS)
                throw Exception("Cannot decode a test picture");
            const double start = Now();
            timed(b);
            ms += Now() - start;
            IL_FreeBitmap(&b);
        }
        return ms;
    };
    static std::string buffer;
    round.EncodeMs = eachPicture([&](TILBitmapHandle& b) { EncodeBitmapData(b, buffer); });
    // Each file write starts with no other file of the bench left: the data of one not yet on
    // the disk slows the next write down, and deleting the file drops it.
    const std::string baselineName = fileName + ".codec";
    DeleteFileA(fileName.c_str());
    {
        double start = Now();
        std::unique_ptr<TFileStream, TObjectFree> file(NewFileStream(baselineName));
        std::unique_ptr<TBufferedStream, TObjectFree> buffered(New<TBufferedStream>(file.get()));
        round.EncodeWriteMs = Now() - start;
        round.EncodeWriteMs += eachPicture([&](TILBitmapHandle& b) {
            EncodeBitmapData(b, buffer);
            buffered->WriteBuffer(buffer.data(), static_cast<int32_t>(buffer.size()));
        });
        start = Now();
        buffered->Flush();
        buffered.reset();
        file.reset();
        round.EncodeWriteMs += Now() - start;
    }
    DeleteFileA(baselineName.c_str());

    TNullStream null;
    double start = Now();
    project->SaveToStream(&null);
    round.SerializeMs = Now() - start;
    DeleteFileA(fileName.c_str());
    start = Now();
    project->SaveToFile(fileName);
    round.SaveMs = Now() - start;

    WIN32_FILE_ATTRIBUTE_DATA attributes{};
    GetFileAttributesExA(fileName.c_str(), GetFileExInfoStandard, &attributes);
    round.FileMB = attributes.nFileSizeLow / MB;

    // The load runs in a process of its own, so that its peak is its own; the codec's decoding
    // runs in a fresh process as well, since this machine charges the first use of memory in a
    // process far more than its reuse.
    const std::string quoted = "\"" + fileName + "\"";
    int decoded = 0;
    std::sscanf(RunChild("decode " + quoted).c_str(), "%lf %lf %d", &round.ReadDecodeMs, &round.DecodeMs, &decoded);
    if (decoded != static_cast<int>(payloads.size()))
        throw Exception("The saved project holds " + std::to_string(decoded) + " pictures");
    double unsampled = 0;
    std::sscanf(RunChild("load " + quoted).c_str(), "%lf %lf %lf %d %d", &round.LoadMs, &unsampled,
                &round.LoadWorkingMB, &round.Pages, &round.Elements);
    return round;
}

// The median of one figure over the rounds, with every round's value after it.
std::string Figure(const std::vector<TRound>& rounds, double TRound::*field)
{
    std::vector<double> values;
    for (const TRound& round : rounds)
        values.push_back(round.*field);
    std::vector<double> sorted = values;
    std::sort(sorted.begin(), sorted.end());
    char text[160];
    int n = std::snprintf(text, sizeof(text), "%7.1f ms (", sorted[sorted.size() / 2]);
    for (size_t i = 0; i < values.size(); ++i)
        n += std::snprintf(text + n, sizeof(text) - n, "%s%.0f", i ? " " : "", values[i]);
    std::snprintf(text + n, sizeof(text) - n, ")");
    return text;
}

// The median over the rounds of one figure against another of the same round: the machine's
// load drifts between rounds, and a round's two figures are measured close together.
double MedianRatio(const std::vector<TRound>& rounds, double TRound::*figure, double TRound::*baseline)
{
    std::vector<double> ratios;
    for (const TRound& round : rounds)
        ratios.push_back(round.*figure / round.*baseline);
    std::sort(ratios.begin(), ratios.end());
    return ratios[ratios.size() / 2];
}

double Highest(const std::vector<TRound>& rounds, double TRound::*field)
{
    double highest = 0;
    for (const TRound& round : rounds)
        highest = std::max(highest, round.*field);
    return highest;
}

} // namespace

int main(int argc, char** argv)
{
    try {
        if (argc == 3 && std::string(argv[1]) == "load")
            return RunLoad(argv[2], false);
        if (argc == 3 && std::string(argv[1]) == "peak")
            return RunLoad(argv[2], true);
        if (argc == 3 && std::string(argv[1]) == "decode")
            return RunDecode(argv[2]);
        if (argc == 3 && std::string(argv[1]) == "wic")
            return RunDecodeWithOneFactory(argv[2]);

        PrintArchitecture();
        std::printf("Project of %d pages x %d elements with %d embedded %dx%d images (%.0f MB decoded)\n", PageCount,
                    ElementsPerPage, ImageCount, ImageWidth, ImageHeight, DecodedImagesMB());
        std::vector<std::string> payloads;
        for (int i = 0; i < ImageCount; ++i)
            payloads.push_back(MakeImagePayload(i));

        std::unique_ptr<TSheetfoldProject, TObjectFree> project(New<TSheetfoldProject>());
        for (int p = 0; p < PageCount; ++p) {
            TSheetfoldPage* page = New<TSheetfoldPage>(project.get());
            AddElements(page, p);
            if (p < ImageCount)
                AddPictures(page, {&payloads[p]});
        }

        char folder[MAX_PATH];
        GetTempPathA(MAX_PATH, folder);
        std::string fileName = std::string(folder) + "bench_project.sfp";
        // The machine's disk cache and memory make single runs wander by a third: every figure is
        // the median of a few rounds, each of which measures the baseline right before the work.
        std::vector<TRound> rounds;
        for (int r = 0; r < Rounds; ++r)
            rounds.push_back(RunRound(project.get(), payloads, fileName));
        // Peak memory, watched in a save and a load of their own.
        DeleteFileA(fileName.c_str());
        TPeakSampler saveSampler;
        project->SaveToFile(fileName);
        const double savePeakMB = saveSampler.Stop();
        double loadMs = 0;
        double loadPrivateMB = 0;
        std::sscanf(RunChild("peak \"" + fileName + "\"").c_str(), "%lf %lf", &loadMs, &loadPrivateMB);
        DeleteFileA(fileName.c_str());

        // Many small pictures: the load against the codec decoding them with one factory, each
        // in a fresh process, in the same rounds.
        const std::string smallName = std::string(folder) + "bench_project_small.sfp";
        SaveSmallPicturesProject(smallName);
        WIN32_FILE_ATTRIBUTE_DATA smallFile{};
        GetFileAttributesExA(smallName.c_str(), GetFileExInfoStandard, &smallFile);
        const std::string smallQuoted = "\"" + smallName + "\"";
        for (TRound& round : rounds) {
            int decoded = 0;
            std::sscanf(RunChild("wic " + smallQuoted).c_str(), "%lf %d", &round.SmallDecodeMs, &decoded);
            if (decoded != SmallCount)
                throw Exception("The small pictures' project holds " + std::to_string(decoded) + " pictures");
            std::sscanf(RunChild("load " + smallQuoted).c_str(), "%lf", &round.SmallLoadMs);
            std::sscanf(RunChild("decode " + smallQuoted).c_str(), "%lf", &round.SmallLibraryMs);
        }
        DeleteFileA(smallName.c_str());

        const TRound& first = rounds.front();
        std::printf("file: %.1f MB; read back %d pages, %d elements; medians of %d rounds (each round in brackets; ratios per round)\n",
                    first.FileMB, first.Pages, first.Elements, Rounds);
        std::printf("save: %s   baseline, encode into one buffer and write: %s   ratio %.2f (target <= 1.15)\n",
                    Figure(rounds, &TRound::SaveMs).c_str(), Figure(rounds, &TRound::EncodeWriteMs).c_str(),
                    MedianRatio(rounds, &TRound::SaveMs, &TRound::EncodeWriteMs));
        std::printf("save without the disk: %s   baseline, encode into one buffer: %s   ratio %.2f\n",
                    Figure(rounds, &TRound::SerializeMs).c_str(), Figure(rounds, &TRound::EncodeMs).c_str(),
                    MedianRatio(rounds, &TRound::SerializeMs, &TRound::EncodeMs));
        std::printf("load: %s   baseline, read into one buffer and decode: %s   ratio %.2f (target <= 1.15)\n",
                    Figure(rounds, &TRound::LoadMs).c_str(), Figure(rounds, &TRound::ReadDecodeMs).c_str(),
                    MedianRatio(rounds, &TRound::LoadMs, &TRound::ReadDecodeMs));
        std::printf("decoding alone, without the reading: %s\n", Figure(rounds, &TRound::DecodeMs).c_str());
        std::printf("save: peak private bytes %.1f MB above the project holding its images (target <= 50)\n",
                    savePeakMB);
        std::printf("load: peak private %.1f MB, peak working set %.1f MB; decoded images %.1f MB (target <= %.1f)\n",
                    loadPrivateMB, Highest(rounds, &TRound::LoadWorkingMB), DecodedImagesMB(),
                    DecodedImagesMB() + 50);
        std::printf("%d small %dx%d 32-bit pictures (%.1f MB): load %s   codec with one factory: %s   ratio %.2f\n",
                    SmallCount, SmallWidth, SmallHeight, smallFile.nFileSizeLow / MB,
                    Figure(rounds, &TRound::SmallLoadMs).c_str(), Figure(rounds, &TRound::SmallDecodeMs).c_str(),
                    MedianRatio(rounds, &TRound::SmallLoadMs, &TRound::SmallDecodeMs));
        std::printf("the same pictures through the library alone: %s   ratio %.2f\n",
                    Figure(rounds, &TRound::SmallLibraryMs).c_str(),
                    MedianRatio(rounds, &TRound::SmallLibraryMs, &TRound::SmallDecodeMs));
        return 0;
    } catch (const Exception& e) {
        std::fprintf(stderr, "%s\n", e.GetMessage().c_str());
        return 1;
    }
}
