#include <gtest/gtest.h>

#include <vector>

#include "platform/Controls.h"
#include "platform/Forms.h"
#include "platform/Timers.h"

namespace {

// A focusable control that logs its keys, focus changes and dialog messages.
class TKeyControl : public TCustomControl {
    SF_CLASS(TKeyControl)
public:
    explicit TKeyControl(TComponent* owner = nullptr) : TCustomControl(owner)
    {
        FWidth = 40;
        FHeight = 20;
        SetTabStop(true);
    }
    std::vector<WORD> Keys;
    std::string Chars;
    int Enters = 0;
    int Exits = 0;
    int DialogChars = 0;
    char Accelerator = 0;

protected:
    void KeyDown(WORD& key, TShiftState shift) override
    {
        Keys.push_back(key);
        TCustomControl::KeyDown(key, shift);
    }
    void KeyPress(char& key) override
    {
        Chars += key;
        TCustomControl::KeyPress(key);
    }
    void DoEnter() override
    {
        ++Enters;
        TCustomControl::DoEnter();
    }
    void DoExit() override
    {
        ++Exits;
        TCustomControl::DoExit();
    }

public:
    void Dispatch(TMessage& m) override
    {
        if (m.Msg == WM_GETDLGCODE) {
            m.Result = Accelerator ? 0 : DLGC_WANTCHARS;
            return;
        }
        if (m.Msg == CM_DIALOGCHAR) {
            ++DialogChars;
            if (Accelerator && static_cast<char>(m.WParam) == Accelerator)
                m.Result = 1;
            return;
        }
        TCustomControl::Dispatch(m);
    }
};
SF_IMPLEMENT_COMPONENT(TKeyControl, TCustomControl)

// A form that sets its modal result when told to through a posted message.
class TModalForm : public TForm {
    SF_CLASS(TModalForm)
public:
    using TForm::TForm;
    int Created = 0;
    void Dispatch(TMessage& m) override
    {
        if (m.Msg == WM_APP + 1) {
            SetModalResult(static_cast<TModalResult>(m.WParam));
            return;
        }
        TForm::Dispatch(m);
    }

protected:
    void DoCreate() override
    {
        ++Created;
        TForm::DoCreate();
    }
};
SF_IMPLEMENT_COMPONENT(TModalForm, TForm)

using FormPtr = std::unique_ptr<TForm, TObjectFree>;

void Pump()
{
    Application->ProcessMessages();
}

struct TWindowCount {
    int TopLevel = 0;
    int Children = 0;
};

BOOL CALLBACK CountChild(HWND, LPARAM data)
{
    ++reinterpret_cast<TWindowCount*>(data)->Children;
    return TRUE;
}

BOOL CALLBACK CountTop(HWND wnd, LPARAM data)
{
    ++reinterpret_cast<TWindowCount*>(data)->TopLevel;
    EnumChildWindows(wnd, &CountChild, data);
    return TRUE;
}

TWindowCount CountThreadWindows()
{
    TWindowCount count;
    EnumThreadWindows(GetCurrentThreadId(), &CountTop, reinterpret_cast<LPARAM>(&count));
    return count;
}

void SetShiftDown(bool down)
{
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    keys[VK_SHIFT] = down ? 0x80 : 0;
    SetKeyboardState(keys);
}

} // namespace

