#include "graphics/Gfx32.h"

#include <climits>
#include <cstring>

#include "platform/Clipboard.h"
#include "platform/Filer.h"
#include "platform/ScopeGuards.h"
#include "platform/Streams.h"

SF_IMPLEMENT_CLASS(TThreadPersistent, TPersistent)
SF_IMPLEMENT_CLASS(TCustomMap, TThreadPersistent)
SF_IMPLEMENT_CLASS(TBitmap32, TCustomMap)

namespace {
struct TGfx32State {
    bool Started = false;
    CRITICAL_SECTION GlobalLock{};
    HGDIOBJ StockFont = nullptr;
};

TGfx32State UnitState;

// Holds the global lock that guards lock counts; before start-up there is none to hold.
class TGlobalLockScope {
public:
    TGlobalLockScope()
    {
        if (UnitState.Started)
            EnterCriticalSection(&UnitState.GlobalLock);
    }
    ~TGlobalLockScope()
    {
        if (UnitState.Started)
            LeaveCriticalSection(&UnitState.GlobalLock);
    }
    TGlobalLockScope(const TGlobalLockScope&) = delete;
    TGlobalLockScope& operator=(const TGlobalLockScope&) = delete;
};
}

TColor32 WinColorToColor32(TColor winColor)
{
    uint32_t c = static_cast<uint32_t>(winColor);
    return 0xFF000000u | ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}

TColor32 Color32(TColor color)
{
    return WinColorToColor32(ColorToRGB(color));
}

TColor32 SetColorAlpha(TColor32 color, int newAlpha)
{
    if (newAlpha < 0)
        newAlpha = 0;
    if (newAlpha > 255)
        newAlpha = 255;
    return (color & 0x00FFFFFFu) | (static_cast<uint32_t>(newAlpha) << 24);
}

namespace Gfx32 {
bool IntersectRect(RECT& dest, const RECT& a, const RECT& b)
{
    RECT d{a.left > b.left ? a.left : b.left, a.top > b.top ? a.top : b.top,
           a.right < b.right ? a.right : b.right, a.bottom < b.bottom ? a.bottom : b.bottom};
    if (d.right >= d.left && d.bottom >= d.top) {
        dest = d;
        return true;
    }
    dest = RECT{};
    return false;
}

void InflateRect(RECT& r, int dx, int dy)
{
    r.left -= dx;
    r.top -= dy;
    r.right += dx;
    r.bottom += dy;
}

void OffsetRect(RECT& r, int dx, int dy)
{
    r.left += dx;
    r.right += dx;
    r.top += dy;
    r.bottom += dy;
}
}

void Gfx32Startup()
{
    if (UnitState.Started)
        return;
    Gfx32BlendStartup();
    InitializeCriticalSection(&UnitState.GlobalLock);
    UnitState.StockFont = GetStockObject(SYSTEM_FONT);
    UnitState.Started = true;
}

void Gfx32Shutdown()
{
    if (!UnitState.Started)
        return;
    UnitState.Started = false;
    DeleteCriticalSection(&UnitState.GlobalLock);
    UnitState.StockFont = nullptr;
    Gfx32BlendShutdown();
}

// TThreadPersistent

TThreadPersistent::TThreadPersistent()
{
    InitializeCriticalSection(&FLock);
}

TThreadPersistent::~TThreadPersistent()
{
    DeleteCriticalSection(&FLock);
}

void TThreadPersistent::Changed()
{
    if (FUpdateCount == 0 && FOnChange)
        FOnChange(this);
}

void TThreadPersistent::BeginUpdate()
{
    ++FUpdateCount;
}

void TThreadPersistent::EndUpdate()
{
    Assert(FUpdateCount >= 1, "Unpaired TThreadPersistent.EndUpdate");
    --FUpdateCount;
}

void TThreadPersistent::Lock()
{
    {
        TGlobalLockScope scope;
        ++FLockCount;
    }
    EnterCriticalSection(&FLock);
}

void TThreadPersistent::Unlock()
{
    LeaveCriticalSection(&FLock);
    TGlobalLockScope scope;
    --FLockCount;
}

// TCustomMap

void TCustomMap::Delete()
{
    SetSize(0, 0);
}

bool TCustomMap::Empty() const
{
    return FWidth == 0 || FHeight == 0;
}

