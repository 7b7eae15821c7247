#include "app/SheetfoldCommands.h"

#include <array>

TEnablingRules ComputeEnablingRules(const TEnablingSnapshot& s)
{
    TEnablingRules r;
    r.ElementNameBox = s.PageCount > 0 && s.ElementCount > 0;
    r.Save = s.Modified;
    r.Export = s.ElementCount > 0;
    r.PrinterSetup = s.HasPrinter;
    r.Print = s.HasPrinter && (s.ElementCount > 0 || s.PageCount > 1);
    r.Align = s.SelectedCount > 1;
    r.Paste = s.CanPaste;
    r.Selection = s.SelectedCount > 0;
    r.Rotate = s.SingleImageOrText;
    r.DeletePage = s.PageCount > 1;
    return r;
}

int CanonicalCommand(int command)
{
    switch (command) {
    case cmToolOpen: return cmOpen;
    case cmToolPrint: return cmPrint;
    case cmToolCut: return cmCut;
    case cmToolCopy: return cmCopy;
    case cmToolPaste: return cmPaste;
    case cmToolDelete: return cmDelete;
    case cmToolInsertImage: return cmInsertImage;
    case cmToolInsertText: return cmInsertText;
    default: return command;
    }
}

bool CommandEnabled(int command, const TEnablingRules& rules, bool busy)
{
    if (busy)
        return false;
    switch (CanonicalCommand(command)) {
    case cmSave:
    case cmToolSave: return rules.Save;
    case cmExport: return rules.Export;
    case cmPrinterSetup: return rules.PrinterSetup;
    case cmPrint: return rules.Print;
    case cmPaste: return rules.Paste;
    case cmCut:
    case cmCopy:
    case cmDelete:
    case cmBringToFront:
    case cmMoveToBack:
    case cmMoveForward:
    case cmMoveBackward: return rules.Selection;
    case cmRotate180:
    case cmRotateRight:
    case cmRotateLeft: return rules.Rotate;
    case cmDeletePage: return rules.DeletePage;
    default: break;
    }
    if (command >= cmAlignFirst && command <= cmAlignLast)
        return rules.Align;
    return true;
}

TAlignMode AlignModeOfCommand(int command)
{
    // The submenu lists the sizing entries between the spacing ones.
    static constexpr std::array<TAlignMode, 10> modes{amLefts,       amRights,    amHorzCenters, amTops,       amBottoms,
                                                      amVertCenters, amSameWidth, amSpaceHorz,   amSameHeight, amSpaceVert};
    if (command < cmAlignFirst || command > cmAlignLast)
        return amNone;
    return modes[command - cmAlignFirst];
}

namespace {
struct TZoomChoice {
    const char* Text;
    int Numerator;
    int Denominator;
};
constexpr std::array<TZoomChoice, ZoomChoiceCount> ZoomChoices{{
    {"10%", 1, 10},
    {"25%", 1, 4},
    {"50%", 1, 2},
    {"75%", 3, 4},
    {"100%", 1, 1},
    {"150%", 3, 2},
    {"200%", 2, 1},
    {"500%", 5, 1},
    {"Auto", 0, 0},
}};
} // namespace

const char* ZoomChoiceText(int index)
{
    if (index < 0 || index >= ZoomChoiceCount)
        return "";
    return ZoomChoices[index].Text;
}

bool ZoomRatio(const std::string& choice, int& numerator, int& denominator)
{
    for (const auto& z : ZoomChoices) {
        if (choice == z.Text && z.Denominator > 0) {
            numerator = z.Numerator;
            denominator = z.Denominator;
            return true;
        }
    }
    return false;
}
