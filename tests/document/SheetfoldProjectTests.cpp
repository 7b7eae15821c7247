#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "SheetfoldHooksFake.h"
#include "TestSupport.h"
#include "document/LayerImage.h"
#include "document/SheetfoldProject.h"
#include "graphics/SfTypes.h"
#include "platform/Exceptions.h"
#include "platform/Streams.h"
#include "platform/SysUtils.h"

namespace {

// The main window as the model sees it: records the hooks it is called through.
class TRecordingForm : public TProgressRecorder<TNoOpHooks> {
public:
    void UpdateProperties(TObject* item) override { Updates.push_back(item); }
    TPrintHelper* GetPrintHelper() const override { return Helper; }

    std::vector<TObject*> Updates;
    TPrintHelper* Helper = nullptr;
};

// The page view as the project sees it.
class TRecordingView : public TSheetfoldViewLink {
public:
    void InvalidateLogicalRect(const RECT& r) override { Invalidated.push_back(r); }
    TLayerSelection* GetSelection() const override { return Selection.get(); }
    TSheetfoldFormHooks* GetForm() const override { return Form; }

    std::unique_ptr<TLayerSelection, TObjectFree> Selection{New<TLayerSelection>()};
    TSheetfoldFormHooks* Form = nullptr;
    std::vector<RECT> Invalidated;
};

// A print helper whose printer has a fixed page, so that new pages get known paper.
class TFixedPrintHelper : public TPrintHelper {
public:
    TFixedPrintHelper() { GetPaper()->Set(20000, 30000, 500, 600, 700, 800, false); }
    bool Asked = false;
};

using TProjectPtr = std::unique_ptr<TSheetfoldProject, TObjectFree>;

TProjectPtr NewProject()
{
    return TProjectPtr(New<TSheetfoldProject>());
}

// Chunk bytes written by hand, the way the file format lays them out.
struct TBytes {
    std::string Data;

    TBytes& Header(const char* tag, int32_t size)
    {
        Data.append(tag, 4);
        Data.append(reinterpret_cast<const char*>(&size), 4);
        return *this;
    }
    TBytes& Begin(const char* tag) { return Header(tag, -1); }
    TBytes& End(const char* tag) { return Header(tag, -2); }
    TBytes& Int(const char* tag, int32_t v)
    {
        Header(tag, 4);
        Data.append(reinterpret_cast<const char*>(&v), 4);
        return *this;
    }
    TBytes& Word(const char* tag, uint16_t v)
    {
        Header(tag, 2);
        Data.append(reinterpret_cast<const char*>(&v), 2);
        return *this;
    }
    TBytes& Bool(const char* tag, bool v) { return Word(tag, v ? 0xFFFF : 0); }
    TBytes& Rect(const char* tag, int l, int t, int r, int b)
    {
        Header(tag, 16);
        for (int32_t v : {l, t, r, b})
            Data.append(reinterpret_cast<const char*>(&v), 4);
        return *this;
    }
    TBytes& Str(const char* tag, const std::string& s)
    {
        Header(tag, static_cast<int32_t>(s.size()));
        Data += s;
        return *this;
    }
    TBytes& Raw(const char* tag, const std::string& s) { return Str(tag, s); }
    // The base chunks of an element.
    TBytes& Base(const std::string& name, int l, int t, int r, int b, int alpha, uint32_t color, uint16_t align)
    {
        Str("NAME", name).Rect("BNDR", l, t, r, b).Word("ALPH", static_cast<uint16_t>(alpha));
        Int("COLR", static_cast<int32_t>(color));
        Raw("ALGN", std::string{static_cast<char>(align & 0xFF), static_cast<char>(align >> 8)});
        return Bool("ENBL", true).Bool("VSBL", true);
    }
    TBytes& Font(const std::string& name, int size, uint8_t style, uint16_t charset, uint32_t color)
    {
        Begin("FONT").Str("NAME", name).Int("SIZE", size).Raw("STYL", std::string(1, static_cast<char>(style)));
        return Word("CHRS", charset).Int("COLR", static_cast<int32_t>(color)).End("FONT");
    }
    TBytes& Append(const TBytes& other)
    {
        Data += other.Data;
        return *this;
    }
};

// The page of the golden file: a landscape page with a test-print record, a rectangle with a
// caption, an ellipse and a text block, bottom first.
TBytes GoldenPageBody()
{
    TBytes b;
    b.Rect("PAPR", 0, 0, 29700, 21000).Rect("PAGR", 1000, 1200, 28700, 20000).Int("ORNT", 1);
    b.Rect("TSTR", 100, 200, 300, 400);
    b.Begin("RECT").Base("box", 2000, 3000, 6000, 5000, 128, 0x0000FF, 0);
    b.Begin("TEXT").Bool("ASIZ", false).Word("FRMT", 0x10).Str("TEXT", "Caption");
    b.Base("", 2000, 5000, 6000, 6000, 255, 0, 0);
    b.Font("Arial", 10, 0x01, 0, 0x123456).End("TEXT");
    b.End("RECT");
    b.Begin("ELPS").Base("round", 7000, 3000, 9000, 4000, 200, 0x00FF00, 0).End("ELPS");
    b.Begin("TEXT").Bool("ASIZ", false).Word("FRMT", 0x10).Str("TEXT", "Hello page");
    b.Base("title", 10000, 2000, 20000, 4000, 255, 0x808080, 0);
    b.Font("Times New Roman", 14, 0x0E, 1, 0xFF0000).End("TEXT");
    return b;
}

std::string GoldenFile()
{
    TBytes b;
    b.Begin("SFPJ").Bool("MINS", true);
    b.Begin("PAGE").Append(GoldenPageBody()).End("PAGE");
    b.Begin("PAGE").Rect("PAPR", 0, 0, 21590, 27940).Rect("PAGR", 0, 0, 21590, 27940).Int("ORNT", 0).End("PAGE");
    b.End("SFPJ");
    return b.Data;
}

void LoadBytes(TSheetfoldProject* project, const std::string& bytes)
{
    std::unique_ptr<TStringStream, TObjectFree> stream(New<TStringStream>(bytes));
    project->LoadFromStream(stream.get());
}

std::string SaveBytes(TSheetfoldProject* project)
{
    std::unique_ptr<TStringStream, TObjectFree> stream(New<TStringStream>());
    project->SaveToStream(stream.get());
    return stream->GetDataString();
}

std::string PageBytes(TSheetfoldPage* page)
{
    std::unique_ptr<TStringStream, TObjectFree> stream(New<TStringStream>());
    TXDataStream data(stream.get());
    page->WritePage(data);
    return stream->GetDataString();
}

// The tags of the depth-1 chunks of a page body that was written without its group.
std::vector<std::string> PageTags(TSheetfoldPage* page)
{
    std::string body = PageBytes(page);
    TBytes wrapped;
    wrapped.Begin("PAGE");
    wrapped.Data += body;
    wrapped.End("PAGE");
    std::unique_ptr<TStringStream, TObjectFree> stream(New<TStringStream>(wrapped.Data));
    TXDataStream data(stream.get());
    TChunkHeader header;
    data.ReadChunkHeader(header);
    std::vector<std::string> tags;
    data.ReadGroupBody([&](const TChunkHeader& h) {
        if (h.Size != ChunkGroupEnd)
            tags.push_back(std::string(h.Tag.data(), 4));
        return false;
    });
    return tags;
}

TSheetfoldPage* AddPage(TSheetfoldProject* project)
{
    return New<TSheetfoldPage>(project);
}

template <class T>
T* AddElement(TLayerComposition* page, int left, int top, int width, int height)
{
    T* element = New<T>(page);
    element->SetBounds(left, top, width, height);
    return element;
}

} // namespace

