#include "toolbar/TBToolbar.h"

#include <algorithm>
#include <cstdlib>

#include "platform/Filer.h"
#include "platform/ScopeGuards.h"
#include "platform/SysUtils.h"
#include "toolbar/TBCommon.h"
#include "toolbar/TBExtItems.h"
#include "toolbar/TBFloatingWindow.h"
#include "toolbar/TBFramework.h"
#include "toolbar/TBHintWindow.h"
#include "toolbar/TBHook.h"

SF_IMPLEMENT_COMPONENT(TTBChevronItem, TTBCustomItem)
SF_IMPLEMENT_ABSTRACT(TTBChevronItemViewer, TTBItemViewer)
SF_IMPLEMENT_ABSTRACT(TTBToolbarView, TTBView)
SF_IMPLEMENT_COMPONENT(TTBCustomToolbar, TTBCustomDockableWindow)

namespace {

const wchar_t* const DefaultChevronHint = L"More Buttons|";
constexpr int ChevronSize = 12;
constexpr int SnapDistance = 12;
constexpr WPARAM SPI_SETNONCLIENTMETRICS_CODE = 42;

const char* const ShrinkModeNames[] = {"tbsmNone", "tbsmWrap", "tbsmChevron"};
const char* const PriorityNames[] = {"tbcpHighest", "tbcpLowest"};

template <size_t N>
int IndexOfName(const char* const (&names)[N], const std::string& name)
{
    for (size_t i = 0; i < N; ++i)
        if (name == names[i])
            return static_cast<int>(i);
    return -1;
}

// Toolbars that process shortcuts for their forms, in the order they asked.
std::vector<TTBCustomToolbar*>& ShortCutToolbars()
{
    static std::vector<TTBCustomToolbar*> list;
    return list;
}

// The one main-window hook the shortcut toolbars share; compared by identity when it goes.
const TWindowHook& ShortCutHook(void (*proc)(TMessage&, bool&))
{
    static const TWindowHook hook(proc);
    return hook;
}

// The form of the class library that owns the active window.
TCustomForm* ActiveFormOfThread()
{
    HWND active = GetActiveWindow();
    TWinControl* control = active ? FindControl(active) : nullptr;
    return control ? GetParentForm(control) : nullptr;
}

bool IsSizingHorizontally(int edge)
{
    return edge == 0 || edge == 1;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Chevron

TTBChevronItem::TTBChevronItem(TComponent* owner) : TTBCustomItem(owner), FToolbar(dynamic_cast<TTBCustomToolbar*>(owner))
{
    SetItemStyle(static_cast<TTBItemTraits>(GetItemStyle() | isSubmenu | isKeyboardNoOpen));
    SetHint(DefaultChevronHint);
    SetCaption(DoubleAmpersands(GetShortHintW(DefaultChevronHint)));
}

TTBView* TTBChevronItem::FindChevronParentView()
{
    return FToolbar ? FToolbar->GetView() : nullptr;
}

TTBItemViewerClass TTBChevronItem::QueryViewerClass(TTBView*)
{
    return ViewerClassOf<TTBChevronItemViewer>();
}

void TTBChevronItemViewer::Paint(TCanvas* canvas, const RECT& r, bool isSelected, bool isPushed, bool)
{
    HDC dc = canvas->GetHandle();
    bool enabled = FItem->GetEnabled();
    RECT edge = r;
    if (enabled && isPushed)
        DrawEdge(dc, &edge, BDR_SUNKENOUTER, BF_RECT);
    else if (enabled && isSelected && !FView->GetWindow()->HasState(csDesigning))
        DrawEdge(dc, &edge, BDR_RAISEDINNER, BF_RECT);
    static const uint8_t horizontal[8] = {0xCC, 0x66, 0x33, 0x66, 0xCC, 0, 0, 0};
    static const uint8_t vertical[8] = {0x88, 0xD8, 0x70, 0x20, 0x88, 0xD8, 0x70, 0x20};
    bool isVertical = FView->GetOrientation() == TTBViewAxis::vaVertical;
    int x = isVertical ? r.right - 9 : r.left + 2;
    int y = isVertical ? r.top + 2 : r.top + 4;
    int width = isVertical ? 5 : 8;
    int height = isVertical ? 8 : 5;
    if (isPushed) {
        ++x;
        ++y;
    }
    const uint8_t(&glyph)[8] = isVertical ? vertical : horizontal;
    if (enabled) {
        DrawMonochromeGlyph(dc, x, y, width, height, glyph, GetSysColor(COLOR_BTNTEXT));
        return;
    }
    DrawMonochromeGlyph(dc, x, y + 1, width, height, glyph, GetSysColor(COLOR_BTNHIGHLIGHT));
    DrawMonochromeGlyph(dc, x, y, width, height, glyph, GetSysColor(COLOR_BTNSHADOW));
}

// ---------------------------------------------------------------------------------------------
// The toolbar's view

TTBToolbarView::TTBToolbarView(TComponent* owner, TTBView* parentView, TTBCustomItem* parentItem, TWinControl* window,
                               bool isToolbar, bool customizing, bool usePriorityList)
    : TTBView(owner, parentView, parentItem, window, isToolbar, customizing, usePriorityList),
      FToolbar(dynamic_cast<TTBCustomToolbar*>(owner))
{
}

void TTBToolbarView::AutoSize(int width, int height)
{
    if (!FToolbar)
        return;
    FToolbar->FLayoutSize = POINT{width, height};
    // Inside an arrangement the caller applies the size itself.
    if (FToolbar->GetAutoResize() && FToolbar->FArranging == 0)
        FToolbar->ApplyArrangedSize(POINT{width, height});
}

void TTBToolbarView::RunLayoutUpdate(POINT& size)
{
    if (!FToolbar) {
        TTBView::RunLayoutUpdate(size);
        return;
    }
    if (FToolbar->FArranging == 0)
        FToolbar->ShrunkLength = 0;
    size = POINT{0, 0};
    if (FToolbar->GetDocked()) {
        // A docked toolbar is as thick as its row. The row's thickness is what the other windows
        // in it need: the toolbar's own size comes from its last layout, maybe in the other
        // orientation, and would keep it as wide on a side dock as it was long on the top one.
        TTBDock* dock = FToolbar->GetCurrentDock();
        bool leftRight = dock->IsLeftRight();
        int across = 0;
        for (int i = 0; i < dock->GetDockedCount(); ++i) {
            TTBCustomDockableWindow* other = dock->GetDockedWindows(i);
            if (other != FToolbar && other->PlacedRow == FToolbar->PlacedRow)
                across = std::max(across, other->DockedThickness);
        }
        if (leftRight)
            size.x = across;
        else
            size.y = across;
    }
    if (FToolbar->GetFullSize()) {
        if (GetOrientation() == TTBViewAxis::vaVertical)
            size.y = std::max<LONG>(size.y, GetWrapLength());
        else
            size.x = std::max<LONG>(size.x, GetWrapLength());
    }
    TCountScope updating(FToolbar->LayoutUpdateDepth);
    TTBView::RunLayoutUpdate(size);
}

void TTBToolbarView::MarkLayoutStale()
{
    // A change of the items sends the toolbar back to the dock for a new shrunk length; the
    // toolbar's own parameter changes during an arrangement keep the one the dock gave.
    if (FToolbar && FToolbar->FArranging == 0)
        FToolbar->ShrunkLength = 0;
    TTBView::MarkLayoutStale();
}

TFont* TTBToolbarView::ResolveFont()
{
    if (!FToolbar || FToolbar->GetSystemFont())
        return TTBView::ResolveFont();
    return FToolbar->GetFont();
}

TTBCustomItem* TTBToolbarView::FindChevronItem()
{
    return FToolbar ? FToolbar->GetChevronItem() : nullptr;
}

// ---------------------------------------------------------------------------------------------
// Construction

struct TTBCustomToolbar::TResizeData {
    int Edge = 0;
    std::vector<TTBFloatingSize> Sizes;  // outer sizes, largest first along the dragged axis
    RECT Start{};
    int BorderWidth = 0;
    int WrapWidth = 0;
    bool Changed = false;
    bool TowardsSmaller = false;
    int Snap = SnapDistance;
};

TTBCustomToolbar::TTBCustomToolbar(TComponent* owner) : TTBCustomDockableWindow(owner)
{
    FControlStyle = (FControlStyle | csAcceptsControls | csActionClient) & ~csCaptureMouse;
    FColor = clBtnFace;
    FBrush->SetColor(FColor);
    FWidth = 23;
    FHeight = 22;
}

TTBCustomToolbar::~TTBCustomToolbar() = default;

void TTBCustomToolbar::AfterConstruction()
{
    TTBCustomDockableWindow::AfterConstruction();
    FItems = As<TTBRootItem>(CreateInstance(QueryRootItemClass(), this));
    FItems->SetParentComponentOfItems(this);
    FChevronItem = As<TTBChevronItem>(CreateInstance(QueryChevronItemClass(), this));
    FChevronItem->SetLinkSubitems(FItems);
    FChevronMoveItems = true;
    bool designing = HasState(csDesigning);
    TTBView* view = QueryViewClass()->Create(this, nullptr, FItems, this, true, false, !designing);
    FView = As<TTBToolbarView>(view);
    FView->SetBackgroundColor(clBtnFace);
}

void TTBCustomToolbar::BeforeDestruction()
{
    Destroying();
    auto& list = ShortCutToolbars();
    if (FShortCutsRegistered) {
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
        FShortCutsRegistered = false;
        if (list.empty() && Application)
            Application->UnhookMainWindow(ShortCutHook(&TTBCustomToolbar::MainWindowHook));
    }
    if (FMessageHookRegistered) {
        RemoveWindowHook(this, &TTBCustomToolbar::GetMessageHook);
        FMessageHookRegistered = false;
    }
    // The window goes before the view: until it is gone, its messages (an accessibility client
    // asking for the toolbar's object, a cursor, a paint, a lost mode) reach handlers that need
    // the view, and the children it destroys send them on their way out.
    DestroyHandle();
    FreeAndNil(FView);
    FreeAndNil(FChevronItem);
    FreeAndNil(FItems);
    TTBCustomDockableWindow::BeforeDestruction();
}

TClass TTBCustomToolbar::QueryChevronItemClass()
{
    return TTBChevronItem::StaticClass();
}

TClass TTBCustomToolbar::QueryRootItemClass()
{
    return TTBRootItem::StaticClass();
}

TTBViewClass TTBCustomToolbar::QueryViewClass()
{
    return ViewClassOf<TTBToolbarView>();
}

void TTBCustomToolbar::BeginUpdate()
{
    FView->BeginUpdate();
}

void TTBCustomToolbar::EndUpdate()
{
    FView->EndUpdate();
}

// ---------------------------------------------------------------------------------------------
// Layout

TTBCustomToolbar::TLayoutParams TTBCustomToolbar::LayoutParamsFor(TTBDockType dockType, TTBDock* dock)
{
    TLayoutParams p;
    bool vertical = dockType == dtLeftRight;
    if (dockType == dtFloating)
        p.Orientation = TTBViewAxis::vaFloating;
    else if (vertical)
        p.Orientation = TTBViewAxis::vaVertical;
    if (dockType == dtNotDocked) {
        bool anchoredBoth = (FAnchors & (akLeft | akRight)) == (akLeft | akRight);
        if (GetAutoResize() && !anchoredBoth)
            return p;
        if (FShrinkMode == tbsmChevron)
            p.ChevronOffset = FWidth;
        else if (FShrinkMode == tbsmWrap)
            p.WrapOffset = FWidth;
        return p;
    }
    SIZE nc = GetDockedNCAreaSize(dock);
    int ncAlong = vertical ? nc.cy : nc.cx;
    if (FShrinkMode == tbsmChevron && dock && dock == GetCurrentDock())
        p.ChevronOffset = std::max(ShrunkLength - ncAlong, 0);
    if (!dock) {
        // The wrap width is the width the layout takes; the view wraps inside its right margin.
        RECT margins{};
        FView->QueryMargins(TTBViewAxis::vaFloating, margins);
        p.WrapOffset = FFloatingWrapWidth > 0 ? std::max<int>(FFloatingWrapWidth - margins.right, 1) : 0;
    }
    else if (FShrinkMode == tbsmWrap)
        p.WrapOffset = std::max(dock->RowSpace() - ncAlong, 0);
    return p;
}

void TTBCustomToolbar::UpdateViewProperties()
{
    TLayoutParams p = LayoutParamsFor(CurrentDockType(), GetCurrentDock());
    TCountScope arranging(FArranging);
    FView->SetOrientation(p.Orientation);
    FView->SetChevronExtent(ChevronSize);
    FView->SetChevronGap(p.ChevronOffset);
    FView->SetWrapLength(p.WrapOffset);
}

POINT TTBCustomToolbar::ComputeArrangement(bool canMoveControls, TTBDockType dockType, bool, TTBDock* dock)
{
    if (canMoveControls) {
        UpdateViewProperties();
        TCountScope arranging(FArranging);
        POINT size{};
        FView->RefreshLayout(size);
        return size;
    }
    TLayoutParams p = LayoutParamsFor(dockType, dock);
    TTBLayoutResult result = FView->ComputeLayout(false, p.Orientation, p.WrapOffset, p.ChevronOffset, ChevronSize);
    FLines = result.WrappedLines;
    return result.TotalSize;
}

void TTBCustomToolbar::QueryBaseSize(POINT& size)
{
    // The dock measures the natural size: a toolbar it has shrunk behind the chevron would
    // otherwise look as if it fitted, and be laid out at full size on the next arrangement.
    if (FShrinkMode == tbsmChevron && ShrunkLength > 0) {
        TLayoutParams p = LayoutParamsFor(CurrentDockType(), GetCurrentDock());
        size = FView->ComputeLayout(false, p.Orientation, p.WrapOffset, 0, ChevronSize).TotalSize;
        return;
    }
    if (!FView->GetLayoutValid()) {
        TCountScope arranging(FArranging);
        FView->EnsureLayout();
    }
    size = FLayoutSize;
}

void TTBCustomToolbar::QueryMinShrinkSize(int& minimumSize)
{
    TTBItemViewer* first = nullptr;
    if (FView->GetPriorityMode()) {
        for (TTBItemViewer* v : FView->GetPriorityOrder())
            if (v->GetShown() && !v->GetItem()->HasTrait(isSeparator)) {
                first = v;
                break;
            }
    } else {
        for (int i = 0; i < FView->GetViewerCount() && !first; ++i) {
            TTBItemViewer* v = FView->GetViewer(i);
            if (v->GetShown() && !v->GetItem()->HasTrait(isSeparator))
                first = v;
        }
    }
    if (!first)
        return;
    TTBDock* dock = GetCurrentDock();
    bool leftRight = dock && dock->IsLeftRight();
    const RECT& r = first->GetBoundsRect();
    SIZE nc = GetDockedNCAreaSize(dock);
    minimumSize = leftRight ? (r.bottom - r.top) + nc.cy : (r.right - r.left) + nc.cx;
    minimumSize += ChevronSize;
}

void TTBCustomToolbar::AlignControls(TControl*, RECT&)
{
    if (LayoutUpdateDepth == 0)
        Arrange();
}

bool TTBCustomToolbar::HitTestContents(POINT clientPoint)
{
    if (TTBCustomDockableWindow::HitTestContents(clientPoint))
        return true;
    if (HasState(csDesigning))
        return false;
    TTBItemViewer* viewer = FView->HitTestViewer(clientPoint);
    return viewer && !viewer->GetItem()->HasTrait(isPassClicks);
}

void TTBCustomToolbar::Paint()
{
    FView->PaintViewers(GetCanvas());
}

// ---------------------------------------------------------------------------------------------
// Floating sizes

void TTBCustomToolbar::GetFloatingSizes(std::vector<TTBFloatingSize>& list)
{
    list.clear();
    RECT margins{};
    FView->QueryMargins(TTBViewAxis::vaFloating, margins);
    const int minimumWidth = margins.left + margins.right;
    int saved = FFloatingWrapWidth;
    TScopeExit restore([this, saved] { FFloatingWrapWidth = saved; });
    FFloatingWrapWidth = 0;
    POINT oneRow = ComputeArrangement(false, dtFloating, true, nullptr);
    list.push_back(TTBFloatingSize{oneRow.x, oneRow.y, FLines});
    int lastLines = FLines;
    for (int test = oneRow.x - 1; test >= minimumWidth;) {
        FFloatingWrapWidth = test;
        POINT size = ComputeArrangement(false, dtFloating, true, nullptr);
        if (size.x > test)
            break;
        if (size.x < test) {
            test = size.x;
            continue;
        }
        // The narrowest layout of each row count is the one kept.
        if (FLines == lastLines) {
            list.back() = TTBFloatingSize{size.x, size.y, FLines};
        } else {
            list.push_back(TTBFloatingSize{size.x, size.y, FLines});
            lastLines = FLines;
        }
        --test;
    }
}

void TTBCustomToolbar::SizeStart(int edge)
{
    // Corners size the toolbar by their top or bottom edge.
    if (edge == 3 || edge == 4)
        edge = 2;
    else if (edge == 6 || edge == 7)
        edge = 5;
    auto data = std::make_unique<TResizeData>();
    data->Edge = edge;
    TTBFloatingWindowParent* form = GetFloatForm();
    if (form && form->HandleAllocated())
        GetWindowRect(form->GetWindowHandle(), &data->Start);
    if (HandleAllocated()) {
        POINT origin = ClientToScreen(POINT{0, 0});
        data->BorderWidth = origin.x - data->Start.left;
    }
    data->WrapWidth = FFloatingWrapWidth;
    GetFloatingSizes(data->Sizes);
    SIZE nc = FloatingNCSize();
    for (TTBFloatingSize& s : data->Sizes) {
        s.Width += nc.cx;
        s.Height += nc.cy;
    }
    bool horizontal = IsSizingHorizontally(edge);
    std::stable_sort(data->Sizes.begin(), data->Sizes.end(), [horizontal](const TTBFloatingSize& a, const TTBFloatingSize& b) {
        return horizontal ? a.Width > b.Width : a.Height > b.Height;
    });
    int current = horizontal ? data->Start.right - data->Start.left : data->Start.bottom - data->Start.top;
    auto extent = [horizontal](const TTBFloatingSize& s) { return horizontal ? s.Width : s.Height; };
    for (size_t i = 0; i < data->Sizes.size(); ++i) {
        if (extent(data->Sizes[i]) != current)
            continue;
        // Near another size, the snap may not swallow it.
        if (i > 0)
            data->Snap = std::min(data->Snap, std::abs(extent(data->Sizes[i - 1]) - current) - 1);
        if (i + 1 < data->Sizes.size())
            data->Snap = std::min(data->Snap, std::abs(current - extent(data->Sizes[i + 1])) - 1);
        data->Snap = std::max(data->Snap, 0);
        break;
    }
    FResizeData = std::move(data);
}

void TTBCustomToolbar::SizeMove(RECT& rect, const RECT&)
{
    TResizeData* data = FResizeData.get();
    if (!data || data->Sizes.empty())
        return;
    TTBFloatingWindowParent* form = GetFloatForm();
    RECT current{};
    if (form && form->HandleAllocated())
        GetWindowRect(form->GetWindowHandle(), &current);
    POINT cursor{};
    GetCursorPos(&cursor);
    bool horizontal = IsSizingHorizontally(data->Edge);
    int currentExtent = horizontal ? current.right - current.left : current.bottom - current.top;
    int wanted = 0;
    switch (data->Edge) {
    case 0:
        wanted = current.right - cursor.x;
        break;
    case 1:
        wanted = cursor.x - current.left;
        break;
    case 2:
        wanted = current.bottom - cursor.y;
        break;
    default:
        wanted = cursor.y - current.top;
        break;
    }
    bool towardsSmaller = wanted < currentExtent;
    if ((towardsSmaller != data->TowardsSmaller || !data->Changed) && std::abs(wanted - currentExtent) <= data->Snap)
        wanted = currentExtent;
    auto extent = [horizontal](const TTBFloatingSize& s) { return horizontal ? s.Width : s.Height; };
    const TTBFloatingSize* taken = nullptr;
    if (wanted < currentExtent) {
        // The largest size not above the wanted one (the smallest when none is).
        taken = &data->Sizes.back();
        for (auto it = data->Sizes.rbegin(); it != data->Sizes.rend(); ++it)
            if (extent(*it) <= wanted)
                taken = &*it;
    } else if (wanted > currentExtent) {
        // The smallest size above the wanted one (the largest when none is).
        taken = &data->Sizes.front();
        for (const TTBFloatingSize& s : data->Sizes)
            if (extent(s) > wanted)
                taken = &s;
    }
    if (!taken) {
        rect = current;
        return;
    }
    data->TowardsSmaller = towardsSmaller;
    RECT r = current;
    switch (data->Edge) {
    case 0:
        r.left = r.right - taken->Width;
        r.bottom = r.top + taken->Height;
        break;
    case 1:
        r.right = r.left + taken->Width;
        r.bottom = r.top + taken->Height;
        break;
    case 2:
        r.top = r.bottom - taken->Height;
        r.right = r.left + taken->Width;
        break;
    default:
        r.bottom = r.top + taken->Height;
        r.right = r.left + taken->Width;
        break;
    }
    bool oneRow = taken->Lines <= 1 && taken == &*std::max_element(data->Sizes.begin(), data->Sizes.end(),
                                                                   [](const TTBFloatingSize& a, const TTBFloatingSize& b) {
                                                                       return a.Width < b.Width;
                                                                   });
    data->WrapWidth = oneRow ? 0 : taken->Width - 2 * data->BorderWidth;
    data->Changed = data->Changed || !EqualRect(&r, &current);
    rect = r;
}

void TTBCustomToolbar::SizeApply()
{
    if (FResizeData)
        SetFloatingWrapWidth(FResizeData->WrapWidth);
}

void TTBCustomToolbar::SizeEnd()
{
    FResizeData.reset();
}

void TTBCustomToolbar::LoadPosition(const TTBPositionData& data)
{
    TTBCustomDockableWindow::LoadPosition(data);
    SetFloatingWrapWidth(std::clamp(data.ReadInt("FloatRightX", 0), 0, 32767));
}

void TTBCustomToolbar::StorePosition(const TTBPositionData& data)
{
    TTBCustomDockableWindow::StorePosition(data);
    data.WriteInt("FloatRightX", FFloatingWrapWidth);
}

// ---------------------------------------------------------------------------------------------
// Properties

const std::wstring& TTBCustomToolbar::GetChevronHint() const
{
    return FChevronItem->GetHint();
}

void TTBCustomToolbar::SetChevronHint(const std::wstring& value)
{
    if (value == FChevronItem->GetHint())
        return;
    FChevronItem->SetHint(value);
    FChevronItem->SetCaption(DoubleAmpersands(GetShortHintW(value)));
}

void TTBCustomToolbar::SetChevronMoveItems(bool value)
{
    if (value == FChevronMoveItems)
        return;
    FChevronMoveItems = value;
    FView->ChangePriorityMode(value && !HasState(csDesigning));
}

void TTBCustomToolbar::SetChevronPriorityForNewItems(TTBChevronPriorityForNewItems value)
{
    FChevronPriorityForNewItems = value;
    FView->SetNewViewersFirst(value == tbcpHighest);
}

void TTBCustomToolbar::SetFloatingWrapWidth(int value)
{
    if (value == FFloatingWrapWidth)
        return;
    FFloatingWrapWidth = value;
    if (GetFloating()) {
        UpdateViewProperties();
        Arrange();
    }
}

void TTBCustomToolbar::SetShrinkMode(TTBShrinkMode value)
{
    if (value == FShrinkMode)
        return;
    FShrinkMode = value;
    if (GetDocked())
        GetCurrentDock()->LayOutToolbars();
    else if (!GetFloating())
        Arrange();
}

void TTBCustomToolbar::SetSystemFont(bool value)
{
    if (value == FSystemFont)
        return;
    FSystemFont = value;
    FView->ForgetSizes();
    Arrange();
}

void TTBCustomToolbar::SetProcessShortCuts(bool value)
{
    if (value == FProcessShortCuts)
        return;
    FProcessShortCuts = value;
    UpdateShortCutRegistration();
}

void TTBCustomToolbar::SetMenuBar(bool value)
{
    if (value == FMenuBar)
        return;
    FMenuBar = value;
    if (value) {
        FControlStyle |= csMenuEvents;
        FView->SetStyle(FView->GetStyle() | syMenuBar | syHiddenAccels);
    } else {
        FControlStyle &= ~csMenuEvents;
        FView->SetStyle(FView->GetStyle() & static_cast<TTBViewTraits>(~(syMenuBar | syHiddenAccels)));
    }
    // What a stream stored for these stays as it was stored.
    if (!HasState(csLoading)) {
        SetFullSize(value);
        SetShrinkMode(value ? tbsmWrap : tbsmChevron);
        SetCloseButton(!value);
        SetProcessShortCuts(value);
    }
    bool wantHook = value && !HasState(csDesigning);
    if (wantHook && !FMessageHookRegistered)
        AddWindowHook(this, &TTBCustomToolbar::GetMessageHook, HookKindSet(THookKind::hkGetMessage));
    else if (!wantHook && FMessageHookRegistered)
        RemoveWindowHook(this, &TTBCustomToolbar::GetMessageHook);
    FMessageHookRegistered = wantHook;
    UpdateShortCutRegistration();
}

void TTBCustomToolbar::GetMessageHook(THookKind, HWND, WPARAM removeFlag, LPARAM lParam)
{
    auto* msg = reinterpret_cast<MSG*>(lParam);
    if (!msg || removeFlag != PM_REMOVE || msg->message != WM_SYSCHAR || GetCapture() || !Application)
        return;
    TCustomForm* mainForm = Application->GetMainForm();
    if (!mainForm || !mainForm->GetShowing())
        return;
    // Alt keys typed in a multiple-document child belong to the frame's menu bar.
    HWND client = mainForm->GetClientHandle();
    if (client && (msg->hwnd == client || (msg->wParam == '-' && IsChild(client, msg->hwnd))))
        msg->hwnd = mainForm->GetHandle();
}

void TTBCustomToolbar::DefineProperties(TFiler* filer)
{
    TTBCustomDockableWindow::DefineProperties(filer);
    DefineWideStringProp(filer, "ChevronHint", GetChevronHint(), [this](const std::wstring& v) { SetChevronHint(v); },
                         GetChevronHint() != DefaultChevronHint);
    DefineBoolProp(filer, "ChevronMoveItems", FChevronMoveItems, true, [this](bool v) { SetChevronMoveItems(v); });
    filer->DefineProperty(
        "ChevronPriorityForNewItems",
        [this](TReader* r) {
            int index = IndexOfName(PriorityNames, r->ReadIdent());
            if (index >= 0)
                SetChevronPriorityForNewItems(static_cast<TTBChevronPriorityForNewItems>(index));
        },
        [this](TWriter* w) { w->WriteIdent(PriorityNames[FChevronPriorityForNewItems]); },
        FChevronPriorityForNewItems != tbcpHighest);
    DefineBoolProp(filer, "MenuBar", FMenuBar, false, [this](bool v) { SetMenuBar(v); });
    DefineBoolProp(filer, "ProcessShortCuts", FProcessShortCuts, false, [this](bool v) { SetProcessShortCuts(v); });
    filer->DefineProperty(
        "ShrinkMode",
        [this](TReader* r) {
            int index = IndexOfName(ShrinkModeNames, r->ReadIdent());
            if (index >= 0)
                SetShrinkMode(static_cast<TTBShrinkMode>(index));
        },
        [this](TWriter* w) { w->WriteIdent(ShrinkModeNames[FShrinkMode]); }, FShrinkMode != tbsmChevron);
    DefineBoolProp(filer, "SystemFont", FSystemFont, true, [this](bool v) { SetSystemFont(v); });
    DefineBoolProp(filer, "UpdateActions", FUpdateActions, true, [this](bool v) { SetUpdateActions(v); });
}

void TTBCustomToolbar::GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root)
{
    FItems->GetChildren(proc, root);
    TTBCustomDockableWindow::GetChildren(proc, root);
}

void TTBCustomToolbar::SetChildOrder(TComponent* child, int order)
{
    if (Is<TTBCustomItem>(child))
        FItems->SetChildOrder(child, order);
}

void TTBCustomToolbar::InitiateAction()
{
    TTBCustomDockableWindow::InitiateAction();
    if (!FUpdateActions)
        return;
    for (int i = 0; i < FView->GetViewerCount(); ++i)
        FView->GetViewer(i)->GetItem()->InitiateAction();
}

// ---------------------------------------------------------------------------------------------
// Child controls live in control items

TTBControlItem* TTBCustomToolbar::HostOf(TControl* control) const
{
    for (int i = 0; i < FItems->Count(); ++i)
        if (auto* item = dynamic_cast<TTBControlItem*>(FItems->GetItem(i)))
            if (item->GetControl() == control)
                return item;
    return nullptr;
}

void TTBCustomToolbar::WrapChildControl(TControl* control)
{
    if (HostOf(control))
        return;
    TComponent* owner = GetOwner() ? GetOwner() : this;
    auto* item = New<TTBControlItem>(owner, control);
    if (HasState(csDesigning) && GetOwner()) {
        for (int n = 1;; ++n) {
            std::string name = "TBControlItem" + std::to_string(n);
            if (!GetOwner()->FindComponent(name)) {
                item->SetName(name);
                break;
            }
        }
    }
    FItems->Add(item);
}

void TTBCustomToolbar::UnwrapChildControl(TControl* control)
{
    while (TTBControlItem* item = HostOf(control)) {
        item->SetKeepControl(true);
        item->Free();
    }
}

void TTBCustomToolbar::GetTabOrderList(std::vector<TWinControl*>& list) const
{
    TTBCustomDockableWindow::GetTabOrderList(list);
    // A control behind the chevron cannot be seen, so the Tab key must not land in it. What is
    // behind it is what the view shows there: the view may show another item's subitems
    // (LinkSubitems), and a control item of the toolbar's own then has no viewer at all.
    for (int i = 0; i < FView->GetViewerCount(); ++i) {
        TTBItemViewer* viewer = FView->GetViewer(i);
        auto* host = viewer->GetBehindChevron() ? dynamic_cast<TTBControlItem*>(viewer->GetItem()) : nullptr;
        auto* hidden = host ? dynamic_cast<TWinControl*>(host->GetControl()) : nullptr;
        if (!hidden)
            continue;
        std::erase_if(list, [hidden](TWinControl* c) { return c == hidden || hidden->ContainsControl(c); });
    }
}

void TTBCustomToolbar::Loaded()
{
    std::vector<TControl*> unwrapped;
    for (int i = 0; i < GetControlCount(); ++i)
        if (!HostOf(GetControl(i)))
            unwrapped.push_back(GetControl(i));
    for (TControl* control : unwrapped)
        WrapChildControl(control);
    TTBCustomDockableWindow::Loaded();
}

// ---------------------------------------------------------------------------------------------
// Keyboard

bool TTBCustomToolbar::IsShortCut(TMessage& message)
{
    bool handled = false;
    OnShortCut(message, handled);
    return handled || FItems->IsShortCut(message);
}

bool TTBCustomToolbar::OpenByKeyboard(wchar_t key, bool requirePrimaryAccel)
{
    FView->ToggleAccelerators(true);
    // The menu loop may end with the toolbar freed by a message it dispatched.
    TScopeExit hideAccels([this, alive = LifeToken()] {
        if (!alive.expired())
            FView->ToggleAccelerators(false);
    });
    if (key == 0) {
        TTBItemViewer* first = FView->InitialSelectable();
        if (!first)
            return false;
        FView->Select(first, false);
        FView->RunToolbarLoop(0);
        return true;
    }
    bool isOnly = false;
    TTBItemViewer* viewer = FView->MatchAccelerator(nullptr, key, isOnly, requirePrimaryAccel);
    if (!viewer || !viewer->GetItem()->GetEnabled())
        return false;
    if (isOnly) {
        FView->Select(viewer, false);
        FView->RunToolbarLoop(tblExecuteSelected);
        return true;
    }
    if (!FMenuBar)
        return false;
    FView->Select(viewer, false);
    FView->RunToolbarLoop(0);
    return true;
}

void TTBCustomToolbar::WMSysCommand(TMessage& m)
{
    if ((m.WParam & 0xFFF0) != SC_KEYMENU || !FMenuBar || !GetEnabled() || !GetShowing()) {
        TTBCustomDockableWindow::Dispatch(m);
        return;
    }
    wchar_t key = static_cast<wchar_t>(LOWORD(m.LParam));
    if (key == L' ' || GetCapture()) {
        TTBCustomDockableWindow::Dispatch(m);
        return;
    }
    if (!OpenByKeyboard(key, false)) {
        if (key == L'-') {
            TTBCustomDockableWindow::Dispatch(m);
            return;
        }
        MessageBeep(0);
    }
    m.Result = 1;
}

void TTBCustomToolbar::UpdateShortCutRegistration()
{
    bool wanted = (FProcessShortCuts || FMenuBar) && !HasState(csDesigning) && !HasState(csDestroying);
    if (wanted == FShortCutsRegistered)
        return;
    auto& list = ShortCutToolbars();
    const TWindowHook& hook = ShortCutHook(&TTBCustomToolbar::MainWindowHook);
    if (wanted) {
        list.push_back(this);
        if (list.size() == 1 && Application)
            Application->HookMainWindow(hook);
    } else {
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
        if (list.empty() && Application)
            Application->UnhookMainWindow(hook);
    }
    FShortCutsRegistered = wanted;
}

void TTBCustomToolbar::MainWindowHook(TMessage& message, bool& handled)
{
    if (message.Msg == CM_APPKEYDOWN) {
        TCustomForm* active = ActiveFormOfThread();
        std::vector<TCustomForm*> forms;
        if (active && active->GetFormStyle() == fsMDIForm)
            if (TCustomForm* child = active->GetActiveMDIChild())
                if (Screen && child == Screen->GetActiveForm())
                    forms.push_back(child);
        if (active)
            forms.push_back(active);
        if (Application && Application->GetMainForm() && Application->GetMainForm() != active)
            forms.push_back(Application->GetMainForm());
        TMessage key{WM_KEYDOWN, message.WParam, message.LParam, 0};
        for (TCustomForm* form : forms) {
            std::vector<TTBCustomToolbar*> toolbars = ShortCutToolbars();
            for (TTBCustomToolbar* toolbar : toolbars) {
                auto& list = ShortCutToolbars();
                if (std::find(list.begin(), list.end(), toolbar) == list.end() || toolbar->GetOwnerForm() != form)
                    continue;
                if (!form->HandleAllocated() || !IsWindowEnabled(form->GetWindowHandle()))
                    continue;
                if (toolbar->IsShortCut(key)) {
                    message.Result = 1;
                    handled = true;
                    return;
                }
            }
        }
        return;
    }
    if (message.Msg != CM_APPSYSCOMMAND)
        return;
    TCustomForm* active = ActiveFormOfThread();
    if (!active || !active->GetEnabled() || !active->GetVisible())
        return;
    auto* sysCommand = reinterpret_cast<TMessage*>(message.LParam);
    if (!sysCommand)
        return;
    std::function<bool(TWinControl*)> search = [&](TWinControl* parent) {
        for (int i = 0; i < parent->GetControlCount(); ++i) {
            TControl* control = parent->GetControl(i);
            if (!control->GetVisible() || !control->GetEnabled())
                continue;
            if ((control->GetControlStyle() & csMenuEvents) && (Is<TTBDock>(control) || Is<TTBCustomToolbar>(control)) &&
                control->Perform(WM_SYSCOMMAND, sysCommand->WParam, sysCommand->LParam) != 0)
                return true;
            if (auto* windowed = dynamic_cast<TWinControl*>(control))
                if (search(windowed))
                    return true;
        }
        return false;
    };
    if (search(active)) {
        message.Result = 1;
        handled = true;
    }
}

// ---------------------------------------------------------------------------------------------
// Mouse and hints

void TTBCustomToolbar::MouseMove(TShiftState shift, int x, int y)
{
    if (!HasState(csDesigning)) {
        POINT screen = ClientToScreen(POINT{x, y});
        FView->SyncSelection(&screen, true);
        if (TTBItemViewer* selected = FView->GetSelected()) {
            TTBCustomItem* item = selected->GetItem();
            bool menuOnly = (item->GetEffectiveOptions() & tboLongHintInMenuOnly) != 0;
            SetHint(menuOnly ? std::string() : WideToAnsi(item->GetHint()));
            const RECT& r = selected->GetBoundsRect();
            selected->MouseMove(x - r.left, y - r.top);
        } else {
            SetHint(std::string());
        }
    }
    TTBCustomDockableWindow::MouseMove(shift, x, y);
}

void TTBCustomToolbar::MouseDown(TMouseButton button, TShiftState shift, int x, int y)
{
    TWinControl* parent = GetParent();
    std::weak_ptr<int> alive = LifeToken();
    TTBCustomDockableWindow::MouseDown(button, shift, x, y);
    if (alive.expired() || GetParent() != parent || button != TMouseButton::mbLeft || HasState(csDesigning))
        return;
    POINT screen = ClientToScreen(POINT{x, y});
    FView->SyncSelection(&screen, true);
    TTBItemViewer* selected = FView->GetSelected();
    if (!selected || selected->GetItem()->HasTrait(isPassClicks))
        return;
    FMouseDownLoop = true;
    TScopeExit loopEnded([this, alive] {
        if (!alive.expired())
            FMouseDownLoop = false;
    });
    FView->RunToolbarLoop(tblMouseDown);
}

void TTBCustomToolbar::ClearSelectionUnlessFocused()
{
    if (!Focused() && FView->GetSelected() && !FView->InState(stModal))
        FView->Select(nullptr, false);
}

void TTBCustomToolbar::WMSetCursor(TMessage& m)
{
    if (reinterpret_cast<HWND>(m.WParam) == FHandle && LOWORD(m.LParam) == HTCLIENT && !HasState(csDesigning)) {
        POINT p{};
        GetCursorPos(&p);
        POINT client = ScreenToClient(p);
        if (TTBItemViewer* viewer = FView->HitTestViewer(client)) {
            HCURSOR cursor = nullptr;
            const RECT& r = viewer->GetBoundsRect();
            viewer->GetCursor(POINT{client.x - r.left, client.y - r.top}, cursor);
            if (cursor) {
                ::SetCursor(cursor);
                m.Result = 1;
                return;
            }
        }
    }
    TTBCustomDockableWindow::Dispatch(m);
}

void TTBCustomToolbar::CMHintShow(TMessage& m)
{
    auto* info = reinterpret_cast<THintInfo*>(m.LParam);
    if (!info)
        return;
    info->HintStr.clear();
    TTBItemViewer* viewer = FView->HitTestViewer(info->CursorPos);
    if (!viewer || IsRectEmpty(&viewer->GetBoundsRect()))
        return;
    info->CursorRect = viewer->GetBoundsRect();
    // The text is UTF-8, so only the framework's own tip window can show it.
    info->HintStr = WideToAnsi(viewer->ComposeHint(), CP_UTF8);
    info->HintWindowClass = TTBHintWindow::StaticClass();
}

void TTBCustomToolbar::Dispatch(TMessage& m)
{
    switch (m.Msg) {
    case WM_SYSCOMMAND:
        WMSysCommand(m);
        return;
    case CM_DIALOGKEY:
        if (FMenuBar && m.WParam == VK_MENU)
            FView->ToggleAccelerators(true);
        break;
    case CM_DIALOGCHAR:
        if (!FMenuBar && GetEnabled() && GetShowing() && m.WParam != 0 &&
            OpenByKeyboard(KeyCharToWideChar(static_cast<WORD>(m.WParam)), true)) {
            m.Result = 1;
            return;
        }
        break;
    case WM_SETCURSOR:
        WMSetCursor(m);
        return;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
        if (RelayEditItemColor(m))
            return;
        break;
    case CM_MOUSELEAVE:
        ClearSelectionUnlessFocused();
        break;
    case WM_MOUSELEAVE:
        if (!FMouseDownLoop)
            ClearSelectionUnlessFocused();
        break;
    case WM_NCMOUSEMOVE:
        SetHint(std::string());
        ClearSelectionUnlessFocused();
        break;
    case WM_CONTEXTMENU:
        ClearSelectionUnlessFocused();
        break;
    case CM_HINTSHOW:
        CMHintShow(m);
        return;
    case CM_COLORCHANGED:
        FView->SetBackgroundColor(FColor);
        break;
    case CM_SHOWHINTCHANGED:
        FView->SetStyle(GetShowHint() ? FView->GetStyle() | syAlwaysShowHints
                                      : FView->GetStyle() & static_cast<TTBViewTraits>(~syAlwaysShowHints));
        break;
    case CM_FONTCHANGED:
        TTBCustomDockableWindow::Dispatch(m);
        if (!FSystemFont) {
            FView->ForgetSizes();
            Arrange();
        }
        return;
    case CM_WININICHANGE:
        TTBCustomDockableWindow::Dispatch(m);
        if (m.WParam == SPI_SETNONCLIENTMETRICS_CODE) {
            TBRefreshMenuFont();
            FView->ForgetSizes();
            Arrange();
        }
        return;
    case WM_CANCELMODE:
        if (FView->InState(stModal))
            FView->AbortTracking();
        break;
    case WM_GETOBJECT:
        if (FView->HandleWMGetObject(m))
            return;
        break;
    case CM_CONTROLLISTCHANGE:
        TTBCustomDockableWindow::Dispatch(m);
        if (HasState(csLoading) || HasState(csDestroying))
            return;
        if (auto* control = reinterpret_cast<TControl*>(m.WParam)) {
            if (m.LParam)
                WrapChildControl(control);
            else
                UnwrapChildControl(control);
        }
        return;
    default:
        break;
    }
    TTBCustomDockableWindow::Dispatch(m);
}
