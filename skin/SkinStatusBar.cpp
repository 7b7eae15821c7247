#include "skin/SkinStatusBar.h"

#include <windowsx.h>

#include <algorithm>

#include "platform/Forms.h"
#include "platform/ScopeGuards.h"
#include "platform/SysUtils.h"
#include "skin/Skin.h"
#include "skin/SkinUtils.h"
#include "toolbar/TBCommon.h"
#include "toolbar/TBHintWindow.h"

SF_IMPLEMENT_ABSTRACT(TSkinStatusPanel, TPersistent)
SF_IMPLEMENT_ABSTRACT(TSkinStatusPanels, TPersistent)
SF_IMPLEMENT_COMPONENT(TSkinCustomStatusBar, TCustomControl)
SF_IMPLEMENT_COMPONENT(TSkinStatusBar, TSkinCustomStatusBar)

namespace {

constexpr int DefaultHeight = 22;

bool RectHolds(const RECT& r, POINT p)
{
    return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// TSkinStatusPanel

TSkinStatusPanel::TSkinStatusPanel(TSkinStatusPanels* collection)
    : FCollection(collection),
      FFontSettings(New<TFontSettings>(this, TNotifyEvent(this, &TSkinStatusPanel::FontChanged)))
{
}

TSkinStatusPanel::~TSkinStatusPanel()
{
    if (FControl && FCollection && FCollection->GetStatusBar())
        FControl->RemoveFreeNotification(FCollection->GetStatusBar());
}

int TSkinStatusPanel::GetIndex() const
{
    return FCollection ? FCollection->IndexOf(this) : -1;
}

void TSkinStatusPanel::Changed(bool relayout)
{
    if (FCollection)
        FCollection->Changed(relayout);
}

void TSkinStatusPanel::SetAlignment(TAlignment value)
{
    Store(FAlignment, value, false);
}

void TSkinStatusPanel::SetCaption(const std::wstring& value)
{
    Store(FCaption, value, false);
}

void TSkinStatusPanel::SetEnabled(bool value)
{
    Store(FEnabled, value, false);
}

void TSkinStatusPanel::SetFramed(bool value)
{
    Store(FFramed, value, false);
}

void TSkinStatusPanel::SetTextTruncation(TTextTruncation value)
{
    Store(FTextTruncation, value, false);
}

void TSkinStatusPanel::SetImageIndex(int value)
{
    if (FImageIndex == value)
        return;
    FImageIndex = value;
    TSkinCustomStatusBar* bar = FCollection ? FCollection->GetStatusBar() : nullptr;
    if (bar && bar->GetImages())
        Changed(false);
}

void TSkinStatusPanel::SetMaxSize(int value)
{
    Store(FMaxSize, value, true);
}

void TSkinStatusPanel::SetSize(int value)
{
    Store(FSize, value, true);
}

void TSkinStatusPanel::SetStretchPriority(TPercent value)
{
    Store(FStretchPriority, std::min<TPercent>(value, 100), true);
}

void TSkinStatusPanel::SetViewPriority(TPercent value)
{
    Store(FViewPriority, std::min<TPercent>(value, 100), true);
}

void TSkinStatusPanel::SetControl(TControl* value)
{
    if (FControl == value)
        return;
    TSkinCustomStatusBar* bar = FCollection ? FCollection->GetStatusBar() : nullptr;
    if (value && bar) {
        for (const TControl* c = bar; c; c = c->GetParent())
            if (c == value)
                throw EInvalidOperation("Can't insert own parent");
        if (TSkinStatusPanel* holder = FCollection->FindControl(value))
            holder->FControl = nullptr;
    }
    TControl* previous = FControl;
    FControl = value;
    if (value && bar) {
        value->FreeNotification(bar);
        if (value->GetParent() != bar)
            value->SetParent(bar);
    }
    if (previous)
        previous->Perform(CM_SHOWINGCHANGED);
    Changed(true);
}

std::string TSkinStatusPanel::GetDisplayName() const
{
    if (!FCaption.empty())
        return WideToAnsi(FCaption);
    if (FControl)
        return "[ " + FControl->GetName() + " ]";
    return ClassName();
}

void TSkinStatusPanel::Assign(TPersistent* source)
{
    auto* other = dynamic_cast<TSkinStatusPanel*>(source);
    if (!other) {
        TPersistent::Assign(source);
        return;
    }
    SetViewPriority(other->FViewPriority);
    TSkinCustomStatusBar* bar = FCollection ? FCollection->GetStatusBar() : nullptr;
    TComponent* owner = bar ? bar->GetOwner() : nullptr;
    if (other->FControl && owner)
        SetControl(dynamic_cast<TControl*>(owner->FindComponent(other->FControl->GetName())));
}

// ---------------------------------------------------------------------------------------------
// TSkinStatusPanels

TSkinStatusPanels::~TSkinStatusPanels()
{
    FOwner = nullptr;
    for (TSkinStatusPanel* panel : FItems)
        panel->Free();
}

TPersistent* TSkinStatusPanels::GetOwner() const
{
    return FOwner;
}

TSkinStatusPanel* TSkinStatusPanels::Add()
{
    FItems.push_back(New<TSkinStatusPanel>(this));
    Changed(true);
    return FItems.back();
}

void TSkinStatusPanels::Delete(int index)
{
    TSkinStatusPanel* panel = FItems.at(size_t(index));
    FItems.erase(FItems.begin() + index);
    panel->Free();
    Changed(true);
}

void TSkinStatusPanels::Clear()
{
    BeginUpdate();
    while (!FItems.empty())
        Delete(Count() - 1);
    EndUpdate();
}

int TSkinStatusPanels::IndexOf(const TSkinStatusPanel* panel) const
{
    auto found = std::find(FItems.begin(), FItems.end(), panel);
    return found == FItems.end() ? -1 : int(found - FItems.begin());
}

TSkinStatusPanel* TSkinStatusPanels::FindControl(const TControl* control) const
{
    for (TSkinStatusPanel* panel : FItems)
        if (panel->FControl == control)
            return panel;
    return nullptr;
}

void TSkinStatusPanels::EndUpdate()
{
    if (--FUpdateCount > 0)
        return;
    FUpdateCount = 0;
    if (FPendingRelayout)
        Changed(true);
}

void TSkinStatusPanels::Changed(bool relayout)
{
    if (FUpdateCount > 0) {
        FPendingRelayout = FPendingRelayout || relayout;
        return;
    }
    FPendingRelayout = false;
    if (!FOwner)
        return;
    if (relayout)
        FOwner->UpdatePanels();
    else
        FOwner->Invalidate();
}

// ---------------------------------------------------------------------------------------------
// TSkinCustomStatusBar

TSkinCustomStatusBar::TSkinCustomStatusBar(TComponent* owner)
    : TCustomControl(owner), FPanels(New<TSkinStatusPanels>(this)), FImagesWatch(New<TChangeLink>())
{
    SetControlStyle(csAcceptsControls | csCaptureMouse | csClickEvents | csDoubleClicks | csOpaque);
    SetHeight(DefaultHeight);
    SetDoubleBuffered(true);
    FImagesWatch->OnChange = TNotifyEvent(this, &TSkinCustomStatusBar::ImagesChanged);
    AddThemeListener(this);
}

TSkinCustomStatusBar::~TSkinCustomStatusBar()
{
    RemoveThemeListener(this);
}

void TSkinCustomStatusBar::BeforeDestruction()
{
    RemoveThemeListener(this);
    SetImages(nullptr);
    // Panels forget their controls before the controls go with the bar.
    for (int i = 0; i < FPanels->Count(); ++i)
        FPanels->GetItem(i)->FControl = nullptr;
    TCustomControl::BeforeDestruction();
}

void TSkinCustomStatusBar::SetImages(TCustomImageList* value)
{
    if (FImages == value)
        return;
    if (FImages) {
        FImages->UnRegisterChanges(FImagesWatch.get());
        FImages->RemoveFreeNotification(this);
    }
    FImages = value;
    if (FImages) {
        FImages->RegisterChanges(FImagesWatch.get());
        FImages->FreeNotification(this);
    }
    UpdatePanels();
}

void TSkinCustomStatusBar::SetSimplePanel(bool value)
{
    if (FSimplePanel == value)
        return;
    FSimplePanel = value;
    UpdatePanels();
}

void TSkinCustomStatusBar::SetSimpleText(const std::wstring& value)
{
    if (FSimpleText == value)
        return;
    FSimpleText = value;
    Invalidate();
}

void TSkinCustomStatusBar::SetSizeGrip(bool value)
{
    if (FSizeGrip == value)
        return;
    FSizeGrip = value;
    UpdatePanels();
}

void TSkinCustomStatusBar::SetUseSystemFont(bool value)
{
    if (FUseSystemFont == value)
        return;
    FUseSystemFont = value;
    UpdatePanels();
}

void TSkinCustomStatusBar::Notification(TComponent* component, TOperation operation)
{
    TCustomControl::Notification(component, operation);
    if (operation != TOperation::opRemove)
        return;
    if (component == FImages) {
        FImages = nullptr;
        Invalidate();
    }
    for (int i = 0; i < FPanels->Count(); ++i)
        if (FPanels->GetItem(i)->FControl == component)
            FPanels->GetItem(i)->FControl = nullptr;
}

void TSkinCustomStatusBar::CreateParams(TCreateParams& params)
{
    TCustomControl::CreateParams(params);
    params.WindowClass.style &= ~UINT(CS_HREDRAW | CS_VREDRAW);
}

void TSkinCustomStatusBar::CreateWnd()
{
    TCustomControl::CreateWnd();
    if (!HasState(csLoading))
        ArrangePanels();
}

void TSkinCustomStatusBar::ArrangePanels()
{
    const int count = FPanels->Count();
    if (count == 0)
        return;
    FPanelMargins = CurrentTheme()->QueryMargins(mkStatusPanel);
    RECT r = GetClientRect();
    r.top += 2;
    const int w = r.right - r.left;

    std::vector<TSkinStatusPanel*> candidates;
    int sum = 0;
    for (int i = 0; i < count; ++i) {
        TSkinStatusPanel* panel = FPanels->GetItem(i);
        panel->FShown = panel->FViewPriority > 0;
        panel->FLast = false;
        panel->FEffectiveWidth = panel->FSize;
        if (!panel->FShown)
            continue;
        candidates.push_back(panel);
        sum += panel->FSize;
    }
    // Highest view priority first; the lowest goes first while the panels overflow.
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const TSkinStatusPanel* a, const TSkinStatusPanel* b) { return a->FViewPriority > b->FViewPriority; });
    while (sum > w && candidates.size() >= 2 && candidates.back()->FViewPriority < 100) {
        candidates.back()->FShown = false;
        sum -= candidates.back()->FSize;
        candidates.pop_back();
    }
    int extra = w - sum;
    if (extra > 0) {
        std::erase_if(candidates, [](const TSkinStatusPanel* p) { return p->FStretchPriority == 0; });
        std::stable_sort(candidates.begin(), candidates.end(), [](const TSkinStatusPanel* a, const TSkinStatusPanel* b) {
            return a->FStretchPriority > b->FStretchPriority;
        });
        for (TSkinStatusPanel* panel : candidates) {
            if (extra < 1)
                break;
            int grown = panel->FEffectiveWidth + extra;
            if (panel->FMaxSize > panel->FEffectiveWidth && panel->FMaxSize < grown)
                grown = panel->FMaxSize;
            extra -= grown - panel->FEffectiveWidth;
            panel->FEffectiveWidth = grown;
        }
    }
    int x = 0;
    for (int i = 0; i < count; ++i) {
        TSkinStatusPanel* panel = FPanels->GetItem(i);
        if (panel->FShown && x >= w)
            panel->FShown = false;
        if (!panel->FShown) {
            panel->FPanelRect = RECT{};
            continue;
        }
        panel->FPanelRect = RECT{r.left + x, r.top, r.left + x + panel->FEffectiveWidth, r.bottom};
        x += panel->FEffectiveWidth;
        panel->FLast = x == w;
    }
}

