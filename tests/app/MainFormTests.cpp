#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "MainFormTestSupport.h"
#include "app/HtmlHelpAPI.h"
#include "app/MainForm.h"
#include "app/SheetfoldCommands.h"
#include "app/XRegistry.h"
#include "document/Layer.h"
#include "document/SheetfoldProject.h"
#include "document/SheetfoldSelection.h"
#include "document/SheetfoldView.h"
#include "platform/Printers.h"
#include "skin/SkinStrUtils.h"

TEST(SheetfoldCommands, EnablingRulesFollowTheDocumentState)
{
    TEnablingSnapshot empty{.PageCount = 1};
    TEnablingRules r = ComputeEnablingRules(empty);
    EXPECT_FALSE(r.ElementNameBox);
    EXPECT_FALSE(r.Export);
    EXPECT_FALSE(r.Print);
    EXPECT_FALSE(r.DeletePage);
    EXPECT_FALSE(r.Selection);
    EXPECT_FALSE(r.Save);

    // A page with no elements in a one-page project disables Print; a second page enables it.
    TEnablingSnapshot twoPages{.PageCount = 2, .HasPrinter = true};
    EXPECT_TRUE(ComputeEnablingRules(twoPages).Print);
    EXPECT_TRUE(ComputeEnablingRules(twoPages).DeletePage);
    TEnablingSnapshot onePage{.PageCount = 1, .HasPrinter = true};
    EXPECT_FALSE(ComputeEnablingRules(onePage).Print);

    // Without a printer the print group and Setup stay off; Export follows the page content.
    TEnablingSnapshot noPrinter{.PageCount = 1, .ElementCount = 3, .SelectedCount = 2};
    r = ComputeEnablingRules(noPrinter);
    EXPECT_FALSE(r.Print);
    EXPECT_FALSE(r.PrinterSetup);
    EXPECT_TRUE(r.Export);
    EXPECT_TRUE(r.Align);
    EXPECT_TRUE(r.Selection);
    EXPECT_FALSE(r.Rotate);

    TEnablingSnapshot single{.PageCount = 1, .ElementCount = 1, .SelectedCount = 1, .SingleImageOrText = true};
    r = ComputeEnablingRules(single);
    EXPECT_FALSE(r.Align);
    EXPECT_TRUE(r.Rotate);
}

TEST(SheetfoldCommands, CommandsPassTheRulesAndNothingRunsWhileBusy)
{
    TEnablingRules rules = ComputeEnablingRules(TEnablingSnapshot{.PageCount = 1, .Modified = true});
    EXPECT_TRUE(CommandEnabled(cmSave, rules, false));
    EXPECT_TRUE(CommandEnabled(cmToolSave, rules, false));
    EXPECT_FALSE(CommandEnabled(cmToolCut, rules, false));
    EXPECT_FALSE(CommandEnabled(cmDeletePage, rules, false));
    EXPECT_FALSE(CommandEnabled(7005, rules, false));
    EXPECT_TRUE(CommandEnabled(cmNew, rules, false));
    EXPECT_FALSE(CommandEnabled(cmNew, rules, true));
    EXPECT_EQ(CanonicalCommand(cmToolPaste), cmPaste);
    EXPECT_EQ(CanonicalCommand(cmToolSave), cmToolSave);
}

TEST(SheetfoldCommands, AlignKeysMapToTheSelectionsOperations)
{
    const int expected[] = {1, 2, 3, 4, 5, 6, 9, 7, 10, 8};
    for (int key = cmAlignFirst; key <= cmAlignLast; ++key)
        EXPECT_EQ(AlignModeOfCommand(key), expected[key - cmAlignFirst]) << key;
    EXPECT_EQ(AlignModeOfCommand(7001), 0);
    EXPECT_EQ(AlignModeOfCommand(7012), 0);

    int n = 0;
    int d = 0;
    EXPECT_TRUE(ZoomRatio("75%", n, d));
    EXPECT_EQ(n, 3);
    EXPECT_EQ(d, 4);
    EXPECT_FALSE(ZoomRatio("Auto", n, d));
    EXPECT_FALSE(ZoomRatio("33%", n, d));
    EXPECT_STREQ(ZoomChoiceText(ZoomChoiceCount - 1), "Auto");
}

