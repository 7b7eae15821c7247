#include "skin/SkinItems.h"

#include <oleacc.h>

#include <algorithm>
#include <cstring>

#include "platform/Forms.h"
#include "platform/ScopeGuards.h"
#include "platform/SysUtils.h"
#include "skin/Skin.h"
#include "skin/SkinExtItems.h"
#include "skin/SkinPopup.h"
#include "skin/SkinUtils.h"
#include "toolbar/TBCommon.h"
#include "toolbar/TBDockableWindow.h"
#include "toolbar/TBPopup.h"
#include "toolbar/TBView.h"

SF_IMPLEMENT_CLASS(TFontSettings, TPersistent)
SF_IMPLEMENT_COMPONENT(TSkinCustomItem, TTBCustomItem)
SF_IMPLEMENT_COMPONENT(TSkinItem, TSkinCustomItem)
SF_IMPLEMENT_COMPONENT(TSkinSubmenuItem, TSkinCustomItem)
SF_IMPLEMENT_COMPONENT(TSkinSeparatorItem, TTBSeparatorItem)
SF_IMPLEMENT_COMPONENT(TSkinVisibilityToggleItem, TSkinCustomItem)
SF_IMPLEMENT_ABSTRACT(TSkinItemViewer, TTBItemViewer)
SF_IMPLEMENT_ABSTRACT(TSkinSeparatorItemViewer, TTBSeparatorItemViewer)

namespace {

int ScaledSize(int size, int percent)
{
    return (size * percent + 50) / 100;
}

int Width(const RECT& r)
{
    return r.right - r.left;
}

int Height(const RECT& r)
{
    return r.bottom - r.top;
}

// A rectangle of the size centred in the area.
RECT CentredIn(const RECT& area, int w, int h)
{
    const int x = area.left + (Width(area) - w) / 2;
    const int y = area.top + (Height(area) - h) / 2;
    return RECT{x, y, x + w, y + h};
}

uint32_t StateFlagsOf(const TSkinItemDrawInfo& info)
{
    return DeriveStateFlags(info);
}

} // namespace

int SkinMetric(int id)
{
    return std::max(CurrentTheme()->QueryIntegerMetric(id), 0);
}

// ---------------------------------------------------------------------------------------------
// TFontSettings

void TFontSettings::Assign(TPersistent* source)
{
    auto* other = dynamic_cast<TFontSettings*>(source);
    if (!other) {
        TPersistent::Assign(source);
        return;
    }
    if (other == this)
        return;
    const bool same = FBold == other->FBold && FItalic == other->FItalic && FUnderline == other->FUnderline &&
                      FStrikeOut == other->FStrikeOut && FSize == other->FSize && FColor == other->FColor &&
                      FName == other->FName;
    if (same)
        return;
    FBold = other->FBold;
    FItalic = other->FItalic;
    FUnderline = other->FUnderline;
    FStrikeOut = other->FStrikeOut;
    FSize = other->FSize;
    FColor = other->FColor;
    FName = other->FName;
    OnChange(this);
}

bool TFontSettings::IsDefault() const
{
    return FBold == TTriState::tsDefault && FItalic == TTriState::tsDefault && FUnderline == TTriState::tsDefault &&
           FStrikeOut == TTriState::tsDefault && FSize == 100 && FColor == clNone && FName.empty();
}

void TFontSettings::Apply(TFont* font) const
{
    if (FSize != 100)
        font->SetSize(ScaledSize(font->GetSize(), FSize));
    if (FColor != clNone)
        font->SetColor(FColor);
    if (!FName.empty())
        font->SetName(FName);
    TFontStyles style = font->GetStyle();
    const std::pair<TTriState, TFontStyle> states[] = {
        {FBold, fsBold}, {FItalic, fsItalic}, {FUnderline, fsUnderline}, {FStrikeOut, fsStrikeOut}};
    for (const auto& [state, bit] : states) {
        if (state == TTriState::tsTrue)
            style = style + bit;
        else if (state == TTriState::tsFalse)
            style = style - bit;
    }
    if (!(style == font->GetStyle()))
        font->SetStyle(style);
}

