#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "graphics/SfDib.h"

namespace {

TComPtr<IDib> NewDib()
{
    return CreateComObject<TSfDib, IDib>();
}

template <class C, class T>
T Get(IDib* dib, HRESULT (STDMETHODCALLTYPE C::*getter)(T*))
{
    T value{};
    OleCheck((dib->*getter)(&value));
    return value;
}

uint8_t* Bits(IDib* dib)
{
    return static_cast<uint8_t*>(Get(dib, &IDib::GetBits));
}

uint8_t* ScanLine(IDib* dib, LONG y)
{
    void* line = nullptr;
    OleCheck(dib->GetScanLine(y, &line));
    return static_cast<uint8_t*>(line);
}

void* PixelPtr(IDib* dib, LONG x, LONG y)
{
    void* pixel = reinterpret_cast<void*>(1);
    OleCheck(dib->GetPixelPtr(x, y, &pixel));
    return pixel;
}

uint32_t Pixel(IDib* dib, LONG x, LONG y)
{
    uint32_t colour = 0;
    OleCheck(dib->GetPixel(x, y, &colour));
    return colour;
}

bool Empty(IDib* dib)
{
    return Get(dib, &IDib::IsEmpty) != VARIANT_FALSE;
}

void SetPalette(IDib* dib, const std::vector<uint32_t>& colours)
{
    for (size_t i = 0; i < colours.size(); ++i) {
        RGBQUAD* entry = nullptr;
        OleCheck(dib->GetPaletteEntry(static_cast<LONG>(i), &entry));
        ASSERT_NE(entry, nullptr);
        entry->rgbBlue = static_cast<BYTE>(colours[i]);
        entry->rgbGreen = static_cast<BYTE>(colours[i] >> 8);
        entry->rgbRed = static_cast<BYTE>(colours[i] >> 16);
    }
}

bool IsBitmapAlive(HBITMAP bitmap)
{
    BITMAP info;
    return GetObject(bitmap, sizeof info, &info) != 0;
}

// A DIB that counts its own destruction, and one whose section cannot be made.
int gFreed = 0;
class TCountedDib : public TSfDib {
public:
    void BeforeDestruction() override
    {
        ++gFreed;
        TSfDib::BeforeDestruction();
    }
};
class TFailingDib : public TSfDib {
protected:
    void CreateBitmap() override { throw EOutOfResources("no sections today"); }
};

}

TEST(SfDibUtils, StrideColourCountAndImageSize)
{
    for (int bits : {1, 4, 8, 16, 24, 32})
        for (int width = 1; width <= 33; ++width) {
            int rowBytes = (bits * width + 7) / 8;
            int expected = (rowBytes + 3) / 4 * 4;
            EXPECT_EQ(SfDibUtils::Stride(bits * width), expected) << bits << " bpp, width " << width;
        }
    EXPECT_EQ(SfDibUtils::ColourCount(8, 0), 256u);
    EXPECT_EQ(SfDibUtils::ColourCount(1, 0), 2u);
    EXPECT_EQ(SfDibUtils::ColourCount(8, 16), 16u);
    EXPECT_EQ(SfDibUtils::ColourCount(24, 0), 0u);
    EXPECT_EQ(SfDibUtils::ColourCount(24, 12), 12u);
    EXPECT_EQ(SfDibUtils::HeaderSize(256), 1064u);
    BITMAPINFOHEADER header{};
    header.biWidth = 5;
    header.biHeight = -7;
    header.biBitCount = 24;
    EXPECT_EQ(SfDibUtils::ImageSize(header), 7 * 16);
}

TEST(SfDib, RowsLieWhereStrideAndRow0Say)
{
    auto dib = NewDib();
    for (WORD bits : {1, 4, 8, 24, 32})
        for (LONG width = 1; width <= 33; ++width) {
            LONG expected = static_cast<LONG>(SfDibUtils::Stride(bits * width));
            OleCheck(dib->SetFormat(width, 3, bits, 0));
            ASSERT_FALSE(Empty(dib.Get()));
            EXPECT_EQ(Get(dib.Get(), &IDib::GetStride), -expected);
            EXPECT_EQ(ScanLine(dib.Get(), 2), Bits(dib.Get()));
            EXPECT_EQ(ScanLine(dib.Get(), 0), Bits(dib.Get()) + 2 * expected);
            OleCheck(dib->SetFormat(width, -3, bits, 0));
            EXPECT_EQ(Get(dib.Get(), &IDib::GetStride), expected);
            EXPECT_EQ(ScanLine(dib.Get(), 0), Bits(dib.Get()));
            EXPECT_EQ(ScanLine(dib.Get(), 2), Bits(dib.Get()) + 2 * expected);
            EXPECT_EQ(Get(dib.Get(), &IDib::GetHeight), 3);
        }
}

