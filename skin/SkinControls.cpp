#include "skin/SkinControls.h"

#include <vssym32.h>

#include <algorithm>
#include <cstring>

#include "platform/Forms.h"
#include "platform/Geometry.h"
#include "platform/ScopeGuards.h"
#include "platform/SysUtils.h"
#include "skin/Skin.h"
#include "skin/SkinPopup.h"
#include "skin/SkinUtils.h"
#include "toolbar/TBCommon.h"
#include "toolbar/TBHintWindow.h"

SF_IMPLEMENT_CLASS(TSkinControlMargins, TPersistent)
SF_IMPLEMENT_CLASS(TSkinControlPaddings, TSkinControlMargins)
SF_IMPLEMENT_COMPONENT(TSkinControl, TCustomControl)
SF_IMPLEMENT_COMPONENT(TSkinAlignmentPanel, TSkinControl)
SF_IMPLEMENT_COMPONENT(TSkinTextObject, TSkinControl)
SF_IMPLEMENT_COMPONENT(TSkinCustomLabel, TSkinTextObject)
SF_IMPLEMENT_COMPONENT(TSkinLabel, TSkinCustomLabel)
SF_IMPLEMENT_ABSTRACT(TSkinCustomButtonActionLink, TControlActionLink)
SF_IMPLEMENT_COMPONENT(TSkinCustomButton, TSkinTextObject)
SF_IMPLEMENT_COMPONENT(TSkinButton, TSkinCustomButton)
SF_IMPLEMENT_COMPONENT(TSkinCustomRadioButton, TSkinTextObject)
SF_IMPLEMENT_COMPONENT(TSkinRadioButton, TSkinCustomRadioButton)

namespace {

// One hover timer and one followed control for every themed control of the process.
struct THoverState {
    TTimer* Timer = nullptr;
    int Instances = 0;
    TSkinControl* Tracked = nullptr;
};
THoverState gHover;

void HoverTick(TObject*)
{
    POINT p{};
    GetCursorPos(&p);
    TSkinControl::CheckHover(p);
}

RECT Shrunk(const RECT& r, const RECT& by)
{
    return RECT{r.left + by.left, r.top + by.top, r.right - by.right, r.bottom - by.bottom};
}

TSkinTheme& Theme()
{
    TSkinTheme* theme = CurrentTheme();
    if (!theme)
        throw EInvalidOperation("No theme is current");
    return *theme;
}

constexpr UINT AlignmentFlags = DT_LEFT | DT_RIGHT | DT_CENTER;

// A memory DC with a canvas on it, for measuring text outside painting.
class TMeasuringCanvas {
public:
    TMeasuringCanvas() : FCanvas(New<TCanvas>()) { FCanvas->SetHandle(FDC.Get()); }
    ~TMeasuringCanvas() { FCanvas->SetHandle(nullptr); }
    TMeasuringCanvas(const TMeasuringCanvas&) = delete;
    TMeasuringCanvas& operator=(const TMeasuringCanvas&) = delete;
    TCanvas* Get() const { return FCanvas.get(); }

private:
    TMemoryDC FDC;
    std::unique_ptr<TCanvas, TObjectFree> FCanvas;
};

} // namespace

// ---------------------------------------------------------------------------------------------
// Spacing

void TSkinControlMargins::SetSide(int& side, int value)
{
    if (side == value)
        return;
    side = value;
    Change();
}

void TSkinControlMargins::Assign(TPersistent* source)
{
    if (!Is<TSkinControlMargins>(source)) {
        TPersistent::Assign(source);
        return;
    }
    auto* other = static_cast<TSkinControlMargins*>(source);
    FLeft = other->FLeft;
    FTop = other->FTop;
    FRight = other->FRight;
    FBottom = other->FBottom;
    Change();
}

void TSkinControlMargins::Change()
{
    OnChange(this);
}

// ---------------------------------------------------------------------------------------------
// Control base

TSkinControl::TSkinControl(TComponent* owner) : TCustomControl(owner)
{
    FControlStyle = (FControlStyle | csAcceptsControls | csClickEvents | csDoubleClicks | csParentBackground) &
                    ~csOpaque;
}

void TSkinControl::AfterConstruction()
{
    TCustomControl::AfterConstruction();
    if (!gHover.Timer) {
        gHover.Timer = New<TTimer>(nullptr);
        gHover.Timer->SetEnabled(false);
        gHover.Timer->SetInterval(HoverInterval);
        gHover.Timer->SetOnTimer(TNotifyEvent(&HoverTick));
    }
    ++gHover.Instances;
    AddThemeListener(this);
}

void TSkinControl::BeforeDestruction()
{
    RemoveThemeListener(this);
    StopTracking();
    // The last control may go inside a tick of the timer: the timer bears being freed there.
    if (gHover.Instances > 0 && --gHover.Instances == 0)
        FreeAndNil(gHover.Timer);
    TCustomControl::BeforeDestruction();
}

TSkinControl* TSkinControl::GetTrackedControl()
{
    return gHover.Tracked;
}

TTimer* TSkinControl::GetHoverTimer()
{
    return gHover.Timer;
}

void TSkinControl::CheckHover(POINT screenPoint)
{
    if (gHover.Tracked && FindDragTarget(screenPoint, true) != gHover.Tracked)
        gHover.Tracked->MouseLeave();
}

void TSkinControl::StopTracking()
{
    if (gHover.Tracked != this)
        return;
    gHover.Tracked = nullptr;
    if (gHover.Timer)
        gHover.Timer->SetEnabled(false);
}

int TSkinControl::GetMaxHeightBase()
{
    return FHeight;
}

int TSkinControl::GetMaxWidthBase()
{
    return FWidth;
}

void TSkinControl::DoMouseEnter()
{
    OnMouseEnter(this);
}

void TSkinControl::DoMouseLeave()
{
    OnMouseLeave(this);
}

void TSkinControl::MouseEnter()
{
    if (!FEnabled || FMouseInControl)
        return;
    FMouseInControl = true;
    // The hot look comes with the hot state, as it goes with it.
    Invalidate();
    DoMouseEnter();
}

void TSkinControl::MouseLeave()
{
    if (!FEnabled || !FMouseInControl)
        return;
    FMouseInControl = false;
    StopTracking();
    std::weak_ptr<int> alive = LifeToken();
    DoMouseLeave();
    if (!alive.expired())
        Invalidate();
}

void TSkinControl::MouseDown(TMouseButton button, TShiftState shift, int x, int y)
{
    FKeyPushed = false;
    if (button == TMouseButton::mbLeft && !FPushed) {
        FPushed = true;
        Invalidate();
    }
    std::weak_ptr<int> alive = LifeToken();
    if (FEnabled)
        MouseEnter();
    if (alive.expired())
        return;
    TakeFocusOnClick();
    if (!alive.expired())
        TCustomControl::MouseDown(button, shift, x, y);
}

void TSkinControl::TakeFocusOnClick()
{
    if (!FSmartFocus) {
        if (CanFocus() && !Focused())
            SetFocus();
        return;
    }
    // Only when the focus is already inside the same container: a click elsewhere leaves it.
    TWinControl* focused = FindControl(GetFocus());
    if (!FParent || !focused || !FParent->ContainsControl(focused) || !CanFocus() || Focused())
        return;
    TFlagScope byClick(FFocusByClick);
    SetFocus();
}

