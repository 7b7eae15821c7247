#include "document/LayerImage.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <utility>

#include "graphics/ILHandles.h"
#include "graphics/ILUtils.h"
#include "graphics/SfTypes.h"
#include "platform/Clipboard.h"
#include "platform/Geometry.h"
#include "platform/ImagingCodec.h"
#include "platform/MetafileCheck.h"
#include "platform/ScopeGuards.h"
#include "platform/Streams.h"
#include "platform/SysUtils.h"

SF_IMPLEMENT_ABSTRACT(TLayerImage, TLayerElement)

namespace {

int ClampToInt(int64_t v)
{
    return static_cast<int>(std::clamp<int64_t>(v, INT_MIN, INT_MAX));
}

// a * b / c rounded half away from zero, like MulDiv, without its 32-bit overflow; c is not 0.
int64_t Scale(int64_t a, int64_t b, int64_t c)
{
    int64_t n = a * b;
    int64_t half = (c < 0 ? -c : c) / 2;
    bool negative = (n < 0) != (c < 0);
    int64_t q = ((n < 0 ? -n : n) + half) / (c < 0 ? -c : c);
    return negative ? -q : q;
}

bool g_EmbedData = false;

// The frame that stands in for a picture whose file is missing.
constexpr COLORREF MissingFrameColor = RGB(128, 128, 128);

// The device context drawing into the image, or the reason there is none.
HDC DrawingDC(const TILImageDC& dc)
{
    if (!dc.Get())
        throw EOutOfResources("Cannot draw into the image");
    return dc.Get();
}

// A new 24-bit bitmap filled white; raises with the library's result when it cannot be made.
void CreateWhiteBitmap(TILBitmapGuard& guard, SIZE size)
{
    int32_t result = IL_CreateBitmap(&guard.Get(), IL_MEMORY_OWNED, size.cx, size.cy, 24, 1, nullptr, IL_TOP_DOWN,
                                     nullptr, 0);
    if (result != IL_SUCCESS)
        throw EOutOfMemory("Cannot create an image of " + std::to_string(size.cx) + " x " + std::to_string(size.cy) +
                           " pixels (imaging library error " + std::to_string(result) + ")");
    std::memset(guard.Get().Pixels, 0xFF, guard.Get().Size);
    IL_BitmapChanged(&guard.Get());
}

void PlayInto(TILBitmapHandle& bitmap, HENHMETAFILE metafile)
{
    TILImageDC dc(bitmap);
    RECT whole{0, 0, bitmap.Width, bitmap.Height};
    PlayEnhMetafileBounded(DrawingDC(dc), metafile, whole);
}

int32_t __stdcall GrowBuffer(uint32_t sizeWanted, void** address, uint32_t* size, void* data)
{
    try {
        auto* buffer = static_cast<std::string*>(data);
        ResizePayloadBuffer(*buffer, sizeWanted);
        *address = buffer->data();
        *size = sizeWanted;
        return 1;
    } catch (...) {
        *address = nullptr;
        *size = 0;
        return 0;
    }
}

} // namespace

// ImageGeometry