TEST(SfDib, Width5At24BitsBottomUp)
{
    auto dib = NewDib();
    OleCheck(dib->SetFormat(5, 4, 24, 0));
    EXPECT_EQ(Get(dib.Get(), &IDib::GetStride), -16);
    EXPECT_EQ(ScanLine(dib.Get(), 0), Bits(dib.Get()) + 3 * 16);
    EXPECT_EQ(PixelPtr(dib.Get(), 1, 0), Bits(dib.Get()) + 3 * 16 + 3);
    EXPECT_EQ(Get(dib.Get(), &IDib::GetColourCount), 0u);
    LONG width = 0, height = 0;
    OleCheck(dib->GetSize(&width, &height));
    EXPECT_EQ(width, 5);
    EXPECT_EQ(height, 4);
}

TEST(SfDib, FormatSettersAndEmptyStates)
{
    auto dib = NewDib();
    EXPECT_TRUE(Empty(dib.Get()));
    // The bit count is remembered while there is no size, then used by SetSize.
    OleCheck(dib->SetBitCount(24));
    EXPECT_EQ(Get(dib.Get(), &IDib::GetBitCount), 24);
    OleCheck(dib->SetSize(7, 6));
    EXPECT_FALSE(Empty(dib.Get()));
    EXPECT_LT(Get(dib.Get(), &IDib::GetStride), 0);
    // SetHeight makes rows run top-down; the height read back is never negative.
    OleCheck(dib->SetHeight(10));
    EXPECT_EQ(Get(dib.Get(), &IDib::GetHeight), 10);
    EXPECT_EQ(Get(dib.Get(), &IDib::GetStride), 24);
    EXPECT_EQ(ScanLine(dib.Get(), 0), Bits(dib.Get()));
    OleCheck(dib->SetWidth(9));
    EXPECT_EQ(Get(dib.Get(), &IDib::GetWidth), 9);
    EXPECT_EQ(Get(dib.Get(), &IDib::GetStride), 28);
    OleCheck(dib->SetBitCount(8));
    EXPECT_EQ(Get(dib.Get(), &IDib::GetColourCount), 256u);
    OleCheck(dib->SetClrUsed(16));
    EXPECT_EQ(Get(dib.Get(), &IDib::GetColourCount), 16u);
    RGBQUAD* entry = nullptr;
    OleCheck(dib->GetPaletteEntry(16, &entry));
    EXPECT_EQ(entry, nullptr);

    EXPECT_EQ(PixelPtr(dib.Get(), -1, 0), nullptr);
    EXPECT_EQ(PixelPtr(dib.Get(), 9, 0), nullptr);
    EXPECT_EQ(PixelPtr(dib.Get(), 0, 10), nullptr);
    EXPECT_NE(PixelPtr(dib.Get(), 8, 9), nullptr);

    OleCheck(dib->SetFormat(0, 10, 24, 0));
    EXPECT_TRUE(Empty(dib.Get()));
    EXPECT_EQ(Get(dib.Get(), &IDib::GetBitmap), nullptr);
    EXPECT_EQ(Get(dib.Get(), &IDib::GetBitmapInfo), nullptr);
    EXPECT_EQ(ScanLine(dib.Get(), 0), nullptr);
    EXPECT_EQ(PixelPtr(dib.Get(), 0, 0), nullptr);
}

TEST(SfDib, SameFormatKeepsPixelsAndHandles)
{
    auto dib = NewDib();
    OleCheck(dib->SetFormat(4, 4, 32, 0));
    uint8_t* bits = Bits(dib.Get());
    HBITMAP bitmap = Get(dib.Get(), &IDib::GetBitmap);
    OleCheck(dib->SetPixel(1, 1, 0x80112233));
    OleCheck(dib->SetFormat(4, 4, 32, 0));
    OleCheck(dib->SetSize(4, 4));
    EXPECT_EQ(Bits(dib.Get()), bits);
    EXPECT_EQ(Get(dib.Get(), &IDib::GetBitmap), bitmap);
    EXPECT_EQ(Pixel(dib.Get(), 1, 1), 0x80112233u);
    OleCheck(dib->SetFormat(4, 5, 32, 0));
    EXPECT_FALSE(IsBitmapAlive(bitmap));
    EXPECT_EQ(Pixel(dib.Get(), 1, 1) & 0xFFFFFF, 0u);
}

