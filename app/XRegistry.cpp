#include "app/XRegistry.h"

#include <windows.h>

#include <memory>
#include <vector>

#include "platform/Filer.h"
#include "platform/Streams.h"

namespace XRegistry {

namespace {

std::string& DefaultKey()
{
    static std::string key;
    return key;
}

// Access asked for when a key is created or opened for writing: KEY_READ or KEY_WRITE.
constexpr REGSAM WriteAccess = 0x2001F;
constexpr DWORD MaxStringBytes = 1024;

// An open registry key, closed when it goes.
class TRegKey {
public:
    TRegKey() = default;
    ~TRegKey()
    {
        if (FKey)
            RegCloseKey(FKey);
    }
    TRegKey(const TRegKey&) = delete;
    TRegKey& operator=(const TRegKey&) = delete;

    bool OpenForReading(const std::string& keyPath)
    {
        return RegOpenKeyExA(HKEY_CURRENT_USER, keyPath.c_str(), 0, KEY_QUERY_VALUE, &FKey) == ERROR_SUCCESS;
    }
    bool OpenForWriting(const std::string& keyPath)
    {
        return RegCreateKeyExA(HKEY_CURRENT_USER, keyPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, WriteAccess,
                               nullptr, &FKey, nullptr) == ERROR_SUCCESS;
    }
    // The value's bytes when it has the given type and holds at most maxBytes.
    bool Query(const std::string& name, DWORD type, DWORD maxBytes, std::vector<BYTE>& data) const
    {
        DWORD actualType = 0, size = 0;
        if (RegQueryValueExA(FKey, name.c_str(), nullptr, &actualType, nullptr, &size) != ERROR_SUCCESS)
            return false;
        if (actualType != type || size == 0 || size > maxBytes)
            return false;
        data.resize(size);
        if (RegQueryValueExA(FKey, name.c_str(), nullptr, &actualType, data.data(), &size) != ERROR_SUCCESS)
            return false;
        data.resize(size);
        return actualType == type && size > 0;
    }
    bool Set(const std::string& name, DWORD type, const void* data, size_t size) const
    {
        return RegSetValueExA(FKey, name.c_str(), 0, type, static_cast<const BYTE*>(data), static_cast<DWORD>(size)) ==
               ERROR_SUCCESS;
    }

private:
    HKEY FKey = nullptr;
};

// The key a routine acts on; empty when there is none, so nothing lands in the root itself.
std::string KeyFor(const std::string& keyPath)
{
    return keyPath.empty() ? DefaultKey() : keyPath;
}

bool QueryValue(const std::string& keyPath, const std::string& name, DWORD type, DWORD maxBytes, std::vector<BYTE>& data)
{
    std::string key = KeyFor(keyPath);
    TRegKey reg;
    return !key.empty() && reg.OpenForReading(key) && reg.Query(name, type, maxBytes, data);
}

bool SetValue(const std::string& keyPath, const std::string& name, DWORD type, const void* data, size_t size)
{
    std::string key = KeyFor(keyPath);
    TRegKey reg;
    return !key.empty() && reg.OpenForWriting(key) && reg.Set(name, type, data, size);
}

}  // namespace

void SetDefaultKey(const std::string& keyPath)
{
    DefaultKey() = keyPath;
}

const std::string& GetDefaultKey()
{
    return DefaultKey();
}

std::string ReadString(const std::string& name, const std::string& defaultValue, const std::string& keyPath)
{
    std::vector<BYTE> data;
    if (!QueryValue(keyPath, name, REG_SZ, MaxStringBytes, data))
        return defaultValue;
    // A value stored without its terminating zero loses no character.
    std::string text(data.begin(), data.end());
    size_t zero = text.find('\0');
    return zero == std::string::npos ? text : text.substr(0, zero);
}

std::string ReadBinary(const std::string& name, const std::string& defaultValue, const std::string& keyPath)
{
    std::vector<BYTE> data;
    if (!QueryValue(keyPath, name, REG_BINARY, MAXDWORD, data))
        return defaultValue;
    return std::string(data.begin(), data.end());
}

int32_t ReadInteger(const std::string& name, int32_t defaultValue, const std::string& keyPath)
{
    std::vector<BYTE> data;
    if (!QueryValue(keyPath, name, REG_DWORD, sizeof(DWORD), data) || data.size() != sizeof(DWORD))
        return defaultValue;
    DWORD value = data[0] | (data[1] << 8) | (data[2] << 16) | (static_cast<DWORD>(data[3]) << 24);
    return static_cast<int32_t>(value);
}

bool WriteString(const std::string& name, const std::string& value, const std::string& keyPath)
{
    return SetValue(keyPath, name, REG_SZ, value.c_str(), value.size() + 1);
}

bool WriteBinary(const std::string& name, const std::string& value, const std::string& keyPath)
{
    return SetValue(keyPath, name, REG_BINARY, value.data(), value.size());
}

bool WriteInteger(const std::string& name, int32_t value, const std::string& keyPath)
{
    DWORD dword = static_cast<DWORD>(value);
    return SetValue(keyPath, name, REG_DWORD, &dword, sizeof(dword));
}

namespace {

constexpr const char* FontDialogClass = "TFontDialog";
constexpr const char* StyleNames[] = {"fsBold", "fsItalic", "fsUnderline", "fsStrikeOut"};
// A face name fits LOGFONT's 32 characters with the terminating zero.
constexpr size_t MaxFaceName = 31;
constexpr int32_t MaxFontSize = 1638;

std::vector<std::string> StyleIdents(uint8_t style)
{
    std::vector<std::string> idents;
    for (int bit = 0; bit < 4; ++bit)
        if (style & (1 << bit))
            idents.push_back(StyleNames[bit]);
    return idents;
}

uint8_t StyleBits(const std::vector<std::string>& idents)
{
    uint8_t style = 0;
    for (const std::string& ident : idents) {
        int bit = 0;
        while (bit < 4 && ident != StyleNames[bit])
            ++bit;
        if (bit == 4)
            throw EReadError("Unknown font style " + ident);
        style |= static_cast<uint8_t>(1 << bit);
    }
    return style;
}

bool Plausible(const TFontSettings& font)
{
    return !font.Name.empty() && font.Name.size() <= MaxFaceName && font.Name.find('\0') == std::string::npos &&
           font.Size > 0 && font.Size <= MaxFontSize;
}

TFontSettings ReadFontDialog(TReader& reader)
{
    reader.ReadSignature();
    if (reader.ReadStr() != FontDialogClass)
        throw EReadError("Not a font dialog");
    reader.ReadStr();
    TFontSettings font;
    while (!reader.EndOfList()) {
        std::string property = reader.ReadStr();
        if (property == "Font.Charset") {
            int32_t charset = reader.ReadInteger();
            if (charset < 0 || charset > 255)
                throw EReadError("Invalid character set");
            font.Charset = static_cast<uint8_t>(charset);
        } else if (property == "Font.Color")
            font.Color = reader.ReadInteger();
        else if (property == "Font.Name")
            font.Name = reader.ReadString();
        else if (property == "Font.Size")
            font.Size = reader.ReadInteger();
        else if (property == "Font.Style")
            font.Style = StyleBits(reader.ReadSet());
        else
            reader.SkipValue();
    }
    reader.ReadListEnd();
    // A font dialog owns no components: its list of children is empty.
    reader.ReadListEnd();
    return font;
}

}  // namespace

std::string EncodeFontDialog(const TFontSettings& font)
{
    std::unique_ptr<TStringStream, TObjectFree> stream(New<TStringStream>());
    {
        std::unique_ptr<TWriter, TObjectFree> writer(New<TWriter>(stream.get()));
        writer->WriteSignature();
        writer->WriteStr(FontDialogClass);
        writer->WriteStr("");
        writer->WriteStr("Font.Charset");
        writer->WriteInteger(font.Charset);
        writer->WriteStr("Font.Color");
        writer->WriteInteger(font.Color);
        writer->WriteStr("Font.Name");
        writer->WriteString(font.Name);
        writer->WriteStr("Font.Size");
        writer->WriteInteger(font.Size);
        writer->WriteStr("Font.Style");
        writer->WriteSet(StyleIdents(font.Style));
        writer->WriteListEnd();
        writer->WriteListEnd();
    }
    return stream->GetDataString();
}

TFontSettings DecodeFontDialog(const std::string& blob, const TFontSettings& fallback)
{
    if (blob.empty())
        return fallback;
    try {
        std::unique_ptr<TStringStream, TObjectFree> stream(New<TStringStream>(blob));
        std::unique_ptr<TReader, TObjectFree> reader(New<TReader>(stream.get()));
        TFontSettings font = ReadFontDialog(*reader);
        return Plausible(font) ? font : fallback;
    } catch (const Exception&) {
        // A damaged setting must never keep the program from starting: the default font serves.
        return fallback;
    }
}

}  // namespace XRegistry