void TSkinControl::MouseMove(TShiftState shift, int x, int y)
{
    std::weak_ptr<int> alive = LifeToken();
    if (FHandle) {
        POINT screen{x, y};
        ::ClientToScreen(FHandle, &screen);
        TControl* under = FindDragTarget(screen, true);
        if (under == this) {
            if (gHover.Tracked != this) {
                if (gHover.Tracked)
                    gHover.Tracked->MouseLeave();
                if (alive.expired())
                    return;
                // A disabled control is not followed: it cannot become hot.
                if (FEnabled) {
                    gHover.Tracked = this;
                    gHover.Timer->SetEnabled(true);
                }
            }
            MouseEnter();
        } else if (GetCapture() == FHandle && FMouseInControl) {
            MouseLeave();
        }
        if (alive.expired())
            return;
    }
    TCustomControl::MouseMove(shift, x, y);
}

void TSkinControl::MouseUp(TMouseButton button, TShiftState shift, int x, int y)
{
    FPushed = false;
    Invalidate();
    TCustomControl::MouseUp(button, shift, x, y);
}

void TSkinControl::KeyDown(WORD& key, TShiftState shift)
{
    TCustomControl::KeyDown(key, shift);
    FKeyPushed = false;
    if (FSpacePushes && key == VK_SPACE) {
        FPushed = true;
        FKeyPushed = true;
        Invalidate();
    }
}

void TSkinControl::KeyUp(WORD& key, TShiftState shift)
{
    if (FSpacePushes && FPushed && key == VK_SPACE) {
        FPushed = false;
        std::weak_ptr<int> alive = LifeToken();
        Click();
        if (alive.expired())
            return;
        Invalidate();
    }
    FKeyPushed = false;
    TCustomControl::KeyUp(key, shift);
}

bool TSkinControl::ReadUIState()
{
    if (!FHandle)
        return false;
    const LRESULT state = SendMessageA(FHandle, WM_QUERYUISTATE, 0, 0);
    const bool shown = !(state & UISF_HIDEACCEL) || KeyboardCuesOn();
    const uint32_t uiState = shown ? (FUIState | uisAccelsShown) : (FUIState & ~uisAccelsShown);
    if (uiState == FUIState)
        return false;
    FUIState = uiState;
    return true;
}

void TSkinControl::EnabledChanged(TMessage& m)
{
    TCustomControl::Dispatch(m);
    if (FEnabled || !FMouseInControl) {
        if (!FEnabled)
            StopTracking();
        return;
    }
    FMouseInControl = false;
    StopTracking();
    std::weak_ptr<int> alive = LifeToken();
    DoMouseLeave();
    if (alive.expired())
        return;
    Invalidate();
    Perform(WM_CANCELMODE);
}

void TSkinControl::EraseBackground(TMessage& m)
{
    m.Result = 1;
    if (FDoubleBuffered && m.WParam != static_cast<WPARAM>(m.LParam))
        return;
    HDC dc = reinterpret_cast<HDC>(m.WParam);
    const RECT r = GetClientRect();
    if (GetParentBackground())
        PaintParentBackdrop(this, dc, r);
    else
        ::FillRect(dc, &r, FBrush->GetHandle());
}

void TSkinControl::SetFocusMessage(TMessage& m)
{
    TCustomControl::Dispatch(m);
    FKeyPushed = false;
    Invalidate();
}

void TSkinControl::Dispatch(TMessage& m)
{
    switch (m.Msg) {
    case CM_ENABLEDCHANGED:
        EnabledChanged(m);
        return;
    case CM_MOUSEENTER:
    case CM_MOUSELEAVE:
        // The control follows the pointer itself; the application's idle notice would fire the
        // events a second time.
        return;
    case WM_ERASEBKGND:
        EraseBackground(m);
        return;
    case WM_SETFOCUS:
        SetFocusMessage(m);
        return;
    case WM_KILLFOCUS:
        FPushed = false;
        FKeyPushed = false;
        Invalidate();
        break;
    case WM_UPDATEUISTATE:
        TCustomControl::Dispatch(m);
        if (ReadUIState())
            Invalidate();
        return;
    case TBM_NEWTHEME:
        if (FHandle)
            InvalidateRect(FHandle, nullptr, TRUE);
        return;
    default:
        break;
    }
    TCustomControl::Dispatch(m);
}

// ---------------------------------------------------------------------------------------------
// Alignment panel

TSkinAlignmentPanel::TSkinAlignmentPanel(TComponent* owner)
    : TSkinControl(owner), FMargins(New<TSkinControlMargins>()), FPaddings(New<TSkinControlPaddings>())
{
    FMargins->OnChange = TNotifyEvent(this, &TSkinAlignmentPanel::SpacingChanged);
    FPaddings->OnChange = TNotifyEvent(this, &TSkinAlignmentPanel::SpacingChanged);
    FColor = clBtnFace;
    FBrush->SetColor(FColor);
}

void TSkinAlignmentPanel::SpacingChanged(TObject*)
{
    Realign();
    Invalidate();
}

void TSkinAlignmentPanel::SetBorderColor(TColor value)
{
    if (value == FBorderColor)
        return;
    FBorderColor = value;
    Realign();
    Invalidate();
}

void TSkinAlignmentPanel::SetBorderRadius(unsigned value)
{
    if (value == FBorderRadius)
        return;
    FBorderRadius = value;
    Invalidate();
}

void TSkinAlignmentPanel::AdjustClientRect(RECT& rect)
{
    TSkinControl::AdjustClientRect(rect);
    rect = FPaddings->Inside(FMargins->Inside(rect));
    if (FBorderColor != clNone)
        InflateRect(&rect, -1, -1);
}

int TSkinAlignmentPanel::SpacingAcross(bool vertical) const
{
    const int border = FBorderColor != clNone ? 2 : 0;
    if (vertical)
        return FMargins->GetTop() + FMargins->GetBottom() + FPaddings->GetTop() + FPaddings->GetBottom() + border;
    return FMargins->GetLeft() + FMargins->GetRight() + FPaddings->GetLeft() + FPaddings->GetRight() + border;
}

int TSkinAlignmentPanel::GetMaxHeightBase()
{
    int sum = 0;
    for (int i = 0; i < GetControlCount(); ++i) {
        TControl* c = GetControl(i);
        if (!c->GetVisible())
            continue;
        if (c->GetAlign() == alTop || c->GetAlign() == alBottom)
            sum += c->GetHeight();
        else if (c->GetAlign() == alClient)
            sum += Is<TSkinControl>(c) ? static_cast<TSkinControl*>(c)->GetMaxHeightBase()
                                       : c->GetConstraints().MinHeight;
    }
    return sum + SpacingAcross(true);
}

