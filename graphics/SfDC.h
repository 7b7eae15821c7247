// A reference-counted holder of a Windows device context, reached through IDC.
#pragma once

#include "graphics/SfInterface.h"
#include "platform/ComObj.h"

class TSfDC : public TInterfacedObject, public IDC {
    SF_CLASS(TSfDC)
    SF_IUNKNOWN_METHODS
public:
    HRESULT STDMETHODCALLTYPE GetHandle(HDC* handle) override;
    HRESULT STDMETHODCALLTYPE SetHandle(HDC handle) override;
    HRESULT STDMETHODCALLTYPE GetOwnsHandle(VARIANT_BOOL* owns) override;
    HRESULT STDMETHODCALLTYPE SetOwnsHandle(VARIANT_BOOL owns) override;

    void BeforeDestruction() override;

protected:
    HRESULT QueryInterfaceImpl(REFIID iid, void** obj) override;

    // Lets go of an owned context: deleted and disowned. A context not owned is kept.
    virtual void ReleaseHandle();
    virtual void DestroyHandle();
    virtual void DoSetHandle(HDC handle);
    virtual HDC DoGetHandle();

    HDC FHandle = nullptr;
    bool FOwnsHandle = false;
};

// A class that adds an interface derived from IDC re-declares the IDC methods so that both of
// its IDC tables reach the same code; this forwards them to the base class's implementation.
#define SF_FORWARD_IDC(Base)                                                                              \
public:                                                                                                   \
    HRESULT STDMETHODCALLTYPE GetHandle(HDC* handle) override { return Base::GetHandle(handle); }         \
    HRESULT STDMETHODCALLTYPE SetHandle(HDC handle) override { return Base::SetHandle(handle); }          \
    HRESULT STDMETHODCALLTYPE GetOwnsHandle(VARIANT_BOOL* owns) override { return Base::GetOwnsHandle(owns); } \
    HRESULT STDMETHODCALLTYPE SetOwnsHandle(VARIANT_BOOL owns) override { return Base::SetOwnsHandle(owns); }
