#include "app/PageExport.h"

#include <windows.h>

#include <memory>

#include "app/Rasterize.h"
#include "graphics/MapMode.h"
#include "platform/Exceptions.h"
#include "platform/ImagingLib.h"
#include "platform/SysUtils.h"

namespace {

std::string ILResultText(int32_t result)
{
    switch (result) {
    case IL_ERROR_NO_MEMORY:
        return "not enough memory";
    case IL_ERROR_NO_BITMAP:
        return "there is no picture";
    case IL_ERROR_FILE_WRITE:
        return "the file cannot be written";
    case IL_ERROR_INV_FILENAME:
        return "the file name is not valid";
    case IL_ERROR_FILE_OPEN:
        return "the file cannot be created";
    case IL_ERROR_INV_PARAMETER:
        return "the picture cannot be held";
    default:
        return "imaging library error " + std::to_string(result);
    }
}

// A bitmap made by the imaging library, freed with it.
class TOwnedILBitmap {
public:
    TOwnedILBitmap() = default;
    ~TOwnedILBitmap() { IL_FreeBitmap(&FHandle); }
    TOwnedILBitmap(const TOwnedILBitmap&) = delete;
    TOwnedILBitmap& operator=(const TOwnedILBitmap&) = delete;
    TILBitmapHandle* Get() { return &FHandle; }

private:
    TILBitmapHandle FHandle;
};

// A device context drawing on an imaging-library bitmap; deleting it finishes the drawing.
class TImageDC {
public:
    explicit TImageDC(TILBitmapHandle* bitmap) : FDC(IL_CreateImageDC(bitmap))
    {
        if (!FDC)
            throw EInvalidGraphic("Cannot draw on the exported picture: not enough memory");
    }
    ~TImageDC() { IL_DeleteImageDC(FDC); }
    TImageDC(const TImageDC&) = delete;
    TImageDC& operator=(const TImageDC&) = delete;
    HDC Get() const { return FDC; }

private:
    HDC FDC;
};

int64_t Bytes24(SIZE size)
{
    const int64_t stride = (int64_t(size.cx) * 24 + 31) / 32 * 4;
    return stride * size.cy;
}

void Save(const std::string& fileName, TILBitmapHandle* bitmap, int filterIndex)
{
    const TPictureFormat format = PictureFormatOf(filterIndex);
    const std::string target = ForceExtension(fileName, format.Extension);
    const int32_t result = IL_SaveBitmap(target.c_str(), bitmap, format.Code, 24, format.Quality, 0);
    if (result != IL_SUCCESS)
        throw EInvalidGraphic("Cannot save the picture \"" + target + "\": " + ILResultText(result));
}

THiMetric* NewExportMapMode(int dpi)
{
    THiMetric* mapMode = New<THiMetric>();
    mapMode->SetDPI(POINT{dpi, dpi});
    return mapMode;
}

} // namespace

TPictureFormat PictureFormatOf(int filterIndex)
{
    switch (filterIndex) {
    case 2:
        return {".png", IL_FILE_PNG, 0};
    case 3:
        return {".jpg", IL_FILE_JFIF, 8};
    default:
        return {".bmp", IL_FILE_BMP, 0};
    }
}

std::string ForceExtension(const std::string& fileName, const std::string& extension)
{
    if (ExtractFileExt(fileName) == extension)
        return fileName;
    return ChangeFileExt(fileName, extension);
}

std::string PictureFileName(const std::string& fileName, int filterIndex)
{
    return ForceExtension(fileName, PictureFormatOf(filterIndex).Extension);
}

SIZE ExportPixelSize(const TSheetfoldPage& page, int dpi)
{
    std::unique_ptr<THiMetric, TObjectFree> mapMode(NewExportMapMode(dpi));
    const RECT r = mapMode->LPtoDPRect(page.GetPrintableRect());
    return SIZE{r.right - r.left, r.bottom - r.top};
}

void ExportPage(TSheetfoldPage& page, int dpi, const std::string& fileName, int filterIndex)
{
    if (dpi <= 0)
        throw EInvalidGraphic("The export resolution must be above 0 dpi");
    const SIZE size = ExportPixelSize(page, dpi);
    if (size.cx <= 0 || size.cy <= 0)
        throw EInvalidGraphic("The page has no printable area to export");
    if (Bytes24(size) > MaxRasterBytes)
        throw EInvalidGraphic("The page is too large to export at " + std::to_string(dpi) + " dpi (" +
                              std::to_string(size.cx) + " x " + std::to_string(size.cy) + " pixels)");

    std::unique_ptr<THiMetric, TObjectFree> mapMode(NewExportMapMode(dpi));
    const RECT printable = page.GetPrintableRect();
    const POINT corner = mapMode->LPtoDP(POINT{printable.left, printable.top});
    mapMode->SetOrigin(POINT{-corner.x, -corner.y});
    if (page.GetColor() != 0xFFFFFF)
        page.SetColor(0xFFFFFF);

    TOwnedILBitmap bitmap;
    const int32_t made =
        IL_CreateBitmap(bitmap.Get(), IL_MEMORY_OWNED, size.cx, size.cy, 24, 1, nullptr, IL_TOP_DOWN, nullptr, 0);
    if (made != IL_SUCCESS)
        throw EInvalidGraphic("Cannot make the exported picture of " + std::to_string(size.cx) + " x " +
                              std::to_string(size.cy) + " pixels: " + ILResultText(made));
    bitmap.Get()->XResolution = dpi;
    bitmap.Get()->YResolution = dpi;
    {
        TImageDC dc(bitmap.Get());
        const RECT all{0, 0, size.cx, size.cy};
        FillRect(dc.Get(), &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        SetStretchBltMode(dc.Get(), COLORONCOLOR);
        page.Print(dc.Get(), *mapMode);
    }
    Save(fileName, bitmap.Get(), filterIndex);
}

void SaveImageBitmap(TLayerImage& image, const std::string& fileName, int filterIndex)
{
    if (!image.IsBitmap())
        throw EInvalidGraphic("The image holds no bitmap to save");
    Save(fileName, image.GetBitmapHandle(), filterIndex);
}
