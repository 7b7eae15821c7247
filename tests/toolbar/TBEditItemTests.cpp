// The edit item's in-place editing driven by timer scripts: Enter, Tab, Escape, refusal, a click
// elsewhere, Alt and Alt with keypad digits; the character case, the viewer in vertical views,
// and nothing left behind.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "DockTestSupport.h"
#include "MenuTestSupport.h"
#include "ToolbarTestSupport.h"
#include "platform/ScopeGuards.h"
#include "toolbar/TBExtItems.h"
#include "toolbar/TBPopup.h"
#include "toolbar/TBToolbar.h"

namespace {

class TBEditItem : public testing::Test {
protected:
    void SetUp() override
    {
        FForm = &TDockForm::Shared();
        FForm->Clear();
        FToolbar = New<TTBCustomToolbar>(FForm->Form());
        FToolbar->SetHideWhenInactive(false);
        FBefore = New<TTBCustomItem>(FForm->Form());
        FBefore->SetCaption(L"Before");
        FEdit = New<TTBEditItem>(FForm->Form());
        FEdit->SetText(L"old");
        FAfter = New<TTBCustomItem>(FForm->Form());
        FAfter->SetCaption(L"After");
        for (TTBCustomItem* item : {FBefore, static_cast<TTBCustomItem*>(FEdit), FAfter})
            FToolbar->GetItems()->Add(item);
        FToolbar->SetParent(FForm->Dock(dpTop));
        SetActiveWindow(FForm->Form()->GetHandle());
        PumpMessages();
    }
    void TearDown() override
    {
        SetKeys(false, false);
        FForm->Clear();
    }

    TTBEditItemViewer* Viewer() const
    {
        return dynamic_cast<TTBEditItemViewer*>(FToolbar->GetView()->Find(FEdit));
    }

    // A step that posts a message to the open EDIT control.
    std::function<void()> ToEdit(UINT msg, WPARAM wParam, LPARAM lParam = 0) const
    {
        TTBEditItemViewer* viewer = Viewer();
        return [viewer, msg, wParam, lParam] {
            if (HWND edit = viewer->GetEditWnd())
                PostMessageW(edit, msg, wParam, lParam);
        };
    }
    std::function<void()> Type(const std::wstring& text) const
    {
        std::vector<std::function<void()>> chars;
        for (wchar_t c : text)
            chars.push_back(ToEdit(WM_CHAR, c));
        return [chars] {
            for (const auto& c : chars)
                c();
        };
    }
    static void SetKeys(bool shift, bool alt)
    {
        BYTE keys[256] = {};
        GetKeyboardState(keys);
        keys[VK_SHIFT] = shift ? 0x80 : 0;
        keys[VK_MENU] = alt ? 0x80 : 0;
        SetKeyboardState(keys);
    }

    // Runs the editing with the script; the result of PerformExecute.
    bool Edit(std::vector<std::function<void()>> script)
    {
        bool result = false;
        // Each editing starts as the menu loop would start it: nothing decided yet.
        FToolbar->GetView()->GetDoneActionData() = TTBDoneActionData{};
        TTBEditItemViewer* viewer = Viewer();
        EXPECT_NE(viewer, nullptr);
        EXPECT_TRUE(RunScripted([&] { result = viewer->PerformExecute(); }, std::move(script)));
        EXPECT_EQ(viewer->GetEditWnd(), nullptr);
        EXPECT_EQ(FEdit->GetActiveEditViewer(), nullptr);
        return result;
    }

