// The page export and the image Save As of the main window: the current page rendered at a
// chosen resolution, or an image element's own bitmap, written as a BMP, PNG or JPEG file.
#pragma once

#include <cstdint>
#include <string>

#include "document/LayerImage.h"
#include "document/SheetfoldProject.h"
#include "graphics/ILHandles.h"
#include "platform/ImagingLib.h"

// What the save picture dialog's filter index writes.
struct TPictureFormat {
    const char* Extension;
    int32_t Code;       // the imaging library's file format
    int32_t Quality;    // the imaging library's quality factor
};
// 1 BMP, 2 PNG, 3 JPEG; any other index writes a BMP.
TPictureFormat PictureFormatOf(int filterIndex);

// The file name with the given extension (with its dot): it is changed unless it is exactly
// that extension, case included ("page.PNG" with ".png" gives "page.png").
std::string ForceExtension(const std::string& fileName, const std::string& extension);
// The name a file of the filter index's format is written under.
std::string PictureFileName(const std::string& fileName, int filterIndex);

// The size in pixels of the page's printable area at dpi, as the export renders it.
SIZE ExportPixelSize(const TSheetfoldPage& page, int dpi);

// The page's printable area at dpi on white, 24 bits per pixel, its corner at pixel (0, 0) and
// the resolution recorded in the bitmap. Raises as ExportPage does.
void RenderPage(TSheetfoldPage& page, int dpi, TILBitmapGuard& bitmap);

// Renders the page's printable area at dpi onto a white 24-bit bitmap, its corner at pixel
// (0, 0), and writes it under PictureFileName(fileName, filterIndex). Raises EInvalidGraphic
// when the resolution is not above 0, the bitmap would be larger than MaxRasterBytes, or the
// bitmap cannot be made, drawn on or written.
void ExportPage(TSheetfoldPage& page, int dpi, const std::string& fileName, int filterIndex);

// Writes the image element's own bitmap at its own pixel size under PictureFileName(fileName,
// filterIndex). Raises EInvalidGraphic when the element holds no bitmap or it cannot be written.
void SaveImageBitmap(TLayerImage& image, const std::string& fileName, int filterIndex);
