// The system's common dialogs as components: file open and save (explorer style, with an
// optional custom template and notifications for show, close and selection change), font choice
// (streamable, so its settings can be stored), and message boxes with an explicit caption.
#pragma once

#include <windows.h>

#include <commdlg.h>

#include <exception>
#include <memory>
#include <string>

#include "platform/Component.h"
#include "platform/Graphics.h"
#include "platform/Strings.h"

// Base of the dialogs: the dialog window while it is shown and the show and close events.
// A hook that raises ends the dialog as cancelled; Execute then raises the same exception.
class TCommonDialog : public TComponent {
    SF_CLASS(TCommonDialog)
public:
    explicit TCommonDialog(TComponent* owner = nullptr) : TComponent(owner) {}

    // Shows the dialog modally, owned by the given window (the active window when none);
    // true when the user confirmed it.
    virtual bool Execute(HWND owner = nullptr) = 0;
    // The dialog's window while it is shown, else 0.
    HWND GetHandle() const { return FHandle; }

    TNotifyEvent OnShow;
    TNotifyEvent OnClose;

protected:
    virtual void DoShow();
    virtual void DoClose();
    static HWND OwnerWindow(HWND owner);
    // Runs inside a hook: hands an exception on to Execute and ends the dialog.
    void HookFailed(HWND dialog);
    void RethrowHookError();
    // After the system call returns: hands on a hook's exception or the system's error; true
    // when the user confirmed.
    bool EndExecute(BOOL ok);
    // The hook of the dialogs whose only business there is the show and close events; TRecord
    // is the system's record, whose lCustData holds the dialog.
    template <class TRecord>
    static UINT_PTR CALLBACK ShowCloseHook(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);

    HWND FHandle = nullptr;

private:
    static UINT_PTR ShowCloseHookMessage(HWND wnd, UINT msg, LPARAM customData);

    std::exception_ptr FHookError;
};

enum TOpenOption : uint32_t {
    ofReadOnly = 1u << 0,
    ofOverwritePrompt = 1u << 1,
    ofHideReadOnly = 1u << 2,
    ofNoChangeDir = 1u << 3,
    ofShowHelp = 1u << 4,
    ofNoValidate = 1u << 5,
    ofAllowMultiSelect = 1u << 6,
    ofExtensionDifferent = 1u << 7,
    ofPathMustExist = 1u << 8,
    ofFileMustExist = 1u << 9,
    ofCreatePrompt = 1u << 10,
    ofShareAware = 1u << 11,
    ofNoReadOnlyReturn = 1u << 12,
    ofNoTestFileCreate = 1u << 13,
    ofNoNetworkButton = 1u << 14,
    ofNoLongNames = 1u << 15,
    ofOldStyleDialog = 1u << 16,
    ofNoDereferenceLinks = 1u << 17,
    ofEnableIncludeNotify = 1u << 18,
    ofEnableSizing = 1u << 19,
    ofDontAddToRecent = 1u << 20,
    ofForceShowHidden = 1u << 21,
};
using TOpenOptions = uint32_t;

// The file open dialog. Filter is "Text|pattern|Text|pattern"; FilterIndex counts from 1.
class TOpenDialog : public TCommonDialog {
    SF_CLASS(TOpenDialog)
public:
    explicit TOpenDialog(TComponent* owner = nullptr);
    ~TOpenDialog() override;

    bool Execute(HWND owner = nullptr) override;

    const std::string& GetFileName() const { return FFileName; }
    void SetFileName(const std::string& value) { FFileName = value; }
    // Every file chosen, with full paths (one for a single selection).
    TStrings* GetFiles() const { return FFiles.get(); }
    const std::string& GetFilter() const { return FFilter; }
    void SetFilter(const std::string& value) { FFilter = value; }
    int GetFilterIndex() const { return FFilterIndex; }
    void SetFilterIndex(int value) { FFilterIndex = value; }
    // The extension added to a name typed without one; a leading '.' is allowed.
    const std::string& GetDefaultExt() const { return FDefaultExt; }
    void SetDefaultExt(const std::string& value) { FDefaultExt = value; }
    const std::string& GetInitialDir() const { return FInitialDir; }
    void SetInitialDir(const std::string& value) { FInitialDir = value; }
    const std::string& GetTitle() const { return FTitle; }
    void SetTitle(const std::string& value) { FTitle = value; }
    TOpenOptions GetOptions() const { return FOptions; }
    void SetOptions(TOpenOptions value) { FOptions = value; }
    // A dialog template that the system places inside the explorer dialog (its control stc32
    // marks where the standard controls go); a null instance means no template.
    void SetTemplate(HINSTANCE instance, const std::string& resourceName);
    // The child window built from the template (or the empty one the hook gets), while shown.
    HWND GetTemplateWindow() const { return FTemplateWindow; }

