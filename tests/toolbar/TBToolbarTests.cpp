// The toolbar: its chevron on a short dock, floating sizes and snapping while sizing, shortcut
// processing for the form, menu-bar settings and their streaming, child controls in control items,
// and the chevron glyph.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "DockTestSupport.h"
#include "MenuTestSupport.h"
#include "ScriptedInput.h"
#include "ToolbarTestSupport.h"
#include "platform/Filer.h"
#include "platform/Forms.h"
#include "platform/ShortCuts.h"
#include "platform/StdCtrls.h"
#include "platform/Streams.h"
#include "toolbar/TBCommon.h"
#include "toolbar/TBFloatingWindow.h"
#include "toolbar/TBHintWindow.h"
#include "toolbar/TBHook.h"
#include "toolbar/TBPositions.h"
#include "toolbar/TBToolbar.h"

namespace {

TTBCustomToolbar* MakeToolbar(TComponent* owner, int buttons, const wchar_t* caption = L"Btn")
{
    TTBCustomToolbar* toolbar = New<TTBCustomToolbar>(owner);
    toolbar->SetHideWhenInactive(false);
    toolbar->SetResizable(false);
    toolbar->BeginUpdate();
    for (int i = 0; i < buttons; ++i) {
        TTBCustomItem* item = New<TTBCustomItem>(owner);
        item->SetCaption(caption);
        toolbar->GetItems()->Add(item);
    }
    toolbar->EndUpdate();
    return toolbar;
}

bool ChevronShown(TTBCustomToolbar* toolbar)
{
    TTBView* view = toolbar->GetView();
    return view->Find(toolbar->GetChevronItem())->GetShown();
}

int HiddenBehindChevron(TTBCustomToolbar* toolbar)
{
    int hidden = 0;
    TTBView* view = toolbar->GetView();
    for (int i = 0; i < view->GetViewerCount(); ++i)
        hidden += view->GetViewer(i)->GetBehindChevron() ? 1 : 0;
    return hidden;
}

class TBToolbar : public testing::Test {
protected:
    void SetUp() override
    {
        FForm = &TDockForm::Shared();
        FForm->Clear();
        FOwner.reset(New<TComponent>(nullptr));
    }
    void TearDown() override
    {
        FOwner.reset();
        FForm->Clear();
    }

    // A menu bar in the form's top dock with one item, "&Go", that counts its runs.
    TTBCustomToolbar* MakeGoMenuBar(int& runs)
    {
        TTBCustomToolbar* toolbar = New<TTBCustomToolbar>(FForm->Form());
        toolbar->SetHideWhenInactive(false);
        AddItem(toolbar->GetItems(), L"&Go")->OnClick = [&runs](TObject*) { ++runs; };
        toolbar->SetParent(FForm->Dock(dpTop));
        toolbar->SetMenuBar(true);
        return toolbar;
    }

