#include <gtest/gtest.h>

#include <vector>

#include "platform/Component.h"

namespace {

std::vector<std::string>* gLog = nullptr;

class TLogged : public TComponent {
    SF_CLASS(TLogged)
public:
    using TComponent::TComponent;
    int Removed = 0;
    std::vector<TComponent*> Heard;
    void AfterConstruction() override
    {
        TComponent::AfterConstruction();
        Constructed = true;
    }
    bool Constructed = false;
    void BeforeDestruction() override
    {
        if (gLog)
            gLog->push_back("free " + GetName());
        TComponent::BeforeDestruction();
    }

protected:
    void Notification(TComponent* component, TOperation operation) override
    {
        TComponent::Notification(component, operation);
        if (operation == TOperation::opRemove) {
            ++Removed;
            Heard.push_back(component);
        }
    }
};
SF_IMPLEMENT_COMPONENT(TLogged, TComponent)

class TFailing : public TComponent {
    SF_CLASS(TFailing)
public:
    using TComponent::TComponent;
    void AfterConstruction() override { throw EInvalidOperation("second phase failed"); }
};
SF_IMPLEMENT_COMPONENT(TFailing, TComponent)

TEST(ObjectModel, ClassReferencesAndCasts)
{
    TObject* obj = New<TLogged>(nullptr);
    EXPECT_EQ(obj->ClassName(), "TLogged");
    EXPECT_TRUE(Is<TComponent>(obj));
    EXPECT_TRUE(Is<TPersistent>(obj));
    EXPECT_FALSE(Is<TFailing>(obj));
    EXPECT_THROW(As<TFailing>(obj), EInvalidCast);
    EXPECT_EQ(As<TLogged>(obj), obj);
    EXPECT_TRUE(static_cast<TLogged*>(obj)->Constructed);
    obj->Free();

    RegisterClass(TLogged::StaticClass());
    TComponent owner;
    TObject* made = CreateInstance(FindClass("TLogged"), &owner);
    EXPECT_TRUE(static_cast<TLogged*>(made)->Constructed);
    EXPECT_EQ(owner.GetComponentCount(), 1);
    EXPECT_THROW(FindClass("TNoSuchClass"), EClassNotFound);
    EXPECT_EQ(GetClass("TNoSuchClass"), nullptr);
}

TEST(ObjectModel, FailedSecondPhaseFreesAndLeavesOwnerClean)
{
    TComponent owner;
    EXPECT_THROW(New<TFailing>(&owner), EInvalidOperation);
    EXPECT_EQ(owner.GetComponentCount(), 0);
}

TEST(ObjectModel, OwnerFreesComponentsLastFirst)
{
    std::vector<std::string> log;
    gLog = &log;
    auto* owner = New<TLogged>(nullptr);
    owner->SetName("Owner");
    for (const char* n : {"A", "B", "C"})
        New<TLogged>(owner)->SetName(n);
    owner->Free();
    gLog = nullptr;
    EXPECT_EQ(log, (std::vector<std::string>{"free Owner", "free C", "free B", "free A"}));
}

TEST(ObjectModel, FreeNotificationReachesWatcherOnceAndBothWays)
{
    auto* watcher = New<TLogged>(nullptr);
    auto* watched = New<TLogged>(nullptr);
    watcher->FreeNotification(watched);
    watched->Free();
    EXPECT_EQ(watcher->Removed, 1);
    ASSERT_EQ(watcher->Heard.size(), 1u);

    // The link works both ways and is gone after the first free: freeing the watcher later is safe.
    auto* other = New<TLogged>(nullptr);
    other->FreeNotification(watcher);
    watcher->Free();
    EXPECT_EQ(other->Removed, 1);
    other->Free();
}

TEST(ObjectModel, RemovedFreeNotificationIsSilent)
{
    auto* watcher = New<TLogged>(nullptr);
    auto* watched = New<TLogged>(nullptr);
    watcher->FreeNotification(watched);
    watcher->RemoveFreeNotification(watched);
    watched->Free();
    EXPECT_EQ(watcher->Removed, 0);
    watcher->Free();
}

TEST(ObjectModel, NamesAreValidatedAndUniqueWithinOwner)
{
    TComponent owner;
    auto* a = New<TLogged>(&owner);
    auto* b = New<TLogged>(&owner);
    a->SetName("Button1");
    EXPECT_THROW(b->SetName("button1"), EComponentError);
    EXPECT_THROW(b->SetName("1abc"), EComponentError);
    EXPECT_THROW(b->SetName("a b"), EComponentError);
    b->SetName("_ok2");
    EXPECT_EQ(owner.FindComponent("BUTTON1"), a);
    EXPECT_EQ(owner.FindComponent("_ok2"), b);
    EXPECT_EQ(owner.FindComponent("none"), nullptr);
}

TEST(ObjectModel, MovingBetweenOwners)
{
    TComponent first, second;
    auto* c = New<TLogged>(&first);
    second.InsertComponent(c);
    EXPECT_EQ(first.GetComponentCount(), 0);
    EXPECT_EQ(second.GetComponentCount(), 1);
    EXPECT_EQ(c->GetOwner(), &second);
    c->SetComponentIndex(5);
    EXPECT_EQ(c->GetComponentIndex(), 0);
}

struct Receiver {
    int Count = 0;
    void Hit(TObject*) { ++Count; }
    void Other(TObject*) { Count += 10; }
};

TEST(ObjectModel, MethodEventsCompareByObjectAndMethod)
{
    Receiver r1, r2;
    TNotifyEvent a(&r1, &Receiver::Hit);
    TNotifyEvent b(&r1, &Receiver::Hit);
    TNotifyEvent c(&r2, &Receiver::Hit);
    TNotifyEvent d(&r1, &Receiver::Other);
    EXPECT_TRUE(a == b);
    EXPECT_FALSE(a == c);
    EXPECT_FALSE(a == d);
    EXPECT_TRUE(TNotifyEvent() == TNotifyEvent(nullptr));
    EXPECT_FALSE(a == TNotifyEvent());
    a(nullptr);
    d(nullptr);
    EXPECT_EQ(r1.Count, 11);
    TNotifyEvent empty;
    empty(nullptr);  // an unassigned event does nothing
}

TEST(ObjectModel, PlainHandlersAreEqualOnlyToTheirOwnCopies)
{
    std::vector<TNotifyEvent> handlers;
    for (int i = 0; i < 2; ++i)
        handlers.push_back(TNotifyEvent([i](TObject*) { (void)i; }));
    EXPECT_FALSE(handlers[0] == handlers[1]);
    TNotifyEvent copy = handlers[0];
    EXPECT_TRUE(copy == handlers[0]);
    Receiver r;
    EXPECT_FALSE(handlers[0] == TNotifyEvent(&r, &Receiver::Hit));
}

}
