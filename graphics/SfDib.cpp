#include "graphics/SfDib.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/ScopeGuards.h"

SF_IMPLEMENT_CLASS(TSfDib, TSfDC)

namespace {
VARIANT_BOOL ToWordBool(bool value)
{
    return value ? VARIANT_TRUE : VARIANT_FALSE;
}

// The colour of a pixel as the ARGB value the pixel routines use.
uint32_t Argb(uint32_t r, uint32_t g, uint32_t b, uint32_t a)
{
    return (a << 24) | (r << 16) | (g << 8) | b;
}

int MaskShift(uint32_t mask)
{
    int shift = 0;
    while (mask && !(mask & 1)) {
        mask >>= 1;
        ++shift;
    }
    return shift;
}

// A channel under a mask, scaled to 0..255.
uint32_t DecodeChannel(uint32_t value, uint32_t mask)
{
    if (!mask)
        return 0;
    uint32_t top = mask >> MaskShift(mask);
    uint32_t channel = (value & mask) >> MaskShift(mask);
    return static_cast<uint32_t>((static_cast<uint64_t>(channel) * 255 + top / 2) / top);
}

uint32_t EncodeChannel(uint32_t value8, uint32_t mask)
{
    if (!mask)
        return 0;
    uint32_t top = mask >> MaskShift(mask);
    uint32_t channel = static_cast<uint32_t>((static_cast<uint64_t>(value8) * top + 127) / 255);
    return (channel << MaskShift(mask)) & mask;
}

constexpr uint32_t Masks555[4] = {0x7C00, 0x03E0, 0x001F, 0};
constexpr uint32_t Masks888[4] = {0xFF0000, 0x00FF00, 0x0000FF, 0};

bool StandardMasks32(const uint32_t masks[4])
{
    return masks[0] == Masks888[0] && masks[1] == Masks888[1] && masks[2] == Masks888[2] &&
           (masks[3] == 0 || masks[3] == 0xFF000000u);
}
}

// --- interface methods ---

HRESULT TSfDib::SetFormat(LONG width, LONG height, WORD bitCount, DWORD clrUsed)
{
    return SafeCall([&] { DoSetFormat(width, height, bitCount, clrUsed); });
}

HRESULT TSfDib::GetWidth(LONG* width)
{
    return SafeGet(width, [&] { return FWidth; });
}

HRESULT TSfDib::SetWidth(LONG width)
{
    return SafeCall([&] { DoSetFormat(width, FHeight, FBitCount, FClrUsed); });
}

HRESULT TSfDib::GetHeight(LONG* height)
{
    return SafeGet(height, [&] { return FAbsHeight; });
}

HRESULT TSfDib::SetHeight(LONG height)
{
    return SafeCall([&] { DoSetFormat(FWidth, -height, FBitCount, FClrUsed); });
}

HRESULT TSfDib::GetBitCount(WORD* bitCount)
{
    return SafeGet(bitCount, [&] { return FBitCount; });
}

HRESULT TSfDib::SetBitCount(WORD bitCount)
{
    return SafeCall([&] {
        if (FWidth != 0 && FHeight != 0)
            DoSetFormat(FWidth, FHeight, bitCount, FClrUsed);
        else
            FBitCount = bitCount;
    });
}

HRESULT TSfDib::GetClrUsed(DWORD* clrUsed)
{
    return SafeGet(clrUsed, [&] { return FClrUsed; });
}

HRESULT TSfDib::SetClrUsed(DWORD clrUsed)
{
    return SafeCall([&] {
        if (FWidth != 0 && FHeight != 0)
            DoSetFormat(FWidth, FHeight, FBitCount, clrUsed);
        else
            FClrUsed = clrUsed;
    });
}

HRESULT TSfDib::GetColourCount(DWORD* count)
{
    return SafeGet(count, [&] { return FColourCount; });
}

HRESULT TSfDib::Clear()
{
    return SafeCall([&] { DoClear(); });
}

HRESULT TSfDib::IsEmpty(VARIANT_BOOL* empty)
{
    return SafeGet(empty, [&] { return ToWordBool(FWidth == 0 || FHeight == 0 || FBitCount == 0 || !FBits); });
}

