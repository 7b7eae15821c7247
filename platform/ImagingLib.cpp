#include "platform/ImagingLib.h"

#include "platform/ImagingCodec.h"
#include "platform/ImagingPng.h"
#include "platform/PcxReader.h"
#include "platform/PsdReader.h"
#include "platform/ScopeGuards.h"

#include <objbase.h>
#include <wincodec.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

using namespace ImagingCodec;

// The library's own state of a bitmap whose pixels it owns: the DIB section that holds them (so a
// device context can draw on them) and the reduced copy that screen painting reuses.
struct TILBitmapData {
    HBITMAP Dib = nullptr;
    bool DibTopDown = true;

    struct TPaintCache {
        std::unique_ptr<uint8_t[]> Pixels;
        RECT Source = {};
        int32_t Width = 0;
        int32_t Height = 0;
        uint32_t Generation = 0;
        const uint8_t* SourcePixels = nullptr;
    } Cache;

    ~TILBitmapData()
    {
        if (Dib)
            DeleteObject(Dib);
    }
};

namespace {

constexpr uint64_t MaxFileBytes = uint64_t(1) << 30;

// ---------------------------------------------------------------- COM and WIC

template <typename T>
class TComPtr {
public:
    TComPtr() = default;
    TComPtr(const TComPtr&) = delete;
    TComPtr& operator=(const TComPtr&) = delete;
    ~TComPtr()
    {
        if (FPtr)
            FPtr->Release();
    }
    T* operator->() const { return FPtr; }
    T* Get() const { return FPtr; }
    T** operator&() { return &FPtr; }
    explicit operator bool() const { return FPtr != nullptr; }

private:
    T* FPtr = nullptr;
};

int32_t HResultToIL(HRESULT hr)
{
    if (hr == E_OUTOFMEMORY)
        return IL_ERROR_NO_MEMORY;
    return IL_ERROR_FILE_FORMAT;
}

// The codec factory of one thread. Making one costs more than decoding a small picture, so a
// thread makes it once, with COM initialised there, and keeps both until the thread ends.
class TThreadFactory {
public:
    IWICImagingFactory* Get()
    {
        if (!FFactory)
            CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                             reinterpret_cast<void**>(&FFactory));
        return FFactory.Get();
    }

private:
    // Declared first, so that it outlives the factory.
    TComInit FCom;
    TComPtr<IWICImagingFactory> FFactory;
};

// The calling thread's factory; nullptr when the codecs cannot be had.
IWICImagingFactory* ThreadFactory()
{
    thread_local TThreadFactory factory;
    return factory.Get();
}

// Runs an entry point's body, turning an escaped exception into a result: nothing leaves a library call.
template <typename F>
int32_t Guarded(F&& body)
{
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return IL_ERROR_NO_MEMORY;
    } catch (...) {
        return IL_FAILURE;
    }
}

// Whether the rows a save is about to read are drawn: always, unless the caller drawing them said
// how to ask.
struct TRowsReady {
    TILRowsReadyCallback Callback = nullptr;
    void* Data = nullptr;

    bool Wait(int32_t rows) const { return !Callback || Callback(rows, Data) == 1; }
};

// ---------------------------------------------------------------- files

std::wstring Widen(const char* text)
{
    int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (length <= 0)
        return {};
    std::wstring wide(size_t(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), length);
    wide.resize(size_t(length) - 1);
    return wide;
}

int32_t ReadWholeFile(const char* fileName, std::vector<uint8_t>& bytes)
{
    if (!fileName || !*fileName)
        return IL_ERROR_INV_FILENAME;
    std::wstring wide = Widen(fileName);
    if (wide.empty())
        return IL_ERROR_INV_FILENAME;
    TKernelHandle file(CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) {
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? IL_ERROR_FILENOTFOUND : IL_ERROR_FILE_OPEN;
    }
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(file.Get(), &size))
        return IL_ERROR_FILE_READ;
    if (uint64_t(size.QuadPart) > MaxFileBytes)
        return IL_ERROR_NO_MEMORY;
    bytes.resize(size_t(size.QuadPart));
    DWORD done = 0;
    if (!bytes.empty() && (!ReadFile(file.Get(), bytes.data(), DWORD(bytes.size()), &done, nullptr) || done != bytes.size()))
        return IL_ERROR_FILE_READ;
    return IL_SUCCESS;
}

// A new file written beside its target under a temporary name and put in the target's place only
// once it is complete: a write that fails half-way leaves whatever the target held before.
class TReplacingFile {
public:
    TReplacingFile() = default;
    TReplacingFile(const TReplacingFile&) = delete;
    TReplacingFile& operator=(const TReplacingFile&) = delete;
    ~TReplacingFile()
    {
        Close();
        if (!FTemporary.empty() && !FCommitted)
            DeleteFileW(FTemporary.c_str());
    }

    // Creates the temporary file in the target's folder.
    int32_t Create(const char* fileName)
    {
        if (!fileName || !*fileName)
            return IL_ERROR_INV_FILENAME;
        FTarget = Widen(fileName);
        if (FTarget.empty())
            return IL_ERROR_INV_FILENAME;
        const size_t slash = FTarget.find_last_of(L"\\/:");
        std::wstring folder = slash == std::wstring::npos ? std::wstring(L".") : FTarget.substr(0, slash + 1);
        wchar_t temporary[MAX_PATH];
        if (!GetTempFileNameW(folder.c_str(), L"sfi", 0, temporary))
            return IL_ERROR_FILE_OPEN;
        FTemporary = temporary;
        return IL_SUCCESS;
    }
    const std::wstring& Temporary() const { return FTemporary; }

    // The temporary file opened for writing through a handle.
    int32_t Open()
    {
        FHandle = CreateFileW(FTemporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        return FHandle == INVALID_HANDLE_VALUE ? IL_ERROR_FILE_OPEN : IL_SUCCESS;
    }
    int32_t Write(const void* bytes, size_t count)
    {
        DWORD done = 0;
        if (!WriteFile(FHandle, bytes, DWORD(count), &done, nullptr) || done != count)
            return IL_ERROR_FILE_WRITE;
        return IL_SUCCESS;
    }

    // Puts the complete file in the target's place; every stream on it must be closed by now.
    int32_t Commit()
    {
        if (!Close())
            return IL_ERROR_FILE_WRITE;
        if (!MoveFileExW(FTemporary.c_str(), FTarget.c_str(), MOVEFILE_REPLACE_EXISTING))
            return IL_ERROR_FILE_OPEN;
        FCommitted = true;
        return IL_SUCCESS;
    }

private:
    bool Close()
    {
        if (FHandle == INVALID_HANDLE_VALUE)
            return true;
        const bool closed = CloseHandle(FHandle) != 0;
        FHandle = INVALID_HANDLE_VALUE;
        return closed;
    }

    std::wstring FTarget;
    std::wstring FTemporary;
    HANDLE FHandle = INVALID_HANDLE_VALUE;
    bool FCommitted = false;
};

// ---------------------------------------------------------------- recognising files

// What the first bytes tell: the format, and for BMP, PNG, JPEG, PCX and PSD the size and the
// resolution the file itself stores (WIC reports a default where a file has none). Sizes are checked
// here, before any decoder allocates for them.
struct TSniff {
    TImageHeader Header;
    bool UseWicResolution = false;
};

int32_t SniffBmp(const uint8_t* data, size_t size, TSniff& sniff)
{
    sniff.Header.Format = IL_FILE_BMP;
    if (size < 26)
        return IL_ERROR_FILE_FORMAT;
    uint32_t offBits = ReadLE32(data + 10);
    uint32_t headerSize = ReadLE32(data + 14);
    if (headerSize == 12) {
        sniff.Header.Width = ReadLE16(data + 18);
        sniff.Header.Height = ReadLE16(data + 20);
        sniff.Header.FileBitsPerPixel = ReadLE16(data + 24);
        if (int32_t check = CheckImageSize(sniff.Header.Width, sniff.Header.Height); check != IL_SUCCESS)
            return check;
        const uint64_t needed = uint64_t(AlignedStride(sniff.Header.Width, sniff.Header.FileBitsPerPixel)) *
                                uint64_t(sniff.Header.Height);
        return offBits <= size && needed > 0 && needed <= size - offBits ? IL_SUCCESS : IL_ERROR_FILE_FORMAT;
    }
    if (headerSize < 40 || size < 14 + 40 || headerSize > size - 14)
        return IL_ERROR_FILE_FORMAT;
    int32_t width = int32_t(ReadLE32(data + 18));
    int32_t height = int32_t(ReadLE32(data + 22));
    uint16_t bits = ReadLE16(data + 28);
    uint32_t compression = ReadLE32(data + 30);
    uint32_t colours = ReadLE32(data + 46);
    if (height == INT32_MIN || width <= 0)
        return IL_ERROR_FILE_FORMAT;
    int64_t rows = std::abs(int64_t(height));
    if (int32_t check = CheckImageSize(width, rows); check != IL_SUCCESS)
        return check;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return IL_ERROR_FILE_FORMAT;
    if (colours > 256 || offBits > size)
        return IL_ERROR_FILE_FORMAT;
    if (compression == BI_RGB || compression == BI_BITFIELDS) {
        uint64_t needed = uint64_t(AlignedStride(width, bits)) * uint64_t(rows);
        if (uint64_t(offBits) + needed > size)
            return IL_ERROR_FILE_FORMAT;
    } else if (!((compression == BI_RLE8 && bits == 8) || (compression == BI_RLE4 && bits == 4))) {
        return IL_ERROR_FEATURE_NOT_SUPPORTED;
    }
    // Run-length codes may skip any area (a delta, the end of the picture), so a few bytes can be a
    // valid picture of any size: the memory the decoded picture needs is what bounds it.
    sniff.Header.Width = width;
    sniff.Header.Height = int32_t(rows);
    sniff.Header.FileBitsPerPixel = bits;
    sniff.Header.XResolution = MetreToInch(ReadLE32(data + 38));
    sniff.Header.YResolution = MetreToInch(ReadLE32(data + 42));
    return IL_SUCCESS;
}

// Bits per pixel of a PNG's colour type and sample depth, 0 for a pair the format does not have.
int32_t PngBitsPerPixel(uint8_t depth, uint8_t colourType)
{
    auto allowed = [depth](std::initializer_list<uint8_t> depths) {
        return std::find(depths.begin(), depths.end(), depth) != depths.end();
    };
    switch (colourType) {
    case 0: return allowed({1, 2, 4, 8, 16}) ? depth : 0;
    case 2: return allowed({8, 16}) ? 3 * depth : 0;
    case 3: return allowed({1, 2, 4, 8}) ? depth : 0;
    case 4: return allowed({8, 16}) ? 2 * depth : 0;
    case 6: return allowed({8, 16}) ? 4 * depth : 0;
    default: return 0;
    }
}

// Every chunk lies inside the file, and the image data is enough to inflate to the rows the header
// announces: a chunk length of a gigabyte in a file of forty bytes is damage, not a picture.
int32_t SniffPng(const uint8_t* data, size_t size, TSniff& sniff)
{
    sniff.Header.Format = IL_FILE_PNG;
    if (size < 33 || ReadBE32(data + 8) != 13 || memcmp(data + 12, "IHDR", 4) != 0)
        return IL_ERROR_FILE_FORMAT;
    uint32_t width = ReadBE32(data + 16), height = ReadBE32(data + 20);
    if (int32_t check = CheckImageSize(width, height); check != IL_SUCCESS)
        return check;
    const int32_t bitsPerPixel = PngBitsPerPixel(data[24], data[25]);
    if (bitsPerPixel == 0)
        return IL_ERROR_FILE_FORMAT;
    sniff.Header.Width = int32_t(width);
    sniff.Header.Height = int32_t(height);
    sniff.Header.FileBitsPerPixel = bitsPerPixel;
    uint64_t compressed = 0;
    size_t pos = 8;
    while (pos < size) {
        if (size - pos < 12)
            return IL_ERROR_FILE_FORMAT;
        const uint32_t length = ReadBE32(data + pos);
        const uint8_t* type = data + pos + 4;
        if (length > size - pos - 12)
            return IL_ERROR_FILE_FORMAT;
        if (memcmp(type, "IEND", 4) == 0)
            break;
        if (memcmp(type, "IDAT", 4) == 0)
            compressed += length;
        if (memcmp(type, "pHYs", 4) == 0 && length >= 9 && data[pos + 16] == 1) {
            sniff.Header.XResolution = MetreToInch(ReadBE32(data + pos + 8));
            sniff.Header.YResolution = MetreToInch(ReadBE32(data + pos + 12));
        }
        pos += 12 + size_t(length);
    }
    const uint64_t rowBytes = (uint64_t(width) * uint64_t(bitsPerPixel) + 7) / 8;
    return InflatedSizeJustified(uint64_t(height) * (1 + rowBytes), compressed) ? IL_SUCCESS : IL_ERROR_FILE_FORMAT;
}

int32_t SniffJpeg(const uint8_t* data, size_t size, TSniff& sniff)
{
    sniff.Header.Format = IL_FILE_JFIF;
    size_t pos = 2;
    while (pos + 4 <= size) {
        if (data[pos] != 0xFF)
            return IL_ERROR_FILE_FORMAT;
        uint8_t marker = data[pos + 1];
        if (marker == 0xFF) {
            ++pos;
            continue;
        }
        if (marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) {
            pos += 2;
            continue;
        }
        size_t length = ReadBE16(data + pos + 2);
        if (length < 2 || length > size - pos - 2)
            return IL_ERROR_FILE_FORMAT;
        const uint8_t* body = data + pos + 4;
        if (marker == 0xE0 && length >= 16 && memcmp(body, "JFIF\0", 5) == 0) {
            uint8_t units = body[7];
            int32_t x = ReadBE16(body + 8), y = ReadBE16(body + 10);
            if (units == 1) {
                sniff.Header.XResolution = x;
                sniff.Header.YResolution = y;
            } else if (units == 2) {
                sniff.Header.XResolution = int32_t((x * 254 + 50) / 100);
                sniff.Header.YResolution = int32_t((y * 254 + 50) / 100);
            }
        }
        bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame) {
            if (length < 8)
                return IL_ERROR_FILE_FORMAT;
            uint16_t height = ReadBE16(body + 1), width = ReadBE16(body + 3);
            if (int32_t check = CheckImageSize(width, height); check != IL_SUCCESS)
                return check;
            sniff.Header.Width = width;
            sniff.Header.Height = height;
            sniff.Header.FileBitsPerPixel = 8 * body[5];
            // Huffman coding spends at least a bit on every 8 x 8 block; arithmetic coding may spend less.
            const bool huffman = marker < 0xC9;
            if (huffman && uint64_t(width) * height > (uint64_t(size) + 1024) * 512)
                return IL_ERROR_FILE_FORMAT;
            return IL_SUCCESS;
        }
        if (marker == 0xDA || marker == 0xD9)
            break;
        pos += 2 + length;
    }
    return IL_ERROR_FILE_FORMAT;
}

