// Themed push buttons and radio buttons in real windows: groups, clicks that repeat on fake
// timer ticks, the drop-down menu and the queue it leaves behind, measuring, the four glyph
// layouts in pixels, and radio groups with their transparent hit-testing.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "ScriptedInput.h"
#include "SkinControlsTestSupport.h"
#include "SkinTestSupport.h"
#include "TestSupport.h"
#include "platform/ExtCtrls.h"
#include "platform/ScopeGuards.h"
#include "skin/Skin.h"
#include "skin/SkinControls.h"
#include "skin/SkinPopup.h"
#include "toolbar/TBCommon.h"

namespace {

template <class T>
T* Make(int left, int top, int width, int height, TWinControl* parent = nullptr)
{
    T* control = New<T>(THostForm::Form());
    control->SetParent(parent ? parent : THostForm::Form());
    control->SetBounds(left, top, width, height);
    control->HandleNeeded();
    return control;
}

// A drop-down menu that returns at once, as a menu closed by a click would; Shown runs while it
// is "open".
class TInstantMenu : public TPopupMenu {
public:
    using TPopupMenu::TPopupMenu;
    void Popup(int x, int y) override
    {
        ++Popups;
        At = POINT{x, y};
        if (Shown)
            Shown();
    }
    int Popups = 0;
    POINT At{};
    std::function<void()> Shown;
};

class SkinButtons : public testing::Test {
protected:
    void SetUp() override { THostForm::Clear(); }
    void TearDown() override { THostForm::Clear(); }
    TForm* Form() { return THostForm::Form(); }
};

int Metric(int id)
{
    return CurrentTheme()->QueryIntegerMetric(id);
}

POINT ScreenPoint(TWinControl* control, int x, int y)
{
    POINT p{x, y};
    ClientToScreen(control->GetHandle(), &p);
    return p;
}

void Click(TWinControl* control, int x = 5, int y = 5)
{
    SendLeftDown(control, x, y);
    SendLeftUp(control, x, y);
}

TCustomImageList* RedImages()
{
    auto* images = New<TImageList>(THostForm::Form(), 16, 16);
    std::unique_ptr<TBitmap, TObjectFree> bitmap(New<TBitmap>());
    bitmap->SetSize(16, 16);
    bitmap->GetCanvas()->GetBrush()->SetColor(clRed);
    bitmap->GetCanvas()->FillRect(RECT{0, 0, 16, 16});
    images->Add(bitmap.get(), nullptr);
    return images;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Groups, modal result

TEST_F(SkinButtons, GroupedButtonsExcludeEachOtherAndKeepOneChecked)
{
    auto* a = Make<TSkinButton>(10, 10, 60, 25);
    auto* b = Make<TSkinButton>(80, 10, 60, 25);
    auto* c = Make<TSkinButton>(150, 10, 60, 25);
    auto* other = Make<TSkinButton>(220, 10, 60, 25);
    auto* single = Make<TSkinButton>(290, 10, 60, 25);
    for (TSkinButton* button : {a, b, c})
        button->SetGroupIndex(1);
    other->SetGroupIndex(2);
    int clicks = 0;
    b->OnClick = TNotifyEvent([&](TObject*) { ++clicks; });

    struct TStep {
        const char* Name;
        std::function<void()> Act;
        const char* Checked;   // a, b, c, other, single
    } steps[] = {
        {"index 0 never checks", [&] { single->SetChecked(true); }, "00000"},
        {"check a", [&] { a->SetChecked(true); }, "10000"},
        {"click b", [&] { Click(b); }, "01000"},
        {"click checked b", [&] { Click(b); }, "01000"},
        {"uncheck b by hand", [&] { b->SetChecked(false); }, "01000"},
        {"other group", [&] { other->SetChecked(true); }, "01010"},
        {"allow none", [&] { c->SetAllowAllUnchecked(true); }, "01010"},
        {"click checked b", [&] { Click(b); }, "00010"},
    };
    for (const TStep& step : steps) {
        step.Act();
        std::string checked;
        for (TSkinButton* button : {a, b, c, other, single})
            checked += button->GetChecked() ? '1' : '0';
        EXPECT_EQ(checked, step.Checked) << step.Name;
    }
    EXPECT_EQ(clicks, 3);
    EXPECT_TRUE(a->GetAllowAllUnchecked());
    EXPECT_FALSE(other->GetAllowAllUnchecked());
}

TEST_F(SkinButtons, AModalResultReachesTheForm)
{
    auto* button = Make<TSkinButton>(10, 10, 60, 25);
    button->SetModalResult(mrOk);
    Click(button);
    EXPECT_EQ(Form()->GetModalResult(), mrOk);
    Form()->SetModalResult(mrNone);
}

// ---------------------------------------------------------------------------------------------
// Repeating

TEST_F(SkinButtons, HeldRepeatingButtonClicksOnEachTickWhileThePointerStaysOnIt)
{
    auto* button = Make<TSkinButton>(10, 10, 80, 30);
    button->SetRepeating(true);
    int clicks = 0;
    button->OnClick = TNotifyEvent([&](TObject*) { ++clicks; });
    auto tick = [&] {
        TTimer* timer = button->GetRepeatTimer();
        ASSERT_NE(timer, nullptr);
        timer->GetOnTimer()(timer);
    };
    const POINT on = ScreenPoint(button, 5, 5), off = ScreenPoint(button, 300, 5);
    {
        TKeysDown held({VK_LBUTTON});
        SendMouseMove(button, 5, 5);
        SendLeftDown(button, 5, 5);
        ASSERT_NE(button->GetRepeatTimer(), nullptr);
        EXPECT_EQ(button->GetRepeatTimer()->GetInterval(), 400u);
        EXPECT_TRUE(button->GetRepeatTimer()->GetEnabled());
        EXPECT_EQ(clicks, 0);

        SetCursorPos(on.x, on.y);
        tick();
        EXPECT_EQ(clicks, 1);
        EXPECT_EQ(button->GetRepeatTimer()->GetInterval(), 100u);
        tick();
        EXPECT_EQ(clicks, 2);

        SetCursorPos(off.x, off.y);
        tick();
        EXPECT_EQ(clicks, 2);
        EXPECT_FALSE(button->GetRepeatTimer()->GetEnabled());
        SendMouseMove(button, 5, 5);
        EXPECT_TRUE(button->GetRepeatTimer()->GetEnabled());
        tick();
        EXPECT_EQ(clicks, 3);
    }
    // The button let go without a message reaching it: the tick frees its own timer.
    tick();
    EXPECT_EQ(button->GetRepeatTimer(), nullptr);
    EXPECT_EQ(clicks, 3);
    SendLeftUp(button, 5, 5);
    EXPECT_EQ(clicks, 4);

    // Released as usual.
    SendLeftDown(button, 5, 5);
    ASSERT_NE(button->GetRepeatTimer(), nullptr);
    SendLeftUp(button, 5, 5);
    EXPECT_EQ(button->GetRepeatTimer(), nullptr);
    SendLeftDown(button, 5, 5);
    SendMessageA(button->GetHandle(), WM_CANCELMODE, 0, 0);
    EXPECT_EQ(button->GetRepeatTimer(), nullptr);
}

// ---------------------------------------------------------------------------------------------
// Drop-down menu

TEST_F(SkinButtons, TheDropDownMenuOpensBelowAndItsClosingClickIsPurged)
{
    auto* button = Make<TSkinButton>(10, 10, 100, 30);
    button->SetCaption(L"Menu");
    auto* menu = New<TInstantMenu>(Form());
    button->SetDropDownMenu(menu);
    int clicks = 0;
    button->OnClick = TNotifyEvent([&](TObject*) { ++clicks; });
    HWND elsewhere = Form()->GetHandle();
    bool droppedWhileOpen = false;
    menu->Shown = [&] {
        droppedWhileOpen = button->GetDroppedDown();
        // The click that closes the menu lands on the button; other mouse messages go elsewhere.
        const POINT on = ScreenPoint(button, 5, 5);
        SetCursorPos(on.x, on.y);
        PostMessageA(button->GetHandle(), WM_LBUTTONDOWN, MK_LBUTTON, ClientPoint(5, 5));
        PostMessageA(button->GetHandle(), WM_LBUTTONUP, 0, ClientPoint(5, 5));
        SetCursorPos(on.x + 300, on.y + 200);
        PostMessageA(elsewhere, WM_MOUSEMOVE, 0, 1);
        PostMessageA(elsewhere, WM_RBUTTONDOWN, 0, 2);
        PostMessageA(elsewhere, WM_MOUSEMOVE, 0, 3);
        PostQuitMessage(7);
    };
    Click(button);
    EXPECT_EQ(menu->Popups, 1);
    EXPECT_TRUE(droppedWhileOpen);
    const POINT corner = ScreenPoint(button, 0, button->GetHeight());
    EXPECT_EQ(menu->At.x, corner.x);
    EXPECT_EQ(menu->At.y, corner.y);
    EXPECT_FALSE(button->GetDroppedDown());
    EXPECT_FALSE(button->GetPushed());

    std::vector<std::pair<UINT, LPARAM>> kept;
    bool buttonPress = false, quit = false;
    WPARAM quitCode = 0;
    MSG msg{};
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            quit = true;
            quitCode = msg.wParam;
            continue;
        }
        if (msg.hwnd == button->GetHandle() && msg.message >= WM_LBUTTONDOWN && msg.message <= WM_MBUTTONDBLCLK)
            buttonPress = true;
        if (msg.hwnd == elsewhere && msg.lParam >= 1 && msg.lParam <= 3)
            kept.emplace_back(msg.message, msg.lParam);
        DispatchMessageA(&msg);
    }
    EXPECT_FALSE(buttonPress);
    const std::vector<std::pair<UINT, LPARAM>> expected{{WM_MOUSEMOVE, 1}, {WM_RBUTTONDOWN, 2}, {WM_MOUSEMOVE, 3}};
    EXPECT_EQ(kept, expected);
    EXPECT_TRUE(quit);
    EXPECT_EQ(quitCode, 7u);
    EXPECT_EQ(clicks, 0);
}

