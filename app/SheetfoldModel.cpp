#include "app/SheetfoldModel.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <utility>
#include <vector>

#include "app/Rasterize.h"
#include "app/SfLanguage1.h"
#include "app/XRegistry.h"
#include "document/LayerImage.h"
#include "document/SheetfoldProject.h"
#include "document/SheetfoldView.h"
#include "platform/Clipboard.h"
#include "platform/Exceptions.h"
#include "platform/ScopeGuards.h"
#include "platform/Streams.h"

SF_IMPLEMENT_COMPONENT(TCustomSheetfoldForm, TForm)

namespace {

const char* const ProductName = "Sheetfold";
const char* const UntitledName = "Untitled";

constexpr int HundredthsMmPerInch = 2540;
constexpr int HundredthsMmPerMm = 100;
constexpr int InsertOffset = 1000;
constexpr int NewShapeWidth = 4000;
constexpr int NewShapeHeight = 2000;
// Below the element, centred on it and as wide as it.
constexpr TLayerAlignFlags CaptionAlign = laFitWidth | laCenterHorz | laBelow;
constexpr TLayerAlignFlags FitToPageFlags = laFitWidth | laFitHeight;

// Text formats of a text element's alignment: word break plus nothing, right or centre.
constexpr uint16_t TextFormatLeft = DT_WORDBREAK;
constexpr uint16_t TextFormatRight = DT_WORDBREAK | DT_RIGHT;
constexpr uint16_t TextFormatCenter = DT_WORDBREAK | DT_CENTER;

TErrorMessageHandler& ErrorMessageHandler()
{
    static TErrorMessageHandler handler;
    return handler;
}

// True when the file begins with the group of a project. A file too short to hold a chunk header
// is no project; a file that cannot be opened raises.
bool IsProjectFile(const std::string& fileName)
{
    std::unique_ptr<TFileStream, TObjectFree> file(New<TFileStream>(fileName, fmOpenRead | fmShareDenyWrite));
    TXDataStream data(file.get());
    TChunkHeader header;
    try {
        data.ReadChunkHeader(header);
    } catch (const EReadError&) {
        return false;
    }
    return IsGroupBegin(header, "SFPJ");
}

// An image's caption when it is a text element, else nullptr.
TLayerText* CaptionText(TLayerImage* image)
{
    TLayerElement* caption = image ? image->GetCaption() : nullptr;
    return Is<TLayerText>(caption) ? static_cast<TLayerText*>(caption) : nullptr;
}

// The format string followed by the values, one a line: what is shown when a language file's
// text does not fit the values it is given.
std::string FallbackText(const std::string& fmt, std::initializer_list<TFormatArg> args)
{
    std::string text = fmt;
    for (const TFormatArg& arg : args) {
        text += "\n";
        switch (arg.GetKind()) {
        case TFormatArg::TKind::Integer: text += std::to_string(arg.GetInteger()); break;
        case TFormatArg::TKind::Float: text += FloatToStr(arg.GetFloat()); break;
        case TFormatArg::TKind::String: text += arg.GetString(); break;
        case TFormatArg::TKind::Pointer: text += UIntToHex(static_cast<uint64_t>(arg.GetInteger()), 8); break;
        }
    }
    return text;
}

int ReadLeft(const TLayerElement* e) { return e->GetLeft(); }
int ReadTop(const TLayerElement* e) { return e->GetTop(); }
int ReadWidth(const TLayerElement* e) { return e->GetWidth(); }
int ReadHeight(const TLayerElement* e) { return e->GetHeight(); }
void ApplyLeft(TLayerElement* e, int v) { e->SetLeft(v); }
void ApplyTop(TLayerElement* e, int v) { e->SetTop(v); }
void ApplyWidth(TLayerElement* e, int v) { e->SetWidth(v); }
void ApplyHeight(TLayerElement* e, int v) { e->SetHeight(v); }

} // namespace

UINT CF_Sheetfold()
{
    static const UINT format = RegisterClipboardFormatA("CF_Sheetfold");
    return format;
}

TErrorMessageHandler SetErrorMessageHandler(TErrorMessageHandler handler)
{
    return std::exchange(ErrorMessageHandler(), std::move(handler));
}

namespace {

// The language file's text of the numbered error with the arguments put in.
std::string ErrorMessageText(int number, std::initializer_list<TFormatArg> args)
{
    const std::string fmt = TSfLanguage::Instance()->GetString(number, "Unexpected Error", "ErrorMessages");
    try {
        return Format(fmt, std::vector<TFormatArg>(args));
    } catch (const EConvertError&) {
        return FallbackText(fmt, args);
    }
}

int ShowErrorText(const std::string& text)
{
    if (const TErrorMessageHandler& handler = ErrorMessageHandler())
        return handler(text);
    return ::MessageBoxA(GetForegroundWindow(), text.c_str(), ProductName, MB_ICONERROR);
}

// Posted to the main window when pictures of a project opened before it was shown could not be
// read: the report waits until the window is there to own it.
constexpr UINT WM_SF_REPORTPICTURES = WM_APP + 0x51;

} // namespace

