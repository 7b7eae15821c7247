#include "app/ProgressFormUnit.h"

SF_IMPLEMENT_COMPONENT(TProgressForm, TForm)

TProgressForm::TProgressForm(TComponent* owner) : TForm(owner)
{
    SetBorderStyle(bsToolWindow);
    SetBorderIcons(0);
    SetPosition(poMainFormCenter);
    SetTag(5000);
    SetWidth(320);

    FProgressBar = New<TProgressBar>(this);
    FProgressBar->SetBounds(8, 6, 296, 16);
    FProgressBar->SetParent(this);

    FAbortButton = New<TButton>(this);
    FAbortButton->SetBounds(122, 30, 75, 23);
    FAbortButton->SetTag(5001);
    FAbortButton->SetCaption("Abort");
    FAbortButton->SetDefault(true);
    FAbortButton->OnClick = TNotifyEvent(this, &TProgressForm::AbortButtonClick);
    FAbortButton->SetParent(this);

    SetCanAbort(false);
}

void TProgressForm::SetCanAbort(bool value)
{
    FCanAbort = value;
    FAbortButton->SetVisible(value);
    SetHeight(value ? HeightWithAbort : HeightWithoutAbort);
}

void TProgressForm::DoShow()
{
    FAborted = false;
    TForm::DoShow();
}

void TProgressForm::AbortButtonClick(TObject*)
{
    FAborted = true;
}
