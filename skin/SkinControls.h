// The themed stand-alone window controls: the control base (hover tracking shared by the whole
// process, pushing by mouse and space key, smart focusing, the parent's background), four-sided
// spacing objects, the alignment panel, the text object with its wide caption, the label, and
// the push button and radio button the current theme draws.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "platform/ActnList.h"
#include "platform/Controls.h"
#include "platform/ImgList.h"
#include "platform/Menus.h"
#include "platform/StdCtrls.h"
#include "platform/Timers.h"
#include "skin/SkinTheme.h"

// ---------------------------------------------------------------------------------------------
// Spacing

// Four sides in pixels. Each change (and each Assign) tells OnChange once.
class TSkinControlMargins : public TPersistent {
    SF_CLASS(TSkinControlMargins)
public:
    int GetLeft() const { return FLeft; }
    int GetTop() const { return FTop; }
    int GetRight() const { return FRight; }
    int GetBottom() const { return FBottom; }
    void SetLeft(int value) { SetSide(FLeft, value); }
    void SetTop(int value) { SetSide(FTop, value); }
    void SetRight(int value) { SetSide(FRight, value); }
    void SetBottom(int value) { SetSide(FBottom, value); }
    void Assign(TPersistent* source) override;
    // The rectangle moved in by the four sides.
    RECT Inside(const RECT& r) const { return RECT{r.left + FLeft, r.top + FTop, r.right - FRight, r.bottom - FBottom}; }

    TNotifyEvent OnChange;

protected:
    virtual void Change();

private:
    void SetSide(int& side, int value);

    int FLeft = 0;
    int FTop = 0;
    int FRight = 0;
    int FBottom = 0;
};

class TSkinControlPaddings : public TSkinControlMargins {
    SF_CLASS(TSkinControlPaddings)
};

// ---------------------------------------------------------------------------------------------
// Control base

// UIState bits.
constexpr uint32_t uisAccelsShown = 1;

class TSkinControl : public TCustomControl {
    SF_CLASS(TSkinControl)
public:
    explicit TSkinControl(TComponent* owner = nullptr);
    void AfterConstruction() override;
    void BeforeDestruction() override;
    void Dispatch(TMessage& message) override;

    bool GetMouseInControl() const { return FMouseInControl; }
    bool GetPushed() const { return FPushed; }
    bool GetKeyPushed() const { return FKeyPushed; }
    // A click takes the focus only when the focus is already inside the same container.
    bool GetSmartFocus() const { return FSmartFocus; }
    void SetSmartFocus(bool value) { FSmartFocus = value; }
    bool GetSpacePushes() const { return FSpacePushes; }
    void SetSpacePushes(bool value) { FSpacePushes = value; }
    uint32_t GetUIState() const { return FUIState; }

    // What an alignment panel counts for this control when it fills the panel's client area.
    virtual int GetMaxHeightBase();
    virtual int GetMaxWidthBase();

    // Leaves the hot state as the pointer leaving it would.
    void MouseLeave();

    // The hover timer's interval, the one control it follows (nullptr when none), and the timer
    // itself (nullptr while no themed control exists).
    static constexpr unsigned HoverInterval = 125;
    static TSkinControl* GetTrackedControl();
    static TTimer* GetHoverTimer();
    // What each tick of the hover timer does, for the pointer at a screen point.
    static void CheckHover(POINT screenPoint);

protected:
    virtual void DoMouseEnter();
    virtual void DoMouseLeave();
    void MouseEnter();
    void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
    void MouseMove(TShiftState shift, int x, int y) override;
    void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
    void KeyDown(WORD& key, TShiftState shift) override;
    void KeyUp(WORD& key, TShiftState shift) override;
    // Reads the window's keyboard-cue state into UIState; true when it changed.
    bool ReadUIState();

    bool FFocusByClick = false;
    bool FKeyPushed = false;
    bool FMouseInControl = false;
    bool FPushed = false;
    bool FSmartFocus = false;
    bool FSpacePushes = false;
    uint32_t FUIState = 0;

private:
    void TakeFocusOnClick();
    void StopTracking();
    void EnabledChanged(TMessage& message);
    void EraseBackground(TMessage& message);
    void SetFocusMessage(TMessage& message);
};

// ---------------------------------------------------------------------------------------------
// Alignment panel

