#include <gtest/gtest.h>

#include <vector>

#include "TestSupport.h"
#include "graphics/ILBitmap.h"
#include "graphics/ILBitmapUtils.h"
#include "graphics/ILUtils.h"

namespace {

TComPtr<IILBitmap> NewILBitmap()
{
    return CreateComObject<IILBitmap>(TILBitmap::StaticClass());
}

TColor32 Pixel(IDib* dib, LONG x, LONG y)
{
    TColor32 colour = 0;
    OleCheck(dib->GetPixel(x, y, &colour));
    return colour;
}

// A library-owned 24-bit picture whose stored rows run in the given order, each pixel coloured
// from its coordinates so that any flip shows.
struct TOwnedILBitmap {
    TILBitmapHandle Handle{};
    TOwnedILBitmap(int width, int height, int32_t perspective)
    {
        LONG stride = (width * 3 + 3) / 4 * 4;
        std::vector<uint8_t> pixels(static_cast<size_t>(stride) * height);
        for (int row = 0; row < height; ++row) {
            int y = perspective == IL_TOP_DOWN ? row : height - 1 - row;
            for (int x = 0; x < width; ++x) {
                uint8_t* p = &pixels[static_cast<size_t>(row) * stride + 3 * x];
                p[0] = static_cast<uint8_t>(10 * x);
                p[1] = static_cast<uint8_t>(10 * y);
                p[2] = 200;
            }
        }
        EXPECT_EQ(IL_CreateBitmap(&Handle, IL_MEMORY_OWNED, width, height, 24, 1, nullptr, perspective, pixels.data(),
                                  static_cast<uint32_t>(pixels.size())),
                  IL_SUCCESS);
        Handle.XResolution = 150;
        Handle.YResolution = 75;
    }
    ~TOwnedILBitmap() { IL_FreeBitmap(&Handle); }
};

TColor32 Expected(int x, int y)
{
    return 0xFF000000u | (200u << 16) | (static_cast<uint32_t>(10 * y) << 8) | static_cast<uint32_t>(10 * x);
}

}

TEST(ILBitmapUtils, ErrorCodesBecomeResultCodes)
{
    EXPECT_EQ(ILErrorToHResult(1), S_OK);
    EXPECT_EQ(ILErrorToHResult(0), static_cast<HRESULT>(0x80004005));
    EXPECT_EQ(ILErrorToHResult(2), static_cast<HRESULT>(0x80004004));
    EXPECT_EQ(ILErrorToHResult(-1), static_cast<HRESULT>(0x80040200));
    EXPECT_EQ(ILErrorToHResult(-10), static_cast<HRESULT>(0x80040209));
    EXPECT_EQ(ILErrorToHResult(-999), static_cast<HRESULT>(0x800405E6));
    EXPECT_EQ(ILErrorToHResult(-1000), static_cast<HRESULT>(0x8000FFFF));
    EXPECT_EQ(ILErrorToHResult(3), static_cast<HRESULT>(0x8000FFFF));
    EXPECT_EQ(ILErrorToHResult(INT32_MIN), static_cast<HRESULT>(0x8000FFFF));
}

