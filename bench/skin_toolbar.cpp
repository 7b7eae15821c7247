// Painting a themed toolbar of 40 items with 16 x 16 images and captions, docked on a themed dock,
// as its window paints itself (its background erased through the theme, then its items), against
// bare GDI drawing of the same images and captions at the same places, like with like:
//  - the first paint after a theme change, with nothing of the theme's kept, against the bare
//    drawing that asks the image list for every image (ImageList_Draw) and draws each caption
//    with DrawTextW;
//  - a repaint, which draws the images from finished pixels kept per image list, against a bare
//    repaint that keeps the images' pixels the same way (made once, then AlphaBlend) and draws
//    each caption with DrawTextW.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "platform/Controls.h"
#include "platform/Forms.h"
#include "platform/ImgList.h"
#include "platform/ScopeGuards.h"
#include "skin/Skin.h"
#include "skin/SkinDock.h"
#include "skin/SkinItems.h"
#include "skin/SkinTheme.h"
#include "skin/SkinToolbar.h"
#include "skin/SkinUtils.h"
#include "toolbar/TBFramework.h"
#include "toolbar/TBItem.h"
#include "toolbar/TBView.h"

namespace {

constexpr int ItemCount = 40;
constexpr int ImageSize = 16;
constexpr int Rounds = 31;
constexpr int PaintsPerRound = 20;

// Milliseconds of one call of f.
template <class F>
double Time(F f)
{
    const double start = Now();
    f();
    return Now() - start;
}

const wchar_t* const Captions[] = {L"&New", L"&Open", L"&Save", L"Print", L"Cut", L"&Copy", L"Paste", L"Undo",
                                   L"Redo", L"Zoom in", L"Zoom out", L"&Fit page", L"Rotate", L"Align left",
                                   L"Align right", L"Centre", L"Text", L"Frame", L"Picture", L"Page setup"};

std::unique_ptr<TCustomImageList, TObjectFree> MakeImages()
{
    std::unique_ptr<TCustomImageList, TObjectFree> images(New<TCustomImageList>(nullptr, ImageSize, ImageSize));
    TWindowDC screen;
    TMemoryDC dc(screen.Get());
    for (int i = 0; i < ItemCount; ++i) {
        TGdiObject<HBITMAP> bitmap(CreateCompatibleBitmap(screen.Get(), ImageSize, ImageSize));
        {
            TSelectGuard select(dc.Get(), bitmap.Get());
            RECT r{0, 0, ImageSize, ImageSize};
            TGdiObject<HBRUSH> back(CreateSolidBrush(RGB(255, 0, 255)));
            FillRect(dc.Get(), &r, back.Get());
            TGdiObject<HBRUSH> brush(CreateSolidBrush(RGB(i * 6, 255 - i * 5, 128)));
            RECT inner{2, 2, ImageSize - 2, ImageSize - 2};
            FillRect(dc.Get(), &inner, brush.Get());
        }
        ImageList_AddMasked(images->GetHandle(), bitmap.Get(), RGB(255, 0, 255));
    }
    return images;
}

} // namespace

