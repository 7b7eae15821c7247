#include "app/MainForm.h"

#include <shellapi.h>

#include <algorithm>
#include <filesystem>
#include <utility>

#include "app/CommandPictures.h"
#include "app/Export.h"
#include "app/HtmlHelpAPI.h"
#include "app/IPLExtDlgs.h"
#include "app/PageExport.h"
#include "app/PagePrinting.h"
#include "app/PasteForm.h"
#include "app/Rasterize.h"
#include "app/ProgressFormUnit.h"
#include "app/SheetfoldAboutForm.h"
#include "app/XRegistry.h"
#include "document/Layer.h"
#include "document/LayerImage.h"
#include "document/SheetfoldProject.h"
#include "document/SheetfoldSelection.h"
#include "document/SheetfoldView.h"
#include "graphics/SfTypes.h"
#include "platform/Clipboard.h"
#include "platform/ImagingLib.h"
#include "platform/Printers.h"
#include "platform/ScopeGuards.h"
#include "platform/ShortCuts.h"
#include "platform/SysUtils.h"
#include "skin/SkinStrUtils.h"

SF_IMPLEMENT_COMPONENT(TSheetfoldForm, TCustomSheetfoldForm)

TSheetfoldForm* SheetfoldForm = nullptr;

namespace {

constexpr const char* ProjectOpenFilter =
    "All formats (*.sfp;*.ico;*.bmp;*.jpg;*.tif;*.png;*.pcx;*.psd;*.wmf;*.emf)|*.sfp;*.ico;*.bmp;*.jpg;*.tif;*.png;*.pcx;"
    "*.psd;*.wmf;*.emf|Sheetfold Project (*.sfp)|*.sfp|Icons (*.ico)|*.ico|Bitmaps (*.bmp)|*.bmp|JPEG (*.jpg)|*.jpg|"
    "TIFF (*.tif)|*.tif|PNG (*.png)|*.png|PCX (*.pcx)|*.pcx|PSD (*.psd)|*.psd|Metafile (*.wmf;*.emf)|*.wmf;*.emf";
constexpr const char* ProjectSaveFilter =
    "Sheetfold Project (minimal dependencies) (*.sfp)|*.sfp|Sheetfold Project (minimal size) (*.sfp)|*.sfp";
constexpr const char* PictureOpenFilter =
    "All formats (*.ico;*.bmp;*.jpg;*.tif;*.png;*.pcx;*.psd;*.wmf;*.emf)|*.ico;*.bmp;*.jpg;*.tif;*.png;*.pcx;*.psd;*.wmf;"
    "*.emf|Icons (*.ico)|*.ico|Bitmaps (*.bmp)|*.bmp|JPEG (*.jpg)|*.jpg|TIFF (*.tif)|*.tif|PNG (*.png)|*.png|"
    "PCX (*.pcx)|*.pcx|PSD (*.psd)|*.psd|Metafile (*.wmf;*.emf)|*.wmf;*.emf";
constexpr const char* PictureSaveFilter = "Bitmap (*.bmp)|*.bmp|PNG (*.png)|*.png|JPEG (*.jpg)|*.jpg";

// The key data of one press of Del (an extended key) with the repeat count 1.
LPARAM DeleteKeyData()
{
    return static_cast<LPARAM>(1 | (MapVirtualKeyA(VK_DELETE, MAPVK_VK_TO_VSC) << 16) | (1u << 24));
}

std::string ProgramFolder()
{
    return LanguageProgramFolder();
}

XRegistry::TFontSettings FontToSettings(const TFont* font)
{
    XRegistry::TFontSettings s;
    s.Name = font->GetName();
    s.Size = font->GetSize();
    s.Style = font->GetStyle().Bits();
    s.Charset = static_cast<uint8_t>(font->GetCharset());
    s.Color = static_cast<int32_t>(font->GetColor());
    return s;
}

void SettingsToFont(const XRegistry::TFontSettings& s, TFont* font)
{
    font->SetName(s.Name);
    font->SetSize(s.Size);
    font->SetStyle(TFontStyles::FromBits(s.Style));
    font->SetCharset(s.Charset);
    font->SetColor(static_cast<TColor>(s.Color));
}

} // namespace

TSheetfoldForm::TSheetfoldForm(TComponent* owner) : TCustomSheetfoldForm(owner)
{
    SetCaption("Sheetfold");
    SetBounds(40, 20, 1000, 820);
    SetKeyPreview(false);
    BuildMenus();
    BuildToolbar();
    FStatusBar = New<TSkinStatusBar>(this);
    FStatusBar->SetAlign(alBottom);
    FStatusBar->SetParent(this);
    // The panels start at the left; either side takes a panel dragged to it.
    for (auto [dock, position] : {std::pair{&FLeftDock, dpLeft}, std::pair{&FRightDock, dpRight}}) {
        *dock = New<TSkinMultiDock>(this);
        (*dock)->SetPosition(position);
        (*dock)->SetParent(this);
    }
    BuildPanels();
    BuildCentre();

    FOpenDialog = New<TOpenDialog>(this);
    FOpenDialog->SetFilter(ProjectOpenFilter);
    FOpenDialog->SetDefaultExt("sfp");
    FSaveDialog = New<TSaveDialog>(this);
    FSaveDialog->SetFilter(ProjectSaveFilter);
    FSaveDialog->SetDefaultExt("sfp");
    FFontDialog = New<TFontDialog>(this);

    OnCreate = TNotifyEvent(this, &TSheetfoldForm::FormCreate);
    OnDestroy = TNotifyEvent(this, &TSheetfoldForm::FormDestroy);
    OnCloseQuery = TCloseQueryEvent(this, &TSheetfoldForm::FormCloseQuery);
    if (!SheetfoldForm)
        SheetfoldForm = this;
}

