// The laid-out set of item viewers one window shows (a toolbar's client area, a popup's): it
// listens to its parent item, keeps one viewer per shown item, lays them out in rows or columns
// with wrapping, separators, a chevron and right alignment, paints them, and holds the
// selection and child-popup state of menu tracking.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/Controls.h"
#include "toolbar/TBItem.h"
#include "toolbar/TBItemViewer.h"

class TTBPopupWindow;
class TTBView;
class TTBViewAccObject;

enum class TTBViewAxis : uint8_t { vaHorizontal, vaVertical, vaFloating };

enum TTBViewFlag : uint8_t {
    stModal = 1u << 0,              // the menu loop runs for this view
    stMouseInWindow = 1u << 1,
    stPaintInOrder = 1u << 2,       // the next full paint draws the viewers in list order
    stShiftedPopup = 1u << 3,       // submenus open to the left
    stKeepOnMouseUp = 1u << 4,      // the next release outside every view does not end the loop
    stShowAccels = 1u << 5,
    stDropDownMenus = 1u << 6,      // in a menu bar, moving the selection opens submenus
    stChildPopupClosed = 1u << 7,
};
using TTBViewFlags = uint8_t;

enum TTBViewTrait : uint8_t {
    syMenuBar = 1u << 0,
    syHiddenAccels = 1u << 1,       // accelerator underlines hidden until the keyboard is used
    syAlwaysShowHints = 1u << 2,
};
using TTBViewTraits = uint8_t;

enum class TTBViewTimerKind : uint8_t { vtOpenSubmenu, vtCloseSubmenu, vtScrollUp, vtScrollDown };
// Window timer identifiers of a popup view: this base plus the kind.
constexpr UINT_PTR ViewTimerIdBase = 9000;

// Options of a toolbar's menu loop.
enum TTBToolbarLoopOption : unsigned {
    tblMouseDown = 1u << 0,         // the press that started it goes to the selected viewer first
    tblExecuteSelected = 1u << 1,   // the selection runs at once
    tblNoPriority = 1u << 2,        // ... without moving it to the front of the priority list
};

enum class TTBDoneKind : uint8_t { dkNone, dkCancel, dkClickItem, dkOpenSystemMenu, dkHelpContext };

// What the menu loop does when it ends; kept on the root view.
struct TTBDoneActionData {
    TTBDoneKind DoneAction = TTBDoneKind::dkNone;
    TTBCustomItem* ClickItem = nullptr;   // dkClickItem
    bool ClickedInPopup = false;           // dkClickItem: the "MenuCommand" sound may play
    HWND Wnd = nullptr;                    // dkOpenSystemMenu
    WORD Key = 0;                          // dkOpenSystemMenu
    int ContextID = 0;                     // dkHelpContext
};

// View classes are created with (owner, parent view, parent item, window, toolbar, customizing,
// priority list).
using TTBViewClass =
    const TTBClassRef<TTBView, TComponent*, TTBView*, TTBCustomItem*, TWinControl*, bool, bool, bool>*;
template <class T>
TTBViewClass ViewClassOf()
{
    return TBClassRefOf<TTBView, T, TComponent*, TTBView*, TTBCustomItem*, TWinControl*, bool, bool, bool>();
}

// The result of laying the viewers out.
struct TTBLayoutResult {
    POINT BaseSize{};      // largest right and bottom of what was placed
    POINT TotalSize{};     // the view's size, margins included
    int WrappedLines = 1;
    bool Moved = false;    // a shown viewer's rectangle, shown state or line-break flag changed
};

class TTBView : public TComponent {
    SF_CLASS(TTBView)
public:
    TTBView(TComponent* owner, TTBView* parentView, TTBCustomItem* parentItem, TWinControl* window, bool isToolbar,
            bool customizing, bool usePriorityList);
    ~TTBView() override;
    void AfterConstruction() override;
    void BeforeDestruction() override;

    // The view still exists while its token does: a message dispatched by its menu loop may free
    // the toolbar, and this view with it.
    std::weak_ptr<int> LifeToken() const { return FLifeToken; }

