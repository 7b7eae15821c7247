#include "toolbar/TBView.h"

#include <algorithm>
#include <optional>

#include "platform/ScopeGuards.h"
#include "toolbar/TBAcc.h"
#include "toolbar/TBCommon.h"
#include "toolbar/TBFramework.h"
#include "toolbar/TBModalHandler.h"
#include "toolbar/TBPopup.h"

SF_IMPLEMENT_ABSTRACT(TTBView, TComponent)

namespace {

// Inline groups nest at most this deep in a view.
constexpr int MaxGroupLevel = 11;
// A separator that breaks a wrapped toolbar takes this much across the row.
constexpr int LineSeparatorSize = 6;
// The strips of a scrolling popup that hold its arrows.
constexpr int ScrollArrowStrip = 19;
// A popup scrolls one step this often while the mouse rests on an arrow.
constexpr UINT ScrollInterval = 100;

uint8_t TimerBit(TTBViewTimerKind kind)
{
    return static_cast<uint8_t>(1u << static_cast<int>(kind));
}

// Gives the canvas all viewers of one paint share back the tools of a new canvas, so nothing one
// viewer (or a handler it calls) changed reaches the next. Tools no viewer changed stay as they are,
// selected in the DC.
void ResetViewerCanvas(TCanvas* canvas, TFont* font)
{
    TPen pen;
    TBrush brush;
    TPen* used = canvas->GetPen();
    if (used->GetColor() != pen.GetColor() || used->GetWidth() != pen.GetWidth() || used->GetStyle() != pen.GetStyle() ||
        used->GetMode() != pen.GetMode())
        used->Assign(&pen);
    TBrush* filled = canvas->GetBrush();
    if (filled->GetColor() != brush.GetColor() || filled->GetStyle() != brush.GetStyle() || filled->GetBitmap())
        filled->Assign(&brush);
    if (font) {
        canvas->GetFont()->Assign(font);
        return;
    }
    TFont plain;
    canvas->GetFont()->Assign(&plain);
}

} // namespace

// The layout of one viewer while it is computed.
struct TTBView::TLayoutPos {
    RECT Bounds{};
    SIZE Size{};
    bool Shown = false;
    bool BehindChevron = false;
    bool LineSep = false;
    bool ScrolledOut = false;
    bool SameWidth = false;
    bool Separator = false;
    bool Control = false;
    bool Arranged = false;  // along the row, not a menu item's line of its own
    int Line = 0;
};

// ---------------------------------------------------------------------------------------------
// Construction

TTBView::TTBView(TComponent* owner, TTBView* parentView, TTBCustomItem* parentItem, TWinControl* window,
                 bool isToolbar, bool customizing, bool usePriorityList)
    : TComponent(owner), FCustomizing(customizing), FIsPopup(!isToolbar), FIsToolbar(isToolbar),
      FParentView(parentView), FParentItem(parentItem), FPriorityMode(usePriorityList), FWindow(window)
{
}

TTBView::~TTBView() = default;

void TTBView::AfterConstruction()
{
    TComponent::AfterConstruction();
    FParentItem->SubscribeChanges(TTBItemChangedProc(this, &TTBView::ParentItemChanged));
    FParentItem->FreeNotification(this);
    LinkParentItem();
}

void TTBView::BeforeDestruction()
{
    HideChildPopups();
    DisarmAllTimers();
    if (FAccObject) {
        FAccObject->DetachClient();
        FAccObject->Release();
        FAccObject = nullptr;
    }
    if (FParentView && FParentView->FIsToolbar) {
        FParentView->IncludeState(stChildPopupClosed);
        if (FParentView->FOpenedViewer)
            FParentView->FOpenedViewer->Invalidate();
    }
    if (FParentItem)
        FParentItem->UnsubscribeChanges(TTBItemChangedProc(this, &TTBView::ParentItemChanged));
    if (FActiveParentItem)
        FActiveParentItem->UnsubscribeChanges(TTBItemChangedProc(this, &TTBView::ItemChanged));
    FSelected = nullptr;
    FPriorityOrder.clear();
    std::vector<TTBItemViewer*> viewers;
    viewers.swap(FViewers);
    for (auto it = viewers.rbegin(); it != viewers.rend(); ++it)
        (*it)->Free();
    TComponent::BeforeDestruction();
    if (FParentView)
        FParentView->SignalFocus();
}

void TTBView::Notification(TComponent* component, TOperation operation)
{
    TComponent::Notification(component, operation);
    if (operation != TOperation::opRemove)
        return;
    if (component == FChevronParentView)
        FChevronParentView = nullptr;
    if (component == FOpenedViewerWindow) {
        FOpenedViewer = nullptr;
        FOpenedViewerView = nullptr;
        FOpenedViewerWindow = nullptr;
    }
    if (component == FActiveParentItem && component != FParentItem) {
        // The linked item goes: the parent item's own subitems are shown again once it unlinks.
        FActiveParentItem->UnsubscribeChanges(TTBItemChangedProc(this, &TTBView::ItemChanged));
        FActiveParentItem = nullptr;
    }
    if (component == FParentItem) {
        if (FActiveParentItem)
            FActiveParentItem->UnsubscribeChanges(TTBItemChangedProc(this, &TTBView::ItemChanged));
        FParentItem->UnsubscribeChanges(TTBItemChangedProc(this, &TTBView::ParentItemChanged));
        FParentItem = nullptr;
        FActiveParentItem = nullptr;
    }
}

TTBView* TTBView::FindRootView()
{
    TTBView* view = this;
    while (view->FParentView)
        view = view->FParentView;
    return view;
}

TTBView* TTBView::FindParentToolbarView()
{
    for (TTBView* view = this; view; view = view->FParentView)
        if (view->FIsToolbar)
            return view;
    return nullptr;
}

bool TTBView::Encloses(const TTBView* view) const
{
    for (; view; view = view->FParentView)
        if (view == this)
            return true;
    return false;
}

void TTBView::SetIsToolbar(bool value)
{
    if (value == FIsToolbar)
        return;
    FIsToolbar = value;
    ForgetSizes();
    MarkLayoutStale();
}

void TTBView::GetChildControls(std::vector<TWinControl*>& list)
{
    for (TTBItemViewer* viewer : FViewers)
        if (viewer->GetShown())
            if (auto* item = dynamic_cast<TTBControlItem*>(viewer->GetItem()))
                if (auto* control = dynamic_cast<TWinControl*>(item->GetControl()))
                    list.push_back(control);
}

HWND TTBView::WindowHandle() const
{
    return FWindow && FWindow->HandleAllocated() ? FWindow->GetHandle() : nullptr;
}

// ---------------------------------------------------------------------------------------------
// Viewers

TTBItemViewer* TTBView::Find(TTBCustomItem* item) const
{
    for (TTBItemViewer* viewer : FViewers)
        if (viewer->GetItem() == item)
            return viewer;
    throw ETBItemError("An item viewer associated the specified item could not be found");
}

int TTBView::IndexOf(const TTBItemViewer* viewer) const
{
    if (!viewer)
        return -1;
    auto it = std::find(FViewers.begin(), FViewers.end(), viewer);
    return it == FViewers.end() ? -1 : static_cast<int>(it - FViewers.begin());
}

TTBItemViewer* TTBView::ViewerAt(int index) const
{
    return index >= 0 && index < GetViewerCount() ? FViewers[static_cast<size_t>(index)] : nullptr;
}

void TTBView::LinkParentItem()
{
    TTBCustomItem* active = FParentItem->GetLinkedItem();
    if (active == FActiveParentItem)
        return;
    HideChildPopups();
    if (FActiveParentItem)
        FActiveParentItem->UnsubscribeChanges(TTBItemChangedProc(this, &TTBView::ItemChanged));
    FActiveParentItem = active;
    active->SubscribeChanges(TTBItemChangedProc(this, &TTBView::ItemChanged));
    active->FreeNotification(this);
    RebuildAllViewers();
    if (!active->HasState(csDesigning)) {
        std::vector<TTBItemViewer*> viewers = FViewers;
        for (TTBItemViewer* viewer : viewers)
            viewer->GetItem()->InitiateAction();
    }
}

void TTBView::FreeViewer(TTBItemViewer* viewer)
{
    FPriorityOrder.erase(std::remove(FPriorityOrder.begin(), FPriorityOrder.end(), viewer), FPriorityOrder.end());
    if (viewer == FSelected)
        Select(nullptr, false);
    if (viewer == FOpenedViewer)
        HideChildPopups();
    viewer->Free();
}

