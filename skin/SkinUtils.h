// The drawing routines every themed window and the theme use: colour arithmetic on class-library
// colours, pens, brushes and shapes that understand "no colour", wide text with rotation,
// image-list images with effects, cached colour ramps and gradients, and the optional Windows
// calls (layered windows, alpha blending, gradients) bound at run time.
//
// Colours are class-library values (red in the low byte, negative values are system colours);
// clNone (0x1FFFFFFF) draws nothing. Nothing here owns the device contexts it is given.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Graphics.h"
#include "platform/ScopeGuards.h"
#include "platform/StdCtrls.h"

class TControl;
class TCustomImageList;

// ---------------------------------------------------------------------------------------------
// Optional calls

using TUpdateLayeredWindowProc = BOOL(WINAPI*)(HWND, HDC, POINT*, SIZE*, HDC, POINT*, COLORREF, BLENDFUNCTION*, DWORD);
using TAlphaBlendProc = BOOL(WINAPI*)(HDC, int, int, int, int, HDC, int, int, int, int, BLENDFUNCTION);
using TGradientFillProc = BOOL(WINAPI*)(HDC, TRIVERTEX*, ULONG, void*, ULONG, ULONG);

// Looked up once by InitSkinUtils; an entry the system lacks stays nullptr and the routines that
// would use it take their fallbacks. Tests may clear entries to reach the fallbacks.
struct TSkinOptionalCalls {
    TUpdateLayeredWindowProc UpdateLayeredWindow = nullptr;
    TAlphaBlendProc AlphaBlend = nullptr;
    TGradientFillProc GradientFill = nullptr;
};
TSkinOptionalCalls& SkinOptionalCalls();

// Binds the optional calls and creates the shared drawing objects; DoneSkinUtils frees them.
void InitSkinUtils();
void DoneSkinUtils();
// Frees the shared drawing objects and makes them again (after a display or colour change).
void RebuildSkinDrawingObjects();

// ---------------------------------------------------------------------------------------------
// Colours

// Per channel (C1 * W + C2 * (255 - W)) / 256: W = 0 gives C2 (nearly), 255 gives C1 less one.
// W above 255 fails an assertion.
TColor MixColorPair(TColor c1, TColor c2, int w);
// MixColorPair, then the nearest colour the screen can show.
TColor MixToScreenColor(TColor c1, TColor c2, int w);
// D added to each channel, each kept within 0 .. 255.
TColor OffsetColorChannels(TColor c, int d);
// 76 R + 150 G + 30 B below threshold * 256.
bool IsColorDark(TColor c, int threshold);
TColor ExchangeRedBlue(TColor c);

// ---------------------------------------------------------------------------------------------
// Pens, brushes and shapes

// No colour: a null pen; else a solid pen one pixel wide. The caller owns it.
HPEN MakePen(TColor c);
// No colour: a hollow brush; else a solid brush. The caller owns it.
HBRUSH MakeBrush(TColor c);

// False, and nothing drawn, for no colour.
bool FillRectColor(HDC dc, const RECT& r, TColor c);
// A one-pixel frame; with shrink the rectangle moves in by one on every side.
void FrameRectColor(HDC dc, RECT& r, TColor c, bool shrink);
void LineColor(HDC dc, int x1, int y1, int x2, int y2, TColor c);
void PolylineColor(HDC dc, const POINT* points, int count, TColor c);
// Nothing when both colours are clNone.
void PolygonColor(HDC dc, const POINT* points, int count, TColor outline, TColor fill);
void RoundRectColor(HDC dc, const RECT& r, TColor outline, TColor fill, int cornerWidth, int cornerHeight);
// The two-colour 8 x 8 checker pattern (the dither of checked buttons).
void CheckerFillRect(HDC dc, const RECT& r, TColor c1, TColor c2);
// Left and top lines in topLeft, right and bottom (one pixel in, with the corners they share)
// in bottomRight. Afterwards the
// rectangle is one pixel smaller on every side with adjust, else two narrower and two lower
// (right and bottom moved in by two).
void Bevel3D(HDC dc, RECT& r, TColor topLeft, TColor bottomRight, bool adjust);
// The system's focus rectangle in black and white, whatever the DC's colours.
void FocusRectPlain(HDC dc, const RECT& r);

