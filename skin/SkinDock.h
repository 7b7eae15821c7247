// Docks and floating forms with the themed look: the dock's background from the theme or its
// parent and its colour kept to the theme's, and the floating form's frame drawn by the theme
// with a hot close button and edges that snap to the monitor's work area.
#pragma once

#include <windows.h>

#include "toolbar/TBDock.h"
#include "toolbar/TBFloatingWindow.h"

class TSkinDock : public TTBDock {
    SF_CLASS(TSkinDock)
public:
    explicit TSkinDock(TComponent* owner = nullptr);
    void AfterConstruction() override;
    void BeforeDestruction() override;

    bool GetUseParentBackground() const { return FUseParentBackground; }
    void SetUseParentBackground(bool value);
    bool GetUseThemeColor() const { return FUseThemeColor; }
    void SetUseThemeColor(bool value);
    // While it handles its own size change.
    bool GetHandlingSize() const { return FHandlingSize; }

    // Drawn by the theme: no background object, the theme's colour in use, and the theme's
    // boolean metric 5.
    virtual bool ThemedBackground();
    bool HasBackgroundImage() override;
    void FillDockBackground(HDC dc, const RECT& drawRect) override;
    void Dispatch(TMessage& message) override;

private:
    void UpdateThemeColor();
    void RedrawAll();
    // Over a background, a new size shows other parts of it behind every window on the dock.
    void RedrawWindowsOnBackground();

    bool FSettingColor = false;
    bool FUseParentBackground = false;
    bool FUseThemeColor = true;
    bool FHandlingMove = false;
    bool FHandlingSize = false;
};

class TTBCustomDockableWindow;

class TSkinFloatingWindowParent : public TTBFloatingWindowParent {
    SF_CLASS(TSkinFloatingWindowParent)
public:
    using TTBFloatingWindowParent::TTBFloatingWindowParent;

    int GetSnapDistance() const { return FSnapDistance; }
    void SetSnapDistance(int value) { FSnapDistance = value < 0 ? 0 : value; }
    bool GetCloseButtonHot() const { return FCloseButtonHot; }
    void Dispatch(TMessage& message) override;
    // A move (to another place, the size unchanged) snaps to the work area's edges.
    void SetBounds(int left, int top, int width, int height) override;

protected:
    void DrawNCArea(HDC dc, uint8_t parts) override;

private:
    void SetCloseButtonHot(bool value);
    // Where a window at `at` goes: each edge within the snap distance of the same edge of its
    // monitor's work area moves onto it, right and bottom first, then left and top.
    POINT SnapPosition(const RECT& at) const;

    int FSnapDistance = 0;
    bool FCloseButtonHot = false;
};

// Gives the window's floating form the snap distance when it is a themed one; a window calls it
// when its distance changes and when it comes to float.
void ShareSnapDistance(TTBCustomDockableWindow* window, int distance);
