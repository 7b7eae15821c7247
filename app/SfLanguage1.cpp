#include "app/SfLanguage1.h"

#include <windows.h>

#include <memory>
#include <utility>
#include <vector>

#include "platform/ActnList.h"
#include "platform/Controls.h"
#include "platform/Menus.h"
#include "platform/Streams.h"
#include "platform/SysUtils.h"
#include "skin/SkinControls.h"
#include "toolbar/TBDockableWindow.h"
#include "toolbar/TBItem.h"

namespace {

std::vector<std::pair<TClass, TLanguageTexts>>& TextRegistry()
{
    static std::vector<std::pair<TClass, TLanguageTexts>> registry;
    return registry;
}

}  // namespace

std::string UnescapeLanguageText(const std::string& text)
{
    return StringReplace(StringReplace(text, "\\s", " ", rfReplaceAll), "\\n", "\n", rfReplaceAll);
}

std::string EscapeLanguageText(const std::string& text)
{
    std::string lines = StringReplace(text, "\n", "\\n", rfReplaceAll);
    size_t first = lines.find_first_not_of(' ');
    if (first == std::string::npos)
        first = lines.size();
    size_t last = lines.find_last_not_of(' ');
    size_t trailing = last == std::string::npos ? 0 : lines.size() - last - 1;
    std::string escaped;
    for (size_t i = 0; i < first; ++i)
        escaped += "\\s";
    escaped += lines.substr(first, lines.size() - first - trailing);
    for (size_t i = 0; i < trailing; ++i)
        escaped += "\\s";
    return escaped;
}

std::string LanguageProgramFolder()
{
    return ExtractFilePath(GetModuleFileNameStr(nullptr));
}

std::string FindLanguageFile(const std::string& name, const std::string& programFolder)
{
    if (name.empty())
        return {};
    std::string iniName = ChangeFileExt(name, ".ini");
    std::string folder = programFolder.empty() ? std::string() : IncludeTrailingPathDelimiter(programFolder);
    std::string languageFolder = folder + "Language\\";
    for (const std::string& candidate : {name, iniName, folder + name, folder + iniName, languageFolder + name,
                                         languageFolder + iniName})
        if (FileExists(candidate))
            return candidate;
    return {};
}

std::vector<TLanguageFile> ListLanguageFiles(const std::string& programFolder)
{
    std::string folder = IncludeTrailingPathDelimiter(programFolder) + "Language\\";
    std::vector<TLanguageFile> files;
    for (const TSearchRec& found : FindFiles(folder + "*.ini")) {
        // The system's pattern also matches longer extensions through short names, and folders.
        if ((found.Attr & FILE_ATTRIBUTE_DIRECTORY) || !SameText(ExtractFileExt(found.Name), ".ini"))
            continue;
        TLanguageFile file;
        file.FileName = found.Name;
        std::unique_ptr<TMemIniFile, TObjectFree> ini(New<TMemIniFile>(folder + found.Name));
        file.DisplayName = ini->ReadString("Info", "Language", "");
        if (file.DisplayName.empty())
            file.DisplayName = found.Name.substr(0, found.Name.size() - 4);
        files.push_back(std::move(file));
    }
    return files;
}

bool LoadLanguageResource(const std::string& name, std::string& text)
{
    HINSTANCE instance = GetModuleHandleA(nullptr);
    if (name.empty() || !FindResourceA(instance, name.c_str(), MAKEINTRESOURCEA(10)))
        return false;
    std::unique_ptr<TResourceStream, TObjectFree> stream(New<TResourceStream>(instance, name, MAKEINTRESOURCEA(10)));
    text.assign(static_cast<const char*>(stream->GetMemory()), static_cast<size_t>(stream->GetSize()));
    return true;
}

void RegisterLanguageTexts(TClass cls, TLanguageTexts texts)
{
    UnregisterLanguageTexts(cls);
    TextRegistry().emplace_back(cls, std::move(texts));
}

void UnregisterLanguageTexts(TClass cls)
{
    auto& registry = TextRegistry();
    std::erase_if(registry, [cls](const auto& entry) { return entry.first == cls; });
}

const TLanguageTexts* FindLanguageTexts(const TComponent* component)
{
    if (!component)
        return nullptr;
    for (TClass cls = component->ClassType(); cls; cls = cls->Parent)
        for (const auto& [registered, texts] : TextRegistry())
            if (registered == cls)
                return &texts;
    return nullptr;
}

// TSfLanguage

SF_IMPLEMENT_CLASS(TSfLanguage, TObject)

namespace {

TSfLanguage*& TheLanguage()
{
    static TSfLanguage* language = nullptr;
    return language;
}

constexpr const char* BuiltInLanguage = "ENGLISH";

}  // namespace

TSfLanguage::TSfLanguage() : FProgramFolder(LanguageProgramFolder())
{
}

TSfLanguage::~TSfLanguage() = default;

TSfLanguage* TSfLanguage::Instance()
{
    TSfLanguage*& language = TheLanguage();
    if (!language)
        language = New<TSfLanguage>();
    return language;
}

