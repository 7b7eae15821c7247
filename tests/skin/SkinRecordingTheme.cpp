#include "SkinRecordingTheme.h"

#include "platform/ScopeGuards.h"
#include "skin/Skin.h"

SF_IMPLEMENT_ABSTRACT(TRecordingTheme, TSkinTheme)

namespace {

constexpr const char* RecordingThemeName = "Test";

} // namespace

TSkinTheme* TRecordingTheme::Create(const std::string& name)
{
    return New<TRecordingTheme>(name);
}

COLORREF TRecordingTheme::PaintColor(const std::string& op)
{
    uint32_t hash = 2166136261u;
    for (char c : op)
        hash = (hash ^ uint8_t(c)) * 16777619u;
    // Away from white and black so that painted pixels are never mistaken for the background.
    return RGB(40 + hash % 160, 40 + (hash >> 8) % 160, 40 + (hash >> 16) % 160);
}

std::vector<TThemeCall> TRecordingTheme::Of(const std::string& op) const
{
    std::vector<TThemeCall> result;
    for (const TThemeCall& call : Calls)
        if (call.Op == op)
            result.push_back(call);
    return result;
}

TThemeCall& TRecordingTheme::Note(const std::string& op, HDC dc, const RECT& r, bool paint)
{
    if (paint && dc && r.right > r.left && r.bottom > r.top) {
        TGdiObject<HBRUSH> brush(CreateSolidBrush(PaintColor(op)));
        FillRect(dc, &r, brush.Get());
    }
    Calls.push_back(TThemeCall{});
    Calls.back().Op = op;
    Calls.back().R = r;
    return Calls.back();
}

POINT TRecordingTheme::QueryImageShift(HDC, const TSkinItemDrawInfo& info, int)
{
    return info.Pushed ? POINT{1, 1} : POINT{0, 0};
}

TColor TRecordingTheme::QueryItemColor(const TSkinItemDrawInfo&)
{
    return clBtnFace;
}

TColor TRecordingTheme::QueryItemTextColor(const TSkinItemDrawInfo& info)
{
    return info.Enabled ? TextColor : TColor(0x808080);
}

TColor TRecordingTheme::QueryImageBackColor(const TSkinItemDrawInfo&)
{
    return clBtnFace;
}

TSkinMargins TRecordingTheme::QueryMargins(int kind)
{
    auto found = Margins.find(kind);
    return found == Margins.end() ? TSkinMargins{} : found->second;
}

SIZE TRecordingTheme::QueryViewBorder(uint32_t)
{
    return ViewBorder;
}

TColor TRecordingTheme::QueryViewColor(uint32_t viewType)
{
    return TColor(0x00F0E0D0 + ViewKindOf(viewType) % 16);
}

TSkinMargins TRecordingTheme::QueryViewMargins(uint32_t)
{
    return TSkinMargins{1, 2, 3, 4};
}

bool TRecordingTheme::FillViewBackground(HDC dc, const RECT& viewRect, const RECT& paint, const RECT&, TColor color,
                                         uint32_t viewType)
{
    TThemeCall& call = Note("FillViewBackground", dc, paint);
    call.Color = color;
    call.Value = int(viewType);
    call.Popup.OpenerRect = viewRect;
    return color != clNone;
}

void TRecordingTheme::DrawButtonFrame(HDC dc, const RECT& r, const TSkinItemDrawInfo& info)
{
    Note("DrawButtonFrame", dc, r).Info = info;
}

void TRecordingTheme::DrawItemText(HDC dc, RECT& r, const TSkinItemDrawInfo& info, const std::wstring& caption,
                                   UINT format, TColor color)
{
    TThemeCall& call = Note("DrawItemText", dc, r, false);
    call.Info = info;
    call.Text = caption;
    call.Format = format;
    call.Color = color;
}

void TRecordingTheme::DrawCheckGlyph(HDC dc, const RECT& r, const TSkinItemDrawInfo& info)
{
    Note("DrawCheckGlyph", dc, r).Info = info;
}

void TRecordingTheme::DrawChevronGlyph(HDC dc, const RECT& r, const TSkinItemDrawInfo& info)
{
    Note("DrawChevronGlyph", dc, r).Info = info;
}

void TRecordingTheme::DrawEditItem(HDC dc, const RECT& r, const TSkinItemDrawInfo& info, const TSkinEditInfo& edit)
{
    TThemeCall& call = Note("DrawEditItem", dc, r);
    call.Info = info;
    call.Edit = edit;
}

