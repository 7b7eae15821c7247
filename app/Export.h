// The export box: asks for the resolution a page is exported at. It takes its texts from the
// rasterize box's keys and follows the rasterize box's rules for a resolution.
#pragma once

#include <string>

#include "app/Rasterize.h"
#include "platform/ExtCtrls.h"
#include "platform/Forms.h"
#include "platform/StdCtrls.h"

// The controls the box is built from. The Unicode layer's combo box and buttons take these names'
// places once it exists; until then they are the plain ones.
using TExportAlignPanel = TPanel;
using TExportComboBox = TComboBox;
using TExportButton = TButton;

// A resolution chosen or typed in the box: "300 dpi" as the items show it, or a bare number.
bool ParseExportResolution(const std::string& text, int& resolution);

// The resolution list ("100 dpi" ... "600 dpi", the first chosen) with OK and Cancel. OK keeps
// a valid entry, capped at the maximum, in Resolution; a refused entry keeps the box open with
// a message; Cancel, Esc and the close box always close it.
class TExportForm : public TForm {
    SF_CLASS(TExportForm)
public:
    explicit TExportForm(TComponent* owner = nullptr);

    int GetResolution() const { return FResolution; }
    int GetMaxResolution() const { return FMaxResolution; }
    void SetMaxResolution(int value) { FMaxResolution = value > 0 ? value : 1; }

    TLabel* GetPromptLabel() const { return FPromptLabel; }
    TExportComboBox* GetResolutionComboBox() const { return FResolutionComboBox; }
    TExportButton* GetOkButton() const { return FOkButton; }
    TExportButton* GetCancelButton() const { return FCancelButton; }

    bool CloseQuery() override;

private:
    TExportAlignPanel* FPanel = nullptr;
    TLabel* FPromptLabel = nullptr;
    TExportComboBox* FResolutionComboBox = nullptr;
    TExportButton* FOkButton = nullptr;
    TExportButton* FCancelButton = nullptr;
    int FResolution = 100;
    int FMaxResolution = MaxResolutionForExtent(DefaultRasterExtent);
};

// Shows the export box, owned by the application, with its texts from the language; on OK
// writes the chosen resolution (capped at maxResolution) and returns true.
bool ExecuteExport(int& resolution, int maxResolution = MaxResolutionForExtent(DefaultRasterExtent));
