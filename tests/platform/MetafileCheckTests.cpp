#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "platform/Graphics.h"
#include "platform/MetafileCheck.h"
#include "platform/ScopeGuards.h"
#include "platform/Streams.h"

namespace {

using TBytes = std::vector<uint8_t>;
using TDraw = std::function<void(HDC)>;
constexpr size_t NotFound = SIZE_MAX;
constexpr size_t PlaceableBytes = 22;

uint32_t Get32(const TBytes& b, size_t at)
{
    uint32_t v;
    std::memcpy(&v, &b[at], 4);
    return v;
}

void Put32(TBytes& b, size_t at, uint32_t v)
{
    std::memcpy(&b[at], &v, 4);
}

uint16_t Get16(const TBytes& b, size_t at)
{
    return uint16_t(b[at] | (b[at + 1] << 8));
}

void Put16(TBytes& b, size_t at, uint16_t v)
{
    b[at] = uint8_t(v);
    b[at + 1] = uint8_t(v >> 8);
}

// ---------------------------------------------------------------- building metafiles with GDI

// A small DIB whose pixels form a pattern, packed (header, palette, pixels).
TBytes PackedDib(int width, int height, int bits)
{
    const int colours = bits <= 8 ? 4 : 0;
    const int stride = ((width * bits + 31) / 32) * 4;
    TBytes dib(40 + 4 * colours + size_t(stride) * height);
    BITMAPINFOHEADER h{};
    h.biSizeImage = DWORD(stride * height);
    h.biSize = 40;
    h.biWidth = width;
    h.biHeight = height;
    h.biPlanes = 1;
    h.biBitCount = WORD(bits);
    h.biClrUsed = DWORD(colours);
    std::memcpy(dib.data(), &h, 40);
    const uint8_t palette[4][4] = {{0, 0, 255, 0}, {0, 255, 0, 0}, {255, 0, 0, 0}, {255, 255, 255, 0}};
    for (int i = 0; i < colours; ++i)
        std::memcpy(&dib[40 + 4 * i], palette[i], 4);
    uint8_t* pixels = &dib[40 + 4 * colours];
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            if (bits == 8)
                pixels[y * stride + x] = uint8_t((x + y) % 4);
            else
                for (int c = 0; c < 3; ++c)
                    pixels[y * stride + 3 * x + c] = uint8_t(x * 16 + y * 8 + c * 64);
        }
    return dib;
}

void DrawShapes(HDC dc)
{
    HPEN pen = CreatePen(PS_SOLID, 3, RGB(200, 0, 0));
    HBRUSH hatch = CreateHatchBrush(HS_CROSS, RGB(0, 0, 200));
    HGDIOBJ oldPen = SelectObject(dc, pen);
    HGDIOBJ oldBrush = SelectObject(dc, hatch);
    Rectangle(dc, 10, 10, 120, 80);
    Ellipse(dc, 30, 20, 150, 110);
    RoundRect(dc, 5, 90, 80, 140, 12, 12);
    Arc(dc, 100, 10, 180, 90, 180, 50, 100, 50);
    Chord(dc, 100, 60, 180, 140, 180, 100, 100, 100);
    Pie(dc, 20, 100, 90, 170, 90, 135, 20, 135);
    POINT polygon[5] = {{10, 10}, {60, 5}, {90, 40}, {50, 80}, {15, 50}};
    Polygon(dc, polygon, 5);
    POINT distant[3] = {{0, 0}, {40000, 10}, {10, 200}};
    Polygon(dc, distant, 3);
    POINT twice[7] = {{5, 5}, {30, 5}, {30, 30}, {50, 50}, {80, 50}, {80, 80}, {50, 80}};
    INT counts[2] = {3, 4};
    PolyPolygon(dc, twice, counts, 2);
    Polyline(dc, polygon, 4);
    POINT bezier[4] = {{10, 150}, {60, 100}, {110, 200}, {160, 150}};
    PolyBezier(dc, bezier, 4);
    MoveToEx(dc, 5, 5, nullptr);
    LineTo(dc, 150, 120);
    SetPixel(dc, 3, 3, RGB(0, 128, 0));
    AngleArc(dc, 100, 100, 40, 0.0f, 270.0f);
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
    DeleteObject(pen);
    DeleteObject(hatch);
}

void DrawText(HDC dc)
{
    HFONT font = CreateFontA(-16, 0, 0, 0, FW_BOLD, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, "Arial");
    HGDIOBJ old = SelectObject(dc, font);
    SetTextColor(dc, RGB(0, 0, 160));
    SetBkColor(dc, RGB(255, 255, 0));
    SetBkMode(dc, OPAQUE);
    TextOutA(dc, 10, 10, "Sheetfold", 9);
    RECT box{5, 35, 150, 70};
    INT dx[5] = {12, 11, 10, 12, 9};
    ExtTextOutW(dc, 10, 40, ETO_CLIPPED | ETO_OPAQUE, &box, L"Pages", 5, dx);
    SetTextAlign(dc, TA_BASELINE | TA_CENTER);
    TextOutW(dc, 90, 120, L"centre", 6);
    SelectObject(dc, old);
    DeleteObject(font);
}

