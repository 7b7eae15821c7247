// Popups that open from a control's rectangle: below it, above it when the monitor has no room
// below, right-aligned to its right edge, sounding only for list popups, and the real popup
// window keeping the rectangle for its frame.
#include <gtest/gtest.h>

#include <memory>

#include "SkinItemTestSupport.h"
#include "SkinRecordingTheme.h"
#include "SkinTestSupport.h"
#include "TestSupport.h"
#include "skin/Skin.h"
#include "skin/SkinItems.h"
#include "skin/SkinPopup.h"

namespace {

TEST(SkinRootItem, OpensBelowOrAboveTheControl)
{
    TRecordingThemeScope theme;
    std::unique_ptr<TSkinRootItem, TObjectFree> root(New<TSkinRootItem>(nullptr));
    auto* item = New<TSkinItem>(nullptr);
    item->SetCaption(L"&Properties");
    root->Add(item);
    auto* second = New<TSkinItem>(nullptr);
    second->SetCaption(L"&Delete");
    root->Add(second);
    RECT monitor{};
    {
        MONITORINFO info{};
        info.cbSize = sizeof(info);
        GetMonitorInfoA(MonitorFromPoint(POINT{10, 10}, MONITOR_DEFAULTTOPRIMARY), &info);
        monitor = info.rcMonitor;
    }
    struct TCase {
        const char* Name;
        RECT Control;
        TPopupAlignment Alignment;
        bool Above;
        bool RightEdge;
    };
    const TCase cases[] = {
        {"room below", {100, 100, 180, 124}, paLeft, false, false},
        {"no room below: above", {100, int(monitor.bottom) - 30, 180, int(monitor.bottom) - 6}, paLeft, true, false},
        {"right-aligned ends at the right edge", {300, 100, 380, 124}, paRight, false, true},
    };
    for (const TCase& c : cases) {
        theme->Clear();
        std::unique_ptr<TSkinPopupWindow, TObjectFree> popup(root->OpenPopupWindowAt(false, c.Control, false, c.Alignment));
        ASSERT_NE(popup, nullptr) << c.Name;
        EXPECT_TRUE(SameRect(popup->GetControlRect(), c.Control)) << c.Name;
        EXPECT_TRUE(IsRectEmpty(&root->GetControlRect())) << c.Name << ": the rectangle is kept only while opening";
        RECT r{};
        GetWindowRect(popup->GetHandle(), &r);
        if (c.Above)
            EXPECT_EQ(r.bottom, c.Control.top) << c.Name;
        else
            EXPECT_EQ(r.top, c.Control.bottom) << c.Name;
        if (c.RightEdge)
            EXPECT_EQ(r.right, c.Control.right) << c.Name;
        else
            EXPECT_EQ(r.left, c.Control.left) << c.Name;
        // The frame knows the control's rectangle, relative to the popup.
        RedrawWindow(popup->GetHandle(), nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_UPDATENOW);
        const auto frames = theme->Of("DrawPopupFrame");
        ASSERT_FALSE(frames.empty()) << c.Name;
        EXPECT_EQ(frames.back().Popup.OpenerRect.left, c.Control.left - r.left) << c.Name;
        EXPECT_EQ(frames.back().Popup.OpenerRect.top, c.Control.top - r.top) << c.Name;
        popup.reset();
        PumpMessages();
    }
}

TEST(SkinRootItem, OnlyListPopupsSoundWhenEdgesAreShared)
{
    TRecordingThemeScope theme;
    std::unique_ptr<TSkinRootItem, TObjectFree> root(New<TSkinRootItem>(nullptr));
    std::unique_ptr<TSkinItem, TObjectFree> item(New<TSkinItem>(nullptr));
    for (bool share : {false, true}) {
        theme->BooleanMetrics[bmPopupsShareEdge] = share;
        for (TTBCustomItem* who : {static_cast<TTBCustomItem*>(root.get()), static_cast<TTBCustomItem*>(item.get())}) {
            TTBPopupPlacement p;
            p.MonitorArea = RECT{0, 0, 1000, 800};
            p.OpenerRect = RECT{100, 100, 100, 100};
            p.X = 100;
            p.Y = 100;
            p.W = 50;
            p.H = 50;
            p.WithSound = true;
            who->PlacePopup(nullptr, nullptr, p);
            // Without a popup window the popup is not a list popup.
            const bool expect = !share || who == item.get();
            EXPECT_EQ(p.WithSound, expect) << (who == root.get() ? "root" : "item") << ", shared " << share;
        }
    }
}

} // namespace