// A container that lines its children up inside margins, an optional one-pixel border (rounded
// when BorderRadius is set) and paddings.
class TSkinAlignmentPanel : public TSkinControl {
    SF_CLASS(TSkinAlignmentPanel)
public:
    explicit TSkinAlignmentPanel(TComponent* owner = nullptr);
    void Dispatch(TMessage& message) override;

    TSkinControlMargins* GetMargins() const { return FMargins.get(); }
    void SetMargins(TSkinControlMargins* value) { FMargins->Assign(value); }
    TSkinControlPaddings* GetPaddings() const { return FPaddings.get(); }
    void SetPaddings(TSkinControlPaddings* value) { FPaddings->Assign(value); }
    TColor GetBorderColor() const { return FBorderColor; }
    void SetBorderColor(TColor value);
    unsigned GetBorderRadius() const { return FBorderRadius; }
    void SetBorderRadius(unsigned value);

    void AdjustClientRect(RECT& rect) override;
    int GetMaxHeightBase() override;
    int GetMaxWidthBase() override;

    TNotifyEvent OnPaint;

protected:
    void Paint() override;

private:
    void SpacingChanged(TObject*);
    int SpacingAcross(bool vertical) const;
    void EraseBackground(TMessage& message);

    std::unique_ptr<TSkinControlMargins, TObjectFree> FMargins;
    TColor FBorderColor = clNone;
    std::unique_ptr<TSkinControlPaddings, TObjectFree> FPaddings;
    unsigned FBorderRadius = 0;
};

// ---------------------------------------------------------------------------------------------
// Text object and label

// taLeftJustify or taRightJustify (the button alone also centres).
using TLeftRight = TAlignment;
enum TTextWrapping { twNone, twEndEllipsis, twPathEllipsis, twWrap };

// DrawText's flag that hides accelerator underlines (absent from older headers).
constexpr UINT DrawTextHidePrefix = 0x100000;

// The base of every themed control with a caption: a wide caption and hint, measured and drawn
// inside margins and paddings, a height that follows the text, accelerators and the Enter key.
class TSkinTextObject : public TSkinControl {
    SF_CLASS(TSkinTextObject)
public:
    explicit TSkinTextObject(TComponent* owner = nullptr);
    void Dispatch(TMessage& message) override;

    TAlignment GetAlignment() const { return FAlignment; }
    void SetAlignment(TLeftRight value);
    const std::wstring& GetCaption() const { return FCaption; }
    void SetCaption(const std::wstring& value);
    const std::wstring& GetHint() const { return FHint; }
    void SetHint(const std::wstring& value);
    TSkinControlMargins* GetMargins() const { return FMargins.get(); }
    void SetMargins(TSkinControlMargins* value) { FMargins->Assign(value); }
    TTextWrapping GetWrapping() const { return FWrapping; }
    void SetWrapping(TTextWrapping value);
    bool GetShowAccelChar() const { return FShowAccelChar; }
    void SetShowAccelChar(bool value);

    virtual void AdjustFont(TFont* font);
    // The height the caption needs at the current width, margins and paddings included.
    virtual void GetTextSize(TCanvas* canvas, int& height);
    // Draws, or with DT_CALCRECT measures, the caption into r; the text height.
    virtual int DoDrawText(TCanvas* canvas, RECT& r, UINT flags);
    virtual void UpdateSize();
    virtual void GetFocusRect(const RECT& r, RECT& focusRect);
    virtual std::wstring ComposeCaption();
    virtual TAlignment GetTextAlignment();
    virtual void GetPaddings(RECT& paddings);
    virtual UINT GetTextFlags();
    // The caption's accelerator was pressed; true when handled.
    virtual bool DoAccelerator();
    virtual bool DoDialogKey(WORD key, TShiftState shift);

    bool CanAutoSize(int& newWidth, int& newHeight) override;
    // Sets the height from the text when the window exists and AutoSize is on; true when it
    // changed.
    bool AdjustHeight();

protected:
    void CreateParams(TCreateParams& params) override;
    void CreateWnd() override;
    void Loaded() override;
    void Resize() override;
    void DefineProperties(TFiler* filer) override;
    void Paint() override;
    // The DT_ flags of the wrapping mode.
    UINT WrappingFlags() const;
    // Makes the canvas draw with the control's font, as AdjustFont leaves it.
    void UseControlFont(TCanvas* canvas);

