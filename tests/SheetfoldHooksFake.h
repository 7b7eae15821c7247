// A main window that answers every call of the document model and does nothing: tests derive from
// it and override what they watch.
#pragma once

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
