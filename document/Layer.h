// Page elements and the canvas they paint on: the back buffers with their map mode, the element
// base with placement, alignment, captions, z-order, hit testing and chunk reading and writing,
// and the rectangle, frame, ellipse and text elements.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "document/List.h"
#include "document/StreamHelper.h"
#include "graphics/Gfx32.h"
#include "graphics/MapMode.h"
#include "platform/Controls.h"
#include "platform/Graphics.h"

// The back buffer of a layer window: a 32-bit bitmap.
class TLayerBuffer : public TBitmap32 {
    SF_CLASS(TLayerBuffer)
public:
    TLayerBuffer() = default;
};

// The buffers, the paint state and the map mode (logical 0.01 mm to window pixels) through which
// content paints. Outside a window's paint the update rectangle is set directly.
class TLayerCanvas : public TObject {
    SF_CLASS(TLayerCanvas)
public:
    TLayerCanvas();
    ~TLayerCanvas() override;

    // False while already painting or when the window has nothing to update.
    virtual bool BeginPaint(HWND wnd);
    // Copies the update rectangle of the main buffer to the window in one block.
    virtual void EndPaint(HWND wnd);
    void Resize(int width, int height);

    HDC GetPaintDC() const { return FPaintDC; }
    const PAINTSTRUCT& GetPaintStruct() const { return FPaintStruct; }
    bool GetPainting() const { return FPainting; }
    TLayerBuffer* GetSecondBuffer() const { return FSecondBuffer.get(); }
    TLayerBuffer* GetMainBuffer() const { return FMainBuffer.get(); }
    THiMetric* GetMapMode() const { return FMapMode.get(); }
    const RECT& GetUpdateRect() const { return FUpdateRect; }
    void SetUpdateRect(const RECT& r) { FUpdateRect = r; }

private:
    HDC FPaintDC = nullptr;
    PAINTSTRUCT FPaintStruct{};
    bool FPainting = false;
    std::unique_ptr<TLayerBuffer, TObjectFree> FSecondBuffer;
    std::unique_ptr<TLayerBuffer, TObjectFree> FMainBuffer;
    std::unique_ptr<THiMetric, TObjectFree> FMapMode;
    RECT FUpdateRect{};
};

// A window control that never paints into its window directly: every paint fills the update area
// of the 32-bit back buffer, lets the content paint itself there through the map mode, and copies
// the update rectangle to the window in one block.
class TCustomLayer : public TWinControl {
    SF_CLASS(TCustomLayer)
public:
    explicit TCustomLayer(TComponent* owner = nullptr);
    ~TCustomLayer() override;

    THiMetric* GetMapMode() const { return FCanvas->GetMapMode(); }
    TLayerCanvas* GetLayerCanvas() const { return FCanvas.get(); }
    TColor GetBackgroundColor() const { return FBackgroundColor; }
    void SetBackgroundColor(TColor value) { FBackgroundColor = value; }
    int GetBackgroundAlpha() const { return FBackgroundAlpha; }
    void SetBackgroundAlpha(int value) { FBackgroundAlpha = static_cast<uint16_t>(value); }

    virtual void ResizeBuffer();
    // Fills the update rectangle of the back buffer with the background colour and alpha.
    virtual void PaintBackground();
    virtual void PaintContent();

    void Dispatch(TMessage& message) override;

protected:
    void Resize() override;
    // The window itself draws nothing: the back buffer covers it.
    void PaintWindow(HDC) override {}

private:
    void WMPaint(TMessage& message);

    std::unique_ptr<TLayerCanvas, TObjectFree> FCanvas;
    TColor FBackgroundColor = 0;
    uint16_t FBackgroundAlpha = 255;
};

// A layer with scroll bars over a content rectangle; scrolling moves the map mode's origin.
class TScrollingLayer : public TCustomLayer {
    SF_CLASS(TScrollingLayer)
public:
    explicit TScrollingLayer(TComponent* owner = nullptr);

