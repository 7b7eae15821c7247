// COM-style reference counting for the program's own interfaces: the counted base object, a smart
// pointer that holds one reference, and the bridge between exceptions and result codes.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <string>
#include <type_traits>
#include <utility>

#include "platform/ObjectModel.h"

// A failure result code handed back by an interface method, raised again on the caller's side.
class EOleSysError : public Exception {
public:
    EOleSysError(std::string message, HRESULT errorCode) : Exception(std::move(message)), FErrorCode(errorCode) {}
    HRESULT GetErrorCode() const { return FErrorCode; }
    const char* ClassName() const override { return "EOleSysError"; }

private:
    HRESULT FErrorCode = S_OK;
};

// Raises EOleSysError when the result code is a failure; success codes pass through.
HRESULT OleCheck(HRESULT result);

// Runs the body of an interface method: no exception crosses the interface, every one becomes
// E_UNEXPECTED (0x8000FFFF).
template <class F>
HRESULT SafeCall(F&& body) noexcept
{
    try {
        body();
        return S_OK;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

// The same for a method whose body chooses its own result code (S_FALSE, E_INVALIDARG, ...).
template <class F>
HRESULT SafeResult(F&& body) noexcept
{
    try {
        return body();
    } catch (...) {
        return E_UNEXPECTED;
    }
}

// The same for a method that hands a value back through an out-parameter.
template <class T, class F>
HRESULT SafeGet(T* out, F&& body) noexcept
{
    if (!out)
        return E_POINTER;
    try {
        *out = body();
        return S_OK;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

// A reference-counted object. It is born with one reference, which AfterConstruction drops, so
// that work done while constructing cannot free it; it frees itself when the last reference goes.
// A class that implements interfaces derives from them as well, puts SF_IUNKNOWN_METHODS in its
// body and answers its interface identifiers in QueryInterfaceImpl.
class TInterfacedObject : public TObject {
    SF_CLASS(TInterfacedObject)
public:
    void AfterConstruction() override;
    LONG GetRefCount() const { return FRefCount; }
    // QueryInterface for C++ callers that hold the object itself.
    HRESULT GetInterface(REFIID iid, void** obj) { return QueryInterfaceImpl(iid, obj); }

protected:
    ULONG AddRefImpl();
    ULONG ReleaseImpl();
    // Stores an added reference for a known identifier; the base knows none.
    virtual HRESULT QueryInterfaceImpl(REFIID iid, void** obj);

private:
    volatile LONG FRefCount = 1;
};

#define SF_IUNKNOWN_METHODS                                                                    \
public:                                                                                        \
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** obj) override                  \
    {                                                                                          \
        return QueryInterfaceImpl(iid, obj);                                                   \
    }                                                                                          \
    ULONG STDMETHODCALLTYPE AddRef() override { return AddRefImpl(); }                         \
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseImpl(); }

// Holds one reference to an interface: AddRef on copy, Release when it goes.
template <class I>
class TComPtr {
public:
    TComPtr() = default;
    TComPtr(std::nullptr_t) {}
    // Takes a reference of its own to the interface.
    explicit TComPtr(I* intf) : FIntf(intf)
    {
        if (FIntf)
            FIntf->AddRef();
    }
    TComPtr(const TComPtr& other) : TComPtr(other.FIntf) {}
    TComPtr(TComPtr&& other) noexcept : FIntf(std::exchange(other.FIntf, nullptr)) {}
    // Widening from a derived interface (IDib to IDC).
    template <class J, class = std::enable_if_t<std::is_convertible_v<J*, I*>>>
    TComPtr(const TComPtr<J>& other) : TComPtr(static_cast<I*>(other.Get()))
    {
    }
    ~TComPtr() { Reset(); }

    TComPtr& operator=(TComPtr other) noexcept
    {
        std::swap(FIntf, other.FIntf);
        return *this;
    }

    // Adopts a reference that the caller already holds (an out-parameter's result).
    static TComPtr Attach(I* intf)
    {
        TComPtr result;
        result.FIntf = intf;
        return result;
    }
    // Gives up the reference without releasing it.
    I* Detach() { return std::exchange(FIntf, nullptr); }
    void Reset()
    {
        if (I* intf = std::exchange(FIntf, nullptr))
            intf->Release();
    }
    // Releases the current reference and gives the address an out-parameter fills.
    I** Put()
    {
        Reset();
        return &FIntf;
    }

    I* Get() const { return FIntf; }
    I* operator->() const { return FIntf; }
    explicit operator bool() const { return FIntf != nullptr; }
    bool operator==(const TComPtr& other) const { return FIntf == other.FIntf; }

    // Another interface of the same object, or an empty pointer when it has none.
    template <class J>
    TComPtr<J> As() const
    {
        TComPtr<J> result;
        if (FIntf)
            FIntf->QueryInterface(__uuidof(J), reinterpret_cast<void**>(result.Put()));
        return result;
    }

private:
    I* FIntf = nullptr;
};

// Creates an object of a reference-counted class and hands back one of its interfaces.
template <class T, class I, class... A>
TComPtr<I> CreateComObject(A&&... args)
{
    T* obj = New<T>(std::forward<A>(args)...);
    I* intf = nullptr;
    if (FAILED(obj->GetInterface(__uuidof(I), reinterpret_cast<void**>(&intf)))) {
        obj->Free();
        throw EInvalidCast(std::string(T::StaticClass()->Name) + " does not support the interface asked for");
    }
    return TComPtr<I>::Attach(intf);
}

// The same for a class reference (a virtual constructor); the class must derive from TInterfacedObject.
template <class I>
TComPtr<I> CreateComObject(TClass cls)
{
    TInterfacedObject* obj = As<TInterfacedObject>(CreateInstance(cls));
    I* intf = nullptr;
    if (FAILED(obj->GetInterface(__uuidof(I), reinterpret_cast<void**>(&intf)))) {
        obj->Free();
        throw EInvalidCast(std::string(cls->Name) + " does not support the interface asked for");
    }
    return TComPtr<I>::Attach(intf);
}