void DrawBitmaps(HDC dc)
{
    for (int bits : {24, 8}) {
        TBytes dib = PackedDib(16, 12, bits);
        auto* info = reinterpret_cast<BITMAPINFO*>(dib.data());
        const void* pixels = dib.data() + 40 + 4 * info->bmiHeader.biClrUsed;
        StretchDIBits(dc, 10, bits == 24 ? 10 : 80, 64, 48, 0, 0, 16, 12, pixels, info, DIB_RGB_COLORS, SRCCOPY);
        SetDIBitsToDevice(dc, 100, bits == 24 ? 10 : 80, 16, 12, 0, 0, 0, 12, pixels, info, DIB_RGB_COLORS);
    }
    TBytes pattern = PackedDib(8, 8, 24);
    HBRUSH brush = CreateDIBPatternBrushPt(pattern.data(), DIB_RGB_COLORS);
    HGDIOBJ old = SelectObject(dc, brush);
    Rectangle(dc, 130, 100, 190, 150);
    PatBlt(dc, 10, 140, 40, 20, PATCOPY);
    SelectObject(dc, old);
    DeleteObject(brush);
    HDC memory = CreateCompatibleDC(dc);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, 20, 20);
    HGDIOBJ oldBitmap = SelectObject(memory, bitmap);
    PatBlt(memory, 0, 0, 20, 20, WHITENESS);
    BitBlt(dc, 150, 10, 20, 20, memory, 0, 0, SRCCOPY);
    StretchBlt(dc, 150, 40, 40, 40, memory, 0, 0, 20, 20, SRCCOPY);
    SelectObject(memory, oldBitmap);
    DeleteObject(bitmap);
    DeleteDC(memory);
}

void DrawRegionsAndPaths(HDC dc)
{
    HRGN region = CreateRectRgn(10, 10, 60, 50);
    HRGN other = CreateEllipticRgn(30, 30, 100, 90);
    CombineRgn(region, region, other, RGN_OR);
    HBRUSH brush = CreateSolidBrush(RGB(0, 160, 0));
    FillRgn(dc, region, brush);
    FrameRgn(dc, region, brush, 2, 2);
    InvertRgn(dc, other);
    SaveDC(dc);
    SelectClipRgn(dc, other);
    IntersectClipRect(dc, 0, 0, 120, 120);
    ExcludeClipRect(dc, 40, 40, 50, 50);
    Rectangle(dc, 0, 0, 200, 200);
    RestoreDC(dc, -1);
    BeginPath(dc);
    Ellipse(dc, 110, 10, 190, 80);
    MoveToEx(dc, 110, 100, nullptr);
    LineTo(dc, 190, 150);
    LineTo(dc, 110, 150);
    CloseFigure(dc);
    EndPath(dc);
    StrokeAndFillPath(dc);
    SetGraphicsMode(dc, GM_ADVANCED);
    XFORM turn{0.8f, 0.6f, -0.6f, 0.8f, 100.0f, 20.0f};
    SetWorldTransform(dc, &turn);
    Rectangle(dc, 0, 0, 40, 20);
    ModifyWorldTransform(dc, nullptr, MWT_IDENTITY);
    TRIVERTEX vertices[2] = {{10, 160, 0xFF00, 0, 0, 0}, {90, 190, 0, 0, 0xFF00, 0}};
    GRADIENT_RECT rect{0, 1};
    GdiGradientFill(dc, vertices, 2, &rect, 1, GRADIENT_FILL_RECT_H);
    struct {
        WORD Version, Count;
        PALETTEENTRY Entries[4];
    } palette{0x300, 4, {{255, 0, 0, 0}, {0, 255, 0, 0}, {0, 0, 255, 0}, {255, 255, 255, 0}}};
    HPALETTE pal = CreatePalette(reinterpret_cast<LOGPALETTE*>(&palette));
    HPALETTE oldPal = SelectPalette(dc, pal, FALSE);
    RealizePalette(dc);
    SelectPalette(dc, oldPal, FALSE);
    DeleteObject(pal);
    DeleteObject(brush);
    DeleteObject(region);
    DeleteObject(other);
}

void DrawMapped(HDC dc)
{
    SetMapMode(dc, MM_ANISOTROPIC);
    SetWindowExtEx(dc, 1000, 1000, nullptr);
    SetViewportExtEx(dc, 200, 200, nullptr);
    LOGBRUSH logBrush{BS_SOLID, RGB(90, 0, 90), 0};
    DWORD style[4] = {30, 10, 5, 10};
    HPEN pen = ExtCreatePen(PS_GEOMETRIC | PS_USERSTYLE | PS_ENDCAP_FLAT, 12, &logBrush, 4, style);
    HGDIOBJ old = SelectObject(dc, pen);
    Ellipse(dc, 0, 0, 900, 900);
    POINT line[4] = {{0, 950}, {300, 700}, {600, 950}, {950, 600}};
    Polyline(dc, line, 4);
    SelectObject(dc, old);
    DeleteObject(pen);
}

TBytes EnhancedBytes(HENHMETAFILE metafile)
{
    TBytes bytes(GetEnhMetaFileBits(metafile, 0, nullptr));
    GetEnhMetaFileBits(metafile, UINT(bytes.size()), bytes.data());
    return bytes;
}

// Recorded against the screen, in a frame of 50 x 40 mm.
TBytes RecordEmf(const TDraw& draw)
{
    RECT frame{0, 0, 5000, 4000};
    HDC dc = CreateEnhMetaFileA(TWindowDC().Get(), nullptr, &frame, nullptr);
    draw(dc);
    HENHMETAFILE metafile = CloseEnhMetaFile(dc);
    TBytes bytes = EnhancedBytes(metafile);
    DeleteEnhMetaFile(metafile);
    return bytes;
}

