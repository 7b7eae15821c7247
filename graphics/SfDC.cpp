#include "graphics/SfDC.h"

SF_IMPLEMENT_CLASS(TSfDC, TInterfacedObject)

HRESULT TSfDC::GetHandle(HDC* handle)
{
    return SafeGet(handle, [&] { return DoGetHandle(); });
}

HRESULT TSfDC::SetHandle(HDC handle)
{
    return SafeCall([&] { DoSetHandle(handle); });
}

HRESULT TSfDC::GetOwnsHandle(VARIANT_BOOL* owns)
{
    return SafeGet(owns, [&] { return FOwnsHandle ? VARIANT_TRUE : VARIANT_FALSE; });
}

HRESULT TSfDC::SetOwnsHandle(VARIANT_BOOL owns)
{
    return SafeCall([&] { FOwnsHandle = owns != VARIANT_FALSE; });
}

void TSfDC::BeforeDestruction()
{
    ReleaseHandle();
    TInterfacedObject::BeforeDestruction();
}

HRESULT TSfDC::QueryInterfaceImpl(REFIID iid, void** obj)
{
    if (!obj)
        return E_POINTER;
    if (iid == IID_IUnknown || iid == __uuidof(IDC)) {
        *obj = static_cast<IDC*>(this);
        AddRefImpl();
        return S_OK;
    }
    return TInterfacedObject::QueryInterfaceImpl(iid, obj);
}

void TSfDC::ReleaseHandle()
{
    // A context of the caller's stays the caller's and stays held: only an owned one goes.
    if (!FOwnsHandle)
        return;
    if (FHandle)
        DestroyHandle();
    FOwnsHandle = false;
}

void TSfDC::DestroyHandle()
{
    DeleteDC(FHandle);
    FHandle = nullptr;
}

void TSfDC::DoSetHandle(HDC handle)
{
    // Setting the context already held must not delete it.
    if (handle == FHandle)
        return;
    ReleaseHandle();
    FHandle = handle;
}

HDC TSfDC::DoGetHandle()
{
    return FHandle;
}
