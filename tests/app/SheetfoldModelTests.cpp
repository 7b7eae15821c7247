#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "DialogLanguage.h"
#include "TestSupport.h"
#include "app/SheetfoldModel.h"
#include "document/Layer.h"
#include "document/LayerImage.h"
#include "document/SheetfoldProject.h"
#include "document/SheetfoldView.h"
#include "graphics/SfTypes.h"
#include "platform/Clipboard.h"
#include "platform/Exceptions.h"
#include "platform/Forms.h"
#include "platform/Streams.h"
#include "platform/SysUtils.h"

namespace {

using TFormPtr = std::unique_ptr<TCustomSheetfoldForm, TObjectFree>;

// A main window that fills the progress hooks, as the program's does.
class TProgressForm : public TCustomSheetfoldForm {
public:
    using TCustomSheetfoldForm::TCustomSheetfoldForm;
    void BeginProgress(int maximum, const std::string&, bool canAbort) override
    {
        ++Begins;
        Maximum = maximum;
        CanAbort = canAbort;
    }
    void SetProgress(int) override { ++Steps; }
    void EndProgress() override { ++Ends; }
    // New pages keep Letter: the process-wide printer must not outlive the test environment.
    TPrintHelper* GetPrintHelper() const override { return nullptr; }

    int Begins = 0;
    int Steps = 0;
    int Ends = 0;
    int Maximum = 0;
    bool CanAbort = true;
};

} // namespace

TEST(CustomSheetfoldForm, AbstractHooksRaiseAndTheOthersHaveTheirBaseBehaviour)
{
    TFormPtr form(New<TCustomSheetfoldForm>(nullptr));
    EXPECT_THROW(form->ExecuteSaveDialog(), EAbstractError);
    EXPECT_THROW(form->BeginProgress(10, "x", false), EAbstractError);
    EXPECT_THROW(form->SetProgress(1), EAbstractError);
    EXPECT_THROW(form->EndProgress(), EAbstractError);
    EXPECT_THROW(form->ProgressAborted(), EAbstractError);

    EXPECT_TRUE(form->CanCloseProject());
    EXPECT_NO_THROW(form->PagesChanged());
    EXPECT_NO_THROW(form->UpdateProperties(nullptr));
    EXPECT_NO_THROW(form->ViewResized());
    EXPECT_NO_THROW(form->ShowContextMenu(1, 2));
    EXPECT_NO_THROW(form->ViewKeyDown(VK_LEFT, TShiftState()));

    std::unique_ptr<TLayerSelection, TObjectFree> selection(New<TLayerSelection>());
    form->SelectionItemChanged(selection.get());
    EXPECT_EQ(form->GetSelection(), selection.get());

    EXPECT_FALSE(form->GetInsertPointValid());
    form->SetInsertPoint(POINT{1200, 3400});
    EXPECT_TRUE(form->GetInsertPointValid());
    POINT p = form->GetInsertPoint();
    EXPECT_EQ(p.x, 1200);
    EXPECT_EQ(p.y, 3400);

    ASSERT_NE(form->GetPrintHelper(), nullptr);
    EXPECT_EQ(form->GetPrintHelper(), static_cast<TSheetfoldFormHooks*>(form.get())->GetPrintHelper());
}

TEST(CustomSheetfoldForm, ReadingAProjectReportsProgressOnceThroughTheWindow)
{
    std::unique_ptr<TProgressForm, TObjectFree> form(New<TProgressForm>(nullptr));
    std::unique_ptr<TSheetfoldProject, TObjectFree> project(New<TSheetfoldProject>());
    project->SetForm(form.get());
    New<TSheetfoldPage>(project.get());
    New<TLayerRect>(project->GetPage(0))->SetBounds(0, 0, 100, 100);
    std::unique_ptr<TStringStream, TObjectFree> stream(New<TStringStream>());
    project->SaveToStream(stream.get());

    stream->SetPosition(0);
    project->LoadFromStream(stream.get());
    EXPECT_EQ(form->Begins, 1);
    EXPECT_EQ(form->Ends, 1);
    EXPECT_FALSE(form->CanAbort);
    EXPECT_EQ(form->Maximum, static_cast<int>(stream->GetSize()));
    // Paper, printable area, orientation, the element group and the page's end.
    EXPECT_EQ(form->Steps, 5);
    EXPECT_EQ(project->Count(), 1);
}

namespace {

struct TShownMessage {
    std::string Text;
    UINT Flags = 0;
    std::string Caption;
};

// A main window whose boxes and dialogs the test answers; new pages keep Letter.
class TTestForm : public TCustomSheetfoldForm {
public:
    using TCustomSheetfoldForm::TCustomSheetfoldForm;

