#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/Controls.h"
#include "platform/Forms.h"
#include "platform/ScopeGuards.h"
#include "platform/Timers.h"
#include "TestSupport.h"

namespace {

// A painted control that records the messages it sees.
class TLogControl : public TCustomControl {
    SF_CLASS(TLogControl)
public:
    explicit TLogControl(TComponent* owner = nullptr) : TCustomControl(owner)
    {
        FWidth = 50;
        FHeight = 20;
    }
    std::vector<UINT> Seen;
    int Count(UINT msg) const { return static_cast<int>(std::count(Seen.begin(), Seen.end(), msg)); }
    int Clicks = 0;
    int Downs = 0;
    int Moves = 0;
    int Ups = 0;
    POINT LastMouse{};
    int Paints = 0;
    HDC LastPaintDC = nullptr;
    bool ThrowOnApp = false;
    std::function<void()> OnApp;

    void WndProc(TMessage& m) override
    {
        Seen.push_back(m.Msg);
        TCustomControl::WndProc(m);
    }
    void Dispatch(TMessage& m) override
    {
        if (m.Msg == WM_APP) {
            if (OnApp)
                OnApp();
            m.Result = 42;
            return;
        }
        TCustomControl::Dispatch(m);
    }
    using TWinControl::GetControlState;

protected:
    void Click() override
    {
        ++Clicks;
        TCustomControl::Click();
    }
    void MouseDown(TMouseButton b, TShiftState s, int x, int y) override
    {
        ++Downs;
        LastMouse = POINT{x, y};
        TCustomControl::MouseDown(b, s, x, y);
    }
    void MouseMove(TShiftState s, int x, int y) override
    {
        ++Moves;
        LastMouse = POINT{x, y};
        TCustomControl::MouseMove(s, x, y);
    }
    void MouseUp(TMouseButton b, TShiftState s, int x, int y) override
    {
        ++Ups;
        LastMouse = POINT{x, y};
        TCustomControl::MouseUp(b, s, x, y);
    }
    void Paint() override
    {
        ++Paints;
        LastPaintDC = GetPaintDC();
        GetCanvas()->GetBrush()->SetColor(GetColor());
        GetCanvas()->FillRect(GetClientRect());
    }
};
SF_IMPLEMENT_COMPONENT(TLogControl, TCustomControl)

class TLogGraphic : public TGraphicControl {
protected:
    void Paint() override
    {
        GetCanvas()->GetBrush()->SetColor(GetColor());
        GetCanvas()->FillRect(RECT{0, 0, GetWidth(), GetHeight()});
    }

public:
    SF_CLASS(TLogGraphic)
public:
    using TGraphicControl::TGraphicControl;
    std::vector<UINT> Seen;
    int Downs = 0;
    int Moves = 0;
    int Ups = 0;
    int Clicks = 0;
    POINT LastMouse{};
    void WndProc(TMessage& m) override
    {
        Seen.push_back(m.Msg);
        TGraphicControl::WndProc(m);
    }

protected:
    void Click() override { ++Clicks; }
    void MouseDown(TMouseButton, TShiftState, int x, int y) override
    {
        ++Downs;
        LastMouse = POINT{x, y};
    }
    void MouseMove(TShiftState, int x, int y) override
    {
        ++Moves;
        LastMouse = POINT{x, y};
    }
    void MouseUp(TMouseButton, TShiftState, int x, int y) override
    {
        ++Ups;
        LastMouse = POINT{x, y};
    }
};
SF_IMPLEMENT_COMPONENT(TLogGraphic, TGraphicControl)

std::unique_ptr<TForm, TObjectFree> MakeForm()
{
    return std::unique_ptr<TForm, TObjectFree>(New<TForm>(nullptr));
}

std::vector<HWND> DirectChildren(HWND parent)
{
    std::vector<HWND> list;
    for (HWND w = GetWindow(parent, GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT))
        list.push_back(w);
    return list;
}

RECT Bounds(TControl* c)
{
    return c->GetBoundsRect();
}

} // namespace

