// The one theme of the program, registered as "Default": the look of the operating system, from
// the system colours and the platform's edge, frame-control and caption calls, or from the
// visual-style data when visual styles are in use.
#pragma once

#include "skin/SkinTheme.h"

class TSkinDefaultTheme : public TSkinTheme {
    SF_CLASS(TSkinDefaultTheme)
public:
    explicit TSkinDefaultTheme(std::string name) : TSkinTheme(std::move(name)) {}
    ~TSkinDefaultTheme() override;
    // Joins the theme manager's notification list and computes the colours.
    void AfterConstruction() override;
    static TSkinTheme* Create(const std::string& name);

    // Colours again on a metrics change (wParam 2).
    void Dispatch(TMessage& message) override;
    // From the system colours, or the visual-style data where it has them.
    virtual void ComputeColors();

    TColor GetToolbarColor() const { return FToolbarColor; }
    TColor GetToolbarTextColor() const { return FToolbarTextColor; }
    TColor GetDockColor() const { return FDockColor; }
    TColor GetDockPanelColor() const { return FDockPanelColor; }
    TColor GetStatusBarColor() const { return FStatusBarColor; }

    POINT QueryImageShift(HDC dc, const TSkinItemDrawInfo& info, int unused) override;
    TColor QueryItemColor(const TSkinItemDrawInfo& info) override;
    TColor QueryItemTextColor(const TSkinItemDrawInfo& info) override;
    TColor QueryImageBackColor(const TSkinItemDrawInfo& info) override;
    TSkinMargins QueryMargins(int kind) override;
    int QueryPopupShadowStyle() override { return 1; }
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
    void DrawCloseButton(HDC dc, const RECT& r, uint32_t state, const uint16_t* cross, int crossHeight);
    void DrawDragHandle(HDC dc, const RECT& r, const TSkinToolbarInfo& toolbar);

    TColor FToolbarColor = clBtnFace;
    TColor FToolbarTextColor = clBtnText;
    TColor FDockColor = clBtnFace;
    TColor FDockPanelColor = clBtnFace;
    TColor FStatusBarColor = clBtnFace;
};

// The small-caption font of the system, made by the unit's start and freed by its end.
HFONT SmallCaptionFont();
void InitSkinDefaultTheme();
void DoneSkinDefaultTheme();
