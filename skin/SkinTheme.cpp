#include "skin/SkinTheme.h"

#include <algorithm>
#include <memory>

#include "platform/Forms.h"
#include "platform/ScopeGuards.h"
#include "platform/SysUtils.h"
#include "platform/Timers.h"
#include "skin/SkinUtils.h"

SF_IMPLEMENT_ABSTRACT(TSkinTheme, TObject)
SF_IMPLEMENT_ABSTRACT(TSkinThemeManager, TObject)

// ---------------------------------------------------------------------------------------------
// The abstract operations

POINT TSkinTheme::QueryImageShift(HDC, const TSkinItemDrawInfo&, int) { AbstractError(); }
TColor TSkinTheme::QueryItemColor(const TSkinItemDrawInfo&) { AbstractError(); }
TColor TSkinTheme::QueryItemTextColor(const TSkinItemDrawInfo&) { AbstractError(); }
TColor TSkinTheme::QueryImageBackColor(const TSkinItemDrawInfo&) { AbstractError(); }
TSkinMargins TSkinTheme::QueryMargins(int) { AbstractError(); }
int TSkinTheme::QueryPopupShadowStyle() { AbstractError(); }
SIZE TSkinTheme::QueryViewBorder(uint32_t) { AbstractError(); }
TColor TSkinTheme::QueryViewColor(uint32_t) { AbstractError(); }
TSkinMargins TSkinTheme::QueryViewMargins(uint32_t) { AbstractError(); }
bool TSkinTheme::FillViewBackground(HDC, const RECT&, const RECT&, const RECT&, TColor, uint32_t) { AbstractError(); }
void TSkinTheme::DrawButtonFrame(HDC, const RECT&, const TSkinItemDrawInfo&) { AbstractError(); }
void TSkinTheme::DrawItemText(HDC, RECT&, const TSkinItemDrawInfo&, const std::wstring&, UINT, TColor) { AbstractError(); }
void TSkinTheme::DrawCheckGlyph(HDC, const RECT&, const TSkinItemDrawInfo&) { AbstractError(); }
void TSkinTheme::DrawChevronGlyph(HDC, const RECT&, const TSkinItemDrawInfo&) { AbstractError(); }
void TSkinTheme::DrawEditItem(HDC, const RECT&, const TSkinItemDrawInfo&, const TSkinEditInfo&) { AbstractError(); }
void TSkinTheme::DrawEditButtonPart(HDC, const RECT&, const TSkinItemDrawInfo&, const TSkinEditButtonInfo&)
{
    AbstractError();
}
void TSkinTheme::DrawDockBackground(HDC, const RECT&, const RECT&, int) { AbstractError(); }
void TSkinTheme::DrawPanelFrame(HDC, const RECT&, const TSkinDockPanelInfo&) { AbstractError(); }
void TSkinTheme::DrawArrowGlyph(HDC, const RECT&, const TSkinItemDrawInfo&) { AbstractError(); }
void TSkinTheme::DrawFloatingFrame(HDC, const RECT&, const TSkinFloatingInfo&) { AbstractError(); }
void TSkinTheme::DrawEditFieldFrame(HDC, const RECT&, const TSkinItemDrawInfo&) { AbstractError(); }
void TSkinTheme::DrawImageForState(HDC, const RECT&, const TSkinItemDrawInfo&, TCustomImageList*, int) { AbstractError(); }
void TSkinTheme::DrawCaptionButton(HDC, const RECT&, const TSkinItemDrawInfo&, int) { AbstractError(); }
void TSkinTheme::DrawMenuItemFace(HDC, const RECT&, const TSkinItemDrawInfo&) { AbstractError(); }
void TSkinTheme::DrawHotBackground(HDC, const RECT&, const TSkinItemDrawInfo&) { AbstractError(); }
void TSkinTheme::DrawArrowButton(HDC, const RECT&, int, bool) { AbstractError(); }
void TSkinTheme::DrawPopupFrame(HDC, const RECT&, const TSkinPopupInfo&) { AbstractError(); }
void TSkinTheme::DrawSeparatorLine(HDC, const RECT&, const TSkinItemDrawInfo&, bool, bool) { AbstractError(); }
void TSkinTheme::DrawToolbarFrame(HDC, const RECT&, const TSkinToolbarInfo&) { AbstractError(); }
void TSkinTheme::DrawControlGlyph(HDC, const RECT&, int, uint32_t, uint32_t) { AbstractError(); }
void TSkinTheme::DrawStatusBarPart(HDC, const RECT&, int) { AbstractError(); }
int TSkinTheme::QueryIntegerMetric(int) { AbstractError(); }
bool TSkinTheme::QueryBooleanMetric(int) { AbstractError(); }