void TSfLanguage::FreeInstance()
{
    FreeAndNil(TheLanguage());
}

void TSfLanguage::SetProgramFolder(const std::string& folder)
{
    FProgramFolder = folder.empty() ? folder : IncludeTrailingPathDelimiter(folder);
}

TSfLanguage::TIniPtr TSfLanguage::LoadResourceIni(const std::string& name)
{
    std::string text;
    if (!LoadLanguageResource(name, text))
        return nullptr;
    TStringList lines;
    lines.SetText(text);
    std::unique_ptr<TMemIniFile, TObjectFree> ini(New<TMemIniFile>(std::string()));
    ini->SetStrings(&lines);
    return TIniPtr(ini.release());
}

void TSfLanguage::LoadLanguage(const std::string& name)
{
    FIni.reset();
    std::string fileName = FindLanguageFile(name, FProgramFolder);
    if (!fileName.empty()) {
        try {
            FIni.reset(New<TMemIniFile>(fileName));
        } catch (const EStreamError&) {
            // A file that cannot be read is as good as missing: the program must still have texts.
            FIni.reset();
        }
    }
    if (!FIni)
        FIni = LoadResourceIni(name);
    if (!FIni)
        FIni = LoadResourceIni(BuiltInLanguage);
    if (!FIni)
        throw EResNotFound("The built-in language text is missing from the program");
    int langId = FIni->ReadInteger("Info", "LangId", 0);
    if (langId > 0)
        SetThreadLocale(static_cast<LCID>(langId));
    FOnChange(this);
}

std::string TSfLanguage::GetFileName() const
{
    return FIni ? FIni->GetFileName() : std::string();
}

void TSfLanguage::UseSection(const std::string& section)
{
    if (!section.empty())
        FSection = section;
}

std::string TSfLanguage::ReadValue(const std::string& key)
{
    std::string value = FIni->ReadString(FSection, key, "");
    if (!value.empty())
        return value;
    if (!FEnglish)
        FEnglish = LoadResourceIni(BuiltInLanguage);
    return FEnglish ? FEnglish->ReadString(FSection, key, "") : std::string();
}

bool TSfLanguage::SectionExists()
{
    if (FIni->SectionExists(FSection))
        return true;
    if (!FEnglish)
        FEnglish = LoadResourceIni(BuiltInLanguage);
    return FEnglish && FEnglish->SectionExists(FSection);
}

std::string TSfLanguage::GetString(int number, const std::string& defaultText, const std::string& section)
{
    UseSection(section);
    if (number >= 0)
        FRunningNumber = number;
    std::string key = IntToStr(FRunningNumber);
    ++FRunningNumber;
    if (!FIni)
        return defaultText;
    std::string value = ReadValue(key);
    return value.empty() ? defaultText : UnescapeLanguageText(value);
}

std::string ConstText(int number, const std::string& english)
{
    return TSfLanguage::Instance()->GetString(number, english, "Const");
}

std::string InterfaceText(int number, const std::string& english)
{
    return TSfLanguage::Instance()->GetString(number, english, "Interface");
}

void TSfLanguage::LoadStrings(const std::string& section, std::span<std::string> strings)
{
    UseSection(section);
    if (!FIni || !SectionExists())
        return;
    for (size_t i = 0; i < strings.size(); ++i)
        strings[i] = UnescapeLanguageText(ReadValue(IntToStr(static_cast<int>(i + 1))));
}

void TSfLanguage::ApplyToComponent(int tag, TComponent* component, const std::string& section)
{
    UseSection(section);
    if (!FIni)
        return;
    std::string value = UnescapeLanguageText(ReadValue(IntToStr(tag)));
    const TLanguageTexts* texts = FindLanguageTexts(component);
    if (value.empty() || !texts)
        return;
    size_t bar = value.find('|');
    std::string caption = value.substr(0, bar);
    std::string hint = bar == std::string::npos ? std::string() : value.substr(bar + 1);
    if (!caption.empty() && texts->SetCaption)
        texts->SetCaption(component, caption);
    if (!hint.empty() && texts->SetHint)
        texts->SetHint(component, hint);
}

void TSfLanguage::ApplyToTree(TComponent* component, const std::string& section)
{
    UseSection(section);
    if (component->GetTag() > 0)
        ApplyToComponent(static_cast<int>(component->GetTag()), component, FSection);
    const TLanguageTexts* texts = FindLanguageTexts(component);
    if (texts && texts->ForEachChild) {
        texts->ForEachChild(component, [&](TComponent* child) { ApplyToTree(child, FSection); });
        return;
    }
    for (int i = 0; i < component->GetComponentCount(); ++i)
        ApplyToTree(component->GetComponent(i), FSection);
}

void TSfLanguage::StoreFromComponent(int tag, TComponent* component, const std::string& section)
{
    UseSection(section);
    const TLanguageTexts* texts = FindLanguageTexts(component);
    if (!FIni || !texts)
        return;
    std::string caption = texts->GetCaption ? texts->GetCaption(component) : std::string();
    std::string hint = texts->GetHint ? texts->GetHint(component) : std::string();
    std::string value = hint.empty() ? caption : caption + "|" + hint;
    FIni->WriteString(FSection, IntToStr(tag), EscapeLanguageText(value));
    // A language file on disk keeps what is stored in it at once.
    if (!FIni->GetFileName().empty())
        FIni->UpdateFile();
}

