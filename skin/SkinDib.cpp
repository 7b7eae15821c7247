#include "skin/SkinDib.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

SF_IMPLEMENT_CLASS(TDIB32, TObject)
SF_IMPLEMENT_ABSTRACT(TMonoGlyph, TObject)

namespace {

struct TAlphaTables {
    std::array<std::array<uint32_t, 256>, 256> Mul{};
    std::array<std::array<uint8_t, 256>, 256> Div{};

    TAlphaTables()
    {
        for (int a = 0; a < 256; ++a)
            for (int c = 0; c < 256; ++c) {
                Mul[a][c] = uint32_t((c * a + 127) / 255) << 24;
                if (a == 0)
                    Div[a][c] = 127;
                else
                    Div[a][c] = c >= a ? 255 : uint8_t((c * 255 + a / 2) / a);
            }
    }
};

const TAlphaTables& AlphaTables()
{
    static const TAlphaTables tables;
    return tables;
}

bool Intersect(RECT& out, const RECT& a, const RECT& b)
{
    out.left = std::max(a.left, b.left);
    out.top = std::max(a.top, b.top);
    out.right = std::min(a.right, b.right);
    out.bottom = std::min(a.bottom, b.bottom);
    if (out.left >= out.right || out.top >= out.bottom) {
        out = RECT{};
        return false;
    }
    return true;
}

int RectWidth(const RECT& r) { return r.right - r.left; }
int RectHeight(const RECT& r) { return r.bottom - r.top; }

void CheckParameters(const void* a, const void* b)
{
    if (!a || !b)
        throw EDIB32Error("Invalid parameters");
}

// Clips a transfer of sourceRect of source to (x, y) of dest against both clip rectangles: on
// success src is the part of the source to move and (x, y) where it lands.
bool ClipTransfer(const TDIB32* dest, int& x, int& y, const TDIB32* source, const RECT& sourceRect, RECT& src)
{
    if (!Intersect(src, sourceRect, source->GetClipRect()))
        return false;
    x += src.left - sourceRect.left;
    y += src.top - sourceRect.top;
    const RECT placed{x, y, x + RectWidth(src), y + RectHeight(src)};
    RECT visible;
    if (!Intersect(visible, placed, dest->GetClipRect()))
        return false;
    src.left += visible.left - x;
    src.top += visible.top - y;
    src.right = src.left + RectWidth(visible);
    src.bottom = src.top + RectHeight(visible);
    x = visible.left;
    y = visible.top;
    return true;
}

} // namespace

uint32_t AlphaMul(uint8_t a, uint8_t c)
{
    return AlphaTables().Mul[a][c];
}

uint8_t AlphaDiv(uint8_t a, uint8_t c)
{
    return AlphaTables().Div[a][c];
}

// ---------------------------------------------------------------------------------------------
// Pixel mixing, on two lanes: red and blue in one product, green (and alpha) in another.

namespace {

inline uint32_t MixLanes(uint32_t s, uint32_t d, uint32_t w)
{
    const uint32_t rb = (((s & 0xFF00FF) * w + (d & 0xFF00FF) * (256 - w) + 0x7F007F) >> 8) & 0xFF00FF;
    const uint32_t g = (((s & 0x00FF00) * w + (d & 0x00FF00) * (256 - w) + 0x007F00) >> 8) & 0x00FF00;
    return rb | g;
}

} // namespace

uint32_t BlendPixel(uint32_t s, uint32_t d)
{
    const uint32_t a = s >> 24;
    if (a == 0)
        return d;
    if (a == 255)
        return s;
    return MixLanes(s, d, a + (a >> 7));
}

uint32_t MixPixel(uint32_t c1, uint32_t c2, uint8_t w)
{
    const uint32_t weight = uint32_t(w) + (w >> 7);
    const uint32_t low = MixLanes(c2, c1, weight);
    const uint32_t a = (((c2 >> 24) * weight + (c1 >> 24) * (256 - weight) + 0x7F) >> 8) & 0xFF;
    return low | (a << 24);
}

void BlendRun(const uint32_t* source, uint32_t* dest, int count)
{
    CombineRun(source, dest, count, BlendPixel);
}

