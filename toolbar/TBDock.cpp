#include "toolbar/TBDock.h"

#include <algorithm>
#include <map>

#include "platform/Filer.h"
#include "platform/Forms.h"
#include "platform/ScopeGuards.h"
#include "toolbar/TBCommon.h"
#include "toolbar/TBDockableWindow.h"
#include "toolbar/TBFloatingWindow.h"

SF_IMPLEMENT_ABSTRACT(TTBBasicBackground, TComponent)
SF_IMPLEMENT_COMPONENT(TTBDock, TCustomControl)

namespace {

// No window is longer or thicker than this; larger figures (from damaged state) are cut here so
// the layout's sums cannot overflow.
constexpr int MaxExtent = 32767;

int Clamp(int v, int lo, int hi)
{
    return std::min(std::max(v, lo), hi);
}

const char* const PositionNames[] = {"dpTop", "dpBottom", "dpLeft", "dpRight"};
const char* const BoundLineNames[] = {"blTop", "blBottom", "blLeft", "blRight"};

} // namespace

// ---------------------------------------------------------------------------------------------
// TTBDock

TTBDock::TTBDock(TComponent* owner) : TCustomControl(owner)
{
    FControlStyle = (FControlStyle | csAcceptsControls | csMenuEvents) & ~(csCaptureMouse | csClickEvents | csOpaque);
    FColor = clBtnFace;
    FParentColor = false;
    FBrush->SetColor(FColor);
    FAlign = alTop;
}

void TTBDock::BeforeDestruction()
{
    if (FBackground) {
        FBackground->RemoveChangeHandler(&TTBDock::BackgroundChanged, this);
        FBackground->RemoveFreeNotification(this);
        FBackground = nullptr;
    }
    TCustomControl::BeforeDestruction();
    FAllWindows.clear();
    FShownWindows.clear();
}

void TTBDock::SetParent(TWinControl* parent)
{
    if (parent && (Is<TTBCustomDockableWindow>(parent) || Is<TTBDock>(parent)))
        throw EInvalidOperation("A TTBDock control cannot be placed inside a tool window or another TTBDock");
    TCustomControl::SetParent(parent);
}

void TTBDock::CreateParams(TCreateParams& params)
{
    TCustomControl::CreateParams(params);
    params.WindowClass.style &= ~(CS_HREDRAW | CS_VREDRAW);
}

void TTBDock::Loaded()
{
    TCustomControl::Loaded();
    LayOutToolbars();
}

void TTBDock::Notification(TComponent* component, TOperation operation)
{
    TCustomControl::Notification(component, operation);
    if (operation != TOperation::opRemove)
        return;
    if (component == FBackground)
        FBackground = nullptr;
    auto* window = dynamic_cast<TTBCustomDockableWindow*>(component);
    if (!window)
        return;
    FAllWindows.erase(std::remove(FAllWindows.begin(), FAllWindows.end(), window), FAllWindows.end());
    FShownWindows.erase(std::remove(FShownWindows.begin(), FShownWindows.end(), window), FShownWindows.end());
}

void TTBDock::DefineProperties(TFiler* filer)
{
    TCustomControl::DefineProperties(filer);
    DefineBoolProp(filer, "AllowDrag", FAllowDrag, true, [this](bool v) { SetAllowDrag(v); });
    DefineBoolProp(filer, "BackgroundOnToolbars", FBackgroundOnToolbars, true,
                   [this](bool v) { SetBackgroundOnToolbars(v); });
    DefineBoolProp(filer, "FixAlign", FFixAlign, false, [this](bool v) { SetFixAlign(v); });
    DefineBoolProp(filer, "LimitToOneRow", FLimitToOneRow, false, [this](bool v) { SetLimitToOneRow(v); });
    filer->DefineProperty(
        "Position",
        [this](TReader* r) {
            std::string name = r->ReadIdent();
            auto it = std::find(std::begin(PositionNames), std::end(PositionNames), name);
            // An unknown edge keeps the dock where it is rather than failing the whole form.
            if (it != std::end(PositionNames))
                SetPosition(static_cast<TTBDockPosition>(it - std::begin(PositionNames)));
        },
        [this](TWriter* w) { w->WriteIdent(PositionNames[FPosition]); }, FPosition != dpTop);
    filer->DefineProperty(
        "BoundLines",
        [this](TReader* r) {
            TTBDockBoundLines lines = 0;
            for (const std::string& name : r->ReadSet()) {
                auto it = std::find(std::begin(BoundLineNames), std::end(BoundLineNames), name);
                if (it != std::end(BoundLineNames))
                    lines |= BoundLineSet(static_cast<TTBDockBoundLinesValues>(it - std::begin(BoundLineNames)));
            }
            SetBoundLines(lines);
        },
        [this](TWriter* w) {
            std::vector<std::string> names;
            for (int i = 0; i < 4; ++i)
                if (FBoundLines & (1u << i))
                    names.emplace_back(BoundLineNames[i]);
            w->WriteSet(names);
        },
        FBoundLines != 0);
}

