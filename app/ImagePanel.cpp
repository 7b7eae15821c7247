#include "app/ImagePanel.h"

#include <algorithm>
#include <utility>

#include "app/MainForm.h"
#include "document/Layer.h"
#include "document/LayerImage.h"
#include "document/SheetfoldProject.h"
#include "platform/ScopeGuards.h"

SF_IMPLEMENT_ABSTRACT(TImagePanel, TSheetfoldPanel)

namespace {

std::wstring PixelsPerInchText(POINT resolution)
{
    return std::to_wstring(resolution.x) + L" x " + std::to_wstring(resolution.y) + L" dpi";
}

} // namespace

TImagePanel::TImagePanel(TSheetfoldForm* form) : TSheetfoldPanel(form, 100, "Image")
{
}

TCheckBox* TImagePanel::AddFlagBox(int tag, int x, int y, std::function<void(bool)> apply)
{
    TCheckBox* box = New<TCheckBox>(FForm);
    box->SetTag(tag);
    box->SetCaption(InterfaceText(tag, ""));
    box->SetBounds(x, y, 200, 17);
    box->SetParent(this);
    // Checking the box while the panel is filled must not write the shown value back.
    box->OnClick = TNotifyEvent([this, box, apply = std::move(apply)](TObject*) {
        if (!FRefreshing)
            apply(box->GetChecked());
    });
    return box;
}

TImagePanel::TBoundEdit* TImagePanel::Bind(TWinControl* control, std::function<std::string()> text,
                                           std::function<void(const std::string&)> commit)
{
    FEdits.push_back(std::make_unique<TBoundEdit>(TBoundEdit{control, std::move(text), std::move(commit)}));
    return FEdits.back().get();
}

void TImagePanel::HandleEdits(TBoundEdit* bound, TKeyPressEvent& keyPress, TNotifyEvent& change, TNotifyEvent& exit)
{
    keyPress = TKeyPressEvent([this, bound](TObject*, char& key) { KeyPress(bound, key); });
    change = TNotifyEvent([this, bound](TObject*) { Changed(bound); });
    exit = TNotifyEvent([this, bound](TObject*) { Exited(bound); });
}

TEdit* TImagePanel::AddLengthEdit(int labelTag, int x, int y, std::function<int(const TLayerElement*)> value,
                                  void (TSheetfoldForm::*commit)(const std::string&))
{
    TSkinLabel* label = AddLabel(labelTag, x, y + 2, 42);
    TEdit* edit = New<TEdit>(FForm);
    edit->SetBounds(x + 42, y, 40, 21);
    edit->SetParent(this);
    TBoundEdit* bound = Bind(edit, [edit] { return edit->GetText(); },
                             [this, commit](const std::string& text) { (FForm->*commit)(text); });
    HandleEdits(bound, edit->OnKeyPress, edit->OnChange, edit->OnExit);
    TUpDown* upDown = New<TUpDown>(FForm);
    upDown->SetBounds(x + 82, y, 16, 21);
    upDown->SetMin(-32000);
    upDown->SetMax(32000);
    upDown->SetParent(this);
    // The up-down only nudges: its own position stays where it is.
    upDown->OnChanging = TUDChangingEvent([](TObject*, bool& allow) { allow = false; });
    upDown->OnClick = TUDClickEvent([this, edit, bound, value = std::move(value)](TObject*, TUDBtnType button) {
        int step = FForm->GetUpDownStep();
        Nudge(edit, bound, value, button == btNext ? step : -step);
    });
    FPositionGroup.insert(FPositionGroup.end(), {label, edit, upDown});
    FLengthEdits.push_back({label, edit, upDown});
    return edit;
}

TSkinButton* TImagePanel::AddAlignmentButton(int tag, TTextAlignment alignment, int x, const wchar_t* caption)
{
    TSkinButton* button = New<TSkinButton>(FForm);
    button->SetTag(tag);
    button->SetGroupIndex(1);
    button->SetShowHint(true);
    button->SetCaption(caption);
    button->SetBounds(x, 304, 22, 22);
    button->SetParent(this);
    button->OnClick = TNotifyEvent([this, alignment](TObject*) {
        if (!FRefreshing)
            FForm->SetTextAlignment(alignment);
    });
    FAlignButtons[alignment] = button;
    return button;
}