void TSheetfoldForm::BeforeDestruction()
{
    if (Application) {
        Application->OnIdle = nullptr;
        Application->OnMessage = nullptr;
    }
    if (SheetfoldForm == this)
        SheetfoldForm = nullptr;
    TCustomSheetfoldForm::BeforeDestruction();
}

// ---- Construction ----

template <class T>
T* TSheetfoldForm::AddItem(TTBCustomItem* parent, int tag, int command, TShortCut shortCut)
{
    T* item = New<T>(this);
    item->SetTag(tag);
    item->SetShortCut(shortCut);
    if (command != cmNone) {
        item->OnClick = TNotifyEvent([this, command](TObject*) { ExecuteCommand(command); });
        FCommandControls.push_back({command, item});
    }
    parent->Add(item);
    return item;
}

void TSheetfoldForm::AddSeparator(TTBCustomItem* parent)
{
    parent->Add(New<TSkinSeparatorItem>(this));
}

TSkinSubmenuItem* TSheetfoldForm::AddLinkedSubmenu(TTBCustomItem* parent, int tag, TSkinPopupMenu* menu, int ruleCommand)
{
    auto* item = AddItem<TSkinSubmenuItem>(parent, tag, cmNone);
    item->SetLinkSubitems(menu->GetItems());
    FCommandControls.push_back({ruleCommand, item});
    return item;
}

TSkinPopupMenu* TSheetfoldForm::NewCommandMenu(int firstCommand, int lastCommand)
{
    auto* menu = New<TSkinPopupMenu>(this);
    for (int c = firstCommand; c <= lastCommand; ++c)
        AddItem<TSkinItem>(menu->GetItems(), c, c);
    return menu;
}

void TSheetfoldForm::BuildMenus()
{
    FTopDock = New<TSkinDock>(this);
    FTopDock->SetPosition(dpTop);
    FTopDock->SetParent(this);
    FMenuBar = New<TSkinToolbar>(this);
    FMenuBar->SetMenuBar(true);
    // Neither bar has a View item to bring it back once closed.
    FMenuBar->SetCloseButton(false);
    FMenuBar->SetDockRow(0);
    // The bars are built here rather than read from a form: their items keep their order in the
    // chevron's priority as read items do, so that the last ones hide first in a narrow window.
    FMenuBar->SetChevronPriorityForNewItems(tbcpLowest);
    TTBCustomItem* bar = FMenuBar->GetItems();

    auto* file = AddItem<TSkinSubmenuItem>(bar, 400, cmNone);
    AddItem<TSkinItem>(file, 401, cmNew, ShortCut('N', ssCtrl));
    AddItem<TSkinItem>(file, 402, cmOpen, ShortCut('O', ssCtrl));
    AddSeparator(file);
    AddItem<TSkinItem>(file, 404, cmSave, ShortCut('S', ssCtrl));
    AddItem<TSkinItem>(file, 405, cmSaveAs);
    AddItem<TSkinItem>(file, 406, cmExport);
    AddSeparator(file);
    AddItem<TSkinItem>(file, 407, cmPrint, ShortCut('P', ssCtrl));
    AddSeparator(file);
    AddItem<TSkinItem>(file, 408, cmExit);

    auto* edit = AddItem<TSkinSubmenuItem>(bar, 500, cmNone);
    AddItem<TSkinItem>(edit, 501, cmCut, ShortCut('X', ssCtrl));
    AddItem<TSkinItem>(edit, 502, cmCopy, ShortCut('C', ssCtrl));
    AddItem<TSkinItem>(edit, 503, cmPaste, ShortCut('V', ssCtrl));
    AddItem<TSkinItem>(edit, 504, cmDelete, ShortCut(VK_DELETE, 0));

    auto* view = AddItem<TSkinSubmenuItem>(bar, 600, cmNone);
    view->OnPopup = TTBPopupEvent(this, &TSheetfoldForm::ViewMenuPopup);
    // The toggles show and hide their panels themselves; the command keys only reach them by
    // WM_COMMAND, so that they are not bound to the click.
    for (auto [item, tag, command] : {std::tuple{&FViewImageItem, 100, cmViewImagePanel},
                                      std::tuple{&FViewPrintItem, 200, cmViewPrintPanel}}) {
        *item = AddItem<TSkinVisibilityToggleItem>(view, tag, cmNone);
        FCommandControls.push_back({command, *item});
    }
    AddSeparator(view);
    FLanguageMenu = AddItem<TSkinSubmenuItem>(view, 601, cmNone);
    FLanguageMenu->SetVisible(false);

    auto* insert = AddItem<TSkinSubmenuItem>(bar, 700, cmNone);
    AddItem<TSkinItem>(insert, 701, cmInsertImage, ShortCut('I', ssCtrl));
    AddItem<TSkinItem>(insert, 702, cmInsertText, ShortCut('T', ssCtrl));

    auto* help = AddItem<TSkinSubmenuItem>(bar, 1000, cmNone);
    AddItem<TSkinItem>(help, 1001, cmHelp, ShortCut(VK_F1, 0));
    AddItem<TSkinItem>(help, 1002, cmAbout);
    FMenuBar->SetParent(FTopDock);

    FAlignMenu = NewCommandMenu(cmAlignFirst, cmAlignLast);
    FOrderMenu = NewCommandMenu(cmBringToFront, cmMoveBackward);
    FRotateMenu = NewCommandMenu(cmRotate180, cmRotateLeft);

    FContextMenu = New<TSkinPopupMenu>(this);
    FContextMenu->OnPopup = TNotifyEvent(this, &TSheetfoldForm::ContextMenuPopup);
    TTBCustomItem* context = FContextMenu->GetItems();
    AddItem<TSkinItem>(context, 501, cmCut);
    AddItem<TSkinItem>(context, 502, cmCopy);
    AddItem<TSkinItem>(context, 503, cmPaste);
    AddItem<TSkinItem>(context, 504, cmDelete);
    AddSeparator(context);
    AddLinkedSubmenu(context, 1100, FOrderMenu, cmBringToFront);
    AddLinkedSubmenu(context, 1200, FRotateMenu, cmRotate180);
    AddSeparator(context);
    FContextSaveAs = AddItem<TSkinItem>(context, 507, cmImageSaveAs);
}

