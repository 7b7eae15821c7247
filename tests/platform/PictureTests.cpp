#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "TestSupport.h"
#include "platform/Graphics.h"
#include "platform/Streams.h"

namespace {

COLORREF Pixel(TBitmap* bmp, int x, int y)
{
    return static_cast<COLORREF>(bmp->GetCanvas()->GetPixel(x, y)) & 0xFFFFFF;
}

// An enhanced metafile 50 x 25 mm: left half red, right half blue.
HENHMETAFILE RecordTwoColours()
{
    return RecordHalves(RGB(255, 0, 0), RGB(0, 0, 255));
}

void ExpectTwoColours(TGraphic* graphic)
{
    auto bmp = Make<TBitmap>();
    bmp->SetPixelFormat(TPixelFormat::pf24bit);
    bmp->SetSize(100, 50);
    bmp->GetCanvas()->StretchDraw({0, 0, 100, 50}, graphic);
    EXPECT_EQ(Pixel(bmp.get(), 20, 25), RGB(255, 0, 0));
    EXPECT_EQ(Pixel(bmp.get(), 80, 25), RGB(0, 0, 255));
}

// A one-image .ico file: 16 x 16, 32 bits, every pixel the colour, opaque.
std::vector<uint8_t> BuildIcon(COLORREF color)
{
    std::vector<uint8_t> image(40 + 16 * 16 * 4 + 16 * 4, 0);
    BITMAPINFOHEADER h{};
    h.biSize = 40;
    h.biWidth = 16;
    h.biHeight = 32;
    h.biPlanes = 1;
    h.biBitCount = 32;
    std::memcpy(image.data(), &h, sizeof(h));
    for (int i = 0; i < 256; ++i) {
        uint8_t* p = image.data() + 40 + 4 * i;
        p[0] = GetBValue(color);
        p[1] = GetGValue(color);
        p[2] = GetRValue(color);
        p[3] = 255;
    }
    std::vector<uint8_t> file(6 + 16 + image.size());
    file[2] = 1;
    file[4] = 1;
    uint8_t* e = file.data() + 6;
    e[0] = 16;
    e[1] = 16;
    e[4] = 1;
    e[6] = 32;
    uint32_t size = static_cast<uint32_t>(image.size()), offset = 22;
    std::memcpy(e + 8, &size, 4);
    std::memcpy(e + 12, &offset, 4);
    std::memcpy(file.data() + 22, image.data(), image.size());
    return file;
}

class TTestGraphic : public TBitmap {
    SF_CLASS(TTestGraphic)
};
SF_IMPLEMENT_CLASS(TTestGraphic, TBitmap)

struct TCounter {
    int Count = 0;
    void Hit(TObject*) { ++Count; }
};

} // namespace

TEST(Metafile, SizesComeFromTheFrame)
{
    auto meta = Make<TMetafile>();
    EXPECT_TRUE(meta->GetEmpty());
    meta->SetHandle(RecordTwoColours());
    EXPECT_FALSE(meta->GetEmpty());
    EXPECT_EQ(meta->GetMMWidth(), 5000);
    EXPECT_EQ(meta->GetMMHeight(), 2500);
    EXPECT_EQ(meta->GetWidth(), MulDiv(5000, ScreenPixelsPerInch(), 2540));
    EXPECT_EQ(meta->GetHeight(), MulDiv(2500, ScreenPixelsPerInch(), 2540));
    ExpectTwoColours(meta.get());

    auto copy = Make<TMetafile>();
    copy->Assign(meta.get());
    EXPECT_NE(copy->GetHandle(), meta->GetHandle());
    EXPECT_EQ(copy->GetMMWidth(), 5000);
    meta->Assign(nullptr);
    EXPECT_TRUE(meta->GetEmpty());
    ExpectTwoColours(copy.get());
}

