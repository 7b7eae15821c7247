#include "document/SheetfoldSelection.h"

#include <algorithm>
#include <vector>

#include "document/LayerImage.h"
#include "document/SheetfoldView.h"
#include "graphics/SfTypes.h"
#include "platform/ScopeGuards.h"

SF_IMPLEMENT_ABSTRACT(TSheetfoldTool, TObject)
SF_IMPLEMENT_ABSTRACT(TSheetfoldMoveTool, TSheetfoldTool)
SF_IMPLEMENT_CLASS(TSheetfoldSelection, TLayerSelection)

namespace {

void InvertSquare(HDC dc, const POINT& c, int size)
{
    RECT r = SelectionGeometry::HandleSquare(c, size);
    InvertRect(dc, &r);
}

}

// SelectionGeometry

namespace SelectionGeometry {

RECT HandleSquare(const POINT& c, int size)
{
    int half = size / 2;
    return RECT{c.x - half, c.y - half, c.x + half, c.y + half};
}

POINT HandleCentre(const RECT& s, int zone)
{
    int midX = (s.left + s.right) / 2;
    int midY = (s.top + s.bottom) / 2;
    switch (zone) {
    case lpmLeft:
        return POINT{s.left, midY};
    case lpmTop:
        return POINT{midX, s.top};
    case lpmRight:
        return POINT{s.right, midY};
    case lpmBottom:
        return POINT{midX, s.bottom};
    case lpmTopLeft:
        return POINT{s.left, s.top};
    case lpmTopRight:
        return POINT{s.right, s.top};
    case lpmBottomRight:
        return POINT{s.right, s.bottom};
    case lpmBottomLeft:
        return POINT{s.left, s.bottom};
    default:
        return POINT{midX, midY};
    }
}

RECT GripRect(const RECT& s)
{
    return HandleSquare(POINT{s.left + GripOffset, s.top + GripOffset}, GripSize);
}

int HitHandle(const RECT& s, const POINT& p)
{
    static const int order[] = {lpmTopLeft, lpmTop, lpmTopRight, lpmLeft, lpmBottomRight, lpmRight, lpmBottomLeft,
                                lpmBottom};
    for (int zone : order)
        if (SfTypes::PtInRect(HandleSquare(HandleCentre(s, zone), HandleSize), p))
            return zone;
    return 0;
}

int HitZone(const RECT& s, const POINT& p, bool onSelected)
{
    if (int zone = HitHandle(s, p))
        return zone;
    if (onSelected || SfTypes::PtInRect(GripRect(s), p))
        return lpmMove;
    return 0;
}

RECT DragTarget(const RECT& start, const POINT& d, int zone)
{
    int l = start.left;
    int t = start.top;
    int w = start.right - start.left;
    int h = start.bottom - start.top;
    switch (zone) {
    case lpmLeft:
        l += d.x;
        w -= d.x;
        break;
    case lpmTop:
        t += d.y;
        h -= d.y;
        break;
    case lpmRight:
        w += d.x;
        break;
    case lpmBottom:
        h += d.y;
        break;
    case lpmTopLeft:
        l += d.x;
        t += d.y;
        w -= d.x;
        h -= d.y;
        break;
    case lpmTopRight:
        t += d.y;
        w += d.x;
        h -= d.y;
        break;
    case lpmBottomRight:
        w += d.x;
        h += d.y;
        break;
    case lpmBottomLeft:
        l += d.x;
        w -= d.x;
        h += d.y;
        break;
    case lpmMove:
        l += d.x;
        t += d.y;
        break;
    default:
        break;
    }
    return RECT{l, t, l + w, t + h};
}

TCursor ZoneCursor(int zone, bool croppable)
{
    switch (zone) {
    case lpmLeft:
    case lpmRight:
        return croppable ? crHSplit : crSizeWE;
    case lpmTop:
    case lpmBottom:
        return croppable ? crVSplit : crSizeNS;
    case lpmTopLeft:
    case lpmBottomRight:
        return crSizeNWSE;
    case lpmTopRight:
    case lpmBottomLeft:
        return crSizeNESW;
    case lpmMove:
        return crSizeAll;
    default:
        return crDefault;
    }
}

}

