#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "platform/Graphics.h"
#include "platform/Streams.h"
#include "TestSupport.h"

namespace {

COLORREF Rgb(TColor c)
{
    return static_cast<COLORREF>(c) & 0xFFFFFF;
}

// The colour of a pixel read straight from a bitmap's memory (RGB only).
COLORREF PixelOf(TBitmap* bmp, int x, int y)
{
    auto* row = static_cast<uint8_t*>(bmp->GetScanLine(y));
    switch (bmp->GetBitsPerPixel()) {
    case 24: return RGB(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
    case 32: return RGB(row[4 * x + 2], row[4 * x + 1], row[4 * x]);
    default: return Rgb(bmp->GetCanvas()->GetPixel(x, y));
    }
}

TOwned<TBitmap> NewBitmap(int w, int h, TPixelFormat format = TPixelFormat::pf24bit)
{
    auto bmp = Make<TBitmap>();
    bmp->SetPixelFormat(format);
    bmp->SetSize(w, h);
    return bmp;
}

struct TCounter {
    int Count = 0;
    void Hit(TObject*) { ++Count; }
};

} // namespace

TEST(Colors, SystemColoursResolveThroughGetSysColor)
{
    EXPECT_EQ(ColorToRGB(clBtnFace), static_cast<TColor>(GetSysColor(COLOR_BTNFACE)));
    EXPECT_EQ(ColorToRGB(clWindowText), static_cast<TColor>(GetSysColor(COLOR_WINDOWTEXT)));
    EXPECT_EQ(ColorToRGB(clRed), 0x0000FF);
    EXPECT_EQ(ColorToRGB(clNone), 0x1FFFFFFF);
    EXPECT_EQ(ColorToRGB(clDefault), 0x20000000);
    EXPECT_EQ(static_cast<uint32_t>(clBtnFace), 0x8000000Fu);
}

TEST(Font, SizeAndHeightFollowPixelsPerInch)
{
    for (int ppi : {72, 96, 120, 144, 300, 600}) {
        auto font = Make<TFont>();
        font->SetPixelsPerInch(ppi);
        for (int size : {1, 8, 9, 10, 12, 45, 72}) {
            font->SetSize(size);
            EXPECT_EQ(font->GetHeight(), -MulDiv(size, ppi, 72)) << ppi << " " << size;
            EXPECT_EQ(font->GetSize(), size) << ppi << " " << size;
        }
        // A positive height is the cell height: the size reads negative.
        font->SetHeight(20);
        EXPECT_EQ(font->GetSize(), -MulDiv(20, 72, ppi));
    }
    auto font = Make<TFont>();
    EXPECT_EQ(font->GetPixelsPerInch(), ScreenPixelsPerInch());
    EXPECT_EQ(font->GetSize(), 8);
}

TEST(Font, AssignKeepsThePointSizeAcrossResolutions)
{
    auto screen = Make<TFont>();
    screen->SetPixelsPerInch(96);
    screen->SetName("Arial");
    screen->SetSize(12);
    screen->SetStyle({fsBold, fsUnderline});
    screen->SetColor(clRed);
    screen->SetCharset(RUSSIAN_CHARSET);
    auto printer = Make<TFont>();
    printer->SetPixelsPerInch(600);
    printer->Assign(screen.get());
    EXPECT_EQ(printer->GetName(), "Arial");
    EXPECT_EQ(printer->GetSize(), 12);
    EXPECT_EQ(printer->GetHeight(), -100);
    EXPECT_EQ(printer->GetStyle(), (TFontStyles{fsBold, fsUnderline}));
    EXPECT_EQ(printer->GetColor(), clRed);
    EXPECT_EQ(printer->GetCharset(), RUSSIAN_CHARSET);
    auto pen = Make<TPen>();
    EXPECT_THROW(printer->Assign(pen.get()), EConvertError);
}

TEST(Font, AssigningAFontThatDiffersOnlyInColourKeepsTheHandle)
{
    auto source = Make<TFont>();
    source->SetName("Arial");
    source->SetSize(10);
    auto target = Make<TFont>();
    target->Assign(source.get());
    int changes = 0;
    target->OnChange = TNotifyEvent([&](TObject*) { ++changes; });
    const HFONT handle = target->GetHandle();
    struct TCase {
        const char* Name;
        std::function<void()> Change;
        bool NewHandle;
    };
    const TCase cases[] = {
        {"the same font", [] {}, false},
        {"another colour", [&] { source->SetColor(clRed); }, false},
        {"another size", [&] { source->SetSize(12); }, true},
        {"another style", [&] { source->SetStyle({fsItalic}); }, true},
    };
    HFONT last = handle;
    for (const TCase& c : cases) {
        c.Change();
        const int before = changes;
        target->Assign(source.get());
        EXPECT_EQ(changes, before + 1) << c.Name << ": every assignment is a change";
        if (c.NewHandle) {
            // GDI may hand out the freed handle's value again: look at what the handle holds.
            LOGFONTA held{};
            GetObjectA(target->GetHandle(), sizeof(held), &held);
            EXPECT_EQ(held.lfHeight, target->GetHeight()) << c.Name;
            EXPECT_EQ(held.lfItalic != 0, target->GetStyle().Contains(fsItalic)) << c.Name;
        } else {
            EXPECT_EQ(target->GetHandle(), last) << c.Name;
        }
        EXPECT_EQ(target->GetColor(), source->GetColor()) << c.Name;
        last = target->GetHandle();
    }
    EXPECT_EQ(target->GetSize(), 12);
}

TEST(Font, HandleIsCachedAndDroppedOnChange)
{
    auto font = Make<TFont>();
    TCounter changes;
    font->OnChange = TNotifyEvent(&changes, &TCounter::Hit);
    HFONT first = font->GetHandle();
    EXPECT_EQ(font->GetHandle(), first);
    font->SetColor(clBlue);   // not part of the handle
    EXPECT_EQ(font->GetHandle(), first);
    EXPECT_EQ(changes.Count, 1);
    font->SetStyle({fsItalic});
    EXPECT_EQ(changes.Count, 2);
    EXPECT_EQ(GetObjectType(first), 0u) << "the old handle is deleted";
    HFONT second = font->GetHandle();
    LOGFONTA lf{};
    ASSERT_EQ(GetObjectA(second, sizeof(lf), &lf), static_cast<int>(sizeof(lf)));
    EXPECT_TRUE(lf.lfItalic);
    EXPECT_EQ(lf.lfHeight, font->GetHeight());
    font->SetStyle({fsItalic});   // same value: nothing happens
    EXPECT_EQ(changes.Count, 2);
    EXPECT_EQ(font->GetHandle(), second);
}

TEST(Font, TakesItsPropertiesFromAHandle)
{
    LOGFONTA lf{};
    lf.lfHeight = -27;
    lf.lfWeight = FW_BOLD;
    lf.lfItalic = 1;
    lf.lfStrikeOut = 1;
    lf.lfCharSet = GREEK_CHARSET;
    lf.lfPitchAndFamily = FIXED_PITCH;
    lf.lfEscapement = 900;
    strcpy(lf.lfFaceName, "Courier New");
    HFONT handle = CreateFontIndirectA(&lf);
    auto font = Make<TFont>();
    font->SetHandle(handle);
    EXPECT_EQ(font->GetHandle(), handle);
    EXPECT_EQ(font->GetName(), "Courier New");
    EXPECT_EQ(font->GetHeight(), -27);
    EXPECT_EQ(font->GetStyle(), (TFontStyles{fsBold, fsItalic, fsStrikeOut}));
    EXPECT_EQ(font->GetCharset(), GREEK_CHARSET);
    EXPECT_EQ(font->GetPitch(), TFontPitch::fpFixed);
    EXPECT_EQ(font->GetOrientation(), 900);
    font.reset();
    EXPECT_EQ(GetObjectType(handle), 0u) << "the font owns the handle it was given";
}

TEST(PenBrush, HandlesFollowTheProperties)
{
    auto pen = Make<TPen>();
    pen->SetColor(clRed);
    pen->SetWidth(3);
    HPEN first = pen->GetHandle();
    LOGPEN lp{};
    ASSERT_NE(GetObjectA(first, sizeof(lp), &lp), 0);
    EXPECT_EQ(lp.lopnColor, Rgb(clRed));
    EXPECT_EQ(lp.lopnWidth.x, 3);
    pen->SetStyle(TPenStyle::psClear);
    EXPECT_EQ(GetObjectType(first), 0u);
    ASSERT_NE(GetObjectA(pen->GetHandle(), sizeof(lp), &lp), 0);
    EXPECT_EQ(lp.lopnStyle, static_cast<UINT>(PS_NULL));
    pen->SetMode(TPenMode::pmXor);
    EXPECT_EQ(pen->GetRop2(), R2_XORPEN);

    auto brush = Make<TBrush>();
    brush->SetColor(clBtnFace);
    LOGBRUSH lb{};
    ASSERT_NE(GetObjectA(brush->GetHandle(), sizeof(lb), &lb), 0);
    EXPECT_EQ(lb.lbColor, GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(lb.lbStyle, static_cast<UINT>(BS_SOLID));
    brush->SetStyle(TBrushStyle::bsCross);
    ASSERT_NE(GetObjectA(brush->GetHandle(), sizeof(lb), &lb), 0);
    EXPECT_EQ(lb.lbStyle, static_cast<UINT>(BS_HATCHED));
    EXPECT_EQ(lb.lbHatch, static_cast<ULONG_PTR>(HS_CROSS));
    brush->SetStyle(TBrushStyle::bsClear);
    EXPECT_EQ(brush->GetHandle(), GetStockObject(NULL_BRUSH));
    brush->SetColor(clRed);   // a colour makes a clear brush solid again
    EXPECT_EQ(brush->GetStyle(), TBrushStyle::bsSolid);

    auto copy = Make<TBrush>();
    copy->Assign(brush.get());
    EXPECT_EQ(copy->GetColor(), clRed);
    EXPECT_EQ(copy->GetStyle(), TBrushStyle::bsSolid);
}

TEST(PenBrush, PatternBitmapBrushPaintsThePattern)
{
    auto pattern = NewBitmap(8, 8);
    pattern->GetCanvas()->GetBrush()->SetColor(clBlue);
    pattern->GetCanvas()->FillRect({0, 0, 8, 8});
    pattern->GetCanvas()->SetPixel(0, 0, clLime);
    auto target = NewBitmap(16, 16);
    target->GetCanvas()->GetBrush()->SetBitmap(pattern.get());
    target->GetCanvas()->FillRect({0, 0, 16, 16});
    EXPECT_EQ(PixelOf(target.get(), 0, 0), Rgb(clLime));
    EXPECT_EQ(PixelOf(target.get(), 8, 8), Rgb(clLime));
    EXPECT_EQ(PixelOf(target.get(), 3, 5), Rgb(clBlue));
}

TEST(Canvas, DrawsShapesOnABitmap)
{
    auto bmp = NewBitmap(40, 30);
    TCanvas* c = bmp->GetCanvas();
    c->GetBrush()->SetColor(clWhite);
    c->FillRect({0, 0, 40, 30});
    c->GetBrush()->SetColor(clRed);
    c->FillRect({2, 2, 10, 10});
    EXPECT_EQ(PixelOf(bmp.get(), 2, 2), Rgb(clRed));
    EXPECT_EQ(PixelOf(bmp.get(), 9, 9), Rgb(clRed));
    EXPECT_EQ(PixelOf(bmp.get(), 10, 10), Rgb(clWhite));

    c->GetPen()->SetColor(clBlue);
    c->GetBrush()->SetColor(clLime);
    c->Rectangle(12, 2, 20, 10);
    EXPECT_EQ(PixelOf(bmp.get(), 12, 2), Rgb(clBlue));
    EXPECT_EQ(PixelOf(bmp.get(), 19, 9), Rgb(clBlue));
    EXPECT_EQ(PixelOf(bmp.get(), 15, 5), Rgb(clLime));
    EXPECT_EQ(PixelOf(bmp.get(), 20, 10), Rgb(clWhite));

    c->GetPen()->SetStyle(TPenStyle::psClear);
    c->GetBrush()->SetColor(clYellow);
    c->Ellipse(22, 2, 38, 18);
    EXPECT_EQ(PixelOf(bmp.get(), 30, 10), Rgb(clYellow));
    EXPECT_EQ(PixelOf(bmp.get(), 22, 2), Rgb(clWhite));

    c->GetPen()->SetStyle(TPenStyle::psSolid);
    c->GetPen()->SetColor(clBlack);
    c->MoveTo(0, 20);
    c->LineTo(10, 20);
    EXPECT_EQ(c->GetPenPos().x, 10);
    EXPECT_EQ(PixelOf(bmp.get(), 5, 20), Rgb(clBlack));
    EXPECT_EQ(PixelOf(bmp.get(), 10, 20), Rgb(clWhite)) << "the end point is not drawn";

    c->GetBrush()->SetColor(clFuchsia);
    c->GetPen()->SetColor(clFuchsia);
    c->Polygon({{12, 20}, {20, 20}, {20, 28}, {12, 28}});
    EXPECT_EQ(PixelOf(bmp.get(), 16, 24), Rgb(clFuchsia));
    c->SetPixel(39, 29, clTeal);
    EXPECT_EQ(Rgb(c->GetPixel(39, 29)), Rgb(clTeal));
    RECT clip = c->GetClipRect();
    EXPECT_EQ(clip.right, 40);
    EXPECT_EQ(clip.bottom, 30);
}

TEST(Canvas, TextAndFontChangesWhileSelected)
{
    auto bmp = NewBitmap(120, 40);
    TCanvas* c = bmp->GetCanvas();
    c->GetBrush()->SetColor(clWhite);
    c->FillRect({0, 0, 120, 40});
    c->GetFont()->SetName("Arial");
    c->GetFont()->SetSize(14);
    c->GetFont()->SetColor(clBlack);
    SIZE one = c->TextExtent("W");
    SIZE two = c->TextExtent("WW");
    EXPECT_GT(one.cx, 0);
    EXPECT_GT(two.cx, one.cx);
    EXPECT_EQ(c->TextHeight("W"), one.cy);
    HFONT selected = c->GetFont()->GetHandle();
    c->GetBrush()->SetStyle(TBrushStyle::bsClear);
    c->TextOut(2, 2, "WWW");
    EXPECT_EQ(c->GetPenPos().x, 2 + c->TextWidth("WWW"));
    int dark = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 120; ++x)
            dark += PixelOf(bmp.get(), x, y) == 0 ? 1 : 0;
    EXPECT_GT(dark, 10);

    // Changing the font while it is selected: the canvas lets go of it before it is deleted.
    c->GetFont()->SetSize(28);
    EXPECT_EQ(GetObjectType(selected), 0u);
    EXPECT_GT(c->TextExtent("W").cy, one.cy);

    c->GetBrush()->SetColor(clAqua);
    c->TextRect({60, 0, 70, 40}, 60, 0, "WWWW");
    EXPECT_EQ(PixelOf(bmp.get(), 69, 39), Rgb(clAqua)) << "an opaque text rectangle fills its rectangle";
    EXPECT_EQ(PixelOf(bmp.get(), 71, 39), Rgb(clWhite)) << "and nothing outside it";
}

TEST(Canvas, ForeignContextGetsStockObjectsBack)
{
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ bitmap = CreateCompatibleBitmap(dc, 10, 10);
    HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
    {
        auto canvas = Make<TCanvas>();
        TCounter changes;
        canvas->OnChange = TNotifyEvent(&changes, &TCounter::Hit);
        canvas->SetHandle(dc);
        EXPECT_EQ(canvas->GetHandle(), dc);
        canvas->GetPen()->SetColor(clRed);
        canvas->Rectangle(0, 0, 5, 5);
        EXPECT_EQ(changes.Count, 1);
        EXPECT_EQ(GetCurrentObject(dc, OBJ_PEN), canvas->GetPen()->GetHandle());
        canvas->SetHandle(nullptr);
        EXPECT_EQ(GetCurrentObject(dc, OBJ_PEN), GetStockObject(BLACK_PEN));
        EXPECT_EQ(GetCurrentObject(dc, OBJ_FONT), GetStockObject(SYSTEM_FONT));
        EXPECT_THROW(canvas->FillRect({0, 0, 1, 1}), EInvalidOperation);
        canvas->SetHandle(dc);
        canvas->Lock();
        EXPECT_EQ(canvas->GetLockCount(), 1);
        canvas->Unlock();
    }
    EXPECT_EQ(GetCurrentObject(dc, OBJ_BRUSH), GetStockObject(HOLLOW_BRUSH)) << "freeing the canvas deselects";
    SelectObject(dc, oldBitmap);
    DeleteObject(bitmap);
    DeleteDC(dc);
}

TEST(Canvas, AFontThatKeepsItsHandleStaysSelectedAndTakesItsNewColour)
{
    auto bmp = NewBitmap(10, 10);
    TCanvas* c = bmp->GetCanvas();
    auto source = Make<TFont>();
    c->GetFont()->Assign(source.get());
    c->RequiredState(TCanvas::csHandleValid | TCanvas::csFontValid);
    HDC dc = c->GetHandle();
    struct TCase {
        const char* Name;
        std::function<void()> Change;
        bool Reselected;
    };
    const TCase cases[] = {
        {"the same font again", [] {}, false},
        {"another colour", [&] { source->SetColor(clRed); }, false},
        {"another size", [&] { source->SetSize(20); }, true},
        {"back to the first colour", [&] { source->SetColor(clBlack); }, false},
    };
    for (const TCase& t : cases) {
        t.Change();
        const HGDIOBJ before = GetCurrentObject(dc, OBJ_FONT);
        c->GetFont()->Assign(source.get());
        const HGDIOBJ after = GetCurrentObject(dc, OBJ_FONT);
        if (t.Reselected)
            EXPECT_EQ(after, GetStockObject(SYSTEM_FONT)) << t.Name << ": a new handle is let go at once";
        else
            EXPECT_EQ(after, before) << t.Name << ": the handle stays selected";
        c->RequiredState(TCanvas::csFontValid);
        EXPECT_EQ(GetCurrentObject(dc, OBJ_FONT), c->GetFont()->GetHandle()) << t.Name;
        EXPECT_EQ(GetTextColor(dc), static_cast<COLORREF>(ColorToRGB(source->GetColor()))) << t.Name;
    }
}

TEST(Bitmap, SizeFormatAndScanLines)
{
    auto bmp = Make<TBitmap>();
    EXPECT_TRUE(bmp->GetEmpty());
    EXPECT_EQ(bmp->GetHandle(), nullptr);
    bmp->SetPixelFormat(TPixelFormat::pf32bit);
    bmp->SetSize(5, 3);
    EXPECT_FALSE(bmp->GetEmpty());
    EXPECT_EQ(bmp->GetRowSize(), 20);
    EXPECT_EQ(PixelOf(bmp.get(), 4, 2), Rgb(clWhite)) << "a new bitmap is white";
    auto* row = static_cast<uint8_t*>(bmp->GetScanLine(1));
    row[0] = 0x11;   // blue
    row[1] = 0x22;
    row[2] = 0x33;
    EXPECT_EQ(Rgb(bmp->GetCanvas()->GetPixel(0, 1)), RGB(0x33, 0x22, 0x11));
    EXPECT_THROW(bmp->GetScanLine(3), EInvalidGraphicOperation);
    EXPECT_THROW(bmp->GetScanLine(-1), EInvalidGraphicOperation);

    bmp->GetCanvas()->SetPixel(4, 2, clRed);
    bmp->SetSize(8, 6);   // keeps what fits, the rest is white
    EXPECT_EQ(PixelOf(bmp.get(), 0, 1), RGB(0x33, 0x22, 0x11));
    EXPECT_EQ(PixelOf(bmp.get(), 4, 2), Rgb(clRed));
    EXPECT_EQ(PixelOf(bmp.get(), 7, 5), Rgb(clWhite));
    bmp->SetSize(-4, 6);
    EXPECT_TRUE(bmp->GetEmpty());
    EXPECT_EQ(bmp->GetWidth(), 0);

    auto pal = NewBitmap(4, 4, TPixelFormat::pf24bit);
    pal->GetCanvas()->GetBrush()->SetColor(clRed);
    pal->GetCanvas()->FillRect({0, 0, 2, 4});
    pal->SetPixelFormat(TPixelFormat::pf8bit);
    EXPECT_EQ(pal->GetBitsPerPixel(), 8);
    EXPECT_EQ(pal->GetColorTable().size(), 256u);
    EXPECT_EQ(PixelOf(pal.get(), 1, 1), Rgb(clRed));
    EXPECT_EQ(PixelOf(pal.get(), 3, 3), Rgb(clWhite));
}

TEST(Bitmap, DrawStretchCopyAndAssign)
{
    auto src = NewBitmap(2, 2);
    src->GetCanvas()->SetPixel(0, 0, clRed);
    src->GetCanvas()->SetPixel(1, 0, clLime);
    src->GetCanvas()->SetPixel(0, 1, clBlue);
    src->GetCanvas()->SetPixel(1, 1, clYellow);
    auto dst = NewBitmap(10, 10, TPixelFormat::pf32bit);
    dst->GetCanvas()->Draw(1, 1, src.get());
    EXPECT_EQ(PixelOf(dst.get(), 1, 1), Rgb(clRed));
    EXPECT_EQ(PixelOf(dst.get(), 2, 2), Rgb(clYellow));
    EXPECT_EQ(PixelOf(dst.get(), 3, 3), Rgb(clWhite));
    dst->GetCanvas()->StretchDraw({4, 4, 8, 8}, src.get());
    EXPECT_EQ(PixelOf(dst.get(), 5, 5), Rgb(clRed));
    EXPECT_EQ(PixelOf(dst.get(), 6, 5), Rgb(clLime));
    EXPECT_EQ(PixelOf(dst.get(), 5, 7), Rgb(clBlue));
    EXPECT_EQ(PixelOf(dst.get(), 7, 7), Rgb(clYellow));
    dst->GetCanvas()->CopyRect({0, 8, 2, 10}, src->GetCanvas(), {0, 0, 2, 2});
    EXPECT_EQ(PixelOf(dst.get(), 1, 9), Rgb(clYellow));

    auto copy = Make<TBitmap>();
    copy->Assign(src.get());
    src->GetCanvas()->SetPixel(0, 0, clBlack);
    EXPECT_EQ(copy->GetWidth(), 2);
    EXPECT_EQ(copy->GetPixelFormat(), TPixelFormat::pf24bit);
    EXPECT_EQ(PixelOf(copy.get(), 0, 0), Rgb(clRed)) << "the copy has its own pixels";
    copy->Assign(nullptr);
    EXPECT_TRUE(copy->GetEmpty());

    HBITMAP released = src->ReleaseHandle();
    EXPECT_TRUE(src->GetEmpty());
    ASSERT_NE(released, nullptr);
    auto adopted = Make<TBitmap>();
    adopted->SetHandle(released);
    EXPECT_EQ(adopted->GetWidth(), 2);
    EXPECT_EQ(PixelOf(adopted.get(), 1, 1), Rgb(clYellow));
    EXPECT_EQ(GetObjectType(released), 0u) << "a handle that is taken over belongs to the bitmap";
}

TEST(Bitmap, ChangeNotification)
{
    auto bmp = NewBitmap(4, 4);
    TCounter changes;
    bmp->OnChange = TNotifyEvent(&changes, &TCounter::Hit);
    bmp->SetModified(false);
    bmp->GetCanvas()->FillRect({0, 0, 2, 2});
    EXPECT_EQ(changes.Count, 1);
    EXPECT_TRUE(bmp->GetModified());
    bmp->SetSize(4, 4);
    EXPECT_EQ(changes.Count, 1);
    bmp->SetSize(5, 4);
    EXPECT_EQ(changes.Count, 2);
}

TEST(Bitmap, TransparentDrawingSkipsTheBottomLeftColour)
{
    auto sprite = NewBitmap(4, 4);
    sprite->GetCanvas()->GetBrush()->SetColor(clFuchsia);
    sprite->GetCanvas()->FillRect({0, 0, 4, 4});
    sprite->GetCanvas()->SetPixel(1, 1, clRed);
    sprite->SetTransparent(true);
    auto target = NewBitmap(8, 8);
    target->GetCanvas()->GetBrush()->SetColor(clBlue);
    target->GetCanvas()->FillRect({0, 0, 8, 8});
    target->GetCanvas()->Draw(2, 2, sprite.get());
    EXPECT_EQ(PixelOf(target.get(), 3, 3), Rgb(clRed));
    EXPECT_EQ(PixelOf(target.get(), 2, 2), Rgb(clBlue));
    EXPECT_EQ(PixelOf(target.get(), 5, 5), Rgb(clBlue));
}

// More rounds than the process may hold GDI objects (about 65000 under Wine): a handle leaked
// per round makes the drawing fail.
TEST(Canvas, NoHandleLeaksOverManyChanges)
{
    auto bmp = NewBitmap(16, 16);
    TCanvas* c = bmp->GetCanvas();
    for (int i = 0; i < 70000; ++i) {
        c->GetFont()->SetSize(8 + i % 7);
        c->GetPen()->SetWidth(1 + i % 3);
        c->GetBrush()->SetColor(i % 2 ? clRed : clBlue);
        c->Rectangle(0, 0, 8, 8);
        c->TextOut(0, 0, "x");
    }
    for (int i = 0; i < 70000; ++i) {
        auto b = NewBitmap(2 + i % 3, 2);
        b->GetCanvas()->FillRect({0, 0, 1, 1});
    }
    EXPECT_EQ(PixelOf(bmp.get(), 15, 15), Rgb(clWhite));
}
