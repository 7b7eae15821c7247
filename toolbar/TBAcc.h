// Menus and toolbars for screen readers: the accessible objects of views and their items, the
// events menus raise, and the system's accessibility entry points, bound at run time so the
// program runs where they are missing.
#pragma once

#include <windows.h>

#include <oleacc.h>

#include <string>

#include "platform/ComObj.h"

// Raises a WinEvent when the system has NotifyWinEvent; nothing otherwise.
void NotifyEvent(DWORD event, HWND wnd, LONG objectId, LONG childId);
// The accessibility library answers WM_GETOBJECT and finds window objects.
bool AccessibilityAvailable();
// LresultFromObject of the accessibility library (0 without it).
LRESULT AccLresultFromObject(REFIID iid, WPARAM wParam, IUnknown* object);
// The window's own accessible object (OBJID_WINDOW); true when there is one.
bool WindowAccObject(HWND wnd, IDispatch** dispatch);
// The localized name of the Alt key, "Alt" when the system gives none.
std::wstring AltKeyName();

class TTBView;
class TTBItemViewer;

// The base of the framework's accessible objects: the view or viewer that owns one tells it when
// it goes, and from then on every member answers E_FAIL.
class TTBBaseAccObject : public TInterfacedObject, public IAccessible {
    SF_CLASS(TTBBaseAccObject)
    SF_IUNKNOWN_METHODS
public:
    virtual void DetachClient() = 0;

    // IDispatch: no type information.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return E_NOTIMPL;
    }

protected:
    HRESULT QueryInterfaceImpl(REFIID iid, void** obj) override;
};

// Every accessible object of the process is on one list, so that shut-down can disconnect the
// clients that still hold some.
class TTBCustomAccObject : public TTBBaseAccObject {
    SF_CLASS(TTBCustomAccObject)
public:
    TTBCustomAccObject();
    ~TTBCustomAccObject() override;

    // Members that take no part answer S_FALSE with empty results, after the same checks as the
    // others: E_INVALIDARG for a child other than the object itself, E_FAIL once the client is gone.
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* description) override;
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override;
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* helpFile, VARIANT child, long* topic) override;
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* children) override;
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT child, BSTR name) override;
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT child, BSTR value) override;

protected:
    // The view or viewer is still there.
    virtual bool HasClient() const = 0;

private:
    // What a member that takes no part answers for the child.
    HRESULT NoPartFor(const VARIANT* child) const;

    friend void DisconnectAccObjects();
    TTBCustomAccObject* FNext = nullptr;
    TTBCustomAccObject* FPrev = nullptr;
};

// A view (toolbar, menu bar or popup menu) for screen readers.
class TTBViewAccObject : public TTBCustomAccObject {
    SF_CLASS(TTBViewAccObject)
public:
    explicit TTBViewAccObject(TTBView* view) : FView(view) {}
    void DetachClient() override;

    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override;
    HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override;
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** dispatch) override;
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override;
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override;
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override;
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override;
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) override;
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* child) override;
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override;
    HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override;
    HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width, long* height, VARIANT child) override;
    HRESULT STDMETHODCALLTYPE accNavigate(long navDir, VARIANT start, VARIANT* end) override;
    HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* child) override;
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override;

protected:
    bool HasClient() const override { return FView != nullptr; }

private:
    TTBView* FView;
};

// One item of a view for screen readers.
class TTBItemViewerAccObject : public TTBCustomAccObject {
    SF_CLASS(TTBItemViewerAccObject)
public:
    explicit TTBItemViewerAccObject(TTBItemViewer* viewer) : FViewer(viewer) {}
    void DetachClient() override;

    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override;
    HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override;
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** dispatch) override;
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override;
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override;
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override;
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override;
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) override;
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* child) override;
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override;
    HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override;
    HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width, long* height, VARIANT child) override;
    HRESULT STDMETHODCALLTYPE accNavigate(long navDir, VARIANT start, VARIANT* end) override;
    HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* child) override;
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override;

protected:
    bool HasClient() const override { return FViewer != nullptr; }

private:
    // Visible, enabled and on a view whose window shows.
    bool Actionable() const;
    TTBItemViewer* FViewer;
};

// Cuts every client off the objects that still exist (at shut-down).
void DisconnectAccObjects();
// Objects alive now (for leak tests).
int LiveAccObjects();

// Start-up (COM on the thread) and shut-down (clients disconnected, COM released).
void InitTBAcc();
void DoneTBAcc();
