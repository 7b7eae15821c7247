#include <gtest/gtest.h>

#include "LayerTestSupport.h"
#include "graphics/SfTypes.h"
#include "platform/ScopeGuards.h"

namespace {

// A scrolling layer that shows one page whose content is a logical rectangle, at 10 logical
// units to the pixel.
class TPageLayer : public TScrollingLayer {
public:
    explicit TPageLayer(TComponent* owner) : TScrollingLayer(owner), Page(New<TRecordingPage>())
    {
        GetMapMode()->SetDPI(POINT{254, 254});
    }

    RECT GetContentRect() override { return GetMapMode()->LPtoDPRect(Content); }
    void PaintContent() override
    {
        ++Paints;
        LastUpdate = GetLayerCanvas()->GetUpdateRect();
        Page->Paint(GetLayerCanvas(), LastUpdate);
    }

    TOwned<TRecordingPage> Page;
    RECT Content{0, 0, 1000, 500};
    int Paints = 0;
    RECT LastUpdate{};
};

// The layer in a host window that never takes the focus, kept on top away from the corner where
// other test programs on the same display open their windows.
struct TLayerWindow {
    TLayerWindow()
    {
        Host = CreateWindowExA(WS_EX_NOACTIVATE | WS_EX_TOPMOST | WS_EX_TOOLWINDOW, "STATIC", "", WS_POPUP, 850, 650,
                               400, 300, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        ShowWindow(Host, SW_SHOWNOACTIVATE);
        Layer = New<TPageLayer>(nullptr);
        Layer->SetParentWindow(Host);
        Layer->SetBounds(10, 10, 200, 150);
        Layer->HandleNeeded();
        ShowWindow(Layer->GetHandle(), SW_SHOWNA);
        Layer->UpdateScrollPos();
        UpdateWindow(Layer->GetHandle());
    }
    ~TLayerWindow()
    {
        Layer->Free();
        DestroyWindow(Host);
    }

    void Redraw(const RECT* r = nullptr)
    {
        RedrawWindow(Layer->GetHandle(), r, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    }
    uint32_t ScreenRgb(int x, int y)
    {
        return GetPixel(TWindowDC(Layer->GetHandle()).Get(), x, y);
    }
    void Scroll(UINT msg, int code)
    {
        SendMessageA(Layer->GetHandle(), msg, MAKEWPARAM(code, 0), 0);
    }

    HWND Host = nullptr;
    TPageLayer* Layer = nullptr;
};

TEST(LayerWindow, PaintsBackgroundAndContentThroughTheBackBuffer)
{
    TLayerWindow w;
    w.Layer->SetBackgroundColor(clGray);
    auto* rect = AddElement<TLayerRect>(w.Layer->Page.get(), 0, 0, 400, 300);
    rect->SetColor(clRed);
    POINT origin = w.Layer->GetMapMode()->GetOrigin();
    w.Redraw();
    EXPECT_GE(w.Layer->Paints, 1);
    // Content smaller than the control is centred: logical (0, 0) sits at the origin.
    EXPECT_EQ(RGB(255, 0, 0), w.ScreenRgb(origin.x + 5, origin.y + 5));
    EXPECT_EQ(RGB(128, 128, 128), w.ScreenRgb(origin.x + 45, origin.y + 5));
    EXPECT_EQ(RGB(128, 128, 128), w.ScreenRgb(2, 2));
    EXPECT_EQ(0xFF0000u, *w.Layer->GetLayerCanvas()->GetMainBuffer()->PixelPtr(origin.x + 5, origin.y + 5) & 0xFFFFFF);

    // Text drawn through the window reaches the screen exactly as it is in the back buffer.
    auto* text = AddElement<TLayerText>(w.Layer->Page.get(), 100, 0, 900, 500);
    text->GetFont()->SetName("Arial");
    text->GetFont()->SetColor(clBlack);
    text->SetText("Sheetfold text in a window");
    w.Redraw();
    RECT client = w.Layer->GetClientRect();
    TLayerBuffer copy;
    copy.SetSize(client.right, client.bottom);
    BitBlt(copy.GetHandle(), 0, 0, client.right, client.bottom, TWindowDC(w.Layer->GetHandle()).Get(), 0, 0, SRCCOPY);
    TLayerBuffer* buffer = w.Layer->GetLayerCanvas()->GetMainBuffer();
    int differences = 0;
    int ink = 0;
    RECT textDevice = w.Layer->GetMapMode()->LPtoDPRect(text->GetBounds());
    for (int y = 0; y < client.bottom; ++y)
        for (int x = 0; x < client.right; ++x) {
            uint32_t screen = *copy.PixelPtr(x, y) & 0xFFFFFF;
            differences += screen != (*buffer->PixelPtr(x, y) & 0xFFFFFF);
            if (SfTypes::PtInRect(textDevice, POINT{x, y}) && screen == 0)
                ++ink;
        }
    EXPECT_EQ(0, differences);
    EXPECT_GT(ink, 20);

    // A small invalidation paints only its own rectangle.
    RECT small{3, 4, 13, 14};
    w.Redraw(&small);
    EXPECT_TRUE(SfTypes::EqualRect(small, w.Layer->LastUpdate));
}

TEST(LayerWindow, NestedOrEmptyPaintsDoNothing)
{
    TLayerWindow w;
    HWND wnd = w.Layer->GetHandle();
    ValidateRect(wnd, nullptr);
    TLayerCanvas* canvas = w.Layer->GetLayerCanvas();
    EXPECT_FALSE(canvas->BeginPaint(wnd));
    InvalidateRect(wnd, nullptr, FALSE);
    ASSERT_TRUE(canvas->BeginPaint(wnd));
    EXPECT_TRUE(canvas->GetPainting());
    EXPECT_FALSE(canvas->BeginPaint(wnd));
    canvas->EndPaint(wnd);
    EXPECT_FALSE(canvas->GetPainting());
    int paints = w.Layer->Paints;
    SendMessageA(wnd, WM_PAINT, 0, 0);
    EXPECT_EQ(paints, w.Layer->Paints);
    EXPECT_EQ(1, SendMessageA(wnd, WM_ERASEBKGND, 0, 0));
}

TEST(LayerWindow, SmallContentIsCentredWithDisabledBars)
{
    TLayerWindow w;
    POINT origin = w.Layer->GetMapMode()->GetOrigin();
    EXPECT_EQ((200 - 100) / 2, origin.x);
    EXPECT_EQ((150 - 50) / 2, origin.y);
    LONG style = GetWindowLongA(w.Layer->GetHandle(), GWL_STYLE);
    EXPECT_TRUE(style & WS_VSCROLL);
    w.Scroll(WM_VSCROLL, SB_LINEDOWN);
    EXPECT_EQ(origin.y, w.Layer->GetMapMode()->GetOrigin().y);
}

TEST(LayerWindow, ScrollingStopsAtBothEndsBeyondSixteenBits)
{
    TLayerWindow w;
    w.Layer->Content = RECT{0, 0, 1000, 20000000};  // two million pixels high
    w.Layer->UpdateScrollPos();
    EXPECT_EQ(0, w.Layer->GetMapMode()->GetOrigin().y);
    w.Scroll(WM_VSCROLL, SB_LINEUP);
    EXPECT_EQ(0, w.Layer->GetMapMode()->GetOrigin().y);
    w.Scroll(WM_VSCROLL, SB_LINEDOWN);
    EXPECT_EQ(-10, w.Layer->GetMapMode()->GetOrigin().y);

    SCROLLINFO info{};
    info.cbSize = sizeof(info);
    info.fMask = SIF_ALL;
    GetScrollInfo(w.Layer->GetHandle(), SB_VERT, &info);
    int page = static_cast<int>(info.nPage);
    int lastPosition = info.nMax - page + 1;
    ASSERT_GT(lastPosition, 65535);
    info.fMask = SIF_POS;
    info.nPos = lastPosition - 5;
    SetScrollInfo(w.Layer->GetHandle(), SB_VERT, &info, FALSE);
    w.Layer->GetMapMode()->SetOrigin(POINT{0, -(lastPosition - 5)});
    // A page down would pass the end: the content moves by the five pixels that are left.
    w.Scroll(WM_VSCROLL, SB_PAGEDOWN);
    EXPECT_EQ(-lastPosition, w.Layer->GetMapMode()->GetOrigin().y);
    w.Scroll(WM_VSCROLL, SB_PAGEDOWN);
    EXPECT_EQ(-lastPosition, w.Layer->GetMapMode()->GetOrigin().y);
    info.fMask = SIF_POS;
    GetScrollInfo(w.Layer->GetHandle(), SB_VERT, &info);
    EXPECT_EQ(lastPosition, info.nPos);
    // The thumb position comes from the bar, not from the message's 16 bits.
    SendMessageA(w.Layer->GetHandle(), WM_VSCROLL, MAKEWPARAM(SB_THUMBTRACK, 7), 0);
    EXPECT_EQ(-lastPosition, w.Layer->GetMapMode()->GetOrigin().y);
    EXPECT_FALSE(w.Layer->GetScrolling());
}

TEST(LayerWindow, LargeContentLeavesNoGapWhenTheControlGrows)
{
    TLayerWindow w;
    w.Layer->Content = RECT{0, 0, 4000, 500};  // 400 pixels wide
    w.Layer->UpdateScrollPos();
    for (int i = 0; i < 100; ++i)
        w.Scroll(WM_HSCROLL, SB_LINEDOWN);
    int scrolled = w.Layer->GetMapMode()->GetOrigin().x;
    EXPECT_LT(scrolled, -100);
    w.Layer->SetBounds(10, 10, 350, 150);
    RECT client = w.Layer->GetClientRect();
    TLayerBuffer* buffer = w.Layer->GetLayerCanvas()->GetMainBuffer();
    EXPECT_EQ(client.right, buffer->GetWidth());
    EXPECT_EQ(client.bottom, buffer->GetHeight());
    // The right end of the content stays at the right edge: no gap opens there.
    int origin = w.Layer->GetMapMode()->GetOrigin().x;
    EXPECT_GE(origin + 400, 350 - GetSystemMetrics(SM_CXVSCROLL));
    EXPECT_GT(origin, scrolled);
}

}  // namespace
