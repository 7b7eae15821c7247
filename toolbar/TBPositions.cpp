#include "toolbar/TBPositions.h"

#include <algorithm>
#include <map>
#include <variant>
#include <vector>

#include "platform/Filer.h"
#include "platform/ScopeGuards.h"
#include "toolbar/TBDock.h"
#include "toolbar/TBDockableWindow.h"

namespace {

// Figures beyond these come from damaged data: no screen or dock is larger.
constexpr int MaxCoordinate = 32767;
constexpr int MaxRow = 1000;

using TValue = std::variant<int, std::string>;
using TSection = std::map<std::string, TValue>;

std::vector<TTBCustomDockableWindow*> WindowsOf(TComponent* owner)
{
    std::vector<TTBCustomDockableWindow*> windows;
    for (int i = 0; i < owner->GetComponentCount(); ++i)
        if (auto* w = dynamic_cast<TTBCustomDockableWindow*>(owner->GetComponent(i)))
            if (!w->GetName().empty())
                windows.push_back(w);
    return windows;
}

std::vector<TTBDock*> DocksOf(TComponent* owner)
{
    std::vector<TTBDock*> docks;
    for (int i = 0; i < owner->GetComponentCount(); ++i)
        if (auto* dock = dynamic_cast<TTBDock*>(owner->GetComponent(i)))
            docks.push_back(dock);
    return docks;
}

bool IsIntegerValue(TValueType type)
{
    return type == vaInt8 || type == vaInt16 || type == vaInt32 || type == vaInt64;
}

bool IsStringValue(TValueType type)
{
    return type == vaString || type == vaLString || type == vaWString || type == vaUTF8String;
}

// Reads every section the stream holds up to its end or to the first damage; what was read
// before the damage stays.
std::map<std::string, TSection> ReadSections(TStream* stream)
{
    std::map<std::string, TSection> sections;
    TReader reader(stream);
    try {
        reader.ReadListBegin();
        while (!reader.EndOfList()) {
            TSection& section = sections[reader.ReadStr()];
            reader.ReadListBegin();
            while (!reader.EndOfList()) {
                std::string key = reader.ReadStr();
                TValueType type = reader.NextValue();
                if (type == vaInt64) {
                    int64_t v = reader.ReadInt64();
                    section[key] = static_cast<int>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
                } else if (IsIntegerValue(type)) {
                    section[key] = reader.ReadInteger();
                } else if (IsStringValue(type)) {
                    section[key] = reader.ReadString();
                } else {
                    reader.SkipValue();
                }
            }
            reader.ReadListEnd();
        }
        reader.ReadListEnd();
    } catch (const EReadError&) {
        // The rest of the stream is lost; everything before it is applied.
    }
    return sections;
}

TTBPositionData ReaderOf(const TSection& section)
{
    TTBPositionData data;
    data.ReadInt = [&section](const std::string& name, int defaultValue) {
        auto it = section.find(name);
        if (it == section.end() || !std::holds_alternative<int>(it->second))
            return defaultValue;
        return std::get<int>(it->second);
    };
    data.ReadString = [&section](const std::string& name, const std::string& defaultValue) {
        auto it = section.find(name);
        if (it == section.end() || !std::holds_alternative<std::string>(it->second))
            return defaultValue;
        return std::get<std::string>(it->second);
    };
    data.WriteInt = [](const std::string&, int) {};
    data.WriteString = [](const std::string&, const std::string&) {};
    return data;
}

bool Takes(TTBDock* dock, TTBCustomDockableWindow* window)
{
    return dock && dock->AcceptsWindow(window) && window->AcceptsDock(dock);
}

// The dock a window goes to when the one named is missing or refuses it.
TTBDock* FallbackDock(TTBCustomDockableWindow* window, const std::vector<TTBDock*>& docks)
{
    for (TTBDock* dock : {window->GetCurrentDock(), window->GetLastDock(), window->GetDefaultDock()})
        if (Takes(dock, window))
            return dock;
    for (TTBDock* dock : docks)
        if (Takes(dock, window))
            return dock;
    return nullptr;
}

void Float(TTBCustomDockableWindow* window, POINT at)
{
    window->SetFloatPoint(at);
    window->SetFloating(true);
}

void ApplySection(TTBCustomDockableWindow* window, const TSection& section, const std::vector<TTBDock*>& docks)
{
    TTBPositionData data = ReaderOf(section);
    window->SetDockRow(std::clamp(data.ReadInt("DockRow", window->GetDockRow()), 0, MaxRow));
    window->SetDockPos(std::clamp(data.ReadInt("DockPos", window->GetDockPos()), -1, MaxCoordinate));
    POINT floatPoint{std::clamp(data.ReadInt("FloatLeft", window->GetFloatPoint().x), -MaxCoordinate, MaxCoordinate),
                     std::clamp(data.ReadInt("FloatTop", window->GetFloatPoint().y), -MaxCoordinate, MaxCoordinate)};
    bool floating = data.ReadInt("Floating", window->GetFloating() ? 1 : 0) != 0;
    std::string dockName = data.ReadString("DockedTo", window->GetCurrentDock() ? window->GetCurrentDock()->GetName() : "");
    bool canFloat = window->GetDockMode() == dmCanFloat;

    if (floating && canFloat) {
        Float(window, floatPoint);
    } else if (floating || !dockName.empty()) {
        auto named = std::find_if(docks.begin(), docks.end(), [&](TTBDock* d) { return d->GetName() == dockName; });
        TTBDock* dock = named != docks.end() && Takes(*named, window) ? *named : FallbackDock(window, docks);
        if (dock)
            window->SetParent(dock);
        else if (canFloat)
            Float(window, floatPoint);
    } else if (!window->GetFloating()) {
        window->SetFloatPoint(floatPoint);
    }
    window->LoadPosition(data);
    window->SetVisible(data.ReadInt("Visible", window->GetVisible() ? 1 : 0) != 0);
    // The window's own values (a toolbar's wrap width, a panel's floating size) may have resized
    // it: it is kept on its monitor at the size it ends with.
    window->FitToScreen(false);
}

} // namespace