    // The content in device pixels; the base gives the empty rectangle at logical (0, 0).
    virtual RECT GetContentRect();
    // Sets both bars from the control's size, the excess (cx, cy) and the map mode's origin.
    virtual void UpdateScrollRange(int cx, int cy);
    // Keeps the content centred when it is smaller than the control and without a gap at either
    // end when it is larger, then sets the bars.
    virtual void UpdateScrollPos();
    // Moves the map mode's origin and the window's contents by (dx, dy).
    void ScrollContent(int dx, int dy);

    int GetLineStep() const { return FLineStep; }
    void SetLineStep(int value) { FLineStep = value; }
    bool GetScrolling() const { return FScrolling; }

    void Dispatch(TMessage& message) override;

protected:
    void Resize() override;
    // Both bars exist from the start; content that fits only disables them.
    void CreateParams(TCreateParams& params) override;

private:
    void WMScroll(TMessage& message, int bar);

    int FLineStep = 10;
    bool FScrolling = false;
    // Showing a bar resizes the client area, which comes back here through Resize.
    bool FUpdatingScrollPos = false;
};

// Alignment of an element to its reference rectangle (the element it is attached to, else the
// page's printable area), applied in this order.
using TLayerAlignFlags = uint16_t;
constexpr TLayerAlignFlags laFitWidth = 0x0800;
constexpr TLayerAlignFlags laFitHeight = 0x1000;
constexpr TLayerAlignFlags laCenterHorz = 0x0200;
constexpr TLayerAlignFlags laCenterVert = 0x0400;
constexpr TLayerAlignFlags laBelow = 0x0040;
constexpr TLayerAlignFlags laAbove = 0x0020;

// Placement modes of SetRect: plain, resizing by the handle of an edge or a corner, moving.
constexpr int lpmPlain = 0;
constexpr int lpmLeft = 1;
constexpr int lpmTop = 2;
constexpr int lpmRight = 3;
constexpr int lpmBottom = 4;
constexpr int lpmTopLeft = 5;
constexpr int lpmTopRight = 6;
constexpr int lpmBottomRight = 7;
constexpr int lpmBottomLeft = 8;
constexpr int lpmMove = 9;

// Coordinates beyond this many logical units (10 km) are refused when read: every sum and
// difference of two of them still fits 32 bits.
constexpr int LayerCoordinateLimit = 1000000000;

// The base of everything placed on a page. Bounds are in logical units (0.01 mm); every placement
// ends in SetRect, which aligns, stores, re-places the captions and reports the change.
class TLayerElement : public TObject {
    SF_CLASS(TLayerElement)
public:
    // The element joins the composition (at the top of its z-order) in AfterConstruction.
    explicit TLayerElement(TLayerComposition* owner);
    void AfterConstruction() override;
    // Leaves the composition first: its captions are freed and its area repainted.
    void BeforeDestruction() override;

    virtual void SetHeight(int value);
    virtual void SetWidth(int value);
    virtual RECT GetBounds() const;
    virtual void SetBoundsRect(const RECT& r);
    virtual void Draw(TLayerCanvas* canvas, const RECT& updateRect, const RECT& deviceRect, const RECT& visibleRect);
    virtual void Changed();
    // Applies the owner's correction and the alignment flags; false (r untouched) when there is
    // no reference rectangle.
    virtual bool CalcAlignedRect(RECT& r, int mode);
    virtual void InvalidateRect(const RECT& r);
    virtual void NotifyOwner();
    virtual void Paint(TLayerCanvas* canvas, const RECT& updateRect);
    virtual void SetBounds(int left, int top, int width, int height);
    virtual void SetRect(const RECT& r, const POINT& offset, int mode);
    // Chunk reading: true when the header was consumed.
    virtual bool ReadProperty(const TChunkHeader& header, TXDataStream& stream);
    virtual bool ReadChild(const TChunkHeader& header, TXDataStream& stream);
    virtual void WriteProperties(TXDataStream& stream);
    virtual void WriteChildren(TXDataStream& stream);
    // Reads an element body up to the group end that closes it.
    virtual void LoadFromStream(TXDataStream& stream);
    // The body without the enclosing group, which the caller writes.
    virtual void SaveToStream(TXDataStream& stream);
    virtual void Print(HDC dc, const TMapMode& mapMode);
    // A non-empty intersection with the bounds.
    virtual bool IntersectsRect(const RECT& r) const;
    // Left and top edges are inside, right and bottom outside.
    virtual bool HitTest(const POINT& p) const;

