#include "platform/Filer.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "platform/ScopeGuards.h"

SF_IMPLEMENT_ABSTRACT(TFiler, TObject)
SF_IMPLEMENT_ABSTRACT(TReader, TFiler)
SF_IMPLEMENT_ABSTRACT(TWriter, TFiler)

namespace {

constexpr char Signature[4] = {'S', 'F', 'P', '0'};
// Far beyond any real component tree or property value, and well within the stack.
constexpr int MaxNesting = 200;
constexpr size_t ExtendedSize = 10;

static_assert(std::numeric_limits<long double>::digits == 64 && sizeof(long double) >= ExtendedSize,
              "long double must be the 80-bit x87 format");

// What a nesting guard calls at the limit: raises E naming what was nested too deeply.
template <class E>
auto TooDeep(const char* what)
{
    return [what] { throw E(std::string(what) + " nested too deeply in stream"); };
}

std::wstring ToWide(const std::string& text, UINT codePage)
{
    if (text.empty())
        return {};
    int len = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring result(static_cast<size_t>(len), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), result.data(), len);
    return result;
}

std::string FromWide(const std::wstring& text, UINT codePage)
{
    if (text.empty())
        return {};
    int len = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(len), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), result.data(), len, nullptr, nullptr);
    return result;
}

bool IsIntegerType(TValueType type)
{
    return type == vaInt8 || type == vaInt16 || type == vaInt32 || type == vaInt64;
}

}  // namespace

// TStream's component helpers live here, beside the format they use.

TComponent* TStream::ReadComponent(TComponent* instance)
{
    TReader reader(this);
    return reader.ReadRootComponent(instance);
}

void TStream::WriteComponent(TComponent* instance)
{
    TWriter writer(this);
    writer.WriteRootComponent(instance);
}

// TReader

TReader::TReader(TStream* stream) : TFiler(stream), FSize(stream->GetSize())
{
}

int64_t TReader::Remaining()
{
    return FSize - FStream->GetPosition();
}

void TReader::CheckLength(int64_t length, int64_t unitSize)
{
    if (length < 0)
        throw EReadError("Invalid length " + std::to_string(length) + " in stream");
    int64_t bytes = length * unitSize;
    int64_t remaining = Remaining();
    if (bytes > remaining)
        throw EReadError("Length " + std::to_string(length) + " exceeds the " + std::to_string(std::max<int64_t>(remaining, 0)) +
                         " bytes left in the stream");
    if (bytes > std::numeric_limits<int32_t>::max())
        throw EReadError("Value of " + std::to_string(bytes) + " bytes is too large to read");
}

void TReader::Skip(int64_t count)
{
    CheckLength(count, 1);
    FStream->Seek(count, TSeekOrigin::soCurrent);
}

template <class T>
T TReader::ReadRaw()
{
    T value;
    FStream->ReadBuffer(&value, sizeof(value));
    return value;
}

std::string TReader::ReadBytes(int64_t count)
{
    CheckLength(count, 1);
    std::string result(static_cast<size_t>(count), '\0');
    FStream->ReadBuffer(result.data(), static_cast<int32_t>(count));
    return result;
}

std::wstring TReader::ReadUTF16(int64_t count)
{
    CheckLength(count, 2);
    std::wstring result(static_cast<size_t>(count), L'\0');
    FStream->ReadBuffer(result.data(), static_cast<int32_t>(count * 2));
    return result;
}

void TReader::InvalidValue(TValueType)
{
    throw EReadError("Invalid property value");
}

TValueType TReader::ReadValue()
{
    uint8_t type = ReadRaw<uint8_t>();
    if (type > vaUTF8String)
        throw EReadError("Invalid value type " + std::to_string(type) + " in stream");
    return static_cast<TValueType>(type);
}

TValueType TReader::NextValue()
{
    TValueType type = ReadValue();
    FStream->Seek(-1, TSeekOrigin::soCurrent);
    return type;
}

bool TReader::EndOfList()
{
    // A raw peek: at the start of a name the byte is a length, not a value type.
    uint8_t next = ReadRaw<uint8_t>();
    FStream->Seek(-1, TSeekOrigin::soCurrent);
    return next == vaNull;
}

