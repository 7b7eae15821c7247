// The theme every themed item, toolbar, dock, popup, panel, status bar and control draws through:
// the abstract TSkinTheme with the records and view types its callers pass, the registry of
// theme classes by name with reference counts, the theme manager that turns system changes into
// TBM_SYSCHANGE, and the run-time binding of the visual-style library with the state every theme
// reads.
#pragma once

#include <windows.h>

#include <uxtheme.h>

#include <cstdint>
#include <exception>
#include <string>
#include <utility>
#include <vector>

#include "platform/Graphics.h"
#include "platform/Messages.h"
#include "platform/ObjectModel.h"

class TCustomImageList;

// ---------------------------------------------------------------------------------------------
// Messages

// To the manager's notification list (themes and the nexus), wParam a TSysChange.
constexpr UINT TBM_SYSCHANGE = 1336;
// From the nexus to every registered window, with the wParam of the TBM_SYSCHANGE behind it.
constexpr UINT TBM_NEWTHEME = 1338;
// Dispatched with zero parameters; the receiver puts its view type into Result.
constexpr UINT TBM_QUERYVIEWTYPE = 1261;

// The wParam of TBM_SYSCHANGE and TBM_NEWTHEME.
enum TSysChange : WPARAM {
    scInactive = 0,       // only to a new theme: the application is not active
    scColors = 1,         // the first of three after a colour, display or visual-style change
    scMetrics = 2,
    scThemeDone = 3,
    scActivated = 4,
    scDeactivated = 5,
};

// ---------------------------------------------------------------------------------------------
// View types: the low 16 bits name the kind (its high byte the family), flags above qualify it.

enum TSkinViewType : uint32_t {
    vtToolbar = 0x101,
    vtMenuBar = 0x102,
    vtPopup = 0x201,
    vtListPopup = 0x202,        // a popup whose only item is a list
    vtEditPopup = 0x203,        // the popup of an edit or combo-box item
    vtChevronPopup = 0x204,
    vtStatusBar = 0x300,
    vtDockPanel = 0x400,
    vtDock = 0x601,
    vtMultiDock = 0x602,
    vtFloating = 0x10000,
    vtResizable = 0x20000,
    vtFramed = 0x40000,         // toolbars: buttons framed even when not hot
};
constexpr uint32_t ViewKindOf(uint32_t viewType) { return viewType & 0xFFFF; }
constexpr uint32_t ViewFamilyOf(uint32_t viewType) { return (viewType >> 8) & 0xFF; }

// Class-library colour meaning "the view colour of the view type in hand".
constexpr TColor clViewColor = 0x20000000;

// ---------------------------------------------------------------------------------------------
// Records the drawing operations read; callers start from the defaults (all zero).

enum TSkinItemFlag : uint32_t {
    ifToolbarStyle = 0x01,  // drawn as a button, also inside a popup
    ifSubmenu = 0x04,       // opens a submenu: an arrow is drawn
    ifSplit = 0x08,         // a split item whose arrow part is separate
    ifRadio = 0x10,         // a dot instead of a check
    ifShowFrame = 0x20,     // the frame shows even when not hot
    ifAppActive = 0x40,     // a menu-bar item of an inactive application is drawn disabled
};

enum TSkinButtonPart : uint8_t { bpWhole = 0, bpWithArrow = 1, bpSplitButton = 2, bpSplitArrow = 3 };

struct TSkinItemDrawInfo {
    uint32_t ViewKind = 0;
    uint32_t ItemFlags = 0;
    bool Enabled = false;
    bool Pushed = false;
    // 0 not hot; 1 and 2 hot. A disabled item counts as hot only with 1.
    uint8_t HotState = 0;
    bool Checked = false;
    bool HasImage = false;
    int32_t ImageWidth = 0;
    int32_t ImageHeight = 0;
    bool Vertical = false;
    TSkinButtonPart ButtonPart = bpWhole;
    bool PopupOpen = false;
    int32_t ImageColumnWidth = 0;
};