void TRecordingTheme::DrawEditButtonPart(HDC dc, const RECT& r, const TSkinItemDrawInfo& info,
                                         const TSkinEditButtonInfo& button)
{
    TThemeCall& call = Note("DrawEditButtonPart", dc, r);
    call.Info = info;
    call.Edit.Button = button;
}

void TRecordingTheme::DrawDockBackground(HDC dc, const RECT& clientRect, const RECT& dockRect, int dockPosition)
{
    TThemeCall& call = Note("DrawDockBackground", dc, clientRect);
    call.Popup.OpenerRect = dockRect;
    call.Value = dockPosition;
}

void TRecordingTheme::DrawPanelFrame(HDC dc, const RECT& r, const TSkinDockPanelInfo&)
{
    Note("DrawPanelFrame", dc, r);
}

void TRecordingTheme::DrawArrowGlyph(HDC dc, const RECT& r, const TSkinItemDrawInfo& info)
{
    Note("DrawArrowGlyph", dc, r).Info = info;
}

void TRecordingTheme::DrawFloatingFrame(HDC dc, const RECT& r, const TSkinFloatingInfo& floating)
{
    Note("DrawFloatingFrame", dc, r).Floating = floating;
}

void TRecordingTheme::DrawEditFieldFrame(HDC dc, const RECT& r, const TSkinItemDrawInfo& info)
{
    Note("DrawEditFieldFrame", dc, r).Info = info;
}

void TRecordingTheme::DrawImageForState(HDC dc, const RECT& r, const TSkinItemDrawInfo& info, TCustomImageList*,
                                        int imageIndex)
{
    TThemeCall& call = Note("DrawImageForState", dc, r);
    call.Info = info;
    call.Value = imageIndex;
}

void TRecordingTheme::DrawCaptionButton(HDC dc, const RECT& r, const TSkinItemDrawInfo& info, int kind)
{
    TThemeCall& call = Note("DrawCaptionButton", dc, r);
    call.Info = info;
    call.Value = kind;
}

void TRecordingTheme::DrawMenuItemFace(HDC dc, const RECT& r, const TSkinItemDrawInfo& info)
{
    Note("DrawMenuItemFace", dc, r).Info = info;
}

void TRecordingTheme::DrawHotBackground(HDC dc, const RECT& r, const TSkinItemDrawInfo& info)
{
    Note("DrawHotBackground", dc, r).Info = info;
}

void TRecordingTheme::DrawArrowButton(HDC dc, const RECT& r, int direction, bool pushed)
{
    TThemeCall& call = Note("DrawArrowButton", dc, r);
    call.Value = direction;
    call.Flag1 = pushed;
}

void TRecordingTheme::DrawPopupFrame(HDC dc, const RECT& r, const TSkinPopupInfo& popup)
{
    Note("DrawPopupFrame", dc, r).Popup = popup;
}

void TRecordingTheme::DrawSeparatorLine(HDC dc, const RECT& r, const TSkinItemDrawInfo& info, bool horizontal,
                                        bool toolbarSeparator)
{
    TThemeCall& call = Note("DrawSeparatorLine", dc, r);
    call.Info = info;
    call.Flag1 = horizontal;
    call.Flag2 = toolbarSeparator;
}

void TRecordingTheme::DrawToolbarFrame(HDC dc, const RECT& r, const TSkinToolbarInfo& toolbar)
{
    Note("DrawToolbarFrame", dc, r).Toolbar = toolbar;
}

void TRecordingTheme::DrawControlGlyph(HDC dc, const RECT& r, int kind, uint32_t state, uint32_t)
{
    TThemeCall& call = Note("DrawControlGlyph", dc, r);
    call.Value = kind;
    call.Format = state;
}

void TRecordingTheme::DrawStatusBarPart(HDC dc, const RECT& r, int part)
{
    Note("DrawStatusBarPart", dc, r).Value = part;
}

int TRecordingTheme::QueryIntegerMetric(int id)
{
    auto found = IntegerMetrics.find(id);
    return found == IntegerMetrics.end() ? -1 : found->second;
}

bool TRecordingTheme::QueryBooleanMetric(int id)
{
    auto found = BooleanMetrics.find(id);
    return found != BooleanMetrics.end() && found->second;
}

TRecordingThemeScope::TRecordingThemeScope()
{
    static bool registered = false;
    if (!registered) {
        RegisterThemeClass(RecordingThemeName, &TRecordingTheme::Create);
        registered = true;
    }
    SelectTheme(RecordingThemeName);
    FTheme = static_cast<TRecordingTheme*>(CurrentTheme());
}

TRecordingThemeScope::~TRecordingThemeScope()
{
    SelectTheme("Default");
}