    TDockForm* FForm = nullptr;
    std::unique_ptr<TComponent, TObjectFree> FOwner;
};

TEST_F(TBToolbar, ChevronOnAShortDockWithoutFlicker)
{
    std::unique_ptr<TTBDock, TObjectFree> dock(New<TTBDock>(nullptr));
    dock->SetBounds(0, 0, 1000, 0);
    TTBCustomToolbar* toolbar = MakeToolbar(FOwner.get(), 10);
    toolbar->SetParent(dock.get());
    int natural = toolbar->GetWidth();
    ASSERT_GT(natural, 100);
    EXPECT_FALSE(ChevronShown(toolbar));
    EXPECT_EQ(HiddenBehindChevron(toolbar), 0);

    int shortRow = natural / 2;
    dock->SetBounds(0, 0, shortRow, dock->GetHeight());
    EXPECT_EQ(toolbar->GetWidth(), shortRow);
    EXPECT_TRUE(ChevronShown(toolbar));
    int hidden = HiddenBehindChevron(toolbar);
    EXPECT_GE(hidden, 4);
    // Arranging again changes nothing: the toolbar stays shrunk with the same items hidden.
    for (int i = 0; i < 3; ++i) {
        dock->LayOutToolbars();
        EXPECT_EQ(toolbar->GetWidth(), shortRow);
        EXPECT_TRUE(ChevronShown(toolbar));
        EXPECT_EQ(HiddenBehindChevron(toolbar), hidden);
    }
    // Room again: the chevron goes.
    dock->SetBounds(0, 0, 1000, dock->GetHeight());
    EXPECT_EQ(toolbar->GetWidth(), natural);
    EXPECT_FALSE(ChevronShown(toolbar));
    toolbar->Free();
}

TEST_F(TBToolbar, FloatingSizesOnePerRowCount)
{
    TTBCustomToolbar* toolbar = MakeToolbar(FOwner.get(), 10);
    toolbar->SetParent(FForm->Dock(dpTop));
    std::vector<TTBFloatingSize> sizes;
    toolbar->GetFloatingSizes(sizes);
    std::vector<int> lines;
    for (const TTBFloatingSize& s : sizes)
        lines.push_back(s.Lines);
    EXPECT_EQ(lines, (std::vector<int>{1, 2, 3, 4, 5, 10}));
    ASSERT_EQ(sizes.size(), 6u);
    // Each the narrowest of its row count: 10, 5, 4, 3, 2 and 1 buttons a row.
    int margins = sizes[0].Width - 10 * (sizes[0].Width - sizes[1].Width) / 5;
    int button = (sizes[0].Width - margins) / 10;
    const int perRow[] = {10, 5, 4, 3, 2, 1};
    for (size_t i = 0; i < sizes.size(); ++i) {
        EXPECT_EQ(sizes[i].Width, margins + perRow[i] * button) << i;
        if (i > 0) {
            EXPECT_GT(sizes[i].Height, sizes[i - 1].Height) << i;
        }
    }
}

TEST_F(TBToolbar, SizingSnapsToTheOfferedSizes)
{
    TTBCustomToolbar* toolbar = MakeToolbar(FOwner.get(), 10);
    toolbar->SetParent(FForm->Dock(dpTop));
    toolbar->SetFloatPoint(POINT{100, 100});
    toolbar->SetFloating(true);
    HWND wnd = toolbar->GetFloatForm()->GetHandle();
    RECT start{};
    GetWindowRect(wnd, &start);
    std::vector<TTBFloatingSize> sizes;
    toolbar->GetFloatingSizes(sizes);
    SIZE nc = toolbar->FloatingNCSize();
    ASSERT_EQ(start.right - start.left, sizes[0].Width + nc.cx);

    toolbar->SizeStart(1);
    auto moveTo = [&](int x) {
        SetCursorPos(x, (start.top + start.bottom) / 2);
        RECT r = start;
        toolbar->SizeMove(r, start);
        return r;
    };
    // Less than the snap distance: the size stays.
    RECT r = moveTo(start.right - 8);
    EXPECT_TRUE(EqualRect(&r, &start));
    // Past it, the next narrower layout, with its height.
    r = moveTo(start.right - 40);
    EXPECT_EQ(r.left, start.left);
    EXPECT_EQ(r.right - r.left, sizes[1].Width + nc.cx);
    EXPECT_EQ(r.bottom - r.top, sizes[1].Height + nc.cy);
    // Far past the narrowest: the narrowest.
    r = moveTo(start.left + 2);
    EXPECT_EQ(r.right - r.left, sizes.back().Width + nc.cx);
    toolbar->SizeApply();
    EXPECT_GT(toolbar->GetFloatingWrapWidth(), 0);
    EXPECT_EQ(toolbar->GetWidth(), sizes.back().Width);
    // Back to the widest: one row, no wrap width.
    r = moveTo(start.right + 300);
    EXPECT_EQ(r.right - r.left, sizes[0].Width + nc.cx);
    toolbar->SizeApply();
    EXPECT_EQ(toolbar->GetFloatingWrapWidth(), 0);
    toolbar->SizeEnd();
}

// The whole path of a real toolbar through the mouse: pressed on its drag handle it is dragged
// onto the left dock (and turns vertical), floated, sized by its right edge into two rows, and
// its place, with the wrap width, goes through a saved-positions stream.
TEST_F(TBToolbar, DraggedDockedFloatedSizedAndRestored)
{
    TTBCustomToolbar* toolbar = MakeToolbar(FForm->Form(), 6);
    std::unique_ptr<TTBCustomToolbar, TObjectFree> hold(toolbar);
    toolbar->SetName("Tools");
    toolbar->SetResizable(true);
    toolbar->SetParent(FForm->Dock(dpTop));
    const int wide = toolbar->GetWidth();
    const int thick = toolbar->GetHeight();
    ASSERT_GT(wide, 3 * thick);
    auto client = [this](int x, int y) { return FForm->Form()->ClientToScreen(POINT{x, y}); };
    // Pressed where the system says the handle is, as the window manager would report it.
    auto drag = [&](UINT press, WPARAM hit, POINT from, std::vector<POINT> path) {
        SetCursorPos(from.x, from.y);
        std::vector<std::function<void()>> script;
        for (POINT p : path)
            script.push_back([p] { MoveMouse(p); });
        script.push_back([] {
            POINT p{};
            GetCursorPos(&p);
            ReleaseButton(p);
        });
        HWND target = press == WM_NCLBUTTONDOWN && toolbar->GetFloating() ? toolbar->GetFloatForm()->GetHandle()
                                                                           : toolbar->GetHandle();
        return RunScripted([&] { SendMessageW(target, press, hit, MAKELPARAM(from.x, from.y)); }, script);
    };
    RECT r = TDockForm::ScreenRect(toolbar);
    POINT handle{r.left + 3, (r.top + r.bottom) / 2};
    ASSERT_EQ(SendMessageW(toolbar->GetHandle(), WM_NCHITTEST, 0, MAKELPARAM(handle.x, handle.y)), HT_TB2K_DOCKED);
    ASSERT_TRUE(drag(WM_NCLBUTTONDOWN, HT_TB2K_DOCKED, handle, {client(100, 150), client(2, 200)}));
    ASSERT_EQ(toolbar->GetCurrentDock(), FForm->Dock(dpLeft));
    EXPECT_EQ(toolbar->GetView()->GetOrientation(), TTBViewAxis::vaVertical);
    EXPECT_LT(toolbar->GetWidth(), wide / 2);
    EXPECT_GT(toolbar->GetHeight(), 3 * thick);

    r = TDockForm::ScreenRect(toolbar);
    handle = POINT{(r.left + r.right) / 2, r.top + 3};
    ASSERT_TRUE(drag(WM_NCLBUTTONDOWN, HT_TB2K_DOCKED, handle, {client(200, 200), client(300, 200)}));
    ASSERT_TRUE(toolbar->GetFloating());
    EXPECT_EQ(toolbar->GetView()->GetOrientation(), TTBViewAxis::vaFloating);
    EXPECT_EQ(toolbar->GetFloatingWrapWidth(), 0);

    // The right edge dragged to a little over half the width: the layout of two rows.
    HWND floatWnd = toolbar->GetFloatForm()->GetHandle();
    RECT outer{};
    GetWindowRect(floatWnd, &outer);
    std::vector<TTBFloatingSize> sizes;
    toolbar->GetFloatingSizes(sizes);
    ASSERT_GE(sizes.size(), 2u);
    ASSERT_EQ(sizes[1].Lines, 2);
    POINT edge{outer.right - 1, (outer.top + outer.bottom) / 2};
    ASSERT_EQ(SendMessageW(floatWnd, WM_NCHITTEST, 0, MAKELPARAM(edge.x, edge.y)), HTRIGHT);
    POINT twoRows{outer.left + sizes[1].Width + toolbar->FloatingNCSize().cx + 2, edge.y};
    ASSERT_TRUE(drag(WM_NCLBUTTONDOWN, HTRIGHT, edge, {POINT{edge.x - 20, edge.y}, twoRows}));
    EXPECT_EQ(toolbar->GetWidth(), sizes[1].Width);
    EXPECT_EQ(toolbar->GetHeight(), sizes[1].Height);
    const int wrap = toolbar->GetFloatingWrapWidth();
    EXPECT_GT(wrap, 0);
    RECT floated{};
    GetWindowRect(floatWnd, &floated);
    EXPECT_EQ(floated.left, outer.left);

    TMemoryStream stream;
    TBStorePositions(FForm->Form(), &stream);
    toolbar->SetFloatingWrapWidth(0);
    toolbar->SetParent(FForm->Dock(dpTop));
    EXPECT_EQ(toolbar->GetWidth(), wide);
    EXPECT_EQ(toolbar->GetHeight(), thick);
    stream.SetPosition(0);
    TBLoadPositions(FForm->Form(), &stream);
    ASSERT_TRUE(toolbar->GetFloating());
    EXPECT_EQ(toolbar->GetFloatingWrapWidth(), wrap);
    EXPECT_EQ(toolbar->GetWidth(), sizes[1].Width);
    GetWindowRect(toolbar->GetFloatForm()->GetHandle(), &r);
    EXPECT_EQ(r.left, floated.left);
    EXPECT_EQ(r.top, floated.top);
}

TEST_F(TBToolbar, ShortCutsReachTheItemsOfTheActiveForm)
{
    TTBCustomToolbar* toolbar = MakeToolbar(FForm->Form(), 0);
    toolbar->SetParent(FForm->Dock(dpTop));
    TTBCustomItem* item = New<TTBCustomItem>(FForm->Form());
    item->SetCaption(L"Kick");
    item->SetShortCut(ShortCut('K', ssCtrl));
    int clicks = 0;
    item->OnClick = [&](TObject*) { ++clicks; };
    toolbar->GetItems()->Add(item);
    TCustomForm* savedMain = Application->GetMainForm();
    Application->SetMainForm(FForm->Form());
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    BYTE savedKeys[256];
    std::copy(std::begin(keys), std::end(keys), savedKeys);
    keys[VK_CONTROL] = 0x80;
    SetKeyboardState(keys);
    auto press = [] {
        TMessage m{CM_APPKEYDOWN, 'K', 0, 0};
        Application->MainWndProc(m);
        return m.Result;
    };
    struct TCase {
        const char* Name;
        bool Process;
        bool Handled;
        int Clicks;
    };
    const TCase cases[] = {
        {"not registered", false, false, 0},
        {"registered", true, false, 1},
        {"OnShortCut takes it", true, true, 1},
    };
    for (const TCase& c : cases) {
        toolbar->SetProcessShortCuts(c.Process);
        toolbar->OnShortCut = [&](TMessage&, bool& handled) { handled = c.Handled; };
        LRESULT result = press();
        EXPECT_EQ(clicks, c.Clicks) << c.Name;
        EXPECT_EQ(result != 0, c.Process) << c.Name;
    }
    toolbar->OnShortCut = nullptr;
    item->SetEnabled(false);
    EXPECT_EQ(press(), 0);
    SetKeyboardState(savedKeys);
    Application->SetMainForm(savedMain);
    toolbar->SetProcessShortCuts(false);
    EXPECT_FALSE(toolbar->GetShortCutsRegistered());
}

TEST_F(TBToolbar, MenuBarSettingsAndTheirStream)
{
    TTBCustomToolbar* toolbar = MakeToolbar(FOwner.get(), 3);
    int hooks = InstalledWindowHookCount();
    toolbar->SetMenuBar(true);
    EXPECT_TRUE(toolbar->GetFullSize());
    EXPECT_EQ(toolbar->GetShrinkMode(), tbsmWrap);
    EXPECT_FALSE(toolbar->GetCloseButton());
    EXPECT_TRUE(toolbar->GetProcessShortCuts());
    EXPECT_TRUE(toolbar->GetShortCutsRegistered());
    EXPECT_NE(toolbar->GetControlStyle() & csMenuEvents, 0u);
    EXPECT_GE(InstalledWindowHookCount(), std::max(hooks, 1));
    // What is stored stays: the menu bar read back keeps a FullSize of False.
    toolbar->SetFullSize(false);
    toolbar->SetChevronHint(L"More && more|All the rest");
    TMemoryStream stream;
    stream.WriteComponent(toolbar);
    stream.SetPosition(0);
    std::unique_ptr<TComponent, TObjectFree> read(stream.ReadComponent(nullptr));
    auto* copy = As<TTBCustomToolbar>(read.get());
    EXPECT_TRUE(copy->GetMenuBar());
    EXPECT_FALSE(copy->GetFullSize());
    EXPECT_EQ(copy->GetShrinkMode(), tbsmWrap);
    EXPECT_FALSE(copy->GetCloseButton());
    EXPECT_TRUE(copy->GetProcessShortCuts());
    EXPECT_EQ(copy->GetChevronHint(), L"More && more|All the rest");
    EXPECT_EQ(copy->GetChevronItem()->GetCaption(), L"More &&&& more");
    ASSERT_EQ(copy->GetItems()->Count(), 3);
    EXPECT_EQ(copy->GetItems()->GetItem(2)->GetCaption(), L"Btn");
    read.reset();

    // The default chevron hint is not written.
    toolbar->SetMenuBar(false);
    toolbar->SetChevronHint(L"More Buttons|");
    EXPECT_EQ(toolbar->GetChevronItem()->GetCaption(), L"More Buttons");
    TMemoryStream plain;
    plain.WriteComponent(toolbar);
    std::string bytes(static_cast<size_t>(plain.GetSize()), '\0');
    plain.SetPosition(0);
    plain.ReadBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
    EXPECT_EQ(bytes.find("ChevronHint"), std::string::npos);
    EXPECT_FALSE(toolbar->GetShortCutsRegistered());
}

TEST_F(TBToolbar, ChildControlsLiveInControlItems)
{
    TTBCustomToolbar* toolbar = MakeToolbar(FForm->Form(), 2);
    toolbar->SetParent(FForm->Dock(dpTop));
    int width = toolbar->GetWidth();
    TCustomControl* control = New<TCustomControl>(FOwner.get());
    control->SetBounds(0, 0, 40, 16);
    control->SetParent(toolbar);
    ASSERT_EQ(toolbar->GetItems()->Count(), 3);
    auto* host = dynamic_cast<TTBControlItem*>(toolbar->GetItems()->GetItem(2));
    ASSERT_NE(host, nullptr);
    EXPECT_EQ(host->GetControl(), control);
    EXPECT_GE(toolbar->GetWidth(), width + 40);
    // Placed where its viewer is.
    TTBItemViewer* viewer = toolbar->GetView()->Find(host);
    EXPECT_EQ(control->GetLeft(), viewer->GetBoundsRect().left);
    control->SetParent(nullptr);
    EXPECT_EQ(toolbar->GetItems()->Count(), 2);
    EXPECT_EQ(toolbar->GetWidth(), width);
    control->Free();
}

TEST_F(TBToolbar, ControlsBehindTheChevronLeaveTheTabOrder)
{
    std::unique_ptr<TTBDock, TObjectFree> dock(New<TTBDock>(nullptr));
    dock->SetBounds(0, 0, 1000, 0);
    TTBCustomToolbar* toolbar = MakeToolbar(FOwner.get(), 6);
    toolbar->SetChevronPriorityForNewItems(tbcpLowest);
    toolbar->SetParent(dock.get());
    TCustomControl* control = New<TCustomControl>(FOwner.get());
    control->SetBounds(0, 0, 40, 16);
    control->SetParent(toolbar);
    auto inTabOrder = [&] {
        std::vector<TWinControl*> list;
        dock->GetTabOrderList(list);
        return std::count(list.begin(), list.end(), control) == 1;
    };
    EXPECT_TRUE(inTabOrder());
    dock->SetBounds(0, 0, toolbar->GetWidth() / 2, dock->GetHeight());
    TTBItemViewer* viewer = toolbar->GetView()->Find(toolbar->GetItems()->GetItem(6));
    ASSERT_TRUE(viewer->GetBehindChevron());
    EXPECT_FALSE(inTabOrder());
    dock->SetBounds(0, 0, 1000, dock->GetHeight());
    EXPECT_TRUE(inTabOrder());

    // Showing another item's subitems, the toolbar's own control item has no viewer at all; the
    // linked tree's control behind the chevron still leaves the tab order.
    std::unique_ptr<TTBCustomItem, TObjectFree> linked(New<TTBRootItem>(nullptr));
    for (int i = 0; i < 6; ++i)
        AddItem(linked.get(), L"Btn");
    TCustomControl* linkedControl = New<TCustomControl>(FOwner.get());
    linkedControl->SetBounds(0, 0, 40, 16);
    linkedControl->SetParent(toolbar);
    TTBCustomItem* ownHost = toolbar->GetItems()->GetItem(toolbar->GetItems()->Count() - 1);
    toolbar->GetItems()->Remove(ownHost);
    linked->Add(ownHost);
    toolbar->SetLinkSubitems(linked.get());
    std::vector<TWinControl*> list;
    dock->SetBounds(0, 0, toolbar->GetWidth() / 2, dock->GetHeight());
    ASSERT_NO_THROW(dock->GetTabOrderList(list));
    EXPECT_EQ(std::count(list.begin(), list.end(), linkedControl), 0) << "behind the chevron";
    EXPECT_EQ(std::count(list.begin(), list.end(), control), 1) << "its item is not shown, so not behind the chevron";
    toolbar->SetLinkSubitems(nullptr);
    linked->Remove(ownHost);
    ownHost->Free();
    control->SetParent(nullptr);
    control->Free();
    toolbar->Free();
}

TEST_F(TBToolbar, ChevronGlyph)
{
    TTBCustomToolbar* toolbar = MakeToolbar(FOwner.get(), 1);
    TTBItemViewer* viewer = toolbar->GetView()->Find(toolbar->GetChevronItem());
    TTestDib dib(12, 22);
    std::unique_ptr<TCanvas, TObjectFree> canvas(New<TCanvas>());
    canvas->SetHandle(dib.DC());
    const uint32_t face = 0xFFFFFF;
    auto rgb = [](int sysColor) {
        COLORREF c = GetSysColor(sysColor);
        return static_cast<uint32_t>((GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c));
    };
    const uint8_t rows[5] = {0xCC, 0x66, 0x33, 0x66, 0xCC};
    auto check = [&](int dx, int dy, uint32_t color) {
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 8; ++x) {
                bool set = (rows[y] >> (7 - x)) & 1;
                uint32_t pixel = dib.Pixel(2 + x + dx, 4 + y + dy);
                if (set) {
                    EXPECT_EQ(pixel, color) << x << "," << y;
                } else if (dy == 0) {
                    EXPECT_EQ(pixel, face) << x << "," << y;
                }
            }
    };
    dib.Fill(face);
    viewer->Paint(canvas.get(), RECT{0, 0, 12, 22}, false, false, false);
    check(0, 0, rgb(COLOR_BTNTEXT));
    dib.Fill(face);
    viewer->Paint(canvas.get(), RECT{0, 0, 12, 22}, false, true, false);
    check(1, 1, rgb(COLOR_BTNTEXT));
    toolbar->GetChevronItem()->SetEnabled(false);
    dib.Fill(face);
    viewer->Paint(canvas.get(), RECT{0, 0, 12, 22}, false, false, true);
    check(0, 0, rgb(COLOR_BTNSHADOW));
    canvas->SetHandle(nullptr);
    toolbar->Free();
}