    TPrintHelper* GetPrintHelper() const override { return nullptr; }
    void BeginProgress(int, const std::string&, bool) override {}
    void SetProgress(int) override {}
    void EndProgress() override {}
    bool ProgressAborted() override { return false; }
    bool ExecuteSaveDialog() override
    {
        ++SaveDialogs;
        if (SaveAs.empty())
            return false;
        GetProject()->SetFileName(SaveAs);
        return true;
    }
    int MessageBox(const std::string& text, UINT flags, const std::string& caption) override
    {
        Messages.push_back({text, flags, caption});
        if (Answers.empty())
            return IDCANCEL;
        int answer = Answers.front();
        Answers.erase(Answers.begin());
        return answer;
    }
    void UpdateProperties(TObject* item) override { LastProperties = item; }
    bool ExecuteRasterizeDialog(int& resolution) override
    {
        RasterizePresets.push_back(resolution);
        if (RasterizeAnswer <= 0)
            return false;
        resolution = RasterizeAnswer;
        return true;
    }

    std::vector<TShownMessage> Messages;
    std::vector<int> Answers;
    std::string SaveAs;
    int SaveDialogs = 0;
    std::vector<int> RasterizePresets;
    int RasterizeAnswer = 0;
    TObject* LastProperties = nullptr;
};

using TTestFormPtr = std::unique_ptr<TTestForm, TObjectFree>;

// An enhanced metafile of 50 mm by 30 mm with a filled rectangle.
std::string WriteEmf(const std::string& name)
{
    std::string path = TestTempFile(name);
    RECT frame{0, 0, 5000, 3000};
    HDC dc = CreateEnhMetaFileA(nullptr, path.c_str(), &frame, nullptr);
    Rectangle(dc, 10, 10, 100, 60);
    DeleteEnhMetaFile(CloseEnhMetaFile(dc));
    return path;
}

class SheetfoldModel : public testing::Test {
protected:
    void SetUp() override
    {
        FPreviousHandler = SetErrorMessageHandler([this](const std::string& text) {
            Errors.push_back(text);
            return IDOK;
        });
        Form.reset(New<TTestForm>(nullptr));
        Form->NewProject();
    }
    void TearDown() override
    {
        Form.reset();
        SetErrorMessageHandler(FPreviousHandler);
    }

    TSheetfoldProject* Project() const { return Form->GetProject(); }
    TSheetfoldPage* Page() const { return Form->GetCurrentPage(); }
    TLayerSelection* Selection() const { return Form->GetSelectionList(); }
    TLayerRect* AddRect(int left, int top, int width, int height)
    {
        TLayerRect* rect = New<TLayerRect>(Page());
        rect->SetBounds(left, top, width, height);
        return rect;
    }
    // A project of two pages saved under the name, then the form back at a new project.
    std::string SaveTwoPageProject(const std::string& name)
    {
        AddRect(100, 200, 300, 400)->SetName("First");
        Form->AddPage();
        AddRect(500, 600, 700, 800)->SetName("Second");
        std::string path = TestTempFile(name);
        Form->SaveProject(path);
        return path;
    }

    TEnglishTexts English;
    TTestFormPtr Form;
    std::vector<std::string> Errors;

private:
    TErrorMessageHandler FPreviousHandler;
};

} // namespace

TEST_F(SheetfoldModel, ConstructionGivesTheViewItsProjectAndTheFormAndTheDefaults)
{
    TTestFormPtr form(New<TTestForm>(nullptr));
    ASSERT_NE(form->GetView(), nullptr);
    EXPECT_EQ(form->GetView()->GetOwner(), form.get());
    EXPECT_EQ(form->GetView()->GetProject(), form->GetProject());
    EXPECT_EQ(form->GetView()->GetForm(), static_cast<TSheetfoldFormHooks*>(form.get()));
    EXPECT_EQ(form->GetProject()->GetForm(), static_cast<TSheetfoldFormHooks*>(form.get()));
    EXPECT_EQ(form->GetProject()->Count(), 0);
    EXPECT_FALSE(form->GetUnits());
    EXPECT_EQ(form->GetDefaultFont()->GetName(), "Arial");
    EXPECT_EQ(form->GetDefaultFont()->GetSize(), 12);
    EXPECT_EQ(form->GetDefaultFont()->GetColor(), 0);
    EXPECT_EQ(form->GetShapeColor(), 0);
    EXPECT_FALSE(form->GetUpdating());

    form->NewProject();
    EXPECT_EQ(form->GetProject()->Count(), 1);
    EXPECT_EQ(form->GetProject()->GetFileName(), "Untitled");
    EXPECT_FALSE(form->GetProject()->GetModified());
    EXPECT_EQ(form->GetCaption(), "Untitled - Sheetfold");
}

