// PNG pictures as a class-library graphic over a TDIB32, registered as the picture format "png",
// and the glue that loads PNG streams into DIBs and saves DIBs as PNG.
#pragma once

#include <memory>

#include "platform/Graphics.h"
#include "skin/SkinDib.h"

class TStream;

// Decodes the stream and only then sizes the DIB to the image and fills it: a failed load leaves
// the DIB as it was.
void LoadPNGIntoDIB(TStream* stream, TDIB32* dib);
// Raises "Invalid image dimensions" (EStreamError) for a DIB of zero width or height.
void SavePNGFromDIB(TStream* stream, const TDIB32* dib);

class TPNGBitmap : public TGraphic {
    SF_CLASS(TPNGBitmap)
public:
    TPNGBitmap();
    // Nothing frees the image; another PNG bitmap copies its DIB; a class-library bitmap is
    // copied opaque.
    void Assign(TPersistent* source) override;

    bool GetEmpty() const override;
    int GetWidth() const override;
    int GetHeight() const override;
    // Negative sizes become 0; a change resizes the image keeping the other side.
    void SetWidth(int width) override;
    void SetHeight(int height) override;
    bool GetTransparent() const override { return true; }
    void SetTransparent(bool) override {}
    TDIB32* GetDIB() const { return FDIB.get(); }

    void LoadFromStream(TStream* stream) override;
    // An empty picture writes nothing.
    void SaveToStream(TStream* stream) override;
    void LoadFromClipboardFormat(UINT, HANDLE, HPALETTE) override {}
    void SaveToClipboardFormat(UINT&, HANDLE&, HPALETTE&) override {}

protected:
    // Alpha-blended, resampled when the rectangle's size differs from the image's.
    void Draw(TCanvas* canvas, const RECT& r) override;

private:
    void Resize(int width, int height);
    TDIB32* ForceDIB();

    std::unique_ptr<TDIB32, TObjectFree> FDIB;
};

// Registers and withdraws the picture format "png"; part of the skin unit's start and end.
void RegisterPNGFormat();
void UnregisterPNGFormat();
