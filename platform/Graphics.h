// The drawing classes of the class library: colours, fonts, pens and brushes that cache their GDI
// handles, the canvas that draws with them on a device context, and the pictures it can draw
// (bitmaps, enhanced metafiles, icons) together with the picture holder and its file formats.
#pragma once

#include <windows.h>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "platform/Persistent.h"
#include "platform/ScopeGuards.h"

class TStream;
class TCanvas;
class TGraphic;
class TBitmap;

// ---------------------------------------------------------------------------------------------
// Colours: Windows 00BBGGRR values; system colours are 0x80000000 | COLOR_xxx.

using TColor = int32_t;

constexpr TColor clSystemColor = static_cast<TColor>(0x80000000u);
constexpr TColor SysColor(int index) { return clSystemColor | index; }

constexpr TColor clScrollBar = SysColor(COLOR_SCROLLBAR);
constexpr TColor clBackground = SysColor(COLOR_BACKGROUND);
constexpr TColor clActiveCaption = SysColor(COLOR_ACTIVECAPTION);
constexpr TColor clInactiveCaption = SysColor(COLOR_INACTIVECAPTION);
constexpr TColor clMenu = SysColor(COLOR_MENU);
constexpr TColor clWindow = SysColor(COLOR_WINDOW);
constexpr TColor clWindowFrame = SysColor(COLOR_WINDOWFRAME);
constexpr TColor clMenuText = SysColor(COLOR_MENUTEXT);
constexpr TColor clWindowText = SysColor(COLOR_WINDOWTEXT);
constexpr TColor clCaptionText = SysColor(COLOR_CAPTIONTEXT);
constexpr TColor clActiveBorder = SysColor(COLOR_ACTIVEBORDER);
constexpr TColor clInactiveBorder = SysColor(COLOR_INACTIVEBORDER);
constexpr TColor clAppWorkSpace = SysColor(COLOR_APPWORKSPACE);
constexpr TColor clHighlight = SysColor(COLOR_HIGHLIGHT);
constexpr TColor clHighlightText = SysColor(COLOR_HIGHLIGHTTEXT);
constexpr TColor clBtnFace = SysColor(COLOR_BTNFACE);
constexpr TColor clBtnShadow = SysColor(COLOR_BTNSHADOW);
constexpr TColor clGrayText = SysColor(COLOR_GRAYTEXT);
constexpr TColor clBtnText = SysColor(COLOR_BTNTEXT);
constexpr TColor clInactiveCaptionText = SysColor(COLOR_INACTIVECAPTIONTEXT);
constexpr TColor clBtnHighlight = SysColor(COLOR_BTNHIGHLIGHT);
constexpr TColor cl3DDkShadow = SysColor(COLOR_3DDKSHADOW);
constexpr TColor cl3DLight = SysColor(COLOR_3DLIGHT);
constexpr TColor clInfoText = SysColor(COLOR_INFOTEXT);
constexpr TColor clInfoBk = SysColor(COLOR_INFOBK);
constexpr TColor clHotLight = SysColor(COLOR_HOTLIGHT);
constexpr TColor clGradientActiveCaption = SysColor(COLOR_GRADIENTACTIVECAPTION);
constexpr TColor clGradientInactiveCaption = SysColor(COLOR_GRADIENTINACTIVECAPTION);
constexpr TColor clMenuHighlight = SysColor(COLOR_MENUHILIGHT);
constexpr TColor clMenuBar = SysColor(COLOR_MENUBAR);

constexpr TColor clBlack = 0x000000;
constexpr TColor clMaroon = 0x000080;
constexpr TColor clGreen = 0x008000;
constexpr TColor clOlive = 0x008080;
constexpr TColor clNavy = 0x800000;
constexpr TColor clPurple = 0x800080;
constexpr TColor clTeal = 0x808000;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clYellow = 0x00FFFF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clFuchsia = 0xFF00FF;
constexpr TColor clAqua = 0xFFFF00;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clLtGray = clSilver;
constexpr TColor clDkGray = clGray;
constexpr TColor clMoneyGreen = 0xC0DCC0;
constexpr TColor clSkyBlue = 0xF0CAA6;
constexpr TColor clCream = 0xF0FBFF;
constexpr TColor clMedGray = 0xA4A0A0;
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;

