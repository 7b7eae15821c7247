// Painting a themed toolbar of 40 items with 16 x 16 images and captions, docked on a themed dock,
// as its window paints itself (its background erased through the theme, then its items), against
// the bare GDI drawing of the same images and captions at the same places (the background filled,
// each image drawn from the image list, each caption with DrawTextW). The themed paint draws its
// images from finished pixels kept per image list, the bare one asks the image list every time.
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
#include "skin/SkinToolbar.h"
#include "toolbar/TBFramework.h"
#include "toolbar/TBItem.h"
#include "toolbar/TBView.h"

namespace {

constexpr int ItemCount = 40;
constexpr int ImageSize = 16;
constexpr int Rounds = 31;
constexpr int PaintsPerRound = 20;

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
        auto paintBare = [&] {
            const double start = Now();
            for (int n = 0; n < PaintsPerRound; ++n) {
                RECT all{0, 0, width, height};
                FillRect(dc.Get(), &all, GetSysColorBrush(COLOR_BTNFACE));
                HGDIOBJ old = SelectObject(dc.Get(), font->GetHandle());
                SetBkMode(dc.Get(), TRANSPARENT);
                int index = 0;
                for (const TPlace& p : places) {
                    ImageList_Draw(list, index++, dc.Get(), p.Bounds.left + 3, p.Bounds.top + 3, ILD_NORMAL);
                    RECT text = p.Bounds;
                    text.left += ImageSize + 6;
                    DrawTextW(dc.Get(), p.Caption.c_str(), int(p.Caption.size()), &text,
                              DT_SINGLELINE | DT_VCENTER | DT_CENTER);
                }
                SelectObject(dc.Get(), old);
            }
            return Now() - start;
        };
        auto paintThemed = [&] {
            const double start = Now();
            for (int n = 0; n < PaintsPerRound; ++n) {
                SendMessageA(toolbarWnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc.Get()), 0);
                view->PaintViewers(canvas.get());
            }
            return Now() - start;
        };
        paintBare();
        paintThemed();
        std::vector<double> bare, themed, ratio;
        for (int round = 0; round < Rounds; ++round) {
            const double before = paintBare();
            const double t = paintThemed();
            const double base = (before + paintBare()) / 2;
            bare.push_back(base / PaintsPerRound);
            themed.push_back(t / PaintsPerRound);
            ratio.push_back(t / base);
        }
        canvas->SetHandle(nullptr);
        if (places.size() != size_t(ItemCount))
            std::printf("warning: %d of %d items shown\n", int(places.size()), ItemCount);
        std::printf("a toolbar of %d items, 16 x 16 images and captions, %d x %d pixels; medians of %d rounds of %d "
                    "paints (ratios per round)\n",
                    ItemCount, width, height, Rounds, PaintsPerRound);
        std::printf("  bare GDI drawing of the images and captions:  %7.3f ms  (baseline)\n", Median(bare));
        std::printf("  the themed toolbar's paint, default theme:     %7.3f ms  %.2fx  (target <= 1.50x)\n",
                    Median(themed), Median(ratio));
        form.reset();
    }
    DoneSkin();
    DoneTBFramework();
    DoneForms();
    DoneControls();
    return 0;
}
