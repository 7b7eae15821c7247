// The picture dialogs' preview: where it comes from, where it is drawn and where its panel goes.
#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>

#include "TestSupport.h"
#include "app/IPLExtDlgs.h"

namespace {

bool SameRect(const RECT& a, const RECT& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

::testing::AssertionResult RectIs(const RECT& actual, LONG l, LONG t, LONG r, LONG b)
{
    if (SameRect(actual, RECT{l, t, r, b}))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "{" << actual.left << ", " << actual.top << ", " << actual.right << ", "
                                         << actual.bottom << "}";
}

}  // namespace

TEST(PicturePreview, SourceFollowsTheHighlightedName)
{
    std::string folder = TestTempFile("source");
    CreateDirectoryA(folder.c_str(), nullptr);
    for (const char* name : {"a.png", "b.WMF", "c.wmf", "d.emf", "e.txt"})
        std::ofstream(folder + "\\" + name) << "x";
    EXPECT_EQ(ChoosePreviewSource(folder + "\\a.png"), TPreviewSource::Thumbnail);
    EXPECT_EQ(ChoosePreviewSource(folder + "\\b.WMF"), TPreviewSource::Metafile);
    EXPECT_EQ(ChoosePreviewSource(folder + "\\c.wmf"), TPreviewSource::Metafile);
    EXPECT_EQ(ChoosePreviewSource(folder + "\\d.emf"), TPreviewSource::Thumbnail);
    EXPECT_EQ(ChoosePreviewSource(folder + "\\e.txt"), TPreviewSource::Thumbnail);
    EXPECT_EQ(ChoosePreviewSource(folder), TPreviewSource::None);
    EXPECT_EQ(ChoosePreviewSource(folder + "\\gone.png"), TPreviewSource::None);
    EXPECT_EQ(ChoosePreviewSource(""), TPreviewSource::None);
}

TEST(PicturePreview, LabelTexts)
{
    EXPECT_STREQ(SPictureNone, "(None)");
    EXPECT_EQ(PictureDescription(640, 480), " (640x480)");
    EXPECT_EQ(PictureDescription(0, 0), " (0x0)");
}

TEST(PicturePreview, DrawRectCentresWhatFitsAndShrinksWhatDoesNot)
{
    RECT box{0, 0, 153, 141};
    EXPECT_TRUE(RectIs(PreviewDrawRect(box, 153, 141), 0, 0, 153, 141));
    EXPECT_TRUE(RectIs(PreviewDrawRect(box, 53, 41), 50, 50, 103, 91));
    EXPECT_TRUE(RectIs(PreviewDrawRect(RECT{10, 20, 110, 220}, 50, 50), 35, 95, 85, 145));
    // Wider than high: the box's width, the height in proportion, from the top-left corner.
    EXPECT_TRUE(RectIs(PreviewDrawRect(box, 306, 100), 0, 0, 153, 50));
    // Higher than wide, or square: the box's height.
    EXPECT_TRUE(RectIs(PreviewDrawRect(box, 100, 282), 0, 0, 50, 141));
    EXPECT_TRUE(RectIs(PreviewDrawRect(box, 300, 300), 0, 0, 141, 141));
}

TEST(PicturePreview, MetafileFitsCentredInItsOwnProportions)
{
    RECT bounds{0, 0, 153, 141};
    EXPECT_TRUE(RectIs(FitAspectCentred(bounds, 200, 100), 0, 32, 153, 109));
    EXPECT_TRUE(RectIs(FitAspectCentred(bounds, 100, 200), 41, 0, 112, 141));
    EXPECT_TRUE(RectIs(FitAspectCentred(RECT{10, 10, 110, 60}, 2, 1), 10, 10, 110, 60));
    // Small pictures grow to fill the bounds too.
    EXPECT_TRUE(RectIs(FitAspectCentred(RECT{0, 0, 100, 100}, 10, 5), 0, 25, 100, 75));
    // A picture without size takes the whole bounds instead of dividing by zero.
    EXPECT_TRUE(RectIs(FitAspectCentred(bounds, 0, 0), 0, 0, 153, 141));
}

TEST(PicturePreview, PanelGoesRightOfTheStaticAreaAndALittleLower)
{
    EXPECT_TRUE(RectIs(PicturePanelRect(RECT{0, 0, 600, 400}, RECT{5, 0, 420, 380}), 420, 4, 600, 400));
}
