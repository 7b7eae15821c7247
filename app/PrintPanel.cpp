#include "app/PrintPanel.h"

#include <algorithm>

#include "app/MainForm.h"
#include "document/SheetfoldProject.h"
#include "platform/Printers.h"
#include "platform/ScopeGuards.h"

SF_IMPLEMENT_ABSTRACT(TPrintPanel, TPanel)

namespace {

bool SamePaper(const TPaper* paper, const TSheetfoldPage* page)
{
    RECT a = paper->GetPaperRect();
    RECT b = page->GetPaperRect();
    RECT c = paper->GetPrintableRect();
    RECT d = page->GetPrintableRect();
    return EqualRect(&a, &b) && EqualRect(&c, &d);
}

} // namespace

TPrintPanel::TPrintPanel(TSheetfoldForm* form) : TPanel(form), FForm(form)
{
    SetTag(200);
}

void TPrintPanel::AfterConstruction()
{
    TPanel::AfterConstruction();
    SetBevelOuter(bvNone);
    Build();
}

TLabel* TPrintPanel::AddLabel(int tag, int x, int y, const std::string& caption)
{
    TLabel* label = New<TLabel>(FForm);
    label->SetTag(tag);
    label->SetAutoSize(true);
    label->SetCaption(caption.empty() && tag > 0 ? InterfaceText(tag, "") : caption);
    label->SetLeft(x);
    label->SetTop(y);
    label->SetParent(this);
    return label;
}

void TPrintPanel::AddRadioPair(int y, int firstTag, int secondTag, TRadioButton*& first, TRadioButton*& second)
{
    TPanel* group = New<TPanel>(FForm);
    group->SetBevelOuter(bvNone);
    group->SetBounds(8, y, 200, 20);
    group->SetParent(this);
    auto add = [this, group](int tag, int x, int width) {
        TRadioButton* button = New<TRadioButton>(FForm);
        button->SetTag(tag);
        button->SetCaption(InterfaceText(tag, ""));
        button->SetBounds(x, 1, width, 17);
        button->SetParent(group);
        return button;
    };
    first = add(firstTag, 0, 95);
    second = add(secondTag, 97, 103);
}

void TPrintPanel::Build()
{
    TLabel* title = AddLabel(200, 8, 4);
    title->GetFont()->SetStyle(TFontStyles{fsBold});

    FPrinterLabel = AddLabel(201, 8, 27);
    FPrinterBox = New<TComboBox>(FForm);
    FPrinterBox->SetStyle(csDropDownList);
    FPrinterBox->SetBounds(60, 24, 148, 200);
    FPrinterBox->SetParent(this);
    FPrinterBox->OnChange = TNotifyEvent([this](TObject*) { ChoosePrinter(); });
    FSetupButton = New<TButton>(FForm);
    FSetupButton->SetTag(202);
    FSetupButton->SetCaption(InterfaceText(202, ""));
    FSetupButton->SetBounds(8, 50, 80, 22);
    FSetupButton->SetParent(this);
    FSetupButton->OnClick = TNotifyEvent([this](TObject*) { FForm->ExecuteCommand(cmPrinterSetup); });
    FForm->BindCommandControl(cmPrinterSetup, FSetupButton);

    AddLabel(203, 8, 80);
    AddLabel(204, 60, 80);
    FPageSizeLabel = AddLabel(0, 96, 80, " ");
    FTrial = New<TCheckBox>(FForm);
    FTrial->SetTag(205);
    FTrial->SetCaption(InterfaceText(205, ""));
    FTrial->SetBounds(8, 98, 200, 17);
    FTrial->SetParent(this);
    FTrial->OnClick = TNotifyEvent([this](TObject*) {
        if (!FRefreshing)
            FForm->SetTestPrint(FTrial->GetChecked());
    });

    AddLabel(206, 8, 120);
    AddRadioPair(136, 207, 208, FPortrait, FLandscape);
    FPortrait->OnClick = TNotifyEvent([this](TObject*) { ChooseOrientation(false); });
    FLandscape->OnClick = TNotifyEvent([this](TObject*) { ChooseOrientation(true); });
    AddLabel(209, 8, 162);
    AddRadioPair(178, 210, 211, FAllPages, FCurrentPage);
    FAllPages->SetChecked(true);

    TLabel* copiesLabel = AddLabel(212, 8, 207);
    FCopiesEdit = New<TEdit>(FForm);
    FCopiesEdit->SetBounds(60, 204, 40, 21);
    FCopiesEdit->SetText("1");
    FCopiesEdit->SetParent(this);
    TUpDown* copiesUpDown = New<TUpDown>(FForm);
    copiesUpDown->SetBounds(100, 204, 16, 21);
    copiesUpDown->SetMin(1);
    copiesUpDown->SetMax(99);
    copiesUpDown->SetParent(this);
    copiesUpDown->SetAssociate(FCopiesEdit);
    copiesUpDown->SetPosition(1);
    FPrintButton = New<TButton>(FForm);
    FPrintButton->SetTag(213);
    FPrintButton->SetCaption(InterfaceText(213, ""));
    FPrintButton->SetBounds(8, 232, 80, 24);
    FPrintButton->SetParent(this);
    FPrintButton->OnClick = TNotifyEvent([this](TObject*) { FForm->ExecuteCommand(cmPrint); });
    for (TComponent* c : std::initializer_list<TComponent*>{FAllPages, FCurrentPage, copiesLabel, FCopiesEdit,
                                                            copiesUpDown, FPrintButton})
        FForm->BindCommandControl(cmPrint, c);
}

