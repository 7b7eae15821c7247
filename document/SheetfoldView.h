// The window that shows and edits the current page of the project: it paints the page and the
// selection handles into its back buffer, hands every message to its selection, turns the
// project's logical repaint requests into window invalidations and takes dropped files.
#pragma once

#include <windows.h>

#include <memory>

#include "document/Layer.h"
#include "document/SheetfoldProject.h"
#include "document/SheetfoldSelection.h"

// Each further dropped file goes this far (0.01 mm) right of and below the one before. The view
// sets the insert point of every file itself, so a file that fails moves none of the others.
constexpr int SheetfoldDropCascade = 1000;

class TSheetfoldView : public TScrollingLayer, public TSheetfoldViewLink {
    SF_CLASS(TSheetfoldView)
public:
    explicit TSheetfoldView(TComponent* owner = nullptr);
    // The window goes first, then the project is detached and freed, then the selection.
    ~TSheetfoldView() override;

    // TSheetfoldViewLink: the project's repaint requests, in logical units.
    void InvalidateLogicalRect(const RECT& r) override;
    TLayerSelection* GetSelection() const override { return FSelection.get(); }
    TSheetfoldFormHooks* GetForm() const override { return FForm; }

    RECT GetContentRect() override;
    void PaintContent() override;
    void UpdateScrollPos() override;
    // Every message goes to the selection, which calls InheritedDispatch for the view's own part.
    void Dispatch(TMessage& message) override;
    // The view's own handling of a message, without going through the selection again.
    void InheritedDispatch(TMessage& message);

    // Invalidates device pixels without erasing; nothing while the window does not exist.
    void InvalidateDeviceRect(const RECT& r);
    // Between these, repaint requests are gathered and invalidated as one area at the last
    // EndUpdate: under Wine one InvalidateRect per moved element cost more than the painting.
    void BeginUpdate() { ++FUpdateCount; }
    void EndUpdate();
    // The page shown, or nullptr without a project or pages.
    TSheetfoldPage* GetCurrentPage() const;

    TSheetfoldProject* GetProject() const { return FProject.get(); }
    // The view owns the project it is given and frees it with itself. The old one is detached
    // and not freed: whoever replaces it keeps it.
    void SetProject(TSheetfoldProject* project);
    TSheetfoldSelection* GetSheetfoldSelection() const { return FSelection.get(); }
    void SetForm(TSheetfoldFormHooks* form) { FForm = form; }
    bool GetScrollEnabled() const { return FScrollEnabled; }
    void SetScrolling(bool value) { FScrollEnabled = value; }

protected:
    void CreateWnd() override;
    void DestroyWnd() override;
    void Resize() override;

private:
    void WMDropFiles(TMessage& message);

    std::unique_ptr<TSheetfoldProject, TObjectFree> FProject;
    std::unique_ptr<TSheetfoldSelection, TObjectFree> FSelection;
    TSheetfoldFormHooks* FForm = nullptr;
    bool FScrollEnabled = true;
    // The content rectangle the scroll bars were last set for.
    RECT FScrollContent{};
    int FUpdateCount = 0;
    // What was asked for inside BeginUpdate/EndUpdate, in logical units.
    bool FUpdatePending = false;
    RECT FPendingRect{};
};
