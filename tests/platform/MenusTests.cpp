// Menus: the item tree and its system menu, radio groups, actions driving items, shortcut lookup
// from key messages, a window's menu bar with command dispatch, and pop-up menus.
#include <gtest/gtest.h>

#include <memory>

#include "TestSupport.h"
#include "platform/Forms.h"
#include "platform/Menus.h"
#include "platform/Controls.h"

namespace {

using TOwnerPtr = std::unique_ptr<TComponent, TObjectFree>;

TMenuItem* MakeItem(TComponent* owner, const std::string& caption, TShortCut shortCut = 0)
{
    TMenuItem* item = New<TMenuItem>(owner);
    item->SetCaption(caption);
    item->SetShortCut(shortCut);
    return item;
}

std::string NativeText(HMENU menu, int pos)
{
    char text[256] = {};
    GetMenuStringA(menu, static_cast<UINT>(pos), text, sizeof(text), MF_BYPOSITION);
    return text;
}

UINT NativeState(HMENU menu, int pos)
{
    MENUITEMINFOA info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_STATE | MIIM_FTYPE;
    GetMenuItemInfoA(menu, static_cast<UINT>(pos), TRUE, &info);
    return info.fState | info.fType;
}

TMessage KeyDown(WORD key, bool alt = false)
{
    TMessage m;
    m.Msg = alt ? WM_SYSKEYDOWN : WM_KEYDOWN;
    m.WParam = key;
    m.LParam = alt ? 0x20000001 : 1;
    return m;
}

TEST(MenuItems, TreeOperationsAndNativeEntries)
{
    TOwnerPtr owner(New<TComponent>(nullptr));
    std::unique_ptr<TPopupMenu, TObjectFree> menu(New<TPopupMenu>(nullptr));
    TMenuItem* root = menu->GetItems();
    TMenuItem* open = MakeItem(owner.get(), "&Open", scCtrl | 'O');
    TMenuItem* line = MakeItem(owner.get(), "-");
    TMenuItem* exit = MakeItem(owner.get(), "E&xit");
    root->Add(open);
    root->Add(exit);
    root->Insert(1, line);
    EXPECT_EQ(root->Count(), 3);
    EXPECT_EQ(root->IndexOf(line), 1);
    EXPECT_EQ(root->Find("exit"), exit);
    EXPECT_EQ(root->Find("Missing"), nullptr);
    EXPECT_EQ(open->GetParentMenu(), menu.get());
    EXPECT_THROW(root->Insert(5, MakeItem(owner.get(), "Bad")), EListError);
    EXPECT_THROW(root->Add(open), EInvalidOperation);

    HMENU h = menu->GetHandle();
    ASSERT_EQ(GetMenuItemCount(h), 3);
    EXPECT_EQ(NativeText(h, 0), "&Open\tCtrl+O");
    EXPECT_TRUE(NativeState(h, 1) & MFT_SEPARATOR);
    EXPECT_EQ(GetMenuItemID(h, 2), exit->GetCommand());

    // Changes reach the system menu: state, visibility, text, submenus.
    exit->SetEnabled(false);
    EXPECT_TRUE(NativeState(h, 2) & MFS_GRAYED);
    line->SetVisible(false);
    EXPECT_EQ(GetMenuItemCount(h), 2);
    open->SetCaption("&Load");
    EXPECT_EQ(NativeText(h, 0), "&Load\tCtrl+O");
    TMenuItem* recent = MakeItem(owner.get(), "Recent");
    open->Add(recent);
    EXPECT_EQ(GetSubMenu(h, 0), open->GetHandle());
    EXPECT_EQ(GetMenuItemCount(open->GetHandle()), 1);

    // Freeing an item takes it out of its parent; Clear frees the subitems.
    exit->Free();
    EXPECT_EQ(root->Count(), 2);
    EXPECT_EQ(GetMenuItemCount(h), 1);
    open->Clear();
    EXPECT_EQ(open->Count(), 0);
    EXPECT_EQ(GetSubMenu(h, 0), nullptr);
    root->Remove(line);
    EXPECT_EQ(line->GetParent(), nullptr);
    EXPECT_EQ(StripHotkey("Save && &Close"), "Save & Close");
}

TEST(MenuItems, RadioItemsUncheckTheirGroupOnly)
{
    TOwnerPtr owner(New<TComponent>(nullptr));
    TMenuItem* parent = MakeItem(owner.get(), "View");
    TMenuItem* a = MakeItem(owner.get(), "A");
    TMenuItem* b = MakeItem(owner.get(), "B");
    TMenuItem* c = MakeItem(owner.get(), "C");
    TMenuItem* plain = MakeItem(owner.get(), "Plain");
    for (TMenuItem* item : {a, b, c, plain})
        parent->Add(item);
    for (TMenuItem* item : {a, b}) {
        item->SetRadioItem(true);
        item->SetGroupIndex(1);
    }
    c->SetRadioItem(true);
    c->SetGroupIndex(2);
    c->SetChecked(true);
    plain->SetChecked(true);
    a->SetChecked(true);
    b->SetChecked(true);
    EXPECT_FALSE(a->GetChecked());
    EXPECT_TRUE(b->GetChecked());
    EXPECT_TRUE(c->GetChecked());
    EXPECT_TRUE(plain->GetChecked());
    HMENU h = parent->GetHandle();
    EXPECT_TRUE(NativeState(h, 1) & MFS_CHECKED);
    EXPECT_TRUE(NativeState(h, 1) & MFT_RADIOCHECK);
    EXPECT_FALSE(NativeState(h, 0) & MFS_CHECKED);

    // Moving a checked radio item into a group unchecks the checked one there.
    c->SetGroupIndex(1);
    EXPECT_FALSE(b->GetChecked());
    EXPECT_TRUE(c->GetChecked());

    // AutoCheck toggles on click; a disabled item does not click.
    plain->SetAutoCheck(true);
    int clicks = 0;
    plain->OnClick = [&](TObject*) { ++clicks; };
    plain->Click();
    EXPECT_FALSE(plain->GetChecked());
    plain->SetEnabled(false);
    plain->Click();
    EXPECT_EQ(clicks, 1);
    parent->Free();
}

TEST(MenuItems, ActionsDriveItemsAndClicksRunActions)
{
    TOwnerPtr owner(New<TComponent>(nullptr));
    TActionList* list = New<TActionList>(owner.get());
    TAction* action = New<TAction>(owner.get());
    action->SetActionList(list);
    action->SetCaption("&Save");
    action->SetShortCut(scCtrl | 'S');
    int runs = 0;
    action->SetOnExecute([&](TObject*) { ++runs; });

    std::unique_ptr<TPopupMenu, TObjectFree> menu(New<TPopupMenu>(nullptr));
    TMenuItem* linked = MakeItem(owner.get(), "");
    TMenuItem* renamed = MakeItem(owner.get(), "");
    menu->GetItems()->Add(linked);
    menu->GetItems()->Add(renamed);
    linked->SetAction(action);
    renamed->SetAction(action);
    EXPECT_EQ(linked->GetCaption(), "&Save");
    EXPECT_EQ(linked->GetShortCut(), scCtrl | 'S');
    HMENU h = menu->GetHandle();
    EXPECT_EQ(NativeText(h, 0), "&Save\tCtrl+S");

    renamed->SetCaption("Keep me");
    action->SetCaption("Save &all");
    EXPECT_EQ(linked->GetCaption(), "Save &all");
    EXPECT_EQ(NativeText(h, 0), "Save &all\tCtrl+S");
    EXPECT_EQ(renamed->GetCaption(), "Keep me");

    action->SetEnabled(false);
    EXPECT_FALSE(linked->GetEnabled());
    linked->Click();
    EXPECT_EQ(runs, 0);
    action->SetEnabled(true);
    linked->Click();
    EXPECT_EQ(runs, 1);

    // An action that checks itself on execute checks the item through the link.
    action->SetAutoCheck(true);
    linked->Click();
    EXPECT_TRUE(action->GetChecked());
    EXPECT_TRUE(linked->GetChecked());

    // An OnClick of the item's own wins over the action.
    struct TOwnHandler {
        int Calls = 0;
        void Click(TObject*) { ++Calls; }
    } own;
    renamed->OnClick = TNotifyEvent(&own, &TOwnHandler::Click);
    renamed->Click();
    EXPECT_EQ(own.Calls, 1);
    EXPECT_EQ(runs, 2);

    // Freeing the action leaves the items without it.
    action->Free();
    EXPECT_EQ(linked->GetAction(), nullptr);
    EXPECT_EQ(linked->GetActionLink(), nullptr);
    linked->Click();
}

struct ShortCutMenu : testing::Test {
    TOwnerPtr Owner{New<TComponent>(nullptr)};
    std::unique_ptr<TMainMenu, TObjectFree> Menu{New<TMainMenu>(nullptr)};
    TMenuItem* File = MakeItem(Owner.get(), "&File");
    TMenuItem* Save = MakeItem(Owner.get(), "&Save", scCtrl | 'S');
    TMenuItem* Edit = MakeItem(Owner.get(), "&Edit");
    TMenuItem* Del = MakeItem(Owner.get(), "&Delete", VK_DELETE);
    TMenuItem* Close = MakeItem(Owner.get(), "Close", scAlt | VK_F4);
    int Saves = 0, Deletes = 0, EditPopups = 0;

