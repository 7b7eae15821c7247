// The standard controls on a live form: texts and events as the system controls report them,
// items that survive the window being made again, grouping, actions and painting.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <memory>

#include "platform/ComCtrls.h"
#include "platform/ExtCtrls.h"
#include "platform/StdCtrls.h"

namespace {

struct StdControls : testing::Test {
    std::unique_ptr<TForm, TObjectFree> Form{New<TForm>(nullptr)};

    void SetUp() override
    {
        Form->SetBounds(20, 20, 400, 300);
        Form->HandleNeeded();
    }

    template <class T>
    T* Make(TWinControl* parent = nullptr)
    {
        T* control = New<T>(Form.get());
        control->SetParent(parent ? parent : Form.get());
        return control;
    }

    // A notification from a child as the system sends it: to the parent window.
    static LRESULT Notify(TWinControl* child, WORD code)
    {
        HWND wnd = child->GetHandle();
        return SendMessageA(GetParent(wnd), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(wnd), code), reinterpret_cast<LPARAM>(wnd));
    }

    // Paints the form into a bitmap the size of its client area.
    std::unique_ptr<TBitmap, TObjectFree> Snapshot()
    {
        std::unique_ptr<TBitmap, TObjectFree> bmp(New<TBitmap>());
        bmp->SetSize(Form->GetClientWidth(), Form->GetClientHeight());
        Form->PaintTo(bmp->GetCanvas()->GetHandle(), 0, 0);
        return bmp;
    }
};

TColor Rgb(TBitmap* bmp, int x, int y)
{
    return bmp->GetCanvas()->GetPixel(x, y) & 0xFFFFFF;
}

TEST_F(StdControls, ButtonClicksSetModalResultAndAnswerDialogKeys)
{
    TButton* ok = Make<TButton>();
    TButton* cancel = Make<TButton>();
    ok->SetCaption("&OK");
    ok->SetDefault(true);
    ok->SetModalResult(mrOk);
    cancel->SetCancel(true);
    int okClicks = 0, cancelClicks = 0;
    ok->OnClick = [&](TObject*) { ++okClicks; };
    cancel->OnClick = [&](TObject*) { ++cancelClicks; };

    char text[32] = {};
    GetWindowTextA(ok->GetHandle(), text, sizeof(text));
    EXPECT_STREQ(text, "&OK");
    EXPECT_TRUE(GetWindowLongA(ok->GetHandle(), GWL_STYLE) & BS_DEFPUSHBUTTON);

    SendMessageA(ok->GetHandle(), BM_CLICK, 0, 0);
    EXPECT_EQ(okClicks, 1);
    EXPECT_EQ(Form->GetModalResult(), mrOk);

    Form->Show();
    EXPECT_EQ(Form->Perform(CM_DIALOGKEY, VK_RETURN, 0), 1);
    EXPECT_EQ(okClicks, 2);
    EXPECT_EQ(Form->Perform(CM_DIALOGKEY, VK_ESCAPE, 0), 1);
    EXPECT_EQ(cancelClicks, 1);
    EXPECT_EQ(Form->Perform(CM_DIALOGCHAR, 'o', 0), 1);
    EXPECT_EQ(okClicks, 3);
}

TEST_F(StdControls, EditTextChangeAndLimits)
{
    TEdit* edit = Make<TEdit>();
    int changes = 0;
    edit->OnChange = [&](TObject*) { ++changes; };
    edit->SetText("12.50");
    EXPECT_EQ(edit->GetText(), "12.50");
    EXPECT_EQ(changes, 1);
    SendMessageA(edit->GetHandle(), WM_CHAR, '7', 1);
    EXPECT_EQ(changes, 2);

    edit->SetMaxLength(4);
    EXPECT_EQ(SendMessageA(edit->GetHandle(), EM_GETLIMITTEXT, 0, 0), 4);
    edit->SetPasswordChar('*');
    EXPECT_EQ(SendMessageA(edit->GetHandle(), EM_GETPASSWORDCHAR, 0, 0), '*');
    edit->SetReadOnly(true);
    EXPECT_TRUE(GetWindowLongA(edit->GetHandle(), GWL_STYLE) & ES_READONLY);
    edit->SelectAll();
    EXPECT_EQ(edit->GetSelStart(), 0);
    EXPECT_EQ(edit->GetSelLength(), static_cast<int>(edit->GetText().size()));
}

