#include "platform/ExtCtrls.h"

#include <algorithm>

#include "platform/ScopeGuards.h"

SF_IMPLEMENT_COMPONENT(TPanel, TCustomControl)
SF_IMPLEMENT_COMPONENT(TBevel, TGraphicControl)
SF_IMPLEMENT_COMPONENT(TPaintBox, TGraphicControl)
SF_IMPLEMENT_COMPONENT(TRadioGroup, TGroupBox)
SF_IMPLEMENT_COMPONENT(TSpeedButton, TGraphicControl)

namespace {

void FillColor(HDC dc, const RECT& r, TColor color)
{
    HBRUSH brush = CreateSolidBrush(static_cast<COLORREF>(ColorToRGB(color)));
    FillRect(dc, &r, brush);
    DeleteObject(brush);
}

// A rectangle outline in two colours: top-left and bottom-right; the rectangle shrinks by one.
void Frame3D(HDC dc, RECT& r, TColor topLeft, TColor bottomRight)
{
    HPEN light = CreatePen(PS_SOLID, 1, static_cast<COLORREF>(ColorToRGB(topLeft)));
    HPEN dark = CreatePen(PS_SOLID, 1, static_cast<COLORREF>(ColorToRGB(bottomRight)));
    HGDIOBJ old = SelectObject(dc, light);
    MoveToEx(dc, r.left, r.bottom - 1, nullptr);
    LineTo(dc, r.left, r.top);
    LineTo(dc, r.right - 1, r.top);
    SelectObject(dc, dark);
    LineTo(dc, r.right - 1, r.bottom - 1);
    LineTo(dc, r.left - 1, r.bottom - 1);
    SelectObject(dc, old);
    DeleteObject(light);
    DeleteObject(dark);
    r.left += 1;
    r.top += 1;
    r.right -= 1;
    r.bottom -= 1;
}

}

// ---------------------------------------------------------------------------------------------
// TPanel

TPanel::TPanel(TComponent* owner) : TCustomControl(owner)
{
    SetControlStyle(GetControlStyle() | csAcceptsControls | csOpaque);
    SetBounds(0, 0, 185, 41);
}

void TPanel::Changed()
{
    Realign();
    Invalidate();
}

void TPanel::SetBevelOuter(TBevelCut value)
{
    if (value == FBevelOuter)
        return;
    FBevelOuter = value;
    Changed();
}

void TPanel::SetBevelInner(TBevelCut value)
{
    if (value == FBevelInner)
        return;
    FBevelInner = value;
    Changed();
}

void TPanel::SetBevelWidth(int value)
{
    value = std::max(value, 1);
    if (value == FBevelWidth)
        return;
    FBevelWidth = value;
    Changed();
}

void TPanel::SetBorderWidth(int value)
{
    value = std::max(value, 0);
    if (value == FBorderWidth)
        return;
    FBorderWidth = value;
    Changed();
}

void TPanel::SetAlignment(TAlignment value)
{
    if (value == FAlignment)
        return;
    FAlignment = value;
    Invalidate();
}

void TPanel::AdjustClientRect(RECT& rect)
{
    TCustomControl::AdjustClientRect(rect);
    int inset = FBorderWidth;
    if (FBevelOuter != bvNone)
        inset += FBevelWidth;
    if (FBevelInner != bvNone)
        inset += FBevelWidth;
    rect.left += inset;
    rect.top += inset;
    rect.right -= inset;
    rect.bottom -= inset;
}

void TPanel::DrawBevel(HDC dc, RECT& r, TBevelCut cut)
{
    if (cut == bvNone)
        return;
    TColor topLeft = cut == bvRaised ? clBtnHighlight : clBtnShadow;
    TColor bottomRight = cut == bvRaised ? clBtnShadow : clBtnHighlight;
    for (int i = 0; i < FBevelWidth; ++i)
        Frame3D(dc, r, topLeft, bottomRight);
}