    TDockForm* FForm = nullptr;
    TTBCustomToolbar* FToolbar = nullptr;
    TTBCustomItem* FBefore = nullptr;
    TTBEditItem* FEdit = nullptr;
    TTBCustomItem* FAfter = nullptr;
};

TEST_F(TBEditItem, EnterAcceptsAndEndsTheMenu)
{
    int gdi = LiveHandles(THandleKind::GdiObject);
    std::vector<std::wstring> offered;
    FEdit->OnAcceptText = [&](TObject*, std::wstring& text, bool& accept) {
        offered.push_back(text);
        accept = true;
    };
    // The toolbar hands the EDIT its colour message; it answers with the window colour's brush.
    LRESULT brush = 0;
    TTBEditItemViewer* viewer = Viewer();
    auto askColour = [&brush, viewer, this] {
        HWND edit = viewer->GetEditWnd();
        TWindowDC dc(edit);
        brush = SendMessageW(FToolbar->GetHandle(), WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc.Get()),
                             reinterpret_cast<LPARAM>(edit));
    };
    // The EDIT starts with the text selected: typing replaces it.
    EXPECT_TRUE(Edit({askColour, Type(L"new \u00e9"), ToEdit(WM_CHAR, VK_RETURN)}));
    EXPECT_EQ(brush, reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW)));
    EXPECT_EQ(FEdit->GetText(), L"new \u00e9");
    EXPECT_EQ(offered, std::vector<std::wstring>{L"new \u00e9"});
    EXPECT_EQ(Viewer()->GetEndState(), 6);
    EXPECT_TRUE(FToolbar->GetView()->ModalClosing());
    EXPECT_EQ(LiveHandles(THandleKind::GdiObject), gdi);
    EXPECT_EQ(FindWindowExW(FToolbar->GetHandle(), nullptr, L"EDIT", nullptr), nullptr);
}

TEST_F(TBEditItem, RefusedTextStaysOldButTheMenuStillEnds)
{
    FEdit->OnAcceptText = [](TObject*, std::wstring&, bool& accept) { accept = false; };
    EXPECT_TRUE(Edit({Type(L"xyz"), ToEdit(WM_CHAR, VK_RETURN)}));
    EXPECT_EQ(FEdit->GetText(), L"old");
}

TEST_F(TBEditItem, EscapeChangesNothingAndKeepsTheMenu)
{
    EXPECT_FALSE(Edit({Type(L"xyz"), ToEdit(WM_CHAR, VK_ESCAPE)}));
    EXPECT_EQ(FEdit->GetText(), L"old");
    EXPECT_EQ(Viewer()->GetEndState(), 0);
    EXPECT_FALSE(FToolbar->GetView()->ModalClosing());
}

TEST_F(TBEditItem, TabAcceptsAndMovesTheSelection)
{
    EXPECT_FALSE(Edit({Type(L"tab"), ToEdit(WM_CHAR, VK_TAB)}));
    EXPECT_EQ(FEdit->GetText(), L"tab");
    ASSERT_NE(FToolbar->GetView()->GetSelected(), nullptr);
    EXPECT_EQ(FToolbar->GetView()->GetSelected()->GetItem(), FAfter);
    EXPECT_FALSE(Edit({[] { SetKeys(true, false); }, Type(L"back"), ToEdit(WM_CHAR, VK_TAB)}));
    EXPECT_EQ(FEdit->GetText(), L"back");
    EXPECT_EQ(FToolbar->GetView()->GetSelected()->GetItem(), FBefore);
}

TEST_F(TBEditItem, ClickElsewhereEndsWithoutChangeUnlessExtendedAccept)
{
    HWND form = FForm->Form()->GetHandle();
    int presses = 0;
    FForm->Form()->OnMouseDown = [&](TObject*, TMouseButton, TShiftState, int, int) { ++presses; };
    auto clickElsewhere = [form] { PostMessageA(form, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(300, 300)); };
    EXPECT_FALSE(Edit({Type(L"lost"), clickElsewhere}));
    EXPECT_EQ(FEdit->GetText(), L"old");
    // The press was left for the window it was meant for.
    EXPECT_EQ(presses, 1);
    FEdit->SetExtendedAccept(true);
    EXPECT_FALSE(Edit({Type(L"kept"), clickElsewhere}));
    EXPECT_EQ(FEdit->GetText(), L"kept");
    FForm->Form()->OnMouseDown = nullptr;
    PostMessageA(form, WM_LBUTTONUP, 0, MAKELPARAM(300, 300));
    PumpMessages();
}

TEST_F(TBEditItem, AltEndsButAltWithKeypadDigitsTypes)
{
    UINT numpad1 = MapVirtualKeyW(VK_NUMPAD1, MAPVK_VK_TO_VSC);
    UINT keyX = MapVirtualKeyW('X', MAPVK_VK_TO_VSC);
    // Alt+keypad 1 goes on; the character it makes is typed; Enter ends it.
    EXPECT_TRUE(Edit({ToEdit(WM_SYSKEYDOWN, VK_NUMPAD1, static_cast<LPARAM>((numpad1 << 16) | 0x20000001)),
                      Type(L"\u263a"), ToEdit(WM_CHAR, VK_RETURN)}));
    EXPECT_EQ(FEdit->GetText(), L"\u263a");
    // Alt with a letter ends the editing: the menu closes, the text stays.
    EXPECT_FALSE(Edit({Type(L"zz"), ToEdit(WM_SYSKEYDOWN, 'X', static_cast<LPARAM>((keyX << 16) | 0x20000001))}));
    EXPECT_EQ(Viewer()->GetEndState(), 4);
    EXPECT_EQ(FEdit->GetText(), L"\u263a");
    EXPECT_TRUE(FToolbar->GetView()->ModalClosing());
}