void TSheetfoldForm::BuildToolbar()
{
    FToolbar = New<TSkinToolbar>(this);
    FToolbar->SetCloseButton(false);
    FToolbar->SetDockRow(1);
    FToolbar->SetShowHint(true);
    FToolbar->SetChevronPriorityForNewItems(tbcpLowest);
    FToolbar->SetImages(LoadCommandPictures(this));
    TTBCustomItem* items = FToolbar->GetItems();
    auto picture = [](TTBCustomItem* item) {
        item->SetImageIndex(CommandPictureIndex(static_cast<int>(item->GetTag())));
        return item;
    };
    const std::pair<int, int> buttons[] = {
        {306, cmToolOpen}, {307, cmToolSave},   {308, cmToolPrint},      {309, cmToolCut},
        {310, cmToolCopy}, {311, cmToolPaste},  {312, cmToolDelete},     {301, cmAddPage},
        {302, cmDeletePage}, {304, cmToolInsertImage}, {305, cmToolInsertText},
    };
    for (auto [tag, command] : buttons)
        picture(AddItem<TSkinItem>(items, tag, command));
    for (auto [tag, menu, rule] : {std::tuple{7001, FAlignMenu, cmAlignFirst}, std::tuple{1100, FOrderMenu, cmBringToFront},
                                   std::tuple{1200, FRotateMenu, cmRotate180}}) {
        TTBCustomItem* item = picture(AddLinkedSubmenu(items, tag, menu, rule));
        item->SetOptions(item->GetOptions() | tboDropdownArrow);
    }

    // The Rotate drop-down's arrow would touch the Scale label.
    AddSeparator(items);
    auto* scale = New<TSkinLabelItem>(this);
    scale->SetTag(303);
    items->Add(scale);
    FZoomBox = New<TSkinComboBoxItem>(this);
    FZoomBox->SetDropDownList(true);
    FZoomBox->SetEditWidth(70);
    for (int i = 0; i < ZoomChoiceCount; ++i)
        FZoomBox->GetLines()->Add(AnsiToWide(ZoomChoiceText(i)));
    FZoomBox->SetItemIndex(ZoomChoiceCount - 1);
    FZoomBox->OnChange = TNotifyEvent(this, &TSheetfoldForm::ZoomChange);
    items->Add(FZoomBox);
    FToolbar->SetParent(FTopDock);
}

void TSheetfoldForm::BuildPanels()
{
    FImagePanel = New<TImagePanel>(this);
    FPrintPanel = New<TPrintPanel>(this);
    int position = 0;
    for (auto [panel, item, height] : {std::tuple{static_cast<TSkinDockablePanel*>(FImagePanel), FViewImageItem, 440},
                                       std::tuple{static_cast<TSkinDockablePanel*>(FPrintPanel), FViewPrintItem, 260}}) {
        panel->SetDockPos(position++);
        panel->SetSplitHeight(height);
        panel->SetParent(FLeftDock);
        item->SetControl(panel);
        // Closed by its own button, floated, docked again: the View menu follows.
        panel->OnVisibleChanged = TNotifyEvent([panel, item](TObject*) { item->SetChecked(panel->GetVisible()); });
    }
}

void TSheetfoldForm::BuildCentre()
{
    FTabControl = New<TTabControl>(this);
    FTabControl->SetAlign(alClient);
    FTabControl->SetParent(this);
    FTabControl->OnChange = TNotifyEvent(this, &TSheetfoldForm::TabChange);
    FPreviewPanel = New<TPanel>(this);
    FPreviewPanel->SetAlign(alClient);
    FPreviewPanel->SetBevelOuter(bvNone);
    FPreviewPanel->SetParent(FTabControl);
}

void TSheetfoldForm::SizeDockedPanels()
{
    // Both panels are as wide as the image panel's widest row, and never lower than their rows.
    const int width = FImagePanel->DesignWidth();
    for (auto [panel, minHeight] : {std::pair{static_cast<TSkinDockablePanel*>(FImagePanel), FImagePanel->DesignMinHeight()},
                                    std::pair{static_cast<TSkinDockablePanel*>(FPrintPanel), FPrintPanel->DesignMinHeight()}}) {
        panel->SetMinClientWidth(width);
        panel->SetMinClientHeight(minHeight);
        panel->SetClientWidth(width);
        panel->SetWidth(width);
        panel->SetDockedWidth(width);
        panel->SetFloatingWidth(width);
    }
}

// ---- Start and end ----

