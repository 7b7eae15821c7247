#include "toolbar/TBExtItems.h"

#include <algorithm>

#include "platform/Filer.h"
#include "platform/Forms.h"
#include "platform/ScopeGuards.h"
#include "toolbar/TBCommon.h"
#include "toolbar/TBPopup.h"
#include "toolbar/TBView.h"

SF_IMPLEMENT_COMPONENT(TTBEditItem, TTBCustomItem)
SF_IMPLEMENT_ABSTRACT(TTBEditItemViewer, TTBItemViewer)

namespace {

// End states of the editing.
constexpr uint8_t esRunning = 1;
constexpr uint8_t esEscape = 0;
constexpr uint8_t esTab = 2;
constexpr uint8_t esEnter = 6;
constexpr uint8_t esClose = 4;
constexpr uint8_t esCommitted = 2;
constexpr uint8_t esCloseMenu = 4;

const char* const CharCaseNames[] = {"ecNormal", "ecUpperCase", "ecLowerCase"};

bool IsMouseButtonMessage(UINT msg)
{
    switch (msg) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK:
    case WM_XBUTTONDOWN:
    case WM_XBUTTONDBLCLK:
    case WM_NCLBUTTONDOWN:
    case WM_NCLBUTTONDBLCLK:
    case WM_NCRBUTTONDOWN:
    case WM_NCRBUTTONDBLCLK:
    case WM_NCMBUTTONDOWN:
    case WM_NCMBUTTONDBLCLK:
    case WM_NCXBUTTONDOWN:
    case WM_NCXBUTTONDBLCLK:
        return true;
    default:
        return false;
    }
}

// Alt with a keypad digit types a character by its code instead of ending the editing.
bool IsKeypadDigitScanCode(LPARAM keyData)
{
    UINT scan = (static_cast<UINT>(keyData) >> 16) & 0xFF;
    for (UINT vk = VK_NUMPAD0; vk <= VK_NUMPAD9; ++vk)
        if (MapVirtualKeyW(vk, MAPVK_VK_TO_VSC) == scan)
            return true;
    return false;
}

int TextHeightOf(TCanvas* canvas)
{
    return CanvasTextMetrics(canvas).tmHeight;
}

} // namespace

bool IsEditItemWindow(HWND wnd)
{
    return wnd && GetWindowLongPtrW(wnd, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&TTBEditItemViewer::EditWndProc);
}

bool RelayEditItemColor(TMessage& m)
{
    if ((m.Msg != WM_CTLCOLOREDIT && m.Msg != WM_CTLCOLORSTATIC) || !IsEditItemWindow(reinterpret_cast<HWND>(m.LParam)))
        return false;
    m.Result = SendMessageW(reinterpret_cast<HWND>(m.LParam), CN_BASE + m.Msg, m.WParam, m.LParam);
    return true;
}

// ---------------------------------------------------------------------------------------------
// TTBEditItem

TTBEditItem::TTBEditItem(TComponent* owner) : TTBCustomItem(owner)
{
}

void TTBEditItem::SetCharCase(TEditCharCase value)
{
    if (value == FCharCase)
        return;
    FCharCase = value;
    // The stored text takes the new case at once; a text the case leaves as it was changes nothing.
    SetText(FText);
}

void TTBEditItem::SetEditCaption(const std::wstring& value)
{
    if (value == FEditCaption)
        return;
    FEditCaption = value;
    Change(true);
}

void TTBEditItem::SetEditOptions(TTBEditItemOptions value)
{
    if (value == FEditOptions)
        return;
    FEditOptions = value;
    Change(true);
}

void TTBEditItem::SetEditWidth(int value)
{
    if (value == FEditWidth)
        return;
    FEditWidth = value;
    Change(true);
}

void TTBEditItem::SetMaxLength(int value)
{
    if (value == FMaxLength)
        return;
    FMaxLength = value;
    Change(false);
}

