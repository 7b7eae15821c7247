#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "graphics/Gfx32.h"
#include "graphics/Gfx32_CPUid.h"
#include "platform/Clipboard.h"
#include "platform/Filer.h"
#include "platform/Streams.h"

namespace {

using TBitmapPtr = std::unique_ptr<TBitmap32, TObjectFree>;

TBitmapPtr NewBitmap(int w, int h, TColor32 fill = 0)
{
    TBitmapPtr bmp(New<TBitmap32>());
    bmp->SetSize(w, h);
    bmp->FillRect(0, 0, w, h, fill);
    return bmp;
}

struct Counter {
    int Changes = 0;
    int Resizes = 0;
    void OnChange(TObject*) { ++Changes; }
    void OnResize(TObject*) { ++Resizes; }
};

int CountPixels(const TBitmap32& bmp, TColor32 value)
{
    int n = 0;
    for (int y = 0; y < bmp.GetHeight(); ++y)
        for (int x = 0; x < bmp.GetWidth(); ++x)
            n += *bmp.PixelPtr(x, y) == value;
    return n;
}

}

TEST(Color32, Helpers)
{
    EXPECT_EQ(WinColorToColor32(0x00332211), 0xFF112233u);
    EXPECT_EQ(Color32(0x000000FF), 0xFFFF0000u);
    EXPECT_EQ(Color32(clWindow), WinColorToColor32(static_cast<TColor>(GetSysColor(COLOR_WINDOW))));
    EXPECT_EQ(Color32(clNavy), 0xFF000080u);
    EXPECT_EQ(SetColorAlpha(0x12345678, 0x9A), 0x9A345678u);
    EXPECT_EQ(SetColorAlpha(0x12345678, -5), 0x00345678u);
    EXPECT_EQ(SetColorAlpha(0x12345678, 300), 0xFF345678u);

    uint32_t buf[4] = {1, 2, 3, 4};
    FillLongword(buf, 0, 9);
    FillLongword(buf, -3, 9);
    EXPECT_EQ(buf[0], 1u);
    FillLongword(buf + 1, 2, 9);
    EXPECT_EQ(buf[0], 1u);
    EXPECT_EQ(buf[1], 9u);
    EXPECT_EQ(buf[2], 9u);
    EXPECT_EQ(buf[3], 4u);
}

TEST(Gfx32Rects, TouchingRectanglesIntersect)
{
    RECT d{};
    EXPECT_TRUE(Gfx32::IntersectRect(d, Gfx32::MakeRect(0, 0, 10, 10), Gfx32::MakeRect(10, 2, 20, 5)));
    EXPECT_TRUE(Gfx32::EqualRect(d, Gfx32::MakeRect(10, 2, 10, 5)));
    EXPECT_FALSE(Gfx32::IntersectRect(d, Gfx32::MakeRect(0, 0, 10, 10), Gfx32::MakeRect(11, 2, 20, 5)));
    EXPECT_TRUE(Gfx32::EqualRect(d, RECT{}));

    RECT r = Gfx32::MakeRect(0, 0, 4, 4);
    Gfx32::InflateRect(r, 2, -1);
    EXPECT_TRUE(Gfx32::EqualRect(r, Gfx32::MakeRect(-2, 1, 6, 3)));
    Gfx32::OffsetRect(r, 3, -1);
    EXPECT_TRUE(Gfx32::EqualRect(r, Gfx32::MakeRect(1, 0, 9, 2)));
    EXPECT_TRUE(Gfx32::IsRectEmpty(Gfx32::MakeRect(5, 0, 5, 9)));
    EXPECT_TRUE(Gfx32::PtInRect(r, Gfx32::MakePoint(1, 1)));
    EXPECT_FALSE(Gfx32::PtInRect(r, Gfx32::MakePoint(9, 1)));
}

