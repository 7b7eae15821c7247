#include "app/XRegistry.h"

#include <windows.h>

#include <memory>
#include <vector>

#include "platform/Dialogs.h"
#include "platform/Graphics.h"
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

// A face name fits LOGFONT's 32 characters with the terminating zero.
constexpr size_t MaxFaceName = 31;
constexpr int32_t MaxFontSize = 1638;

bool Plausible(const TFontSettings& font)
{
    return !font.Name.empty() && font.Name.size() <= MaxFaceName && font.Name.find('\0') == std::string::npos &&
           font.Size > 0 && font.Size <= MaxFontSize;
}

}  // namespace

std::string EncodeFontDialog(const TFontSettings& font)
{
    std::unique_ptr<TFontDialog, TObjectFree> dialog(New<TFontDialog>(nullptr));
    TFont* dialogFont = dialog->GetFont();
    dialogFont->SetName(font.Name);
    dialogFont->SetSize(font.Size);
    dialogFont->SetStyle(TFontStyles::FromBits(font.Style));
    dialogFont->SetCharset(font.Charset);
    dialogFont->SetColor(static_cast<TColor>(font.Color));
    std::unique_ptr<TStringStream, TObjectFree> stream(New<TStringStream>());
    stream->WriteComponent(dialog.get());
    return stream->GetDataString();
}

TFontSettings DecodeFontDialog(const std::string& blob, const TFontSettings& fallback)
{
    if (blob.empty())
        return fallback;
    std::unique_ptr<TFontDialog, TObjectFree> dialog(New<TFontDialog>(nullptr));
    try {
        std::unique_ptr<TStringStream, TObjectFree> stream(New<TStringStream>(blob));
        stream->ReadComponent(dialog.get());
    } catch (const Exception&) {
        // A damaged setting must never keep the program from starting: the default font serves.
        return fallback;
    }
    // A font dialog owns nothing; a value that made it own something is not one of ours.
    if (dialog->GetComponentCount() > 0)
        return fallback;
    const TFont* dialogFont = dialog->GetFont();
    TFontSettings font;
    font.Name = dialogFont->GetName();
    font.Size = dialogFont->GetSize();
    font.Style = dialogFont->GetStyle().Bits();
    font.Charset = dialogFont->GetCharset();
    font.Color = static_cast<int32_t>(dialogFont->GetColor());
    return Plausible(font) ? font : fallback;
}

}  // namespace XRegistry
