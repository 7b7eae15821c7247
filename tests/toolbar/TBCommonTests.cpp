// The framework's shared helpers: accelerators, hints, escapes, settings read from the registry,
// list helpers, message pumps, the XOR outline, WM_PRINT answering and wide-string properties.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "ToolbarTestSupport.h"
#include "platform/Streams.h"
#include "platform/SysUtils.h"
#include "toolbar/TBCommon.h"

namespace {

TEST(TBAccelerators, LocateStripAndDouble)
{
    struct TCase {
        std::wstring Caption;
        wchar_t Accel;
        std::wstring Stripped;
    };
    const TCase cases[] = {
        {L"&File", L'F', L"File"},
        {L"Save &As...", L'A', L"Save As..."},
        {L"Fish && Chips", 0, L"Fish & Chips"},
        {L"&&&a", L'a', L"&a"},
        {L"a&&b", 0, L"a&b"},
        {L"&One &Two", L'T', L"One Two"},
        {L"Trailing&", 0, L"Trailing"},
        {L"", 0, L""},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(LocateAccelChar(c.Caption), c.Accel) << WideToAnsi(c.Caption);
        EXPECT_EQ(RemoveAccelMarks(c.Caption), c.Stripped) << WideToAnsi(c.Caption);
        EXPECT_EQ(RemoveAccelMarks(DoubleAmpersands(c.Stripped)), c.Stripped) << WideToAnsi(c.Caption);
        std::string ansi = WideToAnsi(c.Caption);
        EXPECT_EQ(FindAccelCharA(ansi), static_cast<char>(c.Accel)) << ansi;
        EXPECT_EQ(StripAnsiAccelChars(ansi), WideToAnsi(c.Stripped)) << ansi;
    }
    EXPECT_EQ(DoubleAmpersands(L"a&b&&"), L"a&&b&&&&");
}

TEST(TBHints, ShortLongAndPunctuation)
{
    EXPECT_EQ(GetShortHintW(L"Open|Opens a project"), L"Open");
    EXPECT_EQ(GetLongHintW(L"Open|Opens a project"), L"Opens a project");
    EXPECT_EQ(GetShortHintW(L"Open"), L"Open");
    EXPECT_EQ(GetLongHintW(L"Open"), L"");
    EXPECT_EQ(GetShortHintW(L"|long only"), L"");
    EXPECT_EQ(GetLongHintW(L"a|b|c"), L"b|c");

    EXPECT_EQ(TrimHintPunctuation(L"Print..."), L"Print");
    EXPECT_EQ(TrimHintPunctuation(L"Zoom:"), L"Zoom");
    EXPECT_EQ(TrimHintPunctuation(L"Zoom::"), L"Zoom:");
    EXPECT_EQ(TrimHintPunctuation(L".."), L"..");
    EXPECT_EQ(TrimHintPunctuation(L"Plain"), L"Plain");
}

TEST(TBArithmetic, CeilDivRoundsAwayFromZero)
{
    const int cases[][3] = {{7, 2, 4}, {-7, 2, -4}, {7, -2, -4}, {-7, -2, 4}, {6, 2, 3}, {0, 5, 0}, {1, 3, 1}};
    for (const auto& c : cases)
        EXPECT_EQ(CeilDiv(c[0], c[1]), c[2]) << c[0] << "/" << c[1];
}

TEST(TBEscapes, AnsiTextPassesBackslashesDoubleOthersAreCoded)
{
    EXPECT_EQ(EscapeWideString(L"Plain text 123"), "Plain text 123");
    EXPECT_EQ(EscapeWideString(L"C:\\dir"), "C:\\\\dir");
    EXPECT_EQ(EscapeWideString(L"a\x4E2D" L"b"), "a\\#4E2D;b");
    EXPECT_EQ(EscapeWideString(L"\x3A9"), "\\#3A9;");
    EXPECT_FALSE(IsNonAnsiChar(L'A'));
    EXPECT_FALSE(IsNonAnsiChar(L'\xE9'));  // é is in the Western code page the tests run under
    EXPECT_TRUE(IsNonAnsiChar(L'\x4E2D'));
    EXPECT_TRUE(WideCharInString(L"abc", L'b'));
    EXPECT_FALSE(WideCharInString(L"abc", L'x'));
    EXPECT_EQ(KeyCharToWideChar(0x4E2D), L'\x4E2D');
    EXPECT_EQ(KeyCharToWideChar('a'), L'a');
}

// A scratch key under the test user's hive, removed again at the end.
class TScratchKey {
public:
    explicit TScratchKey(const std::string& path) : FPath(path)
    {
        RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &FKey, nullptr);
    }
    ~TScratchKey()
    {
        RegCloseKey(FKey);
        RegDeleteTreeA(HKEY_CURRENT_USER, FPath.c_str());
    }
    HKEY Key() const { return FKey; }
    void SetString(const char* name, const std::string& value)
    {
        RegSetValueExA(FKey, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1));
    }
    void SetDword(const char* name, DWORD value)
    {
        RegSetValueExA(FKey, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
    }

private:
    std::string FPath;
    HKEY FKey = nullptr;
};

