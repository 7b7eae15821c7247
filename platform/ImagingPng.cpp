#include "platform/ImagingPng.h"

#include <zlib.h>

#include <emmintrin.h>

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <thread>

namespace ImagingPng {

const uint8_t Signature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};

void ChunkFrame(const char type[4], const uint8_t* data, size_t size, uint8_t head[8], uint8_t tail[4])
{
    PutBE32(head, uint32_t(size));
    std::memcpy(head + 4, type, 4);
    uLong crc = crc32(0, head + 4, 4);
    // zlib takes lengths as 32-bit values.
    for (size_t done = 0; done < size;) {
        const uInt part = uInt(std::min<size_t>(size - done, 1u << 30));
        crc = crc32(crc, data + done, part);
        done += part;
    }
    PutBE32(tail, uint32_t(crc));
}

void AppendChunk(std::vector<uint8_t>& out, const char type[4], const uint8_t* data, size_t size)
{
    uint8_t head[8], tail[4];
    ChunkFrame(type, data, size, head, tail);
    out.insert(out.end(), head, head + 8);
    if (size)
        out.insert(out.end(), data, data + size);
    out.insert(out.end(), tail, tail + 4);
}

std::vector<uint8_t> HeaderData(uint32_t width, uint32_t height, uint8_t bitDepth, TPngColorType colorType)
{
    std::vector<uint8_t> data(13, 0);
    PutBE32(data.data(), width);
    PutBE32(data.data() + 4, height);
    data[8] = bitDepth;
    data[9] = colorType;
    return data;
}

// ---------------------------------------------------------------------------------------------
// Filters

namespace {

inline uint8_t PaethPredictor(int a, int b, int c)
{
    const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
    if (pa <= pb && pa <= pc)
        return uint8_t(a);
    return uint8_t(pb <= pc ? b : c);
}

// The predictor of a byte for each filter from its neighbours: a to the left, b above, c above left.
template <TPngFilter F>
inline uint8_t Predict(int a, int b, int c)
{
    switch (F) {
    case pfSub:
        return uint8_t(a);
    case pfUp:
        return uint8_t(b);
    case pfAverage:
        return uint8_t((a + b) >> 1);
    case pfPaeth:
        return PaethPredictor(a, b, c);
    default:
        return 0;
    }
}

// Calls take(i, filtered byte) for every byte of the row: the first pixel has no left neighbour,
// so it goes first and the rest runs without a test per byte.
template <TPngFilter F, class Take>
inline void ForEachFiltered(const uint8_t* row, const uint8_t* prior, size_t length, int bpp, Take&& take)
{
    const size_t first = std::min(length, size_t(bpp));
    for (size_t i = 0; i < first; ++i)
        take(i, uint8_t(row[i] - Predict<F>(0, prior[i], 0)));
    for (size_t i = first; i < length; ++i)
        take(i, uint8_t(row[i] - Predict<F>(row[i - size_t(bpp)], prior[i], prior[i - size_t(bpp)])));
}

template <TPngFilter F>
void FilterWith(const uint8_t* row, const uint8_t* prior, size_t length, int bpp, uint8_t* out)
{
    ForEachFiltered<F>(row, prior, length, bpp, [out](size_t i, uint8_t v) { out[i] = v; });
}

template <TPngFilter F>
uint64_t SumWith(const uint8_t* row, const uint8_t* prior, size_t length, int bpp, TFilterChoice choice)
{
    uint64_t sum = 0;
    if (choice == TFilterChoice::PlainSum)
        ForEachFiltered<F>(row, prior, length, bpp, [&sum](size_t, uint8_t v) { sum += v; });
    else
        ForEachFiltered<F>(row, prior, length, bpp, [&sum](size_t, uint8_t v) { sum += uint64_t(std::abs(int(int8_t(v)))); });
    return sum;
}

// Unfiltering: every filter but "up" depends on the byte just restored, so these run a pixel at a
// time; with 3 or 4 bytes per pixel the channels of one pixel go together in 16-bit lanes.

// Three-byte pixels are put together in registers: a copy through memory of three bytes and a
// read of four would stall on the store.
template <int Bpp>
inline __m128i LoadPixel(const uint8_t* p)
{
    uint32_t v;
    if constexpr (Bpp == 4)
        std::memcpy(&v, p, 4);
    else
        v = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
    return _mm_unpacklo_epi8(_mm_cvtsi32_si128(int(v)), _mm_setzero_si128());
}

template <int Bpp>
inline void StorePixel(uint8_t* p, __m128i v)
{
    const uint32_t bytes = uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(v, v)));
    if constexpr (Bpp == 4) {
        std::memcpy(p, &bytes, 4);
    } else {
        p[0] = uint8_t(bytes);
        p[1] = uint8_t(bytes >> 8);
        p[2] = uint8_t(bytes >> 16);
    }
}

