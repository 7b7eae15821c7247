#include "skin/SkinPngReader.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <thread>
#include <utility>

#include "platform/ImagingCodec.h"
#include "platform/ImagingPng.h"
#include "platform/ScopeGuards.h"
#include "platform/Streams.h"
#include "platform/SyncObjs.h"

SF_IMPLEMENT_CLASS(TPNGReader, TObject)

using ImagingCodec::ReadBE16;
using ImagingCodec::ReadBE32;

namespace {

constexpr uint32_t MaxChunkLength = 0x7FFFFFFF;
// A row is never longer than this, whatever the header says.
constexpr uint64_t MaxRowBytes = uint64_t(1) << 30;
// Image data is read from the stream in pieces of this size.
constexpr uint32_t PieceBytes = 1u << 16;

[[noreturn]] void Fail(const char* message)
{
    throw EStreamError(message);
}

// Upper-case letters: chunk types compare without bit 5 of each byte.
uint32_t TypeKey(const uint8_t* type)
{
    return (ReadBE32(type) & 0xDFDFDFDFu);
}

uint32_t TypeKey(const char* type)
{
    return TypeKey(reinterpret_cast<const uint8_t*>(type));
}

struct TAdam7Pass {
    int XStart, YStart, XStep, YStep;
};
constexpr TAdam7Pass Adam7[7] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                 {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};

uint32_t Grey(uint32_t v)
{
    return 0xFF000000u | (v << 16) | (v << 8) | v;
}

} // namespace

TPNGReader::~TPNGReader()
{
    FinishDecompression();
}

void TPNGReader::FinishDecompression()
{
    if (FZActive)
        inflateEnd(&FZ);
    FZActive = false;
}

bool TPNGReader::IsChunk(const char* type) const
{
    return TypeKey(FChunkType) == TypeKey(type);
}

// Reads length and type; a PNG ends with IEND, so a short read is a truncated file.
void TPNGReader::ReadChunkHeader()
{
    uint8_t head[8];
    FStream->ReadBuffer(head, 8);
    FChunkLength = ReadBE32(head);
    std::memcpy(FChunkType, head + 4, 4);
    if (FChunkLength > MaxChunkLength)
        Fail("Invalid format");
    // The data and its CRC must be there before anything is allocated for them.
    if (int64_t(FChunkLength) + 4 > FStreamEnd - FStream->GetPosition())
        throw EReadError("Stream read error");
    FChunkLeft = FChunkLength;
    FChunkCrc = crc32(0, FChunkType, 4);
}

void TPNGReader::ReadChunkData()
{
    FChunkData.resize(FChunkLength);
    if (FChunkLength)
        FStream->ReadBuffer(FChunkData.data(), int32_t(FChunkLength));
    uint8_t stored[4];
    FStream->ReadBuffer(stored, 4);
    uLong crc = crc32(0, FChunkType, 4);
    crc = crc32(crc, FChunkData.data(), uInt(FChunkLength));
    if (uint32_t(crc) != ReadBE32(stored))
        Fail("CRC error");
}

void TPNGReader::SkipChunkData()
{
    FStream->Seek(int64_t(FChunkLength) + 4, TSeekOrigin::soCurrent);
}

// Part of the current IDAT chunk is read and part is not.
bool TPNGReader::InsideImageChunk() const
{
    return IsChunk("IDAT") && FChunkLeft > 0 && FChunkLeft < FChunkLength;
}

// Hands the decompressor the next piece of the current IDAT chunk; once a chunk's last byte is
// read its CRC is checked and the next chunk's header read. False when the image data has ended.
bool TPNGReader::FeedImageData()
{
    while (IsChunk("IDAT")) {
        const uint32_t count = std::min(FChunkLeft, PieceBytes);
        if (count) {
            FPiece.resize(PieceBytes);
            FStream->ReadBuffer(FPiece.data(), int32_t(count));
            FChunkCrc = crc32(FChunkCrc, FPiece.data(), count);
            FChunkLeft -= count;
        }
        if (FChunkLeft == 0) {
            uint8_t stored[4];
            FStream->ReadBuffer(stored, 4);
            if (uint32_t(FChunkCrc) != ReadBE32(stored))
                Fail("CRC error");
            ReadChunkHeader();
        }
        if (count) {
            FZ.next_in = FPiece.data();
            FZ.avail_in = count;
            return true;
        }
    }
    return false;
}