void BlendRunMaster(const uint32_t* source, uint32_t* dest, int count, uint8_t masterAlpha)
{
    if (masterAlpha == 0)
        return;
    if (masterAlpha == 255) {
        BlendRun(source, dest, count);
        return;
    }
    const auto& scale = AlphaTables().Mul[masterAlpha];
    CombineRun(source, dest, count, [&scale](uint32_t s, uint32_t d) { return BlendPixel((s & 0xFFFFFF) | scale[s >> 24], d); });
}

// ---------------------------------------------------------------------------------------------
// TDIB32

void TDIB32::SetSize(int width, int height, bool keepContents)
{
    width = std::max(width, 0);
    height = std::max(height, 0);
    if (width == FWidth && height == FHeight)
        return;
    std::unique_ptr<TDIB32, TObjectFree> old;
    if (keepContents && FBits) {
        // The old section moves into a temporary DIB and is copied back once the new one exists.
        old.reset(New<TDIB32>());
        Exchange(old.get());
    }
    Clear();
    FWidth = width;
    FHeight = height;
    if (width == 0 || height == 0)
        return;
    FInfo = Dib32Info(width, height);
    uint32_t* bits = nullptr;
    {
        TWindowDC screen;
        FHandle = MakeDib32(width, height, &bits);
        if (!FHandle) {
            FWidth = FHeight = 0;
            RaiseLastOSError("CreateDIBSection");
        }
        FDC.Reset(CreateCompatibleDC(screen.Get()));
    }
    if (!FDC) {
        const DWORD error = GetLastError();
        FHandle.Reset();
        FWidth = FHeight = 0;
        RaiseOSError(error, "CreateCompatibleDC");
    }
    FOldBitmap = SelectObject(FDC.Get(), FHandle.Get());
    FBits = bits;
    FClipRect = RECT{0, 0, width, height};
    if (old)
        DIBCopy(this, 0, 0, old.get(), RECT{0, 0, old->FWidth, old->FHeight});
}

void TDIB32::Assign(const TDIB32* source)
{
    if (source == this)
        return;
    if (!source || !source->FBits) {
        Clear();
        if (source)
            SetSize(source->FWidth, source->FHeight);
        return;
    }
    SetSize(source->FWidth, source->FHeight);
    std::memcpy(FBits, source->FBits, size_t(FWidth) * size_t(FHeight) * 4);
}

void TDIB32::Clear()
{
    // The section comes out of the DC before either goes.
    if (FDC)
        SelectObject(FDC.Get(), FOldBitmap);
    FDC.Reset();
    FHandle.Reset();
    FOldBitmap = nullptr;
    FBits = nullptr;
    FClipRect = RECT{};
    FWidth = FHeight = 0;
}

void TDIB32::Exchange(TDIB32* other)
{
    const HDC dc = FDC.Release(), otherDC = other->FDC.Release();
    FDC.Reset(otherDC);
    other->FDC.Reset(dc);
    const HBITMAP section = FHandle.Release(), otherSection = other->FHandle.Release();
    FHandle.Reset(otherSection);
    other->FHandle.Reset(section);
    std::swap(other->FInfo, FInfo);
    std::swap(other->FBits, FBits);
    std::swap(other->FClipRect, FClipRect);
    std::swap(other->FOldBitmap, FOldBitmap);
    std::swap(other->FWidth, FWidth);
    std::swap(other->FHeight, FHeight);
}

void TDIB32::SetClipRect(const RECT& r)
{
    Intersect(FClipRect, r, RECT{0, 0, FBits ? FWidth : 0, FBits ? FHeight : 0});
}

void TDIB32::Fill(uint32_t color)
{
    for (int y = FClipRect.top; y < FClipRect.bottom; ++y)
        std::fill(GetScanLine(y) + FClipRect.left, GetScanLine(y) + FClipRect.right, color);
}

