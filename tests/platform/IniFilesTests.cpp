#include <gtest/gtest.h>

#include "TestSupport.h"
#include "platform/IniFiles.h"
#include "platform/SysUtils.h"

namespace {
using Lines = std::vector<std::string>;

Lines LinesOf(const TStrings& list)
{
    Lines out;
    for (int i = 0; i < list.Count(); ++i)
        out.push_back(list.Get(i));
    return out;
}

std::unique_ptr<TMemIniFile, TObjectFree> MemIni(const std::string& text)
{
    std::unique_ptr<TMemIniFile, TObjectFree> ini(new TMemIniFile(""));
    TStringList lines;
    lines.SetText(text);
    ini->SetStrings(&lines);
    return ini;
}

void WriteText(const std::string& path, const std::string& text)
{
    TStringList lines;
    lines.SetText(text);
    lines.SaveToFile(path);
}
}

TEST(MemIniFile, TrimsNamesValuesAndSectionHeaders)
{
    auto ini = MemIni("  [ Interface ]  \r\n"
                      "  102 =  Position:\\s  \r\n"
                      "\t7004=Align Horiz. Center \r\n"
                      "key=\r\n"
                      "[Const]\n"
                      "21=Use the \"Insert image from file\" button\n");
    EXPECT_EQ(ini->ReadString("Interface", "102", "?"), "Position:\\s");
    EXPECT_EQ(ini->ReadString("interface", "7004", "?"), "Align Horiz. Center");
    EXPECT_EQ(ini->ReadString("INTERFACE", "key", "?"), "");
    EXPECT_EQ(ini->ReadString("Const", "21", ""), "Use the \"Insert image from file\" button");
    TStringList sections;
    ini->ReadSections(&sections);
    EXPECT_EQ(LinesOf(sections), (Lines{"Interface", "Const"}));
}

TEST(MemIniFile, CommentsMissingSectionsAndDuplicates)
{
    auto ini = MemIni("orphan=1\n"
                      "[A]\n"
                      "; comment=1\n"
                      "  ;indented comment\n"
                      "x=first\n"
                      "X=second\n"
                      "bare line\n"
                      "[B]\n"
                      "y=1\n"
                      "[a]\n"
                      "z=3\n");
    EXPECT_EQ(ini->ReadString("A", "x", "?"), "first");
    EXPECT_EQ(ini->ReadString("A", "; comment", "none"), "none");
    EXPECT_EQ(ini->ReadString("A", "z", "?"), "3");
    EXPECT_EQ(ini->ReadString("Missing", "x", "dflt"), "dflt");
    EXPECT_EQ(ini->ReadString("A", "missing", "dflt"), "dflt");
    EXPECT_EQ(ini->ReadString("", "orphan", "dflt"), "dflt");
    EXPECT_FALSE(ini->SectionExists("Missing"));
    EXPECT_TRUE(ini->SectionExists("b"));
    EXPECT_TRUE(ini->ValueExists("a", "X"));
    EXPECT_FALSE(ini->ValueExists("a", "bare line"));

    TStringList keys;
    ini->ReadSection("A", &keys);
    EXPECT_EQ(LinesOf(keys), (Lines{"x", "X", "z"}));
    TStringList sections;
    ini->ReadSections(&sections);
    EXPECT_EQ(LinesOf(sections), (Lines{"A", "B"}));

    // Writing a repeated key changes its first occurrence.
    ini->WriteString("a", "X", "new");
    EXPECT_EQ(ini->ReadString("A", "x", "?"), "new");
    TStringList values;
    ini->ReadSectionValues("A", &values);
    EXPECT_EQ(LinesOf(values), (Lines{"X=new", "X=second", "bare line", "z=3"}));
}

TEST(MemIniFile, SectionValuesKeepOrder)
{
    auto ini = MemIni("[S]\nc=3\na=1\nb=2\n");
    ini->WriteString("S", "0", "zero");
    ini->WriteString("S", "a", "one");
    TStringList values;
    values.Add("stale");
    ini->ReadSectionValues("S", &values);
    EXPECT_EQ(LinesOf(values), (Lines{"c=3", "a=one", "b=2", "0=zero"}));
    ini->ReadSectionValues("none", &values);
    EXPECT_EQ(values.Count(), 0);
}

TEST(MemIniFile, TypedValues)
{
    auto ini = MemIni("[N]\ndec=-12\nhex=0x1F\ndollar=$10\nbad=12abc\nb1=1\nb0=0\nbx=yes\n");
    EXPECT_EQ(ini->ReadInteger("N", "dec", 0), -12);
    EXPECT_EQ(ini->ReadInteger("N", "hex", 0), 31);
    EXPECT_EQ(ini->ReadInteger("N", "dollar", 0), 16);
    EXPECT_EQ(ini->ReadInteger("N", "bad", 7), 7);
    EXPECT_EQ(ini->ReadInteger("N", "missing", 8), 8);
    EXPECT_TRUE(ini->ReadBool("N", "b1", false));
    EXPECT_FALSE(ini->ReadBool("N", "b0", true));
    EXPECT_TRUE(ini->ReadBool("N", "bx", true));
    EXPECT_FALSE(ini->ReadBool("N", "bx", false));
    ini->WriteInteger("N", "w", -2147483647 - 1);
    ini->WriteBool("N", "t", true);
    EXPECT_EQ(ini->ReadString("N", "w", ""), "-2147483648");
    EXPECT_EQ(ini->ReadString("N", "t", ""), "1");
}

