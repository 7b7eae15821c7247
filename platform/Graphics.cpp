#include "platform/Graphics.h"

#include <algorithm>
#include <cstring>

#include "platform/MetafileCheck.h"
#include "platform/ScopeGuards.h"
#include "platform/Streams.h"

SF_IMPLEMENT_ABSTRACT(TGraphicsObject, TPersistent)
SF_IMPLEMENT_CLASS(TFont, TGraphicsObject)
SF_IMPLEMENT_CLASS(TPen, TGraphicsObject)
SF_IMPLEMENT_CLASS(TBrush, TGraphicsObject)
SF_IMPLEMENT_CLASS(TCanvas, TPersistent)
SF_IMPLEMENT_ABSTRACT(TGraphic, TPersistent)
SF_IMPLEMENT_CLASS(TBitmap, TGraphic)
SF_IMPLEMENT_ABSTRACT(TBitmapCanvas, TCanvas)

TColor ColorToRGB(TColor color)
{
    if (color < 0)
        return static_cast<TColor>(GetSysColor(color & 0xFF));
    return color;
}

int ScreenPixelsPerInch()
{
    static const int ppi = [] {
        TWindowDC dc;
        int value = dc ? GetDeviceCaps(dc.Get(), LOGPIXELSY) : 0;
        return value > 0 ? value : 96;
    }();
    return ppi;
}

// ---------------------------------------------------------------------------------------------

void TGraphicsObject::Lock()
{
    if (FOwnerLock)
        EnterCriticalSection(FOwnerLock);
}

void TGraphicsObject::Unlock()
{
    if (FOwnerLock)
        LeaveCriticalSection(FOwnerLock);
}

void TGraphicsObject::Changed(HGDIOBJ newHandle)
{
    TGdiObjectHandle old;
    {
        TGraphicsObjectLock lock(this);
        old = std::move(FHandle);
        FHandle.Reset(newHandle);
    }
    OnChange(this);
}

// ---------------------------------------------------------------------------------------------

TFont::TFont() : FPixelsPerInch(ScreenPixelsPerInch())
{
    FHeight = -MulDiv(8, FPixelsPerInch, 72);
}

void TFont::Assign(TPersistent* source)
{
    auto* font = dynamic_cast<TFont*>(source);
    if (!font) {
        TGraphicsObject::Assign(source);
        return;
    }
    if (font == this)
        return;
    const int height =
        font->FPixelsPerInch != FPixelsPerInch ? -MulDiv(font->GetSize(), FPixelsPerInch, 72) : font->FHeight;
    // The colour is not part of the HFONT: a font that takes nothing else new keeps its handle, so
    // painting code that hands every item the same font does not create a font for each.
    const bool sameHandle = FName == font->FName && FHeight == height && FStyle == font->FStyle &&
                            FCharset == font->FCharset && FPitch == font->FPitch && FOrientation == font->FOrientation;
    FName = font->FName;
    FHeight = height;
    FStyle = font->FStyle;
    FColor = font->FColor;
    FCharset = font->FCharset;
    FPitch = font->FPitch;
    FOrientation = font->FOrientation;
    if (sameHandle)
        OnChange(this);
    else
        Changed();
}

LOGFONTA TFont::GetLogFont() const
{
    LOGFONTA lf{};
    lf.lfHeight = FHeight;
    lf.lfEscapement = FOrientation;
    lf.lfOrientation = FOrientation;
    lf.lfWeight = FStyle.Contains(fsBold) ? FW_BOLD : FW_NORMAL;
    lf.lfItalic = FStyle.Contains(fsItalic);
    lf.lfUnderline = FStyle.Contains(fsUnderline);
    lf.lfStrikeOut = FStyle.Contains(fsStrikeOut);
    lf.lfCharSet = FCharset;
    lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
    lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    lf.lfQuality = DEFAULT_QUALITY;
    switch (FPitch) {
    case TFontPitch::fpVariable: lf.lfPitchAndFamily = VARIABLE_PITCH; break;
    case TFontPitch::fpFixed: lf.lfPitchAndFamily = FIXED_PITCH; break;
    default: lf.lfPitchAndFamily = DEFAULT_PITCH; break;
    }
    lstrcpynA(lf.lfFaceName, FName.c_str(), LF_FACESIZE);
    return lf;
}

HFONT TFont::GetHandle()
{
    TGraphicsObjectLock lock(this);
    if (!CachedHandle()) {
        LOGFONTA lf = GetLogFont();
        HFONT font = CreateFontIndirectA(&lf);
        if (!font)
            RaiseLastOSError("CreateFontIndirect");
        CacheHandle(font);
    }
    return static_cast<HFONT>(CachedHandle());
}

void TFont::SetHandle(HFONT handle)
{
    if (handle == CachedHandle())
        return;
    LOGFONTA lf{};
    if (!handle || GetObjectA(handle, sizeof(lf), &lf) == 0)
        throw EInvalidGraphic("Invalid font handle");
    FName = lf.lfFaceName;
    FHeight = lf.lfHeight;
    FStyle = TFontStyles::FromBits((lf.lfWeight >= FW_BOLD ? fsBold : 0) | (lf.lfItalic ? fsItalic : 0) |
                                   (lf.lfUnderline ? fsUnderline : 0) | (lf.lfStrikeOut ? fsStrikeOut : 0));
    FCharset = lf.lfCharSet;
    switch (lf.lfPitchAndFamily & 3) {
    case VARIABLE_PITCH: FPitch = TFontPitch::fpVariable; break;
    case FIXED_PITCH: FPitch = TFontPitch::fpFixed; break;
    default: FPitch = TFontPitch::fpDefault; break;
    }
    FOrientation = lf.lfEscapement;
    Changed(handle);
}

void TFont::SetName(const std::string& name)
{
    if (name.empty() || name == FName)
        return;
    FName = name;
    Changed();
}

void TFont::SetHeight(int height)
{
    if (height == FHeight)
        return;
    FHeight = height;
    Changed();
}

int TFont::GetSize() const
{
    return -MulDiv(FHeight, 72, FPixelsPerInch);
}

void TFont::SetSize(int points)
{
    SetHeight(-MulDiv(points, FPixelsPerInch, 72));
}

void TFont::SetStyle(TFontStyles style)
{
    if (style == FStyle)
        return;
    FStyle = style;
    Changed();
}

void TFont::SetColor(TColor color)
{
    if (color == FColor)
        return;
    // The colour is not part of the HFONT: the handle stays.
    FColor = color;
    OnChange(this);
}

void TFont::SetCharset(TFontCharset charset)
{
    if (charset == FCharset)
        return;
    FCharset = charset;
    Changed();
}

void TFont::SetPitch(TFontPitch pitch)
{
    if (pitch == FPitch)
        return;
    FPitch = pitch;
    Changed();
}

void TFont::SetOrientation(int tenths)
{
    if (tenths == FOrientation)
        return;
    FOrientation = tenths;
    Changed();
}

// ---------------------------------------------------------------------------------------------

void TPen::Assign(TPersistent* source)
{
    auto* pen = dynamic_cast<TPen*>(source);
    if (!pen) {
        TGraphicsObject::Assign(source);
        return;
    }
    if (pen == this)
        return;
    FColor = pen->FColor;
    FWidth = pen->FWidth;
    FStyle = pen->FStyle;
    FMode = pen->FMode;
    Changed();
}

HPEN TPen::GetHandle()
{
    static const int styles[] = {PS_SOLID, PS_DASH, PS_DOT, PS_DASHDOT, PS_DASHDOTDOT, PS_NULL, PS_INSIDEFRAME};
    TGraphicsObjectLock lock(this);
    if (!CachedHandle()) {
        HPEN pen = CreatePen(styles[static_cast<int>(FStyle)], FWidth, static_cast<COLORREF>(ColorToRGB(FColor)));
        if (!pen)
            RaiseLastOSError("CreatePen");
        CacheHandle(pen);
    }
    return static_cast<HPEN>(CachedHandle());
}

void TPen::SetColor(TColor color)
{
    if (color == FColor)
        return;
    FColor = color;
    Changed();
}

void TPen::SetWidth(int width)
{
    if (width < 0 || width == FWidth)
        return;
    FWidth = width;
    Changed();
}

void TPen::SetStyle(TPenStyle style)
{
    if (style == FStyle)
        return;
    FStyle = style;
    Changed();
}

void TPen::SetMode(TPenMode mode)
{
    if (mode == FMode)
        return;
    FMode = mode;
    // The mode is a context setting, not part of the HPEN.
    OnChange(this);
}

int TPen::GetRop2() const
{
    static const int rops[] = {R2_BLACK, R2_WHITE, R2_NOP, R2_NOT, R2_COPYPEN, R2_NOTCOPYPEN, R2_MERGEPENNOT, R2_MASKPENNOT,
                               R2_MERGENOTPEN, R2_MASKNOTPEN, R2_MERGEPEN, R2_NOTMERGEPEN, R2_MASKPEN, R2_NOTMASKPEN,
                               R2_XORPEN, R2_NOTXORPEN};
    return rops[static_cast<int>(FMode)];
}

