#include "app/PasteForm.h"

#include "app/SfLanguage1.h"

SF_IMPLEMENT_COMPONENT(TPasteAsForm, TForm)

TPasteAsForm::TPasteAsForm(TComponent* owner) : TForm(owner)
{
    SetBorderStyle(bsDialog);
    SetPosition(poMainFormCenter);
    SetTag(8001);
    SetCaption("Paste As...");
    SetClientWidth(240);
    SetClientHeight(150);

    FRadioGroup = New<TRadioGroup>(this);
    FRadioGroup->SetBounds(8, 8, 224, 100);
    FRadioGroup->SetTag(8001);
    FRadioGroup->SetCaption("Paste As...");
    FRadioGroup->SetParent(this);
    FRadioGroup->SetTabOrder(0);

    FPasteButton = New<TButton>(this);
    FPasteButton->SetBounds(40, 116, 75, 25);
    FPasteButton->SetTag(503);
    FPasteButton->SetCaption("Paste");
    FPasteButton->SetDefault(true);
    FPasteButton->SetModalResult(mrOk);
    FPasteButton->SetParent(this);

    FCancelButton = New<TButton>(this);
    FCancelButton->SetBounds(124, 116, 75, 25);
    FCancelButton->SetTag(214);
    FCancelButton->SetCaption("Cancel");
    FCancelButton->SetCancel(true);
    FCancelButton->SetModalResult(mrCancel);
    FCancelButton->SetParent(this);
}

void TPasteAsForm::AfterConstruction()
{
    TForm::AfterConstruction();
    TSfLanguage::Instance()->ApplyToTree(this, "Interface");
}
