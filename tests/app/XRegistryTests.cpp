#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <random>

#include "app/XRegistry.h"
#include "platform/Dialogs.h"
#include "platform/Graphics.h"
#include "platform/Streams.h"

namespace {

// Every test works under its own key below HKCU and removes it afterwards; the default key
// points there for the test's duration.
class XRegistryTest : public testing::Test {
protected:
    void SetUp() override
    {
        FKey = "Software\\SheetfoldTests\\Registry" + std::to_string(GetCurrentProcessId());
        RegDeleteTreeA(HKEY_CURRENT_USER, FKey.c_str());
        FSavedDefault = XRegistry::GetDefaultKey();
        XRegistry::SetDefaultKey(FKey);
    }
    void TearDown() override
    {
        XRegistry::SetDefaultKey(FSavedDefault);
        RegDeleteTreeA(HKEY_CURRENT_USER, FKey.c_str());
        RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\SheetfoldTests");
    }
    // Stores a value of any type directly, bypassing the routines under test.
    void SetRaw(const std::string& name, DWORD type, const std::string& bytes, const std::string& subKey = {})
    {
        HKEY key = nullptr;
        std::string path = subKey.empty() ? FKey : FKey + "\\" + subKey;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                       static_cast<DWORD>(bytes.size()));
        RegCloseKey(key);
    }
    bool KeyExists(const std::string& path)
    {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
            return false;
        RegCloseKey(key);
        return true;
    }

    std::string FKey;
    std::string FSavedDefault;
};

}  // namespace

TEST_F(XRegistryTest, AFirstStartReadsTheDefaultsAndTheFirstWriteCreatesTheKey)
{
    using namespace XRegistry;
    EXPECT_FALSE(KeyExists(FKey));
    EXPECT_EQ(ReadString(LanguageValue, DefaultLanguage), "English");
    EXPECT_EQ(ReadString(PrinterValue, ""), "");
    EXPECT_EQ(ReadBinary(FontDialogValue, ""), "");
    EXPECT_EQ(ReadInteger(InsertImageMessageValue, DefaultInsertImageMessage), 3);
    EXPECT_EQ(ReadInteger(ShowDemoValue, DefaultShowDemo), 0);
    EXPECT_FALSE(KeyExists(FKey));

    EXPECT_TRUE(WriteString(LanguageValue, "Deutsch"));
    EXPECT_TRUE(KeyExists(FKey));
    EXPECT_EQ(ReadString(LanguageValue, DefaultLanguage), "Deutsch");
}

TEST_F(XRegistryTest, ValuesRoundTrip)
{
    using namespace XRegistry;
    EXPECT_TRUE(WriteString("Text", "Printer \xE9 name"));
    EXPECT_TRUE(WriteString("Empty", ""));
    EXPECT_TRUE(WriteInteger("Number", -123456));
    EXPECT_TRUE(WriteInteger("Max", INT32_MAX));
    std::string blob("\x00\x01\xFF\x00zz", 6);
    EXPECT_TRUE(WriteBinary("Blob", blob));
    EXPECT_EQ(ReadString("Text", "d"), "Printer \xE9 name");
    EXPECT_EQ(ReadString("Empty", "d"), "");
    EXPECT_EQ(ReadInteger("Number", 0), -123456);
    EXPECT_EQ(ReadInteger("Max", 0), INT32_MAX);
    EXPECT_EQ(ReadBinary("Blob", "d"), blob);

    // Overwriting replaces, and the explicit key path is another key than the default.
    EXPECT_TRUE(WriteInteger("Number", 7));
    EXPECT_EQ(ReadInteger("Number", 0), 7);
    std::string other = FKey + "\\Other";
    EXPECT_TRUE(WriteInteger("Number", 9, other));
    EXPECT_EQ(ReadInteger("Number", 0, other), 9);
    EXPECT_EQ(ReadInteger("Number", 0), 7);
}

