#include "app/SheetfoldModel.h"

#include "document/Layer.h"
#include "platform/Exceptions.h"

SF_IMPLEMENT_COMPONENT(TCustomSheetfoldForm, TForm)

TCustomSheetfoldForm::TCustomSheetfoldForm(TComponent* owner) : TForm(owner), FPrintHelper(New<TPrintHelper>())
{
}

TCustomSheetfoldForm::~TCustomSheetfoldForm() = default;

bool TCustomSheetfoldForm::ExecuteSaveDialog()
{
    AbstractError();
}

void TCustomSheetfoldForm::BeginProgress(int, const std::string&, bool)
{
    AbstractError();
}

void TCustomSheetfoldForm::SetProgress(int)
{
    AbstractError();
}

void TCustomSheetfoldForm::EndProgress()
{
    AbstractError();
}

bool TCustomSheetfoldForm::ProgressAborted()
{
    AbstractError();
}

bool TCustomSheetfoldForm::CanCloseProject()
{
    return true;
}

void TCustomSheetfoldForm::PagesChanged()
{
    if (FPageView)
        FPageView->UpdateScrollPos();
}

void TCustomSheetfoldForm::SelectionItemChanged(TObject* selection)
{
    FSelection = selection;
}

void TCustomSheetfoldForm::UpdateProperties(TObject*)
{
}

void TCustomSheetfoldForm::ViewResized()
{
}

void TCustomSheetfoldForm::ShowContextMenu(int, int)
{
}

void TCustomSheetfoldForm::ViewKeyDown(WORD, TShiftState)
{
}

void TCustomSheetfoldForm::SetInsertPoint(const POINT& p)
{
    FInsertPoint = p;
    FInsertPointValid = true;
}

void TCustomSheetfoldForm::InsertImageFile(const std::string&)
{
}