int ShowErrorMessage(int number, std::initializer_list<TFormatArg> args)
{
    return ShowErrorText(ErrorMessageText(number, args));
}

std::string FileTitle(const std::string& path)
{
    return ChangeFileExt(ExtractFileName(path), "");
}

RECT NormalizeRect(const RECT& r)
{
    RECT result = r;
    if (result.left > result.right)
        std::swap(result.left, result.right);
    if (result.top > result.bottom)
        std::swap(result.top, result.bottom);
    return result;
}

// ---- Construction ----

TCustomSheetfoldForm::TCustomSheetfoldForm(TComponent* owner) : TForm(owner), FPrintHelper(New<TPrintHelper>())
{
    FProject = New<TSheetfoldProject>();
    FView = New<TSheetfoldView>(this);
    FView->SetProject(FProject);
    FView->SetForm(this);
    FInches = false;
    FDefaultFont.reset(New<TFont>());
    FDefaultFont->SetName("Arial");
    FDefaultFont->SetSize(12);
    FDefaultFont->SetColor(0);
}

TCustomSheetfoldForm::~TCustomSheetfoldForm() = default;

void TCustomSheetfoldForm::Notification(TComponent* component, TOperation operation)
{
    TForm::Notification(component, operation);
    if (operation == TOperation::opRemove && component == FView) {
        FView = nullptr;
        FProject = nullptr;
        FSelection = nullptr;
    }
}

// ---- Hooks ----

bool TCustomSheetfoldForm::ExecuteSaveDialog()
{
    AbstractError();
}

void TCustomSheetfoldForm::BeginProgress(int, const std::string&, bool)
{
    AbstractError();
}

void TCustomSheetfoldForm::SetProgress(int)
{
    AbstractError();
}

void TCustomSheetfoldForm::EndProgress()
{
    AbstractError();
}

bool TCustomSheetfoldForm::ProgressAborted()
{
    AbstractError();
}

bool TCustomSheetfoldForm::CanCloseProject()
{
    if (!FProject || !FProject->GetModified())
        return true;
    if (FProject->GetFileName() == UntitledName && FProject->Count() == 1 && FProject->GetPage(0)->Count() == 0)
        return true;
    switch (MessageBox(ConstText(1, "The project was modified. Save project?"), MB_YESNOCANCEL | MB_ICONQUESTION)) {
    case IDYES: return Save();
    case IDNO: return true;
    default: return false;
    }
}

void TCustomSheetfoldForm::PagesChanged()
{
    if (FView && FView->HandleAllocated())
        FView->UpdateScrollPos();
}

void TCustomSheetfoldForm::SelectionItemChanged(TObject* selection)
{
    FSelection = selection;
}

void TCustomSheetfoldForm::UpdateProperties(TObject*)
{
}

void TCustomSheetfoldForm::ViewResized()
{
}

void TCustomSheetfoldForm::ShowContextMenu(int, int)
{
}

void TCustomSheetfoldForm::ViewKeyDown(WORD, TShiftState)
{
}

void TCustomSheetfoldForm::SetInsertPoint(const POINT& p)
{
    FInsertPoint = p;
    FInsertPointValid = true;
}

void TCustomSheetfoldForm::InsertImageFile(const std::string& fileName)
{
    if (!HasPages())
        return;
    const bool modified = FProject->GetModified();
    TOwned<TLayerImage> image(New<TLayerImage>(GetCurrentPage()));
    // A metafile that cannot be read raises where a picture reports a code: both are told the
    // same way.
    bool unreadable = false;
    try {
        image->LoadFromFile(fileName);
    } catch (const Exception&) {
        unreadable = true;
    }
    if (unreadable || image->IsEmpty()) {
        const int32_t code = unreadable ? IL_ERROR_FILE_FORMAT : image->GetLoadResult();
        image.reset();
        // The element that was tried has gone again: the project is as it was.
        if (!modified)
            FProject->ClearModified();
        if (!FileExists(fileName))
            ShowErrorMessage(1, {fileName});
        else if (code == IL_ERROR_LZW_LOCKED)
            ShowErrorMessage(2, {fileName});
        else
            ShowErrorMessage(3, {fileName, static_cast<int>(code)});
        throw EInvalidGraphic(ConstText(15, "This is an unsupported image file format."));
    }
    FinishNewImage(image.release(), ExtractFileName(fileName), true);
}

// ---- Dialog seams ----

int TCustomSheetfoldForm::MessageBox(const std::string& text, UINT flags, const std::string& caption)
{
    HWND owner = HandleAllocated() ? GetHandle() : nullptr;
    return ::MessageBoxA(owner, text.c_str(), caption.c_str(), flags);
}