void TTBEditItem::SetText(const std::wstring& value)
{
    std::wstring text = value;
    ApplyCharCase(text);
    if (text == FText)
        return;
    FText = text;
    if (FActiveEditViewer)
        FActiveEditViewer->TextChanged(FText);
    Change(false);
    AfterTextChange();
}

bool TTBEditItem::ConfirmText(std::wstring& newText)
{
    bool accept = true;
    OnAcceptText(this, newText, accept);
    return accept;
}

void TTBEditItem::ApplyCharCase(std::wstring& text)
{
    if (text.empty() || FCharCase == ecNormal)
        return;
    if (FCharCase == ecUpperCase)
        CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
    else
        CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
}

TTBItemViewerClass TTBEditItem::QueryViewerClass(TTBView* view)
{
    if (view && view->GetOrientation() == TTBViewAxis::vaVertical && !(FEditOptions & tboUseEditWhenVertical))
        return TTBCustomItem::QueryViewerClass(view);
    return ViewerClassOf<TTBEditItemViewer>();
}

bool TTBEditItem::ViewerNeedsRebuild(TTBView* view, TTBItemViewer* viewer)
{
    return QueryViewerClass(view)->Class != viewer->ClassType();
}

void TTBEditItem::DefineProperties(TFiler* filer)
{
    TTBCustomItem::DefineProperties(filer);
    DefineWideStringProp(filer, "EditCaption", FEditCaption, [this](const std::wstring& v) { SetEditCaption(v); },
                         !FEditCaption.empty());
    DefineWideStringProp(filer, "Text", FText, [this](const std::wstring& v) { SetText(v); }, !FText.empty());
    filer->DefineProperty(
        "CharCase",
        [this](TReader* r) {
            std::string name = r->ReadIdent();
            for (int i = 0; i < 3; ++i)
                if (name == CharCaseNames[i])
                    SetCharCase(static_cast<TEditCharCase>(i));
        },
        [this](TWriter* w) { w->WriteIdent(CharCaseNames[FCharCase]); }, FCharCase != ecNormal);
    DefineIntProp(filer, "EditOptions", FEditOptions, 0,
                  [this](int v) { SetEditOptions(static_cast<TTBEditItemOptions>(v & tboUseEditWhenVertical)); });
    DefineIntProp(filer, "EditWidth", FEditWidth, 64, [this](int v) { SetEditWidth(std::clamp(v, 0, 32767)); });
    DefineIntProp(filer, "MaxLength", FMaxLength, 0, [this](int v) { SetMaxLength(std::max(v, 0)); });
}

// ---------------------------------------------------------------------------------------------
// TTBEditItemViewer: measuring and painting

TTBEditItemViewer::~TTBEditItemViewer()
{
    // A viewer that goes while its editing runs (its item deleted, its view rebuilt) takes the
    // EDIT with it: nothing may call it back afterwards.
    if (FEditWnd && IsWindow(FEditWnd)) {
        SetWindowLongPtrW(FEditWnd, GWLP_USERDATA, 0);
        SetWindowLongPtrW(FEditWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FOldWndProc));
        DestroyWindow(FEditWnd);
    }
    if (TTBEditItem* item = GetEditItem(); item && item->FActiveEditViewer == this)
        item->FActiveEditViewer = nullptr;
}

TTBEditItem* TTBEditItemViewer::GetEditItem() const
{
    return static_cast<TTBEditItem*>(FItem);
}

std::wstring TTBEditItemViewer::ComposeCaption()
{
    return GetEditItem()->GetEditCaption();
}

bool TTBEditItemViewer::AccessibleValue(std::wstring& value)
{
    value = GetEditItem()->GetText();
    return true;
}

void TTBEditItemViewer::MeasureSize(TCanvas* canvas, int& width, int& height)
{
    TTBEditItem* item = GetEditItem();
    int textHeight = TextHeightOf(canvas);
    width = item->GetEditWidth();
    height = textHeight;
    if (!UsesToolbarStyle() && !item->GetEditCaption().empty()) {
        width += GetTextWidthW(canvas->GetHandle(), item->GetEditCaption(), true) + 10;
        height += CeilDiv(height, 4);
    }
    height = std::max(height, textHeight + 7);
}

