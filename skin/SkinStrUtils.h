// A small list of wide strings with an object each: the lines of the themed string list and of
// the toolbar combo box, streamed in form resources as wide strings so that any script survives.
#pragma once

#include <string>
#include <vector>

#include "platform/Strings.h"

class TStringListW : public TPersistent {
    SF_CLASS(TStringListW)
public:
    int Add(const std::wstring& s) { return AddObject(s, nullptr); }
    // Appends; returns the index of the new line.
    int AddObject(const std::wstring& s, TObject* object);
    // Raises EStringListError "List index out of bounds (%d)" outside 0 .. Count.
    void Insert(int index, const std::wstring& s, TObject* object = nullptr);
    // Count and capacity 0, then the change notification.
    void Clear();
    // Raise EStringListError outside 0 .. Count - 1.
    const std::wstring& GetString(int index) const;
    TObject* GetObject(int index) const;
    // The first line that compares equal, or -1.
    int IndexOf(const std::wstring& s) const;

    int GetCount() const { return int(FEntries.size()); }
    int GetCapacity() const { return FCapacity; }
    bool GetCaseSensitive() const { return FCaseSensitive; }
    void SetCaseSensitive(bool value) { FCaseSensitive = value; }

    // Nested; closing the outermost fires OnChange.
    void BeginUpdate() { ++FUpdateCount; }
    void EndUpdate();

    // Another wide list or a class-library list (widened with the system code page): cleared and
    // filled in one update.
    void Assign(TPersistent* source) override;
    virtual int CompareStrings(const std::wstring& s1, const std::wstring& s2) const;
    virtual void AddStrings(const TStrings* strings);
    virtual void AddStrings(const TStringListW* strings);

    // The lines as the property "Strings", a list of wide strings: written when they differ from
    // the filer's ancestor (without one, when there are any). The owning component's
    // DefineProperties hands its filer on.
    void DefineProperties(TFiler* filer) override;
    // Replaces the lines with a list of wide strings read from a form stream.
    void ReadStrings(class TReader* reader);

    TNotifyEvent OnChange;

protected:
    // A class-library list receives the lines in the system code page, with their objects.
    void AssignTo(TPersistent* dest) override;

private:
    struct TEntry {
        std::wstring Text;
        TObject* Object = nullptr;
    };

    void CheckIndex(int index) const;
    void Changed();
    bool DiffersFromAncestor(TPersistent* ancestor) const;
    void WriteStrings(class TWriter* writer) const;

    int FCapacity = 0;
    bool FCaseSensitive = false;
    std::vector<TEntry> FEntries;
    int FUpdateCount = 0;
};

// A wide string of count copies of c.
std::wstring WideStringOfChar(wchar_t c, int count);
