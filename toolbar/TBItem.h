// The item tree every menu bar, toolbar, submenu and popup menu is built from: items with their
// state, ordered subitems and listeners that hear of every change; the root, separator and
// control items; and the link through which an action drives an item.
#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "platform/ActnList.h"
#include "platform/Controls.h"
#include "platform/Filer.h"
#include "platform/ImgList.h"
#include "platform/Menus.h"
#include "platform/ShortCuts.h"

class TTBCustomItem;
class TTBCustomItemActionLink;
class TTBItemViewer;
class TTBView;
class TTBPopupWindow;
struct TTBPopupPlacement;

SF_EXCEPTION(ETBItemError, Exception);

enum class TTBItemDisplayMode : uint8_t { nbdmDefault, nbdmTextOnly, nbdmTextOnlyInMenus, nbdmImageAndText };

enum TTBItemOption : uint16_t {
    tboDefault = 1u << 0,            // drawn bold: the default command
    tboDropdownArrow = 1u << 1,      // an arrow after the caption in a toolbar
    tboImageAboveCaption = 1u << 2,
    tboLongHintInMenuOnly = 1u << 3,
    tboNoAutoHint = 1u << 4,
    tboNoRotation = 1u << 5,
    tboSameWidth = 1u << 6,
    tboShowHint = 1u << 7,
    tboToolbarStyle = 1u << 8,
    tboToolbarSize = 1u << 9,
};
using TTBItemOptions = uint16_t;

// Behaviour flags an item class sets in its constructor.
enum TTBItemTrait : uint16_t {
    isSubmenu = 1u << 0,
    isSelectable = 1u << 1,
    isSeparator = 1u << 2,
    isInlineGroup = 1u << 3,      // subitems shown in the parent's view in place of the item
    isPassClicks = 1u << 4,       // hosts a control that takes the clicks
    isSplitButton = 1u << 5,
    isKeyboardNoOpen = 1u << 6,
    isNoWrapBreak = 1u << 8,
    isRightFlush = 1u << 9,
    isNeverFirst = 1u << 10,
    isRepaintOnSelect = 1u << 11,
    isRepaintOnHover = 1u << 12,
    isCrossFill = 1u << 13,
};
using TTBItemTraits = uint16_t;
constexpr TTBItemTraits DefaultItemTraits = isSelectable | isRepaintOnSelect | isRepaintOnHover;

enum class TTBItemChangeKind : uint8_t {
    ickInserted,
    ickDeleting,
    ickSubitemsReplaced,
    ickBeginUpdate,
    ickEndUpdate,
    ickRepaint,
    ickRelayout,
    ickRebuildViewers,
    ickRenamed,
    ickSubmenuImages,
};

// A listener: (item that broadcast, relayed from an inline group or linking item, kind, index, item).
using TTBItemChangedProc = TEvent<TTBCustomItem*, bool, TTBItemChangeKind, int, TTBCustomItem*>;
using TTBPopupEvent = TEvent<TTBCustomItem*, bool>;
using TTBSelectEvent = TEvent<TTBCustomItem*, TTBItemViewer*, bool>;

// A class reference with a virtual constructor: which class, and how to create one of it with
// the constructor's arguments.
template <class Base, class... Args>
struct TTBClassRef {
    TClass Class = nullptr;
    Base* (*Create)(Args...) = nullptr;
};

template <class Base, class T, class... Args>
const TTBClassRef<Base, Args...>* TBClassRefOf()
{
    static const TTBClassRef<Base, Args...> ref{T::StaticClass(),
                                                [](Args... args) -> Base* { return New<T>(args...); }};
    return &ref;
}

// Viewer classes are created with (view, item, group level).
using TTBItemViewerClass = const TTBClassRef<TTBItemViewer, TTBView*, TTBCustomItem*, int>*;
template <class T>
TTBItemViewerClass ViewerClassOf()
{
    return TBClassRefOf<TTBItemViewer, T, TTBView*, TTBCustomItem*, int>();
}

// Popup window classes are created with (owner, parent view, item, customizing).
using TTBPopupWindowClass = const TTBClassRef<TTBPopupWindow, TComponent*, TTBView*, TTBCustomItem*, bool>*;
template <class T>
TTBPopupWindowClass PopupWindowClassOf()
{
    return TBClassRefOf<TTBPopupWindow, T, TComponent*, TTBView*, TTBCustomItem*, bool>();
}

