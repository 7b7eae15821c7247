// Wide string lists (sorting, duplicates, find, byte-order marks), the wide file stream, the 8-bit
// adapter, the rule that keeps a wide value in step with its 8-bit twin, helpers of components,
// and wide properties in form resources.
#include <gtest/gtest.h>

#include <memory>

#include "TestSupport.h"
#include "UniTestSupport.h"
#include "platform/Streams.h"
#include "platform/SysUtils.h"
#include "unicode/UniActnList.h"
#include "unicode/UniClasses.h"
#include "unicode/UniStdCtrls.h"

namespace {
using TListPtr = std::unique_ptr<TUniStringList, TObjectFree>;

TListPtr MakeList(std::initializer_list<const wchar_t*> lines)
{
    TListPtr list(New<TUniStringList>());
    for (const wchar_t* line : lines)
        list->Add(line);
    return list;
}

std::vector<std::wstring> Lines(TWideStrings* list)
{
    std::vector<std::wstring> lines;
    for (int i = 0; i < list->Count(); ++i)
        lines.push_back(list->Get(i));
    return lines;
}

TListPtr LoadBytes(const std::string& bytes, bool withBOM = true)
{
    std::unique_ptr<TMemoryStream, TObjectFree> stream(New<TMemoryStream>());
    stream->WriteBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
    stream->SetPosition(0);
    TListPtr list(New<TUniStringList>());
    list->LoadFromStreamWithBOM(stream.get(), withBOM);
    return list;
}
}

TEST(UniStringList, SortedListsKeepOrderFindAndFollowTheDuplicatesRule)
{
    TListPtr list = MakeList({L"pear", L"\u0416uk", L"Apple", L"apple", L"banana"});
    list->SetSorted(true);
    std::vector<std::wstring> folded;
    for (const std::wstring& line : Lines(list.get()))
        folded.push_back(WideLowerCase(line));
    EXPECT_EQ(folded, (std::vector<std::wstring>{L"apple", L"apple", L"banana", L"pear", L"\u0436uk"}));
    // Without regard to case the first equal line is found.
    int index = -1;
    EXPECT_TRUE(list->Find(L"APPLE", index));
    EXPECT_EQ(index, 0);
    EXPECT_FALSE(list->Find(L"cherry", index));
    EXPECT_EQ(index, 3);
    EXPECT_EQ(list->IndexOf(L"\u0436UK"), 4);
    // dupIgnore answers the existing line, dupError raises, dupAccept inserts before the equals.
    EXPECT_EQ(list->Add(L"BANANA"), 2);
    EXPECT_EQ(list->Count(), 5);
    list->SetDuplicates(dupError);
    EXPECT_THROW(list->Add(L"Banana"), EStringListError);
    list->SetDuplicates(dupAccept);
    EXPECT_EQ(list->Add(L"Banana"), 2);
    EXPECT_EQ(list->Count(), 6);
    EXPECT_THROW(list->Insert(0, L"x"), EStringListError);
    EXPECT_THROW(list->Put(0, L"x"), EStringListError);
    // With regard to case the list sorts again and finds only the same case.
    list->SetCaseSensitive(true);
    EXPECT_TRUE(list->Find(L"apple", index));
    EXPECT_EQ(list->Get(index), L"apple");
    EXPECT_FALSE(list->Find(L"APPLE", index));
    try {
        list->Get(6);
        FAIL() << "no error";
    } catch (const EStringListError& e) {
        EXPECT_STREQ(e.what(), "List index out of bounds (6)");
    }
}

TEST(UniStringList, UnsortedEditingObjectsNotificationsAndGrowth)
{
    TListPtr list = MakeList({L"c", L"a", L"b"});
    int changes = 0, changings = 0;
    list->SetOnChange([&](TObject*) { ++changes; });
    list->SetOnChanging([&](TObject*) { ++changings; });
    TObject* marker = list.get();
    list->InsertObject(1, L"x", marker);
    EXPECT_EQ(list->GetObject(1), marker);
    list->Exchange(0, 1);
    EXPECT_EQ(list->Get(0), L"x");
    EXPECT_EQ(list->GetObject(0), marker);
    list->Delete(0);
    EXPECT_EQ(changes, 3);
    EXPECT_EQ(changings, 3);
    list->BeginUpdate();
    list->Sort();
    list->Add(L"d");
    list->EndUpdate();
    EXPECT_EQ(changes, 4);
    EXPECT_EQ(Lines(list.get()), (std::vector<std::wstring>{L"a", L"b", L"c", L"d"}));
    EXPECT_EQ(list->IndexOf(L"C"), 2);
    EXPECT_EQ(list->GetText(), L"a\r\nb\r\nc\r\nd\r\n");
    list->SetText(L"one\rtwo\nthree\r\n\r\nfive");
    EXPECT_EQ(Lines(list.get()), (std::vector<std::wstring>{L"one", L"two", L"three", L"", L"five"}));
    // Room grows by 4 up to 8, by 16 up to 64, then by a quarter.
    TListPtr grown(New<TUniStringList>());
    std::vector<int> capacities;
    for (int i = 0; i < 120; ++i) {
        grown->Add(L"x");
        if (capacities.empty() || capacities.back() != grown->GetCapacity())
            capacities.push_back(grown->GetCapacity());
    }
    EXPECT_EQ(capacities, (std::vector<int>{4, 8, 12, 28, 44, 60, 76, 95, 118, 147}));
}

