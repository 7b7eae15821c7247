// Dock tests' fake dockable window: contents of a fixed size, optionally shrinking to a minimum
// (chevron) or wrapping into rows of equal blocks; and a form with four docks on its edges.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <vector>

#include "ScriptedInput.h"
#include "platform/Forms.h"
#include "toolbar/TBDock.h"
#include "toolbar/TBDockableWindow.h"

class TFakeBar : public TTBCustomDockableWindow {
    SF_CLASS(TFakeBar)
public:
    explicit TFakeBar(TComponent* owner = nullptr) : TTBCustomDockableWindow(owner) {}

    // Contents as laid out horizontally: Blocks blocks of BlockWidth x Thickness.
    int Blocks = 4;
    int BlockWidth = 20;
    int Thickness = 20;
    TTBShrinkMode Shrink = tbsmNone;
    int MinShrink = 0;
    int Arrangements = 0;

    POINT ComputeArrangement(bool canMoveControls, TTBDockType dockType, bool floating, TTBDock* dock) override;
    void QueryBaseSize(POINT& size) override;
    TTBShrinkMode QueryShrinkMode() override { return Shrink; }
    void QueryMinShrinkSize(int& minimumSize) override { minimumSize = MinShrink; }
};

// A shown form with a dock on each edge; windows are made through Bar. One form serves every
// test: without a window manager each active window that hides costs Wine two seconds.
class TDockForm {
public:
    static TDockForm& Shared();
    // Frees every window made through Bar and empties the docks again.
    void Clear();

    TForm* Form() const { return FForm; }
    TTBDock* Dock(TTBDockPosition position) const { return FDocks[position]; }
    TFakeBar* Bar(TTBDockPosition position, int row, int pos, int blocks = 4);
    // The screen rectangle of a control.
    static RECT ScreenRect(TControl* control);

    TDockForm();
    ~TDockForm();
    TDockForm(const TDockForm&) = delete;
    TDockForm& operator=(const TDockForm&) = delete;

private:
    TForm* FForm = nullptr;
    TTBDock* FDocks[4] = {};
};
