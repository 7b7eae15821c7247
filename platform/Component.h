// Components: objects with an owner that frees them, a name, a tag, a state, and free notification.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/Persistent.h"

enum class TOperation { opInsert, opRemove };

enum TComponentStateFlag : uint32_t {
    csLoading = 1u << 0,
    csReading = 1u << 1,
    csWriting = 1u << 2,
    csDestroying = 1u << 3,
    csDesigning = 1u << 4,
    csAncestor = 1u << 5,
    csUpdating = 1u << 6,
    csFixups = 1u << 7,
    csFreeNotification = 1u << 8,
    csInline = 1u << 9,
    csDesignInstance = 1u << 10,
};
using TComponentState = uint32_t;

class TComponent : public TPersistent {
    SF_CLASS(TComponent)
public:
    explicit TComponent(TComponent* owner = nullptr);
    ~TComponent() override;

    void BeforeDestruction() override;

    TComponent* GetOwner() const override { return FOwner; }
    int GetComponentCount() const { return static_cast<int>(FComponents.size()); }
    TComponent* GetComponent(int index) const;
    int GetComponentIndex() const;
    void SetComponentIndex(int index);
    TComponent* FindComponent(const std::string& name) const;

    const std::string& GetName() const { return FName; }
    virtual void SetName(const std::string& name);
    intptr_t GetTag() const { return FTag; }
    void SetTag(intptr_t tag) { FTag = tag; }
    TComponentState GetComponentState() const { return FComponentState; }
    bool HasState(TComponentState flag) const { return (FComponentState & flag) != 0; }

    void InsertComponent(TComponent* component);
    void RemoveComponent(TComponent* component);
    // Frees every owned component, last first, until none remain (freeing one may free others).
    void DestroyComponents();
    // Marks this component and its owned ones as being destroyed.
    void Destroying();

    // Asks to be told (Notification with opRemove) when the other component is freed.
    void FreeNotification(TComponent* other);
    void RemoveFreeNotification(TComponent* other);

    // Calls proc for each child that streams with this one; containers override it (none by default).
    virtual void GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root);
    virtual TComponent* GetChildOwner() { return nullptr; }
    virtual TComponent* GetChildParent() { return nullptr; }
    virtual bool HasParent() const { return false; }
    virtual TComponent* GetParentComponent() const { return nullptr; }
    virtual void SetParentComponent(TComponent*) {}

    std::string GetNamePath() const override;

    // State changes made by the streaming system.
    void SetComponentStateFlag(TComponentState flag, bool on);

protected:
    virtual void Notification(TComponent* component, TOperation operation);
    virtual void Loaded();
    virtual void ValidateRename(TComponent* component, const std::string& currentName, const std::string& newName);
    virtual void ValidateInsert(TComponent*) {}

    friend class TReader;

private:
    void Insert(TComponent* component);
    void Remove(TComponent* component);
    void NotifyAll(TComponent* component, TOperation operation);
    void RemoveNotification(TComponent* component);

    TComponent* FOwner = nullptr;
    std::vector<TComponent*> FComponents;
    std::vector<TComponent*> FFreeNotifies;
    std::string FName;
    intptr_t FTag = 0;
    TComponentState FComponentState = 0;
};

bool IsValidIdent(const std::string& ident);