void TDIB32::Draw(HDC dc, const RECT& destRect, uint32_t flags, const RECT& sourceRect)
{
    CheckParameters(dc, this);
    if (!FBits)
        return;
    const int dw = RectWidth(destRect), dh = RectHeight(destRect);
    if (dw <= 0 || dh <= 0 || RectWidth(sourceRect) <= 0 || RectHeight(sourceRect) <= 0)
        return;
    const bool blend = (flags & 0xFF) == DrawBlend;
    if (dw == RectWidth(sourceRect) && dh == RectHeight(sourceRect)) {
        if (blend)
            DIBBlendToDC(dc, destRect.left, destRect.top, this, sourceRect, 255);
        else
            DIBCopyToDC(dc, destRect, this, sourceRect);
        return;
    }
    if (!blend && !(flags & DrawResample)) {
        DIBCopyToDC(dc, destRect, this, sourceRect);
        return;
    }
    RECT clip;
    if (GetClipBox(dc, &clip) == ERROR)
        return;
    RECT visible;
    if (!Intersect(visible, destRect, clip))
        return;
    std::unique_ptr<TDIB32, TObjectFree> scaled(New<TDIB32>());
    scaled->SetSize(RectWidth(visible), RectHeight(visible));
    const RECT target{destRect.left - visible.left, destRect.top - visible.top, destRect.right - visible.left,
                      destRect.bottom - visible.top};
    DIBResample(scaled.get(), target, this, sourceRect);
    const RECT whole{0, 0, scaled->GetWidth(), scaled->GetHeight()};
    if (blend)
        DIBBlendToDC(dc, visible.left, visible.top, scaled.get(), whole, 255);
    else
        DIBCopyToDC(dc, visible, scaled.get(), whole);
}

// ---------------------------------------------------------------------------------------------
// Copy and blend

void DIBCopy(TDIB32* dest, int x, int y, const TDIB32* source, const RECT& sourceRect)
{
    CheckParameters(dest, source);
    RECT src;
    if (!ClipTransfer(dest, x, y, source, sourceRect, src))
        return;
    const size_t bytes = size_t(RectWidth(src)) * 4;
    const int rows = RectHeight(src);
    // Rows move bottom first when the target lies below the source in the same image.
    const bool upward = dest == source && y > src.top;
    for (int i = 0; i < rows; ++i) {
        const int r = upward ? rows - 1 - i : i;
        std::memmove(dest->GetScanLine(y + r) + x, source->GetScanLine(src.top + r) + src.left, bytes);
    }
}

void DIBBlend(TDIB32* dest, int x, int y, const TDIB32* source, const RECT& sourceRect, uint8_t masterAlpha)
{
    CheckParameters(dest, source);
    RECT src;
    if (masterAlpha == 0 || !ClipTransfer(dest, x, y, source, sourceRect, src))
        return;
    for (int r = 0; r < RectHeight(src); ++r)
        BlendRunMaster(source->GetScanLine(src.top + r) + src.left, dest->GetScanLine(y + r) + x, RectWidth(src),
                       masterAlpha);
}

void DIBBlendToDC(HDC dc, int x, int y, const TDIB32* source, const RECT& sourceRect, uint8_t masterAlpha)
{
    CheckParameters(dc, source);
    RECT src;
    if (masterAlpha == 0 || !Intersect(src, sourceRect, source->GetClipRect()))
        return;
    x += src.left - sourceRect.left;
    y += src.top - sourceRect.top;
    RECT clip;
    if (GetClipBox(dc, &clip) == ERROR)
        return;
    RECT visible;
    if (!Intersect(visible, RECT{x, y, x + RectWidth(src), y + RectHeight(src)}, clip))
        return;
    const int w = RectWidth(visible), h = RectHeight(visible);
    const int sx = src.left + visible.left - x, sy = src.top + visible.top - y;
    // Up to 64 x 64 pixels go in one piece; larger areas in bands of as many rows as fit that.
    constexpr int PiecePixels = 64 * 64;
    const int band = w * h <= PiecePixels ? h : std::max(1, PiecePixels / w);
    std::unique_ptr<TDIB32, TObjectFree> buffer(New<TDIB32>());
    buffer->SetSize(w, std::min(band, h));
    for (int top = 0; top < h; top += band) {
        const int rows = std::min(band, h - top);
        BitBlt(buffer->GetDC(), 0, 0, w, rows, dc, visible.left, visible.top + top, SRCCOPY);
        GdiFlush();
        for (int r = 0; r < rows; ++r)
            BlendRunMaster(source->GetScanLine(sy + top + r) + sx, buffer->GetScanLine(r), w, masterAlpha);
        BitBlt(dc, visible.left, visible.top + top, w, rows, buffer->GetDC(), 0, 0, SRCCOPY);
    }
}