// ---------------------------------------------------------------------------------------------

void TBrush::Assign(TPersistent* source)
{
    auto* brush = dynamic_cast<TBrush*>(source);
    if (!brush) {
        TGraphicsObject::Assign(source);
        return;
    }
    if (brush == this)
        return;
    FColor = brush->FColor;
    FStyle = brush->FStyle;
    FBitmap = brush->FBitmap;
    Changed();
}

HBRUSH TBrush::GetHandle()
{
    static const int hatches[] = {0, 0, HS_HORIZONTAL, HS_VERTICAL, HS_FDIAGONAL, HS_BDIAGONAL, HS_CROSS, HS_DIAGCROSS};
    TGraphicsObjectLock lock(this);
    if (!CachedHandle()) {
        HBRUSH brush = nullptr;
        COLORREF color = static_cast<COLORREF>(ColorToRGB(FColor));
        if (FBitmap && !FBitmap->GetEmpty())
            brush = CreatePatternBrush(FBitmap->GetHandle());
        else if (FStyle == TBrushStyle::bsSolid)
            brush = CreateSolidBrush(color);
        else if (FStyle == TBrushStyle::bsClear)
            brush = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
        else
            brush = CreateHatchBrush(hatches[static_cast<int>(FStyle)], color);
        if (!brush)
            RaiseLastOSError("CreateBrush");
        CacheHandle(brush);
    }
    return static_cast<HBRUSH>(CachedHandle());
}

void TBrush::SetColor(TColor color)
{
    if (color == FColor)
        return;
    FColor = color;
    if (FStyle == TBrushStyle::bsClear)
        FStyle = TBrushStyle::bsSolid;
    Changed();
}

void TBrush::SetStyle(TBrushStyle style)
{
    if (style == FStyle)
        return;
    FStyle = style;
    Changed();
}

void TBrush::SetBitmap(TBitmap* bitmap)
{
    if (bitmap == FBitmap)
        return;
    FBitmap = bitmap;
    Changed();
}

// ---------------------------------------------------------------------------------------------

TCanvas::TCanvas()
    : FFont(new TFont()), FPen(new TPen()), FBrush(new TBrush())
{
    InitializeCriticalSection(&FLock);
    FFont->SetOwnerLock(&FLock);
    FPen->SetOwnerLock(&FLock);
    FBrush->SetOwnerLock(&FLock);
    FFont->OnChange = TNotifyEvent(this, &TCanvas::FontChanged);
    FPen->OnChange = TNotifyEvent(this, &TCanvas::PenChanged);
    FBrush->OnChange = TNotifyEvent(this, &TCanvas::BrushChanged);
}

TCanvas::~TCanvas()
{
    SetHandle(nullptr);
    FFont.reset();
    FPen.reset();
    FBrush.reset();
    DeleteCriticalSection(&FLock);
}

HDC TCanvas::GetHandle()
{
    RequiredState(csAllValid);
    return FHandle;
}

void TCanvas::SetHandle(HDC dc)
{
    if (dc == FHandle)
        return;
    if (FHandle)
        DeselectHandles();
    FHandle = dc;
    FState = dc ? unsigned{csHandleValid} : 0u;
}

void TCanvas::Lock()
{
    EnterCriticalSection(&FLock);
    ++FLockCount;
}

bool TCanvas::TryLock()
{
    if (!TryEnterCriticalSection(&FLock))
        return false;
    ++FLockCount;
    return true;
}

void TCanvas::Unlock()
{
    --FLockCount;
    LeaveCriticalSection(&FLock);
}

void TCanvas::RequiredState(unsigned state)
{
    unsigned need = state & ~FState;
    if (!need)
        return;
    if (need & csHandleValid) {
        CreateHandle();
        if (!FHandle)
            throw EInvalidOperation("Canvas does not allow drawing");
    }
    if (need & csFontValid)
        SelectFont();
    if (need & csPenValid)
        SelectPen();
    if (need & csBrushValid)
        SelectBrush();
}

void TCanvas::SelectFont()
{
    FSelectedFont = FFont->GetHandle();
    SelectObject(FHandle, FSelectedFont);
    SetTextColor(FHandle, static_cast<COLORREF>(ColorToRGB(FFont->GetColor())));
    FState |= csFontValid;
}

void TCanvas::SelectPen()
{
    SelectObject(FHandle, FPen->GetHandle());
    SetROP2(FHandle, FPen->GetRop2());
    FState |= csPenValid;
}

void TCanvas::SelectBrush()
{
    UnrealizeObject(FBrush->GetHandle());
    SelectObject(FHandle, FBrush->GetHandle());
    SetBkColor(FHandle, static_cast<COLORREF>(ColorToRGB(FBrush->GetColor())));
    SetBkMode(FHandle, FBrush->GetStyle() == TBrushStyle::bsClear ? TRANSPARENT : OPAQUE);
    FState |= csBrushValid;
}

void TCanvas::DeselectHandles()
{
    if (FState & csFontValid)
        SelectObject(FHandle, GetStockObject(SYSTEM_FONT));
    if (FState & csPenValid)
        SelectObject(FHandle, GetStockObject(BLACK_PEN));
    if (FState & csBrushValid)
        SelectObject(FHandle, GetStockObject(HOLLOW_BRUSH));
    FState &= ~(csFontValid | csPenValid | csBrushValid);
}

void TCanvas::FontChanged(TObject*)
{
    // A change that keeps the font's handle (a new colour, or the same font assigned again) leaves it
    // selected: only the text colour is set again.
    if ((FState & csFontValid) && FFont->HandleAllocated() && FFont->GetHandle() == FSelectedFont) {
        SetTextColor(FHandle, static_cast<COLORREF>(ColorToRGB(FFont->GetColor())));
        return;
    }
    if (FState & csFontValid) {
        FState &= ~csFontValid;
        SelectObject(FHandle, GetStockObject(SYSTEM_FONT));
    }
}

void TCanvas::PenChanged(TObject*)
{
    if (FState & csPenValid) {
        FState &= ~csPenValid;
        SelectObject(FHandle, GetStockObject(BLACK_PEN));
    }
}

void TCanvas::BrushChanged(TObject*)
{
    if (FState & csBrushValid) {
        FState &= ~csBrushValid;
        SelectObject(FHandle, GetStockObject(HOLLOW_BRUSH));
    }
}

void TCanvas::Changing()
{
    OnChanging(this);
}

void TCanvas::Changed()
{
    OnChange(this);
}

void TCanvas::SetPenPos(POINT p)
{
    MoveTo(p.x, p.y);
}

void TCanvas::MoveTo(int x, int y)
{
    RequiredState(csHandleValid);
    MoveToEx(FHandle, x, y, nullptr);
    FPenPos = {x, y};
}

void TCanvas::LineTo(int x, int y)
{
    Changing();
    RequiredState(csHandleValid | csPenValid | csBrushValid);
    ::LineTo(FHandle, x, y);
    FPenPos = {x, y};
    Changed();
}

void TCanvas::Rectangle(int x1, int y1, int x2, int y2)
{
    Changing();
    RequiredState(csHandleValid | csPenValid | csBrushValid);
    ::Rectangle(FHandle, x1, y1, x2, y2);
    Changed();
}

void TCanvas::RoundRect(int x1, int y1, int x2, int y2, int cornerWidth, int cornerHeight)
{
    Changing();
    RequiredState(csHandleValid | csPenValid | csBrushValid);
    ::RoundRect(FHandle, x1, y1, x2, y2, cornerWidth, cornerHeight);
    Changed();
}

void TCanvas::Ellipse(int x1, int y1, int x2, int y2)
{
    Changing();
    RequiredState(csHandleValid | csPenValid | csBrushValid);
    ::Ellipse(FHandle, x1, y1, x2, y2);
    Changed();
}

void TCanvas::Polygon(const std::vector<POINT>& points)
{
    if (points.empty())
        return;
    Changing();
    RequiredState(csHandleValid | csPenValid | csBrushValid);
    ::Polygon(FHandle, points.data(), static_cast<int>(points.size()));
    Changed();
}

void TCanvas::Polyline(const std::vector<POINT>& points)
{
    if (points.empty())
        return;
    Changing();
    RequiredState(csHandleValid | csPenValid | csBrushValid);
    ::Polyline(FHandle, points.data(), static_cast<int>(points.size()));
    Changed();
}

void TCanvas::FillRect(const RECT& r)
{
    Changing();
    RequiredState(csHandleValid | csBrushValid);
    ::FillRect(FHandle, &r, FBrush->GetHandle());
    Changed();
}

void TCanvas::FrameRect(const RECT& r)
{
    Changing();
    RequiredState(csHandleValid | csBrushValid);
    ::FrameRect(FHandle, &r, FBrush->GetHandle());
    Changed();
}

