// Image lists: adding strips, transparency, enabled and disabled drawing, change links.
#include <gtest/gtest.h>

#include <memory>

#include "platform/ImgList.h"

namespace {

using TBitmapPtr = std::unique_ptr<TBitmap, TObjectFree>;

// A strip of `count` 8x8 images: image i is black with a fuchsia (transparent) left column.
TBitmapPtr MakeStrip(int count)
{
    TBitmapPtr bmp(New<TBitmap>());
    bmp->SetSize(8 * count, 8);
    TCanvas* c = bmp->GetCanvas();
    c->GetBrush()->SetColor(clBlack);
    c->FillRect(RECT{0, 0, 8 * count, 8});
    c->GetBrush()->SetColor(clFuchsia);
    for (int i = 0; i < count; ++i)
        c->FillRect(RECT{8 * i, 0, 8 * i + 1, 8});
    return bmp;
}

TBitmapPtr WhiteCanvas(int w, int h)
{
    TBitmapPtr bmp(New<TBitmap>());
    bmp->SetSize(w, h);
    bmp->GetCanvas()->GetBrush()->SetColor(clWhite);
    bmp->GetCanvas()->FillRect(RECT{0, 0, w, h});
    return bmp;
}

TColor Rgb(TBitmap* bmp, int x, int y)
{
    return bmp->GetCanvas()->GetPixel(x, y) & 0xFFFFFF;
}

TEST(ImageList, AddsStripsAndDrawsWithTransparency)
{
    std::unique_ptr<TImageList, TObjectFree> list(New<TImageList>(nullptr, 8, 8));
    TBitmapPtr strip = MakeStrip(3);
    EXPECT_EQ(list->AddMasked(strip.get(), clFuchsia), 0);
    EXPECT_EQ(list->GetCount(), 3);
    EXPECT_EQ(list->AddMasked(MakeStrip(1).get(), clFuchsia), 3);
    // The list worked on a copy: the caller's bitmap still has its fuchsia column.
    EXPECT_EQ(Rgb(strip.get(), 0, 0), clFuchsia);

    TBitmapPtr target = WhiteCanvas(20, 20);
    list->Draw(target->GetCanvas(), 2, 2, 1);
    EXPECT_EQ(Rgb(target.get(), 2, 4), clWhite);   // transparent column
    EXPECT_EQ(Rgb(target.get(), 5, 5), clBlack);   // image body
    EXPECT_EQ(Rgb(target.get(), 12, 12), clWhite); // outside

    // An index outside the list draws nothing.
    TBitmapPtr untouched = WhiteCanvas(10, 10);
    list->Draw(untouched->GetCanvas(), 0, 0, 9);
    EXPECT_EQ(Rgb(untouched.get(), 4, 4), clWhite);
    EXPECT_THROW(list->Delete(9), EInvalidOperation);
    list->Delete(0);
    EXPECT_EQ(list->GetCount(), 3);
}

TEST(ImageList, DisabledDrawingIsEmbossedNotTheImage)
{
    std::unique_ptr<TImageList, TObjectFree> list(New<TImageList>(nullptr, 8, 8));
    list->AddMasked(MakeStrip(1).get(), clFuchsia);
    TBitmapPtr enabled = WhiteCanvas(12, 12);
    TBitmapPtr disabled = WhiteCanvas(12, 12);
    list->Draw(enabled->GetCanvas(), 0, 0, 0, true);
    list->Draw(disabled->GetCanvas(), 0, 0, 0, false);

    TColor shadow = ColorToRGB(clBtnShadow) & 0xFFFFFF;
    TColor highlight = ColorToRGB(clBtnHighlight) & 0xFFFFFF;
    EXPECT_EQ(Rgb(enabled.get(), 4, 4), clBlack);
    EXPECT_EQ(Rgb(disabled.get(), 4, 4), shadow);
    // The highlight copy shows one pixel right and down of the shape's edge.
    EXPECT_EQ(Rgb(disabled.get(), 8, 8), highlight);
    EXPECT_EQ(Rgb(enabled.get(), 8, 8), clWhite);
    // The transparent column stays the background, except where the highlight falls on it.
    EXPECT_EQ(Rgb(disabled.get(), 0, 3), clWhite);
    int differing = 0;
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 12; ++x)
            differing += Rgb(enabled.get(), x, y) != Rgb(disabled.get(), x, y);
    EXPECT_GT(differing, 40);
}

TEST(ImageList, ChangeLinksHearChangesAndOutliveEitherSide)
{
    std::unique_ptr<TImageList, TObjectFree> list(New<TImageList>(nullptr, 8, 8));
    int heard = 0;
    std::unique_ptr<TChangeLink, TObjectFree> link(New<TChangeLink>());
    link->OnChange = [&](TObject* sender) {
        EXPECT_EQ(sender, list.get());
        ++heard;
    };
    list->RegisterChanges(link.get());
    list->AddMasked(MakeStrip(2).get(), clFuchsia);
    EXPECT_EQ(heard, 1);

    list->BeginUpdate();
    list->Clear();
    list->AddMasked(MakeStrip(1).get(), clFuchsia);
    EXPECT_EQ(heard, 1);
    list->EndUpdate();
    EXPECT_EQ(heard, 2);

    // A new size drops every image.
    list->SetSize(16, 16);
    EXPECT_EQ(list->GetCount(), 0);
    EXPECT_EQ(heard, 3);

    // The list goes first: the link forgets it and can be freed safely afterwards.
    list.reset();
    EXPECT_EQ(link->GetSender(), nullptr);

    // The link goes first: the list no longer calls it.
    std::unique_ptr<TImageList, TObjectFree> other(New<TImageList>(nullptr));
    auto* shortLived = New<TChangeLink>();
    other->RegisterChanges(shortLived);
    shortLived->Free();
    other->AddMasked(MakeStrip(2).get(), clFuchsia);
    EXPECT_EQ(other->GetCount(), 1);
}

TEST(ImageList, AddWithMaskAndAssignCopiesImages)
{
    std::unique_ptr<TImageList, TObjectFree> list(New<TImageList>(nullptr, 8, 8));
    TBitmapPtr image(New<TBitmap>());
    image->SetSize(8, 8);
    image->GetCanvas()->GetBrush()->SetColor(clRed);
    image->GetCanvas()->FillRect(RECT{0, 0, 8, 8});
    TBitmapPtr mask = WhiteCanvas(8, 8);
    mask->GetCanvas()->GetBrush()->SetColor(clBlack);
    mask->GetCanvas()->FillRect(RECT{0, 0, 4, 8});  // left half opaque
    list->Add(image.get(), mask.get());

    std::unique_ptr<TImageList, TObjectFree> copy(New<TImageList>(nullptr));
    copy->Assign(list.get());
    EXPECT_EQ(copy->GetWidth(), 8);
    EXPECT_EQ(copy->GetCount(), 1);
    TBitmapPtr target = WhiteCanvas(8, 8);
    copy->Draw(target->GetCanvas(), 0, 0, 0);
    EXPECT_EQ(Rgb(target.get(), 1, 1), clRed);
    EXPECT_EQ(Rgb(target.get(), 6, 6), clWhite);
}

}
