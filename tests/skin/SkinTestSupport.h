// What the themed framework's tests share: the unit started for the whole run, DIBs made from
// pixel lists, and pixel comparisons that look at colour only where GDI drops alpha.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "TestSupport.h"
#include "platform/ObjectModel.h"
#include "skin/SkinDib.h"
#include "skin/SkinPngReader.h"
#include "skin/SkinUtils.h"
#include "toolbar/TBDock.h"

using TDIBPtr = std::unique_ptr<TDIB32, TObjectFree>;

TDIBPtr MakeDIB(int width, int height, uint32_t fill = 0);
TDIBPtr MakeDIB(int width, int height, const std::vector<uint32_t>& pixels);
std::vector<uint32_t> PixelsOf(const TDIB32* dib);
// The pixels a PNG reader decoded without a target.
std::vector<uint32_t> PixelsOf(const TPNGReader& reader);
inline uint32_t PixelAt(const TDIB32* dib, int x, int y) { return dib->GetScanLine(y)[x]; }
inline uint32_t RGBOf(uint32_t pixel) { return pixel & 0xFFFFFF; }
// A Windows colour (red low) as the RGB of a DIB pixel (red high).
inline uint32_t PixelRGB(COLORREF c) { return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c); }
// The optional Windows calls as a test sets them, restored when it ends.
class TOptionalCallsScope {
public:
    TOptionalCallsScope() : FSaved(SkinOptionalCalls()) {}
    ~TOptionalCallsScope() { SkinOptionalCalls() = FSaved; }
    TOptionalCallsScope(const TOptionalCallsScope&) = delete;
    TOptionalCallsScope& operator=(const TOptionalCallsScope&) = delete;

private:
    TSkinOptionalCalls FSaved;
};

// Random ARGB pixels from a fixed seed.
std::vector<uint32_t> RandomPixels(size_t count, uint32_t seed);

// A dock background of one colour that notes the rectangle it last painted.
class TPlainBackground : public TTBBasicBackground {
public:
    COLORREF Color = RGB(250, 120, 0);
    RECT Painted{};
    void PaintBackground(HDC dc, const RECT& drawRect, TControl*) override
    {
        Painted = drawRect;
        TGdiObject<HBRUSH> brush(CreateSolidBrush(Color));
        FillRect(dc, &drawRect, brush.Get());
    }
    HPALETTE BackgroundPalette() override { return nullptr; }
    void AddChangeHandler(TChangeProc, void*) override {}
    void SystemColorsChanged() override {}
    void RemoveChangeHandler(TChangeProc, void*) override {}
    bool InUse() override { return true; }
};