// An image-list link that remembers the image size it last saw.
class TTBImageChangeLink : public TChangeLink {
    SF_CLASS(TTBImageChangeLink)
public:
    int LastWidth = 0;
    int LastHeight = 0;
};

// What a component that owns an item tree offers its items while they are streamed.
class ITBItems {
public:
    virtual ~ITBItems() = default;
    virtual TTBCustomItem* GetItems() = 0;
};

class TTBCustomItem : public TComponent {
    SF_CLASS(TTBCustomItem)
public:
    explicit TTBCustomItem(TComponent* owner = nullptr);
    ~TTBCustomItem() override;
    void BeforeDestruction() override;

    // ---- Subitems ----
    int Count() const { return static_cast<int>(FItems.size()); }
    TTBCustomItem* GetItem(int index) const;
    TTBCustomItem* operator[](int index) const { return GetItem(index); }
    void Add(TTBCustomItem* item) { Insert(Count(), item); }
    // Raises ETBItemError, changing nothing, for an item that has a parent or an index past Count.
    void Insert(int newIndex, TTBCustomItem* item);
    void Delete(int index);
    int IndexOf(const TTBCustomItem* item) const;
    void Remove(TTBCustomItem* item);
    // Both indexes are checked before anything changes.
    void Move(int curIndex, int newIndex);
    // Frees every subitem, last first.
    void Clear();
    TTBCustomItem* GetParent() const { return FParent; }
    // The item whose subitems views and popups show: LinkSubitems when set, else this one.
    TTBCustomItem* GetLinkedItem() { return FLinkSubitems ? FLinkSubitems : this; }

    // ---- Listeners ----
    // Registering the same handler again counts it again; it goes when the count returns to 0.
    void SubscribeChanges(const TTBItemChangedProc& proc);
    void UnsubscribeChanges(const TTBItemChangedProc& proc);
    // Tells every listener, after relaying through inline groups and linking items.
    void Notify(TTBItemChangeKind kind, int index, TTBCustomItem* item);

    // ---- State ----
    const std::wstring& GetCaption() const { return FCaption; }
    void SetCaption(const std::wstring& value);
    const std::wstring& GetHint() const { return FHint; }
    void SetHint(const std::wstring& value);
    bool GetAutoCheck() const { return FAutoCheck; }
    void SetAutoCheck(bool value) { FAutoCheck = value; }
    bool GetChecked() const { return FChecked; }
    void SetChecked(bool value);
    TTBItemDisplayMode GetDisplayMode() const { return FDisplayMode; }
    void SetDisplayMode(TTBItemDisplayMode value);
    bool GetEnabled() const { return FEnabled; }
    void SetEnabled(bool value);
    int GetGroupIndex() const { return FGroupIndex; }
    void SetGroupIndex(int value);
    int GetHelpContext() const { return FHelpContext; }
    void SetHelpContext(int value) { FHelpContext = value; }
    int GetImageIndex() const { return FImageIndex; }
    void SetImageIndex(int value);
    TCustomImageList* GetImages() const { return FImages; }
    void SetImages(TCustomImageList* value);
    TCustomImageList* GetSubMenuImages() const { return FSubMenuImages; }
    void SetSubMenuImages(TCustomImageList* value);
    TTBCustomItem* GetLinkSubitems() const { return FLinkSubitems; }
    void SetLinkSubitems(TTBCustomItem* value);
    bool GetRadioItem() const { return FRadioItem; }
    void SetRadioItem(bool value);
    TShortCut GetShortCut() const { return FShortCut; }
    // The shortcut text takes room in a menu: a change lays the views out again.
    void SetShortCut(TShortCut value);
    bool GetVisible() const { return FVisible; }
    void SetVisible(bool value);
    TTBItemOptions GetOptions() const { return FOptions; }
    void SetOptions(TTBItemOptions value);
    TTBItemOptions GetMaskOptions() const { return FMaskOptions; }
    void SetMaskOptions(TTBItemOptions value);
    bool GetInheritOptions() const { return FInheritOptions; }
    void SetInheritOptions(bool value);
    // The options in force: the parent's (less tboDefault) unless masked, plus the item's own.
    TTBItemOptions GetEffectiveOptions() const { return FEffectiveOptions; }
    TTBItemTraits GetItemStyle() const { return FItemStyle; }
    bool HasTrait(TTBItemTraits trait) const { return (FItemStyle & trait) != 0; }
    // The designated streaming parent of the subitems (a toolbar for its root item).
    TComponent* GetParentComponentOfItems() const { return FParentComponent; }
    void SetParentComponentOfItems(TComponent* value) { FParentComponent = value; }