TBytes Placeable(const TBytes& records, int width, int height, int inch)
{
    TBytes bytes(PlaceableBytes + records.size(), 0);
    Put32(bytes, 0, 0x9AC6CDD7);
    Put16(bytes, 10, uint16_t(width));
    Put16(bytes, 12, uint16_t(height));
    Put16(bytes, 14, uint16_t(inch));
    uint16_t sum = 0;
    for (int i = 0; i < 10; ++i)
        sum ^= Get16(bytes, 2 * i);
    Put16(bytes, 20, sum);
    std::copy(records.begin(), records.end(), bytes.begin() + PlaceableBytes);
    return bytes;
}

TBytes RecordWmf(const TDraw& draw)
{
    HDC dc = CreateMetaFileA(nullptr);
    SetWindowOrgEx(dc, 0, 0, nullptr);
    SetWindowExtEx(dc, 200, 160, nullptr);
    draw(dc);
    HMETAFILE metafile = CloseMetaFile(dc);
    TBytes records(GetMetaFileBitsEx(metafile, 0, nullptr));
    GetMetaFileBitsEx(metafile, UINT(records.size()), records.data());
    DeleteMetaFile(metafile);
    return Placeable(records, 2000, 1600, 1000);
}

// An enhanced metafile turned into a Windows one by GDI: it carries the enhanced copy in comments.
TBytes ConvertedWmf(const TBytes& emf)
{
    HENHMETAFILE metafile = SetEnhMetaFileBits(UINT(emf.size()), emf.data());
    TBytes records;
    {
        TWindowDC screen;
        records.resize(GetWinMetaFileBits(metafile, 0, nullptr, MM_ANISOTROPIC, screen.Get()));
        records.resize(GetWinMetaFileBits(metafile, UINT(records.size()), records.data(), MM_ANISOTROPIC, screen.Get()));
    }
    DeleteEnhMetaFile(metafile);
    return Placeable(records, 2835, 2268, 1440);
}

struct TSample {
    std::string Name;
    TBytes Bytes;
    bool Placeable = false;
};

const std::vector<TSample>& Samples()
{
    static const std::vector<TSample> samples = [] {
        std::vector<TSample> s;
        s.push_back({"emf shapes", RecordEmf(DrawShapes)});
        s.push_back({"emf text", RecordEmf(DrawText)});
        s.push_back({"emf bitmaps", RecordEmf(DrawBitmaps)});
        s.push_back({"emf regions and paths", RecordEmf(DrawRegionsAndPaths)});
        s.push_back({"emf mapped", RecordEmf(DrawMapped)});
        s.push_back({"wmf shapes", RecordWmf(DrawShapes), true});
        s.push_back({"wmf text", RecordWmf(DrawText), true});
        s.push_back({"wmf bitmaps", RecordWmf(DrawBitmaps), true});
        s.push_back({"wmf regions", RecordWmf(DrawRegionsAndPaths), true});
        s.push_back({"wmf converted", ConvertedWmf(RecordEmf(DrawShapes)), true});
        return s;
    }();
    return samples;
}

const TBytes& SampleBytes(const std::string& name)
{
    for (const TSample& sample : Samples())
        if (sample.Name == name)
            return sample.Bytes;
    throw std::runtime_error("no sample " + name);
}

// ---------------------------------------------------------------- walking records

std::vector<size_t> EmfRecords(const TBytes& b)
{
    std::vector<size_t> at;
    for (size_t pos = 0; pos + 8 <= b.size();) {
        at.push_back(pos);
        const uint32_t size = Get32(b, pos + 4);
        if (Get32(b, pos) == EMR_EOF || size < 8)
            break;
        pos += size;
    }
    return at;
}

size_t FindEmf(const TBytes& b, uint32_t type, int nth = 0)
{
    for (size_t at : EmfRecords(b))
        if (Get32(b, at) == type && nth-- == 0)
            return at;
    return NotFound;
}

// Records of a placeable metafile, from its first after the headers.
std::vector<size_t> WmfRecords(const TBytes& b)
{
    std::vector<size_t> at;
    for (size_t pos = PlaceableBytes + 18; pos + 6 <= b.size();) {
        at.push_back(pos);
        const size_t size = size_t(Get32(b, pos)) * 2;
        if (Get16(b, pos + 4) == 0 || size < 6)
            break;
        pos += size;
    }
    return at;
}

size_t FindWmf(const TBytes& b, uint16_t function, int nth = 0)
{
    for (size_t at : WmfRecords(b))
        if (Get16(b, at + 4) == function && nth-- == 0)
            return at;
    return NotFound;
}

// ---------------------------------------------------------------- loading, drawing, saving

using TMetafilePtr = std::unique_ptr<TMetafile, TObjectFree>;

TMetafilePtr LoadMetafile(const TBytes& bytes)
{
    TStringStream stream(std::string(bytes.begin(), bytes.end()));
    TMetafilePtr metafile(New<TMetafile>());
    metafile->LoadFromStream(&stream);
    return metafile;
}

TBytes SaveMetafile(TMetafile* metafile)
{
    TStringStream stream;
    metafile->SaveToStream(&stream);
    const std::string& data = stream.GetDataString();
    return TBytes(data.begin(), data.end());
}

