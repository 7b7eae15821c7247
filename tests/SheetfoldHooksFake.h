// A main window that answers every call of the document model and does nothing: tests derive from
// it and override what they watch.
#pragma once

#include <string>
#include <vector>

#include "document/SheetfoldHooks.h"

class TNoOpHooks : public TSheetfoldFormHooks {
public:
    bool ExecuteSaveDialog() override { return false; }
    bool CanCloseProject() override { return true; }
    void BeginProgress(int, const std::string&, bool) override {}
    void SetProgress(int) override {}
    void EndProgress() override {}
    bool ProgressAborted() override { return false; }
    void PagesChanged() override {}
    void SelectionItemChanged(TObject*) override {}
    void UpdateProperties(TObject*) override {}
    void ViewResized() override {}
    void ShowContextMenu(int, int) override {}
    void ViewKeyDown(WORD, TShiftState) override {}
    void SetInsertPoint(const POINT&) override {}
    void InsertImageFile(const std::string&) override {}
    TPrintHelper* GetPrintHelper() const override { return nullptr; }
};

// Records the progress shown through it, as the progress window takes it: the Abort button,
// pressed at a chosen step, sets a flag that only beginning again clears.
template <class Base>
class TProgressRecorder : public Base {
public:
    void BeginProgress(int maximum, const std::string& caption, bool canAbort) override
    {
        ++Begins;
        Maximum = maximum;
        Caption = caption;
        CanAbort = canAbort;
        Aborted = false;
    }
    void SetProgress(int position) override
    {
        Positions.push_back(position);
        if (position == AbortAtStep)
            Aborted = true;
    }
    void EndProgress() override { ++Ends; }
    bool ProgressAborted() override { return Aborted; }

    int Begins = 0;
    int Ends = 0;
    int Maximum = 0;
    bool CanAbort = false;
    bool Aborted = false;
    int AbortAtStep = -1;  // none
    std::string Caption;
    std::vector<int> Positions;
};
