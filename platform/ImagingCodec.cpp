#include "platform/ImagingCodec.h"

#include "platform/ImagingLib.h"

#include <windows.h>

#include <algorithm>
#include <atomic>

namespace ImagingCodec {

namespace {

std::atomic<uint64_t> g_PictureMemoryCeiling{0};

#if !defined(_WIN64)
// The largest run of free addresses: a bitmap is one block, and a 32-bit process's free addresses
// are broken up long before they are used up.
uint64_t LargestFreeBlock()
{
    uint64_t largest = 0;
    MEMORY_BASIC_INFORMATION info;
    for (const char* at = nullptr; VirtualQuery(at, &info, sizeof(info)) == sizeof(info);) {
        if (info.State == MEM_FREE)
            largest = std::max<uint64_t>(largest, info.RegionSize);
        const char* next = static_cast<const char*>(info.BaseAddress) + info.RegionSize;
        if (next <= at)
            break;
        at = next;
    }
    return largest;
}
#endif

} // namespace

uint64_t AvailablePictureBytes()
{
    MEMORYSTATUSEX status = {};
    status.dwLength = sizeof(status);
    if (!GlobalMemoryStatusEx(&status))
        return 0;
    uint64_t available = std::min<uint64_t>({status.ullAvailVirtual, status.ullAvailPageFile, status.ullTotalPhys / 2});
#if !defined(_WIN64)
    available = std::min(available, LargestFreeBlock());
#endif
    if (uint64_t ceiling = g_PictureMemoryCeiling.load())
        available = std::min(available, ceiling);
    return available;
}

uint64_t SetPictureMemoryCeiling(uint64_t bytes)
{
    return g_PictureMemoryCeiling.exchange(bytes);
}

int32_t CheckDecodedFits(int64_t width, int64_t height, uint32_t bytesPerPixel)
{
    if (int32_t check = CheckImageSize(width, height); check != IL_SUCCESS)
        return check;
    const uint64_t needed = uint64_t(width) * uint64_t(height) * bytesPerPixel;
    return needed <= AvailablePictureBytes() ? IL_SUCCESS : IL_ERROR_NO_MEMORY;
}

bool CodedSizeJustified(uint64_t pixels, uint64_t codedBytes)
{
    constexpr uint64_t AlwaysJustified = uint64_t(1) << 22;
    constexpr uint64_t PixelsPerByte = 256;
    return pixels <= std::max(AlwaysJustified, codedBytes * PixelsPerByte);
}

bool InflatedSizeJustified(uint64_t rawBytes, uint64_t compressedBytes)
{
    return rawBytes <= compressedBytes * 1032 + 258;
}

int32_t CheckImageSize(int64_t width, int64_t height)
{
    if (width <= 0 || height <= 0)
        return IL_ERROR_FILE_FORMAT;
    if (width > MaxSide || height > MaxSide || uint64_t(width) * uint64_t(height) > MaxPixels)
        return IL_ERROR_NO_MEMORY;
    return IL_SUCCESS;
}

uint32_t AlignedStride(int64_t width, int32_t bitsPerPixel)
{
    if (width <= 0 || bitsPerPixel <= 0)
        return 0;
    uint64_t bits = uint64_t(width) * uint64_t(bitsPerPixel);
    uint64_t stride = ((bits + 31) / 32) * 4;
    return stride > 0x7FFFFFFFu ? 0 : uint32_t(stride);
}

int32_t MetreToInch(uint32_t pixelsPerMetre)
{
    if (pixelsPerMetre == 0)
        return 0;
    return int32_t((uint64_t(pixelsPerMetre) * 254 + 5000) / 10000);
}

uint32_t InchToMetre(int32_t dotsPerInch)
{
    if (dotsPerInch <= 0)
        return 0;
    return uint32_t((uint64_t(dotsPerInch) * 10000 + 127) / 254);
}

} // namespace ImagingCodec

#include <algorithm>
#include <vector>

