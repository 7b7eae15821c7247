// Accessibility: a client walks a toolbar and a popup menu in real windows through the system's
// accessibility library (names, roles, states, shortcuts, default actions, navigation, hit
// tests), default actions run as clicks, the focus event follows the selection, and a client
// that outlives the view gets E_FAIL.
#include <gtest/gtest.h>

#include <oleacc.h>

#include <memory>
#include <string>
#include <vector>

#include "ToolbarTestSupport.h"
#include "platform/ComObj.h"
#include "platform/SysUtils.h"
#include "toolbar/TBAcc.h"
#include "toolbar/TBItem.h"
#include "toolbar/TBPopup.h"
#include "toolbar/TBView.h"

namespace {

using TItemPtr = std::unique_ptr<TTBCustomItem, TObjectFree>;
using TAcc = TComPtr<IAccessible>;

// The two calls of the accessibility library a screen reader starts with.
struct TOleacc {
    using TFromWindow = HRESULT(WINAPI*)(HWND, DWORD, REFIID, void**);
    using TChildren = HRESULT(WINAPI*)(IAccessible*, LONG, LONG, VARIANT*, LONG*);
    TFromWindow FromWindow = nullptr;
    TChildren Children = nullptr;
    TOleacc()
    {
        HMODULE module = LoadLibraryA("oleacc.dll");
        FromWindow = reinterpret_cast<TFromWindow>(reinterpret_cast<void*>(GetProcAddress(module, "AccessibleObjectFromWindow")));
        Children = reinterpret_cast<TChildren>(reinterpret_cast<void*>(GetProcAddress(module, "AccessibleChildren")));
    }
};

const TOleacc& Oleacc()
{
    static TOleacc calls;
    return calls;
}

TAcc ClientObject(HWND wnd)
{
    TAcc acc;
    Oleacc().FromWindow(wnd, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible), reinterpret_cast<void**>(acc.Put()));
    return acc;
}

VARIANT Self()
{
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = CHILDID_SELF;
    return v;
}

std::wstring Name(IAccessible* acc)
{
    BSTR name = nullptr;
    if (FAILED(acc->get_accName(Self(), &name)) || !name)
        return L"<none>";
    std::wstring result(name, SysStringLen(name));
    SysFreeString(name);
    return result;
}

long IntOf(HRESULT (STDMETHODCALLTYPE IAccessible::*getter)(VARIANT, VARIANT*), IAccessible* acc)
{
    VARIANT v;
    VariantInit(&v);
    if (FAILED((acc->*getter)(Self(), &v)) || v.vt != VT_I4)
        return -1;
    return v.lVal;
}

long Role(IAccessible* acc)
{
    return IntOf(&IAccessible::get_accRole, acc);
}

long State(IAccessible* acc)
{
    return IntOf(&IAccessible::get_accState, acc);
}

std::wstring Text(HRESULT (STDMETHODCALLTYPE IAccessible::*getter)(VARIANT, BSTR*), IAccessible* acc)
{
    BSTR text = nullptr;
    HRESULT hr = (acc->*getter)(Self(), &text);
    if (hr != S_OK || !text)
        return L"<none>";
    std::wstring result(text, SysStringLen(text));
    SysFreeString(text);
    return result;
}

TAcc FromVariant(VARIANT& v)
{
    TAcc acc;
    if (v.vt == VT_DISPATCH && v.pdispVal) {
        v.pdispVal->QueryInterface(__uuidof(IAccessible), reinterpret_cast<void**>(acc.Put()));
        v.pdispVal->Release();
    }
    VariantInit(&v);
    return acc;
}

std::vector<TAcc> Children(IAccessible* acc)
{
    long count = 0;
    acc->get_accChildCount(&count);
    std::vector<VARIANT> vars(static_cast<size_t>(count));
    LONG got = 0;
    Oleacc().Children(acc, 0, count, vars.data(), &got);
    std::vector<TAcc> result;
    for (LONG i = 0; i < got; ++i)
        result.push_back(FromVariant(vars[static_cast<size_t>(i)]));
    return result;
}

VARIANT ChildId(long id)
{
    VARIANT v = Self();
    v.lVal = id;
    return v;
}

// The answers of the members that take no part: description, help, help topic, selection (it
// names no child), and a name and a value written.
std::vector<HRESULT> NoPartAnswers(IAccessible* acc, VARIANT child)
{
    BSTR text = nullptr;
    long topic = 0;
    VARIANT selection;
    BSTR written = SysAllocString(L"x");
    std::vector<HRESULT> answers{acc->get_accDescription(child, &text), acc->get_accHelp(child, &text),
                                 acc->get_accHelpTopic(&text, child, &topic), acc->get_accSelection(&selection),
                                 acc->put_accName(child, written), acc->put_accValue(child, written)};
    SysFreeString(written);
    return answers;
}