void TFontSettings::ApplyToLogFont(LOGFONTW& logFont, TColor& color) const
{
    if (FSize != 100)
        logFont.lfHeight = ScaledSize(logFont.lfHeight, FSize);
    if (FColor != clNone)
        color = FColor;
    if (!FName.empty()) {
        const std::wstring name = AnsiToWide(FName).substr(0, LF_FACESIZE - 1);
        std::fill(std::begin(logFont.lfFaceName), std::end(logFont.lfFaceName), L'\0');
        std::copy(name.begin(), name.end(), logFont.lfFaceName);
    }
    auto apply = [](TTriState state, auto& field, auto on, auto off) {
        if (state == TTriState::tsTrue)
            field = on;
        else if (state == TTriState::tsFalse)
            field = off;
    };
    apply(FBold, logFont.lfWeight, LONG(FW_BOLD), LONG(FW_NORMAL));
    apply(FItalic, logFont.lfItalic, BYTE(1), BYTE(0));
    apply(FUnderline, logFont.lfUnderline, BYTE(1), BYTE(0));
    apply(FStrikeOut, logFont.lfStrikeOut, BYTE(1), BYTE(0));
}

HFONT TFontSettings::MakeAdjustedFont(HFONT font, TColor& color) const
{
    LOGFONTW logFont{};
    if (!GetObjectW(font, sizeof(logFont), &logFont))
        GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof(logFont), &logFont);
    ApplyToLogFont(logFont, color);
    return CreateFontIndirectW(&logFont);
}

// ---------------------------------------------------------------------------------------------
// TSkinCustomItem

TSkinCustomItem::TSkinCustomItem(TComponent* owner)
    : TTBCustomItem(owner),
      FFontSettings(New<TFontSettings>(this, TNotifyEvent(this, &TSkinCustomItem::FontSettingsChanged)))
{
}

void TSkinCustomItem::SetLayout(TSkinItemLayout value)
{
    if (FLayout == value)
        return;
    FLayout = value;
    Change(true);
}

void TSkinCustomItem::SetMinHeight(int value)
{
    if (FMinHeight == value)
        return;
    FMinHeight = value;
    Change(true);
}

void TSkinCustomItem::SetMinWidth(int value)
{
    if (FMinWidth == value)
        return;
    FMinWidth = value;
    Change(true);
}

void TSkinCustomItem::SetTrait(TTBItemTraits trait, bool on)
{
    if (HasTrait(trait) == on)
        return;
    SetItemStyle(on ? TTBItemTraits(GetItemStyle() | trait) : TTBItemTraits(GetItemStyle() & ~trait));
    Change(true);
}

void TSkinCustomItem::SetStretch(bool value)
{
    SetTrait(isCrossFill, value);
}

void TSkinCustomItem::SetDropdownCombo(bool value)
{
    SetTrait(isSplitButton, value);
}

TTBItemViewerClass TSkinCustomItem::QueryViewerClass(TTBView*)
{
    return ViewerClassOf<TSkinItemViewer>();
}

TTBPopupWindowClass TSkinCustomItem::QueryPopupWindowClass()
{
    return PopupWindowClassOf<TSkinPopupWindow>();
}

TTBPopupWindow* TSkinCustomItem::OpenPopupWindow(TTBView* parentView, TTBItemViewer* parentViewer, bool asSubmenu,
                                                 bool selectFirstItem, bool customizing, POINT popupPoint,
                                                 TPopupAlignment alignment)
{
    return TTBCustomItem::OpenPopupWindow(parentView, parentViewer, asSubmenu, selectFirstItem || FAlwaysSelectFirst,
                                          customizing, popupPoint, alignment);
}

void TSkinCustomItem::PlacePopup(TTBView* parentView, TTBPopupWindow* popupWindow, TTBPopupPlacement& placement)
{
    PlaceSharingEdge(this, parentView, popupWindow, placement, false);
}