TEST(SfDib, FailedSectionLeavesNoRows)
{
    auto dib = NewDib();
    // No section can be made for 0 bits per pixel with a plain header.
    OleCheck(dib->SetFormat(10, 10, 0, 0));
    EXPECT_TRUE(Empty(dib.Get()));
    EXPECT_EQ(Bits(dib.Get()), nullptr);
    EXPECT_EQ(ScanLine(dib.Get(), 3), nullptr);
    EXPECT_EQ(PixelPtr(dib.Get(), 3, 3), nullptr);
    uint32_t colour = 0;
    EXPECT_EQ(dib->GetPixel(3, 3, &colour), static_cast<HRESULT>(0x8000FFFF));
}

TEST(SfDib, PixelRoundTrips)
{
    const std::vector<uint32_t> palette = {0xFF000000, 0xFFFFFFFF, 0xFF102030, 0xFFA0B0C0, 0xFF00FF00, 0xFF0000FF,
                                           0xFFFF0000, 0xFF123456, 0xFF654321, 0xFF777777, 0xFF808080, 0xFF010203,
                                           0xFFFEFDFC, 0xFF00FFFF, 0xFFFF00FF, 0xFFFFFF00};
    for (WORD bits : {1, 4, 8}) {
        auto dib = NewDib();
        OleCheck(dib->SetFormat(11, -3, bits, 0));
        DWORD count = Get(dib.Get(), &IDib::GetColourCount);
        std::vector<uint32_t> used(palette.begin(), palette.begin() + std::min<size_t>(count, palette.size()));
        SetPalette(dib.Get(), used);
        for (LONG y = 0; y < 3; ++y)
            for (LONG x = 0; x < 11; ++x)
                OleCheck(dib->SetPixel(x, y, used[(x + 3 * y) % used.size()]));
        for (LONG y = 0; y < 3; ++y)
            for (LONG x = 0; x < 11; ++x)
                EXPECT_EQ(Pixel(dib.Get(), x, y), used[(x + 3 * y) % used.size()]) << bits << " bpp at " << x << "," << y;
        // A colour missing from the table takes the nearest entry.
        OleCheck(dib->SetPixel(0, 0, 0x00FEFEFE));
        EXPECT_EQ(Pixel(dib.Get(), 0, 0), 0xFFFFFFFFu);
    }
    auto dib24 = NewDib();
    OleCheck(dib24->SetFormat(3, 2, 24, 0));
    OleCheck(dib24->SetPixel(2, 1, 0x00ABCDEF));
    EXPECT_EQ(Pixel(dib24.Get(), 2, 1), 0xFFABCDEFu);
    EXPECT_EQ(Pixel(dib24.Get(), 1, 1), 0xFF000000u);
    auto* p = static_cast<uint8_t*>(PixelPtr(dib24.Get(), 2, 1));
    EXPECT_EQ(p[0], 0xEF);
    EXPECT_EQ(p[2], 0xAB);

    auto dib32 = NewDib();
    OleCheck(dib32->SetFormat(3, 2, 32, 0));
    OleCheck(dib32->SetPixel(0, 1, 0x12ABCDEF));
    EXPECT_EQ(Pixel(dib32.Get(), 0, 1), 0x12ABCDEFu);

    auto dib16 = NewDib();
    OleCheck(dib16->SetFormat(3, 2, 16, 0));
    OleCheck(dib16->SetPixel(1, 0, 0xFFFF0000));
    EXPECT_EQ(Pixel(dib16.Get(), 1, 0), 0xFFFF0000u);
    EXPECT_EQ(*static_cast<uint16_t*>(PixelPtr(dib16.Get(), 1, 0)), 0x7C00);
}

TEST(SfDib, EightBitsReadThePaletteOpaque)
{
    auto dib = NewDib();
    OleCheck(dib->SetFormat(4, 2, 8, 4));
    SetPalette(dib.Get(), {0x000000, 0x112233, 0x445566, 0x778899});
    auto* row = static_cast<uint8_t*>(PixelPtr(dib.Get(), 0, 1));
    row[0] = 2;
    row[1] = 3;
    row[2] = 200;  // beyond the four colours of the table
    EXPECT_EQ(Pixel(dib.Get(), 0, 1), 0xFF445566u);
    EXPECT_EQ(Pixel(dib.Get(), 1, 1), 0xFF778899u);
    EXPECT_EQ(Pixel(dib.Get(), 2, 1), 0xFF000000u);
    uint32_t colour = 0;
    EXPECT_EQ(dib->GetPixel(4, 0, &colour), E_UNEXPECTED);
    EXPECT_EQ(dib->SetPixel(0, -1, 0), E_UNEXPECTED);
}