namespace ImageGeometry {

bool CropClip(RECT bounds, RECT clip, SIZE image, RECT target, RECT& newClip, RECT& newBounds)
{
    const int64_t ow = RectWidth(bounds), oh = RectHeight(bounds);
    const int64_t cw = RectWidth(clip), ch = RectHeight(clip);
    if (ow <= 0 || oh <= 0 || cw <= 0 || ch <= 0 || image.cx <= 0 || image.cy <= 0)
        return false;
    // Element-relative logical units to image pixels at the element's scale.
    auto toX = [&](int64_t x) { return Scale(x - bounds.left, cw, ow) + clip.left; };
    auto toY = [&](int64_t y) { return Scale(y - bounds.top, ch, oh) + clip.top; };
    int64_t left = std::max<int64_t>(toX(target.left), 0);
    int64_t top = std::max<int64_t>(toY(target.top), 0);
    int64_t right = std::min<int64_t>(toX(target.right), image.cx);
    int64_t bottom = std::min<int64_t>(toY(target.bottom), image.cy);
    right = left + std::clamp<int64_t>(right - left, 1, image.cx);
    bottom = top + std::clamp<int64_t>(bottom - top, 1, image.cy);
    if (right > image.cx) {
        left -= right - image.cx;
        right = image.cx;
    }
    if (bottom > image.cy) {
        top -= bottom - image.cy;
        bottom = image.cy;
    }
    newClip = RECT{static_cast<LONG>(left), static_cast<LONG>(top), static_cast<LONG>(right), static_cast<LONG>(bottom)};
    auto backX = [&](int64_t x) { return ClampToInt(Scale(x - clip.left, ow, cw) + bounds.left); };
    auto backY = [&](int64_t y) { return ClampToInt(Scale(y - clip.top, oh, ch) + bounds.top); };
    newBounds = RECT{backX(left), backY(top), backX(right), backY(bottom)};
    return true;
}

void KeepRatio(const RECT& clip, int& width, int& height)
{
    const int cw = RectWidth(clip), ch = RectHeight(clip);
    if (cw == 0 || ch == 0)
        return;
    if (static_cast<double>(height) / ch <= static_cast<double>(width) / cw)
        width = ClampToInt(Scale(cw, height, ch));
    else
        height = ClampToInt(Scale(ch, width, cw));
}

RECT PictureRect(const RECT& clip, SIZE image, const RECT& target)
{
    const int64_t cw = RectWidth(clip), ch = RectHeight(clip);
    if (cw == 0 || ch == 0)
        return target;
    const int64_t tw = RectWidth(target), th = RectHeight(target);
    auto x = [&](int64_t px) { return ClampToInt(target.left + Scale(px - clip.left, tw, cw)); };
    auto y = [&](int64_t py) { return ClampToInt(target.top + Scale(py - clip.top, th, ch)); };
    return RECT{x(0), y(0), x(image.cx), y(image.cy)};
}

RECT RotateClip180(const RECT& c, SIZE image)
{
    return RECT{image.cx - c.right, image.cy - c.bottom, image.cx - c.left, image.cy - c.top};
}

RECT RotateClipLeft(const RECT& c, SIZE image)
{
    return RECT{c.top, image.cx - c.right, c.bottom, image.cx - c.left};
}

RECT RotateClipRight(const RECT& c, SIZE image)
{
    return RECT{image.cy - c.bottom, c.left, image.cy - c.top, c.right};
}

POINT MetafileResolution(SIZE pixels, SIZE hiMetric)
{
    // MulDiv gives -1 for a zero divisor: an unknown size must read as 0, not as -1 dpi.
    auto dpi = [](int px, int hm) { return hm > 0 && px > 0 ? std::max(MulDiv(px, 2540, hm), 0) : 0; };
    return POINT{dpi(pixels.cx, hiMetric.cx), dpi(pixels.cy, hiMetric.cy)};
}

bool RasterSize(SIZE elementSize, int dpi, const RECT& clip, SIZE image, SIZE& bitmapSize, RECT& newClip)
{
    const int64_t cw = RectWidth(clip), ch = RectHeight(clip);
    if (dpi <= 0 || cw <= 0 || ch <= 0 || image.cx <= 0 || image.cy <= 0)
        return false;
    const int64_t dw = Scale(dpi, elementSize.cx, 2540);
    const int64_t dh = Scale(dpi, elementSize.cy, 2540);
    if (dw <= 0 || dh <= 0)
        return false;
    // The scale that fits the clip into the element's pixels with its proportions.
    int64_t num = dh, den = ch;
    if (static_cast<long double>(dh) / ch > static_cast<long double>(dw) / cw) {
        num = dw;
        den = cw;
    }
    const int64_t w = Scale(image.cx, num, den);
    const int64_t h = Scale(image.cy, num, den);
    if (ImagingCodec::CheckImageSize(w, h) != IL_SUCCESS)
        return false;
    RECT c{ClampToInt(Scale(clip.left, num, den)), ClampToInt(Scale(clip.top, num, den)),
           ClampToInt(Scale(clip.right, num, den)), ClampToInt(Scale(clip.bottom, num, den))};
    // A clip that shrank to nothing still shows one pixel.
    c.right = std::max(c.right, c.left + 1);
    c.bottom = std::max(c.bottom, c.top + 1);
    c.right = std::min<LONG>(c.right, static_cast<LONG>(w));
    c.bottom = std::min<LONG>(c.bottom, static_cast<LONG>(h));
    c.left = std::min(c.left, c.right - 1);
    c.top = std::min(c.top, c.bottom - 1);
    bitmapSize = SIZE{static_cast<LONG>(w), static_cast<LONG>(h)};
    newClip = c;
    return true;
}

} // namespace ImageGeometry