// ---------------------------------------------------------------------------------------------
// Geometry

int DragHandleSize(const TSkinToolbarInfo& toolbar)
{
    if (!toolbar.DragHandle)
        return 0;
    if (toolbar.CloseButtonState & cbShown)
        return 14;
    switch (toolbar.DragHandleStyle) {
    case dhsDoubleBar:
        return 9;
    case dhsSingleBar:
        return 6;
    default:
        return 0;
    }
}

RECT DragHandleCloseRect(const TSkinToolbarInfo& toolbar)
{
    const int side = DragHandleSize(toolbar) - 1;
    const int x = toolbar.Vertical ? toolbar.ClientWidth + toolbar.BorderSize.cx - side : toolbar.BorderSize.cx;
    const int y = toolbar.BorderSize.cy;
    return RECT{x, y, x + side, y + side};
}

RECT FloatingCaptionRect(const TSkinFloatingInfo& floating, bool adjustForBorder, bool withoutCloseButton)
{
    RECT r{0, 0, floating.ClientWidth, GetSystemMetrics(SM_CYSMCAPTION) - 1};
    if (withoutCloseButton)
        r.right -= r.bottom - r.top;
    if (adjustForBorder)
        OffsetRect(&r, floating.BorderSize.cx, floating.BorderSize.cy);
    return r;
}

RECT FloatingCloseButtonRect(const TSkinFloatingInfo& floating, bool adjustForBorder)
{
    const RECT caption = FloatingCaptionRect(floating, adjustForBorder, false);
    const int side = caption.bottom - caption.top;
    return RECT{caption.right - side, caption.top, caption.right, caption.bottom};
}

// ---------------------------------------------------------------------------------------------
// Registry

namespace {

struct TThemeRecord {
    std::string Name;
    TSkinThemeClass ThemeClass = nullptr;
    TSkinTheme* Instance = nullptr;
    int RefCount = 0;
};

std::vector<TThemeRecord>& Registry()
{
    static std::vector<TThemeRecord> registry;
    return registry;
}

bool SameThemeName(const std::string& a, const std::string& b)
{
    const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? char(c - 32) : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return upper(x) == upper(y); });
}

int FindTheme(const std::string& name)
{
    const std::vector<TThemeRecord>& registry = Registry();
    for (size_t i = 0; i < registry.size(); ++i)
        if (SameThemeName(registry[i].Name, name))
            return int(i);
    return -1;
}

} // namespace

void RegisterThemeClass(const std::string& name, TSkinThemeClass themeClass)
{
    if (name.empty() || !themeClass)
        throw Exception("Cannot register theme");
    // Names are kept to 255 characters and looked up the same way, so a long name stays findable.
    const std::string kept = name.substr(0, 255);
    if (FindTheme(kept) >= 0)
        throw Exception(Format("Theme %s is already registered", kept.c_str()));
    Registry().push_back(TThemeRecord{kept, themeClass, nullptr, 0});
}

TSkinTheme* GetTheme(const std::string& name)
{
    const int index = FindTheme(name.substr(0, 255));
    if (index < 0)
        throw Exception("Unknown theme " + name);
    TThemeRecord& record = Registry()[size_t(index)];
    if (record.RefCount == 0) {
        Assert(record.Instance == nullptr, "A theme without references still has an instance");
        std::unique_ptr<TSkinTheme, TObjectFree> theme(record.ThemeClass(record.Name));
        TMessage message{TBM_SYSCHANGE, Application && Application->GetActive() ? WPARAM(scColors) : WPARAM(scInactive),
                         0, 0};
        theme->Dispatch(message);
        Registry()[size_t(index)].Instance = theme.release();
    }
    TThemeRecord& current = Registry()[size_t(index)];
    ++current.RefCount;
    return current.Instance;
}