void TPanel::Paint()
{
    HDC dc = GetPaintDC();
    RECT r = GetClientRect();
    DrawBevel(dc, r, FBevelOuter);
    FillColor(dc, RECT{r.left, r.top, r.right, r.bottom}, GetColor());
    r.left += FBorderWidth;
    r.top += FBorderWidth;
    r.right -= FBorderWidth;
    r.bottom -= FBorderWidth;
    DrawBevel(dc, r, FBevelInner);
    std::string caption = GetCaption();
    if (caption.empty())
        return;
    HGDIOBJ oldFont = SelectObject(dc, GetFont()->GetHandle());
    TTextStateGuard textState(dc, static_cast<COLORREF>(ColorToRGB(GetFont()->GetColor())));
    UINT flags = DT_SINGLELINE | DT_VCENTER | DT_EXPANDTABS;
    flags |= FAlignment == taLeftJustify ? DT_LEFT : FAlignment == taRightJustify ? DT_RIGHT : DT_CENTER;
    DrawTextA(dc, caption.c_str(), static_cast<int>(caption.size()), &r, flags);
    SelectObject(dc, oldFont);
}

void TPanel::Dispatch(TMessage& m)
{
    if (m.Msg == CM_TEXTCHANGED) {
        Invalidate();
        return;
    }
    TCustomControl::Dispatch(m);
}

// ---------------------------------------------------------------------------------------------
// TBevel

TBevel::TBevel(TComponent* owner) : TGraphicControl(owner)
{
    SetBounds(0, 0, 50, 50);
}

void TBevel::SetShape(TBevelShape value)
{
    if (value == FShape)
        return;
    FShape = value;
    Invalidate();
}

void TBevel::SetStyle(TBevelStyle value)
{
    if (value == FStyle)
        return;
    FStyle = value;
    Invalidate();
}

void TBevel::Paint()
{
    HDC dc = GetPaintDC();
    TColor first = FStyle == bsLowered ? clBtnShadow : clBtnHighlight;
    TColor second = FStyle == bsLowered ? clBtnHighlight : clBtnShadow;
    RECT r{0, 0, FWidth, FHeight};
    auto line = [dc](TColor color, int x1, int y1, int x2, int y2) {
        HPEN pen = CreatePen(PS_SOLID, 1, static_cast<COLORREF>(ColorToRGB(color)));
        HGDIOBJ old = SelectObject(dc, pen);
        MoveToEx(dc, x1, y1, nullptr);
        LineTo(dc, x2, y2);
        SelectObject(dc, old);
        DeleteObject(pen);
    };
    switch (FShape) {
    case bsBox:
        Frame3D(dc, r, first, second);
        break;
    case bsFrame: {
        RECT outer{r.left, r.top, r.right - 1, r.bottom - 1};
        RECT inner{r.left + 1, r.top + 1, r.right, r.bottom};
        Frame3D(dc, outer, first, first);
        Frame3D(dc, inner, second, second);
        break;
    }
    case bsTopLine:
        line(first, 0, 0, FWidth, 0);
        line(second, 0, 1, FWidth, 1);
        break;
    case bsBottomLine:
        line(first, 0, FHeight - 2, FWidth, FHeight - 2);
        line(second, 0, FHeight - 1, FWidth, FHeight - 1);
        break;
    case bsLeftLine:
        line(first, 0, 0, 0, FHeight);
        line(second, 1, 0, 1, FHeight);
        break;
    case bsRightLine:
        line(first, FWidth - 2, 0, FWidth - 2, FHeight);
        line(second, FWidth - 1, 0, FWidth - 1, FHeight);
        break;
    case bsSpacer:
        break;
    }
}

// ---------------------------------------------------------------------------------------------
// TPaintBox

TPaintBox::TPaintBox(TComponent* owner) : TGraphicControl(owner), FCanvas(New<TCanvas>())
{
    SetBounds(0, 0, 105, 105);
}

TPaintBox::~TPaintBox() = default;

void TPaintBox::Paint()
{
    TSavedDC saved(GetPaintDC());
    FCanvas->SetHandle(GetPaintDC());
    TScopeExit lent([this] { FCanvas->SetHandle(nullptr); });
    OnPaint(this);
}

// ---------------------------------------------------------------------------------------------
// TRadioGroup

TRadioGroup::TRadioGroup(TComponent* owner) : TGroupBox(owner), FItems(New<TStringList>())
{
    FItems->SetOnChange(TNotifyEvent(this, &TRadioGroup::ItemsChanged));
    SetTabStop(true);
}

