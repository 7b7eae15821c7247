#include "unicode/UniMenus.h"

#include <optional>

#include "platform/ShortCuts.h"
#include "platform/SysUtils.h"
#include "unicode/UniActnList.h"
#include "unicode/UniControls.h"
#include "unicode/UniForms.h"

SF_IMPLEMENT_ABSTRACT(TUniMenuActionLink, TMenuActionLink)
SF_IMPLEMENT_COMPONENT(TUniMenuItem, TMenuItem)
SF_IMPLEMENT_ABSTRACT(TUniPopupList, TPopupList)

void InitUniMenus()
{
    if (PopupList && !Is<TUniPopupList>(PopupList))
        PopupList = New<TUniPopupList>(PopupList);
}

void DoneUniMenus()
{
    if (!Is<TUniPopupList>(PopupList))
        return;
    auto* list = static_cast<TUniPopupList*>(PopupList);
    PopupList = list->GetOriginal();
    list->Free();
}

// ---- Hot keys ----

size_t FindHotkeyIndex(const std::wstring& caption)
{
    for (size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] != L'&')
            continue;
        if (i + 1 < caption.size() && caption[i + 1] == L'&') {
            ++i;
            continue;
        }
        return i;
    }
    return std::wstring::npos;
}

wchar_t ExtractHotkeyChar(const std::wstring& caption)
{
    size_t index = FindHotkeyIndex(caption);
    return index == std::wstring::npos || index + 1 >= caption.size() ? L'\0' : caption[index + 1];
}

bool IsFarEastLocale()
{
    return GetSystemMetrics(SM_DBCSENABLED) != 0;
}

namespace {
// The marks of a caption stripped: "&x" is "x", "&&" is "&", a last lone "&" goes.
std::wstring StripMarks(const std::wstring& caption)
{
    std::wstring result;
    result.reserve(caption.size());
    for (size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == L'&' && ++i >= caption.size())
            break;
        result += caption[i];
    }
    return result;
}
}

std::wstring RemoveHotkeyMark(const std::wstring& caption, bool farEast)
{
    size_t index = FindHotkeyIndex(caption);
    if (farEast && index != std::wstring::npos && index >= 2 && caption[index - 1] == L'(' &&
        index + 2 < caption.size() && caption[index + 2] == L')')
        return StripMarks(caption.substr(0, index - 1) + caption.substr(index + 3));
    return StripMarks(caption);
}

std::wstring RemoveHotkeyMark(const std::wstring& caption)
{
    return RemoveHotkeyMark(caption, IsFarEastLocale());
}

bool CaptionsMatch(const std::wstring& a, const std::wstring& b)
{
    return WideSameText(RemoveHotkeyMark(a), RemoveHotkeyMark(b));
}

bool CaptionsMatchWithCase(const std::wstring& a, const std::wstring& b)
{
    return RemoveHotkeyMark(a) == RemoveHotkeyMark(b);
}

std::wstring ShortCutToWideText(TShortCut shortCut)
{
    WORD key = shortCut & 0xFF;
    // The keys the class library names itself.
    bool named = key == VK_BACK || key == VK_TAB || key == VK_RETURN || key == VK_ESCAPE ||
                 (key >= VK_SPACE && key <= VK_DOWN) || key == VK_INSERT || key == VK_DELETE;
    if (!IsUnicodePlatform() || named || key == 0)
        return WidenText(ShortCutToText(shortCut));
    std::wstring name;
    auto ch = static_cast<wchar_t>(MapVirtualKeyW(key, MAPVK_VK_TO_CHAR) & 0xFFFF);
    bool letterOrDigit = (ch >= L'0' && ch <= L'9') || IsCharAlphaW(ch);
    if (ch && letterOrDigit && (VkKeyScanW(ch) & 0xFF) == key) {
        name.assign(1, ch);
    } else {
        wchar_t buffer[512] = {};
        LONG scan = static_cast<LONG>(MapVirtualKeyW(key, MAPVK_VK_TO_VSC)) << 16;
        int length = GetKeyNameTextW(scan, buffer, 512);
        name.assign(buffer, static_cast<size_t>(std::max(length, 0)));
    }
    if (name.empty())
        return WidenText(ShortCutToText(shortCut));
    std::wstring prefix;
    if (shortCut & scShift)
        prefix += L"Shift+";
    if (shortCut & scCtrl)
        prefix += L"Ctrl+";
    if (shortCut & scAlt)
        prefix += L"Alt+";
    return prefix + name;
}

