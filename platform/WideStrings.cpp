#include "platform/WideStrings.h"

#include "platform/ScopeGuards.h"
#include "platform/SysUtils.h"

SF_IMPLEMENT_ABSTRACT(TWideStrings, TPersistent)

void TWideStrings::Error(const char* fmt, int index) const
{
    throw EStringListError(Format(fmt, index));
}

void TWideStrings::Put(int index, const std::wstring& s)
{
    TObject* object = GetObject(index);
    Delete(index);
    InsertObject(index, s, object);
}

TObject* TWideStrings::GetObject(int) const
{
    return nullptr;
}

void TWideStrings::PutObject(int, TObject*)
{
}

int TWideStrings::Add(const std::wstring& s)
{
    int index = GetCount();
    Insert(index, s);
    return index;
}

int TWideStrings::AddObject(const std::wstring& s, TObject* object)
{
    int index = Add(s);
    PutObject(index, object);
    return index;
}

void TWideStrings::InsertObject(int index, const std::wstring& s, TObject* object)
{
    Insert(index, s);
    PutObject(index, object);
}

void TWideStrings::Exchange(int index1, int index2)
{
    TUpdateScope<TWideStrings> update(this);
    std::wstring s = Get(index1);
    TObject* object = GetObject(index1);
    Put(index1, Get(index2));
    PutObject(index1, GetObject(index2));
    Put(index2, s);
    PutObject(index2, object);
}

void TWideStrings::Move(int curIndex, int newIndex)
{
    if (curIndex == newIndex)
        return;
    TUpdateScope<TWideStrings> update(this);
    std::wstring s = Get(curIndex);
    TObject* object = GetObject(curIndex);
    Delete(curIndex);
    InsertObject(newIndex, s, object);
}

int TWideStrings::IndexOf(const std::wstring& s) const
{
    for (int i = 0, n = GetCount(); i < n; ++i)
        if (CompareStrings(Get(i), s) == 0)
            return i;
    return -1;
}

int TWideStrings::IndexOfObject(TObject* object) const
{
    for (int i = 0, n = GetCount(); i < n; ++i)
        if (GetObject(i) == object)
            return i;
    return -1;
}

std::wstring TWideStrings::GetText() const
{
    std::wstring text;
    for (int i = 0, n = GetCount(); i < n; ++i) {
        text += Get(i);
        text += L"\r\n";
    }
    return text;
}

void TWideStrings::SetText(const std::wstring& text)
{
    TUpdateScope<TWideStrings> update(this);
    Clear();
    size_t pos = 0;
    const size_t n = text.size();
    while (pos < n) {
        size_t end = text.find_first_of(L"\r\n", pos);
        if (end == std::wstring::npos)
            end = n;
        Add(text.substr(pos, end - pos));
        pos = end;
        if (pos < n && text[pos] == L'\r')
            ++pos;
        if (pos < n && text[pos] == L'\n')
            ++pos;
    }
}

void TWideStrings::BeginUpdate()
{
    if (FUpdateCount == 0)
        SetUpdateState(true);
    ++FUpdateCount;
}

void TWideStrings::EndUpdate()
{
    if (FUpdateCount > 0 && --FUpdateCount == 0)
        SetUpdateState(false);
}

void TWideStrings::Assign(TPersistent* source)
{
    if (Is<TWideStrings>(source)) {
        TUpdateScope<TWideStrings> update(this);
        Clear();
        AddStrings(static_cast<TWideStrings*>(source));
        return;
    }
    if (Is<TStrings>(source)) {
        auto* strings = static_cast<TStrings*>(source);
        TUpdateScope<TWideStrings> update(this);
        Clear();
        for (int i = 0; i < strings->Count(); ++i)
            AddObject(AnsiToWide(strings->Get(i)), strings->GetObject(i));
        return;
    }
    TPersistent::Assign(source);
}

void TWideStrings::AssignTo(TPersistent* dest)
{
    if (!Is<TStrings>(dest)) {
        TPersistent::AssignTo(dest);
        return;
    }
    auto* strings = static_cast<TStrings*>(dest);
    TUpdateScope<TStrings> update(strings);
    strings->Clear();
    for (int i = 0; i < GetCount(); ++i)
        strings->AddObject(WideToAnsi(Get(i)), GetObject(i));
}

void TWideStrings::AddStrings(const TWideStrings* strings)
{
    TUpdateScope<TWideStrings> update(this);
    for (int i = 0; i < strings->GetCount(); ++i)
        AddObject(strings->Get(i), strings->GetObject(i));
}

bool TWideStrings::Equals(const TWideStrings* strings) const
{
    if (GetCount() != strings->GetCount())
        return false;
    for (int i = 0; i < GetCount(); ++i)
        if (Get(i) != strings->Get(i))
            return false;
    return true;
}

int TWideStrings::CompareStrings(const std::wstring& s1, const std::wstring& s2) const
{
    return WideCompareText(s1, s2);
}
