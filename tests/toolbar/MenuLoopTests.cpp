// The menu loop driven as a user drives it: keys and mouse played from a timer into the loop of a
// menu bar or a popup menu, checking where the selection goes, which popups are open, what the
// menu ends with, and that the chosen command runs only once every menu window is gone.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "MenuTestSupport.h"
#include "ToolbarTestSupport.h"
#include "platform/Forms.h"
#include "platform/ScopeGuards.h"
#include "platform/SysUtils.h"
#include "toolbar/TBCommon.h"
#include "toolbar/TBModalHandler.h"
#include "toolbar/TBPopup.h"

namespace {

// The menu bar of the tests and what its commands did.
struct TMenuFixture {
    TItemPtr Root{New<TTBRootItem>(nullptr)};
    std::vector<std::wstring> Clicked;
    // Whether any menu window was left, or the capture held, when a command ran.
    int PopupsAtClick = 0;
    bool CaptureAtClick = false;

    TMenuFixture()
    {
        TTBCustomItem* file = AddItem(Root.get(), L"&File", isSubmenu);
        AddItem(file, L"&New");
        AddItem(file, L"&Open");
        TTBCustomItem* recent = AddItem(file, L"&Recent", isSubmenu);
        AddItem(recent, L"&One");
        AddItem(recent, L"&Two");
        AddItem(file, L"-");
        AddItem(file, L"E&xit");
        TTBCustomItem* edit = AddItem(Root.get(), L"&Edit", isSubmenu);
        AddItem(edit, L"Cu&t");
        AddItem(edit, L"&Copy");
        AddItem(edit, L"&Clear");
        AddItem(edit, L"Paste");
        AddItem(edit, L"&Delete")->SetEnabled(false);
        TTBCustomItem* help = AddItem(Root.get(), L"&Help", isSubmenu);
        AddItem(help, L"&About")->SetHelpContext(42);
        Watch(Root.get());
    }

    void Watch(TTBCustomItem* parent)
    {
        for (int i = 0; i < parent->Count(); ++i) {
            TTBCustomItem* item = parent->GetItem(i);
            item->OnClick = TNotifyEvent([this, item](TObject*) {
                Clicked.push_back(RemoveAccelMarks(item->GetCaption()));
                PopupsAtClick += VisiblePopupWindows();
                CaptureAtClick = CaptureAtClick || GetCapture() != nullptr;
            });
            if (!item->HasTrait(isSubmenu))
                continue;
            // Opening a submenu fires its OnClick too; those are not commands.
            item->OnClick = nullptr;
            Watch(item);
        }
    }

