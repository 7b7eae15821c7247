// Settings files of [section] key=value lines: the abstract TCustomIniFile, TIniFile over the
// system's profile calls, and TMemIniFile, which holds the whole file in memory.
#pragma once

#include <memory>
#include <string>

#include "platform/Strings.h"

// A string list that finds lines and names through an index instead of comparing line after line:
// the same first match as TStringList, in constant time where lines are plain printable ASCII (lines
// with other characters are compared as TStringList compares them). The index follows lines added at
// the end and lines replaced; any other change rebuilds it on the next search.
class THashedStringList : public TStringList {
    SF_CLASS(THashedStringList)
public:
    THashedStringList();
    ~THashedStringList() override;

    int IndexOf(const std::string& s) const override;
    int IndexOfName(const std::string& name) const override;

    void Put(int index, const std::string& s) override;
    int AddObject(const std::string& s, TObject* object) override;
    void InsertObject(int index, const std::string& s, TObject* object) override;
    void Delete(int index) override;
    void Clear() override;
    void Exchange(int index1, int index2) override;
    void Move(int curIndex, int newIndex) override;
    void CustomSort(TStringListSortCompare compare) override;

private:
    struct TIndex;
    bool Equal(const std::string& a, const std::string& b) const;
    void Invalidate() const;
    // The index brought up to the list's lines.
    const TIndex& Index() const;

    mutable std::unique_ptr<TIndex> FIndex;
};

class TCustomIniFile : public TObject {
    SF_CLASS(TCustomIniFile)
public:
    explicit TCustomIniFile(std::string fileName) : FFileName(std::move(fileName)) {}
    const std::string& GetFileName() const { return FFileName; }

    virtual std::string ReadString(const std::string& section, const std::string& ident,
                                   const std::string& defaultValue) = 0;
    virtual void WriteString(const std::string& section, const std::string& ident, const std::string& value) = 0;
    // Decimal, or hexadecimal with "0x" or "$"; anything else gives the default.
    int ReadInteger(const std::string& section, const std::string& ident, int defaultValue);
    void WriteInteger(const std::string& section, const std::string& ident, int value);
    // Any integer other than 0 is true; a value that is no integer gives the default.
    bool ReadBool(const std::string& section, const std::string& ident, bool defaultValue);
    // Writes "1" or "0".
    void WriteBool(const std::string& section, const std::string& ident, bool value);

    // Fill the list (cleared first) with the section's keys, the section names, or the
    // section's lines as key=value.
    virtual void ReadSection(const std::string& section, TStrings* strings) = 0;
    virtual void ReadSections(TStrings* strings) = 0;
    virtual void ReadSectionValues(const std::string& section, TStrings* strings) = 0;
    virtual void EraseSection(const std::string& section) = 0;
    virtual void DeleteKey(const std::string& section, const std::string& ident) = 0;
    // Writes pending changes to the file.
    virtual void UpdateFile() = 0;
    // A section exists when it has at least one key.
    virtual bool SectionExists(const std::string& section);
    virtual bool ValueExists(const std::string& section, const std::string& ident);

protected:
    std::string FFileName;
};

// Reads and writes the file through the system's profile calls; every write reaches the file.
// A relative file name is taken relative to the current folder, not the Windows folder.
class TIniFile : public TCustomIniFile {
    SF_CLASS(TIniFile)
public:
    explicit TIniFile(const std::string& fileName);
    ~TIniFile() override;

    std::string ReadString(const std::string& section, const std::string& ident,
                           const std::string& defaultValue) override;
    // Raises EIniFileException "Unable to write to <file>" when the system refuses.
    void WriteString(const std::string& section, const std::string& ident, const std::string& value) override;
    void ReadSection(const std::string& section, TStrings* strings) override;
    void ReadSections(TStrings* strings) override;
    void ReadSectionValues(const std::string& section, TStrings* strings) override;
    void EraseSection(const std::string& section) override;
    void DeleteKey(const std::string& section, const std::string& ident) override;
    void UpdateFile() override;
};

// The whole file in memory, written back only by UpdateFile. Section and key names compare
// without regard to case and are found through hashed lists, so loading and reading take time in
// proportion to the file. Loading trims section names, keys and values, skips lines starting
// with ';' and lines before the first section, and merges a repeated section into its first
// occurrence. When a key repeats within a section, the first one is read and written.
class TMemIniFile : public TCustomIniFile {
    SF_CLASS(TMemIniFile)
public:
    // Loads the file when the name is not empty and the file exists.
    explicit TMemIniFile(const std::string& fileName);
    ~TMemIniFile() override;

    std::string ReadString(const std::string& section, const std::string& ident,
                           const std::string& defaultValue) override;
    void WriteString(const std::string& section, const std::string& ident, const std::string& value) override;
    void ReadSection(const std::string& section, TStrings* strings) override;
    void ReadSections(TStrings* strings) override;
    void ReadSectionValues(const std::string& section, TStrings* strings) override;
    void EraseSection(const std::string& section) override;
    void DeleteKey(const std::string& section, const std::string& ident) override;
    // Writes every section to the file as 8-bit text.
    void UpdateFile() override;
    bool SectionExists(const std::string& section) override;
    bool ValueExists(const std::string& section, const std::string& ident) override;

    void Clear();
    // Adds the file's text to the list: each section's header, its lines, and an empty line.
    void GetStrings(TStrings* list);
    // Replaces the content by parsing the lines.
    void SetStrings(const TStrings* list);
    // Takes a new file name; reloads from that file when asked (empty when it does not exist).
    void Rename(const std::string& fileName, bool reload);

private:
    THashedStringList* FindSection(const std::string& section) const;
    THashedStringList* AddSection(const std::string& section);
    void LoadValues();

    std::unique_ptr<THashedStringList, TObjectFree> FSections;  // names, each with its lines as object
};