void DrawThroughCanvas(TMetafile* metafile, HDC dc, const RECT& r)
{
    std::unique_ptr<TCanvas, TObjectFree> canvas(New<TCanvas>());
    canvas->SetHandle(dc);
    canvas->StretchDraw(r, metafile);
    canvas->SetHandle(nullptr);
}

struct TFault {
    const char* Name;
    const char* Sample;
    std::function<void(TBytes&)> Damage;
};

// Each damage must be refused at load, by the check and by the metafile class, and quickly.
void ExpectRefused(const std::vector<TFault>& faults, bool placeable)
{
    TCaseWatch watch;
    for (const TFault& fault : faults) {
        SCOPED_TRACE(fault.Name);
        TBytes bytes = SampleBytes(fault.Sample);
        ASSERT_NO_THROW(LoadMetafile(bytes)) << "the intact sample must load";
        fault.Damage(bytes);
        const uint8_t* records = bytes.data() + (placeable ? PlaceableBytes : 0);
        const size_t size = bytes.size() - (placeable ? PlaceableBytes : 0);
        watch.Begin(fault.Name);
        const std::string found = placeable ? WinMetafileFault(records, size) : EnhMetafileFault(records, size);
        EXPECT_FALSE(found.empty());
        EXPECT_THROW(LoadMetafile(bytes), EInvalidGraphic);
        EXPECT_LT(watch.End(), size_t(16) << 20);
    }
}

} // namespace

// ---------------------------------------------------------------- sound metafiles

TEST(MetafileCheck, SoundMetafilesPassAndPlayAsBefore)
{
    for (const TSample& sample : Samples()) {
        SCOPED_TRACE(sample.Name);
        const uint8_t* records = sample.Bytes.data() + (sample.Placeable ? PlaceableBytes : 0);
        const size_t size = sample.Bytes.size() - (sample.Placeable ? PlaceableBytes : 0);
        EXPECT_EQ("", sample.Placeable ? WinMetafileFault(records, size) : EnhMetafileFault(records, size));
        TMetafilePtr metafile = LoadMetafile(sample.Bytes);
        ASSERT_FALSE(metafile->GetEmpty());
        // The bounded playback draws what GDI's own draws, pixel for pixel, at any size.
        for (RECT r : {RECT{0, 0, 200, 150}, RECT{7, 3, 44, 94}, RECT{-150, -100, 350, 300}}) {
            TTestSurface plain(200, 150), bounded(200, 150);
            PlayEnhMetaFile(plain.DC(), metafile->GetHandle(), &r);
            ASSERT_TRUE(PlayEnhMetafileBounded(bounded.DC(), metafile->GetHandle(), r));
            if (r.left == 0) {
                EXPECT_FALSE(plain.AllWhite());
            }
            EXPECT_EQ(plain.Pixels(), bounded.Pixels()) << r.left << "," << r.top << "," << r.right << "," << r.bottom;
        }
        // What is saved loads again, in the form it came in.
        TBytes saved = SaveMetafile(metafile.get());
        EXPECT_EQ(sample.Placeable ? 0x9AC6CDD7u : uint32_t(EMR_HEADER), Get32(saved, 0));
        TMetafilePtr again = LoadMetafile(saved);
        EXPECT_EQ(metafile->GetMMWidth(), again->GetMMWidth());
        EXPECT_EQ(metafile->GetMMHeight(), again->GetMMHeight());
    }
}

TEST(MetafileCheck, ConvertedMetafilesCarryAnEnhancedCopyThatIsChecked)
{
    const TBytes& converted = SampleBytes("wmf converted");
    const size_t comment = FindWmf(converted, META_ESCAPE);
    ASSERT_NE(NotFound, comment) << "GDI's conversion keeps the enhanced copy in comment escapes";
    ASSERT_EQ(MFCOMMENT, Get16(converted, comment + 6));
    // The copy's own object index damaged: the records around it are sound, the copy is not.
    TBytes damaged = converted;
    const size_t copyStart = comment + 6 + 4 + 34;
    const TBytes copy(damaged.begin() + copyStart, damaged.end());
    const size_t select = FindEmf(copy, EMR_SELECTOBJECT);
    ASSERT_NE(NotFound, select);
    Put32(damaged, copyStart + select + 8, 0x7FFF);
    const std::string fault = WinMetafileFault(damaged.data() + PlaceableBytes, damaged.size() - PlaceableBytes);
    EXPECT_NE(std::string::npos, fault.find("embedded")) << fault;
    EXPECT_THROW(LoadMetafile(damaged), EInvalidGraphic);
}

// ---------------------------------------------------------------- the faults found, one by one