// The project file

TEST(SheetfoldProjectFile, GoldenFileReadsIntoPagesAndWritesBackTheSameBytes)
{
    auto project = NewProject();
    LoadBytes(project.get(), GoldenFile());
    ASSERT_EQ(project->Count(), 2);
    EXPECT_TRUE(project->GetMINS());
    EXPECT_FALSE(project->GetModified());

    TSheetfoldPage* page = project->GetPage(0);
    EXPECT_TRUE(page->GetLandscape());
    EXPECT_RECT((RECT{0, 0, 29700, 21000}), page->GetPaperRect());
    EXPECT_RECT((RECT{1000, 1200, 28700, 20000}), page->GetPrintableRect());
    ASSERT_EQ(page->GetTestPrintRects().size(), 1u);
    EXPECT_RECT((RECT{100, 200, 300, 400}), page->GetTestPrintRects()[0]);
    EXPECT_RECT(page->GetPrintableRect(), page->GetMarginFrame()->GetInnerRect());

    // The caption is recreated attached to its owner, above it.
    ASSERT_EQ(page->Count(), 4);
    auto* box = dynamic_cast<TLayerRect*>(page->GetItem(0));
    ASSERT_TRUE(box);
    EXPECT_EQ(box->GetName(), "box");
    EXPECT_EQ(box->GetAlpha(), 128);
    EXPECT_EQ(box->GetColor(), 0x0000FFu);
    EXPECT_RECT((RECT{2000, 3000, 6000, 5000}), box->GetBounds());
    auto* caption = dynamic_cast<TLayerText*>(page->GetItem(1));
    ASSERT_TRUE(caption);
    EXPECT_EQ(caption->GetAttachedTo(), box);
    EXPECT_EQ(caption->GetText(), "Caption");
    auto* ellipse = dynamic_cast<TLayerEllipse*>(page->GetItem(2));
    ASSERT_TRUE(ellipse);
    EXPECT_EQ(ellipse->GetName(), "round");
    auto* title = dynamic_cast<TLayerText*>(page->GetItem(3));
    ASSERT_TRUE(title);
    EXPECT_EQ(title->GetText(), "Hello page");
    EXPECT_EQ(title->GetFont()->GetName(), "Times New Roman");
    EXPECT_EQ(title->GetFont()->GetSize(), 14);
    EXPECT_RECT((RECT{10000, 2000, 20000, 4000}), title->GetBounds());

    EXPECT_FALSE(project->GetPage(1)->GetLandscape());
    EXPECT_EQ(project->GetPage(1)->Count(), 0);

    EXPECT_EQ(SaveBytes(project.get()), GoldenFile());
}

TEST(SheetfoldProjectFile, PageChunksInAnyOrderGiveTheSamePage)
{
    std::vector<TBytes> chunks(3);
    chunks[0].Rect("PAPR", 0, 0, 29700, 21000);
    chunks[1].Rect("PAGR", 1000, 1200, 28700, 20000);
    chunks[2].Int("ORNT", 1);
    std::vector<int> order{0, 1, 2};
    std::string first;
    do {
        TBytes b;
        b.Begin("SFPJ").Begin("PAGE");
        for (int i : order)
            b.Append(chunks[i]);
        b.Begin("RECT").Base("c", 0, 0, 1000, 1000, 255, 0, laCenterHorz | laCenterVert).End("RECT");
        b.End("PAGE").End("SFPJ");
        auto project = NewProject();
        LoadBytes(project.get(), b.Data);
        TSheetfoldPage* page = project->GetPage(0);
        EXPECT_TRUE(page->GetLandscape());
        EXPECT_RECT((RECT{1000, 1200, 28700, 20000}), page->GetPrintableRect());
        EXPECT_EQ(page->GetPaper()->Width, 29700);
        std::string bytes = PageBytes(page);
        if (first.empty())
            first = bytes;
        EXPECT_EQ(bytes, first);
    } while (std::next_permutation(order.begin(), order.end()));
}

