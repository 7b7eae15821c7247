#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <map>
#include <random>

#include "TestSupport.h"
#include "app/SfLanguage1.h"
#include "platform/ActnList.h"
#include "platform/Controls.h"
#include "platform/Forms.h"
#include "platform/StdCtrls.h"
#include "platform/Menus.h"
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
    TStringList lines;
    lines.SetText(text);
    std::unique_ptr<TMemIniFile, TObjectFree> ini(New<TMemIniFile>(std::string()));
    ini->SetStrings(&lines);
    std::map<std::string, int> counts;
    for (const char* section : {"Info", "Interface", "Const", "ErrorMessages"}) {
        TStringList keys;
        ini->ReadSection(section, &keys);
        counts[section] = keys.Count();
    }
    EXPECT_EQ(counts, (std::map<std::string, int>{{"Info", 1}, {"Interface", 119}, {"Const", 16}, {"ErrorMessages", 3}}));
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

namespace {

using TLanguagePtr = std::unique_ptr<TSfLanguage, TObjectFree>;

TLanguagePtr LanguageIn(const std::string& folder)
{
    TLanguagePtr language(New<TSfLanguage>());
    language->SetProgramFolder(folder);
    return language;
}

const char* GermanText =
    "[Info]\n"
    "Language=Deutsch\n"
    "[Interface]\n"
    "202=Einrichten...\n"
    "301=|Seite hinzuf\xFCgen\n"
    "302=Eins|Zwei|Drei\n"
    "6010=\\sAnsicht\\s\n"
    "[Const]\n"
    "1=Projekt speichern?\n"
    "8=\n"
    "9=Titel\n";

// Registers TLabelLike's caption and hint for the duration of a test.
class TLabelTexts {
public:
    TLabelTexts()
    {
        TLanguageTexts texts;
        texts.GetCaption = [](TComponent* c) { return static_cast<TLabelLike*>(c)->Caption; };
        texts.SetCaption = [](TComponent* c, const std::string& s) { static_cast<TLabelLike*>(c)->Caption = s; };
        texts.GetHint = [](TComponent* c) { return static_cast<TLabelLike*>(c)->Hint; };
        texts.SetHint = [](TComponent* c, const std::string& s) { static_cast<TLabelLike*>(c)->Hint = s; };
        RegisterLanguageTexts(TLabelLike::StaticClass(), texts);
    }
    ~TLabelTexts() { UnregisterLanguageTexts(TLabelLike::StaticClass()); }
};

TLabelLike* Label(TComponent* owner, int tag, const std::string& caption = "form text")
{
    TLabelLike* label = New<TLabelLike>(owner);
    label->SetTag(tag);
    label->Caption = caption;
    return label;
}

}  // namespace

TEST(SfLanguage, WithNoFilesTheBuiltInEnglishTextIsUsed)
{
    TLanguagePtr language = LanguageIn(MakeProgramFolder("nofiles"));
    EXPECT_FALSE(language->IsLoaded());
    EXPECT_EQ(language->GetString(1, "default", "Const"), "default");
    for (const char* name : {"English", "Klingon", ""}) {
        language->LoadLanguage(name);
        ASSERT_TRUE(language->IsLoaded()) << name;
        EXPECT_EQ(language->GetFileName(), "");
        EXPECT_EQ(language->GetString(1, "", "Const"), "The project was modified. Save project?");
    }
    EXPECT_EQ(language->GetString(21, "", "Const"),
              "To add an image to the page use the Insert/Image item from the menu or the \"Insert image from file\" "
              "button from the toolbar.");
    EXPECT_EQ(language->GetString(18, "", "Const"),
              "In order to carry out this operation, the vector image needs to be rasterized.  Rasterize now?");
    EXPECT_EQ(language->GetString(3, "", "ErrorMessages"), "File \"%s\" loading error: %d");
    EXPECT_EQ(language->GetString(7004, "", "Interface"), "Align Horiz. Center ");
    EXPECT_EQ(language->GetString(6010), " View ");
    EXPECT_EQ(language->GetString(114), "Text:  ");
    EXPECT_EQ(language->GetString(301), "|Add Page");
    EXPECT_EQ(language->GetString(0, "none", "Info"), "none");
    EXPECT_EQ(language->GetString(-1, "none", "Info"), "none");
}