TEST_F(SheetfoldModel, CanCloseProjectAsksOnlyWhenSomethingWouldBeLost)
{
    EXPECT_TRUE(Form->CanCloseProject());
    Project()->SetModified();
    // Untitled with one empty page: nothing to lose even when marked modified.
    EXPECT_TRUE(Form->CanCloseProject());
    EXPECT_TRUE(Form->Messages.empty());

    AddRect(0, 0, 100, 100);
    Form->Answers = {IDNO};
    EXPECT_TRUE(Form->CanCloseProject());
    ASSERT_EQ(Form->Messages.size(), 1u);
    EXPECT_EQ(Form->Messages[0].Text, "The project was modified. Save project?");
    EXPECT_EQ(Form->Messages[0].Flags, static_cast<UINT>(MB_YESNOCANCEL | MB_ICONQUESTION));
    EXPECT_EQ(Form->Messages[0].Caption, "Sheetfold");

    Form->Answers = {IDCANCEL};
    EXPECT_FALSE(Form->CanCloseProject());

    // Yes saves; a Save As dialog that is cancelled keeps the project open.
    Form->Answers = {IDYES};
    EXPECT_FALSE(Form->CanCloseProject());
    EXPECT_EQ(Form->SaveDialogs, 1);
    EXPECT_TRUE(Project()->GetModified());

    Form->SaveAs = TestTempFile("closing.sfp");
    Form->Answers = {IDYES};
    EXPECT_TRUE(Form->CanCloseProject());
    EXPECT_TRUE(FileExists(Form->SaveAs));
    EXPECT_FALSE(Project()->GetModified());
    EXPECT_EQ(Form->GetCaption(), "closing - Sheetfold");

    // A named project asks even when its one page is empty.
    Selection()->Clear();
    Page()->GetItem(0)->Free();
    Project()->SetModified();
    Form->Messages.clear();
    Form->Answers = {IDNO};
    EXPECT_TRUE(Form->CanCloseProject());
    EXPECT_EQ(Form->Messages.size(), 1u);

    // New asks first, and Cancel keeps everything.
    Form->Answers = {IDCANCEL};
    Form->NewProject();
    EXPECT_EQ(Project()->GetFileName(), Form->SaveAs);
    EXPECT_TRUE(Project()->GetModified());
}

TEST_F(SheetfoldModel, OpeningAProjectReplacesTheOpenOne)
{
    std::string path = SaveTwoPageProject("good.sfp");

    TTestFormPtr other(New<TTestForm>(nullptr));
    other->NewProject();
    other->AddPage();
    other->AddPage();
    other->SetCurrentPage(2);
    other->GetProject()->ClearModified();
    other->OpenFile(path);
    EXPECT_FALSE(other->GetUpdating());
    ASSERT_EQ(other->GetProject()->Count(), 2);
    EXPECT_EQ(other->GetProject()->GetCurrentPageIndex(), 0);
    EXPECT_EQ(other->GetProject()->GetFileName(), path);
    EXPECT_FALSE(other->GetProject()->GetModified());
    EXPECT_EQ(other->GetCaption(), "good - Sheetfold");
    ASSERT_EQ(other->GetProject()->GetPage(1)->Count(), 1);
    EXPECT_EQ(other->GetProject()->GetPage(1)->GetItem(0)->GetName(), "Second");
    EXPECT_TRUE(other->Messages.empty());
}

TEST_F(SheetfoldModel, AProjectThatMayNotCloseIsNotReplaced)
{
    std::string path = SaveTwoPageProject("kept.sfp");
    Form->NewProject();
    AddRect(0, 0, 10, 10)->SetName("Mine");
    Project()->SetModified();
    Form->Answers = {IDCANCEL};
    Form->OpenFile(path);
    EXPECT_FALSE(Form->GetUpdating());
    EXPECT_EQ(Project()->Count(), 1);
    EXPECT_EQ(Page()->GetItem(0)->GetName(), "Mine");
    EXPECT_EQ(Project()->GetFileName(), "Untitled");
    EXPECT_TRUE(Project()->GetModified());
}

TEST_F(SheetfoldModel, ADamagedProjectLeavesTheOpenOneUntouched)
{
    std::string good = SaveTwoPageProject("whole.sfp");
    std::string bytes = ReadBytes(good);
    std::string cut = WriteBytes("cut.sfp", bytes.substr(0, bytes.size() - 20));

    Form->OpenFile(good);
    AddRect(1, 2, 3, 4)->SetName("Unsaved");
    Form->SetCurrentPage(1);
    ASSERT_TRUE(Project()->GetModified());

    Form->Answers = {IDNO};
    EXPECT_THROW(Form->OpenFile(cut), Exception);
    EXPECT_FALSE(Form->GetUpdating());
    EXPECT_EQ(Project()->Count(), 2);
    EXPECT_EQ(Project()->GetFileName(), good);
    EXPECT_TRUE(Project()->GetModified());
    EXPECT_EQ(Project()->GetCurrentPageIndex(), 1);
    EXPECT_EQ(Project()->GetPage(0)->Count(), 2);
}

TEST_F(SheetfoldModel, AFileThatIsNeitherProjectNorPictureLeavesNothingBehind)
{
    std::string junk = WriteBytes("junk.sfp", std::string(64, 'x'));
    AddRect(0, 0, 10, 10);
    const int pages = Project()->Count();
    EXPECT_THROW(Form->OpenFile(junk), EInvalidGraphic);
    EXPECT_FALSE(Form->GetUpdating());
    EXPECT_EQ(Project()->Count(), pages);
    EXPECT_EQ(Page()->Count(), 1);
    ASSERT_EQ(Errors.size(), 1u);
    EXPECT_EQ(Errors[0].find("File \"" + junk + "\" loading error: "), 0u);
    // The hint belongs to pictures that were inserted.
    EXPECT_TRUE(Form->Messages.empty());
    EXPECT_EQ(Form->GetImageHintCount(), 3);
}