TEST(Forms, FocusMovesWithSetFocusAndTab)
{
    FormPtr form(New<TForm>(nullptr));
    auto* a = New<TKeyControl>(form.get());
    auto* b = New<TKeyControl>(form.get());
    auto* c = New<TKeyControl>(form.get());
    a->SetParent(form.get());
    b->SetParent(form.get());
    c->SetParent(form.get());
    b->SetTabOrder(0); // tab order b, a, c
    EXPECT_EQ(a->GetTabOrder(), 1);
    form->Show();
    Pump();
    SetForegroundWindow(form->GetHandle());
    a->SetFocus();
    Pump();
    EXPECT_EQ(GetFocus(), a->GetHandle());
    EXPECT_TRUE(a->Focused());
    EXPECT_EQ(form->GetActiveControl(), a);
    EXPECT_EQ(Screen->GetActiveControl(), a);
    EXPECT_EQ(Screen->GetActiveForm(), form.get());
    EXPECT_GE(a->Enters, 1);

    PostMessageA(a->GetHandle(), WM_KEYDOWN, VK_TAB, 0);
    Pump();
    EXPECT_EQ(GetFocus(), c->GetHandle());
    EXPECT_GE(a->Exits, 1);
    EXPECT_TRUE(a->Keys.empty()); // the dialog key went to the form, not the control

    SetShiftDown(true);
    PostMessageA(c->GetHandle(), WM_KEYDOWN, VK_TAB, 0);
    Pump();
    SetShiftDown(false);
    EXPECT_EQ(GetFocus(), a->GetHandle());

    // Wrapping forward from the last control goes back to the first in tab order.
    c->SetFocus();
    PostMessageA(c->GetHandle(), WM_KEYDOWN, VK_TAB, 0);
    Pump();
    EXPECT_EQ(GetFocus(), b->GetHandle());

    // Ordinary keys reach the focused control.
    PostMessageA(b->GetHandle(), WM_KEYDOWN, VK_DELETE, 0);
    PostMessageA(b->GetHandle(), WM_CHAR, 'q', 0);
    Pump();
    ASSERT_EQ(b->Keys.size(), 1u);
    EXPECT_EQ(b->Keys[0], VK_DELETE);
    EXPECT_EQ(b->Chars, "q");

    // A hidden or disabled control cannot take the focus; hiding the focused one moves it away.
    b->SetVisible(false);
    EXPECT_EQ(form->GetActiveControl(), nullptr);
    EXPECT_NE(GetFocus(), b->GetHandle());
    EXPECT_FALSE(b->CanFocus());
    EXPECT_THROW(b->SetFocus(), EInvalidOperation);
    c->SetEnabled(false);
    EXPECT_THROW(form->SetActiveControl(c), EInvalidOperation);

    // Freeing the focused control leaves no dangling active control.
    a->SetFocus();
    a->Free();
    EXPECT_EQ(form->GetActiveControl(), nullptr);
    EXPECT_EQ(Screen->GetActiveControl(), nullptr);
}

TEST(Forms, KeyPreviewAndDialogCharsAndShortcuts)
{
    FormPtr form(New<TForm>(nullptr));
    auto* edit = New<TKeyControl>(form.get());
    auto* label = New<TKeyControl>(form.get());
    edit->SetParent(form.get());
    label->SetParent(form.get());
    label->Accelerator = 'n';
    label->SetTabStop(false);
    form->Show();
    SetForegroundWindow(form->GetHandle());
    label->SetFocus();
    Pump();
    // The focused control does not want characters: they go round as dialog chars first.
    PostMessageA(label->GetHandle(), WM_CHAR, 'n', 0);
    PostMessageA(label->GetHandle(), WM_CHAR, 'x', 0);
    Pump();
    EXPECT_EQ(label->DialogChars, 2);
    EXPECT_EQ(label->Chars, "x"); // 'n' was taken as an accelerator

    edit->SetFocus();
    WORD previewed = 0;
    form->SetKeyPreview(true);
    form->OnKeyDown = TKeyEvent([&](TObject*, WORD& key, TShiftState) {
        previewed = key;
        if (key == 'Z')
            key = 0;
    });
    PostMessageA(edit->GetHandle(), WM_KEYDOWN, 'Z', 0);
    PostMessageA(edit->GetHandle(), WM_KEYDOWN, 'Y', 0);
    Pump();
    EXPECT_EQ(previewed, 'Y');
    ASSERT_EQ(edit->Keys.size(), 1u);
    EXPECT_EQ(edit->Keys[0], 'Y');

    // Shortcut keys: the form first, then the hooks on the application window.
    int formShortcuts = 0;
    form->OnShortCut = TShortCutEvent([&](TMessage& m, bool& handled) {
        ++formShortcuts;
        handled = m.WParam == VK_F5;
    });
    std::vector<WPARAM> appKeys;
    TWindowHook hook([&](TMessage& m, bool& handled) {
        if (m.Msg == CM_APPKEYDOWN) {
            appKeys.push_back(m.WParam);
            handled = m.WParam == VK_F6;
            m.Result = handled ? 1 : 0;
        }
    });
    Application->HookMainWindow(hook);
    edit->Keys.clear();
    PostMessageA(edit->GetHandle(), WM_KEYDOWN, VK_F5, 0);
    PostMessageA(edit->GetHandle(), WM_KEYDOWN, VK_F6, 0);
    PostMessageA(edit->GetHandle(), WM_KEYDOWN, VK_F7, 0);
    Pump();
    Application->UnhookMainWindow(hook);
    EXPECT_EQ(formShortcuts, 3);
    EXPECT_EQ(appKeys, (std::vector<WPARAM>{VK_F6, VK_F7}));
    EXPECT_EQ(edit->Keys, (std::vector<WORD>{VK_F7}));
}