void TReader::Expect(TValueType type)
{
    TValueType found = ReadValue();
    if (found != type)
        InvalidValue(found);
}

void TReader::ReadListBegin()
{
    Expect(vaList);
}

void TReader::ReadListEnd()
{
    Expect(vaNull);
}

void TReader::ReadSignature()
{
    char signature[sizeof(Signature)] = {};
    if (FStream->Read(signature, sizeof(signature)) != sizeof(signature) ||
        std::memcmp(signature, Signature, sizeof(Signature)) != 0)
        throw EReadError("Invalid stream format");
}

std::string TReader::ReadStr()
{
    return ReadBytes(ReadRaw<uint8_t>());
}

int32_t TReader::ReadInteger()
{
    TValueType type = ReadValue();
    switch (type) {
    case vaInt8: return ReadRaw<int8_t>();
    case vaInt16: return ReadRaw<int16_t>();
    case vaInt32: return ReadRaw<int32_t>();
    default: InvalidValue(type);
    }
}

int64_t TReader::ReadInt64()
{
    if (NextValue() == vaInt64) {
        ReadValue();
        return ReadRaw<int64_t>();
    }
    return ReadInteger();
}

bool TReader::ReadBoolean()
{
    TValueType type = ReadValue();
    if (type != vaTrue && type != vaFalse)
        InvalidValue(type);
    return type == vaTrue;
}

long double TReader::ReadFloat()
{
    TValueType type = NextValue();
    if (IsIntegerType(type))
        return static_cast<long double>(ReadInt64());
    ReadValue();
    if (type == vaSingle)
        return ReadRaw<float>();
    if (type != vaExtended)
        InvalidValue(type);
    long double value = 0;
    FStream->ReadBuffer(&value, ExtendedSize);
    return value;
}

float TReader::ReadSingle()
{
    return static_cast<float>(ReadFloat());
}

double TReader::ReadCurrency()
{
    if (NextValue() != vaCurrency)
        return static_cast<double>(ReadFloat());
    ReadValue();
    return static_cast<double>(ReadRaw<int64_t>()) / 10000.0;
}

double TReader::ReadDate()
{
    if (NextValue() != vaDate)
        return static_cast<double>(ReadFloat());
    ReadValue();
    return ReadRaw<double>();
}

std::string TReader::ReadIdent()
{
    TValueType type = ReadValue();
    switch (type) {
    case vaIdent: return ReadStr();
    case vaFalse: return "False";
    case vaTrue: return "True";
    case vaNil: return "nil";
    case vaNull: return "Null";
    default: InvalidValue(type);
    }
}

std::string TReader::ReadString()
{
    TValueType type = ReadValue();
    switch (type) {
    case vaString: return ReadStr();
    case vaLString: return ReadBytes(ReadRaw<int32_t>());
    case vaWString: return FromWide(ReadUTF16(ReadRaw<int32_t>()), CP_ACP);
    case vaUTF8String: return FromWide(ToWide(ReadBytes(ReadRaw<int32_t>()), CP_UTF8), CP_ACP);
    default: InvalidValue(type);
    }
}

std::wstring TReader::ReadWideString()
{
    TValueType type = ReadValue();
    switch (type) {
    case vaWString: return ReadUTF16(ReadRaw<int32_t>());
    case vaUTF8String: return ToWide(ReadBytes(ReadRaw<int32_t>()), CP_UTF8);
    case vaString: return ToWide(ReadStr(), CP_ACP);
    case vaLString: return ToWide(ReadBytes(ReadRaw<int32_t>()), CP_ACP);
    default: InvalidValue(type);
    }
}

std::vector<std::string> TReader::ReadSet()
{
    Expect(vaSet);
    std::vector<std::string> result;
    for (std::string ident = ReadStr(); !ident.empty(); ident = ReadStr())
        result.push_back(std::move(ident));
    return result;
}

