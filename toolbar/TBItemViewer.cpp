#include "toolbar/TBItemViewer.h"

#include <oleacc.h>

#include <algorithm>

#include "platform/Forms.h"
#include "platform/ScopeGuards.h"
#include "platform/SysUtils.h"
#include "toolbar/TBAcc.h"
#include "toolbar/TBCommon.h"
#include "toolbar/TBFramework.h"
#include "toolbar/TBView.h"

SF_IMPLEMENT_ABSTRACT(TTBItemViewer, TObject)
SF_IMPLEMENT_ABSTRACT(TTBSeparatorItemViewer, TTBItemViewer)

namespace {

// Toolbar-style arrow parts: the split button's and the drop-down arrow's.
constexpr int SplitArrowWidth = 11;
constexpr int DropdownArrowWidth = 8;

void FillDither(HDC dc, const RECT& r)
{
    static const WORD pattern[8] = {0x5555, 0xAAAA, 0x5555, 0xAAAA, 0x5555, 0xAAAA, 0x5555, 0xAAAA};
    TGdiObject<HBITMAP> bitmap(CreateBitmap(8, 8, 1, 1, pattern));
    TGdiObject<HBRUSH> brush(CreatePatternBrush(bitmap.Get()));
    TSavedDC saved(dc);
    SetTextColor(dc, GetSysColor(COLOR_BTNFACE));
    SetBkColor(dc, GetSysColor(COLOR_BTNHIGHLIGHT));
    FillRect(dc, &r, brush.Get());
}

// A monochrome glyph of the system (a menu arrow, a check mark) drawn in the DC's text colour.
void DrawMonoGlyph(HDC dc, const RECT& r, UINT type, UINT state)
{
    int w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0)
        return;
    TMemoryDC mono(dc);
    TGdiObject<HBITMAP> bitmap(CreateBitmap(w, h, 1, 1, nullptr));
    TSelectGuard selectBitmap(mono.Get(), bitmap.Get());
    RECT glyph{0, 0, w, h};
    DrawFrameControl(mono.Get(), &glyph, type, state);
    TGdiObject<HBRUSH> brush(CreateSolidBrush(GetTextColor(dc)));
    TSavedDC saved(dc);
    SelectObject(dc, brush.Get());
    SetTextColor(dc, RGB(0, 0, 0));
    SetBkColor(dc, RGB(255, 255, 255));
    // Where the glyph is black, the brush; elsewhere the destination stays.
    BitBlt(dc, r.left, r.top, w, h, mono.Get(), 0, 0, 0xE20746);
}

void DrawTriangle(HDC dc, int x, int y, bool pointRight, COLORREF colour)
{
    POINT pts[3];
    if (pointRight)
        pts[0] = {x, y}, pts[1] = {x, y + 4}, pts[2] = {x + 2, y + 2};
    else
        pts[0] = {x, y}, pts[1] = {x + 4, y}, pts[2] = {x + 2, y + 2};
    TGdiObject<HPEN> pen(CreatePen(PS_SOLID, 1, colour));
    TGdiObject<HBRUSH> brush(CreateSolidBrush(colour));
    TSavedDC saved(dc);
    SelectObject(dc, pen.Get());
    SelectObject(dc, brush.Get());
    Polygon(dc, pts, 3);
}

} // namespace

TEXTMETRICW CanvasTextMetrics(TCanvas* canvas)
{
    canvas->RequiredState(TCanvas::csHandleValid | TCanvas::csFontValid);
    HDC dc = canvas->GetHandle();
    HFONT font = canvas->GetFont()->GetHandle();
    // A layout measures many viewers with one font: the metrics are asked for once.
    static HDC cachedDC = nullptr;
    static HFONT cachedFont = nullptr;
    static TEXTMETRICW cached{};
    if (dc != cachedDC || font != cachedFont) {
        GetTextMetricsW(dc, &cached);
        cachedDC = dc;
        cachedFont = font;
    }
    return cached;
}

// ---------------------------------------------------------------------------------------------
// TTBItemViewer

TTBItemViewer::TTBItemViewer(TTBView* view, TTBCustomItem* item, int groupLevel)
    : FView(view), FItem(item), FGroupLevel(groupLevel)
{
    TBLiveObjectCreated();
}