// Edits, memos and combo boxes ask for the window colour; a parent of another colour does not
// take it from them, so an enabled edit never looks disabled.
TEST_F(StdControls, EditBoxesKeepTheWindowColourOnAColouredParent)
{
    TPanel* panel = Make<TPanel>();
    panel->SetBounds(0, 0, 300, 200);
    panel->SetColor(clBtnFace);
    TEdit* edit = Make<TEdit>(panel);
    edit->SetBounds(10, 10, 120, 21);
    TMemo* memo = Make<TMemo>(panel);
    memo->SetBounds(10, 40, 120, 60);
    TComboBox* combo = Make<TComboBox>(panel);
    combo->SetBounds(10, 110, 120, 21);
    for (TWinControl* control : {static_cast<TWinControl*>(edit), static_cast<TWinControl*>(memo), static_cast<TWinControl*>(combo)}) {
        EXPECT_EQ(control->GetColor(), clWindow);
        EXPECT_FALSE(control->GetParentColor());
    }
    panel->SetColor(clYellow);
    EXPECT_EQ(edit->GetColor(), clWindow);
    auto bmp = Snapshot();
    EXPECT_EQ(Rgb(bmp.get(), 120, 20), ColorToRGB(clWindow) & 0xFFFFFF);
    EXPECT_EQ(Rgb(bmp.get(), 120, 90), ColorToRGB(clWindow) & 0xFFFFFF);
    EXPECT_EQ(Rgb(bmp.get(), 200, 20), ColorToRGB(clYellow) & 0xFFFFFF);
}

// An editable combo box named before its window exists shows the item chosen for it, not its name.
TEST_F(StdControls, ANamedComboBoxShowsTheChosenItem)
{
    TComboBox* combo = New<TComboBox>(Form.get());
    combo->SetName("ResolutionComboBox");
    for (const char* item : {"100 dpi", "150 dpi"})
        combo->GetItems()->Add(item);
    combo->SetItemIndex(0);
    EXPECT_EQ(combo->GetText(), "100 dpi");
    combo->SetParent(Form.get());
    combo->HandleNeeded();
    EXPECT_EQ(combo->GetItemIndex(), 0);
    EXPECT_EQ(combo->GetText(), "100 dpi");
    // Text set after the choice still wins.
    TComboBox* typed = New<TComboBox>(Form.get());
    typed->GetItems()->Add("100 dpi");
    typed->SetItemIndex(0);
    typed->SetText("250");
    typed->SetParent(Form.get());
    typed->HandleNeeded();
    EXPECT_EQ(typed->GetText(), "250");
}

TEST_F(StdControls, MemoLinesFollowTheTextAndSurviveRecreation)
{
    TMemo* memo = Make<TMemo>();
    TStrings* lines = memo->GetLines();
    EXPECT_EQ(lines->Count(), 0);
    lines->Add("first");
    lines->Add("third");
    lines->Insert(1, "second");
    EXPECT_EQ(memo->GetText(), "first\r\nsecond\r\nthird");
    EXPECT_EQ(lines->Count(), 3);
    EXPECT_EQ(lines->Get(2), "third");
    lines->Delete(0);
    EXPECT_EQ(lines->Get(0), "second");
    EXPECT_THROW(lines->Get(5), EStringListError);

    memo->SetWordWrap(false);
    memo->SetScrollBars(ssVertical);
    EXPECT_TRUE(GetWindowLongA(memo->GetHandle(), GWL_STYLE) & WS_VSCROLL);
    EXPECT_EQ(memo->GetText(), "second\r\nthird");
    lines->Clear();
    EXPECT_EQ(memo->GetText(), "");
}