HRESULT TSfDib::GetBitmap(HBITMAP* bitmap)
{
    return SafeGet(bitmap, [&] { return FBitmap; });
}

HRESULT TSfDib::SetBitmap(HBITMAP bitmap)
{
    return SafeCall([&] { DoSetBitmap(bitmap); });
}

HRESULT TSfDib::GetOwnsBitmap(VARIANT_BOOL* owns)
{
    return SafeGet(owns, [&] { return ToWordBool(FOwnsBitmap); });
}

HRESULT TSfDib::SetOwnsBitmap(VARIANT_BOOL owns)
{
    return SafeCall([&] { FOwnsBitmap = owns != VARIANT_FALSE; });
}

HRESULT TSfDib::GetGlobal(HGLOBAL* global)
{
    return SafeGet(global, [&] { return FGlobal; });
}

HRESULT TSfDib::SetGlobal(HGLOBAL global)
{
    return SafeCall([&] { DoSetGlobal(global); });
}

HRESULT TSfDib::GetOwnsGlobal(VARIANT_BOOL* owns)
{
    return SafeGet(owns, [&] { return ToWordBool(FOwnsGlobal); });
}

HRESULT TSfDib::SetOwnsGlobal(VARIANT_BOOL owns)
{
    return SafeCall([&] { FOwnsGlobal = owns != VARIANT_FALSE; });
}

HRESULT TSfDib::GetBitmapInfo(BITMAPINFO** info)
{
    return SafeGet(info, [&] { return FBitmapInfo; });
}

HRESULT TSfDib::SetBitmapInfo(BITMAPINFO* info, DWORD size)
{
    return SafeCall([&] { DoSetBitmapInfo(info, size); });
}

HRESULT TSfDib::GetBits(void** bits)
{
    return SafeGet(bits, [&] { return static_cast<void*>(FBits); });
}

HRESULT TSfDib::SetBits(void* bits)
{
    return SafeCall([&] { SetBitsPointer(bits); });
}

HRESULT TSfDib::GetStride(LONG* stride)
{
    return SafeGet(stride, [&] { return FStride; });
}

HRESULT TSfDib::GetScanLine(LONG y, void** line)
{
    return SafeGet(line, [&]() -> void* { return FRow0 ? FRow0 + static_cast<ptrdiff_t>(y) * FStride : nullptr; });
}

HRESULT TSfDib::GetPaletteEntry(LONG index, RGBQUAD** entry)
{
    return SafeGet(entry, [&]() -> RGBQUAD* {
        if (!FBitmapInfo || index < 0 || static_cast<DWORD>(index) >= FColourCount)
            return nullptr;
        auto* table = reinterpret_cast<uint8_t*>(FBitmapInfo) + FColourTableOffset;
        return reinterpret_cast<RGBQUAD*>(table) + index;
    });
}

HRESULT TSfDib::GetPixel(LONG x, LONG y, TColor32* colour)
{
    return SafeGet(colour, [&] { return ReadPixel(x, y); });
}

HRESULT TSfDib::SetPixel(LONG x, LONG y, TColor32 colour)
{
    return SafeCall([&] { WritePixel(x, y, colour); });
}

HRESULT TSfDib::GetSize(LONG* width, LONG* height)
{
    if (!width || !height)
        return E_POINTER;
    *width = FWidth;
    *height = FAbsHeight;
    return S_OK;
}

HRESULT TSfDib::SetSize(LONG width, LONG height)
{
    return SafeCall([&] { DoSetFormat(width, height, FBitCount, FClrUsed); });
}

HRESULT TSfDib::GetPixelPtr(LONG x, LONG y, void** pixel)
{
    return SafeGet(pixel, [&] { return static_cast<void*>(PixelPtr(x, y)); });
}

// --- life cycle and device context ---

void TSfDib::BeforeDestruction()
{
    DoClear();
    TSfDC::BeforeDestruction();
}

HRESULT TSfDib::QueryInterfaceImpl(REFIID iid, void** obj)
{
    if (!obj)
        return E_POINTER;
    if (iid == IID_IUnknown || iid == __uuidof(IDC) || iid == __uuidof(IDib)) {
        *obj = static_cast<IDib*>(this);
        AddRefImpl();
        return S_OK;
    }
    return TInterfacedObject::QueryInterfaceImpl(iid, obj);
}

