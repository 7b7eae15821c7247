// The toolbar's pictures: the program's own 16 x 16 pictures, one per toolbar command, kept as
// PNG resources and read by the PNG reader into one image list at start-up. A toolbar item takes
// the list and its command's index; the theme gives the disabled look.
#pragma once

#include <span>

#include "platform/ImgList.h"

// The pictures, in the order of the image list.
enum TCommandPicture : int {
    cpOpen,
    cpSave,
    cpPrint,
    cpCut,
    cpCopy,
    cpPaste,
    cpDelete,
    cpAddPage,
    cpDeletePage,
    cpInsertImage,
    cpInsertText,
    cpAlign,
    cpOrder,
    cpRotate,
    cpCount
};

// A toolbar command by its language key (the toolbar item's Tag), its picture and the RCDATA
// resource that holds the picture.
struct TCommandPictureEntry {
    int Tag;
    TCommandPicture Picture;
    const char* Resource;
};
// One entry per picture, in TCommandPicture order.
std::span<const TCommandPictureEntry> CommandPictureTable();

// The image-list index of the toolbar command's picture, or -1 for a tag without one.
int CommandPictureIndex(int tag);

// The pictures' size.
constexpr int CommandPictureSize = 16;

// A new image list owned by owner (which may be nullptr) with every picture in TCommandPicture
// order. Raises when a picture is missing, unreadable or not of the pictures' size.
TImageList* LoadCommandPictures(TComponent* owner);
