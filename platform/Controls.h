// Controls: the visual component tree (TControl, windowed TWinControl, painted TCustomControl and
// windowless TGraphicControl), their windows, message routing, alignment, input and focus.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Component.h"
#include "platform/Graphics.h"
#include "platform/Messages.h"

class TWinControl;
class TCustomForm;
class TControl;

// A canvas that draws on a control: its window's DC, or its parent's clipped to its bounds.
// Outside painting it fetches a DC on demand; only a few stay cached at a time.
class TControlCanvas : public TCanvas {
    SF_CLASS(TControlCanvas)
public:
    TControlCanvas() = default;
    ~TControlCanvas() override;
    TControl* GetControl() const { return FControl; }
    void SetControl(TControl* control);
    // Gives back the DC fetched on demand (nothing when the DC was set from outside).
    void FreeHandle();
    // Gives back every cached DC of one window (before the window goes away).
    static void FreeWindowCanvases(HWND wnd);

protected:
    void CreateHandle() override;

private:
    TControl* FControl = nullptr;
    HDC FDeviceContext = nullptr;
    HWND FWindowHandle = nullptr;
};

enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };

enum TAnchorKind : uint8_t { akLeft = 1, akTop = 2, akRight = 4, akBottom = 8 };
using TAnchors = uint8_t;

// What a control class is and does (ControlStyle).
enum TControlStyleFlag : uint32_t {
    csAcceptsControls = 1u << 0,
    csCaptureMouse = 1u << 1,
    csClickEvents = 1u << 2,
    csFramed = 1u << 3,
    csSetCaption = 1u << 4,
    csOpaque = 1u << 5,
    csDoubleClicks = 1u << 6,
    csFixedWidth = 1u << 7,
    csFixedHeight = 1u << 8,
    csNoStdEvents = 1u << 9,
    csReplicatable = 1u << 10,
    csActionClient = 1u << 11,
    csMenuEvents = 1u << 12,
    csParentBackground = 1u << 13,
};
using TControlStyle = uint32_t;

// What a control is doing at the moment (ControlState).
enum TControlStateFlag : uint32_t {
    csLButtonDown = 1u << 0,
    csClicked = 1u << 1,
    csAlignmentNeeded = 1u << 2,
    csFocusing = 1u << 3,
    csCreating = 1u << 4,
    csPaintCopy = 1u << 5,
    csDestroyingHandle = 1u << 6,
    csRecreating = 1u << 7,
};
using TControlState = uint32_t;

// Cursor identifiers; Screen maps them to cursor handles.
using TCursor = int;
constexpr TCursor crDefault = 0;
constexpr TCursor crNone = -1;
constexpr TCursor crArrow = -2;
constexpr TCursor crCross = -3;
constexpr TCursor crIBeam = -4;
constexpr TCursor crSizeNESW = -6;
constexpr TCursor crSizeNS = -7;
constexpr TCursor crSizeNWSE = -8;
constexpr TCursor crSizeWE = -9;
constexpr TCursor crUpArrow = -10;
constexpr TCursor crHourGlass = -11;
constexpr TCursor crDrag = -12;
constexpr TCursor crNoDrop = -13;
constexpr TCursor crHSplit = -14;
constexpr TCursor crVSplit = -15;
constexpr TCursor crNo = -18;
constexpr TCursor crAppStart = -19;
constexpr TCursor crHelp = -20;
constexpr TCursor crHandPoint = -21;
constexpr TCursor crSizeAll = -22;

using TMouseEvent = TEvent<TObject*, TMouseButton, TShiftState, int, int>;
using TMouseMoveEvent = TEvent<TObject*, TShiftState, int, int>;
using TKeyEvent = TEvent<TObject*, WORD&, TShiftState>;
using TKeyPressEvent = TEvent<TObject*, char&>;
using TContextPopupEvent = TEvent<TObject*, POINT, bool&>;

// Smallest and largest size a control may take; 0 means no limit.
struct TSizeConstraints {
    int MinWidth = 0;
    int MinHeight = 0;
    int MaxWidth = 0;
    int MaxHeight = 0;
};