TEST(Forms, ShowModalEndsByModalResultFromAPostedMessage)
{
    FormPtr owner(New<TForm>(nullptr));
    owner->Show();
    std::unique_ptr<TModalForm, TObjectFree> dialog(New<TModalForm>(nullptr));
    EXPECT_EQ(dialog->Created, 1);
    dialog->SetBorderStyle(bsDialog);
    dialog->SetPosition(poScreenCenter);
    bool ownerDisabledDuringLoop = false;
    dialog->OnShow = TNotifyEvent([&](TObject*) { ownerDisabledDuringLoop = !IsWindowEnabled(owner->GetHandle()); });
    PostMessageA(dialog->GetHandle(), WM_APP + 1, mrOk, 0);
    EXPECT_EQ(dialog->ShowModal(), mrOk);
    EXPECT_TRUE(ownerDisabledDuringLoop);
    EXPECT_TRUE(IsWindowEnabled(owner->GetHandle()));
    EXPECT_FALSE(dialog->GetVisible());
    EXPECT_FALSE(IsWindowVisible(dialog->GetHandle()));
    EXPECT_EQ(dialog->GetFormState() & fsModal, 0u);
    RECT work = Screen->GetWorkAreaRect();
    EXPECT_NEAR(dialog->GetLeft() + dialog->GetWidth() / 2, (work.left + work.right) / 2, 2);

    // A close request ends it with mrCancel; a refusing CloseQuery keeps it open.
    int queries = 0;
    dialog->OnCloseQuery = TCloseQueryEvent([&](TObject*, bool& canClose) { canClose = ++queries > 1; });
    PostMessageA(dialog->GetHandle(), WM_APP + 1, mrYes, 0);
    PostMessageA(dialog->GetHandle(), WM_CLOSE, 0, 0);
    EXPECT_EQ(dialog->ShowModal(), mrCancel);
    EXPECT_EQ(queries, 2);

    // A visible form cannot be made modal.
    dialog->Show();
    EXPECT_THROW(dialog->ShowModal(), EInvalidOperation);
    dialog->Hide();
}

