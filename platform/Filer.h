// The binary property format: TWriter saves components with their properties and children,
// TReader creates them again by registered class name. Every streamed property is declared by
// the component's DefineProperties through DefineProperty / DefineBinaryProperty.
//
// Layout (little endian): the signature "SFP0", then one component:
//   class name, component name (each a length byte and the characters),
//   properties (a name as above, then one value) until vaNull,
//   child components (same layout) until vaNull.
// A value is a TValueType byte followed by its data.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/Component.h"
#include "platform/Streams.h"

enum TValueType : uint8_t {
    vaNull = 0,
    vaList = 1,
    vaInt8 = 2,
    vaInt16 = 3,
    vaInt32 = 4,
    vaExtended = 5,     // 80-bit float
    vaString = 6,       // 8-bit text, 1-byte length
    vaIdent = 7,        // 1-byte length
    vaFalse = 8,
    vaTrue = 9,
    vaBinary = 10,      // 4-byte length
    vaSet = 11,         // identifiers until an empty one
    vaLString = 12,     // 8-bit text, 4-byte length
    vaNil = 13,
    vaCollection = 14,  // items ([index] vaList properties vaNull) until vaNull
    vaSingle = 15,
    vaCurrency = 16,    // 64-bit integer, 4 decimal places
    vaDate = 17,        // 64-bit float
    vaWString = 18,     // UTF-16, 4-byte length in characters
    vaInt64 = 19,
    vaUTF8String = 20,  // 4-byte length in bytes
};

class TReader;
class TWriter;

using TReaderProc = std::function<void(TReader*)>;
using TWriterProc = std::function<void(TWriter*)>;
using TStreamProc = std::function<void(TStream*)>;

// What a component's DefineProperties talks to: the same calls serve reading and writing.
class TFiler : public TObject {
    SF_CLASS(TFiler)
public:
    explicit TFiler(TStream* stream) : FStream(stream) {}

    // Reading: calls readData when the property being read has this name.
    // Writing: writes the name and calls writeData when hasData is true.
    virtual void DefineProperty(const std::string& name, const TReaderProc& readData, const TWriterProc& writeData,
                                bool hasData) = 0;
    // As DefineProperty, for a block of bytes the procedures read from or write to a stream.
    virtual void DefineBinaryProperty(const std::string& name, const TStreamProc& readData,
                                      const TStreamProc& writeData, bool hasData) = 0;

    TStream* GetStream() const { return FStream; }
    TComponent* GetRoot() const { return FRoot; }
    void SetRoot(TComponent* root) { FRoot = root; }
    // The object whose values need not be written again (none unless a caller sets one).
    TPersistent* GetAncestor() const { return FAncestor; }
    void SetAncestor(TPersistent* ancestor) { FAncestor = ancestor; }

protected:
    TStream* FStream = nullptr;
    TComponent* FRoot = nullptr;
    TPersistent* FAncestor = nullptr;
};

// Reads the binary property format. Malformed data raises EReadError (or EClassNotFound for an
// unregistered class) and never reads past the stream's end or allocates from an unchecked length.
class TReader : public TFiler {
    SF_CLASS(TReader)
public:
    explicit TReader(TStream* stream);

    void DefineProperty(const std::string& name, const TReaderProc& readData, const TWriterProc& writeData,
                        bool hasData) override;
    void DefineBinaryProperty(const std::string& name, const TStreamProc& readData, const TStreamProc& writeData,
                              bool hasData) override;

    // Reads the signature and the root component. Without an instance, the streamed class is
    // created with GetOwner() as its owner. Components read are flagged csLoading and csReading
    // until all are read, then Loaded is called on each. On failure every component this read
    // created is freed again.
    TComponent* ReadRootComponent(TComponent* root);
    // Reads one component (no signature) with the current owner and parent; creates it by its
    // class name unless an instance is given.
    TComponent* ReadComponent(TComponent* component);
    void ReadSignature();

    TValueType ReadValue();
    // The type of the next value, without consuming it.
    TValueType NextValue();
    bool EndOfList();
    void ReadListBegin();
    void ReadListEnd();
    // Skips one value of any type, nested lists, sets, collections and binary blocks included.
    void SkipValue();

    int32_t ReadInteger();
    int64_t ReadInt64();
    bool ReadBoolean();
    long double ReadFloat();
    float ReadSingle();
    double ReadCurrency();
    double ReadDate();
    std::string ReadIdent();
    // 8-bit text; wide and UTF-8 values are converted with the system code page.
    std::string ReadString();
    // Wide text; 8-bit values are converted with the system code page.
    std::wstring ReadWideString();
    std::vector<std::string> ReadSet();
    // A name: a length byte and the characters, without a value type.
    std::string ReadStr();

    TComponent* GetOwner() const { return FOwner; }
    void SetOwner(TComponent* owner) { FOwner = owner; }
    TComponent* GetParent() const { return FParent; }
    void SetParent(TComponent* parent) { FParent = parent; }

private:
    int64_t Remaining();
    void CheckLength(int64_t length, int64_t unitSize);
    void Skip(int64_t count);
    void Expect(TValueType type);
    [[noreturn]] void InvalidValue(TValueType found);
    std::string ReadBytes(int64_t count);
    std::wstring ReadUTF16(int64_t count);
    template <class T>
    T ReadRaw();
    void ReadProperty(TComponent* instance);
    void ReadChildren(TComponent* component);
    TComponent* CreateComponent(const std::string& className);
    void SetStreamedName(TComponent* component, const std::string& name);
    void FinishLoading();
    void AbandonLoading();

    int64_t FSize = 0;
    int FDepth = 0;
    int FComponentDepth = 0;
    TComponent* FOwner = nullptr;
    TComponent* FParent = nullptr;
    std::string FPropName;
    std::vector<TComponent*> FLoaded;
    std::vector<TComponent*> FCreated;
};

// Writes the binary property format.
class TWriter : public TFiler {
    SF_CLASS(TWriter)
public:
    explicit TWriter(TStream* stream) : TFiler(stream) {}

    void DefineProperty(const std::string& name, const TReaderProc& readData, const TWriterProc& writeData,
                        bool hasData) override;
    void DefineBinaryProperty(const std::string& name, const TStreamProc& readData, const TStreamProc& writeData,
                              bool hasData) override;

    // Writes the signature and the root with its properties and, through GetChildren, its children.
    void WriteRootComponent(TComponent* root);
    void WriteComponent(TComponent* component);
    void WriteSignature();

    void WriteValue(TValueType type);
    void WriteListBegin();
    void WriteListEnd();
    // The smallest of vaInt8, vaInt16 and vaInt32 that holds the value.
    void WriteInteger(int32_t value);
    // vaInt64 only when the value does not fit 32 bits.
    void WriteInt64(int64_t value);
    void WriteBoolean(bool value);
    void WriteFloat(long double value);
    void WriteSingle(float value);
    void WriteCurrency(double value);
    void WriteDate(double value);
    // "True", "False" and "nil" are written as their own value types.
    void WriteIdent(const std::string& ident);
    // vaString for up to 255 bytes, else vaLString.
    void WriteString(const std::string& text);
    void WriteWideString(const std::wstring& text);
    void WriteUTF8String(const std::string& utf8);
    void WriteSet(const std::vector<std::string>& idents);
    // A name: a length byte and up to 255 characters, without a value type.
    void WriteStr(const std::string& text);

private:
    void WritePropName(const std::string& name);
    template <class T>
    void WriteRaw(T value);
    void WriteLength(size_t length);

    int FDepth = 0;
};
