#include "unicode/UniClasses.h"

#include <algorithm>

#include "platform/ScopeGuards.h"
#include "platform/SysUtils.h"

SF_IMPLEMENT_ABSTRACT(TUniFileStream, THandleStream)
SF_IMPLEMENT_ABSTRACT(TAnsiStrings, TStrings)
SF_IMPLEMENT_ABSTRACT(TAnsiStringsForWideStringsAdapter, TAnsiStrings)
SF_IMPLEMENT_ABSTRACT(TUniStrings, TWideStrings)
SF_IMPLEMENT_CLASS(TUniStringList, TUniStrings)

namespace {
// Every helper, sorted by the address of its component; the list owns them.
std::vector<TWideComponentHelper*> gHelpers;
bool gRuntimeUTFStreaming = false;

auto HelperPosition(const TComponent* component)
{
    return std::lower_bound(gHelpers.begin(), gHelpers.end(), component,
                            [](const TWideComponentHelper* helper, const TComponent* key) {
                                return std::less<const TComponent*>()(helper->GetComponent(), key);
                            });
}
}

void InitUniClasses()
{
    gRuntimeUTFStreaming = false;
}

void DoneUniClasses()
{
    while (!gHelpers.empty())
        gHelpers.back()->Free();
}

// ---- TUniFileStream ----

TUniFileStream::TUniFileStream(const std::wstring& fileName, uint16_t mode) : THandleStream(INVALID_HANDLE_VALUE), FFileName(fileName)
{
    bool create = (mode & fmCreate) == fmCreate;
    FHandle = create ? CreateFileWide(fileName) : OpenFileWide(fileName, mode);
    if (FHandle != INVALID_HANDLE_VALUE)
        return;
    DWORD error = GetLastError();
    std::wstring reason = SystemErrorTextW(error);
    // A name the system makes no path of (an empty one) is named as it came.
    std::wstring name;
    if (!TryFullWideFileName(fileName, name))
        name = fileName;
    if (create)
        throw EWideFCreateError(WideFormat(L"Cannot create file \"%ls\". %ls", name.c_str(), reason.c_str()));
    throw EWideFOpenError(WideFormat(L"Cannot open file \"%ls\". %ls", name.c_str(), reason.c_str()));
}

TUniFileStream::~TUniFileStream()
{
    if (FHandle != INVALID_HANDLE_VALUE)
        CloseHandle(FHandle);
}

// ---- TAnsiStringsForWideStringsAdapter ----

std::string TAnsiStringsForWideStringsAdapter::Get(int index) const
{
    return WideToCodePage(FWideStrings->Get(index), CodePage());
}

void TAnsiStringsForWideStringsAdapter::Put(int index, const std::string& s)
{
    FWideStrings->Put(index, CodePageToWide(s, CodePage()));
}

TObject* TAnsiStringsForWideStringsAdapter::GetObject(int index) const
{
    return FWideStrings->GetObject(index);
}

void TAnsiStringsForWideStringsAdapter::PutObject(int index, TObject* object)
{
    FWideStrings->PutObject(index, object);
}

int TAnsiStringsForWideStringsAdapter::GetCount() const
{
    return FWideStrings->GetCount();
}

void TAnsiStringsForWideStringsAdapter::Insert(int index, const std::string& s)
{
    FWideStrings->Insert(index, CodePageToWide(s, CodePage()));
}

void TAnsiStringsForWideStringsAdapter::InsertObject(int index, const std::string& s, TObject* object)
{
    FWideStrings->InsertObject(index, CodePageToWide(s, CodePage()), object);
}

void TAnsiStringsForWideStringsAdapter::Delete(int index)
{
    FWideStrings->Delete(index);
}

void TAnsiStringsForWideStringsAdapter::Clear()
{
    FWideStrings->Clear();
}

void TAnsiStringsForWideStringsAdapter::SetUpdateState(bool updating)
{
    if (updating)
        FWideStrings->BeginUpdate();
    else
        FWideStrings->EndUpdate();
}

// ---- TUniStrings ----

TUniStrings::TUniStrings() : FAnsiStrings(New<TAnsiStringsForWideStringsAdapter>(this))
{
}

TUniStrings::~TUniStrings() = default;

void TUniStrings::LoadFromFile(const std::wstring& fileName)
{
    std::unique_ptr<TUniFileStream, TObjectFree> stream(New<TUniFileStream>(fileName, fmOpenRead | fmShareDenyWrite));
    LoadFromStream(stream.get());
}