void PlaceSharingEdge(TTBCustomItem* item, TTBView* parentView, TTBPopupWindow* popupWindow,
                      TTBPopupPlacement& p, bool soundForListPopups)
{
    if (!CurrentTheme() || !CurrentTheme()->QueryBooleanMetric(bmPopupsShareEdge)) {
        item->TTBCustomItem::PlacePopup(parentView, popupWindow, p);
        return;
    }
    if (p.AsSubmenu) {
        p.X += p.BorderX;
        p.Y += p.BorderY;
        p.BorderX = 0;
        p.BorderY = 0;
    } else {
        p.BorderX = 0;
        p.BorderY = 0;
        const RECT old = p.OpenerRect;
        --p.OpenerRect.right;
        --p.OpenerRect.bottom;
        if (p.X == old.right)
            --p.X;
        if (p.X + p.W <= old.left)
            ++p.X;
        if (p.Y == old.bottom)
            --p.Y;
        if (p.Y + p.H <= old.top)
            ++p.Y;
        --p.W;
        --p.H;
    }
    item->TTBCustomItem::PlacePopup(parentView, popupWindow, p);
    if (!p.AsSubmenu) {
        ++p.W;
        ++p.H;
    }
    const bool listPopup = popupWindow && ViewKindOf(GetViewTypeOfControl(popupWindow)) == vtListPopup;
    p.WithSound = soundForListPopups ? listPopup : !listPopup;
}

// ---------------------------------------------------------------------------------------------
// Items

TSkinSubmenuItem::TSkinSubmenuItem(TComponent* owner) : TSkinCustomItem(owner)
{
    SetItemStyle(GetItemStyle() | isSubmenu);
}

void TSkinSeparatorItem::SetSize(int value)
{
    value = std::max(value, -1);
    if (FSize == value)
        return;
    FSize = value;
    Change(true);
}

TTBItemViewerClass TSkinSeparatorItem::QueryViewerClass(TTBView*)
{
    return ViewerClassOf<TSkinSeparatorItemViewer>();
}

void TSkinVisibilityToggleItem::SetControl(TControl* value)
{
    if (FControl == value)
        return;
    if (FControl)
        FControl->RemoveFreeNotification(this);
    FControl = value;
    if (FControl) {
        FControl->FreeNotification(this);
        if (GetCaption().empty() && !HasState(csLoading)) {
            // A dockable window's caption is wide text; other controls have only their 8-bit text.
            auto* dockable = dynamic_cast<TTBCustomDockableWindow*>(FControl);
            SetCaption(dockable ? dockable->GetCaption() : AnsiToWide(FControl->GetText()));
        }
    }
    UpdateChecked();
}

void TSkinVisibilityToggleItem::UpdateChecked()
{
    SetChecked(FControl && FControl->GetVisible());
}

void TSkinVisibilityToggleItem::Click()
{
    if (FControl)
        FControl->SetVisible(!FControl->GetVisible());
    TSkinCustomItem::Click();
}

void TSkinVisibilityToggleItem::InitiateAction()
{
    TSkinCustomItem::InitiateAction();
    if (HasState(csLoading) || HasState(csDesigning) || HasState(csDestroying))
        return;
    UpdateChecked();
}

void TSkinVisibilityToggleItem::Notification(TComponent* component, TOperation operation)
{
    TSkinCustomItem::Notification(component, operation);
    if (operation == TOperation::opRemove && component == FControl)
        FControl = nullptr;
}

// ---------------------------------------------------------------------------------------------
// TSkinItemViewer

uint8_t ItemHotState(TTBView* view, bool enabled, bool isSelected)
{
    if (!isSelected)
        return 0;
    return uint8_t(enabled ? 2 : !view->GetMouseInSelected() ? 1 : 0);
}

bool InEditPopup(TTBView* view)
{
    return view && view->GetIsPopup() && ViewKindOf(GetViewTypeOfItemOwner(view)) == vtEditPopup;
}

bool TSkinItemViewer::UsesToolbarSize()
{
    return TTBItemViewer::UsesToolbarSize() || InEditPopup(FView);
}

bool TSkinItemViewer::UsesToolbarStyle()
{
    return TTBItemViewer::UsesToolbarStyle() || InEditPopup(FView);
}

TSkinItemLayout TSkinItemViewer::EffectiveLayout()
{
    auto* themed = dynamic_cast<TSkinCustomItem*>(FItem);
    TSkinItemLayout layout = themed ? themed->GetLayout() : TSkinItemLayout::sklAuto;
    if (layout != TSkinItemLayout::sklAuto)
        return layout;
    if ((FItem->GetEffectiveOptions() & tboImageAboveCaption) || FView->GetOrientation() == TTBViewAxis::vaVertical)
        return TSkinItemLayout::sklGlyphTop;
    return TSkinItemLayout::sklGlyphLeft;
}

