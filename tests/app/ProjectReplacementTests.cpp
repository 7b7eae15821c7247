// What the main window shows when a project is opened, fails to open, or a picture fails to go
// in: the panel and the commands follow at once, a failure leaves the project as it was, and the
// texts come from the language in use.
#include <gtest/gtest.h>

#include <string>

#include "MainFormTestSupport.h"
#include "TestSupport.h"
#include "app/SheetfoldCommands.h"
#include "app/SfLanguage1.h"
#include "document/LayerImage.h"
#include "document/SheetfoldProject.h"
#include "platform/Exceptions.h"

namespace {

// The language of a file of the test's own for the length of a scope; English again after it.
class TLanguageScope {
public:
    TLanguageScope(TSheetfoldForm* form, const std::string& text) : FForm(form)
    {
        FForm->ApplyLanguage(WriteBytes("Testish.ini", text));
    }
    ~TLanguageScope() { FForm->ApplyLanguage("English"); }
    TLanguageScope(const TLanguageScope&) = delete;
    TLanguageScope& operator=(const TLanguageScope&) = delete;

private:
    TSheetfoldForm* FForm;
};

}  // namespace

class ProjectReplacementTest : public MainFormTest {
protected:
    // The enabled state of the commands and the panel as the window shows them now.
    void ExpectNothingSelectedShown()
    {
        for (int command : {cmCut, cmCopy, cmDelete})
            EXPECT_FALSE(Form->GetCommandEnabled(command)) << command;
        EXPECT_FALSE(Form->GetLeftEdit()->GetEnabled());
        EXPECT_EQ(Form->GetLeftEdit()->GetText(), "");
        EXPECT_EQ(Form->GetTextMemo()->GetText(), "");
    }
    std::string SavedProject(const std::string& name)
    {
        Form->NewProject();
        AddText("saved");
        std::string file = TestTempFile(name);
        Form->SaveProject(file);
        return file;
    }
};

TEST_F(ProjectReplacementTest, OpeningAProjectShowsItAtOnce)
{
    const std::string file = SavedProject("shown.sfp");
    const bool printer = Form->TakeSnapshot().HasPrinter;

    // From an empty page, where Export and Print are off, with no idle time between.
    Form->NewProject();
    Form->ApplyEnablingRules();
    ASSERT_FALSE(Form->GetCommandEnabled(cmExport));
    Form->OpenFile(file);
    EXPECT_TRUE(Form->GetCommandEnabled(cmExport));
    EXPECT_EQ(Form->GetCommandEnabled(cmPrint), printer);
    EXPECT_FALSE(Form->GetCommandEnabled(cmSave));
    ExpectNothingSelectedShown();

    // From a selection that the panel and the commands show: it goes with the old project.
    TLayerText* selected = AddText("selected");
    Form->UpdateProperties(Selection());
    Form->ApplyEnablingRules();
    ASSERT_TRUE(Form->GetCommandEnabled(cmCut));
    ASSERT_EQ(Form->GetTextMemo()->GetText(), "selected");
    (void)selected;
    Form->GetProject()->ClearModified();
    Form->OpenFile(file);
    ExpectNothingSelectedShown();
    EXPECT_EQ(Form->GetProject()->GetCurrentPage()->Count(), 1);
}

TEST_F(ProjectReplacementTest, AFailedOpenLeavesTheProjectAsItWas)
{
    const std::string file = SavedProject("whole.sfp");
    const std::string whole = ReadBytes(file);
    const std::string truncated = WriteBytes("truncated.sfp", whole.substr(0, whole.size() / 2));
    const std::string garbage = WriteBytes("garbage.sfp", std::string(300, '\x5A'));

    for (const std::string& damaged : {truncated, garbage}) {
        SCOPED_TRACE(damaged);
        Form->OpenFile(file);
        TSheetfoldPage* page = Form->GetProject()->GetCurrentPage();
        Selection()->Add(page->GetItem(0));
        Form->ApplyEnablingRules();
        EXPECT_THROW(Form->OpenFile(damaged), Exception);
        EXPECT_FALSE(Form->GetProject()->GetModified());
        EXPECT_EQ(Form->GetProject()->GetFileName(), file);
        EXPECT_EQ(Form->GetProject()->Count(), 1);
        EXPECT_EQ(Form->GetProject()->GetCurrentPage()->Count(), 1);
        // Whatever is selected now, the panel and the commands show it.
        bool selected = Selection()->Count() > 0;
        EXPECT_EQ(Form->GetCommandEnabled(cmCut), selected);
        EXPECT_EQ(Form->GetLeftEdit()->GetEnabled(), selected);
        // Nothing to save: New asks nothing.
        Form->Questions.clear();
        Form->NewProject();
        EXPECT_TRUE(Form->Questions.empty());
    }
}

