#include "app/IPLExtDlgs.h"

#include <dlgs.h>

#include <algorithm>
#include <memory>

#include "graphics/ILBitmap.h"
#include "graphics/ILBitmapUtils.h"
#include "platform/Graphics.h"
#include "platform/ScopeGuards.h"
#include "platform/SysUtils.h"

const char* const SPictureNone = "(None)";

std::string PictureDescription(int width, int height)
{
    return Format(" (%dx%d)", width, height);
}

TPreviewSource ChoosePreviewSource(const std::string& fileName)
{
    if (fileName.empty())
        return TPreviewSource::None;
    DWORD attributes = GetFileAttributesA(fileName.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return TPreviewSource::None;
    if (UpperCase(ExtractFileExt(fileName)) == ".WMF")
        return TPreviewSource::Metafile;
    return TPreviewSource::Thumbnail;
}

RECT PreviewDrawRect(const RECT& box, int width, int height)
{
    int boxWidth = box.right - box.left;
    int boxHeight = box.bottom - box.top;
    if (width <= boxWidth && height <= boxHeight) {
        int left = box.left + (boxWidth - width) / 2;
        int top = box.top + (boxHeight - height) / 2;
        return RECT{left, top, left + width, top + height};
    }
    if (width > height)
        return RECT{box.left, box.top, box.left + boxWidth, box.top + MulDiv(height, boxWidth, width)};
    return RECT{box.left, box.top, box.left + MulDiv(width, boxHeight, height), box.top + boxHeight};
}

RECT FitAspectCentred(const RECT& bounds, int width, int height)
{
    int boundsWidth = bounds.right - bounds.left;
    int boundsHeight = bounds.bottom - bounds.top;
    if (width < 1 || height < 1)
        return bounds;
    int fitWidth = boundsWidth;
    int fitHeight = MulDiv(height, boundsWidth, width);
    if (fitHeight > boundsHeight) {
        fitHeight = boundsHeight;
        fitWidth = MulDiv(width, boundsHeight, height);
    }
    int left = bounds.left + (boundsWidth - fitWidth) / 2;
    int top = bounds.top + (boundsHeight - fitHeight) / 2;
    return RECT{left, top, left + fitWidth, top + fitHeight};
}

RECT PicturePanelRect(const RECT& dialogClient, const RECT& staticArea)
{
    return RECT{staticArea.right, dialogClient.top + 4, dialogClient.right, dialogClient.bottom};
}

namespace {

void FillDC(HDC dc, const RECT& r, COLORREF colour)
{
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &r, brush);
    DeleteObject(brush);
}

void FillBitmap(IILBitmap* bitmap, COLORREF colour)
{
    LONG width = 0, height = 0;
    OleCheck(bitmap->GetSize(&width, &height));
    HDC dc = nullptr;
    OleCheck(bitmap->GetHandle(&dc));
    FillDC(dc, RECT{0, 0, width, height}, colour);
    GdiFlush();
    IL_BitmapChanged(GetILBitmap(bitmap));
}

COLORREF PreviewBackground()
{
    return static_cast<COLORREF>(ColorToRGB(clWindow));
}

// Draws the metafile file fitted and centred into the bitmap; false when it cannot be read.
bool DrawMetafile(IILBitmap* bitmap, const std::string& fileName, TILFileInfo& info)
{
    std::unique_ptr<TMetafile, TObjectFree> metafile(New<TMetafile>());
    try {
        metafile->LoadFromFile(fileName);
    } catch (const Exception&) {
        return false;
    }
    info.Width = metafile->GetWidth();
    info.Height = metafile->GetHeight();
    LONG width = 0, height = 0;
    OleCheck(bitmap->GetSize(&width, &height));
    HDC dc = nullptr;
    OleCheck(bitmap->GetHandle(&dc));
    std::unique_ptr<TCanvas, TObjectFree> canvas(New<TCanvas>());
    canvas->SetHandle(dc);
    canvas->StretchDraw(FitAspectCentred(RECT{0, 0, width, height}, info.Width, info.Height), metafile.get());
    canvas->SetHandle(nullptr);
    GdiFlush();
    IL_BitmapChanged(GetILBitmap(bitmap));
    return true;
}

}  // namespace