void TTBEditItemViewer::EditFieldBounds(RECT& r)
{
    r = GetBoundsRect();
    TTBEditItem* item = GetEditItem();
    if (FView->GetIsToolbar() || item->GetEditCaption().empty())
        return;
    TWindowDC dc(nullptr);
    TFont* font = FView->ResolveFont();
    TSelectGuard select(dc.Get(), font ? font->GetHandle() : GetStockObject(DEFAULT_GUI_FONT));
    r.left += GetTextWidthW(dc.Get(), item->GetEditCaption(), true) + 10;
}

void TTBEditItemViewer::GetEditMargins(RECT& margins)
{
    margins = RECT{3, 3, 3, 3};
}

void TTBEditItemViewer::Paint(TCanvas* canvas, const RECT& r, bool isSelected, bool, bool useDisabledShadow)
{
    TTBEditItem* item = GetEditItem();
    HDC dc = canvas->GetHandle();
    bool enabled = item->GetEnabled();
    RECT box = r;
    if (!UsesToolbarStyle() && !item->GetEditCaption().empty()) {
        RECT caption = r;
        caption.right = r.left + GetTextWidthW(dc, item->GetEditCaption(), true) + 6;
        if (isSelected)
            canvas->FillRect(caption);
        RECT text = caption;
        text.left += 3;
        RenderItemCaption(canvas, text, item->GetEditCaption(), !enabled && useDisabledShadow, DT_SINGLELINE | DT_VCENTER);
        box.left = caption.right + 4;
    }
    if (isSelected && enabled)
        DrawEdge(dc, &box, BDR_SUNKENOUTER, BF_RECT);
    TColor frameColor = enabled ? clBtnFace : clWindow;
    TColor fillColor = enabled ? clWindow : clBtnFace;
    TColor textColor = enabled ? clWindowText : clGrayText;
    RECT frame = box;
    InflateRect(&frame, -1, -1);
    TGdiObject<HBRUSH> frameBrush(CreateSolidBrush(static_cast<COLORREF>(ColorToRGB(frameColor))));
    FrameRect(dc, &frame, frameBrush.Get());
    RECT fill = box;
    InflateRect(&fill, -2, -2);
    TGdiObject<HBRUSH> fillBrush(CreateSolidBrush(static_cast<COLORREF>(ColorToRGB(fillColor))));
    FillRect(dc, &fill, fillBrush.Get());
    if (item->GetText().empty())
        return;
    RECT text = box;
    InflateRect(&text, -3, -3);
    TTextStateGuard textState(dc, static_cast<COLORREF>(ColorToRGB(textColor)));
    DrawTextLine(dc, item->GetText(), -1, text, DT_SINGLELINE | DT_NOPREFIX);
}

void TTBEditItemViewer::GetCursor(POINT p, HCURSOR& cursor)
{
    if (!FItem->GetEnabled())
        return;
    RECT r{};
    EditFieldBounds(r);
    const RECT& bounds = GetBoundsRect();
    OffsetRect(&r, -bounds.left, -bounds.top);
    InflateRect(&r, -2, -2);
    if (PtInRect(&r, p))
        cursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_IBEAM));
}

void TTBEditItemViewer::MouseDown(TShiftState shift, int x, int y, bool& mouseDownOnMenu)
{
    if (!PointInButtonPart(x, y)) {
        TTBItemViewer::MouseDown(shift, x, y, mouseDownOnMenu);
        return;
    }
    ClickedInBox();
}

void TTBEditItemViewer::MouseUp(int x, int y, bool mouseWasDownOnMenu)
{
    // A press in the box started the editing, which took its release; a release that comes here
    // ends a drag from elsewhere in the menu, and chooses the box as a click would.
    if (!PointInButtonPart(x, y)) {
        TTBItemViewer::MouseUp(x, y, mouseWasDownOnMenu);
        return;
    }
    ClickedInBox();
}

