// The Unicode combo box and button in real windows: wide items kept across window re-creation,
// selection and its events, type-ahead timing, completion of typed text, a refused item, and the
// button's wide accelerator.
#include <gtest/gtest.h>

#include <windows.h>

#include "UniTestSupport.h"
#include "unicode/UniStdCtrls.h"

namespace {
DWORD gNow = 0;
DWORD WINAPI FakeTicks()
{
    return gNow;
}

struct UniComboTest : UniFormTest {
    TUniComboBox* Combo = nullptr;

    void SetUp() override
    {
        UniFormTest::SetUp();
        TUniCustomComboBox::SetTickSource(&FakeTicks);
        Combo = Make<TUniComboBox>();
    }
    void TearDown() override { TUniCustomComboBox::SetTickSource(nullptr); }

    std::wstring ListText(int index)
    {
        HWND wnd = Combo->GetHandle();
        std::wstring text(static_cast<size_t>(SendMessageW(wnd, CB_GETLBTEXTLEN, index, 0)) + 1, L'\0');
        text.resize(static_cast<size_t>(SendMessageW(wnd, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text.data()))));
        return text;
    }
    // A character as the combo box's focused window gets it.
    void Type(wchar_t ch)
    {
        HWND target = Combo->GetEditHandle() ? Combo->GetEditHandle() : Combo->GetHandle();
        SendMessageW(target, WM_CHAR, ch, 1);
    }
};

LRESULT CALLBACK RefuseItems(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR)
{
    if (msg == CB_ADDSTRING || msg == CB_INSERTSTRING)
        return CB_ERRSPACE;
    return DefSubclassProc(wnd, msg, wParam, lParam);
}
}

TEST_F(UniComboTest, WideItemsSurviveWindowRecreation)
{
    // Items given before there is a window wait for it.
    Combo->SetParent(nullptr);
    Combo->SetStyle(csDropDownList);
    Combo->GetItems()->Add(kWideText);
    Combo->SetItemIndex(0);
    EXPECT_FALSE(Combo->HandleAllocated());
    Combo->SetParent(Form.get());
    Combo->GetItems()->AddObject(L"\u65E5\u672C", Combo);
    EXPECT_EQ(Combo->GetItems()->Count(), 2);
    EXPECT_EQ(ListText(0), kWideText);
    EXPECT_EQ(ListText(1), L"\u65E5\u672C");
    EXPECT_EQ(Combo->GetItemIndex(), 0);
    Combo->GetItems()->Insert(1, L"\u263A");
    Combo->SetItemIndex(2);
    EXPECT_EQ(Combo->GetItems()->IndexOf(L"\u263a"), 1);
    EXPECT_EQ(Combo->GetItems()->GetObject(2), Combo);
    Combo->RecreateWnd();
    EXPECT_EQ(Combo->GetItems()->Count(), 3);
    EXPECT_EQ(ListText(0), kWideText);
    EXPECT_EQ(ListText(1), L"\u263A");
    EXPECT_EQ(Combo->GetItems()->GetObject(2), Combo);
    EXPECT_EQ(Combo->GetItemIndex(), 2);
    EXPECT_EQ(Combo->GetText(), L"\u65E5\u672C");
    // A style change re-creates the window too.
    Combo->GetItems()->Delete(2);
    Combo->SetItemIndex(1);
    Combo->SetStyle(csDropDown);
    EXPECT_EQ(Combo->GetItems()->Count(), 2);
    EXPECT_EQ(Combo->GetItemIndex(), 1);
    Combo->SetText(L"typed \u0416");
    Combo->GetItems()->Clear();
    EXPECT_EQ(Combo->GetItems()->Count(), 0);
    EXPECT_EQ(Combo->GetText(), L"typed \u0416");
    Combo->GetItems()->Add(L"\u263A");
    Combo->SetStyle(csDropDownList);
    Combo->SetItemIndex(0);
    Combo->GetItems()->Clear();
    EXPECT_EQ(Combo->GetText(), L"");
}