TEST(SfLanguage, FilesAreFoundInLookupOrder)
{
    std::string folder = MakeProgramFolder("order");
    TLanguagePtr language = LanguageIn(folder);
    WriteFile(folder + "Language\\Deutsch.ini", GermanText);
    language->LoadLanguage("Deutsch");
    EXPECT_EQ(language->GetFileName(), folder + "Language\\Deutsch.ini");
    EXPECT_EQ(language->GetString(1, "", "Const"), "Projekt speichern?");

    WriteFile(folder + "Deutsch.ini", "[Const]\n1=Oben\n");
    language->LoadLanguage("Deutsch.ini");
    EXPECT_EQ(language->GetFileName(), folder + "Deutsch.ini");
    EXPECT_EQ(language->GetString(1, "", "Const"), "Oben");

    // Deleting the file falls back to the built-in text.
    DeleteFileA((folder + "Deutsch.ini").c_str());
    DeleteFileA((folder + "Language\\Deutsch.ini").c_str());
    language->LoadLanguage("Deutsch");
    EXPECT_EQ(language->GetFileName(), "");
    EXPECT_EQ(language->GetString(1, "", "Const"), "The project was modified. Save project?");
}

TEST(SfLanguage, KeysMissingFromALanguageFileComeFromEnglish)
{
    std::string folder = MakeProgramFolder("fallback");
    WriteFile(folder + "Language\\Deutsch.ini", GermanText);
    TLanguagePtr language = LanguageIn(folder);
    language->LoadLanguage("Deutsch");
    EXPECT_EQ(language->GetString(7, "", "Const"), "Page");
    EXPECT_EQ(language->GetString(8, "", "Const"), "mm.");
    EXPECT_EQ(language->GetString(9, "", "Const"), "Titel");
    EXPECT_EQ(language->GetString(2, "caller's", "ErrorMessages"), "File \"%s\" uses LZW-compression. The current "
                                                                    "version of software does not support LZW-compression");
    EXPECT_EQ(language->GetString(99, "caller's", "Const"), "caller's");

    std::vector<std::string> messages(20, "old");
    language->LoadStrings("Const", messages);
    EXPECT_EQ(messages[0], "Projekt speichern?");
    EXPECT_EQ(messages[1], "");  // no key 2 in any language
    EXPECT_EQ(messages[6], "Page");
    EXPECT_EQ(messages[8], "Titel");
    EXPECT_EQ(messages[19], "The resolution value is incorrect.  It has to be a positive value above 0.");

    std::vector<std::string> untouched(3, "keep");
    language->LoadStrings("NoSuchSection", untouched);
    EXPECT_EQ(untouched, std::vector<std::string>(3, "keep"));
}

TEST(SfLanguage, StringsByRunningNumberAndCurrentSection)
{
    TLanguagePtr language = LanguageIn(MakeProgramFolder("running"));
    language->LoadLanguage("English");
    EXPECT_EQ(language->GetString(7, "", "Const"), "Page");
    EXPECT_EQ(language->GetRunningNumber(), 8);
    EXPECT_EQ(language->GetString(), "mm.");
    EXPECT_EQ(language->GetString(-1), "Title");
    EXPECT_EQ(language->GetSection(), "Const");
    EXPECT_EQ(language->GetString(1002, "", "Interface"), "&About");
    EXPECT_EQ(language->GetString(), "");  // there is no key 1003
    EXPECT_EQ(language->GetString(1100), "Order");
    EXPECT_EQ(language->GetSection(), "Interface");
}