void TTBView::RebuildAllViewers()
{
    HideChildPopups();
    Select(nullptr, false);
    FLayoutValid = false;
    FPriorityOrder.clear();
    std::vector<TTBItemViewer*> viewers;
    viewers.swap(FViewers);
    for (auto it = viewers.rbegin(); it != viewers.rend(); ++it)
        (*it)->Free();
    FLeadingFixedViewers = 0;
    FTrailingFixedViewers = 0;
    if (!FActiveParentItem)
        return;
    if (TTBCustomItem* extra = GetExtraItem2())
        FLeadingFixedViewers = AddItemViewers(0, extra, 0, false, false);
    for (int i = 0; i < FActiveParentItem->Count(); ++i)
        AddItemViewers(GetViewerCount(), FActiveParentItem->GetItem(i), 0, true, false);
    if (TTBCustomItem* extra = GetExtraItem1())
        for (int i = 0; i < extra->Count(); ++i)
            FTrailingFixedViewers += AddItemViewers(GetViewerCount(), extra->GetItem(i), 0, false, false);
    if (TTBCustomItem* chevron = FindChevronItem())
        FTrailingFixedViewers += AddItemViewers(GetViewerCount(), chevron, 0, false, false);
}

int TTBView::AddItemViewers(int newIndex, TTBCustomItem* item, int groupLevel, bool listAppend, bool topOfList)
{
    if (groupLevel >= MaxGroupLevel)
        return 0;
    TTBItemViewer* viewer = item->QueryViewerClass(this)->Create(this, item, groupLevel);
    FViewers.insert(FViewers.begin() + newIndex, viewer);
    if (listAppend && FPriorityMode) {
        if (topOfList)
            FPriorityOrder.insert(FPriorityOrder.begin(), viewer);
        else
            FPriorityOrder.push_back(viewer);
    }
    int count = 1;
    if (!FCustomizing && item->HasTrait(isInlineGroup)) {
        TTBCustomItem* linked = item->GetLinkedItem();
        for (int i = 0; i < linked->Count(); ++i)
            count += AddItemViewers(newIndex + count, linked->GetItem(i), groupLevel + 1, listAppend, topOfList);
    }
    return count;
}

void TTBView::InsertedItem(TTBCustomItem* sender, bool relayed, int index, TTBCustomItem* item)
{
    bool topOfList = !item->HasState(csLoading) && FNewViewersFirst;
    if (!relayed) {
        int position = GetViewerCount() - FTrailingFixedViewers;
        if (index + 1 < FActiveParentItem->Count()) {
            TTBCustomItem* next = FActiveParentItem->GetItem(index + 1);
            for (int i = FLeadingFixedViewers; i < GetViewerCount(); ++i)
                if (FViewers[static_cast<size_t>(i)]->GetItem() == next &&
                    FViewers[static_cast<size_t>(i)]->GetGroupLevel() == 0) {
                    position = i;
                    break;
                }
        }
        AddItemViewers(position, item, 0, true, topOfList);
        return;
    }
    // Inserted into an inline group shown here: its viewers go among the group's.
    int group = -1;
    for (int i = 0; i < GetViewerCount() && group < 0; ++i)
        if (FViewers[static_cast<size_t>(i)]->GetItem() == sender)
            group = i;
    if (group < 0)
        return;
    int level = FViewers[static_cast<size_t>(group)]->GetGroupLevel() + 1;
    TTBCustomItem* linked = sender->GetLinkedItem();
    TTBCustomItem* next = index + 1 < linked->Count() ? linked->GetItem(index + 1) : nullptr;
    int position = group + 1;
    while (position < GetViewerCount()) {
        TTBItemViewer* viewer = FViewers[static_cast<size_t>(position)];
        if (viewer->GetGroupLevel() < level)
            break;
        if (next && viewer->GetItem() == next && viewer->GetGroupLevel() == level)
            break;
        ++position;
    }
    AddItemViewers(position, item, level, true, topOfList);
}

void TTBView::DeletingItem(TTBCustomItem* item)
{
    int index = -1;
    for (int i = 0; i < GetViewerCount() && index < 0; ++i)
        if (FViewers[static_cast<size_t>(i)]->GetItem() == item)
            index = i;
    if (index < 0)
        return;
    // The item's viewer and those of the subitems of its inline group.
    int level = FViewers[static_cast<size_t>(index)]->GetGroupLevel();
    int end = index + 1;
    while (end < GetViewerCount() && FViewers[static_cast<size_t>(end)]->GetGroupLevel() > level)
        ++end;
    std::vector<TTBItemViewer*> gone(FViewers.begin() + index, FViewers.begin() + end);
    for (TTBItemViewer* viewer : gone) {
        FPriorityOrder.erase(std::remove(FPriorityOrder.begin(), FPriorityOrder.end(), viewer),
                             FPriorityOrder.end());
        if (viewer == FSelected)
            Select(nullptr, false);
        if (viewer == FOpenedViewer)
            HideChildPopups();
    }
    for (TTBItemViewer* viewer : gone) {
        auto it = std::find(FViewers.begin(), FViewers.end(), viewer);
        if (it != FViewers.end())
            FViewers.erase(it);
        viewer->Free();
    }
    FLayoutValid = false;
}

void TTBView::RecreateViewer(int index)
{
    TTBItemViewer* old = FViewers[static_cast<size_t>(index)];
    TTBItemViewer* viewer = old->GetItem()->QueryViewerClass(this)->Create(this, old->GetItem(), old->GetGroupLevel());
    FViewers[static_cast<size_t>(index)] = viewer;
    std::replace(FPriorityOrder.begin(), FPriorityOrder.end(), old, viewer);
    // Nothing may go on pointing at the viewer that goes.
    if (FSelected == old)
        FSelected = viewer;
    if (FOpenedViewer == old)
        FOpenedViewer = viewer;
    old->Free();
}

void TTBView::ForgetSizeOf(TTBCustomItem* item)
{
    for (TTBItemViewer* viewer : FViewers)
        if (!item || viewer->GetItem() == item)
            viewer->ForgetSize();
}

void TTBView::ForgetSizes()
{
    ForgetSizeOf(nullptr);
}

void TTBView::ChangeCustomizing(bool value)
{
    if (value == FCustomizing)
        return;
    FCustomizing = value;
    RebuildAllViewers();
}

void TTBView::ChangePriorityMode(bool value)
{
    if (value == FPriorityMode)
        return;
    FPriorityMode = value;
    RebuildAllViewers();
}

// ---------------------------------------------------------------------------------------------
// Item notifications

void TTBView::ParentItemChanged(TTBCustomItem*, bool relayed, TTBItemChangeKind kind, int, TTBCustomItem*)
{
    if (kind == TTBItemChangeKind::ickSubitemsReplaced && !relayed)
        LinkParentItem();
}

void TTBView::ItemChanged(TTBCustomItem* sender, bool relayed, TTBItemChangeKind kind, int index, TTBCustomItem* item)
{
    switch (kind) {
    case TTBItemChangeKind::ickInserted:
        InsertedItem(sender, relayed, index, item);
        // The new viewers need places: a view already laid out is laid out again.
        MarkLayoutStale();
        break;
    case TTBItemChangeKind::ickDeleting:
        DeletingItem(item);
        break;
    case TTBItemChangeKind::ickSubitemsReplaced:
        if (!relayed)
            return;
        RebuildAllViewers();
        break;
    case TTBItemChangeKind::ickBeginUpdate:
        BeginUpdate();
        break;
    case TTBItemChangeKind::ickEndUpdate:
        EndUpdate();
        break;
    case TTBItemChangeKind::ickRepaint:
        for (TTBItemViewer* viewer : FViewers)
            if (viewer->GetItem() == item)
                viewer->Invalidate();
        break;
    case TTBItemChangeKind::ickRelayout:
        ForgetSizeOf(item);
        MarkLayoutStale();
        break;
    case TTBItemChangeKind::ickRebuildViewers:
        MarkLayoutStale();
        for (int i = 0; i < GetViewerCount(); ++i)
            if (FViewers[static_cast<size_t>(i)]->GetItem() == item)
                RecreateViewer(i);
        break;
    case TTBItemChangeKind::ickSubmenuImages:
        ForgetSizes();
        MarkLayoutStale();
        break;
    case TTBItemChangeKind::ickRenamed:
        return;
    }
    TryValidatePositions();
}

void TTBView::TryValidatePositions()
{
    if (FUpdateCount > 0 || !FParentItem || !FActiveParentItem)
        return;
    if (FParentItem->HasState(csLoading) || FActiveParentItem->HasState(csLoading))
        return;
    EnsureLayout();
}

void TTBView::BeginUpdate()
{
    ++FUpdateCount;
}

void TTBView::EndUpdate()
{
    if (FUpdateCount > 0 && --FUpdateCount == 0)
        TryValidatePositions();
}

// ---------------------------------------------------------------------------------------------
// Layout

void TTBView::SetOrientation(TTBViewAxis value)
{
    if (value == FOrientation)
        return;
    FOrientation = value;
    // Captions turn with the orientation.
    ForgetSizes();
    MarkLayoutStale();
}

void TTBView::SetWrapLength(int value)
{
    if (value == FWrapLength)
        return;
    FWrapLength = value;
    MarkLayoutStale();
}

