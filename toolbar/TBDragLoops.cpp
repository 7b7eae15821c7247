#include "toolbar/TBDragLoops.h"

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>

#include "platform/ScopeGuards.h"
#include "toolbar/TBCommon.h"
#include "toolbar/TBDock.h"
#include "toolbar/TBDockableWindow.h"
#include "toolbar/TBFloatingWindow.h"

// ---------------------------------------------------------------------------------------------
// Decisions

TTBRowChoice ChooseDockRow(const std::vector<TTBDockRowInfo>& rows, int coordinate, bool movedFullSize)
{
    int offset = 0;
    for (size_t i = 0; i < rows.size(); ++i) {
        int row = static_cast<int>(i);
        int thickness = rows[i].Thickness;
        if (coordinate < offset)
            return TTBRowChoice{row, true};
        if (coordinate >= offset + thickness) {
            offset += thickness;
            continue;
        }
        int local = coordinate - offset;
        if (rows[i].FullSize || movedFullSize)
            return TTBRowChoice{local < thickness / 2 ? row : row + 1, true};
        int quarter = thickness / 4;
        if (local < quarter)
            return TTBRowChoice{row, true};
        if (local >= thickness - quarter)
            return TTBRowChoice{row + 1, true};
        return TTBRowChoice{row, false};
    }
    return TTBRowChoice{static_cast<int>(rows.size()), true};
}

RECT PlaceAtGrab(POINT cursor, SIZE size, POINT grab, SIZE startSize)
{
    int left = cursor.x - MulDiv(size.cx - 1, grab.x, std::max<int>(startSize.cx, 1));
    int top = cursor.y - MulDiv(size.cy - 1, grab.y, std::max<int>(startSize.cy, 1));
    return RECT{left, top, left + size.cx, top + size.cy};
}

RECT KeepCursorInsideFrame(RECT rect, POINT cursor, SIZE border)
{
    auto shift = [](LONG low, LONG high, LONG at, LONG frame) {
        // The offset of the cursor from the low edge, kept within [frame, extent - frame - 1].
        const LONG offset = at - low;
        const LONG lowest = frame, highest = std::max(frame, high - low - frame - 1);
        return offset < lowest ? offset - lowest : (offset > highest ? offset - highest : 0);
    };
    OffsetRect(&rect, shift(rect.left, rect.right, cursor.x, border.cx), shift(rect.top, rect.bottom, cursor.y, border.cy));
    return rect;
}

bool DockTargetHit(const RECT& dockRect, bool leftRight, const RECT& windowRect, POINT cursor, POINT grab,
                   SIZE startSize)
{
    RECT r = dockRect;
    InflateRect(&r, 3, 3);
    int t = MulDiv(25, grab.x, std::max<int>(startSize.cx, 1));
    int u = MulDiv(25, grab.y, std::max<int>(startSize.cy, 1));
    if (cursor.x < r.left + t - 25 || cursor.x >= r.right + t)
        return false;
    if (cursor.y < r.top + u - 25 || cursor.y >= r.bottom + u)
        return false;
    if (leftRight && (cursor.y < r.top || cursor.y >= r.bottom))
        return false;
    RECT overlap{};
    return IntersectRect(&overlap, &windowRect, &r) != FALSE;
}

RECT SizeByEdge(const RECT& start, int edge, POINT delta, SIZE minSize, SIZE maxSize)
{
    bool left = edge == 0 || edge == 3 || edge == 6;
    bool right = edge == 1 || edge == 4 || edge == 7;
    bool top = edge >= 2 && edge <= 4;
    bool bottom = edge >= 5 && edge <= 7;
    RECT r = start;
    if (left)
        r.left += delta.x;
    if (right)
        r.right += delta.x;
    if (top)
        r.top += delta.y;
    if (bottom)
        r.bottom += delta.y;
    auto limit = [](LONG& moving, LONG fixed, int extent, int minimum, int maximum, bool movingIsLow) {
        int wanted = extent < minimum ? minimum : (maximum > 0 && extent > maximum ? maximum : extent);
        if (wanted != extent)
            moving = movingIsLow ? fixed - wanted : fixed + wanted;
    };
    if (left)
        limit(r.left, r.right, r.right - r.left, minSize.cx, maxSize.cx, true);
    else if (right)
        limit(r.right, r.left, r.right - r.left, minSize.cx, maxSize.cx, false);
    if (top)
        limit(r.top, r.bottom, r.bottom - r.top, minSize.cy, maxSize.cy, true);
    else if (bottom)
        limit(r.bottom, r.top, r.bottom - r.top, minSize.cy, maxSize.cy, false);
    return r;
}