void TReader::SkipValue()
{
    TNestingGuard guard(FDepth, MaxNesting, TooDeep<EReadError>("Values"));
    TValueType type = ReadValue();
    switch (type) {
    case vaNull:
    case vaFalse:
    case vaTrue:
    case vaNil:
        return;
    case vaList:
        while (!EndOfList())
            SkipValue();
        ReadListEnd();
        return;
    case vaInt8: Skip(1); return;
    case vaInt16: Skip(2); return;
    case vaInt32:
    case vaSingle: Skip(4); return;
    case vaInt64:
    case vaCurrency:
    case vaDate: Skip(8); return;
    case vaExtended: Skip(ExtendedSize); return;
    case vaString:
    case vaIdent: Skip(ReadRaw<uint8_t>()); return;
    case vaBinary:
    case vaLString:
    case vaUTF8String: Skip(ReadRaw<int32_t>()); return;
    case vaWString: {
        int32_t count = ReadRaw<int32_t>();
        CheckLength(count, 2);
        Skip(int64_t{count} * 2);
        return;
    }
    case vaSet:
        for (uint8_t len = ReadRaw<uint8_t>(); len != 0; len = ReadRaw<uint8_t>())
            Skip(len);
        return;
    case vaCollection:
        while (!EndOfList()) {
            if (IsIntegerType(NextValue()))
                ReadInt64();
            ReadListBegin();
            while (!EndOfList()) {
                ReadStr();
                SkipValue();
            }
            ReadListEnd();
        }
        ReadListEnd();
        return;
    }
    InvalidValue(type);
}

void TReader::DefineProperty(const std::string& name, const TReaderProc& readData, const TWriterProc&, bool)
{
    if (!readData || FPropName.empty() || _stricmp(name.c_str(), FPropName.c_str()) != 0)
        return;
    FPropName.clear();
    readData(this);
}

void TReader::DefineBinaryProperty(const std::string& name, const TStreamProc& readData, const TStreamProc&, bool)
{
    if (!readData || FPropName.empty() || _stricmp(name.c_str(), FPropName.c_str()) != 0)
        return;
    FPropName.clear();
    Expect(vaBinary);
    int32_t count = ReadRaw<int32_t>();
    CheckLength(count, 1);
    TMemoryStream data;
    data.SetSize(count);
    FStream->ReadBuffer(data.GetMemory(), count);
    data.SetPosition(0);
    readData(&data);
}

void TReader::ReadProperty(TComponent* instance)
{
    std::string name = ReadStr();
    try {
        FPropName = name;
        instance->DefineProperties(this);
        // Nobody claimed it: a property this version does not know, skipped whole.
        if (!FPropName.empty()) {
            FPropName.clear();
            SkipValue();
        }
    } catch (Exception& e) {
        FPropName.clear();
        std::string owner = instance->GetName().empty() ? instance->ClassName() : instance->GetName();
        e.SetMessage("Error reading " + owner + "." + name + ": " + e.what());
        throw;
    }
}

TComponent* TReader::CreateComponent(const std::string& className)
{
    TClass cls = FindClass(className);
    if (!ClassInheritsFrom(cls, TComponent::StaticClass()))
        throw EReadError("Class " + className + " in stream is not a component");
    if (!cls->Factory)
        throw EReadError("Class " + className + " in stream cannot be created");
    return static_cast<TComponent*>(CreateInstance(cls, FOwner));
}

void TReader::SetStreamedName(TComponent* component, const std::string& name)
{
    // A malformed or duplicate name is a fault of the stream: report it as one.
    try {
        component->SetName(name);
    } catch (const EComponentError& e) {
        throw EReadError(std::string("Error reading component name: ") + e.what());
    }
}

void TReader::ReadChildren(TComponent* component)
{
    TComponent* childOwner = component->GetChildOwner();
    TValueScope owner(FOwner, childOwner ? childOwner : (FRoot ? FRoot : component));
    TComponent* childParent = component->GetChildParent();
    TValueScope parent(FParent, childParent ? childParent : component);
    while (!EndOfList())
        ReadComponent(nullptr);
    ReadListEnd();
}

