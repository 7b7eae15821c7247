// Keyboard shortcuts: a virtual key with Shift, Ctrl and Alt bits in one 16-bit value, and its
// text form ("Ctrl+S", "Shift+Del") as menus show it and resources name it.
#pragma once

#include <cstdint>
#include <string>

using TShortCut = uint16_t;

constexpr TShortCut scShift = 0x2000;
constexpr TShortCut scCtrl = 0x4000;
constexpr TShortCut scAlt = 0x8000;
constexpr TShortCut scNone = 0;

// The key name alone: letters and digits as themselves, "F1".."F24", "Num 0".."Num 9", the
// named keys ("BkSp", "Tab", "Enter", "Esc", "Space", "PgUp", "PgDn", "End", "Home", "Left",
// "Up", "Right", "Down", "Ins", "Del") and the system's name for any other key.
std::string KeyToText(uint8_t key);
// The modifiers as "Shift+", "Ctrl+", "Alt+" (in that order) before the key name; "" for 0 or
// for a key without a name.
std::string ShortCutToText(TShortCut shortCut);
// The inverse of ShortCutToText, without regard to case; 0 when the text names no shortcut.
TShortCut TextToShortCut(const std::string& text);