void TImagePanel::Build()
{
    FActiveLabel = AddLabel(101, 8, 7, 50);
    FNameBox = New<TComboBox>(FForm);
    FNameBox->SetBounds(60, 4, 148, 200);
    FNameBox->SetParent(this);
    FNameBox->OnDropDown = TNotifyEvent([this](TObject*) { FillNameList(); });
    FNameBox->OnSelect = TNotifyEvent([this](TObject*) { SelectNamed(); });
    TBoundEdit* name = Bind(FNameBox, [this] { return FNameBox->GetText(); },
                            [this](const std::string& text) { FForm->SetSelectionName(text); });
    HandleEdits(name, FNameBox->OnKeyPress, FNameBox->OnChange, FNameBox->OnExit);

    AddLabel(102, 8, 32, 200);
    using TForm_ = TSheetfoldForm;
    FLeftEdit = AddLengthEdit(104, 8, 48, [](const TLayerElement* e) { return e->GetLeft(); }, &TForm_::SetLeftText);
    FTopEdit = AddLengthEdit(103, 112, 48, [](const TLayerElement* e) { return e->GetTop(); }, &TForm_::SetTopText);
    FWidthEdit = AddLengthEdit(106, 8, 74, [](const TLayerElement* e) { return e->GetWidth(); }, &TForm_::SetWidthText);
    FHeightEdit =
        AddLengthEdit(105, 112, 74, [](const TLayerElement* e) { return e->GetHeight(); }, &TForm_::SetHeightText);

    FCenterHorz = AddFlagBox(108, 8, 102, [this](bool on) { FForm->SetHorzCenter(on); });
    FCenterVert = AddFlagBox(107, 8, 120, [this](bool on) { FForm->SetVertCenter(on); });
    FFitToPage = AddFlagBox(109, 8, 138, [this](bool on) { FForm->SetFitToPage(on); });
    FPositionGroup.insert(FPositionGroup.end(), {FCenterHorz, FCenterVert, FFitToPage});

    TSkinLabel* unitsLabel = AddLabel(111, 8, 160, 50);
    auto unitButton = [this](int tag, int x, int width) {
        TSkinRadioButton* button = New<TSkinRadioButton>(FForm);
        button->SetTag(tag);
        button->SetGroupIndex(1);
        button->SetCaption(AnsiToWide(InterfaceText(tag, "")));
        button->SetBounds(x, 158, width, 19);
        button->SetParent(this);
        return button;
    };
    FMillimeters = unitButton(112, 60, 78);
    FInches = unitButton(113, 140, 70);
    // Checked before it is bound: the form starts in millimetres and has nothing to change.
    FMillimeters->SetChecked(true);
    for (auto [button, inches] : {std::pair{FMillimeters, false}, std::pair{FInches, true}}) {
        button->OnClick = TNotifyEvent([this, button, inches](TObject*) {
            if (!FRefreshing && button->GetChecked())
                FForm->ChangeUnits(inches);
        });
    }

    FKeepRatio = AddFlagBox(110, 8, 182, [this](bool on) { FForm->SetKeepRatio(on); });
    FSizeLabel = AddLabel(120, 8, 204, 100);
    FSizeValue = AddLabel(0, 110, 204, 100, " ");
    FResolutionLabel = AddLabel(121, 8, 220, 100);
    FResolutionValue = AddLabel(0, 110, 220, 100, " ");
    FCurrentResolutionLabel = AddLabel(122, 8, 236, 100);
    FCurrentResolutionValue = AddLabel(0, 110, 236, 100, " ");
    FToSource = New<TSkinButton>(FForm);
    FToSource->SetTag(123);
    FToSource->SetCaption(AnsiToWide(InterfaceText(123, "")));
    FToSource->SetBounds(8, 254, 90, 22);
    FToSource->SetParent(this);
    FToSource->OnClick = TNotifyEvent([this](TObject*) { ToSource(); });
    FTitleVisible = AddFlagBox(119, 8, 282, [this](bool on) { FForm->SetCaptionVisible(on); });

    FTitleLabel = AddLabel(114, 8, 308, 120);
    AddAlignmentButton(115, txLeft, 140, L"L");
    AddAlignmentButton(116, txCenter, 162, L"C");
    AddAlignmentButton(117, txRight, 184, L"R");
    FFontButton = New<TSkinButton>(FForm);
    FFontButton->SetTag(118);
    FFontButton->SetCaption(AnsiToWide(InterfaceText(118, "")));
    FFontButton->SetBounds(8, 332, 70, 22);
    FFontButton->SetParent(this);
    FFontButton->OnClick = TNotifyEvent([this](TObject*) { ChooseElementFont(); });
    FFontNameLabel = AddLabel(0, 84, 336, 124, " ");
    FTextMemo = New<TMemo>(FForm);
    FTextMemo->SetBounds(8, 358, 200, 56);
    FTextMemo->SetScrollBars(ssVertical);
    FTextMemo->SetParent(this);
    TBoundEdit* memo = Bind(FTextMemo, [this] { return FTextMemo->GetText(); }, [this](const std::string& text) {
        // The memo holds a text's own text, or an image's title.
        if (Is<TLayerText>(FForm->GetFirstSelected()))
            FForm->SetElementText(text);
        else
            FForm->SetCaptionText(text);
    });
    HandleEdits(memo, FTextMemo->OnKeyPress, FTextMemo->OnChange, FTextMemo->OnExit);
    FTextRowPlaces = TTextRowPlaces{FTitleLabel->GetTop(), FAlignButtons[txLeft]->GetTop(), FFontButton->GetTop(),
                                    FFontNameLabel->GetTop(), FTextMemo->GetTop(), FTextMemo->GetHeight()};

    FRows = {{RowOf({FActiveLabel, FNameBox}), true},
             {RowOf({unitsLabel, FMillimeters, FInches}), false},
             {RowOf({FToSource}), false},
             {RowOf({FTitleLabel, FAlignButtons[txLeft], FAlignButtons[txCenter], FAlignButtons[txRight]}), false},
             {RowOf({FFontButton, FFontNameLabel}), true}};
    FValueColumnLeft = FSizeValue->GetLeft();
    FValueColumnRight = FSizeValue->GetLeft() + FSizeValue->GetWidth();

    FElementGroup = {FTitleVisible,        FTextMemo,  FFontNameLabel,   FFontButton,
                     FAlignButtons[0],     FAlignButtons[1], FAlignButtons[2], FSizeLabel,
                     FSizeValue,           FResolutionLabel, FResolutionValue, FCurrentResolutionLabel,
                     FCurrentResolutionValue, FToSource, FKeepRatio};
}

