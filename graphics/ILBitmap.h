// A DIB that is also an imaging-library bitmap borrowing its pixels, from the moment its format is
// set until the DIB is freed.
#pragma once

#include "graphics/IPLTypes.h"
#include "graphics/SfDib.h"

class TILBitmap : public TSfDib, public IILBitmap {
    SF_CLASS(TILBitmap)
    SF_IUNKNOWN_METHODS
    SF_FORWARD_IDIB(TSfDib)
public:
    HRESULT STDMETHODCALLTYPE GetBitmapHandle(TILBitmapHandle** handle) override;
    HRESULT STDMETHODCALLTYPE GetResolution(POINT* resolution) override;
    HRESULT STDMETHODCALLTYPE SetResolution(POINT resolution) override;

protected:
    HRESULT QueryInterfaceImpl(REFIID iid, void** obj) override;
    void CreateBitmap() override;
    void FreeBitmap() override;

    bool FILBitmapMade = false;
    TILBitmapHandle FILBitmap;
};
