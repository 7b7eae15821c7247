#include "platform/Printers.h"

#include <cstddef>
#include <cstring>

SF_IMPLEMENT_CLASS(TPrinter, TObject)

namespace {

const char NoDefaultPrinter[] = "There is no default printer currently selected";
// A device mode must reach at least the fields this class reads and writes.
constexpr size_t MinDevModeSize = offsetof(DEVMODEA, dmPrintQuality);

std::unique_ptr<TPrinter, TObjectFree>& Instance()
{
    static std::unique_ptr<TPrinter, TObjectFree> instance;
    return instance;
}

// An open printer handle.
class TPrinterHandle {
public:
    explicit TPrinterHandle(const std::string& name)
    {
        if (!OpenPrinterA(const_cast<char*>(name.c_str()), &FHandle, nullptr))
            throw EPrinter("Cannot open the printer \"" + name + "\": " + SysErrorMessage(GetLastError()));
    }
    ~TPrinterHandle() { ClosePrinter(FHandle); }
    TPrinterHandle(const TPrinterHandle&) = delete;
    TPrinterHandle& operator=(const TPrinterHandle&) = delete;
    HANDLE Get() const { return FHandle; }

private:
    HANDLE FHandle = nullptr;
};

std::string DefaultPrinterName()
{
    DWORD size = 0;
    GetDefaultPrinterA(nullptr, &size);
    if (size == 0)
        return {};
    std::string name(size, '\0');
    if (!GetDefaultPrinterA(name.data(), &size))
        return {};
    name.resize(strlen(name.c_str()));
    return name;
}

} // namespace

// The canvas of the page being printed: it has a context only while a document is open.
class TPrinter::TPrinterCanvas : public TCanvas {
public:
    explicit TPrinterCanvas(TPrinter* printer) : FPrinter(printer) {}

protected:
    void CreateHandle() override
    {
        FPrinter->CheckPrinting(true);
        SetHandle(FPrinter->FDC);
    }

private:
    TPrinter* FPrinter;
};

TPrinter* Printer()
{
    auto& instance = Instance();
    if (!instance)
        instance.reset(New<TPrinter>());
    return instance.get();
}

void DonePrinters()
{
    Instance().reset();
}

TPrinter* SetPrinter(TPrinter* printer)
{
    TPrinter* old = Instance().release();
    Instance().reset(printer);
    return old;
}

TPrinter::TPrinter() : FCanvas(new TPrinterCanvas(this))
{
}

TPrinter::~TPrinter()
{
    if (FPrinting) {
        FCanvas->SetHandle(nullptr);
        AbortDoc(FDC);
    }
    // The canvas lets go of the DC before the DC goes.
    FreeDC();
    FCanvas.reset();
}

const std::vector<std::string>& TPrinter::GetPrinters()
{
    if (FPrintersRead)
        return FPrinters;
    FPrinters.clear();
    DWORD flags = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, needed = 0, count = 0;
    EnumPrintersA(flags, nullptr, 4, nullptr, 0, &needed, &count);
    if (needed) {
        std::vector<uint8_t> buffer(needed);
        if (EnumPrintersA(flags, nullptr, 4, buffer.data(), needed, &needed, &count)) {
            auto* info = reinterpret_cast<PRINTER_INFO_4A*>(buffer.data());
            for (DWORD i = 0; i < count; ++i)
                FPrinters.emplace_back(info[i].pPrinterName ? info[i].pPrinterName : "");
        }
    }
    FPrintersRead = true;
    return FPrinters;
}

void TPrinter::Refresh()
{
    CheckPrinting(false);
    std::string selected = FPrinterIndex >= 0 ? FPrinters[FPrinterIndex] : std::string();
    FPrintersRead = false;
    FreeDC();
    FPrinterIndex = -1;
    const auto& printers = GetPrinters();
    for (size_t i = 0; i < printers.size(); ++i)
        if (!selected.empty() && printers[i] == selected)
            Select(static_cast<int>(i), nullptr);
}

void TPrinter::CheckPrinting(bool printing) const
{
    if (FPrinting == printing)
        return;
    throw EPrinter(printing ? "Printer is not currently printing" : "Printing in progress");
}

