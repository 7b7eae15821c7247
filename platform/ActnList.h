// Actions: named commands whose caption, state, image and shortcut drive every menu item and
// control linked to them, updated at idle time and executed in their place; action lists that
// hold them; and the links through which an action talks to its clients.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/Component.h"
#include "platform/ImgList.h"
#include "platform/ShortCuts.h"

class TBasicAction;
class TCustomActionList;

// The tie between an action and one client (a menu item, a control). The action tells its
// links of every change; a link's client methods pass the change on.
class TBasicActionLink : public TObject {
    SF_CLASS(TBasicActionLink)
public:
    // Create with New<...>(client): AfterConstruction calls the virtual AssignClient.
    explicit TBasicActionLink(TObject* client) : FClientObject(client) {}
    ~TBasicActionLink() override;
    void AfterConstruction() override { AssignClient(FClientObject); }

    TBasicAction* GetAction() const { return FAction; }
    virtual void SetAction(TBasicAction* value);
    // Runs the action with the client's component as the action component.
    virtual bool Execute(TComponent* target = nullptr);
    virtual bool Update();
    virtual bool IsOnExecuteLinked() { return true; }
    virtual void SetOnExecute(const TNotifyEvent&) {}

    // Makes the client re-read the whole action (OnChange with the action as sender).
    virtual void Change();
    TNotifyEvent OnChange;

protected:
    friend class TBasicAction;
    virtual void AssignClient(TObject*) {}

    TBasicAction* FAction = nullptr;

private:
    TObject* FClientObject = nullptr;
};

// A command with execute and update events and the links to its clients.
class TBasicAction : public TComponent {
    SF_CLASS(TBasicAction)
public:
    explicit TBasicAction(TComponent* owner = nullptr) : TComponent(owner) {}
    void BeforeDestruction() override;

    // OnExecute when assigned (true), else false.
    virtual bool Execute();
    // OnUpdate when assigned (true), else false.
    virtual bool Update();
    virtual bool HandlesTarget(TObject*) { return false; }
    virtual void UpdateTarget(TObject*) {}
    virtual void ExecuteTarget(TObject*) {}

    // The component whose click is executing the action, for the handler to read.
    TComponent* GetActionComponent() const { return FActionComponent; }
    void SetActionComponent(TComponent* value);

    const TNotifyEvent& GetOnExecute() const { return FOnExecute; }
    // Tells the clients (which may follow the handler) before storing it.
    void SetOnExecute(const TNotifyEvent& value);
    TNotifyEvent OnUpdate;

    void RegisterChanges(TBasicActionLink* link);
    void UnRegisterChanges(TBasicActionLink* link);
    int GetClientCount() const { return static_cast<int>(FClients.size()); }
    TBasicActionLink* GetClient(int index) const { return FClients.at(static_cast<size_t>(index)); }

    TNotifyEvent OnChange;

protected:
    virtual void Change();
    void Notification(TComponent* component, TOperation operation) override;

    std::vector<TBasicActionLink*> FClients;

private:
    TNotifyEvent FOnExecute;
    TComponent* FActionComponent = nullptr;
};

// An action that belongs to an action list, which may handle its execute and update first;
// one that nobody handles goes to the application window (CM_ACTIONEXECUTE, CM_ACTIONUPDATE).
class TContainedAction : public TBasicAction {
    SF_CLASS(TContainedAction)
public:
    explicit TContainedAction(TComponent* owner = nullptr) : TBasicAction(owner) {}
    void BeforeDestruction() override;

    TCustomActionList* GetActionList() const { return FActionList; }
    void SetActionList(TCustomActionList* value);
    int GetIndex() const;
    void SetIndex(int value);
    const std::string& GetCategory() const { return FCategory; }
    void SetCategory(const std::string& value);

    bool Execute() override;
    bool Update() override;

    bool HasParent() const override { return true; }
    TComponent* GetParentComponent() const override;
    void SetParentComponent(TComponent* parent) override;

private:
    friend class TCustomActionList;
    TCustomActionList* FActionList = nullptr;
    std::string FCategory;
};