void TSfDib::ReleaseHandle()
{
    if (FHandle && FOldBitmap)
        SelectObject(FHandle, FOldBitmap);
    FOldBitmap = nullptr;
    TSfDC::ReleaseHandle();
}

void TSfDib::DoSetHandle(HDC handle)
{
    if (handle == FHandle)
        return;
    TSfDC::DoSetHandle(handle);
    SelectIntoHeldContext();
}

HDC TSfDib::DoGetHandle()
{
    if (!FHandle && FBitmap) {
        HDC dc = CreateCompatibleDC(nullptr);
        if (!dc)
            RaiseLastOSError("CreateCompatibleDC");
        FHandle = dc;
        FOwnsHandle = true;
        FOldBitmap = static_cast<HBITMAP>(SelectObject(dc, FBitmap));
    }
    return FHandle;
}

// --- bitmap, global memory and header ---

void TSfDib::CreateBitmap()
{
    void* bits = nullptr;
    FBitmap = CreateDIBSection(nullptr, FBitmapInfo, DIB_RGB_COLORS, &bits, nullptr, 0);
    FOwnsBitmap = FBitmap != nullptr;
    SetBitsPointer(FBitmap ? bits : nullptr);
    SelectIntoHeldContext();
}

void TSfDib::SelectIntoHeldContext()
{
    // The caller's context outlives the bitmaps drawn through it: each new one goes in.
    if (FHandle && FBitmap && !FOldBitmap)
        FOldBitmap = static_cast<HBITMAP>(SelectObject(FHandle, FBitmap));
}

void TSfDib::FreeBitmap()
{
    ReleaseHandle();
    if (FBitmap) {
        // The pixels of a section go with it.
        SetBitsPointer(nullptr);
        if (FOwnsBitmap)
            DeleteObject(FBitmap);
    }
    FOwnsBitmap = false;
    FBitmap = nullptr;
}

void TSfDib::FreeGlobal()
{
    if (FGlobal) {
        GlobalUnlock(FGlobal);
        if (FOwnsGlobal)
            GlobalFree(FGlobal);
    }
    // A later block is not taken as owned because an earlier one was.
    FOwnsGlobal = false;
    FGlobal = nullptr;
}

void TSfDib::FreeHeader()
{
    FreeBitmap();
    FHeaderStorage.reset();
    FHeaderSize = 0;
    FBitmapInfo = nullptr;
    FWidth = FHeight = FAbsHeight = 0;
    FBitCount = 0;
    FClrUsed = FColourCount = 0;
    FStride = 0;
    FColourTableOffset = SfDibUtils::InfoHeaderSize;
    FCompression = BI_RGB;
    std::memset(FMasks, 0, sizeof FMasks);
    SetBitsPointer(nullptr);
}

void TSfDib::AllocHeader()
{
    FHeaderSize = SfDibUtils::HeaderSize(FColourCount);
    FHeaderStorage = std::make_unique<uint8_t[]>(FHeaderSize);
    FBitmapInfo = reinterpret_cast<BITMAPINFO*>(FHeaderStorage.get());
    FColourTableOffset = SfDibUtils::InfoHeaderSize;
}

void TSfDib::DoClear()
{
    FreeHeader();
    FreeGlobal();
}

void TSfDib::SetFormatFields(LONG width, LONG height, WORD bitCount, DWORD clrUsed)
{
    int64_t rowBytes = SfDibUtils::Stride(static_cast<int64_t>(bitCount) * width);
    int64_t absHeight = height < 0 ? -static_cast<int64_t>(height) : height;
    if (rowBytes * absHeight > INT32_MAX || absHeight > INT32_MAX)
        throw EOutOfResources("Bitmap of " + std::to_string(width) + " x " + std::to_string(absHeight) + " at " +
                              std::to_string(bitCount) + " bits per pixel is too large");
    uint32_t colourCount = SfDibUtils::ColourCount(bitCount, clrUsed);
    if (colourCount > 256)
        throw EDibError("A colour table of " + std::to_string(colourCount) + " entries is too large");
    FWidth = width;
    FHeight = height;
    FAbsHeight = static_cast<LONG>(absHeight);
    FBitCount = bitCount;
    FClrUsed = clrUsed;
    FColourCount = colourCount;
    FStride = static_cast<LONG>(height < 0 ? rowBytes : -rowBytes);
}