int TSkinAlignmentPanel::GetMaxWidthBase()
{
    int sum = 0;
    for (int i = 0; i < GetControlCount(); ++i) {
        TControl* c = GetControl(i);
        if (!c->GetVisible())
            continue;
        if (c->GetAlign() == alLeft || c->GetAlign() == alRight)
            sum += c->GetWidth();
        else if (c->GetAlign() == alClient)
            sum += Is<TSkinControl>(c) ? static_cast<TSkinControl*>(c)->GetMaxWidthBase()
                                       : c->GetConstraints().MinWidth;
    }
    return sum + SpacingAcross(false);
}

void TSkinAlignmentPanel::Paint()
{
    HDC dc = GetPaintDC();
    if (FBorderColor != clNone || FColor != clNone) {
        RECT r = FMargins->Inside(GetClientRect());
        // A null pen leaves the right and bottom line out: the fill reaches to the edge instead.
        if (FBorderColor == clNone) {
            ++r.right;
            ++r.bottom;
        }
        const int radius = static_cast<int>(FBorderRadius);
        RoundRectColor(dc, r, FBorderColor, FColor, radius, radius);
    }
    if (HasState(csDesigning)) {
        RECT inner = GetClientRect();
        AdjustClientRect(inner);
        FocusRectPlain(dc, inner);
    }
    OnPaint(this);
}

void TSkinAlignmentPanel::EraseBackground(TMessage& m)
{
    m.Result = 1;
    if (FDoubleBuffered && m.WParam != static_cast<WPARAM>(m.LParam))
        return;
    HDC dc = reinterpret_cast<HDC>(m.WParam);
    const RECT r = GetClientRect();
    if (VisualStyleState().VisualStylesInUse && FParent && GetParentBackground()) {
        PaintParentBackdrop(this, dc, r);
        return;
    }
    TColor color = clBtnFace;
    for (TWinControl* c = FParent; c; c = c->GetParent())
        if (c->GetColor() != clNone) {
            color = c->GetColor();
            break;
        }
    FillRectColor(dc, r, color);
}

void TSkinAlignmentPanel::Dispatch(TMessage& m)
{
    if (m.Msg == WM_ERASEBKGND) {
        EraseBackground(m);
        return;
    }
    TSkinControl::Dispatch(m);
}

// ---------------------------------------------------------------------------------------------
// Text object

TSkinTextObject::TSkinTextObject(TComponent* owner) : TSkinControl(owner), FMargins(New<TSkinControlMargins>())
{
    FControlStyle |= csSetCaption | csDoubleClicks;
    FMargins->OnChange = TNotifyEvent([this](TObject*) { UpdateSize(); });
    FDoubleBuffered = true;
    FAutoSize = true;
    FWidth = 100;
}

void TSkinTextObject::SetAlignment(TLeftRight value)
{
    if (value == FAlignment)
        return;
    FAlignment = value;
    Invalidate();
}

void TSkinTextObject::SetCaption(const std::wstring& value)
{
    if (FInCaptionSetter || value == FCaption)
        return;
    TFlagScope guard(FInCaptionSetter);
    FCaption = value;
    AdjustHeight();
    Invalidate();
}

void TSkinTextObject::SetHint(const std::wstring& value)
{
    FHint = value;
}

void TSkinTextObject::SetWrapping(TTextWrapping value)
{
    if (value == FWrapping)
        return;
    FWrapping = value;
    Invalidate();
    AdjustHeight();
}

void TSkinTextObject::SetShowAccelChar(bool value)
{
    if (value == FShowAccelChar)
        return;
    FShowAccelChar = value;
    Invalidate();
    AdjustHeight();
}

void TSkinTextObject::AdjustFont(TFont*)
{
}

void TSkinTextObject::UseControlFont(TCanvas* canvas)
{
    std::unique_ptr<TFont, TObjectFree> wanted(New<TFont>());
    wanted->Assign(FFont.get());
    AdjustFont(wanted.get());
    // Assigning an equal font would still make a new font handle for every line drawn.
    TFont* own = canvas->GetFont();
    const LOGFONTA a = own->GetLogFont(), b = wanted->GetLogFont();
    if (own->GetColor() != wanted->GetColor() || std::memcmp(&a, &b, sizeof(a)) != 0)
        own->Assign(wanted.get());
}

UINT TSkinTextObject::WrappingFlags() const
{
    switch (FWrapping) {
    case twEndEllipsis:
        return DT_SINGLELINE | DT_END_ELLIPSIS;
    case twPathEllipsis:
        return DT_SINGLELINE | DT_PATH_ELLIPSIS;
    case twWrap:
        return DT_WORDBREAK;
    default:
        return DT_SINGLELINE;
    }
}

UINT TSkinTextObject::GetTextFlags()
{
    UINT flags = AlignmentFlag(GetTextAlignment()) | WrappingFlags() | DT_EXPANDTABS;
    if (!FShowAccelChar)
        flags |= DT_NOPREFIX;
    else if (!KeyboardCuesOn() && !(FUIState & uisAccelsShown))
        flags |= DrawTextHidePrefix;
    return flags;
}

int TSkinTextObject::DoDrawText(TCanvas* canvas, RECT& r, UINT flags)
{
    std::wstring text = ComposeCaption();
    const bool measuring = (flags & DT_CALCRECT) != 0;
    // An empty caption still takes one line.
    if (measuring && (text.empty() || text == L"&"))
        text += L' ';
    UseControlFont(canvas);
    HDC dc = canvas->GetHandle();
    TSavedDC saved(dc);
    SetBkMode(dc, TRANSPARENT);
    if (measuring)
        return DrawTextLine(dc, text, -1, r, flags & ~DT_VCENTER);
    if (FEnabled) {
        SetTextColor(dc, static_cast<COLORREF>(ColorToRGB(canvas->GetFont()->GetColor())));
        return DrawTextLine(dc, text, -1, r, flags);
    }
    OffsetRect(&r, 1, 1);
    SetTextColor(dc, static_cast<COLORREF>(ColorToRGB(clBtnHighlight)));
    DrawTextLine(dc, text, -1, r, flags);
    OffsetRect(&r, -1, -1);
    SetTextColor(dc, static_cast<COLORREF>(ColorToRGB(clBtnShadow)));
    return DrawTextLine(dc, text, -1, r, flags);
}

void TSkinTextObject::GetTextSize(TCanvas* canvas, int& height)
{
    RECT pad{};
    GetPaddings(pad);
    const RECT spacing{pad.left + FMargins->GetLeft(), pad.top + FMargins->GetTop(),
                       pad.right + FMargins->GetRight(), pad.bottom + FMargins->GetBottom()};
    RECT r = Shrunk(GetClientRect(), spacing);
    const int textHeight = DoDrawText(canvas, r, GetTextFlags() | DT_CALCRECT);
    height = textHeight + spacing.top + spacing.bottom;
}

void TSkinTextObject::UpdateSize()
{
    Invalidate();
    AdjustHeight();
}

void TSkinTextObject::GetFocusRect(const RECT&, RECT& focusRect)
{
    focusRect = RECT{0, 0, 0, 0};
}

std::wstring TSkinTextObject::ComposeCaption()
{
    return FCaption;
}

TAlignment TSkinTextObject::GetTextAlignment()
{
    return FAlignment;
}

