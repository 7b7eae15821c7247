#include "skin/SkinExtItems.h"

#include <algorithm>

#include "platform/ScopeGuards.h"
#include "platform/SysUtils.h"
#include "skin/Skin.h"
#include "skin/SkinUtils.h"
#include "toolbar/TBCommon.h"
#include "toolbar/TBView.h"

SF_IMPLEMENT_COMPONENT(TSkinLabelItem, TTBCustomItem)
SF_IMPLEMENT_ABSTRACT(TSkinLabelItemViewer, TSkinItemViewer)

// ---------------------------------------------------------------------------------------------
// TSkinLabelItem

TSkinLabelItem::TSkinLabelItem(TComponent* owner)
    : TTBCustomItem(owner),
      FFontSettings(New<TFontSettings>(this, TNotifyEvent(this, &TSkinLabelItem::FontSettingsChanged)))
{
    SetItemStyle(TTBItemTraits((GetItemStyle() & ~isSelectable) | isPassClicks | isCrossFill));
}

void TSkinLabelItem::SetMargin(int value)
{
    if (FMargin == value)
        return;
    FMargin = value;
    Change(true);
}

void TSkinLabelItem::SetShowAccelChar(bool value)
{
    if (FShowAccelChar == value)
        return;
    FShowAccelChar = value;
    Change(true);
}

void TSkinLabelItem::SetOrientation(TSkinLabelOrientation value)
{
    if (FOrientation == value)
        return;
    FOrientation = value;
    Change(true);
}

TTBItemViewerClass TSkinLabelItem::QueryViewerClass(TTBView*)
{
    return ViewerClassOf<TSkinLabelItemViewer>();
}

// ---------------------------------------------------------------------------------------------
// TSkinLabelItemViewer

bool TSkinLabelItemViewer::IsVertical()
{
    const TSkinLabelOrientation o = Label()->GetOrientation();
    return o == TSkinLabelOrientation::skoVertical ||
           (o == TSkinLabelOrientation::skoAuto && FView->GetOrientation() == TTBViewAxis::vaVertical);
}

void TSkinLabelItemViewer::AdjustViewerFont(TFont* font, uint32_t stateFlags)
{
    if (!Label()->GetFontSettings()->IsDefault())
        Label()->GetFontSettings()->Apply(font);
    Label()->OnAdjustFont(Label(), this, font, stateFlags);
}

std::wstring TSkinLabelItemViewer::ShownCaption()
{
    const std::wstring caption = ComposeCaption();
    // An empty label keeps the height of a line.
    return caption.empty() ? L"0" : caption;
}

void TSkinLabelItemViewer::MeasureSize(TCanvas* canvas, int& width, int& height)
{
    if (TFont* font = FView->ResolveFont())
        canvas->GetFont()->Assign(font);
    AdjustViewerFont(canvas->GetFont(), Label()->GetEnabled() ? 0u : uint32_t(sfDisabled));
    canvas->RequiredState(TCanvas::csHandleValid | TCanvas::csFontValid);
    HDC dc = canvas->GetHandle();
    const std::wstring caption = ShownCaption();
    const int margin = Label()->GetMargin();
    const bool prefix = Label()->GetShowAccelChar();
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    if (UsesToolbarStyle()) {
        width = height = margin;
        if (IsVertical()) {
            TGdiObject<HFONT> vertical = MakeVerticalFont(dc);
            TSelectGuard select(dc, vertical.Get());
            width += tm.tmHeight;
            height += GetTextWidthW(dc, caption, prefix);
        } else {
            height += tm.tmHeight;
            width += GetTextWidthW(dc, caption, prefix);
        }
    } else {
        height = tm.tmHeight;
        const std::string narrow = WideToAnsi(caption);
        SIZE size{};
        GetTextExtentPoint32A(dc, narrow.c_str(), int(narrow.size()), &size);
        width = size.cx;
    }
    width = std::max(width, 6) + 2 * margin + 1;
    height = std::max(height, 6) + 2 * margin + 1;
}

void TSkinLabelItemViewer::Paint(TCanvas* canvas, const RECT& clientAreaRect, bool, bool, bool)
{
    TSkinItemDrawInfo info;
    info.ViewKind = GetViewTypeOfItemOwner(FView);
    if (UsesToolbarStyle())
        info.ItemFlags |= ifToolbarStyle;
    info.Enabled = Label()->GetEnabled() || FView->GetCustomizing();
    const uint32_t stateFlags = info.Enabled ? 0u : uint32_t(sfDisabled);
    if (TFont* font = FView->ResolveFont())
        canvas->GetFont()->Assign(font);
    canvas->GetFont()->SetColor(CurrentTheme()->QueryItemTextColor(info));
    AdjustViewerFont(canvas->GetFont(), stateFlags);
    canvas->RequiredState(TCanvas::csHandleValid | TCanvas::csFontValid);
    const std::wstring caption = ComposeCaption();
    if (caption.empty())
        return;
    RECT r = clientAreaRect;
    InflateRect(&r, -Label()->GetMargin(), -Label()->GetMargin());
    UINT format = DT_SINGLELINE | DT_VCENTER | (Label()->GetShowAccelChar() ? GetTextFlags() : UINT(DT_NOPREFIX));
    if (IsVertical())
        format |= DrawTextRotation270;
    CurrentTheme()->DrawItemText(canvas->GetHandle(), r, info, caption, format, canvas->GetFont()->GetColor());
}