// What a control answers to CM_HINTSHOW (LParam points at it): it may change the text, the
// rectangle the hint stays up in, the window class, or answer non-zero to show no hint.
struct THintInfo {
    TControl* HintControl = nullptr;
    TClass HintWindowClass = nullptr;
    POINT HintPos{};          // screen position of the hint window
    int HintMaxWidth = 0;
    TColor HintColor = clInfoBk;
    RECT CursorRect{};        // client coordinates of HintControl
    POINT CursorPos{};        // client coordinates of HintControl
    int ReshowTimeout = 0;
    int HideTimeout = 0;
    std::string HintStr;
    void* HintData = nullptr;
};

// The base of every visual component: parent, bounds, alignment, visibility, text, input
// virtuals and the WindowProc chain. Messages go WindowProc -> WndProc -> Dispatch -> DefaultHandler.
class TControl : public TComponent {
    SF_CLASS(TControl)
public:
    explicit TControl(TComponent* owner = nullptr);
    ~TControl() override;
    void BeforeDestruction() override;

    TWinControl* GetParent() const { return FParent; }
    virtual void SetParent(TWinControl* parent);
    bool HasParent() const override { return true; }
    void SetName(const std::string& name) override;
    TComponent* GetParentComponent() const override;
    void SetParentComponent(TComponent* parent) override;

    int GetLeft() const { return FLeft; }
    int GetTop() const { return FTop; }
    int GetWidth() const { return FWidth; }
    int GetHeight() const { return FHeight; }
    void SetLeft(int value) { SetBounds(value, FTop, FWidth, FHeight); }
    void SetTop(int value) { SetBounds(FLeft, value, FWidth, FHeight); }
    void SetWidth(int value) { SetBounds(FLeft, FTop, value, FHeight); }
    void SetHeight(int value) { SetBounds(FLeft, FTop, FWidth, value); }
    virtual void SetBounds(int left, int top, int width, int height);
    const TSizeConstraints& GetConstraints() const { return FConstraints; }
    void SetConstraints(const TSizeConstraints& value);
    bool GetAutoSize() const { return FAutoSize; }
    virtual void SetAutoSize(bool value);
    // Resizes the control to what CanAutoSize proposes, when AutoSize is on.
    virtual void AdjustSize();
    RECT GetBoundsRect() const { return RECT{FLeft, FTop, FLeft + FWidth, FTop + FHeight}; }
    void SetBoundsRect(const RECT& r) { SetBounds(r.left, r.top, r.right - r.left, r.bottom - r.top); }
    virtual RECT GetClientRect() const;
    int GetClientWidth() const;
    int GetClientHeight() const;
    void SetClientWidth(int value);
    void SetClientHeight(int value);
    virtual POINT GetClientOrigin() const;
    POINT ClientToScreen(POINT p) const;
    POINT ScreenToClient(POINT p) const;

    TAlign GetAlign() const { return FAlign; }
    void SetAlign(TAlign value);
    TAnchors GetAnchors() const { return FAnchors; }
    void SetAnchors(TAnchors value);

    bool GetVisible() const { return FVisible; }
    void SetVisible(bool value);
    void Show();
    void Hide();
    // Visible here and on every parent up to a shown window.
    virtual bool GetShowing() const;
    bool GetEnabled() const { return FEnabled; }
    void SetEnabled(bool value);

    TControlStyle GetControlStyle() const { return FControlStyle; }
    void SetControlStyle(TControlStyle value) { FControlStyle = value; }
    // The parent's background shows through where the control paints nothing of its own.
    bool GetParentBackground() const { return (FControlStyle & csParentBackground) != 0; }
    void SetParentBackground(bool value);
    TControlState GetControlState() const { return FControlState; }
    void SetControlState(TControlState value) { FControlState = value; }

    // Caption and Text are one property; they travel as WM_GETTEXT/WM_SETTEXT through Perform.
    std::string GetText();
    void SetText(const std::string& value);
    std::string GetCaption() { return GetText(); }
    void SetCaption(const std::string& value) { SetText(value); }

