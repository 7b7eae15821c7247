#include "document/Layer.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>

#include "document/LayerImage.h"
#include "graphics/SfTypes.h"
#include "platform/ScopeGuards.h"

SF_IMPLEMENT_CLASS(TLayerBuffer, TBitmap32)
SF_IMPLEMENT_CLASS(TLayerCanvas, TObject)
SF_IMPLEMENT_COMPONENT(TCustomLayer, TWinControl)
SF_IMPLEMENT_COMPONENT(TScrollingLayer, TCustomLayer)
SF_IMPLEMENT_ABSTRACT(TLayerElement, TObject)
SF_IMPLEMENT_ABSTRACT(TLayerRect, TLayerElement)
SF_IMPLEMENT_ABSTRACT(TLayerFrame, TLayerElement)
SF_IMPLEMENT_ABSTRACT(TLayerGDIElement, TLayerElement)
SF_IMPLEMENT_ABSTRACT(TLayerEllipse, TLayerGDIElement)
SF_IMPLEMENT_ABSTRACT(TLayerText, TLayerGDIElement)

namespace {

int ClampToInt(int64_t v)
{
    return static_cast<int>(std::clamp<int64_t>(v, INT_MIN, INT_MAX));
}

RECT BoundsOf(int64_t left, int64_t top, int64_t width, int64_t height)
{
    return RECT{ClampToInt(left), ClampToInt(top), ClampToInt(left + width), ClampToInt(top + height)};
}

bool InRange(const RECT& r)
{
    auto ok = [](LONG v) { return v >= -LayerCoordinateLimit && v <= LayerCoordinateLimit; };
    return ok(r.left) && ok(r.top) && ok(r.right) && ok(r.bottom);
}

}  // namespace

// TLayerCanvas

TLayerCanvas::TLayerCanvas()
    : FSecondBuffer(New<TLayerBuffer>()), FMainBuffer(New<TLayerBuffer>()), FMapMode(New<THiMetric>())
{
    FMapMode->SetScreen();
}

TLayerCanvas::~TLayerCanvas() = default;

bool TLayerCanvas::BeginPaint(HWND wnd)
{
    if (FPainting)
        return false;
    if (!::GetUpdateRect(wnd, &FUpdateRect, TRUE))
        return false;
    FPaintDC = ::BeginPaint(wnd, &FPaintStruct);
    FPainting = true;
    return true;
}

void TLayerCanvas::EndPaint(HWND wnd)
{
    BitBlt(FPaintDC, FUpdateRect.left, FUpdateRect.top, FUpdateRect.right - FUpdateRect.left,
           FUpdateRect.bottom - FUpdateRect.top, FMainBuffer->GetHandle(), FUpdateRect.left, FUpdateRect.top, SRCCOPY);
    ::EndPaint(wnd, &FPaintStruct);
    FPaintDC = nullptr;
    FPainting = false;
}

void TLayerCanvas::Resize(int width, int height)
{
    FMainBuffer->SetSize(width, height);
}

// TCustomLayer

TCustomLayer::TCustomLayer(TComponent* owner) : TWinControl(owner), FCanvas(New<TLayerCanvas>())
{
    SetControlStyle(csAcceptsControls | csCaptureMouse | csClickEvents | csSetCaption | csOpaque | csDoubleClicks);
}

TCustomLayer::~TCustomLayer() = default;

void TCustomLayer::ResizeBuffer()
{
    FCanvas->Resize(GetClientWidth(), GetClientHeight());
}

void TCustomLayer::PaintBackground()
{
    FCanvas->GetMainBuffer()->FillRectS(FCanvas->GetUpdateRect(),
                                        SetColorAlpha(Color32(FBackgroundColor), FBackgroundAlpha));
}

void TCustomLayer::PaintContent()
{
}

void TCustomLayer::Resize()
{
    ResizeBuffer();
    TWinControl::Resize();
}

void TCustomLayer::Dispatch(TMessage& message)
{
    switch (message.Msg) {
    case WM_ERASEBKGND:
        message.Result = 1;
        return;
    case WM_PAINT:
        WMPaint(message);
        return;
    default:
        TWinControl::Dispatch(message);
    }
}

void TCustomLayer::WMPaint(TMessage&)
{
    HWND wnd = GetHandle();
    if (!FCanvas->BeginPaint(wnd))
        return;
    TScopeExit painted([&] { FCanvas->EndPaint(wnd); });
    PaintBackground();
    PaintContent();
    // Windowless children paint into the buffer too.
    TMessage inner{WM_PAINT, reinterpret_cast<WPARAM>(FCanvas->GetMainBuffer()->GetHandle()), 0, 0};
    PaintHandler(inner);
}

// TScrollingLayer

TScrollingLayer::TScrollingLayer(TComponent* owner) : TCustomLayer(owner)
{
}

RECT TScrollingLayer::GetContentRect()
{
    return GetMapMode()->LPtoDPRect(RECT{0, 0, 0, 0});
}