TEST_F(StdControls, CheckBoxStatesAndClicks)
{
    TCheckBox* box = Make<TCheckBox>();
    int clicks = 0;
    box->OnClick = [&](TObject*) { ++clicks; };
    box->SetChecked(true);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(SendMessageA(box->GetHandle(), BM_GETCHECK, 0, 0), BST_CHECKED);
    SendMessageA(box->GetHandle(), BM_CLICK, 0, 0);
    EXPECT_FALSE(box->GetChecked());
    EXPECT_EQ(clicks, 2);
    box->SetAllowGrayed(true);
    SendMessageA(box->GetHandle(), BM_CLICK, 0, 0);
    SendMessageA(box->GetHandle(), BM_CLICK, 0, 0);
    EXPECT_EQ(box->GetState(), cbGrayed);
    EXPECT_EQ(SendMessageA(box->GetHandle(), BM_GETCHECK, 0, 0), BST_INDETERMINATE);
    box->SetChecked(false);
    EXPECT_EQ(clicks, 5);
}

TEST_F(StdControls, RadioButtonsGroupWithinTheirParent)
{
    TRadioButton* portrait = Make<TRadioButton>();
    TRadioButton* landscape = Make<TRadioButton>();
    TGroupBox* group = Make<TGroupBox>();
    TRadioButton* other = Make<TRadioButton>(group);
    other->SetChecked(true);
    int clicks = 0;
    landscape->OnClick = [&](TObject*) { ++clicks; };

    portrait->SetChecked(true);
    SendMessageA(landscape->GetHandle(), BM_CLICK, 0, 0);
    EXPECT_TRUE(landscape->GetChecked());
    EXPECT_FALSE(portrait->GetChecked());
    EXPECT_TRUE(other->GetChecked());
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(SendMessageA(portrait->GetHandle(), BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_EQ(SendMessageA(landscape->GetHandle(), BM_GETCHECK, 0, 0), BST_CHECKED);
}

TEST_F(StdControls, ComboItemsSurviveRecreationWithObjectsAndSelection)
{
    TComboBox* combo = New<TComboBox>(Form.get());
    TStrings* items = combo->GetItems();
    TObject* tag = Form.get();
    items->Add("10%");
    items->AddObject("100%", tag);
    items->Add("Auto");
    combo->SetItemIndex(1);
    combo->SetParent(Form.get());
    ASSERT_TRUE(combo->HandleAllocated() || combo->GetHandle());
    EXPECT_EQ(SendMessageA(combo->GetHandle(), CB_GETCOUNT, 0, 0), 3);
    EXPECT_EQ(combo->GetItemIndex(), 1);
    EXPECT_EQ(items->GetObject(1), tag);
    EXPECT_NE(combo->GetEditHandle(), nullptr);
    EXPECT_NE(combo->GetListHandle(), nullptr);

    combo->SetStyle(csDropDownList);
    EXPECT_EQ(items->Count(), 3);
    EXPECT_EQ(items->Get(2), "Auto");
    EXPECT_EQ(items->GetObject(1), tag);
    EXPECT_EQ(combo->GetItemIndex(), 1);
    EXPECT_EQ(combo->GetEditHandle(), nullptr);
    combo->RecreateWnd();
    EXPECT_EQ(items->Count(), 3);
    EXPECT_EQ(combo->GetText(), "100%");
    EXPECT_EQ(items->IndexOf("auto"), 2);
    EXPECT_THROW(items->Get(3), EStringListError);
}

TEST_F(StdControls, ComboSelectionAndEditNotifications)
{
    TComboBox* combo = Make<TComboBox>();
    combo->GetItems()->Add("Arial");
    combo->GetItems()->Add("Courier");
    int changes = 0, selects = 0, drops = 0;
    combo->OnChange = [&](TObject*) { ++changes; };
    combo->OnDropDown = [&](TObject*) { ++drops; };

    SendMessageA(combo->GetHandle(), CB_SETCURSEL, 1, 0);
    Notify(combo, CBN_SELCHANGE);
    EXPECT_EQ(combo->GetText(), "Courier");
    EXPECT_EQ(changes, 1);  // without OnSelect, a selection counts as a change
    combo->OnSelect = [&](TObject*) { ++selects; };
    Notify(combo, CBN_SELCHANGE);
    EXPECT_EQ(selects, 1);
    EXPECT_EQ(changes, 1);
    SetWindowTextA(combo->GetEditHandle(), "Cour");
    Notify(combo, CBN_EDITCHANGE);
    EXPECT_EQ(changes, 2);
    Notify(combo, CBN_DROPDOWN);
    EXPECT_EQ(drops, 1);

    // Emptying the list keeps the typed text.
    combo->GetItems()->Clear();
    EXPECT_EQ(combo->GetItems()->Count(), 0);
    EXPECT_EQ(combo->GetText(), "Cour");
    // The height is the closed box's, whatever the list needs.
    combo->SetBounds(10, 10, 120, 21);
    EXPECT_LT(combo->GetHeight(), 40);
}

// Counts what the edit part of a combo box receives, as the Unicode layer's combo box would.
class TWatchedComboBox : public TComboBox {
public:
    using TComboBox::TComboBox;
    int EditTexts = 0;

protected:
    void ComboChildWndProc(TMessage& m, HWND child, WNDPROC original) override
    {
        if (m.Msg == WM_SETTEXT && child == GetEditHandle())
            ++EditTexts;
        TComboBox::ComboChildWndProc(m, child, original);
    }
};

TEST_F(StdControls, ComboPartsPassThroughTheChildRoutineAndOwnerDrawingUsesTheCanvas)
{
    TWatchedComboBox* combo = Make<TWatchedComboBox>();
    combo->HandleNeeded();
    SetWindowTextA(combo->GetEditHandle(), "Courier");
    EXPECT_EQ(combo->EditTexts, 1);
    EXPECT_EQ(combo->GetText(), "Courier");
    combo->SetSelStart(2);
    combo->SetSelLength(3);
    EXPECT_EQ(combo->GetSelText(), "uri");
    combo->RecreateWnd();
    combo->HandleNeeded();
    int before = combo->EditTexts;
    SetWindowTextA(combo->GetEditHandle(), "Arial");
    EXPECT_EQ(combo->EditTexts, before + 1);

    combo->SetStyle(csOwnerDrawFixed);
    combo->GetItems()->Add("One");
    combo->GetItems()->Add("Two");
    int drawn = -1;
    bool hadCanvas = false;
    combo->OnDrawItem = [&](TWinControl*, int index, const RECT&, UINT) {
        drawn = index;
        hadCanvas = combo->GetCanvas()->HandleAllocated();
    };
    std::unique_ptr<TBitmap, TObjectFree> target(New<TBitmap>());
    target->SetSize(100, 20);
    DRAWITEMSTRUCT draw{};
    draw.CtlType = ODT_COMBOBOX;
    draw.CtlID = static_cast<UINT>(GetDlgCtrlID(combo->GetHandle()));
    draw.itemID = 1;
    draw.itemAction = ODA_DRAWENTIRE;
    draw.hwndItem = combo->GetHandle();
    draw.hDC = target->GetCanvas()->GetHandle();
    draw.rcItem = RECT{0, 0, 100, 20};
    SendMessageA(Form->GetHandle(), WM_DRAWITEM, draw.CtlID, reinterpret_cast<LPARAM>(&draw));
    EXPECT_EQ(drawn, 1);
    EXPECT_TRUE(hadCanvas);
    EXPECT_FALSE(combo->GetCanvas()->HandleAllocated());
}

TEST_F(StdControls, ListBoxItemsAndSelection)
{
    TListBox* list = Make<TListBox>();
    list->GetItems()->Add("a");
    list->GetItems()->Add("b");
    list->SetItemIndex(1);
    int clicks = 0;
    list->OnClick = [&](TObject*) { ++clicks; };
    list->RecreateWnd();
    EXPECT_EQ(list->GetItems()->Count(), 2);
    EXPECT_EQ(list->GetItemIndex(), 1);
    Notify(list, LBN_SELCHANGE);
    EXPECT_EQ(clicks, 1);
}

TEST_F(StdControls, LabelSizesPaintsAndFocusesItsControl)
{
    TLabel* label = Make<TLabel>();
    label->SetBounds(200, 10, 10, 10);
    label->SetCaption("Width:");
    int shortWidth = label->GetWidth();
    EXPECT_GT(shortWidth, 10);
    label->SetCaption("Current resolution:");
    EXPECT_GT(label->GetWidth(), shortWidth);

    // A right-aligned label keeps its right edge.
    label->SetAlignment(taRightJustify);
    int right = label->GetLeft() + label->GetWidth();
    label->SetCaption("Size:");
    EXPECT_EQ(label->GetLeft() + label->GetWidth(), right);

    // Opaque labels paint their colour, transparent ones leave the parent's.
    TLabel* block = Make<TLabel>();
    block->SetAutoSize(false);
    block->SetBounds(10, 100, 40, 20);
    block->SetColor(clRed);
    block->SetCaption("");
    auto shot = Snapshot();
    EXPECT_EQ(Rgb(shot.get(), 20, 110), clRed);
    block->SetTransparent(true);
    shot = Snapshot();
    EXPECT_NE(Rgb(shot.get(), 20, 110), clRed);

    TEdit* edit = Make<TEdit>();
    label->SetCaption("&Name");
    label->SetFocusControl(edit);
    Form->Show();
    EXPECT_EQ(label->Perform(CM_DIALOGCHAR, 'n', 0), 1);
    EXPECT_TRUE(edit->Focused());
    EXPECT_EQ(label->Perform(CM_DIALOGCHAR, 'x', 0), 0);
    edit->Free();
    EXPECT_EQ(label->GetFocusControl(), nullptr);
}

TEST_F(StdControls, PanelPaintsAndPlacesChildrenInsideItsBevels)
{
    TPanel* panel = Make<TPanel>();
    panel->SetBounds(0, 0, 200, 100);
    panel->SetBorderWidth(6);
    panel->SetColor(clBlue);
    TPanel* inner = Make<TPanel>(panel);
    inner->SetAlign(alClient);
    EXPECT_EQ(inner->GetLeft(), 7);
    EXPECT_EQ(inner->GetTop(), 7);
    EXPECT_EQ(inner->GetWidth(), 186);
    EXPECT_EQ(inner->GetHeight(), 86);
    panel->SetBevelOuter(bvNone);
    EXPECT_EQ(inner->GetLeft(), 6);
    inner->SetVisible(false);
    auto shot = Snapshot();
    EXPECT_EQ(Rgb(shot.get(), 100, 50), clBlue);
}

TEST_F(StdControls, PaintBoxPaintsThroughItsCanvas)
{
    TPaintBox* box = Make<TPaintBox>();
    box->SetBounds(50, 50, 40, 40);
    int paints = 0;
    box->OnPaint = [&](TObject*) {
        ++paints;
        box->GetCanvas()->GetBrush()->SetColor(clLime);
        box->GetCanvas()->FillRect(RECT{0, 0, 40, 40});
    };
    auto shot = Snapshot();
    EXPECT_GE(paints, 1);
    EXPECT_EQ(Rgb(shot.get(), 60, 60), clLime);
    EXPECT_NE(Rgb(shot.get(), 95, 95), clLime);
    EXPECT_FALSE(box->GetCanvas()->HandleAllocated());
}

TEST_F(StdControls, UpDownRefusedStepStillClicks)
{
    TEdit* copies = Make<TEdit>();
    copies->SetBounds(10, 10, 40, 21);
    TUpDown* updown = Make<TUpDown>();
    updown->SetMin(1);
    updown->SetMax(99);
    updown->SetPosition(150);
    EXPECT_EQ(updown->GetPosition(), 99);
    updown->SetPosition(3);
    updown->SetAssociate(copies);
    updown->HandleNeeded();
    EXPECT_EQ(updown->GetLeft(), 50);
    EXPECT_EQ(copies->GetText(), "3");

    TUDBtnType pressed = btPrev;
    int clicks = 0;
    bool allow = false;
    updown->OnClick = [&](TObject*, TUDBtnType button) {
        ++clicks;
        pressed = button;
    };
    updown->OnChanging = [&](TObject*, bool& allowChange) { allowChange = allow; };
    NMUPDOWN change{};
    change.hdr.hwndFrom = updown->GetHandle();
    change.hdr.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(updown->GetHandle()));
    change.hdr.code = UDN_DELTAPOS;
    change.iPos = 3;
    change.iDelta = 1;
    LRESULT refused = SendMessageA(Form->GetHandle(), WM_NOTIFY, change.hdr.idFrom, reinterpret_cast<LPARAM>(&change));
    EXPECT_EQ(refused, 1);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(pressed, btNext);
    EXPECT_EQ(updown->GetPosition(), 3);
    allow = true;
    change.iDelta = -1;
    EXPECT_EQ(SendMessageA(Form->GetHandle(), WM_NOTIFY, change.hdr.idFrom, reinterpret_cast<LPARAM>(&change)), 0);
    EXPECT_EQ(pressed, btPrev);
    EXPECT_EQ(clicks, 2);
}

TEST_F(StdControls, ProgressBarClampsAndSteps)
{
    TProgressBar* bar = Make<TProgressBar>();
    bar->SetMax(3);
    bar->SetPosition(7);
    EXPECT_EQ(bar->GetPosition(), 3);
    EXPECT_EQ(SendMessageA(bar->GetHandle(), PBM_GETPOS, 0, 0), 3);
    bar->SetStep(1);
    bar->StepIt();
    EXPECT_EQ(bar->GetPosition(), 0);
    bar->StepBy(2);
    EXPECT_EQ(SendMessageA(bar->GetHandle(), PBM_GETPOS, 0, 0), 2);
    bar->SetMin(5);
    EXPECT_EQ(bar->GetPosition(), 5);
    EXPECT_EQ(bar->GetMax(), 5);
}

TEST_F(StdControls, TabControlKeepsTabsAndHostsChildrenInItsDisplayArea)
{
    TTabControl* tabs = New<TTabControl>(Form.get());
    tabs->GetTabs()->Add(" 1");
    tabs->GetTabs()->Add(" 2");
    tabs->SetTabIndex(1);
    tabs->SetParent(Form.get());
    tabs->SetBounds(0, 0, 300, 200);
    TPanel* view = Make<TPanel>(tabs);
    view->SetAlign(alClient);
    EXPECT_EQ(SendMessageA(tabs->GetHandle(), TCM_GETITEMCOUNT, 0, 0), 2);
    EXPECT_EQ(tabs->GetTabIndex(), 1);
    RECT display = tabs->GetDisplayRect();
    EXPECT_GT(display.top, 10);
    EXPECT_EQ(view->GetTop(), display.top);
    EXPECT_EQ(view->GetHeight(), display.bottom - display.top);

    tabs->GetTabs()->Add(" 3");
    tabs->RecreateWnd();
    EXPECT_EQ(tabs->GetTabs()->Count(), 3);
    EXPECT_EQ(tabs->GetTabs()->Get(2), " 3");
    EXPECT_EQ(tabs->GetTabIndex(), 1);
    tabs->GetTabs()->Delete(2);
    EXPECT_EQ(tabs->GetTabs()->Count(), 2);

    bool allow = false;
    int changes = 0;
    tabs->OnChanging = [&](TObject*, bool& allowChange) { allowChange = allow; };
    tabs->OnChange = [&](TObject*) { ++changes; };
    NMHDR header{tabs->GetHandle(), static_cast<UINT_PTR>(GetDlgCtrlID(tabs->GetHandle())), static_cast<UINT>(TCN_SELCHANGING)};
    EXPECT_EQ(SendMessageA(Form->GetHandle(), WM_NOTIFY, header.idFrom, reinterpret_cast<LPARAM>(&header)), TRUE);
    allow = true;
    EXPECT_EQ(SendMessageA(Form->GetHandle(), WM_NOTIFY, header.idFrom, reinterpret_cast<LPARAM>(&header)), FALSE);
    header.code = static_cast<UINT>(TCN_SELCHANGE);
    SendMessageA(Form->GetHandle(), WM_NOTIFY, header.idFrom, reinterpret_cast<LPARAM>(&header));
    EXPECT_EQ(changes, 1);
}

TEST_F(StdControls, ActionsDriveButtonsAndCheckBoxes)
{
    TActionList* list = New<TActionList>(Form.get());
    TAction* print = New<TAction>(Form.get());
    print->SetActionList(list);
    print->SetCaption("Print");
    int runs = 0;
    print->SetOnExecute([&](TObject*) { ++runs; });
    TButton* button = Make<TButton>();
    TButton* renamed = Make<TButton>();
    button->SetAction(print);
    renamed->SetAction(print);
    EXPECT_EQ(button->GetCaption(), "Print");

    renamed->SetCaption("Mine");
    print->SetCaption("Print...");
    print->SetEnabled(false);
    EXPECT_EQ(button->GetCaption(), "Print...");
    EXPECT_EQ(renamed->GetCaption(), "Mine");
    EXPECT_FALSE(button->GetEnabled());
    EXPECT_FALSE(IsWindowEnabled(button->GetHandle()));
    print->SetEnabled(true);
    SendMessageA(button->GetHandle(), BM_CLICK, 0, 0);
    EXPECT_EQ(runs, 1);

    // An auto-checking action and its check box stay in step without clicking twice.
    TAction* trial = New<TAction>(Form.get());
    trial->SetActionList(list);
    trial->SetAutoCheck(true);
    int trials = 0;
    trial->SetOnExecute([&](TObject*) { ++trials; });
    TCheckBox* box = Make<TCheckBox>();
    box->SetAction(trial);
    SendMessageA(box->GetHandle(), BM_CLICK, 0, 0);
    EXPECT_EQ(trials, 1);
    EXPECT_TRUE(trial->GetChecked());
    EXPECT_TRUE(box->GetChecked());

    // The idle update reaches the controls through their actions.
    print->OnUpdate = [](TObject* sender) { static_cast<TAction*>(sender)->SetEnabled(false); };
    UpdateActionsOnIdle();
    EXPECT_FALSE(button->GetEnabled());
    print->Free();
    EXPECT_EQ(button->GetAction(), nullptr);
}

TEST_F(StdControls, RadioGroupAndSpeedButtonGroups)
{
    TRadioGroup* group = Make<TRadioGroup>();
    group->SetBounds(10, 10, 150, 100);
    group->GetItems()->Add("Text");
    group->GetItems()->Add("Metafile");
    group->GetItems()->Add("Bitmap");
    group->SetItemIndex(0);
    int clicks = 0;
    group->OnClick = [&](TObject*) { ++clicks; };
    EXPECT_TRUE(group->GetButton(0)->GetChecked());
    SendMessageA(group->GetButton(2)->GetHandle(), BM_CLICK, 0, 0);
    EXPECT_EQ(group->GetItemIndex(), 2);
    EXPECT_EQ(clicks, 1);
    EXPECT_FALSE(group->GetButton(0)->GetChecked());
    EXPECT_GT(group->GetButton(1)->GetTop(), group->GetButton(0)->GetTop());
    group->GetItems()->Delete(2);
    EXPECT_EQ(group->GetItemIndex(), 1);

    TSpeedButton* left = Make<TSpeedButton>();
    TSpeedButton* center = Make<TSpeedButton>();
    for (TSpeedButton* b : {left, center})
        b->SetGroupIndex(1);
    left->Click();
    EXPECT_TRUE(left->GetDown());
    center->Click();
    EXPECT_TRUE(center->GetDown());
    EXPECT_FALSE(left->GetDown());
    center->Click();
    EXPECT_TRUE(center->GetDown());
    center->SetAllowAllUp(true);
    center->Click();
    EXPECT_FALSE(center->GetDown());
}

}
