// Page export through the program's dialogs: every format at every resolution, each picture
// checked for its pixel size (the page's printable area at that resolution) and its pixels.
#include <windows.h>

#include <algorithm>

#include "E2ESupport.h"
#include "TestSupport.h"

namespace {
constexpr COLORREF Magenta = RGB(200, 40, 160);
// Where the picture lies on the page (0.01 mm): inside the printable area of any paper.
constexpr RECT PictureBounds{6000, 7000, 10000, 10000};

struct TFormat {
    int FilterIndex;
    const char* Extension;
    int Tolerance;
};
constexpr TFormat Formats[] = {{1, ".bmp", 2}, {2, ".png", 2}, {3, ".jpg", 40}};
constexpr int Resolutions[] = {100, 150, 300, 600};

// A logical coordinate (0.01 mm) as a pixel of an export at the resolution.
int ToPixel(int units, int dpi)
{
    return MulDiv(units, dpi, 2540);
}

// The pixel box of a page rectangle in an export whose pixel (0, 0) is the printable corner.
RECT ExportBox(const RECT& r, const RECT& printable, int dpi)
{
    const int x0 = ToPixel(printable.left, dpi);
    const int y0 = ToPixel(printable.top, dpi);
    return RECT{ToPixel(r.left, dpi) - x0, ToPixel(r.top, dpi) - y0, ToPixel(r.right, dpi) - x0,
                ToPixel(r.bottom, dpi) - y0};
}

void ExpectExport(const std::string& file, const TFormat& format, int dpi, const RECT& printable)
{
    SCOPED_TRACE(file);
    TDecodedPicture picture = DecodePicture(file);
    ASSERT_GT(picture.Width, 0) << "cannot read the export";
    const RECT page = ExportBox(printable, printable, dpi);
    EXPECT_NEAR(picture.Width, page.right - page.left, 1);
    EXPECT_NEAR(picture.Height, page.bottom - page.top, 1);

    // The picture inside its box, white around it and in the corners.
    const RECT box = ExportBox(PictureBounds, printable, dpi);
    const int margin = std::max(2, dpi / 50);
    const POINT inside[] = {{box.left + margin, box.top + margin},
                            {box.right - 1 - margin, box.top + margin},
                            {box.left + margin, box.bottom - 1 - margin},
                            {box.right - 1 - margin, box.bottom - 1 - margin},
                            {(box.left + box.right) / 2, (box.top + box.bottom) / 2}};
    for (POINT p : inside)
        EXPECT_TRUE(NearColor(picture.Pixel(p.x, p.y), Magenta, format.Tolerance))
            << "not the picture's colour at " << p.x << "," << p.y << ": " << std::hex << picture.Pixel(p.x, p.y);
    const POINT outside[] = {{box.left - margin - 1, (box.top + box.bottom) / 2},
                             {box.right + margin, (box.top + box.bottom) / 2},
                             {(box.left + box.right) / 2, box.top - margin - 1},
                             {(box.left + box.right) / 2, box.bottom + margin},
                             {1, 1},
                             {picture.Width - 2, 1},
                             {1, picture.Height - 2},
                             {picture.Width - 2, picture.Height - 2}};
    for (POINT p : outside)
        EXPECT_TRUE(NearColor(picture.Pixel(p.x, p.y), RGB(255, 255, 255), format.Tolerance))
            << "not white at " << p.x << "," << p.y << ": " << std::hex << picture.Pixel(p.x, p.y);
}
}

TEST_F(TProgramTest, ThePageExportsInEveryFormatAtEveryResolution)
{
    const std::string folder = TestTempDir() + "\\export";
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::string source = folder + "\\export.sfp";
    {
        TProjectPtr project = NewTestProject();
        TSheetfoldPage* page = AddTestPage(project.get());
        AddTestImage(page, WriteSolidPicture(folder + "\\magenta.bmp", 16, 12, Magenta), PictureBounds, "magenta");
        project->SaveToFile(source);
    }
    ASSERT_TRUE(Program.Start(Quoted(source)));
    ASSERT_TRUE(Program.WaitForCaption("export - Sheetfold")) << Program.Caption();

    std::vector<std::string> files;
    for (const TFormat& format : Formats)
        for (int i = 0; i < 4; ++i) {
            const std::string file = folder + "\\page" + std::to_string(format.FilterIndex) + "_" +
                                     std::to_string(Resolutions[i]) + format.Extension;
            EXPECT_TRUE(ExportPage(Program, file, format.FilterIndex, i)) << file;
            files.push_back(file);
        }

    // The printable area the program exported: its page as the program holds it, printer paper
    // included, saved and read back.
    const std::string saved = folder + "\\exported.sfp";
    ASSERT_TRUE(SaveProjectAs(Program, saved));
    CloseProgram(Program);
    TProjectPtr project = LoadTestProject(saved);
    ASSERT_EQ(project->Count(), 1);
    const RECT printable = project->GetPage(0)->GetPrintableRect();
    ASSERT_EQ(PageImages(project->GetPage(0)).size(), 1u);
    const RECT bounds = PageImages(project->GetPage(0))[0]->GetBounds();
    ASSERT_TRUE(EqualRect(&bounds, &PictureBounds)) << "the picture moved";

    size_t n = 0;
    for (const TFormat& format : Formats)
        for (int dpi : Resolutions)
            ExpectExport(files[n++], format, dpi, printable);
}

TEST_F(TProgramTest, AnExportTakesTheExtensionOfItsFormat)
{
    const std::string folder = TestTempDir() + "\\extension";
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::string source = folder + "\\one.sfp";
    {
        TProjectPtr project = NewTestProject();
        AddTestImage(AddTestPage(project.get()), WriteSolidPicture(folder + "\\m.bmp", 8, 8, Magenta), PictureBounds, "m");
        project->SaveToFile(source);
    }
    ASSERT_TRUE(Program.Start(Quoted(source)));
    // A PNG chosen under a name that says bitmap is written as a PNG named so.
    EXPECT_TRUE(ExportPage(Program, folder + "\\page.bmp", 2, 0, folder + "\\page.png"));
    TILFileInfo info;
    ASSERT_EQ(IL_FileInfo((folder + "\\page.png").c_str(), &info, sizeof info, 0), IL_SUCCESS);
    EXPECT_EQ(info.Format, IL_FILE_PNG);
    EXPECT_EQ(FileSize(folder + "\\page.bmp"), -1);
    CloseProgram(Program);
}