void TCanvas::TextOut(int x, int y, const std::string& text)
{
    Changing();
    RequiredState(csHandleValid | csFontValid | csBrushValid);
    ExtTextOutA(FHandle, x, y, static_cast<UINT>(FTextFlags), nullptr, text.data(), static_cast<UINT>(text.size()), nullptr);
    SIZE size{};
    GetTextExtentPoint32A(FHandle, text.data(), static_cast<int>(text.size()), &size);
    MoveToEx(FHandle, x + size.cx, y, nullptr);
    FPenPos = {x + size.cx, y};
    Changed();
}

void TCanvas::TextRect(const RECT& r, int x, int y, const std::string& text)
{
    Changing();
    RequiredState(csHandleValid | csFontValid | csBrushValid);
    UINT options = ETO_CLIPPED | static_cast<UINT>(FTextFlags);
    if (FBrush->GetStyle() != TBrushStyle::bsClear)
        options |= ETO_OPAQUE;
    ExtTextOutA(FHandle, x, y, options, &r, text.data(), static_cast<UINT>(text.size()), nullptr);
    Changed();
}

SIZE TCanvas::TextExtent(const std::string& text)
{
    RequiredState(csHandleValid | csFontValid);
    SIZE size{};
    GetTextExtentPoint32A(FHandle, text.data(), static_cast<int>(text.size()), &size);
    return size;
}

void TCanvas::Draw(int x, int y, TGraphic* graphic)
{
    if (!graphic || graphic->GetEmpty())
        return;
    RECT r{x, y, x + graphic->GetWidth(), y + graphic->GetHeight()};
    StretchDraw(r, graphic);
}

void TCanvas::StretchDraw(const RECT& r, TGraphic* graphic)
{
    if (!graphic || graphic->GetEmpty())
        return;
    Changing();
    RequiredState(csHandleValid);
    graphic->Draw(this, r);
    Changed();
}

TColor TCanvas::GetPixel(int x, int y)
{
    RequiredState(csHandleValid);
    return static_cast<TColor>(::GetPixel(FHandle, x, y));
}

void TCanvas::SetPixel(int x, int y, TColor color)
{
    Changing();
    RequiredState(csHandleValid);
    ::SetPixel(FHandle, x, y, static_cast<COLORREF>(ColorToRGB(color)));
    Changed();
}

void TCanvas::CopyRect(const RECT& dest, TCanvas* source, const RECT& sourceRect)
{
    if (!source)
        return;
    Changing();
    RequiredState(csHandleValid | csFontValid | csBrushValid);
    HDC src = source->GetHandle();
    StretchBlt(FHandle, dest.left, dest.top, dest.right - dest.left, dest.bottom - dest.top, src, sourceRect.left,
               sourceRect.top, sourceRect.right - sourceRect.left, sourceRect.bottom - sourceRect.top, FCopyMode);
    Changed();
}

RECT TCanvas::GetClipRect()
{
    RequiredState(csHandleValid);
    RECT r{};
    GetClipBox(FHandle, &r);
    return r;
}

// ---------------------------------------------------------------------------------------------

void TGraphic::SetTransparent(bool value)
{
    if (value == FTransparent)
        return;
    FTransparent = value;
    Changed();
}

void TGraphic::SetModified(bool value)
{
    if (value)
        Changed();
    else
        FModified = false;
}

void TGraphic::Changed()
{
    FModified = true;
    OnChange(this);
}

void TGraphic::LoadFromFile(const std::string& fileName)
{
    TFileStream stream(fileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(&stream);
}

void TGraphic::SaveToFile(const std::string& fileName)
{
    TFileStream stream(fileName, fmCreate);
    SaveToStream(&stream);
}

// ---------------------------------------------------------------------------------------------
// Bitmaps.

namespace {

uint16_t ReadU16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t ReadU32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

void WriteU16(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void WriteU32(uint8_t* p, uint32_t v)
{
    WriteU16(p, v);
    WriteU16(p + 2, v >> 16);
}

constexpr int MaxBitmapSide = 65535;
constexpr uint16_t BitmapFileType = 0x4D42;   // "BM"
constexpr size_t FileHeaderSize = 14;

int BitsPerPixel(TPixelFormat format)
{
    switch (format) {
    case TPixelFormat::pf1bit: return 1;
    case TPixelFormat::pf4bit: return 4;
    case TPixelFormat::pf8bit: return 8;
    case TPixelFormat::pf15bit:
    case TPixelFormat::pf16bit: return 16;
    case TPixelFormat::pf24bit: return 24;
    default: return 32;
    }
}

size_t RowSize(int width, int bpp)
{
    return ((static_cast<size_t>(width) * bpp + 31) / 32) * 4;
}

RGBQUAD Quad(uint8_t r, uint8_t g, uint8_t b)
{
    return RGBQUAD{b, g, r, 0};
}

// The 16 colours of the classic VGA palette, in their usual order.
std::vector<RGBQUAD> VgaColors()
{
    return {Quad(0, 0, 0), Quad(128, 0, 0), Quad(0, 128, 0), Quad(128, 128, 0), Quad(0, 0, 128), Quad(128, 0, 128),
            Quad(0, 128, 128), Quad(192, 192, 192), Quad(128, 128, 128), Quad(255, 0, 0), Quad(0, 255, 0),
            Quad(255, 255, 0), Quad(0, 0, 255), Quad(255, 0, 255), Quad(0, 255, 255), Quad(255, 255, 255)};
}

std::vector<RGBQUAD> DefaultColorTable(TPixelFormat format)
{
    switch (format) {
    case TPixelFormat::pf1bit: return {Quad(0, 0, 0), Quad(255, 255, 255)};
    case TPixelFormat::pf4bit: return VgaColors();
    case TPixelFormat::pf8bit: {
        std::vector<RGBQUAD> colors = VgaColors();
        for (int r = 0; r < 6; ++r)
            for (int g = 0; g < 6; ++g)
                for (int b = 0; b < 6; ++b)
                    colors.push_back(Quad(static_cast<uint8_t>(r * 51), static_cast<uint8_t>(g * 51), static_cast<uint8_t>(b * 51)));
        for (int i = 0; i < 24; ++i) {
            auto v = static_cast<uint8_t>(8 + i * 10);
            colors.push_back(Quad(v, v, v));
        }
        return colors;
    }
    default: return {};
    }
}

constexpr DWORD Masks565[3] = {0xF800, 0x07E0, 0x001F};
constexpr DWORD Masks555[3] = {0x7C00, 0x03E0, 0x001F};
constexpr DWORD Masks888[3] = {0xFF0000, 0x00FF00, 0x0000FF};

bool SameMasks(const DWORD* a, const DWORD* b)
{
    return a[0] == b[0] && a[1] == b[1] && a[2] == b[2];
}

// One channel of a bit-field pixel, scaled to 0..255.
struct TChannel {
    DWORD Mask = 0;
    int Shift = 0;
    DWORD Max = 0;
    explicit TChannel(DWORD mask) : Mask(mask)
    {
        if (!mask)
            return;
        while (!((mask >> Shift) & 1))
            ++Shift;
        Max = mask >> Shift;
    }
    uint8_t Get(DWORD pixel) const
    {
        if (!Max)
            return 0;
        return static_cast<uint8_t>(((pixel & Mask) >> Shift) * 255u / Max);
    }
};

} // namespace

// What a DIB header describes: checked against the bytes that are really there.
struct TBitmap::TDibLayout {
    int Width = 0;
    int Height = 0;
    bool TopDown = false;
    int BitCount = 0;
    DWORD Compression = BI_RGB;
    DWORD Masks[3] = {};
    std::vector<RGBQUAD> Colors;
    size_t HeaderBytes = 0;   // info header, masks and colour table
    size_t RowBytes = 0;
    size_t BitsSize = 0;
};

TBitmap::TDibLayout TBitmap::ParseDibHeader(const uint8_t* p, size_t avail)
{
    TDibLayout dib;
    if (avail < 4)
        throw EInvalidGraphic("Bitmap header is truncated");
    uint32_t headerSize = ReadU32(p);
    bool core = headerSize == sizeof(BITMAPCOREHEADER);
    if (!core && (headerSize < sizeof(BITMAPINFOHEADER) || headerSize > sizeof(BITMAPV5HEADER)))
        throw EInvalidGraphic("Bitmap header is not valid");
    if (avail < headerSize)
        throw EInvalidGraphic("Bitmap header is truncated");
    int64_t width, height;
    unsigned planes;
    uint32_t colorsUsed = 0;
    if (core) {
        width = ReadU16(p + 4);
        height = ReadU16(p + 6);
        planes = ReadU16(p + 8);
        dib.BitCount = ReadU16(p + 10);
    } else {
        width = static_cast<int32_t>(ReadU32(p + 4));
        height = static_cast<int32_t>(ReadU32(p + 8));
        planes = ReadU16(p + 12);
        dib.BitCount = ReadU16(p + 14);
        dib.Compression = ReadU32(p + 16);
        colorsUsed = ReadU32(p + 32);
    }
    dib.TopDown = height < 0;
    height = height < 0 ? -height : height;
    if (planes != 1 || width < 1 || height < 1 || width > MaxBitmapSide || height > MaxBitmapSide)
        throw EInvalidGraphic("Bitmap dimensions are not valid");
    dib.Width = static_cast<int>(width);
    dib.Height = static_cast<int>(height);
    int bpp = dib.BitCount;
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)
        throw EInvalidGraphic("Unsupported bitmap colour depth");
    size_t used = headerSize;
    if (dib.Compression == BI_BITFIELDS) {
        if (bpp != 16 && bpp != 32)
            throw EInvalidGraphic("Bitmap bit fields need 16 or 32 bits per pixel");
        const uint8_t* masks = p + sizeof(BITMAPINFOHEADER);
        if (headerSize < sizeof(BITMAPINFOHEADER) + 12) {
            if (avail < used + 12)
                throw EInvalidGraphic("Bitmap header is truncated");
            used += 12;
        }
        for (int i = 0; i < 3; ++i)
            dib.Masks[i] = ReadU32(masks + 4 * i);
    } else if (dib.Compression != BI_RGB) {
        throw EInvalidGraphic("Unsupported bitmap compression");
    }
    size_t colorCount = colorsUsed;
    if (bpp <= 8) {
        size_t maxColors = size_t{1} << bpp;
        if (colorCount == 0)
            colorCount = maxColors;
        if (colorCount > maxColors)
            throw EInvalidGraphic("Bitmap colour table is not valid");
    } else if (colorCount > 256) {
        throw EInvalidGraphic("Bitmap colour table is not valid");
    }
    size_t entrySize = core ? 3 : 4;
    if (avail - used < colorCount * entrySize)
        throw EInvalidGraphic("Bitmap colour table is truncated");
    if (bpp <= 8) {
        for (size_t i = 0; i < colorCount; ++i) {
            const uint8_t* e = p + used + i * entrySize;
            dib.Colors.push_back(RGBQUAD{e[0], e[1], e[2], 0});
        }
    }
    used += colorCount * entrySize;
    dib.HeaderBytes = used;
    dib.RowBytes = RowSize(dib.Width, bpp);
    dib.BitsSize = dib.RowBytes * static_cast<size_t>(dib.Height);
    return dib;
}

TBitmap::TBitmap() = default;

TBitmap::~TBitmap()
{
    FCanvas.reset();
    FreeImage();
}

void TBitmap::FreeContext()
{
    if (FCanvas)
        FCanvas->FreeContext();
}

void TBitmap::FreeImage()
{
    FreeContext();
    if (FHandle)
        DeleteObject(FHandle);
    FHandle = nullptr;
    FBits = nullptr;
    FRowSize = 0;
}

int TBitmap::GetBitsPerPixel() const
{
    return BitsPerPixel(FPixelFormat);
}

std::vector<uint8_t> TBitmap::InfoBytes(bool bottomUp) const
{
    bool fields = FPixelFormat == TPixelFormat::pf16bit;
    std::vector<uint8_t> info(sizeof(BITMAPINFOHEADER) + (fields ? 12 : 0) + FColorTable.size() * sizeof(RGBQUAD));
    BITMAPINFOHEADER h{};
    h.biSize = sizeof(h);
    h.biWidth = FWidth;
    h.biHeight = bottomUp ? FHeight : -FHeight;
    h.biPlanes = 1;
    h.biBitCount = static_cast<WORD>(GetBitsPerPixel());
    h.biCompression = fields ? BI_BITFIELDS : BI_RGB;
    h.biSizeImage = static_cast<DWORD>(FRowSize * FHeight);
    h.biClrUsed = static_cast<DWORD>(FColorTable.size());
    std::memcpy(info.data(), &h, sizeof(h));
    size_t at = sizeof(h);
    if (fields) {
        std::memcpy(info.data() + at, FMasks, 12);
        at += 12;
    }
    if (!FColorTable.empty())
        std::memcpy(info.data() + at, FColorTable.data(), FColorTable.size() * sizeof(RGBQUAD));
    return info;
}

void TBitmap::Allocate(int width, int height, TPixelFormat format, const std::vector<RGBQUAD>& colors, const DWORD* masks)
{
    FreeImage();
    FPixelFormat = format;
    FColorTable = colors;
    std::memcpy(FMasks, masks ? masks : (format == TPixelFormat::pf16bit ? Masks565 : Masks555), sizeof(FMasks));
    FWidth = std::max(width, 0);
    FHeight = std::max(height, 0);
    if (FWidth == 0 || FHeight == 0)
        return;
    if (FWidth > MaxBitmapSide || FHeight > MaxBitmapSide) {
        FWidth = FHeight = 0;
        throw EInvalidGraphic("Bitmap dimensions are not valid");
    }
    FRowSize = static_cast<int>(RowSize(FWidth, GetBitsPerPixel()));
    std::vector<uint8_t> info = InfoBytes(false);
    void* bits = nullptr;
    HBITMAP handle = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(info.data()), DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!handle || !bits) {
        int w = FWidth, h = FHeight;
        FWidth = FHeight = FRowSize = 0;
        if (handle)
            DeleteObject(handle);
        throw EOutOfResources("Out of system resources: cannot create a bitmap of " + std::to_string(w) + " x " +
                              std::to_string(h) + " pixels");
    }
    FHandle = handle;
    FBits = bits;
}