void TSkinTextObject::GetPaddings(RECT& paddings)
{
    paddings = RECT{0, 0, 0, 0};
}

bool TSkinTextObject::DoAccelerator()
{
    Click();
    return true;
}

bool TSkinTextObject::DoDialogKey(WORD key, TShiftState shift)
{
    if (key != VK_RETURN || !Focused() || (shift & (ssShift | ssAlt | ssCtrl)) != 0)
        return false;
    Click();
    return true;
}

bool TSkinTextObject::AutoSizeBlocked() const
{
    return FInAutoSize || !FAutoSize || HasState(csLoading) || HasState(csReading);
}

bool TSkinTextObject::CanAutoSize(int&, int& newHeight)
{
    if (AutoSizeBlocked())
        return false;
    TFlagScope guard(FInAutoSize);
    TMeasuringCanvas canvas;
    GetTextSize(canvas.Get(), newHeight);
    return true;
}

bool TSkinTextObject::AdjustHeight()
{
    return FHandle && FitHeightToText();
}

bool TSkinTextObject::FitHeightToText()
{
    if (AutoSizeBlocked())
        return false;
    TFlagScope guard(FInAutoSize);
    int height = FHeight;
    {
        TMeasuringCanvas canvas;
        GetTextSize(canvas.Get(), height);
    }
    if (height == FHeight)
        return false;
    SetBounds(FLeft, FTop, FWidth, height);
    return true;
}

void TSkinTextObject::Resize()
{
    // A new width (a wrapping caption) or a height set from outside: the text decides the height.
    // The adjustment resizes once more, and that inner resize is the one reported.
    if (!FInAutoSize && AdjustHeight())
        return;
    TSkinControl::Resize();
}

void TSkinTextObject::CreateParams(TCreateParams& params)
{
    TSkinControl::CreateParams(params);
    if (!HasState(csDesigning))
        params.WindowClass.style |= CS_HREDRAW;
}

void TSkinTextObject::CreateWnd()
{
    // A caption given before the window existed has not sized the control yet. Sized now, the
    // window is made at its height instead of being moved straight after: a panel makes dozens of
    // these as it first shows, and every move of a window is costly under Wine.
    FitHeightToText();
    TSkinControl::CreateWnd();
    SendMessageA(FHandle, WM_CHANGEUISTATE, MAKEWPARAM(UIS_INITIALIZE, 0), 0);
    if (ReadUIState())
        Invalidate();
    // The window's own client area has the last word where it differs from the bounds the text
    // was fitted to above.
    const RECT client = GetClientRect();
    if (client.right != FWidth || client.bottom != FHeight)
        AdjustHeight();
}

void TSkinTextObject::Loaded()
{
    TSkinControl::Loaded();
    AdjustHeight();
}

void TSkinTextObject::DefineProperties(TFiler* filer)
{
    TSkinControl::DefineProperties(filer);
    DefineWideStringProp(filer, "Caption", FCaption, [this](const std::wstring& v) { SetCaption(v); },
                         !FCaption.empty());
    // The hint's older name is read, never written.
    filer->DefineProperty(
        "Hint", [this](TReader* r) { SetHint(ReadWideStringProp(r)); }, nullptr, false);
    DefineWideStringProp(filer, "Hint_W", FHint, [this](const std::wstring& v) { SetHint(v); }, !FHint.empty());
}

void TSkinTextObject::Paint()
{
    TCanvas* canvas = GetCanvas();
    RECT r = FMargins->Inside(GetClientRect());
    if (Focused()) {
        RECT focus{};
        GetFocusRect(r, focus);
        if (!IsRectEmpty(&focus))
            FocusRectPlain(GetPaintDC(), focus);
    }
    const UINT flags = GetTextFlags();
    RECT pad{};
    GetPaddings(pad);
    r = Shrunk(r, pad);
    RECT measured = r;
    const int height = DoDrawText(canvas, measured, flags | DT_CALCRECT);
    r.top = (r.top + r.bottom - height) / 2;
    r.bottom = r.top + height;
    DoDrawText(canvas, r, flags);
}

void TSkinTextObject::DialogChar(TMessage& m)
{
    if (FEnabled && FVisible && FShowAccelChar) {
        const wchar_t accel = LocateAccelChar(FCaption);
        const wchar_t typed = KeyCharToWideChar(static_cast<WORD>(m.WParam));
        if (accel && typed && CharUpperW(reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(accel))) ==
                                  CharUpperW(reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(typed)))) {
            if (DoAccelerator()) {
                m.Result = 1;
                return;
            }
        }
    }
    TSkinControl::Dispatch(m);
}

void TSkinTextObject::HintShow(TMessage& m)
{
    TSkinControl::Dispatch(m);
    if (FHint.empty() || !m.LParam)
        return;
    auto* info = reinterpret_cast<THintInfo*>(m.LParam);
    // The framework's hint window takes UTF-8, so wide hints reach the screen whole; the
    // application's own would draw the UTF-8 bytes as letters of the code page.
    info->HintStr = WideToAnsi(GetShortHintW(FHint), CP_UTF8);
    info->HintWindowClass = TTBHintWindow::StaticClass();
}

void TSkinTextObject::Dispatch(TMessage& m)
{
    switch (m.Msg) {
    case CM_TEXTCHANGED:
        TSkinControl::Dispatch(m);
        if (!FInCaptionSetter)
            SetCaption(AnsiToWide(GetText()));
        return;
    case CM_HINTSHOW:
        HintShow(m);
        return;
    case CM_FONTCHANGED:
        TSkinControl::Dispatch(m);
        Invalidate();
        AdjustHeight();
        return;
    case CM_ENABLEDCHANGED:
        TSkinControl::Dispatch(m);
        Invalidate();
        return;
    case CM_DIALOGCHAR:
        DialogChar(m);
        return;
    case CM_DIALOGKEY:
        if (DoDialogKey(static_cast<WORD>(m.WParam), KeyDataToShiftState(m.LParam))) {
            m.Result = 1;
            return;
        }
        break;
    default:
        break;
    }
    TSkinControl::Dispatch(m);
}

// ---------------------------------------------------------------------------------------------
// Label

TSkinCustomLabel::TSkinCustomLabel(TComponent* owner) : TSkinTextObject(owner)
{
    FWrapping = twWrap;
    FTabStop = false;
}

void TSkinCustomLabel::SetFocusControl(TWinControl* value)
{
    if (value == FFocusControl)
        return;
    if (FFocusControl)
        FFocusControl->RemoveFreeNotification(this);
    FFocusControl = value;
    if (value)
        value->FreeNotification(this);
}

void TSkinCustomLabel::SetUnderline(bool value)
{
    if (value == FUnderline)
        return;
    FUnderline = value;
    Invalidate();
    AdjustHeight();
}

void TSkinCustomLabel::SetUnderlineColor(TColor value)
{
    if (value == FUnderlineColor)
        return;
    FUnderlineColor = value;
    Invalidate();
}

void TSkinCustomLabel::GetPaddings(RECT& paddings)
{
    paddings = RECT{0, 0, 0, FUnderline ? 1 : 0};
}

