#include "platform/Dialogs.h"

#include <cderr.h>
#include <dlgs.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

#include "platform/Filer.h"
#include "platform/Forms.h"
#include "platform/Printers.h"
#include "platform/ScopeGuards.h"

SF_IMPLEMENT_ABSTRACT(TCommonDialog, TComponent)
SF_IMPLEMENT_COMPONENT(TOpenDialog, TCommonDialog)
SF_IMPLEMENT_COMPONENT(TSaveDialog, TOpenDialog)
SF_IMPLEMENT_COMPONENT(TFontDialog, TCommonDialog)
SF_IMPLEMENT_COMPONENT(TPrinterSetupDialog, TCommonDialog)

namespace {

// Large enough for a long multiple selection; a selection that does not fit is reported.
constexpr DWORD kFileBufferSize = 0x10000;

[[noreturn]] void RaiseDialogError(DWORD code)
{
    if (code == FNERR_BUFFERTOOSMALL)
        throw EInvalidOperation("Too many files selected");
    char text[64];
    wsprintfA(text, "Common dialog error 0x%04X", static_cast<unsigned>(code));
    throw EInvalidOperation(text);
}

// "Text|pattern|Text|pattern" as the system wants it: NUL separated, ending in two NULs.
std::string SystemFilter(const std::string& filter)
{
    if (filter.empty())
        return {};
    std::string result = filter;
    for (char& c : result)
        if (c == '|')
            c = '\0';
    result.push_back('\0');
    result.push_back('\0');
    return result;
}

struct TOptionFlag {
    uint32_t Option;
    DWORD Flag;
};

constexpr TOptionFlag kOpenFlags[] = {
    {ofReadOnly, OFN_READONLY},
    {ofOverwritePrompt, OFN_OVERWRITEPROMPT},
    {ofHideReadOnly, OFN_HIDEREADONLY},
    {ofNoChangeDir, OFN_NOCHANGEDIR},
    {ofShowHelp, OFN_SHOWHELP},
    {ofNoValidate, OFN_NOVALIDATE},
    {ofAllowMultiSelect, OFN_ALLOWMULTISELECT},
    {ofExtensionDifferent, OFN_EXTENSIONDIFFERENT},
    {ofPathMustExist, OFN_PATHMUSTEXIST},
    {ofFileMustExist, OFN_FILEMUSTEXIST},
    {ofCreatePrompt, OFN_CREATEPROMPT},
    {ofShareAware, OFN_SHAREAWARE},
    {ofNoReadOnlyReturn, OFN_NOREADONLYRETURN},
    {ofNoTestFileCreate, OFN_NOTESTFILECREATE},
    {ofNoNetworkButton, OFN_NONETWORKBUTTON},
    {ofNoLongNames, OFN_NOLONGNAMES},
    {ofNoDereferenceLinks, OFN_NODEREFERENCELINKS},
    {ofEnableIncludeNotify, OFN_ENABLEINCLUDENOTIFY},
    {ofEnableSizing, OFN_ENABLESIZING},
    {ofDontAddToRecent, OFN_DONTADDTORECENT},
    {ofForceShowHidden, OFN_FORCESHOWHIDDEN},
};

constexpr TOptionFlag kFontFlags[] = {
    {fdAnsiOnly, CF_ANSIONLY},
    {fdTrueTypeOnly, CF_TTONLY},
    {fdEffects, CF_EFFECTS},
    {fdFixedPitchOnly, CF_FIXEDPITCHONLY},
    {fdForceFontExist, CF_FORCEFONTEXIST},
    {fdNoFaceSelection, CF_NOFACESEL},
    {fdNoOEMFonts, CF_NOOEMFONTS},
    {fdNoSimulations, CF_NOSIMULATIONS},
    {fdNoSizeSel, CF_NOSIZESEL},
    {fdNoStyleSel, CF_NOSTYLESEL},
    {fdNoVectorFonts, CF_NOVECTORFONTS},
    {fdShowHelp, CF_SHOWHELP},
    {fdWysiwyg, CF_WYSIWYG | CF_BOTH | CF_SCALABLEONLY},
    {fdLimitSize, CF_LIMITSIZE},
    {fdScalableOnly, CF_SCALABLEONLY},
};

template <size_t N>
DWORD MapFlags(uint32_t options, const TOptionFlag (&table)[N])
{
    DWORD flags = 0;
    for (const TOptionFlag& entry : table)
        if (options & entry.Option)
            flags |= entry.Flag;
    return flags;
}

}

