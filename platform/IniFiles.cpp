#include "platform/IniFiles.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "platform/ScopeGuards.h"
#include "platform/SysUtils.h"

SF_IMPLEMENT_ABSTRACT(TCustomIniFile, TObject)
SF_IMPLEMENT_ABSTRACT(TIniFile, TCustomIniFile)
SF_IMPLEMENT_ABSTRACT(TMemIniFile, TCustomIniFile)
SF_IMPLEMENT_CLASS(THashedStringList, TStringList)

// ---- THashedStringList ----

namespace {

// The key of a line of printable ASCII, upper-cased; false for any other line. Two such lines are
// equal under the linguistic comparison, with or without case, only when their keys are equal,
// so a search looks at the lines under its key and needs to compare nothing else.
bool HashKey(const std::string& s, size_t length, std::string& key)
{
    key.resize(length);
    for (size_t i = 0; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c < 0x20 || c > 0x7E)
            return false;
        key[i] = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    }
    return true;
}

// Lines by key in ascending order of index, and the lines that have no key, in ascending order.
struct TKeyIndex {
    std::unordered_map<std::string, std::vector<int>> Keyed;
    std::vector<int> Unkeyed;

    void Add(const std::string& text, size_t length, int index, std::string& key)
    {
        if (HashKey(text, length, key))
            Keyed[key].push_back(index);
        else
            Unkeyed.push_back(index);
    }
    void Remove(const std::string& text, size_t length, int index, std::string& key)
    {
        std::vector<int>& list = HashKey(text, length, key) ? Keyed[key] : Unkeyed;
        list.erase(std::find(list.begin(), list.end(), index));
    }
    void Insert(const std::string& text, size_t length, int index, std::string& key)
    {
        std::vector<int>& list = HashKey(text, length, key) ? Keyed[key] : Unkeyed;
        list.insert(std::lower_bound(list.begin(), list.end(), index), index);
    }
    // The first index among the candidates for which matches holds, or -1.
    template <class Matches>
    int Find(const std::string& key, bool keyed, Matches matches) const
    {
        int found = -1;
        if (keyed) {
            if (auto it = Keyed.find(key); it != Keyed.end())
                for (int i : it->second)
                    if (matches(i)) {
                        found = i;
                        break;
                    }
        }
        for (int i : Unkeyed) {
            if (found >= 0 && i > found)
                break;
            if (matches(i))
                return i;
        }
        return found;
    }
};

} // namespace

struct THashedStringList::TIndex {
    TKeyIndex Lines;
    TKeyIndex Names;
    int Indexed = 0;  // lines 0 .. Indexed - 1 are in the index
    char Separator = '=';
    std::string Key;  // scratch

    void Add(const std::string& line, int index)
    {
        Lines.Add(line, line.size(), index, Key);
        if (size_t sep = line.find(Separator); sep != std::string::npos)
            Names.Add(line, sep, index, Key);
    }
};

THashedStringList::THashedStringList() = default;
THashedStringList::~THashedStringList() = default;

void THashedStringList::Invalidate() const
{
    FIndex.reset();
}

const THashedStringList::TIndex& THashedStringList::Index() const
{
    if (FIndex && FIndex->Separator != GetNameValueSeparator())
        FIndex.reset();
    if (!FIndex) {
        FIndex = std::make_unique<TIndex>();
        FIndex->Separator = GetNameValueSeparator();
    }
    for (int n = GetCount(); FIndex->Indexed < n; ++FIndex->Indexed)
        FIndex->Add(Get(FIndex->Indexed), FIndex->Indexed);
    return *FIndex;
}

namespace {

// How a line stands to a search key: another key, the same key, or no key (compared as it is).
enum class TKeyMatch { Other, Same, Unkeyed };

TKeyMatch MatchKey(const std::string& text, size_t length, const std::string& key)
{
    bool same = length == key.size();
    for (size_t i = 0; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c > 0x7E)
            return TKeyMatch::Unkeyed;
        same = same && static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c) == key[i];
    }
    return same ? TKeyMatch::Same : TKeyMatch::Other;
}

// Lists this short are searched line by line: an index would cost more than it saves.
constexpr int SmallList = 8;

} // namespace

bool THashedStringList::Equal(const std::string& a, const std::string& b) const
{
    // Identical text is equal however the list compares; only the rest asks the system.
    return a == b || CompareStrings(a, b) == 0;
}

