#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "LayerTestSupport.h"
#include "TestSupport.h"
#include "document/LayerImage.h"
#include "graphics/SfTypes.h"
#include "platform/Clipboard.h"
#include "platform/ImagingCodec.h"
#include "platform/ScopeGuards.h"
#include "platform/Graphics.h"
#include "platform/Streams.h"

namespace {

RECT R(int l, int t, int r, int b)
{
    return RECT{l, t, r, b};
}

// An imaging-library bitmap freed at the end of the test.
struct TTestBitmap {
    TILBitmapHandle Handle;
    TTestBitmap() = default;
    TTestBitmap(const TTestBitmap&) = delete;
    TTestBitmap& operator=(const TTestBitmap&) = delete;
    ~TTestBitmap()
    {
        if (Handle.Pixels)
            IL_FreeBitmap(&Handle);
    }
};

// Every pixel a colour of its own: blue = x, green = y, red = 7.
void MakeGradient(TTestBitmap& b, int width, int height, int dpi)
{
    ASSERT_EQ(IL_CreateBitmap(&b.Handle, IL_MEMORY_OWNED, width, height, 24, 1, nullptr, IL_TOP_DOWN, nullptr, 0),
              IL_SUCCESS);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = b.Handle.Pixels + y * b.Handle.BytesPerLine + x * 3;
            p[0] = static_cast<uint8_t>(x);
            p[1] = static_cast<uint8_t>(y);
            p[2] = 7;
        }
    b.Handle.XResolution = b.Handle.YResolution = dpi;
    IL_BitmapChanged(&b.Handle);
}

std::string GradientFile(const std::string& name, int width, int height, int dpi)
{
    TTestBitmap b;
    MakeGradient(b, width, height, dpi);
    std::string path = TestTempFile(name);
    EXPECT_EQ(IL_SaveBitmap(path.c_str(), &b.Handle, IL_FILE_BMP, 24, 0, 0), IL_SUCCESS);
    return path;
}

// The stored pixel at (x, y) of a top-down or bottom-up bitmap as 0xRRGGBB.
uint32_t PixelAt(const TILBitmapHandle& b, int x, int y)
{
    int row = b.ViewPerspective == IL_BOTTOM_UP ? b.Height - 1 - y : y;
    const uint8_t* p = b.Pixels + row * b.BytesPerLine + x * (b.BitsPerPixel / 8);
    return (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
}

std::vector<uint32_t> AllPixels(const TILBitmapHandle& b)
{
    std::vector<uint32_t> all;
    for (int y = 0; y < b.Height; ++y)
        for (int x = 0; x < b.Width; ++x)
            all.push_back(PixelAt(b, x, y));
    return all;
}

// An enhanced metafile of 100 x 50 mm: a red left half, a blue right half.
std::unique_ptr<TMetafile, TObjectFree> TwoColourMetafile()
{
    RECT frame{0, 0, 10000, 5000};
    HDC dc = CreateEnhMetaFileA(nullptr, nullptr, &frame, nullptr);
    int pxW = 0, pxH = 0;
    {
        TWindowDC screen;
        pxW = MulDiv(10000, GetDeviceCaps(screen.Get(), HORZRES), GetDeviceCaps(screen.Get(), HORZSIZE) * 100);
        pxH = MulDiv(5000, GetDeviceCaps(screen.Get(), VERTRES), GetDeviceCaps(screen.Get(), VERTSIZE) * 100);
    }
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255));
    RECT left{0, 0, pxW / 2, pxH};
    RECT right{pxW / 2, 0, pxW, pxH};
    FillRect(dc, &left, red);
    FillRect(dc, &right, blue);
    DeleteObject(red);
    DeleteObject(blue);
    std::unique_ptr<TMetafile, TObjectFree> m(New<TMetafile>());
    m->SetHandle(CloseEnhMetaFile(dc));
    return m;
}

std::string SaveElement(TLayerImage* image)
{
    TStringStream inner;
    TXDataStream stream(&inner);
    stream.BeginGroup("IMAG");
    image->SaveToStream(stream);
    stream.EndGroup("IMAG");
    return inner.GetDataString();
}

TLayerImage* LoadElement(TLayerComposition* page, const std::string& bytes)
{
    TStringStream inner(bytes);
    TXDataStream stream(&inner);
    TChunkHeader header;
    stream.ReadChunkHeader(header);
    EXPECT_TRUE(IsGroupBegin(header, "IMAG"));
    auto* image = static_cast<TLayerImage*>(NewLayerElement(header, page));
    image->LoadFromStream(stream);
    return image;
}

// The tags of the depth-1 chunks of an element group.
std::vector<std::string> ChunkTags(const std::string& bytes)
{
    TStringStream inner(bytes);
    TXDataStream stream(&inner);
    TChunkHeader header;
    stream.ReadChunkHeader(header);
    std::vector<std::string> tags;
    stream.ReadGroupBody([&](const TChunkHeader& h) {
        tags.push_back(std::string(h.Tag.data(), 4));
        return false;
    });
    return tags;
}

bool Has(const std::vector<std::string>& tags, const char* tag)
{
    return std::find(tags.begin(), tags.end(), tag) != tags.end();
}

