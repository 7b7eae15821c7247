#include "platform/MetafileCheck.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/ImagingCodec.h"

using ImagingCodec::ReadLE16;
using ImagingCodec::ReadLE32;

namespace {

// ---------------------------------------------------------------- reading records

// One record's bytes; every read is checked against its size, and reads past it give 0, so a
// check that forgot a bound reads nothing it should not.
class TRecordView {
public:
    TRecordView(const uint8_t* data, uint64_t size) : FData(data), FSize(size) {}

    uint64_t Size() const { return FSize; }
    const uint8_t* Data() const { return FData; }
    bool Holds(uint64_t offset, uint64_t length) const { return offset <= FSize && length <= FSize - offset; }
    uint32_t U32(uint64_t at) const { return Holds(at, 4) ? ReadLE32(FData + at) : 0; }
    int32_t I32(uint64_t at) const { return static_cast<int32_t>(U32(at)); }
    uint16_t U16(uint64_t at) const { return Holds(at, 2) ? ReadLE16(FData + at) : 0; }
    int16_t I16(uint64_t at) const { return static_cast<int16_t>(U16(at)); }
    float F32(uint64_t at) const
    {
        uint32_t bits = U32(at);
        float value;
        std::memcpy(&value, &bits, sizeof(value));
        return value;
    }

private:
    const uint8_t* FData;
    uint64_t FSize;
};

std::string RecordFault(size_t index, uint32_t type, const std::string& what)
{
    return "record " + std::to_string(index) + " (type " + std::to_string(type) + "): " + what;
}

// ---------------------------------------------------------------- device-independent bitmaps

struct TDibInfo {
    int64_t Width = 0;
    int64_t Rows = 0;
    uint32_t Bits = 0;
    uint32_t Compression = 0;
    uint32_t ImageSize = 0;
    uint64_t HeaderBytes = 0;  // header, masks and colour table
};

// The header and colour table of a DIB of cbBmi bytes; usage is DIB_RGB_COLORS or DIB_PAL_COLORS.
std::string DibHeaderFault(const TRecordView& dib, uint32_t usage, TDibInfo& info)
{
    if (usage != DIB_RGB_COLORS && usage != DIB_PAL_COLORS)
        return "bitmap colour usage " + std::to_string(usage) + " is unknown";
    const uint32_t headerSize = dib.U32(0);
    if (!dib.Holds(0, 12) || !dib.Holds(0, headerSize))
        return "bitmap header lies outside its bytes";
    uint32_t colours = 0;
    uint64_t entryBytes = usage == DIB_PAL_COLORS ? 2 : 4;
    if (headerSize == 12) {
        info.Width = dib.U16(4);
        info.Rows = dib.U16(6);
        info.Bits = dib.U16(10);
        if (dib.U16(8) != 1)
            return "bitmap has other than one plane";
        if (usage == DIB_RGB_COLORS)
            entryBytes = 3;
    } else if (headerSize == 40 || headerSize == 52 || headerSize == 56 || headerSize == 108 || headerSize == 124) {
        const int32_t height = dib.I32(8);
        info.Width = dib.I32(4);
        info.Rows = height == INT32_MIN ? 0 : std::abs(int64_t{height});
        info.Bits = dib.U16(14);
        info.Compression = dib.U32(16);
        info.ImageSize = dib.U32(20);
        colours = dib.U32(32);
        if (dib.U16(12) != 1)
            return "bitmap has other than one plane";
    } else {
        return "bitmap header size " + std::to_string(headerSize) + " is unknown";
    }
    if (info.Width <= 0 || info.Rows <= 0)
        return "bitmap has no pixels";
    const uint32_t b = info.Bits;
    if (b != 1 && b != 4 && b != 8 && b != 16 && b != 24 && b != 32)
        return "bitmap depth " + std::to_string(b) + " is unknown";
    const uint32_t c = info.Compression;
    const bool sound = c == BI_RGB || (c == BI_RLE8 && b == 8) || (c == BI_RLE4 && b == 4) ||
                       (c == BI_BITFIELDS && (b == 16 || b == 32));
    if (!sound)
        return "bitmap compression " + std::to_string(c) + " does not fit its depth";
    if (b <= 8 && colours > (1u << b))
        return "bitmap has more colours than its depth holds";
    if (b <= 8 && colours == 0)
        colours = 1u << b;
    if (colours > 65536)
        return "bitmap colour table is too large";
    const uint64_t masks = (c == BI_BITFIELDS && headerSize == 40) ? 12 : 0;
    info.HeaderBytes = uint64_t{headerSize} + masks + uint64_t{colours} * entryBytes;
    if (!dib.Holds(0, info.HeaderBytes))
        return "bitmap colour table lies outside its bytes";
    return {};
}

// The pixels of rows rows (all when 0) of a DIB, in cbBits bytes.
std::string DibBitsFault(const TDibInfo& info, uint64_t cbBits, uint64_t rows)
{
    if (rows == 0 || rows > uint64_t(info.Rows))
        rows = uint64_t(info.Rows);
    if (info.Compression == BI_RLE8 || info.Compression == BI_RLE4) {
        if (info.ImageSize == 0 || info.ImageSize > cbBits)
            return "compressed bitmap is larger than its bytes";
        if (!ImagingCodec::CodedSizeJustified(uint64_t(info.Width) * uint64_t(info.Rows), info.ImageSize))
            return "compressed bitmap announces more pixels than its bytes can describe";
        return {};
    }
    const uint32_t stride = ImagingCodec::AlignedStride(info.Width, int32_t(info.Bits));
    if (stride == 0 || uint64_t{stride} * rows > cbBits)
        return "bitmap has fewer pixel bytes than its size needs";
    // GDI copies as many bytes as the header's image size says, when it says any.
    if (info.ImageSize != 0 && (info.ImageSize > cbBits || info.ImageSize < uint64_t{stride} * rows))
        return "bitmap's image size disagrees with its pixels";
    return {};
}

// Whether a raster operation reads its source: GDI then builds the source bitmap whatever sizes
// the record gives for it.
bool RopUsesSource(uint32_t rop)
{
    return (((rop >> 2) ^ rop) & 0x330000) != 0;
}

// A DIB given by offsets into a record; a record may have none (both sizes 0) unless it is required.
std::string RecordDibFault(const TRecordView& record, uint64_t atUsage, uint64_t atBmi, uint64_t atCbBmi,
                           uint64_t atBits, uint64_t atCbBits, bool required, uint64_t rows = 0)
{
    const uint32_t offBmi = record.U32(atBmi), cbBmi = record.U32(atCbBmi);
    const uint32_t offBits = record.U32(atBits), cbBits = record.U32(atCbBits);
    if (!record.Holds(offBmi, cbBmi) || !record.Holds(offBits, cbBits))
        return "bitmap lies outside the record";
    if (cbBmi == 0 && cbBits == 0)
        return required ? "bitmap the record draws from is missing" : std::string();
    TDibInfo info;
    const uint32_t usage = atUsage ? record.U32(atUsage) : DIB_RGB_COLORS;
    if (std::string fault = DibHeaderFault(TRecordView(record.Data() + offBmi, cbBmi), usage, info); !fault.empty())
        return fault;
    return DibBitsFault(info, cbBits, rows);
}

// A DIB whose pixels follow its colour table, in the bytes left in a record.
std::string PackedDibFault(const TRecordView& dib, uint32_t usage, uint64_t rows = 0)
{
    TDibInfo info;
    if (std::string fault = DibHeaderFault(dib, usage, info); !fault.empty())
        return fault;
    return DibBitsFault(info, dib.Size() - info.HeaderBytes, rows);
}

// ---------------------------------------------------------------- enhanced metafiles

constexpr uint32_t EmfLastType = 122;
constexpr uint32_t StockFlag = 0x80000000u;
constexpr uint32_t LastStockObject = 19;  // DC_PEN
// Text options of the records: widths given in pairs, and the small text record's own two.
constexpr uint32_t TextPairedWidths = 0x2000;
constexpr uint32_t SmallTextNoRect = 0x100;
constexpr uint32_t SmallTextBytes = 0x200;
// Record types the system's headers leave out.
constexpr uint32_t EmrDrawEscape = 105;
constexpr uint32_t EmrExtEscape = 106;
constexpr uint32_t EmrSmallTextOut = 108;
constexpr uint32_t EmrNamedEscape = 110;
constexpr uint32_t EmrSetLinkedUfis = 119;

// The smallest size of each record type, header included; 0 for types that do not exist.
constexpr uint16_t EmfMinimumSize[EmfLastType + 1] = {
    0,   88,  28,  28,  28,  28,  28,  32,  32,  16,  16,  16,  16,  16,  20,  20,  12,  12,  12,  12,  //   0- 19
    12,  12,  12,  32,  12,  12,  16,  16,  8,   24,  24,  24,  24,  8,   12,  32,  36,  12,  28,  24,  //  20- 39
    12,  28,  24,  24,  32,  40,  40,  40,  12,  16,  20,  16,  8,   24,  16,  40,  28,  12,  12,  8,   //  40- 59
    8,   8,   24,  24,  24,  8,   8,   12,  8,   0,   12,  32,  40,  28,  28,  16,  100, 108, 128, 140, //  60- 79
    76,  80,  104, 76,  76,  28,  28,  28,  28,  28,  32,  32,  28,  32,  32,  52,  40,  40,  12,  336, //  80- 99
    12,  12,  12,  28,  48,  16,  16,  0,   36,  16,  20,  24,  20,  20,  108, 12,  108, 0,   36,  12,  // 100-119
    16,  24,  608,                                                                                       // 120-122
};

bool Finite(const TRecordView& r, uint64_t from, int count)
{
    for (int i = 0; i < count; ++i)
        if (!std::isfinite(r.F32(from + 4 * uint64_t(i))))
            return false;
    return true;
}

// An object index a record uses: a stock object (high bit) or a slot of the object table; slot 0
// is the metafile itself.
bool ObjectIndexFits(uint32_t index, uint32_t handles, bool stockAllowed)
{
    if (index & StockFlag)
        return stockAllowed && (index & ~StockFlag) <= LastStockObject;
    return index >= 1 && index < handles;
}

std::string RegionDataFault(const TRecordView& r, uint64_t at, uint32_t bytes)
{
    if (!r.Holds(at, bytes))
        return "region lies outside the record";
    if (bytes < 32)
        return "region header is cut short";
    const uint32_t headerSize = r.U32(at), kind = r.U32(at + 4), count = r.U32(at + 8);
    if (headerSize != 32 || kind != RDH_RECTANGLES || uint64_t{count} * 16 > bytes - 32)
        return "region rectangles lie outside the region";
    return {};
}

// The text of one EMRTEXT at 'at' (its offsets count from the record's start).
std::string EmrTextFault(const TRecordView& r, uint64_t at, bool wide)
{
    const uint64_t chars = r.U32(at + 8);
    const uint32_t offString = r.U32(at + 12), options = r.U32(at + 16), offDx = r.U32(at + 36);
    if (chars == 0)
        return {};
    if (!r.Holds(offString, chars * (wide ? 2 : 1)))
        return "text lies outside the record";
    if (!r.Holds(offDx, chars * 4 * ((options & TextPairedWidths) ? 2 : 1)))
        return "character widths lie outside the record";
    return {};
}

std::string PointsFault(const TRecordView& r, uint64_t countAt, uint64_t pointBytes, uint64_t extraPerPoint = 0)
{
    const uint64_t count = r.U32(countAt);
    if (!r.Holds(countAt + 4, count * (pointBytes + extraPerPoint)))
        return std::to_string(count) + " points do not fit the record";
    return {};
}

std::string PolyPolyFault(const TRecordView& r, uint64_t pointBytes)
{
    const uint64_t polys = r.U32(24), points = r.U32(28);
    if (!r.Holds(32, polys * 4) || !r.Holds(32 + polys * 4, points * pointBytes))
        return std::to_string(polys) + " figures of " + std::to_string(points) + " points do not fit the record";
    uint64_t sum = 0;
    for (uint64_t i = 0; i < polys; ++i)
        sum += r.U32(32 + 4 * i);
    if (sum > points)
        return "figures count more points than the record holds";
    return {};
}

std::string GradientFault(const TRecordView& r)
{
    const uint64_t vertices = r.U32(24), shapes = r.U32(28);
    const uint32_t mode = r.U32(32);
    if (mode > GRADIENT_FILL_TRIANGLE)
        return "gradient mode " + std::to_string(mode) + " is unknown";
    const uint64_t indexes = mode == GRADIENT_FILL_TRIANGLE ? 3 : 2;
    const uint64_t shapesAt = 36 + vertices * 16;
    if (!r.Holds(36, vertices * 16) || !r.Holds(shapesAt, shapes * indexes * 4))
        return "gradient vertices or shapes lie outside the record";
    for (uint64_t i = 0; i < shapes * indexes; ++i)
        if (r.U32(shapesAt + 4 * i) >= vertices)
            return "gradient shape names a vertex that does not exist";
    return {};
}

// What one record of an enhanced metafile holds beyond its fixed size.
std::string EmfRecordFault(const TRecordView& r, uint32_t type, uint32_t handles)
{
    switch (type) {
    case EMR_POLYBEZIER: case EMR_POLYGON: case EMR_POLYLINE: case EMR_POLYBEZIERTO: case EMR_POLYLINETO:
        return PointsFault(r, 24, 8);
    case EMR_POLYBEZIER16: case EMR_POLYGON16: case EMR_POLYLINE16: case EMR_POLYBEZIERTO16: case EMR_POLYLINETO16:
        return PointsFault(r, 24, 4);
    case EMR_POLYDRAW:
        return PointsFault(r, 24, 8, 1);
    case EMR_POLYDRAW16:
        return PointsFault(r, 24, 4, 1);
    case EMR_POLYPOLYLINE: case EMR_POLYPOLYGON:
        return PolyPolyFault(r, 8);
    case EMR_POLYPOLYLINE16: case EMR_POLYPOLYGON16:
        return PolyPolyFault(r, 4);
    case EMR_EOF: {
        const uint64_t entries = r.U32(8);
        return entries && !r.Holds(r.U32(12), entries * 4) ? "palette lies outside the record" : std::string();
    }
    case EMR_SETWORLDTRANSFORM:
        return Finite(r, 8, 6) ? std::string() : "transform is not a number";
    case EMR_MODIFYWORLDTRANSFORM:
        if (!Finite(r, 8, 6))
            return "transform is not a number";
        return r.U32(32) >= 1 && r.U32(32) <= 4 ? std::string() : "transform mode is unknown";
    case EMR_ANGLEARC:
        return Finite(r, 20, 2) ? std::string() : "angle is not a number";
    case EMR_SETMITERLIMIT:
        return Finite(r, 8, 1) ? std::string() : "miter limit is not a number";
    case EMR_CREATEPEN: case EMR_CREATEBRUSHINDIRECT: case EMR_EXTCREATEFONTINDIRECTW: case EMR_CREATECOLORSPACE:
        return ObjectIndexFits(r.U32(8), handles, false) ? std::string() : "object index lies outside the object table";
    case EMR_CREATEPALETTE:
        if (!ObjectIndexFits(r.U32(8), handles, false))
            return "object index lies outside the object table";
        return r.Holds(16, uint64_t{r.U16(14)} * 4) ? std::string() : "palette entries lie outside the record";
    case EMR_CREATEMONOBRUSH: case EMR_CREATEDIBPATTERNBRUSHPT:
        if (!ObjectIndexFits(r.U32(8), handles, false))
            return "object index lies outside the object table";
        return RecordDibFault(r, 12, 16, 20, 24, 28, true);
    case EMR_EXTCREATEPEN: {
        if (!ObjectIndexFits(r.U32(8), handles, false))
            return "object index lies outside the object table";
        if (!r.Holds(52, uint64_t{r.U32(48)} * 4))
            return "pen style entries lie outside the record";
        const uint32_t brush = r.U32(36);
        return RecordDibFault(r, 0, 12, 16, 20, 24, brush == BS_DIBPATTERN || brush == BS_DIBPATTERNPT);
    }
    case EMR_CREATECOLORSPACEW:
        if (!ObjectIndexFits(r.U32(8), handles, false))
            return "object index lies outside the object table";
        return r.Holds(608, r.U32(604)) ? std::string() : "colour space data lies outside the record";
    case EMR_SELECTOBJECT: case EMR_SETCOLORSPACE:
        return ObjectIndexFits(r.U32(8), handles, true) ? std::string() : "object index lies outside the object table";
    case EMR_SELECTPALETTE:
        return r.U32(8) == (StockFlag | DEFAULT_PALETTE) || ObjectIndexFits(r.U32(8), handles, false)
                   ? std::string()
                   : "palette index lies outside the object table";
    case EMR_DELETEOBJECT: case EMR_DELETECOLORSPACE: case EMR_SETPALETTEENTRIES: case EMR_RESIZEPALETTE:
    case EMR_COLORCORRECTPALETTE:
        if (!ObjectIndexFits(r.U32(8), handles, false))
            return "object index lies outside the object table";
        if (type == EMR_SETPALETTEENTRIES && !r.Holds(20, uint64_t{r.U32(16)} * 4))
            return "palette entries lie outside the record";
        if (type == EMR_RESIZEPALETTE && r.U32(12) > 65535)
            return "palette size is beyond what a palette holds";
        return {};
    case EMR_GDICOMMENT:
        return r.Holds(12, r.U32(8)) ? std::string() : "comment lies outside the record";
    case EMR_FILLRGN: case EMR_FRAMERGN:
        if (!ObjectIndexFits(r.U32(28), handles, true))
            return "brush index lies outside the object table";
        return RegionDataFault(r, type == EMR_FILLRGN ? 32 : 40, r.U32(24));
    case EMR_INVERTRGN: case EMR_PAINTRGN:
        return RegionDataFault(r, 28, r.U32(24));
    case EMR_EXTSELECTCLIPRGN:
        if (r.U32(12) < RGN_AND || r.U32(12) > RGN_COPY)
            return "clip mode is unknown";
        return r.U32(8) == 0 ? std::string() : RegionDataFault(r, 16, r.U32(8));
    case EMR_BITBLT: case EMR_STRETCHBLT:
        return RecordDibFault(r, 80, 84, 88, 92, 96, RopUsesSource(r.U32(40)));
    case EMR_ALPHABLEND: case EMR_TRANSPARENTBLT:
        return RecordDibFault(r, 80, 84, 88, 92, 96, true);
    case EMR_MASKBLT:
        if (std::string fault = RecordDibFault(r, 80, 84, 88, 92, 96, RopUsesSource(r.U32(40))); !fault.empty())
            return fault;
        return RecordDibFault(r, 108, 112, 116, 120, 124, false);
    case EMR_PLGBLT:
        if (std::string fault = RecordDibFault(r, 92, 96, 100, 104, 108, true); !fault.empty())
            return fault;
        return RecordDibFault(r, 120, 124, 128, 132, 136, false);
    case EMR_SETDIBITSTODEVICE:
        return RecordDibFault(r, 64, 48, 52, 56, 60, true, std::max<uint32_t>(r.U32(72), 1));
    case EMR_STRETCHDIBITS:
        return RecordDibFault(r, 64, 48, 52, 56, 60, RopUsesSource(r.U32(68)));
    case EMR_EXTTEXTOUTA: case EMR_EXTTEXTOUTW:
        if (!Finite(r, 28, 2))
            return "text scale is not a number";
        return EmrTextFault(r, 36, type == EMR_EXTTEXTOUTW);
    case EMR_POLYTEXTOUTA: case EMR_POLYTEXTOUTW: {
        const uint64_t strings = r.U32(36);
        if (!Finite(r, 28, 2))
            return "text scale is not a number";
        if (!r.Holds(40, strings * 40))
            return "texts lie outside the record";
        for (uint64_t i = 0; i < strings; ++i)
            if (std::string fault = EmrTextFault(r, 40 + 40 * i, type == EMR_POLYTEXTOUTW); !fault.empty())
                return fault;
        return {};
    }
    case EmrSmallTextOut: {
        const uint32_t options = r.U32(20);
        const uint64_t textAt = (options & SmallTextNoRect) ? 36 : 52;
        const uint64_t bytes = uint64_t{r.U32(16)} * ((options & SmallTextBytes) ? 1 : 2);
        if (!Finite(r, 28, 2))
            return "text scale is not a number";
        return r.Holds(textAt, bytes) ? std::string() : "text lies outside the record";
    }
    case EMR_GRADIENTFILL:
        return GradientFault(r);
    case EmrDrawEscape: case EmrExtEscape:
        return r.Holds(16, r.U32(12)) ? std::string() : "escape data lies outside the record";
    case EmrNamedEscape:
        return r.Holds(20, uint64_t{r.U32(12)} + r.U32(16)) ? std::string() : "escape data lies outside the record";
    case EMR_SETICMPROFILEA: case EMR_SETICMPROFILEW:
        return r.Holds(20, uint64_t{r.U32(12)} + r.U32(16)) ? std::string() : "profile lies outside the record";
    case EMR_COLORMATCHTOTARGETW:
        return r.Holds(24, uint64_t{r.U32(16)} + r.U32(20)) ? std::string() : "profile lies outside the record";
    case EMR_GLSRECORD:
        return r.Holds(12, r.U32(8)) ? std::string() : "data lies outside the record";
    case EMR_GLSBOUNDEDRECORD:
        return r.Holds(28, r.U32(24)) ? std::string() : "data lies outside the record";
    case EmrSetLinkedUfis:
        return r.Holds(12, uint64_t{r.U32(8)} * 8) ? std::string() : "font identifiers lie outside the record";
    default:
        return {};
    }
}

// Frames and reference sizes are kept in 32-bit sums and products downstream: anything beyond
// this is no picture.
constexpr int64_t MaxFrameCoordinate = int64_t(1) << 28;

std::string EmfHeaderFault(const TRecordView& h, size_t size)
{
    const uint32_t headerSize = h.U32(4);
    if (h.U32(0) != EMR_HEADER)
        return "the first record is no header";
    if (headerSize < 88 || headerSize % 4 != 0)
        return "header size " + std::to_string(headerSize) + " is not a header's";
    if (h.U32(40) != ENHMETA_SIGNATURE || h.U32(44) != 0x10000)
        return "header signature or version is unknown";
    const uint32_t total = h.U32(48);
    if (total < headerSize || total % 4 != 0)
        return "announced size " + std::to_string(total) + " is smaller than its header";
    if (total > size)
        return "announced size " + std::to_string(total) + " is larger than the " + std::to_string(size) + " bytes present";
    if (h.U16(56) == 0)
        return "object table has no room for the metafile itself";
    const uint64_t description = h.U32(60);
    if (description && !h.Holds(h.U32(64), description * 2))
        return "description lies outside the header";
    if (h.I32(72) <= 0 || h.I32(76) <= 0 || h.I32(80) <= 0 || h.I32(84) <= 0)
        return "reference device has no size";
    for (uint64_t at = 24; at < 40; at += 4)
        if (std::abs(int64_t{h.I32(at)}) > MaxFrameCoordinate)
            return "frame lies beyond any picture's size";
    if (headerSize >= 100 && h.U32(88) && !h.Holds(h.U32(92), h.U32(88)))
        return "pixel format lies outside the header";
    return {};
}

// ---------------------------------------------------------------- Windows metafiles

constexpr size_t WmfHeaderBytes = 18;

// The object table as records create and delete objects: a new object takes the lowest free slot.
class TWmfObjects {
public:
    explicit TWmfObjects(uint32_t slots) : FUsed(slots, false) {}
    bool Create()
    {
        auto free = std::find(FUsed.begin(), FUsed.end(), false);
        if (free == FUsed.end())
            return false;
        *free = true;
        return true;
    }
    bool Uses(uint32_t index) const { return index < FUsed.size() && FUsed[index]; }
    bool Delete(uint32_t index)
    {
        if (!Uses(index))
            return false;
        FUsed[index] = false;
        return true;
    }

private:
    std::vector<bool> FUsed;
};

// The enhanced copy that a converted Windows metafile carries in comment escapes, gathered chunk
// by chunk.
class TEmbeddedEmf {
public:
    static constexpr uint32_t Signature = 0x43464D57;  // "WMFC"
    static constexpr uint64_t ChunkHeader = 34;

