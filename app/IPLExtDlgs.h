// Picture file dialogs: the open and save dialogs with a preview of the highlighted picture
// beside the file list, from the imaging library's thumbnail or, for Windows metafiles, from the
// metafile itself.
#pragma once

#include <windows.h>

#include <string>

#include "graphics/IPLTypes.h"
#include "platform/ComObj.h"
#include "platform/Dialogs.h"
#include "platform/ExtCtrls.h"
#include "platform/Forms.h"
#include "platform/StdCtrls.h"

// The label of a name that is no picture, and of an empty preview.
extern const char* const SPictureNone;
// The label of a picture: its width and height.
std::string PictureDescription(int width, int height);

enum class TPreviewSource { None, Thumbnail, Metafile };
// Where the preview of the highlighted name comes from: nothing for a name that is not an
// existing file (a folder, a vanished file), the metafile class for ".wmf" (the imaging library
// reads no metafiles), the imaging library's thumbnail for everything else.
TPreviewSource ChoosePreviewSource(const std::string& fileName);

// Where a preview bitmap of the size is drawn in the paint box's client rectangle: at its own
// size and centred when it fits, else shrunk along its longer side from the top-left corner.
RECT PreviewDrawRect(const RECT& box, int width, int height);
// The largest rectangle of the picture's proportions inside the bounds, centred.
RECT FitAspectCentred(const RECT& bounds, int width, int height);
// The picture panel's place in the dialog: right of the template's static area (where the
// system put its own controls), 4 pixels lower, to the client area's right and bottom edges.
RECT PicturePanelRect(const RECT& dialogClient, const RECT& staticArea);

// Draws the preview of a file into the bitmap (keeping its size): the thumbnail on the
// background colour, or the metafile fitted and centred on it, or just the background when the
// file cannot be read. The information record gets the picture's size (zero when nothing was
// read). Returns whether a picture was drawn.
bool RenderPreview(IILBitmap* bitmap, const std::string& fileName, TPreviewSource source, COLORREF background,
                   TILFileInfo& info);

// The open dialog for pictures. While it is shown, a panel right of the file list shows the
// highlighted picture with its size; the preview button and a double click on the picture show
// it larger in a window of its own, which Esc closes.
class TIplOpenPictureDialog : public TOpenDialog {
    SF_CLASS(TIplOpenPictureDialog)
public:
    explicit TIplOpenPictureDialog(TComponent* owner = nullptr);
    ~TIplOpenPictureDialog() override;

    bool Execute(HWND owner = nullptr) override;

    // The preview as painted: empty (width 0) when the highlighted name is no picture.
    IILBitmap* GetPreviewBitmap() const { return FPreviewBitmap.Get(); }
    TPreviewSource GetPreviewSource() const { return FPreviewSource; }
    TPanel* GetPicturePanel() const { return FPicturePanel; }
    TLabel* GetPictureLabel() const { return FPictureLabel; }
    TSpeedButton* GetPreviewButton() const { return FPreviewButton; }
    TPanel* GetPaintPanel() const { return FPaintPanel; }
    TPaintBox* GetPaintBox() const { return FPaintBox; }
    // The larger preview window while it is shown, else nullptr.
    TForm* GetPreviewForm() const { return FPreviewForm; }

protected:
    void DoShow() override;
    void DoClose() override;
    void DoSelectionChange() override;
    // Runs the system's dialog with the preview template (none for the old-style dialog).
    bool RunDialog(HWND owner, bool save);

private:
    void PaintBoxPaint(TObject* sender);
    void PreviewClick(TObject* sender);
    void ClearPreview();

    TComPtr<IILBitmap> FPreviewBitmap;
    TPreviewSource FPreviewSource = TPreviewSource::None;
    TPanel* FPicturePanel = nullptr;
    TLabel* FPictureLabel = nullptr;
    TSpeedButton* FPreviewButton = nullptr;
    TPanel* FPaintPanel = nullptr;
    TPaintBox* FPaintBox = nullptr;
    TForm* FPreviewForm = nullptr;
};

// The save dialog for pictures, with the same preview.
class TIplSavePictureDialog : public TIplOpenPictureDialog {
    SF_CLASS(TIplSavePictureDialog)
public:
    using TIplOpenPictureDialog::TIplOpenPictureDialog;
    bool Execute(HWND owner = nullptr) override;
};