// A body of chunks: the image's own, then bounds.
std::string ElementWithChunk(const std::string& tag, const std::string& payload)
{
    TStringStream inner;
    TXDataStream stream(&inner);
    stream.BeginGroup("IMAG");
    stream.WriteData(tag, payload.data(), static_cast<int32_t>(payload.size()));
    stream.WriteRect("BNDR", RECT{100, 200, 5100, 3200});
    stream.EndGroup("IMAG");
    return inner.GetDataString();
}

} // namespace

// Picture arithmetic

TEST(ImageGeometry, CroppingByAnEdgeKeepsTheScaleAndTheOtherEdges)
{
    // 200 x 100 pixels shown at 10 units per pixel.
    const RECT bounds = R(1000, 1000, 3000, 2000);
    const RECT clip = R(0, 0, 200, 100);
    const SIZE image{200, 100};
    RECT c, b;

    // The left edge dragged 500 units right hides 50 pixels; the right edge stays.
    ASSERT_TRUE(ImageGeometry::CropClip(bounds, clip, image, R(1500, 1000, 3000, 2000), c, b));
    EXPECT_RECT(R(50, 0, 200, 100), c);
    EXPECT_RECT(R(1500, 1000, 3000, 2000), b);

    // Dragged beyond the picture's edge, it stops at the full picture.
    ASSERT_TRUE(ImageGeometry::CropClip(b, c, image, R(0, 1000, 3000, 2000), c, b));
    EXPECT_RECT(R(0, 0, 200, 100), c);
    EXPECT_RECT(bounds, b);

    // The right edge past the left one: one pixel remains, inside the picture.
    ASSERT_TRUE(ImageGeometry::CropClip(bounds, clip, image, R(1000, 1000, 500, 2000), c, b));
    EXPECT_RECT(R(0, 0, 1, 100), c);
    EXPECT_RECT(R(1000, 1000, 1010, 2000), b);
    // The left edge past the right one of a picture's last pixel column.
    ASSERT_TRUE(ImageGeometry::CropClip(bounds, clip, image, R(9000, 1000, 3000, 2000), c, b));
    EXPECT_RECT(R(199, 0, 200, 100), c);
    EXPECT_RECT(R(2990, 1000, 3000, 2000), b);

    // The bottom edge of a cropped clip, moved back inside.
    ASSERT_TRUE(ImageGeometry::CropClip(bounds, R(0, 50, 200, 100), image, R(1000, 1000, 3000, 5000), c, b));
    EXPECT_RECT(R(0, 50, 200, 100), c);

    // Nothing to crop: empty picture, clip or bounds.
    EXPECT_FALSE(ImageGeometry::CropClip(bounds, clip, SIZE{0, 100}, bounds, c, b));
    EXPECT_FALSE(ImageGeometry::CropClip(bounds, R(5, 5, 5, 50), image, bounds, c, b));
    EXPECT_FALSE(ImageGeometry::CropClip(R(0, 0, 0, 100), clip, image, bounds, c, b));
}

TEST(ImageGeometry, KeepRatioLetsTheSmallerScaleWin)
{
    const RECT clip = R(0, 0, 400, 300);
    int w = 8000, h = 1500;
    ImageGeometry::KeepRatio(clip, w, h);
    EXPECT_EQ(w, 2000);
    EXPECT_EQ(h, 1500);
    w = 800;
    h = 6000;
    ImageGeometry::KeepRatio(clip, w, h);
    EXPECT_EQ(w, 800);
    EXPECT_EQ(h, 600);
    w = 123;
    h = 456;
    ImageGeometry::KeepRatio(R(3, 3, 3, 10), w, h);
    ImageGeometry::KeepRatio(R(3, 3, 10, 3), w, h);
    EXPECT_EQ(w, 123);
    EXPECT_EQ(h, 456);
}

TEST(ImageGeometry, TurnsComeBackToTheStart)
{
    const SIZE image{300, 200};
    const SIZE turned{200, 300};
    const RECT clip = R(10, 20, 250, 190);
    RECT c = ImageGeometry::RotateClipLeft(clip, image);
    EXPECT_RECT(R(20, 50, 190, 290), c);
    c = ImageGeometry::RotateClipLeft(c, turned);
    EXPECT_RECT(ImageGeometry::RotateClip180(clip, image), c);
    c = ImageGeometry::RotateClipRight(c, image);
    c = ImageGeometry::RotateClipRight(c, turned);
    EXPECT_RECT(clip, c);
    c = clip;
    for (int i = 0; i < 4; ++i)
        c = ImageGeometry::RotateClipRight(c, i % 2 ? turned : image);
    EXPECT_RECT(clip, c);
    EXPECT_RECT(clip, ImageGeometry::RotateClip180(ImageGeometry::RotateClip180(clip, image), image));
}

TEST(ImageGeometry, MetafileResolutionOfAnUnknownSizeIsZero)
{
    POINT r = ImageGeometry::MetafileResolution(SIZE{1000, 500}, SIZE{25400, 12700});
    EXPECT_EQ(r.x, 100);
    EXPECT_EQ(r.y, 100);
    r = ImageGeometry::MetafileResolution(SIZE{1000, 500}, SIZE{0, 12700});
    EXPECT_EQ(r.x, 0);
    r = ImageGeometry::MetafileResolution(SIZE{1000, 500}, SIZE{25400, -5});
    EXPECT_EQ(r.y, 0);
}

