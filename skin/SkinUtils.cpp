#include "skin/SkinUtils.h"

#include <algorithm>
#include <array>
#include <map>
#include <memory>

#include "platform/Controls.h"
#include "platform/Forms.h"
#include "platform/ImgList.h"
#include "platform/SysUtils.h"
#include "skin/SkinDib.h"
#include "toolbar/TBCommon.h"

namespace {

// The image-list background that DrawListImage paints first: pixels still of this colour after
// the image is drawn keep the target.
constexpr uint32_t ImageKeyPixel = 0x203241;

struct TSharedObjects {
    std::unique_ptr<TDIB32, TObjectFree> Background;  // the target under an image
    std::unique_ptr<TDIB32, TObjectFree> Image;       // the image itself
    TGdiObject<HBITMAP> CheckerPattern;
};

std::unique_ptr<TSharedObjects>& SharedObjects()
{
    static std::unique_ptr<TSharedObjects> objects;
    return objects;
}

TSharedObjects& Shared()
{
    if (!SharedObjects())
        RebuildSkinDrawingObjects();
    return *SharedObjects();
}

struct TRampSlot {
    int Count = 0;
    TColor First = 0;
    TColor Last = 0;
    std::vector<TColor> Colors;
};

struct TRampCache {
    std::array<TRampSlot, 16> Slots;
    size_t Next = 0;
};

TRampCache& RampCache()
{
    static TRampCache cache;
    return cache;
}

COLORREF RGBOf(TColor c)
{
    return COLORREF(ColorToRGB(c)) & 0xFFFFFF;
}

int FloorDiv(int a, int b)
{
    const int q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// A DIB pixel (red high) from a Windows colour (red low), and back.
uint32_t PixelOf(COLORREF c)
{
    return (uint32_t(GetRValue(c)) << 16) | (uint32_t(GetGValue(c)) << 8) | GetBValue(c);
}

uint32_t GreyLevel(uint32_t p)
{
    return (((p >> 16) & 0xFF) + 2 * ((p >> 8) & 0xFF) + (p & 0xFF)) / 4;
}

void ForgetFinishedImages();

} // namespace

TSkinOptionalCalls& SkinOptionalCalls()
{
    static TSkinOptionalCalls calls;
    return calls;
}

void InitSkinUtils()
{
    TSkinOptionalCalls& calls = SkinOptionalCalls();
    calls = TSkinOptionalCalls{};
    if (HMODULE user = GetModuleHandleA("user32.dll"))
        calls.UpdateLayeredWindow =
            reinterpret_cast<TUpdateLayeredWindowProc>(reinterpret_cast<void*>(GetProcAddress(user, "UpdateLayeredWindow")));
    if (HMODULE msimg = LoadLibraryA("msimg32.dll")) {
        calls.AlphaBlend = reinterpret_cast<TAlphaBlendProc>(reinterpret_cast<void*>(GetProcAddress(msimg, "AlphaBlend")));
        calls.GradientFill =
            reinterpret_cast<TGradientFillProc>(reinterpret_cast<void*>(GetProcAddress(msimg, "GradientFill")));
    }
    RebuildSkinDrawingObjects();
    RampCache() = TRampCache{};
    ForgetFinishedImages();
}

void DoneSkinUtils()
{
    ForgetFinishedImages();
    SharedObjects().reset();
    RampCache() = TRampCache{};
}

void RebuildSkinDrawingObjects()
{
    SharedObjects().reset();
    auto objects = std::make_unique<TSharedObjects>();
    objects->Background.reset(New<TDIB32>());
    objects->Image.reset(New<TDIB32>());
    const uint16_t checker[8] = {0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA};
    objects->CheckerPattern.Reset(CreateBitmap(8, 8, 1, 1, checker));
    SharedObjects() = std::move(objects);
}

// ---------------------------------------------------------------------------------------------
// Colours

TColor MixColorPair(TColor c1, TColor c2, int w)
{
    Assert(w >= 0 && w <= 255, "A colour weight lies between 0 and 255");
    const uint32_t a = RGBOf(c1), b = RGBOf(c2), u = uint32_t(w), v = 255 - u;
    const uint32_t rb = (((a & 0xFF00FF) * u + (b & 0xFF00FF) * v) >> 8) & 0xFF00FF;
    const uint32_t g = (((a & 0x00FF00) * u + (b & 0x00FF00) * v) >> 8) & 0x00FF00;
    return TColor(rb | g);
}

TColor MixToScreenColor(TColor c1, TColor c2, int w)
{
    const TColor mixed = MixColorPair(c1, c2, w);
    TWindowDC screen;
    const COLORREF nearest = GetNearestColor(screen.Get(), COLORREF(mixed));
    return nearest == CLR_INVALID ? mixed : TColor(nearest);
}

TColor OffsetColorChannels(TColor c, int d)
{
    const COLORREF rgb = RGBOf(c);
    const auto channel = [&](int v) { return std::clamp(v + d, 0, 255); };
    return TColor(RGB(channel(GetRValue(rgb)), channel(GetGValue(rgb)), channel(GetBValue(rgb))));
}

bool IsColorDark(TColor c, int threshold)
{
    const COLORREF rgb = RGBOf(c);
    return 76 * GetRValue(rgb) + 150 * GetGValue(rgb) + 30 * GetBValue(rgb) < threshold * 256;
}

TColor ExchangeRedBlue(TColor c)
{
    const uint32_t v = uint32_t(c);
    return TColor((v & 0xFF00FF00u) | ((v >> 16) & 0xFF) | ((v & 0xFF) << 16));
}

// ---------------------------------------------------------------------------------------------
// Pens, brushes and shapes

HPEN MakePen(TColor c)
{
    if (c == clNone)
        return CreatePen(PS_NULL, 0, 0);
    return CreatePen(PS_SOLID, 1, RGBOf(c));
}

HBRUSH MakeBrush(TColor c)
{
    if (c == clNone) {
        const LOGBRUSH hollow{BS_HOLLOW, 0, 0};
        return CreateBrushIndirect(&hollow);
    }
    return CreateSolidBrush(RGBOf(c));
}

bool FillRectColor(HDC dc, const RECT& r, TColor c)
{
    if (c == clNone)
        return false;
    TGdiObject<HBRUSH> brush(MakeBrush(c));
    FillRect(dc, &r, brush.Get());
    return true;
}

void FrameRectColor(HDC dc, RECT& r, TColor c, bool shrink)
{
    if (c != clNone) {
        TGdiObject<HBRUSH> brush(MakeBrush(c));
        FrameRect(dc, &r, brush.Get());
    }
    if (shrink)
        InflateRect(&r, -1, -1);
}

void LineColor(HDC dc, int x1, int y1, int x2, int y2, TColor c)
{
    if (c == clNone)
        return;
    TGdiObject<HPEN> pen(MakePen(c));
    TSelectGuard select(dc, pen.Get());
    MoveToEx(dc, x1, y1, nullptr);
    LineTo(dc, x2, y2);
}

void PolylineColor(HDC dc, const POINT* points, int count, TColor c)
{
    if (c == clNone || count < 1)
        return;
    TGdiObject<HPEN> pen(MakePen(c));
    TSelectGuard select(dc, pen.Get());
    Polyline(dc, points, count);
}

void PolygonColor(HDC dc, const POINT* points, int count, TColor outline, TColor fill)
{
    if ((outline == clNone && fill == clNone) || count < 1)
        return;
    TGdiObject<HPEN> pen(MakePen(outline));
    TGdiObject<HBRUSH> brush(MakeBrush(fill));
    TSelectGuard selectPen(dc, pen.Get());
    TSelectGuard selectBrush(dc, brush.Get());
    Polygon(dc, points, count);
}

void RoundRectColor(HDC dc, const RECT& r, TColor outline, TColor fill, int cornerWidth, int cornerHeight)
{
    if (outline == clNone && fill == clNone)
        return;
    TGdiObject<HPEN> pen(MakePen(outline));
    TGdiObject<HBRUSH> brush(MakeBrush(fill));
    TSelectGuard selectPen(dc, pen.Get());
    TSelectGuard selectBrush(dc, brush.Get());
    RoundRect(dc, r.left, r.top, r.right, r.bottom, cornerWidth, cornerHeight);
}

void CheckerFillRect(HDC dc, const RECT& r, TColor c1, TColor c2)
{
    TGdiObject<HBRUSH> brush(CreatePatternBrush(Shared().CheckerPattern.Get()));
    // A monochrome pattern takes the text colour for its clear bits and the background colour
    // for its set bits.
    TSavedDC saved(dc);
    SetTextColor(dc, RGBOf(c1));
    SetBkColor(dc, RGBOf(c2));
    FillRect(dc, &r, brush.Get());
}

void Bevel3D(HDC dc, RECT& r, TColor topLeft, TColor bottomRight, bool adjust)
{
    // The bottom-right lines take the two corners they share with the top-left ones.
    const int right = r.right - 1, bottom = r.bottom - 1;
    LineColor(dc, r.left, bottom, r.left, r.top, topLeft);
    LineColor(dc, r.left, r.top, right, r.top, topLeft);
    LineColor(dc, right, r.top, right, bottom, bottomRight);
    LineColor(dc, right, bottom, r.left - 1, bottom, bottomRight);
    if (adjust) {
        InflateRect(&r, -1, -1);
    } else {
        r.right -= 2;
        r.bottom -= 2;
    }
}

void FocusRectPlain(HDC dc, const RECT& r)
{
    TSavedDC saved(dc);
    SetTextColor(dc, RGB(0, 0, 0));
    SetBkColor(dc, RGB(255, 255, 255));
    DrawFocusRect(dc, &r);
}

// ---------------------------------------------------------------------------------------------
// Text

SIZE WideTextSize(HDC dc, const std::wstring& text)
{
    SIZE size{0, 0};
    GetTextExtentPoint32W(dc, text.c_str(), int(text.size()), &size);
    return size;
}

UINT AlignmentFlag(TAlignment alignment)
{
    switch (alignment) {
    case taRightJustify:
        return DT_RIGHT;
    case taCenter:
        return DT_CENTER;
    default:
        return DT_LEFT;
    }
}

void DrawWideText(HDC dc, const std::wstring& text, RECT& r, TColor color, UINT format)
{
    if (text.empty())
        return;
    TTextStateGuard state(dc, color == clDefault ? GetTextColor(dc) : RGBOf(color));
    const UINT rotation = (format & DrawTextRotationMask) >> 24;
    format &= ~DrawTextRotationMask;
    if (rotation == 2) {
        DrawVerticalText(dc, text, r, format);
    } else if (rotation == 1) {
        // The vertical font turned round: it runs upward from the rectangle's bottom end.
        TGdiObject<HFONT> down = MakeVerticalFont(dc);
        LOGFONTW log{};
        GetObjectW(down.Get(), sizeof(log), &log);
        log.lfEscapement = log.lfOrientation = 900;
        TGdiObject<HFONT> up(CreateFontIndirectW(&log));
        TSelectGuard select(dc, up.Get());
        const std::wstring shown = (format & DT_NOPREFIX) ? text : RemoveAccelMarks(text);
        const SIZE size = WideTextSize(dc, shown);
        const int x = r.left + (r.right - r.left - size.cy) / 2;
        const int y = (format & DT_CENTER) ? r.bottom - (r.bottom - r.top - size.cx) / 2 : r.bottom;
        const UINT clip = (format & DT_NOCLIP) ? 0 : ETO_CLIPPED;
        ExtTextOutW(dc, x, y, clip, &r, shown.c_str(), UINT(shown.size()), nullptr);
    } else {
        DrawTextW(dc, text.c_str(), int(text.size()), &r, format);
    }
}

// ---------------------------------------------------------------------------------------------
// Images with effects

namespace {

// An image's finished pixels, ready to go over any target: straight colour with the alpha in the top
// byte, fully clear pixels 0. ClearOrOpaque says that every pixel is either clear or opaque: such an
// image needs no background and goes out in one AlphaBlend (premultiplied and straight are then the
// same). An image without pixels could not be kept and is drawn the slow way.
struct TFinishedImage {
    int Width = 0;
    int Height = 0;
    bool ClearOrOpaque = true;
    std::vector<uint32_t> Pixels;
};

// The size an image is drawn at (below 1: the list's), or false when nothing would be drawn.
bool ImageTarget(HIMAGELIST list, int index, HDC dc, int x, int y, int& w, int& h, SIZE& listSize)
{
    if (!list || index < 0 || index >= ImageList_GetImageCount(list))
        return false;
    int listW = 0, listH = 0;
    ImageList_GetIconSize(list, &listW, &listH);
    listSize = SIZE{listW, listH};
    if (w < 1 || h < 1) {
        w = listW;
        h = listH;
    }
    const RECT target{x, y, x + w, y + h};
    return w >= 1 && h >= 1 && RectVisible(dc, &target);
}

TFinishedImage WithEffects(HIMAGELIST list, int index, const TImageEffects& effects, int w, int h, SIZE listSize)
{
    TDIB32* image = Shared().Image.get();
    // The image over the key colour, at the list's size and then stretched without mixing
    // pixels, so that the key stays exact.
    image->SetSize(listSize.cx, listSize.cy);
    image->Fill(ImageKeyPixel);
    ImageList_Draw(list, index, image->GetDC(), 0, 0, ILD_NORMAL);
    if (w != listSize.cx || h != listSize.cy) {
        std::unique_ptr<TDIB32, TObjectFree> scaled(New<TDIB32>());
        scaled->SetSize(w, h);
        SetStretchBltMode(scaled->GetDC(), COLORONCOLOR);
        StretchBlt(scaled->GetDC(), 0, 0, w, h, image->GetDC(), 0, 0, listSize.cx, listSize.cy, SRCCOPY);
        image->Assign(scaled.get());
    }
    GdiFlush();
    TFinishedImage finished{w, h, effects.Alpha == 255 || effects.Alpha == 0, {}};
    finished.Pixels.resize(size_t(w) * size_t(h));
    const uint32_t tint = PixelOf(RGBOf(effects.TintColor));
    const uint32_t alpha = uint32_t(effects.Alpha) << 24;
    uint32_t* out = finished.Pixels.data();
    for (int row = 0; row < h; ++row) {
        const uint32_t* in = image->GetScanLine(row);
        for (int col = 0; col < w; ++col, ++out) {
            uint32_t p = in[col] & 0xFFFFFF;
            if (p == ImageKeyPixel || alpha == 0)
                continue;
            if (effects.Silhouette)
                p = GreyLevel(p) > 253 ? 0x000000 : 0xFFFFFF;
            if (effects.Desaturation)
                p = MixPixel(p, GreyLevel(p) * 0x010101u, effects.Desaturation) & 0xFFFFFF;
            if (effects.TintAmount)
                p = MixPixel(p, tint, effects.TintAmount) & 0xFFFFFF;
            *out = p | alpha;
        }
    }
    return finished;
}

// The list's own drawing of an enabled image, made once over black and once over white: a pixel
// that comes out the same both times covers the target, one that follows the background keeps it.
// Any other pixel (a blend, a raster trick) cannot be kept, and the image is left to the list.
TFinishedImage AsTheListDraws(TCustomImageList* images, int index)
{
    const int w = images->GetWidth(), h = images->GetHeight();
    TDIB32* image = Shared().Image.get();
    image->SetSize(w, h);
    image->Fill(0xFF000000);
    images->Draw(image->GetDC(), 0, 0, index, true);
    GdiFlush();
    TFinishedImage finished{w, h, true, std::vector<uint32_t>(image->GetBits(), image->GetBits() + size_t(w) * h)};
    image->Fill(0xFFFFFFFF);
    images->Draw(image->GetDC(), 0, 0, index, true);
    GdiFlush();
    const uint32_t* overWhite = image->GetBits();
    for (uint32_t& p : finished.Pixels) {
        const uint32_t black = p & 0xFFFFFF, white = *overWhite++ & 0xFFFFFF;
        if (black == white)
            p = black | 0xFF000000;
        else if (black == 0 && white == 0xFFFFFF)
            p = 0;
        else
            return TFinishedImage{};
    }
    return finished;
}

// Blends over a copy of the target read back from the DC: for translucent images, and where the DC
// refuses AlphaBlend.
void BlendOverTarget(HDC dc, int x, int y, const TFinishedImage& finished)
{
    TDIB32* background = Shared().Background.get();
    const int w = finished.Width, h = finished.Height;
    background->SetSize(w, h);
    BitBlt(background->GetDC(), 0, 0, w, h, dc, x, y, SRCCOPY);
    GdiFlush();
    const uint32_t* in = finished.Pixels.data();
    for (int row = 0; row < h; ++row) {
        uint32_t* out = background->GetScanLine(row);
        for (int col = 0; col < w; ++col, ++in)
            if (*in)
                out[col] = BlendPixel(*in, out[col]);
    }
    BitBlt(dc, x, y, w, h, background->GetDC(), 0, 0, SRCCOPY);
}

void DrawFinishedImage(HDC dc, int x, int y, const TFinishedImage& finished)
{
    const TAlphaBlendProc alphaBlend = SkinOptionalCalls().AlphaBlend;
    if (finished.ClearOrOpaque && alphaBlend) {
        TDIB32* image = Shared().Image.get();
        const int w = finished.Width, h = finished.Height;
        image->SetSize(w, h);
        GdiFlush();
        std::copy(finished.Pixels.begin(), finished.Pixels.end(), image->GetBits());
        if (alphaBlend(dc, x, y, w, h, image->GetDC(), 0, 0, w, h, BLENDFUNCTION{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA}))
            return;
    }
    BlendOverTarget(dc, x, y, finished);
}

// What decides an image's finished pixels besides the list's contents. The tint colour is kept
// resolved, so that a system colour change makes a new entry rather than showing the old colour.
enum class TFinishKind : uint8_t { fkEffects, fkListDraw };

struct TFinishedKey {
    TFinishKind Kind = TFinishKind::fkEffects;
    int Index = 0;
    int Width = 0;
    int Height = 0;
    uint8_t Alpha = 255;
    uint8_t Desaturation = 0;
    bool Silhouette = false;
    uint8_t TintAmount = 0;
    uint32_t Tint = 0;