bool TCustomSheetfoldForm::ExecuteRasterizeDialog(int& resolution)
{
    std::unique_ptr<TRasterizeForm, TObjectFree> dialog(New<TRasterizeForm>(this));
    dialog->SetResolution(resolution);
    if (dialog->ShowModal() != mrOk)
        return false;
    resolution = dialog->GetResolution();
    return true;
}

// ---- Child controls ----

TLayerSelection* TCustomSheetfoldForm::GetSelectionList() const
{
    return FView ? FView->GetSelection() : nullptr;
}

TLayerElement* TCustomSheetfoldForm::GetFirstSelected() const
{
    TLayerSelection* selection = GetSelectionList();
    return selection ? selection->First() : nullptr;
}

TSheetfoldPage* TCustomSheetfoldForm::GetCurrentPage() const
{
    return HasPages() ? FProject->GetCurrentPage() : nullptr;
}

bool TCustomSheetfoldForm::HasPages() const
{
    return FProject && FProject->Count() > 0;
}

void TCustomSheetfoldForm::EnsurePage()
{
    if (HasPages())
        return;
    New<TSheetfoldPage>(FProject);
    FProject->SetCurrentPageIndex(0);
}

void TCustomSheetfoldForm::UpdateCaption()
{
    SetCaption(FileTitle(FProject->GetFileName()) + " - " + ProductName);
}

void TCustomSheetfoldForm::ShowPage(int index)
{
    if (TLayerSelection* selection = GetSelectionList())
        selection->Clear();
    FProject->SetCurrentPageIndex(index);
    if (FView && FView->HandleAllocated())
        FView->Invalidate();
    PagesChanged();
}

template <class T>
T* TCustomSheetfoldForm::SingleSelected() const
{
    TLayerSelection* selection = GetSelectionList();
    if (!selection || selection->Count() != 1)
        return nullptr;
    TLayerElement* element = selection->First();
    return Is<T>(element) ? static_cast<T*>(element) : nullptr;
}

void TCustomSheetfoldForm::FinishNewImage(TLayerImage* image, const std::string& name, bool atInsertPoint)
{
    image->SetName(name);
    image->SetClipEnabled(true);
    if (atInsertPoint) {
        POINT p = GetInsertPoint();
        image->SetBounds(p.x, p.y, image->GetWidth(), image->GetHeight());
    }
    TLayerText* caption = New<TLayerText>(image->GetOwner());
    caption->SetFont(FDefaultFont.get());
    caption->SetEnabled(false);
    caption->SetVisible(false);
    caption->SetAutoSize(true);
    caption->SetText(image->GetName());
    caption->SetAttachedTo(image);
    caption->SetFormat(0);
    caption->SetAlign(CaptionAlign);
    TLayerSelection* selection = GetSelectionList();
    selection->Clear();
    selection->Add(image);
}

// ---- Document operations ----

void TCustomSheetfoldForm::NewProject()
{
    if (!CanCloseProject())
        return;
    GetSelectionList()->Clear();
    FProject->Clear();
    New<TSheetfoldPage>(FProject);
    FProject->SetFileName(UntitledName);
    FProject->ClearModified();
    FProject->SetCurrentPageIndex(0);
    UpdateCaption();
    if (FView && FView->HandleAllocated())
        FView->Invalidate();
    PagesChanged();
}

void TCustomSheetfoldForm::OpenFile(const std::string& fileName)
{
    // Whatever becomes of the file, the window keeps a page to work on, and a project that was
    // to be replaced is shown anew (its selection is gone either way) before a failure is
    // reported. Showing it may raise as well, which is why the failure is held and raised after.
    bool replacing = false;
    std::exception_ptr failure;
    try {
        ReadFile(fileName, replacing);
    } catch (...) {
        failure = std::current_exception();
    }
    EnsurePage();
    if (replacing) {
        if (FView && FView->HandleAllocated())
            FView->Invalidate();
        PagesChanged();
    }
    if (failure)
        std::rethrow_exception(failure);
    UpdateCaption();
    if (replacing)
        ReportUnreadPictures();
}

std::string TCustomSheetfoldForm::UnreadPicturesText() const
{
    std::vector<std::string> lines;
    for (int p = 0; p < FProject->Count(); ++p) {
        TSheetfoldPage* page = FProject->GetPage(p);
        for (int i = 0; i < page->Count(); ++i) {
            auto* image = Is<TLayerImage>(page->GetItem(i)) ? static_cast<TLayerImage*>(page->GetItem(i)) : nullptr;
            if (!image || !image->IsSourceMissing())
                continue;
            const std::string& file = image->GetSourceFile();
            const std::string line = FileExists(file) ? ErrorMessageText(3, {file, static_cast<int>(image->GetLoadResult())})
                                                      : ErrorMessageText(1, {file});
            if (std::find(lines.begin(), lines.end(), line) == lines.end())
                lines.push_back(line);
        }
    }
    std::string text;
    for (const std::string& line : lines)
        text += (text.empty() ? "" : "\n") + line;
    return text;
}

