#include "toolbar/TBCommon.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

#include "platform/Controls.h"
#include "platform/SysUtils.h"

// ---------------------------------------------------------------------------------------------
// Windows and messages

bool IsAppActive()
{
    return GetActiveWindow() != nullptr;
}

namespace {

POINT WindowOrigin(HWND wnd)
{
    RECT r{};
    GetWindowRect(wnd, &r);
    return POINT{r.left, r.top};
}

// Sends WM_PRINT to a window whose top-left sits at `at` in the DC's current coordinates,
// clipped to its own rectangle.
void PrintWindowAt(HWND wnd, HDC dc, POINT at, LPARAM flags)
{
    RECT r{};
    GetWindowRect(wnd, &r);
    TClipGuard clip(dc, RECT{at.x, at.y, at.x + (r.right - r.left), at.y + (r.bottom - r.top)});
    OffsetViewportOrgEx(dc, at.x, at.y, nullptr);
    SendMessageA(wnd, WM_PRINT, reinterpret_cast<WPARAM>(dc), flags);
}

struct TOwnedWindows {
    HWND Owner;
    std::vector<HWND> Found;
};

BOOL CALLBACK CollectOwned(HWND wnd, LPARAM param)
{
    auto* owned = reinterpret_cast<TOwnedWindows*>(param);
    if (GetWindow(wnd, GW_OWNER) == owned->Owner && (GetWindowLongPtrA(wnd, GWL_STYLE) & WS_VISIBLE))
        owned->Found.push_back(wnd);
    return TRUE;
}

} // namespace

void GetWindowFrame(HWND wnd, RECT& window, RECT& client)
{
    RECT screen{};
    GetWindowRect(wnd, &screen);
    window = RECT{0, 0, screen.right - screen.left, screen.bottom - screen.top};
    POINT origin{0, 0};
    ClientToScreen(wnd, &origin);
    GetClientRect(wnd, &client);
    OffsetRect(&client, origin.x - screen.left, origin.y - screen.top);
}

void AnswerPrintMessage(HWND wnd, TMessage& message, const TNCPaintProc& ncPaint)
{
    message.Result = 1;
    HDC dc = reinterpret_cast<HDC>(message.WParam);
    LPARAM flags = message.LParam;
    if ((flags & PRF_CHECKVISIBLE) && !IsWindowVisible(wnd))
        return;
    POINT origin = WindowOrigin(wnd);
    if ((flags & PRF_NONCLIENT) && ncPaint) {
        TSavedDC saved(dc);
        ncPaint(wnd, dc);
    }
    POINT client{0, 0};
    ClientToScreen(wnd, &client);
    client.x -= origin.x;
    client.y -= origin.y;
    if (flags & PRF_CLIENT) {
        RECT cr{};
        GetClientRect(wnd, &cr);
        TClipGuard clip(dc, RECT{client.x, client.y, client.x + cr.right, client.y + cr.bottom});
        OffsetViewportOrgEx(dc, client.x, client.y, nullptr);
        if (flags & PRF_ERASEBKGND)
            SendMessageA(wnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
        SendMessageA(wnd, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), flags);
    }
    if (flags & PRF_CHILDREN) {
        // Bottom of the z-order first, so the windows above paint over it.
        HWND child = GetWindow(wnd, GW_CHILD);
        if (child)
            child = GetWindow(child, GW_HWNDLAST);
        for (; child; child = GetWindow(child, GW_HWNDPREV)) {
            if (!(GetWindowLongPtrA(child, GWL_STYLE) & WS_VISIBLE))
                continue;
            POINT at = WindowOrigin(child);
            PrintWindowAt(child, dc, POINT{at.x - origin.x, at.y - origin.y},
                          PRF_NONCLIENT | PRF_CLIENT | PRF_ERASEBKGND | PRF_CHILDREN);
        }
    }
    if (flags & PRF_OWNED) {
        TOwnedWindows owned{wnd, {}};
        EnumWindows(CollectOwned, reinterpret_cast<LPARAM>(&owned));
        for (HWND w : owned.Found) {
            POINT at = WindowOrigin(w);
            PrintWindowAt(w, dc, POINT{at.x - origin.x, at.y - origin.y}, flags);
        }
    }
}

