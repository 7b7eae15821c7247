// The paste-as box: the caller lists the clipboard formats it can paste in the radio group,
// shows the box modally and reads the chosen item on OK.
#pragma once

#include "platform/ExtCtrls.h"
#include "platform/Forms.h"
#include "platform/StdCtrls.h"

// What the paste-as box offers, by the language keys of its entries.
enum TPasteChoice : int { pcText = 8020, pcMetafile = 8021, pcBitmap = 8022 };

class TPasteAsForm : public TForm {
    SF_CLASS(TPasteAsForm)
public:
    explicit TPasteAsForm(TComponent* owner = nullptr);
    void AfterConstruction() override;

    TRadioGroup* GetRadioGroup() const { return FRadioGroup; }
    TButton* GetPasteButton() const { return FPasteButton; }
    TButton* GetCancelButton() const { return FCancelButton; }

private:
    TRadioGroup* FRadioGroup = nullptr;
    TButton* FPasteButton = nullptr;
    TButton* FCancelButton = nullptr;
};
