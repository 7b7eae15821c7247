// Edit, drop-down and combo items: the combo's text kept in step with its list, completion of typed
// text, Up and Down in the field, Enter and Escape, the list dropped by the mouse, F4 and Alt+Down
// and walked with keys, the records the theme gets for frame and button, the item's size, the EDIT
// control's style, and nothing left behind after many drop-downs.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "ScriptedInput.h"
#include "SkinControlsTestSupport.h"
#include "SkinItemTestSupport.h"
#include "SkinRecordingTheme.h"
#include "SkinTestSupport.h"
#include "TestSupport.h"
#include "platform/Filer.h"
#include "platform/ScopeGuards.h"
#include "platform/Streams.h"
#include "platform/SysUtils.h"
#include "skin/Skin.h"
#include "skin/SkinDock.h"
#include "skin/SkinExtItems.h"
#include "skin/SkinLists.h"
#include "skin/SkinPopup.h"
#include "toolbar/TBCommon.h"
#include "skin/SkinToolbar.h"
#include "toolbar/TBToolbar.h"

namespace {

const std::vector<std::wstring> ZoomLines = {L"10%", L"25%", L"50%", L"75%", L"100%",
                                             L"150%", L"200%", L"500%", L"Auto"};

void FillLines(TSkinComboBoxItem* combo, const std::vector<std::wstring>& lines)
{
    combo->GetLines()->Clear();
    for (const std::wstring& line : lines)
        combo->GetLines()->Add(line);
}

using TComboPtr = std::unique_ptr<TSkinComboBoxItem, TObjectFree>;

TEST(SkinComboBoxItem, TextFollowsTheListAndTheListOpensOnTheText)
{
    TComboPtr combo(New<TSkinComboBoxItem>(nullptr));
    FillLines(combo.get(), ZoomLines);
    int changes = 0;
    combo->OnChange = [&](TObject*) { ++changes; };
    EXPECT_EQ(combo->Count(), 1) << "the list is the drop-down's only item";
    EXPECT_EQ(combo->GetItem(0), combo->GetList());
    EXPECT_EQ(combo->GetMinListWidth(), 64);
    EXPECT_TRUE(combo->HasTrait(isSubmenu) && combo->HasTrait(isSplitButton));
    EXPECT_FALSE(combo->HasTrait(isNeverFirst));

    struct TStep {
        const char* Name;
        std::function<void()> Act;
        int ItemIndex;
        std::wstring Text;
        int Changes;
    };
    const TStep steps[] = {
        {"a line sets the text", [&] { combo->SetItemIndex(8); }, 8, L"Auto", 1},
        {"-1 keeps the text", [&] { combo->SetItemIndex(-1); }, -1, L"Auto", 1},
        {"below -1 is -1", [&] { combo->SetItemIndex(-7); }, -1, L"Auto", 1},
        {"the same line again changes nothing", [&] { combo->SetItemIndex(8); }, 8, L"Auto", 1},
        {"a typed text leaves the selection", [&] { combo->SetText(L"33%"); }, 8, L"33%", 2},
        {"opening with no matching line selects none",
         [&] { combo->RaisePopupEvent(combo.get(), false); }, -1, L"33%", 2},
        {"opening on a matching line selects it",
         [&] {
             combo->SetText(L"150%");
             combo->RaisePopupEvent(combo.get(), false);
         },
         5, L"150%", 3},
        {"a line past the end is kept but sets nothing", [&] { combo->SetItemIndex(20); }, 20, L"150%", 3},
    };
    for (const TStep& step : steps) {
        step.Act();
        EXPECT_EQ(combo->GetItemIndex(), step.ItemIndex) << step.Name;
        EXPECT_EQ(combo->GetText(), step.Text) << step.Name;
        EXPECT_EQ(changes, step.Changes) << step.Name;
    }
}

TEST(SkinComboBoxItem, ImageIndexFollowsTheSelectionThroughTheEvent)
{
    TComboPtr combo(New<TSkinComboBoxItem>(nullptr));
    FillLines(combo.get(), ZoomLines);
    combo->SetImageIndex(3);
    std::vector<std::pair<std::wstring, int>> asked;
    int shift = 0;
    combo->OnAdjustImageIndex = [&](TObject*, const std::wstring& text, int index, int& imageIndex) {
        asked.emplace_back(text, index);
        imageIndex += shift;
    };
    EXPECT_EQ(combo->GetEditImageIndex(), 3) << "no selection: the item's own image";
    EXPECT_EQ(combo->GetEditImageIndex(), 3);
    EXPECT_EQ(asked.size(), 1u) << "the answer is kept";
    shift = 100;
    combo->SetItemIndex(2);
    EXPECT_EQ(combo->GetEditImageIndex(), 102) << "the selected line's image, adjusted";
    EXPECT_EQ(asked.back(), std::make_pair(std::wstring(L"50%"), -1));
    combo->SetText(L"typed");
    EXPECT_EQ(combo->GetEditImageIndex(), 102);
    EXPECT_EQ(asked.back(), std::make_pair(std::wstring(L"typed"), -1)) << "a new text asks again";
    combo->SetImageIndex(7);
    combo->SetItemIndex(-1);
    EXPECT_EQ(combo->GetEditImageIndex(), 107) << "a new image of the item";
    // The list asks for a line's image with the line's text and index.
    EXPECT_EQ(combo->GetList()->GetImageIndex(4), 104);
    EXPECT_EQ(asked.back(), std::make_pair(std::wstring(L"100%"), 4));
    int clicks = 0;
    combo->OnItemClick = [&](TObject*) { ++clicks; };
    combo->GetList()->Click();
    EXPECT_EQ(clicks, 1) << "a click on the list is the item's";
}

TEST(SkinComboBoxItem, CompletesWithTheShortestLineThatStartsWithTheText)
{
    TComboPtr combo(New<TSkinComboBoxItem>(nullptr));
    struct TCase {
        const char* Name;
        std::vector<std::wstring> Lines;
        std::wstring Typed;
        bool Found;
        std::wstring Result;
    };
    const TCase cases[] = {
        {"shortest match", {L"200%", L"25%", L"500%"}, L"2", true, L"25%"},
        {"an exact line stops the search", {L"25%", L"25%x", L"250%"}, L"25%", true, L"25%"},
        {"exact after longer ones", {L"250%", L"25%", L"2"}, L"2", true, L"2"},
        {"ties go to the first", {L"abc", L"abd", L"ab"}, L"a", true, L"ab"},
        {"equal length first wins", {L"axe", L"ace"}, L"a", true, L"axe"},
        {"case is ignored", {L"Auto", L"auto2"}, L"AU", true, L"Auto"},
        {"no line starts so", {L"10%", L"25%"}, L"3", false, L"3"},
        {"longer than every line", {L"10%"}, L"10%%", false, L"10%%"},
        {"nothing typed completes nothing", {L"10%"}, L"", false, L""},
        {"an empty list", {}, L"1", false, L"1"},
    };
    for (const TCase& c : cases) {
        FillLines(combo.get(), c.Lines);
        std::wstring text = c.Typed;
        EXPECT_EQ(combo->DoAutoComplete(text), c.Found) << c.Name;
        EXPECT_EQ(text, c.Result) << c.Name;
    }
    FillLines(combo.get(), ZoomLines);
    combo->SetAutoComplete(false);
    std::wstring text = L"2";
    EXPECT_FALSE(combo->DoAutoComplete(text)) << "completion off";
}

TEST(SkinEditItem, PasswordCharacterByTheCommonControlsVersion)
{
    const uint32_t version = ComCtlProductVersion();
    EXPECT_EQ(EditPasswordChar(), version < 0x60000 ? L'*' : L'\x25CF');
    EXPECT_EQ(ComCtlProductVersion("no-such-library-here.dll"), 0xFFFFFFFFu)
        << "an unreadable version counts as the newest";
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Measured and painted through the theme

// Metrics of the recording theme that differ from one another, so that a mix-up shows.
void ChooseEditMetrics(TRecordingTheme& theme, bool evenHeight)
{
    theme.IntegerMetrics = {{imMenuImageSpacing, 1}, {imMenuTextSpacing, 2}, {imMenuTextEndSpacing, 3},
                            {imEditFrameWidth, 2},   {imEditHorzInset, 3},   {imEditVertInset, 1},
                            {imDropDownButtonWidth, 15}, {imEditExtraWidth, 4}};
    theme.BooleanMetrics = {{bmEvenEditHeight, evenHeight}};
}

int ViewTextHeight(TTBView* view)
{
    TMemoryDC dc;
    TTestCanvas canvas(dc.Get(), view);
    return CanvasTextMetrics(canvas.Get()).tmHeight;
}

TEST(SkinEditItemViewer, SizeFromWidthCaptionFontAndParity)
{
    struct TCase {
        const char* Name;
        bool Toolbar;
        bool Even;
        std::wstring Caption;
        bool DropDown;
    };
    const TCase cases[] = {
        {"toolbar, odd", true, false, L"&Scale", false},
        {"toolbar, even", true, true, L"", false},
        {"drop-down in a toolbar", true, false, L"", true},
        {"menu with a caption", false, false, L"&Scale", false},
        {"menu without a caption", false, true, L"", true},
    };
    for (const TCase& c : cases) {
        TRecordingThemeScope theme;
        ChooseEditMetrics(*theme, c.Even);
        TViewFixture f(c.Toolbar ? vtToolbar : vtPopup, c.Toolbar);
        TSkinEditItem* item = c.DropDown ? f.Add<TSkinCustomDropDownItem>(L"") : f.Add<TSkinEditItem>(L"");
        item->SetEditCaption(c.Caption);
        item->SetEditWidth(70);
        f.View->EnsureLayout();
        TTBItemViewer* viewer = f.ViewerOf(item);
        ASSERT_TRUE(c.DropDown ? Is<TSkinDropDownItemViewer>(viewer) : Is<TSkinEditItemViewer>(viewer)) << c.Name;
        int width = 70;
        if (!c.Toolbar && !c.Caption.empty()) {
            TMemoryDC dc;
            TTestCanvas canvas(dc.Get(), f.View.get());
            canvas->RequiredState(TCanvas::csHandleValid | TCanvas::csFontValid);
            const int text = GetTextWidthW(canvas->GetHandle(), c.Caption, true);
            width += (text + 2 + 3 + 1) + 1 + ComputeImageColumn(viewer) + 4;
        }
        int height = ViewTextHeight(f.View.get()) + 1 + 2 * (1 + 2);
        if ((height % 2 == 0) != c.Even)
            ++height;
        TMemoryDC dc;
        TTestCanvas canvas(dc.Get(), f.View.get());
        int w = 0, h = 0;
        viewer->MeasureSize(canvas.Get(), w, h);
        EXPECT_EQ(w, width) << c.Name;
        EXPECT_EQ(h, height) << c.Name;
        EXPECT_EQ(h % 2 == 0, c.Even) << c.Name;
    }
}

TEST(SkinEditItemViewer, FrameAndButtonStatesReachTheTheme)
{
    TRecordingThemeScope theme;
    ChooseEditMetrics(*theme, false);
    TImageListPtr images = MakeImageList(16, 12, 3);
    struct TCase {
        const char* Name;
        bool DropDown, Selected, Pushed, Enabled, ShowImage;
        uint8_t HotState;
        int32_t LeftWidth, RightWidth;
        TSkinEditButtonKind Kind;
        uint32_t State;
    };
    const TCase cases[] = {
        {"plain field", false, false, false, true, false, 0, 0, 0, ebNone, 0},
        {"plain field, hot, with its image", false, true, false, true, true, 2, 18, 0, ebNone, 0},
        {"drop-down at rest", true, false, false, true, false, 0, 0, 15, ebDropDown, 0},
        {"drop-down hot", true, true, false, true, false, 2, 0, 15, ebDropDown, ebsHot},
        {"drop-down open", true, true, true, true, false, 2, 0, 15, ebDropDown, ebsHot | ebsPushed},
        {"drop-down disabled and selected", true, true, false, false, true, 1, 18, 15, ebDropDown, ebsDisabled},
    };
    for (const TCase& c : cases) {
        TViewFixture f(vtToolbar, true);
        TSkinEditItem* item = c.DropDown ? f.Add<TSkinCustomDropDownItem>(L"") : f.Add<TSkinEditItem>(L"");
        item->SetImages(images.get());
        item->SetImageIndex(1);
        item->SetShowImage(c.ShowImage);
        item->SetEnabled(c.Enabled);
        f.View->EnsureLayout();
        theme->Clear();
        TTestSurface surface(200, 60);
        TTestCanvas canvas(surface.DC(), f.View.get());
        const RECT r{5, 4, 105, 30};
        f.ViewerOf(item)->Paint(canvas.Get(), r, c.Selected, c.Pushed, false);
        const auto calls = theme->Of("DrawEditItem");
        ASSERT_EQ(calls.size(), 1u) << c.Name;
        const TThemeCall& call = calls[0];
        EXPECT_TRUE(SameRect(call.R, r)) << c.Name;
        EXPECT_EQ(call.Info.ViewKind, uint32_t(vtToolbar)) << c.Name;
        EXPECT_EQ(call.Info.ItemFlags, uint32_t(ifToolbarStyle)) << c.Name;
        EXPECT_EQ(call.Info.Enabled, c.Enabled) << c.Name;
        EXPECT_EQ(call.Info.Pushed, c.Pushed) << c.Name;
        EXPECT_EQ(call.Info.HotState, c.HotState) << c.Name;
        EXPECT_EQ(call.Edit.LeftWidth, c.LeftWidth) << c.Name;
        EXPECT_EQ(call.Edit.RightWidth, c.RightWidth) << c.Name;
        EXPECT_EQ(call.Edit.Button.Kind, c.Kind) << c.Name;
        EXPECT_EQ(call.Edit.Button.State, c.State) << c.Name;
        const auto imageCalls = theme->Of("DrawImageForState");
        ASSERT_EQ(imageCalls.size(), c.ShowImage ? 1u : 0u) << c.Name;
        if (c.ShowImage) {
            EXPECT_TRUE(SameRect(imageCalls[0].R, RECT{5 + 2 + 1, 11, 5 + 2 + 1 + 16, 23})) << c.Name;
            EXPECT_EQ(imageCalls[0].Value, 1) << c.Name;
        }
    }
}

TEST(SkinEditItemViewer, MenuCaptionLeftOfTheBoxThatTheEditTakes)
{
    TRecordingThemeScope theme;
    ChooseEditMetrics(*theme, false);
    TViewFixture f(vtPopup, false);
    auto* item = f.Add<TSkinCustomDropDownItem>(L"");
    item->SetEditCaption(L"&Zoom");
    item->GetFontSettings()->SetBold(TTriState::tsTrue);
    f.View->EnsureLayout();
    auto* viewer = static_cast<TSkinDropDownItemViewer*>(f.ViewerOf(item));
    const RECT bounds = viewer->GetBoundsRect();
    TTestSurface surface(400, 60);
    TTestCanvas canvas(surface.DC(), f.View.get());
    const RECT r{0, 0, bounds.right - bounds.left, bounds.bottom - bounds.top};
    viewer->Paint(canvas.Get(), r, true, false, false);
    const auto texts = theme->Of("DrawItemText");
    const auto boxes = theme->Of("DrawEditItem");
    ASSERT_EQ(texts.size(), 1u);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(texts[0].Text, L"&Zoom");
    EXPECT_EQ(texts[0].R.left, 1 + ComputeImageColumn(viewer) + 2) << "after the image column";
    EXPECT_LE(texts[0].R.right, boxes[0].R.left);
    EXPECT_EQ(boxes[0].Info.ItemFlags & ifToolbarStyle, 0u);
    EXPECT_EQ(boxes[0].Edit.RightWidth, GetSystemMetrics(SM_CXMENUCHECK) + 2) << "a menu's button";
    // The EDIT opens over the same box, less the button.
    RECT field{};
    viewer->EditFieldBounds(field);
    EXPECT_EQ(field.left - bounds.left, boxes[0].R.left);
    EXPECT_EQ(bounds.right - field.right, boxes[0].Edit.RightWidth);
}

// The box of pixels inside r that differ from the colour the theme filled r with.
RECT TextInkIn(const TTestSurface& surface, const RECT& r, uint32_t fill)
{
    RECT ink{r.right, r.bottom, r.left, r.top};
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x)
            if (surface.At(x, y) != fill) {
                ink.left = std::min<LONG>(ink.left, x);
                ink.top = std::min<LONG>(ink.top, y);
                ink.right = std::max<LONG>(ink.right, x + 1);
                ink.bottom = std::max<LONG>(ink.bottom, y + 1);
            }
    return ink;
}

TEST(SkinEditItemViewer, TextFollowsAlignmentAndHidesBehindThePasswordCharacter)
{
    TRecordingThemeScope theme;
    ChooseEditMetrics(*theme, false);
    const uint32_t fill = PixelRGB(TRecordingTheme::PaintColor("DrawEditItem"));
    TViewFixture f(vtToolbar, true);
    auto* item = f.Add<TSkinCustomDropDownItem>(L"");
    item->SetText(L"ab");
    f.View->EnsureLayout();
    const RECT r{0, 0, 150, 26};
    // Inside the frame (2) and the insets (3 across, 1 down), left of the button (15).
    const RECT field{5, 3, 150 - 5 - 15, 23};
    const int textWidth = TextSizeInViewFont(f.View.get(), L"ab", DT_SINGLELINE | DT_NOPREFIX).cx;
    struct TCase {
        const char* Name;
        TAlignment Alignment;
        bool Password;
        int ExpectLeft;     // where the text's cell starts
        int Width;
    };
    const std::wstring hidden = WideStringOfChar(EditPasswordChar(), 2);
    const int hiddenWidth = TextSizeInViewFont(f.View.get(), hidden, DT_SINGLELINE | DT_NOPREFIX).cx;
    const TCase cases[] = {
        {"left", taLeftJustify, false, field.left, textWidth},
        {"right", taRightJustify, false, field.right - textWidth, textWidth},
        {"centred", taCenter, false, (field.left + field.right - textWidth) / 2, textWidth},
        {"password", taLeftJustify, true, field.left, hiddenWidth},
    };
    for (const TCase& c : cases) {
        item->SetAlignment(c.Alignment);
        item->SetPassword(c.Password);
        TTestSurface surface(160, 30);
        TTestCanvas canvas(surface.DC(), f.View.get());
        f.ViewerOf(item)->Paint(canvas.Get(), r, false, false, false);
        const RECT ink = TextInkIn(surface, field, fill);
        ASSERT_LT(ink.left, ink.right) << c.Name << ": some text is drawn";
        // Glyphs sit inside their cells: a bearing of a pixel or two on either side.
        EXPECT_GE(ink.left, c.ExpectLeft) << c.Name;
        EXPECT_LE(ink.left, c.ExpectLeft + 3) << c.Name;
        EXPECT_LE(ink.right, c.ExpectLeft + c.Width) << c.Name;
        EXPECT_GE(ink.right, c.ExpectLeft + c.Width - 3) << c.Name;
    }
}

// A form of an older version: the zoom box kept its lines as "Strings" and a password character.
class TOldZoomBox : public TComponent {
    SF_CLASS(TOldZoomBox)
public:
    using TComponent::TComponent;
    std::wstring PasswordChar = L"*";

protected:
    void DefineProperties(TFiler* filer) override
    {
        TComponent::DefineProperties(filer);
        filer->DefineProperty(
            "Strings", nullptr,
            [](TWriter* w) {
                w->WriteListBegin();
                for (const wchar_t* line : {L"50%", L"\u00e9t\u00e9", L"Auto"})
                    w->WriteWideString(line);
                w->WriteListEnd();
            },
            true);
        filer->DefineProperty(
            "Text", nullptr, [](TWriter* w) { WriteWideStringProp(w, L"\u00e9t\u00e9"); }, true);
        filer->DefineProperty(
            "PasswordChar", nullptr, [this](TWriter* w) { WriteWideStringProp(w, PasswordChar); }, true);
    }
};
SF_IMPLEMENT_COMPONENT(TOldZoomBox, TComponent)

TEST(SkinComboBoxItem, ReadsOlderFormsAndWritesNoListOfItsOwn)
{
    for (const std::wstring passwordChar : {L"*", L"\u0000"}) {
        std::unique_ptr<TOldZoomBox, TObjectFree> old(New<TOldZoomBox>(nullptr));
        old->PasswordChar = passwordChar;
        TMemoryStream stream;
        stream.WriteComponent(old.get());
        stream.SetPosition(0);
        TComboPtr combo(New<TSkinComboBoxItem>(nullptr));
        stream.ReadComponent(combo.get());
        ASSERT_EQ(combo->GetLines()->GetCount(), 3);
        EXPECT_EQ(combo->GetLines()->GetString(1), L"\u00e9t\u00e9");
        EXPECT_EQ(combo->GetItemIndex(), 1) << "the loaded text selects its line";
        EXPECT_EQ(combo->GetPassword(), passwordChar[0] != 0);
        EXPECT_EQ(combo->Count(), 1) << "the list is in the drop-down once";
    }

    // Written and read back, the combo keeps one list: its own.
    RegisterClass(TSkinComboBoxItem::StaticClass());
    TComboPtr combo(New<TSkinComboBoxItem>(nullptr));
    combo->SetText(L"25%");
    TMemoryStream stream;
    stream.WriteComponent(combo.get());
    stream.SetPosition(0);
    TComboPtr read(New<TSkinComboBoxItem>(nullptr));
    stream.ReadComponent(read.get());
    EXPECT_EQ(read->GetText(), L"25%");
    ASSERT_EQ(read->Count(), 1);
    EXPECT_EQ(read->GetItem(0), read->GetList());
}

TEST(SkinEditItem, ViewersPopupsAndStreamedProperties)
{
    TViewFixture vertical(vtToolbar, true, TTBViewAxis::vaVertical);
    auto* combo = vertical.Add<TSkinComboBoxItem>(L"Zoom");
    vertical.View->EnsureLayout();
    EXPECT_TRUE(Is<TSkinItemViewer>(vertical.ViewerOf(combo))) << "a button in a vertical view";
    TMemoryDC dc;
    TTestCanvas canvas(dc.Get(), vertical.View.get());
    int plain = 0, bold = 0, h = 0;
    vertical.ViewerOf(combo)->MeasureSize(canvas.Get(), h, plain);
    combo->GetFontSettings()->SetSize(200);
    vertical.ViewerOf(combo)->MeasureSize(canvas.Get(), h, bold);
    EXPECT_GT(bold, plain) << "the button's caption takes the item's font";
    combo->SetEditOptions(tboUseEditWhenVertical);
    vertical.View->EnsureLayout();
    EXPECT_TRUE(Is<TSkinDropDownItemViewer>(vertical.ViewerOf(combo))) << "unless the options ask for the field";

    // The popup of a field reports the edit-popup type; the combo's holds only its list.
    TViewFixture f(vtToolbar, true);
    auto* edit = f.Add<TSkinEditItem>(L"");
    edit->Add(New<TSkinItem>(nullptr));
    auto* zoom = f.Add<TSkinComboBoxItem>(L"");
    f.View->EnsureLayout();
    for (auto [item, type] : {std::pair<TTBCustomItem*, uint32_t>{edit, vtEditPopup}, {zoom, vtListPopup}}) {
        std::unique_ptr<TTBPopupWindow, TObjectFree> popup(
            item->QueryPopupWindowClass()->Create(nullptr, f.View.get(), item, false));
        ASSERT_TRUE(Is<TSkinPopupWindow>(popup.get()));
        EXPECT_EQ(static_cast<TSkinPopupWindow*>(popup.get())->GetViewType(), type);
    }
}

// ---------------------------------------------------------------------------------------------
// In a toolbar

namespace {

// A toolbar docked at the top of the shared host form: a button, the field under test, a button.
class SkinEditInToolbar : public testing::Test {
protected:
    void SetUp() override
    {
        THostForm::Clear();
        FDock = New<TSkinDock>(THostForm::Form());
        FDock->SetParent(THostForm::Form());
        FToolbar = New<TSkinToolbar>(THostForm::Form());
        FToolbar->SetHideWhenInactive(false);
        auto* before = New<TSkinItem>(THostForm::Form());
        before->SetCaption(L"Before");
        FCombo = New<TSkinComboBoxItem>(THostForm::Form());
        FillLines(FCombo, ZoomLines);
        FCombo->SetEditWidth(80);
        FCombo->SetText(L"100%");
        auto* after = New<TSkinItem>(THostForm::Form());
        after->SetCaption(L"After");
        for (TTBCustomItem* item : {static_cast<TTBCustomItem*>(before), static_cast<TTBCustomItem*>(FCombo),
                                    static_cast<TTBCustomItem*>(after)})
            FToolbar->GetItems()->Add(item);
        FToolbar->SetParent(FDock);
        SetActiveWindow(THostForm::Form()->GetHandle());
        PumpMessages();
    }
    void TearDown() override
    {
        SetAltKey(false);
        THostForm::Clear();
    }