TEST(MetafileCheck, DamagedEnhancedMetafilesAreRefused)
{
    auto field = [](uint32_t type, size_t offset, uint32_t value, int nth = 0) {
        return [=](TBytes& b) {
            const size_t at = FindEmf(b, type, nth);
            ASSERT_NE(NotFound, at) << "record type " << type;
            Put32(b, at + offset, value);
        };
    };
    auto header = [](size_t offset, uint32_t value) { return [=](TBytes& b) { Put32(b, offset, value); }; };
    const std::vector<TFault> faults = {
        {"object selected far past the table", "emf shapes", field(EMR_SELECTOBJECT, 8, 0x7FFF)},
        {"brush created past the table", "emf shapes", [](TBytes& b) {
             Put32(b, FindEmf(b, EMR_CREATEBRUSHINDIRECT) + 8, Get16(b, 56));
         }},
        {"stock object deleted", "emf shapes", field(EMR_DELETEOBJECT, 8, 0x80000000u | BLACK_PEN)},
        {"stock object past the last one", "emf shapes", field(EMR_SELECTOBJECT, 8, 0x80000000u | 200)},
        {"polygon of more points than its record", "emf shapes", field(EMR_POLYGON16, 24, 100000)},
        {"32-bit polygon of more points than its record", "emf shapes", field(EMR_POLYGON, 24, 0x20000000)},
        {"figures counting more points than there are", "emf shapes", field(EMR_POLYPOLYGON16, 32, 5000)},
        {"figure count past the record", "emf shapes", field(EMR_POLYPOLYGON16, 24, 0x40000000)},
        {"text longer than its record", "emf text", field(EMR_EXTTEXTOUTW, 44, 4000)},
        {"text offset past its record", "emf text", field(EMR_EXTTEXTOUTW, 48, 0x7FFFFFF0)},
        {"width array offset past its record", "emf text", field(EMR_EXTTEXTOUTW, 72, 0xFFFFFF00)},
        {"record size past the data", "emf shapes", field(EMR_ELLIPSE, 4, 0x10000000)},
        {"record size zero", "emf shapes", field(EMR_RECTANGLE, 4, 0)},
        {"record size not in whole words", "emf shapes", field(EMR_RECTANGLE, 4, 26)},
        {"record shorter than its type", "emf shapes", [](TBytes& b) {
             // An ellipse of 16 bytes followed by the rest made a record of its own.
             const size_t at = FindEmf(b, EMR_ELLIPSE);
             Put32(b, at + 4, 16);
             Put32(b, at + 16, EMR_SETMAPMODE);
             Put32(b, at + 20, 8);
         }},
        {"announced size beyond the bytes present", "emf shapes", header(48, 0x01000000)},
        {"announced size inside the header", "emf shapes", header(48, 40)},
        {"no room for the metafile in the object table", "emf shapes", [](TBytes& b) { Put16(b, 56, 0); }},
        {"no end-of-file record", "emf shapes", [](TBytes& b) {
             const size_t eof = FindEmf(b, EMR_EOF);
             b.resize(eof);
             Put32(b, 48, uint32_t(eof));
         }},
        {"record of an unknown type running past the data", "emf shapes", [](TBytes& b) {
             const size_t at = FindEmf(b, EMR_LINETO);
             Put32(b, at, 200);
             Put32(b, at + 4, 0x00100000);
         }},
        {"second header", "emf shapes", field(EMR_RECTANGLE, 0, EMR_HEADER)},
        {"transform that is no number", "emf regions and paths", field(EMR_SETWORLDTRANSFORM, 8, 0x7FC00000)},
        {"bitmap pixels cut short", "emf bitmaps", field(EMR_STRETCHDIBITS, 60, 16)},
        {"bitmap header past its record", "emf bitmaps", field(EMR_STRETCHDIBITS, 48, 0x00FFFFFF)},
        {"bitmap of a depth that does not exist", "emf bitmaps", [](TBytes& b) {
             const size_t at = FindEmf(b, EMR_STRETCHDIBITS);
             Put16(b, at + Get32(b, at + 48) + 14, 7);
         }},
        {"bitmap wider than its pixels", "emf bitmaps", [](TBytes& b) {
             const size_t at = FindEmf(b, EMR_STRETCHDIBITS);
             Put32(b, at + Get32(b, at + 48) + 4, 30000);
         }},
        {"pattern brush without its bitmap", "emf bitmaps", field(EMR_CREATEDIBPATTERNBRUSHPT, 20, 0)},
        {"blit reading a source it does not have", "emf bitmaps", field(EMR_BITBLT, 40, SRCCOPY)},
        {"region rectangles past the record", "emf regions and paths", [](TBytes& b) {
             const size_t at = FindEmf(b, EMR_FILLRGN);
             Put32(b, at + 32 + 8, 1000000);
         }},
        {"reference device without size", "emf shapes", header(72, 0)},
        {"frame beyond any picture", "emf shapes", header(32, 0x7FFFFFFF)},
        {"gradient shape naming a missing vertex", "emf regions and paths", [](TBytes& b) {
             const size_t at = FindEmf(b, EMR_GRADIENTFILL);
             Put32(b, at + 36 + 16 * Get32(b, at + 24), 9);
         }},
    };
    ExpectRefused(faults, false);
}

