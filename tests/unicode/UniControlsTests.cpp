// Wide windows under class-library controls: captions and hints in both widths, characters above
// 255 through the 8-bit key handlers and through the message loop with and without the hook,
// window re-creation, a control freed by its own click, and wide hints.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>

#include "UniTestSupport.h"
#include "platform/ScopeGuards.h"
#include "unicode/UniForms.h"
#include "unicode/UniStdCtrls.h"

namespace {
std::wstring ClassNameOf(HWND wnd)
{
    wchar_t name[256] = {};
    GetClassNameW(wnd, name, 256);
    return name;
}
}

TEST(WMCharCarriage, CharactersAbove255RideInTheSpareWord)
{
    struct Case {
        WPARAM In;
        WPARAM Safe;
        wchar_t Wide;
    };
    const Case cases[] = {
        {0x41, 0x41, L'A'},
        {0xFF, 0xFF, L'\u00FF'},
        {0x401, (0x401u << 16) | 0xFF, L'\u0401'},
        {(0x401u << 16) | 0xFF, (0x401u << 16) | 0xFF, L'\u0401'},  // carried already
        {0xFFFF, (0xFFFFu << 16) | 0xFF, L'\uFFFF'},
    };
    for (const Case& c : cases) {
        TMessage m{WM_CHAR, c.In, 0, 0};
        MakeWMCharMsgSafeForAnsi(m);
        EXPECT_EQ(m.WParam, c.Safe) << c.In;
        EXPECT_EQ(GetWideCharFromWMCharMsg(m), c.Wide);
        RestoreWMCharMsg(m);
        EXPECT_EQ(m.WParam, static_cast<WPARAM>(c.Wide));
    }
    // A handler that changed the character: the new one goes on, the carried one is dropped.
    TMessage changed{WM_CHAR, (0x401u << 16) | 'A', 0, 0};
    RestoreWMCharMsg(changed);
    EXPECT_EQ(changed.WParam, static_cast<WPARAM>('A'));
    TMessage other{WM_KEYDOWN, 0, 0, 0};
    EXPECT_THROW(MakeWMCharMsgSafeForAnsi(other), EAssertionFailed);
}

TEST(WideHints, ShortAndLongParts)
{
    EXPECT_EQ(GetShortHint(L"\u0416|long"), L"\u0416");
    EXPECT_EQ(GetLongHint(L"\u0416|long|more"), L"long|more");
    EXPECT_EQ(GetShortHint(L"whole"), L"whole");
    EXPECT_EQ(GetLongHint(L"whole"), L"whole");
}

TEST_F(UniFormTest, WideWindowsCarryWideCaptionsInBothWidths)
{
    TUniButton* button = Make<TUniButton>();
    button->SetCaption(kWideText);
    EXPECT_EQ(button->GetCaption(), kWideText);
    HWND wnd = button->GetHandle();
    EXPECT_TRUE(IsWindowUnicode(wnd));
    EXPECT_EQ(ClassNameOf(wnd), L"TUniButton.UnicodeClass");
    EXPECT_EQ(WindowText(wnd), kWideText);
    // The class library's 8-bit view, both ways.
    EXPECT_EQ(button->TControl::GetCaption(), NarrowText(kWideText));
    button->TControl::SetCaption("plain");
    EXPECT_EQ(WindowText(wnd), L"plain");
    button->SetCaption(kWideText);
    // A new window of the same class is made without registering it again, and keeps the text.
    TCreateParams params;
    params.WinClassName = "TUniButton";
    params.WindowClass.hInstance = GetModuleHandleA(nullptr);
    EXPECT_EQ(RegisterWideWindowClass(params, false), L"TUniButton.UnicodeClass");
    button->RecreateWnd();
    EXPECT_NE(button->GetWindowHandle(), nullptr);
    EXPECT_EQ(WindowText(button->GetHandle()), kWideText);
    EXPECT_EQ(button->GetCaption(), kWideText);
    // Without a window the caption lives in the helper.
    button->SetParent(nullptr);
    EXPECT_FALSE(button->HandleAllocated());
    EXPECT_EQ(button->GetCaption(), kWideText);
    button->SetParent(Form.get());
    EXPECT_EQ(WindowText(button->GetHandle()), kWideText);
}

