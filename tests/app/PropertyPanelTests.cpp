// The image panel as a user works it: typing into its edits and leaving them by a click on the
// page, Enter, the alignment buttons of a text or a title, and how its edits look.
#include <gtest/gtest.h>

#include <string>

#include "DialogLanguage.h"
#include "MainFormTestSupport.h"
#include "TestSupport.h"
#include "document/LayerImage.h"
#include "app/ImagePanel.h"
#include "app/PrintPanel.h"
#include "document/SheetfoldProject.h"
#include "platform/ScopeGuards.h"

namespace {

HWND Handle(TWinControl* control)
{
    return control->GetHandle();
}

std::string MemoText(TSheetfoldForm* form)
{
    return form->GetTextMemo()->GetText();
}

}  // namespace

class PropertyPanelTest : public MainFormTest {
protected:
    void SetUp() override
    {
        MainFormTest::SetUp();
        ShowForm();
    }
    // Selects the element as a click would, and lets the window go idle, as it does before the
    // user's next step.
    void Select(TLayerElement* element)
    {
        Selection()->Clear();
        Selection()->Add(element);
        Pump();
        Form->ApplyEnablingRules();
    }
    TLayerText* PlacedText(const std::string& text, int left, int top)
    {
        TLayerText* element = AddText(text);
        element->SetBounds(left, top, element->GetWidth(), element->GetHeight());
        return element;
    }
    void TypeOver(TWinControl* edit, const std::string& text)
    {
        edit->SetFocus();
        SendMessageA(Handle(edit), EM_SETSEL, 0, -1);
        Type(Handle(edit), text);
    }
    // A click on the control at the point of the panel, through the window that is really there.
    void ClickPanelControl(TControl* control)
    {
        POINT centre{control->GetWidth() / 2, control->GetHeight() / 2};
        POINT screen = control->ClientToScreen(centre);
        HWND hit = WindowFromPoint(screen);
        ASSERT_NE(hit, nullptr);
        POINT client = screen;
        ScreenToClient(hit, &client);
        SendMessageA(hit, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(client.x, client.y));
        SendMessageA(hit, WM_LBUTTONUP, 0, MAKELPARAM(client.x, client.y));
        Pump();
    }
    // The window under the middle of a control, as the mouse would find it.
    HWND WindowAt(TControl* control)
    {
        return WindowFromPoint(control->ClientToScreen(POINT{control->GetWidth() / 2, control->GetHeight() / 2}));
    }
};

TEST_F(PropertyPanelTest, TypedTextIsKeptWhenThePageIsClicked)
{
    TLayerText* first = PlacedText("first", 2000, 2000);
    TLayerText* second = PlacedText("second", 2000, 9000);
    Form->InsertImageFile(WriteBmp("titled.bmp", 40, 20));
    auto* image = static_cast<TLayerImage*>(Selection()->GetItem(0));
    image->SetBounds(9000, 2000, 3000, 1500);
    TMemo* memo = Form->GetTextMemo();

    // Typed into the first text, then a click on the second: the first keeps what was typed and
    // the panel shows the second.
    Select(first);
    TypeOver(memo, "changed");
    ClickPage(Centre(second));
    EXPECT_EQ(first->GetText(), "changed");
    ASSERT_EQ(Selection()->Count(), 1);
    EXPECT_EQ(Selection()->GetItem(0), second);
    EXPECT_EQ(MemoText(Form.get()), "second");

    // A click on the empty paper leaves the edit the same way.
    TypeOver(memo, "again");
    ClickPage(POINT{15000, 20000});
    EXPECT_EQ(second->GetText(), "again");
    EXPECT_EQ(Selection()->Count(), 0);

    // An image's title, typed and left by a click on a text.
    Select(image);
    EXPECT_EQ(MemoText(Form.get()), "titled.bmp");
    TypeOver(memo, "Holiday");
    ClickPage(Centre(first));
    EXPECT_EQ(Form->GetProject()->GetCurrentPage()->IndexOf(image) >= 0, true);
    Select(image);
    EXPECT_EQ(Form->GetCaptionText(), "Holiday");

    // The name box and a number edit the same way.
    Select(first);
    TypeOver(Form->GetNameBox(), "Heading");
    ClickPage(Centre(second));
    EXPECT_EQ(first->GetName(), "Heading");
    Select(first);
    TypeOver(Form->GetLeftEdit(), "30");
    ClickPage(Centre(second));
    EXPECT_EQ(first->GetLeft(), 3000);
}