    TColor GetColor() const { return FColor; }
    void SetColor(TColor value);
    bool GetParentColor() const { return FParentColor; }
    void SetParentColor(bool value);
    TFont* GetFont() const { return FFont.get(); }
    void SetFont(TFont* value) { FFont->Assign(value); }
    bool GetParentFont() const { return FParentFont; }
    void SetParentFont(bool value);

    const std::string& GetHint() const { return FHint; }
    void SetHint(const std::string& value) { FHint = value; }
    bool GetShowHint() const { return FShowHint; }
    void SetShowHint(bool value);
    bool GetParentShowHint() const { return FParentShowHint; }
    void SetParentShowHint(bool value);

    TCursor GetCursor() const { return FCursor; }
    void SetCursor(TCursor value);

    // The popup menu component; shown on a context-menu request through PopupMenuHook.
    TComponent* GetPopupMenu() const { return FPopupMenu; }
    void SetPopupMenu(TComponent* menu);
    // Installed by the menus unit: shows `menu` for `control` at a screen point, true when shown.
    static std::function<bool(TControl* control, TComponent* menu, POINT screenPos)> PopupMenuHook;

    TWndMethod GetWindowProc() const { return FWindowProc; }
    void SetWindowProc(const TWndMethod& proc) { FWindowProc = proc; }
    // Sends a message through the WindowProc chain and gives its result.
    LRESULT Perform(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);
    // Sends a prepared message record through the WindowProc chain.
    void DeliverMessage(TMessage& message);

    virtual void WndProc(TMessage& message);
    // Hands a message to the handler of this class (overrides switch on Msg and call the base).
    virtual void Dispatch(TMessage& message);
    virtual void DefaultHandler(TMessage& message);

    virtual void Invalidate();
    virtual void Update();
    virtual void Repaint();
    void Refresh() { Repaint(); }
    void BringToFront();
    void SendToBack();

    bool GetMouseCapture() const;
    void SetMouseCapture(bool value);

    // Updates the state of the control's action link at idle time (actions unit overrides).
    virtual void InitiateAction() {}

    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TNotifyEvent OnResize;
    TMouseEvent OnMouseDown;
    TMouseMoveEvent OnMouseMove;
    TMouseEvent OnMouseUp;
    TNotifyEvent OnMouseEnter;
    TNotifyEvent OnMouseLeave;
    TContextPopupEvent OnContextPopup;

    // The object still exists while its token does; lets code that raised events find out.
    std::weak_ptr<int> LifeToken() const { return FLifeToken; }

protected:
    virtual void Click();
    virtual void DblClick();
    virtual void Resize();
    virtual void MouseDown(TMouseButton button, TShiftState shift, int x, int y);
    virtual void MouseMove(TShiftState shift, int x, int y);
    virtual void MouseUp(TMouseButton button, TShiftState shift, int x, int y);
    virtual void DoContextPopup(POINT mousePos, bool& handled);
    virtual void VisibleChanging() {}
    virtual void ParentChanged() {}
    // Moves the control's position among its siblings (topmost = true).
    virtual void SetZOrder(bool topMost);
    virtual void RequestAlign();
    // Proposes a size for AutoSize; false keeps the current one.
    virtual bool CanAutoSize(int& newWidth, int& newHeight);
    // Applies the constraints to a proposed size.
    virtual void ConstrainedResize(int& width, int& height);
    virtual void ChangeScale(int, int) {}
    // Repaints part of the control through its parent.
    void InvalidateControl(bool isVisible, bool isOpaque);

    // The parts of the mouse message path others extend.
    void WMMouseDown(TMessage& m, TMouseButton button, TShiftState extra);
    void WMMouseUp(TMessage& m, TMouseButton button);
    void WMMouseMove(TMessage& m);
    void WMContextMenu(TMessage& m);
    void WMCancelMode(TMessage& m);