BOOL CALLBACK NoteShownPopup(HWND wnd, LPARAM data)
{
    if (dynamic_cast<TTBPopupWindow*>(FindControl(wnd)) && IsWindowVisible(wnd))
        GetWindowRect(wnd, reinterpret_cast<RECT*>(data));
    return TRUE;
}

// A themed drop-down menu keeps the button clear: below it where the monitor has room, above it
// near the monitor's bottom.
TEST_F(SkinButtons, TheDropDownMenuOpensAboveTheButtonNearTheBottom)
{
    auto* button = Make<TSkinButton>(10, 200, 100, 30);
    auto* menu = New<TSkinPopupMenu>(Form());
    for (const wchar_t* caption : {L"One", L"Two", L"Three"}) {
        auto* item = New<TTBCustomItem>(menu);
        item->SetCaption(caption);
        menu->GetItems()->Add(item);
    }
    button->SetDropDownMenu(menu);
    RECT buttonRect{};
    GetWindowRect(button->GetHandle(), &buttonRect);
    const struct {
        const char* Name;
        int MonitorBottom;
        bool Above;
    } cases[] = {
        {"room below", buttonRect.bottom + 400, false},
        {"no room below", buttonRect.bottom + 10, true},
    };
    for (const auto& c : cases) {
        const RECT monitor{0, 0, 1280, c.MonitorBottom};
        const std::vector<TMonitorLayoutEntry> monitors{{monitor, monitor}};
        SetMonitorLayout(&monitors);
        RECT shown{};
        RunScripted([&] { Click(button); },
                    {[&] {
                        EnumThreadWindows(GetCurrentThreadId(), &NoteShownPopup, reinterpret_cast<LPARAM>(&shown));
                        PostMessageA(GetCapture(), WM_KEYDOWN, VK_ESCAPE, 0);
                    }});
        SetMonitorLayout(nullptr);
        ASSERT_FALSE(IsRectEmpty(&shown)) << c.Name;
        if (c.Above) {
            EXPECT_LE(shown.bottom, buttonRect.top) << c.Name;
        } else {
            EXPECT_GE(shown.top, buttonRect.bottom) << c.Name;
        }
        EXPECT_FALSE(button->GetDroppedDown()) << c.Name;
    }
}