void TTBView::SetChevronGap(int value)
{
    if (value == FChevronGap)
        return;
    FChevronGap = value;
    MarkLayoutStale();
}

void TTBView::SetChevronExtent(int value)
{
    if (value == FChevronExtent)
        return;
    FChevronExtent = value;
    MarkLayoutStale();
}

void TTBView::SetChevronParentView(TTBView* value)
{
    FChevronParentView = value;
    if (value)
        value->FreeNotification(this);
    MarkLayoutStale();
}

void TTBView::SetMaxHeight(int value)
{
    if (value == FMaxHeight)
        return;
    FMaxHeight = value;
    MarkLayoutStale();
}

void TTBView::SetScrollShift(int value)
{
    if (value == FScrollShift)
        return;
    FScrollShift = value;
    MarkLayoutStale();
}

void TTBView::QueryMargins(TTBViewAxis orientation, RECT& margins)
{
    margins = orientation == TTBViewAxis::vaFloating ? RECT{4, 2, 4, 1} : RECT{0, 0, 0, 0};
}

TFont* TTBView::ResolveFont()
{
    if (TFont* font = TBMenuFont())
        return font;
    return FWindow ? FWindow->GetFont() : nullptr;
}

void TTBView::MarkLayoutStale()
{
    if (!FLayoutValid)
        return;
    FLayoutValid = false;
    if (HWND wnd = WindowHandle())
        InvalidateRect(wnd, nullptr, TRUE);
}

void TTBView::EnsureLayout()
{
    if (FLayoutValid)
        return;
    POINT size{};
    RefreshLayout(size);
}

void TTBView::RefreshLayout(POINT& size)
{
    size = POINT{0, 0};
    RunLayoutUpdate(size);
}

void TTBView::RunLayoutUpdate(POINT& size)
{
    TTBLayoutResult layout = ComputeLayout(true, FOrientation, FWrapLength, FChevronGap, FChevronExtent);
    FBaseSize = layout.BaseSize;
    size.x = std::max(size.x, layout.TotalSize.x);
    size.y = std::max(size.y, layout.TotalSize.y);
    FLayoutValid = true;
    HWND wnd = WindowHandle();
    if (!layout.Moved || !wnd) {
        AutoSize(size.x, size.y);
        return;
    }
    if (FWindow->HasState(csDesigning)) {
        MarkLayoutStale();
        FLayoutValid = true;
        AutoSize(size.x, size.y);
        return;
    }
    ValidateRect(wnd, nullptr);
    AutoSize(size.x, size.y);
    RECT client{};
    GetClientRect(wnd, &client);
    if (!IsWindowVisible(wnd) || client.right <= 0 || client.bottom <= 0)
        return;
    // The changed layout is painted off screen and copied in one step, without flicker.
    {
        TWindowDC windowDC(wnd);
        TMemoryDC memDC(windowDC.Get());
        TGdiObject<HBITMAP> bitmap(CreateCompatibleBitmap(windowDC.Get(), client.right, client.bottom));
        TSelectGuard select(memDC.Get(), bitmap.Get());
        SendMessageA(wnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(memDC.Get()), 0);
        SendMessageA(wnd, WM_PAINT, reinterpret_cast<WPARAM>(memDC.Get()), 0);
        BitBlt(windowDC.Get(), 0, 0, client.right, client.bottom, memDC.Get(), 0, 0, SRCCOPY);
    }
    ValidateRect(wnd, nullptr);
}

// The layout of every viewer while one layout runs, and what its phases hand on to the next.
// One line of a layout in row coordinates: where it starts across the row, and its largest size
// across it.
struct TTBView::TLayoutLine {
    int Y = 0;
    int Cross = 0;
};

struct TTBView::TLayoutRun {
    std::vector<TLayoutPos> Pos;
    int Count = 0;
    int Chevron = -1;  // the chevron's viewer, -1 when there is none
    TTBViewAxis Orientation = TTBViewAxis::vaHorizontal;
    bool Vertical = false;
    int WrapOffset = 0;
    int ChevronOffset = 0;
    int ChevronSize = 0;
    bool ChevronShown = false;
    int CrossSize = 0;  // the largest size across the row of a shown viewer
    // Placing, in row coordinates: x along the row, y across it.
    std::vector<TLayoutLine> Lines;
    int LineBreaks = 0;  // separators that became line breaks
    int StartX = 0, StartY = 0, EndX = 0, EndY = 0;
    int BaseX = 0, BaseY = 0;
    int TotalAlong = 0;
    bool Wrapped = false;
    POINT TotalSize{};
    POINT BaseSize{};

    TLayoutPos& At(int i) { return Pos[static_cast<size_t>(i)]; }
    int Along(int i) const
    {
        const SIZE& s = Pos[static_cast<size_t>(i)].Size;
        return static_cast<int>(Vertical ? s.cy : s.cx);
    }
    int Across(int i) const
    {
        const SIZE& s = Pos[static_cast<size_t>(i)].Size;
        return static_cast<int>(Vertical ? s.cx : s.cy);
    }
    bool ShownInRow(int i) const { return i != Chevron && Pos[static_cast<size_t>(i)].Shown; }
    // The viewers laid out along the rows, in order.
    template <class F>
    void EachShown(F f)
    {
        for (int i = 0; i < Count; ++i)
            if (ShownInRow(i))
                f(i);
    }
    void HideTrailingSeparators()
    {
        for (int i = Count - 1; i >= 0; --i) {
            if (!ShownInRow(i))
                continue;
            if (!At(i).Separator)
                break;
            At(i).Shown = false;
        }
    }
};

TTBLayoutResult TTBView::ComputeLayout(bool canMoveControls, TTBViewAxis orientation, int wrapOffset,
                                       int chevronOffset, int chevronSize)
{
    TLayoutRun run;
    run.Count = GetViewerCount();
    run.Pos.resize(static_cast<size_t>(run.Count));
    TTBCustomItem* chevronItem = FindChevronItem();
    if (run.Count > 0 && chevronItem && FViewers.back()->GetItem() == chevronItem)
        run.Chevron = run.Count - 1;
    run.Orientation = orientation;
    run.Vertical = orientation == TTBViewAxis::vaVertical;
    run.WrapOffset = wrapOffset;
    run.ChevronOffset = chevronOffset;
    run.ChevronSize = chevronSize;

    ChooseShownViewers(run);
    run.HideTrailingSeparators();
    MeasureShownViewers(run, canMoveControls);
    HideBehindChevron(run, canMoveControls);
    run.HideTrailingSeparators();
    PlaceAlongRows(run);
    MeasurePlacedRows(run);
    FinishLines(run);
    SizeView(run);
    if (canMoveControls)
        ScrollTallPopup(run);

    TTBLayoutResult result;
    result.Moved = canMoveControls && StoreLayout(run);
    result.BaseSize = run.BaseSize;
    result.TotalSize = run.TotalSize;
    result.WrappedLines = static_cast<int>(run.Lines.size()) - run.LineBreaks;
    return result;
}

// What is shown. Viewers inside an invisible inline group are hidden with it; the chevron's viewer
// is decided last.
void TTBView::ChooseShownViewers(TLayoutRun& run)
{
    int hideDeeperThan = MaxGroupLevel;
    bool anyShown = false, lastShownSep = false;
    for (int i = 0; i < run.Count; ++i) {
        TTBItemViewer* v = FViewers[static_cast<size_t>(i)];
        TTBCustomItem* item = v->GetItem();
        TLayoutPos& p = run.At(i);
        v->FLayoutIndex = i;
        p.Separator = item->HasTrait(isSeparator);
        p.Control = Is<TTBControlItem>(item);
        p.Arranged = FIsToolbar || (item->GetEffectiveOptions() & tboToolbarSize);
        if (i == run.Chevron)
            continue;
        int level = v->GetGroupLevel();
        if (level <= hideDeeperThan)
            hideDeeperThan = MaxGroupLevel;
        bool candidate = level <= hideDeeperThan;
        if (candidate && item->HasTrait(isInlineGroup) && !item->GetVisible())
            hideDeeperThan = level;
        if (candidate && FChevronParentView) {
            int parentIndex = i - FLeadingFixedViewers + FChevronParentView->FLeadingFixedViewers;
            TTBItemViewer* match = FChevronParentView->ViewerAt(parentIndex);
            candidate = p.Separator || (match && match->GetBehindChevron());
        }
        bool shown = candidate && ViewerCanShow(item, p.Control);
        if (shown && p.Separator && (!anyShown || lastShownSep))
            shown = false;
        if (shown) {
            anyShown = true;
            lastShownSep = p.Separator;
        }
        p.Shown = shown;
    }
}

bool TTBView::ViewerCanShow(TTBCustomItem* item, bool isControl) const
{
    if (!isControl)
        return item->GetVisible() && (FCustomizing || !item->HasTrait(isInlineGroup));
    TControl* control = static_cast<TTBControlItem*>(item)->GetControl();
    return control && FWindow && control->GetParent() == FWindow &&
           (control->GetVisible() || control->HasState(csDesigning));
}

