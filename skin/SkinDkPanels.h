// Side panels that dock: the multi-dock that stacks dockable panels in one row and shares its
// length between them, and the captioned dockable panel with its docked, floating and split sizes,
// edge sizing and splitters between neighbours.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "toolbar/TBDock.h"
#include "skin/SkinTheme.h"
#include "toolbar/TBDockableWindow.h"

class TSkinDockablePanel;

enum TDPCaptionRotation : uint8_t { dpcrAuto, dpcrAlwaysHorz, dpcrAlwaysVert };
enum TDockKind : uint8_t { dkStandardDock, dkMultiDock };
// A set of dock kinds: bit n stands for kind n.
using TDockKinds = uint8_t;
constexpr TDockKinds DockKindSet(TDockKind kind)
{
    return static_cast<TDockKinds>(1u << kind);
}
enum TSkinResizingStage : uint8_t { rsBeginResizing, rsResizing, rsEndResizing };
// Sender, Vertical, var Allow, Stage, var Size.
using TSkinDockedResizing = TEvent<TObject*, bool, bool&, TSkinResizingStage, int&>;

// Non-client hit codes of a docked panel: splitters towards a neighbour on each side, the caption
// and its close button.
enum TSkinPanelHitCode : int {
    htSplitLeft = 86,
    htSplitRight = 87,
    htSplitTop = 88,
    htSplitBottom = 89,
    htPanelCaption = 2000,
    htPanelClose = 2001,
};

// ---------------------------------------------------------------------------------------------
// Length sharing

// One panel's length along a multi-dock and its bounds (Max >= Min).
struct TSkinSplitEntry {
    int Min = 0;
    int Max = 0;
    int Size = 0;
};

// Clamps every size into its bounds and then shares length - (sum of sizes) equally between the
// panels that can still move that way, so that the sizes add up to length exactly: every panel
// takes its minimum when even those do not fit, its maximum when even those do not fill it.
void ShareSplitLength(std::vector<TSkinSplitEntry>& entries, int length);

// Moves the boundary in front of entries[boundary] by delta pixels: the panels before it take
// the change nearest first, the panels after it the opposite change nearest first, each within its
// bounds; the boundary moves only as far as both sides allow. Returns how far it moved.
int MoveSplitBoundary(std::vector<TSkinSplitEntry>& entries, int boundary, int delta);

// ---------------------------------------------------------------------------------------------
// Multi-dock

// A dock that holds only dockable panels and stacks them in a single row or column.
class TSkinMultiDock : public TTBDock {
    SF_CLASS(TSkinMultiDock)
public:
    explicit TSkinMultiDock(TComponent* owner = nullptr);
    void BeforeDestruction() override;
    void Dispatch(TMessage& message) override;

    bool GetUseParentBackground() const { return FUseParentBackground; }
    void SetUseParentBackground(bool value);
    bool GetUseThemeColor() const { return FUseThemeColor; }
    void SetUseThemeColor(bool value);

    // Refuses every control but a dockable panel.
    void ValidateInsert(TControl* control) override;
    // Only dockable panels: what ValidateInsert would let in.
    bool AcceptsWindow(TTBCustomDockableWindow* window) override;

    // The panels shown on the dock in the order of their positions.
    std::vector<TSkinDockablePanel*> ShownPanels() const;
    // The panel whose edge is being dragged, while one is.
    TSkinDockablePanel* ResizingPanel = nullptr;

protected:
    void ArrangeLayout() override;

private:
    void TakeThemeColor();
    // The parent's or the theme's background is painted instead of plain erasing.
    bool UsesBackground();
    void EraseBackground(TMessage& message);
    int ScrollBarKind() const;
    bool ScrollBarShown() const;
    // Shows the scroll bar while the panels' length overflows the dock's, and keeps the offset
    // within what can be scrolled.
    void UpdateScrollBar(int length, int available);
    void Scroll(int request);

    bool FUseParentBackground = false;
    bool FUseThemeColor = true;
    bool FSettingColor = false;
    // How far the panels are scrolled along the dock: when even their minimum lengths do not fit,
    // a scroll bar lets every part of them be reached.
    int FScrollOffset = 0;
};

// ---------------------------------------------------------------------------------------------
// Dockable panel

class TSkinDockablePanel : public TTBCustomDockableWindow {
    SF_CLASS(TSkinDockablePanel)
public:
    explicit TSkinDockablePanel(TComponent* owner = nullptr);
    void BeforeDestruction() override;
    void Dispatch(TMessage& message) override;

