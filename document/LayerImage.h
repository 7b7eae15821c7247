// The image element: a bitmap of the imaging library or an enhanced metafile placed on a page,
// showing the part of the picture given by its clip rectangle stretched to its bounds.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "document/Layer.h"
#include "platform/ImagingLib.h"

class TMetafile;

// The picture arithmetic of the image element, free of any element state. Sizes are image
// pixels for clips and pictures, logical units for bounds. None of them divides by zero: an
// empty picture, clip or bounds gives "nothing to do".
namespace ImageGeometry {

// Cropping by an edge handle: the target rectangle, in the element's logical units, turned
// into a clip of the picture at the element's current scale, kept inside the picture and at
// least one pixel wide and high. Gives the new clip and the bounds that show it at the same
// scale (the results may be the very rectangles passed in); false when the picture, the clip
// or the bounds are empty.
bool CropClip(RECT bounds, RECT clip, SIZE image, RECT target, RECT& newClip, RECT& newBounds);

// Fits width and height to the clip's proportions: the smaller scale wins. Nothing for an
// empty clip.
void KeepRatio(const RECT& clip, int& width, int& height);

// The whole picture placed so that the clip lands on target.
RECT PictureRect(const RECT& clip, SIZE image, const RECT& target);

// The clip after the picture is turned; image is the size before turning.
RECT RotateClip180(const RECT& clip, SIZE image);
RECT RotateClipLeft(const RECT& clip, SIZE image);
RECT RotateClipRight(const RECT& clip, SIZE image);

// Dots per inch of a picture of the given pixels over the given 0.01 mm; 0 for an axis whose
// physical size is unknown.
POINT MetafileResolution(SIZE pixels, SIZE hiMetric);

// Rasterizing a picture shown at elementSize (logical units) at dpi: the size of the new bitmap
// holding the whole picture at the scale that fits the clip into the element's pixels, and the
// clip at that scale. False when the element, clip or picture is empty or the bitmap would be
// larger than the imaging library can hold.
bool RasterSize(SIZE elementSize, int dpi, const RECT& clip, SIZE image, SIZE& bitmapSize, RECT& newClip);

} // namespace ImageGeometry

// Image kinds.
constexpr uint8_t likEmpty = 0;
constexpr uint8_t likBitmap = 1;
constexpr uint8_t likMetafile = 2;

// Whether image elements write their pixels into chunks even when they came from a file; the
// project's writer switches it for the length of a write. Returns the previous value.
bool GetLayerImageEmbedData();
bool SetLayerImageEmbedData(bool value);

// The BMP file image of a bitmap, as the "BMPD" chunk holds it. Raises EInvalidGraphic with the
// library's result when it cannot be written.
std::string EncodeBitmapData(TILBitmapHandle& bitmap);
// The same into buffer, whose memory is reused when it is large enough; buffer ends holding
// exactly the file image.
void EncodeBitmapData(TILBitmapHandle& bitmap, std::string& buffer);
// Loads a "BMPD" payload; the library checks the picture's header before it allocates.
// Returns the library's result (1 = loaded).
// An embedded picture that is an uncompressed bottom-up 24-bit BMP is read straight from the
// stream into the rows of a bottom-up bitmap: no copy of the payload is made. False (the stream
// where it was) for any other picture, which takes the decoder's way.
bool ReadPlainBitmapData(TXDataStream& stream, int32_t size, TILBitmapHandle& bitmap);
int32_t DecodeBitmapData(const std::string& payload, TILBitmapHandle& bitmap);
// The "WMFD" payload: what the metafile writes to a stream.
std::string EncodeMetafileData(TMetafile* metafile);
// Raises EInvalidGraphic for a payload that is no metafile or is cut short.
std::unique_ptr<TMetafile, TObjectFree> DecodeMetafileData(const std::string& payload);

class TLayerImage : public TLayerElement {
    SF_CLASS(TLayerImage)
public:
    explicit TLayerImage(TLayerComposition* owner);
    ~TLayerImage() override;

    void SetHeight(int value) override;
    void SetWidth(int value) override;
    void Draw(TLayerCanvas* canvas, const RECT& updateRect, const RECT& deviceRect, const RECT& visibleRect) override;
    void SetRect(const RECT& r, const POINT& offset, int mode) override;
    bool ReadProperty(const TChunkHeader& header, TXDataStream& stream) override;
    void WriteProperties(TXDataStream& stream) override;
    void Print(HDC dc, const TMapMode& mapMode) override;