// Resolves a system colour through GetSysColor; every other value is returned unchanged.
TColor ColorToRGB(TColor color);

// Logical pixels per inch of the screen (vertical), read once.
int ScreenPixelsPerInch();

// ---------------------------------------------------------------------------------------------
// A GDI object handle owned by the object that created it.
using TGdiObjectHandle = TGdiObject<>;

// Base of font, pen and brush: change notification and the lock of the object that owns it.
class TGraphicsObject : public TPersistent {
    SF_CLASS(TGraphicsObject)
public:
    TNotifyEvent OnChange;

    // The owner's critical section, entered while the handle is made or the object changes.
    void SetOwnerLock(CRITICAL_SECTION* lock) { FOwnerLock = lock; }
    CRITICAL_SECTION* GetOwnerLock() const { return FOwnerLock; }
    void Lock();
    void Unlock();
    bool HandleAllocated() const { return static_cast<bool>(FHandle); }

protected:
    // Drops the cached handle (or replaces it by the given one) and tells OnChange. The old
    // handle lives until the listeners have run, so a canvas can deselect it first.
    void Changed(HGDIOBJ newHandle = nullptr);
    HGDIOBJ CachedHandle() const { return FHandle.Get(); }
    void CacheHandle(HGDIOBJ handle) { FHandle.Reset(handle); }

private:
    TGdiObjectHandle FHandle;
    CRITICAL_SECTION* FOwnerLock = nullptr;
};

class TGraphicsObjectLock {
public:
    explicit TGraphicsObjectLock(TGraphicsObject* obj) : FObj(obj) { FObj->Lock(); }
    ~TGraphicsObjectLock() { FObj->Unlock(); }
    TGraphicsObjectLock(const TGraphicsObjectLock&) = delete;
    TGraphicsObjectLock& operator=(const TGraphicsObjectLock&) = delete;

private:
    TGraphicsObject* FObj;
};

// ---------------------------------------------------------------------------------------------
// Fonts.

enum TFontStyle : uint8_t { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };

// A set of font styles: TFontStyles{fsBold, fsItalic}, Contains, + and -.
class TFontStyles {
public:
    constexpr TFontStyles() = default;
    constexpr TFontStyles(std::initializer_list<TFontStyle> styles)
    {
        for (TFontStyle s : styles)
            FBits |= s;
    }
    constexpr bool Contains(TFontStyle s) const { return (FBits & s) != 0; }
    constexpr bool Empty() const { return FBits == 0; }
    constexpr TFontStyles operator+(TFontStyles o) const { return FromBits(FBits | o.FBits); }
    constexpr TFontStyles operator-(TFontStyles o) const { return FromBits(FBits & ~o.FBits); }
    constexpr TFontStyles operator+(TFontStyle s) const { return FromBits(FBits | s); }
    constexpr TFontStyles operator-(TFontStyle s) const { return FromBits(FBits & ~s); }
    constexpr bool operator==(const TFontStyles&) const = default;
    constexpr uint8_t Bits() const { return FBits; }
    static constexpr TFontStyles FromBits(unsigned bits)
    {
        TFontStyles r;
        r.FBits = static_cast<uint8_t>(bits & 15);
        return r;
    }

private:
    uint8_t FBits = 0;
};

enum class TFontPitch : uint8_t { fpDefault, fpVariable, fpFixed };
using TFontCharset = uint8_t;

// A font: Height in logical units (negative: character height; positive: cell height), Size in
// points through PixelsPerInch. The HFONT is made on demand and dropped on every change.
class TFont : public TGraphicsObject {
    SF_CLASS(TFont)
public:
    TFont();
    void Assign(TPersistent* source) override;