void TBitmap::CopyPixelsFrom(HBITMAP source, int width, int height)
{
    TBitmapDC src(nullptr, source);
    TBitmapDC dst(nullptr, FHandle);
    BitBlt(dst.Get(), 0, 0, width, height, src.Get(), 0, 0, SRCCOPY);
    GdiFlush();
}

void TBitmap::SetSize(int width, int height)
{
    width = std::max(width, 0);
    height = std::max(height, 0);
    if (width == FWidth && height == FHeight)
        return;
    FreeContext();
    {
        TGdiObject<> old(FHandle);
        int oldWidth = FWidth, oldHeight = FHeight;
        FHandle = nullptr;
        FBits = nullptr;
        Allocate(width, height, FPixelFormat, FColorTable.empty() ? DefaultColorTable(FPixelFormat) : FColorTable, FMasks);
        if (FHandle) {
            TBitmapDC dst(nullptr, FHandle);
            PatBlt(dst.Get(), 0, 0, width, height, WHITENESS);
            if (old) {
                TBitmapDC src(nullptr, old.Get());
                BitBlt(dst.Get(), 0, 0, std::min(width, oldWidth), std::min(height, oldHeight), src.Get(), 0, 0, SRCCOPY);
            }
            GdiFlush();
        }
    }
    Changed();
}

void TBitmap::SetPixelFormat(TPixelFormat format)
{
    if (format == FPixelFormat)
        return;
    if (!FHandle) {
        FPixelFormat = format;
        FColorTable = DefaultColorTable(format);
        std::memcpy(FMasks, format == TPixelFormat::pf16bit ? Masks565 : Masks555, sizeof(FMasks));
        Changed();
        return;
    }
    FreeContext();
    {
        TGdiObject<> old(FHandle);
        FHandle = nullptr;
        FBits = nullptr;
        Allocate(FWidth, FHeight, format, DefaultColorTable(format), nullptr);
        CopyPixelsFrom(static_cast<HBITMAP>(old.Get()), FWidth, FHeight);
    }
    Changed();
}

TCanvas* TBitmap::GetCanvas()
{
    if (!FCanvas) {
        FCanvas.reset(new TBitmapCanvas(this));
        FCanvas->OnChange = TNotifyEvent(this, &TBitmap::CanvasChanged);
    }
    return FCanvas.get();
}

void TBitmap::CanvasChanged(TObject*)
{
    Changed();
}

void TBitmap::SetHandle(HBITMAP handle)
{
    if (handle == FHandle)
        return;
    if (!handle) {
        FreeImage();
        FWidth = FHeight = 0;
        Changed();
        return;
    }
    DIBSECTION ds{};
    int got = GetObjectA(handle, sizeof(ds), &ds);
    if (got < static_cast<int>(sizeof(BITMAP)))
        throw EInvalidGraphic("Invalid bitmap handle");
    bool isDib = got == static_cast<int>(sizeof(DIBSECTION)) && ds.dsBm.bmBits;
    int bpp = ds.dsBm.bmBitsPixel * ds.dsBm.bmPlanes;
    TPixelFormat format = TPixelFormat::pf32bit;
    std::vector<RGBQUAD> colors;
    const DWORD* masks = nullptr;
    switch (bpp) {
    case 1: format = TPixelFormat::pf1bit; break;
    case 4: format = TPixelFormat::pf4bit; break;
    case 8: format = TPixelFormat::pf8bit; break;
    case 16:
        format = isDib && ds.dsBmih.biCompression == BI_BITFIELDS && SameMasks(ds.dsBitfields, Masks565)
                     ? TPixelFormat::pf16bit
                     : TPixelFormat::pf15bit;
        break;
    case 24: format = TPixelFormat::pf24bit; break;
    default: break;
    }
    if (bpp <= 8) {
        colors = DefaultColorTable(format);
        if (isDib) {
            TBitmapDC src(nullptr, handle);
            RGBQUAD table[256];
            UINT n = GetDIBColorTable(src.Get(), 0, 256, table);
            if (n)
                colors.assign(table, table + n);
        }
    }
    Allocate(ds.dsBm.bmWidth, ds.dsBm.bmHeight, format, colors, masks);
    if (FHandle)
        CopyPixelsFrom(handle, FWidth, FHeight);
    DeleteObject(handle);
    Changed();
}