TEST_F(MainFormTest, StartsWithOneUntitledPageAndTheTabsFollowThePages)
{
    EXPECT_EQ(Form->GetCaption(), "Untitled - Sheetfold");
    EXPECT_EQ(Form->GetProject()->Count(), 1);
    EXPECT_EQ(Form->GetTabControl()->GetTabs()->Count(), 1);
    EXPECT_EQ(Form->GetTabControl()->GetTabs()->Get(0), " 1");
    EXPECT_EQ(Form->GetZoomBox()->GetLines()->GetString(Form->GetZoomBox()->GetItemIndex()), L"Auto");

    // Delete Page is refused while there is one page; posting its key is the same as clicking.
    SendMessageA(Form->GetHandle(), WM_COMMAND, cmDeletePage, 0);
    EXPECT_EQ(Form->GetProject()->Count(), 1);
    SendMessageA(Form->GetHandle(), WM_COMMAND, cmAddPage, 0);
    SendMessageA(Form->GetHandle(), WM_COMMAND, cmAddPage, 0);
    EXPECT_EQ(Form->GetProject()->Count(), 3);
    EXPECT_EQ(Form->GetTabControl()->GetTabs()->Count(), 3);
    EXPECT_EQ(Form->GetTabControl()->GetTabs()->Get(2), " 3");
    EXPECT_EQ(Form->GetTabControl()->GetTabIndex(), 2);
    Form->ExecuteCommand(cmDeletePage);
    EXPECT_EQ(Form->GetTabControl()->GetTabs()->Count(), 2);
    EXPECT_EQ(Form->GetTabControl()->GetTabIndex(), Form->GetProject()->GetCurrentPageIndex());
}

TEST_F(MainFormTest, PanelShowsOneElementAndEmptiesForSeveral)
{
    Form->ApplyEnablingRules();
    EXPECT_FALSE(Form->GetLeftEdit()->GetEnabled());
    EXPECT_FALSE(Form->GetTextMemo()->GetEnabled());

    TLayerText* first = AddText("first");
    Form->UpdateProperties(Selection());
    Form->ApplyEnablingRules();
    EXPECT_TRUE(Form->GetTextMemo()->GetEnabled());
    EXPECT_EQ(Form->GetTextMemo()->GetText(), "first");
    EXPECT_EQ(Form->GetNameBox()->GetText(), "Text");
    EXPECT_EQ(Form->GetLeftEdit()->GetText(), Form->FormatLength(first->GetLeft()));

    TLayerText* second = AddText("second");
    second->SetAlign(second->GetAlign() | laCenterHorz);
    Selection()->Add(first);
    ASSERT_EQ(Selection()->Count(), 2);
    Form->UpdateProperties(Selection());
    Form->ApplyEnablingRules();
    EXPECT_TRUE(Form->GetLeftEdit()->GetEnabled());
    EXPECT_FALSE(Form->GetTextMemo()->GetEnabled());
    EXPECT_EQ(Form->GetTextMemo()->GetText(), "");
    EXPECT_EQ(Form->GetFontNameLabel()->GetCaption(), L"");
    // Showing the mixed state must not write it back into the elements.
    EXPECT_TRUE(second->GetAlign() & laCenterHorz);
    EXPECT_FALSE(first->GetAlign() & laCenterHorz);
    EXPECT_TRUE(Form->GetCommandEnabled(7002));
    EXPECT_FALSE(Form->GetCommandEnabled(cmRotate180));
}

TEST_F(MainFormTest, EditsCommitOnEnterAndUpDownsNudgeByOneStep)
{
    TLayerText* text = AddText("t");
    Form->UpdateProperties(Selection());
    Form->GetLeftEdit()->SetText("25.00");
    char enter = '\r';
    Form->GetLeftEdit()->OnKeyPress(Form->GetLeftEdit(), enter);
    EXPECT_EQ(text->GetLeft(), 2500);

    // An empty name is not a name: the element keeps its own.
    Form->GetNameBox()->SetText("");
    Form->GetNameBox()->OnKeyPress(Form->GetNameBox(), enter);
    EXPECT_EQ(text->GetName(), "Text");

    // The arrows are not typed: they step the first element's value.
    TUpDown* upDown = nullptr;
    for (int i = 0; i < Form->GetImagePanel()->GetControlCount(); ++i)
        if (auto* u = dynamic_cast<TUpDown*>(Form->GetImagePanel()->GetControl(i)); u && !upDown)
            upDown = u;
    ASSERT_NE(upDown, nullptr);
    upDown->OnClick(upDown, btNext);
    EXPECT_EQ(text->GetLeft(), 2600);
    Form->SetUnits(true);
    upDown->OnClick(upDown, btPrev);
    // The step is applied as typed text: two decimals of an inch.
    int expected = 0;
    ASSERT_TRUE(Form->ParseLength(Form->FormatLength(2600 - 254), expected));
    EXPECT_EQ(text->GetLeft(), expected);
}

TEST_F(MainFormTest, ZoomAutoFitsThePageAndAFixedRatioScrolls)
{
    Form->GetView()->HandleNeeded();
    Form->GetZoomBox()->SetItemIndex(4);
    Form->ApplyZoom();
    EXPECT_TRUE(Form->GetView()->GetScrollEnabled());
    Form->GetZoomBox()->SetItemIndex(ZoomChoiceCount - 1);
    Form->ApplyZoom();
    EXPECT_FALSE(Form->GetView()->GetScrollEnabled());
}