// Measures what is not measured yet; buttons that share their width take the widest one's.
void TTBView::MeasureShownViewers(TLayoutRun& run, bool canMoveControls)
{
    int sameWidth = 0;
    TFont* font = nullptr;
    TCanvas* canvas = nullptr;
    bool canvasBold = false;
    auto measureCanvas = [&](bool bold) {
        if (!canvas || bold != canvasBold) {
            if (!canvas)
                font = ResolveFont();
            canvas = TBMeasureCanvas(font, bold);
            canvasBold = bold;
        }
        return canvas;
    };
    for (int i = 0; i < run.Count; ++i) {
        TLayoutPos& p = run.At(i);
        if (!run.ShownInRow(i))
            continue;
        TTBItemViewer* v = FViewers[static_cast<size_t>(i)];
        TTBCustomItem* item = v->GetItem();
        if (p.Control) {
            TControl* control = static_cast<TTBControlItem*>(item)->GetControl();
            p.Size = SIZE{control->GetWidth(), control->GetHeight()};
            continue;
        }
        bool bold = (item->GetEffectiveOptions() & tboDefault) != 0;
        if (!item->ViewerNeedsRebuild(this, v)) {
            p.Size = v->SizeKnown() ? v->KnownSize() : v->CachedSize(measureCanvas(bold));
        } else if (canMoveControls) {
            RecreateViewer(i);
            v = FViewers[static_cast<size_t>(i)];
            v->FLayoutIndex = i;
            p.Size = v->CachedSize(measureCanvas(bold));
        } else {
            std::unique_ptr<TTBItemViewer, TObjectFree> temporary(
                item->QueryViewerClass(this)->Create(this, item, v->GetGroupLevel()));
            int w = 0, h = 0;
            temporary->MeasureSize(measureCanvas(bold), w, h);
            p.Size = SIZE{w, h};
        }
        if (v->SharesButtonWidth()) {
            p.SameWidth = true;
            sameWidth = std::max(sameWidth, static_cast<int>(p.Size.cx));
        }
    }
    if (sameWidth > 0)
        for (TLayoutPos& p : run.Pos)
            if (p.SameWidth)
                p.Size.cx = sameWidth;
}

// Items go behind the chevron, last priority first, while the row does not fit. The shown viewers
// are kept in a chain, so each step costs the same however many there are.
void TTBView::HideBehindChevron(TLayoutRun& run, bool canMoveControls)
{
    int total = 0;
    run.EachShown([&](int i) { total += run.Along(i); });
    if (run.Chevron < 0 || run.ChevronOffset <= 0 || total <= run.ChevronOffset)
        return;
    run.ChevronShown = true;
    const int available = run.ChevronOffset - run.ChevronSize;
    std::vector<int> prev(static_cast<size_t>(run.Count), -1), next(static_cast<size_t>(run.Count), -1);
    int tail = -1, nonSeparators = 0;
    run.EachShown([&](int i) {
        prev[static_cast<size_t>(i)] = tail;
        if (tail >= 0)
            next[static_cast<size_t>(tail)] = i;
        tail = i;
        if (!run.At(i).Separator)
            ++nonSeparators;
    });
    auto hide = [&](int i) {
        int p = prev[static_cast<size_t>(i)], n = next[static_cast<size_t>(i)];
        if (p >= 0)
            next[static_cast<size_t>(p)] = n;
        if (n >= 0)
            prev[static_cast<size_t>(n)] = p;
        else
            tail = p;
        run.At(i).Shown = false;
        total -= run.Along(i);
        if (!run.At(i).Separator)
            --nonSeparators;
    };
    const std::vector<int> dropOrder = ChevronDropOrder(run.Count);
    int cursor = static_cast<int>(dropOrder.size()) - 1;
    while (total > available && nonSeparators >= 2) {
        if (run.At(tail).Separator) {
            hide(tail);
            continue;
        }
        while (cursor >= 0 && !(run.ShownInRow(dropOrder[static_cast<size_t>(cursor)]) &&
                                 !run.At(dropOrder[static_cast<size_t>(cursor)]).Separator))
            --cursor;
        if (cursor < 0)
            break;
        int victim = dropOrder[static_cast<size_t>(cursor--)];
        int before = prev[static_cast<size_t>(victim)], after = next[static_cast<size_t>(victim)];
        hide(victim);
        run.At(victim).BehindChevron = true;
        // A separator the drop leaves leading or doubled goes too.
        if (after >= 0 && run.At(after).Separator && (before < 0 || run.At(before).Separator))
            hide(after);
    }
    if (canMoveControls) {
        bool anyItem = false;
        for (const TLayoutPos& p : run.Pos)
            anyItem = anyItem || (p.BehindChevron && !p.Control);
        FindChevronItem()->SetEnabled(anyItem);
    }
}

// The viewers' indexes in the order they go behind the chevron, the first to go last.
std::vector<int> TTBView::ChevronDropOrder(int count) const
{
    std::vector<int> order;
    if (FPriorityMode) {
        for (TTBItemViewer* v : FPriorityOrder)
            order.push_back(v->FLayoutIndex);
        return order;
    }
    for (int i = 0; i < count; ++i)
        order.push_back(i);
    return order;
}

// Places the shown viewers one after another along the rows, wrapping at the wrap length; a menu
// item fills a line of its own.
void TTBView::PlaceAlongRows(TLayoutRun& run)
{
    run.EachShown([&](int i) { run.CrossSize = std::max(run.CrossSize, run.Across(i)); });
    RECT margins{};
    QueryMargins(run.Orientation, margins);
    run.StartX = run.Vertical ? margins.top : margins.left;
    run.StartY = run.Vertical ? margins.left : margins.top;
    run.EndX = run.Vertical ? margins.bottom : margins.right;
    run.EndY = run.Vertical ? margins.right : margins.bottom;
    run.Lines.assign(1, TLayoutLine{run.StartY, 0});
    int x = run.StartX;
    bool wrappedSinceBreak = false;
    auto newLine = [&] {
        run.Lines.push_back(TLayoutLine{run.Lines.back().Y + run.Lines.back().Cross, 0});
        x = run.StartX;
    };
    auto place = [&](int i, int left, int cross) {
        TLayoutPos& p = run.At(i);
        p.Bounds = RECT{left, run.Lines.back().Y, left + run.Along(i), run.Lines.back().Y + cross};
        p.Line = static_cast<int>(run.Lines.size()) - 1;
        run.Lines.back().Cross = std::max(run.Lines.back().Cross, cross);
    };
    const bool wrapping = FIsToolbar && run.WrapOffset > 0;
    run.EachShown([&](int i) {
        TLayoutPos& p = run.At(i);
        const int a = run.Along(i);
        if (!p.Arranged) {
            if (x > run.StartX)
                newLine();
            place(i, x, run.Across(i));
            newLine();
            return;
        }
        if (wrapping && x > run.StartX && !p.Separator && x + a > run.WrapOffset) {
            newLine();
            wrappedSinceBreak = true;
        } else if (wrapping && x > run.StartX && p.Separator && !SeparatorStaysInRow(run, i, x, wrappedSinceBreak)) {
            // The separator becomes a line break of its own.
            newLine();
            place(i, run.StartX, LineSeparatorSize);
            p.LineSep = true;
            ++run.LineBreaks;
            newLine();
            wrappedSinceBreak = false;
            return;
        }
        place(i, x, run.Across(i));
        x += a;
    });
    if (run.Lines.size() > 1 && run.Lines.back().Cross == 0 && x == run.StartX)
        run.Lines.pop_back();
}

// A separator stays in the row when it and the items up to the next separator still fit, and no
// item has wrapped since the last line break unless the separator is told not to break.
bool TTBView::SeparatorStaysInRow(TLayoutRun& run, int i, int x, bool wrappedSinceBreak) const
{
    int group = run.Along(i);
    for (int j = i + 1; j < run.Count; ++j) {
        if (!run.ShownInRow(j))
            continue;
        if (run.At(j).Separator || !run.At(j).Arranged)
            break;
        group += run.Along(j);
    }
    return (!wrappedSinceBreak || FViewers[static_cast<size_t>(i)]->GetItem()->HasTrait(isNoWrapBreak)) &&
           x + group <= run.WrapOffset && x + run.Along(i) <= run.WrapOffset;
}

