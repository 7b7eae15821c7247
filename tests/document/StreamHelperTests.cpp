#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <vector>

#include "ChunkTestSupport.h"
#include "document/StreamHelper.h"

namespace {

template <class F>
Bytes Written(F write)
{
    TMemoryStream inner;
    TXDataStream stream(&inner);
    write(stream);
    return BytesOf(inner);
}

// A reader shaped like the project's: the project and page bodies recognise their tags at every
// depth, element and font bodies at depth 1 only; captions nest elements inside elements.
struct TModelFont {
    std::string Name;
    int32_t Size = 0;
    std::string Style;
    uint16_t Charset = 0;
};

struct TModelElement {
    std::string Kind;
    std::string Name, Text, Source, Align;
    RECT Bounds{};
    uint16_t Alpha = 0;
    int32_t Color = 0;
    bool Enabled = false;
    TModelFont Font;
    std::vector<TModelElement> Captions;
};

struct TModelPage {
    RECT Paper{}, Area{};
    int32_t Orientation = 0;
    std::vector<RECT> TestRects;
    std::vector<TModelElement> Elements;
};

struct TModelProject {
    bool Mins = false;
    std::vector<TModelPage> Pages;
};

void ReadFont(TXDataStream& s, TModelFont& font)
{
    s.ReadGroupBody([&](const TChunkHeader& h) {
        if (IsChunk(h, "NAME"))
            s.ReadString(h.Size, font.Name);
        else if (IsChunk(h, "SIZE"))
            font.Size = s.ReadInteger();
        else if (IsChunk(h, "STYL"))
            s.ReadString(h.Size, font.Style);
        else if (IsChunk(h, "CHRS"))
            font.Charset = s.ReadWord();
        else
            return false;
        return true;
    });
}

void ReadElement(TXDataStream& s, TModelElement& e)
{
    s.ReadGroupBody([&](const TChunkHeader& h) {
        if (IsChunk(h, "NAME"))
            s.ReadString(h.Size, e.Name);
        else if (IsChunk(h, "TEXT"))
            s.ReadString(h.Size, e.Text);
        else if (IsChunk(h, "SRCE"))
            s.ReadString(h.Size, e.Source);
        else if (IsChunk(h, "ALGN"))
            s.ReadString(h.Size, e.Align);
        else if (IsChunk(h, "BNDR"))
            s.ReadRect(e.Bounds);
        else if (IsChunk(h, "ALPH"))
            e.Alpha = s.ReadWord();
        else if (IsChunk(h, "COLR"))
            e.Color = s.ReadInteger();
        else if (IsChunk(h, "ENBL"))
            e.Enabled = s.ReadBoolean();
        else if (IsGroupBegin(h, "FONT"))
            ReadFont(s, e.Font);
        else if (IsGroupBegin(h, "TEXT")) {
            e.Captions.emplace_back();
            e.Captions.back().Kind = "TEXT";
            ReadElement(s, e.Captions.back());
        } else
            return false;
        return true;
    });
}

void ReadPage(TXDataStream& s, TModelPage& page)
{
    s.ReadGroupBody(
        [&](const TChunkHeader& h) {
            if (IsChunk(h, "PAPR"))
                s.ReadRect(page.Paper);
            else if (IsChunk(h, "PAGR"))
                s.ReadRect(page.Area);
            else if (IsChunk(h, "ORNT"))
                page.Orientation = s.ReadInteger();
            else if (IsChunk(h, "TSTR")) {
                page.TestRects.emplace_back();
                s.ReadRect(page.TestRects.back());
            } else {
                for (const char* kind : {"IMAG", "TEXT", "RECT", "ELPS"})
                    if (IsGroupBegin(h, kind)) {
                        page.Elements.emplace_back();
                        page.Elements.back().Kind = kind;
                        ReadElement(s, page.Elements.back());
                        return true;
                    }
                return false;
            }
            return true;
        },
        true);
}

void ReadProject(TXDataStream& s, TModelProject& project)
{
    TChunkHeader h;
    s.ReadChunkHeader(h);
    if (!IsGroupBegin(h, "SFPJ"))
        throw EReadError("not a project");
    s.ReadGroupBody(
        [&](const TChunkHeader& h) {
            if (IsChunk(h, "MINS"))
                project.Mins = s.ReadBoolean();
            else if (IsGroupBegin(h, "PAGE")) {
                project.Pages.emplace_back();
                ReadPage(s, project.Pages.back());
            } else
                return false;
            return true;
        },
        true);
}

void WriteFont(TXDataStream& s)
{
    s.BeginGroup("FONT");
    s.WriteString("NAME", "Arial");
    s.WriteInteger("SIZE", 12);
    uint8_t style = 3;
    s.WriteData("STYL", &style, 1);
    s.WriteWord("CHRS", 1);
    s.WriteInteger("COLR", 0);
    s.EndGroup("FONT");
}

void WriteBase(TXDataStream& s, const std::string& name, int left)
{
    s.WriteString("NAME", name);
    s.WriteRect("BNDR", RECT{left, 100, left + 500, 600});
    s.WriteWord("ALPH", 255);
    s.WriteInteger("COLR", 0x00FF00);
    uint8_t align[2] = {0x00, 0x08};
    s.WriteData("ALGN", align, 2);
    s.WriteBoolean("ENBL", true);
    s.WriteBoolean("VSBL", true);
}

// A project of two pages with an image that carries a caption, a text, a rectangle, test
// rectangles and chunks and groups of tags that no reader knows.
Bytes SampleProject()
{
    return Written([](TXDataStream& s) {
        s.BeginGroup("SFPJ");
        s.WriteBoolean("MINS", true);
        for (int page = 0; page < 2; ++page) {
            s.BeginGroup("PAGE");
            s.WriteRect("PAPR", RECT{0, 0, 21000, 29700});
            s.WriteRect("PAGR", RECT{500, 500, 20500, 29200});
            s.WriteInteger("ORNT", page);
            s.WriteRect("TSTR", RECT{1, 2, 3, 4});
            s.WriteString("XTRA", "future data");
            s.BeginGroup("IMAG");
            s.WriteString("SRCE", "C:\\pictures\\a.png");
            s.WriteBoolean("KRAT", true);
            WriteBase(s, "a.png", 1000 * page);
            s.BeginGroup("TEXT");
            s.WriteBoolean("ASIZ", true);
            s.WriteWord("FRMT", 0x11);
            s.WriteString("TEXT", "Caption");
            WriteBase(s, "caption", 0);
            WriteFont(s);
            s.EndGroup("TEXT");
            s.EndGroup("IMAG");
            s.BeginGroup("TEXT");
            s.WriteString("TEXT", "");
            WriteBase(s, "text", 7);
            WriteFont(s);
            s.EndGroup("TEXT");
            s.BeginGroup("RECT");
            WriteBase(s, "box", 9);
            s.EndGroup("RECT");
            s.EndGroup("PAGE");
        }
        s.EndGroup("SFPJ");
    });
}

TModelProject ReadModel(const Bytes& bytes)
{
    auto inner = StreamOf(bytes);
    TXDataStream s(inner.get());
    TModelProject project;
    ReadProject(s, project);
    return project;
}

}  // namespace