TEST(SheetfoldProjectFile, UnknownChunksAreSkippedAndPaperInsideUnknownGroupsApplies)
{
    TBytes b;
    b.Begin("SFPJ").Int("XTRA", 5).Begin("PAGE");
    b.Begin("ZZZZ").Rect("PAPR", 0, 0, 10000, 20000).Str("JUNK", "abc").End("ZZZZ");
    b.Rect("PAGR", 0, 0, 10000, 20000).Int("ORNT", 0).End("PAGE").End("SFPJ");
    auto project = NewProject();
    LoadBytes(project.get(), b.Data);
    ASSERT_EQ(project->Count(), 1);
    EXPECT_EQ(project->GetPage(0)->GetPaper()->Width, 10000);
    EXPECT_EQ(project->GetPage(0)->Count(), 0);
}

TEST(SheetfoldProjectFile, EveryCorruptionEitherReadsOrFailsAndLeavesTheProjectAlone)
{
    const std::string golden = GoldenFile();
    auto project = NewProject();
    TSheetfoldPage* page = AddPage(project.get());
    AddElement<TLayerRect>(page, 100, 100, 500, 500)->SetName("kept");
    project->SetModified();
    const std::string before = SaveBytes(project.get());
    project->SetModified();

    int failures = 0;
    auto attempt = [&](const std::string& bytes) {
        try {
            auto fresh = NewProject();
            LoadBytes(fresh.get(), bytes);
        } catch (const Exception&) {
        }
        try {
            LoadBytes(project.get(), bytes);
            // A good read replaces the project: put the known one back.
            LoadBytes(project.get(), before);
            project->SetModified();
        } catch (const Exception& e) {
            ++failures;
            EXPECT_FALSE(e.GetMessage().empty());
            ASSERT_TRUE(project->GetModified());
            ASSERT_EQ(SaveBytes(project.get()), before);
            project->SetModified();
        }
    };
    for (size_t i = 0; i < golden.size(); ++i) {
        for (int value : {0x00, 0xFF, 0x7F, 0x80}) {
            std::string bytes = golden;
            if (static_cast<uint8_t>(bytes[i]) == value)
                continue;
            bytes[i] = static_cast<char>(value);
            attempt(bytes);
        }
    }
    for (size_t length = 0; length < golden.size(); length += 3)
        attempt(golden.substr(0, length));
    EXPECT_GT(failures, 100);
}

TEST(SheetfoldProjectFile, ReadingReportsProgressAndAlwaysEndsIt)
{
    TRecordingForm form;
    auto project = NewProject();
    project->SetForm(&form);
    LoadBytes(project.get(), GoldenFile());
    EXPECT_EQ(form.Begins, 1);
    EXPECT_EQ(form.Ends, 1);
    EXPECT_FALSE(form.CanAbort);
    EXPECT_EQ(form.Caption, SheetfoldLoadingCaption);
    EXPECT_EQ(form.Maximum, static_cast<int>(GoldenFile().size()));
    EXPECT_GT(form.Positions.size(), 10u);
    EXPECT_TRUE(std::is_sorted(form.Positions.begin(), form.Positions.end()));

    // No pages.
    form = TRecordingForm();
    LoadBytes(project.get(), TBytes().Begin("SFPJ").Bool("MINS", false).End("SFPJ").Data);
    EXPECT_EQ(form.Begins, 1);
    EXPECT_EQ(form.Ends, 1);
    EXPECT_EQ(project->Count(), 0);
    EXPECT_EQ(project->GetCurrentPageIndex(), -1);

    // A read that fails still ends the progress.
    form = TRecordingForm();
    std::string cut = GoldenFile();
    cut.resize(cut.size() / 2);
    EXPECT_THROW(LoadBytes(project.get(), cut), EReadError);
    EXPECT_EQ(form.Begins, 1);
    EXPECT_EQ(form.Ends, 1);
}

TEST(SheetfoldProjectFile, WritingKeepsTheOrderAndLeavesFramesAndLowerCaptionsOut)
{
    auto project = NewProject();
    TSheetfoldPage* page = AddPage(project.get());
    auto* owner = AddElement<TLayerRect>(page, 1000, 1000, 2000, 2000);
    auto* lower = AddElement<TLayerText>(page, 1000, 3000, 2000, 500);
    lower->SetText("lower");
    lower->SetAttachedTo(owner);
    auto* upper = AddElement<TLayerText>(page, 1000, 3500, 2000, 500);
    upper->SetText("upper");
    upper->SetAttachedTo(owner);
    AddElement<TLayerFrame>(page, 0, 0, 100, 100);
    AddElement<TLayerEllipse>(page, 5000, 5000, 1000, 1000);
    auto* empty = AddElement<TLayerText>(page, 8000, 8000, 1000, 1000);
    empty->SetText("");

    EXPECT_EQ(PageTags(page), (std::vector<std::string>{"PAPR", "PAGR", "ORNT", "RECT", "ELPS", "TEXT"}));

    auto copy = NewProject();
    LoadBytes(copy.get(), SaveBytes(project.get()));
    TSheetfoldPage* read = copy->GetPage(0);
    ASSERT_EQ(read->Count(), 4);
    EXPECT_TRUE(Is<TLayerRect>(read->GetItem(0)));
    auto* caption = dynamic_cast<TLayerText*>(read->GetItem(1));
    ASSERT_TRUE(caption);
    EXPECT_EQ(caption->GetText(), "upper");
    EXPECT_EQ(caption->GetAttachedTo(), read->GetItem(0));
    EXPECT_TRUE(Is<TLayerEllipse>(read->GetItem(2)));
    auto* emptyRead = dynamic_cast<TLayerText*>(read->GetItem(3));
    ASSERT_TRUE(emptyRead);
    EXPECT_EQ(emptyRead->GetText(), "");
}