void TPNGReader::LoadFromStream(TStream* stream, const TPNGPixelTarget& target)
{
    FinishDecompression();
    FStream = stream;
    FStreamEnd = stream->GetSize();
    FWidth = FHeight = 0;
    FStore = TReservedMemory();
    FStoreFilled = false;
    FTargetSource = target ? &target : nullptr;
    TScopeExit forgetTarget([this] { FTargetSource = nullptr; });
    FTarget = nullptr;
    FGamma = 0;
    FHasBackground = false;
    FBackground = 0;
    FDecoded = false;
    FDataEnded = false;
    FStreamEnded = false;

    uint8_t signature[8];
    stream->ReadBuffer(signature, 8);
    if (std::memcmp(signature, ImagingPng::Signature, 8) != 0)
        Fail("Invalid format");
    ReadChunkHeader();
    if (!IsChunk("IHDR") || FChunkLength != 13)
        Fail("Invalid format");
    ReadChunkData();
    ReadHeader();
    if (FWidth == 0 || FHeight == 0) {
        FWidth = FHeight = 0;
        return;
    }

    FPalette.clear();
    FHasKey = false;
    FKey8 = 0;
    std::fill(std::begin(FKey16), std::end(FKey16), uint16_t(0));
    FZ = z_stream{};
    if (inflateInit(&FZ) != Z_OK)
        throw EOutOfMemory("Out of memory");
    FZActive = true;
    for (;;) {
        ReadChunkHeader();
        if (IsChunk("IDAT")) {
            if (FDecoded) {
                // Image data after the image: checked and ignored.
                ReadChunkData();
                continue;
            }
            DecodeImage();
            FDecoded = true;
            // The chunk after the image data is in hand: handled below.
        }
        if (IsChunk("IDAT")) {
            ReadChunkData();
        } else if (IsChunk("PLTE")) {
            ReadChunkData();
            ReadPalette();
        } else if (IsChunk("gAMA")) {
            ReadChunkData();
            if (FChunkLength >= 4)
                FGamma = ReadBE32(FChunkData.data()) / 100000.0;
        } else if (IsChunk("bKGD")) {
            ReadChunkData();
            ReadBackground();
        } else if (IsChunk("tRNS")) {
            ReadChunkData();
            ReadTransparency();
        } else if (IsChunk("IEND")) {
            SkipChunkData();
            break;
        } else if (FChunkType[0] & 0x20) {
            SkipChunkData();
        } else {
            Fail("Unexpected but critical chunk detected");
        }
    }
    FinishDecompression();
    FChunkData = {};
    FPiece = {};
    // Rows the data did not reach are 0.
    ProvideRows(0, 1, FHeight);
    FStoreFilled = FStore.Get() != nullptr;
}

std::span<const uint32_t> TPNGReader::GetPixels() const
{
    if (!FStoreFilled)
        return {};
    return {static_cast<const uint32_t*>(FStore.Get()), size_t(FWidth) * size_t(FHeight)};
}

// Makes the pixels of count rows (firstY, firstY + yStep, ...) ready to be written: the target is
// asked for on the first call, and the store commits the rows' memory.
void TPNGReader::ProvideRows(int firstY, int yStep, int count)
{
    if (count <= 0)
        return;
    if (!FTarget) {
        try {
            FTarget = FTargetSource ? (*FTargetSource)(FWidth, FHeight) : static_cast<uint32_t*>(FStore.Get());
        } catch (const std::bad_alloc&) {
            throw EOutOfMemory("Out of memory");
        }
    }
    if (!FStore.Get())
        return;
    const size_t rowBytes = size_t(FWidth) * 4;
    // Rows next to each other go in one piece; the rows of an interlaced pass one by one.
    const int pieces = yStep == 1 ? 1 : count;
    const size_t pieceRows = yStep == 1 ? size_t(count) : 1;
    for (int i = 0; i < pieces; ++i) {
        const size_t y = size_t(firstY) + size_t(i) * size_t(yStep);
        if (!FStore.Commit(y * rowBytes, pieceRows * rowBytes))
            throw EOutOfMemory("Out of memory");
    }
}

