#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/Filer.h"
#include "platform/Strings.h"
#include "platform/SysUtils.h"
#include "skin/SkinStrUtils.h"

namespace {

using TListPtr = std::unique_ptr<TStringListW, TObjectFree>;

// A component whose lines travel in its form stream.
class TLinesHolder : public TComponent {
    SF_CLASS(TLinesHolder)
public:
    explicit TLinesHolder(TComponent* owner = nullptr) : TComponent(owner), Lines(New<TStringListW>()) {}
    TListPtr Lines;

protected:
    void DefineProperties(TFiler* filer) override
    {
        TComponent::DefineProperties(filer);
        Lines->DefineProperties(filer);
    }
};
SF_IMPLEMENT_COMPONENT(TLinesHolder, TComponent)

std::string Written(TStringListW* list, TPersistent* ancestor)
{
    TMemoryStream stream;
    TWriter writer(&stream);
    writer.SetAncestor(ancestor);
    list->DefineProperties(&writer);
    return std::string(static_cast<const char*>(stream.GetMemory()), size_t(stream.GetSize()));
}

} // namespace

TEST(StringListW, GrowsInStepsOfFourSixteenOrAQuarter)
{
    TListPtr list(New<TStringListW>());
    std::vector<int> capacities;
    for (int i = 0; i < 100; ++i) {
        const int before = list->GetCapacity();
        list->Add(std::to_wstring(i));
        if (list->GetCapacity() != before)
            capacities.push_back(list->GetCapacity());
    }
    EXPECT_EQ(capacities, (std::vector<int>{4, 8, 12, 28, 44, 60, 76, 95, 118}));
    list->Clear();
    EXPECT_EQ(list->GetCount(), 0);
    EXPECT_EQ(list->GetCapacity(), 0);
}

TEST(StringListW, IndexesAreCheckedWithTheIndexInTheMessage)
{
    TListPtr list(New<TStringListW>());
    list->Add(L"a");
    list->Insert(1, L"c");
    list->Insert(1, L"b");
    EXPECT_EQ(list->GetString(1), L"b");
    EXPECT_EQ(list->GetString(2), L"c");
    const struct {
        std::function<void()> Call;
        const char* Message;
    } cases[] = {
        {[&] { list->Insert(4, L"x"); }, "List index out of bounds (4)"},
        {[&] { list->Insert(-1, L"x"); }, "List index out of bounds (-1)"},
        {[&] { list->GetString(3); }, "List index out of bounds (3)"},
        {[&] { list->GetObject(-2); }, "List index out of bounds (-2)"},
    };
    for (const auto& c : cases) {
        try {
            c.Call();
            ADD_FAILURE() << c.Message;
        } catch (const EStringListError& e) {
            EXPECT_EQ(e.GetMessage(), c.Message);
        }
    }
    EXPECT_EQ(list->GetCount(), 3);
}

TEST(StringListW, ComparisonAndChangeNotification)
{
    TListPtr list(New<TStringListW>());
    int changes = 0;
    list->OnChange = [&](TObject*) { ++changes; };
    list->Add(L"\u00c4pfel");
    list->Add(L"Birne");
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(list->IndexOf(L"\u00e4PFEL"), 0) << "without case by default";
    list->SetCaseSensitive(true);
    EXPECT_EQ(list->IndexOf(L"\u00e4PFEL"), -1);
    EXPECT_EQ(list->IndexOf(L"Birne"), 1);

    // Bulk operations tell once, at the end of the outermost update.
    std::unique_ptr<TStringList, TObjectFree> ansi(New<TStringList>());
    ansi->Add("one");
    ansi->Add("two");
    ansi->Add("three");
    changes = 0;
    list->Assign(ansi.get());
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(list->GetCount(), 3);
    EXPECT_EQ(list->GetString(2), L"three");
    changes = 0;
    list->BeginUpdate();
    list->AddStrings(list.get());
    list->Insert(0, L"first");
    EXPECT_EQ(changes, 0);
    list->EndUpdate();
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(list->GetCount(), 7);
}

TEST(StringListW, AssignsToAndFromClassLibraryLists)
{
    TListPtr list(New<TStringListW>());
    TObject marker;
    list->AddObject(L"caf\u00e9", &marker);
    list->Add(L"\u4e16");
    std::unique_ptr<TStringList, TObjectFree> ansi(New<TStringList>());
    ansi->Add("old");
    ansi->Assign(list.get());
    ASSERT_EQ(ansi->GetCount(), 2);
    EXPECT_EQ(ansi->Get(0), WideToAnsi(L"caf\u00e9"));
    EXPECT_EQ(ansi->GetObject(0), &marker);
    TListPtr copy(New<TStringListW>());
    copy->Assign(list.get());
    EXPECT_EQ(copy->GetString(1), L"\u4e16");
    EXPECT_EQ(copy->GetObject(0), &marker);
}

TEST(StringListW, FormStreamsKeepAnyScript)
{
    RegisterClass(TLinesHolder::StaticClass());
    std::unique_ptr<TLinesHolder, TObjectFree> holder(New<TLinesHolder>());
    holder->SetName("Holder");
    const std::wstring lines[] = {L"", L"\u041f\u0440\u0438\u0432\u0435\u0442", L"\u4e16\u754c & more", L"plain"};
    for (const std::wstring& line : lines)
        holder->Lines->Add(line);
    TMemoryStream stream;
    stream.WriteComponent(holder.get());
    stream.SetPosition(0);
    std::unique_ptr<TLinesHolder, TObjectFree> read(New<TLinesHolder>());
    read->Lines->Add(L"stale");
    stream.ReadComponent(read.get());
    ASSERT_EQ(read->Lines->GetCount(), 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(read->Lines->GetString(i), lines[i]);

    // A damaged list says which property failed.
    TMemoryStream broken;
    broken.WriteComponent(holder.get());
    std::string bytes(static_cast<const char*>(broken.GetMemory()), size_t(broken.GetSize()));
    bytes.resize(bytes.size() - 12);
    TMemoryStream cut;
    cut.WriteBuffer(bytes.data(), int32_t(bytes.size()));
    cut.SetPosition(0);
    std::unique_ptr<TLinesHolder, TObjectFree> failed(New<TLinesHolder>());
    try {
        cut.ReadComponent(failed.get());
        FAIL();
    } catch (const Exception& e) {
        EXPECT_NE(e.GetMessage().find("could not read stringlistw property"), std::string::npos) << e.GetMessage();
    }
}

TEST(StringListW, WrittenOnlyWhenDifferentFromTheAncestor)
{
    TListPtr list(New<TStringListW>());
    EXPECT_EQ(Written(list.get(), nullptr), "") << "an empty list is not written";
    list->Add(L"");
    EXPECT_NE(Written(list.get(), nullptr), "") << "one empty line is";
    TListPtr ancestor(New<TStringListW>());
    ancestor->Add(L"");
    EXPECT_EQ(Written(list.get(), ancestor.get()), "") << "the same lines as the ancestor";
    list->Add(L"extra");
    EXPECT_NE(Written(list.get(), ancestor.get()), "") << "one line more";
    ancestor->Add(L"Extra");
    EXPECT_NE(Written(list.get(), ancestor.get()), "") << "a line differing in case";
    std::unique_ptr<TStringList, TObjectFree> other(New<TStringList>());
    EXPECT_NE(Written(list.get(), other.get()), "") << "an ancestor of another class";
    EXPECT_EQ(WideStringOfChar(L'*', 3), L"***");
    EXPECT_EQ(WideStringOfChar(L'*', -1), L"");
}
