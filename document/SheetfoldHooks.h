// What the document model asks of the main window: progress, refreshes of the user interface
// after changes, and the print helper whose printer gives new pages their paper. The main
// window's base class fills these; the model reaches them through the page view.
#pragma once

#include <windows.h>

#include <string>

#include "platform/Controls.h"

class TPrintHelper;

// Progress of a long operation (a project read, a print job) and the user's request to abort it.
class TSheetfoldProgress {
public:
    // Shows progress over 0 .. maximum, with an Abort button when canAbort.
    virtual void BeginProgress(int maximum, const std::string& caption, bool canAbort) = 0;
    // Called from inside a read, once per chunk: a window that lets messages through here must
    // keep the user's commands from running until the read has ended.
    virtual void SetProgress(int position) = 0;
    virtual void EndProgress() = 0;
    // True once the user has asked to abort.
    virtual bool ProgressAborted() = 0;

protected:
    ~TSheetfoldProgress() = default;
};

// Progress shown for the life of the guard; nothing at all without a progress display.
class TProgressScope {
public:
    TProgressScope(TSheetfoldProgress* progress, int maximum, const std::string& caption, bool canAbort)
        : FProgress(progress)
    {
        if (FProgress)
            FProgress->BeginProgress(maximum, caption, canAbort);
    }
    ~TProgressScope()
    {
        if (FProgress)
            FProgress->EndProgress();
    }
    TProgressScope(const TProgressScope&) = delete;
    TProgressScope& operator=(const TProgressScope&) = delete;

private:
    TSheetfoldProgress* FProgress;
};

class TSheetfoldFormHooks : public TSheetfoldProgress {
public:
    // Runs the Save As dialog; true when a file name was chosen and stored in the project.
    virtual bool ExecuteSaveDialog() = 0;
    // True when the current project may be discarded.
    virtual bool CanCloseProject() = 0;
    // Pages were added, deleted or turned, or the current page changed.
    virtual void PagesChanged() = 0;
    // The set of selected elements changed; selection is the view's selection.
    virtual void SelectionItemChanged(TObject* selection) = 0;
    // The property panel is to show item: the selection, or the first selected element.
    virtual void UpdateProperties(TObject* item) = 0;
    virtual void ViewResized() = 0;
    // Client pixels of the view.
    virtual void ShowContextMenu(int x, int y) = 0;
    virtual void ViewKeyDown(WORD key, TShiftState shift) = 0;
    // The place (0.01 mm) of the next insertion, for files dropped on the view.
    virtual void SetInsertPoint(const POINT& p) = 0;
    virtual void InsertImageFile(const std::string& fileName) = 0;
    // The printer's paper source; nullptr when the window has none.
    virtual TPrintHelper* GetPrintHelper() const = 0;

protected:
    ~TSheetfoldFormHooks() = default;
};