void TPNGReader::ReadHeader()
{
    const uint8_t* h = FChunkData.data();
    const uint32_t width = ReadBE32(h), height = ReadBE32(h + 4);
    if (width > MaxChunkLength || height > MaxChunkLength)
        Fail("Invalid image dimensions");
    FWidth = int(width);
    FHeight = int(height);
    if (width == 0 || height == 0)
        return;
    FBitDepth = h[8];
    const uint8_t colorType = h[9];
    if (h[10] != 0)
        Fail("Unsupported compression scheme");
    if (h[11] != 0)
        Fail("Unsupported filter method");
    if (h[12] > 1)
        Fail("Unsupported interlace method");
    const int d = FBitDepth;
    const bool upTo8 = d == 1 || d == 2 || d == 4 || d == 8;
    switch (colorType) {
    case ImagingPng::ctGrey:
        if (!upTo8 && d != 16)
            Fail("Invalid color format");
        FColor = ccGrey;
        FSamples = 1;
        break;
    case ImagingPng::ctRGB:
        if (d != 8 && d != 16)
            Fail("Invalid color format");
        FColor = ccRGB;
        FSamples = 3;
        break;
    case ImagingPng::ctIndexed:
        if (!upTo8)
            Fail("Invalid color format");
        FColor = ccIndexed;
        FSamples = 1;
        break;
    case ImagingPng::ctGreyAlpha:
        if (d != 8 && d != 16)
            Fail("Invalid color format");
        FColor = ccGreyAlpha;
        FSamples = 2;
        break;
    case ImagingPng::ctRGBA:
        if (d != 8 && d != 16)
            Fail("Invalid color format");
        FColor = ccRGBA;
        FSamples = 4;
        break;
    default:
        Fail("Invalid color format");
    }
    FPixelBits = FSamples * d;
    FFilterBytes = std::max(1, (FPixelBits + 7) / 8);
    FInterlaced = h[12] == 1;
    // However little data follows, the image is the header's size (what the data does not reach
    // stays 0): only an image the process could not hold is refused, before any data is read.
    const uint64_t pixels = uint64_t(width) * uint64_t(height);
    const uint64_t rowBytes = (uint64_t(width) * uint64_t(FPixelBits) + 7) / 8;
    if (pixels > ImagingCodec::MaxPixels || rowBytes > MaxRowBytes)
        Fail("Invalid image dimensions");
    if (FTargetSource)
        return;
    FStore = TReservedMemory(size_t(pixels) * 4);
    if (!FStore.Get())
        throw EOutOfMemory("Out of memory");
}

void TPNGReader::ReadPalette()
{
    if (FChunkLength % 3 != 0 || FChunkLength > 256 * 3)
        Fail("Invalid palette");
    if (FColor != ccIndexed)
        return;
    FPalette.resize(FChunkLength / 3);
    for (size_t i = 0; i < FPalette.size(); ++i) {
        const uint8_t* p = FChunkData.data() + i * 3;
        FPalette[i] = 0xFF000000u | (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2];
    }
}

void TPNGReader::ReadTransparency()
{
    const uint8_t* t = FChunkData.data();
    switch (FColor) {
    case ccGrey:
        if (FChunkLength < 2)
            return;
        FKey16[0] = ReadBE16(t);
        FKey8 = FBitDepth == 2 ? (FKey16[0] & 3u) : (FKey16[0] & 0xFFu);
        FHasKey = true;
        return;
    case ccRGB:
        if (FChunkLength < 6)
            return;
        for (int i = 0; i < 3; ++i)
            FKey16[i] = ReadBE16(t + 2 * i);
        FKey8 = (uint32_t(FKey16[0] & 0xFF) << 16) | (uint32_t(FKey16[1] & 0xFF) << 8) | (FKey16[2] & 0xFFu);
        FHasKey = true;
        return;
    case ccIndexed: {
        const size_t n = std::min<size_t>(FChunkLength, FPalette.size());
        for (size_t i = 0; i < n; ++i)
            FPalette[i] = (FPalette[i] & 0xFFFFFF) | (uint32_t(t[i]) << 24);
        return;
    }
    default:
        return;
    }
}