    bool IsChunk(const TRecordView& escape) const
    {
        return escape.U16(0) == MFCOMMENT && escape.U16(2) >= 8 && escape.U32(4) == Signature && escape.U32(8) == 1;
    }
    std::string Add(const TRecordView& escape)
    {
        const uint64_t bytes = escape.U16(2);
        const TRecordView chunk(escape.Data() + 4, std::min<uint64_t>(bytes, escape.Size() - 4));
        const uint32_t records = chunk.U32(18), current = chunk.U32(22), remaining = chunk.U32(26), total = chunk.U32(30);
        if (bytes < ChunkHeader || current > bytes - ChunkHeader)
            return "embedded metafile chunk lies outside its comment";
        if (FChunks == 0) {
            FTotal = total;
            FRecords = records;
        }
        if (total != FTotal || records != FRecords || FData.size() + current > FTotal ||
            remaining != FTotal - FData.size() - current)
            return "embedded metafile chunks do not add up";
        FData.insert(FData.end(), chunk.Data() + ChunkHeader, chunk.Data() + ChunkHeader + current);
        ++FChunks;
        return {};
    }
    std::string Fault() const
    {
        if (FChunks == 0)
            return {};
        if (FData.size() != FTotal || FChunks != FRecords)
            return "embedded metafile is cut short";
        if (std::string fault = EnhMetafileFault(FData.data(), FData.size()); !fault.empty())
            return "embedded metafile: " + fault;
        return {};
    }

private:
    std::vector<uint8_t> FData;
    uint32_t FTotal = 0;
    uint32_t FRecords = 0;
    uint32_t FChunks = 0;
};

// An old-style bitmap of a Windows metafile record, its bits right after its 14-byte header
// (and 'gap' more bytes).
std::string Bitmap16Fault(const TRecordView& b, uint64_t gap = 0)
{
    if (!b.Holds(0, 14 + gap))
        return "bitmap header lies outside the record";
    const uint64_t width = b.U16(2), height = b.U16(4), widthBytes = b.U16(6);
    const uint32_t planes = b.Data()[8], bits = b.Data()[9];
    if (planes != 1 || (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32))
        return "bitmap depth is unknown";
    if (widthBytes < (width * bits + 15) / 16 * 2 || !b.Holds(14 + gap, widthBytes * height))
        return "bitmap pixels lie outside the record";
    return {};
}

// The record's parameters after its size and function, in 16-bit words.
class TWmfParams : public TRecordView {
public:
    using TRecordView::TRecordView;
    uint64_t Words() const { return Size() / 2; }
    uint16_t W(uint64_t index) const { return U16(2 * index); }
    bool HasWords(uint64_t from, uint64_t count) const { return Holds(2 * from, 2 * count); }
    TRecordView From(uint64_t word) const
    {
        const uint64_t at = std::min(2 * word, Size());
        return TRecordView(Data() + at, Size() - at);
    }
};

// A record with a bitmap or none: GDI tells them apart by the record's size.
bool WithoutBitmap(const TWmfParams& p, uint16_t function)
{
    return p.Words() == uint64_t(function >> 8);
}

std::string RegionFault(const TWmfParams& p)
{
    if (!p.HasWords(0, 11))
        return "region header lies outside the record";
    uint64_t at = 11;
    for (uint32_t scan = 0, scans = p.W(5); scan < scans; ++scan) {
        const uint64_t count = p.W(at);
        if (count % 2 != 0 || !p.HasWords(at, count + 4) || p.W(at + 3 + count) != count)
            return "region scan " + std::to_string(scan) + " lies outside the record";
        at += count + 4;
    }
    return {};
}

std::string WmfTextFault(const TWmfParams& p, bool extended)
{
    if (!extended) {
        const uint64_t count = p.W(0);
        return p.HasWords(0, 1 + (count + 1) / 2 + 2) ? std::string() : "text lies outside the record";
    }
    const uint64_t count = p.W(2);
    const uint64_t rect = (p.W(3) & (ETO_OPAQUE | ETO_CLIPPED)) ? 4 : 0;
    const uint64_t used = 4 + rect + (count + 1) / 2;
    if (!p.HasWords(0, used))
        return "text lies outside the record";
    const uint64_t widths = p.Words() - used;
    return widths == 0 || widths >= count ? std::string() : "character widths are cut short";
}

std::string WmfFontFault(const TWmfParams& p)
{
    constexpr uint64_t fixedBytes = 18, faceBytes = 32;
    if (!p.Holds(0, fixedBytes))
        return "font lies outside the record";
    if (p.Holds(0, fixedBytes + faceBytes))
        return {};
    const uint8_t* face = p.Data() + fixedBytes;
    return std::memchr(face, 0, p.Size() - fixedBytes) ? std::string() : "font name runs past the record";
}

// The bounds of each record a Windows metafile may hold; records of unknown functions need only fit.
std::string WmfRecordFault(const TWmfParams& p, uint16_t function, TWmfObjects& objects, TEmbeddedEmf& embedded)
{
    auto words = [&](uint64_t count) { return p.HasWords(0, count) ? std::string() : "parameters are cut short"; };
    auto counted = [&](uint64_t countAt, uint64_t wordsEach) {
        return p.HasWords(0, countAt + 1) && p.HasWords(countAt + 1, p.W(countAt) * wordsEach)
                   ? std::string()
                   : "entries lie outside the record";
    };
    auto uses = [&](std::initializer_list<uint64_t> at) {
        for (uint64_t i : at)
            if (!p.HasWords(i, 1) || !objects.Uses(p.W(i)))
                return std::string("object index names no object");
        return std::string();
    };
    auto creates = [&](const std::string& fault) {
        if (!fault.empty())
            return fault;
        return objects.Create() ? std::string() : std::string("object table is full");
    };
    switch (function) {
    case META_SAVEDC: case META_REALIZEPALETTE:
        return {};
    case META_SETBKMODE: case META_SETMAPMODE: case META_SETROP2: case META_SETRELABS: case META_SETPOLYFILLMODE:
    case META_SETSTRETCHBLTMODE: case META_SETTEXTCHAREXTRA: case META_RESTOREDC: case META_SETTEXTALIGN:
    case META_RESIZEPALETTE:
        return words(1);
    case META_SETBKCOLOR: case META_SETTEXTCOLOR: case META_SETTEXTJUSTIFICATION: case META_SETWINDOWORG:
    case META_SETWINDOWEXT: case META_SETVIEWPORTORG: case META_SETVIEWPORTEXT: case META_OFFSETWINDOWORG:
    case META_OFFSETVIEWPORTORG: case META_LINETO: case META_MOVETO: case META_OFFSETCLIPRGN: case META_SETMAPPERFLAGS:
    case META_SETLAYOUT:
        return words(2);
    case META_SCALEWINDOWEXT: case META_SCALEVIEWPORTEXT: case META_EXCLUDECLIPRECT: case META_INTERSECTCLIPRECT:
    case META_ELLIPSE: case META_FLOODFILL: case META_RECTANGLE: case META_SETPIXEL:
        return words(4);
    case META_EXTFLOODFILL:
        return words(5);
    case META_ROUNDRECT: case META_PATBLT:
        return words(6);
    case META_ARC: case META_PIE: case META_CHORD:
        return words(8);
    case META_SETPALENTRIES: case META_ANIMATEPALETTE:
        return counted(1, 2);
    case META_POLYGON: case META_POLYLINE:
        return counted(0, 2);
    case META_POLYPOLYGON: {
        const uint64_t polys = p.W(0);
        if (!p.HasWords(0, 1 + polys))
            return "figures lie outside the record";
        uint64_t points = 0;
        for (uint64_t i = 0; i < polys; ++i)
            points += p.W(1 + i);
        return p.HasWords(1 + polys, 2 * points) ? std::string() : "points lie outside the record";
    }
    case META_TEXTOUT:
        return WmfTextFault(p, false);
    case META_EXTTEXTOUT:
        return WmfTextFault(p, true);
    case META_ESCAPE:
        if (!p.HasWords(0, 2) || !p.Holds(4, p.W(1)))
            return "escape data lies outside the record";
        return embedded.IsChunk(p) ? embedded.Add(p) : std::string();
    case META_SELECTOBJECT: case META_SELECTPALETTE: case META_SELECTCLIPREGION: case META_INVERTREGION:
    case META_PAINTREGION:
        return uses({0});
    case META_FILLREGION:
        return uses({0, 1});
    case META_FRAMEREGION:
        return p.HasWords(0, 4) ? uses({0, 1}) : "parameters are cut short";
    case META_DELETEOBJECT:
        return p.HasWords(0, 1) && objects.Delete(p.W(0)) ? std::string() : "object index names no object";
    case META_CREATEPALETTE:
        return creates(counted(1, 2));
    case META_CREATEPENINDIRECT:
        return creates(words(5));
    case META_CREATEBRUSHINDIRECT:
        return creates(words(4));
    case META_CREATEFONTINDIRECT:
        return creates(WmfFontFault(p));
    case META_CREATEREGION:
        return creates(RegionFault(p));
    case META_CREATEPATTERNBRUSH:
        return creates(Bitmap16Fault(p, 18));
    case META_DIBCREATEPATTERNBRUSH:
        return creates(p.HasWords(0, 2) ? PackedDibFault(p.From(2), p.W(1)) : "parameters are cut short");
    case META_BITBLT:
        return WithoutBitmap(p, function) ? std::string() : Bitmap16Fault(p.From(8));
    case META_STRETCHBLT:
        return WithoutBitmap(p, function) ? std::string() : Bitmap16Fault(p.From(10));
    case META_DIBBITBLT:
        return WithoutBitmap(p, function) ? std::string() : PackedDibFault(p.From(8), DIB_RGB_COLORS);
    case META_DIBSTRETCHBLT:
        return WithoutBitmap(p, function) ? std::string() : PackedDibFault(p.From(10), DIB_RGB_COLORS);
    case META_SETDIBTODEV:
        return p.HasWords(0, 9) ? PackedDibFault(p.From(9), p.W(0), std::max<uint16_t>(p.W(1), 1))
                                : "parameters are cut short";
    case META_STRETCHDIB:
        return p.HasWords(0, 11) ? PackedDibFault(p.From(11), p.W(2)) : "parameters are cut short";
    default:
        // A function not known here is passed over, as the system passes over one it does not know.
        return {};
    }
}

} // namespace

