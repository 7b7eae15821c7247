// Pictures stored in projects, through the program's own open and save: a picture whose file goes
// away or is damaged is never lost, never stops a project from opening, and a missing one is named.
#include <windows.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "E2ESupport.h"
#include "TestSupport.h"

namespace {
constexpr COLORREF Green = RGB(40, 200, 120);
constexpr COLORREF Red = RGB(220, 30, 30);
constexpr COLORREF Blue = RGB(30, 60, 230);
// What stands in for a picture whose file is missing.
constexpr COLORREF FrameGrey = RGB(128, 128, 128);

// Filters of the project save dialog.
constexpr int WithPictures = 1;
constexpr int NamesOnly = 2;

// An enhanced metafile of 40 x 30 mm filled with the colour.
std::string WriteSolidMetafile(const std::string& path, COLORREF color)
{
    RECT frame{0, 0, 4000, 3000};
    HDC dc = CreateEnhMetaFileA(nullptr, path.c_str(), &frame, nullptr);
    if (!dc)
        throw std::runtime_error("cannot write " + path);
    HBRUSH brush = CreateSolidBrush(color);
    RECT r{0, 0, 400, 300};
    FillRect(dc, &r, brush);
    DeleteObject(brush);
    DeleteEnhMetaFile(CloseEnhMetaFile(dc));
    return path;
}

void Damage(const std::string& path)
{
    FILE* junk = std::fopen(path.c_str(), "wb");
    ASSERT_NE(junk, nullptr);
    std::fputs("this was a picture once, and is none any more", junk);
    std::fclose(junk);
}

// Save As with one of the two storage variants onto a new file.
bool SaveAs(const TProgramDriver& program, const std::string& path, int filterIndex)
{
    program.PostCommand(cmdSaveAs);
    if (!program.AnswerFileDialog(program.WaitForFileDialog(), path, filterIndex))
        return false;
    const size_t slash = path.find_last_of('\\');
    const std::string title = path.substr(slash + 1, path.find_last_of('.') - slash - 1);
    return program.WaitForCaption(title + " - Sheetfold") && WaitUntil([&] { return FileComplete(path); });
}

RECT ColorInView(const TProgramDriver& program, COLORREF color, int tolerance = 8)
{
    RECT box{};
    WaitUntil([&] {
        HWND view = program.FindChild("TSheetfoldView");
        box = view ? FindColorBox(CaptureClient(view), color, tolerance) : RECT{};
        return box.right - box.left > 4 && box.bottom - box.top > 4;
    });
    return box;
}

bool Shown(const RECT& box)
{
    return box.right - box.left > 4 && box.bottom - box.top > 4;
}

size_t Occurrences(const std::string& text, const std::string& part)
{
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}
} // namespace

TEST_F(TProgramTest, PicturesWhoseFilesWentAwayOrBrokeAreKeptThroughEverySave)
{
    const std::string folder = TestTempDir() + "\\stored";
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::string green = WriteSolidPicture(folder + "\\green.bmp", 40, 30, Green);
    const std::string red = WriteSolidPicture(folder + "\\red.png", 32, 16, Red, 75);
    const std::string blue = WriteSolidMetafile(folder + "\\blue.emf", Blue);
    const std::string linked = folder + "\\linked.sfp";
    const std::string embedded = folder + "\\embedded.sfp";
    const std::string small = folder + "\\small.sfp";
    {
        TProjectPtr project = NewTestProject();
        TSheetfoldPage* page = AddTestPage(project.get());
        AddTestImage(page, green, RECT{2000, 2000, 6000, 5000}, "green");
        AddTestImage(page, red, RECT{8000, 2000, 12000, 4000}, "red");
        AddTestImage(page, blue, RECT{2000, 8000, 6000, 11000}, "blue");
        project->SetMINS(true);
        project->SaveToFile(linked);
    }

    // Saved with its pictures through the program.
    ASSERT_TRUE(Program.Start(Quoted(linked)));
    ASSERT_TRUE(Program.WaitForCaption("linked - Sheetfold")) << Program.Caption();
    ASSERT_TRUE(SaveAs(Program, embedded, WithPictures));
    CloseProgram(Program);

    // One file moved away, two damaged.
    ASSERT_TRUE(MoveFileA(green.c_str(), (folder + "\\moved.bmp").c_str()));
    Damage(red);
    Damage(blue);

    // The project opens whole, every picture from what it stored; then it is saved by names only.
    ASSERT_TRUE(Program.Start(Quoted(embedded)));
    EXPECT_TRUE(Program.WaitForCaption("embedded - Sheetfold")) << Program.Caption();
    for (COLORREF color : {Green, Red, Blue})
        EXPECT_TRUE(Shown(ColorInView(Program, color))) << "colour " << std::hex << color << " is not shown";
    ASSERT_TRUE(Program.Sync());
    EXPECT_FALSE(Program.HasDialog()) << "every picture was read: nothing to report";
    ASSERT_TRUE(SaveAs(Program, small, NamesOnly));
    CloseProgram(Program);

    // Reopened, every picture is still there.
    ASSERT_TRUE(Program.Start(Quoted(small)));
    EXPECT_TRUE(Program.WaitForCaption("small - Sheetfold")) << Program.Caption();
    for (COLORREF color : {Green, Red, Blue})
        EXPECT_TRUE(Shown(ColorInView(Program, color))) << "colour " << std::hex << color << " is lost";
    CloseProgram(Program);
    TProjectPtr project = LoadTestProject(small);
    ASSERT_EQ(project->Count(), 1);
    const std::vector<TLayerImage*> images = PageImages(project->GetPage(0));
    ASSERT_EQ(images.size(), 3u);
    for (TLayerImage* image : images)
        EXPECT_FALSE(image->IsEmpty()) << image->GetName();
}