void TCustomSheetfoldForm::ReportUnreadPictures()
{
    // One box for the whole project, each file named once: a missing folder of pictures must not
    // take a box per picture.
    FUnreadPictures = UnreadPicturesText();
    if (FUnreadPictures.empty())
        return;
    if (HandleAllocated() && IsWindowVisible(GetHandle())) {
        ShowErrorText(std::exchange(FUnreadPictures, std::string()));
        return;
    }
    // Opened from the command line while the window is being made: told once it is on the screen.
    PostMessageA(GetHandle(), WM_SF_REPORTPICTURES, 0, 0);
}

void TCustomSheetfoldForm::Dispatch(TMessage& message)
{
    if (message.Msg == WM_SF_REPORTPICTURES) {
        if (!FUnreadPictures.empty())
            ShowErrorText(std::exchange(FUnreadPictures, std::string()));
        message.Result = 0;
        return;
    }
    TForm::Dispatch(message);
}

void TCustomSheetfoldForm::ReadFile(const std::string& fileName, bool& replacing)
{
    {
        TFlagScope updating(FUpdating);
        if (IsProjectFile(fileName)) {
            if (!CanCloseProject())
                return;
            replacing = true;
            GetSelectionList()->Clear();
            // The project reads into a copy of its own and takes the pages only when the whole
            // file was read: a damaged file leaves the open project as it was.
            FProject->LoadFromFile(fileName);
            FProject->SetCurrentPageIndex(0);
            return;
        }
    }
    // The caller may have cleared the project for the file: the picture needs a page.
    EnsurePage();
    InsertImageFile(fileName);
    if (FImageHintCount > 0) {
        MessageBox(ConstText(21, "To add an image to the page use the Insert/Image item from the menu or "
                                 "the \"Insert image from file\" button from the toolbar."),
                   MB_ICONINFORMATION);
        --FImageHintCount;
    }
}

bool TCustomSheetfoldForm::Save()
{
    if (FProject->GetFileName() == UntitledName && !ExecuteSaveDialog())
        return false;
    SaveProject(FProject->GetFileName());
    return true;
}

void TCustomSheetfoldForm::SaveProject(const std::string& fileName)
{
    if (Application)
        Application->ProcessMessages();
    TBusyCursor busy;
    try {
        FProject->SaveToFile(fileName);
    } catch (const EAbort&) {
        throw;
    } catch (const Exception& e) {
        throw EWriteError("The project could not be saved as \"" + fileName + "\": " + e.GetMessage());
    }
    UpdateCaption();
}

TLayerText* TCustomSheetfoldForm::InsertText(const std::string& text)
{
    if (!HasPages())
        return nullptr;
    TLayerText* element = New<TLayerText>(GetCurrentPage());
    element->SetName("Text");
    element->SetFont(FDefaultFont.get());
    POINT p = GetInsertPoint();
    element->SetBounds(p.x, p.y, element->GetWidth(), element->GetHeight());
    element->SetText(text);
    TLayerSelection* selection = GetSelectionList();
    selection->Clear();
    selection->Add(element);
    return element;
}

TLayerEllipse* TCustomSheetfoldForm::InsertEllipse()
{
    if (!HasPages())
        return nullptr;
    TLayerEllipse* element = New<TLayerEllipse>(GetCurrentPage());
    element->SetName("Ellipse");
    element->GetPen()->SetStyle(TPenStyle::psClear);
    element->SetColor(FShapeColor);
    POINT p = GetInsertPoint();
    element->SetBounds(p.x, p.y, NewShapeWidth, NewShapeHeight);
    TLayerSelection* selection = GetSelectionList();
    selection->Clear();
    selection->Add(element);
    return element;
}

TLayerRect* TCustomSheetfoldForm::InsertRect()
{
    if (!HasPages())
        return nullptr;
    TLayerRect* element = New<TLayerRect>(GetCurrentPage());
    element->SetName("Rect");
    element->SetColor(FShapeColor);
    POINT p = GetInsertPoint();
    element->SetBounds(p.x, p.y, NewShapeWidth, NewShapeHeight);
    TLayerSelection* selection = GetSelectionList();
    selection->Clear();
    selection->Add(element);
    return element;
}

void TCustomSheetfoldForm::DeleteSelection()
{
    TLayerSelection* selection = GetSelectionList();
    // Freeing one element may take its captions out of the selection as well.
    while (!selection->IsEmpty()) {
        TLayerElement* element = selection->GetItem(selection->Count() - 1);
        selection->Remove(element);
        element->Free();
    }
    TSheetfoldPage* page = GetCurrentPage();
    if (page && page->Count() > 0 && page->GetItem(0)->GetEnabled())
        selection->Add(page->GetItem(0));
}