// Chunk payloads

bool GetLayerImageEmbedData()
{
    return g_EmbedData;
}

bool SetLayerImageEmbedData(bool value)
{
    return std::exchange(g_EmbedData, value);
}

std::string EncodeBitmapData(TILBitmapHandle& bitmap)
{
    std::string buffer;
    EncodeBitmapData(bitmap, buffer);
    return buffer;
}

void EncodeBitmapData(TILBitmapHandle& bitmap, std::string& buffer)
{
    uint32_t size = 0;
    int32_t result = IL_SaveBitmapBuffer(nullptr, 0, &size, &bitmap, IL_FILE_BMP, bitmap.BitsPerPixel, 0, &GrowBuffer,
                                         &buffer, 0);
    if (result != IL_SUCCESS)
        throw EInvalidGraphic("Error IL_SaveBitmapMemory: " + std::to_string(result));
    if (buffer.empty() || size == 0 || size > buffer.size())
        throw EInvalidGraphic("Error IL_SaveBitmapMemory: Bad HGLOBAL or NULL size");
    buffer.resize(size);
}

bool ReadPlainBitmapData(TXDataStream& stream, int32_t size, TILBitmapHandle& bitmap)
{
    constexpr int32_t HeaderSize = 14 + 40;
    if (size < HeaderSize)
        return false;
    uint8_t h[HeaderSize];
    const int64_t start = stream.GetPosition();
    stream.ReadBuffer(h, HeaderSize);
    auto le32 = [&h](int at) { return uint32_t(h[at]) | uint32_t(h[at + 1]) << 8 | uint32_t(h[at + 2]) << 16 | uint32_t(h[at + 3]) << 24; };
    auto le16 = [&h](int at) { return uint16_t(h[at] | h[at + 1] << 8); };
    const auto width = int32_t(le32(18));
    const auto height = int32_t(le32(22));
    const bool plain = h[0] == 'B' && h[1] == 'M' && le32(10) == uint32_t(HeaderSize) && le32(14) == 40 && width > 0 &&
                       height > 0 && le16(28) == 24 && le32(30) == BI_RGB;
    const uint64_t stride = (uint64_t(width) * 24 + 31) / 32 * 4;
    if (!plain || uint64_t(HeaderSize) + stride * uint64_t(height) != uint64_t(size) ||
        IL_CreateBitmap(&bitmap, IL_MEMORY_OWNED, width, height, 24, 0, nullptr, IL_BOTTOM_UP, nullptr, 0) != IL_SUCCESS) {
        stream.Seek(start, TSeekOrigin::soBeginning);
        return false;
    }
    stream.ReadBuffer(bitmap.Pixels, size - HeaderSize);
    bitmap.XResolution = ImagingCodec::MetreToInch(le32(38));
    bitmap.YResolution = ImagingCodec::MetreToInch(le32(42));
    return true;
}