void TTBEditItemViewer::ClickedInBox()
{
    if (FItem->GetEnabled()) {
        Execute(true);
        return;
    }
    if (!FView->GetIsPopup() && !FView->GetParentView())
        FView->FinishModal();
}

bool TTBEditItemViewer::ShowsCaption()
{
    // On a toolbar the box stands alone: the caption is neither drawn, nor an accelerator, nor a name.
    return !UsesToolbarStyle() && TTBItemViewer::ShowsCaption();
}

// ---------------------------------------------------------------------------------------------
// Editing

void TTBEditItemViewer::SetupEditControl(HWND editWnd)
{
    SendMessageW(editWnd, EM_LIMITTEXT, static_cast<WPARAM>(GetEditItem()->GetMaxLength()), 0);
    SendMessageW(editWnd, EM_SETSEL, 0, -1);
    SendMessageW(editWnd, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, 0);
}

void TTBEditItemViewer::TextChanged(const std::wstring& text)
{
    if (!FEditWnd || FInTextUpdate)
        return;
    TFlagScope updating(FInTextUpdate);
    SetWindowTextW(FEditWnd, text.c_str());
}

std::wstring TTBEditItemViewer::ReadEditText() const
{
    int length = GetWindowTextLengthW(FEditWnd);
    std::wstring text(static_cast<size_t>(std::max(length, 0)) + 1, L'\0');
    int got = GetWindowTextW(FEditWnd, text.data(), length + 1);
    text.resize(static_cast<size_t>(std::max(got, 0)));
    return text;
}

void TTBEditItemViewer::AcceptEditText()
{
    std::wstring text = ReadEditText();
    TTBEditItem* item = GetEditItem();
    if (item->ConfirmText(text)) {
        TFlagScope updating(FInTextUpdate);
        item->SetText(text);
    }
}

bool TTBEditItemViewer::PerformExecute()
{
    TTBView* root = FView->FindRootView();
    FView->HideChildPopups();
    // True only when this viewer outlived the editing (and its view and root view with it).
    if (!DoEditing(root->GetModalWnd()))
        return false;
    root->FinishModal();
    return (FEndState & esCommitted) != 0;
}

LRESULT CALLBACK TTBEditItemViewer::EditWndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto* viewer = reinterpret_cast<TTBEditItemViewer*>(GetWindowLongPtrW(wnd, GWLP_USERDATA));
    if (!viewer)
        return DefWindowProcW(wnd, msg, wParam, lParam);
    try {
        return viewer->EditWindowProc(msg, wParam, lParam);
    } catch (...) {
        // OnAcceptText may fail; it is reported, and the editing goes on where it stood.
        HandleCallbackException(nullptr);
        return 0;
    }
}

LRESULT TTBEditItemViewer::EditWindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (FSubclassMessages) {
        TMessage m{msg, wParam, lParam, 0};
        if (EditMessageHook(m))
            return m.Result;
    }
    if (msg == WM_CHAR && (wParam == VK_TAB || wParam == VK_RETURN)) {
        FEndState = wParam == VK_TAB ? esTab : esEnter;
        AcceptEditText();
        return 0;
    }
    if (msg == WM_CHAR && wParam == VK_ESCAPE) {
        FEndState = esEscape;
        return 0;
    }
    if (msg >= CN_CTLCOLORMSGBOX && msg <= CN_CTLCOLORSTATIC && FEditBrush) {
        HDC dc = reinterpret_cast<HDC>(wParam);
        SetTextColor(dc, static_cast<COLORREF>(ColorToRGB(FEditFont->GetColor())));
        SetBkColor(dc, static_cast<COLORREF>(ColorToRGB(FEditColor)));
        return reinterpret_cast<LRESULT>(FEditBrush);
    }
    LRESULT result = CallPreviousEditProc(msg, wParam, lParam);
    if (msg == WM_KILLFOCUS) {
        FView->FinishModal();
        // A committed text stays committed when a dialog of OnAcceptText takes the focus.
        if (FEndState & esRunning)
            FEndState = esClose;
    }
    return result;
}

