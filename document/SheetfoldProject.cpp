#include "document/SheetfoldProject.h"

#include <algorithm>
#include <climits>
#include <utility>

#include "document/LayerImage.h"
#include "graphics/Gfx32.h"
#include "graphics/SfTypes.h"
#include "platform/Exceptions.h"
#include "platform/ScopeGuards.h"
#include "platform/SysUtils.h"

SF_IMPLEMENT_ABSTRACT(TSheetfoldPage, TLayerComposition)
SF_IMPLEMENT_CLASS(TSheetfoldProject, TLayerComposer)

std::string SheetfoldLoadingCaption = "Loading...";

namespace {

constexpr TColor TestPrintColor = 0x808080;
constexpr int TestPrintAlpha = 128;
constexpr TColor MarginFrameColor = 0xC0C0C0;
constexpr int MarginFrameAlpha = 192;

bool ValidCoordinate(int v)
{
    return v >= -LayerCoordinateLimit && v <= LayerCoordinateLimit;
}

bool ValidRect(const RECT& r)
{
    return ValidCoordinate(r.left) && ValidCoordinate(r.top) && ValidCoordinate(r.right) &&
           ValidCoordinate(r.bottom);
}

void CheckPaper(const TPaper& p)
{
    bool sizeOk = p.Width > 0 && p.Height > 0 && p.Width <= LayerCoordinateLimit && p.Height <= LayerCoordinateLimit;
    bool marginsOk = p.LeftMargin >= 0 && p.TopMargin >= 0 && p.RightMargin >= 0 && p.BottomMargin >= 0 &&
                     p.LeftMargin <= p.Width - p.RightMargin && p.TopMargin <= p.Height - p.BottomMargin;
    if (!sizeOk)
        throw EReadError("The page's paper size is invalid");
    if (!marginsOk)
        throw EReadError("The page's printable area lies outside its paper");
}

using TProjectPtr = std::unique_ptr<TSheetfoldProject, TObjectFree>;

} // namespace

// TSheetfoldPage

struct TSheetfoldPage::TPaperState {
    std::unique_ptr<TPaper, TObjectFree> Paper{New<TPaper>()};
    std::vector<RECT> TestPrintRects;
};

TSheetfoldPage::TSheetfoldPage(TLayerComposer* owner) : TLayerComposition(owner), FPaper(New<TPaper>()), FCreationOwner(owner)
{
}

void TSheetfoldPage::AfterConstruction()
{
    // The owner is joined only by the inherited step, which already needs the paper's bounds.
    if (auto* project = dynamic_cast<TSheetfoldProject*>(FCreationOwner)) {
        TSheetfoldFormHooks* form = project->GetForm();
        if (TPrintHelper* helper = form ? form->GetPrintHelper() : nullptr)
            FPaper->Assign(helper->GetPrinterPaper());
    }
    FPaperElement.reset(New<TLayerRect>(nullptr));
    FPaperElement->SetColor(FPageColor);
    FPaperElement->SetAlpha(255);
    FTestPrintElement.reset(New<TLayerRect>(nullptr));
    FTestPrintElement->SetColor(TestPrintColor);
    FTestPrintElement->SetAlpha(TestPrintAlpha);
    FMarginFrame.reset(New<TLayerFrame>(nullptr));
    FMarginFrame->SetColor(MarginFrameColor);
    FMarginFrame->SetAlpha(MarginFrameAlpha);
    PlaceDecorations();
    TLayerComposition::AfterConstruction();
}

TSheetfoldPage::~TSheetfoldPage() = default;

RECT TSheetfoldPage::GetReferenceRect()
{
    return GetPrintableRect();
}

RECT TSheetfoldPage::GetBounds()
{
    RECT bounds = GetPaperRect();
    for (int i = 0; i < Count(); ++i)
        SfTypes::UnionRect(bounds, bounds, GetItem(i)->GetBounds());
    return bounds;
}

void TSheetfoldPage::AdjustRect(TLayerElement*, RECT& r, int mode)
{
    if (!FSnap || mode != lpmMove)
        return;
    RECT p = GetPrintableRect();
    RECT common;
    // Touching the printable area is meeting it: the rule of the 32-bit bitmap unit, the
    // project's own.
    if (!Gfx32::IntersectRect(common, r, p))
        return;
    if (std::abs(r.left - p.left) < SheetfoldSnapDistance)
        SfTypes::OffsetRect(&r, p.left - r.left, 0);
    if (std::abs(r.right - p.right) < SheetfoldSnapDistance)
        SfTypes::OffsetRect(&r, p.right - r.right, 0);
    if (std::abs(r.top - p.top) < SheetfoldSnapDistance)
        SfTypes::OffsetRect(&r, 0, p.top - r.top);
    if (std::abs(r.bottom - p.bottom) < SheetfoldSnapDistance)
        SfTypes::OffsetRect(&r, 0, p.bottom - r.bottom);
}