void TUniStrings::SaveToFile(const std::wstring& fileName)
{
    std::unique_ptr<TUniFileStream, TObjectFree> stream(New<TUniFileStream>(fileName, fmCreate));
    SaveToStream(stream.get());
}

void TUniStrings::LoadFromStreamWithBOM(TStream* stream, bool withBOM)
{
    TUpdateScope<TWideStrings> update(this);
    int64_t remaining = stream->GetSize() - stream->GetPosition();
    if (remaining > INT32_MAX)
        throw EReadError("Text too large to load");
    std::string bytes(static_cast<size_t>(std::max<int64_t>(remaining, 0)), '\0');
    stream->ReadBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    size_t markLength = 0;
    TByteOrderKind kind = bokUtf16LE;
    if (withBOM) {
        kind = DetectByteOrderMark(data, bytes.size(), markLength);
        FLastFileCharSet = kind;
    }
    std::string_view body(bytes.data() + markLength, bytes.size() - markLength);
    std::wstring text;
    switch (kind) {
    case bokUtf16LE:
    case bokUtf16BE:
        text.assign(body.size() / 2, L'\0');
        std::copy_n(body.data(), text.size() * 2, reinterpret_cast<char*>(text.data()));
        if (kind == bokUtf16BE)
            SwapUtf16Bytes(text.data(), text.size());
        // An odd last byte is half a character: it shows as one that could not be read.
        if (body.size() % 2 != 0)
            text += ReplacementChar;
        break;
    case bokUtf8:
        text = Utf8ToUtf16(body);
        break;
    case bokAnsi:
        text = WidenText(std::string(body));
        break;
    }
    SetText(text);
}

void TUniStrings::SaveToStreamWithBOM(TStream* stream, bool withBOM)
{
    static const unsigned char kMark[] = {0xFF, 0xFE};
    if (withBOM)
        stream->WriteBuffer(kMark, sizeof(kMark));
    std::wstring text = GetText();
    static_assert(sizeof(wchar_t) == 2, "UTF-16 text is written unit by unit");
    stream->WriteBuffer(text.data(), static_cast<int32_t>(text.size() * sizeof(wchar_t)));
}

// ---- TWideComponentHelper ----

TClass TWideComponentHelper::StaticClass()
{
    // Helpers are made for their component only, never by class reference.
    static const TClassInfo info{"TWideComponentHelper", TComponent::StaticClass(), [](TComponent*) -> TObject* {
                                     throw EUniInternalError(
                                         L"UNI Internal Error: TWideComponentHelper.Create should never be encountered.");
                                 }};
    return &info;
}

TWideComponentHelper::TWideComponentHelper(TComponent* component) : FComponent(component)
{
    auto at = HelperPosition(component);
    if (at != gHelpers.end() && (*at)->GetComponent() == component)
        throw EUniInternalError(L"UNI Internal Error: the component has a helper already.");
    gHelpers.insert(at, this);
    component->FreeNotification(this);
}

void TWideComponentHelper::BeforeDestruction()
{
    auto at = HelperPosition(FComponent);
    if (at != gHelpers.end() && *at == this)
        gHelpers.erase(at);
    if (FComponent) {
        FComponent->RemoveFreeNotification(this);
        FComponent = nullptr;
    }
    TComponent::BeforeDestruction();
}

void TWideComponentHelper::Notification(TComponent* component, TOperation operation)
{
    TComponent::Notification(component, operation);
    if (operation != TOperation::opRemove || component != FComponent)
        return;
    // The component is going: so is what it carried.
    auto at = HelperPosition(FComponent);
    if (at != gHelpers.end() && *at == this)
        gHelpers.erase(at);
    FComponent = nullptr;
    Free();
}

TWideComponentHelper* FindWideComponentHelper(const TComponent* component)
{
    auto at = HelperPosition(component);
    return at != gHelpers.end() && (*at)->GetComponent() == component ? *at : nullptr;
}

// ---- Synchronisation ----

std::wstring ReadSyncedWide(std::wstring& wide, const std::string& ansi)
{
    if (NarrowText(wide) != ansi)
        wide = WidenText(ansi);
    return wide;
}

void WriteSyncedWide(std::wstring& wide, const std::wstring& value, const std::string& ansi,
                     const std::function<void(const std::string&)>& setAnsi)
{
    if (ReadSyncedWide(wide, ansi) == value)
        return;
    std::string narrowed = NarrowText(value);
    if (narrowed == ansi && WidenText(narrowed) != value)
        setAnsi(std::string());
    wide = value;
    setAnsi(narrowed);
}

// ---- Streaming ----

