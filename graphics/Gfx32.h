// 32-bit ARGB bitmaps kept as top-down DIB sections in their own memory device contexts, with
// their colour helpers, their own rectangle helpers and the thread-aware persistent base.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>

#include "graphics/Gfx32_Blend.h"
#include "graphics/Gfx32_LowLevel.h"
#include "graphics/SfTypes.h"
#include "platform/Graphics.h"
#include "platform/Persistent.h"

class TStream;

// Resolves system colours to RGB and converts with WinColorToColor32.
TColor32 Color32(TColor color);
// Swaps red and blue of a Windows 00BBGGRR value and sets alpha to 255.
TColor32 WinColorToColor32(TColor winColor);
// Replaces the alpha byte with newAlpha clamped to 0..255.
TColor32 SetColorAlpha(TColor32 color, int newAlpha);

// The bitmap unit's rectangle helpers. They differ from SfTypes' in one rule: here rectangles that
// only touch do intersect (in a zero-width or zero-height result), there they do not.
namespace Gfx32 {
using SfTypes::EqualRect;
using SfTypes::IsRectEmpty;
using SfTypes::MakePoint;
using SfTypes::MakeRect;
using SfTypes::PtInRect;
// Touching rectangles intersect: true with an empty dest when a shares only an edge with b.
bool IntersectRect(RECT& dest, const RECT& a, const RECT& b);
void InflateRect(RECT& r, int dx, int dy);
void OffsetRect(RECT& r, int dx, int dy);
}

// Creates and deletes the unit's process state: the mixing routine binding and its alpha table,
// the global lock that guards lock counts, and the stock font handle.
void Gfx32Startup();
void Gfx32Shutdown();

// A persistent object with its own lock, a lock count and change notification that can be held
// back between BeginUpdate and EndUpdate.
class TThreadPersistent : public TPersistent {
    SF_CLASS(TThreadPersistent)
public:
    TThreadPersistent();
    ~TThreadPersistent() override;

    virtual void Changed();
    void BeginUpdate();
    // Raises EAssertionFailed when there was no BeginUpdate.
    void EndUpdate();
    void Lock();
    void Unlock();

    int GetLockCount() const { return FLockCount; }
    int GetUpdateCount() const { return FUpdateCount; }
    const TNotifyEvent& GetOnChange() const { return FOnChange; }
    void SetOnChange(const TNotifyEvent& handler) { FOnChange = handler; }

protected:
    CRITICAL_SECTION* GetLockHandle() { return &FLock; }

private:
    CRITICAL_SECTION FLock{};
    int FLockCount = 0;
    int FUpdateCount = 0;
    TNotifyEvent FOnChange;
};

// A two-dimensional map of a size.
class TCustomMap : public TThreadPersistent {
    SF_CLASS(TCustomMap)
public:
    TCustomMap() = default;

    virtual void Delete();
    virtual bool Empty() const;
    virtual void Resized();
    // Stores the size and answers whether it changed.
    virtual bool SetSize(int newWidth, int newHeight);

    int GetWidth() const { return FWidth; }
    int GetHeight() const { return FHeight; }
    const TNotifyEvent& GetOnResize() const { return FOnResize; }
    void SetOnResize(const TNotifyEvent& handler) { FOnResize = handler; }

protected:
    int FWidth = 0;
    int FHeight = 0;

private:
    TNotifyEvent FOnResize;
};

enum class TDrawMode { dmOpaque, dmBlend, dmCustom };
enum class TStretchFilter { sfNearest, sfLinear, sfLinear2, sfSpline };
using TPixelCombineEvent = TEvent<TColor32, TColor32&, TColor32>;

// A 32-bit top-down DIB section selected into its own memory device context. Pixels are rows of
// Width colours, top row first, without padding.
class TBitmap32 : public TCustomMap {
    SF_CLASS(TBitmap32)
public:
    TBitmap32();
    ~TBitmap32() override;

    void Delete() override;
    bool Empty() const override;
    // Sizes below 1 become 0; the same size answers false and keeps the pixels. Raises when the
    // pixels cannot be made, leaving the bitmap empty with size 0 x 0.
    bool SetSize(int newWidth, int newHeight) override;

