#include "platform/Component.h"

#include <algorithm>
#include <cctype>

SF_IMPLEMENT_COMPONENT(TComponent, TPersistent)

bool IsValidIdent(const std::string& ident)
{
    if (ident.empty())
        return false;
    auto alpha = [](unsigned char c) { return std::isalpha(c) || c == '_'; };
    if (!alpha(static_cast<unsigned char>(ident[0])))
        return false;
    return std::all_of(ident.begin(), ident.end(),
                       [&](char c) { return alpha(static_cast<unsigned char>(c)) || std::isdigit(static_cast<unsigned char>(c)); });
}

TComponent::TComponent(TComponent* owner)
{
    if (owner)
        owner->InsertComponent(this);
}

TComponent::~TComponent()
{
    // Reached without Free() only when a constructor failed or a caller deleted directly:
    // still leave no dangling references behind.
    if (!HasState(csDestroying)) {
        Destroying();
        NotifyAll(this, TOperation::opRemove);
        DestroyComponents();
        if (FOwner)
            FOwner->RemoveComponent(this);
    }
}

void TComponent::BeforeDestruction()
{
    Destroying();
    NotifyAll(this, TOperation::opRemove);
    DestroyComponents();
    if (FOwner)
        FOwner->RemoveComponent(this);
}

void TComponent::NotifyAll(TComponent* component, TOperation operation)
{
    // Handlers may remove themselves from the list while we walk it.
    while (!FFreeNotifies.empty()) {
        TComponent* other = FFreeNotifies.back();
        FFreeNotifies.pop_back();
        other->RemoveNotification(this);
        other->Notification(component, operation);
    }
}

TComponent* TComponent::GetComponent(int index) const
{
    if (index < 0 || index >= GetComponentCount())
        throw EListError("List index out of bounds (" + std::to_string(index) + ")");
    return FComponents[static_cast<size_t>(index)];
}

int TComponent::GetComponentIndex() const
{
    if (!FOwner)
        return -1;
    auto& list = FOwner->FComponents;
    auto it = std::find(list.begin(), list.end(), this);
    return it == list.end() ? -1 : static_cast<int>(it - list.begin());
}

void TComponent::SetComponentIndex(int index)
{
    if (!FOwner)
        return;
    auto& list = FOwner->FComponents;
    int current = GetComponentIndex();
    if (current < 0)
        return;
    index = std::clamp(index, 0, static_cast<int>(list.size()) - 1);
    list.erase(list.begin() + current);
    list.insert(list.begin() + index, this);
}

TComponent* TComponent::FindComponent(const std::string& name) const
{
    if (name.empty())
        return nullptr;
    for (TComponent* c : FComponents)
        if (_stricmp(c->FName.c_str(), name.c_str()) == 0)
            return c;
    return nullptr;
}

void TComponent::ValidateRename(TComponent* component, const std::string&, const std::string& newName)
{
    if (!component || newName.empty())
        return;
    TComponent* found = FindComponent(newName);
    if (found && found != component)
        throw EComponentError("A component named " + newName + " already exists");
}

void TComponent::SetName(const std::string& name)
{
    if (name == FName)
        return;
    if (!name.empty() && !IsValidIdent(name))
        throw EComponentError("''" + name + "'' is not a valid component name");
    if (FOwner)
        FOwner->ValidateRename(this, FName, name);
    else
        ValidateRename(nullptr, FName, name);
    FName = name;
}

void TComponent::Insert(TComponent* component)
{
    FComponents.push_back(component);
    component->FOwner = this;
}

void TComponent::Remove(TComponent* component)
{
    auto it = std::find(FComponents.begin(), FComponents.end(), component);
    if (it != FComponents.end())
        FComponents.erase(it);
    component->FOwner = nullptr;
}

void TComponent::InsertComponent(TComponent* component)
{
    ValidateInsert(component);
    if (component->FOwner)
        component->FOwner->RemoveComponent(component);
    if (!component->FName.empty())
        ValidateRename(component, {}, component->FName);
    Insert(component);
    Notification(component, TOperation::opInsert);
}

void TComponent::RemoveComponent(TComponent* component)
{
    Notification(component, TOperation::opRemove);
    Remove(component);
}

void TComponent::DestroyComponents()
{
    while (!FComponents.empty()) {
        TComponent* last = FComponents.back();
        Remove(last);
        last->Free();
    }
}

void TComponent::Destroying()
{
    if (HasState(csDestroying))
        return;
    FComponentState |= csDestroying;
    for (TComponent* c : FComponents)
        c->Destroying();
}

void TComponent::FreeNotification(TComponent* other)
{
    if (!other || other == this)
        return;
    if (std::find(FFreeNotifies.begin(), FFreeNotifies.end(), other) == FFreeNotifies.end())
        FFreeNotifies.push_back(other);
    if (std::find(other->FFreeNotifies.begin(), other->FFreeNotifies.end(), this) == other->FFreeNotifies.end())
        other->FFreeNotifies.push_back(this);
    FComponentState |= csFreeNotification;
}

void TComponent::RemoveNotification(TComponent* component)
{
    auto it = std::find(FFreeNotifies.begin(), FFreeNotifies.end(), component);
    if (it != FFreeNotifies.end())
        FFreeNotifies.erase(it);
}

void TComponent::RemoveFreeNotification(TComponent* other)
{
    if (!other)
        return;
    RemoveNotification(other);
    other->RemoveNotification(this);
}

void TComponent::Notification(TComponent* component, TOperation operation)
{
    if (operation == TOperation::opRemove && component)
        RemoveFreeNotification(component);
    // Owned components hear of every insertion and removal in their owner, as the owner does.
    for (size_t i = FComponents.size(); i-- > 0;) {
        if (i < FComponents.size())
            FComponents[i]->Notification(component, operation);
    }
}

void TComponent::Loaded()
{
    FComponentState &= ~csLoading;
}

void TComponent::GetChildren(const std::function<void(TComponent*)>&, TComponent*)
{
}

std::string TComponent::GetNamePath() const
{
    return FName;
}

void TComponent::SetComponentStateFlag(TComponentState flag, bool on)
{
    if (on)
        FComponentState |= flag;
    else
        FComponentState &= ~flag;
}