TComponent* TReader::ReadComponent(TComponent* component)
{
    bool outermost = FComponentDepth == 0;
    try {
        TNestingGuard guard(FComponentDepth, MaxNesting, TooDeep<EReadError>("Components"));
        std::string className = ReadStr();
        std::string name = ReadStr();
        TComponent* result = component;
        if (!result) {
            result = CreateComponent(className);
            FCreated.push_back(result);
        }
        FLoaded.push_back(result);
        result->SetComponentStateFlag(csLoading | csReading, true);
        if (!FRoot)
            FRoot = result;
        if (!component || component->GetName().empty())
            SetStreamedName(result, name);
        if (FParent && result != FRoot)
            result->SetParentComponent(FParent);
        while (!EndOfList())
            ReadProperty(result);
        ReadListEnd();
        ReadChildren(result);
        if (outermost)
            FinishLoading();
        return result;
    } catch (...) {
        if (outermost)
            AbandonLoading();
        throw;
    }
}

TComponent* TReader::ReadRootComponent(TComponent* root)
{
    ReadSignature();
    FRoot = nullptr;
    return ReadComponent(root);
}

void TReader::FinishLoading()
{
    std::vector<TComponent*> loaded = std::move(FLoaded);
    FLoaded.clear();
    FCreated.clear();
    for (TComponent* component : loaded)
        component->SetComponentStateFlag(csReading, false);
    for (TComponent* component : loaded)
        component->Loaded();
}

void TReader::AbandonLoading()
{
    std::vector<TComponent*> loaded = std::move(FLoaded);
    std::vector<TComponent*> created = std::move(FCreated);
    FLoaded.clear();
    FCreated.clear();
    for (TComponent* component : loaded)
        if (std::find(created.begin(), created.end(), component) == created.end())
            component->SetComponentStateFlag(csLoading | csReading, false);
    // Last first: children go before the components that hold them.
    for (auto it = created.rbegin(); it != created.rend(); ++it)
        (*it)->Free();
}

// TWriter

template <class T>
void TWriter::WriteRaw(T value)
{
    FStream->WriteBuffer(&value, sizeof(value));
}

void TWriter::WriteLength(size_t length)
{
    if (length > static_cast<size_t>(std::numeric_limits<int32_t>::max()))
        throw EWriteError("Value of " + std::to_string(length) + " bytes is too large to write");
    WriteRaw<int32_t>(static_cast<int32_t>(length));
}

void TWriter::WriteSignature()
{
    FStream->WriteBuffer(Signature, sizeof(Signature));
}

void TWriter::WriteValue(TValueType type)
{
    WriteRaw<uint8_t>(type);
}

void TWriter::WriteListBegin()
{
    WriteValue(vaList);
}

void TWriter::WriteListEnd()
{
    WriteValue(vaNull);
}

void TWriter::WriteStr(const std::string& text)
{
    if (text.size() > 255)
        throw EWriteError("Name \"" + text.substr(0, 32) + "...\" is longer than 255 characters");
    WriteRaw<uint8_t>(static_cast<uint8_t>(text.size()));
    FStream->WriteBuffer(text.data(), static_cast<int32_t>(text.size()));
}

void TWriter::WriteInteger(int32_t value)
{
    if (value >= std::numeric_limits<int8_t>::min() && value <= std::numeric_limits<int8_t>::max()) {
        WriteValue(vaInt8);
        WriteRaw<int8_t>(static_cast<int8_t>(value));
    } else if (value >= std::numeric_limits<int16_t>::min() && value <= std::numeric_limits<int16_t>::max()) {
        WriteValue(vaInt16);
        WriteRaw<int16_t>(static_cast<int16_t>(value));
    } else {
        WriteValue(vaInt32);
        WriteRaw<int32_t>(value);
    }
}

void TWriter::WriteInt64(int64_t value)
{
    if (value >= std::numeric_limits<int32_t>::min() && value <= std::numeric_limits<int32_t>::max()) {
        WriteInteger(static_cast<int32_t>(value));
        return;
    }
    WriteValue(vaInt64);
    WriteRaw<int64_t>(value);
}

void TWriter::WriteBoolean(bool value)
{
    WriteValue(value ? vaTrue : vaFalse);
}

