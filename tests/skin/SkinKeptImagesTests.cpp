// Images drawn from kept finished pixels must look exactly as when they were made afresh on every
// paint, and must follow every change of their image list.
#include "SkinTestSupport.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <functional>
#include <optional>
#include <string>

#include "platform/Graphics.h"
#include "platform/ImgList.h"
#include "platform/ScopeGuards.h"
#include "skin/Skin.h"
#include "skin/SkinDefaultTheme.h"
#include "skin/SkinTheme.h"

namespace {

constexpr int ImageSide = 16;
constexpr int TargetW = 40, TargetH = 30;
constexpr uint32_t KeyPixel = 0x203241;  // the colour an image is drawn over before its effects

using TImagesPtr = std::unique_ptr<TCustomImageList, TObjectFree>;

// A 32-bit bitmap of the pixels (DIB order, red high).
std::unique_ptr<TBitmap, TObjectFree> BitmapOf(const std::vector<uint32_t>& pixels, int w, int h)
{
    std::unique_ptr<TBitmap, TObjectFree> bitmap(New<TBitmap>());
    bitmap->SetPixelFormat(TPixelFormat::pf32bit);
    bitmap->SetSize(w, h);
    BITMAPINFO info{};
    info.bmiHeader = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    SetDIBitsToDevice(bitmap->GetCanvas()->GetHandle(), 0, 0, w, h, 0, 0, 0, h, pixels.data(), &info, DIB_RGB_COLORS);
    return bitmap;
}

// Random colours with holes of the mask colour (magenta), some white pixels (which a silhouette
// turns black) and some of the key colour (which drawing with effects has always left out).
std::vector<uint32_t> PicturePixels(uint32_t seed, int side = ImageSide)
{
    std::vector<uint32_t> pixels = RandomPixels(size_t(side) * side, seed);
    for (size_t i = 0; i < pixels.size(); ++i) {
        pixels[i] &= 0xFFFFFF;
        if (i % 3 == 0)
            pixels[i] = 0xFF00FF;
        else if (i % 11 == 1)
            pixels[i] = 0xFFFFFF;
        else if (i % 13 == 2)
            pixels[i] = KeyPixel;
    }
    return pixels;
}

enum class TListMaking { MaskColour, SeparateMask, Unmasked, BackColour };

void AddPicture(TCustomImageList* images, TListMaking making, uint32_t seed, int side = ImageSide)
{
    const std::vector<uint32_t> pixels = PicturePixels(seed, side);
    auto picture = BitmapOf(pixels, side, side);
    if (making == TListMaking::SeparateMask) {
        // The pixels under the mask keep their colours: the list must not show them.
        std::vector<uint32_t> mask(pixels.size());
        for (size_t i = 0; i < pixels.size(); ++i)
            mask[i] = pixels[i] == 0xFF00FF ? 0xFFFFFF : 0;
        images->Add(picture.get(), BitmapOf(mask, side, side).get());
        return;
    }
    if (making == TListMaking::Unmasked)
        images->Add(picture.get(), nullptr);
    else
        images->AddMasked(picture.get(), TColor(RGB(255, 0, 255)));
}

TImagesPtr MakeImages(TListMaking making, int count = 3)
{
    TImagesPtr images(New<TImageList>(nullptr, ImageSide, ImageSide));
    images->SetMasked(making != TListMaking::Unmasked);
    if (making == TListMaking::BackColour)
        images->SetBkColor(clYellow);
    for (int i = 0; i < count; ++i)
        AddPicture(images.get(), making, 100 + i);
    return images;
}

uint32_t Grey(uint32_t p)
{
    return (((p >> 16) & 0xFF) + 2 * ((p >> 8) & 0xFF) + (p & 0xFF)) / 4;
}

// Drawing with effects as it has always been done, made afresh: the image over the key colour,
// each pixel that is not the key changed in order and blended over the target. Without effects,
// the list's plain drawing.
void DrawAsAlways(HIMAGELIST list, int index, TDIB32* target, const TImageEffects& fx, int x, int y)
{
    if (!fx.Any()) {
        ImageList_Draw(list, index, target->GetDC(), x, y, ILD_NORMAL);
        GdiFlush();
        return;
    }
    int w = 0, h = 0;
    ImageList_GetIconSize(list, &w, &h);
    TDIBPtr image = MakeDIB(w, h, KeyPixel);
    ImageList_Draw(list, index, image->GetDC(), 0, 0, ILD_NORMAL);
    GdiFlush();
    const uint32_t tint = PixelRGB(COLORREF(ColorToRGB(fx.TintColor)));
    for (int row = 0; row < h; ++row)
        for (int col = 0; col < w; ++col) {
            if (x + col < 0 || y + row < 0 || x + col >= target->GetWidth() || y + row >= target->GetHeight())
                continue;
            uint32_t p = PixelAt(image.get(), col, row) & 0xFFFFFF;
            if (p == KeyPixel)
                continue;
            if (fx.Silhouette)
                p = Grey(p) > 253 ? 0 : 0xFFFFFF;
            if (fx.Desaturation)
                p = MixPixel(p, Grey(p) * 0x010101u, fx.Desaturation) & 0xFFFFFF;
            if (fx.TintAmount)
                p = MixPixel(p, tint, fx.TintAmount) & 0xFFFFFF;
            uint32_t& out = target->GetScanLine(y + row)[x + col];
            out = BlendPixel(p | uint32_t(fx.Alpha) << 24, out);
        }
}

enum class TBackdrop { Dark, Light, Noise };

TDIBPtr Backdrop(TBackdrop kind)
{
    if (kind == TBackdrop::Noise) {
        std::vector<uint32_t> pixels = RandomPixels(size_t(TargetW) * TargetH, 5);
        for (uint32_t& p : pixels)
            p |= 0xFF000000;
        return MakeDIB(TargetW, TargetH, pixels);
    }
    return MakeDIB(TargetW, TargetH, kind == TBackdrop::Dark ? 0xFF101820 : 0xFFF0F4F8);
}

// Paints on a copy of the backdrop, either straight into a DIB or through a device bitmap (as a
// window's paint through a memory bitmap does), and answers the pixels.
TDIBPtr PaintedOver(TBackdrop kind, bool deviceBitmap, const std::function<void(HDC)>& paint)
{
    TDIBPtr dib = Backdrop(kind);
    if (!deviceBitmap) {
        paint(dib->GetDC());
        GdiFlush();
        return dib;
    }
    TWindowDC screen;
    TMemoryDC dc(screen.Get());
    TGdiObject<HBITMAP> bitmap(CreateCompatibleBitmap(screen.Get(), TargetW, TargetH));
    TSelectGuard select(dc.Get(), bitmap.Get());
    BitBlt(dc.Get(), 0, 0, TargetW, TargetH, dib->GetDC(), 0, 0, SRCCOPY);
    paint(dc.Get());
    BitBlt(dib->GetDC(), 0, 0, TargetW, TargetH, dc.Get(), 0, 0, SRCCOPY);
    GdiFlush();
    return dib;
}

// Colour only: a device bitmap and the list's own drawing do not keep the alpha byte.
std::vector<uint32_t> ColoursOf(const TDIB32* dib)
{
    std::vector<uint32_t> pixels = PixelsOf(dib);
    for (uint32_t& p : pixels)
        p &= 0xFFFFFF;
    return pixels;
}

struct TEffectCase {
    const char* Name;
    TImageEffects Effects;
};

// Faded (toward a system colour and a plain one), the three disabled styles, a silhouette, half alpha.
std::vector<TEffectCase> EffectCases()
{
    const auto fx = [](uint8_t alpha, uint8_t desaturation, bool silhouette, uint8_t tint, TColor colour) {
        return TImageEffects{alpha, desaturation, silhouette, tint, colour};
    };
    return {{"faded", fx(255, 0, false, 77, clWindow)},     {"faded to blue", fx(255, 0, false, 77, 0xC81410)},
            {"greyed", fx(95, 255, false, 47, clBlack)},    {"shadow", fx(31, 0, false, 255, clBlack)},
            {"strong shadow", fx(95, 0, false, 255, clBlack)}, {"silhouette", fx(255, 0, true, 0, clBlack)},
            {"half", fx(128, 0, false, 0, clBlack)}};
}

// The drawing made afresh on a DIB against the kept one, on a DIB and through a device bitmap, over
// dark, light and noisy backdrops, drawn twice (made, then kept).
void ExpectKept(const std::function<void(TDIB32*)>& afresh, const std::function<void(HDC)>& kept,
                const std::string& where)
{
    for (TBackdrop kind : {TBackdrop::Dark, TBackdrop::Light, TBackdrop::Noise}) {
        TDIBPtr expected = Backdrop(kind);
        afresh(expected.get());
        GdiFlush();
        for (int pass = 0; pass < 4; ++pass)
            ASSERT_EQ(ColoursOf(PaintedOver(kind, pass >= 2, kept).get()), ColoursOf(expected.get()))
                << where << ", backdrop " << int(kind) << ", pass " << pass;
    }
}

void ExpectLikeTheList(TCustomImageList* images, int index, int x, int y, const std::string& where)
{
    ExpectKept([&](TDIB32* dib) { images->Draw(dib->GetDC(), x, y, index, true); },
               [&](HDC dc) { DrawListImageNormal(dc, x, y, images, index, true); }, where);
}

void ExpectLikeAlways(TCustomImageList* images, int index, const TEffectCase& fx, int x, int y,
                      const std::string& where)
{
    ExpectKept([&](TDIB32* dib) { DrawAsAlways(images->GetHandle(), index, dib, fx.Effects, x, y); },
               [&](HDC dc) { DrawListImage(images, index, dc, fx.Effects, x, y); }, where + ", " + fx.Name);
}

// Visual styles in use while it lives, with no theme data behind them: the image routines need none.
class TStyledImages {
public:
    TStyledImages() : FSaved(VisualStyleState())
    {
        VisualStyleState().VisualStylesInUse = true;
        VisualStyleState().WhiteButtonFace = false;
        VisualStyleState().LowColorDisplay = false;
    }
    ~TStyledImages() { VisualStyleState() = FSaved; }

private:
    TVisualStyleState FSaved;
};

} // namespace