TEST_F(SkinButtons, TheSplitPartDropsAtOnceAndTheMainPartClicks)
{
    auto* button = Make<TSkinButton>(10, 10, 100, 30);
    button->SetCaption(L"Split");
    auto* menu = New<TInstantMenu>(Form());
    button->SetDropDownMenu(menu);
    button->SetDropDownCombo(true);
    int clicks = 0;
    button->OnClick = TNotifyEvent([&](TObject*) { ++clicks; });
    const int arrowX = button->GetWidth() - Metric(imSplitArrowWidth) / 2;

    SendLeftDown(button, arrowX, 5);
    EXPECT_EQ(menu->Popups, 1);
    SendLeftUp(button, arrowX, 5);
    EXPECT_EQ(clicks, 0);

    Click(button, 5, 5);
    EXPECT_EQ(menu->Popups, 1);
    EXPECT_EQ(clicks, 1);

    // A refused drop-down is an ordinary click.
    button->SetDropDownCombo(false);
    button->OnDropDown = TDropDownEvent([](TObject*, bool& allow) { allow = false; });
    Click(button, 5, 5);
    EXPECT_EQ(menu->Popups, 1);
    EXPECT_EQ(clicks, 2);
    EXPECT_FALSE(button->GetDroppedDown());
}

bool g_MenuWatchdogFired = false;