void TCustomSheetfoldForm::CopyToClipboard()
{
    TLayerSelection* selection = GetSelectionList();
    if (selection->IsEmpty())
        return;
    std::vector<TLayerElement*> elements;
    const TLayerText* lastText = nullptr;
    for (TLayerElement* element : selection->Snapshot()) {
        if (LayerElementTag(element).empty())
            continue;
        elements.push_back(element);
        if (Is<TLayerText>(element))
            lastText = static_cast<const TLayerText*>(element);
    }
    const std::string payload = WritePagePayload(elements);
    TOpenScope open(Clipboard());
    Clipboard()->Clear();
    Clipboard()->SetBuffer(CF_Sheetfold(), payload.data(), payload.size());
    if (lastText)
        Clipboard()->SetAsText(lastText->GetText());
}

void TCustomSheetfoldForm::Cut()
{
    CopyToClipboard();
    DeleteSelection();
}

void TCustomSheetfoldForm::PasteFromClipboard()
{
    if (!HasPages())
        return;
    std::string payload;
    {
        TOpenScope open(Clipboard());
        HANDLE data = Clipboard()->GetAsHandle(CF_Sheetfold());
        if (!data)
            return;
        const void* bytes = GlobalLock(data);
        if (!bytes)
            throw EReadError("The Sheetfold elements on the clipboard cannot be read");
        payload.assign(static_cast<const char*>(bytes), GlobalSize(data));
        GlobalUnlock(data);
    }
    try {
        ReadPagePayload(GetCurrentPage(), payload);
    } catch (const Exception& e) {
        throw EReadError("The Sheetfold elements on the clipboard are damaged or come from another program: " +
                         e.GetMessage());
    }
}

void TCustomSheetfoldForm::PasteText()
{
    InsertText(Clipboard()->GetAsText());
}

void TCustomSheetfoldForm::PasteBitmap()
{
    if (!HasPages())
        return;
    TOwned<TLayerImage> image(New<TLayerImage>(GetCurrentPage()));
    image->PasteFromClipboard();
    if (image->IsEmpty())
        throw EInvalidGraphic("The clipboard holds no picture that can be pasted");
    FinishNewImage(image.release(), "Image", true);
}

void TCustomSheetfoldForm::PasteMetafile()
{
    if (!HasPages())
        return;
    TOwned<TLayerImage> image(New<TLayerImage>(GetCurrentPage()));
    image->SetMetafileFromClipboard();
    if (image->IsEmpty())
        throw EInvalidGraphic("The clipboard holds no metafile that can be pasted");
    FinishNewImage(image.release(), "Image", true);
}

bool TCustomSheetfoldForm::CanPaste()
{
    return Clipboard()->HasFormat(CF_Sheetfold()) || Clipboard()->HasFormat(CF_TEXT) || IL_ClipboardReady();
}

void TCustomSheetfoldForm::AddPage()
{
    New<TSheetfoldPage>(FProject);
    FProject->SetModified();
    ShowPage(FProject->Count() - 1);
}

void TCustomSheetfoldForm::DeletePage()
{
    FProject->SetModified();
    if (FProject->Count() <= 1)
        return;
    const int index = FProject->GetCurrentPageIndex();
    TSheetfoldPage* page = FProject->GetPage(index);
    GetSelectionList()->Clear();
    page->Free();
    // The page before takes its place; after the first page the new first one does.
    ShowPage(index > 0 ? index - 1 : 0);
}

void TCustomSheetfoldForm::SetCurrentPage(int index)
{
    if (!HasPages())
        return;
    TSheetfoldPage* leaving = GetCurrentPage();
    if (TLayerElement* first = GetFirstSelected())
        leaving->SetSelectedIndex(first->GetZIndex());
    else if (leaving->Count() > 0)
        leaving->SetSelectedIndex(leaving->Count() - 1);
    ShowPage(std::clamp(index, 0, FProject->Count() - 1));
}

void TCustomSheetfoldForm::SetUnits(bool inches)
{
    FInches = inches;
    if (TLayerElement* first = GetFirstSelected())
        UpdateProperties(first);
}

POINT TCustomSheetfoldForm::GetInsertPoint()
{
    POINT p{InsertOffset, InsertOffset};
    if (FInsertPointValid) {
        p = FInsertPoint;
    } else if (TLayerElement* first = GetFirstSelected()) {
        RECT r = first->GetBounds();
        p = POINT{r.left + InsertOffset, r.top + InsertOffset};
    }
    FInsertPointValid = false;
    if (TSheetfoldPage* page = GetCurrentPage()) {
        RECT paper = page->GetPaperRect();
        if (p.x >= paper.right)
            p.x = 0;
        if (p.y >= paper.bottom)
            p.y = 0;
    }
    return p;
}