TEST(KeptImages, LookAsWhenMadeAfresh)
{
    const POINT places[] = {{3, 4}, {-5, -6}, {TargetW - 9, TargetH - 7}};
    const std::pair<TListMaking, const char*> makings[] = {{TListMaking::MaskColour, "mask colour"},
                                                           {TListMaking::SeparateMask, "separate mask"},
                                                           {TListMaking::Unmasked, "unmasked"},
                                                           {TListMaking::BackColour, "background colour"}};
    for (const auto& [making, name] : makings) {
        TImagesPtr images = MakeImages(making);
        for (const POINT& at : places) {
            const std::string where = std::string(name) + " at " + std::to_string(at.x) + "," + std::to_string(at.y);
            ExpectLikeTheList(images.get(), 1, at.x, at.y, where);
            for (const TEffectCase& fx : EffectCases())
                ExpectLikeAlways(images.get(), 1, fx, at.x, at.y, where);
        }
    }
    // A 32-bit list whose image fades out to the right, drawn by handle as ever over the key.
    HIMAGELIST list = ImageList_Create(ImageSide, ImageSide, ILC_COLOR32, 1, 1);
    std::vector<uint32_t> pixels(size_t(ImageSide) * ImageSide);
    for (size_t i = 0; i < pixels.size(); ++i) {
        const uint32_t a = 255 - uint32_t(i % ImageSide) * 17;
        pixels[i] = a << 24 | ((0xC0 * a / 255) << 16) | ((0x40 * a / 255) << 8);
    }
    ImageList_Add(list, BitmapOf(pixels, ImageSide, ImageSide)->GetHandle(), nullptr);
    for (const TEffectCase& fx : EffectCases())
        ExpectKept([&](TDIB32* dib) { DrawAsAlways(list, 0, dib, fx.Effects, 2, 3); },
                   [&](HDC dc) { DrawListImage(list, 0, dc, fx.Effects, 2, 3); }, std::string("alpha, ") + fx.Name);
    ImageList_Destroy(list);
    // Without AlphaBlend every image is blended over a copy of the target, to the same pixels.
    TOptionalCallsScope calls;
    SkinOptionalCalls().AlphaBlend = nullptr;
    TImagesPtr images = MakeImages(TListMaking::MaskColour);
    ExpectLikeTheList(images.get(), 0, 3, 4, "without AlphaBlend");
    for (const TEffectCase& fx : EffectCases())
        ExpectLikeAlways(images.get(), 0, fx, 3, 4, "without AlphaBlend");
}