TEST(Forms, CloseActionsAndRelease)
{
    std::unique_ptr<TForm, TObjectFree> kept(New<TForm>(nullptr));
    kept->Show();
    kept->Close();
    EXPECT_FALSE(kept->GetVisible()); // caHide by default
    kept->Show();
    kept->OnClose = TCloseEvent([](TObject*, TCloseAction& a) { a = caNone; });
    kept->Close();
    EXPECT_TRUE(kept->GetVisible());

    // caFree: freed once the queued messages are handled, not inside Close.
    TForm* freed = New<TForm>(nullptr);
    std::weak_ptr<int> alive = freed->LifeToken();
    freed->Show();
    freed->OnClose = TCloseEvent([](TObject*, TCloseAction& a) { a = caFree; });
    freed->Close();
    EXPECT_FALSE(alive.expired());
    Pump();
    EXPECT_TRUE(alive.expired());

    // Release from a child's click handler: the form and the child go away after the handler.
    TForm* form = New<TForm>(nullptr);
    auto* button = New<TKeyControl>(form);
    button->SetParent(form);
    button->OnClick = TNotifyEvent([&](TObject*) { form->Release(); });
    std::weak_ptr<int> formAlive = form->LifeToken();
    std::weak_ptr<int> buttonAlive = button->LifeToken();
    form->Show();
    HWND bh = button->GetHandle();
    SendMessageA(bh, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    SendMessageA(bh, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
    EXPECT_FALSE(formAlive.expired());
    Pump();
    EXPECT_TRUE(formAlive.expired());
    EXPECT_TRUE(buttonAlive.expired());
    EXPECT_FALSE(IsWindow(bh));
}

TEST(Forms, FailingOnCreateIsReportedAndTheFormExists)
{
    class TFailing : public TForm {
    public:
        using TForm::TForm;

    protected:
        void DoCreate() override { throw EConvertError("bad value"); }
    };
    std::string reported;
    Application->OnException = TExceptionEvent([&](TObject*, const Exception& e) { reported = e.GetMessage(); });
    std::unique_ptr<TForm, TObjectFree> form(New<TFailing>(nullptr));
    Application->OnException = nullptr;
    EXPECT_EQ(reported, "bad value");
    EXPECT_NE(form->GetHandle(), nullptr);
}

TEST(Forms, IdleRunsOnlyWhenTheQueueIsEmpty)
{
    Pump();
    int handled = 0;
    HWND wnd = AllocateHWnd(TWndMethod([&](TMessage& m) {
        if (m.Msg == WM_APP + 3)
            ++handled;
        else
            m.Result = DefWindowProcA(nullptr, m.Msg, m.WParam, m.LParam);
    }));
    int idles = 0;
    bool queueEmptyAtIdle = true;
    Application->OnIdle = TIdleEvent([&](TObject*, bool& done) {
        ++idles;
        MSG peek{};
        if (PeekMessageA(&peek, nullptr, 0, 0, PM_NOREMOVE))
            queueEmptyAtIdle = false;
        done = false; // do not wait for the next message
    });
    for (int i = 0; i < 3; ++i)
        PostMessageA(wnd, WM_APP + 3, 0, 0);
    for (int i = 0; i < 3; ++i)
        Application->HandleMessage();
    EXPECT_EQ(handled, 3);
    EXPECT_EQ(idles, 0);
    Application->HandleMessage();
    EXPECT_EQ(idles, 1);
    EXPECT_TRUE(queueEmptyAtIdle);

    // With Done left true the loop waits for the next message after the idle step.
    Application->OnIdle = TIdleEvent([&](TObject*, bool&) { PostMessageA(wnd, WM_APP + 3, 0, 0); });
    Application->HandleMessage();
    Application->OnIdle = nullptr;
    Application->HandleMessage();
    EXPECT_EQ(handled, 4);
    DeallocateHWnd(wnd);
}

TEST(Forms, MainWindowHooksSeeApplicationMessages)
{
    std::vector<UINT> seen;
    TWindowHook first([&](TMessage& m, bool&) { seen.push_back(m.Msg); });
    TWindowHook second([&](TMessage& m, bool& handled) {
        if (m.Msg == WM_APP + 9) {
            handled = true;
            m.Result = 99;
        }
    });
    Application->HookMainWindow(first);
    Application->HookMainWindow(second);
    EXPECT_EQ(SendMessageA(Application->GetHandle(), WM_APP + 9, 0, 0), 99);
    EXPECT_TRUE(std::find(seen.begin(), seen.end(), WM_APP + 9) == seen.end()); // later hooks go first
    SendMessageA(Application->GetHandle(), CM_APPSYSCOMMAND, 0, 0);
    EXPECT_TRUE(std::find(seen.begin(), seen.end(), CM_APPSYSCOMMAND) != seen.end());
    Application->UnhookMainWindow(second);
    Application->UnhookMainWindow(first);
    seen.clear();
    SendMessageA(Application->GetHandle(), WM_APP + 9, 0, 0);
    EXPECT_TRUE(seen.empty());
}

TEST(Forms, HintShowAsksTheControl)
{
    FormPtr form(New<TForm>(nullptr));
    form->SetBounds(100, 100, 300, 200);
    auto* c = New<TKeyControl>(form.get());
    c->SetParent(form.get());
    c->SetBounds(10, 10, 100, 50);
    c->SetHint("Short|Long text");
    c->SetShowHint(true);
    form->Show();
    Pump();
    std::string asked;
    bool refuse = false;
    TWndMethod previous = c->GetWindowProc();
    c->SetWindowProc(TWndMethod([&](TMessage& m) {
        if (m.Msg == CM_HINTSHOW) {
            auto* info = reinterpret_cast<THintInfo*>(m.LParam);
            asked = info->HintStr;
            EXPECT_EQ(info->HintControl, c);
            info->HintStr += "!";
            m.Result = refuse ? 1 : 0;
            return;
        }
        previous(m);
    }));
    POINT p = c->ClientToScreen(POINT{20, 20});
    Application->ActivateHint(p);
    EXPECT_EQ(asked, "Short");
    ASSERT_NE(Application->GetHintWindow(), nullptr);
    HWND hint = Application->GetHintWindow()->GetWindowHandle();
    ASSERT_NE(hint, nullptr);
    EXPECT_TRUE(IsWindowVisible(hint));
    char text[32] = {};
    GetWindowTextA(hint, text, sizeof(text));
    EXPECT_STREQ(text, "Short!");
    EXPECT_NE(GetActiveWindow(), hint);
    Application->CancelHint();
    EXPECT_FALSE(IsWindow(hint));

    refuse = true;
    Application->ActivateHint(p);
    EXPECT_TRUE(Application->GetHintWindow() == nullptr || !Application->GetHintWindow()->HandleAllocated());
    c->SetWindowProc(previous);
    Application->CancelHint();

    int hints = 0;
    Application->OnHint = TNotifyEvent([&](TObject*) { ++hints; });
    Application->SetHint("x");
    Application->OnHint = nullptr;
    EXPECT_EQ(hints, 1);
    EXPECT_EQ(Application->GetHint(), "x");
}

TEST(Forms, ScreenKnowsFormsCursorsAndMetrics)
{
    FormPtr first(New<TForm>(nullptr));
    FormPtr second(New<TForm>(nullptr));
    int count = Screen->GetFormCount();
    EXPECT_GE(count, 2);
    bool found = false;
    for (int i = 0; i < count; ++i)
        found = found || Screen->GetForm(i) == second.get();
    EXPECT_TRUE(found);
    EXPECT_GT(Screen->GetWidth(), 0);
    EXPECT_GT(Screen->GetPixelsPerInch(), 0);
    RECT work = Screen->GetWorkAreaRect();
    EXPECT_GT(work.right - work.left, 0);
    EXPECT_NE(Screen->GetCursors(crHSplit), nullptr);
    EXPECT_NE(Screen->GetCursors(crVSplit), nullptr);
    EXPECT_NE(Screen->GetCursors(crHSplit), Screen->GetCursors(crVSplit));
    EXPECT_EQ(Screen->GetCursors(crSizeWE), LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_SIZEWE)));
    Screen->SetCursor(crHourGlass);
    EXPECT_EQ(Screen->GetCursor(), crHourGlass);
    Screen->SetCursor(crDefault);
    second.reset();
    EXPECT_EQ(Screen->GetFormCount(), count - 1);
}