TEST(MetafileCheck, DamagedWindowsMetafilesAreRefused)
{
    auto param = [](uint16_t function, size_t word, uint16_t value, int nth = 0) {
        return [=](TBytes& b) {
            const size_t at = FindWmf(b, function, nth);
            ASSERT_NE(NotFound, at) << "function " << function;
            Put16(b, at + 6 + 2 * word, value);
        };
    };
    auto size = [](uint16_t function, uint32_t words) {
        return [=](TBytes& b) {
            const size_t at = FindWmf(b, function);
            ASSERT_NE(NotFound, at) << "function " << function;
            Put32(b, at, words);
        };
    };
    const std::vector<TFault> faults = {
        {"object selected past the table", "wmf shapes", param(META_SELECTOBJECT, 0, 0x7FFF)},
        {"object deleted past the table", "wmf shapes", param(META_DELETEOBJECT, 0, 0x7FFF)},
        {"object deleted twice", "wmf shapes", [](TBytes& b) {
             const size_t first = FindWmf(b, META_DELETEOBJECT), second = FindWmf(b, META_DELETEOBJECT, 1);
             ASSERT_NE(NotFound, second);
             Put16(b, second + 6, Get16(b, first + 6));
         }},
        {"region filled with a brush that is not there", "wmf regions", param(META_FILLREGION, 1, 900)},
        {"record cut short", "wmf shapes", [](TBytes& b) { b.resize(FindWmf(b, META_ELLIPSE) + 8); }},
        {"record size zero", "wmf shapes", size(META_RECTANGLE, 0)},
        {"record size below its header", "wmf shapes", size(META_RECTANGLE, 2)},
        {"record size past the data", "wmf shapes", size(META_ELLIPSE, 0x00FFFFFF)},
        {"record shorter than its parameters", "wmf shapes", size(META_ARC, 5)},
        {"polygon of more points than its record", "wmf shapes", param(META_POLYGON, 0, 30000)},
        {"figures counting more points than there are", "wmf shapes", param(META_POLYPOLYGON, 1, 20000)},
        {"text longer than its record", "wmf text", param(META_EXTTEXTOUT, 2, 3000)},
        {"character widths cut short", "wmf text", [](TBytes& b) {
             const size_t at = FindWmf(b, META_EXTTEXTOUT);
             Put16(b, at + 6 + 4, uint16_t(Get16(b, at + 6 + 4) + 2));
         }},
        {"escape longer than its record", "wmf converted", param(META_ESCAPE, 1, 60000)},
        {"object table too small", "wmf shapes", [](TBytes& b) { Put16(b, PlaceableBytes + 10, 0); }},
        {"announced size beyond the bytes present", "wmf shapes", [](TBytes& b) { Put32(b, PlaceableBytes + 6, 0x00FFFFFF); }},
        {"largest record beyond the metafile", "wmf shapes", [](TBytes& b) { Put32(b, PlaceableBytes + 12, 0x00FFFFFF); }},
        {"record of an unknown function past the data", "wmf shapes", [](TBytes& b) {
             Put16(b, WmfRecords(b).front() + 4, 0x0ABC);
             Put32(b, WmfRecords(b).front(), 0x00FFFFFF);
         }},
        {"end record left out and the last record cut short", "wmf shapes", [](TBytes& b) {
             b.resize(b.size() - 6 - 4);
             Put32(b, PlaceableBytes + 6, uint32_t((b.size() - PlaceableBytes) / 2));
         }},
        {"bitmap pixels cut short", "wmf bitmaps", [](TBytes& b) {
             const size_t at = FindWmf(b, META_STRETCHDIB);
             Put32(b, at + 6 + 22 + 8, 400);  // the bitmap's height
         }},
        {"region scans past the record", "wmf regions", param(META_CREATEREGION, 5, 5000)},
        {"embedded copy's chunk sizes that do not add up", "wmf converted", [](TBytes& b) {
             const size_t at = FindWmf(b, META_ESCAPE);
             Put32(b, at + 6 + 4 + 30, Get32(b, at + 6 + 4 + 30) + 64);
         }},
    };
    ExpectRefused(faults, true);
}

// Other programs write record types of their own and leave out the end record of a Windows
// metafile; such files load and draw as GDI draws the same records without them.
TEST(MetafileCheck, RecordsOfUnknownTypesAndAMissingEndRecordArePassedOver)
{
    auto insertEmf = [](TBytes& b, uint32_t type) {
        // Before the end-of-file record: a record of 16 bytes of a type no one here knows.
        const size_t eof = FindEmf(b, EMR_EOF);
        TBytes record(16, 0xA5);
        Put32(record, 0, type);
        Put32(record, 4, 16);
        b.insert(b.begin() + long(eof), record.begin(), record.end());
        Put32(b, 48, Get32(b, 48) + 16);
        Put32(b, 52, Get32(b, 52) + 1);
    };
    auto insertWmf = [](TBytes& b, uint16_t function) {
        const size_t at = WmfRecords(b).front();
        TBytes record(10, 0x5A);
        Put32(record, 0, 5);
        Put16(record, 4, function);
        b.insert(b.begin() + long(at), record.begin(), record.end());
        Put32(b, PlaceableBytes + 6, Get32(b, PlaceableBytes + 6) + 5);
    };
    const std::vector<TFault> passed = {
        {"enhanced record of a type beyond the known ones", "emf shapes", [&](TBytes& b) { insertEmf(b, 200); }},
        {"enhanced record of a reserved type", "emf text", [&](TBytes& b) { insertEmf(b, 69); }},
        {"enhanced record of type 0", "emf bitmaps", [&](TBytes& b) { insertEmf(b, 0); }},
        {"Windows record of an unknown function", "wmf shapes", [&](TBytes& b) { insertWmf(b, 0x0ABC); }},
        {"Windows record of an unknown function among bitmaps", "wmf bitmaps", [&](TBytes& b) { insertWmf(b, 0x07FE); }},
        {"Windows metafile without its end record", "wmf regions", [](TBytes& b) {
             b.resize(b.size() - 6);
             Put32(b, PlaceableBytes + 6, uint32_t((b.size() - PlaceableBytes) / 2));
         }},
    };
    for (const TFault& change : passed) {
        SCOPED_TRACE(change.Name);
        const TBytes& original = SampleBytes(change.Sample);
        TBytes bytes = original;
        change.Damage(bytes);
        const bool placeable = Get32(bytes, 0) != EMR_HEADER;
        const uint8_t* records = bytes.data() + (placeable ? PlaceableBytes : 0);
        const size_t size = bytes.size() - (placeable ? PlaceableBytes : 0);
        EXPECT_EQ("", placeable ? WinMetafileFault(records, size) : EnhMetafileFault(records, size));
        TMetafilePtr reference = LoadMetafile(original);
        TMetafilePtr metafile;
        ASSERT_NO_THROW(metafile = LoadMetafile(bytes));
        const RECT r{0, 0, 200, 150};
        TTestSurface gdi(200, 150), ours(200, 150);
        PlayEnhMetaFile(gdi.DC(), reference->GetHandle(), &r);
        ASSERT_TRUE(PlayEnhMetafileBounded(ours.DC(), metafile->GetHandle(), r));
        EXPECT_FALSE(gdi.AllWhite());
        EXPECT_EQ(gdi.Pixels(), ours.Pixels());
    }
}