void TSkinCustomStatusBar::UpdatePanels()
{
    Invalidate();
    ArrangePanels();
    for (int i = 0; i < FPanels->Count(); ++i) {
        TSkinStatusPanel* panel = FPanels->GetItem(i);
        if (!panel->FControl)
            continue;
        // Simple mode covers the panels' texts, not their controls.
        RECT r{};
        if (panel->FShown) {
            r = panel->FPanelRect;
            DoAdjustContentRect(panel, r);
        }
        panel->FControl->SetBoundsRect(r);
    }
}

void TSkinCustomStatusBar::DoAdjustContentRect(TSkinStatusPanel* panel, RECT& r)
{
    if (panel->FFramed) {
        r.left += FPanelMargins.Left;
        r.top += FPanelMargins.Top;
        r.right -= FPanelMargins.Right;
        r.bottom -= FPanelMargins.Bottom;
    }
    OnAdjustContentRect(this, panel, r);
}

void TSkinCustomStatusBar::DoPanelClick(TSkinStatusPanel* panel)
{
    OnPanelClick(this, panel);
}

void TSkinCustomStatusBar::DoPanelDblClick(TSkinStatusPanel* panel)
{
    OnPanelDblClick(this, panel);
}

bool TSkinCustomStatusBar::SizeGripShown()
{
    if (!FSizeGrip || !HandleAllocated())
        return false;
    TCustomForm* form = GetParentForm(this);
    if (!form || !form->HandleAllocated() || IsZoomed(form->GetHandle()))
        return false;
    RECT formClient{};
    ::GetClientRect(form->GetHandle(), &formClient);
    POINT formCorner{formClient.right, formClient.bottom};
    ::ClientToScreen(form->GetHandle(), &formCorner);
    const POINT corner = ClientToScreen(POINT{GetClientWidth(), GetClientHeight()});
    return corner.x == formCorner.x && corner.y == formCorner.y;
}