TEST_F(SheetfoldModel, AMetafileThatCannotBeReadIsToldLikeAnyPicture)
{
    std::string bad = WriteBytes("bad.wmf", std::string(200, 'z'));
    EXPECT_THROW(Form->InsertImageFile(bad), EInvalidGraphic);
    ASSERT_EQ(Errors.size(), 1u);
    EXPECT_EQ(Errors[0], "File \"" + bad + "\" loading error: -9");
    EXPECT_EQ(Page()->Count(), 0);
}

TEST_F(SheetfoldModel, AMissingFileRaisesAndChangesNothing)
{
    std::string missing = TestTempFile("nowhere.png");
    AddRect(0, 0, 10, 10);
    EXPECT_THROW(Form->OpenFile(missing), Exception);
    EXPECT_FALSE(Form->GetUpdating());
    EXPECT_EQ(Project()->Count(), 1);
    EXPECT_EQ(Page()->Count(), 1);

    // Inserted directly, the file's absence is told by its own message.
    EXPECT_THROW(Form->InsertImageFile(missing), EInvalidGraphic);
    ASSERT_EQ(Errors.size(), 1u);
    EXPECT_EQ(Errors[0], "File \"" + missing + "\" not found.");
    EXPECT_EQ(Page()->Count(), 1);
}

TEST_F(SheetfoldModel, AnOpenIntoAnEmptiedProjectAlwaysLeavesAPage)
{
    Project()->Clear();
    EXPECT_THROW(Form->OpenFile(TestTempFile("gone.sfp")), Exception);
    EXPECT_EQ(Project()->Count(), 1);
    EXPECT_EQ(Page()->Count(), 0);

    // A picture opened into a cleared project gets a page of its own.
    Project()->Clear();
    Form->OpenFile(WriteBmp("alone.bmp", 2, 2));
    ASSERT_EQ(Project()->Count(), 1);
    EXPECT_EQ(Page()->Count(), 2);

    // A project file without pages opens with one empty page.
    Project()->Clear();
    std::string empty = TestTempFile("empty.sfp");
    Project()->SaveToFile(empty);
    TTestFormPtr other(New<TTestForm>(nullptr));
    other->OpenFile(empty);
    ASSERT_EQ(other->GetProject()->Count(), 1);
    EXPECT_EQ(other->GetProject()->GetFileName(), empty);
    EXPECT_EQ(other->GetCurrentPage()->Count(), 0);
}

TEST_F(SheetfoldModel, OpeningAPictureInsertsItAndShowsTheHintThreeTimes)
{
    std::string path = WriteBmp("pic.bmp", 4, 2);
    Form->SetInsertPoint(POINT{1500, 2500});
    Form->OpenFile(path);
    EXPECT_FALSE(Form->GetUpdating());
    ASSERT_EQ(Page()->Count(), 2);
    auto* image = As<TLayerImage>(Page()->GetItem(0));
    EXPECT_EQ(image->GetName(), "pic.bmp");
    EXPECT_TRUE(image->GetClipEnabled());
    EXPECT_EQ(image->GetLeft(), 1500);
    EXPECT_EQ(image->GetTop(), 2500);
    auto* caption = As<TLayerText>(image->GetCaption());
    ASSERT_NE(caption, nullptr);
    EXPECT_EQ(caption->GetText(), "pic.bmp");
    EXPECT_FALSE(caption->GetVisible());
    EXPECT_FALSE(caption->GetEnabled());
    EXPECT_TRUE(caption->GetAutoSize());
    EXPECT_EQ(caption->GetFormat(), 0);
    EXPECT_EQ(caption->GetAlign(), 0xA40);
    EXPECT_EQ(caption->GetFont()->GetName(), "Arial");
    ASSERT_EQ(Selection()->Count(), 1);
    EXPECT_EQ(Selection()->First(), image);
    EXPECT_EQ(Form->GetCaption(), "Untitled - Sheetfold");

    ASSERT_EQ(Form->Messages.size(), 1u);
    EXPECT_EQ(Form->Messages[0].Flags, static_cast<UINT>(MB_ICONINFORMATION));
    EXPECT_NE(Form->Messages[0].Text.find("\"Insert image from file\""), std::string::npos);
    EXPECT_EQ(Form->GetImageHintCount(), 2);
    Form->OpenFile(path);
    Form->OpenFile(path);
    EXPECT_EQ(Form->GetImageHintCount(), 0);
    Form->OpenFile(path);
    EXPECT_EQ(Form->Messages.size(), 3u);
    EXPECT_EQ(Form->GetImageHintCount(), 0);
    EXPECT_EQ(Page()->Count(), 8);
}