std::string EnhMetafileFault(const uint8_t* data, size_t size)
{
    if (!data || size < 88)
        return "too short for a header";
    const TRecordView header(data, size);
    if (std::string fault = EmfHeaderFault(header, size); !fault.empty())
        return fault;
    const uint32_t total = header.U32(48);
    const uint32_t handles = header.U16(56);
    uint64_t at = 0;
    for (size_t index = 0;; ++index) {
        if (total - at < 8)
            return "the records end without an end-of-file record";
        const uint32_t type = ReadLE32(data + at), recordSize = ReadLE32(data + at + 4);
        if (recordSize < 8 || recordSize % 4 != 0 || recordSize > total - at)
            return RecordFault(index, type, "size " + std::to_string(recordSize) + " does not fit the data");
        if ((type == EMR_HEADER) != (index == 0))
            return RecordFault(index, type, index == 0 ? "the first record is no header" : "a second header");
        // Programs write record types of their own, and newer systems add types: a record of a type
        // not known here is sound as long as it fits, and is passed over (the system plays no record
        // it does not know either).
        if (type > EmfLastType || EmfMinimumSize[type] == 0) {
            at += recordSize;
            continue;
        }
        if (recordSize < EmfMinimumSize[type])
            return RecordFault(index, type, "size " + std::to_string(recordSize) + " is too small for the type");
        const TRecordView record(data + at, recordSize);
        if (std::string fault = EmfRecordFault(record, type, handles); !fault.empty())
            return RecordFault(index, type, fault);
        if (type == EMR_EOF)
            return {};
        at += recordSize;
    }
}