TEST(SheetfoldProjectFile, SavingReplacesTheFileOnlyWhenTheNewOneIsComplete)
{
    std::string path = TestTempFile("replace.sfp");
    auto project = NewProject();
    AddPage(project.get());
    project->SaveToFile(path);
    EXPECT_EQ(project->GetFileName(), path);
    EXPECT_FALSE(project->GetModified());
    std::unique_ptr<TMemoryStream, TObjectFree> saved(New<TMemoryStream>());
    saved->LoadFromFile(path);
    const std::string first(static_cast<char*>(saved->GetMemory()), static_cast<size_t>(saved->GetSize()));

    // An image that cannot be stored fails the save: the old file stays, the project stays modified.
    std::string bmp = TestTempFile("unsaveable.bmp");
    {
        TILBitmapHandle b;
        ASSERT_EQ(IL_CreateBitmap(&b, IL_MEMORY_OWNED, 8, 8, 24, 1, nullptr, IL_TOP_DOWN, nullptr, 0), IL_SUCCESS);
        ASSERT_EQ(IL_SaveBitmap(bmp.c_str(), &b, IL_FILE_BMP, 24, 0, 0), IL_SUCCESS);
        IL_FreeBitmap(&b);
    }
    auto* image = AddElement<TLayerImage>(project->GetPage(0), 0, 0, 100, 100);
    image->LoadFromFile(bmp);
    ASSERT_TRUE(image->IsBitmap());
    project->SetMINS(false);
    const int depth = image->GetBitmapHandle()->BitsPerPixel;
    image->GetBitmapHandle()->BitsPerPixel = 13;
    EXPECT_THROW(project->SaveToFile(path), Exception);
    image->GetBitmapHandle()->BitsPerPixel = depth;
    EXPECT_TRUE(project->GetModified());
    EXPECT_FALSE(GetLayerImageEmbedData());
    saved->LoadFromFile(path);
    EXPECT_EQ(std::string(static_cast<char*>(saved->GetMemory()), static_cast<size_t>(saved->GetSize())), first);
    // No temporary file is left behind.
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((ExtractFilePath(path) + "sfp*.tmp").c_str(), &found);
    EXPECT_EQ(search, INVALID_HANDLE_VALUE);
    if (search != INVALID_HANDLE_VALUE)
        FindClose(search);

    // By name, the same image saves and reads back from its file.
    project->SetMINS(true);
    project->SaveToFile(path);
    auto copy = NewProject();
    copy->LoadFromFile(path);
    ASSERT_EQ(copy->GetPage(0)->Count(), 1);
    EXPECT_TRUE(static_cast<TLayerImage*>(copy->GetPage(0)->GetItem(0))->IsBitmap());
    DeleteFileA(bmp.c_str());
}

TEST(SheetfoldProjectFile, ImagesFromFilesGoByNameOnlyWithMINSWhilePastedOnesAreAlwaysEmbedded)
{
    std::string bmp = TestTempFile("byname.bmp");
    std::string payload;
    {
        TILBitmapHandle b;
        ASSERT_EQ(IL_CreateBitmap(&b, IL_MEMORY_OWNED, 4, 4, 24, 1, nullptr, IL_TOP_DOWN, nullptr, 0), IL_SUCCESS);
        ASSERT_EQ(IL_SaveBitmap(bmp.c_str(), &b, IL_FILE_BMP, 24, 0, 0), IL_SUCCESS);
        payload = EncodeBitmapData(b);
        IL_FreeBitmap(&b);
    }
    TBytes pasted;
    pasted.Begin("PAGE").Begin("IMAG").Raw("BMPD", payload).Rect("BNDR", 0, 0, 500, 500).End("IMAG").End("PAGE");

    for (bool mins : {true, false}) {
        auto project = NewProject();
        project->SetMINS(mins);
        TSheetfoldPage* page = AddPage(project.get());
        AddElement<TLayerImage>(page, 0, 0, 10, 10)->LoadFromFile(bmp);
        ReadPagePayload(page, pasted.Data);
        ASSERT_EQ(page->Count(), 2);
        EXPECT_TRUE(static_cast<TLayerImage*>(page->GetItem(1))->GetSourceFile().empty());
        std::string bytes = SaveBytes(project.get());
        size_t count = 0;
        for (size_t at = bytes.find("BMPD"); at != std::string::npos; at = bytes.find("BMPD", at + 1))
            ++count;
        EXPECT_EQ(count, mins ? 1u : 2u) << mins;
        EXPECT_NE(bytes.find("SRCE"), std::string::npos);
        EXPECT_FALSE(GetLayerImageEmbedData());
    }
    DeleteFileA(bmp.c_str());
}

