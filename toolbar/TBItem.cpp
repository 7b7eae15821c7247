#include "toolbar/TBItem.h"

#include <algorithm>

#include "platform/Menus.h"
#include "platform/SysUtils.h"
#include "toolbar/TBCommon.h"
#include "toolbar/TBFramework.h"
#include "toolbar/TBItemViewer.h"

SF_IMPLEMENT_CLASS(TTBImageChangeLink, TChangeLink)
SF_IMPLEMENT_COMPONENT(TTBCustomItem, TComponent)
SF_IMPLEMENT_ABSTRACT(TTBCustomItemActionLink, TActionLink)
SF_IMPLEMENT_COMPONENT(TTBRootItem, TTBCustomItem)
SF_IMPLEMENT_COMPONENT(TTBSeparatorItem, TTBCustomItem)
SF_IMPLEMENT_COMPONENT(TTBControlItem, TTBCustomItem)

namespace {

// Relays through inline groups stop this deep, so a cycle of groups cannot run away.
constexpr int MaxRelayDepth = 11;
// Link hops and levels the shortcut search follows before it gives up.
constexpr int MaxShortCutLevels = 25;

// The options whose change alters an item's size.
constexpr TTBItemOptions LayoutOptions = tboDefault | tboDropdownArrow | tboImageAboveCaption | tboNoRotation |
                                         tboSameWidth | tboToolbarStyle | tboToolbarSize;

const char* const OptionNames[] = {"tboDefault",   "tboDropdownArrow", "tboImageAboveCaption", "tboLongHintInMenuOnly",
                                   "tboNoAutoHint", "tboNoRotation",   "tboSameWidth",        "tboShowHint",
                                   "tboToolbarStyle", "tboToolbarSize"};
const char* const DisplayModeNames[] = {"nbdmDefault", "nbdmTextOnly", "nbdmTextOnlyInMenus", "nbdmImageAndText"};

std::vector<std::string> OptionsToSet(TTBItemOptions options)
{
    std::vector<std::string> names;
    for (size_t bit = 0; bit < std::size(OptionNames); ++bit)
        if (options & (1u << bit))
            names.emplace_back(OptionNames[bit]);
    return names;
}

TTBItemOptions SetToOptions(const std::vector<std::string>& names)
{
    TTBItemOptions options = 0;
    for (const std::string& name : names) {
        auto it = std::find(std::begin(OptionNames), std::end(OptionNames), name);
        if (it == std::end(OptionNames))
            throw EReadError("Invalid item option '" + name + "'");
        options |= static_cast<TTBItemOptions>(1u << (it - std::begin(OptionNames)));
    }
    return options;
}

// The image size a list shows, none for no list.
SIZE ImageSize(const TCustomImageList* list)
{
    return list ? SIZE{list->GetWidth(), list->GetHeight()} : SIZE{0, 0};
}

bool IsOrBelow(const TTBCustomItem* item, const TTBCustomItem* ancestor)
{
    for (; item; item = item->GetParent())
        if (item == ancestor)
            return true;
    return false;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// TTBCustomItem: construction and subitems

struct TTBCustomItem::TNotifyRecord {
    TTBItemChangedProc Proc;
    int RefCount = 1;
    bool Removed = false;
};

TTBCustomItem::TTBCustomItem(TComponent* owner) : TComponent(owner)
{
    TBLiveObjectCreated();
}

TTBCustomItem::~TTBCustomItem()
{
    FNotifyProcs.clear();
    FLinkingItems.clear();
    TBLiveObjectDestroyed();
}

void TTBCustomItem::BeforeDestruction()
{
    RemoveFromPostQueue(this);
    while (!FItems.empty())
        FItems.back()->Free();
    if (FParent)
        FParent->Remove(this);
    if (FLinkSubitems) {
        auto& list = FLinkSubitems->FLinkingItems;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
        FLinkSubitems = nullptr;
    }
    FActionLink.Reset();
    FImagesWatch.reset();
    FSubMenuImagesWatch.reset();
    TComponent::BeforeDestruction();
}

TTBCustomItem* TTBCustomItem::GetItem(int index) const
{
    CheckIndex(index);
    return FItems[static_cast<size_t>(index)];
}

void TTBCustomItem::CheckIndex(int index) const
{
    if (index < 0 || index >= Count())
        throw ETBItemError("Toolbar item index out of range");
}

// The end of a subitems update reaches every listener however the change ends, so that no view
// waits for it forever. Ending normally raises the first failure of a listener; ending while
// another failure unwinds only traces it, since a second exception then would end the program.
class TTBCustomItem::TSubitemsUpdate {
public:
    explicit TSubitemsUpdate(TTBCustomItem* item) : FItem(item) {}
    ~TSubitemsUpdate()
    {
        if (FEnded)
            return;
        if (std::exception_ptr error = FItem->EndSubitemsUpdate())
            TraceException(error);
    }
    TSubitemsUpdate(const TSubitemsUpdate&) = delete;
    TSubitemsUpdate& operator=(const TSubitemsUpdate&) = delete;

    void End()
    {
        FEnded = true;
        if (std::exception_ptr error = FItem->EndSubitemsUpdate())
            std::rethrow_exception(error);
    }

private:
    TTBCustomItem* FItem;
    bool FEnded = false;
};

void TTBCustomItem::Insert(int newIndex, TTBCustomItem* item)
{
    if (item->FParent)
        throw ETBItemError("Toolbar item already inserted");
    // An item inside its own subitems would make the tree a loop.
    if (IsOrBelow(this, item))
        throw ETBItemError("A toolbar item cannot be inserted below itself");
    if (newIndex < 0 || newIndex > Count())
        throw ETBItemError("Toolbar item index out of range");
    FItems.insert(FItems.begin() + newIndex, item);
    item->FParent = this;
    TSubitemsUpdate update(this);
    Notify(TTBItemChangeKind::ickBeginUpdate, -1, nullptr);
    Notify(TTBItemChangeKind::ickInserted, newIndex, item);
    item->UpdateEffectiveOptions();
    update.End();
}

void TTBCustomItem::Delete(int index)
{
    TTBCustomItem* item = GetItem(index);
    Notify(TTBItemChangeKind::ickDeleting, index, item);
    // A listener may have reshaped the list meanwhile: the item is looked up again.
    auto it = std::find(FItems.begin(), FItems.end(), item);
    if (it == FItems.end())
        return;
    item->FParent = nullptr;
    FItems.erase(it);
}

int TTBCustomItem::IndexOf(const TTBCustomItem* item) const
{
    auto it = std::find(FItems.begin(), FItems.end(), item);
    return it == FItems.end() ? -1 : static_cast<int>(it - FItems.begin());
}

void TTBCustomItem::Remove(TTBCustomItem* item)
{
    int index = IndexOf(item);
    if (index >= 0)
        Delete(index);
}

void TTBCustomItem::Move(int curIndex, int newIndex)
{
    if (curIndex == newIndex)
        return;
    CheckIndex(curIndex);
    CheckIndex(newIndex);
    TTBCustomItem* item = FItems[static_cast<size_t>(curIndex)];
    TSubitemsUpdate update(this);
    Notify(TTBItemChangeKind::ickBeginUpdate, -1, nullptr);
    Delete(curIndex);
    Insert(std::min(newIndex, Count()), item);
    update.End();
}

void TTBCustomItem::Clear()
{
    while (!FItems.empty())
        FItems.back()->Free();
}

// ---------------------------------------------------------------------------------------------
// Listeners

void TTBCustomItem::SubscribeChanges(const TTBItemChangedProc& proc)
{
    for (const auto& record : FNotifyProcs)
        if (record->Proc == proc) {
            ++record->RefCount;
            return;
        }
    auto record = std::make_shared<TNotifyRecord>();
    record->Proc = proc;
    FNotifyProcs.push_back(std::move(record));
}

void TTBCustomItem::UnsubscribeChanges(const TTBItemChangedProc& proc)
{
    for (auto it = FNotifyProcs.begin(); it != FNotifyProcs.end(); ++it)
        if ((*it)->Proc == proc) {
            if (--(*it)->RefCount == 0) {
                (*it)->Removed = true;
                FNotifyProcs.erase(it);
            }
            return;
        }
}

void TTBCustomItem::Notify(TTBItemChangeKind kind, int index, TTBCustomItem* item)
{
    NotifyFrom(kind, index, item, 0, this);
}

void TTBCustomItem::RelayToParent(TTBItemChangeKind kind, int index, TTBCustomItem* item, int depth,
                                  TTBCustomItem* from, std::exception_ptr* firstError)
{
    if (depth < MaxRelayDepth && HasTrait(isInlineGroup) && FParent)
        FParent->NotifyFrom(kind, index, item, depth + 1, from, firstError);
}

void TTBCustomItem::NotifyFrom(TTBItemChangeKind kind, int index, TTBCustomItem* item, int depth,
                               TTBCustomItem* relayedFrom, std::exception_ptr* firstError)
{
    RelayToParent(kind, index, item, depth, relayedFrom, firstError);
    // Copies: listeners and relays may add or remove links and listeners (or free them) while
    // the broadcast runs. Nobody is skipped, nobody called twice, and nobody called after
    // leaving.
    std::vector<TTBCustomItem*> linking = FLinkingItems;
    for (TTBCustomItem* link : linking)
        if (link != FParent)
            link->RelayToParent(kind, index, item, depth, relayedFrom != this ? relayedFrom : link, firstError);
    std::vector<std::shared_ptr<TNotifyRecord>> procs = FNotifyProcs;
    bool relayed = relayedFrom != this;
    for (const auto& record : procs) {
        if (record->Removed)
            continue;
        if (!firstError) {
            record->Proc(relayedFrom, relayed, kind, index, item);
            continue;
        }
        try {
            record->Proc(relayedFrom, relayed, kind, index, item);
        } catch (...) {
            if (!*firstError)
                *firstError = std::current_exception();
        }
    }
}

std::exception_ptr TTBCustomItem::EndSubitemsUpdate() noexcept
{
    std::exception_ptr firstError;
    try {
        NotifyFrom(TTBItemChangeKind::ickEndUpdate, -1, nullptr, 0, this, &firstError);
    } catch (...) {
        // Copying a list of listeners ran out of memory.
        if (!firstError)
            firstError = std::current_exception();
    }
    return firstError;
}

// ---------------------------------------------------------------------------------------------
// State

void TTBCustomItem::Change(bool needResize)
{
    if (FParent)
        FParent->Notify(needResize ? TTBItemChangeKind::ickRelayout : TTBItemChangeKind::ickRepaint, -1, this);
}

void TTBCustomItem::SetCaption(const std::wstring& value)
{
    if (value == FCaption)
        return;
    FCaption = value;
    Change(true);
}

void TTBCustomItem::SetShortCut(TShortCut value)
{
    if (value == FShortCut)
        return;
    FShortCut = value;
    Change(true);
}

void TTBCustomItem::SetHint(const std::wstring& value)
{
    FHint = value;
}

void TTBCustomItem::SetChecked(bool value)
{
    if (value == FChecked)
        return;
    FChecked = value;
    Changed();
    if (value)
        UncheckGroupSiblings();
}

void TTBCustomItem::UncheckGroupSiblings()
{
    if (FGroupIndex == 0 || !FParent)
        return;
    std::vector<TTBCustomItem*> siblings = FParent->FItems;
    for (TTBCustomItem* sibling : siblings)
        if (sibling != this && sibling->FGroupIndex == FGroupIndex)
            sibling->SetChecked(false);
}

void TTBCustomItem::SetDisplayMode(TTBItemDisplayMode value)
{
    if (value == FDisplayMode)
        return;
    FDisplayMode = value;
    Change(true);
}

void TTBCustomItem::SetEnabled(bool value)
{
    if (value == FEnabled)
        return;
    FEnabled = value;
    Changed();
}

void TTBCustomItem::SetGroupIndex(int value)
{
    if (value == FGroupIndex)
        return;
    FGroupIndex = value;
    if (FChecked)
        UncheckGroupSiblings();
}

void TTBCustomItem::SetImageIndex(int value)
{
    if (value == FImageIndex)
        return;
    // The image appears or goes (any negative index shows none): the size changes.
    bool needResize = (FImageIndex < 0) != (value < 0);
    FImageIndex = value;
    Change(needResize);
}

void TTBCustomItem::SetImages(TCustomImageList* value)
{
    if (value == FImages)
        return;
    SIZE oldSize = ImageSize(FImages);
    SIZE newSize = ImageSize(value);
    bool needResize = !value || !FImages || oldSize.cx != newSize.cx || oldSize.cy != newSize.cy;
    if (FImages && FImagesWatch)
        FImages->UnRegisterChanges(FImagesWatch.get());
    FImages = value;
    if (value) {
        if (!FImagesWatch) {
            FImagesWatch.reset(New<TTBImageChangeLink>());
            FImagesWatch->OnChange = TNotifyEvent(this, &TTBCustomItem::ImagesChanged);
        }
        FImagesWatch->LastWidth = newSize.cx;
        FImagesWatch->LastHeight = newSize.cy;
        value->RegisterChanges(FImagesWatch.get());
        value->FreeNotification(this);
    }
    Change(needResize);
}

void TTBCustomItem::ImagesChanged(TObject*)
{
    SIZE size = ImageSize(FImages);
    bool resized = size.cx != FImagesWatch->LastWidth || size.cy != FImagesWatch->LastHeight;
    FImagesWatch->LastWidth = size.cx;
    FImagesWatch->LastHeight = size.cy;
    Change(resized);
}

void TTBCustomItem::SetSubMenuImages(TCustomImageList* value)
{
    if (value == FSubMenuImages)
        return;
    if (FSubMenuImages && FSubMenuImagesWatch)
        FSubMenuImages->UnRegisterChanges(FSubMenuImagesWatch.get());
    FSubMenuImages = value;
    if (value) {
        if (!FSubMenuImagesWatch) {
            FSubMenuImagesWatch.reset(New<TTBImageChangeLink>());
            FSubMenuImagesWatch->OnChange = TNotifyEvent(this, &TTBCustomItem::SubMenuImagesChanged);
        }
        value->RegisterChanges(FSubMenuImagesWatch.get());
        value->FreeNotification(this);
    }
    Notify(TTBItemChangeKind::ickSubmenuImages, -1, nullptr);
}

void TTBCustomItem::SubMenuImagesChanged(TObject*)
{
    Notify(TTBItemChangeKind::ickSubmenuImages, -1, nullptr);
}

void TTBCustomItem::SetLinkSubitems(TTBCustomItem* value)
{
    if (value == this)
        value = nullptr;
    if (value == FLinkSubitems)
        return;
    if (FLinkSubitems) {
        auto& list = FLinkSubitems->FLinkingItems;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
    }
    FLinkSubitems = value;
    if (value) {
        value->FLinkingItems.push_back(this);
        value->FreeNotification(this);
    }
    Notify(TTBItemChangeKind::ickSubitemsReplaced, -1, nullptr);
}

void TTBCustomItem::SetRadioItem(bool value)
{
    if (value == FRadioItem)
        return;
    FRadioItem = value;
    Changed();
}

void TTBCustomItem::SetVisible(bool value)
{
    if (value == FVisible)
        return;
    FVisible = value;
    Change(true);
}

void TTBCustomItem::SetOptions(TTBItemOptions value)
{
    if (!(value & tboToolbarStyle))
        value &= static_cast<TTBItemOptions>(~tboToolbarSize);
    if (value == FOptions)
        return;
    FOptions = value;
    UpdateEffectiveOptions();
}

void TTBCustomItem::SetMaskOptions(TTBItemOptions value)
{
    if (value == FMaskOptions)
        return;
    FMaskOptions = value;
    UpdateEffectiveOptions();
}

void TTBCustomItem::SetInheritOptions(bool value)
{
    if (value == FInheritOptions)
        return;
    FInheritOptions = value;
    UpdateEffectiveOptions();
}

void TTBCustomItem::UpdateEffectiveOptions()
{
    TTBItemOptions inherited = 0;
    if (FInheritOptions && FParent)
        inherited = FParent->FEffectiveOptions & static_cast<TTBItemOptions>(~tboDefault);
    TTBItemOptions options = static_cast<TTBItemOptions>((inherited & ~FMaskOptions) | FOptions);
    if (!(options & tboToolbarStyle))
        options &= static_cast<TTBItemOptions>(~tboToolbarSize);
    if (options == FEffectiveOptions)
        return;
    TTBItemOptions changed = options ^ FEffectiveOptions;
    FEffectiveOptions = options;
    if (changed & LayoutOptions)
        Change(true);
    for (size_t i = 0; i < FItems.size(); ++i)
        if (FItems[i]->FInheritOptions)
            FItems[i]->UpdateEffectiveOptions();
}

// ---------------------------------------------------------------------------------------------
// Shortcuts

std::wstring TTBCustomItem::FormatShortCut() const
{
    size_t tab = FCaption.find(L'\t');
    if (tab != std::wstring::npos)
        return FCaption.substr(tab + 1);
    if (FShortCut == 0)
        return L"";
    uint8_t key = static_cast<uint8_t>(FShortCut & 0xFF);
    // The class library names the keys whose system names are unhelpful or long.
    bool named = key == VK_BACK || key == VK_TAB || key == VK_RETURN || key == VK_ESCAPE ||
                 (key >= VK_SPACE && key <= VK_DOWN) || key == VK_INSERT || key == VK_DELETE;
    if (named)
        return AnsiToWide(ShortCutToText(FShortCut));
    std::wstring text;
    bool printable = (key >= '0' && key <= '9') || (key >= 'A' && key <= 'Z') || (key >= VK_NUMPAD0 && key <= VK_NUMPAD9);
    if (printable) {
        UINT ch = MapVirtualKeyW(key, MAPVK_VK_TO_CHAR) & 0xFFFF;
        if (ch)
            text = std::wstring(1, static_cast<wchar_t>(ch));
    } else {
        wchar_t buffer[256] = {};
        LONG scan = static_cast<LONG>(MapVirtualKeyW(key, MAPVK_VK_TO_VSC)) << 16;
        if (GetKeyNameTextW(scan, buffer, 256) > 0)
            text = buffer;
    }
    if (text.empty())
        return text;
    if (FShortCut & scAlt)
        text = L"Alt+" + text;
    if (FShortCut & scCtrl)
        text = L"Ctrl+" + text;
    if (FShortCut & scShift)
        text = L"Shift+" + text;
    return text;
}

namespace {

// Depth first below the item (through linked items): the first item with the shortcut, and
// the subitem of the item that leads to it (nullptr when it is a direct subitem).
struct TShortCutHit {
    TTBCustomItem* Found = nullptr;
    TTBCustomItem* Next = nullptr;
};

bool SearchShortCut(TTBCustomItem* item, TShortCut shortCut, int levels, TShortCutHit& hit, bool top)
{
    TTBCustomItem* source = item;
    while (TTBCustomItem* link = source->GetLinkSubitems()) {
        if (++levels > MaxShortCutLevels)
            return false;
        source = link;
    }
    for (int i = 0; i < source->Count(); ++i) {
        TTBCustomItem* sub = source->GetItem(i);
        if (sub->GetShortCut() == shortCut) {
            hit.Found = sub;
            return true;
        }
        if (levels < MaxShortCutLevels && SearchShortCut(sub, shortCut, levels + 1, hit, false)) {
            if (top)
                hit.Next = sub;
            return true;
        }
    }
    return false;
}

TShortCutHit FindShortCut(TTBCustomItem* item, TShortCut shortCut)
{
    TShortCutHit hit;
    SearchShortCut(item, shortCut, 0, hit, true);
    return hit;
}

} // namespace

bool TTBCustomItem::IsShortCut(const TMessage& message)
{
    TShortCut shortCut = ShortCutFromKeyMessage(message);
    if (shortCut == 0)
        return false;
    bool designing = HasState(csDesigning);
    TTBCustomItem* current = this;
    for (int step = 0; step <= MaxShortCutLevels; ++step) {
        if (!FindShortCut(current, shortCut).Found || !current->GetEnabled())
            return false;
        // The way opens as the submenu would: actions update, popup events run.
        TTBCustomItem* source = current->GetLinkedItem();
        if (!designing)
            for (int i = 0; i < source->Count(); ++i)
                source->GetItem(i)->InitiateAction();
        if (!current->HasTrait(isInlineGroup)) {
            if (source != current)
                source->RaisePopupEvent(current, true);
            current->RaisePopupEvent(current, false);
        }
        // The events may have changed the tree: the path is looked up again.
        TShortCutHit hit = FindShortCut(current, shortCut);
        if (!hit.Found)
            return false;
        if (!hit.Next) {
            if (!hit.Found->GetEnabled())
                return false;
            hit.Found->Click();
            return true;
        }
        current = hit.Next;
    }
    return false;
}

// ---------------------------------------------------------------------------------------------
// Virtual operations

void TTBCustomItem::RaisePopupEvent(TTBCustomItem* sender, bool fromLink)
{
    OnPopup(sender, fromLink);
    if (!HasTrait(isSplitButton))
        Click();
}

TTBItemViewerClass TTBCustomItem::QueryViewerClass(TTBView*)
{
    return ViewerClassOf<TTBItemViewer>();
}

void TTBCustomItem::Click()
{
    if (!FEnabled)
        return;
    TTBCustomItemActionLink* link = FActionLink.Get();
    if (FAutoCheck && (!link || !link->IsAutoCheckLinked()))
        SetChecked(!FChecked);
    if (FActionLink.Click(OnClick))
        return;
    OnClick(this);
}

void TTBCustomItem::InitiateAction()
{
    FActionLink.Update();
}

void TTBCustomItem::ActionChange(TObject* sender, bool checkDefaults)
{
    if (!Is<TCustomAction>(sender))
        return;
    auto* action = static_cast<TCustomAction*>(sender);
    if (!checkDefaults || !FAutoCheck)
        SetAutoCheck(action->GetAutoCheck());
    if (!checkDefaults || FCaption.empty())
        SetCaption(AnsiToWide(action->GetCaption()));
    if (!checkDefaults || !FChecked)
        SetChecked(action->GetChecked());
    if (!checkDefaults || FEnabled)
        SetEnabled(action->GetEnabled());
    if (!checkDefaults || FHelpContext == 0)
        SetHelpContext(action->GetHelpContext());
    if (!checkDefaults || FHint.empty())
        SetHint(AnsiToWide(action->GetHint()));
    if (!checkDefaults || FImageIndex == -1)
        SetImageIndex(action->GetImageIndex());
    if (!checkDefaults || FShortCut == 0)
        SetShortCut(action->GetShortCut());
    if (!checkDefaults || FVisible)
        SetVisible(action->GetVisible());
    if (!checkDefaults || !OnClick)
        OnClick = action->GetOnExecute();
}

TTBCustomItemActionLink* TTBCustomItem::CreateActionLink()
{
    return New<TTBCustomItemActionLink>(this);
}

// ---------------------------------------------------------------------------------------------
// Components and streaming

void TTBCustomItem::SetName(const std::string& name)
{
    std::string oldName = GetName();
    TComponent::SetName(name);
    if (GetName() != oldName && FParent)
        FParent->Notify(TTBItemChangeKind::ickRenamed, -1, this);
}

void TTBCustomItem::Notification(TComponent* component, TOperation operation)
{
    TComponent::Notification(component, operation);
    if (operation != TOperation::opRemove)
        return;
    FLinkingItems.erase(std::remove(FLinkingItems.begin(), FLinkingItems.end(), component), FLinkingItems.end());
    FActionLink.Notification(component, operation);
    if (component == FImages)
        SetImages(nullptr);
    if (component == FSubMenuImages)
        SetSubMenuImages(nullptr);
    if (component == FLinkSubitems)
        SetLinkSubitems(nullptr);
}

void TTBCustomItem::Loaded()
{
    TComponent::Loaded();
    if (TBasicAction* action = GetAction())
        ActionChange(action, true);
}

void TTBCustomItem::GetChildren(const std::function<void(TComponent*)>& proc, TComponent*)
{
    std::vector<TTBCustomItem*> items = FItems;
    for (TTBCustomItem* item : items)
        proc(item);
}

void TTBCustomItem::SetChildOrder(TComponent* child, int order)
{
    int index = IndexOf(dynamic_cast<TTBCustomItem*>(child));
    if (index >= 0)
        Move(index, order);
}

TComponent* TTBCustomItem::GetParentComponent() const
{
    if (FParent && FParent->FParentComponent)
        return FParent->FParentComponent;
    return FParent;
}

void TTBCustomItem::SetParentComponent(TComponent* value)
{
    if (FParent)
        FParent->Remove(this);
    if (!value)
        return;
    if (auto* item = dynamic_cast<TTBCustomItem*>(value)) {
        item->Add(this);
        return;
    }
    if (auto* container = dynamic_cast<ITBItems*>(value))
        container->GetItems()->Add(this);
}

bool TTBCustomItem::IsLinked(bool (TTBCustomItemActionLink::*test)()) const
{
    TTBCustomItemActionLink* link = FActionLink.Get();
    return link && (link->*test)();
}

void TTBCustomItem::DefineProperties(TFiler* filer)
{
    TComponent::DefineProperties(filer);
    using TLink = TTBCustomItemActionLink;
    DefineWideStringProp(
        filer, "Caption", FCaption, [this](const std::wstring& v) { SetCaption(v); },
        !FCaption.empty() && !IsLinked(&TLink::IsCaptionLinked));
    DefineWideStringProp(
        filer, "Hint", FHint, [this](const std::wstring& v) { FHint = v; },
        !FHint.empty() && !IsLinked(&TLink::IsHintLinked));
    auto setProperty = [filer](const char* name, TTBItemOptions value, auto set) {
        filer->DefineProperty(name, [set](TReader* r) { set(SetToOptions(r->ReadSet())); },
                              [value](TWriter* w) { w->WriteSet(OptionsToSet(value)); }, value != 0);
    };
    // Properties the action owns are not written while it does.
    DefineBoolProp(filer, "AutoCheck", FAutoCheck, false, [this](bool v) { FAutoCheck = v; },
                   !IsLinked(&TLink::IsAutoCheckLinked));
    DefineBoolProp(filer, "Checked", FChecked, false, [this](bool v) { SetChecked(v); },
                   !IsLinked(&TLink::IsCheckedLinked));
    filer->DefineProperty(
        "DisplayMode",
        [this](TReader* r) {
            std::string name = r->ReadIdent();
            auto it = std::find(std::begin(DisplayModeNames), std::end(DisplayModeNames), name);
            if (it == std::end(DisplayModeNames))
                throw EReadError("Invalid display mode '" + name + "'");
            SetDisplayMode(static_cast<TTBItemDisplayMode>(it - std::begin(DisplayModeNames)));
        },
        [this](TWriter* w) { w->WriteIdent(DisplayModeNames[static_cast<int>(FDisplayMode)]); },
        FDisplayMode != TTBItemDisplayMode::nbdmDefault);
    DefineBoolProp(filer, "Enabled", FEnabled, true, [this](bool v) { SetEnabled(v); },
                   !IsLinked(&TLink::IsEnabledLinked));
    DefineIntProp(filer, "GroupIndex", FGroupIndex, 0, [this](int v) { SetGroupIndex(v); });
    DefineIntProp(filer, "HelpContext", FHelpContext, 0, [this](int v) { FHelpContext = v; },
                  !IsLinked(&TLink::IsHelpContextLinked));
    DefineIntProp(filer, "ImageIndex", FImageIndex, -1, [this](int v) { SetImageIndex(v); },
                  !IsLinked(&TLink::IsImageIndexLinked));
    DefineBoolProp(filer, "InheritOptions", FInheritOptions, true, [this](bool v) { SetInheritOptions(v); });
    setProperty("MaskOptions", FMaskOptions, [this](TTBItemOptions v) { SetMaskOptions(v); });
    setProperty("Options", FOptions, [this](TTBItemOptions v) { SetOptions(v); });
    DefineBoolProp(filer, "RadioItem", FRadioItem, false, [this](bool v) { SetRadioItem(v); });
    DefineIntProp(filer, "ShortCut", FShortCut, 0, [this](int v) { FShortCut = static_cast<TShortCut>(v); },
                  !IsLinked(&TLink::IsShortCutLinked));
    DefineBoolProp(filer, "Visible", FVisible, true, [this](bool v) { SetVisible(v); },
                   !IsLinked(&TLink::IsVisibleLinked));
}

// ---------------------------------------------------------------------------------------------
// TTBCustomItemActionLink

void TTBCustomItemActionLink::AssignClient(TObject* client)
{
    FClient = As<TTBCustomItem>(client);
}

bool TTBCustomItemActionLink::IsOnExecuteLinked()
{
    return TActionLink::IsOnExecuteLinked() && FAction && FClient->OnClick == FAction->GetOnExecute();
}

void TTBCustomItemActionLink::SetOnExecute(const TNotifyEvent& value)
{
    if (IsOnExecuteLinked())
        FClient->OnClick = value;
}

bool TTBCustomItemActionLink::IsCaptionLinked()
{
    return TActionLink::IsCaptionLinked() && FClient->GetCaption() == AnsiToWide(CustomAction()->GetCaption());
}

bool TTBCustomItemActionLink::IsCheckedLinked()
{
    return TActionLink::IsCheckedLinked() && FClient->GetChecked() == CustomAction()->GetChecked();
}

bool TTBCustomItemActionLink::IsEnabledLinked()
{
    return TActionLink::IsEnabledLinked() && FClient->GetEnabled() == CustomAction()->GetEnabled();
}

bool TTBCustomItemActionLink::IsHelpContextLinked()
{
    return TActionLink::IsHelpContextLinked() && FClient->GetHelpContext() == CustomAction()->GetHelpContext();
}

bool TTBCustomItemActionLink::IsHintLinked()
{
    return TActionLink::IsHintLinked() && FClient->GetHint() == AnsiToWide(CustomAction()->GetHint());
}

bool TTBCustomItemActionLink::IsImageIndexLinked()
{
    return TActionLink::IsImageIndexLinked() && FClient->GetImageIndex() == CustomAction()->GetImageIndex();
}

bool TTBCustomItemActionLink::IsShortCutLinked()
{
    return TActionLink::IsShortCutLinked() && FClient->GetShortCut() == CustomAction()->GetShortCut();
}

bool TTBCustomItemActionLink::IsVisibleLinked()
{
    return TActionLink::IsVisibleLinked() && FClient->GetVisible() == CustomAction()->GetVisible();
}

bool TTBCustomItemActionLink::IsAutoCheckLinked()
{
    return IsCustomAction() && FClient->GetAutoCheck() == CustomAction()->GetAutoCheck();
}

void TTBCustomItemActionLink::SetAutoCheck(bool value)
{
    if (IsAutoCheckLinked())
        FClient->SetAutoCheck(value);
}

void TTBCustomItemActionLink::SetCaption(const std::string& value)
{
    if (IsCaptionLinked())
        FClient->SetCaption(AnsiToWide(value));
}

void TTBCustomItemActionLink::SetChecked(bool value)
{
    if (IsCheckedLinked())
        FClient->SetChecked(value);
}

void TTBCustomItemActionLink::SetEnabled(bool value)
{
    if (IsEnabledLinked())
        FClient->SetEnabled(value);
}

void TTBCustomItemActionLink::SetHelpContext(int value)
{
    if (IsHelpContextLinked())
        FClient->SetHelpContext(value);
}

void TTBCustomItemActionLink::SetHint(const std::string& value)
{
    if (IsHintLinked())
        FClient->SetHint(AnsiToWide(value));
}

void TTBCustomItemActionLink::SetImageIndex(int value)
{
    if (IsImageIndexLinked())
        FClient->SetImageIndex(value);
}

void TTBCustomItemActionLink::SetShortCut(TShortCut value)
{
    if (IsShortCutLinked())
        FClient->SetShortCut(value);
}

void TTBCustomItemActionLink::SetVisible(bool value)
{
    if (IsVisibleLinked())
        FClient->SetVisible(value);
}

// ---------------------------------------------------------------------------------------------
// Separator and control items

TTBSeparatorItem::TTBSeparatorItem(TComponent* owner) : TTBCustomItem(owner)
{
    SetItemStyle(static_cast<TTBItemTraits>((GetItemStyle() & ~(isSelectable | isRepaintOnSelect | isRepaintOnHover)) |
                                            isSeparator | isPassClicks));
}

void TTBSeparatorItem::SetBlank(bool value)
{
    if (value == FBlank)
        return;
    FBlank = value;
    Changed();
}

TTBItemViewerClass TTBSeparatorItem::QueryViewerClass(TTBView*)
{
    return ViewerClassOf<TTBSeparatorItemViewer>();
}

void TTBSeparatorItem::DefineProperties(TFiler* filer)
{
    TTBCustomItem::DefineProperties(filer);
    DefineBoolProp(filer, "Blank", FBlank, false, [this](bool v) { SetBlank(v); });
}

TTBControlItem::TTBControlItem(TComponent* owner) : TTBCustomItem(owner)
{
    SetItemStyle(static_cast<TTBItemTraits>((GetItemStyle() & ~isSelectable) | isPassClicks));
}

TTBControlItem::TTBControlItem(TComponent* owner, TControl* control) : TTBControlItem(owner)
{
    FControl = control;
    if (control)
        control->FreeNotification(this);
}

TTBControlItem::~TTBControlItem()
{
    TControl* control = FControl;
    FControl = nullptr;
    if (control && !FKeepControl && !control->HasState(csAncestor))
        control->Free();
}

void TTBControlItem::SetControl(TControl* value)
{
    if (value == FControl)
        return;
    FControl = value;
    if (value)
        value->FreeNotification(this);
    Change(true);
}

void TTBControlItem::Notification(TComponent* component, TOperation operation)
{
    TTBCustomItem::Notification(component, operation);
    if (operation == TOperation::opRemove && component == FControl)
        SetControl(nullptr);
}
