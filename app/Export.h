// The export box: asks for the resolution a page is exported at. It takes its texts from the
// rasterize box's keys and follows the rasterize box's rules for a resolution.
#pragma once

#include <string>

#include "app/Rasterize.h"
#include "platform/Forms.h"
#include "skin/SkinControls.h"
#include "unicode/UniStdCtrls.h"

// A resolution chosen or typed in the box: "300 dpi" as the items show it, or a bare number.
bool ParseExportResolution(const std::string& text, int& resolution);

// The resolution list ("100 dpi" ... "600 dpi", the first chosen) with OK and Cancel, on a themed
// panel; the list and the buttons are wide windows, so the language's texts and typed characters
// keep every letter of the system's code page and beyond. OK keeps
// a valid entry up to the maximum in Resolution; a refused entry keeps the box open with
// a message; Cancel, Esc and the close box always close it.
class TExportForm : public TForm {
    SF_CLASS(TExportForm)
public:
    explicit TExportForm(TComponent* owner = nullptr);

    int GetResolution() const { return FResolution; }
    int GetMaxResolution() const { return FMaxResolution; }
    void SetMaxResolution(int value) { FMaxResolution = value > 0 ? value : 1; }

    TSkinAlignmentPanel* GetPanel() const { return FPanel; }
    TSkinLabel* GetPromptLabel() const { return FPromptLabel; }
    TUniComboBox* GetResolutionComboBox() const { return FResolutionComboBox; }
    TUniButton* GetOkButton() const { return FOkButton; }
    TUniButton* GetCancelButton() const { return FCancelButton; }

    bool CloseQuery() override;

private:
    TSkinAlignmentPanel* FPanel = nullptr;
    TSkinLabel* FPromptLabel = nullptr;
    TUniComboBox* FResolutionComboBox = nullptr;
    TUniButton* FOkButton = nullptr;
    TUniButton* FCancelButton = nullptr;
    int FResolution = 100;
    int FMaxResolution = MaxResolutionForExtent(DefaultRasterExtent);
};

// Shows the export box, owned by the application, with its texts from the language; on OK
// writes the chosen resolution (at most maxResolution) and returns true.
bool ExecuteExport(int& resolution, int maxResolution = MaxResolutionForExtent(DefaultRasterExtent));