TEST(Forms, NoWindowOrTimerLeaksAfterAThousandForms)
{
    Pump();
    TWindowCount before = CountThreadWindows();
    int timersBefore = TTimer::ActiveTimerCount();
    int utilBefore = AllocatedHWndCount();
    int buffersBefore = LivePaintBuffers();
    std::vector<HGDIOBJ> gdiSeen;
    for (int i = 0; i < 1000; ++i) {
        TForm* form = New<TForm>(nullptr);
        auto* panel = New<TKeyControl>(form);
        panel->SetControlStyle(panel->GetControlStyle() | csAcceptsControls);
        panel->SetParent(form);
        panel->SetAlign(alClient);
        panel->SetDoubleBuffered(true);
        auto* inner = New<TKeyControl>(form);
        inner->SetParent(panel);
        auto* graphic = New<TGraphicControl>(form);
        graphic->SetParent(panel);
        auto* timer = New<TTimer>(form);
        timer->SetOnTimer(TNotifyEvent([](TObject*) {}));
        inner->HandleNeeded();
        if (i % 250 == 0) {
            form->Show();
            RedrawWindow(panel->GetHandle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ERASE);
        }
        // The fonts and brushes the controls made are deleted with them.
        std::vector<HGDIOBJ> made{panel->GetFont()->GetHandle(), inner->GetFont()->GetHandle(), graphic->GetFont()->GetHandle(),
                                  panel->GetCanvas()->GetBrush()->GetHandle()};
        for (HGDIOBJ h : made)
            ASSERT_NE(GetObjectType(h), 0u);
        if (i % 2)
            form->Free();
        else {
            form->Release();
            Pump();
        }
        for (HGDIOBJ h : made)
            if (GetObjectType(h) != 0)
                gdiSeen.push_back(h);
    }
    EXPECT_TRUE(gdiSeen.empty()) << gdiSeen.size() << " GDI objects outlived their controls";
    Pump();
    TWindowCount after = CountThreadWindows();
    EXPECT_EQ(after.TopLevel, before.TopLevel);
    EXPECT_EQ(after.Children, before.Children);
    EXPECT_EQ(TTimer::ActiveTimerCount(), timersBefore);
    EXPECT_EQ(AllocatedHWndCount(), utilBefore);
    EXPECT_EQ(LivePaintBuffers(), buffersBefore);
}