TEST(KeptImages, ThemeDrawsEachStateAsBefore)
{
    TImagesPtr images = MakeImages(TListMaking::MaskColour);
    const RECT r{5, 6, 5 + ImageSide, 6 + ImageSide};
    const TImageEffects plain, faded{255, 0, false, 255 - 178, clWindow}, greyed{95, 255, false, 47, clBlack};
    // Without visual styles (Effects null) the list draws itself, greyed by its own rule when disabled.
    struct TStateCase {
        const char* Name;
        bool Enabled;
        uint8_t Hot;
        bool Pushed;
        bool Checked;
        const TImageEffects* Effects;
        int Shift;
    } const cases[] = {
        {"idle", true, 0, false, false, &faded, 0},       {"hot", true, 2, false, false, &plain, 0},
        {"pushed", true, 2, true, false, &plain, 1},      {"checked", true, 0, false, true, &plain, 1},
        {"disabled", false, 0, false, false, &greyed, 1}, {"disabled hot", false, 1, false, false, &greyed, 1},
        {"disabled checked", false, 0, false, true, &greyed, 2}, {"classic", true, 0, false, false, nullptr, 0},
        {"classic checked", true, 0, false, true, nullptr, 0}, {"classic disabled", false, 0, false, false, nullptr, 0},
    };
    for (const TStateCase& c : cases) {
        std::optional<TStyledImages> styled;
        if (c.Effects)
            styled.emplace();
        TSkinItemDrawInfo info;
        info.ViewKind = vtToolbar;
        info.ItemFlags = ifToolbarStyle;
        info.Enabled = c.Enabled;
        info.HotState = c.Hot;
        info.Pushed = c.Pushed;
        info.Checked = c.Checked;
        ExpectKept(
            [&](TDIB32* dib) {
                if (c.Effects)
                    DrawAsAlways(images->GetHandle(), 2, dib, *c.Effects, r.left + c.Shift, r.top + c.Shift);
                else
                    images->Draw(dib->GetDC(), r.left, r.top, 2, c.Enabled);
            },
            [&](HDC dc) { CurrentTheme()->DrawImageForState(dc, r, info, images.get(), 2); }, c.Name);
    }
}

