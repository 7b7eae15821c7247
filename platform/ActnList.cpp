#include "platform/ActnList.h"

#include <algorithm>

#include "platform/Forms.h"
#include "platform/ScopeGuards.h"

SF_IMPLEMENT_ABSTRACT(TBasicActionLink, TObject)
SF_IMPLEMENT_COMPONENT(TBasicAction, TComponent)
SF_IMPLEMENT_COMPONENT(TContainedAction, TBasicAction)
SF_IMPLEMENT_COMPONENT(TCustomAction, TContainedAction)
SF_IMPLEMENT_COMPONENT(TAction, TCustomAction)
SF_IMPLEMENT_ABSTRACT(TActionLink, TBasicActionLink)
SF_IMPLEMENT_COMPONENT(TCustomActionList, TComponent)
SF_IMPLEMENT_COMPONENT(TActionList, TCustomActionList)

namespace {
std::vector<TCustomActionList*>& LiveActionLists()
{
    static std::vector<TCustomActionList*> lists;
    return lists;
}
}

// ---------------------------------------------------------------------------------------------
// TBasicActionLink

TBasicActionLink::~TBasicActionLink()
{
    if (FAction)
        FAction->UnRegisterChanges(this);
}

void TBasicActionLink::SetAction(TBasicAction* value)
{
    if (value == FAction)
        return;
    if (FAction)
        FAction->UnRegisterChanges(this);
    FAction = value;
    if (value)
        value->RegisterChanges(this);
}

bool TBasicActionLink::Execute(TComponent* target)
{
    if (!FAction)
        return false;
    TBasicAction* action = FAction;
    action->SetActionComponent(target);
    struct TClearComponent {
        TBasicActionLink* Link;
        TBasicAction* Action;
        ~TClearComponent()
        {
            // The handler may have freed the action, which then left this link.
            if (Link->FAction == Action)
                Action->SetActionComponent(nullptr);
        }
    } clear{this, action};
    return action->Execute();
}

bool TBasicActionLink::Update()
{
    return FAction && FAction->Update();
}

void TBasicActionLink::Change()
{
    OnChange(FAction);
}

// ---------------------------------------------------------------------------------------------
// TBasicAction

void TBasicAction::BeforeDestruction()
{
    // Clients that asked for free notification drop their links first; the rest forget us.
    TComponent::BeforeDestruction();
    for (TBasicActionLink* link : FClients)
        link->FAction = nullptr;
    FClients.clear();
}

bool TBasicAction::Execute()
{
    if (!FOnExecute)
        return false;
    FOnExecute(this);
    return true;
}

bool TBasicAction::Update()
{
    if (!OnUpdate)
        return false;
    OnUpdate(this);
    return true;
}

void TBasicAction::SetActionComponent(TComponent* value)
{
    if (value == FActionComponent)
        return;
    if (FActionComponent)
        FActionComponent->RemoveFreeNotification(this);
    FActionComponent = value;
    if (value)
        value->FreeNotification(this);
}

void TBasicAction::SetOnExecute(const TNotifyEvent& value)
{
    if (value == FOnExecute)
        return;
    std::vector<TBasicActionLink*> clients = FClients;
    for (TBasicActionLink* link : clients)
        link->SetOnExecute(value);
    FOnExecute = value;
    Change();
}

void TBasicAction::RegisterChanges(TBasicActionLink* link)
{
    if (std::find(FClients.begin(), FClients.end(), link) == FClients.end())
        FClients.push_back(link);
    link->FAction = this;
}

void TBasicAction::UnRegisterChanges(TBasicActionLink* link)
{
    auto it = std::find(FClients.begin(), FClients.end(), link);
    if (it == FClients.end())
        return;
    FClients.erase(it);
    link->FAction = nullptr;
}

void TBasicAction::Change()
{
    // The clients heard of the change through their links' setters, each only for what it
    // still follows; re-reading the whole action here would undo a client's own values.
    OnChange(this);
}