// ---------------------------------------------------------------------------------------------
// TCommonDialog

void TCommonDialog::DoShow()
{
    // A tip of the control that opened the dialog would stand over it.
    if (Application)
        Application->CancelHint();
    OnShow(this);
}

void TCommonDialog::DoClose()
{
    OnClose(this);
}

HWND TCommonDialog::OwnerWindow(HWND owner)
{
    return owner ? owner : GetActiveWindow();
}

void TCommonDialog::HookFailed(HWND dialog)
{
    if (!FHookError)
        FHookError = std::current_exception();
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
}

void TCommonDialog::RethrowHookError()
{
    if (!FHookError)
        return;
    std::exception_ptr error = FHookError;
    FHookError = nullptr;
    std::rethrow_exception(error);
}

bool TCommonDialog::EndExecute(BOOL ok)
{
    FHandle = nullptr;
    RethrowHookError();
    if (ok)
        return true;
    DWORD code = CommDlgExtendedError();
    if (code != 0)
        RaiseDialogError(code);
    return false;
}

template <class TRecord>
UINT_PTR CALLBACK TCommonDialog::ShowCloseHook(HWND wnd, UINT msg, WPARAM, LPARAM lParam)
{
    LPARAM customData = msg == WM_INITDIALOG ? reinterpret_cast<const TRecord*>(lParam)->lCustData : 0;
    return ShowCloseHookMessage(wnd, msg, customData);
}

UINT_PTR TCommonDialog::ShowCloseHookMessage(HWND wnd, UINT msg, LPARAM customData)
{
    if (msg == WM_INITDIALOG) {
        SetWindowLongPtrA(wnd, GWLP_USERDATA, customData);
        auto* self = reinterpret_cast<TCommonDialog*>(customData);
        try {
            self->FHandle = wnd;
            self->DoShow();
        } catch (...) {
            self->HookFailed(wnd);
        }
        return TRUE;
    }
    auto* self = reinterpret_cast<TCommonDialog*>(GetWindowLongPtrA(wnd, GWLP_USERDATA));
    if (msg == WM_DESTROY && self && self->FHandle) {
        try {
            self->FHandle = nullptr;
            self->DoClose();
        } catch (...) {
            self->HookFailed(wnd);
        }
    }
    return FALSE;
}

// ---------------------------------------------------------------------------------------------
// TOpenDialog

TOpenDialog::TOpenDialog(TComponent* owner) : TCommonDialog(owner), FFiles(New<TStringList>())
{
}

TOpenDialog::~TOpenDialog() = default;

void TOpenDialog::SetTemplate(HINSTANCE instance, const std::string& resourceName)
{
    FTemplateInstance = instance;
    FTemplateName = resourceName;
}

void TOpenDialog::DoSelectionChange()
{
    OnSelectionChange(this);
}

void TOpenDialog::DoFolderChange()
{
    OnFolderChange(this);
}

void TOpenDialog::DoTypeChange()
{
    OnTypeChange(this);
}

bool TOpenDialog::Execute(HWND owner)
{
    return DoExecute(owner, false);
}

DWORD TOpenDialog::BuildFlags() const
{
    DWORD flags = MapFlags(FOptions, kOpenFlags);
    if (!(FOptions & ofOldStyleDialog)) {
        flags |= OFN_EXPLORER | OFN_ENABLEHOOK;
        if (FTemplateInstance && !FTemplateName.empty())
            flags |= OFN_ENABLETEMPLATE;
    }
    return flags;
}