bool TSkinItemViewer::CaptionRotated()
{
    auto* themed = dynamic_cast<TSkinCustomItem*>(FItem);
    const bool explicitLayout = themed && themed->GetLayout() != TSkinItemLayout::sklAuto;
    return UsesToolbarStyle() && FView->GetOrientation() == TTBViewAxis::vaVertical && !explicitLayout &&
           !(FItem->GetEffectiveOptions() & tboImageAboveCaption);
}

void TSkinItemViewer::GetImageSize(SIZE& size)
{
    TCustomImageList* images = GetImageList();
    size = images ? SIZE{images->GetWidth(), images->GetHeight()} : SIZE{0, 0};
}

UINT TSkinItemViewer::GetTextFlags()
{
    if (!KeyboardCuesOn() && FView->HasStyle(syHiddenAccels) && !FView->InState(stShowAccels))
        return DT_HIDEPREFIX;
    return 0;
}

void TSkinItemViewer::AdjustViewerFont(TFont* font, uint32_t stateFlags)
{
    if (FItem->GetEffectiveOptions() & tboDefault)
        font->SetStyle(font->GetStyle() + fsBold);
    if (auto* themed = dynamic_cast<TSkinCustomItem*>(FItem)) {
        if (!themed->GetFontSettings()->IsDefault())
            themed->GetFontSettings()->Apply(font);
        themed->OnAdjustFont(themed, this, font, stateFlags);
    } else if (auto* edit = dynamic_cast<TSkinEditItem*>(FItem); edit && !edit->GetFontSettings()->IsDefault()) {
        // An edit item shown as a button (in a vertical view) keeps its caption font.
        edit->GetFontSettings()->Apply(font);
    }
}

void TSkinItemViewer::GetTextSize(TCanvas* canvas, const std::wstring& text, SIZE& size, UINT flags, bool rotated,
                                  uint32_t stateFlags)
{
    size = SIZE{0, 0};
    if (text.empty())
        return;
    if (TFont* font = FView->ResolveFont())
        canvas->GetFont()->Assign(font);
    AdjustViewerFont(canvas->GetFont(), stateFlags);
    // Painting measures the caption each time; the font's description is what its size hangs on.
    const LOGFONTA font = canvas->GetFont()->GetLogFont();
    for (const TMeasuredText& m : FMeasured) {
        if (m.Valid && m.Flags == flags && m.Rotated == rotated && m.Text == text &&
            std::memcmp(&m.Font, &font, sizeof font) == 0) {
            size = m.Size;
            return;
        }
    }
    canvas->RequiredState(TCanvas::csHandleValid | TCanvas::csFontValid);
    HDC dc = canvas->GetHandle();
    if (rotated) {
        size.cx = CanvasTextMetrics(canvas).tmHeight;
        TGdiObject<HFONT> vertical = MakeVerticalFont(dc);
        TSelectGuard select(dc, vertical.Get());
        size.cy = GetTextWidthW(dc, text, true);
    } else {
        RECT r{0, 0, 1, 0};
        DrawTextW(dc, text.c_str(), int(text.size()), &r, flags | DT_CALCRECT);
        size = SIZE{Width(r), Height(r)};
    }
    FMeasured[FNextMeasured] = TMeasuredText{text, font, flags, rotated, true, size};
    FNextMeasured = (FNextMeasured + 1) % FMeasured.size();
}