TEST_F(UniComboTest, AnItemChosenBeforeTheWindowIsItsTextUnlessATextFollows)
{
    struct TCase {
        bool textAfter;
        const wchar_t* expected;
    };
    for (const TCase& c : {TCase{false, L"\u263A two"}, TCase{true, L"typed \u0416"}}) {
        auto combo = Make<TUniComboBox>();
        combo->SetName(c.textAfter ? "TypedCombo" : "ChosenCombo");
        combo->SetStyle(csDropDown);
        combo->GetItems()->Add(kWideText);
        combo->GetItems()->Add(L"\u263A two");
        combo->SetItemIndex(1);
        if (c.textAfter)
            combo->SetText(L"typed \u0416");
        combo->SetParent(Form.get());
        ASSERT_NE(combo->GetHandle(), nullptr);
        EXPECT_EQ(combo->GetText(), c.expected);
        if (!c.textAfter) {
            EXPECT_EQ(combo->GetItemIndex(), 1);
        }
    }
}

TEST_F(UniComboTest, SelectionChangesTheWideTextThenClicksAndChanges)
{
    Combo->GetItems()->Add(L"\u0416\u0443\u043A");
    Combo->GetItems()->Add(L"\u65E5\u672C");
    std::vector<std::string> events;
    Combo->OnClick = [&](TObject*) { events.push_back("click:" + NarrowText(Combo->GetText())); };
    Combo->OnChange = [&](TObject*) { events.push_back("change"); };
    HWND wnd = Combo->GetHandle();
    SendMessageW(wnd, CB_SETCURSEL, 1, 0);
    SendMessageW(GetParent(wnd), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(wnd), CBN_SELCHANGE), reinterpret_cast<LPARAM>(wnd));
    EXPECT_EQ(events, (std::vector<std::string>{"click:" + NarrowText(L"\u65E5\u672C"), "change"}));
    EXPECT_EQ(Combo->GetText(), L"\u65E5\u672C");
    EXPECT_EQ(Combo->TControl::GetText(), NarrowText(L"\u65E5\u672C"));
}

TEST_F(UniComboTest, TypeAheadExtendsWithinTheGapAndStartsAgainAfterIt)
{
    Combo->SetStyle(csDropDownList);
    for (const wchar_t* item : {L"100 dpi", L"150 dpi", L"300 dpi", L"\u0416\u0443\u043A"})
        Combo->GetItems()->Add(item);
    int changes = 0;
    Combo->OnChange = [&](TObject*) { ++changes; };
    gNow = 0xFFFFFF00;  // the tick count wraps round in between
    Type(L'1');
    EXPECT_EQ(Combo->GetItemIndex(), 0);
    gNow += 1249;
    Type(L'5');
    EXPECT_EQ(Combo->GetItemIndex(), 1);
    gNow += 1250;
    Type(L'3');
    EXPECT_EQ(Combo->GetItemIndex(), 2);
    gNow += 10;
    Type(L'x');  // no item begins with "3x": nothing changes
    EXPECT_EQ(Combo->GetItemIndex(), 2);
    gNow += 10;
    Type(VK_BACK);
    Type(VK_BACK);
    Type(VK_BACK);  // more than was typed
    gNow += 10;
    Type(L'\u0416');
    EXPECT_EQ(Combo->GetItemIndex(), 3);
    EXPECT_EQ(changes, 4);
    // Without AutoComplete the window's own search runs.
    Combo->SetAutoComplete(false);
    Type(L'3');
    EXPECT_EQ(Combo->GetItemIndex(), 2);
}