TEST(UniStrings, LoadingFollowsTheByteOrderMark)
{
    const std::wstring R(1, ReplacementChar);
    struct Case {
        std::string Bytes;
        std::vector<std::wstring> Lines;
        TByteOrderKind Kind;
    };
    const Case cases[] = {
        {std::string("\xFE\xFF\x00\x41", 4), {L"A"}, bokUtf16BE},
        {std::string("\xFE\xFF\x00\x41\x00\x00\x00\x42\x00\x0D\x00\x0A\x04\x16", 14), {std::wstring(L"A\0B", 3), L"\u0416"}, bokUtf16BE},
        {std::string("\xFF\xFE\x41\x00\x0A\x00\x16\x04", 8), {L"A", L"\u0416"}, bokUtf16LE},
        {std::string("\xFF\xFE", 2), {}, bokUtf16LE},
        {std::string("\xFF\xFE\x41\x00\x42", 5), {L"A" + R}, bokUtf16LE},
        {"\xEF\xBB\xBF\xD0\x96\r\nb\xFF", {L"\u0416", L"b" + R}, bokUtf8},
        {"x", {L"x"}, bokAnsi},
        {"\xEF\xBB", {WidenText("\xEF\xBB")}, bokAnsi},
    };
    for (const Case& c : cases) {
        TListPtr list = LoadBytes(c.Bytes);
        EXPECT_EQ(Lines(list.get()), c.Lines) << c.Bytes;
        EXPECT_EQ(list->GetLastFileCharSet(), c.Kind) << c.Bytes;
    }
    // Without looking for a mark the bytes are UTF-16 little-endian.
    EXPECT_EQ(Lines(LoadBytes(std::string("\x41\x00\x16\x04", 4), false).get()), (std::vector<std::wstring>{L"A\u0416"}));
}

TEST(UniStrings, SavingWritesTheMarkAndFilesWithWideNamesRoundTrip)
{
    TListPtr list = MakeList({L"A", kWideText.c_str(), L""});
    std::unique_ptr<TMemoryStream, TObjectFree> stream(New<TMemoryStream>());
    list->SaveToStream(stream.get());
    std::string bytes = TextOf(*stream);
    ASSERT_GE(bytes.size(), 4u);
    EXPECT_EQ(bytes.substr(0, 4), std::string("\xFF\xFE\x41\x00", 4));
    EXPECT_EQ(bytes.size(), 2 + 2 * list->GetText().size());
    std::unique_ptr<TMemoryStream, TObjectFree> bare(New<TMemoryStream>());
    list->SaveToStreamWithBOM(bare.get(), false);
    EXPECT_EQ(TextOf(*bare), bytes.substr(2));

    std::wstring name = WideTempFileName(L"lines");
    list->SaveToFile(name);
    TListPtr back(New<TUniStringList>());
    back->LoadFromFile(name);
    EXPECT_TRUE(back->Equals(list.get()));
    EXPECT_EQ(back->GetLastFileCharSet(), bokUtf16LE);
    DeleteFileW(name.c_str());
}

TEST(UniFileStream, FailuresNameTheFullFileAndTheSystemsReason)
{
    std::wstring missing = WidenText(TestTempDir()) + L"\\no\u0416.txt";
    try {
        std::unique_ptr<TUniFileStream, TObjectFree> stream(New<TUniFileStream>(missing, fmOpenRead));
        FAIL() << "no error";
    } catch (const EWideFOpenError& e) {
        EXPECT_EQ(e.GetWideMessage(), L"Cannot open file \"" + FullWideFileName(missing) + L"\". " +
                                          SystemErrorTextW(ERROR_FILE_NOT_FOUND));
    }
    std::wstring nowhere = WidenText(TestTempDir()) + L"\\missing folder\\x.txt";
    EXPECT_THROW(New<TUniFileStream>(nowhere, fmCreate), EWideFCreateError);
    // An empty name has no full path: the stream's own error names it as it came.
    for (uint16_t mode : {uint16_t(fmOpenRead), uint16_t(fmCreate)}) {
        try {
            std::unique_ptr<TUniFileStream, TObjectFree> stream(New<TUniFileStream>(L"", mode));
            ADD_FAILURE() << "no error for mode " << mode;
        } catch (const EWideFileStreamError& e) {
            const bool create = mode == fmCreate;
            EXPECT_EQ(create, dynamic_cast<const EWideFCreateError*>(&e) != nullptr) << mode;
            EXPECT_EQ(create, dynamic_cast<const EWideFOpenError*>(&e) == nullptr) << mode;
            const std::wstring start = create ? L"Cannot create file \"\". " : L"Cannot open file \"\". ";
            EXPECT_EQ(e.GetWideMessage().substr(0, start.size()), start) << mode;
        }
    }
}