    // ---- Viewers ----
    int GetViewerCount() const { return static_cast<int>(FViewers.size()); }
    TTBItemViewer* GetViewer(int index) const { return FViewers.at(static_cast<size_t>(index)); }
    // The viewer of the item; raises ETBItemError when there is none.
    TTBItemViewer* Find(TTBCustomItem* item) const;
    int IndexOf(const TTBItemViewer* viewer) const;
    // The viewers of the extra items before the parent item's own, and those after them.
    int GetLeadingFixedViewers() const { return FLeadingFixedViewers; }
    int GetTrailingFixedViewers() const { return FTrailingFixedViewers; }
    // Order in which viewers go behind the chevron (last first), while PriorityMode is on.
    const std::vector<TTBItemViewer*>& GetPriorityOrder() const { return FPriorityOrder; }
    bool GetPriorityMode() const { return FPriorityMode; }
    void ChangePriorityMode(bool value);
    bool GetNewViewersFirst() const { return FNewViewersFirst; }
    void SetNewViewersFirst(bool value) { FNewViewersFirst = value; }
    void RebuildAllViewers();
    bool GetCustomizing() const { return FCustomizing; }
    void ChangeCustomizing(bool value);

    // ---- Items and windows ----
    TTBCustomItem* GetParentItem() const { return FParentItem; }
    // The item whose subitems are shown (the parent item's linked item).
    TTBCustomItem* GetActiveParentItem() const { return FActiveParentItem; }
    TWinControl* GetWindow() const { return FWindow; }
    TTBView* GetParentView() const { return FParentView; }
    TTBView* FindRootView();
    TTBView* FindParentToolbarView();
    // The view is this one or below it in the chain of parent views.
    bool Encloses(const TTBView* view) const;
    bool GetIsPopup() const { return FIsPopup; }
    bool GetIsToolbar() const { return FIsToolbar; }
    void SetIsToolbar(bool value);
    // The windowed controls of the shown control items.
    void GetChildControls(std::vector<TWinControl*>& list);

    // ---- Layout ----
    TTBViewAxis GetOrientation() const { return FOrientation; }
    void SetOrientation(TTBViewAxis value);
    int GetWrapLength() const { return FWrapLength; }
    void SetWrapLength(int value);
    // Length along the row before the chevron (0: none), and the chevron's own length.
    int GetChevronGap() const { return FChevronGap; }
    void SetChevronGap(int value);
    int GetChevronExtent() const { return FChevronExtent; }
    void SetChevronExtent(int value);
    TTBView* GetChevronParentView() const { return FChevronParentView; }
    void SetChevronParentView(TTBView* value);
    int GetMaxHeight() const { return FMaxHeight; }
    void SetMaxHeight(int value);
    const RECT& GetMonitorArea() const { return FMonitorArea; }
    void SetMonitorArea(const RECT& value) { FMonitorArea = value; }
    int GetScrollShift() const { return FScrollShift; }
    void SetScrollShift(int value);
    bool GetUpArrowShown() const { return FUpArrowShown; }
    bool GetDownArrowShown() const { return FDownArrowShown; }
    POINT GetBaseSize() const { return FBaseSize; }
    bool GetLayoutValid() const { return FLayoutValid; }
    int GetUpdateCount() const { return FUpdateCount; }
    void BeginUpdate();
    void EndUpdate();
    // Recomputes the positions when they are not valid.
    void EnsureLayout();
    void RefreshLayout(POINT& size);
    // Lays the viewers out for the given parameters; stores the positions in the viewers (and
    // moves hosted controls, and may recreate viewers) only with canMoveControls.
    TTBLayoutResult ComputeLayout(bool canMoveControls, TTBViewAxis orientation, int wrapOffset, int chevronOffset,
                                  int chevronSize);
    // Forgets every measured size (the font or the style changed).
    void ForgetSizes();

    // ---- Painting ----
    TColor GetBackgroundColor() const { return FBackgroundColor; }
    void SetBackgroundColor(TColor value) { FBackgroundColor = value; }
    // Repaints one viewer through its own rectangle, without erasing.
    void Invalidate(TTBItemViewer* viewer);
    void PaintViewers(TCanvas* canvas);
    void ToggleAccelerators(bool show);