    HFONT GetHandle();
    // Takes over the font: its LOGFONT becomes the properties and the font owns the handle.
    void SetHandle(HFONT handle);

    const std::string& GetName() const { return FName; }
    void SetName(const std::string& name);
    int GetHeight() const { return FHeight; }
    void SetHeight(int height);
    int GetSize() const;
    void SetSize(int points);
    int GetPixelsPerInch() const { return FPixelsPerInch; }
    // Changes the resolution Size is measured at; Height stays.
    void SetPixelsPerInch(int ppi) { FPixelsPerInch = ppi > 0 ? ppi : FPixelsPerInch; }
    TFontStyles GetStyle() const { return FStyle; }
    void SetStyle(TFontStyles style);
    TColor GetColor() const { return FColor; }
    void SetColor(TColor color);
    TFontCharset GetCharset() const { return FCharset; }
    void SetCharset(TFontCharset charset);
    TFontPitch GetPitch() const { return FPitch; }
    void SetPitch(TFontPitch pitch);
    // Escapement and orientation in tenths of a degree.
    int GetOrientation() const { return FOrientation; }
    void SetOrientation(int tenths);

    // The LOGFONT the handle is made from.
    LOGFONTA GetLogFont() const;

private:
    std::string FName = "MS Sans Serif";
    int FHeight = 0;
    int FPixelsPerInch = 96;
    TFontStyles FStyle;
    TColor FColor = clWindowText;
    TFontCharset FCharset = DEFAULT_CHARSET;
    TFontPitch FPitch = TFontPitch::fpDefault;
    int FOrientation = 0;
};

// ---------------------------------------------------------------------------------------------
// Pens and brushes.

enum class TPenStyle : uint8_t { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };
enum class TPenMode : uint8_t {
    pmBlack, pmWhite, pmNop, pmNot, pmCopy, pmNotCopy, pmMergePenNot, pmMaskPenNot,
    pmMergeNotPen, pmMaskNotPen, pmMerge, pmNotMerge, pmMask, pmNotMask, pmXor, pmNotXor
};

class TPen : public TGraphicsObject {
    SF_CLASS(TPen)
public:
    void Assign(TPersistent* source) override;
    HPEN GetHandle();

    TColor GetColor() const { return FColor; }
    void SetColor(TColor color);
    int GetWidth() const { return FWidth; }
    void SetWidth(int width);
    TPenStyle GetStyle() const { return FStyle; }
    void SetStyle(TPenStyle style);
    TPenMode GetMode() const { return FMode; }
    void SetMode(TPenMode mode);
    // The binary raster operation (R2_xxx) of Mode.
    int GetRop2() const;

private:
    TColor FColor = clBlack;
    int FWidth = 1;
    TPenStyle FStyle = TPenStyle::psSolid;
    TPenMode FMode = TPenMode::pmCopy;
};

enum class TBrushStyle : uint8_t { bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross };

class TBrush : public TGraphicsObject {
    SF_CLASS(TBrush)
public:
    void Assign(TPersistent* source) override;
    HBRUSH GetHandle();

    TColor GetColor() const { return FColor; }
    void SetColor(TColor color);
    TBrushStyle GetStyle() const { return FStyle; }
    void SetStyle(TBrushStyle style);
    // A pattern bitmap (not owned) that the brush paints with instead of its colour and style.
    TBitmap* GetBitmap() const { return FBitmap; }
    void SetBitmap(TBitmap* bitmap);

private:
    TColor FColor = clWhite;
    TBrushStyle FStyle = TBrushStyle::bsSolid;
    TBitmap* FBitmap = nullptr;
};

// ---------------------------------------------------------------------------------------------
// Canvas.

using TCopyMode = DWORD;
constexpr TCopyMode cmSrcCopy = SRCCOPY;