void TScrollingLayer::UpdateScrollRange(int cx, int cy)
{
    if (!HandleAllocated())
        return;
    POINT origin = GetMapMode()->GetOrigin();
    SCROLLINFO info{};
    info.cbSize = sizeof(info);
    info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL;
    info.nMin = 0;
    info.nMax = GetWidth() + cx - 1;
    info.nPage = static_cast<UINT>(std::max(0, GetWidth()));
    info.nPos = -origin.x;
    SetScrollInfo(GetHandle(), SB_HORZ, &info, TRUE);
    info.nMax = GetHeight() + cy - 1;
    info.nPage = static_cast<UINT>(std::max(0, GetHeight()));
    info.nPos = -origin.y;
    SetScrollInfo(GetHandle(), SB_VERT, &info, TRUE);
}

namespace {

// How far to move the content along one axis: centred when it is smaller than the control,
// else without a gap at either end.
int ScrollShift(int excess, int origin)
{
    if (excess < 0)
        return (-excess) / 2 - origin;
    if (origin >= -excess)
        return origin < 1 ? 0 : -origin;
    return -origin - excess;
}

}  // namespace

void TScrollingLayer::UpdateScrollPos()
{
    if (FUpdatingScrollPos)
        return;
    TFlagScope updating(FUpdatingScrollPos);
    RECT content = GetContentRect();
    int dx = (content.right - content.left) - GetWidth();
    int dy = (content.bottom - content.top) - GetHeight();
    if (dy < 1) {
        if (dx > 0) {
            dy += GetSystemMetrics(SM_CYHSCROLL);
            if (dy > 0)
                dx += GetSystemMetrics(SM_CXVSCROLL);
        }
    } else {
        dx += GetSystemMetrics(SM_CXVSCROLL);
        if (dx > 0)
            dy += GetSystemMetrics(SM_CYHSCROLL);
    }
    POINT origin = GetMapMode()->GetOrigin();
    int sx = ScrollShift(dx, origin.x);
    int sy = ScrollShift(dy, origin.y);
    if (sx != 0 || sy != 0)
        ScrollContent(sx, sy);
    UpdateScrollRange(dx, dy);
}

void TScrollingLayer::ScrollContent(int dx, int dy)
{
    POINT origin = GetMapMode()->GetOrigin();
    GetMapMode()->SetOrigin(POINT{origin.x + dx, origin.y + dy});
    if (HandleAllocated())
        ScrollWindow(GetHandle(), dx, dy, nullptr, nullptr);
}

void TScrollingLayer::CreateParams(TCreateParams& params)
{
    TCustomLayer::CreateParams(params);
    params.Style |= WS_HSCROLL | WS_VSCROLL;
}

void TScrollingLayer::Resize()
{
    TCustomLayer::Resize();
    UpdateScrollPos();
}

void TScrollingLayer::Dispatch(TMessage& message)
{
    switch (message.Msg) {
    case WM_HSCROLL:
        WMScroll(message, SB_HORZ);
        return;
    case WM_VSCROLL:
        WMScroll(message, SB_VERT);
        return;
    default:
        TCustomLayer::Dispatch(message);
    }
}

void TScrollingLayer::WMScroll(TMessage& message, int bar)
{
    TFlagScope scrolling(FScrolling);
    SCROLLINFO info{};
    info.cbSize = sizeof(info);
    info.fMask = SIF_ALL;
    GetScrollInfo(GetHandle(), bar, &info);
    int page = static_cast<int>(info.nPage);
    int code = LOWORD(message.WParam);
    int step = 0;
    switch (code) {
    case SB_LINEUP:
        step = -FLineStep;
        break;
    case SB_LINEDOWN:
        step = FLineStep;
        break;
    case SB_PAGEUP:
        step = -MulDiv(page, 3, 4);
        break;
    case SB_PAGEDOWN:
        step = MulDiv(page, 3, 4);
        break;
    case SB_THUMBTRACK:
        // The 32-bit tracking position: the message's own 16 bits overflow on long pages.
        step = info.nTrackPos - info.nPos;
        break;
    }
    int position = std::clamp(info.nPos + step, info.nMin, std::max(info.nMin, info.nMax - page + 1));
    // Only the distance actually moved scrolls the content, so it never runs past either end.
    step = position - info.nPos;
    if (step != 0) {
        SCROLLINFO moved{};
        moved.cbSize = sizeof(moved);
        moved.fMask = SIF_POS;
        moved.nPos = position;
        SetScrollInfo(GetHandle(), bar, &moved, code != SB_THUMBTRACK);
        if (bar == SB_HORZ)
            ScrollContent(-step, 0);
        else
            ScrollContent(0, -step);
    }
}

// TLayerElement

TLayerElement::TLayerElement(TLayerComposition* owner) : FPendingOwner(owner)
{
}

void TLayerElement::AfterConstruction()
{
    TObject::AfterConstruction();
    SetOwner(FPendingOwner);
}

void TLayerElement::BeforeDestruction()
{
    SetOwner(nullptr);
    TObject::BeforeDestruction();
}

