// Copy in one running program, paste in another: the selection travels through the shared
// clipboard in the program's own format.
#include <windows.h>

#include "E2ESupport.h"
#include "TestSupport.h"

namespace {
constexpr COLORREF Teal = RGB(20, 150, 160);

UINT SheetfoldFormat()
{
    return RegisterClipboardFormatA("CF_Sheetfold");
}

void EmptyTheClipboard()
{
    WaitUntil([] { return OpenClipboard(nullptr) != 0; }, 5000);
    EmptyClipboard();
    CloseClipboard();
}

// The program's block on the clipboard, or "" when there is none.
std::string ReadSheetfoldBlock()
{
    std::string block;
    if (!OpenClipboard(nullptr))
        return block;
    if (HGLOBAL memory = GetClipboardData(SheetfoldFormat())) {
        if (const void* data = GlobalLock(memory)) {
            block.assign(static_cast<const char*>(data), GlobalSize(memory));
            GlobalUnlock(memory);
        }
    }
    CloseClipboard();
    return block;
}
}

TEST_F(TProgramTest, ASelectionCopiedInOneProgramPastesIntoAnother)
{
    const std::string folder = TestTempDir() + "\\clipboard";
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::string picture = WriteSolidPicture(folder + "\\teal.bmp", 30, 20, Teal);
    EmptyTheClipboard();

    // A picture given on the command line is inserted and selected.
    ASSERT_TRUE(Program.Start(Quoted(picture)));
    Program.PostCommand(cmdCopy);
    ASSERT_TRUE(Program.Sync());
    ASSERT_TRUE(WaitUntil([] { return IsClipboardFormatAvailable(SheetfoldFormat()) != 0; }))
        << "nothing was copied in the program's format";

    // The block is the page payload with the one picture.
    const std::string block = ReadSheetfoldBlock();
    ASSERT_FALSE(block.empty());
    TProjectPtr check = NewTestProject();
    TSheetfoldPage* checkPage = AddTestPage(check.get());
    ReadPagePayload(checkPage, block);
    ASSERT_EQ(PageImages(checkPage).size(), 1u);
    TLayerImage* copied = PageImages(checkPage)[0];
    EXPECT_EQ(copied->GetName(), "teal.bmp");
    const RECT copiedBounds = copied->GetBounds();

    TProgramDriver second;
    ASSERT_TRUE(second.Start());
    ASSERT_TRUE(second.WaitForCaption("Untitled - Sheetfold"));
    second.PostCommand(cmdPaste);
    ASSERT_TRUE(second.Sync());
    const std::string saved = folder + "\\pasted.sfp";
    ASSERT_TRUE(SaveProjectAs(second, saved));
    CloseProgram(second);
    CloseProgram(Program);

    TProjectPtr project = LoadTestProject(saved);
    ASSERT_EQ(project->Count(), 1);
    std::vector<TLayerImage*> images = PageImages(project->GetPage(0));
    ASSERT_EQ(images.size(), 1u);
    EXPECT_EQ(images[0]->GetName(), "teal.bmp");
    const RECT pasted = images[0]->GetBounds();
    EXPECT_EQ(pasted.right - pasted.left, copiedBounds.right - copiedBounds.left);
    EXPECT_EQ(pasted.bottom - pasted.top, copiedBounds.bottom - copiedBounds.top);
    ASSERT_TRUE(images[0]->IsBitmap());
    TILBitmapHandle* bitmap = images[0]->GetBitmapHandle();
    ASSERT_EQ(bitmap->Width, 30);
    ASSERT_EQ(bitmap->Height, 20);
    const uint8_t* pixel = bitmap->Pixels + 5 * bitmap->BytesPerLine + 3 * 7;
    EXPECT_EQ(RGB(pixel[2], pixel[1], pixel[0]), Teal);
}