TEST(SfDib, LazyContextSelectsAndRestores)
{
    auto dib = NewDib();
    OleCheck(dib->SetFormat(8, 8, 24, 0));
    HBITMAP bitmap = Get(dib.Get(), &IDib::GetBitmap);
    HDC dc = Get(dib.Get(), &IDib::GetHandle);
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(Get(dib.Get(), &IDib::GetOwnsHandle), VARIANT_TRUE);
    EXPECT_EQ(GetCurrentObject(dc, OBJ_BITMAP), bitmap);
    EXPECT_EQ(Get(dib.Get(), &IDib::GetHandle), dc);
    RECT rect{2, 3, 4, 5};
    HBRUSH brush = CreateSolidBrush(RGB(10, 20, 30));
    FillRect(dc, &rect, brush);
    DeleteObject(brush);
    GdiFlush();
    EXPECT_EQ(Pixel(dib.Get(), 2, 3), 0xFF0A141Eu);
    EXPECT_EQ(Pixel(dib.Get(), 4, 3), 0xFF000000u);

    // A context from outside gets the section selected in and its own bitmap back afterwards.
    HDC outside = CreateCompatibleDC(nullptr);
    HGDIOBJ original = GetCurrentObject(outside, OBJ_BITMAP);
    OleCheck(dib->SetHandle(outside));
    EXPECT_EQ(GetObjectType(dc), 0u) << "the owned context is deleted";
    EXPECT_EQ(GetCurrentObject(outside, OBJ_BITMAP), bitmap);
    EXPECT_EQ(Get(dib.Get(), &IDib::GetOwnsHandle), VARIANT_FALSE);
    OleCheck(dib->SetHandle(outside));
    EXPECT_EQ(GetCurrentObject(outside, OBJ_BITMAP), bitmap);
    OleCheck(dib->SetHandle(nullptr));
    EXPECT_EQ(GetCurrentObject(outside, OBJ_BITMAP), original);
    EXPECT_NE(GetObjectType(outside), 0u) << "a context not owned is not deleted";

    // Setting the owned context again keeps it.
    OleCheck(dib->SetHandle(outside));
    OleCheck(dib->SetOwnsHandle(VARIANT_TRUE));
    OleCheck(dib->SetHandle(outside));
    EXPECT_NE(GetObjectType(outside), 0u);
    OleCheck(dib->Clear());
    EXPECT_EQ(GetObjectType(outside), 0u);
    EXPECT_EQ(Get(dib.Get(), &IDib::GetHandle), nullptr);
}

// A context the caller hands over stays the DIB's across new formats and clearing: only an owned
// context is deleted, and a new section goes into the caller's context, not into one made anew.
TEST(SfDib, ACallersContextIsKeptAcrossNewBitmaps)
{
    auto dib = NewDib();
    OleCheck(dib->SetFormat(8, 8, 24, 0));
    HDC outside = CreateCompatibleDC(nullptr);
    HGDIOBJ original = GetCurrentObject(outside, OBJ_BITMAP);
    OleCheck(dib->SetHandle(outside));
    for (LONG size : {4, 6}) {
        SCOPED_TRACE(size);
        OleCheck(dib->SetFormat(size, size, 32, 0));
        EXPECT_EQ(Get(dib.Get(), &IDib::GetHandle), outside);
        EXPECT_EQ(Get(dib.Get(), &IDib::GetOwnsHandle), VARIANT_FALSE);
        EXPECT_EQ(GetCurrentObject(outside, OBJ_BITMAP), Get(dib.Get(), &IDib::GetBitmap));
    }
    OleCheck(dib->Clear());
    EXPECT_EQ(GetCurrentObject(outside, OBJ_BITMAP), original);
    EXPECT_EQ(Get(dib.Get(), &IDib::GetHandle), outside);
    dib.Reset();
    EXPECT_NE(GetObjectType(outside), 0u) << "a context not owned is not deleted";
    DeleteDC(outside);
}