TEST_F(TBEditItem, FailingAcceptHandlerIsReportedAndEndsCleanly)
{
    std::vector<std::string> reported;
    Application->OnException = [&](TObject*, const Exception& e) { reported.push_back(e.what()); };
    FEdit->OnAcceptText = [](TObject*, std::wstring&, bool&) { throw Exception("no such zoom"); };
    EXPECT_TRUE(Edit({Type(L"bad"), ToEdit(WM_CHAR, VK_RETURN)}));
    Application->OnException = nullptr;
    EXPECT_EQ(reported, std::vector<std::string>{"no such zoom"});
    EXPECT_EQ(FEdit->GetText(), L"old");
}

// An item that counts its text changes.
class TCountingEditItem : public TTBEditItem {
public:
    using TTBEditItem::TTBEditItem;
    int Changes = 0;
    void AfterTextChange() override { ++Changes; }
};

TEST_F(TBEditItem, CharCaseChangesTheTextOnlyWhenTheCaseDoes)
{
    const struct {
        TEditCharCase From;
        const wchar_t* Text;
        TEditCharCase To;
        const wchar_t* Expected;
        int Changes;
    } cases[] = {
        {ecNormal, L"ABC 1", ecUpperCase, L"ABC 1", 0},
        {ecNormal, L"abc 1", ecUpperCase, L"ABC 1", 1},
        {ecNormal, L"abc", ecLowerCase, L"abc", 0},
        {ecNormal, L"", ecUpperCase, L"", 0},
        {ecUpperCase, L"abc", ecNormal, L"ABC", 0},
        {ecUpperCase, L"abc", ecLowerCase, L"abc", 1},
    };
    for (const auto& c : cases) {
        std::unique_ptr<TCountingEditItem, TObjectFree> item(New<TCountingEditItem>(nullptr));
        item->SetCharCase(c.From);
        item->SetText(c.Text);
        item->Changes = 0;
        item->SetCharCase(c.To);
        EXPECT_EQ(item->GetText(), c.Expected) << "case " << (&c - cases);
        EXPECT_EQ(item->Changes, c.Changes) << "case " << (&c - cases);
    }
}

// On a toolbar the box stands without its caption: the caption's accelerator opens nothing.
TEST_F(TBEditItem, OnAToolbarTheCaptionIsNoAccelerator)
{
    FEdit->SetCaption(L"&Zoom");
    EXPECT_FALSE(Viewer()->ShowsCaption());
    bool editing = false;
    LRESULT result = 0;
    RunScripted([&] { result = FToolbar->Perform(CM_DIALOGCHAR, L'z', 0); },
                {[&] {
                     editing = GetFocus() && IsEditItemWindow(GetFocus());
                     PostMessageW(GetFocus(), WM_CHAR, VK_ESCAPE, 0);
                 },
                 [] { PostMessageW(GetFocus(), WM_KEYDOWN, VK_ESCAPE, 0); }});
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(editing);
    TTBItemViewer* before = FToolbar->GetView()->Find(FBefore);
    EXPECT_TRUE(before->ShowsCaption()) << "a plain button's caption still shows";
}

BOOL CALLBACK FindShownPopupView(HWND wnd, LPARAM data)
{
    if (auto* w = dynamic_cast<TTBPopupWindow*>(FindControl(wnd)); w && IsWindowVisible(wnd))
        *reinterpret_cast<TTBView**>(data) = w->GetView();
    return TRUE;
}

// The view of the thread's shown popup window.
TTBView* ShownPopupView()
{
    TTBView* view = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), &FindShownPopupView, reinterpret_cast<LPARAM>(&view));
    return view;
}

