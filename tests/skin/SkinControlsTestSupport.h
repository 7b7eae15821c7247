// What the themed control tests share: one shown, topmost form that hosts the controls of every
// case (each form that hides costs Wine two seconds without a window manager), messages sent
// as the system sends them, and counts of what a test may leak.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "platform/Forms.h"
#include "skin/SkinDib.h"

class THostForm {
public:
    // The form, made on first use; Clear frees every control put on it.
    static TForm* Form();
    static void Clear();
};

// Client coordinates of a control as a message's lParam.
LPARAM ClientPoint(int x, int y);
// Sends what the system sends for the mouse: moves (the cursor set to the point too), presses
// and releases with the left button, in client coordinates of the control's window.
void SendMouseMove(TWinControl* control, int x, int y, WPARAM keys = 0);
void SendLeftDown(TWinControl* control, int x, int y);
void SendLeftUp(TWinControl* control, int x, int y);
void SendKey(TWinControl* control, UINT message, WORD key);

// What a test counts before and after: windows of the thread (top-level and children), GDI
// objects and device contexts held by guards, timers and utility windows.
struct TResourceCounts {
    int Windows = 0;
    int GdiObjects = 0;
    int DeviceContexts = 0;
    int Timers = 0;
    int UtilityWindows = 0;
    bool operator==(const TResourceCounts&) const = default;
};
TResourceCounts CountResources();
std::string Describe(const TResourceCounts& counts);

// The bounding box of the pixels of one colour, or an empty rectangle.
RECT InkBox(const TDIB32* dib, uint32_t rgb);

// Events in the order they came.
struct TEventLog {
    std::vector<std::string> Entries;
    void Add(const std::string& entry) { Entries.push_back(entry); }
    std::string Joined() const;
};
