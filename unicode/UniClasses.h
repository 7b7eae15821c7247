// The Unicode layer's containers: wide string lists that load and save text by its byte-order
// mark, a file stream opened by a wide name, an 8-bit view of a wide list, the registry of
// helper objects attached to components, the rule that keeps a wide value in step with its
// 8-bit twin, and the companion properties that carry wide values through form resources.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Component.h"
#include "platform/Filer.h"
#include "platform/Streams.h"
#include "platform/Strings.h"
#include "platform/WideStrings.h"
#include "unicode/UniCodec.h"
#include "unicode/UniSystem.h"

// Start-up and shut-down: the helper registry and the wide streaming switch.
void InitUniClasses();
void DoneUniClasses();

// ---- File stream ----

SF_EXCEPTION(EWideFileStreamError, WideException);
SF_EXCEPTION(EWideFCreateError, EWideFileStreamError);
SF_EXCEPTION(EWideFOpenError, EWideFileStreamError);

// A stream over a file opened by a wide name; it closes the file when freed. A mode with all of
// fmCreate's bits set creates the file (emptying one that exists); any other opens an existing
// file with the mode's access and sharing.
class TUniFileStream : public THandleStream {
    SF_CLASS(TUniFileStream)
public:
    // Raises EWideFCreateError or EWideFOpenError naming the full file name and the system's reason.
    TUniFileStream(const std::wstring& fileName, uint16_t mode);
    ~TUniFileStream() override;
    const std::wstring& GetFileName() const { return FFileName; }

private:
    std::wstring FFileName;
};

// ---- Lists ----

// An 8-bit TStrings that stands for something else.
class TAnsiStrings : public TStrings {
    SF_CLASS(TAnsiStrings)
};

// A wide list seen as 8-bit strings: items read narrowed and written widened with a code page
// (0: the one saved at start-up); objects, count, deletion and the update state pass through.
class TAnsiStringsForWideStringsAdapter : public TAnsiStrings {
    SF_CLASS(TAnsiStringsForWideStringsAdapter)
public:
    explicit TAnsiStringsForWideStringsAdapter(TWideStrings* wideStrings, UINT codePage = 0)
        : FWideStrings(wideStrings), FCodePage(codePage)
    {
    }

    std::string Get(int index) const override;
    void Put(int index, const std::string& s) override;
    TObject* GetObject(int index) const override;
    void PutObject(int index, TObject* object) override;
    int GetCount() const override;
    void Insert(int index, const std::string& s) override;
    void InsertObject(int index, const std::string& s, TObject* object) override;
    void Delete(int index) override;
    void Clear() override;

protected:
    void SetUpdateState(bool updating) override;

private:
    UINT CodePage() const { return FCodePage ? FCodePage : GetSavedAnsiCodePage(); }

    TWideStrings* FWideStrings;
    UINT FCodePage;
};

// Wide strings that load text files by their byte-order mark (UTF-16 little- or big-endian,
// UTF-8, or 8-bit text in the system code page) and save them as UTF-16 little-endian.
class TUniStrings : public TWideStrings {
    SF_CLASS(TUniStrings)
public:
    TUniStrings();
    ~TUniStrings() override;

    // How the text last loaded with its mark was encoded.
    TByteOrderKind GetLastFileCharSet() const { return FLastFileCharSet; }
    // The same lines as 8-bit strings.
    TAnsiStrings* GetAnsiStrings() const { return FAnsiStrings.get(); }

    // The file is opened for reading, denying others writing.
    void LoadFromFile(const std::wstring& fileName);
    void SaveToFile(const std::wstring& fileName);
    void LoadFromStream(TStream* stream) { LoadFromStreamWithBOM(stream, true); }
    void SaveToStream(TStream* stream) { SaveToStreamWithBOM(stream, true); }
    // With withBOM the mark at the stream's position says how the rest is encoded; without,
    // the rest is UTF-16 little-endian. The text replaces the lines.
    virtual void LoadFromStreamWithBOM(TStream* stream, bool withBOM);
    // The lines as UTF-16 little-endian, after the mark FF FE when withBOM.
    virtual void SaveToStreamWithBOM(TStream* stream, bool withBOM);

private:
    TByteOrderKind FLastFileCharSet = bokAnsi;
    std::unique_ptr<TAnsiStrings, TObjectFree> FAnsiStrings;
};

// A wide string list held in memory, optionally kept sorted (then Find is a binary search).
// Comparison is linguistic: with regard to case when CaseSensitive, else without.
class TUniStringList : public TStringListOf<TUniStringList, TUniStrings, std::wstring> {
    SF_CLASS(TUniStringList)
public:
    TUniStringList() = default;
};

// ---- Helpers attached to components ----

// An object that carries what a component of the class library cannot hold itself (its wide
// texts); one per component, found by the component and freed when the component goes.
class TWideComponentHelper : public TComponent {
public:
    static TClass StaticClass();
    TClass ClassType() const override { return StaticClass(); }

    // Registers the helper for the component; the component must not have one yet.
    explicit TWideComponentHelper(TComponent* component);
    void BeforeDestruction() override;
    TComponent* GetComponent() const { return FComponent; }

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    TComponent* FComponent;
};

// The helper registered for the component, or nullptr.
TWideComponentHelper* FindWideComponentHelper(const TComponent* component);

// ---- A wide value in step with its 8-bit twin ----

// The wide value while its narrowed form still equals the 8-bit one; otherwise the 8-bit value
// was changed behind it, and its widened form replaces the wide value.
std::wstring ReadSyncedWide(std::wstring& wide, const std::string& ansi);
// Stores a new wide value and gives the 8-bit twin its narrowed form. When that narrowed form is
// what the twin holds already although the text differs, the twin is emptied first, so that
// whoever watches it sees the change.
void WriteSyncedWide(std::wstring& wide, const std::wstring& value, const std::string& ansi,
                     const std::function<void(const std::string&)>& setAnsi);

// ---- Wide properties in form resources ----

// Companion values read from a stream replace the wide properties only while this is on (and
// the root is not being designed); it is off from start-up, so they are read and dropped.
bool GetRuntimeUTFStreaming();
void SetRuntimeUTFStreaming(bool value);

// Defines, for a component being streamed, the companions of its wide string properties: name
// + "W" (UTF-8 or wide text, read only) and name + "_UTF7" (UTF-7 text, written when the value
// is not empty).
class TUniWideStringPropertyFiler {
public:
    TUniWideStringPropertyFiler(TFiler* filer, TComponent* instance) : FFiler(filer), FInstance(instance) {}
    void Define(const std::string& name, const std::function<std::wstring()>& get,
                const std::function<void(const std::wstring&)>& set);

private:
    TFiler* FFiler;
    TComponent* FInstance;
};

// The same for wide character properties: written as a count and the characters (a wide string
// of at most one character), read from a one-character 8-bit or wide string. A longer value
// raises EReadError "Invalid property value".
class TUniWideCharPropertyFiler {
public:
    TUniWideCharPropertyFiler(TFiler* filer, TComponent* instance) : FFiler(filer), FInstance(instance) {}
    void Define(const std::string& name, const std::function<wchar_t()>& get, const std::function<void(wchar_t)>& set);

private:
    TFiler* FFiler;
    TComponent* FInstance;
};

// Defines a wide list's companions, each name after prefix: "WideStrings" (an 8-bit or wide
// string, or a list of them), "WideStringsW" (the same, read only) and "WideStrings_UTF7" (a list
// of UTF-7 strings, written when the list is not empty).
void DefineWideStringsProperties(TFiler* filer, TComponent* instance, const std::string& prefix, TUniStrings* strings);
