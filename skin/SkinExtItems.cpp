#include "skin/SkinExtItems.h"

#include <algorithm>
#include <limits>
#include <vector>

#include "platform/Filer.h"
#include "platform/ScopeGuards.h"
#include "platform/SysUtils.h"
#include "skin/Skin.h"
#include "skin/SkinLists.h"
#include "skin/SkinPopup.h"
#include "skin/SkinUtils.h"
#include "toolbar/TBCommon.h"
#include "toolbar/TBPopup.h"
#include "toolbar/TBView.h"

SF_IMPLEMENT_COMPONENT(TSkinEditItem, TTBEditItem)
SF_IMPLEMENT_COMPONENT(TSkinCustomDropDownItem, TSkinEditItem)
SF_IMPLEMENT_COMPONENT(TSkinComboBoxItem, TSkinCustomDropDownItem)
SF_IMPLEMENT_ABSTRACT(TSkinEditItemViewer, TTBEditItemViewer)
SF_IMPLEMENT_ABSTRACT(TSkinDropDownItemViewer, TSkinEditItemViewer)
SF_IMPLEMENT_COMPONENT(TSkinLabelItem, TTBCustomItem)
SF_IMPLEMENT_ABSTRACT(TSkinLabelItemViewer, TSkinItemViewer)

namespace {

// Keys whose typing completes the text: space, digits and letters, the numeric keypad, OEM keys.
bool IsTypingKey(WPARAM key)
{
    return key == VK_SPACE || (key >= 48 && key <= 90) || (key >= 96 && key <= 111) || (key >= 186 && key <= 245);
}

// The view's font with the settings laid over it, on the canvas.
void SelectFontWithSettings(TCanvas* canvas, TTBView* view, const TFontSettings* settings)
{
    if (TFont* font = view->ResolveFont())
        canvas->GetFont()->Assign(font);
    if (!settings->IsDefault())
        settings->Apply(canvas->GetFont());
    canvas->RequiredState(TCanvas::csHandleValid | TCanvas::csFontValid);
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Password character

uint32_t ComCtlProductVersion(const char* fileName)
{
    constexpr uint32_t unknown = 0xFFFFFFFF;
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeA(fileName, &handle);
    if (size == 0)
        return unknown;
    std::vector<BYTE> data(size);
    if (!GetFileVersionInfoA(fileName, 0, size, data.data()))
        return unknown;
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&info), &length) || !info ||
        length < sizeof(VS_FIXEDFILEINFO))
        return unknown;
    return info->dwProductVersionMS;
}

wchar_t EditPasswordChar()
{
    // The library in the process does not change while it runs: read its version once.
    static const wchar_t passwordChar = ComCtlProductVersion() < 0x60000 ? L'*' : L'\x25CF';
    return passwordChar;
}

// ---------------------------------------------------------------------------------------------
// TSkinEditItem

TSkinEditItem::TSkinEditItem(TComponent* owner)
    : TTBEditItem(owner),
      FEditorFontSettings(New<TFontSettings>(this, TNotifyEvent(this, &TSkinEditItem::FontSettingsChanged))),
      FFontSettings(New<TFontSettings>(this, TNotifyEvent(this, &TSkinEditItem::FontSettingsChanged)))
{
}

void TSkinEditItem::SetAlignment(TAlignment value)
{
    if (FAlignment == value)
        return;
    FAlignment = value;
    Change(true);
}

void TSkinEditItem::SetShowImage(bool value)
{
    if (FShowImage == value)
        return;
    FShowImage = value;
    Change(true);
}

void TSkinEditItem::SetPassword(bool value)
{
    if (FPassword == value)
        return;
    FPassword = value;
    Change(true);
}

void TSkinEditItem::AfterTextChange()
{
    TTBEditItem::AfterTextChange();
    OnChange(this);
}

TTBItemViewerClass TSkinEditItem::QueryViewerClass(TTBView* view)
{
    // A vertical view shows the item as a button unless the options ask for the field.
    if (view && view->GetOrientation() == TTBViewAxis::vaVertical && !(GetEditOptions() & tboUseEditWhenVertical))
        return ViewerClassOf<TSkinItemViewer>();
    return FieldViewerClass();
}

TTBItemViewerClass TSkinEditItem::FieldViewerClass()
{
    return ViewerClassOf<TSkinEditItemViewer>();
}