// Close-button state of the toolbar, panel and floating records.
enum TSkinCloseButtonState : uint32_t { cbShown = 1, cbHot = 2, cbPushed = 4 };

enum TSkinDragHandleStyle : uint32_t { dhsDoubleBar = 0, dhsNone = 1, dhsSingleBar = 2 };

struct TSkinToolbarInfo {
    HWND Window = nullptr;
    uint32_t ViewType = 0;
    bool Vertical = false;
    bool DragHandle = false;
    uint8_t BorderStyle = 0;            // 1: single border
    SIZE BorderSize{0, 0};
    int32_t ClientWidth = 0;
    int32_t ClientHeight = 0;
    TSkinDragHandleStyle DragHandleStyle = dhsDoubleBar;
    uint32_t CloseButtonState = 0;
    TColor Color = 0;                   // clViewColor: the view colour
};

// Parts of a floating frame to draw.
enum TSkinFloatingPart : uint32_t { fpBorder = 1, fpCaption = 2, fpCloseButton = 4 };

struct TSkinFloatingInfo {
    HWND Window = nullptr;
    HWND DockedWindow = nullptr;
    uint32_t ViewType = 0;
    int32_t ClientWidth = 0;
    int32_t ClientHeight = 0;
    bool ShowCaption = false;
    SIZE BorderSize{0, 0};
    uint32_t CloseButtonState = 0;
    uint32_t RedrawParts = 0;
    std::wstring Caption;
    TColor Color = 0;
    bool Active = false;
};

struct TSkinDockPanelInfo {
    HWND Window = nullptr;
    uint32_t ViewType = 0;
    bool CaptionHorizontal = false;     // the caption above the client area, not beside it
    bool AllowDrag = false;
    uint8_t BorderStyle = 0;
    SIZE BorderSize{0, 0};
    int32_t ClientWidth = 0;
    int32_t ClientHeight = 0;
    bool ShowCaption = false;
    uint32_t CloseButtonState = 0;
    TColor Color = 0;
    std::wstring Caption;
};

struct TSkinPopupInfo {
    HWND Window = nullptr;
    uint32_t ViewType = 0;
    RECT OpenerRect{0, 0, 0, 0};        // the opening item, relative to the window
    SIZE BorderSize{0, 0};
};

enum TSkinEditButtonKind : uint32_t { ebNone = 0, ebDropDown = 1, ebSpin = 2 };
enum TSkinEditButtonState : uint32_t { ebsDisabled = 1, ebsHot = 2, ebsPushed = 4, ebsLowerPushed = 8 };

struct TSkinEditButtonInfo {
    TSkinEditButtonKind Kind = ebNone;
    uint32_t State = 0;                 // TSkinEditButtonState bits; ebsPushed is the upper half of a spin
};

struct TSkinEditInfo {
    int32_t LeftWidth = 0;              // a part at the left (an image)
    int32_t RightWidth = 0;             // the button at the right; 0 without one
    TSkinEditButtonInfo Button;
};

// ---------------------------------------------------------------------------------------------
// Codes the operations take

enum TSkinMarginKind : int { mkItemContent = 1, mkMenuItem = 2, mkStatusPanel = 3 };
enum TSkinArrowDirection : int { adUp = 1, adDown = 2, adLeft = 3, adRight = 4 };
enum TSkinCaptionButton : int { cbnClose = 0, cbnMinimize = 1, cbnMaximize = 2, cbnRestore = 3 };
enum TSkinStatusPart : int { spBackground = 0, spPanel = 1, spPanelAtGrip = 2, spSizeGrip = 3 };
// The side of a dock, as DrawDockBackground takes it (one more than the dock's own position code).
enum TSkinDockSide : int { dsTop = 1, dsBottom = 2, dsLeft = 3, dsRight = 4 };
// The visual-style part numbers of the two glyphs.
enum TSkinControlGlyph : int { cgRadio = 2, cgCheckBox = 3 };
// State bits of DrawControlGlyph.
enum TSkinControlGlyphState : uint32_t {
    cgsChecked = 0x01, cgsDisabled = 0x04, cgsHot = 0x08, cgsPushed = 0x10, cgsFocused = 0x20,
};

