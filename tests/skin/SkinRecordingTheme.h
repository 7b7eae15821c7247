// A theme for the tests, registered as "Test" beside "Default": it notes every measuring and
// drawing call with its rectangle and records, answers metrics the test chose, and paints each
// rectangle in a colour of its own so that pixels show what was drawn where.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "skin/SkinTheme.h"

struct TThemeCall {
    std::string Op;
    RECT R{};
    TSkinItemDrawInfo Info;
    std::wstring Text;
    UINT Format = 0;
    TColor Color = 0;
    int Value = 0;          // a kind, part, position or image index
    bool Flag1 = false;     // DrawSeparatorLine: horizontal
    bool Flag2 = false;     // DrawSeparatorLine: line only
    TSkinEditInfo Edit;
    TSkinPopupInfo Popup;
    TSkinToolbarInfo Toolbar;
    TSkinFloatingInfo Floating;
};

class TRecordingTheme : public TSkinTheme {
    SF_CLASS(TRecordingTheme)
public:
    using TSkinTheme::TSkinTheme;
    static TSkinTheme* Create(const std::string& name);

    // What the test chose; unknown ids answer -1 and false.
    std::map<int, int> IntegerMetrics;
    std::map<int, bool> BooleanMetrics;
    std::map<int, TSkinMargins> Margins;
    SIZE ViewBorder{2, 2};
    int ShadowStyle = 0;
    TColor TextColor = TColor(0x102030);
    std::vector<TThemeCall> Calls;

    // The calls of one operation, in order.
    std::vector<TThemeCall> Of(const std::string& op) const;
    void Clear() { Calls.clear(); }
    // The colour each operation paints its rectangle with (red low, as GDI takes it).
    static COLORREF PaintColor(const std::string& op);

    POINT QueryImageShift(HDC dc, const TSkinItemDrawInfo& info, int unused) override;
    TColor QueryItemColor(const TSkinItemDrawInfo& info) override;
    TColor QueryItemTextColor(const TSkinItemDrawInfo& info) override;
    TColor QueryImageBackColor(const TSkinItemDrawInfo& info) override;
    TSkinMargins QueryMargins(int kind) override;
    int QueryPopupShadowStyle() override { return ShadowStyle; }
    SIZE QueryViewBorder(uint32_t viewType) override;
    TColor QueryViewColor(uint32_t viewType) override;
    TSkinMargins QueryViewMargins(uint32_t viewType) override;
    bool FillViewBackground(HDC dc, const RECT& viewRect, const RECT& paint, const RECT& clip, TColor color,
                            uint32_t viewType) override;
    void DrawButtonFrame(HDC dc, const RECT& r, const TSkinItemDrawInfo& info) override;
    void DrawItemText(HDC dc, RECT& r, const TSkinItemDrawInfo& info, const std::wstring& caption, UINT format,
                      TColor color) override;
    void DrawCheckGlyph(HDC dc, const RECT& r, const TSkinItemDrawInfo& info) override;
    void DrawChevronGlyph(HDC dc, const RECT& r, const TSkinItemDrawInfo& info) override;
    void DrawEditItem(HDC dc, const RECT& r, const TSkinItemDrawInfo& info, const TSkinEditInfo& edit) override;
    void DrawEditButtonPart(HDC dc, const RECT& r, const TSkinItemDrawInfo& info,
                            const TSkinEditButtonInfo& button) override;
    void DrawDockBackground(HDC dc, const RECT& clientRect, const RECT& dockRect, int dockPosition) override;
    void DrawPanelFrame(HDC dc, const RECT& r, const TSkinDockPanelInfo& panel) override;
    void DrawArrowGlyph(HDC dc, const RECT& r, const TSkinItemDrawInfo& info) override;
    void DrawFloatingFrame(HDC dc, const RECT& r, const TSkinFloatingInfo& floating) override;
    void DrawEditFieldFrame(HDC dc, const RECT& r, const TSkinItemDrawInfo& info) override;
    void DrawImageForState(HDC dc, const RECT& r, const TSkinItemDrawInfo& info, TCustomImageList* images,
                           int imageIndex) override;
    void DrawCaptionButton(HDC dc, const RECT& r, const TSkinItemDrawInfo& info, int kind) override;
    void DrawMenuItemFace(HDC dc, const RECT& r, const TSkinItemDrawInfo& info) override;
    void DrawHotBackground(HDC dc, const RECT& r, const TSkinItemDrawInfo& info) override;
    void DrawArrowButton(HDC dc, const RECT& r, int direction, bool pushed) override;
    void DrawPopupFrame(HDC dc, const RECT& r, const TSkinPopupInfo& popup) override;
    void DrawSeparatorLine(HDC dc, const RECT& r, const TSkinItemDrawInfo& info, bool horizontal,
                           bool toolbarSeparator) override;
    void DrawToolbarFrame(HDC dc, const RECT& r, const TSkinToolbarInfo& toolbar) override;
    void DrawControlGlyph(HDC dc, const RECT& r, int kind, uint32_t state, uint32_t options) override;
    void DrawStatusBarPart(HDC dc, const RECT& r, int part) override;
    int QueryIntegerMetric(int id) override;
    bool QueryBooleanMetric(int id) override;

private:
    TThemeCall& Note(const std::string& op, HDC dc, const RECT& r, bool paint = true);
};

// Makes a fresh recording theme current while it lives, then "Default" again.
class TRecordingThemeScope {
public:
    TRecordingThemeScope();
    ~TRecordingThemeScope();
    TRecordingThemeScope(const TRecordingThemeScope&) = delete;
    TRecordingThemeScope& operator=(const TRecordingThemeScope&) = delete;
    TRecordingTheme* operator->() const { return FTheme; }
    TRecordingTheme& operator*() const { return *FTheme; }

private:
    TRecordingTheme* FTheme;
};