// Draws with its font, pen and brush on a device context. The context is either set from outside
// (SetHandle) or made on demand by CreateHandle, the hook derived canvases override (a bitmap's
// memory context, a window's context). The font, pen and brush are selected when a drawing call
// needs them and again after they change; SetHandle(nullptr) selects stock objects back first.
class TCanvas : public TPersistent {
    SF_CLASS(TCanvas)
public:
    TCanvas();
    ~TCanvas() override;

    HDC GetHandle();
    void SetHandle(HDC dc);
    bool HandleAllocated() const { return static_cast<bool>(FHandle); }

    void Lock();
    bool TryLock();
    void Unlock();
    int GetLockCount() const { return FLockCount; }

    TFont* GetFont() const { return FFont.get(); }
    void SetFont(TFont* font) { FFont->Assign(font); }
    TPen* GetPen() const { return FPen.get(); }
    void SetPen(TPen* pen) { FPen->Assign(pen); }
    TBrush* GetBrush() const { return FBrush.get(); }
    void SetBrush(TBrush* brush) { FBrush->Assign(brush); }
    TCopyMode GetCopyMode() const { return FCopyMode; }
    void SetCopyMode(TCopyMode mode) { FCopyMode = mode; }
    POINT GetPenPos() const { return FPenPos; }
    void SetPenPos(POINT p);

    void MoveTo(int x, int y);
    void LineTo(int x, int y);
    void Rectangle(int x1, int y1, int x2, int y2);
    void Rectangle(const RECT& r) { Rectangle(r.left, r.top, r.right, r.bottom); }
    void RoundRect(int x1, int y1, int x2, int y2, int cornerWidth, int cornerHeight);
    void Ellipse(int x1, int y1, int x2, int y2);
    void Ellipse(const RECT& r) { Ellipse(r.left, r.top, r.right, r.bottom); }
    void Polygon(const std::vector<POINT>& points);
    void Polyline(const std::vector<POINT>& points);
    void FillRect(const RECT& r);
    void FrameRect(const RECT& r);
    void TextOut(int x, int y, const std::string& text);
    void TextRect(const RECT& r, int x, int y, const std::string& text);
    SIZE TextExtent(const std::string& text);
    int TextWidth(const std::string& text) { return TextExtent(text).cx; }
    int TextHeight(const std::string& text) { return TextExtent(text).cy; }
    void Draw(int x, int y, TGraphic* graphic);
    void StretchDraw(const RECT& r, TGraphic* graphic);
    TColor GetPixel(int x, int y);
    void SetPixel(int x, int y, TColor color);
    // Copies the source canvas's rectangle into this one's with CopyMode, stretching as needed.
    void CopyRect(const RECT& dest, TCanvas* source, const RECT& sourceRect);
    RECT GetClipRect();

    // ExtTextOut options added to every text call (e.g. ETO_RTLREADING).
    int GetTextFlags() const { return FTextFlags; }
    void SetTextFlags(int flags) { FTextFlags = flags; }

    TNotifyEvent OnChange;
    TNotifyEvent OnChanging;

    // For drawing helpers outside the class (wide text): make the context and the selected
    // objects valid, and tell listeners before and after drawing.
    enum : unsigned { csHandleValid = 1, csFontValid = 2, csPenValid = 4, csBrushValid = 8, csAllValid = 15 };
    void RequiredState(unsigned state);
    virtual void Changing();
    virtual void Changed();

protected:
    // Makes the context when none is set; a canvas without this ability cannot draw.
    virtual void CreateHandle() {}

private:
    void DeselectHandles();
    void SelectFont();
    void SelectPen();
    void SelectBrush();
    void FontChanged(TObject*);
    void PenChanged(TObject*);
    void BrushChanged(TObject*);

    HDC FHandle = nullptr;
    unsigned FState = 0;
    HFONT FSelectedFont = nullptr;
    std::unique_ptr<TFont, TObjectFree> FFont;
    std::unique_ptr<TPen, TObjectFree> FPen;
    std::unique_ptr<TBrush, TObjectFree> FBrush;
    POINT FPenPos{0, 0};
    TCopyMode FCopyMode = cmSrcCopy;
    int FTextFlags = 0;
    CRITICAL_SECTION FLock;
    int FLockCount = 0;
};

