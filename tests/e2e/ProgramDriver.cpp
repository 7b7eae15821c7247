#include "ProgramDriver.h"

#include <dlgs.h>
#include <oleacc.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <map>
#include <mutex>
#include <sstream>

#include "platform/ComObj.h"
#include "platform/ScopeGuards.h"

std::string WindowsPath(const std::string& path)
{
    if (path.empty() || path[0] != '/')
        return path;
    std::string result = "Z:" + path;
    std::replace(result.begin(), result.end(), '/', '\\');
    return result;
}

std::string SheetfoldExePath()
{
    if (const char* given = std::getenv("SF_SHEETFOLD_EXE"); given && *given)
        return WindowsPath(given);
    char self[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string folder(self, n);
    folder.erase(folder.find_last_of('\\'));
    return folder.substr(0, folder.find_last_of('\\')) + "\\Sheetfold.exe";
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs, DWORD intervalMs)
{
    const DWORD start = GetTickCount();
    for (;;) {
        if (condition())
            return true;
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(intervalMs);
    }
}

namespace {
struct TWindowSearch {
    DWORD ProcessId;
    std::string ClassName;
    std::vector<HWND> Found;
};

BOOL CALLBACK CollectWindow(HWND wnd, LPARAM param)
{
    auto* search = reinterpret_cast<TWindowSearch*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(wnd, &pid);
    if (pid == search->ProcessId && IsWindowVisible(wnd) &&
        (search->ClassName.empty() || WindowClass(wnd) == search->ClassName))
        search->Found.push_back(wnd);
    return TRUE;
}

struct TChildSearch {
    const std::function<bool(HWND)>& Test;
    HWND Found = nullptr;
};

BOOL CALLBACK MatchChild(HWND wnd, LPARAM param)
{
    auto* search = reinterpret_cast<TChildSearch*>(param);
    if (search->Test(wnd)) {
        search->Found = wnd;
        return FALSE;
    }
    return TRUE;
}

// The programs started and not yet ended, for the watchdog of a stuck case.
std::mutex LiveProgramsLock;
std::vector<HANDLE> LivePrograms;

void AddLiveProgram(HANDLE process)
{
    std::lock_guard<std::mutex> lock(LiveProgramsLock);
    LivePrograms.push_back(process);
}

void RemoveLiveProgram(HANDLE process)
{
    std::lock_guard<std::mutex> lock(LiveProgramsLock);
    LivePrograms.erase(std::remove(LivePrograms.begin(), LivePrograms.end(), process), LivePrograms.end());
}

LPARAM ClientPoint(POINT p)
{
    return MAKELPARAM(static_cast<WORD>(p.x), static_cast<WORD>(p.y));
}

// The real pointer stays out of the way, so that only the driver's mouse messages move things.
void ParkCursor()
{
    SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
}
}

std::vector<HWND> ProcessWindows(DWORD processId, const std::string& className)
{
    TWindowSearch search{processId, className, {}};
    EnumWindows(&CollectWindow, reinterpret_cast<LPARAM>(&search));
    return search.Found;
}

HWND FindDescendantIf(HWND parent, const std::function<bool(HWND)>& test)
{
    TChildSearch search{test};
    EnumChildWindows(parent, &MatchChild, reinterpret_cast<LPARAM>(&search));
    return search.Found;
}

HWND FindDescendant(HWND parent, const std::string& className, const std::string& text)
{
    return FindDescendantIf(parent, [&](HWND wnd) {
        return WindowClass(wnd) == className && (text.empty() || WindowText(wnd) == text);
    });
}

std::string WindowText(HWND wnd)
{
    char buffer[1024] = {};
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(wnd, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer), SMTO_NORMAL, 5000,
                             &length))
        return {};
    return std::string(buffer, std::min<size_t>(length, sizeof buffer - 1));
}

std::string WindowClass(HWND wnd)
{
    char buffer[256] = {};
    int length = GetClassNameA(wnd, buffer, sizeof buffer);
    return std::string(buffer, length > 0 ? length : 0);
}

