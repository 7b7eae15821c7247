// Edit, drop-down and combo items: the combo's text kept in step with its list, completion of typed
// text, Up and Down in the field, Enter and Escape, the list dropped by the mouse, F4 and Alt+Down
// and walked with keys, the records the theme gets for frame and button, the item's size, the EDIT
// control's style, and nothing left behind after many drop-downs.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "ScriptedInput.h"
#include "SkinControlsTestSupport.h"
#include "SkinItemTestSupport.h"
#include "SkinRecordingTheme.h"
#include "SkinTestSupport.h"
#include "TestSupport.h"
#include "platform/ScopeGuards.h"
#include "skin/Skin.h"
#include "skin/SkinDock.h"
#include "skin/SkinExtItems.h"
#include "skin/SkinLists.h"
#include "skin/SkinPopup.h"
#include "toolbar/TBCommon.h"
#include "toolbar/TBToolbar.h"

namespace {

const std::vector<std::wstring> ZoomLines = {L"10%", L"25%", L"50%", L"75%", L"100%",
                                             L"150%", L"200%", L"500%", L"Auto"};

void FillLines(TSkinComboBoxItem* combo, const std::vector<std::wstring>& lines)
{
    combo->GetLines()->Clear();
    for (const std::wstring& line : lines)
        combo->GetLines()->Add(line);
}

using TComboPtr = std::unique_ptr<TSkinComboBoxItem, TObjectFree>;

TEST(SkinComboBoxItem, TextFollowsTheListAndTheListOpensOnTheText)
{
    TComboPtr combo(New<TSkinComboBoxItem>(nullptr));
    FillLines(combo.get(), ZoomLines);
    int changes = 0;
    combo->OnChange = [&](TObject*) { ++changes; };
    EXPECT_EQ(combo->Count(), 1) << "the list is the drop-down's only item";
    EXPECT_EQ(combo->GetItem(0), combo->GetList());
    EXPECT_EQ(combo->GetMinListWidth(), 64);
    EXPECT_TRUE(combo->HasTrait(isSubmenu) && combo->HasTrait(isSplitButton));
    EXPECT_FALSE(combo->HasTrait(isNeverFirst));

    struct TStep {
        const char* Name;
        std::function<void()> Act;
        int ItemIndex;
        std::wstring Text;
        int Changes;
    };
    const TStep steps[] = {
        {"a line sets the text", [&] { combo->SetItemIndex(8); }, 8, L"Auto", 1},
        {"-1 keeps the text", [&] { combo->SetItemIndex(-1); }, -1, L"Auto", 1},
        {"below -1 is -1", [&] { combo->SetItemIndex(-7); }, -1, L"Auto", 1},
        {"the same line again changes nothing", [&] { combo->SetItemIndex(8); }, 8, L"Auto", 1},
        {"a typed text leaves the selection", [&] { combo->SetText(L"33%"); }, 8, L"33%", 2},
        {"opening with no matching line selects none",
         [&] { combo->RaisePopupEvent(combo.get(), false); }, -1, L"33%", 2},
        {"opening on a matching line selects it",
         [&] {
             combo->SetText(L"150%");
             combo->RaisePopupEvent(combo.get(), false);
         },
         5, L"150%", 3},
        {"a line past the end is kept but sets nothing", [&] { combo->SetItemIndex(20); }, 20, L"150%", 3},
    };
    for (const TStep& step : steps) {
        step.Act();
        EXPECT_EQ(combo->GetItemIndex(), step.ItemIndex) << step.Name;
        EXPECT_EQ(combo->GetText(), step.Text) << step.Name;
        EXPECT_EQ(changes, step.Changes) << step.Name;
    }
}

TEST(SkinComboBoxItem, ImageIndexFollowsTheSelectionThroughTheEvent)
{
    TComboPtr combo(New<TSkinComboBoxItem>(nullptr));
    FillLines(combo.get(), ZoomLines);
    combo->SetImageIndex(3);
    std::vector<std::pair<std::wstring, int>> asked;
    int shift = 0;
    combo->OnAdjustImageIndex = [&](TObject*, const std::wstring& text, int index, int& imageIndex) {
        asked.emplace_back(text, index);
        imageIndex += shift;
    };
    EXPECT_EQ(combo->GetEditImageIndex(), 3) << "no selection: the item's own image";
    EXPECT_EQ(combo->GetEditImageIndex(), 3);
    EXPECT_EQ(asked.size(), 1u) << "the answer is kept";
    shift = 100;
    combo->SetItemIndex(2);
    EXPECT_EQ(combo->GetEditImageIndex(), 102) << "the selected line's image, adjusted";
    EXPECT_EQ(asked.back(), std::make_pair(std::wstring(L"50%"), -1));
    combo->SetText(L"typed");
    EXPECT_EQ(combo->GetEditImageIndex(), 102);
    EXPECT_EQ(asked.back(), std::make_pair(std::wstring(L"typed"), -1)) << "a new text asks again";
    // The list asks for a line's image with the line's text and index.
    EXPECT_EQ(combo->GetList()->GetImageIndex(4), 104);
    EXPECT_EQ(asked.back(), std::make_pair(std::wstring(L"100%"), 4));
    int clicks = 0;
    combo->OnItemClick = [&](TObject*) { ++clicks; };
    combo->GetList()->Click();
    EXPECT_EQ(clicks, 1) << "a click on the list is the item's";
}

TEST(SkinComboBoxItem, CompletesWithTheShortestLineThatStartsWithTheText)
{
    TComboPtr combo(New<TSkinComboBoxItem>(nullptr));
    struct TCase {
        const char* Name;
        std::vector<std::wstring> Lines;
        std::wstring Typed;
        bool Found;
        std::wstring Result;
    };
    const TCase cases[] = {
        {"shortest match", {L"200%", L"25%", L"500%"}, L"2", true, L"25%"},
        {"an exact line stops the search", {L"25%", L"25%x", L"250%"}, L"25%", true, L"25%"},
        {"exact after longer ones", {L"250%", L"25%", L"2"}, L"2", true, L"2"},
        {"ties go to the first", {L"abc", L"abd", L"ab"}, L"a", true, L"ab"},
        {"equal length first wins", {L"axe", L"ace"}, L"a", true, L"axe"},
        {"case is ignored", {L"Auto", L"auto2"}, L"AU", true, L"Auto"},
        {"no line starts so", {L"10%", L"25%"}, L"3", false, L"3"},
        {"longer than every line", {L"10%"}, L"10%%", false, L"10%%"},
        {"nothing typed completes nothing", {L"10%"}, L"", false, L""},
        {"an empty list", {}, L"1", false, L"1"},
    };
    for (const TCase& c : cases) {
        FillLines(combo.get(), c.Lines);
        std::wstring text = c.Typed;
        EXPECT_EQ(combo->DoAutoComplete(text), c.Found) << c.Name;
        EXPECT_EQ(text, c.Result) << c.Name;
    }
    FillLines(combo.get(), ZoomLines);
    combo->SetAutoComplete(false);
    std::wstring text = L"2";
    EXPECT_FALSE(combo->DoAutoComplete(text)) << "completion off";
}

TEST(SkinEditItem, PasswordCharacterByTheCommonControlsVersion)
{
    const uint32_t version = ComCtlProductVersion();
    EXPECT_EQ(EditPasswordChar(), version < 0x60000 ? L'*' : L'\x25CF');
    EXPECT_EQ(ComCtlProductVersion("no-such-library-here.dll"), 0xFFFFFFFFu)
        << "an unreadable version counts as the newest";
}

} // namespace