    void UpdateAnchorRules();
    void FontChanged(TObject*);
    friend class TWinControl;
    friend class TApplication;

    TWinControl* FParent = nullptr;
    int FLeft = 0;
    int FTop = 0;
    int FWidth = 0;
    int FHeight = 0;
    TAlign FAlign = alNone;
    TAnchors FAnchors = akLeft | akTop;
    // Distances kept by right/bottom anchors, measured from the parent's client edges.
    int FAnchorRight = 0;
    int FAnchorBottom = 0;
    TSizeConstraints FConstraints;
    bool FAutoSize = false;
    bool FVisible = true;
    bool FEnabled = true;
    bool FShowHint = false;
    bool FParentShowHint = true;
    TControlStyle FControlStyle = csCaptureMouse | csClickEvents | csSetCaption | csDoubleClicks;
    TControlState FControlState = 0;
    std::string FText;
    std::string FHint;
    TCursor FCursor = crDefault;
    TColor FColor = clWindow;
    bool FParentColor = true;
    bool FParentFont = true;
    std::unique_ptr<TFont, TObjectFree> FFont;
    TComponent* FPopupMenu = nullptr;
    TWndMethod FWindowProc;

    void Notification(TComponent* component, TOperation operation) override;

private:
    std::shared_ptr<int> FLifeToken = std::make_shared<int>(0);
};

// Parameters of the window a TWinControl creates; CreateParams fills them, overrides adjust.
struct TCreateParams {
    std::string Caption;
    DWORD Style = 0;
    DWORD ExStyle = 0;
    int X = 0;
    int Y = 0;
    int Width = 0;
    int Height = 0;
    HWND WndParent = nullptr;
    void* Param = nullptr;
    WNDCLASSA WindowClass{};
    std::string WinClassName;
};

// A control with a window of its own: children, window creation through ANSI classes,
// focus and keyboard, painting of windowless children, and reflection of child notifications.
class TWinControl : public TControl {
    SF_CLASS(TWinControl)
public:
    explicit TWinControl(TComponent* owner = nullptr);
    ~TWinControl() override;
    void BeforeDestruction() override;

    HWND GetHandle();
    bool HandleAllocated() const { return FHandle != nullptr; }
    void HandleNeeded();
    // The handle as stored, without creating it; the Unicode layer writes it while subclassing.
    HWND GetWindowHandle() const { return FHandle; }
    void SetWindowHandle(HWND handle) { FHandle = handle; }
    // The procedure DefaultHandler passes messages to (the class's original or DefWindowProcA).
    WNDPROC GetDefWndProc() const { return FDefWndProc; }
    void SetDefWndProc(WNDPROC proc) { FDefWndProc = proc; }
    // A window outside the class library that hosts this control when it has no Parent.
    HWND GetParentWindow() const { return FParentWindow; }
    void SetParentWindow(HWND parent);
    void SetParent(TWinControl* parent) override;

    void CreateHandle();
    void DestroyHandle();
    void RecreateWnd();
    // The entry of every window message: WindowProc behind the exception barrier.
    void MainWndProc(TMessage& message);

    int GetControlCount() const { return static_cast<int>(FControls.size() + FWinControls.size()); }
    // Windowless children first, then windowed ones, each in z-order from the bottom.
    TControl* GetControl(int index) const;
    void InsertControl(TControl* control);
    void RemoveControl(TControl* control);
    // Raises when the control may not become a child of this one, before anything changes.
    virtual void ValidateInsert(TControl*) {}
    bool ContainsControl(const TControl* control) const;
    TControl* ControlAtPos(POINT pos, bool allowDisabled, bool allowWinControls = false) const;
    void Broadcast(TMessage& message);
    void NotifyControls(UINT msg);

    void DisableAlign() { ++FAlignLevel; }
    void EnableAlign();
    void Realign();
    virtual void AlignControls(TControl* control, RECT& rect);
    virtual void AdjustClientRect(RECT& rect);
    RECT GetClientRect() const override;
    POINT GetClientOrigin() const override;
    bool GetShowing() const override { return FShowing; }
    // Fits the children: the smallest size whose client area holds every visible one.
    bool CanAutoSize(int& newWidth, int& newHeight) override;
    void SetBounds(int left, int top, int width, int height) override;