// The extent of what was placed; the margins count even when nothing is.
void TTBView::MeasurePlacedRows(TLayoutRun& run)
{
    run.BaseX = run.StartX;
    run.BaseY = run.StartY;
    run.EachShown([&](int i) {
        RECT& r = run.At(i).Bounds;
        if (r.left < 0)
            OffsetRect(&r, -r.left, 0);
        if (r.top < 0)
            OffsetRect(&r, 0, -r.top);
        if (!run.At(i).LineSep)
            run.BaseX = std::max(run.BaseX, static_cast<int>(r.right));
        run.BaseY = std::max(run.BaseY, static_cast<int>(r.bottom));
    });
    run.BaseY = std::max(run.BaseY, run.Lines.back().Y + run.Lines.back().Cross);
    run.Wrapped = FIsToolbar && run.WrapOffset > 0 && run.Lines.size() > 1;
    run.TotalAlong = run.BaseX;
    if (run.Wrapped && !FChevronParentView)
        run.TotalAlong = std::max(run.TotalAlong, run.WrapOffset);
}

// Finishes each line: centres across it, fills menu items, moves right-flush items to its end, and
// stretches line separators over the view's full length.
void TTBView::FinishLines(TLayoutRun& run)
{
    int flushFrom = -1, lastOnLine = -1, currentLine = -1;
    auto flushLine = [&] {
        if (flushFrom < 0)
            return;
        int gap = std::min(run.WrapOffset, run.TotalAlong) - static_cast<int>(run.At(lastOnLine).Bounds.right);
        if (gap > 0)
            for (int i = flushFrom; i <= lastOnLine; ++i)
                if (run.ShownInRow(i) && !run.At(i).LineSep && run.At(i).Line == currentLine)
                    OffsetRect(&run.At(i).Bounds, gap, 0);
    };
    run.EachShown([&](int i) {
        TLayoutPos& p = run.At(i);
        if (p.LineSep)
            return;
        TTBCustomItem* item = FViewers[static_cast<size_t>(i)]->GetItem();
        FitAcrossLine(p, run.Lines[static_cast<size_t>(p.Line)], item, run.TotalAlong);
        if (p.Line != currentLine) {
            flushLine();
            currentLine = p.Line;
            flushFrom = -1;
        }
        if (flushFrom < 0 && item->HasTrait(isRightFlush))
            flushFrom = i;
        lastOnLine = i;
    });
    flushLine();
    run.EachShown([&](int i) {
        if (run.At(i).LineSep)
            run.At(i).Bounds.right = std::max(static_cast<int>(run.At(i).Bounds.left), run.TotalAlong);
    });
}

// A menu item takes the line's full length; in a toolbar, separators and stretched items take the
// line's full cross size and the others are centred across it.
void TTBView::FitAcrossLine(TLayoutPos& p, const TLayoutLine& line, TTBCustomItem* item, int totalAlong) const
{
    RECT& r = p.Bounds;
    if (!p.Arranged) {
        r.right = std::max(static_cast<int>(r.right), totalAlong);
    } else if (FIsToolbar && (p.Separator || item->HasTrait(isCrossFill))) {
        r.top = line.Y;
        r.bottom = line.Y + line.Cross;
    } else if (FIsToolbar) {
        int c = r.bottom - r.top;
        r.top = line.Y + (line.Cross - c) / 2;
        r.bottom = r.top + c;
    }
}

// The chevron ends the row across its full width; then the view's size, and columns for a
// vertical view.
void TTBView::SizeView(TLayoutRun& run)
{
    int rowEnd = run.TotalAlong;
    if (run.ChevronShown) {
        int start = std::max(run.ChevronOffset - run.ChevronSize, run.BaseX);
        run.At(run.Chevron).Bounds = RECT{start, run.StartY, start + run.ChevronSize,
                                          std::max(run.BaseY, run.StartY + run.CrossSize)};
        run.At(run.Chevron).Shown = true;
        rowEnd = std::max(rowEnd, start + run.ChevronSize);
    }
    run.TotalSize = POINT{rowEnd + run.EndX, run.BaseY + run.EndY};
    run.BaseSize = POINT{run.BaseX, run.BaseY};
    if (!run.Vertical)
        return;
    for (TLayoutPos& p : run.Pos)
        if (p.Shown)
            p.Bounds = RECT{p.Bounds.top, p.Bounds.left, p.Bounds.bottom, p.Bounds.right};
    std::swap(run.TotalSize.x, run.TotalSize.y);
    std::swap(run.BaseSize.x, run.BaseSize.y);
}

// A popup taller than its limit scrolls: what lies outside the arrow strips is scrolled out.
void TTBView::ScrollTallPopup(TLayoutRun& run)
{
    if (!FIsPopup)
        return;
    if (FMaxHeight <= 0 || run.TotalSize.y <= FMaxHeight) {
        FScrollShift = 0;
        FUpArrowShown = false;
        FDownArrowShown = false;
        return;
    }
    int maxShift = run.TotalSize.y - FMaxHeight;
    FScrollShift = std::clamp(FScrollShift, 0, maxShift);
    FUpArrowShown = FScrollShift > 0;
    FDownArrowShown = FScrollShift < maxShift;
    int top = FUpArrowShown ? ScrollArrowStrip : 0;
    int bottom = FMaxHeight - (FDownArrowShown ? ScrollArrowStrip : 0);
    for (TLayoutPos& p : run.Pos) {
        if (!p.Shown)
            continue;
        OffsetRect(&p.Bounds, 0, -FScrollShift);
        if (p.Bounds.top < top || p.Bounds.bottom > bottom) {
            p.Shown = false;
            p.ScrolledOut = true;
        }
    }
    run.TotalSize.y = FMaxHeight;
}

// Hosted controls follow their viewers, hidden ones waiting out of sight, and every viewer takes
// its place. True when a shown viewer's place, shown state or line-break flag changed.
bool TTBView::StoreLayout(TLayoutRun& run)
{
    bool moved = false;
    for (int i = 0; i < run.Count; ++i) {
        TTBItemViewer* v = FViewers[static_cast<size_t>(i)];
        const TLayoutPos& p = run.At(i);
        if (TControl* control = p.Control ? static_cast<TTBControlItem*>(v->GetItem())->GetControl() : nullptr) {
            RECT bounds = control->GetBoundsRect();
            if (p.Shown && !EqualRect(&bounds, &p.Bounds))
                control->SetBoundsRect(p.Bounds);
            else if (!p.Shown && (p.BehindChevron || p.ScrolledOut) && FWindow)
                control->SetBounds(FWindow->GetClientWidth(), FWindow->GetClientHeight(), control->GetWidth(),
                                   control->GetHeight());
        }
        if (p.Shown != v->GetShown() || p.LineSep != v->IsLineSeparator() ||
            (p.Shown && !EqualRect(&p.Bounds, &v->GetBoundsRect())))
            moved = true;
        // A scrolled-out viewer keeps its place: scrolling measures from it.
        v->SetLayout(p.Shown || p.ScrolledOut ? p.Bounds : RECT{}, p.Shown, p.BehindChevron, p.ScrolledOut,
                     p.LineSep);
    }
    return moved;
}

// ---------------------------------------------------------------------------------------------
// Painting

void TTBView::Invalidate(TTBItemViewer* viewer)
{
    HWND wnd = WindowHandle();
    if (!FLayoutValid || !wnd || !viewer->GetShown() || IsRectEmpty(&viewer->GetBoundsRect()) ||
        Is<TTBControlItem>(viewer->GetItem()))
        return;
    viewer->SetDirty(true);
    InvalidateRect(wnd, &viewer->GetBoundsRect(), FALSE);
}

void TTBView::PaintViewer(TCanvas* canvas, HDC dc, TTBItemViewer* viewer, bool offScreen, HRGN sharedClip)
{
    const RECT& bounds = viewer->GetBoundsRect();
    RECT client{0, 0, bounds.right - bounds.left, bounds.bottom - bounds.top};
    TTBCustomItem* item = viewer->GetItem();
    bool selected = viewer == FSelected;
    bool toolbarStyle = viewer->UsesToolbarStyle();
    bool enabled = item->GetEnabled() || FCustomizing;
    // In the DC the viewers share, only the clip and the origin are put back after each: what else a
    // viewer's paint changes is its canvas's own, which stays valid from viewer to viewer, or comes
    // back with the guard that changed it. The paint as a whole restores the DC once.
    std::optional<TClipOriginScope> scope;
    if (!offScreen)
        scope.emplace(dc, bounds, sharedClip);
    TColor background = FBackgroundColor;
    if (background == clDefault)
        background = FWindow ? FWindow->GetColor() : (FIsToolbar ? clBtnFace : clMenu);
    COLORREF windowColour = static_cast<COLORREF>(ColorToRGB(background));
    if (selected && !toolbarStyle) {
        FillRect(dc, &client, GetSysColorBrush(FlatMenusOn() ? COLOR_MENUHILIGHT : COLOR_HIGHLIGHT));
    } else {
        // The DC's own brush: filling each viewer needs no brush object of its own.
        SetDCBrushColor(dc, windowColour);
        FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
    }
    canvas->SetHandle(dc);
    ResetViewerCanvas(canvas, ResolveFont());
    if (item->GetEffectiveOptions() & tboDefault) {
        canvas->GetFont()->SetStyle(canvas->GetFont()->GetStyle() + fsBold);
    }
    int textColour = !enabled                     ? COLOR_GRAYTEXT
                     : selected && !toolbarStyle  ? COLOR_HIGHLIGHTTEXT
                     : toolbarStyle               ? COLOR_BTNTEXT
                                                  : COLOR_MENUTEXT;
    canvas->GetFont()->SetColor(SysColor(textColour));
    canvas->RequiredState(TCanvas::csHandleValid | TCanvas::csFontValid);
    SetTextColor(dc, GetSysColor(textColour));
    bool pushed = selected && (FOpenedViewer == viewer || (FMouseInSelected && FCapture));
    bool shadow = !item->GetEnabled() &&
                  (toolbarStyle || (!selected && windowColour == GetSysColor(COLOR_BTNFACE)) ||
                   windowColour == GetSysColor(COLOR_GRAYTEXT));
    viewer->Paint(canvas, client, selected, pushed, shadow);
}

