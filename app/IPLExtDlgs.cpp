#include "app/IPLExtDlgs.h"

#include "platform/SysUtils.h"

const char* const SPictureNone = "(None)";

std::string PictureDescription(int width, int height)
{
    return Format(" (%dx%d)", width, height);
}

TPreviewSource ChoosePreviewSource(const std::string& fileName)
{
    if (fileName.empty())
        return TPreviewSource::None;
    DWORD attributes = GetFileAttributesA(fileName.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return TPreviewSource::None;
    if (UpperCase(ExtractFileExt(fileName)) == ".WMF")
        return TPreviewSource::Metafile;
    return TPreviewSource::Thumbnail;
}

RECT PreviewDrawRect(const RECT& box, int width, int height)
{
    int boxWidth = box.right - box.left;
    int boxHeight = box.bottom - box.top;
    if (width <= boxWidth && height <= boxHeight) {
        int left = box.left + (boxWidth - width) / 2;
        int top = box.top + (boxHeight - height) / 2;
        return RECT{left, top, left + width, top + height};
    }
    if (width > height)
        return RECT{box.left, box.top, box.left + boxWidth, box.top + MulDiv(height, boxWidth, width)};
    return RECT{box.left, box.top, box.left + MulDiv(width, boxHeight, height), box.top + boxHeight};
}

RECT FitAspectCentred(const RECT& bounds, int width, int height)
{
    int boundsWidth = bounds.right - bounds.left;
    int boundsHeight = bounds.bottom - bounds.top;
    if (width < 1 || height < 1)
        return bounds;
    int fitWidth = boundsWidth;
    int fitHeight = MulDiv(height, boundsWidth, width);
    if (fitHeight > boundsHeight) {
        fitHeight = boundsHeight;
        fitWidth = MulDiv(width, boundsHeight, height);
    }
    int left = bounds.left + (boundsWidth - fitWidth) / 2;
    int top = bounds.top + (boundsHeight - fitHeight) / 2;
    return RECT{left, top, left + fitWidth, top + fitHeight};
}

RECT PicturePanelRect(const RECT& dialogClient, const RECT& staticArea)
{
    return RECT{staticArea.right, dialogClient.top + 4, dialogClient.right, dialogClient.bottom};
}