int TImagePanel::DesignWidth() const
{
    return ContentRight() + FActiveLabel->GetLeft();
}

void TImagePanel::ArrangeForTexts()
{
    for (const auto& [row, lastStretches] : FRows)
        ArrangeRow(row, lastStretches);
    ArrangeLengthEdits();
    ArrangeValueColumn();
}

void TImagePanel::ArrangeLengthEdits()
{
    // The edit's borders and its margins beside the text.
    constexpr int EditFrame = 14;
    constexpr int ColumnGap = 4;
    const int editWidth = TextWidth(FLeftEdit, L"0000.00") + EditFrame;
    int left = FActiveLabel->GetLeft();
    // Left and Width share the first column, Top and Height the second.
    for (size_t column = 0; column < 2; ++column) {
        int labelWidth = 0;
        for (size_t row = column; row < FLengthEdits.size(); row += 2)
            labelWidth = std::max(labelWidth, CaptionWidth(FLengthEdits[row][0]));
        int right = left;
        for (size_t row = column; row < FLengthEdits.size(); row += 2) {
            auto [label, edit, upDown] = FLengthEdits[row];
            label->SetBounds(left, label->GetTop(), labelWidth, label->GetHeight());
            edit->SetBounds(left + labelWidth, edit->GetTop(), editWidth, edit->GetHeight());
            upDown->SetBounds(left + labelWidth + editWidth, upDown->GetTop(), upDown->GetWidth(), upDown->GetHeight());
            right = upDown->GetLeft() + upDown->GetWidth();
        }
        left = right + ColumnGap;
    }
}