    TColor32* GetBits() const { return FBits; }
    HDC GetHandle() const { return FHandle; }
    HBITMAP GetBitmapHandle() const { return FBitmapHandle; }
    const BITMAPINFO& GetBitmapInfo() const { return FBitmapInfo; }
    // Row Y and pixel (X, Y); raise EInvalidArgument outside the bitmap.
    TColor32* ScanLine(int y) const;
    TColor32* PixelPtr(int x, int y) const;

    void DrawTo(HDC dc, int x, int y) const;
    void ResetAlpha();
    // The fills cover columns x1..x2-1 and rows y1..y2-1, clipped to the bitmap.
    void FillRect(int x1, int y1, int x2, int y2, TColor32 value);
    // Mixes the value over the pixels by its own alpha.
    void FillRectT(int x1, int y1, int x2, int y2, TColor32 value);
    void FillRectSCoords(int x1, int y1, int x2, int y2, TColor32 value);
    void FillRectS(const RECT& r, TColor32 value);

    TDrawMode GetDrawMode() const { return FDrawMode; }
    void SetDrawMode(TDrawMode value);
    int GetMasterAlpha() const { return FMasterAlpha; }
    void SetMasterAlpha(int value);
    TColor32 GetOuterColor() const { return FOuterColor; }
    void SetOuterColor(TColor32 value) { FOuterColor = value; }
    TStretchFilter GetStretchFilter() const { return FStretchFilter; }
    void SetStretchFilter(TStretchFilter value);
    TColor32 GetPenColor() const { return FPenColor; }
    void SetPenColor(TColor32 value) { FPenColor = value; }
    float GetStippleStep() const { return FStippleStep; }
    void SetStippleStep(float value) { FStippleStep = value; }
    const TPixelCombineEvent& GetOnPixelCombine() const { return FOnPixelCombine; }
    void SetOnPixelCombine(const TPixelCombineEvent& handler) { FOnPixelCombine = handler; }
    // Locked with the bitmap's own critical section.
    TFont* GetFont() const { return FFont.get(); }
    void SetFont(TFont* font) { FFont->Assign(font); }

    // Copies a TBitmap32, TBitmap, any other TGraphic, a TPicture's graphic or the clipboard's
    // picture; nullptr empties.
    void Assign(TPersistent* source) override;
    // The binary property "Data": written unless an ancestor bitmap holds the same image, or
    // without an ancestor unless the bitmap is empty.
    void DefineProperties(TFiler* filer) override;
    // i32 Width, i32 Height, then Width x Height colours, top row first. Reading checks the sizes
    // against the stream before anything changes and raises EReadError on bad data.
    virtual void ReadData(TStream* stream);
    virtual void WriteData(TStream* stream);

protected:
    // Gives a TBitmap, a TPicture's bitmap or the clipboard this image in 32 bits per pixel.
    void AssignTo(TPersistent* dest) override;

private:
    bool SameImage(const TBitmap32& other) const;
    void AssignFromBitmap(TBitmap* source);
    void AssignFromGraphic(TGraphic* source);
    void AssignToBitmap(TBitmap* dest);
    void ReleaseFont();
    void FontChanged(TObject*);

    void ReleaseHandles();
    void AllocHandles(int width, int height);
    bool ClipToBitmap(int& x1, int& y1, int& x2, int& y2) const;

    BITMAPINFO FBitmapInfo{};
    TColor32* FBits = nullptr;
    TDrawMode FDrawMode = TDrawMode::dmOpaque;
    std::unique_ptr<TFont, TObjectFree> FFont;
    HBITMAP FBitmapHandle = nullptr;
    HDC FHandle = nullptr;
    int FMasterAlpha = 255;
    TColor32 FOuterColor = 0;
    TColor32 FPenColor = 0xFFFFFFFF;
    float FStippleStep = 1.0f;
    TStretchFilter FStretchFilter = TStretchFilter::sfNearest;
    TPixelCombineEvent FOnPixelCombine;
    bool FFontSelected = false;
};