    TTBView* View() const { return FToolbar->GetView(); }
    TSkinDropDownItemViewer* Viewer() const
    {
        return dynamic_cast<TSkinDropDownItemViewer*>(View()->Find(FCombo));
    }
    bool Dropped() const { return View()->GetOpenedViewer() == Viewer(); }
    TSkinCustomListViewer* ListViewer() const
    {
        TTBView* popup = View()->GetOpenedViewerView();
        return popup ? dynamic_cast<TSkinCustomListViewer*>(popup->Find(FCombo->GetList())) : nullptr;
    }
    POINT ComboPoint(int fromRight = 20) const
    {
        const RECT& r = Viewer()->GetBoundsRect();
        return POINT{r.right - fromRight, (r.top + r.bottom) / 2};
    }
    static void SetAltKey(bool down)
    {
        BYTE keys[256] = {};
        GetKeyboardState(keys);
        keys[VK_MENU] = down ? 0x80 : 0;
        SetKeyboardState(keys);
    }

    // The press on the item that starts the toolbar's menu loop, run until the script ends it: by
    // default on the button, with fromRight beyond the button on the field.
    bool ClickCombo(std::vector<std::function<void()>> script, int fromRight = 20)
    {
        const POINT p = ComboPoint(fromRight);
        POINT screen = p;
        ClientToScreen(FToolbar->GetHandle(), &screen);
        SetCursorPos(screen.x, screen.y);
        const bool done = RunScripted(
            [&] { SendMessageW(FToolbar->GetHandle(), WM_LBUTTONDOWN, MK_LBUTTON, ClientPoint(p.x, p.y)); },
            std::move(script));
        PumpMessages();
        return done;
    }
    // A step that posts a key to the window with the focus (the toolbar while the menu runs).
    std::function<void()> Key(WORD vk, bool alt = false) const
    {
        HWND toolbar = FToolbar->GetHandle();
        return [toolbar, vk, alt] {
            HWND target = GetFocus() ? GetFocus() : toolbar;
            SetAltKey(alt);
            const LPARAM data = alt ? LPARAM(1 | (1 << 29)) : 1;
            PostMessageW(target, alt ? WM_SYSKEYDOWN : WM_KEYDOWN, vk, data);
        };
    }
    // A step that posts a press and release of the left button on a line of the dropped list.
    std::function<void()> ClickLine(int line) const
    {
        return [this, line] {
            TSkinCustomListViewer* list = ListViewer();
            ASSERT_NE(list, nullptr);
            const RECT& b = list->GetBoundsRect();
            const int h = list->GetItemHeight();
            POINT p{b.left + 10, b.top + (line - list->GetOffset()) * h + h / 2};
            ClientToScreen(View()->GetOpenedViewerView()->GetWindow()->GetHandle(), &p);
            SetCursorPos(p.x, p.y);
            HWND target = WindowFromPoint(p);
            POINT client = p;
            ScreenToClient(target, &client);
            PostMessageW(target, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(client.x, client.y));
            PostMessageW(target, WM_LBUTTONUP, 0, MAKELPARAM(client.x, client.y));
        };
    }

