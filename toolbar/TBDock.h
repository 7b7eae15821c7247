// The dock: the strip along one edge of a form that holds dockable windows (toolbars, panels) in
// rows and owns their layout - row, place in the row, shrinking, wrapping and its own thickness.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "platform/Controls.h"

class TTBCustomDockableWindow;

enum TTBDockPosition : uint8_t { dpTop, dpBottom, dpLeft, dpRight };
// A set of dock positions: bit n stands for position n.
using TTBDockableTo = uint8_t;
constexpr TTBDockableTo DockPositionSet(TTBDockPosition p)
{
    return static_cast<TTBDockableTo>(1u << p);
}
constexpr TTBDockableTo AllDockPositions = 0x0F;

enum TTBDockBoundLinesValues : uint8_t { blTop, blBottom, blLeft, blRight };
// A set of bound lines: bit n stands for line n.
using TTBDockBoundLines = uint8_t;
constexpr TTBDockBoundLines BoundLineSet(TTBDockBoundLinesValues v)
{
    return static_cast<TTBDockBoundLines>(1u << v);
}

// The state a dockable window's contents are arranged for.
enum TTBDockType : uint8_t { dtNotDocked, dtFloating, dtTopBottom, dtLeftRight };

// What a docked window does when its row is shorter than its contents.
enum TTBShrinkMode : uint8_t { tbsmNone, tbsmWrap, tbsmChevron };

// Sender is the dock; Inserting tells whether Bar became visible on it or left it.
using TTBInsertRemoveEvent = TEvent<TObject*, bool, TTBCustomDockableWindow*>;
// Sender is the dock asked during a drag; clearing Accept refuses Bar.
using TTBRequestDockEvent = TEvent<TObject*, TTBCustomDockableWindow*, bool&>;

// A background painter several docks and their windows share. No kind of background is built
// into the framework: the dock only calls these.
class TTBBasicBackground : public TComponent {
    SF_CLASS(TTBBasicBackground)
public:
    using TChangeProc = void (*)(void* data);
    using TComponent::TComponent;

    virtual void PaintBackground(HDC dc, const RECT& drawRect, TControl* control) = 0;
    virtual HPALETTE BackgroundPalette() = 0;
    virtual void AddChangeHandler(TChangeProc proc, void* data) = 0;
    virtual void SystemColorsChanged() = 0;
    virtual void RemoveChangeHandler(TChangeProc proc, void* data) = 0;
    virtual bool InUse() = 0;
};

class TTBDock : public TCustomControl {
    SF_CLASS(TTBDock)
public:
    explicit TTBDock(TComponent* owner = nullptr);
    void BeforeDestruction() override;

    void SetParent(TWinControl* parent) override;
    void Dispatch(TMessage& message) override;
    // The dock lays out its windows itself; child controls are never aligned.
    void AlignControls(TControl* control, RECT& rect) override;

    bool GetAllowDrag() const { return FAllowDrag; }
    void SetAllowDrag(bool value);
    TTBBasicBackground* GetBackground() const { return FBackground; }
    void SetBackground(TTBBasicBackground* value);
    bool GetBackgroundOnToolbars() const { return FBackgroundOnToolbars; }
    void SetBackgroundOnToolbars(bool value);
    TTBDockBoundLines GetBoundLines() const { return FBoundLines; }
    void SetBoundLines(TTBDockBoundLines value);
    bool GetFixAlign() const { return FFixAlign; }
    void SetFixAlign(bool value);
    bool GetLimitToOneRow() const { return FLimitToOneRow; }
    void SetLimitToOneRow(bool value);
    TTBDockPosition GetPosition() const { return FPosition; }
    // Raises EInvalidOperation while the dock holds any control.
    void SetPosition(TTBDockPosition value);
    bool IsLeftRight() const { return FPosition == dpLeft || FPosition == dpRight; }

    TTBInsertRemoveEvent OnInsertRemoveBar;
    TTBRequestDockEvent OnRequestDock;

    // True when the window may dock here (AllowDrag unless a subclass says otherwise).
    virtual bool AcceptsWindow(TTBCustomDockableWindow* window);
    virtual void FillDockBackground(HDC dc, const RECT& drawRect);
    virtual bool HasBackgroundImage();
    // Places every window visible on the dock and sets the dock's thickness.
    virtual void LayOutToolbars();

    // Defers arrangement until the matching EndUpdate.
    void BeginUpdate();
    void EndUpdate();