// ---------------------------------------------------------------------------------------------
// In a toolbar

namespace {

// A toolbar docked at the top of the shared host form: a button, the field under test, a button.
class SkinEditInToolbar : public testing::Test {
protected:
    void SetUp() override
    {
        THostForm::Clear();
        FDock = New<TSkinDock>(THostForm::Form());
        FDock->SetParent(THostForm::Form());
        FToolbar = New<TTBCustomToolbar>(THostForm::Form());
        FToolbar->SetHideWhenInactive(false);
        auto* before = New<TSkinItem>(THostForm::Form());
        before->SetCaption(L"Before");
        FCombo = New<TSkinComboBoxItem>(THostForm::Form());
        FillLines(FCombo, ZoomLines);
        FCombo->SetEditWidth(80);
        FCombo->SetText(L"100%");
        auto* after = New<TSkinItem>(THostForm::Form());
        after->SetCaption(L"After");
        for (TTBCustomItem* item : {static_cast<TTBCustomItem*>(before), static_cast<TTBCustomItem*>(FCombo),
                                    static_cast<TTBCustomItem*>(after)})
            FToolbar->GetItems()->Add(item);
        FToolbar->SetParent(FDock);
        SetActiveWindow(THostForm::Form()->GetHandle());
        PumpMessages();
    }
    void TearDown() override
    {
        SetAltKey(false);
        THostForm::Clear();
    }

    TTBView* View() const { return FToolbar->GetView(); }
    TSkinDropDownItemViewer* Viewer() const
    {
        return dynamic_cast<TSkinDropDownItemViewer*>(View()->Find(FCombo));
    }
    bool Dropped() const { return View()->GetOpenedViewer() == Viewer(); }
    TSkinCustomListViewer* ListViewer() const
    {
        TTBView* popup = View()->GetOpenedViewerView();
        return popup ? dynamic_cast<TSkinCustomListViewer*>(popup->Find(FCombo->GetList())) : nullptr;
    }
    POINT ComboPoint(int fromRight = 20) const
    {
        const RECT& r = Viewer()->GetBoundsRect();
        return POINT{r.right - fromRight, (r.top + r.bottom) / 2};
    }
    static void SetAltKey(bool down)
    {
        BYTE keys[256] = {};
        GetKeyboardState(keys);
        keys[VK_MENU] = down ? 0x80 : 0;
        SetKeyboardState(keys);
    }