namespace {

// A picture file of 6 x 4 pixels (".bmp") or an enhanced metafile of 60 x 40 mm (".emf").
void WritePictureFile(const std::string& path)
{
    if (path.size() > 4 && path.compare(path.size() - 4, 4, ".emf") == 0) {
        RECT frame{0, 0, 6000, 4000};
        HDC dc = CreateEnhMetaFileA(nullptr, path.c_str(), &frame, nullptr);
        ASSERT_NE(dc, nullptr);
        HBRUSH brush = CreateSolidBrush(RGB(0, 0, 255));
        RECT r{0, 0, 60, 40};
        FillRect(dc, &r, brush);
        DeleteObject(brush);
        DeleteEnhMetaFile(CloseEnhMetaFile(dc));
        return;
    }
    TILBitmapHandle b;
    ASSERT_EQ(IL_CreateBitmap(&b, IL_MEMORY_OWNED, 6, 4, 24, 1, nullptr, IL_TOP_DOWN, nullptr, 0), IL_SUCCESS);
    ASSERT_EQ(IL_SaveBitmap(path.c_str(), &b, IL_FILE_BMP, 24, 0, 0), IL_SUCCESS);
    IL_FreeBitmap(&b);
}

TLayerImage* OnlyImage(TSheetfoldProject* project)
{
    return project->Count() == 1 && project->GetPage(0)->Count() == 1
               ? dynamic_cast<TLayerImage*>(project->GetPage(0)->GetItem(0))
               : nullptr;
}

} // namespace

// Saved with its pixels, a picture outlives its file: moved away or damaged, the file costs
// neither the project nor the picture, and a save by name only afterwards keeps the pixels.
TEST(SheetfoldProjectFile, APictureWhoseFileWentAwayKeepsItsPixelsThroughEverySave)
{
    for (const char* ext : {".bmp", ".emf"}) {
        for (bool damaged : {false, true}) {
            SCOPED_TRACE(std::string(ext) + (damaged ? " damaged" : " removed"));
            const std::string file = TestTempFile(std::string("goes") + ext);
            WritePictureFile(file);
            auto project = NewProject();
            TLayerImage* image = AddElement<TLayerImage>(AddPage(project.get()), 100, 200, 10, 10);
            image->LoadFromFile(file);
            ASSERT_FALSE(image->IsEmpty());
            const RECT bounds = image->GetBounds();
            project->SetMINS(false);
            const std::string embedded = SaveBytes(project.get());

            DeleteFileA(file.c_str());
            if (damaged) {
                std::unique_ptr<TFileStream, TObjectFree> junk(New<TFileStream>(file, fmCreate));
                junk->WriteBuffer("no picture at all, but long enough to be looked at", 50);
            }
            auto reopened = NewProject();
            ASSERT_NO_THROW(LoadBytes(reopened.get(), embedded));
            TLayerImage* kept = OnlyImage(reopened.get());
            ASSERT_NE(kept, nullptr);
            EXPECT_FALSE(kept->IsEmpty());
            EXPECT_EQ(kept->GetSourceFile(), "") << "the dead path is forgotten";

            reopened->SetMINS(true);
            auto again = NewProject();
            LoadBytes(again.get(), SaveBytes(reopened.get()));
            ASSERT_NE(OnlyImage(again.get()), nullptr);
            EXPECT_FALSE(OnlyImage(again.get())->IsEmpty());
            EXPECT_RECT(bounds, OnlyImage(again.get())->GetBounds());

            // Loaded while its file was there, saved by name only after the file went.
            WritePictureFile(file);
            auto linked = NewProject();
            linked->SetMINS(true);
            LoadBytes(linked.get(), embedded);
            linked->SetMINS(true);
            ASSERT_EQ(OnlyImage(linked.get())->GetSourceFile(), file);
            DeleteFileA(file.c_str());
            auto last = NewProject();
            LoadBytes(last.get(), SaveBytes(linked.get()));
            ASSERT_NE(OnlyImage(last.get()), nullptr);
            EXPECT_FALSE(OnlyImage(last.get())->IsEmpty());
        }
    }
}

// Saved by name only, a picture whose file is gone keeps its path, clip and size: saving it again
// writes what was read, and once the file is back the picture is there as before.
TEST(SheetfoldProjectFile, AMissingLinkedPictureKeepsItsPathClipAndSize)
{
    const std::string file = TestTempFile("missing.bmp");
    DeleteFileA(file.c_str());
    TBytes stored;
    stored.Begin("SFPJ").Bool("MINS", true).Begin("PAGE").Begin("IMAG");
    stored.Raw("SRCE", file).Bool("KRAT", true).Bool("CLPE", true).Rect("CLPR", 1, 1, 5, 3);
    stored.Rect("BNDR", 1000, 2000, 4000, 3000).End("IMAG").End("PAGE").End("SFPJ");

    auto project = NewProject();
    LoadBytes(project.get(), stored.Data);
    TLayerImage* image = OnlyImage(project.get());
    ASSERT_NE(image, nullptr);
    EXPECT_TRUE(image->IsSourceMissing());
    EXPECT_EQ(image->GetSourceFile(), file);
    EXPECT_RECT((RECT{1000, 2000, 4000, 3000}), image->GetBounds());
    EXPECT_RECT((RECT{1, 1, 5, 3}), image->GetClipRect());
    const std::string saved = SaveBytes(project.get());
    auto again = NewProject();
    LoadBytes(again.get(), saved);
    EXPECT_EQ(SaveBytes(again.get()), saved);

    WritePictureFile(file);
    auto back = NewProject();
    LoadBytes(back.get(), saved);
    ASSERT_NE(OnlyImage(back.get()), nullptr);
    EXPECT_TRUE(OnlyImage(back.get())->IsBitmap());
    EXPECT_RECT((RECT{1, 1, 5, 3}), OnlyImage(back.get())->GetClipRect());
    DeleteFileA(file.c_str());
}