void TPrinter::EnsureSelected()
{
    if (FPrinterIndex < 0)
        SetPrinterIndex(-1);
}

int TPrinter::GetPrinterIndex()
{
    EnsureSelected();
    return FPrinterIndex;
}

void TPrinter::SetPrinterIndex(int index)
{
    CheckPrinting(false);
    const auto& printers = GetPrinters();
    if (index == -1) {
        if (printers.empty())
            throw EPrinter(NoDefaultPrinter);
        std::string name = DefaultPrinterName();
        index = 0;
        for (size_t i = 0; i < printers.size(); ++i)
            if (printers[i] == name)
                index = static_cast<int>(i);
    }
    if (index < 0 || index >= static_cast<int>(printers.size()))
        throw EPrinter("Printer selected is not valid");
    Select(index, nullptr);
}

std::string TPrinter::GetPrinterName()
{
    return GetPrinters()[GetPrinterIndex()];
}

void TPrinter::Select(int index, const DEVMODEA* devMode)
{
    const std::string& name = FPrinters[index];
    TPrinterHandle printer(name);
    std::string port;
    DWORD needed = 0;
    GetPrinterA(printer.Get(), 2, nullptr, 0, &needed);
    if (needed) {
        std::vector<uint8_t> info(needed);
        if (GetPrinterA(printer.Get(), 2, info.data(), needed, &needed)) {
            const char* p = reinterpret_cast<PRINTER_INFO_2A*>(info.data())->pPortName;
            port = p ? p : "";
        }
    }
    std::vector<uint8_t>& kept = FDevModes[name];
    if (devMode) {
        auto* bytes = reinterpret_cast<const uint8_t*>(devMode);
        kept.assign(bytes, bytes + devMode->dmSize + devMode->dmDriverExtra);
    } else if (kept.empty()) {
        char* device = const_cast<char*>(name.c_str());
        LONG size = DocumentPropertiesA(nullptr, printer.Get(), device, nullptr, nullptr, 0);
        if (size < static_cast<LONG>(MinDevModeSize))
            throw EPrinter("Cannot read the settings of the printer \"" + name + "\"");
        std::vector<uint8_t> defaults(size);
        if (DocumentPropertiesA(nullptr, printer.Get(), device, reinterpret_cast<DEVMODEA*>(defaults.data()), nullptr,
                                DM_OUT_BUFFER) < 0)
            throw EPrinter("Cannot read the settings of the printer \"" + name + "\"");
        kept = std::move(defaults);
    }
    FreeDC();
    FPort = port;
    FPrinterIndex = index;
}

DEVMODEA* TPrinter::DevMode()
{
    EnsureSelected();
    return reinterpret_cast<DEVMODEA*>(FDevModes[FPrinters[FPrinterIndex]].data());
}

const DEVMODEA* TPrinter::GetDevMode()
{
    return DevMode();
}

void TPrinter::SetDevMode(const std::string& printerName, const DEVMODEA* devMode)
{
    CheckPrinting(false);
    if (!devMode || devMode->dmSize < MinDevModeSize || devMode->dmSize > sizeof(DEVMODEA) + 1024)
        throw EPrinter("The printer settings are not valid");
    const auto& printers = GetPrinters();
    for (size_t i = 0; i < printers.size(); ++i) {
        if (printers[i] == printerName) {
            Select(static_cast<int>(i), devMode);
            return;
        }
    }
    throw EPrinter("Printer selected is not valid");
}

void TPrinter::FreeDC()
{
    if (!FDC)
        return;
    FCanvas->SetHandle(nullptr);
    DeleteDC(FDC);
    FDC = nullptr;
}

TPrinterOrientation TPrinter::GetOrientation()
{
    DEVMODEA* dm = DevMode();
    return (dm->dmFields & DM_ORIENTATION) && dm->dmOrientation == DMORIENT_LANDSCAPE ? TPrinterOrientation::poLandscape
                                                                                       : TPrinterOrientation::poPortrait;
}