    void SetLeft(int value);
    void SetTop(int value);
    int GetLeft() const { return FLeft; }
    int GetTop() const { return FTop; }
    int GetWidth() const { return FWidth; }
    int GetHeight() const { return FHeight; }
    int GetAlpha() const { return FAlpha; }
    void SetAlpha(int value);
    TColor GetColor() const { return FColor; }
    void SetColor(TColor value);
    bool GetVisible() const { return FVisible; }
    void SetVisible(bool value);
    const std::string& GetName() const { return FName; }
    void SetName(const std::string& value) { FName = value; }
    bool GetEnabled() const { return FEnabled; }
    void SetEnabled(bool value) { FEnabled = value; }
    TLayerAlignFlags GetAlign() const { return FAlign; }
    void SetAlign(TLayerAlignFlags value);
    TLayerElement* GetAttachedTo() const { return FAttachedTo; }
    // Raises EInvalidOperation unless both elements are in the same composition, and when the
    // attachment would close a cycle (the element itself or one of its own captions).
    void SetAttachedTo(TLayerElement* element);
    TLayerComposition* GetOwner() const { return FOwner; }
    void SetOwner(TLayerComposition* owner);
    // The index in the owner's list; -1 when unowned.
    int GetZIndex() const;
    // Moves the element in the z-order; its captions stay directly above the elements they
    // belong to. A caption is not moved by itself.
    void SetZIndex(int index);
    TLayerElement* GetCaption() const;

protected:
    // The rectangle the alignment flags refer to: the attached-to element's bounds, else the
    // owner's reference rectangle; false with neither.
    bool GetAlignReference(RECT& r) const;
    // Applies the alignment flags to the rectangle against the reference.
    void ApplyAlignFlags(RECT& r, const RECT& reference) const;
    // Stores already aligned bounds: nothing when they equal the current ones; else stores them,
    // re-places the captions, repaints the old and new area and reports the change.
    void PlaceAt(const RECT& r);
    // Reads the bytes of a data chunk's payload whose header has just been read.
    static std::string ReadPayload(const TChunkHeader& header, TXDataStream& stream);

private:
    TLayerComposition* FOwner = nullptr;
    TLayerComposition* FPendingOwner = nullptr;
    int FLeft = 0;
    int FTop = 0;
    int FWidth = 0;
    int FHeight = 0;
    bool FVisible = true;
    uint16_t FAlpha = 255;
    TColor FColor = 0;
    std::string FName;
    TLayerAlignFlags FAlign = 0;
    TLayerElement* FAttachedTo = nullptr;
    bool FEnabled = true;
};

// Fills its bounds with its colour at its alpha on screen; opaque on paper.
class TLayerRect : public TLayerElement {
    SF_CLASS(TLayerRect)
public:
    using TLayerElement::TLayerElement;
    void Draw(TLayerCanvas* canvas, const RECT& updateRect, const RECT& deviceRect, const RECT& visibleRect) override;
    void Print(HDC dc, const TMapMode& mapMode) override;
};

// Fills the band between its bounds and an inner rectangle (the page's margin frame).
class TLayerFrame : public TLayerElement {
    SF_CLASS(TLayerFrame)
public:
    using TLayerElement::TLayerElement;
    void Draw(TLayerCanvas* canvas, const RECT& updateRect, const RECT& deviceRect, const RECT& visibleRect) override;
    bool HitTest(const POINT& p) const override;

    const RECT& GetInnerRect() const { return FInnerRect; }
    void SetInnerRect(const RECT& r);

private:
    RECT FInnerRect{};
};

// An element drawn with a Windows pen and brush, both in the element's colour.
class TLayerGDIElement : public TLayerElement {
    SF_CLASS(TLayerGDIElement)
public:
    explicit TLayerGDIElement(TLayerComposition* owner);
    void Draw(TLayerCanvas* canvas, const RECT& updateRect, const RECT& deviceRect, const RECT& visibleRect) override;
    void Changed() override;
    virtual void DrawShape(HDC dc, const RECT& deviceRect, const TMapMode& mapMode);