namespace {
// The rebuilt caption, or nothing when the 8-bit caption names other text.
std::optional<std::wstring> TrySyncHotKeyPosition(const std::wstring& wide, const std::string& ansi)
{
    std::wstring text = StripMarks(wide);
    if (NarrowText(text) != StripHotkey(ansi))
        return std::nullopt;
    // Walk the 8-bit caption: its marks go into the result, each of its characters takes the
    // next wide one.
    UINT codePage = GetSavedAnsiCodePage();
    std::wstring result;
    size_t next = 0;
    for (size_t i = 0; i < ansi.size(); ++i) {
        if (ansi[i] == '&') {
            result += L'&';
            if (i + 1 < ansi.size() && ansi[i + 1] == '&') {
                ++i;
                result += L'&';
                ++next;
            }
            continue;
        }
        if (IsDBCSLeadByteEx(codePage, static_cast<BYTE>(ansi[i])) && i + 1 < ansi.size())
            ++i;
        if (next < text.size())
            result += text[next++];
    }
    result += text.substr(std::min(next, text.size()));
    if (NarrowText(result) != ansi)
        return std::nullopt;
    return result;
}
}

std::wstring SyncHotKeyPosition(const std::wstring& wideCaption, const std::string& ansiCaption)
{
    if (std::optional<std::wstring> result = TrySyncHotKeyPosition(wideCaption, ansiCaption))
        return *result;
    throw EUniInternalError(WideFormat(L"Internal Error: SyncHotKeyPosition Failed (\"%ls\" <> \"%ls\").",
                                       wideCaption.c_str(), WidenText(ansiCaption).c_str()));
}

// ---- TUniMenuActionLink ----

bool TUniMenuActionLink::IsCaptionLinked()
{
    return TActionLink::IsCaptionLinked() &&
           CaptionsMatch(static_cast<TUniMenuItem*>(FClient)->GetCaption(), CommittedActionCaption(CustomAction()));
}

bool TUniMenuActionLink::IsHintLinked()
{
    return TActionLink::IsHintLinked() &&
           static_cast<TUniMenuItem*>(FClient)->GetHint() == CommittedActionHint(CustomAction());
}

void TUniMenuActionLink::SetCaption(const std::string& value)
{
    if (IsCaptionLinked())
        static_cast<TUniMenuItem*>(FClient)->SetCaption(IncomingActionCaption(CustomAction(), value));
}

void TUniMenuActionLink::SetHint(const std::string& value)
{
    if (IsHintLinked())
        static_cast<TUniMenuItem*>(FClient)->SetHint(IncomingActionHint(CustomAction(), value));
}

// ---- TUniMenuItem ----

std::wstring TUniMenuItem::GetCaption()
{
    TWideControlHelper* helper = FindWideControlHelper(this);
    const std::string& ansi = TMenuItem::GetCaption();
    if (!helper)
        return WidenText(ansi);
    std::wstring& wide = helper->Caption();
    if (NarrowText(wide) == ansi)
        return wide;
    std::optional<std::wstring> synced = TrySyncHotKeyPosition(wide, ansi);
    wide = synced ? *synced : WidenText(ansi);
    return wide;
}

void TUniMenuItem::SetCaption(const std::wstring& value)
{
    WriteSyncedWide(GetWideControlHelper(this)->Caption(), value, TMenuItem::GetCaption(),
                    [this](const std::string& text) { TMenuItem::SetCaption(text); });
}

std::wstring TUniMenuItem::GetHint()
{
    TWideControlHelper* helper = FindWideControlHelper(this);
    if (!helper)
        return WidenText(TMenuItem::GetHint());
    return ReadSyncedWide(helper->Hint(), TMenuItem::GetHint());
}

void TUniMenuItem::SetHint(const std::wstring& value)
{
    WriteSyncedWide(GetWideControlHelper(this)->Hint(), value, TMenuItem::GetHint(),
                    [this](const std::string& text) { TMenuItem::SetHint(text); });
}

void TUniMenuItem::InitiateAction()
{
    if (FLayout && GetKeyboardLayout(0) != FLayout)
        MenuChanged();
    TMenuItem::InitiateAction();
}

void TUniMenuItem::Loaded()
{
    TMenuItem::Loaded();
    UpdateNativeTexts();
}

void TUniMenuItem::MenuChanged()
{
    TMenuItem::MenuChanged();
    UpdateNativeTexts();
}

void TUniMenuItem::ActionChange(TObject* sender, bool checkDefaults)
{
    if (auto* action = dynamic_cast<TCustomAction*>(sender)) {
        if (!checkDefaults || GetCaption().empty())
            SetCaption(GetActionCaption(action));
        if (!checkDefaults || GetHint().empty())
            SetHint(GetActionHint(action));
    }
    TMenuItem::ActionChange(sender, checkDefaults);
}