    TBasicAction* GetAction() const { return FActionLink.GetAction(); }
    void SetAction(TBasicAction* value) { FActionLink.SetAction(value); }
    TTBCustomItemActionLink* GetActionLink() const { return FActionLink.Get(); }

    // The text of the shortcut column: the caption after a TAB, else the shortcut's name.
    std::wstring FormatShortCut() const;
    // Clicks the enabled item a key message is the shortcut of, opening the way to it as a
    // submenu would open (actions update, popup events run); true when an item was clicked.
    bool IsShortCut(const TMessage& message);

    // ---- Virtual operations ----
    // Tells the parent's listeners that the item needs a relayout or a repaint.
    virtual void Change(bool needResize);
    void Changed() { Change(false); }
    // Builds, places and shows the popup of the item's subitems beside the viewer that opens it,
    // or at the point without a parent view.
    virtual TTBPopupWindow* OpenPopupWindow(TTBView* parentView, TTBItemViewer* parentViewer, bool asSubmenu,
                                            bool selectFirstItem, bool customizing, POINT popupPoint,
                                            TPopupAlignment alignment);
    // OnPopup, then Click unless the item is a split button.
    virtual void RaisePopupEvent(TTBCustomItem* sender, bool fromLink);
    // For a chevron: the toolbar view whose hidden items its popup shows.
    virtual TTBView* FindChevronParentView() { return nullptr; }
    // The viewer class a view creates for this item.
    virtual TTBItemViewerClass QueryViewerClass(TTBView* view);
    // Chooses where the popup goes: on the monitor, on the side of the opener that covers least.
    virtual void PlacePopup(TTBView* parentView, TTBPopupWindow* popupWindow, TTBPopupPlacement& placement);
    virtual TTBPopupWindowClass QueryPopupWindowClass();
    // Runs a popup menu of the subitems at a screen point until it ends (alignment: which side of
    // the point it opens on). Returns the clicked item, whose Click is queued to run afterwards
    // unless returnClickedItemOnly; nullptr when the menu ended otherwise. An exception raised
    // while it runs reaches the application's handler once the menu is gone.
    TTBCustomItem* Popup(int x, int y, bool trackRightButton, TPopupAlignment alignment, bool returnClickedItemOnly);
    // True when the view must recreate the item's viewer before measuring it.
    virtual bool ViewerNeedsRebuild(TTBView*, TTBItemViewer*) { return false; }
    virtual void Click();
    // Lets the action update the item's state.
    virtual void InitiateAction();

    TNotifyEvent OnClick;
    TTBPopupEvent OnPopup;
    TTBSelectEvent OnSelect;

    // ---- Streaming ----
    void SetName(const std::string& name) override;
    void GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) override;
    void SetChildOrder(TComponent* child, int order);
    bool HasParent() const override { return true; }
    TComponent* GetParentComponent() const override;
    void SetParentComponent(TComponent* value) override;

protected:
    friend class TTBCustomItemActionLink;
    friend class TClientActionLink<TTBCustomItem, TTBCustomItemActionLink>;

    void Notification(TComponent* component, TOperation operation) override;
    void Loaded() override;
    void DefineProperties(TFiler* filer) override;
    // Re-reads the action (only where the item still holds its default when checkDefaults).
    virtual void ActionChange(TObject* sender, bool checkDefaults);
    virtual TTBCustomItemActionLink* CreateActionLink();
    void SetItemStyle(TTBItemTraits value) { FItemStyle = value; }