TEST(Messages, PinnedNumbers)
{
    EXPECT_EQ(CM_BASE, 0xB000u);
    EXPECT_EQ(CM_TEXTCHANGED, 0xB012u);
    EXPECT_EQ(CM_APPKEYDOWN, 0xB016u);
    EXPECT_EQ(CM_APPSYSCOMMAND, 0xB017u);
    EXPECT_EQ(CM_HINTSHOW, 0xB030u);
    EXPECT_EQ(CM_ACTIONEXECUTE, 0xB040u);
    EXPECT_EQ(CN_COMMAND, 0xBC00u + WM_COMMAND);
    EXPECT_EQ(GetShortHint("a|b|c"), "a");
    EXPECT_EQ(GetLongHint("a|b|c"), "b|c");
    EXPECT_EQ(GetShortHint("plain"), "plain");
    EXPECT_EQ(GetLongHint("plain"), "plain");
}

TEST(Controls, ChildrenKeepCreationOrderAndZOrder)
{
    auto form = MakeForm();
    auto* a = New<TLogControl>(form.get());
    auto* b = New<TLogControl>(form.get());
    auto* c = New<TLogControl>(form.get());
    auto* g = New<TLogGraphic>(form.get());
    for (TControl* x : {static_cast<TControl*>(a), static_cast<TControl*>(b), static_cast<TControl*>(c), static_cast<TControl*>(g)})
        x->SetParent(form.get());
    ASSERT_EQ(form->GetControlCount(), 4);
    EXPECT_EQ(form->GetControl(0), g); // windowless children come first
    EXPECT_EQ(form->GetControl(1), a);
    EXPECT_EQ(form->GetControl(3), c);

    // Windows made out of order still stack as the list says: later ones on top.
    c->HandleNeeded();
    a->HandleNeeded();
    b->HandleNeeded();
    std::vector<HWND> expected{c->GetHandle(), b->GetHandle(), a->GetHandle()};
    EXPECT_EQ(DirectChildren(form->GetHandle()), expected);

    a->BringToFront();
    expected = {a->GetHandle(), c->GetHandle(), b->GetHandle()};
    EXPECT_EQ(DirectChildren(form->GetHandle()), expected);
    EXPECT_EQ(form->GetControl(3), a);
    c->SendToBack();
    expected = {a->GetHandle(), b->GetHandle(), c->GetHandle()};
    EXPECT_EQ(DirectChildren(form->GetHandle()), expected);
    EXPECT_EQ(FindControl(b->GetHandle()), b);
    EXPECT_EQ(::GetParent(a->GetHandle()), form->GetHandle());

    // Made in list order, as showing a form makes them (a new child window starts at the bottom):
    // each new one still lands on top.
    auto* d = New<TLogControl>(form.get());
    auto* e = New<TLogControl>(form.get());
    d->SetParent(form.get());
    e->SetParent(form.get());
    d->HandleNeeded();
    e->HandleNeeded();
    expected = {e->GetHandle(), d->GetHandle(), a->GetHandle(), b->GetHandle(), c->GetHandle()};
    EXPECT_EQ(DirectChildren(form->GetHandle()), expected);
}

// A window finds its control from the moment it is made until it is gone, through each of its
// lives, and only on its own thread; the properties outsiders may read stay in step.
TEST(Controls, WindowFindsItsControlForItsLifeOnly)
{
    auto form = MakeForm();
    auto* a = New<TLogControl>(form.get());
    a->SetParent(form.get());
    HWND first = a->GetHandle();
    EXPECT_EQ(FindControl(first), a);
    EXPECT_EQ(GetPropA(first, MAKEINTATOM(GetControlAtom())), a);
    EXPECT_EQ(GetPropA(first, MAKEINTATOM(GetWindowAtom())), a);

    HWND seenElsewhere = first;
    std::thread([&] { seenElsewhere = reinterpret_cast<HWND>(FindControl(first)); }).join();
    EXPECT_EQ(seenElsewhere, nullptr);

    a->RecreateWnd();
    HWND second = a->GetHandle();
    ASSERT_NE(second, first);
    EXPECT_EQ(FindControl(first), nullptr);
    EXPECT_EQ(FindControl(second), a);

    a->DestroyHandle();
    EXPECT_FALSE(IsWindow(second));
    EXPECT_EQ(FindControl(second), nullptr);
    EXPECT_EQ(FindControl(nullptr), nullptr);

    // A window the class library did not make has no control.
    HWND plain = CreateWindowExA(0, "STATIC", "", WS_CHILD, 0, 0, 10, 10, form->GetHandle(), nullptr, nullptr, nullptr);
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(FindControl(plain), nullptr);
    DestroyWindow(plain);
}

