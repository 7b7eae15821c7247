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

// One accessible object as a screen reader reads it: its name, value (the text of an edit or
// combo box), description, role and state, and where it is on the screen.
struct TAccessibleItem {
    std::wstring Name;
    std::wstring Value;
    std::wstring Description;
    long Role = 0;
    long State = 0;
    RECT Bounds{};
    POINT Center() const { return POINT{(Bounds.left + Bounds.right) / 2, (Bounds.top + Bounds.bottom) / 2}; }
    // The name without the shortcut a menu item shows after a tab.
    std::wstring Label() const { return Name.substr(0, Name.find(L'\t')); }
};
// The accessible children of the window's client area (OBJID_CLIENT), in their order: the items of
// a themed toolbar, menu bar or popup menu, which are no windows. Empty when it answers none.
std::vector<TAccessibleItem> AccessibleChildren(HWND wnd);
// The child of that label (Label()), or an item with an empty name when there is none.
TAccessibleItem FindAccessible(HWND wnd, const std::wstring& label);
// Runs the default action (accDoDefaultAction) of the child of that label; false when there is no
// such child or it refuses.
bool DoAccessibleAction(HWND wnd, const std::wstring& label);

// Real mouse input through the system's queue (SendInput), at screen points: the cursor moves
// there first. The drag, sizing and menu loops follow the cursor and the capture, which posted
// mouse messages do not move.
void MoveMouse(POINT screen);
void MouseClick(POINT screen, bool right = false);
void MouseDoubleClick(POINT screen);
void MouseDrag(POINT from, POINT to, int steps = 6);
// Real key strokes through the system's queue (SendInput), to the foreground window's focus: a
// posted WM_KEYDOWN leaves the keyboard state alone, so Alt, Ctrl chords and the menu loops that
// read the shift state would not see it; under Wine SendInput reaches another process's window
// once it is in front (TProgramDriver::BringToFront). Keys
// are blank-separated, chords joined by "+": "alt", "ctrl+n", "down down enter", "esc"; names
// are alt ctrl shift enter esc tab space up down left right home end del f1..f12, or one letter
// or digit.
void PressKeys(const std::string& keys);

// Whether the window is a popup menu (a themed one, or the system's).
bool IsPopupMenuWindow(HWND wnd);

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

    // The program's popup menus that are open now, the newest last.
    std::vector<HWND> PopupMenus() const;
    // Waits for `count` popup menus of the program to be open (0: all closed); the newest, or 0.
    HWND WaitForPopupMenus(size_t count, DWORD timeoutMs = DriverWaitMs) const;
    // The tip the program shows while the mouse rests at the screen point, or empty when none
    // comes within the time.
    std::wstring HoverHint(POINT screen, DWORD timeoutMs = 5000) const;
    // Makes the window (by default: any window of the program, else the main window) the
    // foreground one, so that real input reaches it; false when it does not become so.
    bool BringToFront(HWND wnd = nullptr) const;

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
