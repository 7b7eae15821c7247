// The themed controls in real windows: hover and press from the messages the system sends,
// smart focus, the alignment panel's arithmetic and painting, the label's text, accelerators and
// sizing, and that nothing they make outlives them.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "SkinControlsTestSupport.h"
#include "SkinTestSupport.h"
#include "TestSupport.h"
#include "platform/ExtCtrls.h"
#include "platform/ScopeGuards.h"
#include "platform/Streams.h"
#include "platform/SysUtils.h"
#include "skin/SkinControls.h"
#include "skin/SkinUtils.h"
#include "toolbar/TBHintWindow.h"

namespace {

template <class T>
T* Make(TWinControl* parent, int left, int top, int width, int height)
{
    T* control = New<T>(THostForm::Form());
    control->SetParent(parent);
    control->SetBounds(left, top, width, height);
    control->HandleNeeded();
    return control;
}

class SkinControls : public testing::Test {
protected:
    void SetUp() override { THostForm::Clear(); }
    void TearDown() override { THostForm::Clear(); }
    TForm* Form() { return THostForm::Form(); }
};

void Watch(TSkinControl* control, TEventLog& log, const std::string& name)
{
    control->OnMouseEnter = TNotifyEvent([&log, name](TObject*) { log.Add("enter-" + name); });
    control->OnMouseLeave = TNotifyEvent([&log, name](TObject*) { log.Add("leave-" + name); });
}

TDIBPtr Snapshot(TWinControl* control, uint32_t fill = 0x123456)
{
    TDIBPtr dib = MakeDIB(control->GetWidth(), control->GetHeight(), fill);
    control->PaintTo(dib->GetDC(), 0, 0);
    GdiFlush();
    return dib;
}

int LineHeight(TFont* font)
{
    TMemoryDC dc;
    TSelectGuard select(dc.Get(), font->GetHandle());
    RECT r{0, 0, 1000, 0};
    return DrawTextW(dc.Get(), L" ", 1, &r, DT_CALCRECT | DT_SINGLELINE);
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Spacing

TEST(SkinControlMargins, EachChangeAndEachAssignTellsOnce)
{
    std::unique_ptr<TSkinControlMargins, TObjectFree> m(New<TSkinControlMargins>());
    std::unique_ptr<TSkinControlPaddings, TObjectFree> source(New<TSkinControlPaddings>());
    int changes = 0;
    m->OnChange = TNotifyEvent([&](TObject*) { ++changes; });
    struct TStep {
        std::function<void()> Act;
        int Changes;
    } steps[] = {
        {[&] { m->SetLeft(3); }, 1},
        {[&] { m->SetLeft(3); }, 0},
        {[&] { m->SetBottom(-2); }, 1},
        {[&] {
             source->SetTop(5);
             source->SetRight(7);
             m->Assign(source.get());
         },
         1},
    };
    for (const TStep& step : steps) {
        changes = 0;
        step.Act();
        EXPECT_EQ(changes, step.Changes);
    }
    EXPECT_EQ(m->GetLeft(), 0);
    EXPECT_EQ(m->GetTop(), 5);
    EXPECT_EQ(m->GetRight(), 7);
    EXPECT_EQ(m->GetBottom(), 0);
    const RECT inside = m->Inside(RECT{0, 0, 100, 50});
    EXPECT_TRUE(SameRect(inside, RECT{0, 5, 93, 50}));
}

// ---------------------------------------------------------------------------------------------
// Hover

TEST_F(SkinControls, MovingOntoAnotherControlLeavesTheFirstBeforeTheSecondEnters)
{
    auto* a = Make<TSkinLabel>(Form(), 10, 10, 120, 30);
    auto* b = Make<TSkinLabel>(Form(), 10, 60, 120, 30);
    TEventLog log;
    Watch(a, log, "a");
    Watch(b, log, "b");

    SendMouseMove(a, 5, 5);
    EXPECT_TRUE(a->GetMouseInControl());
    EXPECT_EQ(TSkinControl::GetTrackedControl(), a);
    EXPECT_TRUE(TSkinControl::GetHoverTimer()->GetEnabled());
    SendMouseMove(a, 6, 5);
    SendMouseMove(b, 5, 5);
    EXPECT_EQ(log.Joined(), "enter-a leave-a enter-b");
    EXPECT_FALSE(a->GetMouseInControl());
    EXPECT_TRUE(b->GetMouseInControl());
    EXPECT_EQ(TSkinControl::GetTrackedControl(), b);
}

TEST_F(SkinControls, LeavingOntoAForeignWindowIsNoticedByTheNextTick)
{
    auto* a = Make<TSkinButton>(Form(), 10, 10, 80, 30);
    HWND foreign = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, 200, 10, 80, 30, Form()->GetHandle(),
                                   nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(foreign, nullptr);
    TEventLog log;
    Watch(a, log, "a");
    SendMouseMove(a, 5, 5);
    ASSERT_TRUE(a->GetMouseInControl());

    // Nothing tells the button the pointer went: only the timer's tick does.
    POINT onForeign{210, 20};
    ClientToScreen(Form()->GetHandle(), &onForeign);
    SetCursorPos(onForeign.x, onForeign.y);
    TTimer* timer = TSkinControl::GetHoverTimer();
    EXPECT_EQ(timer->GetInterval(), TSkinControl::HoverInterval);
    timer->GetOnTimer()(timer);
    EXPECT_EQ(log.Joined(), "enter-a leave-a");
    EXPECT_EQ(TSkinControl::GetTrackedControl(), nullptr);
    EXPECT_FALSE(timer->GetEnabled());
    DestroyWindow(foreign);
}

TEST_F(SkinControls, DisabledControlsNeverBecomeHotAndDisablingLeavesOnce)
{
    auto* a = Make<TSkinButton>(Form(), 10, 10, 80, 30);
    TEventLog log;
    Watch(a, log, "a");
    a->SetEnabled(false);
    SendMouseMove(a, 5, 5);
    SendLeftDown(a, 5, 5);
    SendLeftUp(a, 5, 5);
    EXPECT_FALSE(a->GetMouseInControl());
    EXPECT_EQ(log.Joined(), "");

    a->SetEnabled(true);
    SendMouseMove(a, 5, 5);
    ASSERT_TRUE(a->GetMouseInControl());
    a->SetEnabled(false);
    a->SetEnabled(true);
    a->SetEnabled(false);
    EXPECT_EQ(log.Joined(), "enter-a leave-a");
    EXPECT_EQ(TSkinControl::GetTrackedControl(), nullptr);
    EXPECT_FALSE(TSkinControl::GetHoverTimer()->GetEnabled());
}

TEST_F(SkinControls, TheHoverTimerLivesFromTheFirstControlToTheLast)
{
    ASSERT_EQ(TSkinControl::GetHoverTimer(), nullptr);
    auto* a = Make<TSkinLabel>(Form(), 10, 10, 80, 30);
    auto* b = Make<TSkinLabel>(Form(), 10, 60, 80, 30);
    ASSERT_NE(TSkinControl::GetHoverTimer(), nullptr);
    EXPECT_FALSE(TSkinControl::GetHoverTimer()->GetEnabled());
    SendMouseMove(b, 5, 5);
    b->Free();
    EXPECT_EQ(TSkinControl::GetTrackedControl(), nullptr);
    EXPECT_FALSE(TSkinControl::GetHoverTimer()->GetEnabled());

    // The last control freed from its own leave event, inside a tick of the timer: the timer
    // goes with it, from within its own message.
    SendMouseMove(a, 5, 5);
    bool freed = false;
    a->OnMouseLeave = TNotifyEvent([&](TObject* sender) {
        static_cast<TSkinLabel*>(sender)->Free();
        freed = true;
    });
    SetCursorPos(1, 1);
    const DWORD start = GetTickCount();
    while (!freed && GetTickCount() - start < 3000) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        PumpMessages();
    }
    EXPECT_TRUE(freed);
    EXPECT_EQ(TSkinControl::GetHoverTimer(), nullptr);
    EXPECT_EQ(TSkinControl::GetTrackedControl(), nullptr);
}

// ---------------------------------------------------------------------------------------------
// Pushing

TEST_F(SkinControls, PressesClickOnlyWhenTheyEndOnTheControl)
{
    struct TCase {
        const char* Name;
        std::function<void(TSkinButton*)> Act;
        int Clicks;
    } cases[] = {
        {"mouse in, out", [](TSkinButton* b) { SendLeftDown(b, 5, 5), SendLeftUp(b, 6, 6); }, 1},
        {"released outside", [](TSkinButton* b) { SendLeftDown(b, 5, 5), SendLeftUp(b, 200, 6); }, 0},
        {"space", [](TSkinButton* b) { SendKey(b, WM_KEYDOWN, VK_SPACE), SendKey(b, WM_KEYUP, VK_SPACE); }, 1},
        {"space repeating",
         [](TSkinButton* b) {
             for (int i = 0; i < 3; ++i)
                 SendKey(b, WM_KEYDOWN, VK_SPACE);
             SendKey(b, WM_KEYUP, VK_SPACE);
         },
         1},
        {"space, focus lost",
         [](TSkinButton* b) {
             SendKey(b, WM_KEYDOWN, VK_SPACE);
             SendMessageA(b->GetHandle(), WM_KILLFOCUS, 0, 0);
             SendKey(b, WM_KEYUP, VK_SPACE);
         },
         0},
        {"other key", [](TSkinButton* b) { SendKey(b, WM_KEYDOWN, 'A'), SendKey(b, WM_KEYUP, 'A'); }, 0},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        auto* b = Make<TSkinButton>(Form(), 10, 10, 80, 30);
        int clicks = 0;
        b->OnClick = TNotifyEvent([&](TObject*) { ++clicks; });
        c.Act(b);
        EXPECT_EQ(clicks, c.Clicks);
        EXPECT_FALSE(b->GetPushed());
        EXPECT_FALSE(b->GetKeyPushed());
        b->Free();
    }
}

TEST_F(SkinControls, SmartFocusMovesTheFocusOnlyInsideTheFocusedContainer)
{
    auto* outside = Make<TSkinButton>(Form(), 300, 10, 80, 30);
    auto* panel = Make<TSkinAlignmentPanel>(Form(), 10, 10, 200, 100);
    auto* a = Make<TSkinButton>(panel, 5, 5, 80, 30);
    auto* b = Make<TSkinButton>(panel, 5, 50, 80, 30);
    SetForegroundWindow(Form()->GetHandle());
    outside->SetFocus();
    ASSERT_TRUE(outside->Focused());

    SendLeftDown(a, 5, 5);
    SendLeftUp(a, 5, 5);
    EXPECT_TRUE(outside->Focused());

    a->SetFocus();
    ASSERT_TRUE(a->Focused());
    SendLeftDown(b, 5, 5);
    SendLeftUp(b, 5, 5);
    EXPECT_TRUE(b->Focused());

    b->SetSmartFocus(false);
    outside->SetFocus();
    SendLeftDown(b, 5, 5);
    SendLeftUp(b, 5, 5);
    EXPECT_TRUE(b->Focused());
}

// ---------------------------------------------------------------------------------------------
// Alignment panel

TEST_F(SkinControls, AlignmentPanelClientAreaAndCountedSizes)
{
    struct TCase {
        RECT Margins;
        RECT Paddings;
        TColor Border;
        RECT Client;      // of a 200 x 100 panel
        int MaxHeight;    // children below: top 20 + bottom 10 + client panel (its own 7) + spacing
        int MaxWidth;     // left 30 + client panel (its own 9) + spacing
    } cases[] = {
        {{0, 0, 0, 0}, {0, 0, 0, 0}, clNone, {0, 0, 200, 100}, 37, 39},
        {{1, 2, 3, 4}, {0, 0, 0, 0}, clNone, {1, 2, 197, 96}, 43, 43},
        {{1, 2, 3, 4}, {5, 6, 7, 8}, clNone, {6, 8, 190, 88}, 57, 55},
        {{1, 2, 3, 4}, {5, 6, 7, 8}, clRed, {7, 9, 189, 87}, 59, 57},
    };
    for (const TCase& c : cases) {
        auto* panel = Make<TSkinAlignmentPanel>(Form(), 10, 10, 200, 100);
        panel->GetMargins()->SetLeft(c.Margins.left);
        panel->GetMargins()->SetTop(c.Margins.top);
        panel->GetMargins()->SetRight(c.Margins.right);
        panel->GetMargins()->SetBottom(c.Margins.bottom);
        panel->GetPaddings()->SetLeft(c.Paddings.left);
        panel->GetPaddings()->SetTop(c.Paddings.top);
        panel->GetPaddings()->SetRight(c.Paddings.right);
        panel->GetPaddings()->SetBottom(c.Paddings.bottom);
        panel->SetBorderColor(c.Border);
        RECT client = panel->GetClientRect();
        panel->AdjustClientRect(client);
        EXPECT_TRUE(SameRect(client, c.Client)) << client.left << "," << client.top << "," << client.right << ","
                                                << client.bottom;

        auto* top = Make<TSkinButton>(panel, 0, 0, 50, 20);
        top->SetAutoSize(false);
        top->SetHeight(20);
        top->SetAlign(alTop);
        auto* bottom = New<TPanel>(Form());
        bottom->SetParent(panel);
        bottom->SetHeight(10);
        bottom->SetAlign(alBottom);
        auto* left = New<TPanel>(Form());
        left->SetParent(panel);
        left->SetWidth(30);
        left->SetAlign(alLeft);
        auto* hidden = New<TPanel>(Form());
        hidden->SetParent(panel);
        hidden->SetHeight(500);
        hidden->SetAlign(alTop);
        hidden->SetVisible(false);
        // A plain control filling the panel counts its minimum; a themed one what it counts.
        auto* plain = New<TPanel>(Form());
        plain->SetParent(panel);
        plain->SetConstraints(TSizeConstraints{0, 0, 0, 0});
        plain->SetAlign(alClient);
        auto* inner = Make<TSkinAlignmentPanel>(panel, 0, 0, 10, 10);
        inner->GetPaddings()->SetTop(7);
        inner->GetPaddings()->SetLeft(9);
        inner->SetAlign(alClient);
        EXPECT_EQ(panel->GetMaxHeightBase(), c.MaxHeight);
        EXPECT_EQ(panel->GetMaxWidthBase(), c.MaxWidth);
        panel->Free();
    }
}

TEST_F(SkinControls, AlignmentPanelPaintsItsBorderAndFillOrOnlyCallsOnPaint)
{
    auto* panel = Make<TSkinAlignmentPanel>(Form(), 10, 10, 40, 30);
    panel->GetMargins()->SetLeft(2);
    panel->GetMargins()->SetTop(2);
    int painted = 0;
    panel->OnPaint = TNotifyEvent([&](TObject*) { ++painted; });
    auto paint = [&] {
        TDIBPtr dib = MakeDIB(40, 30, 0x123456);
        panel->Perform(WM_PAINT, WPARAM(dib->GetDC()), 0);
        GdiFlush();
        return dib;
    };

    panel->SetBorderColor(clNone);
    panel->SetColor(clNone);
    TDIBPtr nothing = paint();
    EXPECT_EQ(painted, 1);
    for (uint32_t p : PixelsOf(nothing.get()))
        ASSERT_EQ(RGBOf(p), 0x123456u);

    panel->SetBorderColor(clRed);
    panel->SetColor(clBlue);
    TDIBPtr framed = paint();
    EXPECT_EQ(painted, 2);
    EXPECT_EQ(RGBOf(PixelAt(framed.get(), 1, 1)), 0x123456u);
    EXPECT_EQ(RGBOf(PixelAt(framed.get(), 2, 2)), 0xFF0000u);
    EXPECT_EQ(RGBOf(PixelAt(framed.get(), 39, 29)), 0xFF0000u);
    EXPECT_EQ(RGBOf(PixelAt(framed.get(), 3, 3)), 0x0000FFu);

    // Without a border the fill reaches the right and bottom edges.
    panel->SetBorderColor(clNone);
    TDIBPtr filled = paint();
    EXPECT_EQ(RGBOf(PixelAt(filled.get(), 2, 2)), 0x0000FFu);
    EXPECT_EQ(RGBOf(PixelAt(filled.get(), 39, 29)), 0x0000FFu);
}

// ---------------------------------------------------------------------------------------------
// Text and label

TEST_F(SkinControls, AnEmptyCaptionOrALoneAmpersandMeasuresOneLine)
{
    auto* label = Make<TSkinLabel>(Form(), 10, 10, 150, 50);
    const int line = LineHeight(label->GetFont());
    for (const wchar_t* caption : {L"", L"&", L"Text"}) {
        label->SetCaption(caption);
        EXPECT_EQ(label->GetHeight(), line) << WideToAnsi(caption);
    }
    label->GetMargins()->SetTop(3);
    label->GetMargins()->SetBottom(4);
    label->SetUnderline(true);
    EXPECT_EQ(label->GetHeight(), line + 3 + 4 + 1);
}

// Heights the windows of this thread were given through WM_SIZE, in order.
std::vector<std::pair<HWND, int>> gSizedWindows;

LRESULT CALLBACK RecordSizes(int code, WPARAM wParam, LPARAM lParam)
{
    const auto* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && call->message == WM_SIZE)
        gSizedWindows.emplace_back(call->hwnd, HIWORD(call->lParam));
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// A caption given before the window exists sizes the control as one given afterwards does, and
// the window is made at that height: it is never shown at the height it was placed with.
TEST_F(SkinControls, ACaptionGivenBeforeTheWindowSizesItAsOneGivenAfter)
{
    struct TCase {
        const wchar_t* Caption;
        int Width;
        TTextWrapping Wrapping;
    };
    const TCase cases[] = {
        {L"", 150, twWrap},
        {L"One line", 150, twWrap},
        {L"Several words that wrap onto more lines when the label is narrow", 80, twWrap},
        {L"Several words kept on one line with an ellipsis", 80, twEndEllipsis},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(WideToAnsi(c.Caption));
        auto* after = Make<TSkinLabel>(Form(), 10, 10, c.Width, 50);
        after->SetWrapping(c.Wrapping);
        after->SetCaption(c.Caption);

        auto* before = New<TSkinLabel>(Form());
        before->SetBounds(10, 80, c.Width, 50);
        before->SetWrapping(c.Wrapping);
        before->SetCaption(c.Caption);
        gSizedWindows.clear();
        {
            THookHandle hook(SetWindowsHookExA(WH_CALLWNDPROC, &RecordSizes, nullptr, GetCurrentThreadId()));
            before->SetParent(Form());
            before->HandleNeeded();
        }
        EXPECT_EQ(before->GetHeight(), after->GetHeight());
        RECT r{};
        GetClientRect(before->GetHandle(), &r);
        EXPECT_EQ(r.bottom, after->GetHeight());
        for (const auto& [wnd, height] : gSizedWindows)
            EXPECT_TRUE(wnd != before->GetHandle() || height == after->GetHeight()) << height;
        after->Free();
        before->Free();
    }
}

TEST_F(SkinControls, SettingTheSameCaptionNeitherResizesNorRepaints)
{
    auto* label = Make<TSkinLabel>(Form(), 10, 10, 150, 50);
    label->SetCaption(L"Same");
    int resized = 0;
    label->OnResize = TNotifyEvent([&](TObject*) { ++resized; });
    ValidateRect(label->GetHandle(), nullptr);
    label->SetCaption(L"Same");
    RECT update{};
    EXPECT_FALSE(GetUpdateRect(label->GetHandle(), &update, FALSE));
    EXPECT_EQ(resized, 0);
    label->SetCaption(L"Other");
    EXPECT_TRUE(GetUpdateRect(label->GetHandle(), &update, FALSE));
}

TEST_F(SkinControls, ANarrowedWrappingLabelGrowsTallerButKeepsItsWidth)
{
    auto* label = Make<TSkinLabel>(Form(), 10, 10, 400, 20);
    label->SetCaption(L"Several words that wrap onto more lines when the label is narrow");
    const int wide = label->GetHeight();
    label->SetWidth(80);
    EXPECT_GT(label->GetHeight(), wide);
    EXPECT_EQ(label->GetWidth(), 80);
    label->SetWrapping(twEndEllipsis);
    EXPECT_EQ(label->GetHeight(), wide);
    EXPECT_EQ(label->GetWidth(), 80);
}

TEST_F(SkinControls, ADisabledLabelIsEmbossed)
{
    auto* label = Make<TSkinLabel>(Form(), 10, 10, 120, 30);
    label->SetParentBackground(false);
    label->SetColor(clBlack);
    label->SetCaption(L"WWW");
    label->SetEnabled(false);
    TDIBPtr dib = Snapshot(label);
    const RECT light = InkBox(dib.get(), PixelRGB(GetSysColor(COLOR_BTNHIGHLIGHT)));
    const RECT shade = InkBox(dib.get(), PixelRGB(GetSysColor(COLOR_BTNSHADOW)));
    ASSERT_FALSE(IsRectEmpty(&shade));
    ASSERT_FALSE(IsRectEmpty(&light));
    EXPECT_EQ(light.right, shade.right + 1);
    EXPECT_EQ(light.bottom, shade.bottom + 1);

    label->SetEnabled(true);
    TDIBPtr plain = Snapshot(label);
    const RECT noLight = InkBox(plain.get(), PixelRGB(GetSysColor(COLOR_BTNHIGHLIGHT)));
    EXPECT_TRUE(IsRectEmpty(&noLight));
}

TEST_F(SkinControls, AnUnderlinedLabelDrawsItsLineBelowTheText)
{
    auto* label = Make<TSkinLabel>(Form(), 10, 10, 120, 30);
    label->SetParentBackground(false);
    label->SetColor(clWhite);
    label->SetCaption(L"Heading");
    label->GetMargins()->SetLeft(4);
    label->GetMargins()->SetRight(6);
    label->SetUnderline(true);
    label->SetUnderlineColor(clRed);
    TDIBPtr dib = Snapshot(label);
    const RECT line = InkBox(dib.get(), 0xFF0000);
    EXPECT_TRUE(SameRect(line, RECT{4, label->GetHeight() - 1, 120 - 6, label->GetHeight()}));
}

TEST_F(SkinControls, AcceleratorsFocusTheLabelsControlOrClickTheButton)
{
    auto* target = Make<TSkinButton>(Form(), 200, 10, 80, 30);
    auto* label = Make<TSkinLabel>(Form(), 10, 10, 120, 30);
    auto* button = Make<TSkinButton>(Form(), 10, 60, 80, 30);
    int labelClicks = 0, buttonClicks = 0;
    label->OnClick = TNotifyEvent([&](TObject*) { ++labelClicks; });
    button->OnClick = TNotifyEvent([&](TObject*) { ++buttonClicks; });
    button->SetCaption(L"&Go");
    SetForegroundWindow(Form()->GetHandle());
    button->SetFocus();

    struct TCase {
        const wchar_t* Caption;
        bool FocusControl;
        char Key;
        LRESULT Result;
        bool TargetFocused;
    } cases[] = {
        {L"&Name", true, 'n', 1, true},
        {L"&Name", true, 'N', 1, true},
        {L"&Name", false, 'n', 0, false},
        {L"a&&b", true, 'b', 0, false},
        {L"&a&&b", true, 'a', 1, true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(WideToAnsi(c.Caption) + " " + c.Key);
        button->SetFocus();
        label->SetCaption(c.Caption);
        label->SetFocusControl(c.FocusControl ? target : nullptr);
        EXPECT_EQ(Form()->Perform(CM_DIALOGCHAR, WPARAM(c.Key), 0x20000000), c.Result);
        EXPECT_EQ(target->Focused(), c.TargetFocused);
    }
    EXPECT_EQ(labelClicks, 0);
    EXPECT_EQ(buttonClicks, 0);
    EXPECT_EQ(Form()->Perform(CM_DIALOGCHAR, 'g', 0x20000000), 1);
    EXPECT_EQ(buttonClicks, 1);

    // A freed focus control is forgotten.
    label->SetCaption(L"&Name");
    label->SetFocusControl(target);
    target->Free();
    EXPECT_EQ(label->GetFocusControl(), nullptr);
    EXPECT_EQ(Form()->Perform(CM_DIALOGCHAR, 'n', 0x20000000), 0);
}

TEST_F(SkinControls, EnterClicksTheFocusedButtonOrRadioButtonOnly)
{
    auto* button = Make<TSkinButton>(Form(), 10, 10, 80, 30);
    auto* radio = Make<TSkinRadioButton>(Form(), 10, 60, 120, 30);
    int buttonClicks = 0, radioClicks = 0;
    button->OnClick = TNotifyEvent([&](TObject*) { ++buttonClicks; });
    radio->OnClick = TNotifyEvent([&](TObject*) { ++radioClicks; });
    SetForegroundWindow(Form()->GetHandle());
    button->SetFocus();
    EXPECT_EQ(button->Perform(CM_DIALOGKEY, VK_RETURN, 0), 1);
    EXPECT_EQ(radio->Perform(CM_DIALOGKEY, VK_RETURN, 0), 0);
    {
        TKeysDown shift({VK_SHIFT});
        EXPECT_EQ(button->Perform(CM_DIALOGKEY, VK_RETURN, 0), 0);
    }
    radio->SetFocus();
    EXPECT_EQ(Form()->Perform(CM_DIALOGKEY, VK_RETURN, 0), 1);
    EXPECT_EQ(buttonClicks, 1);
    EXPECT_EQ(radioClicks, 1);
    EXPECT_TRUE(radio->GetChecked());
}

TEST_F(SkinControls, CaptionsAndHintsStayWide)
{
    auto* label = Make<TSkinLabel>(Form(), 10, 10, 150, 30);
    const std::wstring russian = L"\x041F\x0440\x0438\x0432\x0435\x0442";
    label->SetCaption(russian);
    EXPECT_EQ(label->GetCaption(), russian);
    // 8-bit text set through the class library becomes the caption.
    label->TControl::SetCaption("Plain");
    EXPECT_EQ(label->GetCaption(), L"Plain");

    label->SetHint(russian + L"|long part");
    THintInfo info;
    label->Perform(CM_HINTSHOW, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(info.HintStr, WideToAnsi(russian, CP_UTF8));
}

// The pointer moved by the system's input queue, as a user's mouse moves it.
void MovePointerTo(POINT screen)
{
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dx = MulDiv(screen.x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
    input.mi.dy = MulDiv(screen.y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
    input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    SendInput(1, &input, sizeof(INPUT));
}

TEST_F(SkinControls, TipsOfCyrillicHintsShowInTheFrameworksTipWindow)
{
    const std::wstring russian = L"\x041F\x0440\x0438\x0432\x0435\x0442";
    struct TCase {
        const char* Name;
        TSkinTextObject* Control;
    };
    const TCase cases[] = {
        {"label", Make<TSkinLabel>(Form(), 10, 10, 150, 30)},
        {"button", Make<TSkinButton>(Form(), 10, 60, 150, 30)},
        {"radio button", Make<TSkinRadioButton>(Form(), 10, 110, 150, 30)},
    };
    const int pause = Application->GetHintPause(), shortPause = Application->GetHintShortPause();
    Application->SetHintPause(20);
    Application->SetHintShortPause(20);
    TScopeExit restore([&] {
        Application->SetHintPause(pause);
        Application->SetHintShortPause(shortPause);
    });
    for (const TCase& c : cases) {
        c.Control->SetCaption(L"A caption of some length");
        c.Control->SetHint(russian + L"|long part");
        c.Control->SetShowHint(true);
    }
    for (const TCase& c : cases) {
        Application->CancelHint();
        // On the caption: a radio button leaves the rest of its area to what lies below.
        MovePointerTo(c.Control->ClientToScreen(POINT{30, c.Control->GetHeight() / 2}));
        TTBHintWindow* tip = nullptr;
        for (int i = 0; i < 100 && !tip; ++i) {
            Sleep(10);
            Application->ProcessMessages();
            THintWindow* shown = Application->GetHintWindow();
            if (shown && shown->HandleAllocated() && IsWindowVisible(shown->GetHandle()))
                tip = dynamic_cast<TTBHintWindow*>(shown);
        }
        ASSERT_NE(tip, nullptr) << c.Name << ": no tip, or the application's plain one (it draws UTF-8 bytes as letters)";
        EXPECT_EQ(tip->GetCaption(), russian) << c.Name;
    }
    Application->CancelHint();
}

TEST_F(SkinControls, CaptionAndHintTravelThroughFormStreams)
{
    std::unique_ptr<TSkinLabel, TObjectFree> label(New<TSkinLabel>(nullptr));
    const std::wstring caption = L"\x05E9\x05DC\x05D5\x05DD & more";
    label->SetCaption(caption);
    label->SetHint(L"\x4E2D\x6587|long");
    std::unique_ptr<TMemoryStream, TObjectFree> stream(New<TMemoryStream>());
    stream->WriteComponent(label.get());
    stream->SetPosition(0);
    std::unique_ptr<TSkinLabel, TObjectFree> copy(New<TSkinLabel>(nullptr));
    stream->ReadComponent(copy.get());
    EXPECT_EQ(copy->GetCaption(), caption);
    EXPECT_EQ(copy->GetHint(), L"\x4E2D\x6587|long");
}

// ---------------------------------------------------------------------------------------------
// Leaks

TEST_F(SkinControls, ControlsGiveBackEveryWindowObjectAndTimer)
{
    PumpMessages();
    const TResourceCounts before = CountResources();
    for (int i = 0; i < 60; ++i) {
        auto* panel = Make<TSkinAlignmentPanel>(Form(), 10, 10, 200, 120);
        panel->SetBorderColor(clRed);
        auto* label = Make<TSkinLabel>(panel, 0, 0, 100, 20);
        label->SetCaption(L"&Label");
        label->SetUnderline(true);
        auto* button = Make<TSkinButton>(panel, 0, 30, 100, 30);
        button->SetCaption(L"Button");
        button->SetRepeating(true);
        auto* radio = Make<TSkinRadioButton>(panel, 0, 70, 100, 20);
        radio->SetCaption(L"Radio");
        SendMouseMove(button, 5, 5);
        SendLeftDown(button, 5, 5);
        Snapshot(panel);
        SendLeftUp(button, 5, 5);
        radio->Click();
        panel->Free();
    }
    PumpMessages();
    const TResourceCounts after = CountResources();
    EXPECT_EQ(after, before) << Describe(before) << " / " << Describe(after);
}