TTBItemViewer::~TTBItemViewer()
{
    RemoveFromPostQueue(this);
    if (FAccObject) {
        FAccObject->DetachClient();
        FAccObject->Release();
    }
    TBLiveObjectDestroyed();
}

TTBItemViewerAccObject* TTBItemViewer::GetAccObject()
{
    if (!FAccObject && AccessibilityAvailable()) {
        FAccObject = New<TTBItemViewerAccObject>(this);
        FAccObject->AddRef();
    }
    return FAccObject;
}

void TTBItemViewer::PostExecute(bool execute)
{
    PostViewerAction(this, execute);
}

void TTBItemViewer::HandleAccSelect(bool execute)
{
    TTBView* view = FView;
    view->Select(this, false);
    if (!execute || !FItem->GetVisible() || !FItem->GetEnabled())
        return;
    if (view->InState(stModal)) {
        if (view->GetOpenedViewer() == this)
            view->HideChildPopups();
        else
            view->RunSelected(true);
        return;
    }
    // A toolbar outside the menu loop: a command runs now, as the loop would end with it; a
    // submenu opens in the loop, as a click on it would.
    if (!FItem->HasTrait(isSubmenu) || FItem->HasTrait(isSplitButton)) {
        FItem->Click();
        return;
    }
    view->RunToolbarLoop(tblExecuteSelected);
}

void TTBItemViewer::SetLayout(const RECT& bounds, bool shown, bool behindChevron, bool scrolledOut, bool lineSep)
{
    FBoundsRect = bounds;
    FShown = shown;
    FBehindChevron = behindChevron;
    FScrolledOut = scrolledOut;
    FLayoutFlags = lineSep ? static_cast<uint8_t>(FLayoutFlags | tbvfLineSep)
                           : static_cast<uint8_t>(FLayoutFlags & ~tbvfLineSep);
}

SIZE TTBItemViewer::CachedSize(TCanvas* canvas)
{
    if (!FSizeValid) {
        int w = 0, h = 0;
        MeasureSize(canvas, w, h);
        FSize = SIZE{w, h};
        FSizeValid = true;
    }
    return FSize;
}

bool TTBItemViewer::UsesToolbarStyle()
{
    return FView->GetIsToolbar() || (FItem->GetEffectiveOptions() & tboToolbarStyle);
}

bool TTBItemViewer::UsesToolbarSize()
{
    return FView->GetIsToolbar() || (FItem->GetEffectiveOptions() & tboToolbarSize);
}

bool TTBItemViewer::SharesButtonWidth()
{
    TTBItemOptions options = FItem->GetEffectiveOptions();
    return (options & tboImageAboveCaption) && (options & tboSameWidth) && UsesToolbarSize();
}

bool TTBItemViewer::IsRotated()
{
    return UsesToolbarStyle() && FView->GetOrientation() == TTBViewAxis::vaVertical &&
           !(FItem->GetEffectiveOptions() & (tboNoRotation | tboImageAboveCaption));
}

bool TTBItemViewer::ShowsCaption()
{
    if (FItem->GetEffectiveOptions() & tboImageAboveCaption)
        return true;
    if (FItem->GetCaption().empty())
        return false;
    TTBItemDisplayMode mode = FItem->GetDisplayMode();
    return !UsesToolbarStyle() || FItem->GetImageIndex() < 0 || mode == TTBItemDisplayMode::nbdmTextOnly ||
           mode == TTBItemDisplayMode::nbdmImageAndText;
}

bool TTBItemViewer::ShowsImage()
{
    if (FItem->GetImageIndex() < 0)
        return false;
    TTBItemDisplayMode mode = FItem->GetDisplayMode();
    return mode == TTBItemDisplayMode::nbdmDefault || mode == TTBItemDisplayMode::nbdmImageAndText ||
           (mode == TTBItemDisplayMode::nbdmTextOnlyInMenus && UsesToolbarStyle());
}

std::wstring TTBItemViewer::ComposeCaption()
{
    const std::wstring& caption = FItem->GetCaption();
    return caption.substr(0, caption.find(L'\t'));
}