TEST(Metafile, EnhancedAndPlaceableRoundTrips)
{
    auto meta = Make<TMetafile>();
    meta->SetHandle(RecordTwoColours());

    auto emf = Make<TMemoryStream>();
    meta->SaveToStream(emf.get());
    emf->WriteBuffer("tail", 4);
    emf->SetPosition(0);
    auto fromEmf = Make<TMetafile>();
    fromEmf->LoadFromStream(emf.get());
    EXPECT_EQ(emf->GetPosition(), emf->GetSize() - 4) << "reads only its own bytes";
    EXPECT_TRUE(fromEmf->GetEnhanced());
    EXPECT_EQ(fromEmf->GetMMWidth(), 5000);
    EXPECT_EQ(fromEmf->GetMMHeight(), 2500);
    ExpectTwoColours(fromEmf.get());

    meta->SetEnhanced(false);
    auto wmf = Make<TMemoryStream>();
    meta->SaveToStream(wmf.get());
    std::vector<uint8_t> bytes = BytesOf(*wmf);
    ASSERT_GT(bytes.size(), 40u);
    uint32_t key;
    std::memcpy(&key, bytes.data(), 4);
    EXPECT_EQ(key, 0x9AC6CDD7u);
    wmf->WriteBuffer("tail", 4);
    wmf->SetPosition(0);
    auto fromWmf = Make<TMetafile>();
    fromWmf->LoadFromStream(wmf.get());
    EXPECT_EQ(wmf->GetPosition(), static_cast<int64_t>(bytes.size()));
    EXPECT_FALSE(fromWmf->GetEnhanced());
    EXPECT_NEAR(fromWmf->GetMMWidth(), 5000, 2);
    EXPECT_NEAR(fromWmf->GetMMHeight(), 2500, 2);
    ExpectTwoColours(fromWmf.get());

    // Saved again as a placeable file it keeps its size.
    auto again = Make<TMemoryStream>();
    fromWmf->SaveToStream(again.get());
    again->SetPosition(0);
    auto third = Make<TMetafile>();
    third->LoadFromStream(again.get());
    EXPECT_NEAR(third->GetMMWidth(), 5000, 4);
}

TEST(Metafile, MalformedStreamsRaise)
{
    auto meta = Make<TMetafile>();
    meta->SetHandle(RecordTwoColours());
    auto good = Make<TMemoryStream>();
    meta->SaveToStream(good.get());
    std::vector<uint8_t> emf = BytesOf(*good);
    meta->SetEnhanced(false);
    auto goodWmf = Make<TMemoryStream>();
    meta->SaveToStream(goodWmf.get());
    std::vector<uint8_t> wmf = BytesOf(*goodWmf);

    auto expectInvalid = [](std::vector<uint8_t> b, const char* what) {
        auto target = Make<TMetafile>();
        auto ms = StreamOf(b);
        EXPECT_THROW(target->LoadFromStream(ms.get()), EInvalidGraphic) << what;
        EXPECT_TRUE(target->GetEmpty()) << what;
    };
    expectInvalid({}, "empty");
    expectInvalid({'G', 'I', 'F', '8', '9', 'a', 0, 0}, "not a metafile");
    expectInvalid(std::vector<uint8_t>(emf.begin(), emf.begin() + 50), "EMF header cut");
    expectInvalid(std::vector<uint8_t>(emf.begin(), emf.end() - 4), "EMF records cut");
    std::vector<uint8_t> b = emf;
    b[40] ^= 0xFF;
    expectInvalid(b, "EMF signature");
    b = emf;
    b[48] = 0xFF;
    b[49] = 0xFF;
    b[50] = 0xFF;
    b[51] = 0x7F;
    expectInvalid(b, "EMF size beyond the data");
    expectInvalid(std::vector<uint8_t>(wmf.begin(), wmf.begin() + 30), "WMF header cut");
    expectInvalid(std::vector<uint8_t>(wmf.begin(), wmf.end() - 2), "WMF records cut");
    b = wmf;
    b[20] ^= 1;
    expectInvalid(b, "WMF checksum");
    b = wmf;
    b[28] = 0xFF;
    b[29] = 0xFF;
    b[30] = 0xFF;
    b[31] = 0x7F;
    expectInvalid(b, "WMF size beyond the data");
    b = wmf;
    b[22] = 7;
    expectInvalid(b, "WMF type");
}

TEST(Icon, LoadsDrawsAndSavesTheFileImage)
{
    std::vector<uint8_t> file = BuildIcon(RGB(0, 128, 255));
    auto icon = Make<TIcon>();
    auto in = StreamOf(file);
    icon->LoadFromStream(in.get());
    EXPECT_EQ(icon->GetWidth(), 16);
    EXPECT_EQ(icon->GetHeight(), 16);
    EXPECT_TRUE(icon->GetTransparent());
    auto bmp = Make<TBitmap>();
    bmp->SetPixelFormat(TPixelFormat::pf24bit);
    bmp->SetSize(20, 20);
    bmp->GetCanvas()->Draw(2, 2, icon.get());
    EXPECT_EQ(Pixel(bmp.get(), 10, 10), RGB(0, 128, 255));
    EXPECT_EQ(Pixel(bmp.get(), 19, 19), RGB(255, 255, 255));
    auto out = Make<TMemoryStream>();
    icon->SaveToStream(out.get());
    EXPECT_EQ(BytesOf(*out), file);
    EXPECT_THROW(icon->SetWidth(32), EInvalidGraphicOperation);

    std::vector<uint8_t> bad = file;
    bad[18] = 0xFF;   // image offset far beyond the file
    auto badStream = StreamOf(bad);
    EXPECT_THROW(icon->LoadFromStream(badStream.get()), EInvalidGraphic);
    auto cut = StreamOf(std::vector<uint8_t>(file.begin(), file.end() - 1));
    EXPECT_THROW(icon->LoadFromStream(cut.get()), EInvalidGraphic);
    EXPECT_EQ(icon->GetWidth(), 16) << "a failed load keeps the icon";
}