// The sub-blocks from pos to their terminator, which must lie inside the file; pos ends after it.
bool SkipGifBlocks(const uint8_t* data, size_t size, size_t& pos, uint64_t& bytes)
{
    for (;;) {
        if (pos >= size)
            return false;
        const size_t length = data[pos++];
        if (length == 0)
            return true;
        if (length > size - pos)
            return false;
        bytes += length;
        pos += length;
    }
}

// Every block lies inside the file and every frame has a colour table of its own or the file's (the
// system's decoder copies a frame through it unchecked). A frame may not announce more pixels than
// its LZW codes can describe: each code stands for at most 4096 pixels once the table is full.
int32_t SniffGif(const uint8_t* data, size_t size, TSniff& sniff)
{
    sniff.Header.Format = IL_FILE_GIF;
    if (size < 13)
        return IL_ERROR_FILE_FORMAT;
    // The logical screen bounds what frames may cover; WIC gives the frame's own size.
    if (int32_t check = CheckImageSize(ReadLE16(data + 6), ReadLE16(data + 8)); check != IL_SUCCESS)
        return check;
    sniff.Header.Width = ReadLE16(data + 6);
    sniff.Header.Height = ReadLE16(data + 8);
    sniff.Header.FileBitsPerPixel = 8;
    const bool globalTable = data[10] & 0x80;
    size_t pos = 13 + (globalTable ? 3 * (size_t(2) << (data[10] & 7)) : 0);
    int frames = 0;
    while (pos < size && data[pos] != 0x3B) {
        const uint8_t introducer = data[pos++];
        uint64_t bytes = 0;
        if (introducer == 0x21) {
            if (pos >= size || !SkipGifBlocks(data, size, ++pos, bytes))
                return IL_ERROR_FILE_FORMAT;
            continue;
        }
        if (introducer != 0x2C)
            return frames > 0 ? IL_SUCCESS : IL_ERROR_FILE_FORMAT;
        if (size - pos < 10)
            return IL_ERROR_FILE_FORMAT;
        const uint32_t width = ReadLE16(data + pos + 4), height = ReadLE16(data + pos + 6);
        const uint8_t flags = data[pos + 8];
        const bool localTable = flags & 0x80;
        if (!localTable && !globalTable)
            return IL_ERROR_FILE_FORMAT;
        if (int32_t check = CheckImageSize(width, height); check != IL_SUCCESS)
            return check;
        pos += 9 + (localTable ? 3 * (size_t(2) << (flags & 7)) : 0);
        if (pos >= size || data[pos] < 1 || data[pos] > 11 || !SkipGifBlocks(data, size, ++pos, bytes))
            return IL_ERROR_FILE_FORMAT;
        if (uint64_t(width) * height > (uint64_t(1) << 23) + 2731 * bytes)
            return IL_ERROR_FILE_FORMAT;
        sniff.Header.Width = std::max<int32_t>(sniff.Header.Width, int32_t(width));
        sniff.Header.Height = std::max<int32_t>(sniff.Header.Height, int32_t(height));
        ++frames;
    }
    return frames > 0 ? IL_SUCCESS : IL_ERROR_FILE_FORMAT;
}

// WIC decodes the first image of an icon; Wine's decoder trusts its header, so it is checked here:
// the image lies inside the file, and a DIB image is of sane size with its pixels and mask present.
int32_t SniffIco(const uint8_t* data, size_t size, TSniff& sniff)
{
    sniff.Header.Format = IL_FILE_ICO;
    const uint32_t count = ReadLE16(data + 4);
    if (size < 6 + 16 * size_t(count))
        return IL_ERROR_FILE_FORMAT;
    const uint8_t* entry = data + 6;
    uint32_t imageSize = ReadLE32(entry + 8), offset = ReadLE32(entry + 12);
    if (offset > size || imageSize > size - offset || imageSize < 40)
        return IL_ERROR_FILE_FORMAT;
    const uint8_t* image = data + offset;
    if (memcmp(image, "\x89PNG\r\n\x1a\n", 8) == 0) {
        TSniff png;
        const int32_t result = SniffPng(image, imageSize, png);
        sniff.Header.Width = png.Header.Width;
        sniff.Header.Height = png.Header.Height;
        return result;
    }
    constexpr int32_t MaxIconSide = 1024;
    uint32_t headerSize = ReadLE32(image);
    int32_t width = int32_t(ReadLE32(image + 4)), height = int32_t(ReadLE32(image + 8));
    uint16_t bits = ReadLE16(image + 14);
    uint32_t compression = ReadLE32(image + 16), colours = ReadLE32(image + 32);
    if (headerSize != 40 || width <= 0 || width > MaxIconSide || height <= 0 || height > 2 * MaxIconSide || height % 2 != 0)
        return IL_ERROR_FILE_FORMAT;
    if (!(bits == 1 || bits == 4 || bits == 8 || bits == 24 || bits == 32) || compression != BI_RGB || colours > 256)
        return IL_ERROR_FILE_FORMAT;
    const uint64_t rows = uint64_t(height / 2);
    const uint64_t palette = uint64_t(colours ? colours : (bits <= 8 ? 1u << bits : 0)) * 4;
    const uint64_t needed = 40 + palette + (uint64_t(AlignedStride(width, bits)) + AlignedStride(width, 1)) * rows;
    if (needed > imageSize)
        return IL_ERROR_FILE_FORMAT;
    sniff.Header.Width = width;
    sniff.Header.Height = int32_t(rows);
    sniff.Header.FileBitsPerPixel = bits;
    return IL_SUCCESS;
}

// A TIFF's first image, as far as the system's decoder would allocate for it: its size, and its strips
// or tiles inside the file, holding at least the rows an uncompressed image announces.
class TTiffDirectory {
public:
    TTiffDirectory(const uint8_t* data, size_t size) : FData(data), FSize(size), FLittle(data[0] == 'I') {}

    bool Read()
    {
        const uint32_t at = U32(4);
        if (at < 8 || at > FSize - 2)
            return false;
        FEntries = at + 2;
        FCount = U16(at);
        return uint64_t(FCount) * 12 <= FSize - FEntries;
    }
    // The tag's value at index (SHORT or LONG), or fallback when the tag is missing; false when it
    // lies outside the file.
    bool Value(uint16_t tag, uint32_t index, uint64_t& value, uint64_t fallback = 0) const
    {
        const size_t entry = Find(tag);
        if (entry == 0) {
            value = fallback;
            return true;
        }
        const uint32_t type = U16(entry + 2), count = U32(entry + 4);
        const uint64_t width = type == 3 ? 2 : type == 4 ? 4 : 0;
        if (width == 0 || index >= count)
            return false;
        const uint64_t at = uint64_t(count) * width <= 4 ? entry + 8 + index * width : U32(entry + 8) + index * width;
        if (at + width > FSize)
            return false;
        value = width == 2 ? U16(size_t(at)) : U32(size_t(at));
        return true;
    }
    uint32_t Count(uint16_t tag) const
    {
        const size_t entry = Find(tag);
        return entry ? U32(entry + 4) : 0;
    }

private:
    size_t Find(uint16_t tag) const
    {
        for (uint32_t i = 0; i < FCount; ++i)
            if (U16(FEntries + 12 * size_t(i)) == tag)
                return FEntries + 12 * size_t(i);
        return 0;
    }
    uint32_t U16(size_t at) const { return FLittle ? ReadLE16(FData + at) : ReadBE16(FData + at); }
    uint32_t U32(size_t at) const { return FLittle ? ReadLE32(FData + at) : ReadBE32(FData + at); }

    const uint8_t* FData;
    size_t FSize;
    bool FLittle;
    size_t FEntries = 0;
    uint32_t FCount = 0;
};

