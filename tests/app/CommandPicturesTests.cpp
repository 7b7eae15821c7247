// The toolbar's pictures: one per toolbar command, each a 16 x 16 PNG with transparency that the
// program's PNG reader reads, shown by the image list as drawn and greyed by the theme.
#include <gtest/gtest.h>

#include <memory>

#include "TestSupport.h"
#include "app/CommandPictures.h"
#include "platform/Streams.h"
#include "skin/SkinDib.h"
#include "skin/SkinPngBitmap.h"
#include "skin/SkinUtils.h"

namespace {
using TDibPtr = std::unique_ptr<TDIB32, TObjectFree>;

TDibPtr DecodeResource(const char* name)
{
    std::unique_ptr<TResourceStream, TObjectFree> stream(
        New<TResourceStream>(GetModuleHandleA(nullptr), name, MAKEINTRESOURCEA(10)));
    TDibPtr dib(New<TDIB32>());
    LoadPNGIntoDIB(stream.get(), dib.get());
    return dib;
}

// The PNG header's colour type: 6 is colour with an alpha channel.
int PngColorType(const char* name)
{
    std::unique_ptr<TResourceStream, TObjectFree> stream(
        New<TResourceStream>(GetModuleHandleA(nullptr), name, MAKEINTRESOURCEA(10)));
    const std::vector<uint8_t> bytes = BytesOf(*stream);
    return bytes.size() > 25 ? bytes[25] : -1;
}

uint32_t Rgb(uint32_t pixel)
{
    return pixel & 0xFFFFFF;
}

bool Grey(uint32_t pixel, int tolerance)
{
    const int r = (pixel >> 16) & 0xFF, g = (pixel >> 8) & 0xFF, b = pixel & 0xFF;
    return std::abs(r - g) <= tolerance && std::abs(g - b) <= tolerance && std::abs(r - b) <= tolerance;
}
}

TEST(CommandPictures, EveryToolbarCommandHasOneSixteenSquarePictureWithTransparency)
{
    // Which toolbar command shows which picture the main window's bars check; here each picture
    // belongs to one command. The zoom label and box, menu-only commands and no command at all have none.
    for (int tag : {303, 0, -1, 401, 7002, 1101})
        EXPECT_EQ(CommandPictureIndex(tag), -1) << tag;

    ASSERT_EQ(CommandPictureTable().size(), size_t(cpCount));
    for (size_t i = 0; i < CommandPictureTable().size(); ++i) {
        const TCommandPictureEntry& entry = CommandPictureTable()[i];
        SCOPED_TRACE(entry.Resource);
        EXPECT_EQ(entry.Picture, static_cast<TCommandPicture>(i)) << "out of the image list's order";
        EXPECT_EQ(CommandPictureIndex(entry.Tag), int(i));
        EXPECT_EQ(PngColorType(entry.Resource), 6);
        TDibPtr dib = DecodeResource(entry.Resource);
        ASSERT_EQ(dib->GetWidth(), CommandPictureSize);
        ASSERT_EQ(dib->GetHeight(), CommandPictureSize);
        int clear = 0, solid = 0;
        for (int y = 0; y < CommandPictureSize; ++y)
            for (int x = 0; x < CommandPictureSize; ++x) {
                const uint32_t alpha = dib->GetScanLine(y)[x] >> 24;
                clear += alpha == 0;
                solid += alpha == 255;
                EXPECT_NE(Rgb(dib->GetScanLine(y)[x]) | (alpha == 0 ? 0x1000000 : 0), 0xFF00FFu)
                    << "a picture uses the image list's mask colour";
            }
        EXPECT_EQ(clear + solid, CommandPictureSize * CommandPictureSize) << "edges the mask cannot keep";
        EXPECT_GE(clear, 16) << "no transparent background";
        EXPECT_GE(solid, 24) << "hardly anything drawn";
    }
}

TEST(CommandPictures, TheImageListShowsEachPictureAsDrawnAndTheThemeGreysIt)
{
    std::unique_ptr<TComponent, TObjectFree> owner(New<TComponent>(nullptr));
    TImageList* list = LoadCommandPictures(owner.get());
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->GetOwner(), owner.get());
    EXPECT_EQ(list->GetCount(), int(cpCount));
    EXPECT_EQ(list->GetWidth(), CommandPictureSize);
    EXPECT_EQ(list->GetHeight(), CommandPictureSize);

    constexpr uint32_t Background = 0x00FFFFFF;
    TDibPtr canvas(New<TDIB32>());
    canvas->SetSize(CommandPictureSize + 2, CommandPictureSize + 2);
    for (const TCommandPictureEntry& entry : CommandPictureTable()) {
        SCOPED_TRACE(entry.Resource);
        TDibPtr picture = DecodeResource(entry.Resource);
        canvas->Fill(Background);
        list->Draw(canvas->GetDC(), 0, 0, entry.Picture);
        GdiFlush();
        int differing = 0;
        for (int y = 0; y < CommandPictureSize; ++y)
            for (int x = 0; x < CommandPictureSize; ++x) {
                const uint32_t p = picture->GetScanLine(y)[x];
                const uint32_t expected = (p >> 24) ? Rgb(p) : Background;
                differing += Rgb(canvas->GetScanLine(y)[x]) != expected;
            }
        EXPECT_EQ(differing, 0);

        // Disabled, the theme draws the picture without colour.
        canvas->Fill(Background);
        DrawListImageGreyed(canvas->GetDC(), RECT{0, 0, CommandPictureSize, CommandPictureSize}, list,
                            entry.Picture, 0);
        GdiFlush();
        int marked = 0;
        for (int y = 0; y < CommandPictureSize + 2; ++y)
            for (int x = 0; x < CommandPictureSize + 2; ++x) {
                const uint32_t p = Rgb(canvas->GetScanLine(y)[x]);
                EXPECT_TRUE(Grey(p, 3)) << std::hex << p << " at " << std::dec << x << "," << y;
                marked += p != Background;
            }
        EXPECT_GT(marked, 16) << "the greyed picture is not drawn";
    }
    owner.reset();
}