    auto operator<=>(const TFinishedKey&) const = default;
};

// Everything the finished pixels of one list were made from; any difference means the pictures
// may have changed. The handle, count and size also catch changes made straight through the handle.
struct TListStamp {
    HIMAGELIST Handle = nullptr;
    uint32_t ChangeCount = 0;
    int Count = 0;
    int Width = 0;
    int Height = 0;
    bool Masked = true;
    TColor BkColor = clNone;

    bool operator==(const TListStamp&) const = default;
};

TListStamp StampOf(TCustomImageList* images)
{
    const HIMAGELIST list = images->GetHandle();
    int w = 0, h = 0;
    ImageList_GetIconSize(list, &w, &h);
    return TListStamp{list,           images->GetChangeCount(), ImageList_GetImageCount(list), w, h,
                      images->GetMasked(), images->GetBkColor()};
}

// The finished pixels of images per image list, until the list changes or is freed. A list holds at
// most a few variants (plain, faded, greyed, silhouette) per image; beyond that its entries start
// afresh, so that no caller can make the cache grow without bound.
class TFinishedImageCache : public TComponent {
    SF_CLASS(TFinishedImageCache)
public:
    explicit TFinishedImageCache(TComponent* owner = nullptr) : TComponent(owner) {}

    template <class Finish>
    const TFinishedImage& Get(TCustomImageList* images, const TFinishedKey& key, Finish&& finish)
    {
        TListEntries& list = EntriesOf(images);
        if (auto it = list.Images.find(key); it != list.Images.end())
            return it->second;
        if (list.Images.size() >= size_t(std::max(list.Stamp.Count, 1)) * VariantsPerImage)
            list.Images.clear();
        return list.Images.emplace(key, finish()).first->second;
    }

