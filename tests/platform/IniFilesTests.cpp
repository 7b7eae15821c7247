#include <gtest/gtest.h>

#include <random>

#include "TestSupport.h"
#include "platform/IniFiles.h"
#include "platform/SysUtils.h"

namespace {
using Lines = std::vector<std::string>;

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

// ---- Finding lines through an index ----

namespace {

// The same lines in a hashed list and a plain one: every search must give the same index.
void ExpectSameSearches(const THashedStringList& hashed, const TStringList& plain, const Lines& probes)
{
    ASSERT_EQ(LinesOf(hashed), LinesOf(plain));
    for (const std::string& probe : probes) {
        EXPECT_EQ(plain.IndexOf(probe), hashed.IndexOf(probe)) << "IndexOf " << probe;
        EXPECT_EQ(plain.IndexOfName(probe), hashed.IndexOfName(probe)) << "IndexOfName " << probe;
    }
}

const Lines& ProbeWords()
{
    // Case variants, separators, names that differ by a hyphen, 8-bit characters, empty names.
    static const Lines words = {"a",      "A",     "key",    "KEY",  "Key=1",  "key=2", "k\xE9y=3", "K\xC9Y",
                                "k\xE9y", "x-y",   "xy",     "X-Y",  "=v",     "",      " sp",      "a:b",
                                "A:B=c",  "[sec]", "k\xADy", "ky",   "q=r=s",  "Q"};
    return words;
}

} // namespace

TEST(HashedStringList, FindsWhatAPlainListFindsThroughEveryChange)
{
    std::unique_ptr<THashedStringList, TObjectFree> hashed(new THashedStringList);
    TStringList plain;
    std::mt19937 random(1234);
    const Lines& words = ProbeWords();
    auto word = [&] { return words[random() % words.size()]; };
    for (int step = 0; step < 3000; ++step) {
        const int count = plain.Count();
        switch (random() % 12) {
        case 0: case 1: case 2: case 3: {
            const std::string s = word();
            hashed->Add(s);
            plain.Add(s);
            break;
        }
        case 4:
            if (count > 0) {
                const int at = int(random() % count);
                const std::string s = word();
                hashed->Put(at, s);
                plain.Put(at, s);
            }
            break;
        case 5: {
            const int at = count ? int(random() % (count + 1)) : 0;
            const std::string s = word();
            hashed->Insert(at, s);
            plain.Insert(at, s);
            break;
        }
        case 6:
            if (count > 0) {
                const int at = int(random() % count);
                hashed->Delete(at);
                plain.Delete(at);
            }
            break;
        case 7:
            if (count > 1) {
                const int a = int(random() % count), b = int(random() % count);
                hashed->Exchange(a, b);
                plain.Exchange(a, b);
            }
            break;
        case 8:
            if (count > 1) {
                const int a = int(random() % count), b = int(random() % count);
                hashed->Move(a, b);
                plain.Move(a, b);
            }
            break;
        case 9: {
            const char separator = random() % 2 ? '=' : ':';
            hashed->SetNameValueSeparator(separator);
            plain.SetNameValueSeparator(separator);
            break;
        }
        case 10: {
            const bool sensitive = random() % 2;
            hashed->SetCaseSensitive(sensitive);
            plain.SetCaseSensitive(sensitive);
            break;
        }
        default:
            if (random() % 20 == 0) {
                hashed->Sort();
                plain.Sort();
            } else if (random() % 40 == 0) {
                hashed->Clear();
                plain.Clear();
            }
            break;
        }
        ExpectSameSearches(*hashed, plain, words);
        if (HasFailure())
            FAIL() << "after step " << step;
    }
}

TEST(HashedStringList, EveryPrintableCharacterIsFoundAsTheSystemComparesIt)
{
    std::unique_ptr<THashedStringList, TObjectFree> hashed(new THashedStringList);
    TStringList plain;
    Lines probes;
    for (int c = 0x20; c < 0x7F; ++c) {
        const std::string line = std::string("k") + char(c) + "z=" + std::to_string(c);
        hashed->Add(line);
        plain.Add(line);
        probes.push_back(std::string("k") + char(c) + "z");
        probes.push_back(std::string("K") + char(c) + "Z");
        probes.push_back(std::string(1, char(c)));
    }
    ExpectSameSearches(*hashed, plain, probes);
}

TEST(MemIniFile, ReadsWritesAndDeletesAsBeforeAcrossManySections)
{
    std::string text;
    for (int s = 0; s < 300; ++s) {
        text += "[Section" + std::to_string(s % 250) + "]\r\n";  // the last fifty repeat earlier ones
        for (int k = 0; k < 5; ++k)
            text += "Key" + std::to_string(k) + "=" + std::to_string(s) + "." + std::to_string(k) + "\r\n";
    }
    text += "[\xC4rger]\r\n\xFC\x62\x65r=8-bit\r\nKEY0=late duplicate\r\n";
    auto ini = MemIni(text);
    // Repeated sections merge into the first; a repeated key reads its first value.
    EXPECT_EQ("3.1", ini->ReadString("section3", "KEY1", "-"));
    EXPECT_EQ("10.4", ini->ReadString("Section10", "key4", "-"));
    EXPECT_EQ("-", ini->ReadString("Section250", "Key0", "-"));
    EXPECT_EQ("8-bit", ini->ReadString("\xC4rger", "\xFC\x62\x65r", "-"));
    TStringList sections;
    ini->ReadSections(&sections);
    EXPECT_EQ(251, sections.Count());
    // Writing a key that exists replaces it where it stands; a new one is appended.
    ini->WriteString("Section7", "key2", "changed");
    ini->WriteString("Section7", "Key9", "new");
    EXPECT_EQ("changed", ini->ReadString("Section7", "Key2", "-"));
    EXPECT_EQ("new", ini->ReadString("section7", "KEY9", "-"));
    TStringList keys;
    ini->ReadSection("Section7", &keys);
    // The merged section keeps both sets of keys in order.
    EXPECT_EQ((Lines{"Key0", "Key1", "key2", "Key3", "Key4", "Key0", "Key1", "Key2", "Key3", "Key4", "Key9"}), LinesOf(keys));
    // Deleting finds what remains.
    ini->DeleteKey("Section7", "Key0");
    EXPECT_EQ("257.0", ini->ReadString("Section7", "Key0", "-"));
    ini->EraseSection("Section8");
    EXPECT_EQ("-", ini->ReadString("Section8", "Key0", "-"));
    EXPECT_EQ("9.0", ini->ReadString("Section9", "Key0", "-"));
    // The overrides answer as the general ones do.
    for (const char* section : {"Section1", "section7", "Section8", "\xC4rger", "None"})
        for (const char* key : {"Key0", "key9", "\xFC\x62\x65r", "Missing"}) {
            EXPECT_EQ(ini->TCustomIniFile::ValueExists(section, key), ini->ValueExists(section, key)) << section << key;
            EXPECT_EQ(ini->TCustomIniFile::SectionExists(section), ini->SectionExists(section)) << section;
        }
}

TEST(IniFile, ASectionsValuesAreReadInOneCallAsKeyByKey)
{
    const std::string path = TestTempFile("values.ini");
    WriteText(path, "[S]\r\n a = 1 \r\nb=\"quoted\"\r\nc='single'\r\nd=\"half\r\ne\r\n;comment=x\r\nA=dup\r\n"
                    "f = two words  \r\ng=\r\nh=x=y\r\n[T]\r\nk=v\r\n");
    std::unique_ptr<TIniFile, TObjectFree> ini(new TIniFile(path));
    TStringList values;
    ini->ReadSectionValues("S", &values);
    // What reading every key of the section one by one gives.
    TStringList keys, byKey;
    ini->ReadSection("S", &keys);
    for (int i = 0; i < keys.Count(); ++i)
        byKey.Add(keys.Get(i) + "=" + ini->ReadString("S", keys.Get(i), ""));
    EXPECT_EQ(LinesOf(byKey), LinesOf(values));
    EXPECT_EQ((Lines{"a=1", "b=quoted", "c=single", "d=\"half", "A=1", "f=two words", "g=", "h=x=y"}), LinesOf(values));
    ini->ReadSectionValues("Missing", &values);
    EXPECT_EQ(0, values.Count());
}

// Large INI texts load and read in time in proportion to their size (7,000 sections took over five
// seconds when every lookup compared section after section), and damaged ones load as text does.
TEST(IniMutation, LargeAndDamagedIniFilesLoadInBoundedTimeAndMemory)
{
    TCaseWatch watch;
    std::string large;
    for (int s = 0; s < 7000; ++s) {
        large += "[Section" + std::to_string(s) + "]\r\n";
        for (int k = 1; k <= 3; ++k)
            large += std::to_string(k) + "=Text " + std::to_string(s * 10 + k) + "\r\n";
    }
    const std::string path = TestTempFile("large.ini");
    WriteText(path, large);
    watch.Begin("7000 sections");
    {
        std::unique_ptr<TMemIniFile, TObjectFree> ini(new TMemIniFile(path));
        for (int s = 0; s < 7000; ++s)
            for (int k = 1; k <= 3; ++k)
                ASSERT_EQ("Text " + std::to_string(s * 10 + k),
                          ini->ReadString("section" + std::to_string(s), std::to_string(k), ""));
    }
    EXPECT_LT(watch.End(), size_t(32) << 20);

    std::string sample;
    for (int s = 0; s < 40; ++s) {
        sample += "[S" + std::to_string(s) + "]\r\n";
        for (char k = '0'; k < '6'; ++k)
            sample += std::string("k") + k + " = v" + k + "\r\n";
    }
    std::mt19937 random(99);
    const char specials[] = {'[', ']', '=', ';', '\0', '\r', '\n', ' ', '\xFF', '\xAD', 'a'};
    for (int round = 0; round < 300; ++round) {
        std::string text = sample;
        for (int i = 0, n = 1 + int(random() % 12); i < n; ++i) {
            const size_t at = random() % text.size();
            if (random() % 3 == 0)
                text = text.substr(0, at) + specials[random() % sizeof(specials)] + text.substr(at);
            else
                text[at] = specials[random() % sizeof(specials)];
        }
        watch.Begin("damaged #" + std::to_string(round));
        auto ini = MemIni(text);
        TStringList sections, values;
        ini->ReadSections(&sections);
        for (int s = 0; s < sections.Count(); ++s) {
            ini->ReadSectionValues(sections.Get(s), &values);
            for (int v = 0; v < values.Count(); ++v)
                ini->ReadString(sections.Get(s), values.GetName(v), "");
        }
        EXPECT_LT(watch.End(), size_t(16) << 20);
    }
}