    bool CanFocus() const;
    bool Focused() const;
    virtual void SetFocus();
    bool GetTabStop() const { return FTabStop; }
    void SetTabStop(bool value);
    int GetTabOrder() const;
    void SetTabOrder(int value);
    // Windowed controls in tab order, depth first; a container may leave out controls it hides.
    virtual void GetTabOrderList(std::vector<TWinControl*>& list) const;
    TWinControl* FindNextControl(TWinControl* current, bool goForward, bool checkTabStop, bool checkParent) const;
    void SelectNext(TWinControl* current, bool goForward, bool checkTabStop);

    bool GetDoubleBuffered() const { return FDoubleBuffered; }
    void SetDoubleBuffered(bool value) { FDoubleBuffered = value; }

    void Invalidate() override;
    void Update() override;
    void Repaint() override;
    // Paints the window into a DC: erases when asked, then PaintWindow and windowless children.
    void PaintTo(HDC dc, int x, int y);
    // Scrolls the window's contents and moves every child with them.
    void ScrollBy(int deltaX, int deltaY);

    TKeyEvent OnKeyDown;
    TKeyPressEvent OnKeyPress;
    TKeyEvent OnKeyUp;
    TNotifyEvent OnEnter;
    TNotifyEvent OnExit;

    void Dispatch(TMessage& message) override;
    void DefaultHandler(TMessage& message) override;
    void WndProc(TMessage& message) override;

protected:
    virtual void CreateParams(TCreateParams& params);
    // Takes the procedure of an existing (system) window class as the default procedure.
    void CreateSubClass(TCreateParams& params, const char* className);
    virtual void CreateWnd();
    virtual void CreateWindowHandle(const TCreateParams& params);
    virtual void DestroyWnd();
    virtual void DestroyWindowHandle();
    // Answers WM_PAINT: double-buffered through a memory bitmap, else straight into the DC.
    void PaintHandler(TMessage& message);
    virtual void PaintWindow(HDC dc);
    void PaintControls(HDC dc, TControl* first);
    virtual void KeyDown(WORD& key, TShiftState shift);
    virtual void KeyUp(WORD& key, TShiftState shift);
    virtual void KeyPress(char& key);
    virtual void DoEnter();
    virtual void DoExit();
    void SetZOrder(bool topMost) override;
    void RequestAlign() override;
    virtual void ControlsAligned() {}
    virtual void ShowControl(TControl*) {}
    void UpdateShowing();
    void UpdateControlState();
    // The window after which this one belongs in z-order (the next sibling's window).
    HWND PrecedingWindow(const TWinControl* control) const;
    // Whether the default handling of WM_NCPAINT has anything to draw.
    bool HasFrameToPaint() const;

    // Message handlers that derived classes extend through Dispatch.
    void WMPaint(TMessage& m);
    void WMEraseBkgnd(TMessage& m);
    void WMSize(TMessage& m);
    void WMMove(TMessage& m);
    void WMSetFocus(TMessage& m);
    void WMKillFocus(TMessage& m);
    void WMKeyDown(TMessage& m);
    void WMKeyUp(TMessage& m);
    void WMChar(TMessage& m);
    void WMSetCursor(TMessage& m);
    void WMCommandReflect(TMessage& m);
    void CNKeyDown(TMessage& m);
    void WMSysCommand(TMessage& m);
    void CNChar(TMessage& m);
    void CMDialogKey(TMessage& m);
    void CMDialogChar(TMessage& m);
    void CMChildKey(TMessage& m);
    void CMShowingChanged(TMessage& m);
    void CMVisibleChanged(TMessage& m);
    void CMEnabledChanged(TMessage& m);
    void CMRecreateWnd(TMessage& m);

