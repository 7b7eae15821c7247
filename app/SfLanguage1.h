// Language files: INI texts that give every caption, hint and message of the program, found in
// the program folder's "Language" subfolder or, failing that, built in as the resource "ENGLISH".
#pragma once

#include <functional>
#include <string>

#include "platform/Component.h"

// "\s" stands for a blank and "\n" for a line feed; "\s" is replaced first.
std::string UnescapeLanguageText(const std::string& text);
// Line feeds become "\n", and leading and trailing blanks "\s", so INI trimming keeps them.
std::string EscapeLanguageText(const std::string& text);

// The folder of the program's own file, with its trailing delimiter.
std::string LanguageProgramFolder();
// The first file that exists of: the name, the name with the extension ".ini", both in the
// program folder, both in its "Language" subfolder. Empty when none does.
std::string FindLanguageFile(const std::string& name, const std::string& programFolder);
// The text of the program's RCDATA resource of that name (compared without regard to case), or
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
