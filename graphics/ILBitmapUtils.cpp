#include "graphics/ILBitmapUtils.h"

#include "graphics/ILHandles.h"
#include "platform/ComObj.h"

HRESULT ILErrorToHResult(int32_t code)
{
    if (code == IL_SUCCESS)
        return S_OK;
    if (code == 0)
        return E_FAIL;
    if (code == 2)
        return E_ABORT;
    if (code >= -999 && code <= -1)
        return static_cast<HRESULT>(0x80040000u | static_cast<uint32_t>(511 - code));
    return E_UNEXPECTED;
}

TILBitmapHandle* GetILBitmap(IILBitmap* bitmap)
{
    TILBitmapHandle* handle = nullptr;
    OleCheck(bitmap->GetBitmapHandle(&handle));
    return handle;
}

int32_t CopyILBitmapToDib(IILBitmap* dest, TILBitmapHandle& source)
{
    if (source.ViewPerspective != IL_BOTTOM_UP) {
        int32_t turned = IL_ChangeBitmapViewPerspective(nullptr, &source, IL_BOTTOM_UP);
        if (turned != IL_SUCCESS)
            return turned;
    }
    OleCheck(dest->SetFormat(source.Width, source.Height, source.BitsPerPixel, 0));
    int32_t result = IL_CopyBitmapData(GetILBitmap(dest), &source);
    OleCheck(dest->SetResolution(POINT{source.XResolution, source.YResolution}));
    return result;
}

int32_t DrawBitmap(HDC dc, const RECT& destRect, IILBitmap* bitmap)
{
    if (!bitmap)
        return IL_ERROR_INV_PARAMETER;
    return IL_PaintDC(dc, GetILBitmap(bitmap), nullptr, nullptr, &destRect, nullptr, SRCCOPY);
}

int32_t DrawBitmapAt(HDC dc, POINT topLeft, IILBitmap* bitmap)
{
    if (!bitmap)
        return IL_ERROR_INV_PARAMETER;
    LONG width = 0, height = 0;
    OleCheck(bitmap->GetSize(&width, &height));
    RECT destRect{topLeft.x, topLeft.y, topLeft.x + width, topLeft.y + height};
    return DrawBitmap(dc, destRect, bitmap);
}

int32_t LoadThumbnail(IILBitmap* dest, const std::string& fileName, COLORREF background, TILFileInfo* info)
{
    TILBitmapGuard thumbnail;
    if (info) {
        *info = TILFileInfo{};
        IL_FileInfo(fileName.c_str(), info, 0, 0);
    }
    LONG width = 0, height = 0;
    WORD bitCount = 0;
    OleCheck(dest->GetSize(&width, &height));
    OleCheck(dest->GetBitCount(&bitCount));
    TILThumbOptions options{width, height, bitCount, 6, 1, 1, background, 0, 0};
    int32_t result = IL_CreateThumbnailFromFile(fileName.c_str(), &thumbnail.Get(), &options, nullptr, nullptr,
                                                nullptr, nullptr);
    if (result != IL_SUCCESS)
        return result;
    return CopyILBitmapToDib(dest, thumbnail.Get());
}