TEST_F(PropertyPanelTest, EnterCommitsTheTextMemoAndLeavingUntouchedEditsChangesNothing)
{
    TLayerText* text = PlacedText("before", 2000, 2000);
    Select(text);
    TMemo* memo = Form->GetTextMemo();
    TypeOver(memo, "after");
    PressKey(Handle(memo), VK_RETURN);
    EXPECT_EQ(text->GetText(), "after");
    EXPECT_EQ(MemoText(Form.get()), "after");
    EXPECT_EQ(GetFocus(), Handle(memo));

    // Ctrl+Enter still breaks the line; Enter then commits both lines.
    Type(Handle(memo), "\n");
    Type(Handle(memo), "more");
    PressKey(Handle(memo), VK_RETURN);
    EXPECT_EQ(text->GetText(), "after\r\nmore");

    // An edit left as the panel filled it does not write its rounded value back: in inches a
    // position shows two decimals only.
    text->SetBounds(2501, 2000, text->GetWidth(), text->GetHeight());
    Form->SetUnits(true);
    Pump();
    Form->GetLeftEdit()->SetFocus();
    ClickPage(Centre(text));
    EXPECT_EQ(text->GetLeft(), 2501);
}

TEST_F(PropertyPanelTest, AlignmentButtonsOfATextAndOfATitleAreReachableAndStored)
{
    TLayerText* text = PlacedText("aligned", 2000, 2000);
    Form->InsertImageFile(WriteBmp("picture.bmp", 40, 20));
    auto* image = static_cast<TLayerImage*>(Selection()->GetItem(0));
    image->SetBounds(9000, 2000, 3000, 1500);
    TMemo* memo = Form->GetTextMemo();

    struct TCase {
        TLayerElement* Element;
        const wchar_t* Caption;
    };
    for (TCase c : {TCase{text, L"Text:"}, TCase{image, L"Title:"}}) {
        SCOPED_TRACE(WideToAnsi(c.Caption));
        Select(c.Element);
        TControl* title = Form->GetTitleLabel();
        EXPECT_TRUE(title->GetVisible());
        EXPECT_EQ(Form->GetTitleLabel()->GetCaption(), c.Caption);
        EXPECT_NE(WindowAt(title), Handle(memo));
        // Right, centre, left: each click is the element's alignment at once.
        for (int alignment : {1, 2, 0, 1}) {
            TControl* button = Form->GetAlignmentButton(static_cast<TTextAlignment>(alignment));
            ASSERT_TRUE(button->GetVisible());
            ASSERT_TRUE(button->GetEnabled());
            EXPECT_NE(WindowAt(button), Handle(memo));
            ClickPanelControl(button);
            EXPECT_EQ(Form->GetTextAlignment(), alignment);
        }
    }
    Select(image);
    ClickPanelControl(Form->GetAlignmentButton(txCenter));

    // Saved and read back.
    std::string file = TestTempFile("aligned.sfp");
    Form->SaveProject(file);
    Form->OpenFile(file);
    TSheetfoldPage* page = Form->GetProject()->GetCurrentPage();
    TLayerText* readText = nullptr;
    TLayerImage* readImage = nullptr;
    for (int i = 0; i < page->Count(); ++i) {
        if (auto* t = dynamic_cast<TLayerText*>(page->GetItem(i)); t && !t->GetAttachedTo())
            readText = t;
        if (auto* p = dynamic_cast<TLayerImage*>(page->GetItem(i)))
            readImage = p;
    }
    ASSERT_NE(readText, nullptr);
    ASSERT_NE(readImage, nullptr);
    Select(readText);
    EXPECT_EQ(Form->GetTextAlignment(), 1);
    Select(readImage);
    EXPECT_EQ(Form->GetTextAlignment(), 2);
    EXPECT_TRUE(Form->GetAlignmentButton(txCenter)->GetEnabled());
}

