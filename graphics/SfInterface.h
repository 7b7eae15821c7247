// The reference-counted device-context and DIB interfaces. Every method returns a result code
// (S_OK on success) and hands values back through out-parameters; a caller turns a failure back
// into an exception with OleCheck.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <cstdint>

#include "graphics/Gfx32_LowLevel.h"

// A device context holder.
struct IDC : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetHandle(HDC* handle) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetHandle(HDC handle) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetOwnsHandle(VARIANT_BOOL* owns) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetOwnsHandle(VARIANT_BOOL owns) = 0;
};
__CRT_UUID_DECL(IDC, 0x58F41134, 0x4384, 0x4452, 0x81, 0xEA, 0x47, 0xF9, 0xAA, 0x80, 0x27, 0xCF)

// A device-independent bitmap with its scan lines, colour table and pixels. Heights given to
// SetFormat and SetSize are signed (negative for rows stored top-down); GetHeight and GetSize
// always give the absolute height. Colours are TColor32 values.
struct IDib : public IDC {
    virtual HRESULT STDMETHODCALLTYPE SetFormat(LONG width, LONG height, WORD bitCount, DWORD clrUsed) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetWidth(LONG* width) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetWidth(LONG width) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetHeight(LONG* height) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetHeight(LONG height) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetBitCount(WORD* bitCount) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetBitCount(WORD bitCount) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetClrUsed(DWORD* clrUsed) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetClrUsed(DWORD clrUsed) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetColourCount(DWORD* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE Clear() = 0;
    virtual HRESULT STDMETHODCALLTYPE IsEmpty(VARIANT_BOOL* empty) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetBitmap(HBITMAP* bitmap) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetBitmap(HBITMAP bitmap) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetOwnsBitmap(VARIANT_BOOL* owns) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetOwnsBitmap(VARIANT_BOOL owns) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetGlobal(HGLOBAL* global) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetGlobal(HGLOBAL global) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetOwnsGlobal(VARIANT_BOOL* owns) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetOwnsGlobal(VARIANT_BOOL owns) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetBitmapInfo(BITMAPINFO** info) = 0;
    // A packed DIB (header, masks, colour table, pixels) of the given size in bytes, not owned.
    virtual HRESULT STDMETHODCALLTYPE SetBitmapInfo(BITMAPINFO* info, DWORD size) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetBits(void** bits) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetBits(void* bits) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetStride(LONG* stride) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetScanLine(LONG y, void** line) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPaletteEntry(LONG index, RGBQUAD** entry) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPixel(LONG x, LONG y, TColor32* colour) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetPixel(LONG x, LONG y, TColor32 colour) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSize(LONG* width, LONG* height) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetSize(LONG width, LONG height) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPixelPtr(LONG x, LONG y, void** pixel) = 0;
};
__CRT_UUID_DECL(IDib, 0x90C98A47, 0x246F, 0x4201, 0x92, 0xA3, 0xC8, 0xAB, 0x64, 0xCC, 0xC7, 0xFA)