int THashedStringList::IndexOf(const std::string& s) const
{
    std::string key;
    if (GetSorted() || !HashKey(s, s.size(), key))
        return TStringList::IndexOf(s);
    if (GetCount() <= SmallList) {
        for (int i = 0; i < GetCount(); ++i) {
            const std::string line = Get(i);
            if (MatchKey(line, line.size(), key) != TKeyMatch::Other && Equal(line, s))
                return i;
        }
        return -1;
    }
    return Index().Lines.Find(key, true, [&](int i) { return Equal(Get(i), s); });
}

int THashedStringList::IndexOfName(const std::string& name) const
{
    std::string key;
    if (!HashKey(name, name.size(), key))
        return TStringList::IndexOfName(name);
    const char separator = GetNameValueSeparator();
    auto matches = [&](const std::string& line) {
        const size_t sep = line.find(separator);
        return sep != std::string::npos && MatchKey(line, sep, key) != TKeyMatch::Other &&
               Equal(line.substr(0, sep), name);
    };
    if (GetCount() <= SmallList) {
        for (int i = 0; i < GetCount(); ++i)
            if (matches(Get(i)))
                return i;
        return -1;
    }
    return Index().Names.Find(key, true, [&](int i) { return matches(Get(i)); });
}

void THashedStringList::Put(int index, const std::string& s)
{
    const bool indexed = FIndex && index >= 0 && index < FIndex->Indexed && FIndex->Separator == GetNameValueSeparator();
    const std::string old = indexed ? Get(index) : std::string();
    TStringList::Put(index, s);
    if (!indexed)
        return Invalidate();
    TIndex& x = *FIndex;
    x.Lines.Remove(old, old.size(), index, x.Key);
    x.Lines.Insert(s, s.size(), index, x.Key);
    if (size_t sep = old.find(x.Separator); sep != std::string::npos)
        x.Names.Remove(old, sep, index, x.Key);
    if (size_t sep = s.find(x.Separator); sep != std::string::npos)
        x.Names.Insert(s, sep, index, x.Key);
}

int THashedStringList::AddObject(const std::string& s, TObject* object)
{
    const int count = GetCount();
    const int index = TStringList::AddObject(s, object);
    // A line added at the end joins the index at the next search; a sorted list puts it elsewhere.
    if (GetCount() != count && index != count)
        Invalidate();
    return index;
}

void THashedStringList::InsertObject(int index, const std::string& s, TObject* object)
{
    TStringList::InsertObject(index, s, object);
    if (index != GetCount() - 1)
        Invalidate();
}

void THashedStringList::Delete(int index)
{
    TStringList::Delete(index);
    Invalidate();
}

void THashedStringList::Clear()
{
    TStringList::Clear();
    Invalidate();
}

void THashedStringList::Exchange(int index1, int index2)
{
    TStringList::Exchange(index1, index2);
    Invalidate();
}

void THashedStringList::Move(int curIndex, int newIndex)
{
    TStringList::Move(curIndex, newIndex);
    Invalidate();
}

void THashedStringList::CustomSort(TStringListSortCompare compare)
{
    TStringList::CustomSort(compare);
    Invalidate();
}

// ---- TCustomIniFile ----

int TCustomIniFile::ReadInteger(const std::string& section, const std::string& ident, int defaultValue)
{
    return StrToIntDef(ReadString(section, ident, std::string()), defaultValue);
}

void TCustomIniFile::WriteInteger(const std::string& section, const std::string& ident, int value)
{
    WriteString(section, ident, IntToStr(value));
}

bool TCustomIniFile::ReadBool(const std::string& section, const std::string& ident, bool defaultValue)
{
    return ReadInteger(section, ident, defaultValue ? 1 : 0) != 0;
}

void TCustomIniFile::WriteBool(const std::string& section, const std::string& ident, bool value)
{
    WriteString(section, ident, value ? "1" : "0");
}

bool TCustomIniFile::SectionExists(const std::string& section)
{
    TStringList keys;
    ReadSection(section, &keys);
    return keys.Count() > 0;
}

bool TCustomIniFile::ValueExists(const std::string& section, const std::string& ident)
{
    TStringList keys;
    ReadSection(section, &keys);
    return keys.IndexOf(ident) >= 0;
}

// ---- TIniFile ----

namespace {
// Calls a profile read that fills a buffer and reports truncation by returning
// size - truncatedMargin, growing the buffer until the whole answer fits.
template <class Read>
std::vector<char> ReadProfileBuffer(DWORD truncatedMargin, Read read)
{
    std::vector<char> buffer(2048);
    for (;;) {
        DWORD size = static_cast<DWORD>(buffer.size());
        DWORD len = read(buffer.data(), size);
        if (len + truncatedMargin < size || size >= (64u << 20)) {
            buffer.resize(std::min<DWORD>(len + 2, size));
            buffer.push_back('\0');
            buffer.push_back('\0');
            return buffer;
        }
        buffer.resize(size * 4);
    }
}

// Runs fill between BeginUpdate and EndUpdate, so the list reports one change.
template <class Fill>
void UpdateStrings(TStrings* strings, Fill fill)
{
    TUpdateScope update(strings);
    fill();
}

// Replaces the list's content by a list of NUL-terminated strings ending with an empty one.
void AssignNulSeparated(const std::vector<char>& buffer, TStrings* strings)
{
    UpdateStrings(strings, [&] {
        strings->Clear();
        const char* p = buffer.data();
        while (*p) {
            std::string item(p);
            strings->Add(item);
            p += item.size() + 1;
        }
    });
}
}