// Start and end of the unit

namespace {
// The caption and hint of a class that offers GetCaption/SetCaption/GetHint/SetHint itself.
template <class T>
TLanguageTexts CaptionAndHintTexts()
{
    TLanguageTexts texts;
    texts.GetCaption = [](TComponent* c) { return static_cast<T*>(c)->GetCaption(); };
    texts.SetCaption = [](TComponent* c, const std::string& s) { static_cast<T*>(c)->SetCaption(s); };
    texts.GetHint = [](TComponent* c) { return static_cast<T*>(c)->GetHint(); };
    texts.SetHint = [](TComponent* c, const std::string& s) { static_cast<T*>(c)->SetHint(s); };
    return texts;
}

// Themed controls and panels keep wide captions (and the controls wide hints): the language's
// text reaches them converted from the process's code page.
template <class T>
TLanguageTexts WideCaptionTexts()
{
    TLanguageTexts texts = CaptionAndHintTexts<TControl>();
    texts.GetCaption = [](TComponent* c) { return WideToAnsi(static_cast<T*>(c)->GetCaption()); };
    texts.SetCaption = [](TComponent* c, const std::string& s) { static_cast<T*>(c)->SetCaption(AnsiToWide(s)); };
    return texts;
}

template <class T>
TLanguageTexts WideCaptionAndHintTexts()
{
    TLanguageTexts texts = WideCaptionTexts<T>();
    texts.GetHint = [](TComponent* c) { return WideToAnsi(static_cast<T*>(c)->GetHint()); };
    texts.SetHint = [](TComponent* c, const std::string& s) { static_cast<T*>(c)->SetHint(AnsiToWide(s)); };
    return texts;
}
}

void InitSfLanguage()
{
    RegisterLanguageTexts(TControl::StaticClass(), CaptionAndHintTexts<TControl>());
    RegisterLanguageTexts(TMenuItem::StaticClass(), CaptionAndHintTexts<TMenuItem>());
    RegisterLanguageTexts(TCustomAction::StaticClass(), CaptionAndHintTexts<TCustomAction>());
    RegisterLanguageTexts(TSkinTextObject::StaticClass(), WideCaptionAndHintTexts<TSkinTextObject>());
    RegisterLanguageTexts(TTBCustomDockableWindow::StaticClass(), WideCaptionTexts<TTBCustomDockableWindow>());
    RegisterLanguageTexts(TTBCustomItem::StaticClass(), WideCaptionAndHintTexts<TTBCustomItem>());

    TLanguageTexts actionList;
    actionList.ForEachChild = [](TComponent* c, const std::function<void(TComponent*)>& visit) {
        auto* list = static_cast<TCustomActionList*>(c);
        for (int i = 0; i < list->GetActionCount(); ++i)
            visit(list->GetAction(i));
    };
    RegisterLanguageTexts(TCustomActionList::StaticClass(), actionList);
}

void DoneSfLanguage()
{
    TSfLanguage::FreeInstance();
    for (TClass cls : {TControl::StaticClass(), TMenuItem::StaticClass(), TCustomAction::StaticClass(),
                       TCustomActionList::StaticClass(), TSkinTextObject::StaticClass(),
                       TTBCustomDockableWindow::StaticClass(), TTBCustomItem::StaticClass()})
        UnregisterLanguageTexts(cls);
}

// TCommand

SF_IMPLEMENT_ABSTRACT(TCommand, TComponent)

TCommand::TCommand(TComponent* owner, TComponent* form) : TComponent(owner), FForm(form)
{
    if (TNotifyEvent* click = OwnerClickEvent())
        *click = TNotifyEvent(this, &TCommand::OwnerClick);
}

TNotifyEvent* TCommand::OwnerClickEvent() const
{
    TComponent* owner = GetOwner();
    if (Is<TControl>(owner))
        return &static_cast<TControl*>(owner)->OnClick;
    if (Is<TMenuItem>(owner))
        return &static_cast<TMenuItem*>(owner)->OnClick;
    if (Is<TTBCustomItem>(owner))
        return &static_cast<TTBCustomItem*>(owner)->OnClick;
    return nullptr;
}

void TCommand::BeforeDestruction()
{
    // The owner outlives a command freed on its own: it must not call into freed memory.
    TNotifyEvent* click = OwnerClickEvent();
    if (click && *click == TNotifyEvent(this, &TCommand::OwnerClick))
        *click = nullptr;
    TComponent::BeforeDestruction();
}

void TCommand::OwnerClick(TObject*)
{
    Execute();
}

// TLanguageCommand

SF_IMPLEMENT_ABSTRACT(TLanguageCommand, TCommand)

void TLanguageCommand::Execute()
{
    if (auto* target = dynamic_cast<ILanguageTarget*>(GetForm()))
        target->ApplyLanguage(FLanguageName);
}