void TSheetfoldPage::Paint(TLayerCanvas* canvas, const RECT& updateRect)
{
    FPaperElement->Paint(canvas, updateRect);
    TLayerComposition::Paint(canvas, updateRect);
    FMarginFrame->Paint(canvas, updateRect);
    for (const RECT& r : FTestPrintRects) {
        if (SfTypes::IsRectEmpty(r))
            continue;
        FTestPrintElement->SetBoundsRect(r);
        FTestPrintElement->Paint(canvas, updateRect);
    }
}

void TSheetfoldPage::Print(HDC dc, const TMapMode& mapMode)
{
    TLayerComposition::Print(dc, mapMode);
    if (!GetTestPrint())
        return;
    for (int i = 0; i < Count(); ++i) {
        if (GetItem(i)->GetVisible())
            AddTestPrintRect(GetItem(i)->GetBounds());
    }
}

RECT TSheetfoldPage::GetPaperRect() const
{
    return FPaper->GetPaperRect();
}

RECT TSheetfoldPage::GetPrintableRect() const
{
    return FPaper->GetPrintableRect();
}

bool TSheetfoldPage::GetLandscape() const
{
    return FPaper->Landscape;
}

void TSheetfoldPage::SetPaper(const TPaper* paper)
{
    FPaper->Assign(paper);
    RecalcDecorations();
}

void TSheetfoldPage::SetPaperSize(const RECT& r)
{
    FPaper->SetSizeFromRect(r);
    RecalcDecorations();
}

void TSheetfoldPage::SetPrintableRect(const RECT& r)
{
    FPaper->SetMarginsFromRect(r);
    RecalcDecorations();
}

void TSheetfoldPage::SetLandscape(bool value)
{
    if (value == FPaper->Landscape)
        return;
    FPaper->SetLandscape(value);
    RecalcDecorations();
    if (TSheetfoldProject* project = GetProject())
        project->SetModified();
}

void TSheetfoldPage::SetColor(TColor value)
{
    FPageColor = value;
    Update();
}

void TSheetfoldPage::SetTestPrint(bool value)
{
    if (value == GetTestPrint())
        return;
    FTestPrintRects.clear();
    if (value)
        FTestPrintRects.push_back(RECT{0, 0, 0, 0});
    RecalcDecorations();
}

void TSheetfoldPage::AddTestPrintRect(const RECT& r)
{
    for (const RECT& entry : FTestPrintRects) {
        if (SfTypes::EqualRect(entry, r))
            return;
    }
    for (RECT& entry : FTestPrintRects) {
        if (SfTypes::IsRectEmpty(entry)) {
            entry = r;
            return;
        }
    }
    FTestPrintRects.push_back(r);
}

TSheetfoldProject* TSheetfoldPage::GetProject() const
{
    return dynamic_cast<TSheetfoldProject*>(GetOwner());
}

void TSheetfoldPage::PlaceDecorations()
{
    RECT paper = GetPaperRect();
    FPaperElement->SetBoundsRect(paper);
    FMarginFrame->SetBoundsRect(paper);
    FMarginFrame->SetInnerRect(GetPrintableRect());
}

void TSheetfoldPage::RecalcDecorations()
{
    PlaceDecorations();
    for (int i = 0; i < Count(); ++i) {
        TLayerElement* element = GetItem(i);
        if (!element->GetAttachedTo())
            element->SetBounds(element->GetLeft(), element->GetTop(), element->GetWidth(), element->GetHeight());
    }
    Update();
}

void TSheetfoldPage::WritePage(TXDataStream& stream)
{
    stream.WriteRect("PAPR", GetPaperRect());
    stream.WriteRect("PAGR", GetPrintableRect());
    stream.WriteInteger("ORNT", FPaper->Landscape ? 1 : 0);
    for (const RECT& r : FTestPrintRects)
        stream.WriteRect("TSTR", r);
    for (int i = 0; i < Count(); ++i) {
        TLayerElement* element = GetItem(i);
        if (!element->GetAttachedTo())
            WriteLayerElement(stream, element);
    }
}

TSheetfoldPage::TPaperState TSheetfoldPage::SavePaperState() const
{
    TPaperState state;
    state.Paper->Assign(FPaper.get());
    state.TestPrintRects = FTestPrintRects;
    return state;
}

void TSheetfoldPage::RestorePaperState(const TPaperState& state)
{
    FTestPrintRects = state.TestPrintRects;
    FPaper->Assign(state.Paper.get());
    RecalcDecorations();
}