void TSkinItemViewer::MeasureSize(TCanvas* canvas, int& width, int& height)
{
    SIZE image{};
    GetImageSize(image);
    if (image.cx < 1 || image.cy < 1)
        image = SIZE{0, 0};
    const bool toolbarStyle = UsesToolbarStyle();
    const bool rotated = CaptionRotated();
    const bool showCaption = ShowsCaption();
    const uint32_t stateFlags = FItem->GetEnabled() ? 0u : uint32_t(sfDisabled);
    SIZE text{0, 0};
    if (showCaption)
        GetTextSize(canvas, ComposeCaption(), text, GetTextFlags() | (rotated || !toolbarStyle ? DT_SINGLELINE : 0),
                    rotated, stateFlags);
    const bool showImage = ShowsImage() && image.cx >= 1 && image.cy >= 1;
    const TSkinItemLayout layout = EffectiveLayout();

    if (toolbarStyle) {
        width = height = 6;
        if (showCaption) {
            width += text.cx;
            height += text.cy;
            (rotated ? height : width) += 4;
        }
        if (showImage) {
            if (layout == TSkinItemLayout::sklGlyphTop) {
                height += image.cy;
                width = std::max(width, int(image.cx) + 7);
            } else {
                width += image.cx + (FWidenGlyphLeft ? 1 : 0);
                height = std::max(height, int(image.cy) + 6);
            }
        }
        if (FItem->HasTrait(isSubmenu)) {
            const bool vertical = FView->GetOrientation() == TTBViewAxis::vaVertical;
            if (FItem->HasTrait(isSplitButton)) {
                width += SkinMetric(imSplitArrowWidth);
            } else if (FItem->GetEffectiveOptions() & tboDropdownArrow) {
                const int arrow = SkinMetric(imDropDownArrowWidth);
                if (layout == TSkinItemLayout::sklGlyphTop && showImage && showCaption && !rotated) {
                    if (vertical)
                        height = std::max(height, arrow + int(image.cy) + 2 + 7);
                    else
                        width = std::max(width, arrow + int(image.cx) + 2 + 7);
                } else {
                    (vertical ? height : width) += arrow;
                }
            }
        }
    } else {
        width = text.cx;
        height = text.cy + (showCaption ? CanvasTextMetrics(canvas).tmExternalLeading : 0);
        height = std::max(height, image.cy > 0 ? int(image.cy) : 16);
        const TSkinMargins margins = CurrentTheme()->QueryMargins(mkMenuItem);
        width += margins.Left + margins.Right;
        height += margins.Top + margins.Bottom;
        width += SkinMetric(imMenuImageSpacing) + ComputeImageColumn(this, image) + SkinMetric(imMenuTextSpacing) +
                 SkinMetric(imMenuTextEndSpacing);
        const std::wstring shortCut = FItem->FormatShortCut();
        if (!shortCut.empty()) {
            SIZE cut{};
            GetTextSize(canvas, shortCut, cut, DT_SINGLELINE, false, stateFlags);
            width += cut.cx + (height - 6);
        }
        width += height;
    }
    if (auto* themed = dynamic_cast<TSkinCustomItem*>(FItem)) {
        width = std::max(width, themed->GetMinWidth());
        height = std::max(height, themed->GetMinHeight());
    }
}

TSkinItemDrawInfo TSkinItemViewer::MakeItemInfo(bool isSelected, bool isPushed)
{
    const bool toolbarStyle = UsesToolbarStyle();
    const bool submenu = FItem->HasTrait(isSubmenu);
    const bool split = submenu && FItem->HasTrait(isSplitButton);
    TSkinItemDrawInfo info;
    info.ViewKind = GetViewTypeOfItemOwner(FView);
    if (toolbarStyle)
        info.ItemFlags |= ifToolbarStyle;
    if (submenu)
        info.ItemFlags |= ifSubmenu;
    if (split)
        info.ItemFlags |= ifSplit;
    if (FItem->HasState(csDesigning))
        info.ItemFlags |= ifShowFrame;
    if (Application && Application->GetActive())
        info.ItemFlags |= ifAppActive;
    info.Enabled = FItem->GetEnabled() || FView->GetCustomizing();
    info.Pushed = isPushed;
    info.HotState = ItemHotState(FView, info.Enabled, isSelected);
    info.Checked = FItem->GetChecked();
    SIZE image{};
    GetImageSize(image);
    if (ShowsImage() && image.cx >= 1 && image.cy >= 1) {
        info.HasImage = true;
        info.ImageWidth = image.cx;
        info.ImageHeight = image.cy;
    }
    info.Vertical = FView->GetOrientation() == TTBViewAxis::vaVertical && !split;
    // A split item's arrow part is pushed while its submenu is open from it.
    const bool arrowPushed = split && isPushed && FView->GetOpenedViewer() == this;
    info.PopupOpen = toolbarStyle && isPushed && submenu && (!split || arrowPushed);
    if (!toolbarStyle)
        info.ImageColumnWidth = ComputeImageColumn(this, image);
    return info;
}