TEST(ImageGeometry, RasterSizeFitsTheClipAndRefusesTheImpossible)
{
    SIZE size;
    RECT clip;
    // A 25.4 x 12.7 mm element at 200 dpi is 200 x 100 pixels; the clip of 50 x 25 picture
    // pixels is scaled by 4, the whole 100 x 100 picture with it.
    ASSERT_TRUE(ImageGeometry::RasterSize(SIZE{2540, 1270}, 200, R(50, 0, 100, 25), SIZE{100, 100}, size, clip));
    EXPECT_EQ(size.cx, 400);
    EXPECT_EQ(size.cy, 400);
    EXPECT_RECT(R(200, 0, 400, 100), clip);

    EXPECT_FALSE(ImageGeometry::RasterSize(SIZE{2540, 1270}, 0, R(0, 0, 10, 10), SIZE{10, 10}, size, clip));
    EXPECT_FALSE(ImageGeometry::RasterSize(SIZE{0, 1270}, 300, R(0, 0, 10, 10), SIZE{10, 10}, size, clip));
    EXPECT_FALSE(ImageGeometry::RasterSize(SIZE{2540, 1270}, 300, R(0, 0, 0, 10), SIZE{10, 10}, size, clip));
    // A tiny clip of a huge picture would need gigabytes.
    EXPECT_FALSE(ImageGeometry::RasterSize(SIZE{25400, 25400}, 600, R(0, 0, 1, 1), SIZE{100000, 100000}, size, clip));
}

// The element

TEST(LayerImage, LoadingGivesThePictureSizeAtItsResolution)
{
    std::string path = GradientFile("hundred.bmp", 1000, 500, 100);
    auto page = NewPage();
    auto* image = AddElement<TLayerImage>(page.get(), 300, 400, 10, 10);
    EXPECT_TRUE(image->IsEmpty());
    image->LoadFromFile(path);
    ASSERT_TRUE(image->IsBitmap());
    EXPECT_EQ(image->GetLoadResult(), IL_SUCCESS);
    EXPECT_RECT(R(300, 400, 300 + 25400, 400 + 12700), image->GetBounds());
    EXPECT_RECT(R(0, 0, 1000, 500), image->GetClipRect());
    EXPECT_EQ(image->GetResolution().x, 100);
    EXPECT_EQ(image->GetSourceFile(), path);

    // A missing file changes nothing; a file that is no picture leaves the element empty.
    image->LoadFromFile(TestTempFile("missing.bmp"));
    EXPECT_TRUE(image->IsBitmap());
    std::string junk = TestTempFile("junk.png");
    TStringStream text("not a picture at all");
    {
        TFileStream f(junk, fmCreate);
        f.CopyFrom(&text, 0);
    }
    image->LoadFromFile(junk);
    EXPECT_TRUE(image->IsEmpty());
    EXPECT_NE(image->GetLoadResult(), IL_SUCCESS);
}

TEST(LayerImage, EdgesCropAndCornersKeepTheRatio)
{
    std::string path = GradientFile("crop.bmp", 200, 100, 254);
    auto page = NewPage();
    auto* image = AddElement<TLayerImage>(page.get(), 1000, 1000, 10, 10);
    image->LoadFromFile(path);
    EXPECT_RECT(R(1000, 1000, 3000, 2000), image->GetBounds());

    image->SetRect(R(1500, 1000, 3000, 2000), POINT{0, 0}, lpmLeft);
    EXPECT_RECT(R(50, 0, 200, 100), image->GetClipRect());
    EXPECT_EQ(image->GetBounds().right, 3000);
    EXPECT_NEAR(image->GetLeft(), 1500, 1);

    // The bottom-right corner towards a wide flat rectangle: the height asked for, the width
    // from the clip's proportions.
    image->SetRect(R(1500, 1000, 9000, 1600), POINT{0, 0}, lpmBottomRight);
    EXPECT_EQ(image->GetHeight(), 600);
    EXPECT_EQ(image->GetWidth(), 900);
    EXPECT_EQ(image->GetLeft(), 1500);
    // The top-left corner keeps the bottom-right one.
    image->SetRect(R(0, 0, 2400, 1600), POINT{0, 0}, lpmTopLeft);
    EXPECT_EQ(image->GetBounds().right, 2400);
    EXPECT_EQ(image->GetBounds().bottom, 1600);
    EXPECT_EQ(image->GetWidth(), 2400);
    EXPECT_EQ(image->GetHeight(), 1600);

    // Width and height follow each other.
    image->SetWidth(1200);
    EXPECT_EQ(image->GetHeight(), 800);

    // Fitting the page width: edges do nothing.
    image->SetAlign(laFitWidth);
    RECT before = image->GetBounds();
    RECT clip = image->GetClipRect();
    image->SetRect(R(before.left + 500, before.top, before.right, before.bottom), POINT{0, 0}, lpmLeft);
    EXPECT_RECT(before, image->GetBounds());
    EXPECT_RECT(clip, image->GetClipRect());
}

TEST(LayerImage, IsNeverMovedBySnapping)
{
    auto page = NewPage();
    page->SnapX = 500;
    auto* image = AddElement<TLayerImage>(page.get(), 0, 0, 100, 100);
    image->SetRect(R(40, 40, 140, 140), POINT{0, 0}, lpmMove);
    EXPECT_RECT(R(40, 40, 140, 140), image->GetBounds());
    EXPECT_TRUE(page->Modes.empty());
}