int32_t SniffTiff(const uint8_t* data, size_t size, TSniff& sniff)
{
    enum : uint16_t { Width = 256, Height = 257, BitsPerSample = 258, Compression = 259, StripOffsets = 273,
                      SamplesPerPixel = 277, StripByteCounts = 279, TileOffsets = 324, TileByteCounts = 325 };
    sniff.Header.Format = IL_FILE_TIF;
    sniff.UseWicResolution = true;
    TTiffDirectory tiff(data, size);
    uint64_t width = 0, height = 0, compression = 0, samples = 0;
    if (size < 8 || !tiff.Read() || !tiff.Value(Width, 0, width) || !tiff.Value(Height, 0, height) ||
        !tiff.Value(Compression, 0, compression, 1) || !tiff.Value(SamplesPerPixel, 0, samples, 1))
        return IL_ERROR_FILE_FORMAT;
    if (int32_t check = CheckImageSize(int64_t(width), int64_t(height)); check != IL_SUCCESS)
        return check;
    uint64_t bits = 0;
    for (uint32_t i = 0; i < std::max<uint64_t>(samples, 1) && i < 16; ++i) {
        uint64_t sample = 0;
        if (!tiff.Value(BitsPerSample, std::min(i, std::max<uint32_t>(tiff.Count(BitsPerSample), 1) - 1), sample, 1))
            return IL_ERROR_FILE_FORMAT;
        bits += sample;
    }
    const bool tiled = tiff.Count(TileOffsets) > 0;
    const uint16_t offsetsTag = tiled ? TileOffsets : StripOffsets, countsTag = tiled ? TileByteCounts : StripByteCounts;
    const uint32_t pieces = tiff.Count(offsetsTag);
    if (pieces == 0 || pieces != tiff.Count(countsTag))
        return IL_ERROR_FILE_FORMAT;
    uint64_t stored = 0;
    for (uint32_t i = 0; i < pieces; ++i) {
        uint64_t offset = 0, bytes = 0;
        if (!tiff.Value(offsetsTag, i, offset) || !tiff.Value(countsTag, i, bytes) || offset > size || bytes > size - offset)
            return IL_ERROR_FILE_FORMAT;
        stored += bytes;
    }
    const uint64_t raw = height * ((width * std::max<uint64_t>(bits, 1) + 7) / 8);
    // Uncompressed rows are all there; LZW, deflate and PackBits give at most 2731 bytes per byte.
    const bool compressedLosslessly = compression == 5 || compression == 8 || compression == 32946 || compression == 32773;
    if ((compression == 1 && stored < raw) || (compressedLosslessly && raw > (uint64_t(1) << 23) + 2731 * stored))
        return IL_ERROR_FILE_FORMAT;
    sniff.Header.Width = int32_t(width);
    sniff.Header.Height = int32_t(height);
    sniff.Header.FileBitsPerPixel = int32_t(std::min<uint64_t>(bits, 64));
    return IL_SUCCESS;
}

int32_t SniffFormat(const uint8_t* data, size_t size, TSniff& sniff)
{
    if (size >= 2 && data[0] == 'B' && data[1] == 'M')
        return SniffBmp(data, size, sniff);
    if (size >= 8 && memcmp(data, "\x89PNG\r\n\x1a\n", 8) == 0)
        return SniffPng(data, size, sniff);
    if (size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF)
        return SniffJpeg(data, size, sniff);
    if (size >= 6 && (memcmp(data, "GIF87a", 6) == 0 || memcmp(data, "GIF89a", 6) == 0))
        return SniffGif(data, size, sniff);
    if (size >= 4 && (memcmp(data, "II*\0", 4) == 0 || memcmp(data, "MM\0*", 4) == 0))
        return SniffTiff(data, size, sniff);
    if (size >= 6 && ReadLE16(data) == 0 && (ReadLE16(data + 2) == 1 || ReadLE16(data + 2) == 2) && ReadLE16(data + 4) > 0)
        return SniffIco(data, size, sniff);
    if (PsdReader::IsPsd(data, size))
        return PsdReader::ReadHeader(data, size, sniff.Header);
    if (PcxReader::IsPcx(data, size))
        return PcxReader::ReadHeader(data, size, sniff.Header);
    return IL_ERROR_FILE_FORMAT;
}

bool IsOwnReader(int32_t format)
{
    return format == IL_FILE_PCX || format == IL_FILE_PSD;
}

// Uncompressed 24- and 32-bit BMPs (what embedded pictures are stored as) are read straight from
// memory into the bitmap: WIC would copy the whole pixel array once more on the way, and would drop
// the fourth byte of a 32-bit one.
bool IsPlainBmp(const uint8_t* data, size_t size, const TSniff& sniff)
{
    return sniff.Header.Format == IL_FILE_BMP && size >= 14 + 40 && ReadLE32(data + 14) >= 40 &&
           (ReadLE16(data + 28) == 24 || ReadLE16(data + 28) == 32) && ReadLE32(data + 30) == BI_RGB;
}

// What a file loads at by default: a 32-bit BMP keeps its fourth byte, anything else is 24 bits.
int32_t NaturalBitsPerPixel(const uint8_t* data, size_t size, const TSniff& sniff)
{
    return IsPlainBmp(data, size, sniff) && ReadLE16(data + 28) == 32 ? 32 : 24;
}

// What the header says and whether the picture fits: checked before any decoder, ours or the
// system's, allocates for it.
int32_t Sniff(const uint8_t* data, size_t size, TSniff& sniff)
{
    if (int32_t result = SniffFormat(data, size, sniff); result != IL_SUCCESS)
        return result;
    const uint64_t pixels = uint64_t(std::max(sniff.Header.Width, 0)) * uint64_t(std::max(sniff.Header.Height, 0));
    const bool own = IsOwnReader(sniff.Header.Format);
    if (own && !CodedSizeJustified(pixels, size))
        return IL_ERROR_FILE_FORMAT;
    // The bitmap at up to 32 bits per pixel; the system's decoders hold a frame of their own beside it.
    const uint32_t bytesPerPixel = own || IsPlainBmp(data, size, sniff) ? 4 : 8;
    return CheckDecodedFits(sniff.Header.Width, sniff.Header.Height, bytesPerPixel);
}

// ---------------------------------------------------------------- bitmap storage

int32_t StorageRow(const TILBitmapHandle& bitmap, int32_t displayRow)
{
    return bitmap.ViewPerspective == IL_BOTTOM_UP ? bitmap.Height - 1 - displayRow : displayRow;
}

uint8_t* RowPointer(const TILBitmapHandle& bitmap, int32_t storageRow)
{
    return bitmap.Pixels + size_t(storageRow) * size_t(bitmap.BytesPerLine);
}

bool HasPixels(const TILBitmapHandle* bitmap)
{
    return bitmap && bitmap->Pixels && bitmap->Width > 0 && bitmap->Height > 0 && bitmap->BytesPerLine > 0;
}

void Touch(TILBitmapHandle& bitmap)
{
    ++bitmap.Generation;
}

void ReleaseOwned(TILBitmapHandle& bitmap)
{
    delete bitmap.Data;
    bitmap = TILBitmapHandle{};
}

// Owned pixels live in a DIB section, laid out as the perspective says, so that a device context can
// draw on them directly.
int32_t AllocateOwned(TILBitmapHandle& bitmap, int32_t width, int32_t height, int32_t bitsPerPixel, int32_t perspective)
{
    if (int32_t check = CheckImageSize(width, height); check != IL_SUCCESS)
        return check == IL_ERROR_FILE_FORMAT ? IL_ERROR_INV_PARAMETER : check;
    if (int32_t check = CheckDecodedFits(width, height, uint32_t(bitsPerPixel + 7) / 8); check != IL_SUCCESS)
        return check;
    uint32_t stride = AlignedStride(width, bitsPerPixel);
    if (stride == 0 || uint64_t(stride) * uint64_t(height) > 0x7FFFFFFFu)
        return IL_ERROR_NO_MEMORY;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = perspective == IL_TOP_DOWN ? -height : height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = WORD(bitsPerPixel);
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!dib || !bits) {
        if (dib)
            DeleteObject(dib);
        return IL_ERROR_NO_MEMORY;
    }
    auto data = std::make_unique<TILBitmapData>();
    data->Dib = dib;
    data->DibTopDown = perspective == IL_TOP_DOWN;
    uint32_t generation = bitmap.Generation + 1;
    bitmap = TILBitmapHandle{};
    bitmap.StructSize = sizeof(TILBitmapHandle);
    bitmap.Pixels = static_cast<uint8_t*>(bits);
    bitmap.Width = width;
    bitmap.Height = height;
    bitmap.BitsPerPixel = uint16_t(bitsPerPixel);
    bitmap.BytesPerLine = int32_t(stride);
    bitmap.Size = stride * uint32_t(height);
    bitmap.MemoryType = IL_MEMORY_OWNED;
    bitmap.Data = data.release();
    bitmap.Generation = generation;
    bitmap.Order = 1;
    bitmap.ViewPerspective = perspective;
    return IL_SUCCESS;
}

// Hands a freshly made bitmap to the caller's record. What the record held is overwritten, as
// loading does, or freed when it is the bitmap being replaced (a quarter turn).
void Adopt(TILBitmapHandle& target, TILBitmapHandle& made, bool freeOld = false)
{
    if (&target == &made)
        return;
    made.Generation = std::max(made.Generation, target.Generation + 1);
    if (freeOld && target.MemoryType == IL_MEMORY_OWNED)
        delete target.Data;
    target = made;
    made = TILBitmapHandle{};
}

// One displayed row as 24-bit BGR, whatever the stored depth. Depths up to 8 bits have no palette
// here and read as grey levels.
void DisplayRowToBgr(const TILBitmapHandle& bitmap, int32_t displayRow, uint8_t* out)
{
    const uint8_t* row = RowPointer(bitmap, StorageRow(bitmap, displayRow));
    const int32_t width = bitmap.Width;
    switch (bitmap.BitsPerPixel) {
    case 24:
        memcpy(out, row, size_t(width) * 3);
        return;
    case 32:
        for (int32_t x = 0; x < width; ++x, out += 3, row += 4) {
            out[0] = row[0];
            out[1] = row[1];
            out[2] = row[2];
        }
        return;
    case 16:
        for (int32_t x = 0; x < width; ++x, out += 3) {
            uint16_t v = ReadLE16(row + 2 * x);
            out[0] = uint8_t(((v & 0x1F) * 255 + 15) / 31);
            out[1] = uint8_t((((v >> 5) & 0x1F) * 255 + 15) / 31);
            out[2] = uint8_t((((v >> 10) & 0x1F) * 255 + 15) / 31);
        }
        return;
    default: {
        const int32_t bits = bitmap.BitsPerPixel;
        const int32_t levels = (1 << bits) - 1;
        for (int32_t x = 0; x < width; ++x, out += 3) {
            int32_t bit = x * bits;
            int32_t index = (row[bit >> 3] >> (8 - bits - (bit & 7))) & levels;
            out[0] = out[1] = out[2] = uint8_t(index * 255 / levels);
        }
    }
    }
}

// A BITMAPINFO that describes the stored pixels to GDI, with a grey palette for depths up to 8 bits.
struct TDibInfo {
    BITMAPINFOHEADER Header = {};
    RGBQUAD Colours[256] = {};

    explicit TDibInfo(const TILBitmapHandle& bitmap)
    {
        Header.biSize = sizeof(BITMAPINFOHEADER);
        Header.biWidth = bitmap.Width;
        Header.biHeight = bitmap.ViewPerspective == IL_BOTTOM_UP ? bitmap.Height : -bitmap.Height;
        Header.biPlanes = 1;
        Header.biBitCount = bitmap.BitsPerPixel;
        Header.biCompression = BI_RGB;
        if (bitmap.BitsPerPixel <= 8) {
            int32_t count = 1 << bitmap.BitsPerPixel;
            Header.biClrUsed = DWORD(count);
            for (int32_t i = 0; i < count; ++i) {
                BYTE v = BYTE(i * 255 / (count - 1));
                Colours[i] = RGBQUAD{v, v, v, 0};
            }
        }
    }
    const BITMAPINFO* Get() const { return reinterpret_cast<const BITMAPINFO*>(this); }
};

