#include "document/SheetfoldView.h"

#include <shellapi.h>

#include <exception>
#include <string>

#include "graphics/SfTypes.h"

SF_IMPLEMENT_COMPONENT(TSheetfoldView, TScrollingLayer)

TSheetfoldView::TSheetfoldView(TComponent* owner)
    : TScrollingLayer(owner), FSelection(New<TSheetfoldSelection>(this))
{
    SetBackgroundColor(clAppWorkSpace);
}

TSheetfoldView::~TSheetfoldView()
{
    if (HandleAllocated())
        DestroyHandle();
    // Nothing may reach the selection or the main window while the elements go.
    FSelection->Clear();
    if (FProject)
        FProject->SetView(nullptr);
    FProject.reset();
    FSelection.reset();
}

void TSheetfoldView::InvalidateLogicalRect(const RECT& r)
{
    if (!HandleAllocated())
        return;
    if (FUpdateCount > 0) {
        FPendingRect = SfTypes::UnionNonEmpty(FPendingRect, r);
        FUpdatePending = true;
        return;
    }
    RECT d{};
    SfTypes::IntersectRect(d, GetMapMode()->LPtoDPRect(r), GetClientRect());
    FSelection->UpdateHandleArea(d);
    if (SfTypes::IsRectEmpty(d))
        return;
    InvalidateDeviceRect(d);
    // The scroll bars depend on the content rectangle only; setting them again for every moved
    // element made dragging many elements slow.
    if (!SfTypes::EqualRect(GetContentRect(), FScrollContent))
        UpdateScrollPos();
}

void TSheetfoldView::EndUpdate()
{
    if (--FUpdateCount > 0 || !FUpdatePending)
        return;
    FUpdatePending = false;
    RECT pending = FPendingRect;
    FPendingRect = RECT{};
    InvalidateLogicalRect(pending);
}

void TSheetfoldView::InvalidateDeviceRect(const RECT& r)
{
    if (HandleAllocated())
        ::InvalidateRect(GetHandle(), &r, FALSE);
}

TSheetfoldPage* TSheetfoldView::GetCurrentPage() const
{
    if (!FProject || FProject->Count() == 0)
        return nullptr;
    return FProject->GetCurrentPage();
}

RECT TSheetfoldView::GetContentRect()
{
    TSheetfoldPage* page = GetCurrentPage();
    return page ? GetMapMode()->LPtoDPRect(page->GetPaperRect()) : RECT{};
}

void TSheetfoldView::PaintContent()
{
    TLayerCanvas* canvas = GetLayerCanvas();
    if (TSheetfoldPage* page = GetCurrentPage())
        page->Paint(canvas, canvas->GetUpdateRect());
    FSelection->Paint(canvas, canvas->GetUpdateRect());
}

void TSheetfoldView::UpdateScrollPos()
{
    FScrollContent = GetContentRect();
    if (FScrollEnabled)
        TScrollingLayer::UpdateScrollPos();
    else
        UpdateScrollRange(0, 0);
}

void TSheetfoldView::Dispatch(TMessage& message)
{
    if (FSelection)
        FSelection->Dispatch(message);
    else
        InheritedDispatch(message);
}

void TSheetfoldView::InheritedDispatch(TMessage& message)
{
    if (message.Msg == WM_DROPFILES) {
        WMDropFiles(message);
        return;
    }
    TScrollingLayer::Dispatch(message);
}

void TSheetfoldView::SetProject(TSheetfoldProject* project)
{
    if (project == FProject.get())
        return;
    // The selection refers to elements of the old project, which the caller keeps.
    FSelection->Clear();
    if (FProject)
        FProject.release()->SetView(nullptr);
    FProject.reset(project);
    if (FProject)
        FProject->SetView(this);
    if (HandleAllocated())
        Invalidate();
}

void TSheetfoldView::CreateWnd()
{
    TScrollingLayer::CreateWnd();
    DragAcceptFiles(GetHandle(), TRUE);
}

void TSheetfoldView::DestroyWnd()
{
    DragAcceptFiles(GetHandle(), FALSE);
    TScrollingLayer::DestroyWnd();
}

void TSheetfoldView::Resize()
{
    TScrollingLayer::Resize();
    if (FForm)
        FForm->ViewResized();
}

void TSheetfoldView::WMDropFiles(TMessage& message)
{
    auto drop = reinterpret_cast<HDROP>(message.WParam);
    std::exception_ptr failure;
    try {
        POINT p{};
        DragQueryPoint(drop, &p);
        POINT start = GetMapMode()->DPtoLP(p);
        UINT count = DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
        for (UINT i = 0; i < count && FForm; ++i) {
            // Placed by index, so a file that fails leaves the others where they belong.
            int offset = static_cast<int>(i) * SheetfoldDropCascade;
            try {
                UINT length = DragQueryFileA(drop, i, nullptr, 0);
                std::string name(length, '\0');
                DragQueryFileA(drop, i, name.data(), length + 1);
                FForm->SetInsertPoint(POINT{start.x + offset, start.y + offset});
                FForm->InsertImageFile(name);
            } catch (...) {
                if (!failure)
                    failure = std::current_exception();
            }
        }
    } catch (...) {
        if (!failure)
            failure = std::current_exception();
    }
    DragFinish(drop);
    message.Result = 0;
    if (failure)
        std::rethrow_exception(failure);
}
