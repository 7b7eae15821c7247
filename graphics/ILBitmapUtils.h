// Filling, drawing and thumbnailing imaging-library DIBs, and turning library results into result
// codes. The routines pass library results back unchanged (1 = success).
#pragma once

#include <cstdint>
#include <string>

#include "graphics/IPLTypes.h"

// 1 gives S_OK; 0 gives E_FAIL; 2 gives E_ABORT; -999..-1 give 0x80040000 | (511 - code)
// (so -1 gives 0x80040200); anything else E_UNEXPECTED.
HRESULT ILErrorToHResult(int32_t code);

// The library record of the bitmap.
TILBitmapHandle* GetILBitmap(IILBitmap* bitmap);

// Makes Dest a bottom-up copy of Source in Source's size, depth and resolution. A Source stored
// top-down is turned bottom-up in place first.
int32_t CopyILBitmapToDib(IILBitmap* dest, TILBitmapHandle& source);

// Stretches the whole bitmap onto the rectangle; -13 when there is no bitmap.
int32_t DrawBitmap(HDC dc, const RECT& destRect, IILBitmap* bitmap);
// Draws the bitmap at its own size with its top-left corner at the point; -13 when there is no bitmap.
int32_t DrawBitmapAt(HDC dc, POINT topLeft, IILBitmap* bitmap);

// Fills Dest, keeping its size and depth, with a thumbnail of the file on the background colour;
// when info is given it also receives what the library tells about the file. Dest is left as it
// was when the library cannot make the thumbnail.
int32_t LoadThumbnail(IILBitmap* dest, const std::string& fileName, COLORREF background, TILFileInfo* info = nullptr);