bool RenderPreview(IILBitmap* bitmap, const std::string& fileName, TPreviewSource source, COLORREF background,
                   TILFileInfo& info)
{
    info = TILFileInfo{};
    if (source == TPreviewSource::None) {
        FillBitmap(bitmap, background);
        return false;
    }
    if (source == TPreviewSource::Metafile) {
        // The imaging library reads no metafiles: the metafile class draws it onto the background.
        FillBitmap(bitmap, background);
        return DrawMetafile(bitmap, fileName, info);
    }
    if (LoadThumbnail(bitmap, fileName, background, &info) == IL_SUCCESS)
        return true;
    FillBitmap(bitmap, background);
    return false;
}

// TIplOpenPictureDialog

SF_IMPLEMENT_COMPONENT(TIplOpenPictureDialog, TOpenDialog)
SF_IMPLEMENT_COMPONENT(TIplSavePictureDialog, TIplOpenPictureDialog)

TIplOpenPictureDialog::TIplOpenPictureDialog(TComponent* owner)
    : TOpenDialog(owner), FPreviewBitmap(CreateComObject<IILBitmap>(TILBitmap::StaticClass()))
{
    SetFilter(GraphicFilter(TGraphic::StaticClass()));

    FPicturePanel = New<TPanel>(this);
    FPicturePanel->SetName("PicturePanel");
    FPicturePanel->SetBounds(204, 5, 169, 200);
    FPicturePanel->SetBevelOuter(bvNone);
    FPicturePanel->SetBorderWidth(6);
    FPicturePanel->SetCaption("");

    FPictureLabel = New<TLabel>(this);
    FPictureLabel->SetName("PictureLabel");
    FPictureLabel->SetBounds(6, 6, 157, 23);
    FPictureLabel->SetAlign(alTop);
    FPictureLabel->SetAutoSize(false);
    FPictureLabel->SetCaption("");
    FPictureLabel->SetParent(FPicturePanel);

    FPreviewButton = New<TSpeedButton>(this);
    FPreviewButton->SetName("PreviewButton");
    FPreviewButton->SetBounds(77, 1, 23, 22);
    if (HBITMAP glyph = LoadBitmapA(GetModuleHandleA(nullptr), "PREVIEWGLYPH"))
        FPreviewButton->GetGlyph()->SetHandle(glyph);
    FPreviewButton->SetEnabled(false);
    FPreviewButton->OnClick = TNotifyEvent(this, &TIplOpenPictureDialog::PreviewClick);
    FPreviewButton->SetParent(FPicturePanel);

    FPaintPanel = New<TPanel>(this);
    FPaintPanel->SetName("PaintPanel");
    FPaintPanel->SetBounds(6, 29, 157, 145);
    FPaintPanel->SetAlign(alClient);
    FPaintPanel->SetBevelInner(bvRaised);
    FPaintPanel->SetBevelOuter(bvLowered);
    FPaintPanel->SetCaption("");
    FPaintPanel->SetParent(FPicturePanel);

    FPaintBox = New<TPaintBox>(this);
    FPaintBox->SetName("PaintBox");
    FPaintBox->SetBounds(0, 0, 153, 141);
    FPaintBox->SetAlign(alClient);
    FPaintBox->OnPaint = TNotifyEvent(this, &TIplOpenPictureDialog::PaintBoxPaint);
    FPaintBox->OnDblClick = TNotifyEvent(this, &TIplOpenPictureDialog::PreviewClick);
    FPaintBox->SetParent(FPaintPanel);
}

TIplOpenPictureDialog::~TIplOpenPictureDialog() = default;

bool TIplOpenPictureDialog::RunDialog(HWND owner, bool save)
{
    if (GetOptions() & ofOldStyleDialog)
        SetTemplate(nullptr, "");
    else
        SetTemplate(GetModuleHandleA(nullptr), "DLGTEMPLATE");
    return DoExecute(owner, save);
}

bool TIplOpenPictureDialog::Execute(HWND owner)
{
    return RunDialog(owner, false);
}

bool TIplSavePictureDialog::Execute(HWND owner)
{
    return RunDialog(owner, true);
}

void TIplOpenPictureDialog::DoShow()
{
    HWND dialog = GetHandle();
    RECT client{};
    GetClientRect(dialog, &client);
    RECT staticArea{};
    if (HWND area = GetDlgItem(GetTemplateWindow(), stc32)) {
        GetWindowRect(area, &staticArea);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&staticArea), 2);
    }
    FPicturePanel->SetParentWindow(dialog);
    FPicturePanel->SetBoundsRect(PicturePanelRect(client, staticArea));
    OleCheck(FPreviewBitmap->SetFormat(std::max(FPaintPanel->GetWidth() - 4, 1), std::max(FPaintPanel->GetHeight() - 4, 1),
                                       24, 0));
    FillBitmap(FPreviewBitmap.Get(), PreviewBackground());
    TOpenDialog::DoShow();
}

