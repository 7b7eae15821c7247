#include "app/SfLanguage1.h"

#include <windows.h>

#include <memory>
#include <utility>
#include <vector>

#include "platform/Streams.h"
#include "platform/SysUtils.h"

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