void TBasicAction::Notification(TComponent* component, TOperation operation)
{
    TComponent::Notification(component, operation);
    if (operation == TOperation::opRemove && component == FActionComponent)
        FActionComponent = nullptr;
}

// ---------------------------------------------------------------------------------------------
// TContainedAction

void TContainedAction::BeforeDestruction()
{
    SetActionList(nullptr);
    TBasicAction::BeforeDestruction();
}

void TContainedAction::SetActionList(TCustomActionList* value)
{
    if (value == FActionList)
        return;
    if (FActionList)
        FActionList->RemoveAction(this);
    if (value)
        value->AddAction(this);
}

int TContainedAction::GetIndex() const
{
    return FActionList ? FActionList->IndexOfAction(this) : -1;
}

void TContainedAction::SetIndex(int value)
{
    if (FActionList)
        FActionList->MoveAction(this, value);
}

void TContainedAction::SetCategory(const std::string& value)
{
    if (value == FCategory)
        return;
    FCategory = value;
    Change();
}

namespace {
// Offers an action nobody handled to the application window, whose hooks may take it.
bool SendToApplication(UINT msg, TBasicAction* action)
{
    HWND wnd = Application ? Application->GetHandle() : nullptr;
    return wnd && SendMessageA(wnd, msg, 0, reinterpret_cast<LPARAM>(action)) == 1;
}
}

bool TContainedAction::Execute()
{
    return (FActionList && FActionList->ExecuteAction(this)) || TBasicAction::Execute() ||
           SendToApplication(CM_ACTIONEXECUTE, this);
}

bool TContainedAction::Update()
{
    return (FActionList && FActionList->UpdateAction(this)) || TBasicAction::Update() ||
           SendToApplication(CM_ACTIONUPDATE, this);
}

TComponent* TContainedAction::GetParentComponent() const
{
    return FActionList;
}

void TContainedAction::SetParentComponent(TComponent* parent)
{
    if (Is<TCustomActionList>(parent))
        SetActionList(static_cast<TCustomActionList*>(parent));
}

// ---------------------------------------------------------------------------------------------
// TCustomAction

template <class F>
void TCustomAction::ForEachActionLink(F f)
{
    std::vector<TBasicActionLink*> clients = FClients;
    for (TBasicActionLink* link : clients)
        if (Is<TActionLink>(link) && std::find(FClients.begin(), FClients.end(), link) != FClients.end())
            f(static_cast<TActionLink*>(link));
}

void TCustomAction::SetCaption(const std::string& value)
{
    if (value == FCaption)
        return;
    ForEachActionLink([&](TActionLink* link) { link->SetCaption(value); });
    FCaption = value;
    Change();
}

void TCustomAction::SetChecked(bool value)
{
    if (value == FChecked || FChecking)
        return;
    TFlagScope checking(FChecking);
    ForEachActionLink([&](TActionLink* link) { link->SetChecked(value); });
    FChecked = value;
    if (value)
        UncheckGroup();
    Change();
}

void TCustomAction::UncheckGroup()
{
    TCustomActionList* list = GetActionList();
    if (FGroupIndex <= 0 || !list)
        return;
    for (int i = 0; i < list->GetActionCount(); ++i) {
        TContainedAction* other = list->GetAction(i);
        if (other != this && Is<TCustomAction>(other) && static_cast<TCustomAction*>(other)->FGroupIndex == FGroupIndex)
            static_cast<TCustomAction*>(other)->SetChecked(false);
    }
}

void TCustomAction::SetEnabled(bool value)
{
    if (value == FEnabled)
        return;
    ForEachActionLink([&](TActionLink* link) { link->SetEnabled(value); });
    FEnabled = value;
    Change();
}

void TCustomAction::SetHelpContext(int value)
{
    if (value == FHelpContext)
        return;
    ForEachActionLink([&](TActionLink* link) { link->SetHelpContext(value); });
    FHelpContext = value;
    Change();
}