void PrintClientArea(TWinControl* control, TMessage& message)
{
    message.Result = control->Perform(WM_PAINT, message.WParam, 0);
}

void PumpPaintMessages()
{
    // A window that never validates itself would get WM_PAINT forever: each window is painted
    // once per call.
    std::vector<HWND> painted;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        if (std::find(painted.begin(), painted.end(), msg.hwnd) != painted.end())
            return;
        painted.push_back(msg.hwnd);
        DispatchMessageA(&msg);
    }
}

void FlushMessages(UINT minMessage, UINT maxMessage)
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, minMessage, maxMessage, PM_REMOVE))
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
}

TFrameDC::TFrameDC(HWND wnd, bool useGivenDC, HDC dc, HRGN clipRegion) : FDC(dc)
{
    if (!useGivenDC) {
        FOwn.emplace(wnd, true);
        FDC = FOwn->Get();
        if (!FDC)
            return;
        ClipToNCUpdate(wnd, FDC, clipRegion);
    }
    FSaved.emplace(FDC);
    GetWindowFrame(wnd, FWindow, FClient);
    ExcludeClipRect(FDC, FClient.left, FClient.top, FClient.right, FClient.bottom);
}

void ClipToNCUpdate(HWND wnd, HDC dc, HRGN rgn)
{
    if (reinterpret_cast<UINT_PTR>(rgn) <= 1)
        return;
    RECT r{};
    GetWindowRect(wnd, &r);
    TGdiObject<HRGN> copy = CreateEmptyRegion();
    bool selected = false;
    if (copy && CombineRgn(copy.Get(), rgn, nullptr, RGN_COPY) != ERROR) {
        OffsetRgn(copy.Get(), -r.left, -r.top);
        selected = SelectClipRgn(dc, copy.Get()) != ERROR;
    }
    if (!selected)
        IntersectClipRect(dc, 0, 0, r.right - r.left, r.bottom - r.top);
}

namespace {

using TTrackMouseEventProc = BOOL(WINAPI*)(LPTRACKMOUSEEVENT);

TTrackMouseEventProc TrackMouseEventEntry()
{
    static std::atomic<bool> lookedUp{false};
    static std::atomic<TTrackMouseEventProc> entry{nullptr};
    if (!lookedUp.load()) {
        auto proc = reinterpret_cast<TTrackMouseEventProc>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "TrackMouseEvent")));
        if (!proc) {
            UINT oldMode = SetErrorMode(SEM_NOOPENFILEERRORBOX);
            HMODULE comctl = LoadLibraryA("comctl32.dll");
            SetErrorMode(oldMode);
            if (comctl)
                proc = reinterpret_cast<TTrackMouseEventProc>(
                    reinterpret_cast<void*>(GetProcAddress(comctl, "_TrackMouseEvent")));
        }
        entry.store(proc);
        lookedUp.exchange(true);
    }
    return entry.load();
}

} // namespace

bool RequestMouseLeave(HWND wnd, DWORD flags)
{
    TTrackMouseEventProc track = TrackMouseEventEntry();
    if (!track)
        return false;
    TRACKMOUSEEVENT tme{};
    tme.cbSize = sizeof(tme);
    tme.dwFlags = flags;
    tme.hwndTrack = wnd;
    tme.dwHoverTime = 0;
    return track(&tme) != FALSE;
}

// ---------------------------------------------------------------------------------------------
// Arithmetic and lists

int CeilDiv(int x, int y)
{
    int q = x / y;
    if (x % y != 0)
        q += ((x < 0) == (y < 0)) ? 1 : -1;
    return q;
}