    // The press on the item that starts the toolbar's menu loop, run until the script ends it.
    bool ClickCombo(std::vector<std::function<void()>> script)
    {
        const POINT p = ComboPoint();
        POINT screen = p;
        ClientToScreen(FToolbar->GetHandle(), &screen);
        SetCursorPos(screen.x, screen.y);
        const bool done = RunScripted(
            [&] { SendMessageW(FToolbar->GetHandle(), WM_LBUTTONDOWN, MK_LBUTTON, ClientPoint(p.x, p.y)); },
            std::move(script));
        PumpMessages();
        return done;
    }
    // A step that posts a key to the window with the focus (the toolbar while the menu runs).
    std::function<void()> Key(WORD vk, bool alt = false) const
    {
        HWND toolbar = FToolbar->GetHandle();
        return [toolbar, vk, alt] {
            HWND target = GetFocus() ? GetFocus() : toolbar;
            SetAltKey(alt);
            const LPARAM data = alt ? LPARAM(1 | (1 << 29)) : 1;
            PostMessageW(target, alt ? WM_SYSKEYDOWN : WM_KEYDOWN, vk, data);
        };
    }
    // A step that posts a press and release of the left button on a line of the dropped list.
    std::function<void()> ClickLine(int line) const
    {
        return [this, line] {
            TSkinCustomListViewer* list = ListViewer();
            ASSERT_NE(list, nullptr);
            const RECT& b = list->GetBoundsRect();
            const int h = list->GetItemHeight();
            POINT p{b.left + 10, b.top + (line - list->GetOffset()) * h + h / 2};
            ClientToScreen(View()->GetOpenedViewerView()->GetWindow()->GetHandle(), &p);
            SetCursorPos(p.x, p.y);
            HWND target = WindowFromPoint(p);
            POINT client = p;
            ScreenToClient(target, &client);
            PostMessageW(target, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(client.x, client.y));
            PostMessageW(target, WM_LBUTTONUP, 0, MAKELPARAM(client.x, client.y));
        };
    }
    std::function<void()> Check(std::function<void()> check) const { return check; }

    TSkinDock* FDock = nullptr;
    TTBCustomToolbar* FToolbar = nullptr;
    TSkinComboBoxItem* FCombo = nullptr;
};

TEST_F(SkinEditInToolbar, ListDroppedByTheMouseSetsTextAndSelection)
{
    FCombo->SetDropDownList(true);
    int clicks = 0;
    FCombo->OnItemClick = [&](TObject*) { ++clicks; };
    bool opened = false;
    int hotAtOpen = -2;
    uint32_t popupType = 0;
    EXPECT_TRUE(ClickCombo({
        [&] {
            opened = Dropped();
            if (TSkinCustomListViewer* list = ListViewer())
                hotAtOpen = list->GetHotIndex();
            popupType = GetViewTypeOfControl(View()->GetOpenedViewerWindow());
        },
        ClickLine(6),
    }));
    EXPECT_TRUE(opened) << "a press anywhere on a list-only field drops the list";
    EXPECT_EQ(hotAtOpen, 4) << "the list opens on the line of the text";
    EXPECT_EQ(popupType, uint32_t(vtListPopup));
    EXPECT_EQ(FCombo->GetItemIndex(), 6);
    EXPECT_EQ(FCombo->GetText(), L"200%");
    EXPECT_EQ(clicks, 1);
    EXPECT_FALSE(Dropped());
}

TEST_F(SkinEditInToolbar, KeysWalkTheDroppedListAndF4AndAltDownToggleIt)
{
    FCombo->SetDropDownList(true);
    int clicks = 0;
    FCombo->OnItemClick = [&](TObject*) { ++clicks; };
    std::vector<bool> dropped;
    std::vector<std::wstring> texts;
    auto note = [&] {
        dropped.push_back(Dropped());
        texts.push_back(FCombo->GetText());
    };
    EXPECT_TRUE(ClickCombo({note, Key(VK_F4), note, Key(VK_DOWN, true), note, Key(VK_F4), note, Key(VK_F4), note,
                            Key(VK_DOWN), Key(VK_DOWN), note, Key(VK_UP), note, Key(VK_RETURN)}));
    EXPECT_EQ(dropped, (std::vector<bool>{true, false, true, false, true, true, true}));
    EXPECT_EQ(texts, (std::vector<std::wstring>{L"100%", L"100%", L"100%", L"100%", L"100%", L"200%", L"150%"}))
        << "the text follows the line the keys select";
    EXPECT_EQ(FCombo->GetItemIndex(), 5);
    EXPECT_EQ(clicks, 1) << "Enter takes the line";
}

} // namespace
