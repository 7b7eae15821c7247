// The main window's commands, numbered by their language keys, and the rules that enable them.
// The rules read a snapshot of the document's state, so whichever menus, toolbars or panels show
// the commands take their states from one place.
#pragma once

#include <string>

#include "document/SheetfoldSelection.h"

enum TSheetfoldCommand : int {
    cmNone = 0,
    cmViewImagePanel = 100,
    cmViewPrintPanel = 200,
    cmPrinterSetup = 202,
    cmAddPage = 301,
    cmDeletePage = 302,
    cmToolOpen = 306,
    cmToolSave = 307,
    cmToolPrint = 308,
    cmToolCut = 309,
    cmToolCopy = 310,
    cmToolPaste = 311,
    cmToolDelete = 312,
    cmNew = 401,
    cmOpen = 402,
    cmSave = 404,
    cmSaveAs = 405,
    cmExport = 406,
    cmPrint = 407,
    cmExit = 408,
    cmCut = 501,
    cmCopy = 502,
    cmPaste = 503,
    cmDelete = 504,
    cmImageSaveAs = 507,
    cmInsertImage = 701,
    cmInsertText = 702,
    cmToolInsertImage = 304,
    cmToolInsertText = 305,
    cmHelp = 1001,
    cmAbout = 1002,
    cmBringToFront = 1101,
    cmMoveToBack = 1102,
    cmMoveForward = 1103,
    cmMoveBackward = 1104,
    cmRotate180 = 1201,
    cmRotateRight = 1202,
    cmRotateLeft = 1203,
    cmAlignFirst = 7002,
    cmAlignLast = 7011,
};

// What the enabling rules read, taken afresh each time.
struct TEnablingSnapshot {
    int PageCount = 0;
    int ElementCount = 0;   // of the current page
    int SelectedCount = 0;
    bool SingleImageOrText = false;
    bool Modified = false;
    bool HasPrinter = false;
    bool CanPaste = false;
    bool Busy = false;      // a print job or a load is running
};

struct TEnablingRules {
    bool ElementNameBox = false;
    bool Save = false;
    bool Export = false;
    bool PrinterSetup = false;
    bool Print = false;
    bool Align = false;
    bool Paste = false;
    bool Selection = false;
    bool Rotate = false;
    bool DeletePage = false;
};

TEnablingRules ComputeEnablingRules(const TEnablingSnapshot& s);

// Whether the command may run now; commands no rule names always may, except while busy.
bool CommandEnabled(int command, const TEnablingRules& rules, bool busy);

// The toolbar and menu commands that run the same operation share one: the toolbar's keys map
// to the menu's (the toolbar Save, which asks only for an untitled project, stays its own).
int CanonicalCommand(int command);

// The selection's align operation of an Align submenu key; amNone for other keys.
TAlignMode AlignModeOfCommand(int command);

// The zoom box entries and their ratio (numerator, denominator); "Auto" has none.
constexpr int ZoomChoiceCount = 9;
const char* ZoomChoiceText(int index);
// False for "Auto" and unknown texts.
bool ZoomRatio(const std::string& choice, int& numerator, int& denominator);
