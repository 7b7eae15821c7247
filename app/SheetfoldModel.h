// The base class of the main window: it owns the project, the page view, the print helper and the
// default text font, offers the document operations the menus call, and declares the hooks
// through which the document model reports to the user interface.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>

#include "document/PrintHelper.h"
#include "document/SheetfoldHooks.h"
#include "platform/Forms.h"
#include "platform/SysUtils.h"

class TLayerElement;
class TLayerEllipse;
class TLayerImage;
class TLayerRect;
class TLayerSelection;
class TLayerText;
class TScrollingLayer;
class TSheetfoldPage;
class TSheetfoldProject;
class TSheetfoldView;

// The private clipboard format "CF_Sheetfold", registered on first use.
UINT CF_Sheetfold();

// The numbered error box: the format string of that number from the language file's
// [ErrorMessages] section ("Unexpected Error" when it has none), checked against the arguments;
// owned by the foreground window, caption "Sheetfold", error icon. Returns the button pressed.
int ShowErrorMessage(int number, std::initializer_list<TFormatArg> args = {});
// What ShowErrorMessage hands its formatted text to instead of the message box (tests answer
// the box this way); returns the button. An empty handler brings the message box back.
using TErrorMessageHandler = std::function<int(const std::string& text)>;
// Returns the handler it replaces.
TErrorMessageHandler SetErrorMessageHandler(TErrorMessageHandler handler);
// The file name without folder and extension.
std::string FileTitle(const std::string& path);
// A copy with left <= right and top <= bottom.
RECT NormalizeRect(const RECT& r);

// Where the lines of a text or of an image's title sit; the values are stored in projects.
enum TTextAlignment : int { txLeft = 0, txRight = 1, txCenter = 2 };

class TCustomSheetfoldForm : public TForm, public TSheetfoldFormHooks {
    SF_CLASS(TCustomSheetfoldForm)
public:
    explicit TCustomSheetfoldForm(TComponent* owner = nullptr);
    ~TCustomSheetfoldForm() override;

    // ---- Hooks ----
    // Abstract: the main window fills them; here they raise EAbstractError.
    bool ExecuteSaveDialog() override;
    void BeginProgress(int maximum, const std::string& caption, bool canAbort) override;
    void SetProgress(int position) override;
    void EndProgress() override;
    bool ProgressAborted() override;
    // True without asking when nothing would be lost; otherwise asks whether to save.
    bool CanCloseProject() override;
    // Asks the page view to recompute its scroll range.
    void PagesChanged() override;
    // Remembers the selection.
    void SelectionItemChanged(TObject* selection) override;
    void UpdateProperties(TObject* item) override;
    void ViewResized() override;
    void ShowContextMenu(int x, int y) override;
    void ViewKeyDown(WORD key, TShiftState shift) override;
    // Remembers the point and marks it valid.
    void SetInsertPoint(const POINT& p) override;
    // Loads the file as an image on the current page at the insert point, with a hidden caption,
    // and selects it. A file that cannot be read shows a numbered error and raises; nothing is
    // left on the page.
    void InsertImageFile(const std::string& fileName) override;
    TPrintHelper* GetPrintHelper() const override { return FPrintHelper.get(); }

    // ---- Dialog seams: the program shows its boxes; tests answer them ----
    // The platform message box owned by this window, caption "Sheetfold" unless given another.
    virtual int MessageBox(const std::string& text, UINT flags, const std::string& caption = "Sheetfold");
    // The rasterize dialog preset with the resolution; true with the chosen one on OK.
    virtual bool ExecuteRasterizeDialog(int& resolution);

    // ---- Document operations ----
    // When the project may close: an "Untitled" project with one empty page, not modified.
    void NewProject();
    // A project file replaces the project (when it may close); any other file is inserted as an
    // image. A failure leaves the previous project, its file name and at least one page, and is
    // raised again.
    void OpenFile(const std::string& fileName);
    // Asks for a name while the project is "Untitled"; true when saved.
    bool Save();
    // Writes the project; the target is replaced only when the new file is complete.
    void SaveProject(const std::string& fileName);
    TLayerText* InsertText(const std::string& text);
    TLayerEllipse* InsertEllipse();
    TLayerRect* InsertRect();
    void DeleteSelection();
    // The selection as the private format (and text, for a text element); nothing when empty.
    void CopyToClipboard();
    void Cut();
    // The private format into the current page; a damaged block raises and adds nothing.
    void PasteFromClipboard();
    void PasteText();
    void PasteBitmap();
    void PasteMetafile();
    bool CanPaste();
    void AddPage();
    // Never deletes the last page; the project is marked modified either way.
    void DeletePage();
    void SetCurrentPage(int index);
    bool GetUnits() const { return FInches; }
    // False: millimetres; true: inches.
    void SetUnits(bool inches);
    // The place of the next insertion; used once, then invalid.
    POINT GetInsertPoint();
    // The single selected image, rasterized first when it or the selected text must be; none
    // when the user declines or the selection is anything else.
    TLayerImage* Rasterize();