TEST(Controls, AlignsSeveralChildrenInCreationOrder)
{
    std::unique_ptr<TLogControl, TObjectFree> host(New<TLogControl>(nullptr));
    host->SetBounds(0, 0, 200, 100);
    auto add = [&](TAlign align, int w, int h) {
        auto* c = New<TLogControl>(host.get());
        c->SetBounds(0, 0, w, h);
        c->SetAlign(align);
        c->SetParent(host.get());
        return c;
    };
    auto* top1 = add(alTop, 10, 10);
    auto* top2 = add(alTop, 10, 20);
    auto* bottom = add(alBottom, 10, 5);
    auto* left = add(alLeft, 30, 10);
    auto* right = add(alRight, 40, 10);
    auto* client = add(alClient, 1, 1);
    EXPECT_TRUE(SameRect(Bounds(top1), RECT{0, 0, 200, 10}));
    EXPECT_TRUE(SameRect(Bounds(top2), RECT{0, 10, 200, 30}));
    EXPECT_TRUE(SameRect(Bounds(bottom), RECT{0, 95, 200, 100}));
    EXPECT_TRUE(SameRect(Bounds(left), RECT{0, 30, 30, 95}));
    EXPECT_TRUE(SameRect(Bounds(right), RECT{160, 30, 200, 95}));
    EXPECT_TRUE(SameRect(Bounds(client), RECT{30, 30, 160, 95}));

    host->SetBounds(0, 0, 300, 200);
    EXPECT_TRUE(SameRect(Bounds(top2), RECT{0, 10, 300, 30}));
    EXPECT_TRUE(SameRect(Bounds(bottom), RECT{0, 195, 300, 200}));
    EXPECT_TRUE(SameRect(Bounds(client), RECT{30, 30, 260, 195}));

    // Hiding one side's control gives its room to the others.
    top1->SetVisible(false);
    EXPECT_TRUE(SameRect(Bounds(top2), RECT{0, 0, 300, 20}));
    EXPECT_TRUE(SameRect(Bounds(client), RECT{30, 20, 260, 195}));
    // A bottom control placed below the others goes to the very bottom.
    auto* status = add(alBottom, 10, 7);
    status->SetTop(host->GetClientHeight());
    EXPECT_TRUE(SameRect(Bounds(status), RECT{0, 193, 300, 200}));
    EXPECT_TRUE(SameRect(Bounds(bottom), RECT{0, 188, 300, 193}));

    // Anchors keep the distance to the right and bottom edges.
    auto* anchored = New<TLogGraphic>(host.get());
    anchored->SetParent(host.get());
    anchored->SetBounds(10, 10, 50, 20);
    anchored->SetAnchors(akLeft | akTop | akRight);
    auto* corner = New<TLogGraphic>(host.get());
    corner->SetParent(host.get());
    corner->SetBounds(280, 180, 10, 10);
    corner->SetAnchors(akRight | akBottom);
    host->SetBounds(0, 0, 400, 250);
    EXPECT_TRUE(SameRect(Bounds(anchored), RECT{10, 10, 160, 30}));
    EXPECT_TRUE(SameRect(Bounds(corner), RECT{380, 230, 390, 240}));
}

TEST(Controls, TextTravelsThroughMessagesWithAndWithoutAWindow)
{
    auto form = MakeForm();
    auto* c = New<TLogControl>(form.get());
    c->SetParent(form.get());
    c->SetText("before");
    EXPECT_EQ(c->GetText(), "before");
    EXPECT_EQ(c->Count(CM_TEXTCHANGED), 1);
    c->SetText("before");
    EXPECT_EQ(c->Count(CM_TEXTCHANGED), 1); // same text: no change message
    HWND h = c->GetHandle();
    char buf[32] = {};
    GetWindowTextA(h, buf, sizeof(buf));
    EXPECT_STREQ(buf, "before");
    c->SetText("after");
    GetWindowTextA(h, buf, sizeof(buf));
    EXPECT_STREQ(buf, "after");
    c->RecreateWnd();
    EXPECT_NE(c->GetHandle(), nullptr);
    EXPECT_EQ(c->GetText(), "after");

    // A caption equal to the name follows renames; one set apart from it stays.
    auto* named = New<TLogControl>(form.get());
    named->SetName("First");
    EXPECT_EQ(named->GetText(), "First");
    named->SetName("Second");
    EXPECT_EQ(named->GetText(), "Second");
    named->SetText("Own");
    named->SetName("Third");
    EXPECT_EQ(named->GetText(), "Own");
}

