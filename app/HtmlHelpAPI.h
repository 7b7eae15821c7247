// The HTML Help library, loaded once at start: the program's help command shows its compiled
// help file through it, and does nothing where the library is missing.
#pragma once

#include <windows.h>

#include <string>

// Loads hhctrl.ocx (by name, else from its registered path, else from the system folder).
void LoadHtmlHelp();
void UnloadHtmlHelp();
bool HtmlHelpLoaded();
// Shows the help file's default topic; false when the library is not loaded.
bool ShowHtmlHelp(HWND caller, const std::string& helpFile);
// The registered server path with a leading %SYSTEMROOT% (any case) replaced by the Windows folder.
std::string ExpandSystemRoot(const std::string& path, const std::string& windowsFolder);