HBITMAP TBitmap::ReleaseHandle()
{
    FreeContext();
    HBITMAP handle = GetHandle();
    FHandle = nullptr;
    FBits = nullptr;
    FWidth = FHeight = FRowSize = 0;
    return handle;
}

void* TBitmap::GetScanLine(int y)
{
    if (!FBits || y < 0 || y >= FHeight)
        throw EInvalidGraphicOperation("Scan line index out of range");
    GdiFlush();
    return static_cast<uint8_t*>(FBits) + static_cast<size_t>(y) * FRowSize;
}

void TBitmap::Draw(TCanvas* canvas, const RECT& r)
{
    HDC dc = canvas->GetHandle();
    int w = r.right - r.left, h = r.bottom - r.top;
    if (GetTransparent()) {
        HDC src = GetCanvas()->GetHandle();
        COLORREF key = ::GetPixel(src, 0, FHeight - 1);
        TransparentBlt(dc, r.left, r.top, w, h, src, 0, 0, FWidth, FHeight, key);
        return;
    }
    GdiFlush();
    std::vector<uint8_t> info = InfoBytes(false);
    bool stretch = w != FWidth || h != FHeight;
    int oldMode = stretch && GetBitsPerPixel() > 1 ? SetStretchBltMode(dc, COLORONCOLOR) : 0;
    StretchDIBits(dc, r.left, r.top, w, h, 0, 0, FWidth, FHeight, FBits, reinterpret_cast<BITMAPINFO*>(info.data()),
                  DIB_RGB_COLORS, canvas->GetCopyMode());
    if (oldMode)
        SetStretchBltMode(dc, oldMode);
}

void TBitmap::Assign(TPersistent* source)
{
    if (!source) {
        FreeImage();
        FWidth = FHeight = 0;
        Changed();
        return;
    }
    if (auto* bitmap = dynamic_cast<TBitmap*>(source)) {
        if (bitmap == this)
            return;
        Allocate(bitmap->FWidth, bitmap->FHeight, bitmap->FPixelFormat, bitmap->FColorTable, bitmap->FMasks);
        if (FHandle) {
            GdiFlush();
            std::memcpy(FBits, bitmap->FBits, static_cast<size_t>(FRowSize) * FHeight);
        }
        SetTransparent(bitmap->GetTransparent());
        Changed();
        return;
    }
    if (auto* graphic = dynamic_cast<TGraphic*>(source)) {
        FreeImage();
        Allocate(graphic->GetWidth(), graphic->GetHeight(), FPixelFormat,
                 FColorTable.empty() ? DefaultColorTable(FPixelFormat) : FColorTable, FMasks);
        if (FHandle) {
            TCanvas* canvas = GetCanvas();
            canvas->GetBrush()->SetColor(clWhite);
            canvas->GetBrush()->SetStyle(TBrushStyle::bsSolid);
            canvas->FillRect(RECT{0, 0, FWidth, FHeight});
            canvas->Draw(0, 0, graphic);
        }
        Changed();
        return;
    }
    TGraphic::Assign(source);
}

void TBitmap::LoadDib(const TDibLayout& dib, const uint8_t* bits, size_t bitsSize)
{
    if (bitsSize < dib.BitsSize)
        throw EInvalidGraphic("Bitmap data is truncated");
    TPixelFormat format = TPixelFormat::pf32bit;
    const DWORD* masks = nullptr;
    bool convert = false;
    switch (dib.BitCount) {
    case 1: format = TPixelFormat::pf1bit; break;
    case 4: format = TPixelFormat::pf4bit; break;
    case 8: format = TPixelFormat::pf8bit; break;
    case 24: format = TPixelFormat::pf24bit; break;
    case 16:
        if (dib.Compression == BI_RGB || SameMasks(dib.Masks, Masks555)) {
            format = TPixelFormat::pf15bit;
        } else if (SameMasks(dib.Masks, Masks565)) {
            format = TPixelFormat::pf16bit;
        } else {
            convert = true;
        }
        break;
    default:
        convert = dib.Compression == BI_BITFIELDS && !SameMasks(dib.Masks, Masks888);
        break;
    }
    Allocate(dib.Width, dib.Height, format, dib.Colors, masks);
    auto* dest = static_cast<uint8_t*>(FBits);
    TChannel red(dib.Masks[0]), green(dib.Masks[1]), blue(dib.Masks[2]);
    for (int y = 0; y < dib.Height; ++y) {
        const uint8_t* src = bits + dib.RowBytes * static_cast<size_t>(dib.TopDown ? y : dib.Height - 1 - y);
        uint8_t* row = dest + static_cast<size_t>(y) * FRowSize;
        if (!convert) {
            std::memcpy(row, src, dib.RowBytes);
            continue;
        }
        for (int x = 0; x < dib.Width; ++x) {
            DWORD pixel = dib.BitCount == 16 ? ReadU16(src + 2 * x) : ReadU32(src + 4 * x);
            uint8_t* out = row + 4 * x;
            out[0] = blue.Get(pixel);
            out[1] = green.Get(pixel);
            out[2] = red.Get(pixel);
            out[3] = 0;
        }
    }
    Changed();
}

void TBitmap::LoadFromPackedDIB(const void* data, size_t size)
{
    auto* bytes = static_cast<const uint8_t*>(data);
    TDibLayout dib = ParseDibHeader(bytes, size);
    LoadDib(dib, bytes + dib.HeaderBytes, size - dib.HeaderBytes);
}

void TBitmap::LoadFromStream(TStream* stream)
{
    int64_t available = stream->GetSize() - stream->GetPosition();
    if (available < static_cast<int64_t>(FileHeaderSize))
        throw EInvalidGraphic("Bitmap file is truncated");
    uint8_t header[FileHeaderSize];
    stream->ReadBuffer(header, sizeof(header));
    if (ReadU16(header) != BitmapFileType)
        throw EInvalidGraphic("Bitmap image is not valid");
    uint32_t offset = ReadU32(header + 10);
    available -= FileHeaderSize;
    if (offset < FileHeaderSize + 4 || static_cast<int64_t>(offset - FileHeaderSize) > available)
        throw EInvalidGraphic("Bitmap data offset is not valid");
    std::vector<uint8_t> info(offset - FileHeaderSize);
    stream->ReadBuffer(info.data(), static_cast<int32_t>(info.size()));
    TDibLayout dib = ParseDibHeader(info.data(), info.size());
    available -= info.size();
    if (static_cast<int64_t>(dib.BitsSize) > available)
        throw EInvalidGraphic("Bitmap data is truncated");
    std::vector<uint8_t> bits(dib.BitsSize);
    stream->ReadBuffer(bits.data(), static_cast<int32_t>(bits.size()));
    LoadDib(dib, bits.data(), bits.size());
}

void TBitmap::SaveToStream(TStream* stream)
{
    if (!FHandle)
        return;
    GdiFlush();
    std::vector<uint8_t> info = InfoBytes(true);
    size_t bitsSize = static_cast<size_t>(FRowSize) * FHeight;
    uint8_t header[FileHeaderSize] = {};
    WriteU16(header, BitmapFileType);
    WriteU32(header + 2, static_cast<uint32_t>(FileHeaderSize + info.size() + bitsSize));
    WriteU32(header + 10, static_cast<uint32_t>(FileHeaderSize + info.size()));
    stream->WriteBuffer(header, sizeof(header));
    stream->WriteBuffer(info.data(), static_cast<int32_t>(info.size()));
    auto* bits = static_cast<const uint8_t*>(FBits);
    for (int y = FHeight - 1; y >= 0; --y)
        stream->WriteBuffer(bits + static_cast<size_t>(y) * FRowSize, FRowSize);
}

HGLOBAL TBitmap::CreatePackedDIB() const
{
    if (!FHandle)
        throw EInvalidGraphicOperation("Cannot copy an empty bitmap");
    GdiFlush();
    std::vector<uint8_t> info = InfoBytes(true);
    size_t bitsSize = static_cast<size_t>(FRowSize) * FHeight;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, info.size() + bitsSize);
    if (!block)
        throw EOutOfMemory("Out of memory");
    auto* p = static_cast<uint8_t*>(GlobalLock(block));
    std::memcpy(p, info.data(), info.size());
    auto* bits = static_cast<const uint8_t*>(FBits);
    for (int y = 0; y < FHeight; ++y)
        std::memcpy(p + info.size() + static_cast<size_t>(y) * FRowSize, bits + static_cast<size_t>(FHeight - 1 - y) * FRowSize,
                    FRowSize);
    GlobalUnlock(block);
    return block;
}