void TIplOpenPictureDialog::DoClose()
{
    TOpenDialog::DoClose();
    FPicturePanel->SetParentWindow(nullptr);
    if (Application)
        Application->CancelHint();
}

void TIplOpenPictureDialog::ClearPreview()
{
    FPreviewBitmap->Clear();
}

void TIplOpenPictureDialog::DoSelectionChange()
{
    std::string fileName = GetFileName();
    FPreviewSource = ChoosePreviewSource(fileName);
    if (FPreviewSource == TPreviewSource::None) {
        // What was shown before belongs to another name.
        ClearPreview();
        FPictureLabel->SetCaption(SPictureNone);
        FPreviewButton->SetEnabled(false);
    } else {
        RECT box = FPaintBox->GetClientRect();
        OleCheck(FPreviewBitmap->SetFormat(std::max<LONG>(box.right - box.left, 1), std::max<LONG>(box.bottom - box.top, 1),
                                           24, 0));
        TILFileInfo info{};
        RenderPreview(FPreviewBitmap.Get(), fileName, FPreviewSource, PreviewBackground(), info);
        FPictureLabel->SetCaption(PictureDescription(info.Width, info.Height));
        FPreviewButton->SetEnabled(true);
    }
    FPaintBox->Invalidate();
    TOpenDialog::DoSelectionChange();
}

void TIplOpenPictureDialog::PaintBoxPaint(TObject*)
{
    TCanvas* canvas = FPaintBox->GetCanvas();
    RECT box = FPaintBox->GetClientRect();
    LONG width = 0, height = 0;
    FPreviewBitmap->GetSize(&width, &height);
    if (width < 1) {
        canvas->GetBrush()->SetStyle(TBrushStyle::bsClear);
        SIZE text = canvas->TextExtent(SPictureNone);
        canvas->TextOut(box.left + (box.right - box.left - text.cx) / 2, box.top, SPictureNone);
        return;
    }
    DrawBitmap(canvas->GetHandle(), PreviewDrawRect(box, width, height), FPreviewBitmap.Get());
}

void TIplOpenPictureDialog::PreviewClick(TObject*)
{
    std::string fileName = GetFileName();
    TPreviewSource source = ChoosePreviewSource(fileName);
    if (source == TPreviewSource::None || FPreviewForm)
        return;
    // As large as the picture, within a good part of the screen, in its own proportions.
    TILFileInfo info{};
    if (source == TPreviewSource::Thumbnail)
        IL_FileInfo(fileName.c_str(), &info, sizeof(info), 0);
    RECT work = Screen ? Screen->GetWorkAreaRect() : RECT{0, 0, 800, 600};
    RECT limit{0, 0, (work.right - work.left) * 3 / 4, (work.bottom - work.top) * 3 / 4};
    RECT size = info.Width > 0 && info.Height > 0 && info.Width <= limit.right && info.Height <= limit.bottom
                    ? RECT{0, 0, info.Width, info.Height}
                    : FitAspectCentred(RECT{0, 0, 480, 360}, info.Width, info.Height);

    TComPtr<IILBitmap> picture = CreateComObject<IILBitmap>(TILBitmap::StaticClass());
    OleCheck(picture->SetFormat(std::max<LONG>(size.right - size.left, 1), std::max<LONG>(size.bottom - size.top, 1), 24, 0));
    TILFileInfo shown{};
    RenderPreview(picture.Get(), fileName, source, PreviewBackground(), shown);

    std::unique_ptr<TForm, TObjectFree> form(New<TForm>(nullptr));
    form->SetBorderStyle(bsDialog);
    form->SetPosition(poScreenCenter);
    form->SetCaption(ExtractFileName(fileName));
    form->SetClientWidth(size.right - size.left);
    form->SetClientHeight(size.bottom - size.top);
    form->SetKeyPreview(true);
    TForm* window = form.get();
    form->OnKeyDown = TKeyEvent([window](TObject*, WORD& key, TShiftState) {
        if (key == VK_ESCAPE) {
            key = 0;
            window->Close();
        }
    });
    TPaintBox* box = New<TPaintBox>(form.get());
    box->SetAlign(alClient);
    box->SetParent(form.get());
    box->OnPaint = TNotifyEvent([box, picture](TObject*) {
        DrawBitmap(box->GetCanvas()->GetHandle(), box->GetClientRect(), picture.Get());
    });
    TValueScope<TForm*> previewing(FPreviewForm, window);
    form->ShowModal();
}