TEST_F(ProjectReplacementTest, APictureThatCannotBeReadEndsTheInsertWithItsMessage)
{
    const std::string good = WriteBmp("good.bmp", 4, 4);
    const std::string bad = WriteBytes("bad.bmp", "not a picture");
    const std::string after = WriteBmp("after.bmp", 4, 4);
    TSheetfoldPage* page = Form->GetCurrentPage();
    try {
        Form->InsertImageFiles({good, bad, after});
        ADD_FAILURE() << "the insert went on past the picture that cannot be read";
    } catch (const Exception& e) {
        EXPECT_EQ(e.GetMessage(), "This is an unsupported image file format.");
    }
    // The numbered box about the file, then the failure that ends the command.
    ASSERT_EQ(Errors.size(), 1u);
    EXPECT_NE(Errors[0].find("bad.bmp"), std::string::npos);
    int pictures = 0;
    for (int i = 0; i < page->Count(); ++i)
        pictures += Is<TLayerImage>(page->GetItem(i)) ? 1 : 0;
    EXPECT_EQ(pictures, 1);
}

TEST_F(ProjectReplacementTest, TheLoadingCaptionComesFromTheLanguage)
{
    const std::string file = SavedProject("caption.sfp");
    {
        TLanguageScope language(Form.get(), "[Info]\nLanguage=Testish\n[Const]\n12=Wird geladen...\n");
        Form->ProgressCaptions.clear();
        Form->OpenFile(file);
        ASSERT_FALSE(Form->ProgressCaptions.empty());
        EXPECT_EQ(Form->ProgressCaptions.back(), "Wird geladen...");
    }
    Form->ProgressCaptions.clear();
    Form->OpenFile(file);
    ASSERT_FALSE(Form->ProgressCaptions.empty());
    EXPECT_EQ(Form->ProgressCaptions.back(), "Loading...");
}

// A folder where no file can be made: /sys/kernel, which Wine shows as Z:\sys\kernel, refuses even
// the superuser. The message says that the folder cannot be written and why, and names the
// user's file, not the temporary one the project is first written into.
TEST_F(ProjectReplacementTest, SavingWhereNothingCanBeWrittenNamesTheFolderAndTheFile)
{
    struct TCase {
        std::string Folder;
        bool MustExist;
    };
    for (const TCase& c : {TCase{"Z:\\sys\\kernel", true}, TCase{TestTempFile("missing"), false}}) {
        SCOPED_TRACE(c.Folder);
        const std::string probe = c.Folder + "\\probe.tmp";
        HANDLE file = CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        const DWORD reason = GetLastError();
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
            DeleteFileA(probe.c_str());
            GTEST_SKIP() << "the folder can be written on this host";
        }
        if (c.MustExist && reason == ERROR_PATH_NOT_FOUND)
            GTEST_SKIP() << "no such folder on this host";
        AddText("unsaved");
        const std::string target = c.Folder + "\\project.sfp";
        try {
            Form->SaveProject(target);
            ADD_FAILURE() << "saved where nothing can be written";
        } catch (const Exception& e) {
            const std::string message = e.GetMessage();
            EXPECT_NE(message.find("\"" + target + "\""), std::string::npos) << message;
            const std::string folder = "folder \"" + c.Folder + "\\\" cannot be written. ";
            const size_t at = message.find(folder);
            ASSERT_NE(at, std::string::npos) << message;
            // The system's reason follows; where the folder exists, it is the one the probe met.
            EXPECT_GT(message.size(), at + folder.size()) << message;
            if (c.MustExist) {
                EXPECT_NE(message.find(SysErrorMessage(reason)), std::string::npos) << message;
            }
            EXPECT_EQ(message.find(".tmp"), std::string::npos) << message;
        }
        EXPECT_TRUE(Form->GetProject()->GetModified());
    }
}