void TSheetfoldForm::FormCreate(TObject*)
{
    ApplyLanguage(ReadSettingString("Language", "English"));
    SetImageHintCount(ReadSettingInteger("InsertImageMessage", 3));
    SelectStoredPrinter();
    SetCaption("Sheetfold");
    GetView()->SetAlign(alClient);
    GetView()->SetParent(FPreviewPanel);
    // The keys act on the page from the start, not on the first field of the image panel.
    SetActiveControl(GetView());
    NewProject();
    XRegistry::TFontSettings fallback = FontToSettings(GetDefaultFont());
    SettingsToFont(XRegistry::DecodeFontDialog(ReadSettingBinary("FontDialog", ""), fallback), FFontDialog->GetFont());
    GetDefaultFont()->Assign(FFontDialog->GetFont());
    if (GetProject()->Count() > 0)
        PagesChanged();
    if (Application)
        Application->SetHelpFile(ProgramFolder() + "Sheetfold.hlp");

    std::string imageToInsert;
    ReadCommandLine(imageToInsert);

    FOpenPictureDialog = New<TIplOpenPictureDialog>(this);
    FOpenPictureDialog->SetFilter(PictureOpenFilter);
    FOpenPictureDialog->SetOptions(ofAllowMultiSelect);
    FSavePictureDialog = New<TIplSavePictureDialog>(this);
    FSavePictureDialog->SetFilter(PictureSaveFilter);
    FLanguageMenu->SetVisible(true);
    SizeDockedPanels();
    // The pages are shown before the command-line picture goes in, so that it stays selected.
    PagesChanged();
    if (!imageToInsert.empty())
        InsertStartupImage(imageToInsert);
    if (Application) {
        Application->OnIdle = TIdleEvent(this, &TSheetfoldForm::AppIdle);
        Application->OnMessage = TMessageEvent(this, &TSheetfoldForm::AppMessage);
    }
}

// A picture named on the command line that cannot be read is passed over without a word, as a
// missing one is: the window opens with its empty page.
void TSheetfoldForm::InsertStartupImage(const std::string& fileName)
{
    struct TQuietErrors {
        TErrorMessageHandler Previous = SetErrorMessageHandler([](const std::string&) { return IDOK; });
        ~TQuietErrors() { SetErrorMessageHandler(Previous); }
    } quiet;
    try {
        InsertImageFile(fileName);
    } catch (const Exception&) {
        // Passed over on purpose, as said above.
    }
}

void TSheetfoldForm::SelectStoredPrinter()
{
    std::string name = ReadSettingString("Printer", "");
    if (name.empty())
        return;
    const std::vector<std::string>& printers = Printer()->GetPrinters();
    for (size_t i = 0; i < printers.size(); ++i) {
        if (printers[i] == name) {
            Printer()->SetPrinterIndex(static_cast<int>(i));
            return;
        }
    }
}

void TSheetfoldForm::ReadCommandLine(std::string& imageToInsert)
{
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::string argument;
    if (argv && argc > 1) {
        int size = WideCharToMultiByte(CP_ACP, 0, argv[1], -1, nullptr, 0, nullptr, nullptr);
        argument.resize(size > 0 ? size - 1 : 0);
        if (size > 1)
            WideCharToMultiByte(CP_ACP, 0, argv[1], -1, argument.data(), size, nullptr, nullptr);
    }
    if (argv)
        LocalFree(argv);
    try {
        if (!argument.empty()) {
            std::string path = ExpandUNCFileName(argument);
            if (!FileExists(path))
                return;
            if (UpperCase(ExtractFileExt(path)) == ".SFP")
                OpenFile(path);
            else
                imageToInsert = path;
            return;
        }
        std::string demo = ProgramFolder() + "Example.sfp";
        int showDemo = ReadSettingInteger("ShowDemo", 0);
        if (FileExists(demo) && showDemo <= 1) {
            OpenFile(demo);
            WriteSettingInteger("ShowDemo", 1);
        }
    } catch (const Exception&) {
        // An unreadable start-up file is ignored: the new project stays.
    }
}

void TSheetfoldForm::FormCloseQuery(TObject*, bool& canClose)
{
    canClose = !GetBusy() && CanCloseProject();
    if (!canClose)
        return;
    // The question is about the demonstration project, so it is asked only where there is one.
    if (ReadSettingInteger("ShowDemo", 0) <= 1 && FileExists(ProgramFolder() + "Example.sfp")) {
        if (MessageBox(ConstText(14, "Load the demonstration project next time?"), MB_YESNO | MB_ICONQUESTION) == IDNO)
            WriteSettingInteger("ShowDemo", 2);
    }
}

void TSheetfoldForm::FormDestroy(TObject*)
{
    // Without a printer there is no name to store; the stored choice is kept for next time.
    if (HasPrinter())
        WriteSettingString("Printer", Printer()->GetPrinterName());
    WriteSettingInteger("InsertImageMessage", GetImageHintCount());
    WriteSettingBinary("FontDialog", XRegistry::EncodeFontDialog(FontToSettings(FFontDialog->GetFont())));
}

// ---- Language ----

void TSheetfoldForm::ApplyLanguage(const std::string& name)
{
    TSfLanguage* language = TSfLanguage::Instance();
    if (!name.empty()) {
        language->LoadLanguage(name);
        WriteSettingString("Language", name);
    }
    if (Application)
        language->ApplyToTree(Application, "Interface");
    if (!Application || GetOwner() != Application)
        language->ApplyToTree(this, "Interface");
    SheetfoldLoadingCaption = ConstText(12, "Loading...");
    FImagePanel->LanguageChanged();
    FImagePanel->ArrangeForTexts();
    FPrintPanel->ArrangeForTexts();
    // Both panels share the image panel's width: a language with longer texts widens them.
    if (FImagePanel->GetClientWidth() < FImagePanel->DesignWidth())
        SizeDockedPanels();
}

void TSheetfoldForm::ViewMenuPopup(TTBCustomItem*, bool)
{
    RebuildLanguageMenu();
}