bool ValidDepth(int32_t bits)
{
    return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

// ---------------------------------------------------------------- decoding

bool HasAlpha(const WICPixelFormatGUID& format)
{
    static const GUID* const withAlpha[] = {
        &GUID_WICPixelFormat32bppBGRA, &GUID_WICPixelFormat32bppRGBA, &GUID_WICPixelFormat32bppPBGRA,
        &GUID_WICPixelFormat32bppPRGBA, &GUID_WICPixelFormat64bppRGBA, &GUID_WICPixelFormat64bppBGRA,
        &GUID_WICPixelFormat64bppPRGBA, &GUID_WICPixelFormat16bppBGRA5551, &GUID_WICPixelFormat128bppRGBAFloat,
        &GUID_WICPixelFormat1bppIndexed, &GUID_WICPixelFormat2bppIndexed, &GUID_WICPixelFormat4bppIndexed,
        &GUID_WICPixelFormat8bppIndexed};
    for (const GUID* candidate : withAlpha)
        if (IsEqualGUID(format, *candidate))
            return true;
    return false;
}

struct TWicFrame {
    IWICImagingFactory* Factory = nullptr; // the thread's
    TComPtr<IWICStream> Stream;
    TComPtr<IWICBitmapDecoder> Decoder;
    TComPtr<IWICBitmapFrameDecode> Frame;
    UINT Width = 0;
    UINT Height = 0;
    WICPixelFormatGUID Format = {};
};

int32_t OpenWicFrame(const uint8_t* data, size_t size, TWicFrame& wic)
{
    wic.Factory = ThreadFactory();
    if (!wic.Factory)
        return IL_FAILURE;
    HRESULT hr = wic.Factory->CreateStream(&wic.Stream);
    if (SUCCEEDED(hr))
        hr = wic.Stream->InitializeFromMemory(const_cast<BYTE*>(data), DWORD(size));
    if (SUCCEEDED(hr))
        hr = wic.Factory->CreateDecoderFromStream(wic.Stream.Get(), nullptr, WICDecodeMetadataCacheOnDemand, &wic.Decoder);
    if (SUCCEEDED(hr))
        hr = wic.Decoder->GetFrame(0, &wic.Frame);
    if (SUCCEEDED(hr))
        hr = wic.Frame->GetSize(&wic.Width, &wic.Height);
    if (SUCCEEDED(hr))
        hr = wic.Frame->GetPixelFormat(&wic.Format);
    if (FAILED(hr))
        return HResultToIL(hr);
    return CheckImageSize(wic.Width, wic.Height);
}

int32_t Convert(TWicFrame& wic, const WICPixelFormatGUID& target, TComPtr<IWICFormatConverter>& converter)
{
    HRESULT hr = wic.Factory->CreateFormatConverter(&converter);
    if (SUCCEEDED(hr))
        hr = converter->Initialize(wic.Frame.Get(), target, WICBitmapDitherTypeNone, nullptr, 0, WICBitmapPaletteTypeCustom);
    return FAILED(hr) ? HResultToIL(hr) : IL_SUCCESS;
}

// Copies rows through 32-bit BGRA into a 24-bit bitmap, laying uncovered pixels over white when
// flatten is set and dropping the fourth byte otherwise.
int32_t CopyThroughBgra(TWicFrame& wic, TILBitmapHandle& bitmap, bool flatten)
{
    TComPtr<IWICFormatConverter> converter;
    if (int32_t result = Convert(wic, GUID_WICPixelFormat32bppBGRA, converter); result != IL_SUCCESS)
        return result;
    std::vector<uint8_t> row(size_t(bitmap.Width) * 4);
    for (int32_t y = 0; y < bitmap.Height; ++y) {
        WICRect line = {0, y, bitmap.Width, 1};
        HRESULT hr = converter->CopyPixels(&line, UINT(row.size()), UINT(row.size()), row.data());
        if (FAILED(hr))
            return HResultToIL(hr);
        uint8_t* out = RowPointer(bitmap, y);
        for (int32_t x = 0; x < bitmap.Width; ++x, out += 3) {
            const uint8_t* p = &row[size_t(x) * 4];
            uint32_t a = flatten ? p[3] : 255;
            for (int c = 0; c < 3; ++c)
                out[c] = uint8_t((p[c] * a + 255 * (255 - a) + 127) / 255);
        }
    }
    return IL_SUCCESS;
}

// Decodes the frame into the top-down bitmap. Transparent pixels of formats that carry coverage are
// laid over white when 24 bits are wanted.
int32_t DecodeWicPixels(TWicFrame& wic, int32_t format, TILBitmapHandle& bitmap)
{
    const bool want32 = bitmap.BitsPerPixel == 32;
    const bool flatten = !want32 && format != IL_FILE_BMP && format != IL_FILE_JFIF && HasAlpha(wic.Format);
    if (flatten)
        return CopyThroughBgra(wic, bitmap, true);
    const WICPixelFormatGUID& target = want32 ? GUID_WICPixelFormat32bppBGRA : GUID_WICPixelFormat24bppBGR;
    IWICBitmapSource* source = wic.Frame.Get();
    TComPtr<IWICFormatConverter> converter;
    if (!IsEqualGUID(wic.Format, target)) {
        if (int32_t result = Convert(wic, target, converter); result != IL_SUCCESS)
            return result;
        source = converter.Get();
    }
    HRESULT hr = source->CopyPixels(nullptr, UINT(bitmap.BytesPerLine), bitmap.Size, bitmap.Pixels);
    // Some converters reach 24 bits only by way of 32 (indexed and 16-bit sources under Wine).
    if (hr == WINCODEC_ERR_UNSUPPORTEDOPERATION && !want32)
        return CopyThroughBgra(wic, bitmap, false);
    return FAILED(hr) ? HResultToIL(hr) : IL_SUCCESS;
}

// The frame's size; its resolution only where the sniffer asks for it (TIFF keeps it where WIC
// finds it, other WIC formats were read by the sniffer).
void ReadWicFrameHeader(TWicFrame& wic, TSniff& sniff)
{
    sniff.Header.Width = int32_t(wic.Width);
    sniff.Header.Height = int32_t(wic.Height);
    double dpiX = 0, dpiY = 0;
    if (sniff.UseWicResolution && SUCCEEDED(wic.Frame->GetResolution(&dpiX, &dpiY)) && dpiX > 0 && dpiY > 0 &&
        dpiX < 1e6 && dpiY < 1e6) {
        sniff.Header.XResolution = int32_t(std::lround(dpiX));
        sniff.Header.YResolution = int32_t(std::lround(dpiY));
    }
}

// A 32-bit copy of a 24-bit bitmap, opaque.
int32_t WidenTo32(TILBitmapHandle& bitmap)
{
    TILBitmapHandle wide;
    if (int32_t result = AllocateOwned(wide, bitmap.Width, bitmap.Height, 32, bitmap.ViewPerspective); result != IL_SUCCESS)
        return result;
    for (int32_t y = 0; y < bitmap.Height; ++y) {
        const uint8_t* in = RowPointer(bitmap, y);
        uint8_t* out = RowPointer(wide, y);
        for (int32_t x = 0; x < bitmap.Width; ++x, in += 3, out += 4) {
            out[0] = in[0];
            out[1] = in[1];
            out[2] = in[2];
            out[3] = 255;
        }
    }
    Adopt(bitmap, wide, true);
    return IL_SUCCESS;
}

int32_t DecodeWithOwnReader(const uint8_t* data, size_t size, const TImageHeader& header, int32_t bits, TILBitmapHandle& made)
{
    if (int32_t result = AllocateOwned(made, header.Width, header.Height, 24, IL_TOP_DOWN); result != IL_SUCCESS)
        return result;
    int32_t result = header.Format == IL_FILE_PCX ? PcxReader::Decode(data, size, made.Pixels, made.BytesPerLine)
                                                  : PsdReader::Decode(data, size, made.Pixels, made.BytesPerLine);
    if (result == IL_SUCCESS && bits == 32)
        result = WidenTo32(made);
    if (result != IL_SUCCESS)
        ReleaseOwned(made);
    return result;
}

int32_t DecodeWithWic(const uint8_t* data, size_t size, TSniff& sniff, int32_t bits, TILBitmapHandle& made)
{
    TWicFrame wic;
    if (int32_t result = OpenWicFrame(data, size, wic); result != IL_SUCCESS)
        return result;
    if (int32_t result = AllocateOwned(made, int32_t(wic.Width), int32_t(wic.Height), bits, IL_TOP_DOWN); result != IL_SUCCESS)
        return result;
    if (int32_t result = DecodeWicPixels(wic, sniff.Header.Format, made); result != IL_SUCCESS) {
        ReleaseOwned(made);
        return result;
    }
    ReadWicFrameHeader(wic, sniff);
    return IL_SUCCESS;
}


// The sniffer has checked that the header and every row lie inside the data.
int32_t DecodePlainBmp(const uint8_t* data, const TSniff& sniff, int32_t bits, TILBitmapHandle& made)
{
    const int32_t width = sniff.Header.Width;
    const int32_t height = sniff.Header.Height;
    if (int32_t result = AllocateOwned(made, width, height, bits, IL_TOP_DOWN); result != IL_SUCCESS)
        return result;
    const bool bottomUp = int32_t(ReadLE32(data + 22)) > 0;
    const uint8_t* pixels = data + ReadLE32(data + 10);
    const int32_t fileBits = sniff.Header.FileBitsPerPixel;
    const uint32_t stride = AlignedStride(width, fileBits);
    const size_t inBytes = size_t(fileBits / 8);
    const size_t outBytes = size_t(bits / 8);
    bool anyAlpha = false;
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* in = pixels + size_t(bottomUp ? height - 1 - y : y) * stride;
        uint8_t* out = RowPointer(made, y);
        if (bits == fileBits) {
            memcpy(out, in, size_t(width) * outBytes);
            for (int32_t x = 0; bits == 32 && !anyAlpha && x < width; ++x)
                anyAlpha = in[size_t(x) * 4 + 3] != 0;
            continue;
        }
        for (int32_t x = 0; x < width; ++x, in += inBytes, out += outBytes) {
            out[0] = in[0];
            out[1] = in[1];
            out[2] = in[2];
            if (bits == 32)
                out[3] = 255;
        }
    }
    // Most programs leave the fourth byte of a 32-bit BMP at 0: such a picture is opaque.
    if (bits == 32 && fileBits == 32 && !anyAlpha) {
        for (int32_t y = 0; y < height; ++y) {
            uint8_t* out = RowPointer(made, y);
            for (int32_t x = 0; x < width; ++x)
                out[size_t(x) * 4 + 3] = 255;
        }
    }
    return IL_SUCCESS;
}

// Decodes a whole file image into bitmap (top-down), filling info when it is given.
int32_t DecodeImage(const uint8_t* data, size_t size, TILBitmapHandle& bitmap, int32_t bitsPerPixel, TILFileInfo* info)
{
    TSniff sniff;
    if (int32_t result = Sniff(data, size, sniff); result != IL_SUCCESS)
        return result;
    const int32_t bits = bitsPerPixel == 32 ? 32 : 24;
    TILBitmapHandle made;
    int32_t result = IsOwnReader(sniff.Header.Format) ? DecodeWithOwnReader(data, size, sniff.Header, bits, made)
                     : IsPlainBmp(data, size, sniff)  ? DecodePlainBmp(data, sniff, bits, made)
                                                      : DecodeWithWic(data, size, sniff, bits, made);
    if (result != IL_SUCCESS)
        return result;
    made.XResolution = sniff.Header.XResolution;
    made.YResolution = sniff.Header.YResolution;
    Adopt(bitmap, made);
    if (info) {
        info->Format = sniff.Header.Format;
        info->Width = bitmap.Width;
        info->Height = bitmap.Height;
        info->XResolution = bitmap.XResolution;
        info->YResolution = bitmap.YResolution;
        info->SizeDisk = uint32_t(size);
        info->BitsPerPixel = bits;
        info->FileBitsPerPixel = sniff.Header.FileBitsPerPixel;
    }
    return IL_SUCCESS;
}