void TBStorePositions(TComponent* owner, TStream* stream)
{
    TWriter writer(stream);
    writer.WriteListBegin();
    for (TTBCustomDockableWindow* window : WindowsOf(owner)) {
        writer.WriteStr(window->GetName());
        writer.WriteListBegin();
        TTBPositionData data;
        data.WriteInt = [&writer](const std::string& name, int value) {
            writer.WriteStr(name);
            writer.WriteInteger(value);
        };
        data.WriteString = [&writer](const std::string& name, const std::string& value) {
            writer.WriteStr(name);
            writer.WriteString(value);
        };
        data.ReadInt = [](const std::string&, int defaultValue) { return defaultValue; };
        data.ReadString = [](const std::string&, const std::string& defaultValue) { return defaultValue; };
        data.WriteInt("Visible", window->GetVisible() ? 1 : 0);
        data.WriteString("DockedTo", window->GetDocked() ? window->GetCurrentDock()->GetName() : "");
        data.WriteInt("Floating", window->GetFloating() ? 1 : 0);
        data.WriteInt("DockRow", window->GetDockRow());
        data.WriteInt("DockPos", window->GetDockPos());
        data.WriteInt("FloatLeft", window->GetFloatPoint().x);
        data.WriteInt("FloatTop", window->GetFloatPoint().y);
        window->StorePosition(data);
        writer.WriteListEnd();
    }
    writer.WriteListEnd();
}

void TBLoadPositions(TComponent* owner, TStream* stream)
{
    std::map<std::string, TSection> sections = ReadSections(stream);
    std::vector<TTBDock*> docks = DocksOf(owner);
    for (TTBDock* dock : docks)
        dock->BeginUpdate();
    TScopeExit endUpdates([&docks] {
        for (TTBDock* dock : docks)
            dock->EndUpdate();
    });
    for (TTBCustomDockableWindow* window : WindowsOf(owner)) {
        auto it = sections.find(window->GetName());
        if (it != sections.end())
            ApplySection(window, it->second, docks);
    }
}
