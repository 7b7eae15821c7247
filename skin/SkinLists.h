// Lists inside popups: an item that shows scrollable lines (the combo-box drop-down), its viewer
// with hot tracking, keys, wheel and auto-scroll while dragging, the string list of wide lines,
// and the scroll bar that has no window of its own and is drawn inside the viewer.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/Controls.h"
#include "skin/SkinItems.h"
#include "skin/SkinStrUtils.h"

// ---------------------------------------------------------------------------------------------
// Scroll bar

enum class TSkinScrollBarKind : uint8_t { sbkHorizontal, sbkVertical };

// The parts along the bar, in order.
enum TSkinScrollBarPart : int {
    sbpNone = 0,
    sbpFirstArrow = 1,
    sbpTrackBefore = 2,
    sbpThumb = 3,
    sbpTrackAfter = 4,
    sbpLastArrow = 5,
};

enum TSkinScrollBarTimer : UINT { sbtRepeat = 1, sbtAutoScroll = 2 };

// (sender, step, interval in ms): may change either; an interval below 1 stops.
using TSkinAutoScrollEvent = TEvent<TObject*, int&, int&>;

class TSkinScrollBar : public TObject {
    SF_CLASS(TSkinScrollBar)
public:
    TSkinScrollBar() = default;
    ~TSkinScrollBar() override;

    RECT GetBounds() const { return FBounds; }
    void SetBounds(const RECT& value);
    TSkinScrollBarKind GetKind() const { return FKind; }
    void SetKind(TSkinScrollBarKind value);
    int GetPosition() const { return FPosition; }
    // Clamped into 0 .. Range - Window.
    void SetPosition(int value);
    int GetRange() const { return FRange; }
    // Below 0 becomes 0.
    void SetRange(int value);
    int GetWindow() const { return FWindow; }
    void SetWindow(int value);
    int GetSmallChange() const { return FSmallChange; }
    void SetSmallChange(int value) { FSmallChange = value; }
    // The part's rectangle in the bar's coordinates (empty when the part has no room).
    RECT GetPartRect(TSkinScrollBarPart part) const;
    TSkinScrollBarPart PartAt(POINT p) const;
    TSkinScrollBarPart GetPressedPart() const { return FPressedPart; }
    // Window below 1: the track's length.
    int EffectiveWindow() const;

    // Auto-scrolling by step lines every interval ms, until an end or StopAutoScroll.
    void StartAutoScroll(int step, int interval);
    void StopAutoScroll();
    bool GetAutoScrolling() const { return FAutoScrollRunning; }
    int GetAutoScrollStep() const { return FAutoScrollStep; }
    int GetAutoScrollInterval() const { return FAutoScrollInterval; }
    // The timer a part press runs, for the tests: its interval, or 0 when stopped.
    UINT GetRepeatInterval() const { return FRepeatInterval; }

    void Paint(HDC dc);

    virtual bool Enabled() const { return EffectiveWindow() < FRange; }
    // Coordinates are the bar's own.
    virtual void MouseDown(TMouseButton button, int x, int y);
    virtual void MouseMove(int x, int y);
    virtual void MouseUp(TMouseButton button, int x, int y);
    // A tick of the timer; interval comes back as the next one, 0 to stop.
    virtual void HandleTimer(UINT timerID, int& interval);
    virtual void Redraw() { OnRedraw(this); }

    TNotifyEvent OnChange;
    TNotifyEvent OnRedraw;
    TSkinAutoScrollEvent OnAutoScroll;

private:
    void UpdateLayout();
    void ScrollBy(int delta);
    void PositionFromUser(int value);
    void RunTimer(UINT timerID, int interval);
    void KillTimer(UINT timerID);
    void TimerMessage(TMessage& m);
    int TrackLength() const;
    bool ThumbAtMinimum() const;

    HWND FTimerWindow = nullptr;
    RECT FBounds{};
    int FSmallChange = 1;
    TSkinScrollBarKind FKind = TSkinScrollBarKind::sbkVertical;
    int FPosition = 0;
    int FRange = 0;
    int FWindow = 0;
    RECT FParts[6]{};
    TSkinScrollBarPart FPressedPart = sbpNone;
    POINT FPressPoint{};
    POINT FLastPoint{};
    int FPressPosition = 0;
    int FAutoScrollStep = 0;
    int FAutoScrollInterval = 0;
    bool FAutoScrollRunning = false;
    UINT FRepeatInterval = 0;
    bool FUserChange = false;
};

// ---------------------------------------------------------------------------------------------
// Lists

class TSkinCustomListViewer;

// (sender, canvas, rectangle, index, hot, draw default)
using TSkinLPaintEvent = TEvent<TObject*, TCanvas*, RECT&, int, bool, bool&>;
using TSkinLAdjustImageIndex = TEvent<TObject*, int, int&>;
using TSkinLMeasureHeight = TEvent<TObject*, TCanvas*, int&>;
using TSkinLMeasureWidth = TEvent<TObject*, TCanvas*, int, int&>;

class TSkinCustomList : public TSkinCustomItem {
    SF_CLASS(TSkinCustomList)
public:
    explicit TSkinCustomList(TComponent* owner = nullptr);