inline __m128i Abs16(__m128i v)
{
    return _mm_max_epi16(v, _mm_sub_epi16(_mm_setzero_si128(), v));
}

template <int Bpp>
void UnfilterPaethPixels(uint8_t* row, const uint8_t* prior, size_t length)
{
    constexpr size_t bpp = Bpp;
    __m128i a = _mm_setzero_si128(), c = _mm_setzero_si128();
    size_t i = 0;
    for (; i + bpp <= length; i += bpp) {
        const __m128i b = LoadPixel<Bpp>(prior + i);
        const __m128i d = LoadPixel<Bpp>(row + i);
        const __m128i pa = Abs16(_mm_sub_epi16(b, c));
        const __m128i pb = Abs16(_mm_sub_epi16(a, c));
        const __m128i pc = Abs16(_mm_sub_epi16(_mm_add_epi16(a, b), _mm_add_epi16(c, c)));
        // a where pa <= pb and pa <= pc; else b where pb <= pc; else c.
        const __m128i notA = _mm_or_si128(_mm_cmpgt_epi16(pa, pb), _mm_cmpgt_epi16(pa, pc));
        const __m128i useC = _mm_cmpgt_epi16(pb, pc);
        const __m128i bc = _mm_or_si128(_mm_and_si128(useC, c), _mm_andnot_si128(useC, b));
        const __m128i predictor = _mm_or_si128(_mm_and_si128(notA, bc), _mm_andnot_si128(notA, a));
        // Bytes added in byte lanes wrap by themselves; the high halves of the lanes stay 0.
        const __m128i value = _mm_add_epi8(d, predictor);
        StorePixel<Bpp>(row + i, value);
        c = b;
        a = value;
    }
    // A row that is no whole number of pixels ends byte by byte.
    for (; i < length; ++i)
        row[i] = uint8_t(row[i] + PaethPredictor(i >= bpp ? row[i - bpp] : 0, prior[i], i >= bpp ? prior[i - bpp] : 0));
}

template <int Bpp>
void UnfilterAveragePixels(uint8_t* row, const uint8_t* prior, size_t length)
{
    constexpr size_t bpp = Bpp;
    __m128i a = _mm_setzero_si128();
    size_t i = 0;
    for (; i + bpp <= length; i += bpp) {
        const __m128i b = LoadPixel<Bpp>(prior + i);
        const __m128i d = LoadPixel<Bpp>(row + i);
        const __m128i value = _mm_add_epi8(d, _mm_srli_epi16(_mm_add_epi16(a, b), 1));
        StorePixel<Bpp>(row + i, value);
        a = value;
    }
    for (; i < length; ++i)
        row[i] = uint8_t(row[i] + ((int(i >= bpp ? row[i - bpp] : 0) + prior[i]) >> 1));
}

} // namespace

void FilterRow(TPngFilter filter, const uint8_t* row, const uint8_t* prior, size_t length, int bpp, uint8_t* out)
{
    switch (filter) {
    case pfSub:
        FilterWith<pfSub>(row, prior, length, bpp, out);
        return;
    case pfUp:
        FilterWith<pfUp>(row, prior, length, bpp, out);
        return;
    case pfAverage:
        FilterWith<pfAverage>(row, prior, length, bpp, out);
        return;
    case pfPaeth:
        FilterWith<pfPaeth>(row, prior, length, bpp, out);
        return;
    default:
        std::memcpy(out, row, length);
    }
}

TPngFilter FilterRowBest(const uint8_t* row, const uint8_t* prior, size_t length, int bpp, TFilterChoice choice,
                         uint8_t* out)
{
    const uint64_t sums[5] = {
        SumWith<pfNone>(row, prior, length, bpp, choice), SumWith<pfSub>(row, prior, length, bpp, choice),
        SumWith<pfUp>(row, prior, length, bpp, choice), SumWith<pfAverage>(row, prior, length, bpp, choice),
        SumWith<pfPaeth>(row, prior, length, bpp, choice)};
    TPngFilter best = pfNone;
    for (int f = 1; f < 5; ++f)
        if (sums[f] < sums[best])
            best = TPngFilter(f);
    out[0] = best;
    FilterRow(best, row, prior, length, bpp, out + 1);
    return best;
}

