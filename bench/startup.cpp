// Time from starting Sheetfold.exe to its main window standing painted on the screen, and from
// asking that window to close to the end of the process, with Wine already running, each against
// a bare window program started and timed the same way (this program with --window) and against
// Wine's notepad, a real program of the system, started the same way. Targets: start under 1 s and
// at most 1.6x notepad's, close under 0.5 s.
// Where the start goes: the bare program also runs with as many plain child windows as Sheetfold's
// main window has once it is idle (--window N), which is what Wine charges for the windows alone;
// and Sheetfold's start is split where it shows from outside: its main window made, shown, idle.
//   bench_startup.exe [path of Sheetfold.exe]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"

namespace {

constexpr int Runs = 7;
constexpr DWORD StartTimeoutMs = 30000;
constexpr DWORD CloseTimeoutMs = 30000;
const char* const BareWindowClass = "TBenchBareWindow";
const char* const BareChildClass = "TBenchBareChild";
const char* const NotepadClass = "Notepad";

// Closing ends the message loop and the process, which takes the window with it: the least any
// program does at close.
LRESULT CALLBACK BareWindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_CLOSE) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(wnd, msg, wParam, lParam);
}

// The baseline program: one plain window, with as many plain child windows in rows as asked for,
// and its message loop.
int RunBareWindow(int children)
{
    WNDCLASSA wc{};
    wc.lpfnWndProc = BareWindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_APPWORKSPACE + 1);
    wc.lpszClassName = BareWindowClass;
    RegisterClassA(&wc);
    WNDCLASSA child = wc;
    child.lpfnWndProc = DefWindowProcA;
    child.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    child.lpszClassName = BareChildClass;
    RegisterClassA(&child);
    HWND wnd = CreateWindowExA(0, BareWindowClass, "Bare", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT,
                               CW_USEDEFAULT, 900, 650, nullptr, nullptr, wc.hInstance, nullptr);
    for (int i = 0; i < children; ++i)
        CreateWindowExA(0, BareChildClass, "", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, (i % 10) * 88, (i / 10) * 24,
                        80, 20, wnd, nullptr, wc.hInstance, nullptr);
    ShowWindow(wnd, SW_SHOWNORMAL);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}

struct TWindowSearch {
    DWORD ProcessId;
    const char* ClassName;
    HWND Found = nullptr;
};

BOOL CALLBACK MatchWindow(HWND wnd, LPARAM param)
{
    auto* search = reinterpret_cast<TWindowSearch*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(wnd, &pid);
    char name[64] = {};
    GetClassNameA(wnd, name, sizeof name);
    if (pid == search->ProcessId && strcmp(name, search->ClassName) == 0) {
        search->Found = wnd;
        return FALSE;
    }
    return TRUE;
}

// The process's top-level window of the class, shown or not.
HWND FindProgramWindow(DWORD processId, const char* className)
{
    TWindowSearch search{processId, className};
    EnumWindows(&MatchWindow, reinterpret_cast<LPARAM>(&search));
    return search.Found;
}

BOOL CALLBACK CountWindow(HWND, LPARAM param)
{
    ++*reinterpret_cast<int*>(param);
    return TRUE;
}

// Every window inside the window, at any depth.
int CountChildWindows(HWND wnd)
{
    int count = 0;
    EnumChildWindows(wnd, &CountWindow, reinterpret_cast<LPARAM>(&count));
    return count;
}

struct TRunTimes {
    double Made = -1;
    double Shown = -1;
    double Start = -1;
    double Close = -1;
    int ChildWindows = 0;
};