bool SamePoint(POINT p1, POINT p2)
{
    return p1.x == p2.x && p1.y == p2.y;
}

void SortListWith(TList* list, TListSortCompareEx compare, void* extraData)
{
    int count = list->GetCount();
    if (count < 2)
        return;
    std::vector<void*> items(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        items[static_cast<size_t>(i)] = list->GetItem(i);
    std::sort(items.begin(), items.end(),
              [&](void* a, void* b) { return compare(a, b, extraData) < 0; });
    for (int i = 0; i < count; ++i)
        list->SetItem(i, items[static_cast<size_t>(i)]);
}

bool ListAppend(TOwnedList& list, void* item)
{
    if (!list)
        list.reset(New<TList>());
    if (list->IndexOf(item) >= 0)
        return false;
    list->Add(item);
    return true;
}

bool AddToListFront(TOwnedList& list, void* item)
{
    if (!list)
        list.reset(New<TList>());
    if (list->IndexOf(item) >= 0)
        return false;
    list->Insert(0, item);
    return true;
}

void ListRemove(TOwnedList& list, void* item)
{
    if (!list)
        return;
    list->Remove(item);
    if (list->GetCount() == 0)
        list.reset();
}

// ---------------------------------------------------------------------------------------------
// Text measuring and drawing

int MeasureTextHeight(HDC dc)
{
    TEXTMETRICA tm{};
    GetTextMetricsA(dc, &tm);
    return tm.tmHeight;
}

int MeasureTextWidth(HDC dc, const std::string& text, bool prefix)
{
    std::string s = prefix ? StripAnsiAccelChars(text) : text;
    SIZE size{};
    GetTextExtentPoint32A(dc, s.data(), static_cast<int>(s.size()), &size);
    return size.cx;
}

int GetTextWidthW(HDC dc, std::wstring_view text, bool prefix)
{
    if (!prefix) {
        SIZE size{};
        GetTextExtentPoint32W(dc, text.data(), static_cast<int>(text.size()), &size);
        return size.cx;
    }
    // Layouts measure every caption, most of which have no marks: those are measured where they
    // are, the others without their marks through one buffer of the thread that keeps its room.
    if (text.find(L'&') == std::wstring_view::npos)
        return WideTextExtent(dc, text).cx;
    thread_local std::wstring stripped;
    RemoveAccelMarks(text, stripped);
    return WideTextExtent(dc, stripped).cx;
}

SIZE WideTextExtent(HDC dc, std::wstring_view text)
{
    SIZE size{};
    if (!GetTextExtentPoint32W(dc, text.data(), static_cast<int>(text.size()), &size))
        RaiseLastOSError("GetTextExtentPoint32W");
    return size;
}

namespace {

struct TFontSearch {
    const char* Face;
    bool Found = false;
};

int CALLBACK NoteFontFound(const LOGFONTA*, const TEXTMETRICA*, DWORD, LPARAM param)
{
    reinterpret_cast<TFontSearch*>(param)->Found = true;
    return 0;
}

bool FontInstalled(HDC dc, const std::string& face)
{
    TFontSearch search{face.c_str()};
    EnumFontsA(dc, face.c_str(), NoteFontFound, reinterpret_cast<LPARAM>(&search));
    return search.Found;
}

} // namespace

TGdiObject<HFONT> MakeVerticalFont(HDC dc)
{
    LOGFONTA lf{};
    GetObjectA(GetCurrentObject(dc, OBJ_FONT), sizeof(lf), &lf);
    lf.lfEscapement = 2700;
    lf.lfOrientation = 2700;
    lf.lfOutPrecision = OUT_TT_ONLY_PRECIS;
    std::string face = lf.lfFaceName;
    // A bitmap face cannot rotate.
    if (SameText(face, "MS Sans Serif")) {
        if (FontInstalled(dc, "Microsoft Sans Serif")) {
            face = "Microsoft Sans Serif";
        } else {
            face = "Arial";
            TEXTMETRICA tm{};
            GetTextMetricsA(dc, &tm);
            lf.lfHeight = -(tm.tmHeight - tm.tmInternalLeading);
        }
    }
    if (face.size() < 31 && FontInstalled(dc, "@" + face))
        face = "@" + face;
    lstrcpynA(lf.lfFaceName, face.c_str(), LF_FACESIZE);
    return TGdiObject<HFONT>(CreateFontIndirectA(&lf));
}

int DrawTextLine(HDC dc, const std::wstring& text, int count, RECT& rect, UINT format)
{
    int n = count < 0 ? static_cast<int>(text.size()) : std::min(count, static_cast<int>(text.size()));
    return DrawTextW(dc, text.data(), n, &rect, format);
}

namespace {

// Text with its accelerator marks removed, and the index of the accelerator character (the
// one after the last single '&') in that text, -1 when none.
std::wstring StripAccelKeepIndex(const std::wstring& text, int& accelIndex)
{
    std::wstring out;
    accelIndex = -1;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'&' && i + 1 < text.size()) {
            ++i;
            if (text[i] != L'&')
                accelIndex = static_cast<int>(out.size());
        } else if (text[i] == L'&') {
            continue;
        }
        out += text[i];
    }
    return out;
}