    int GetItemIndex() const { return FItemIndex; }
    // Below -1 becomes -1; every live viewer takes it as its hot line; then OnChange.
    virtual void SetItemIndex(int value);
    int GetMaxWidth() const { return FMaxWidth; }
    void SetMaxWidth(int value) { FMaxWidth = value; }
    int GetMaxVisibleItems() const { return FMaxVisibleItems; }
    void SetMaxVisibleItems(int value) { FMaxVisibleItems = value; }
    bool GetShowImages() const { return FShowImages; }
    void SetShowImages(bool value) { FShowImages = value; }
    const std::vector<TSkinCustomListViewer*>& GetViewers() const { return FViewers; }

    TNotifyEvent OnChange;
    TSkinLPaintEvent OnClearItem;
    TSkinLPaintEvent OnDrawItem;
    TSkinLAdjustImageIndex OnAdjustImageIndex;
    TSkinLMeasureHeight OnMeasureHeight;
    TSkinLMeasureWidth OnMeasureWidth;

    virtual bool DoClearItem(TCanvas* canvas, RECT& r, int index, bool hot);
    virtual bool DoDrawItem(TCanvas* canvas, RECT& r, int index, bool hot);
    virtual void DoMeasureHeight(TCanvas* canvas, int& height) { OnMeasureHeight(this, canvas, height); }
    virtual void DoMeasureWidth(TCanvas* canvas, int index, int& width) { OnMeasureWidth(this, canvas, index, width); }
    virtual void DrawItem(TCanvas* canvas, TSkinCustomListViewer* viewer, const RECT& r, int index, int hoverIndex);
    virtual int GetImageIndex(int index);
    virtual std::wstring GetItemText(int index) = 0;
    virtual int GetCount() = 0;
    virtual void DoChange() { OnChange(this); }
    virtual void HotItemChanged(int) {}

    TTBItemViewerClass QueryViewerClass(TTBView* view) override;

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    friend class TSkinCustomListViewer;
    std::vector<TSkinCustomListViewer*> FViewers;
    int FItemIndex = -1;
    int FMaxWidth = 0;
    int FMaxVisibleItems = 8;
    bool FShowImages = false;
};

// A list of wide lines.
class TSkinStringList : public TSkinCustomList {
    SF_CLASS(TSkinStringList)
public:
    explicit TSkinStringList(TComponent* owner = nullptr);
    TStringListW* GetLines() const { return FLines.get(); }
    void SetLines(TStringListW* value) { FLines->Assign(value); }
    // Raises "List index out of bounds (%d)" outside the lines.
    std::wstring GetItemText(int index) override { return FLines->GetString(index); }
    int GetCount() override { return FLines->GetCount(); }

private:
    std::unique_ptr<TStringListW, TObjectFree> FLines;
};

class TSkinCustomListViewer : public TSkinItemViewer {
    SF_CLASS(TSkinCustomListViewer)
public:
    TSkinCustomListViewer(TTBView* view, TTBCustomItem* item, int groupLevel);
    ~TSkinCustomListViewer() override;

    TSkinCustomList* GetList() const;
    int GetHotIndex() const { return FHotIndex; }
    // A change scrolls the line into view and repaints the lines at once.
    void SetHotIndex(int value);
    int GetOffset() const { return FOffset; }
    int GetVisibleLines() const { return FVisibleLines; }
    int GetItemHeight() const { return FItemHeight; }
    int GetScrollBarWidth() const { return FScrollBarWidth; }
    TSkinScrollBar* GetScrollBar() const { return FScrollBar.get(); }
    bool GetListTracking() const { return FListTracking; }
    bool GetScrollBarTracking() const { return FScrollBarTracking; }
    // The line under a point in the viewer's coordinates, -1 for none.
    int LineAt(int x, int y) const;

    virtual int GetItemHeight(TCanvas* canvas);
    virtual int GetItemWidth(TCanvas* canvas, int index);

    void MeasureSize(TCanvas* canvas, int& width, int& height) override;
    void Paint(TCanvas* canvas, const RECT& clientAreaRect, bool isSelected, bool isPushed,
               bool useDisabledShadow) override;
    void KeyDown(WORD& key, TShiftState shift) override;
    void MouseDown(TShiftState shift, int x, int y, bool& mouseDownOnMenu) override;
    void MouseMove(int x, int y) override;
    void MouseUp(int x, int y, bool mouseWasDownOnMenu) override;
    void MouseWheel(int delta, int x, int y) override;

private:
    // The line distance a pointer this far outside the list scrolls by, and how often.
    static void AutoScrollBand(int distance, int& step, int& interval);
    void PaintLines(TCanvas* canvas, int first, int last);
    void RepaintLines(int first, int last);
    void EnsureScrollBar();
    void ScrollBarChanged(TObject*);
    void ScrollBarRedraw(TObject*);
    void StopAutoScroll();
    void ScrollIntoView(int index);
    int ListHeight() const { return FVisibleLines * FItemHeight; }

    int FItemCount = 0;
    int FItemHeight = 1;
    int FHotIndex = -1;
    RECT FViewerRect{};
    int FWidth = 0;
    int FHeight = 0;
    int FOffset = 0;
    int FScrollBarWidth = 0;
    std::unique_ptr<TSkinScrollBar, TObjectFree> FScrollBar;
    int FVisibleLines = 1;
    bool FListTracking = false;
    bool FScrollBarTracking = false;
    bool FChangingHot = false;
    int FWheelDelta = 0;
    int FAutoScrollDirection = 0;
};