TEST_F(SheetfoldModel, TheInsertPointIsUsedOnceAndPulledBackOntoThePaper)
{
    Form->SetInsertPoint(POINT{1200, 3400});
    TLayerRect* first = Form->InsertRect();
    EXPECT_EQ(first->GetLeft(), 1200);
    EXPECT_EQ(first->GetTop(), 3400);
    EXPECT_EQ(first->GetWidth(), 4000);
    EXPECT_EQ(first->GetHeight(), 2000);
    EXPECT_FALSE(Form->GetInsertPointValid());

    // Then 10 mm right of and below the first selected element.
    TLayerEllipse* second = Form->InsertEllipse();
    EXPECT_EQ(second->GetLeft(), 2200);
    EXPECT_EQ(second->GetTop(), 4400);
    EXPECT_EQ(second->GetName(), "Ellipse");
    EXPECT_EQ(second->GetPen()->GetStyle(), TPenStyle::psClear);

    Selection()->Clear();
    POINT p = Form->GetInsertPoint();
    EXPECT_EQ(p.x, 1000);
    EXPECT_EQ(p.y, 1000);

    const RECT paper = Page()->GetPaperRect();
    Form->SetInsertPoint(POINT{paper.right + 5, 700});
    p = Form->GetInsertPoint();
    EXPECT_EQ(p.x, 0);
    EXPECT_EQ(p.y, 700);
    Form->SetInsertPoint(POINT{800, paper.bottom + 5});
    p = Form->GetInsertPoint();
    EXPECT_EQ(p.x, 800);
    EXPECT_EQ(p.y, 0);
    Form->SetInsertPoint(POINT{paper.right - 1, paper.bottom - 1});
    p = Form->GetInsertPoint();
    EXPECT_EQ(p.x, paper.right - 1);
    EXPECT_EQ(p.y, paper.bottom - 1);
}

TEST_F(SheetfoldModel, InsertedElementsAreNamedColouredAndSelectedAlone)
{
    Form->SetShapeColor(0x0000FF);
    TLayerRect* rect = Form->InsertRect();
    EXPECT_EQ(rect->GetName(), "Rect");
    EXPECT_EQ(rect->GetColor(), 0x0000FF);
    TLayerText* text = Form->InsertText("Hello");
    EXPECT_EQ(text->GetName(), "Text");
    EXPECT_EQ(text->GetText(), "Hello");
    EXPECT_EQ(text->GetFont()->GetName(), "Arial");
    ASSERT_EQ(Selection()->Count(), 1);
    EXPECT_EQ(Selection()->First(), text);

    // Deleting the selection selects the bottom element when it can be selected.
    Form->DeleteSelection();
    ASSERT_EQ(Page()->Count(), 1);
    ASSERT_EQ(Selection()->Count(), 1);
    EXPECT_EQ(Selection()->First(), rect);
    Form->DeleteSelection();
    EXPECT_EQ(Page()->Count(), 0);
    EXPECT_TRUE(Selection()->IsEmpty());
}

TEST_F(SheetfoldModel, CopyAndPasteCarryElementsAcrossPagesThroughTheClipboard)
{
    TLayerRect* rect = AddRect(100, 200, 3000, 4000);
    rect->SetName("Box");
    TLayerText* text = Form->InsertText("Clipboard words");
    Selection()->Add(rect);
    Form->CopyToClipboard();
    EXPECT_TRUE(Clipboard()->HasFormat(CF_Sheetfold()));
    EXPECT_EQ(Clipboard()->GetAsText(), "Clipboard words");
    EXPECT_TRUE(Form->CanPaste());

    Form->AddPage();
    ASSERT_EQ(Project()->GetCurrentPageIndex(), 1);
    Form->PasteFromClipboard();
    ASSERT_EQ(Page()->Count(), 2);
    // Selection order: the text first, then the rectangle.
    auto* pastedText = As<TLayerText>(Page()->GetItem(0));
    auto* pastedRect = As<TLayerRect>(Page()->GetItem(1));
    EXPECT_EQ(pastedText->GetText(), "Clipboard words");
    EXPECT_EQ(pastedRect->GetName(), "Box");
    EXPECT_TRUE(SfTypes::EqualRect(pastedRect->GetBounds(), rect->GetBounds()));
    EXPECT_EQ(pastedText->GetLeft(), text->GetLeft());
    EXPECT_EQ(Project()->GetPage(0)->Count(), 2);

    // Cut takes them off the page and leaves them on the clipboard.
    Selection()->Clear();
    Selection()->Add(pastedRect);
    Form->Cut();
    EXPECT_EQ(Page()->Count(), 1);
    Form->PasteFromClipboard();
    EXPECT_EQ(Page()->Count(), 2);
}

TEST_F(SheetfoldModel, CopyWithoutASelectionLeavesTheClipboardAlone)
{
    Clipboard()->SetAsText("left alone");
    Form->CopyToClipboard();
    EXPECT_EQ(Clipboard()->GetAsText(), "left alone");
    EXPECT_FALSE(Clipboard()->HasFormat(CF_Sheetfold()));

    // A copy of shapes only leaves no text behind.
    AddRect(0, 0, 10, 10);
    Selection()->Add(Page()->GetItem(0));
    Form->CopyToClipboard();
    EXPECT_TRUE(Clipboard()->HasFormat(CF_Sheetfold()));
    EXPECT_FALSE(Clipboard()->HasFormat(CF_TEXT));
}

