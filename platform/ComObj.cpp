#include "platform/ComObj.h"

#include <cstdio>

SF_IMPLEMENT_CLASS(TInterfacedObject, TObject)

namespace {
std::string ResultCodeMessage(HRESULT result)
{
    std::string text = SysErrorMessage(static_cast<uint32_t>(result));
    char code[32];
    std::snprintf(code, sizeof code, "OLE error %08lX", static_cast<unsigned long>(result));
    return text.empty() ? std::string(code) : text + " (" + code + ")";
}
}

HRESULT OleCheck(HRESULT result)
{
    if (FAILED(result))
        throw EOleSysError(ResultCodeMessage(result), result);
    return result;
}

void TInterfacedObject::AfterConstruction()
{
    TObject::AfterConstruction();
    InterlockedDecrement(&FRefCount);
}

ULONG TInterfacedObject::AddRefImpl()
{
    return static_cast<ULONG>(InterlockedIncrement(&FRefCount));
}

ULONG TInterfacedObject::ReleaseImpl()
{
    LONG count = InterlockedDecrement(&FRefCount);
    if (count == 0)
        Free();
    return static_cast<ULONG>(count);
}

HRESULT TInterfacedObject::QueryInterfaceImpl(REFIID, void** obj)
{
    if (obj)
        *obj = nullptr;
    return E_NOINTERFACE;
}