LRESULT TTBEditItemViewer::CallPreviousEditProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    HWND wnd = FEditWnd;
    return IsWindowUnicode(wnd) ? CallWindowProcW(FOldWndProc, wnd, msg, wParam, lParam)
                                : CallWindowProcA(FOldWndProc, wnd, msg, wParam, lParam);
}

bool TTBEditItemViewer::DoEditing(HWND captureWnd)
{
    TTBEditItem* item = GetEditItem();
    RECT r{};
    EditFieldBounds(r);
    if (IsRectEmpty(&r))
        return false;
    if (item->FActiveEditViewer)
        throw EInvalidOperation("The item is being edited already");
    TWinControl* window = FView->GetWindow();
    // What the loop dispatches may delete the item or rebuild the view's viewers (a change of
    // the item's visibility or class), and this viewer goes with them, its window staying: so
    // it is the viewer's own life that the editing follows. Its view and window live longer.
    const std::weak_ptr<int> alive = LifeToken();
    HWND activeWnd = GetActiveWindow();
    HWND focusWnd = GetFocus();
    RECT margins{};
    GetEditMargins(margins);
    r.left += margins.left;
    r.top += margins.top;
    r.right -= margins.right;
    r.bottom -= margins.bottom;

    DWORD style = WS_CHILD | ES_AUTOHSCROLL | ES_AUTOVSCROLL;
    if (item->GetCharCase() == ecUpperCase)
        style |= ES_UPPERCASE;
    else if (item->GetCharCase() == ecLowerCase)
        style |= ES_LOWERCASE;
    GetEditControlStyle(style);
    FEditColor = clWindow;
    FEditFont.reset(New<TFont>());
    if (TFont* viewFont = FView->ResolveFont())
        FEditFont->Assign(viewFont);
    ApplyEditFont(FEditFont.get());
    // A brush of the system's is only borrowed; one made here is freed here, after the EDIT.
    TGdiObject<HBRUSH> ownBrush;
    if ((FEditColor & clSystemColor) != 0) {
        FEditBrush = GetSysColorBrush(FEditColor & 0xFF);
    } else {
        ownBrush.Reset(CreateSolidBrush(static_cast<COLORREF>(ColorToRGB(FEditColor))));
        FEditBrush = ownBrush.Get();
    }

    std::wstring text;
    {
        HWND edit = CreateWindowExW(0, L"EDIT", L"", style, r.left, r.top, r.right - r.left, r.bottom - r.top,
                                    window->GetHandle(), nullptr, GetModuleHandleW(nullptr), nullptr);
        if (!edit)
            RaiseLastOSError("CreateWindowEx EDIT");
        FEditWnd = edit;
        SetWindowTextW(edit, item->GetText().c_str());
        FOldWndProc = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(edit, GWLP_WNDPROC));
        SetWindowLongPtrW(edit, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TTBEditItemViewer::EditWndProc));
        TScopeExit destroyEdit([this, edit, alive] {
            if (!IsWindow(edit))
                return;
            WNDPROC old = alive.expired() ? nullptr : FOldWndProc;
            SetWindowLongPtrW(edit, GWLP_USERDATA, 0);
            if (old)
                SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(old));
            DestroyWindow(edit);
            if (!alive.expired())
                FEditWnd = nullptr;
        });
        SendMessageW(edit, WM_SETFONT, reinterpret_cast<WPARAM>(FEditFont->GetHandle()), 0);
        SetupEditControl(edit);
        SetWindowPos(edit, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
        ::SetFocus(edit);
        InvalidateRect(edit, nullptr, TRUE);
        // The window that was active keeps an active caption while the EDIT has the focus.
        if (activeWnd && GetActiveWindow() != activeWnd)
            SendMessageW(activeWnd, WM_NCACTIVATE, TRUE, 0);

        FEndState = esRunning;
        item->FActiveEditViewer = this;
        FSubclassMessages = true;
        {
            TScopeExit endEditing([this, item, alive] {
                if (alive.expired())
                    return;
                FSubclassMessages = false;
                if (item->FActiveEditViewer == this)
                    item->FActiveEditViewer = nullptr;
            });
            RunEditLoop(captureWnd, alive);
        }
        if (alive.expired())
            return false;
        text = ReadEditText();
    }
    FEditFont.reset();
    FEditBrush = nullptr;
    FEditColor = clNone;
    if (FEndState == esRunning && item->GetExtendedAccept() && item->ConfirmText(text))
        item->SetText(text);

    window->Invalidate();
    if (GetActiveWindow()) {
        if (focusWnd && IsWindow(focusWnd))
            ::SetFocus(focusWnd);
        if (captureWnd && !GetCapture())
            ::SetCapture(captureWnd);
    }
    if (activeWnd && IsWindow(activeWnd))
        SendMessageW(activeWnd, WM_NCACTIVATE, GetActiveWindow() == activeWnd, 0);
    if (Is<TTBPopupWindow>(window) && window->HandleAllocated())
        SetWindowPos(window->GetWindowHandle(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE);
    FView->Invalidate(this);
    bool closeMenu = (FEndState & esCloseMenu) != 0;
    if (!closeMenu && (FEndState & esCommitted) && (!captureWnd || GetCapture() == captureWnd)) {
        bool backwards = GetKeyState(VK_SHIFT) < 0;
        if (TTBItemViewer* next = FView->StepSelectable(this, !backwards))
            FView->Select(next, false);
    }
    return closeMenu;
}