bool UnfilterRow(uint8_t filter, uint8_t* row, const uint8_t* prior, size_t length, int bpp)
{
    const size_t step = size_t(bpp);
    switch (filter) {
    case pfNone:
        return true;
    case pfSub:
        for (size_t i = step; i < length; ++i)
            row[i] = uint8_t(row[i] + row[i - step]);
        return true;
    case pfUp:
        for (size_t i = 0; i < length; ++i)
            row[i] = uint8_t(row[i] + prior[i]);
        return true;
    case pfAverage:
        if (bpp == 3 || bpp == 4) {
            bpp == 3 ? UnfilterAveragePixels<3>(row, prior, length) : UnfilterAveragePixels<4>(row, prior, length);
            return true;
        }
        for (size_t i = 0; i < length; ++i)
            row[i] = uint8_t(row[i] + ((int(i >= step ? row[i - step] : 0) + prior[i]) >> 1));
        return true;
    case pfPaeth:
        if (bpp == 3 || bpp == 4) {
            bpp == 3 ? UnfilterPaethPixels<3>(row, prior, length) : UnfilterPaethPixels<4>(row, prior, length);
            return true;
        }
        for (size_t i = 0; i < length; ++i) {
            const int a = i >= step ? row[i - step] : 0;
            const int c = i >= step ? prior[i - step] : 0;
            row[i] = uint8_t(row[i] + PaethPredictor(a, prior[i], c));
        }
        return true;
    default:
        return false;
    }
}

// ---------------------------------------------------------------------------------------------
// Deflating in bands