void TPNGReader::ReadBackground()
{
    const uint8_t* b = FChunkData.data();
    // A sample becomes the byte a pixel of that value would have.
    const auto sample = [&](int i) {
        const uint32_t v = ReadBE16(b + 2 * i);
        if (FBitDepth == 16)
            return v >> 8;
        if (FBitDepth < 8 && FColor == ccGrey)
            return (v & ((1u << FBitDepth) - 1)) * (255 / ((1u << FBitDepth) - 1));
        return v & 0xFF;
    };
    if ((FColor == ccGrey || FColor == ccGreyAlpha) && FChunkLength >= 2) {
        FBackground = Grey(sample(0));
        FHasBackground = true;
    } else if ((FColor == ccRGB || FColor == ccRGBA) && FChunkLength >= 6) {
        FBackground = 0xFF000000u | (sample(0) << 16) | (sample(1) << 8) | sample(2);
        FHasBackground = true;
    } else if (FColor == ccIndexed && FChunkLength >= 1) {
        FBackground = b[0];
        FHasBackground = true;
    }
}

// ---------------------------------------------------------------------------------------------
// Image data

// Fills out with count decompressed bytes. Reads further IDAT chunks as the decompressor needs
// them; false when the image data ends first (what came is kept, the rest of the image stays 0).
size_t TPNGReader::Decompress(uint8_t* out, size_t count)
{
    if (FDataEnded)
        return 0;
    if (FStreamEnded)
        Fail("Extra compressed data found");
    FZ.next_out = out;
    FZ.avail_out = uInt(count);
    while (FZ.avail_out > 0) {
        if (FZ.avail_in == 0 && !FeedImageData()) {
            FDataEnded = true;
            break;
        }
        const int status = inflate(&FZ, Z_NO_FLUSH);
        if (status == Z_STREAM_END) {
            // The stream ended before the image; bytes after its end are passed over later.
            if (FZ.avail_out > 0)
                Fail("Extra compressed data found");
            FStreamEnded = true;
            break;
        }
        if (status != Z_OK)
            Fail("Compression error");
    }
    return count - FZ.avail_out;
}

// Unfilters and converts the image data band by band, in order: on a thread of its own for large
// images, so that it runs beside the decompression, else at once. A failure on the thread is
// raised on the caller's at its next step. It works for one image at a time, from Attach to
// Detach; the threaded one for large images is kept for the life of the process (see Borrow).
class TPNGReader::TRowPipeline {
public:
    // A band of filtered rows (filter byte and row each) of one pass.
    struct TBand {
        std::vector<uint8_t> Rows;
        int RowCount = 0;
        int FirstRow = 0;           // index within the pass
    };
    struct TPass {
        int XStart, YStart, XStep, YStep, Count;
        size_t RowBytes;
    };

    explicit TRowPipeline(bool threaded)
    {
        FBands.reserve(MaxBands);
        if (threaded)
            FThread = std::thread([this] { Run(); });
    }
    TRowPipeline(const TRowPipeline&) = delete;
    TRowPipeline& operator=(const TRowPipeline&) = delete;
    ~TRowPipeline()
    {
        {
            std::lock_guard<TSlimLock> lock(FLock);
            FClosing = true;
        }
        FWorkHanded.WakeAll();
        if (FThread.joinable())
            FThread.join();
    }

    // The threaded pipeline kept for large images, or nullptr while another image has it. Starting
    // a thread and touching fresh memory for its bands cost about as much as converting a whole
    // palette image, so both are kept: the thread waits, idle, until the process ends.
    static TRowPipeline* Borrow()
    {
        static std::atomic<bool> lent{false};
        static TRowPipeline* const kept = new TRowPipeline(true);
        if (lent.exchange(true, std::memory_order_acquire))
            return nullptr;
        kept->FLent = &lent;
        return kept;
    }

    void Attach(TPNGReader& reader) { FReader = &reader; }
    // Waits until the thread is done with what it was handed (after a failure it only gives the
    // bands back) and makes every band free for the next image.
    void Detach()
    {
        {
            std::unique_lock<TSlimLock> lock(FLock);
            FReaderWaiting = true;
            FBandFreed.Wait(lock, [&] { return FQueueCount == 0 && !FWorking; });
            FReaderWaiting = false;
            FFailure = nullptr;
            FFreeCount = 0;
            for (const std::unique_ptr<TBand>& band : FBands)
                FFree[FFreeCount++] = band.get();
            FReader = nullptr;
        }
        if (FLent)
            std::exchange(FLent, nullptr)->store(false, std::memory_order_release);
    }

