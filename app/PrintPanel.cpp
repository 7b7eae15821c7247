#include "app/PrintPanel.h"

#include <algorithm>

#include "app/MainForm.h"
#include "document/SheetfoldProject.h"
#include "platform/Printers.h"
#include "platform/ScopeGuards.h"

SF_IMPLEMENT_ABSTRACT(TPrintPanel, TSheetfoldPanel)

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

TPrintPanel::TPrintPanel(TSheetfoldForm* form) : TSheetfoldPanel(form, 200, "Print")
{
}

TSkinButton* TPrintPanel::AddButton(int tag, int x, int y, int width, int command)
{
    TSkinButton* button = New<TSkinButton>(FForm);
    button->SetTag(tag);
    button->SetCaption(AnsiToWide(InterfaceText(tag, "")));
    button->SetBounds(x, y, width, 24);
    button->SetParent(this);
    button->OnClick = TNotifyEvent([this, command](TObject*) { FForm->ExecuteCommand(command); });
    FForm->BindCommandControl(command, button);
    return button;
}

void TPrintPanel::AddRadioPair(int y, int group, int firstTag, int secondTag, TSkinRadioButton*& first,
                               TSkinRadioButton*& second)
{
    auto add = [this, y, group](int tag, int x, int width) {
        TSkinRadioButton* button = New<TSkinRadioButton>(FForm);
        button->SetTag(tag);
        button->SetGroupIndex(group);
        button->SetCaption(AnsiToWide(InterfaceText(tag, "")));
        button->SetBounds(x, y, width, 19);
        button->SetParent(this);
        return button;
    };
    first = add(firstTag, 8, 95);
    second = add(secondTag, 105, 103);
}

void TPrintPanel::Build()
{
    FPrinterLabel = AddLabel(201, 8, 7, 50);
    FPrinterBox = New<TComboBox>(FForm);
    FPrinterBox->SetStyle(csDropDownList);
    FPrinterBox->SetBounds(60, 4, 148, 200);
    FPrinterBox->SetParent(this);
    FPrinterBox->OnChange = TNotifyEvent([this](TObject*) { ChoosePrinter(); });
    FSetupButton = AddButton(202, 8, 30, 80, cmPrinterSetup);

    TSkinLabel* pageLabel = AddLabel(203, 8, 60, 50);
    TSkinLabel* sizeLabel = AddLabel(204, 60, 60, 36);
    FPageSizeLabel = AddLabel(0, 96, 60, 112, " ");
    FTrial = New<TCheckBox>(FForm);
    FTrial->SetTag(205);
    FTrial->SetCaption(InterfaceText(205, ""));
    FTrial->SetBounds(8, 78, 200, 17);
    FTrial->SetParent(this);
    FTrial->OnClick = TNotifyEvent([this](TObject*) {
        if (!FRefreshing)
            FForm->SetTestPrint(FTrial->GetChecked());
    });

    AddLabel(206, 8, 100, 200);
    AddRadioPair(116, 1, 207, 208, FPortrait, FLandscape);
    FPortrait->OnClick = TNotifyEvent([this](TObject*) { ChooseOrientation(false); });
    FLandscape->OnClick = TNotifyEvent([this](TObject*) { ChooseOrientation(true); });
    AddLabel(209, 8, 142, 200);
    AddRadioPair(158, 2, 210, 211, FAllPages, FCurrentPage);
    FAllPages->SetChecked(true);

    TSkinLabel* copiesLabel = AddLabel(212, 8, 187, 50);
    FCopiesEdit = New<TEdit>(FForm);
    FCopiesEdit->SetBounds(60, 184, 40, 21);
    FCopiesEdit->SetText("1");
    FCopiesEdit->SetParent(this);
    TUpDown* copiesUpDown = New<TUpDown>(FForm);
    copiesUpDown->SetBounds(100, 184, 16, 21);
    copiesUpDown->SetMin(1);
    copiesUpDown->SetMax(99);
    copiesUpDown->SetParent(this);
    copiesUpDown->SetAssociate(FCopiesEdit);
    copiesUpDown->SetPosition(1);
    FPrintButton = AddButton(213, 8, 212, 80, cmPrint);
    for (TComponent* c : std::initializer_list<TComponent*>{FAllPages, FCurrentPage, copiesLabel, FCopiesEdit,
                                                            copiesUpDown})
        FForm->BindCommandControl(cmPrint, c);
    FRows = {{RowOf({FPrinterLabel, FPrinterBox}), true},       {RowOf({FSetupButton}), false},
             {RowOf({pageLabel, sizeLabel, FPageSizeLabel}), true}, {RowOf({FTrial}), false},
             {RowOf({FPortrait, FLandscape}), false},              {RowOf({FAllPages, FCurrentPage}), false},
             {RowOf({copiesLabel, FCopiesEdit, copiesUpDown}), false}, {RowOf({FPrintButton}), false}};
}

void TPrintPanel::ArrangeForTexts()
{
    for (const auto& [row, lastStretches] : FRows)
        ArrangeRow(row, lastStretches);
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
    FPageSizeLabel->SetCaption(AnsiToWide(FForm->FormatLength(paper.right - paper.left) + " x " +
                                          FForm->FormatLength(paper.bottom - paper.top) + " " +
                                          FForm->GetUnitSuffix()));
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
    TSkinRadioButton* button = landscape ? FLandscape : FPortrait;
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