    void SetUp() override
    {
        Menu->GetItems()->Add(File);
        Menu->GetItems()->Add(Edit);
        File->Add(Save);
        File->Add(Close);
        Edit->Add(Del);
        Save->OnClick = [this](TObject*) { ++Saves; };
        Del->OnClick = [this](TObject*) { ++Deletes; };
        Edit->OnPopup = [this](TObject*) { ++EditPopups; };
    }
};

TEST_F(ShortCutMenu, KeyMessagesFindTheirItems)
{
    {
        TKeysDown ctrl{VK_CONTROL};
        EXPECT_EQ(ShortCutFromKeyMessage(KeyDown('S')), scCtrl | 'S');
        EXPECT_TRUE(Menu->IsShortCut(KeyDown('S')));
        EXPECT_EQ(ShortCutFromKeyMessage(KeyDown(VK_CONTROL)), 0);
    }
    EXPECT_EQ(Saves, 1);
    EXPECT_FALSE(Menu->IsShortCut(KeyDown('S')));
    EXPECT_TRUE(Menu->IsShortCut(KeyDown(VK_DELETE)));
    EXPECT_EQ(Deletes, 1);
    EXPECT_EQ(EditPopups, 1);
    EXPECT_EQ(ShortCutFromKeyMessage(KeyDown(VK_F4, true)), scAlt | VK_F4);
    EXPECT_EQ(Menu->FindItem(scAlt | VK_F4, TFindItemKind::fkShortCut), Close);

    // Disabled items and items in disabled or hidden submenus are not reached.
    Del->SetEnabled(false);
    EXPECT_FALSE(Menu->IsShortCut(KeyDown(VK_DELETE)));
    Del->SetEnabled(true);
    Edit->SetEnabled(false);
    EXPECT_FALSE(Menu->IsShortCut(KeyDown(VK_DELETE)));
    Edit->SetEnabled(true);
    Edit->SetVisible(false);
    EXPECT_FALSE(Menu->IsShortCut(KeyDown(VK_DELETE)));
    EXPECT_EQ(Deletes, 1);
}

TEST_F(ShortCutMenu, PopupEventsRunBeforeTheShortCutDecides)
{
    // The enabling rule lives in the submenu's pop-up event, as the program's idle rules do.
    Del->SetEnabled(false);
    Edit->OnPopup = [this](TObject*) { Del->SetEnabled(true); };
    EXPECT_TRUE(Menu->IsShortCut(KeyDown(VK_DELETE)));
    EXPECT_EQ(Deletes, 1);

    // An action's update runs first too.
    TActionList* list = New<TActionList>(Owner.get());
    TAction* action = New<TAction>(Owner.get());
    action->SetActionList(list);
    action->SetShortCut(VK_F2);
    action->SetEnabled(false);
    int runs = 0;
    action->SetOnExecute([&](TObject*) { ++runs; });
    action->OnUpdate = [](TObject* sender) { static_cast<TAction*>(sender)->SetEnabled(true); };
    TMenuItem* rename = MakeItem(Owner.get(), "");
    Edit->Add(rename);
    rename->SetAction(action);
    EXPECT_FALSE(rename->GetEnabled());
    EXPECT_TRUE(Menu->IsShortCut(KeyDown(VK_F2)));
    EXPECT_EQ(runs, 1);
}

TEST_F(ShortCutMenu, AttachedToAWindowDispatchesCommandsAndShortCuts)
{
    std::unique_ptr<TForm, TObjectFree> form(New<TForm>(nullptr));
    form->SetBounds(10, 10, 300, 200);
    form->HandleNeeded();
    Menu->SetWindow(form.get());
    EXPECT_EQ(TMainMenu::MenuOfWindow(form.get()), Menu.get());
    HWND wnd = form->GetHandle();
    EXPECT_EQ(GetMenu(wnd), Menu->GetHandle());
    // A menu bar shows no shortcut texts on its top items.
    File->SetShortCut(scCtrl | 'F');
    EXPECT_EQ(NativeText(Menu->GetHandle(), 0), "&File");

    SendMessageA(wnd, WM_COMMAND, Save->GetCommand(), 0);
    EXPECT_EQ(Saves, 1);
    SendMessageA(wnd, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(Edit->GetHandle()), 1);
    EXPECT_EQ(EditPopups, 1);

    TMessage key = KeyDown(VK_DELETE);
    EXPECT_TRUE(form->IsShortCut(key));
    EXPECT_EQ(Deletes, 1);

    // The bar survives the window being made again, and leaves with the menu.
    form->RecreateWnd();
    wnd = form->GetHandle();
    EXPECT_EQ(GetMenu(wnd), Menu->GetHandle());
    SendMessageA(wnd, WM_COMMAND, Save->GetCommand(), 0);
    EXPECT_EQ(Saves, 2);
    Menu.reset();
    EXPECT_EQ(GetMenu(wnd), nullptr);
    EXPECT_FALSE(form->IsShortCut(key));
    SendMessageA(wnd, WM_COMMAND, 0x100, 0);
}

BOOL CALLBACK FindPopupList(HWND wnd, LPARAM data)
{
    char name[32] = {};
    GetClassNameA(wnd, name, sizeof(name));
    if (lstrcmpA(name, "SfPopupList") != 0)
        return TRUE;
    *reinterpret_cast<HWND*>(data) = wnd;
    return FALSE;
}

// Works the pop-up menu's keyboard: down to the first item, then Enter. Runs from a timer
// that the menu loop dispatches. The pop-up list is looked for on this thread only: other test
// programs running at the same time have one of their own.
void CALLBACK ChooseFirstItem(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(nullptr, id);
    HWND owner = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), &FindPopupList, reinterpret_cast<LPARAM>(&owner));
    PostMessageA(owner, WM_KEYDOWN, VK_DOWN, 0);
    PostMessageA(owner, WM_KEYDOWN, VK_RETURN, 0);
}