RECT TSkinCustomStatusBar::SizeGripRect() const
{
    RECT r = GetClientRect();
    r.top += 3;
    r.left = r.right - GetSystemMetrics(SM_CXVSCROLL);
    return r;
}

TSkinStatusPanel* TSkinCustomStatusBar::PanelAt(POINT p) const
{
    for (int i = 0; i < FPanels->Count(); ++i) {
        TSkinStatusPanel* panel = FPanels->GetItem(i);
        if (panel->FShown && RectHolds(panel->FPanelRect, p))
            return panel;
    }
    return nullptr;
}

POINT TSkinCustomStatusBar::CursorPoint() const
{
    POINT p{};
    GetCursorPos(&p);
    return ScreenToClient(p);
}

void TSkinCustomStatusBar::Click()
{
    TCustomControl::Click();
    if (TSkinStatusPanel* panel = PanelAt(CursorPoint()))
        DoPanelClick(panel);
}

void TSkinCustomStatusBar::DblClick()
{
    TCustomControl::DblClick();
    if (TSkinStatusPanel* panel = PanelAt(CursorPoint()))
        DoPanelDblClick(panel);
}

void TSkinCustomStatusBar::PaintPanel(TCanvas* canvas, const RECT& rect, TSkinStatusPanel* panel)
{
    HDC dc = canvas->GetHandle();
    RECT r = rect;
    const uint32_t flags = sfStandaloneKind | (panel->FEnabled ? 0u : uint32_t(sfDisabled));
    if (FImages && panel->FImageIndex >= 0) {
        const int iw = FImages->GetWidth(), ih = FImages->GetHeight();
        const int y = (r.top + r.bottom - ih) / 2;
        int x = r.left;
        if (panel->FAlignment == taRightJustify)
            x = r.right - iw;
        else if (panel->FAlignment == taCenter)
            x = (r.left + r.right - iw) / 2;
        DrawStateImage(dc, RECT{x, y, x + iw, y + ih}, FImages, panel->FImageIndex, flags);
        if (panel->FAlignment == taRightJustify)
            r.right = x;
        else if (panel->FAlignment == taLeftJustify)
            r.left = x + iw;
    }
    if (panel->FCaption.empty())
        return;
    UINT format = DT_SINGLELINE | DT_VCENTER;
    format |= panel->FAlignment == taRightJustify ? DT_RIGHT : panel->FAlignment == taCenter ? DT_CENTER : DT_LEFT;
    if (panel->FTextTruncation == TTextTruncation::twEndEllipsis)
        format |= DT_END_ELLIPSIS;
    else if (panel->FTextTruncation == TTextTruncation::twPathEllipsis)
        format |= DT_PATH_ELLIPSIS;
    canvas->GetBrush()->SetStyle(TBrushStyle::bsClear);
    canvas->RequiredState(TCanvas::csHandleValid | TCanvas::csFontValid | TCanvas::csBrushValid);
    // The theme draws a disabled caption its own way (embossed in the classic look).
    CurrentTheme()->DrawItemText(dc, r, StateItemInfo(flags), panel->FCaption, format, canvas->GetFont()->GetColor());
}