// The quicksort of the spacing commands. Keys are compared directly: their 32-bit difference
// would overflow for coordinates far apart.
namespace {

void QuickSort(std::vector<int>& a, const std::vector<int>& keys, int lo, int hi)
{
    int i;
    do {
        i = lo;
        int j = hi;
        int pivot = keys[a[(lo + hi) >> 1]];
        do {
            while (keys[a[i]] < pivot)
                ++i;
            while (keys[a[j]] > pivot)
                --j;
            if (i <= j) {
                std::swap(a[i], a[j]);
                ++i;
                --j;
            }
        } while (i <= j);
        if (lo < j)
            QuickSort(a, keys, lo, j);
        lo = i;
    } while (i < hi);
}

}

void SortIndexesByKey(std::vector<int>& indexes, const std::vector<int>& keys)
{
    if (indexes.size() > 1)
        QuickSort(indexes, keys, 0, static_cast<int>(indexes.size()) - 1);
}

// TSheetfoldTool

void TSheetfoldTool::Paint(TLayerCanvas*, const RECT&)
{
}

RECT TSheetfoldTool::GetUpdateRect()
{
    TSheetfoldView* view = FSelection->GetView();
    RECT bounds = FSelection->GetBounds();
    return view ? view->GetMapMode()->LPtoDPRect(bounds) : bounds;
}

bool TSheetfoldTool::IsActive()
{
    return false;
}

void TSheetfoldTool::Dispatch(TMessage&)
{
}

// TSheetfoldMoveTool

void TSheetfoldMoveTool::Paint(TLayerCanvas* canvas, const RECT&)
{
    TSheetfoldView* view = GetSelection()->GetView();
    if (!view)
        return;
    HDC dc = canvas->GetMainBuffer()->GetHandle();
    const TMapMode* mapMode = view->GetMapMode();
    if (FBanding) {
        FBandRect = mapMode->LPtoDPRect(BandLogicalRect());
        DrawFocusRect(dc, &FBandRect);
    }
    if (GetSelection()->IsEmpty())
        return;
    using namespace SelectionGeometry;
    RECT s = mapMode->LPtoDPRect(GetSelection()->GetBounds());
    POINT grip{s.left + GripOffset, s.top + GripOffset};
    InvertSquare(dc, grip, GripSize);
    InvertSquare(dc, grip, GripSize - 2);
    InvertSquare(dc, POINT{s.left, s.top}, 4);
    for (int zone : {lpmTop, lpmTopRight, lpmLeft, lpmBottomRight, lpmRight, lpmBottomLeft, lpmBottom})
        InvertSquare(dc, HandleCentre(s, zone), HandleSize);
}

RECT TSheetfoldMoveTool::GetUpdateRect()
{
    if (GetSelection()->IsEmpty())
        return RECT{};
    return SfTypes::InflatedRect(TSheetfoldTool::GetUpdateRect(), SelectionGeometry::UpdateMargin);
}

bool TSheetfoldMoveTool::IsActive()
{
    return FBanding || !GetSelection()->IsEmpty();
}

void TSheetfoldMoveTool::Dispatch(TMessage& message)
{
    switch (message.Msg) {
    // The view takes double-clicks, so a quick second press arrives as a double-click; it still
    // selects and starts a drag like any press.
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        MouseDown(POINT{message.XPos(), message.YPos()}, message.WParam);
        return;
    case WM_MOUSEMOVE:
        MouseMove(POINT{message.XPos(), message.YPos()});
        return;
    case WM_LBUTTONUP:
        MouseUp(message.WParam);
        return;
    case WM_CAPTURECHANGED: {
        TSheetfoldView* view = GetSelection()->GetView();
        if (!view || !view->HandleAllocated() || reinterpret_cast<HWND>(message.LParam) != view->GetHandle())
            CancelDrag();
        return;
    }
    case WM_CANCELMODE:
    case CM_CANCELMODE:
        CancelDrag();
        return;
    default:
        return;
    }
}

int TSheetfoldMoveTool::HitZone(const POINT& p)
{
    TSheetfoldSelection* selection = GetSelection();
    TSheetfoldView* view = selection->GetView();
    if (selection->IsEmpty() || !view)
        return 0;
    const TMapMode* mapMode = view->GetMapMode();
    RECT s = mapMode->LPtoDPRect(selection->GetBounds());
    bool onSelected = false;
    if (!SelectionGeometry::HitHandle(s, p)) {
        TLayerComposition* page = view->GetCurrentPage();
        TLayerElement* element = page ? page->ElementAt(mapMode->DPtoLP(p)) : nullptr;
        onSelected = element && selection->Contains(element);
    }
    return SelectionGeometry::HitZone(s, p, onSelected);
}