bool TSkinCustomLabel::DoAccelerator()
{
    if (!FFocusControl || !FFocusControl->CanFocus())
        return false;
    FFocusControl->SetFocus();
    return true;
}

void TSkinCustomLabel::Paint()
{
    TSkinTextObject::Paint();
    if (!FUnderline)
        return;
    RECT pad{};
    GetPaddings(pad);
    const RECT r = Shrunk(FMargins->Inside(GetClientRect()), pad);
    LineColor(GetPaintDC(), r.left, r.bottom, r.right, r.bottom, FUnderlineColor);
}

void TSkinCustomLabel::Notification(TComponent* component, TOperation operation)
{
    TSkinTextObject::Notification(component, operation);
    if (operation == TOperation::opRemove && component == FFocusControl)
        FFocusControl = nullptr;
}

// ---------------------------------------------------------------------------------------------
// Button

bool TSkinCustomButtonActionLink::IsImageIndexLinked()
{
    return TControlActionLink::IsImageIndexLinked() && Is<TSkinCustomButton>(FClient) &&
           static_cast<TSkinCustomButton*>(FClient)->GetImageIndex() == CustomAction()->GetImageIndex();
}

void TSkinCustomButtonActionLink::SetImageIndex(int value)
{
    if (IsImageIndexLinked())
        static_cast<TSkinCustomButton*>(FClient)->SetImageIndex(value);
}

TSkinCustomButton::TSkinCustomButton(TComponent* owner) : TSkinTextObject(owner)
{
    FAlignment = taCenter;
    FSmartFocus = true;
    FSpacePushes = true;
    FTabStop = true;
    FImagesWatch.OnChange = TNotifyEvent(this, &TSkinCustomButton::ImagesChanged);
}

void TSkinCustomButton::BeforeDestruction()
{
    FRepeatTimer.reset();
    if (FImages)
        FImages->UnRegisterChanges(&FImagesWatch);
    FActionLink.Reset();
    TSkinTextObject::BeforeDestruction();
}

TSkinCustomButtonActionLink* TSkinCustomButton::CreateActionLink()
{
    return New<TSkinCustomButtonActionLink>(this);
}

void TSkinCustomButton::ActionChange(TObject* sender, bool checkDefaults)
{
    auto* action = Is<TCustomAction>(sender) ? static_cast<TCustomAction*>(sender) : nullptr;
    if (!action)
        return;
    if (!checkDefaults || FCaption.empty())
        TControl::SetCaption(action->GetCaption());
    if (!checkDefaults || FEnabled)
        SetEnabled(action->GetEnabled());
    if (!checkDefaults || FHint.empty())
        SetHint(AnsiToWide(action->GetHint()));
    if (!checkDefaults || FVisible)
        SetVisible(action->GetVisible());
    if (!checkDefaults || FImageIndex == 0)
        SetImageIndex(action->GetImageIndex());
}

void TSkinCustomButton::SetAllowAllUnchecked(bool value)
{
    if (value == FAllowAllUnchecked)
        return;
    FAllowAllUnchecked = value;
    UpdateGroup();
}

void TSkinCustomButton::SetBorderSize(int value)
{
    if (value == FBorderSize)
        return;
    FBorderSize = value;
    UpdateSize();
}

void TSkinCustomButton::SetChecked(bool value)
{
    if (FGroupIndex == 0)
        value = false;
    if (value == FChecked || (FChecked && !FAllowAllUnchecked))
        return;
    FChecked = value;
    Invalidate();
    if (FChecked)
        UpdateGroup();
}

void TSkinCustomButton::SetDropDownCombo(bool value)
{
    if (value == FDropDownCombo)
        return;
    FDropDownCombo = value;
    Invalidate();
}

void TSkinCustomButton::SetDropDownMenu(TPopupMenu* value)
{
    if (value == FDropDownMenu)
        return;
    if (FDropDownMenu)
        FDropDownMenu->RemoveFreeNotification(this);
    FDropDownMenu = value;
    if (value)
        value->FreeNotification(this);
    Invalidate();
}

void TSkinCustomButton::SetButtonStyle(TButtonStyle value)
{
    if (value == FButtonStyle)
        return;
    FButtonStyle = value;
    Invalidate();
}

void TSkinCustomButton::SetGlyphSpacing(int value)
{
    if (value == FGlyphSpacing)
        return;
    FGlyphSpacing = value;
    UpdateSize();
}

void TSkinCustomButton::SetGroupIndex(int value)
{
    if (value == FGroupIndex)
        return;
    FGroupIndex = value;
    UpdateGroup();
}

void TSkinCustomButton::SetImageIndex(int value)
{
    if (value == FImageIndex)
        return;
    FImageIndex = value;
    if (FImages)
        Invalidate();
}

void TSkinCustomButton::SetImages(TCustomImageList* value)
{
    if (value == FImages)
        return;
    if (FImages) {
        FImages->UnRegisterChanges(&FImagesWatch);
        FImages->RemoveFreeNotification(this);
    }
    FImages = value;
    if (value) {
        value->RegisterChanges(&FImagesWatch);
        value->FreeNotification(this);
    }
    UpdateSize();
}

void TSkinCustomButton::SetLayout(TButtonLayout value)
{
    if (value == FLayout)
        return;
    FLayout = value;
    UpdateSize();
}

void TSkinCustomButton::ImagesChanged(TObject*)
{
    UpdateSize();
}

void TSkinCustomButton::Notification(TComponent* component, TOperation operation)
{
    TSkinTextObject::Notification(component, operation);
    FActionLink.Notification(component, operation);
    if (operation != TOperation::opRemove)
        return;
    if (component == FDropDownMenu)
        FDropDownMenu = nullptr;
    if (component == FImages) {
        FImages = nullptr;
        UpdateSize();
    }
}

void TSkinCustomButton::UpdateGroup()
{
    if (FGroupIndex == 0 || !FParent)
        return;
    for (int i = 0; i < FParent->GetControlCount(); ++i) {
        auto* other = dynamic_cast<TSkinCustomButton*>(FParent->GetControl(i));
        if (!other || other == this || other->FGroupIndex != FGroupIndex)
            continue;
        // The others are unchecked directly: their setters would refuse while they are checked.
        if (FChecked && other->FChecked) {
            other->FChecked = false;
            other->Invalidate();
        }
        other->FAllowAllUnchecked = FAllowAllUnchecked;
    }
}

bool TSkinCustomButton::HasImage() const
{
    return FImages && FImageIndex >= 0 && FImageIndex < FImages->GetCount();
}

bool TSkinCustomButton::DoDropDown()
{
    if (!FDropDownMenu)
        return false;
    bool allow = true;
    OnDropDown(this, allow);
    return allow;
}

bool TSkinCustomButton::PointInButtonPart(POINT p)
{
    return PointInRect(FMargins->Inside(GetClientRect()), p);
}

