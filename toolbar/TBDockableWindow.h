// The base of every window that sits on a dock or floats in a small form of its own (toolbars,
// dockable panels): the docked/floating state and the one transaction that switches it, the docked
// frame with its drag handle and close button, closing, the visibility rules of floating windows,
// and the hooks through which subclasses size their contents.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "platform/Forms.h"
#include "toolbar/TBDock.h"
#include "toolbar/TBHook.h"

class TTBFloatingWindowParent;

// Draws an 8 x 8 monochrome pattern (rows top to bottom, bit 7 leftmost) in a colour; the clear
// bits leave the destination as it is.
void DrawMonochromeGlyph(HDC dc, int x, int y, int width, int height, const uint8_t (&rows)[8], COLORREF color);
// Activates the first visible, enabled, non-topmost top-level window of the thread (else the
// first topmost one), never `leaving` and never the application window.
void ActivateFirstThreadWindow(HWND leaving);
// Follows a pressed button under the mouse capture of wnd until the left button is released (true
// when that happens over it); Escape, a lost capture or the owner going (alive) end it early.
// `over` tells whether the cursor is over the button, `showPressed` hears each change.
bool TrackButtonPress(HWND wnd, const std::weak_ptr<int>& alive, const std::function<bool()>& over,
                      const std::function<void(bool)>& showPressed);

enum TTBDockMode : uint8_t { dmCanFloat, dmCannotFloat, dmCannotFloatOrChangeDocks };
enum TTBDragHandleStyle : uint8_t { dhDouble, dhNone, dhSingle };
enum TTBFloatingMode : uint8_t { fmOnTopOfParentForm, fmOnTopOfAllForms };

// Private non-client hit codes: the docked drag-handle area, the close button, the floating caption.
constexpr LRESULT HT_TB2K_DOCKED = 2000;
constexpr LRESULT HT_TB2K_CLOSE = 2001;
constexpr LRESULT HT_TB2K_CAPTION = 2002;

using TTBDockChangingEvent = TEvent<TObject*, bool, TTBDock*>;

// Named values of one window's saved position; the subclass hooks read and write their own.
struct TTBPositionData {
    std::function<int(const std::string& name, int defaultValue)> ReadInt;
    std::function<std::string(const std::string& name, const std::string& defaultValue)> ReadString;
    std::function<void(const std::string& name, int value)> WriteInt;
    std::function<void(const std::string& name, const std::string& value)> WriteString;
};

// What a new window of a class holds for the streamed properties whose start a subclass changes;
// the writer leaves out exactly these values.
struct TTBDockableDefaults {
    bool CloseButtonWhenDocked = false;
    bool DblClickUndock = true;
    bool FullSize = false;
};

class TTBCustomDockableWindow : public TCustomControl {
    SF_CLASS(TTBCustomDockableWindow)
public:
    explicit TTBCustomDockableWindow(TComponent* owner = nullptr);
    ~TTBCustomDockableWindow() override;
    void BeforeDestruction() override;

    // Docking, floating and changing docks all go through here.
    void SetParent(TWinControl* parent) override;
    void SetBounds(int left, int top, int width, int height) override;
    bool HasParent() const override;
    TComponent* GetParentComponent() const override;
    void Dispatch(TMessage& message) override;

    // Sizes the window to its contents for its current state (deferred inside BeginUpdate).
    void Arrange();
    void BeginUpdate();
    void EndUpdate();
    // Asks OnCloseQuery, then hides the window and fires OnClose.
    void Close();
    // Shifts a floating window into the work area of its monitor.
    void FitToScreen(bool onlyIfFullyOffscreen);
    // Floats the window (its floating form created or reused), or puts it back on its parent form.
    void SetFloating(bool value);
    bool GetFloating() const { return FFloating; }
    bool GetDocked() const { return FDocked; }
    // Docked on a dock that allows dragging, or floating.
    bool IsMovable() const;
    // The double-click rule: a docked window floats, a floating one docks again.
    void DoubleClick();
    // The form this window belongs to (the one its floating form stands for while floating).
    TCustomForm* GetOwnerForm() const;
    // Non-client size of the floating form (border on both sides, plus the caption).
    SIZE FloatingNCSize();

    // The interactive loops: moving from a screen point inside the window, and sizing a floating
    // window by an edge (0 left, 1 right, 2 top, 3 top-left, 4 top-right, 5 bottom, 6 bottom-left,
    // 7 bottom-right) from where the button went down, or from the cursor when none is given.
    void BeginMoving(POINT screenStart);
    void BeginSizing(int edge);
    void BeginSizing(int edge, POINT screenStart);