enum TSkinIntegerMetric : int {
    imSplitArrowWidth = 10,     // the arrow part of a split button
    imDropDownArrowWidth = 20,  // the strip of a drop-down arrow
    imMenuImageSpacing = 32,    // before a menu item's image column
    imMenuTextSpacing = 33,     // between the image column and a menu caption
    imMenuTextEndSpacing = 34,  // after a menu caption
    imMenuSeparatorSize = 35,
    imToolbarSeparatorSize = 50,
    imEditFrameWidth = 60,
    imEditHorzInset = 61,
    imEditVertInset = 62,
    imDropDownButtonWidth = 65,
    imEditExtraWidth = 66,
};

enum TSkinBooleanMetric : int {
    bmPopupsShareEdge = 1,      // a popup and its item share an edge line
    bmEvenEditHeight = 4,
    bmVisualStyles = 5,
    bmOpaqueToolbarFrame = 6,
    bmOpaqueToolbars = 7,
};

struct TSkinMargins {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;
};

// ---------------------------------------------------------------------------------------------
// The theme

// What the theme manager tells of system changes: themes and the nexus receive TBM_SYSCHANGE.
class ISkinMessageTarget {
public:
    virtual void Dispatch(TMessage& message) = 0;

protected:
    ~ISkinMessageTarget() = default;
};

class TSkinTheme;
// A theme class: its virtual constructor, taking the registered name.
using TSkinThemeClass = TSkinTheme* (*)(const std::string& name);

// Every drawing operation after construction is abstract. Rectangles are device coordinates of
// the DC given.
class TSkinTheme : public TObject, public ISkinMessageTarget {
    SF_CLASS(TSkinTheme)
public:
    explicit TSkinTheme(std::string name) : FName(std::move(name)) {}
    const std::string& GetName() const { return FName; }
    void Dispatch(TMessage&) override {}

    virtual POINT QueryImageShift(HDC dc, const TSkinItemDrawInfo& info, int unused);
    virtual TColor QueryItemColor(const TSkinItemDrawInfo& info);
    virtual TColor QueryItemTextColor(const TSkinItemDrawInfo& info);
    virtual TColor QueryImageBackColor(const TSkinItemDrawInfo& info);
    virtual TSkinMargins QueryMargins(int kind);
    virtual int QueryPopupShadowStyle();
    virtual SIZE QueryViewBorder(uint32_t viewType);
    virtual TColor QueryViewColor(uint32_t viewType);
    virtual TSkinMargins QueryViewMargins(uint32_t viewType);
    // Fills the part of paint inside clip; false (nothing drawn) for clNone.
    virtual bool FillViewBackground(HDC dc, const RECT& viewRect, const RECT& paint, const RECT& clip, TColor color,
                                    uint32_t viewType);
    virtual void DrawButtonFrame(HDC dc, const RECT& r, const TSkinItemDrawInfo& info);
    virtual void DrawItemText(HDC dc, RECT& r, const TSkinItemDrawInfo& info, const std::wstring& caption,
                              UINT format, TColor color);
    virtual void DrawCheckGlyph(HDC dc, const RECT& r, const TSkinItemDrawInfo& info);
    virtual void DrawChevronGlyph(HDC dc, const RECT& r, const TSkinItemDrawInfo& info);
    virtual void DrawEditItem(HDC dc, const RECT& r, const TSkinItemDrawInfo& info, const TSkinEditInfo& edit);
    virtual void DrawEditButtonPart(HDC dc, const RECT& r, const TSkinItemDrawInfo& info,
                                    const TSkinEditButtonInfo& button);
    virtual void DrawDockBackground(HDC dc, const RECT& clientRect, const RECT& dockRect, int dockPosition);
    virtual void DrawPanelFrame(HDC dc, const RECT& r, const TSkinDockPanelInfo& panel);
    virtual void DrawArrowGlyph(HDC dc, const RECT& r, const TSkinItemDrawInfo& info);
    virtual void DrawFloatingFrame(HDC dc, const RECT& r, const TSkinFloatingInfo& floating);
    virtual void DrawEditFieldFrame(HDC dc, const RECT& r, const TSkinItemDrawInfo& info);
    virtual void DrawImageForState(HDC dc, const RECT& r, const TSkinItemDrawInfo& info, TCustomImageList* images,
                                   int imageIndex);
    virtual void DrawCaptionButton(HDC dc, const RECT& r, const TSkinItemDrawInfo& info, int kind);
    virtual void DrawMenuItemFace(HDC dc, const RECT& r, const TSkinItemDrawInfo& info);
    virtual void DrawHotBackground(HDC dc, const RECT& r, const TSkinItemDrawInfo& info);
    virtual void DrawArrowButton(HDC dc, const RECT& r, int direction, bool pushed);
    virtual void DrawPopupFrame(HDC dc, const RECT& r, const TSkinPopupInfo& popup);
    virtual void DrawSeparatorLine(HDC dc, const RECT& r, const TSkinItemDrawInfo& info, bool horizontal,
                                   bool toolbarSeparator);
    virtual void DrawToolbarFrame(HDC dc, const RECT& r, const TSkinToolbarInfo& toolbar);
    virtual void DrawControlGlyph(HDC dc, const RECT& r, int kind, uint32_t state, uint32_t options);
    virtual void DrawStatusBarPart(HDC dc, const RECT& r, int part);
    // -1 for an id the theme does not know.
    virtual int QueryIntegerMetric(int id);
    // False for an id the theme does not know.
    virtual bool QueryBooleanMetric(int id);

private:
    std::string FName;
};