TEST(UniStrings, TheEightBitViewConvertsWithItsCodePage)
{
    TListPtr list = MakeList({L"\u0416uk"});
    TAnsiStrings* ansi = list->GetAnsiStrings();
    EXPECT_EQ(ansi->Count(), 1);
    EXPECT_EQ(ansi->Get(0), NarrowText(L"\u0416uk"));
    ansi->Add("plain");
    EXPECT_EQ(list->Get(1), L"plain");
    std::unique_ptr<TAnsiStringsForWideStringsAdapter, TObjectFree> cyrillic(
        New<TAnsiStringsForWideStringsAdapter>(list.get(), 1251));
    EXPECT_EQ(cyrillic->Get(0), "\xC6uk");
    cyrillic->Put(1, "\xC6");
    EXPECT_EQ(list->Get(1), L"\u0416");
    cyrillic->Delete(1);
    EXPECT_EQ(list->Count(), 1);
}

TEST(SyncedWide, TheWideValueFollowsChangesBehindIt)
{
    // Hebrew letters: no test run's 8-bit code page has them, so both narrow to "?".
    std::string ansi;
    std::vector<std::string> written;
    auto set = [&](const std::string& value) {
        written.push_back(value);
        ansi = value;
    };
    std::wstring wide;
    WriteSyncedWide(wide, L"\u05D0uk", ansi, set);
    EXPECT_EQ(ansi, "?uk");
    EXPECT_EQ(ReadSyncedWide(wide, ansi), L"\u05D0uk");
    // Changed behind it: the wide value takes the 8-bit one and does not come back.
    ansi = "abc";
    EXPECT_EQ(ReadSyncedWide(wide, ansi), L"abc");
    ansi = "?uk";
    EXPECT_EQ(ReadSyncedWide(wide, ansi), L"?uk");
    // A new wide value whose narrowed form the 8-bit one holds already: emptied first, so that
    // the change is seen.
    written.clear();
    WriteSyncedWide(wide, L"\u05D1uk", ansi, set);
    EXPECT_EQ(written, (std::vector<std::string>{"", "?uk"}));
    EXPECT_EQ(ReadSyncedWide(wide, ansi), L"\u05D1uk");
    written.clear();
    WriteSyncedWide(wide, L"\u05D1uk", ansi, set);
    EXPECT_TRUE(written.empty());
}

TEST(WideComponentHelper, OneHelperPerComponentGoingWithIt)
{
    std::unique_ptr<TComponent, TObjectFree> component(New<TComponent>(nullptr));
    EXPECT_EQ(FindWideControlHelper(component.get()), nullptr);
    TWideControlHelper* helper = GetWideControlHelper(component.get());
    EXPECT_EQ(GetWideControlHelper(component.get()), helper);
    EXPECT_EQ(FindWideComponentHelper(component.get()), helper);
    const TComponent* gone = component.get();
    component.reset();
    EXPECT_EQ(FindWideComponentHelper(gone), nullptr);
    try {
        CreateInstance(TWideComponentHelper::StaticClass(), nullptr);
        FAIL() << "no error";
    } catch (const EUniInternalError& e) {
        EXPECT_EQ(e.GetWideMessage(), L"UNI Internal Error: TWideComponentHelper.Create should never be encountered.");
    }
}

TEST(WideProperties, CompanionsAreWrittenAsUtf7AndAppliedOnlyWhenSwitchedOn)
{
    std::unique_ptr<TUniAction, TObjectFree> action(New<TUniAction>(nullptr));
    action->SetCaption(kWideText);
    std::unique_ptr<TUniComboBox, TObjectFree> combo(New<TUniComboBox>(nullptr));
    combo->GetItems()->Add(kWideText);
    combo->GetItems()->Add(L"plain");
    std::unique_ptr<TMemoryStream, TObjectFree> actionStream(New<TMemoryStream>());
    actionStream->WriteComponent(action.get());
    std::unique_ptr<TMemoryStream, TObjectFree> comboStream(New<TMemoryStream>());
    comboStream->WriteComponent(combo.get());
    std::string bytes = TextOf(*actionStream);
    EXPECT_NE(bytes.find("Caption_UTF7"), std::string::npos);
    EXPECT_NE(bytes.find(WideToCodePage(kWideText, CP_UTF7)), std::string::npos);
    EXPECT_EQ(bytes.find("Hint_UTF7"), std::string::npos);

    for (bool on : {false, true}) {
        SetRuntimeUTFStreaming(on);
        std::unique_ptr<TUniAction, TObjectFree> readAction(New<TUniAction>(nullptr));
        actionStream->SetPosition(0);
        actionStream->ReadComponent(readAction.get());
        EXPECT_EQ(readAction->GetCaption(), on ? kWideText : L"");
        std::unique_ptr<TUniComboBox, TObjectFree> readCombo(New<TUniComboBox>(nullptr));
        comboStream->SetPosition(0);
        comboStream->ReadComponent(readCombo.get());
        EXPECT_EQ(readCombo->GetItems()->Count(), on ? 2 : 0);
        if (on) {
            EXPECT_EQ(readCombo->GetItems()->Get(0), kWideText);
        }
    }
    SetRuntimeUTFStreaming(false);
}