// ---------------------------------------------------------------------------------------------
// Graphics.

// A picture that can draw itself on a canvas and move through streams, files and the clipboard.
class TGraphic : public TPersistent {
    SF_CLASS(TGraphic)
public:
    virtual bool GetEmpty() const = 0;
    virtual int GetWidth() const = 0;
    virtual int GetHeight() const = 0;
    virtual void SetWidth(int width) = 0;
    virtual void SetHeight(int height) = 0;
    virtual bool GetTransparent() const { return FTransparent; }
    virtual void SetTransparent(bool value);
    bool GetModified() const { return FModified; }
    void SetModified(bool value);

    virtual void LoadFromStream(TStream* stream) = 0;
    virtual void SaveToStream(TStream* stream) = 0;
    void LoadFromFile(const std::string& fileName);
    void SaveToFile(const std::string& fileName);
    // Reads the graphic from clipboard data of the given format; the handle stays the clipboard's.
    virtual void LoadFromClipboardFormat(UINT format, HANDLE data, HPALETTE palette) = 0;
    // Makes new clipboard data (owned by the caller until given to the clipboard).
    virtual void SaveToClipboardFormat(UINT& format, HANDLE& data, HPALETTE& palette) = 0;

    TNotifyEvent OnChange;

protected:
    friend class TCanvas;
    virtual void Draw(TCanvas* canvas, const RECT& r) = 0;
    virtual void Changed();

private:
    bool FTransparent = false;
    bool FModified = false;
};
using TGraphicClass = TClass;

enum class TPixelFormat : uint8_t { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit };

class TBitmapCanvas;

// A device-independent bitmap (always a top-down DIB section; pfDevice keeps 32 bits per pixel)
// with a canvas over its own memory context. Loads and saves BMP files and packed DIBs.
class TBitmap : public TGraphic {
    SF_CLASS(TBitmap)
public:
    TBitmap();
    ~TBitmap() override;
    void Assign(TPersistent* source) override;

    bool GetEmpty() const override { return FHandle == nullptr; }
    int GetWidth() const override { return FWidth; }
    int GetHeight() const override { return FHeight; }
    void SetWidth(int width) override { SetSize(width, FHeight); }
    void SetHeight(int height) override { SetSize(FWidth, height); }
    // Resizes keeping the pixels that still fit; new area is white.
    void SetSize(int width, int height);
    TPixelFormat GetPixelFormat() const { return FPixelFormat; }
    // Converts the pixels to the new format (through GDI's colour matching for palettes).
    void SetPixelFormat(TPixelFormat format);
    int GetBitsPerPixel() const;
    // The colour table of a 1, 4 or 8 bit bitmap.
    const std::vector<RGBQUAD>& GetColorTable() const { return FColorTable; }

    TCanvas* GetCanvas();
    HBITMAP GetHandle() const { return static_cast<HBITMAP>(FHandle); }
    // Takes over the bitmap (copied into a DIB section of this class's layout when it is not one).
    void SetHandle(HBITMAP handle);
    // Gives the DIB section away; the bitmap is empty afterwards.
    HBITMAP ReleaseHandle();
    bool HandleAllocated() const { return static_cast<bool>(FHandle); }
    // The first byte of row y (0 = top). Raises for rows outside the bitmap.
    void* GetScanLine(int y);
    int GetRowSize() const { return FRowSize; }