void CALLBACK CloseMenuOnTimer(HWND, UINT, UINT_PTR, DWORD)
{
    EndMenu();
}

void CALLBACK MenuWatchdog(HWND, UINT, UINT_PTR, DWORD)
{
    g_MenuWatchdogFired = true;
    EndMenu();
}

TEST_F(SkinButtons, ARealMenuRunsItsLoopAndTheButtonComesBack)
{
    auto* button = Make<TSkinButton>(10, 10, 100, 30);
    auto* menu = New<TPopupMenu>(Form());
    auto* item = New<TMenuItem>(menu);
    item->SetCaption("Item");
    menu->GetItems()->Add(item);
    button->SetDropDownMenu(menu);
    bool opened = false;
    menu->OnPopup = TNotifyEvent([&](TObject*) { opened = true; });
    int clicks = 0;
    button->OnClick = TNotifyEvent([&](TObject*) { ++clicks; });
    g_MenuWatchdogFired = false;
    {
        // The menu closes on the first tick; the watchdog ends it all the same if it does not.
        TTimerScope close(nullptr, 0, 150, CloseMenuOnTimer);
        TTimerScope guard(nullptr, 0, 3000, MenuWatchdog);
        Click(button);
    }
    EXPECT_TRUE(opened);
    EXPECT_FALSE(g_MenuWatchdogFired);
    EXPECT_FALSE(button->GetDroppedDown());
    EXPECT_EQ(clicks, 0);
    PumpMessages();
}

TEST_F(SkinButtons, FreedMenusAndImageListsAreForgotten)
{
    auto* button = Make<TSkinButton>(10, 10, 100, 30);
    auto* menu = New<TInstantMenu>(Form());
    TCustomImageList* images = RedImages();
    button->SetDropDownMenu(menu);
    button->SetImages(images);
    button->SetLayout(blGlyphTop);
    const int withImages = button->GetHeight();
    menu->Free();
    images->Free();
    EXPECT_EQ(button->GetDropDownMenu(), nullptr);
    EXPECT_EQ(button->GetImages(), nullptr);
    EXPECT_LT(button->GetHeight(), withImages);
    Click(button);
}

// ---------------------------------------------------------------------------------------------
// Measuring and drawing

TEST_F(SkinButtons, PaddingsAndHeightFollowCaptionImagesLayoutAndMenu)
{
    const int split = Metric(imSplitArrowWidth), arrow = Metric(imDropDownArrowWidth);
    TCustomImageList* images = RedImages();
    auto* menu = New<TInstantMenu>(Form());
    struct TCase {
        const wchar_t* Caption;
        bool Images;
        TButtonLayout Layout;
        int Menu;   // 0 none, 1 whole button, 2 split part
        RECT Paddings;
    } cases[] = {
        {L"", false, blGlyphLeft, 0, {4, 4, 4, 4}},
        {L"Go", true, blGlyphLeft, 0, {24, 4, 4, 4}},
        {L"", true, blGlyphLeft, 0, {20, 4, 4, 4}},
        {L"Go", true, blGlyphTop, 0, {4, 24, 4, 4}},
        {L"Go", true, blGlyphRight, 0, {4, 4, 24, 4}},
        {L"Go", true, blGlyphBottom, 1, {4, 4, 4, 24}},
        {L"", true, blGlyphBottom, 1, {4, 4, 4 + arrow, 20}},
        {L"Go", false, blGlyphLeft, 1, {4, 4, 4 + arrow, 4}},
        {L"Go", false, blGlyphTop, 2, {4, 4, 4 + split, 4}},
    };
    for (const TCase& c : cases) {
        auto* button = Make<TSkinButton>(10, 10, 100, 30);
        button->SetCaption(c.Caption);
        button->SetImages(c.Images ? images : nullptr);
        button->SetLayout(c.Layout);
        button->SetDropDownMenu(c.Menu ? menu : nullptr);
        button->SetDropDownCombo(c.Menu == 2);
        RECT p{};
        button->GetPaddings(p);
        EXPECT_TRUE(SameRect(p, c.Paddings)) << p.left << "," << p.top << "," << p.right << "," << p.bottom;
        button->Free();
    }

    auto* button = Make<TSkinButton>(10, 10, 100, 30);
    EXPECT_EQ(button->GetHeight(), 16);
    button->SetBorderSize(10);
    EXPECT_EQ(button->GetHeight(), 20);
    button->SetImages(images);
    EXPECT_EQ(button->GetHeight(), 16 + 20);
    button->SetBorderSize(1);
    button->SetCaption(L"Go");
    EXPECT_EQ(button->GetHeight(), 18);
}