    bool GetActivateParent() const { return FActivateParent; }
    void SetActivateParent(bool value) { FActivateParent = value; }
    bool GetAutoResize() const { return FAutoResize; }
    void SetAutoResize(bool value);
    TFormBorderStyle GetBorderStyle() const { return FBorderStyle; }
    void SetBorderStyle(TFormBorderStyle value);
    const std::wstring& GetCaption() const { return FCaption; }
    void SetCaption(const std::wstring& value);
    bool GetCloseButton() const { return FCloseButton; }
    void SetCloseButton(bool value);
    bool GetCloseButtonWhenDocked() const { return FCloseButtonWhenDocked; }
    void SetCloseButtonWhenDocked(bool value);
    TTBDock* GetCurrentDock() const { return FCurrentDock; }
    void SetCurrentDock(TTBDock* value);
    bool GetDblClickUndock() const { return FDblClickUndock; }
    void SetDblClickUndock(bool value) { FDblClickUndock = value; }
    TTBDock* GetDefaultDock() const { return FDefaultDock; }
    void SetDefaultDock(TTBDock* value);
    TTBDockableTo GetDockableTo() const { return FDockableTo; }
    void SetDockableTo(TTBDockableTo value) { FDockableTo = value; }
    TTBDockMode GetDockMode() const { return FDockMode; }
    void SetDockMode(TTBDockMode value) { FDockMode = value; }
    int GetDockPos() const { return FDockPos; }
    void SetDockPos(int value);
    int GetDockRow() const { return FDockRow; }
    void SetDockRow(int value);
    TTBDragHandleStyle GetDragHandleStyle() const { return FDragHandleStyle; }
    void SetDragHandleStyle(TTBDragHandleStyle value);
    TTBFloatingMode GetFloatingMode() const { return FFloatingMode; }
    void SetFloatingMode(TTBFloatingMode value);
    bool GetFullSize() const { return FFullSize; }
    void SetFullSize(bool value);
    bool GetHideWhenInactive() const { return FHideWhenInactive; }
    void SetHideWhenInactive(bool value);
    TTBDock* GetLastDock() const { return FLastDock; }
    void SetLastDock(TTBDock* value);
    bool GetResizable() const { return FResizable; }
    void SetResizable(bool value);
    bool GetShowCaption() const { return FShowCaption; }
    void SetShowCaption(bool value);
    bool GetSmoothDrag() const { return FSmoothDrag; }
    void SetSmoothDrag(bool value) { FSmoothDrag = value; }
    bool GetStretch() const { return FStretch; }
    void SetStretch(bool value);
    bool GetUseLastDock() const { return FUseLastDock; }
    void SetUseLastDock(bool value);
    POINT GetFloatPoint() const { return FFloatPoint; }
    void SetFloatPoint(POINT value);
    TTBFloatingWindowParent* GetFloatForm() const { return FFloatForm.get(); }

    TNotifyEvent OnClose;
    TCloseQueryEvent OnCloseQuery;
    TNotifyEvent OnDockChanged;
    TTBDockChangingEvent OnDockChanging;
    TTBDockChangingEvent OnDockChangingHidden;
    TNotifyEvent OnMove;
    TNotifyEvent OnRecreated;
    TNotifyEvent OnRecreating;
    TNotifyEvent OnVisibleChanged;

    // ---- Layout and drag state: the dock, the drag loops and subclasses read and write these.
    int PlacedPos = -1;
    int PlacedRow = -1;
    int ShrunkLength = 0;
    int DockedThickness = 0;
    bool NewRowRequested = false;
    int BoundsUpdating = 0;
    bool CaptionInactive = false;
    // Bit 0: the floating form offers corner sizing; bit 1: the cursor stays on the monitor while sizing.
    uint8_t SizeEdgeOptions = 3;
    bool MovingNow = false;
    bool SplitDragging = false;
    bool SplitAllowed = false;
    bool DragInProgress = false;
    bool CloseButtonPressed = false;
    bool CloseButtonHot = false;

    // The dock type of a state.
    static TTBDockType DockTypeOf(bool floating, const TTBDock* dock);
    TTBDockType CurrentDockType() const { return DockTypeOf(FFloating, FCurrentDock); }
    // Length of the docked drag handle, 0 when the dock allows no dragging.
    int DragHandleLength(const TTBDock* dock) const;
    // Size of the window on a dock (or floating, for nullptr with floating set) computed without
    // moving anything: the contents plus the non-client size.
    SIZE SizeForState(TTBDock* dock, bool floating);
    // Shows or hides a floating window by the visibility rules; every floating window of the
    // thread is refreshed on activation changes.
    void RefreshVisibility();
    static void RefreshAllFloating();
    // The window is hidden while it changes parents (counted).
    int HidingCount = 0;