int ExtentAlong(HDC dc, const std::wstring& text, size_t count)
{
    SIZE size{};
    GetTextExtentPoint32W(dc, text.data(), static_cast<int>(count), &size);
    return size.cx;
}

} // namespace

void DrawVerticalText(HDC dc, const std::wstring& text, const RECT& rect, UINT format)
{
    TGdiObject<HFONT> font = MakeVerticalFont(dc);
    TGdiObject<HPEN> pen;
    TSavedDC saved(dc);
    SelectObject(dc, font.Get());
    std::wstring s = text;
    int accel = -1;
    if (!(format & DT_NOPREFIX))
        s = StripAccelKeepIndex(text, accel);
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    int across = rect.right - rect.left;
    int along = rect.bottom - rect.top;
    int length = ExtentAlong(dc, s, s.size());
    if ((format & DT_END_ELLIPSIS) && length > along && !s.empty()) {
        if (along < 3) {
            s.resize(1);
        } else {
            while (!s.empty() && ExtentAlong(dc, s + L"...", s.size() + 3) > along)
                s.pop_back();
            s += L"...";
        }
        if (accel >= static_cast<int>(s.size()) - 3)
            accel = -1;
        length = ExtentAlong(dc, s, s.size());
    }
    // Rotated a quarter turn clockwise, a glyph's top faces right: the cell lies left of x.
    int x = rect.left + (across + tm.tmHeight) / 2;
    int y = rect.top;
    if (format & DT_CENTER)
        y += (along - length) / 2;
    RECT clip = rect;
    UINT options = (format & DT_NOCLIP) ? 0 : ETO_CLIPPED;
    ExtTextOutW(dc, x, y, options, &clip, s.data(), static_cast<UINT>(s.size()), nullptr);
    if (accel >= 0 && !(format & DT_HIDEPREFIX)) {
        int from = ExtentAlong(dc, s, static_cast<size_t>(accel));
        int to = ExtentAlong(dc, s, static_cast<size_t>(accel) + 1);
        pen.Reset(CreatePen(PS_SOLID, 1, GetTextColor(dc)));
        SelectObject(dc, pen.Get());
        // The underline runs one pixel beyond the baseline, which lies left of the cell's top.
        int lineX = x - tm.tmAscent - 1;
        MoveToEx(dc, lineX, y + from, nullptr);
        LineTo(dc, lineX, y + to);
    }
}

// ---------------------------------------------------------------------------------------------
// Accelerators and hints

std::string StripAnsiAccelChars(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&') {
            if (++i >= text.size())
                break;
        }
        out += text[i];
        if (IsDBCSLeadByte(static_cast<BYTE>(text[i])) && i + 1 < text.size())
            out += text[++i];
    }
    return out;
}

