#include "app/SheetfoldAboutForm.h"

#include <shellapi.h>

#include <algorithm>
#include <cmath>

#include "app/SfLanguage1.h"
#include "platform/ScopeGuards.h"

std::string LinkHost(const std::string& address)
{
    const char* separators = "/:\"'";
    size_t colon = address.find(':');
    size_t start = colon == std::string::npos ? 0 : colon + 1;
    start = address.find_first_not_of(separators, start);
    if (start == std::string::npos)
        return {};
    size_t end = address.find_first_of(separators, start);
    return address.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

// TILLogoBackground

SF_IMPLEMENT_COMPONENT(TILLogoBackground, TCustomControl)

TILLogoBackground::TILLogoBackground(TComponent* owner) : TCustomControl(owner)
{
}

TILLogoBackground::~TILLogoBackground()
{
    IL_FreeBitmap(&FBitmap);
}

bool TILLogoBackground::LoadFromResource(const std::string& name)
{
    IL_FreeBitmap(&FBitmap);
    FBitmap = TILBitmapHandle{};
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC resource = FindResourceA(module, name.c_str(), MAKEINTRESOURCEA(10));
    HGLOBAL data = resource ? LoadResource(module, resource) : nullptr;
    const void* bytes = data ? LockResource(data) : nullptr;
    if (!bytes)
        return false;
    FBitmap.StructSize = sizeof(FBitmap);
    int32_t result = IL_LoadBitmapMemory(bytes, &FBitmap, 24, 1, SizeofResource(module, resource), nullptr, nullptr);
    if (result != IL_SUCCESS) {
        FBitmap = TILBitmapHandle{};
        return false;
    }
    Invalidate();
    return true;
}

void TILLogoBackground::Dispatch(TMessage& message)
{
    if (message.Msg == WM_ERASEBKGND) {
        message.Result = 1;
        return;
    }
    TCustomControl::Dispatch(message);
}

void TILLogoBackground::Paint()
{
    RECT client = GetClientRect();
    if (FBitmap.Pixels) {
        IL_PaintDC(GetPaintDC(), &FBitmap, nullptr, nullptr, &client, nullptr, SRCCOPY);
        return;
    }
    GetCanvas()->GetBrush()->SetColor(GetColor());
    GetCanvas()->FillRect(client);
}

// TAboutForm

SF_IMPLEMENT_COMPONENT(TAboutForm, TForm)

namespace {

enum TAboutFlag : unsigned { afBold = 1, afLink = 2, afAfterPrevious = 4, afRight = 8, afColon = 16, afWrap = 32 };

struct TAboutRow {
    std::string Text;
    unsigned Flags;
    int Left, Top, Width, Height;
    double LineFactor;
};

}  // namespace

TAboutForm::TAboutForm(TComponent* owner) : TForm(owner)
{
    SetBorderStyle(bsDialog);
    SetPosition(poOwnerFormCenter);
    SetKeyPreview(true);
    SetTag(2000);
    SetClientWidth(486);
    SetClientHeight(300);
    SetCaption(InterfaceText(2000, "About"));

    FLogo = New<TILLogoBackground>(this);
    FLogo->SetName("Logo");
    FLogo->LoadFromResource("LOGO");
    FLogo->SetBoundsRect(GetClientRect());
    FLogo->SetAlign(alClient);
    FLogo->SetParent(this);
    LayoutTexts();
}

void TAboutForm::LayoutTexts()
{
    const TAboutRow rows[] = {
        {"version", afBold, 16, 75, 0, 0, 0},
        {Version, afBold | afAfterPrevious, 0, 0, 0, 0, 0},
        {"Web", afColon | afRight, 16, 126, 75, 0, 0},
        {WebAddress, afLink | afAfterPrevious, 0, 0, 0, 0, 0},
        {"Support", afColon | afRight, 0, 0, 75, 0, 0.5},
        {SupportAddress, afLink | afAfterPrevious, 0, 0, 0, 0, 0},
    };
    int controlWidth = FLogo->GetWidth();
    int logoWidth = FLogo->GetLogoWidth() > 0 ? FLogo->GetLogoWidth() : controlWidth;
    auto scale = [&](int v) { return MulDiv(v, controlWidth, logoWidth); };

    RECT line{0, 0, 0, 0};
    int lineHeight = 0, externalLeading = 0, averageCharWidth = 0;
    bool first = true;
    for (const TAboutRow& row : rows) {
        TLabel* label = New<TLabel>(this);
        label->SetTransparent(true);
        label->SetParent(FLogo);
        if (row.Flags & afBold)
            label->GetFont()->SetStyle(label->GetFont()->GetStyle() + fsBold);
        if (first) {
            TEXTMETRICA metrics{};
            {
                TWindowDC screen;
                TSelectGuard font(screen.Get(), label->GetFont()->GetHandle());
                GetTextMetricsA(screen.Get(), &metrics);
            }
            lineHeight = metrics.tmHeight + metrics.tmExternalLeading;
            externalLeading = metrics.tmExternalLeading;
            averageCharWidth = metrics.tmAveCharWidth;
            first = false;
        }
        line.bottom += static_cast<LONG>(std::lround(lineHeight * row.LineFactor));

        std::string caption = row.Text;
        if (row.Flags & afLink) {
            label->GetFont()->SetStyle(label->GetFont()->GetStyle() + fsUnderline);
            label->GetFont()->SetColor(static_cast<TColor>(0xFF0000));
            label->SetCursor(crHandPoint);
            label->SetHint(row.Text);
            label->SetShowHint(true);
            label->OnClick = TNotifyEvent(this, &TAboutForm::LinkClick);
            caption = LinkHost(row.Text);
        }
        if (row.Flags & afWrap)
            label->SetWordWrap(true);
        if (row.Flags & afRight)
            label->SetAlignment(taRightJustify);
        if (row.Flags & afColon)
            caption += ":";
        label->SetCaption(caption);

        int left, top;
        if (row.Flags & afAfterPrevious) {
            left = line.right + averageCharWidth;
            top = line.top;
        } else {
            left = row.Left ? scale(row.Left) : line.left;
            top = row.Top ? scale(row.Top) : 2 * externalLeading + line.bottom;
        }
        int width = label->GetWidth();
        int height = label->GetHeight();
        if (row.Width || row.Height) {
            label->SetAutoSize(false);
            if (row.Width)
                width = scale(row.Width);
            if (row.Height)
                height = scale(row.Height);
        }
        label->SetBounds(left, top, width, height);

        RECT bounds = label->GetBoundsRect();
        if (row.Flags & afAfterPrevious)
            line = RECT{std::min(line.left, bounds.left), std::min(line.top, bounds.top),
                        std::max(line.right, bounds.right), std::max(line.bottom, bounds.bottom)};
        else
            line = bounds;
        // Drawn on the screen, a text can run past the extent measured for it, by some pixels in a
        // hundred (the glyphs are placed unhinted there): a link sized to its text gets room for
        // that, at least a character's. Nothing follows a link in its row.
        if (row.Flags & afLink) {
            label->SetAutoSize(false);
            label->SetWidth(width + std::max(averageCharWidth, width / 10));
        }
    }
}

void TAboutForm::LinkClick(TObject* sender)
{
    if (auto* label = dynamic_cast<TLabel*>(sender))
        ShellExecuteA(GetHandle(), "open", label->GetHint().c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void TAboutForm::KeyDown(WORD& key, TShiftState shift)
{
    if (key == VK_ESCAPE || key == VK_RETURN) {
        key = 0;
        Close();
        return;
    }
    TForm::KeyDown(key, shift);
}