// ---------------------------------------------------------------------------------------------
// Text

// Bits 24 to 27 of a DrawWideText format: the rotation.
constexpr UINT DrawTextRotation90 = 0x1000000;   // counter-clockwise: the text runs upward
constexpr UINT DrawTextRotation270 = 0x2000000;  // clockwise: the text runs downward
constexpr UINT DrawTextRotationMask = 0xF000000;

SIZE WideTextSize(HDC dc, const std::wstring& text);
// Draws with DrawTextW and a transparent background; clDefault keeps the DC's text colour. A
// rotated text is centred across the rectangle with a rotated copy of the DC's font and runs
// from the rectangle's top (270) or bottom (90) end, or is centred along it with DT_CENTER.
void DrawWideText(HDC dc, const std::wstring& text, RECT& r, TColor color, UINT format);
// DT_LEFT, DT_RIGHT or DT_CENTER for a text alignment.
UINT AlignmentFlag(TAlignment alignment);

// ---------------------------------------------------------------------------------------------
// Image-list images with effects

struct TImageEffects {
    uint8_t Alpha = 255;        // 255 opaque
    uint8_t Desaturation = 0;   // toward grey; 255 fully grey
    bool Silhouette = false;    // very light pixels black, all others white
    uint8_t TintAmount = 0;     // toward TintColor; 255 fully
    TColor TintColor = clBlack;

    bool Any() const { return Alpha != 255 || Desaturation || Silhouette || TintAmount; }
};

// Draws image index of the list at (x, y), scaled to w x h (below 1: the list's size), with the
// effects. Pixels of the image list's background keep the target. Nothing for a missing list, an
// index outside it or a rectangle that is not visible.
void DrawListImage(HIMAGELIST list, int index, HDC dc, const TImageEffects& effects, int x, int y, int w = 0,
                   int h = 0);
// The same, keeping the finished pixels of an image with effects until the list changes or is freed,
// so that repainting costs one blend of ready pixels.
void DrawListImage(TCustomImageList* images, int index, HDC dc, const TImageEffects& effects, int x, int y,
                   int w = 0, int h = 0);
// The list's own drawing (TCustomImageList::Draw), kept the same way for enabled images whose every
// pixel either covers the target or keeps it.
void DrawListImageNormal(HDC dc, int x, int y, TCustomImageList* images, int index, bool enabled);
// How many finished images are kept, over all lists.
size_t FinishedListImageCount();
// The theme's three image styles, at the rectangle's top left: plain (as a silhouette on a dark
// background), faded toward a colour by 255 - weight, and disabled (style 0 grey, 1 and 2 black
// shadows of different strength) one pixel right of and below the corner.
void DrawListImagePlain(HDC dc, const RECT& r, TCustomImageList* images, int index, bool darkBackground);
void DrawListImageFaded(HDC dc, const RECT& r, TCustomImageList* images, int index, TColor color, int weight);
void DrawListImageGreyed(HDC dc, const RECT& r, TCustomImageList* images, int index, int style);

// ---------------------------------------------------------------------------------------------
// Ramps and gradients

// n colours from c1 to c2 (n = 1: their midpoint), kept in a cache of 16 ramps used round-robin;
// the reference stays valid until 16 further ramps have been made. n below 1 fails an assertion.
const std::vector<TColor>& ColorRamp(int n, TColor c1, TColor c2);
// From c1 at the top (vertical) or left to c2; with GradientFill one gradient, else one-pixel
// strips of a ramp, only those inside the clip box.
void GradientRect(HDC dc, const RECT& r, TColor c1, TColor c2, bool vertical);

// The size a control takes on screen: a form with a border its window rectangle, anything else
// its bounds.
SIZE OuterSize(TControl* control);