void DIBCopyToDC(HDC dc, const RECT& destRect, const TDIB32* source, const RECT& sourceRect)
{
    CheckParameters(dc, source);
    if (!source->HasBits())
        return;
    GdiFlush();
    StretchDIBits(dc, destRect.left, destRect.top, RectWidth(destRect), RectHeight(destRect), sourceRect.left,
                  sourceRect.top, RectWidth(sourceRect), RectHeight(sourceRect), source->GetBits(), &source->GetInfo(),
                  DIB_RGB_COLORS, SRCCOPY);
}

// ---------------------------------------------------------------------------------------------
// Resampling

namespace {

// For destination pixels [first, first + count) of an axis of length destLength drawn from source
// length sourceLength: each pixel's first source index and weights (1/256, summing to 256).
struct TContributors {
    std::vector<int> Start;      // first source index, per destination pixel
    std::vector<int> Offset;     // into Weights, per destination pixel, plus one at the end
    std::vector<int> Weights;
};

void AddNormalised(TContributors& c, int start, std::vector<double>& raw)
{
    // Drop empty contributors at both ends, round, then move the rounding error onto the largest.
    while (raw.size() > 1 && raw.back() <= 0)
        raw.pop_back();
    size_t skip = 0;
    while (skip + 1 < raw.size() && raw[skip] <= 0)
        ++skip;
    double total = 0;
    for (size_t i = skip; i < raw.size(); ++i)
        total += raw[i];
    c.Start.push_back(start + int(skip));
    int sum = 0;
    size_t largest = c.Weights.size();
    for (size_t i = skip; i < raw.size(); ++i) {
        const int w = int(std::lround(raw[i] * 256.0 / total));
        if (c.Weights.size() == largest || w > c.Weights[largest])
            largest = c.Weights.size();
        c.Weights.push_back(w);
        sum += w;
    }
    c.Weights[largest] += 256 - sum;
    c.Offset.push_back(int(c.Weights.size()));
}

TContributors Contributors(int sourceLength, int destLength, int first, int count)
{
    TContributors c;
    c.Offset.push_back(0);
    const double scale = double(sourceLength) / double(destLength);
    std::vector<double> raw;
    for (int d = first; d < first + count; ++d) {
        raw.clear();
        if (destLength >= sourceLength) {
            const double p = (d + 0.5) * scale - 0.5;
            if (p <= 0) {
                raw.push_back(1);
                AddNormalised(c, 0, raw);
            } else if (p >= sourceLength - 1) {
                raw.push_back(1);
                AddNormalised(c, sourceLength - 1, raw);
            } else {
                const int i = int(std::floor(p));
                const double f = std::round((p - i) * 256.0);
                raw.push_back(256 - f);
                raw.push_back(f);
                AddNormalised(c, i, raw);
            }
            continue;
        }
        const double a = d * scale, b = (d + 1) * scale;
        const int i0 = int(std::floor(a));
        const int i1 = std::min(sourceLength, int(std::ceil(b)));
        for (int i = i0; i < i1; ++i)
            raw.push_back(std::min(b, double(i + 1)) - std::max(a, double(i)));
        AddNormalised(c, i0, raw);
    }
    return c;
}

} // namespace