std::wstring TTBItemViewer::ComposeHint()
{
    std::wstring hint = GetShortHintW(FItem->GetHint());
    bool plainSubmenu = FItem->HasTrait(isSubmenu) && !FItem->HasTrait(isSplitButton);
    if (hint.empty() && !(FItem->GetEffectiveOptions() & tboNoAutoHint) && !(plainSubmenu && ShowsCaption()))
        hint = RemoveAccelMarks(ComposeCaption());
    if (auto* action = dynamic_cast<TCustomAction*>(FItem->GetAction())) {
        // The hook speaks 8-bit text: a hint it leaves alone keeps the characters that has no room for.
        std::string before = WideToAnsi(hint);
        std::string text = before;
        if (!action->DoHint(text))
            hint.clear();
        else if (text != before)
            hint = AnsiToWide(text);
    }
    if (!hint.empty() && Application && Application->GetHintShortCuts() && FItem->GetShortCut() != 0)
        hint += L" (" + AnsiToWide(ShortCutToText(FItem->GetShortCut())) + L")";
    return hint;
}

TCustomImageList* TTBItemViewer::GetImageList()
{
    if (TCustomImageList* images = FItem->GetImages())
        return images;
    for (TTBView* view = FView; view; view = view->GetParentView()) {
        if (TCustomImageList* images = view->GetParentItem()->GetSubMenuImages())
            return images;
        if (TCustomImageList* images = view->GetActiveParentItem()->GetSubMenuImages())
            return images;
    }
    return nullptr;
}

bool TTBItemViewer::PointInButtonPart(int x, int)
{
    if (!FItem->HasTrait(isSubmenu))
        return true;
    if (!FItem->HasTrait(isSplitButton))
        return false;
    int arrow = UsesToolbarStyle() ? SplitArrowWidth : GetSystemMetrics(SM_CXMENUCHECK);
    return x < (FBoundsRect.right - FBoundsRect.left) - arrow;
}

int TTBItemViewer::AccessibleRole()
{
    if (Is<TTBControlItem>(FItem))
        return ROLE_SYSTEM_CLIENT;
    if (FItem->HasTrait(isSeparator))
        return ROLE_SYSTEM_SEPARATOR;
    if (FView->GetIsPopup() || FView->HasStyle(syMenuBar))
        return ROLE_SYSTEM_MENUITEM;
    if (FItem->HasTrait(isSubmenu))
        return ROLE_SYSTEM_BUTTONMENU;
    return ROLE_SYSTEM_PUSHBUTTON;
}

bool TTBItemViewer::AccessibleValue(std::wstring&)
{
    return false;
}

void TTBItemViewer::SelectionEntered(TTBItemViewer*)
{
    FItem->OnSelect(FItem, this, true);
}

void TTBItemViewer::SelectionLeft()
{
    FItem->OnSelect(FItem, this, false);
}

void TTBItemViewer::Invalidate()
{
    FView->Invalidate(this);
}

bool TTBItemViewer::PerformExecute()
{
    FView->CloseWithClick(this);
    return true;
}

void TTBItemViewer::Execute(bool givePriority)
{
    if (PerformExecute() && givePriority)
        FView->RaisePriority(this);
}

POINT TTBItemViewer::ScreenToClient(POINT p)
{
    if (TWinControl* window = FView->GetWindow())
        p = window->ScreenToClient(p);
    return POINT{p.x - FBoundsRect.left, p.y - FBoundsRect.top};
}

RECT TTBItemViewer::ScreenBounds() const
{
    RECT r = FBoundsRect;
    if (TWinControl* window = FView->GetWindow()) {
        POINT origin = window->ClientToScreen(POINT{0, 0});
        OffsetRect(&r, origin.x, origin.y);
    }
    return r;
}

// ---- Measuring ----