TIniFile::TIniFile(const std::string& fileName) : TCustomIniFile(ExpandFileName(fileName))
{
}

TIniFile::~TIniFile()
{
    UpdateFile();
}

std::string TIniFile::ReadString(const std::string& section, const std::string& ident,
                                 const std::string& defaultValue)
{
    // The system strips trailing blanks from a default, so a missing key is told apart by
    // sentinels and the caller's default is returned untouched.
    auto read = [&](const char* fallback) {
        std::vector<char> buffer = ReadProfileBuffer(1, [&](char* data, DWORD size) {
            return GetPrivateProfileStringA(section.c_str(), ident.c_str(), fallback, data, size, FFileName.c_str());
        });
        return std::string(buffer.data());
    };
    std::string value = read("\x01");
    if (value == "\x01" && read("\x02") == "\x02")
        return defaultValue;
    return value;
}

void TIniFile::WriteString(const std::string& section, const std::string& ident, const std::string& value)
{
    if (!WritePrivateProfileStringA(section.c_str(), ident.c_str(), value.c_str(), FFileName.c_str()))
        throw EIniFileException(Format("Unable to write to %s", FFileName.c_str()));
}

void TIniFile::ReadSection(const std::string& section, TStrings* strings)
{
    std::vector<char> buffer = ReadProfileBuffer(2, [&](char* data, DWORD size) {
        return GetPrivateProfileStringA(section.c_str(), nullptr, nullptr, data, size, FFileName.c_str());
    });
    AssignNulSeparated(buffer, strings);
}

void TIniFile::ReadSections(TStrings* strings)
{
    std::vector<char> buffer = ReadProfileBuffer(2, [&](char* data, DWORD size) {
        return GetPrivateProfileSectionNamesA(data, size, FFileName.c_str());
    });
    AssignNulSeparated(buffer, strings);
}

namespace {
// A value as the profile read of its key gives it: without the quotes around it.
std::string Unquoted(const std::string& value)
{
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
        return value.substr(1, value.size() - 2);
    return value;
}
}

void TIniFile::ReadSectionValues(const std::string& section, TStrings* strings)
{
    // One call for the whole section. It gives each line as it stands: lines without a key are
    // left out, values lose their quotes, and a key that repeats reads as its first line, as the
    // profile read of that key does.
    std::vector<char> buffer = ReadProfileBuffer(2, [&](char* data, DWORD size) {
        return GetPrivateProfileSectionA(section.c_str(), data, size, FFileName.c_str());
    });
    std::unordered_map<std::string, std::string> firstValues;
    TUpdateScope<TStrings> update(strings);
    strings->Clear();
    for (const char* p = buffer.data(); *p; p += std::strlen(p) + 1) {
        const std::string line(p);
        const size_t sep = line.find('=');
        if (sep == std::string::npos || sep == 0)
            continue;
        const std::string name = line.substr(0, sep);
        const auto first = firstValues.emplace(AnsiUpperCase(name), Unquoted(line.substr(sep + 1))).first;
        strings->Add(name + "=" + first->second);
    }
}

void TIniFile::EraseSection(const std::string& section)
{
    if (!WritePrivateProfileStringA(section.c_str(), nullptr, nullptr, FFileName.c_str()))
        throw EIniFileException(Format("Unable to write to %s", FFileName.c_str()));
}

void TIniFile::DeleteKey(const std::string& section, const std::string& ident)
{
    WritePrivateProfileStringA(section.c_str(), ident.c_str(), nullptr, FFileName.c_str());
}

void TIniFile::UpdateFile()
{
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, FFileName.c_str());
}

// ---- TMemIniFile ----

TMemIniFile::TMemIniFile(const std::string& fileName) : TCustomIniFile(fileName), FSections(new THashedStringList)
{
    FSections->SetOwnsObjects(true);
    LoadValues();
}

TMemIniFile::~TMemIniFile() = default;

THashedStringList* TMemIniFile::FindSection(const std::string& section) const
{
    int index = FSections->IndexOf(section);
    return index < 0 ? nullptr : static_cast<THashedStringList*>(FSections->GetObject(index));
}