TEST(ILBitmap, LibraryRecordSharesTheDibPixels)
{
    auto bitmap = NewILBitmap();
    TILBitmapHandle* record = GetILBitmap(bitmap.Get());
    EXPECT_EQ(record->Pixels, nullptr);

    OleCheck(bitmap->SetFormat(5, 3, 24, 0));
    void* bits = nullptr;
    OleCheck(bitmap->GetBits(&bits));
    EXPECT_EQ(record->Pixels, bits);
    EXPECT_EQ(record->Width, 5);
    EXPECT_EQ(record->Height, 3);
    EXPECT_EQ(record->BitsPerPixel, 24);
    EXPECT_EQ(record->ViewPerspective, IL_BOTTOM_UP);
    EXPECT_EQ(record->MemoryType, IL_MEMORY_USER);

    OleCheck(bitmap->SetHeight(4));
    OleCheck(bitmap->GetBits(&bits));
    EXPECT_EQ(record->Pixels, bits);
    EXPECT_EQ(record->Height, 4) << "the library gets the row count, not the signed height";
    EXPECT_EQ(record->ViewPerspective, IL_TOP_DOWN);

    OleCheck(bitmap->SetResolution(POINT{300, 200}));
    POINT resolution{};
    OleCheck(bitmap->GetResolution(&resolution));
    EXPECT_EQ(resolution.x, 300);
    EXPECT_EQ(resolution.y, 200);
    EXPECT_EQ(record->XResolution, 300);

    // Freed pixels leave no pointer to them behind.
    OleCheck(bitmap->Clear());
    EXPECT_EQ(record->Pixels, nullptr);
    EXPECT_EQ(record->Width, 0);
    OleCheck(bitmap->SetFormat(3, 3, 0, 0));
    EXPECT_EQ(record->Pixels, nullptr) << "no library bitmap over a section that could not be made";

    TComPtr<IDib> dib = bitmap;
    TComPtr<IILBitmap> back = dib.As<IILBitmap>();
    EXPECT_EQ(back, bitmap);
    EXPECT_EQ(dib.As<IUnknown>(), bitmap.As<IUnknown>());
    EXPECT_FALSE((CreateComObject<TSfDib, IDib>().As<IILBitmap>()));
}

TEST(ILBitmapUtils, CopyKeepsTheTopLeftPixelOfATopDownSource)
{
    TOwnedILBitmap source(4, 3, IL_TOP_DOWN);
    auto dest = NewILBitmap();
    ASSERT_EQ(CopyILBitmapToDib(dest.Get(), source.Handle), IL_SUCCESS);
    EXPECT_EQ(source.Handle.ViewPerspective, IL_BOTTOM_UP) << "the source is turned in place";
    LONG width = 0, height = 0, stride = 0;
    OleCheck(dest->GetSize(&width, &height));
    OleCheck(dest->GetStride(&stride));
    EXPECT_EQ(width, 4);
    EXPECT_EQ(height, 3);
    EXPECT_LT(stride, 0);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(Pixel(dest.Get(), x, y), Expected(x, y)) << x << "," << y;
    POINT resolution{};
    OleCheck(dest->GetResolution(&resolution));
    EXPECT_EQ(resolution.x, 150);
    EXPECT_EQ(resolution.y, 75);

    TOwnedILBitmap bottomUp(2, 5, IL_BOTTOM_UP);
    ASSERT_EQ(CopyILBitmapToDib(dest.Get(), bottomUp.Handle), IL_SUCCESS);
    EXPECT_EQ(Pixel(dest.Get(), 1, 4), Expected(1, 4));
    EXPECT_EQ(Pixel(dest.Get(), 0, 0), Expected(0, 0));

    TILBitmapHandle empty{};
    EXPECT_NE(CopyILBitmapToDib(dest.Get(), empty), IL_SUCCESS);
}

TEST(ILBitmapUtils, DrawingPlacesThePicture)
{
    TOwnedILBitmap source(3, 2, IL_TOP_DOWN);
    auto picture = NewILBitmap();
    ASSERT_EQ(CopyILBitmapToDib(picture.Get(), source.Handle), IL_SUCCESS);
    auto canvas = CreateComObject<TSfDib, IDib>();
    OleCheck(canvas->SetFormat(8, 6, 24, 0));
    HDC dc = nullptr;
    OleCheck(canvas->GetHandle(&dc));

    EXPECT_EQ(DrawBitmap(dc, RECT{0, 0, 3, 2}, nullptr), -13);
    EXPECT_EQ(DrawBitmapAt(dc, POINT{0, 0}, nullptr), -13);
    EXPECT_EQ(DrawBitmapAt(dc, POINT{2, 1}, picture.Get()), IL_SUCCESS);
    GdiFlush();
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(Pixel(canvas.Get(), 2 + x, 1 + y) & 0xFFFFFF, Expected(x, y) & 0xFFFFFF) << x << "," << y;
    EXPECT_EQ(Pixel(canvas.Get(), 1, 1) & 0xFFFFFF, 0u);
    EXPECT_EQ(Pixel(canvas.Get(), 5, 1) & 0xFFFFFF, 0u);

    EXPECT_EQ(DrawBitmap(dc, RECT{0, 0, 6, 4}, picture.Get()), IL_SUCCESS);
    GdiFlush();
    EXPECT_EQ(Pixel(canvas.Get(), 0, 0) & 0xFFFFFF, Expected(0, 0) & 0xFFFFFF);
    EXPECT_EQ(Pixel(canvas.Get(), 5, 3) & 0xFFFFFF, Expected(2, 1) & 0xFFFFFF);
}

