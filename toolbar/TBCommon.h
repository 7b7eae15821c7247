// The toolbox the menu and toolbar framework and the themed controls share: text measuring and
// drawing (8-bit, wide and vertical), accelerators and hints, WM_PRINT answering, message pumps,
// monitor rectangles, mouse-leave tracking, menu settings and sounds, the XOR drag outline, list
// helpers, and the wide-string properties of form streams.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Filer.h"
#include "platform/Graphics.h"
#include "platform/List.h"
#include "platform/Messages.h"
#include "platform/ScopeGuards.h"

class TWinControl;

// ---- Windows and messages ----

// Some window of the thread is active.
bool IsAppActive();

// Paints a window's own non-client area into the DC.
using TNCPaintProc = std::function<void(HWND wnd, HDC dc)>;
// Answers WM_PRINT for a window that paints its own non-client area: the frame through
// ncPaint, the client area through WM_PRINTCLIENT, then visible children and owned windows as
// the flags ask. Result 1.
void AnswerPrintMessage(HWND wnd, TMessage& message, const TNCPaintProc& ncPaint);
// Paints the control's client area into the DC that WM_PRINTCLIENT carries.
void PrintClientArea(TWinControl* control, TMessage& message);
// Dispatches the queued WM_PAINT messages of the thread, each window's once; a WM_QUIT met on
// the way is posted again.
void PumpPaintMessages();
// Removes queued messages in the range; a WM_QUIT among them is posted again.
void FlushMessages(UINT minMessage, UINT maxMessage);
// The window's rectangle moved to (0, 0), and its client area in those coordinates: what painting
// a frame of one's own works with.
void GetWindowFrame(HWND wnd, RECT& window, RECT& client);
// Clips a window DC to a WM_NCPAINT update region (screen coordinates; 0 or 1 is the whole window).
void ClipToNCUpdate(HWND wnd, HDC dc, HRGN rgn);
// Where a docked window paints its own frame: the DC WM_NCPAINT's handler gave, or the window's
// own clipped to the update region; its state is restored afterwards and the client area is left
// out. Get() is null when the window gave no DC.
class TFrameDC {
public:
    TFrameDC(HWND wnd, bool useGivenDC, HDC dc, HRGN clipRegion);
    TFrameDC(const TFrameDC&) = delete;
    TFrameDC& operator=(const TFrameDC&) = delete;
    HDC Get() const { return FDC; }
    // The rectangles of GetWindowFrame.
    const RECT& GetWindow() const { return FWindow; }
    const RECT& GetClient() const { return FClient; }

private:
    std::optional<TWindowDC> FOwn;
    HDC FDC = nullptr;
    std::optional<TSavedDC> FSaved;
    RECT FWindow{};
    RECT FClient{};
};
// Asks for WM_MOUSELEAVE (or what the flags name) for the window; false when the system cannot.
bool RequestMouseLeave(HWND wnd, DWORD flags);

// ---- Arithmetic and lists ----

// The quotient rounded away from zero when there is a remainder: CeilDiv(-7, 2) is -4.
int CeilDiv(int x, int y);
bool SamePoint(POINT p1, POINT p2);

// Negative when item1 sorts first; extraData is the caller's context.
using TListSortCompareEx = int (*)(void* item1, void* item2, void* extraData);
// Sorts the list with a comparison that receives the context; equal items may change places.
void SortListWith(TList* list, TListSortCompareEx compare, void* extraData);

using TOwnedList = std::unique_ptr<TList, TObjectFree>;
// Adds the item at the end (ListAppend) or the front (AddToListFront) unless it is there
// already, creating the list on first use; true when added.
bool ListAppend(TOwnedList& list, void* item);
bool AddToListFront(TOwnedList& list, void* item);
// Removes the item; the list goes when it becomes empty.
void ListRemove(TOwnedList& list, void* item);

// ---- Text measuring and drawing ----

// The height (tmHeight) of the font selected into the DC.
int MeasureTextHeight(HDC dc);
// Width of 8-bit text; with prefix the accelerator marks are removed first.
int MeasureTextWidth(HDC dc, const std::string& text, bool prefix);
// Width of wide text; with prefix the accelerator marks are removed first, and a failing
// measure raises EOSError.
int GetTextWidthW(HDC dc, std::wstring_view text, bool prefix);
// Size of wide text; a failing measure raises EOSError.
SIZE WideTextExtent(HDC dc, std::wstring_view text);
// A copy of the DC's font that runs downwards (escapement 2700), in a face that can rotate.
TGdiObject<HFONT> MakeVerticalFont(HDC dc);
// Draws the first count characters (all when count < 0) with DrawText's formats; the height drawn.
int DrawTextLine(HDC dc, const std::wstring& text, int count, RECT& rect, UINT format);
// Draws text running downwards, centred across the rectangle, honouring DT_NOPREFIX,
// DT_HIDEPREFIX, DT_END_ELLIPSIS, DT_CENTER and DT_NOCLIP.
void DrawVerticalText(HDC dc, const std::wstring& text, const RECT& rect, UINT format);