void ReleaseTheme(TSkinTheme*& theme)
{
    std::vector<TThemeRecord>& registry = Registry();
    const auto record = std::find_if(registry.begin(), registry.end(),
                                     [&](const TThemeRecord& r) { return theme && r.Instance == theme; });
    if (record == registry.end())
        throw Exception("Cannot release theme");
    if (record->RefCount < 1)
        throw Exception("Cannot release theme " + record->Name);
    if (--record->RefCount > 0)
        return;
    TSkinTheme* instance = record->Instance;
    record->Instance = nullptr;
    theme = nullptr;
    instance->Free();
}

void ClearThemeRegistry()
{
    std::vector<TThemeRecord> records;
    records.swap(Registry());
    for (TThemeRecord& record : records)
        if (record.Instance)
            record.Instance->Free();
}

// ---------------------------------------------------------------------------------------------
// Visual styles

namespace {

HMODULE& VisualStyleLibrary()
{
    static HMODULE library = nullptr;
    return library;
}

const wchar_t* const VisualStyleClassNames[vscCount] = {L"BUTTON",  L"SCROLLBAR",   L"REBAR",  L"TOOLBAR", L"WINDOW",
                                                        L"COMBOBOX", L"EXPLORERBAR", L"STATUS", L"SPIN"};

template <class F>
void Bind(F& entry, HMODULE library, const char* name)
{
    entry = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

} // namespace

TVisualStyleCalls& VisualStyleCalls()
{
    static TVisualStyleCalls calls;
    return calls;
}

bool LoadVisualStyles()
{
    HMODULE& library = VisualStyleLibrary();
    if (library)
        return true;
    library = LoadLibraryA("uxtheme.dll");
    if (!library)
        return false;
    TVisualStyleCalls& calls = VisualStyleCalls();
    Bind(calls.OpenThemeData, library, "OpenThemeData");
    Bind(calls.CloseThemeData, library, "CloseThemeData");
    Bind(calls.DrawThemeBackground, library, "DrawThemeBackground");
    Bind(calls.GetThemeBackgroundContentRect, library, "GetThemeBackgroundContentRect");
    Bind(calls.GetThemePartSize, library, "GetThemePartSize");
    Bind(calls.GetThemeBackgroundRegion, library, "GetThemeBackgroundRegion");
    Bind(calls.GetThemeColor, library, "GetThemeColor");
    Bind(calls.GetThemeMargins, library, "GetThemeMargins");
    Bind(calls.IsThemeActive, library, "IsThemeActive");
    Bind(calls.IsAppThemed, library, "IsAppThemed");
    return true;
}

void FreeVisualStyles()
{
    HMODULE& library = VisualStyleLibrary();
    if (library)
        FreeLibrary(library);
    library = nullptr;
    VisualStyleCalls() = TVisualStyleCalls{};
}

bool CanUseVisualStyles()
{
    const TVisualStyleCalls& calls = VisualStyleCalls();
    return VisualStyleLibrary() && calls.IsAppThemed && calls.IsThemeActive && calls.IsAppThemed() &&
           calls.IsThemeActive();
}

TVisualStyleState& VisualStyleState()
{
    static TVisualStyleState state;
    return state;
}

// ---------------------------------------------------------------------------------------------
// Manager

namespace {

TSkinThemeManager*& TheManager()
{
    static TSkinThemeManager* manager = nullptr;
    return manager;
}

bool RunsOnXPOrLater()
{
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof(version);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!GetVersionExA(&version))
        return false;
#pragma GCC diagnostic pop
    return version.dwPlatformId == VER_PLATFORM_WIN32_NT &&
           (version.dwMajorVersion > 5 || (version.dwMajorVersion == 5 && version.dwMinorVersion >= 1));
}

} // namespace

TSkinThemeManager* ThemeManager()
{
    return TheManager();
}

TSkinThemeManager::TSkinThemeManager() = default;

TSkinThemeManager::~TSkinThemeManager()
{
    CloseVisualStyles();
    FreeVisualStyles();
    DeallocateHWnd(FHandle);
}

void TSkinThemeManager::AfterConstruction()
{
    FHandle = AllocateHWnd(TWndMethod(this, &TSkinThemeManager::WndProc));
    UpdateVisualStyleState();
}

