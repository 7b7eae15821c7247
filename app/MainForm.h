// The main window: menus, toolbar, page tabs around the page view, the image and print panels,
// the status bar and the view's context menu. Commands arrive by their language keys from any of
// them (or as WM_COMMAND with the key), pass the enabling rules and run the document operations.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/SfLanguage1.h"
#include "app/SheetfoldCommands.h"
#include "app/SheetfoldModel.h"
#include "platform/ComCtrls.h"
#include "platform/Dialogs.h"
#include "platform/ExtCtrls.h"
#include "platform/Menus.h"
#include "platform/StdCtrls.h"

class TIplOpenPictureDialog;
class TIplSavePictureDialog;
class TProgressForm;

class TSheetfoldForm : public TCustomSheetfoldForm, public ILanguageTarget {
    SF_CLASS(TSheetfoldForm)
public:
    explicit TSheetfoldForm(TComponent* owner = nullptr);
    void BeforeDestruction() override;

    // ---- Hooks ----
    bool ExecuteSaveDialog() override;
    void BeginProgress(int maximum, const std::string& caption, bool canAbort) override;
    void SetProgress(int position) override;
    void EndProgress() override;
    bool ProgressAborted() override;
    void PagesChanged() override;
    void SelectionItemChanged(TObject* selection) override;
    void UpdateProperties(TObject* item) override;
    void ViewResized() override;
    void ShowContextMenu(int x, int y) override;
    void ViewKeyDown(WORD key, TShiftState shift) override;

    // ---- Commands ----
    // Runs the command of that key when the enabling rules allow it now.
    void ExecuteCommand(int command);
    TEnablingSnapshot TakeSnapshot();
    // The idle-time pass: every command's control and the image panel follow the rules.
    void ApplyEnablingRules();
    void ApplyLanguage(const std::string& name) override;
    // Rebuilds the Language submenu from the language files.
    void RebuildLanguageMenu();
    // Each file in order as an image of the current page; the first that cannot be read ends the
    // insert with its failure, after its numbered error box.
    void InsertImageFiles(const std::vector<std::string>& files);
    void PrintPages();
    bool PrintAborted();
    void ExportPage();
    void SaveImageAs();
    // Asks before a file that the chosen format's extension names is overwritten.
    bool ConfirmPictureFileName();
    void ApplyZoom();
    // True while a print job, an export or a load runs: commands wait.
    bool GetBusy() const { return FBusy > 0; }

    // ---- Parts that tests and the start-up reach ----
    void SetProgressForm(TProgressForm* form) { FProgressForm = form; }
    TMainMenu* GetMainMenu() const { return FMainMenu; }
    TPopupMenu* GetContextMenu() const { return FContextMenu; }
    TTabControl* GetTabControl() const { return FTabControl; }
    TComboBox* GetZoomBox() const { return FZoomBox; }
    TPanel* GetImagePanel() const { return FImagePanel; }
    TPanel* GetPrintPanel() const { return FPrintPanel; }
    TComboBox* GetNameBox() const { return FNameBox; }
    TEdit* GetLeftEdit() const { return FLeftEdit; }
    TEdit* GetTopEdit() const { return FTopEdit; }
    TEdit* GetWidthEdit() const { return FWidthEdit; }
    TEdit* GetHeightEdit() const { return FHeightEdit; }
    TMemo* GetTextMemo() const { return FTextMemo; }
    TLabel* GetSizeValueLabel() const { return FSizeValue; }
    TLabel* GetResolutionValueLabel() const { return FResolutionValue; }
    TLabel* GetCurrentResolutionValueLabel() const { return FCurrentResolutionValue; }
    TLabel* GetFontNameLabel() const { return FFontNameLabel; }
    // The label over the text memo: "Text:" for a text, "Title:" for an image.
    TLabel* GetTitleLabel() const { return FTitleLabel; }
    // The button of a text alignment: 0 left, 1 right, 2 centre.
    TSpeedButton* GetAlignmentButton(int alignment) const;
    TLabel* GetPageSizeLabel() const { return FPageSizeLabel; }
    TEdit* GetCopiesEdit() const { return FCopiesEdit; }
    TRadioButton* GetAllPagesButton() const { return FAllPages; }
    TRadioButton* GetCurrentPageButton() const { return FCurrentPage; }
    TFontDialog* GetElementFontDialog() const { return FFontDialog; }
    // The control or menu item of a command (the first one that shows it).
    TComponent* FindCommandControl(int command) const;
    // Whether every control and item that shows the command is enabled.
    bool GetCommandEnabled(int command) const;