void TLayerElement::SetHeight(int value)
{
    SetBounds(FLeft, FTop, FWidth, value);
}

void TLayerElement::SetWidth(int value)
{
    SetBounds(FLeft, FTop, value, FHeight);
}

RECT TLayerElement::GetBounds() const
{
    return BoundsOf(FLeft, FTop, FWidth, FHeight);
}

void TLayerElement::SetBoundsRect(const RECT& r)
{
    SetRect(r, POINT{0, 0}, lpmPlain);
}

void TLayerElement::Draw(TLayerCanvas*, const RECT&, const RECT&, const RECT&)
{
}

void TLayerElement::Changed()
{
    InvalidateRect(GetBounds());
    NotifyOwner();
}

bool TLayerElement::GetAlignReference(RECT& r) const
{
    if (FAttachedTo) {
        r = FAttachedTo->GetBounds();
        return true;
    }
    if (FOwner) {
        r = FOwner->GetReferenceRect();
        return true;
    }
    return false;
}

void TLayerElement::ApplyAlignFlags(RECT& r, const RECT& ref) const
{
    int64_t left = r.left;
    int64_t top = r.top;
    int64_t width = int64_t{r.right} - r.left;
    int64_t height = int64_t{r.bottom} - r.top;
    int64_t refWidth = int64_t{ref.right} - ref.left;
    int64_t refHeight = int64_t{ref.bottom} - ref.top;
    if (FAlign & laFitWidth)
        width = refWidth;
    if (FAlign & laFitHeight)
        height = refHeight;
    // Division truncates toward zero, so an odd negative slack moves by one unit less.
    if (FAlign & laCenterHorz)
        left = ref.left + (refWidth - width) / 2;
    if (FAlign & laCenterVert)
        top = ref.top + (refHeight - height) / 2;
    if (FAlign & laBelow)
        top = ref.bottom;
    if (FAlign & laAbove)
        top = ref.top - height;
    r = BoundsOf(left, top, width, height);
}

bool TLayerElement::CalcAlignedRect(RECT& r, int mode)
{
    RECT ref;
    if (!GetAlignReference(ref))
        return false;
    if (FOwner)
        FOwner->AdjustRect(this, r, mode);
    ApplyAlignFlags(r, ref);
    return true;
}

void TLayerElement::InvalidateRect(const RECT& r)
{
    if (FOwner && FVisible)
        FOwner->InvalidateRect(r);
}

void TLayerElement::NotifyOwner()
{
    if (FOwner)
        FOwner->ElementChanged(this);
}

void TLayerElement::Paint(TLayerCanvas* canvas, const RECT& updateRect)
{
    RECT deviceRect = canvas->GetMapMode()->LPtoDPRect(GetBounds());
    RECT visibleRect;
    if (!SfTypes::IntersectRect(visibleRect, deviceRect, updateRect))
        return;
    Draw(canvas, updateRect, deviceRect, visibleRect);
}

void TLayerElement::SetBounds(int left, int top, int width, int height)
{
    SetRect(BoundsOf(left, top, width, height), POINT{0, 0}, lpmPlain);
}

void TLayerElement::SetRect(const RECT& r, const POINT&, int mode)
{
    RECT aligned = r;
    CalcAlignedRect(aligned, mode);
    PlaceAt(aligned);
}

void TLayerElement::PlaceAt(const RECT& r)
{
    RECT old = GetBounds();
    if (SfTypes::EqualRect(r, old))
        return;
    FLeft = r.left;
    FTop = r.top;
    FWidth = ClampToInt(int64_t{r.right} - r.left);
    FHeight = ClampToInt(int64_t{r.bottom} - r.top);
    if (FOwner)
        FOwner->ReplaceCaptions(this);
    RECT area;
    SfTypes::UnionRect(area, old, GetBounds());
    InvalidateRect(area);
    NotifyOwner();
}

std::string TLayerElement::ReadPayload(const TChunkHeader& header, TXDataStream& stream)
{
    std::string payload;
    stream.ReadString(header.Size, payload);
    return payload;
}

bool TLayerElement::ReadProperty(const TChunkHeader& header, TXDataStream& stream)
{
    if (IsChunk(header, "NAME")) {
        FName = ReadPayload(header, stream);
        return true;
    }
    if (IsChunk(header, "BNDR")) {
        RECT r;
        stream.ReadRect(r);
        if (!InRange(r))
            throw EReadError("Corrupt element bounds: coordinates beyond " + std::to_string(LayerCoordinateLimit));
        SetBoundsRect(r);
        return true;
    }
    if (IsChunk(header, "ALPH")) {
        SetAlpha(std::min<int>(stream.ReadWord(), 255));
        return true;
    }
    if (IsChunk(header, "COLR")) {
        SetColor(stream.ReadInteger());
        return true;
    }
    if (IsChunk(header, "ENBL")) {
        SetEnabled(stream.ReadBoolean());
        return true;
    }
    if (IsChunk(header, "VSBL")) {
        SetVisible(stream.ReadBoolean());
        return true;
    }
    if (IsChunk(header, "ALGN")) {
        // Only the first two bytes count; a shorter payload has zero high bits.
        std::string payload = ReadPayload(header, stream);
        payload.resize(std::max<size_t>(payload.size(), 2), '\0');
        SetAlign(static_cast<TLayerAlignFlags>(static_cast<uint8_t>(payload[0]) | (static_cast<uint8_t>(payload[1]) << 8)));
        return true;
    }
    return false;
}