TEST(ChunkStream, HeadersAndTypedChunksHaveTheirExactBytes)
{
    EXPECT_EQ(Written([](TXDataStream& s) { s.BeginGroup("SFPJ"); }), (Bytes{0x53, 0x46, 0x50, 0x4A, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(Written([](TXDataStream& s) { s.EndGroup("PAGE"); }), Header("PAGE", -2));
    EXPECT_EQ(Written([](TXDataStream& s) { s.WriteBoolean("ENBL", true); }), Cat({Header("ENBL", 2), {0xFF, 0xFF}}));
    EXPECT_EQ(Written([](TXDataStream& s) { s.WriteBoolean("VSBL", false); }), Cat({Header("VSBL", 2), {0, 0}}));
    EXPECT_EQ(Written([](TXDataStream& s) { s.WriteString("NAME", ""); }), Header("NAME", 0));
    EXPECT_EQ(Written([](TXDataStream& s) { s.WriteString("NAME", "ab"); }), Cat({Header("NAME", 2), {'a', 'b'}}));
    EXPECT_EQ(Written([](TXDataStream& s) { s.WriteInteger("COLR", -2); }), Cat({Header("COLR", 4), {0xFE, 0xFF, 0xFF, 0xFF}}));
    EXPECT_EQ(Written([](TXDataStream& s) { s.WriteWord("ALPH", 0x1234); }), Cat({Header("ALPH", 2), {0x34, 0x12}}));
    EXPECT_EQ(Written([](TXDataStream& s) { s.WriteRect("BNDR", RECT{1, -1, 0x01020304, 256}); }),
              Cat({Header("BNDR", 16), {1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 4, 3, 2, 1, 0, 1, 0, 0}}));
    uint8_t data[3] = {9, 8, 7};
    EXPECT_EQ(Written([&](TXDataStream& s) { s.WriteData("BMPD", data, 3); }), Cat({Header("BMPD", 3), {9, 8, 7}}));
    EXPECT_EQ(Written([](TXDataStream& s) { s.WriteChunkHeader(MakeChunkHeader("PAGEXYZ", 5)); }), Header("PAGE", 5));
    EXPECT_THROW(Written([](TXDataStream& s) { s.WriteData("BMPD", nullptr, -1); }), EInvalidArgument);
}

TEST(ChunkStream, HeaderPredicatesTellChunksFromGroups)
{
    TChunkHeader data = MakeChunkHeader("TEXT", 0);
    TChunkHeader begin = MakeChunkHeader("TEXT", ChunkGroupBegin);
    TChunkHeader end = MakeChunkHeader("TEXT", ChunkGroupEnd);
    EXPECT_TRUE(IsChunk(data, "TEXT"));
    EXPECT_FALSE(IsGroupBegin(data, "TEXT"));
    EXPECT_TRUE(IsGroupBegin(begin, "TEXT"));
    EXPECT_FALSE(IsChunk(begin, "TEXT"));
    EXPECT_FALSE(IsChunk(end, "TEXT"));
    EXPECT_FALSE(IsGroupBegin(end, "TEXT"));
    EXPECT_FALSE(IsChunk(data, "FONT"));
    EXPECT_EQ(ChunkGroupKind(data), 0);
    EXPECT_EQ(ChunkGroupKind(MakeChunkHeader("TEXT", 77)), 0);
    EXPECT_EQ(ChunkGroupKind(begin), -1);
    EXPECT_EQ(ChunkGroupKind(end), -2);
    EXPECT_EQ(ChunkTag("ABCDE"), (TChunkTag{'A', 'B', 'C', 'D'}));
    EXPECT_THROW(ChunkTag("ABC"), EInvalidArgument);
    EXPECT_EQ(ChunkTagName(TChunkTag{'A', '\0', '\n', 'z'}), "A??z");
}

TEST(ChunkStream, TypedValuesReadBack)
{
    Bytes bytes = Written([](TXDataStream& s) {
        s.WriteInteger("INTG", INT32_MIN);
        s.WriteWord("WORD", 0xFFFE);
        s.WriteBoolean("BOOL", true);
        s.WriteRect("RECT", RECT{-5, 6, -7, 8});
        s.WriteString("STRG", std::string("a\0b", 3));
        s.WriteString("EMPT", "");
    });
    auto inner = StreamOf(bytes);
    TXDataStream s(inner.get());
    TChunkHeader h;
    s.ReadChunkHeader(h);
    EXPECT_TRUE(IsChunk(h, "INTG"));
    EXPECT_EQ(s.ReadInteger(), INT32_MIN);
    s.ReadChunkHeader(h);
    EXPECT_EQ(s.ReadWord(), 0xFFFE);
    s.ReadChunkHeader(h);
    EXPECT_TRUE(s.ReadBoolean());
    s.ReadChunkHeader(h);
    RECT r{};
    s.ReadRect(r);
    EXPECT_EQ(r.left, -5);
    EXPECT_EQ(r.top, 6);
    EXPECT_EQ(r.right, -7);
    EXPECT_EQ(r.bottom, 8);
    std::string text = "old";
    s.ReadChunkHeader(h);
    s.ReadString(h.Size, text);
    EXPECT_EQ(text, std::string("a\0b", 3));
    s.ReadChunkHeader(h);
    EXPECT_EQ(h.Size, 0);
    s.ReadString(h.Size, text);
    EXPECT_EQ(text, "");
    EXPECT_EQ(s.GetPosition(), s.GetSize());
}

TEST(ChunkStream, AnyNonZeroWordReadsAsTrue)
{
    for (uint16_t word : {0x0001, 0x0100, 0x8000, 0xFFFF}) {
        auto inner = StreamOf(Cat({Header("ENBL", 2), {static_cast<uint8_t>(word), static_cast<uint8_t>(word >> 8)}}));
        TXDataStream s(inner.get());
        TChunkHeader h;
        s.ReadChunkHeader(h);
        EXPECT_TRUE(s.ReadBoolean()) << word;
    }
    auto inner = StreamOf(Cat({Header("ENBL", 2), {0, 0}}));
    TXDataStream s(inner.get());
    TChunkHeader h;
    s.ReadChunkHeader(h);
    EXPECT_FALSE(s.ReadBoolean());
}

TEST(ChunkStream, WriteStringTakesAOneBasedSliceAndNeverReadsPastTheString)
{
    auto slice = [](const std::string& s, int32_t offset, int32_t count) {
        Bytes b = Written([&](TXDataStream& x) { x.WriteString("STRG", s, offset, count); });
        return std::string(b.begin() + 8, b.end());
    };
    EXPECT_EQ(slice("abcdef", 1, 0), "abcdef");
    EXPECT_EQ(slice("abcdef", 2, 2), "bc");
    EXPECT_EQ(slice("abcdef", 3, 0), "cdef");
    EXPECT_EQ(slice("abcdef", 3, -4), "cdef");
    EXPECT_EQ(slice("abcdef", 7, 0), "");
    EXPECT_EQ(slice("abcdef", 1, 6), "abcdef");
    EXPECT_THROW(slice("abcdef", 0, 0), EInvalidArgument);
    EXPECT_THROW(slice("abcdef", 8, 0), EInvalidArgument);
    EXPECT_THROW(slice("abcdef", 2, 6), EInvalidArgument);
    EXPECT_THROW(slice("", 1, 1), EInvalidArgument);

    Bytes raw = Written([](TXDataStream& s) { s.WriteRawString("abcdef", 4, 2); });
    EXPECT_EQ(raw, (Bytes{'d', 'e'}));
    EXPECT_THROW(Written([](TXDataStream& s) { s.WriteRawString("abc", 2, 3); }), EInvalidArgument);
}

TEST(ChunkStream, CorruptHeadersRaiseReadErrors)
{
    TChunkHeader h;
    {
        auto inner = StreamOf(Header("PAGE", -3));
        TXDataStream s(inner.get());
        EXPECT_THROW(s.ReadChunkHeader(h), EReadError);
    }
    {
        auto inner = StreamOf(Header("PAGE", INT32_MIN));
        TXDataStream s(inner.get());
        EXPECT_THROW(s.ReadChunkHeader(h), EReadError);
    }
    {
        auto inner = StreamOf(Cat({Header("NAME", 5), {'a', 'b', 'c', 'd'}}));
        TXDataStream s(inner.get());
        EXPECT_THROW(s.ReadChunkHeader(h), EReadError);
    }
    {
        auto inner = StreamOf(Cat({Header("NAME", 4), {'a', 'b', 'c', 'd'}}));
        TXDataStream s(inner.get());
        s.ReadChunkHeader(h);
        EXPECT_EQ(h.Size, 4);
    }
    {
        auto inner = StreamOf(Bytes{'P', 'A', 'G', 'E', 0xFF, 0xFF, 0xFF});
        TXDataStream s(inner.get());
        EXPECT_THROW(s.ReadChunkHeader(h), EReadError);
    }
}

TEST(ChunkStream, TypedChunksOfAnotherSizeStayOnTheChunkBoundaries)
{
    Bytes bytes = Cat({Header("COLR", 6), {1, 2, 3, 4, 5, 6},   // integer with two extra bytes
                       Header("COLR", 2), {0x34, 0x12},         // integer of two bytes
                       Header("BNDR", 8), {1, 0, 0, 0, 2, 0, 0, 0},
                       Header("ENBL", 0),                       // boolean with no payload
                       Header("ALPH", 1), {0x7F},
                       Header("LAST", 0)});
    auto inner = StreamOf(bytes);
    TXDataStream s(inner.get());
    TChunkHeader h;
    s.ReadChunkHeader(h);
    EXPECT_EQ(s.ReadInteger(), 0x04030201);
    s.ReadChunkHeader(h);
    EXPECT_TRUE(IsChunk(h, "COLR"));
    EXPECT_EQ(s.ReadInteger(), 0x1234);
    s.ReadChunkHeader(h);
    RECT r{};
    s.ReadRect(r);
    EXPECT_EQ(r.left, 1);
    EXPECT_EQ(r.top, 2);
    EXPECT_EQ(r.right, 0);
    EXPECT_EQ(r.bottom, 0);
    s.ReadChunkHeader(h);
    EXPECT_FALSE(s.ReadBoolean());
    s.ReadChunkHeader(h);
    EXPECT_EQ(s.ReadWord(), 0x7F);
    s.ReadChunkHeader(h);
    EXPECT_TRUE(IsChunk(h, "LAST"));
}

TEST(ChunkStream, ReadStringRejectsSizesBeyondTheChunkOrStream)
{
    auto inner = StreamOf(Cat({Header("NAME", 3), {'a', 'b', 'c'}, Header("NEXT", 0)}));
    TXDataStream s(inner.get());
    TChunkHeader h;
    s.ReadChunkHeader(h);
    std::string text = "keep";
    EXPECT_THROW(s.ReadString(4, text), EReadError);
    EXPECT_THROW(s.ReadString(-1, text), EReadError);
    EXPECT_THROW(s.ReadString(INT32_MAX, text), EReadError);
    EXPECT_EQ(text, "keep");
    inner->SetPosition(8);
    s.ReadString(2, text);
    EXPECT_EQ(text, "ab");
}

TEST(ChunkStream, SeekingTheWrapperMovesTheInnerStream)
{
    auto inner = StreamOf(Cat({Header("NAME", 3), {'a', 'b', 'c'}}));
    TXDataStream s(inner.get());
    EXPECT_EQ(s.GetSize(), 11);
    s.Seek(8, TSeekOrigin::soBeginning);
    EXPECT_EQ(inner->GetPosition(), 8);
    char c = 0;
    s.ReadBuffer(&c, 1);
    EXPECT_EQ(c, 'a');
    EXPECT_EQ(inner->GetPosition(), 9);
    inner->SetPosition(2);
    EXPECT_EQ(s.GetPosition(), 2);
}

TEST(ChunkStream, ProjectRoundTripsAndSkipsUnknownChunks)
{
    TModelProject p = ReadModel(SampleProject());
    EXPECT_TRUE(p.Mins);
    ASSERT_EQ(p.Pages.size(), 2u);
    const TModelPage& page = p.Pages[1];
    EXPECT_EQ(page.Paper.right, 21000);
    EXPECT_EQ(page.Area.bottom, 29200);
    EXPECT_EQ(page.Orientation, 1);
    ASSERT_EQ(page.TestRects.size(), 1u);
    ASSERT_EQ(page.Elements.size(), 3u);
    const TModelElement& image = page.Elements[0];
    EXPECT_EQ(image.Kind, "IMAG");
    EXPECT_EQ(image.Source, "C:\\pictures\\a.png");
    EXPECT_EQ(image.Bounds.left, 1000);
    EXPECT_EQ(image.Align, std::string("\x00\x08", 2));
    ASSERT_EQ(image.Captions.size(), 1u);
    EXPECT_EQ(image.Captions[0].Text, "Caption");
    EXPECT_EQ(image.Captions[0].Font.Name, "Arial");
    EXPECT_EQ(image.Captions[0].Font.Style, "\x03");
    EXPECT_EQ(page.Elements[1].Kind, "TEXT");
    EXPECT_EQ(page.Elements[1].Text, "");
    EXPECT_EQ(page.Elements[1].Name, "text");
    EXPECT_EQ(page.Elements[2].Name, "box");
    EXPECT_TRUE(page.Elements[2].Enabled);
}

TEST(ChunkStream, UnknownGroupsAreSkippedWholeInsideElements)
{
    Bytes bytes = Written([](TXDataStream& s) {
        s.BeginGroup("RECT");
        s.WriteString("NAME", "outer");
        s.BeginGroup("FUTR");
        s.WriteString("NAME", "inner");            // a tag the element knows, inside a group it does not
        s.WriteInteger("COLR", 5);
        s.BeginGroup("FONT");
        s.WriteString("NAME", "Courier");
        s.EndGroup("FONT");
        s.EndGroup("FUTR");
        s.WriteInteger("COLR", 7);
        s.EndGroup("RECT");
        s.WriteString("TAIL", "x");
    });
    auto inner = StreamOf(bytes);
    TXDataStream s(inner.get());
    TChunkHeader h;
    s.ReadChunkHeader(h);
    TModelElement e;
    ReadElement(s, e);
    EXPECT_EQ(e.Name, "outer");
    EXPECT_EQ(e.Color, 7);
    EXPECT_EQ(e.Font.Name, "");
    s.ReadChunkHeader(h);
    EXPECT_TRUE(IsChunk(h, "TAIL"));
}

TEST(ChunkStream, PageTagsAreFoundInsideUnknownGroups)
{
    Bytes bytes = Written([](TXDataStream& s) {
        s.BeginGroup("FUTR");
        s.WriteInteger("ORNT", 1);
        s.BeginGroup("ELPS");
        s.WriteString("NAME", "found");
        s.EndGroup("ELPS");
        s.EndGroup("FUTR");
        s.EndGroup("PAGE");
    });
    auto inner = StreamOf(bytes);
    TXDataStream s(inner.get());
    TModelPage page;
    ReadPage(s, page);
    EXPECT_EQ(page.Orientation, 1);
    ASSERT_EQ(page.Elements.size(), 1u);
    EXPECT_EQ(page.Elements[0].Name, "found");
    EXPECT_EQ(s.GetPosition(), s.GetSize());
}

TEST(ChunkStream, AGroupEndOfAnyTagClosesTheBody)
{
    Bytes bytes = Cat({Header("NAME", 1), {'a'}, Header("XXXX", ChunkGroupEnd), Header("COLR", 4), {1, 0, 0, 0}});
    auto inner = StreamOf(bytes);
    TXDataStream s(inner.get());
    TModelElement e;
    ReadElement(s, e);
    EXPECT_EQ(e.Name, "a");
    EXPECT_EQ(e.Color, 0);
    EXPECT_EQ(s.GetPosition(), 17);
}

TEST(ChunkStream, TruncatedBodiesRaise)
{
    Bytes whole = SampleProject();
    for (size_t cut : {size_t{0}, size_t{4}, size_t{8}, size_t{15}, whole.size() / 2, whole.size() - 8, whole.size() - 1}) {
        Bytes part(whole.begin(), whole.begin() + cut);
        EXPECT_THROW(ReadModel(part), EReadError) << cut;
    }
}

TEST(ChunkStream, HandlersLeavingPayloadUnreadAreResynchronised)
{
    Bytes bytes = Cat({Header("NAME", 5), {'h', 'e', 'l', 'l', 'o'}, Header("COLR", 4), {9, 0, 0, 0}, Header("RECT", -2)});
    auto inner = StreamOf(bytes);
    TXDataStream s(inner.get());
    std::string text;
    int32_t color = 0;
    s.ReadGroupBody([&](const TChunkHeader& h) {
        if (IsChunk(h, "NAME"))
            s.ReadString(2, text);
        else if (IsChunk(h, "COLR"))
            color = s.ReadInteger();
        else
            return false;
        return true;
    });
    EXPECT_EQ(text, "he");
    EXPECT_EQ(color, 9);

    auto inner2 = StreamOf(bytes);
    TXDataStream s2(inner2.get());
    EXPECT_THROW(s2.ReadGroupBody([&](const TChunkHeader&) {
        char buffer[6];
        s2.ReadBuffer(buffer, 6);
        return true;
    }),
                 EReadError);
}

TEST(ChunkStream, DeepNestingRaisesInsteadOfRecursing)
{
    Bytes unknown, captions;
    for (int i = 0; i < 500; ++i) {
        Bytes u = Header("FUTR", ChunkGroupBegin), c = Header("TEXT", ChunkGroupBegin);
        unknown.insert(unknown.end(), u.begin(), u.end());
        captions.insert(captions.end(), c.begin(), c.end());
    }
    for (const Bytes* bytes : {&unknown, &captions}) {
        auto inner = StreamOf(*bytes);
        TXDataStream s(inner.get());
        TModelElement e;
        EXPECT_THROW(ReadElement(s, e), EReadError);
    }

    // Nesting within the bound reads, and the count unwinds after a failure.
    Bytes shallow = Written([](TXDataStream& s) {
        for (int i = 0; i < ChunkMaxNesting - 1; ++i)
            s.BeginGroup("TEXT");
        for (int i = 0; i < ChunkMaxNesting; ++i)
            s.EndGroup("TEXT");
    });
    auto inner = StreamOf(shallow);
    TXDataStream s(inner.get());
    TModelElement e;
    ReadElement(s, e);
    EXPECT_EQ(s.GetPosition(), s.GetSize());
    inner->SetPosition(0);
    ReadElement(s, e);
}

// Thousands of damaged copies of a project: each read either succeeds or raises a stream error;
// none crashes, hangs or allocates from a corrupt size.
TEST(ChunkStream, CorruptedStreamsFailCleanly)
{
    const Bytes original = SampleProject();
    std::mt19937 random(20261208);
    int clean = 0, failed = 0;
    for (int round = 0; round < 3000; ++round) {
        Bytes bytes = original;
        switch (round % 4) {
        case 0:
            for (int flips = 1 + random() % 4; flips > 0; --flips)
                bytes[random() % bytes.size()] ^= static_cast<uint8_t>(1 + random() % 255);
            break;
        case 1:
            bytes.resize(random() % bytes.size());
            break;
        case 2: {
            // Overwrite a size field (every header lies on a 4-byte boundary in this sample).
            size_t at = (random() % (bytes.size() / 4)) * 4;
            static const int32_t sizes[] = {-3, -2, -1, 0, 1, 3, 7, 0x7FFFFFFF, INT32_MIN, 1 << 20};
            int32_t size = sizes[random() % 10];
            for (int i = 0; i < 4 && at + i < bytes.size(); ++i)
                bytes[at + i] = static_cast<uint8_t>(static_cast<uint32_t>(size) >> (8 * i));
            break;
        }
        default: {
            // Splice a run of bytes from one place to another.
            size_t from = random() % bytes.size(), to = random() % bytes.size();
            size_t length = std::min<size_t>(1 + random() % 32, bytes.size() - std::max(from, to));
            std::copy_n(original.begin() + from, length, bytes.begin() + to);
            break;
        }
        }
        try {
            ReadModel(bytes);
            ++clean;
        } catch (const EReadError&) {
            ++failed;
        }
    }
    EXPECT_GT(failed, 0);
    EXPECT_GT(clean, 0);
}

namespace {

// A stream that claims more bytes than it can deliver, as a file cut short by another process.
class TFailingStream : public TMemoryStream {
public:
    int32_t Read(void* buffer, int32_t count) override
    {
        return TMemoryStream::Read(buffer, count > 8 ? 5 : count);
    }
};

} // namespace

TEST(ChunkStream, PayloadBuffersGrowExactlyAndAreReusedByReads)
{
    std::string buffer;
    ResizePayloadBuffer(buffer, 5000);
    EXPECT_EQ(buffer.size(), 5000u);
    // One byte more does not double the block, as a string's own growth would.
    ResizePayloadBuffer(buffer, 5001);
    EXPECT_EQ(buffer.size(), 5001u);
    EXPECT_LT(buffer.capacity(), 6000u);
    ResizePayloadBuffer(buffer, 100);
    EXPECT_EQ(buffer.size(), 100u);
    EXPECT_GE(buffer.capacity(), 5001u);

    Bytes payload(3000);
    for (size_t i = 0; i < payload.size(); ++i)
        payload[i] = static_cast<uint8_t>(i * 13);
    auto inner = StreamOf(Cat({Header("BMPD", 3000), payload, Header("BMPD", 3), {'a', 'b', 'c'}}));
    TXDataStream s(inner.get());
    std::string& reused = s.GetPayloadBuffer();
    reused.reserve(4000);
    const char* memory = reused.data();
    TChunkHeader h;
    s.ReadChunkHeader(h);
    s.ReadString(h.Size, reused);
    EXPECT_EQ(Bytes(reused.begin(), reused.end()), payload);
    s.ReadChunkHeader(h);
    s.ReadString(h.Size, reused);
    EXPECT_EQ(reused, "abc");
    EXPECT_EQ(reused.data(), memory);

    // A read that fails half-way leaves nothing of the last payload behind.
    std::unique_ptr<TFailingStream, TObjectFree> failing(New<TFailingStream>());
    Bytes bytes = Cat({Header("BMPD", 20), Bytes(20, 'x')});
    failing->WriteBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
    failing->SetPosition(0);
    TXDataStream f(failing.get());
    std::string text = "previous payload";
    f.ReadChunkHeader(h);
    EXPECT_THROW(f.ReadString(h.Size, text), EReadError);
    EXPECT_TRUE(text.empty());
}