TTBPopupWindowClass TSkinEditItem::QueryPopupWindowClass()
{
    return PopupWindowClassOf<TSkinPopupWindow>();
}

void TSkinEditItem::PlacePopup(TTBView* parentView, TTBPopupWindow* popupWindow, TTBPopupPlacement& placement)
{
    TTBEditItem::PlacePopup(parentView, popupWindow, placement);
    // A list drops down silently; other popups sound as menus do.
    placement.WithSound = !popupWindow || ViewKindOf(GetViewTypeOfControl(popupWindow)) != vtListPopup;
}

void TSkinEditItem::DefineProperties(TFiler* filer)
{
    TTBEditItem::DefineProperties(filer);
    // Older forms keep a password character; any but #0 makes a password field.
    filer->DefineProperty(
        "PasswordChar",
        [this](TReader* reader) {
            const std::wstring value = ReadWideStringProp(reader);
            if (!value.empty() && value[0] != L'\0')
                SetPassword(true);
        },
        nullptr, false);
}

// ---------------------------------------------------------------------------------------------
// TSkinCustomDropDownItem

TSkinCustomDropDownItem::TSkinCustomDropDownItem(TComponent* owner) : TSkinEditItem(owner), FSelectFirstItem(true)
{
    SetItemStyle(TTBItemTraits((GetItemStyle() | isSubmenu | isSplitButton) & ~isNeverFirst));
}

void TSkinCustomDropDownItem::SetDropDownList(bool value)
{
    if (FDropDownList == value)
        return;
    FDropDownList = value;
    Change(false);
}

TTBItemViewerClass TSkinCustomDropDownItem::FieldViewerClass()
{
    return ViewerClassOf<TSkinDropDownItemViewer>();
}

TTBPopupWindow* TSkinCustomDropDownItem::OpenPopupWindow(TTBView* parentView, TTBItemViewer* parentViewer,
                                                         bool asSubmenu, bool selectFirstItem, bool customizing,
                                                         POINT popupPoint, TPopupAlignment alignment)
{
    return TSkinEditItem::OpenPopupWindow(parentView, parentViewer, asSubmenu, selectFirstItem || FSelectFirstItem,
                                          customizing, popupPoint, alignment);
}

// ---------------------------------------------------------------------------------------------
// TSkinComboBoxItem

TSkinComboBoxItem::TSkinComboBoxItem(TComponent* owner) : TSkinCustomDropDownItem(owner)
{
    FList = GetStringListClass()->Create(nullptr);
    FList->SetMinWidth(64);
    FList->OnChange = TNotifyEvent(this, &TSkinComboBoxItem::ListChanged);
    FList->OnClick = TNotifyEvent(this, &TSkinComboBoxItem::ListClicked);
    FList->OnAdjustImageIndex = TSkinLAdjustImageIndex(this, &TSkinComboBoxItem::ListAdjustImageIndex);
    // Items built in code are never loaded: the list goes into the drop-down at once.
    ShowListInPopup();
}

void TSkinComboBoxItem::BeforeDestruction()
{
    // A list that is no subitem (at design time) is not freed with the subitems.
    if (FList && FList->GetParent() != this)
        FList->Free();
    FList = nullptr;
    TSkinCustomDropDownItem::BeforeDestruction();
}

TSkinStringListClass TSkinComboBoxItem::GetStringListClass()
{
    return TBClassRefOf<TSkinStringList, TSkinStringList, TComponent*>();
}

void TSkinComboBoxItem::ShowListInPopup()
{
    if (!HasState(csDesigning) && IndexOf(FList) < 0)
        Add(FList);
}

TStringListW* TSkinComboBoxItem::GetLines() const
{
    return FList->GetLines();
}

void TSkinComboBoxItem::SetLines(TStringListW* value)
{
    FList->SetLines(value);
}

int TSkinComboBoxItem::GetItemIndex() const
{
    return FList->GetItemIndex();
}

void TSkinComboBoxItem::SetItemIndex(int value)
{
    FList->SetItemIndex(value);
}

int TSkinComboBoxItem::GetMaxVisibleItems() const
{
    return FList->GetMaxVisibleItems();
}

void TSkinComboBoxItem::SetMaxVisibleItems(int value)
{
    FList->SetMaxVisibleItems(value);
}

int TSkinComboBoxItem::GetMaxListWidth() const
{
    return FList->GetMaxWidth();
}

