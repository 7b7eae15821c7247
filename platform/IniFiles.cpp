#include "platform/IniFiles.h"

#include <vector>

#include "platform/SysUtils.h"

SF_IMPLEMENT_ABSTRACT(TCustomIniFile, TObject)
SF_IMPLEMENT_ABSTRACT(TIniFile, TCustomIniFile)
SF_IMPLEMENT_ABSTRACT(TMemIniFile, TCustomIniFile)

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
    strings->BeginUpdate();
    try {
        fill();
    } catch (...) {
        strings->EndUpdate();
        throw;
    }
    strings->EndUpdate();
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

void TIniFile::ReadSectionValues(const std::string& section, TStrings* strings)
{
    TStringList keys;
    ReadSection(section, &keys);
    UpdateStrings(strings, [&] {
        strings->Clear();
        for (int i = 0; i < keys.Count(); ++i)
            strings->Add(keys.Get(i) + "=" + ReadString(section, keys.Get(i), std::string()));
    });
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

TMemIniFile::TMemIniFile(const std::string& fileName) : TCustomIniFile(fileName), FSections(new TStringList)
{
    FSections->SetOwnsObjects(true);
    LoadValues();
}

TMemIniFile::~TMemIniFile() = default;

TStringList* TMemIniFile::FindSection(const std::string& section) const
{
    int index = FSections->IndexOf(section);
    return index < 0 ? nullptr : static_cast<TStringList*>(FSections->GetObject(index));
}

TStringList* TMemIniFile::AddSection(const std::string& section)
{
    std::unique_ptr<TStringList, TObjectFree> lines(new TStringList);
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
    TStringList* lines = FindSection(section);
    if (!lines)
        return defaultValue;
    int index = lines->IndexOfName(ident);
    return index < 0 ? defaultValue : lines->GetValueFromIndex(index);
}

void TMemIniFile::WriteString(const std::string& section, const std::string& ident, const std::string& value)
{
    TStringList* lines = FindSection(section);
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
        if (TStringList* lines = FindSection(section))
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
        if (TStringList* lines = FindSection(section))
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
    TStringList* lines = FindSection(section);
    if (!lines)
        return;
    int index = lines->IndexOfName(ident);
    if (index >= 0)
        lines->Delete(index);
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
    TStringList* lines = nullptr;
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