void TSkinItemViewer::PaintToolbarFrame(HDC dc, const RECT& client, RECT& content, const TSkinItemDrawInfo& info,
                                        bool arrowPushed, bool buttonPushed, bool arrowBelow, const RECT& imageRect)
{
    TSkinTheme* theme = CurrentTheme();
    const bool submenu = FItem->HasTrait(isSubmenu);
    const bool split = submenu && FItem->HasTrait(isSplitButton);
    if (split) {
        const int arrowWidth = SkinMetric(imSplitArrowWidth);
        const RECT arrow{client.right - arrowWidth, client.top, client.right, client.bottom};
        TSkinItemDrawInfo part = info;
        part.ButtonPart = bpSplitArrow;
        part.Checked = false;
        part.Pushed = arrowPushed;
        theme->DrawButtonFrame(dc, arrow, part);
        part = info;
        part.ButtonPart = bpSplitButton;
        part.Pushed = buttonPushed;
        const RECT button{client.left, client.top, arrow.left, client.bottom};
        theme->DrawButtonFrame(dc, button, part);
        content.right = arrow.left;
    } else if (submenu && (FItem->GetEffectiveOptions() & tboDropdownArrow)) {
        TSkinItemDrawInfo part = info;
        part.ButtonPart = bpWithArrow;
        theme->DrawButtonFrame(dc, client, part);
        const int arrowWidth = SkinMetric(imDropDownArrowWidth);
        if (arrowBelow) {
            // Beside the image, in the image's row above the caption.
            const RECT arrow{imageRect.right + 2, imageRect.top, imageRect.right + 2 + arrowWidth, imageRect.bottom};
            theme->DrawArrowGlyph(dc, arrow, part);
        } else if (FView->GetOrientation() == TTBViewAxis::vaVertical) {
            const RECT arrow{client.left, client.bottom - arrowWidth, client.right, client.bottom};
            theme->DrawArrowGlyph(dc, arrow, part);
            content.bottom = arrow.top;
        } else {
            const RECT arrow{client.right - arrowWidth, client.top, client.right, client.bottom};
            theme->DrawArrowGlyph(dc, arrow, part);
            content.right = arrow.left;
        }
    } else {
        theme->DrawButtonFrame(dc, client, info);
    }
}