void TPrinter::SetOrientation(TPrinterOrientation orientation)
{
    CheckPrinting(false);
    DEVMODEA* dm = DevMode();
    dm->dmOrientation = orientation == TPrinterOrientation::poLandscape ? DMORIENT_LANDSCAPE : DMORIENT_PORTRAIT;
    dm->dmFields |= DM_ORIENTATION;
    FreeDC();
}

int TPrinter::GetCopies()
{
    DEVMODEA* dm = DevMode();
    return (dm->dmFields & DM_COPIES) && dm->dmCopies > 0 ? dm->dmCopies : 1;
}

void TPrinter::SetCopies(int copies)
{
    CheckPrinting(false);
    if (copies < 1 || copies > 0x7FFF)
        throw EPrinter("The number of copies must be between 1 and 32767");
    DEVMODEA* dm = DevMode();
    dm->dmCopies = static_cast<short>(copies);
    dm->dmFields |= DM_COPIES;
    FreeDC();
}

unsigned TPrinter::GetCapabilities()
{
    DEVMODEA* dm = DevMode();
    const char* device = FPrinters[FPrinterIndex].c_str();
    const char* port = FPort.empty() ? nullptr : FPort.c_str();
    unsigned caps = 0;
    if (DeviceCapabilitiesA(device, port, DC_COPIES, nullptr, dm) > 1)
        caps |= pcCopies;
    if (DeviceCapabilitiesA(device, port, DC_ORIENTATION, nullptr, dm) > 0)
        caps |= pcOrientation;
    if (DeviceCapabilitiesA(device, port, DC_COLLATE, nullptr, dm) > 0)
        caps |= pcCollation;
    return caps;
}

HDC TPrinter::GetHandle()
{
    DEVMODEA* dm = DevMode();
    if (!FDC) {
        const std::string& name = FPrinters[FPrinterIndex];
        FDC = CreateDCA("WINSPOOL", name.c_str(), nullptr, dm);
        if (!FDC)
            throw EPrinter("Cannot open the printer \"" + name + "\": " + SysErrorMessage(GetLastError()));
    }
    return FDC;
}

int TPrinter::GetPageWidth()
{
    return GetDeviceCaps(GetHandle(), HORZRES);
}

int TPrinter::GetPageHeight()
{
    return GetDeviceCaps(GetHandle(), VERTRES);
}

TCanvas* TPrinter::GetCanvas()
{
    return FCanvas.get();
}

void TPrinter::BeginDoc()
{
    CheckPrinting(false);
    HDC dc = GetHandle();
    DOCINFOA info{};
    info.cbSize = sizeof(info);
    info.lpszDocName = FTitle.c_str();
    if (StartDocA(dc, &info) <= 0)
        throw EPrinter("Cannot start printing: " + SysErrorMessage(GetLastError()));
    if (StartPage(dc) <= 0) {
        DWORD error = GetLastError();
        AbortDoc(dc);
        FreeDC();
        throw EPrinter("Cannot start printing: " + SysErrorMessage(error));
    }
    FPrinting = true;
    FAborted = false;
    FPageNumber = 1;
    FCanvas->SetHandle(nullptr);
    FCanvas->GetFont()->SetPixelsPerInch(GetDeviceCaps(dc, LOGPIXELSY));
}

// The document is over: a fresh context is made for the next one.
void TPrinter::FinishJob()
{
    FPrinting = false;
    FPageNumber = 0;
    FreeDC();
}

void TPrinter::EndDoc()
{
    CheckPrinting(true);
    FCanvas->SetHandle(nullptr);
    bool ok = EndPage(FDC) > 0;
    ok = ::EndDoc(FDC) > 0 && ok;
    DWORD error = GetLastError();
    FinishJob();
    if (!ok)
        throw EPrinter("Printing failed: " + SysErrorMessage(error));
}

void TPrinter::NewPage()
{
    CheckPrinting(true);
    FCanvas->SetHandle(nullptr);
    if (EndPage(FDC) <= 0 || StartPage(FDC) <= 0)
        throw EPrinter("Printing failed: " + SysErrorMessage(GetLastError()));
    ++FPageNumber;
}

void TPrinter::Abort()
{
    CheckPrinting(true);
    FCanvas->SetHandle(nullptr);
    AbortDoc(FDC);
    FAborted = true;
    FinishJob();
}