TEST_F(MainFormTest, BusyWindowRefusesCommands)
{
    Form->BeginProgress(3, "Print...", true);
    EXPECT_TRUE(Form->GetBusy());
    Form->ExecuteCommand(cmAddPage);
    EXPECT_EQ(Form->GetProject()->Count(), 1);
    Form->EndProgress();
    EXPECT_FALSE(Form->GetBusy());
    Form->ExecuteCommand(cmAddPage);
    EXPECT_EQ(Form->GetProject()->Count(), 2);
}

TEST_F(MainFormTest, ClosingWritesTheSettings)
{
    Form->SetImageHintCount(1);
    Form.reset();
    EXPECT_EQ(XRegistry::ReadInteger("InsertImageMessage", 3), 1);
    EXPECT_FALSE(XRegistry::ReadBinary("FontDialog", "").empty());
    EXPECT_EQ(XRegistry::ReadString("Language", ""), "English");
}

TEST_F(MainFormTest, StoredPrinterIsSelectedAndKept)
{
    const std::vector<std::string>& printers = Printer()->GetPrinters();
    if (std::find(printers.begin(), printers.end(), "PDF2") == printers.end()) {
        if (getenv("SF_REQUIRE_PRINTER"))
            FAIL() << "the test CUPS server's printer PDF2 is missing";
        GTEST_SKIP() << "no second PDF printer (CUPS is not running)";
    }
    Form.reset();
    XRegistry::WriteString("Printer", "PDF2");
    Form.reset(New<TTestMainForm>(nullptr));
    EXPECT_EQ(Printer()->GetPrinterName(), "PDF2");
    Form->HandleNeeded();
    Form->ApplyEnablingRules();
    EXPECT_EQ(Printer()->GetPrinterName(), "PDF2");
    Form.reset();
    EXPECT_EQ(XRegistry::ReadString("Printer", ""), "PDF2");
}

TEST(HtmlHelp, RegisteredPathTakesTheWindowsFolder)
{
    EXPECT_EQ(ExpandSystemRoot("%SystemRoot%\\System32\\hhctrl.ocx", "C:\\windows"), "C:\\windows\\System32\\hhctrl.ocx");
    EXPECT_EQ(ExpandSystemRoot("%SYSTEMROOT%\\x.ocx", "D:\\w"), "D:\\w\\x.ocx");
    EXPECT_EQ(ExpandSystemRoot("C:\\other\\hhctrl.ocx", "C:\\windows"), "C:\\other\\hhctrl.ocx");
    EXPECT_EQ(ExpandSystemRoot("%SYSTEM%", "C:\\windows"), "%SYSTEM%");
}

TEST_F(MainFormTest, ThePanelsDockAtTheLeftSizedToTheirRowsAndTheViewTogglesFollowThem)
{
    ShowForm();
    TSkinDockablePanel* panels[] = {Form->GetImagePanel(), Form->GetPrintPanel()};
    const int commands[] = {cmViewImagePanel, cmViewPrintPanel};
    const int width = Form->GetImagePanel()->DesignWidth();
    EXPECT_EQ(Form->GetLeftDock()->ShownPanels(), std::vector<TSkinDockablePanel*>(std::begin(panels), std::end(panels)));
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        TSkinDockablePanel* panel = panels[i];
        auto* item = dynamic_cast<TSkinVisibilityToggleItem*>(Form->FindCommandControl(commands[i]));
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(panel->GetDockedWidth(), width);
        EXPECT_EQ(panel->GetFloatingWidth(), width);
        EXPECT_EQ(panel->GetMinClientWidth(), width);
        EXPECT_GE(panel->GetClientHeight(), panel->GetMinClientHeight());
        // Closed by its own button: hidden, and the View item unchecked; the item shows it again.
        panel->Close();
        Pump();
        EXPECT_FALSE(panel->GetVisible());
        EXPECT_FALSE(item->GetChecked());
        Form->ExecuteCommand(commands[i]);
        EXPECT_TRUE(panel->GetVisible());
        EXPECT_TRUE(item->GetChecked());
        Form->ExecuteCommand(commands[i]);
        EXPECT_FALSE(panel->GetVisible());
        EXPECT_FALSE(item->GetChecked());
        Form->ExecuteCommand(commands[i]);
    }
    EXPECT_EQ(Form->GetLeftDock()->ShownPanels().size(), 2u);
    // The status bar sits at the window's bottom with its grip in the corner.
    EXPECT_TRUE(Form->GetStatusBar()->SizeGripShown());
}