std::wstring RemoveAccelMarks(const std::wstring& text)
{
    std::wstring out;
    RemoveAccelMarks(text, out);
    return out;
}

void RemoveAccelMarks(std::wstring_view text, std::wstring& out)
{
    out.clear();
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'&' && ++i >= text.size())
            break;
        out += text[i];
    }
}

std::wstring DoubleAmpersands(const std::wstring& text)
{
    std::wstring out;
    for (wchar_t c : text) {
        out += c;
        if (c == L'&')
            out += c;
    }
    return out;
}

wchar_t LocateAccelChar(const std::wstring& text)
{
    wchar_t result = 0;
    for (size_t i = 0; i + 1 < text.size(); ++i)
        if (text[i] == L'&') {
            ++i;
            if (text[i] != L'&')
                result = text[i];
        }
    return result;
}

char FindAccelCharA(const std::string& text)
{
    char result = 0;
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] == '&') {
            ++i;
            if (text[i] != '&')
                result = text[i];
        }
        if (IsDBCSLeadByte(static_cast<BYTE>(text[i])))
            ++i;
    }
    return result;
}

std::wstring TrimHintPunctuation(const std::wstring& text)
{
    if (text.size() >= 3 && text.compare(text.size() - 3, 3, L"...") == 0)
        return text.substr(0, text.size() - 3);
    if (!text.empty() && text.back() == L':')
        return text.substr(0, text.size() - 1);
    return text;
}

std::wstring GetShortHintW(const std::wstring& hint)
{
    size_t bar = hint.find(L'|');
    return bar == std::wstring::npos ? hint : hint.substr(0, bar);
}

std::wstring GetLongHintW(const std::wstring& hint)
{
    size_t bar = hint.find(L'|');
    return bar == std::wstring::npos ? std::wstring() : hint.substr(bar + 1);
}

// ---------------------------------------------------------------------------------------------
// Characters and code pages

wchar_t KeyCharToWideChar(WORD key)
{
    if (key > 255)
        return static_cast<wchar_t>(key);
    char c = static_cast<char>(key);
    wchar_t w = 0;
    if (MultiByteToWideChar(GetKeyboardCodePage(), MB_USEGLYPHCHARS, &c, 1, &w, 1) != 1)
        return static_cast<wchar_t>(key);
    return w;
}

UINT GetKeyboardCodePage()
{
    LANGID lang = LOWORD(reinterpret_cast<UINT_PTR>(GetKeyboardLayout(0)));
    char buffer[16] = {};
    if (GetLocaleInfoA(MAKELCID(lang, SORT_DEFAULT), LOCALE_IDEFAULTANSICODEPAGE, buffer, sizeof(buffer)) == 0)
        return CP_ACP;
    UINT codePage = static_cast<UINT>(StrToIntDef(buffer, 0));
    return codePage != 0 && IsValidCodePage(codePage) ? codePage : CP_ACP;
}

bool WideCharInString(const std::wstring& text, wchar_t c)
{
    return text.find(c) != std::wstring::npos;
}

bool IsNonAnsiChar(wchar_t c)
{
    if (c < 127)
        return false;
    std::wstring one(1, c);
    return AnsiToWide(WideToAnsi(one)) != one;
}

std::string EscapeWideString(const std::wstring& text)
{
    std::string ansi = WideToAnsi(text);
    if (!WideCharInString(text, L'\\') && AnsiToWide(ansi) == text)
        return ansi;
    std::string out;
    for (wchar_t c : text) {
        if (c == L'\\')
            out += "\\\\";
        else if (IsNonAnsiChar(c))
            out += "\\#" + UIntToHex(c, 2) + ";";
        else
            out += WideToAnsi(std::wstring(1, c));
    }
    return out;
}

// ---------------------------------------------------------------------------------------------
// System settings