// Metafiles made by another program (tests/platform/metafiles, see make-corpus.sh there) pass the
// checks, load, and draw as GDI draws them, at the size of the view and past its edges.
TEST(MetafileCorpus, MetafilesOfAnotherProgramLoadAndDrawAsGdiDrawsThem)
{
    int count = 0;
    for (int id = 1;; ++id) {
        HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(id), "METAFILECORPUS");
        if (!found)
            break;
        ++count;
        SCOPED_TRACE("corpus metafile " + std::to_string(id));
        const auto* data = static_cast<const uint8_t*>(LockResource(LoadResource(nullptr, found)));
        ASSERT_NE(data, nullptr);
        const TBytes bytes(data, data + SizeofResource(nullptr, found));
        EXPECT_EQ("", EnhMetafileFault(bytes.data(), bytes.size()));
        TMetafilePtr metafile;
        ASSERT_NO_THROW(metafile = LoadMetafile(bytes));
        HENHMETAFILE raw = SetEnhMetaFileBits(UINT(bytes.size()), bytes.data());
        ASSERT_NE(raw, nullptr);
        for (RECT r : {RECT{0, 0, 200, 150}, RECT{-60, -40, 330, 250}}) {
            TTestSurface gdi(200, 150), ours(200, 150);
            PlayEnhMetaFile(gdi.DC(), raw, &r);
            EXPECT_TRUE(PlayEnhMetafileBounded(ours.DC(), metafile->GetHandle(), r));
            EXPECT_FALSE(gdi.AllWhite());
            EXPECT_EQ(gdi.Pixels(), ours.Pixels()) << r.left << "," << r.top << "," << r.right << "," << r.bottom;
        }
        DeleteEnhMetaFile(raw);
    }
    EXPECT_GE(count, 30);
}

// ---------------------------------------------------------------- damage at random

namespace {

// One to four damaged fields, mostly inside one record and mostly in its first words, where sizes,
// counts, offsets and indexes live; sometimes the data is also cut short.
TBytes Damage(const TSample& sample, std::mt19937& random)
{
    TBytes bytes = sample.Bytes;
    const std::vector<size_t> records = sample.Placeable ? WmfRecords(bytes) : EmfRecords(bytes);
    static const uint32_t boundaries[] = {0, 1, 2, 3, 0x7F, 0xFF, 0x7FFF, 0xFFFF, 0x10000, 0x7FFFFFFF,
                                          0x80000000u, 0xFFFFFFFFu, 0x40000000, 0x00100000};
    const int changes = 1 + int(random() % 4);
    for (int i = 0; i < changes; ++i) {
        const size_t record = records[random() % records.size()];
        const size_t span = std::min<size_t>(48, bytes.size() - record);
        size_t at = record + (random() % span);
        switch (random() % 3) {
        case 0:
            bytes[at] = uint8_t(random());
            break;
        case 1:
            at -= (at - record) % 2;
            if (at + 4 <= bytes.size())
                Put32(bytes, at, boundaries[random() % std::size(boundaries)]);
            break;
        default:
            if (at + 2 <= bytes.size())
                Put16(bytes, at, uint16_t(boundaries[random() % std::size(boundaries)]));
            break;
        }
    }
    if (random() % 8 == 0)
        bytes.resize(bytes.size() - 1 - random() % (bytes.size() / 2));
    return bytes;
}

} // namespace

// Damaged metafiles of every kind through what the program does with one: load, draw at the size of
// the view and far larger, save, and load what was saved. Nothing crashes, no step takes a second,
// none allocates more than a few megabytes, and a loaded metafile always saves into one that loads.
TEST(MetafileMutation, DamagedMetafilesNeverCrashHangOrExhaustMemory)
{
    std::mt19937 random(20261209);
    TCaseWatch watch;
    int loaded = 0, refused = 0;
    for (const TSample& sample : Samples()) {
        for (int round = 0; round < 150; ++round) {
            const TBytes bytes = Damage(sample, random);
            const std::string name = sample.Name + " #" + std::to_string(round);
            SCOPED_TRACE(name);
            TMetafilePtr metafile;
            watch.Begin(name + " load");
            try {
                metafile = LoadMetafile(bytes);
            } catch (const EInvalidGraphic&) {
            }
            EXPECT_LT(watch.End(), size_t(16) << 20);
            if (!metafile) {
                ++refused;
                continue;
            }
            ++loaded;
            TTestSurface surface(160, 120);
            for (RECT r : {RECT{0, 0, 160, 120}, RECT{-9000, -7000, 30000, 25000}}) {
                watch.Begin(name + " draw");
                DrawThroughCanvas(metafile.get(), surface.DC(), r);
                EXPECT_LT(watch.End(), size_t(64) << 20);
            }
            watch.Begin(name + " save");
            const TBytes saved = SaveMetafile(metafile.get());
            EXPECT_LT(watch.End(), size_t(16) << 20);
            EXPECT_NO_THROW(LoadMetafile(saved));
        }
    }
    EXPECT_GT(loaded, 100);
    EXPECT_GT(refused, 100);
    RecordProperty("loaded", loaded);
    RecordProperty("refused", refused);
    EXPECT_LT(watch.WorstBytes(), size_t(64) << 20) << watch.WorstCase();
}