    // ---- State ----
    TTBViewFlags GetState() const { return FState; }
    void SetState(TTBViewFlags value) { FState = value; }
    bool InState(TTBViewFlags flag) const { return (FState & flag) != 0; }
    void IncludeState(TTBViewFlags flag) { FState |= flag; }
    void ExcludeState(TTBViewFlags flag) { FState &= static_cast<TTBViewFlags>(~flag); }
    TTBViewTraits GetStyle() const { return FStyle; }
    void SetStyle(TTBViewTraits value) { FStyle = value; }
    bool HasStyle(TTBViewTraits trait) const { return (FStyle & trait) != 0; }
    HWND GetModalWnd() const { return FModalWnd; }
    void SetModalWnd(HWND value) { FModalWnd = value; }
    TTBDoneActionData& GetDoneActionData() { return FDoneActionData; }

    // ---- Selection and menu tracking ----
    TTBItemViewer* GetSelected() const { return FSelected; }
    bool GetSelectedByMouse() const { return FSelectedByMouse; }
    bool GetMouseInSelected() const { return FMouseInSelected; }
    bool GetCapture() const { return FCapture; }
    TTBItemViewer* GetOpenedViewer() const { return FOpenedViewer; }
    TTBView* GetOpenedViewerView() const { return FOpenedViewerView; }
    TTBPopupWindow* GetOpenedViewerWindow() const { return FOpenedViewerWindow; }
    // Called by a popup opened from this view.
    void SetOpenedPopup(TTBItemViewer* viewer, TTBView* view, TTBPopupWindow* window);

    void Select(TTBItemViewer* viewer, bool viaMouse);
    // The next (or previous) viewer that can take the selection, cycling once; nullptr for none.
    TTBItemViewer* StepSelectable(TTBItemViewer* current, bool goForward);
    TTBItemViewer* InitialSelectable();
    TTBItemViewer* HitTestViewer(POINT p);
    bool ShowChildPopup(bool selectFirstItem);
    void HideChildPopups();
    void DismissChildPopups();
    void ArmTimer(TTBViewTimerKind kind, UINT interval);
    void DisarmTimer(TTBViewTimerKind kind);
    void DisarmAllTimers();
    bool TimerRunning(TTBViewTimerKind kind) const;
    void RunSelected(bool givePriority);
    void RaisePriority(TTBItemViewer* viewer);
    void RevealSelected();
    void FinishModal();
    void CloseWithClick(TTBItemViewer* viewer);
    void CloseWithHelp(int contextID);
    void CloseWithSystemMenu(HWND wnd, WORD key);
    bool ModalClosing();
    void SetCapture();
    void DropCapture();
    // The accessibility focus event for the selection.
    void SignalFocus();

    // ---- Menu tracking that lives with the menu loop ----
    // Timer ticks of a popup view's window.
    void TimerTick(TTBViewTimerKind kind);
    // The selection follows the mouse (a screen point, or none).
    void SyncSelection(const POINT* p, bool allowNewSelection);
    // The viewer whose accelerator (or first letter) is the key, searching on from startViewer.
    TTBItemViewer* MatchAccelerator(TTBItemViewer* startViewer, wchar_t key, bool& isOnlyItemWithAccel,
                                    bool acceleratorsOnly);
    // One scroll step of a popup that scrolls.
    void Scroll(bool down);
    // Runs the menu loop for a toolbar (TTBToolbarLoopOption bits), then carries out what it
    // ended with. An exception raised meanwhile reaches the application's handler once the menus
    // are closed.
    void RunToolbarLoop(unsigned options);
    // Ends the loop without a command and hides the chain of popups from here down at once.
    void AbortTracking();

    // ---- Accessibility ----
    // Created on first request; nullptr without accessibility.
    TTBViewAccObject* GetAccObject();
    // Answers WM_GETOBJECT for the view's client area; false when the request is not its own.
    bool HandleWMGetObject(TMessage& message);

    // ---- Virtual operations ----
    virtual void AutoSize(int, int) {}
    virtual void RunLayoutUpdate(POINT& size);
    virtual TTBCustomItem* FindChevronItem() { return nullptr; }
    virtual void QueryMargins(TTBViewAxis orientation, RECT& margins);
    virtual TTBCustomItem* GetExtraItem1() { return nullptr; }
    virtual TTBCustomItem* GetExtraItem2() { return nullptr; }
    virtual void HandleKeyPress(WORD& key, TShiftState shift);
    // The font the viewers draw with.
    virtual TFont* ResolveFont();
    // Forgets the positions and repaints the whole window.
    virtual void MarkLayoutStale();

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    struct TLayoutPos;
    struct TLayoutLine;
    struct TLayoutRun;

