#include <gtest/gtest.h>

#include <random>

#include "ChunkTestSupport.h"
#include "LayerTestSupport.h"
#include "graphics/SfTypes.h"

namespace {

// The elements of a page as a page writes them: one group each, then the page's group end.
Bytes WritePageBody(TLayerComposition* page)
{
    TMemoryStream inner;
    TXDataStream stream(&inner);
    for (int i = 0; i < page->Count(); ++i)
        if (!page->GetItem(i)->GetAttachedTo())
            WriteLayerElement(stream, page->GetItem(i));
    stream.EndGroup("PAGE");
    return BytesOf(inner);
}

// Reads element groups into the page the way a page body is read.
void ReadPageBody(const Bytes& bytes, TLayerComposition* page)
{
    TOwned<TMemoryStream> inner = StreamOf(bytes);
    TXDataStream stream(inner.get());
    stream.ReadGroupBody([&](const TChunkHeader& header) {
        TLayerElement* element = NewLayerElement(header, page);
        if (!element)
            return false;
        element->LoadFromStream(stream);
        return true;
    });
}

Bytes Int32(int32_t v)
{
    return Bytes{static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
                 static_cast<uint8_t>(v >> 24)};
}

// A page with one of each written element: a rectangle with a captioned text, a text with its
// own font, an ellipse, and a frame that is never written.
void FillSamplePage(TLayerComposition* page)
{
    auto* rect = AddElement<TLayerRect>(page, 1000, 2000, 3000, 4000);
    rect->SetName("Photo \"one\"");
    rect->SetColor(0x123456);
    rect->SetAlpha(77);
    rect->SetEnabled(false);

    auto* caption = AddElement<TLayerText>(page, 0, 0, 100, 100);
    caption->SetAttachedTo(rect);
    caption->SetAlign(laBelow | laCenterHorz | laFitWidth);
    caption->SetAutoSize(false);
    caption->SetText("Caption\r\nline two");
    caption->SetName("caption");

    auto* text = AddElement<TLayerText>(page, 500, 600, 7000, 800);
    TOwned<TFont> font(New<TFont>());
    font->SetName("Times New Roman");
    font->SetSize(17);
    font->SetStyle(TFontStyles{fsBold, fsUnderline});
    font->SetCharset(238);
    font->SetColor(clNavy);
    text->SetFont(font.get());
    text->SetFormat(DT_WORDBREAK | DT_CENTER);
    text->SetText("Centred words");
    text->SetVisible(false);

    auto* ellipse = AddElement<TLayerEllipse>(page, -300, -400, 500, 600);
    ellipse->SetColor(clRed);

    AddElement<TLayerFrame>(page, 0, 0, 10, 10);
}

void ExpectSameElement(TLayerElement* a, TLayerElement* b)
{
    EXPECT_EQ(a->ClassType(), b->ClassType());
    EXPECT_EQ(a->GetName(), b->GetName());
    EXPECT_TRUE(SfTypes::EqualRect(a->GetBounds(), b->GetBounds())) << a->GetName();
    EXPECT_EQ(a->GetAlpha(), b->GetAlpha());
    EXPECT_EQ(a->GetColor(), b->GetColor());
    EXPECT_EQ(a->GetAlign(), b->GetAlign());
    EXPECT_EQ(a->GetEnabled(), b->GetEnabled());
    EXPECT_EQ(a->GetVisible(), b->GetVisible());
    auto* ta = dynamic_cast<TLayerText*>(a);
    auto* tb = dynamic_cast<TLayerText*>(b);
    if (!ta || !tb)
        return;
    EXPECT_EQ(ta->GetText(), tb->GetText());
    EXPECT_EQ(ta->GetFormat(), tb->GetFormat());
    EXPECT_EQ(ta->GetAutoSize(), tb->GetAutoSize());
    EXPECT_EQ(ta->GetFont()->GetName(), tb->GetFont()->GetName());
    EXPECT_EQ(ta->GetFont()->GetSize(), tb->GetFont()->GetSize());
    EXPECT_TRUE(ta->GetFont()->GetStyle() == tb->GetFont()->GetStyle());
    EXPECT_EQ(ta->GetFont()->GetCharset(), tb->GetFont()->GetCharset());
    EXPECT_EQ(ta->GetFont()->GetColor(), tb->GetFont()->GetColor());
}

TEST(LayerChunks, EveryElementTypeRoundTrips)
{
    auto page = NewPage();
    FillSamplePage(page.get());
    Bytes written = WritePageBody(page.get());

    auto copy = NewPage();
    ReadPageBody(written, copy.get());
    // The frame is not written; everything else comes back in z-order, caption included.
    ASSERT_EQ(page->Count() - 1, copy->Count());
    for (int i = 0; i < copy->Count(); ++i)
        ExpectSameElement(page->GetItem(i), copy->GetItem(i));
    EXPECT_EQ(copy->GetItem(0), copy->GetItem(1)->GetAttachedTo());
    EXPECT_EQ(copy->GetItem(1), copy->GetItem(0)->GetCaption());
    // Written again, the copy gives the same bytes.
    EXPECT_EQ(written, WritePageBody(copy.get()));
}

TEST(LayerChunks, RectangleBodyIsTheBaseChunksInOrder)
{
    auto page = NewPage();
    auto* rect = AddElement<TLayerRect>(page.get(), 1, 2, 3, 4);
    rect->SetName("ab");
    rect->SetAlign(0);
    rect->SetColor(0x0A0B0C);
    TMemoryStream inner;
    TXDataStream stream(&inner);
    WriteLayerElement(stream, rect);
    Bytes expected = Cat({Header("RECT", -1), Header("NAME", 2), Bytes{'a', 'b'},
                          Header("BNDR", 16), Int32(1), Int32(2), Int32(4), Int32(6),
                          Header("ALPH", 2), Bytes{255, 0}, Header("COLR", 4), Int32(0x0A0B0C),
                          Header("ALGN", 2), Bytes{0, 0}, Header("ENBL", 2), Bytes{0xFF, 0xFF},
                          Header("VSBL", 2), Bytes{0xFF, 0xFF}, Header("RECT", -2)});
    EXPECT_EQ(expected, BytesOf(inner));
}

TEST(LayerChunks, EmptyTextIsAnEmptyDataChunkInsideATextGroup)
{
    auto page = NewPage();
    auto* text = AddElement<TLayerText>(page.get(), 0, 0, 100, 100);
    Bytes written = WritePageBody(page.get());
    Bytes start = Cat({Header("TEXT", -1), Header("ASIZ", 2), Bytes{0, 0}, Header("FRMT", 2), Bytes{0x10, 0},
                       Header("TEXT", 0), Header("NAME", 0)});
    ASSERT_GE(written.size(), start.size());
    EXPECT_EQ(start, Bytes(written.begin(), written.begin() + static_cast<ptrdiff_t>(start.size())));
    auto copy = NewPage();
    ReadPageBody(written, copy.get());
    ASSERT_EQ(1, copy->Count());
    ExpectSameElement(text, copy->GetItem(0));
}

TEST(LayerChunks, OnlyTheTopmostTextCaptionIsWritten)
{
    auto page = NewPage();
    auto* rect = AddElement<TLayerRect>(page.get(), 0, 0, 100, 100);
    auto* lower = AddElement<TLayerText>(page.get(), 0, 0, 100, 100);
    auto* upper = AddElement<TLayerText>(page.get(), 0, 0, 100, 100);
    lower->SetAttachedTo(rect);
    upper->SetAttachedTo(rect);
    lower->SetText("lower");
    upper->SetText("upper");
    auto copy = NewPage();
    ReadPageBody(WritePageBody(page.get()), copy.get());
    ASSERT_EQ(2, copy->Count());
    EXPECT_EQ("upper", static_cast<TLayerText*>(copy->GetItem(1))->GetText());

    // A rectangle caption is not text: nothing is written for it.
    auto shapes = NewPage();
    auto* base = AddElement<TLayerRect>(shapes.get(), 0, 0, 100, 100);
    AddElement<TLayerRect>(shapes.get(), 0, 0, 10, 10)->SetAttachedTo(base);
    auto shapesCopy = NewPage();
    ReadPageBody(WritePageBody(shapes.get()), shapesCopy.get());
    EXPECT_EQ(1, shapesCopy->Count());
}

TEST(LayerChunks, AlignPayloadsOfOtherLengthsAndUnknownChunks)
{
    Bytes body = Cat({Header("RECT", -1), Header("ALGN", 1), Bytes{0x40},
                      // An unknown group holding chunks the element knows is skipped whole.
                      Header("XTRA", -1), Header("NAME", 3), Bytes{'b', 'a', 'd'}, Header("XTRA", -2),
                      Header("ZZZZ", 3), Bytes{1, 2, 3}, Header("NAME", 2), Bytes{'o', 'k'},
                      Header("RECT", -2),
                      Header("ELPS", -1), Header("ALGN", 3), Bytes{0x00, 0x02, 0x7F}, Header("ELPS", -2),
                      Header("PAGE", -2)});
    auto page = NewPage();
    ReadPageBody(body, page.get());
    ASSERT_EQ(2, page->Count());
    EXPECT_EQ(laBelow, page->GetItem(0)->GetAlign());
    EXPECT_EQ("ok", page->GetItem(0)->GetName());
    EXPECT_EQ(page->Reference.bottom, page->GetItem(0)->GetTop());
    EXPECT_EQ(laCenterHorz, page->GetItem(1)->GetAlign());
}

TEST(LayerChunks, BoundsBeyondTheCoordinateLimitAreRefused)
{
    Bytes body = Cat({Header("RECT", -1), Header("BNDR", 16), Int32(INT_MIN), Int32(0), Int32(INT_MAX), Int32(10),
                      Header("RECT", -2), Header("PAGE", -2)});
    auto page = NewPage();
    EXPECT_THROW(ReadPageBody(body, page.get()), EReadError);
}

TEST(LayerChunks, CaptionsNestedBeyondTheLimitAreRefused)
{
    Bytes body = Header("RECT", -1);
    for (int i = 0; i < 150; ++i)
        body = Cat({body, Header("TEXT", -1)});
    for (int i = 0; i < 150; ++i)
        body = Cat({body, Header("TEXT", -2)});
    body = Cat({body, Header("RECT", -2), Header("PAGE", -2)});
    auto page = NewPage();
    EXPECT_THROW(ReadPageBody(body, page.get()), EReadError);
    // What was read stays: the rectangle and the captions read before the limit, in one chain.
    ASSERT_GT(page->Count(), 50);
    for (int i = 1; i < page->Count(); ++i)
        EXPECT_EQ(page->GetItem(i - 1), page->GetItem(i)->GetAttachedTo());
}

// Thousands of damaged copies of a real page body: each reads or fails with a read error,
// without a crash, a hang or an allocation beyond what the stream holds.
TEST(LayerChunks, CorruptedElementStreamsFailCleanly)
{
    auto page = NewPage();
    FillSamplePage(page.get());
    const Bytes original = WritePageBody(page.get());
    std::mt19937 random(20261208);
    const int32_t nasty[] = {-1, -2, -3, INT_MIN, INT_MAX, 0x7FFFFFF0, 0x10000, 1 << 30, 0};
    int failures = 0;
    int successes = 0;
    for (int round = 0; round < 4000; ++round) {
        Bytes damaged = original;
        switch (round % 4) {
        case 0: {
            int flips = 1 + static_cast<int>(random() % 4);
            for (int i = 0; i < flips; ++i)
                damaged[random() % damaged.size()] ^= static_cast<uint8_t>(1 + random() % 255);
            break;
        }
        case 1:
            damaged.resize(random() % damaged.size());
            break;
        case 2: {
            // A size field (or anything) overwritten with an extreme value.
            size_t at = random() % (damaged.size() - 4);
            Bytes value = Int32(nasty[random() % std::size(nasty)]);
            std::copy(value.begin(), value.end(), damaged.begin() + static_cast<ptrdiff_t>(at));
            break;
        }
        default: {
            // A run of bytes repeated or dropped.
            size_t at = random() % damaged.size();
            size_t length = std::min<size_t>(1 + random() % 24, damaged.size() - at);
            Bytes run(damaged.begin() + static_cast<ptrdiff_t>(at), damaged.begin() + static_cast<ptrdiff_t>(at + length));
            if (random() % 2)
                damaged.insert(damaged.begin() + static_cast<ptrdiff_t>(at), run.begin(), run.end());
            else
                damaged.erase(damaged.begin() + static_cast<ptrdiff_t>(at), damaged.begin() + static_cast<ptrdiff_t>(at + length));
            break;
        }
        }
        auto target = NewPage();
        try {
            ReadPageBody(damaged, target.get());
            ++successes;
        } catch (const EReadError& e) {
            ++failures;
            EXPECT_FALSE(std::string(e.what()).empty());
        }
        // Whatever was read stays usable: it paints, lays out and writes again.
        for (int i = 0; i < target->Count(); ++i)
            if (auto* text = dynamic_cast<TLayerText*>(target->GetItem(i)))
                text->GetLines();
        WritePageBody(target.get());
    }
    EXPECT_GT(failures, 1000);
    EXPECT_GT(successes, 100);
}

}  // namespace
