#include <gtest/gtest.h>

#include <memory>

#include "TestSupport.h"
#include "platform/Streams.h"
#include "platform/Strings.h"
#include "platform/SysUtils.h"

namespace {
using Lines = std::vector<std::string>;

void Fill(TStrings& list, const Lines& lines)
{
    for (const std::string& s : lines)
        list.Add(s);
}

// Counts its own frees so ownership can be checked.
class TCounted : public TObject {
public:
    explicit TCounted(int* frees) : FFrees(frees) {}
    ~TCounted() override { ++*FFrees; }

private:
    int* FFrees;
};

struct ChangeLog {
    std::vector<std::string> Events;
    void OnChanging(TObject*) { Events.push_back("changing"); }
    void OnChange(TObject*) { Events.push_back("change"); }
};
}

TEST(StringListSorted, DuplicatesIgnoreAcceptError)
{
    TStringList list;
    list.SetSorted(true);
    Fill(list, {"pear", "apple", "Fig"});
    EXPECT_EQ(LinesOf(list), (Lines{"apple", "Fig", "pear"}));

    // dupIgnore: the existing line's index comes back and nothing is added.
    EXPECT_EQ(list.Add("APPLE"), 0);
    EXPECT_EQ(list.Count(), 3);

    list.SetDuplicates(dupError);
    try {
        list.Add("fig");
        FAIL() << "no exception";
    } catch (const EStringListError& e) {
        EXPECT_STREQ(e.what(), "String list does not allow duplicates");
    }
    EXPECT_EQ(list.Count(), 3);

    list.SetDuplicates(dupAccept);
    EXPECT_EQ(list.Add("fig"), 1);
    EXPECT_EQ(list.Add("FIG"), 1);
    EXPECT_EQ(LinesOf(list), (Lines{"apple", "FIG", "fig", "Fig", "pear"}));

    int index = -1;
    EXPECT_TRUE(list.Find("fIg", index));
    EXPECT_EQ(index, 1);
    EXPECT_FALSE(list.Find("banana", index));
    EXPECT_EQ(index, 1);
    EXPECT_FALSE(list.Find("zebra", index));
    EXPECT_EQ(index, 5);
    EXPECT_FALSE(list.Find("", index));
    EXPECT_EQ(index, 0);
    EXPECT_EQ(list.IndexOf("PEAR"), 4);
    EXPECT_EQ(list.IndexOf("kiwi"), -1);

    EXPECT_THROW(list.Insert(0, "x"), EStringListError);
    EXPECT_THROW(list.Put(0, "x"), EStringListError);
    EXPECT_THROW(list.Move(0, 1), EStringListError);
}

TEST(StringListSorted, CaseSensitiveOrderAndFind)
{
    TStringList list;
    list.SetCaseSensitive(true);
    list.SetDuplicates(dupError);
    list.SetSorted(true);
    list.Add("b");
    list.Add("B");
    list.Add("a");
    EXPECT_EQ(list.Count(), 3);
    int index = -1;
    EXPECT_TRUE(list.Find("B", index));
    EXPECT_EQ(list.Get(index), "B");
    EXPECT_FALSE(list.Find("A", index));
    // Switching back to case-insensitive re-sorts; the lines stay.
    list.SetCaseSensitive(false);
    EXPECT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Get(0), "a");
}

TEST(StringListSorted, SortingExistingLinesAndCustomSort)
{
    TStringList list;
    Fill(list, {"10", "9", "100", "9", "1"});
    list.Sort();
    EXPECT_EQ(LinesOf(list), (Lines{"1", "10", "100", "9", "9"}));
    list.CustomSort([](TStringList* l, int a, int b) { return StrToInt(l->Get(a)) - StrToInt(l->Get(b)); });
    EXPECT_EQ(LinesOf(list), (Lines{"1", "9", "9", "10", "100"}));

    // Turning Sorted on sorts; duplicates already present stay.
    TStringList other;
    Fill(other, {"c", "a", "c", "b"});
    other.SetSorted(true);
    EXPECT_EQ(LinesOf(other), (Lines{"a", "b", "c", "c"}));

    TStringList big;
    for (int i = 0; i < 500; ++i)
        big.Add(Format("%05d", (i * 7919) % 500));
    big.Sort();
    for (int i = 0; i < 500; ++i)
        ASSERT_EQ(big.Get(i), Format("%05d", i));
}