void TCustomMap::Resized()
{
    if (FOnResize)
        FOnResize(this);
}

bool TCustomMap::SetSize(int newWidth, int newHeight)
{
    if (newWidth == FWidth && newHeight == FHeight)
        return false;
    FWidth = newWidth;
    FHeight = newHeight;
    return true;
}

// TBitmap32

TBitmap32::TBitmap32() : FFont(New<TFont>())
{
    BITMAPINFOHEADER& h = FBitmapInfo.bmiHeader;
    h.biSize = sizeof(BITMAPINFOHEADER);
    h.biPlanes = 1;
    h.biBitCount = 32;
    h.biCompression = BI_RGB;
    FFont->SetOwnerLock(GetLockHandle());
    FFont->OnChange = TNotifyEvent(this, &TBitmap32::FontChanged);
}

TBitmap32::~TBitmap32()
{
    // No events while going away: observers may already be half destroyed.
    Lock();
    ReleaseHandles();
    FFont.reset();
    Unlock();
}

void TBitmap32::ReleaseFont()
{
    if (FHandle && FFontSelected && UnitState.StockFont)
        SelectObject(FHandle, UnitState.StockFont);
    FFontSelected = false;
}

// The font's handle is about to be replaced: it must not stay selected.
void TBitmap32::FontChanged(TObject*)
{
    ReleaseFont();
}

void TBitmap32::ReleaseHandles()
{
    ReleaseFont();
    if (FHandle)
        DeleteDC(FHandle);
    if (FBitmapHandle)
        DeleteObject(FBitmapHandle);
    FHandle = nullptr;
    FBitmapHandle = nullptr;
    FBits = nullptr;
    FBitmapInfo.bmiHeader.biWidth = 0;
    FBitmapInfo.bmiHeader.biHeight = 0;
    FWidth = 0;
    FHeight = 0;
}

void TBitmap32::AllocHandles(int width, int height)
{
    // The byte count must fit the signed 32-bit offsets of rows and pixels; beyond that the
    // size would wrap (32768 x 32768 x 4 is 0 in 32 bits).
    if (static_cast<int64_t>(width) * height > INT_MAX / 4)
        throw Exception("Can't allocate the DIB handle");
    FBitmapInfo.bmiHeader.biWidth = width;
    FBitmapInfo.bmiHeader.biHeight = -height;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &FBitmapInfo, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap || !bits) {
        if (bitmap)
            DeleteObject(bitmap);
        ReleaseHandles();
        throw Exception("Can't allocate the DIB handle");
    }
    HDC dc = CreateCompatibleDC(nullptr);
    if (!dc) {
        DeleteObject(bitmap);
        ReleaseHandles();
        throw Exception("Can't create compatible DC");
    }
    if (!SelectObject(dc, bitmap)) {
        DeleteDC(dc);
        DeleteObject(bitmap);
        ReleaseHandles();
        throw Exception("Can't select an object into DC");
    }
    FBitmapHandle = bitmap;
    FHandle = dc;
    FBits = static_cast<TColor32*>(bits);
}

bool TBitmap32::SetSize(int newWidth, int newHeight)
{
    if (newWidth < 1)
        newWidth = 0;
    if (newHeight < 1)
        newHeight = 0;
    if (newWidth == FWidth && newHeight == FHeight)
        return false;
    ReleaseHandles();
    if (newWidth >= 1 && newHeight >= 1)
        AllocHandles(newWidth, newHeight);
    FWidth = newWidth;
    FHeight = newHeight;
    Changed();
    Resized();
    return true;
}

void TBitmap32::Delete()
{
    SetSize(0, 0);
}

bool TBitmap32::Empty() const
{
    return !FBitmapHandle || FWidth == 0 || FHeight == 0;
}

TColor32* TBitmap32::ScanLine(int y) const
{
    if (y < 0 || y >= FHeight || !FBits)
        throw EInvalidArgument("Scan line " + std::to_string(y) + " out of range");
    return FBits + static_cast<ptrdiff_t>(y) * FWidth;
}

TColor32* TBitmap32::PixelPtr(int x, int y) const
{
    if (x < 0 || x >= FWidth || y < 0 || y >= FHeight || !FBits)
        throw EInvalidArgument("Pixel (" + std::to_string(x) + ", " + std::to_string(y) + ") out of range");
    return FBits + static_cast<ptrdiff_t>(y) * FWidth + x;
}