void TSkinItemViewer::Paint(TCanvas* canvas, const RECT& clientAreaRect, bool isSelected, bool isPushed, bool)
{
    TSkinTheme* theme = CurrentTheme();
    const bool toolbarStyle = UsesToolbarStyle();
    const bool rotated = CaptionRotated();
    const bool showCaption = ShowsCaption();
    const bool split = FItem->HasTrait(isSubmenu) && FItem->HasTrait(isSplitButton);
    const bool arrowPushed = split && isPushed && FView->GetOpenedViewer() == this;
    TSkinItemDrawInfo info = MakeItemInfo(isSelected, isPushed && !arrowPushed);
    const uint32_t stateFlags = StateFlagsOf(info);

    if (TFont* font = FView->ResolveFont())
        canvas->GetFont()->Assign(font);
    canvas->GetFont()->SetColor(theme->QueryItemTextColor(info));
    AdjustViewerFont(canvas->GetFont(), stateFlags);
    canvas->RequiredState(TCanvas::csHandleValid | TCanvas::csFontValid);
    HDC dc = canvas->GetHandle();

    const TSkinItemLayout layout = EffectiveLayout();
    const SIZE image{info.ImageWidth, info.ImageHeight};
    const int arrowWidth = SkinMetric(imDropDownArrowWidth);
    const bool arrowBelow = toolbarStyle && FItem->HasTrait(isSubmenu) && !split &&
                            (FItem->GetEffectiveOptions() & tboDropdownArrow) &&
                            layout == TSkinItemLayout::sklGlyphTop && info.HasImage && showCaption && !rotated;
    const std::wstring caption = showCaption ? ComposeCaption() : std::wstring();
    const UINT textFlags = GetTextFlags() | (rotated || !toolbarStyle ? DT_SINGLELINE : 0);
    SIZE text{0, 0};
    if (showCaption)
        GetTextSize(canvas, caption, text, textFlags, rotated, stateFlags);
    // GetTextSize leaves the view's font adjusted but not coloured.
    canvas->GetFont()->SetColor(theme->QueryItemTextColor(info));
    AdjustViewerFont(canvas->GetFont(), stateFlags);
    canvas->RequiredState(TCanvas::csHandleValid | TCanvas::csFontValid);

    RECT content = clientAreaRect;
    RECT imageRect{};
    RECT captionRect{};
    if (toolbarStyle) {
        // The image's place first: the drop-down arrow may sit beside it.
        RECT inner = clientAreaRect;
        InflateRect(&inner, -2, -2);
        if (info.HasImage) {
            if (layout == TSkinItemLayout::sklGlyphTop) {
                const int x = inner.left + (Width(inner) - image.cx) / 2 - (arrowBelow ? (arrowWidth + 2) / 2 : 0);
                const int y = showCaption ? inner.top + (Height(inner) - image.cy - text.cy - 1) / 2
                                          : inner.top + (Height(inner) - image.cy) / 2;
                imageRect = RECT{x, y, x + image.cx, y + image.cy};
            }
        }
        PaintToolbarFrame(dc, clientAreaRect, content, info, arrowPushed, isPushed && !arrowPushed, arrowBelow,
                          imageRect);
        InflateRect(&content, -2, -2);
        if (info.HasImage && layout == TSkinItemLayout::sklGlyphLeft) {
            const RECT column{content.left, content.top, content.left + image.cx + 2, content.bottom};
            imageRect = showCaption ? CentredIn(column, image.cx, image.cy) : CentredIn(content, image.cx, image.cy);
            captionRect = RECT{column.right + 3 - 2, content.top, content.right, content.bottom};
            captionRect = CentredIn(captionRect, text.cx, text.cy);
        } else if (info.HasImage) {
            if (!showCaption)
                imageRect = CentredIn(content, image.cx, image.cy);
            RECT below{content.left, imageRect.bottom + 1 + (rotated ? 3 : 0), content.right, content.bottom};
            captionRect = CentredIn(below, text.cx, text.cy);
            captionRect.top = below.top;
            captionRect.bottom = below.top + text.cy;
        } else {
            captionRect = CentredIn(content, text.cx, text.cy);
        }
    } else {
        theme->DrawMenuItemFace(dc, clientAreaRect, info);
        const TSkinMargins margins = theme->QueryMargins(mkMenuItem);
        content.left += margins.Left;
        content.top += margins.Top;
        content.right -= margins.Right;
        content.bottom -= margins.Bottom;
        captionRect = content;
        captionRect.left += SkinMetric(imMenuImageSpacing) + info.ImageColumnWidth + SkinMetric(imMenuTextSpacing);
        if ((Height(captionRect) - text.cy) % 2 != 0)
            --captionRect.bottom;
        const RECT column{content.left, content.top, content.left + info.ImageColumnWidth, content.bottom};
        if (info.HasImage)
            imageRect = CentredIn(column, image.cx, image.cy);
        else
            imageRect = column;
    }

    if (showCaption) {
        bool paintDefault = true;
        PaintCaption(canvas, captionRect, paintDefault, rotated);
        if (paintDefault) {
            UINT format = textFlags | (toolbarStyle ? 0 : DT_VCENTER) | (rotated ? DrawTextRotation270 : 0);
            if (toolbarStyle && !rotated)
                format |= DT_CENTER;
            theme->DrawItemText(dc, captionRect, info, caption, format, canvas->GetFont()->GetColor());
        }
    }
    if (!toolbarStyle) {
        const std::wstring shortCut = FItem->FormatShortCut();
        if (!shortCut.empty()) {
            RECT cut = captionRect;
            cut.right = clientAreaRect.right - Height(clientAreaRect);
            theme->DrawItemText(dc, cut, info, shortCut, DT_SINGLELINE | DT_VCENTER | DT_RIGHT | DT_NOPREFIX,
                                canvas->GetFont()->GetColor());
        }
    }
    if (info.HasImage) {
        DrawViewerImage(canvas, imageRect, info);
    } else if (!toolbarStyle && info.Checked) {
        TSkinItemDrawInfo check = info;
        if (FItem->GetRadioItem())
            check.ItemFlags |= ifRadio;
        theme->DrawCheckGlyph(dc, imageRect, check);
    }
}

void TSkinItemViewer::DrawViewerImage(TCanvas* canvas, const RECT& r, const TSkinItemDrawInfo& info)
{
    TCustomImageList* images = GetImageList();
    const int index = FItem->GetImageIndex();
    HDC dc = canvas->GetHandle();
    if (images && index >= 0 && index < images->GetCount())
        CurrentTheme()->DrawImageForState(dc, r, info, images, index);
    auto* themed = dynamic_cast<TSkinCustomItem*>(FItem);
    if (themed && themed->OnDrawImage) {
        const POINT shift = CurrentTheme()->QueryImageShift(dc, info, 0);
        themed->OnDrawImage(themed, this, canvas, r, shift, StateFlagsOf(info));
    }
}