void TTBItemViewer::MeasureSize(TCanvas* canvas, int& width, int& height)
{
    bool toolbarStyle = UsesToolbarStyle();
    width = height = toolbarStyle ? 6 : 0;
    HDC dc = canvas->GetHandle();
    TEXTMETRICW tm = CanvasTextMetrics(canvas);
    bool rotated = IsRotated();
    if (!toolbarStyle || ShowsCaption()) {
        std::wstring caption = ComposeCaption();
        int extra = toolbarStyle ? 6 : 0;
        if (rotated) {
            TGdiObject<HFONT> font = MakeVerticalFont(dc);
            TSelectGuard selectFont(dc, font.Get());
            TEXTMETRICW vtm{};
            GetTextMetricsW(dc, &vtm);
            width += vtm.tmHeight;
            height += GetTextWidthW(dc, caption, true) + extra;
        } else {
            height += tm.tmHeight;
            width += GetTextWidthW(dc, caption, true) + extra;
        }
    }
    TCustomImageList* images = GetImageList();
    TTBItemOptions options = FItem->GetEffectiveOptions();
    if (toolbarStyle) {
        if (images && ShowsImage()) {
            if (!(options & tboImageAboveCaption) && !rotated) {
                width += images->GetWidth() + 1;
                height = std::max(height, images->GetHeight() + 6);
            } else {
                height += images->GetHeight();
                width = std::max(width, images->GetWidth() + 7);
            }
        }
        if (FItem->HasTrait(isSubmenu)) {
            if (FItem->HasTrait(isSplitButton))
                width += SplitArrowWidth;
            else if (options & tboDropdownArrow)
                (FView->GetOrientation() == TTBViewAxis::vaVertical ? height : width) += DropdownArrowWidth;
        }
        return;
    }
    height += tm.tmExternalLeading + 4;
    int column = height;
    if (images) {
        height = std::max(height, images->GetHeight() + 3);
        column = MulDiv(images->GetWidth() + 3, height, images->GetHeight() + 3);
    }
    width += column + 6;
    std::wstring shortCut = FItem->FormatShortCut();
    if (!shortCut.empty())
        width += GetTextWidthW(dc, shortCut, false) + height - 6;
    width += height;
}

// ---- Painting ----

void TTBItemViewer::RenderItemCaption(TCanvas* canvas, const RECT& rect, const std::wstring& caption,
                                      bool drawDisabledShadow, UINT format)
{
    HDC dc = canvas->GetHandle();
    bool menuView = FView->GetIsPopup() || FView->HasStyle(syMenuBar);
    if (!KeyboardCuesOn() && menuView && !FView->InState(stShowAccels))
        format |= DT_HIDEPREFIX;
    bool rotated = IsRotated();
    auto draw = [&](RECT r, COLORREF colour) {
        TTextStateGuard text(dc, colour);
        if (rotated)
            DrawVerticalText(dc, caption, r, format);
        else
            DrawTextLine(dc, caption, -1, r, format);
    };
    if (drawDisabledShadow) {
        RECT shifted = rect;
        OffsetRect(&shifted, 1, 1);
        draw(shifted, GetSysColor(COLOR_BTNHIGHLIGHT));
        draw(rect, GetSysColor(COLOR_BTNSHADOW));
    } else {
        draw(rect, GetTextColor(dc));
    }
}