TEST_F(TProgramTest, MissingPicturesAreNamedOnceAndKeptAsFramesThatSaveAsTheyWere)
{
    const std::string folder = TestTempDir() + "\\missing";
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::string gone = WriteSolidPicture(folder + "\\gone.bmp", 40, 30, Green);
    const std::string broken = WriteSolidMetafile(folder + "\\broken.emf", Blue);
    const std::string plan = folder + "\\plan.sfp";
    const std::string resaved = folder + "\\resaved.sfp";
    const RECT goneBounds{2000, 2000, 6000, 5000};
    {
        TProjectPtr project = NewTestProject();
        TSheetfoldPage* page = AddTestPage(project.get());
        AddTestImage(page, gone, goneBounds, "first");
        AddTestImage(page, gone, RECT{8000, 2000, 12000, 5000}, "second");
        AddTestImage(page, broken, RECT{2000, 8000, 6000, 11000}, "broken");
        project->SetMINS(true);
        project->SaveToFile(plan);
    }
    ASSERT_TRUE(DeleteFileA(gone.c_str()));
    Damage(broken);

    ASSERT_TRUE(Program.Start(Quoted(plan)));
    HWND box = Program.WaitForMessageBox();
    ASSERT_NE(box, nullptr) << "the missing pictures are not reported";
    const std::string text = MessageBoxText(box);
    EXPECT_EQ(text.rfind("File \"" + gone + "\" not found.", 0), 0u) << text;
    EXPECT_EQ(Occurrences(text, gone), 1u) << "each file is named once: " << text;
    EXPECT_EQ(Occurrences(text, broken), 1u) << text;
    PressDialogButton(box, IDOK);
    ASSERT_TRUE(Program.WaitForDialogsGone());
    EXPECT_TRUE(Program.WaitForCaption("plan - Sheetfold")) << Program.Caption();
    ASSERT_TRUE(Program.Sync());
    EXPECT_FALSE(Program.HasDialog()) << "one report per open";

    // Each missing picture shows as a frame of its size.
    const RECT frames = ColorInView(Program, FrameGrey, 2);
    ASSERT_TRUE(Shown(frames)) << "no frame where the pictures were";
    const double across = double(frames.right - frames.left) / (frames.bottom - frames.top);
    EXPECT_NEAR(across, 10000.0 / 9000.0, 0.1) << "the frames span the three elements' bounds";

    ASSERT_TRUE(SaveAs(Program, resaved, NamesOnly));
    CloseProgram(Program);
    TProjectPtr project = LoadTestProject(resaved);
    const std::vector<TLayerImage*> images = PageImages(project->GetPage(0));
    ASSERT_EQ(images.size(), 3u);
    EXPECT_EQ(images[0]->GetSourceFile(), gone);
    EXPECT_EQ(images[2]->GetSourceFile(), broken);
    const RECT kept = images[0]->GetBounds();
    EXPECT_EQ(kept.left, goneBounds.left);
    EXPECT_EQ(kept.top, goneBounds.top);
    EXPECT_EQ(kept.right, goneBounds.right);
    EXPECT_EQ(kept.bottom, goneBounds.bottom);

    // With the file back, the picture is there again.
    WriteSolidPicture(gone, 40, 30, Green);
    ASSERT_TRUE(Program.Start(Quoted(resaved)));
    HWND second = Program.WaitForMessageBox();
    ASSERT_NE(second, nullptr) << "the damaged metafile is still named";
    EXPECT_EQ(Occurrences(MessageBoxText(second), gone), 0u);
    PressDialogButton(second, IDOK);
    ASSERT_TRUE(Program.WaitForDialogsGone());
    EXPECT_TRUE(Shown(ColorInView(Program, Green))) << "the picture does not come back with its file";
    CloseProgram(Program);
}