    // Routes a mouse message aimed at a windowless child (under the cursor or capturing it).
    bool IsControlMouseMsg(TMessage& m);
    bool DoKeyDown(TMessage& m);
    // The key-press chain of a WM_CHAR: the form's KeyPreview, then KeyPress. True when a
    // handler swallowed the character (or freed the control); else the message carries the
    // character the handlers left.
    bool DoKeyPress(TMessage& m);

    void CNCtlColor(TMessage& m);
    void CMColorChanged(TMessage& m);
    void CMFontChanged(TMessage& m);

    HWND FHandle = nullptr;
    HWND FParentWindow = nullptr;
    WNDPROC FDefWndProc = nullptr;
    std::vector<TControl*> FControls;
    std::vector<TWinControl*> FWinControls;
    std::vector<TWinControl*> FTabList;
    int FAlignLevel = 0;
    bool FShowing = false;
    bool FTabStop = false;
    bool FDoubleBuffered = false;
    // The background brush, following Color.
    std::unique_ptr<TBrush, TObjectFree> FBrush;

    friend class TControl;
    friend class TCustomForm;
    friend LRESULT CALLBACK InitWndProc(HWND, UINT, WPARAM, LPARAM);
};

// A windowed control that paints itself through the virtual Paint.
class TCustomControl : public TWinControl {
    SF_CLASS(TCustomControl)
public:
    explicit TCustomControl(TComponent* owner = nullptr);
    TCanvas* GetCanvas() const { return FCanvas.get(); }

protected:
    // The DC being painted, valid inside Paint (the canvas draws on it too).
    HDC GetPaintDC() const { return FPaintDC; }
    virtual void Paint() {}
    void PaintWindow(HDC dc) override;
    void DestroyWnd() override;

private:
    HDC FPaintDC = nullptr;
    std::unique_ptr<TControlCanvas, TObjectFree> FCanvas;
};

// A control without a window, painted by its parent through the virtual Paint.
class TGraphicControl : public TControl {
    SF_CLASS(TGraphicControl)
public:
    explicit TGraphicControl(TComponent* owner = nullptr);
    TCanvas* GetCanvas() const { return FCanvas.get(); }
    void Dispatch(TMessage& message) override;

protected:
    HDC GetPaintDC() const { return FPaintDC; }
    virtual void Paint() {}

private:
    HDC FPaintDC = nullptr;
    std::unique_ptr<TControlCanvas, TObjectFree> FCanvas;
};

// Window creation and lookup shared with the Unicode layer.
// The first procedure of every class-library window: binds the window to the control being
// created, then continues through ControlWndProc.
LRESULT CALLBACK InitWndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
// The window procedure of a bound window: finds the control the window is bound to.
LRESULT CALLBACK ControlWndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
TWinControl* GetCreationControl();
void SetCreationControl(TWinControl* control);
// The control bound to a window of this thread, or nullptr.
TWinControl* FindControl(HWND wnd);
// Binds a window to its control (its two properties and the thread's lookup), and undoes that
// at WM_NCDESTROY; a bound window counts as a live window handle (LiveHandles).
void BindControlWindow(HWND wnd, TWinControl* control);
void UnbindControlWindow(HWND wnd);
// The two window properties that bind a window to its control.
ATOM GetWindowAtom();
ATOM GetControlAtom();
// The windowless or windowed control that has the mouse capture.
TControl* GetCaptureControl();
void SetCaptureControl(TControl* control);
// The form a control sits on (walking up its parents), or nullptr.
TCustomForm* GetParentForm(const TControl* control);
// The visible control under a screen point, windowless ones included; disabled ones when asked.
TControl* FindDragTarget(POINT screenPos, bool allowDisabled);

// The part of a hint before the first "|", and the part after it (or the whole hint).
std::string GetShortHint(const std::string& hint);
std::string GetLongHint(const std::string& hint);

// Double-buffer bitmaps alive now (for leak checks: GetGuiResources counts nothing under Wine).
int LivePaintBuffers();

// Unit start-up and shut-down (window atoms, cursors); called in the program's start-up order.
void InitControls();
void DoneControls();