bool TOpenDialog::DoExecute(HWND owner, bool save)
{
    std::vector<char> buffer(kFileBufferSize, '\0');
    FFileName.copy(buffer.data(), buffer.size() - 1);
    std::string filter = SystemFilter(FFilter);
    std::string defaultExt = !FDefaultExt.empty() && FDefaultExt[0] == '.' ? FDefaultExt.substr(1) : FDefaultExt;

    OPENFILENAMEA ofn{};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = OwnerWindow(owner);
    ofn.hInstance = FTemplateInstance;
    ofn.lpstrFilter = filter.empty() ? nullptr : filter.c_str();
    ofn.nFilterIndex = static_cast<DWORD>(FFilterIndex);
    ofn.lpstrFile = buffer.data();
    ofn.nMaxFile = static_cast<DWORD>(buffer.size());
    ofn.lpstrInitialDir = FInitialDir.empty() ? nullptr : FInitialDir.c_str();
    ofn.lpstrTitle = FTitle.empty() ? nullptr : FTitle.c_str();
    ofn.lpstrDefExt = defaultExt.empty() ? nullptr : defaultExt.c_str();
    ofn.Flags = BuildFlags();
    ofn.lCustData = reinterpret_cast<LPARAM>(this);
    if (ofn.Flags & OFN_ENABLEHOOK)
        ofn.lpfnHook = &TOpenDialog::HookProc;
    if (ofn.Flags & OFN_ENABLETEMPLATE)
        ofn.lpTemplateName = FTemplateName.c_str();

    // Selection changes move FileName while the dialog is up; only a confirmed choice keeps it.
    std::string previousFileName = FFileName;
    BOOL ok = save ? GetSaveFileNameA(&ofn) : GetOpenFileNameA(&ofn);
    FTemplateWindow = nullptr;
    if (!ok)
        FFileName = previousFileName;
    if (!EndExecute(ok))
        return false;
    FFilterIndex = static_cast<int>(ofn.nFilterIndex);
    if (ofn.Flags & OFN_READONLY)
        FOptions |= ofReadOnly;
    else
        FOptions &= ~ofReadOnly;
    if (ofn.Flags & OFN_EXTENSIONDIFFERENT)
        FOptions |= ofExtensionDifferent;
    else
        FOptions &= ~ofExtensionDifferent;
    ReadResult(buffer.data(), ofn.Flags);
    return true;
}

void TOpenDialog::ReadResult(const char* buffer, DWORD flags)
{
    FFiles->Clear();
    std::string first = buffer;
    const char* next = buffer + first.size() + 1;
    bool several = (flags & OFN_ALLOWMULTISELECT) && *next != '\0';
    if (!several) {
        FFileName = first;
        FFiles->Add(first);
        return;
    }
    // A folder followed by the names chosen in it.
    std::string folder = first;
    if (!folder.empty() && folder.back() != '\\')
        folder += '\\';
    for (; *next; next += std::char_traits<char>::length(next) + 1)
        FFiles->Add(folder + next);
    FFileName = FFiles->Get(0);
}

void TOpenDialog::HandleNotify(HWND wnd, const OFNOTIFYA& notify)
{
    switch (notify.hdr.code) {
    case CDN_INITDONE:
        FHandle = GetParent(wnd);
        FTemplateWindow = wnd;
        DoShow();
        break;
    case CDN_SELCHANGE: {
        char path[MAX_PATH * 2] = {};
        if (SendMessageA(FHandle, CDM_GETFILEPATH, sizeof(path), reinterpret_cast<LPARAM>(path)) > 0)
            FFileName = path;
        DoSelectionChange();
        break;
    }
    case CDN_FOLDERCHANGE:
        DoFolderChange();
        break;
    case CDN_TYPECHANGE:
        if (notify.lpOFN)
            FFilterIndex = static_cast<int>(notify.lpOFN->nFilterIndex);
        DoTypeChange();
        break;
    default:
        break;
    }
}

UINT_PTR CALLBACK TOpenDialog::HookProc(HWND wnd, UINT msg, WPARAM, LPARAM lParam)
{
    if (msg == WM_INITDIALOG) {
        auto* ofn = reinterpret_cast<OPENFILENAMEA*>(lParam);
        SetWindowLongPtrA(wnd, GWLP_USERDATA, ofn->lCustData);
        return TRUE;
    }
    auto* self = reinterpret_cast<TOpenDialog*>(GetWindowLongPtrA(wnd, GWLP_USERDATA));
    if (!self)
        return FALSE;
    try {
        if (msg == WM_NOTIFY)
            self->HandleNotify(wnd, *reinterpret_cast<const OFNOTIFYA*>(lParam));
        else if (msg == WM_DESTROY && self->FHandle) {
            self->FHandle = nullptr;
            self->DoClose();
        }
    } catch (...) {
        self->HookFailed(GetParent(wnd));
    }
    return FALSE;
}