int32_t DecodeBitmapData(const std::string& payload, TILBitmapHandle& bitmap)
{
    if (payload.empty())
        return IL_ERROR_FILE_FORMAT;
    TILFileInfo info;
    info.StructSize = sizeof(info);
    const auto size = static_cast<uint32_t>(payload.size());
    int32_t result = IL_FileInfoMemory(payload.data(), &info, size, sizeof(info), 0);
    if (result != IL_SUCCESS)
        return result;
    return IL_LoadBitmapMemory(payload.data(), &bitmap, info.BitsPerPixel, 1, size, nullptr, nullptr);
}

std::string EncodeMetafileData(TMetafile* metafile)
{
    TStringStream stream;
    metafile->SaveToStream(&stream);
    return stream.GetDataString();
}

std::unique_ptr<TMetafile, TObjectFree> DecodeMetafileData(const std::string& payload)
{
    TStringStream stream(payload);
    std::unique_ptr<TMetafile, TObjectFree> metafile(New<TMetafile>());
    metafile->LoadFromStream(&stream);
    return metafile;
}

// TLayerImage

TLayerImage::TLayerImage(TLayerComposition* owner) : TLayerElement(owner), FMapMode(New<THiMetric>())
{
    FMapMode->SetScreen();
}

TLayerImage::~TLayerImage()
{
    FreeImage();
}

void TLayerImage::FreeImage()
{
    if (FKind == likBitmap)
        IL_FreeBitmap(&FBitmap);
    FBitmap = TILBitmapHandle{};
    FMetafile.reset();
    FKind = likEmpty;
    FLoadResult = IL_SUCCESS;
}

void TLayerImage::SetPictureBounds()
{
    POINT size = FMapMode->DPtoLPSize(POINT{FImageWidth, FImageHeight});
    SetBounds(GetLeft(), GetTop(), size.x, size.y);
}

void TLayerImage::AdoptBitmap(const TILBitmapHandle& bitmap)
{
    FBitmap = bitmap;
    FMapMode->SetScreen();
    FImageWidth = bitmap.Width;
    FImageHeight = bitmap.Height;
    FClipRect = RECT{0, 0, FImageWidth, FImageHeight};
    FResolution = POINT{bitmap.XResolution, bitmap.YResolution};
    if (FResolution.x <= 0 || FResolution.y <= 0)
        FResolution = FMapMode->PixelsPerInch();
    else
        FMapMode->SetDPI(FResolution);
    FKind = likBitmap;
    SetPictureBounds();
}

void TLayerImage::AdoptMetafile(std::unique_ptr<TMetafile, TObjectFree> metafile, bool resolutionFromFrame)
{
    FMetafile = std::move(metafile);
    FImageWidth = FMetafile->GetWidth();
    FImageHeight = FMetafile->GetHeight();
    FMapMode->SetScreen();
    FResolution = POINT{0, 0};
    if (resolutionFromFrame)
        FResolution = ImageGeometry::MetafileResolution(SIZE{FImageWidth, FImageHeight},
                                                        SIZE{FMetafile->GetMMWidth(), FMetafile->GetMMHeight()});
    if (FResolution.x <= 0 || FResolution.y <= 0)
        FResolution = FMapMode->PixelsPerInch();
    else
        FMapMode->SetDPI(FResolution);
    FClipRect = RECT{0, 0, FImageWidth, FImageHeight};
    FKind = likMetafile;
    SetPictureBounds();
}

void TLayerImage::LoadFromFile(const std::string& fileName)
{
    if (!FileExists(fileName))
        return;
    FreeImage();
    const std::string ext = UpperCase(ExtractFileExt(fileName));
    if (ext == ".WMF" || ext == ".EMF") {
        std::unique_ptr<TMetafile, TObjectFree> metafile(New<TMetafile>());
        metafile->LoadFromFile(fileName);
        AdoptMetafile(std::move(metafile), true);
        FSourceFile = fileName;
        return;
    }
    TILBitmapGuard loaded;
    FLoadResult = LoadImageFile(loaded.Get(), fileName);
    if (FLoadResult != IL_SUCCESS)
        return;
    AdoptBitmap(loaded.Release());
    FSourceFile = fileName;
}