void TSheetfoldMoveTool::MouseDown(const POINT& p, WPARAM keys)
{
    TSheetfoldSelection* selection = GetSelection();
    TSheetfoldView* view = selection->GetView();
    if (!view)
        return;
    const TMapMode* mapMode = view->GetMapMode();
    bool shift = (keys & MK_SHIFT) != 0;
    bool ctrl = (keys & MK_CONTROL) != 0;
    // A press whose release never came starts afresh.
    FDragging = false;
    FBanding = false;
    FZone = HitZone(p);
    TLayerComposition* page = view->GetCurrentPage();
    TLayerElement* element = page ? page->ElementAt(mapMode->DPtoLP(p)) : nullptr;
    // Ctrl on a selected element toggles it off; without this the move zone would always win.
    bool ctrlToggle = ctrl && !shift && FZone == lpmMove && element && selection->Contains(element);
    if (FZone == 0 || ctrlToggle) {
        if (!element) {
            if (!shift && !ctrl)
                selection->Clear();
            FBanding = true;
            FBandStart = FBandEnd = mapMode->DPtoLP(p);
            FBandRect = RECT{p.x, p.y, p.x, p.y};
        } else if (shift) {
            selection->Add(element);
        } else if (ctrl) {
            if (selection->Contains(element))
                selection->Remove(element);
            else
                selection->Add(element);
        } else if (!selection->Contains(element)) {
            selection->Clear();
            selection->Add(element);
        }
    }
    if (!selection->IsEmpty()) {
        FZone = HitZone(p);
        FStartBounds = selection->GetBounds();
        FPressPoint = p;
        FDragging = !FBanding && !ctrlToggle;
    }
    view->Invalidate();
}

void TSheetfoldMoveTool::MouseMove(const POINT& p)
{
    TSheetfoldView* view = GetSelection()->GetView();
    if (!view)
        return;
    if (FBanding) {
        FBandEnd = view->GetMapMode()->DPtoLP(p);
        RECT band = view->GetMapMode()->LPtoDPRect(BandLogicalRect());
        view->InvalidateDeviceRect(SfTypes::InflatedRect(SfTypes::UnionNonEmpty(band, FBandRect), 1));
        return;
    }
    if (FDragging && !GetSelection()->IsEmpty()) {
        DragTo(p);
        return;
    }
    SetCursorFor(HitZone(p));
}

void TSheetfoldMoveTool::DragTo(const POINT& p)
{
    TSheetfoldSelection* selection = GetSelection();
    TSheetfoldView* view = selection->GetView();
    POINT d = view->GetMapMode()->DPtoLPSize(POINT{p.x - FPressPoint.x, p.y - FPressPoint.y});
    RECT target = SelectionGeometry::DragTarget(FStartBounds, d, FZone);
    if (selection->Count() == 1) {
        if (target.right - target.left < 1 || target.bottom - target.top < 1)
            return;
        selection->First()->SetRect(target, d, FZone);
        return;
    }
    RECT current = selection->GetBounds();
    int dx = target.left - current.left;
    int dy = target.top - current.top;
    TUpdateScope<TSheetfoldView> update(view);
    std::vector<TLayerElement*> elements = selection->Snapshot();
    for (size_t i = 0; i < elements.size(); ++i) {
        TLayerElement* element = elements[i];
        // A move may take elements out of the selection; searching the whole list for each one
        // only when that happened keeps a move of thousands linear.
        bool inPlace = static_cast<int>(i) < selection->Count() && selection->GetItem(static_cast<int>(i)) == element;
        if (!inPlace && !selection->Contains(element))
            continue;
        RECT b = element->GetBounds();
        SfTypes::OffsetRect(&b, dx, dy);
        element->SetRect(b, d, lpmMove);
    }
}

void TSheetfoldMoveTool::MouseUp(WPARAM keys)
{
    TSheetfoldView* view = GetSelection()->GetView();
    if (!view)
        return;
    view->UpdateScrollPos();
    FDragging = false;
    if (FBanding)
        EndBand(keys);
}