bool TLayerElement::ReadChild(const TChunkHeader& header, TXDataStream& stream)
{
    // A caption lives in its element's composition; an element outside one skips it.
    if (!IsGroupBegin(header, "TEXT") || !FOwner)
        return false;
    TLayerText* caption = New<TLayerText>(FOwner);
    caption->SetAttachedTo(this);
    caption->LoadFromStream(stream);
    return true;
}

void TLayerElement::WriteProperties(TXDataStream& stream)
{
    stream.WriteString("NAME", FName);
    stream.WriteRect("BNDR", GetBounds());
    stream.WriteWord("ALPH", FAlpha);
    stream.WriteInteger("COLR", FColor);
    uint8_t align[2] = {static_cast<uint8_t>(FAlign), static_cast<uint8_t>(FAlign >> 8)};
    stream.WriteData("ALGN", align, sizeof(align));
    stream.WriteBoolean("ENBL", FEnabled);
    stream.WriteBoolean("VSBL", FVisible);
}

void TLayerElement::WriteChildren(TXDataStream& stream)
{
    TLayerElement* caption = GetCaption();
    if (!Is<TLayerText>(caption))
        return;
    stream.BeginGroup("TEXT");
    caption->SaveToStream(stream);
    stream.EndGroup("TEXT");
}

void TLayerElement::LoadFromStream(TXDataStream& stream)
{
    stream.ReadGroupBody([this, &stream](const TChunkHeader& header) {
        return ReadProperty(header, stream) || ReadChild(header, stream);
    });
}

void TLayerElement::SaveToStream(TXDataStream& stream)
{
    WriteProperties(stream);
    WriteChildren(stream);
}

void TLayerElement::Print(HDC, const TMapMode&)
{
}

bool TLayerElement::IntersectsRect(const RECT& r) const
{
    RECT dummy;
    return SfTypes::IntersectRect(dummy, GetBounds(), r);
}

bool TLayerElement::HitTest(const POINT& p) const
{
    return SfTypes::PtInRect(GetBounds(), p);
}

void TLayerElement::SetLeft(int value)
{
    SetBounds(value, FTop, FWidth, FHeight);
}

void TLayerElement::SetTop(int value)
{
    SetBounds(FLeft, value, FWidth, FHeight);
}

void TLayerElement::SetAlpha(int value)
{
    if (value == FAlpha)
        return;
    FAlpha = static_cast<uint16_t>(value);
    Changed();
}

void TLayerElement::SetColor(TColor value)
{
    FColor = value;
    Changed();
}

void TLayerElement::SetVisible(bool value)
{
    if (value == FVisible)
        return;
    // Invalidating before and after repaints the area whichever way the element goes.
    InvalidateRect(GetBounds());
    FVisible = value;
    InvalidateRect(GetBounds());
    NotifyOwner();
}

void TLayerElement::SetAlign(TLayerAlignFlags value)
{
    FAlign = value;
    SetBounds(FLeft, FTop, FWidth, FHeight);
}

void TLayerElement::SetAttachedTo(TLayerElement* element)
{
    if (element) {
        if (!FOwner || element->FOwner != FOwner)
            throw EInvalidOperation("An element can only be attached to an element of its own composition");
        for (TLayerElement* e = element; e; e = e->FAttachedTo)
            if (e == this)
                throw EInvalidOperation("An element cannot be attached to itself or to one of its own captions");
    }
    FAttachedTo = element;
    SetBounds(FLeft, FTop, FWidth, FHeight);
}

void TLayerElement::SetOwner(TLayerComposition* owner)
{
    if (owner == FOwner)
        return;
    if (FOwner) {
        FOwner->DeleteCaptions(this);
        FOwner->RemoveElement(this);
        Changed();
        // The element it was attached to stays behind in the old composition.
        FAttachedTo = nullptr;
    }
    FOwner = owner;
    if (FOwner) {
        FOwner->InsertElement(this);
        Changed();
    }
}

int TLayerElement::GetZIndex() const
{
    return FOwner ? FOwner->IndexOf(this) : -1;
}