private:
    struct TNotifyRecord;
    class TSubitemsUpdate;
    // With firstError, every listener is called even when some raise, and the first failure is
    // kept there; without it the first failure ends the broadcast.
    void NotifyFrom(TTBItemChangeKind kind, int index, TTBCustomItem* item, int depth, TTBCustomItem* relayedFrom,
                    std::exception_ptr* firstError = nullptr);
    void RelayToParent(TTBItemChangeKind kind, int index, TTBCustomItem* item, int depth, TTBCustomItem* from,
                       std::exception_ptr* firstError);
    // Tells every listener that a subitems update ended; the first failure of one comes back.
    std::exception_ptr EndSubitemsUpdate() noexcept;
    void UpdateEffectiveOptions();
    void UncheckGroupSiblings();
    void ImagesChanged(TObject* sender);
    void SubMenuImagesChanged(TObject* sender);
    void CheckIndex(int index) const;
    bool IsLinked(bool (TTBCustomItemActionLink::*test)()) const;

    std::wstring FCaption;
    std::wstring FHint;
    bool FAutoCheck = false;
    bool FChecked = false;
    TTBItemDisplayMode FDisplayMode = TTBItemDisplayMode::nbdmDefault;
    bool FEnabled = true;
    TTBItemOptions FEffectiveOptions = 0;
    int FGroupIndex = 0;
    int FHelpContext = 0;
    int FImageIndex = -1;
    TCustomImageList* FImages = nullptr;
    std::unique_ptr<TTBImageChangeLink, TObjectFree> FImagesWatch;
    std::vector<TTBCustomItem*> FItems;
    TTBItemTraits FItemStyle = DefaultItemTraits;
    std::vector<TTBCustomItem*> FLinkingItems;
    TTBItemOptions FMaskOptions = 0;
    TTBItemOptions FOptions = 0;
    bool FInheritOptions = true;
    std::vector<std::shared_ptr<TNotifyRecord>> FNotifyProcs;
    TTBCustomItem* FParent = nullptr;
    TComponent* FParentComponent = nullptr;
    bool FRadioItem = false;
    TShortCut FShortCut = 0;
    TCustomImageList* FSubMenuImages = nullptr;
    std::unique_ptr<TTBImageChangeLink, TObjectFree> FSubMenuImagesWatch;
    TTBCustomItem* FLinkSubitems = nullptr;
    bool FVisible = true;
    TClientActionLink<TTBCustomItem, TTBCustomItemActionLink> FActionLink{this};
};

// Drives an item from a TCustomAction: each property follows while the item still shows the
// action's value.
class TTBCustomItemActionLink : public TActionLink {
    SF_CLASS(TTBCustomItemActionLink)
public:
    using TActionLink::TActionLink;

    bool IsOnExecuteLinked() override;
    void SetOnExecute(const TNotifyEvent& value) override;
    bool IsCaptionLinked() override;
    bool IsCheckedLinked() override;
    bool IsEnabledLinked() override;
    bool IsHelpContextLinked() override;
    bool IsHintLinked() override;
    bool IsImageIndexLinked() override;
    bool IsShortCutLinked() override;
    bool IsVisibleLinked() override;
    virtual bool IsAutoCheckLinked();
    void SetAutoCheck(bool value) override;
    void SetCaption(const std::string& value) override;
    void SetChecked(bool value) override;
    void SetEnabled(bool value) override;
    void SetHelpContext(int value) override;
    void SetHint(const std::string& value) override;
    void SetImageIndex(int value) override;
    void SetShortCut(TShortCut value) override;
    void SetVisible(bool value) override;

protected:
    void AssignClient(TObject* client) override;
    TTBCustomItem* FClient = nullptr;
};

// The invisible root item a toolbar or popup menu owns for its items.
class TTBRootItem : public TTBCustomItem {
    SF_CLASS(TTBRootItem)
public:
    using TTBCustomItem::TTBCustomItem;
};

// A separator; a blank one keeps its size but draws nothing.
class TTBSeparatorItem : public TTBCustomItem {
    SF_CLASS(TTBSeparatorItem)
public:
    explicit TTBSeparatorItem(TComponent* owner = nullptr);
    bool GetBlank() const { return FBlank; }
    void SetBlank(bool value);
    TTBItemViewerClass QueryViewerClass(TTBView* view) override;

protected:
    void DefineProperties(TFiler* filer) override;

private:
    bool FBlank = false;
};

// An item that places an ordinary control (a combo box, an edit) in a toolbar; the item frees
// the control with itself unless KeepControl is set.
class TTBControlItem : public TTBCustomItem {
    SF_CLASS(TTBControlItem)
public:
    explicit TTBControlItem(TComponent* owner = nullptr);
    // The constructor that hosts a control from the start.
    TTBControlItem(TComponent* owner, TControl* control);
    ~TTBControlItem() override;

    TControl* GetControl() const { return FControl; }
    void SetControl(TControl* value);
    bool GetKeepControl() const { return FKeepControl; }
    void SetKeepControl(bool value) { FKeepControl = value; }

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    TControl* FControl = nullptr;
    bool FKeepControl = false;
};