TEST(SfLanguage, SwitchingLanguageNotifiesAndKeepsTheSection)
{
    std::string folder = MakeProgramFolder("switch");
    WriteFile(folder + "Language\\Deutsch.ini", GermanText);
    TLanguagePtr language = LanguageIn(folder);
    int changes = 0;
    language->SetOnChange([&](TObject* sender) {
        EXPECT_EQ(sender, language.get());
        ++changes;
    });
    language->LoadLanguage("English");
    EXPECT_EQ(language->GetString(202, "", "Interface"), "Setup...");
    language->LoadLanguage("Deutsch");
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(language->GetSection(), "Interface");
    EXPECT_EQ(language->GetRunningNumber(), 203);
    EXPECT_EQ(language->GetString(202), "Einrichten...");
    language->LoadLanguage("English");
    EXPECT_EQ(changes, 3);
    EXPECT_EQ(language->GetString(202), "Setup...");
}

TEST(SfLanguage, LangIdSetsTheThreadLocale)
{
    std::string folder = MakeProgramFolder("langid");
    WriteFile(folder + "Language\\Locale.ini", "[Info]\nLanguage=Locale\nLangId=1031\n");
    LCID before = GetThreadLocale();
    TLanguagePtr language = LanguageIn(folder);
    language->LoadLanguage("Locale");
    EXPECT_EQ(GetThreadLocale(), 1031u);
    SetThreadLocale(before);
    language->LoadLanguage("English");
    EXPECT_EQ(GetThreadLocale(), before);
}

TEST(SfLanguage, TextsGoOnComponentsByTag)
{
    TLabelTexts registration;
    std::string folder = MakeProgramFolder("apply");
    WriteFile(folder + "Language\\Deutsch.ini", GermanText);
    TLanguagePtr language = LanguageIn(folder);
    language->LoadLanguage("English");

    std::unique_ptr<TComponent, TObjectFree> form(New<TComponent>(nullptr));
    TLabelLike* hintOnly = Label(form.get(), 301);
    TLabelLike* captionOnly = Label(form.get(), 202);
    TLabelLike* untagged = Label(form.get(), 0);
    TLabelLike* nested = Label(untagged, 7004);
    TLabelLike* negative = Label(form.get(), -1);
    TLabelLike* unknownKey = Label(form.get(), 31337);
    TLabelLike* escaped = Label(form.get(), 6010);
    TComponent* plain = New<TComponent>(form.get());
    plain->SetTag(202);

    language->ApplyToTree(form.get(), "Interface");
    EXPECT_EQ(hintOnly->Caption, "form text");
    EXPECT_EQ(hintOnly->Hint, "Add Page");
    EXPECT_EQ(captionOnly->Caption, "Setup...");
    EXPECT_EQ(captionOnly->Hint, "");
    EXPECT_EQ(untagged->Caption, "form text");
    EXPECT_EQ(nested->Caption, "Align Horiz. Center ");
    EXPECT_EQ(negative->Caption, "form text");
    EXPECT_EQ(unknownKey->Caption, "form text");
    EXPECT_EQ(escaped->Caption, " View ");

    language->LoadLanguage("Deutsch");
    TLabelLike* threeParts = Label(form.get(), 302);
    language->ApplyToTree(form.get(), "");
    EXPECT_EQ(captionOnly->Caption, "Einrichten...");
    EXPECT_EQ(hintOnly->Hint, "Seite hinzuf\xFC" "gen");
    EXPECT_EQ(threeParts->Caption, "Eins");
    EXPECT_EQ(threeParts->Hint, "Zwei|Drei");
    EXPECT_EQ(escaped->Caption, " Ansicht ");
    // Not in the German file: the English text, not the one left from before.
    EXPECT_EQ(nested->Caption, "Align Horiz. Center ");
}