size_t WinMetafileSize(const uint8_t* data, size_t size)
{
    if (!data || size < WmfHeaderBytes)
        return 0;
    return size_t(uint64_t{ReadLE32(data + 6)} * 2);
}

std::string WinMetafileFault(const uint8_t* data, size_t size)
{
    if (!data || size < WmfHeaderBytes)
        return "too short for a header";
    const TRecordView h(data, size);
    const uint16_t type = h.U16(0), headerWords = h.U16(2), version = h.U16(4);
    const uint64_t total = uint64_t{h.U32(6)} * 2;
    if ((type != 1 && type != 2) || headerWords != WmfHeaderBytes / 2 || (version != 0x100 && version != 0x300))
        return "header type, size or version is unknown";
    if (total < WmfHeaderBytes + 6 || total > size)
        return "announced size " + std::to_string(total) + " does not fit the " + std::to_string(size) + " bytes present";
    if (uint64_t{h.U32(12)} * 2 > total)
        return "largest record is announced larger than the metafile";
    TWmfObjects objects(h.U16(10));
    TEmbeddedEmf embedded;
    uint64_t at = WmfHeaderBytes;
    for (size_t index = 0;; ++index) {
        // Some programs leave out the end record: the announced size ends the records as well.
        if (total == at)
            return embedded.Fault();
        if (total - at < 6)
            return RecordFault(index, 0, "record is cut short");
        const uint64_t recordSize = uint64_t{ReadLE32(data + at)} * 2;
        const uint16_t function = ReadLE16(data + at + 4);
        if (recordSize < 6 || recordSize > total - at)
            return RecordFault(index, function, "size " + std::to_string(recordSize) + " does not fit the data");
        if (function == 0)
            return embedded.Fault();
        const TWmfParams params(data + at + 6, recordSize - 6);
        if (std::string fault = WmfRecordFault(params, function, objects, embedded); !fault.empty())
            return RecordFault(index, function, fault);
        at += recordSize;
    }
}

