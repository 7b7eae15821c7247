#include "skin/Skin.h"

#include <algorithm>
#include <cstring>

#include "platform/Controls.h"
#include "platform/Forms.h"
#include "platform/ScopeGuards.h"
#include "skin/SkinColorEffects.h"
#include "skin/SkinDefaultTheme.h"
#include "skin/SkinPngBitmap.h"
#include "skin/SkinUtils.h"
#include "toolbar/TBDock.h"
#include "toolbar/TBItem.h"
#include "toolbar/TBItemViewer.h"
#include "toolbar/TBView.h"

SF_IMPLEMENT_ABSTRACT(TSkinNexus, TObject)

namespace {

TSkinTheme*& Current()
{
    static TSkinTheme* theme = nullptr;
    return theme;
}

TSkinNexus*& Nexus()
{
    static TSkinNexus* nexus = nullptr;
    return nexus;
}

constexpr const char* DefaultThemeName = "Default";

} // namespace

TSkinTheme* CurrentTheme()
{
    return Current();
}

TSkinNexus* SkinNexus()
{
    return Nexus();
}

// ---------------------------------------------------------------------------------------------
// Nexus

void TSkinNexus::AfterConstruction()
{
    TObject::AfterConstruction();
    Current() = GetTheme(FThemeName);
    if (ThemeManager())
        ThemeManager()->AddNotification(this);
}

TSkinNexus::~TSkinNexus()
{
    if (ThemeManager())
        ThemeManager()->RemoveNotification(this);
    if (Current())
        ReleaseTheme(Current());
}

void TSkinNexus::AddNotification(TControl* target)
{
    if (std::find(FTargets.begin(), FTargets.end(), target) == FTargets.end())
        FTargets.push_back(target);
}

void TSkinNexus::RemoveNotification(TControl* target)
{
    FTargets.erase(std::remove(FTargets.begin(), FTargets.end(), target), FTargets.end());
}

void TSkinNexus::Broadcast(UINT message, WPARAM wParam, LPARAM lParam)
{
    // A target may free itself or others while it handles the message: each one is told only
    // while it is still registered. One that raises must not keep the others from being told:
    // the first message of a change puts toolbars inside an update that only the last one ends.
    const std::vector<TControl*> targets = FTargets;
    TFirstFailure failure;
    for (TControl* target : targets) {
        if (std::find(FTargets.begin(), FTargets.end(), target) == FTargets.end())
            continue;
        failure.Run([&] {
            TMessage record{message, wParam, lParam, 0};
            target->Dispatch(record);
        });
    }
    failure.RaiseIfAny();
}

void TSkinNexus::Dispatch(TMessage& message)
{
    if (message.Msg == TBM_SYSCHANGE)
        Broadcast(TBM_NEWTHEME, message.WParam, 0);
}

void SelectTheme(const std::string& name)
{
    TSkinTheme* next = GetTheme(name);
    TSkinTheme* previous = Current();
    Current() = next;
    if (previous)
        ReleaseTheme(previous);
}

void AddThemeListener(TControl* control)
{
    if (Nexus())
        Nexus()->AddNotification(control);
}

void RemoveThemeListener(TControl* control)
{
    if (Nexus())
        Nexus()->RemoveNotification(control);
}

// ---------------------------------------------------------------------------------------------
// Shared routines

uint32_t GetViewTypeOfControl(TControl* control)
{
    if (!control)
        return 0;
    TMessage message{TBM_QUERYVIEWTYPE, 0, 0, 0};
    control->Dispatch(message);
    return uint32_t(message.Result);
}

uint32_t GetViewTypeOfItemOwner(TTBView* view)
{
    return view ? GetViewTypeOfControl(view->GetWindow()) : 0;
}

void PaintParentBackdrop(TControl* control, HDC dc, const RECT& r)
{
    TWinControl* parent = control->GetParent();
    if (!parent) {
        FillRectColor(dc, r, clBtnFace);
        return;
    }
    if (parent->HandleAllocated()) {
        const POINT origin = parent->ScreenToClient(control->ClientToScreen(POINT{0, 0}));
        LRESULT erased = 0;
        {
            TSavedDC saved(dc);
            POINT window{};
            OffsetWindowOrgEx(dc, origin.x, origin.y, &window);
            GetWindowOrgEx(dc, &window);
            SetBrushOrgEx(dc, -window.x, -window.y, nullptr);
            erased = SendMessageA(parent->GetHandle(), WM_ERASEBKGND, WPARAM(dc), 0);
        }
        if (erased)
            return;
    }
    if (Is<TTBDock>(parent)) {
        // The dock draws its own background, in its coordinates.
        TSavedDC saved(dc);
        OffsetViewportOrgEx(dc, -control->GetLeft(), -control->GetTop(), nullptr);
        RECT inDock = r;
        OffsetRect(&inDock, control->GetLeft(), control->GetTop());
        static_cast<TTBDock*>(parent)->FillDockBackground(dc, inDock);
        return;
    }
    const bool mdiParent = Is<TCustomForm>(parent) && static_cast<TCustomForm*>(parent)->GetFormStyle() == fsMDIForm;
    FillRectColor(dc, r, mdiParent ? clBtnFace : parent->GetColor());
}

