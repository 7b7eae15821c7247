// The main window: menus, toolbar, page tabs around the page view, the image and print panels,
// the status bar and the view's context menu. Commands arrive by their language keys from any of
// them (or as WM_COMMAND with the key), pass the enabling rules and run the document operations.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/ImagePanel.h"
#include "app/PrintPanel.h"
#include "app/SfLanguage1.h"
#include "app/SheetfoldCommands.h"
#include "app/SheetfoldModel.h"
#include "platform/ComCtrls.h"
#include "platform/Dialogs.h"
#include "platform/ExtCtrls.h"
#include "platform/StdCtrls.h"
#include "skin/SkinDock.h"
#include "skin/SkinExtItems.h"
#include "skin/SkinItems.h"
#include "skin/SkinPopup.h"
#include "skin/SkinStatusBar.h"
#include "skin/SkinToolbar.h"

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

    // ---- Child controls that tests and the start-up reach ----
    void SetProgressForm(TProgressForm* form) { FProgressForm = form; }
    // The menu bar and the toolbar share the top dock, the menu bar in the first row.
    TSkinDock* GetTopDock() const { return FTopDock; }
    TSkinToolbar* GetMenuBar() const { return FMenuBar; }
    TSkinToolbar* GetToolbar() const { return FToolbar; }
    TSkinSubmenuItem* GetLanguageMenu() const { return FLanguageMenu; }
    TSkinPopupMenu* GetContextMenu() const { return FContextMenu; }
    TTabControl* GetTabControl() const { return FTabControl; }
    TSkinComboBoxItem* GetZoomBox() const { return FZoomBox; }
    TImagePanel* GetImagePanel() const { return FImagePanel; }
    TPrintPanel* GetPrintPanel() const { return FPrintPanel; }
    TComboBox* GetNameBox() const { return FImagePanel->GetNameBox(); }
    TEdit* GetLeftEdit() const { return FImagePanel->GetLeftEdit(); }
    TMemo* GetTextMemo() const { return FImagePanel->GetTextMemo(); }
    TSkinLabel* GetFontNameLabel() const { return FImagePanel->GetFontNameLabel(); }
    TSkinLabel* GetTitleLabel() const { return FImagePanel->GetTitleLabel(); }
    TSkinStatusBar* GetStatusBar() const { return FStatusBar; }
    TSkinMultiDock* GetLeftDock() const { return FLeftDock; }
    TSkinMultiDock* GetRightDock() const { return FRightDock; }
    TSkinButton* GetAlignmentButton(TTextAlignment alignment) const { return FImagePanel->GetAlignmentButton(alignment); }
    TFontDialog* GetElementFontDialog() const { return FFontDialog; }
    // The control or menu item of a command (the first one that shows it).
    TComponent* FindCommandControl(int command) const;
    // Whether every control and item that shows the command is enabled.
    bool GetCommandEnabled(int command) const;
    // The control or item shows the command: the enabling rules reach it.
    void BindCommandControl(int command, TComponent* component) { FCommandControls.push_back({command, component}); }
    // Millimetres or inches for every length the panels show.
    void ChangeUnits(bool inches);
    bool HasPrinter();

    void Dispatch(TMessage& message) override;

private:
    struct TCommandControl {
        int Command;
        TComponent* Component;
    };

    // Construction of the window's parts.
    void BuildMenus();
    void BuildToolbar();
    void BuildPanels();
    void BuildCentre();
    // An item of the class under the parent with the language key tag (the language captions it);
    // a command other than cmNone is bound to it: its click runs the command and the enabling
    // rules reach it.
    template <class T>
    T* AddItem(TTBCustomItem* parent, int tag, int command, TShortCut shortCut = 0);
    void AddSeparator(TTBCustomItem* parent);
    // A submenu whose items are those of a popup menu, enabled by the command's rule.
    TSkinSubmenuItem* AddLinkedSubmenu(TTBCustomItem* parent, int tag, TSkinPopupMenu* menu, int ruleCommand);
    TSkinPopupMenu* NewCommandMenu(int firstCommand, int lastCommand);
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
    void PrinterSetupCommand();
    void TogglePanel(TSkinDockablePanel* panel, TTBCustomItem* item);
    // Cut, copy, paste and delete go to an edit that has the focus, not to the page.
    bool ForwardToFocusedEdit(int command);

    void TabChange(TObject* sender);
    void ZoomChange(TObject* sender);
    void ContextMenuPopup(TObject* sender);
    void ViewMenuPopup(TTBCustomItem* sender, bool fromLink);
    void AppIdle(TObject* sender, bool& done);
    void AppMessage(MSG& msg, bool& handled);
    void FormCloseQuery(TObject* sender, bool& canClose);

    void SetGroupEnabled(const std::vector<TComponent*>& group, bool enabled);
    void SetBusy(bool busy);

    std::vector<TCommandControl> FCommandControls;
    TSkinDock* FTopDock = nullptr;
    TSkinToolbar* FMenuBar = nullptr;
    TSkinToolbar* FToolbar = nullptr;
    TSkinSubmenuItem* FLanguageMenu = nullptr;
    TSkinVisibilityToggleItem* FViewImageItem = nullptr;
    TSkinVisibilityToggleItem* FViewPrintItem = nullptr;
    TSkinPopupMenu* FContextMenu = nullptr;
    TSkinItem* FContextSaveAs = nullptr;
    TSkinPopupMenu* FAlignMenu = nullptr;
    TSkinPopupMenu* FOrderMenu = nullptr;
    TSkinPopupMenu* FRotateMenu = nullptr;
    TSkinComboBoxItem* FZoomBox = nullptr;
    TSkinStatusBar* FStatusBar = nullptr;
    TSkinMultiDock* FLeftDock = nullptr;
    TSkinMultiDock* FRightDock = nullptr;
    TTabControl* FTabControl = nullptr;
    TPanel* FPreviewPanel = nullptr;

    TImagePanel* FImagePanel = nullptr;
    TPrintPanel* FPrintPanel = nullptr;

    TOpenDialog* FOpenDialog = nullptr;
    TSaveDialog* FSaveDialog = nullptr;
    TFontDialog* FFontDialog = nullptr;
    TIplOpenPictureDialog* FOpenPictureDialog = nullptr;
    TIplSavePictureDialog* FSavePictureDialog = nullptr;
    TProgressForm* FProgressForm = nullptr;

    int FBusy = 0;
};

extern TSheetfoldForm* SheetfoldForm;
