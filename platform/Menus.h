// Menus over the system's menu handles: the item tree with captions, shortcuts, check marks and
// radio groups, actions driving items, the menu bar of a window and pop-up menus, with command
// dispatch, submenu pop-up events and shortcut lookup from key messages.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/ActnList.h"
#include "platform/Messages.h"

class TMenu;
class TMenuItem;
class TWinControl;
class TControl;

TShortCut ShortCut(WORD key, TShiftState shift);
void ShortCutToKey(TShortCut shortCut, WORD& key, TShiftState& shift);
// The shortcut a key message (WM_KEYDOWN, WM_SYSKEYDOWN and their CN_ forms) stands for.
TShortCut ShortCutFromKeyMessage(const TMessage& message);

// Drives a menu item from a TCustomAction: each property follows while the item still shows
// the action's value.
class TMenuActionLink : public TActionLink {
    SF_CLASS(TMenuActionLink)
public:
    using TActionLink::TActionLink;

    bool IsAutoCheckLinked();
    bool IsCaptionLinked() override;
    bool IsCheckedLinked() override;
    bool IsEnabledLinked() override;
    bool IsGroupIndexLinked() override;
    bool IsHelpContextLinked() override;
    bool IsHintLinked() override;
    bool IsImageIndexLinked() override;
    bool IsShortCutLinked() override;
    bool IsVisibleLinked() override;
    bool IsOnExecuteLinked() override;

    void SetAutoCheck(bool value) override;
    void SetCaption(const std::string& value) override;
    void SetChecked(bool value) override;
    void SetEnabled(bool value) override;
    void SetGroupIndex(int value) override;
    void SetHelpContext(int value) override;
    void SetHint(const std::string& value) override;
    void SetImageIndex(int value) override;
    void SetShortCut(TShortCut value) override;
    void SetVisible(bool value) override;
    void SetOnExecute(const TNotifyEvent& value) override;

protected:
    void AssignClient(TObject* client) override;
    TMenuItem* FClient = nullptr;
};

enum TMenuBreak { mbNone, mbBreak, mbBarBreak };

// One entry of a menu: a command, a separator (caption "-") or a submenu (when it has items).
// Items are components of their owner; the parent item frees its subitems.
class TMenuItem : public TComponent {
    SF_CLASS(TMenuItem)
public:
    explicit TMenuItem(TComponent* owner = nullptr);
    ~TMenuItem() override;
    void BeforeDestruction() override;

    // '&' marks the accelerator ("&&" is a literal ampersand); "-" makes a separator.
    const std::string& GetCaption() const { return FCaption; }
    void SetCaption(const std::string& value);
    bool IsLine() const { return FCaption == "-"; }
    bool GetChecked() const { return FChecked; }
    // Checking a radio item (RadioItem) unchecks the other radio items of its group
    // (same parent, same GroupIndex).
    void SetChecked(bool value);
    bool GetRadioItem() const { return FRadioItem; }
    void SetRadioItem(bool value);
    int GetGroupIndex() const { return FGroupIndex; }
    void SetGroupIndex(int value);
    bool GetEnabled() const { return FEnabled; }
    void SetEnabled(bool value);
    bool GetVisible() const { return FVisible; }
    void SetVisible(bool value);
    bool GetDefault() const { return FDefault; }
    void SetDefault(bool value);
    bool GetAutoCheck() const { return FAutoCheck; }
    void SetAutoCheck(bool value);
    TMenuBreak GetBreak() const { return FBreak; }
    void SetBreak(TMenuBreak value);
    const std::string& GetHint() const { return FHint; }
    void SetHint(const std::string& value) { FHint = value; }
    int GetImageIndex() const { return FImageIndex; }
    void SetImageIndex(int value);
    int GetHelpContext() const { return FHelpContext; }
    void SetHelpContext(int value) { FHelpContext = value; }
    // Shown after a tab in the item's text, except on a menu bar.
    TShortCut GetShortCut() const { return FShortCut; }
    void SetShortCut(TShortCut value);

    TBasicAction* GetAction() const;
    void SetAction(TBasicAction* value);
    TMenuActionLink* GetActionLink() const { return FActionLink.Get(); }

