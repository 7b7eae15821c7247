// A project built by hand opens from the command line; pictures are inserted through the insert
// dialog, one is moved with the mouse, the project is saved, reopened, and compared.
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>

#include "E2ESupport.h"
#include "TestSupport.h"

namespace {
constexpr COLORREF Green = RGB(40, 200, 120);
constexpr COLORREF Red = RGB(220, 30, 30);
constexpr COLORREF Yellow = RGB(240, 200, 20);

int TabCount(const TProgramDriver& program)
{
    HWND tabs = program.FindChild("TTabControl");
    DWORD_PTR count = 0;
    if (!tabs || !SendMessageTimeoutA(tabs, TCM_GETITEMCOUNT, 0, 0, SMTO_NORMAL, 5000, &count))
        return -1;
    return static_cast<int>(count);
}

// The screen box of the colour in the page view, once it is painted there.
RECT WaitForColorInView(const TProgramDriver& program, COLORREF color)
{
    RECT box{};
    WaitUntil([&] {
        HWND view = program.FindChild("TSheetfoldView");
        box = view ? FindColorBox(CaptureClient(view), color) : RECT{};
        return box.right - box.left > 4 && box.bottom - box.top > 4;
    });
    return box;
}
}

TEST_F(TProgramTest, AHandBuiltProjectOpensTakesPicturesAMouseMoveAndSavesWhatWasShown)
{
    const std::string folder = TestTempDir() + "\\project";
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::string handmade = folder + "\\handmade.sfp";
    const std::string saved = folder + "\\saved.sfp";
    {
        TProjectPtr project = NewTestProject();
        TSheetfoldPage* page = AddTestPage(project.get());
        AddTestImage(page, WriteSolidPicture(folder + "\\green.bmp", 40, 30, Green), RECT{6000, 8000, 10000, 11000},
                     "green");
        project->SaveToFile(handmade);
    }
    WriteSolidPicture(folder + "\\red.bmp", 32, 16, Red);
    WriteSolidPicture(folder + "\\yellow.png", 20, 40, Yellow, 75);

    ASSERT_TRUE(Program.Start(Quoted(handmade)));
    EXPECT_TRUE(Program.WaitForCaption("handmade - Sheetfold")) << Program.Caption();
    EXPECT_EQ(TabCount(Program), 1);
    HWND view = Program.FindChild("TSheetfoldView");
    ASSERT_NE(view, nullptr) << "no page view";

    // Two pictures through the insert dialog, chosen together.
    Program.PostCommand(cmdInsertImage);
    HWND dialog = Program.WaitForFileDialog();
    ASSERT_NE(dialog, nullptr) << "no insert picture dialog";
    SelectFilesInDialog(dialog, folder, {"red.bmp", "yellow.png"});
    ASSERT_TRUE(Program.WaitForDialogsGone());
    ASSERT_TRUE(Program.Sync());
    EXPECT_TRUE(WaitForColorInView(Program, Red).right > 0) << "the red picture is not shown";
    EXPECT_TRUE(WaitForColorInView(Program, Yellow).right > 0) << "the yellow picture is not shown";

    // The hand-built picture: selected by a click, then dragged.
    const RECT before = WaitForColorInView(Program, Green);
    ASSERT_GT(before.right, 0) << "the green picture is not shown";
    const POINT grab = Centre(before);
    const POINT delta{60, 40};
    Program.Click(view, grab);
    Program.Drag(view, grab, POINT{grab.x + delta.x, grab.y + delta.y});
    RECT after{};
    EXPECT_TRUE(WaitUntil([&] {
        after = FindColorBox(CaptureClient(view), Green);
        return std::abs(after.left - before.left - delta.x) <= 2 && std::abs(after.top - before.top - delta.y) <= 2;
    })) << "the picture is at " << after.left << "," << after.top << ", was at " << before.left << "," << before.top;

    ASSERT_TRUE(SaveProjectAs(Program, saved));
    EXPECT_EQ(TabCount(Program), 1);
    CloseProgram(Program);

    // What was saved: the picture moved by what the screen showed, the two new ones with their pixels.
    TProjectPtr project = LoadTestProject(saved);
    ASSERT_EQ(project->Count(), 1);
    std::vector<TLayerImage*> images = PageImages(project->GetPage(0));
    ASSERT_EQ(images.size(), 3u);
    TLayerImage* green = images[0];
    EXPECT_EQ(green->GetName(), "green");
    const RECT moved = green->GetBounds();
    const double unitsPerPixel = 4000.0 / (before.right - before.left);
    EXPECT_NEAR(moved.left - 6000, delta.x * unitsPerPixel, 3 * unitsPerPixel);
    EXPECT_NEAR(moved.top - 8000, delta.y * unitsPerPixel, 3 * unitsPerPixel);
    EXPECT_EQ(moved.right - moved.left, 4000);
    EXPECT_EQ(moved.bottom - moved.top, 3000);
    EXPECT_EQ(images[1]->GetName(), "red.bmp");
    EXPECT_EQ(images[2]->GetName(), "yellow.png");
    const struct {
        TLayerImage* Image;
        int Width, Height;
    } inserted[] = {{images[1], 32, 16}, {images[2], 20, 40}};
    for (const auto& expected : inserted) {
        ASSERT_TRUE(expected.Image->IsBitmap()) << expected.Image->GetName();
        EXPECT_EQ(expected.Image->GetBitmapHandle()->Width, expected.Width) << expected.Image->GetName();
        EXPECT_EQ(expected.Image->GetBitmapHandle()->Height, expected.Height) << expected.Image->GetName();
    }

    // Reopened, the program shows the picture where it was left.
    ASSERT_TRUE(Program.Start(Quoted(saved)));
    EXPECT_TRUE(Program.WaitForCaption("saved - Sheetfold")) << Program.Caption();
    const RECT reopened = WaitForColorInView(Program, Green);
    EXPECT_LE(std::abs(reopened.left - after.left), 2);
    EXPECT_LE(std::abs(reopened.top - after.top), 2);
    CloseProgram(Program);
}