void TTBItemViewer::Paint(TCanvas* canvas, const RECT& clientAreaRect, bool isSelected, bool isPushed,
                          bool useDisabledShadow)
{
    HDC dc = canvas->GetHandle();
    canvas->RequiredState(TCanvas::csHandleValid | TCanvas::csFontValid);
    bool enabled = FItem->GetEnabled() || FView->GetCustomizing();
    bool toolbarStyle = UsesToolbarStyle();
    bool rotated = IsRotated();
    bool submenu = FItem->HasTrait(isSubmenu);
    bool split = submenu && FItem->HasTrait(isSplitButton);
    TTBItemOptions options = FItem->GetEffectiveOptions();
    bool dropdown = submenu && !split && (options & tboDropdownArrow);
    TCustomImageList* images = GetImageList();
    bool showImage = images && ShowsImage();
    RECT r = clientAreaRect;
    UINT format = DT_SINGLELINE | DT_VCENTER;
    COLORREF textColour = GetTextColor(dc);

    if (toolbarStyle) {
        RECT arrow{};
        if (split) {
            arrow = RECT{r.right - SplitArrowWidth, r.top, r.right, r.bottom};
            r.right = arrow.left;
        } else if (dropdown) {
            arrow = rotated ? RECT{r.left, r.bottom - DropdownArrowWidth, r.right, r.bottom}
                            : RECT{r.right - DropdownArrowWidth, r.top, r.right, r.bottom};
        }
        bool checked = FItem->GetChecked();
        bool pushedOnArrow = split && isPushed && FView->GetOpenedViewer() == this;
        if ((isSelected && enabled) || checked || (isPushed && !pushedOnArrow)) {
            RECT frame = split ? r : clientAreaRect;
            DrawEdge(dc, &frame, (isPushed && !pushedOnArrow) || checked ? BDR_SUNKENOUTER : BDR_RAISEDINNER, BF_RECT);
            if (checked && !isSelected) {
                RECT inner = frame;
                InflateRect(&inner, -1, -1);
                FillDither(dc, inner);
            }
        }
        if (split && ((isSelected && enabled) || isPushed))
            DrawEdge(dc, &arrow, pushedOnArrow ? BDR_SUNKENOUTER : BDR_RAISEDINNER, BF_RECT);
        if (dropdown)
            (rotated ? r.bottom : r.right) -= DropdownArrowWidth;
        if (isPushed && !pushedOnArrow)
            OffsetRect(&r, 1, 1);
        if (split || dropdown) {
            int ax = (arrow.left + arrow.right) / 2 - 2, ay = (arrow.top + arrow.bottom) / 2 - 1;
            COLORREF colour = enabled ? GetSysColor(COLOR_BTNTEXT) : GetSysColor(COLOR_GRAYTEXT);
            DrawTriangle(dc, ax, ay, rotated, colour);
        }
        if (showImage) {
            int iw = images->GetWidth(), ih = images->GetHeight();
            int x, y;
            if ((options & tboImageAboveCaption) || rotated || !ShowsCaption()) {
                x = (r.left + r.right - iw) / 2;
                y = ShowsCaption() && !rotated ? r.top + 3 : (r.top + r.bottom - ih) / 2;
                if (ShowsCaption())
                    r.top = y + ih;
            } else {
                x = r.left + 3;
                y = (r.top + r.bottom - ih) / 2;
                r.left = x + iw + 1;
            }
            images->Draw(dc, x, y, FItem->GetImageIndex(), enabled);
        }
        format |= DT_CENTER;
    } else {
        int height = r.bottom - r.top;
        int column = images ? MulDiv(images->GetWidth() + 3, height, images->GetHeight() + 3) : height;
        RECT col{r.left, r.top, r.left + column, r.bottom};
        if (FItem->GetChecked()) {
            RECT frame = col;
            InflateRect(&frame, -1, -1);
            DrawEdge(dc, &frame, BDR_SUNKENOUTER, BF_RECT);
            if (!isSelected) {
                InflateRect(&frame, -1, -1);
                FillDither(dc, frame);
            }
            if (!showImage) {
                RECT glyph = col;
                InflateRect(&glyph, -3, -3);
                DrawMonoGlyph(dc, glyph, DFC_MENU, FItem->GetRadioItem() ? DFCS_MENUBULLET : DFCS_MENUCHECK);
            }
        }
        if (showImage)
            images->Draw(dc, (col.left + col.right - images->GetWidth()) / 2,
                         (col.top + col.bottom - images->GetHeight()) / 2, FItem->GetImageIndex(), enabled);
        if (submenu) {
            RECT arrow{r.right - height, r.top, r.right, r.bottom};
            InflateRect(&arrow, -height / 4, -height / 4);
            // The glyph takes the DC's text colour.
            TTextStateGuard arrowColour(dc, enabled ? textColour : GetSysColor(COLOR_GRAYTEXT));
            DrawMonoGlyph(dc, arrow, DFC_MENU, DFCS_MENUARROW);
        }
        r.left += column + 3;
        std::wstring shortCut = FItem->FormatShortCut();
        if (!shortCut.empty()) {
            RECT sr{r.left, r.top, r.right - height, r.bottom};
            RenderItemCaption(canvas, sr, shortCut, !enabled && useDisabledShadow, DT_SINGLELINE | DT_VCENTER | DT_RIGHT | DT_NOPREFIX);
        }
    }
    if (ShowsCaption())
        RenderItemCaption(canvas, r, ComposeCaption(), !enabled && useDisabledShadow, format);
}

