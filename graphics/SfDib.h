// A reference-counted device-independent bitmap reached through IDib. It holds at most one of:
// its own DIB section (made by SetFormat), an adopted bitmap handle, or a packed DIB in global
// memory or at a given address; the owner flags decide what it deletes. Its device context is
// made only when asked for.
#pragma once

#include <memory>

#include "graphics/SfDC.h"
#include "graphics/SfDibUtils.h"

class TSfDib : public TSfDC, public IDib {
    SF_CLASS(TSfDib)
    SF_IUNKNOWN_METHODS
    SF_FORWARD_IDC(TSfDC)
public:
    HRESULT STDMETHODCALLTYPE SetFormat(LONG width, LONG height, WORD bitCount, DWORD clrUsed) override;
    HRESULT STDMETHODCALLTYPE GetWidth(LONG* width) override;
    HRESULT STDMETHODCALLTYPE SetWidth(LONG width) override;
    HRESULT STDMETHODCALLTYPE GetHeight(LONG* height) override;
    HRESULT STDMETHODCALLTYPE SetHeight(LONG height) override;
    HRESULT STDMETHODCALLTYPE GetBitCount(WORD* bitCount) override;
    HRESULT STDMETHODCALLTYPE SetBitCount(WORD bitCount) override;
    HRESULT STDMETHODCALLTYPE GetClrUsed(DWORD* clrUsed) override;
    HRESULT STDMETHODCALLTYPE SetClrUsed(DWORD clrUsed) override;
    HRESULT STDMETHODCALLTYPE GetColourCount(DWORD* count) override;
    HRESULT STDMETHODCALLTYPE Clear() override;
    HRESULT STDMETHODCALLTYPE IsEmpty(VARIANT_BOOL* empty) override;
    HRESULT STDMETHODCALLTYPE GetBitmap(HBITMAP* bitmap) override;
    HRESULT STDMETHODCALLTYPE SetBitmap(HBITMAP bitmap) override;
    HRESULT STDMETHODCALLTYPE GetOwnsBitmap(VARIANT_BOOL* owns) override;
    HRESULT STDMETHODCALLTYPE SetOwnsBitmap(VARIANT_BOOL owns) override;
    HRESULT STDMETHODCALLTYPE GetGlobal(HGLOBAL* global) override;
    HRESULT STDMETHODCALLTYPE SetGlobal(HGLOBAL global) override;
    HRESULT STDMETHODCALLTYPE GetOwnsGlobal(VARIANT_BOOL* owns) override;
    HRESULT STDMETHODCALLTYPE SetOwnsGlobal(VARIANT_BOOL owns) override;
    HRESULT STDMETHODCALLTYPE GetBitmapInfo(BITMAPINFO** info) override;
    HRESULT STDMETHODCALLTYPE SetBitmapInfo(BITMAPINFO* info, DWORD size) override;
    HRESULT STDMETHODCALLTYPE GetBits(void** bits) override;
    HRESULT STDMETHODCALLTYPE SetBits(void* bits) override;
    HRESULT STDMETHODCALLTYPE GetStride(LONG* stride) override;
    HRESULT STDMETHODCALLTYPE GetScanLine(LONG y, void** line) override;
    HRESULT STDMETHODCALLTYPE GetPaletteEntry(LONG index, RGBQUAD** entry) override;
    HRESULT STDMETHODCALLTYPE GetPixel(LONG x, LONG y, TColor32* colour) override;
    HRESULT STDMETHODCALLTYPE SetPixel(LONG x, LONG y, TColor32 colour) override;
    HRESULT STDMETHODCALLTYPE GetSize(LONG* width, LONG* height) override;
    HRESULT STDMETHODCALLTYPE SetSize(LONG width, LONG height) override;
    HRESULT STDMETHODCALLTYPE GetPixelPtr(LONG x, LONG y, void** pixel) override;

    void BeforeDestruction() override;

protected:
    HRESULT QueryInterfaceImpl(REFIID iid, void** obj) override;

    void ReleaseHandle() override;
    void DoSetHandle(HDC handle) override;
    HDC DoGetHandle() override;

    // Makes the DIB section the header describes.
    virtual void CreateBitmap();
    virtual void FreeBitmap();
    virtual void FreeGlobal();
    // Frees the bitmap and the header this object allocated, and forgets the format.
    virtual void FreeHeader();
    virtual void AllocHeader();

    void DoSetFormat(LONG width, LONG height, WORD bitCount, DWORD clrUsed);
    // Selects the bitmap into a context held without one (the caller's, kept across bitmaps).
    void SelectIntoHeldContext();
    void DoClear();
    void DoSetBitmap(HBITMAP bitmap);
    void DoSetGlobal(HGLOBAL global);
    void DoSetBitmapInfo(BITMAPINFO* info, size_t size);
    // Whether the adopted section, read as bottom-up so far, stores its rows top-down.
    bool SectionIsTopDown();
    // Sets Width, Height, BitCount, ClrUsed and what follows from them.
    void SetFormatFields(LONG width, LONG height, WORD bitCount, DWORD clrUsed);
    // Sets Bits and the top row that follows from them; no bits give no rows.
    void SetBitsPointer(void* bits);
    uint8_t* PixelPtr(LONG x, LONG y) const;
    TColor32 ReadPixel(LONG x, LONG y) const;
    void WritePixel(LONG x, LONG y, TColor32 colour);
    uint32_t PaletteColour(uint32_t index) const;
    uint32_t NearestPaletteIndex(uint32_t colour) const;
    // The red, green, blue and alpha masks of a 16 or 32-bit DIB, the defaults when it has none.
    void PixelMasks(uint32_t masks[4]) const;