TEST_F(UniComboTest, TypingCompletesFromTheItems)
{
    for (const wchar_t* item : {L"100 dpi", L"150 dpi", L"\u0416\u0443\u043A"})
        Combo->GetItems()->Add(item);
    EXPECT_EQ(Combo->FindUniqueString(L"1"), -1);
    EXPECT_EQ(Combo->FindUniqueString(L"15"), 1);
    EXPECT_EQ(Combo->FindString(-1, L"\u0416"), 2);
    EXPECT_EQ(Combo->FindString(2, L"1"), 0);
    Type(L'1');
    EXPECT_EQ(Combo->GetText(), L"100 dpi");
    EXPECT_EQ(Combo->GetSelStart(), 1);
    EXPECT_EQ(Combo->GetSelLength(), 6);
    EXPECT_EQ(Combo->GetSelText(), L"00 dpi");
    Type(L'5');
    EXPECT_EQ(Combo->GetText(), L"150 dpi");
    EXPECT_EQ(Combo->GetItemIndex(), 1);
    // A character no item continues with is typed as it is.
    Type(L'x');
    EXPECT_EQ(Combo->GetText(), L"15x");
    Combo->SetText(L"");
    Type(L'\u0416');
    EXPECT_EQ(Combo->GetText(), L"\u0416\u0443\u043A");
    // The key handlers see characters above 255 as 255, and may swallow them.
    Combo->OnKeyPress = [](TObject*, char& key) {
        if (static_cast<unsigned char>(key) == 255)
            key = 0;
    };
    Combo->SetText(L"");
    Type(L'\u65E5');
    EXPECT_EQ(Combo->GetText(), L"");
}

TEST_F(UniComboTest, AnItemTheWindowRefusesRaises)
{
    HWND wnd = Combo->GetHandle();
    SetWindowSubclass(wnd, &RefuseItems, 1, 0);
    try {
        Combo->GetItems()->Add(L"x");
        FAIL() << "no error";
    } catch (const EOutOfResources& e) {
        EXPECT_STREQ(e.what(), "Unable to insert a line");
    }
    EXPECT_THROW(Combo->GetItems()->Insert(0, L"x"), EOutOfResources);
    RemoveWindowSubclass(wnd, &RefuseItems, 1);
}

TEST_F(UniFormTest, TheButtonShowsItsWideCaptionAndAnswersItsHotKey)
{
    Form->Show();
    TUniButton* button = Make<TUniButton>();
    TUniButton* other = Make<TUniButton>();
    TUniButton* plain = Make<TUniButton>();
    button->SetCaption(L"&\u0416\u0443\u043A");
    // Whatever letter the keyboard's code page has at 0xFC.
    other->SetCaption(std::wstring(L"&") + KeyCharToWide(0xFC) + L"ber");
    plain->SetCaption(L"&Ok \u263A");
    int clicks = 0, otherClicks = 0, plainClicks = 0;
    button->OnClick = [&](TObject*) { ++clicks; };
    other->OnClick = [&](TObject*) { ++otherClicks; };
    plain->OnClick = [&](TObject*) { ++plainClicks; };
    EXPECT_EQ(WindowText(button->GetHandle()), L"&\u0416\u0443\u043A");
    // The form offers typed characters to its controls: wide ones, 8-bit ones of the keyboard's
    // code page, and never the narrowed marks' '?'.
    EXPECT_EQ(Form->Perform(CM_DIALOGCHAR, 0x436, 0), 1);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(Form->Perform(CM_DIALOGCHAR, (0x416u << 16) | 0xFF, 0), 1);
    EXPECT_EQ(clicks, 2);
    EXPECT_EQ(Form->Perform(CM_DIALOGCHAR, 0xFC, 0), 1);
    EXPECT_EQ(otherClicks, 1);
    EXPECT_EQ(Form->Perform(CM_DIALOGCHAR, '?', 0), 0);
    EXPECT_EQ(clicks, 2);
    // Alt and the letter, posted as the system posts them, through the class library's loop.
    PostMessageW(plain->GetHandle(), WM_SYSCHAR, 'o', 1u << 29);
    Pump();
    EXPECT_EQ(plainClicks, 1);
}