void TTBView::PaintViewers(TCanvas* canvas)
{
    HDC dc = canvas->GetHandle();
    RECT clip{};
    GetClipBox(dc, &clip);
    bool inOrder = InState(stPaintInOrder);
    TSavedDC saved(dc);
    // The clip each viewer's own is put back to; none when the DC had none.
    TGdiObject<HRGN> clipRegion(CreateRectRgn(0, 0, 0, 0));
    const HRGN sharedClip = GetClipRgn(dc, clipRegion.Get()) == 1 ? clipRegion.Get() : nullptr;
    // One canvas for all viewers of this paint: it keeps its objects selected from viewer to viewer,
    // and lets go of them before the DC is restored.
    std::unique_ptr<TCanvas, TObjectFree> viewerCanvas(New<TCanvas>());
    auto paint = [&](TTBItemViewer* viewer) {
        RECT overlap{};
        if (!viewer->GetShown() || !IntersectRect(&overlap, &clip, &viewer->GetBoundsRect()) ||
            Is<TTBControlItem>(viewer->GetItem()))
            return;
        if (!viewer->GetDirty()) {
            PaintViewer(viewerCanvas.get(), dc, viewer, false, sharedClip);
            return;
        }
        // A single repainted viewer goes through a bitmap of its own, so it never flickers.
        viewer->SetDirty(false);
        const RECT& r = viewer->GetBoundsRect();
        int w = r.right - r.left, h = r.bottom - r.top;
        TMemoryDC memDC(dc);
        TGdiObject<HBITMAP> bitmap(CreateCompatibleBitmap(dc, w, h));
        TSelectGuard select(memDC.Get(), bitmap.Get());
        PaintViewer(viewerCanvas.get(), memDC.Get(), viewer, true, nullptr);
        viewerCanvas->SetHandle(nullptr);
        BitBlt(dc, r.left, r.top, w, h, memDC.Get(), 0, 0, SRCCOPY);
    };
    std::vector<TTBItemViewer*> viewers = FViewers;
    for (TTBItemViewer* viewer : viewers)
        if (inOrder || viewer != FSelected)
            paint(viewer);
    if (!inOrder && FSelected)
        paint(FSelected);
    ExcludeState(stPaintInOrder);
}

void TTBView::ToggleAccelerators(bool show)
{
    bool visible = show || !HasStyle(syHiddenAccels) || KeyboardCuesOn();
    if (visible == InState(stShowAccels))
        return;
    if (visible)
        IncludeState(stShowAccels);
    else
        ExcludeState(stShowAccels);
    for (TTBItemViewer* viewer : FViewers)
        if (LocateAccelChar(viewer->ComposeCaption()) != 0)
            viewer->Invalidate();
}

// ---------------------------------------------------------------------------------------------
// Selection and menu tracking

void TTBView::SetOpenedPopup(TTBItemViewer* viewer, TTBView* view, TTBPopupWindow* window)
{
    FOpenedViewer = viewer;
    FOpenedViewerView = view;
    FOpenedViewerWindow = window;
    if (window)
        window->FreeNotification(this);
}

void TTBView::Select(TTBItemViewer* viewer, bool viaMouse)
{
    TTBItemViewer* old = FSelected;
    bool changed = viewer != old;
    if (changed) {
        // The chain of selections follows the open popups.
        if (viewer && FParentView && FParentView->FOpenedViewer &&
            FParentView->FOpenedViewer != FParentView->FSelected) {
            FParentView->Select(FParentView->FOpenedViewer, FParentView->FSelectedByMouse);
            FParentView->DisarmTimer(TTBViewTimerKind::vtOpenSubmenu);
            FParentView->DisarmTimer(TTBViewTimerKind::vtCloseSubmenu);
        }
        if (InState(stModal)) {
            if (FIsToolbar || !viaMouse) {
                DisarmTimer(TTBViewTimerKind::vtCloseSubmenu);
                if (viewer != FOpenedViewer)
                    HideChildPopups();
            } else if (FOpenedViewer && !TimerRunning(TTBViewTimerKind::vtCloseSubmenu)) {
                ArmTimer(TTBViewTimerKind::vtCloseSubmenu, static_cast<UINT>(MenuShowDelay()));
            }
        }
        DropCapture();
        if (old)
            old->SelectionLeft();
        FSelected = viewer;
        FSelectedByMouse = viaMouse;
    }
    bool mouseIn = false;
    if (HWND wnd = WindowHandle(); wnd && viewer) {
        DWORD pos = GetMessagePos();
        POINT p{static_cast<short>(LOWORD(pos)), static_cast<short>(HIWORD(pos))};
        if (WindowFromPoint(p) == wnd) {
            POINT local = p;
            ::ScreenToClient(wnd, &local);
            const RECT& r = viewer->GetBoundsRect();
            mouseIn = PtInRect(&r, local) &&
                      (!FCapture || viewer->PointInButtonPart(local.x - r.left, local.y - r.top));
        }
    }
    bool mouseInChanged = mouseIn != FMouseInSelected;
    FMouseInSelected = mouseIn;
    if (!changed) {
        if (mouseInChanged && FCapture && viewer && viewer->GetItem()->HasTrait(isRepaintOnHover))
            viewer->Invalidate();
        return;
    }
    if (old && IndexOf(old) >= 0 && old->GetItem()->HasTrait(isRepaintOnSelect))
        old->Invalidate();
    if (viewer && viewer->GetItem()->HasTrait(isRepaintOnSelect))
        viewer->Invalidate();
    if (viewer)
        viewer->SelectionEntered(old);
    SignalFocus();
    if (!InState(stModal))
        return;
    if (FIsPopup) {
        DisarmTimer(TTBViewTimerKind::vtOpenSubmenu);
        if (viaMouse && viewer && viewer->GetItem()->HasTrait(isSubmenu))
            ArmTimer(TTBViewTimerKind::vtOpenSubmenu, static_cast<UINT>(MenuShowDelay()));
    } else if (viewer) {
        if (viaMouse && FParentView)
            IncludeState(stDropDownMenus);
        if (InState(stDropDownMenus) && (viaMouse || !viewer->GetItem()->HasTrait(isKeyboardNoOpen)))
            ShowChildPopup(!viaMouse);
    }
}

TTBItemViewer* TTBView::StepSelectable(TTBItemViewer* current, bool goForward)
{
    const int count = GetViewerCount();
    if (count == 0)
        return nullptr;
    int start = IndexOf(current);
    int index = start;
    if (index < 0)
        index = goForward ? -1 : count;
    for (int steps = 0; steps < count; ++steps) {
        index = goForward ? index + 1 : index - 1;
        if (index >= count)
            index = 0;
        else if (index < 0)
            index = count - 1;
        TTBItemViewer* viewer = FViewers[static_cast<size_t>(index)];
        if ((viewer->GetShown() || viewer->GetScrolledOut()) && viewer->GetItem()->GetVisible() &&
            viewer->GetItem()->HasTrait(isSelectable))
            return viewer;
    }
    return nullptr;
}

TTBItemViewer* TTBView::InitialSelectable()
{
    TTBItemViewer* first = StepSelectable(nullptr, true);
    TTBItemViewer* viewer = first;
    while (viewer && viewer->GetItem()->HasTrait(isNeverFirst)) {
        viewer = StepSelectable(viewer, true);
        if (viewer == first)
            return first;
    }
    return viewer;
}

TTBItemViewer* TTBView::HitTestViewer(POINT p)
{
    EnsureLayout();
    for (TTBItemViewer* viewer : FViewers)
        if (viewer->GetShown() && PtInRect(&viewer->GetBoundsRect(), p))
            return viewer;
    return nullptr;
}

