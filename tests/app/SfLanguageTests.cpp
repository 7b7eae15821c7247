#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>

#include "TestSupport.h"
#include "app/SfLanguage1.h"
#include "platform/SysUtils.h"

namespace {

void WriteFile(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

// A fresh program folder with a "Language" subfolder.
std::string MakeProgramFolder(const std::string& name)
{
    std::string folder = TestTempFile(name) + "\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    CreateDirectoryA((folder + "Language").c_str(), nullptr);
    return folder;
}

}  // namespace

TEST(LanguageText, EscapesDecodeBlanksBeforeLineFeeds)
{
    EXPECT_EQ(UnescapeLanguageText("\\sView\\s"), " View ");
    EXPECT_EQ(UnescapeLanguageText("Text:\\s\\s"), "Text:  ");
    EXPECT_EQ(UnescapeLanguageText("one\\ntwo"), "one\ntwo");
    EXPECT_EQ(UnescapeLanguageText("a\\sn"), "a n");
    EXPECT_EQ(UnescapeLanguageText("plain \"quoted\" %s"), "plain \"quoted\" %s");
    EXPECT_EQ(UnescapeLanguageText(""), "");
}

TEST(LanguageText, EscapesEncodeLineFeedsAndOuterBlanksAndRoundTrip)
{
    EXPECT_EQ(EscapeLanguageText(" View "), "\\sView\\s");
    EXPECT_EQ(EscapeLanguageText("Align Horiz. Center "), "Align Horiz. Center\\s");
    EXPECT_EQ(EscapeLanguageText("a\nb"), "a\\nb");
    EXPECT_EQ(EscapeLanguageText("inner  blanks stay"), "inner  blanks stay");
    EXPECT_EQ(EscapeLanguageText("   "), "\\s\\s\\s");
    EXPECT_EQ(EscapeLanguageText(""), "");
    for (const char* text : {"", " ", "  x  ", "\n", " \n ", "line one\nline two ", "Caption|Hint", "100%"})
        EXPECT_EQ(UnescapeLanguageText(EscapeLanguageText(text)), text) << '"' << text << '"';
}

TEST(LanguageFiles, LookupTakesTheFirstFileThatExists)
{
    std::string folder = MakeProgramFolder("lookup");
    std::string language = folder + "Language\\";
    EXPECT_EQ(FindLanguageFile("Deutsch", folder), "");
    EXPECT_EQ(FindLanguageFile("", folder), "");

    WriteFile(language + "Deutsch.ini", "[Info]\n");
    EXPECT_EQ(FindLanguageFile("Deutsch", folder), language + "Deutsch.ini");
    WriteFile(language + "Deutsch", "[Info]\n");
    EXPECT_EQ(FindLanguageFile("Deutsch", folder), language + "Deutsch");
    WriteFile(folder + "Deutsch.ini", "[Info]\n");
    EXPECT_EQ(FindLanguageFile("Deutsch", folder), folder + "Deutsch.ini");
    WriteFile(folder + "Deutsch", "[Info]\n");
    EXPECT_EQ(FindLanguageFile("Deutsch", folder), folder + "Deutsch");

    // A name that is a path of its own comes first; an extension is changed to ".ini".
    std::string elsewhere = TestTempFile("elsewhere.lng");
    WriteFile(ChangeFileExt(elsewhere, ".ini"), "[Info]\n");
    EXPECT_EQ(FindLanguageFile(elsewhere, folder), ChangeFileExt(elsewhere, ".ini"));
    WriteFile(elsewhere, "[Info]\n");
    EXPECT_EQ(FindLanguageFile(elsewhere, folder), elsewhere);

    // A folder of that name is not a language file.
    CreateDirectoryA((language + "Folder.ini").c_str(), nullptr);
    EXPECT_EQ(FindLanguageFile("Folder", folder), "");
}

TEST(LanguageFiles, TheBuiltInEnglishTextIsLinkedIn)
{
    std::string text;
    ASSERT_TRUE(LoadLanguageResource("ENGLISH", text));
    std::string same;
    ASSERT_TRUE(LoadLanguageResource("English", same));
    EXPECT_EQ(text, same);
    EXPECT_NE(text.find("[Info]"), std::string::npos);
    EXPECT_NE(text.find("Language=English"), std::string::npos);
    EXPECT_NE(text.find("7004=Align Horiz. Center\\s"), std::string::npos);
    EXPECT_NE(text.find("3=File \"%s\" loading error: %d"), std::string::npos);
    EXPECT_FALSE(LoadLanguageResource("Klingon", text));
    EXPECT_FALSE(LoadLanguageResource("", text));
}

TEST(LanguageFiles, ProgramFolderIsTheExecutablesFolder)
{
    std::string folder = LanguageProgramFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '\\');
    EXPECT_TRUE(FileExists(folder + ExtractFileName(GetModuleFileNameStr(nullptr))));
}

namespace {

class TLabelLike : public TComponent {
    SF_CLASS(TLabelLike)
public:
    using TComponent::TComponent;
    std::string Caption, Hint;
};
SF_IMPLEMENT_COMPONENT(TLabelLike, TComponent)

class TFancyLabel : public TLabelLike {
    SF_CLASS(TFancyLabel)
public:
    using TLabelLike::TLabelLike;
};
SF_IMPLEMENT_COMPONENT(TFancyLabel, TLabelLike)

}  // namespace

TEST(LanguageFiles, TextsAreFoundByTheNearestRegisteredClass)
{
    TLanguageTexts texts;
    texts.SetCaption = [](TComponent* c, const std::string& s) { static_cast<TLabelLike*>(c)->Caption = s; };
    RegisterLanguageTexts(TLabelLike::StaticClass(), texts);
    std::unique_ptr<TComponent, TObjectFree> plain(New<TComponent>(nullptr));
    std::unique_ptr<TFancyLabel, TObjectFree> fancy(New<TFancyLabel>(nullptr));
    EXPECT_EQ(FindLanguageTexts(plain.get()), nullptr);
    const TLanguageTexts* found = FindLanguageTexts(fancy.get());
    ASSERT_NE(found, nullptr);
    ASSERT_TRUE(found->SetCaption);
    EXPECT_FALSE(found->SetHint);
    found->SetCaption(fancy.get(), "x");
    EXPECT_EQ(fancy->Caption, "x");
    UnregisterLanguageTexts(TLabelLike::StaticClass());
    EXPECT_EQ(FindLanguageTexts(fancy.get()), nullptr);
}