    // ---- The selection's properties (common value, or "" / false when mixed or empty) ----
    bool GetHorzCenter();
    void SetHorzCenter(bool value);
    bool GetVertCenter();
    void SetVertCenter(bool value);
    bool GetFitToPage();
    void SetFitToPage(bool value);
    // In the current unit with two decimals; a text that is not a plausible number is ignored.
    std::string GetLeftText();
    void SetLeftText(const std::string& value);
    std::string GetTopText();
    void SetTopText(const std::string& value);
    std::string GetWidthText();
    void SetWidthText(const std::string& value);
    std::string GetHeightText();
    void SetHeightText(const std::string& value);
    std::string GetSelectionName();
    void SetSelectionName(const std::string& value);
    // "''" in inches, the language's "mm." in millimetres.
    std::string GetUnitSuffix() const;
    // 254 in inches, 100 in millimetres.
    int GetUpDownStep() const;
    // Formats a length (0.01 mm) in the current unit with two decimals.
    std::string FormatLength(int value) const;
    // Parses a length in the current unit into 0.01 mm; false when it is not a plausible number.
    bool ParseLength(const std::string& text, int& value) const;
    void SetTransparency(int alpha);
    bool GetCaptionVisible();
    void SetCaptionVisible(bool value);
    std::string GetCaptionText();
    void SetCaptionText(const std::string& value);
    std::string GetElementText();
    void SetElementText(const std::string& value);
    // The selected text's font, or the selected image's caption font; nullptr otherwise.
    TFont* GetElementFont();
    void SetElementFont(TFont* font);
    // Of the selected text or the selected image's title.
    TTextAlignment GetTextAlignment();
    void SetTextAlignment(TTextAlignment value);
    TColor GetElementColor();
    void SetElementColor(TColor value);
    bool GetKeepRatio();
    void SetKeepRatio(bool value);
    int GetZIndex();
    void SetZIndex(int value);
    bool GetLandscape();
    void SetLandscape(bool value);
    bool GetTestPrint();
    void SetTestPrint(bool value);
    // Pixels per inch of the single selected image at its current size.
    POINT GetImageResolution();
    // The single selected image's own resolution.
    POINT GetSourceResolution();
    bool CanSaveImage();
    void Rotate180();
    void RotateLeft();
    void RotateRight();

    // ---- Settings: values of the program's registry key ----
    std::string ReadSettingString(const std::string& name, const std::string& defaultValue) const;
    bool WriteSettingString(const std::string& name, const std::string& value) const;
    int32_t ReadSettingInteger(const std::string& name, int32_t defaultValue) const;
    bool WriteSettingInteger(const std::string& name, int32_t value) const;
    std::string ReadSettingBinary(const std::string& name, const std::string& defaultValue) const;
    bool WriteSettingBinary(const std::string& name, const std::string& value) const;

    // ---- Child controls ----
    // The project belongs to the view, which frees it with itself.
    TSheetfoldProject* GetProject() const { return FProject; }
    TSheetfoldView* GetView() const { return FView; }
    // The view's selection list.
    TLayerSelection* GetSelectionList() const;
    // The first selected element, or nullptr.
    TLayerElement* GetFirstSelected() const;
    TSheetfoldPage* GetCurrentPage() const;
    TFont* GetDefaultFont() const { return FDefaultFont.get(); }
    TObject* GetSelection() const { return FSelection; }
    // Set while a file is being opened.
    bool GetUpdating() const { return FUpdating; }
    bool GetInsertPointValid() const { return FInsertPointValid; }
    int GetImageHintCount() const { return FImageHintCount; }
    void SetImageHintCount(int value) { FImageHintCount = value; }
    TColor GetShapeColor() const { return FShapeColor; }
    void SetShapeColor(TColor value) { FShapeColor = value; }

protected:
    // Shows the report of unread pictures that an open posted before the window was shown.
    void Dispatch(TMessage& message) override;
    // Forgets the view (and with it the project) when the view goes first.
    void Notification(TComponent* component, TOperation operation) override;
    // Replaces the print helper (a test printer, for example).
    void SetPrintHelper(std::unique_ptr<TPrintHelper, TObjectFree> helper) { FPrintHelper = std::move(helper); }
    void SetUpdating(bool value) { FUpdating = value; }

private:
    bool HasPages() const;
    // A project file into the project (replacing is set once it is to be replaced), any other file
    // as a picture.
    void ReadFile(const std::string& fileName, bool& replacing);
    // The linked pictures of the project that could not be read, one line per file: "not found"
    // for a missing file, the loading error for one that is there; empty when all were read.
    std::string UnreadPicturesText() const;
    // Tells the user of them in one message box, at once or, while the window is not shown yet,
    // as soon as it is.
    void ReportUnreadPictures();
    // An empty first page for a project that has none.
    void EnsurePage();
    void UpdateCaption();
    // Makes the page current with the selection cleared, repaints and reports the change.
    void ShowPage(int index);
    // Name, clip and caption of a new image element, then the image alone selected.
    void FinishNewImage(TLayerImage* image, const std::string& name, bool atInsertPoint);
    // The one selected element when it is a T, else nullptr.
    template <class T>
    T* SingleSelected() const;
    // The one selected text, or the title of the one selected image; nullptr otherwise.
    TLayerText* SelectedTextOrTitle() const;
    // Applies a length parsed from text to every selected element; false when refused.
    bool ApplyLength(const std::string& text, bool positive, void (*apply)(TLayerElement*, int));
    std::string CommonLengthText(int (*read)(const TLayerElement*));
    bool CommonAlign(uint16_t flags);
    void SetAlignFlags(uint16_t flags, bool on);

    std::unique_ptr<TPrintHelper, TObjectFree> FPrintHelper;
    TSheetfoldProject* FProject = nullptr;
    TSheetfoldView* FView = nullptr;
    bool FInches = false;
    TObject* FSelection = nullptr;
    std::unique_ptr<TFont, TObjectFree> FDefaultFont;
    bool FUpdating = false;
    POINT FInsertPoint{};
    bool FInsertPointValid = false;
    TColor FShapeColor = 0;
    int FImageHintCount = 3;
    std::string FUnreadPictures;
};