TRadioGroup::~TRadioGroup() = default;

void TRadioGroup::ItemsChanged(TObject*)
{
    if (FItemIndex >= FItems->Count())
        FItemIndex = FItems->Count() - 1;
    UpdateButtons();
}

TRadioButton* TRadioGroup::GetButton(int index) const
{
    if (index < 0 || index >= static_cast<int>(FButtons.size()))
        throw EListError("List index out of bounds (" + std::to_string(index) + ")");
    return FButtons[static_cast<size_t>(index)];
}

void TRadioGroup::UpdateButtons()
{
    FUpdating = true;
    while (FButtons.size() > static_cast<size_t>(FItems->Count())) {
        FButtons.back()->Free();
        FButtons.pop_back();
    }
    while (FButtons.size() < static_cast<size_t>(FItems->Count())) {
        TRadioButton* button = New<TRadioButton>(this);
        button->OnClick = TNotifyEvent(this, &TRadioGroup::ButtonClick);
        button->SetParent(this);
        FButtons.push_back(button);
    }
    for (size_t i = 0; i < FButtons.size(); ++i) {
        FButtons[i]->SetCaption(FItems->Get(static_cast<int>(i)));
        FButtons[i]->SetChecked(static_cast<int>(i) == FItemIndex);
    }
    FUpdating = false;
    ArrangeButtons();
}

void TRadioGroup::ArrangeButtons()
{
    if (FButtons.empty())
        return;
    RECT area = GetClientRect();
    AdjustClientRect(area);
    int columns = std::max(FColumns, 1);
    int rows = (static_cast<int>(FButtons.size()) + columns - 1) / columns;
    int columnWidth = (area.right - area.left - 8) / columns;
    int rowHeight = std::max<int>((area.bottom - area.top - 4) / std::max(rows, 1), 1);
    for (size_t i = 0; i < FButtons.size(); ++i) {
        int column = static_cast<int>(i) / rows;
        int row = static_cast<int>(i) % rows;
        FButtons[i]->SetBounds(area.left + 8 + column * columnWidth, area.top + 2 + row * rowHeight,
                               std::max(columnWidth - 4, 1), std::min(rowHeight, 17));
    }
}

void TRadioGroup::Resize()
{
    TGroupBox::Resize();
    ArrangeButtons();
}

void TRadioGroup::SetItemIndex(int value)
{
    value = std::clamp(value, -1, FItems->Count() - 1);
    if (value == FItemIndex)
        return;
    FItemIndex = value;
    FUpdating = true;
    for (size_t i = 0; i < FButtons.size(); ++i)
        FButtons[i]->SetChecked(static_cast<int>(i) == value);
    FUpdating = false;
}

void TRadioGroup::SetColumns(int value)
{
    value = std::clamp(value, 1, 16);
    if (value == FColumns)
        return;
    FColumns = value;
    ArrangeButtons();
}

void TRadioGroup::ButtonClick(TObject* sender)
{
    if (FUpdating)
        return;
    auto it = std::find(FButtons.begin(), FButtons.end(), sender);
    if (it == FButtons.end() || !(*it)->GetChecked())
        return;
    FItemIndex = static_cast<int>(it - FButtons.begin());
    Click();
}

// ---------------------------------------------------------------------------------------------
// TSpeedButton

TSpeedButton::TSpeedButton(TComponent* owner) : TGraphicControl(owner), FGlyph(New<TBitmap>())
{
    SetBounds(0, 0, 23, 22);
}

TSpeedButton::~TSpeedButton() = default;

void TSpeedButton::SetGlyph(TBitmap* value)
{
    if (value)
        FGlyph->Assign(value);
    else
        FGlyph->SetSize(0, 0);
    Invalidate();
}

void TSpeedButton::SetGroupIndex(int value)
{
    if (value == FGroupIndex)
        return;
    FGroupIndex = value;
    if (FDown)
        ReleaseGroup();
}

