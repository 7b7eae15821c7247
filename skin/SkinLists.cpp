#include "skin/SkinLists.h"

#include <vsstyle.h>

#include <algorithm>
#include <cmath>

#include "platform/ScopeGuards.h"
#include "platform/Timers.h"
#include "skin/Skin.h"
#include "skin/SkinUtils.h"
#include "toolbar/TBView.h"

SF_IMPLEMENT_ABSTRACT(TSkinScrollBar, TObject)
SF_IMPLEMENT_ABSTRACT(TSkinCustomList, TSkinCustomItem)
SF_IMPLEMENT_COMPONENT(TSkinStringList, TSkinCustomList)
SF_IMPLEMENT_ABSTRACT(TSkinCustomListViewer, TSkinItemViewer)

namespace {

constexpr int MinTrack = 13;
constexpr int MinThumb = 8;
constexpr UINT FirstRepeatDelay = 500;
constexpr UINT RepeatInterval = 100;
constexpr int WheelStep = 120;

int Width(const RECT& r)
{
    return r.right - r.left;
}

int Height(const RECT& r)
{
    return r.bottom - r.top;
}

int RoundedDiv(long long a, long long b)
{
    return b == 0 ? 0 : int(std::llround(double(a) / double(b)));
}

bool Holds(const RECT& r, POINT p)
{
    return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// TSkinScrollBar

TSkinScrollBar::~TSkinScrollBar()
{
    if (FTimerWindow)
        DeallocateHWnd(FTimerWindow);
}

void TSkinScrollBar::SetBounds(const RECT& value)
{
    FBounds = value;
    UpdateLayout();
}

void TSkinScrollBar::SetKind(TSkinScrollBarKind value)
{
    FKind = value;
    UpdateLayout();
}

void TSkinScrollBar::SetRange(int value)
{
    FRange = std::max(value, 0);
    FPosition = std::clamp(FPosition, 0, std::max(FRange - EffectiveWindow(), 0));
    UpdateLayout();
}

void TSkinScrollBar::SetWindow(int value)
{
    FWindow = value;
    FPosition = std::clamp(FPosition, 0, std::max(FRange - EffectiveWindow(), 0));
    UpdateLayout();
}

void TSkinScrollBar::SetPosition(int value)
{
    value = std::clamp(value, 0, std::max(FRange - EffectiveWindow(), 0));
    if (value == FPosition)
        return;
    FPosition = value;
    UpdateLayout();
    if (FUserChange) {
        Redraw();
        OnChange(this);
    }
}

void TSkinScrollBar::PositionFromUser(int value)
{
    TFlagScope user(FUserChange);
    SetPosition(value);
}

int TSkinScrollBar::TrackLength() const
{
    const int length = FKind == TSkinScrollBarKind::sbkVertical ? Height(FBounds) : Width(FBounds);
    const int thickness = FKind == TSkinScrollBarKind::sbkVertical ? Width(FBounds) : Height(FBounds);
    const int arrow = 2 * thickness >= length - 2 ? (length - 2) / 2 : thickness;
    return std::max(length - 2 * arrow, 0);
}

int TSkinScrollBar::EffectiveWindow() const
{
    return FWindow < 1 ? TrackLength() : FWindow;
}

bool TSkinScrollBar::ThumbAtMinimum() const
{
    const int track = TrackLength();
    return FRange > 0 && RoundedDiv((long long)track * EffectiveWindow(), FRange) < MinThumb;
}

void TSkinScrollBar::UpdateLayout()
{
    const bool vertical = FKind == TSkinScrollBarKind::sbkVertical;
    const int length = vertical ? Height(FBounds) : Width(FBounds);
    const int thickness = vertical ? Width(FBounds) : Height(FBounds);
    const int arrow = 2 * thickness >= length - 2 ? std::max((length - 2) / 2, 0) : thickness;
    const int track = std::max(length - 2 * arrow, 0);
    // Spans along the axis, from the bar's start.
    int spans[6][2] = {};
    spans[sbpFirstArrow][1] = arrow;
    spans[sbpLastArrow][0] = arrow + track;
    spans[sbpLastArrow][1] = length;
    spans[sbpTrackBefore][0] = arrow;
    spans[sbpTrackBefore][1] = arrow + track;
    spans[sbpThumb][0] = spans[sbpThumb][1] = arrow;
    spans[sbpTrackAfter][0] = spans[sbpTrackAfter][1] = arrow + track;
    if (Enabled() && track >= MinTrack) {
        const int window = EffectiveWindow();
        int thumb = RoundedDiv((long long)track * window, FRange);
        int start = RoundedDiv((long long)track * FPosition, FRange);
        if (thumb < MinThumb) {
            thumb = MinThumb;
            start = FRange - window > 0 ? RoundedDiv((long long)(track - MinThumb) * FPosition, FRange - window) : 0;
        }
        start = std::clamp(start, 0, track - thumb);
        spans[sbpTrackBefore][1] = arrow + start;
        spans[sbpThumb][0] = arrow + start;
        spans[sbpThumb][1] = arrow + start + thumb;
        spans[sbpTrackAfter][0] = arrow + start + thumb;
    }
    for (int part = sbpFirstArrow; part <= sbpLastArrow; ++part) {
        const int a = spans[part][0], b = spans[part][1];
        FParts[part] = vertical ? RECT{0, a, thickness, b} : RECT{a, 0, b, thickness};
    }
}

RECT TSkinScrollBar::GetPartRect(TSkinScrollBarPart part) const
{
    return part >= sbpFirstArrow && part <= sbpLastArrow ? FParts[part] : RECT{};
}

TSkinScrollBarPart TSkinScrollBar::PartAt(POINT p) const
{
    for (int part = sbpFirstArrow; part <= sbpLastArrow; ++part)
        if (Holds(FParts[part], p))
            return TSkinScrollBarPart(part);
    return sbpNone;
}

void TSkinScrollBar::ScrollBy(int delta)
{
    PositionFromUser(FPosition + delta);
}

void TSkinScrollBar::MouseDown(TMouseButton button, int x, int y)
{
    if (button != TMouseButton::mbLeft)
        return;
    FPressedPart = PartAt(POINT{x, y});
    FPressPoint = FLastPoint = POINT{x, y};
    FPressPosition = FPosition;
    switch (FPressedPart) {
    case sbpFirstArrow:
        ScrollBy(-FSmallChange);
        break;
    case sbpLastArrow:
        ScrollBy(FSmallChange);
        break;
    case sbpTrackBefore:
        ScrollBy(-EffectiveWindow());
        break;
    case sbpTrackAfter:
        ScrollBy(EffectiveWindow());
        break;
    default:
        break;
    }
    if (FPressedPart != sbpNone && FPressedPart != sbpThumb)
        RunTimer(sbtRepeat, FirstRepeatDelay);
    Redraw();
}

void TSkinScrollBar::MouseMove(int x, int y)
{
    FLastPoint = POINT{x, y};
    if (FPressedPart != sbpThumb)
        return;
    const int delta = FKind == TSkinScrollBarKind::sbkVertical ? y - FPressPoint.y : x - FPressPoint.x;
    const int track = TrackLength();
    int moved;
    if (ThumbAtMinimum())
        moved = RoundedDiv((long long)delta * (FRange - EffectiveWindow()), track - MinThumb);
    else
        moved = RoundedDiv((long long)delta * FRange, track);
    PositionFromUser(FPressPosition + moved);
}

void TSkinScrollBar::MouseUp(TMouseButton, int, int)
{
    KillTimer(sbtRepeat);
    FPressedPart = sbpNone;
    Redraw();
}

void TSkinScrollBar::StartAutoScroll(int step, int interval)
{
    FAutoScrollStep = step;
    if (FAutoScrollRunning && FAutoScrollInterval == interval)
        return;
    FAutoScrollInterval = interval;
    if (interval < 1) {
        StopAutoScroll();
        return;
    }
    FAutoScrollRunning = true;
    RunTimer(sbtAutoScroll, UINT(interval));
}

void TSkinScrollBar::StopAutoScroll()
{
    FAutoScrollRunning = false;
    FAutoScrollInterval = 0;
    KillTimer(sbtAutoScroll);
}

void TSkinScrollBar::HandleTimer(UINT timerID, int& interval)
{
    if (timerID == sbtRepeat) {
        if (FPressedPart == sbpNone || FPressedPart == sbpThumb) {
            interval = 0;
            return;
        }
        interval = int(RepeatInterval);
        // A track part repeats only while the pointer stays over it.
        const bool track = FPressedPart == sbpTrackBefore || FPressedPart == sbpTrackAfter;
        if (track && PartAt(FLastPoint) != FPressedPart)
            return;
        const int step = FPressedPart == sbpFirstArrow   ? -FSmallChange
                         : FPressedPart == sbpLastArrow  ? FSmallChange
                         : FPressedPart == sbpTrackBefore ? -EffectiveWindow()
                                                          : EffectiveWindow();
        ScrollBy(step);
        return;
    }
    if (timerID != sbtAutoScroll)
        return;
    ScrollBy(FAutoScrollStep);
    if (FPosition == 0 || FPosition >= FRange - EffectiveWindow())
        interval = 0;
    OnAutoScroll(this, FAutoScrollStep, interval);
    FAutoScrollInterval = std::max(interval, 0);
    FAutoScrollRunning = interval >= 1;
}

void TSkinScrollBar::RunTimer(UINT timerID, int interval)
{
    if (!FTimerWindow)
        FTimerWindow = AllocateHWnd(TWndMethod(this, &TSkinScrollBar::TimerMessage));
    if (timerID == sbtRepeat)
        FRepeatInterval = UINT(interval);
    SetTimer(FTimerWindow, timerID, UINT(interval), nullptr);
}

void TSkinScrollBar::KillTimer(UINT timerID)
{
    if (timerID == sbtRepeat)
        FRepeatInterval = 0;
    if (FTimerWindow)
        ::KillTimer(FTimerWindow, timerID);
}

void TSkinScrollBar::TimerMessage(TMessage& m)
{
    if (m.Msg != WM_TIMER) {
        m.Result = DefWindowProcA(FTimerWindow, m.Msg, m.WParam, m.LParam);
        return;
    }
    const UINT id = UINT(m.WParam);
    int interval = id == sbtRepeat ? int(FRepeatInterval) : FAutoScrollInterval;
    // Stopped first: a tick that fails leaves its timer stopped.
    KillTimer(id);
    HandleTimer(id, interval);
    if (interval >= 1)
        RunTimer(id, interval);
}

void TSkinScrollBar::Paint(HDC dc)
{
    const bool vertical = FKind == TSkinScrollBarKind::sbkVertical;
    const bool enabled = Enabled();
    TSavedDC saved(dc);
    OffsetViewportOrgEx(dc, FBounds.left, FBounds.top, nullptr);
    const HTHEME theme = VisualStyleState().VisualStylesInUse ? VisualStyleState().Handles[vscScrollBar] : nullptr;
    const auto draw = VisualStyleCalls().DrawThemeBackground;
    for (int part = sbpFirstArrow; part <= sbpLastArrow; ++part) {
        RECT r = FParts[part];
        if (IsRectEmpty(&r))
            continue;
        const bool pressed = FPressedPart == part;
        const bool arrow = part == sbpFirstArrow || part == sbpLastArrow;
        if (theme && draw) {
            int themePart, state;
            if (arrow) {
                // Four states per direction: up, down, left, right.
                const int direction = vertical ? (part == sbpFirstArrow ? 0 : 1) : (part == sbpFirstArrow ? 2 : 3);
                themePart = SBP_ARROWBTN;
                state = direction * 4 + (!enabled ? 4 : pressed ? 3 : 1);
            } else if (part == sbpThumb) {
                themePart = vertical ? SBP_THUMBBTNVERT : SBP_THUMBBTNHORZ;
                state = pressed ? 3 : 1;
            } else {
                const bool before = part == sbpTrackBefore;
                themePart = vertical ? (before ? SBP_UPPERTRACKVERT : SBP_LOWERTRACKVERT)
                                     : (before ? SBP_UPPERTRACKHORZ : SBP_LOWERTRACKHORZ);
                state = !enabled ? 4 : pressed ? 3 : 1;
            }
            if (SUCCEEDED(draw(theme, dc, themePart, state, &r, nullptr)))
                continue;
        }
        if (arrow) {
            UINT kind = vertical ? (part == sbpFirstArrow ? DFCS_SCROLLUP : DFCS_SCROLLDOWN)
                                 : (part == sbpFirstArrow ? DFCS_SCROLLLEFT : DFCS_SCROLLRIGHT);
            if (!enabled)
                kind |= DFCS_INACTIVE;
            if (pressed)
                kind |= DFCS_PUSHED | DFCS_FLAT;
            DrawFrameControl(dc, &r, DFC_SCROLL, kind);
        } else if (part == sbpThumb) {
            DrawEdge(dc, &r, EDGE_RAISED, BF_RECT | BF_ADJUST);
            FillRectColor(dc, r, clBtnFace);
        } else if (pressed) {
            FillRectColor(dc, r, cl3DDkShadow);
        } else {
            CheckerFillRect(dc, r, clBtnHighlight, clScrollBar);
        }
    }
}

// ---------------------------------------------------------------------------------------------
// TSkinCustomList

TSkinCustomList::TSkinCustomList(TComponent* owner) : TSkinCustomItem(owner)
{
    SetMinWidth(32);
}

TTBItemViewerClass TSkinCustomList::QueryViewerClass(TTBView*)
{
    return ViewerClassOf<TSkinCustomListViewer>();
}

void TSkinCustomList::Notification(TComponent* component, TOperation operation)
{
    TSkinCustomItem::Notification(component, operation);
    if (operation == TOperation::opRemove && component == GetImages())
        SetImages(nullptr);
}

void TSkinCustomList::SetItemIndex(int value)
{
    value = std::max(value, -1);
    FItemIndex = value;
    const std::vector<TSkinCustomListViewer*> viewers = FViewers;
    for (TSkinCustomListViewer* viewer : viewers)
        viewer->SetHotIndex(value);
    DoChange();
}

bool TSkinCustomList::DoClearItem(TCanvas* canvas, RECT& r, int index, bool hot)
{
    bool drawDefault = true;
    OnClearItem(this, canvas, r, index, hot, drawDefault);
    return drawDefault;
}

bool TSkinCustomList::DoDrawItem(TCanvas* canvas, RECT& r, int index, bool hot)
{
    bool drawDefault = true;
    OnDrawItem(this, canvas, r, index, hot, drawDefault);
    return drawDefault;
}

int TSkinCustomList::GetImageIndex(int index)
{
    int imageIndex = index;
    OnAdjustImageIndex(this, index, imageIndex);
    return imageIndex;
}

void TSkinCustomList::DrawItem(TCanvas* canvas, TSkinCustomListViewer*, const RECT& rect, int index, int hoverIndex)
{
    const bool hot = index == hoverIndex;
    HDC dc = canvas->GetHandle();
    RECT r = rect;
    if (DoClearItem(canvas, r, index, hot))
        FillRectColor(dc, r, hot ? clHighlight : clWindow);
    canvas->GetFont()->SetColor(hot ? clHighlightText : clWindowText);
    if (!DoDrawItem(canvas, r, index, hot))
        return;
    RECT text{r.left + 4, r.top - 1, r.right - 4, r.bottom + 1};
    TCustomImageList* images = GetImages();
    if (FShowImages && images) {
        const int iw = images->GetWidth(), ih = images->GetHeight();
        const int y = (r.top + r.bottom - ih) / 2;
        const int imageIndex = GetImageIndex(index);
        if (GetEnabled())
            images->Draw(dc, text.left, y, imageIndex, true);
        else
            DrawStateImage(dc, RECT{text.left, y, text.left + iw, y + ih}, images, imageIndex, sfDisabled);
        text.left += iw + 4;
    }
    canvas->RequiredState(TCanvas::csHandleValid | TCanvas::csFontValid);
    DrawWideText(dc, GetItemText(index), text, canvas->GetFont()->GetColor(),
                 DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
}

TSkinStringList::TSkinStringList(TComponent* owner) : TSkinCustomList(owner), FLines(New<TStringListW>())
{
}

// ---------------------------------------------------------------------------------------------
// TSkinCustomListViewer

TSkinCustomListViewer::TSkinCustomListViewer(TTBView* view, TTBCustomItem* item, int groupLevel)
    : TSkinItemViewer(view, item, groupLevel)
{
    TSkinCustomList* list = GetList();
    list->FViewers.push_back(this);
    FItemCount = list->GetCount();
    FVisibleLines = std::clamp(FItemCount, 1, std::max(list->GetMaxVisibleItems(), 1));
    const int index = list->GetItemIndex();
    if (index >= 0 && index < FItemCount) {
        if (index < FOffset)
            FOffset = index;
        else if (index >= FOffset + FVisibleLines)
            FOffset = index - FVisibleLines + 1;
        FHotIndex = index;
    }
}

TSkinCustomListViewer::~TSkinCustomListViewer()
{
    StopAutoScroll();
    auto& viewers = GetList()->FViewers;
    viewers.erase(std::remove(viewers.begin(), viewers.end(), this), viewers.end());
}

TSkinCustomList* TSkinCustomListViewer::GetList() const
{
    return static_cast<TSkinCustomList*>(FItem);
}

int TSkinCustomListViewer::GetItemHeight(TCanvas* canvas)
{
    canvas->RequiredState(TCanvas::csHandleValid | TCanvas::csFontValid);
    int height = WideTextSize(canvas->GetHandle(), L"Q").cy + 2;
    TCustomImageList* images = GetList()->GetImages();
    if (GetList()->GetShowImages() && images)
        height = std::max(height, images->GetHeight() + 2);
    GetList()->DoMeasureHeight(canvas, height);
    return height;
}

int TSkinCustomListViewer::GetItemWidth(TCanvas* canvas, int index)
{
    canvas->RequiredState(TCanvas::csHandleValid | TCanvas::csFontValid);
    const std::wstring text = GetList()->GetItemText(index);
    int width = WideTextSize(canvas->GetHandle(), text).cx;
    TCustomImageList* images = GetList()->GetImages();
    if (GetList()->GetShowImages() && images && !text.empty())
        width += images->GetWidth() + 4;
    width += 8;
    GetList()->DoMeasureWidth(canvas, index, width);
    return width;
}

void TSkinCustomListViewer::MeasureSize(TCanvas* canvas, int& width, int& height)
{
    TSkinCustomList* list = GetList();
    if (TFont* font = FView->ResolveFont())
        canvas->GetFont()->Assign(font);
    FItemCount = list->GetCount();
    // A measured height of 0 would divide the pointer's position by nothing.
    FItemHeight = std::max(GetItemHeight(canvas), 1);
    FVisibleLines = std::clamp(FItemCount, 1, std::max(list->GetMaxVisibleItems(), 1));
    height = FVisibleLines * FItemHeight;
    width = 0;
    for (int i = 0; i < FItemCount; ++i)
        width = std::max(width, GetItemWidth(canvas, i));
    FScrollBarWidth = FItemCount > FVisibleLines ? GetSystemMetrics(SM_CXVSCROLL) : 0;
    width += FScrollBarWidth;
    width = std::max(width, list->GetMinWidth());
    if (list->GetMaxWidth() > list->GetMinWidth())
        width = std::min(width, list->GetMaxWidth());
    FOffset = std::clamp(FOffset, 0, std::max(FItemCount - FVisibleLines, 0));
}

void TSkinCustomListViewer::PaintLines(TCanvas* canvas, int first, int last)
{
    HDC dc = canvas->GetHandle();
    const int lineWidth = FWidth - FScrollBarWidth;
    for (int i = std::max(first, FOffset); i <= last && i < FItemCount; ++i) {
        const int top = (i - FOffset) * FItemHeight;
        if (top >= FHeight)
            break;
        const RECT r{0, top, lineWidth, top + FItemHeight};
        if (!RectVisible(dc, &r))
            continue;
        GetList()->DrawItem(canvas, this, r, i, FHotIndex);
    }
}

void TSkinCustomListViewer::EnsureScrollBar()
{
    if (FScrollBarWidth <= 0)
        return;
    if (!FScrollBar) {
        FScrollBar.reset(New<TSkinScrollBar>());
        FScrollBar->SetKind(TSkinScrollBarKind::sbkVertical);
        FScrollBar->OnChange = TNotifyEvent(this, &TSkinCustomListViewer::ScrollBarChanged);
        FScrollBar->OnRedraw = TNotifyEvent(this, &TSkinCustomListViewer::ScrollBarRedraw);
    }
    FScrollBar->SetBounds(RECT{FWidth - FScrollBarWidth, 0, FWidth, FHeight});
    FScrollBar->SetRange(FItemCount);
    FScrollBar->SetWindow(FVisibleLines);
    FScrollBar->SetPosition(FOffset);
}

void TSkinCustomListViewer::Paint(TCanvas* canvas, const RECT& clientAreaRect, bool, bool, bool)
{
    FViewerRect = clientAreaRect;
    FWidth = Width(clientAreaRect);
    FHeight = Height(clientAreaRect);
    if (TFont* font = FView->ResolveFont())
        canvas->GetFont()->Assign(font);
    PaintLines(canvas, FOffset, FItemCount - 1);
    const int used = std::min(FItemCount - FOffset, FVisibleLines) * FItemHeight;
    if (used < FHeight)
        FillRectColor(canvas->GetHandle(), RECT{0, used, FWidth - FScrollBarWidth, FHeight}, clWindow);
    EnsureScrollBar();
    if (FScrollBar && FScrollBarWidth > 0)
        FScrollBar->Paint(canvas->GetHandle());
}

void TSkinCustomListViewer::RepaintLines(int first, int last)
{
    TWinControl* window = FView->GetWindow();
    if (!window || !window->HandleAllocated() || FWidth <= 0 || !GetShown())
        return;
    TWindowDC dc(window->GetHandle());
    const RECT& b = GetBoundsRect();
    TSavedDC saved(dc.Get());
    IntersectClipRect(dc.Get(), b.left, b.top, b.left + FWidth - FScrollBarWidth, b.top + FHeight);
    SetWindowOrgEx(dc.Get(), -b.left, -b.top, nullptr);
    std::unique_ptr<TCanvas, TObjectFree> canvas(New<TCanvas>());
    canvas->SetHandle(dc.Get());
    if (TFont* font = FView->ResolveFont())
        canvas->GetFont()->Assign(font);
    PaintLines(canvas.get(), std::min(first, last), std::max(first, last));
    canvas->SetHandle(nullptr);
}

void TSkinCustomListViewer::ScrollBarRedraw(TObject*)
{
    TWinControl* window = FView->GetWindow();
    if (!FScrollBar || !window || !window->HandleAllocated() || !GetShown())
        return;
    TWindowDC dc(window->GetHandle());
    TSavedDC saved(dc.Get());
    const RECT& b = GetBoundsRect();
    SetWindowOrgEx(dc.Get(), -b.left, -b.top, nullptr);
    FScrollBar->Paint(dc.Get());
}

void TSkinCustomListViewer::ScrollBarChanged(TObject*)
{
    const int offset = FScrollBar->GetPosition();
    if (offset == FOffset)
        return;
    FOffset = offset;
    // While dragging beyond the list, the hot line rides the edge the list scrolls toward.
    if (FListTracking && FAutoScrollDirection != 0) {
        const int edge = FAutoScrollDirection < 0 ? FOffset : std::min(FOffset + FVisibleLines, FItemCount) - 1;
        if (edge != FHotIndex) {
            TFlagScope changing(FChangingHot);
            GetList()->HotItemChanged(edge);
            FHotIndex = edge;
        }
    }
    RepaintLines(FOffset, FOffset + FVisibleLines - 1);
}

void TSkinCustomListViewer::ScrollIntoView(int index)
{
    if (index < 0 || index >= FItemCount)
        return;
    int offset = FOffset;
    if (index < offset)
        offset = index;
    else if (index >= offset + FVisibleLines)
        offset = index - FVisibleLines + 1;
    if (offset == FOffset)
        return;
    FOffset = offset;
    if (FScrollBar)
        FScrollBar->SetPosition(FOffset);
    RepaintLines(FOffset, FOffset + FVisibleLines - 1);
    if (FScrollBar)
        ScrollBarRedraw(nullptr);
}

void TSkinCustomListViewer::SetHotIndex(int value)
{
    if (value == FHotIndex || FChangingHot)
        return;
    TFlagScope changing(FChangingHot);
    const int old = FHotIndex;
    FHotIndex = value;
    GetList()->HotItemChanged(value);
    const int before = FOffset;
    ScrollIntoView(value);
    if (FOffset == before)
        RepaintLines(old < 0 ? value : old, value < 0 ? old : value);
}

int TSkinCustomListViewer::LineAt(int x, int y) const
{
    if (x < 0 || x >= FWidth - FScrollBarWidth || y < 0 || y >= ListHeight())
        return -1;
    const int line = y / FItemHeight + FOffset;
    return line < FItemCount ? line : -1;
}

void TSkinCustomListViewer::KeyDown(WORD& key, TShiftState)
{
    TSkinCustomList* list = GetList();
    if (key == VK_RETURN) {
        list->SetItemIndex(FHotIndex);
        return;
    }
    int target;
    switch (key) {
    case VK_PRIOR:
        target = FHotIndex - FVisibleLines;
        break;
    case VK_NEXT:
        target = FHotIndex + FVisibleLines;
        break;
    case VK_UP:
        target = FHotIndex - 1;
        break;
    case VK_DOWN:
        target = FHotIndex + 1;
        break;
    case VK_HOME:
        target = 0;
        break;
    case VK_END:
        target = FItemCount - 1;
        break;
    default:
        return;
    }
    key = 0;
    // An empty list has no line to move to.
    if (FItemCount <= 0)
        return;
    list->SetItemIndex(std::clamp(target, 0, FItemCount - 1));
}

void TSkinCustomListViewer::MouseDown(TShiftState, int x, int y, bool& mouseDownOnMenu)
{
    if (FScrollBarWidth > 0 && x >= FWidth - FScrollBarWidth) {
        EnsureScrollBar();
        FScrollBarTracking = true;
        const RECT b = FScrollBar->GetBounds();
        FScrollBar->MouseDown(TMouseButton::mbLeft, x - b.left, y - b.top);
        mouseDownOnMenu = false;
        FView->SetCapture();
        return;
    }
    FListTracking = true;
    const int line = LineAt(x, y);
    if (line >= 0)
        SetHotIndex(line);
}

void TSkinCustomListViewer::AutoScrollBand(int distance, int& step, int& interval)
{
    if (distance < 10) {
        step = 1;
        interval = 150;
    } else if (distance < 30) {
        step = 1;
        interval = 100;
    } else if (distance <= 50) {
        step = 2;
        interval = 100;
    } else {
        step = 4;
        interval = 100;
    }
}

void TSkinCustomListViewer::StopAutoScroll()
{
    FAutoScrollDirection = 0;
    if (FScrollBar)
        FScrollBar->StopAutoScroll();
}

void TSkinCustomListViewer::MouseMove(int x, int y)
{
    if (FScrollBarTracking) {
        const RECT b = FScrollBar->GetBounds();
        FScrollBar->MouseMove(x - b.left, y - b.top);
        return;
    }
    if (!FListTracking && GetKeyState(VK_LBUTTON) < 0)
        FListTracking = true;
    if (FListTracking && (y < 0 || y >= ListHeight()) && FScrollBar) {
        const int direction = y < 0 ? -1 : 1;
        const int distance = y < 0 ? -y : y - ListHeight();
        const bool atEnd = direction < 0 ? FOffset == 0 : FOffset >= FItemCount - FVisibleLines;
        if (atEnd) {
            StopAutoScroll();
        } else {
            int step, interval;
            AutoScrollBand(distance, step, interval);
            FAutoScrollDirection = direction;
            FScrollBar->StartAutoScroll(step * direction, interval);
        }
    } else {
        StopAutoScroll();
    }
    const int line = LineAt(x, y);
    if (line >= 0 && line != FHotIndex) {
        const int old = FHotIndex;
        {
            TFlagScope changing(FChangingHot);
            FHotIndex = line;
            GetList()->HotItemChanged(line);
        }
        RepaintLines(old < 0 ? line : old, line);
    }
}

void TSkinCustomListViewer::MouseUp(int x, int y, bool)
{
    StopAutoScroll();
    if (FScrollBarTracking) {
        FScrollBarTracking = false;
        const RECT b = FScrollBar->GetBounds();
        FScrollBar->MouseUp(TMouseButton::mbLeft, x - b.left, y - b.top);
        FView->DropCapture();
        return;
    }
    if (!FListTracking)
        return;
    FListTracking = false;
    GetList()->SetItemIndex(FHotIndex);
    Execute(true);
}

void TSkinCustomListViewer::MouseWheel(int delta, int, int)
{
    FWheelDelta += delta;
    EnsureScrollBar();
    while (FWheelDelta >= WheelStep || FWheelDelta <= -WheelStep) {
        const int step = FWheelDelta > 0 ? -1 : 1;
        FWheelDelta += step * WheelStep;
        if (FScrollBar) {
            FScrollBar->SetPosition(FScrollBar->GetPosition() + step);
            ScrollBarChanged(nullptr);
            ScrollBarRedraw(nullptr);
        }
    }
}
