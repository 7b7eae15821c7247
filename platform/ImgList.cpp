#include "platform/ImgList.h"

#include <algorithm>

#include "platform/ScopeGuards.h"

SF_IMPLEMENT_CLASS(TChangeLink, TObject)
SF_IMPLEMENT_COMPONENT(TCustomImageList, TComponent)
SF_IMPLEMENT_COMPONENT(TImageList, TCustomImageList)

namespace {

// A 32-bit top-down DIB section of the given size, filled with one colour.
TGdiObject<HBITMAP> MakeDib(int width, int height, COLORREF fill, uint32_t*& bits)
{
    TGdiObject<HBITMAP> dib = MakeDib32(width, height, &bits);
    if (!dib)
        RaiseLastOSError("CreateDIBSection");
    uint32_t value = (GetRValue(fill) << 16) | (GetGValue(fill) << 8) | GetBValue(fill);
    std::fill(bits, bits + static_cast<size_t>(width) * height, value);
    return dib;
}

int Luminance(uint32_t pixel)
{
    int r = (pixel >> 16) & 0xFF, g = (pixel >> 8) & 0xFF, b = pixel & 0xFF;
    return (r * 30 + g * 59 + b * 11) / 100;
}

}

// ---------------------------------------------------------------------------------------------

TChangeLink::~TChangeLink()
{
    if (FSender)
        FSender->UnRegisterChanges(this);
}

void TChangeLink::Change()
{
    OnChange(FSender);
}

// ---------------------------------------------------------------------------------------------

TCustomImageList::TCustomImageList(TComponent* owner) : TComponent(owner)
{
}

TCustomImageList::TCustomImageList(TComponent* owner, int width, int height) : TComponent(owner)
{
    FWidth = std::max(1, width);
    FHeight = std::max(1, height);
}

TCustomImageList::~TCustomImageList()
{
    for (TChangeLink* link : FLinks)
        link->SetSender(nullptr);
    FreeHandle();
}

void TCustomImageList::FreeHandle()
{
    if (FHandle)
        ImageList_Destroy(FHandle);
    FHandle = nullptr;
}

void TCustomImageList::CreateImageList()
{
    UINT flags = ILC_COLOR24 | (FMasked ? ILC_MASK : 0);
    FHandle = ImageList_Create(FWidth, FHeight, flags, 4, 4);
    if (!FHandle)
        throw EInvalidOperation("Error creating image list");
    if (FBkColor != clNone)
        ImageList_SetBkColor(FHandle, static_cast<COLORREF>(ColorToRGB(FBkColor)));
}

HIMAGELIST TCustomImageList::GetHandle()
{
    if (!FHandle)
        CreateImageList();
    return FHandle;
}

void TCustomImageList::Assign(TPersistent* source)
{
    auto* other = Is<TCustomImageList>(source) ? static_cast<TCustomImageList*>(source) : nullptr;
    if (!other) {
        TComponent::Assign(source);
        return;
    }
    FreeHandle();
    FWidth = other->FWidth;
    FHeight = other->FHeight;
    FMasked = other->FMasked;
    FBkColor = other->FBkColor;
    if (other->FHandle) {
        FHandle = ImageList_Duplicate(other->FHandle);
        if (!FHandle)
            throw EInvalidOperation("Error creating image list");
    }
    Change();
}

void TCustomImageList::SetSize(int width, int height)
{
    width = std::max(1, width);
    height = std::max(1, height);
    if (width == FWidth && height == FHeight)
        return;
    FWidth = width;
    FHeight = height;
    FreeHandle();
    Change();
}

int TCustomImageList::GetCount() const
{
    return FHandle ? ImageList_GetImageCount(FHandle) : 0;
}

void TCustomImageList::SetMasked(bool value)
{
    if (value == FMasked)
        return;
    FMasked = value;
    FreeHandle();
    Change();
}

void TCustomImageList::SetBkColor(TColor value)
{
    if (value == FBkColor)
        return;
    FBkColor = value;
    if (FHandle)
        ImageList_SetBkColor(FHandle, value == clNone ? CLR_NONE : static_cast<COLORREF>(ColorToRGB(value)));
    Change();
}