// ---------------------------------------------------------------------------------------------
// Geometry the themes share

// 0 without a drag handle; else 9, 0 or 6 by style (double bar, none, single bar), or 14 with
// the close button.
int DragHandleSize(const TSkinToolbarInfo& toolbar);
// The square of side DragHandleSize - 1 at the handle's end: top left, or top right when vertical.
RECT DragHandleCloseRect(const TSkinToolbarInfo& toolbar);
// (0, 0, client width, SM_CYSMCAPTION - 1), less the close button's square at the right end when
// asked, moved by the border size when adjusting for the border.
RECT FloatingCaptionRect(const TSkinFloatingInfo& floating, bool adjustForBorder, bool withoutCloseButton);
// The square at the right end of the caption rectangle.
RECT FloatingCloseButtonRect(const TSkinFloatingInfo& floating, bool adjustForBorder);

// ---------------------------------------------------------------------------------------------
// Registry

// Raises "Cannot register theme" for an empty name or a missing class and "Theme %s is already
// registered" for a name present (names compare without case, A to Z only; at most 255 kept).
void RegisterThemeClass(const std::string& name, TSkinThemeClass themeClass);
// The named theme, created on first request; one more reference. "Unknown theme <name>".
TSkinTheme* GetTheme(const std::string& name);
// One reference less; the last frees the theme and clears the variable. "Cannot release theme".
void ReleaseTheme(TSkinTheme*& theme);
// Empties the registry, freeing what is left of its themes (the unit's end).
void ClearThemeRegistry();

// ---------------------------------------------------------------------------------------------
// Visual styles

// The nine class handles every theme draws with, in the order they are opened.
enum TVisualStyleClass : int {
    vscButton, vscScrollBar, vscRebar, vscToolbar, vscWindow, vscComboBox, vscExplorerBar, vscStatus, vscSpin,
    vscCount
};