TEST(LayerImage, AnEmptyImageCropsAndResizesWithoutDividingByZero)
{
    auto page = NewPage();
    auto* image = AddElement<TLayerImage>(page.get(), 0, 0, 0, 0);
    image->SetRect(R(0, 0, 500, 500), POINT{0, 0}, lpmRight);
    EXPECT_RECT(R(0, 0, 0, 0), image->GetBounds());
    image->SetWidth(700);
    image->SetHeight(300);
    EXPECT_EQ(image->GetWidth(), 700);
    EXPECT_EQ(image->GetHeight(), 300);
    image->SetBounds(0, 0, 0, 0);
    image->SetKeepRatio(true);
    image->SetWidth(10);
    EXPECT_EQ(image->GetWidth(), 10);
}

TEST(LayerImage, TurningBackAndForthRestoresClipAndPixels)
{
    std::string path = GradientFile("turn.bmp", 60, 40, 254);
    auto page = NewPage();
    auto* image = AddElement<TLayerImage>(page.get(), 0, 0, 10, 10);
    image->LoadFromFile(path);
    image->SetRect(R(100, 0, 600, 400), POINT{0, 0}, lpmLeft);
    const RECT clip = image->GetClipRect();
    const std::vector<uint32_t> pixels = AllPixels(*image->GetBitmapHandle());
    const int w = image->GetWidth(), h = image->GetHeight();

    image->RotateRight();
    EXPECT_TRUE(image->GetSourceFile().empty());
    EXPECT_TRUE(Has(ChunkTags(SaveElement(image)), "BMPD"));
    EXPECT_EQ(image->GetImageWidth(), 40);
    EXPECT_EQ(image->GetWidth(), h);
    EXPECT_EQ(image->GetHeight(), w);
    // The top-left pixel of the picture is now at the top-right.
    EXPECT_EQ(PixelAt(*image->GetBitmapHandle(), 39, 0), pixels[0]);

    image->RotateLeft();
    image->RotateLeft();
    image->RotateRight();
    EXPECT_RECT(clip, image->GetClipRect());
    EXPECT_EQ(AllPixels(*image->GetBitmapHandle()), pixels);
    image->Rotate180();
    EXPECT_EQ(PixelAt(*image->GetBitmapHandle(), 59, 39), pixels[0]);
    image->Rotate180();
    EXPECT_EQ(AllPixels(*image->GetBitmapHandle()), pixels);
    EXPECT_RECT(clip, image->GetClipRect());
}

TEST(LayerImage, ACaptionFollowsAQuarterTurn)
{
    std::string path = GradientFile("caption.bmp", 60, 40, 254);
    auto page = NewPage();
    auto* image = AddElement<TLayerImage>(page.get(), 0, 0, 10, 10);
    image->LoadFromFile(path);
    auto* caption = AddElement<TLayerRect>(page.get(), 0, 0, 100, 100);
    caption->SetAttachedTo(image);
    caption->SetAlign(laBelow);
    EXPECT_EQ(caption->GetTop(), 400);
    image->RotateLeft();
    EXPECT_EQ(caption->GetTop(), 600);
}

TEST(LayerImage, DrawsItsClipOntoTheDeviceRectangle)
{
    std::string path = GradientFile("draw.bmp", 100, 50, 254);
    auto page = NewPage();
    auto* image = AddElement<TLayerImage>(page.get(), 0, 0, 10, 10);
    image->LoadFromFile(path);
    image->SetRect(R(500, 0, 1000, 500), POINT{0, 0}, lpmLeft);
    EXPECT_RECT(R(50, 0, 100, 50), image->GetClipRect());

    // Printing at 254 dpi: one pixel per ten units, the clip at the bounds.
    TTestSurface surface(200, 100);
    THiMetric map;
    map.SetDPI(POINT{254, 254});
    image->Print(surface.DC(), map);
    EXPECT_EQ(surface.At(50, 0), 0x070032u);
    EXPECT_EQ(surface.At(99, 49), 0x073163u);
    // Outside the bounds nothing is drawn.
    EXPECT_EQ(surface.At(49, 10), 0xFFFFFFu);
    EXPECT_EQ(surface.At(100, 10), 0xFFFFFFu);
}

TEST(LayerImage, MetafilesDrawInsideTheirBoundsAndRasterize)
{
    auto page = NewPage();
    auto* image = AddElement<TLayerImage>(page.get(), 0, 0, 10, 10);
    std::string path = TestTempFile("two.emf");
    TwoColourMetafile()->SaveToFile(path);
    image->LoadFromFile(path);
    ASSERT_EQ(image->GetKind(), likMetafile);
    EXPECT_NEAR(image->GetWidth(), 10000, 60);
    EXPECT_NEAR(image->GetHeight(), 5000, 60);
    // Show the right half only.
    image->SetBounds(0, 0, 10000, 5000);
    image->SetRect(R(5000, 0, 10000, 5000), POINT{0, 0}, lpmLeft);
    EXPECT_NEAR(image->GetLeft(), 5000, 30);

    TTestSurface surface(200, 100);
    THiMetric map;
    map.SetDPI(POINT{25, 25});
    // 25 dpi: 10000 units are 98 pixels.
    image->Print(surface.DC(), map);
    RECT d = map.LPtoDPRect(image->GetBounds());
    EXPECT_EQ(surface.At(d.left + 2, 10), 0x0000FFu);
    EXPECT_EQ(surface.At(d.left - 2, 10), 0xFFFFFFu);

    const RECT bounds = image->GetBounds();
    image->RasterizeMetafile(127);
    ASSERT_TRUE(image->IsBitmap());
    EXPECT_RECT(bounds, image->GetBounds());
    EXPECT_EQ(image->GetResolution().x, 127);
    // 50 mm at 127 dpi is 250 pixels for the clip; the whole picture is twice as wide.
    EXPECT_NEAR(image->GetImageWidth(), 500, 3);
    EXPECT_NEAR(image->GetClipRect().left, 250, 3);
    EXPECT_EQ(PixelAt(*image->GetBitmapHandle(), image->GetImageWidth() - 5, 10), 0x0000FFu);
    EXPECT_EQ(PixelAt(*image->GetBitmapHandle(), 5, 10), 0xFF0000u);
    // The pixels now exist only in the element: they travel with it even by name-only saving.
    EXPECT_TRUE(image->GetSourceFile().empty());
    EXPECT_TRUE(Has(ChunkTags(SaveElement(image)), "BMPD"));
}