TEST(ThreadPersistent, UpdateCountAndLocks)
{
    TBitmapPtr bmp(New<TBitmap32>());
    Counter counter;
    bmp->SetOnChange(TNotifyEvent(&counter, &Counter::OnChange));
    bmp->Changed();
    EXPECT_EQ(counter.Changes, 1);
    bmp->BeginUpdate();
    bmp->Changed();
    bmp->EndUpdate();
    EXPECT_EQ(counter.Changes, 1);

    try {
        bmp->EndUpdate();
        FAIL() << "an unpaired EndUpdate must raise";
    } catch (const EAssertionFailed& e) {
        EXPECT_STREQ(e.what(), "Unpaired TThreadPersistent.EndUpdate");
    }
    EXPECT_EQ(bmp->GetUpdateCount(), 0);

    bmp->Lock();
    bmp->Lock();
    EXPECT_EQ(bmp->GetLockCount(), 2);
    bmp->Unlock();
    bmp->Unlock();
    EXPECT_EQ(bmp->GetLockCount(), 0);
}

TEST(Bitmap32, SetSizeSemantics)
{
    TBitmapPtr bmp(New<TBitmap32>());
    Counter counter;
    bmp->SetOnChange(TNotifyEvent(&counter, &Counter::OnChange));
    bmp->SetOnResize(TNotifyEvent(&counter, &Counter::OnResize));
    EXPECT_TRUE(bmp->Empty());

    EXPECT_TRUE(bmp->SetSize(-5, 10));
    EXPECT_EQ(bmp->GetWidth(), 0);
    EXPECT_EQ(bmp->GetHeight(), 10);
    EXPECT_TRUE(bmp->Empty());
    EXPECT_EQ(bmp->GetBits(), nullptr);
    EXPECT_EQ(bmp->GetHandle(), nullptr);
    EXPECT_EQ(counter.Resizes, 1);

    EXPECT_TRUE(bmp->SetSize(4, 3));
    EXPECT_FALSE(bmp->Empty());
    EXPECT_NE(bmp->GetHandle(), nullptr);
    EXPECT_EQ(bmp->GetBitmapInfo().bmiHeader.biHeight, -3);
    bmp->FillRect(0, 0, 4, 3, 0x11223344);
    TColor32* bits = bmp->GetBits();
    EXPECT_FALSE(bmp->SetSize(4, 3));
    EXPECT_EQ(bmp->GetBits(), bits);
    EXPECT_EQ(CountPixels(*bmp, 0x11223344), 12);
    EXPECT_EQ(counter.Resizes, 2);

    // Rows are top-down without padding.
    EXPECT_EQ(bmp->ScanLine(2), bits + 8);
    EXPECT_EQ(bmp->PixelPtr(3, 1), bits + 7);
    EXPECT_THROW(bmp->ScanLine(3), EInvalidArgument);
    EXPECT_THROW(bmp->ScanLine(-1), EInvalidArgument);
    EXPECT_THROW(bmp->PixelPtr(4, 0), EInvalidArgument);

    bmp->Delete();
    EXPECT_TRUE(bmp->Empty());
    EXPECT_EQ(bmp->GetWidth(), 0);
    EXPECT_EQ(counter.Resizes, 3);
}

TEST(Bitmap32, SizesWhoseByteCountOverflowsRaiseAndLeaveItEmpty)
{
    TBitmapPtr bmp = NewBitmap(8, 8);
    const int sizes[][2] = {{32768, 32768}, {65536, 16384}, {30000, 30000}, {0x7FFFFFFF, 2}, {0x7FFFFFFF, 0x7FFFFFFF}};
    for (auto& s : sizes) {
        try {
            bmp->SetSize(s[0], s[1]);
            FAIL() << s[0] << " x " << s[1] << " must raise";
        } catch (const Exception& e) {
            EXPECT_STREQ(e.what(), "Can't allocate the DIB handle");
        }
        EXPECT_EQ(bmp->GetWidth(), 0);
        EXPECT_EQ(bmp->GetHeight(), 0);
        EXPECT_TRUE(bmp->Empty());
        EXPECT_EQ(bmp->GetBits(), nullptr);
        // The bitmap stays usable.
        EXPECT_TRUE(bmp->SetSize(2, 2));
    }
}

