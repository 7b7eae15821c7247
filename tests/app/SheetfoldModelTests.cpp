#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "app/SheetfoldModel.h"
#include "document/Layer.h"
#include "document/SheetfoldProject.h"
#include "platform/Exceptions.h"
#include "platform/Streams.h"

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
    EXPECT_EQ(form->GetInsertPoint().x, 1200);
    EXPECT_EQ(form->GetInsertPoint().y, 3400);

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