void TBitmap32::DrawTo(HDC dc, int x, int y) const
{
    if (Empty())
        return;
    BitBlt(dc, x, y, FWidth, FHeight, FHandle, 0, 0, SRCCOPY);
}

void TBitmap32::ResetAlpha()
{
    if (FBits) {
        GdiFlush();
        uint8_t* p = reinterpret_cast<uint8_t*>(FBits) + 3;
        int count = FWidth * FHeight;
        for (int i = 0; i < count; ++i, p += 4)
            *p = 0xFF;
    }
    Changed();
}

bool TBitmap32::ClipToBitmap(int& x1, int& y1, int& x2, int& y2) const
{
    if (!FBits)
        return false;
    if (x1 < 0)
        x1 = 0;
    if (y1 < 0)
        y1 = 0;
    if (x2 > FWidth)
        x2 = FWidth;
    if (y2 > FHeight)
        y2 = FHeight;
    return x2 > x1 && y2 > y1;
}

void TBitmap32::FillRect(int x1, int y1, int x2, int y2, TColor32 value)
{
    if (ClipToBitmap(x1, y1, x2, y2)) {
        GdiFlush();
        for (int y = y1; y < y2; ++y)
            FillLongword(FBits + static_cast<ptrdiff_t>(y) * FWidth + x1, x2 - x1, value);
    }
    Changed();
}

void TBitmap32::FillRectT(int x1, int y1, int x2, int y2, TColor32 value)
{
    TColor32 alpha = value >> 24;
    if (alpha == 255) {
        FillRect(x1, y1, x2, y2, value);
        return;
    }
    if (alpha != 0 && ClipToBitmap(x1, y1, x2, y2)) {
        GdiFlush();
        for (int y = y1; y < y2; ++y)
            CombineLineInPlace(value, FBits + static_cast<ptrdiff_t>(y) * FWidth + x1, x2 - x1, alpha);
        EMMS();
    }
    Changed();
}

void TBitmap32::FillRectSCoords(int x1, int y1, int x2, int y2, TColor32 value)
{
    if (x2 <= x1 || y2 <= y1 || x1 >= FWidth || y1 >= FHeight || x2 < 1 || y2 < 1)
        return;
    ClipToBitmap(x1, y1, x2, y2);
    FillRectT(x1, y1, x2, y2, value);
}

void TBitmap32::FillRectS(const RECT& r, TColor32 value)
{
    FillRectSCoords(r.left, r.top, r.right, r.bottom, value);
}

void TBitmap32::SetDrawMode(TDrawMode value)
{
    if (value == FDrawMode)
        return;
    FDrawMode = value;
    Changed();
}

void TBitmap32::SetMasterAlpha(int value)
{
    if (value == FMasterAlpha)
        return;
    FMasterAlpha = value;
    Changed();
}

void TBitmap32::SetStretchFilter(TStretchFilter value)
{
    if (value == FStretchFilter)
        return;
    FStretchFilter = value;
    Changed();
}

void TBitmap32::Assign(TPersistent* source)
{
    {
        TUpdateScope update(this);
        if (!source) {
            SetSize(0, 0);
        } else if (Is<TBitmap32>(source)) {
            TBitmap32* src = static_cast<TBitmap32*>(source);
            SetSize(src->FWidth, src->FHeight);
            if (!Empty() && src->FBits) {
                GdiFlush();
                std::memcpy(FBits, src->FBits, static_cast<size_t>(FWidth) * FHeight * 4);
            }
            FDrawMode = src->FDrawMode;
            FMasterAlpha = src->FMasterAlpha;
            FOuterColor = src->FOuterColor;
            FStretchFilter = src->FStretchFilter;
        } else if (Is<TBitmap>(source)) {
            AssignFromBitmap(static_cast<TBitmap*>(source));
        } else if (Is<TGraphic>(source)) {
            AssignFromGraphic(static_cast<TGraphic*>(source));
        } else if (Is<TPicture>(source)) {
            TGraphic* graphic = static_cast<TPicture*>(source)->GetGraphic();
            if (graphic)
                Assign(graphic);
            else
                SetSize(0, 0);
        } else if (Is<TClipboard>(source)) {
            std::unique_ptr<TPicture, TObjectFree> picture(New<TPicture>());
            picture->Assign(source);
            Assign(picture.get());
        } else {
            TCustomMap::Assign(source);
        }
    }
    Changed();
}