    // ---- Subitems ----
    int Count() const { return static_cast<int>(FItems.size()); }
    TMenuItem* GetItem(int index) const;
    TMenuItem* operator[](int index) const { return GetItem(index); }
    void Add(TMenuItem* item);
    void Insert(int index, TMenuItem* item);
    // Takes the item out of this one (it is not freed).
    void Delete(int index);
    void Remove(TMenuItem* item);
    // Frees every subitem.
    void Clear();
    int IndexOf(const TMenuItem* item) const;
    // The subitem whose caption, without accelerator marks, equals the text (any case).
    TMenuItem* Find(const std::string& caption) const;
    TMenuItem* GetParent() const { return FParent; }
    // The menu the item's tree belongs to (nullptr while it is not part of one).
    TMenu* GetParentMenu() const;
    int GetMenuIndex() const { return FParent ? FParent->IndexOf(this) : -1; }

    // The command number WM_COMMAND carries for this item.
    UINT GetCommand() const { return FCommand; }
    // The submenu handle (made on demand, filled with the visible subitems).
    HMENU GetHandle();
    bool HandleAllocated() const { return FHandle != nullptr; }

    // AutoCheck, then OnClick or the action (as the action link decides). Disabled: nothing.
    virtual void Click();
    // Before the submenu opens: the subitems' actions update, then OnPopup runs.
    void DoPopup();
    // Runs before the item is shown or executed: the linked action updates the item.
    virtual void InitiateAction();

    TNotifyEvent OnClick;
    TNotifyEvent OnPopup;

    bool HasParent() const override { return true; }
    TComponent* GetParentComponent() const override;
    void SetParentComponent(TComponent* parent) override;
    void GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) override;

protected:
    friend class TMenu;
    friend class TMenuActionLink;
    friend class TClientActionLink<TMenuItem, TMenuActionLink>;
    // Re-reads the action: copies each property (only where the item still holds its default
    // when checkDefaults is set).
    virtual void ActionChange(TObject* sender, bool checkDefaults);
    void Notification(TComponent* component, TOperation operation) override;
    // The item's look changed: its entry in the parent's menu is rebuilt.
    virtual void MenuChanged();
    // The link the item makes when it gets an action (a derived item may give its own kind).
    virtual TMenuActionLink* CreateActionLink();
    // Called after the item's entry was built in the system menu at that position.
    virtual void NativeItemBuilt(HMENU, UINT) {}
    // Rebuilds this item's submenu from the visible subitems.
    void RebuildHandle();

private:
    void AppendTo(HMENU menu);
    void ReleaseTree();
    void UncheckRadioSiblings();
    bool IsTopOfMenuBar() const;

    std::string FCaption;
    bool FChecked = false;
    bool FRadioItem = false;
    int FGroupIndex = 0;
    bool FEnabled = true;
    bool FVisible = true;
    bool FDefault = false;
    bool FAutoCheck = false;
    TMenuBreak FBreak = mbNone;
    std::string FHint;
    int FImageIndex = -1;
    int FHelpContext = 0;
    TShortCut FShortCut = 0;
    UINT FCommand = 0;
    HMENU FHandle = nullptr;
    TMenuItem* FParent = nullptr;
    TMenu* FMenu = nullptr;  // set on the root item of a menu
    bool FReleased = false;
    std::vector<TMenuItem*> FItems;
    TClientActionLink<TMenuItem, TMenuActionLink> FActionLink{this};
};

enum class TFindItemKind { fkCommand, fkHandle, fkShortCut };

// A tree of items under an invisible root item, with dispatch of commands and shortcuts.
class TMenu : public TComponent {
    SF_CLASS(TMenu)
public:
    explicit TMenu(TComponent* owner = nullptr);
    ~TMenu() override;
    void BeforeDestruction() override;

    TMenuItem* GetItems() const { return FItems.get(); }
    HMENU GetHandle() { return FItems->GetHandle(); }
    TCustomImageList* GetImages() const { return FImages; }
    void SetImages(TCustomImageList* value);

    // The item with that command, submenu handle or shortcut (visible items only for shortcuts).
    TMenuItem* FindItem(UINT_PTR value, TFindItemKind kind) const;
    // Clicks the item of a WM_COMMAND command number; false when no item has it.
    bool DispatchCommand(WORD command);
    // Runs the pop-up event of the item whose submenu is about to open (WM_INITMENUPOPUP).
    bool DispatchPopup(HMENU submenu);
    // Clicks the enabled item whose shortcut a key message stands for. The actions along the
    // way update first, as if the submenus opened.
    virtual bool IsShortCut(const TMessage& keyMessage);