TEST(SfLanguage, ContainersNameTheirOwnChildren)
{
    TLabelTexts registration;
    TLanguagePtr language = LanguageIn(MakeProgramFolder("container"));
    language->LoadLanguage("English");
    std::unique_ptr<TComponent, TObjectFree> form(New<TComponent>(nullptr));
    std::unique_ptr<TLabelLike, TObjectFree> listed(Label(nullptr, 1001));
    TLabelLike* owner = Label(form.get(), 0);
    TLabelLike* owned = Label(owner, 1002);

    // A container (like an action list) whose texts live in components it does not own.
    TLanguageTexts texts;
    texts.ForEachChild = [&](TComponent*, const std::function<void(TComponent*)>& visit) { visit(listed.get()); };
    RegisterLanguageTexts(TFancyLabel::StaticClass(), texts);
    TFancyLabel* list = New<TFancyLabel>(form.get());
    TLabelLike* ownedByList = Label(list, 1002);
    language->ApplyToTree(form.get(), "Interface");
    UnregisterLanguageTexts(TFancyLabel::StaticClass());

    EXPECT_EQ(listed->Caption, "&Sheetfold Help");
    EXPECT_EQ(ownedByList->Caption, "form text");
    EXPECT_EQ(owned->Caption, "&About");
}

TEST(SfLanguage, StoredTextsReachTheFileAndReadBack)
{
    TLabelTexts registration;
    std::string folder = MakeProgramFolder("store");
    WriteFile(folder + "Language\\Mine.ini", "[Info]\nLanguage=Mine\n");
    TLanguagePtr language = LanguageIn(folder);
    language->LoadLanguage("Mine");
    std::unique_ptr<TLabelLike, TObjectFree> label(Label(nullptr, 500, " View "));
    label->Hint = "two\nlines";
    language->StoreFromComponent(500, label.get(), "Interface");
    std::unique_ptr<TLabelLike, TObjectFree> captionOnly(Label(nullptr, 501, "Cut "));
    language->StoreFromComponent(501, captionOnly.get(), "");

    std::unique_ptr<TMemIniFile, TObjectFree> file(New<TMemIniFile>(folder + "Language\\Mine.ini"));
    EXPECT_EQ(file->ReadString("Interface", "500", ""), "\\sView |two\\nlines");
    EXPECT_EQ(file->ReadString("Interface", "501", ""), "Cut\\s");

    language->LoadLanguage("Mine");
    std::unique_ptr<TLabelLike, TObjectFree> copy(Label(nullptr, 500, ""));
    language->ApplyToComponent(500, copy.get(), "Interface");
    EXPECT_EQ(copy->Caption, " View ");
    EXPECT_EQ(copy->Hint, "two\nlines");
}

TEST(SfLanguage, TheProcessHasOneLanguageObject)
{
    TSfLanguage* first = TSfLanguage::Instance();
    EXPECT_EQ(TSfLanguage::Instance(), first);
    EXPECT_EQ(first->GetProgramFolder(), LanguageProgramFolder());
    TSfLanguage::FreeInstance();
    TSfLanguage::FreeInstance();
    EXPECT_NE(TSfLanguage::Instance(), nullptr);
    TSfLanguage::FreeInstance();
}

namespace {

class TClickable : public TGraphicControl {
    SF_CLASS(TClickable)
public:
    using TGraphicControl::TGraphicControl;
    using TGraphicControl::Click;
};
SF_IMPLEMENT_COMPONENT(TClickable, TGraphicControl)

class TCountingCommand : public TCommand {
    SF_CLASS(TCountingCommand)
public:
    using TCommand::TCommand;
    void Execute() override { ++Runs; }
    int Runs = 0;
};
SF_IMPLEMENT_ABSTRACT(TCountingCommand, TCommand)

class TTargetForm : public TComponent, public ILanguageTarget {
public:
    using TComponent::TComponent;
    void ApplyLanguage(const std::string& name) override { Applied.push_back(name); }
    std::vector<std::string> Applied;
};

// The unit's start and end around one test.
class TLanguageUnit {
public:
    TLanguageUnit() { InitSfLanguage(); }
    ~TLanguageUnit() { DoneSfLanguage(); }
};

}  // namespace