TLayerImage* TCustomSheetfoldForm::Rasterize()
{
    if (TLayerImage* image = SingleSelected<TLayerImage>()) {
        if (image->IsBitmap())
            return image;
        if (image->GetKind() != likMetafile)
            return nullptr;
        if (MessageBox(ConstText(18, "In order to carry out this operation, the vector image needs to be rasterized.  "
                                     "Rasterize now?"),
                       MB_YESNO | MB_ICONQUESTION, RasterizationCaption()) != IDYES)
            return nullptr;
        int resolution = image->GetResolution().x;
        if (!ExecuteRasterizeDialog(resolution))
            return nullptr;
        TBusyCursor busy;
        image->RasterizeMetafile(resolution);
        return image;
    }
    TLayerText* text = SingleSelected<TLayerText>();
    if (!text)
        return nullptr;
    if (MessageBox(ConstText(19, "In order to carry out this operation, the text needs to be rasterized.  Please note "
                                 "that you won't be able to edit it afterwards.  Rasterize now?"),
                   MB_YESNO | MB_ICONQUESTION, RasterizationCaption()) != IDYES)
        return nullptr;
    int resolution = 0;
    if (!ExecuteRasterizeDialog(resolution))
        return nullptr;
    TBusyCursor busy;
    TOwned<TLayerImage> owned(New<TLayerImage>(text->GetOwner()));
    owned->RasterizeText(text, resolution);
    GetSelectionList()->Remove(text);
    TLayerImage* image = owned.release();
    FinishNewImage(image, text->GetName(), false);
    text->Free();
    return image;
}

// ---- The selection's properties ----

bool TCustomSheetfoldForm::CommonAlign(uint16_t flags)
{
    TLayerSelection* selection = GetSelectionList();
    if (selection->IsEmpty())
        return false;
    const std::vector<TLayerElement*> elements = selection->Snapshot();
    return std::all_of(elements.begin(), elements.end(),
                       [flags](TLayerElement* e) { return (e->GetAlign() & flags) == flags; });
}

void TCustomSheetfoldForm::SetAlignFlags(uint16_t flags, bool on)
{
    for (TLayerElement* element : GetSelectionList()->Snapshot()) {
        TLayerAlignFlags align = element->GetAlign();
        element->SetAlign(on ? (align | flags) : (align & ~flags));
    }
}

bool TCustomSheetfoldForm::GetHorzCenter()
{
    return CommonAlign(laCenterHorz);
}

void TCustomSheetfoldForm::SetHorzCenter(bool value)
{
    SetAlignFlags(laCenterHorz, value);
}

bool TCustomSheetfoldForm::GetVertCenter()
{
    return CommonAlign(laCenterVert);
}

void TCustomSheetfoldForm::SetVertCenter(bool value)
{
    SetAlignFlags(laCenterVert, value);
}

bool TCustomSheetfoldForm::GetFitToPage()
{
    return CommonAlign(FitToPageFlags);
}

void TCustomSheetfoldForm::SetFitToPage(bool value)
{
    SetAlignFlags(FitToPageFlags, value);
}

std::string TCustomSheetfoldForm::CommonLengthText(int (*read)(const TLayerElement*))
{
    TLayerSelection* selection = GetSelectionList();
    if (selection->IsEmpty())
        return {};
    const int value = read(selection->GetItem(0));
    for (TLayerElement* element : selection->Snapshot())
        if (read(element) != value)
            return {};
    return FormatLength(value);
}

bool TCustomSheetfoldForm::ApplyLength(const std::string& text, bool positive, void (*apply)(TLayerElement*, int))
{
    int value = 0;
    if (!ParseLength(text, value) || (positive && value <= 0))
        return false;
    for (TLayerElement* element : GetSelectionList()->Snapshot())
        apply(element, value);
    return true;
}

std::string TCustomSheetfoldForm::GetLeftText()
{
    return CommonLengthText(ReadLeft);
}

void TCustomSheetfoldForm::SetLeftText(const std::string& value)
{
    ApplyLength(value, false, ApplyLeft);
}

std::string TCustomSheetfoldForm::GetTopText()
{
    return CommonLengthText(ReadTop);
}

void TCustomSheetfoldForm::SetTopText(const std::string& value)
{
    ApplyLength(value, false, ApplyTop);
}

std::string TCustomSheetfoldForm::GetWidthText()
{
    return CommonLengthText(ReadWidth);
}

void TCustomSheetfoldForm::SetWidthText(const std::string& value)
{
    ApplyLength(value, true, ApplyWidth);
}

std::string TCustomSheetfoldForm::GetHeightText()
{
    return CommonLengthText(ReadHeight);
}