// ---------------------------------------------------------------------------------------------
// The move loop

bool RunCaptureLoop(HWND wnd, const std::weak_ptr<int>& alive, const std::function<bool(const MSG&)>& handle)
{
    MSG msg{};
    while (!alive.expired() && GetCapture() == wnd) {
        int got = GetMessageA(&msg, nullptr, 0, 0);
        if (got <= 0) {
            if (got == 0)
                PostQuitMessage(static_cast<int>(msg.wParam));
            return false;
        }
        switch (msg.message) {
        case WM_LBUTTONUP:
            return true;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            return false;
        case WM_RBUTTONDOWN:
        case WM_RBUTTONUP:
        case WM_RBUTTONDBLCLK:
        case WM_MBUTTONDOWN:
        case WM_MBUTTONUP:
        case WM_MBUTTONDBLCLK:
            break;
        case WM_MOUSEMOVE:
        case WM_KEYDOWN:
        case WM_KEYUP:
            if (!handle(msg))
                return false;
            break;
        default:
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
            break;
        }
    }
    return false;
}

namespace {

struct TCandidate {
    TTBDock* Dock = nullptr;
    RECT ScreenRect{};
    SIZE WindowSize{};
    std::vector<TTBDockRowInfo> Rows;
};

// Where the message being handled happened.
POINT MessagePos()
{
    DWORD pos = GetMessagePos();
    return POINT{static_cast<short>(LOWORD(pos)), static_cast<short>(HIWORD(pos))};
}

RECT ScreenBounds(TControl* control)
{
    POINT origin = control->GetParent() ? control->GetParent()->ClientToScreen(POINT{control->GetLeft(), control->GetTop()})
                                        : POINT{control->GetLeft(), control->GetTop()};
    return RECT{origin.x, origin.y, origin.x + control->GetWidth(), origin.y + control->GetHeight()};
}

class TMoveLoop {
public:
    TMoveLoop(TTBCustomDockableWindow* window, POINT start) : FWindow(window), FStart(start) {}
    void Run();

private:
    void BuildCandidates();
    void AddDocksOf(TWinControl* container);
    void AddCandidate(TTBDock* dock);
    void Step(POINT cursor);
    void Apply();
    void DrawOutline(const RECT* newRect);
    bool Alive() const { return !FAlive.expired(); }