TEST(LanguageCommand, CommandsRunWhenTheirOwnerIsClicked)
{
    std::unique_ptr<TClickable, TObjectFree> control(New<TClickable>(nullptr));
    std::unique_ptr<TMenuItem, TObjectFree> item(New<TMenuItem>(nullptr));
    std::unique_ptr<TComponent, TObjectFree> other(New<TComponent>(nullptr));
    auto* onControl = New<TCountingCommand>(control.get(), nullptr);
    auto* onItem = New<TCountingCommand>(item.get(), nullptr);
    auto* unbound = New<TCountingCommand>(other.get(), nullptr);
    control->Click();
    control->Click();
    item->Click();
    EXPECT_EQ(onControl->Runs, 2);
    EXPECT_EQ(onItem->Runs, 1);
    EXPECT_EQ(unbound->Runs, 0);

    // A command freed before its owner leaves no handler behind.
    onControl->Free();
    EXPECT_FALSE(static_cast<bool>(control->OnClick));
    control->Click();
}

TEST(LanguageCommand, LanguageCommandsAskTheirFormToApplyTheirLanguage)
{
    std::unique_ptr<TTargetForm, TObjectFree> form(New<TTargetForm>(nullptr));
    std::unique_ptr<TMenuItem, TObjectFree> item(New<TMenuItem>(form.get()));
    auto* command = New<TLanguageCommand>(item.get(), form.get());
    command->SetLanguageName("Deutsch.ini");
    item->Click();
    EXPECT_EQ(form->Applied, std::vector<std::string>{"Deutsch.ini"});

    std::unique_ptr<TComponent, TObjectFree> plainForm(New<TComponent>(nullptr));
    std::unique_ptr<TMenuItem, TObjectFree> other(New<TMenuItem>(nullptr));
    New<TLanguageCommand>(other.get(), plainForm.get())->SetLanguageName("x.ini");
    other->Click();
    EXPECT_EQ(form->Applied.size(), 1u);
}

TEST(LanguageCommand, ControlsItemsAndActionsTakeTheirTexts)
{
    TLanguageUnit unit;
    TLanguagePtr language = LanguageIn(MakeProgramFolder("standard"));
    language->LoadLanguage("English");
    std::unique_ptr<TComponent, TObjectFree> form(New<TComponent>(nullptr));
    TClickable* button = New<TClickable>(form.get());
    button->SetTag(202);
    TClickable* toolButton = New<TClickable>(form.get());
    toolButton->SetTag(301);
    TMenuItem* item = New<TMenuItem>(form.get());
    item->SetTag(400);
    TActionList* list = New<TActionList>(form.get());
    TAction* action = New<TAction>(form.get());
    action->SetTag(1101);
    action->SetActionList(list);

    language->ApplyToTree(form.get(), "Interface");
    EXPECT_EQ(button->GetCaption(), "Setup...");
    EXPECT_EQ(toolButton->GetHint(), "Add Page");
    EXPECT_EQ(item->GetCaption(), "&File");
    EXPECT_EQ(action->GetCaption(), "Bring to Front");

    button->SetHint("A hint");
    language->StoreFromComponent(202, button, "");
    EXPECT_EQ(language->GetString(202), "Setup...|A hint");
}

TEST(LanguageFiles, TheLanguageFolderIsListedWithDisplayNames)
{
    std::string folder = MakeProgramFolder("menu");
    EXPECT_TRUE(ListLanguageFiles(folder).empty());
    WriteFile(folder + "Language\\Deutsch.ini", GermanText);
    WriteFile(folder + "Language\\Plain.INI", "[Const]\n1=x\n");
    WriteFile(folder + "Language\\Blank.ini", "[Info]\nLanguage=\n");
    WriteFile(folder + "Language\\Backup.inix", "[Info]\nLanguage=Old\n");
    WriteFile(folder + "Language\\readme.txt", "");
    CreateDirectoryA((folder + "Language\\Folder.ini").c_str(), nullptr);

    std::vector<TLanguageFile> files = ListLanguageFiles(folder);
    std::map<std::string, std::string> names;
    for (const TLanguageFile& file : files)
        names[file.FileName] = file.DisplayName;
    EXPECT_EQ(names, (std::map<std::string, std::string>{
                         {"Blank.ini", "Blank"}, {"Deutsch.ini", "Deutsch"}, {"Plain.INI", "Plain"}}));

    // Each listed name loads its own file.
    TLanguagePtr language = LanguageIn(folder);
    language->LoadLanguage("Deutsch.ini");
    EXPECT_EQ(language->GetFileName(), folder + "Language\\Deutsch.ini");
}

