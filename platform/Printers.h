// The Windows printers and the program's print job: the printer list, the selected printer's
// device mode (orientation, copies) and documents drawn page by page through a canvas.
#pragma once

#include <windows.h>
// winspool.h turns SetPrinter into SetPrinterA: every user of this header sees the same name.
#include <winspool.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/Graphics.h"

enum class TPrinterOrientation : uint8_t { poPortrait, poLandscape };
enum TPrinterCapability : unsigned { pcCopies = 1, pcOrientation = 2, pcCollation = 4 };

// One selected printer at a time; every printer keeps its own device mode once it was selected.
// Errors raise EPrinter. Without any printer the list is empty and everything that needs a
// printer raises "There is no default printer currently selected". The public operations are
// virtual so that tests can stand in a printer of their own (SetPrinter).
class TPrinter : public TObject {
    SF_CLASS(TPrinter)
public:
    TPrinter();
    ~TPrinter() override;

    // The local printers and connections, read once; Refresh reads them again.
    virtual const std::vector<std::string>& GetPrinters();
    void Refresh();
    // The selected printer; the system's default is selected on first use. -1 selects it again.
    virtual int GetPrinterIndex();
    virtual void SetPrinterIndex(int index);
    // The selected printer's name.
    std::string GetPrinterName();
    // The selected printer's device mode (for a printer setup dialog); valid until the next change.
    const DEVMODEA* GetDevMode();
    // Selects the named printer with the given device mode (copied), as a setup dialog chose them.
    void SetDevMode(const std::string& printerName, const DEVMODEA* devMode);

    virtual TPrinterOrientation GetOrientation();
    virtual void SetOrientation(TPrinterOrientation orientation);
    virtual int GetCopies();
    virtual void SetCopies(int copies);
    // A set of TPrinterCapability flags.
    virtual unsigned GetCapabilities();
    const std::string& GetTitle() const { return FTitle; }
    void SetTitle(const std::string& title) { FTitle = title; }

    virtual void BeginDoc();
    virtual void EndDoc();
    virtual void NewPage();
    // Cancels the document; Aborted stays true until the next BeginDoc.
    virtual void Abort();
    bool GetPrinting() const { return FPrinting; }
    bool GetAborted() const { return FAborted; }
    int GetPageNumber() const { return FPageNumber; }

    // The printable area in device pixels.
    virtual int GetPageWidth();
    virtual int GetPageHeight();
    // Draws on the current page; raises while no document is being printed.
    TCanvas* GetCanvas();
    // The printer's device context with the current device mode (the job's while printing).
    virtual HDC GetHandle();

private:
    class TPrinterCanvas;
    void EnsureSelected();
    void Select(int index, const DEVMODEA* devMode);
    void CheckPrinting(bool printing) const;
    void FreeDC();
    void FinishJob();
    DEVMODEA* DevMode();

    std::vector<std::string> FPrinters;
    bool FPrintersRead = false;
    int FPrinterIndex = -1;
    // Each printer keeps its settings while the program runs, selected or not.
    std::map<std::string, std::vector<uint8_t>> FDevModes;
    std::string FPort;
    HDC FDC = nullptr;
    std::unique_ptr<TCanvas, TObjectFree> FCanvas;
    std::string FTitle;
    bool FPrinting = false;
    bool FAborted = false;
    int FPageNumber = 0;
};

// The one printer object of the program.
TPrinter* Printer();
// Replaces the printer object (the old one is returned to the caller, who frees it).
TPrinter* SetPrinter(TPrinter* printer);
// Frees the process's printer object; part of shut-down, before the graphics units finish.
void DonePrinters();