namespace {

// About this many filtered bytes go into one band: enough that the restart of the compressor
// costs nothing measurable, small enough to keep every core busy.
constexpr size_t BandBytes = size_t(1) << 20;

struct TBand {
    int64_t First = 0;
    int32_t Count = 0;
    std::vector<uint8_t> Output;
    uLong Adler = 1;
    size_t InputBytes = 0;
    bool Done = false;
    TDeflateResult Result = TDeflateResult::Done;
};

// Compresses one band as raw deflate data: the zlib header and checksum are written around them.
TDeflateResult CompressBand(TBand& band, size_t rowBytes, int level, bool last, const TBandRows& fill)
{
    std::vector<uint8_t> input(size_t(band.Count) * rowBytes);
    fill(band.First, band.Count, input.data());
    band.InputBytes = input.size();
    band.Adler = adler32_z(1, input.data(), input.size());
    z_stream z{};
    if (deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return TDeflateResult::NoMemory;
    band.Output.resize(deflateBound(&z, uLong(input.size())) + 64);
    z.next_in = input.data();
    z.avail_in = uInt(input.size());
    z.next_out = band.Output.data();
    z.avail_out = uInt(band.Output.size());
    const int flush = last ? Z_FINISH : Z_FULL_FLUSH;
    int status = Z_OK;
    for (;;) {
        status = deflate(&z, flush);
        if (status == Z_STREAM_END || (status == Z_OK && z.avail_out > 0 && z.avail_in == 0))
            break;
        if (status != Z_OK && status != Z_BUF_ERROR)
            break;
        const size_t used = band.Output.size() - z.avail_out;
        band.Output.resize(band.Output.size() * 2);
        z.next_out = band.Output.data() + used;
        z.avail_out = uInt(band.Output.size() - used);
    }
    band.Output.resize(band.Output.size() - z.avail_out);
    band.Output.shrink_to_fit();
    deflateEnd(&z);
    if (last ? status != Z_STREAM_END : status != Z_OK)
        return TDeflateResult::Failed;
    return TDeflateResult::Done;
}

// Worker threads that compress bands in the order they are handed over.
class TBandWorkers {
public:
    TBandWorkers(size_t rowBytes, int level, const TBandRows& fill, int threads)
        : FRowBytes(rowBytes), FLevel(level), FFill(fill)
    {
        for (int i = 0; i < threads; ++i)
            FThreads.emplace_back([this] { Run(); });
    }
    TBandWorkers(const TBandWorkers&) = delete;
    TBandWorkers& operator=(const TBandWorkers&) = delete;
    ~TBandWorkers()
    {
        {
            std::lock_guard<std::mutex> lock(FLock);
            FClosing = true;
        }
        FWake.notify_all();
        for (std::thread& t : FThreads)
            t.join();
    }

    // Hands over a band whose rows may now be read.
    void Submit(TBand* band, bool last)
    {
        {
            std::lock_guard<std::mutex> lock(FLock);
            FQueue.push_back({band, last});
        }
        FWake.notify_one();
    }
    // Waits until the band is compressed.
    void WaitFor(const TBand& band)
    {
        std::unique_lock<std::mutex> lock(FLock);
        FFinished.wait(lock, [&] { return band.Done; });
    }
    bool IsDone(const TBand& band)
    {
        std::lock_guard<std::mutex> lock(FLock);
        return band.Done;
    }

private:
    void Run()
    {
        for (;;) {
            std::pair<TBand*, bool> job;
            {
                std::unique_lock<std::mutex> lock(FLock);
                FWake.wait(lock, [&] { return FClosing || !FQueue.empty(); });
                if (FQueue.empty())
                    return;
                job = FQueue.front();
                FQueue.pop_front();
            }
            TDeflateResult result;
            try {
                result = CompressBand(*job.first, FRowBytes, FLevel, job.second, FFill);
            } catch (const std::bad_alloc&) {
                result = TDeflateResult::NoMemory;
            } catch (...) {
                result = TDeflateResult::Failed;
            }
            {
                std::lock_guard<std::mutex> lock(FLock);
                job.first->Result = result;
                job.first->Done = true;
            }
            FFinished.notify_all();
        }
    }

    size_t FRowBytes;
    int FLevel;
    const TBandRows& FFill;
    std::mutex FLock;
    std::condition_variable FWake;
    std::condition_variable FFinished;
    std::deque<std::pair<TBand*, bool>> FQueue;
    bool FClosing = false;
    std::vector<std::thread> FThreads;
};

uint8_t HeaderFlags(int level)
{
    // FLEVEL tells readers roughly how hard the compressor tried; FCHECK makes the pair a
    // multiple of 31.
    const int flevel = level == Z_DEFAULT_COMPRESSION ? 2 : level < 2 ? 0 : level < 6 ? 1 : level == 6 ? 2 : 3;
    const int flags = flevel << 6;
    return uint8_t(flags + (31 - (0x78 * 256 + flags) % 31) % 31);
}

} // namespace

TDeflateResult DeflateBands(int64_t rowCount, size_t filteredRowBytes, int level, const TBandRows& fill,
                            const TRowsWait& wait, const TStreamSink& sink)
{
    const uint8_t header[2] = {0x78, HeaderFlags(level)};
    if (!sink(header, 2))
        return TDeflateResult::Stopped;
    const int64_t bandRows = std::max<int64_t>(1, int64_t(BandBytes / std::max<size_t>(filteredRowBytes, 1)));
    const int64_t bandTotal = std::max<int64_t>(1, (rowCount + bandRows - 1) / bandRows);
    const int threads = int(std::min<int64_t>(bandTotal, std::max(1u, std::thread::hardware_concurrency())));
    // At most this many bands are held at once, compressed or waiting to be written: one more
    // than the workers, so that a worker finds the next band ready when it is done.
    const size_t window = size_t(threads) + 1;

    std::deque<TBand> bands;
    TBandWorkers workers(filteredRowBytes, level, fill, threads);
    uLong adler = 1;
    TDeflateResult result = TDeflateResult::Done;
    // Writes the oldest band once it is compressed.
    auto writeOldest = [&]() {
        TBand& band = bands.front();
        workers.WaitFor(band);
        if (band.Result != TDeflateResult::Done)
            result = band.Result;
        else if (!sink(band.Output.data(), band.Output.size()))
            result = TDeflateResult::Stopped;
        adler = adler32_combine(adler, band.Adler, z_off_t(band.InputBytes));
        bands.pop_front();
    };
    for (int64_t index = 0; index < bandTotal && result == TDeflateResult::Done; ++index) {
        TBand band;
        band.First = index * bandRows;
        band.Count = int32_t(std::min(bandRows, rowCount - band.First));
        if (!wait(band.First + band.Count)) {
            result = TDeflateResult::Stopped;
            break;
        }
        bands.push_back(std::move(band));
        workers.Submit(&bands.back(), index + 1 == bandTotal);
        while (result == TDeflateResult::Done && !bands.empty() &&
               (bands.size() > window || workers.IsDone(bands.front())))
            writeOldest();
    }
    while (!bands.empty()) {
        if (result == TDeflateResult::Done) {
            writeOldest();
            continue;
        }
        workers.WaitFor(bands.front());
        bands.pop_front();
    }
    if (result != TDeflateResult::Done)
        return result;
    uint8_t trailer[4];
    PutBE32(trailer, uint32_t(adler));
    return sink(trailer, 4) ? TDeflateResult::Done : TDeflateResult::Stopped;
}

} // namespace ImagingPng