    TTBCustomDockableWindow* FWindow;
    std::weak_ptr<int> FAlive;
    POINT FStart;
    TTBDock* FStartDock = nullptr;
    int FStartRow = -1;
    POINT FGrab{};
    SIZE FStartSize{};
    SIZE FFloatSize{};
    bool FCanFloat = false;
    bool FCtrlDown = false;
    bool FSplitAllowed = false;
    bool FFirstApplied = false;
    std::vector<TCandidate> FCandidates;
    TCandidate* FTarget = nullptr;
    RECT FTargetRect{};
    TTBRowChoice FRow;
    POINT FLastPos{};
    std::optional<TDesktopDrawDC> FOutlineDC;
    RECT FOutlineRect{};
    SIZE FOutlineSize{};
    bool FOutlineShown = false;
};

void TMoveLoop::AddCandidate(TTBDock* dock)
{
    if (!dock->AcceptsWindow(FWindow) || !FWindow->AcceptsDock(dock))
        return;
    for (const TCandidate& c : FCandidates)
        if (c.Dock == dock)
            return;
    TCandidate c;
    c.Dock = dock;
    c.ScreenRect = ScreenBounds(dock);
    c.WindowSize = FWindow->SizeForState(dock, false);
    int highest = dock->HighestRow(true);
    for (int row = 0; row <= highest; ++row) {
        TTBDockRowInfo info;
        info.Thickness = dock->RowThickness(row, info.FullSize);
        c.Rows.push_back(info);
    }
    FCandidates.push_back(std::move(c));
}

void TMoveLoop::AddDocksOf(TWinControl* container)
{
    std::vector<TWinControl*> children;
    for (int i = 0; i < container->GetControlCount(); ++i)
        if (auto* child = dynamic_cast<TWinControl*>(container->GetControl(i)))
            if (child->GetVisible() && child != FWindow)
                children.push_back(child);
    for (TTBDockPosition position : {dpTop, dpBottom, dpLeft, dpRight})
        for (TWinControl* child : children)
            if (auto* dock = dynamic_cast<TTBDock*>(child))
                if (dock->GetPosition() == position)
                    AddCandidate(dock);
    for (TWinControl* child : children)
        if (!Is<TTBDock>(child))
            AddDocksOf(child);
}

void TMoveLoop::BuildCandidates()
{
    TTBDock* current = FWindow->GetCurrentDock();
    if (FWindow->GetDockMode() == dmCannotFloatOrChangeDocks) {
        if (current)
            AddCandidate(current);
    } else {
        if (current)
            AddCandidate(current);
        if (TCustomForm* form = FWindow->GetOwnerForm())
            AddDocksOf(form);
    }
    FCanFloat = FWindow->GetDockMode() == dmCanFloat;
    SIZE floating = FWindow->SizeForState(nullptr, true);
    SIZE nc = FWindow->FloatingNCSize();
    FFloatSize = SIZE{floating.cx + nc.cx, floating.cy + nc.cy};
}

void TMoveLoop::Step(POINT cursor)
{
    FLastPos = cursor;
    TCandidate* target = nullptr;
    if (FWindow->SplitDragging) {
        target = FTarget;
    } else if (!FCtrlDown) {
        for (TCandidate& c : FCandidates) {
            RECT r = PlaceAtGrab(cursor, c.WindowSize, FGrab, FStartSize);
            if (!DockTargetHit(c.ScreenRect, c.Dock->IsLeftRight(), r, cursor, FGrab, FStartSize))
                continue;
            bool accept = true;
            c.Dock->OnRequestDock(c.Dock, FWindow, accept);
            if (accept) {
                target = &c;
                break;
            }
        }
    }
    FTarget = target;
    if (!target) {
        if (!FCanFloat) {
            ::SetCursor(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_NO)));
            FTargetRect = RECT{};
            DrawOutline(nullptr);
            return;
        }
        RECT r = KeepCursorInsideFrame(PlaceAtGrab(cursor, FFloatSize, FGrab, FStartSize), cursor,
                                       FWindow->QueryFloatingBorder());
        RECT monitor = MonitorRectOfPoint(cursor, true);
        int width = r.right - r.left, height = r.bottom - r.top;
        OffsetRect(&r, std::max<LONG>(0, monitor.left - r.left), std::max<LONG>(0, monitor.top - r.top));
        OffsetRect(&r, std::min<LONG>(0, monitor.right - r.right), std::min<LONG>(0, monitor.bottom - r.bottom));
        if (width > monitor.right - monitor.left)
            OffsetRect(&r, monitor.left - r.left, 0);
        if (height > monitor.bottom - monitor.top)
            OffsetRect(&r, 0, monitor.top - r.top);
        FTargetRect = r;
    } else {
        TTBDock* dock = target->Dock;
        bool leftRight = dock->IsLeftRight();
        RECT r = PlaceAtGrab(cursor, target->WindowSize, FGrab, FStartSize);
        POINT origin = dock->ClientToScreen(POINT{0, 0});
        if (!FWindow->SplitDragging) {
            int centre = leftRight ? (r.left + r.right) / 2 - origin.x : (r.top + r.bottom) / 2 - origin.y;
            FRow = ChooseDockRow(target->Rows, centre, FWindow->GetFullSize());
            if (FRow.NewRow)
                FSplitAllowed = false;
        }
        if (FSplitAllowed) {
            if (dock == FStartDock && FRow.Row == FStartRow && !FRow.NewRow) {
                int along = leftRight ? cursor.y - FStart.y : cursor.x - FStart.x;
                if (!FWindow->SplitDragging && std::abs(along) >= 10)
                    FWindow->SplitDragging = true;
            } else {
                FSplitAllowed = false;
            }
        }
        if (FWindow->SplitDragging)
            ::SetCursor(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(leftRight ? IDC_SIZENS : IDC_SIZEWE)));
        FTargetRect = r;
    }
    if (FWindow->GetSmoothDrag()) {
        Apply();
        if (!FFirstApplied && Alive()) {
            FFirstApplied = true;
            FSplitAllowed = FWindow->SplitAllowed;
        }
    } else {
        DrawOutline(&FTargetRect);
    }
}

