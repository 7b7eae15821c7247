// What the main window's side panels share: a captioned themed dockable panel that builds its
// controls once it is made and labels them from the language.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

#include "skin/SkinControls.h"
#include "skin/SkinDkPanels.h"

class TSheetfoldForm;

class TSheetfoldPanel : public TSkinDockablePanel {
    SF_CLASS(TSheetfoldPanel)
public:
    // The tag is the language key of the panel's caption; defaultCaption stands when the language
    // has none.
    TSheetfoldPanel(TSheetfoldForm* form, int tag, const char* defaultCaption);
    void AfterConstruction() override;
    // Lays the controls out for the texts of the language just applied.
    virtual void ArrangeForTexts() = 0;

protected:
    // A row of controls side by side, as built: each control's design left and width.
    struct TRowPlace {
        TControl* Control;
        int Left;
        int Width;
    };
    using TRow = std::vector<TRowPlace>;

    virtual void Build() = 0;
    // A label whose caption is the language text of its tag unless a caption is given.
    TSkinLabel* AddLabel(int tag, int x, int y, int width, const std::string& caption = {});
    // The row of the controls as they are placed now, to be arranged again for each language.
    static TRow RowOf(std::initializer_list<TControl*> controls);
    // The width the text takes in the control's font.
    static int TextWidth(TControl* control, const std::wstring& text);
    // The width a control needs for its caption: a themed label's or button's, a check box's or
    // radio button's beside its box; 0 for other controls.
    static int CaptionWidth(TControl* control);
    // Places the row from its design: a control that needs more room than the design gave it up to
    // the next control takes it, and everything after it moves right. The last control moves too
    // and is as wide as its caption needs, or, when it stretches, keeps its design right edge.
    static void ArrangeRow(const TRow& row, bool lastStretches);
    // The right edge of the rightmost control.
    int ContentRight() const;

    TSheetfoldForm* FForm;

private:
    const char* FDefaultCaption;
};