void TSkinThemeManager::AddNotification(ISkinMessageTarget* target)
{
    if (std::find(FNotifications.begin(), FNotifications.end(), target) == FNotifications.end())
        FNotifications.push_back(target);
}

void TSkinThemeManager::RemoveNotification(ISkinMessageTarget* target)
{
    FNotifications.erase(std::remove(FNotifications.begin(), FNotifications.end(), target), FNotifications.end());
}

LRESULT TSkinThemeManager::SendSysChange(WPARAM change, LPARAM lParam)
{
    LRESULT result = 0;
    // A target may leave the list (or make another leave) while it handles the message: each one
    // of the list as it was is told once, if it is still there. One that raises does not keep the
    // others from being told.
    const std::vector<ISkinMessageTarget*> targets = FNotifications;
    TFirstFailure failure;
    for (ISkinMessageTarget* target : targets) {
        if (std::find(FNotifications.begin(), FNotifications.end(), target) == FNotifications.end())
            continue;
        failure.Run([&] {
            TMessage message{TBM_SYSCHANGE, change, lParam, 0};
            target->Dispatch(message);
            result = message.Result;
        });
    }
    failure.RaiseIfAny();
    return result;
}

void TSkinThemeManager::SetAllowVisualStyles(bool value)
{
    if (value == FAllowVisualStyles)
        return;
    FAllowVisualStyles = value;
    UpdateVisualStyleState();
}

void TSkinThemeManager::CloseVisualStyles()
{
    TVisualStyleState& state = VisualStyleState();
    const TVisualStyleCalls& calls = VisualStyleCalls();
    for (HTHEME& handle : state.Handles) {
        if (handle && calls.CloseThemeData)
            calls.CloseThemeData(handle);
        handle = nullptr;
    }
    state.VisualStylesInUse = false;
}

void TSkinThemeManager::UpdateVisualStyleState()
{
    RebuildSkinDrawingObjects();
    TVisualStyleState& state = VisualStyleState();
    {
        TWindowDC screen;
        state.LowColorDisplay = GetDeviceCaps(screen.Get(), BITSPIXEL) * GetDeviceCaps(screen.Get(), PLANES) < 12;
    }
    state.WhiteButtonFace = (GetSysColor(COLOR_BTNFACE) & 0xFFFFFF) == 0xFFFFFF;
    // Handles and library go on every update, whatever the last one found: a change of system
    // leaves nothing open behind.
    CloseVisualStyles();
    FreeVisualStyles();
    const bool xp = RunsOnXPOrLater();
    if (xp && FAllowVisualStyles && LoadVisualStyles()) {
        state.VisualStylesInUse = CanUseVisualStyles();
        if (state.VisualStylesInUse) {
            const TVisualStyleCalls& calls = VisualStyleCalls();
            for (int i = 0; i < vscCount && calls.OpenThemeData; ++i)
                state.Handles[i] = calls.OpenThemeData(FHandle, VisualStyleClassNames[i]);
        }
    }
    BOOL flat = FALSE;
    state.FlatMenuStyle = xp && SystemParametersInfoA(SPI_GETFLATMENU, 0, &flat, 0) && flat;
    state.MenuColor = clMenu;
    state.MenuTextColor = clMenuText;
}

void TSkinThemeManager::WndProc(TMessage& message)
{
    switch (message.Msg) {
    case WM_SYSCOLORCHANGE:
    case WM_DISPLAYCHANGE:
    case WM_THEMECHANGED:
        UpdateVisualStyleState();
        // The three go together whatever fails on the way: what the first begins, the last ends.
        if (!FNotifications.empty()) {
            TFirstFailure failure;
            for (TSysChange change : {scColors, scMetrics, scThemeDone})
                failure.Run([&] { SendSysChange(change); });
            failure.RaiseIfAny();
        }
        break;
    case WM_ACTIVATEAPP:
        SendSysChange(message.WParam ? scActivated : scDeactivated);
        break;
    default:
        break;
    }
    message.Result = DefWindowProcA(FHandle, message.Msg, message.WParam, message.LParam);
}

void InitSkinThemes()
{
    ClearThemeRegistry();
    TheManager() = New<TSkinThemeManager>();
}

void DoneSkinThemes()
{
    if (TheManager())
        TheManager()->Free();
    TheManager() = nullptr;
    ClearThemeRegistry();
}