// ---------------------------------------------------------------- bounded playback

TEST(MetafilePlayback, DrawingBeyondWhatGdiBoundsIsLeftOutAndTheRestDrawn)
{
    const LONG distant = 1 << 21;
    struct TCase {
        const char* Name;
        TDraw Draw;
    };
    const std::vector<TCase> cases = {
        {"ellipse", [&](HDC dc) { Ellipse(dc, -distant, -distant, distant, distant); }},
        {"arc", [&](HDC dc) { Arc(dc, -distant, -distant, distant, distant, 0, 0, distant, distant); }},
        {"pie", [&](HDC dc) { Pie(dc, -distant, -distant, distant, distant, 0, 0, distant, distant); }},
        {"rounded rectangle", [&](HDC dc) { RoundRect(dc, -distant, -distant, distant, distant, distant, distant); }},
        {"polygon", [&](HDC dc) {
             POINT p[3] = {{-1 << 22, -1 << 22}, {1 << 22, 0}, {0, 1 << 22}};
             Polygon(dc, p, 3);
         }},
        {"wide pen", [&](HDC dc) {
             HPEN pen = CreatePen(PS_SOLID, distant, RGB(0, 0, 0));
             HGDIOBJ old = SelectObject(dc, pen);
             MoveToEx(dc, 0, 0, nullptr);
             LineTo(dc, 100, 100);
             SelectObject(dc, old);
             DeleteObject(pen);
         }},
        {"huge text", [&](HDC dc) {
             HFONT font = CreateFontA(-40000, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0, "Arial");
             HGDIOBJ old = SelectObject(dc, font);
             TextOutA(dc, 0, 0, "Wm", 2);
             SelectObject(dc, old);
             DeleteObject(font);
         }},
        {"path of a huge ellipse", [&](HDC dc) {
             BeginPath(dc);
             Ellipse(dc, -distant, -distant, distant, distant);
             EndPath(dc);
             FillPath(dc);
         }},
        {"many large circles", [&](HDC dc) {
             for (int i = 0; i < 3000; ++i)
                 Ellipse(dc, -10000, -10000 + i, 10000, 10000 + i);
         }},
    };
    TCaseWatch watch;
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        // Recorded at one logical unit per device pixel, then a small square that must still show.
        const TBytes bytes = RecordEmf([&](HDC dc) {
            c.Draw(dc);
            HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
            RECT square{20, 20, 40, 40};
            FillRect(dc, &square, red);
            DeleteObject(red);
        });
        ASSERT_EQ("", EnhMetafileFault(bytes.data(), bytes.size()));
        HENHMETAFILE metafile = SetEnhMetaFileBits(UINT(bytes.size()), bytes.data());
        ENHMETAHEADER header{};
        GetEnhMetaFileHeader(metafile, sizeof(header), &header);
        // Played into its frame's size on the reference device: its units stay device pixels.
        const RECT r{0, 0, MulDiv(header.rclFrame.right, header.szlDevice.cx, header.szlMillimeters.cx * 100),
                     MulDiv(header.rclFrame.bottom, header.szlDevice.cy, header.szlMillimeters.cy * 100)};
        TTestSurface surface(100, 100);
        watch.Begin(c.Name);
        EXPECT_TRUE(PlayEnhMetafileBounded(surface.DC(), metafile, r));
        EXPECT_LT(watch.End(), size_t(64) << 20);
        DeleteEnhMetaFile(metafile);
        EXPECT_EQ(0xFF0000u, surface.At(30, 30));
    }
}

TEST(MetafilePlayback, AFrameDamagedToScaleTheDrawingUpIsDrawnInBoundedTime)
{
    TBytes bytes = SampleBytes("emf shapes");
    // A frame of a hundredth of a millimetre: every record is scaled some thousand times.
    Put32(bytes, 24, 0);
    Put32(bytes, 28, 0);
    Put32(bytes, 32, 1);
    Put32(bytes, 36, 1);
    ASSERT_EQ("", EnhMetafileFault(bytes.data(), bytes.size()));
    TMetafilePtr metafile = LoadMetafile(bytes);
    TCaseWatch watch;
    TTestSurface surface(200, 150);
    for (RECT r : {RECT{0, 0, 200, 150}, RECT{-5000, -5000, 5000, 5000}}) {
        watch.Begin("scaled frame");
        DrawThroughCanvas(metafile.get(), surface.DC(), r);
        EXPECT_LT(watch.End(), size_t(64) << 20);
    }
}
