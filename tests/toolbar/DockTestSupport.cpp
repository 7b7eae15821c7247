#include "DockTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "ToolbarTestSupport.h"
#include "platform/ScopeGuards.h"

SF_IMPLEMENT_COMPONENT(TFakeBar, TTBCustomDockableWindow)

POINT TFakeBar::ComputeArrangement(bool canMoveControls, TTBDockType dockType, bool, TTBDock*)
{
    if (canMoveControls)
        ++Arrangements;
    int length = Blocks * BlockWidth;
    int perRow = Blocks;
    // A wrapping bar shorter than its contents breaks into rows of whole blocks.
    if (Shrink == tbsmWrap && ShrunkLength > 0 && dockType == dtTopBottom) {
        SIZE nc = GetDockedNCAreaSize(GetCurrentDock());
        perRow = std::max(1, static_cast<int>(ShrunkLength - nc.cx) / std::max(BlockWidth, 1));
    }
    int rows = (Blocks + perRow - 1) / std::max(perRow, 1);
    POINT size{std::min(length, perRow * BlockWidth), Thickness * std::max(rows, 1)};
    if (dockType == dtLeftRight)
        return POINT{size.y, size.x};
    return size;
}

void TFakeBar::QueryBaseSize(POINT& size)
{
    size = ComputeArrangement(false, CurrentDockType(), GetFloating(), GetCurrentDock());
}

namespace {

TDockForm* gSharedForm = nullptr;

// The shared form goes before the process state the tests started with.
class TSharedFormEnvironment : public testing::Environment {
public:
    void TearDown() override
    {
        delete gSharedForm;
        gSharedForm = nullptr;
    }
};

} // namespace

TDockForm& TDockForm::Shared()
{
    if (!gSharedForm) {
        static bool registered = false;
        if (!registered) {
            testing::AddGlobalTestEnvironment(new TSharedFormEnvironment);
            registered = true;
        }
        gSharedForm = new TDockForm;
    }
    return *gSharedForm;
}

void TDockForm::Clear()
{
    for (int i = FForm->GetComponentCount(); i-- > 0;)
        if (auto* bar = dynamic_cast<TTBCustomDockableWindow*>(FForm->GetComponent(i)))
            bar->Free();
    PumpMessages();
    for (TTBDock* dock : FDocks) {
        dock->SetAllowDrag(true);
        dock->SetLimitToOneRow(false);
        dock->OnRequestDock = nullptr;
        dock->OnInsertRemoveBar = nullptr;
    }
}

TDockForm::TDockForm()
{
    const int clientWidth = 600, clientHeight = 400;
    FForm = New<TForm>(nullptr);
    FForm->SetBorderStyle(bsNone);
    FForm->SetBounds(40, 40, clientWidth + 40, clientHeight + 40);
    FForm->HandleNeeded();
    FForm->SetClientWidth(clientWidth);
    FForm->SetClientHeight(clientHeight);
    for (TTBDockPosition p : {dpTop, dpBottom, dpLeft, dpRight}) {
        TTBDock* dock = New<TTBDock>(FForm);
        static const char* const names[] = {"TopDock", "BottomDock", "LeftDock", "RightDock"};
        dock->SetName(names[p]);
        dock->SetPosition(p);
        dock->SetParent(FForm);
        FDocks[p] = dock;
    }
    FForm->Show();
    PumpMessages();
}

TDockForm::~TDockForm()
{
    FForm->Free();
    PumpMessages();
}

TFakeBar* TDockForm::Bar(TTBDockPosition position, int row, int pos, int blocks)
{
    TFakeBar* bar = New<TFakeBar>(FForm);
    bar->Blocks = blocks;
    bar->SetHideWhenInactive(false);
    // A floating form with a sizing frame is one Wine waits for when it hides.
    bar->SetResizable(false);
    bar->SetDockRow(row);
    bar->SetDockPos(pos);
    bar->SetParent(FDocks[position]);
    return bar;
}

RECT TDockForm::ScreenRect(TControl* control)
{
    POINT origin = control->GetParent()->ClientToScreen(POINT{control->GetLeft(), control->GetTop()});
    return RECT{origin.x, origin.y, origin.x + control->GetWidth(), origin.y + control->GetHeight()};
}