int32_t ReadInfo(const uint8_t* data, size_t size, TILFileInfo& info)
{
    TSniff sniff;
    if (int32_t result = Sniff(data, size, sniff); result != IL_SUCCESS)
        return result;
    if (!IsOwnReader(sniff.Header.Format)) {
        TWicFrame wic;
        if (int32_t result = OpenWicFrame(data, size, wic); result != IL_SUCCESS)
            return result;
        ReadWicFrameHeader(wic, sniff);
        if (sniff.Header.FileBitsPerPixel == 0) {
            TComPtr<IWICComponentInfo> component;
            TComPtr<IWICPixelFormatInfo> pixelInfo;
            UINT bpp = 0;
            if (SUCCEEDED(wic.Factory->CreateComponentInfo(wic.Format, &component)) &&
                SUCCEEDED(component->QueryInterface(IID_IWICPixelFormatInfo, reinterpret_cast<void**>(&pixelInfo))) &&
                SUCCEEDED(pixelInfo->GetBitsPerPixel(&bpp)))
                sniff.Header.FileBitsPerPixel = int32_t(bpp);
        }
    }
    info = TILFileInfo{};
    info.StructSize = sizeof(TILFileInfo);
    info.Format = sniff.Header.Format;
    info.Width = sniff.Header.Width;
    info.Height = sniff.Header.Height;
    info.XResolution = sniff.Header.XResolution;
    info.YResolution = sniff.Header.YResolution;
    info.SizeDisk = uint32_t(size);
    info.BitsPerPixel = NaturalBitsPerPixel(data, size, sniff);
    info.FileBitsPerPixel = sniff.Header.FileBitsPerPixel;
    return IL_SUCCESS;
}

// ---------------------------------------------------------------- encoding

uint8_t* PutLE16(uint8_t* out, uint32_t v)
{
    out[0] = uint8_t(v);
    out[1] = uint8_t(v >> 8);
    return out + 2;
}

uint8_t* PutLE32(uint8_t* out, uint32_t v)
{
    return PutLE16(PutLE16(out, v & 0xFFFF), v >> 16);
}

constexpr uint32_t BmpHeaderBytes = 54;

// The depth a BMP of the bitmap is written at: its own when that was asked for and a BMP holds it
// as it is (up to 8 bits with the grey levels the library reads them as, 32 with the fourth
// byte), else 24.
int32_t BmpDepth(const TILBitmapHandle& bitmap, int32_t requested)
{
    const int32_t own = bitmap.BitsPerPixel;
    const bool kept = own == 1 || own == 4 || own == 8 || own == 24 || own == 32;
    return kept && requested == own ? own : 24;
}

uint32_t BmpPaletteBytes(int32_t depth)
{
    return depth <= 8 ? 4u << depth : 0;
}

// The size of the BMP file the bitmap makes at depth, or 0 when it would not fit a file.
uint32_t BmpFileBytes(const TILBitmapHandle& bitmap, int32_t depth)
{
    const uint32_t stride = AlignedStride(bitmap.Width, depth);
    const uint64_t imageBytes = uint64_t(stride) * uint64_t(bitmap.Height);
    const uint32_t headerBytes = BmpHeaderBytes + BmpPaletteBytes(depth);
    if (stride == 0 || imageBytes > 0x7FFFFFFFu - headerBytes)
        return 0;
    return uint32_t(headerBytes + imageBytes);
}

// The file header, the information header and, up to 8 bits, the palette.
uint32_t WriteBmpHeader(const TILBitmapHandle& bitmap, int32_t depth, uint8_t* out, uint32_t fileBytes)
{
    const uint32_t headerBytes = BmpHeaderBytes + BmpPaletteBytes(depth);
    uint8_t* p = out;
    *p++ = 'B';
    *p++ = 'M';
    p = PutLE32(p, fileBytes);
    p = PutLE32(p, 0);
    p = PutLE32(p, headerBytes);
    p = PutLE32(p, 40);
    p = PutLE32(p, uint32_t(bitmap.Width));
    p = PutLE32(p, uint32_t(bitmap.Height));
    p = PutLE16(p, 1);
    p = PutLE16(p, uint32_t(depth));
    p = PutLE32(p, BI_RGB);
    p = PutLE32(p, fileBytes - headerBytes);
    p = PutLE32(p, InchToMetre(bitmap.XResolution));
    p = PutLE32(p, InchToMetre(bitmap.YResolution));
    p = PutLE32(p, depth <= 8 ? 1u << depth : 0);
    p = PutLE32(p, 0);
    if (depth <= 8) {
        const uint32_t count = 1u << depth;
        for (uint32_t i = 0; i < count; ++i, p += 4) {
            p[0] = p[1] = p[2] = uint8_t(i * 255 / (count - 1));
            p[3] = 0;
        }
    }
    return headerBytes;
}

// The file's rows first .. first + count - 1 (the file stores the bottom row first) into out.
void WriteBmpRows(const TILBitmapHandle& bitmap, int32_t depth, int32_t first, int32_t count, uint8_t* out)
{
    const uint32_t stride = AlignedStride(bitmap.Width, depth);
    // At the bitmap's own depth a row is its stored bytes; 24 bits are made from any depth.
    const size_t used = depth == 24 ? size_t(bitmap.Width) * 3 : (size_t(bitmap.Width) * size_t(depth) + 7) / 8;
    for (int32_t i = 0; i < count; ++i) {
        uint8_t* row = out + size_t(i) * stride;
        const int32_t displayRow = bitmap.Height - 1 - (first + i);
        if (depth == 24)
            DisplayRowToBgr(bitmap, displayRow, row);
        else
            memcpy(row, RowPointer(bitmap, StorageRow(bitmap, displayRow)), used);
        // Padding bytes are part of the file; never leave them as whatever the buffer held.
        memset(row + used, 0, stride - used);
    }
}

// Writes the file of BmpFileBytes bytes straight into out, so that a caller's buffer holds the only
// encoded copy of a large picture.
void WriteBmp(const TILBitmapHandle& bitmap, int32_t depth, uint8_t* out, uint32_t fileBytes)
{
    const uint32_t headerBytes = WriteBmpHeader(bitmap, depth, out, fileBytes);
    WriteBmpRows(bitmap, depth, 0, bitmap.Height, out + headerBytes);
}

// Rows are written in bands of about a megabyte: a large picture is never held twice.
int32_t SaveBmpFile(const TILBitmapHandle& bitmap, int32_t depth, TReplacingFile& file, const TRowsReady& ready)
{
    const uint32_t fileBytes = BmpFileBytes(bitmap, depth);
    if (fileBytes == 0)
        return IL_ERROR_NO_MEMORY;
    // The file starts with the bottom row.
    if (!ready.Wait(bitmap.Height))
        return IL_FAILURE;
    if (int32_t result = file.Open(); result != IL_SUCCESS)
        return result;
    uint8_t header[BmpHeaderBytes + 4 * 256];
    const uint32_t headerBytes = WriteBmpHeader(bitmap, depth, header, fileBytes);
    if (int32_t result = file.Write(header, headerBytes); result != IL_SUCCESS)
        return result;
    const uint32_t stride = AlignedStride(bitmap.Width, depth);
    const int32_t band = std::max<int32_t>(1, int32_t((1u << 20) / stride));
    std::vector<uint8_t> rows(size_t(stride) * size_t(std::min(band, bitmap.Height)));
    for (int32_t y = 0; y < bitmap.Height; y += band) {
        const int32_t count = std::min(band, bitmap.Height - y);
        WriteBmpRows(bitmap, depth, y, count, rows.data());
        if (int32_t result = file.Write(rows.data(), size_t(count) * stride); result != IL_SUCCESS)
            return result;
    }
    return file.Commit();
}

// ---------------------------------------------------------------- PNG

// On filtered photographs and pages level 3 comes within a few percent of the size of level 6 (and
// of the system codec's files), in half the time.
constexpr int PngLevel = 3;
// The compressed stream is cut into IDAT chunks of about this size.
constexpr size_t PngChunkBytes = size_t(1) << 20;

using TByteSink = std::function<bool(const uint8_t* data, size_t size)>;

// One displayed row as 8-bit RGB.
void DisplayRowToRgb(const TILBitmapHandle& bitmap, int32_t displayRow, uint8_t* out)
{
    DisplayRowToBgr(bitmap, displayRow, out);
    for (int32_t x = 0; x < bitmap.Width; ++x, out += 3)
        std::swap(out[0], out[2]);
}

// Writes one chunk in three pieces, so the data is not copied.
bool WritePngChunk(const TByteSink& write, const char type[4], const uint8_t* data, size_t size)
{
    uint8_t head[8], tail[4];
    ImagingPng::ChunkFrame(type, data, size, head, tail);
    return write(head, 8) && (size == 0 || write(data, size)) && write(tail, 4);
}

// Encodes the bitmap as 24-bit RGB PNG with its resolution. The rows are filtered and deflated in
// bands on all cores as soon as the caller has drawn them.
int32_t EncodePng(const TILBitmapHandle& bitmap, const TRowsReady& ready, const TByteSink& write)
{
    using namespace ImagingPng;
    std::vector<uint8_t> head(Signature, Signature + 8);
    const std::vector<uint8_t> header = HeaderData(uint32_t(bitmap.Width), uint32_t(bitmap.Height), 8, ctRGB);
    AppendChunk(head, "IHDR", header.data(), header.size());
    if (bitmap.XResolution > 0 && bitmap.YResolution > 0) {
        uint8_t phys[9] = {};
        PutBE32(phys, InchToMetre(bitmap.XResolution));
        PutBE32(phys + 4, InchToMetre(bitmap.YResolution));
        phys[8] = 1; // per metre
        AppendChunk(head, "pHYs", phys, sizeof(phys));
    }
    if (!write(head.data(), head.size()))
        return IL_ERROR_FILE_WRITE;

    const size_t rowBytes = size_t(bitmap.Width) * 3;
    const TBandRows fill = [&](int64_t first, int32_t count, uint8_t* out) {
        std::vector<uint8_t> prior(rowBytes, 0), row(rowBytes);
        if (first > 0)
            DisplayRowToRgb(bitmap, int32_t(first - 1), prior.data());
        for (int32_t i = 0; i < count; ++i, out += rowBytes + 1) {
            DisplayRowToRgb(bitmap, int32_t(first + i), row.data());
            FilterRowBest(row.data(), prior.data(), rowBytes, 3, TFilterChoice::SignedSum, out);
            prior.swap(row);
        }
    };
    bool writeFailed = false;
    std::vector<uint8_t> pending;
    const TStreamSink sink = [&](const uint8_t* data, size_t size) {
        pending.insert(pending.end(), data, data + size);
        if (pending.size() < PngChunkBytes)
            return true;
        writeFailed = !WritePngChunk(write, "IDAT", pending.data(), pending.size());
        pending.clear();
        return !writeFailed;
    };
    const TDeflateResult result = DeflateBands(
        bitmap.Height, rowBytes + 1, PngLevel, fill, [&](int64_t rows) { return ready.Wait(int32_t(rows)); }, sink);
    if (result == TDeflateResult::NoMemory)
        return IL_ERROR_NO_MEMORY;
    if (writeFailed)
        return IL_ERROR_FILE_WRITE;
    if (result != TDeflateResult::Done)
        return IL_FAILURE;
    if ((!pending.empty() && !WritePngChunk(write, "IDAT", pending.data(), pending.size())) ||
        !WritePngChunk(write, "IEND", nullptr, 0))
        return IL_ERROR_FILE_WRITE;
    return IL_SUCCESS;
}

int32_t SavePngFile(const TILBitmapHandle& bitmap, TReplacingFile& file, const TRowsReady& ready)
{
    if (int32_t result = file.Open(); result != IL_SUCCESS)
        return result;
    const int32_t result = EncodePng(bitmap, ready, [&](const uint8_t* data, size_t size) {
        return file.Write(data, size) == IL_SUCCESS;
    });
    return result == IL_SUCCESS ? file.Commit() : result;
}

// Quality factor 2 is the best and 255 the smallest file; each step of about 60 loses a factor e.
float JpegQuality(int32_t factor)
{
    if (factor <= 2)
        return factor <= 0 ? 0.9f : 1.0f;
    factor = std::min(factor, 255);
    return std::max(0.01f, float(std::exp(-(factor - 2) / 60.0)));
}

int32_t WicResult(HRESULT hr)
{
    if (SUCCEEDED(hr))
        return IL_SUCCESS;
    return hr == E_OUTOFMEMORY ? IL_ERROR_NO_MEMORY : IL_FAILURE;
}