void CALLBACK EndMenuLater(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(nullptr, id);
    EndMenu();
}

TEST(PopupMenus, PopupClicksTheChosenItemAndTellsOnPopup)
{
    TOwnerPtr owner(New<TComponent>(nullptr));
    std::unique_ptr<TPopupMenu, TObjectFree> menu(New<TPopupMenu>(nullptr));
    TMenuItem* first = MakeItem(owner.get(), "First");
    menu->GetItems()->Add(first);
    menu->GetItems()->Add(MakeItem(owner.get(), "Second"));
    int clicks = 0, popups = 0;
    first->OnClick = [&](TObject*) { ++clicks; };
    menu->OnPopup = [&](TObject*) { ++popups; };
    UINT_PTR choose = SetTimer(nullptr, 0, 200, &ChooseFirstItem);
    UINT_PTR watchdog = SetTimer(nullptr, 0, 5000, &EndMenuLater);
    menu->Popup(100, 120);
    KillTimer(nullptr, choose);
    KillTimer(nullptr, watchdog);
    EXPECT_EQ(popups, 1);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(menu->GetPopupPoint().x, 100);
    EXPECT_EQ(menu->GetPopupPoint().y, 120);
}

TEST(PopupMenus, ControlsPopTheirMenuOnlyWithAutoPopup)
{
    std::unique_ptr<TForm, TObjectFree> form(New<TForm>(nullptr));
    std::unique_ptr<TPopupMenu, TObjectFree> menu(New<TPopupMenu>(nullptr));
    TOwnerPtr owner(New<TComponent>(nullptr));
    menu->GetItems()->Add(MakeItem(owner.get(), "Only"));
    int popups = 0;
    menu->OnPopup = [&](TObject*) { ++popups; };
    form->SetPopupMenu(menu.get());
    ASSERT_TRUE(TControl::PopupMenuHook);

    menu->SetAutoPopup(false);
    EXPECT_FALSE(TControl::PopupMenuHook(form.get(), menu.get(), POINT{50, 50}));
    EXPECT_EQ(popups, 0);

    menu->SetAutoPopup(true);
    UINT_PTR end = SetTimer(nullptr, 0, 200, &EndMenuLater);
    EXPECT_TRUE(TControl::PopupMenuHook(form.get(), menu.get(), POINT{50, 50}));
    KillTimer(nullptr, end);
    EXPECT_EQ(popups, 1);
    EXPECT_EQ(menu->GetPopupComponent(), form.get());
    form.reset();
    EXPECT_EQ(menu->GetPopupComponent(), nullptr);
}