    void LoadFromStream(TStream* stream) override;
    void SaveToStream(TStream* stream) override;
    void LoadFromClipboardFormat(UINT format, HANDLE data, HPALETTE palette) override;
    void SaveToClipboardFormat(UINT& format, HANDLE& data, HPALETTE& palette) override;
    // Reads a packed DIB (info header, masks, colour table, pixels) of the given size.
    void LoadFromPackedDIB(const void* data, size_t size);
    // A movable global block holding the bitmap as a packed DIB (CF_DIB).
    HGLOBAL CreatePackedDIB() const;

protected:
    void Draw(TCanvas* canvas, const RECT& r) override;

private:
    friend class TBitmapCanvas;
    struct TDibLayout;
    static TDibLayout ParseDibHeader(const uint8_t* p, size_t avail);
    void Allocate(int width, int height, TPixelFormat format, const std::vector<RGBQUAD>& colors, const DWORD* masks);
    void FreeImage();
    void FreeContext();
    void CopyPixelsFrom(HBITMAP source, int width, int height);
    std::vector<uint8_t> InfoBytes(bool bottomUp) const;
    void CanvasChanged(TObject*);
    void LoadDib(const TDibLayout& dib, const uint8_t* bits, size_t bitsSize);

    HGDIOBJ FHandle = nullptr;
    void* FBits = nullptr;
    int FWidth = 0;
    int FHeight = 0;
    int FRowSize = 0;
    TPixelFormat FPixelFormat = TPixelFormat::pfDevice;
    std::vector<RGBQUAD> FColorTable;
    DWORD FMasks[3] = {};
    std::unique_ptr<TBitmapCanvas, TObjectFree> FCanvas;
};

// The canvas of a bitmap: a memory context with the bitmap selected, made on demand.
class TBitmapCanvas : public TCanvas {
    SF_CLASS(TBitmapCanvas)
public:
    explicit TBitmapCanvas(TBitmap* bitmap) : FBitmap(bitmap) {}
    ~TBitmapCanvas() override;
    // Releases the memory context (the bitmap is about to change its pixels).
    void FreeContext();

protected:
    void CreateHandle() override;

private:
    TBitmap* FBitmap;
    HDC FMemoryDC = nullptr;
    HGDIOBJ FOldBitmap = nullptr;
};

// An enhanced metafile. Loads EMF and placeable WMF (converted to enhanced form) and saves
// either, by Enhanced (the enhanced form when GDI cannot give a sound placeable one). Bytes from a
// stream or another program are checked before GDI sees them, and drawing is bounded in work.
// Width/Height are pixels at the screen's resolution; MMWidth/MMHeight the picture's frame in 0.01 mm.
class TMetafile : public TGraphic {
    SF_CLASS(TMetafile)
public:
    ~TMetafile() override;
    void Assign(TPersistent* source) override;

    bool GetEmpty() const override { return FHandle == nullptr; }
    int GetWidth() const override;
    int GetHeight() const override;
    void SetWidth(int width) override;
    void SetHeight(int height) override;
    int GetMMWidth() const { return FMMWidth; }
    int GetMMHeight() const { return FMMHeight; }
    void SetMMWidth(int value);
    void SetMMHeight(int value);
    bool GetEnhanced() const { return FEnhanced; }
    void SetEnhanced(bool value) { FEnhanced = value; }

    HENHMETAFILE GetHandle() const { return FHandle; }
    // Takes over the metafile; its frame gives the size.
    void SetHandle(HENHMETAFILE handle);
    HENHMETAFILE ReleaseHandle();

    void LoadFromStream(TStream* stream) override;
    void SaveToStream(TStream* stream) override;
    void LoadFromClipboardFormat(UINT format, HANDLE data, HPALETTE palette) override;
    void SaveToClipboardFormat(UINT& format, HANDLE& data, HPALETTE& palette) override;

protected:
    void Draw(TCanvas* canvas, const RECT& r) override;

private:
    void Clear();
    void LoadEnhanced(TStream* stream, uint32_t firstWord);
    void LoadPlaceable(TStream* stream);
    void SaveEnhanced(TStream* stream);
    // False when GDI gives no placeable form that would load again.
    bool SavePlaceable(TStream* stream);