// ---- Accelerators and hints ----

// Removes the '&' before each character of 8-bit text ("&&" leaves one), keeping double-byte
// characters whole.
std::string StripAnsiAccelChars(const std::string& text);
// The same for wide text.
std::wstring RemoveAccelMarks(const std::wstring& text);
// The same into a string the caller keeps (and whose room it reuses).
void RemoveAccelMarks(std::wstring_view text, std::wstring& out);
std::wstring DoubleAmpersands(const std::wstring& text);
// The character after the last single '&', 0 when none ("&&" is a literal ampersand).
wchar_t LocateAccelChar(const std::wstring& text);
char FindAccelCharA(const std::string& text);
// Drops one trailing ':' or a trailing "...".
std::wstring TrimHintPunctuation(const std::wstring& text);
// The hint before the first '|' (the whole hint without one) and after it (empty without one).
std::wstring GetShortHintW(const std::wstring& hint);
std::wstring GetLongHintW(const std::wstring& hint);

// ---- Characters and code pages ----

// A typed key character as wide text: values above 255 as they are, others through the
// keyboard's code page.
wchar_t KeyCharToWideChar(WORD key);
// The ANSI code page of the keyboard layout's language, 0 (CP_ACP) when it has none.
UINT GetKeyboardCodePage();
bool WideCharInString(const std::wstring& text, wchar_t c);
// A character of code 127 or more that does not survive the trip to the ANSI code page and back.
bool IsNonAnsiChar(wchar_t c);
// The ANSI form of text without backslashes that survives the ANSI round trip; otherwise every
// backslash doubled and every character that does not survive written as "\#<hex>;".
std::string EscapeWideString(const std::wstring& text);

// ---- System settings ----

// Milliseconds before a submenu opens under the mouse.
int MenuShowDelay();
// The menu show delay as the registry key "Control Panel\Desktop" under root stores it:
// 400 when the key or value is missing, 0 when it is not a string of a number, never negative.
int ReadMenuShowDelay(HKEY root);
bool FlatMenusOn();
// A Boolean system setting (an SPI_GET... action) is on; off when the system cannot say.
bool SystemSettingOn(UINT action);
bool KeyboardCuesOn();
bool RunningOnXP();
// True when the user's sound scheme gives the event a sound.
bool IsSoundInScheme(const std::string& name);

// ---- Regions, the drag outline and monitors ----

TGdiObject<HRGN> CreateEmptyRegion();
// Moves an XOR drag outline: the old frame (oldSize thick) is inverted away and the new one
// inverted in, without inverting their overlap twice. Either rectangle may be absent. A
// different last brush erases the old frame with its own pattern first.
void DrawXorFrame(HDC dc, const RECT* newRect, const RECT* oldRect, SIZE newSize, SIZE oldSize, HBRUSH brush,
                  HBRUSH brushLast);
// DrawXorFrame with the halftone pattern.
void InvertHalftoneFrame(HDC dc, const RECT* newRect, const RECT* oldRect, SIZE newSize, SIZE oldSize);
// The primary monitor's work area, or the whole screen.
RECT PrimaryMonitorRect(bool workArea);
bool HasSeveralMonitors();
// The nearest monitor's work area or whole rectangle.
RECT MonitorRectOfRect(const RECT& r, bool workArea);
RECT MonitorRectOfPoint(POINT p, bool workArea);
// One monitor of a layout given in place of the system's.
struct TMonitorLayoutEntry {
    RECT Monitor{};
    RECT WorkArea{};
};
// The monitor functions above answer from this layout while it is set (nullptr: the system's
// monitors again); tests place menus on monitors the machine does not have.
void SetMonitorLayout(const std::vector<TMonitorLayoutEntry>* layout);

// ---- Wide-string properties of form streams ----

// Value type 18, the 32-bit count of UTF-16 units, the units.
void WriteWideStringProp(TWriter* writer, const std::wstring& text);
// Reads a wide string, or an 8-bit one (older streams) widened with the ANSI code page.
std::wstring ReadWideStringProp(TReader* reader);
// Declares a wide-string property: read back through setter, written while hasData.
void DefineWideStringProp(TFiler* filer, const std::string& name, const std::wstring& value,
                          const std::function<void(const std::wstring&)>& setter, bool hasData);
// Declares a Boolean or integer property, written only when it differs from its default (and
// while stored: an action may own it).
void DefineBoolProp(TFiler* filer, const std::string& name, bool value, bool defaultValue,
                    const std::function<void(bool)>& setter, bool stored = true);
void DefineIntProp(TFiler* filer, const std::string& name, int value, int defaultValue,
                   const std::function<void(int)>& setter, bool stored = true);
