#include "platform/ShortCuts.h"

#include <windows.h>

namespace {

const char* NamedKey(uint8_t key)
{
    switch (key) {
    case VK_BACK: return "BkSp";
    case VK_TAB: return "Tab";
    case VK_RETURN: return "Enter";
    case VK_ESCAPE: return "Esc";
    case VK_SPACE: return "Space";
    case VK_PRIOR: return "PgUp";
    case VK_NEXT: return "PgDn";
    case VK_END: return "End";
    case VK_HOME: return "Home";
    case VK_LEFT: return "Left";
    case VK_UP: return "Up";
    case VK_RIGHT: return "Right";
    case VK_DOWN: return "Down";
    case VK_INSERT: return "Ins";
    case VK_DELETE: return "Del";
    default: return nullptr;
    }
}

std::string SystemKeyName(uint8_t key)
{
    UINT scan = MapVirtualKeyA(key, MAPVK_VK_TO_VSC);
    if (scan == 0)
        return {};
    char name[256] = {};
    int len = GetKeyNameTextA(static_cast<LONG>(scan << 16), name, sizeof(name));
    return len > 0 ? std::string(name, static_cast<size_t>(len)) : std::string();
}

bool StartsWithNoCase(const std::string& text, size_t pos, const char* prefix)
{
    size_t len = std::char_traits<char>::length(prefix);
    return text.size() - pos >= len && _strnicmp(text.c_str() + pos, prefix, len) == 0;
}

}

std::string KeyToText(uint8_t key)
{
    if (const char* name = NamedKey(key))
        return name;
    if ((key >= '0' && key <= '9') || (key >= 'A' && key <= 'Z'))
        return std::string(1, static_cast<char>(key));
    char text[8];
    if (key >= VK_NUMPAD0 && key <= VK_NUMPAD9) {
        wsprintfA(text, "Num %d", key - VK_NUMPAD0);
        return text;
    }
    if (key >= VK_F1 && key <= VK_F24) {
        wsprintfA(text, "F%d", key - VK_F1 + 1);
        return text;
    }
    return SystemKeyName(key);
}

std::string ShortCutToText(TShortCut shortCut)
{
    std::string name = KeyToText(static_cast<uint8_t>(shortCut & 0xFF));
    if (name.empty())
        return {};
    std::string text;
    if (shortCut & scShift)
        text += "Shift+";
    if (shortCut & scCtrl)
        text += "Ctrl+";
    if (shortCut & scAlt)
        text += "Alt+";
    return text + name;
}

TShortCut TextToShortCut(const std::string& text)
{
    TShortCut modifiers = 0;
    size_t pos = 0;
    for (;;) {
        if (StartsWithNoCase(text, pos, "Shift+")) {
            modifiers |= scShift;
            pos += 6;
        } else if (StartsWithNoCase(text, pos, "Ctrl+")) {
            modifiers |= scCtrl;
            pos += 5;
        } else if (StartsWithNoCase(text, pos, "Alt+")) {
            modifiers |= scAlt;
            pos += 4;
        } else {
            break;
        }
    }
    std::string rest = text.substr(pos);
    if (rest.empty())
        return 0;
    for (int key = 1; key < 256; ++key) {
        std::string name = KeyToText(static_cast<uint8_t>(key));
        if (!name.empty() && _stricmp(name.c_str(), rest.c_str()) == 0)
            return static_cast<TShortCut>(modifiers | key);
    }
    return 0;
}
