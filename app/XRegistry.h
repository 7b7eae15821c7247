// The program's per-user settings: single values of one key under HKEY_CURRENT_USER, read with a
// default that stands in for anything missing, unreadable or of the wrong type.
#pragma once

#include <cstdint>
#include <string>

namespace XRegistry {

constexpr const char* SheetfoldKey = "Software\\Sheetfold";

// The settings' value names and defaults.
constexpr const char* LanguageValue = "Language";
constexpr const char* DefaultLanguage = "English";
constexpr const char* PrinterValue = "Printer";
constexpr const char* FontDialogValue = "FontDialog";
constexpr const char* InsertImageMessageValue = "InsertImageMessage";
constexpr int32_t DefaultInsertImageMessage = 3;
constexpr const char* ShowDemoValue = "ShowDemo";
constexpr int32_t DefaultShowDemo = 0;

// The key that an empty key path stands for. Set once at start to SheetfoldKey and emptied at
// the end; with no default key, reads give their defaults and writes fail.
void SetDefaultKey(const std::string& keyPath);
const std::string& GetDefaultKey();

// A REG_SZ value shorter than 1024 bytes, up to its first zero; else the default.
std::string ReadString(const std::string& name, const std::string& defaultValue, const std::string& keyPath = {});
// The bytes of a non-empty REG_BINARY value; else the default.
std::string ReadBinary(const std::string& name, const std::string& defaultValue, const std::string& keyPath = {});
// A 4-byte REG_DWORD value; else the default.
int32_t ReadInteger(const std::string& name, int32_t defaultValue, const std::string& keyPath = {});

// Each creates the key when it is missing and answers whether the value was written.
bool WriteString(const std::string& name, const std::string& value, const std::string& keyPath = {});
bool WriteBinary(const std::string& name, const std::string& value, const std::string& keyPath = {});
bool WriteInteger(const std::string& name, int32_t value, const std::string& keyPath = {});

// The font of the element font dialog as the "FontDialog" value keeps it.
struct TFontSettings {
    std::string Name = "Arial";
    int32_t Size = 12;   // points
    uint8_t Style = 0;   // bit 0 bold, bit 1 italic, bit 2 underline, bit 3 strike-out
    uint8_t Charset = 1; // DEFAULT_CHARSET
    int32_t Color = 0;   // a Windows colour value; 0 is black

    bool operator==(const TFontSettings&) const = default;
};

// The "FontDialog" value's bytes: a font dialog with that font, written as a component stream,
// as the dialog itself writes them.
std::string EncodeFontDialog(const TFontSettings& font);
// The font of such a value; an empty or damaged value, or one with an implausible font, gives
// the fallback.
TFontSettings DecodeFontDialog(const std::string& blob, const TFontSettings& fallback);

}  // namespace XRegistry