bool TSaveDialog::Execute(HWND owner)
{
    return DoExecute(owner, true);
}

// ---------------------------------------------------------------------------------------------
// TFontDialog

TFontDialog::TFontDialog(TComponent* owner) : TCommonDialog(owner), FFont(New<TFont>())
{
}

TFontDialog::~TFontDialog() = default;

bool TFontDialog::Execute(HWND owner)
{
    LOGFONTA logFont = FFont->GetLogFont();
    CHOOSEFONTA cf{};
    cf.lStructSize = sizeof(cf);
    cf.hwndOwner = OwnerWindow(owner);
    cf.lpLogFont = &logFont;
    cf.Flags = MapFlags(FOptions, kFontFlags) | CF_INITTOLOGFONTSTRUCT | CF_ENABLEHOOK;
    if (!(cf.Flags & (CF_PRINTERFONTS | CF_BOTH)))
        cf.Flags |= CF_SCREENFONTS;
    cf.rgbColors = static_cast<COLORREF>(ColorToRGB(FFont->GetColor()));
    cf.lCustData = reinterpret_cast<LPARAM>(this);
    cf.lpfnHook = &ShowCloseHook<CHOOSEFONTA>;
    if ((FOptions & fdLimitSize) && (FMinFontSize > 0 || FMaxFontSize > 0)) {
        cf.nSizeMin = FMinFontSize;
        cf.nSizeMax = FMaxFontSize > 0 ? FMaxFontSize : 0x7FFF;
    } else {
        cf.Flags &= ~CF_LIMITSIZE;
    }

    if (!EndExecute(ChooseFontA(&cf)))
        return false;
    HFONT font = CreateFontIndirectA(&logFont);
    if (!font)
        RaiseLastOSError("CreateFontIndirect");
    FFont->SetHandle(font);
    if (FOptions & fdEffects)
        FFont->SetColor(static_cast<TColor>(cf.rgbColors));
    return true;
}

void TFontDialog::DefineProperties(TFiler* filer)
{
    TCommonDialog::DefineProperties(filer);
    TFont* font = FFont.get();
    auto intProperty = [filer](const char* name, auto get, auto set) {
        filer->DefineProperty(name, [set](TReader* r) { set(r->ReadInteger()); },
                              [get](TWriter* w) { w->WriteInteger(get()); }, true);
    };
    filer->DefineProperty("Font.Name", [font](TReader* r) { font->SetName(r->ReadString()); },
                          [font](TWriter* w) { w->WriteString(font->GetName()); }, true);
    intProperty("Font.Height", [font] { return font->GetHeight(); }, [font](int v) { font->SetHeight(v); });
    intProperty("Font.Color", [font] { return static_cast<int>(font->GetColor()); },
                [font](int v) { font->SetColor(static_cast<TColor>(v)); });
    intProperty("Font.Style", [font] { return static_cast<int>(font->GetStyle().Bits()); },
                [font](int v) { font->SetStyle(TFontStyles::FromBits(static_cast<unsigned>(v))); });
    intProperty("Font.Charset", [font] { return static_cast<int>(font->GetCharset()); },
                [font](int v) { font->SetCharset(static_cast<TFontCharset>(v)); });
    intProperty("Font.Pitch", [font] { return static_cast<int>(font->GetPitch()); },
                [font](int v) { font->SetPitch(v >= 0 && v <= 2 ? static_cast<TFontPitch>(v) : TFontPitch::fpDefault); });
    intProperty("Options", [this] { return static_cast<int>(FOptions); },
                [this](int v) { FOptions = static_cast<TFontDialogOptions>(v); });
    intProperty("MinFontSize", [this] { return FMinFontSize; }, [this](int v) { FMinFontSize = v; });
    intProperty("MaxFontSize", [this] { return FMaxFontSize; }, [this](int v) { FMaxFontSize = v; });
}

// ---------------------------------------------------------------------------------------------
// TPrinterSetupDialog