THashedStringList* TMemIniFile::AddSection(const std::string& section)
{
    std::unique_ptr<THashedStringList, TObjectFree> lines(new THashedStringList);
    FSections->AddObject(section, lines.get());
    return lines.release();
}

void TMemIniFile::LoadValues()
{
    if (FFileName.empty() || !FileExists(FFileName)) {
        Clear();
        return;
    }
    TStringList list;
    list.LoadFromFile(FFileName);
    SetStrings(&list);
}

std::string TMemIniFile::ReadString(const std::string& section, const std::string& ident,
                                    const std::string& defaultValue)
{
    THashedStringList* lines = FindSection(section);
    if (!lines)
        return defaultValue;
    int index = lines->IndexOfName(ident);
    return index < 0 ? defaultValue : lines->GetValueFromIndex(index);
}

void TMemIniFile::WriteString(const std::string& section, const std::string& ident, const std::string& value)
{
    THashedStringList* lines = FindSection(section);
    if (!lines)
        lines = AddSection(section);
    std::string line = ident + "=" + value;
    int index = lines->IndexOfName(ident);
    if (index >= 0)
        lines->Put(index, line);
    else
        lines->Add(line);
}

void TMemIniFile::ReadSection(const std::string& section, TStrings* strings)
{
    UpdateStrings(strings, [&] {
        strings->Clear();
        if (THashedStringList* lines = FindSection(section))
            for (int i = 0; i < lines->Count(); ++i)
                if (lines->Get(i).find('=') != std::string::npos)
                    strings->Add(lines->GetName(i));
    });
}

void TMemIniFile::ReadSections(TStrings* strings)
{
    UpdateStrings(strings, [&] {
        strings->Clear();
        for (int i = 0; i < FSections->Count(); ++i)
            strings->Add(FSections->Get(i));
    });
}

void TMemIniFile::ReadSectionValues(const std::string& section, TStrings* strings)
{
    UpdateStrings(strings, [&] {
        strings->Clear();
        if (THashedStringList* lines = FindSection(section))
            strings->AddStrings(lines);
    });
}

void TMemIniFile::EraseSection(const std::string& section)
{
    int index = FSections->IndexOf(section);
    if (index >= 0)
        FSections->Delete(index);
}

void TMemIniFile::DeleteKey(const std::string& section, const std::string& ident)
{
    THashedStringList* lines = FindSection(section);
    if (!lines)
        return;
    int index = lines->IndexOfName(ident);
    if (index >= 0)
        lines->Delete(index);
}

bool TMemIniFile::SectionExists(const std::string& section)
{
    THashedStringList* lines = FindSection(section);
    if (!lines)
        return false;
    for (int i = 0; i < lines->Count(); ++i)
        if (lines->Get(i).find('=') != std::string::npos)
            return true;
    return false;
}

bool TMemIniFile::ValueExists(const std::string& section, const std::string& ident)
{
    THashedStringList* lines = FindSection(section);
    return lines && lines->IndexOfName(ident) >= 0;
}

void TMemIniFile::UpdateFile()
{
    TStringList list;
    GetStrings(&list);
    list.SaveToFile(FFileName);
}

void TMemIniFile::Clear()
{
    FSections->Clear();
}

void TMemIniFile::GetStrings(TStrings* list)
{
    UpdateStrings(list, [&] {
        for (int i = 0; i < FSections->Count(); ++i) {
            std::string header(1, '[');
            header += FSections->Get(i);
            header += ']';
            list->Add(header);
            list->AddStrings(static_cast<TStringList*>(FSections->GetObject(i)));
            list->Add(std::string());
        }
    });
}

void TMemIniFile::SetStrings(const TStrings* list)
{
    Clear();
    THashedStringList* lines = nullptr;
    for (int i = 0; i < list->Count(); ++i) {
        std::string s = Trim(list->Get(i));
        if (s.empty() || s[0] == ';')
            continue;
        if (s.size() >= 2 && s[0] == '[' && s.back() == ']') {
            std::string name = Trim(s.substr(1, s.size() - 2));
            lines = FindSection(name);
            if (!lines)
                lines = AddSection(name);
            continue;
        }
        if (!lines)
            continue;
        size_t sep = s.find('=');
        if (sep == std::string::npos)
            lines->Add(s);
        else
            lines->Add(TrimRight(s.substr(0, sep)) + "=" + TrimLeft(s.substr(sep + 1)));
    }
}

void TMemIniFile::Rename(const std::string& fileName, bool reload)
{
    FFileName = fileName;
    if (reload)
        LoadValues();
}