    TSkinDock* FDock = nullptr;
    TTBCustomToolbar* FToolbar = nullptr;
    TSkinComboBoxItem* FCombo = nullptr;
};

TEST_F(SkinEditInToolbar, ListDroppedByTheMouseSetsTextAndSelection)
{
    FCombo->SetDropDownList(true);
    int clicks = 0;
    FCombo->OnItemClick = [&](TObject*) { ++clicks; };
    bool opened = false;
    int hotAtOpen = -2;
    uint32_t popupType = 0;
    EXPECT_TRUE(ClickCombo({
        [&] {
            opened = Dropped();
            if (TSkinCustomListViewer* list = ListViewer())
                hotAtOpen = list->GetHotIndex();
            popupType = GetViewTypeOfControl(View()->GetOpenedViewerWindow());
        },
        ClickLine(6),
    }));
    EXPECT_TRUE(opened) << "a press anywhere on a list-only field drops the list";
    EXPECT_EQ(hotAtOpen, 4) << "the list opens on the line of the text";
    EXPECT_EQ(popupType, uint32_t(vtListPopup));
    EXPECT_EQ(FCombo->GetItemIndex(), 6);
    EXPECT_EQ(FCombo->GetText(), L"200%");
    EXPECT_EQ(clicks, 1);
    EXPECT_FALSE(Dropped());
}

TEST_F(SkinEditInToolbar, KeysWalkTheDroppedListAndF4AndAltDownToggleIt)
{
    FCombo->SetDropDownList(true);
    int clicks = 0;
    FCombo->OnItemClick = [&](TObject*) { ++clicks; };
    std::vector<bool> dropped;
    std::vector<std::wstring> texts;
    auto note = [&] {
        dropped.push_back(Dropped());
        texts.push_back(FCombo->GetText());
    };
    EXPECT_TRUE(ClickCombo({note, Key(VK_F4), note, Key(VK_DOWN, true), note, Key(VK_F4), note, Key(VK_F4), note,
                            Key(VK_DOWN), Key(VK_DOWN), note, Key(VK_UP), note, Key(VK_RETURN)}));
    EXPECT_EQ(dropped, (std::vector<bool>{true, false, true, false, true, true, true}));
    EXPECT_EQ(texts, (std::vector<std::wstring>{L"100%", L"100%", L"100%", L"100%", L"100%", L"200%", L"150%"}))
        << "the text follows the line the keys select";
    EXPECT_EQ(FCombo->GetItemIndex(), 5);
    EXPECT_EQ(clicks, 1) << "Enter takes the line";
}

// ---- Typing in the field ----

// What the EDIT showed at a step: its text and selection.
struct TEditState {
    std::wstring Text;
    DWORD SelStart = 0, SelEnd = 0;
    bool operator==(const TEditState&) const = default;
};

std::ostream& operator<<(std::ostream& os, const TEditState& s)
{
    return os << "\"" << WideToAnsi(s.Text, CP_UTF8) << "\" [" << s.SelStart << "," << s.SelEnd << ")";
}

class SkinEditTyping : public SkinEditInToolbar {
protected:
    HWND Edit() const { return Viewer()->GetEditWnd(); }
    // A step that posts to the open EDIT.
    std::function<void()> ToEdit(UINT msg, WPARAM wParam, LPARAM lParam = 1) const
    {
        return [this, msg, wParam, lParam] {
            if (HWND edit = Edit())
                PostMessageW(edit, msg, wParam, lParam);
        };
    }
    // Typing a character: the key's release, as the keyboard reports it, and the character.
    std::function<void()> Type(const std::wstring& text) const
    {
        return [this, text] {
            HWND edit = Edit();
            for (wchar_t c : text) {
                PostMessageW(edit, WM_KEYUP, 'A', LPARAM(0xC0000001));
                PostMessageW(edit, WM_CHAR, c, 1);
            }
        };
    }
    // Backspace as the keyboard sends it: the key down becomes the character.
    std::function<void()> Backspace() const { return ToEdit(WM_KEYDOWN, VK_BACK); }
    std::function<void()> Note(std::vector<TEditState>& states) const
    {
        return [this, &states] {
            TEditState s;
            if (HWND edit = Edit()) {
                s.Text.resize(size_t(GetWindowTextLengthW(edit)) + 1);
                s.Text.resize(size_t(GetWindowTextW(edit, s.Text.data(), int(s.Text.size()))));
                SendMessageW(edit, EM_GETSEL, WPARAM(&s.SelStart), LPARAM(&s.SelEnd));
            }
            states.push_back(s);
        };
    }
    // Runs the editing of the field with the script; PerformExecute's answer.
    bool EditWith(std::vector<std::function<void()>> script)
    {
        bool result = false;
        View()->GetDoneActionData() = TTBDoneActionData{};
        TSkinDropDownItemViewer* viewer = Viewer();
        EXPECT_TRUE(RunScripted([&] { result = viewer->PerformExecute(); }, std::move(script)));
        EXPECT_EQ(viewer->GetEditWnd(), nullptr);
        PumpMessages();
        return result;
    }
};

TEST_F(SkinEditTyping, TypedTextIsCompletedThenKeptByEscapeOrOfferedByEnter)
{
    enum TEnd { Escape, Accept, Refuse };
    struct TCase {
        const char* Name;
        std::vector<std::wstring> Keys;   // "\b" is Backspace
        std::wstring Shown;
        DWORD SelStart, SelEnd;
        TEnd End;
        std::wstring Text;                // afterwards
    };
    const TCase cases[] = {
        {"the shortest line wins", {L"2"}, L"25%", 1, 3, Escape, L"100%"},
        {"more typing narrows it", {L"2", L"5"}, L"25%", 2, 3, Escape, L"100%"},
        {"Backspace takes the completion and does not complete again", {L"2", L"\b"}, L"2", 1, 1, Escape,
         L"100%"},
        {"typing after Backspace completes again", {L"2", L"\b", L"5"}, L"25%", 2, 3, Escape, L"100%"},
        {"the shorter of 10% and 100%", {L"10"}, L"10%", 2, 3, Escape, L"100%"},
        {"no line starts so", {L"3"}, L"3", 1, 1, Escape, L"100%"},
        {"Enter offers the completed text, in the line's case", {L"a"}, L"Auto", 1, 4, Accept, L"Auto"},
        {"a refused text leaves the old one", {L"5"}, L"50%", 1, 3, Refuse, L"Auto"},
    };
    int changes = 0;
    FCombo->OnChange = [&](TObject*) { ++changes; };
    std::vector<WORD> keys;
    FCombo->OnTyping = [&](TObject*, WORD key) { keys.push_back(key); };
    std::vector<std::wstring> offered;
    for (const TCase& c : cases) {
        const bool acceptIt = c.End == Accept;
        FCombo->OnAcceptText = [&offered, acceptIt](TObject*, std::wstring& text, bool& accept) {
            offered.push_back(text);
            accept = acceptIt;
        };
        std::vector<TEditState> states;
        std::vector<std::function<void()>> script;
        for (const std::wstring& key : c.Keys)
            script.push_back(key == L"\b" ? Backspace() : Type(key));
        script.push_back(Note(states));
        script.push_back(ToEdit(WM_CHAR, c.End == Escape ? VK_ESCAPE : VK_RETURN));
        EXPECT_EQ(EditWith(std::move(script)), c.End != Escape) << c.Name << ": only Enter ends the menu";
        ASSERT_EQ(states.size(), 1u) << c.Name;
        EXPECT_EQ(states[0], (TEditState{c.Shown, c.SelStart, c.SelEnd})) << c.Name;
        EXPECT_EQ(FCombo->GetText(), c.Text) << c.Name;
    }
    EXPECT_EQ(offered, (std::vector<std::wstring>{L"Auto", L"50%"}));
    EXPECT_EQ(changes, 1) << "only the accepted text changed the item";
    EXPECT_EQ(keys, (std::vector<WORD>{VK_BACK, VK_BACK})) << "each key pressed in the field";
}

TEST_F(SkinEditTyping, UpAndDownStepThroughTheLinesInTheField)
{
    FCombo->SetText(L"x");
    ASSERT_EQ(FCombo->GetItemIndex(), -1);
    std::vector<TEditState> states;
    EditWith({ToEdit(WM_KEYDOWN, VK_DOWN), Note(states), ToEdit(WM_KEYDOWN, VK_DOWN), Note(states),
              ToEdit(WM_KEYDOWN, VK_UP), Note(states), ToEdit(WM_KEYDOWN, VK_UP), Note(states),
              ToEdit(WM_CHAR, VK_ESCAPE)});
    EXPECT_EQ(states, (std::vector<TEditState>{{L"10%", 0, 3}, {L"25%", 0, 3}, {L"10%", 0, 3}, {L"10%", 0, 3}}));
    EXPECT_EQ(FCombo->GetItemIndex(), 0);
    EXPECT_EQ(FCombo->GetText(), L"10%") << "a line chosen in the list is the text at once";

    FCombo->SetItemIndex(8);
    states.clear();
    EditWith({ToEdit(WM_KEYDOWN, VK_DOWN), Note(states), ToEdit(WM_CHAR, VK_ESCAPE)});
    EXPECT_EQ(states, (std::vector<TEditState>{{L"Auto", 0, 4}})) << "Down stops at the last line";

    FillLines(FCombo, {});
    FCombo->SetItemIndex(-1);
    states.clear();
    EditWith({ToEdit(WM_KEYDOWN, VK_DOWN), ToEdit(WM_KEYDOWN, VK_UP), Note(states), ToEdit(WM_CHAR, VK_ESCAPE)});
    EXPECT_EQ(states, (std::vector<TEditState>{{L"Auto", 0, 4}})) << "an empty list steps nowhere";
    EXPECT_EQ(FCombo->GetItemIndex(), -1);
}

TEST_F(SkinEditTyping, F4InTheFieldTogglesTheListAndAClickThereTakesALine)
{
    int clicks = 0;
    FCombo->OnItemClick = [&](TObject*) { ++clicks; };
    std::vector<bool> dropped;
    auto note = [&] { dropped.push_back(Dropped()); };
    std::vector<TEditState> states;
    // The press on the field (left of the button) starts the editing inside the menu loop.
    const RECT& r = Viewer()->GetBoundsRect();
    EXPECT_TRUE(ClickCombo({Note(states), note, ToEdit(WM_KEYDOWN, VK_F4), note, ToEdit(WM_KEYDOWN, VK_F4), note,
                            ToEdit(WM_KEYDOWN, VK_F4), note, ClickLine(2)},
                           r.right - r.left - 10));
    ASSERT_EQ(states.size(), 1u);
    EXPECT_EQ(states[0].Text, L"100%") << "the press opened the field";
    EXPECT_EQ(dropped, (std::vector<bool>{false, true, false, true}));
    EXPECT_EQ(FCombo->GetText(), L"50%") << "the click ends the editing and reaches the list";
    EXPECT_FALSE(Dropped());
    EXPECT_EQ(clicks, 1);
}

TEST_F(SkinEditTyping, TheEditControlTakesStyleFontAndInsets)
{
    FCombo->SetAlignment(taRightJustify);
    FCombo->SetPassword(true);
    FCombo->SetReadOnly(true);
    FCombo->GetEditorFontSettings()->SetBold(TTriState::tsTrue);
    PumpMessages();
    LONG_PTR style = 0;
    LRESULT passwordChar = 0;
    LOGFONTW font{};
    RECT editRect{};
    EditWith({[&] {
                  HWND edit = Edit();
                  style = GetWindowLongPtrW(edit, GWL_STYLE);
                  passwordChar = SendMessageW(edit, EM_GETPASSWORDCHAR, 0, 0);
                  GetObjectW(HFONT(SendMessageW(edit, WM_GETFONT, 0, 0)), sizeof(font), &font);
                  GetWindowRect(edit, &editRect);
                  MapWindowPoints(nullptr, FToolbar->GetHandle(), reinterpret_cast<POINT*>(&editRect), 2);
              },
              ToEdit(WM_CHAR, VK_ESCAPE)});
    EXPECT_TRUE(style & ES_RIGHT);
    EXPECT_TRUE(style & ES_PASSWORD);
    EXPECT_TRUE(style & ES_READONLY);
    EXPECT_EQ(passwordChar, LRESULT(EditPasswordChar()));
    EXPECT_EQ(font.lfWeight, FW_BOLD) << "the editor font";
    // The default theme: frame 2, insets 2 across and 1 down, a button 13 wide.
    RECT expected = Viewer()->GetBoundsRect();
    expected.left += 4;
    expected.top += 3;
    expected.right -= 4 + 13;
    expected.bottom -= 3;
    EXPECT_TRUE(SameRect(editRect, expected));
}

TEST_F(SkinEditTyping, DroppingAndEditingManyTimesLeavesNothingBehind)
{
    // Each round drops the list from a list-only field and closes it, then types into the field
    // with its list dropped by F4 and leaves with Escape.
    auto round = [this] {
        FCombo->SetDropDownList(true);
        EXPECT_TRUE(ClickCombo({Key(VK_DOWN), Key(VK_ESCAPE), Key(VK_ESCAPE)}));
        FCombo->SetDropDownList(false);
        EditWith({ToEdit(WM_KEYDOWN, VK_F4), Type(L"2"), ToEdit(WM_KEYDOWN, VK_F4), ToEdit(WM_CHAR, VK_ESCAPE)});
    };
    round();
    const TResourceCounts before = CountResources();
    for (int i = 0; i < 15; ++i)
        round();
    const TResourceCounts after = CountResources();
    EXPECT_EQ(after, before) << Describe(before) << " -> " << Describe(after);
    EXPECT_FALSE(Dropped());
    EXPECT_EQ(FCombo->GetText(), L"Auto") << "Down in the dropped list went one line further each round";
}

} // namespace