void TSkinComboBoxItem::SetMaxListWidth(int value)
{
    FList->SetMaxWidth(value);
}

int TSkinComboBoxItem::GetMinListWidth() const
{
    return FList->GetMinWidth();
}

void TSkinComboBoxItem::SetMinListWidth(int value)
{
    FList->SetMinWidth(value);
}

bool TSkinComboBoxItem::GetShowListImages() const
{
    return FList->GetShowImages();
}

void TSkinComboBoxItem::SetShowListImages(bool value)
{
    FList->SetShowImages(value);
}

void TSkinComboBoxItem::ListChanged(TObject*)
{
    FImageIndexValid = false;
    DoListChange();
}

void TSkinComboBoxItem::ListClicked(TObject*)
{
    FImageIndexValid = false;
    DoItemClick();
}

void TSkinComboBoxItem::ListAdjustImageIndex(TObject*, int index, int& imageIndex)
{
    DoAdjustImageIndex(GetLines()->GetString(index), index, imageIndex);
}

void TSkinComboBoxItem::DoAdjustImageIndex(const std::wstring& text, int index, int& imageIndex)
{
    OnAdjustImageIndex(this, text, index, imageIndex);
}

void TSkinComboBoxItem::DoListChange()
{
    const int index = FList->GetItemIndex();
    if (index < 0 || index >= GetLines()->GetCount())
        return;
    const std::wstring& line = GetLines()->GetString(index);
    if (line != GetText())
        SetText(line);
}

void TSkinComboBoxItem::DoItemClick()
{
    OnItemClick(this);
}

void TSkinComboBoxItem::Change(bool needResize)
{
    // The image follows the item's image, its text and its list through OnAdjustImageIndex.
    FImageIndexValid = false;
    TSkinCustomDropDownItem::Change(needResize);
}

int TSkinComboBoxItem::GetEditImageIndex()
{
    if (FImageIndexValid)
        return FCachedImageIndex;
    int imageIndex = GetImageIndex();
    if (FList->GetItemIndex() >= 0)
        imageIndex = FList->GetItemIndex();
    DoAdjustImageIndex(GetText(), -1, imageIndex);
    FCachedImageIndex = imageIndex;
    FImageIndexValid = true;
    return imageIndex;
}

bool TSkinComboBoxItem::DoAutoComplete(std::wstring& text)
{
    if (!FAutoComplete || text.empty())
        return false;
    const size_t n = text.size();
    const TStringListW* lines = GetLines();
    int found = -1;
    size_t foundLength = std::numeric_limits<size_t>::max();
    for (int i = 0; i < lines->GetCount(); ++i) {
        const std::wstring& line = lines->GetString(i);
        // The shortest line that starts with the text wins; the first of equal length.
        if (line.size() < n || line.size() >= foundLength)
            continue;
        if (CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, line.c_str(), int(n), text.c_str(), int(n)) !=
            CSTR_EQUAL)
            continue;
        found = i;
        foundLength = line.size();
        if (foundLength == n)
            break;
    }
    if (found < 0)
        return false;
    text = lines->GetString(found);
    return true;
}

void TSkinComboBoxItem::RaisePopupEvent(TTBCustomItem* sender, bool fromLink)
{
    // The list opens on the line that shows in the field, or on none.
    FList->SetItemIndex(GetLines()->IndexOf(GetText()));
    TSkinCustomDropDownItem::RaisePopupEvent(sender, fromLink);
}

void TSkinComboBoxItem::GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root)
{
    TSkinCustomDropDownItem::GetChildren(
        [this, &proc](TComponent* child) {
            if (child != FList)
                proc(child);
        },
        root);
}

void TSkinComboBoxItem::Loaded()
{
    TSkinCustomDropDownItem::Loaded();
    const int index = GetLines()->IndexOf(GetText());
    if (index >= 0)
        FList->SetItemIndex(index);
    ShowListInPopup();
}

void TSkinComboBoxItem::DefineProperties(TFiler* filer)
{
    TSkinCustomDropDownItem::DefineProperties(filer);
    filer->DefineProperty(
        "Strings", [this](TReader* reader) { GetLines()->ReadStrings(reader); }, nullptr, false);
}

// ---------------------------------------------------------------------------------------------
// TSkinEditItemViewer

bool TSkinEditItemViewer::UsesToolbarSize()
{
    return TTBEditItemViewer::UsesToolbarSize() || InEditPopup(FView);
}

