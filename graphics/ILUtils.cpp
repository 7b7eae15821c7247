#include "graphics/ILUtils.h"

#include "platform/SysUtils.h"

int32_t LoadImageFile(TILBitmapHandle& bitmap, const std::string& fileName)
{
    if (!FileExists(fileName))
        return IL_ERROR_FILENOTFOUND;
    TILFileInfo info{};
    int32_t result = IL_FileInfo(fileName.c_str(), &info, 0, 0);
    if (result != IL_SUCCESS)
        return result;
    return IL_LoadFile(fileName.c_str(), &bitmap, info.BitsPerPixel, 1, 3, nullptr, nullptr, nullptr, &info);
}