    TTBCustomItem* Item(const std::wstring& caption) { return FindItem(Root.get(), caption); }
};

// Runs the menu bar's loop, started from the keyboard on its first item, with the script.
// With pump, the commands it queued run before it returns.
void RunMenuBar(TMenuBarHost& host, TInputScript& script, bool pump = true)
{
    TTBView* view = host.View();
    view->Select(view->StepSelectable(nullptr, true), false);
    script.Start();
    view->RunToolbarLoop(0);
    if (pump)
        PumpMessages();
}

std::wstring SelectedCaption(TTBView* view)
{
    TTBView* deepest = DeepestOpenView(view);
    return deepest->GetSelected() ? RemoveAccelMarks(deepest->GetSelected()->GetItem()->GetCaption()) : L"";
}

TEST(MenuLoop, KeyboardWalksThroughTheMenuBarAndItsSubmenus)
{
    TMenuSettings settings(false, false, 100);
    using TSteps = std::function<void(TInputScript&)>;
    struct TCase {
        const char* Name;
        TSteps Steps;
        std::vector<std::wstring> Clicked;
    };
    const TCase cases[] = {
        {"Down opens the menu, Enter runs its first item", [](TInputScript& s) { s.Keys({VK_DOWN, VK_RETURN}); },
         {L"New"}},
        {"into a submenu and down in it",
         [](TInputScript& s) { s.Keys({VK_DOWN, VK_DOWN, VK_DOWN, VK_RIGHT, VK_DOWN, VK_RETURN}); }, {L"Two"}},
        {"Right on a plain item opens the next menu of the bar",
         [](TInputScript& s) { s.Keys({VK_DOWN, VK_RIGHT, VK_RETURN}); }, {L"Cut"}},
        {"Left on the bar wraps to the last menu", [](TInputScript& s) { s.Keys({VK_LEFT, VK_DOWN, VK_RETURN}); },
         {L"About"}},
        {"Up from the first item wraps past the separator",
         [](TInputScript& s) { s.Keys({VK_DOWN, VK_UP, VK_RETURN}); }, {L"Exit"}},
        {"End and Home", [](TInputScript& s) { s.Keys({VK_DOWN, VK_END, VK_HOME, VK_DOWN, VK_RETURN}); }, {L"Open"}},
        {"Left in a submenu goes back one level",
         [](TInputScript& s) { s.Keys({VK_DOWN, VK_DOWN, VK_DOWN, VK_RIGHT, VK_LEFT, VK_UP, VK_RETURN}); },
         {L"Open"}},
        {"Escape, Escape", [](TInputScript& s) { s.Keys({VK_DOWN, VK_ESCAPE, VK_ESCAPE}); }, {}},
        {"Alt ends the menu", [](TInputScript& s) { s.Keys({VK_DOWN, VK_MENU}); }, {}},
        {"F10 ends the menu", [](TInputScript& s) { s.Keys({VK_DOWN, VK_DOWN, VK_F10}); }, {}},
        {"a unique accelerator opens and runs",
         [](TInputScript& s) { s.Char(L'e').Char(L't'); }, {L"Cut"}},
        {"an item without accelerator answers to its first letter",
         [](TInputScript& s) { s.Char(L'E').Char(L'p'); }, {L"Paste"}},
        {"a disabled item's accelerator ends the menu without a command",
         [](TInputScript& s) { s.Char(L'e').Char(L'd'); }, {}},
        {"Enter on a disabled item ends the menu without a command",
         [](TInputScript& s) { s.Keys({VK_RIGHT, VK_DOWN, VK_END, VK_RETURN}); }, {}},
    };
    for (const TCase& c : cases) {
        TMenuFixture menu;
        TMenuBarHost host(menu.Root.get());
        TInputScript script(host.Form());
        c.Steps(script);
        RunMenuBar(host, script);
        EXPECT_FALSE(script.WatchdogFired()) << c.Name;
        EXPECT_TRUE(script.Finished()) << c.Name;
        EXPECT_EQ(menu.Clicked, c.Clicked) << c.Name;
        EXPECT_EQ(menu.PopupsAtClick, 0) << c.Name << ": the command ran while a menu showed";
        EXPECT_FALSE(menu.CaptureAtClick) << c.Name;
        EXPECT_EQ(VisiblePopupWindows(), 0) << c.Name;
        EXPECT_EQ(GetCapture(), nullptr) << c.Name;
        EXPECT_FALSE(host.View()->InState(stModal)) << c.Name;
        EXPECT_EQ(host.View()->GetSelected(), nullptr) << c.Name;
    }
}

TEST(MenuLoop, DuplicateAcceleratorsSelectInTurnAndEscapeClosesOneLevelAtATime)
{
    TMenuSettings settings(false, false, 100);
    TMenuFixture menu;
    TMenuBarHost host(menu.Root.get());
    TTBView* view = host.View();
    TInputScript script(host.Form());
    std::vector<std::wstring> selected;
    std::vector<size_t> depth;
    auto note = [&] {
        selected.push_back(SelectedCaption(view));
        depth.push_back(OpenChain(view).size());
    };
    script.Char(L'e').Do(note).Char(L'c').Do(note).Char(L'c').Do(note).Char(L'c').Do(note);
    script.Key(VK_ESCAPE).Do(note);
    // The bar stays in drop-down mode: moving along it opens the next menu at once.
    script.Key(VK_LEFT).Do(note).Keys({VK_DOWN, VK_DOWN, VK_RIGHT}).Do(note);
    script.Key(VK_ESCAPE).Do(note).Key(VK_ESCAPE).Do(note).Key(VK_ESCAPE);
    RunMenuBar(host, script);
    EXPECT_FALSE(script.WatchdogFired());
    const std::vector<std::wstring> expectSelected{L"Cut",  L"Copy", L"Clear",  L"Copy", L"Edit",
                                                   L"New", L"One",  L"Recent", L"File"};
    const std::vector<size_t> expectDepth{2, 2, 2, 2, 1, 2, 3, 2, 1};
    EXPECT_EQ(selected, expectSelected);
    EXPECT_EQ(depth, expectDepth);
    EXPECT_TRUE(menu.Clicked.empty());
    EXPECT_EQ(VisiblePopupWindows(), 0);
}

TEST(MenuLoop, MouseDragsThroughTheMenuBarAndReleasesOnACommand)
{
    TMenuSettings settings(false, false, 100);
    TMenuFixture menu;
    TMenuBarHost host(menu.Root.get());
    TTBView* view = host.View();
    TInputScript script(host.Form());
    std::vector<std::wstring> opened;
    auto noteOpen = [&] {
        TTBItemViewer* open = view->GetOpenedViewer();
        opened.push_back(open ? RemoveAccelMarks(open->GetItem()->GetCaption()) : L"");
    };
    script.Do(noteOpen)
        .MoveTo([&] { return ItemCentre(view, menu.Item(L"Edit")); })
        .Do(noteOpen)
        .MoveTo([&] { return ItemCentre(view, menu.Item(L"Copy")); })
        .Do([&] { EXPECT_EQ(SelectedCaption(view), L"Copy"); })
        .Release([&] { return ItemCentre(view, menu.Item(L"Copy")); });
    // The press on File that starts the loop.
    POINT file = TMenuBarHost::CentreOf(view, menu.Item(L"File"));
    SetCursorPos(file.x, file.y);
    PostMouse(WM_MOUSEMOVE, file);
    MSG msg;
    PeekMessageA(&msg, nullptr, WM_MOUSEMOVE, WM_MOUSEMOVE, PM_REMOVE);
    view->Select(view->Find(menu.Item(L"File")), true);
    script.Start();
    view->RunToolbarLoop(tblMouseDown);
    PumpMessages();
    EXPECT_FALSE(script.WatchdogFired());
    EXPECT_EQ(opened, (std::vector<std::wstring>{L"File", L"Edit"}));
    EXPECT_EQ(menu.Clicked, std::vector<std::wstring>{L"Copy"});
    EXPECT_EQ(menu.PopupsAtClick, 0);
}

TEST(MenuLoop, SubmenuOpensAfterTheShowDelayOnlyWhileTheMouseStays)
{
    // A delay well above the script's pauses, so a busy machine cannot make a pause look long.
    TMenuSettings settings(false, false, 500);
    const int timers = LiveHandles(THandleKind::Timer);
    TMenuFixture menu;
    TMenuBarHost host(menu.Root.get());
    TTBView* view = host.View();
    TInputScript script(host.Form(), 20);
    auto recentOpen = [&] {
        std::vector<TTBView*> chain = OpenChain(view);
        return chain.size() == 3 && chain[2]->GetParentItem() == menu.Item(L"Recent");
    };
    std::vector<bool> seen;
    auto note = [&] { seen.push_back(recentOpen()); };
    auto at = [&](const wchar_t* caption) { return [&, caption] { return ItemCentre(view, menu.Item(caption)); }; };
    script.Key(VK_DOWN).MoveTo(at(L"Recent")).Do(note).Wait(100).Do(note).Wait(700).Do(note);
    // Away from it: the submenu closes after the delay.
    script.MoveTo(at(L"New")).Do(note).Wait(800).Do(note);
    // Passing over it on the way to another item opens nothing.
    script.MoveTo(at(L"Recent")).Wait(60).MoveTo(at(L"Exit")).Wait(800).Do(note);
    script.Keys({VK_ESCAPE, VK_ESCAPE});
    RunMenuBar(host, script);
    EXPECT_FALSE(script.WatchdogFired());
    EXPECT_EQ(seen, (std::vector<bool>{false, false, true, true, false, false}));
    EXPECT_TRUE(menu.Clicked.empty());
    EXPECT_EQ(LiveHandles(THandleKind::Timer), timers) << "a submenu timer outlived its menu";
}

TEST(MenuLoop, EndsWithoutACommandOnOutsideClicksCancelModeQuitAndActivation)
{
    TMenuSettings settings(false, false, 100);
    TTestWindow other(200, 100, WS_POPUP);
    struct TCase {
        const char* Name;
        std::function<void(TInputScript&, TMenuBarHost&)> Steps;
        bool PressReachesForm;
    };
    const TCase cases[] = {
        {"a click outside every menu",
         [](TInputScript& s, TMenuBarHost& host) {
             RECT r{};
             GetWindowRect(host.Form(), &r);
             s.Key(VK_DOWN).Click(POINT{r.right - 20, r.bottom - 20});
         },
         true},
        {"the capture taken away", [](TInputScript& s, TMenuBarHost&) { s.Key(VK_DOWN).Do([] { ReleaseCapture(); }); },
         false},
        {"cancel mode", [](TInputScript& s, TMenuBarHost&) {
             s.Key(VK_DOWN).Do([] { SendMessageA(GetCapture(), WM_CANCELMODE, 0, 0); });
         }, false},
        {"the program quits", [](TInputScript& s, TMenuBarHost&) { s.Key(VK_DOWN).Do([] { PostQuitMessage(7); }); },
         false},
        {"another window activated", [&other](TInputScript& s, TMenuBarHost&) {
             s.Key(VK_DOWN).Do([&other] { ShowWindow(other.Handle(), SW_SHOW); });
         }, false},
    };
    for (const TCase& c : cases) {
        TMenuFixture menu;
        TMenuBarHost host(menu.Root.get());
        TInputScript script(host.Form());
        c.Steps(script, host);
        RunMenuBar(host, script, false);
        MSG quit{};
        const bool quitKept = PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != 0;
        PumpMessages();
        EXPECT_EQ(quitKept, std::string(c.Name) == "the program quits") << c.Name;
        EXPECT_FALSE(script.WatchdogFired()) << c.Name;
        EXPECT_TRUE(menu.Clicked.empty()) << c.Name;
        EXPECT_EQ(VisiblePopupWindows(), 0) << c.Name;
        EXPECT_EQ(GetCapture(), nullptr) << c.Name;
        const bool reached = !host.Received.empty() && host.Received[0] == WM_LBUTTONDOWN;
        EXPECT_EQ(reached, c.PressReachesForm) << c.Name;
    }
}

TEST(MenuLoop, SpaceOpensTheSystemMenuAndF1AsksForHelp)
{
    TMenuSettings settings(false, false, 100);
    TMenuFixture menu;
    // The system menu is the active window's: another program activating its own window meanwhile
    // ends the menu first, so the case is tried again then.
    bool opened = false;
    for (int attempt = 0; attempt < 3 && !opened; ++attempt) {
        TMenuBarHost host(menu.Root.get(), POINT{100, 100}, true);
        TInputScript script(host.Form());
        script.Char(L' ');
        RunMenuBar(host, script);
        opened = host.Received.size() == 1 && host.Received[0] == WM_SYSCOMMAND &&
                 (host.ReceivedWParams[0] & 0xFFF0) == SC_KEYMENU;
    }
    EXPECT_TRUE(opened);
    std::vector<std::pair<WORD, ULONG_PTR>> requests;
    Application->OnHelp = THelpEvent([&](WORD command, ULONG_PTR data, bool& handled) {
        requests.emplace_back(command, data);
        handled = true;
    });
    {
        TMenuBarHost host(menu.Root.get());
        TInputScript script(host.Form());
        script.Keys({VK_LEFT, VK_DOWN, VK_F1});
        RunMenuBar(host, script);
    }
    Application->OnHelp = nullptr;
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].first, HELP_CONTEXT);
    EXPECT_EQ(requests[0].second, 42u);
    EXPECT_TRUE(menu.Clicked.empty());
}