bool TSheetfoldPage::ReadPageChunk(const TChunkHeader& header, TXDataStream& stream, bool withPaper)
{
    // "PAGR" is read by ReadPage itself, which applies it again at the end.
    bool pageChunk = IsChunk(header, "PAPR") || IsChunk(header, "PAGR") || IsChunk(header, "ORNT") ||
                     IsChunk(header, "TSTR");
    if (pageChunk) {
        // A clipboard payload leaves the page's paper alone; its page chunks are skipped.
        if (!withPaper)
            return true;
        if (IsChunk(header, "ORNT")) {
            FPaper->Landscape = stream.ReadInteger() != 0;
            return true;
        }
        RECT r;
        stream.ReadRect(r);
        if (!ValidRect(r))
            throw EReadError("A rectangle of the page lies outside the coordinate range");
        if (IsChunk(header, "TSTR"))
            AddTestPrintRect(r);
        else
            FPaper->SetSizeFromRect(r);
        return true;
    }
    TLayerElement* element = NewLayerElement(header, this);
    if (!element)
        return false;
    element->LoadFromStream(stream);
    return true;
}

void TSheetfoldPage::ReadPage(TXDataStream& stream, bool withPaper)
{
    TSheetfoldProject* project = GetProject();
    TSheetfoldProgress* progress = project && project->GetLoading() ? project->GetForm() : nullptr;
    TPaperState saved = SavePaperState();
    bool modified = project && project->GetModified();
    int oldCount = Count();
    // The printable area is applied when read and again against the final size, so the page
    // chunks may come in any order.
    bool haveMargins = false;
    RECT margins{};
    try {
        stream.ReadGroupBody(
            [&](const TChunkHeader& header) {
                if (progress)
                    progress->SetProgress(static_cast<int>(std::min<int64_t>(stream.GetPosition(), INT_MAX)));
                if (withPaper && IsChunk(header, "PAGR")) {
                    stream.ReadRect(margins);
                    if (!ValidRect(margins))
                        throw EReadError("The page's printable area lies outside the coordinate range");
                    haveMargins = true;
                    FPaper->SetMarginsFromRect(margins);
                    return true;
                }
                return ReadPageChunk(header, stream, withPaper);
            },
            true);
        if (haveMargins)
            FPaper->SetMarginsFromRect(margins);
        CheckPaper(*FPaper);
    } catch (...) {
        while (Count() > oldCount)
            GetItem(Count() - 1)->Free();
        RestorePaperState(saved);
        if (project && !modified)
            project->ClearModified();
        throw;
    }
    if (withPaper)
        RecalcDecorations();
}

// TSheetfoldProject

void TSheetfoldProject::InvalidateRect(const RECT& r)
{
    if (FView)
        FView->InvalidateLogicalRect(r);
}

void TSheetfoldProject::CompositionChanged(TLayerComposition*, TLayerElement* element)
{
    if (!element)
        return;
    SetModified();
    if (!FView)
        return;
    TLayerSelection* selection = FView->GetSelection();
    TSheetfoldFormHooks* form = GetForm();
    if (selection && !selection->IsEmpty() && form)
        form->UpdateProperties(selection);
}

TSheetfoldFormHooks* TSheetfoldProject::GetForm() const
{
    if (FView && FView->GetForm())
        return FView->GetForm();
    return FForm;
}

int TSheetfoldProject::GetCurrentPageIndex()
{
    if (FCurrentPageIndex >= Count())
        FCurrentPageIndex = Count() - 1;
    if (FCurrentPageIndex < 0 && Count() > 0)
        FCurrentPageIndex = 0;
    return FCurrentPageIndex;
}

TSheetfoldPage* TSheetfoldProject::GetCurrentPage()
{
    int index = GetCurrentPageIndex();
    if (index < 0)
        throw EListError("The project has no pages");
    return GetPage(index);
}

TSheetfoldPage* TSheetfoldProject::GetPage(int index) const
{
    return static_cast<TSheetfoldPage*>(GetItem(index));
}

void TSheetfoldProject::WriteProject(TXDataStream& stream)
{
    {
        // The image elements' embed switch is process-wide: it goes back as it was after the write.
        const bool embedBefore = SetLayerImageEmbedData(!FMINS);
        TScopeExit embed([embedBefore] { SetLayerImageEmbedData(embedBefore); });
        stream.WriteBoolean("MINS", FMINS);
        for (int i = 0; i < Count(); ++i) {
            stream.BeginGroup("PAGE");
            GetPage(i)->WritePage(stream);
            stream.EndGroup("PAGE");
        }
    }
    ClearModified();
}