TEST(TBSettings, MenuShowDelayFromTheRegistry)
{
    const std::string root = "Software\\SheetfoldToolbarTests";
    HKEY rootKey = nullptr;
    {
        TScratchKey scratch(root);
        RegOpenKeyExA(HKEY_CURRENT_USER, root.c_str(), 0, KEY_READ, &rootKey);
        EXPECT_EQ(ReadMenuShowDelay(rootKey), 400) << "no Desktop key";
        TScratchKey desktop(root + "\\Control Panel\\Desktop");
        EXPECT_EQ(ReadMenuShowDelay(rootKey), 400) << "no value";
        struct TCase {
            const char* Text;
            int Delay;
        };
        for (TCase c : {TCase{"250", 250}, TCase{" 10 ", 10}, TCase{"abc", 0}, TCase{"-5", 0}, TCase{"", 0}}) {
            desktop.SetString("MenuShowDelay", c.Text);
            EXPECT_EQ(ReadMenuShowDelay(rootKey), c.Delay) << "'" << c.Text << "'";
        }
        desktop.SetDword("MenuShowDelay", 100);
        EXPECT_EQ(ReadMenuShowDelay(rootKey), 0) << "not a string";
        RegCloseKey(rootKey);
    }
    EXPECT_GE(MenuShowDelay(), 0);
}

TEST(TBSettings, SoundInSchemeNeedsANonEmptyCurrentValue)
{
    const std::string path = "AppEvents\\Schemes\\Apps\\.Default\\SfToolbarTestSound\\.Current";
    EXPECT_FALSE(IsSoundInScheme("SfToolbarTestSound"));
    TScratchKey key(path);
    EXPECT_FALSE(IsSoundInScheme("SfToolbarTestSound")) << "no default value";
    key.SetString(nullptr, "");
    EXPECT_FALSE(IsSoundInScheme("SfToolbarTestSound"));
    key.SetString(nullptr, "a.wav");
    EXPECT_TRUE(IsSoundInScheme("SfToolbarTestSound"));
    key.SetString(nullptr, "C:\\Windows\\Media\\a much longer sound file name.wav");
    EXPECT_TRUE(IsSoundInScheme("SfToolbarTestSound"));
    RegDeleteTreeA(HKEY_CURRENT_USER, "AppEvents\\Schemes\\Apps\\.Default\\SfToolbarTestSound");
}

TEST(TBLists, AppendFrontRemoveAndSortWithContext)
{
    int a = 1, b = 2, c = 3;
    TOwnedList list;
    EXPECT_TRUE(ListAppend(list, &b));
    ASSERT_TRUE(list);
    EXPECT_FALSE(ListAppend(list, &b));
    EXPECT_TRUE(AddToListFront(list, &a));
    EXPECT_FALSE(AddToListFront(list, &b));
    EXPECT_TRUE(ListAppend(list, &c));
    ASSERT_EQ(list->GetCount(), 3);
    EXPECT_EQ(list->GetItem(0), &a);
    EXPECT_EQ(list->GetItem(2), &c);

    // The context chooses the direction.
    int descending = -1;
    SortListWith(
        list.get(),
        [](void* x, void* y, void* extra) { return (*static_cast<int*>(x) - *static_cast<int*>(y)) * *static_cast<int*>(extra); },
        &descending);
    EXPECT_EQ(list->GetItem(0), &c);
    EXPECT_EQ(list->GetItem(2), &a);

    ListRemove(list, &a);
    ListRemove(list, &a);
    ListRemove(list, &b);
    EXPECT_TRUE(list);
    ListRemove(list, &c);
    EXPECT_FALSE(list) << "the list goes with its last item";
    ListRemove(list, &c);
}