void TSheetfoldForm::RebuildLanguageMenu()
{
    FLanguageMenu->Clear();
    for (const TLanguageFile& file : ListLanguageFiles(TSfLanguage::Instance()->GetProgramFolder())) {
        auto* item = New<TSkinItem>(this);
        item->SetCaption(AnsiToWide(file.DisplayName));
        TLanguageCommand* command = New<TLanguageCommand>(item, this);
        command->SetLanguageName(file.FileName);
        FLanguageMenu->Add(item);
    }
    // Without language files there is nothing to choose: an empty submenu would open as a bare box.
    FLanguageMenu->SetEnabled(FLanguageMenu->Count() > 0);
}

// ---- Commands ----

void TSheetfoldForm::Dispatch(TMessage& message)
{
    if (message.Msg == WM_COMMAND && message.LParam == 0 && HIWORD(message.WParam) == 0 &&
        FindCommandControl(LOWORD(message.WParam))) {
        try {
            ExecuteCommand(LOWORD(message.WParam));
        } catch (...) {
            if (Application)
                Application->HandleException(this);
        }
        message.Result = 0;
        return;
    }
    TCustomSheetfoldForm::Dispatch(message);
}

TComponent* TSheetfoldForm::FindCommandControl(int command) const
{
    for (const TCommandControl& c : FCommandControls)
        if (c.Command == command)
            return c.Component;
    return nullptr;
}

bool TSheetfoldForm::GetCommandEnabled(int command) const
{
    bool found = false;
    for (const TCommandControl& c : FCommandControls) {
        if (c.Command != command)
            continue;
        found = true;
        if (auto* item = dynamic_cast<TTBCustomItem*>(c.Component); item && !item->GetEnabled())
            return false;
        if (auto* control = dynamic_cast<TControl*>(c.Component); control && !control->GetEnabled())
            return false;
    }
    return found;
}

TEnablingSnapshot TSheetfoldForm::TakeSnapshot()
{
    TEnablingSnapshot s;
    TSheetfoldProject* project = GetProject();
    s.PageCount = project->Count();
    TSheetfoldPage* page = GetCurrentPage();
    s.ElementCount = page ? page->Count() : 0;
    TLayerSelection* selection = GetSelectionList();
    s.SelectedCount = selection ? selection->Count() : 0;
    if (s.SelectedCount == 1) {
        TLayerElement* e = selection->GetItem(0);
        s.SingleImageOrText = Is<TLayerImage>(e) || Is<TLayerText>(e);
    }
    s.Modified = project->GetModified();
    s.HasPrinter = HasPrinter();
    s.CanPaste = CanPaste();
    s.Busy = GetBusy();
    return s;
}

void TSheetfoldForm::ExecuteCommand(int command)
{
    // Cut, Copy, Paste and Delete work in the edit that has the focus, on what is being typed
    // there. Any other command may change the selection or the project: what was typed into the
    // panel goes in first, as leaving the edit would have done.
    if (ForwardToFocusedEdit(command))
        return;
    FImagePanel->CommitPendingEdit();
    TEnablingSnapshot snapshot = TakeSnapshot();
    if (!CommandEnabled(command, ComputeEnablingRules(snapshot), snapshot.Busy))
        return;
    if (command >= cmAlignFirst && command <= cmAlignLast) {
        GetView()->GetSheetfoldSelection()->AlignElements(AlignModeOfCommand(command));
        return;
    }
    switch (CanonicalCommand(command)) {
    case cmNew: NewProject(); break;
    case cmOpen: OpenCommand(); break;
    case cmSave:
    case cmSaveAs: SaveAsCommand(); break;
    case cmToolSave: Save(); break;
    case cmExport: ExportPage(); break;
    case cmPrint: PrintPages(); break;
    case cmExit: Close(); break;
    case cmCut: Cut(); break;
    case cmCopy: CopyToClipboard(); break;
    case cmPaste: PasteCommand(); break;
    case cmDelete: DeleteSelection(); break;
    case cmImageSaveAs: SaveImageAs(); break;
    case cmPrinterSetup: PrinterSetupCommand(); break;
    case cmViewImagePanel: TogglePanel(FImagePanel, FViewImageItem); break;
    case cmViewPrintPanel: TogglePanel(FPrintPanel, FViewPrintItem); break;
    case cmInsertImage: InsertImageCommand(); break;
    case cmInsertText: InsertTextCommand(); break;
    case cmHelp: HelpCommand(); break;
    case cmAbout: AboutCommand(); break;
    case cmAddPage: AddPage(); break;
    case cmDeletePage: DeletePage(); break;
    case cmBringToFront:
    case cmMoveToBack:
    case cmMoveForward:
    case cmMoveBackward: OrderCommand(command); break;
    case cmRotate180:
    case cmRotateRight:
    case cmRotateLeft: RotateCommand(command); break;
    default: break;
    }
}

bool TSheetfoldForm::ForwardToFocusedEdit(int command)
{
    HWND focus = GetFocus();
    if (!focus)
        return false;
    char name[32] = {};
    GetClassNameA(focus, name, sizeof(name));
    std::string cls = name;
    if (cls != "TEdit" && cls != "TMemo" && cls != "Edit" && !FImagePanel->OwnsEditWindow(focus))
        return false;
    UINT message = 0;
    switch (CanonicalCommand(command)) {
    case cmCut: message = WM_CUT; break;
    case cmCopy: message = WM_COPY; break;
    case cmPaste: message = WM_PASTE; break;
    case cmDelete:
        // Del typed in an edit is the edit's own key (delete forward); only the menu's or the
        // toolbar's Delete clears the edit's selection.
        if (GetKeyState(VK_DELETE) < 0) {
            SendMessageA(focus, WM_KEYDOWN, VK_DELETE, DeleteKeyData());
            return true;
        }
        message = WM_CLEAR;
        break;
    default: return false;
    }
    SendMessageA(focus, message, 0, 0);
    return true;
}