TEST_F(PropertyPanelTest, EnabledEditsHaveTheWindowColour)
{
    TLayerText* text = PlacedText("colour", 2000, 2000);
    Select(text);
    Form->ApplyEnablingRules();
    Pump();
    for (TWinControl* edit : {static_cast<TWinControl*>(Form->GetLeftEdit()), static_cast<TWinControl*>(Form->GetTextMemo())}) {
        ASSERT_TRUE(edit->GetEnabled());
        RedrawWindow(Handle(edit), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        RECT client{};
        GetClientRect(Handle(edit), &client);
        COLORREF pixel = GetPixel(TWindowDC(Handle(edit)).Get(), client.right - 3, client.bottom - 3);
        EXPECT_EQ(pixel & 0xFFFFFF, GetSysColor(COLOR_WINDOW) & 0xFFFFFF) << GetSysColor(COLOR_BTNFACE);
    }
}

// A rectangle or an ellipse has no pixel size, resolution, font or text: clicked after an image,
// the panel must not go on showing the image's.
TEST_F(PropertyPanelTest, AShapeClickedAfterAnImageShowsNoneOfTheImagesValues)
{
    Form->InsertImageFile(WriteBmp("before.bmp", 40, 20));
    auto* image = static_cast<TLayerImage*>(Selection()->GetItem(0));
    image->SetBounds(2000, 2000, 3000, 1500);
    TSheetfoldPage* page = Form->GetProject()->GetCurrentPage();
    TLayerElement* shapes[] = {New<TLayerRect>(page), New<TLayerEllipse>(page)};
    shapes[0]->SetBounds(2000, 9000, 3000, 2000);
    shapes[1]->SetBounds(9000, 9000, 3000, 2000);
    TImagePanel* panel = Form->GetImagePanel();
    const TSkinLabel* values[] = {panel->GetSizeValueLabel(), panel->GetResolutionValueLabel(),
                                  panel->GetCurrentResolutionValueLabel(), panel->GetFontNameLabel()};
    for (TLayerElement* shape : shapes) {
        ClickPage(Centre(image));
        ASSERT_EQ(Selection()->Count(), 1);
        ASSERT_EQ(Selection()->GetItem(0), image);
        for (const TSkinLabel* label : values)
            EXPECT_FALSE(label->GetCaption().empty() || label->GetCaption() == L" ");
        EXPECT_EQ(MemoText(Form.get()), "before.bmp");

        ClickPage(Centre(shape));
        ASSERT_EQ(Selection()->Count(), 1);
        ASSERT_EQ(Selection()->GetItem(0), shape) << shape->ClassName();
        for (const TSkinLabel* label : values)
            EXPECT_EQ(label->GetCaption(), L"") << shape->ClassName();
        EXPECT_EQ(MemoText(Form.get()), "") << shape->ClassName();
    }
}

namespace {

std::string ResourceBytes(const char* name)
{
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC info = FindResourceA(module, name, MAKEINTRESOURCEA(10));
    HGLOBAL data = info ? LoadResource(module, info) : nullptr;
    return data ? std::string(static_cast<const char*>(LockResource(data)), SizeofResource(module, info)) : std::string();
}

std::string Utf8(const std::wstring& text)
{
    return WideToAnsi(text, CP_UTF8);
}

int ExtentIn(TControl* control, const std::wstring& text)
{
    TWindowDC screen;
    TSelectGuard font(screen.Get(), control->GetFont()->GetHandle());
    SIZE size{};
    GetTextExtentPoint32W(screen.Get(), text.c_str(), static_cast<int>(text.size()), &size);
    return size.cx;
}

// Where the control is in its panel: a windowed control where its window is (a combo box's
// bounds also span its list).
RECT PlaceInPanel(TControl* control, TWinControl* panel)
{
    auto* window = dynamic_cast<TWinControl*>(control);
    if (!window)
        return control->GetBoundsRect();
    RECT r{};
    GetWindowRect(window->GetHandle(), &r);
    MapWindowPoints(nullptr, panel->GetHandle(), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// The room beside a caption: a check box's or radio button's box, a button's frame.
std::pair<std::wstring, int> CaptionOf(TControl* control)
{
    if (Is<TSkinCustomLabel>(control))
        return {static_cast<TSkinCustomLabel*>(control)->GetCaption(), 0};
    if (Is<TSkinCustomRadioButton>(control))
        return {static_cast<TSkinCustomRadioButton*>(control)->GetCaption(), 16};
    if (Is<TSkinCustomButton>(control))
        return {static_cast<TSkinCustomButton*>(control)->GetCaption(), 8};
    if (Is<TCheckBox>(control))
        return {AnsiToWide(control->GetText()), 16};
    return {};
}

// Every caption fits its control, every control stays inside the panel and off the next one in
// its row, and the edits hold the longest value they show.
void ExpectTextsFit(TWinControl* panel, const std::wstring& longestValue)
{
    std::vector<std::pair<TControl*, RECT>> places;
    for (int i = 0; i < panel->GetControlCount(); ++i)
        places.emplace_back(panel->GetControl(i), PlaceInPanel(panel->GetControl(i), panel));
    for (const auto& [control, r] : places) {
        const auto [caption, room] = CaptionOf(control);
        SCOPED_TRACE(Utf8(caption) + " (" + control->ClassName() + ")");
        if (!caption.empty()) {
            EXPECT_LE(ExtentIn(control, caption) + room, r.right - r.left);
        }
        if (Is<TEdit>(control)) {
            RECT text{};
            SendMessageA(static_cast<TEdit*>(control)->GetHandle(), EM_GETRECT, 0, reinterpret_cast<LPARAM>(&text));
            EXPECT_LE(ExtentIn(control, longestValue), text.right - text.left);
        }
        EXPECT_LE(r.right, panel->GetClientWidth());
        for (const auto& [other, o] : places) {
            const bool sameRow = o.top < r.bottom && r.top < o.bottom;
            if (other != control && sameRow && o.left >= r.left) {
                EXPECT_LE(r.right, o.left) << "runs into " << Utf8(CaptionOf(other).first) << " (" << other->ClassName() << ")";
            }
        }
    }
}

}  // namespace

// The side panels laid out for the English texts and for a German file's longer ones: captions
// measured against their controls, as the bars measure their items.
TEST_F(PropertyPanelTest, ThePanelsTextsFitTheirControlsInEnglishAndGerman)
{
    TEnglishTexts english;
    const std::string german = WriteBytes("Deutsch.ini", ResourceBytes("DEUTSCH_INI"));
    ASSERT_FALSE(german.empty());
    for (const auto& [language, title] : {std::pair{std::string("English"), L"Title:"}, std::pair{german, L"Titel:"}}) {
        SCOPED_TRACE(language);
        Form->ApplyLanguage(language);
        Pump();
        EXPECT_EQ(Form->GetTitleLabel()->GetCaption(), title);
        // A length in millimetres, and the copies.
        ExpectTextsFit(Form->GetImagePanel(), L"1058.20");
        ExpectTextsFit(Form->GetPrintPanel(), L"99");
    }
    Form->ApplyLanguage("English");
}
