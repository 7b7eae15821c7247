#include "app/CommandPictures.h"

#include <memory>
#include <string>

#include "platform/Streams.h"
#include "platform/SysUtils.h"
#include "skin/SkinDib.h"
#include "skin/SkinPngBitmap.h"

namespace {
constexpr TCommandPictureEntry Pictures[] = {
    {306, cpOpen, "TOOL_OPEN"},
    {307, cpSave, "TOOL_SAVE"},
    {308, cpPrint, "TOOL_PRINT"},
    {309, cpCut, "TOOL_CUT"},
    {310, cpCopy, "TOOL_COPY"},
    {311, cpPaste, "TOOL_PASTE"},
    {312, cpDelete, "TOOL_DELETE"},
    {301, cpAddPage, "TOOL_ADDPAGE"},
    {302, cpDeletePage, "TOOL_DELETEPAGE"},
    {304, cpInsertImage, "TOOL_INSERTIMAGE"},
    {305, cpInsertText, "TOOL_INSERTTEXT"},
    {7001, cpAlign, "TOOL_ALIGN"},
    {1100, cpOrder, "TOOL_ORDER"},
    {1200, cpRotate, "TOOL_ROTATE"},
};
static_assert(std::size(Pictures) == cpCount);

// The image list keeps a colour and a mask per picture: pixels at least half opaque show their
// colour, the others the mask colour, which no picture uses.
constexpr TColor MaskColor = static_cast<TColor>(0xFF00FF);

// Reads the picture into its place in the strip, in the list's colour-and-mask form.
void ReadPicture(const TCommandPictureEntry& entry, TBitmap* strip, int left)
{
    std::unique_ptr<TResourceStream, TObjectFree> stream(
        New<TResourceStream>(GetModuleHandleA(nullptr), entry.Resource, MAKEINTRESOURCEA(10)));
    std::unique_ptr<TDIB32, TObjectFree> dib(New<TDIB32>());
    LoadPNGIntoDIB(stream.get(), dib.get());
    if (dib->GetWidth() != CommandPictureSize || dib->GetHeight() != CommandPictureSize)
        throw EInvalidOperation(std::string("The toolbar picture ") + entry.Resource + " is not 16 x 16");
    for (int y = 0; y < CommandPictureSize; ++y) {
        const uint32_t* source = dib->GetScanLine(y);
        auto* target = static_cast<uint32_t*>(strip->GetScanLine(y)) + left;
        for (int x = 0; x < CommandPictureSize; ++x)
            target[x] = (source[x] >> 24) >= 128 ? (source[x] & 0xFFFFFF) : 0xFF00FF;
    }
}
}

std::span<const TCommandPictureEntry> CommandPictureTable()
{
    return Pictures;
}

int CommandPictureIndex(int tag)
{
    for (const TCommandPictureEntry& entry : Pictures)
        if (entry.Tag == tag)
            return entry.Picture;
    return -1;
}

TImageList* LoadCommandPictures(TComponent* owner)
{
    // The pictures side by side in one strip, which the list cuts into pictures in one go: added
    // one by one, each cost a copy compatible with the screen and a regrowth of the list.
    std::unique_ptr<TBitmap, TObjectFree> strip(New<TBitmap>());
    strip->SetPixelFormat(TPixelFormat::pf32bit);
    strip->SetSize(CommandPictureSize * cpCount, CommandPictureSize);
    for (const TCommandPictureEntry& entry : Pictures)
        ReadPicture(entry, strip.get(), CommandPictureSize * entry.Picture);
    std::unique_ptr<TImageList, TObjectFree> list(New<TImageList>(nullptr, CommandPictureSize, CommandPictureSize));
    list->AddMasked(strip.get(), MaskColor);
    if (owner)
        owner->InsertComponent(list.get());
    return list.release();
}