void TLayerImage::SetHeight(int value)
{
    if (!FKeepRatio || GetHeight() == 0) {
        TLayerElement::SetHeight(value);
        return;
    }
    SetBounds(GetLeft(), GetTop(), MulDiv(GetWidth(), value, GetHeight()), value);
}

void TLayerImage::SetWidth(int value)
{
    if (!FKeepRatio || GetWidth() == 0) {
        TLayerElement::SetWidth(value);
        return;
    }
    SetBounds(GetLeft(), GetTop(), value, MulDiv(GetHeight(), value, GetWidth()));
}

void TLayerImage::SetKeepRatio(bool value)
{
    FKeepRatio = value;
    SetRect(GetBounds(), POINT{0, 0}, lpmBottomRight);
}

void TLayerImage::SetRect(const RECT& r, const POINT&, int mode)
{
    if (mode >= lpmLeft && mode <= lpmBottom)
        PlaceCrop(r);
    else
        PlaceKeepingRatio(r, mode);
}

void TLayerImage::PlaceCrop(const RECT& r)
{
    if (GetAlign() & (laFitWidth | laFitHeight))
        return;
    RECT clip, bounds;
    if (!ImageGeometry::CropClip(GetBounds(), FClipRect, SIZE{FImageWidth, FImageHeight}, r, clip, bounds))
        return;
    const bool clipChanged = !SfTypes::EqualRect(clip, FClipRect);
    const RECT old = GetBounds();
    FClipRect = clip;
    SetRect(bounds, POINT{0, 0}, lpmPlain);
    // A clip that moved by less than a logical unit leaves the bounds alone but not the picture.
    if (clipChanged && SfTypes::EqualRect(old, GetBounds()))
        Changed();
}

void TLayerImage::PlaceKeepingRatio(const RECT& r, int mode)
{
    RECT ref{};
    const bool hasRef = GetAlignReference(ref);
    const TLayerAlignFlags align = hasRef ? GetAlign() : 0;
    int64_t left = r.left, top = r.top;
    int width = ClampToInt(int64_t{r.right} - r.left);
    int height = ClampToInt(int64_t{r.bottom} - r.top);
    if (align & laFitWidth)
        width = ClampToInt(int64_t{ref.right} - ref.left);
    if (align & laFitHeight)
        height = ClampToInt(int64_t{ref.bottom} - ref.top);
    // A picture whose file is missing has only its stored size: nothing to keep the ratio of.
    if (FKeepRatio && !IsSourceMissing())
        ImageGeometry::KeepRatio(FClipRect, width, height);
    if (mode == lpmTopLeft || mode == lpmBottomLeft)
        left = int64_t{r.right} - width;
    if (mode == lpmTopLeft || mode == lpmTopRight)
        top = int64_t{r.bottom} - height;
    const int64_t refWidth = int64_t{ref.right} - ref.left;
    const int64_t refHeight = int64_t{ref.bottom} - ref.top;
    if (align & laCenterHorz)
        left = ref.left + (refWidth - width) / 2;
    if (align & laCenterVert)
        top = ref.top + (refHeight - height) / 2;
    if (align & laBelow)
        top = ref.bottom;
    if (align & laAbove)
        top = ref.top - int64_t{height};
    PlaceAt(RECT{ClampToInt(left), ClampToInt(top), ClampToInt(left + width), ClampToInt(top + height)});
}