void TCustomAction::SetHint(const std::string& value)
{
    if (value == FHint)
        return;
    ForEachActionLink([&](TActionLink* link) { link->SetHint(value); });
    FHint = value;
    Change();
}

void TCustomAction::SetImageIndex(int value)
{
    if (value == FImageIndex)
        return;
    ForEachActionLink([&](TActionLink* link) { link->SetImageIndex(value); });
    FImageIndex = value;
    Change();
}

void TCustomAction::SetShortCut(TShortCut value)
{
    if (value == FShortCut)
        return;
    ForEachActionLink([&](TActionLink* link) { link->SetShortCut(value); });
    FShortCut = value;
    Change();
}

void TCustomAction::SetVisible(bool value)
{
    if (value == FVisible)
        return;
    ForEachActionLink([&](TActionLink* link) { link->SetVisible(value); });
    FVisible = value;
    Change();
}

void TCustomAction::SetAutoCheck(bool value)
{
    if (value == FAutoCheck)
        return;
    ForEachActionLink([&](TActionLink* link) { link->SetAutoCheck(value); });
    FAutoCheck = value;
    Change();
}

void TCustomAction::SetGroupIndex(int value)
{
    if (value == FGroupIndex)
        return;
    ForEachActionLink([&](TActionLink* link) { link->SetGroupIndex(value); });
    FGroupIndex = value;
    // Joining a group while checked: the others of the group give way.
    if (FChecked)
        UncheckGroup();
    Change();
}

TCustomImageList* TCustomAction::GetImages() const
{
    return GetActionList() ? GetActionList()->GetImages() : nullptr;
}

bool TCustomAction::Execute()
{
    Update();
    if (!FEnabled)
        return false;
    if (FAutoCheck && (!FChecked || FGroupIndex == 0))
        SetChecked(!FChecked);
    return TContainedAction::Execute();
}

bool TCustomAction::DoHint(std::string& hintText)
{
    bool canShow = true;
    OnHint(hintText, canShow);
    return canShow;
}

void TCustomAction::Assign(TPersistent* source)
{
    auto* other = Is<TCustomAction>(source) ? static_cast<TCustomAction*>(source) : nullptr;
    if (!other) {
        TContainedAction::Assign(source);
        return;
    }
    SetAutoCheck(other->FAutoCheck);
    SetCaption(other->FCaption);
    SetChecked(other->FChecked);
    SetEnabled(other->FEnabled);
    SetHelpContext(other->FHelpContext);
    SetHint(other->FHint);
    SetImageIndex(other->FImageIndex);
    SetShortCut(other->FShortCut);
    SetVisible(other->FVisible);
    SetGroupIndex(other->FGroupIndex);
    SetOnExecute(other->GetOnExecute());
    OnHint = other->OnHint;
    OnUpdate = other->OnUpdate;
}

// ---------------------------------------------------------------------------------------------
// TActionLink

bool TActionLink::IsCaptionLinked() { return IsCustomAction(); }
bool TActionLink::IsCheckedLinked() { return IsCustomAction(); }
bool TActionLink::IsEnabledLinked() { return IsCustomAction(); }
bool TActionLink::IsGroupIndexLinked() { return IsCustomAction(); }
bool TActionLink::IsHelpContextLinked() { return IsCustomAction(); }
bool TActionLink::IsHintLinked() { return IsCustomAction(); }
bool TActionLink::IsImageIndexLinked() { return IsCustomAction(); }
bool TActionLink::IsShortCutLinked() { return IsCustomAction(); }
bool TActionLink::IsVisibleLinked() { return IsCustomAction(); }

// ---------------------------------------------------------------------------------------------
// TCustomActionList

TCustomActionList::TCustomActionList(TComponent* owner) : TComponent(owner)
{
    FImageChangeLink.OnChange = TNotifyEvent(this, &TCustomActionList::ImageListChange);
    LiveActionLists().push_back(this);
}

TCustomActionList::~TCustomActionList()
{
    auto& lists = LiveActionLists();
    lists.erase(std::remove(lists.begin(), lists.end(), this), lists.end());
}

