#include "platform/Strings.h"

#include <algorithm>
#include <memory>
#include <utility>

#include "platform/Streams.h"
#include "platform/SysUtils.h"

SF_IMPLEMENT_ABSTRACT(TStrings, TPersistent)
SF_IMPLEMENT_CLASS(TStringList, TStrings)

// ---- TStrings ----

void TStrings::Error(const char* fmt, int index) const
{
    throw EStringListError(Format(fmt, index));
}

void TStrings::Put(int index, const std::string& s)
{
    TObject* object = GetObject(index);
    Delete(index);
    InsertObject(index, s, object);
}

TObject* TStrings::GetObject(int) const
{
    return nullptr;
}

void TStrings::PutObject(int, TObject*)
{
}

int TStrings::Add(const std::string& s)
{
    int index = GetCount();
    Insert(index, s);
    return index;
}

int TStrings::AddObject(const std::string& s, TObject* object)
{
    int index = Add(s);
    PutObject(index, object);
    return index;
}

void TStrings::InsertObject(int index, const std::string& s, TObject* object)
{
    Insert(index, s);
    PutObject(index, object);
}

void TStrings::Exchange(int index1, int index2)
{
    BeginUpdate();
    try {
        std::string s = Get(index1);
        TObject* object = GetObject(index1);
        Put(index1, Get(index2));
        PutObject(index1, GetObject(index2));
        Put(index2, s);
        PutObject(index2, object);
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

void TStrings::Move(int curIndex, int newIndex)
{
    if (curIndex == newIndex)
        return;
    BeginUpdate();
    try {
        std::string s = Get(curIndex);
        TObject* object = GetObject(curIndex);
        Delete(curIndex);
        InsertObject(newIndex, s, object);
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

int TStrings::IndexOf(const std::string& s) const
{
    for (int i = 0, n = GetCount(); i < n; ++i)
        if (CompareStrings(Get(i), s) == 0)
            return i;
    return -1;
}

int TStrings::IndexOfName(const std::string& name) const
{
    for (int i = 0, n = GetCount(); i < n; ++i) {
        std::string line = Get(i);
        size_t sep = line.find(FNameValueSeparator);
        if (sep != std::string::npos && CompareStrings(line.substr(0, sep), name) == 0)
            return i;
    }
    return -1;
}

int TStrings::IndexOfObject(TObject* object) const
{
    for (int i = 0, n = GetCount(); i < n; ++i)
        if (GetObject(i) == object)
            return i;
    return -1;
}

std::string TStrings::GetText() const
{
    std::string text;
    for (int i = 0, n = GetCount(); i < n; ++i) {
        text += Get(i);
        text += "\r\n";
    }
    return text;
}

void TStrings::SetText(const std::string& text)
{
    BeginUpdate();
    try {
        Clear();
        size_t pos = 0;
        const size_t n = text.size();
        while (pos < n) {
            size_t end = text.find_first_of("\r\n", pos);
            if (end == std::string::npos)
                end = n;
            Add(text.substr(pos, end - pos));
            pos = end;
            if (pos < n && text[pos] == '\r')
                ++pos;
            if (pos < n && text[pos] == '\n')
                ++pos;
        }
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

std::string TStrings::GetCommaText() const
{
    return JoinDelimited(',', '"');
}

void TStrings::SetCommaText(const std::string& text)
{
    SplitDelimited(text, ',', '"');
}

std::string TStrings::GetDelimitedText() const
{
    return JoinDelimited(FDelimiter, FQuoteChar);
}

void TStrings::SetDelimitedText(const std::string& text)
{
    SplitDelimited(text, FDelimiter, FQuoteChar);
}

namespace {
std::string QuotedStr(const std::string& s, char quote)
{
    std::string result(1, quote);
    for (char c : s) {
        result += c;
        if (c == quote)
            result += quote;
    }
    result += quote;
    return result;
}

bool IsBlankOrControl(char c)
{
    return c != 0 && static_cast<unsigned char>(c) <= ' ';
}
}

std::string TStrings::JoinDelimited(char delimiter, char quote) const
{
    const int n = GetCount();
    if (n == 1 && Get(0).empty())
        return std::string(2, quote);
    std::string text;
    for (int i = 0; i < n; ++i) {
        std::string s = Get(i);
        bool needsQuotes = std::any_of(s.begin(), s.end(), [=](char c) {
            return static_cast<unsigned char>(c) <= ' ' || c == quote || c == delimiter;
        });
        if (i > 0)
            text += delimiter;
        text += needsQuotes ? QuotedStr(s, quote) : s;
    }
    return text;
}

void TStrings::SplitDelimited(const std::string& text, char delimiter, char quote)
{
    BeginUpdate();
    try {
        Clear();
        size_t p = 0;
        const size_t n = text.size();
        while (p < n && IsBlankOrControl(text[p]))
            ++p;
        while (p < n) {
            std::string item;
            if (text[p] == quote) {
                // A quoted item: a doubled quote stands for one; an unclosed one runs to the end.
                ++p;
                while (p < n) {
                    if (text[p] == quote) {
                        if (p + 1 < n && text[p + 1] == quote) {
                            item += quote;
                            p += 2;
                            continue;
                        }
                        ++p;
                        break;
                    }
                    item += text[p++];
                }
            } else {
                size_t start = p;
                while (p < n && static_cast<unsigned char>(text[p]) > ' ' && text[p] != delimiter)
                    ++p;
                item = text.substr(start, p - start);
            }
            Add(item);
            while (p < n && IsBlankOrControl(text[p]))
                ++p;
            if (p < n && text[p] == delimiter) {
                // A delimiter at the very end stands for a last, empty item.
                if (p + 1 == n)
                    Add(std::string());
                do
                    ++p;
                while (p < n && IsBlankOrControl(text[p]));
            }
        }
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

std::string TStrings::GetName(int index) const
{
    std::string line = Get(index);
    size_t sep = line.find(FNameValueSeparator);
    return sep == std::string::npos ? std::string() : line.substr(0, sep);
}

std::string TStrings::GetValue(const std::string& name) const
{
    int index = IndexOfName(name);
    return index < 0 ? std::string() : GetValueFromIndex(index);
}

void TStrings::SetValue(const std::string& name, const std::string& value)
{
    int index = IndexOfName(name);
    if (!value.empty()) {
        if (index < 0)
            index = Add(std::string());
        Put(index, name + FNameValueSeparator + value);
    } else if (index >= 0) {
        Delete(index);
    }
}

std::string TStrings::GetValueFromIndex(int index) const
{
    std::string line = Get(index);
    size_t sep = line.find(FNameValueSeparator);
    return sep == std::string::npos ? std::string() : line.substr(sep + 1);
}

void TStrings::SetValueFromIndex(int index, const std::string& value)
{
    if (!value.empty()) {
        if (index < 0)
            index = Add(std::string());
        Put(index, GetName(index) + FNameValueSeparator + value);
    } else if (index >= 0) {
        Delete(index);
    }
}

void TStrings::BeginUpdate()
{
    if (FUpdateCount == 0)
        SetUpdateState(true);
    ++FUpdateCount;
}

void TStrings::EndUpdate()
{
    if (FUpdateCount > 0 && --FUpdateCount == 0)
        SetUpdateState(false);
}

void TStrings::SetUpdateState(bool)
{
}

int TStrings::CompareStrings(const std::string& s1, const std::string& s2) const
{
    return AnsiCompareText(s1, s2);
}

void TStrings::Assign(TPersistent* source)
{
    auto* strings = dynamic_cast<TStrings*>(source);
    if (!strings) {
        TPersistent::Assign(source);
        return;
    }
    if (strings == this)
        return;
    BeginUpdate();
    try {
        Clear();
        FDelimiter = strings->FDelimiter;
        FQuoteChar = strings->FQuoteChar;
        FNameValueSeparator = strings->FNameValueSeparator;
        AddStrings(strings);
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

void TStrings::AddStrings(const TStrings* strings)
{
    if (!strings)
        return;
    // Read everything first: the source may be this very list.
    const int n = strings->GetCount();
    std::vector<std::pair<std::string, TObject*>> lines;
    lines.reserve(n);
    for (int i = 0; i < n; ++i)
        lines.emplace_back(strings->Get(i), strings->GetObject(i));
    BeginUpdate();
    try {
        for (auto& [s, object] : lines)
            AddObject(s, object);
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

bool TStrings::Equals(const TStrings* strings) const
{
    if (!strings)
        return false;
    const int n = GetCount();
    if (n != strings->GetCount())
        return false;
    for (int i = 0; i < n; ++i)
        if (Get(i) != strings->Get(i))
            return false;
    return true;
}

void TStrings::LoadFromStream(TStream* stream)
{
    int64_t size = stream->GetSize() - stream->GetPosition();
    if (size > 0x7FFFFFFF)
        throw EStreamError("Stream too large to load as text");
    std::string text(size > 0 ? static_cast<size_t>(size) : 0, '\0');
    if (!text.empty())
        stream->ReadBuffer(text.data(), static_cast<int32_t>(text.size()));
    SetText(text);
}

void TStrings::SaveToStream(TStream* stream) const
{
    std::string text = GetText();
    if (!text.empty())
        stream->WriteBuffer(text.data(), static_cast<int32_t>(text.size()));
}

void TStrings::LoadFromFile(const std::string& fileName)
{
    std::unique_ptr<TFileStream, TObjectFree> stream(New<TFileStream>(fileName, fmOpenRead | fmShareDenyWrite));
    LoadFromStream(stream.get());
}

void TStrings::SaveToFile(const std::string& fileName) const
{
    std::unique_ptr<TFileStream, TObjectFree> stream(New<TFileStream>(fileName, fmCreate));
    SaveToStream(stream.get());
}

// ---- TStringList ----

namespace {
int StringListCompareStrings(TStringList* list, int index1, int index2)
{
    return list->CompareStrings(list->Get(index1), list->Get(index2));
}
}

TStringList::~TStringList()
{
    FOnChange = nullptr;
    FOnChanging = nullptr;
    if (FOwnsObjects)
        for (TStringItem& item : FItems)
            if (TObject* object = std::exchange(item.Object, nullptr))
                object->Free();
}

void TStringList::CheckIndex(int index) const
{
    if (index < 0 || index >= GetCount())
        Error("List index out of bounds (%d)", index);
}

void TStringList::CheckNotSorted() const
{
    if (FSorted)
        throw EStringListError("Operation not allowed on sorted list");
}

void TStringList::Changed()
{
    if (GetUpdateCount() == 0 && FOnChange)
        FOnChange(this);
}

void TStringList::Changing()
{
    if (GetUpdateCount() == 0 && FOnChanging)
        FOnChanging(this);
}

void TStringList::SetUpdateState(bool updating)
{
    if (updating)
        Changing();
    else
        Changed();
}

std::string TStringList::Get(int index) const
{
    CheckIndex(index);
    return FItems[index].String;
}

void TStringList::Put(int index, const std::string& s)
{
    CheckNotSorted();
    CheckIndex(index);
    Changing();
    FItems[index].String = s;
    Changed();
}

TObject* TStringList::GetObject(int index) const
{
    CheckIndex(index);
    return FItems[index].Object;
}

void TStringList::PutObject(int index, TObject* object)
{
    CheckIndex(index);
    Changing();
    FItems[index].Object = object;
    Changed();
}

int TStringList::Add(const std::string& s)
{
    return AddObject(s, nullptr);
}

int TStringList::AddObject(const std::string& s, TObject* object)
{
    int index = GetCount();
    if (FSorted && Find(s, index)) {
        if (FDuplicates == dupIgnore)
            return index;
        if (FDuplicates == dupError)
            throw EStringListError("String list does not allow duplicates");
    }
    InsertItem(index, s, object);
    return index;
}

void TStringList::Insert(int index, const std::string& s)
{
    InsertObject(index, s, nullptr);
}

void TStringList::InsertObject(int index, const std::string& s, TObject* object)
{
    CheckNotSorted();
    if (index < 0 || index > GetCount())
        Error("List index out of bounds (%d)", index);
    InsertItem(index, s, object);
}

void TStringList::InsertItem(int index, const std::string& s, TObject* object)
{
    Changing();
    FItems.insert(FItems.begin() + index, TStringItem{s, object});
    Changed();
}

void TStringList::Delete(int index)
{
    CheckIndex(index);
    Changing();
    TObject* object = FItems[index].Object;
    FItems.erase(FItems.begin() + index);
    if (FOwnsObjects && object)
        object->Free();
    Changed();
}

void TStringList::Clear()
{
    if (FItems.empty())
        return;
    Changing();
    std::vector<TStringItem> items;
    items.swap(FItems);
    if (FOwnsObjects)
        for (TStringItem& item : items)
            if (item.Object)
                item.Object->Free();
    Changed();
}

void TStringList::Exchange(int index1, int index2)
{
    CheckIndex(index1);
    CheckIndex(index2);
    Changing();
    std::swap(FItems[index1], FItems[index2]);
    Changed();
}

void TStringList::Move(int curIndex, int newIndex)
{
    if (curIndex == newIndex)
        return;
    CheckNotSorted();
    CheckIndex(curIndex);
    CheckIndex(newIndex);
    Changing();
    auto first = FItems.begin();
    if (curIndex < newIndex)
        std::rotate(first + curIndex, first + curIndex + 1, first + newIndex + 1);
    else
        std::rotate(first + newIndex, first + curIndex, first + curIndex + 1);
    Changed();
}

int TStringList::IndexOf(const std::string& s) const
{
    if (!FSorted)
        return TStrings::IndexOf(s);
    int index = -1;
    return Find(s, index) ? index : -1;
}

bool TStringList::Find(const std::string& s, int& index) const
{
    bool found = false;
    int low = 0;
    int high = GetCount() - 1;
    while (low <= high) {
        int mid = low + (high - low) / 2;
        int c = CompareStrings(FItems[mid].String, s);
        if (c < 0) {
            low = mid + 1;
        } else {
            high = mid - 1;
            if (c == 0)
                found = true;
        }
    }
    index = low;
    return found;
}

void TStringList::Sort()
{
    CustomSort(StringListCompareStrings);
}

void TStringList::CustomSort(TStringListSortCompare compare)
{
    if (FSorted || GetCount() <= 1)
        return;
    Changing();
    QuickSort(0, GetCount() - 1, compare);
    Changed();
}

void TStringList::QuickSort(int left, int right, TStringListSortCompare compare)
{
    // The pivot is tracked by index as items move, since compare reads the list itself.
    int i;
    do {
        i = left;
        int j = right;
        int pivot = left + (right - left) / 2;
        do {
            while (i < right && compare(this, i, pivot) < 0)
                ++i;
            while (j > left && compare(this, j, pivot) > 0)
                --j;
            if (i <= j) {
                if (i != j)
                    std::swap(FItems[i], FItems[j]);
                if (pivot == i)
                    pivot = j;
                else if (pivot == j)
                    pivot = i;
                ++i;
                --j;
            }
        } while (i <= j);
        if (left < j)
            QuickSort(left, j, compare);
        left = i;
    } while (i < right);
}

void TStringList::SetSorted(bool value)
{
    if (FSorted == value)
        return;
    if (value)
        Sort();
    FSorted = value;
}

void TStringList::SetCaseSensitive(bool value)
{
    if (FCaseSensitive == value)
        return;
    FCaseSensitive = value;
    if (FSorted) {
        FSorted = false;
        Sort();
        FSorted = true;
    }
}

int TStringList::CompareStrings(const std::string& s1, const std::string& s2) const
{
    return FCaseSensitive ? AnsiCompareStr(s1, s2) : AnsiCompareText(s1, s2);
}