// Milliseconds from CreateProcess until the window of the class exists (Made), is visible (Shown),
// and the program has gone idle with it, which is after its first paint: paint messages come
// before idle (Start); then from posting WM_CLOSE to the window until the process has ended.
// Negative times where the program did not get there.
TRunTimes TimeRun(const std::string& exe, const std::string& arguments, const char* className)
{
    TRunTimes times;
    std::string commandLine = "\"" + exe + "\"" + arguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    const double start = Now();
    if (!CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return times;
    HWND wnd = nullptr;
    while (times.Shown < 0 && Now() - start < StartTimeoutMs && WaitForSingleObject(info.hProcess, 0) == WAIT_TIMEOUT) {
        if (!wnd && (wnd = FindProgramWindow(info.dwProcessId, className)) != nullptr)
            times.Made = Now() - start;
        if (wnd && IsWindowVisible(wnd))
            times.Shown = Now() - start;
        else
            Sleep(1);
    }
    if (times.Shown < 0)
        wnd = nullptr;
    // A program without a message queue of its own reports no idle state: the round trip alone
    // then tells that its window procedure runs.
    const DWORD idle = wnd ? WaitForInputIdle(info.hProcess, StartTimeoutMs) : WAIT_TIMEOUT;
    if (idle == 0 || idle == WAIT_FAILED) {
        DWORD_PTR result = 0;
        if (SendMessageTimeoutA(wnd, WM_NULL, 0, 0, SMTO_NORMAL, StartTimeoutMs, &result))
            times.Start = Now() - start;
        times.ChildWindows = CountChildWindows(wnd);
    }
    if (wnd) {
        const double closing = Now();
        PostMessageA(wnd, WM_CLOSE, 0, 0);
        if (WaitForSingleObject(info.hProcess, CloseTimeoutMs) == WAIT_OBJECT_0)
            times.Close = Now() - closing;
    }
    if (WaitForSingleObject(info.hProcess, 0) != WAIT_OBJECT_0)
        TerminateProcess(info.hProcess, 1);
    WaitForSingleObject(info.hProcess, 5000);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return times;
}

struct TProgram {
    std::string Exe;
    std::string Arguments;
    const char* ClassName;
    std::vector<double> Made;
    std::vector<double> Shown;
    std::vector<double> Starts;
    std::vector<double> Closes;
};

// Each program is started once to warm up, then all in turn, round after round: the load of a
// shared machine then weighs on all of them alike, and each round gives its own ratios. False when
// a run failed.
bool RunInTurn(std::vector<TProgram*> programs)
{
    for (TProgram* p : programs)
        TimeRun(p->Exe, p->Arguments, p->ClassName);
    for (int i = 0; i < Runs; ++i)
        for (TProgram* p : programs) {
            TRunTimes t = TimeRun(p->Exe, p->Arguments, p->ClassName);
            if (t.Start < 0 || t.Close < 0)
                return false;
            p->Made.push_back(t.Made);
            p->Shown.push_back(t.Shown);
            p->Starts.push_back(t.Start);
            p->Closes.push_back(t.Close);
        }
    return true;
}

// The median over the rounds of one program's time against another's in the same round.
double MedianRatio(const std::vector<double>& a, const std::vector<double>& b)
{
    std::vector<double> ratios;
    for (size_t i = 0; i < a.size(); ++i)
        ratios.push_back(a[i] / b[i]);
    return Median(ratios);
}

std::string ProgramFolder()
{
    char self[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string path(self, n);
    return path.substr(0, path.find_last_of('\\'));
}

// No demonstration project and no questions at close.
void QuietSettings()
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Sheetfold", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return;
    DWORD never = 2;
    RegSetValueExA(key, "ShowDemo", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&never), sizeof never);
    RegCloseKey(key);
}