    // The phases of ComputeLayout, in the order it runs them.
    void ChooseShownViewers(TLayoutRun& run);
    bool ViewerCanShow(TTBCustomItem* item, bool isControl) const;
    void MeasureShownViewers(TLayoutRun& run, bool canMoveControls);
    void HideBehindChevron(TLayoutRun& run, bool canMoveControls);
    std::vector<int> ChevronDropOrder(int count) const;
    void PlaceAlongRows(TLayoutRun& run);
    bool SeparatorStaysInRow(TLayoutRun& run, int i, int x, bool wrappedSinceBreak) const;
    void MeasurePlacedRows(TLayoutRun& run);
    void FinishLines(TLayoutRun& run);
    void FitAcrossLine(TLayoutPos& p, const TLayoutLine& line, TTBCustomItem* item, int totalAlong) const;
    void SizeView(TLayoutRun& run);
    void ScrollTallPopup(TLayoutRun& run);
    bool StoreLayout(TLayoutRun& run);

    void ItemChanged(TTBCustomItem* sender, bool relayed, TTBItemChangeKind kind, int index, TTBCustomItem* item);
    void ParentItemChanged(TTBCustomItem* sender, bool relayed, TTBItemChangeKind kind, int index,
                           TTBCustomItem* item);
    void LinkParentItem();
    void TryValidatePositions();
    int AddItemViewers(int newIndex, TTBCustomItem* item, int groupLevel, bool listAppend, bool topOfList);
    void InsertedItem(TTBCustomItem* sender, bool relayed, int index, TTBCustomItem* item);
    void DeletingItem(TTBCustomItem* item);
    void FreeViewer(TTBItemViewer* viewer);
    void RecreateViewer(int index);
    void ForgetSizeOf(TTBCustomItem* item);
    void PaintViewer(TCanvas* canvas, HDC dc, TTBItemViewer* viewer, bool offScreen, HRGN sharedClip);
    TTBItemViewer* ViewerAt(int index) const;
    HWND WindowHandle() const;

    TTBViewFlags FState = 0;
    TTBViewTraits FStyle = 0;
    uint8_t FRunningTimers = 0;
    TColor FBackgroundColor = clDefault;
    POINT FBaseSize{};
    bool FCapture = false;
    HWND FModalWnd = nullptr;
    int FChevronGap = 0;
    int FChevronExtent = 0;
    TTBView* FChevronParentView = nullptr;
    TTBCustomItem* FActiveParentItem = nullptr;
    bool FCustomizing = false;
    TTBDoneActionData FDoneActionData;
    int FTrailingFixedViewers = 0;
    int FLeadingFixedViewers = 0;
    int FMaxHeight = 0;
    RECT FMonitorArea{};
    bool FIsPopup = false;
    bool FIsToolbar = false;
    bool FMouseInSelected = false;
    bool FNewViewersFirst = true;
    TTBItemViewer* FOpenedViewer = nullptr;
    TTBView* FOpenedViewerView = nullptr;
    TTBPopupWindow* FOpenedViewerWindow = nullptr;
    TTBView* FParentView = nullptr;
    TTBCustomItem* FParentItem = nullptr;
    std::vector<TTBItemViewer*> FPriorityOrder;
    TTBViewAxis FOrientation = TTBViewAxis::vaHorizontal;
    int FScrollShift = 0;
    TTBItemViewer* FSelected = nullptr;
    bool FSelectedByMouse = false;
    bool FDownArrowShown = false;
    bool FUpArrowShown = false;
    int FUpdateCount = 0;
    bool FPriorityMode = false;
    bool FLayoutValid = false;
    std::vector<TTBItemViewer*> FViewers;
    TWinControl* FWindow = nullptr;
    int FWrapLength = 0;
    TTBViewAccObject* FAccObject = nullptr;
    std::shared_ptr<int> FLifeToken = std::make_shared<int>(0);
};