std::string MessageBoxText(HWND box)
{
    return WindowText(GetDlgItem(box, 0xFFFF));
}

void PressDialogButton(HWND dialog, int id)
{
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

bool IsFileDialog(HWND wnd)
{
    return WindowClass(wnd) == "#32770" && GetDlgItem(wnd, cmb1) != nullptr &&
           (GetDlgItem(wnd, cmb13) != nullptr || GetDlgItem(wnd, edt1) != nullptr);
}

void SetFileDialogName(HWND dialog, const std::string& name)
{
    // Explorer dialogs name their file box cmb13 on Windows; Wine's is the older edt1.
    HWND box = GetDlgItem(dialog, cmb13);
    if (!box)
        box = GetDlgItem(dialog, edt1);
    SendMessageTimeoutA(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(name.c_str()), SMTO_NORMAL, 5000, nullptr);
}

void SetFileDialogFilter(HWND dialog, int filterIndex)
{
    HWND filter = GetDlgItem(dialog, cmb1);
    SendMessageTimeoutA(filter, CB_SETCURSEL, filterIndex - 1, 0, SMTO_NORMAL, 5000, nullptr);
    // Windows reacts to the change of selection, Wine to its confirmation: both are sent.
    for (WORD notification : {CBN_SELCHANGE, CBN_SELENDOK})
        SendMessageTimeoutA(dialog, WM_COMMAND, MAKEWPARAM(cmb1, notification), reinterpret_cast<LPARAM>(filter),
                            SMTO_NORMAL, 5000, nullptr);
}

std::string FileDialogName(HWND dialog)
{
    HWND box = GetDlgItem(dialog, cmb13);
    return WindowText(box ? box : GetDlgItem(dialog, edt1));
}

void SelectFilesInDialog(HWND dialog, const std::string& folder, const std::vector<std::string>& names)
{
    SetFileDialogName(dialog, folder);
    PressDialogButton(dialog, IDOK);
    // Moving into a folder empties the name box.
    WaitUntil([&] { return FileDialogName(dialog).empty(); }, 3000);
    std::string quoted;
    for (const std::string& name : names)
        quoted += (quoted.empty() ? "\"" : " \"") + name + "\"";
    SetFileDialogName(dialog, quoted);
    PressDialogButton(dialog, IDOK);
}

namespace {
// The accessibility library is bound when first needed, as the program binds it.
using TAccessibleObjectFromWindow = HRESULT(WINAPI*)(HWND, DWORD, REFIID, void**);

TAccessibleObjectFromWindow AccessibleFromWindow()
{
    static const TAccessibleObjectFromWindow entry = [] {
        HMODULE library = LoadLibraryA("oleacc.dll");
        return library ? reinterpret_cast<TAccessibleObjectFromWindow>(
                             reinterpret_cast<void*>(GetProcAddress(library, "AccessibleObjectFromWindow")))
                       : nullptr;
    }();
    return entry;
}

std::wstring TakeText(BSTR text)
{
    std::wstring result = text ? std::wstring(text, SysStringLen(text)) : std::wstring();
    SysFreeString(text);
    return result;
}

long TakeLong(HRESULT result, VARIANT& value)
{
    const long number = SUCCEEDED(result) && value.vt == VT_I4 ? value.lVal : 0;
    VariantClear(&value);
    return number;
}

// The child's own object when it has one, else the child as a number of its parent: both are asked
// through CHILDID_SELF or the number in turn.
TAccessibleItem ReadAccessible(IAccessible* object, long childId)
{
    VARIANT child{};
    child.vt = VT_I4;
    child.lVal = childId;
    TAccessibleItem item;
    BSTR text = nullptr;
    if (object->get_accName(child, &text) == S_OK)
        item.Name = TakeText(text);
    text = nullptr;
    if (object->get_accValue(child, &text) == S_OK)
        item.Value = TakeText(text);
    text = nullptr;
    if (object->get_accDescription(child, &text) == S_OK)
        item.Description = TakeText(text);
    VARIANT value{};
    item.Role = TakeLong(object->get_accRole(child, &value), value);
    item.State = TakeLong(object->get_accState(child, &value), value);
    long left = 0, top = 0, width = 0, height = 0;
    if (object->accLocation(&left, &top, &width, &height, child) == S_OK)
        item.Bounds = RECT{left, top, left + width, top + height};
    return item;
}

// Calls `visit` with the client object of the window and each child (its own object, or the parent
// with the child's number) until it returns true.
bool VisitAccessibleChildren(HWND wnd, const std::function<bool(IAccessible*, long)>& visit)
{
    TAccessibleObjectFromWindow fromWindow = AccessibleFromWindow();
    if (!fromWindow)
        return false;
    TComInit com;
    TComPtr<IAccessible> client;
    if (FAILED(fromWindow(wnd, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible), reinterpret_cast<void**>(client.Put()))) ||
        !client)
        return false;
    long count = 0;
    if (FAILED(client->get_accChildCount(&count)))
        return false;
    for (long i = 1; i <= count; ++i) {
        VARIANT id{};
        id.vt = VT_I4;
        id.lVal = i;
        TComPtr<IDispatch> dispatch;
        TComPtr<IAccessible> own;
        if (client->get_accChild(id, dispatch.Put()) == S_OK && dispatch)
            own = dispatch.As<IAccessible>();
        if (own ? visit(own.Get(), CHILDID_SELF) : visit(client.Get(), i))
            return true;
    }
    return false;
}

void SendMouse(DWORD flags)
{
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flags;
    SendInput(1, &input, sizeof input);
}

WORD KeyCode(const std::string& name)
{
    static const std::map<std::string, WORD> named{
        {"alt", VK_MENU},    {"ctrl", VK_CONTROL}, {"shift", VK_SHIFT}, {"enter", VK_RETURN}, {"esc", VK_ESCAPE},
        {"tab", VK_TAB},     {"space", VK_SPACE},  {"up", VK_UP},       {"down", VK_DOWN},    {"left", VK_LEFT},
        {"right", VK_RIGHT}, {"home", VK_HOME},    {"end", VK_END},     {"del", VK_DELETE},
    };
    if (auto it = named.find(name); it != named.end())
        return it->second;
    if (name.size() == 1 && std::isalnum(static_cast<unsigned char>(name[0])))
        return static_cast<WORD>(std::toupper(static_cast<unsigned char>(name[0])));
    if (name.size() >= 2 && name[0] == 'f' && std::isdigit(static_cast<unsigned char>(name[1])))
        return static_cast<WORD>(VK_F1 + std::stoi(name.substr(1)) - 1);
    throw std::invalid_argument("no key named " + name);
}

void SendKey(WORD key, bool up)
{
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyA(key, MAPVK_VK_TO_VSC));
    const bool extended = (key >= VK_PRIOR && key <= VK_DOWN) || key == VK_DELETE || key == VK_INSERT;
    input.ki.dwFlags = (up ? KEYEVENTF_KEYUP : 0) | (extended ? KEYEVENTF_EXTENDEDKEY : 0);
    SendInput(1, &input, sizeof input);
}
}