    // ---- What subclasses fill in.
    // Non-client size on a dock (nullptr: not docked, 0 x 0).
    virtual SIZE GetDockedNCAreaSize(const TTBDock* dock);
    virtual bool AcceptsDock(TTBDock* dock);
    // True when a client point lies on contents (child controls, items) rather than on the
    // background that starts a drag.
    virtual bool HitTestContents(POINT clientPoint);
    // The client size the contents need in a state, moving them there when canMoveControls.
    virtual POINT ComputeArrangement(bool canMoveControls, TTBDockType dockType, bool floating, TTBDock* dock) = 0;
    virtual void DrawNCArea(bool useGivenDC, HDC dc, HRGN clipRegion);
    virtual void QueryBaseSize(POINT& size) = 0;
    virtual RECT DockedCloseButtonBounds(bool leftRight);
    virtual void QueryMinShrinkSize(int& minimumSize);
    // Client limits while floating; a maximum of 0 means none.
    virtual void QueryMinMaxSize(int& minClientWidth, int& minClientHeight, int& maxClientWidth, int& maxClientHeight);
    virtual TTBShrinkMode QueryShrinkMode();
    virtual void AdjustNewSize(int& newWidth, int& newHeight);
    virtual SIZE QueryFloatingBorder();
    virtual bool IsChildControlTransparent(TControl* control);
    virtual TClass QueryFloatingParentClass();
    virtual void DoneLoading() {}
    virtual void SizeStart(int edge);
    virtual void SizeMove(RECT& rect, const RECT& startRect);
    virtual void SizeApply() {}
    virtual void SizeEnd() {}
    virtual void LoadPosition(const TTBPositionData& data);
    virtual void StorePosition(const TTBPositionData& data);

protected:
    void CreateParams(TCreateParams& params) override;
    void Loaded() override;
    void Notification(TComponent* component, TOperation operation) override;
    void DefineProperties(TFiler* filer) override;
    void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;

    // The dock type and size applied by Arrange; the floating form follows.
    void ApplyArrangedSize(POINT size);
    // A subclass's constructor gives its own starting values here; the window takes them.
    void SetClassDefaults(const TTBDockableDefaults& defaults);

private:
    friend class TTBFloatingWindowParent;

    TCustomForm* FindOwnerForm() const;
    void SetParentTransaction(TWinControl* parent);
    void ReparentWindow(TWinControl* parent);
    void UpdateFloatingList();
    void PlaceFloatForm();
    void ApplyVisibility(bool show);
    void UpdateCaptionState();
    void UpdateTopmost();
    void RearrangeDock();
    void RecalcNCArea();
    void RedrawNC();
    void InvalidateFloatingCaption();
    void WMNCCalcSize(TMessage& m);
    void WMNCHitTest(TMessage& m);
    void WMNCPaint(TMessage& m);
    void WMSetCursor(TMessage& m);
    void WMNCLButtonDown(TMessage& m);
    void WMNCMouseMove(TMessage& m);
    void TrackDockedCloseButton();
    void ReleaseFloatForm();
    static void HookProc(THookKind kind, HWND wnd, WPARAM wParam, LPARAM lParam);

    bool FActivateParent = true;
    bool FAutoResize = true;
    TFormBorderStyle FBorderStyle = bsSingle;
    std::wstring FCaption;
    bool FCloseButton = true;
    bool FCloseButtonWhenDocked = false;
    TTBDock* FCurrentDock = nullptr;
    bool FDblClickUndock = true;
    TTBDock* FDefaultDock = nullptr;
    TTBDockableTo FDockableTo = AllDockPositions;
    TTBDockMode FDockMode = dmCanFloat;
    int FDockPos = -1;
    int FDockRow = 0;
    TTBDragHandleStyle FDragHandleStyle = dhSingle;
    TTBFloatingMode FFloatingMode = fmOnTopOfParentForm;
    bool FFullSize = false;
    bool FHideWhenInactive = true;
    TTBDock* FLastDock = nullptr;
    bool FResizable = true;
    bool FShowCaption = true;
    bool FSmoothDrag = true;
    bool FStretch = false;
    bool FUseLastDock = true;

    bool FDocked = false;
    bool FFloating = false;
    int FArrangeDisabled = 0;
    bool FArrangeNeeded = false;
    int FMoveNotifyDisabled = 0;
    bool FSavedAtRunTime = false;
    bool FRefreshing = false;
    POINT FFloatPoint{0, 0};
    std::unique_ptr<TTBFloatingWindowParent, TObjectFree> FFloatForm;
    // Names read from a stream, resolved once loading is over.
    std::string FLastDockName;
    std::string FDefaultDockName;
    bool FHookRegistered = false;
    TTBDockableDefaults FClassDefaults;
};