int g_Paints = 0;

// A window that never validates, which would be painted forever.
LRESULT CALLBACK CountPaints(HWND, UINT msg, WPARAM, LPARAM)
{
    if (msg == WM_PAINT)
        ++g_Paints;
    return 0;
}

TEST(TBMessages, PumpsEndAndQuitIsKept)
{
    int& paints = g_Paints;
    TTestWindow wnd(100, 100, WS_OVERLAPPEDWINDOW | WS_VISIBLE, nullptr, CountPaints);
    paints = 0;
    InvalidateRect(wnd.Handle(), nullptr, FALSE);
    PumpPaintMessages();
    EXPECT_EQ(paints, 1);
    ValidateRect(wnd.Handle(), nullptr);

    PostMessageA(wnd.Handle(), WM_USER + 1, 0, 0);
    PostQuitMessage(7);
    FlushMessages(WM_USER, WM_USER + 10);
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(msg.wParam, 7u);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_USER, WM_USER + 10, PM_REMOVE));
}

TEST(TBDragOutline, XorFramesMoveAndEraseCleanly)
{
    TTestDib dib(120, 100);
    dib.Fill(0xFFFFFF);
    std::vector<uint32_t> clean = dib.Pixels();
    RECT first{10, 10, 60, 50};
    RECT second{20, 15, 80, 70};
    SIZE thick{3, 3};
    InvertHalftoneFrame(dib.DC(), &first, nullptr, thick, SIZE{});
    EXPECT_GT(dib.CountNot(0xFFFFFF, first), 0);
    EXPECT_EQ(dib.CountNot(0xFFFFFF, RECT{13, 13, 57, 47}), 0) << "only the frame is inverted";

    InvertHalftoneFrame(dib.DC(), &second, &first, thick, thick);
    std::vector<uint32_t> moved = dib.Pixels();
    // The same as drawing the second frame on a clean bitmap.
    dib.Fill(0xFFFFFF);
    InvertHalftoneFrame(dib.DC(), &second, nullptr, thick, SIZE{});
    EXPECT_EQ(dib.Pixels(), moved);

    InvertHalftoneFrame(dib.DC(), nullptr, &second, SIZE{}, thick);
    EXPECT_EQ(dib.Pixels(), clean);
}

int g_ClientPrints = 0;

// Paints its frame black through the shared WM_PRINT answer and its client grey, counting the
// client prints.
LRESULT CALLBACK PrintFrameAndClient(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_PRINT) {
        TMessage m{msg, wParam, lParam, 0};
        AnswerPrintMessage(wnd, m, [](HWND, HDC dc) {
            RECT all{0, 0, 200, 150};
            FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        });
        return m.Result;
    }
    if (msg == WM_PRINTCLIENT) {
        ++g_ClientPrints;
        RECT r{0, 0, 10, 10};
        FillRect(reinterpret_cast<HDC>(wParam), &r, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)));
        return 0;
    }
    return DefWindowProcA(wnd, msg, wParam, lParam);
}

TEST(TBPrinting, WmPrintPaintsFrameClientAndChildren)
{
    int& clientPrints = g_ClientPrints;
    clientPrints = 0;
    TTestWindow parent(200, 150, WS_POPUP | WS_BORDER | WS_VISIBLE, nullptr, PrintFrameAndClient);
    TTestDib dib(200, 150);
    dib.Fill(0xFFFFFF);
    LRESULT r = SendMessageA(parent.Handle(), WM_PRINT, reinterpret_cast<WPARAM>(dib.DC()),
                             PRF_NONCLIENT | PRF_CLIENT | PRF_CHECKVISIBLE);
    EXPECT_EQ(r, 1);
    EXPECT_EQ(clientPrints, 1);
    POINT client{0, 0};
    ClientToScreen(parent.Handle(), &client);
    RECT wr{};
    GetWindowRect(parent.Handle(), &wr);
    int cx = client.x - wr.left, cy = client.y - wr.top;
    EXPECT_GT(cx, 0) << "the border moves the client origin";
    EXPECT_EQ(dib.Pixel(0, 0), 0x000000u) << "frame from the non-client painter";
    EXPECT_EQ(dib.Pixel(cx + 5, cy + 5), 0x808080u) << "client painted at its origin";

    ShowWindow(parent.Handle(), SW_HIDE);
    dib.Fill(0xFFFFFF);
    r = SendMessageA(parent.Handle(), WM_PRINT, reinterpret_cast<WPARAM>(dib.DC()),
                     PRF_NONCLIENT | PRF_CLIENT | PRF_CHECKVISIBLE);
    EXPECT_EQ(r, 1);
    EXPECT_EQ(dib.CountNot(0xFFFFFF, RECT{0, 0, 200, 150}), 0) << "a hidden window prints nothing";
    EXPECT_EQ(clientPrints, 1);
}

