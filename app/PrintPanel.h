// The "Print" side panel, docked at the main window's left: the printer, its setup, the current page's paper, orientation and test
// print, and what a print job prints. It builds its controls, shows the printers and the current
// page, and hands the print and setup commands to the main window.
#pragma once

#include <utility>
#include <vector>

#include "platform/ComCtrls.h"
#include "platform/StdCtrls.h"
#include "skin/SkinControls.h"
#include "app/SheetfoldPanel.h"

class TSheetfoldForm;
class TSheetfoldPage;

class TPrintPanel : public TSheetfoldPanel {
    SF_CLASS(TPrintPanel)
public:
    explicit TPrintPanel(TSheetfoldForm* form);

    // The installed printers with the current one chosen; nothing without a printer.
    void ShowPrinters();
    // Orientation, paper, page size and test print of the page; the printer follows the page's
    // orientation and the page takes the printer's paper.
    void ShowPage(TSheetfoldPage* page);
    // The page size in the current unit.
    void RefreshPageSizeLabel();
    // The copies typed, held to 1..99.
    int GetCopies() const;
    bool GetCurrentPageOnly() const { return FCurrentPage->GetChecked(); }
    int DesignMinHeight() const;
    void ArrangeForTexts() override;

    TSkinLabel* GetPageSizeLabel() const { return FPageSizeLabel; }
    TEdit* GetCopiesEdit() const { return FCopiesEdit; }
    TSkinRadioButton* GetAllPagesButton() const { return FAllPages; }
    TSkinRadioButton* GetCurrentPageButton() const { return FCurrentPage; }

private:
    void Build() override;
    // A button that runs the main window's command and is enabled by its rule.
    TSkinButton* AddButton(int tag, int x, int y, int width, int command);
    // Two radio buttons side by side in a group of their own.
    void AddRadioPair(int y, int group, int firstTag, int secondTag, TSkinRadioButton*& first,
                      TSkinRadioButton*& second);
    void ChoosePrinter();
    void ChooseOrientation(bool landscape);

    TSkinLabel* FPrinterLabel = nullptr;
    TComboBox* FPrinterBox = nullptr;
    TSkinButton* FSetupButton = nullptr;
    TSkinLabel* FPageSizeLabel = nullptr;
    TCheckBox* FTrial = nullptr;
    TSkinRadioButton* FPortrait = nullptr;
    TSkinRadioButton* FLandscape = nullptr;
    TSkinRadioButton* FAllPages = nullptr;
    TSkinRadioButton* FCurrentPage = nullptr;
    TEdit* FCopiesEdit = nullptr;
    TSkinButton* FPrintButton = nullptr;
    // The rows arranged for the texts, and whether the last control of each stretches.
    std::vector<std::pair<TRow, bool>> FRows;
    // Set while the controls are being filled: their events must not write back.
    int FRefreshing = 0;
};