TEST(LayerImage, AFailedRasterizationChangesNothing)
{
    auto page = NewPage();
    auto* image = AddElement<TLayerImage>(page.get(), 0, 0, 10, 10);
    std::string path = TestTempFile("huge.emf");
    TwoColourMetafile()->SaveToFile(path);
    image->LoadFromFile(path);
    image->SetBounds(0, 0, 10000, 5000);
    image->SetRect(R(0, 0, 10, 5000), POINT{0, 0}, lpmRight);
    const RECT clip = image->GetClipRect();
    const RECT bounds = image->GetBounds();
    EXPECT_THROW(image->RasterizeMetafile(1000000), EInvalidOperation);
    EXPECT_THROW(image->RasterizeMetafile(0), EInvalidOperation);
    EXPECT_EQ(image->GetKind(), likMetafile);
    EXPECT_RECT(clip, image->GetClipRect());
    EXPECT_RECT(bounds, image->GetBounds());
}

// Chunks

TEST(LayerImageChunks, EmbeddedBitmapRoundTrips)
{
    std::string path = GradientFile("embed.bmp", 30, 20, 300);
    auto page = NewPage();
    auto* image = AddElement<TLayerImage>(page.get(), 0, 0, 10, 10);
    image->LoadFromFile(path);
    image->SetRect(R(100, 0, 254, 169), POINT{0, 0}, lpmLeft);
    image->SetClipEnabled(true);
    image->SetBounds(500, 600, 2000, 1000);
    const RECT bounds = image->GetBounds();

    bool was = SetLayerImageEmbedData(true);
    std::string bytes = SaveElement(image);
    SetLayerImageEmbedData(was);
    std::vector<std::string> tags = ChunkTags(bytes);
    ASSERT_GE(tags.size(), 6u);
    EXPECT_EQ(std::vector<std::string>(tags.begin(), tags.begin() + 6),
              (std::vector<std::string>{"SRCE", "BMPD", "KRAT", "CLPE", "CLPR", "NAME"}));

    DeleteFileA(path.c_str());
    TLayerImage* copy = LoadElement(page.get(), bytes);
    ASSERT_TRUE(copy->IsBitmap());
    EXPECT_RECT(bounds, copy->GetBounds());
    EXPECT_RECT(image->GetClipRect(), copy->GetClipRect());
    EXPECT_TRUE(copy->GetClipEnabled());
    EXPECT_EQ(copy->GetResolution().x, 300);
    // The file is gone: the stored pixels are the picture now, and the dead path is forgotten so
    // that a save by name only cannot lose them.
    EXPECT_EQ(copy->GetSourceFile(), "");
    EXPECT_EQ(AllPixels(*copy->GetBitmapHandle()), AllPixels(*image->GetBitmapHandle()));
}

TEST(LayerImageChunks, ImagesFromFilesTravelByNameUnlessEmbedded)
{
    std::string path = GradientFile("byname.bmp", 30, 20, 300);
    auto page = NewPage();
    auto* image = AddElement<TLayerImage>(page.get(), 0, 0, 10, 10);
    image->LoadFromFile(path);
    image->SetBounds(100, 100, 3000, 2000);
    std::string bytes = SaveElement(image);
    EXPECT_FALSE(Has(ChunkTags(bytes), "BMPD"));

    // The source is found again.
    TLayerImage* copy = LoadElement(page.get(), bytes);
    EXPECT_TRUE(copy->IsBitmap());
    EXPECT_RECT(image->GetBounds(), copy->GetBounds());

    // A source that is gone leaves an empty element at its stored bounds.
    DeleteFileA(path.c_str());
    TLayerImage* gone = LoadElement(page.get(), bytes);
    EXPECT_TRUE(gone->IsEmpty());
    EXPECT_RECT(image->GetBounds(), gone->GetBounds());
    EXPECT_EQ(gone->GetSourceFile(), path);
    // And is written by name again.
    EXPECT_FALSE(Has(ChunkTags(SaveElement(gone)), "BMPD"));
}