TEST_F(SkinButtons, TheItemRecordFollowsTheButtonsState)
{
    auto* button = Make<TSkinButton>(10, 10, 100, 30);
    TSkinItemDrawInfo info;
    auto record = [&] {
        button->FillItemRecord(info);
        return info;
    };
    EXPECT_EQ(record().ViewKind, 0x40100u);
    EXPECT_EQ(info.ItemFlags, 0x41u);
    EXPECT_TRUE(info.Enabled);
    EXPECT_FALSE(info.Pushed);
    EXPECT_EQ(info.HotState, 0);
    EXPECT_EQ(info.ButtonPart, bpWhole);

    SendMouseMove(button, 5, 5);
    EXPECT_EQ(record().HotState, 2);
    SendLeftDown(button, 5, 5);
    EXPECT_TRUE(record().Pushed);
    // Dragged off while held: neither hot nor shown pushed.
    SendMouseMove(button, 300, 5, MK_LBUTTON);
    EXPECT_FALSE(record().Pushed);
    EXPECT_EQ(info.HotState, 0);
    SendLeftUp(button, 300, 5);

    button->SetButtonStyle(bsFlat);
    button->SetDropDownMenu(New<TInstantMenu>(Form()));
    button->SetDropDownCombo(true);
    button->SetGroupIndex(3);
    button->SetChecked(true);
    button->SetEnabled(false);
    record();
    EXPECT_EQ(info.ViewKind, 0x100u);
    EXPECT_EQ(info.ButtonPart, bpWithArrow);
    EXPECT_TRUE(info.Checked);
    EXPECT_FALSE(info.Enabled);
}

TEST_F(SkinButtons, TheFourGlyphLayoutsPlaceTheImageBesideTheCaption)
{
    TCustomImageList* images = RedImages();
    struct TCase {
        TButtonLayout Layout;
        TAlignment Alignment;
    } cases[] = {
        {blGlyphLeft, taCenter},   {blGlyphRight, taCenter},     {blGlyphTop, taCenter},
        {blGlyphBottom, taCenter}, {blGlyphLeft, taLeftJustify}, {blGlyphRight, taRightJustify},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(int(c.Layout) * 10 + int(c.Alignment));
        auto* button = Make<TSkinButton>(10, 10, 160, 60);
        button->SetAutoSize(false);
        button->SetBounds(10, 10, 160, 60);
        button->SetButtonStyle(bsFlat);
        button->SetCaption(L"Caption");
        button->SetImages(images);
        button->SetLayout(c.Layout);
        button->SetAlignment(c.Alignment);
        TDIBPtr dib = MakeDIB(160, 60, 0x123456);
        button->PaintTo(dib->GetDC(), 0, 0);
        GdiFlush();
        const RECT image = InkBox(dib.get(), 0xFF0000);
        const RECT text = InkBox(dib.get(), PixelRGB(GetSysColor(COLOR_BTNTEXT)));
        ASSERT_EQ(image.right - image.left, 16);
        ASSERT_EQ(image.bottom - image.top, 16);
        ASSERT_FALSE(IsRectEmpty(&text));
        const int spacing = button->GetGlyphSpacing();
        switch (c.Layout) {
        case blGlyphLeft:
            EXPECT_LE(image.right + spacing, text.left);
            break;
        case blGlyphRight:
            EXPECT_GE(image.left, text.right + spacing - 1);
            break;
        case blGlyphTop:
            EXPECT_LE(image.bottom + spacing, text.top);
            break;
        case blGlyphBottom:
            EXPECT_GE(image.top, text.bottom + spacing - 1);
            break;
        }
        const int border = button->GetBorderSize();
        if (c.Layout == blGlyphLeft || c.Layout == blGlyphRight) {
            EXPECT_NEAR((image.top + image.bottom) / 2, 30, 1);
            const int blockLeft = std::min(image.left, text.left), blockRight = std::max(image.right, text.right);
            if (c.Alignment == taCenter)
                EXPECT_NEAR(blockLeft + blockRight, 160, 4);
            else if (c.Alignment == taLeftJustify)
                EXPECT_EQ(blockLeft, border);
            else
                EXPECT_NEAR(blockRight, 160 - border, 2);
        } else {
            EXPECT_NEAR(image.left + image.right, 160, 1);
            EXPECT_NEAR(std::min(image.top, text.top) + std::max(image.bottom, text.bottom), 60, 4);
        }
        button->Free();
    }
}

