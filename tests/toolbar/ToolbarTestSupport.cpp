#include "ToolbarTestSupport.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "platform/ScopeGuards.h"
#include "toolbar/TBFramework.h"

TTestDib::TTestDib(int width, int height) : FWidth(width), FHeight(height)
{
    const BITMAPINFO bi = Dib32Info(width, height);
    void* bits = nullptr;
    FDC = CreateCompatibleDC(nullptr);
    FBitmap = CreateDIBSection(FDC, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!FDC || !FBitmap)
        throw std::runtime_error("cannot create the test bitmap");
    FBits = static_cast<uint32_t*>(bits);
    FOldBitmap = SelectObject(FDC, FBitmap);
}

TTestDib::~TTestDib()
{
    SelectObject(FDC, FOldBitmap);
    DeleteObject(FBitmap);
    DeleteDC(FDC);
}

void TTestDib::Fill(uint32_t rgb)
{
    GdiFlush();
    for (int i = 0; i < FWidth * FHeight; ++i)
        FBits[i] = rgb;
}

uint32_t TTestDib::Pixel(int x, int y) const
{
    GdiFlush();
    return FBits[y * FWidth + x] & 0xFFFFFF;
}

std::vector<uint32_t> TTestDib::Pixels() const
{
    GdiFlush();
    std::vector<uint32_t> result(FBits, FBits + FWidth * FHeight);
    for (uint32_t& p : result)
        p &= 0xFFFFFF;
    return result;
}

int TTestDib::CountNot(uint32_t rgb, const RECT& r, bool outside) const
{
    int count = 0;
    for (int y = 0; y < FHeight; ++y)
        for (int x = 0; x < FWidth; ++x) {
            bool inside = x >= r.left && x < r.right && y >= r.top && y < r.bottom;
            if (inside != outside && Pixel(x, y) != (rgb & 0xFFFFFF))
                ++count;
        }
    return count;
}

namespace {

const char* TestWindowClass()
{
    static const char* name = [] {
        WNDCLASSA wc{};
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
        wc.lpszClassName = "SfToolbarTestWindow";
        RegisterClassA(&wc);
        return "SfToolbarTestWindow";
    }();
    return name;
}

} // namespace

TTestWindow::TTestWindow(int width, int height, DWORD style, HWND parent, WNDPROC proc)
{
    FWnd = CreateWindowExA(0, TestWindowClass(), "test", style, 10, 10, width, height, parent, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
    if (!FWnd)
        throw std::runtime_error("cannot create the test window");
    if (proc)
        SetWindowLongPtrA(FWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(proc));
}

TTestWindow::~TTestWindow()
{
    DestroyWindow(FWnd);
}

namespace {

// The framework starts once for the whole test program, as the program starts it once.
class TToolbarEnvironment : public testing::Environment {
public:
    void SetUp() override { InitTBFramework(); }
    void TearDown() override { DoneTBFramework(); }
};

testing::Environment* const ToolbarEnvironment = testing::AddGlobalTestEnvironment(new TToolbarEnvironment);

} // namespace

TTraitItem::TTraitItem(TTBItemTraits extra) : TTBCustomItem(nullptr)
{
    SetItemStyle(static_cast<TTBItemTraits>(GetItemStyle() | extra));
}

TTBCustomItem* AddItem(TTBCustomItem* parent, const std::wstring& caption, TTBItemTraits extraTraits)
{
    if (caption == L"-") {
        TTBCustomItem* separator = New<TTBSeparatorItem>(nullptr);
        parent->Add(separator);
        return separator;
    }
    TTBCustomItem* item = New<TTraitItem>(extraTraits);
    item->SetCaption(caption);
    parent->Add(item);
    return item;
}

void TViewHost::Dispatch(TMessage& m)
{
    if (m.Msg == WM_GETOBJECT && View && View->HandleWMGetObject(m))
        return;
    TCustomControl::Dispatch(m);
}

void TViewHost::Paint()
{
    if (View)
        View->PaintViewers(GetCanvas());
}