TEST(MenuLoop, ExceptionsOfTheMenuBarReachTheApplicationAfterTheMenusClose)
{
    TMenuSettings settings(false, false, 100);
    struct TCase {
        const char* Name;
        std::function<void(TMenuFixture&)> Arm;
        std::function<void(TInputScript&)> Steps;
        const char* Message;
    };
    const TCase cases[] = {
        {"a command",
         [](TMenuFixture& m) {
             m.Item(L"New")->OnClick = TNotifyEvent([](TObject*) { throw Exception("command failed"); });
         },
         [](TInputScript& s) { s.Keys({VK_DOWN, VK_RETURN}); }, "command failed"},
        {"a submenu that fails to open while the loop runs",
         [](TMenuFixture& m) {
             m.Item(L"Edit")->OnPopup =
                 TTBPopupEvent([](TTBCustomItem*, bool) { throw Exception("submenu failed"); });
         },
         [](TInputScript& s) { s.Keys({VK_DOWN, VK_RIGHT}); }, "submenu failed"},
    };
    for (const TCase& c : cases) {
        TMenuFixture menu;
        c.Arm(menu);
        TMenuBarHost host(menu.Root.get());
        struct TReport {
            std::string Message;
            int Popups = 0;
            bool Capture = false;
            bool Modal = false;
        };
        std::vector<TReport> reports;
        Application->OnException = TExceptionEvent([&](TObject*, const Exception& e) {
            reports.push_back({e.GetMessage(), VisiblePopupWindows(), GetCapture() != nullptr,
                               host.View()->InState(stModal)});
        });
        {
            TInputScript script(host.Form());
            c.Steps(script);
            RunMenuBar(host, script);
            EXPECT_FALSE(script.WatchdogFired()) << c.Name;
        }
        Application->OnException = nullptr;
        ASSERT_EQ(reports.size(), 1u) << c.Name;
        EXPECT_EQ(reports[0].Message, c.Message) << c.Name;
        EXPECT_EQ(reports[0].Popups, 0) << c.Name;
        EXPECT_FALSE(reports[0].Capture) << c.Name;
        EXPECT_FALSE(reports[0].Modal) << c.Name;
        EXPECT_EQ(VisiblePopupWindows(), 0) << c.Name;
        EXPECT_EQ(host.View()->GetSelected(), nullptr) << c.Name;
    }
}

