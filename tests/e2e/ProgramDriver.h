// Drives Sheetfold.exe from the outside the way a user would: starts it, finds its windows, posts
// commands, answers its dialogs and message boxes, and always ends it. Every wait is bounded.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// How long a driver waits by default for a window to appear or go.
constexpr DWORD DriverWaitMs = 15000;

// The program under test: the path the test run was given (SF_SHEETFOLD_EXE, a Linux or a
// Windows path), else Sheetfold.exe in the folder above the test program.
std::string SheetfoldExePath();

// A Linux path ("/tmp/x") as Wine's drive Z: sees it; Windows paths come back unchanged.
std::string WindowsPath(const std::string& path);

// Polls until the condition holds or the time is up; true when it held.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = DriverWaitMs, DWORD intervalMs = 25);

// The visible top-level windows of a process, optionally only those of a window class.
std::vector<HWND> ProcessWindows(DWORD processId, const std::string& className = "");
// The first descendant of the window of the class (and with the text, when one is given), or 0.
HWND FindDescendant(HWND parent, const std::string& className, const std::string& text = "");
// The first descendant that satisfies the test, or 0.
HWND FindDescendantIf(HWND parent, const std::function<bool(HWND)>& test);
std::string WindowText(HWND wnd);
std::string WindowClass(HWND wnd);

// A message box of the process: caption "Sheetfold", the text in the static 0xFFFF.
std::string MessageBoxText(HWND box);
// Presses a button (IDYES, IDNO, IDOK, IDCANCEL) of a message box or a common dialog.
void PressDialogButton(HWND dialog, int id);

// A common file dialog, answered from outside: its file name and its filter (1-based, as the
// dialog's FilterIndex counts).
void SetFileDialogName(HWND dialog, const std::string& name);
void SetFileDialogFilter(HWND dialog, int filterIndex);
bool IsFileDialog(HWND wnd);
// The text of the file name box.
std::string FileDialogName(HWND dialog);
// Several files of one folder in a multiple-selection open dialog: the dialog first moves into
// the folder, then takes the quoted names and OK. The dialog closes by itself.
void SelectFilesInDialog(HWND dialog, const std::string& folder, const std::vector<std::string>& names);

class TProgramDriver {
public:
    TProgramDriver() = default;
    ~TProgramDriver();
    TProgramDriver(const TProgramDriver&) = delete;
    TProgramDriver& operator=(const TProgramDriver&) = delete;

    // Starts the program with the command line's arguments (quoted by the caller as needed) and
    // waits until its main window is visible and answers messages. False when it did not come up.
    bool Start(const std::string& arguments = "", DWORD timeoutMs = 30000);
    bool Running() const;
    DWORD ProcessId() const { return FProcessId; }
    HANDLE ProcessHandle() const { return FProcess; }
    HWND MainWindow() const { return FMain; }
    std::string Caption() const { return WindowText(FMain); }
    bool WaitForCaption(const std::string& caption, DWORD timeoutMs = DriverWaitMs) const;

    // Posts WM_COMMAND with the command's key, as a menu item or a toolbar button does.
    void PostCommand(int key) const;
    // True once the main window's thread has handled a message sent now: whatever was posted
    // before has run, unless a modal loop is still going on.
    bool Sync(DWORD timeoutMs = DriverWaitMs) const;

    // A visible top-level window of the program that satisfies the test, waited for.
    HWND WaitForWindow(const std::function<bool(HWND)>& test, DWORD timeoutMs = DriverWaitMs) const;
    HWND WaitForClass(const std::string& className, DWORD timeoutMs = DriverWaitMs) const;
    bool WaitForClassGone(const std::string& className, DWORD timeoutMs = DriverWaitMs) const;
    // The program's message box (caption "Sheetfold"), or a file dialog.
    HWND WaitForMessageBox(DWORD timeoutMs = DriverWaitMs) const;
    HWND WaitForFileDialog(DWORD timeoutMs = DriverWaitMs) const;
    // Whether a message box or dialog ("#32770") of the program is open right now.
    bool HasDialog() const;
    bool WaitForDialogsGone(DWORD timeoutMs = DriverWaitMs) const;

    // Runs a file dialog to its end: filter (0 leaves it), name, OK; waits until it is gone.
    bool AnswerFileDialog(HWND dialog, const std::string& name, int filterIndex = 0) const;

    // A descendant of the main window.
    HWND FindChild(const std::string& className) const { return FindDescendant(FMain, className); }

    // A left-button drag in the window's client coordinates, as mouse messages.
    void Drag(HWND wnd, POINT from, POINT to, int steps = 8) const;
    void Click(HWND wnd, POINT at) const;

    // WM_CLOSE; then waits for the process to end and reports its exit code.
    void Close() const;
    bool WaitForExit(DWORD timeoutMs = DriverWaitMs, DWORD* exitCode = nullptr) const;
    // Ends the process at once (nothing of it is kept).
    void Kill();
    // Ends every program a driver of this process has started and not ended yet.
    static void KillAll();

private:
    HANDLE FProcess = nullptr;
    DWORD FProcessId = 0;
    HWND FMain = nullptr;
};
