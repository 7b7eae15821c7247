#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <new>
#include <string>

#include "TestSupport.h"
#include "app/PageExport.h"
#include "document/LayerImage.h"
#include "platform/Exceptions.h"
#include "platform/ImagingLib.h"

namespace {

using TProjectPtr = std::unique_ptr<TSheetfoldProject, TObjectFree>;

// An A4 portrait page whose printable area is 190 mm wide (margins 10 mm left and right, 15 mm
// top and bottom).
struct TExportPage {
    TExportPage()
    {
        Page = New<TSheetfoldPage>(Project.get());
        std::unique_ptr<TPaper, TObjectFree> paper(New<TPaper>());
        paper->Set(21000, 29700, 1500, 1500, 1000, 1000, false);
        Page->SetPaper(paper.get());
    }
    TLayerRect* AddRect(const RECT& r, TColor color)
    {
        auto* rect = New<TLayerRect>(Page);
        rect->SetBounds(r.left, r.top, r.right - r.left, r.bottom - r.top);
        rect->SetColor(color);
        return rect;
    }

    TProjectPtr Project{New<TSheetfoldProject>()};
    TSheetfoldPage* Page = nullptr;
};

// A picture read back from a file, freed with the reader.
class TLoaded {
public:
    explicit TLoaded(const std::string& fileName)
    {
        Result = IL_LoadFile(fileName.c_str(), &Bitmap, 24, 1, 0, nullptr, nullptr, nullptr, &Info);
    }
    ~TLoaded() { IL_FreeBitmap(&Bitmap); }
    TLoaded(const TLoaded&) = delete;
    TLoaded& operator=(const TLoaded&) = delete;

    // Red, green, blue of the displayed pixel.
    COLORREF Pixel(int x, int y) const
    {
        const int row = Bitmap.ViewPerspective == IL_BOTTOM_UP ? Bitmap.Height - 1 - y : y;
        const uint8_t* p = Bitmap.Pixels + size_t(row) * Bitmap.BytesPerLine + size_t(x) * 3;
        return RGB(p[2], p[1], p[0]);
    }

    int32_t Result = 0;
    TILBitmapHandle Bitmap;
    TILFileInfo Info;
};

bool Near(COLORREF a, COLORREF b, int tolerance)
{
    return std::abs(GetRValue(a) - GetRValue(b)) <= tolerance && std::abs(GetGValue(a) - GetGValue(b)) <= tolerance &&
           std::abs(GetBValue(a) - GetBValue(b)) <= tolerance;
}

#define EXPECT_PIXEL(loaded, x, y, colour, tolerance)                                                        \
    EXPECT_TRUE(Near((loaded).Pixel(x, y), colour, tolerance))                                                \
        << "pixel (" << (x) << "," << (y) << ") is " << std::hex << (loaded).Pixel(x, y) << ", expected " << (colour)

bool FileExists(const std::string& name)
{
    return GetFileAttributesA(name.c_str()) != INVALID_FILE_ATTRIBUTES;
}

} // namespace

TEST(PageExport, FilterIndexChoosesFormatExtensionAndQuality)
{
    struct TCase {
        int Index;
        const char* Extension;
        int32_t Code;
        int32_t Quality;
    };
    const TCase cases[] = {{1, ".bmp", 6, 0}, {2, ".png", 75, 0}, {3, ".jpg", 10, 8},
                           {0, ".bmp", 6, 0}, {4, ".bmp", 6, 0}, {-1, ".bmp", 6, 0}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Index);
        TPictureFormat f = PictureFormatOf(c.Index);
        EXPECT_STREQ(f.Extension, c.Extension);
        EXPECT_EQ(f.Code, c.Code);
        EXPECT_EQ(f.Quality, c.Quality);
    }
}

TEST(PageExport, ForcingTheExtensionComparesWithCase)
{
    EXPECT_EQ(ForceExtension("page.PNG", ".png"), "page.png");
    EXPECT_EQ(ForceExtension("page.png", ".png"), "page.png");
    EXPECT_EQ(ForceExtension("x.png", ".bmp"), "x.bmp");
    EXPECT_EQ(ForceExtension("C:\\out\\page", ".jpg"), "C:\\out\\page.jpg");
    EXPECT_EQ(ForceExtension("C:\\v1.2\\page", ".jpg"), "C:\\v1.2\\page.jpg");
    EXPECT_EQ(ForceExtension("a.b.Jpg", ".jpg"), "a.b.jpg");
    EXPECT_EQ(PictureFileName("page.PNG", 2), "page.png");
    EXPECT_EQ(PictureFileName("page.png", 7), "page.bmp");
}