// ---------------------------------------------------------------- bounded playback

namespace {

// The extent of a drawing record in the metafile's logical units, as the record says it.
struct TLogicalBox {
    double Left = 0, Top = 0, Right = 0, Bottom = 0;
    bool Empty = true;
    void Add(double x, double y)
    {
        if (Empty) {
            Left = Right = x;
            Top = Bottom = y;
            Empty = false;
            return;
        }
        Left = std::min(Left, x);
        Right = std::max(Right, x);
        Top = std::min(Top, y);
        Bottom = std::max(Bottom, y);
    }
};

enum class TDrawKind { None, Shape, Curve, Text };

struct TDrawing {
    TDrawKind Kind = TDrawKind::None;
    TLogicalBox Box;
    bool Stroked = false;        // drawn with the current pen
    bool FromPosition = false;   // starts at the current position
    bool MovesPosition = false;  // leaves the current position at End
    POINT End = {};
    uint64_t Characters = 0;
};

void AddPoints(TDrawing& d, const TRecordView& r, uint64_t countAt, bool sixteen)
{
    const uint64_t count = r.U32(countAt), size = sixteen ? 4 : 8;
    for (uint64_t i = 0, at = countAt + 4; i < count && r.Holds(at, size); ++i, at += size) {
        const double x = sixteen ? r.I16(at) : r.I32(at);
        const double y = sixteen ? r.I16(at + 2) : r.I32(at + 4);
        d.Box.Add(x, y);
        d.End = POINT{LONG(x), LONG(y)};
    }
}

void AddPolyPoints(TDrawing& d, const TRecordView& r, bool sixteen)
{
    const uint64_t polys = r.U32(24), count = r.U32(28), size = sixteen ? 4 : 8;
    for (uint64_t i = 0, at = 32 + polys * 4; i < count && r.Holds(at, size); ++i, at += size)
        d.Box.Add(sixteen ? r.I16(at) : r.I32(at), sixteen ? r.I16(at + 2) : r.I32(at + 4));
}

void AddRect(TDrawing& d, const TRecordView& r, uint64_t at)
{
    d.Box.Add(r.I32(at), r.I32(at + 4));
    d.Box.Add(r.I32(at + 8), r.I32(at + 12));
}

void AddSizedRect(TDrawing& d, const TRecordView& r, uint64_t xAt, uint64_t cxAt)
{
    const double x = r.I32(xAt), y = r.I32(xAt + 4);
    d.Box.Add(x, y);
    d.Box.Add(x + r.I32(cxAt), y + r.I32(cxAt + 4));
}

void AddRegion(TDrawing& d, const TRecordView& r, uint64_t at)
{
    const uint64_t count = r.U32(at + 8);
    for (uint64_t i = 0, rect = at + 32; i < count && r.Holds(rect, 16); ++i, rect += 16)
        AddRect(d, r, rect);
}

void AddText(TDrawing& d, const TRecordView& r, uint64_t at)
{
    d.Box.Add(r.I32(at), r.I32(at + 4));
    if (r.U32(at + 16) & (ETO_OPAQUE | ETO_CLIPPED))
        AddRect(d, r, at + 20);
    d.Characters += r.U32(at + 8);
}

// What a record draws, for the records that draw.
TDrawing DescribeDrawing(const TRecordView& r, uint32_t type)
{
    TDrawing d;
    switch (type) {
    case EMR_POLYBEZIER: case EMR_POLYBEZIERTO: case EMR_POLYBEZIER16: case EMR_POLYBEZIERTO16:
    case EMR_POLYDRAW: case EMR_POLYDRAW16:
        d.Kind = TDrawKind::Curve;
        [[fallthrough]];
    case EMR_POLYGON: case EMR_POLYLINE: case EMR_POLYLINETO: case EMR_POLYGON16: case EMR_POLYLINE16:
    case EMR_POLYLINETO16: {
        const bool sixteen = type >= EMR_POLYBEZIER16;
        if (d.Kind == TDrawKind::None)
            d.Kind = TDrawKind::Shape;
        AddPoints(d, r, 24, sixteen);
        d.Stroked = true;
        d.FromPosition = d.MovesPosition = type == EMR_POLYBEZIERTO || type == EMR_POLYLINETO ||
                                           type == EMR_POLYBEZIERTO16 || type == EMR_POLYLINETO16 ||
                                           type == EMR_POLYDRAW || type == EMR_POLYDRAW16;
        break;
    }
    case EMR_POLYPOLYLINE: case EMR_POLYPOLYGON: case EMR_POLYPOLYLINE16: case EMR_POLYPOLYGON16:
        d.Kind = TDrawKind::Shape;
        d.Stroked = true;
        AddPolyPoints(d, r, type == EMR_POLYPOLYLINE16 || type == EMR_POLYPOLYGON16);
        break;
    case EMR_LINETO:
        d.Kind = TDrawKind::Shape;
        d.Stroked = d.FromPosition = d.MovesPosition = true;
        d.End = POINT{r.I32(8), r.I32(12)};
        d.Box.Add(d.End.x, d.End.y);
        break;
    case EMR_RECTANGLE:
        d.Kind = TDrawKind::Shape;
        d.Stroked = true;
        AddRect(d, r, 8);
        break;
    case EMR_ELLIPSE: case EMR_ROUNDRECT: case EMR_ARC: case EMR_CHORD: case EMR_PIE: case EMR_ARCTO:
        d.Kind = TDrawKind::Curve;
        d.Stroked = true;
        d.FromPosition = type == EMR_ARCTO;
        AddRect(d, r, 8);
        break;
    case EMR_ANGLEARC: {
        const double x = r.I32(8), y = r.I32(12), radius = r.U32(16);
        d.Kind = TDrawKind::Curve;
        d.Stroked = d.FromPosition = true;
        d.Box.Add(x - radius, y - radius);
        d.Box.Add(x + radius, y + radius);
        break;
    }
    case EMR_SETPIXELV: case EMR_EXTFLOODFILL:
        d.Kind = TDrawKind::Shape;
        d.Box.Add(r.I32(8), r.I32(12));
        break;
    case EMR_FILLPATH: case EMR_STROKEPATH: case EMR_STROKEANDFILLPATH: case EMR_WIDENPATH:
        // The path's own figures were weighed as they were added; the pen is what is left.
        d.Kind = TDrawKind::Shape;
        d.Stroked = type != EMR_FILLPATH;
        break;
    case EMR_FILLRGN: case EMR_FRAMERGN: case EMR_INVERTRGN: case EMR_PAINTRGN:
        d.Kind = TDrawKind::Shape;
        AddRegion(d, r, type == EMR_FILLRGN ? 32 : type == EMR_FRAMERGN ? 40 : 28);
        break;
    case EMR_BITBLT: case EMR_STRETCHBLT: case EMR_MASKBLT: case EMR_ALPHABLEND: case EMR_TRANSPARENTBLT:
        d.Kind = TDrawKind::Shape;
        AddSizedRect(d, r, 24, 32);
        break;
    case EMR_STRETCHDIBITS:
        d.Kind = TDrawKind::Shape;
        AddSizedRect(d, r, 24, 72);
        break;
    case EMR_SETDIBITSTODEVICE:
        d.Kind = TDrawKind::Shape;
        AddSizedRect(d, r, 24, 40);
        break;
    case EMR_PLGBLT:
        d.Kind = TDrawKind::Shape;
        for (uint64_t at = 24; at < 48; at += 8)
            d.Box.Add(r.I32(at), r.I32(at + 4));
        break;
    case EMR_GRADIENTFILL:
        d.Kind = TDrawKind::Shape;
        for (uint64_t i = 0, n = r.U32(24), at = 36; i < n && r.Holds(at, 8); ++i, at += 16)
            d.Box.Add(r.I32(at), r.I32(at + 4));
        break;
    case EMR_EXTTEXTOUTA: case EMR_EXTTEXTOUTW:
        d.Kind = TDrawKind::Text;
        AddText(d, r, 36);
        break;
    case EMR_POLYTEXTOUTA: case EMR_POLYTEXTOUTW:
        d.Kind = TDrawKind::Text;
        for (uint64_t i = 0, n = r.U32(36); i < n && r.Holds(40 + 40 * i, 40); ++i)
            AddText(d, r, 40 + 40 * i);
        break;
    case EmrSmallTextOut:
        d.Kind = TDrawKind::Text;
        d.Box.Add(r.I32(8), r.I32(12));
        if (!(r.U32(20) & SmallTextNoRect))
            AddRect(d, r, 36);
        d.Characters = r.U32(16);
        break;
    default:
        break;
    }
    return d;
}

// Logical to device coordinates of the device context as the playback has set it up: world
// transform, then the window-to-viewport mapping.
class TDeviceMapping {
public:
    explicit TDeviceMapping(HDC dc)
    {
        FValid = GetWorldTransform(dc, &FWorld) && GetWindowOrgEx(dc, &FWindowOrg) && GetWindowExtEx(dc, &FWindowExt) &&
                 GetViewportOrgEx(dc, &FViewportOrg) && GetViewportExtEx(dc, &FViewportExt) && FWindowExt.cx != 0 &&
                 FWindowExt.cy != 0;
    }
    bool Valid() const { return FValid; }
    void Map(double x, double y, double& dx, double& dy) const
    {
        const double wx = FWorld.eM11 * x + FWorld.eM21 * y + FWorld.eDx;
        const double wy = FWorld.eM12 * x + FWorld.eM22 * y + FWorld.eDy;
        dx = FViewportOrg.x + (wx - FWindowOrg.x) * FViewportExt.cx / FWindowExt.cx;
        dy = FViewportOrg.y + (wy - FWindowOrg.y) * FViewportExt.cy / FWindowExt.cy;
    }
    // How long a logical length becomes on the device, along its longest direction.
    double Scale() const
    {
        const double sx = double(FViewportExt.cx) / FWindowExt.cx, sy = double(FViewportExt.cy) / FWindowExt.cy;
        const double a = FWorld.eM11 * sx, b = FWorld.eM12 * sy, c = FWorld.eM21 * sx, d = FWorld.eM22 * sy;
        return std::max(std::hypot(a, b), std::hypot(c, d));
    }

private:
    bool FValid = false;
    XFORM FWorld = {};
    POINT FWindowOrg = {}, FViewportOrg = {};
    SIZE FWindowExt = {}, FViewportExt = {};
};

// The current pen's width in logical units (0 for a cosmetic pen).
double PenWidth(HDC dc)
{
    HGDIOBJ pen = GetCurrentObject(dc, OBJ_PEN);
    if (!pen)
        return 0;
    if (GetObjectType(pen) == OBJ_PEN) {
        LOGPEN logical = {};
        return GetObjectA(pen, sizeof(logical), &logical) ? logical.lopnWidth.x : 0;
    }
    const int bytes = GetObjectA(pen, 0, nullptr);
    if (bytes <= 0)
        return 0;
    std::vector<uint8_t> buffer(std::max(size_t(bytes), sizeof(EXTLOGPEN)));
    auto* extended = reinterpret_cast<EXTLOGPEN*>(buffer.data());
    if (!GetObjectA(pen, bytes, extended) || (extended->elpPenStyle & PS_TYPE_MASK) != PS_GEOMETRIC)
        return 0;
    return extended->elpWidth;
}

// The current font's glyph size in logical units.
double FontSize(HDC dc)
{
    LOGFONTW font = {};
    HGDIOBJ handle = GetCurrentObject(dc, OBJ_FONT);
    if (!handle || !GetObjectW(handle, sizeof(font), &font))
        return 0;
    return std::max(std::abs(double(font.lfHeight)), std::abs(double(font.lfWidth)));
}

// Glyphs and curves are paid per device pixel: small ones cost too little to count.
constexpr double CountedCurve = 256;
constexpr double CountedGlyph = 1024;
constexpr double MaxGlyph = 4096;

class TBoundedPlayback {
public:
    // Curved outlines cost GDI about half a microsecond per device pixel of their extent: the budget
    // keeps a playback within a fraction of a second, and grows with the picture drawn.
    explicit TBoundedPlayback(const RECT& rect)
        : FBudget(double(1 << 19) + 8.0 * (std::abs(double(rect.right) - rect.left) + std::abs(double(rect.bottom) - rect.top)))
    {
    }

