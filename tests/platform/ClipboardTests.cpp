#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "platform/Clipboard.h"
#include "platform/Graphics.h"
#include "TestSupport.h"

namespace {

COLORREF Pixel(TBitmap* bmp, int x, int y)
{
    return static_cast<COLORREF>(bmp->GetCanvas()->GetPixel(x, y)) & 0xFFFFFF;
}

DWORD WINAPI HoldClipboard(void* param)
{
    DWORD ms = *static_cast<DWORD*>(param);
    if (!OpenClipboard(nullptr))
        return 1;
    Sleep(ms);
    CloseClipboard();
    return 0;
}

// Another thread keeps the clipboard open for a while.
struct THolder {
    explicit THolder(DWORD ms) : Ms(ms)
    {
        Thread = CreateThread(nullptr, 0, HoldClipboard, &Ms, 0, nullptr);
        Sleep(50);
    }
    ~THolder()
    {
        WaitForSingleObject(Thread, 10000);
        CloseHandle(Thread);
    }
    DWORD Ms;
    HANDLE Thread;
};

} // namespace

TEST(Clipboard, TextRoundTripAndClear)
{
    TClipboard* clip = Clipboard();
    EXPECT_EQ(clip, Clipboard());
    clip->SetAsText("Sheetfold \xE9t\xE9");
    EXPECT_TRUE(clip->HasFormat(CF_TEXT));
    EXPECT_EQ(clip->GetAsText(), "Sheetfold \xE9t\xE9");
    EXPECT_GE(clip->GetFormatCount(), 1);
    bool listed = false;
    for (int i = 0; i < clip->GetFormatCount(); ++i)
        listed |= clip->GetFormat(i) == CF_TEXT;
    EXPECT_TRUE(listed);
    EXPECT_THROW(clip->GetFormat(clip->GetFormatCount() + 5), EListError);
    clip->Clear();
    EXPECT_FALSE(clip->HasFormat(CF_TEXT));
    EXPECT_EQ(clip->GetAsText(), "");
}

TEST(Clipboard, OneOpenGroupKeepsEveryFormat)
{
    TClipboard* clip = Clipboard();
    UINT mine = RegisterClipboardFormatA("CF_Sheetfold_Test");
    ASSERT_NE(mine, 0u);
    const char payload[] = {'P', 'A', 'G', 'E', 0, 1, 2, 3};
    clip->Open();
    clip->Open();
    EXPECT_EQ(clip->GetOpenCount(), 2);
    clip->SetBuffer(mine, payload, sizeof(payload));
    clip->SetAsText("page");
    clip->Close();
    EXPECT_EQ(clip->GetOpenCount(), 1);
    clip->Close();
    clip->Close();   // an extra close does nothing
    EXPECT_EQ(clip->GetOpenCount(), 0);
    EXPECT_TRUE(clip->HasFormat(mine));
    EXPECT_TRUE(clip->HasFormat(CF_TEXT));
    clip->Open();
    HANDLE data = clip->GetAsHandle(mine);
    ASSERT_NE(data, nullptr);
    ASSERT_GE(GlobalSize(data), sizeof(payload));
    EXPECT_EQ(std::memcmp(GlobalLock(data), payload, sizeof(payload)), 0);
    GlobalUnlock(data);
    clip->Close();

    // A new group replaces what was there.
    clip->SetAsText("only text");
    EXPECT_FALSE(clip->HasFormat(mine));
}

TEST(Clipboard, BitmapRoundTrip)
{
    auto bmp = Make<TBitmap>();
    bmp->SetPixelFormat(TPixelFormat::pf24bit);
    bmp->SetSize(6, 4);
    bmp->GetCanvas()->SetPixel(0, 0, clRed);
    bmp->GetCanvas()->SetPixel(5, 3, clBlue);
    Clipboard()->Assign(bmp.get());
    EXPECT_TRUE(Clipboard()->HasFormat(CF_DIB));
    EXPECT_TRUE(Clipboard()->HasFormat(CF_BITMAP));

    auto back = Make<TBitmap>();
    back->Assign(Clipboard());
    EXPECT_EQ(back->GetWidth(), 6);
    EXPECT_EQ(back->GetHeight(), 4);
    EXPECT_EQ(back->GetPixelFormat(), TPixelFormat::pf24bit);
    EXPECT_EQ(Pixel(back.get(), 0, 0), RGB(255, 0, 0));
    EXPECT_EQ(Pixel(back.get(), 5, 3), RGB(0, 0, 255));
    EXPECT_EQ(Pixel(back.get(), 2, 2), RGB(255, 255, 255));

    auto picture = Make<TPicture>();
    picture->Assign(Clipboard());
    ASSERT_TRUE(Is<TBitmap>(picture->GetGraphic()));
    EXPECT_EQ(picture->GetWidth(), 6);
    auto meta = Make<TMetafile>();
    EXPECT_THROW(meta->Assign(Clipboard()), EInvalidGraphic);

    // A picture puts its graphic.
    Clipboard()->Assign(picture.get());
    EXPECT_TRUE(Clipboard()->HasFormat(CF_DIB));
}

TEST(Clipboard, MetafileRoundTrip)
{
    RECT frame{0, 0, 3000, 1000};
    HDC dc = CreateEnhMetaFileA(nullptr, nullptr, &frame, nullptr);
    Rectangle(dc, 0, 0, 10, 10);
    auto meta = Make<TMetafile>();
    meta->SetHandle(CloseEnhMetaFile(dc));
    Clipboard()->Assign(meta.get());
    EXPECT_TRUE(Clipboard()->HasFormat(CF_ENHMETAFILE));
    auto back = Make<TMetafile>();
    back->Assign(Clipboard());
    EXPECT_EQ(back->GetMMWidth(), 3000);
    EXPECT_EQ(back->GetMMHeight(), 1000);
    auto picture = Make<TPicture>();
    picture->Assign(Clipboard());
    EXPECT_TRUE(Is<TMetafile>(picture->GetGraphic()));
    auto bmp = Make<TBitmap>();
    EXPECT_THROW(bmp->Assign(Clipboard()), EInvalidGraphic);
}

TEST(Clipboard, BrokenBitmapDataRaises)
{
    // A packed DIB whose header promises more pixels than the block holds.
    BITMAPINFOHEADER h{};
    h.biSize = sizeof(h);
    h.biWidth = 100;
    h.biHeight = 100;
    h.biPlanes = 1;
    h.biBitCount = 24;
    std::vector<uint8_t> block(sizeof(h) + 30);
    std::memcpy(block.data(), &h, sizeof(h));
    Clipboard()->SetBuffer(CF_DIB, block.data(), block.size());
    auto bmp = Make<TBitmap>();
    EXPECT_THROW(bmp->Assign(Clipboard()), EInvalidGraphic);
    EXPECT_TRUE(bmp->GetEmpty());
    Clipboard()->Clear();
    auto picture = Make<TPicture>();
    EXPECT_THROW(picture->Assign(Clipboard()), EInvalidGraphic);
}

TEST(Clipboard, OpeningWaitsBrieflyForOtherHolders)
{
    {
        THolder holder(150);
        Clipboard()->SetAsText("after waiting");
    }
    EXPECT_EQ(Clipboard()->GetAsText(), "after waiting");
    THolder holder(1000);
    DWORD start = GetTickCount();
    EXPECT_THROW(Clipboard()->Open(), Exception);
    EXPECT_LT(GetTickCount() - start, 950u);
    EXPECT_EQ(Clipboard()->GetOpenCount(), 0);
}