void TLayerElement::SetZIndex(int index)
{
    if (!FOwner || FAttachedTo)
        return;
    int current = FOwner->IndexOf(this);
    if (current < 0)
        return;
    int64_t delta = int64_t{index} - current;

    std::vector<TLayerElement*> captions;
    for (int i = 0; i < FOwner->Count(); ++i)
        if (FOwner->GetItem(i)->FAttachedTo)
            captions.push_back(FOwner->GetItem(i));
    for (TLayerElement* caption : captions)
        FOwner->GetList().Remove(caption);

    int shortened = FOwner->IndexOf(this);
    int target = ClampToInt(std::clamp<int64_t>(shortened + delta, 0, FOwner->Count() - 1));
    FOwner->MoveElement(shortened, target);

    // Each caption goes directly above its element; a caption of a caption waits until that one
    // is back in the list.
    while (!captions.empty()) {
        bool placed = false;
        for (size_t i = 0; i < captions.size(); ++i) {
            int at = FOwner->IndexOf(captions[i]->FAttachedTo);
            if (at < 0)
                continue;
            FOwner->InsertElementAt(at + 1, captions[i]);
            captions.erase(captions.begin() + static_cast<ptrdiff_t>(i));
            placed = true;
            break;
        }
        if (!placed) {
            FOwner->InsertElementAt(FOwner->Count(), captions.front());
            captions.erase(captions.begin());
        }
    }

    RECT area = GetBounds();
    if (TLayerElement* caption = GetCaption())
        SfTypes::UnionRect(area, area, caption->GetBounds());
    InvalidateRect(area);
    NotifyOwner();
}

TLayerElement* TLayerElement::GetCaption() const
{
    return FOwner ? FOwner->FindCaption(this) : nullptr;
}

// TLayerRect

void TLayerRect::Draw(TLayerCanvas* canvas, const RECT&, const RECT&, const RECT& visibleRect)
{
    canvas->GetMainBuffer()->FillRectS(visibleRect, SetColorAlpha(Color32(GetColor()), GetAlpha()));
}

void TLayerRect::Print(HDC dc, const TMapMode& mapMode)
{
    RECT r = mapMode.LPtoDPRect(GetBounds());
    HBRUSH brush = CreateSolidBrush(static_cast<COLORREF>(ColorToRGB(GetColor())));
    if (!brush)
        RaiseLastOSError("CreateSolidBrush");
    ::FillRect(dc, &r, brush);
    DeleteObject(brush);
}

// TLayerFrame

void TLayerFrame::Draw(TLayerCanvas* canvas, const RECT&, const RECT& d, const RECT& visibleRect)
{
    RECT inner = canvas->GetMapMode()->LPtoDPRect(FInnerRect);
    TColor32 color = SetColorAlpha(Color32(GetColor()), GetAlpha());
    const RECT bands[4] = {
        {d.left, d.top, d.right, inner.top},
        {d.left, inner.top, inner.left, inner.bottom},
        {inner.right, inner.top, d.right, inner.bottom},
        {d.left, inner.bottom, d.right, d.bottom},
    };
    for (const RECT& band : bands) {
        RECT clipped;
        if (SfTypes::IntersectRect(clipped, band, visibleRect))
            canvas->GetMainBuffer()->FillRectS(clipped, color);
    }
}

bool TLayerFrame::HitTest(const POINT& p) const
{
    return TLayerElement::HitTest(p) && !SfTypes::PtInRect(FInnerRect, p);
}

void TLayerFrame::SetInnerRect(const RECT& r)
{
    FInnerRect = r;
    Changed();
}

// TLayerGDIElement

TLayerGDIElement::TLayerGDIElement(TLayerComposition* owner)
    : TLayerElement(owner), FBrush(New<TBrush>()), FPen(New<TPen>())
{
    FBrush->SetColor(GetColor());
    FPen->SetColor(GetColor());
}

void TLayerGDIElement::Draw(TLayerCanvas* canvas, const RECT&, const RECT& deviceRect, const RECT&)
{
    HDC dc = canvas->GetMainBuffer()->GetHandle();
    TSelectGuard pen(dc, FPen->GetHandle());
    TSelectGuard brush(dc, FBrush->GetHandle());
    DrawShape(dc, deviceRect, *canvas->GetMapMode());
}

void TLayerGDIElement::Changed()
{
    FBrush->SetColor(GetColor());
    FPen->SetColor(GetColor());
    TLayerElement::Changed();
}

void TLayerGDIElement::DrawShape(HDC, const RECT&, const TMapMode&)
{
}

// TLayerEllipse