TEST(StringList, BoundsAndObjects)
{
    TStringList list;
    try {
        list.Get(0);
        FAIL() << "no exception";
    } catch (const EStringListError& e) {
        EXPECT_STREQ(e.what(), "List index out of bounds (0)");
    }
    list.Add("a");
    EXPECT_THROW(list.Insert(2, "x"), EStringListError);
    EXPECT_THROW(list.Delete(-1), EStringListError);
    EXPECT_THROW(list.GetObject(1), EStringListError);
    list.Insert(1, "b");
    EXPECT_EQ(LinesOf(list), (Lines{"a", "b"}));

    int frees = 0;
    auto* one = new TCounted(&frees);
    auto* two = new TCounted(&frees);
    {
        TStringList owning;
        owning.SetOwnsObjects(true);
        owning.AddObject("one", one);
        owning.AddObject("two", two);
        owning.AddObject("none", nullptr);
        EXPECT_EQ(owning.IndexOfObject(two), 1);
        owning.Move(0, 2);
        EXPECT_EQ(frees, 0);
        EXPECT_EQ(owning.GetObject(2), one);
        owning.Exchange(0, 1);
        EXPECT_EQ(owning.GetObject(1), two);
        owning.Delete(1);
        EXPECT_EQ(frees, 1);
    }
    EXPECT_EQ(frees, 2);

    TObject shared;
    {
        TStringList plain;
        plain.AddObject("x", &shared);
        plain.Put(0, "y");
        EXPECT_EQ(plain.GetObject(0), &shared);
        plain.Clear();
    }
}

TEST(StringList, ChangeEventsAndUpdates)
{
    ChangeLog log;
    TStringList list;
    list.SetOnChanging(TNotifyEvent(&log, &ChangeLog::OnChanging));
    list.SetOnChange(TNotifyEvent(&log, &ChangeLog::OnChange));
    list.Add("a");
    EXPECT_EQ(log.Events, (Lines{"changing", "change"}));
    log.Events.clear();
    list.BeginUpdate();
    list.Add("b");
    list.BeginUpdate();
    list.Delete(0);
    list.EndUpdate();
    EXPECT_EQ(log.Events, (Lines{"changing"}));
    list.EndUpdate();
    EXPECT_EQ(log.Events, (Lines{"changing", "change"}));
    log.Events.clear();
    list.SetText("x\r\ny\r\nz");
    EXPECT_EQ(log.Events, (Lines{"changing", "change"}));
    log.Events.clear();
    list.Clear();
    list.Clear();
    EXPECT_EQ(log.Events, (Lines{"changing", "change"}));
}

TEST(StringsText, SplitsAtCrLfAndCrLf)
{
    TStringList list;
    list.SetText("a\rb\nc\r\nd");
    EXPECT_EQ(LinesOf(list), (Lines{"a", "b", "c", "d"}));
    list.SetText("a\r\n");
    EXPECT_EQ(LinesOf(list), (Lines{"a"}));
    list.SetText("a\r\n\r\n");
    EXPECT_EQ(LinesOf(list), (Lines{"a", ""}));
    list.SetText("a\n\rb");
    EXPECT_EQ(LinesOf(list), (Lines{"a", "", "b"}));
    list.SetText("\r\n");
    EXPECT_EQ(LinesOf(list), (Lines{""}));
    list.SetText("");
    EXPECT_EQ(list.Count(), 0);
    list.SetText(" x \t");
    EXPECT_EQ(LinesOf(list), (Lines{" x \t"}));

    Fill(list, {"", "y"});
    EXPECT_EQ(list.GetText(), " x \t\r\n\r\ny\r\n");
    TStringList copy;
    copy.SetText(list.GetText());
    EXPECT_TRUE(copy.Equals(&list));
}

TEST(StringsText, CommaTextQuotingRoundTrips)
{
    TStringList list;
    Fill(list, {"plain", "two words", "comma,inside", "say \"hi\"", "", "tab\there", "caf\xE9"});
    std::string text = list.GetCommaText();
    EXPECT_EQ(text, "plain,\"two words\",\"comma,inside\",\"say \"\"hi\"\"\",,\"tab\there\",caf\xE9");
    TStringList back;
    back.SetCommaText(text);
    EXPECT_EQ(LinesOf(back), LinesOf(list));

    for (const Lines& lines : {Lines{""}, Lines{"", ""}, Lines{"a", ""}, Lines{"", "a"}, Lines{"\""}, Lines{" "}}) {
        TStringList l;
        Fill(l, lines);
        TStringList r;
        r.SetCommaText(l.GetCommaText());
        EXPECT_EQ(LinesOf(r), lines) << l.GetCommaText();
    }
    TStringList empty;
    EXPECT_EQ(empty.GetCommaText(), "");
    EXPECT_EQ(LinesOf(empty), Lines{});
}

