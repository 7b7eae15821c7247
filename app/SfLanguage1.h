// Language files: INI texts that give every caption, hint and message of the program, found in
// the program folder's "Language" subfolder or, failing that, built in as the resource "ENGLISH".
#pragma once

#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/Component.h"
#include "platform/IniFiles.h"

// "\s" stands for a blank and "\n" for a line feed; "\s" is replaced first.
std::string UnescapeLanguageText(const std::string& text);
// Line feeds become "\n", and leading and trailing blanks "\s", so INI trimming keeps them.
std::string EscapeLanguageText(const std::string& text);

// The folder of the program's own file, with its trailing delimiter.
std::string LanguageProgramFolder();
// The first file that exists of: the name, the name with the extension ".ini", both in the
// program folder, both in its "Language" subfolder. Empty when none does.
std::string FindLanguageFile(const std::string& name, const std::string& programFolder);

// A language file of the "Language" subfolder as the language menu offers it.
struct TLanguageFile {
    std::string FileName;     // with its ".ini", as a language command loads it
    std::string DisplayName;  // [Info] "Language", else the file name without ".ini"
};
// The ".ini" files of the program folder's "Language" subfolder, in the order the system lists them.
std::vector<TLanguageFile> ListLanguageFiles(const std::string& programFolder);

// Sets text to the program's RCDATA resource of that name (compared without regard to case);
// false when there is none.
bool LoadLanguageResource(const std::string& name, std::string& text);

// How a language reaches the texts of one class of components: the class library's controls,
// menu items and actions register their caption and hint here, and containers that hold texts
// of components they do not own (action lists) say which. A missing function means the class
// has no such text.
struct TLanguageTexts {
    std::function<std::string(TComponent*)> GetCaption;
    std::function<void(TComponent*, const std::string&)> SetCaption;
    std::function<std::string(TComponent*)> GetHint;
    std::function<void(TComponent*, const std::string&)> SetHint;
    // Replaces the walk over owned components for the language tree.
    std::function<void(TComponent*, const std::function<void(TComponent*)>&)> ForEachChild;
};

// Registers the texts of a class and its descendants; a descendant may register its own.
void RegisterLanguageTexts(TClass cls, TLanguageTexts texts);
void UnregisterLanguageTexts(TClass cls);
// The registration of the nearest class of the component that has one, or nullptr.
const TLanguageTexts* FindLanguageTexts(const TComponent* component);

// The one language object of the process: finds and loads a language file, gives its strings
// by number or whole sections, and puts its texts on components by their tags. A key that the
// loaded file lacks or leaves empty is taken from the built-in English text.
class TSfLanguage : public TObject {
    SF_CLASS(TSfLanguage)
public:
    TSfLanguage();
    ~TSfLanguage() override;

    // The process-wide object, created on the first call.
    static TSfLanguage* Instance();
    // Frees the process-wide object (at the end of the program).
    static void FreeInstance();

    // Loads the first file that FindLanguageFile finds, else the resource of that name, else the
    // built-in English text; sets the thread locale to [Info] "LangId" when that is above 0, and
    // then tells OnChange.
    void LoadLanguage(const std::string& name);
    bool IsLoaded() const { return FIni != nullptr; }
    // The file the texts came from; empty for a resource.
    std::string GetFileName() const;

    // The key of the running number (set from number when it is 0 or more) in the section (the
    // current one when empty), unescaped; then the running number goes up by one. With nothing
    // loaded, the default text.
    std::string GetString(int number = -1, const std::string& defaultText = {}, const std::string& section = {});
    // Reads keys 1, 2, ... into the strings when the section exists; leaves them alone otherwise.
    void LoadStrings(const std::string& section, std::span<std::string> strings);

    // Puts the key of the tag on the component: the text before the first "|" as its caption,
    // the text after it as its hint; empty parts and missing keys change nothing.
    virtual void ApplyToComponent(int tag, TComponent* component, const std::string& section);
    // Applies the texts to the component when its tag is above 0, then to its children: those a
    // registered container names, else the components it owns, in index order.
    void ApplyToTree(TComponent* component, const std::string& section);
    // Writes the component's caption and hint, joined by "|" and escaped, under its tag.
    virtual void StoreFromComponent(int tag, TComponent* component, const std::string& section);

    const std::string& GetSection() const { return FSection; }
    int GetRunningNumber() const { return FRunningNumber; }
    // The folder whose "Language" subfolder holds the language files; the program's own folder
    // unless set otherwise.
    const std::string& GetProgramFolder() const { return FProgramFolder; }
    void SetProgramFolder(const std::string& folder);
    // Told after each load, so that the program can put the new texts on its windows.
    const TNotifyEvent& GetOnChange() const { return FOnChange; }
    void SetOnChange(const TNotifyEvent& handler) { FOnChange = handler; }

private:
    using TIniPtr = std::unique_ptr<TCustomIniFile, TObjectFree>;
    static TIniPtr LoadResourceIni(const std::string& name);
    void UseSection(const std::string& section);
    // The raw value from the loaded file, else the English text; empty when both lack it.
    std::string ReadValue(const std::string& key);
    bool SectionExists();

    TIniPtr FIni;
    TIniPtr FEnglish;
    std::string FSection;
    int FRunningNumber = 0;
    std::string FProgramFolder;
    TNotifyEvent FOnChange;
};

// Puts the caption and hint of controls, menu items and actions within the language's reach,
// and lets action lists lead it to their actions. Called once at start, undone at the end
// (which also frees the language object).
// Texts of the current language by number: [Const] holds messages, [Interface] the windows' texts.
std::string ConstText(int number, const std::string& english);
std::string InterfaceText(int number, const std::string& english);

void InitSfLanguage();
void DoneSfLanguage();

// A component that runs its own Execute when its owner is clicked: the owner's OnClick is bound
// to it when the owner is a control, a menu item or a toolbar item; any other owner is not bound.
class TCommand : public TComponent {
    SF_CLASS(TCommand)
public:
    TCommand(TComponent* owner, TComponent* form);

    void BeforeDestruction() override;
    virtual void Execute() {}
    TComponent* GetForm() const { return FForm; }

private:
    void OwnerClick(TObject* sender);
    TNotifyEvent* OwnerClickEvent() const;

    TComponent* FForm = nullptr;
};

// What a language command asks of its form: the main window applies a language by name.
class ILanguageTarget {
public:
    virtual void ApplyLanguage(const std::string& name) = 0;

protected:
    ~ILanguageTarget() = default;
};

// Switches to the language of its file name when clicked, through its form when the form is a
// language target.
class TLanguageCommand : public TCommand {
    SF_CLASS(TLanguageCommand)
public:
    using TCommand::TCommand;

    void Execute() override;
    const std::string& GetLanguageName() const { return FLanguageName; }
    void SetLanguageName(const std::string& name) { FLanguageName = name; }

private:
    std::string FLanguageName;
};