TEST(Bitmap32, FillsAreClippedToTheBitmap)
{
    TBitmapPtr bmp = NewBitmap(10, 10);
    bmp->FillRectS(RECT{-5, -5, 3, 4}, 0xFFFF0000);
    EXPECT_EQ(CountPixels(*bmp, 0xFFFF0000), 12);
    EXPECT_EQ(*bmp->PixelPtr(2, 3), 0xFFFF0000u);
    EXPECT_EQ(*bmp->PixelPtr(3, 3), 0u);
    EXPECT_EQ(*bmp->PixelPtr(2, 4), 0u);

    for (RECT r : {RECT{-10, -10, 0, 5}, RECT{-10, -10, 5, 0}, RECT{10, 0, 20, 5}, RECT{0, 10, 5, 20}, RECT{5, 5, 5, 9}}) {
        TBitmapPtr other = NewBitmap(10, 10);
        other->FillRectS(r, 0xFF00FF00);
        EXPECT_EQ(CountPixels(*other, 0), 100);
    }

    // A fill past the right edge must not run into the next row, nor past the last one.
    TBitmapPtr small = NewBitmap(4, 4);
    small->FillRect(2, 0, 10, 1, 0xFF0000FF);
    small->FillRectT(2, 3, 10, 100, 0x800000FF);
    small->FillRect(-100, -100, 1, 1, 0xFF00FF00);
    EXPECT_EQ(*small->PixelPtr(0, 0), 0xFF00FF00u);
    EXPECT_EQ(*small->PixelPtr(3, 0), 0xFF0000FFu);
    EXPECT_EQ(*small->PixelPtr(1, 0), 0u);
    EXPECT_EQ(CountPixels(*small, 0), 16 - 1 - 2 - 2);
    small->FillRect(0, 0, 1000000, 1000000, 0x01020304);
    EXPECT_EQ(CountPixels(*small, 0x01020304), 16);

    TBitmapPtr empty(New<TBitmap32>());
    empty->FillRect(0, 0, 5, 5, 1);
    empty->FillRectT(0, 0, 5, 5, 0x80000000);
    empty->FillRectS(RECT{0, 0, 5, 5}, 0x80000000);
}

TEST(Bitmap32, FillRectTMixesByTheColoursAlphaOnBothPaths)
{
    for (bool mmx : {false, true}) {
        if (mmx && !HasMMX())
            continue;
        BindCombineRoutines(mmx);
        TBitmapPtr bmp = NewBitmap(9, 5, 0x80402010);
        Counter counter;
        bmp->SetOnChange(TNotifyEvent(&counter, &Counter::OnChange));
        bmp->FillRectT(0, 0, 9, 5, 0x00FFFFFF);
        EXPECT_EQ(CountPixels(*bmp, 0x80402010), 45);
        EXPECT_EQ(counter.Changes, 1);
        bmp->FillRectT(1, 1, 8, 4, 0x60C08040);
        TColor32 expected = 0x80402010;
        (mmx ? CombineColorInPlaceMMX : CombineColorInPlacePlain)(0x60C08040, expected, 0x60);
        EMMSMMX();
        EXPECT_EQ(CountPixels(*bmp, expected), 21);
        EXPECT_EQ(CountPixels(*bmp, 0x80402010), 24);
        bmp->FillRectT(0, 0, 9, 5, 0xFF123456);
        EXPECT_EQ(CountPixels(*bmp, 0xFF123456), 45);
    }
    BindCombineRoutines(HasMMX());
}