void TWriter::WriteFloat(long double value)
{
    WriteValue(vaExtended);
    FStream->WriteBuffer(&value, ExtendedSize);
}

void TWriter::WriteSingle(float value)
{
    WriteValue(vaSingle);
    WriteRaw<float>(value);
}

void TWriter::WriteCurrency(double value)
{
    double scaled = std::round(value * 10000.0);
    // 2^63 as a double: anything at or beyond it does not fit the 64-bit integer.
    if (!(std::fabs(scaled) < 9223372036854775808.0))
        throw EWriteError("Currency value out of range");
    WriteValue(vaCurrency);
    WriteRaw<int64_t>(static_cast<int64_t>(scaled));
}

void TWriter::WriteDate(double value)
{
    WriteValue(vaDate);
    WriteRaw<double>(value);
}

void TWriter::WriteIdent(const std::string& ident)
{
    if (_stricmp(ident.c_str(), "False") == 0)
        WriteValue(vaFalse);
    else if (_stricmp(ident.c_str(), "True") == 0)
        WriteValue(vaTrue);
    else if (_stricmp(ident.c_str(), "nil") == 0)
        WriteValue(vaNil);
    else {
        WriteValue(vaIdent);
        WriteStr(ident);
    }
}

void TWriter::WriteString(const std::string& text)
{
    if (text.size() <= 255) {
        WriteValue(vaString);
        WriteStr(text);
        return;
    }
    WriteValue(vaLString);
    WriteLength(text.size());
    FStream->WriteBuffer(text.data(), static_cast<int32_t>(text.size()));
}

void TWriter::WriteWideString(const std::wstring& text)
{
    if (text.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max() / 2))
        throw EWriteError("Value of " + std::to_string(text.size()) + " characters is too large to write");
    WriteValue(vaWString);
    WriteRaw<int32_t>(static_cast<int32_t>(text.size()));
    FStream->WriteBuffer(text.data(), static_cast<int32_t>(text.size() * 2));
}

void TWriter::WriteUTF8String(const std::string& utf8)
{
    WriteValue(vaUTF8String);
    WriteLength(utf8.size());
    FStream->WriteBuffer(utf8.data(), static_cast<int32_t>(utf8.size()));
}

void TWriter::WriteSet(const std::vector<std::string>& idents)
{
    WriteValue(vaSet);
    for (const std::string& ident : idents) {
        // An empty name would end the set early when read back.
        if (ident.empty())
            throw EWriteError("A set element must not be empty");
        WriteStr(ident);
    }
    WriteStr({});
}

void TWriter::WritePropName(const std::string& name)
{
    // An empty name reads back as the end of the property list.
    if (name.empty())
        throw EWriteError("A property name must not be empty");
    WriteStr(name);
}

void TWriter::DefineProperty(const std::string& name, const TReaderProc&, const TWriterProc& writeData, bool hasData)
{
    if (!hasData || !writeData)
        return;
    WritePropName(name);
    writeData(this);
}

void TWriter::DefineBinaryProperty(const std::string& name, const TStreamProc&, const TStreamProc& writeData, bool hasData)
{
    if (!hasData || !writeData)
        return;
    WritePropName(name);
    TMemoryStream data;
    writeData(&data);
    WriteValue(vaBinary);
    WriteLength(static_cast<size_t>(data.GetSize()));
    data.SaveToStream(FStream);
}

void TWriter::WriteComponent(TComponent* component)
{
    TNestingGuard guard(FDepth, MaxNesting, TooDeep<EWriteError>("Components"));
    if (!FRoot)
        FRoot = component;
    component->SetComponentStateFlag(csWriting, true);
    TScopeExit writing([component] { component->SetComponentStateFlag(csWriting, false); });
    WriteStr(component->ClassName());
    WriteStr(component->GetName());
    component->DefineProperties(this);
    WriteListEnd();
    component->GetChildren([this](TComponent* child) { WriteComponent(child); }, FRoot);
    WriteListEnd();
}

void TWriter::WriteRootComponent(TComponent* root)
{
    FRoot = root;
    WriteSignature();
    WriteComponent(root);
}
