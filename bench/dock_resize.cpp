// A form with 10 toolbars in 4 docks resized back and forth: the docks re-arrange their rows
// (shrinking toolbars behind their chevrons at the narrow size) and everything repaints. Against
// the bare DeferWindowPos move of the same windows to the same places with the same repainting,
// while the class library is told to leave them alone. The docks sit in the form's client
// panel, which takes the new size: a top-level window's own resize under the X server costs
// tens of milliseconds by itself, the same for both, and is reported on its own.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "platform/Controls.h"
#include "platform/Forms.h"
#include "toolbar/TBDock.h"
#include "toolbar/TBFramework.h"
#include "toolbar/TBToolbar.h"

namespace {

constexpr int Blocks = 15;
constexpr int ResizesPerBlock = 20;
const SIZE Sizes[2] = {{900, 650}, {560, 480}};

struct TPlacement {
    TWinControl* Control;
    RECT Bounds[2];  // in the parent's client coordinates, for each form size
};

TTBCustomToolbar* AddToolbar(TForm* form, TTBDock* dock, int row, int items)
{
    auto* toolbar = New<TTBCustomToolbar>(form);
    toolbar->SetHideWhenInactive(false);
    toolbar->BeginUpdate();
    for (int i = 0; i < items; ++i) {
        auto* item = New<TTBCustomItem>(form);
        item->SetCaption(L"Item " + std::to_wstring(i + 1));
        toolbar->GetItems()->Add(item);
    }
    toolbar->EndUpdate();
    toolbar->SetDockRow(row);
    toolbar->SetParent(dock);
    return toolbar;
}

void Repaint(TForm* form)
{
    RedrawWindow(form->GetHandle(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

void ResizeClient(TForm* form, TWinControl* client, int state)
{
    client->SetBounds(0, 0, Sizes[state].cx, Sizes[state].cy);
    Repaint(form);
}

RECT BoundsOf(TWinControl* control)
{
    return control->GetBoundsRect();
}

} // namespace

int main()
{
    PrintArchitecture();
    InitControls();
    InitForms();
    InitTBFramework();
    TForm* form = New<TForm>(nullptr);
    form->SetBorderStyle(bsNone);
    form->SetBounds(20, 20, Sizes[0].cx, Sizes[0].cy);
    form->HandleNeeded();
    auto* client = New<TCustomControl>(form);
    client->SetBounds(0, 0, Sizes[0].cx, Sizes[0].cy);
    client->SetParent(form);
    TTBDock* docks[4] = {};
    for (TTBDockPosition p : {dpTop, dpBottom, dpLeft, dpRight}) {
        docks[p] = New<TTBDock>(form);
        docks[p]->SetPosition(p);
        docks[p]->SetParent(client);
    }
    std::vector<TTBCustomToolbar*> toolbars;
    const struct {
        TTBDockPosition Dock;
        int Row;
        int Items;
    } layout[] = {{dpTop, 0, 8}, {dpTop, 0, 6}, {dpTop, 1, 7}, {dpTop, 1, 5}, {dpBottom, 0, 8},
                  {dpBottom, 0, 6}, {dpLeft, 0, 6}, {dpLeft, 1, 4}, {dpRight, 0, 6}, {dpRight, 0, 5}};
    for (const auto& t : layout)
        toolbars.push_back(AddToolbar(form, docks[t.Dock], t.Row, t.Items));
    form->Show();
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&msg);

    // Where every window is at each size, as the docks place them.
    std::vector<TPlacement> placements;
    placements.push_back(TPlacement{client, {}});
    for (TTBDock* dock : docks)
        placements.push_back(TPlacement{dock, {}});
    for (TTBCustomToolbar* toolbar : toolbars)
        placements.push_back(TPlacement{toolbar, {}});
    for (int state : {1, 0}) {
        ResizeClient(form, client, state);
        for (TPlacement& p : placements)
            p.Bounds[state] = BoundsOf(p.Control);
    }
    int chevrons = 0;
    for (TTBCustomToolbar* toolbar : toolbars)
        chevrons += toolbar->ShrunkLength > 0 ? 1 : 0;
    ResizeClient(form, client, 1);
    int chevronsNarrow = 0;
    for (TTBCustomToolbar* toolbar : toolbars)
        chevronsNarrow += toolbar->ShrunkLength > 0 ? 1 : 0;
    ResizeClient(form, client, 0);

    double framework = 0, bare = 0;
    int state = 0;
    for (int block = 0; block < Blocks; ++block) {
        double start = Now();
        for (int i = 0; i < ResizesPerBlock; ++i) {
            state ^= 1;
            ResizeClient(form, client, state);
        }
        framework += Now() - start;

        // The same moves and repaints with the layout switched off.
        form->DisableAlign();
        client->DisableAlign();
        for (TTBDock* dock : docks)
            dock->BeginUpdate();
        for (TTBCustomToolbar* toolbar : toolbars)
            toolbar->TTBCustomDockableWindow::BeginUpdate();
        start = Now();
        for (int i = 0; i < ResizesPerBlock; ++i) {
            state ^= 1;
            HDWP defer = BeginDeferWindowPos(static_cast<int>(placements.size()));
            for (const TPlacement& p : placements) {
                const RECT& r = p.Bounds[state];
                defer = DeferWindowPos(defer, p.Control->GetHandle(), nullptr, r.left, r.top, r.right - r.left,
                                       r.bottom - r.top, SWP_NOZORDER | SWP_NOACTIVATE);
            }
            EndDeferWindowPos(defer);
            Repaint(form);
        }
        bare += Now() - start;
        for (TTBCustomToolbar* toolbar : toolbars)
            toolbar->TTBCustomDockableWindow::EndUpdate();
        for (TTBDock* dock : docks)
            dock->EndUpdate();
        client->EnableAlign();
        form->EnableAlign();
        ResizeClient(form, client, state);
    }
    int resizes = Blocks * ResizesPerBlock;
    // The framework's own share: the same docks and toolbars arranged without windows.
    double arrangement = 0;
    {
        auto* owner = New<TComponent>(nullptr);
        TTBDock* bareDocks[4] = {};
        for (TTBDockPosition p : {dpTop, dpBottom, dpLeft, dpRight}) {
            bareDocks[p] = New<TTBDock>(owner);
            bareDocks[p]->SetPosition(p);
        }
        for (const auto& t : layout) {
            auto* toolbar = New<TTBCustomToolbar>(owner);
            toolbar->BeginUpdate();
            for (int i = 0; i < t.Items; ++i) {
                auto* item = New<TTBCustomItem>(owner);
                item->SetCaption(L"Item " + std::to_wstring(i + 1));
                toolbar->GetItems()->Add(item);
            }
            toolbar->EndUpdate();
            toolbar->SetDockRow(t.Row);
            toolbar->SetParent(bareDocks[t.Dock]);
        }
        auto arrange = [&](int s) {
            int top = bareDocks[dpTop]->GetHeight(), bottom = bareDocks[dpBottom]->GetHeight();
            for (TTBDockPosition p : {dpTop, dpBottom})
                bareDocks[p]->SetBounds(0, 0, Sizes[s].cx, bareDocks[p]->GetHeight());
            for (TTBDockPosition p : {dpLeft, dpRight})
                bareDocks[p]->SetBounds(0, 0, bareDocks[p]->GetWidth(), Sizes[s].cy - top - bottom);
        };
        double start = Now();
        for (int i = 0; i < resizes; ++i)
            arrange(i & 1);
        arrangement = (Now() - start) / resizes;
        owner->Free();
    }
    // For comparison: the top-level window's own resize, with nothing in it moving.
    client->SetAlign(alNone);
    form->DisableAlign();
    double topStart = Now();
    for (int i = 0; i < ResizesPerBlock; ++i)
        SetWindowPos(form->GetHandle(), nullptr, 0, 0, Sizes[i & 1].cx, Sizes[i & 1].cy,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    double topLevel = (Now() - topStart) / ResizesPerBlock;
    form->EnableAlign();
    std::printf("form resize, 10 toolbars in 4 docks (%d shrunk behind their chevrons at the narrow size, %d at the wide)\n",
                chevronsNarrow, chevrons);
    std::printf("  docks re-arranging and repainting: %.3f ms a resize\n", framework / resizes);
    std::printf("  bare DeferWindowPos of the same windows, same repainting: %.3f ms a resize\n", bare / resizes);
    std::printf("  ratio: %.2fx (target at most 1.5x, and under 2 ms)\n", framework / bare);
    std::printf("  (the top-level window's own resize, not in either: %.3f ms)\n", topLevel);
    std::printf("  the docks' arrangement alone, without windows: %.3f ms a resize\n", arrangement);
    form->Free();
    DoneTBFramework();
    DoneForms();
    DoneControls();
    return 0;
}