void TSpeedButton::ReleaseGroup()
{
    if (FGroupIndex == 0 || !GetParent())
        return;
    TWinControl* parent = GetParent();
    for (int i = 0; i < parent->GetControlCount(); ++i) {
        TControl* c = parent->GetControl(i);
        if (c != this && Is<TSpeedButton>(c) && static_cast<TSpeedButton*>(c)->FGroupIndex == FGroupIndex) {
            static_cast<TSpeedButton*>(c)->FDown = false;
            c->Invalidate();
        }
    }
}

void TSpeedButton::SetDown(bool value)
{
    if (FGroupIndex == 0)
        value = false;
    if (value == FDown)
        return;
    // The last pressed button of a group stays down unless the group may be all up.
    if (!value && !FAllowAllUp)
        return;
    FDown = value;
    if (value)
        ReleaseGroup();
    Invalidate();
}

void TSpeedButton::SetFlat(bool value)
{
    if (value == FFlat)
        return;
    FFlat = value;
    Invalidate();
}

void TSpeedButton::Click()
{
    if (!GetEnabled())
        return;
    if (FGroupIndex != 0)
        SetDown(!(FDown && FAllowAllUp));
    TGraphicControl::Click();
}

void TSpeedButton::MouseDown(TMouseButton button, TShiftState shift, int x, int y)
{
    TGraphicControl::MouseDown(button, shift, x, y);
    if (button == TMouseButton::mbLeft && GetEnabled()) {
        FPressed = true;
        Invalidate();
    }
}

void TSpeedButton::MouseUp(TMouseButton button, TShiftState shift, int x, int y)
{
    TGraphicControl::MouseUp(button, shift, x, y);
    if (button != TMouseButton::mbLeft || !FPressed)
        return;
    FPressed = false;
    Invalidate();
}

void TSpeedButton::Dispatch(TMessage& m)
{
    if (m.Msg == CM_ENABLEDCHANGED || m.Msg == CM_TEXTCHANGED) {
        Invalidate();
        return;
    }
    TGraphicControl::Dispatch(m);
}

void TSpeedButton::Paint()
{
    HDC dc = GetPaintDC();
    RECT r{0, 0, FWidth, FHeight};
    bool down = FDown || FPressed;
    FillColor(dc, r, clBtnFace);
    if (!FFlat || down)
        DrawEdge(dc, &r, down ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
    int offset = down ? 1 : 0;
    std::string caption = GetCaption();
    int glyphWidth = FGlyph->GetEmpty() ? 0 : FGlyph->GetWidth();
    if (glyphWidth > 0) {
        int gx = (FWidth - glyphWidth) / 2 + offset;
        int gy = (FHeight - FGlyph->GetHeight()) / 2 + offset;
        if (!caption.empty())
            gx = 4 + offset;
        // The glyph's bottom-left pixel colour is transparent, as usual for button glyphs.
        HDC glyphDC = FGlyph->GetCanvas()->GetHandle();
        COLORREF transparent = GetPixel(glyphDC, 0, FGlyph->GetHeight() - 1);
        if (GetEnabled()) {
            TransparentBlt(dc, gx, gy, glyphWidth, FGlyph->GetHeight(), glyphDC, 0, 0, glyphWidth, FGlyph->GetHeight(),
                           transparent);
        } else {
            // Greyed: the glyph's shape in the shadow colour.
            std::unique_ptr<TImageList, TObjectFree> images(New<TImageList>(nullptr, glyphWidth, FGlyph->GetHeight()));
            images->AddMasked(FGlyph.get(), static_cast<TColor>(transparent));
            images->Draw(dc, gx, gy, 0, false);
        }
    }
    if (!caption.empty()) {
        RECT text{glyphWidth > 0 ? 4 + glyphWidth + 4 + offset : offset, offset, FWidth + offset, FHeight + offset};
        TTextStateGuard textState(dc, static_cast<COLORREF>(ColorToRGB(GetEnabled() ? clBtnText : clGrayText)));
        HGDIOBJ oldFont = SelectObject(dc, GetFont()->GetHandle());
        DrawTextA(dc, caption.c_str(), static_cast<int>(caption.size()), &text,
                  DT_SINGLELINE | DT_VCENTER | (glyphWidth > 0 ? DT_LEFT : DT_CENTER));
        SelectObject(dc, oldFont);
    }
}