    int GetBorderSize() const { return FBorderSize; }
    void SetBorderSize(int value);
    TDPCaptionRotation GetCaptionRotation() const { return FCaptionRotation; }
    void SetCaptionRotation(TDPCaptionRotation value);
    int GetDockedWidth() const { return FDockedWidth; }
    void SetDockedWidth(int value);
    int GetDockedHeight() const { return FDockedHeight; }
    void SetDockedHeight(int value);
    int GetFloatingWidth() const { return FFloatingWidth; }
    void SetFloatingWidth(int value);
    int GetFloatingHeight() const { return FFloatingHeight; }
    void SetFloatingHeight(int value);
    int GetMinClientWidth() const { return FMinClientWidth; }
    void SetMinClientWidth(int value);
    int GetMinClientHeight() const { return FMinClientHeight; }
    void SetMinClientHeight(int value);
    int GetMaxClientWidth() const { return FMaxClientWidth; }
    void SetMaxClientWidth(int value) { FMaxClientWidth = value; }
    int GetMaxClientHeight() const { return FMaxClientHeight; }
    void SetMaxClientHeight(int value) { FMaxClientHeight = value; }
    bool GetSmoothDockedResize() const { return FSmoothDockedResize; }
    void SetSmoothDockedResize(bool value) { FSmoothDockedResize = value; }
    int GetSnapDistance() const { return FSnapDistance; }
    void SetSnapDistance(int value);
    bool GetShowCaptionWhenDocked() const { return FShowCaptionWhenDocked; }
    void SetShowCaptionWhenDocked(bool value);
    int GetSplitHeight() const { return FSplitHeight; }
    void SetSplitHeight(int value);
    int GetSplitWidth() const { return FSplitWidth; }
    void SetSplitWidth(int value);
    TDockKinds GetSupportedDocks() const { return FSupportedDocks; }
    void SetSupportedDocks(TDockKinds value) { FSupportedDocks = value; }
    bool GetUseThemeColor() const { return FUseThemeColor; }
    void SetUseThemeColor(bool value);

    TSkinDockedResizing OnDockedResizing;

    virtual bool BeginDockedResizing(bool vertical);
    // Keeps the client length of the proposed rectangle within the limits; false when refused.
    virtual bool DockedResizing(bool vertical, RECT& rect);
    virtual bool EndDockedResizing(bool vertical);
    virtual void FillPanelRecord(TSkinDockPanelInfo& info);
    virtual bool CaptionIsVertical();

    // What TBM_QUERYVIEWTYPE answers.
    uint32_t ViewType() const;
    // The panel's length bounds along a multi-dock of the given direction, the frame included; a
    // maximum below the minimum means none and counts as `available`.
    TSkinSplitEntry SplitEntry(bool vertical, int available);

    // The edge-resize and splitter loops, from the hit code and screen point that start them;
    // they follow the mouse under capture and end on release, Escape or the capture's loss.
    void ResizeEdge(int hitCode, POINT origin);
    void DragSplitter(int hitCode, POINT origin);

    SIZE GetDockedNCAreaSize(const TTBDock* dock) override;
    bool AcceptsDock(TTBDock* dock) override;
    POINT ComputeArrangement(bool canMoveControls, TTBDockType dockType, bool floating, TTBDock* dock) override;
    void QueryBaseSize(POINT& size) override;
    void QueryMinMaxSize(int& minClientWidth, int& minClientHeight, int& maxClientWidth, int& maxClientHeight) override;
    void AdjustNewSize(int& newWidth, int& newHeight) override;
    RECT DockedCloseButtonBounds(bool leftRight) override;
    void DrawNCArea(bool useGivenDC, HDC dc, HRGN clipRegion) override;
    void LoadPosition(const TTBPositionData& data) override;
    void StorePosition(const TTBPositionData& data) override;
    void ConstrainedResize(int& width, int& height) override;
    void AdjustClientRect(RECT& rect) override;
    // Floats in the themed floating form, which takes the panel's snap distance.
    TClass QueryFloatingParentClass() override;
    void SetParent(TWinControl* parent) override;

private:
    TSkinMultiDock* MultiDock() const;
    bool DockedLeftRight() const;
    bool DockedTopBottom() const;
    SIZE NCSize();
    // A panel floated for the first time takes its size from the docked state.
    void FillFloatingSize();
    int CaptionHeight() const;
    void SetOwnSize(int width, int height);
    void RecomputeFrame();
    void TakeThemeColor();
    void RefitFloatingFrame();
    LRESULT HitTest(POINT screen);
    bool SetHitCursor(int hitCode);
    int FireResizing(bool vertical, TSkinResizingStage stage, int size, bool& allow);

    int FBorderSize = 0;
    TDPCaptionRotation FCaptionRotation = dpcrAuto;
    int FDockedWidth = 128;
    int FDockedHeight = 128;
    int FFloatingWidth = 0;
    int FFloatingHeight = 0;
    int FMinClientWidth = 32;
    int FMinClientHeight = 32;
    int FMaxClientWidth = 0;
    int FMaxClientHeight = 0;
    bool FSmoothDockedResize = true;
    int FSnapDistance = 0;
    bool FShowCaptionWhenDocked = true;
    int FSplitHeight = 0;
    int FSplitWidth = 0;
    TDockKinds FSupportedDocks = DockKindSet(dkStandardDock) | DockKindSet(dkMultiDock);
    bool FUseThemeColor = true;
    bool FSettingSize = false;
    bool FSettingColor = false;
};