TEST(PageExport, PixelSizeFollowsTheResolutionCornerByCorner)
{
    TExportPage w;
    struct TCase {
        int Dpi;
        LONG Width, Height;
    };
    // 190 mm = 19000 units; each corner is mapped and rounded on its own.
    const TCase cases[] = {{100, 748, 1051}, {150, 1122, 1576}, {300, 2244, 3154}, {600, 4488, 6307}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Dpi);
        SIZE size = ExportPixelSize(*w.Page, c.Dpi);
        EXPECT_EQ(size.cx, c.Width);
        EXPECT_EQ(size.cy, c.Height);
    }
    // The file has that size.
    const std::string name = TestTempFile("size300.png");
    ExportPage(*w.Page, 300, name, 2);
    TILFileInfo info;
    ASSERT_EQ(IL_FileInfo(name.c_str(), &info, sizeof(info), 0), IL_SUCCESS);
    EXPECT_EQ(info.Format, IL_FILE_PNG);
    EXPECT_EQ(info.Width, 2244);
    EXPECT_EQ(info.Height, 3154);
    EXPECT_EQ(info.XResolution, 300);
}

TEST(PageExport, PrintableCornerLandsOnPixelZeroOnWhite)
{
    TExportPage w;
    // 10 mm squares at the printable area's top-left and bottom-right corners; one outside it.
    w.AddRect({1000, 1500, 2000, 2500}, 0x0000FF);
    w.AddRect({19000, 27200, 20000, 28200}, 0xFF0000);
    w.AddRect({0, 0, 900, 1400}, 0x00FF00);
    const std::string name = TestTempFile("corner.bmp");
    ExportPage(*w.Page, 100, name, 1);
    TLoaded loaded(name);
    ASSERT_EQ(loaded.Result, IL_SUCCESS);
    ASSERT_EQ(loaded.Bitmap.Width, 748);
    ASSERT_EQ(loaded.Bitmap.Height, 1051);
    EXPECT_PIXEL(loaded, 0, 0, RGB(255, 0, 0), 0);
    EXPECT_PIXEL(loaded, 38, 38, RGB(255, 0, 0), 0);
    EXPECT_PIXEL(loaded, 40, 0, RGB(255, 255, 255), 0);
    EXPECT_PIXEL(loaded, 0, 40, RGB(255, 255, 255), 0);
    EXPECT_PIXEL(loaded, 400, 500, RGB(255, 255, 255), 0);
    EXPECT_PIXEL(loaded, 747, 1050, RGB(0, 0, 255), 0);
    EXPECT_PIXEL(loaded, 709, 1050, RGB(0, 0, 255), 0);
    EXPECT_PIXEL(loaded, 707, 1050, RGB(255, 255, 255), 0);
}

TEST(PageExport, EachFormatIsWrittenAndReadsBack)
{
    TExportPage w;
    w.AddRect({1000, 1500, 11000, 11500}, 0x00FF00);
    struct TCase {
        int Index;
        const char* Name;
        int32_t Format;
        int Tolerance;
    };
    // The file name's extension is forced to the format's, case included.
    const TCase cases[] = {{1, "page.BMP", IL_FILE_BMP, 0}, {2, "page.PNG", IL_FILE_PNG, 0}, {3, "page.jpeg", IL_FILE_JFIF, 12}};
    const char* written[] = {"page.bmp", "page.png", "page.jpg"};
    for (int i = 0; i < 3; ++i) {
        const TCase& c = cases[i];
        SCOPED_TRACE(c.Name);
        ExportPage(*w.Page, 150, TestTempFile(c.Name), c.Index);
        const std::string name = TestTempFile(written[i]);
        ASSERT_TRUE(FileExists(name));
        TLoaded loaded(name);
        ASSERT_EQ(loaded.Result, IL_SUCCESS);
        EXPECT_EQ(loaded.Info.Format, c.Format);
        EXPECT_EQ(loaded.Bitmap.Width, 1122);
        EXPECT_EQ(loaded.Bitmap.Height, 1576);
        // 100 mm at 150 dpi is 590.6 pixels.
        EXPECT_PIXEL(loaded, 5, 5, RGB(0, 255, 0), c.Tolerance);
        EXPECT_PIXEL(loaded, 585, 585, RGB(0, 255, 0), c.Tolerance);
        EXPECT_PIXEL(loaded, 597, 597, RGB(255, 255, 255), c.Tolerance);
        EXPECT_PIXEL(loaded, 1100, 1500, RGB(255, 255, 255), c.Tolerance);
    }
}