TEST_F(SheetfoldModel, ADamagedOrForeignClipboardBlockRaisesAndAddsNothing)
{
    TLayerRect* rect = AddRect(0, 0, 500, 500);
    Form->InsertText("two");
    Selection()->Add(rect);
    Form->CopyToClipboard();
    std::string payload;
    {
        Clipboard()->Open();
        HANDLE data = Clipboard()->GetAsHandle(CF_Sheetfold());
        payload.assign(static_cast<const char*>(GlobalLock(data)), GlobalSize(data));
        GlobalUnlock(data);
        Clipboard()->Close();
    }
    ASSERT_GT(payload.size(), 40u);
    Form->AddPage();

    for (const std::string& damaged : {payload.substr(0, payload.size() / 2), payload.substr(0, 6),
                                       std::string("Not a Sheetfold block at all")}) {
        Clipboard()->SetBuffer(CF_Sheetfold(), damaged.data(), damaged.size());
        EXPECT_THROW(Form->PasteFromClipboard(), EReadError);
        EXPECT_EQ(Page()->Count(), 0);
    }
    Clipboard()->Clear();
}

TEST_F(SheetfoldModel, PagesAreAddedDeletedAndChosen)
{
    TSheetfoldPage* first = Page();
    Form->AddPage();
    TSheetfoldPage* second = Page();
    Form->AddPage();
    TSheetfoldPage* third = Page();
    EXPECT_EQ(Project()->Count(), 3);
    EXPECT_EQ(Project()->GetCurrentPageIndex(), 2);
    EXPECT_TRUE(Project()->GetModified());

    // The first page deleted: the page that follows it becomes current.
    Form->SetCurrentPage(0);
    Form->DeletePage();
    EXPECT_EQ(Project()->Count(), 2);
    EXPECT_EQ(Page(), second);
    (void)first;

    Form->SetCurrentPage(1);
    Form->DeletePage();
    EXPECT_EQ(Page(), second);
    EXPECT_EQ(Project()->Count(), 1);
    (void)third;

    // The only page stays, and the project is marked modified anyway.
    Project()->ClearModified();
    Form->DeletePage();
    EXPECT_EQ(Project()->Count(), 1);
    EXPECT_TRUE(Project()->GetModified());

    // Indexes are clamped, and the page left remembers what to select again.
    Form->AddPage();
    Form->SetCurrentPage(0);
    AddRect(0, 0, 10, 10);
    TLayerRect* top = AddRect(0, 0, 20, 20);
    Selection()->Add(top);
    Form->SetCurrentPage(99);
    EXPECT_EQ(Project()->GetCurrentPageIndex(), 1);
    EXPECT_EQ(Project()->GetPage(0)->GetSelectedIndex(), 1);
    EXPECT_TRUE(Selection()->IsEmpty());
    Form->SetCurrentPage(-4);
    EXPECT_EQ(Project()->GetCurrentPageIndex(), 0);
}

TEST_F(SheetfoldModel, LengthsReadAndWriteInTheCurrentUnit)
{
    TLayerRect* a = AddRect(2540, 1000, 5080, 300);
    TLayerRect* b = AddRect(2540, 2000, 5080, 300);
    EXPECT_EQ(Form->GetLeftText(), "");
    Selection()->Add(a);
    Selection()->Add(b);
    EXPECT_EQ(Form->GetLeftText(), "25.40");
    EXPECT_EQ(Form->GetTopText(), "");
    EXPECT_EQ(Form->GetWidthText(), "50.80");
    EXPECT_EQ(Form->GetHeightText(), "3.00");
    EXPECT_EQ(Form->GetUnitSuffix(), "mm.");
    EXPECT_EQ(Form->GetUpDownStep(), 100);

    Form->LastProperties = nullptr;
    Form->SetUnits(true);
    EXPECT_EQ(Form->LastProperties, a);
    EXPECT_EQ(Form->GetLeftText(), "1.00");
    EXPECT_EQ(Form->GetWidthText(), "2.00");
    EXPECT_EQ(Form->GetUnitSuffix(), "''");
    EXPECT_EQ(Form->GetUpDownStep(), 254);
    int value = 0;
    ASSERT_TRUE(Form->ParseLength("1.00", value));
    EXPECT_EQ(value, 2540);

    Form->SetTopText("0.5");
    EXPECT_EQ(a->GetTop(), 1270);
    EXPECT_EQ(b->GetTop(), 1270);
    Form->SetUnits(false);
    Form->SetLeftText("-5");
    EXPECT_EQ(a->GetLeft(), -500);

    // Refused: negative or zero sizes, absurd values and what is no number.
    for (const char* bad : {"-5", "0", "abc", "", "1e12", "12mm", "nan", "inf"}) {
        Form->SetWidthText(bad);
        Form->SetHeightText(bad);
        EXPECT_EQ(a->GetWidth(), 5080) << bad;
        EXPECT_EQ(a->GetHeight(), 300) << bad;
    }
    Form->SetLeftText("1e12");
    EXPECT_EQ(a->GetLeft(), -500);
    Form->SetWidthText("12.35");
    EXPECT_EQ(a->GetWidth(), 1235);
    EXPECT_EQ(b->GetWidth(), 1235);
}