TEST(KeptImages, FollowEveryChangeOfTheirList)
{
    TImagesPtr images = MakeImages(TListMaking::MaskColour);
    TImageEffects faded;
    faded.TintAmount = 77;
    faded.TintColor = clWindow;
    const TEffectCase fadedCase{"faded", faded};
    const auto expectBoth = [&](int index, const std::string& step) {
        ExpectLikeTheList(images.get(), index, 3, 4, step);
        ExpectLikeAlways(images.get(), index, fadedCase, 3, 4, step);
    };
    expectBoth(0, "first drawing");
    struct TStep {
        const char* Name;
        std::function<void()> Change;
    } const steps[] = {
        {"an image replaced",
         [&] { images->Replace(0, BitmapOf(PicturePixels(900), ImageSide, ImageSide).get(), nullptr); }},
        {"the first image deleted", [&] { images->Delete(0); }},
        {"deleted and added: the same count", [&] {
             images->Delete(0);
             AddPicture(images.get(), TListMaking::MaskColour, 901);
         }},
        {"a picture replaced while the list is being updated", [&] {
             images->BeginUpdate();
             images->Replace(0, BitmapOf(PicturePixels(902), ImageSide, ImageSide).get(), nullptr);
         }},
        {"the update ended", [&] { images->EndUpdate(); }},
        {"cleared and filled again", [&] {
             images->Clear();
             for (uint32_t seed : {903u, 904u})
                 AddPicture(images.get(), TListMaking::MaskColour, seed);
         }},
        {"a background colour set", [&] { images->SetBkColor(clLime); }},
        {"a new size", [&] {
             images->SetSize(12, 12);
             AddPicture(images.get(), TListMaking::MaskColour, 905, 12);
         }},
        {"another image added", [&] { AddPicture(images.get(), TListMaking::MaskColour, 906, 12); }},
        {"the first image removed through the handle", [&] { ImageList_Remove(images->GetHandle(), 0); }},
    };
    for (const TStep& step : steps) {
        step.Change();
        expectBoth(0, step.Name);
    }
    // Another tint colour is another image, not the one kept for the first colour.
    TImageEffects toBlack = faded;
    toBlack.TintColor = clBlack;
    ExpectLikeAlways(images.get(), 0, TEffectCase{"faded to black", toBlack}, 3, 4, "another tint");
}