TEST(PopupMenus, SelectionShowsTheItemHintAsTheApplicationHint)
{
    TOwnerPtr owner(New<TComponent>(nullptr));
    std::unique_ptr<TPopupMenu, TObjectFree> menu(New<TPopupMenu>(nullptr));
    TMenuItem* item = MakeItem(owner.get(), "Cut");
    item->SetHint("Cut|Moves the selection to the clipboard");
    TMenuItem* sub = MakeItem(owner.get(), "Order");
    sub->SetHint("Order|Changes the stacking order");
    sub->Add(MakeItem(owner.get(), "Front"));
    menu->GetItems()->Add(item);
    menu->GetItems()->Add(sub);
    HMENU h = menu->GetHandle();
    ASSERT_NE(PopupList, nullptr);
    HWND list = PopupList->GetWindow();
    SendMessageA(list, WM_MENUSELECT, MAKEWPARAM(item->GetCommand(), 0), reinterpret_cast<LPARAM>(h));
    EXPECT_EQ(Application->GetHint(), "Moves the selection to the clipboard");
    SendMessageA(list, WM_MENUSELECT, MAKEWPARAM(1, MF_POPUP), reinterpret_cast<LPARAM>(h));
    EXPECT_EQ(Application->GetHint(), "Changes the stacking order");
    SendMessageA(list, WM_MENUSELECT, MAKEWPARAM(0xFFFF, 0), 0);
    EXPECT_EQ(Application->GetHint(), "");
}

