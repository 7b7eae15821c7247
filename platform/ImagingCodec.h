// What the imaging library's own readers share: the header a reader reports, the size limits every
// reader checks before it allocates, and bounds-checked little- and big-endian reads.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ImagingCodec {

// No picture larger than this is decoded: 2^28 pixels, 1 GiB at 32 bits per pixel.
constexpr uint64_t MaxPixels = uint64_t(1) << 28;
constexpr int32_t MaxSide = 1 << 20;

struct TImageHeader {
    int32_t Format = 0;         // IL_FILE_ code
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t XResolution = 0;    // dots per inch, 0 when unknown
    int32_t YResolution = 0;
    int32_t FileBitsPerPixel = 0;
};

// IL_SUCCESS when a picture of this size may be allocated, else the error result for it.
int32_t CheckImageSize(int64_t width, int64_t height);

// Bytes of a row of width pixels at bitsPerPixel, aligned to four bytes; 0 when it does not fit 31 bits.
uint32_t AlignedStride(int64_t width, int32_t bitsPerPixel);

// The bytes one picture may still take: what is left of the process's address space in one piece,
// of the system's commit and of half the machine's memory, whichever is least. A 64-bit process has
// room for terabytes of addresses, so the machine's memory is what bounds it there.
uint64_t AvailablePictureBytes();
// A ceiling below what the system offers (0: none), as a host with less memory would give; returns
// the previous ceiling.
uint64_t SetPictureMemoryCeiling(uint64_t bytes);
// IL_SUCCESS when a picture of width x height fits in memory at bytesPerPixel bytes per pixel (what
// its decoding holds at once: the bitmap and any copy a decoder keeps), else IL_ERROR_NO_MEMORY.
// Checked before anything is allocated for it.
int32_t CheckDecodedFits(int64_t width, int64_t height, uint32_t bytesPerPixel);

// Whether codedBytes of run-length coding (runs of at most 255 pixels per two bytes, with rows and
// areas it may skip) can stand for a picture of pixels pixels. Small pictures always can; a large
// one needs codes in proportion.
bool CodedSizeJustified(uint64_t pixels, uint64_t codedBytes);
// Whether deflated data of compressedBytes can inflate to rawBytes: one byte of deflate stands for
// at most 1032.
bool InflatedSizeJustified(uint64_t rawBytes, uint64_t compressedBytes);

inline uint16_t ReadLE16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint32_t ReadLE32(const uint8_t* p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24); }
inline uint16_t ReadBE16(const uint8_t* p) { return uint16_t((p[0] << 8) | p[1]); }
inline uint32_t ReadBE32(const uint8_t* p) { return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]); }

// Dots per inch from pixels per metre, rounded; 0 stays unknown.
int32_t MetreToInch(uint32_t pixelsPerMetre);
// Pixels per metre for dots per inch, rounded.
uint32_t InchToMetre(int32_t dotsPerInch);

} // namespace ImagingCodec

namespace ImagingCodec {

// An area (box) filter: each destination pixel is the mean of the source pixels that fall into it,
// so reductions keep fine detail as grey instead of aliasing; an enlarged axis repeats pixels.
// Rows are taken in stored order: source rows sy .. sy+sh-1 become destination rows 0 .. dh-1.
// Pixels are 3 (BGR) or 4 (BGRX) bytes; a 4-byte destination gets 255 in its fourth byte.
void BoxResample(const uint8_t* src, int32_t srcStride, int32_t srcBytes, int32_t sx, int32_t sy, int32_t sw, int32_t sh,
                 uint8_t* dst, int32_t dstStride, int32_t dstBytes, int32_t dw, int32_t dh);

} // namespace ImagingCodec