using THintEvent = TEvent<std::string&, bool&>;

class TCustomAction : public TContainedAction {
    SF_CLASS(TCustomAction)
public:
    explicit TCustomAction(TComponent* owner = nullptr) : TContainedAction(owner) {}

    // Every setter tells the linked clients first, while the action still holds the old value
    // (a client follows only while it still shows the action's value), then stores and calls
    // Change.
    const std::string& GetCaption() const { return FCaption; }
    void SetCaption(const std::string& value);
    bool GetChecked() const { return FChecked; }
    // Checking an action of a group (GroupIndex > 0) unchecks the others of its list's group.
    void SetChecked(bool value);
    bool GetEnabled() const { return FEnabled; }
    void SetEnabled(bool value);
    int GetHelpContext() const { return FHelpContext; }
    void SetHelpContext(int value);
    const std::string& GetHint() const { return FHint; }
    void SetHint(const std::string& value);
    int GetImageIndex() const { return FImageIndex; }
    void SetImageIndex(int value);
    TShortCut GetShortCut() const { return FShortCut; }
    void SetShortCut(TShortCut value);
    bool GetVisible() const { return FVisible; }
    void SetVisible(bool value);
    bool GetAutoCheck() const { return FAutoCheck; }
    void SetAutoCheck(bool value);
    int GetGroupIndex() const { return FGroupIndex; }
    void SetGroupIndex(int value);
    // The images of the action's list.
    TCustomImageList* GetImages() const;

    // Runs only while enabled; an auto-checked action toggles Checked first.
    bool Execute() override;
    // Lets OnHint change the hint text; false when the hint should not be shown.
    virtual bool DoHint(std::string& hintText);

    void Assign(TPersistent* source) override;

    THintEvent OnHint;

private:
    template <class F>
    void ForEachActionLink(F f);
    void UncheckGroup();

    std::string FCaption;
    bool FChecked = false;
    bool FEnabled = true;
    int FHelpContext = 0;
    std::string FHint;
    int FImageIndex = -1;
    TShortCut FShortCut = 0;
    bool FVisible = true;
    bool FAutoCheck = false;
    int FGroupIndex = 0;
    bool FChecking = false;
};

class TAction : public TCustomAction {
    SF_CLASS(TAction)
public:
    using TCustomAction::TCustomAction;
};

// The client side of a TCustomAction: each Is...Linked tells whether the client still follows
// that property of the action; each Set... passes a new value to the client.
class TActionLink : public TBasicActionLink {
    SF_CLASS(TActionLink)
public:
    using TBasicActionLink::TBasicActionLink;

    virtual bool IsCaptionLinked();
    virtual bool IsCheckedLinked();
    virtual bool IsEnabledLinked();
    virtual bool IsGroupIndexLinked();
    virtual bool IsHelpContextLinked();
    virtual bool IsHintLinked();
    virtual bool IsImageIndexLinked();
    virtual bool IsShortCutLinked();
    virtual bool IsVisibleLinked();

    virtual void SetAutoCheck(bool) {}
    virtual void SetCaption(const std::string&) {}
    virtual void SetChecked(bool) {}
    virtual void SetEnabled(bool) {}
    virtual void SetGroupIndex(int) {}
    virtual void SetHelpContext(int) {}
    virtual void SetHint(const std::string&) {}
    virtual void SetImageIndex(int) {}
    virtual void SetShortCut(TShortCut) {}
    virtual void SetVisible(bool) {}

protected:
    bool IsCustomAction() const { return Is<TCustomAction>(FAction); }
    TCustomAction* CustomAction() const { return static_cast<TCustomAction*>(FAction); }
};

