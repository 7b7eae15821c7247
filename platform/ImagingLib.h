// The imaging library: reads, draws, turns, prints and writes pictures through flat IL_ entry points
// over plain records. WIC reads BMP, PNG, JPEG, GIF, TIFF and ICO and writes JPEG; PCX and PSD have
// readers of our own, and BMP and PNG writers of our own.
//
// Results are 32-bit: IL_SUCCESS (1) on success, 0 or a negative IL_ERROR_ code otherwise. File names
// are 8-bit strings in the system code page. Every entry point initializes COM for the thread when the
// caller has not, so it works from any thread. Pictures loaded or created by the library are 24 bits
// per pixel (32 when asked for), with rows aligned to four bytes; transparent pixels of PNG, GIF, ICO
// and TIFF files are laid over white.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

// The records keep the library's exact 32-bit layout in the 32-bit build; a 64-bit build (which no
// outside caller shares records with) lays them out naturally.
#if defined(_WIN64)
#define SF_IL_LAYOUT_ASSERT(x)
#else
#define SF_IL_LAYOUT_ASSERT(x) static_assert(x)
#endif

constexpr int32_t IL_SUCCESS = 1;
constexpr int32_t IL_FAILURE = 0;
constexpr int32_t IL_ERROR_NO_MEMORY = -1;      // allocation failed, or the picture is too large to hold
constexpr int32_t IL_ERROR_NO_BITMAP = -2;      // the record holds no pixels
constexpr int32_t IL_ERROR_FILE_WRITE = -5;
constexpr int32_t IL_ERROR_FILE_READ = -7;
constexpr int32_t IL_ERROR_INV_FILENAME = -8;
constexpr int32_t IL_ERROR_FILE_FORMAT = -9;    // unknown format, or damaged data
constexpr int32_t IL_ERROR_FILENOTFOUND = -10;
constexpr int32_t IL_ERROR_INV_PARAMETER = -13;
constexpr int32_t IL_ERROR_FILE_OPEN = -14;
constexpr int32_t IL_ERROR_FEATURE_NOT_SUPPORTED = -16; // a known format in a variant we do not read
constexpr int32_t IL_ERROR_CLIPBOARD = -20;     // the clipboard holds no picture or cannot be opened
constexpr int32_t IL_ERROR_LZW_LOCKED = -146;   // never given: LZW is always available here

// File format codes of IL_SaveBitmap, IL_SaveBitmapBuffer and TILFileInfo::Format.
constexpr int32_t IL_FILE_PCX = 1;
constexpr int32_t IL_FILE_GIF = 2;
constexpr int32_t IL_FILE_TIF = 3;
constexpr int32_t IL_FILE_BMP = 6;
constexpr int32_t IL_FILE_JFIF = 10;
constexpr int32_t IL_FILE_PSD = 18;
constexpr int32_t IL_FILE_ICO = 19;
constexpr int32_t IL_FILE_PNG = 75;

// Memory types of IL_CreateBitmap.
constexpr int32_t IL_MEMORY_OWNED = 1;  // the library allocates (or copies) the pixels and frees them
constexpr int32_t IL_MEMORY_USER = 2;   // the pixels belong to the caller; never pass to IL_FreeBitmap

// View perspectives: the order in which rows are stored.
constexpr int32_t IL_TOP_DOWN = 0;
constexpr int32_t IL_BOTTOM_UP = 2;

struct TILBitmapData;