namespace ImagingCodec {

namespace {

// Span boundaries: destination i covers source [edges[i], edges[i+1]), never empty.
std::vector<int32_t> SpanEdges(int32_t sourceLength, int32_t destLength)
{
    std::vector<int32_t> edges(size_t(destLength) + 1);
    for (int32_t i = 0; i <= destLength; ++i)
        edges[i] = int32_t(int64_t(i) * sourceLength / destLength);
    for (int32_t i = 0; i < destLength; ++i) {
        if (edges[i + 1] <= edges[i])
            edges[i + 1] = edges[i] + 1;
        if (edges[i + 1] > sourceLength) {
            edges[i + 1] = sourceLength;
            edges[i] = sourceLength - 1;
        }
    }
    return edges;
}

template <int SrcBytes>
void AccumulateRow(const uint8_t* row, const int32_t* edges, int32_t dw, uint32_t* acc)
{
    for (int32_t i = 0; i < dw; ++i, acc += 3) {
        uint32_t b = 0, g = 0, r = 0;
        const uint8_t* p = row + edges[i] * SrcBytes;
        const uint8_t* end = row + edges[i + 1] * SrcBytes;
        for (; p < end; p += SrcBytes) {
            b += p[0];
            g += p[1];
            r += p[2];
        }
        acc[0] += b;
        acc[1] += g;
        acc[2] += r;
    }
}

} // namespace

void BoxResample(const uint8_t* src, int32_t srcStride, int32_t srcBytes, int32_t sx, int32_t sy, int32_t sw, int32_t sh,
                 uint8_t* dst, int32_t dstStride, int32_t dstBytes, int32_t dw, int32_t dh)
{
    if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0)
        return;
    std::vector<int32_t> xEdges = SpanEdges(sw, dw);
    std::vector<int32_t> yEdges = SpanEdges(sh, dh);
    std::vector<uint32_t> acc(static_cast<size_t>(dw) * 3);
    std::vector<uint64_t> inverse(static_cast<size_t>(dw));
    // Sums stay below 2^32 while no destination pixel covers more than 2^24 source pixels; beyond
    // that (a huge picture into a tiny box) only every rowStep-th source row is summed.
    int32_t maxSpanX = 0, maxSpanY = 0;
    for (int32_t i = 0; i < dw; ++i)
        maxSpanX = std::max(maxSpanX, xEdges[i + 1] - xEdges[i]);
    for (int32_t j = 0; j < dh; ++j)
        maxSpanY = std::max(maxSpanY, yEdges[j + 1] - yEdges[j]);
    const int64_t limit = int64_t(1) << 24;
    const int32_t rowStep = int32_t((int64_t(maxSpanX) * maxSpanY + limit - 1) / limit);
    for (int32_t j = 0; j < dh; ++j) {
        std::fill(acc.begin(), acc.end(), 0u);
        uint32_t rows = 0;
        for (int32_t r = yEdges[j]; r < yEdges[j + 1]; r += rowStep, ++rows) {
            const uint8_t* row = src + int64_t(sy + r) * srcStride + int64_t(sx) * srcBytes;
            if (srcBytes == 4)
                AccumulateRow<4>(row, xEdges.data(), dw, acc.data());
            else
                AccumulateRow<3>(row, xEdges.data(), dw, acc.data());
        }
        for (int32_t i = 0; i < dw; ++i)
            inverse[i] = (uint64_t(1) << 32) / (uint64_t(xEdges[i + 1] - xEdges[i]) * rows);
        uint8_t* out = dst + int64_t(j) * dstStride;
        for (int32_t i = 0; i < dw; ++i, out += dstBytes) {
            const uint32_t* a = &acc[size_t(i) * 3];
            uint64_t inv = inverse[i];
            for (int c = 0; c < 3; ++c) {
                uint64_t v = (uint64_t(a[c]) * inv + (uint64_t(1) << 31)) >> 32;
                out[c] = uint8_t(v > 255 ? 255 : v);
            }
            if (dstBytes == 4)
                out[3] = 255;
        }
    }
}

} // namespace ImagingCodec