    HENHMETAFILE FHandle = nullptr;
    int FMMWidth = 0;
    int FMMHeight = 0;
    bool FEnhanced = true;
};

// An icon read from an .ico file; it keeps the file's bytes for saving.
class TIcon : public TGraphic {
    SF_CLASS(TIcon)
public:
    TIcon();
    ~TIcon() override;
    void Assign(TPersistent* source) override;

    bool GetEmpty() const override { return FHandle == nullptr; }
    int GetWidth() const override { return FWidth; }
    int GetHeight() const override { return FHeight; }
    void SetWidth(int width) override;
    void SetHeight(int height) override;

    HICON GetHandle() const { return FHandle; }
    // Takes over the icon; an icon given this way has no file image to save.
    void SetHandle(HICON handle);

    void LoadFromStream(TStream* stream) override;
    void SaveToStream(TStream* stream) override;
    void LoadFromClipboardFormat(UINT format, HANDLE data, HPALETTE palette) override;
    void SaveToClipboardFormat(UINT& format, HANDLE& data, HPALETTE& palette) override;

protected:
    void Draw(TCanvas* canvas, const RECT& r) override;

private:
    void Clear();
    void LoadImage(std::vector<uint8_t> data);

    HICON FHandle = nullptr;
    int FWidth = 0;
    int FHeight = 0;
    std::vector<uint8_t> FData;
};

// Holds one graphic of any registered class and picks the class by file extension or
// clipboard format.
class TPicture : public TPersistent {
    SF_CLASS(TPicture)
public:
    ~TPicture() override;
    void Assign(TPersistent* source) override;

    TGraphic* GetGraphic() const { return FGraphic.get(); }
    // Holds a copy of the graphic (nullptr empties the picture).
    void SetGraphic(TGraphic* graphic);
    // The picture as a bitmap, metafile or icon: any other graphic is replaced by an empty one.
    TBitmap* GetBitmap();
    void SetBitmap(TBitmap* bitmap) { SetGraphic(bitmap); }
    TMetafile* GetMetafile();
    void SetMetafile(TMetafile* metafile) { SetGraphic(metafile); }
    TIcon* GetIcon();
    void SetIcon(TIcon* icon) { SetGraphic(icon); }
    int GetWidth() const { return FGraphic ? FGraphic->GetWidth() : 0; }
    int GetHeight() const { return FGraphic ? FGraphic->GetHeight() : 0; }

    // Raises EInvalidGraphic for an extension no graphic class is registered for.
    void LoadFromFile(const std::string& fileName);
    void SaveToFile(const std::string& fileName);
    void LoadFromClipboardFormat(UINT format, HANDLE data, HPALETTE palette);
    void SaveToClipboardFormat(UINT& format, HANDLE& data, HPALETTE& palette);
    static bool SupportsClipboardFormat(UINT format);

    // Extension without the dot, e.g. "png".
    static void RegisterFileFormat(const std::string& extension, const std::string& description, TGraphicClass graphicClass);
    static void RegisterClipboardFormat(UINT format, TGraphicClass graphicClass);
    // Removes every file and clipboard format of the class and of classes derived from it.
    static void UnregisterGraphicClass(TGraphicClass graphicClass);
    // The graphic class registered for an extension (with or without the dot), or nullptr.
    static TGraphicClass FileFormatClass(const std::string& extension);

    TNotifyEvent OnChange;

protected:
    void AssignTo(TPersistent* dest) override;

private:
    template <class T>
    T* ForceGraphic();
    void Replace(TGraphic* graphic);
    void GraphicChanged(TObject*);

    std::unique_ptr<TGraphic, TObjectFree> FGraphic;
};

// The open/save dialog filter for the registered formats of the class and its descendants:
// "All (*.bmp;*.emf)|*.bmp;*.emf|Bitmaps (*.bmp)|*.bmp|Enhanced Metafiles (*.emf)|*.emf".
std::string GraphicFilter(TGraphicClass graphicClass);