TEST_F(UniFormTest, WindowlessControlsKeepWideCaptionsInStepWithTheirEightBitOnes)
{
    TLabel* label = Make<TLabel>();
    SetWideText(label, kWideText);
    EXPECT_EQ(GetWideText(label), kWideText);
    EXPECT_EQ(label->GetCaption(), NarrowText(kWideText));
    label->SetCaption("other");
    EXPECT_EQ(GetWideText(label), L"other");
    label->SetCaption(NarrowText(kWideText));
    EXPECT_EQ(GetWideText(label), WidenText(NarrowText(kWideText)));
    SetWideHint(label, L"\u0416|\u65E5");
    EXPECT_EQ(label->GetHint(), NarrowText(L"\u0416|\u65E5"));
    EXPECT_EQ(GetWideHint(label), L"\u0416|\u65E5");
    TLabel* bare = Make<TLabel>();
    EXPECT_EQ(GetWideParentHint(bare), L"");
    SetWideHint(Form.get(), L"\u263A");
    EXPECT_EQ(GetWideParentHint(bare), L"\u263A");
}

TEST_F(UniFormTest, EightBitPlatformTakesTheEightBitPaths)
{
    TNonUnicodePlatform ansi;
    TUniButton* button = Make<TUniButton>();
    button->SetCaption(L"\u0416x");
    HWND wnd = button->GetHandle();
    EXPECT_FALSE(IsWindowUnicode(wnd));
    EXPECT_EQ(button->GetCaption(), WidenText(NarrowText(L"\u0416x")));
    EXPECT_EQ(SendMessageW(wnd, WM_NOTIFYFORMAT, reinterpret_cast<WPARAM>(wnd), NF_QUERY), NFR_ANSI);
}

TEST_F(UniFormTest, CharactersAbove255ReachKeyHandlersAs255AndTheWindowWhole)
{
    TWideEdit* edit = Make<TWideEdit>();
    HWND wnd = edit->GetHandle();
    std::vector<int> seen;
    char replacement = -1;
    edit->OnKeyPress = [&](TObject*, char& key) {
        seen.push_back(static_cast<unsigned char>(key));
        if (replacement != -1)
            key = replacement;
    };
    SendMessageW(wnd, WM_CHAR, 0x401, 1);
    SendMessageW(wnd, WM_CHAR, 0xFF, 1);
    EXPECT_EQ(WindowText(wnd), L"\u0401\u00FF");
    replacement = 0;
    SendMessageW(wnd, WM_CHAR, 0x416, 1);
    replacement = 'A';
    SendMessageW(wnd, WM_CHAR, 0x416, 1);
    EXPECT_EQ(WindowText(wnd), L"\u0401\u00FFA");
    EXPECT_EQ(seen, (std::vector<int>{255, 255, 255, 255}));
    // A window of the layer answers that it wants wide notifications from wide windows.
    EXPECT_EQ(SendMessageW(wnd, WM_NOTIFYFORMAT, reinterpret_cast<WPARAM>(wnd), NF_QUERY), NFR_UNICODE);
    EXPECT_EQ(SendMessageW(wnd, WM_NOTIFYFORMAT, reinterpret_cast<WPARAM>(Form->GetHandle()), NF_QUERY), NFR_ANSI);
}

TEST_F(UniFormTest, TheMessageHookCarriesPostedCharactersPastTheEightBitLoop)
{
    TWideEdit* edit = Make<TWideEdit>();
    HWND wnd = edit->GetHandle();
    auto typed = [&](WPARAM ch) {
        SetWindowTextW(wnd, L"");
        PostMessageW(wnd, WM_CHAR, ch, 1);
        Pump();
        return WindowText(wnd);
    };
    {
        InstallMessageHook();
        TScopeExit uninstall([] { UninstallMessageHook(); });
        EXPECT_EQ(typed(0x401), L"\u0401");
        EXPECT_EQ(typed(0x5D0), L"\u05D0");
        EXPECT_EQ(typed(0x65E5), L"\u65E5");
        // Not above 255, but lost where the code page has no such letter.
        EXPECT_EQ(typed(200), L"\u00C8");
        // A dialog window that is not the target does not swallow it.
        TWideEdit* other = Make<TWideEdit>();
        Application->SetDialogHandle(other->GetHandle());
        EXPECT_EQ(typed(0x416), L"\u0416");
        Application->SetDialogHandle(nullptr);
        // OnMessage may take it.
        Application->OnMessage = [](MSG& msg, bool& handled) { handled = msg.message == WM_CHAR; };
        EXPECT_EQ(typed(0x416), L"");
        Application->OnMessage = nullptr;
    }
    {
        // What the 8-bit loop makes of them on its own.
        InstallMessageHook();
        TScopeExit uninstall([] { UninstallMessageHook(); });
        SetMessageHookDisabled(true);
        TScopeExit enable([] { SetMessageHookDisabled(false); });
        EXPECT_EQ(typed(0x5D0), L"?");
        EXPECT_EQ(typed(200), WidenText(NarrowText(L"\u00C8")));
    }
    // Without a Unicode platform no hook is installed.
    TNonUnicodePlatform ansi;
    InitUniForms();
    EXPECT_FALSE(MessageHookInstalled());
}