// ---------------------------------------------------------------------------------------------
// Radio buttons

TEST_F(SkinButtons, RadioButtonsOfOneParentAndIndexExcludeEachOther)
{
    auto* panel = Make<TPanel>(10, 150, 200, 60);
    auto* a = Make<TSkinRadioButton>(10, 10, 120, 20);
    auto* b = Make<TSkinRadioButton>(10, 40, 120, 20);
    auto* c = Make<TSkinRadioButton>(10, 70, 120, 20);
    auto* other = Make<TSkinRadioButton>(10, 100, 120, 20);
    auto* elsewhere = Make<TSkinRadioButton>(5, 5, 120, 20, panel);
    other->SetGroupIndex(1);
    int clicks = 0, changes = 0;
    b->OnClick = TNotifyEvent([&](TObject*) { ++clicks; });
    b->OnChange = TNotifyEvent([&](TObject*) { ++changes; });

    struct TStep {
        const char* Name;
        std::function<void()> Act;
        const char* Checked;   // a, b, c, other, elsewhere
    } steps[] = {
        {"click a", [&] { Click(a); }, "10000"},
        {"click b", [&] { Click(b); }, "01000"},
        {"click checked b", [&] { Click(b); }, "01000"},
        {"other index", [&] { Click(other); }, "01010"},
        {"other parent", [&] { Click(elsewhere); }, "01011"},
        {"c by hand", [&] { c->SetChecked(true); }, "00111"},
        {"other joins index 0", [&] { other->SetGroupIndex(0); }, "00011"},
    };
    for (const TStep& step : steps) {
        step.Act();
        std::string checked;
        for (TSkinRadioButton* radio : {a, b, c, other, elsewhere})
            checked += radio->GetChecked() ? '1' : '0';
        EXPECT_EQ(checked, step.Checked) << step.Name;
    }
    EXPECT_EQ(clicks, 2);
    EXPECT_EQ(changes, 2);
    EXPECT_FALSE(b->GetTabStop());
    EXPECT_TRUE(other->GetTabStop());
}

TEST_F(SkinButtons, OnlyTheCaptionAndGlyphOfARadioButtonTakeTheMouse)
{
    auto* left = Make<TSkinRadioButton>(10, 10, 240, 24);
    left->SetCaption(L"Hi");
    auto* right = Make<TSkinRadioButton>(10, 50, 240, 24);
    right->SetCaption(L"Hi");
    right->SetAlignment(taRightJustify);
    auto* button = Make<TSkinButton>(10, 90, 100, 30);
    button->GetMargins()->SetLeft(10);
    auto hit = [](TWinControl* control, int x) {
        const POINT p = ScreenPoint(control, x, control->GetHeight() / 2);
        return SendMessageA(control->GetHandle(), WM_NCHITTEST, 0, MAKELPARAM(p.x, p.y));
    };
    EXPECT_EQ(hit(left, 2), HTCLIENT);
    EXPECT_EQ(hit(left, 25), HTCLIENT);
    EXPECT_EQ(hit(left, 200), HTTRANSPARENT);
    EXPECT_EQ(hit(right, 238), HTCLIENT);
    EXPECT_EQ(hit(button, 5), HTTRANSPARENT);
    EXPECT_EQ(hit(button, 15), HTCLIENT);

    // The glyph sits on the side the alignment names.
    TDIBPtr l = MakeDIB(240, 24, 0x123456), r = MakeDIB(240, 24, 0x123456);
    left->PaintTo(l->GetDC(), 0, 0);
    right->PaintTo(r->GetDC(), 0, 0);
    GdiFlush();
    const uint32_t face = PixelRGB(GetSysColor(COLOR_WINDOW));
    int leftGlyph = 0, rightGlyph = 0;
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 13; ++x) {
            leftGlyph += RGBOf(PixelAt(l.get(), x, y)) == face;
            rightGlyph += RGBOf(PixelAt(r.get(), 239 - x, y)) == face;
        }
    EXPECT_GT(leftGlyph, 20);
    EXPECT_GT(rightGlyph, 20);
}