// Encodes the bitmap as JPEG into the stream, a band of rows at a time.
HRESULT EncodeWicInto(IWICImagingFactory* factory, const TILBitmapHandle& bitmap, int32_t qualityFactor,
                      IStream* stream, const TRowsReady& ready)
{
    TComPtr<IWICBitmapEncoder> encoder;
    TComPtr<IWICBitmapFrameEncode> frame;
    TComPtr<IPropertyBag2> options;
    HRESULT hr = factory->CreateEncoder(GUID_ContainerFormatJpeg, nullptr, &encoder);
    if (SUCCEEDED(hr))
        hr = encoder->Initialize(stream, WICBitmapEncoderNoCache);
    if (SUCCEEDED(hr))
        hr = encoder->CreateNewFrame(&frame, &options);
    if (SUCCEEDED(hr)) {
        PROPBAG2 option = {};
        option.pstrName = const_cast<LPOLESTR>(L"ImageQuality");
        VARIANT value;
        VariantInit(&value);
        value.vt = VT_R4;
        value.fltVal = JpegQuality(qualityFactor);
        hr = options->Write(1, &option, &value);
    }
    if (SUCCEEDED(hr))
        hr = frame->Initialize(options.Get());
    if (SUCCEEDED(hr))
        hr = frame->SetSize(UINT(bitmap.Width), UINT(bitmap.Height));
    WICPixelFormatGUID pixelFormat = GUID_WICPixelFormat24bppBGR;
    if (SUCCEEDED(hr))
        hr = frame->SetPixelFormat(&pixelFormat);
    if (SUCCEEDED(hr) && !IsEqualGUID(pixelFormat, GUID_WICPixelFormat24bppBGR))
        hr = WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT;
    if (SUCCEEDED(hr) && bitmap.XResolution > 0 && bitmap.YResolution > 0)
        hr = frame->SetResolution(bitmap.XResolution, bitmap.YResolution);
    const uint32_t stride = AlignedStride(bitmap.Width, 24);
    const int32_t band = std::max<int32_t>(1, int32_t((1u << 20) / stride));
    std::vector<uint8_t> rows(size_t(stride) * size_t(std::min(band, bitmap.Height)));
    for (int32_t y = 0; SUCCEEDED(hr) && y < bitmap.Height; y += band) {
        int32_t count = std::min(band, bitmap.Height - y);
        if (!ready.Wait(y + count)) {
            hr = E_ABORT;
            break;
        }
        for (int32_t i = 0; i < count; ++i)
            DisplayRowToBgr(bitmap, y + i, rows.data() + size_t(i) * stride);
        hr = frame->WritePixels(UINT(count), stride, UINT(size_t(count) * stride), rows.data());
    }
    if (SUCCEEDED(hr))
        hr = frame->Commit();
    if (SUCCEEDED(hr))
        hr = encoder->Commit();
    return hr;
}

int32_t EncodeWic(const TILBitmapHandle& bitmap, int32_t qualityFactor, std::vector<uint8_t>& out)
{
    IWICImagingFactory* factory = ThreadFactory();
    if (!factory)
        return IL_FAILURE;
    TComPtr<IStream> stream;
    HRESULT hr = CreateStreamOnHGlobal(nullptr, TRUE, &stream);
    if (SUCCEEDED(hr))
        hr = EncodeWicInto(factory, bitmap, qualityFactor, stream.Get(), TRowsReady{});
    HGLOBAL memory = nullptr;
    STATSTG stat = {};
    if (SUCCEEDED(hr))
        hr = GetHGlobalFromStream(stream.Get(), &memory);
    if (SUCCEEDED(hr))
        hr = stream->Stat(&stat, STATFLAG_NONAME);
    if (FAILED(hr))
        return WicResult(hr);
    TGlobalLock<const uint8_t> bytes(memory);
    if (!bytes.Get())
        return IL_ERROR_NO_MEMORY;
    out.assign(bytes.Get(), bytes.Get() + size_t(stat.cbSize.QuadPart));
    return IL_SUCCESS;
}

// Encodes straight into the file: the encoded picture is never held in memory.
int32_t SaveWicFile(const TILBitmapHandle& bitmap, int32_t qualityFactor, TReplacingFile& file,
                    const TRowsReady& ready)
{
    IWICImagingFactory* factory = ThreadFactory();
    if (!factory)
        return IL_FAILURE;
    {
        TComPtr<IWICStream> stream;
        HRESULT hr = factory->CreateStream(&stream);
        if (SUCCEEDED(hr) && FAILED(stream->InitializeFromFilename(file.Temporary().c_str(), GENERIC_WRITE)))
            return IL_ERROR_FILE_OPEN;
        if (SUCCEEDED(hr))
            hr = EncodeWicInto(factory, bitmap, qualityFactor, stream.Get(), ready);
        if (FAILED(hr))
            return hr == STG_E_MEDIUMFULL || hr == HRESULT_FROM_WIN32(ERROR_DISK_FULL) ? IL_ERROR_FILE_WRITE
                                                                                        : WicResult(hr);
    }
    return file.Commit();
}

int32_t CheckEncodable(const TILBitmapHandle* bitmap, int32_t format)
{
    if (!HasPixels(bitmap))
        return IL_ERROR_NO_BITMAP;
    if (!ValidDepth(bitmap->BitsPerPixel))
        return IL_ERROR_INV_PARAMETER;
    if (format != IL_FILE_BMP && format != IL_FILE_PNG && format != IL_FILE_JFIF)
        return IL_ERROR_FEATURE_NOT_SUPPORTED;
    return IL_SUCCESS;
}

// ---------------------------------------------------------------- painting

int32_t Stretch(HDC dc, const TILBitmapHandle& bitmap, const RECT& source, const RECT& destination, DWORD rop)
{
    TDibInfo info(bitmap);
    int lines = StretchDIBits(dc, destination.left, destination.top, destination.right - destination.left,
                              destination.bottom - destination.top, source.left, source.top, source.right - source.left,
                              source.bottom - source.top, bitmap.Pixels, info.Get(), DIB_RGB_COLORS, rop);
    return lines == int(GDI_ERROR) ? IL_FAILURE : IL_SUCCESS;
}

// A device context's own stretch mode is black-on-white, which ANDs the pixels that shrinking merges:
// meant for monochrome pictures, it lays a grid of dark dots over a coloured one. Colour pictures
// are stretched colour on colour, and the context keeps its mode.
int32_t StretchColours(HDC dc, const TILBitmapHandle& bitmap, const RECT& source, const RECT& destination, DWORD rop)
{
    const int mode = GetStretchBltMode(dc);
    if (bitmap.BitsPerPixel == 1 || (mode != BLACKONWHITE && mode != WHITEONBLACK))
        return Stretch(dc, bitmap, source, destination, rop);
    SetStretchBltMode(dc, COLORONCOLOR);
    const int32_t result = Stretch(dc, bitmap, source, destination, rop);
    SetStretchBltMode(dc, mode);
    return result;
}

// A reduced copy pays off only for screen and memory DCs, and only when it is much smaller than the
// part of the bitmap it stands for.
bool WantsReducedCopy(HDC dc, const TILBitmapHandle& bitmap, const RECT& source, const RECT& destination, DWORD rop)
{
    if (!bitmap.Data || rop != SRCCOPY || (bitmap.BitsPerPixel != 24 && bitmap.BitsPerPixel != 32))
        return false;
    const int64_t sw = source.right - source.left, sh = source.bottom - source.top;
    const int64_t dw = destination.right - destination.left, dh = destination.bottom - destination.top;
    if (dw <= 0 || dh <= 0 || sw < dw || sh < dh || sw * sh < 2 * dw * dh)
        return false;
    if (source.left < 0 || source.top < 0 || source.right > bitmap.Width || source.bottom > bitmap.Height)
        return false;
    // Sizes are compared in logical units, which are pixels only without a mapping.
    return GetDeviceCaps(dc, TECHNOLOGY) == DT_RASDISPLAY && GetMapMode(dc) == MM_TEXT && GetGraphicsMode(dc) == GM_COMPATIBLE;
}

int32_t PaintReduced(HDC dc, TILBitmapHandle& bitmap, const RECT& source, const RECT& destination)
{
    TILBitmapData::TPaintCache& cache = bitmap.Data->Cache;
    const int32_t dw = destination.right - destination.left, dh = destination.bottom - destination.top;
    const bool fresh = cache.Pixels && EqualRect(&cache.Source, &source) && cache.Width == dw && cache.Height == dh &&
                       cache.Generation == bitmap.Generation && cache.SourcePixels == bitmap.Pixels;
    if (!fresh) {
        cache.Pixels.reset();
        cache.Pixels.reset(new (std::nothrow) uint8_t[size_t(dw) * size_t(dh) * 4]);
        if (!cache.Pixels)
            return Stretch(dc, bitmap, source, destination, SRCCOPY);
        // Source rectangles count rows in stored order, as GDI does for both perspectives.
        BoxResample(bitmap.Pixels, bitmap.BytesPerLine, bitmap.BitsPerPixel / 8, source.left, source.top,
                    source.right - source.left, source.bottom - source.top, cache.Pixels.get(), dw * 4, 4, dw, dh);
        cache.Source = source;
        cache.Width = dw;
        cache.Height = dh;
        cache.Generation = bitmap.Generation;
        cache.SourcePixels = bitmap.Pixels;
    }
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = dw;
    info.bmiHeader.biHeight = bitmap.ViewPerspective == IL_BOTTOM_UP ? dh : -dh;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    int lines = StretchDIBits(dc, destination.left, destination.top, dw, dh, 0, 0, dw, dh, cache.Pixels.get(), &info,
                              DIB_RGB_COLORS, SRCCOPY);
    return lines == int(GDI_ERROR) ? IL_FAILURE : IL_SUCCESS;
}

// ---------------------------------------------------------------- image DCs

struct TImageDC {
    TILBitmapHandle* Bitmap = nullptr;
    HBITMAP Dib = nullptr;      // a DIB of our own when the bitmap's pixels could not be selected directly
    HGDIOBJ Old = nullptr;
};

std::mutex& ImageDCLock()
{
    static std::mutex lock;
    return lock;
}

std::map<HDC, TImageDC>& ImageDCs()
{
    static std::map<HDC, TImageDC> dcs;
    return dcs;
}

// ---------------------------------------------------------------- rotation

// Copies source into target turned a quarter clockwise (or counter-clockwise), in display terms,
// in tiles so that both sides stay in the cache.
void RotateQuarter(const TILBitmapHandle& source, TILBitmapHandle& target, bool clockwise)
{
    const int32_t bytes = source.BitsPerPixel / 8;
    const int32_t w = source.Width, h = source.Height;
    constexpr int32_t Tile = 64;
    for (int32_t ty = 0; ty < h; ty += Tile)
        for (int32_t tx = 0; tx < w; tx += Tile) {
            const int32_t yEnd = std::min(h, ty + Tile), xEnd = std::min(w, tx + Tile);
            for (int32_t y = ty; y < yEnd; ++y) {
                const uint8_t* in = RowPointer(source, StorageRow(source, y)) + size_t(tx) * bytes;
                for (int32_t x = tx; x < xEnd; ++x, in += bytes) {
                    // Clockwise: display (x, y) goes to (h - 1 - y, x); counter-clockwise to (y, w - 1 - x).
                    int32_t nx = clockwise ? h - 1 - y : y;
                    int32_t ny = clockwise ? x : w - 1 - x;
                    uint8_t* out = RowPointer(target, StorageRow(target, ny)) + size_t(nx) * bytes;
                    memcpy(out, in, size_t(bytes));
                }
            }
        }
}

void RotateHalf(TILBitmapHandle& bitmap)
{
    const int32_t bytes = bitmap.BitsPerPixel / 8;
    const int32_t w = bitmap.Width, h = bitmap.Height;
    uint8_t pixel[4];
    for (int32_t y = 0; y < (h + 1) / 2; ++y) {
        uint8_t* top = RowPointer(bitmap, y);
        uint8_t* bottom = RowPointer(bitmap, h - 1 - y);
        const int32_t count = top == bottom ? w / 2 : w;
        for (int32_t x = 0; x < count; ++x) {
            uint8_t* a = top + size_t(x) * bytes;
            uint8_t* b = bottom + size_t(w - 1 - x) * bytes;
            memcpy(pixel, a, size_t(bytes));
            memcpy(a, b, size_t(bytes));
            memcpy(b, pixel, size_t(bytes));
        }
    }
}