void TSkinCustomButton::Click()
{
    auto inheritedClick = [this] {
        if (!FActionLink.Click(OnClick))
            TSkinTextObject::Click();
    };
    if (FRepeating && !FDroppedDown) {
        inheritedClick();
        return;
    }
    std::weak_ptr<int> alive = LifeToken();
    TFlagScope inClick(FInClick);
    if (FGroupIndex != 0 && !FDroppedDown)
        SetChecked(!FChecked);
    MouseLeave();
    if (alive.expired())
        return;
    if (!FDropDownMenu || (FDropDownCombo && !FDroppedDown)) {
        if (FModalResult != 0)
            if (TCustomForm* form = GetParentForm(this))
                form->SetModalResult(FModalResult);
        inheritedClick();
        return;
    }
    SetMouseCapture(false);
    if (GetCapture() == FHandle)
        ReleaseCapture();
    if (!DoDropDown()) {
        if (alive.expired())
            return;
        FDroppedDown = false;
        inheritedClick();
        return;
    }
    if (!alive.expired())
        DropDown();
}

void TSkinCustomButton::DropDown()
{
    FDroppedDown = true;
    Repaint();
    RECT screen{0, 0, FWidth, FHeight};
    if (FHandle)
        MapWindowPoints(FHandle, nullptr, reinterpret_cast<POINT*>(&screen), 2);
    std::weak_ptr<int> alive = LifeToken();
    // A menu that knows the button keeps it clear: near the screen's bottom it opens above it.
    if (auto* themed = dynamic_cast<TSkinPopupMenu*>(FDropDownMenu))
        themed->PopupAtControl(screen, false);
    else
        FDropDownMenu->Popup(screen.left, screen.bottom);
    // The menu's handlers may have freed the button.
    if (alive.expired())
        return;
    FDroppedDown = false;
    FPushed = false;
    // The press that opened the menu ends here: its release must not click the button again.
    FControlState &= ~(csClicked | csLButtonDown);
    Repaint();
    PurgeClosingClick();
}

void TSkinCustomButton::PurgeClosingClick()
{
    if (!FHandle)
        return;
    RECT bounds{};
    GetWindowRect(FHandle, &bounds);
    auto isButtonMessage = [](UINT msg) {
        return (msg >= WM_LBUTTONDOWN && msg <= WM_MBUTTONDBLCLK) || (msg >= WM_XBUTTONDOWN && msg <= WM_XBUTTONDBLCLK);
    };
    // Everything is taken out first and put back afterwards: putting messages back while still
    // taking them out would meet them again.
    std::vector<MSG> keep;
    bool quit = false;
    WPARAM quitCode = 0;
    MSG msg{};
    while (PeekMessageA(&msg, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            quit = true;
            quitCode = msg.wParam;
            break;
        }
        if (isButtonMessage(msg.message) && PointInRect(bounds, msg.pt))
            continue;
        keep.push_back(msg);
    }
    for (const MSG& m : keep)
        PostMessageA(m.hwnd, m.message, m.wParam, m.lParam);
    if (quit)
        PostQuitMessage(static_cast<int>(quitCode));
}

void TSkinCustomButton::MouseDown(TMouseButton button, TShiftState shift, int x, int y)
{
    std::weak_ptr<int> alive = LifeToken();
    TSkinTextObject::MouseDown(button, shift, x, y);
    if (alive.expired() || button != TMouseButton::mbLeft || HasState(csDesigning) || FInClick)
        return;
    if (HasSplitPart()) {
        const RECT face = FMargins->Inside(GetClientRect());
        const RECT part{face.right - Theme().QueryIntegerMetric(imSplitArrowWidth), face.top, face.right, face.bottom};
        if (PointInRect(part, POINT{x, y})) {
            FDroppedDown = true;
            Click();
            return;
        }
    }
    if (FRepeating)
        StartRepeating();
}

void TSkinCustomButton::StartRepeating()
{
    FreeRepeatTimer();
    FRepeatTimer.reset(New<TTimer>(nullptr));
    FRepeatTimer->SetInterval(static_cast<unsigned>(std::max(FRepeatDelay, 1)));
    FRepeatTimer->SetOnTimer(TNotifyEvent(this, &TSkinCustomButton::RepeatTick));
}

void TSkinCustomButton::FreeRepeatTimer()
{
    FRepeatTimer.reset();
}

void TSkinCustomButton::RepeatTick(TObject*)
{
    FRepeatTimer->SetInterval(static_cast<unsigned>(std::max(FRepeatInterval, 1)));
    const bool held = GetKeyState(VK_LBUTTON) < 0 && FRepeating && FPushed;
    if (!held) {
        FreeRepeatTimer();
        return;
    }
    POINT p{};
    GetCursorPos(&p);
    if (FHandle)
        ::ScreenToClient(FHandle, &p);
    // Off the button the repeats pause until the pointer comes back.
    if (!PointInButtonPart(p)) {
        FRepeatTimer->SetEnabled(false);
        return;
    }
    Click();
}

void TSkinCustomButton::MouseMove(TShiftState shift, int x, int y)
{
    std::weak_ptr<int> alive = LifeToken();
    TSkinTextObject::MouseMove(shift, x, y);
    if (!alive.expired() && FRepeatTimer && !FRepeatTimer->GetEnabled() && PointInButtonPart(POINT{x, y}))
        FRepeatTimer->SetEnabled(true);
}

void TSkinCustomButton::MouseUp(TMouseButton button, TShiftState shift, int x, int y)
{
    std::weak_ptr<int> alive = LifeToken();
    TSkinTextObject::MouseUp(button, shift, x, y);
    if (!alive.expired() && button == TMouseButton::mbLeft)
        FreeRepeatTimer();
}

void TSkinCustomButton::Dispatch(TMessage& m)
{
    switch (m.Msg) {
    case WM_LBUTTONDBLCLK: {
        // A second press first, then the double click.
        std::weak_ptr<int> alive = LifeToken();
        WMMouseDown(m, TMouseButton::mbLeft, ssDouble);
        if (!alive.expired())
            DblClick();
        return;
    }
    case WM_CANCELMODE:
        FreeRepeatTimer();
        MouseLeave();
        break;
    case WM_NCHITTEST:
        if (!HasState(csDesigning) && FHandle) {
            POINT p{static_cast<short>(LOWORD(m.LParam)), static_cast<short>(HIWORD(m.LParam))};
            ::ScreenToClient(FHandle, &p);
            if (!PointInButtonPart(p)) {
                m.Result = HTTRANSPARENT;
                return;
            }
        }
        break;
    default:
        break;
    }
    TSkinTextObject::Dispatch(m);
}

void TSkinCustomButton::GetPaddings(RECT& paddings)
{
    paddings = RECT{FBorderSize, FBorderSize, FBorderSize, FBorderSize};
    const bool captioned = !FCaption.empty();
    if (FImages) {
        const int spacing = captioned ? FGlyphSpacing : 0;
        switch (FLayout) {
        case blGlyphLeft:
            paddings.left += FImages->GetWidth() + spacing;
            break;
        case blGlyphRight:
            paddings.right += FImages->GetWidth() + spacing;
            break;
        case blGlyphTop:
            paddings.top += FImages->GetHeight() + spacing;
            break;
        case blGlyphBottom:
            paddings.bottom += FImages->GetHeight() + spacing;
            break;
        }
    }
    if (!FDropDownMenu)
        return;
    if (FDropDownCombo)
        paddings.right += Theme().QueryIntegerMetric(imSplitArrowWidth);
    else if (!(captioned && (FLayout == blGlyphTop || FLayout == blGlyphBottom)))
        paddings.right += Theme().QueryIntegerMetric(imDropDownArrowWidth);
}