namespace {

// A movable global block owned here until the system dialog replaces or takes it.
struct TGlobalBlock {
    HGLOBAL Handle = nullptr;
    ~TGlobalBlock()
    {
        if (Handle)
            GlobalFree(Handle);
    }
};

HGLOBAL MakeDevNames(const std::string& device)
{
    // DEVNAMES: four offsets, then the driver (empty), the device and the port (empty).
    size_t size = sizeof(DEVNAMES) + 1 + device.size() + 1 + 1;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
    if (!block)
        throw EOutOfMemory("Out of memory");
    auto* names = static_cast<DEVNAMES*>(GlobalLock(block));
    char* text = reinterpret_cast<char*>(names);
    names->wDriverOffset = sizeof(DEVNAMES);
    names->wDeviceOffset = static_cast<WORD>(sizeof(DEVNAMES) + 1);
    names->wOutputOffset = static_cast<WORD>(sizeof(DEVNAMES) + 1 + device.size() + 1);
    device.copy(text + names->wDeviceOffset, device.size());
    GlobalUnlock(block);
    return block;
}

// A copy of the printer's whole device mode (paper, source, driver data and all), which the
// dialog starts from and hands back changed.
HGLOBAL CopyDevMode(const DEVMODEA* mode)
{
    const size_t size = mode->dmSize + mode->dmDriverExtra;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
    if (block) {
        TGlobalLock<void> copy(block);
        if (copy.Get()) {
            std::memcpy(copy.Get(), mode, size);
            return block;
        }
    }
    if (block)
        GlobalFree(block);
    throw EOutOfMemory("Out of memory");
}

}

bool TPrinterSetupDialog::Execute(HWND owner)
{
    TPrinter* printer = Printer();
    // Without a printer the system would only show its own complaint.
    if (printer->GetPrinters().empty())
        throw EInvalidOperation("There is no default printer currently selected");
    std::string device = printer->GetPrinterName();
    TGlobalBlock names, mode;
    names.Handle = MakeDevNames(device);
    mode.Handle = CopyDevMode(printer->GetDevMode());
    PRINTDLGA pd{};
    pd.lStructSize = sizeof(pd);
    pd.hwndOwner = OwnerWindow(owner);
    pd.hDevNames = names.Handle;
    pd.hDevMode = mode.Handle;
    // Windows calls the setup hook for this dialog, Wine the print hook: both are the same.
    pd.Flags = PD_PRINTSETUP | PD_ENABLESETUPHOOK | PD_ENABLEPRINTHOOK;
    pd.lCustData = reinterpret_cast<LPARAM>(this);
    pd.lpfnSetupHook = &ShowCloseHook<PRINTDLGA>;
    pd.lpfnPrintHook = &ShowCloseHook<PRINTDLGA>;

    BOOL ok = PrintDlgA(&pd);
    // The dialog may have replaced the blocks; whatever it left is freed here.
    names.Handle = pd.hDevNames;
    mode.Handle = pd.hDevMode;
    if (!EndExecute(ok))
        return false;
    if (names.Handle) {
        TGlobalLock<char> chosen(names.Handle);
        const size_t size = chosen.Get() ? chosen.Size() : 0;
        const size_t offset = size >= sizeof(DEVNAMES) ? reinterpret_cast<const DEVNAMES*>(chosen.Get())->wDeviceOffset : size;
        if (offset < size)
            device.assign(chosen.Get() + offset, strnlen(chosen.Get() + offset, size - offset));
    }
    // The whole device mode the user chose becomes the printer's: paper size and source go with
    // orientation and copies, so that the page can take the new paper from the printer.
    TGlobalLock<DEVMODEA> chosen(mode.Handle);
    const DEVMODEA* settings = chosen.Get();
    const size_t size = settings ? chosen.Size() : 0;
    if (size < offsetof(DEVMODEA, dmFields) || size < static_cast<size_t>(settings->dmSize) + settings->dmDriverExtra)
        throw EPrinter("The printer settings are not valid");
    printer->SetDevMode(device, settings);
    return true;
}

// ---------------------------------------------------------------------------------------------

int MessageDlg(const std::string& text, const std::string& caption, UINT flags, HWND owner)
{
    return MessageBoxA(owner ? owner : GetActiveWindow(), text.c_str(), caption.c_str(), flags);
}