TEST(Controls, ControlMessagesReachTheirHandlers)
{
    auto form = MakeForm();
    auto* parent = New<TLogControl>(form.get());
    parent->SetControlStyle(parent->GetControlStyle() | csAcceptsControls);
    parent->SetParent(form.get());
    auto* child = New<TLogControl>(form.get());
    child->SetParent(parent);
    EXPECT_EQ(parent->Count(CM_CONTROLCHANGE), 1);
    EXPECT_EQ(parent->Count(CM_CONTROLLISTCHANGE), 1);

    child->SetEnabled(false);
    EXPECT_EQ(child->Count(CM_ENABLEDCHANGED), 1);
    child->SetVisible(false);
    EXPECT_EQ(child->Count(CM_VISIBLECHANGED), 1);
    child->SetVisible(true);

    EXPECT_EQ(child->Count(CM_PARENTSHOWHINTCHANGED), 1); // on insertion
    EXPECT_EQ(child->Count(CM_PARENTCOLORCHANGED), 1);
    EXPECT_EQ(child->Count(CM_PARENTFONTCHANGED), 1);
    parent->SetShowHint(true);
    EXPECT_EQ(child->Count(CM_PARENTSHOWHINTCHANGED), 2);
    EXPECT_TRUE(child->GetShowHint());
    child->SetShowHint(false);
    parent->SetShowHint(false);
    EXPECT_FALSE(child->GetShowHint());
    EXPECT_EQ(child->Count(CM_PARENTSHOWHINTCHANGED), 3);

    form->Show();
    EXPECT_EQ(child->Count(CM_SHOWINGCHANGED), 1);
    EXPECT_TRUE(child->GetShowing());
    EXPECT_TRUE(IsWindowVisible(child->GetHandle()));
    EXPECT_FALSE(IsWindowEnabled(child->GetHandle()));
    child->SetEnabled(true);
    EXPECT_TRUE(IsWindowEnabled(child->GetHandle()));
    parent->SetVisible(false);
    EXPECT_FALSE(child->GetShowing());
    EXPECT_EQ(child->Count(CM_SHOWINGCHANGED), 2);

    // A WindowProc placed in front of the control sees messages first and can pass them on.
    std::vector<UINT> hooked;
    TWndMethod previous = child->GetWindowProc();
    child->SetWindowProc(TWndMethod([&](TMessage& m) {
        hooked.push_back(m.Msg);
        previous(m);
    }));
    EXPECT_EQ(child->Perform(WM_APP), 42);
    EXPECT_EQ(SendMessageA(child->GetHandle(), WM_APP, 0, 0), 42);
    EXPECT_EQ(std::count(hooked.begin(), hooked.end(), WM_APP), 2);
    child->SetWindowProc(previous);
    EXPECT_TRUE(child->GetWindowProc() == TWndMethod(static_cast<TControl*>(child), &TControl::WndProc));
}

TEST(Controls, NotificationsAreReflectedToTheChild)
{
    auto form = MakeForm();
    auto* child = New<TLogControl>(form.get());
    child->SetParent(form.get());
    HWND ch = child->GetHandle();
    SendMessageA(form->GetHandle(), WM_COMMAND, MAKEWPARAM(1, BN_CLICKED), reinterpret_cast<LPARAM>(ch));
    EXPECT_EQ(child->Count(CN_COMMAND), 1);
    NMHDR hdr{ch, 1, 0};
    SendMessageA(form->GetHandle(), WM_NOTIFY, 1, reinterpret_cast<LPARAM>(&hdr));
    EXPECT_EQ(child->Count(CN_NOTIFY), 1);
    LRESULT brush = 0;
    {
        TWindowDC dc(ch);
        brush = SendMessageA(form->GetHandle(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc.Get()),
                             reinterpret_cast<LPARAM>(ch));
    }
    EXPECT_EQ(child->Count(CN_CTLCOLORSTATIC), 1);
    EXPECT_NE(brush, 0); // unanswered: the parent's default brush
    SendMessageA(form->GetHandle(), WM_HSCROLL, SB_LINEDOWN, reinterpret_cast<LPARAM>(ch));
    EXPECT_EQ(child->Count(CN_HSCROLL), 1);
}