    void FreeImage();
    // Nothing when the file does not exist. ".wmf" and ".emf" files are read as metafiles (a
    // file that is none raises); others through the imaging library, whose result is kept in
    // LoadResult (the element stays empty unless it is 1).
    void LoadFromFile(const std::string& fileName);

    // Turning: bitmaps only. A turn that the library cannot make raises and changes nothing.
    // A turned picture has no source file any more, so that it is saved with its pixels.
    void Rotate180();
    void RotateLeft();
    void RotateRight();

    // Takes the clipboard's bitmap, else its enhanced metafile turned into a bitmap; the element
    // is empty when the copy fails. Nothing when the clipboard holds no picture.
    void PasteFromClipboard();
    void SetMetafileFromClipboard();
    // Turns the metafile into a bitmap at dpi showing the same part at the same bounds.
    // Raises and changes nothing when the bitmap cannot be made.
    void RasterizeMetafile(int dpi);
    // Makes the element a bitmap of the text element's look at dpi, at its bounds. Raises and
    // changes nothing when the bitmap cannot be made.
    void RasterizeText(TLayerText* text, int dpi);

    uint8_t GetKind() const { return FKind; }
    bool IsBitmap() const { return FKind == likBitmap; }
    bool IsEmpty() const { return FKind != likBitmap && FKind != likMetafile; }
    // A linked picture whose file was missing or unreadable when the element was read: it keeps
    // its path, stored clip and size, and shows as an empty frame.
    bool IsSourceMissing() const { return IsEmpty() && !FSourceFile.empty(); }
    TILBitmapHandle* GetBitmapHandle() { return &FBitmap; }
    TMetafile* GetMetafile() const { return FMetafile.get(); }
    bool GetKeepRatio() const { return FKeepRatio; }
    void SetKeepRatio(bool value);
    bool GetClipEnabled() const { return FClipEnabled; }
    void SetClipEnabled(bool value) { FClipEnabled = value; }
    const RECT& GetClipRect() const { return FClipRect; }
    int GetImageWidth() const { return FImageWidth; }
    int GetImageHeight() const { return FImageHeight; }
    const std::string& GetSourceFile() const { return FSourceFile; }
    POINT GetResolution() const { return FResolution; }
    int32_t GetLoadResult() const { return FLoadResult; }
    THiMetric* GetMapMode() const { return FMapMode.get(); }

private:
    // Makes the loaded bitmap the picture: size, clip, resolution (the screen's when the
    // bitmap has none) and bounds from its size.
    void AdoptBitmap(const TILBitmapHandle& bitmap);
    void AdoptMetafile(std::unique_ptr<TMetafile, TObjectFree> metafile, bool resolutionFromFrame);
    void SetPictureBounds();
    // The stored source path: the picture is loaded from it when the file exists and can be
    // read; a file that cannot leaves the element empty, keeping the path.
    void ReadSource(const std::string& fileName);
    // Stored pixels replaced a picture whose file was missing: the path is dropped.
    void ForgetMissingSource(bool sourceMissing);
    void DrawMissingFrame(HDC dc, const RECT& r);
    // Turns the bitmap by angle, committing the new clip and sizes only when the library could.
    void Turn(int angle, const RECT& newClip, bool quarter);
    void PlaceCrop(const RECT& r);
    void PlaceKeepingRatio(const RECT& r, int mode);
    // Draws the picture so that the clip lands on target, inside clip (device pixels).
    void DrawPicture(HDC dc, const RECT& target, const RECT& clip, bool print);

    std::unique_ptr<THiMetric, TObjectFree> FMapMode;
    int FImageWidth = 0;
    int FImageHeight = 0;
    RECT FClipRect{};
    uint8_t FKind = likEmpty;
    std::unique_ptr<TMetafile, TObjectFree> FMetafile;
    TILBitmapHandle FBitmap;
    bool FKeepRatio = true;
    bool FClipEnabled = false;
    std::string FSourceFile;
    POINT FResolution{0, 0};
    int32_t FLoadResult = IL_SUCCESS;
};
