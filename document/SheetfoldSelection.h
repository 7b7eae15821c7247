// The page view's selected elements and the mouse tool that edits them: selecting by click and
// rubber band, moving, resizing one element by its handles, and aligning, spacing and sizing
// the selection on command. Handles live in device pixels, element geometry in logical units.
#pragma once

#include <windows.h>

#include <vector>

#include "document/Layer.h"
#include "document/List.h"
#include "platform/Controls.h"

class TSheetfoldView;
class TSheetfoldSelection;

// The handle geometry in device pixels, shared by hit testing and painting. Zones are the
// placement modes of Layer.h: 1-8 the edge and corner handles, 9 move, 0 nothing.
namespace SelectionGeometry {

constexpr int HandleSize = 6;
constexpr int GripSize = 12;
constexpr int GripOffset = 3;
constexpr int UpdateMargin = 12;

// The square of the given size centred on c; right and bottom edges outside.
RECT HandleSquare(const POINT& c, int size);
// The centre of the handle of zone 1-8 on the selection bounds s.
POINT HandleCentre(const RECT& s, int zone);
RECT GripRect(const RECT& s);
// The handle zone under p, testing the handles in the order 5, 2, 6, 1, 7, 3, 8, 4; 0 for none.
int HitHandle(const RECT& s, const POINT& p);
// The full zone: a handle, else 9 when onSelected (the topmost element under p is selected) or p
// is in the grip, else 0.
int HitZone(const RECT& s, const POINT& p, bool onSelected);
// The bounds that dragging zone's handle by d (logical) gives start; may have a width or height
// below 1, which the caller refuses.
RECT DragTarget(const RECT& start, const POINT& d, int zone);
// The cursor of a zone with one element selected; split cursors for the edges of a croppable
// image.
TCursor ZoneCursor(int zone, bool croppable);

}

// Alignment, spacing and sizing commands of AlignElements; amNone does nothing.
enum TAlignMode : int {
    amNone = 0,
    amLefts = 1,
    amRights = 2,
    amHorzCenters = 3,
    amTops = 4,
    amBottoms = 5,
    amVertCenters = 6,
    amSpaceHorz = 7,
    amSpaceVert = 8,
    amSameWidth = 9,
    amSameHeight = 10,
};

// Sorts the indexes by key with the document's own quicksort, which fixes the order of equal
// keys; spacing relies on that order.
void SortIndexesByKey(std::vector<int>& indexes, const std::vector<int>& keys);

class TSheetfoldTool : public TObject {
    SF_CLASS(TSheetfoldTool)
public:
    explicit TSheetfoldTool(TSheetfoldSelection* selection) : FSelection(selection) {}

    virtual void Paint(TLayerCanvas* canvas, const RECT& updateRect);
    // The device area the tool draws on: the selection bounds in pixels.
    virtual RECT GetUpdateRect();
    virtual bool IsActive();
    // The tool's handler of a view message; it ignores what it does not handle.
    virtual void Dispatch(TMessage& message);

    TSheetfoldSelection* GetSelection() const { return FSelection; }

private:
    TSheetfoldSelection* FSelection;
};

class TSheetfoldMoveTool : public TSheetfoldTool {
    SF_CLASS(TSheetfoldMoveTool)
public:
    using TSheetfoldTool::TSheetfoldTool;

    void Paint(TLayerCanvas* canvas, const RECT& updateRect) override;
    // The selection bounds grown by the handles; empty while nothing is selected.
    RECT GetUpdateRect() override;
    bool IsActive() override;
    void Dispatch(TMessage& message) override;

    int HitZone(const POINT& p);
    void MouseDown(const POINT& p, WPARAM keys);
    void MouseMove(const POINT& p);
    void MouseUp(WPARAM keys);
    // The mouse was taken away: a drag stops where it is, a band selects nothing.
    void CancelDrag();

    bool GetDragging() const { return FDragging; }
    bool GetBanding() const { return FBanding; }
    int GetZone() const { return FZone; }

private:
    void DragTo(const POINT& p);
    void EndBand(WPARAM keys);
    void SetCursorFor(int zone);
    RECT BandLogicalRect() const;

    RECT FStartBounds{};
    POINT FPressPoint{};
    int FZone = 0;
    bool FDragging = false;
    bool FBanding = false;
    POINT FBandStart{};
    POINT FBandEnd{};
    RECT FBandRect{};
};

class TSheetfoldSelection : public TLayerSelection {
    SF_CLASS(TSheetfoldSelection)
public:
    explicit TSheetfoldSelection(TSheetfoldView* view = nullptr);
    ~TSheetfoldSelection() override;

    void Add(TLayerElement* element) override;
    void Remove(TLayerElement* element) override;
    void Paint(TLayerCanvas* canvas, const RECT& updateRect);
    // Grows the device rectangle r by the handle area, old and new, when it changed.
    void UpdateHandleArea(RECT& r);
    // Every view message: the tool's handler, the view's own handling, then the selection's.
    void Dispatch(TMessage& message);
    // Aligns, spaces or sizes the selected elements (modes am*); needs two of them.
    void AlignElements(TAlignMode mode);
    // Moves every selected element by (dx, dy) logical units, as the arrow keys do; placed
    // plainly, without snapping.
    void NudgeElements(int dx, int dy);

    TSheetfoldView* GetView() const { return FView; }
    TSheetfoldTool* GetTool() const { return FTool.get(); }
    const RECT& GetHandleRect() const { return FHandleRect; }

private:
    void SelectionDispatch(TMessage& message);
    void FocusView();
    void SpaceEqually(bool vertical);

    RECT FHandleRect{};
    TSheetfoldView* FView;
    std::unique_ptr<TSheetfoldTool, TObjectFree> FTool;
};