void FlipRows(TILBitmapHandle& bitmap)
{
    std::vector<uint8_t> row(size_t(bitmap.BytesPerLine));
    for (int32_t y = 0; y < bitmap.Height / 2; ++y) {
        uint8_t* a = RowPointer(bitmap, y);
        uint8_t* b = RowPointer(bitmap, bitmap.Height - 1 - y);
        memcpy(row.data(), a, row.size());
        memcpy(a, b, row.size());
        memcpy(b, row.data(), row.size());
    }
}

int32_t CopyPixelsBetween(TILBitmapHandle& destination, const TILBitmapHandle& source)
{
    const size_t rowBytes = std::min<size_t>(size_t(source.BytesPerLine), size_t(destination.BytesPerLine));
    for (int32_t y = 0; y < source.Height; ++y)
        memcpy(RowPointer(destination, StorageRow(destination, y)), RowPointer(source, StorageRow(source, y)), rowBytes);
    Touch(destination);
    return IL_SUCCESS;
}

// ---------------------------------------------------------------- thumbnails

COLORREF ResolveColour(COLORREF colour)
{
    return (colour & 0x80000000u) ? GetSysColor(int(colour & 0xFF)) : (colour & 0xFFFFFF);
}

int32_t MakeThumbnail(const TILBitmapHandle& picture, const TILThumbOptions& options, TILBitmapHandle& thumbnail)
{
    const int32_t boxW = options.Width, boxH = options.Height;
    if (boxW <= 0 || boxH <= 0)
        return IL_ERROR_INV_PARAMETER;
    int32_t w = boxW, h = boxH;
    if (options.MaintainAspect) {
        // Fit inside the box; small pictures keep their own size.
        double scale = std::min({double(boxW) / picture.Width, double(boxH) / picture.Height, 1.0});
        w = std::clamp(int32_t(std::lround(picture.Width * scale)), 1, boxW);
        h = std::clamp(int32_t(std::lround(picture.Height * scale)), 1, boxH);
    }
    const int32_t outW = options.ForceSize ? boxW : w, outH = options.ForceSize ? boxH : h;
    const int32_t bits = options.BitsPerPixel == 32 ? 32 : 24;
    TILBitmapHandle made;
    if (int32_t result = AllocateOwned(made, outW, outH, bits, IL_TOP_DOWN); result != IL_SUCCESS)
        return result;
    const COLORREF back = ResolveColour(options.BackColor);
    const int32_t bytes = bits / 8;
    for (int32_t y = 0; y < outH; ++y) {
        uint8_t* p = RowPointer(made, y);
        for (int32_t x = 0; x < outW; ++x, p += bytes) {
            p[0] = GetBValue(back);
            p[1] = GetGValue(back);
            p[2] = GetRValue(back);
            if (bytes == 4)
                p[3] = 255;
        }
    }
    const int32_t left = (outW - w) / 2, top = (outH - h) / 2;
    BoxResample(picture.Pixels, picture.BytesPerLine, picture.BitsPerPixel / 8, 0, 0, picture.Width,
                picture.Height, RowPointer(made, top) + size_t(left) * bytes, made.BytesPerLine, bytes, w, h);
    made.XResolution = picture.XResolution;
    made.YResolution = picture.YResolution;
    Adopt(thumbnail, made);
    return IL_SUCCESS;
}

// ---------------------------------------------------------------- clipboard

// A packed DIB from the clipboard as a BMP file image, checked against the size of its memory.
int32_t PackedDibToFile(const uint8_t* dib, size_t size, std::vector<uint8_t>& file)
{
    if (size < sizeof(BITMAPINFOHEADER))
        return IL_ERROR_FILE_FORMAT;
    uint32_t headerSize = ReadLE32(dib);
    if (headerSize < sizeof(BITMAPINFOHEADER) || headerSize > size)
        return IL_ERROR_FILE_FORMAT;
    uint16_t bits = ReadLE16(dib + 14);
    uint32_t compression = ReadLE32(dib + 16);
    uint32_t colours = ReadLE32(dib + 32);
    if (colours > 256)
        return IL_ERROR_FILE_FORMAT;
    if (colours == 0 && bits <= 8)
        colours = 1u << bits;
    uint64_t offset = 14 + uint64_t(headerSize) + uint64_t(colours) * 4;
    if (compression == BI_BITFIELDS && headerSize == sizeof(BITMAPINFOHEADER))
        offset += 12;
    if (offset - 14 > size)
        return IL_ERROR_FILE_FORMAT;
    file.resize(14 + size);
    file[0] = 'B';
    file[1] = 'M';
    uint32_t total = uint32_t(14 + size);
    memcpy(&file[2], &total, 4);
    memset(&file[6], 0, 4);
    uint32_t off = uint32_t(offset);
    memcpy(&file[10], &off, 4);
    memcpy(&file[14], dib, size);
    return IL_SUCCESS;
}

// The caller's buffer when it holds needed bytes, else one asked of the callback.
int32_t TargetBuffer(void* buffer, uint32_t capacity, uint32_t needed, TILBufferCallback callback, void* userData,
                     void*& target)
{
    if (buffer && capacity >= needed) {
        target = buffer;
        return IL_SUCCESS;
    }
    if (!callback)
        return IL_ERROR_NO_MEMORY;
    target = nullptr;
    capacity = 0;
    if (callback(needed, &target, &capacity, userData) != 1 || !target || capacity < needed)
        return IL_ERROR_NO_MEMORY;
    return IL_SUCCESS;
}

} // namespace

// ==================================================================== entry points

int32_t IL_FileInfo(const char* fileName, TILFileInfo* info, uint32_t, uint32_t)
{
    return Guarded([&] {
        if (!info)
            return IL_ERROR_INV_PARAMETER;
        std::vector<uint8_t> bytes;
        if (int32_t result = ReadWholeFile(fileName, bytes); result != IL_SUCCESS)
            return result;
        return ReadInfo(bytes.data(), bytes.size(), *info);
    });
}

int32_t IL_FileInfoMemory(const void* buffer, TILFileInfo* info, uint32_t bufferSize, uint32_t, uint32_t)
{
    return Guarded([&] {
        if (!buffer || !info)
            return IL_ERROR_INV_PARAMETER;
        return ReadInfo(static_cast<const uint8_t*>(buffer), bufferSize, *info);
    });
}

int32_t IL_LoadFile(const char* fileName, TILBitmapHandle* bitmap, int32_t bitsPerPixel, int32_t, int32_t, void*, void*,
                    void*, TILFileInfo* info)
{
    return Guarded([&] {
        if (!bitmap)
            return IL_ERROR_INV_PARAMETER;
        std::vector<uint8_t> bytes;
        if (int32_t result = ReadWholeFile(fileName, bytes); result != IL_SUCCESS)
            return result;
        return DecodeImage(bytes.data(), bytes.size(), *bitmap, bitsPerPixel, info);
    });
}

int32_t IL_LoadBitmapMemory(const void* buffer, TILBitmapHandle* bitmap, int32_t bitsPerPixel, int32_t, uint32_t bufferSize,
                            void*, TILFileInfo* info)
{
    return Guarded([&] {
        if (!buffer || !bitmap)
            return IL_ERROR_INV_PARAMETER;
        return DecodeImage(static_cast<const uint8_t*>(buffer), bufferSize, *bitmap, bitsPerPixel, info);
    });
}

int32_t IL_SaveBitmap(const char* fileName, TILBitmapHandle* bitmap, int32_t format, int32_t bitsPerPixel, int32_t qualityFactor,
                      uint32_t options)
{
    return IL_SaveBitmapRows(fileName, bitmap, format, bitsPerPixel, qualityFactor, options, nullptr, nullptr);
}

int32_t IL_SaveBitmapRows(const char* fileName, TILBitmapHandle* bitmap, int32_t format, int32_t bitsPerPixel, int32_t qualityFactor,
                          uint32_t, TILRowsReadyCallback rowsReady, void* data)
{
    return Guarded([&] {
        if (int32_t result = CheckEncodable(bitmap, format); result != IL_SUCCESS)
            return result;
        TReplacingFile file;
        if (int32_t result = file.Create(fileName); result != IL_SUCCESS)
            return result;
        const TRowsReady ready{rowsReady, data};
        if (format == IL_FILE_BMP)
            return SaveBmpFile(*bitmap, BmpDepth(*bitmap, bitsPerPixel), file, ready);
        if (format == IL_FILE_PNG)
            return SavePngFile(*bitmap, file, ready);
        return SaveWicFile(*bitmap, qualityFactor, file, ready);
    });
}

int32_t IL_SaveBitmapBuffer(void* buffer, int32_t, uint32_t* size, TILBitmapHandle* bitmap, int32_t format,
                            int32_t bitsPerPixel, int32_t qualityFactor, TILBufferCallback callback, void* userData, uint32_t)
{
    return Guarded([&] {
        if (!size)
            return IL_ERROR_INV_PARAMETER;
        if (int32_t result = CheckEncodable(bitmap, format); result != IL_SUCCESS)
            return result;
        // A BMP's size is known before encoding, so it is written once, into the caller's buffer.
        if (format == IL_FILE_BMP) {
            const int32_t depth = BmpDepth(*bitmap, bitsPerPixel);
            const uint32_t fileBytes = BmpFileBytes(*bitmap, depth);
            if (fileBytes == 0)
                return IL_ERROR_NO_MEMORY;
            void* target = nullptr;
            if (int32_t result = TargetBuffer(buffer, *size, fileBytes, callback, userData, target); result != IL_SUCCESS)
                return result;
            WriteBmp(*bitmap, depth, static_cast<uint8_t*>(target), fileBytes);
            *size = fileBytes;
            return IL_SUCCESS;
        }
        std::vector<uint8_t> bytes;
        const int32_t encoded = format == IL_FILE_PNG ? EncodePng(*bitmap, TRowsReady{}, [&](const uint8_t* data, size_t count) {
            bytes.insert(bytes.end(), data, data + count);
            return true;
        })
                                                      : EncodeWic(*bitmap, qualityFactor, bytes);
        if (encoded != IL_SUCCESS)
            return encoded;
        void* target = nullptr;
        if (int32_t result = TargetBuffer(buffer, *size, uint32_t(bytes.size()), callback, userData, target);
            result != IL_SUCCESS)
            return result;
        memcpy(target, bytes.data(), bytes.size());
        *size = uint32_t(bytes.size());
        return IL_SUCCESS;
    });
}

int32_t IL_CreateThumbnailFromFile(const char* fileName, TILBitmapHandle* bitmap, const TILThumbOptions* options, void*,
                                   void*, void*, TILFileInfo* info)
{
    return Guarded([&] {
        if (!bitmap || !options)
            return IL_ERROR_INV_PARAMETER;
        std::vector<uint8_t> bytes;
        if (int32_t result = ReadWholeFile(fileName, bytes); result != IL_SUCCESS)
            return result;
        TILBitmapHandle picture;
        int32_t result = DecodeImage(bytes.data(), bytes.size(), picture, 24, info);
        if (result == IL_SUCCESS)
            result = MakeThumbnail(picture, *options, *bitmap);
        ReleaseOwned(picture);
        return result;
    });
}