TEST_F(SheetfoldModel, FlagsNamesAndTextsShowTheCommonValue)
{
    TLayerRect* a = AddRect(0, 0, 100, 100);
    TLayerRect* b = AddRect(0, 0, 100, 100);
    EXPECT_FALSE(Form->GetHorzCenter());
    EXPECT_EQ(Form->GetSelectionName(), "");
    Selection()->Add(a);
    Selection()->Add(b);
    Form->SetHorzCenter(true);
    EXPECT_TRUE(Form->GetHorzCenter());
    EXPECT_EQ(a->GetAlign() & 0x200, 0x200);
    b->SetAlign(0);
    EXPECT_FALSE(Form->GetHorzCenter());
    Form->SetFitToPage(true);
    EXPECT_TRUE(Form->GetFitToPage());
    EXPECT_EQ(a->GetAlign() & 0x1800, 0x1800);
    Form->SetFitToPage(false);
    EXPECT_EQ(a->GetAlign() & 0x1800, 0);
    Form->SetVertCenter(true);
    EXPECT_TRUE(Form->GetVertCenter());

    Form->SetSelectionName("Both");
    EXPECT_EQ(Form->GetSelectionName(), "Both");
    Form->SetSelectionName("");
    EXPECT_EQ(a->GetName(), "Both");
    b->SetName("Other");
    EXPECT_EQ(Form->GetSelectionName(), "");

    // Single-element properties are mixed with two selected.
    EXPECT_EQ(Form->GetElementText(), "");
    EXPECT_EQ(Form->GetElementFont(), nullptr);
    EXPECT_FALSE(Form->GetKeepRatio());
    Form->SetElementColor(0x123456);
    EXPECT_EQ(b->GetColor(), 0x123456);
    EXPECT_EQ(Form->GetElementColor(), 0x123456);
    EXPECT_EQ(Form->GetZIndex(), 0);
    Form->SetZIndex(1);
    EXPECT_EQ(a->GetZIndex(), 1);
}

TEST_F(SheetfoldModel, TextAlignmentMapsOntoTextFormats)
{
    TLayerText* text = Form->InsertText("aligned");
    const uint16_t formats[] = {16, 18, 17};
    for (int alignment = 0; alignment < 3; ++alignment) {
        Form->SetTextAlignment(static_cast<TTextAlignment>(alignment));
        EXPECT_EQ(text->GetFormat(), formats[alignment]);
        EXPECT_EQ(Form->GetTextAlignment(), alignment);
    }
    text->SetFormat(DT_CENTER | DT_RIGHT);
    EXPECT_EQ(Form->GetTextAlignment(), 2);
    Form->SetElementColor(0x00FF00);
    EXPECT_EQ(text->GetFont()->GetColor(), 0x00FF00);
    Form->SetElementText("changed");
    EXPECT_EQ(text->GetText(), "changed");
    EXPECT_EQ(Form->GetElementFont(), text->GetFont());
}

TEST_F(SheetfoldModel, AnImageShowsItsCaptionResolutionAndTurns)
{
    Form->InsertImageFile(WriteBmp("wide.bmp", 40, 20));
    auto* image = As<TLayerImage>(Selection()->First());
    auto* caption = As<TLayerText>(image->GetCaption());
    EXPECT_TRUE(Form->CanSaveImage());
    EXPECT_EQ(Form->GetCaptionText(), "wide.bmp");
    EXPECT_FALSE(Form->GetCaptionVisible());
    Form->SetCaptionVisible(true);
    EXPECT_TRUE(caption->GetVisible());
    Form->SetCaptionText("Title");
    EXPECT_EQ(caption->GetText(), "Title");
    EXPECT_EQ(Form->GetElementFont(), caption->GetFont());
    Form->SetElementColor(0x0000FF);
    EXPECT_EQ(caption->GetFont()->GetColor(), 0x0000FF);
    EXPECT_EQ(Form->GetElementColor(), 0x0000FF);
    Form->SetTransparency(100);
    EXPECT_EQ(image->GetAlpha(), 100);
    EXPECT_EQ(caption->GetAlpha(), 100);
    EXPECT_TRUE(Form->GetKeepRatio());

    // 40 pixels over 10.16 mm: 100 dpi.
    image->SetKeepRatio(false);
    image->SetBounds(0, 0, 1016, 508);
    POINT dpi = Form->GetImageResolution();
    EXPECT_EQ(dpi.x, 100);
    EXPECT_EQ(dpi.y, 100);

    // A bitmap turns without a question.
    Form->RotateRight();
    EXPECT_EQ(image->GetImageWidth(), 20);
    EXPECT_EQ(image->GetImageHeight(), 40);
    EXPECT_TRUE(Form->Messages.empty());
    EXPECT_TRUE(Form->RasterizePresets.empty());
}

