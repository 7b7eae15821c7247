#include "skin/SkinDkPanels.h"

#include <windowsx.h>

#include <algorithm>
#include <cmath>
#include <optional>

#include "platform/Exceptions.h"
#include "platform/Geometry.h"
#include "platform/ScopeGuards.h"
#include "skin/Skin.h"
#include "skin/SkinDock.h"
#include "skin/SkinTheme.h"
#include "toolbar/TBCommon.h"
#include "toolbar/TBDragLoops.h"

SF_IMPLEMENT_COMPONENT(TSkinMultiDock, TTBDock)
SF_IMPLEMENT_COMPONENT(TSkinDockablePanel, TTBCustomDockableWindow)

namespace {

// How close to an edge the pointer must be to grab it.
constexpr int EdgeGrip = 2;
// The docked frame's border on each side.
constexpr int DockedBorder = 2;
// What a dock being designed keeps free at its end, and the empty dock's thickness then.
constexpr int DesignSlack = 16;
constexpr int DesignEmptyThickness = 7;
// The theme's visual-styles metric.
constexpr int BoolMetricVisualStyles = 5;
// Posted by a multi-dock to itself when its scroll bar comes or goes: shown while the dock is
// being sized, the bar's frame change would be lost to the size change around it.
constexpr UINT DockScrollBarChanged = WM_USER + 0x557;

bool IsVerticalDock(const TTBDock* dock)
{
    return dock && dock->IsLeftRight();
}

// Where a mouse message of a capture loop happened, on the screen: its own position, not the
// cursor's now, which may have moved on since it was queued.
POINT MessageScreenPoint(const MSG& msg)
{
    POINT p{GET_X_LPARAM(msg.lParam), GET_Y_LPARAM(msg.lParam)};
    ClientToScreen(msg.hwnd, &p);
    return p;
}

// Moves `amount` (signed) into the entries visited in `order`, each within its bounds; what the
// entries could not take is returned.
int Absorb(std::vector<TSkinSplitEntry>& entries, const std::vector<size_t>& order, int amount)
{
    for (size_t i : order) {
        if (amount == 0)
            break;
        TSkinSplitEntry& e = entries[i];
        const int room = amount > 0 ? e.Max - e.Size : e.Min - e.Size;
        const int taken = amount > 0 ? std::min(amount, room) : std::max(amount, room);
        e.Size += taken;
        amount -= taken;
    }
    return amount;
}

int Room(const std::vector<TSkinSplitEntry>& entries, const std::vector<size_t>& order, bool grow)
{
    int room = 0;
    for (size_t i : order)
        room += grow ? entries[i].Max - entries[i].Size : entries[i].Size - entries[i].Min;
    return room;
}

// An inverted line two pixels thick across the screen, drawn again to take it away.
void InvertLine(const RECT& r)
{
    TWindowDC screen(nullptr);
    if (screen)
        PatBlt(screen.Get(), r.left, r.top, r.right - r.left, r.bottom - r.top, DSTINVERT);
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Length sharing

void ShareSplitLength(std::vector<TSkinSplitEntry>& entries, int length)
{
    long long sum = 0, sumMin = 0, sumMax = 0;
    for (TSkinSplitEntry& e : entries) {
        e.Max = std::max(e.Max, e.Min);
        e.Size = std::clamp(e.Size, e.Min, e.Max);
        sum += e.Size;
        sumMin += e.Min;
        sumMax += e.Max;
    }
    if (sum == length)
        return;
    if (sumMin >= length) {
        for (TSkinSplitEntry& e : entries)
            e.Size = e.Min;
        return;
    }
    if (sumMax <= length) {
        for (TSkinSplitEntry& e : entries)
            e.Size = e.Max;
        return;
    }
    while (sum != length) {
        const long long difference = length - sum;
        const bool grow = difference > 0;
        std::vector<TSkinSplitEntry*> movers;
        for (TSkinSplitEntry& e : entries)
            if (grow ? e.Size < e.Max : e.Size > e.Min)
                movers.push_back(&e);
        Assert(!movers.empty(), "Assertion failure (SkinDkPanels)");
        // Rounding the running total (ties to even) makes the integer steps add up exactly.
        const long double step = static_cast<long double>(difference) / static_cast<long double>(movers.size());
        long double running = 0;
        long long previous = 0;
        for (TSkinSplitEntry* e : movers) {
            running += step;
            const long long rounded = std::llrint(running);
            const long long wanted = e->Size + (rounded - previous);
            previous = rounded;
            const int size = static_cast<int>(std::clamp<long long>(wanted, e->Min, e->Max));
            sum += size - e->Size;
            e->Size = size;
        }
    }
}

int MoveSplitBoundary(std::vector<TSkinSplitEntry>& entries, int boundary, int delta)
{
    if (boundary <= 0 || boundary >= static_cast<int>(entries.size()) || delta == 0)
        return 0;
    std::vector<size_t> before, after;
    for (int i = boundary - 1; i >= 0; --i)
        before.push_back(static_cast<size_t>(i));
    for (size_t i = static_cast<size_t>(boundary); i < entries.size(); ++i)
        after.push_back(i);
    const bool grow = delta > 0;
    const int possible = std::min({std::abs(delta), Room(entries, before, grow), Room(entries, after, !grow)});
    const int moved = grow ? possible : -possible;
    Absorb(entries, before, moved);
    Absorb(entries, after, -moved);
    return moved;
}

// ---------------------------------------------------------------------------------------------
// Multi-dock

TSkinMultiDock::TSkinMultiDock(TComponent* owner) : TTBDock(owner)
{
    AddThemeListener(this);
    SetParentColor(false);
    TakeThemeColor();
}

void TSkinMultiDock::BeforeDestruction()
{
    RemoveThemeListener(this);
    TTBDock::BeforeDestruction();
}

void TSkinMultiDock::ValidateInsert(TControl* control)
{
    if (!Is<TSkinDockablePanel>(control))
        throw EInvalidOperation("Cannot insert " + control->ClassName() + " into TSkinMultiDock");
}

bool TSkinMultiDock::AcceptsWindow(TTBCustomDockableWindow* window)
{
    return Is<TSkinDockablePanel>(window) && TTBDock::AcceptsWindow(window);
}

void TSkinMultiDock::SetUseParentBackground(bool value)
{
    if (value == FUseParentBackground)
        return;
    FUseParentBackground = value;
    Invalidate();
}

void TSkinMultiDock::SetUseThemeColor(bool value)
{
    if (value == FUseThemeColor)
        return;
    FUseThemeColor = value;
    if (value)
        TakeThemeColor();
    Invalidate();
}

void TSkinMultiDock::TakeThemeColor()
{
    TSkinTheme* theme = CurrentTheme();
    if (!FUseThemeColor || !theme)
        return;
    TFlagScope setting(FSettingColor);
    SetColor(theme->QueryViewColor(vtMultiDock));
}

bool TSkinMultiDock::UsesBackground()
{
    if (FUseParentBackground)
        return true;
    TSkinTheme* theme = CurrentTheme();
    return FUseThemeColor && theme && theme->QueryBooleanMetric(BoolMetricVisualStyles);
}

std::vector<TSkinDockablePanel*> TSkinMultiDock::ShownPanels() const
{
    std::vector<TSkinDockablePanel*> panels;
    TTBCustomDockableWindow* dragged = nullptr;
    ptrdiff_t draggedIndex = 0;
    for (TTBCustomDockableWindow* w : GetAllWindows()) {
        auto* panel = dynamic_cast<TSkinDockablePanel*>(w);
        if (!panel || panel->GetParent() != this || !panel->GetVisible() || panel->HasState(csDestroying))
            continue;
        if (panel->MovingNow && panel->SplitDragging) {
            dragged = panel;
            draggedIndex = static_cast<ptrdiff_t>(panels.size());
        }
        panels.push_back(panel);
    }
    const bool loading = HasState(csLoading);
    auto key = [loading](const TSkinDockablePanel* p) {
        const int pos = p->GetDockPos();
        return loading && pos < 0 ? INT_MAX : pos;
    };
    std::stable_sort(panels.begin(), panels.end(),
                     [&](const TSkinDockablePanel* a, const TSkinDockablePanel* b) { return key(a) < key(b); });
    // A panel dragged within the dock keeps its place until it is dropped.
    if (dragged) {
        panels.erase(std::find(panels.begin(), panels.end(), dragged));
        panels.insert(panels.begin() + draggedIndex, static_cast<TSkinDockablePanel*>(dragged));
    }
    return panels;
}

void TSkinMultiDock::ArrangeLayout()
{
    std::vector<TSkinDockablePanel*> panels = ShownPanels();
    const bool vertical = IsLeftRight();
    const bool designing = HasState(csDesigning);
    if (panels.empty()) {
        if (designing) {
            if (vertical)
                ApplyDockSize(DesignEmptyThickness, FHeight);
            else
                ApplyDockSize(FWidth, DesignEmptyThickness);
            return;
        }
        TTBDock::ArrangeLayout();
        return;
    }
    const int available = std::max(RowSpace() - (designing ? DesignSlack : 0), 0);

    std::vector<TSkinSplitEntry> entries;
    for (TSkinDockablePanel* panel : panels)
        entries.push_back(panel->SplitEntry(vertical, available));
    ShareSplitLength(entries, available);

    int length = 0;
    for (const TSkinSplitEntry& e : entries)
        length += e.Size;
    UpdateScrollBar(length, available);

    const bool writePlacement = GetWritePlacement();
    int position = 0;
    for (size_t i = 0; i < panels.size(); ++i) {
        // One row only, whatever row a panel brought from another dock.
        panels[i]->SetDockRow(0);
        panels[i]->PlacedRow = 0;
        panels[i]->PlacedPos = position;
        if (writePlacement)
            panels[i]->SetDockPos(position);
        position += entries[i].Size;
    }

    int thickness = 0;
    if (ResizingPanel) {
        int smallestMax = INT_MAX, largestMin = 0;
        for (TSkinDockablePanel* panel : panels) {
            const TSkinSplitEntry across = panel->SplitEntry(!vertical, 0);
            largestMin = std::max(largestMin, across.Min);
            if (across.Max > across.Min)
                smallestMax = std::min(smallestMax, across.Max);
        }
        thickness = vertical ? ResizingPanel->GetWidth() : ResizingPanel->GetHeight();
        thickness = std::max(std::min(thickness, smallestMax), largestMin);
    } else {
        for (TSkinDockablePanel* panel : panels) {
            POINT base{0, 0};
            panel->QueryBaseSize(base);
            const SIZE nc = panel->GetDockedNCAreaSize(this);
            thickness = std::max<int>(thickness, vertical ? base.x + nc.cx : base.y + nc.cy);
        }
    }

    for (size_t i = 0; i < panels.size(); ++i) {
        TSkinDockablePanel* panel = panels[i];
        const int pos = panel->PlacedPos - FScrollOffset, size = entries[i].Size;
        TCountScope updating(panel->BoundsUpdating);
        if (vertical)
            panel->SetBounds(0, pos, thickness, size);
        else
            panel->SetBounds(pos, 0, size, thickness);
    }
    if (vertical)
        ApplyDockSize(FWidth - GetClientWidth() + thickness, FHeight);
    else
        ApplyDockSize(FWidth, FHeight - GetClientHeight() + thickness);
}

int TSkinMultiDock::ScrollBarKind() const
{
    return IsLeftRight() ? SB_VERT : SB_HORZ;
}

bool TSkinMultiDock::ScrollBarShown() const
{
    const LONG_PTR bar = IsLeftRight() ? WS_VSCROLL : WS_HSCROLL;
    return HandleAllocated() && (GetWindowLongPtrA(FHandle, GWL_STYLE) & bar);
}

void TSkinMultiDock::UpdateScrollBar(int length, int available)
{
    const bool overflow = length > available && HandleAllocated() && !HasState(csDesigning);
    FScrollOffset = overflow ? std::clamp(FScrollOffset, 0, length - available) : 0;
    if (overflow != ScrollBarShown()) {
        ShowScrollBar(FHandle, ScrollBarKind(), overflow);
        PostMessageA(FHandle, DockScrollBarChanged, 0, 0);
    }
    if (!overflow)
        return;
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    info.nMax = length - 1;
    info.nPage = static_cast<UINT>(available);
    info.nPos = FScrollOffset;
    SetScrollInfo(FHandle, ScrollBarKind(), &info, TRUE);
}

void TSkinMultiDock::Scroll(int request)
{
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_ALL;
    if (!GetScrollInfo(FHandle, ScrollBarKind(), &info))
        return;
    const int line = GetSystemMetrics(SM_CYSMCAPTION);
    const int page = static_cast<int>(info.nPage);
    int offset = FScrollOffset;
    switch (request) {
    case SB_LINEUP: offset -= line; break;
    case SB_LINEDOWN: offset += line; break;
    case SB_PAGEUP: offset -= page; break;
    case SB_PAGEDOWN: offset += page; break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: offset = info.nTrackPos; break;
    case SB_TOP: offset = 0; break;
    case SB_BOTTOM: offset = info.nMax; break;
    default: return;
    }
    offset = std::clamp(offset, 0, std::max(info.nMax + 1 - page, 0));
    if (offset == FScrollOffset)
        return;
    FScrollOffset = offset;
    LayOutToolbars();
}

void TSkinMultiDock::Dispatch(TMessage& m)
{
    switch (m.Msg) {
    case WM_NCCALCSIZE:
        TTBDock::Dispatch(m);
        // The dock's own frame leaves no room for its scroll bar; the system draws and tracks it
        // beside the client area.
        if (ScrollBarShown()) {
            auto* r = reinterpret_cast<RECT*>(m.LParam);
            if (IsLeftRight())
                r->right = std::max(r->left, r->right - GetSystemMetrics(SM_CXVSCROLL));
            else
                r->bottom = std::max(r->top, r->bottom - GetSystemMetrics(SM_CYHSCROLL));
        }
        return;
    case WM_NCPAINT:
        if (ScrollBarShown())
            DefaultHandler(m);
        TTBDock::Dispatch(m);
        return;
    case DockScrollBarChanged:
        SetWindowPos(FHandle, nullptr, 0, 0, 0, 0,
                     SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        LayOutToolbars();
        return;
    case WM_VSCROLL:
    case WM_HSCROLL:
        // The dock's own bar; a child's scroll messages are the child's business.
        if (m.LParam == 0 && (m.Msg == WM_VSCROLL) == IsLeftRight()) {
            Scroll(LOWORD(m.WParam));
            m.Result = 0;
            return;
        }
        TTBDock::Dispatch(m);
        return;
    case TBM_QUERYVIEWTYPE:
        m.Result = vtMultiDock;
        return;
    case TBM_NEWTHEME:
        TakeThemeColor();
        Invalidate();
        return;
    case WM_ERASEBKGND:
        EraseBackground(m);
        return;
    case WM_MOVE:
    case WM_SIZE:
        TTBDock::Dispatch(m);
        // Transparent parts of the panels show what lies behind the dock, which has moved.
        if (UsesBackground())
            for (TSkinDockablePanel* panel : ShownPanels())
                if (panel->HandleAllocated())
                    RedrawWindow(panel->GetHandle(), nullptr, nullptr,
                                 RDW_FRAME | RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
        return;
    default:
        TTBDock::Dispatch(m);
    }
}

void TSkinMultiDock::EraseBackground(TMessage& m)
{
    HDC dc = reinterpret_cast<HDC>(m.WParam);
    const RECT client = GetClientRect();
    if (HasState(csDesigning) && ShownPanels().empty()) {
        FillRect(dc, &client, GetSysColorBrush(COLOR_BTNHIGHLIGHT));
    } else if (FUseParentBackground) {
        PaintParentBackdrop(this, dc, client);
    } else if (UsesBackground()) {
        CurrentTheme()->DrawDockBackground(dc, client, client, static_cast<int>(GetPosition()) + 1);
    } else if (HasBackgroundImage()) {
        // The framework paints an assigned background object in its own coordinates.
        TTBDock::Dispatch(m);
        return;
    } else {
        TGdiObject<HBRUSH> brush(CreateSolidBrush(static_cast<COLORREF>(ColorToRGB(GetColor()))));
        FillRect(dc, &client, brush.Get());
    }
    m.Result = 1;
}

// ---------------------------------------------------------------------------------------------
// Dockable panel: construction and properties

TSkinDockablePanel::TSkinDockablePanel(TComponent* owner) : TTBCustomDockableWindow(owner)
{
    SetClassDefaults({.CloseButtonWhenDocked = true, .DblClickUndock = false, .FullSize = true});
    SetBounds(FLeft, FTop, 128, 128);
    SetParentColor(false);
    AddThemeListener(this);
    TakeThemeColor();
}

void TSkinDockablePanel::BeforeDestruction()
{
    RemoveThemeListener(this);
    TTBCustomDockableWindow::BeforeDestruction();
}

TSkinMultiDock* TSkinDockablePanel::MultiDock() const
{
    return GetDocked() ? dynamic_cast<TSkinMultiDock*>(GetCurrentDock()) : nullptr;
}

bool TSkinDockablePanel::DockedLeftRight() const
{
    return GetDocked() && IsVerticalDock(GetCurrentDock());
}

bool TSkinDockablePanel::DockedTopBottom() const
{
    return GetDocked() && !IsVerticalDock(GetCurrentDock());
}

uint32_t TSkinDockablePanel::ViewType() const
{
    uint32_t type = vtDockPanel;
    if (GetFloating())
        type |= vtFloating;
    if (GetResizable())
        type |= vtResizable;
    return type;
}

void TSkinDockablePanel::SetOwnSize(int width, int height)
{
    TFlagScope setting(FSettingSize);
    SetBounds(FLeft, FTop, width, height);
}

void TSkinDockablePanel::RecomputeFrame()
{
    if (GetDocked() && HandleAllocated())
        SetWindowPos(GetHandle(), nullptr, 0, 0, 0, 0,
                     SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TSkinDockablePanel::SetBorderSize(int value)
{
    if (value == FBorderSize)
        return;
    FBorderSize = value;
    Realign();
}

void TSkinDockablePanel::SetCaptionRotation(TDPCaptionRotation value)
{
    if (value == FCaptionRotation)
        return;
    FCaptionRotation = value;
    RecomputeFrame();
}

void TSkinDockablePanel::SetShowCaptionWhenDocked(bool value)
{
    if (value == FShowCaptionWhenDocked)
        return;
    FShowCaptionWhenDocked = value;
    RecomputeFrame();
}

void TSkinDockablePanel::SetDockedWidth(int value)
{
    value = std::max(value, FMinClientWidth);
    if (FMaxClientWidth > 0)
        value = std::min(value, FMaxClientWidth);
    if (value == FDockedWidth)
        return;
    FDockedWidth = value;
    if (!DockedLeftRight())
        return;
    SetOwnSize(value + NCSize().cx, FHeight);
    GetCurrentDock()->LayOutToolbars();
}

void TSkinDockablePanel::SetDockedHeight(int value)
{
    value = std::max(value, FMinClientHeight);
    if (FMaxClientHeight > 0)
        value = std::min(value, FMaxClientHeight);
    if (value == FDockedHeight)
        return;
    FDockedHeight = value;
    if (!DockedTopBottom())
        return;
    SetOwnSize(FWidth, value + NCSize().cy);
    GetCurrentDock()->LayOutToolbars();
}

void TSkinDockablePanel::SetFloatingWidth(int value)
{
    value = std::max(value, 0);
    if (!GetDocked())
        value = std::max(value, FMinClientWidth);
    if (value == FFloatingWidth)
        return;
    FFloatingWidth = value;
    if (!GetDocked())
        SetOwnSize(value, FHeight);
}

void TSkinDockablePanel::SetFloatingHeight(int value)
{
    value = std::max(value, 0);
    if (!GetDocked())
        value = std::max(value, FMinClientHeight);
    if (value == FFloatingHeight)
        return;
    FFloatingHeight = value;
    if (!GetDocked())
        SetOwnSize(FWidth, value);
}

void TSkinDockablePanel::SetMinClientWidth(int value)
{
    FMinClientWidth = std::max(value, 8);
}

void TSkinDockablePanel::SetMinClientHeight(int value)
{
    FMinClientHeight = std::max(value, 8);
}

void TSkinDockablePanel::SetSplitHeight(int value)
{
    value = std::max(value, 0);
    if (value == FSplitHeight)
        return;
    FSplitHeight = value;
    if (MultiDock() && DockedLeftRight())
        GetCurrentDock()->LayOutToolbars();
}

void TSkinDockablePanel::SetSplitWidth(int value)
{
    value = std::max(value, 0);
    if (value == FSplitWidth)
        return;
    FSplitWidth = value;
    if (MultiDock() && DockedTopBottom())
        GetCurrentDock()->LayOutToolbars();
}

void TSkinDockablePanel::SetSnapDistance(int value)
{
    FSnapDistance = std::max(value, 0);
    ShareSnapDistance(this, FSnapDistance);
}

TClass TSkinDockablePanel::QueryFloatingParentClass()
{
    return TSkinFloatingWindowParent::StaticClass();
}

void TSkinDockablePanel::SetParent(TWinControl* parent)
{
    // Floating sizes not yet known come from the dock the panel is about to leave.
    if (parent && Is<TTBFloatingWindowParent>(parent))
        FillFloatingSize();
    TTBCustomDockableWindow::SetParent(parent);
    ShareSnapDistance(this, FSnapDistance);
}

void TSkinDockablePanel::SetUseThemeColor(bool value)
{
    if (value == FUseThemeColor)
        return;
    FUseThemeColor = value;
    if (value)
        TakeThemeColor();
}

void TSkinDockablePanel::TakeThemeColor()
{
    TSkinTheme* theme = CurrentTheme();
    if (!FUseThemeColor || !theme)
        return;
    TFlagScope setting(FSettingColor);
    SetColor(theme->QueryViewColor(ViewType()));
}

// ---------------------------------------------------------------------------------------------
// Dockable panel: sizes

int TSkinDockablePanel::CaptionHeight() const
{
    return GetSystemMetrics(SM_CYSMCAPTION);
}

bool TSkinDockablePanel::CaptionIsVertical()
{
    if (!GetDocked())
        return false;
    switch (FCaptionRotation) {
    case dpcrAlwaysVert:
        return true;
    case dpcrAuto:
        return !IsVerticalDock(GetCurrentDock());
    default:
        return false;
    }
}

SIZE TSkinDockablePanel::GetDockedNCAreaSize(const TTBDock* dock)
{
    if (!dock)
        return SIZE{0, 0};
    SIZE nc{2 * DockedBorder, 2 * DockedBorder};
    if (!FShowCaptionWhenDocked)
        return nc;
    const bool vertical =
        FCaptionRotation == dpcrAlwaysVert || (FCaptionRotation == dpcrAuto && !IsVerticalDock(dock));
    (vertical ? nc.cx : nc.cy) += CaptionHeight();
    return nc;
}

SIZE TSkinDockablePanel::NCSize()
{
    return GetDocked() ? GetDockedNCAreaSize(GetCurrentDock()) : SIZE{0, 0};
}

POINT TSkinDockablePanel::ComputeArrangement(bool, TTBDockType dockType, bool, TTBDock* dock)
{
    const SIZE nc = GetDockedNCAreaSize(dock);
    switch (dockType) {
    case dtLeftRight:
        return POINT{FDockedWidth, dock ? std::max<LONG>(dock->GetClientHeight() - nc.cy, 0) : FDockedHeight};
    case dtTopBottom:
        return POINT{dock ? std::max<LONG>(dock->GetClientWidth() - nc.cx, 0) : FDockedWidth, FDockedHeight};
    default:
        break;
    }
    FillFloatingSize();
    return POINT{FFloatingWidth, FFloatingHeight};
}

void TSkinDockablePanel::FillFloatingSize()
{
    const SIZE current = NCSize();
    if (FFloatingWidth == 0)
        FFloatingWidth = DockedTopBottom() ? FWidth - current.cx : FDockedWidth;
    if (FFloatingHeight == 0)
        FFloatingHeight = DockedLeftRight() ? FHeight - current.cy : FDockedHeight;
}

void TSkinDockablePanel::QueryBaseSize(POINT& size)
{
    size = ComputeArrangement(false, CurrentDockType(), GetFloating(), GetDocked() ? GetCurrentDock() : nullptr);
}

void TSkinDockablePanel::QueryMinMaxSize(int& minClientWidth, int& minClientHeight, int& maxClientWidth,
                                         int& maxClientHeight)
{
    minClientWidth = FMinClientWidth;
    minClientHeight = FMinClientHeight;
    maxClientWidth = FMaxClientWidth;
    maxClientHeight = FMaxClientHeight;
}

void TSkinDockablePanel::ConstrainedResize(int& width, int& height)
{
    TTBCustomDockableWindow::ConstrainedResize(width, height);
    const SIZE nc = NCSize();
    auto limit = [](int& value, int minimum, int maximum, int frame) {
        if (minimum > 0)
            value = std::max(value, minimum + frame);
        if (maximum > 0)
            value = std::min(value, maximum + frame);
    };
    limit(width, FMinClientWidth, FMaxClientWidth, nc.cx);
    limit(height, FMinClientHeight, FMaxClientHeight, nc.cy);
}

TSkinSplitEntry TSkinDockablePanel::SplitEntry(bool vertical, int available)
{
    const SIZE nc = NCSize();
    TSkinSplitEntry e;
    e.Min = vertical ? FMinClientHeight + nc.cy : FMinClientWidth + nc.cx;
    const int maxClient = vertical ? FMaxClientHeight : FMaxClientWidth;
    e.Max = maxClient > 0 ? maxClient + (vertical ? nc.cy : nc.cx) : 0;
    if (e.Max < e.Min)
        e.Max = std::max(available, e.Min);
    e.Size = std::clamp(vertical ? FSplitHeight : FSplitWidth, e.Min, e.Max);
    return e;
}

void TSkinDockablePanel::AdjustNewSize(int& newWidth, int& newHeight)
{
    if (FSettingSize)
        return;
    const SIZE nc = NCSize();
    if (DockedLeftRight()) {
        FDockedWidth = newWidth - nc.cx;
    } else if (DockedTopBottom()) {
        FDockedHeight = newHeight - nc.cy;
    } else if (GetFloating()) {
        FFloatingWidth = newWidth;
        FFloatingHeight = newHeight;
    }
}

void TSkinDockablePanel::AdjustClientRect(RECT& rect)
{
    TTBCustomDockableWindow::AdjustClientRect(rect);
    InflateRect(&rect, -FBorderSize, -FBorderSize);
}

bool TSkinDockablePanel::AcceptsDock(TTBDock* dock)
{
    if (!TTBCustomDockableWindow::AcceptsDock(dock))
        return false;
    const TDockKind kind = Is<TSkinMultiDock>(dock) ? dkMultiDock : dkStandardDock;
    return (FSupportedDocks & DockKindSet(kind)) != 0;
}

void TSkinDockablePanel::LoadPosition(const TTBPositionData& data)
{
    TTBCustomDockableWindow::LoadPosition(data);
    // Saved sizes obey the setters' limits like any other. One larger than the screens can show
    // comes from damaged data (or from screens no longer there) and would put the panel's edges
    // out of reach.
    const int screenWidth = GetSystemMetrics(SM_CXVIRTUALSCREEN);
    const int screenHeight = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    auto size = [&data](const char* name, int current, int largest) {
        return std::min(data.ReadInt(name, current), largest);
    };
    SetDockedWidth(size("DPDockedWidth", FDockedWidth, screenWidth));
    SetDockedHeight(size("DPDockedHeight", FDockedHeight, screenHeight));
    SetFloatingWidth(size("DPFloatingWidth", FFloatingWidth, screenWidth));
    SetFloatingHeight(size("DPFloatingHeight", FFloatingHeight, screenHeight));
    SetSplitWidth(size("DPSplitWidth", FSplitWidth, screenWidth));
    SetSplitHeight(size("DPSplitHeight", FSplitHeight, screenHeight));
}

void TSkinDockablePanel::StorePosition(const TTBPositionData& data)
{
    TTBCustomDockableWindow::StorePosition(data);
    data.WriteInt("DPDockedWidth", FDockedWidth);
    data.WriteInt("DPDockedHeight", FDockedHeight);
    data.WriteInt("DPFloatingWidth", FFloatingWidth);
    data.WriteInt("DPFloatingHeight", FFloatingHeight);
    data.WriteInt("DPSplitWidth", FSplitWidth);
    data.WriteInt("DPSplitHeight", FSplitHeight);
}

// ---------------------------------------------------------------------------------------------
// Dockable panel: frame

RECT TSkinDockablePanel::DockedCloseButtonBounds(bool)
{
    const int side = CaptionHeight() - 1;
    if (CaptionIsVertical()) {
        const int bottom = GetClientHeight() + DockedBorder;
        return RECT{DockedBorder, bottom - side, DockedBorder + side, bottom};
    }
    const int right = GetClientWidth() + DockedBorder;
    return RECT{right - side, DockedBorder, right, DockedBorder + side};
}

void TSkinDockablePanel::FillPanelRecord(TSkinDockPanelInfo& info)
{
    info = TSkinDockPanelInfo{};
    info.Window = HandleAllocated() ? GetHandle() : nullptr;
    info.ViewType = ViewType();
    TTBDock* dock = GetDocked() ? GetCurrentDock() : nullptr;
    if (dock) {
        info.CaptionHorizontal = !CaptionIsVertical();
        info.AllowDrag = dock->GetAllowDrag();
    }
    info.BorderStyle = static_cast<uint8_t>(GetBorderStyle());
    if (TSkinTheme* theme = CurrentTheme())
        info.BorderSize = theme->QueryViewBorder(info.ViewType);
    info.ClientWidth = GetClientWidth();
    info.ClientHeight = GetClientHeight();
    info.ShowCaption = FShowCaptionWhenDocked;
    if (FShowCaptionWhenDocked && GetCloseButtonWhenDocked())
        info.CloseButtonState = 1 | (CloseButtonPressed ? 4 : 0) | (CloseButtonHot ? 2 : 0);
    info.Color = FUseThemeColor ? clViewColor : GetColor();
    info.Caption = GetCaption();
}

void TSkinDockablePanel::DrawNCArea(bool useGivenDC, HDC dc, HRGN clipRegion)
{
    TSkinTheme* theme = CurrentTheme();
    if (!GetDocked() || !HandleAllocated() || !theme)
        return;
    TFrameDC frame(GetHandle(), useGivenDC, dc, clipRegion);
    dc = frame.Get();
    if (!dc)
        return;
    const RECT& window = frame.GetWindow();
    TSkinDockPanelInfo info;
    FillPanelRecord(info);
    theme->DrawPanelFrame(dc, window, info);
}

// A visual style brings other frame sizes: the floating form keeps the panel's size as its client
// area and its centre where it was.
void TSkinDockablePanel::RefitFloatingFrame()
{
    TTBFloatingWindowParent* form = GetFloatForm();
    if (!GetFloating() || !form || !form->HandleAllocated())
        return;
    const HWND wnd = form->GetHandle();
    SetWindowPos(wnd, nullptr, 0, 0, 0, 0, SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    RECT r{};
    GetWindowRect(wnd, &r);
    const SIZE nc = FloatingNCSize();
    const int width = FWidth + nc.cx, height = FHeight + nc.cy;
    const POINT at{r.left - (width - RectWidth(r)) / 2, r.top - (height - RectHeight(r)) / 2};
    form->SetBounds(at.x, at.y, width, height);
    SetFloatPoint(at);
    RedrawWindow(wnd, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_ALLCHILDREN);
}

// ---------------------------------------------------------------------------------------------
// Dockable panel: hit testing and messages

LRESULT TSkinDockablePanel::HitTest(POINT p)
{
    TTBDock* dock = GetCurrentDock();
    RECT w{};
    GetWindowRect(GetHandle(), &w);
    if (!PointInRect(w, p))
        return -1;
    if (GetResizable() || HasState(csDesigning)) {
        switch (dock->GetPosition()) {
        case dpTop:
            if (p.y >= w.bottom - EdgeGrip)
                return HTBOTTOM;
            break;
        case dpBottom:
            if (p.y < w.top + EdgeGrip)
                return HTTOP;
            break;
        case dpLeft:
            if (p.x >= w.right - EdgeGrip)
                return HTRIGHT;
            break;
        case dpRight:
            if (p.x < w.left + EdgeGrip)
                return HTLEFT;
            break;
        }
    }
    if (TSkinMultiDock* multi = MultiDock()) {
        const std::vector<TSkinDockablePanel*> panels = multi->ShownPanels();
        const auto at = std::find(panels.begin(), panels.end(), this);
        const bool first = at == panels.begin(), last = at == panels.end() || at + 1 == panels.end();
        const bool vertical = multi->IsLeftRight();
        if (!first && (vertical ? p.y < w.top + EdgeGrip : p.x < w.left + EdgeGrip))
            return vertical ? htSplitTop : htSplitLeft;
        if (!last && (vertical ? p.y >= w.bottom - EdgeGrip : p.x >= w.right - EdgeGrip))
            return vertical ? htSplitBottom : htSplitRight;
    }
    RECT inner = w;
    InflateRect(&inner, -DockedBorder, -DockedBorder);
    if (!FShowCaptionWhenDocked || !PointInRect(inner, p))
        return -1;
    const bool vertical = CaptionIsVertical();
    RECT caption = inner;
    if (vertical)
        caption.right = caption.left + CaptionHeight();
    else
        caption.bottom = caption.top + CaptionHeight();
    if (!PointInRect(caption, p))
        return -1;
    RECT close = DockedCloseButtonBounds(false);
    OffsetRect(&close, w.left, w.top);
    if (GetCloseButtonWhenDocked() && PointInRect(close, p))
        return htPanelClose;
    return htPanelCaption;
}

bool TSkinDockablePanel::SetHitCursor(int hitCode)
{
    LPCSTR cursor = nullptr;
    switch (hitCode) {
    case htPanelCaption:
        if (GetCurrentDock()->GetAllowDrag())
            cursor = reinterpret_cast<LPCSTR>(IDC_ARROW);
        break;
    case htSplitLeft:
    case htSplitRight:
        cursor = reinterpret_cast<LPCSTR>(IDC_SIZEWE);
        break;
    case htSplitTop:
    case htSplitBottom:
        cursor = reinterpret_cast<LPCSTR>(IDC_SIZENS);
        break;
    default:
        break;
    }
    if (!cursor)
        return false;
    ::SetCursor(LoadCursorA(nullptr, cursor));
    return true;
}

void TSkinDockablePanel::Dispatch(TMessage& m)
{
    switch (m.Msg) {
    case TBM_QUERYVIEWTYPE:
        m.Result = ViewType();
        return;
    case TBM_NEWTHEME:
        if (m.WParam == scThemeDone) {
            RecomputeFrame();
            TakeThemeColor();
            RefitFloatingFrame();
            Invalidate();
        }
        return;
    case CM_COLORCHANGED:
        TTBCustomDockableWindow::Dispatch(m);
        if (!FSettingColor) {
            FUseThemeColor = false;
            if (HandleAllocated())
                RedrawWindow(GetHandle(), nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_NOCHILDREN);
        }
        return;
    case CM_TEXTCHANGED:
        // The docked caption is the panel's own frame; a floating form redraws its own caption.
        TTBCustomDockableWindow::Dispatch(m);
        if (GetDocked() && HandleAllocated())
            RedrawWindow(GetHandle(), nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_NOCHILDREN);
        return;
    case WM_NCCALCSIZE:
        if (!GetDocked())
            break;
        {
            auto* r = reinterpret_cast<RECT*>(m.LParam);
            InflateRect(r, -DockedBorder, -DockedBorder);
            if (FShowCaptionWhenDocked)
                (CaptionIsVertical() ? r->left : r->top) += CaptionHeight();
            r->right = std::max<LONG>(r->right, r->left);
            r->bottom = std::max<LONG>(r->bottom, r->top);
            m.Result = 0;
        }
        return;
    case WM_NCHITTEST:
        if (GetDocked() && HandleAllocated()) {
            const LRESULT code = HitTest(POINT{GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam)});
            if (code >= 0) {
                m.Result = code;
                return;
            }
        }
        break;
    case WM_SETCURSOR:
        if (GetDocked() && SetHitCursor(static_cast<short>(LOWORD(m.LParam)))) {
            m.Result = 1;
            return;
        }
        break;
    case WM_NCLBUTTONDOWN: {
        const int code = static_cast<int>(m.WParam);
        if (GetDocked() && code >= HTLEFT && code <= HTBOTTOM) {
            ResizeEdge(code, POINT{GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam)});
            return;
        }
        if (GetDocked() && code >= htSplitLeft && code <= htSplitBottom) {
            DragSplitter(code, POINT{GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam)});
            return;
        }
        if (code == htPanelCaption) {
            if (GetDocked() && !GetCurrentDock()->GetAllowDrag())
                return;
            ::SetCursor(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_SIZEALL)));
        }
        break;
    }
    default:
        break;
    }
    TTBCustomDockableWindow::Dispatch(m);
}

// ---------------------------------------------------------------------------------------------
// Dockable panel: the resize loops

int TSkinDockablePanel::FireResizing(bool vertical, TSkinResizingStage stage, int size, bool& allow)
{
    allow = true;
    OnDockedResizing(this, vertical, allow, stage, size);
    return size;
}

bool TSkinDockablePanel::BeginDockedResizing(bool vertical)
{
    bool allow = true;
    const int size = FireResizing(vertical, rsBeginResizing, vertical ? FHeight : FWidth, allow);
    if (allow && size != (vertical ? FHeight : FWidth))
        SetBounds(FLeft, FTop, vertical ? FWidth : size, vertical ? size : FHeight);
    return allow;
}

bool TSkinDockablePanel::DockedResizing(bool vertical, RECT& rect)
{
    Assert(!IsRectEmpty(&rect), "Assertion failure (SkinDkPanels)");
    const SIZE nc = NCSize();
    const int frame = vertical ? nc.cy : nc.cx;
    const int minimum = vertical ? FMinClientHeight : FMinClientWidth;
    const int maximum = vertical ? FMaxClientHeight : FMaxClientWidth;
    int client = (vertical ? RectHeight(rect) : RectWidth(rect)) - frame;
    client = std::max(client, minimum);
    if (maximum > minimum)
        client = std::min(client, maximum);
    bool allow = true;
    const int size = FireResizing(vertical, rsResizing, client + frame, allow);
    if (vertical)
        rect.bottom = rect.top + size;
    else
        rect.right = rect.left + size;
    return allow;
}

bool TSkinDockablePanel::EndDockedResizing(bool vertical)
{
    bool allow = true;
    const int size = FireResizing(vertical, rsEndResizing, vertical ? FHeight : FWidth, allow);
    if (allow && size != (vertical ? FHeight : FWidth))
        SetBounds(FLeft, FTop, vertical ? FWidth : size, vertical ? size : FHeight);
    return allow;
}

void TSkinDockablePanel::ResizeEdge(int hitCode, POINT origin)
{
    if (!GetDocked() || !HandleAllocated())
        return;
    const bool vertical = hitCode == HTTOP || hitCode == HTBOTTOM;
    if (!BeginDockedResizing(vertical))
        return;
    std::weak_ptr<int> alive = LifeToken();
    HWND wnd = GetHandle();
    TTBDock* dock = GetCurrentDock();
    auto* multi = dynamic_cast<TSkinMultiDock*>(dock);
    RECT start{};
    GetWindowRect(wnd, &start);
    const int startClient = vertical ? FDockedHeight : FDockedWidth;
    const SIZE nc = NCSize();
    const int frame = vertical ? nc.cy : nc.cx;

    auto apply = [&](int outer) {
        if (vertical)
            SetDockedHeight(outer - frame);
        else
            SetDockedWidth(outer - frame);
    };
    // The proposed window rectangle for the cursor at p, with the dragged edge where the cursor put it.
    auto propose = [&](POINT p, RECT& r) {
        r = start;
        switch (hitCode) {
        case HTLEFT:
            r.left = std::min<LONG>(start.left + (p.x - origin.x), r.right - 1);
            break;
        case HTRIGHT:
            r.right = std::max<LONG>(start.right + (p.x - origin.x), r.left + 1);
            break;
        case HTTOP:
            r.top = std::min<LONG>(start.top + (p.y - origin.y), r.bottom - 1);
            break;
        default:
            r.bottom = std::max<LONG>(start.bottom + (p.y - origin.y), r.top + 1);
            break;
        }
        // The panel keeps its place on the dock: the size is what counts.
        return DockedResizing(vertical, r);
    };
    auto edgeLine = [&](int outer) {
        RECT line = start;
        switch (hitCode) {
        case HTLEFT:
            line.left = start.right - outer;
            line.right = line.left + 2;
            break;
        case HTRIGHT:
            line.left = start.left + outer - 2;
            line.right = line.left + 2;
            break;
        case HTTOP:
            line.top = start.bottom - outer;
            line.bottom = line.top + 2;
            break;
        default:
            line.top = start.top + outer - 2;
            line.bottom = line.top + 2;
            break;
        }
        return line;
    };

    std::optional<RECT> shownLine;
    auto hideLine = [&] {
        if (shownLine)
            InvertLine(*shownLine);
        shownLine.reset();
    };
    int pending = vertical ? RectHeight(start) : RectWidth(start);
    bool cancelled = false;
    bool released = false;
    {
        TMouseCapture capture(wnd);
        if (multi)
            multi->ResizingPanel = this;
        // The dock may outlive the panel, which can go while the loop dispatches.
        const std::weak_ptr<int> dockAlive = multi ? multi->LifeToken() : std::weak_ptr<int>();
        TScopeExit stopResizing([&] {
            if (!dockAlive.expired())
                multi->ResizingPanel = nullptr;
        });
        released = RunCaptureLoop(wnd, alive, [&](const MSG& msg) {
            if (msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE) {
                cancelled = true;
                return false;
            }
            if (msg.message != WM_MOUSEMOVE)
                return true;
            RECT r{};
            if (!propose(MessageScreenPoint(msg), r))
                return true;
            pending = vertical ? RectHeight(r) : RectWidth(r);
            if (FSmoothDockedResize) {
                apply(pending);
            } else {
                hideLine();
                shownLine = edgeLine(pending);
                InvertLine(*shownLine);
            }
            return true;
        });
        hideLine();
    }
    if (alive.expired())
        return;
    if (cancelled || !released) {
        if (cancelled)
            apply(startClient + frame);
    } else if (!FSmoothDockedResize) {
        apply(pending);
    }
    if (multi)
        multi->LayOutToolbars();
    EndDockedResizing(vertical);
}

void TSkinDockablePanel::DragSplitter(int hitCode, POINT origin)
{
    TSkinMultiDock* multi = MultiDock();
    if (!multi || !HandleAllocated())
        return;
    std::vector<TSkinDockablePanel*> panels = multi->ShownPanels();
    const auto at = std::find(panels.begin(), panels.end(), this);
    if (at == panels.end())
        return;
    const bool vertical = multi->IsLeftRight();
    const bool trailing = hitCode == htSplitRight || hitCode == htSplitBottom;
    const int boundary = static_cast<int>(at - panels.begin()) + (trailing ? 1 : 0);
    const int available = multi->RowSpace();

    std::vector<TSkinSplitEntry> start;
    std::vector<int> savedSplits;
    for (TSkinDockablePanel* panel : panels) {
        TSkinSplitEntry e = panel->SplitEntry(vertical, available);
        e.Size = vertical ? panel->GetHeight() : panel->GetWidth();
        start.push_back(e);
        savedSplits.push_back(vertical ? panel->FSplitHeight : panel->FSplitWidth);
    }
    std::vector<std::weak_ptr<int>> alivePanels;
    for (TSkinDockablePanel* panel : panels)
        alivePanels.push_back(panel->LifeToken());
    auto applySizes = [&](const std::vector<TSkinSplitEntry>& sizes, bool restore) {
        TUpdateScope<TTBDock> held(multi);
        for (size_t i = 0; i < panels.size(); ++i) {
            if (alivePanels[i].expired())
                continue;
            const int size = restore ? savedSplits[i] : sizes[i].Size;
            if (vertical)
                panels[i]->SetSplitHeight(size);
            else
                panels[i]->SetSplitWidth(size);
        }
    };
    // The boundary's line on the screen for the lengths in hand.
    RECT dockRect{};
    GetWindowRect(multi->GetHandle(), &dockRect);
    const POINT dockOrigin = multi->ClientToScreen(POINT{0, 0});
    auto boundaryLine = [&](const std::vector<TSkinSplitEntry>& sizes) {
        int offset = 0;
        for (int i = 0; i < boundary; ++i)
            offset += sizes[static_cast<size_t>(i)].Size;
        if (vertical)
            return RECT{dockRect.left, dockOrigin.y + offset - 1, dockRect.right, dockOrigin.y + offset + 1};
        return RECT{dockOrigin.x + offset - 1, dockRect.top, dockOrigin.x + offset + 1, dockRect.bottom};
    };

    std::weak_ptr<int> alive = LifeToken();
    std::weak_ptr<int> dockAlive = multi->LifeToken();
    HWND wnd = GetHandle();
    std::vector<TSkinSplitEntry> sizes = start;
    std::optional<RECT> shownLine;
    auto hideLine = [&] {
        if (shownLine)
            InvertLine(*shownLine);
        shownLine.reset();
    };
    bool cancelled = false;
    bool released = false;
    {
        TMouseCapture capture(wnd);
        released = RunCaptureLoop(wnd, alive, [&](const MSG& msg) {
            if (msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE) {
                cancelled = true;
                return false;
            }
            if (msg.message != WM_MOUSEMOVE || dockAlive.expired())
                return true;
            const POINT p = MessageScreenPoint(msg);
            sizes = start;
            MoveSplitBoundary(sizes, boundary, vertical ? p.y - origin.y : p.x - origin.x);
            if (FSmoothDockedResize) {
                applySizes(sizes, false);
            } else {
                hideLine();
                shownLine = boundaryLine(sizes);
                InvertLine(*shownLine);
            }
            return true;
        });
        hideLine();
    }
    if (dockAlive.expired())
        return;
    if (cancelled)
        applySizes(sizes, true);
    else if (released && !FSmoothDockedResize)
        applySizes(sizes, false);
}