    void Dispatch(TMessage& message) override;

private:
    struct TCommandControl {
        int Command;
        TComponent* Component;
    };

    // Construction of the window's parts.
    void BuildMenus();
    void BuildToolbar();
    void BuildImagePanel();
    void BuildPrintPanel();
    void BuildCentre();
    TMenuItem* AddMenuItem(TMenuItem* parent, int tag, int command, TShortCut shortCut = 0);
    TMenuItem* AddSeparator(TMenuItem* parent);
    TSpeedButton* AddToolButton(int tag, int command, int& x);
    TLabel* AddLabel(TWinControl* parent, int tag, int x, int y, const std::string& caption = {});
    TCheckBox* AddCheckBox(TWinControl* parent, int tag, int x, int y, int width);
    TEdit* AddNumberEdit(TWinControl* parent, int labelTag, int x, int y, TUpDown*& upDown);
    void LayoutToolbar();
    void SizeDockedPanels();

    // Start and end.
    void FormCreate(TObject* sender);
    void FormDestroy(TObject* sender);
    void ReadCommandLine(std::string& imageToInsert);
    void SelectStoredPrinter();
    void InsertStartupImage(const std::string& fileName);

    // Commands.
    void OpenCommand();
    void SaveAsCommand();
    void PasteCommand();
    void InsertImageCommand();
    void InsertTextCommand();
    void OrderCommand(int command);
    void RotateCommand(int command);
    void HelpCommand();
    void AboutCommand();
    void TogglePanel(TPanel* panel, TMenuItem* item);
    // Cut, copy, paste and delete go to an edit that has the focus, not to the page.
    bool ForwardToFocusedEdit(int command);

    // Panel and control events.
    void TabChange(TObject* sender);
    void ZoomChange(TObject* sender);
    void NameBoxDropDown(TObject* sender);
    void NameBoxSelect(TObject* sender);
    void EditKeyPress(TObject* sender, char& key);
    // The user changed an edit of the panel: it is committed on Enter, on leaving it, and before
    // anything else changes the selection or shows it again.
    void EditChange(TObject* sender);
    void EditExit(TObject* sender);
    void CommitEdit(TObject* sender);
    void CommitPendingEdit();
    // Whether the selection is still the one the panel was last filled from.
    bool ShowsSelection();
    void UpDownClick(TObject* sender, TUDBtnType button);
    void FlagBoxClick(TObject* sender);
    void AlignButtonClick(TObject* sender);
    void FontButtonClick(TObject* sender);
    void ToSourceClick(TObject* sender);
    void UnitsClick(TObject* sender);
    void PrinterBoxChange(TObject* sender);
    void SetupButtonClick(TObject* sender);
    void OrientationClick(TObject* sender);
    void TrialClick(TObject* sender);
    void ContextMenuPopup(TObject* sender);
    void ViewMenuPopup(TObject* sender);
    void AppIdle(TObject* sender, bool& done);
    void AppMessage(MSG& msg, bool& handled);
    void FormCloseQuery(TObject* sender, bool& canClose);

    void SetGroupEnabled(const std::vector<TComponent*>& group, bool enabled);
    void EnableImagePanel();
    void RefreshPanel(TLayerSelection* selection);
    void PlaceTextRows(bool raised);
    void RefreshPageSizeLabel();
    // Orientation, paper, page size and test print of the current page.
    void ShowPageSettings(TSheetfoldPage* page);
    void ShowOrientationAndPaper(TSheetfoldPage* page);
    void RefreshPrinterBox();
    void SetBusy(bool busy);
    bool HasPrinter();
    int CopiesFromEdit();
    void Nudge(TEdit* edit, int delta);
    void FillFontDialogFromSelection();

