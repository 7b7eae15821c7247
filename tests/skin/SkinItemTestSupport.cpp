#include "SkinItemTestSupport.h"

#include <commctrl.h>

#include "platform/ScopeGuards.h"
#include "skin/SkinTheme.h"

void TThemedViewHost::Dispatch(TMessage& m)
{
    if (m.Msg == TBM_QUERYVIEWTYPE) {
        m.Result = LRESULT(ViewType);
        return;
    }
    if (m.Msg == WM_GETOBJECT && View && View->HandleWMGetObject(m))
        return;
    TCustomControl::Dispatch(m);
}

void TThemedViewHost::Paint()
{
    if (View)
        View->PaintViewers(GetCanvas());
}

TViewFixture::TViewFixture(uint32_t viewType, bool isToolbar, TTBViewAxis orientation)
    : Host(New<TThemedViewHost>(nullptr)), Root(New<TTBRootItem>(nullptr))
{
    Host->ViewType = viewType;
    Host->SetBounds(0, 0, 400, 200);
    View.reset(New<TTBView>(Host.get(), nullptr, Root.get(), Host.get(), isToolbar, false, false));
    View->SetOrientation(orientation);
    Host->View = View.get();
}

TViewFixture::~TViewFixture()
{
    Host->View = nullptr;
    View.reset();
    Root.reset();
}

TTestCanvas::TTestCanvas(HDC dc, TTBView* view) : FCanvas(New<TCanvas>())
{
    FCanvas->SetHandle(dc);
    if (TFont* font = view->ResolveFont())
        FCanvas->GetFont()->Assign(font);
}

TTestCanvas::~TTestCanvas()
{
    FCanvas->SetHandle(nullptr);
}

COLORREF ImageColor(int index)
{
    return RGB(200 - index * 30, 40 + index * 50, 90);
}

TImageListPtr MakeImageList(int width, int height, int count)
{
    TImageListPtr list(New<TCustomImageList>(nullptr, width, height));
    TWindowDC screen;
    TMemoryDC dc(screen.Get());
    for (int i = 0; i < count; ++i) {
        TGdiObject<HBITMAP> bitmap(CreateCompatibleBitmap(screen.Get(), width, height));
        {
            TSelectGuard select(dc.Get(), bitmap.Get());
            TGdiObject<HBRUSH> brush(CreateSolidBrush(ImageColor(i)));
            RECT r{0, 0, width, height};
            FillRect(dc.Get(), &r, brush.Get());
        }
        ImageList_AddMasked(list->GetHandle(), bitmap.Get(), RGB(255, 0, 255));
    }
    return list;
}

SIZE TextSizeInViewFont(TTBView* view, const std::wstring& text, UINT flags)
{
    TMemoryDC dc;
    TTestCanvas canvas(dc.Get(), view);
    canvas->RequiredState(TCanvas::csHandleValid | TCanvas::csFontValid);
    RECT r{0, 0, 1, 0};
    DrawTextW(canvas->GetHandle(), text.c_str(), int(text.size()), &r, flags | DT_CALCRECT);
    return SIZE{r.right - r.left, r.bottom - r.top};
}