std::vector<TAccessibleItem> AccessibleChildren(HWND wnd)
{
    std::vector<TAccessibleItem> items;
    VisitAccessibleChildren(wnd, [&](IAccessible* object, long childId) {
        items.push_back(ReadAccessible(object, childId));
        return false;
    });
    return items;
}

TAccessibleItem FindAccessible(HWND wnd, const std::wstring& label)
{
    for (const TAccessibleItem& item : AccessibleChildren(wnd))
        if (item.Label() == label)
            return item;
    return {};
}

bool DoAccessibleAction(HWND wnd, const std::wstring& label)
{
    bool done = false;
    VisitAccessibleChildren(wnd, [&](IAccessible* object, long childId) {
        VARIANT child{};
        child.vt = VT_I4;
        child.lVal = childId;
        BSTR text = nullptr;
        if (object->get_accName(child, &text) != S_OK)
            return false;
        const std::wstring name = TakeText(text);
        if (name.substr(0, name.find(L'\t')) != label)
            return false;
        done = object->accDoDefaultAction(child) == S_OK;
        return true;
    });
    return done;
}

// An absolute move, as the device reports one: it reaches the program as a mouse move even where
// setting the cursor alone would not make one.
void MoveMouse(POINT screen)
{
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dx = MulDiv(screen.x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
    input.mi.dy = MulDiv(screen.y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
    input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    // Wine moves the X pointer after the move is queued, and the X server reports what lies under
    // it to the program as a further move: late, that report sends a dragged window back to where
    // the pointer had been. With the X pointer moved first (sent when this thread next looks at its
    // queue) the report and the move agree.
    SetCursorPos(screen.x, screen.y);
    MSG msg{};
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
    SendInput(1, &input, sizeof input);
}

namespace {
// Waits until the program under the point has read its X events and handled its queue: a drag step
// taken before then would leave the program a stale report of the pointer to move the window back
// by.
void LetProgramCatchUp(POINT screen)
{
    HWND wnd = WindowFromPoint(screen);
    DWORD processId = 0;
    GetWindowThreadProcessId(wnd, &processId);
    if (!wnd || processId == GetCurrentProcessId())
        return;
    // Wine reads the X events when the program next waits, after the message that woke it.
    for (int round = 0; round < 3; ++round) {
        DWORD_PTR result = 0;
        SendMessageTimeoutA(wnd, WM_NULL, 0, 0, SMTO_NORMAL, DriverWaitMs, &result);
    }
}
} // namespace

void MouseClick(POINT screen, bool right)
{
    MoveMouse(screen);
    Sleep(30);
    SendMouse(right ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN);
    Sleep(30);
    SendMouse(right ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP);
    Sleep(50);
}

void MouseDoubleClick(POINT screen)
{
    MoveMouse(screen);
    Sleep(30);
    for (int i = 0; i < 2; ++i) {
        SendMouse(MOUSEEVENTF_LEFTDOWN);
        SendMouse(MOUSEEVENTF_LEFTUP);
    }
    Sleep(50);
}

void MouseDrag(POINT from, POINT to, int steps)
{
    MoveMouse(from);
    Sleep(50);
    SendMouse(MOUSEEVENTF_LEFTDOWN);
    for (int i = 1; i <= steps; ++i) {
        Sleep(40);
        const POINT step{from.x + (to.x - from.x) * i / steps, from.y + (to.y - from.y) * i / steps};
        MoveMouse(step);
        LetProgramCatchUp(step);
    }
    Sleep(50);
    SendMouse(MOUSEEVENTF_LEFTUP);
    Sleep(50);
}

void PressKeys(const std::string& keys)
{
    std::istringstream strokes(keys);
    std::string stroke;
    while (strokes >> stroke) {
        std::vector<WORD> chord;
        for (size_t start = 0; start <= stroke.size();) {
            const size_t plus = std::min(stroke.find('+', start), stroke.size());
            chord.push_back(KeyCode(stroke.substr(start, plus - start)));
            start = plus + 1;
        }
        for (WORD key : chord)
            SendKey(key, false);
        for (auto it = chord.rbegin(); it != chord.rend(); ++it)
            SendKey(*it, true);
        // The program reads each stroke before the next, as a typist's would be.
        Sleep(60);
    }
}

bool IsPopupMenuWindow(HWND wnd)
{
    const std::string name = WindowClass(wnd);
    return name == "#32768" || name.find("PopupWindow") != std::string::npos;
}

TProgramDriver::~TProgramDriver()
{
    Kill();
}

bool TProgramDriver::Start(const std::string& arguments, DWORD timeoutMs)
{
    Kill();
    // A pointer left over the bars by an earlier case would show a tip over the new window.
    ParkCursor();
    const std::string exe = SheetfoldExePath();
    std::string commandLine = "\"" + exe + "\"";
    if (!arguments.empty())
        commandLine += " " + arguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return false;
    CloseHandle(info.hThread);
    FProcess = info.hProcess;
    FProcessId = info.dwProcessId;
    AddLiveProgram(FProcess);
    WaitUntil(
        [&] {
            std::vector<HWND> mains = ProcessWindows(FProcessId, "TSheetfoldForm");
            FMain = mains.empty() ? nullptr : mains.front();
            return FMain != nullptr || !Running();
        },
        timeoutMs);
    return FMain != nullptr && Sync(timeoutMs);
}

bool TProgramDriver::Running() const
{
    return FProcess && WaitForSingleObject(FProcess, 0) == WAIT_TIMEOUT;
}

bool TProgramDriver::WaitForCaption(const std::string& caption, DWORD timeoutMs) const
{
    return WaitUntil([&] { return Caption() == caption; }, timeoutMs);
}

void TProgramDriver::PostCommand(int key) const
{
    PostMessageA(FMain, WM_COMMAND, MAKEWPARAM(key, 0), 0);
}

bool TProgramDriver::Sync(DWORD timeoutMs) const
{
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(FMain, WM_NULL, 0, 0, SMTO_NORMAL, timeoutMs, &result) != 0;
}

HWND TProgramDriver::WaitForWindow(const std::function<bool(HWND)>& test, DWORD timeoutMs) const
{
    HWND found = nullptr;
    WaitUntil(
        [&] {
            for (HWND wnd : ProcessWindows(FProcessId))
                if (test(wnd)) {
                    found = wnd;
                    return true;
                }
            return !Running();
        },
        timeoutMs);
    return found;
}

HWND TProgramDriver::WaitForClass(const std::string& className, DWORD timeoutMs) const
{
    return WaitForWindow([&](HWND wnd) { return WindowClass(wnd) == className; }, timeoutMs);
}

bool TProgramDriver::WaitForClassGone(const std::string& className, DWORD timeoutMs) const
{
    return WaitUntil([&] { return ProcessWindows(FProcessId, className).empty(); }, timeoutMs);
}

HWND TProgramDriver::WaitForMessageBox(DWORD timeoutMs) const
{
    return WaitForWindow([](HWND wnd) { return WindowClass(wnd) == "#32770" && WindowText(wnd) == "Sheetfold"; },
                         timeoutMs);
}

HWND TProgramDriver::WaitForFileDialog(DWORD timeoutMs) const
{
    return WaitForWindow(&IsFileDialog, timeoutMs);
}

bool TProgramDriver::HasDialog() const
{
    return !ProcessWindows(FProcessId, "#32770").empty();
}

bool TProgramDriver::WaitForDialogsGone(DWORD timeoutMs) const
{
    return WaitUntil([&] { return !HasDialog(); }, timeoutMs);
}

bool TProgramDriver::AnswerFileDialog(HWND dialog, const std::string& name, int filterIndex) const
{
    if (!dialog)
        return false;
    if (filterIndex > 0)
        SetFileDialogFilter(dialog, filterIndex);
    SetFileDialogName(dialog, name);
    PressDialogButton(dialog, IDOK);
    return WaitUntil([&] { return !IsWindow(dialog) || !IsWindowVisible(dialog); });
}

std::vector<HWND> TProgramDriver::PopupMenus() const
{
    std::vector<HWND> popups;
    for (HWND wnd : ProcessWindows(FProcessId))
        if (IsPopupMenuWindow(wnd))
            popups.insert(popups.begin(), wnd);
    return popups;
}

HWND TProgramDriver::WaitForPopupMenus(size_t count, DWORD timeoutMs) const
{
    std::vector<HWND> popups;
    WaitUntil(
        [&] {
            popups = PopupMenus();
            return popups.size() == count || !Running();
        },
        timeoutMs);
    return popups.size() == count && count > 0 ? popups.back() : nullptr;
}

std::wstring TProgramDriver::HoverHint(POINT screen, DWORD timeoutMs) const
{
    // The tip waits for a move onto the control, so the mouse comes from beside the point.
    MoveMouse(POINT{screen.x - 4, screen.y - 2});
    Sleep(50);
    MoveMouse(screen);
    // The tip shows below the cursor: one still up from an earlier point stands elsewhere.
    HWND hint = WaitForWindow(
        [&](HWND wnd) {
            RECT r{};
            GetWindowRect(wnd, &r);
            return WindowClass(wnd).find("HintWindow") != std::string::npos && std::abs(r.left - screen.x) <= 8 &&
                   r.top > screen.y;
        },
        timeoutMs);
    if (!hint)
        return {};
    if (WindowClass(hint) != "TTBHintWindow") {
        wchar_t text[512] = {};
        SendMessageTimeoutW(hint, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 5000, nullptr);
        return text;
    }
    // The toolbars' own tip window keeps the UTF-8 bytes it was handed as its 8-bit text and
    // paints them decoded; a plain tip window would paint the bytes.
    char bytes[1024] = {};
    SendMessageTimeoutA(hint, WM_GETTEXT, sizeof bytes, reinterpret_cast<LPARAM>(bytes), SMTO_NORMAL, 5000, nullptr);
    wchar_t text[512] = {};
    MultiByteToWideChar(CP_UTF8, 0, bytes, -1, text, 512);
    return text;
}

bool TProgramDriver::BringToFront(HWND wnd) const
{
    HWND front = GetForegroundWindow();
    if (!wnd) {
        DWORD owner = 0;
        GetWindowThreadProcessId(front, &owner);
        // Any window of the program in front takes the input, and its open menus stay open.
        if (owner == FProcessId)
            return true;
        wnd = FMain;
    }
    if (front == wnd)
        return true;
    SetForegroundWindow(wnd);
    return WaitUntil([&] { return GetForegroundWindow() == wnd; }, 3000);
}

void TProgramDriver::Drag(HWND wnd, POINT from, POINT to, int steps) const
{
    ParkCursor();
    PostMessageA(wnd, WM_MOUSEMOVE, 0, ClientPoint(from));
    PostMessageA(wnd, WM_LBUTTONDOWN, MK_LBUTTON, ClientPoint(from));
    Sync();
    for (int i = 1; i <= steps; ++i) {
        POINT p{from.x + (to.x - from.x) * i / steps, from.y + (to.y - from.y) * i / steps};
        PostMessageA(wnd, WM_MOUSEMOVE, MK_LBUTTON, ClientPoint(p));
        Sync();
    }
    PostMessageA(wnd, WM_LBUTTONUP, 0, ClientPoint(to));
    Sync();
}

void TProgramDriver::Click(HWND wnd, POINT at) const
{
    ParkCursor();
    PostMessageA(wnd, WM_MOUSEMOVE, 0, ClientPoint(at));
    PostMessageA(wnd, WM_LBUTTONDOWN, MK_LBUTTON, ClientPoint(at));
    PostMessageA(wnd, WM_LBUTTONUP, 0, ClientPoint(at));
    Sync();
}

void TProgramDriver::Close() const
{
    PostMessageA(FMain, WM_CLOSE, 0, 0);
}

bool TProgramDriver::WaitForExit(DWORD timeoutMs, DWORD* exitCode) const
{
    if (!FProcess || WaitForSingleObject(FProcess, timeoutMs) != WAIT_OBJECT_0)
        return false;
    if (exitCode)
        GetExitCodeProcess(FProcess, exitCode);
    return true;
}

void TProgramDriver::Kill()
{
    if (!FProcess)
        return;
    if (Running()) {
        TerminateProcess(FProcess, 255);
        WaitForSingleObject(FProcess, 5000);
    }
    RemoveLiveProgram(FProcess);
    CloseHandle(FProcess);
    FProcess = nullptr;
    FProcessId = 0;
    FMain = nullptr;
}

void TProgramDriver::KillAll()
{
    std::lock_guard<std::mutex> lock(LiveProgramsLock);
    for (HANDLE process : LivePrograms)
        TerminateProcess(process, 255);
}