int TPrintPanel::DesignMinHeight() const
{
    return FPrintButton->GetTop() + FPrintButton->GetHeight() + FPrinterLabel->GetTop();
}

int TPrintPanel::GetCopies() const
{
    return std::clamp(StrToInt(Trim(FCopiesEdit->GetText())), 1, 99);
}

void TPrintPanel::ShowPrinters()
{
    if (!FForm->HasPrinter())
        return;
    TCountScope refreshing(FRefreshing);
    TStrings* items = FPrinterBox->GetItems();
    items->Clear();
    for (const std::string& name : Printer()->GetPrinters())
        items->Add(name);
    FPrinterBox->SetItemIndex(Printer()->GetPrinterIndex());
}

void TPrintPanel::ShowPage(TSheetfoldPage* page)
{
    TCountScope refreshing(FRefreshing);
    FLandscape->SetChecked(page->GetLandscape());
    FPortrait->SetChecked(!page->GetLandscape());
    if (FForm->HasPrinter()) {
        TPrintHelper* helper = FForm->GetPrintHelper();
        helper->SetOrientation(page->GetLandscape() ? TPrinterOrientation::poLandscape : TPrinterOrientation::poPortrait);
        TPaper* paper = helper->GetPrinterPaper();
        // Taking the same paper again would mark an unchanged project modified.
        if (paper && !SamePaper(paper, page))
            page->SetPaper(paper);
    }
    RefreshPageSizeLabel();
    FTrial->SetChecked(page->GetTestPrint());
}

void TPrintPanel::RefreshPageSizeLabel()
{
    TSheetfoldPage* page = FForm->GetCurrentPage();
    if (!page)
        return;
    RECT paper = page->GetPaperRect();
    FPageSizeLabel->SetCaption(FForm->FormatLength(paper.right - paper.left) + " x " +
                               FForm->FormatLength(paper.bottom - paper.top) + " " + FForm->GetUnitSuffix());
}

void TPrintPanel::ChoosePrinter()
{
    if (FRefreshing || FPrinterBox->GetItemIndex() < 0)
        return;
    Printer()->SetPrinterIndex(FPrinterBox->GetItemIndex());
    FForm->PagesChanged();
}

// Only the click that checks a button turns the page; the one that unchecks its partner does not.
void TPrintPanel::ChooseOrientation(bool landscape)
{
    TRadioButton* button = landscape ? FLandscape : FPortrait;
    if (FRefreshing || !button->GetChecked())
        return;
    if (FForm->HasPrinter()) {
        TPrintHelper* helper = FForm->GetPrintHelper();
        helper->SetOrientation(landscape ? TPrinterOrientation::poLandscape : TPrinterOrientation::poPortrait);
        landscape = helper->GetOrientation() == TPrinterOrientation::poLandscape;
    }
    FForm->SetLandscape(landscape);
    FForm->ApplyZoom();
}