// An item that makes its own kind of link, as a derived menu item of another layer does.
class TCountingLink : public TMenuActionLink {
public:
    using TMenuActionLink::TMenuActionLink;
    static inline int Made = 0;
};

class TOwnLinkItem : public TMenuItem {
public:
    using TMenuItem::TMenuItem;
    int Built = 0;

protected:
    TMenuActionLink* CreateActionLink() override
    {
        ++TCountingLink::Made;
        return New<TCountingLink>(this);
    }
    void NativeItemBuilt(HMENU, UINT) override { ++Built; }
};

TEST(MenuItems, DerivedItemsChooseTheirLinkAndHearOfTheirNativeEntry)
{
    TOwnerPtr owner(New<TComponent>(nullptr));
    TAction* action = New<TAction>(owner.get());
    action->SetCaption("Own");
    std::unique_ptr<TPopupMenu, TObjectFree> menu(New<TPopupMenu>(nullptr));
    TOwnLinkItem* item = New<TOwnLinkItem>(owner.get());
    menu->GetItems()->Add(item);
    item->SetAction(action);
    EXPECT_EQ(TCountingLink::Made, 1);
    EXPECT_EQ(item->GetCaption(), "Own");
    menu->GetHandle();
    int built = item->Built;
    EXPECT_GE(built, 1);
    item->SetCaption("Other");
    EXPECT_EQ(item->Built, built + 1);
}

}
