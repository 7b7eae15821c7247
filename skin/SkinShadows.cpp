#include "skin/SkinShadows.h"

#include <algorithm>
#include <cmath>

#include "platform/Forms.h"
#include "platform/ScopeGuards.h"
#include "skin/SkinUtils.h"

SF_IMPLEMENT_ABSTRACT(TShadow, TCustomControl)
SF_IMPLEMENT_ABSTRACT(TShadows, TObject)

namespace {

bool Empty(const RECT& r)
{
    return r.right <= r.left || r.bottom <= r.top;
}

bool Vertical(const RECT& r)
{
    return r.right - r.left <= r.bottom - r.top;
}

// Another strip continues this one beyond its start (top or left) or its end.
bool Continues(const RECT& r, const RECT& other, bool atStart)
{
    if (Vertical(r)) {
        const bool overlap = other.left < r.right && other.right > r.left;
        return overlap && (atStart ? other.bottom == r.top : other.top == r.bottom);
    }
    const bool overlap = other.top < r.bottom && other.bottom > r.top;
    return overlap && (atStart ? other.right == r.left : other.left == r.right);
}

} // namespace

std::vector<TShadowStrip> ShadowStrips(const RECT& popup, const RECT& opener, int size)
{
    std::vector<TShadowStrip> strips;
    if (size <= 0)
        return strips;
    TGdiObject<HRGN> shape(CreateRectRgn(0, 0, 0, 0));
    for (const RECT& r : {popup, opener})
        if (!Empty(r)) {
            TGdiObject<HRGN> part(CreateRectRgnIndirect(&r));
            CombineRgn(shape.Get(), shape.Get(), part.Get(), RGN_OR);
        }
    // The shape moved by the shadow's size, less the shape itself, less what lies left of or
    // above the shape's own extent (a shadow falls to the right and below only).
    TGdiObject<HRGN> shadow(CreateRectRgn(0, 0, 0, 0));
    CombineRgn(shadow.Get(), shape.Get(), nullptr, RGN_COPY);
    OffsetRgn(shadow.Get(), size, size);
    CombineRgn(shadow.Get(), shadow.Get(), shape.Get(), RGN_DIFF);
    const DWORD bytes = GetRegionData(shadow.Get(), 0, nullptr);
    if (bytes == 0)
        return strips;
    std::vector<uint8_t> buffer(bytes);
    auto* data = reinterpret_cast<RGNDATA*>(buffer.data());
    if (!GetRegionData(shadow.Get(), bytes, data))
        return strips;
    const RECT* rects = reinterpret_cast<const RECT*>(data->Buffer);
    for (DWORD i = 0; i < data->rdh.nCount && strips.size() < 6; ++i)
        strips.push_back(TShadowStrip{rects[i], 0});
    for (TShadowStrip& strip : strips) {
        bool start = true, end = true;
        for (const TShadowStrip& other : strips) {
            if (&other == &strip)
                continue;
            start = start && !Continues(strip.Bounds, other.Bounds, true);
            end = end && !Continues(strip.Bounds, other.Bounds, false);
        }
        strip.Edges = (start ? uint32_t(seStart) : 0u) | (end ? uint32_t(seEnd) : 0u);
    }
    return strips;
}

// ---------------------------------------------------------------------------------------------
// TShadow

TShadow::TShadow(const RECT& bounds, uint32_t edges, bool lowColor, uint8_t opacity)
    : FOpacity(opacity), FEdges(edges), FBounds(bounds)
{
    const TSkinOptionalCalls& calls = SkinOptionalCalls();
    if (lowColor)
        FMode = TShadowMode::Solid;
    else if (calls.UpdateLayeredWindow && calls.AlphaBlend)
        FMode = TShadowMode::Layered;
    else if (calls.AlphaBlend)
        FMode = TShadowMode::AlphaBlended;
}

void TShadow::AfterConstruction()
{
    TCustomControl::AfterConstruction();
    SetColor(clBtnShadow);
    SetVisible(false);
    SetBounds(FBounds.left, FBounds.top, FBounds.right - FBounds.left, FBounds.bottom - FBounds.top);
    FillPixels();
    SetParentWindow(Application ? Application->GetHandle() : nullptr);
    HandleNeeded();
}

void TShadow::CreateParams(TCreateParams& params)
{
    TCustomControl::CreateParams(params);
    params.Style = WS_POPUP;
    params.ExStyle |= WS_EX_TOOLWINDOW;
    params.WindowClass.style &= ~UINT(CS_SAVEBITS);
    if (FSaveBits) {
        params.WindowClass.style |= CS_SAVEBITS;
        params.WinClassName += "S";
    }
}

