// Lists of wide (UTF-16) strings with an object per line: the abstract TWideStrings of the
// run-time library, the wide counterpart of TStrings, on which wide string lists are built.
#pragma once

#include <string>

#include "platform/Strings.h"

class TWideStrings : public TPersistent {
    SF_CLASS(TWideStrings)
public:
    // ---- What a concrete list provides ----
    virtual std::wstring Get(int index) const = 0;
    // Replaces the string, keeping the object (base: Delete then InsertObject).
    virtual void Put(int index, const std::wstring& s);
    virtual TObject* GetObject(int index) const;
    virtual void PutObject(int index, TObject* object);
    virtual int GetCount() const = 0;
    int Count() const { return GetCount(); }

    virtual int Add(const std::wstring& s);
    virtual int AddObject(const std::wstring& s, TObject* object);
    virtual void Insert(int index, const std::wstring& s) = 0;
    virtual void InsertObject(int index, const std::wstring& s, TObject* object);
    virtual void Delete(int index) = 0;
    virtual void Clear() = 0;
    virtual void Exchange(int index1, int index2);
    virtual void Move(int curIndex, int newIndex);
    // First line equal to s under CompareStrings, or -1.
    virtual int IndexOf(const std::wstring& s) const;
    int IndexOfObject(TObject* object) const;

    // Every line followed by CRLF.
    virtual std::wstring GetText() const;
    // Lines end at CR, LF or CRLF; a final line break adds no empty line.
    virtual void SetText(const std::wstring& text);

    // Nested; the outermost pair tells the list through SetUpdateState.
    void BeginUpdate();
    void EndUpdate();
    // Copies the lines and objects of another TWideStrings, or of a TStrings widened with the
    // system code page.
    void Assign(TPersistent* source) override;
    void AddStrings(const TWideStrings* strings);
    // Same count and the same strings, case included.
    bool Equals(const TWideStrings* strings) const;

protected:
    // Called with true when the first BeginUpdate opens an update, false when the last closes it.
    virtual void SetUpdateState(bool) {}
    int GetUpdateCount() const { return FUpdateCount; }
    // How lines compare for IndexOf (base: linguistic, ignoring case).
    virtual int CompareStrings(const std::wstring& s1, const std::wstring& s2) const;
    // Lets a TStrings destination take the lines narrowed with the system code page.
    void AssignTo(TPersistent* dest) override;
    [[noreturn]] void Error(const char* fmt, int index) const;

private:
    int FUpdateCount = 0;
};