void TImagePanel::ArrangeValueColumn()
{
    const std::pair<TSkinLabel*, TSkinLabel*> rows[] = {
        {FSizeLabel, FSizeValue}, {FResolutionLabel, FResolutionValue}, {FCurrentResolutionLabel, FCurrentResolutionValue}};
    int valueLeft = FValueColumnLeft;
    for (auto [label, value] : rows)
        valueLeft = std::max(valueLeft, label->GetLeft() + CaptionWidth(label));
    for (auto [label, value] : rows) {
        label->SetWidth(valueLeft - label->GetLeft());
        value->SetBounds(valueLeft, value->GetTop(), std::max(FValueColumnRight - valueLeft, 16), value->GetHeight());
    }
}

int TImagePanel::DesignMinHeight() const
{
    // Down to the text memo at its design height: a panel held at its minimum must not hide the
    // rows of the title, its font and its text.
    return FTextRowPlaces.MemoTop + FTextRowPlaces.MemoHeight + FActiveLabel->GetTop();
}

TSkinButton* TImagePanel::GetAlignmentButton(TTextAlignment alignment) const
{
    return FAlignButtons[alignment >= txLeft && alignment <= txCenter ? alignment : txLeft];
}

bool TImagePanel::OwnsEditWindow(HWND window) const
{
    if (!window)
        return false;
    for (const auto& bound : FEdits) {
        if (!bound->Control->HandleAllocated())
            continue;
        HWND handle = bound->Control->GetWindowHandle();
        // The name box types into an edit window of its own.
        if (window == handle || ::GetParent(window) == handle)
            return true;
    }
    return false;
}

void TImagePanel::LanguageChanged()
{
    FResolutionText = InterfaceText(121, "Resolution:");
    FTitleLabel->SetCaption(AnsiToWide(ConstText(9, "Title") + ":"));
}

// ---- Showing the selection ----

void TImagePanel::ShowSelection(TLayerSelection* selection)
{
    // What the user typed is applied before the panel shows the selection again.
    CommitPendingEdit();
    {
        TCountScope refreshing(FRefreshing);
        FNameBox->SetText(FForm->GetSelectionName());
        FLeftEdit->SetText(FForm->GetLeftText());
        FTopEdit->SetText(FForm->GetTopText());
        FWidthEdit->SetText(FForm->GetWidthText());
        FHeightEdit->SetText(FForm->GetHeightText());
        FCenterHorz->SetChecked(FForm->GetHorzCenter());
        FCenterVert->SetChecked(FForm->GetVertCenter());
        FFitToPage->SetChecked(FForm->GetFitToPage());

        TLayerElement* first = selection->GetItem(0);
        const bool single = selection->Count() == 1;
        const bool image = single && Is<TLayerImage>(first);
        const bool text = single && Is<TLayerText>(first);
        for (TControl* c : std::initializer_list<TControl*>{FSizeLabel, FSizeValue, FResolutionLabel, FResolutionValue,
                                                            FCurrentResolutionLabel, FCurrentResolutionValue, FKeepRatio})
            c->SetVisible(!text);
        FToSource->SetVisible(image);
        FTitleVisible->SetVisible(!text);
        if (text || image) {
            const TTextAlignment alignment = FForm->GetTextAlignment();
            FAlignButtons[alignment]->SetChecked(true);
            if (TFont* font = FForm->GetElementFont())
                FFontNameLabel->SetCaption(AnsiToWide(font->GetName() + ", " + std::to_string(font->GetSize())));
        }
        // Both read False for anything but a single image: a rectangle shows them unchecked.
        FKeepRatio->SetChecked(FForm->GetKeepRatio());
        FTitleVisible->SetChecked(FForm->GetCaptionVisible());
        if (image) {
            auto* picture = As<TLayerImage>(first);
            FResolutionLabel->SetCaption(AnsiToWide(FResolutionText));
            FTextMemo->SetText(FForm->GetCaptionText());
            FSizeValue->SetCaption(std::to_wstring(picture->GetImageWidth()) + L" x " +
                                   std::to_wstring(picture->GetImageHeight()));
            FResolutionValue->SetCaption(PixelsPerInchText(FForm->GetSourceResolution()));
            FCurrentResolutionValue->SetCaption(PixelsPerInchText(FForm->GetImageResolution()));
        } else if (text) {
            FTextMemo->SetText(FForm->GetElementText());
        }
        FTitleLabel->SetCaption(AnsiToWide(text ? ConstText(10, "Text") + ":" : ConstText(9, "Title") + ":"));
        PlaceTextRows(text);
        // What the selection has no value for is emptied, or the previous element's would stay:
        // pixel sizes belong to an image alone, a font and a text to an image or a text alone.
        if (!image) {
            for (TSkinLabel* label : {FSizeValue, FResolutionValue, FCurrentResolutionValue})
                label->SetCaption(L"");
        }
        if (!image && !text) {
            FFontNameLabel->SetCaption(L"");
            FTextMemo->SetText("");
        }
        FShownSelection.clear();
        for (int i = 0; i < selection->Count(); ++i)
            FShownSelection.push_back(selection->GetItem(i));
    }
    EnableFor(selection->Count());
}

