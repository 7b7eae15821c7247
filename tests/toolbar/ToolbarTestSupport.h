// What the toolbar framework's tests share: a 32-bit DIB with its memory DC to draw into and
// read back, plain top-level windows of a class of the tests' own, items with extra traits, and a
// control that shows a view.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "platform/Controls.h"
#include "toolbar/TBItem.h"
#include "toolbar/TBView.h"

// A top-down 32-bit DIB section selected into a memory DC; pixels read as 0x00RRGGBB.
class TTestDib {
public:
    TTestDib(int width, int height);
    ~TTestDib();
    TTestDib(const TTestDib&) = delete;
    TTestDib& operator=(const TTestDib&) = delete;

    HDC DC() const { return FDC; }
    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    void Fill(uint32_t rgb);
    uint32_t Pixel(int x, int y) const;
    std::vector<uint32_t> Pixels() const;
    // Pixels of another colour than `rgb` inside (or, with outside, outside) the rectangle.
    int CountNot(uint32_t rgb, const RECT& r, bool outside = false) const;

private:
    HDC FDC = nullptr;
    HBITMAP FBitmap = nullptr;
    HGDIOBJ FOldBitmap = nullptr;
    uint32_t* FBits = nullptr;
    int FWidth = 0;
    int FHeight = 0;
};

// A plain window of the tests' class; its procedure is DefWindowProc unless one is given.
class TTestWindow {
public:
    explicit TTestWindow(int width = 300, int height = 200, DWORD style = WS_OVERLAPPEDWINDOW, HWND parent = nullptr,
                         WNDPROC proc = nullptr);
    ~TTestWindow();
    TTestWindow(const TTestWindow&) = delete;
    TTestWindow& operator=(const TTestWindow&) = delete;
    HWND Handle() const { return FWnd; }

private:
    HWND FWnd = nullptr;
};

// An item of a class that sets extra traits, as derived item classes do.
class TTraitItem : public TTBCustomItem {
public:
    explicit TTraitItem(TTBItemTraits extra);
};

// A new item (with extra traits) added to a parent, which frees it; "-" adds a separator.
TTBCustomItem* AddItem(TTBCustomItem* parent, const std::wstring& caption, TTBItemTraits extraTraits = 0);

// A control that shows a view and answers for it to accessibility clients.
class TViewHost : public TCustomControl {
public:
    using TCustomControl::TCustomControl;
    TTBView* View = nullptr;
    void Dispatch(TMessage& m) override;

protected:
    void Paint() override;
};