// A popup menu of the tests' own items at a point.
struct TPopupFixture {
    std::unique_ptr<TTBPopupMenu, TObjectFree> Menu{New<TTBPopupMenu>(nullptr)};
    std::vector<std::wstring> Clicked;

    TTBCustomItem* Add(const std::wstring& caption, bool submenu = false, TTBCustomItem* parent = nullptr)
    {
        TTBCustomItem* item = AddItem(parent ? parent : Menu->GetItems(), caption, submenu ? TTBItemTraits(isSubmenu) : TTBItemTraits(0));
        if (!submenu)
            item->OnClick = TNotifyEvent([this, item](TObject*) { Clicked.push_back(item->GetCaption()); });
        return item;
    }
};

TEST(PopupMenu, OpensAtThePointAndKeepsTheOpeningReleaseOnly)
{
    TMenuSettings settings(false, false, 100);
    TPopupFixture popup;
    popup.Add(L"&Alpha");
    popup.Add(L"&Beta");
    int popupEvents = 0;
    popup.Menu->OnPopup = TNotifyEvent([&](TObject* sender) {
        EXPECT_EQ(sender, popup.Menu.get());
        ++popupEvents;
    });
    TMenuBarHost host(popup.Menu->GetItems(), POINT{50, 300});
    RECT form{};
    GetWindowRect(host.Form(), &form);
    const POINT outside{form.right - 10, form.bottom - 10};
    TInputScript script(host.Form());
    std::vector<int> shown;
    auto note = [&] { shown.push_back(VisiblePopupWindows()); };
    script.Do(note).Release(outside).Do(note).Release(outside);
    script.Start();
    TTBCustomItem* result = popup.Menu->PopupAtControl(200, 120, false);
    PumpMessages();
    EXPECT_FALSE(script.WatchdogFired());
    EXPECT_EQ(result, nullptr);
    EXPECT_EQ(shown, (std::vector<int>{1, 1})) << "the first release is the opening click's";
    EXPECT_EQ(VisiblePopupWindows(), 0);
    EXPECT_EQ(popupEvents, 1);
    EXPECT_EQ(popup.Menu->GetPopupPoint().x, 200);
}

