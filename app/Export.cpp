#include "app/Export.h"

#include <memory>

#include "app/SfLanguage1.h"
#include "platform/Dialogs.h"
#include "platform/SysUtils.h"
#include "unicode/UniSystem.h"

bool ParseExportResolution(const std::string& text, int& resolution)
{
    std::string number = Trim(text);
    if (number.size() >= 3 && SameText(number.substr(number.size() - 3), "dpi"))
        number = TrimRight(number.substr(0, number.size() - 3));
    return ParseResolution(number, resolution);
}

SF_IMPLEMENT_COMPONENT(TExportForm, TForm)

TExportForm::TExportForm(TComponent* owner) : TForm(owner)
{
    SetBorderStyle(bsDialog);
    SetPosition(poMainFormCenter);
    SetCaption("Export");
    SetClientWidth(232);
    SetClientHeight(104);

    // The panel's margins frame the controls, which sit inside them.
    FPanel = New<TSkinAlignmentPanel>(this);
    FPanel->GetMargins()->SetLeft(8);
    FPanel->GetMargins()->SetTop(8);
    FPanel->GetMargins()->SetRight(8);
    FPanel->GetMargins()->SetBottom(8);
    FPanel->SetAlign(alClient);
    FPanel->SetParent(this);

    FPromptLabel = New<TSkinLabel>(this);
    FPromptLabel->SetBounds(8, 8, 216, 17);
    FPromptLabel->SetCaption(L"Select export resolution:");
    FPromptLabel->SetParent(FPanel);

    FResolutionComboBox = New<TUniComboBox>(this);
    FResolutionComboBox->SetName("ResolutionComboBox");
    FResolutionComboBox->SetBounds(8, 30, 216, 21);
    FResolutionComboBox->SetParent(FPanel);
    for (const wchar_t* item : {L"100 dpi", L"150 dpi", L"300 dpi", L"600 dpi"})
        FResolutionComboBox->GetItems()->Add(item);
    FResolutionComboBox->SetItemIndex(0);
    FResolutionComboBox->SetTabOrder(0);

    FOkButton = New<TUniButton>(this);
    FOkButton->SetBounds(40, 66, 75, 25);
    FOkButton->SetCaption(L"OK");
    FOkButton->SetDefault(true);
    FOkButton->SetModalResult(mrOk);
    FOkButton->SetParent(FPanel);

    FCancelButton = New<TUniButton>(this);
    FCancelButton->SetBounds(124, 66, 75, 25);
    FCancelButton->SetCaption(L"Cancel");
    FCancelButton->SetCancel(true);
    FCancelButton->SetModalResult(mrCancel);
    FCancelButton->SetParent(FPanel);
}

bool TExportForm::CloseQuery()
{
    // Only OK asks for a valid entry: whoever cancels must always get out.
    if (GetModalResult() != mrOk)
        return TForm::CloseQuery();
    int value = 0;
    // A typed letter outside the system's code page can only make the entry invalid.
    const bool readable = ParseExportResolution(NarrowText(FResolutionComboBox->GetText()), value);
    if (std::string refusal = ResolutionRefusal(readable ? std::optional(value) : std::nullopt, FMaxResolution);
        !refusal.empty()) {
        MessageDlg(refusal, RasterizationCaption(), MB_ICONERROR, GetHandle());
        FResolutionComboBox->SetFocus();
        return false;
    }
    if (!TForm::CloseQuery())
        return false;
    FResolution = value;
    return true;
}

bool ExecuteExport(int& resolution, int maxResolution)
{
    std::unique_ptr<TExportForm, TObjectFree> form(New<TExportForm>(Application));
    form->SetMaxResolution(maxResolution);
    form->SetCaption(InterfaceText(8101, "Rasterize"));
    // The language's texts are in the system's code page.
    form->GetPromptLabel()->SetCaption(WidenText(InterfaceText(8102, "Rasterize at this resolution:")));
    form->GetOkButton()->SetCaption(WidenText(InterfaceText(8103, "Ok")));
    form->GetCancelButton()->SetCaption(WidenText(InterfaceText(8104, "Cancel")));
    if (form->ShowModal() != mrOk)
        return false;
    resolution = form->GetResolution();
    return true;
}