    // Whether the record may be played; a drawing left out still moves the current position.
    bool Admit(HDC dc, const ENHMETARECORD* record)
    {
        const TRecordView r(reinterpret_cast<const uint8_t*>(record), record->nSize);
        if (record->iType == EMR_BEGINPATH)
            FInPath = true;
        else if (record->iType == EMR_ENDPATH || record->iType == EMR_ABORTPATH)
            FInPath = false;
        const TDrawing drawing = DescribeDrawing(r, record->iType);
        if (drawing.Kind == TDrawKind::None)
            return true;
        if (Fits(dc, drawing))
            return true;
        if (drawing.MovesPosition)
            MoveToEx(dc, drawing.End.x, drawing.End.y, nullptr);
        return false;
    }

private:
    bool Fits(HDC dc, TDrawing drawing)
    {
        const TDeviceMapping mapping(dc);
        if (!mapping.Valid())
            return false;
        const double scale = mapping.Scale();
        if (drawing.FromPosition) {
            POINT position = {};
            GetCurrentPositionEx(dc, &position);
            drawing.Box.Add(position.x, position.y);
        }
        // A wide pen's joins and ends are drawn as curves are, per pixel of its width.
        const double pen = drawing.Stroked ? PenWidth(dc) * scale : 0;
        const bool curved = drawing.Kind == TDrawKind::Curve || FInPath;
        const double reach = curved ? MetafileCurveReach : MetafileShapeReach;
        if (!(pen <= MetafileCurveReach))
            return false;
        double width = pen;
        double height = pen;
        if (!drawing.Box.Empty && !BoxFits(mapping, drawing.Box, pen / 2, reach, width, height))
            return false;
        if (drawing.Kind == TDrawKind::Text)
            return TextFits(dc, scale, drawing.Characters);
        const double work = (curved ? std::max(width, height) : 0) + (pen >= CountedCurve ? pen : 0);
        return work < CountedCurve || Spend(work);
    }