// The keyboard on a menu bar (the system's Alt-key command) and on an ordinary toolbar (a dialog
// character): what is selected and opened while the loop runs, and what runs.
TEST_F(TBToolbar, MenuBarAndToolbarKeyboard)
{
    TMenuSettings settings(false, false, 100);
    TTBCustomToolbar* toolbar = New<TTBCustomToolbar>(FOwner.get());
    toolbar->SetHideWhenInactive(false);
    TTBCustomItem* root = toolbar->GetItems();
    AddItem(AddItem(root, L"&File", isSubmenu), L"&New");
    AddItem(AddItem(root, L"&View", isSubmenu), L"&Zoom");
    std::vector<std::wstring> clicked;
    for (const wchar_t* caption : {L"Fa&vourites", L"&Run", L"&Quiet", L"E&xecute", L"Stop"}) {
        TTBCustomItem* item = AddItem(root, caption);
        item->OnClick = [&clicked, item](TObject*) { clicked.push_back(RemoveAccelMarks(item->GetCaption())); };
    }
    FindItem(root, L"Quiet")->SetEnabled(false);
    toolbar->SetParent(FForm->Dock(dpTop));

    struct TCase {
        const char* Name;
        bool MenuBar;
        wchar_t Key;
        LRESULT Result;
        std::wstring Selected;  // in the deepest open view while the loop runs; empty: no loop
        size_t Depth;           // views open then
        std::vector<std::wstring> Clicked;
    };
    const TCase cases[] = {
        {"Alt alone selects the first item without opening it", true, 0, 1, L"File", 1, {}},
        {"a submenu's accelerator opens it", true, L'f', 1, L"New", 2, {}},
        {"a shared accelerator on a menu bar only selects", true, L'v', 1, L"View", 1, {}},
        {"a command's accelerator runs it", true, L'r', 1, L"", 0, {L"Run"}},
        {"a disabled item opens nothing", true, L'q', 1, L"", 0, {}},
        {"no item with the key", true, L'k', 1, L"", 0, {}},
        {"a toolbar runs its item by its own accelerator", false, L'x', 1, L"", 0, {L"Execute"}},
        {"a shared accelerator on a toolbar does nothing", false, L'v', 0, L"", 0, {}},
        {"a menu bar takes a caption's first letter", true, L's', 1, L"", 0, {L"Stop"}},
        {"a toolbar takes only marked accelerators", false, L's', 0, L"", 0, {}},
    };
    for (const TCase& c : cases) {
        toolbar->SetMenuBar(c.MenuBar);
        clicked.clear();
        std::wstring selected;
        size_t depth = 0;
        TInputScript script(FForm->Form()->GetHandle());
        TTBView* view = toolbar->GetView();
        script.Do([&] {
            std::vector<TTBView*> chain = OpenChain(view);
            depth = chain.size();
            TTBItemViewer* viewer = chain.back()->GetSelected();
            selected = viewer ? RemoveAccelMarks(viewer->GetItem()->GetCaption()) : L"?";
        });
        script.Keys({VK_ESCAPE, VK_ESCAPE});
        // A loop that waits for the user gets the script; one that runs at once or none at all not.
        if (!c.Selected.empty())
            script.Start();
        LRESULT result = c.MenuBar ? SendMessageW(toolbar->GetHandle(), WM_SYSCOMMAND, SC_KEYMENU, c.Key)
                                   : toolbar->Perform(CM_DIALOGCHAR, c.Key, 0);
        PumpMessages();
        EXPECT_EQ(result, c.Result) << c.Name;
        EXPECT_EQ(selected, c.Selected) << c.Name;
        EXPECT_EQ(depth, c.Depth) << c.Name;
        EXPECT_EQ(clicked, c.Clicked) << c.Name;
        EXPECT_FALSE(script.WatchdogFired()) << c.Name;
        EXPECT_EQ(VisiblePopupWindows(), 0) << c.Name;
    }
    toolbar->SetMenuBar(false);
    toolbar->Free();
}