void TSkinCustomStatusBar::Paint()
{
    TCanvas* canvas = GetCanvas();
    HDC dc = canvas->GetHandle();
    TSkinTheme* theme = CurrentTheme();
    const RECT client = GetClientRect();
    theme->DrawStatusBarPart(dc, client, spBackground);
    RECT r = client;
    r.top += 2;
    if (!FSimplePanel) {
        RECT clip{};
        GetClipBox(dc, &clip);
        for (int i = 0; i < FPanels->Count(); ++i) {
            TSkinStatusPanel* panel = FPanels->GetItem(i);
            RECT overlap{};
            if (!panel->FShown || !IntersectRect(&overlap, &clip, &panel->FPanelRect))
                continue;
            if (panel->FFramed)
                theme->DrawStatusBarPart(dc, panel->FPanelRect, panel->FLast ? spPanelAtGrip : spPanel);
            canvas->GetFont()->Assign(FUseSystemFont && Screen ? Screen->GetHintFont() : GetFont());
            canvas->GetFont()->SetColor(GetStateTextColor(sfStandaloneKind | (panel->FEnabled ? 0u : uint32_t(sfDisabled))));
            if (!panel->FFontSettings->IsDefault())
                panel->FFontSettings->Apply(canvas->GetFont());
            RECT content = panel->FPanelRect;
            DoAdjustContentRect(panel, content);
            DoPanelEvent(panel, content);
            PaintPanel(canvas, content, panel);
        }
    } else if (!FSimpleText.empty()) {
        canvas->GetFont()->Assign(FUseSystemFont && Screen ? Screen->GetHintFont() : GetFont());
        canvas->RequiredState(TCanvas::csHandleValid | TCanvas::csFontValid);
        const uint32_t flags = sfStandaloneKind | (GetEnabled() ? 0u : uint32_t(sfDisabled));
        DrawWideText(dc, FSimpleText, r, GetStateTextColor(flags), DT_SINGLELINE | DT_VCENTER);
    }
    if (SizeGripShown())
        theme->DrawStatusBarPart(dc, SizeGripRect(), spSizeGrip);
}

