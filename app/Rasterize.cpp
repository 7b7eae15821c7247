#include "app/Rasterize.h"

#include "app/SfLanguage1.h"
#include "platform/Dialogs.h"
#include "platform/SysUtils.h"

namespace {

constexpr int64_t HundredthsMmPerInch = 2540;
// No search for a cap goes beyond this: a picture small enough to allow more needs no more.
constexpr int ResolutionCeiling = 100000;

int64_t PixelsAt(LONG hundredthsMm, int resolution)
{
    int64_t length = hundredthsMm > 0 ? hundredthsMm : 1;
    int64_t pixels = (length * resolution + HundredthsMmPerInch / 2) / HundredthsMmPerInch;
    return pixels > 0 ? pixels : 1;
}

}  // namespace

int64_t RasterBytes(SIZE extent, int resolution)
{
    int64_t stride = (PixelsAt(extent.cx, resolution) * 3 + 3) / 4 * 4;
    return stride * PixelsAt(extent.cy, resolution);
}

int MaxResolutionForExtent(SIZE extent)
{
    int low = 1;
    int high = ResolutionCeiling;
    while (low < high) {
        int middle = low + (high - low + 1) / 2;
        if (RasterBytes(extent, middle) <= MaxRasterBytes)
            low = middle;
        else
            high = middle - 1;
    }
    return low;
}

bool ParseResolution(const std::string& text, int& resolution)
{
    int value = 0;
    if (!TryStrToInt(text, value) || value < 1)
        return false;
    resolution = value;
    return true;
}

std::string BadResolutionText()
{
    return ConstText(20, "The resolution value is incorrect.  It has to be a positive value above 0.");
}

std::string RasterizationCaption()
{
    return ConstText(17, "Rasterization");
}

std::string ResolutionRefusal(std::optional<int> typed, int maxResolution)
{
    if (!typed)
        return BadResolutionText();
    if (*typed <= maxResolution)
        return {};
    // Key 22 is not among the keys every language file shares, so English is its default; a
    // language file may still carry it.
    return Format(ConstText(22, "The resolution is too high for this page.  The largest resolution it allows is %d dpi."),
                  {TFormatArg(maxResolution)});
}

// TRasterizeForm

SF_IMPLEMENT_COMPONENT(TRasterizeForm, TForm)

namespace {

template <class T>
T* AddControl(TWinControl* parent, int left, int top, int width, int height)
{
    T* control = New<T>(parent);
    control->SetBounds(left, top, width, height);
    control->SetParent(parent);
    return control;
}

}  // namespace

TRasterizeForm::TRasterizeForm(TComponent* owner) : TForm(owner)
{
    SetBorderStyle(bsDialog);
    SetPosition(poMainFormCenter);
    SetTag(8101);
    SetCaption("Rasterize");
    SetClientWidth(292);
    SetClientHeight(88);

    FPromptLabel = AddControl<TLabel>(this, 8, 18, 170, 17);
    FPromptLabel->SetAutoSize(false);
    FPromptLabel->SetAlignment(taRightJustify);
    FPromptLabel->SetTag(8102);
    FPromptLabel->SetCaption("Rasterize at this resolution:");

    FDPIComboBox = AddControl<TComboBox>(this, 184, 14, 64, 21);
    FDPIComboBox->SetName("DPIComboBox");
    for (const char* item : {"100", "150", "300", "600"})
        FDPIComboBox->GetItems()->Add(item);
    FDPIComboBox->SetTabOrder(0);

    FUnitLabel = AddControl<TLabel>(this, 254, 18, 30, 17);
    FUnitLabel->SetCaption("DPI");

    FOkButton = AddControl<TButton>(this, 64, 52, 75, 25);
    FOkButton->SetTag(8103);
    FOkButton->SetCaption("Ok");
    FOkButton->SetDefault(true);
    FOkButton->SetModalResult(mrOk);

    FCancelButton = AddControl<TButton>(this, 152, 52, 75, 25);
    FCancelButton->SetTag(8104);
    FCancelButton->SetCaption("Cancel");
    FCancelButton->SetCancel(true);
    FCancelButton->SetModalResult(mrCancel);
}

void TRasterizeForm::AfterConstruction()
{
    TForm::AfterConstruction();
    TSfLanguage::Instance()->ApplyToTree(this, "Interface");
}

void TRasterizeForm::DoShow()
{
    if (FResolution < 1)
        FResolution = 100;
    FDPIComboBox->SetText(IntToStr(FResolution));
    TForm::DoShow();
}

bool TRasterizeForm::CloseQuery()
{
    // Only OK asks for a valid entry: whoever cancels must always get out.
    if (GetModalResult() != mrOk)
        return TForm::CloseQuery();
    int value = 0;
    const bool readable = ParseResolution(FDPIComboBox->GetText(), value);
    if (std::string refusal = ResolutionRefusal(readable ? std::optional(value) : std::nullopt, FMaxResolution);
        !refusal.empty()) {
        MessageDlg(refusal, RasterizationCaption(), MB_ICONERROR, GetHandle());
        FDPIComboBox->SetFocus();
        return false;
    }
    if (!TForm::CloseQuery())
        return false;
    FResolution = value;
    return true;
}
