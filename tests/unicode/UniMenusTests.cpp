// Hot keys, shortcut texts and wide captions of menus and actions: native menu entries read back
// with the wide calls, captions following their 8-bit twins, actions driving wide clients, and the
// hints of menus and hint actions reaching the Unicode application.
#include <gtest/gtest.h>

#include <windows.h>

#include "UniTestSupport.h"
#include "platform/Menus.h"
#include "unicode/UniActnList.h"
#include "unicode/UniForms.h"
#include "unicode/UniMenus.h"
#include "unicode/UniStdActns.h"
#include "unicode/UniStdCtrls.h"

namespace {
std::wstring MenuText(HMENU menu, UINT position)
{
    wchar_t text[256] = {};
    MENUITEMINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_STRING;
    info.dwTypeData = text;
    info.cch = 256;
    GetMenuItemInfoW(menu, position, TRUE, &info);
    return text;
}
}

TEST(HotKeys, MarksTheirCharactersAndRemoval)
{
    struct Case {
        const wchar_t* Caption;
        size_t Index;
        wchar_t Key;
        const wchar_t* Stripped;
    };
    const size_t none = std::wstring::npos;
    const Case cases[] = {
        {L"a&&b&c", 4, L'c', L"a&bc"},  {L"&&&x", 2, L'x', L"&x"},        {L"&&", none, 0, L"&"},
        {L"abc&", 3, 0, L"abc"},         {L"&\u0416uk", 0, L'\u0416', L"\u0416uk"}, {L"plain", none, 0, L"plain"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FindHotkeyIndex(c.Caption), c.Index) << c.Caption;
        EXPECT_EQ(ExtractHotkeyChar(c.Caption), c.Key) << c.Caption;
        EXPECT_EQ(RemoveHotkeyMark(c.Caption, false), c.Stripped) << c.Caption;
    }
    // Far-east captions name the key in parentheses after the text.
    EXPECT_EQ(RemoveHotkeyMark(L"\u30D5\u30A1\u30A4\u30EB(&F)", true), L"\u30D5\u30A1\u30A4\u30EB");
    EXPECT_EQ(RemoveHotkeyMark(L"\u30D5\u30A1\u30A4\u30EB(&F)...", true), L"\u30D5\u30A1\u30A4\u30EB...");
    EXPECT_EQ(RemoveHotkeyMark(L"(&F)", true), L"(F)");
    EXPECT_EQ(RemoveHotkeyMark(L"\u30D5(&F)", false), L"\u30D5(F)");
    EXPECT_TRUE(CaptionsMatch(L"&\u0416uk", L"\u0436U&K"));
    EXPECT_FALSE(CaptionsMatchWithCase(L"&\u0416uk", L"\u0436U&K"));
    EXPECT_TRUE(CaptionsMatchWithCase(L"&Open", L"Op&en"));
    // The accelerator test of typed characters: 8-bit codes through the keyboard's code page.
    EXPECT_TRUE(MatchesWideAccel('o', L"&Open"));
    EXPECT_TRUE(MatchesWideAccel(0x416, L"&\u0436uk"));
    EXPECT_FALSE(MatchesWideAccel('p', L"&Open"));
    EXPECT_FALSE(MatchesWideAccel(0, L"Cancel"));
    EXPECT_FALSE(MatchesWideAccel(0, L"Cancel&"));
}

TEST(HotKeys, ShortcutTextsAndTheHotKeyFollowingTheEightBitCaption)
{
    EXPECT_EQ(ShortCutToWideText(scCtrl | 'S'), L"Ctrl+S");
    EXPECT_EQ(ShortCutToWideText(scShift | scCtrl | scAlt | '1'), L"Shift+Ctrl+Alt+1");
    EXPECT_EQ(ShortCutToWideText(scCtrl | VK_DELETE), L"Ctrl+Del");
    EXPECT_EQ(ShortCutToWideText(VK_F5), L"F5");
    {
        TNonUnicodePlatform ansi;
        EXPECT_EQ(ShortCutToWideText(scCtrl | 'S'), L"Ctrl+S");
    }
    EXPECT_EQ(SyncHotKeyPosition(L"&\u0416uk x", NarrowText(L"\u0416u&k x")), L"\u0416u&k x");
    EXPECT_EQ(SyncHotKeyPosition(L"a&&b \u0416", NarrowText(L"a&&b \u0416")), L"a&&b \u0416");
    EXPECT_EQ(SyncHotKeyPosition(L"\u0416uk", NarrowText(L"\u0416u&k")), L"\u0416u&k");
    EXPECT_THROW(SyncHotKeyPosition(L"\u0416uk", "other"), EUniInternalError);
}