// A toolbar of File (submenu), Save, a separator, Bold (checked), Styles (disabled submenu) and
// an invisible item, in a visible window.
struct TToolbarFixture {
    TTestWindow Host{500, 100, WS_POPUP | WS_VISIBLE};
    std::unique_ptr<TViewHost, TObjectFree> Control{New<TViewHost>(nullptr)};
    TItemPtr Root{New<TTBRootItem>(nullptr)};
    TTBCustomItem* File = AddItem(Root.get(), L"&File", isSubmenu);
    TTBCustomItem* New_ = AddItem(File, L"&New");
    TTBCustomItem* Save = AddItem(Root.get(), L"&Save\tCtrl+S");
    TTBSeparatorItem* Sep = New<TTBSeparatorItem>(nullptr);
    TTBCustomItem* Bold = nullptr;
    TTBCustomItem* Styles = nullptr;
    std::unique_ptr<TTBView, TObjectFree> View;
    int Saved = 0;
    int Created = 0;

    explicit TToolbarFixture(TTBViewTraits style = 0)
    {
        Root->Add(Sep);
        Bold = AddItem(Root.get(), L"&Bold");
        Bold->SetChecked(true);
        Styles = AddItem(Root.get(), L"S&tyles", isSubmenu);
        AddItem(Styles, L"Plain");
        Styles->SetEnabled(false);
        AddItem(Root.get(), L"Hidden")->SetVisible(false);
        Save->OnClick = TNotifyEvent([this](TObject*) { ++Saved; });
        New_->OnClick = TNotifyEvent([this](TObject*) { ++Created; });
        Control->SetBounds(0, 0, 400, 30);
        Control->SetParentWindow(Host.Handle());
        View.reset(New<TTBView>(Control.get(), nullptr, Root.get(), Control.get(), true, false, false));
        View->SetStyle(style);
        Control->View = View.get();
        View->EnsureLayout();
        PumpMessages();
    }
    ~TToolbarFixture()
    {
        Control->View = nullptr;
        View.reset();
    }
};

