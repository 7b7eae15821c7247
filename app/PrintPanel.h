// The "Print" side panel: the printer, its setup, the current page's paper, orientation and test
// print, and what a print job prints. It builds its controls, shows the printers and the current
// page, and hands the print and setup commands to the main window.
#pragma once

#include "platform/ComCtrls.h"
#include "platform/ExtCtrls.h"
#include "platform/StdCtrls.h"

class TSheetfoldForm;
class TSheetfoldPage;

class TPrintPanel : public TPanel {
    SF_CLASS(TPrintPanel)
public:
    explicit TPrintPanel(TSheetfoldForm* form);
    void AfterConstruction() override;

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

    TLabel* GetPageSizeLabel() const { return FPageSizeLabel; }
    TEdit* GetCopiesEdit() const { return FCopiesEdit; }
    TRadioButton* GetAllPagesButton() const { return FAllPages; }
    TRadioButton* GetCurrentPageButton() const { return FCurrentPage; }

private:
    void Build();
    TLabel* AddLabel(int tag, int x, int y, const std::string& caption = {});
    // Two radio buttons side by side in a group of their own.
    void AddRadioPair(int y, int firstTag, int secondTag, TRadioButton*& first, TRadioButton*& second);
    void ChoosePrinter();
    void ChooseOrientation(bool landscape);

    TSheetfoldForm* FForm;
    TLabel* FPrinterLabel = nullptr;
    TComboBox* FPrinterBox = nullptr;
    TButton* FSetupButton = nullptr;
    TLabel* FPageSizeLabel = nullptr;
    TCheckBox* FTrial = nullptr;
    TRadioButton* FPortrait = nullptr;
    TRadioButton* FLandscape = nullptr;
    TRadioButton* FAllPages = nullptr;
    TRadioButton* FCurrentPage = nullptr;
    TEdit* FCopiesEdit = nullptr;
    TButton* FPrintButton = nullptr;
    // Set while the controls are being filled: their events must not write back.
    int FRefreshing = 0;
};