void TBitmap32::AssignFromBitmap(TBitmap* source)
{
    SetSize(source->GetWidth(), source->GetHeight());
    if (Empty() || source->GetEmpty())
        return;
    BitBlt(FHandle, 0, 0, FWidth, FHeight, source->GetCanvas()->GetHandle(), 0, 0, SRCCOPY);
    if (source->GetPixelFormat() != TPixelFormat::pf32bit)
        ResetAlpha();
}

void TBitmap32::AssignFromGraphic(TGraphic* source)
{
    SetSize(source->GetWidth(), source->GetHeight());
    if (Empty())
        return;
    std::unique_ptr<TCanvas, TObjectFree> canvas(New<TCanvas>());
    canvas->SetHandle(FHandle);
    {
        TScopeExit lent([&] { canvas->SetHandle(nullptr); });
        canvas->Draw(0, 0, source);
    }
    ResetAlpha();
}

void TBitmap32::AssignTo(TPersistent* dest)
{
    if (Is<TPicture>(dest)) {
        AssignToBitmap(static_cast<TPicture*>(dest)->GetBitmap());
        return;
    }
    if (Is<TBitmap>(dest)) {
        AssignToBitmap(static_cast<TBitmap*>(dest));
        return;
    }
    if (Is<TClipboard>(dest)) {
        std::unique_ptr<TBitmap, TObjectFree> bitmap(New<TBitmap>());
        AssignToBitmap(bitmap.get());
        dest->Assign(bitmap.get());
        return;
    }
    TCustomMap::AssignTo(dest);
}

void TBitmap32::AssignToBitmap(TBitmap* dest)
{
    dest->SetPixelFormat(TPixelFormat::pf32bit);
    dest->SetSize(FWidth, FHeight);
    if (Empty())
        return;
    DrawTo(dest->GetCanvas()->GetHandle(), 0, 0);
    GdiFlush();
}

bool TBitmap32::SameImage(const TBitmap32& other) const
{
    if (Empty() || other.Empty())
        return Empty() && other.Empty();
    if (ClassType() != other.ClassType() || FWidth != other.FWidth || FHeight != other.FHeight)
        return false;
    GdiFlush();
    return std::memcmp(FBits, other.FBits, static_cast<size_t>(FWidth) * FHeight * 4) == 0;
}

void TBitmap32::DefineProperties(TFiler* filer)
{
    TPersistent* ancestor = filer->GetAncestor();
    bool hasData = !Empty();
    if (Is<TBitmap32>(ancestor))
        hasData = !SameImage(*static_cast<TBitmap32*>(ancestor));
    else if (ancestor)
        hasData = true;
    filer->DefineBinaryProperty("Data", [this](TStream* s) { ReadData(s); }, [this](TStream* s) { WriteData(s); },
                                hasData);
}

void TBitmap32::ReadData(TStream* stream)
{
    int32_t size[2] = {0, 0};
    stream->ReadBuffer(size, sizeof(size));
    int32_t w = size[0];
    int32_t h = size[1];
    if (w < 0 || h < 0)
        throw EReadError("Invalid bitmap data: negative size");
    int64_t pixels = static_cast<int64_t>(w) * h;
    if (pixels > INT_MAX / 4)
        throw EReadError("Invalid bitmap data: " + std::to_string(w) + " x " + std::to_string(h) + " is too large");
    int64_t bytes = pixels * 4;
    if (bytes > stream->GetSize() - stream->GetPosition())
        throw EReadError("Invalid bitmap data: the pixels are truncated");
    SetSize(w, h);
    if (bytes > 0) {
        try {
            GdiFlush();
            stream->ReadBuffer(FBits, static_cast<int32_t>(bytes));
        } catch (...) {
            SetSize(0, 0);
            throw;
        }
    }
    Changed();
}

void TBitmap32::WriteData(TStream* stream)
{
    int32_t size[2] = {FWidth, FHeight};
    stream->WriteBuffer(size, sizeof(size));
    if (Empty())
        return;
    GdiFlush();
    stream->WriteBuffer(FBits, FWidth * FHeight * 4);
}