TEST(Accessibility, ClientWalksAToolbar)
{
    ASSERT_TRUE(Oleacc().FromWindow && Oleacc().Children);
    ASSERT_TRUE(AccessibilityAvailable());
    TToolbarFixture f;
    TAcc toolbar = ClientObject(f.Control->GetHandle());
    ASSERT_TRUE(toolbar);
    EXPECT_EQ(Role(toolbar.Get()), ROLE_SYSTEM_TOOLBAR);
    EXPECT_EQ(State(toolbar.Get()), 0);
    EXPECT_EQ(Text(&IAccessible::get_accKeyboardShortcut, toolbar.Get()), L"<none>") << "only a menu bar has one";

    std::vector<TAcc> children = Children(toolbar.Get());
    ASSERT_EQ(children.size(), 5u) << "the invisible item is left out";
    struct TExpected {
        std::wstring Name;
        long Role;
        long State;
        std::wstring Action;
        std::wstring Shortcut;
    };
    const std::wstring alt = AltKeyName() + L"+";
    const TExpected expected[] = {
        {L"File", ROLE_SYSTEM_BUTTONMENU, STATE_SYSTEM_HASPOPUP | STATE_SYSTEM_FOCUSABLE, L"Open", alt + L"f"},
        {L"Save", ROLE_SYSTEM_PUSHBUTTON, STATE_SYSTEM_FOCUSABLE, L"Press", alt + L"s"},
        {L"", ROLE_SYSTEM_SEPARATOR, STATE_SYSTEM_FOCUSABLE, L"Press", L"<none>"},
        {L"Bold", ROLE_SYSTEM_PUSHBUTTON, STATE_SYSTEM_FOCUSABLE | STATE_SYSTEM_CHECKED, L"Press", alt + L"b"},
        {L"Styles", ROLE_SYSTEM_BUTTONMENU, STATE_SYSTEM_HASPOPUP | STATE_SYSTEM_UNAVAILABLE, L"<none>", alt + L"t"},
    };
    for (size_t i = 0; i < children.size(); ++i) {
        IAccessible* child = children[i].Get();
        ASSERT_NE(child, nullptr) << i;
        const TExpected& e = expected[i];
        EXPECT_EQ(Name(child), e.Name) << i;
        EXPECT_EQ(Role(child), e.Role) << i;
        EXPECT_EQ(State(child), e.State) << i;
        EXPECT_EQ(Text(&IAccessible::get_accDefaultAction, child), e.Action) << i;
        EXPECT_EQ(Text(&IAccessible::get_accKeyboardShortcut, child), e.Shortcut) << i;
    }

    // A child id other than the object itself is refused.
    VARIANT other;
    VariantInit(&other);
    other.vt = VT_I4;
    other.lVal = 3;
    BSTR name = nullptr;
    EXPECT_EQ(children[1]->get_accName(other, &name), E_INVALIDARG);
    other.vt = VT_BSTR;
    other.bstrVal = nullptr;
    EXPECT_EQ(toolbar->get_accName(other, &name), E_INVALIDARG);

    // Navigation, hit tests and places on the screen agree with the layout.
    VARIANT next;
    EXPECT_EQ(children[1]->accNavigate(NAVDIR_NEXT, Self(), &next), S_OK);
    EXPECT_EQ(Role(FromVariant(next).Get()), ROLE_SYSTEM_SEPARATOR);
    EXPECT_EQ(children[4]->accNavigate(NAVDIR_NEXT, Self(), &next), S_FALSE) << "past the end";
    EXPECT_EQ(toolbar->accNavigate(NAVDIR_FIRSTCHILD, Self(), &next), S_OK);
    EXPECT_EQ(Name(FromVariant(next).Get()), L"File");
    long x = 0, y = 0, w = 0, h = 0;
    ASSERT_EQ(children[1]->accLocation(&x, &y, &w, &h, Self()), S_OK);
    RECT save = f.View->Find(f.Save)->GetBoundsRect();
    POINT origin = f.Control->ClientToScreen(POINT{0, 0});
    EXPECT_EQ(x, save.left + origin.x);
    EXPECT_EQ(w, save.right - save.left);
    VARIANT hit;
    ASSERT_EQ(toolbar->accHitTest(x + w / 2, y + h / 2, &hit), S_OK);
    EXPECT_EQ(Name(FromVariant(hit).Get()), L"Save");
    TAcc parent;
    IDispatch* parentDispatch = nullptr;
    ASSERT_EQ(children[1]->get_accParent(&parentDispatch), S_OK);
    VARIANT pv;
    VariantInit(&pv);
    pv.vt = VT_DISPATCH;
    pv.pdispVal = parentDispatch;
    EXPECT_EQ(Role(FromVariant(pv).Get()), ROLE_SYSTEM_TOOLBAR);

    // The default action runs the command as a click; a disabled item has none.
    EXPECT_EQ(children[1]->accDoDefaultAction(Self()), S_OK);
    EXPECT_EQ(f.Saved, 0) << "run later, outside the client's call";
    PumpMessages();
    EXPECT_EQ(f.Saved, 1);
    EXPECT_EQ(children[4]->accDoDefaultAction(Self()), E_FAIL);

    // Selection shows in the state.
    EXPECT_EQ(children[3]->accSelect(SELFLAG_TAKEFOCUS, Self()), S_OK);
    PumpMessages();
    EXPECT_EQ(f.View->GetSelected(), f.View->Find(f.Bold));
    EXPECT_TRUE(State(children[3].Get()) & STATE_SYSTEM_HOTTRACKED);
    EXPECT_EQ(children[3]->accSelect(SELFLAG_TAKESELECTION, Self()), E_INVALIDARG);

    // Members that take no part check the child and the client like every other.
    const HRESULT no = S_FALSE, bad = E_INVALIDARG, gone = E_FAIL;
    const std::vector<HRESULT> live{no, no, no, no, no, no}, badChild{bad, bad, bad, no, bad, bad},
        detached{gone, gone, gone, gone, gone, gone};
    struct TCase {
        const char* Name;
        IAccessible* Acc;
    };
    const TCase objects[] = {{"toolbar", toolbar.Get()}, {"item", children[1].Get()}};
    for (const TCase& c : objects) {
        EXPECT_EQ(NoPartAnswers(c.Acc, Self()), live) << c.Name;
        EXPECT_EQ(NoPartAnswers(c.Acc, ChildId(2)), badChild) << c.Name;
    }

    // A client that outlives the view gets E_FAIL from every member.
    f.Control->View = nullptr;
    f.View.reset();
    for (const TCase& c : objects)
        EXPECT_EQ(NoPartAnswers(c.Acc, Self()), detached) << c.Name;
    EXPECT_EQ(toolbar->get_accName(Self(), &name), E_FAIL);
    long count = 0;
    EXPECT_EQ(toolbar->get_accChildCount(&count), E_FAIL);
    VARIANT role;
    EXPECT_EQ(children[1]->get_accRole(Self(), &role), E_FAIL);
    EXPECT_EQ(children[1]->accDoDefaultAction(Self()), E_FAIL);
    EXPECT_EQ(children[1]->accLocation(&x, &y, &w, &h, Self()), E_FAIL);
}

// The focus events a screen reader hears: window and child.
std::vector<std::pair<HWND, LONG>>* g_FocusLog = nullptr;