TEST(LanguageCommand, ALiveFormSwitchesToAnotherLanguageAndBack)
{
    TLanguageUnit unit;
    std::string folder = MakeProgramFolder("liveform");
    WriteFile(folder + "Language\\Deutsch.ini", GermanText);
    TLanguagePtr language = LanguageIn(folder);
    std::unique_ptr<TForm, TObjectFree> form(New<TForm>(nullptr));
    TButton* button = New<TButton>(form.get());
    button->SetParent(form.get());
    button->SetTag(202);
    TLabel* label = New<TLabel>(form.get());
    label->SetParent(form.get());
    label->SetTag(6010);
    form->HandleNeeded();

    auto windowText = [](TWinControl* control) {
        char text[64] = {};
        GetWindowTextA(control->GetHandle(), text, sizeof(text));
        return std::string(text);
    };
    for (const char* name : {"English", "Deutsch", "English"}) {
        language->LoadLanguage(name);
        language->ApplyToTree(form.get(), "Interface");
        bool german = std::string(name) == "Deutsch";
        EXPECT_EQ(windowText(button), german ? "Einrichten..." : "Setup...") << name;
        EXPECT_EQ(label->GetCaption(), german ? " Ansicht " : " View ") << name;
    }
}

// A language file of 7,000 sections loads and gives every string in time in proportion to its size,
// and damaged language files load as text does: no stall, no crash, no memory beyond their size.
TEST(SfLanguage, LargeAndDamagedLanguageFilesLoadInBoundedTime)
{
    std::string folder = MakeProgramFolder("large");
    TLanguagePtr language = LanguageIn(folder);
    std::string large = "[Info]\r\nLanguage=Large\r\n";
    for (int s = 0; s < 7000; ++s) {
        large += "[Section" + std::to_string(s) + "]\r\n";
        for (int k = 1; k <= 3; ++k)
            large += std::to_string(k) + "=Text\\s" + std::to_string(s * 10 + k) + "\r\n";
    }
    WriteFile(folder + "Language\\Large.ini", large);
    TCaseWatch watch;
    watch.Begin("7000 sections");
    language->LoadLanguage("Large");
    for (int s = 0; s < 7000; ++s) {
        ASSERT_EQ("Text " + std::to_string(s * 10 + 1), language->GetString(1, "", "Section" + std::to_string(s)));
        ASSERT_EQ("Text " + std::to_string(s * 10 + 2), language->GetString());
        ASSERT_EQ("Text " + std::to_string(s * 10 + 3), language->GetString());
    }
    EXPECT_LT(watch.End(), size_t(32) << 20);

    std::mt19937 random(31);
    const char specials[] = {'[', ']', '=', ';', '|', '\\', '\0', '\r', '\n', '\xFF'};
    for (int round = 0; round < 100; ++round) {
        std::string text = GermanText;
        for (int i = 0, n = 1 + int(random() % 10); i < n; ++i)
            text[random() % text.size()] = specials[random() % sizeof(specials)];
        WriteFile(folder + "Language\\Damaged.ini", text);
        watch.Begin("damaged #" + std::to_string(round));
        language->LoadLanguage("Damaged");
        for (const char* section : {"Const", "Interface", "ErrorMessages", "Info"})
            for (int key = 0; key < 30; ++key)
                language->GetString(key, "", section);
        EXPECT_LT(watch.End(), size_t(16) << 20);
    }
}