// In a menu the release that ends a drag from another item over the box starts the editing, as
// a click there would.
TEST(TBEditItemInAMenu, AReleaseOverTheBoxStartsTheEditing)
{
    TMenuSettings settings(false, false, 100);
    std::unique_ptr<TTBPopupMenu, TObjectFree> menu(New<TTBPopupMenu>(nullptr));
    TTBCustomItem* first = AddItem(menu->GetItems(), L"First");
    auto* edit = New<TTBEditItem>(nullptr);
    edit->SetText(L"text");
    menu->GetItems()->Add(edit);
    HWND editWnd = nullptr;
    auto centre = [](TTBCustomItem* item) { return ItemCentre(ShownPopupView(), item); };
    TTestWindow host;
    TInputScript script(host.Handle());
    script.Press([&] { return centre(first); })
        .MoveTo([&] { return centre(edit); })
        .Release([&] { return centre(edit); })
        .Do([&] {
            HWND focus = GetFocus();
            editWnd = focus && IsEditItemWindow(focus) ? focus : nullptr;
            if (editWnd)
                PostMessageW(editWnd, WM_CHAR, VK_ESCAPE, 0);
        })
        .Key(VK_ESCAPE);
    script.Start();
    menu->PopupAtControl(200, 120, false);
    PumpMessages();
    EXPECT_NE(editWnd, nullptr);
    EXPECT_FALSE(script.WatchdogFired());
    EXPECT_EQ(edit->GetActiveEditViewer(), nullptr);
    EXPECT_EQ(VisiblePopupWindows(), 0);
}

// Whatever a message of the editing does to the viewer (its item taken out or freed, the
// viewers rebuilt, the toolbar freed), the editing ends there without touching it again. The
// tests' heap overwrites freed memory, so any such touch fails at once.
TEST_F(TBEditItem, EditingEndsWhenItsViewerGoes)
{
    const struct {
        const char* Name;
        std::function<void()> Act;
    } cases[] = {
        {"the item taken out of the toolbar", [this] { FToolbar->GetItems()->Remove(FEdit); }},
        {"the viewers rebuilt", [this] { FToolbar->GetView()->RebuildAllViewers(); }},
        {"the item freed", [this] {
             FEdit->Free();
             FEdit = nullptr;
         }},
        {"the toolbar freed", [this] {
             FToolbar->Free();
             FToolbar = nullptr;
         }},
    };
    for (const auto& c : cases) {
        if (&c != cases) {
            TearDown();
            SetUp();
        }
        TTBEditItemViewer* viewer = Viewer();
        HWND toolbarWnd = FToolbar->GetHandle();
        bool opened = false;
        bool result = true;
        RunScripted([&] { result = viewer->PerformExecute(); },
                    {Type(L"abc"), [&] { opened = viewer->GetEditWnd() != nullptr; }, c.Act});
        EXPECT_TRUE(opened) << c.Name;
        EXPECT_FALSE(result) << c.Name;
        if (FEdit) {
            EXPECT_EQ(FEdit->GetActiveEditViewer(), nullptr) << c.Name;
            EXPECT_EQ(FEdit->GetText(), L"old") << c.Name;
        }
        if (FToolbar) {
            EXPECT_EQ(FindWindowExW(toolbarWnd, nullptr, L"EDIT", nullptr), nullptr) << c.Name;
        }
    }
}

TEST_F(TBEditItem, CharCaseAndVerticalViews)
{
    FEdit->SetText(L"Mixed Case");
    FEdit->SetCharCase(ecUpperCase);
    EXPECT_EQ(FEdit->GetText(), L"MIXED CASE");
    FEdit->SetText(L"down \u00c9");
    EXPECT_EQ(FEdit->GetText(), L"DOWN \u00c9");
    FEdit->SetCharCase(ecLowerCase);
    EXPECT_EQ(FEdit->GetText(), L"down \u00e9");
    EXPECT_NE(Viewer(), nullptr);
    // In a vertical toolbar it is a plain button unless asked otherwise.
    FToolbar->SetParent(FForm->Dock(dpLeft));
    TTBItemViewer* viewer = FToolbar->GetView()->Find(FEdit);
    EXPECT_EQ(dynamic_cast<TTBEditItemViewer*>(viewer), nullptr);
    FEdit->SetEditOptions(tboUseEditWhenVertical);
    FToolbar->Arrange();
    EXPECT_NE(dynamic_cast<TTBEditItemViewer*>(FToolbar->GetView()->Find(FEdit)), nullptr);
}

} // namespace
