#include "toolbar/TBAcc.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <vector>

#include "platform/SysUtils.h"
#include "toolbar/TBCommon.h"
#include "toolbar/TBItemViewer.h"
#include "toolbar/TBView.h"

namespace {

using TNotifyWinEvent = void(WINAPI*)(DWORD, HWND, LONG, LONG);
using TLresultFromObject = LRESULT(WINAPI*)(REFIID, WPARAM, LPUNKNOWN);
using TAccessibleObjectFromWindow = HRESULT(WINAPI*)(HWND, DWORD, REFIID, void**);

template <class F>
F Entry(HMODULE module, const char* name)
{
    return module ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

// The entry points, looked up once.
struct TAccEntries {
    TNotifyWinEvent NotifyWinEvent = nullptr;
    TLresultFromObject LresultFromObject = nullptr;
    TAccessibleObjectFromWindow AccessibleObjectFromWindow = nullptr;
};

const TAccEntries& Entries()
{
    static std::atomic<bool> lookedUp{false};
    static TAccEntries entries;
    if (!lookedUp.load()) {
        TAccEntries found;
        found.NotifyWinEvent = Entry<TNotifyWinEvent>(GetModuleHandleA("user32.dll"), "NotifyWinEvent");
        UINT oldMode = SetErrorMode(SEM_NOOPENFILEERRORBOX);
        HMODULE oleacc = LoadLibraryA("oleacc.dll");
        SetErrorMode(oldMode);
        found.LresultFromObject = Entry<TLresultFromObject>(oleacc, "LresultFromObject");
        found.AccessibleObjectFromWindow = Entry<TAccessibleObjectFromWindow>(oleacc, "AccessibleObjectFromWindow");
        entries = found;
        lookedUp.exchange(true);
    }
    return entries;
}

} // namespace

void NotifyEvent(DWORD event, HWND wnd, LONG objectId, LONG childId)
{
    if (TNotifyWinEvent notify = Entries().NotifyWinEvent)
        notify(event, wnd, objectId, childId);
}

bool AccessibilityAvailable()
{
    const TAccEntries& entries = Entries();
    return entries.LresultFromObject && entries.AccessibleObjectFromWindow;
}

LRESULT AccLresultFromObject(REFIID iid, WPARAM wParam, IUnknown* object)
{
    TLresultFromObject lresult = Entries().LresultFromObject;
    return lresult ? lresult(iid, wParam, object) : 0;
}

bool WindowAccObject(HWND wnd, IDispatch** dispatch)
{
    *dispatch = nullptr;
    TAccessibleObjectFromWindow fromWindow = Entries().AccessibleObjectFromWindow;
    return fromWindow &&
           SUCCEEDED(fromWindow(wnd, static_cast<DWORD>(OBJID_WINDOW), IID_IDispatch, reinterpret_cast<void**>(dispatch))) &&
           *dispatch;
}

std::wstring AltKeyName()
{
    char name[64] = {};
    LONG scan = static_cast<LONG>(MapVirtualKeyA(VK_MENU, MAPVK_VK_TO_VSC)) << 16;
    if (GetKeyNameTextA(scan, name, sizeof(name)) > 0)
        return AnsiToWide(name);
    return L"Alt";
}

// ---------------------------------------------------------------------------------------------
// Accessible objects

namespace {

std::mutex AccLock;
TTBCustomAccObject* AccObjects = nullptr;
int AccObjectCount = 0;
bool ComInitialized = false;
int AccInitCount = 0;

bool IsSelf(const VARIANT& child)
{
    return child.vt == VT_I4 && child.lVal == CHILDID_SELF;
}

HRESULT ReturnText(BSTR* out, const std::wstring& text)
{
    *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

void SetEmpty(VARIANT* v)
{
    VariantInit(v);
}

void SetI4(VARIANT* v, long value)
{
    VariantInit(v);
    v->vt = VT_I4;
    v->lVal = value;
}

// Hands out a reference of the caller's own.
IDispatch* Counted(IDispatch* dispatch)
{
    if (dispatch)
        dispatch->AddRef();
    return dispatch;
}

void SetDispatch(VARIANT* v, IDispatch* dispatch)
{
    VariantInit(v);
    v->vt = VT_DISPATCH;
    v->pdispVal = Counted(dispatch);
}

HWND ViewWindow(TTBView* view)
{
    TWinControl* window = view->GetWindow();
    return window && window->HandleAllocated() ? window->GetHandle() : nullptr;
}

// The accessible viewers of a view, in order.
std::vector<TTBItemViewer*> AccessibleViewers(TTBView* view)
{
    std::vector<TTBItemViewer*> result;
    for (int i = 0; i < view->GetViewerCount(); ++i)
        if (view->GetViewer(i)->CanBeAccessible())
            result.push_back(view->GetViewer(i));
    return result;
}

// The object that stands for a viewer: its own, or the window object of the control it hosts.
IDispatch* ViewerDispatch(TTBItemViewer* viewer)
{
    if (auto* item = dynamic_cast<TTBControlItem*>(viewer->GetItem()))
        if (auto* control = dynamic_cast<TWinControl*>(item->GetControl()); control && control->HandleAllocated()) {
            IDispatch* dispatch = nullptr;
            return WindowAccObject(control->GetHandle(), &dispatch) ? dispatch : nullptr;
        }
    return Counted(viewer->GetAccObject());
}

} // namespace

SF_IMPLEMENT_ABSTRACT(TTBBaseAccObject, TInterfacedObject)
SF_IMPLEMENT_ABSTRACT(TTBCustomAccObject, TTBBaseAccObject)
SF_IMPLEMENT_ABSTRACT(TTBViewAccObject, TTBCustomAccObject)
SF_IMPLEMENT_ABSTRACT(TTBItemViewerAccObject, TTBCustomAccObject)

HRESULT TTBBaseAccObject::QueryInterfaceImpl(REFIID iid, void** obj)
{
    if (!obj)
        return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == __uuidof(IAccessible)) {
        *obj = static_cast<IAccessible*>(this);
        AddRef();
        return S_OK;
    }
    *obj = nullptr;
    return E_NOINTERFACE;
}

HRESULT TTBBaseAccObject::GetTypeInfoCount(UINT* count)
{
    if (!count)
        return E_POINTER;
    *count = 0;
    return S_OK;
}

TTBCustomAccObject::TTBCustomAccObject()
{
    std::lock_guard<std::mutex> lock(AccLock);
    FNext = AccObjects;
    if (FNext)
        FNext->FPrev = this;
    AccObjects = this;
    ++AccObjectCount;
}

TTBCustomAccObject::~TTBCustomAccObject()
{
    // The last client may release the object on a thread of its own.
    std::lock_guard<std::mutex> lock(AccLock);
    if (FPrev)
        FPrev->FNext = FNext;
    else
        AccObjects = FNext;
    if (FNext)
        FNext->FPrev = FPrev;
    --AccObjectCount;
}

HRESULT TTBCustomAccObject::NoPartFor(const VARIANT* child) const
{
    if (child && !IsSelf(*child))
        return E_INVALIDARG;
    return HasClient() ? S_FALSE : E_FAIL;
}

HRESULT TTBCustomAccObject::get_accDescription(VARIANT child, BSTR* description)
{
    if (!description)
        return E_POINTER;
    *description = nullptr;
    return NoPartFor(&child);
}

HRESULT TTBCustomAccObject::get_accHelp(VARIANT child, BSTR* help)
{
    if (!help)
        return E_POINTER;
    *help = nullptr;
    return NoPartFor(&child);
}

HRESULT TTBCustomAccObject::get_accHelpTopic(BSTR* helpFile, VARIANT child, long* topic)
{
    if (helpFile)
        *helpFile = nullptr;
    if (topic)
        *topic = 0;
    return NoPartFor(&child);
}

HRESULT TTBCustomAccObject::get_accSelection(VARIANT* children)
{
    if (!children)
        return E_POINTER;
    SetEmpty(children);
    return NoPartFor(nullptr);
}

HRESULT TTBCustomAccObject::put_accName(VARIANT child, BSTR)
{
    return NoPartFor(&child);
}

HRESULT TTBCustomAccObject::put_accValue(VARIANT child, BSTR)
{
    return NoPartFor(&child);
}

void DisconnectAccObjects()
{
    std::vector<IAccessible*> objects;
    {
        std::lock_guard<std::mutex> lock(AccLock);
        for (TTBCustomAccObject* o = AccObjects; o; o = o->FNext) {
            o->AddRef();
            objects.push_back(o);
        }
    }
    for (IAccessible* object : objects) {
        CoDisconnectObject(object, 0);
        object->Release();
    }
}

int LiveAccObjects()
{
    std::lock_guard<std::mutex> lock(AccLock);
    return AccObjectCount;
}

void InitTBAcc()
{
    if (AccInitCount++ > 0)
        return;
    ComInitialized = SUCCEEDED(CoInitialize(nullptr));
}

void DoneTBAcc()
{
    if (AccInitCount == 0 || --AccInitCount > 0)
        return;
    DisconnectAccObjects();
    if (ComInitialized)
        CoUninitialize();
    ComInitialized = false;
}

// ---------------------------------------------------------------------------------------------
// TTBViewAccObject

void TTBViewAccObject::DetachClient()
{
    std::lock_guard<std::mutex> lock(AccLock);
    FView = nullptr;
}

HRESULT TTBViewAccObject::get_accParent(IDispatch** parent)
{
    return SafeResult([&]() -> HRESULT {
        if (!parent)
            return E_POINTER;
        *parent = nullptr;
        if (!FView)
            return E_FAIL;
        TTBView* parentView = FView->GetParentView();
        if (parentView && parentView->GetOpenedViewer()) {
            *parent = Counted(parentView->GetOpenedViewer()->GetAccObject());
            if (*parent)
                return S_OK;
        }
        HWND wnd = ViewWindow(FView);
        return wnd && WindowAccObject(wnd, parent) ? S_OK : S_FALSE;
    });
}

HRESULT TTBViewAccObject::get_accChildCount(long* count)
{
    return SafeResult([&]() -> HRESULT {
        if (!count)
            return E_POINTER;
        *count = 0;
        if (!FView)
            return E_FAIL;
        *count = static_cast<long>(AccessibleViewers(FView).size());
        return S_OK;
    });
}

HRESULT TTBViewAccObject::get_accChild(VARIANT child, IDispatch** dispatch)
{
    return SafeResult([&]() -> HRESULT {
        if (!dispatch)
            return E_POINTER;
        *dispatch = nullptr;
        if (child.vt != VT_I4)
            return E_INVALIDARG;
        if (!FView)
            return E_FAIL;
        std::vector<TTBItemViewer*> viewers = AccessibleViewers(FView);
        if (child.lVal < 1 || child.lVal > static_cast<long>(viewers.size()))
            return E_INVALIDARG;
        *dispatch = ViewerDispatch(viewers[static_cast<size_t>(child.lVal - 1)]);
        return *dispatch ? S_OK : S_FALSE;
    });
}

HRESULT TTBViewAccObject::get_accName(VARIANT child, BSTR* name)
{
    return SafeResult([&]() -> HRESULT {
        if (!name)
            return E_POINTER;
        *name = nullptr;
        if (!IsSelf(child))
            return E_INVALIDARG;
        if (!FView)
            return E_FAIL;
        std::wstring text = FView->GetParentItem() ? RemoveAccelMarks(FView->GetParentItem()->GetCaption()) : L"";
        if (text.empty())
            if (HWND wnd = ViewWindow(FView)) {
                std::wstring buffer(static_cast<size_t>(GetWindowTextLengthW(wnd)) + 1, L'\0');
                buffer.resize(static_cast<size_t>(GetWindowTextW(wnd, buffer.data(), static_cast<int>(buffer.size()))));
                text = buffer;
            }
        return ReturnText(name, text);
    });
}

HRESULT TTBViewAccObject::get_accValue(VARIANT child, BSTR* value)
{
    if (!value)
        return E_POINTER;
    *value = nullptr;
    if (!IsSelf(child))
        return E_INVALIDARG;
    return FView ? S_FALSE : E_FAIL;
}

HRESULT TTBViewAccObject::get_accRole(VARIANT child, VARIANT* role)
{
    if (!role)
        return E_POINTER;
    SetEmpty(role);
    if (!IsSelf(child))
        return E_INVALIDARG;
    if (!FView)
        return E_FAIL;
    long value = FView->GetIsPopup()             ? ROLE_SYSTEM_MENUPOPUP
                 : FView->HasStyle(syMenuBar)    ? ROLE_SYSTEM_MENUBAR
                                                 : ROLE_SYSTEM_TOOLBAR;
    SetI4(role, value);
    return S_OK;
}

HRESULT TTBViewAccObject::get_accState(VARIANT child, VARIANT* state)
{
    if (!state)
        return E_POINTER;
    SetEmpty(state);
    if (!IsSelf(child))
        return E_INVALIDARG;
    if (!FView)
        return E_FAIL;
    SetI4(state, 0);
    return S_OK;
}

HRESULT TTBViewAccObject::get_accKeyboardShortcut(VARIANT child, BSTR* shortcut)
{
    return SafeResult([&]() -> HRESULT {
        if (!shortcut)
            return E_POINTER;
        *shortcut = nullptr;
        if (!IsSelf(child))
            return E_INVALIDARG;
        if (!FView)
            return E_FAIL;
        return FView->HasStyle(syMenuBar) ? ReturnText(shortcut, AltKeyName()) : S_FALSE;
    });
}

HRESULT TTBViewAccObject::get_accFocus(VARIANT* child)
{
    if (!child)
        return E_POINTER;
    SetEmpty(child);
    return FView ? S_FALSE : E_FAIL;
}

HRESULT TTBViewAccObject::get_accDefaultAction(VARIANT child, BSTR* action)
{
    if (!action)
        return E_POINTER;
    *action = nullptr;
    if (!IsSelf(child))
        return E_INVALIDARG;
    return FView ? S_FALSE : E_FAIL;
}

HRESULT TTBViewAccObject::accSelect(long, VARIANT child)
{
    if (!IsSelf(child))
        return E_INVALIDARG;
    return FView ? DISP_E_MEMBERNOTFOUND : E_FAIL;
}

HRESULT TTBViewAccObject::accLocation(long* left, long* top, long* width, long* height, VARIANT child)
{
    if (!left || !top || !width || !height)
        return E_POINTER;
    *left = *top = *width = *height = 0;
    if (!IsSelf(child))
        return E_INVALIDARG;
    if (!FView)
        return E_FAIL;
    HWND wnd = ViewWindow(FView);
    RECT r{};
    if (!wnd || !GetWindowRect(wnd, &r))
        return S_FALSE;
    *left = r.left;
    *top = r.top;
    *width = r.right - r.left;
    *height = r.bottom - r.top;
    return S_OK;
}

HRESULT TTBViewAccObject::accNavigate(long navDir, VARIANT start, VARIANT* end)
{
    return SafeResult([&]() -> HRESULT {
        if (!end)
            return E_POINTER;
        SetEmpty(end);
        if (!IsSelf(start))
            return E_INVALIDARG;
        if (!FView)
            return E_FAIL;
        if (navDir != NAVDIR_FIRSTCHILD && navDir != NAVDIR_LASTCHILD)
            return S_FALSE;
        std::vector<TTBItemViewer*> viewers = AccessibleViewers(FView);
        if (viewers.empty())
            return S_FALSE;
        IDispatch* dispatch = ViewerDispatch(navDir == NAVDIR_FIRSTCHILD ? viewers.front() : viewers.back());
        if (!dispatch)
            return S_FALSE;
        SetDispatch(end, dispatch);
        dispatch->Release();
        return S_OK;
    });
}

HRESULT TTBViewAccObject::accHitTest(long x, long y, VARIANT* child)
{
    return SafeResult([&]() -> HRESULT {
        if (!child)
            return E_POINTER;
        SetEmpty(child);
        if (!FView)
            return E_FAIL;
        HWND wnd = ViewWindow(FView);
        RECT r{};
        POINT p{x, y};
        if (!wnd || !GetWindowRect(wnd, &r) || !PtInRect(&r, p))
            return S_FALSE;
        HWND under = WindowFromPoint(p);
        if (under && under != wnd && IsChild(wnd, under)) {
            IDispatch* dispatch = nullptr;
            if (WindowAccObject(under, &dispatch)) {
                SetDispatch(child, dispatch);
                dispatch->Release();
                return S_OK;
            }
        }
        POINT local = p;
        ScreenToClient(wnd, &local);
        if (TTBItemViewer* viewer = FView->HitTestViewer(local))
            if (IDispatch* dispatch = ViewerDispatch(viewer)) {
                SetDispatch(child, dispatch);
                dispatch->Release();
                return S_OK;
            }
        SetI4(child, CHILDID_SELF);
        return S_OK;
    });
}

HRESULT TTBViewAccObject::accDoDefaultAction(VARIANT child)
{
    if (!IsSelf(child))
        return E_INVALIDARG;
    return FView ? S_FALSE : E_FAIL;
}

// ---------------------------------------------------------------------------------------------
// TTBItemViewerAccObject

void TTBItemViewerAccObject::DetachClient()
{
    std::lock_guard<std::mutex> lock(AccLock);
    FViewer = nullptr;
}

bool TTBItemViewerAccObject::Actionable() const
{
    TTBCustomItem* item = FViewer->GetItem();
    HWND wnd = ViewWindow(FViewer->GetView());
    return item->GetVisible() && item->GetEnabled() && wnd && IsWindowVisible(wnd);
}

HRESULT TTBItemViewerAccObject::get_accParent(IDispatch** parent)
{
    if (!parent)
        return E_POINTER;
    *parent = nullptr;
    if (!FViewer)
        return E_FAIL;
    *parent = Counted(FViewer->GetView()->GetAccObject());
    return *parent ? S_OK : S_FALSE;
}

HRESULT TTBItemViewerAccObject::get_accChildCount(long* count)
{
    if (!count)
        return E_POINTER;
    *count = 0;
    return FViewer ? S_FALSE : E_FAIL;
}

HRESULT TTBItemViewerAccObject::get_accChild(VARIANT child, IDispatch** dispatch)
{
    if (!dispatch)
        return E_POINTER;
    *dispatch = nullptr;
    if (child.vt != VT_I4)
        return E_INVALIDARG;
    return FViewer ? S_FALSE : E_FAIL;
}

HRESULT TTBItemViewerAccObject::get_accName(VARIANT child, BSTR* name)
{
    return SafeResult([&]() -> HRESULT {
        if (!name)
            return E_POINTER;
        *name = nullptr;
        if (!IsSelf(child))
            return E_INVALIDARG;
        if (!FViewer)
            return E_FAIL;
        std::wstring text = RemoveAccelMarks(FViewer->ComposeCaption());
        std::wstring shortCut = FViewer->GetItem()->FormatShortCut();
        if (!FViewer->UsesToolbarStyle() && !shortCut.empty())
            text += L"\t" + shortCut;
        return ReturnText(name, text);
    });
}

HRESULT TTBItemViewerAccObject::get_accValue(VARIANT child, BSTR* value)
{
    return SafeResult([&]() -> HRESULT {
        if (!value)
            return E_POINTER;
        *value = nullptr;
        if (!IsSelf(child))
            return E_INVALIDARG;
        if (!FViewer)
            return E_FAIL;
        std::wstring text;
        return FViewer->AccessibleValue(text) ? ReturnText(value, text) : S_FALSE;
    });
}

HRESULT TTBItemViewerAccObject::get_accRole(VARIANT child, VARIANT* role)
{
    return SafeResult([&]() -> HRESULT {
        if (!role)
            return E_POINTER;
        SetEmpty(role);
        if (!IsSelf(child))
            return E_INVALIDARG;
        if (!FViewer)
            return E_FAIL;
        SetI4(role, FViewer->AccessibleRole());
        return S_OK;
    });
}

HRESULT TTBItemViewerAccObject::get_accState(VARIANT child, VARIANT* state)
{
    return SafeResult([&]() -> HRESULT {
        if (!state)
            return E_POINTER;
        SetEmpty(state);
        if (!IsSelf(child))
            return E_INVALIDARG;
        if (!FViewer)
            return E_FAIL;
        TTBView* view = FViewer->GetView();
        TTBCustomItem* item = FViewer->GetItem();
        long value = 0;
        if (view->GetSelected() == FViewer) {
            value |= STATE_SYSTEM_HOTTRACKED;
            if (view->InState(stModal))
                value |= STATE_SYSTEM_FOCUSED;
            if (view->GetCapture())
                value |= STATE_SYSTEM_PRESSED;
        }
        if (item->HasTrait(isSubmenu))
            value |= STATE_SYSTEM_HASPOPUP;
        bool onScreen = FViewer->GetShown() || FViewer->GetScrolledOut();
        if (!onScreen)
            value |= STATE_SYSTEM_INVISIBLE;
        else if (Actionable())
            value |= STATE_SYSTEM_FOCUSABLE;
        if (!item->GetEnabled())
            value |= STATE_SYSTEM_UNAVAILABLE;
        if (item->GetChecked())
            value |= STATE_SYSTEM_CHECKED;
        SetI4(state, value);
        return S_OK;
    });
}

HRESULT TTBItemViewerAccObject::get_accKeyboardShortcut(VARIANT child, BSTR* shortcut)
{
    return SafeResult([&]() -> HRESULT {
        if (!shortcut)
            return E_POINTER;
        *shortcut = nullptr;
        if (!IsSelf(child))
            return E_INVALIDARG;
        if (!FViewer)
            return E_FAIL;
        wchar_t accel = FViewer->ShowsCaption() ? LocateAccelChar(FViewer->ComposeCaption()) : 0;
        if (!accel)
            return S_FALSE;
        std::wstring text = WideLowerCase(std::wstring(1, accel));
        if (!FViewer->GetView()->GetIsPopup())
            text = AltKeyName() + L"+" + text;
        return ReturnText(shortcut, text);
    });
}

HRESULT TTBItemViewerAccObject::get_accFocus(VARIANT* child)
{
    if (!child)
        return E_POINTER;
    SetEmpty(child);
    if (!FViewer)
        return E_FAIL;
    TTBView* view = FViewer->GetView();
    if (view->GetSelected() != FViewer || !view->InState(stModal))
        return S_FALSE;
    SetI4(child, CHILDID_SELF);
    return S_OK;
}

HRESULT TTBItemViewerAccObject::get_accDefaultAction(VARIANT child, BSTR* action)
{
    return SafeResult([&]() -> HRESULT {
        if (!action)
            return E_POINTER;
        *action = nullptr;
        if (!IsSelf(child))
            return E_INVALIDARG;
        if (!FViewer)
            return E_FAIL;
        if (!Actionable())
            return S_FALSE;
        TTBView* view = FViewer->GetView();
        const wchar_t* text = view->GetOpenedViewer() == FViewer                      ? L"Close"
                              : FViewer->GetItem()->HasTrait(isSubmenu)                 ? L"Open"
                              : view->GetIsPopup() || view->HasStyle(syMenuBar)         ? L"Execute"
                                                                                        : L"Press";
        return ReturnText(action, text);
    });
}

HRESULT TTBItemViewerAccObject::accSelect(long flags, VARIANT child)
{
    return SafeResult([&]() -> HRESULT {
        if (!IsSelf(child) || flags != SELFLAG_TAKEFOCUS)
            return E_INVALIDARG;
        if (!FViewer)
            return E_FAIL;
        FViewer->PostExecute(false);
        return S_OK;
    });
}

HRESULT TTBItemViewerAccObject::accLocation(long* left, long* top, long* width, long* height, VARIANT child)
{
    if (!left || !top || !width || !height)
        return E_POINTER;
    *left = *top = *width = *height = 0;
    if (!IsSelf(child))
        return E_INVALIDARG;
    if (!FViewer)
        return E_FAIL;
    RECT r = FViewer->ScreenBounds();
    *left = r.left;
    *top = r.top;
    *width = r.right - r.left;
    *height = r.bottom - r.top;
    return S_OK;
}

HRESULT TTBItemViewerAccObject::accNavigate(long navDir, VARIANT start, VARIANT* end)
{
    return SafeResult([&]() -> HRESULT {
        if (!end)
            return E_POINTER;
        SetEmpty(end);
        if (!IsSelf(start))
            return E_INVALIDARG;
        if (!FViewer)
            return E_FAIL;
        TTBView* view = FViewer->GetView();
        IDispatch* target = nullptr;
        switch (navDir) {
        case NAVDIR_FIRSTCHILD:
        case NAVDIR_LASTCHILD:
            if (view->GetOpenedViewer() == FViewer && view->GetOpenedViewerView())
                target = Counted(view->GetOpenedViewerView()->GetAccObject());
            break;
        case NAVDIR_UP:
        case NAVDIR_LEFT:
        case NAVDIR_PREVIOUS:
        case NAVDIR_DOWN:
        case NAVDIR_RIGHT:
        case NAVDIR_NEXT: {
            std::vector<TTBItemViewer*> viewers = AccessibleViewers(view);
            auto it = std::find(viewers.begin(), viewers.end(), FViewer);
            if (it == viewers.end())
                break;
            bool forward = navDir == NAVDIR_DOWN || navDir == NAVDIR_RIGHT || navDir == NAVDIR_NEXT;
            if (forward && it + 1 != viewers.end())
                target = ViewerDispatch(*(it + 1));
            else if (!forward && it != viewers.begin())
                target = ViewerDispatch(*(it - 1));
            break;
        }
        default:
            break;
        }
        if (!target)
            return S_FALSE;
        SetDispatch(end, target);
        target->Release();
        return S_OK;
    });
}

HRESULT TTBItemViewerAccObject::accHitTest(long x, long y, VARIANT* child)
{
    if (!child)
        return E_POINTER;
    SetEmpty(child);
    if (!FViewer)
        return E_FAIL;
    RECT r = FViewer->ScreenBounds();
    if (!PtInRect(&r, POINT{x, y}))
        return S_FALSE;
    SetI4(child, CHILDID_SELF);
    return S_OK;
}

HRESULT TTBItemViewerAccObject::accDoDefaultAction(VARIANT child)
{
    return SafeResult([&]() -> HRESULT {
        if (!IsSelf(child))
            return E_INVALIDARG;
        if (!FViewer || !Actionable())
            return E_FAIL;
        FViewer->PostExecute(true);
        return S_OK;
    });
}
