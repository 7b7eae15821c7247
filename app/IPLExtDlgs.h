// Picture file dialogs: the open and save dialogs with a preview of the highlighted picture
// beside the file list, from the imaging library's thumbnail or, for Windows metafiles, from the
// metafile itself.
#pragma once

#include <windows.h>

#include <string>

// The label of a name that is no picture, and of an empty preview.
extern const char* const SPictureNone;
// The label of a picture: its width and height.
std::string PictureDescription(int width, int height);

enum class TPreviewSource { None, Thumbnail, Metafile };
// Where the preview of the highlighted name comes from: nothing for a name that is not an
// existing file (a folder, a vanished file), the metafile class for ".wmf" (the imaging library
// reads no metafiles), the imaging library's thumbnail for everything else.
TPreviewSource ChoosePreviewSource(const std::string& fileName);

// Where a preview bitmap of the size is drawn in the paint box's client rectangle: at its own
// size and centred when it fits, else shrunk along its longer side from the top-left corner.
RECT PreviewDrawRect(const RECT& box, int width, int height);
// The largest rectangle of the picture's proportions inside the bounds, centred.
RECT FitAspectCentred(const RECT& bounds, int width, int height);
// The picture panel's place in the dialog: right of the template's static area (where the
// system put its own controls), 4 pixels lower, to the client area's right and bottom edges.
RECT PicturePanelRect(const RECT& dialogClient, const RECT& staticArea);