void TSheetfoldMoveTool::EndBand(WPARAM keys)
{
    TSheetfoldSelection* selection = GetSelection();
    TSheetfoldView* view = selection->GetView();
    FBanding = false;
    view->Invalidate();
    TLayerComposition* page = view->GetCurrentPage();
    if (!page)
        return;
    bool toggle = (keys & MK_CONTROL) && !(keys & MK_SHIFT);
    RECT band = BandLogicalRect();
    std::vector<TLayerElement*> hits;
    for (int i = page->Count() - 1; i >= 0; --i)
        if (page->GetItem(i)->IntersectsRect(band))
            hits.push_back(page->GetItem(i));
    for (TLayerElement* element : hits) {
        if (toggle && selection->Contains(element))
            selection->Remove(element);
        else
            selection->Add(element);
    }
}

void TSheetfoldMoveTool::CancelDrag()
{
    if (!FDragging && !FBanding)
        return;
    FDragging = false;
    FBanding = false;
    if (TSheetfoldView* view = GetSelection()->GetView())
        view->Invalidate();
}

void TSheetfoldMoveTool::SetCursorFor(int zone)
{
    TSheetfoldSelection* selection = GetSelection();
    if (selection->Count() > 1 && zone >= lpmLeft && zone <= lpmBottomLeft)
        return;
    auto* image = dynamic_cast<TLayerImage*>(selection->First());
    bool croppable = selection->Count() == 1 && image && image->GetClipEnabled();
    selection->GetView()->SetCursor(SelectionGeometry::ZoneCursor(zone, croppable));
}

RECT TSheetfoldMoveTool::BandLogicalRect() const
{
    return SfTypes::RectFromCorners(FBandStart, FBandEnd);
}

// TSheetfoldSelection

TSheetfoldSelection::TSheetfoldSelection(TSheetfoldView* view) : FView(view), FTool(New<TSheetfoldMoveTool>(this))
{
}

TSheetfoldSelection::~TSheetfoldSelection() = default;

void TSheetfoldSelection::Add(TLayerElement* element)
{
    if (!element) {
        if (FView)
            FView->InvalidateLogicalRect(FHandleRect);
        return;
    }
    // A disabled element adds the one it is attached to, or nothing: report what was added.
    int before = Count();
    TLayerSelection::Add(element);
    if (Count() == before || !FView)
        return;
    TLayerElement* added = GetItem(Count() - 1);
    if (TSheetfoldFormHooks* form = FView->GetForm())
        form->SelectionItemChanged(this);
    FView->InvalidateLogicalRect(added->GetBounds());
}

void TSheetfoldSelection::Remove(TLayerElement* element)
{
    if (!Contains(element))
        return;
    TLayerSelection::Remove(element);
    if (!FView)
        return;
    if (IsEmpty()) {
        FView->InvalidateLogicalRect(FHandleRect);
        return;
    }
    if (TSheetfoldFormHooks* form = FView->GetForm())
        form->SelectionItemChanged(this);
    FView->InvalidateLogicalRect(element->GetBounds());
}

void TSheetfoldSelection::Paint(TLayerCanvas* canvas, const RECT& updateRect)
{
    if (!FTool->IsActive() && IsEmpty())
        return;
    FTool->Paint(canvas, updateRect);
}

void TSheetfoldSelection::UpdateHandleArea(RECT& r)
{
    if (!FView)
        return;
    const TMapMode* mapMode = FView->GetMapMode();
    RECT device = FTool->GetUpdateRect();
    RECT area = SfTypes::IsRectEmpty(device) ? RECT{} : mapMode->DPtoLPRect(device);
    if (SfTypes::EqualRect(area, FHandleRect))
        return;
    RECT both = SfTypes::UnionNonEmpty(FHandleRect, area);
    FHandleRect = area;
    if (SfTypes::IsRectEmpty(both))
        return;
    // One pixel more: the round trip through logical units may lose one at odd zooms.
    r = SfTypes::UnionNonEmpty(r, SfTypes::InflatedRect(mapMode->LPtoDPRect(both), 1));
}