bool TTBView::ShowChildPopup(bool selectFirstItem)
{
    DisarmTimer(TTBViewTimerKind::vtCloseSubmenu);
    DisarmTimer(TTBViewTimerKind::vtOpenSubmenu);
    if (FSelected && FSelected != FOpenedViewer) {
        HideChildPopups();
        TTBCustomItem* item = FSelected->GetItem();
        if (item->GetEnabled() && item->HasTrait(isSubmenu))
            item->OpenPopupWindow(this, FSelected, !FIsToolbar, selectFirstItem, FCustomizing, POINT{0, 0}, paLeft);
    }
    return FOpenedViewer != nullptr;
}

void TTBView::HideChildPopups()
{
    if (FOpenedViewerView)
        FOpenedViewerView->HideChildPopups();
    DisarmTimer(TTBViewTimerKind::vtCloseSubmenu);
    // The fields are cleared before the window goes, so nothing reaches it while it is freed.
    TTBPopupWindow* window = FOpenedViewerWindow;
    TTBItemViewer* opened = FOpenedViewer;
    FOpenedViewer = nullptr;
    FOpenedViewerView = nullptr;
    FOpenedViewerWindow = nullptr;
    if (window)
        window->Free();
    if (opened && IndexOf(opened) >= 0)
        opened->Invalidate();
}

void TTBView::DismissChildPopups()
{
    if (FIsToolbar)
        ExcludeState(stDropDownMenus);
    HideChildPopups();
}

void TTBView::ArmTimer(TTBViewTimerKind kind, UINT interval)
{
    if (!Is<TTBPopupWindow>(FWindow) || !FWindow->HandleAllocated())
        return;
    ::SetTimer(FWindow->GetHandle(), ViewTimerIdBase + static_cast<UINT_PTR>(kind), interval, nullptr);
    if (!(FRunningTimers & TimerBit(kind)))
        CountHandle(THandleKind::Timer, 1);
    FRunningTimers |= TimerBit(kind);
}

void TTBView::DisarmTimer(TTBViewTimerKind kind)
{
    if (!(FRunningTimers & TimerBit(kind)))
        return;
    FRunningTimers &= static_cast<uint8_t>(~TimerBit(kind));
    CountHandle(THandleKind::Timer, -1);
    if (HWND wnd = WindowHandle())
        KillTimer(wnd, ViewTimerIdBase + static_cast<UINT_PTR>(kind));
}

void TTBView::DisarmAllTimers()
{
    for (TTBViewTimerKind kind : {TTBViewTimerKind::vtOpenSubmenu, TTBViewTimerKind::vtCloseSubmenu,
                                  TTBViewTimerKind::vtScrollUp, TTBViewTimerKind::vtScrollDown})
        DisarmTimer(kind);
}

bool TTBView::TimerRunning(TTBViewTimerKind kind) const
{
    return (FRunningTimers & TimerBit(kind)) != 0;
}

void TTBView::RunSelected(bool givePriority)
{
    if (!FSelected || !FSelected->GetItem()->GetEnabled()) {
        FinishModal();
        return;
    }
    TTBCustomItem* item = FSelected->GetItem();
    if (!item->HasTrait(isSplitButton) && ShowChildPopup(true))
        return;
    if (!item->HasTrait(isSelectable)) {
        FinishModal();
        return;
    }
    FSelected->Execute(givePriority);
}

void TTBView::RaisePriority(TTBItemViewer* viewer)
{
    if (FChevronParentView) {
        int index = IndexOf(viewer) - FLeadingFixedViewers + FChevronParentView->FLeadingFixedViewers;
        if (TTBItemViewer* match = FChevronParentView->ViewerAt(index))
            FChevronParentView->RaisePriority(match);
        return;
    }
    if (FPriorityMode) {
        auto it = std::find(FPriorityOrder.begin(), FPriorityOrder.end(), viewer);
        if (it != FPriorityOrder.end()) {
            FPriorityOrder.erase(it);
            FPriorityOrder.insert(FPriorityOrder.begin(), viewer);
        }
        if (!FLayoutValid || viewer->GetBehindChevron()) {
            POINT size{};
            RefreshLayout(size);
        }
    }
    if (FParentView && FParentView->FOpenedViewer)
        FParentView->RaisePriority(FParentView->FOpenedViewer);
}

void TTBView::RevealSelected()
{
    if (!FSelected || !FSelected->GetScrolledOut())
        return;
    const RECT& r = FSelected->GetBoundsRect();
    if (r.top < ScrollArrowStrip)
        FScrollShift -= ScrollArrowStrip - r.top;
    else if (r.bottom > FMaxHeight - ScrollArrowStrip)
        FScrollShift += r.bottom - (FMaxHeight - ScrollArrowStrip);
    POINT size{};
    RefreshLayout(size);
}

void TTBView::FinishModal()
{
    FindRootView()->FDoneActionData = TTBDoneActionData{TTBDoneKind::dkCancel};
}

void TTBView::CloseWithClick(TTBItemViewer* viewer)
{
    TTBDoneActionData& done = FindRootView()->FDoneActionData;
    done = TTBDoneActionData{TTBDoneKind::dkClickItem};
    done.ClickItem = viewer->GetItem();
    done.ClickedInPopup = viewer->GetView()->GetIsPopup();
}

void TTBView::CloseWithHelp(int contextID)
{
    TTBDoneActionData& done = FindRootView()->FDoneActionData;
    done = TTBDoneActionData{TTBDoneKind::dkHelpContext};
    done.ContextID = contextID;
}

void TTBView::CloseWithSystemMenu(HWND wnd, WORD key)
{
    TTBDoneActionData& done = FindRootView()->FDoneActionData;
    done = TTBDoneActionData{TTBDoneKind::dkOpenSystemMenu};
    done.Wnd = wnd;
    done.Key = key;
}

bool TTBView::ModalClosing()
{
    return FindRootView()->FDoneActionData.DoneAction != TTBDoneKind::dkNone;
}

void TTBView::SetCapture()
{
    FCapture = true;
}

void TTBView::DropCapture()
{
    if (!FCapture)
        return;
    FCapture = false;
    TBForgetLastMousePos();
    if (FSelected)
        FSelected->Invalidate();
}

void TTBView::SignalFocus()
{
    if (!InState(stModal))
        return;
    TTBView* root = FindRootView();
    HWND wnd = WindowHandle();
    if (!root->InState(stModal) || root->ModalClosing() || !wnd || !IsWindowVisible(wnd))
        return;
    if (!FSelected) {
        if (FParentView)
            FParentView->SignalFocus();
        else
            NotifyEvent(EVENT_OBJECT_FOCUS, wnd, OBJID_CLIENT, CHILDID_SELF);
        return;
    }
    LONG childId = 1;
    for (TTBItemViewer* viewer : FViewers) {
        if (viewer == FSelected)
            break;
        if (viewer->CanBeAccessible())
            ++childId;
    }
    NotifyEvent(EVENT_OBJECT_FOCUS, wnd, OBJID_CLIENT, childId);
}

TTBViewAccObject* TTBView::GetAccObject()
{
    if (!FAccObject && AccessibilityAvailable()) {
        FAccObject = New<TTBViewAccObject>(this);
        FAccObject->AddRef();
    }
    return FAccObject;
}

bool TTBView::HandleWMGetObject(TMessage& message)
{
    if (static_cast<LONG>(message.LParam) != OBJID_CLIENT || !AccessibilityAvailable())
        return false;
    TTBViewAccObject* object = GetAccObject();
    if (!object)
        return false;
    message.Result = AccLresultFromObject(__uuidof(IAccessible), message.WParam, static_cast<IAccessible*>(object));
    return true;
}

void TTBView::HandleKeyPress(WORD& key, TShiftState)
{
    TTBView* top = FindParentToolbarView();
    const bool topVertical = top && top->FOrientation == TTBViewAxis::vaVertical;
    const WORD pressed = key;
    auto move = [](TTBView* view, bool forward) {
        view->Select(view->StepSelectable(view->FSelected, forward), false);
        view->RevealSelected();
    };
    // A handled key is cleared first: closing a popup may free this view, which is not touched
    // afterwards.
    switch (pressed) {
    case VK_UP:
    case VK_DOWN:
        key = 0;
        if (top == this && !topVertical)
            ShowChildPopup(true);
        else
            move(this, pressed == VK_DOWN);
        return;
    case VK_LEFT:
    case VK_RIGHT:
        key = 0;
        if (top == this) {
            // A menu bar: Left and Right move along it; a vertical one opens the submenu.
            if (topVertical)
                ShowChildPopup(true);
            else
                move(this, pressed == VK_RIGHT);
        } else if (FIsPopup && pressed == VK_RIGHT) {
            if (FSelected && FSelected->GetItem()->HasTrait(isSubmenu))
                ShowChildPopup(true);
            else if (top && !topVertical)
                move(top, true);
        } else if (FIsPopup && top && !topVertical) {
            if (FParentView != top)
                FParentView->HideChildPopups();
            else
                move(top, false);
        } else if (FParentView) {
            FParentView->HideChildPopups();
        }
        return;
    case VK_HOME:
    case VK_END:
        key = 0;
        Select(StepSelectable(nullptr, pressed == VK_HOME), false);
        RevealSelected();
        return;
    case VK_TAB:
        key = 0;
        move(this, GetKeyState(VK_SHIFT) >= 0);
        return;
    case VK_RETURN:
        key = 0;
        RunSelected(true);
        return;
    case VK_ESCAPE:
        key = 0;
        if (FParentView)
            FParentView->HideChildPopups();
        else
            FinishModal();
        return;
    case VK_MENU:
    case VK_F10:
        key = 0;
        FinishModal();
        return;
    case VK_F1:
        key = 0;
        for (TTBView* view = this; view; view = view->FParentView)
            if (view->FSelected && view->FSelected->GetItem()->GetHelpContext() != 0) {
                CloseWithHelp(view->FSelected->GetItem()->GetHelpContext());
                return;
            }
        return;
    default:
        return;
    }
}