void TMoveLoop::Apply()
{
    if (IsRectEmpty(&FTargetRect) || !Alive())
        return;
    if (!FTarget) {
        FWindow->SetFloatPoint(POINT{FTargetRect.left, FTargetRect.top});
        FWindow->SetFloating(true);
        return;
    }
    TTBDock* dock = FTarget->Dock;
    POINT origin = dock->ClientToScreen(POINT{0, 0});
    int pos = dock->IsLeftRight() ? FTargetRect.top - origin.y : FTargetRect.left - origin.x;
    {
        TUpdateScope<TTBDock> update(dock);
        FWindow->SetDockRow(FRow.Row);
        FWindow->SetDockPos(pos);
        FWindow->SetParent(dock);
        if (!Alive())
            return;
        if (!FWindow->DragInProgress)
            dock->SetWritePlacement(true);
        FWindow->NewRowRequested = FRow.NewRow;
        dock->LayOutToolbars();
    }
    if (Alive())
        FWindow->NewRowRequested = false;
}

void TMoveLoop::DrawOutline(const RECT* newRect)
{
    if (FWindow->GetSmoothDrag())
        return;
    if (!FOutlineDC)
        FOutlineDC.emplace();
    if (!*FOutlineDC)
        return;
    SIZE size = FTarget ? SIZE{2, 2} : SIZE{3, 3};
    bool show = newRect && !IsRectEmpty(newRect);
    InvertHalftoneFrame(FOutlineDC->Get(), show ? newRect : nullptr, FOutlineShown ? &FOutlineRect : nullptr, size,
                        FOutlineSize);
    FOutlineShown = show;
    if (show) {
        FOutlineRect = *newRect;
        FOutlineSize = size;
    }
}

void TMoveLoop::Run()
{
    FAlive = FWindow->LifeToken();
    // The window's drag flags are cleared however the loop ends.
    TScopeExit clearFlags([this] {
        if (!Alive())
            return;
        FWindow->MovingNow = false;
        FWindow->SplitDragging = false;
        FWindow->DragInProgress = false;
        FWindow->NewRowRequested = false;
    });
    FWindow->MovingNow = true;
    FWindow->SplitDragging = false;
    FWindow->SplitAllowed = false;
    FWindow->DragInProgress = true;
    FCtrlDown = GetKeyState(VK_CONTROL) < 0;
    FStartDock = FWindow->GetCurrentDock();
    FStartRow = FStartDock ? FWindow->PlacedRow : -1;
    PumpPaintMessages();
    if (!Alive())
        return;

    HWND grabWnd = FWindow->GetFloating() && FWindow->GetFloatForm() ? FWindow->GetFloatForm()->GetHandle()
                                                                      : FWindow->GetHandle();
    RECT startRect{};
    GetWindowRect(grabWnd, &startRect);
    FStartSize = SIZE{startRect.right - startRect.left, startRect.bottom - startRect.top};
    FGrab = POINT{FStart.x - startRect.left, FStart.y - startRect.top};
    BuildCandidates();

    HWND wnd = FWindow->GetHandle();
    bool accepted = false;
    {
        TMouseCapture capture(wnd);
        Step(FStart);
        accepted = RunCaptureLoop(wnd, FAlive, [this](const MSG& msg) {
            if (msg.message == WM_MOUSEMOVE) {
                POINT p = MessagePos();
                if (p.x != FLastPos.x || p.y != FLastPos.y)
                    Step(p);
                return true;
            }
            if (msg.wParam == VK_ESCAPE)
                return msg.message != WM_KEYDOWN;
            bool down = msg.message == WM_KEYDOWN;
            if (msg.wParam == VK_CONTROL && down != FCtrlDown) {
                FCtrlDown = down;
                Step(FLastPos);
            }
            return true;
        });
    }
    if (FOutlineDC) {
        DrawOutline(nullptr);
        FOutlineDC.reset();
    }
    if (!Alive())
        return;
    FWindow->DragInProgress = false;
    if (accepted && !IsRectEmpty(&FTargetRect))
        Apply();
    if (!Alive())
        return;
    if (FWindow->GetUseLastDock() && FWindow->GetDocked())
        FWindow->SetLastDock(FWindow->GetCurrentDock());
}

// ---------------------------------------------------------------------------------------------
// The size loop

class TSizeLoop {
public:
    TSizeLoop(TTBCustomDockableWindow* window, int edge, POINT start) : FWindow(window), FEdge(edge), FStartCursor(start)
    {
    }
    void Run();

private:
    void Step(POINT cursor);
    void ApplyRect(const RECT& r);

    TTBCustomDockableWindow* FWindow;
    int FEdge;
    std::weak_ptr<int> FAlive;
    SIZE FMin{};
    SIZE FMax{};
    RECT FStartRect{};
    POINT FStartCursor{};
    RECT FRect{};
    POINT FLastPos{};
    std::optional<TDesktopDrawDC> FOutlineDC;
};