TMenuActionLink* TUniMenuItem::CreateActionLink()
{
    return New<TUniMenuActionLink>(this);
}

bool TUniMenuItem::IsTopOfMainMenu() const
{
    return GetParent() && !GetParent()->GetParent() && Is<TMainMenu>(GetParentMenu());
}

void TUniMenuItem::UpdateNativeTexts()
{
    if (HasState(csLoading) || HasState(csDestroying))
        return;
    TMenuItem* parent = GetParent();
    if (parent && parent->HandleAllocated() && GetVisible()) {
        UINT position = 0;
        for (int i = 0; i < parent->Count() && parent->GetItem(i) != this; ++i)
            if (parent->GetItem(i)->GetVisible())
                ++position;
        NativeItemBuilt(parent->GetHandle(), position);
    }
    for (int i = 0; i < Count(); ++i)
        if (auto* item = dynamic_cast<TUniMenuItem*>(GetItem(i)))
            item->UpdateNativeTexts();
}

void TUniMenuItem::NativeItemBuilt(HMENU menu, UINT position)
{
    if (!IsUnicodePlatform() || !GetVisible() || !GetParent() || !GetParentMenu() || HasState(csLoading) ||
        HasState(csDestroying))
        return;
    MENUITEMINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_FTYPE;
    if (!GetMenuItemInfoW(menu, position, TRUE, &info) || (info.fType & (MFT_BITMAP | MFT_OWNERDRAW | MFT_SEPARATOR)))
        return;
    FLayout = GetKeyboardLayout(0);
    std::wstring text = GetCaption();
    if (GetShortCut() && !IsTopOfMainMenu())
        text += L"\t" + ShortCutToWideText(GetShortCut());
    int length = GetMenuStringW(menu, position, nullptr, 0, MF_BYPOSITION);
    std::wstring current(static_cast<size_t>(std::max(length, 0)) + 1, L'\0');
    length = GetMenuStringW(menu, position, current.data(), length + 1, MF_BYPOSITION);
    current.resize(static_cast<size_t>(std::max(length, 0)));
    if (current == text)
        return;
    info.fMask = MIIM_STRING;
    info.dwTypeData = text.data();
    info.cch = static_cast<UINT>(text.size());
    if (!SetMenuItemInfoW(menu, position, TRUE, &info))
        RaiseLastOSError("SetMenuItemInfo");
    if (IsTopOfMainMenu()) {
        TWinControl* window = static_cast<TMainMenu*>(GetParentMenu())->GetWindow();
        if (window && window->HandleAllocated())
            DrawMenuBar(window->GetWindowHandle());
    }
}

// ---- TUniPopupList ----

TUniPopupList::TUniPopupList(TPopupList* original) : FOriginal(original)
{
    for (int i = 0; i < original->Count(); ++i)
        Add(original->Get(i));
}

TUniPopupList::~TUniPopupList()
{
    RestoreOriginal();
}

void TUniPopupList::RestoreOriginal()
{
    while (FOriginal->Count() > 0)
        FOriginal->Remove(FOriginal->Get(0));
    for (int i = 0; i < Count(); ++i)
        FOriginal->Add(Get(i));
}

void TUniPopupList::WndProc(TMessage& m)
{
    switch (m.Msg) {
    case WM_MENUSELECT: {
        bool popup = (HIWORD(m.WParam) & MF_POPUP) != 0;
        UINT_PTR value = popup ? reinterpret_cast<UINT_PTR>(GetSubMenu(reinterpret_cast<HMENU>(m.LParam), LOWORD(m.WParam)))
                               : LOWORD(m.WParam);
        TFindItemKind kind = popup ? TFindItemKind::fkHandle : TFindItemKind::fkCommand;
        TMenuItem* item = nullptr;
        for (int i = 0; i < Count() && !item; ++i)
            item = Get(i)->FindItem(value, kind);
        if (item) {
            auto* uniItem = dynamic_cast<TUniMenuItem*>(item);
            std::wstring hint = uniItem ? uniItem->GetHint() : WidenText(item->GetHint());
            if (UniApplication)
                UniApplication->SetHint(GetLongHint(hint));
            m.Result = 0;
            return;
        }
        if (UniApplication)
            UniApplication->SetHint(std::wstring());
        break;
    }
    case WM_ENTERMENULOOP:
        RestoreOriginal();
        for (int i = 0; i < Count(); ++i) {
            TMenuItem* items = Get(i)->GetItems();
            for (int j = 0; j < items->Count(); ++j)
                if (auto* item = dynamic_cast<TUniMenuItem*>(items->GetItem(j)))
                    item->UpdateNativeTexts();
        }
        break;
    default:
        break;
    }
    TPopupList::WndProc(m);
}