TEST(PopupMenu, ChoiceRunsAfterTheMenuIsGoneAndNotAfterItsItemIs)
{
    TMenuSettings settings(false, false, 100);
    TPopupFixture popup;
    popup.Add(L"&Alpha");
    TTBCustomItem* beta = popup.Add(L"&Beta");
    TMenuBarHost host(popup.Menu->GetItems(), POINT{50, 300});
    {
        TInputScript script(host.Form());
        script.Keys({VK_DOWN, VK_DOWN, VK_RETURN});
        script.Start();
        EXPECT_EQ(popup.Menu->PopupAtControl(200, 120, false), beta);
        EXPECT_TRUE(popup.Clicked.empty()) << "the click waits for the caller's loop";
        PumpMessages();
        EXPECT_EQ(popup.Clicked, std::vector<std::wstring>{L"&Beta"});
    }
    {
        TInputScript script(host.Form());
        script.Keys({VK_DOWN, VK_RETURN});
        script.Start();
        TTBCustomItem* alpha = popup.Menu->PopupAtControl(200, 120, false);
        ASSERT_NE(alpha, nullptr);
        alpha->Free();
        PumpMessages();
        EXPECT_EQ(popup.Clicked.size(), 1u) << "a deleted item's queued click does not run";
    }
    {
        TInputScript script(host.Form());
        script.Keys({VK_DOWN, VK_RETURN});
        script.Start();
        EXPECT_EQ(popup.Menu->PopupAtControl(200, 120, true), beta);
        PumpMessages();
        EXPECT_EQ(popup.Clicked.size(), 1u) << "only returned, not clicked";
    }
}