TEST(SfDib, AdoptedBitmapIsNotDeleted)
{
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), 6, -4, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP section = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(section, nullptr);
    {
        auto dib = NewDib();
        OleCheck(dib->SetBitmap(section));
        EXPECT_EQ(Bits(dib.Get()), bits);
        EXPECT_EQ(Get(dib.Get(), &IDib::GetWidth), 6);
        EXPECT_EQ(Get(dib.Get(), &IDib::GetHeight), 4);
        EXPECT_EQ(Get(dib.Get(), &IDib::GetBitCount), 32);
        EXPECT_EQ(Get(dib.Get(), &IDib::GetOwnsBitmap), VARIANT_FALSE);
        EXPECT_EQ(ScanLine(dib.Get(), 0), bits) << "rows of a top-down section start at its bits";
        OleCheck(dib->SetPixel(5, 3, 0xFF010203));
        EXPECT_EQ(static_cast<uint32_t*>(bits)[3 * 6 + 5], 0xFF010203u);
        HDC dc = Get(dib.Get(), &IDib::GetHandle);
        EXPECT_EQ(GetCurrentObject(dc, OBJ_BITMAP), section);
    }
    EXPECT_TRUE(IsBitmapAlive(section));

    // Adopting the handle already held and owned keeps it; letting go of an owned one deletes it.
    auto dib = NewDib();
    OleCheck(dib->SetBitmap(section));
    OleCheck(dib->SetOwnsBitmap(VARIANT_TRUE));
    OleCheck(dib->SetBitmap(section));
    EXPECT_TRUE(IsBitmapAlive(section));
    EXPECT_FALSE(Empty(dib.Get()));
    dib.Reset();
    EXPECT_FALSE(IsBitmapAlive(section));
}

TEST(SfDib, AdoptedSectionsKeepTheirRowOrder)
{
    for (WORD bits : {1, 4, 8, 16, 24, 32})
        for (LONG height : {-3, 3}) {
            struct {
                BITMAPINFOHEADER header;
                RGBQUAD colours[256];
            } info{};
            info.header = {sizeof(BITMAPINFOHEADER), 5, height, 1, bits, BI_RGB, 0, 0, 0, 0, 0};
            info.colours[1] = {0xFF, 0xFF, 0xFF, 0};
            void* memory = nullptr;
            HBITMAP section =
                CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &memory, nullptr, 0);
            ASSERT_NE(section, nullptr);
            auto dib = NewDib();
            OleCheck(dib->SetBitmap(section));
            OleCheck(dib->SetOwnsBitmap(VARIANT_TRUE));
            LONG rowBytes = static_cast<LONG>(SfDibUtils::Stride(bits * 5));
            EXPECT_EQ(Get(dib.Get(), &IDib::GetStride), height < 0 ? rowBytes : -rowBytes) << bits << " bpp";
            EXPECT_EQ(ScanLine(dib.Get(), 0), static_cast<uint8_t*>(memory) + (height < 0 ? 0 : 2 * rowBytes));
            EXPECT_EQ(static_cast<uint8_t*>(memory)[0], 0) << "the probe leaves the pixels as they were";
            EXPECT_EQ(static_cast<uint8_t*>(memory)[2 * rowBytes], 0);
        }
}

TEST(SfDib, AdoptedPaletteSectionAndDeviceBitmap)
{
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colours[2];
    } info{};
    info.header = {sizeof(BITMAPINFOHEADER), 9, 2, 1, 1, BI_RGB, 0, 0, 0, 0, 2};
    info.colours[1] = {0x30, 0x20, 0x10, 0};
    void* bits = nullptr;
    HBITMAP section = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(section, nullptr);
    auto dib = NewDib();
    OleCheck(dib->SetBitmap(section));
    OleCheck(dib->SetOwnsBitmap(VARIANT_TRUE));
    EXPECT_EQ(Get(dib.Get(), &IDib::GetColourCount), 2u);
    static_cast<uint8_t*>(bits)[4] = 0x80;  // bottom-up: the second row in memory is row 0
    EXPECT_EQ(Pixel(dib.Get(), 0, 0), 0xFF102030u);
    EXPECT_EQ(Pixel(dib.Get(), 1, 0), 0xFF000000u);

    HDC screen = GetDC(nullptr);
    HBITMAP device = CreateCompatibleBitmap(screen, 5, 3);
    ReleaseDC(nullptr, screen);
    OleCheck(dib->SetBitmap(device));
    EXPECT_FALSE(IsBitmapAlive(section));
    EXPECT_EQ(Get(dib.Get(), &IDib::GetWidth), 5);
    EXPECT_EQ(Get(dib.Get(), &IDib::GetHeight), 3);
    EXPECT_TRUE(Empty(dib.Get())) << "a device bitmap has no pixels to reach";
    dib.Reset();
    EXPECT_TRUE(IsBitmapAlive(device));
    DeleteObject(device);

    auto other = NewDib();
    EXPECT_EQ(other->SetBitmap(reinterpret_cast<HBITMAP>(static_cast<uintptr_t>(0x1234))), E_UNEXPECTED);
    EXPECT_TRUE(Empty(other.Get()));
}

