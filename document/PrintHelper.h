// A page's paper (size, four margins, orientation, in 0.01 mm) and the helper that reads the
// current printer's presence, orientation, physical page and printable area.
#pragma once

#include <windows.h>

#include <memory>

#include "graphics/MapMode.h"
#include "platform/Printers.h"

class TPaper : public TObject {
    SF_CLASS(TPaper)
public:
    TPaper() = default;

    void Set(int width, int height, int topMargin, int bottomMargin, int leftMargin, int rightMargin,
             bool landscape);
    void Assign(const TPaper* source);
    // (0, 0, Width, Height).
    RECT GetPaperRect() const;
    // The paper inside its margins.
    RECT GetPrintableRect() const;
    void SetMarginsFromRect(const RECT& r);
    void SetSizeFromRect(const RECT& r);
    // Turns the paper: width and height change places and the margins turn with it. Writing the
    // Landscape field directly sets the flag without turning anything.
    void SetLandscape(bool value);

    int RightMargin = 0;
    int Width = 21590;
    int Height = 27940;
    int LeftMargin = 0;
    int BottomMargin = 0;
    int TopMargin = 0;
    bool Landscape = false;
};

// What the printer's device context tells about its page, in device pixels (and millimetres for
// the size of the printable area).
struct TPrinterPaperCaps {
    TPrinterPageCaps Page;
    int PhysicalWidth = 0;
    int PhysicalHeight = 0;
};

TPrinterPaperCaps GetPrinterPaperCaps(HDC dc);

class TPrintHelper : public TObject {
    SF_CLASS(TPrintHelper)
public:
    // Asks the given printer, or the program's one printer object when none is given.
    explicit TPrintHelper(TPrinter* printer = nullptr);

    bool HasPrinter();
    TPrinterOrientation GetOrientation();
    // Nothing without a printer.
    void SetOrientation(TPrinterOrientation orientation);
    // Set up for the printer's page when there is a printer; raises EPrinter when the printer
    // reports no usable page.
    THiMetric* GetPrinterMapMode();
    // The printer's paper, margins and orientation when there is a printer and it can tell
    // them; otherwise Paper keeps what it had.
    TPaper* GetPrinterPaper();

    TPaper* GetPaper() const { return FPaper.get(); }
    THiMetric* GetMapMode() const { return FMapMode.get(); }
    // The printer asked: the one given, else the program's printer object.
    TPrinter* GetPrinter() const;

protected:
    // The device capabilities of the printer's current page.
    virtual TPrinterPaperCaps ReadPrinterCaps();

private:
    TPrinter* FPrinter = nullptr;
    std::unique_ptr<TPaper, TObjectFree> FPaper;
    std::unique_ptr<THiMetric, TObjectFree> FMapMode;
};