// The clipboard payload

TEST(SheetfoldPayload, APayloadGoesOnTopAndLeavesThePaperAlone)
{
    auto project = NewProject();
    TSheetfoldPage* page = AddPage(project.get());
    page->SetPaperSize(RECT{0, 0, 10000, 10000});
    auto* bottom = AddElement<TLayerRect>(page, 0, 0, 100, 100);

    auto source = NewProject();
    TSheetfoldPage* other = AddPage(source.get());
    auto* ellipse = AddElement<TLayerEllipse>(other, 100, 200, 300, 400);
    auto* frame = AddElement<TLayerFrame>(other, 0, 0, 10, 10);
    std::string payload = WritePagePayload({ellipse, frame});

    // Page chunks inside a payload are ignored.
    TBytes withPaper;
    withPaper.Begin("PAGE").Rect("PAPR", 0, 0, 50000, 50000).Int("ORNT", 1).Data += payload.substr(8);
    for (const std::string& bytes : {payload, withPaper.Data}) {
        int before = page->Count();
        ReadPagePayload(page, bytes);
        ASSERT_EQ(page->Count(), before + 1);
        EXPECT_TRUE(Is<TLayerEllipse>(page->GetItem(before)));
        EXPECT_RECT((RECT{100, 200, 400, 600}), page->GetItem(before)->GetBounds());
    }
    EXPECT_EQ(page->GetItem(0), bottom);
    EXPECT_EQ(page->GetPaper()->Width, 10000);
    EXPECT_FALSE(page->GetLandscape());
}

TEST(SheetfoldPayload, EveryCorruptPayloadFailsWithoutChangingThePage)
{
    auto source = NewProject();
    TSheetfoldPage* other = AddPage(source.get());
    auto* text = AddElement<TLayerText>(other, 100, 200, 3000, 400);
    text->SetText("payload");
    auto* owner = AddElement<TLayerRect>(other, 100, 700, 300, 300);
    auto* caption = AddElement<TLayerText>(other, 100, 1000, 300, 300);
    caption->SetAttachedTo(owner);
    const std::string payload = WritePagePayload({text, owner});

    auto project = NewProject();
    TSheetfoldPage* page = AddPage(project.get());
    AddElement<TLayerRect>(page, 0, 0, 100, 100);
    const std::string before = PageBytes(page);
    project->ClearModified();
    int failures = 0;
    auto attempt = [&](const std::string& bytes) {
        int count = page->Count();
        try {
            ReadPagePayload(page, bytes);
        } catch (const Exception&) {
            ++failures;
            ASSERT_EQ(page->Count(), count);
            ASSERT_FALSE(project->GetModified());
            return;
        }
        while (page->Count() > 1)
            page->GetItem(page->Count() - 1)->Free();
        project->ClearModified();
    };
    for (size_t i = 0; i < payload.size(); ++i) {
        for (int value : {0x00, 0xFF, 0x81}) {
            std::string bytes = payload;
            bytes[i] = static_cast<char>(value);
            attempt(bytes);
        }
    }
    for (size_t length = 0; length < payload.size(); length += 2)
        attempt(payload.substr(0, length));
    EXPECT_GT(failures, 50);
    EXPECT_EQ(PageBytes(page), before);
}

// The project and its pages

TEST(SheetfoldProject, ElementChangesMarkTheProjectAndRefreshThePropertiesOnlyWithASelection)
{
    TRecordingForm form;
    TRecordingView view;
    view.Form = &form;
    auto project = NewProject();
    project->SetView(&view);
    TSheetfoldPage* page = AddPage(project.get());
    auto* element = AddElement<TLayerRect>(page, 0, 0, 100, 100);
    project->ClearModified();
    form.Updates.clear();
    view.Invalidated.clear();

    element->SetLeft(50);
    EXPECT_TRUE(project->GetModified());
    EXPECT_TRUE(form.Updates.empty());
    EXPECT_FALSE(view.Invalidated.empty());

    view.Selection->Add(element);
    element->SetLeft(70);
    ASSERT_EQ(form.Updates.size(), 1u);
    EXPECT_EQ(form.Updates[0], view.Selection.get());

    // A change of the page as a whole does not mark the project.
    project->ClearModified();
    page->SetColor(0x00FF00);
    EXPECT_FALSE(project->GetModified());
}

TEST(SheetfoldProject, DeletingAPageEmptiesTheSelectionOfItsElementsAndKeepsTheIndexValid)
{
    TRecordingForm form;
    TRecordingView view;
    view.Form = &form;
    auto project = NewProject();
    project->SetView(&view);
    AddPage(project.get());
    TSheetfoldPage* last = AddPage(project.get());
    auto* element = AddElement<TLayerRect>(last, 0, 0, 100, 100);
    view.Selection->Add(element);
    project->SetCurrentPageIndex(1);
    EXPECT_EQ(project->GetCurrentPage(), last);

    last->Free();
    EXPECT_TRUE(view.Selection->IsEmpty());
    EXPECT_EQ(project->GetCurrentPageIndex(), 0);
    project->Clear();
    EXPECT_EQ(project->GetCurrentPageIndex(), -1);
    EXPECT_THROW(project->GetCurrentPage(), EListError);
    AddPage(project.get());
    EXPECT_EQ(project->GetCurrentPageIndex(), 0);
}