void TCustomSheetfoldForm::SetHeightText(const std::string& value)
{
    ApplyLength(value, true, ApplyHeight);
}

std::string TCustomSheetfoldForm::GetSelectionName()
{
    TLayerSelection* selection = GetSelectionList();
    if (selection->IsEmpty())
        return {};
    const std::string& name = selection->GetItem(0)->GetName();
    for (TLayerElement* element : selection->Snapshot())
        if (element->GetName() != name)
            return {};
    return name;
}

void TCustomSheetfoldForm::SetSelectionName(const std::string& value)
{
    if (value.empty())
        return;
    for (TLayerElement* element : GetSelectionList()->Snapshot())
        element->SetName(value);
}

std::string TCustomSheetfoldForm::GetUnitSuffix() const
{
    return FInches ? "''" : ConstText(8, "mm.");
}

int TCustomSheetfoldForm::GetUpDownStep() const
{
    return FInches ? HundredthsMmPerInch / 10 : HundredthsMmPerMm;
}

std::string TCustomSheetfoldForm::FormatLength(int value) const
{
    return FloatToStrFixed(static_cast<double>(value) / (FInches ? HundredthsMmPerInch : HundredthsMmPerMm), 2);
}

bool TCustomSheetfoldForm::ParseLength(const std::string& text, int& value) const
{
    double number = 0;
    if (!TryStrToFloat(text, number) || !std::isfinite(number))
        return false;
    const double units = std::round(number * (FInches ? HundredthsMmPerInch : HundredthsMmPerMm));
    if (std::fabs(units) > LayerCoordinateLimit)
        return false;
    value = static_cast<int>(units);
    return true;
}

void TCustomSheetfoldForm::SetTransparency(int alpha)
{
    TLayerElement* first = GetFirstSelected();
    if (!first)
        return;
    first->SetAlpha(alpha);
    if (TLayerText* caption = CaptionText(SingleSelected<TLayerImage>()))
        caption->SetAlpha(alpha);
}

bool TCustomSheetfoldForm::GetCaptionVisible()
{
    TLayerText* caption = CaptionText(SingleSelected<TLayerImage>());
    return caption && caption->GetVisible();
}

void TCustomSheetfoldForm::SetCaptionVisible(bool value)
{
    if (TLayerText* caption = CaptionText(SingleSelected<TLayerImage>()))
        caption->SetVisible(value);
}

std::string TCustomSheetfoldForm::GetCaptionText()
{
    TLayerText* caption = CaptionText(SingleSelected<TLayerImage>());
    return caption ? caption->GetText() : std::string();
}

void TCustomSheetfoldForm::SetCaptionText(const std::string& value)
{
    if (TLayerText* caption = CaptionText(SingleSelected<TLayerImage>()))
        caption->SetText(value);
}

std::string TCustomSheetfoldForm::GetElementText()
{
    TLayerText* text = SingleSelected<TLayerText>();
    return text ? text->GetText() : std::string();
}

void TCustomSheetfoldForm::SetElementText(const std::string& value)
{
    if (TLayerText* text = SingleSelected<TLayerText>())
        text->SetText(value);
}

TFont* TCustomSheetfoldForm::GetElementFont()
{
    TLayerText* text = SelectedTextOrTitle();
    return text ? text->GetFont() : nullptr;
}

void TCustomSheetfoldForm::SetElementFont(TFont* font)
{
    if (TLayerText* text = SelectedTextOrTitle())
        text->SetFont(font);
}

TLayerText* TCustomSheetfoldForm::SelectedTextOrTitle() const
{
    if (TLayerText* text = SingleSelected<TLayerText>())
        return text;
    return CaptionText(SingleSelected<TLayerImage>());
}

TTextAlignment TCustomSheetfoldForm::GetTextAlignment()
{
    TLayerText* text = SelectedTextOrTitle();
    if (!text)
        return txLeft;
    if (text->GetFormat() & DT_CENTER)
        return txCenter;
    return (text->GetFormat() & DT_RIGHT) ? txRight : txLeft;
}

void TCustomSheetfoldForm::SetTextAlignment(TTextAlignment value)
{
    if (value < txLeft || value > txCenter)
        return;
    if (TLayerText* text = SingleSelected<TLayerText>()) {
        static constexpr uint16_t formats[] = {TextFormatLeft, TextFormatRight, TextFormatCenter};
        text->SetFormat(formats[value]);
        return;
    }
    // A title keeps the rest of its format: only where its lines sit changes.
    TLayerText* title = CaptionText(SingleSelected<TLayerImage>());
    if (!title)
        return;
    static constexpr uint16_t alignments[] = {0, DT_RIGHT, DT_CENTER};
    title->SetFormat(static_cast<uint16_t>((title->GetFormat() & ~(DT_RIGHT | DT_CENTER)) | alignments[value]));
}