void TSkinCustomButton::GetTextSize(TCanvas* canvas, int& height)
{
    const int imageHeight = FImages ? FImages->GetHeight() + 2 * FBorderSize : 0;
    if (!FCaption.empty()) {
        TSkinTextObject::GetTextSize(canvas, height);
        if (FImages && (FLayout == blGlyphLeft || FLayout == blGlyphRight))
            height = std::max(height, imageHeight);
        return;
    }
    height = FImages ? imageHeight : std::max(2 * FBorderSize, 16);
}

void TSkinCustomButton::GetFocusRect(const RECT& r, RECT& focusRect)
{
    focusRect = r;
    const int inset = FButtonStyle == bsSystem ? 3 : 2;
    InflateRect(&focusRect, -inset, -inset);
}

TAlignment TSkinCustomButton::GetTextAlignment()
{
    return FAlignment;
}

void TSkinCustomButton::FillItemRecord(TSkinItemDrawInfo& info)
{
    info = TSkinItemDrawInfo{};
    info.ViewKind = FButtonStyle == bsNormal ? uint32_t(vtFramed) | 0x100u : 0x100u;
    info.ItemFlags = ifToolbarStyle | ifAppActive | (HasState(csDesigning) ? uint32_t(ifShowFrame) : 0u);
    info.Enabled = FEnabled;
    info.Pushed = FPushed && (FMouseInControl || FDroppedDown || FKeyPushed);
    if (FDroppedDown) {
        info.PopupOpen = true;
        info.Pushed = !FDropDownCombo;
    }
    info.Checked = FChecked;
    info.Vertical = false;
    info.ButtonPart = HasSplitPart() ? bpWithArrow : bpWhole;
    info.HotState = FMouseInControl || FDroppedDown ? 2 : 0;
}

int TSkinCustomButton::DoDrawText(TCanvas* canvas, RECT& r, UINT flags)
{
    if (flags & DT_CALCRECT)
        return TSkinTextObject::DoDrawText(canvas, r, flags);
    UseControlFont(canvas);
    HDC dc = canvas->GetHandle();
    TSkinItemDrawInfo info;
    FillItemRecord(info);
    RECT measured = r;
    const int height = TSkinTextObject::DoDrawText(canvas, measured, flags | DT_CALCRECT);
    Theme().DrawItemText(dc, r, info, ComposeCaption(), flags, clViewColor);
    return height;
}

void TSkinCustomButton::PaintFrame(RECT& face)
{
    HDC dc = GetPaintDC();
    TSkinItemDrawInfo info;
    FillItemRecord(info);
    const bool focused = Focused();
    const RECT outer = face;
    if (FButtonStyle == bsSystem) {
        const HTHEME theme = VisualStyleState().Handles[vscButton];
        if (VisualStyleState().VisualStylesInUse && theme && VisualStyleCalls().DrawThemeBackground) {
            PaintParentBackdrop(this, dc, GetClientRect());
            const int state = !FEnabled ? PBS_DISABLED : info.Pushed ? PBS_PRESSED : FMouseInControl ? PBS_HOT
                              : focused ? PBS_DEFAULTED : PBS_NORMAL;
            VisualStyleCalls().DrawThemeBackground(theme, dc, BP_PUSHBUTTON, state, &outer, nullptr);
            if (VisualStyleCalls().GetThemeBackgroundContentRect)
                VisualStyleCalls().GetThemeBackgroundContentRect(theme, dc, BP_PUSHBUTTON, state, &outer, &face);
            return;
        }
        if (focused)
            FrameRectColor(dc, face, clWindowFrame, true);
        if (focused && info.Pushed) {
            FrameRectColor(dc, face, clBtnShadow, true);
            FillRectColor(dc, face, clBtnFace);
        } else {
            DrawFrameControl(dc, &face, DFC_BUTTON,
                             DFCS_BUTTONPUSH | DFCS_ADJUSTRECT | (info.Pushed ? DFCS_PUSHED : 0) |
                                 (FEnabled ? 0 : DFCS_INACTIVE));
        }
    } else if (HasSplitPart()) {
        const int split = Theme().QueryIntegerMetric(imSplitArrowWidth);
        TSkinItemDrawInfo arrow = info;
        arrow.ButtonPart = bpSplitArrow;
        arrow.Pushed = FDroppedDown;
        Theme().DrawButtonFrame(dc, RECT{outer.right - split, outer.top, outer.right, outer.bottom}, arrow);
        TSkinItemDrawInfo main = info;
        main.ButtonPart = bpSplitButton;
        Theme().DrawButtonFrame(dc, RECT{outer.left, outer.top, outer.right - split, outer.bottom}, main);
    } else {
        Theme().DrawButtonFrame(dc, outer, info);
    }
    if (focused) {
        RECT focus{};
        GetFocusRect(outer, focus);
        FocusRectPlain(dc, focus);
    }
    if (FDropDownMenu && !FDropDownCombo && FButtonStyle != bsSystem) {
        const int strip = Theme().QueryIntegerMetric(imDropDownArrowWidth);
        const RECT inner = Shrunk(face, RECT{FBorderSize, FBorderSize, FBorderSize, FBorderSize});
        Theme().DrawArrowGlyph(dc, RECT{inner.right - strip, inner.top, inner.right, inner.bottom}, info);
    }
}