TEST(TBText, VerticalTextStaysInItsRectangle)
{
    TTestDib dib(60, 120);
    dib.Fill(0xFFFFFF);
    SetBkMode(dib.DC(), TRANSPARENT);
    SetTextColor(dib.DC(), RGB(0, 0, 0));
    HGDIOBJ oldFont = SelectObject(dib.DC(), GetStockObject(DEFAULT_GUI_FONT));
    TGdiObject<HFONT> vertical = MakeVerticalFont(dib.DC());
    LOGFONTA lf{};
    GetObjectA(vertical.Get(), sizeof(lf), &lf);
    EXPECT_EQ(lf.lfEscapement, 2700);
    EXPECT_EQ(lf.lfOrientation, 2700);

    RECT r{10, 10, 40, 60};
    DrawVerticalText(dib.DC(), L"&Long caption that cannot fit", r, DT_END_ELLIPSIS);
    EXPECT_GT(dib.CountNot(0xFFFFFF, r), 0);
    EXPECT_EQ(dib.CountNot(0xFFFFFF, r, true), 0);
    EXPECT_GT(GetTextWidthW(dib.DC(), L"A&B", false), GetTextWidthW(dib.DC(), L"A&B", true));
    EXPECT_EQ(GetTextWidthW(dib.DC(), L"A&B", true), WideTextExtent(dib.DC(), L"AB").cx);
    EXPECT_EQ(MeasureTextWidth(dib.DC(), "A&B", true), WideTextExtent(dib.DC(), L"AB").cx);
    EXPECT_GT(MeasureTextHeight(dib.DC()), 0);
    SelectObject(dib.DC(), oldFont);
}

TEST(TBWideProperties, BytesAndRoundTrips)
{
    TMemoryStream stream;
    {
        TWriter writer(&stream);
        WriteWideStringProp(&writer, L"abc");
    }
    EXPECT_EQ(TextOf(stream), std::string("\x12\x03\0\0\0a\0b\0c\0", 11));

    const std::wstring texts[] = {L"", L"Fish && Chips", L"\x4E2D\x6587\x83DC\x5355", L"\xD83D\xDE00"};
    for (const std::wstring& text : texts) {
        TMemoryStream s;
        TWriter writer(&s);
        WriteWideStringProp(&writer, text);
        s.SetPosition(0);
        TReader reader(&s);
        EXPECT_EQ(ReadWideStringProp(&reader), text);
    }

    // Older streams hold 8-bit strings, short and long.
    for (TValueType type : {vaString, vaLString}) {
        TMemoryStream s;
        std::string ansi = "Caf\xE9";
        uint8_t t = type;
        s.WriteBuffer(&t, 1);
        if (type == vaString) {
            uint8_t n = static_cast<uint8_t>(ansi.size());
            s.WriteBuffer(&n, 1);
        } else {
            int32_t n = static_cast<int32_t>(ansi.size());
            s.WriteBuffer(&n, 4);
        }
        s.WriteBuffer(ansi.data(), static_cast<int32_t>(ansi.size()));
        s.SetPosition(0);
        TReader reader(&s);
        EXPECT_EQ(ReadWideStringProp(&reader), L"Caf\xE9") << int(type);
    }

    // A damaged count is refused, not trusted.
    for (int32_t count : {-1, 1000}) {
        TMemoryStream s;
        uint8_t t = vaWString;
        s.WriteBuffer(&t, 1);
        s.WriteBuffer(&count, 4);
        s.WriteBuffer(L"ab", 4);
        s.SetPosition(0);
        TReader reader(&s);
        EXPECT_THROW(ReadWideStringProp(&reader), EReadError) << count;
    }
    TMemoryStream other;
    uint8_t t = vaInt8, v = 5;
    other.WriteBuffer(&t, 1);
    other.WriteBuffer(&v, 1);
    other.SetPosition(0);
    TReader reader(&other);
    EXPECT_THROW(ReadWideStringProp(&reader), EReadError);
}

} // namespace
