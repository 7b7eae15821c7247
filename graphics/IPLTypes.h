// The interface of a DIB whose pixels are at the same time an imaging-library bitmap.
#pragma once

#include "graphics/SfInterface.h"
#include "platform/ImagingLib.h"

struct IILBitmap : public IDib {
    // The library's record over the DIB's pixels, for painting and copying; it lives as long as the object.
    virtual HRESULT STDMETHODCALLTYPE GetBitmapHandle(TILBitmapHandle** handle) = 0;
    // The record's resolution pair (dots per inch, horizontal and vertical).
    virtual HRESULT STDMETHODCALLTYPE GetResolution(POINT* resolution) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetResolution(POINT resolution) = 0;
};
__CRT_UUID_DECL(IILBitmap, 0xACB9E9BE, 0x3C4D, 0x4493, 0xBA, 0xAC, 0x83, 0x86, 0x1F, 0xA5, 0x46, 0x94)
