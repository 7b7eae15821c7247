#include "app/SheetfoldPanel.h"

#include <algorithm>

#include "app/MainForm.h"
#include "platform/ScopeGuards.h"

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

TSheetfoldPanel::TRow TSheetfoldPanel::RowOf(std::initializer_list<TControl*> controls)
{
    TRow row;
    for (TControl* control : controls)
        row.push_back(TRowPlace{control, control->GetLeft(), control->GetWidth()});
    return row;
}

int TSheetfoldPanel::TextWidth(TControl* control, const std::wstring& text)
{
    TWindowDC screen;
    TSelectGuard font(screen.Get(), control->GetFont()->GetHandle());
    SIZE size{};
    GetTextExtentPoint32W(screen.Get(), text.c_str(), static_cast<int>(text.size()), &size);
    return size.cx;
}

int TSheetfoldPanel::CaptionWidth(TControl* control)
{
    // Room beside the text: a label's gap to what follows, a button's frame, the box of a check
    // box or radio button.
    constexpr int LabelGap = 4;
    constexpr int ButtonFrame = 12;
    const int box = GetSystemMetrics(SM_CXMENUCHECK) + 8;
    auto shown = [control](std::wstring caption) {
        caption.erase(std::remove(caption.begin(), caption.end(), L'&'), caption.end());
        return TextWidth(control, caption);
    };
    if (Is<TSkinCustomLabel>(control))
        return shown(static_cast<TSkinCustomLabel*>(control)->GetCaption()) + LabelGap;
    if (Is<TSkinCustomRadioButton>(control))
        return shown(static_cast<TSkinCustomRadioButton*>(control)->GetCaption()) + box;
    if (Is<TSkinCustomButton>(control))
        return shown(static_cast<TSkinCustomButton*>(control)->GetCaption()) + ButtonFrame;
    if (Is<TCheckBox>(control))
        return shown(AnsiToWide(control->GetCaption())) + box;
    return 0;
}

void TSheetfoldPanel::ArrangeRow(const TRow& row, bool lastStretches)
{
    int shift = 0;
    for (size_t i = 0; i < row.size(); ++i) {
        const TRowPlace& place = row[i];
        const int left = place.Left + shift;
        const int need = CaptionWidth(place.Control);
        int width = place.Width;
        if (i + 1 < row.size()) {
            // The room up to the next control is this one's.
            const int room = row[i + 1].Left - place.Left;
            if (need > room) {
                shift += need - room;
                width += need - room;
            }
        } else if (lastStretches) {
            width = std::max(place.Left + place.Width - left, 16);
        } else {
            width = std::max(width, need);
        }
        place.Control->SetBounds(left, place.Control->GetTop(), width, place.Control->GetHeight());
    }
}

int TSheetfoldPanel::ContentRight() const
{
    int right = 0;
    for (int i = 0; i < GetControlCount(); ++i) {
        TControl* control = GetControl(i);
        right = std::max(right, control->GetLeft() + control->GetWidth());
    }
    return right;
}
