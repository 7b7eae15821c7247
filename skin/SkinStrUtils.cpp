#include "skin/SkinStrUtils.h"

#include "platform/Filer.h"
#include "platform/ScopeGuards.h"
#include "platform/Strings.h"
#include "platform/SysUtils.h"

SF_IMPLEMENT_CLASS(TStringListW, TPersistent)

void TStringListW::CheckIndex(int index) const
{
    if (index < 0 || index >= GetCount())
        throw EStringListError(Format("List index out of bounds (%d)", index));
}

void TStringListW::Changed()
{
    if (FUpdateCount == 0)
        OnChange(this);
}

int TStringListW::AddObject(const std::wstring& s, TObject* object)
{
    const int index = GetCount();
    Insert(index, s, object);
    return index;
}

void TStringListW::Insert(int index, const std::wstring& s, TObject* object)
{
    if (index < 0 || index > GetCount())
        throw EStringListError(Format("List index out of bounds (%d)", index));
    if (GetCount() == FCapacity) {
        // Small lists grow by 4, middling ones by 16, large ones by a quarter.
        FCapacity += FCapacity > 64 ? FCapacity / 4 : FCapacity < 9 ? 4 : 16;
        FEntries.reserve(size_t(FCapacity));
    }
    FEntries.insert(FEntries.begin() + index, TEntry{s, object});
    Changed();
}

void TStringListW::Clear()
{
    FEntries.clear();
    FEntries.shrink_to_fit();
    FCapacity = 0;
    Changed();
}

const std::wstring& TStringListW::GetString(int index) const
{
    CheckIndex(index);
    return FEntries[size_t(index)].Text;
}

TObject* TStringListW::GetObject(int index) const
{
    CheckIndex(index);
    return FEntries[size_t(index)].Object;
}

int TStringListW::IndexOf(const std::wstring& s) const
{
    for (int i = 0; i < GetCount(); ++i)
        if (CompareStrings(FEntries[size_t(i)].Text, s) == 0)
            return i;
    return -1;
}

int TStringListW::CompareStrings(const std::wstring& s1, const std::wstring& s2) const
{
    return FCaseSensitive ? WideCompareStr(s1, s2) : WideCompareText(s1, s2);
}

void TStringListW::EndUpdate()
{
    if (FUpdateCount > 0 && --FUpdateCount == 0)
        OnChange(this);
}

void TStringListW::AddStrings(const TStrings* strings)
{
    TUpdateScope<TStringListW> update(this);
    for (int i = 0; i < strings->GetCount(); ++i)
        AddObject(AnsiToWide(strings->Get(i)), strings->GetObject(i));
}

void TStringListW::AddStrings(const TStringListW* strings)
{
    TUpdateScope<TStringListW> update(this);
    // Copied first, so that a list can add itself.
    const std::vector<TEntry> entries = strings->FEntries;
    for (const TEntry& e : entries)
        AddObject(e.Text, e.Object);
}

void TStringListW::Assign(TPersistent* source)
{
    if (source == this)
        return;
    if (Is<TStringListW>(source)) {
        TUpdateScope<TStringListW> update(this);
        Clear();
        AddStrings(static_cast<TStringListW*>(source));
        return;
    }
    if (Is<TStrings>(source)) {
        TUpdateScope<TStringListW> update(this);
        Clear();
        AddStrings(static_cast<TStrings*>(source));
        return;
    }
    TPersistent::Assign(source);
}

void TStringListW::AssignTo(TPersistent* dest)
{
    if (!Is<TStrings>(dest)) {
        TPersistent::AssignTo(dest);
        return;
    }
    auto* strings = static_cast<TStrings*>(dest);
    TUpdateScope<TStrings> update(strings);
    strings->Clear();
    for (const TEntry& e : FEntries)
        strings->AddObject(WideToAnsi(e.Text), e.Object);
}

bool TStringListW::DiffersFromAncestor(TPersistent* ancestor) const
{
    if (!ancestor)
        return GetCount() > 0;
    if (!Is<TStringListW>(ancestor))
        return true;
    const auto* other = static_cast<const TStringListW*>(ancestor);
    if (other->GetCount() != GetCount())
        return true;
    for (int i = 0; i < GetCount(); ++i)
        if (other->FEntries[size_t(i)].Text != FEntries[size_t(i)].Text)
            return true;
    return false;
}

void TStringListW::ReadStrings(TReader* reader)
{
    try {
        reader->ReadListBegin();
        {
            TUpdateScope<TStringListW> update(this);
            Clear();
            while (!reader->EndOfList())
                AddObject(reader->ReadWideString(), nullptr);
        }
        reader->ReadListEnd();
    } catch (Exception& e) {
        // Said in the error itself rather than in a box of its own while the form loads: the
        // handler that reports the failed load shows one message naming the property.
        e.SetMessage("could not read stringlistw property: " + e.GetMessage());
        throw;
    }
}

void TStringListW::WriteStrings(TWriter* writer) const
{
    writer->WriteListBegin();
    for (const TEntry& e : FEntries)
        writer->WriteWideString(e.Text);
    writer->WriteListEnd();
}

void TStringListW::DefineProperties(TFiler* filer)
{
    TPersistent::DefineProperties(filer);
    filer->DefineProperty(
        "Strings", [this](TReader* reader) { ReadStrings(reader); },
        [this](TWriter* writer) { WriteStrings(writer); }, DiffersFromAncestor(filer->GetAncestor()));
}

std::wstring WideStringOfChar(wchar_t c, int count)
{
    return std::wstring(size_t(std::max(count, 0)), c);
}