TEST_F(UniFormTest, AControlFreedByItsOwnClickLeavesNothingBehind)
{
    TUniButton* button = Make<TUniButton>();
    button->SetCaption(L"\u0416");
    bool clicked = false;
    button->OnClick = [&](TObject* sender) {
        clicked = true;
        static_cast<TUniButton*>(sender)->Free();
    };
    HWND wnd = button->GetHandle();
    SendMessageW(wnd, BM_CLICK, 0, 0);
    Pump();
    EXPECT_TRUE(clicked);
    EXPECT_FALSE(IsWindow(wnd));
    EXPECT_EQ(Form->GetControlCount(), 0);
    EXPECT_EQ(FindWideControlHelper(button), nullptr);
}

TEST_F(UniFormTest, AnEightBitWindowCannotBeSubclassed)
{
    TEdit* edit = Make<TEdit>();
    try {
        SubClassUnicodeControl(edit, "", false);
        FAIL() << "no error";
    } catch (const EUniInternalError& e) {
        EXPECT_EQ(e.GetWideMessage(), L"Internal Error: SubClassUnicodeControl.Control is not Unicode.");
    }
}

TEST_F(UniFormTest, WideHintsReachTheirHintWindow)
{
    TUniButton* button = Make<TUniButton>();
    button->SetHint(L"\u0416\u0443\u043A \u263A|long");
    button->HandleNeeded();
    THintInfo info;
    info.HintControl = button;
    info.HintWindowClass = THintWindow::StaticClass();
    info.HintStr = GetShortHint(button->TControl::GetHint());
    EXPECT_EQ(button->Perform(CM_HINTSHOW, 0, reinterpret_cast<LPARAM>(&info)), 0);
    EXPECT_EQ(info.HintWindowClass, TUniCustomHintWindow::StaticClass());
    const TWideHintData* data = AsWideHintData(info.HintData);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->Text, L"\u0416\u0443\u043A \u263A");

    std::unique_ptr<TUniCustomHintWindow, TObjectFree> hint(New<TUniCustomHintWindow>(nullptr));
    RECT r = hint->CalcHintRect(300, info.HintStr, info.HintData);
    EXPECT_GT(r.right, 6);
    OffsetRect(&r, 100, 100);
    hint->ActivateHintData(r, info.HintStr, info.HintData);
    EXPECT_TRUE(IsWindowUnicode(hint->GetHandle()));
    EXPECT_EQ(WindowText(hint->GetHandle()), data->Text);
    EXPECT_EQ(hint->GetWidth(), r.right - r.left);
    // Plain hint data shows the 8-bit text.
    hint->ActivateHintData(r, "plain", nullptr);
    EXPECT_EQ(WindowText(hint->GetHandle()), L"plain");
}

// Wide windows count as live from creation to destruction, like 8-bit ones, whatever ends them:
// freeing the control, re-creating its window, or a style change that re-creates it.
TEST_F(UniFormTest, WideWindowsCountFromCreationToDestruction)
{
    struct TCase {
        const char* Name;
        std::function<TWinControl*()> Make;
        std::function<void(TWinControl*)> Change;
    };
    const TCase cases[] = {
        {"combo box", [&]() -> TWinControl* { return Make<TUniComboBox>(); },
         [](TWinControl* c) { static_cast<TUniComboBox*>(c)->SetStyle(csDropDownList); }},
        {"button", [&]() -> TWinControl* { return Make<TUniButton>(); },
         [](TWinControl* c) { c->RecreateWnd(); }},
        {"hint", []() -> TWinControl* { return New<TUniCustomHintWindow>(nullptr); },
         [](TWinControl* c) { static_cast<TUniCustomHintWindow*>(c)->ActivateHintData({100, 100, 200, 120}, "tip", nullptr); }},
    };
    const int before = LiveHandles(THandleKind::Window);
    for (int round = 0; round < 2; ++round)
        for (const TCase& c : cases) {
            SCOPED_TRACE(testing::Message() << c.Name << " round " << round);
            TWinControl* control = c.Make();
            control->HandleNeeded();
            ASSERT_TRUE(IsWindowUnicode(control->GetHandle()));
            EXPECT_EQ(LiveHandles(THandleKind::Window), before + 1);
            c.Change(control);
            EXPECT_TRUE(control->HandleAllocated());
            EXPECT_EQ(LiveHandles(THandleKind::Window), before + 1);
            control->Free();
            Pump();
            EXPECT_EQ(LiveHandles(THandleKind::Window), before);
        }
}