    void StartPass(const TPass& pass)
    {
        Finish();
        FPass = pass;
        FPrior.assign(pass.RowBytes + 1, 0);
    }
    // A free band to fill. While the thread is behind, one more band is made, up to a few; only
    // then does the caller wait.
    TBand& Take()
    {
        std::unique_lock<TSlimLock> lock(FLock);
        Rethrow();
        if (FFreeCount == 0 && FBands.size() < MaxBands) {
            FBands.push_back(std::make_unique<TBand>());
            return *FBands.back();
        }
        FReaderWaiting = true;
        FBandFreed.Wait(lock, [&] { return FFailure || FFreeCount > 0; });
        FReaderWaiting = false;
        Rethrow();
        return *FFree[--FFreeCount];
    }
    // Hands a filled band over; one that got no rows is only given back.
    void Hand(TBand& band)
    {
        if (!FThread.joinable() || band.RowCount == 0) {
            if (band.RowCount > 0)
                Process(band);
            std::lock_guard<TSlimLock> lock(FLock);
            FFree[FFreeCount++] = &band;
            return;
        }
        bool wake = false;
        {
            std::lock_guard<TSlimLock> lock(FLock);
            FQueue[(FQueueHead + FQueueCount++) % MaxBands] = &band;
            wake = FWorkerWaiting;
        }
        // A wake-up costs a system call: only a waiting thread gets one.
        if (wake)
            FWorkHanded.WakeAll();
    }
    // Waits until every band handed over is done.
    void Finish()
    {
        std::unique_lock<TSlimLock> lock(FLock);
        FReaderWaiting = true;
        FBandFreed.Wait(lock, [&] { return FFailure || (FQueueCount == 0 && !FWorking); });
        FReaderWaiting = false;
        Rethrow();
    }

private:
    static constexpr size_t MaxBands = 8;

    void Rethrow()
    {
        if (FFailure)
            std::rethrow_exception(FFailure);
    }

    void Process(TBand& band)
    {
        const size_t stride = FPass.RowBytes + 1;
        const uint8_t* prior = FPrior.data();
        for (int i = 0; i < band.RowCount; ++i) {
            uint8_t* row = band.Rows.data() + size_t(i) * stride;
            if (!ImagingPng::UnfilterRow(row[0], row + 1, prior + 1, FPass.RowBytes, FReader->FFilterBytes))
                Fail("Invalid filter type");
            const int y = FPass.YStart + (band.FirstRow + i) * FPass.YStep;
            FReader->ConvertRow(row + 1, FPass.Count, y, FPass.XStart, FPass.XStep);
            prior = row;
        }
        // The next band's first row is unfiltered against this band's last.
        std::copy_n(prior, stride, FPrior.data());
    }

    // The thread: bands in the order handed over; after a failure the rest are only given back.
    // Nothing it raises leaves it.
    void Run()
    {
        for (;;) {
            TBand* band = nullptr;
            bool skip = false;
            {
                std::unique_lock<TSlimLock> lock(FLock);
                FWorkerWaiting = true;
                FWorkHanded.Wait(lock, [&] { return FClosing || FQueueCount > 0; });
                FWorkerWaiting = false;
                if (FQueueCount == 0)
                    return;
                band = FQueue[FQueueHead];
                FQueueHead = (FQueueHead + 1) % MaxBands;
                --FQueueCount;
                FWorking = true;
                skip = bool(FFailure);
            }
            std::exception_ptr failure;
            if (!skip) {
                try {
                    Process(*band);
                } catch (...) {
                    failure = std::current_exception();
                }
            }
            bool wake = false;
            {
                std::lock_guard<TSlimLock> lock(FLock);
                if (failure && !FFailure)
                    FFailure = failure;
                FFree[FFreeCount++] = band;
                FWorking = false;
                wake = FReaderWaiting;
            }
            if (wake)
                FBandFreed.WakeAll();
        }
    }