TEST(SheetfoldPage, NewPagesTakeThePrintersPaperThroughTheMainWindow)
{
    TFixedPrintHelper helper;
    TRecordingForm form;
    form.Helper = &helper;
    TRecordingView view;
    view.Form = &form;
    auto project = NewProject();
    project->SetView(&view);
    TSheetfoldPage* page = AddPage(project.get());
    // Without a printer the helper's paper is what it had.
    EXPECT_EQ(page->GetPaper()->Width, helper.GetPaper()->Width);
    EXPECT_EQ(page->GetPaper()->LeftMargin, helper.GetPaper()->LeftMargin);
    EXPECT_RECT(page->GetPaperRect(), page->GetPaperElement()->GetBounds());
    EXPECT_RECT(page->GetPrintableRect(), page->GetMarginFrame()->GetInnerRect());
    EXPECT_EQ(page->GetMarginFrame()->GetColor(), 0xC0C0C0u);
    EXPECT_EQ(page->GetMarginFrame()->GetAlpha(), 192);
    EXPECT_EQ(page->GetTestPrintElement()->GetAlpha(), 128);

    // A page outside a project keeps Letter.
    std::unique_ptr<TSheetfoldPage, TObjectFree> loose(New<TSheetfoldPage>());
    EXPECT_EQ(loose->GetPaper()->Width, 21590);
}

TEST(SheetfoldPage, MovedElementsSnapToThePrintableAreaFromCloserThanOneAndAHalfMillimetres)
{
    auto project = NewProject();
    TSheetfoldPage* page = AddPage(project.get());
    page->SetPaperSize(RECT{0, 0, 20000, 30000});
    page->SetPrintableRect(RECT{1000, 1000, 19000, 29000});
    auto* text = AddElement<TLayerText>(page, 5000, 5000, 1000, 500);

    text->SetRect(RECT{1149, 5000, 2149, 5500}, POINT{0, 0}, lpmMove);
    EXPECT_EQ(text->GetLeft(), 1000);
    text->SetRect(RECT{1150, 5000, 2150, 5500}, POINT{0, 0}, lpmMove);
    EXPECT_EQ(text->GetLeft(), 1150);
    // Only moves snap.
    text->SetRect(RECT{1100, 5000, 2100, 5500}, POINT{0, 0}, lpmPlain);
    EXPECT_EQ(text->GetLeft(), 1100);
    // Right and bottom win over left and top; the size never changes.
    text->SetRect(RECT{1050, 1050, 18950, 28950}, POINT{0, 0}, lpmMove);
    EXPECT_RECT((RECT{1100, 1100, 19000, 29000}), text->GetBounds());
    // Wholly outside the printable area nothing snaps; touching its edge counts as inside, as
    // everywhere in the page's geometry.
    text->SetRect(RECT{0, 0, 1000, 500}, POINT{0, 0}, lpmMove);
    EXPECT_RECT((RECT{0, 0, 1000, 500}), text->GetBounds());
    auto* narrow = AddElement<TLayerRect>(page, 5000, 5000, 100, 500);
    narrow->SetRect(RECT{900, 5000, 1000, 5500}, POINT{0, 0}, lpmMove);
    EXPECT_RECT((RECT{1000, 5000, 1100, 5500}), narrow->GetBounds());
    narrow->SetRect(RECT{5000, 29000, 5100, 29100}, POINT{0, 0}, lpmMove);
    EXPECT_RECT((RECT{5000, 28900, 5100, 29000}), narrow->GetBounds());
    narrow->SetRect(RECT{5000, 29001, 5100, 29101}, POINT{0, 0}, lpmMove);
    EXPECT_RECT((RECT{5000, 29001, 5100, 29101}), narrow->GetBounds());
    page->SetSnap(false);
    text->SetRect(RECT{1100, 5000, 2100, 5500}, POINT{0, 0}, lpmMove);
    EXPECT_EQ(text->GetLeft(), 1100);

    // Images place themselves and do not snap.
    page->SetSnap(true);
    auto* image = AddElement<TLayerImage>(page, 5000, 5000, 1000, 1000);
    image->SetRect(RECT{1100, 5000, 2100, 6000}, POINT{0, 0}, lpmMove);
    EXPECT_EQ(image->GetLeft(), 1100);
}

TEST(SheetfoldPage, TurningThePageTurnsTheMarginsAndRecentresCentredElements)
{
    auto project = NewProject();
    TSheetfoldPage* page = AddPage(project.get());
    page->GetPaper()->Set(20000, 30000, 100, 200, 300, 400, false);
    page->RecalcDecorations();
    auto* centred = AddElement<TLayerRect>(page, 0, 0, 1000, 1000);
    centred->SetAlign(laCenterHorz | laCenterVert);
    project->ClearModified();

    page->SetLandscape(false);
    EXPECT_FALSE(project->GetModified());

    page->SetLandscape(true);
    EXPECT_TRUE(project->GetModified());
    EXPECT_EQ(page->GetPaper()->Width, 30000);
    RECT p = page->GetPrintableRect();
    EXPECT_RECT(p, page->GetMarginFrame()->GetInnerRect());
    EXPECT_EQ(centred->GetLeft(), p.left + (p.right - p.left - 1000) / 2);
    EXPECT_EQ(centred->GetTop(), p.top + (p.bottom - p.top - 1000) / 2);
    page->SetLandscape(false);
    EXPECT_RECT((RECT{300, 100, 19600, 29800}), page->GetPrintableRect());
}

