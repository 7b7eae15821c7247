// Class descriptors, two-phase creation and destruction, and comparable method-pointer events:
// what the program's class references, virtual constructors and "is"/"as" tests stand on.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "platform/Exceptions.h"

class TObject;
class TComponent;

// A class reference: name, parent and (for concrete classes) a factory taking an optional owner.
struct TClassInfo {
    const char* Name = "";
    const TClassInfo* Parent = nullptr;
    TObject* (*Factory)(TComponent* owner) = nullptr;
};
using TClass = const TClassInfo*;

bool ClassInheritsFrom(TClass cls, TClass ancestor);

// Declares the class descriptor inside a class body.
#define SF_CLASS(Name)                                                       \
public:                                                                      \
    static TClass StaticClass();                                             \
    TClass ClassType() const override { return StaticClass(); }              \
                                                                             \
private:

namespace sfobj {
extern const char PlainHandlerKey;
uint64_t NextPlainHandlerId();
template <class T>
TObject* MakeDefault(TComponent*) { return new T(); }
template <class T>
TObject* MakeOwned(TComponent* owner) { return new T(owner); }
}

// Defines the descriptor of a class with no factory (abstract or not created by reference).
#define SF_IMPLEMENT_ABSTRACT(Name, Parent)                                  \
    TClass Name::StaticClass()                                               \
    {                                                                        \
        static const TClassInfo info{#Name, Parent::StaticClass(), nullptr}; \
        return &info;                                                        \
    }
// Defines the descriptor of a class created by reference with its default constructor.
#define SF_IMPLEMENT_CLASS(Name, Parent)                                     \
    TClass Name::StaticClass()                                               \
    {                                                                        \
        static const TClassInfo info{#Name, Parent::StaticClass(), &sfobj::MakeDefault<Name>}; \
        return &info;                                                        \
    }
// Defines the descriptor of a component created by reference with its owner.
#define SF_IMPLEMENT_COMPONENT(Name, Parent)                                 \
    TClass Name::StaticClass()                                               \
    {                                                                        \
        static const TClassInfo info{#Name, Parent::StaticClass(), &sfobj::MakeOwned<Name>}; \
        return &info;                                                        \
    }

// The root of every class created by reference. Constructors only set fields; work that needs
// virtual dispatch runs in AfterConstruction. Free runs BeforeDestruction, then deletes.
class TObject {
public:
    TObject() = default;
    virtual ~TObject() = default;
    TObject(const TObject&) = delete;
    TObject& operator=(const TObject&) = delete;

    static TClass StaticClass();
    virtual TClass ClassType() const { return StaticClass(); }
    std::string ClassName() const { return ClassType()->Name; }
    bool InheritsFrom(TClass ancestor) const { return ClassInheritsFrom(ClassType(), ancestor); }

    virtual void AfterConstruction() {}
    virtual void BeforeDestruction() {}
    void Free();
};

// Runs the second construction phase of a new object; a failure there frees it again.
template <class T>
T* FinishConstruction(T* obj)
{
    try {
        obj->AfterConstruction();
    } catch (...) {
        obj->Free();
        throw;
    }
    return obj;
}

// Creates an object and runs its second construction phase.
template <class T, class... A>
T* New(A&&... args)
{
    return FinishConstruction(new T(std::forward<A>(args)...));
}

// Creates an instance of a class reference (virtual constructor).
TObject* CreateInstance(TClass cls, TComponent* owner = nullptr);

template <class T>
bool Is(const TObject* obj)
{
    return obj && obj->InheritsFrom(T::StaticClass());
}

template <class T>
T* As(TObject* obj)
{
    if (!obj)
        return nullptr;
    if (!Is<T>(obj))
        throw EInvalidCast("Invalid class typecast: " + obj->ClassName() + " is not " + T::StaticClass()->Name);
    return static_cast<T*>(obj);
}

template <class T>
void FreeAndNil(T*& obj)
{
    T* tmp = obj;
    obj = nullptr;
    if (tmp)
        tmp->Free();
}

// Owns a TObject and frees it through Free() (so BeforeDestruction runs).
struct TObjectFree {
    void operator()(TObject* obj) const
    {
        if (obj)
            obj->Free();
    }
};

// An object the holder owns outside any owner tree: freed through Free() when the pointer goes.
template <class T>
using TOwned = std::unique_ptr<T, TObjectFree>;

// Class registry for creation by name (streaming).
void RegisterClass(TClass cls);
TClass FindClass(const std::string& name);   // raises EClassNotFound
TClass GetClass(const std::string& name);    // nullptr when unknown

// An event handler: either an (object, method) pair, which compares equal to the same pair,
// or a plain function, which compares equal only to itself by identity of its key.
template <class... Args>
class TEvent {
public:
    TEvent() = default;
    TEvent(std::nullptr_t) {}

    template <class C>
    TEvent(C* obj, void (C::*method)(Args...))
        : FCall([obj, method](Args... args) { (obj->*method)(std::forward<Args>(args)...); }), FObject(obj)
    {
        static_assert(sizeof(method) <= sizeof(FMethod), "member pointer too large");
        std::memcpy(FMethod, &method, sizeof(method));
    }

    template <class F, class = std::enable_if_t<std::is_invocable_v<F, Args...> && !std::is_same_v<std::decay_t<F>, TEvent>>>
    TEvent(F&& fn) : FCall(std::forward<F>(fn)), FObject(&sfobj::PlainHandlerKey)
    {
        // Each plain handler gets an identity of its own, kept by its copies.
        uint64_t id = sfobj::NextPlainHandlerId();
        std::memcpy(FMethod, &id, sizeof(id));
    }

    explicit operator bool() const { return static_cast<bool>(FCall); }
    void operator()(Args... args) const
    {
        if (FCall)
            FCall(std::forward<Args>(args)...);
    }
    const void* GetObject() const { return FObject; }

    bool operator==(const TEvent& other) const
    {
        if (!FCall || !other.FCall)
            return !FCall && !other.FCall;
        return FObject == other.FObject && std::memcmp(FMethod, other.FMethod, sizeof(FMethod)) == 0;
    }

private:
    std::function<void(Args...)> FCall;
    const void* FObject = nullptr;
    unsigned char FMethod[16] = {};
};

using TNotifyEvent = TEvent<TObject*>;