TEST_F(UniFormTest, MenuEntriesShowWideCaptionsAndShortcuts)
{
    std::unique_ptr<TMainMenu, TObjectFree> menu(New<TMainMenu>(nullptr));
    auto* file = New<TUniMenuItem>(menu.get());
    auto* save = New<TUniMenuItem>(menu.get());
    file->SetCaption(L"&\u0424\u0430\u0439\u043B");
    save->SetCaption(L"\u0421\u043E\u0445&\u0440\u0430\u043D\u0438\u0442\u044C");
    save->SetShortCut(scCtrl | 'S');
    save->SetHint(L"\u0416|\u65E5\u672C");
    menu->GetItems()->Add(file);
    file->Add(save);
    menu->SetWindow(Form.get());
    Pump();
    HMENU bar = GetMenu(Form->GetHandle());
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(MenuText(bar, 0), L"&\u0424\u0430\u0439\u043B");
    HMENU sub = GetSubMenu(bar, 0);
    EXPECT_EQ(MenuText(sub, 0), L"\u0421\u043E\u0445&\u0440\u0430\u043D\u0438\u0442\u044C\tCtrl+S");
    // The 8-bit caption changed behind it: the wide one follows, and so does the entry.
    save->TMenuItem::SetCaption("Save &As");
    EXPECT_EQ(save->GetCaption(), L"Save &As");
    EXPECT_EQ(MenuText(sub, 0), L"Save &As\tCtrl+S");
    // Only the hot key moved: the wide characters stay.
    save->SetCaption(L"\u0416u&k");
    save->TMenuItem::SetCaption(NarrowText(L"&\u0416uk"));
    EXPECT_EQ(save->GetCaption(), L"&\u0416uk");
    EXPECT_EQ(save->GetHint(), L"\u0416|\u65E5\u672C");
    // Selecting it in a pop-up menu gives the application its long hint.
    std::unique_ptr<TPopupMenu, TObjectFree> popup(New<TPopupMenu>(nullptr));
    auto* item = New<TUniMenuItem>(popup.get());
    item->SetCaption(L"\u263A");
    item->SetHint(L"short|\u0416\u0443\u043A");
    popup->GetItems()->Add(item);
    popup->GetHandle();
    ASSERT_TRUE(Is<TUniPopupList>(PopupList));
    SendMessageW(PopupList->GetWindow(), WM_MENUSELECT, MAKEWPARAM(item->GetCommand(), 0),
                 reinterpret_cast<LPARAM>(popup->GetHandle()));
    EXPECT_EQ(UniApplication->GetHint(), L"\u0416\u0443\u043A");
    EXPECT_EQ(Application->GetHint(), NarrowText(L"\u0416\u0443\u043A"));
    SendMessageW(PopupList->GetWindow(), WM_MENUSELECT, MAKEWPARAM(0, 0xFFFF), 0);
    EXPECT_EQ(UniApplication->GetHint(), L"");
    // A menu loop gives the class library's own list back its menus; the Unicode list stays.
    TPopupList* original = static_cast<TUniPopupList*>(PopupList)->GetOriginal();
    SendMessageW(PopupList->GetWindow(), WM_ENTERMENULOOP, TRUE, 0);
    ASSERT_TRUE(Is<TUniPopupList>(PopupList));
    ASSERT_EQ(original->Count(), PopupList->Count());
    for (int i = 0; i < PopupList->Count(); ++i)
        EXPECT_EQ(original->Get(i), PopupList->Get(i)) << i;
    menu->SetWindow(nullptr);
}