// ---------------------------------------------------------------------------------------------
// Menu tracking that lives with the menu loop

void TTBView::TimerTick(TTBViewTimerKind kind)
{
    switch (kind) {
    case TTBViewTimerKind::vtOpenSubmenu:
        HideChildPopups();
        ShowChildPopup(false);
        return;
    case TTBViewTimerKind::vtCloseSubmenu:
        HideChildPopups();
        return;
    case TTBViewTimerKind::vtScrollUp:
    case TTBViewTimerKind::vtScrollDown: {
        const bool down = kind == TTBViewTimerKind::vtScrollDown;
        if (down ? FDownArrowShown : FUpArrowShown)
            Scroll(down);
        else
            DisarmTimer(kind);
        return;
    }
    }
}

void TTBView::SyncSelection(const POINT* p, bool allowNewSelection)
{
    TTBItemViewer* candidate = InState(stModal) ? FSelected : nullptr;
    const bool hadMouse = InState(stMouseInWindow);
    bool hasMouse = false;
    POINT local{};
    if (p && FWindow && FWindow->HandleAllocated() && FindDragTarget(*p, true) == FWindow) {
        hasMouse = true;
        local = FWindow->ScreenToClient(*p);
        if (FIsPopup)
            candidate = nullptr;
        if (allowNewSelection || FSelected) {
            // Only what can be selected: over a separator a menu shows no selection.
            TTBItemViewer* under = HitTestViewer(local);
            if (under && under->GetItem()->GetVisible() && under->GetItem()->HasTrait(isSelectable))
                candidate = under;
        }
    }
    if (hasMouse)
        IncludeState(stMouseInWindow);
    else
        ExcludeState(stMouseInWindow);
    if (FCapture)
        candidate = FSelected;
    // The mouse has just left a popup: the path to an open submenu stays highlighted.
    if (FIsPopup && !FCapture && hadMouse && !hasMouse &&
        !(FOpenedViewer && candidate && candidate->GetItem()->HasTrait(isSubmenu)))
        candidate = nullptr;
    Select(candidate, true);

    if (!FIsPopup || !Is<TTBPopupWindow>(FWindow))
        return;
    const int height = FWindow->GetClientHeight();
    const bool overTop = hasMouse && FUpArrowShown && local.y < ScrollArrowStrip;
    const bool overBottom = hasMouse && FDownArrowShown && local.y >= height - ScrollArrowStrip;
    if (overTop) {
        DisarmTimer(TTBViewTimerKind::vtScrollDown);
        if (!TimerRunning(TTBViewTimerKind::vtScrollUp))
            ArmTimer(TTBViewTimerKind::vtScrollUp, ScrollInterval);
    } else if (overBottom) {
        DisarmTimer(TTBViewTimerKind::vtScrollUp);
        if (!TimerRunning(TTBViewTimerKind::vtScrollDown))
            ArmTimer(TTBViewTimerKind::vtScrollDown, ScrollInterval);
    } else {
        DisarmTimer(TTBViewTimerKind::vtScrollUp);
        DisarmTimer(TTBViewTimerKind::vtScrollDown);
    }
}

TTBItemViewer* TTBView::MatchAccelerator(TTBItemViewer* startViewer, wchar_t key, bool& isOnlyItemWithAccel,
                                         bool acceleratorsOnly)
{
    isOnlyItemWithAccel = false;
    const int count = GetViewerCount();
    if (count == 0)
        return nullptr;
    const std::wstring typed(1, key);
    auto sameChar = [&typed](wchar_t c) {
        return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, typed.c_str(), 1, &c, 1) == CSTR_EQUAL;
    };
    auto matches = [&](TTBItemViewer* viewer, bool byAccelerator, bool enabled) {
        TTBCustomItem* item = viewer->GetItem();
        if (!(viewer->GetShown() || viewer->GetScrolledOut()) || !item->GetVisible() ||
            !item->HasTrait(isSelectable) || item->GetEnabled() != enabled || !viewer->ShowsCaption())
            return false;
        const std::wstring caption = viewer->ComposeCaption();
        const wchar_t accel = LocateAccelChar(caption);
        if (byAccelerator)
            return accel != 0 && sameChar(accel);
        return accel == 0 && key != L' ' && !caption.empty() && sameChar(caption[0]);
    };
    // The first match after `from`, once around (`from` itself last unless skipFrom).
    auto search = [&](int from, bool skipFrom, bool byAccelerator, bool enabled) -> TTBItemViewer* {
        const int steps = skipFrom ? count - 1 : count;
        for (int i = 1; i <= steps; ++i) {
            TTBItemViewer* viewer = FViewers[static_cast<size_t>(((from + i) % count + count) % count)];
            if (matches(viewer, byAccelerator, enabled))
                return viewer;
        }
        return nullptr;
    };
    const int start = startViewer ? IndexOf(startViewer) : -1;
    for (bool byAccelerator : {true, false}) {
        if (!byAccelerator && acceleratorsOnly)
            break;
        if (TTBItemViewer* match = search(start, false, byAccelerator, true)) {
            isOnlyItemWithAccel = search(IndexOf(match), true, byAccelerator, true) == nullptr;
            return match;
        }
        // A disabled match counts as the only one: running it ends the menu without a command.
        if (TTBItemViewer* match = search(start, false, byAccelerator, false)) {
            isOnlyItemWithAccel = true;
            return match;
        }
    }
    return nullptr;
}

void TTBView::Scroll(bool down)
{
    const int bottomLine = FMaxHeight - ScrollArrowStrip;
    int line = 0;
    bool found = false;
    for (TTBItemViewer* viewer : FViewers) {
        if (!(viewer->GetShown() || viewer->GetScrolledOut()) || viewer->GetItem()->HasTrait(isSeparator))
            continue;
        const RECT& r = viewer->GetBoundsRect();
        if (down && r.bottom > bottomLine && (!found || r.bottom < line)) {
            line = r.bottom;
            found = true;
        } else if (!down && r.top < ScrollArrowStrip && (!found || r.top > line)) {
            line = r.top;
            found = true;
        }
    }
    if (!found)
        return;
    FScrollShift += down ? line - bottomLine : line - ScrollArrowStrip;
    POINT size{};
    RefreshLayout(size);
}

void TTBView::RunToolbarLoop(unsigned options)
{
    if (InState(stModal))
        return;
    // A message the loop dispatches may free the toolbar and this view with it: then only the
    // handler is left to end, and the menu ends with nothing to carry out.
    const std::weak_ptr<int> alive = LifeToken();
    std::exception_ptr failure;
    TTBDoneActionData done;
    {
        std::unique_ptr<TTBModalHandler, TObjectFree> handler(New<TTBModalHandler>(WindowHandle()));
        FState = static_cast<TTBViewFlags>((FState & stShowAccels) | stModal);
        FDoneActionData = TTBDoneActionData{};
        if (FSelected)
            SignalFocus();
        try {
            handler->Loop(this, (options & tblMouseDown) != 0, false, (options & tblNoPriority) != 0,
                          (options & tblExecuteSelected) != 0);
        } catch (...) {
            failure = std::current_exception();
        }
        if (alive.expired()) {
            handler.reset();
            if (failure)
                ReportMenuException(failure);
            return;
        }
        done = FDoneActionData;
        ExcludeState(stModal);
        DisarmAllTimers();
        HideChildPopups();
        POINT cursor{};
        GetCursorPos(&cursor);
        SyncSelection(&cursor, true);
        handler.reset();
        ToggleAccelerators(false);
        Select(nullptr, false);
    }
    if (failure) {
        ReportMenuException(failure);
        return;
    }
    TTBModalHandler::ApplyDoneAction(done, false);
}

void TTBView::AbortTracking()
{
    FinishModal();
    std::vector<TTBView*> chain;
    for (TTBView* view = this; view; view = view->FOpenedViewerView)
        chain.push_back(view);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        (*it)->DisarmAllTimers();
        if (Is<TTBPopupWindow>((*it)->FWindow))
            (*it)->FWindow->SetVisible(false);
    }
}