// A picture: its size, format and pixels. Zero-fill before first use; free library-owned pixels with
// IL_FreeBitmap. Loading or creating into a record overwrites it without freeing what it held.
// Copying the record does not copy the pixels.
struct TILBitmapHandle {
    uint32_t StructSize = 0;
    uint8_t* Pixels = nullptr;          // first stored row
    int32_t Width = 0;
    int32_t Height = 0;
    uint16_t BitsPerPixel = 0;
    uint16_t Reserved0 = 0;
    int32_t BytesPerLine = 0;
    uint32_t Size = 0;                  // bytes of pixel data
    int32_t MemoryType = 0;
    TILBitmapData* Data = nullptr;      // the library's own state; nil for caller-owned pixels
    uint32_t Generation = 0;            // bumped whenever the library changes the pixels
    int32_t Order = 0;                  // 1: blue, green, red in memory
    int32_t ViewPerspective = 0;
    uint8_t Reserved1[20] = {};
    int32_t XResolution = 0;            // dots per inch; 0 when the file has none
    int32_t YResolution = 0;
    uint8_t Reserved2[80] = {};
};
SF_IL_LAYOUT_ASSERT(sizeof(TILBitmapHandle) == 156);
SF_IL_LAYOUT_ASSERT(offsetof(TILBitmapHandle, Width) == 8 && offsetof(TILBitmapHandle, Height) == 12);
SF_IL_LAYOUT_ASSERT(offsetof(TILBitmapHandle, BitsPerPixel) == 16 && offsetof(TILBitmapHandle, ViewPerspective) == 44);
SF_IL_LAYOUT_ASSERT(offsetof(TILBitmapHandle, XResolution) == 68 && offsetof(TILBitmapHandle, YResolution) == 72);

// What IL_FileInfo tells about a picture file without loading its pixels. Zero-fill before use.
struct TILFileInfo {
    uint32_t StructSize = 0;
    int32_t Format = 0;                 // IL_FILE_ code
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t XResolution = 0;            // dots per inch; 0 when the file has none
    int32_t YResolution = 0;
    uint32_t SizeDisk = 0;              // bytes of the file or buffer
    int32_t BitsPerPixel = 0;           // what IL_LoadFile delivers when asked for this value
    int32_t FileBitsPerPixel = 0;       // the depth stored in the file
    uint8_t Reserved[1100] = {};
};
SF_IL_LAYOUT_ASSERT(sizeof(TILFileInfo) == 1136);
SF_IL_LAYOUT_ASSERT(offsetof(TILFileInfo, BitsPerPixel) == 28);

// How IL_CreateThumbnailFromFile sizes a thumbnail.
struct TILThumbOptions {
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t BitsPerPixel = 24;
    int32_t ColorResolutionFlags = 6;
    int32_t MaintainAspect = 1;         // keep the picture's proportions inside Width x Height
    int32_t ForceSize = 1;              // the thumbnail is exactly Width x Height, background around
    COLORREF BackColor = 0;             // a system colour when the high bit is set
    int32_t LoadStamp = 0;
    int32_t Resample = 0;
};
SF_IL_LAYOUT_ASSERT(sizeof(TILThumbOptions) == 36);

// Asked by IL_SaveBitmapBuffer for a buffer of at least sizeWanted bytes: reports its address and
// size and returns 1, or reports nil and 0 and returns 0.
using TILBufferCallback = int32_t(__stdcall*)(uint32_t sizeWanted, void** address, uint32_t* size, void* data);

int32_t IL_FileInfo(const char* fileName, TILFileInfo* info, uint32_t infoSize, uint32_t flags);
int32_t IL_FileInfoMemory(const void* buffer, TILFileInfo* info, uint32_t bufferSize, uint32_t infoSize, uint32_t flags);

// bitsPerPixel 32 keeps 32 bits per pixel (alpha in the fourth byte); anything else gives 24.
int32_t IL_LoadFile(const char* fileName, TILBitmapHandle* bitmap, int32_t bitsPerPixel, int32_t order, int32_t flags,
                    void* callback, void* userData, void* loadOptions, TILFileInfo* info);
int32_t IL_LoadBitmapMemory(const void* buffer, TILBitmapHandle* bitmap, int32_t bitsPerPixel, int32_t order,
                            uint32_t bufferSize, void* loadOptions, TILFileInfo* info);