TEST(MemIniFile, EraseDeleteClearAndFileRoundTrip)
{
    std::string path = TestTempFile("mem.ini");
    {
        TMemIniFile ini(path);
        ini.WriteString("One", "a", "1");
        ini.WriteString("Two", "b", "2");
        ini.WriteString("Two", "c", "3");
        ini.DeleteKey("two", "B");
        ini.DeleteKey("nothing", "x");
        ini.EraseSection("ONE");
        ini.EraseSection("nothing");
        EXPECT_FALSE(FileExists(path));
        ini.UpdateFile();
    }
    TStringList text;
    text.LoadFromFile(path);
    EXPECT_EQ(LinesOf(text), (Lines{"[Two]", "c=3", ""}));

    TMemIniFile again(path);
    EXPECT_EQ(again.ReadString("two", "C", ""), "3");
    TStringList out;
    again.GetStrings(&out);
    EXPECT_EQ(LinesOf(out), (Lines{"[Two]", "c=3", ""}));
    again.Clear();
    EXPECT_FALSE(again.SectionExists("Two"));

    std::string other = TestTempFile("other.ini");
    WriteText(other, "[X]\nk=v\n");
    again.Rename(other, false);
    EXPECT_EQ(again.GetFileName(), other);
    EXPECT_EQ(again.ReadString("X", "k", "none"), "none");
    again.Rename(other, true);
    EXPECT_EQ(again.ReadString("X", "k", "none"), "v");
    again.Rename(TestTempFile("absent.ini"), true);
    EXPECT_FALSE(again.SectionExists("X"));
}

TEST(IniFile, ProfileRoundTripInTempFile)
{
    std::string path = TestTempFile("profile.ini");
    WriteText(path, "[Info]\nLanguage = English \n; note\n[Interface]\n100=Image\n7004=Align \"x\"\n");
    {
        TIniFile ini(path);
        EXPECT_EQ(ini.GetFileName(), path);
        EXPECT_EQ(ini.ReadString("Info", "Language", ""), "English");
        EXPECT_EQ(ini.ReadString("info", "LANGUAGE", ""), "English");
        EXPECT_EQ(ini.ReadString("Info", "LangId", "keeps trailing "), "keeps trailing ");
        EXPECT_EQ(ini.ReadInteger("Info", "LangId", 0), 0);
        EXPECT_EQ(ini.ReadString("Interface", "100", ""), "Image");
        EXPECT_EQ(ini.ReadString("Missing", "100", "d"), "d");

        ini.WriteString("Interface", "101", "Active:");
        ini.WriteInteger("Settings", "Count", 0x7FFFFFFF);
        ini.WriteBool("Settings", "On", true);
        std::string longValue(5000, 'v');
        ini.WriteString("Settings", "Long", longValue);
        EXPECT_EQ(ini.ReadString("Settings", "Long", ""), longValue);
        EXPECT_EQ(ini.ReadInteger("Settings", "Count", 0), 0x7FFFFFFF);
        EXPECT_TRUE(ini.ReadBool("Settings", "On", false));

        TStringList sections;
        ini.ReadSections(&sections);
        EXPECT_EQ(LinesOf(sections), (Lines{"Info", "Interface", "Settings"}));
        TStringList keys;
        ini.ReadSection("Interface", &keys);
        EXPECT_EQ(LinesOf(keys), (Lines{"100", "7004", "101"}));
        TStringList values;
        ini.ReadSectionValues("Interface", &values);
        EXPECT_EQ(values.Get(0), "100=Image");
        EXPECT_EQ(values.Get(2), "101=Active:");
        EXPECT_TRUE(ini.ValueExists("Interface", "7004"));
        EXPECT_FALSE(ini.SectionExists("Nope"));

        ini.DeleteKey("Interface", "7004");
        EXPECT_FALSE(ini.ValueExists("Interface", "7004"));
        ini.EraseSection("Info");
        EXPECT_FALSE(ini.SectionExists("Info"));
        ini.UpdateFile();
    }
    // What the profile calls wrote is what the in-memory reader sees.
    TMemIniFile mem(path);
    EXPECT_EQ(mem.ReadString("Interface", "101", ""), "Active:");
    EXPECT_EQ(mem.ReadInteger("Settings", "Count", 0), 0x7FFFFFFF);
    EXPECT_FALSE(mem.SectionExists("Info"));
}

TEST(IniFile, RelativeNameIsExpandedFromCurrentFolder)
{
    std::string dir = TestTempFile("relative");
    CreateDirectoryA(dir.c_str(), nullptr);
    std::string previous = GetCurrentDir();
    ASSERT_TRUE(SetCurrentDirectoryA(dir.c_str()));
    {
        TIniFile ini("settings.ini");
        EXPECT_EQ(ini.GetFileName(), dir + "\\settings.ini");
        ini.WriteString("S", "k", "v");
    }
    SetCurrentDirectoryA(previous.c_str());
    EXPECT_TRUE(FileExists(dir + "\\settings.ini"));
}