TEST(ILUtils, LoadImageFile)
{
    TILBitmapHandle bitmap{};
    EXPECT_EQ(LoadImageFile(bitmap, TestTempFile("no-such-picture.bmp")), -10);
    EXPECT_EQ(LoadImageFile(bitmap, TestTempDir()), -10);
    EXPECT_EQ(bitmap.Pixels, nullptr);

    TOwnedILBitmap source(7, 4, IL_TOP_DOWN);
    std::string path = TestTempFile("load.bmp");
    ASSERT_EQ(IL_SaveBitmap(path.c_str(), &source.Handle, IL_FILE_BMP, 24, 0, 0), IL_SUCCESS);
    ASSERT_EQ(LoadImageFile(bitmap, path), IL_SUCCESS);
    EXPECT_EQ(bitmap.Width, 7);
    EXPECT_EQ(bitmap.Height, 4);
    EXPECT_EQ(bitmap.BitsPerPixel, 24);
    IL_FreeBitmap(&bitmap);

    std::string junk = TestTempFile("junk.bmp");
    FILE* f = fopen(junk.c_str(), "wb");
    fputs("not a picture at all", f);
    fclose(f);
    EXPECT_NE(LoadImageFile(bitmap, junk), IL_SUCCESS);
    EXPECT_EQ(bitmap.Pixels, nullptr);
}

TEST(ILBitmapUtils, ThumbnailFillsTheDestinationOrLeavesIt)
{
    // A wide red picture: fitted into 120 x 90 it leaves background bands above and below.
    TILBitmapHandle red{};
    std::vector<uint8_t> pixels(40 * 3 * 10);
    for (size_t i = 0; i < pixels.size(); i += 3)
        pixels[i + 2] = 255;
    ASSERT_EQ(IL_CreateBitmap(&red, IL_MEMORY_OWNED, 40, 10, 24, 1, nullptr, IL_TOP_DOWN, pixels.data(),
                              static_cast<uint32_t>(pixels.size())),
              IL_SUCCESS);
    std::string path = TestTempFile("thumb.bmp");
    ASSERT_EQ(IL_SaveBitmap(path.c_str(), &red, IL_FILE_BMP, 24, 0, 0), IL_SUCCESS);
    IL_FreeBitmap(&red);

    auto dest = NewILBitmap();
    OleCheck(dest->SetFormat(120, 90, 24, 0));
    TILFileInfo info{};
    ASSERT_EQ(LoadThumbnail(dest.Get(), path, RGB(0, 0, 255), &info), IL_SUCCESS);
    EXPECT_EQ(info.Width, 40);
    LONG width = 0, height = 0;
    WORD bits = 0;
    OleCheck(dest->GetSize(&width, &height));
    OleCheck(dest->GetBitCount(&bits));
    EXPECT_EQ(width, 120);
    EXPECT_EQ(height, 90);
    EXPECT_EQ(bits, 24);
    EXPECT_EQ(Pixel(dest.Get(), 60, 45), 0xFFFF0000u);
    EXPECT_EQ(Pixel(dest.Get(), 0, 0), 0xFF0000FFu);
    EXPECT_EQ(Pixel(dest.Get(), 119, 89), 0xFF0000FFu);

    // A failed thumbnail keeps the destination's format.
    OleCheck(dest->SetFormat(30, -20, 32, 0));
    EXPECT_NE(LoadThumbnail(dest.Get(), TestTempFile("missing.png"), 0, nullptr), IL_SUCCESS);
    OleCheck(dest->GetSize(&width, &height));
    OleCheck(dest->GetBitCount(&bits));
    EXPECT_EQ(width, 30);
    EXPECT_EQ(height, 20);
    EXPECT_EQ(bits, 32);
    LONG stride = 0;
    OleCheck(dest->GetStride(&stride));
    EXPECT_GT(stride, 0);
}