void TSkinCustomButton::PaintContent(const RECT& face)
{
    const bool captioned = !FCaption.empty();
    if (!captioned && !FImages)
        return;
    // C: the face less the border and the drop-down part, where image and caption are placed.
    RECT pad{};
    GetPaddings(pad);
    const int imageWidth = FImages ? FImages->GetWidth() : 0, imageHeight = FImages ? FImages->GetHeight() : 0;
    const int imageShare = captioned ? FGlyphSpacing : 0;
    if (FImages) {
        switch (FLayout) {
        case blGlyphLeft:
            pad.left -= imageWidth + imageShare;
            break;
        case blGlyphRight:
            pad.right -= imageWidth + imageShare;
            break;
        case blGlyphTop:
            pad.top -= imageHeight + imageShare;
            break;
        case blGlyphBottom:
            pad.bottom -= imageHeight + imageShare;
            break;
        }
    }
    const RECT c = Shrunk(face, pad);
    HDC dc = GetPaintDC();
    TCanvas* canvas = GetCanvas();
    TSkinItemDrawInfo info;
    FillItemRecord(info);
    const TAlignment a = FAlignment;
    const UINT flags = (GetTextFlags() & ~AlignmentFlags) | AlignmentFlag(a);
    auto drawImage = [&](int x, int y) {
        if (HasImage())
            Theme().DrawImageForState(dc, RECT{x, y, x + imageWidth, y + imageHeight}, info, FImages, FImageIndex);
    };
    auto placeByAlignment = [&](int width) {
        return a == taLeftJustify ? c.left : a == taRightJustify ? c.right - width : (c.left + c.right - width) / 2;
    };
    if (captioned && FImages && (FLayout == blGlyphLeft || FLayout == blGlyphRight)) {
        RECT text = c;
        if (FLayout == blGlyphLeft)
            text.left += imageWidth + FGlyphSpacing;
        else
            text.right -= imageWidth + FGlyphSpacing;
        RECT measured = text;
        const int height = TSkinTextObject::DoDrawText(canvas, measured, flags | DT_CALCRECT);
        const int textWidth = std::min<int>(measured.right - measured.left, text.right - text.left);
        const int block = imageWidth + FGlyphSpacing + textWidth;
        const int start = placeByAlignment(block);
        const int imageY = (c.top + c.bottom - imageHeight) / 2;
        text.top = (c.top + c.bottom - height) / 2;
        text.bottom = text.top + height;
        if (FLayout == blGlyphLeft) {
            const int imageX = std::max<int>(start, c.left);
            drawImage(imageX, imageY);
            text.left = imageX + imageWidth + FGlyphSpacing;
            text.right = c.right;
            DoDrawText(canvas, text, (flags & ~AlignmentFlags) | DT_LEFT);
        } else {
            text.left = start;
            text.right = start + textWidth;
            drawImage(text.right + FGlyphSpacing, imageY);
            DoDrawText(canvas, text, (flags & ~AlignmentFlags) | DT_RIGHT);
        }
        return;
    }
    if (captioned && FImages) {
        RECT measured = c;
        const int height = TSkinTextObject::DoDrawText(canvas, measured, flags | DT_CALCRECT);
        const int top = (c.top + c.bottom - (imageHeight + FGlyphSpacing + height)) / 2;
        const int imageX = placeByAlignment(imageWidth);
        RECT text = c;
        if (FLayout == blGlyphTop) {
            drawImage(imageX, top);
            text.top = top + imageHeight + FGlyphSpacing;
        } else {
            text.top = top;
            drawImage(imageX, top + height + FGlyphSpacing);
        }
        text.bottom = text.top + height;
        DoDrawText(canvas, text, flags);
        return;
    }
    if (captioned) {
        RECT text = c;
        RECT measured = c;
        const int height = TSkinTextObject::DoDrawText(canvas, measured, flags | DT_CALCRECT);
        text.top = (c.top + c.bottom - height) / 2;
        text.bottom = text.top + height;
        DoDrawText(canvas, text, flags);
        return;
    }
    drawImage(placeByAlignment(imageWidth), (c.top + c.bottom - imageHeight) / 2);
}

void TSkinCustomButton::Paint()
{
    RECT face = FMargins->Inside(GetClientRect());
    PaintFrame(face);
    PaintContent(face);
}

// ---------------------------------------------------------------------------------------------
// Radio button

TSkinCustomRadioButton::TSkinCustomRadioButton(TComponent* owner) : TSkinTextObject(owner)
{
    FSmartFocus = true;
    FSpacePushes = true;
    FTabStop = true;
}

void TSkinCustomRadioButton::SetChecked(bool value)
{
    if (value == FChecked || !CanChange())
        return;
    FChecked = value;
    SetTabStop(value);
    if (value)
        UncheckGroup();
    Invalidate();
    DoChange();
}

void TSkinCustomRadioButton::SetGroupIndex(int value)
{
    if (value == FGroupIndex)
        return;
    FGroupIndex = value;
    if (FChecked)
        UncheckGroup();
}

void TSkinCustomRadioButton::UncheckGroup()
{
    if (!FParent)
        return;
    for (int i = 0; i < FParent->GetControlCount(); ++i) {
        auto* other = dynamic_cast<TSkinCustomRadioButton*>(FParent->GetControl(i));
        if (other && other != this && other->FGroupIndex == FGroupIndex)
            other->SetChecked(false);
    }
}

void TSkinCustomRadioButton::DoChange()
{
    OnChange(this);
}

bool TSkinCustomRadioButton::CanChange()
{
    return true;
}

void TSkinCustomRadioButton::Click()
{
    if (!FChecked)
        SetChecked(true);
    Invalidate();
    TSkinTextObject::Click();
}

void TSkinCustomRadioButton::GetPaddings(RECT& paddings)
{
    paddings = RECT{2, 2, 2, 2};
    (GlyphOnRight() ? paddings.right : paddings.left) += GlyphSize + 6;
}

void TSkinCustomRadioButton::GetTextSize(TCanvas* canvas, int& height)
{
    TSkinTextObject::GetTextSize(canvas, height);
    height = std::max(height, GlyphSize + 4);
}

TAlignment TSkinCustomRadioButton::GetTextAlignment()
{
    return taLeftJustify;
}

void TSkinCustomRadioButton::GetFocusRect(const RECT& r, RECT& focusRect)
{
    RECT pad{};
    GetPaddings(pad);
    RECT measured = Shrunk(r, pad);
    UINT flags = DT_EXPANDTABS | DT_CALCRECT | (GlyphOnRight() ? DT_RIGHT : DT_LEFT);
    flags |= FWrapping == twWrap ? DT_WORDBREAK : (WrappingFlags() | DT_VCENTER);
    std::unique_ptr<TMeasuringCanvas> measuring;
    TCanvas* canvas = GetPaintDC() ? GetCanvas() : (measuring = std::make_unique<TMeasuringCanvas>())->Get();
    TSkinTextObject::DoDrawText(canvas, measured, flags);
    focusRect = RECT{measured.left - 2, r.top, measured.right + 2, r.bottom};
}

void TSkinCustomRadioButton::Paint()
{
    TSkinTextObject::Paint();
    const RECT r = FMargins->Inside(GetClientRect());
    const int x = GlyphOnRight() ? r.right - GlyphSize : r.left;
    const int y = (r.top + r.bottom + 1 - GlyphSize) / 2;
    uint32_t state = FChecked ? uint32_t(cgsChecked) : 0u;
    if (!FEnabled) {
        state |= cgsDisabled;
    } else {
        const bool hot = FMouseInControl || FKeyPushed;
        if (Focused())
            state |= cgsFocused;
        if (hot)
            state |= cgsHot;
        if (FPushed && hot)
            state |= cgsPushed;
    }
    Theme().DrawControlGlyph(GetPaintDC(), RECT{x, y, x + GlyphSize, y + GlyphSize}, cgRadio, state, 0);
}

LRESULT TSkinCustomRadioButton::HitTest(POINT clientPoint)
{
    const RECT r = FMargins->Inside(GetClientRect());
    RECT active{};
    GetFocusRect(r, active);
    if (GlyphOnRight())
        active.right = r.right;
    else
        active.left = r.left;
    return PointInRect(active, clientPoint) ? HTCLIENT : HTTRANSPARENT;
}

void TSkinCustomRadioButton::Dispatch(TMessage& m)
{
    if (m.Msg == WM_NCHITTEST && !HasState(csDesigning) && FHandle) {
        POINT p{static_cast<short>(LOWORD(m.LParam)), static_cast<short>(HIWORD(m.LParam))};
        ::ScreenToClient(FHandle, &p);
        m.Result = HitTest(p);
        return;
    }
    TSkinTextObject::Dispatch(m);
}