    void GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) override;

protected:
    friend class TMenuItem;
    // The menu's look changed (an item of the bar was rebuilt).
    virtual void MenuChanged() {}
    virtual bool IsMenuBar() const { return false; }
    void Notification(TComponent* component, TOperation operation) override;

    std::unique_ptr<TMenuItem, TObjectFree> FItems;

private:
    TCustomImageList* FImages = nullptr;
};

// A window's menu bar. SetWindow attaches it: the bar is set on the window (again whenever the
// window is re-created), and the window's commands and submenu pop-ups reach the items.
class TMainMenu : public TMenu {
    SF_CLASS(TMainMenu)
public:
    explicit TMainMenu(TComponent* owner = nullptr);
    void BeforeDestruction() override;

    TWinControl* GetWindow() const { return FWindow; }
    void SetWindow(TWinControl* window);
    // The main menu attached to a window, if any.
    static TMainMenu* MenuOfWindow(const TWinControl* window);

protected:
    void MenuChanged() override;
    bool IsMenuBar() const override { return true; }
    void Notification(TComponent* component, TOperation operation) override;

private:
    void WindowHook(TMessage& message);
    void Detach();

    TWinControl* FWindow = nullptr;
    TWndMethod FOldWindowProc;
};

enum TPopupAlignment { paLeft, paRight, paCenter };
enum TTrackButton { tbRightButton, tbLeftButton };

// A menu that pops up at a screen point; the chosen item is clicked before Popup returns.
class TPopupMenu : public TMenu {
    SF_CLASS(TPopupMenu)
public:
    explicit TPopupMenu(TComponent* owner = nullptr);
    ~TPopupMenu() override;
    void BeforeDestruction() override;

    virtual void Popup(int x, int y);
    POINT GetPopupPoint() const { return FPopupPoint; }
    // The control the menu popped up for (set by the control's context-menu handling).
    TComponent* GetPopupComponent() const { return FPopupComponent; }
    void SetPopupComponent(TComponent* value);
    bool GetAutoPopup() const { return FAutoPopup; }
    void SetAutoPopup(bool value) { FAutoPopup = value; }
    TPopupAlignment GetAlignment() const { return FAlignment; }
    void SetAlignment(TPopupAlignment value) { FAlignment = value; }
    TTrackButton GetTrackButton() const { return FTrackButton; }
    void SetTrackButton(TTrackButton value) { FTrackButton = value; }

    TNotifyEvent OnPopup;

protected:
    virtual void DoPopup();
    void Notification(TComponent* component, TOperation operation) override;
    // For menus that track on their own: where they popped up.
    void SetPopupPoint(POINT value) { FPopupPoint = value; }

private:
    POINT FPopupPoint{-1, -1};
    TComponent* FPopupComponent = nullptr;
    bool FAutoPopup = true;
    TPopupAlignment FAlignment = paLeft;
    TTrackButton FTrackButton = tbRightButton;
};

// The hidden window that owns the pop-up menus while they track: it hands their submenus'
// pop-up notifications to the menus and shows the selected item's hint as the application's.
// The one instance (PopupList) may be replaced by a derived list that extends WndProc.
class TPopupList : public TObject {
    SF_CLASS(TPopupList)
public:
    TPopupList();
    ~TPopupList() override;

    HWND GetWindow() const { return FWindow; }
    int Count() const { return static_cast<int>(FMenus.size()); }
    TPopupMenu* Get(int index) const { return FMenus.at(static_cast<size_t>(index)); }
    void Add(TPopupMenu* menu);
    void Remove(TPopupMenu* menu);

    virtual void WndProc(TMessage& message);

private:
    static LRESULT CALLBACK WindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
    TMenuItem* FindItem(UINT_PTR value, TFindItemKind kind) const;

    HWND FWindow = nullptr;
    std::vector<TPopupMenu*> FMenus;
};

// The pop-up list in use, made by InitMenus.
extern TPopupList* PopupList;

// Start-up and shut-down of the menus unit: the pop-up list and the controls' context-menu hook.
void InitMenus();
void DoneMenus();
// The text of a caption without its accelerator marks ("&&" stays one '&').
std::string StripHotkey(const std::string& caption);