    size_t GetImageCount() const
    {
        size_t count = 0;
        for (const TListEntries& list : FLists)
            count += list.Images.size();
        return count;
    }

    static constexpr size_t VariantsPerImage = 8;

protected:
    void Notification(TComponent* component, TOperation operation) override
    {
        TComponent::Notification(component, operation);
        if (operation == TOperation::opRemove)
            std::erase_if(FLists, [component](const TListEntries& list) { return list.List == component; });
    }

private:
    struct TListEntries {
        TComponent* List = nullptr;
        TListStamp Stamp;
        std::map<TFinishedKey, TFinishedImage> Images;
    };

    TListEntries& EntriesOf(TCustomImageList* images)
    {
        const TListStamp stamp = StampOf(images);
        auto it = std::find_if(FLists.begin(), FLists.end(),
                               [images](const TListEntries& list) { return list.List == images; });
        if (it == FLists.end()) {
            images->FreeNotification(this);
            FLists.push_back(TListEntries{images, stamp, {}});
            return FLists.back();
        }
        if (it->Stamp != stamp) {
            it->Stamp = stamp;
            it->Images.clear();
        }
        return *it;
    }

    std::vector<TListEntries> FLists;
};

SF_IMPLEMENT_COMPONENT(TFinishedImageCache, TComponent)

std::unique_ptr<TFinishedImageCache, TObjectFree>& FinishedImageCache()
{
    static std::unique_ptr<TFinishedImageCache, TObjectFree> cache;
    return cache;
}

TFinishedImageCache& Finished()
{
    auto& cache = FinishedImageCache();
    if (!cache)
        cache.reset(New<TFinishedImageCache>(nullptr));
    return *cache;
}

void ForgetFinishedImages()
{
    FinishedImageCache().reset();
}

// Draws the image as the list holds it when no effect and no other size is asked for. False when
// the effects are left to draw, with the target's size and the list's image size filled in.
bool DrawnAsListed(HIMAGELIST list, int index, HDC dc, const TImageEffects& effects, int x, int y, int& w, int& h,
                   SIZE& listSize)
{
    if (!ImageTarget(list, index, dc, x, y, w, h, listSize))
        return true;
    if (effects.Any() || w != listSize.cx || h != listSize.cy)
        return false;
    ImageList_Draw(list, index, dc, x, y, ILD_NORMAL);
    return true;
}

} // namespace

void DrawListImage(HIMAGELIST list, int index, HDC dc, const TImageEffects& effects, int x, int y, int w, int h)
{
    SIZE listSize{};
    if (!DrawnAsListed(list, index, dc, effects, x, y, w, h, listSize))
        DrawFinishedImage(dc, x, y, WithEffects(list, index, effects, w, h, listSize));
}

void DrawListImage(TCustomImageList* images, int index, HDC dc, const TImageEffects& effects, int x, int y, int w,
                   int h)
{
    if (!images)
        return;
    const HIMAGELIST list = images->GetHandle();
    SIZE listSize{};
    if (DrawnAsListed(list, index, dc, effects, x, y, w, h, listSize))
        return;
    const TFinishedKey key{TFinishKind::fkEffects,
                           index,
                           w,
                           h,
                           effects.Alpha,
                           effects.Desaturation,
                           effects.Silhouette,
                           effects.TintAmount,
                           effects.TintAmount ? PixelOf(RGBOf(effects.TintColor)) : 0};
    DrawFinishedImage(dc, x, y, Finished().Get(images, key, [&] {
        return WithEffects(list, index, effects, w, h, listSize);
    }));
}

void DrawListImageNormal(HDC dc, int x, int y, TCustomImageList* images, int index, bool enabled)
{
    if (!images)
        return;
    if (!enabled || index < 0 || index >= images->GetCount()) {
        images->Draw(dc, x, y, index, enabled);
        return;
    }
    const RECT target{x, y, x + images->GetWidth(), y + images->GetHeight()};
    if (!RectVisible(dc, &target))
        return;
    const TFinishedImage& finished = Finished().Get(images, TFinishedKey{TFinishKind::fkListDraw, index},
                                                    [&] { return AsTheListDraws(images, index); });
    if (finished.Pixels.empty())
        images->Draw(dc, x, y, index, true);
    else
        DrawFinishedImage(dc, x, y, finished);
}

size_t FinishedListImageCount()
{
    return FinishedImageCache() ? FinishedImageCache()->GetImageCount() : 0;
}

void DrawListImagePlain(HDC dc, const RECT& r, TCustomImageList* images, int index, bool darkBackground)
{
    TImageEffects effects;
    effects.Silhouette = darkBackground;
    DrawListImage(images, index, dc, effects, r.left, r.top);
}

void DrawListImageFaded(HDC dc, const RECT& r, TCustomImageList* images, int index, TColor color, int weight)
{
    TImageEffects effects;
    effects.TintAmount = uint8_t(255 - std::clamp(weight, 0, 255));
    effects.TintColor = color;
    DrawListImage(images, index, dc, effects, r.left, r.top);
}

void DrawListImageGreyed(HDC dc, const RECT& r, TCustomImageList* images, int index, int style)
{
    TImageEffects effects;
    effects.TintColor = clBlack;
    if (style == 0) {
        effects.Desaturation = 255;
        effects.TintAmount = 47;
        effects.Alpha = 95;
    } else {
        effects.TintAmount = 255;
        effects.Alpha = style == 1 ? 31 : 95;
    }
    DrawListImage(images, index, dc, effects, r.left + 1, r.top + 1);
}

// ---------------------------------------------------------------------------------------------
// Ramps and gradients

const std::vector<TColor>& ColorRamp(int n, TColor c1, TColor c2)
{
    Assert(n >= 1, "A colour ramp has at least one colour");
    TRampCache& cache = RampCache();
    for (size_t i = cache.Slots.size(); i-- > 0;) {
        const TRampSlot& slot = cache.Slots[i];
        if (slot.Count == n && slot.First == c1 && slot.Last == c2)
            return slot.Colors;
    }
    TRampSlot& slot = cache.Slots[cache.Next];
    cache.Next = (cache.Next + 1) % cache.Slots.size();
    slot.Count = n;
    slot.First = c1;
    slot.Last = c2;
    slot.Colors.assign(size_t(n), 0);
    const COLORREF a = RGBOf(c1), b = RGBOf(c2);
    for (int i = 0; i < n; ++i) {
        int channels[3];
        for (int k = 0; k < 3; ++k) {
            const int from = int((a >> (8 * k)) & 0xFF), to = int((b >> (8 * k)) & 0xFF);
            // Rounded to the nearest step, downward for falling channels too.
            channels[k] = n == 1 ? (from + to) / 2 : from + FloorDiv((to - from) * i + (n - 1) / 2, n - 1);
        }
        slot.Colors[size_t(i)] = TColor(RGB(channels[0], channels[1], channels[2]));
    }
    return slot.Colors;
}

void GradientRect(HDC dc, const RECT& r, TColor c1, TColor c2, bool vertical)
{
    if (r.right <= r.left || r.bottom <= r.top || !RectVisible(dc, &r))
        return;
    const COLORREF a = RGBOf(c1), b = RGBOf(c2);
    if (TGradientFillProc fill = SkinOptionalCalls().GradientFill) {
        TRIVERTEX vertices[2] = {
            {r.left, r.top, COLOR16(GetRValue(a) << 8), COLOR16(GetGValue(a) << 8), COLOR16(GetBValue(a) << 8), 0},
            {r.right, r.bottom, COLOR16(GetRValue(b) << 8), COLOR16(GetGValue(b) << 8), COLOR16(GetBValue(b) << 8), 0}};
        GRADIENT_RECT mesh{0, 1};
        fill(dc, vertices, 2, &mesh, 1, vertical ? GRADIENT_FILL_RECT_V : GRADIENT_FILL_RECT_H);
        return;
    }
    RECT clip;
    if (GetClipBox(dc, &clip) == ERROR)
        return;
    const int first = vertical ? r.top : r.left, length = vertical ? r.bottom - r.top : r.right - r.left;
    const int from = std::max(first, vertical ? int(clip.top) : int(clip.left)) - first;
    const int to = std::min(first + length, vertical ? int(clip.bottom) : int(clip.right)) - first;
    if (from >= to)
        return;
    const std::vector<TColor>& ramp = ColorRamp(length, c1, c2);
    for (int i = from; i < to; ++i) {
        const RECT strip = vertical ? RECT{r.left, r.top + i, r.right, r.top + i + 1}
                                    : RECT{r.left + i, r.top, r.left + i + 1, r.bottom};
        FillRectColor(dc, strip, ramp[size_t(i)]);
    }
}

SIZE OuterSize(TControl* control)
{
    if (Is<TCustomForm>(control)) {
        auto* form = static_cast<TCustomForm*>(control);
        RECT window;
        if (form->GetBorderStyle() != bsNone && form->HandleAllocated() && GetWindowRect(form->GetHandle(), &window))
            return SIZE{window.right - window.left, window.bottom - window.top};
    }
    return SIZE{control->GetWidth(), control->GetHeight()};
}