void DIBResample(TDIB32* dest, const RECT& destRect, const TDIB32* source, const RECT& sourceRect)
{
    CheckParameters(dest, source);
    RECT src;
    if (!Intersect(src, sourceRect, source->GetClipRect()))
        return;
    RECT visible;
    if (RectWidth(destRect) <= 0 || RectHeight(destRect) <= 0 || !Intersect(visible, destRect, dest->GetClipRect()))
        return;
    const int sw = RectWidth(src), sh = RectHeight(src);
    const int dw = RectWidth(destRect), dh = RectHeight(destRect);
    const int vx = visible.left - destRect.left, vy = visible.top - destRect.top;
    const int vw = RectWidth(visible), vh = RectHeight(visible);
    const TContributors cx = Contributors(sw, dw, vx, vw);
    const TContributors cy = Contributors(sh, dh, vy, vh);
    // Only the source rows that some visible row draws on pass the horizontal step.
    const int rowFirst = cy.Start.front();
    int rowLast = rowFirst;
    for (int j = 0; j < vh; ++j)
        rowLast = std::max(rowLast, cy.Start[j] + (cy.Offset[j + 1] - cy.Offset[j]));
    const int rows = rowLast - rowFirst;
    // Horizontal step: each channel times 256, which fits 16 bits.
    std::vector<uint16_t> mid(size_t(vw) * size_t(rows) * 4);
    for (int r = 0; r < rows; ++r) {
        const uint32_t* line = source->GetScanLine(src.top + rowFirst + r) + src.left;
        uint16_t* out = mid.data() + size_t(r) * size_t(vw) * 4;
        for (int i = 0; i < vw; ++i, out += 4) {
            uint32_t b = 0, g = 0, red = 0, a = 0;
            const uint32_t* p = line + cx.Start[i];
            for (int k = cx.Offset[i]; k < cx.Offset[i + 1]; ++k, ++p) {
                const uint32_t w = uint32_t(cx.Weights[k]);
                b += w * (*p & 0xFF);
                g += w * ((*p >> 8) & 0xFF);
                red += w * ((*p >> 16) & 0xFF);
                a += w * (*p >> 24);
            }
            out[0] = uint16_t(b);
            out[1] = uint16_t(g);
            out[2] = uint16_t(red);
            out[3] = uint16_t(a);
        }
    }
    // Vertical step: products of both weights, in 1/65536.
    for (int j = 0; j < vh; ++j) {
        uint32_t* line = dest->GetScanLine(visible.top + j) + visible.left;
        const int first = cy.Start[j] - rowFirst;
        for (int i = 0; i < vw; ++i) {
            uint32_t sum[4] = {0x8000, 0x8000, 0x8000, 0x8000};
            const uint16_t* p = mid.data() + (size_t(first) * size_t(vw) + size_t(i)) * 4;
            for (int k = cy.Offset[j]; k < cy.Offset[j + 1]; ++k, p += size_t(vw) * 4) {
                const uint32_t w = uint32_t(cy.Weights[k]);
                sum[0] += w * p[0];
                sum[1] += w * p[1];
                sum[2] += w * p[2];
                sum[3] += w * p[3];
            }
            line[i] = (sum[0] >> 16) | ((sum[1] >> 16) << 8) | ((sum[2] >> 16) << 16) | ((sum[3] >> 16) << 24);
        }
    }
}

// ---------------------------------------------------------------------------------------------
// TMonoGlyph

// A 1-bit bitmap pads its rows to 16 bits, so the pattern words are its rows as they are.
TMonoGlyph::TMonoGlyph(int width, const uint16_t* pattern, int height)
    : FWidth(width), FHeight(height), FBitmap(CreateBitmap(width, height, 1, 1, pattern))
{
    if (!FBitmap)
        RaiseLastOSError("CreateBitmap");
    if (!FDC)
        RaiseLastOSError("CreateCompatibleDC");
    FOldBitmap = SelectObject(FDC.Get(), FBitmap.Get());
}

TMonoGlyph::~TMonoGlyph()
{
    SelectObject(FDC.Get(), FOldBitmap);
}

void TMonoGlyph::Draw(HDC dc, int x, int y, TColor color) const
{
    if (color == clNone)
        return;
    TGdiObject<HBRUSH> brush(CreateSolidBrush(COLORREF(ColorToRGB(color))));
    TSelectGuard select(dc, brush.Get());
    TSavedDC saved(dc);
    SetTextColor(dc, RGB(255, 255, 255));
    SetBkColor(dc, RGB(0, 0, 0));
    // Under these colours set bits come through as black and take the brush; clear bits come
    // through as white and keep the target.
    BitBlt(dc, x, y, FWidth, FHeight, FDC.Get(), 0, 0, 0xB8074A);
}

void DrawPatternGlyph(HDC dc, const RECT& r, int width, TColor color, const uint16_t* pattern, int height)
{
    const std::unique_ptr<TMonoGlyph, TObjectFree> glyph(New<TMonoGlyph>(width, pattern, height));
    glyph->Draw(dc, r.left + (RectWidth(r) - width) / 2, r.top + (RectHeight(r) - height) / 2, color);
}