void TLayerImage::DrawPicture(HDC dc, const RECT& target, const RECT& clip, bool print)
{
    TClipGuard guard(dc, clip);
    const RECT picture = ImageGeometry::PictureRect(FClipRect, SIZE{FImageWidth, FImageHeight}, target);
    if (FKind == likMetafile) {
        PlayEnhMetafileBounded(dc, FMetafile->GetHandle(), picture);
        return;
    }
    if (print) {
        IL_PrintBitmapFast(dc, &FBitmap, picture.left, picture.top, RectWidth(picture), RectHeight(picture), 0);
        return;
    }
    RECT source = FClipRect;
    if (FBitmap.ViewPerspective != IL_TOP_DOWN)
        IL_RectToBitmap(&FBitmap, IL_TOP_DOWN, &source);
    HPALETTE palette = IL_CreatePaintPalette(dc, &FBitmap);
    HPALETTE oldPalette = nullptr;
    if (palette) {
        oldPalette = SelectPalette(dc, palette, FALSE);
        RealizePalette(dc);
    }
    IL_PaintDC(dc, &FBitmap, &source, nullptr, &target, &clip, SRCCOPY);
    if (palette) {
        SelectPalette(dc, oldPalette, FALSE);
        DeleteObject(palette);
    }
}

void TLayerImage::Draw(TLayerCanvas* canvas, const RECT&, const RECT& deviceRect, const RECT& visibleRect)
{
    if (IsSourceMissing()) {
        DrawMissingFrame(canvas->GetMainBuffer()->GetHandle(), deviceRect);
        return;
    }
    if (IsEmpty())
        return;
    DrawPicture(canvas->GetMainBuffer()->GetHandle(), deviceRect, visibleRect, false);
}

void TLayerImage::DrawMissingFrame(HDC dc, const RECT& r)
{
    // Where the picture would be, so that the user sees the element and can select it.
    TGdiObject<HPEN> pen(CreatePen(PS_SOLID, 1, MissingFrameColor));
    TSelectGuard selectPen(dc, pen.Get());
    TSelectGuard selectBrush(dc, GetStockObject(NULL_BRUSH));
    Rectangle(dc, r.left, r.top, std::max<LONG>(r.right, r.left + 1), std::max<LONG>(r.bottom, r.top + 1));
}

void TLayerImage::Print(HDC dc, const TMapMode& mapMode)
{
    if (IsEmpty())
        return;
    const RECT r = mapMode.LPtoDPRect(GetBounds());
    DrawPicture(dc, r, r, true);
}

void TLayerImage::Turn(int angle, const RECT& newClip, bool quarter)
{
    if (FKind != likBitmap)
        return;
    Changed();
    int32_t result = IL_RotateBitmap(&FBitmap, angle, 1, RGB(255, 255, 255));
    if (result != IL_SUCCESS)
        throw EInvalidOperation("Cannot turn the image (imaging library error " + std::to_string(result) + ")");
    // The turned pixels are no longer what the file holds: saved by name only, the turn and the
    // clip in turned coordinates would be lost.
    FSourceFile.clear();
    FClipRect = newClip;
    if (quarter) {
        std::swap(FImageWidth, FImageHeight);
        std::swap(FResolution.x, FResolution.y);
        // Left and top stay; the turned size is stored as it is, then the captions follow.
        PlaceAt(RECT{GetLeft(), GetTop(), GetLeft() + GetHeight(), GetTop() + GetWidth()});
    }
    Changed();
}

void TLayerImage::Rotate180()
{
    Turn(18000, ImageGeometry::RotateClip180(FClipRect, SIZE{FImageWidth, FImageHeight}), false);
}

void TLayerImage::RotateLeft()
{
    Turn(-9000, ImageGeometry::RotateClipLeft(FClipRect, SIZE{FImageWidth, FImageHeight}), true);
}

void TLayerImage::RotateRight()
{
    Turn(9000, ImageGeometry::RotateClipRight(FClipRect, SIZE{FImageWidth, FImageHeight}), true);
}