void TImagePanel::ShowNothing()
{
    // Nothing is selected: nothing is left for a half-typed edit to go to.
    FPendingEdit = nullptr;
    FShownSelection.clear();
    {
        TCountScope refreshing(FRefreshing);
        for (TSkinLabel* label : {FSizeValue, FResolutionValue, FCurrentResolutionValue, FFontNameLabel})
            label->SetCaption(L"");
        FTextMemo->SetText("");
        FNameBox->SetText("");
        for (TEdit* edit : {FLeftEdit, FTopEdit, FWidthEdit, FHeightEdit})
            edit->SetText("");
        for (TCheckBox* box : {FCenterHorz, FCenterVert, FFitToPage, FKeepRatio, FTitleVisible})
            box->SetChecked(false);
    }
    EnableFor(0);
}

void TImagePanel::EnableFor(int selectedCount)
{
    SetGroupEnabled(FPositionGroup, selectedCount > 0);
    SetGroupEnabled(FElementGroup, selectedCount == 1);
}

void TImagePanel::SetGroupEnabled(const std::vector<TControl*>& group, bool enabled)
{
    for (TControl* control : group)
        control->SetEnabled(enabled);
}

// For a selected text the image rows are hidden: the title with the alignment buttons, the font
// and the memo move up together into their place, and the memo grows to the panel's bottom.
void TImagePanel::PlaceTextRows(bool raised)
{
    const TTextRowPlaces& design = FTextRowPlaces;
    const int shift = raised ? design.AlignTop - FKeepRatio->GetTop() : 0;
    FTitleLabel->SetTop(design.TitleTop - shift);
    for (TSkinButton* button : FAlignButtons)
        button->SetTop(design.AlignTop - shift);
    FFontButton->SetTop(design.FontButtonTop - shift);
    FFontNameLabel->SetTop(design.FontNameTop - shift);
    const int memoTop = design.MemoTop - shift;
    const int height = raised ? std::max(design.MemoHeight, GetClientHeight() - 6 - memoTop) : design.MemoHeight;
    FTextMemo->SetBounds(FTextMemo->GetLeft(), memoTop, FTextMemo->GetWidth(), height);
}

void TImagePanel::FocusTextMemo()
{
    if (!FTextMemo->CanFocus())
        return;
    FTextMemo->SetFocus();
    FTextMemo->SelectAll();
}

// ---- Edits ----

void TImagePanel::KeyPress(TBoundEdit* bound, char& key)
{
    // Ctrl+Enter breaks a line of the text; Enter alone commits it.
    if (key == '\n' && bound->Control == FTextMemo) {
        key = 0;
        SendMessageA(FTextMemo->GetHandle(), EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>("\r\n"));
        return;
    }
    if (key != '\r')
        return;
    key = 0;
    Commit(bound);
}