TEST(Bitmap32, ResetAlphaDrawToAndAssign)
{
    TBitmapPtr src = NewBitmap(6, 4, 0x00ABCDEF);
    src->FillRect(0, 0, 3, 2, 0x7F102030);
    src->ResetAlpha();
    EXPECT_EQ(*src->PixelPtr(5, 3), 0xFFABCDEFu);
    EXPECT_EQ(*src->PixelPtr(0, 0), 0xFF102030u);

    TBitmapPtr dest = NewBitmap(10, 10, 0);
    src->DrawTo(dest->GetHandle(), 2, 3);
    GdiFlush();
    EXPECT_EQ(*dest->PixelPtr(2, 3) & 0xFFFFFF, 0x102030u);
    EXPECT_EQ(*dest->PixelPtr(7, 6) & 0xFFFFFF, 0xABCDEFu);
    EXPECT_EQ(*dest->PixelPtr(8, 6) & 0xFFFFFF, 0u);
    EXPECT_EQ(*dest->PixelPtr(1, 3) & 0xFFFFFF, 0u);

    src->SetMasterAlpha(99);
    src->SetDrawMode(TDrawMode::dmBlend);
    src->SetOuterColor(0x12345678);
    src->SetStretchFilter(TStretchFilter::sfLinear);
    src->FillRect(5, 3, 6, 4, 0x01020304);
    Counter counter;
    dest->SetOnChange(TNotifyEvent(&counter, &Counter::OnChange));
    dest->Assign(src.get());
    EXPECT_EQ(counter.Changes, 1);
    EXPECT_EQ(dest->GetWidth(), 6);
    EXPECT_EQ(dest->GetHeight(), 4);
    EXPECT_EQ(std::memcmp(dest->GetBits(), src->GetBits(), 6 * 4 * 4), 0);
    EXPECT_EQ(dest->GetMasterAlpha(), 99);
    EXPECT_EQ(dest->GetDrawMode(), TDrawMode::dmBlend);
    EXPECT_EQ(dest->GetOuterColor(), 0x12345678u);
    EXPECT_EQ(dest->GetStretchFilter(), TStretchFilter::sfLinear);

    dest->Assign(nullptr);
    EXPECT_TRUE(dest->Empty());
    EXPECT_EQ(dest->GetUpdateCount(), 0);
}

TEST(Bitmap32, SettersReportOnlyChanges)
{
    TBitmapPtr bmp(New<TBitmap32>());
    EXPECT_EQ(bmp->GetMasterAlpha(), 255);
    EXPECT_EQ(bmp->GetPenColor(), 0xFFFFFFFFu);
    EXPECT_FLOAT_EQ(bmp->GetStippleStep(), 1.0f);
    EXPECT_EQ(bmp->GetOuterColor(), 0u);
    Counter counter;
    bmp->SetOnChange(TNotifyEvent(&counter, &Counter::OnChange));
    bmp->SetMasterAlpha(255);
    bmp->SetDrawMode(TDrawMode::dmOpaque);
    bmp->SetStretchFilter(TStretchFilter::sfNearest);
    EXPECT_EQ(counter.Changes, 0);
    bmp->SetMasterAlpha(10);
    bmp->SetDrawMode(TDrawMode::dmCustom);
    bmp->SetStretchFilter(TStretchFilter::sfSpline);
    EXPECT_EQ(counter.Changes, 3);
}

namespace {

// A component that streams a bitmap the way a picture control would.
class TBitmapHolder : public TComponent {
    SF_CLASS(TBitmapHolder)
public:
    explicit TBitmapHolder(TComponent* owner = nullptr) : TComponent(owner), FBitmap(New<TBitmap32>()) {}
    TBitmap32& Bitmap() { return *FBitmap; }

protected:
    void DefineProperties(TFiler* filer) override { FBitmap->DefineProperties(filer); }

private:
    TBitmapPtr FBitmap;
};

SF_IMPLEMENT_COMPONENT(TBitmapHolder, TComponent)

std::unique_ptr<TMemoryStream, TObjectFree> DataStream(int32_t w, int32_t h, int pixelBytes)
{
    std::unique_ptr<TMemoryStream, TObjectFree> s(New<TMemoryStream>());
    int32_t size[2] = {w, h};
    s->WriteBuffer(size, sizeof(size));
    std::vector<uint8_t> pixels(pixelBytes, 0xAB);
    if (pixelBytes > 0)
        s->WriteBuffer(pixels.data(), pixelBytes);
    s->SetPosition(0);
    return s;
}

}