void TBitmap::LoadFromClipboardFormat(UINT format, HANDLE data, HPALETTE)
{
    if (!data)
        throw EInvalidGraphic("The clipboard holds no picture data");
    if (format == CF_DIB) {
        TGlobalLock<const void> dib(data);
        if (!dib.Get())
            throw EInvalidGraphic("The clipboard picture cannot be read");
        LoadFromPackedDIB(dib.Get(), dib.Size());
        return;
    }
    if (format != CF_BITMAP)
        throw EInvalidGraphic("Unsupported clipboard format");
    // The clipboard keeps its bitmap: copy it.
    HBITMAP copy = static_cast<HBITMAP>(CopyImage(data, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (!copy)
        RaiseLastOSError("CopyImage");
    SetHandle(copy);
}

void TBitmap::SaveToClipboardFormat(UINT& format, HANDLE& data, HPALETTE& palette)
{
    if (!FHandle)
        throw EInvalidGraphicOperation("Cannot copy an empty bitmap");
    HBITMAP ddb = CreateCompatibleBitmap(TWindowDC().Get(), FWidth, FHeight);
    if (!ddb)
        RaiseLastOSError("CreateCompatibleBitmap");
    {
        TBitmapDC src(nullptr, FHandle);
        TBitmapDC dst(nullptr, ddb);
        BitBlt(dst.Get(), 0, 0, FWidth, FHeight, src.Get(), 0, 0, SRCCOPY);
    }
    format = CF_BITMAP;
    data = ddb;
    palette = nullptr;
}

// ---------------------------------------------------------------------------------------------

TBitmapCanvas::~TBitmapCanvas()
{
    FreeContext();
}

void TBitmapCanvas::CreateHandle()
{
    if (FMemoryDC)
        return;
    FMemoryDC = CreateCompatibleDC(nullptr);
    if (!FMemoryDC)
        RaiseLastOSError("CreateCompatibleDC");
    if (FBitmap->FHandle)
        FOldBitmap = SelectObject(FMemoryDC, FBitmap->FHandle);
    SetHandle(FMemoryDC);
}

void TBitmapCanvas::FreeContext()
{
    if (!FMemoryDC)
        return;
    SetHandle(nullptr);
    if (FOldBitmap)
        SelectObject(FMemoryDC, FOldBitmap);
    DeleteDC(FMemoryDC);
    FMemoryDC = nullptr;
    FOldBitmap = nullptr;
}

// ---------------------------------------------------------------------------------------------
// Metafiles.

SF_IMPLEMENT_CLASS(TMetafile, TGraphic)
SF_IMPLEMENT_CLASS(TIcon, TGraphic)
SF_IMPLEMENT_CLASS(TPicture, TPersistent)

namespace {

constexpr uint32_t PlaceableKey = 0x9AC6CDD7;
constexpr size_t PlaceableHeaderSize = 22;
constexpr size_t MetaHeaderSize = 18;
constexpr int HundredthMMPerInch = 2540;

uint16_t PlaceableChecksum(const uint8_t* header)
{
    uint16_t sum = 0;
    for (int i = 0; i < 10; ++i)
        sum ^= ReadU16(header + 2 * i);
    return sum;
}

int16_t ReadS16(const uint8_t* p)
{
    return static_cast<int16_t>(ReadU16(p));
}

int64_t Remaining(TStream* stream)
{
    return stream->GetSize() - stream->GetPosition();
}

} // namespace

TMetafile::~TMetafile()
{
    Clear();
}

void TMetafile::Clear()
{
    if (FHandle)
        DeleteEnhMetaFile(FHandle);
    FHandle = nullptr;
    FMMWidth = FMMHeight = 0;
}

int TMetafile::GetWidth() const
{
    return MulDiv(FMMWidth, ScreenPixelsPerInch(), HundredthMMPerInch);
}

int TMetafile::GetHeight() const
{
    return MulDiv(FMMHeight, ScreenPixelsPerInch(), HundredthMMPerInch);
}

void TMetafile::SetWidth(int width)
{
    SetMMWidth(MulDiv(width, HundredthMMPerInch, ScreenPixelsPerInch()));
}

void TMetafile::SetHeight(int height)
{
    SetMMHeight(MulDiv(height, HundredthMMPerInch, ScreenPixelsPerInch()));
}

void TMetafile::SetMMWidth(int value)
{
    if (value == FMMWidth)
        return;
    FMMWidth = value;
    Changed();
}

void TMetafile::SetMMHeight(int value)
{
    if (value == FMMHeight)
        return;
    FMMHeight = value;
    Changed();
}

void TMetafile::SetHandle(HENHMETAFILE handle)
{
    if (handle == FHandle)
        return;
    ENHMETAHEADER header{};
    if (handle && GetEnhMetaFileHeader(handle, sizeof(header), &header) == 0)
        throw EInvalidGraphic("Invalid metafile handle");
    Clear();
    FHandle = handle;
    if (handle) {
        FMMWidth = header.rclFrame.right - header.rclFrame.left;
        FMMHeight = header.rclFrame.bottom - header.rclFrame.top;
    }
    Changed();
}

HENHMETAFILE TMetafile::ReleaseHandle()
{
    HENHMETAFILE handle = FHandle;
    FHandle = nullptr;
    FMMWidth = FMMHeight = 0;
    return handle;
}

void TMetafile::Assign(TPersistent* source)
{
    if (!source) {
        Clear();
        Changed();
        return;
    }
    if (auto* meta = dynamic_cast<TMetafile*>(source)) {
        if (meta == this)
            return;
        HENHMETAFILE copy = nullptr;
        if (meta->FHandle) {
            copy = CopyEnhMetaFileA(meta->FHandle, nullptr);
            if (!copy)
                RaiseLastOSError("CopyEnhMetaFile");
        }
        Clear();
        FHandle = copy;
        FMMWidth = meta->FMMWidth;
        FMMHeight = meta->FMMHeight;
        FEnhanced = meta->FEnhanced;
        Changed();
        return;
    }
    TGraphic::Assign(source);
}

void TMetafile::Draw(TCanvas* canvas, const RECT& r)
{
    PlayEnhMetafileBounded(canvas->GetHandle(), FHandle, r);
}

void TMetafile::LoadFromStream(TStream* stream)
{
    if (Remaining(stream) < 4)
        throw EInvalidGraphic("Metafile is not valid");
    uint8_t first[4];
    stream->ReadBuffer(first, 4);
    uint32_t word = ReadU32(first);
    if (word == PlaceableKey)
        LoadPlaceable(stream);
    else if (word == EMR_HEADER)
        LoadEnhanced(stream, word);
    else
        throw EInvalidGraphic("Metafile is not valid");
}

namespace {

// GDI trusts every size, index and count in metafile bytes: damaged ones never reach it.
void CheckMetafileBits(const std::string& fault)
{
    if (!fault.empty())
        throw EInvalidGraphic("Metafile is damaged: " + fault);
}

// The bytes of an enhanced metafile handle, checked as loaded bytes are.
std::vector<uint8_t> EnhancedBits(HENHMETAFILE handle)
{
    const UINT size = GetEnhMetaFileBits(handle, 0, nullptr);
    std::vector<uint8_t> data(size);
    if (!size || GetEnhMetaFileBits(handle, size, data.data()) != size)
        RaiseLastOSError("GetEnhMetaFileBits");
    return data;
}

} // namespace

void TMetafile::LoadEnhanced(TStream* stream, uint32_t firstWord)
{
    // The fixed part of the header up to nRecords; the rest comes with the whole file.
    constexpr size_t fixed = 60;
    if (Remaining(stream) < static_cast<int64_t>(fixed - 4))
        throw EInvalidGraphic("Metafile is truncated");
    std::vector<uint8_t> data(fixed);
    WriteU32(data.data(), firstWord);
    stream->ReadBuffer(data.data() + 4, fixed - 4);
    uint32_t headerSize = ReadU32(data.data() + 4);
    uint32_t signature = ReadU32(data.data() + 40);
    uint32_t total = ReadU32(data.data() + 48);
    if (signature != ENHMETA_SIGNATURE || headerSize < 88 || total < headerSize || total % 4 != 0)
        throw EInvalidGraphic("Metafile is not valid");
    if (static_cast<int64_t>(total - fixed) > Remaining(stream))
        throw EInvalidGraphic("Metafile is truncated");
    data.resize(total);
    stream->ReadBuffer(data.data() + fixed, static_cast<int32_t>(total - fixed));
    CheckMetafileBits(EnhMetafileFault(data.data(), data.size()));
    HENHMETAFILE handle = SetEnhMetaFileBits(total, data.data());
    if (!handle)
        throw EInvalidGraphic("Metafile is not valid");
    SetHandle(handle);
    FEnhanced = true;
}

void TMetafile::LoadPlaceable(TStream* stream)
{
    if (Remaining(stream) < static_cast<int64_t>(PlaceableHeaderSize - 4 + MetaHeaderSize))
        throw EInvalidGraphic("Metafile is truncated");
    uint8_t header[PlaceableHeaderSize];
    WriteU32(header, PlaceableKey);
    stream->ReadBuffer(header + 4, PlaceableHeaderSize - 4);
    int left = ReadS16(header + 6), top = ReadS16(header + 8), right = ReadS16(header + 10), bottom = ReadS16(header + 12);
    int inch = ReadU16(header + 14);
    if (PlaceableChecksum(header) != ReadU16(header + 20) || inch == 0 || right == left || bottom == top)
        throw EInvalidGraphic("Metafile is not valid");
    uint8_t metaHeader[MetaHeaderSize];
    stream->ReadBuffer(metaHeader, MetaHeaderSize);
    const uint64_t size = WinMetafileSize(metaHeader, MetaHeaderSize);
    if (size < MetaHeaderSize)
        throw EInvalidGraphic("Metafile is not valid");
    if (static_cast<int64_t>(size - MetaHeaderSize) > Remaining(stream))
        throw EInvalidGraphic("Metafile is truncated");
    std::vector<uint8_t> data(size);
    std::memcpy(data.data(), metaHeader, MetaHeaderSize);
    stream->ReadBuffer(data.data() + MetaHeaderSize, static_cast<int32_t>(size - MetaHeaderSize));
    CheckMetafileBits(WinMetafileFault(data.data(), data.size()));
    int mmWidth = MulDiv(std::abs(right - left), HundredthMMPerInch, inch);
    int mmHeight = MulDiv(std::abs(bottom - top), HundredthMMPerInch, inch);
    METAFILEPICT pict{MM_ANISOTROPIC, mmWidth, mmHeight, nullptr};
    TOwnedHandle<HENHMETAFILE, &DeleteEnhMetaFile, THandleKind::GdiObject> handle(
        SetWinMetaFileBits(static_cast<UINT>(size), data.data(), nullptr, &pict));
    if (!handle)
        throw EInvalidGraphic("Metafile is not valid");
    // What GDI made of the records is checked as any enhanced metafile is, before it is drawn.
    const std::vector<uint8_t> converted = EnhancedBits(handle.Get());
    CheckMetafileBits(EnhMetafileFault(converted.data(), converted.size()));
    SetHandle(handle.Release());
    FMMWidth = mmWidth;
    FMMHeight = mmHeight;
    FEnhanced = false;
}

void TMetafile::SaveToStream(TStream* stream)
{
    if (!FHandle)
        return;
    if (FEnhanced || !SavePlaceable(stream))
        SaveEnhanced(stream);
}

void TMetafile::SaveEnhanced(TStream* stream)
{
    const std::vector<uint8_t> data = EnhancedBits(FHandle);
    stream->WriteBuffer(data.data(), static_cast<int32_t>(data.size()));
}

bool TMetafile::SavePlaceable(TStream* stream)
{
    std::vector<uint8_t> data;
    {
        TWindowDC screen;
        const UINT size = GetWinMetaFileBits(FHandle, 0, nullptr, MM_ANISOTROPIC, screen.Get());
        // GDI converts the records again on the second call and has been seen to write more than the
        // first call asked for: the buffer has room to spare, and its answer is checked against it.
        data.resize(size_t(size) + std::max<size_t>(size, 65536));
        const UINT written = size ? GetWinMetaFileBits(FHandle, UINT(data.size()), data.data(), MM_ANISOTROPIC, screen.Get()) : 0;
        if (written == 0 || written > data.size())
            return false;
        data.resize(written);
    }
    // Bytes that would not load again are not written: the enhanced form keeps the picture.
    if (!WinMetafileFault(data.data(), data.size()).empty())
        return false;
    // The bounding box is 16-bit: coarser units for pictures too large for twips.
    int inch = 1440;
    while (inch > 1 && std::max(MulDiv(FMMWidth, inch, HundredthMMPerInch), MulDiv(FMMHeight, inch, HundredthMMPerInch)) > 32767)
        inch /= 2;
    uint8_t header[PlaceableHeaderSize] = {};
    WriteU32(header, PlaceableKey);
    WriteU16(header + 10, static_cast<uint32_t>(MulDiv(FMMWidth, inch, HundredthMMPerInch)));
    WriteU16(header + 12, static_cast<uint32_t>(MulDiv(FMMHeight, inch, HundredthMMPerInch)));
    WriteU16(header + 14, static_cast<uint32_t>(inch));
    WriteU16(header + 20, PlaceableChecksum(header));
    stream->WriteBuffer(header, sizeof(header));
    stream->WriteBuffer(data.data(), static_cast<int32_t>(data.size()));
    return true;
}

void TMetafile::LoadFromClipboardFormat(UINT format, HANDLE data, HPALETTE)
{
    if (format != CF_ENHMETAFILE || !data)
        throw EInvalidGraphic("Unsupported clipboard format");
    // Another program made it: its bytes are checked as a file's are.
    const std::vector<uint8_t> bits = EnhancedBits(static_cast<HENHMETAFILE>(data));
    CheckMetafileBits(EnhMetafileFault(bits.data(), bits.size()));
    HENHMETAFILE copy = SetEnhMetaFileBits(UINT(bits.size()), bits.data());
    if (!copy)
        RaiseLastOSError("SetEnhMetaFileBits");
    SetHandle(copy);
    FEnhanced = true;
}

void TMetafile::SaveToClipboardFormat(UINT& format, HANDLE& data, HPALETTE& palette)
{
    if (!FHandle)
        throw EInvalidGraphicOperation("Cannot copy an empty metafile");
    HENHMETAFILE copy = CopyEnhMetaFileA(FHandle, nullptr);
    if (!copy)
        RaiseLastOSError("CopyEnhMetaFile");
    format = CF_ENHMETAFILE;
    data = copy;
    palette = nullptr;
}

// ---------------------------------------------------------------------------------------------
// Icons.

TIcon::TIcon()
{
    SetTransparent(true);
}

TIcon::~TIcon()
{
    Clear();
}

void TIcon::Clear()
{
    if (FHandle)
        DestroyIcon(FHandle);
    FHandle = nullptr;
    FWidth = FHeight = 0;
    FData.clear();
}

void TIcon::SetWidth(int)
{
    throw EInvalidGraphicOperation("Cannot change the size of an icon");
}

void TIcon::SetHeight(int)
{
    throw EInvalidGraphicOperation("Cannot change the size of an icon");
}

void TIcon::SetHandle(HICON handle)
{
    if (handle == FHandle)
        return;
    int width = 0, height = 0;
    if (handle) {
        ICONINFO info{};
        if (!GetIconInfo(handle, &info))
            throw EInvalidGraphic("Invalid icon handle");
        BITMAP bm{};
        GetObjectA(info.hbmMask, sizeof(bm), &bm);
        width = bm.bmWidth;
        height = info.hbmColor ? bm.bmHeight : bm.bmHeight / 2;
        DeleteObject(info.hbmMask);
        if (info.hbmColor)
            DeleteObject(info.hbmColor);
    }
    Clear();
    FHandle = handle;
    FWidth = width;
    FHeight = height;
    Changed();
}

void TIcon::Assign(TPersistent* source)
{
    if (!source) {
        Clear();
        Changed();
        return;
    }
    if (auto* icon = dynamic_cast<TIcon*>(source)) {
        if (icon == this)
            return;
        if (!icon->FData.empty()) {
            LoadImage(icon->FData);
            return;
        }
        SetHandle(icon->FHandle ? CopyIcon(icon->FHandle) : nullptr);
        return;
    }
    TGraphic::Assign(source);
}

void TIcon::LoadFromStream(TStream* stream)
{
    constexpr size_t dirSize = 6, entrySize = 16;
    int64_t available = Remaining(stream);
    if (available < static_cast<int64_t>(dirSize))
        throw EInvalidGraphic("Icon image is not valid");
    std::vector<uint8_t> data(dirSize);
    stream->ReadBuffer(data.data(), dirSize);
    unsigned count = ReadU16(data.data() + 4);
    if (ReadU16(data.data()) != 0 || ReadU16(data.data() + 2) != 1 || count == 0)
        throw EInvalidGraphic("Icon image is not valid");
    size_t dirBytes = dirSize + count * entrySize;
    if (static_cast<int64_t>(dirBytes) > available)
        throw EInvalidGraphic("Icon image is truncated");
    data.resize(dirBytes);
    stream->ReadBuffer(data.data() + dirSize, static_cast<int32_t>(dirBytes - dirSize));
    uint64_t end = dirBytes;
    for (unsigned i = 0; i < count; ++i) {
        const uint8_t* e = data.data() + dirSize + i * entrySize;
        uint64_t size = ReadU32(e + 8), offset = ReadU32(e + 12);
        if (offset < dirBytes || size == 0)
            throw EInvalidGraphic("Icon image is not valid");
        end = std::max(end, offset + size);
    }
    if (static_cast<int64_t>(end) > available)
        throw EInvalidGraphic("Icon image is truncated");
    data.resize(end);
    stream->ReadBuffer(data.data() + dirBytes, static_cast<int32_t>(end - dirBytes));
    LoadImage(std::move(data));
}

void TIcon::LoadImage(std::vector<uint8_t> data)
{
    // The entry nearest the system's icon size wins; among equal sizes the deepest colour.
    int want = GetSystemMetrics(SM_CXICON);
    unsigned count = ReadU16(data.data() + 4);
    const uint8_t* best = nullptr;
    for (unsigned i = 0; i < count; ++i) {
        const uint8_t* e = data.data() + 6 + i * 16;
        if (!best) {
            best = e;
            continue;
        }
        auto side = [](const uint8_t* x) { return x[0] ? x[0] : 256; };
        int d = std::abs(side(e) - want), bestD = std::abs(side(best) - want);
        if (d < bestD || (d == bestD && ReadU16(e + 6) > ReadU16(best + 6)))
            best = e;
    }
    int width = best[0] ? best[0] : 256, height = best[1] ? best[1] : 256;
    HICON handle = CreateIconFromResourceEx(const_cast<uint8_t*>(data.data() + ReadU32(best + 12)), ReadU32(best + 8), TRUE,
                                            0x00030000, width, height, LR_DEFAULTCOLOR);
    if (!handle)
        throw EInvalidGraphic("Icon image is not valid");
    Clear();
    FHandle = handle;
    FWidth = width;
    FHeight = height;
    FData = std::move(data);
    Changed();
}

void TIcon::SaveToStream(TStream* stream)
{
    if (!FHandle)
        return;
    if (FData.empty())
        throw EInvalidGraphicOperation("An icon made from a handle cannot be saved");
    stream->WriteBuffer(FData.data(), static_cast<int32_t>(FData.size()));
}

void TIcon::LoadFromClipboardFormat(UINT, HANDLE, HPALETTE)
{
    throw EInvalidGraphic("The clipboard does not hold icons");
}

void TIcon::SaveToClipboardFormat(UINT&, HANDLE&, HPALETTE&)
{
    throw EInvalidGraphicOperation("The clipboard does not hold icons");
}

void TIcon::Draw(TCanvas* canvas, const RECT& r)
{
    DrawIconEx(canvas->GetHandle(), r.left, r.top, FHandle, r.right - r.left, r.bottom - r.top, 0, nullptr, DI_NORMAL);
}

// ---------------------------------------------------------------------------------------------
// Pictures and the registered formats.

namespace {

struct TFileFormat {
    std::string Extension;   // lower case, no dot
    std::string Description;
    TGraphicClass Class;
};

struct TClipboardFormat {
    UINT Format;
    TGraphicClass Class;
};

struct TFormatRegistry {
    std::vector<TFileFormat> Files{{"bmp", "Bitmaps", TBitmap::StaticClass()},
                                   {"emf", "Enhanced Metafiles", TMetafile::StaticClass()},
                                   {"wmf", "Metafiles", TMetafile::StaticClass()},
                                   {"ico", "Icons", TIcon::StaticClass()}};
    std::vector<TClipboardFormat> Clipboard{{CF_DIB, TBitmap::StaticClass()},
                                            {CF_BITMAP, TBitmap::StaticClass()},
                                            {CF_ENHMETAFILE, TMetafile::StaticClass()}};
};

TFormatRegistry& Formats()
{
    static TFormatRegistry registry;
    return registry;
}

std::string LowerExtension(const std::string& extension)
{
    std::string ext = !extension.empty() && extension[0] == '.' ? extension.substr(1) : extension;
    CharLowerBuffA(ext.data(), static_cast<DWORD>(ext.size()));
    return ext;
}

std::string FileExtension(const std::string& fileName)
{
    size_t dot = fileName.find_last_of('.');
    size_t slash = fileName.find_last_of("\\/:");
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    return fileName.substr(dot);
}

TGraphic* NewGraphic(TGraphicClass cls)
{
    return As<TGraphic>(CreateInstance(cls));
}

} // namespace

void TPicture::RegisterFileFormat(const std::string& extension, const std::string& description, TGraphicClass graphicClass)
{
    std::string ext = LowerExtension(extension);
    auto& files = Formats().Files;
    files.erase(std::remove_if(files.begin(), files.end(), [&](const TFileFormat& f) { return f.Extension == ext; }), files.end());
    files.push_back({ext, description, graphicClass});
}

void TPicture::RegisterClipboardFormat(UINT format, TGraphicClass graphicClass)
{
    auto& clip = Formats().Clipboard;
    clip.erase(std::remove_if(clip.begin(), clip.end(), [&](const TClipboardFormat& f) { return f.Format == format; }), clip.end());
    clip.push_back({format, graphicClass});
}

void TPicture::UnregisterGraphicClass(TGraphicClass graphicClass)
{
    auto& files = Formats().Files;
    files.erase(std::remove_if(files.begin(), files.end(),
                               [&](const TFileFormat& f) { return ClassInheritsFrom(f.Class, graphicClass); }),
                files.end());
    auto& clip = Formats().Clipboard;
    clip.erase(std::remove_if(clip.begin(), clip.end(),
                              [&](const TClipboardFormat& f) { return ClassInheritsFrom(f.Class, graphicClass); }),
               clip.end());
}

TGraphicClass TPicture::FileFormatClass(const std::string& extension)
{
    std::string ext = LowerExtension(extension);
    for (const TFileFormat& f : Formats().Files)
        if (f.Extension == ext)
            return f.Class;
    return nullptr;
}

bool TPicture::SupportsClipboardFormat(UINT format)
{
    for (const TClipboardFormat& f : Formats().Clipboard)
        if (f.Format == format)
            return true;
    return false;
}

std::string GraphicFilter(TGraphicClass graphicClass)
{
    std::string masks, entries;
    int count = 0;
    for (const TFileFormat& f : Formats().Files) {
        if (!ClassInheritsFrom(f.Class, graphicClass))
            continue;
        std::string mask = "*." + f.Extension;
        masks += (count ? ";" : "") + mask;
        entries += (count ? "|" : "") + f.Description + " (" + mask + ")|" + mask;
        ++count;
    }
    if (count <= 1)
        return entries;
    return "All (" + masks + ")|" + masks + "|" + entries;
}

TPicture::~TPicture()
{
    FGraphic.reset();
}

void TPicture::GraphicChanged(TObject*)
{
    OnChange(this);
}

void TPicture::Replace(TGraphic* graphic)
{
    std::unique_ptr<TGraphic, TObjectFree> owned(graphic);
    if (owned)
        owned->OnChange = TNotifyEvent(this, &TPicture::GraphicChanged);
    FGraphic = std::move(owned);
    OnChange(this);
}

void TPicture::SetGraphic(TGraphic* graphic)
{
    if (!graphic) {
        Replace(nullptr);
        return;
    }
    if (graphic == FGraphic.get())
        return;
    std::unique_ptr<TGraphic, TObjectFree> copy(NewGraphic(graphic->ClassType()));
    copy->Assign(graphic);
    Replace(copy.release());
}

template <class T>
T* TPicture::ForceGraphic()
{
    if (!Is<T>(FGraphic.get()))
        Replace(New<T>());
    return static_cast<T*>(FGraphic.get());
}

TBitmap* TPicture::GetBitmap()
{
    return ForceGraphic<TBitmap>();
}

TMetafile* TPicture::GetMetafile()
{
    return ForceGraphic<TMetafile>();
}

TIcon* TPicture::GetIcon()
{
    return ForceGraphic<TIcon>();
}

void TPicture::LoadFromFile(const std::string& fileName)
{
    std::string ext = FileExtension(fileName);
    TGraphicClass cls = FileFormatClass(ext);
    if (!cls)
        throw EInvalidGraphic("Unknown picture file extension (" + ext + ")");
    std::unique_ptr<TGraphic, TObjectFree> graphic(NewGraphic(cls));
    graphic->LoadFromFile(fileName);
    Replace(graphic.release());
}

void TPicture::SaveToFile(const std::string& fileName)
{
    if (FGraphic)
        FGraphic->SaveToFile(fileName);
}

void TPicture::LoadFromClipboardFormat(UINT format, HANDLE data, HPALETTE palette)
{
    for (const TClipboardFormat& f : Formats().Clipboard) {
        if (f.Format != format)
            continue;
        std::unique_ptr<TGraphic, TObjectFree> graphic(NewGraphic(f.Class));
        graphic->LoadFromClipboardFormat(format, data, palette);
        Replace(graphic.release());
        return;
    }
    throw EInvalidGraphic("Unsupported clipboard format");
}

void TPicture::SaveToClipboardFormat(UINT& format, HANDLE& data, HPALETTE& palette)
{
    if (!FGraphic)
        throw EInvalidGraphicOperation("The picture is empty");
    FGraphic->SaveToClipboardFormat(format, data, palette);
}

void TPicture::Assign(TPersistent* source)
{
    if (!source) {
        SetGraphic(nullptr);
        return;
    }
    if (auto* picture = dynamic_cast<TPicture*>(source)) {
        SetGraphic(picture->FGraphic.get());
        return;
    }
    if (auto* graphic = dynamic_cast<TGraphic*>(source)) {
        SetGraphic(graphic);
        return;
    }
    TPersistent::Assign(source);
}

void TPicture::AssignTo(TPersistent* dest)
{
    if (Is<TGraphic>(dest)) {
        dest->Assign(FGraphic.get());
        return;
    }
    TPersistent::AssignTo(dest);
}