TEST(PopupMenu, AMenuFreedWhileOpenClosesWithoutAChoice)
{
    TMenuSettings settings(false, false, 100);
    TPopupFixture popup;
    popup.Add(L"&Alpha");
    TTBCustomItem* more = popup.Add(L"&More", true);
    popup.Add(L"&Inner", false, more);
    TItemPtr bar(New<TTBRootItem>(nullptr));
    TMenuBarHost host(bar.get(), POINT{50, 300});
    TInputScript script(host.Form());
    // With a submenu open, the menu goes (as with its form released); keys still come after.
    int openAtFree = 0;
    script.Keys({VK_DOWN, VK_DOWN, VK_RIGHT})
        .Do([&] {
            openAtFree = VisiblePopupWindows();
            popup.Menu.reset();
        })
        .Keys({VK_DOWN, VK_RETURN, VK_ESCAPE});
    script.Start();
    TTBPopupMenu* menu = popup.Menu.get();
    EXPECT_EQ(menu->PopupAtControl(200, 120, false), nullptr);
    PumpMessages();
    EXPECT_FALSE(script.WatchdogFired());
    EXPECT_EQ(openAtFree, 2) << "the menu and its submenu were open";
    EXPECT_EQ(VisiblePopupWindows(), 0);
    EXPECT_TRUE(popup.Clicked.empty());
}