TEST(SfDib, ReferenceCountFreesAndInterfacesMeet)
{
    gFreed = 0;
    {
        TComPtr<IDib> dib = CreateComObject<TCountedDib, IDib>();
        TComPtr<IDC> dc = dib.As<IDC>();
        ASSERT_TRUE(dc);
        TComPtr<IDC> widened = dib;
        EXPECT_EQ(dc, widened);
        TComPtr<IUnknown> a = dib.As<IUnknown>();
        TComPtr<IUnknown> b = dc.As<IUnknown>();
        EXPECT_EQ(a, b);
        TComPtr<IDib> back = dc.As<IDib>();
        EXPECT_EQ(back, dib);
        OleCheck(dib->SetFormat(2, 2, 24, 0));
        dib.Reset();
        back.Reset();
        EXPECT_EQ(gFreed, 0);
    }
    EXPECT_EQ(gFreed, 1);

    TComPtr<IDC> plain = CreateComObject<TSfDC, IDC>();
    EXPECT_FALSE(plain.As<IDib>());
    TComPtr<IDib> byClass = CreateComObject<IDib>(TSfDib::StaticClass());
    EXPECT_TRUE(byClass);
}

TEST(SfDib, ExceptionsBecomeResultCodes)
{
    TComPtr<IDib> dib = CreateComObject<TFailingDib, IDib>();
    EXPECT_EQ(dib->SetFormat(4, 4, 24, 0), static_cast<HRESULT>(0x8000FFFF));
    EXPECT_EQ(dib->SetFormat(0x7FFFFFFF, 0x7FFFFFFF, 32, 0), E_UNEXPECTED);
    EXPECT_EQ(dib->GetWidth(nullptr), E_POINTER);
    try {
        OleCheck(dib->SetFormat(4, 4, 24, 0));
        FAIL() << "OleCheck let a failure through";
    } catch (const EOleSysError& e) {
        EXPECT_EQ(e.GetErrorCode(), E_UNEXPECTED);
        EXPECT_FALSE(e.GetMessage().empty());
    }
    EXPECT_EQ(OleCheck(S_FALSE), S_FALSE);
}

// --- packed DIBs ---

namespace {

struct TPackedBuilder {
    std::vector<uint8_t> Data;

    template <class T>
    void Put(const T& value)
    {
        const auto* p = reinterpret_cast<const uint8_t*>(&value);
        Data.insert(Data.end(), p, p + sizeof value);
    }
};

// A 3 x 2 bottom-up DIB, 32 bits with masks in R, G, B, A byte order, behind a V5 header.
std::vector<uint8_t> PackedV5Rgba()
{
    BITMAPV5HEADER header{};
    header.bV5Size = sizeof header;
    header.bV5Width = 3;
    header.bV5Height = 2;
    header.bV5Planes = 1;
    header.bV5BitCount = 32;
    header.bV5Compression = BI_BITFIELDS;
    header.bV5RedMask = 0x000000FF;
    header.bV5GreenMask = 0x0000FF00;
    header.bV5BlueMask = 0x00FF0000;
    header.bV5AlphaMask = 0xFF000000;
    TPackedBuilder b;
    b.Put(header);
    // Row 1 (bottom) then row 0; bytes R, G, B, A.
    for (uint32_t value : {0x01020304u, 0x05060708u, 0x090A0B0Cu, 0x80332211u, 0xFF000000u, 0x00FFFFFFu})
        b.Put(value);
    return b.Data;
}

// A 2 x 2 top-down DIB of 16 bits in 5-6-5 behind a plain header followed by three masks.
std::vector<uint8_t> Packed565()
{
    BITMAPINFOHEADER header{sizeof header, 2, -2, 1, 16, BI_BITFIELDS, 0, 0, 0, 0, 0};
    TPackedBuilder b;
    b.Put(header);
    b.Put(uint32_t{0xF800});
    b.Put(uint32_t{0x07E0});
    b.Put(uint32_t{0x001F});
    for (uint16_t value : {uint16_t{0xF800}, uint16_t{0x07E0}, uint16_t{0x001F}, uint16_t{0xFFFF}})
        b.Put(value);
    return b.Data;
}

// A 3 x 1 DIB of 8 bits with two colours behind a V4 header.
std::vector<uint8_t> PackedV4Palette()
{
    BITMAPV4HEADER header{};
    header.bV4Size = sizeof header;
    header.bV4Width = 3;
    header.bV4Height = 1;
    header.bV4Planes = 1;
    header.bV4BitCount = 8;
    header.bV4V4Compression = BI_RGB;
    header.bV4ClrUsed = 2;
    TPackedBuilder b;
    b.Put(header);
    b.Put(RGBQUAD{0x33, 0x22, 0x11, 0});
    b.Put(RGBQUAD{0x66, 0x55, 0x44, 0});
    for (uint8_t value : {uint8_t{1}, uint8_t{0}, uint8_t{1}, uint8_t{0}})
        b.Put(value);
    return b.Data;
}

HGLOBAL ToGlobal(const std::vector<uint8_t>& data, size_t size)
{
    HGLOBAL global = GlobalAlloc(GMEM_MOVEABLE, size);
    void* p = GlobalLock(global);
    std::memcpy(p, data.data(), size);
    GlobalUnlock(global);
    return global;
}

}

