// The base class of the main window: the hooks through which the document model reports to the
// user interface, and the print helper that gives new pages the printer's paper. The document
// operations build on it.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "document/PrintHelper.h"
#include "document/SheetfoldHooks.h"
#include "platform/Forms.h"

class TScrollingLayer;

class TCustomSheetfoldForm : public TForm, public TSheetfoldFormHooks {
    SF_CLASS(TCustomSheetfoldForm)
public:
    explicit TCustomSheetfoldForm(TComponent* owner = nullptr);
    ~TCustomSheetfoldForm() override;

    // Abstract: the main window fills them; here they raise EAbstractError.
    bool ExecuteSaveDialog() override;
    void BeginProgress(int maximum, const std::string& caption, bool canAbort) override;
    void SetProgress(int position) override;
    void EndProgress() override;
    bool ProgressAborted() override;
    // True: the document operations decide what may be discarded.
    bool CanCloseProject() override;
    // Asks the page view to recompute its scroll range.
    void PagesChanged() override;
    // Remembers the selection.
    void SelectionItemChanged(TObject* selection) override;
    void UpdateProperties(TObject* item) override;
    void ViewResized() override;
    void ShowContextMenu(int x, int y) override;
    void ViewKeyDown(WORD key, TShiftState shift) override;
    // Remembers the point and marks it valid.
    void SetInsertPoint(const POINT& p) override;
    // The document operations insert images; here nothing.
    void InsertImageFile(const std::string& fileName) override;
    TPrintHelper* GetPrintHelper() const override { return FPrintHelper.get(); }

    // The window whose scroll range PagesChanged refreshes.
    TScrollingLayer* GetPageView() const { return FPageView; }
    void SetPageView(TScrollingLayer* view) { FPageView = view; }
    TObject* GetSelection() const { return FSelection; }
    const POINT& GetInsertPoint() const { return FInsertPoint; }
    bool GetInsertPointValid() const { return FInsertPointValid; }
    void SetInsertPointValid(bool value) { FInsertPointValid = value; }

protected:
    // Replaces the print helper (a test printer, for example).
    void SetPrintHelper(std::unique_ptr<TPrintHelper, TObjectFree> helper) { FPrintHelper = std::move(helper); }

private:
    std::unique_ptr<TPrintHelper, TObjectFree> FPrintHelper;
    TScrollingLayer* FPageView = nullptr;
    TObject* FSelection = nullptr;
    POINT FInsertPoint{};
    bool FInsertPointValid = false;
};
