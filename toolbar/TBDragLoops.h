// The decisions of the interactive move and size loops of dockable windows, kept apart from the
// loops themselves: which dock a drag points at, which row, and where a dragged edge may go.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <vector>

// One row of a dock as a move sees it when it starts.
struct TTBDockRowInfo {
    int Thickness = 0;
    bool FullSize = false;  // a full-size window sits in the row
};

// The row a dragged window goes to; NewRow inserts a row at that index.
struct TTBRowChoice {
    int Row = 0;
    bool NewRow = false;
};

// The row for a window whose centre lies `coordinate` pixels across the dock from its edge: the
// first quarter of a row inserts a row before it, the middle joins it, the last quarter inserts a
// row after it; a row holding a full-size window (or any row, when the dragged window is
// full-size) splits at its half and is never shared.
TTBRowChoice ChooseDockRow(const std::vector<TTBDockRowInfo>& rows, int coordinate, bool movedFullSize);

// The rectangle of a window of `size` that keeps the grab point (taken in a window of startSize)
// at the same relative place under the cursor.
RECT PlaceAtGrab(POINT cursor, SIZE size, POINT grab, SIZE startSize);

// The floating form's rectangle moved just enough that the cursor lies inside its frame: a window
// dragged out by its docked edge would otherwise hang from its sizing border, where a double
// click sizes instead of docking it back and a further drag resizes it.
RECT KeepCursorInsideFrame(RECT rect, POINT cursor, SIZE border);

// Whether a drag at `cursor` docks to a dock whose screen rectangle is dockRect, with the window
// placed at windowRect on it. The grab point biases the zone so a window grabbed at its far edge
// docks as readily as one grabbed near.
bool DockTargetHit(const RECT& dockRect, bool leftRight, const RECT& windowRect, POINT cursor, POINT grab,
                   SIZE startSize);

// The rectangle of a floating form sized by an edge (0 left, 1 right, 2 top, 3 top-left,
// 4 top-right, 5 bottom, 6 bottom-left, 7 bottom-right) moved by delta, kept between the minimum
// and, where positive, the maximum size by holding the dragged edge back.
RECT SizeByEdge(const RECT& start, int edge, POINT delta, SIZE minSize, SIZE maxSize);

// The message pump of a capture loop: true when the button is released, false when the loop is
// cancelled (another press, the capture or the window gone, a quit). Mouse moves and keys go to
// `handle`, which may cancel; other buttons are swallowed; everything else is dispatched.
bool RunCaptureLoop(HWND wnd, const std::weak_ptr<int>& alive, const std::function<bool(const MSG&)>& handle);