void TTBDock::SetAllowDrag(bool value)
{
    if (value == FAllowDrag)
        return;
    FAllowDrag = value;
    for (int i = 0; i < GetControlCount(); ++i)
        if (auto* window = dynamic_cast<TTBCustomDockableWindow*>(GetControl(i)))
            if (window->HandleAllocated())
                SetWindowPos(window->GetWindowHandle(), nullptr, 0, 0, 0, 0,
                             SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    LayOutToolbars();
}

void TTBDock::SetBackground(TTBBasicBackground* value)
{
    if (value == FBackground)
        return;
    if (FBackground) {
        FBackground->RemoveChangeHandler(&TTBDock::BackgroundChanged, this);
        FBackground->RemoveFreeNotification(this);
    }
    FBackground = value;
    if (FBackground) {
        FBackground->FreeNotification(this);
        FBackground->AddChangeHandler(&TTBDock::BackgroundChanged, this);
    }
    InvalidateWithWindows();
}

void TTBDock::BackgroundChanged(void* data)
{
    static_cast<TTBDock*>(data)->InvalidateWithWindows();
}

void TTBDock::SetBackgroundOnToolbars(bool value)
{
    if (value == FBackgroundOnToolbars)
        return;
    FBackgroundOnToolbars = value;
    InvalidateWithWindows();
}

void TTBDock::InvalidateWithWindows()
{
    if (FHandle)
        RedrawWindow(FHandle, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}

void TTBDock::SetBoundLines(TTBDockBoundLines value)
{
    if (value == FBoundLines)
        return;
    FBoundLines = value;
    FLineInsetX = ((value >> blLeft) & 1) + ((value >> blRight) & 1);
    FLineInsetY = ((value >> blTop) & 1) + ((value >> blBottom) & 1);
    if (FHandle)
        SetWindowPos(FHandle, nullptr, 0, 0, 0, 0, SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    LayOutToolbars();
}

void TTBDock::SetFixAlign(bool value)
{
    if (value == FFixAlign)
        return;
    FFixAlign = value;
    LayOutToolbars();
}

void TTBDock::SetLimitToOneRow(bool value)
{
    if (value == FLimitToOneRow)
        return;
    FLimitToOneRow = value;
    LayOutToolbars();
}

void TTBDock::SetPosition(TTBDockPosition value)
{
    if (value == FPosition)
        return;
    if (GetControlCount() > 0)
        throw EInvalidOperation("Cannot change Position of a TTBDock if it already contains controls");
    FPosition = value;
    static const TAlign aligns[] = {alTop, alBottom, alLeft, alRight};
    SetAlign(aligns[value]);
}

bool TTBDock::AcceptsWindow(TTBCustomDockableWindow*)
{
    return FAllowDrag;
}

void TTBDock::FillDockBackground(HDC dc, const RECT& drawRect)
{
    if (FBackground)
        FBackground->PaintBackground(dc, drawRect, this);
}

bool TTBDock::HasBackgroundImage()
{
    return FBackground && FBackground->InUse();
}

void TTBDock::BeginUpdate()
{
    ++FArrangeLock;
}

void TTBDock::EndUpdate()
{
    if (--FArrangeLock == 0 && FArrangePending)
        LayOutToolbars();
}

TTBCustomDockableWindow* TTBDock::GetDockedWindows(int index) const
{
    if (index < 0 || index >= GetDockedCount())
        throw EListError("List index out of bounds (" + std::to_string(index) + ")");
    return FShownWindows[static_cast<size_t>(index)];
}

bool TTBDock::ToolbarShownOn(const TTBCustomDockableWindow* window) const
{
    return std::find(FShownWindows.begin(), FShownWindows.end(), window) != FShownWindows.end();
}

bool TTBDock::IsShownOnDock(const TTBCustomDockableWindow* window) const
{
    return window->GetParent() == this && window->GetVisible() && !window->HasState(csDestroying);
}

int TTBDock::RowThickness(int row, bool& fullSizeRow) const
{
    fullSizeRow = false;
    int thickness = 0;
    for (TTBCustomDockableWindow* w : FShownWindows) {
        if (w->PlacedRow != row)
            continue;
        thickness = std::max(thickness, IsLeftRight() ? w->GetWidth() : w->GetHeight());
        fullSizeRow = fullSizeRow || w->GetFullSize();
    }
    return thickness;
}

int TTBDock::HighestRow(bool effective) const
{
    int highest = -1;
    for (TTBCustomDockableWindow* w : FShownWindows)
        highest = std::max(highest, effective ? w->PlacedRow : w->GetDockRow());
    return highest;
}

int TTBDock::RowAt(int coordinate) const
{
    int highest = HighestRow(true);
    int cumulated = 0;
    for (int row = 0; row <= highest; ++row) {
        bool fullSize = false;
        cumulated += RowThickness(row, fullSize);
        if (coordinate < cumulated)
            return row;
    }
    return highest + 1;
}

void TTBDock::ApplyDockSize(int newWidth, int newHeight)
{
    int left = FLeft, top = FTop;
    if (FPosition == dpBottom)
        top = FTop + FHeight - newHeight;
    else if (FPosition == dpRight)
        left = FLeft + FWidth - newWidth;
    SetBounds(left, top, newWidth, newHeight);
}

void TTBDock::StoreEffectivePositions()
{
    for (TTBCustomDockableWindow* w : FShownWindows) {
        w->SetDockRow(w->PlacedRow);
        w->SetDockPos(w->PlacedPos);
    }
}

void TTBDock::UpdateDockList(bool insert, TTBCustomDockableWindow* window)
{
    auto it = std::find(FAllWindows.begin(), FAllWindows.end(), window);
    if (insert && it == FAllWindows.end()) {
        FAllWindows.push_back(window);
        window->FreeNotification(this);
    } else if (!insert && it != FAllWindows.end()) {
        FAllWindows.erase(it);
    }
    VisibilityChanged(window, false);
}

void TTBDock::VisibilityChanged(TTBCustomDockableWindow* window, bool forceRemove)
{
    bool shown = !forceRemove && IsShownOnDock(window) &&
                 std::find(FAllWindows.begin(), FAllWindows.end(), window) != FAllWindows.end();
    auto it = std::find(FShownWindows.begin(), FShownWindows.end(), window);
    bool listed = it != FShownWindows.end();
    if (shown == listed)
        return;
    if (shown)
        FShownWindows.push_back(window);
    else
        FShownWindows.erase(it);
    LayOutToolbars();
    OnInsertRemoveBar(this, shown, window);
}

void TTBDock::AlignControls(TControl*, RECT&)
{
    LayOutToolbars();
}

int TTBDock::RowSpace() const
{
    return std::max(IsLeftRight() ? FHeight - FLineInsetY : FWidth - FLineInsetX, 0);
}

void TTBDock::LayOutToolbars()
{
    if (FArrangeLock > 0 || HasState(csLoading) || HasState(csDestroying)) {
        FArrangePending = true;
        return;
    }
    TCountScope lock(FArrangeLock);
    ArrangeLayout();
    FArrangePending = false;
    FWritePlacement = false;
}

// One window's figures while its dock lays it out.
struct TTBDock::TLayoutRecord {
    TTBCustomDockableWindow* Window = nullptr;
    int Row = 0;
    int ActiveRow = -1;  // the row while visible on the dock, else -1
    int Gap = 0;
    int MinimumSize = 0;
    int MinShrinkSize = 0;
    int Length = 0;
    int Overlap = 0;
    int Position = 0;
    TTBShrinkMode ShrinkMode = tbsmNone;
    bool NeedsArrange = false;

    void MoveRowDown()
    {
        ++Row;
        if (ActiveRow >= 0)
            ++ActiveRow;
    }
};

void TTBDock::ArrangeLayout()
{
    DropDestroyedWindows(FAllWindows);
    DropDestroyedWindows(FShownWindows);
    if (FShownWindows.empty()) {
        int thickness = FFixAlign ? 1 : 0;
        if (IsLeftRight())
            ApplyDockSize(thickness, FHeight);
        else
            ApplyDockSize(FWidth, thickness);
        return;
    }
    if (FLimitToOneRow)
        for (TTBCustomDockableWindow* w : FAllWindows)
            w->SetDockRow(0);
    const std::vector<TTBCustomDockableWindow*> sorted = WindowsInRowOrder();
    std::vector<TLayoutRecord> records;
    records.reserve(sorted.size());
    for (TTBCustomDockableWindow* w : sorted) {
        TLayoutRecord r;
        r.Window = w;
        r.Row = std::max(w->GetDockRow(), 0);
        r.ActiveRow = IsShownOnDock(w) ? r.Row : -1;
        r.Position = w->GetDockPos();
        records.push_back(r);
    }
    GiveRowsOfTheirOwn(records);
    int lastRow = CloseEmptyRows(records);
    for (int row = 0; row <= lastRow; ++row)
        ArrangeRow(records, row, lastRow);
    StorePlacement(records, sorted);
    PlaceRowsFromEdge(records, lastRow);
}

void TTBDock::DropDestroyedWindows(std::vector<TTBCustomDockableWindow*>& list)
{
    list.erase(std::remove_if(list.begin(), list.end(),
                              [](TTBCustomDockableWindow* w) { return w->HasState(csDestroying); }),
               list.end());
}

// Row and position order. A window in a split drag keeps its place in the order of its row.
std::vector<TTBCustomDockableWindow*> TTBDock::WindowsInRowOrder() const
{
    std::vector<TTBCustomDockableWindow*> sorted = FAllWindows;
    auto moving = std::find_if(sorted.begin(), sorted.end(), [](TTBCustomDockableWindow* w) { return w->MovingNow; });
    TTBCustomDockableWindow* moved = moving != sorted.end() ? *moving : nullptr;
    ptrdiff_t movedIndexBefore = moving - sorted.begin();
    std::stable_sort(sorted.begin(), sorted.end(), [](TTBCustomDockableWindow* a, TTBCustomDockableWindow* b) {
        int rowA = std::max(a->GetDockRow(), 0), rowB = std::max(b->GetDockRow(), 0);
        if (rowA != rowB)
            return rowA < rowB;
        return a->GetDockPos() < b->GetDockPos();
    });
    if (moved && moved->SplitDragging) {
        sorted.erase(std::find(sorted.begin(), sorted.end(), moved));
        sorted.insert(sorted.begin() + movedIndexBefore, moved);
    }
    return sorted;
}

// Rows of their own: first a window that asked for a new row, then full-size windows.
void TTBDock::GiveRowsOfTheirOwn(std::vector<TLayoutRecord>& records) const
{
    for (int pass = 0; pass < 2; ++pass) {
        for (size_t i = 0; i < records.size(); ++i) {
            TTBCustomDockableWindow* w = records[i].Window;
            bool wants = pass == 0 ? w->NewRowRequested && !FLimitToOneRow : w->GetFullSize();
            if (!wants || records[i].ActiveRow < 0)
                continue;
            int row = records[i].Row;
            bool shared = std::any_of(records.begin(), records.end(), [&](const TLayoutRecord& o) {
                return o.Window != w && o.ActiveRow == row;
            });
            if (!shared)
                continue;
            for (TLayoutRecord& o : records)
                if (o.Window != w && o.Row >= row)
                    o.MoveRowDown();
        }
    }
}

// Empty rows close up; renumbering the rows in use keeps this cheap for any row numbers. Answers
// the last row.
int TTBDock::CloseEmptyRows(std::vector<TLayoutRecord>& records)
{
    std::map<int, int> renumber;
    for (const TLayoutRecord& r : records)
        renumber.emplace(r.Row, 0);
    int next = 0;
    for (auto& entry : renumber)
        entry.second = next++;
    for (TLayoutRecord& r : records) {
        r.Row = renumber[r.Row];
        if (r.ActiveRow >= 0)
            r.ActiveRow = r.Row;
    }
    return next - 1;
}

std::vector<TTBDock::TLayoutRecord*> TTBDock::RowMembers(std::vector<TLayoutRecord>& records, int row)
{
    std::vector<TLayoutRecord*> members;
    for (TLayoutRecord& r : records)
        if (r.ActiveRow == row)
            members.push_back(&r);
    return members;
}

// Lengths and positions along one row: wrapping what no longer fits, the requested places, room
// for a moved window, and shrinking what does not fit.
void TTBDock::ArrangeRow(std::vector<TLayoutRecord>& records, int row, int& lastRow)
{
    const int rowSpace = RowSpace();
    std::vector<TLayoutRecord*> members = MeasureRow(records, row, lastRow);
    if (members.empty())
        return;
    int excess = -rowSpace;
    for (TLayoutRecord* r : members)
        excess += r->Length;
    SetRequestedPlaces(members, excess);
    auto movedAt = std::find_if(members.begin(), members.end(),
                                [](const TLayoutRecord* r) { return r->Window->MovingNow; });
    const bool movedHere = movedAt != members.end();
    const size_t movedIndex = static_cast<size_t>(movedAt - members.begin());
    if (excess < 0 && movedHere)
        MakeRoomForMovedWindow(members, movedIndex);
    EndWithinRowSpace(members, rowSpace);
    if (excess > 0) {
        if (movedHere && members.size() >= 2)
            members[movedIndex]->Window->SplitAllowed = true;
        ShrinkRow(members, excess);
    }
    SetFinalPlaces(members, rowSpace);
}

// Measures the row's windows; a window that no longer fits the row wraps, with those after it, to
// a new row. Answers the windows that stay.
std::vector<TTBDock::TLayoutRecord*> TTBDock::MeasureRow(std::vector<TLayoutRecord>& records, int row, int& lastRow)
{
    const bool leftRight = IsLeftRight();
    const int rowSpace = RowSpace();
    std::vector<TLayoutRecord*> members = RowMembers(records, row);
    int runningMinimum = 0;
    for (size_t k = 0; k < members.size(); ++k) {
        TLayoutRecord& r = *members[k];
        TTBCustomDockableWindow* w = r.Window;
        POINT base{0, 0};
        w->QueryBaseSize(base);
        SIZE nc = w->GetDockedNCAreaSize(this);
        r.Length = Clamp((leftRight ? base.y + nc.cy : base.x + nc.cx), 0, MaxExtent);
        r.MinimumSize = r.Length;
        r.ShrinkMode = w->QueryShrinkMode();
        int minShrink = 0;
        w->QueryMinShrinkSize(minShrink);
        r.MinShrinkSize = Clamp(minShrink, 0, r.MinimumSize);
        runningMinimum += r.ShrinkMode == tbsmChevron ? r.MinShrinkSize : r.Length;
        if (k == 0 || runningMinimum <= rowSpace || FLimitToOneRow)
            continue;
        for (TLayoutRecord& o : records)
            if (o.Row > row)
                o.MoveRowDown();
        for (size_t later = k; later < members.size(); ++later)
            members[later]->MoveRowDown();
        ++lastRow;
        members.resize(k);
        break;
    }
    return members;
}

// Requested positions: gaps where the row has room, overlaps where a window asks to stand over the
// one before it.
void TTBDock::SetRequestedPlaces(std::vector<TLayoutRecord*>& members, int excess)
{
    int end = 0, minimumBefore = 0;
    for (size_t k = 0; k < members.size(); ++k) {
        TLayoutRecord& r = *members[k];
        TTBCustomDockableWindow* w = r.Window;
        int requested = Clamp(w->GetDockPos(), -1, MaxExtent);
        if (k == 0 && (w->GetFullSize() || w->GetStretch()))
            requested = 0;
        requested = std::max(requested, minimumBefore);
        r.Gap = 0;
        r.Overlap = 0;
        if (requested <= end)
            r.Overlap = end - requested;
        else if (excess <= 0)
            r.Gap = requested - end;
        end += r.Gap + r.Length;
        minimumBefore += r.MinShrinkSize;
    }
}

// A moved window with room before it takes the gaps it needs to stand where it was dropped; the
// windows behind it stay where they are.
void TTBDock::MakeRoomForMovedWindow(std::vector<TLayoutRecord*>& members, size_t movedIndex)
{
    int need = members[movedIndex]->Overlap;
    if (need <= 0)
        return;
    int consumed = 0;
    for (size_t k = movedIndex + 1; k-- > 0 && need > 0;) {
        int take = std::min(members[k]->Gap, need);
        members[k]->Gap -= take;
        need -= take;
        consumed += take;
    }
    members[movedIndex]->Overlap -= consumed;
    if (movedIndex + 1 < members.size())
        members[movedIndex + 1]->Gap += consumed;
}

// The row ends within the row space: gaps go from the last window backwards.
void TTBDock::EndWithinRowSpace(std::vector<TLayoutRecord*>& members, int rowSpace)
{
    int total = 0;
    for (TLayoutRecord* r : members)
        total += r->Gap + r->Length;
    for (size_t k = members.size(); k-- > 0 && total > rowSpace;) {
        int take = std::min(members[k]->Gap, total - rowSpace);
        members[k]->Gap -= take;
        total -= take;
    }
}

// Shrinks a row that does not fit. Overlaps are taken from the chevron windows before the
// overlapping one, nearest first, never from the moved window or those before it; the rest from the
// last shrinkable window backwards.
void TTBDock::ShrinkRow(std::vector<TLayoutRecord*>& members, int excess)
{
    auto shrink = [&excess](TLayoutRecord& r, int wanted) {
        int take = std::min({r.Length - r.MinShrinkSize, wanted, excess});
        if (take <= 0)
            return 0;
        r.Length -= take;
        excess -= take;
        return take;
    };
    for (size_t i = 0; i < members.size() && excess > 0; ++i) {
        int wanted = std::min(members[i]->Overlap, excess);
        for (size_t k = i; k-- > 0 && wanted > 0;) {
            if (members[k]->Window->MovingNow)
                break;
            if (members[k]->ShrinkMode == tbsmChevron)
                wanted -= shrink(*members[k], wanted);
        }
    }
    for (size_t k = members.size(); k-- > 0 && excess > 0;) {
        TLayoutRecord& r = *members[k];
        if (r.ShrinkMode == tbsmNone || (r.ShrinkMode == tbsmWrap && members.size() > 1))
            continue;
        shrink(r, excess);
    }
}

// Final positions: full-size and stretched windows take the gaps beside them.
void TTBDock::SetFinalPlaces(std::vector<TLayoutRecord*>& members, int rowSpace)
{
    int end = 0;
    for (size_t k = 0; k < members.size(); ++k) {
        TLayoutRecord& r = *members[k];
        TTBCustomDockableWindow* w = r.Window;
        if (w->GetFullSize() || w->GetStretch()) {
            r.Length += r.Gap;
            r.Gap = 0;
        }
        r.Position = end + r.Gap;
        if (w->GetFullSize())
            r.Length = std::max(r.Length, rowSpace);
        if (w->GetStretch() && k + 1 < members.size()) {
            r.Length += members[k + 1]->Gap;
            members[k + 1]->Gap = 0;
        } else if (w->GetStretch()) {
            r.Length = std::max(r.Length, rowSpace - r.Position);
        }
        end = r.Position + r.Length;
    }
}

// The windows learn where they were placed (and keep it as their request when asked to), and the
// dock's lists take the row order.
void TTBDock::StorePlacement(std::vector<TLayoutRecord>& records, const std::vector<TTBCustomDockableWindow*>& sorted)
{
    for (TLayoutRecord& r : records) {
        TTBCustomDockableWindow* w = r.Window;
        if (r.ActiveRow >= 0) {
            w->PlacedRow = r.Row;
            w->PlacedPos = r.Position;
        }
        if (FWritePlacement) {
            w->SetDockRow(r.Row);
            w->SetDockPos(r.Position);
        }
    }
    if (FWritePlacement)
        FAllWindows = sorted;
    FShownWindows.clear();
    for (TTBCustomDockableWindow* w : sorted)
        if (IsShownOnDock(w))
            FShownWindows.push_back(w);
}

// Rows from the dock's edge, each as thick as its thickest window; then the dock's own size.
void TTBDock::PlaceRowsFromEdge(std::vector<TLayoutRecord>& records, int lastRow)
{
    const bool leftRight = IsLeftRight();
    int offset = 0;
    for (int row = 0; row <= lastRow; ++row) {
        std::vector<TLayoutRecord*> members = RowMembers(records, row);
        int thickness = 0;
        for (TLayoutRecord* r : members)
            thickness = std::max(thickness, DockedThicknessOf(*r));
        int rowThickness = members.empty() ? 0 : thickness + 4;
        for (TLayoutRecord* r : members) {
            TTBCustomDockableWindow* w = r->Window;
            {
                TCountScope updating(w->BoundsUpdating);
                if (leftRight)
                    w->SetBounds(offset, r->Position, rowThickness, r->Length);
                else
                    w->SetBounds(r->Position, offset, r->Length, rowThickness);
            }
            if (r->NeedsArrange)
                w->Arrange();
        }
        offset += rowThickness;
    }
    if (leftRight)
        ApplyDockSize(FLineInsetX + offset, FHeight);
    else
        ApplyDockSize(FWidth, FLineInsetY + offset);
}

// A window shrunk to another length arranges itself again at it; its thickness across the row is
// then what it needs at its length.
int TTBDock::DockedThicknessOf(TLayoutRecord& r)
{
    const bool leftRight = IsLeftRight();
    TTBCustomDockableWindow* w = r.Window;
    int shrunk = r.Length >= r.MinimumSize ? 0 : r.Length;
    bool changed = w->ShrunkLength != shrunk;
    w->ShrunkLength = shrunk;
    if (r.ShrinkMode != tbsmNone && changed) {
        POINT size = w->ComputeArrangement(true, leftRight ? dtLeftRight : dtTopBottom, false, this);
        w->DockedThickness = leftRight ? size.x : size.y;
        r.NeedsArrange = true;
    }
    if (!(r.ShrinkMode == tbsmWrap && r.Length < r.MinimumSize)) {
        POINT base{0, 0};
        w->QueryBaseSize(base);
        w->DockedThickness = leftRight ? base.x : base.y;
    }
    return Clamp(w->DockedThickness, 0, MaxExtent);
}

// ---- messages

void TTBDock::Dispatch(TMessage& m)
{
    switch (m.Msg) {
    case WM_ERASEBKGND:
        EraseBackground(m);
        return;
    case WM_MOVE:
        TCustomControl::Dispatch(m);
        if (HasBackgroundImage())
            for (TTBCustomDockableWindow* w : FShownWindows)
                w->Invalidate();
        return;
    case WM_NCCALCSIZE: {
        auto* r = reinterpret_cast<RECT*>(m.LParam);
        if (FBoundLines & BoundLineSet(blTop))
            ++r->top;
        if (FBoundLines & BoundLineSet(blBottom))
            --r->bottom;
        if (FBoundLines & BoundLineSet(blLeft))
            ++r->left;
        if (FBoundLines & BoundLineSet(blRight))
            --r->right;
        m.Result = 0;
        return;
    }
    case WM_NCPAINT: {
        TWindowDC dc(FHandle, true);
        if (dc) {
            ClipToNCUpdate(FHandle, dc.Get(), reinterpret_cast<HRGN>(m.WParam));
            DrawBoundLines(dc.Get());
        }
        m.Result = 0;
        return;
    }
    case WM_PRINT:
        AnswerPrintMessage(FHandle, m, [this](HWND, HDC dc) { DrawBoundLines(dc); });
        return;
    case WM_PRINTCLIENT:
        PrintClientArea(this, m);
        return;
    case CM_SYSCOLORCHANGE:
        if (FBackground)
            FBackground->SystemColorsChanged();
        TCustomControl::Dispatch(m);
        return;
    case WM_SYSCOMMAND:
    case CM_DIALOGKEY:
    case CM_DIALOGCHAR:
        RelayToFloatingWindows(m);
        if (m.Result == 0)
            TCustomControl::Dispatch(m);
        return;
    default:
        TCustomControl::Dispatch(m);
    }
}

void TTBDock::EraseBackground(TMessage& m)
{
    if (!HasBackgroundImage()) {
        TCustomControl::Dispatch(m);
        return;
    }
    HDC dc = reinterpret_cast<HDC>(m.WParam);
    RECT client = GetClientRect();
    TClipGuard clip(dc, client);
    // The background lines up across the form: shift it by the dock's place in its parent.
    POINT old{};
    SetWindowOrgEx(dc, FLeft, FTop, &old);
    RECT draw{FLeft, FTop, FLeft + client.right, FTop + client.bottom};
    FillDockBackground(dc, draw);
    SetWindowOrgEx(dc, old.x, old.y, nullptr);
    m.Result = 1;
}

void TTBDock::DrawBoundLines(HDC dc)
{
    RECT r{}, client{};
    GetWindowFrame(FHandle, r, client);
    {
        TSavedDC saved(dc);
        ExcludeClipRect(dc, client.left, client.top, client.right, client.bottom);
        TGdiObject<HPEN> shadow(CreatePen(PS_SOLID, 1, GetSysColor(COLOR_BTNSHADOW)));
        TGdiObject<HPEN> highlight(CreatePen(PS_SOLID, 1, GetSysColor(COLOR_BTNHIGHLIGHT)));
        auto line = [dc](HPEN pen, int x1, int y1, int x2, int y2) {
            TSelectGuard sel(dc, pen);
            MoveToEx(dc, x1, y1, nullptr);
            LineTo(dc, x2, y2);
        };
        if (FBoundLines & BoundLineSet(blTop)) {
            line(shadow.Get(), r.left, r.top, r.right, r.top);
            ++r.top;
        }
        if (FBoundLines & BoundLineSet(blLeft)) {
            line(shadow.Get(), r.left, r.top, r.left, r.bottom);
            ++r.left;
        }
        if (FBoundLines & BoundLineSet(blBottom)) {
            line(highlight.Get(), r.left, r.bottom - 1, r.right, r.bottom - 1);
            --r.bottom;
        }
        if (FBoundLines & BoundLineSet(blRight)) {
            line(highlight.Get(), r.right - 1, r.top, r.right - 1, r.bottom);
            --r.right;
        }
        TGdiObject<HBRUSH> face(CreateSolidBrush(static_cast<COLORREF>(ColorToRGB(FColor))));
        FillRect(dc, &r, face.Get());
    }
}

void TTBDock::RelayToFloatingWindows(TMessage& m)
{
    std::vector<TTBCustomDockableWindow*> windows = FAllWindows;
    std::weak_ptr<int> alive = LifeToken();
    for (TTBCustomDockableWindow* w : windows) {
        if (alive.expired())
            return;
        if (std::find(FAllWindows.begin(), FAllWindows.end(), w) == FAllWindows.end())
            continue;
        if (!w->GetFloating() || w->GetLastDock() != this || !(w->GetControlStyle() & csMenuEvents) ||
            !w->GetShowing() || !w->GetEnabled())
            continue;
        m.Result = w->Perform(m.Msg, m.WParam, m.LParam);
        if (m.Result != 0)
            return;
    }
}