TEST(Controls, MouseCaptureFollowsADrag)
{
    auto form = MakeForm();
    auto* c = New<TLogControl>(form.get());
    c->SetParent(form.get());
    c->SetBounds(10, 10, 100, 50);
    HWND h = c->GetHandle();

    SendMessageA(h, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    EXPECT_EQ(GetCapture(), h);
    EXPECT_EQ(GetCaptureControl(), c);
    SendMessageA(h, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(300, 300));
    EXPECT_EQ(c->Moves, 1);
    SendMessageA(h, WM_LBUTTONUP, 0, MAKELPARAM(6, 6));
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_EQ(GetCaptureControl(), nullptr);
    EXPECT_EQ(c->Clicks, 1);
    EXPECT_EQ(c->Ups, 1);

    // Released outside: no click.
    SendMessageA(h, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    SendMessageA(h, WM_LBUTTONUP, 0, MAKELPARAM(500, 5));
    EXPECT_EQ(c->Clicks, 1);

    // Cancel mode ends the drag: capture gone, a mouse-up outside, no click.
    SendMessageA(h, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    ASSERT_EQ(GetCapture(), h);
    int ups = c->Ups;
    SendMessageA(h, WM_CANCELMODE, 0, 0);
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_EQ(GetCaptureControl(), nullptr);
    EXPECT_EQ(c->Count(CM_CANCELMODE), 1);
    EXPECT_EQ(c->Ups, ups + 1);
    EXPECT_EQ(c->Clicks, 1);
    EXPECT_EQ(c->GetControlState() & csLButtonDown, 0u);

    // Another window taking the capture ends it the same way.
    SendMessageA(h, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    ASSERT_EQ(GetCapture(), h);
    SetCapture(form->GetHandle());
    EXPECT_EQ(GetCaptureControl(), nullptr);
    EXPECT_EQ(c->Count(CM_CANCELMODE), 2);
    ReleaseCapture();
}

TEST(Controls, WindowlessChildGetsMouseAndCaptureThroughItsParent)
{
    auto form = MakeForm();
    auto* parent = New<TLogControl>(form.get());
    parent->SetParent(form.get());
    parent->SetBounds(0, 0, 200, 100);
    auto* g = New<TLogGraphic>(form.get());
    g->SetParent(parent);
    g->SetBounds(20, 30, 40, 10);
    HWND h = parent->GetHandle();
    SendMessageA(h, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(25, 35));
    EXPECT_EQ(g->Downs, 1);
    EXPECT_EQ(g->LastMouse.x, 5);
    EXPECT_EQ(g->LastMouse.y, 5);
    EXPECT_EQ(parent->Downs, 0);
    EXPECT_EQ(GetCaptureControl(), g);
    EXPECT_EQ(GetCapture(), h);
    // Outside its bounds the capturing child still gets the moves, in its own coordinates.
    SendMessageA(h, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(150, 80));
    EXPECT_EQ(g->Moves, 1);
    EXPECT_EQ(g->LastMouse.x, 130);
    EXPECT_EQ(parent->Moves, 0);
    SendMessageA(h, WM_LBUTTONUP, 0, MAKELPARAM(30, 35));
    EXPECT_EQ(g->Clicks, 1);
    EXPECT_EQ(GetCaptureControl(), nullptr);
    EXPECT_EQ(GetCapture(), nullptr);
    // Outside any windowless child the parent handles the mouse itself.
    SendMessageA(h, WM_MOUSEMOVE, 0, MAKELPARAM(150, 80));
    EXPECT_EQ(parent->Moves, 1);
    EXPECT_EQ(form->ControlAtPos(POINT{5, 5}, false, true), parent);
    EXPECT_EQ(parent->ControlAtPos(POINT{25, 35}, false), g);
    g->SetEnabled(false);
    EXPECT_EQ(parent->ControlAtPos(POINT{25, 35}, false), nullptr);
    EXPECT_EQ(parent->ControlAtPos(POINT{25, 35}, true), g);
}

TEST(Controls, DoubleBufferedPaintErasesThroughTheMemoryDC)
{
    class TBuffered : public TLogControl {
    public:
        using TLogControl::TLogControl;
        WPARAM EraseW = 0;
        LPARAM EraseL = 0;
        int Erases = 0;
        void Dispatch(TMessage& m) override
        {
            if (m.Msg == WM_ERASEBKGND) {
                ++Erases;
                EraseW = m.WParam;
                EraseL = m.LParam;
            }
            TLogControl::Dispatch(m);
        }
    };
    auto form = MakeForm();
    auto* c = new TBuffered(form.get());
    c->SetParent(form.get());
    c->SetBounds(0, 0, 60, 40);
    c->SetDoubleBuffered(true);
    form->Show();
    int before = LivePaintBuffers();
    RedrawWindow(c->GetHandle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    EXPECT_GE(c->Paints, 1);
    EXPECT_NE(c->EraseW, 0u);
    EXPECT_EQ(c->EraseW, static_cast<WPARAM>(c->EraseL)); // the buffered pass names the memory DC twice
    EXPECT_EQ(reinterpret_cast<WPARAM>(c->LastPaintDC), c->EraseW);
    EXPECT_EQ(GetObjectType(c->LastPaintDC), 0u); // the memory DC is gone
    EXPECT_EQ(LivePaintBuffers(), before);
    // What was painted into the buffer reaches the window, edge to edge.
    c->SetColor(clFuchsia);
    RedrawWindow(c->GetHandle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    TWindowDC window(c->GetHandle());
    for (POINT p : {POINT{0, 0}, POINT{59, 39}, POINT{30, 20}})
        EXPECT_EQ(GetPixel(window.Get(), p.x, p.y), static_cast<COLORREF>(ColorToRGB(clFuchsia))) << p.x << "," << p.y;
    form->Hide();
}

// Frames are painted by the default handling, which frameless windows of the library's own
// classes skip: the controls with an edge or a scroll bar must still show them.
TEST(Controls, FramedControlsOfTheLibrarysClassesShowTheirFrames)
{
    class TFramed : public TLogControl {
    public:
        using TLogControl::TLogControl;
        DWORD Style = 0;
        DWORD ExStyle = 0;

    protected:
        void CreateParams(TCreateParams& p) override
        {
            TLogControl::CreateParams(p);
            p.Style |= Style;
            p.ExStyle |= ExStyle;
        }
    };
    struct TCase {
        const char* What;
        DWORD Style;
        DWORD ExStyle;
    };
    const TCase cases[] = {
        {"client edge", 0, WS_EX_CLIENTEDGE},
        {"static edge", 0, WS_EX_STATICEDGE},
        {"scroll bar and client edge", WS_VSCROLL, WS_EX_CLIENTEDGE},
    };
    auto form = MakeForm();
    form->SetColor(clLime);
    std::vector<TFramed*> controls;
    for (const TCase& c : cases) {
        auto* control = new TFramed(form.get());
        control->Style = c.Style;
        control->ExStyle = c.ExStyle;
        control->SetColor(clYellow);
        control->SetBounds(10, 10 + 50 * static_cast<int>(controls.size()), 80, 40);
        control->SetParent(form.get());
        controls.push_back(control);
    }
    form->Show();
    UpdateWindow(form->GetHandle());
    PumpMessages();
    for (size_t i = 0; i < controls.size(); ++i) {
        TWindowDC frame(controls[i]->GetHandle(), true);
        RECT r{};
        GetWindowRect(controls[i]->GetHandle(), &r);
        // The outer edge's lower right pixel is drawn in the highlight colour.
        EXPECT_EQ(GetPixel(frame.Get(), r.right - r.left - 1, r.bottom - r.top - 1), GetSysColor(COLOR_BTNHIGHLIGHT))
            << cases[i].What;
    }
    form->Hide();
}

TEST(Controls, FreeingAControlInItsOwnClickHandlerIsSafe)
{
    auto form = MakeForm();
    auto* c = New<TLogControl>(form.get());
    c->SetParent(form.get());
    c->SetBounds(0, 0, 50, 50);
    std::weak_ptr<int> alive = c->LifeToken();
    c->OnClick = TNotifyEvent([&](TObject*) { c->Free(); });
    HWND h = c->GetHandle();
    SendMessageA(h, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    SendMessageA(h, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    EXPECT_TRUE(alive.expired());
    EXPECT_FALSE(IsWindow(h));
    EXPECT_EQ(form->GetControlCount(), 0);
    EXPECT_EQ(GetCaptureControl(), nullptr);
}

TEST(Controls, ExceptionInAHandlerGoesToTheApplication)
{
    std::vector<std::string> reported;
    TObject* reportedSender = nullptr;
    Application->OnException = TExceptionEvent([&](TObject* sender, const Exception& e) {
        reported.push_back(e.GetMessage());
        reportedSender = sender;
    });
    auto form = MakeForm();
    auto* c = New<TLogControl>(form.get());
    c->SetParent(form.get());
    c->OnApp = [] { throw EInvalidOperation("boom"); };
    EXPECT_EQ(SendMessageA(c->GetHandle(), WM_APP, 0, 0), 0);
    c->OnApp = [] { throw std::runtime_error("std failure"); };
    SendMessageA(c->GetHandle(), WM_APP, 0, 0);
    c->OnApp = [] { Abort(); };
    SendMessageA(c->GetHandle(), WM_APP, 0, 0);
    // Through a posted message and the application's loop as well.
    c->OnApp = [] { throw EConvertError("posted"); };
    PostMessageA(c->GetHandle(), WM_APP, 0, 0);
    Application->ProcessMessages();
    Application->OnException = nullptr;
    ASSERT_EQ(reported.size(), 3u);
    EXPECT_EQ(reported[0], "boom");
    EXPECT_EQ(reported[1], "std failure");
    EXPECT_EQ(reported[2], "posted");
    EXPECT_EQ(reportedSender, c);
}

TEST(Controls, TimerFiresAndStops)
{
    int activeBefore = TTimer::ActiveTimerCount();
    std::unique_ptr<TTimer, TObjectFree> timer(New<TTimer>(nullptr));
    int ticks = 0;
    timer->SetInterval(10);
    timer->SetOnTimer(TNotifyEvent([&](TObject*) { ++ticks; }));
    EXPECT_EQ(TTimer::ActiveTimerCount(), activeBefore + 1);
    DWORD start = GetTickCount();
    while (ticks < 3 && GetTickCount() - start < 5000) {
        Application->ProcessMessages();
        Sleep(1);
    }
    EXPECT_GE(ticks, 3);
    timer->SetEnabled(false);
    EXPECT_EQ(TTimer::ActiveTimerCount(), activeBefore);
    Application->ProcessMessages();
    int stopped = ticks;
    Sleep(50);
    Application->ProcessMessages();
    EXPECT_EQ(ticks, stopped);

    // An exception in OnTimer is reported, and a timer may free itself in its handler.
    int reports = 0;
    Application->OnException = TExceptionEvent([&](TObject*, const Exception&) { ++reports; });
    TTimer* self = New<TTimer>(nullptr);
    self->SetInterval(5);
    self->SetOnTimer(TNotifyEvent([&](TObject*) {
        self->Free();
        throw EInvalidOperation("after free");
    }));
    start = GetTickCount();
    while (reports == 0 && GetTickCount() - start < 5000) {
        Application->ProcessMessages();
        Sleep(1);
    }
    Application->OnException = nullptr;
    EXPECT_EQ(reports, 1);
    EXPECT_EQ(TTimer::ActiveTimerCount(), activeBefore);
}

TEST(Controls, UtilityWindowReceivesMessages)
{
    int before = AllocatedHWndCount();
    std::vector<UINT> got;
    HWND wnd = AllocateHWnd(TWndMethod([&](TMessage& m) {
        got.push_back(m.Msg);
        if (m.Msg == WM_APP + 5)
            m.Result = 7;
    }));
    EXPECT_EQ(AllocatedHWndCount(), before + 1);
    EXPECT_EQ(SendMessageA(wnd, WM_APP + 5, 0, 0), 7);
    DeallocateHWnd(wnd);
    EXPECT_FALSE(IsWindow(wnd));
    EXPECT_EQ(AllocatedHWndCount(), before);
}

TEST(Controls, ColorAndFontFollowTheParentUntilSetHere)
{
    auto form = MakeForm();
    EXPECT_EQ(form->GetColor(), clBtnFace);
    auto* panel = New<TLogControl>(form.get());
    panel->SetControlStyle(panel->GetControlStyle() | csAcceptsControls);
    panel->SetParent(form.get());
    auto* child = New<TLogGraphic>(form.get());
    child->SetParent(panel);
    EXPECT_EQ(panel->GetColor(), clBtnFace);
    EXPECT_EQ(child->GetColor(), clBtnFace);
    form->SetColor(clRed);
    EXPECT_EQ(child->GetColor(), clRed);
    EXPECT_TRUE(child->GetParentColor());
    panel->SetColor(clBlue);
    EXPECT_FALSE(panel->GetParentColor());
    EXPECT_EQ(child->GetColor(), clBlue);
    form->SetColor(clGreen);
    EXPECT_EQ(panel->GetColor(), clBlue);
    panel->SetParentColor(true);
    EXPECT_EQ(panel->GetColor(), clGreen);
    EXPECT_EQ(child->GetColor(), clGreen);

    form->GetFont()->SetSize(14);
    EXPECT_EQ(child->GetFont()->GetSize(), 14);
    EXPECT_TRUE(child->GetParentFont());
    EXPECT_GE(panel->Count(CM_FONTCHANGED), 1);
    child->GetFont()->SetStyle(TFontStyles{fsBold});
    EXPECT_FALSE(child->GetParentFont());
    form->GetFont()->SetSize(10);
    EXPECT_EQ(panel->GetFont()->GetSize(), 10);
    EXPECT_EQ(child->GetFont()->GetSize(), 14);

    // Painting: the erase uses the control's colour, windowless children paint on the parent.
    form->SetBounds(0, 0, 200, 150);
    panel->SetBounds(10, 10, 100, 80);
    panel->SetColor(clYellow);
    child->SetBounds(5, 5, 20, 20);
    child->SetColor(clFuchsia);
    form->HandleNeeded();
    TWindowDC screen;
    TGdiObject<HBITMAP> bmp(CreateCompatibleBitmap(screen.Get(), 200, 150));
    TBitmapDC dc(screen.Get(), bmp.Get());
    form->PaintTo(dc.Get(), 0, 0);
    EXPECT_EQ(GetPixel(dc.Get(), 150, 120), static_cast<COLORREF>(ColorToRGB(clGreen)));
    EXPECT_EQ(GetPixel(dc.Get(), 90, 60), static_cast<COLORREF>(ColorToRGB(clYellow)));
    EXPECT_EQ(GetPixel(dc.Get(), 20, 20), static_cast<COLORREF>(ColorToRGB(clFuchsia)));
}

TEST(Controls, ScrollByMovesEveryChild)
{
    auto form = MakeForm();
    auto* win = New<TLogControl>(form.get());
    win->SetParent(form.get());
    win->SetBounds(10, 40, 30, 20);
    auto* g = New<TLogGraphic>(form.get());
    g->SetParent(form.get());
    g->SetBounds(50, 60, 10, 10);
    win->HandleNeeded();
    form->ScrollBy(5, -30);
    EXPECT_EQ(win->GetLeft(), 15);
    EXPECT_EQ(win->GetTop(), 10);
    EXPECT_EQ(g->GetLeft(), 55);
    EXPECT_EQ(g->GetTop(), 30);
    RECT r{};
    GetWindowRect(win->GetHandle(), &r);
    MapWindowPoints(nullptr, form->GetHandle(), reinterpret_cast<POINT*>(&r), 2);
    EXPECT_EQ(r.left, 15);
    EXPECT_EQ(r.top, 10);
}

TEST(Controls, ConstraintsLimitTheSizeAndAutoSizeFitsTheChildren)
{
    std::unique_ptr<TLogControl, TObjectFree> host(New<TLogControl>(nullptr));
    host->SetConstraints(TSizeConstraints{50, 30, 200, 0});
    EXPECT_EQ(host->GetWidth(), 50);
    EXPECT_EQ(host->GetHeight(), 30);
    host->SetBounds(0, 0, 500, 400);
    EXPECT_EQ(host->GetWidth(), 200);
    EXPECT_EQ(host->GetHeight(), 400);
    host->SetConstraints(TSizeConstraints{});

    auto* a = New<TLogGraphic>(host.get());
    a->SetParent(host.get());
    a->SetBounds(5, 5, 20, 20);
    auto* b = New<TLogControl>(host.get());
    b->SetParent(host.get());
    b->SetBounds(30, 10, 40, 50);
    host->SetAutoSize(true);
    EXPECT_EQ(host->GetWidth(), 70);
    EXPECT_EQ(host->GetHeight(), 60);
    b->SetVisible(false);
    host->AdjustSize();
    EXPECT_EQ(host->GetWidth(), 25);
    EXPECT_EQ(host->GetHeight(), 25);

    EXPECT_FALSE(host->GetParentBackground());
    host->SetParentBackground(true);
    EXPECT_NE(host->GetControlStyle() & csParentBackground, 0u);
}