TEST_F(UniFormTest, ActionsCarryWideTextsToTheirClients)
{
    std::unique_ptr<TUniAction, TObjectFree> action(New<TUniAction>(nullptr));
    action->SetCaption(L"&\u0416uk");
    action->SetHint(L"\u65E5\u672C");
    TUniButton* button = Make<TUniButton>();
    button->SetAction(action.get());
    std::unique_ptr<TPopupMenu, TObjectFree> popup(New<TPopupMenu>(nullptr));
    auto* item = New<TUniMenuItem>(popup.get());
    popup->GetItems()->Add(item);
    item->SetAction(action.get());
    EXPECT_EQ(WindowText(button->GetHandle()), L"&\u0416uk");
    EXPECT_EQ(button->GetHint(), L"\u65E5\u672C");
    EXPECT_EQ(item->GetCaption(), L"&\u0416uk");
    // A new text whose 8-bit form is the same still reaches the clients.
    action->SetCaption(L"&\u05D0");
    action->SetCaption(L"&\u05D1");
    EXPECT_EQ(action->TAction::GetCaption(), "&?");
    EXPECT_EQ(WindowText(button->GetHandle()), L"&\u05D1");
    EXPECT_EQ(item->GetCaption(), L"&\u05D1");
    EXPECT_EQ(MenuText(popup->GetHandle(), 0), L"&\u05D1");
    // A client given its own text no longer follows.
    button->SetCaption(L"mine");
    action->SetCaption(L"\u263A");
    EXPECT_EQ(button->GetCaption(), L"mine");
    EXPECT_EQ(item->GetCaption(), L"\u263A");
    // Assigning copies the wide texts; a plain action gives its 8-bit ones widened.
    std::unique_ptr<TUniAction, TObjectFree> copy(New<TUniAction>(nullptr));
    copy->Assign(action.get());
    EXPECT_EQ(copy->GetCaption(), L"\u263A");
    EXPECT_EQ(copy->GetHint(), L"\u65E5\u672C");
    std::unique_ptr<TAction, TObjectFree> plain(New<TAction>(nullptr));
    plain->SetCaption("&Plain");
    EXPECT_EQ(GetActionCaption(plain.get()), L"&Plain");
    TUniButton* other = Make<TUniButton>();
    other->SetAction(plain.get());
    plain->SetCaption("&Other");
    EXPECT_EQ(other->GetCaption(), L"&Other");
    EXPECT_EQ(GetUniActionLinkClass(other, TButtonActionLink::StaticClass()), TUniButtonActionLink::StaticClass());
    EXPECT_EQ(GetUniActionLinkClass(Form.get(), TControlActionLink::StaticClass()), TUniControlActionLink::StaticClass());
}

TEST_F(UniFormTest, TheApplicationsWideHintTitleAndHintAction)
{
    UniApplication->SetTitle(kWideText);
    EXPECT_EQ(UniApplication->GetTitle(), kWideText);
    EXPECT_EQ(Application->GetTitle(), NarrowText(kWideText));
    // A hint the 8-bit hint action cannot carry reaches the listeners as a wide hint action.
    std::wstring heard;
    TWindowHook listener = [&](TMessage& m, bool&) {
        if (m.Msg == CM_ACTIONEXECUTE)
            if (auto* action = dynamic_cast<TUniHintAction*>(reinterpret_cast<TBasicAction*>(m.LParam)))
                heard = action->GetHint();
    };
    Application->HookMainWindow(listener);
    UniApplication->SetHint(L"\u05D0\u05D1");
    EXPECT_EQ(heard, L"\u05D0\u05D1");
    EXPECT_EQ(UniApplication->GetHint(), L"\u05D0\u05D1");
    // Another text with the same 8-bit form is still heard.
    UniApplication->SetHint(L"\u05D2\u05D3");
    EXPECT_EQ(Application->GetHint(), "??");
    EXPECT_EQ(heard, L"\u05D2\u05D3");
    Application->UnhookMainWindow(listener);
    // Changed behind it, the wide hint follows the 8-bit one.
    Application->SetHint("plain");
    EXPECT_EQ(UniApplication->GetHint(), L"plain");
    UniApplication->SetHint(L"");
    // Settings changes are noted.
    DWORD before = UniApplication->GetSettingsChangeTime();
    Sleep(20);
    SendMessageA(Application->GetHandle(), WM_WININICHANGE, 0, 0);
    EXPECT_GT(UniApplication->GetSettingsChangeTime(), before);
}