bool GetRuntimeUTFStreaming()
{
    return gRuntimeUTFStreaming;
}

void SetRuntimeUTFStreaming(bool value)
{
    gRuntimeUTFStreaming = value;
}

namespace {
bool CanApplyStreamed(TFiler* filer, TComponent* instance)
{
    TComponent* root = filer->GetRoot() ? filer->GetRoot() : instance;
    return gRuntimeUTFStreaming && !(root && root->HasState(csDesigning));
}

// An 8-bit value read as UTF-8; a wide one as it is.
std::wstring ReadUtf8OrWide(TReader* reader)
{
    TValueType type = reader->NextValue();
    if (type == vaString || type == vaLString)
        return Utf8ToUtf16(reader->ReadString());
    return reader->ReadWideString();
}

std::wstring ReadUtf7(TReader* reader)
{
    return CodePageToWide(reader->ReadString(), CP_UTF7);
}
}

void TUniWideStringPropertyFiler::Define(const std::string& name, const std::function<std::wstring()>& get,
                                         const std::function<void(const std::wstring&)>& set)
{
    TFiler* filer = FFiler;
    TComponent* instance = FInstance;
    auto apply = [=](const std::wstring& value) {
        if (CanApplyStreamed(filer, instance))
            set(value);
    };
    filer->DefineProperty(name + "W", [=](TReader* reader) { apply(ReadUtf8OrWide(reader)); }, nullptr, false);
    filer->DefineProperty(
        name + "_UTF7", [=](TReader* reader) { apply(ReadUtf7(reader)); },
        [=](TWriter* writer) { writer->WriteString(WideToCodePage(get(), CP_UTF7)); }, !get().empty());
}

void TUniWideCharPropertyFiler::Define(const std::string& name, const std::function<wchar_t()>& get,
                                       const std::function<void(wchar_t)>& set)
{
    TFiler* filer = FFiler;
    TComponent* instance = FInstance;
    auto read = [=](TReader* reader) {
        TValueType type = reader->NextValue();
        std::wstring value = type == vaString || type == vaLString ? WidenText(reader->ReadString())
                                                                    : reader->ReadWideString();
        if (value.size() > 1)
            throw EReadError("Invalid property value");
        if (CanApplyStreamed(filer, instance))
            set(value.empty() ? L'\0' : value[0]);
    };
    auto write = [=](TWriter* writer) {
        wchar_t c = get();
        writer->WriteWideString(c ? std::wstring(1, c) : std::wstring());
    };
    filer->DefineProperty(name + "W", read, nullptr, false);
    filer->DefineProperty(name + "_UTF7", read, write, get() != 0);
}

void DefineWideStringsProperties(TFiler* filer, TComponent* instance, const std::string& prefix, TUniStrings* strings)
{
    auto apply = [=](const std::vector<std::wstring>& lines) {
        if (!CanApplyStreamed(filer, instance))
            return;
        TUpdateScope<TWideStrings> update(strings);
        strings->Clear();
        for (const std::wstring& line : lines)
            strings->Add(line);
    };
    // One string (its lines), or a list of strings.
    auto readLines = [=](TReader* reader, const std::function<std::wstring(TReader*)>& readOne) {
        std::vector<std::wstring> lines;
        if (reader->NextValue() != vaList) {
            std::unique_ptr<TUniStringList, TObjectFree> text(New<TUniStringList>());
            text->SetText(readOne(reader));
            for (int i = 0; i < text->Count(); ++i)
                lines.push_back(text->Get(i));
            return lines;
        }
        reader->ReadListBegin();
        while (!reader->EndOfList())
            lines.push_back(readOne(reader));
        reader->ReadListEnd();
        return lines;
    };
    auto readWide = [](TReader* reader) { return reader->ReadWideString(); };
    filer->DefineProperty(prefix + "WideStrings", [=](TReader* reader) { apply(readLines(reader, readWide)); }, nullptr,
                          false);
    filer->DefineProperty(prefix + "WideStringsW", [=](TReader* reader) { apply(readLines(reader, ReadUtf8OrWide)); },
                          nullptr, false);
    filer->DefineProperty(
        prefix + "WideStrings_UTF7", [=](TReader* reader) { apply(readLines(reader, ReadUtf7)); },
        [=](TWriter* writer) {
            writer->WriteListBegin();
            for (int i = 0; i < strings->Count(); ++i)
                writer->WriteString(WideToCodePage(strings->Get(i), CP_UTF7));
            writer->WriteListEnd();
        },
        strings->Count() > 0);
}