void TSheetfoldForm::OpenCommand()
{
    if (!FOpenDialog->Execute(GetHandle()))
        return;
    if (Application)
        Application->ProcessMessages();
    TBusyCursor busy;
    if (TLayerSelection* selection = GetSelectionList())
        selection->Clear();
    OpenFile(FOpenDialog->GetFileName());
}

void TSheetfoldForm::SaveAsCommand()
{
    if (ExecuteSaveDialog())
        Save();
}

bool TSheetfoldForm::ExecuteSaveDialog()
{
    TSheetfoldProject* project = GetProject();
    FSaveDialog->SetFilterIndex(project->GetMINS() ? 2 : 1);
    if (project->GetFileName() != "Untitled")
        FSaveDialog->SetFileName(project->GetFileName());
    if (!FSaveDialog->Execute(GetHandle()))
        return false;
    project->SetMINS(FSaveDialog->GetFilterIndex() == 2);
    std::string fileName = FSaveDialog->GetFileName();
    if (FileExists(fileName) &&
        MessageBox(ConstText(16, "File exists. Overwrite?"), MB_YESNO | MB_ICONWARNING) != IDYES)
        return false;
    project->SetFileName(fileName);
    return true;
}

void TSheetfoldForm::PasteCommand()
{
    if (Clipboard()->HasFormat(CF_Sheetfold())) {
        PasteFromClipboard();
        return;
    }
    if (Clipboard()->HasFormat(CF_ENHMETAFILE)) {
        std::unique_ptr<TPasteAsForm, TObjectFree> form(New<TPasteAsForm>(this));
        TStrings* items = form->GetRadioGroup()->GetItems();
        std::vector<TPasteChoice> choices{pcMetafile, pcBitmap};
        if (Clipboard()->HasFormat(CF_TEXT))
            choices.push_back(pcText);
        static const char* fallback[] = {"Text", "Metafile", "Bitmap"};
        for (TPasteChoice choice : choices)
            items->Add(InterfaceText(choice, fallback[choice - pcText]));
        form->GetRadioGroup()->SetItemIndex(0);
        if (form->ShowModal() != mrOk)
            return;
        int index = form->GetRadioGroup()->GetItemIndex();
        if (index < 0 || index >= static_cast<int>(choices.size()))
            return;
        switch (choices[index]) {
        case pcMetafile: PasteMetafile(); break;
        case pcBitmap: PasteBitmap(); break;
        case pcText: PasteText(); break;
        }
        return;
    }
    if (IL_ClipboardReady()) {
        PasteBitmap();
        return;
    }
    if (Clipboard()->HasFormat(CF_TEXT))
        PasteText();
}

void TSheetfoldForm::InsertImageCommand()
{
    if (!FOpenPictureDialog->Execute(GetHandle()))
        return;
    std::vector<std::string> files;
    TStrings* chosen = FOpenPictureDialog->GetFiles();
    for (int i = 0; i < chosen->Count(); ++i)
        files.push_back(chosen->Get(i));
    if (files.empty())
        files.push_back(FOpenPictureDialog->GetFileName());
    // The dialog opens next time in the folder the pictures came from, whether they went in or not.
    std::string folder = std::filesystem::path(FOpenPictureDialog->GetFileName()).parent_path().string();
    FOpenPictureDialog->SetInitialDir(folder);
    FOpenPictureDialog->SetFileName("");
    InsertImageFiles(files);
}

void TSheetfoldForm::InsertImageFiles(const std::vector<std::string>& files)
{
    for (const std::string& file : files)
        InsertImageFile(file);
}

void TSheetfoldForm::InsertTextCommand()
{
    POINT reference{};
    if (TLayerElement* first = GetFirstSelected()) {
        reference = POINT{first->GetLeft(), first->GetTop()};
    } else if (TSheetfoldPage* page = GetCurrentPage()) {
        RECT printable = page->GetPrintableRect();
        reference = POINT{printable.left, printable.top};
    }
    TLayerText* text = InsertText("Text");
    if (!text)
        return;
    text->SetFont(FFontDialog->GetFont());
    RECT b = text->GetBounds();
    SfTypes::OffsetRect(&b, reference.x + 1000 - b.left, reference.y + 1000 - b.top);
    text->SetBoundsRect(b);
    FImagePanel->SetVisible(true);
    FViewImageItem->SetChecked(true);
    FImagePanel->FocusTextMemo();
}

void TSheetfoldForm::OrderCommand(int command)
{
    TLayerElement* first = GetFirstSelected();
    TSheetfoldPage* page = GetCurrentPage();
    if (!first || !page)
        return;
    switch (command) {
    case cmBringToFront: SetZIndex(page->Count() - 1); break;
    case cmMoveToBack: SetZIndex(0); break;
    case cmMoveForward: SetZIndex(std::min(GetZIndex() + 1, page->Count() - 1)); break;
    default: SetZIndex(std::max(GetZIndex() - 1, 0)); break;
    }
}

void TSheetfoldForm::RotateCommand(int command)
{
    switch (command) {
    case cmRotate180: Rotate180(); break;
    case cmRotateRight: RotateRight(); break;
    default: RotateLeft(); break;
    }
}

void TSheetfoldForm::HelpCommand()
{
    std::string helpFile = std::filesystem::path(Application ? Application->GetExeName() : "").replace_extension(".chm").string();
    ShowHtmlHelp(Application ? Application->GetHandle() : GetHandle(), helpFile);
}

void TSheetfoldForm::AboutCommand()
{
    std::unique_ptr<TAboutForm, TObjectFree> about(New<TAboutForm>(this));
    about->ShowModal();
}

void TSheetfoldForm::TogglePanel(TSkinDockablePanel* panel, TTBCustomItem* item)
{
    panel->SetVisible(!panel->GetVisible());
    item->SetChecked(panel->GetVisible());
}