void TCustomActionList::BeforeDestruction()
{
    auto& lists = LiveActionLists();
    lists.erase(std::remove(lists.begin(), lists.end(), this), lists.end());
    // The list's actions go with it, wherever they are owned.
    while (!FActions.empty())
        FActions.back()->Free();
    SetImages(nullptr);
    TComponent::BeforeDestruction();
}

TContainedAction* TCustomActionList::GetAction(int index) const
{
    if (index < 0 || index >= GetActionCount())
        throw EListError("List index out of bounds (" + std::to_string(index) + ")");
    return FActions[static_cast<size_t>(index)];
}

int TCustomActionList::IndexOfAction(const TContainedAction* action) const
{
    auto it = std::find(FActions.begin(), FActions.end(), action);
    return it == FActions.end() ? -1 : static_cast<int>(it - FActions.begin());
}

void TCustomActionList::AddAction(TContainedAction* action)
{
    if (!action || action->FActionList == this)
        return;
    if (action->FActionList)
        action->FActionList->RemoveAction(action);
    FActions.push_back(action);
    action->FActionList = this;
    action->FreeNotification(this);
    Change();
}

void TCustomActionList::RemoveAction(TContainedAction* action)
{
    auto it = std::find(FActions.begin(), FActions.end(), action);
    if (it == FActions.end())
        return;
    FActions.erase(it);
    action->FActionList = nullptr;
    Change();
}

void TCustomActionList::MoveAction(TContainedAction* action, int newIndex)
{
    int current = IndexOfAction(action);
    if (current < 0)
        return;
    newIndex = std::clamp(newIndex, 0, GetActionCount() - 1);
    if (newIndex == current)
        return;
    FActions.erase(FActions.begin() + current);
    FActions.insert(FActions.begin() + newIndex, action);
    Change();
}

void TCustomActionList::SetImages(TCustomImageList* value)
{
    if (value == FImages)
        return;
    if (FImages) {
        FImages->UnRegisterChanges(&FImageChangeLink);
        FImages->RemoveFreeNotification(this);
    }
    FImages = value;
    if (value) {
        value->RegisterChanges(&FImageChangeLink);
        value->FreeNotification(this);
    }
    Change();
}

bool TCustomActionList::ExecuteAction(TBasicAction* action)
{
    bool handled = false;
    OnExecute(action, handled);
    return handled;
}

bool TCustomActionList::UpdateAction(TBasicAction* action)
{
    bool handled = false;
    OnUpdate(action, handled);
    return handled;
}

void TCustomActionList::UpdateActions()
{
    // An update handler may add or free actions; walk by index and re-check the bound.
    for (size_t i = 0; i < FActions.size(); ++i)
        FActions[i]->Update();
}

void TCustomActionList::GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root)
{
    for (TContainedAction* action : FActions)
        if (action->GetOwner() == root)
            proc(action);
}

void TCustomActionList::Notification(TComponent* component, TOperation operation)
{
    TComponent::Notification(component, operation);
    if (operation != TOperation::opRemove)
        return;
    if (component == FImages) {
        FImages->UnRegisterChanges(&FImageChangeLink);
        FImages = nullptr;
    }
    auto it = std::find(FActions.begin(), FActions.end(), component);
    if (it != FActions.end()) {
        (*it)->FActionList = nullptr;
        FActions.erase(it);
    }
}

void TCustomActionList::Change()
{
    OnChange(this);
}

void TCustomActionList::ImageListChange(TObject*)
{
    Change();
}

void UpdateActionsOnIdle()
{
    std::vector<TCustomActionList*> lists = LiveActionLists();
    for (TCustomActionList* list : lists) {
        auto& live = LiveActionLists();
        if (std::find(live.begin(), live.end(), list) == live.end())
            continue;
        if (list->HasState(csLoading) || list->HasState(csDestroying))
            continue;
        list->UpdateActions();
    }
}