    TBrush* GetBrush() const { return FBrush.get(); }
    TPen* GetPen() const { return FPen.get(); }

private:
    std::unique_ptr<TBrush, TObjectFree> FBrush;
    std::unique_ptr<TPen, TObjectFree> FPen;
};

class TLayerEllipse : public TLayerGDIElement {
    SF_CLASS(TLayerEllipse)
public:
    using TLayerGDIElement::TLayerGDIElement;
    void DrawShape(HDC dc, const RECT& deviceRect, const TMapMode& mapMode) override;
    void Print(HDC dc, const TMapMode& mapMode) override;
};

// Word-wrapped text. The layout is made in logical units from the font's metrics at a height of
// one device unit per logical unit, so every device and zoom shows the same line breaks and the
// same character positions; it is kept until the text, font, format or width change.
class TLayerText : public TLayerGDIElement {
    SF_CLASS(TLayerText)
public:
    explicit TLayerText(TLayerComposition* owner);
    void AfterConstruction() override;
    ~TLayerText() override;

    bool ReadProperty(const TChunkHeader& header, TXDataStream& stream) override;
    bool ReadChild(const TChunkHeader& header, TXDataStream& stream) override;
    void WriteProperties(TXDataStream& stream) override;
    void WriteChildren(TXDataStream& stream) override;
    void Print(HDC dc, const TMapMode& mapMode) override;
    void Draw(TLayerCanvas* canvas, const RECT& updateRect, const RECT& deviceRect, const RECT& visibleRect) override;
    void DrawShape(HDC dc, const RECT& deviceRect, const TMapMode& mapMode) override;

    const std::string& GetText() const { return FText; }
    void SetText(const std::string& value);
    uint16_t GetFormat() const { return FFormat; }
    void SetFormat(uint16_t value);
    TFont* GetFont() const { return FFont.get(); }
    void SetFont(TFont* font);
    bool GetAutoSize() const { return FAutoSize; }
    void SetAutoSize(bool value) { FAutoSize = value; }
    // With AutoSize the element takes the size of its text; else it is re-placed. Then Changed.
    void Remeasure();
    // The text as one line (line breaks count as characters), in logical units.
    SIZE TextExtent();
    // Single-pass drawing with DrawTextA, used when a text is turned into a picture.
    void DrawTextSimple(HDC dc, const RECT& r, const TMapMode& mapMode);

    // The lines that the layout breaks the text into (for tests and the property panels).
    std::vector<std::string> GetLines();
    // The left offsets of a line's characters from the element's left edge, in logical units.
    std::vector<int> GetCharOffsets(int line);

private:
    struct TLayoutLine {
        std::string Text;
        int Width = 0;
        // Extents[k]: the width of the first k + 1 characters.
        std::vector<int> Extents;
    };

    void InvalidateLayout(TObject* = nullptr);
    void MakeLayout();
    int LogicalFontHeight() const;
    // Draws the laid-out lines through the map mode, clipped to clip (device units).
    void DrawLines(HDC dc, const TMapMode& mapMode, const RECT& clip);
    void ReadFont(TXDataStream& stream);
    void WriteFont(TXDataStream& stream);

    std::string FText;
    std::unique_ptr<TFont, TObjectFree> FFont;
    uint16_t FFormat = DT_WORDBREAK;
    bool FAutoSize = false;

    bool FLayoutValid = false;
    int FLayoutWidth = 0;
    int FLineHeight = 0;
    int FLogicalHeight = 0;
    std::vector<TLayoutLine> FLines;
    // The font at its device height, kept between paints at the same height.
    TGdiObjectHandle FDeviceFont;
    int FDeviceFontHeight = 0;
};

// The tag of the element group that a page writes for the element: "IMAG", "TEXT", "RECT" or
// "ELPS"; empty for classes that are not written (frames, bare GDI elements).
std::string LayerElementTag(const TLayerElement* element);
// Creates the element of a group tag owned by the composition, or nullptr for an unknown tag.
TLayerElement* NewLayerElement(const TChunkHeader& header, TLayerComposition* owner);
// Writes the element as its group; nothing for an element that is not written.
void WriteLayerElement(TXDataStream& stream, TLayerElement* element);