    TAlignment FAlignment = taLeftJustify;
    std::wstring FCaption;
    std::wstring FHint;
    std::unique_ptr<TSkinControlMargins, TObjectFree> FMargins;
    TTextWrapping FWrapping = twNone;
    bool FShowAccelChar = true;
    bool FInCaptionSetter = false;
    bool FInAutoSize = false;

private:
    void DialogChar(TMessage& message);
    void HintShow(TMessage& message);
    bool AutoSizeBlocked() const;
    // AdjustHeight with or without a window.
    bool FitHeightToText();
};

// A label: wrapped text by default, an optional underline below the text as a section heading,
// and a control that its accelerator focuses.
class TSkinCustomLabel : public TSkinTextObject {
    SF_CLASS(TSkinCustomLabel)
public:
    explicit TSkinCustomLabel(TComponent* owner = nullptr);

    TWinControl* GetFocusControl() const { return FFocusControl; }
    void SetFocusControl(TWinControl* value);
    bool GetUnderline() const { return FUnderline; }
    void SetUnderline(bool value);
    TColor GetUnderlineColor() const { return FUnderlineColor; }
    void SetUnderlineColor(TColor value);

    void GetPaddings(RECT& paddings) override;
    bool DoAccelerator() override;

protected:
    void Paint() override;
    void Notification(TComponent* component, TOperation operation) override;

private:
    TWinControl* FFocusControl = nullptr;
    bool FUnderline = false;
    TColor FUnderlineColor = clBtnShadow;
};

class TSkinLabel : public TSkinCustomLabel {
    SF_CLASS(TSkinLabel)
public:
    using TSkinCustomLabel::TSkinCustomLabel;
};

// ---------------------------------------------------------------------------------------------
// Button

enum TButtonStyle { bsNormal, bsFlat, bsSystem };
enum TButtonLayout { blGlyphLeft, blGlyphTop, blGlyphRight, blGlyphBottom };
// Sender, var AllowDropDown.
using TDropDownEvent = TEvent<TObject*, bool&>;

class TSkinCustomButton;

// Passes an action's image index to the button while the button follows it.
class TSkinCustomButtonActionLink : public TControlActionLink {
    SF_CLASS(TSkinCustomButtonActionLink)
public:
    using TControlActionLink::TControlActionLink;
    bool IsImageIndexLinked() override;
    void SetImageIndex(int value) override;
};

// A push button drawn by the theme: an image beside, above or below the caption, a drop-down
// menu from the whole button or from a split part at its right, grouped checking, clicks that
// repeat while it is held, and a modal result for its form.
class TSkinCustomButton : public TSkinTextObject {
    SF_CLASS(TSkinCustomButton)
public:
    explicit TSkinCustomButton(TComponent* owner = nullptr);
    void BeforeDestruction() override;
    void Dispatch(TMessage& message) override;

    bool GetAllowAllUnchecked() const { return FAllowAllUnchecked; }
    void SetAllowAllUnchecked(bool value);
    int GetBorderSize() const { return FBorderSize; }
    void SetBorderSize(int value);
    bool GetChecked() const { return FChecked; }
    void SetChecked(bool value);
    bool GetDropDownCombo() const { return FDropDownCombo; }
    void SetDropDownCombo(bool value);
    TPopupMenu* GetDropDownMenu() const { return FDropDownMenu; }
    void SetDropDownMenu(TPopupMenu* value);
    TButtonStyle GetButtonStyle() const { return FButtonStyle; }
    void SetButtonStyle(TButtonStyle value);
    int GetGlyphSpacing() const { return FGlyphSpacing; }
    void SetGlyphSpacing(int value);
    int GetGroupIndex() const { return FGroupIndex; }
    void SetGroupIndex(int value);
    int GetImageIndex() const { return FImageIndex; }
    void SetImageIndex(int value);
    TCustomImageList* GetImages() const { return FImages; }
    void SetImages(TCustomImageList* value);
    TButtonLayout GetLayout() const { return FLayout; }
    void SetLayout(TButtonLayout value);
    bool GetDroppedDown() const { return FDroppedDown; }
    TModalResult GetModalResult() const { return FModalResult; }
    void SetModalResult(TModalResult value) { FModalResult = value; }
    bool GetRepeating() const { return FRepeating; }
    void SetRepeating(bool value) { FRepeating = value; }
    int GetRepeatDelay() const { return FRepeatDelay; }
    void SetRepeatDelay(int value) { FRepeatDelay = value; }
    int GetRepeatInterval() const { return FRepeatInterval; }
    void SetRepeatInterval(int value) { FRepeatInterval = value; }
    // The timer of clicks that repeat; it exists only while the button is held.
    TTimer* GetRepeatTimer() const { return FRepeatTimer.get(); }
    TBasicAction* GetAction() const { return FActionLink.GetAction(); }
    void SetAction(TBasicAction* value) { FActionLink.SetAction(value); }
    void InitiateAction() override { FActionLink.Update(); }