TEST_F(XRegistryTest, ValuesOfTheWrongTypeOrSizeGiveTheDefault)
{
    using namespace XRegistry;
    SetRaw("DwordAsString", REG_DWORD, std::string("\x05\x00\x00\x00", 4));
    SetRaw("StringAsDword", REG_SZ, std::string("12\0", 3));
    SetRaw("BinaryAsDword", REG_BINARY, std::string("\x05\x00\x00\x00", 4));
    SetRaw("ShortDword", REG_DWORD, std::string("\x05\x00", 2));
    SetRaw("StringAsBinary", REG_SZ, std::string("ab\0", 3));
    SetRaw("EmptyBinary", REG_BINARY, "");
    SetRaw("EmptyString", REG_SZ, "");
    SetRaw("Expand", REG_EXPAND_SZ, std::string("%TEMP%\0", 7));
    EXPECT_EQ(ReadString("DwordAsString", "dflt"), "dflt");
    EXPECT_EQ(ReadString("Expand", "dflt"), "dflt");
    EXPECT_EQ(ReadString("EmptyString", "dflt"), "dflt");
    EXPECT_EQ(ReadInteger("StringAsDword", 3), 3);
    EXPECT_EQ(ReadInteger("BinaryAsDword", 3), 3);
    EXPECT_EQ(ReadInteger("ShortDword", 3), 3);
    EXPECT_EQ(ReadBinary("StringAsBinary", "dflt"), "dflt");
    EXPECT_EQ(ReadBinary("EmptyBinary", "dflt"), "dflt");
    EXPECT_EQ(ReadInteger("Missing", -1), -1);
}

TEST_F(XRegistryTest, StringsAreCutAtTheirFirstZeroAndLimitedTo1024Bytes)
{
    using namespace XRegistry;
    SetRaw("NoTerminator", REG_SZ, "abc");
    SetRaw("Embedded", REG_SZ, std::string("ab\0cd\0", 6));
    SetRaw("Longest", REG_SZ, std::string(1023, 'x') + '\0');
    SetRaw("TooLong", REG_SZ, std::string(1024, 'x') + '\0');
    EXPECT_EQ(ReadString("NoTerminator", "d"), "abc");
    EXPECT_EQ(ReadString("Embedded", "d"), "ab");
    EXPECT_EQ(ReadString("Longest", "d"), std::string(1023, 'x'));
    EXPECT_EQ(ReadString("TooLong", "d"), "d");
}