TColor TCustomSheetfoldForm::GetElementColor()
{
    TLayerElement* first = GetFirstSelected();
    if (!first)
        return 0;
    if (Is<TLayerText>(first))
        return static_cast<TLayerText*>(first)->GetFont()->GetColor();
    if (Is<TLayerImage>(first)) {
        TLayerText* caption = CaptionText(static_cast<TLayerImage*>(first));
        return caption ? caption->GetFont()->GetColor() : 0;
    }
    return first->GetColor();
}

void TCustomSheetfoldForm::SetElementColor(TColor value)
{
    for (TLayerElement* element : GetSelectionList()->Snapshot()) {
        if (Is<TLayerText>(element))
            static_cast<TLayerText*>(element)->GetFont()->SetColor(value);
        else if (Is<TLayerImage>(element)) {
            if (TLayerText* caption = CaptionText(static_cast<TLayerImage*>(element)))
                caption->GetFont()->SetColor(value);
        } else
            element->SetColor(value);
    }
}

bool TCustomSheetfoldForm::GetKeepRatio()
{
    TLayerImage* image = SingleSelected<TLayerImage>();
    return image && image->GetKeepRatio();
}

void TCustomSheetfoldForm::SetKeepRatio(bool value)
{
    if (TLayerImage* image = SingleSelected<TLayerImage>())
        image->SetKeepRatio(value);
}

int TCustomSheetfoldForm::GetZIndex()
{
    TLayerElement* first = GetFirstSelected();
    return first ? first->GetZIndex() : -1;
}

void TCustomSheetfoldForm::SetZIndex(int value)
{
    if (TLayerElement* first = GetFirstSelected())
        first->SetZIndex(value);
}

bool TCustomSheetfoldForm::GetLandscape()
{
    TSheetfoldPage* page = GetCurrentPage();
    return page && page->GetLandscape();
}

void TCustomSheetfoldForm::SetLandscape(bool value)
{
    TSheetfoldPage* page = GetCurrentPage();
    if (!page)
        return;
    page->SetLandscape(value);
    PagesChanged();
}

bool TCustomSheetfoldForm::GetTestPrint()
{
    TSheetfoldPage* page = GetCurrentPage();
    return page && page->GetTestPrint();
}

void TCustomSheetfoldForm::SetTestPrint(bool value)
{
    if (TSheetfoldPage* page = GetCurrentPage())
        page->SetTestPrint(value);
}

POINT TCustomSheetfoldForm::GetImageResolution()
{
    TLayerImage* image = SingleSelected<TLayerImage>();
    if (!image || image->GetWidth() <= 0 || image->GetHeight() <= 0)
        return POINT{0, 0};
    const RECT& clip = image->GetClipRect();
    return POINT{MulDiv(clip.right - clip.left, HundredthsMmPerInch, image->GetWidth()),
                 MulDiv(clip.bottom - clip.top, HundredthsMmPerInch, image->GetHeight())};
}

POINT TCustomSheetfoldForm::GetSourceResolution()
{
    TLayerImage* image = SingleSelected<TLayerImage>();
    return image ? image->GetResolution() : POINT{0, 0};
}

bool TCustomSheetfoldForm::CanSaveImage()
{
    TLayerImage* image = SingleSelected<TLayerImage>();
    return image && image->IsBitmap();
}

void TCustomSheetfoldForm::Rotate180()
{
    if (TLayerImage* image = Rasterize()) {
        TBusyCursor busy;
        image->Rotate180();
    }
}

void TCustomSheetfoldForm::RotateLeft()
{
    if (TLayerImage* image = Rasterize()) {
        TBusyCursor busy;
        image->RotateLeft();
    }
}

void TCustomSheetfoldForm::RotateRight()
{
    if (TLayerImage* image = Rasterize()) {
        TBusyCursor busy;
        image->RotateRight();
    }
}

std::string TCustomSheetfoldForm::ReadSettingString(const std::string& name, const std::string& defaultValue) const
{
    return XRegistry::ReadString(name, defaultValue);
}

bool TCustomSheetfoldForm::WriteSettingString(const std::string& name, const std::string& value) const
{
    return XRegistry::WriteString(name, value);
}

int32_t TCustomSheetfoldForm::ReadSettingInteger(const std::string& name, int32_t defaultValue) const
{
    return XRegistry::ReadInteger(name, defaultValue);
}

bool TCustomSheetfoldForm::WriteSettingInteger(const std::string& name, int32_t value) const
{
    return XRegistry::WriteInteger(name, value);
}

std::string TCustomSheetfoldForm::ReadSettingBinary(const std::string& name, const std::string& defaultValue) const
{
    return XRegistry::ReadBinary(name, defaultValue);
}

bool TCustomSheetfoldForm::WriteSettingBinary(const std::string& name, const std::string& value) const
{
    return XRegistry::WriteBinary(name, value);
}
