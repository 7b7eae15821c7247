#include "platform/ObjectModel.h"

#include <atomic>
#include <map>

TClass TObject::StaticClass()
{
    static const TClassInfo info{"TObject", nullptr, &sfobj::MakeDefault<TObject>};
    return &info;
}

void TObject::Free()
{
    BeforeDestruction();
    delete this;
}

bool ClassInheritsFrom(TClass cls, TClass ancestor)
{
    for (; cls; cls = cls->Parent)
        if (cls == ancestor)
            return true;
    return false;
}

TObject* CreateInstance(TClass cls, TComponent* owner)
{
    if (!cls || !cls->Factory)
        throw EAbstractError(std::string("Cannot create an instance of abstract class ") + (cls ? cls->Name : "(nil)"));
    return FinishConstruction(cls->Factory(owner));
}

namespace {
std::map<std::string, TClass>& ClassRegistry()
{
    static std::map<std::string, TClass> registry;
    return registry;
}
}

void RegisterClass(TClass cls)
{
    ClassRegistry()[cls->Name] = cls;
}

TClass GetClass(const std::string& name)
{
    auto it = ClassRegistry().find(name);
    return it == ClassRegistry().end() ? nullptr : it->second;
}

TClass FindClass(const std::string& name)
{
    TClass cls = GetClass(name);
    if (!cls)
        throw EClassNotFound("Class " + name + " not found");
    return cls;
}

const char sfobj::PlainHandlerKey = 0;

uint64_t sfobj::NextPlainHandlerId()
{
    static std::atomic<uint64_t> next{1};
    return next++;
}