// The action link a client (a menu item, a control) owns, and the steps every client takes with
// it: linking and unlinking an action, passing its changes on, and forgetting an action that is
// freed. The client keeps its own rules: CreateActionLink gives the link kind and ActionChange
// reads the action (both reached through friendship, as they are the client's protected parts).
template <class TClient, class TLink>
class TClientActionLink {
public:
    explicit TClientActionLink(TClient* client) : FClient(client) {}
    TClientActionLink(const TClientActionLink&) = delete;
    TClientActionLink& operator=(const TClientActionLink&) = delete;

    TLink* Get() const { return FLink.get(); }
    TLink* operator->() const { return FLink.get(); }
    explicit operator bool() const { return static_cast<bool>(FLink); }
    TBasicAction* GetAction() const { return FLink ? FLink->GetAction() : nullptr; }

    // None unlinks; otherwise the client re-reads the action (keeping what it set itself while
    // the action is still loading) and hears when the action is freed.
    void SetAction(TBasicAction* value)
    {
        if (!value) {
            FLink.reset();
            return;
        }
        if (!FLink) {
            FLink.reset(FClient->CreateActionLink());
            FLink->OnChange = TNotifyEvent(this, &TClientActionLink::ActionChanged);
        }
        FLink->SetAction(value);
        FClient->ActionChange(value, value->HasState(csLoading));
        value->FreeNotification(FClient);
    }
    void Reset() { FLink.reset(); }
    // The client's idle-time update of its action.
    void Update()
    {
        if (FLink)
            FLink->Update();
    }
    // The client's click while it has an action: its own handler when that is not the action's,
    // else the action runs. False when there is no action.
    bool Click(const TNotifyEvent& onClick)
    {
        TBasicAction* action = GetAction();
        if (!action)
            return false;
        if (onClick && !(onClick == action->GetOnExecute()))
            onClick(FClient);
        else
            FLink->Execute(FClient);
        return true;
    }
    // For the client's Notification: drops the link when its action goes away.
    void Notification(TComponent* component, TOperation operation)
    {
        if (operation == TOperation::opRemove && FLink && component == FLink->GetAction())
            FLink.reset();
    }

private:
    void ActionChanged(TObject* sender)
    {
        if (sender == GetAction())
            FClient->ActionChange(sender, false);
    }

    TClient* FClient;
    std::unique_ptr<TLink, TObjectFree> FLink;
};

using TActionEvent = TEvent<TBasicAction*, bool&>;

// A list of actions, with the images they show and handlers that see every action's execute
// and update first. Every live list takes part in the idle-time update.
class TCustomActionList : public TComponent {
    SF_CLASS(TCustomActionList)
public:
    explicit TCustomActionList(TComponent* owner = nullptr);
    ~TCustomActionList() override;
    void BeforeDestruction() override;

    int GetActionCount() const { return static_cast<int>(FActions.size()); }
    TContainedAction* GetAction(int index) const;
    int IndexOfAction(const TContainedAction* action) const;
    void AddAction(TContainedAction* action);
    void RemoveAction(TContainedAction* action);
    void MoveAction(TContainedAction* action, int newIndex);

    TCustomImageList* GetImages() const { return FImages; }
    void SetImages(TCustomImageList* value);

    // OnExecute / OnUpdate of the list; true when the handler handled the action.
    virtual bool ExecuteAction(TBasicAction* action);
    virtual bool UpdateAction(TBasicAction* action);
    // Updates every action of the list.
    void UpdateActions();

    void GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) override;

    TActionEvent OnExecute;
    TActionEvent OnUpdate;
    TNotifyEvent OnChange;

protected:
    void Notification(TComponent* component, TOperation operation) override;
    virtual void Change();

private:
    void ImageListChange(TObject*);

    std::vector<TContainedAction*> FActions;
    TCustomImageList* FImages = nullptr;
    TChangeLink FImageChangeLink;
};

class TActionList : public TCustomActionList {
    SF_CLASS(TActionList)
public:
    using TCustomActionList::TCustomActionList;
};

// The idle-time update: every action of every live action list runs its update. The
// application's idle handler calls this.
void UpdateActionsOnIdle();