// Alt or F10 reach the form as the system's key-menu command; the form hands it to the menu bar.
TEST_F(TBToolbar, FormHandsTheAltKeyToItsMenuBar)
{
    int runs = 0;
    std::unique_ptr<TTBCustomToolbar, TObjectFree> hold(MakeGoMenuBar(runs));
    TTBCustomToolbar* toolbar = hold.get();
    HWND form = FForm->Form()->GetHandle();
    SetActiveWindow(form);
    EXPECT_EQ(SendMessageW(form, WM_SYSCOMMAND, SC_KEYMENU, L'g'), 1);
    PumpMessages();
    EXPECT_EQ(runs, 1);
    toolbar->SetMenuBar(false);
    EXPECT_FALSE(toolbar->GetShortCutsRegistered());
}

TEST_F(TBToolbar, TipsInAnyAlphabetGoToTheFrameworksTipWindow)
{
    TTBCustomToolbar* toolbar = New<TTBCustomToolbar>(FForm->Form());
    std::unique_ptr<TTBCustomToolbar, TObjectFree> hold(toolbar);
    AddItem(toolbar->GetItems(), L"A")->SetHint(L"Projekt \u00f6ffnen \u041e\u0442\u043a\u0440\u044b\u0442\u044c");
    toolbar->SetParent(FForm->Dock(dpTop));
    RECT bounds = toolbar->GetView()->GetViewer(0)->GetBoundsRect();

    THintInfo info;
    info.CursorPos = POINT{(bounds.left + bounds.right) / 2, (bounds.top + bounds.bottom) / 2};
    toolbar->Perform(CM_HINTSHOW, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(info.HintStr, "Projekt \xc3\xb6" "ffnen \xd0\x9e\xd1\x82\xd0\xba\xd1\x80\xd1\x8b\xd1\x82\xd1\x8c");
    // The text is UTF-8: a plain tip window would show its bytes as letters of the code page.
    EXPECT_EQ(info.HintWindowClass, TTBHintWindow::StaticClass());
    EXPECT_RECT(info.CursorRect, bounds);

    THintInfo outside;
    outside.CursorPos = POINT{bounds.right + 500, bounds.top};
    outside.HintStr = "stale";
    toolbar->Perform(CM_HINTSHOW, 0, reinterpret_cast<LPARAM>(&outside));
    EXPECT_TRUE(outside.HintStr.empty());
}

// Real key strokes through the system's input queue: it turns Alt and Alt+letter into the menu
// command for the focused window.
void PressKeys(std::initializer_list<WORD> keys)
{
    std::vector<INPUT> input;
    for (bool up : {false, true})
        for (size_t i = 0; i < keys.size(); ++i) {
            INPUT key{};
            key.type = INPUT_KEYBOARD;
            key.ki.wVk = keys.begin()[up ? keys.size() - 1 - i : i];
            key.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
            input.push_back(key);
        }
    SendInput(static_cast<UINT>(input.size()), input.data(), sizeof(INPUT));
}

TEST_F(TBToolbar, AltKeysFromAFocusedControlReachTheMenuBar)
{
    int runs = 0;
    std::unique_ptr<TTBCustomToolbar, TObjectFree> hold(MakeGoMenuBar(runs));
    TTBCustomToolbar* toolbar = hold.get();
    std::unique_ptr<TEdit, TObjectFree> edit(New<TEdit>(nullptr));
    edit->SetBounds(10, 100, 80, 20);
    edit->SetParent(FForm->Form());
    SetForegroundWindow(FForm->Form()->GetHandle());
    edit->SetFocus();
    Application->ProcessMessages();
    ASSERT_EQ(GetFocus(), edit->GetHandle());
    auto settle = [] {
        for (int i = 0; i < 10; ++i) {
            Sleep(20);
            Application->ProcessMessages();
        }
    };

    PressKeys({VK_MENU, 'G'});
    settle();
    EXPECT_EQ(runs, 1);

    // Alt alone selects the bar's first item in the keyboard loop; Escape ends it. Had a dock or
    // the edit opened the window's system menu instead, the item would never be selected.
    bool selectedInLoop = false;
    TTBView* view = toolbar->GetView();
    EXPECT_TRUE(RunScripted(
        [&] {
            PressKeys({VK_MENU});
            settle();
        },
        {[&] { selectedInLoop = view->GetSelected() != nullptr && view->InState(stModal); }, [] { PressKeys({VK_ESCAPE}); }},
        150, 3000));
    EXPECT_TRUE(selectedInLoop);
    EXPECT_EQ(runs, 1);
    // A dock asked by the form's search answers nothing and opens nothing.
    EXPECT_EQ(FForm->Dock(dpTop)->Perform(WM_SYSCOMMAND, SC_KEYMENU, 'x'), 0);
    toolbar->SetMenuBar(false);
}

// A toolbar freed by a message that its own menu loop dispatches (here the script's timer tick):
// the loop, the handlers that started it and their clean-up end without touching it again. The
// tests' heap overwrites freed memory, so any such touch fails at once.
TEST_F(TBToolbar, FreedByAMessageItsMenuLoopDispatches)
{
    TMenuSettings settings(false, false, 100);
    auto altKey = [](TTBCustomToolbar* toolbar) { SendMessageW(toolbar->GetHandle(), WM_SYSCOMMAND, SC_KEYMENU, 0); };
    auto accelerator = [](TTBCustomToolbar* toolbar) {
        SendMessageW(toolbar->GetHandle(), WM_SYSCOMMAND, SC_KEYMENU, L'f');
    };
    auto press = [](TTBCustomToolbar* toolbar) {
        const RECT r = toolbar->GetView()->GetViewer(0)->GetBoundsRect();
        const POINT p{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
        const POINT screen = toolbar->ClientToScreen(p);
        SetCursorPos(screen.x, screen.y);
        SendMessageW(toolbar->GetHandle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(p.x, p.y));
    };
    struct TCase {
        const char* Name;
        std::function<void(TTBCustomToolbar*)> Start;
        std::vector<WORD> KeysFirst;
        size_t OpenBeforeFree;  // views open when the toolbar goes
    };
    const TCase cases[] = {
        {"Alt: the bar's keyboard loop", altKey, {}, 1},
        {"Alt and Down: a menu of the bar open", altKey, {VK_DOWN}, 2},
        {"an accelerator opens the menu", accelerator, {}, 2},
        {"a press on an item: the mouse loop", press, {}, 2},
        {"a press, then down into the menu", press, {VK_DOWN}, 2},
    };
    for (const TCase& c : cases) {
        TTBCustomToolbar* toolbar = New<TTBCustomToolbar>(FForm->Form());
        toolbar->SetHideWhenInactive(false);
        TTBCustomItem* file = AddItem(toolbar->GetItems(), L"&File", isSubmenu);
        AddItem(file, L"&New");
        AddItem(file, L"&Open");
        toolbar->SetParent(FForm->Dock(dpTop));
        toolbar->SetMenuBar(true);
        std::weak_ptr<int> alive = toolbar->LifeToken();
        size_t open = 0;
        TInputScript script(FForm->Form()->GetHandle());
        for (WORD key : c.KeysFirst)
            script.Key(key);
        script.Do([&] {
            open = OpenChain(toolbar->GetView()).size();
            toolbar->Free();
        });
        script.Start();
        c.Start(toolbar);
        PumpMessages();
        EXPECT_TRUE(alive.expired()) << c.Name;
        EXPECT_EQ(open, c.OpenBeforeFree) << c.Name;
        EXPECT_TRUE(script.Finished()) << c.Name;
        EXPECT_FALSE(script.WatchdogFired()) << c.Name;
        EXPECT_EQ(VisiblePopupWindows(), 0) << c.Name;
        EXPECT_EQ(GetCapture(), nullptr) << c.Name;
    }
}

// A child control that, as its window goes, asks its parent what an accessibility client or the
// system would ask while a window tree is being destroyed. Asked counts the answers that came
// back: a fault in the parent's handler ends the asking, and the system may swallow the fault.
class TAskingControl : public TCustomControl {
public:
    using TCustomControl::TCustomControl;
    UINT Ask = 0;
    WPARAM AskW = 0;
    LPARAM AskL = 0;
    int* Asked = nullptr;
    void Dispatch(TMessage& m) override
    {
        if (m.Msg == WM_DESTROY && Ask) {
            HWND parent = ::GetParent(GetWindowHandle());
            SendMessageW(parent, Ask, Ask == WM_SETCURSOR ? reinterpret_cast<WPARAM>(parent) : AskW, AskL);
            ++*Asked;
        }
        TCustomControl::Dispatch(m);
    }
};

TEST_F(TBToolbar, MessagesWhileItIsFreedFindItsViewStillThere)
{
    const struct {
        const char* Name;
        UINT Msg;
        WPARAM W;
        LPARAM L;
    } cases[] = {
        {"an accessibility client asks for the object", WM_GETOBJECT, 0, OBJID_CLIENT},
        {"the cursor is asked for", WM_SETCURSOR, 0, MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)},
        {"the pointer leaves through the frame", WM_NCMOUSEMOVE, HTCAPTION, 0},
        {"the mode is cancelled", WM_CANCELMODE, 0, 0},
        {"the mouse moves over it", WM_MOUSEMOVE, 0, MAKELPARAM(5, 5)},
        {"it is painted", WM_PAINT, 0, 0},
    };
    for (const auto& c : cases) {
        TTBCustomToolbar* toolbar = MakeToolbar(FForm->Form(), 2);
        toolbar->SetParent(FForm->Dock(dpTop));
        auto* child = New<TAskingControl>(FForm->Form());
        child->SetBounds(0, 0, 40, 16);
        child->SetParent(toolbar);
        child->HandleNeeded();
        child->Ask = c.Msg;
        child->AskW = c.W;
        child->AskL = c.L;
        int asked = 0;
        child->Asked = &asked;
        std::weak_ptr<int> childAlive = child->LifeToken();
        toolbar->Free();
        EXPECT_EQ(asked, 1) << c.Name;
        EXPECT_TRUE(childAlive.expired()) << c.Name << ": the control item took its control along";
        PumpMessages();
    }
}

} // namespace