// The visual-style library's calls, bound by name; an entry the library lacks stays nullptr.
struct TVisualStyleCalls {
    HTHEME(WINAPI* OpenThemeData)(HWND, LPCWSTR) = nullptr;
    HRESULT(WINAPI* CloseThemeData)(HTHEME) = nullptr;
    HRESULT(WINAPI* DrawThemeBackground)(HTHEME, HDC, int, int, const RECT*, const RECT*) = nullptr;
    HRESULT(WINAPI* GetThemeBackgroundContentRect)(HTHEME, HDC, int, int, const RECT*, RECT*) = nullptr;
    HRESULT(WINAPI* GetThemePartSize)(HTHEME, HDC, int, int, const RECT*, THEMESIZE, SIZE*) = nullptr;
    HRESULT(WINAPI* GetThemeBackgroundRegion)(HTHEME, HDC, int, int, const RECT*, HRGN*) = nullptr;
    HRESULT(WINAPI* GetThemeColor)(HTHEME, int, int, int, COLORREF*) = nullptr;
    HRESULT(WINAPI* GetThemeMargins)(HTHEME, HDC, int, int, int, const RECT*, MARGINS*) = nullptr;
    BOOL(WINAPI* IsThemeActive)() = nullptr;
    BOOL(WINAPI* IsAppThemed)() = nullptr;
};
TVisualStyleCalls& VisualStyleCalls();

// Loads "uxtheme.dll" once and binds its calls; true when it is loaded.
bool LoadVisualStyles();
// Frees the library and clears every bound call.
void FreeVisualStyles();
// Loaded, and IsAppThemed and IsThemeActive both say yes.
bool CanUseVisualStyles();

// What every theme reads of the system's look, updated by the manager.
struct TVisualStyleState {
    bool VisualStylesInUse = false;
    HTHEME Handles[vscCount] = {};
    bool FlatMenuStyle = false;
    TColor MenuColor = clMenu;
    TColor MenuTextColor = clMenuText;
    bool LowColorDisplay = false;   // fewer than 12 bits per pixel on the screen
    bool WhiteButtonFace = false;   // the button face is pure white
};
TVisualStyleState& VisualStyleState();

// ---------------------------------------------------------------------------------------------
// Manager

// Runs the telling of every target of a notification even when one of them raises: a change
// that begins with one message and ends with another must reach every target whole. Keeps the
// first failure and raises it once every step ran; later ones of the same run are dropped.
class TFirstFailure {
public:
    template <class F>
    void Run(F&& step)
    {
        try {
            step();
        } catch (...) {
            if (!FFailure)
                FFailure = std::current_exception();
        }
    }
    void RaiseIfAny()
    {
        if (std::exception_ptr failure = std::exchange(FFailure, nullptr))
            std::rethrow_exception(failure);
    }

private:
    std::exception_ptr FFailure;
};

// Turns the system's colour, display, visual-style and activation changes into TBM_SYSCHANGE for
// its notification list, and keeps the visual-style state. One per process, made by the unit's
// start.
class TSkinThemeManager : public TObject {
    SF_CLASS(TSkinThemeManager)
public:
    TSkinThemeManager();
    ~TSkinThemeManager() override;
    void AfterConstruction() override;

    void AddNotification(ISkinMessageTarget* target);
    void RemoveNotification(ISkinMessageTarget* target);
    // TBM_SYSCHANGE to every target in list order; the last one's Result, 0 for an empty list.
    LRESULT SendSysChange(WPARAM change, LPARAM lParam = 0);

    // Visual styles are used only while allowed (the default) and the system offers them.
    bool GetAllowVisualStyles() const { return FAllowVisualStyles; }
    void SetAllowVisualStyles(bool value);
    HWND GetHandle() const { return FHandle; }
    // Rebuilds the shared drawing objects and reads the system's look again.
    void UpdateVisualStyleState();

private:
    void WndProc(TMessage& message);
    void CloseVisualStyles();

    bool FAllowVisualStyles = true;
    std::vector<ISkinMessageTarget*> FNotifications;
    HWND FHandle = nullptr;
};

// The process's manager; nullptr outside the unit's start and end.
TSkinThemeManager* ThemeManager();

// The unit's start and end: the registry, the manager and the visual-style binding.
void InitSkinThemes();
void DoneSkinThemes();