int main()
{
    PrintArchitecture();
    InitControls();
    InitForms();
    InitTBFramework();
    InitSkin();
    {
        auto images = MakeImages();
        // A hidden form with the toolbar on its top dock, wrapped into rows where the screen is too
        // narrow for one.
        std::unique_ptr<TForm, TObjectFree> form(New<TForm>(nullptr));
        form->SetBounds(0, 0, 4000, 400);
        auto* dock = New<TSkinDock>(form.get());
        dock->SetParent(form.get());
        auto* toolbar = New<TSkinToolbar>(form.get());
        toolbar->SetShrinkMode(tbsmWrap);
        toolbar->BeginUpdate();
        for (int i = 0; i < ItemCount; ++i) {
            auto* item = New<TSkinItem>(nullptr);
            item->SetCaption(Captions[i % std::size(Captions)]);
            item->SetImages(images.get());
            item->SetImageIndex(i);
            item->SetDisplayMode(TTBItemDisplayMode::nbdmImageAndText);
            toolbar->GetItems()->Add(item);
        }
        toolbar->EndUpdate();
        toolbar->SetParent(dock);
        form->HandleNeeded();
        dock->HandleNeeded();
        toolbar->HandleNeeded();
        TTBView* view = toolbar->GetView();
        const int width = std::max(toolbar->GetClientWidth(), 1), height = std::max(toolbar->GetClientHeight(), 1);
        const HWND toolbarWnd = toolbar->GetHandle();

        TWindowDC screen;
        TMemoryDC dc(screen.Get());
        TGdiObject<HBITMAP> bitmap(CreateCompatibleBitmap(screen.Get(), width, height));
        TSelectGuard selectBitmap(dc.Get(), bitmap.Get());
        std::unique_ptr<TCanvas, TObjectFree> canvas(New<TCanvas>());
        canvas->SetHandle(dc.Get());
        TFont* font = view->ResolveFont();

        struct TPlace {
            RECT Bounds;
            std::wstring Caption;
        };
        std::vector<TPlace> places;
        for (int i = 0; i < view->GetViewerCount(); ++i)
            if (view->GetViewer(i)->GetShown())
                places.push_back({view->GetViewer(i)->GetBoundsRect(), view->GetViewer(i)->GetItem()->GetCaption()});
        HIMAGELIST list = images->GetHandle();
        auto drawBare = [&](const auto& drawImage) {
            RECT all{0, 0, width, height};
            FillRect(dc.Get(), &all, GetSysColorBrush(COLOR_BTNFACE));
            HGDIOBJ old = SelectObject(dc.Get(), font->GetHandle());
            SetBkMode(dc.Get(), TRANSPARENT);
            int index = 0;
            for (const TPlace& p : places) {
                drawImage(index++, p.Bounds.left + 3, p.Bounds.top + 3);
                RECT text = p.Bounds;
                text.left += ImageSize + 6;
                DrawTextW(dc.Get(), p.Caption.c_str(), int(p.Caption.size()), &text, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
            }
            SelectObject(dc.Get(), old);
        };
        auto paintBare = [&] {
            drawBare([&](int index, int x, int y) { ImageList_Draw(list, index, dc.Get(), x, y, ILD_NORMAL); });
        };
        // The images' finished pixels, premultiplied, each 16 pixels wide in one strip: the image
        // list draws each on black and on white, and where the two differ the list's mask left the
        // target.
        const int count = int(places.size());
        uint32_t* strip = nullptr;
        TGdiObject<HBITMAP> stripBitmap = MakeDib32(ImageSize * std::max(count, 1), ImageSize, &strip);
        TBitmapDC stripDC(nullptr, stripBitmap.Get());
        {
            std::vector<uint32_t> onBlack(size_t(ImageSize) * ImageSize * std::max(count, 1));
            RECT all{0, 0, ImageSize * count, ImageSize};
            FillRect(stripDC.Get(), &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
            for (int i = 0; i < count; ++i)
                ImageList_Draw(list, i, stripDC.Get(), i * ImageSize, 0, ILD_NORMAL);
            GdiFlush();
            std::copy(strip, strip + onBlack.size(), onBlack.begin());
            FillRect(stripDC.Get(), &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
            for (int i = 0; i < count; ++i)
                ImageList_Draw(list, i, stripDC.Get(), i * ImageSize, 0, ILD_NORMAL);
            GdiFlush();
            for (size_t i = 0; i < onBlack.size(); ++i)
                strip[i] = strip[i] == onBlack[i] ? (strip[i] | 0xFF000000u) : 0u;
        }
        const BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
        auto repaintBare = [&] {
            drawBare([&](int index, int x, int y) {
                GdiAlphaBlend(dc.Get(), x, y, ImageSize, ImageSize, stripDC.Get(), index * ImageSize, 0, ImageSize,
                              ImageSize, blend);
            });
        };
        auto paintThemed = [&] {
            SendMessageA(toolbarWnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc.Get()), 0);
            view->PaintViewers(canvas.get());
        };
        // A theme change as the system announces it, then nothing of the theme's drawing kept: its
        // drawing objects, colour ramps and finished images go.
        auto changeTheme = [&] {
            SendMessageA(ThemeManager()->GetHandle(), WM_SYSCOLORCHANGE, 0, 0);
            InitSkinUtils();
        };
        auto repeated = [&](const auto& paint) {
            return Time([&] {
                       for (int n = 0; n < PaintsPerRound; ++n)
                           paint();
                   }) /
                   PaintsPerRound;
        };
        paintBare();
        repaintBare();
        paintThemed();
        std::vector<double> bareFirst, themedFirst, firstRatio, bareRepaint, themedRepaint, repaintRatio;
        for (int round = 0; round < Rounds; ++round) {
            changeTheme();
            const double themed = Time(paintThemed);
            const double bare = Time(paintBare);
            bareFirst.push_back(bare);
            themedFirst.push_back(themed);
            firstRatio.push_back(themed / bare);
            const double before = repeated(repaintBare);
            const double t = repeated(paintThemed);
            const double base = (before + repeated(repaintBare)) / 2;
            bareRepaint.push_back(base);
            themedRepaint.push_back(t);
            repaintRatio.push_back(t / base);
        }
        canvas->SetHandle(nullptr);
        if (places.size() != size_t(ItemCount))
            std::printf("warning: %d of %d items shown\n", int(places.size()), ItemCount);
        std::printf("a toolbar of %d items, 16 x 16 images and captions, %d x %d pixels; medians of %d rounds "
                    "(ratios per round), repaints averaged over %d\n",
                    ItemCount, width, height, Rounds, PaintsPerRound);
        std::printf("  first paint after a theme change, nothing kept:\n");
        std::printf("    bare drawing, ImageList_Draw and DrawTextW:    %7.3f ms  (baseline)\n", Median(bareFirst));
        std::printf("    the themed toolbar, default theme:             %7.3f ms  %.2fx  (target <= 1.50x)\n",
                    Median(themedFirst), Median(firstRatio));
        std::printf("  repaint:\n");
        std::printf("    bare, kept image pixels by AlphaBlend:         %7.3f ms  (baseline)\n", Median(bareRepaint));
        std::printf("    the themed toolbar, default theme:             %7.3f ms  %.2fx  (target <= 1.50x)\n",
                    Median(themedRepaint), Median(repaintRatio));
        form.reset();
    }
    DoneSkin();
    DoneTBFramework();
    DoneForms();
    DoneControls();
    return 0;
}