    TDropDownEvent OnDropDown;

    // True with a drop-down menu, unless OnDropDown refuses.
    virtual bool DoDropDown();
    virtual void FillItemRecord(TSkinItemDrawInfo& info);
    virtual bool PointInButtonPart(POINT p);

    void GetTextSize(TCanvas* canvas, int& height) override;
    int DoDrawText(TCanvas* canvas, RECT& r, UINT flags) override;
    void GetFocusRect(const RECT& r, RECT& focusRect) override;
    TAlignment GetTextAlignment() override;
    void GetPaddings(RECT& paddings) override;

    void Click() override;

protected:
    friend class TClientActionLink<TSkinCustomButton, TSkinCustomButtonActionLink>;
    virtual void ActionChange(TObject* sender, bool checkDefaults);
    virtual TSkinCustomButtonActionLink* CreateActionLink();

    void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
    void MouseMove(TShiftState shift, int x, int y) override;
    void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
    void Notification(TComponent* component, TOperation operation) override;
    void Paint() override;

private:
    bool HasSplitPart() const { return FDropDownMenu && FDropDownCombo; }
    bool HasImage() const;
    void UpdateGroup();
    void DropDown();
    void PurgeClosingClick();
    void StartRepeating();
    void FreeRepeatTimer();
    void RepeatTick(TObject*);
    void ImagesChanged(TObject*);
    void PaintFrame(RECT& content);
    void PaintContent(const RECT& content);

    bool FAllowAllUnchecked = false;
    int FBorderSize = 4;
    bool FChecked = false;
    bool FDropDownCombo = false;
    TPopupMenu* FDropDownMenu = nullptr;
    TButtonStyle FButtonStyle = bsNormal;
    int FGlyphSpacing = 4;
    int FGroupIndex = 0;
    TChangeLink FImagesWatch;
    int FImageIndex = 0;
    TCustomImageList* FImages = nullptr;
    bool FInClick = false;
    TButtonLayout FLayout = blGlyphLeft;
    bool FDroppedDown = false;
    TModalResult FModalResult = 0;
    bool FRepeating = false;
    int FRepeatDelay = 400;
    int FRepeatInterval = 100;
    std::unique_ptr<TTimer, TObjectFree> FRepeatTimer;
    TClientActionLink<TSkinCustomButton, TSkinCustomButtonActionLink> FActionLink{this};
};

class TSkinButton : public TSkinCustomButton {
    SF_CLASS(TSkinButton)
public:
    using TSkinCustomButton::TSkinCustomButton;
};

// ---------------------------------------------------------------------------------------------
// Radio button

// A radio button with the theme's round glyph; the radio buttons of one parent with the same
// GroupIndex (0 included) exclude each other.
class TSkinCustomRadioButton : public TSkinTextObject {
    SF_CLASS(TSkinCustomRadioButton)
public:
    explicit TSkinCustomRadioButton(TComponent* owner = nullptr);
    void Dispatch(TMessage& message) override;

    static constexpr int GlyphSize = 13;

    bool GetChecked() const { return FChecked; }
    void SetChecked(bool value);
    int GetGroupIndex() const { return FGroupIndex; }
    void SetGroupIndex(int value);

    TNotifyEvent OnChange;

    virtual void DoChange();
    virtual bool CanChange();

    void GetTextSize(TCanvas* canvas, int& height) override;
    void GetFocusRect(const RECT& r, RECT& focusRect) override;
    TAlignment GetTextAlignment() override;
    void GetPaddings(RECT& paddings) override;

    void Click() override;

protected:
    void Paint() override;

private:
    bool GlyphOnRight() const { return FAlignment == taRightJustify; }
    void UncheckGroup();
    LRESULT HitTest(POINT clientPoint);

    bool FChecked = false;
    int FGroupIndex = 0;
};

class TSkinRadioButton : public TSkinCustomRadioButton {
    SF_CLASS(TSkinRadioButton)
public:
    using TSkinCustomRadioButton::TSkinCustomRadioButton;
};