void RecalcFrame(TCustomForm* form)
{
    const int width = form->GetClientWidth(), height = form->GetClientHeight();
    form->SetClientWidth(width);
    form->SetClientHeight(height);
    if (form->HandleAllocated()) {
        SetWindowPos(form->GetHandle(), nullptr, 0, 0, 0, 0,
                     SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
        InvalidateRect(form->GetHandle(), nullptr, TRUE);
    }
}

namespace {

// The metrics of a font (the default GUI font for none), kept for the last font asked about: a
// popup asks once per item, all with one font, and the memory DC made for each answer cost more
// under Wine than the rest of measuring and painting the item.
TEXTMETRICW FontMetrics(TFont* font)
{
    static bool known = false;
    static LOGFONTA lastFont{};
    static TEXTMETRICW lastMetrics{};
    HGDIOBJ handle = font ? font->GetHandle() : GetStockObject(DEFAULT_GUI_FONT);
    LOGFONTA key{};
    if (font)
        key = font->GetLogFont();
    else
        GetObjectA(handle, sizeof key, &key);
    if (known && std::memcmp(&key, &lastFont, sizeof key) == 0)
        return lastMetrics;
    TMemoryDC scratch;
    TSelectGuard select(scratch.Get(), handle);
    GetTextMetricsW(scratch.Get(), &lastMetrics);
    lastFont = key;
    known = true;
    return lastMetrics;
}

} // namespace

int ComputeImageColumn(TTBItemViewer* viewer, SIZE imageSize)
{
    if (imageSize.cx <= 0 || imageSize.cy <= 0) {
        TCustomImageList* images = viewer ? viewer->GetImageList() : nullptr;
        imageSize = images ? SIZE{images->GetWidth(), images->GetHeight()} : SIZE{0, 0};
    }
    if (imageSize.cx <= 0 || imageSize.cy <= 0)
        imageSize = SIZE{16, 16};
    const TEXTMETRICW metrics = FontMetrics(viewer && viewer->GetView() ? viewer->GetView()->ResolveFont() : nullptr);
    const TSkinMargins margins = CurrentTheme() ? CurrentTheme()->QueryMargins(mkMenuItem) : TSkinMargins{};
    const int v = margins.Top + margins.Bottom;
    const int lineHeight = std::max(int(metrics.tmHeight + metrics.tmExternalLeading) + v, int(imageSize.cy) + v);
    const int imageHeight = int(imageSize.cy) + v;
    return (int(imageSize.cx) + v) * lineHeight / imageHeight;
}

uint32_t DeriveStateFlags(const TSkinItemDrawInfo& info)
{
    uint32_t flags = 0;
    if (!info.Enabled)
        flags |= sfDisabled;
    if (info.HotState == 2)
        flags |= sfHot;
    if (info.Pushed)
        flags |= sfPushed;
    if (info.Checked)
        flags |= sfSelected;
    return flags;
}

TSkinItemDrawInfo StateItemInfo(uint32_t flags)
{
    TSkinItemDrawInfo info;
    switch (flags & sfKindMask) {
    case sfToolbarKind:
        info.ViewKind = vtToolbar;
        info.ItemFlags = ifToolbarStyle;
        break;
    case sfPanelKind:
        info.ViewKind = vtDockPanel;
        break;
    case sfStandaloneKind:
        info.ViewKind = vtStatusBar;
        break;
    default:
        break;
    }
    info.Enabled = !(flags & sfDisabled);
    info.Pushed = (flags & sfPushed) != 0;
    info.HotState = (flags & sfHot) ? 2 : 0;
    info.Checked = (flags & sfSelected) != 0;
    return info;
}

TColor GetStateTextColor(uint32_t flags)
{
    return CurrentTheme()->QueryItemTextColor(StateItemInfo(flags));
}

void DrawStateCaption(HDC dc, RECT& r, const std::wstring& caption, UINT format, uint32_t flags)
{
    CurrentTheme()->DrawItemText(dc, r, StateItemInfo(flags), caption, format, clViewColor);
}

void DrawStateImage(HDC dc, const RECT& r, TCustomImageList* images, int imageIndex, uint32_t flags)
{
    CurrentTheme()->DrawImageForState(dc, r, StateItemInfo(flags), images, imageIndex);
}

// ---------------------------------------------------------------------------------------------
// Start and end

void InitSkin()
{
    RegisterStandardColorEffects();
    RegisterPNGFormat();
    InitSkinUtils();
    InitSkinDefaultTheme();
    InitSkinThemes();
    RegisterThemeClass(DefaultThemeName, &TSkinDefaultTheme::Create);
    Nexus() = New<TSkinNexus>(DefaultThemeName);
}

void DoneSkin()
{
    if (Nexus())
        Nexus()->Free();
    Nexus() = nullptr;
    DoneSkinThemes();
    DoneSkinDefaultTheme();
    DoneSkinUtils();
    UnregisterPNGFormat();
    UnregisterColorEffects();
}