void TSheetfoldProject::ReadProject(TXDataStream& stream)
{
    TProjectPtr fresh(New<TSheetfoldProject>());
    fresh->SetForm(GetForm());
    fresh->FLoading = true;
    fresh->FMINS = FMINS;
    {
        TProgressScope progress(GetForm(), static_cast<int>(std::min<int64_t>(stream.GetSize(), INT_MAX)),
                                SheetfoldLoadingCaption, false);
        stream.ReadGroupBody(
            [&](const TChunkHeader& header) {
                if (IsChunk(header, "MINS")) {
                    fresh->FMINS = stream.ReadBoolean();
                    return true;
                }
                if (!IsGroupBegin(header, "PAGE"))
                    return false;
                New<TSheetfoldPage>(fresh.get())->ReadPage(stream);
                return true;
            },
            true);
    }
    FMINS = fresh->FMINS;
    while (fresh->Count() > 0)
        fresh->GetPage(0)->SetOwner(this);
    ClearModified();
}

void TSheetfoldProject::LoadFromStream(TStream* stream)
{
    TXDataStream data(stream);
    TChunkHeader header;
    data.ReadChunkHeader(header);
    if (!IsGroupBegin(header, "SFPJ"))
        throw EReadError("The stream holds no Sheetfold project");
    TProjectPtr fresh(New<TSheetfoldProject>());
    fresh->SetForm(GetForm());
    fresh->ReadProject(data);
    Clear();
    FMINS = fresh->FMINS;
    while (fresh->Count() > 0)
        fresh->GetPage(0)->SetOwner(this);
    FCurrentPageIndex = 0;
    ClearModified();
}

void TSheetfoldProject::SaveToStream(TStream* stream)
{
    TXDataStream data(stream);
    TRollback keepModified([this, modified = FModified] { FModified = modified; });
    data.BeginGroup("SFPJ");
    WriteProject(data);
    data.EndGroup("SFPJ");
    keepModified.Commit();
}

void TSheetfoldProject::LoadFromFile(const std::string& fileName)
{
    std::unique_ptr<TFileStream, TObjectFree> file(New<TFileStream>(fileName, fmOpenRead | fmShareDenyWrite));
    std::unique_ptr<TBufferedStream, TObjectFree> buffered(New<TBufferedStream>(file.get()));
    LoadFromStream(buffered.get());
    FFileName = fileName;
}

namespace {

// A new, empty file of a name of its own in the folder, which the project is written into before
// it takes the target's place. A folder that cannot be written is told as such, with the
// system's reason: the file that could not be made there is no concern of the user's.
std::string CreateTemporaryFile(const std::string& folder)
{
    const std::string where = folder.empty() ? "." : folder;
    UINT unique = static_cast<UINT>(GetTickCount() & 0xFFFF);
    for (int attempt = 0; attempt < 0x10000; ++attempt, unique = unique % 0xFFFF + 1) {
        char name[MAX_PATH] = {};
        if (GetTempFileNameA(where.c_str(), "sfp", unique, name) == 0)
            break;
        HANDLE file = CreateFileA(name, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
            return name;
        }
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS)
            break;
    }
    throw EFCreateError("The folder \"" + where + "\" cannot be written. " + SysErrorMessage(GetLastError()));
}

}  // namespace

void TSheetfoldProject::SaveToFile(const std::string& fileName)
{
    const std::string temp = CreateTemporaryFile(ExtractFilePath(ExpandFileName(fileName)));
    TRollback abandon([&, modified = FModified] {
        FModified = modified;
        DeleteFileA(temp.c_str());
    });
    {
        // The temporary file is new and empty, so it is opened as it is: truncating a file
        // makes ext4 push all of its data to the disk when it is closed.
        std::unique_ptr<TFileStream, TObjectFree> file(New<TFileStream>(temp, fmOpenWrite | fmShareExclusive));
        std::unique_ptr<TBufferedStream, TObjectFree> buffered(New<TBufferedStream>(file.get()));
        SaveToStream(buffered.get());
        buffered->Flush();
    }
    if (!MoveFileExA(temp.c_str(), fileName.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        throw EFCreateError("Cannot replace \"" + fileName + "\". " + SysErrorMessage(GetLastError()));
    abandon.Commit();
    FFileName = fileName;
}

std::string WritePagePayload(const std::vector<TLayerElement*>& elements)
{
    std::unique_ptr<TStringStream, TObjectFree> stream(New<TStringStream>());
    TXDataStream data(stream.get());
    data.BeginGroup("PAGE");
    for (TLayerElement* element : elements)
        WriteLayerElement(data, element);
    data.EndGroup("PAGE");
    return stream->GetDataString();
}

void ReadPagePayload(TSheetfoldPage* page, const std::string& payload)
{
    std::unique_ptr<TStringStream, TObjectFree> stream(New<TStringStream>(payload));
    TXDataStream data(stream.get());
    TChunkHeader header;
    data.ReadChunkHeader(header);
    if (!IsGroupBegin(header, "PAGE"))
        throw EReadError("The clipboard holds no Sheetfold page");
    page->ReadPage(data, false);
}