void TSkinCustomStatusBar::ControlChange(TControl* control, bool inserting)
{
    if (HasState(csLoading) || !dynamic_cast<TWinControl*>(control))
        return;
    if (inserting) {
        if (!FPanels->FindControl(control))
            FPanels->Add()->SetControl(control);
        return;
    }
    if (TSkinStatusPanel* panel = FPanels->FindControl(control)) {
        panel->FControl = nullptr;
        FPanels->Delete(panel->GetIndex());
    }
}

void TSkinCustomStatusBar::HintShow(TMessage& m)
{
    TCustomControl::Dispatch(m);
    auto* info = reinterpret_cast<THintInfo*>(m.LParam);
    TSkinStatusPanel* panel = info ? PanelAt(info->CursorPos) : nullptr;
    if (!panel)
        return;
    // Moving to another panel shows that one's hint.
    info->CursorRect = panel->FPanelRect;
    // The text is UTF-8, so only the framework's own tip window can show it.
    info->HintStr = WideToAnsi(GetShortHintW(panel->FHint), CP_UTF8);
    info->HintWindowClass = TTBHintWindow::StaticClass();
}

void TSkinCustomStatusBar::Dispatch(TMessage& m)
{
    switch (m.Msg) {
    case CM_HINTSHOW:
        HintShow(m);
        return;
    case WM_ERASEBKGND:
        m.Result = 1;
        return;
    case WM_NCHITTEST:
        TCustomControl::Dispatch(m);
        if (m.Result == HTCLIENT && SizeGripShown()) {
            const POINT p = ScreenToClient(POINT{GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam)});
            if (RectHolds(SizeGripRect(), p))
                m.Result = HTBOTTOMRIGHT;
        }
        return;
    case WM_NCLBUTTONDOWN:
        // The grip sizes the form the bar belongs to, not the bar: the form runs the system's
        // sizing loop from its bottom-right corner.
        if (m.WParam == HTBOTTOMRIGHT && SizeGripShown()) {
            if (TCustomForm* form = GetParentForm(this)) {
                ::SendMessageW(form->GetHandle(), WM_SYSCOMMAND, SC_SIZE | WMSZ_BOTTOMRIGHT, m.LParam);
                m.Result = 0;
                return;
            }
        }
        TCustomControl::Dispatch(m);
        return;
    case WM_SIZE:
        TCustomControl::Dispatch(m);
        UpdatePanels();
        return;
    case CM_CONTROLCHANGE:
        TCustomControl::Dispatch(m);
        ControlChange(reinterpret_cast<TControl*>(m.WParam), m.LParam != 0);
        return;
    case CM_FONTCHANGED:
    case TBM_NEWTHEME:
        TCustomControl::Dispatch(m);
        UpdatePanels();
        return;
    case CM_VISIBLECHANGED:
        TCustomControl::Dispatch(m);
        // Below every other bottom-aligned control of the parent.
        if (GetVisible() && GetParent())
            SetTop(GetParent()->GetClientHeight());
        return;
    default:
        TCustomControl::Dispatch(m);
    }
}