TEST(LayerImageChunks, MetafileRoundTripsAndBadPayloadsAreRefused)
{
    auto page = NewPage();
    auto* image = AddElement<TLayerImage>(page.get(), 0, 0, 10, 10);
    std::string path = TestTempFile("round.emf");
    TwoColourMetafile()->SaveToFile(path);
    image->LoadFromFile(path);
    bool was = SetLayerImageEmbedData(true);
    std::string bytes = SaveElement(image);
    SetLayerImageEmbedData(was);
    EXPECT_TRUE(Has(ChunkTags(bytes), "WMFD"));
    DeleteFileA(path.c_str());
    TLayerImage* copy = LoadElement(page.get(), bytes);
    EXPECT_EQ(copy->GetKind(), likMetafile);
    EXPECT_EQ(copy->GetImageWidth(), image->GetImageWidth());
    EXPECT_RECT(image->GetBounds(), copy->GetBounds());

    // A metafile payload cut short, or none at all.
    std::string payload = EncodeMetafileData(image->GetMetafile());
    EXPECT_THROW(LoadElement(page.get(), ElementWithChunk("WMFD", payload.substr(0, payload.size() / 2))),
                 EInvalidGraphic);
    EXPECT_THROW(LoadElement(page.get(), ElementWithChunk("WMFD", "nonsense")), EInvalidGraphic);
}

TEST(LayerImageChunks, BitmapPayloadsAreCheckedBeforeAllocating)
{
    TTestBitmap b;
    MakeGradient(b, 8, 4, 96);
    std::string payload = EncodeBitmapData(b.Handle);
    ASSERT_EQ(payload.substr(0, 2), "BM");

    auto page = NewPage();
    // A header claiming 60000 x 60000 pixels in a payload of a few bytes.
    std::string huge = payload;
    uint32_t side = 60000;
    std::memcpy(&huge[18], &side, 4);
    std::memcpy(&huge[22], &side, 4);
    TLayerImage* image = LoadElement(page.get(), ElementWithChunk("BMPD", huge));
    EXPECT_TRUE(image->IsEmpty());
    EXPECT_NE(image->GetLoadResult(), IL_SUCCESS);
    EXPECT_RECT(R(100, 200, 5100, 3200), image->GetBounds());

    for (size_t cut : {size_t(0), size_t(10), payload.size() - 5}) {
        TLayerImage* cutShort = LoadElement(page.get(), ElementWithChunk("BMPD", payload.substr(0, cut)));
        EXPECT_TRUE(cutShort->IsEmpty()) << cut;
    }
    TLayerImage* good = LoadElement(page.get(), ElementWithChunk("BMPD", payload));
    EXPECT_TRUE(good->IsBitmap());
    EXPECT_EQ(good->GetImageWidth(), 8);
}

namespace {

void PutLE32(std::string& s, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        s[at + i] = char(v >> (8 * i));
}

// Damage as a file comes to have it: a few bytes changed, a size or count set to a boundary, or
// the end cut off.
std::string Damaged(const std::string& payload, size_t from, std::mt19937& random)
{
    static const uint32_t boundaries[] = {0, 1, 0xFF, 0x7FFF, 0xFFFF, 0x7FFFFFFF, 0x80000000u, 0xFFFFFFFFu, 0x00100000};
    std::string damaged = payload;
    for (int i = 0, n = 1 + int(random() % 4); i < n; ++i) {
        const size_t at = from + random() % (damaged.size() - from - 4);
        if (random() % 2)
            damaged[at] = char(random());
        else
            PutLE32(damaged, at & ~size_t(1), boundaries[random() % std::size(boundaries)]);
    }
    if (random() % 8 == 0)
        damaged.resize(from + random() % (damaged.size() - from));
    return damaged;
}

} // namespace

// A project or clipboard block whose metafile data is damaged: the element refuses it with the
// picture error, or draws on screen and paper and saves what it holds, all in bounded time and memory.
TEST(LayerImageChunks, DamagedEmbeddedMetafilesAreRefusedOrDrawnAndSavedSafely)
{
    auto page = NewPage();
    auto enhanced = TwoColourMetafile();
    auto placeable = TwoColourMetafile();
    placeable->SetEnhanced(false);
    std::mt19937 random(20261210);
    TCaseWatch watch;
    int loaded = 0, refused = 0;
    for (TMetafile* metafile : {enhanced.get(), placeable.get()}) {
        const std::string payload = EncodeMetafileData(metafile);
        const size_t records = metafile->GetEnhanced() ? 88 : 22 + 18;
        for (int round = 0; round < 120; ++round) {
            const std::string name = std::string(metafile->GetEnhanced() ? "emf" : "wmf") + " #" + std::to_string(round);
            SCOPED_TRACE(name);
            const std::string damaged = Damaged(payload, records, random);
            TLayerImage* image = nullptr;
            watch.Begin(name + " load");
            try {
                image = LoadElement(page.get(), ElementWithChunk("WMFD", damaged));
            } catch (const EInvalidGraphic&) {
            }
            EXPECT_LT(watch.End(), size_t(16) << 20);
            if (!image) {
                ++refused;
                continue;
            }
            ++loaded;
            TTestSurface surface(200, 100);
            THiMetric map;
            watch.Begin(name + " draw");
            for (int dpi : {25, 2540}) {
                map.SetDPI(POINT{dpi, dpi});
                image->Print(surface.DC(), map);
            }
            EXPECT_LT(watch.End(), size_t(64) << 20);
            const bool was = SetLayerImageEmbedData(true);
            watch.Begin(name + " save");
            const std::string saved = SaveElement(image);
            EXPECT_LT(watch.End(), size_t(16) << 20);
            SetLayerImageEmbedData(was);
            EXPECT_NO_THROW(LoadElement(page.get(), saved));
        }
    }
    EXPECT_GT(loaded, 20);
    EXPECT_GT(refused, 20);
}