TEST(Forms, RunEndsWhenTheMainFormCloses)
{
    // A fresh application: the one the other tests share must not stay terminated.
    DoneForms();
    InitForms();
    TForm* main = nullptr;
    Application->CreateForm(main);
    TModalForm* second = nullptr;
    Application->CreateForm(second);
    EXPECT_EQ(Application->GetMainForm(), main);
    EXPECT_EQ(second->Created, 1);
    EXPECT_EQ(second->GetOwner(), Application);
    Application->SetShowMainForm(false);
    PostMessageA(main->GetHandle(), WM_CLOSE, 0, 0);
    Application->Run();
    EXPECT_TRUE(Application->GetTerminated());
    DoneForms();
    InitForms();
    EXPECT_FALSE(Application->GetTerminated());
    EXPECT_EQ(Screen->GetFormCount(), 0);
}

TEST(Forms, ControlHostedByAForeignWindow)
{
    HWND host = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 200, 100, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(host, nullptr);
    std::unique_ptr<TKeyControl, TObjectFree> c(New<TKeyControl>(nullptr));
    c->SetBounds(5, 6, 50, 20);
    c->SetParentWindow(host);
    ASSERT_TRUE(c->HandleAllocated());
    EXPECT_EQ(::GetParent(c->GetHandle()), host);
    EXPECT_TRUE(c->GetShowing());
    EXPECT_TRUE(c->CanFocus());
    POINT origin = c->GetClientOrigin();
    POINT expected{5, 6};
    ClientToScreen(host, &expected);
    EXPECT_EQ(origin.x, expected.x);
    EXPECT_EQ(origin.y, expected.y);
    c.reset();
    EXPECT_EQ(GetWindow(host, GW_CHILD), nullptr);
    DestroyWindow(host);
}

TEST(Forms, HintAppearsAfterThePauseAndMouseEnterLeave)
{
    FormPtr form(New<TForm>(nullptr));
    form->SetBounds(50, 50, 300, 200);
    auto* c = New<TKeyControl>(form.get());
    c->SetParent(form.get());
    c->SetBounds(10, 10, 100, 50);
    c->SetHint("Tip|Status text");
    c->SetShowHint(true);
    int enters = 0, leaves = 0;
    c->OnMouseEnter = TNotifyEvent([&](TObject*) { ++enters; });
    c->OnMouseLeave = TNotifyEvent([&](TObject*) { ++leaves; });
    form->Show();
    Pump();
    POINT inside = c->ClientToScreen(POINT{20, 20});
    SetCursorPos(inside.x, inside.y);
    Application->SetHintPause(10);
    Application->OnIdle = TIdleEvent([](TObject*, bool& done) { done = false; });
    SendMessageA(c->GetHandle(), WM_MOUSEMOVE, 0, MAKELPARAM(20, 20));
    DWORD start = GetTickCount();
    THintWindow* hint = nullptr;
    while (GetTickCount() - start < 3000) {
        Application->HandleMessage();
        hint = Application->GetHintWindow();
        if (hint && hint->HandleAllocated() && IsWindowVisible(hint->GetWindowHandle()))
            break;
        Sleep(1);
    }
    ASSERT_NE(hint, nullptr);
    EXPECT_TRUE(hint->HandleAllocated());
    EXPECT_EQ(Application->GetHintControl(), c);
    EXPECT_EQ(enters, 1);
    EXPECT_EQ(Application->GetHint(), "Status text");
    // A key press takes the hint away.
    PostMessageA(c->GetHandle(), WM_KEYDOWN, VK_SHIFT, 0);
    Application->HandleMessage();
    EXPECT_FALSE(hint->HandleAllocated());
    SetCursorPos(form->GetLeft() + 250, form->GetTop() + 150);
    Application->HandleMessage();
    Application->HandleMessage();
    Application->OnIdle = nullptr;
    Application->SetHintPause(500);
    EXPECT_EQ(leaves, 1);
}