bool TSkinEditItemViewer::UsesToolbarStyle()
{
    return TTBEditItemViewer::UsesToolbarStyle() || InEditPopup(FView);
}

TSkinItemDrawInfo TSkinEditItemViewer::MakeItemInfo(bool isSelected, bool isPushed)
{
    TSkinItemDrawInfo info;
    info.ViewKind = GetViewTypeOfItemOwner(FView);
    const bool toolbarStyle = UsesToolbarStyle();
    if (toolbarStyle)
        info.ItemFlags |= ifToolbarStyle;
    if (FItem->HasState(csDesigning))
        info.ItemFlags |= ifShowFrame;
    info.Enabled = FItem->GetEnabled() || FView->GetCustomizing();
    info.Pushed = isPushed;
    info.Checked = FItem->GetChecked();
    if (isSelected)
        info.HotState = uint8_t(info.Enabled ? 2 : 1);
    if (!toolbarStyle)
        info.ImageColumnWidth = ComputeImageColumn(this);
    return info;
}

TSkinEditInfo TSkinEditItemViewer::MakeEditInfo(const TSkinItemDrawInfo&)
{
    TSkinEditInfo edit;
    TCustomImageList* images = GetImageList();
    if (GetSkinEditItem()->GetShowImage() && images)
        edit.LeftWidth = images->GetWidth() + 2;
    return edit;
}

int TSkinEditItemViewer::CaptionPartWidth(TCanvas* canvas)
{
    const std::wstring& caption = GetSkinEditItem()->GetEditCaption();
    if (UsesToolbarStyle() || caption.empty())
        return 0;
    SelectCaptionFont(canvas);
    int width = GetTextWidthW(canvas->GetHandle(), caption, true);
    if (width <= 0)
        return 0;
    width += SkinMetric(imMenuTextSpacing) + SkinMetric(imMenuTextEndSpacing) + SkinMetric(imMenuImageSpacing);
    return width + SkinMetric(imMenuImageSpacing) + ComputeImageColumn(this) + SkinMetric(imEditExtraWidth);
}

void TSkinEditItemViewer::SelectCaptionFont(TCanvas* canvas)
{
    SelectFontWithSettings(canvas, FView, GetSkinEditItem()->GetFontSettings());
}

void TSkinEditItemViewer::SelectEditorFont(TCanvas* canvas)
{
    SelectFontWithSettings(canvas, FView, GetSkinEditItem()->GetEditorFontSettings());
}

RECT TSkinEditItemViewer::BoxRect()
{
    RECT r = GetBoundsRect();
    TMemoryDC dc;
    std::unique_ptr<TCanvas, TObjectFree> canvas(New<TCanvas>());
    canvas->SetHandle(dc.Get());
    r.left += CaptionPartWidth(canvas.get());
    canvas->SetHandle(nullptr);
    return r;
}

void TSkinEditItemViewer::MeasureSize(TCanvas* canvas, int& width, int& height)
{
    TSkinEditItem* item = GetSkinEditItem();
    width = item->GetEditWidth();
    int captionHeight = 0;
    if (const int captionPart = CaptionPartWidth(canvas); captionPart > 0) {
        width += captionPart;
        captionHeight = CanvasTextMetrics(canvas).tmHeight;
    }
    SelectEditorFont(canvas);
    const int inset = SkinMetric(imEditVertInset) + SkinMetric(imEditFrameWidth);
    height = std::max(captionHeight, int(CanvasTextMetrics(canvas).tmHeight) + 1 + 2 * inset);
    // The theme wants the field's height even or odd, so that its button's arrow centres.
    const bool even = CurrentTheme()->QueryBooleanMetric(bmEvenEditHeight);
    if ((height % 2 == 0) != even)
        ++height;
}