void TSfDib::SetBitsPointer(void* bits)
{
    FBits = static_cast<uint8_t*>(bits);
    FRow0 = nullptr;
    if (!FBits)
        return;
    FRow0 = FBits;
    if (FHeight >= 1)
        FRow0 += static_cast<ptrdiff_t>(FHeight - 1) * -FStride;
}

void TSfDib::DoSetFormat(LONG width, LONG height, WORD bitCount, DWORD clrUsed)
{
    if (width == FWidth && height == FHeight && bitCount == FBitCount && clrUsed == FClrUsed)
        return;
    DoClear();
    if (width < 1 || height == 0)
        return;
    SetFormatFields(width, height, bitCount, clrUsed);
    AllocHeader();
    BITMAPINFOHEADER& header = FBitmapInfo->bmiHeader;
    header.biSize = SfDibUtils::InfoHeaderSize;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = bitCount;
    header.biCompression = BI_RGB;
    header.biClrUsed = clrUsed;
    CreateBitmap();
}

void TSfDib::DoSetBitmap(HBITMAP bitmap)
{
    // Adopting the bitmap already held must not delete it.
    if (bitmap == FBitmap)
        return;
    DoClear();
    if (!bitmap)
        return;
    DIBSECTION section{};
    int got = ::GetObject(bitmap, sizeof section, &section);
    if (got == 0)
        throw EDibError("The handle is not a bitmap");
    BITMAPINFOHEADER source{};
    void* bits = nullptr;
    if (got == sizeof(DIBSECTION)) {
        source = section.dsBmih;
        bits = section.dsBm.bmBits;
    } else {
        source.biWidth = section.dsBm.bmWidth;
        source.biHeight = section.dsBm.bmHeight;
        source.biBitCount = static_cast<WORD>(section.dsBm.bmBitsPixel * section.dsBm.bmPlanes);
        source.biCompression = BI_RGB;
    }
    SetFormatFields(source.biWidth, source.biHeight, source.biBitCount,
                    got == sizeof(DIBSECTION) ? source.biClrUsed : 0);
    FBitmap = bitmap;
    SelectIntoHeldContext();
    AllocHeader();
    BITMAPINFOHEADER& header = FBitmapInfo->bmiHeader;
    header = source;
    header.biSize = SfDibUtils::InfoHeaderSize;
    header.biPlanes = 1;
    if (got == sizeof(DIBSECTION) && source.biCompression == BI_BITFIELDS) {
        FCompression = BI_BITFIELDS;
        for (int i = 0; i < 3; ++i)
            FMasks[i] = section.dsBitfields[i];
    }
    SetBitsPointer(bits);
    if (FColourCount > 0) {
        if (HDC dc = DoGetHandle())
            GetDIBColorTable(dc, 0, FColourCount, FBitmapInfo->bmiColors);
    }
    if (bits && source.biHeight > 1 && SectionIsTopDown()) {
        SetFormatFields(FWidth, -FHeight, FBitCount, FClrUsed);
        header.biHeight = FHeight;
        SetBitsPointer(bits);
    }
}

