// The document: a project of pages, each a composition of elements with its paper, printable
// area, orientation, decorations, snapping and test-print record, and the project file and
// clipboard payload they are written to and read from.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "document/Layer.h"
#include "document/PrintHelper.h"
#include "document/SheetfoldHooks.h"

class TSheetfoldProject;

// What the project needs of the view that shows it; the page view implements it.
class TSheetfoldViewLink {
public:
    // A repaint request in logical units.
    virtual void InvalidateLogicalRect(const RECT& r) = 0;
    // The view's selection, or nullptr.
    virtual TLayerSelection* GetSelection() const = 0;
    // The main window, or nullptr.
    virtual TSheetfoldFormHooks* GetForm() const = 0;

protected:
    ~TSheetfoldViewLink() = default;
};

// The caption of the progress while a project loads; the language sets it.
extern std::string SheetfoldLoadingCaption;

// Snapping pulls an edge of a moved element onto the printable area's edge from closer than this.
constexpr int SheetfoldSnapDistance = 150;

class TSheetfoldPage : public TLayerComposition {
    SF_CLASS(TSheetfoldPage)
public:
    // Paper comes from the printer of the owning project's main window, else Letter portrait.
    explicit TSheetfoldPage(TLayerComposer* owner = nullptr);
    void AfterConstruction() override;
    ~TSheetfoldPage() override;

    // The printable area.
    RECT GetReferenceRect() override;
    // The elements' bounds united with the paper rectangle.
    RECT GetBounds() override;
    // Snapping of moved elements to the printable area.
    void AdjustRect(TLayerElement* element, RECT& r, int mode) override;
    // Paper, elements, margin frame, test-print boxes.
    void Paint(TLayerCanvas* canvas, const RECT& updateRect) override;
    // The elements only; in test-print mode records where each visible element went.
    void Print(HDC dc, const TMapMode& mapMode) override;

    RECT GetPaperRect() const;
    RECT GetPrintableRect() const;
    bool GetLandscape() const;
    TPaper* GetPaper() const { return FPaper.get(); }
    void SetPaper(const TPaper* paper);
    void SetPaperSize(const RECT& r);
    void SetPrintableRect(const RECT& r);
    // Turns paper and margins; nothing when the page already has that orientation.
    void SetLandscape(bool value);
    TColor GetColor() const { return FPageColor; }
    void SetColor(TColor value);
    int GetSelectedIndex() const { return FSelectedIndex; }
    void SetSelectedIndex(int value) { FSelectedIndex = value; }
    bool GetSnap() const { return FSnap; }
    void SetSnap(bool value) { FSnap = value; }

    bool GetTestPrint() const { return !FTestPrintRects.empty(); }
    void SetTestPrint(bool value);
    void AddTestPrintRect(const RECT& r);
    const std::vector<RECT>& GetTestPrintRects() const { return FTestPrintRects; }

    TLayerRect* GetPaperElement() const { return FPaperElement.get(); }
    TLayerRect* GetTestPrintElement() const { return FTestPrintElement.get(); }
    TLayerFrame* GetMarginFrame() const { return FMarginFrame.get(); }
    TSheetfoldProject* GetProject() const;

    // The page body: paper, printable area, orientation, test-print record, then every element
    // not attached to another, bottom first.
    void WritePage(TXDataStream& stream);
    // Reads a page body up to its group end; the elements go on top of the existing ones. With
    // withPaper false (the clipboard payload) paper, margins, orientation and test-print record
    // are left alone. A read that fails takes back everything it did and raises.
    void ReadPage(TXDataStream& stream, bool withPaper = true);

    // Places the decorations from the paper and re-aligns the unattached elements.
    void RecalcDecorations();

private:
    struct TPaperState;
    TPaperState SavePaperState() const;
    void RestorePaperState(const TPaperState& state);
    void PlaceDecorations();
    bool ReadPageChunk(const TChunkHeader& header, TXDataStream& stream, bool withPaper);

    TColor FPageColor = 0xFFFFFF;
    std::unique_ptr<TLayerRect, TObjectFree> FPaperElement;
    std::unique_ptr<TLayerRect, TObjectFree> FTestPrintElement;
    std::unique_ptr<TLayerFrame, TObjectFree> FMarginFrame;
    int FSelectedIndex = -1;
    bool FSnap = true;
    std::unique_ptr<TPaper, TObjectFree> FPaper;
    // The composer given at creation, which the page joins only after it has its paper.
    TLayerComposer* FCreationOwner = nullptr;
    std::vector<RECT> FTestPrintRects;
};

class TSheetfoldProject : public TLayerComposer {
    SF_CLASS(TSheetfoldProject)
public:
    TSheetfoldProject() = default;

    // Passed to the view when one is set.
    void InvalidateRect(const RECT& r) override;
    // An element changed: Modified, and the property panel refreshed while something is selected.
    void CompositionChanged(TLayerComposition* composition, TLayerElement* element) override;

    TSheetfoldViewLink* GetView() const { return FView; }
    void SetView(TSheetfoldViewLink* view) { FView = view; }
    // The view's main window; without a view the one set by SetForm (a project being loaded).
    TSheetfoldFormHooks* GetForm() const;
    void SetForm(TSheetfoldFormHooks* form) { FForm = form; }

    // Always a valid index while there are pages; -1 without pages.
    int GetCurrentPageIndex();
    void SetCurrentPageIndex(int value) { FCurrentPageIndex = value; }
    // Raises EListError without pages.
    TSheetfoldPage* GetCurrentPage();
    TSheetfoldPage* GetPage(int index) const;
    const std::string& GetFileName() const { return FFileName; }
    void SetFileName(const std::string& value) { FFileName = value; }
    bool GetModified() const { return FModified; }
    void SetModified() { FModified = true; }
    void ClearModified() { FModified = false; }
    // True: images loaded from files are stored by their file names only.
    bool GetMINS() const { return FMINS; }
    void SetMINS(bool value) { FMINS = value; }
    // True for the project into which a file is being read: its pages report progress.
    bool GetLoading() const { return FLoading; }

    // "MINS" and one "PAGE" group per page (the caller writes the enclosing "SFPJ" group), with
    // the embed switch set for the write; clears Modified. Raises when an image cannot be
    // written, leaving Modified alone.
    void WriteProject(TXDataStream& stream);
    // Reads the body of an "SFPJ" group whose begin header the caller has read; its pages are
    // appended only when the whole body read. A read that fails raises and changes nothing.
    void ReadProject(TXDataStream& stream);

    // A whole project file from a stream: replaces the pages only when it read completely.
    void LoadFromStream(TStream* stream);
    void SaveToStream(TStream* stream);
    // Opens the file buffered, and sets FileName on success.
    void LoadFromFile(const std::string& fileName);
    // Writes a temporary file beside the target and replaces the target with it only when it is
    // complete; sets FileName on success.
    void SaveToFile(const std::string& fileName);

private:
    TSheetfoldViewLink* FView = nullptr;
    TSheetfoldFormHooks* FForm = nullptr;
    int FCurrentPageIndex = 0;
    std::string FFileName;
    bool FModified = false;
    bool FMINS = false;
    bool FLoading = false;
};

// The clipboard payload: one "PAGE" group holding the element groups of the elements.
std::string WritePagePayload(const std::vector<TLayerElement*>& elements);
// Puts the payload's elements on top of the page; paper and margins stay. Raises on a corrupt
// payload and leaves the page as it was.
void ReadPagePayload(TSheetfoldPage* page, const std::string& payload);