TEST(Bitmap32Data, RoundTripThroughTheFiler)
{
    RegisterClass(TBitmapHolder::StaticClass());
    std::unique_ptr<TBitmapHolder, TObjectFree> source(New<TBitmapHolder>());
    source->Bitmap().SetSize(5, 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            *source->Bitmap().PixelPtr(x, y) = 0x01000000u * x + 0x00010000u * y + 0x5A;

    std::unique_ptr<TMemoryStream, TObjectFree> stream(New<TMemoryStream>());
    {
        TWriter writer(stream.get());
        writer.WriteRootComponent(source.get());
    }
    stream->SetPosition(0);
    std::unique_ptr<TBitmapHolder, TObjectFree> dest(New<TBitmapHolder>());
    dest->Bitmap().SetSize(9, 9);
    {
        TReader reader(stream.get());
        reader.ReadRootComponent(dest.get());
    }
    ASSERT_EQ(dest->Bitmap().GetWidth(), 5);
    ASSERT_EQ(dest->Bitmap().GetHeight(), 3);
    EXPECT_EQ(std::memcmp(dest->Bitmap().GetBits(), source->Bitmap().GetBits(), 5 * 3 * 4), 0);

    // The payload is W, H and the pixels, top row first.
    std::unique_ptr<TMemoryStream, TObjectFree> raw(New<TMemoryStream>());
    source->Bitmap().WriteData(raw.get());
    ASSERT_EQ(raw->GetSize(), 8 + 60);
    const int32_t* words = static_cast<const int32_t*>(raw->GetMemory());
    EXPECT_EQ(words[0], 5);
    EXPECT_EQ(words[1], 3);
    EXPECT_EQ(static_cast<uint32_t>(words[2 + 5 + 4]), 0x0401005Au);
}

TEST(Bitmap32Data, WrittenOnlyWhenItDiffersFromTheAncestor)
{
    auto written = [](TBitmap32& bmp, TPersistent* ancestor) {
        std::unique_ptr<TMemoryStream, TObjectFree> stream(New<TMemoryStream>());
        TWriter writer(stream.get());
        writer.SetAncestor(ancestor);
        bmp.DefineProperties(&writer);
        return stream->GetSize() > 0;
    };
    TBitmapPtr bmp(New<TBitmap32>());
    TBitmapPtr other(New<TBitmap32>());
    EXPECT_FALSE(written(*bmp, nullptr));
    EXPECT_FALSE(written(*bmp, other.get()));
    bmp->SetSize(2, 2);
    bmp->FillRect(0, 0, 2, 2, 7);
    EXPECT_TRUE(written(*bmp, nullptr));
    EXPECT_TRUE(written(*bmp, other.get()));
    other->Assign(bmp.get());
    EXPECT_FALSE(written(*bmp, other.get()));
    *other->PixelPtr(1, 1) = 8;
    EXPECT_TRUE(written(*bmp, other.get()));
    std::unique_ptr<TComponent, TObjectFree> notABitmap(New<TComponent>());
    bmp->Delete();
    EXPECT_TRUE(written(*bmp, notABitmap.get()));
}

TEST(Bitmap32Data, BadDataRaisesAndKeepsTheBitmap)
{
    TBitmapPtr bmp = NewBitmap(3, 2, 0x11111111);
    struct Case {
        int32_t W, H;
        int Bytes;
    };
    const Case bad[] = {
        {4, 4, 63},              // truncated pixels
        {-1, 4, 0},              // negative width
        {4, -1, 0},              // negative height
        {32768, 32768, 16},      // byte count wraps to 0 in 32 bits
        {0x7FFFFFFF, 0x7FFFFFFF, 0},
        {100000, 100000, 64},    // beyond 2 GB
    };
    for (const Case& c : bad) {
        auto stream = DataStream(c.W, c.H, c.Bytes);
        EXPECT_THROW(bmp->ReadData(stream.get()), EReadError) << c.W << " x " << c.H;
        EXPECT_EQ(bmp->GetWidth(), 3);
        EXPECT_EQ(CountPixels(*bmp, 0x11111111), 6);
    }
    // Only the size header.
    std::unique_ptr<TMemoryStream, TObjectFree> shortHeader(New<TMemoryStream>());
    shortHeader->WriteBuffer("\x05\x00\x00", 3);
    shortHeader->SetPosition(0);
    EXPECT_THROW(bmp->ReadData(shortHeader.get()), EReadError);
    EXPECT_EQ(bmp->GetWidth(), 3);

    // An empty image and one with more bytes than needed read cleanly.
    auto empty = DataStream(0, 7, 0);
    bmp->ReadData(empty.get());
    EXPECT_EQ(bmp->GetWidth(), 0);
    EXPECT_EQ(bmp->GetHeight(), 7);
    auto longer = DataStream(2, 2, 20);
    bmp->ReadData(longer.get());
    EXPECT_EQ(CountPixels(*bmp, 0xABABABAB), 4);
    EXPECT_EQ(longer->GetPosition(), 8 + 16);
}

namespace {

TBitmapPtr Pattern(int w, int h)
{
    TBitmapPtr bmp = NewBitmap(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            *bmp->PixelPtr(x, y) = 0x40000000u | (x * 20) << 16 | (y * 30) << 8 | 0x77;
    return bmp;
}

uint32_t BitmapPixel(TBitmap& bmp, int x, int y)
{
    GdiFlush();
    return static_cast<const uint32_t*>(bmp.GetScanLine(y))[x];
}

}

TEST(Bitmap32Assign, ToAndFromTBitmap)
{
    TBitmapPtr source = Pattern(7, 5);
    std::unique_ptr<TBitmap, TObjectFree> bitmap(New<TBitmap>());
    bitmap->SetPixelFormat(TPixelFormat::pf24bit);
    bitmap->Assign(source.get());
    EXPECT_EQ(bitmap->GetPixelFormat(), TPixelFormat::pf32bit);
    ASSERT_EQ(bitmap->GetWidth(), 7);
    ASSERT_EQ(bitmap->GetHeight(), 5);
    EXPECT_EQ(BitmapPixel(*bitmap, 6, 4) & 0xFFFFFF, *source->PixelPtr(6, 4) & 0xFFFFFF);
    EXPECT_EQ(BitmapPixel(*bitmap, 0, 0) & 0xFFFFFF, 0x77u);

    TBitmapPtr back(New<TBitmap32>());
    back->Assign(bitmap.get());
    ASSERT_EQ(back->GetWidth(), 7);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x)
            ASSERT_EQ(*back->PixelPtr(x, y) & 0xFFFFFF, *source->PixelPtr(x, y) & 0xFFFFFF);

    // A bitmap of fewer bits per pixel has no alpha: the copy is opaque.
    bitmap->SetPixelFormat(TPixelFormat::pf24bit);
    back->Assign(bitmap.get());
    EXPECT_EQ(*back->PixelPtr(3, 2), 0xFF000000u | (*source->PixelPtr(3, 2) & 0xFFFFFF));

    // An empty bitmap32 gives an empty bitmap.
    TBitmapPtr empty(New<TBitmap32>());
    bitmap->Assign(empty.get());
    EXPECT_EQ(bitmap->GetWidth(), 0);
}

TEST(Bitmap32Assign, PictureMetafileAndUnknownSources)
{
    TBitmapPtr source = Pattern(4, 3);
    std::unique_ptr<TPicture, TObjectFree> picture(New<TPicture>());
    picture->Assign(source.get());
    ASSERT_NE(picture->GetGraphic(), nullptr);
    EXPECT_EQ(picture->GetWidth(), 4);

    TBitmapPtr fromPicture(New<TBitmap32>());
    fromPicture->Assign(picture.get());
    EXPECT_EQ(fromPicture->GetHeight(), 3);
    EXPECT_EQ(*fromPicture->PixelPtr(3, 2) & 0xFFFFFF, *source->PixelPtr(3, 2) & 0xFFFFFF);
    std::unique_ptr<TPicture, TObjectFree> emptyPicture(New<TPicture>());
    fromPicture->Assign(emptyPicture.get());
    EXPECT_TRUE(fromPicture->Empty());

    // Another graphic is drawn over the bitmap's context and made opaque.
    HDC ref = GetDC(nullptr);
    RECT frame{0, 0, 2000, 1000};
    HDC mf = CreateEnhMetaFileA(ref, nullptr, &frame, nullptr);
    ReleaseDC(nullptr, ref);
    HBRUSH brush = CreateSolidBrush(RGB(0, 0, 255));
    RECT all{0, 0, 4000, 4000};
    ::FillRect(mf, &all, brush);
    DeleteObject(brush);
    std::unique_ptr<TMetafile, TObjectFree> metafile(New<TMetafile>());
    metafile->SetHandle(CloseEnhMetaFile(mf));
    TBitmapPtr drawn(New<TBitmap32>());
    drawn->Assign(metafile.get());
    ASSERT_EQ(drawn->GetWidth(), metafile->GetWidth());
    ASSERT_EQ(drawn->GetHeight(), metafile->GetHeight());
    ASSERT_FALSE(drawn->Empty());
    EXPECT_EQ(*drawn->PixelPtr(drawn->GetWidth() / 2, drawn->GetHeight() / 2), 0xFF0000FFu);

    std::unique_ptr<TFont, TObjectFree> font(New<TFont>());
    EXPECT_THROW(drawn->Assign(font.get()), EConvertError);
    EXPECT_EQ(drawn->GetUpdateCount(), 0);
    EXPECT_THROW(font->Assign(drawn.get()), EConvertError);
}

TEST(Bitmap32, OwnsAFontLockedWithTheBitmap)
{
    TBitmapPtr bmp = NewBitmap(3, 3);
    ASSERT_NE(bmp->GetFont(), nullptr);
    std::unique_ptr<TFont, TObjectFree> font(New<TFont>());
    font->SetName("Arial");
    font->SetSize(14);
    bmp->SetFont(font.get());
    EXPECT_EQ(bmp->GetFont()->GetName(), "Arial");
    EXPECT_EQ(bmp->GetFont()->GetSize(), 14);

    // While the bitmap is locked, another thread cannot take the font's lock.
    CRITICAL_SECTION* fontLock = bmp->GetFont()->GetOwnerLock();
    ASSERT_NE(fontLock, nullptr);
    bool entered = true;
    bmp->Lock();
    std::thread other([&] {
        entered = TryEnterCriticalSection(fontLock);
        if (entered)
            LeaveCriticalSection(fontLock);
    });
    other.join();
    bmp->Unlock();
    EXPECT_FALSE(entered);
}

TEST(Bitmap32Assign, ThroughTheClipboard)
{
    TBitmapPtr source = Pattern(6, 4);
    Clipboard()->Assign(source.get());
    EXPECT_TRUE(Clipboard()->HasFormat(CF_DIB));

    TBitmapPtr pasted(New<TBitmap32>());
    pasted->Assign(Clipboard());
    ASSERT_EQ(pasted->GetWidth(), 6);
    ASSERT_EQ(pasted->GetHeight(), 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x)
            ASSERT_EQ(*pasted->PixelPtr(x, y) & 0xFFFFFF, *source->PixelPtr(x, y) & 0xFFFFFF) << x << "," << y;
    Clipboard()->Clear();
}