TEST(SfDibPacked, LongHeadersAndMasksReadCorrectly)
{
    auto v5 = PackedV5Rgba();
    auto dib = NewDib();
    OleCheck(dib->SetBitmapInfo(reinterpret_cast<BITMAPINFO*>(v5.data()), static_cast<DWORD>(v5.size())));
    EXPECT_EQ(Bits(dib.Get()), v5.data() + sizeof(BITMAPV5HEADER));
    EXPECT_EQ(Get(dib.Get(), &IDib::GetBitmapInfo), reinterpret_cast<BITMAPINFO*>(v5.data()));
    EXPECT_EQ(Pixel(dib.Get(), 0, 0), 0x80112233u);
    EXPECT_EQ(Pixel(dib.Get(), 1, 0), 0xFF000000u);
    EXPECT_EQ(Pixel(dib.Get(), 2, 0), 0x00FFFFFFu);
    EXPECT_EQ(Pixel(dib.Get(), 0, 1), 0x01040302u);
    OleCheck(dib->SetPixel(1, 1, 0x40AABBCC));
    EXPECT_EQ(Pixel(dib.Get(), 1, 1), 0x40AABBCCu);
    EXPECT_EQ(v5[sizeof(BITMAPV5HEADER) + 4], 0xAA) << "red goes to the byte the red mask names";

    auto rgb565 = Packed565();
    OleCheck(dib->SetBitmapInfo(reinterpret_cast<BITMAPINFO*>(rgb565.data()), static_cast<DWORD>(rgb565.size())));
    EXPECT_EQ(Bits(dib.Get()), rgb565.data() + 52);
    EXPECT_EQ(Pixel(dib.Get(), 0, 0), 0xFFFF0000u);
    EXPECT_EQ(Pixel(dib.Get(), 1, 0), 0xFF00FF00u);
    EXPECT_EQ(Pixel(dib.Get(), 0, 1), 0xFF0000FFu);
    EXPECT_EQ(Pixel(dib.Get(), 1, 1), 0xFFFFFFFFu);

    auto v4 = PackedV4Palette();
    HGLOBAL global = ToGlobal(v4, v4.size());
    OleCheck(dib->SetGlobal(global));
    EXPECT_EQ(Get(dib.Get(), &IDib::GetGlobal), global);
    EXPECT_EQ(Get(dib.Get(), &IDib::GetColourCount), 2u);
    EXPECT_EQ(Pixel(dib.Get(), 0, 0), 0xFF445566u);
    EXPECT_EQ(Pixel(dib.Get(), 1, 0), 0xFF112233u);
    RGBQUAD* entry = nullptr;
    OleCheck(dib->GetPaletteEntry(1, &entry));
    EXPECT_EQ(reinterpret_cast<uint8_t*>(entry) - reinterpret_cast<uint8_t*>(Get(dib.Get(), &IDib::GetBitmapInfo)),
              static_cast<ptrdiff_t>(sizeof(BITMAPV4HEADER) + 4));
    OleCheck(dib->SetGlobal(global));
    EXPECT_EQ(Get(dib.Get(), &IDib::GetGlobal), global);
    // Not owned: the block outlives the DIB and is unlocked again.
    dib.Reset();
    EXPECT_EQ(GlobalFlags(global) & GMEM_LOCKCOUNT, 0u);
    EXPECT_EQ(GlobalFree(global), nullptr);
}

TEST(SfDibPacked, OwnedGlobalIsFreedOnce)
{
    auto v4 = PackedV4Palette();
    HGLOBAL owned = ToGlobal(v4, v4.size());
    HGLOBAL borrowed = ToGlobal(v4, v4.size());
    auto dib = NewDib();
    OleCheck(dib->SetGlobal(owned));
    OleCheck(dib->SetOwnsGlobal(VARIANT_TRUE));
    OleCheck(dib->SetGlobal(borrowed));
    EXPECT_EQ(Get(dib.Get(), &IDib::GetOwnsGlobal), VARIANT_FALSE);
    EXPECT_EQ(Pixel(dib.Get(), 2, 0), 0xFF445566u);
    dib.Reset();
    EXPECT_NE(GlobalSize(borrowed), 0u) << "a block not owned survives";
    EXPECT_EQ(GlobalFree(borrowed), nullptr);
}