void TSizeLoop::ApplyRect(const RECT& r)
{
    // The form takes the rectangle in one step: moved first at its old size, a form that snaps to
    // the screen's edges would take the sizing for a move.
    TTBFloatingWindowParent* form = FWindow->GetFloatForm();
    form->SetBounds(r.left, r.top, r.right - r.left, r.bottom - r.top);
    SIZE nc = FWindow->FloatingNCSize();
    FWindow->SetBounds(0, 0, std::max<LONG>(r.right - r.left - nc.cx, 0), std::max<LONG>(r.bottom - r.top - nc.cy, 0));
    FWindow->SetFloatPoint(POINT{form->GetLeft(), form->GetTop()});
    FWindow->SizeApply();
    FWindow->FitToScreen(true);
}

void TSizeLoop::Step(POINT cursor)
{
    FLastPos = cursor;
    RECT r = SizeByEdge(FStartRect, FEdge, POINT{cursor.x - FStartCursor.x, cursor.y - FStartCursor.y}, FMin, FMax);
    FWindow->SizeMove(r, FStartRect);
    if (EqualRect(&r, &FRect))
        return;
    RECT old = FRect;
    FRect = r;
    if (FWindow->GetSmoothDrag()) {
        ApplyRect(r);
        return;
    }
    if (FOutlineDC && *FOutlineDC)
        InvertHalftoneFrame(FOutlineDC->Get(), &FRect, &old, SIZE{3, 3}, SIZE{3, 3});
}

void TSizeLoop::Run()
{
    TTBFloatingWindowParent* form = FWindow->GetFloatForm();
    if (!FWindow->GetFloating() || !form)
        return;
    FAlive = FWindow->LifeToken();
    int minWidth = 0, minHeight = 0, maxWidth = 0, maxHeight = 0;
    FWindow->QueryMinMaxSize(minWidth, minHeight, maxWidth, maxHeight);
    SIZE nc = FWindow->FloatingNCSize();
    FMin = SIZE{minWidth + nc.cx, minHeight + nc.cy};
    FMax = SIZE{maxWidth > 0 ? maxWidth + nc.cx : 0, maxHeight > 0 ? maxHeight + nc.cy : 0};
    FWindow->SizeStart(FEdge);
    // The window hears the end of the sizing however the loop ends.
    TScopeExit sizeEnd([this] {
        if (!FAlive.expired())
            FWindow->SizeEnd();
    });
    PumpPaintMessages();
    if (FAlive.expired())
        return;

    HWND wnd = form->GetHandle();
    GetWindowRect(wnd, &FStartRect);
    FRect = FStartRect;
    FLastPos = FStartCursor;
    if (!FWindow->GetSmoothDrag()) {
        FOutlineDC.emplace();
        if (*FOutlineDC)
            InvertHalftoneFrame(FOutlineDC->Get(), &FRect, nullptr, SIZE{3, 3}, SIZE{3, 3});
    }
    bool accepted = false;
    {
        TMouseCapture capture(wnd);
        std::optional<TCursorClip> clip;
        if (FWindow->SizeEdgeOptions & 2)
            clip.emplace(MonitorRectOfPoint(FStartCursor, false));
        accepted = RunCaptureLoop(wnd, FAlive, [this](const MSG& msg) {
            if (msg.message == WM_MOUSEMOVE) {
                POINT p = MessagePos();
                if (p.x != FLastPos.x || p.y != FLastPos.y)
                    Step(p);
                return true;
            }
            return !(msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE);
        });
    }
    if (FOutlineDC) {
        if (*FOutlineDC)
            InvertHalftoneFrame(FOutlineDC->Get(), nullptr, &FRect, SIZE{3, 3}, SIZE{3, 3});
        FOutlineDC.reset();
    }
    if (FAlive.expired())
        return;
    if (accepted && !FWindow->GetSmoothDrag() && !EqualRect(&FRect, &FStartRect))
        ApplyRect(FRect);
}

} // namespace

void TTBCustomDockableWindow::BeginMoving(POINT screenStart)
{
    TMoveLoop(this, screenStart).Run();
}

void TTBCustomDockableWindow::BeginSizing(int edge)
{
    POINT cursor{};
    GetCursorPos(&cursor);
    BeginSizing(edge, cursor);
}

void TTBCustomDockableWindow::BeginSizing(int edge, POINT screenStart)
{
    TSizeLoop(this, edge, screenStart).Run();
}
