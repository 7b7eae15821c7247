#include "app/PageExport.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "app/Rasterize.h"
#include "graphics/MapMode.h"
#include "platform/Exceptions.h"
#include "platform/ScopeGuards.h"
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

void CheckSaved(int32_t result, const std::string& fileName)
{
    if (result != IL_SUCCESS)
        throw EInvalidGraphic("Cannot save the picture \"" + fileName + "\": " + ILResultText(result));
}

int64_t Bytes24(SIZE size)
{
    const int64_t stride = (int64_t(size.cx) * 24 + 31) / 32 * 4;
    return stride * size.cy;
}

THiMetric* NewExportMapMode(int dpi)
{
    THiMetric* mapMode = New<THiMetric>();
    mapMode->SetDPI(POINT{dpi, dpi});
    return mapMode;
}

// The page's printable area drawn into an imaging-library bitmap, a band of rows at a time.
class TPageRenderer {
public:
    TPageRenderer(TSheetfoldPage& page, int dpi, TILBitmapGuard& bitmap) : FPage(page)
    {
        if (dpi <= 0)
            throw EInvalidGraphic("The export resolution must be above 0 dpi");
        FSize = ExportPixelSize(page, dpi);
        if (FSize.cx <= 0 || FSize.cy <= 0)
            throw EInvalidGraphic("The page has no printable area to export");
        if (Bytes24(FSize) > MaxRasterBytes)
            throw EInvalidGraphic("The page is too large to export at " + std::to_string(dpi) + " dpi (" +
                                  std::to_string(FSize.cx) + " x " + std::to_string(FSize.cy) + " pixels)");
        FMapMode.reset(NewExportMapMode(dpi));
        const RECT printable = page.GetPrintableRect();
        const POINT corner = FMapMode->LPtoDP(POINT{printable.left, printable.top});
        FMapMode->SetOrigin(POINT{-corner.x, -corner.y});
        if (page.GetColor() != 0xFFFFFF)
            page.SetColor(0xFFFFFF);

        IL_FreeBitmap(&bitmap.Get());
        const int32_t made = IL_CreateBitmap(&bitmap.Get(), IL_MEMORY_OWNED, FSize.cx, FSize.cy, 24, 1, nullptr,
                                             IL_TOP_DOWN, nullptr, 0);
        if (made != IL_SUCCESS)
            throw EInvalidGraphic("Cannot make the exported picture of " + std::to_string(FSize.cx) + " x " +
                                  std::to_string(FSize.cy) + " pixels: " + ILResultText(made));
        bitmap.Get().XResolution = dpi;
        bitmap.Get().YResolution = dpi;
        FDC = std::make_unique<TILImageDC>(bitmap.Get());
        if (!FDC->Get())
            throw EInvalidGraphic("Cannot draw on the exported picture: not enough memory");
    }

    LONG GetHeight() const { return FSize.cy; }

    // Rows top .. bottom - 1: white, then the elements. Nothing the elements do with clipping
    // reaches rows outside the band, which may be being read already.
    void RenderRows(LONG top, LONG bottom)
    {
        HDC dc = FDC->Get();
        {
            TSavedDC saved(dc);
            IntersectClipRect(dc, 0, top, FSize.cx, bottom);
            SetMetaRgn(dc);
            const RECT rows{0, top, FSize.cx, bottom};
            FillRect(dc, &rows, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
            SetStretchBltMode(dc, COLORONCOLOR);
            FPage.Print(dc, *FMapMode);
        }
        GdiFlush();
    }

    // Bands of about four megabytes: small enough that encoding starts early, large enough
    // that each element is drawn only a few dozen times.
    LONG BandHeight() const
    {
        const int64_t stride = Bytes24(SIZE{FSize.cx, 1});
        return static_cast<LONG>(std::max<int64_t>(64, (int64_t(4) << 20) / stride));
    }

private:
    TSheetfoldPage& FPage;
    SIZE FSize{};
    std::unique_ptr<THiMetric, TObjectFree> FMapMode;
    std::unique_ptr<TILImageDC> FDC;
};

// The rows that rendering has finished, handed from the rendering thread to the saving one.
class TRowGate {
public:
    // The saving thread waits here; false when rendering stopped before the rows were drawn.
    bool Wait(int32_t rows)
    {
        std::unique_lock<std::mutex> lock(FLock);
        FChanged.wait(lock, [&] { return FDone >= rows || FStopped; });
        return FDone >= rows;
    }
    void Publish(int32_t rows)
    {
        {
            std::lock_guard<std::mutex> lock(FLock);
            FDone = rows;
        }
        FChanged.notify_all();
    }
    void Stop()
    {
        {
            std::lock_guard<std::mutex> lock(FLock);
            FStopped = true;
        }
        FChanged.notify_all();
    }