    bool FOwnsBitmap = false;
    bool FOwnsGlobal = false;
    WORD FBitCount = 0;
    DWORD FClrUsed = 0;
    DWORD FColourCount = 0;
    LONG FWidth = 0;
    LONG FHeight = 0;
    LONG FAbsHeight = 0;
    HBITMAP FOldBitmap = nullptr;
    HBITMAP FBitmap = nullptr;
    HGLOBAL FGlobal = nullptr;
    size_t FHeaderSize = 0;
    BITMAPINFO* FBitmapInfo = nullptr;
    uint8_t* FBits = nullptr;
    uint8_t* FRow0 = nullptr;
    LONG FStride = 0;
    // Where the colour table starts, counted from the header, and the masks of BI_BITFIELDS.
    DWORD FColourTableOffset = SfDibUtils::InfoHeaderSize;
    DWORD FCompression = BI_RGB;
    uint32_t FMasks[4] = {};

private:
    std::unique_ptr<uint8_t[]> FHeaderStorage;
};

// A class that adds an interface derived from IDib re-declares the IDib methods so that all its
// IDib tables reach the same code; this forwards them to the base class's implementation.
#define SF_FORWARD_IDIB(Base)                                                                                     \
    SF_FORWARD_IDC(Base)                                                                                          \
public:                                                                                                           \
    HRESULT STDMETHODCALLTYPE SetFormat(LONG w, LONG h, WORD b, DWORD c) override { return Base::SetFormat(w, h, b, c); } \
    HRESULT STDMETHODCALLTYPE GetWidth(LONG* w) override { return Base::GetWidth(w); }                            \
    HRESULT STDMETHODCALLTYPE SetWidth(LONG w) override { return Base::SetWidth(w); }                             \
    HRESULT STDMETHODCALLTYPE GetHeight(LONG* h) override { return Base::GetHeight(h); }                          \
    HRESULT STDMETHODCALLTYPE SetHeight(LONG h) override { return Base::SetHeight(h); }                           \
    HRESULT STDMETHODCALLTYPE GetBitCount(WORD* b) override { return Base::GetBitCount(b); }                      \
    HRESULT STDMETHODCALLTYPE SetBitCount(WORD b) override { return Base::SetBitCount(b); }                       \
    HRESULT STDMETHODCALLTYPE GetClrUsed(DWORD* c) override { return Base::GetClrUsed(c); }                       \
    HRESULT STDMETHODCALLTYPE SetClrUsed(DWORD c) override { return Base::SetClrUsed(c); }                        \
    HRESULT STDMETHODCALLTYPE GetColourCount(DWORD* c) override { return Base::GetColourCount(c); }               \
    HRESULT STDMETHODCALLTYPE Clear() override { return Base::Clear(); }                                          \
    HRESULT STDMETHODCALLTYPE IsEmpty(VARIANT_BOOL* e) override { return Base::IsEmpty(e); }                      \
    HRESULT STDMETHODCALLTYPE GetBitmap(HBITMAP* b) override { return Base::GetBitmap(b); }                       \
    HRESULT STDMETHODCALLTYPE SetBitmap(HBITMAP b) override { return Base::SetBitmap(b); }                        \
    HRESULT STDMETHODCALLTYPE GetOwnsBitmap(VARIANT_BOOL* o) override { return Base::GetOwnsBitmap(o); }          \
    HRESULT STDMETHODCALLTYPE SetOwnsBitmap(VARIANT_BOOL o) override { return Base::SetOwnsBitmap(o); }           \
    HRESULT STDMETHODCALLTYPE GetGlobal(HGLOBAL* g) override { return Base::GetGlobal(g); }                       \
    HRESULT STDMETHODCALLTYPE SetGlobal(HGLOBAL g) override { return Base::SetGlobal(g); }                        \
    HRESULT STDMETHODCALLTYPE GetOwnsGlobal(VARIANT_BOOL* o) override { return Base::GetOwnsGlobal(o); }          \
    HRESULT STDMETHODCALLTYPE SetOwnsGlobal(VARIANT_BOOL o) override { return Base::SetOwnsGlobal(o); }           \
    HRESULT STDMETHODCALLTYPE GetBitmapInfo(BITMAPINFO** i) override { return Base::GetBitmapInfo(i); }           \
    HRESULT STDMETHODCALLTYPE SetBitmapInfo(BITMAPINFO* i, DWORD s) override { return Base::SetBitmapInfo(i, s); } \
    HRESULT STDMETHODCALLTYPE GetBits(void** b) override { return Base::GetBits(b); }                             \
    HRESULT STDMETHODCALLTYPE SetBits(void* b) override { return Base::SetBits(b); }                              \
    HRESULT STDMETHODCALLTYPE GetStride(LONG* s) override { return Base::GetStride(s); }                          \
    HRESULT STDMETHODCALLTYPE GetScanLine(LONG y, void** l) override { return Base::GetScanLine(y, l); }           \
    HRESULT STDMETHODCALLTYPE GetPaletteEntry(LONG i, RGBQUAD** e) override { return Base::GetPaletteEntry(i, e); } \
    HRESULT STDMETHODCALLTYPE GetPixel(LONG x, LONG y, TColor32* c) override { return Base::GetPixel(x, y, c); }   \
    HRESULT STDMETHODCALLTYPE SetPixel(LONG x, LONG y, TColor32 c) override { return Base::SetPixel(x, y, c); }    \
    HRESULT STDMETHODCALLTYPE GetSize(LONG* w, LONG* h) override { return Base::GetSize(w, h); }                  \
    HRESULT STDMETHODCALLTYPE SetSize(LONG w, LONG h) override { return Base::SetSize(w, h); }                    \
    HRESULT STDMETHODCALLTYPE GetPixelPtr(LONG x, LONG y, void** p) override { return Base::GetPixelPtr(x, y, p); }