TEST_F(XRegistryTest, WithoutADefaultKeyReadsGiveDefaultsAndWritesFail)
{
    using namespace XRegistry;
    SetDefaultKey("");
    EXPECT_FALSE(WriteInteger("Stray", 1));
    EXPECT_EQ(ReadInteger("Stray", 4), 4);
    HKEY root = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "", 0, KEY_READ, &root), ERROR_SUCCESS);
    EXPECT_NE(RegQueryValueExA(root, "Stray", nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    RegCloseKey(root);
}

TEST(FontDialogSetting, FontsRoundTripThroughTheBlob)
{
    using XRegistry::TFontSettings;
    TFontSettings defaults;
    EXPECT_EQ(defaults.Name, "Arial");
    EXPECT_EQ(defaults.Size, 12);
    EXPECT_EQ(defaults.Color, 0);
    TFontSettings fancy{"Times New Roman", 36, 0x0F, 204, 0x00FF8040};
    TFontSettings system{"Tahoma", 1, 0x04, 0, static_cast<int32_t>(0x80000008)};
    for (const TFontSettings& font : {defaults, fancy, system}) {
        std::string blob = XRegistry::EncodeFontDialog(font);
        EXPECT_EQ(blob.substr(0, 4), "SFP0");
        EXPECT_EQ(XRegistry::DecodeFontDialog(blob, TFontSettings{"Fallback"}), font);
    }
}

TEST(FontDialogSetting, EmptyOrDamagedBlobsGiveTheFallback)
{
    using XRegistry::TFontSettings;
    const TFontSettings fallback{"Fallback", 9, 1, 2, 3};
    const TFontSettings font{"Courier New", 10, 2, 0, 255};
    const std::string blob = XRegistry::EncodeFontDialog(font);
    EXPECT_EQ(XRegistry::DecodeFontDialog("", fallback), fallback);
    EXPECT_EQ(XRegistry::DecodeFontDialog("garbage", fallback), fallback);
    for (size_t cut = 0; cut < blob.size(); ++cut)
        EXPECT_EQ(XRegistry::DecodeFontDialog(blob.substr(0, cut), fallback), fallback) << cut;

    // Implausible fonts are refused whole.
    auto written = [](auto tweak) {
        std::unique_ptr<TFontDialog, TObjectFree> dialog(New<TFontDialog>(nullptr));
        tweak(dialog->GetFont());
        std::unique_ptr<TStringStream, TObjectFree> stream(New<TStringStream>());
        stream->WriteComponent(dialog.get());
        return stream->GetDataString();
    };
    EXPECT_EQ(XRegistry::DecodeFontDialog(written([](TFont* f) { f->SetHeight(0); }), fallback), fallback);
    EXPECT_EQ(XRegistry::DecodeFontDialog(written([](TFont* f) { f->SetHeight(-100000); }), fallback), fallback);
    EXPECT_EQ(XRegistry::DecodeFontDialog(written([](TFont* f) { f->SetName(std::string(40, 'x')); }), fallback),
              fallback);
    EXPECT_NE(XRegistry::DecodeFontDialog(written([](TFont* f) { f->SetHeight(-16); }), fallback), fallback);

    // Random damage gives either the fallback or a font that passed every check.
    std::mt19937 random(7);
    for (int round = 0; round < 2000; ++round) {
        std::string damaged = blob;
        for (int flips = 1 + random() % 3; flips > 0; --flips)
            damaged[random() % damaged.size()] ^= static_cast<char>(1 + random() % 255);
        TFontSettings read = XRegistry::DecodeFontDialog(damaged, fallback);
        if (read == fallback)
            continue;
        EXPECT_FALSE(read.Name.empty());
        EXPECT_LE(read.Name.size(), 31u);
        EXPECT_GT(read.Size, 0);
    }
}

TEST(FontDialogSetting, AValueTheDialogWroteItselfReadsBack)
{
    std::unique_ptr<TFontDialog, TObjectFree> dialog(New<TFontDialog>(nullptr));
    dialog->SetName("ElementFontDialog");
    dialog->SetMaxFontSize(72);
    dialog->GetFont()->SetName("Verdana");
    dialog->GetFont()->SetSize(18);
    dialog->GetFont()->SetStyle(TFontStyles{fsItalic});
    std::unique_ptr<TStringStream, TObjectFree> stream(New<TStringStream>());
    stream->WriteComponent(dialog.get());
    XRegistry::TFontSettings read = XRegistry::DecodeFontDialog(stream->GetDataString(), {"Fallback"});
    EXPECT_EQ(read.Name, "Verdana");
    EXPECT_EQ(read.Size, 18);
    EXPECT_EQ(read.Style, 2);

    // And the dialog reads what the encoder wrote.
    std::unique_ptr<TFontDialog, TObjectFree> restored(New<TFontDialog>(nullptr));
    std::unique_ptr<TStringStream, TObjectFree> blob(
        New<TStringStream>(XRegistry::EncodeFontDialog({"Georgia", 20, 1, 0, 0x0000FF})));
    blob->ReadComponent(restored.get());
    EXPECT_EQ(restored->GetFont()->GetName(), "Georgia");
    EXPECT_EQ(restored->GetFont()->GetSize(), 20);
    EXPECT_TRUE(restored->GetFont()->GetStyle().Contains(fsBold));
    EXPECT_EQ(restored->GetFont()->GetColor(), 0x0000FF);
}

TEST_F(XRegistryTest, TheFontDialogValueRoundTripsThroughTheRegistry)
{
    XRegistry::TFontSettings font{"Georgia", 14, 1, 0, 0x123456};
    EXPECT_TRUE(XRegistry::WriteBinary(XRegistry::FontDialogValue, XRegistry::EncodeFontDialog(font)));
    std::string blob = XRegistry::ReadBinary(XRegistry::FontDialogValue, "");
    EXPECT_EQ(XRegistry::DecodeFontDialog(blob, {}), font);
    SetRaw(XRegistry::FontDialogValue, REG_BINARY, "TPF0\x0bTFontDialog");
    EXPECT_EQ(XRegistry::DecodeFontDialog(XRegistry::ReadBinary(XRegistry::FontDialogValue, ""), {}),
              XRegistry::TFontSettings{});
}