TEST(StringsText, CommaTextParsing)
{
    TStringList list;
    list.SetCommaText("  a b ,\"c ,d\" , \"unclosed");
    EXPECT_EQ(LinesOf(list), (Lines{"a", "b", "c ,d", "unclosed"}));
    list.SetCommaText("x,,y,");
    EXPECT_EQ(LinesOf(list), (Lines{"x", "", "y", ""}));
    list.SetCommaText("");
    EXPECT_EQ(list.Count(), 0);
}

TEST(StringsText, DelimitedTextUsesDelimiterAndQuote)
{
    TStringList list;
    list.SetDelimiter(';');
    list.SetQuoteChar('\'');
    Fill(list, {"a,b", "c d", "it's"});
    EXPECT_EQ(list.GetDelimitedText(), "a,b;'c d';'it''s'");
    // Comma text is independent of the list's own delimiter settings.
    EXPECT_EQ(list.GetCommaText(), "\"a,b\",\"c d\",it's");
    EXPECT_EQ(list.GetDelimiter(), ';');
    TStringList back;
    back.SetDelimiter(';');
    back.SetQuoteChar('\'');
    back.SetDelimitedText(list.GetDelimitedText());
    EXPECT_EQ(LinesOf(back), LinesOf(list));
}

TEST(StringsNames, NamesValuesAndValueFromIndex)
{
    TStringList list;
    Fill(list, {"Width=10", "height = 20", "novalue", "Empty=", "Eq=a=b"});
    EXPECT_EQ(list.GetName(0), "Width");
    EXPECT_EQ(list.GetName(1), "height ");
    EXPECT_EQ(list.GetName(2), "");
    EXPECT_EQ(list.GetValue("WIDTH"), "10");
    EXPECT_EQ(list.GetValue("height "), " 20");
    EXPECT_EQ(list.GetValue("missing"), "");
    EXPECT_EQ(list.GetValue("Eq"), "a=b");
    EXPECT_EQ(list.GetValueFromIndex(2), "");
    EXPECT_EQ(list.GetValueFromIndex(3), "");
    EXPECT_EQ(list.IndexOfName("empty"), 3);
    EXPECT_EQ(list.IndexOfName("novalue"), -1);

    list.SetValue("Width", "11");
    EXPECT_EQ(list.Get(0), "Width=11");
    list.SetValue("New", "1");
    EXPECT_EQ(list.Get(5), "New=1");
    list.SetValue("Width", "");
    EXPECT_EQ(list.IndexOfName("Width"), -1);
    EXPECT_EQ(list.Count(), 5);
    list.SetValueFromIndex(0, "30");
    EXPECT_EQ(list.Get(0), "height =30");

    list.SetNameValueSeparator(':');
    list.Add("k:v");
    EXPECT_EQ(list.GetValue("K"), "v");
}

TEST(Strings, AssignAddStringsAndEquals)
{
    TStringList a;
    a.SetDelimiter(';');
    TObject tag;
    a.AddObject("one", &tag);
    a.Add("two");
    TStringList b;
    b.Add("old");
    b.Assign(&a);
    EXPECT_EQ(LinesOf(b), (Lines{"one", "two"}));
    EXPECT_EQ(b.GetObject(0), &tag);
    EXPECT_EQ(b.GetDelimiter(), ';');
    EXPECT_TRUE(a.Equals(&b));
    b.Put(1, "TWO");
    EXPECT_FALSE(a.Equals(&b));
    b.AddStrings(&b);
    EXPECT_EQ(LinesOf(b), (Lines{"one", "TWO", "one", "TWO"}));
    b.Assign(&b);
    EXPECT_EQ(b.Count(), 4);
    EXPECT_THROW(b.Assign(nullptr), EConvertError);
}

TEST(Strings, LoadAndSaveThroughStreamsAndFiles)
{
    TStringList list;
    Fill(list, {"first", "", "caf\xE9", "last"});
    std::string path = TestTempFile("lines.txt");
    list.SaveToFile(path);
    TStringList back;
    back.LoadFromFile(path);
    EXPECT_TRUE(back.Equals(&list));

    TMemoryStream stream;
    stream.WriteBuffer("skip|a\nb\rc", 10);
    stream.SetPosition(5);
    back.LoadFromStream(&stream);
    EXPECT_EQ(LinesOf(back), (Lines{"a", "b", "c"}));

    TMemoryStream out;
    back.SaveToStream(&out);
    EXPECT_EQ(out.GetSize(), 9);
    EXPECT_EQ(std::string(static_cast<char*>(out.GetMemory()), 9), "a\r\nb\r\nc\r\n");

    EXPECT_THROW(back.LoadFromFile(TestTempFile("missing.txt")), EFOpenError);
}