// The checks a picture file gets guard a picture embedded in a project too.
TEST(LayerImageChunks, EmbeddedPicturesGetTheChecksOfPictureFiles)
{
    // 16384 x 16384 pixels, run-length coded in 64 bytes: ended at once.
    std::string rle = std::string("BM") + std::string(52, '\0') + std::string(8, '\0') + std::string("\0\1", 2);
    PutLE32(rle, 10, 62);
    PutLE32(rle, 14, 40);
    PutLE32(rle, 18, 16384);
    PutLE32(rle, 22, 16384);
    rle[26] = 1;
    rle[28] = 8;
    rle[30] = BI_RLE8;
    PutLE32(rle, 34, 2);
    PutLE32(rle, 46, 2);
    // A PNG whose first chunk after its header announces a gigabyte, in 41 bytes.
    std::string png = std::string("\x89PNG\r\n\x1a\n") + std::string(4, '\0') + "IHDR" + std::string(17, '\0') +
                      std::string("\x40\0\0\0tEXt", 8);
    png[11] = 13;
    png[18] = png[22] = 0x10;
    png[24] = 8;
    auto page = NewPage();
    TCaseWatch watch;
    // The run-length picture is valid: what it needs in memory, here more than a budget of 512 MB,
    // is what refuses it.
    const uint64_t budget = ImagingCodec::SetPictureMemoryCeiling(uint64_t(512) << 20);
    for (auto [payload, expected] : {std::pair{&rle, IL_ERROR_NO_MEMORY}, std::pair{&png, IL_ERROR_FILE_FORMAT}}) {
        watch.Begin("embedded picture");
        TLayerImage* image = LoadElement(page.get(), ElementWithChunk("BMPD", *payload));
        EXPECT_LT(watch.End(), size_t(16) << 20);
        EXPECT_TRUE(image->IsEmpty());
        EXPECT_EQ(image->GetLoadResult(), expected);
    }
    ImagingCodec::SetPictureMemoryCeiling(budget);
    // A sound picture that the memory left cannot hold.
    TTestBitmap b;
    MakeGradient(b, 80, 40, 96);
    const std::string sound = EncodeBitmapData(b.Handle);
    const uint64_t previous = ImagingCodec::SetPictureMemoryCeiling(4096);
    TLayerImage* tooLarge = LoadElement(page.get(), ElementWithChunk("BMPD", sound));
    ImagingCodec::SetPictureMemoryCeiling(previous);
    EXPECT_TRUE(tooLarge->IsEmpty());
    EXPECT_EQ(tooLarge->GetLoadResult(), IL_ERROR_NO_MEMORY);
    EXPECT_TRUE(LoadElement(page.get(), ElementWithChunk("BMPD", sound))->IsBitmap());
}

TEST(LayerImage, PaintsTheClipIntoTheViewBuffer)
{
    std::string path = GradientFile("paint.bmp", 100, 50, 254);
    auto page = NewPage();
    auto* image = AddElement<TLayerImage>(page.get(), 0, 0, 10, 10);
    image->LoadFromFile(path);
    image->SetRect(R(500, 0, 1000, 500), POINT{0, 0}, lpmLeft);
    TOwned<TLayerCanvas> canvas(New<TLayerCanvas>());
    canvas->Resize(200, 100);
    std::fill(canvas->GetMainBuffer()->GetBits(), canvas->GetMainBuffer()->GetBits() + 200 * 100, TColor32(0xFFFFFFFF));
    canvas->GetMapMode()->SetDPI(POINT{254, 254});
    // Only the update rectangle is painted.
    image->Paint(canvas.get(), R(0, 0, 80, 100));
    auto rgb = [&](int x, int y) { return *canvas->GetMainBuffer()->PixelPtr(x, y) & 0xFFFFFF; };
    EXPECT_EQ(rgb(50, 0), 0x070032u);
    EXPECT_EQ(rgb(79, 20), 0x07144Fu);
    EXPECT_EQ(rgb(80, 20), 0xFFFFFFu);
    EXPECT_EQ(rgb(49, 20), 0xFFFFFFu);
}

TEST(LayerImage, TextBecomesABitmapAtItsBounds)
{
    auto page = NewPage();
    auto* text = AddElement<TLayerText>(page.get(), 300, 400, 5080, 1270);
    text->SetText("Sheetfold");
    auto* image = AddElement<TLayerImage>(page.get(), 0, 0, 10, 10);
    EXPECT_THROW(image->RasterizeText(text, 0), EInvalidOperation);
    EXPECT_TRUE(image->IsEmpty());

    image->RasterizeText(text, 100);
    ASSERT_TRUE(image->IsBitmap());
    EXPECT_EQ(image->GetImageWidth(), 200);
    EXPECT_EQ(image->GetImageHeight(), 50);
    EXPECT_RECT(text->GetBounds(), image->GetBounds());
    EXPECT_EQ(image->GetResolution().y, 100);
    int ink = 0;
    for (uint32_t p : AllPixels(*image->GetBitmapHandle()))
        ink += p != 0xFFFFFFu;
    EXPECT_GT(ink, 20);
}