    std::vector<TCommandControl> FCommandControls;
    TMainMenu* FMainMenu = nullptr;
    TMenuItem* FLanguageMenu = nullptr;
    TMenuItem* FViewImageItem = nullptr;
    TMenuItem* FViewPrintItem = nullptr;
    TPopupMenu* FContextMenu = nullptr;
    TMenuItem* FContextSaveAs = nullptr;
    TPopupMenu* FAlignMenu = nullptr;
    TPopupMenu* FOrderMenu = nullptr;
    TPopupMenu* FRotateMenu = nullptr;
    TPanel* FToolbar = nullptr;
    std::vector<TSpeedButton*> FToolButtons;
    TLabel* FScaleLabel = nullptr;
    TComboBox* FZoomBox = nullptr;
    TPanel* FStatusBar = nullptr;
    TPanel* FDock = nullptr;
    TTabControl* FTabControl = nullptr;
    TPanel* FPreviewPanel = nullptr;

    // Image panel.
    TPanel* FImagePanel = nullptr;
    TLabel* FActiveLabel = nullptr;
    TComboBox* FNameBox = nullptr;
    std::vector<TComponent*> FPositionGroup;
    std::vector<TComponent*> FElementGroup;
    TEdit* FLeftEdit = nullptr;
    TEdit* FTopEdit = nullptr;
    TEdit* FWidthEdit = nullptr;
    TEdit* FHeightEdit = nullptr;
    TUpDown* FLeftUpDown = nullptr;
    TUpDown* FTopUpDown = nullptr;
    TUpDown* FWidthUpDown = nullptr;
    TUpDown* FHeightUpDown = nullptr;
    TCheckBox* FCenterHorz = nullptr;
    TCheckBox* FCenterVert = nullptr;
    TCheckBox* FFitToPage = nullptr;
    TRadioButton* FMillimeters = nullptr;
    TRadioButton* FInches = nullptr;
    TCheckBox* FKeepRatio = nullptr;
    TLabel* FSizeLabel = nullptr;
    TLabel* FSizeValue = nullptr;
    TLabel* FResolutionLabel = nullptr;
    TLabel* FResolutionValue = nullptr;
    TLabel* FCurrentResolutionLabel = nullptr;
    TLabel* FCurrentResolutionValue = nullptr;
    TButton* FToSource = nullptr;
    TCheckBox* FTitleVisible = nullptr;
    TLabel* FTitleLabel = nullptr;
    TSpeedButton* FAlignLeft = nullptr;
    TSpeedButton* FAlignCenter = nullptr;
    TSpeedButton* FAlignRight = nullptr;
    TButton* FFontButton = nullptr;
    TLabel* FFontNameLabel = nullptr;
    TMemo* FTextMemo = nullptr;

    // Print panel.
    TPanel* FPrintPanel = nullptr;
    TLabel* FPrinterLabel = nullptr;
    TComboBox* FPrinterBox = nullptr;
    TButton* FSetupButton = nullptr;
    TLabel* FPageSizeLabel = nullptr;
    TCheckBox* FTrial = nullptr;
    TRadioButton* FPortrait = nullptr;
    TRadioButton* FLandscape = nullptr;
    TRadioButton* FAllPages = nullptr;
    TRadioButton* FCurrentPage = nullptr;
    TLabel* FCopiesLabel = nullptr;
    TEdit* FCopiesEdit = nullptr;
    TUpDown* FCopiesUpDown = nullptr;
    TButton* FPrintButton = nullptr;

    TOpenDialog* FOpenDialog = nullptr;
    TSaveDialog* FSaveDialog = nullptr;
    TFontDialog* FFontDialog = nullptr;
    TIplOpenPictureDialog* FOpenPictureDialog = nullptr;
    TIplSavePictureDialog* FSavePictureDialog = nullptr;
    TProgressForm* FProgressForm = nullptr;

    // Design places of the rows that move up for a selected text.
    struct TTextRowPlaces {
        int TitleTop = 0;
        int AlignTop = 0;
        int FontButtonTop = 0;
        int FontNameTop = 0;
        int MemoTop = 0;
        int MemoHeight = 0;
    };
    TTextRowPlaces FTextRowPlaces;
    std::string FResolutionText = "Resolution:";
    // Set while the panels are being filled: their events must not write back.
    int FRefreshing = 0;
    // The edit the user typed into since the panel was filled, and the elements it was filled from.
    TObject* FPendingEdit = nullptr;
    std::vector<TLayerElement*> FShownSelection;
    int FBusy = 0;
};

extern TSheetfoldForm* SheetfoldForm;