TEST_F(SheetfoldModel, RasterizingAsksAndTurnsTextIntoAPicture)
{
    TLayerText* text = Form->InsertText("Rasterize me");
    text->SetName("Words");
    const RECT bounds = text->GetBounds();

    Form->Answers = {IDNO};
    EXPECT_EQ(Form->Rasterize(), nullptr);
    ASSERT_EQ(Form->Messages.size(), 1u);
    EXPECT_EQ(Form->Messages[0].Caption, "Rasterization");
    EXPECT_EQ(Form->Messages[0].Flags, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
    EXPECT_TRUE(Form->RasterizePresets.empty());

    Form->Answers = {IDYES};
    Form->RasterizeAnswer = 0;
    EXPECT_EQ(Form->Rasterize(), nullptr);
    EXPECT_EQ(Page()->Count(), 1);
    EXPECT_EQ(Selection()->First(), text);

    Form->Answers = {IDYES};
    Form->RasterizeAnswer = 100;
    TLayerImage* image = Form->Rasterize();
    ASSERT_NE(image, nullptr);
    EXPECT_TRUE(image->IsBitmap());
    EXPECT_EQ(image->GetName(), "Words");
    EXPECT_TRUE(image->GetClipEnabled());
    EXPECT_TRUE(SfTypes::EqualRect(image->GetBounds(), bounds));
    ASSERT_NE(image->GetCaption(), nullptr);
    EXPECT_EQ(Page()->Count(), 2);
    ASSERT_EQ(Selection()->Count(), 1);
    EXPECT_EQ(Selection()->First(), image);
    EXPECT_EQ(Form->GetSourceResolution().x, 100);

    // Anything but one image or one text is not rasterized.
    Selection()->Clear();
    EXPECT_EQ(Form->Rasterize(), nullptr);
}

TEST_F(SheetfoldModel, RasterizingAMetafileUsesItsResolutionAsThePreset)
{
    Form->InsertImageFile(WriteEmf("drawing.emf"));
    auto* image = As<TLayerImage>(Selection()->First());
    ASSERT_EQ(image->GetKind(), likMetafile);
    EXPECT_FALSE(Form->CanSaveImage());
    const int preset = image->GetResolution().x;

    Form->Answers = {IDNO};
    Form->RotateLeft();
    EXPECT_EQ(image->GetKind(), likMetafile);

    Form->Answers = {IDYES};
    Form->RasterizeAnswer = 150;
    Form->RotateLeft();
    ASSERT_EQ(Form->RasterizePresets.size(), 1u);
    EXPECT_EQ(Form->RasterizePresets[0], preset);
    EXPECT_TRUE(image->IsBitmap());
    EXPECT_EQ(image->GetResolution().x, 150);
    EXPECT_TRUE(Form->CanSaveImage());
}

TEST_F(SheetfoldModel, SavingWritesTheWholeFileOrLeavesTheOldOne)
{
    AddRect(0, 0, 10, 10);
    std::string path = TestTempFile("saved.sfp");
    Form->SaveProject(path);
    EXPECT_FALSE(Project()->GetModified());
    EXPECT_EQ(Form->GetCaption(), "saved - Sheetfold");
    const std::string before = ReadBytes(path);
    ASSERT_FALSE(before.empty());

    AddRect(0, 0, 20, 20);
    ASSERT_TRUE(Project()->GetModified());
    std::string unreachable = TestTempFile("no such folder\\saved.sfp");
    try {
        Form->SaveProject(unreachable);
        FAIL() << "saved into a missing folder";
    } catch (const EWriteError& e) {
        EXPECT_NE(e.GetMessage().find(unreachable), std::string::npos);
    }
    EXPECT_TRUE(Project()->GetModified());
    EXPECT_EQ(Screen->GetCursor(), crDefault);
    EXPECT_EQ(ReadBytes(path), before);

    // Save uses the name once there is one.
    Form->Save();
    EXPECT_EQ(Form->SaveDialogs, 0);
    EXPECT_FALSE(Project()->GetModified());
    EXPECT_NE(ReadBytes(path), before);
}

TEST(ShowErrorMessage, FormatsTheNumberedTextForItsHandler)
{
    TEnglishTexts english;
    std::vector<std::string> shown;
    TErrorMessageHandler previous = SetErrorMessageHandler([&](const std::string& text) {
        shown.push_back(text);
        return IDOK;
    });
    EXPECT_EQ(ShowErrorMessage(3, {"a.png", -9}), IDOK);
    EXPECT_EQ(ShowErrorMessage(999), IDOK);
    // The values a text does not expect are shown rather than lost.
    ShowErrorMessage(1, {42});
    SetErrorMessageHandler(previous);
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0], "File \"a.png\" loading error: -9");
    EXPECT_EQ(shown[1], "Unexpected Error");
    EXPECT_NE(shown[2].find("42"), std::string::npos);

    EXPECT_EQ(FileTitle("C:\\folder\\plan.v2.sfp"), "plan.v2");
    EXPECT_EQ(FileTitle("plan"), "plan");
    RECT r = NormalizeRect(RECT{10, 20, 1, 2});
    EXPECT_EQ(r.left, 1);
    EXPECT_EQ(r.top, 2);
    EXPECT_EQ(r.right, 10);
    EXPECT_EQ(r.bottom, 20);
}