bool TSkinItemViewer::PointInButtonPart(int x, int)
{
    if (!FItem->HasTrait(isSubmenu))
        return true;
    if (!FItem->HasTrait(isSplitButton))
        return false;
    const int arrow = UsesToolbarStyle() ? SkinMetric(imSplitArrowWidth) : GetSystemMetrics(SM_CXMENUCHECK);
    return x < Width(GetBoundsRect()) - arrow;
}

void TSkinItemViewer::MouseUp(int x, int y, bool mouseWasDownOnMenu)
{
    TTBView* view = FView;
    TTBItemViewer::MouseUp(x, y, mouseWasDownOnMenu);
    const TTBDoneActionData& done = view->FindRootView()->GetDoneActionData();
    if (done.DoneAction == TTBDoneKind::dkClickItem && done.ClickItem == FItem)
        return;
    if (!FItem->GetEnabled() || (FItem->HasTrait(isSubmenu) && !PointInButtonPart(x, y)))
        return;
    if (view->GetSelected() == this && view->GetMouseInSelected() && !FItem->HasTrait(isPassClicks))
        Execute(true);
}

int TSkinItemViewer::AccessibleRole()
{
    auto* themed = dynamic_cast<TSkinCustomItem*>(FItem);
    if (themed && themed->HasTrait(isSubmenu) && themed->GetToolBoxPopup())
        return ROLE_SYSTEM_BUTTONDROPDOWNGRID;
    return TTBItemViewer::AccessibleRole();
}

// ---------------------------------------------------------------------------------------------
// TSkinSeparatorItemViewer

bool TSkinSeparatorItemViewer::UsesToolbarSize()
{
    return TTBSeparatorItemViewer::UsesToolbarSize() || InEditPopup(FView);
}

bool TSkinSeparatorItemViewer::UsesToolbarStyle()
{
    return TTBSeparatorItemViewer::UsesToolbarStyle() || InEditPopup(FView);
}

void TSkinSeparatorItemViewer::MeasureSize(TCanvas* canvas, int& width, int& height)
{
    auto* separator = dynamic_cast<TSkinSeparatorItem*>(FItem);
    const int size = separator ? separator->GetSize() : -1;
    const bool toolbarStyle = UsesToolbarStyle();
    if (size >= 0) {
        width = toolbarStyle ? size : 0;
        height = size;
        return;
    }
    const int metric = CurrentTheme()->QueryIntegerMetric(toolbarStyle ? imToolbarSeparatorSize : imMenuSeparatorSize);
    if (metric >= 0) {
        width = height = metric;
        return;
    }
    TTBSeparatorItemViewer::MeasureSize(canvas, width, height);
}

void TSkinSeparatorItemViewer::Paint(TCanvas* canvas, const RECT& clientAreaRect, bool, bool isPushed, bool)
{
    auto* separator = dynamic_cast<TSkinSeparatorItem*>(FItem);
    if (separator && separator->GetSize() == 0)
        return;
    const bool toolbarStyle = UsesToolbarStyle();
    TSkinItemDrawInfo info;
    info.ViewKind = GetViewTypeOfItemOwner(FView);
    if (toolbarStyle)
        info.ItemFlags |= ifToolbarStyle;
    if (FItem->HasState(csDesigning))
        info.ItemFlags |= ifShowFrame;
    auto* plain = dynamic_cast<TTBSeparatorItem*>(FItem);
    info.Enabled = !(plain && plain->GetBlank());
    info.Pushed = isPushed;
    const bool vertical = FView->GetOrientation() == TTBViewAxis::vaVertical;
    info.Vertical = vertical;
    if (!toolbarStyle)
        info.ImageColumnWidth = ComputeImageColumn(this);
    const bool lineOnly = IsLineSeparator();
    bool horizontal = vertical != lineOnly || FView->GetIsPopup();
    if (ViewKindOf(info.ViewKind) == vtChevronPopup)
        horizontal = horizontal && lineOnly;
    CurrentTheme()->DrawSeparatorLine(canvas->GetHandle(), clientAreaRect, info, horizontal, lineOnly);
}