// Writes BMP (6), PNG (75) or JPEG (10) at 24 bits per pixel with the bitmap's resolution; a BMP
// asked for at the bitmap's own depth of 1, 4, 8 (grey levels) or 32 bits is written at it. For JPEG
// the quality factor runs from 2 (best) to 255 (smallest); 0 means the default. PNG rows are
// compressed in bands on all cores.
int32_t IL_SaveBitmap(const char* fileName, TILBitmapHandle* bitmap, int32_t format, int32_t bitsPerPixel,
                      int32_t qualityFactor, uint32_t options);
// Asked by IL_SaveBitmapRows, on the saving thread, before it reads displayed rows below rowsNeeded:
// returns 1 once rows 0 .. rowsNeeded - 1 hold their final pixels, or 0 to stop the save.
using TILRowsReadyCallback = int32_t(__stdcall*)(int32_t rowsNeeded, void* data);
// IL_SaveBitmap for a bitmap that another thread is still drawing from the top down. A save that
// the callback stops returns IL_FAILURE. Either save writes beside the file and replaces it only
// when complete: a failed save leaves what the file held.
int32_t IL_SaveBitmapRows(const char* fileName, TILBitmapHandle* bitmap, int32_t format, int32_t bitsPerPixel,
                          int32_t qualityFactor, uint32_t options, TILRowsReadyCallback rowsReady, void* data);
// The same into memory: starts with buffer (capacity *size, may be nil and 0) and asks callback for
// more; on success *size holds the bytes written at the buffer the callback reported last.
int32_t IL_SaveBitmapBuffer(void* buffer, int32_t reserved, uint32_t* size, TILBitmapHandle* bitmap, int32_t format,
                            int32_t bitsPerPixel, int32_t qualityFactor, TILBufferCallback callback, void* userData,
                            uint32_t options);

int32_t IL_CreateThumbnailFromFile(const char* fileName, TILBitmapHandle* bitmap, const TILThumbOptions* options,
                                   void* callback, void* userData, void* loadOptions, TILFileInfo* info);

// Stretches source (stored-row coordinates; nil for the whole bitmap) onto destination. Repeated
// reductions for screen DCs come from a cached, area-filtered copy kept with the bitmap.
int32_t IL_PaintDC(HDC dc, TILBitmapHandle* bitmap, const RECT* source, const RECT* sourceClip,
                   const RECT* destination, const RECT* destinationClip, DWORD rop);
HPALETTE IL_CreatePaintPalette(HDC dc, TILBitmapHandle* bitmap);
// Always from the full pixels: for printers and exports.
int32_t IL_PrintBitmapFast(HDC dc, TILBitmapHandle* bitmap, int32_t x, int32_t y, int32_t width, int32_t height,
                           uint32_t flags);
// Tells the library that the caller changed the pixels directly, so cached reductions are stale.
int32_t IL_BitmapChanged(TILBitmapHandle* bitmap);

uint8_t IL_ClipboardReady();
int32_t IL_CopyFromClipboard(HWND owner, TILBitmapHandle* bitmap);

int32_t IL_CreateBitmap(TILBitmapHandle* bitmap, int32_t memoryType, int32_t width, int32_t height,
                        int32_t bitsPerPixel, int32_t order, const RGBQUAD* palette, int32_t viewPerspective,
                        void* pixels, uint32_t size);
HDC IL_CreateImageDC(TILBitmapHandle* bitmap);
int32_t IL_DeleteImageDC(HDC dc);
int32_t IL_FreeBitmap(TILBitmapHandle* bitmap);
int32_t IL_CopyBitmapData(TILBitmapHandle* destination, TILBitmapHandle* source);
int32_t IL_ChangeBitmapViewPerspective(TILBitmapHandle* destination, TILBitmapHandle* source, int32_t viewPerspective);
int32_t IL_RectToBitmap(TILBitmapHandle* bitmap, int32_t viewPerspective, RECT* rect);
// angle in hundredths of a degree, positive clockwise; quarter turns only. flags 1 resizes the bitmap.
int32_t IL_RotateBitmap(TILBitmapHandle* bitmap, int32_t angle, uint32_t flags, COLORREF fill);