    bool BoxFits(const TDeviceMapping& mapping, const TLogicalBox& box, double margin, double reach, double& width,
                 double& height) const
    {
        double left = 0, top = 0, right = 0, bottom = 0;
        bool first = true;
        for (double x : {box.Left, box.Right})
            for (double y : {box.Top, box.Bottom}) {
                double dx, dy;
                mapping.Map(x, y, dx, dy);
                left = first ? dx : std::min(left, dx);
                right = first ? dx : std::max(right, dx);
                top = first ? dy : std::min(top, dy);
                bottom = first ? dy : std::max(bottom, dy);
                first = false;
            }
        left -= margin;
        top -= margin;
        right += margin;
        bottom += margin;
        if (!(left >= -reach && right <= reach && top >= -reach && bottom <= reach))
            return false;
        width = right - left;
        height = bottom - top;
        return true;
    }

    bool TextFits(HDC dc, double scale, uint64_t characters)
    {
        const double glyph = FontSize(dc) * scale;
        if (!(glyph <= MaxGlyph))
            return false;
        if (glyph < CountedGlyph)
            return true;
        return Spend(double(characters) * glyph * glyph / 64);
    }

    bool Spend(double work)
    {
        if (FSpent + work > FBudget)
            return false;
        FSpent += work;
        return true;
    }

    double FBudget;
    double FSpent = 0;
    bool FInPath = false;
};

struct TPlayContext {
    TBoundedPlayback* Playback;
    bool Failed = false;
};

// Called by GDI for every record: nothing may leave it but its answer.
int CALLBACK PlayBoundedRecord(HDC dc, HANDLETABLE* table, const ENHMETARECORD* record, int handles, LPARAM data) noexcept
{
    auto* context = reinterpret_cast<TPlayContext*>(data);
    try {
        if (context->Playback->Admit(dc, record))
            PlayEnhMetaFileRecord(dc, table, record, UINT(handles));
        return 1;
    } catch (...) {
        context->Failed = true;
        return 0;
    }
}

} // namespace

bool PlayEnhMetafileBounded(HDC dc, HENHMETAFILE metafile, const RECT& rect)
{
    TBoundedPlayback playback(rect);
    TPlayContext context{&playback};
    const BOOL played = EnumEnhMetaFile(dc, metafile, &PlayBoundedRecord, &context, &rect);
    return played && !context.Failed;
}