// ---- Mouse ----

void TTBItemViewer::MouseDown(TShiftState shift, int x, int y, bool& mouseDownOnMenu)
{
    TTBView* view = FView;
    bool topLevel = !view->GetParentView() && !view->GetIsPopup();
    if (!FItem->GetEnabled()) {
        if (topLevel)
            view->FinishModal();
        return;
    }
    if (!PointInButtonPart(x, y)) {
        bool wasOpen = view->GetOpenedViewer() == this;
        view->ShowChildPopup(false);
        if (view->GetOpenedViewer() != this)
            return;
        if (wasOpen && topLevel)
            mouseDownOnMenu = true;
        if ((shift & ssDouble) && !FItem->HasTrait(isSplitButton)) {
            TTBView* child = view->GetOpenedViewerView();
            for (int i = 0; child && i < child->GetViewerCount(); ++i) {
                TTBItemViewer* v = child->GetViewer(i);
                TTBCustomItem* item = v->GetItem();
                if ((v->GetShown() || v->GetScrolledOut()) && (item->GetEffectiveOptions() & tboDefault) &&
                    item->HasTrait(isSelectable) && item->GetEnabled() && item->GetVisible()) {
                    v->Execute(true);
                    break;
                }
            }
        }
        return;
    }
    if (UsesToolbarStyle()) {
        view->HideChildPopups();
        view->SetCapture();
        Invalidate();
    }
}

void TTBItemViewer::MouseUp(int x, int y, bool mouseWasDownOnMenu)
{
    TTBView* view = FView;
    bool hadCapture = view->GetCapture();
    view->DropCapture();
    bool topLevel = !view->GetParentView() && !view->GetIsPopup();
    if (view->GetSelected() == this && view->GetMouseInSelected() && FItem->GetEnabled() &&
        !FItem->HasTrait(isPassClicks)) {
        if (FItem->HasTrait(isSubmenu) && !PointInButtonPart(x, y)) {
            // A second click on the open menu-bar entry closes it.
            if (topLevel && mouseWasDownOnMenu)
                view->FinishModal();
            return;
        }
        if (UsesToolbarStyle() && !hadCapture)
            return;
        Execute(true);
        return;
    }
    if (topLevel)
        view->FinishModal();
}

// ---------------------------------------------------------------------------------------------
// TTBSeparatorItemViewer

void TTBSeparatorItemViewer::MeasureSize(TCanvas* canvas, int& width, int& height)
{
    if (UsesToolbarStyle()) {
        width = height = 6;
        return;
    }
    width = 0;
    height = CanvasTextMetrics(canvas).tmHeight * 2 / 3;
}

void TTBSeparatorItemViewer::Paint(TCanvas* canvas, const RECT& clientAreaRect, bool, bool, bool)
{
    auto* separator = dynamic_cast<TTBSeparatorItem*>(GetItem());
    if (separator && separator->GetBlank())
        return;
    HDC dc = canvas->GetHandle();
    bool lineSep = IsLineSeparator();
    bool horizontal = !UsesToolbarStyle() || FView->GetOrientation() == TTBViewAxis::vaVertical;
    if (lineSep)
        horizontal = !horizontal;
    RECT r = clientAreaRect;
    if (horizontal) {
        int inset = !UsesToolbarStyle() ? 12 : 0;
        if (lineSep)
            inset = FView->GetOrientation() == TTBViewAxis::vaFloating ? 1 : 4;
        r.left += inset;
        r.right -= inset;
        r.top += (r.bottom - r.top) / 2 - 1;
        DrawEdge(dc, &r, EDGE_ETCHED, BF_TOP);
    } else {
        if (lineSep) {
            r.top += 4;
            r.bottom -= 4;
        }
        r.left += (r.right - r.left) / 2 - 1;
        DrawEdge(dc, &r, EDGE_ETCHED, BF_LEFT);
    }
}