// ---- Printing and export ----

bool TSheetfoldForm::HasPrinter()
{
    return GetPrintHelper() && GetPrintHelper()->HasPrinter();
}

void TSheetfoldForm::SetBusy(bool busy)
{
    FBusy += busy ? 1 : -1;
    if (FBusy < 0)
        FBusy = 0;
    // While a job runs the window takes no input: its messages are pumped for the Abort button.
    if (HandleAllocated())
        EnableWindow(GetWindowHandle(), FBusy == 0);
}

void TSheetfoldForm::PrintPages()
{
    TPrintJobOptions options;
    options.AllPages = !FPrintPanel->GetCurrentPageOnly();
    options.Copies = FPrintPanel->GetCopies();
    TScopeExit repaint([this] { GetView()->Invalidate(); });
    ::PrintPages(*GetProject(), *GetPrintHelper(), *this, options);
}

bool TSheetfoldForm::PrintAborted()
{
    if (!ProgressAborted())
        return false;
    if (Printer()->GetPrinting())
        Printer()->Abort();
    EndProgress();
    GetView()->Invalidate();
    return true;
}

void TSheetfoldForm::ExportPage()
{
    TSheetfoldPage* page = GetCurrentPage();
    if (!page || !FSavePictureDialog->Execute(GetHandle()) || !ConfirmPictureFileName())
        return;
    RECT printable = page->GetPrintableRect();
    int resolution = 100;
    if (!ExecuteExport(resolution, MaxResolutionForExtent(SIZE{printable.right - printable.left,
                                                                printable.bottom - printable.top})))
        return;
    if (Application)
        Application->ProcessMessages();
    TBusyCursor busy;
    SetBusy(true);
    TScopeExit done([this] {
        SetBusy(false);
        GetView()->Invalidate();
    });
    ::ExportPage(*page, resolution, FSavePictureDialog->GetFileName(), FSavePictureDialog->GetFilterIndex());
}

// The format's extension may name another file than the one the dialog checked: that one is
// not overwritten without asking.
bool TSheetfoldForm::ConfirmPictureFileName()
{
    std::string chosen = FSavePictureDialog->GetFileName();
    std::string written = PictureFileName(chosen, FSavePictureDialog->GetFilterIndex());
    if (written == chosen || !FileExists(written))
        return true;
    return MessageBox(ConstText(16, "File exists. Overwrite?") + "\n" + written, MB_YESNO | MB_ICONWARNING) == IDYES;
}

void TSheetfoldForm::SaveImageAs()
{
    if (!CanSaveImage())
        return;
    auto* image = As<TLayerImage>(GetFirstSelected());
    FSavePictureDialog->SetFileName(image->GetSourceFile());
    if (!FSavePictureDialog->Execute(GetHandle()) || !ConfirmPictureFileName())
        return;
    SaveImageBitmap(*image, FSavePictureDialog->GetFileName(), FSavePictureDialog->GetFilterIndex());
}

// ---- Hooks ----

void TSheetfoldForm::BeginProgress(int maximum, const std::string& caption, bool canAbort)
{
    SetBusy(true);
    if (!FProgressForm)
        return;
    FProgressForm->SetCaption(caption);
    FProgressForm->GetProgressBar()->SetMin(0);
    FProgressForm->GetProgressBar()->SetMax(maximum);
    FProgressForm->GetProgressBar()->SetPosition(0);
    FProgressForm->SetCanAbort(canAbort);
    FProgressForm->Show();
    if (Application)
        Application->ProcessMessages();
}

void TSheetfoldForm::SetProgress(int position)
{
    if (FProgressForm)
        FProgressForm->GetProgressBar()->SetPosition(position);
    if (Application)
        Application->ProcessMessages();
}

void TSheetfoldForm::EndProgress()
{
    if (Application)
        Application->ProcessMessages();
    if (FProgressForm) {
        // Hidden while it is the active window, the progress window would leave the activation to
        // whatever the system picks, outside the program when its owner is the hidden application
        // window: the main window (and its bars' active look) takes it back first.
        if (FProgressForm->HandleAllocated() && GetActiveWindow() == FProgressForm->GetHandle() &&
            HandleAllocated() && IsWindowVisible(GetHandle()))
            SetActiveWindow(GetHandle());
        FProgressForm->Hide();
    }
    SetBusy(false);
}

bool TSheetfoldForm::ProgressAborted()
{
    if (Application)
        Application->ProcessMessages();
    return FProgressForm && FProgressForm->GetAborted();
}

void TSheetfoldForm::SelectionItemChanged(TObject* selection)
{
    if (Application && Application->GetTerminated())
        return;
    TSheetfoldPage* page = GetCurrentPage();
    if (!page || page->Count() == 0 || GetUpdating())
        return;
    TCustomSheetfoldForm::SelectionItemChanged(selection);
    UpdateProperties(selection);
}

void TSheetfoldForm::PagesChanged()
{
    if ((Application && Application->GetTerminated()) || GetUpdating())
        return;
    TCustomSheetfoldForm::PagesChanged();
    TSheetfoldProject* project = GetProject();
    TStrings* tabs = FTabControl->GetTabs();
    while (tabs->Count() > project->Count())
        tabs->Delete(tabs->Count() - 1);
    while (tabs->Count() < project->Count())
        tabs->Add(Format(" %d", tabs->Count() + 1));
    if (project->Count() > 0)
        FTabControl->SetTabIndex(project->GetCurrentPageIndex());
    if (TLayerSelection* selection = GetSelectionList())
        selection->Clear();
    FPrintPanel->ShowPrinters();
    if (TSheetfoldPage* page = GetCurrentPage()) {
        FPrintPanel->ShowPage(page);
        GetView()->Invalidate();
        // Another page, or the same one with other paper or turned: the zoom fits it anew.
        ApplyZoom();
    }
    // The commands and the panel show the pages and the selection now, not at the next idle.
    ApplyEnablingRules();
}