    TPNGReader* FReader = nullptr;
    std::atomic<bool>* FLent = nullptr;   // the kept pipeline: cleared on Detach
    TPass FPass{};
    std::vector<uint8_t> FPrior;
    std::vector<std::unique_ptr<TBand>> FBands;
    // Bands free to fill, and bands handed over in their order; both guarded by FLock.
    TBand* FFree[MaxBands] = {};
    size_t FFreeCount = 0;
    TBand* FQueue[MaxBands] = {};
    size_t FQueueHead = 0;
    size_t FQueueCount = 0;
    bool FWorking = false;
    bool FWorkerWaiting = false;
    bool FReaderWaiting = false;
    bool FClosing = false;
    std::exception_ptr FFailure;
    TSlimLock FLock;
    TSlimCondition FWorkHanded;
    TSlimCondition FBandFreed;
    std::thread FThread;
};

void TPNGReader::DecodeImage()
{
    // Images of more than this many bytes of image data have their rows unfiltered and converted
    // beside the decompression.
    constexpr uint64_t ThreadedBytes = uint64_t(1) << 20;
    const uint64_t dataBytes = uint64_t(FHeight) * ((uint64_t(FWidth) * uint64_t(FPixelBits) + 7) / 8 + 1);
    const bool threaded = dataBytes > ThreadedBytes && std::thread::hardware_concurrency() > 1;
    // While another image has the kept pipeline, this one gets its own.
    TRowPipeline* kept = threaded ? TRowPipeline::Borrow() : nullptr;
    std::unique_ptr<TRowPipeline> own(kept ? nullptr : new TRowPipeline(threaded));
    TRowPipeline& pipeline = kept ? *kept : *own;
    pipeline.Attach(*this);
    TScopeExit detach([&] { pipeline.Detach(); });
    // Bands handed over lie earlier in the file than the data being decompressed: a failure in them
    // is the one raised, whichever thread meets its failure first, so that a damaged file gives
    // the same error every time, and the one it gives when decoded on one thread.
    std::exception_ptr dataFailure;
    try {
        if (!FInterlaced) {
            DecodePass(pipeline, 0, 0, 1, 1);
        } else {
            for (const TAdam7Pass& pass : Adam7)
                DecodePass(pipeline, pass.XStart, pass.YStart, pass.XStep, pass.YStep);
        }
    } catch (...) {
        dataFailure = std::current_exception();
    }
    pipeline.Finish();
    if (dataFailure)
        std::rethrow_exception(dataFailure);
    if (!FDataEnded)
        PassOverRestOfData();
}

// The image is complete. What the compressed data holds beyond it, and bytes after the stream's
// end, are passed over as other viewers do; the stream is still decompressed to its end (into
// nothing) so that damage in it and its checksum are found.
void TPNGReader::PassOverRestOfData()
{
    uint8_t spare[4096];
    while (!FStreamEnded) {
        if (FZ.avail_in == 0 && !FeedImageData())
            return;
        FZ.next_out = spare;
        FZ.avail_out = sizeof(spare);
        const int status = inflate(&FZ, Z_NO_FLUSH);
        FStreamEnded = status == Z_STREAM_END;
        if (status != Z_OK && !FStreamEnded)
            Fail("Compression error");
    }
    // The rest of the chunk the stream ended in is read for its CRC.
    FZ.avail_in = 0;
    while (InsideImageChunk()) {
        FeedImageData();
        FZ.avail_in = 0;
    }
}

void TPNGReader::DecodePass(TRowPipeline& pipeline, int xStart, int yStart, int xStep, int yStep)
{
    if (FWidth <= xStart || FHeight <= yStart)
        return;
    const int count = (FWidth - xStart + xStep - 1) / xStep;
    const size_t rowBytes = (size_t(count) * size_t(FPixelBits) + 7) / 8;
    const int rows = (FHeight - yStart + yStep - 1) / yStep;
    pipeline.StartPass({xStart, yStart, xStep, yStep, count, rowBytes});
    // Bands of about 256 KiB: few calls into the decompressor, small enough to keep both sides busy.
    const int bandRows = int(std::max<size_t>(1, (size_t(1) << 18) / (rowBytes + 1)));
    for (int first = 0; first < rows;) {
        TRowPipeline::TBand& band = pipeline.Take();
        const int wanted = std::min(bandRows, rows - first);
        band.Rows.resize(size_t(wanted) * (rowBytes + 1));
        // Only whole rows go on: a row the data ends in the middle of stays 0 in the image.
        band.RowCount = int(Decompress(band.Rows.data(), band.Rows.size()) / (rowBytes + 1));
        band.FirstRow = first;
        ProvideRows(yStart + first * yStep, yStep, band.RowCount);
        pipeline.Hand(band);
        if (band.RowCount < wanted)
            return;
        first += wanted;
    }
}

