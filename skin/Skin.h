// What ties the themed windows to the current theme: the nexus that selects it and relays every
// system change to the registered windows as TBM_NEWTHEME, the routines every themed class shares
// (view-type queries, the parent's backdrop, the image column of a popup, captions and images
// from state flags), and the themed framework's start and end.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "skin/SkinTheme.h"

class TControl;
class TCustomForm;
class TCustomImageList;
class TTBItemViewer;
class TTBView;

// Relays the theme manager's TBM_SYSCHANGE to its targets as TBM_NEWTHEME. One per process.
class TSkinNexus : public TObject, public ISkinMessageTarget {
    SF_CLASS(TSkinNexus)
public:
    // Makes the named theme current and joins the manager's notification list.
    explicit TSkinNexus(std::string themeName) : FThemeName(std::move(themeName)) {}
    void AfterConstruction() override;
    // Leaves the list and releases the theme.
    ~TSkinNexus() override;

    // Targets are told in the order they came; one that is already there is not added again.
    void AddNotification(TControl* target);
    void RemoveNotification(TControl* target);
    // Each target of the list as it is now, still in the list when its turn comes, gets one
    // message record in its dispatch.
    void Broadcast(UINT message, WPARAM wParam, LPARAM lParam);
    void Dispatch(TMessage& message) override;

private:
    std::string FThemeName;
    std::vector<TControl*> FTargets;
};

// The theme every themed class draws with; nullptr outside the unit's start and end.
TSkinTheme* CurrentTheme();
TSkinNexus* SkinNexus();

// A window joins in its constructor and leaves in its destructor (both safe without a nexus).
void AddThemeListener(TControl* control);
void RemoveThemeListener(TControl* control);

// TBM_QUERYVIEWTYPE to the view's window (0 for no view or a view without one) or to the control.
uint32_t GetViewTypeOfItemOwner(TTBView* view);
uint32_t GetViewTypeOfControl(TControl* control);

// Paints what lies behind the control into r of its DC, so that it looks transparent: the
// parent's own erasing through a shifted origin, else a dock's own background drawing, else the
// parent's colour (button face without a parent or for an MDI parent form).
void PaintParentBackdrop(TControl* control, HDC dc, const RECT& r);
// Re-applies the form's client size and has its frame recomputed and painted.
void RecalcFrame(TCustomForm* form);
// The width of a popup menu's image column for the viewer's item: the image (the themed viewer's
// own size when given, else its list's, else 16 x 16) scaled to the height of a menu line.
int ComputeImageColumn(TTBItemViewer* viewer, SIZE imageSize = SIZE{0, 0});

// State flags of windows that are not item viewers.
enum TSkinStateFlag : uint32_t {
    sfDisabled = 0x01,
    sfHot = 0x02,
    sfPushed = 0x04,
    sfSelected = 0x08,
    sfToolbarKind = 0x000,   // bits 8 to 11: the kind of view
    sfPanelKind = 0x100,
    sfStandaloneKind = 0x200,
    sfKindMask = 0xF00,
};

uint32_t DeriveStateFlags(const TSkinItemDrawInfo& info);
// The item-info record the theme gets for state flags.
TSkinItemDrawInfo StateItemInfo(uint32_t flags);
TColor GetStateTextColor(uint32_t flags);
void DrawStateCaption(HDC dc, RECT& r, const std::wstring& caption, UINT format, uint32_t flags);
void DrawStateImage(HDC dc, const RECT& r, TCustomImageList* images, int imageIndex, uint32_t flags);

// The themed framework's process state, in the program's start-up order: the colour effects, the
// picture format "png", the optional Windows calls and shared drawing objects, the theme manager,
// the theme "Default" and the nexus that makes it current. DoneSkin undoes it in reverse.
void InitSkin();
void DoneSkin();

// Makes the named theme current in place of the one the nexus holds, so that a theme registered
// beside "Default" can be drawn with; raises "Unknown theme <name>" for a name not registered.
void SelectTheme(const std::string& name);