void TSheetfoldForm::UpdateProperties(TObject*)
{
    if (Application && Application->GetTerminated())
        return;
    TSheetfoldPage* page = GetCurrentPage();
    TLayerSelection* selection = GetSelectionList();
    if (!page || page->Count() == 0 || GetUpdating() || !selection || selection->Count() == 0)
        return;
    FImagePanel->ShowSelection(selection);
}

void TSheetfoldForm::ViewResized()
{
    ApplyZoom();
}

void TSheetfoldForm::ShowContextMenu(int x, int y)
{
    POINT p = GetView()->ClientToScreen(POINT{x, y});
    FContextMenu->Popup(p.x, p.y);
}

void TSheetfoldForm::ViewKeyDown(WORD, TShiftState)
{
}

void TSheetfoldForm::ContextMenuPopup(TObject*)
{
    FContextSaveAs->SetVisible(CanSaveImage());
}

// ---- Idle and messages ----

void TSheetfoldForm::AppIdle(TObject*, bool&)
{
    if (!Application || !Application->GetActive())
        return;
    try {
        ApplyEnablingRules();
    } catch (const Exception&) {
        // A rule that cannot read its state (the clipboard held by another program) tries
        // again at the next idle.
    }
}

void TSheetfoldForm::SetGroupEnabled(const std::vector<TComponent*>& group, bool enabled)
{
    for (TComponent* c : group) {
        if (auto* item = dynamic_cast<TTBCustomItem*>(c))
            item->SetEnabled(enabled);
        else if (auto* control = dynamic_cast<TControl*>(c))
            control->SetEnabled(enabled);
    }
}

void TSheetfoldForm::ApplyEnablingRules()
{
    TEnablingSnapshot snapshot = TakeSnapshot();
    TEnablingRules rules = ComputeEnablingRules(snapshot);
    for (const TCommandControl& c : FCommandControls) {
        SetGroupEnabled({c.Component}, CommandEnabled(c.Command, rules, snapshot.Busy));
    }
    FImagePanel->SetNameBoxEnabled(rules.ElementNameBox);
    TLayerSelection* selection = GetSelectionList();
    if (!selection || selection->Count() == 0)
        FImagePanel->ShowNothing();
    else
        FImagePanel->EnableFor(selection->Count());
}

void TSheetfoldForm::AppMessage(MSG& msg, bool& handled)
{
    if (msg.message != WM_KEYDOWN || GetBusy() || msg.hwnd != GetView()->GetWindowHandle())
        return;
    TLayerSelection* selection = GetSelectionList();
    if (!selection || selection->Count() == 0)
        return;
    int dx = 0;
    int dy = 0;
    switch (msg.wParam) {
    case VK_LEFT: dx = -100; break;
    case VK_RIGHT: dx = 100; break;
    case VK_UP: dy = -100; break;
    case VK_DOWN: dy = 100; break;
    default: return;
    }
    try {
        GetView()->GetSheetfoldSelection()->NudgeElements(dx, dy);
    } catch (...) {
        if (Application)
            Application->HandleException(this);
    }
    handled = true;
}

// ---- Panels ----

void TSheetfoldForm::TabChange(TObject*)
{
    FImagePanel->CommitPendingEdit();
    SetCurrentPage(FTabControl->GetTabIndex());
}

void TSheetfoldForm::ApplyZoom()
{
    TSheetfoldView* view = GetView();
    TSheetfoldPage* page = GetCurrentPage();
    if (!page)
        return;
    THiMetric* mapMode = view->GetMapMode();
    RECT client{0, 0, view->GetClientWidth(), view->GetClientHeight()};
    if (client.right <= 0 || client.bottom <= 0)
        return;
    POINT centre = mapMode->DPtoLP(POINT{client.right / 2, client.bottom / 2});
    int numerator = 1;
    int denominator = 1;
    std::string choice = FZoomBox->GetItemIndex() >= 0 ? WideToAnsi(FZoomBox->GetLines()->GetString(FZoomBox->GetItemIndex())) : "Auto";
    if (!ZoomRatio(choice, numerator, denominator)) {
        view->SetScrolling(false);
        RECT used{};
        mapMode->ZoomToFit(client, page->GetPaperRect(), used);
    } else {
        view->SetScrolling(true);
        mapMode->SetScreen();
        mapMode->SetZoom(numerator, denominator);
        POINT device = mapMode->LPtoDP(centre);
        POINT origin = mapMode->GetOrigin();
        mapMode->SetOrigin(POINT{origin.x + client.right / 2 - device.x, origin.y + client.bottom / 2 - device.y});
    }
    if (view->HandleAllocated())
        view->UpdateScrollPos();
    view->Invalidate();
}

void TSheetfoldForm::ZoomChange(TObject*)
{
    ApplyZoom();
}

void TSheetfoldForm::ChangeUnits(bool inches)
{
    SetUnits(inches);
    FPrintPanel->RefreshPageSizeLabel();
}

void TSheetfoldForm::PrinterSetupCommand()
{
    std::unique_ptr<TPrinterSetupDialog, TObjectFree> dialog(New<TPrinterSetupDialog>(nullptr));
    if (!dialog->Execute(GetHandle()))
        return;
    if (TSheetfoldPage* page = GetCurrentPage())
        page->SetLandscape(GetPrintHelper()->GetOrientation() == TPrinterOrientation::poLandscape);
    PagesChanged();
    ApplyZoom();
}