namespace {

// Past this many device pixels across, an ellipse is filled row by row where the device context
// can show it: GDI walks the whole outline, which for an element far larger than the page takes
// minutes at the higher zooms.
constexpr int64_t LargeEllipseExtent = 1 << 15;

// The ellipse in the device rectangle with the selected pen and brush; a huge one is filled with
// the brush (its outline is of the same colour) within the clip box only.
void DrawEllipse(HDC dc, const RECT& r)
{
    if (int64_t{r.right} - r.left <= LargeEllipseExtent && int64_t{r.bottom} - r.top <= LargeEllipseExtent) {
        ::Ellipse(dc, r.left, r.top, r.right, r.bottom);
        return;
    }
    RECT visible{};
    if (GetClipBox(dc, &visible) == ERROR || !SfTypes::IntersectRect(visible, visible, r))
        return;
    const double cx = (static_cast<double>(r.left) + r.right) / 2;
    const double cy = (static_cast<double>(r.top) + r.bottom) / 2;
    const double rx = (static_cast<double>(r.right) - r.left) / 2;
    const double ry = (static_cast<double>(r.bottom) - r.top) / 2;
    for (int y = visible.top; y < visible.bottom; ++y) {
        const double dy = (y + 0.5 - cy) / ry;
        if (dy <= -1 || dy >= 1)
            continue;
        const double half = rx * std::sqrt(1 - dy * dy);
        const int left = static_cast<int>(std::max<double>(visible.left, std::ceil(cx - half - 0.5)));
        const int right = static_cast<int>(std::min<double>(visible.right, std::floor(cx + half - 0.5) + 1));
        if (left < right)
            PatBlt(dc, left, y, right - left, 1, PATCOPY);
    }
}

}  // namespace

void TLayerEllipse::DrawShape(HDC dc, const RECT& r, const TMapMode&)
{
    DrawEllipse(dc, r);
}

void TLayerEllipse::Print(HDC dc, const TMapMode& mapMode)
{
    RECT r = mapMode.LPtoDPRect(GetBounds());
    TSelectGuard pen(dc, GetPen()->GetHandle());
    TSelectGuard brush(dc, GetBrush()->GetHandle());
    DrawEllipse(dc, r);
}

// TLayerText

namespace {

// Splits at CR LF, LF or CR.
std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::string line;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c != '\r' && c != '\n') {
            line += c;
            continue;
        }
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        lines.push_back(std::move(line));
        line.clear();
    }
    lines.push_back(std::move(line));
    return lines;
}

int Extent(HDC dc, const char* text, size_t length)
{
    if (length == 0)
        return 0;
    SIZE size{};
    GetTextExtentPoint32A(dc, text, static_cast<int>(length), &size);
    return size.cx;
}

TGdiObjectHandle MakeFont(const TFont& font, int height)
{
    LOGFONTA lf = font.GetLogFont();
    lf.lfHeight = height;
    HFONT handle = CreateFontIndirectA(&lf);
    if (!handle)
        RaiseLastOSError("CreateFontIndirect");
    return TGdiObjectHandle(handle);
}

// Font sizes beyond what Windows draws are clamped when read.
constexpr int MaxFontPoints = 1638;

}  // namespace

TLayerText::TLayerText(TLayerComposition* owner) : TLayerGDIElement(owner), FFont(New<TFont>())
{
    FFont->OnChange = TNotifyEvent(this, &TLayerText::InvalidateLayout);
}

void TLayerText::AfterConstruction()
{
    TLayerGDIElement::AfterConstruction();
    SetBoundsRect(RECT{0, 0, 2000, 2000});
}

TLayerText::~TLayerText() = default;

void TLayerText::InvalidateLayout(TObject*)
{
    FLayoutValid = false;
    FDeviceFont.Reset();
}

int TLayerText::LogicalFontHeight() const
{
    return std::clamp(PointsToHiMetric(static_cast<float>(FFont->GetSize())), 1, PointsToHiMetric(MaxFontPoints));
}

void TLayerText::MakeLayout()
{
    if (FLayoutValid && FLayoutWidth == GetWidth())
        return;
    FLines.clear();
    FLogicalHeight = LogicalFontHeight();
    FLayoutWidth = GetWidth();

    // Measured with a font one device unit high per logical unit: extents are logical units
    // whatever device the text is drawn on later.
    TMemoryDC reference;
    TGdiObjectHandle font = MakeFont(*FFont, FLogicalHeight);
    TSelectGuard select(reference.Get(), font.Get());
    HDC dc = reference.Get();
    int spaceWidth = Extent(dc, " ", 1);
    TEXTMETRICA tm{};
    GetTextMetricsA(dc, &tm);
    FLineHeight = tm.tmHeight + tm.tmExternalLeading;

    std::vector<std::string> lines = SplitLines(FText);
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string line = lines[i];
        int64_t x = 0;
        size_t used = 0;
        size_t trailing = 0;
        while (used < line.size()) {
            size_t wordEnd = line.find(' ', used);
            if (wordEnd == std::string::npos)
                wordEnd = line.size();
            if (wordEnd > used) {
                x += Extent(dc, line.data() + used, wordEnd - used);
                if (used > 0 && x > FLayoutWidth) {
                    // The word that did not fit starts the next line; the spaces before it go.
                    lines[i] = line.substr(0, used - trailing);
                    lines.insert(lines.begin() + static_cast<ptrdiff_t>(i) + 1, line.substr(used));
                    break;
                }
            }
            size_t spacesEnd = line.find_first_not_of(' ', wordEnd);
            if (spacesEnd == std::string::npos)
                spacesEnd = line.size();
            trailing = spacesEnd - wordEnd;
            x += static_cast<int64_t>(trailing) * spaceWidth;
            used = spacesEnd;
        }
    }

    for (std::string& text : lines) {
        TLayoutLine line;
        line.Text = std::move(text);
        line.Width = Extent(dc, line.Text.data(), line.Text.size());
        if (!line.Text.empty()) {
            line.Extents.resize(line.Text.size());
            SIZE size{};
            GetTextExtentExPointA(dc, line.Text.data(), static_cast<int>(line.Text.size()), 0, nullptr,
                                  line.Extents.data(), &size);
        }
        FLines.push_back(std::move(line));
    }
    FLayoutValid = true;
}