int32_t IL_PaintDC(HDC dc, TILBitmapHandle* bitmap, const RECT* source, const RECT*, const RECT* destination,
                   const RECT* destinationClip, DWORD rop)
{
    return Guarded([&] {
        if (!dc || !destination)
            return IL_ERROR_INV_PARAMETER;
        if (!HasPixels(bitmap) || !ValidDepth(bitmap->BitsPerPixel))
            return IL_ERROR_NO_BITMAP;
        RECT whole = {0, 0, bitmap->Width, bitmap->Height};
        const RECT& from = source ? *source : whole;
        int saved = 0;
        if (destinationClip) {
            saved = SaveDC(dc);
            IntersectClipRect(dc, destinationClip->left, destinationClip->top, destinationClip->right, destinationClip->bottom);
        }
        int32_t result = WantsReducedCopy(dc, *bitmap, from, *destination, rop) ? PaintReduced(dc, *bitmap, from, *destination)
                                                                                 : StretchColours(dc, *bitmap, from, *destination, rop);
        if (saved)
            RestoreDC(dc, saved);
        return result;
    });
}

HPALETTE IL_CreatePaintPalette(HDC dc, TILBitmapHandle*)
{
    if (!dc || !(GetDeviceCaps(dc, RASTERCAPS) & RC_PALETTE))
        return nullptr;
    return CreateHalftonePalette(dc);
}

int32_t IL_PrintBitmapFast(HDC dc, TILBitmapHandle* bitmap, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t)
{
    return Guarded([&] {
        if (!dc)
            return IL_ERROR_INV_PARAMETER;
        if (!HasPixels(bitmap) || !ValidDepth(bitmap->BitsPerPixel))
            return IL_ERROR_NO_BITMAP;
        RECT whole = {0, 0, bitmap->Width, bitmap->Height};
        RECT target = {x, y, x + width, y + height};
        return Stretch(dc, *bitmap, whole, target, SRCCOPY);
    });
}

int32_t IL_BitmapChanged(TILBitmapHandle* bitmap)
{
    if (!bitmap)
        return IL_ERROR_INV_PARAMETER;
    Touch(*bitmap);
    return IL_SUCCESS;
}

uint8_t IL_ClipboardReady()
{
    return IsClipboardFormatAvailable(CF_DIB) || IsClipboardFormatAvailable(CF_BITMAP) ||
                   IsClipboardFormatAvailable(CF_DIBV5) || IsClipboardFormatAvailable(CF_ENHMETAFILE)
               ? 1
               : 0;
}

int32_t IL_CopyFromClipboard(HWND owner, TILBitmapHandle* bitmap)
{
    return Guarded([&] {
        if (!bitmap)
            return IL_ERROR_INV_PARAMETER;
        std::vector<uint8_t> file;
        {
            TClipboardOpen clipboard(owner);
            if (!clipboard.Open())
                return IL_ERROR_CLIPBOARD;
            HGLOBAL memory = GetClipboardData(CF_DIB);
            if (!memory)
                return IL_ERROR_CLIPBOARD;
            TGlobalLock<const uint8_t> dib(memory);
            if (!dib.Get())
                return IL_ERROR_CLIPBOARD;
            int32_t result = PackedDibToFile(dib.Get(), dib.Size(), file);
            if (result != IL_SUCCESS)
                return result;
        }
        return DecodeImage(file.data(), file.size(), *bitmap, 24, nullptr);
    });
}

int32_t IL_CreateBitmap(TILBitmapHandle* bitmap, int32_t memoryType, int32_t width, int32_t height, int32_t bitsPerPixel,
                        int32_t order, const RGBQUAD*, int32_t viewPerspective, void* pixels, uint32_t size)
{
    return Guarded([&] {
        if (!bitmap || width <= 0 || height == 0 || height == INT32_MIN)
            return IL_ERROR_INV_PARAMETER;
        if (viewPerspective != IL_TOP_DOWN && viewPerspective != IL_BOTTOM_UP)
            return IL_ERROR_INV_PARAMETER;
        // A DIB's signed height may arrive here: its magnitude is the row count.
        const int32_t rows = height < 0 ? -height : height;
        const uint32_t stride = AlignedStride(width, bitsPerPixel);
        if (CheckImageSize(width, rows) != IL_SUCCESS || stride == 0)
            return IL_ERROR_INV_PARAMETER;
        const uint64_t needed = uint64_t(stride) * uint64_t(rows);
        if (memoryType == IL_MEMORY_USER) {
            if (!ValidDepth(bitsPerPixel) || !pixels || needed > size)
                return IL_ERROR_INV_PARAMETER;
            uint32_t generation = bitmap->Generation + 1;
            *bitmap = TILBitmapHandle{};
            bitmap->StructSize = sizeof(TILBitmapHandle);
            bitmap->Pixels = static_cast<uint8_t*>(pixels);
            bitmap->Width = width;
            bitmap->Height = rows;
            bitmap->BitsPerPixel = uint16_t(bitsPerPixel);
            bitmap->BytesPerLine = int32_t(stride);
            bitmap->Size = uint32_t(needed);
            bitmap->MemoryType = IL_MEMORY_USER;
            bitmap->Generation = generation;
            bitmap->Order = order;
            bitmap->ViewPerspective = viewPerspective;
            return IL_SUCCESS;
        }
        if (memoryType != IL_MEMORY_OWNED || (bitsPerPixel != 24 && bitsPerPixel != 32))
            return IL_ERROR_INV_PARAMETER;
        if (pixels && needed > size)
            return IL_ERROR_INV_PARAMETER;
        TILBitmapHandle made;
        if (int32_t result = AllocateOwned(made, width, rows, bitsPerPixel, viewPerspective); result != IL_SUCCESS)
            return result;
        if (pixels)
            memcpy(made.Pixels, pixels, size_t(needed));
        Adopt(*bitmap, made);
        return IL_SUCCESS;
    });
}

HDC IL_CreateImageDC(TILBitmapHandle* bitmap)
{
    try {
        if (!HasPixels(bitmap) || !ValidDepth(bitmap->BitsPerPixel))
            return nullptr;
        HDC dc = CreateCompatibleDC(nullptr);
        if (!dc)
            return nullptr;
        TImageDC entry;
        entry.Bitmap = bitmap;
        const bool topDown = bitmap->ViewPerspective == IL_TOP_DOWN;
        HBITMAP target = nullptr;
        if (bitmap->Data && bitmap->Data->Dib && bitmap->Data->DibTopDown == topDown) {
            target = bitmap->Data->Dib;
        } else {
            // Caller-owned pixels, or pixels whose row order changed since the DIB was made: draw on
            // a copy and put it back when the DC is deleted.
            TDibInfo info(*bitmap);
            void* bits = nullptr;
            entry.Dib = CreateDIBSection(nullptr, info.Get(), DIB_RGB_COLORS, &bits, nullptr, 0);
            if (!entry.Dib || !bits) {
                if (entry.Dib)
                    DeleteObject(entry.Dib);
                DeleteDC(dc);
                return nullptr;
            }
            memcpy(bits, bitmap->Pixels, size_t(bitmap->BytesPerLine) * size_t(bitmap->Height));
            target = entry.Dib;
        }
        entry.Old = SelectObject(dc, target);
        std::lock_guard<std::mutex> guard(ImageDCLock());
        ImageDCs()[dc] = entry;
        return dc;
    } catch (...) {
        return nullptr;
    }
}

int32_t IL_DeleteImageDC(HDC dc)
{
    return Guarded([&] {
        TImageDC entry;
        {
            std::lock_guard<std::mutex> guard(ImageDCLock());
            auto found = ImageDCs().find(dc);
            if (found == ImageDCs().end())
                return IL_ERROR_INV_PARAMETER;
            entry = found->second;
            ImageDCs().erase(found);
        }
        GdiFlush();
        SelectObject(dc, entry.Old);
        DeleteDC(dc);
        if (entry.Dib) {
            DIBSECTION section = {};
            if (GetObject(entry.Dib, sizeof(section), &section) == sizeof(section) && section.dsBm.bmBits && HasPixels(entry.Bitmap))
                memcpy(entry.Bitmap->Pixels, section.dsBm.bmBits, size_t(entry.Bitmap->BytesPerLine) * size_t(entry.Bitmap->Height));
            DeleteObject(entry.Dib);
        }
        if (entry.Bitmap)
            Touch(*entry.Bitmap);
        return IL_SUCCESS;
    });
}

int32_t IL_FreeBitmap(TILBitmapHandle* bitmap)
{
    if (!bitmap)
        return IL_ERROR_INV_PARAMETER;
    if (bitmap->MemoryType == IL_MEMORY_OWNED)
        delete bitmap->Data;
    uint32_t generation = bitmap->Generation + 1;
    *bitmap = TILBitmapHandle{};
    bitmap->Generation = generation;
    return IL_SUCCESS;
}

int32_t IL_CopyBitmapData(TILBitmapHandle* destination, TILBitmapHandle* source)
{
    return Guarded([&] {
        if (!HasPixels(source) || !HasPixels(destination))
            return IL_ERROR_NO_BITMAP;
        if (destination->Width != source->Width || destination->Height != source->Height ||
            destination->BitsPerPixel != source->BitsPerPixel)
            return IL_ERROR_INV_PARAMETER;
        return CopyPixelsBetween(*destination, *source);
    });
}

int32_t IL_ChangeBitmapViewPerspective(TILBitmapHandle* destination, TILBitmapHandle* source, int32_t viewPerspective)
{
    return Guarded([&] {
        if (!HasPixels(source))
            return IL_ERROR_NO_BITMAP;
        if (viewPerspective != IL_TOP_DOWN && viewPerspective != IL_BOTTOM_UP)
            return IL_ERROR_INV_PARAMETER;
        if (destination && destination != source) {
            if (source->BitsPerPixel != 24 && source->BitsPerPixel != 32)
                return IL_ERROR_INV_PARAMETER;
            TILBitmapHandle made;
            if (int32_t result = AllocateOwned(made, source->Width, source->Height, source->BitsPerPixel, viewPerspective);
                result != IL_SUCCESS)
                return result;
            CopyPixelsBetween(made, *source);
            made.XResolution = source->XResolution;
            made.YResolution = source->YResolution;
            Adopt(*destination, made);
            return IL_SUCCESS;
        }
        if (source->ViewPerspective != viewPerspective) {
            FlipRows(*source);
            source->ViewPerspective = viewPerspective;
            Touch(*source);
        }
        return IL_SUCCESS;
    });
}

int32_t IL_RectToBitmap(TILBitmapHandle* bitmap, int32_t viewPerspective, RECT* rect)
{
    if (!bitmap || !rect)
        return IL_ERROR_INV_PARAMETER;
    const bool rectBottomUp = viewPerspective == IL_BOTTOM_UP;
    const bool bitmapBottomUp = bitmap->ViewPerspective == IL_BOTTOM_UP;
    if (rectBottomUp != bitmapBottomUp) {
        LONG top = rect->top;
        rect->top = bitmap->Height - rect->bottom;
        rect->bottom = bitmap->Height - top;
    }
    return IL_SUCCESS;
}

int32_t IL_RotateBitmap(TILBitmapHandle* bitmap, int32_t angle, uint32_t, COLORREF)
{
    return Guarded([&] {
        if (!HasPixels(bitmap))
            return IL_ERROR_NO_BITMAP;
        if (angle % 9000 != 0 || bitmap->BitsPerPixel % 8 != 0)
            return IL_ERROR_INV_PARAMETER;
        const int32_t quarters = ((angle / 9000) % 4 + 4) % 4;
        if (quarters == 0)
            return IL_SUCCESS;
        if (quarters == 2) {
            RotateHalf(*bitmap);
            Touch(*bitmap);
            return IL_SUCCESS;
        }
        // A quarter turn changes the row length: caller-owned pixels cannot take it.
        if (bitmap->MemoryType != IL_MEMORY_OWNED)
            return IL_ERROR_INV_PARAMETER;
        TILBitmapHandle made;
        if (int32_t result = AllocateOwned(made, bitmap->Height, bitmap->Width, bitmap->BitsPerPixel, bitmap->ViewPerspective);
            result != IL_SUCCESS)
            return result;
        RotateQuarter(*bitmap, made, quarters == 1);
        made.XResolution = bitmap->YResolution;
        made.YResolution = bitmap->XResolution;
        Adopt(*bitmap, made, true);
        return IL_SUCCESS;
    });
}