// Without a window manager (Xvfb) Wine waits 2 s for each managed top-level window that goes,
// whichever program it belongs to: that wait would swamp the programs' own work at close. Both
// programs' windows are left unmanaged; Windows ignores the keys.
void LeaveWindowsUnmanaged(const std::string& exe)
{
    const std::string name = exe.substr(exe.find_last_of("\\/") + 1);
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, ("Software\\Wine\\AppDefaults\\" + name + "\\X11 Driver").c_str(), 0, nullptr, 0,
                        KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExA(key, "Managed", 0, REG_SZ, reinterpret_cast<const BYTE*>("N"), 2);
    RegCloseKey(key);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::string(argv[1]) == "--window")
        return RunBareWindow(argc > 2 ? std::max(std::atoi(argv[2]), 0) : 0);
    PrintArchitecture();
    const std::string folder = ProgramFolder();
    std::string sheetfold = argc > 1 ? argv[1] : folder.substr(0, folder.find_last_of('\\')) + "\\Sheetfold.exe";
    if (GetFileAttributesA(sheetfold.c_str()) == INVALID_FILE_ATTRIBUTES) {
        std::fprintf(stderr, "no program at %s\n", sheetfold.c_str());
        return 1;
    }
    QuietSettings();
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    LeaveWindowsUnmanaged(self);
    LeaveWindowsUnmanaged(sheetfold);
    char system[MAX_PATH];
    GetSystemDirectoryA(system, MAX_PATH);
    const std::string notepad = std::string(system) + "\\notepad.exe";
    LeaveWindowsUnmanaged(notepad);

    std::printf("start to first painted window, and close to process exit; the programs in turn, medians of %d "
                "rounds after a warm-up (ratios per round)\n",
                Runs);
    TProgram bare{self, " --window", BareWindowClass, {}, {}, {}, {}};
    TProgram program{sheetfold, "", "TSheetfoldForm", {}, {}, {}, {}};
    TProgram other{notepad, "", NotepadClass, {}, {}, {}, {}};
    const int children = TimeRun(sheetfold, "", "TSheetfoldForm").ChildWindows;
    TProgram windows{self, " --window " + std::to_string(children), BareWindowClass, {}, {}, {}, {}};
    if (!RunInTurn({&bare, &windows, &other, &program})) {
        std::fprintf(stderr, "a program did not show its window within %lu ms or did not end within %lu ms of being "
                             "asked to close\n",
                     StartTimeoutMs, CloseTimeoutMs);
        return 1;
    }
    const double programStart = Median(program.Starts), programClose = Median(program.Closes);
    std::printf("  start  bare window program (baseline)  %8.1f ms\n", Median(bare.Starts));
    std::printf("         the same with %3d child windows %8.1f ms   %.2fx baseline (Wine's cost of the windows)\n",
                children, Median(windows.Starts), MedianRatio(windows.Starts, bare.Starts));
    std::printf("         Wine's notepad                  %8.1f ms   %.2fx baseline\n", Median(other.Starts),
                MedianRatio(other.Starts, bare.Starts));
    std::printf("         Sheetfold.exe                   %8.1f ms   %.2fx baseline   %.2fx notepad (target <= 1.60x)"
                "   target < 1000 ms: %s\n",
                programStart, MedianRatio(program.Starts, bare.Starts), MedianRatio(program.Starts, other.Starts),
                programStart < 1000 ? "met" : "MISSED");
    std::printf("           %.2fx the bare program with its %d child windows; its main window made at %.1f ms, "
                "shown at %.1f ms\n",
                MedianRatio(program.Starts, windows.Starts), children, Median(program.Made), Median(program.Shown));
    std::printf("  close  bare window program (baseline)  %8.1f ms\n", Median(bare.Closes));
    std::printf("         the same with %3d child windows %8.1f ms   %.2fx baseline\n", children,
                Median(windows.Closes), MedianRatio(windows.Closes, bare.Closes));
    std::printf("         Wine's notepad                  %8.1f ms   %.2fx baseline\n", Median(other.Closes),
                MedianRatio(other.Closes, bare.Closes));
    std::printf("         Sheetfold.exe                   %8.1f ms   %.2fx baseline   target < 500 ms: %s\n",
                programClose, MedianRatio(program.Closes, bare.Closes), programClose < 500 ? "met" : "MISSED");
    return 0;
}