void TLayerText::DrawLines(HDC dc, const TMapMode& mapMode, const RECT& clip)
{
    if (mapMode.GetWindowExt().x == 0 || mapMode.GetWindowExt().y == 0)
        return;
    MakeLayout();
    int deviceHeight = mapMode.LPtoDPY(FLogicalHeight, 1.5);
    if (!FDeviceFont || deviceHeight != FDeviceFontHeight) {
        FDeviceFont = MakeFont(*FFont, deviceHeight);
        FDeviceFontHeight = deviceHeight;
    }
    TSelectGuard select(dc, FDeviceFont.Get());
    TTextStateGuard state(dc, static_cast<COLORREF>(ColorToRGB(FFont->GetColor())));

    RECT b = GetBounds();
    double ratio = static_cast<double>(mapMode.GetViewportExt().x) / mapMode.GetWindowExt().x;
    std::vector<int> dx;
    int64_t y = b.top;
    for (const TLayoutLine& line : FLines) {
        int64_t x0 = b.left;
        switch (FFormat & 3) {
        case 1:
            x0 = (int64_t{b.left} + b.right - line.Width) / 2;
            break;
        case 2:
            x0 = int64_t{b.right} - line.Width;
            break;
        }
        POINT d = mapMode.LPtoDP(POINT{ClampToInt(x0), ClampToInt(y)});
        y += FLineHeight;
        if (d.y >= clip.bottom)
            break;
        if (line.Text.empty() || d.y + deviceHeight <= clip.top)
            continue;
        // Every character lands where it would land drawn on its own: at the line's start plus
        // its logical offset scaled to the device.
        size_t n = line.Text.size();
        dx.resize(n);
        int previous = 0;
        for (size_t k = 1; k <= n; ++k) {
            int offset = static_cast<int>(std::trunc(line.Extents[k - 1] * ratio + 0.1));
            dx[k - 1] = offset - previous;
            previous = offset;
        }
        ExtTextOutA(dc, d.x, d.y, ETO_CLIPPED, &clip, line.Text.data(), static_cast<UINT>(n), dx.data());
    }
}

void TLayerText::Draw(TLayerCanvas* canvas, const RECT&, const RECT&, const RECT& visibleRect)
{
    if (FText.empty())
        return;
    DrawLines(canvas->GetMainBuffer()->GetHandle(), *canvas->GetMapMode(), visibleRect);
}

void TLayerText::DrawShape(HDC dc, const RECT& deviceRect, const TMapMode& mapMode)
{
    if (!FText.empty())
        DrawLines(dc, mapMode, deviceRect);
}

void TLayerText::Print(HDC dc, const TMapMode& mapMode)
{
    if (!FText.empty())
        DrawLines(dc, mapMode, mapMode.LPtoDPRect(GetBounds()));
}

void TLayerText::SetText(const std::string& value)
{
    FText = value;
    InvalidateLayout();
    Remeasure();
}

void TLayerText::SetFormat(uint16_t value)
{
    FFormat = value;
    InvalidateLayout();
    Remeasure();
}

void TLayerText::SetFont(TFont* font)
{
    FFont->Assign(font);
    InvalidateLayout();
    Remeasure();
}

void TLayerText::Remeasure()
{
    if (FAutoSize) {
        SIZE size = TextExtent();
        SetBounds(GetLeft(), GetTop(), size.cx, size.cy);
    } else {
        SetBounds(GetLeft(), GetTop(), GetWidth(), GetHeight());
    }
    Changed();
}

SIZE TLayerText::TextExtent()
{
    // Measured like the layout, so that an auto-sized text never wraps when it is drawn.
    TMemoryDC reference;
    TGdiObjectHandle font = MakeFont(*FFont, LogicalFontHeight());
    TSelectGuard select(reference.Get(), font.Get());
    SIZE size{};
    GetTextExtentPoint32A(reference.Get(), FText.data(), static_cast<int>(FText.size()), &size);
    return size;
}

void TLayerText::DrawTextSimple(HDC dc, const RECT& r, const TMapMode& mapMode)
{
    if (FText.empty() || mapMode.GetWindowExt().y == 0)
        return;
    double ratio = static_cast<double>(mapMode.GetViewportExt().y) / mapMode.GetWindowExt().y;
    int height = static_cast<int>(std::trunc(PointsToHiMetric(static_cast<float>(FFont->GetSize())) * ratio + 1.55));
    TGdiObjectHandle font = MakeFont(*FFont, height);
    TSelectGuard select(dc, font.Get());
    TTextStateGuard state(dc, static_cast<COLORREF>(ColorToRGB(FFont->GetColor())));
    RECT bounds = r;
    DrawTextA(dc, FText.data(), static_cast<int>(FText.size()), &bounds, FFormat);
}

