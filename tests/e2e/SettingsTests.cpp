// Settings the program keeps between runs, seen from outside: the demonstration question at
// close until it is declined, and the picture hint that shows for the first openings only.
#include <windows.h>

#include "E2ESupport.h"
#include "TestSupport.h"

namespace {
// The demonstration project beside the program for as long as the case runs.
class TDemonstrationProject {
public:
    TDemonstrationProject()
    {
        const std::string exe = SheetfoldExePath();
        FPath = exe.substr(0, exe.find_last_of('\\') + 1) + "Example.sfp";
        TProjectPtr project = NewTestProject();
        AddTestPage(project.get());
        AddTestPage(project.get());
        project->SaveToFile(FPath);
    }
    ~TDemonstrationProject() { DeleteFileA(FPath.c_str()); }
    TDemonstrationProject(const TDemonstrationProject&) = delete;
    TDemonstrationProject& operator=(const TDemonstrationProject&) = delete;

private:
    std::string FPath;
};
}

TEST_F(TProgramTest, TheDemonstrationProjectOpensAndIsOfferedAtCloseUntilDeclined)
{
    TDemonstrationProject demonstration;
    WriteSetting("ShowDemo", 0);
    ASSERT_TRUE(Program.Start());
    EXPECT_TRUE(Program.WaitForCaption("Example - Sheetfold")) << Program.Caption();
    EXPECT_EQ(ReadDwordSetting("ShowDemo"), 1u);
    Program.Close();
    HWND question = Program.WaitForMessageBox();
    ASSERT_NE(question, nullptr) << "no demonstration question at close";
    EXPECT_EQ(MessageBoxText(question), "Load the demonstration project next time?");
    PressDialogButton(question, IDNO);
    DWORD code = 1;
    ASSERT_TRUE(Program.WaitForExit(DriverWaitMs, &code));
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(ReadDwordSetting("ShowDemo"), 2u);

    // Declined once: neither opened nor offered again.
    ASSERT_TRUE(Program.Start());
    EXPECT_TRUE(Program.WaitForCaption("Untitled - Sheetfold")) << Program.Caption();
    Program.Close();
    EXPECT_TRUE(Program.WaitForExit(DriverWaitMs, &code)) << "a question at close: "
                                                          << MessageBoxText(Program.WaitForMessageBox(0));
    EXPECT_EQ(code, 0u);
}

TEST_F(TProgramTest, APictureOpenedAsAFileShowsTheHintWhileTheCounterLasts)
{
    const std::string folder = TestTempDir() + "\\hint";
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::string picture = WriteSolidPicture(folder + "\\hinted.bmp", 16, 16, RGB(10, 120, 200));
    WriteSetting("InsertImageMessage", 1);
    ASSERT_TRUE(Program.Start());

    Program.PostCommand(cmdOpen);
    ASSERT_TRUE(Program.AnswerFileDialog(Program.WaitForFileDialog(), picture));
    HWND hint = Program.WaitForMessageBox();
    ASSERT_NE(hint, nullptr) << "no hint after opening a picture";
    EXPECT_NE(MessageBoxText(hint).find("Insert/Image"), std::string::npos) << MessageBoxText(hint);
    PressDialogButton(hint, IDOK);
    ASSERT_TRUE(Program.WaitForDialogsGone());

    // The counter ran out: the next picture comes without a hint.
    Program.PostCommand(cmdOpen);
    ASSERT_TRUE(Program.AnswerFileDialog(Program.WaitForFileDialog(), picture));
    ASSERT_TRUE(Program.Sync());
    EXPECT_EQ(Program.WaitForMessageBox(1500), nullptr) << "a second hint";
    CloseProgram(Program);
    EXPECT_EQ(ReadDwordSetting("InsertImageMessage"), 0u);
}