void TLayerImage::SetMetafileFromClipboard()
{
    std::unique_ptr<TMetafile, TObjectFree> metafile(New<TMetafile>());
    metafile->Assign(Clipboard());
    FreeImage();
    FSourceFile.clear();
    AdoptMetafile(std::move(metafile), false);
}

void TLayerImage::PasteFromClipboard()
{
    if (!IL_ClipboardReady())
        return;
    FreeImage();
    FSourceFile.clear();
    const bool bitmap = IsClipboardFormatAvailable(CF_BITMAP) || IsClipboardFormatAvailable(CF_DIB);
    if (bitmap || !IsClipboardFormatAvailable(CF_ENHMETAFILE)) {
        TILBitmapGuard pasted;
        FLoadResult = IL_CopyFromClipboard(nullptr, &pasted.Get());
        if (FLoadResult == IL_SUCCESS)
            AdoptBitmap(pasted.Release());
        return;
    }
    SetMetafileFromClipboard();
    TILBitmapGuard rendered;
    try {
        CreateWhiteBitmap(rendered, SIZE{FImageWidth, FImageHeight});
        PlayInto(rendered.Get(), FMetafile->GetHandle());
    } catch (const Exception&) {
        // The copy failed: the element is left empty, as for a bitmap that cannot be copied.
        FreeImage();
        throw;
    }
    FMetafile.reset();
    FBitmap = rendered.Release();
    FKind = likBitmap;
}

void TLayerImage::RasterizeMetafile(int dpi)
{
    if (FKind != likMetafile)
        return;
    SIZE size;
    RECT clip;
    if (!ImageGeometry::RasterSize(SIZE{GetWidth(), GetHeight()}, dpi, FClipRect, SIZE{FImageWidth, FImageHeight}, size,
                                   clip))
        throw EInvalidOperation("Cannot turn the picture into an image of this size at " + std::to_string(dpi) + " dpi");
    TILBitmapGuard made;
    CreateWhiteBitmap(made, size);
    PlayInto(made.Get(), FMetafile->GetHandle());
    FMetafile.reset();
    FBitmap = made.Release();
    FBitmap.XResolution = FBitmap.YResolution = dpi;
    // The pixels exist nowhere else now: they are stored with the project, not the source's name.
    FSourceFile.clear();
    FImageWidth = size.cx;
    FImageHeight = size.cy;
    FClipRect = clip;
    FResolution = POINT{dpi, dpi};
    FMapMode->SetDPI(FResolution);
    FKind = likBitmap;
    Changed();
}

void TLayerImage::RasterizeText(TLayerText* text, int dpi)
{
    if (dpi <= 0)
        throw EInvalidOperation("Cannot turn the text into an image at " + std::to_string(dpi) + " dpi");
    THiMetric map;
    map.SetDPI(POINT{dpi, dpi});
    const RECT bounds = text->GetBounds();
    const POINT px = map.LPtoDPSize(POINT{RectWidth(bounds), RectHeight(bounds)});
    if (px.x <= 0 || px.y <= 0 || ImagingCodec::CheckImageSize(px.x, px.y) != IL_SUCCESS)
        throw EInvalidOperation("Cannot turn the text into an image of this size at " + std::to_string(dpi) + " dpi");
    TILBitmapGuard made;
    CreateWhiteBitmap(made, SIZE{px.x, px.y});
    {
        TILImageDC dc(made.Get());
        text->DrawTextSimple(DrawingDC(dc), RECT{0, 0, px.x, px.y}, map);
    }
    FreeImage();
    FSourceFile.clear();
    FBitmap = made.Release();
    FBitmap.XResolution = FBitmap.YResolution = dpi;
    FMapMode->Assign(&map);
    FImageWidth = px.x;
    FImageHeight = px.y;
    FClipRect = RECT{0, 0, px.x, px.y};
    FResolution = POINT{dpi, dpi};
    FKind = likBitmap;
    SetBoundsRect(bounds);
    Changed();
}