void TTBEditItemViewer::RunEditLoop(HWND captureWnd, const std::weak_ptr<int>& alive)
{
    TTBEditItem* item = GetEditItem();
    MSG msg{};
    while (!alive.expired() && (FEndState & esRunning) && !FView->ModalClosing() && GetFocus() == FEditWnd &&
           item->GetEnabled()) {
        if (!PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
            WaitMessage();
            continue;
        }
        // A quit stays queued for the loop that owns it.
        if (msg.message == WM_QUIT)
            break;
        if (msg.message == WM_SYSKEYUP && msg.wParam == VK_MENU) {
            FEndState = esClose;
            break;
        }
        if (msg.message == WM_SYSKEYDOWN && msg.wParam != VK_MENU && msg.wParam != VK_SHIFT && msg.wParam != 25 &&
            !IsKeypadDigitScanCode(msg.lParam)) {
            FEndState = esClose;
            break;
        }
        // A click elsewhere ends the editing and is left for whoever it was meant for.
        if (IsMouseButtonMessage(msg.message) && msg.hwnd != FEditWnd)
            break;
        if ((msg.message == WM_MOUSEMOVE || msg.message == WM_NCMOUSEMOVE) && captureWnd) {
            POINT p{};
            GetCursorPos(&p);
            HWND under = WindowFromPoint(p);
            bool overEdit = under == FEditWnd || IsChild(FEditWnd, under);
            if (GetCapture() == captureWnd && overEdit)
                ReleaseCapture();
            else if (!GetCapture() && !overEdit)
                ::SetCapture(captureWnd);
            if (GetCapture() == captureWnd)
                ::SetCursor(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW)));
        }
        if (!PeekMessageW(&msg, msg.hwnd, msg.message, msg.message, PM_REMOVE))
            continue;
        bool mouseForCapture = captureWnd && msg.hwnd == captureWnd && msg.message >= WM_MOUSEFIRST && msg.message <= 0x20A;
        if (!mouseForCapture) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    // Characters the last keys produced are not typed anywhere else.
    FlushMessages(WM_CHAR, WM_DEADCHAR);
    FlushMessages(WM_SYSCHAR, WM_SYSDEADCHAR);
}