std::vector<std::string> TLayerText::GetLines()
{
    MakeLayout();
    std::vector<std::string> lines;
    for (const TLayoutLine& line : FLines)
        lines.push_back(line.Text);
    return lines;
}

std::vector<int> TLayerText::GetCharOffsets(int line)
{
    MakeLayout();
    const TLayoutLine& l = FLines.at(static_cast<size_t>(line));
    std::vector<int> offsets;
    if (l.Text.empty())
        return offsets;
    int x0 = 0;
    if ((FFormat & 3) == 1)
        x0 = (GetWidth() - l.Width) / 2;
    else if ((FFormat & 3) == 2)
        x0 = GetWidth() - l.Width;
    offsets.push_back(x0);
    for (size_t k = 0; k + 1 < l.Text.size(); ++k)
        offsets.push_back(x0 + l.Extents[k]);
    return offsets;
}

bool TLayerText::ReadProperty(const TChunkHeader& header, TXDataStream& stream)
{
    if (IsChunk(header, "ASIZ")) {
        FAutoSize = stream.ReadBoolean();
        return true;
    }
    if (IsChunk(header, "FRMT")) {
        SetFormat(stream.ReadWord());
        return true;
    }
    if (IsChunk(header, "TEXT")) {
        SetText(ReadPayload(header, stream));
        return true;
    }
    return TLayerGDIElement::ReadProperty(header, stream);
}

bool TLayerText::ReadChild(const TChunkHeader& header, TXDataStream& stream)
{
    if (IsGroupBegin(header, "FONT")) {
        ReadFont(stream);
        return true;
    }
    return TLayerGDIElement::ReadChild(header, stream);
}

void TLayerText::WriteProperties(TXDataStream& stream)
{
    stream.WriteBoolean("ASIZ", FAutoSize);
    stream.WriteWord("FRMT", FFormat);
    stream.WriteString("TEXT", FText);
    TLayerGDIElement::WriteProperties(stream);
}

void TLayerText::WriteChildren(TXDataStream& stream)
{
    WriteFont(stream);
    TLayerGDIElement::WriteChildren(stream);
}

void TLayerText::ReadFont(TXDataStream& stream)
{
    stream.ReadGroupBody([this, &stream](const TChunkHeader& header) {
        if (IsChunk(header, "NAME")) {
            FFont->SetName(ReadPayload(header, stream));
            return true;
        }
        if (IsChunk(header, "SIZE")) {
            FFont->SetSize(std::clamp(stream.ReadInteger(), 1, MaxFontPoints));
            return true;
        }
        if (IsChunk(header, "STYL")) {
            std::string payload = ReadPayload(header, stream);
            FFont->SetStyle(TFontStyles::FromBits(payload.empty() ? 0 : static_cast<uint8_t>(payload[0])));
            return true;
        }
        if (IsChunk(header, "CHRS")) {
            FFont->SetCharset(static_cast<TFontCharset>(stream.ReadWord()));
            return true;
        }
        if (IsChunk(header, "COLR")) {
            FFont->SetColor(stream.ReadInteger());
            return true;
        }
        return false;
    });
}

void TLayerText::WriteFont(TXDataStream& stream)
{
    stream.BeginGroup("FONT");
    stream.WriteString("NAME", FFont->GetName());
    stream.WriteInteger("SIZE", FFont->GetSize());
    uint8_t style = FFont->GetStyle().Bits();
    stream.WriteData("STYL", &style, 1);
    stream.WriteWord("CHRS", FFont->GetCharset());
    stream.WriteInteger("COLR", FFont->GetColor());
    stream.EndGroup("FONT");
}

// Element groups

std::string LayerElementTag(const TLayerElement* element)
{
    if (Is<TLayerImage>(element))
        return "IMAG";
    if (Is<TLayerText>(element))
        return "TEXT";
    if (Is<TLayerRect>(element))
        return "RECT";
    if (Is<TLayerEllipse>(element))
        return "ELPS";
    return {};
}

TLayerElement* NewLayerElement(const TChunkHeader& header, TLayerComposition* owner)
{
    if (IsGroupBegin(header, "IMAG"))
        return New<TLayerImage>(owner);
    if (IsGroupBegin(header, "TEXT"))
        return New<TLayerText>(owner);
    if (IsGroupBegin(header, "RECT"))
        return New<TLayerRect>(owner);
    if (IsGroupBegin(header, "ELPS"))
        return New<TLayerEllipse>(owner);
    return nullptr;
}

void WriteLayerElement(TXDataStream& stream, TLayerElement* element)
{
    std::string tag = LayerElementTag(element);
    if (tag.empty())
        return;
    stream.BeginGroup(tag);
    element->SaveToStream(stream);
    stream.EndGroup(tag);
}
