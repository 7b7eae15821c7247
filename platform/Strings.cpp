#include "platform/Strings.h"

#include <algorithm>
#include <memory>
#include <utility>

#include "platform/ScopeGuards.h"
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
    TUpdateScope update(this);
    std::string s = Get(index1);
    TObject* object = GetObject(index1);
    Put(index1, Get(index2));
    PutObject(index1, GetObject(index2));
    Put(index2, s);
    PutObject(index2, object);
}

void TStrings::Move(int curIndex, int newIndex)
{
    if (curIndex == newIndex)
        return;
    TUpdateScope update(this);
    std::string s = Get(curIndex);
    TObject* object = GetObject(curIndex);
    Delete(curIndex);
    InsertObject(newIndex, s, object);
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
    TUpdateScope update(this);
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
    TUpdateScope update(this);
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
    TUpdateScope update(this);
    Clear();
    FDelimiter = strings->FDelimiter;
    FQuoteChar = strings->FQuoteChar;
    FNameValueSeparator = strings->FNameValueSeparator;
    AddStrings(strings);
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
    TUpdateScope update(this);
    for (auto& [s, object] : lines)
        AddObject(s, object);
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

// ---- TStringList and the wide lists built the same way ----

int CompareListStrings(const std::string& a, const std::string& b, bool caseSensitive)
{
    return caseSensitive ? AnsiCompareStr(a, b) : AnsiCompareText(a, b);
}

int CompareListStrings(const std::wstring& a, const std::wstring& b, bool caseSensitive)
{
    return caseSensitive ? WideCompareStr(a, b) : WideCompareText(a, b);
}
