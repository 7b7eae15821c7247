#include "app/SheetfoldPanel.h"

#include "app/MainForm.h"

SF_IMPLEMENT_ABSTRACT(TSheetfoldPanel, TSkinDockablePanel)

TSheetfoldPanel::TSheetfoldPanel(TSheetfoldForm* form, int tag, const char* defaultCaption)
    : TSkinDockablePanel(form), FForm(form), FDefaultCaption(defaultCaption)
{
    SetTag(tag);
}

void TSheetfoldPanel::AfterConstruction()
{
    TSkinDockablePanel::AfterConstruction();
    SetCaption(AnsiToWide(InterfaceText(GetTag(), FDefaultCaption)));
    SetCloseButtonWhenDocked(true);
    Build();
}

TSkinLabel* TSheetfoldPanel::AddLabel(int tag, int x, int y, int width, const std::string& caption)
{
    TSkinLabel* label = New<TSkinLabel>(FForm);
    label->SetTag(tag);
    label->SetCaption(AnsiToWide(caption.empty() && tag > 0 ? InterfaceText(tag, "") : caption));
    label->SetBounds(x, y, width, 17);
    label->SetParent(this);
    return label;
}