// The clipboard is shared with the other test programs that run at the same time: a paste that
// finds someone else's data is tried again.
TEST(LayerImageClipboard, PastesBitmapsAndRendersMetafiles)
{
    auto page = NewPage();
    auto* image = AddElement<TLayerImage>(page.get(), 0, 0, 10, 10);

    BITMAPINFOHEADER h{};
    h.biSize = sizeof(h);
    h.biWidth = 4;
    h.biHeight = 2;
    h.biPlanes = 1;
    h.biBitCount = 24;
    std::vector<uint8_t> block(sizeof(h) + 2 * 12, 0);
    std::memcpy(block.data(), &h, sizeof(h));
    block[sizeof(h) + 2] = 0xFF; // bottom-left pixel red
    bool pasted = false;
    for (int attempt = 0; attempt < 3 && !pasted; ++attempt) {
        Clipboard()->SetBuffer(CF_DIB, block.data(), block.size());
        image->PasteFromClipboard();
        pasted = image->IsBitmap() && image->GetImageWidth() == 4;
    }
    ASSERT_TRUE(pasted);
    EXPECT_EQ(PixelAt(*image->GetBitmapHandle(), 0, 1), 0xFF0000u);
    EXPECT_TRUE(image->GetSourceFile().empty());
    EXPECT_TRUE(Has(ChunkTags(SaveElement(image)), "BMPD"));

    auto metafile = TwoColourMetafile();
    pasted = false;
    for (int attempt = 0; attempt < 3 && !pasted; ++attempt) {
        Clipboard()->Assign(metafile.get());
        image->PasteFromClipboard();
        pasted = image->IsBitmap() && image->GetImageWidth() == metafile->GetWidth();
    }
    ASSERT_TRUE(pasted);
    EXPECT_EQ(image->GetMetafile(), nullptr);
    EXPECT_EQ(PixelAt(*image->GetBitmapHandle(), 2, 2), 0xFF0000u);
    EXPECT_EQ(PixelAt(*image->GetBitmapHandle(), image->GetImageWidth() - 3, 2), 0x0000FFu);
    Clipboard()->Clear();
}

TEST(LayerImage, AFailedTurnChangesNothing)
{
    std::string path = GradientFile("noturn.bmp", 60, 40, 254);
    auto page = NewPage();
    auto* image = AddElement<TLayerImage>(page.get(), 0, 0, 10, 10);
    image->LoadFromFile(path);
    image->SetRect(R(100, 0, 600, 400), POINT{0, 0}, lpmLeft);
    const RECT clip = image->GetClipRect();
    const RECT bounds = image->GetBounds();
    // Pixels that belong to someone else cannot change their row length: the library refuses a
    // quarter turn of them.
    const TILBitmapHandle own = *image->GetBitmapHandle();
    std::vector<uint8_t> pixels(size_t(own.BytesPerLine) * own.Height);
    TILBitmapHandle borrowed;
    ASSERT_EQ(IL_CreateBitmap(&borrowed, IL_MEMORY_USER, own.Width, own.Height, 24, 1, nullptr, IL_TOP_DOWN,
                              pixels.data(), static_cast<uint32_t>(pixels.size())),
              IL_SUCCESS);
    *image->GetBitmapHandle() = borrowed;
    EXPECT_THROW(image->RotateLeft(), EInvalidOperation);
    EXPECT_RECT(clip, image->GetClipRect());
    EXPECT_RECT(bounds, image->GetBounds());
    EXPECT_EQ(image->GetImageWidth(), 60);
    EXPECT_EQ(image->GetSourceFile(), path);
    *image->GetBitmapHandle() = own;
}

TEST(LayerImageChunks, PicturesReadStraightFromTheFileTurnAndSaveAsDecodedOnes)
{
    std::string path = GradientFile("straight.bmp", 31, 17, 150);
    auto page = NewPage();
    auto* image = AddElement<TLayerImage>(page.get(), 0, 0, 10, 10);
    image->LoadFromFile(path);
    bool was = SetLayerImageEmbedData(true);
    std::string bytes = SaveElement(image);

    TLayerImage* copy = LoadElement(page.get(), bytes);
    ASSERT_TRUE(copy->IsBitmap());
    EXPECT_EQ(copy->GetResolution().x, 150);
    EXPECT_EQ(EncodeBitmapData(*copy->GetBitmapHandle()), EncodeBitmapData(*image->GetBitmapHandle()));
    image->RotateLeft();
    copy->RotateLeft();
    EXPECT_EQ(AllPixels(*copy->GetBitmapHandle()), AllPixels(*image->GetBitmapHandle()));
    image->Rotate180();
    copy->Rotate180();
    EXPECT_EQ(AllPixels(*copy->GetBitmapHandle()), AllPixels(*image->GetBitmapHandle()));
    EXPECT_EQ(SaveElement(copy).size(), SaveElement(image).size());
    SetLayerImageEmbedData(was);

    // A picture stored any other way (here top-down rows) still goes through the decoder.
    std::string payload = EncodeBitmapData(*image->GetBitmapHandle());
    const int32_t height = -static_cast<int32_t>(image->GetBitmapHandle()->Height);
    std::string topDown = payload;
    std::memcpy(&topDown[22], &height, 4);
    TLayerImage* decoded = LoadElement(page.get(), ElementWithChunk("BMPD", topDown));
    ASSERT_TRUE(decoded->IsBitmap());
    EXPECT_EQ(decoded->GetImageWidth(), image->GetImageWidth());
}