void TShadow::CreateWnd()
{
    TCustomControl::CreateWnd();
    if (FMode != TShadowMode::Layered)
        return;
    // The strip's pixels go to the screen once; the system keeps them with the window.
    const HWND wnd = GetHandle();
    SetWindowLongPtrA(wnd, GWL_EXSTYLE, GetWindowLongPtrA(wnd, GWL_EXSTYLE) | WS_EX_LAYERED);
    POINT at{FBounds.left, FBounds.top}, origin{0, 0};
    SIZE size{FPixels->GetWidth(), FPixels->GetHeight()};
    BLENDFUNCTION blend{AC_SRC_OVER, 0, FOpacity, AC_SRC_ALPHA};
    SkinOptionalCalls().UpdateLayeredWindow(wnd, nullptr, &at, &size, FPixels->GetDC(), &origin, 0, &blend, ULW_ALPHA);
}

void TShadow::SetSaveBits(bool value)
{
    if (value == FSaveBits)
        return;
    FSaveBits = value;
    if (HandleAllocated())
        RecreateWnd();
}

void TShadow::FillPixels()
{
    const int w = FBounds.right - FBounds.left, h = FBounds.bottom - FBounds.top;
    FPixels.reset(New<TDIB32>());
    FPixels->SetSize(w, h);
    if (!FPixels->HasBits())
        return;
    const bool vertical = Vertical(FBounds);
    const int thickness = vertical ? w : h, length = vertical ? h : w;
    // The fading ends are as long as the strip is thick, shorter where both would overlap.
    const int bothFade = (FEdges & seStart) && (FEdges & seEnd);
    const int fade = std::min(thickness, bothFade ? length / 2 : length);
    for (int along = 0; along < length; ++along)
        for (int across = 0; across < thickness; ++across) {
            // Straight: falling across the thickness from the popup's edge. In a fading end: falling
            // with the distance from the inner corner where the fade begins.
            double distance = across;
            if ((FEdges & seStart) && along < fade)
                distance = std::hypot(double(across), double(fade - along));
            else if ((FEdges & seEnd) && along >= length - fade)
                distance = std::hypot(double(across), double(along - (length - fade - 1)));
            const int alpha = std::clamp(int(255 - 256 * distance / thickness), 0, 255);
            const int x = vertical ? across : along, y = vertical ? along : across;
            // Premultiplied black is 0 in every colour channel.
            FPixels->GetScanLine(y)[x] = uint32_t(alpha) << 24;
        }
}

void TShadow::Show(HWND after)
{
    SetWindowPos(GetHandle(), after, 0, 0, 0, 0,
                 SWP_NOACTIVATE | SWP_NOMOVE | SWP_NOSIZE | SWP_NOSENDCHANGING | SWP_SHOWWINDOW);
}

void TShadow::Dispatch(TMessage& message)
{
    switch (message.Msg) {
    case WM_NCHITTEST:
        message.Result = HTTRANSPARENT;
        return;
    case WM_ERASEBKGND: {
        const HDC dc = reinterpret_cast<HDC>(message.WParam);
        if (FMode == TShadowMode::AlphaBlended && FPixels->HasBits()) {
            BLENDFUNCTION blend{AC_SRC_OVER, 0, FOpacity, AC_SRC_ALPHA};
            SkinOptionalCalls().AlphaBlend(dc, 0, 0, FPixels->GetWidth(), FPixels->GetHeight(), FPixels->GetDC(), 0, 0,
                                           FPixels->GetWidth(), FPixels->GetHeight(), blend);
        } else if (FMode == TShadowMode::Solid) {
            FillRectColor(dc, GetClientRect(), clBtnShadow);
        }
        message.Result = 1;
        return;
    }
    default:
        TCustomControl::Dispatch(message);
    }
}

// ---------------------------------------------------------------------------------------------
// TShadows

TShadows::TShadows(const RECT& popup, const RECT& opener, bool lowColor, uint8_t opacity, int size)
    : FPopup(popup), FOpener(opener), FLowColor(lowColor), FOpacity(opacity), FSize(size)
{
    const TSkinOptionalCalls& calls = SkinOptionalCalls();
    if (lowColor || (!calls.AlphaBlend && !calls.UpdateLayeredWindow))
        FSize = size / 2;
}

void TShadows::AfterConstruction()
{
    TObject::AfterConstruction();
    for (const TShadowStrip& strip : ShadowStrips(FPopup, FOpener, FSize))
        FStrips.push_back(New<TShadow>(strip.Bounds, strip.Edges, FLowColor, FOpacity));
}

TShadows::~TShadows()
{
    for (TShadow* strip : FStrips)
        strip->Free();
}

void TShadows::SetSaveBits(bool value)
{
    for (TShadow* strip : FStrips)
        strip->SetSaveBits(value);
}

void TShadows::Show(HWND after)
{
    for (TShadow* strip : FStrips)
        strip->Show(after);
}
