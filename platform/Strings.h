// Lists of 8-bit strings with an object per line: the abstract TStrings (text, comma and
// delimited forms, name=value lines, loading and saving) and the concrete TStringList.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "platform/Persistent.h"

// wingdi.h maps GetObject to GetObjectA, which would rename the lists' object accessors; the
// GDI call stays reachable under its plain name outside classes that have their own GetObject.
#undef GetObject
inline int GetObject(HANDLE handle, int size, void* buffer)
{
    return GetObjectA(handle, size, buffer);
}

// After the renaming is undone: the lists name their accessor GetObject too.
#include "platform/StringListOf.h"

class TStream;

class TStrings : public TPersistent {
    SF_CLASS(TStrings)
public:
    // ---- What a concrete list provides ----
    virtual std::string Get(int index) const = 0;
    // Replaces the string, keeping the object (base: Delete then InsertObject).
    virtual void Put(int index, const std::string& s);
    virtual TObject* GetObject(int index) const;
    virtual void PutObject(int index, TObject* object);
    virtual int GetCount() const = 0;
    int Count() const { return GetCount(); }

    virtual int Add(const std::string& s);
    virtual int AddObject(const std::string& s, TObject* object);
    virtual void Insert(int index, const std::string& s) = 0;
    virtual void InsertObject(int index, const std::string& s, TObject* object);
    virtual void Delete(int index) = 0;
    virtual void Clear() = 0;
    virtual void Exchange(int index1, int index2);
    virtual void Move(int curIndex, int newIndex);
    // First line equal to s under CompareStrings, or -1.
    virtual int IndexOf(const std::string& s) const;
    // First line whose name (text before the separator) equals name under CompareStrings, or -1.
    virtual int IndexOfName(const std::string& name) const;
    int IndexOfObject(TObject* object) const;

    // ---- Whole-list forms ----
    // Every line followed by CRLF.
    virtual std::string GetText() const;
    // Lines end at CR, LF or CRLF; a final line break adds no empty line.
    virtual void SetText(const std::string& text);
    // Lines joined by ',', quoted with '"' when they hold blanks, control characters, commas or
    // quotes; a list of one empty line is "\"\"".
    std::string GetCommaText() const;
    // Items are separated by ',' or blanks outside quotes; "" inside quotes is one quote.
    void SetCommaText(const std::string& text);
    // The same with Delimiter and QuoteChar.
    std::string GetDelimitedText() const;
    void SetDelimitedText(const std::string& text);
    char GetDelimiter() const { return FDelimiter; }
    void SetDelimiter(char c) { FDelimiter = c; }
    char GetQuoteChar() const { return FQuoteChar; }
    void SetQuoteChar(char c) { FQuoteChar = c; }

    // ---- name=value lines ----
    char GetNameValueSeparator() const { return FNameValueSeparator; }
    void SetNameValueSeparator(char c) { FNameValueSeparator = c; }
    // The text before the first separator; "" for a line without one.
    std::string GetName(int index) const;
    // The value of the first line with the name; "" when there is none.
    std::string GetValue(const std::string& name) const;
    // Replaces (or appends) the line; an empty value deletes the line instead.
    void SetValue(const std::string& name, const std::string& value);
    // The text after the first separator; "" for a line without one.
    std::string GetValueFromIndex(int index) const;
    void SetValueFromIndex(int index, const std::string& value);

    // ---- Bulk operations ----
    // Nested; the outermost pair tells the list through SetUpdateState.
    void BeginUpdate();
    void EndUpdate();
    // Copies lines, objects, delimiters and the separator of another TStrings.
    void Assign(TPersistent* source) override;
    void AddStrings(const TStrings* strings);
    // Same count and the same strings, case included.
    bool Equals(const TStrings* strings) const;

    // 8-bit text: lines as by SetText / GetText.
    virtual void LoadFromStream(TStream* stream);
    virtual void SaveToStream(TStream* stream) const;
    void LoadFromFile(const std::string& fileName);
    void SaveToFile(const std::string& fileName) const;

protected:
    // Called with true when the first BeginUpdate opens an update, false when the last closes it.
    virtual void SetUpdateState(bool updating);
    int GetUpdateCount() const { return FUpdateCount; }
    // How lines compare for IndexOf and IndexOfName (base: linguistic, ignoring case).
    virtual int CompareStrings(const std::string& s1, const std::string& s2) const;
    [[noreturn]] void Error(const char* fmt, int index) const;

private:
    std::string JoinDelimited(char delimiter, char quote) const;
    void SplitDelimited(const std::string& text, char delimiter, char quote);

    int FUpdateCount = 0;
    char FDelimiter = ',';
    char FQuoteChar = '"';
    char FNameValueSeparator = '=';
};

class TStringList;
// Compares the lines at two indexes of the list, as a sort needs.
using TStringListSortCompare = int (*)(TStringList* list, int index1, int index2);

// A string list held in memory, optionally kept sorted (then Find is a binary search).
class TStringList : public TStringListOf<TStringList, TStrings, std::string> {
    SF_CLASS(TStringList)
public:
    TStringList() = default;
};