// The user changed an edit: it is committed on Enter, on leaving it, and before anything else
// changes the selection or shows it again.
void TImagePanel::Changed(TBoundEdit* bound)
{
    if (!FRefreshing)
        FPendingEdit = bound;
}

void TImagePanel::Exited(TBoundEdit* bound)
{
    if (FRefreshing || bound != FPendingEdit)
        return;
    Commit(bound);
    TLayerSelection* selection = FForm->GetSelectionList();
    if (selection && selection->Count() > 0)
        FForm->UpdateProperties(selection);
}

void TImagePanel::CommitPendingEdit()
{
    TBoundEdit* pending = std::exchange(FPendingEdit, nullptr);
    // What was typed belongs to the elements the panel showed while it was typed.
    if (pending && ShowsSelection())
        Commit(pending);
}

bool TImagePanel::ShowsSelection()
{
    TLayerSelection* selection = FForm->GetSelectionList();
    if (!selection || selection->Count() != static_cast<int>(FShownSelection.size()))
        return false;
    for (int i = 0; i < selection->Count(); ++i)
        if (selection->GetItem(i) != FShownSelection[static_cast<size_t>(i)])
            return false;
    return true;
}

void TImagePanel::Commit(TBoundEdit* bound)
{
    if (FPendingEdit == bound)
        FPendingEdit = nullptr;
    TLayerSelection* selection = FForm->GetSelectionList();
    if (FRefreshing || !selection || selection->Count() == 0)
        return;
    bound->Commit(bound->Text());
}

void TImagePanel::Nudge(TEdit* edit, TBoundEdit* bound, const std::function<int(const TLayerElement*)>& value, int delta)
{
    TLayerElement* first = FForm->GetFirstSelected();
    if (!first)
        return;
    edit->SetText(FForm->FormatLength(value(first) + delta));
    Commit(bound);
    FForm->UpdateProperties(FForm->GetSelectionList());
}

// ---- Buttons and lists ----

void TImagePanel::FillNameList()
{
    TStrings* items = FNameBox->GetItems();
    items->Clear();
    TSheetfoldPage* page = FForm->GetCurrentPage();
    if (!page)
        return;
    for (int i = 0; i < page->Count(); ++i) {
        TLayerElement* e = page->GetItem(i);
        if (e->GetEnabled())
            items->AddObject(e->GetName(), e);
    }
}

void TImagePanel::SelectNamed()
{
    int index = FNameBox->GetItemIndex();
    TSheetfoldPage* page = FForm->GetCurrentPage();
    TLayerSelection* selection = FForm->GetSelectionList();
    if (index < 0 || !page || !selection)
        return;
    auto* element = static_cast<TLayerElement*>(FNameBox->GetItems()->GetObject(index));
    // The list was filled when it opened; the element may have gone since.
    if (!element || page->IndexOf(element) < 0)
        return;
    selection->Clear();
    selection->Add(element);
}

void TImagePanel::ChooseElementFont()
{
    TFontDialog* dialog = FForm->GetElementFontDialog();
    if (TFont* font = FForm->GetElementFont())
        dialog->GetFont()->Assign(font);
    if (!dialog->Execute(FForm->GetHandle()))
        return;
    FForm->SetElementFont(dialog->GetFont());
    FForm->GetDefaultFont()->Assign(dialog->GetFont());
    FForm->UpdateProperties(FForm->GetSelectionList());
}

void TImagePanel::ToSource()
{
    TLayerSelection* selection = FForm->GetSelectionList();
    if (!selection || selection->Count() != 1 || !Is<TLayerImage>(selection->GetItem(0)))
        return;
    auto* image = As<TLayerImage>(selection->GetItem(0));
    POINT source = image->GetResolution();
    if (source.x <= 0 || source.y <= 0)
        return;
    int width = MulDiv(image->GetImageWidth(), 2540, source.x);
    int height = MulDiv(image->GetImageHeight(), 2540, source.y);
    image->SetBounds(image->GetLeft(), image->GetTop(), width, height);
}