bool TSfDib::SectionIsTopDown()
{
    // GDI reports the height of a section as positive whichever way its rows run, so ask GDI
    // which row in memory it draws at the top: mark the first pixel of the first and the last
    // row in memory with different colours, read the top-left pixel, and put the bytes back.
    HDC dc = DoGetHandle();
    // A section held by another context cannot be selected here: GDI has nothing to tell then.
    if (!dc || GetCurrentObject(dc, OBJ_BITMAP) != FBitmap)
        return false;
    uint8_t pattern[2] = {0xFF, 0x00};
    COLORREF colours[2] = {RGB(255, 255, 255), RGB(0, 0, 0)};
    if (FBitCount <= 8) {
        uint32_t other = 1;
        while (other < FColourCount && PaletteColour(other) == PaletteColour(0))
            ++other;
        if (other >= FColourCount)
            return false;  // every colour alike: the two orders cannot be told apart
        const uint8_t replicate = FBitCount == 1 ? 0xFF : FBitCount == 4 ? 0x11 : 0x01;
        pattern[0] = 0;
        pattern[1] = static_cast<uint8_t>(other * replicate);
        for (int i = 0; i < 2; ++i) {
            uint32_t c = PaletteColour(i == 0 ? 0 : other);
            colours[i] = RGB((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF);
        }
    }
    const size_t probe = (FBitCount + 7) / 8;
    uint8_t* rows[2] = {FBits, FBits + static_cast<ptrdiff_t>(FAbsHeight - 1) * (-FStride)};
    uint8_t saved[2][4];
    for (int i = 0; i < 2; ++i) {
        std::memcpy(saved[i], rows[i], probe);
        std::memset(rows[i], pattern[i], probe);
    }
    GdiFlush();
    COLORREF top = ::GetPixel(dc, 0, 0);
    for (int i = 0; i < 2; ++i)
        std::memcpy(rows[i], saved[i], probe);
    auto distance = [top](COLORREF c) {
        return std::abs(GetRValue(top) - GetRValue(c)) + std::abs(GetGValue(top) - GetGValue(c)) +
               std::abs(GetBValue(top) - GetBValue(c));
    };
    return distance(colours[0]) < distance(colours[1]);
}

void TSfDib::DoSetGlobal(HGLOBAL global)
{
    if (global == FGlobal)
        return;
    DoClear();
    if (!global)
        return;
    void* data = GlobalLock(global);
    if (!data)
        RaiseLastOSError("GlobalLock");
    // A block taken stays locked until FreeGlobal; one refused is unlocked again.
    TRollback unlock([global] { GlobalUnlock(global); });
    DoSetBitmapInfo(static_cast<BITMAPINFO*>(data), GlobalSize(global));
    unlock.Commit();
    FGlobal = global;
}

void TSfDib::DoSetBitmapInfo(BITMAPINFO* info, size_t size)
{
    if (info == FBitmapInfo)
        return;
    FreeHeader();
    if (!info)
        return;
    SfDibUtils::TPackedDib packed = SfDibUtils::ParsePackedDib(info, size);
    SetFormatFields(packed.Width, packed.Height, packed.BitCount, packed.ClrUsed);
    FBitmapInfo = info;
    FColourTableOffset = packed.ColourTableOffset;
    FCompression = packed.Compression;
    std::memcpy(FMasks, packed.Masks, sizeof FMasks);
    SetBitsPointer(reinterpret_cast<uint8_t*>(info) + packed.BitsOffset);
}

// --- pixels ---

uint8_t* TSfDib::PixelPtr(LONG x, LONG y) const
{
    if (!FRow0 || x < 0 || x >= FWidth || y < 0 || y >= FAbsHeight)
        return nullptr;
    return FRow0 + static_cast<ptrdiff_t>(y) * FStride + ((static_cast<int64_t>(FBitCount) * x) >> 3);
}

void TSfDib::PixelMasks(uint32_t masks[4]) const
{
    if (FCompression == BI_BITFIELDS) {
        std::memcpy(masks, FMasks, sizeof FMasks);
        return;
    }
    std::memcpy(masks, FBitCount == 16 ? Masks555 : Masks888, sizeof FMasks);
}

uint32_t TSfDib::PaletteColour(uint32_t index) const
{
    // An index beyond the table is drawn black; it must not read past the header.
    if (index >= FColourCount || !FBitmapInfo)
        return Argb(0, 0, 0, 255);
    RGBQUAD entry;
    std::memcpy(&entry, reinterpret_cast<const uint8_t*>(FBitmapInfo) + FColourTableOffset + 4 * index, sizeof entry);
    return Argb(entry.rgbRed, entry.rgbGreen, entry.rgbBlue, 255);
}

uint32_t TSfDib::NearestPaletteIndex(uint32_t colour) const
{
    if (FColourCount == 0 || !FBitmapInfo)
        throw EDibError("The bitmap has no colour table");
    uint32_t best = 0;
    uint32_t bestDistance = UINT32_MAX;
    for (uint32_t i = 0; i < FColourCount && bestDistance != 0; ++i) {
        uint32_t entry = PaletteColour(i);
        uint32_t distance = 0;
        for (int shift = 0; shift <= 16; shift += 8) {
            int d = static_cast<int>((entry >> shift) & 0xFF) - static_cast<int>((colour >> shift) & 0xFF);
            distance += static_cast<uint32_t>(d * d);
        }
        if (distance < bestDistance) {
            bestDistance = distance;
            best = i;
        }
    }
    return best;
}

TColor32 TSfDib::ReadPixel(LONG x, LONG y) const
{
    const uint8_t* p = PixelPtr(x, y);
    if (!p)
        throw EDibError("Pixel (" + std::to_string(x) + ", " + std::to_string(y) + ") lies outside the bitmap");
    uint32_t masks[4];
    switch (FBitCount) {
    case 1:
        return PaletteColour((p[0] >> (7 - (x & 7))) & 1);
    case 4:
        return PaletteColour((x & 1) ? (p[0] & 0x0F) : (p[0] >> 4));
    case 8:
        return PaletteColour(p[0]);
    case 16: {
        uint32_t value = p[0] | (p[1] << 8);
        PixelMasks(masks);
        return Argb(DecodeChannel(value, masks[0]), DecodeChannel(value, masks[1]), DecodeChannel(value, masks[2]),
                    masks[3] ? DecodeChannel(value, masks[3]) : 255);
    }
    case 24:
        return Argb(p[2], p[1], p[0], 255);
    case 32: {
        uint32_t value;
        std::memcpy(&value, p, sizeof value);
        PixelMasks(masks);
        if (StandardMasks32(masks))
            return value;
        return Argb(DecodeChannel(value, masks[0]), DecodeChannel(value, masks[1]), DecodeChannel(value, masks[2]),
                    masks[3] ? DecodeChannel(value, masks[3]) : 255);
    }
    default:
        throw EDibError("No pixels can be read at " + std::to_string(FBitCount) + " bits per pixel");
    }
}

void TSfDib::WritePixel(LONG x, LONG y, TColor32 colour)
{
    uint8_t* p = PixelPtr(x, y);
    if (!p)
        throw EDibError("Pixel (" + std::to_string(x) + ", " + std::to_string(y) + ") lies outside the bitmap");
    uint32_t masks[4];
    switch (FBitCount) {
    case 1: {
        uint8_t bit = static_cast<uint8_t>(0x80 >> (x & 7));
        p[0] = NearestPaletteIndex(colour) ? (p[0] | bit) : (p[0] & ~bit);
        return;
    }
    case 4: {
        uint32_t index = NearestPaletteIndex(colour);
        p[0] = (x & 1) ? static_cast<uint8_t>((p[0] & 0xF0) | index) : static_cast<uint8_t>((p[0] & 0x0F) | (index << 4));
        return;
    }
    case 8:
        p[0] = static_cast<uint8_t>(NearestPaletteIndex(colour));
        return;
    case 16: {
        PixelMasks(masks);
        uint32_t value = 0;
        for (int i = 0; i < 4; ++i)
            value |= EncodeChannel((colour >> (i == 3 ? 24 : 16 - 8 * i)) & 0xFF, masks[i]);
        p[0] = static_cast<uint8_t>(value);
        p[1] = static_cast<uint8_t>(value >> 8);
        return;
    }
    case 24:
        p[0] = static_cast<uint8_t>(colour);
        p[1] = static_cast<uint8_t>(colour >> 8);
        p[2] = static_cast<uint8_t>(colour >> 16);
        return;
    case 32: {
        PixelMasks(masks);
        uint32_t value = colour;
        if (!StandardMasks32(masks)) {
            value = 0;
            for (int i = 0; i < 4; ++i)
                value |= EncodeChannel((colour >> (i == 3 ? 24 : 16 - 8 * i)) & 0xFF, masks[i]);
        }
        std::memcpy(p, &value, sizeof value);
        return;
    }
    default:
        throw EDibError("No pixels can be written at " + std::to_string(FBitCount) + " bits per pixel");
    }
}