namespace {

OSVERSIONINFOA WindowsVersion()
{
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof(info);
    GetVersionExA(&info);
    return info;
}

bool WindowsAtLeast(DWORD major, DWORD minor)
{
    OSVERSIONINFOA v = WindowsVersion();
    return v.dwPlatformId == VER_PLATFORM_WIN32_NT &&
           (v.dwMajorVersion > major || (v.dwMajorVersion == major && v.dwMinorVersion >= minor));
}

} // namespace

int ReadMenuShowDelay(HKEY root)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, "Control Panel\\Desktop", 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return 400;
    char data[32] = {};
    DWORD type = 0, size = sizeof(data) - 1;
    LONG status = RegQueryValueExA(key, "MenuShowDelay", nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    if (status == ERROR_FILE_NOT_FOUND)
        return 400;
    if (status != ERROR_SUCCESS || type != REG_SZ)
        return 0;
    return std::max(0, StrToIntDef(Trim(std::string(data, strnlen(data, size))), 0));
}

int MenuShowDelay()
{
    int delay = 0;
    if (SystemParametersInfoA(SPI_GETMENUSHOWDELAY, 0, &delay, 0))
        return std::max(0, delay);
    static std::atomic<bool> read{false};
    static std::atomic<int> stored{0};
    if (!read.load()) {
        stored.store(ReadMenuShowDelay(HKEY_CURRENT_USER));
        read.exchange(true);
    }
    return stored.load();
}

bool FlatMenusOn()
{
    return RunningOnXP() && SystemSettingOn(SPI_GETFLATMENU);
}

bool SystemSettingOn(UINT action)
{
    BOOL on = FALSE;
    return SystemParametersInfoA(action, 0, &on, 0) && on;
}

bool KeyboardCuesOn()
{
    BOOL on = TRUE;
    if (!WindowsAtLeast(5, 0) || !SystemParametersInfoA(SPI_GETKEYBOARDCUES, 0, &on, 0))
        return true;
    return on != FALSE;
}

bool RunningOnXP()
{
    return WindowsAtLeast(5, 1);
}

bool IsSoundInScheme(const std::string& name)
{
    if (!WindowsAtLeast(5, 0))
        return true;
    HKEY key = nullptr;
    std::string path = "AppEvents\\Schemes\\Apps\\.Default\\" + name + "\\.Current";
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    // A short probe: a value too long for it is a sound all the same.
    char probe[8] = {};
    DWORD size = sizeof(probe);
    LONG status = RegQueryValueExA(key, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(probe), &size);
    RegCloseKey(key);
    if (status == ERROR_MORE_DATA)
        return true;
    return status == ERROR_SUCCESS && size > 0 && probe[0] != 0;
}

// ---------------------------------------------------------------------------------------------
// Regions, the drag outline and monitors

TGdiObject<HRGN> CreateEmptyRegion()
{
    return TGdiObject<HRGN>(CreateRectRgn(0, 0, 0, 0));
}

namespace {

// Makes the region the ring between a rectangle and the rectangle inset by the thickness; empty
// without a rectangle.
void SetFrameRegion(HRGN rgn, const RECT* r, SIZE thickness)
{
    if (!r) {
        SetRectRgn(rgn, 0, 0, 0, 0);
        return;
    }
    SetRectRgn(rgn, r->left, r->top, r->right, r->bottom);
    RECT inner = *r;
    InflateRect(&inner, -thickness.cx, -thickness.cy);
    if (inner.right > inner.left && inner.bottom > inner.top) {
        TGdiObject<HRGN> hole(CreateRectRgnIndirect(&inner));
        CombineRgn(rgn, rgn, hole.Get(), RGN_DIFF);
    }
}

void InvertRegion(HDC dc, HRGN rgn, HBRUSH brush)
{
    RECT box{};
    if (GetRgnBox(rgn, &box) == NULLREGION)
        return;
    TSavedDC saved(dc);
    SelectClipRgn(dc, rgn);
    SelectObject(dc, brush);
    PatBlt(dc, box.left, box.top, box.right - box.left, box.bottom - box.top, PATINVERT);
}

} // namespace