TEST(KeptImages, BoundedAndFreedWithTheirList)
{
    const size_t before = FinishedListImageCount();
    TImagesPtr first = MakeImages(TListMaking::MaskColour, 2);
    TImagesPtr second = MakeImages(TListMaking::Unmasked, 4);
    TDIBPtr target = Backdrop(TBackdrop::Light);
    // Many tints of the same few images: the kept ones never exceed a few variants per image, and
    // after the first round, which sizes the shared scratch images, no handle is left behind.
    int objects = 0, dcs = 0;
    for (int round = 0; round < 4; ++round) {
        for (int tint = 0; tint < 40; ++tint)
            for (int index = 0; index < 4; ++index) {
                TImageEffects fx;
                fx.TintAmount = 77;
                fx.TintColor = TColor(RGB(tint, 0, 0));
                fx.Alpha = tint % 2 ? 255 : 95;
                DrawListImage(first.get(), index % 2, target->GetDC(), fx, 1, 1);
                DrawListImage(second.get(), index, target->GetDC(), fx, 1, 1);
                DrawListImageNormal(target->GetDC(), 1, 1, second.get(), index, true);
            }
        if (round == 0) {
            objects = LiveHandles(THandleKind::GdiObject);
            dcs = LiveHandles(THandleKind::DeviceContext);
        }
    }
    EXPECT_LE(FinishedListImageCount() - before, (2u + 4u) * 8u);
    EXPECT_GT(FinishedListImageCount(), before);
    EXPECT_EQ(LiveHandles(THandleKind::GdiObject), objects);
    EXPECT_EQ(LiveHandles(THandleKind::DeviceContext), dcs);
    const size_t withBoth = FinishedListImageCount();
    second.reset();
    const size_t withFirst = FinishedListImageCount();
    EXPECT_LT(withFirst, withBoth);
    EXPECT_GT(withFirst, before);
    first.reset();
    EXPECT_EQ(FinishedListImageCount(), before) << "a freed list takes its images along";
}
