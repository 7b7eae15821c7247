// Cost of one mouse move while dragging k selected elements in the page view, against moving
// the same elements directly on a page that reports to no view; and the whole frame, the move
// with the paint that follows it (UpdateWindow), against the 16 ms of a 60 Hz screen.
#include <windows.h>

#include <cstdio>
#include <vector>

#include "bench/BenchSupport.h"
#include "document/SheetfoldView.h"
#include "graphics/Gfx32.h"
#include "platform/Forms.h"

namespace {

// Milliseconds per call of f(step), over enough calls to last about half a second.
template <class F>
double Measure(F f)
{
    int step = 0;
    f(step++);
    double start = Now();
    double elapsed = 0;
    while (elapsed < 500 || step < 4) {
        f(step++);
        elapsed = Now() - start;
    }
    return elapsed / (step - 1);
}

void AddElements(TSheetfoldPage* page, int count)
{
    for (int i = 0; i < count; ++i) {
        auto* e = New<TLayerRect>(page);
        e->SetBounds(1000 + (i % 25) * 700, 1000 + (i / 25) * 500, 600, 400);
    }
}

double DirectMove(int count)
{
    auto* project = New<TSheetfoldProject>();
    auto* page = New<TSheetfoldPage>(project);
    page->SetSnap(false);
    AddElements(page, count);
    double ms = Measure([&](int step) {
        int d = step % 2 ? 10 : -10;
        for (int i = 0; i < page->Count(); ++i) {
            RECT b = page->GetItem(i)->GetBounds();
            OffsetRect(&b, d, d);
            page->GetItem(i)->SetRect(b, POINT{d, d}, lpmMove);
        }
    });
    project->Free();
    return ms;
}

struct TNoFocusView : TSheetfoldView {
    using TSheetfoldView::TSheetfoldView;
    void SetFocus() override {}
};

struct TDragFigures {
    double Move = 0;
    double Frame = 0;
};

TDragFigures ViewDrag(HWND host, int count)
{
    auto* view = New<TNoFocusView>(nullptr);
    view->GetMapMode()->SetDPI(POINT{254, 254});
    view->SetParentWindow(host);
    view->SetBounds(0, 0, 1200, 900);
    view->HandleNeeded();
    ShowWindow(view->GetHandle(), SW_SHOWNA);
    auto* project = New<TSheetfoldProject>();
    view->SetProject(project);
    auto* page = New<TSheetfoldPage>(project);
    page->SetSnap(false);
    AddElements(page, count);
    for (int i = 0; i < page->Count(); ++i)
        view->GetSheetfoldSelection()->Add(page->GetItem(i));
    HWND handle = view->GetHandle();
    UpdateWindow(handle);
    RECT s = view->GetMapMode()->LPtoDPRect(page->GetItem(0)->GetBounds());
    POINT press{s.left + 20, s.top + 20};
    SendMessageA(handle, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(press.x, press.y));
    UpdateWindow(handle);
    auto move = [&](int step) {
        int d = step % 2 ? 1 : 0;
        SendMessageA(handle, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(press.x + d, press.y + d));
    };
    TDragFigures figures;
    figures.Frame = Measure([&](int step) {
        move(step);
        UpdateWindow(handle);
    });
    // Without painting, the invalidations gather; what is timed is the move and its requests.
    figures.Move = Measure(move);
    SendMessageA(handle, WM_LBUTTONUP, 0, MAKELPARAM(press.x, press.y));
    view->Free();
    return figures;
}

}

int main()
{
    PrintArchitecture();
    Gfx32Startup();
    InitControls();
    InitForms();
    HWND host = CreateWindowExA(WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW, "STATIC", "", WS_POPUP, 0, 0, 1200, 900, nullptr,
                                nullptr, GetModuleHandleA(nullptr), nullptr);
    ShowWindow(host, SW_SHOWNOACTIVATE);
    std::printf("Dragging k selected rectangles in the page view, per mouse move\n"
                "  move: the view's move, no paint; baseline: the same moves on a page without a view "
                "(target <= 3x)\n"
                "  frame: the move and the paint that follows it (target <= 16 ms)\n");
    for (int count : {50, 500, 5000}) {
        std::vector<double> moves, frames, directs;
        for (int run = 0; run < 3; ++run) {
            TDragFigures figures = ViewDrag(host, count);
            moves.push_back(figures.Move);
            frames.push_back(figures.Frame);
            directs.push_back(DirectMove(count));
        }
        double move = Median(moves);
        double direct = Median(directs);
        std::printf("  k = %4d   move %8.3f ms   baseline %8.3f ms   ratio %5.2f   frame %8.3f ms\n", count, move,
                    direct, direct > 0 ? move / direct : 0.0, Median(frames));
    }
    DestroyWindow(host);
    DoneForms();
    DoneControls();
    Gfx32Shutdown();
    return 0;
}