void DrawXorFrame(HDC dc, const RECT* newRect, const RECT* oldRect, SIZE newSize, SIZE oldSize, HBRUSH brush,
                  HBRUSH brushLast)
{
    if (!brushLast)
        brushLast = brush;
    TGdiObject<HRGN> oldFrame = CreateEmptyRegion();
    TGdiObject<HRGN> newFrame = CreateEmptyRegion();
    SetFrameRegion(oldFrame.Get(), oldRect, oldSize);
    SetFrameRegion(newFrame.Get(), newRect, newSize);
    if (brushLast != brush) {
        InvertRegion(dc, oldFrame.Get(), brushLast);
        InvertRegion(dc, newFrame.Get(), brush);
        return;
    }
    // Inverting the overlap twice would leave it as it was: only what differs is inverted.
    TGdiObject<HRGN> change = CreateEmptyRegion();
    CombineRgn(change.Get(), oldFrame.Get(), newFrame.Get(), RGN_XOR);
    InvertRegion(dc, change.Get(), brush);
}

void InvertHalftoneFrame(HDC dc, const RECT* newRect, const RECT* oldRect, SIZE newSize, SIZE oldSize)
{
    static const WORD pattern[8] = {0x5555, 0xAAAA, 0x5555, 0xAAAA, 0x5555, 0xAAAA, 0x5555, 0xAAAA};
    TGdiObject<HBITMAP> bitmap(CreateBitmap(8, 8, 1, 1, pattern));
    TGdiObject<HBRUSH> brush(CreatePatternBrush(bitmap.Get()));
    DrawXorFrame(dc, newRect, oldRect, newSize, oldSize, brush.Get(), nullptr);
}

RECT PrimaryMonitorRect(bool workArea)
{
    RECT r{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    if (workArea)
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &r, 0);
    return r;
}

bool HasSeveralMonitors()
{
    int count = GetSystemMetrics(SM_CMONITORS);
    return count != 0 && count != 1;
}

namespace {

// The monitor calls, looked up at each use so the program runs where they are missing.
struct TMonitorCalls {
    HMONITOR(WINAPI* FromRect)(LPCRECT, DWORD) = nullptr;
    HMONITOR(WINAPI* FromPoint)(POINT, DWORD) = nullptr;
    BOOL(WINAPI* GetInfo)(HMONITOR, LPMONITORINFO) = nullptr;

    TMonitorCalls()
    {
        HMODULE user = GetModuleHandleA("user32.dll");
        FromRect = reinterpret_cast<decltype(FromRect)>(reinterpret_cast<void*>(GetProcAddress(user, "MonitorFromRect")));
        FromPoint = reinterpret_cast<decltype(FromPoint)>(reinterpret_cast<void*>(GetProcAddress(user, "MonitorFromPoint")));
        GetInfo = reinterpret_cast<decltype(GetInfo)>(reinterpret_cast<void*>(GetProcAddress(user, "GetMonitorInfoA")));
    }
    bool Usable() const { return FromRect && FromPoint && GetInfo; }
};

RECT MonitorRect(HMONITOR monitor, const TMonitorCalls& calls, bool workArea)
{
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    if (!monitor || !calls.GetInfo(monitor, &info))
        return PrimaryMonitorRect(workArea);
    return workArea ? info.rcWork : info.rcMonitor;
}

} // namespace

