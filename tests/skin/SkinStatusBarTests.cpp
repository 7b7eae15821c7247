// The themed status bar: panel layout by view and stretch priority, hosted controls, the size
// grip's hit test and its absence on a maximized form, the theme parts painted, panel clicks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SkinItemTestSupport.h"
#include "SkinRecordingTheme.h"
#include "SkinTestSupport.h"
#include "TestSupport.h"
#include "platform/Forms.h"
#include "skin/Skin.h"
#include "skin/SkinStatusBar.h"
#include "toolbar/TBHintWindow.h"

namespace {

using TBarPtr = std::unique_ptr<TSkinStatusBar, TObjectFree>;
using TFormPtr = std::unique_ptr<TForm, TObjectFree>;

struct TPanelSetup {
    int Size;
    TPercent View;
    TPercent Stretch = 0;
    int MaxSize = 0;
};

struct TPanelResult {
    bool Shown;
    int Left, Right;
    bool Last;
};

TEST(SkinStatusBar, PanelsDropByViewPriorityAndStretch)
{
    TRecordingThemeScope theme;
    struct TCase {
        const char* Name;
        int Width;
        std::vector<TPanelSetup> Panels;
        std::vector<TPanelResult> Expect;
    };
    const TCase cases[] = {
        {"the lowest priority goes", 120, {{50, 100}, {50, 50}, {50, 20}},
         {{true, 0, 50, false}, {true, 50, 100, false}, {false, 0, 0, false}}},
        {"priority 100 stays and overflows; a start past the edge hides", 120,
         {{50, 100}, {50, 100}, {50, 100}, {50, 100}},
         {{true, 0, 50, false}, {true, 50, 100, false}, {true, 100, 150, false}, {false, 0, 0, false}}},
        {"view priority 0 never shows", 300, {{50, 0}, {50, 100}},
         {{false, 0, 0, false}, {true, 0, 50, false}}},
        {"one stretchable panel takes the rest", 200, {{50, 100}, {50, 100, 50}, {50, 100}},
         {{true, 0, 50, false}, {true, 50, 150, false}, {true, 150, 200, true}}},
        {"stretching stops at MaxSize, the rest goes on", 200, {{50, 100, 80, 70}, {50, 100, 20}},
         {{true, 0, 70, false}, {true, 70, 200, true}}},
        {"a MaxSize below the size does not limit", 200, {{50, 100, 80, 30}},
         {{true, 0, 200, true}}},
        {"nothing stretches: no panel is last", 200, {{50, 100}, {50, 100}},
         {{true, 0, 50, false}, {true, 50, 100, false}}},
        {"exactly full: the last one is last", 100, {{50, 100}, {50, 100}},
         {{true, 0, 50, false}, {true, 50, 100, true}}},
    };
    for (const TCase& c : cases) {
        TBarPtr bar(New<TSkinStatusBar>(nullptr));
        bar->SetBounds(0, 0, c.Width, 22);
        bar->GetPanels()->BeginUpdate();
        for (const TPanelSetup& setup : c.Panels) {
            TSkinStatusPanel* panel = bar->GetPanels()->Add();
            panel->SetSize(setup.Size);
            panel->SetViewPriority(setup.View);
            panel->SetStretchPriority(setup.Stretch);
            panel->SetMaxSize(setup.MaxSize);
        }
        bar->GetPanels()->EndUpdate();
        for (size_t i = 0; i < c.Expect.size(); ++i) {
            const TSkinStatusPanel* panel = bar->GetPanels()->GetItem(int(i));
            const TPanelResult& want = c.Expect[i];
            EXPECT_EQ(panel->GetShown(), want.Shown) << c.Name << ", panel " << i;
            EXPECT_EQ(panel->GetLast(), want.Last) << c.Name << ", panel " << i;
            if (!want.Shown) {
                EXPECT_TRUE(IsRectEmpty(&panel->GetPanelRect())) << c.Name << ", panel " << i;
                continue;
            }
            EXPECT_EQ(panel->GetPanelRect().left, want.Left) << c.Name << ", panel " << i;
            EXPECT_EQ(panel->GetPanelRect().right, want.Right) << c.Name << ", panel " << i;
            EXPECT_EQ(panel->GetPanelRect().top, 2) << c.Name;
            EXPECT_EQ(panel->GetPanelRect().bottom, 22) << c.Name;
        }
    }
}

TEST(SkinStatusBar, HostedControlsAndOwnParents)
{
    TRecordingThemeScope theme;
    theme->Margins[mkStatusPanel] = TSkinMargins{2, 1, 3, 1};
    TFormPtr form(New<TForm>(nullptr));
    form->SetBounds(0, 0, 300, 200);
    TSkinStatusBar* bar = New<TSkinStatusBar>(form.get());
    bar->SetParent(form.get());
    bar->SetBounds(0, 150, 300, 22);
    TSkinStatusPanel* first = bar->GetPanels()->Add();
    first->SetSize(100);
    EXPECT_THROW(first->SetControl(bar), EInvalidOperation);
    EXPECT_THROW(first->SetControl(form.get()), EInvalidOperation) << "a parent of the bar";
    EXPECT_EQ(first->GetControl(), nullptr) << "nothing changed";

    // A windowed control put on the bar gets a panel of its own, placed inside the margins.
    TCustomControl* edit = New<TCustomControl>(form.get());
    edit->SetParent(bar);
    ASSERT_EQ(bar->GetPanels()->Count(), 2);
    TSkinStatusPanel* holder = bar->GetPanels()->GetItem(1);
    EXPECT_EQ(holder->GetControl(), edit);
    EXPECT_EQ(holder->GetDisplayName(), "[  ]") << "no name: the brackets stay";
    const RECT r = holder->GetPanelRect();
    EXPECT_EQ(edit->GetLeft(), r.left + 2);
    EXPECT_EQ(edit->GetTop(), r.top + 1);
    EXPECT_EQ(edit->GetWidth(), r.right - r.left - 5);
    // Taken by another panel: the first one lets go.
    first->SetControl(edit);
    EXPECT_EQ(holder->GetControl(), nullptr);
    EXPECT_EQ(first->GetControl(), edit);
    first->SetViewPriority(0);
    EXPECT_TRUE(IsRectEmpty(&first->GetPanelRect()));
    EXPECT_EQ(edit->GetWidth(), 0) << "a hidden panel's control gets no room";
    // Freed, the control takes the panel that held it along.
    edit->Free();
    ASSERT_EQ(bar->GetPanels()->Count(), 1);
    EXPECT_EQ(bar->GetPanels()->GetItem(0), holder);
    EXPECT_EQ(holder->GetControl(), nullptr);
}

TEST(SkinStatusBar, SizeGripHitTestAndPaint)
{
    TRecordingThemeScope theme;
    TFormPtr form(New<TForm>(nullptr));
    form->SetBounds(100, 100, 300, 200);
    TSkinStatusBar* bar = New<TSkinStatusBar>(form.get());
    bar->SetParent(form.get());
    bar->SetAlign(alBottom);
    form->HandleNeeded();
    bar->HandleNeeded();
    form->Show();
    ASSERT_TRUE(bar->SizeGripShown());
    const RECT grip = bar->SizeGripRect();
    EXPECT_EQ(grip.right - grip.left, GetSystemMetrics(SM_CXVSCROLL));
    EXPECT_EQ(grip.top, 3);
    auto hit = [&](POINT client) {
        const POINT screen = bar->ClientToScreen(client);
        return SendMessageA(bar->GetHandle(), WM_NCHITTEST, 0, MAKELPARAM(screen.x, screen.y));
    };
    EXPECT_EQ(hit(POINT{grip.right - 2, grip.bottom - 2}), HTBOTTOMRIGHT);
    EXPECT_EQ(hit(POINT{grip.left - 1, grip.bottom - 2}), HTCLIENT);
    EXPECT_EQ(hit(POINT{grip.right - 2, grip.top - 1}), HTCLIENT);

    // Without panels: the background and the grip, nothing else.
    theme->Clear();
    RedrawWindow(bar->GetHandle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    auto parts = theme->Of("DrawStatusBarPart");
    ASSERT_EQ(parts.size(), 2u);
    EXPECT_EQ(parts[0].Value, spBackground);
    EXPECT_TRUE(SameRect(parts[0].R, bar->GetClientRect()));
    EXPECT_EQ(parts[1].Value, spSizeGrip);
    EXPECT_TRUE(SameRect(parts[1].R, grip));

    // Framed panels, the last one at the grip; an unframed panel draws no part.
    for (int size : {60, 60}) {
        TSkinStatusPanel* panel = bar->GetPanels()->Add();
        panel->SetSize(size);
        panel->SetCaption(L"Page " + std::to_wstring(size));
    }
    bar->GetPanels()->GetItem(1)->SetStretchPriority(100);
    TSkinStatusPanel* loose = bar->GetPanels()->Add();
    loose->SetFramed(false);
    loose->SetViewPriority(0);
    theme->Clear();
    RedrawWindow(bar->GetHandle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    parts = theme->Of("DrawStatusBarPart");
    ASSERT_EQ(parts.size(), 4u);
    EXPECT_EQ(parts[1].Value, spPanel);
    EXPECT_EQ(parts[2].Value, spPanelAtGrip);
    EXPECT_EQ(parts[2].R.right, bar->GetClientWidth());
    EXPECT_EQ(parts[3].Value, spSizeGrip);

    // Maximized, the form has no corner to drag.
    ShowWindow(form->GetHandle(), SW_SHOWMAXIMIZED);
    EXPECT_FALSE(bar->SizeGripShown());
    ShowWindow(form->GetHandle(), SW_SHOWNOACTIVATE);
    bar->SetSizeGrip(false);
    EXPECT_FALSE(bar->SizeGripShown());
    EXPECT_EQ(hit(POINT{grip.right - 2, grip.bottom - 2}), HTCLIENT);
    // Not at the form's corner: no grip either.
    bar->SetSizeGrip(true);
    bar->SetAlign(alTop);
    EXPECT_FALSE(bar->SizeGripShown());
    form.reset();
    PumpMessages();
}

TEST(SkinStatusBar, ClicksReachThePanelUnderTheCursor)
{
    TRecordingThemeScope theme;
    TFormPtr form(New<TForm>(nullptr));
    form->SetBounds(100, 100, 300, 200);
    TSkinStatusBar* bar = New<TSkinStatusBar>(form.get());
    bar->SetParent(form.get());
    bar->SetAlign(alBottom);
    for (int i = 0; i < 3; ++i)
        bar->GetPanels()->Add()->SetSize(80);
    form->HandleNeeded();
    ShowWindow(form->GetHandle(), SW_SHOWNOACTIVATE);
    std::vector<int> clicked, doubled;
    bar->OnPanelClick = TSBPanelEvent([&](TObject*, TSkinStatusPanel* p) { clicked.push_back(p->GetIndex()); });
    bar->OnPanelDblClick = TSBPanelEvent([&](TObject*, TSkinStatusPanel* p) { doubled.push_back(p->GetIndex()); });
    const int ys = 12;
    for (int x : {10, 100, 170, 270}) {
        const POINT screen = bar->ClientToScreen(POINT{x, ys});
        SetCursorPos(screen.x, screen.y);
        bar->Click();
        bar->DblClick();
    }
    EXPECT_EQ(clicked, (std::vector<int>{0, 1, 2})) << "past the last panel: none";
    EXPECT_EQ(doubled, clicked);
    form.reset();
    PumpMessages();
}

// Double-buffered from the start; simple mode covers the panels' texts but not their controls;
// each panel shows its own tip; a disabled caption is drawn by the theme as disabled.
TEST(SkinStatusBar, SimpleModeTipsAndDisabledCaptions)
{
    TRecordingThemeScope theme;
    TFormPtr form(New<TForm>(nullptr));
    form->SetBounds(100, 100, 300, 200);
    TSkinStatusBar* bar = New<TSkinStatusBar>(form.get());
    EXPECT_TRUE(bar->GetDoubleBuffered());
    bar->SetParent(form.get());
    bar->SetBounds(0, 150, 300, 22);
    TSkinStatusPanel* first = bar->GetPanels()->Add();
    first->SetSize(100);
    first->SetCaption(L"Off");
    first->SetEnabled(false);
    first->SetHint(L"Seite \u00fc|long");
    TCustomControl* control = New<TCustomControl>(form.get());
    control->SetParent(bar);
    TSkinStatusPanel* holder = bar->GetPanels()->GetItem(1);
    const RECT placed = control->GetBoundsRect();
    ASSERT_FALSE(IsRectEmpty(&placed));
    bar->SetSimpleText(L"Simple");
    bar->SetSimplePanel(true);
    EXPECT_RECT(placed, control->GetBoundsRect());
    bar->SetSimplePanel(false);

    const struct {
        POINT At;
        const char* Hint;
        RECT CursorRect;
    } tips[] = {
        {{10, 10}, "Seite \xc3\xbc", first->GetPanelRect()},
        {{120, 10}, "", holder->GetPanelRect()},
    };
    for (const auto& t : tips) {
        THintInfo info;
        info.CursorPos = t.At;
        info.HintStr = "stale";
        bar->Perform(CM_HINTSHOW, 0, reinterpret_cast<LPARAM>(&info));
        EXPECT_EQ(info.HintStr, t.Hint);
        EXPECT_RECT(t.CursorRect, info.CursorRect);
        EXPECT_EQ(info.HintWindowClass, TTBHintWindow::StaticClass());
    }

    form->HandleNeeded();
    bar->HandleNeeded();
    form->Show();
    theme->Clear();
    RedrawWindow(bar->GetHandle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    const auto texts = theme->Of("DrawItemText");
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].Text, L"Off");
    EXPECT_FALSE(texts[0].Info.Enabled) << "the theme's disabled drawing";
    control->Free();
    form.reset();
    PumpMessages();
}

} // namespace