void TSkinEditItemViewer::Paint(TCanvas* canvas, const RECT& clientAreaRect, bool isSelected, bool isPushed, bool)
{
    TSkinEditItem* item = GetSkinEditItem();
    TSkinTheme* theme = CurrentTheme();
    const TSkinItemDrawInfo info = MakeItemInfo(isSelected, isPushed);
    const TSkinEditInfo edit = MakeEditInfo(info);
    RECT box = clientAreaRect;
    if (const int captionPart = CaptionPartWidth(canvas); captionPart > 0) {
        RECT caption{clientAreaRect.left + SkinMetric(imMenuImageSpacing) + info.ImageColumnWidth +
                         SkinMetric(imMenuTextSpacing),
                     clientAreaRect.top, clientAreaRect.left + captionPart, clientAreaRect.bottom};
        const TColor color = theme->QueryItemTextColor(info);
        canvas->GetFont()->SetColor(color);
        canvas->RequiredState(TCanvas::csHandleValid | TCanvas::csFontValid);
        theme->DrawItemText(canvas->GetHandle(), caption, info, item->GetEditCaption(), DT_SINGLELINE | DT_VCENTER,
                            color);
        box.left += captionPart;
    }
    HDC dc = canvas->GetHandle();
    theme->DrawEditItem(dc, box, info, edit);

    const int frame = SkinMetric(imEditFrameWidth);
    TCustomImageList* images = GetImageList();
    const int imageIndex = item->GetShowImage() && images ? item->GetEditImageIndex() : -1;
    if (imageIndex >= 0 && imageIndex < images->GetCount()) {
        const int top = (box.top + box.bottom - images->GetHeight()) / 2;
        const int left = box.left + frame + 1;
        theme->DrawImageForState(dc, RECT{left, top, left + images->GetWidth(), top + images->GetHeight()}, info,
                                 images, imageIndex);
    }
    // While the EDIT is open it shows the text itself.
    if (GetEditWnd() || item->GetText().empty())
        return;
    RECT text = box;
    text.left += SkinMetric(imEditHorzInset) + frame + edit.LeftWidth;
    text.right -= SkinMetric(imEditHorzInset) + frame + edit.RightWidth;
    text.top += SkinMetric(imEditVertInset) + frame;
    text.bottom -= SkinMetric(imEditVertInset) + frame;
    SelectEditorFont(canvas);
    TColor color = canvas->GetFont()->GetColor();
    if (!info.Enabled)
        color = clGrayText;
    else if (item->GetEditorFontSettings()->GetColor() == clNone)
        color = clWindowText;
    const std::wstring shown =
        item->GetPassword() ? WideStringOfChar(EditPasswordChar(), int(item->GetText().size())) : item->GetText();
    DrawWideText(canvas->GetHandle(), shown, text, color,
                 DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | AlignmentFlag(item->GetAlignment()));
}

void TSkinEditItemViewer::GetEditControlStyle(DWORD& style)
{
    TSkinEditItem* item = GetSkinEditItem();
    style |= item->GetAlignment() == taRightJustify ? ES_RIGHT : item->GetAlignment() == taCenter ? ES_CENTER : ES_LEFT;
    if (item->GetPassword())
        style |= ES_PASSWORD;
}

void TSkinEditItemViewer::ApplyEditFont(TFont* font)
{
    const TFontSettings* settings = GetSkinEditItem()->GetEditorFontSettings();
    if (!settings->IsDefault())
        settings->Apply(font);
}

void TSkinEditItemViewer::EditFieldBounds(RECT& r)
{
    r = BoxRect();
    const TSkinEditInfo edit = MakeEditInfo(MakeItemInfo(false, false));
    r.left += edit.LeftWidth;
    r.right -= edit.RightWidth;
}

void TSkinEditItemViewer::GetEditMargins(RECT& margins)
{
    const int frame = SkinMetric(imEditFrameWidth);
    const int horz = SkinMetric(imEditHorzInset) + frame;
    const int vert = SkinMetric(imEditVertInset) + frame;
    margins = RECT{horz, vert, horz, vert};
}

void TSkinEditItemViewer::SetupEditControl(HWND editWnd)
{
    TTBEditItemViewer::SetupEditControl(editWnd);
    TSkinEditItem* item = GetSkinEditItem();
    if (item->GetReadOnly())
        SendMessageW(editWnd, EM_SETREADONLY, 1, 0);
    if (!item->GetPassword())
        return;
    const wchar_t passwordChar = EditPasswordChar();
    if (IsWindowUnicode(editWnd)) {
        SendMessageW(editWnd, EM_SETPASSWORDCHAR, passwordChar, 0);
        return;
    }
    const std::string narrow = WideToAnsi(std::wstring(1, passwordChar));
    if (!narrow.empty())
        SendMessageA(editWnd, EM_SETPASSWORDCHAR, static_cast<BYTE>(narrow[0]), 0);
}