TEST(SfDibPacked, TruncatedBlocksFailCleanly)
{
    for (const auto& full : {PackedV5Rgba(), Packed565(), PackedV4Palette()}) {
        for (size_t length = 0; length < full.size(); ++length) {
            std::vector<uint8_t> cut(full.begin(), full.begin() + length);
            cut.resize(length + 1);  // never hand a zero-sized vector's null data
            auto dib = NewDib();
            OleCheck(dib->SetFormat(2, 2, 24, 0));
            EXPECT_EQ(dib->SetBitmapInfo(reinterpret_cast<BITMAPINFO*>(cut.data()), static_cast<DWORD>(length)),
                      E_UNEXPECTED)
                << "length " << length << " of " << full.size();
            EXPECT_TRUE(Empty(dib.Get()));
            EXPECT_EQ(Get(dib.Get(), &IDib::GetBitmapInfo), nullptr);
            EXPECT_EQ(PixelPtr(dib.Get(), 0, 0), nullptr);
        }
        auto copy = full;
        auto dib = NewDib();
        EXPECT_EQ(dib->SetBitmapInfo(reinterpret_cast<BITMAPINFO*>(copy.data()), static_cast<DWORD>(copy.size())), S_OK);
    }

    auto v5 = PackedV5Rgba();
    HGLOBAL global = ToGlobal(v5, v5.size() - 1);
    auto dib = NewDib();
    EXPECT_EQ(dib->SetGlobal(global), E_UNEXPECTED);
    EXPECT_EQ(Get(dib.Get(), &IDib::GetGlobal), nullptr);
    EXPECT_EQ(GlobalFlags(global) & GMEM_LOCKCOUNT, 0u);
    GlobalFree(global);
}

TEST(SfDibPacked, MalformedHeadersAreRejected)
{
    auto base = PackedV4Palette();
    auto mutate = [&](auto change) {
        auto data = base;
        auto* header = reinterpret_cast<BITMAPV4HEADER*>(data.data());
        change(*header);
        return SfDibUtils::ParsePackedDib(data.data(), data.size());
    };
    EXPECT_NO_THROW(mutate([](BITMAPV4HEADER&) {}));
    EXPECT_THROW(mutate([](BITMAPV4HEADER& h) { h.bV4Width = 0; }), EDibError);
    EXPECT_THROW(mutate([](BITMAPV4HEADER& h) { h.bV4Height = 0; }), EDibError);
    EXPECT_THROW(mutate([](BITMAPV4HEADER& h) { h.bV4Width = 0x40000000; }), EDibError);
    EXPECT_THROW(mutate([](BITMAPV4HEADER& h) { h.bV4Height = INT32_MIN; }), EDibError);
    EXPECT_THROW(mutate([](BITMAPV4HEADER& h) { h.bV4BitCount = 7; }), EDibError);
    EXPECT_THROW(mutate([](BITMAPV4HEADER& h) { h.bV4V4Compression = BI_RLE8; }), EDibError);
    EXPECT_THROW(mutate([](BITMAPV4HEADER& h) { h.bV4ClrUsed = 0x40000000; }), EDibError);
    EXPECT_THROW(mutate([](BITMAPV4HEADER& h) { h.bV4Size = 12; }), EDibError);
    EXPECT_THROW(mutate([](BITMAPV4HEADER& h) { h.bV4Size = 0xFFFFFFF0; }), EDibError);
    EXPECT_THROW(mutate([](BITMAPV4HEADER& h) { h.bV4V4Compression = BI_BITFIELDS; }), EDibError);
    EXPECT_THROW(SfDibUtils::ParsePackedDib(nullptr, 100), EDibError);
}

TEST(SfDC, OwnedContextsAreDeletedOthersForgotten)
{
    auto dc = CreateComObject<TSfDC, IDC>();
    HDC first = CreateCompatibleDC(nullptr);
    HDC second = CreateCompatibleDC(nullptr);
    OleCheck(dc->SetHandle(first));
    OleCheck(dc->SetOwnsHandle(VARIANT_TRUE));
    OleCheck(dc->SetHandle(first));
    EXPECT_NE(GetObjectType(first), 0u) << "setting the owned context again keeps it";
    OleCheck(dc->SetHandle(second));
    EXPECT_EQ(GetObjectType(first), 0u);
    VARIANT_BOOL owns = VARIANT_TRUE;
    OleCheck(dc->GetOwnsHandle(&owns));
    EXPECT_EQ(owns, VARIANT_FALSE);
    HDC held = nullptr;
    OleCheck(dc->GetHandle(&held));
    EXPECT_EQ(held, second);
    dc.Reset();
    EXPECT_NE(GetObjectType(second), 0u);
    DeleteDC(second);
}