namespace {

const std::vector<TMonitorLayoutEntry>* MonitorLayout = nullptr;

// How far the point is from the rectangle (0 inside), squared.
long long DistanceSquared(const RECT& r, POINT p)
{
    long long dx = p.x < r.left ? r.left - p.x : p.x >= r.right ? p.x - r.right + 1 : 0;
    long long dy = p.y < r.top ? r.top - p.y : p.y >= r.bottom ? p.y - r.bottom + 1 : 0;
    return dx * dx + dy * dy;
}

// The layout's monitor the rectangle overlaps most, else the one nearest to its centre.
const TMonitorLayoutEntry& LayoutMonitorOf(const RECT& r)
{
    const TMonitorLayoutEntry* best = &MonitorLayout->front();
    long long bestArea = -1;
    for (const TMonitorLayoutEntry& entry : *MonitorLayout) {
        RECT overlap{};
        if (!IntersectRect(&overlap, &entry.Monitor, &r))
            continue;
        long long area = static_cast<long long>(overlap.right - overlap.left) * (overlap.bottom - overlap.top);
        if (area > bestArea) {
            bestArea = area;
            best = &entry;
        }
    }
    if (bestArea >= 0)
        return *best;
    POINT centre{r.left + (r.right - r.left) / 2, r.top + (r.bottom - r.top) / 2};
    for (const TMonitorLayoutEntry& entry : *MonitorLayout)
        if (DistanceSquared(entry.Monitor, centre) < DistanceSquared(best->Monitor, centre))
            best = &entry;
    return *best;
}

} // namespace

void SetMonitorLayout(const std::vector<TMonitorLayoutEntry>* layout)
{
    MonitorLayout = layout && !layout->empty() ? layout : nullptr;
}

RECT MonitorRectOfRect(const RECT& r, bool workArea)
{
    if (MonitorLayout) {
        const TMonitorLayoutEntry& entry = LayoutMonitorOf(r);
        return workArea ? entry.WorkArea : entry.Monitor;
    }
    TMonitorCalls calls;
    if (!HasSeveralMonitors() || !calls.Usable())
        return PrimaryMonitorRect(workArea);
    return MonitorRect(calls.FromRect(&r, MONITOR_DEFAULTTONEAREST), calls, workArea);
}

RECT MonitorRectOfPoint(POINT p, bool workArea)
{
    if (MonitorLayout)
        return MonitorRectOfRect(RECT{p.x, p.y, p.x + 1, p.y + 1}, workArea);
    TMonitorCalls calls;
    if (!HasSeveralMonitors() || !calls.Usable())
        return PrimaryMonitorRect(workArea);
    return MonitorRect(calls.FromPoint(p, MONITOR_DEFAULTTONEAREST), calls, workArea);
}

// ---------------------------------------------------------------------------------------------
// Wide-string properties

void WriteWideStringProp(TWriter* writer, const std::wstring& text)
{
    writer->WriteWideString(text);
}

std::wstring ReadWideStringProp(TReader* reader)
{
    TValueType type = reader->NextValue();
    if (type == vaString || type == vaLString)
        return AnsiToWide(reader->ReadString());
    return reader->ReadWideString();
}

void DefineWideStringProp(TFiler* filer, const std::string& name, const std::wstring& value,
                          const std::function<void(const std::wstring&)>& setter, bool hasData)
{
    filer->DefineProperty(
        name, [&setter](TReader* reader) { setter(ReadWideStringProp(reader)); },
        [&value](TWriter* writer) { WriteWideStringProp(writer, value); }, hasData);
}

void DefineBoolProp(TFiler* filer, const std::string& name, bool value, bool defaultValue,
                    const std::function<void(bool)>& setter, bool stored)
{
    filer->DefineProperty(
        name, [&setter](TReader* reader) { setter(reader->ReadBoolean()); },
        [value](TWriter* writer) { writer->WriteBoolean(value); }, stored && value != defaultValue);
}

void DefineIntProp(TFiler* filer, const std::string& name, int value, int defaultValue,
                   const std::function<void(int)>& setter, bool stored)
{
    filer->DefineProperty(
        name, [&setter](TReader* reader) { setter(reader->ReadInteger()); },
        [value](TWriter* writer) { writer->WriteInteger(value); }, stored && value != defaultValue);
}