TEST_F(TProgramTest, TheCommandLineOpensProjectsInAnyCaseInsertsPicturesAndIgnoresMissingFiles)
{
    const std::string folder = TestTempDir() + "\\commandline";
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::string plan = folder + "\\plan.SfP";
    {
        TProjectPtr project = NewTestProject();
        AddTestPage(project.get());
        AddTestPage(project.get(), true);
        project->SaveToFile(plan);
    }
    ASSERT_TRUE(Program.Start(Quoted(plan)));
    EXPECT_TRUE(Program.WaitForCaption("plan - Sheetfold")) << Program.Caption();
    EXPECT_EQ(TabCount(Program), 2);
    CloseProgram(Program);

    ASSERT_TRUE(Program.Start(Quoted(WriteSolidPicture(folder + "\\picture.PNG", 24, 24, Red, 75))));
    EXPECT_TRUE(Program.WaitForCaption("Untitled - Sheetfold")) << Program.Caption();
    EXPECT_GT(WaitForColorInView(Program, Red).right, 0) << "the picture is not shown";
    CloseProgram(Program);

    ASSERT_TRUE(Program.Start(Quoted(folder + "\\missing.sfp")));
    EXPECT_TRUE(Program.WaitForCaption("Untitled - Sheetfold")) << Program.Caption();
    EXPECT_EQ(TabCount(Program), 1);
    EXPECT_FALSE(Program.HasDialog());
    CloseProgram(Program);

    // A picture that cannot be read is passed over as quietly as a missing file.
    const std::string broken = folder + "\\broken.png";
    FILE* junk = std::fopen(broken.c_str(), "wb");
    ASSERT_NE(junk, nullptr);
    std::fputs("not a picture at all", junk);
    std::fclose(junk);
    ASSERT_TRUE(Program.Start(Quoted(broken)));
    EXPECT_TRUE(Program.WaitForCaption("Untitled - Sheetfold")) << Program.Caption();
    EXPECT_FALSE(Program.HasDialog());
    CloseProgram(Program);

    ASSERT_TRUE(Program.Start());
    EXPECT_TRUE(Program.WaitForCaption("Untitled - Sheetfold")) << Program.Caption();
    CloseProgram(Program);
}

TEST_F(TProgramTest, AModifiedProjectAsksBeforeClosingAndSavingOntoAFileAsksToOverwrite)
{
    const std::string folder = TestTempDir() + "\\closing";
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::string existing = folder + "\\existing.sfp";
    {
        TProjectPtr project = NewTestProject();
        AddTestPage(project.get());
        project->SaveToFile(existing);
    }
    const int64_t existingSize = FileSize(existing);
    ASSERT_TRUE(Program.Start(Quoted(existing)));
    ASSERT_TRUE(Program.WaitForCaption("existing - Sheetfold"));
    Program.PostCommand(cmdAddPage);
    ASSERT_TRUE(Program.Sync());
    EXPECT_TRUE(WaitUntil([&] { return TabCount(Program) == 2; })) << TabCount(Program) << " tabs for two pages";

    // Cancel keeps the program open.
    Program.Close();
    HWND question = Program.WaitForMessageBox();
    ASSERT_NE(question, nullptr) << "no question at close";
    EXPECT_EQ(MessageBoxText(question), "The project was modified. Save project?");
    PressDialogButton(question, IDCANCEL);
    ASSERT_TRUE(Program.WaitForDialogsGone());
    EXPECT_TRUE(Program.Running());

    // Saving onto the file asks first; No keeps the file.
    Program.PostCommand(cmdSaveAs);
    HWND dialog = Program.WaitForFileDialog();
    ASSERT_NE(dialog, nullptr);
    SetFileDialogName(dialog, existing);
    PressDialogButton(dialog, IDOK);
    HWND overwrite = Program.WaitForMessageBox();
    ASSERT_NE(overwrite, nullptr) << "no overwrite question";
    EXPECT_EQ(MessageBoxText(overwrite), "File exists. Overwrite?");
    PressDialogButton(overwrite, IDNO);
    ASSERT_TRUE(Program.WaitForDialogsGone());
    EXPECT_EQ(FileSize(existing), existingSize);

    // Yes at close saves under the project's name.
    Program.Close();
    question = Program.WaitForMessageBox();
    ASSERT_NE(question, nullptr);
    PressDialogButton(question, IDYES);
    DWORD code = 1;
    ASSERT_TRUE(Program.WaitForExit(DriverWaitMs, &code));
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(LoadTestProject(existing)->Count(), 2);
}