TEST(Picture, FiltersFollowTheRegisteredFormats)
{
    EXPECT_EQ(GraphicFilter(TGraphic::StaticClass()),
              "All (*.bmp;*.emf;*.wmf;*.ico)|*.bmp;*.emf;*.wmf;*.ico|Bitmaps (*.bmp)|*.bmp|"
              "Enhanced Metafiles (*.emf)|*.emf|Metafiles (*.wmf)|*.wmf|Icons (*.ico)|*.ico");
    EXPECT_EQ(GraphicFilter(TMetafile::StaticClass()),
              "All (*.emf;*.wmf)|*.emf;*.wmf|Enhanced Metafiles (*.emf)|*.emf|Metafiles (*.wmf)|*.wmf");
    EXPECT_EQ(GraphicFilter(TIcon::StaticClass()), "Icons (*.ico)|*.ico");

    TPicture::RegisterFileFormat(".TST", "Test pictures", TTestGraphic::StaticClass());
    EXPECT_EQ(TPicture::FileFormatClass("tst"), TTestGraphic::StaticClass());
    EXPECT_EQ(TPicture::FileFormatClass(".Tst"), TTestGraphic::StaticClass());
    EXPECT_EQ(GraphicFilter(TBitmap::StaticClass()),
              "All (*.bmp;*.tst)|*.bmp;*.tst|Bitmaps (*.bmp)|*.bmp|Test pictures (*.tst)|*.tst");
    TPicture::UnregisterGraphicClass(TTestGraphic::StaticClass());
    EXPECT_EQ(TPicture::FileFormatClass("tst"), nullptr);
    EXPECT_EQ(GraphicFilter(TBitmap::StaticClass()), "Bitmaps (*.bmp)|*.bmp");
    EXPECT_TRUE(TPicture::SupportsClipboardFormat(CF_ENHMETAFILE));
    EXPECT_FALSE(TPicture::SupportsClipboardFormat(CF_TEXT));
}

TEST(Picture, LoadsByExtensionAndCopies)
{
    auto meta = Make<TMetafile>();
    meta->SetHandle(RecordTwoColours());
    std::string emfName = TestTempFile("pic.emf");
    meta->SaveToFile(emfName);
    meta->SetEnhanced(false);
    std::string wmfName = TestTempFile("pic.WMF");
    meta->SaveToFile(wmfName);
    auto bmp = Make<TBitmap>();
    bmp->SetSize(3, 4);
    std::string bmpName = TestTempFile("pic.bmp");
    bmp->SaveToFile(bmpName);

    auto picture = Make<TPicture>();
    TCounter changes;
    picture->OnChange = TNotifyEvent(&changes, &TCounter::Hit);
    picture->LoadFromFile(emfName);
    EXPECT_TRUE(Is<TMetafile>(picture->GetGraphic()));
    EXPECT_EQ(picture->GetWidth(), meta->GetWidth());
    picture->LoadFromFile(wmfName);
    EXPECT_TRUE(Is<TMetafile>(picture->GetGraphic()));
    EXPECT_FALSE(picture->GetMetafile()->GetEnhanced());
    picture->LoadFromFile(bmpName);
    ASSERT_TRUE(Is<TBitmap>(picture->GetGraphic()));
    EXPECT_EQ(picture->GetHeight(), 4);
    EXPECT_EQ(changes.Count, 3);
    picture->GetBitmap()->SetSize(5, 5);
    EXPECT_EQ(changes.Count, 4) << "changes of the graphic reach the picture";
    EXPECT_THROW(picture->LoadFromFile(TestTempFile("pic.xyz")), EInvalidGraphic);
    EXPECT_THROW(picture->LoadFromFile(TestTempFile("noext")), EInvalidGraphic);
    EXPECT_TRUE(Is<TBitmap>(picture->GetGraphic())) << "a failed load keeps the picture";

    auto other = Make<TPicture>();
    other->Assign(picture.get());
    EXPECT_NE(other->GetGraphic(), picture->GetGraphic());
    EXPECT_EQ(other->GetWidth(), 5);
    auto target = Make<TBitmap>();
    target->Assign(other.get());
    EXPECT_EQ(target->GetWidth(), 5);
    EXPECT_TRUE(Is<TMetafile>(other->GetMetafile())) << "asking for a metafile replaces the bitmap";
    EXPECT_TRUE(other->GetMetafile()->GetEmpty());
    other->Assign(nullptr);
    EXPECT_EQ(other->GetGraphic(), nullptr);
}