void CALLBACK RecordFocus(HWINEVENTHOOK, DWORD, HWND wnd, LONG, LONG child, DWORD, DWORD)
{
    if (g_FocusLog)
        g_FocusLog->emplace_back(wnd, child);
}

TEST(Accessibility, MenuBarsAndPopupMenus)
{
    TToolbarFixture f(syMenuBar);
    TAcc bar = ClientObject(f.Control->GetHandle());
    ASSERT_TRUE(bar);
    EXPECT_EQ(Role(bar.Get()), ROLE_SYSTEM_MENUBAR);
    EXPECT_EQ(Text(&IAccessible::get_accKeyboardShortcut, bar.Get()), AltKeyName());
    std::vector<TAcc> entries = Children(bar.Get());
    ASSERT_EQ(entries.size(), 5u);
    EXPECT_EQ(Role(entries[1].Get()), ROLE_SYSTEM_MENUITEM);
    EXPECT_EQ(Text(&IAccessible::get_accDefaultAction, entries[1].Get()), L"Execute");

    // The popup of File, as the menu loop shows it.
    std::vector<std::pair<HWND, LONG>> focus;
    g_FocusLog = &focus;
    HWINEVENTHOOK hook = SetWinEventHook(EVENT_OBJECT_FOCUS, EVENT_OBJECT_FOCUS, GetModuleHandleA(nullptr),
                                         &RecordFocus, GetCurrentProcessId(), GetCurrentThreadId(), WINEVENT_INCONTEXT);
    f.View->IncludeState(stModal);
    f.View->Select(f.View->Find(f.File), false);
    ASSERT_TRUE(f.View->ShowChildPopup(true));
    TTBPopupWindow* popup = f.View->GetOpenedViewerWindow();
    ASSERT_NE(popup, nullptr);
    PumpMessages();
    EXPECT_EQ(Text(&IAccessible::get_accDefaultAction, entries[0].Get()), L"Close") << "its submenu is open";
    TAcc menu = ClientObject(popup->GetHandle());
    ASSERT_TRUE(menu);
    EXPECT_EQ(Role(menu.Get()), ROLE_SYSTEM_MENUPOPUP);
    EXPECT_EQ(Name(menu.Get()), L"File");
    std::vector<TAcc> items = Children(menu.Get());
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(Name(items[0].Get()), L"New");
    EXPECT_EQ(State(items[0].Get()), STATE_SYSTEM_HOTTRACKED | STATE_SYSTEM_FOCUSED | STATE_SYSTEM_FOCUSABLE)
        << "selected in the running menu";
    EXPECT_EQ(Text(&IAccessible::get_accKeyboardShortcut, items[0].Get()), L"n") << "no Alt inside a popup";
    VARIANT down;
    EXPECT_EQ(entries[0]->accNavigate(NAVDIR_FIRSTCHILD, Self(), &down), S_OK) << "into the open submenu";
    EXPECT_EQ(Role(FromVariant(down).Get()), ROLE_SYSTEM_MENUPOPUP);
    // Opened from the keyboard, its first item was selected before the popup showed: a screen
    // reader hears of it once the popup is there.
    ASSERT_FALSE(focus.empty()) << "the selection is announced";
    EXPECT_EQ(focus.back(), std::make_pair(popup->GetHandle(), 1L)) << "child 1 of the popup";

    // Executing an item of the running menu ends it with that item.
    EXPECT_EQ(items[0]->accDoDefaultAction(Self()), S_OK);
    PumpMessages();
    EXPECT_EQ(f.View->GetDoneActionData().DoneAction, TTBDoneKind::dkClickItem);
    EXPECT_EQ(f.View->GetDoneActionData().ClickItem, f.New_);
    // "Close" closes the open submenu.
    f.View->GetDoneActionData() = TTBDoneActionData{};
    EXPECT_EQ(entries[0]->accDoDefaultAction(Self()), S_OK);
    PumpMessages();
    EXPECT_EQ(f.View->GetOpenedViewer(), nullptr);
    EXPECT_EQ(Role(menu.Get()), -1) << "the popup's view is gone";
    UnhookWinEvent(hook);
    g_FocusLog = nullptr;
    f.View->ExcludeState(stModal);
}

TEST(Accessibility, ObjectsGoWithTheirClients)
{
    int before = LiveAccObjects();
    {
        TToolbarFixture f;
        TAcc toolbar = ClientObject(f.Control->GetHandle());
        std::vector<TAcc> children = Children(toolbar.Get());
        EXPECT_EQ(LiveAccObjects(), before + 1 + static_cast<int>(children.size()));
    }
    EXPECT_EQ(LiveAccObjects(), before) << "released by the view, the viewers and the client";
}

} // namespace