void TSheetfoldSelection::Dispatch(TMessage& message)
{
    // A press on the page first takes the keyboard from whatever had it: an edit that showed the
    // selection is done with (and keeps what was typed into it) before the press changes what is
    // selected.
    if (message.Msg == WM_LBUTTONDOWN || message.Msg == WM_LBUTTONDBLCLK || message.Msg == WM_MBUTTONDOWN ||
        message.Msg == WM_RBUTTONDOWN)
        FocusView();
    FTool->Dispatch(message);
    if (FView)
        FView->InheritedDispatch(message);
    SelectionDispatch(message);
}

void TSheetfoldSelection::SelectionDispatch(TMessage& message)
{
    if (!FView)
        return;
    switch (message.Msg) {
    case WM_KEYDOWN: {
        TShiftState shift = 0;
        if (GetKeyState(VK_SHIFT) < 0)
            shift |= ssShift;
        if (GetKeyState(VK_CONTROL) < 0)
            shift |= ssCtrl;
        if (message.LParam & (1 << 29))
            shift |= ssAlt;
        if (TSheetfoldFormHooks* form = FView->GetForm())
            form->ViewKeyDown(static_cast<WORD>(message.WParam), shift);
        return;
    }
    case WM_RBUTTONDOWN:
        if (TSheetfoldFormHooks* form = FView->GetForm())
            form->ShowContextMenu(message.XPos(), message.YPos());
        return;
    default:
        return;
    }
}

void TSheetfoldSelection::FocusView()
{
    if (FView && FView->CanFocus())
        FView->SetFocus();
}

void TSheetfoldSelection::AlignElements(TAlignMode mode)
{
    if (Count() < 2 || mode < amLefts || mode > amSameHeight)
        return;
    if (mode == amSpaceHorz || mode == amSpaceVert) {
        SpaceEqually(mode == amSpaceVert);
        return;
    }
    RECT u = GetBounds();
    int largest = 0;
    for (int i = 0; i < Count(); ++i) {
        TLayerElement* e = GetItem(i);
        largest = std::max(largest, mode == amSameWidth ? e->GetWidth() : e->GetHeight());
    }
    for (TLayerElement* e : Snapshot()) {
        int w = e->GetWidth();
        int h = e->GetHeight();
        switch (mode) {
        case amLefts:
            e->SetLeft(u.left);
            break;
        case amRights:
            e->SetLeft(u.right - w);
            break;
        case amHorzCenters:
            e->SetLeft((u.left + u.right) / 2 - w / 2);
            break;
        case amTops:
            e->SetTop(u.top);
            break;
        case amBottoms:
            e->SetTop(u.bottom - h);
            break;
        case amVertCenters:
            e->SetTop((u.top + u.bottom) / 2 - h / 2);
            break;
        case amSameWidth:
            e->SetWidth(largest);
            break;
        case amSameHeight:
            e->SetHeight(largest);
            break;
        default:
            break;
        }
    }
}

void TSheetfoldSelection::NudgeElements(int dx, int dy)
{
    for (TLayerElement* e : Snapshot()) {
        RECT b = e->GetBounds();
        SfTypes::OffsetRect(&b, dx, dy);
        e->SetBoundsRect(b);
    }
}

void TSheetfoldSelection::SpaceEqually(bool vertical)
{
    RECT u = GetBounds();
    const std::vector<TLayerElement*> elements = Snapshot();
    std::vector<int> keys;
    std::vector<int> order;
    long long total = 0;
    for (int i = 0; i < static_cast<int>(elements.size()); ++i) {
        TLayerElement* e = elements[static_cast<size_t>(i)];
        keys.push_back(vertical ? e->GetTop() : e->GetLeft());
        order.push_back(i);
        total += vertical ? e->GetHeight() : e->GetWidth();
    }
    SortIndexesByKey(order, keys);
    long long span = vertical ? static_cast<long long>(u.bottom) - u.top : static_cast<long long>(u.right) - u.left;
    int gap = static_cast<int>((span - total) / static_cast<long long>(elements.size() - 1));
    int pos = vertical ? u.top : u.left;
    for (int index : order) {
        TLayerElement* e = elements[static_cast<size_t>(index)];
        int size = vertical ? e->GetHeight() : e->GetWidth();
        if (vertical)
            e->SetTop(pos);
        else
            e->SetLeft(pos);
        pos += size + gap;
    }
}