TEST(SheetfoldPage, ATestPrintRecordsEachVisibleElementOnceAndIsSaved)
{
    auto project = NewProject();
    TSheetfoldPage* page = AddPage(project.get());
    AddElement<TLayerRect>(page, 100, 100, 500, 500);
    AddElement<TLayerRect>(page, 1000, 1000, 500, 500)->SetVisible(false);
    AddElement<TLayerRect>(page, 2000, 2000, 500, 500);
    page->SetTestPrint(true);
    EXPECT_TRUE(page->GetTestPrint());

    HDC dc = CreateCompatibleDC(nullptr);
    THiMetric mapMode;
    mapMode.SetDPI(POINT{254, 254});
    page->Print(dc, mapMode);
    page->Print(dc, mapMode);
    DeleteDC(dc);
    ASSERT_EQ(page->GetTestPrintRects().size(), 2u);
    EXPECT_RECT((RECT{100, 100, 600, 600}), page->GetTestPrintRects()[0]);
    EXPECT_RECT((RECT{2000, 2000, 2500, 2500}), page->GetTestPrintRects()[1]);

    auto copy = NewProject();
    LoadBytes(copy.get(), SaveBytes(project.get()));
    EXPECT_EQ(copy->GetPage(0)->GetTestPrintRects().size(), 2u);

    page->SetTestPrint(false);
    EXPECT_TRUE(page->GetTestPrintRects().empty());
    // On without a print: one empty entry, saved and read back as test-print mode.
    page->SetTestPrint(true);
    auto again = NewProject();
    LoadBytes(again.get(), SaveBytes(project.get()));
    EXPECT_TRUE(again->GetPage(0)->GetTestPrint());
}

TEST(SheetfoldProjectFile, ImagesKeepingTheirRatioWriteBackTheSameBytes)
{
    std::string bmp = TestTempFile("ratio.bmp");
    {
        TILBitmapHandle b;
        ASSERT_EQ(IL_CreateBitmap(&b, IL_MEMORY_OWNED, 37, 23, 24, 1, nullptr, IL_TOP_DOWN, nullptr, 0), IL_SUCCESS);
        ASSERT_EQ(IL_SaveBitmap(bmp.c_str(), &b, IL_FILE_BMP, 24, 0, 0), IL_SUCCESS);
        IL_FreeBitmap(&b);
    }
    auto project = NewProject();
    project->SetMINS(true);
    TSheetfoldPage* page = AddPage(project.get());
    for (int i = 0; i < 40; ++i) {
        auto* image = AddElement<TLayerImage>(page, 0, 0, 10, 10);
        image->LoadFromFile(bmp);
        image->SetBounds(137 * i, 91 * i, 1000 + 173 * i, 700 + 61 * i);
    }
    const std::string first = SaveBytes(project.get());
    auto copy = NewProject();
    LoadBytes(copy.get(), first);
    EXPECT_EQ(SaveBytes(copy.get()), first);
    DeleteFileA(bmp.c_str());
}

TEST(SheetfoldProjectFile, EachEmbeddedPictureWritesAndReadsItsOwnBytes)
{
    // Larger and smaller pictures in turn: no picture's bytes may carry over into the next one.
    const SIZE sizes[] = {{40, 30}, {7, 5}, {33, 41}, {1, 1}};
    std::vector<std::string> payloads;
    auto project = NewProject();
    project->SetMINS(false);
    for (int i = 0; i < 4; ++i) {
        TILBitmapHandle b;
        ASSERT_EQ(IL_CreateBitmap(&b, IL_MEMORY_OWNED, sizes[i].cx, sizes[i].cy, 24, 1, nullptr, IL_TOP_DOWN, nullptr, 0),
                  IL_SUCCESS);
        for (int y = 0; y < b.Height; ++y)
            for (int x = 0; x < b.Width * 3; ++x)
                b.Pixels[y * b.BytesPerLine + x] = static_cast<uint8_t>(x * 5 + y * 11 + i * 50);
        IL_BitmapChanged(&b);
        payloads.push_back(EncodeBitmapData(b));
        IL_FreeBitmap(&b);
        TBytes pasted;
        pasted.Begin("PAGE").Begin("IMAG").Raw("BMPD", payloads.back()).End("IMAG").End("PAGE");
        ReadPagePayload(AddPage(project.get()), pasted.Data);
    }

    auto stored = [](const std::string& bytes) {
        std::vector<std::string> found;
        for (size_t at = bytes.find("BMPD"); at != std::string::npos; at = bytes.find("BMPD", at + 1)) {
            uint32_t size = 0;
            std::memcpy(&size, bytes.data() + at + 4, 4);
            found.push_back(bytes.substr(at + 8, size));
            at += 8 + size - 1;
        }
        return found;
    };
    const std::string first = SaveBytes(project.get());
    EXPECT_EQ(stored(first), payloads);

    std::string path = TestTempFile("pictures.sfp");
    project->SaveToFile(path);
    auto copy = NewProject();
    copy->LoadFromFile(path);
    ASSERT_EQ(copy->Count(), 4);
    for (int i = 0; i < 4; ++i) {
        auto* image = static_cast<TLayerImage*>(copy->GetPage(i)->GetItem(0));
        ASSERT_TRUE(image->IsBitmap());
        EXPECT_EQ(image->GetBitmapHandle()->Width, sizes[i].cx);
        EXPECT_EQ(EncodeBitmapData(*image->GetBitmapHandle()), payloads[i]) << i;
    }
    EXPECT_EQ(SaveBytes(copy.get()), first);
    DeleteFileA(path.c_str());
}
