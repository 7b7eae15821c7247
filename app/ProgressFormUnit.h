// The progress window: shown by the main window while it prints or reads a project, with a
// progress bar and, when the work can be stopped, an Abort button.
#pragma once

#include "platform/ComCtrls.h"
#include "platform/Forms.h"
#include "platform/StdCtrls.h"

class TProgressForm : public TForm {
    SF_CLASS(TProgressForm)
public:
    static constexpr int HeightWithAbort = 88;
    static constexpr int HeightWithoutAbort = 54;

    explicit TProgressForm(TComponent* owner = nullptr);

    // Shows the Abort button (and makes room for it) or hides it.
    bool GetCanAbort() const { return FCanAbort; }
    void SetCanAbort(bool value);
    // Set by the Abort button; cleared each time the window is shown.
    bool GetAborted() const { return FAborted; }

    TProgressBar* GetProgressBar() const { return FProgressBar; }
    TButton* GetAbortButton() const { return FAbortButton; }

protected:
    void DoShow() override;

private:
    void AbortButtonClick(TObject* sender);

    TProgressBar* FProgressBar = nullptr;
    TButton* FAbortButton = nullptr;
    bool FAborted = false;
    bool FCanAbort = false;
};
