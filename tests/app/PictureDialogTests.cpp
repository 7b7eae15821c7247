// The picture dialogs' preview: where it comes from, where it is drawn and where its panel goes.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>
#include <dlgs.h>

#include <fstream>
#include <memory>
#include <vector>

#include "TestSupport.h"
#include "DialogTestSupport.h"
#include "app/IPLExtDlgs.h"
#include "graphics/ILBitmap.h"
#include "graphics/ILBitmapUtils.h"
#include "platform/Forms.h"

namespace {

::testing::AssertionResult RectIs(const RECT& actual, LONG l, LONG t, LONG r, LONG b)
{
    return SameRect(actual, RECT{l, t, r, b});
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

// The preview drawn from files: a picture, a metafile and a file nothing can read.
namespace {

struct PreviewFiles : testing::Test {
    std::string Folder = TestTempFile("previews");
    COLORREF Background = RGB(0, 0, 255);

    void SetUp() override { CreateDirectoryA(Folder.c_str(), nullptr); }

    // A red picture of 40 x 10 pixels.
    std::string Picture()
    {
        std::string path = Folder + "\\red.bmp";
        TILBitmapHandle red{};
        std::vector<uint8_t> pixels(40 * 3 * 10);
        for (size_t i = 0; i < pixels.size(); i += 3)
            pixels[i + 2] = 255;
        EXPECT_EQ(IL_CreateBitmap(&red, IL_MEMORY_OWNED, 40, 10, 24, 1, nullptr, IL_TOP_DOWN, pixels.data(),
                                  static_cast<uint32_t>(pixels.size())),
                  IL_SUCCESS);
        EXPECT_EQ(IL_SaveBitmap(path.c_str(), &red, IL_FILE_BMP, 24, 0, 0), IL_SUCCESS);
        IL_FreeBitmap(&red);
        return path;
    }

    // A placeable Windows metafile 50 x 25 mm: left half red, right half green.
    std::string Metafile()
    {
        std::string path = Folder + "\\halves.WMF";
        std::unique_ptr<TMetafile, TObjectFree> metafile(New<TMetafile>());
        metafile->SetHandle(RecordHalves(RGB(255, 0, 0), RGB(0, 255, 0)));
        metafile->SetEnhanced(false);
        metafile->SaveToFile(path);
        return path;
    }

    std::string Unreadable()
    {
        std::string path = Folder + "\\broken.png";
        std::ofstream(path, std::ios::binary) << "\x89PNG but nothing after it";
        return path;
    }

    static COLORREF Pixel(IILBitmap* bitmap, LONG x, LONG y)
    {
        TColor32 colour = 0;
        OleCheck(bitmap->GetPixel(x, y, &colour));
        // TColor32 is 0xAARRGGBB.
        return RGB((colour >> 16) & 0xFF, (colour >> 8) & 0xFF, colour & 0xFF);
    }

    static TComPtr<IILBitmap> Bitmap(LONG width, LONG height)
    {
        TComPtr<IILBitmap> bitmap = CreateComObject<IILBitmap>(TILBitmap::StaticClass());
        OleCheck(bitmap->SetFormat(width, height, 24, 0));
        return bitmap;
    }
};

}  // namespace

TEST_F(PreviewFiles, APictureBecomesAThumbnailOnTheBackground)
{
    std::string path = Picture();
    ASSERT_EQ(ChoosePreviewSource(path), TPreviewSource::Thumbnail);
    auto bitmap = Bitmap(120, 90);
    TILFileInfo info{};
    EXPECT_TRUE(RenderPreview(bitmap.Get(), path, TPreviewSource::Thumbnail, Background, info));
    EXPECT_EQ(info.Width, 40);
    EXPECT_EQ(info.Height, 10);
    EXPECT_EQ(Pixel(bitmap.Get(), 60, 45), RGB(255, 0, 0));
    EXPECT_EQ(Pixel(bitmap.Get(), 0, 0), Background);
}

TEST_F(PreviewFiles, AMetafileIsDrawnFittedAndCentred)
{
    std::string path = Metafile();
    ASSERT_EQ(ChoosePreviewSource(path), TPreviewSource::Metafile);
    auto bitmap = Bitmap(120, 90);
    TILFileInfo info{};
    EXPECT_TRUE(RenderPreview(bitmap.Get(), path, TPreviewSource::Metafile, Background, info));
    EXPECT_GT(info.Width, 0);
    EXPECT_NEAR(info.Width, 2 * info.Height, 2);
    // 120 x 60 in the middle: background above and below.
    EXPECT_EQ(Pixel(bitmap.Get(), 30, 45), RGB(255, 0, 0));
    EXPECT_EQ(Pixel(bitmap.Get(), 90, 45), RGB(0, 255, 0));
    EXPECT_EQ(Pixel(bitmap.Get(), 60, 5), Background);
    EXPECT_EQ(Pixel(bitmap.Get(), 60, 85), Background);
}

TEST_F(PreviewFiles, AFileNothingCanReadLeavesTheBackgroundAndNoSize)
{
    auto bitmap = Bitmap(50, 40);
    TILFileInfo info{};
    info.Width = 99;
    EXPECT_FALSE(RenderPreview(bitmap.Get(), Unreadable(), TPreviewSource::Thumbnail, Background, info));
    EXPECT_EQ(info.Width, 0);
    EXPECT_EQ(info.Height, 0);
    EXPECT_EQ(Pixel(bitmap.Get(), 25, 20), Background);
    // A metafile name over other data is just as unreadable.
    std::string fake = Folder + "\\fake.wmf";
    std::ofstream(fake, std::ios::binary) << "not a metafile at all";
    EXPECT_FALSE(RenderPreview(bitmap.Get(), fake, TPreviewSource::Metafile, Background, info));
    EXPECT_EQ(info.Width, 0);
    EXPECT_EQ(Pixel(bitmap.Get(), 25, 20), Background);
}

namespace {

// Reaches the selection change the system dialog would send.
class TTestPictureDialog : public TIplOpenPictureDialog {
public:
    using TIplOpenPictureDialog::DoSelectionChange;
    using TIplOpenPictureDialog::TIplOpenPictureDialog;
};

LONG PreviewWidth(TIplOpenPictureDialog* dialog)
{
    LONG width = 0, height = 0;
    OleCheck(dialog->GetPreviewBitmap()->GetSize(&width, &height));
    return width;
}

}  // namespace

TEST_F(PreviewFiles, SelectionChangeSetsLabelButtonAndPreview)
{
    std::unique_ptr<TTestPictureDialog, TObjectFree> dialog(New<TTestPictureDialog>(nullptr));
    EXPECT_EQ(dialog->GetFilter(), GraphicFilter(TGraphic::StaticClass()));
    EXPECT_FALSE(dialog->GetPreviewButton()->GetEnabled());
    EXPECT_EQ(dialog->GetPicturePanel()->GetName(), "PicturePanel");

    dialog->SetFileName(Picture());
    dialog->DoSelectionChange();
    EXPECT_EQ(dialog->GetPictureLabel()->GetCaption(), " (40x10)");
    EXPECT_TRUE(dialog->GetPreviewButton()->GetEnabled());
    EXPECT_EQ(dialog->GetPreviewSource(), TPreviewSource::Thumbnail);
    EXPECT_EQ(PreviewWidth(dialog.get()), dialog->GetPaintBox()->GetClientWidth());

    dialog->SetFileName(Folder);
    dialog->DoSelectionChange();
    EXPECT_EQ(dialog->GetPictureLabel()->GetCaption(), "(None)");
    EXPECT_FALSE(dialog->GetPreviewButton()->GetEnabled());
    EXPECT_EQ(PreviewWidth(dialog.get()), 0) << "no picture of another name stays in view";

    dialog->SetFileName(Metafile());
    dialog->DoSelectionChange();
    EXPECT_EQ(dialog->GetPreviewSource(), TPreviewSource::Metafile);
    EXPECT_TRUE(dialog->GetPreviewButton()->GetEnabled());
    EXPECT_NE(dialog->GetPictureLabel()->GetCaption(), " (0x0)");

    dialog->SetFileName(Unreadable());
    dialog->DoSelectionChange();
    EXPECT_EQ(dialog->GetPictureLabel()->GetCaption(), " (0x0)");
    EXPECT_TRUE(dialog->GetPreviewButton()->GetEnabled());

    dialog->SetFileName(Folder + "\\vanished.png");
    dialog->DoSelectionChange();
    EXPECT_EQ(dialog->GetPictureLabel()->GetCaption(), "(None)");
    EXPECT_FALSE(dialog->GetPreviewButton()->GetEnabled());
}

TEST_F(PreviewFiles, PreviewWindowOpensFromTheButtonAndClosesOnEscape)
{
    std::unique_ptr<TTestPictureDialog, TObjectFree> dialog(New<TTestPictureDialog>(nullptr));
    dialog->SetFileName(Picture());
    dialog->DoSelectionChange();
    std::string caption;
    bool closedByEscape = false;
    TDialogWatchdog watchdog;
    TScriptedSteps script({[&] {
                               dialog->GetPreviewButton()->Click();
                               return true;
                           },
                           [&] {
                               TForm* window = dialog->GetPreviewForm();
                               if (!window)
                                   return false;
                               caption = window->GetCaption();
                               PostMessageA(window->GetHandle(), WM_KEYDOWN, VK_ESCAPE, 1);
                               return true;
                           },
                           [&] {
                               // The window may take a moment to go: a busy machine waits.
                               closedByEscape = dialog->GetPreviewForm() == nullptr;
                               return closedByEscape;
                           }});
    while (!script.Done() && !watchdog.Fired())
        Application->HandleMessage();
    EXPECT_FALSE(watchdog.Fired());
    EXPECT_EQ(caption, "red.bmp");
    EXPECT_TRUE(closedByEscape);
}

// The system's dialog with the template: the panel lands beside the file list, and highlighting
// a picture there previews it.
TEST_F(PreviewFiles, TheRunningDialogShowsThePanelAndPreviewsTheHighlightedFile)
{
    Picture();
    std::unique_ptr<TIplOpenPictureDialog, TObjectFree> dialog(New<TIplOpenPictureDialog>(nullptr));
    dialog->SetInitialDir(Folder);
    dialog->SetFilter("Bitmaps (*.bmp)|*.bmp");
    bool panelPlaced = false;
    std::string label;
    dialog->OnShow = [&](TObject*) {
        HWND panel = dialog->GetPicturePanel()->GetHandle();
        RECT client{}, bounds = dialog->GetPicturePanel()->GetBoundsRect();
        GetClientRect(dialog->GetHandle(), &client);
        panelPlaced = GetParent(panel) == dialog->GetHandle() && (GetWindowLongA(panel, GWL_STYLE) & WS_VISIBLE) && bounds.top == client.top + 4 &&
                      bounds.right == client.right && bounds.left > client.left + 100;
        SendMessageA(dialog->GetHandle(), CDM_SETCONTROLTEXT, cmb13, reinterpret_cast<LPARAM>("red.bmp"));
    };
    TDialogWatchdog watchdog;
    TScriptedSteps script({[&] {
        if (!dialog->GetHandle())
            return false;
        // The name typed in the file name box is no selection: highlight the file in the list.
        dialog->SetFileName(Folder + "\\red.bmp");
        HWND list = FindWindowExA(FindWindowExA(dialog->GetHandle(), nullptr, "SHELLDLL_DefView", nullptr), nullptr,
                                  "SysListView32", nullptr);
        if (list) {
            LVITEMA item{};
            item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
            item.state = LVIS_SELECTED | LVIS_FOCUSED;
            SendMessageA(list, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&item));
        }
        return true;
    }, [&] {
        label = dialog->GetPictureLabel()->GetCaption();
        if (label.empty())
            return false;
        PostMessageA(dialog->GetHandle(), WM_COMMAND, IDCANCEL, 0);
        return true;
    }});
    EXPECT_FALSE(dialog->Execute());
    EXPECT_FALSE(watchdog.Fired());
    EXPECT_TRUE(panelPlaced);
    EXPECT_EQ(label, " (40x10)");
    EXPECT_FALSE(dialog->GetPicturePanel()->HandleAllocated()) << "the panel leaves with the dialog";
}

TEST_F(PreviewFiles, TheSaveDialogCarriesThePanelToo)
{
    std::unique_ptr<TIplSavePictureDialog, TObjectFree> dialog(New<TIplSavePictureDialog>(nullptr));
    dialog->SetInitialDir(Folder);
    bool panelShown = false;
    bool saveDialog = false;
    dialog->OnShow = [&](TObject*) {
        HWND panel = dialog->GetPicturePanel()->GetHandle();
        panelShown = GetParent(panel) == dialog->GetHandle() && (GetWindowLongA(panel, GWL_STYLE) & WS_VISIBLE);
        // The save dialog's OK button reads "Save".
        char text[64] = {};
        GetDlgItemTextA(dialog->GetHandle(), IDOK, text, sizeof(text));
        saveDialog = std::string(text).find("Save") != std::string::npos;
        PostMessageA(dialog->GetHandle(), WM_COMMAND, IDCANCEL, 0);
    };
    TDialogWatchdog watchdog;
    EXPECT_FALSE(dialog->Execute());
    EXPECT_FALSE(watchdog.Fired());
    EXPECT_TRUE(panelShown);
    EXPECT_TRUE(saveDialog);
}