void TPNGReader::ConvertRow(const uint8_t* row, int count, int y, int xStart, int xStep)
{
    uint32_t* out = FTarget + size_t(y) * size_t(FWidth) + size_t(xStart);
    const size_t step = size_t(xStep);
    const int d = FBitDepth;
    switch (FColor) {
    case ccIndexed:
    case ccGrey:
        if (d == 16) {
            for (int x = 0; x < count; ++x, out += step, row += 2) {
                const uint32_t v = ReadBE16(row);
                *out = FHasKey && v == FKey16[0] ? Grey(row[0]) & 0xFFFFFF : Grey(row[0]);
            }
            return;
        }
        if (d == 8 && FColor == ccIndexed) {
            // The largest index is checked once per row, which keeps the lookup free of branches.
            uint8_t largest = 0;
            for (int x = 0; x < count; ++x)
                largest = std::max(largest, row[x]);
            if (count > 0 && largest >= FPalette.size())
                Fail("Invalid palette index");
            const uint32_t* palette = FPalette.data();
            for (int x = 0; x < count; ++x, out += step)
                *out = palette[row[x]];
            return;
        }
        {
            const uint32_t mask = (1u << d) - 1;
            const uint32_t scale = 255 / mask;
            const size_t palette = FPalette.size();
            for (int x = 0; x < count; ++x, out += step) {
                const size_t bit = size_t(x) * size_t(d);
                const uint32_t v = (uint32_t(row[bit >> 3]) >> (8 - d - (bit & 7))) & mask;
                if (FColor == ccIndexed) {
                    if (v >= palette)
                        Fail("Invalid palette index");
                    *out = FPalette[v];
                } else {
                    *out = FHasKey && v == FKey8 ? Grey(v * scale) & 0xFFFFFF : Grey(v * scale);
                }
            }
        }
        return;
    case ccGreyAlpha:
        if (d == 16) {
            for (int x = 0; x < count; ++x, out += step, row += 4)
                *out = (Grey(row[0]) & 0xFFFFFF) | (uint32_t(row[2]) << 24);
            return;
        }
        for (int x = 0; x < count; ++x, out += step, row += 2)
            *out = (Grey(row[0]) & 0xFFFFFF) | (uint32_t(row[1]) << 24);
        return;
    case ccRGB:
        if (d == 16) {
            for (int x = 0; x < count; ++x, out += step, row += 6) {
                const uint32_t c = 0xFF000000u | (uint32_t(row[0]) << 16) | (uint32_t(row[2]) << 8) | row[4];
                const bool key = FHasKey && ReadBE16(row) == FKey16[0] && ReadBE16(row + 2) == FKey16[1] &&
                                 ReadBE16(row + 4) == FKey16[2];
                *out = key ? c & 0xFFFFFF : c;
            }
            return;
        }
        for (int x = 0; x < count; ++x, out += step, row += 3) {
            const uint32_t c = (uint32_t(row[0]) << 16) | (uint32_t(row[1]) << 8) | row[2];
            *out = FHasKey && c == FKey8 ? c : c | 0xFF000000u;
        }
        return;
    case ccRGBA:
        if (d == 16) {
            for (int x = 0; x < count; ++x, out += step, row += 8)
                *out = (uint32_t(row[6]) << 24) | (uint32_t(row[0]) << 16) | (uint32_t(row[2]) << 8) | row[4];
            return;
        }
        for (int x = 0; x < count; ++x, out += step, row += 4)
            *out = (uint32_t(row[3]) << 24) | (uint32_t(row[0]) << 16) | (uint32_t(row[1]) << 8) | row[2];
        return;
    }
}