TEST(PageExport, FailuresRaiseAndWriteNothing)
{
    TExportPage w;
    const std::string missing = TestTempFile("no-such-folder\\page.png");
    try {
        ExportPage(*w.Page, 100, missing, 2);
        ADD_FAILURE() << "no error for a missing folder";
    } catch (const EInvalidGraphic& e) {
        EXPECT_NE(std::string(e.what()).find("page.png"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(FileExists(missing));

    const std::string name = TestTempFile("refused.png");
    // The bitmap would need gigabytes: refused before anything is allocated.
    try {
        ExportPage(*w.Page, 6000, name, 2);
        ADD_FAILURE() << "no error for 6000 dpi";
    } catch (const EInvalidGraphic& e) {
        EXPECT_NE(std::string(e.what()).find("too large"), std::string::npos) << e.what();
    }
    EXPECT_THROW(ExportPage(*w.Page, 0, name, 2), EInvalidGraphic);
    EXPECT_THROW(ExportPage(*w.Page, -300, name, 2), EInvalidGraphic);
    EXPECT_FALSE(FileExists(name));
}

TEST(PageExport, ImageSaveAsWritesTheElementsOwnBitmap)
{
    // A 40 x 30 picture: red left half, blue right half.
    TILBitmapHandle source;
    ASSERT_EQ(IL_CreateBitmap(&source, IL_MEMORY_OWNED, 40, 30, 24, 1, nullptr, IL_TOP_DOWN, nullptr, 0), IL_SUCCESS);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) {
            uint8_t* p = source.Pixels + y * source.BytesPerLine + x * 3;
            p[0] = x < 20 ? 0 : 255;
            p[1] = 0;
            p[2] = x < 20 ? 255 : 0;
        }
    const std::string picture = TestTempFile("picture.bmp");
    ASSERT_EQ(IL_SaveBitmap(picture.c_str(), &source, IL_FILE_BMP, 24, 0, 0), IL_SUCCESS);
    IL_FreeBitmap(&source);

    TExportPage w;
    auto* image = New<TLayerImage>(w.Page);
    image->LoadFromFile(picture);
    ASSERT_TRUE(image->IsBitmap());
    // Shown much larger on the page: the file keeps the picture's own pixels.
    image->SetBounds(1000, 1500, 15000, 10000);
    SaveImageBitmap(*image, TestTempFile("saved.PNG"), 2);
    TLoaded loaded(TestTempFile("saved.png"));
    ASSERT_EQ(loaded.Result, IL_SUCCESS);
    EXPECT_EQ(loaded.Info.Format, IL_FILE_PNG);
    EXPECT_EQ(loaded.Bitmap.Width, 40);
    EXPECT_EQ(loaded.Bitmap.Height, 30);
    EXPECT_PIXEL(loaded, 0, 0, RGB(255, 0, 0), 0);
    EXPECT_PIXEL(loaded, 19, 29, RGB(255, 0, 0), 0);
    EXPECT_PIXEL(loaded, 20, 0, RGB(0, 0, 255), 0);

    EXPECT_THROW(SaveImageBitmap(*image, TestTempFile("missing\\saved.png"), 2), EInvalidGraphic);
    auto* empty = New<TLayerImage>(w.Page);
    EXPECT_THROW(SaveImageBitmap(*empty, TestTempFile("empty.png"), 2), EInvalidGraphic);
    EXPECT_FALSE(FileExists(TestTempFile("empty.png")));
}

TEST(PageExport, ImagesArePrintedIntoTheExport)
{
    TILBitmapHandle source;
    ASSERT_EQ(IL_CreateBitmap(&source, IL_MEMORY_OWNED, 16, 16, 24, 1, nullptr, IL_TOP_DOWN, nullptr, 0), IL_SUCCESS);
    memset(source.Pixels, 0x40, source.Size);
    const std::string picture = TestTempFile("grey.bmp");
    ASSERT_EQ(IL_SaveBitmap(picture.c_str(), &source, IL_FILE_BMP, 24, 0, 0), IL_SUCCESS);
    IL_FreeBitmap(&source);

    TExportPage w;
    auto* image = New<TLayerImage>(w.Page);
    image->LoadFromFile(picture);
    image->SetBounds(6000, 6500, 5080, 5080);
    const std::string name = TestTempFile("image.bmp");
    ExportPage(*w.Page, 100, name, 1);
    TLoaded loaded(name);
    ASSERT_EQ(loaded.Result, IL_SUCCESS);
    // 50 mm from the printable corner, 2 inches (200 pixels) wide.
    EXPECT_PIXEL(loaded, 197 + 100, 197 + 100, RGB(0x40, 0x40, 0x40), 0);
    EXPECT_PIXEL(loaded, 190, 190, RGB(255, 255, 255), 0);
}

namespace {

// An element whose printing runs out of memory: the page lets that through.
// A page that cannot be drawn at all (one element that fails is passed over, as on paper).
class TFailingPage : public TSheetfoldPage {
public:
    using TSheetfoldPage::TSheetfoldPage;
    void Print(HDC, const TMapMode&) override { throw std::bad_alloc(); }
};

} // namespace

TEST(PageExport, DrawingInBandsWhileEncodingGivesThePageDrawnAtOnce)
{
    // A picture of stripes, stretched across several bands of rows.
    TILBitmapHandle source;
    ASSERT_EQ(IL_CreateBitmap(&source, IL_MEMORY_OWNED, 64, 64, 24, 1, nullptr, IL_TOP_DOWN, nullptr, 0), IL_SUCCESS);
    for (int y = 0; y < 64; ++y)
        memset(source.Pixels + y * source.BytesPerLine, y * 4, size_t(64) * 3);
    const std::string picture = TestTempFile("stripes.bmp");
    ASSERT_EQ(IL_SaveBitmap(picture.c_str(), &source, IL_FILE_BMP, 24, 0, 0), IL_SUCCESS);
    IL_FreeBitmap(&source);

    TExportPage w;
    auto* image = New<TLayerImage>(w.Page);
    image->LoadFromFile(picture);
    image->SetBounds(3000, 4000, 12000, 20000);
    w.AddRect({1000, 1500, 20000, 6000}, 0x3060C0);
    w.AddRect({8000, 10000, 9000, 28200}, 0x00FF00);

    TILBitmapGuard rendered;
    RenderPage(*w.Page, 300, rendered);
    const std::string name = TestTempFile("bands.bmp");
    ExportPage(*w.Page, 300, name, 1);
    TLoaded loaded(name);
    ASSERT_EQ(loaded.Result, IL_SUCCESS);
    ASSERT_EQ(loaded.Bitmap.Width, rendered.Get().Width);
    ASSERT_EQ(loaded.Bitmap.Height, rendered.Get().Height);
    int different = 0;
    for (int y = 0; y < loaded.Bitmap.Height; ++y) {
        const uint8_t* a = rendered.Get().Pixels + size_t(y) * rendered.Get().BytesPerLine;
        const int row = loaded.Bitmap.ViewPerspective == IL_BOTTOM_UP ? loaded.Bitmap.Height - 1 - y : y;
        const uint8_t* b = loaded.Bitmap.Pixels + size_t(row) * loaded.Bitmap.BytesPerLine;
        different += memcmp(a, b, size_t(loaded.Bitmap.Width) * 3) != 0;
    }
    EXPECT_EQ(different, 0) << "rows differ";
    EXPECT_PIXEL(loaded, 0, 0, RGB(0xC0, 0x60, 0x30), 0);
}

TEST(PageExport, APageThatCannotBeDrawnStopsTheExportAndLeavesTheOldFile)
{
    TExportPage w;
    auto* page = New<TFailingPage>(w.Project.get());
    page->SetPaper(w.Page->GetPaper());
    const std::string name = TestTempFile("failing.png");
    {
        std::ofstream old(name, std::ios::binary);
        old << "old";
    }
    for (int index : {1, 2, 3}) {
        SCOPED_TRACE(index);
        const std::string target = PictureFileName(name, index);
        EXPECT_THROW(ExportPage(*page, 300, target, index), std::bad_alloc);
        EXPECT_EQ(FileExists(target), target == name);
    }
    std::ifstream old(name, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(old)), std::istreambuf_iterator<char>());
    EXPECT_TRUE(text == "old") << "the old file was replaced";
}
