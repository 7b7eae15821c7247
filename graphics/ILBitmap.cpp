#include "graphics/ILBitmap.h"

SF_IMPLEMENT_CLASS(TILBitmap, TSfDib)

HRESULT TILBitmap::GetBitmapHandle(TILBitmapHandle** handle)
{
    return SafeGet(handle, [&] { return &FILBitmap; });
}

HRESULT TILBitmap::GetResolution(POINT* resolution)
{
    return SafeGet(resolution, [&] { return POINT{FILBitmap.XResolution, FILBitmap.YResolution}; });
}

HRESULT TILBitmap::SetResolution(POINT resolution)
{
    FILBitmap.XResolution = resolution.x;
    FILBitmap.YResolution = resolution.y;
    return S_OK;
}

HRESULT TILBitmap::QueryInterfaceImpl(REFIID iid, void** obj)
{
    if (!obj)
        return E_POINTER;
    if (iid == IID_IUnknown || iid == __uuidof(IDC) || iid == __uuidof(IDib) || iid == __uuidof(IILBitmap)) {
        *obj = static_cast<IILBitmap*>(this);
        AddRefImpl();
        return S_OK;
    }
    return TInterfacedObject::QueryInterfaceImpl(iid, obj);
}

void TILBitmap::CreateBitmap()
{
    TSfDib::CreateBitmap();
    if (!FBits)
        return;
    // The library takes the row count and the row order apart, never a signed height.
    const BITMAPINFOHEADER& header = FBitmapInfo->bmiHeader;
    int32_t result = IL_CreateBitmap(&FILBitmap, IL_MEMORY_USER, header.biWidth, FAbsHeight, header.biBitCount, 1,
                                     nullptr, FHeight >= 0 ? IL_BOTTOM_UP : IL_TOP_DOWN, FBits,
                                     static_cast<uint32_t>(SfDibUtils::ImageSize(header)));
    FILBitmapMade = result == IL_SUCCESS;
}

void TILBitmap::FreeBitmap()
{
    TSfDib::FreeBitmap();
    // The record borrowed the section's pixels: it must not outlive them. The generation goes on
    // counting, so nothing the library derived from the old pixels passes for current.
    uint32_t generation = FILBitmap.Generation + 1;
    FILBitmap = TILBitmapHandle{};
    FILBitmap.Generation = generation;
    FILBitmapMade = false;
}
