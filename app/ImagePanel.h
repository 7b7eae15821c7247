// The "Image" side panel, docked at the main window's left: the properties of the selection. It
// builds its controls, fills them from the selection, enables them by what is selected and writes
// what the user sets back through the main window's selection operations.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/SheetfoldModel.h"
#include "platform/ComCtrls.h"
#include "platform/StdCtrls.h"
#include "skin/SkinControls.h"
#include "app/SheetfoldPanel.h"

class TSheetfoldForm;
class TLayerElement;
class TLayerSelection;

class TImagePanel : public TSheetfoldPanel {
    SF_CLASS(TImagePanel)
public:
    explicit TImagePanel(TSheetfoldForm* form);

    // Fills the controls from the selection (not empty) and enables them by its size.
    void ShowSelection(TLayerSelection* selection);
    // Empties and disables what shows the selection: nothing is selected.
    void ShowNothing();
    // Position group enabled with any selection, element group with exactly one element.
    void EnableFor(int selectedCount);
    void SetNameBoxEnabled(bool enabled) { FNameBox->SetEnabled(enabled); }
    // What was typed into an edit goes to the elements it was typed for.
    void CommitPendingEdit();
    // The memo focused with all of its text selected, for a text just inserted.
    void FocusTextMemo();
    // The language's texts that the panel composes itself.
    void LanguageChanged();
    void ArrangeForTexts() override;
    // Whether the window has the focus in one of the panel's edits (the name box's edit too).
    bool OwnsEditWindow(HWND window) const;
    // The smallest client size that shows every row, and the width both panels share.
    int DesignWidth() const;
    int DesignMinHeight() const;

    TComboBox* GetNameBox() const { return FNameBox; }
    TEdit* GetLeftEdit() const { return FLeftEdit; }
    TEdit* GetTopEdit() const { return FTopEdit; }
    TEdit* GetWidthEdit() const { return FWidthEdit; }
    TEdit* GetHeightEdit() const { return FHeightEdit; }
    TMemo* GetTextMemo() const { return FTextMemo; }
    TSkinLabel* GetSizeValueLabel() const { return FSizeValue; }
    TSkinLabel* GetResolutionValueLabel() const { return FResolutionValue; }
    TSkinLabel* GetCurrentResolutionValueLabel() const { return FCurrentResolutionValue; }
    TSkinLabel* GetFontNameLabel() const { return FFontNameLabel; }
    // The label over the text memo: "Text:" for a text, "Title:" for an image.
    TSkinLabel* GetTitleLabel() const { return FTitleLabel; }
    TSkinButton* GetAlignmentButton(TTextAlignment alignment) const;

private:
    // An edit of the panel with what it shows and where its text goes.
    struct TBoundEdit {
        TWinControl* Control = nullptr;
        std::function<std::string()> Text;
        std::function<void(const std::string&)> Commit;
    };

    void Build() override;
    TCheckBox* AddFlagBox(int tag, int x, int y, std::function<void(bool)> apply);
    TBoundEdit* Bind(TWinControl* control, std::function<std::string()> text,
                     std::function<void(const std::string&)> commit);
    void HandleEdits(TBoundEdit* bound, TKeyPressEvent& keyPress, TNotifyEvent& change, TNotifyEvent& exit);
    // A length edit of the first selected element with its label and up-down.
    TEdit* AddLengthEdit(int labelTag, int x, int y, std::function<int(const TLayerElement*)> value,
                         void (TSheetfoldForm::*commit)(const std::string&));
    TSkinButton* AddAlignmentButton(int tag, TTextAlignment alignment, int x, const wchar_t* caption);

    void KeyPress(TBoundEdit* bound, char& key);
    void Changed(TBoundEdit* bound);
    void Exited(TBoundEdit* bound);
    void Commit(TBoundEdit* bound);
    // Whether the selection is still the one the panel was last filled from.
    bool ShowsSelection();
    void Nudge(TEdit* edit, TBoundEdit* bound, const std::function<int(const TLayerElement*)>& value, int delta);
    void FillNameList();
    void SelectNamed();
    void ChooseElementFont();
    void ToSource();
    void PlaceTextRows(bool raised);
    // The four length edits in two columns: each column as wide as its longest label, each edit
    // as wide as the longest length it shows.
    void ArrangeLengthEdits();
    // The values of the size and resolution rows line up behind the longest of their labels.
    void ArrangeValueColumn();
    void SetGroupEnabled(const std::vector<TControl*>& group, bool enabled);

    std::vector<std::unique_ptr<TBoundEdit>> FEdits;
    std::vector<TControl*> FPositionGroup;
    std::vector<TControl*> FElementGroup;
    // The rows arranged for the texts, and whether the last control of each stretches.
    std::vector<std::pair<TRow, bool>> FRows;
    // Left, Top, Width and Height: each edit's label, edit and up-down.
    std::vector<std::array<TControl*, 3>> FLengthEdits;
    int FValueColumnLeft = 0;
    int FValueColumnRight = 0;
    TSkinLabel* FActiveLabel = nullptr;
    TComboBox* FNameBox = nullptr;
    TEdit* FLeftEdit = nullptr;
    TEdit* FTopEdit = nullptr;
    TEdit* FWidthEdit = nullptr;
    TEdit* FHeightEdit = nullptr;
    TCheckBox* FCenterHorz = nullptr;
    TCheckBox* FCenterVert = nullptr;
    TCheckBox* FFitToPage = nullptr;
    TSkinRadioButton* FMillimeters = nullptr;
    TSkinRadioButton* FInches = nullptr;
    TCheckBox* FKeepRatio = nullptr;
    TSkinLabel* FSizeLabel = nullptr;
    TSkinLabel* FSizeValue = nullptr;
    TSkinLabel* FResolutionLabel = nullptr;
    TSkinLabel* FResolutionValue = nullptr;
    TSkinLabel* FCurrentResolutionLabel = nullptr;
    TSkinLabel* FCurrentResolutionValue = nullptr;
    TSkinButton* FToSource = nullptr;
    TCheckBox* FTitleVisible = nullptr;
    TSkinLabel* FTitleLabel = nullptr;
    TSkinButton* FAlignButtons[3] = {};
    TSkinButton* FFontButton = nullptr;
    TSkinLabel* FFontNameLabel = nullptr;
    TMemo* FTextMemo = nullptr;

    // Design places of the rows that move up for a selected text.
    struct TTextRowPlaces {
        int TitleTop = 0;
        int AlignTop = 0;
        int FontButtonTop = 0;
        int FontNameTop = 0;
        int MemoTop = 0;
        int MemoHeight = 0;
    };
    TTextRowPlaces FTextRowPlaces;
    std::string FResolutionText = "Resolution:";
    // Set while the controls are being filled: their events must not write back.
    int FRefreshing = 0;
    // The edit the user typed into since the panel was filled, and the elements it was filled from.
    TBoundEdit* FPendingEdit = nullptr;
    std::vector<TLayerElement*> FShownSelection;
};