    TNotifyEvent OnSelectionChange;
    TNotifyEvent OnFolderChange;
    TNotifyEvent OnTypeChange;

protected:
    // While shown, FileName follows the highlighted file before this runs.
    virtual void DoSelectionChange();
    virtual void DoFolderChange();
    virtual void DoTypeChange();
    bool DoExecute(HWND owner, bool save);

private:
    static UINT_PTR CALLBACK HookProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
    void HandleNotify(HWND wnd, const OFNOTIFYA& notify);
    void ReadResult(const char* buffer, DWORD flags);
    DWORD BuildFlags() const;

    std::string FFileName;
    std::unique_ptr<TStringList, TObjectFree> FFiles;
    std::string FFilter;
    int FFilterIndex = 1;
    std::string FDefaultExt;
    std::string FInitialDir;
    std::string FTitle;
    TOpenOptions FOptions = ofHideReadOnly | ofEnableSizing;
    HINSTANCE FTemplateInstance = nullptr;
    std::string FTemplateName;
    HWND FTemplateWindow = nullptr;
};

class TSaveDialog : public TOpenDialog {
    SF_CLASS(TSaveDialog)
public:
    using TOpenDialog::TOpenDialog;
    bool Execute(HWND owner = nullptr) override;
};

enum TFontDialogOption : uint32_t {
    fdAnsiOnly = 1u << 0,
    fdTrueTypeOnly = 1u << 1,
    fdEffects = 1u << 2,
    fdFixedPitchOnly = 1u << 3,
    fdForceFontExist = 1u << 4,
    fdNoFaceSelection = 1u << 5,
    fdNoOEMFonts = 1u << 6,
    fdNoSimulations = 1u << 7,
    fdNoSizeSel = 1u << 8,
    fdNoStyleSel = 1u << 9,
    fdNoVectorFonts = 1u << 10,
    fdShowHelp = 1u << 11,
    fdWysiwyg = 1u << 12,
    fdLimitSize = 1u << 13,
    fdScalableOnly = 1u << 14,
};
using TFontDialogOptions = uint32_t;

// The font dialog. Its font and settings stream with the component (WriteComponent and
// ReadComponent), which is how a program keeps the user's last choice.
class TFontDialog : public TCommonDialog {
    SF_CLASS(TFontDialog)
public:
    explicit TFontDialog(TComponent* owner = nullptr);
    ~TFontDialog() override;

    bool Execute(HWND owner = nullptr) override;

    TFont* GetFont() const { return FFont.get(); }
    void SetFont(TFont* value) { FFont->Assign(value); }
    TFontDialogOptions GetOptions() const { return FOptions; }
    void SetOptions(TFontDialogOptions value) { FOptions = value; }
    // Point sizes the dialog offers when fdLimitSize is set (0: no limit on that side).
    int GetMinFontSize() const { return FMinFontSize; }
    void SetMinFontSize(int value) { FMinFontSize = value; }
    int GetMaxFontSize() const { return FMaxFontSize; }
    void SetMaxFontSize(int value) { FMaxFontSize = value; }

protected:
    void DefineProperties(TFiler* filer) override;

private:
    std::unique_ptr<TFont, TObjectFree> FFont;
    TFontDialogOptions FOptions = fdEffects;
    int FMinFontSize = 0;
    int FMaxFontSize = 0;
};

// The printer setup dialog: the printer and the whole device mode chosen for it (paper size and
// source, orientation, copies), applied to Printer() on OK.
class TPrinterSetupDialog : public TCommonDialog {
    SF_CLASS(TPrinterSetupDialog)
public:
    using TCommonDialog::TCommonDialog;
    bool Execute(HWND owner = nullptr) override;
};

// A message box owned by the given window (none: the active window), with the caption given;
// returns the button pressed (IDOK, IDYES, ...).
int MessageDlg(const std::string& text, const std::string& caption, UINT flags, HWND owner = nullptr);