TEST(PopupMenu, ExceptionsReachTheApplicationAfterTheMenusClose)
{
    TMenuSettings settings(false, false, 100);
    TPopupFixture popup;
    TTBCustomItem* boom = popup.Add(L"&Boom");
    boom->OnClick = TNotifyEvent([](TObject*) { throw Exception("command failed"); });
    TTBCustomItem* sub = popup.Add(L"&More", true);
    popup.Add(L"&Inner", false, sub);
    sub->OnPopup = TTBPopupEvent([](TTBCustomItem*, bool) { throw Exception("submenu failed"); });
    TMenuBarHost host(popup.Menu->GetItems(), POINT{50, 300});
    struct TReport {
        std::string Message;
        int Popups;
        bool Capture;
    };
    std::vector<TReport> reports;
    Application->OnException = TExceptionEvent([&](TObject*, const Exception& e) {
        reports.push_back({e.GetMessage(), VisiblePopupWindows(), GetCapture() != nullptr});
    });
    {
        TInputScript script(host.Form());
        script.Keys({VK_DOWN, VK_RETURN});
        script.Start();
        popup.Menu->Popup(200, 120);
        PumpMessages();
        EXPECT_FALSE(script.WatchdogFired());
    }
    {
        TInputScript script(host.Form());
        script.Keys({VK_DOWN, VK_DOWN, VK_RIGHT, VK_ESCAPE, VK_ESCAPE});
        script.Start();
        EXPECT_EQ(popup.Menu->PopupAtControl(200, 120, false), nullptr);
        PumpMessages();
        EXPECT_FALSE(script.WatchdogFired());
    }
    Application->OnException = nullptr;
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0].Message, "command failed");
    EXPECT_EQ(reports[1].Message, "submenu failed");
    for (const TReport& r : reports) {
        EXPECT_EQ(r.Popups, 0) << r.Message;
        EXPECT_FALSE(r.Capture) << r.Message;
    }
    EXPECT_EQ(VisiblePopupWindows(), 0);
}

TEST(PopupMenu, LongMenuScrollsByKeyboardAndByTheArrowStrips)
{
    TMenuSettings settings(false, false, 100);
    const std::vector<TMonitorLayoutEntry> monitors{{RECT{0, 0, 1024, 300}, RECT{0, 0, 1024, 280}}};
    SetMonitorLayout(&monitors);
    TPopupFixture popup;
    for (int i = 0; i < 40; ++i)
        popup.Add(L"Item " + std::to_wstring(i));
    TMenuBarHost host(popup.Menu->GetItems(), POINT{600, 100});
    struct TState {
        int Shift;
        bool Up;
        bool Down;
    };
    std::vector<TState> states;
    TTBPopupView* shownView = nullptr;
    auto find = [&] {
        for (HWND wnd : ThreadWindows())
            if (auto* w = dynamic_cast<TTBPopupWindow*>(FindControl(wnd)); w && IsWindowVisible(wnd))
                shownView = w->GetView();
    };
    auto note = [&] {
        find();
        states.push_back({shownView->GetScrollShift(), shownView->GetUpArrowShown(), shownView->GetDownArrowShown()});
    };
    auto bottomStrip = [&] {
        find();
        TWinControl* w = shownView->GetWindow();
        return w->ClientToScreen(POINT{20, w->GetClientHeight() - 5});
    };
    TInputScript script(host.Form());
    script.Do(note).Key(VK_END).Do(note).Key(VK_HOME).Do(note);
    script.MoveTo(bottomStrip).Wait(400).Do(note).Key(VK_ESCAPE);
    script.Start();
    popup.Menu->PopupAtControl(100, 10, false);
    SetMonitorLayout(nullptr);
    EXPECT_FALSE(script.WatchdogFired());
    ASSERT_EQ(states.size(), 4u);
    EXPECT_EQ(states[0].Shift, 0);
    EXPECT_FALSE(states[0].Up);
    EXPECT_TRUE(states[0].Down) << "40 items do not fit 300 pixels";
    EXPECT_GT(states[1].Shift, 0) << "End reveals the last item";
    EXPECT_TRUE(states[1].Up);
    EXPECT_FALSE(states[1].Down);
    EXPECT_EQ(states[2].Shift, 0) << "Home scrolls back";
    EXPECT_GT(states[3].Shift, 0) << "resting on the bottom strip scrolls down";
}

} // namespace
