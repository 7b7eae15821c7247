#include "SkinTestSupport.h"

#include <gtest/gtest.h>

#include <map>
#include <utility>

#include "platform/ScopeGuards.h"
#include "skin/SkinShadows.h"
#include "skin/SkinUtils.h"

namespace {

// How many strips cover each point of the area.
std::map<std::pair<int, int>, int> Coverage(const std::vector<TShadowStrip>& strips)
{
    std::map<std::pair<int, int>, int> count;
    for (const TShadowStrip& s : strips)
        for (int y = s.Bounds.top; y < s.Bounds.bottom; ++y)
            for (int x = s.Bounds.left; x < s.Bounds.right; ++x)
                ++count[{x, y}];
    return count;
}

bool Inside(const RECT& r, int x, int y)
{
    return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

// Every point of the shape moved by size that lies outside the shape is covered exactly once, and
// nothing else is.
void ExpectExactShadow(const RECT& a, const RECT& b, int size)
{
    const std::vector<TShadowStrip> strips = ShadowStrips(a, b, size);
    EXPECT_LE(strips.size(), 6u);
    const auto covered = Coverage(strips);
    for (int y = -5; y < 80; ++y)
        for (int x = -5; x < 80; ++x) {
            const bool inShape = Inside(a, x, y) || Inside(b, x, y);
            const bool inCast = Inside(a, x - size, y - size) || Inside(b, x - size, y - size);
            const auto it = covered.find({x, y});
            const int times = it == covered.end() ? 0 : it->second;
            ASSERT_EQ(times, inCast && !inShape ? 1 : 0) << x << "," << y;
        }
}

} // namespace

TEST(SkinShadows, APopupAloneGetsTwoStrips)
{
    const RECT popup{10, 20, 50, 60};
    const std::vector<TShadowStrip> strips = ShadowStrips(popup, RECT{}, 4);
    ASSERT_EQ(strips.size(), 2u);
    EXPECT_TRUE(SameRect(strips[0].Bounds, RECT{50, 24, 54, 60})) << "down the right edge from 4 below the top";
    EXPECT_EQ(strips[0].Edges, uint32_t(seStart));
    EXPECT_TRUE(SameRect(strips[1].Bounds, RECT{14, 60, 54, 64})) << "under it, 4 past both ends";
    EXPECT_EQ(strips[1].Edges, uint32_t(seStart | seEnd));
    EXPECT_TRUE(ShadowStrips(RECT{}, popup, 4).size() == 2u) << "the opener alone, too";
    EXPECT_TRUE(ShadowStrips(popup, RECT{}, 0).empty());
}

TEST(SkinShadows, StackedAndSideBySideShadowsJoinWithoutGapsOrOverlaps)
{
    const struct {
        const char* Name;
        RECT Popup, Opener;
    } cases[] = {
        {"popup wider, under a button", {10, 30, 60, 70}, {20, 10, 40, 30}},
        {"popup narrower, under a wide button", {10, 30, 30, 70}, {5, 10, 50, 30}},
        {"popup above its button", {10, 5, 60, 40}, {15, 40, 35, 55}},
        {"submenu right of its item", {40, 10, 70, 60}, {10, 20, 40, 30}},
        {"overlapping by the two pixels allowed", {10, 28, 60, 70}, {20, 10, 40, 30}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        ExpectExactShadow(c.Popup, c.Opener, 4);
    }
}

TEST(SkinShadows, StripsFadeAcrossTheirThickness)
{
    std::unique_ptr<TShadow, TObjectFree> strip(New<TShadow>(RECT{100, 100, 104, 160}, seStart, false, 61));
    const TDIB32* pixels = strip->GetPixels();
    ASSERT_EQ(pixels->GetWidth(), 4);
    // In the straight part, column i of 4 has alpha 255 - 256 i / 4.
    const uint32_t alphas[] = {255, 191, 127, 63};
    for (int x = 0; x < 4; ++x)
        EXPECT_EQ(PixelAt(pixels, x, 30) >> 24, alphas[x]) << x;
    EXPECT_EQ(PixelAt(pixels, 0, 30) & 0xFFFFFF, 0u) << "black";
    // The fading start grows toward the strip's straight part; the end does not fade.
    EXPECT_LT(PixelAt(pixels, 0, 0) >> 24, PixelAt(pixels, 0, 3) >> 24);
    EXPECT_EQ(PixelAt(pixels, 0, 59) >> 24, 255u);
    EXPECT_EQ(strip->GetOpacity(), 61);
}

TEST(SkinShadows, ModesFollowTheDisplayAndTheSystemCalls)
{
    {
        std::unique_ptr<TShadows, TObjectFree> low(New<TShadows>(RECT{10, 10, 50, 50}, RECT{}, true, 61, 4));
        EXPECT_EQ(low->GetSize(), 2) << "low colour halves the size";
        ASSERT_EQ(low->GetCount(), 2);
        EXPECT_EQ(low->GetStrip(0)->GetMode(), TShadowMode::Solid);
        EXPECT_EQ(low->GetStrip(0)->GetWidth(), 2);
    }
    TOptionalCallsScope scope;
    SkinOptionalCalls().UpdateLayeredWindow = nullptr;
    SkinOptionalCalls().AlphaBlend = nullptr;
    {
        std::unique_ptr<TShadows, TObjectFree> none(New<TShadows>(RECT{10, 10, 50, 50}, RECT{}, false, 61, 4));
        EXPECT_EQ(none->GetSize(), 2);
        EXPECT_EQ(none->GetStrip(1)->GetMode(), TShadowMode::Solid);
    }
    SkinOptionalCalls() = TSkinOptionalCalls{};
    InitSkinUtils();
    const bool layered = SkinOptionalCalls().UpdateLayeredWindow && SkinOptionalCalls().AlphaBlend;
    SkinOptionalCalls().UpdateLayeredWindow = nullptr;
    if (SkinOptionalCalls().AlphaBlend) {
        std::unique_ptr<TShadow, TObjectFree> blended(New<TShadow>(RECT{0, 0, 4, 20}, 0, false, 61));
        EXPECT_EQ(blended->GetMode(), TShadowMode::AlphaBlended);
    }
    InitSkinUtils();
    std::unique_ptr<TShadows, TObjectFree> shadows(New<TShadows>(RECT{10, 10, 50, 50}, RECT{}, false, 61, 4));
    EXPECT_EQ(shadows->GetSize(), 4);
    if (layered) {
        EXPECT_EQ(shadows->GetStrip(0)->GetMode(), TShadowMode::Layered);
    }
}

TEST(SkinShadows, StripsAreClickThroughWindowsShownWithoutActivation)
{
    // A window under the popup's shadow, to be reached through it.
    TWindowHandle beneath(CreateWindowExA(WS_EX_TOOLWINDOW, "BUTTON", "", WS_POPUP | WS_VISIBLE, 150, 150, 200, 200,
                                          nullptr, nullptr, GetModuleHandleA(nullptr), nullptr));
    ASSERT_TRUE(beneath);
    std::unique_ptr<TShadows, TObjectFree> shadows(New<TShadows>(RECT{200, 200, 260, 280}, RECT{}, false, 61, 4));
    ASSERT_EQ(shadows->GetCount(), 2);
    shadows->SetSaveBits(true);
    shadows->Show(HWND_TOP);
    for (int i = 0; i < shadows->GetCount(); ++i) {
        TShadow* strip = shadows->GetStrip(i);
        const HWND wnd = strip->GetHandle();
        EXPECT_TRUE(IsWindowVisible(wnd));
        EXPECT_EQ(SendMessageA(wnd, WM_NCHITTEST, 0, MAKELPARAM(201, 201)), LRESULT(HTTRANSPARENT));
        EXPECT_TRUE(GetWindowLongPtrA(wnd, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
        EXPECT_FALSE(GetWindowLongPtrA(wnd, GWL_STYLE) & WS_CHILD);
        EXPECT_TRUE(GetClassLongPtrA(wnd, GCL_STYLE) & CS_SAVEBITS);
        RECT r;
        GetWindowRect(wnd, &r);
        EXPECT_TRUE(SameRect(r, ShadowStrips(RECT{200, 200, 260, 280}, RECT{}, 4)[size_t(i)].Bounds));
        // Other test programs share the display: their windows may come above ours and take the
        // foreground meanwhile. What matters is that no strip takes a click or the activation.
        const HWND hit = WindowFromPoint(POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2});
        DWORD process = 0;
        GetWindowThreadProcessId(hit, &process);
        if (process == GetCurrentProcessId()) {
            EXPECT_EQ(hit, beneath.Get()) << "a click on the strip reaches the window beneath";
        }
        EXPECT_NE(GetForegroundWindow(), wnd) << "showing a shadow activates nothing";
        EXPECT_NE(GetActiveWindow(), wnd) << "showing a shadow activates nothing";
    }
}