    static int32_t __stdcall RowsReady(int32_t rows, void* data)
    {
        try {
            return static_cast<TRowGate*>(data)->Wait(rows) ? 1 : 0;
        } catch (...) {
            return 0;
        }
    }

private:
    std::mutex FLock;
    std::condition_variable FChanged;
    int32_t FDone = 0;
    bool FStopped = false;
};

// Saves on a thread of its own while the caller renders; a save that is left unfinished (the
// rendering failed) is stopped and waited for.
class TSaveThread {
public:
    TSaveThread(TRowGate& gate, std::function<int32_t()> save) : FGate(gate)
    {
        FThread = std::thread([this, save = std::move(save)] {
            try {
                FResult = save();
            } catch (...) {
                FResult = IL_FAILURE;
            }
            FFinished = true;
        });
    }
    ~TSaveThread()
    {
        FGate.Stop();
        if (FThread.joinable())
            FThread.join();
    }
    TSaveThread(const TSaveThread&) = delete;
    TSaveThread& operator=(const TSaveThread&) = delete;

    // A save that ended early (it could not create the file) needs no more rows.
    bool GetFinished() const { return FFinished; }
    int32_t Join()
    {
        FThread.join();
        return FResult;
    }

private:
    TRowGate& FGate;
    std::thread FThread;
    int32_t FResult = IL_FAILURE;
    std::atomic<bool> FFinished{false};
};

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

void RenderPage(TSheetfoldPage& page, int dpi, TILBitmapGuard& bitmap)
{
    TPageRenderer renderer(page, dpi, bitmap);
    renderer.RenderRows(0, renderer.GetHeight());
}

// The encoder works through the rows while the page is still being drawn below them: the
// export then takes little longer than encoding alone.
void ExportPage(TSheetfoldPage& page, int dpi, const std::string& fileName, int filterIndex)
{
    const TPictureFormat format = PictureFormatOf(filterIndex);
    const std::string target = ForceExtension(fileName, format.Extension);
    TILBitmapGuard bitmap;
    TPageRenderer renderer(page, dpi, bitmap);
    TRowGate gate;
    int32_t result = IL_FAILURE;
    {
        TSaveThread saver(gate, [&] {
            return IL_SaveBitmapRows(target.c_str(), &bitmap.Get(), format.Code, 24, format.Quality, 0,
                                     &TRowGate::RowsReady, &gate);
        });
        const LONG band = renderer.BandHeight();
        for (LONG top = 0; top < renderer.GetHeight() && !saver.GetFinished(); top += band) {
            const LONG bottom = std::min(top + band, renderer.GetHeight());
            renderer.RenderRows(top, bottom);
            gate.Publish(bottom);
        }
        result = saver.Join();
    }
    CheckSaved(result, target);
}

void SaveImageBitmap(TLayerImage& image, const std::string& fileName, int filterIndex)
{
    if (!image.IsBitmap())
        throw EInvalidGraphic("The image holds no bitmap to save");
    const TPictureFormat format = PictureFormatOf(filterIndex);
    const std::string target = ForceExtension(fileName, format.Extension);
    CheckSaved(IL_SaveBitmap(target.c_str(), image.GetBitmapHandle(), format.Code, 24, format.Quality, 0), target);
}