void TCustomImageList::CheckIndex(int index) const
{
    if (index < 0 || index >= GetCount())
        throw EInvalidOperation("Invalid image list index (" + std::to_string(index) + ")");
}

HBITMAP TCustomImageList::PrepareBitmap(TBitmap* image, int& imageCount) const
{
    // The system list cuts the bitmap into images of its width and may write into the bitmap
    // it is given, so it always gets a copy padded to whole images.
    imageCount = std::max(1, (image->GetWidth() + FWidth - 1) / FWidth);
    int width = imageCount * FWidth;
    TGdiObject<HBITMAP> copy(CreateCompatibleBitmap(TWindowDC().Get(), width, FHeight));
    if (!copy)
        RaiseLastOSError("CreateCompatibleBitmap");
    TBitmapDC dest(nullptr, copy.Get());
    RECT all{0, 0, width, FHeight};
    FillRect(dest.Get(), &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    // The bitmap may already be selected into its canvas's context, so copy from there.
    BitBlt(dest.Get(), 0, 0, std::min(width, image->GetWidth()), std::min(FHeight, image->GetHeight()),
           image->GetCanvas()->GetHandle(), 0, 0, SRCCOPY);
    return copy.Release();
}

int TCustomImageList::Add(TBitmap* image, TBitmap* mask)
{
    if (!image || image->GetEmpty())
        throw EInvalidOperation("Image list: no image to add");
    int count = 0;
    TGdiObject<HBITMAP> picture(PrepareBitmap(image, count));
    TGdiObject<HBITMAP> maskCopy;
    if (mask && !mask->GetEmpty()) {
        int maskCount = 0;
        maskCopy.Reset(PrepareBitmap(mask, maskCount));
    }
    int index = ImageList_Add(GetHandle(), picture.Get(), maskCopy.Get());
    if (index < 0)
        throw EInvalidOperation("Image list: the image could not be added");
    Change();
    return index;
}

int TCustomImageList::AddMasked(TBitmap* image, TColor maskColor)
{
    if (!image || image->GetEmpty())
        throw EInvalidOperation("Image list: no image to add");
    if (!FMasked)
        return Add(image, nullptr);
    int count = 0;
    TGdiObject<HBITMAP> picture(PrepareBitmap(image, count));
    int index = ImageList_AddMasked(GetHandle(), picture.Get(), static_cast<COLORREF>(ColorToRGB(maskColor)));
    if (index < 0)
        throw EInvalidOperation("Image list: the image could not be added");
    Change();
    return index;
}

void TCustomImageList::Replace(int index, TBitmap* image, TBitmap* mask)
{
    CheckIndex(index);
    int count = 0;
    TGdiObject<HBITMAP> picture(PrepareBitmap(image, count));
    TGdiObject<HBITMAP> maskCopy;
    if (mask && !mask->GetEmpty())
        maskCopy.Reset(PrepareBitmap(mask, count));
    if (!ImageList_Replace(FHandle, index, picture.Get(), maskCopy.Get()))
        throw EInvalidOperation("Image list: the image could not be replaced");
    Change();
}

void TCustomImageList::Delete(int index)
{
    CheckIndex(index);
    ImageList_Remove(FHandle, index);
    Change();
}

void TCustomImageList::Clear()
{
    if (FHandle)
        ImageList_Remove(FHandle, -1);
    Change();
}

void TCustomImageList::Draw(TCanvas* canvas, int x, int y, int index, bool enabled)
{
    Draw(canvas->GetHandle(), x, y, index, enabled);
}

void TCustomImageList::Draw(HDC dc, int x, int y, int index, bool enabled)
{
    if (!FHandle || index < 0 || index >= GetCount())
        return;
    if (!enabled) {
        DrawDisabled(dc, x, y, index);
        return;
    }
    UINT style = FMasked ? ILD_TRANSPARENT : ILD_NORMAL;
    ImageList_DrawEx(FHandle, index, dc, x, y, 0, 0, CLR_DEFAULT, CLR_DEFAULT, style);
}

void TCustomImageList::DrawDisabled(HDC dc, int x, int y, int index)
{
    // The dark opaque pixels of the image form a shape that is painted twice: in the highlight
    // colour one pixel down and right, then in the shadow colour in place.
    uint32_t* imageBits = nullptr;
    uint32_t* maskBits = nullptr;
    TGdiObject<HBITMAP> imageDib = MakeDib(FWidth, FHeight, RGB(255, 255, 255), imageBits);
    TGdiObject<HBITMAP> maskDib = MakeDib(FWidth, FHeight, RGB(255, 255, 255), maskBits);
    {
        TBitmapDC imageDC(dc, imageDib.Get());
        ImageList_DrawEx(FHandle, index, imageDC.Get(), 0, 0, 0, 0, CLR_NONE, CLR_NONE, ILD_TRANSPARENT);
        if (FMasked) {
            TBitmapDC maskDC(dc, maskDib.Get());
            ImageList_DrawEx(FHandle, index, maskDC.Get(), 0, 0, 0, 0, CLR_NONE, CLR_NONE, ILD_MASK);
        }
    }
    GdiFlush();
    int rowBytes = ((FWidth + 15) / 16) * 2;
    std::vector<uint8_t> monoBits(static_cast<size_t>(rowBytes) * FHeight, 0xFF);
    for (int row = 0; row < FHeight; ++row) {
        for (int col = 0; col < FWidth; ++col) {
            size_t i = static_cast<size_t>(row) * FWidth + col;
            bool opaque = !FMasked || (maskBits[i] & 0xFFFFFF) == 0;
            if (opaque && Luminance(imageBits[i]) < 0xC0)
                monoBits[static_cast<size_t>(row) * rowBytes + col / 8] &= static_cast<uint8_t>(~(0x80 >> (col % 8)));
        }
    }
    TGdiObject<HBITMAP> mono(CreateBitmap(FWidth, FHeight, 1, 1, monoBits.data()));
    if (!mono)
        RaiseLastOSError("CreateBitmap");
    TBitmapDC monoDC(dc, mono.Get());
    // Source black (the shape) becomes white through the text colour; the raster operation
    // then paints the brush where the source is white and keeps the destination elsewhere.
    constexpr DWORD ropDSPDxax = 0x00E20746;
    COLORREF oldText = SetTextColor(dc, RGB(255, 255, 255));
    COLORREF oldBk = ::SetBkColor(dc, RGB(0, 0, 0));
    TGdiObject<HBRUSH> highlight(CreateSolidBrush(static_cast<COLORREF>(ColorToRGB(clBtnHighlight))));
    TGdiObject<HBRUSH> shadow(CreateSolidBrush(static_cast<COLORREF>(ColorToRGB(clBtnShadow))));
    {
        TSelectGuard select(dc, highlight.Get());
        BitBlt(dc, x + 1, y + 1, FWidth, FHeight, monoDC.Get(), 0, 0, ropDSPDxax);
        SelectObject(dc, shadow.Get());
        BitBlt(dc, x, y, FWidth, FHeight, monoDC.Get(), 0, 0, ropDSPDxax);
    }
    SetTextColor(dc, oldText);
    ::SetBkColor(dc, oldBk);
}

void TCustomImageList::RegisterChanges(TChangeLink* link)
{
    if (!link || std::find(FLinks.begin(), FLinks.end(), link) != FLinks.end())
        return;
    link->SetSender(this);
    FLinks.push_back(link);
}

void TCustomImageList::UnRegisterChanges(TChangeLink* link)
{
    auto it = std::find(FLinks.begin(), FLinks.end(), link);
    if (it == FLinks.end())
        return;
    FLinks.erase(it);
    link->SetSender(nullptr);
}

void TCustomImageList::EndUpdate()
{
    if (FUpdateCount > 0 && --FUpdateCount == 0 && FChanged)
        Change();
}

void TCustomImageList::Change()
{
    ++FChangeCount;
    if (FUpdateCount > 0) {
        FChanged = true;
        return;
    }
    FChanged = false;
    // A listener may unregister itself (or others) while being told.
    std::vector<TChangeLink*> links = FLinks;
    for (TChangeLink* link : links)
        if (std::find(FLinks.begin(), FLinks.end(), link) != FLinks.end())
            link->Change();
    OnChange(this);
}