    // Windows visible on the dock, in row and position order after an arrangement.
    int GetDockedCount() const { return static_cast<int>(FShownWindows.size()); }
    TTBCustomDockableWindow* GetDockedWindows(int index) const;
    bool AnyToolbarShown() const { return !FShownWindows.empty(); }
    bool ToolbarShownOn(const TTBCustomDockableWindow* window) const;
    // Every window docked here or remembering this dock as its last one.
    const std::vector<TTBCustomDockableWindow*>& GetAllWindows() const { return FAllWindows; }
    // Thickness of the thickest window of an arranged row; fullSizeRow tells whether a full-size
    // window sits in it.
    int RowThickness(int row, bool& fullSizeRow) const;
    // The highest requested (or, effective, placed) row; -1 when the dock is empty.
    int HighestRow(bool effective) const;
    // The first row whose cumulated thickness passes the coordinate across the dock.
    int RowAt(int coordinate) const;
    // Resizes the dock keeping its aligned edge where it is.
    void ApplyDockSize(int newWidth, int newHeight);
    // Copies every visible window's placed row and position into its requested ones.
    void StoreEffectivePositions();

    // Keeps the window lists in step with the windows' parents and visibility.
    void UpdateDockList(bool insert, TTBCustomDockableWindow* window);
    void VisibilityChanged(TTBCustomDockableWindow* window, bool forceRemove);
    // The next arrangement also writes the computed rows and positions into the windows.
    void SetWritePlacement(bool value) { FWritePlacement = value; }
    bool GetWritePlacement() const { return FWritePlacement; }
    bool GetArrangePending() const { return FArrangePending; }
    // Space along the dock for one row (the size less the bound lines).
    int RowSpace() const;

protected:
    void CreateParams(TCreateParams& params) override;
    void Loaded() override;
    void Notification(TComponent* component, TOperation operation) override;
    void DefineProperties(TFiler* filer) override;
    // One arrangement, run by LayOutToolbars outside updates, loading and destruction.
    virtual void ArrangeLayout();

private:
    struct TLayoutRecord;

    // The phases of ArrangeLayout, in the order it runs them.
    static void DropDestroyedWindows(std::vector<TTBCustomDockableWindow*>& list);
    std::vector<TTBCustomDockableWindow*> WindowsInRowOrder() const;
    void GiveRowsOfTheirOwn(std::vector<TLayoutRecord>& records) const;
    static int CloseEmptyRows(std::vector<TLayoutRecord>& records);
    static std::vector<TLayoutRecord*> RowMembers(std::vector<TLayoutRecord>& records, int row);
    void ArrangeRow(std::vector<TLayoutRecord>& records, int row, int& lastRow);
    std::vector<TLayoutRecord*> MeasureRow(std::vector<TLayoutRecord>& records, int row, int& lastRow);
    static void SetRequestedPlaces(std::vector<TLayoutRecord*>& members, int excess);
    static void MakeRoomForMovedWindow(std::vector<TLayoutRecord*>& members, size_t movedIndex);
    static void EndWithinRowSpace(std::vector<TLayoutRecord*>& members, int rowSpace);
    static void ShrinkRow(std::vector<TLayoutRecord*>& members, int excess);
    static void SetFinalPlaces(std::vector<TLayoutRecord*>& members, int rowSpace);
    void StorePlacement(std::vector<TLayoutRecord>& records, const std::vector<TTBCustomDockableWindow*>& sorted);
    void PlaceRowsFromEdge(std::vector<TLayoutRecord>& records, int lastRow);
    int DockedThicknessOf(TLayoutRecord& r);

    bool IsShownOnDock(const TTBCustomDockableWindow* window) const;
    void InvalidateWithWindows();
    void DrawBoundLines(HDC dc);
    void EraseBackground(TMessage& message);
    void RelayToFloatingWindows(TMessage& message);
    static void BackgroundChanged(void* data);

    bool FAllowDrag = true;
    TTBBasicBackground* FBackground = nullptr;
    bool FBackgroundOnToolbars = true;
    TTBDockBoundLines FBoundLines = 0;
    bool FFixAlign = false;
    bool FLimitToOneRow = false;
    TTBDockPosition FPosition = dpTop;

    bool FWritePlacement = false;
    int FLineInsetX = 0;
    int FLineInsetY = 0;
    int FArrangeLock = 0;
    bool FArrangePending = false;
    std::vector<TTBCustomDockableWindow*> FAllWindows;
    std::vector<TTBCustomDockableWindow*> FShownWindows;
};