bool TLayerImage::ReadProperty(const TChunkHeader& header, TXDataStream& stream)
{
    if (IsChunk(header, "SRCE")) {
        ReadSource(ReadPayload(header, stream));
        return true;
    }
    if (IsChunk(header, "CLPR")) {
        RECT stored;
        stream.ReadRect(stored);
        // Without its picture the element keeps the stored clip, so that saving it again loses
        // nothing and the picture shows the same part once its file is back.
        if (IsSourceMissing())
            FClipRect = stored;
        else if (!SfTypes::IntersectRect(FClipRect, stored, RECT{0, 0, FImageWidth, FImageHeight}))
            FClipRect = RECT{0, 0, FImageWidth, FImageHeight};
        Changed();
        return true;
    }
    if (IsChunk(header, "KRAT")) {
        SetKeepRatio(stream.ReadBoolean());
        return true;
    }
    if (IsChunk(header, "CLPE")) {
        FClipEnabled = stream.ReadBoolean();
        return true;
    }
    if (IsChunk(header, "BMPD")) {
        const bool sourceMissing = IsSourceMissing();
        FreeImage();
        TILBitmapGuard loaded;
        if (ReadPlainBitmapData(stream, header.Size, loaded.Get())) {
            FLoadResult = IL_SUCCESS;
        } else {
            std::string& payload = stream.GetPayloadBuffer();
            stream.ReadString(header.Size, payload);
            FLoadResult = DecodeBitmapData(payload, loaded.Get());
        }
        if (FLoadResult == IL_SUCCESS) {
            AdoptBitmap(loaded.Release());
            ForgetMissingSource(sourceMissing);
        }
        return true;
    }
    if (IsChunk(header, "WMFD")) {
        std::string payload = ReadPayload(header, stream);
        const bool sourceMissing = IsSourceMissing();
        FreeImage();
        AdoptMetafile(DecodeMetafileData(payload), true);
        ForgetMissingSource(sourceMissing);
        return true;
    }
    return TLayerElement::ReadProperty(header, stream);
}

void TLayerImage::ReadSource(const std::string& fileName)
{
    FSourceFile = fileName;
    if (!FileExists(fileName))
        return;
    try {
        LoadFromFile(fileName);
    } catch (const Exception&) {
        // A linked picture that cannot be read costs the project that picture, not the whole
        // file: the element stays empty with its path, as for a missing file, and the embedded
        // copy that may follow takes its place.
        FreeImage();
        FLoadResult = IL_ERROR_FILE_FORMAT;
    }
    FSourceFile = fileName;
}

void TLayerImage::ForgetMissingSource(bool sourceMissing)
{
    // The stored pixels are the picture now: saved by name only, the dead path would lose them.
    if (sourceMissing)
        FSourceFile.clear();
}

void TLayerImage::WriteProperties(TXDataStream& stream)
{
    stream.WriteString("SRCE", FSourceFile);
    // A picture whose file has gone since it was loaded exists only here: it goes with its pixels
    // whatever the storage variant.
    if (FSourceFile.empty() || g_EmbedData || (!IsEmpty() && !FileExists(FSourceFile))) {
        if (FKind == likBitmap) {
            // A picture that cannot be embedded fails the whole write: a file without its pixels
            // would lose them for good once it replaced the old one.
            std::string& data = stream.GetPayloadBuffer();
            EncodeBitmapData(FBitmap, data);
            stream.WriteData("BMPD", data.data(), static_cast<int32_t>(data.size()));
        } else if (FKind == likMetafile) {
            std::string data = EncodeMetafileData(FMetafile.get());
            stream.WriteData("WMFD", data.data(), static_cast<int32_t>(data.size()));
        }
    }
    stream.WriteBoolean("KRAT", FKeepRatio);
    stream.WriteBoolean("CLPE", FClipEnabled);
    stream.WriteRect("CLPR", FClipRect);
    TLayerElement::WriteProperties(stream);
}
