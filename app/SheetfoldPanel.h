// What the main window's side panels share: a captioned themed dockable panel that builds its
// controls once it is made and labels them from the language.
#pragma once

#include <string>

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

protected:
    virtual void Build() = 0;
    // A label whose caption is the language text of its tag unless a caption is given.
    TSkinLabel* AddLabel(int tag, int x, int y, int width, const std::string& caption = {});

    TSheetfoldForm* FForm;

private:
    const char* FDefaultCaption;
};
