// Time from starting Sheetfold.exe to its main window standing painted on the screen, with Wine
// already running, against a bare window program started and timed the same way (this program
// with --window). Target: under 1 s.
//   bench_startup.exe [path of Sheetfold.exe]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"

namespace {

constexpr int Runs = 5;
constexpr DWORD StartTimeoutMs = 30000;
const char* const BareWindowClass = "TBenchBareWindow";

LRESULT CALLBACK BareWindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(wnd, msg, wParam, lParam);
}

// The baseline program: one plain window and its message loop.
int RunBareWindow()
{
    WNDCLASSA wc{};
    wc.lpfnWndProc = BareWindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_APPWORKSPACE + 1);
    wc.lpszClassName = BareWindowClass;
    RegisterClassA(&wc);
    HWND wnd = CreateWindowExA(0, BareWindowClass, "Bare", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 900, 650,
                               nullptr, nullptr, wc.hInstance, nullptr);
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
    if (pid == search->ProcessId && IsWindowVisible(wnd) && strcmp(name, search->ClassName) == 0) {
        search->Found = wnd;
        return FALSE;
    }
    return TRUE;
}

HWND FindVisibleWindow(DWORD processId, const char* className)
{
    TWindowSearch search{processId, className};
    EnumWindows(&MatchWindow, reinterpret_cast<LPARAM>(&search));
    return search.Found;
}

// Milliseconds from CreateProcess until the window of the class is visible and the program has
// gone idle with it, which is after its first paint: paint messages come before idle. A
// negative result when the program did not get there.
double TimeStart(const std::string& exe, const std::string& arguments, const char* className)
{
    std::string commandLine = "\"" + exe + "\"" + arguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    const double start = Now();
    if (!CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return -1;
    HWND wnd = nullptr;
    while (!wnd && Now() - start < StartTimeoutMs && WaitForSingleObject(info.hProcess, 0) == WAIT_TIMEOUT) {
        wnd = FindVisibleWindow(info.dwProcessId, className);
        if (!wnd)
            Sleep(1);
    }
    double elapsed = -1;
    // A program without a message queue of its own reports no idle state: the round trip alone
    // then tells that its window procedure runs.
    const DWORD idle = wnd ? WaitForInputIdle(info.hProcess, StartTimeoutMs) : WAIT_TIMEOUT;
    if (idle == 0 || idle == WAIT_FAILED) {
        DWORD_PTR result = 0;
        if (SendMessageTimeoutA(wnd, WM_NULL, 0, 0, SMTO_NORMAL, StartTimeoutMs, &result))
            elapsed = Now() - start;
    }
    if (wnd)
        PostMessageA(wnd, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(info.hProcess, 5000) != WAIT_OBJECT_0)
        TerminateProcess(info.hProcess, 1);
    WaitForSingleObject(info.hProcess, 5000);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return elapsed;
}

// The median of the runs after one warm-up start, or a negative value when a run failed.
double MedianStart(const std::string& exe, const std::string& arguments, const char* className)
{
    TimeStart(exe, arguments, className);
    std::vector<double> times;
    for (int i = 0; i < Runs; ++i) {
        double t = TimeStart(exe, arguments, className);
        if (t < 0)
            return t;
        times.push_back(t);
    }
    std::sort(times.begin(), times.end());
    return times[Runs / 2];
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

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::string(argv[1]) == "--window")
        return RunBareWindow();
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

    std::printf("start to first painted window, median of %d starts after a warm-up\n", Runs);
    const double bare = MedianStart(self, " --window", BareWindowClass);
    const double program = MedianStart(sheetfold, "", "TSheetfoldForm");
    if (bare < 0 || program < 0) {
        std::fprintf(stderr, "a program did not show its window within %lu ms\n", StartTimeoutMs);
        return 1;
    }
    std::printf("  bare window program (baseline)  %8.1f ms\n", bare);
    std::printf("  Sheetfold.exe                   %8.1f ms   %.2fx baseline   target < 1000 ms: %s\n", program,
                program / bare, program < 1000 ? "met" : "MISSED");
    return 0;
}