bool TSkinEditItemViewer::EditMessageHook(TMessage& m)
{
    switch (m.Msg) {
    case WM_KEYDOWN:
        FTypingKey = IsTypingKey(m.WParam);
        GetSkinEditItem()->DoTyping(WORD(m.WParam));
        return false;
    case WM_KEYUP:
        FTypingKey = IsTypingKey(m.WParam);
        return false;
    case WM_CHAR: {
        // Tab, Enter and Escape end the editing; only printable characters typed with a typing
        // key complete the text.
        if (!FTypingKey || m.WParam < 0x20)
            return false;
        const std::wstring before = ReadEditText();
        m.Result = CallPreviousEditProc(m.Msg, m.WParam, m.LParam);
        CompleteTypedText(before);
        return true;
    }
    default:
        return false;
    }
}

void TSkinEditItemViewer::CompleteTypedText(const std::wstring& before)
{
    const std::wstring typed = ReadEditText();
    if (typed == before || typed.empty())
        return;
    std::wstring completed = typed;
    if (!GetSkinEditItem()->DoAutoComplete(completed))
        return;
    HWND edit = GetEditWnd();
    SetWindowTextW(edit, completed.c_str());
    // Further typing replaces the completed part.
    SendMessageW(edit, EM_SETSEL, typed.size(), LPARAM(completed.size()));
}

// ---------------------------------------------------------------------------------------------
// TSkinDropDownItemViewer

int TSkinDropDownItemViewer::ButtonWidth()
{
    return UsesToolbarStyle() ? SkinMetric(imDropDownButtonWidth) : GetSystemMetrics(SM_CXMENUCHECK) + 2;
}

TSkinEditInfo TSkinDropDownItemViewer::MakeEditInfo(const TSkinItemDrawInfo& info)
{
    TSkinEditInfo edit = TSkinEditItemViewer::MakeEditInfo(info);
    edit.RightWidth = ButtonWidth();
    edit.Button.Kind = ebDropDown;
    if (!info.Enabled)
        edit.Button.State |= ebsDisabled;
    if (info.HotState == 2)
        edit.Button.State |= ebsHot;
    if (info.Pushed)
        edit.Button.State |= ebsPushed;
    return edit;
}

bool TSkinDropDownItemViewer::PerformExecute()
{
    // A list-only field is never typed into: running it drops the list.
    if (!GetDropDownItem()->GetDropDownList())
        return TSkinEditItemViewer::PerformExecute();
    ToggleDropDown();
    return false;
}

bool TSkinDropDownItemViewer::PointInButtonPart(int x, int)
{
    if (GetDropDownItem()->GetDropDownList())
        return false;
    return x < (GetBoundsRect().right - GetBoundsRect().left) - ButtonWidth();
}

void TSkinDropDownItemViewer::GetCursor(POINT p, HCURSOR& cursor)
{
    // A list-only field is clicked, not typed into.
    if (!GetDropDownItem()->GetDropDownList())
        TSkinEditItemViewer::GetCursor(p, cursor);
}

void TSkinDropDownItemViewer::ToggleDropDown()
{
    if (FView->GetOpenedViewer() == this) {
        FView->HideChildPopups();
        return;
    }
    if (FView->GetSelected() != this)
        FView->Select(this, false);
    FView->ShowChildPopup(true);
}

void TSkinDropDownItemViewer::KeyDown(WORD& key, TShiftState shift)
{
    if (key == VK_F4 || (key == VK_DOWN && (shift & ssAlt))) {
        key = 0;
        ToggleDropDown();
    }
}

bool TSkinDropDownItemViewer::EditMessageHook(TMessage& m)
{
    if (m.Msg == WM_KEYDOWN && (m.WParam == VK_UP || m.WParam == VK_DOWN)) {
        if (auto* combo = dynamic_cast<TSkinComboBoxItem*>(FItem)) {
            // Up and Down step through the lines without opening the list.
            const int last = combo->GetLines()->GetCount() - 1;
            if (last >= 0) {
                const int index = combo->GetItemIndex();
                combo->SetItemIndex(m.WParam == VK_UP ? std::max(index - 1, 0) : std::min(index + 1, last));
            }
            SendMessageW(GetEditWnd(), EM_SETSEL, 0, -1);
            m.Result = 0;
            return true;
        }
    }
    if (m.Msg == WM_KEYDOWN && m.WParam == VK_F4) {
        ToggleDropDown();
        m.Result = 0;
        return true;
    }
    return TSkinEditItemViewer::EditMessageHook(m);
}

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
