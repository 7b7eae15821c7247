// The presence of one item in one view: its rectangle there, and its measuring, painting, hit
// testing and mouse and keyboard handling. Themed, chevron, edit and separator viewers derive
// from it.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "platform/Graphics.h"
#include "platform/Messages.h"
#include "toolbar/TBItem.h"

class TTBView;
class TTBItemViewerAccObject;

// Layout flag of a viewer: a separator standing at a line break of a wrapped toolbar.
constexpr uint8_t tbvfLineSep = 1u << 1;

class TTBItemViewer : public TObject {
    SF_CLASS(TTBItemViewer)
public:
    TTBItemViewer(TTBView* view, TTBCustomItem* item, int groupLevel);
    ~TTBItemViewer() override;

    TTBView* GetView() const { return FView; }
    TTBCustomItem* GetItem() const { return FItem; }
    // The viewer still exists while its token does: a view rebuilds its viewers whenever its
    // items change, so code that dispatched messages finds out whether it is still there.
    std::weak_ptr<int> LifeToken() const { return FLifeToken; }
    int GetGroupLevel() const { return FGroupLevel; }
    // Rectangle in the view window's client coordinates.
    const RECT& GetBoundsRect() const { return FBoundsRect; }
    bool GetShown() const { return FShown; }
    bool GetBehindChevron() const { return FBehindChevron; }
    bool GetScrolledOut() const { return FScrolledOut; }
    bool IsLineSeparator() const { return (FLayoutFlags & tbvfLineSep) != 0; }

    // ---- Virtual operations ----
    // The size the item needs, drawn with the canvas's font.
    virtual void MeasureSize(TCanvas* canvas, int& width, int& height);
    // Ends the menu with a click of the item; true when that happened.
    virtual bool PerformExecute();
    virtual void RenderItemCaption(TCanvas* canvas, const RECT& rect, const std::wstring& caption,
                                   bool drawDisabledShadow, UINT format);
    virtual void SelectionEntered(TTBItemViewer* oldSelected);
    virtual int AccessibleRole();
    // The accessible value, when the viewer has one.
    virtual bool AccessibleValue(std::wstring& value);
    // The caption up to its first TAB.
    virtual std::wstring ComposeCaption();
    // May choose the cursor for a point in the viewer's own coordinates.
    virtual void GetCursor(POINT, HCURSOR&) {}
    virtual bool UsesToolbarSize();
    // False over the arrow part of a split item and over any part of a plain submenu item.
    virtual bool PointInButtonPart(int x, int y);
    virtual void KeyDown(WORD&, TShiftState) {}
    virtual void SelectionLeft();
    // Asks the view to repaint this viewer.
    virtual void Invalidate();
    virtual void MouseDown(TShiftState shift, int x, int y, bool& mouseDownOnMenu);
    virtual void MouseMove(int, int) {}
    virtual void MouseUp(int x, int y, bool mouseWasDownOnMenu);
    virtual void MouseWheel(int, int, int) {}
    virtual void Paint(TCanvas* canvas, const RECT& clientAreaRect, bool isSelected, bool isPushed,
                       bool useDisabledShadow);
    // Takes the width of the widest viewer that also shares it.
    virtual bool SharesButtonWidth();
    virtual bool UsesToolbarStyle();

    // ---- Shared operations ----
    std::wstring ComposeHint();
    // The item's images, else the nearest submenu images up the views.
    TCustomImageList* GetImageList();
    // PerformExecute; with priority the viewer moves to the front of its view's priority list.
    void Execute(bool givePriority);
    // A screen point in the viewer's own coordinates.
    POINT ScreenToClient(POINT p);
    // The viewer's rectangle on the screen.
    RECT ScreenBounds() const;
    // Laid out somewhere: shown, behind the chevron, or scrolled out.
    bool CanBeAccessible() const { return FShown || FBehindChevron || FScrolledOut; }
    // Hands the viewer to the post queue for its accessibility selection (and default action).
    void PostExecute(bool execute);
    // Run from the post queue: selects the viewer and, when asked, executes it or opens or
    // closes its submenu as a click would.
    void HandleAccSelect(bool execute);
    // The accessibility object, created on first request; nullptr without accessibility.
    TTBItemViewerAccObject* GetAccObject();
    // The caption is shown / drawn rotated / the image is shown.
    virtual bool ShowsCaption();
    bool IsRotated();
    bool ShowsImage();

    // ---- Set by the view ----
    void SetLayout(const RECT& bounds, bool shown, bool behindChevron, bool scrolledOut, bool lineSep);
    // The measured size, kept until the view or the item says it is stale.
    SIZE CachedSize(TCanvas* canvas);
    bool SizeKnown() const { return FSizeValid; }
    SIZE KnownSize() const { return FSize; }
    void ForgetSize() { FSizeValid = false; }
    bool GetDirty() const { return FDirty; }
    void SetDirty(bool value) { FDirty = value; }

protected:
    TTBView* FView = nullptr;
    TTBCustomItem* FItem = nullptr;
    int FGroupLevel = 0;

private:
    friend class TTBView;
    RECT FBoundsRect{};
    bool FScrolledOut = false;
    bool FBehindChevron = false;
    bool FShown = false;
    uint8_t FLayoutFlags = 0;
    bool FDirty = false;
    bool FSizeValid = false;
    SIZE FSize{};
    int FLayoutIndex = 0;  // its place while the view lays it out
    TTBItemViewerAccObject* FAccObject = nullptr;
    std::shared_ptr<int> FLifeToken = std::make_shared<int>(0);
};

// The text metrics of a canvas's font (read once while a layout measures with one font).
TEXTMETRICW CanvasTextMetrics(TCanvas* canvas);

class TTBSeparatorItemViewer : public TTBItemViewer {
    SF_CLASS(TTBSeparatorItemViewer)
public:
    using TTBItemViewer::TTBItemViewer;
    void MeasureSize(TCanvas* canvas, int& width, int& height) override;
    void Paint(TCanvas* canvas, const RECT& clientAreaRect, bool isSelected, bool isPushed,
               bool useDisabledShadow) override;
    bool SharesButtonWidth() override { return false; }
};
