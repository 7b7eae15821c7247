// The export, paste-as, progress and About windows: texts from the language, what OK and Cancel
// leave behind, and the keys that close them. Modal windows are driven from inside their loops.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "DialogLanguage.h"
#include "DialogTestSupport.h"
#include "app/Export.h"
#include "app/PasteForm.h"
#include "app/ProgressFormUnit.h"
#include "app/SheetfoldAboutForm.h"
#include "platform/ScopeGuards.h"

namespace {

// The modal form of the application's thread that is shown now (the one the steps drive).
TExportForm* ShownExportForm()
{
    for (int i = 0; i < Screen->GetFormCount(); ++i)
        if (auto* form = dynamic_cast<TExportForm*>(Screen->GetForm(i)))
            if (form->GetVisible())
                return form;
    return nullptr;
}

std::function<bool()> OnExportForm(std::function<void(TExportForm*)> action)
{
    return [action] {
        TExportForm* form = ShownExportForm();
        if (!form)
            return false;
        action(form);
        return true;
    };
}

void PressKey(HWND wnd, WORD key)
{
    PostMessageA(wnd, WM_KEYDOWN, key, 1);
    PostMessageA(wnd, WM_KEYUP, key, 0xC0000001);
}

}  // namespace

TEST(ExportBox, ResolutionTextsAreNumbersWithOrWithoutDpi)
{
    int resolution = 0;
    for (const char* good : {"600 dpi", "150", " 300 DPI ", "250dpi"}) {
        EXPECT_TRUE(ParseExportResolution(good, resolution)) << good;
    }
    EXPECT_EQ(resolution, 250);
    for (const char* bad : {"", "dpi", "0 dpi", "-100 dpi", "abc", "100 dots", "1e3 dpi", "dpi 100"})
        EXPECT_FALSE(ParseExportResolution(bad, resolution)) << bad;
    EXPECT_EQ(resolution, 250);
}

TEST(ExportBox, TheFourthItemGivesSixHundred)
{
    TEnglishTexts texts;
    int resolution = 0;
    std::string caption, shown;
    std::wstring prompt, ok;
    int items = 0, chosen = -1;
    TDialogWatchdog watchdog;
    TScriptedSteps script({OnExportForm([&](TExportForm* form) {
        caption = form->GetCaption();
        char text[64] = {};
        GetWindowTextA(form->GetResolutionComboBox()->GetHandle(), text, sizeof(text));
        shown = text;
        prompt = form->GetPromptLabel()->GetCaption();
        ok = form->GetOkButton()->GetCaption();
        items = form->GetResolutionComboBox()->GetItems()->Count();
        chosen = form->GetResolutionComboBox()->GetItemIndex();
        form->GetResolutionComboBox()->SetItemIndex(3);
        SendMessageA(form->GetOkButton()->GetHandle(), BM_CLICK, 0, 0);
    })});
    EXPECT_TRUE(ExecuteExport(resolution));
    EXPECT_FALSE(watchdog.Fired());
    EXPECT_EQ(resolution, 600);
    EXPECT_EQ(caption, "Rasterize");
    EXPECT_EQ(prompt, L"Rasterize at this resolution:");
    EXPECT_EQ(ok, L"Ok");
    EXPECT_EQ(items, 4);
    EXPECT_EQ(chosen, 0);
    // The box opens on its first item, not on the combo box's name.
    EXPECT_EQ(shown, "100 dpi");
}

TEST(ExportBox, CancelGivesFalseEvenWithAnInvalidEntry)
{
    TEnglishTexts texts;
    int resolution = 42;
    TDialogWatchdog watchdog;
    {
        TScriptedSteps script({OnExportForm([](TExportForm* form) {
            form->GetResolutionComboBox()->SetText(L"abc");
            SendMessageA(form->GetCancelButton()->GetHandle(), BM_CLICK, 0, 0);
        })});
        EXPECT_FALSE(ExecuteExport(resolution));
    }
    {
        TScriptedSteps script({OnExportForm([](TExportForm* form) {
            form->GetResolutionComboBox()->SetText(L"0 dpi");
            PostMessageA(form->GetHandle(), WM_CLOSE, 0, 0);
        })});
        EXPECT_FALSE(ExecuteExport(resolution));
    }
    EXPECT_FALSE(watchdog.Fired());
    EXPECT_EQ(resolution, 42);
}

TEST(ExportBox, AnInvalidEntryIsRefusedAndAValidOneAccepted)
{
    TEnglishTexts texts;
    int resolution = 0;
    int refused = 0;
    TDialogWatchdog watchdog(15000);
    TScriptedSteps script({OnExportForm([](TExportForm* form) {
                               form->GetResolutionComboBox()->SetText(L"12a");
                               SendMessageA(form->GetOkButton()->GetHandle(), BM_CLICK, 0, 0);
                           }),
                           [&] {
                               HWND box = FindThreadDialog("Rasterization");
                               if (!box)
                                   return false;
                               EXPECT_EQ(MessageBoxText(box),
                                         "The resolution value is incorrect.  It has to be a positive value above 0.");
                               ++refused;
                               EndDialog(box, IDOK);
                               return true;
                           },
                           OnExportForm([](TExportForm* form) {
                               if (FindThreadDialog("Rasterization"))
                                   return;
                               form->GetResolutionComboBox()->SetText(L"650 dpi");
                               SendMessageA(form->GetOkButton()->GetHandle(), BM_CLICK, 0, 0);
                           })});
    EXPECT_TRUE(ExecuteExport(resolution, 700));
    EXPECT_FALSE(watchdog.Fired());
    EXPECT_EQ(refused, 1);
    EXPECT_EQ(resolution, 650);
}

TEST(PasteAsBox, ChosenItemOnPasteAndTextsByTag)
{
    TEnglishTexts texts;
    std::unique_ptr<TPasteAsForm, TObjectFree> form(New<TPasteAsForm>(nullptr));
    EXPECT_EQ(form->GetCaption(), "Paste As...");
    EXPECT_EQ(form->GetPasteButton()->GetCaption(), "Paste");
    EXPECT_EQ(form->GetCancelButton()->GetCaption(), "Cancel");
    EXPECT_TRUE(form->GetPasteButton()->GetDefault());
    for (const char* item : {"Text", "Metafile", "Bitmap"})
        form->GetRadioGroup()->GetItems()->Add(item);
    form->GetRadioGroup()->SetItemIndex(0);
    TDialogWatchdog watchdog;
    {
        TScriptedSteps script({[&] {
            SendMessageA(form->GetRadioGroup()->GetButton(2)->GetHandle(), BM_CLICK, 0, 0);
            SendMessageA(form->GetPasteButton()->GetHandle(), BM_CLICK, 0, 0);
            return true;
        }});
        EXPECT_EQ(form->ShowModal(), mrOk);
    }
    EXPECT_EQ(form->GetRadioGroup()->GetItemIndex(), 2);
    {
        TScriptedSteps script({[&] {
            SendMessageA(form->GetCancelButton()->GetHandle(), BM_CLICK, 0, 0);
            return true;
        }});
        EXPECT_EQ(form->ShowModal(), mrCancel);
    }
    EXPECT_FALSE(watchdog.Fired());
}

TEST(ProgressWindow, HeightFollowsTheAbortButtonAndShowingClearsTheFlag)
{
    TEnglishTexts texts;
    std::unique_ptr<TProgressForm, TObjectFree> form(New<TProgressForm>(nullptr));
    TSfLanguage::Instance()->ApplyToTree(form.get(), "Interface");
    EXPECT_EQ(form->GetAbortButton()->GetCaption(), "Cancel");
    EXPECT_EQ(form->GetBorderStyle(), bsToolWindow);
    EXPECT_EQ(form->GetBorderIcons(), 0);
    EXPECT_EQ(form->GetHeight(), 54);
    EXPECT_FALSE(form->GetAbortButton()->GetVisible());
    form->SetCanAbort(true);
    EXPECT_EQ(form->GetHeight(), 88);
    EXPECT_TRUE(form->GetAbortButton()->GetVisible());
    EXPECT_TRUE(form->GetAbortButton()->GetDefault());

    form->Show();
    EXPECT_FALSE(form->GetAborted());
    SendMessageA(form->GetAbortButton()->GetHandle(), BM_CLICK, 0, 0);
    Application->ProcessMessages();
    EXPECT_TRUE(form->GetAborted());
    form->GetProgressBar()->SetPosition(40);
    EXPECT_EQ(form->GetProgressBar()->GetPosition(), 40);
    form->Hide();
    EXPECT_TRUE(form->GetAborted()) << "the flag stays for the caller to read";
    form->Show();
    EXPECT_FALSE(form->GetAborted());
    form->SetCanAbort(false);
    EXPECT_EQ(form->GetHeight(), 54);
    form->Hide();
}

TEST(AboutBox, LinkCaptionsShowTheHost)
{
    EXPECT_EQ(LinkHost("http://www.sheetfold.com/"), "www.sheetfold.com");
    EXPECT_EQ(LinkHost("http://www.sheetfold.com/support/"), "www.sheetfold.com");
    EXPECT_EQ(LinkHost("https://example.org:8080/x"), "example.org");
    EXPECT_EQ(LinkHost("mailto:help@example.org"), "help@example.org");
    EXPECT_EQ(LinkHost("\"http://quoted.example\""), "quoted.example");
    EXPECT_EQ(LinkHost("www.plain.example/path"), "www.plain.example");
    EXPECT_EQ(LinkHost("http://"), "");
    EXPECT_EQ(LinkHost(""), "");
}

TEST(AboutBox, LogoFillsTheBoxAndTheTextsSitOnIt)
{
    TEnglishTexts texts;
    std::unique_ptr<TAboutForm, TObjectFree> form(New<TAboutForm>(nullptr));
    EXPECT_EQ(form->GetCaption(), "About...");
    EXPECT_EQ(form->GetClientWidth(), 486);
    EXPECT_EQ(form->GetClientHeight(), 300);
    EXPECT_TRUE(form->GetKeyPreview());
    TILLogoBackground* logo = form->GetLogo();
    EXPECT_EQ(logo->GetName(), "Logo");
    EXPECT_EQ(logo->GetLogoWidth(), 486);
    EXPECT_EQ(logo->GetLogoHeight(), 300);
    EXPECT_EQ(logo->GetWidth(), 486);
    EXPECT_EQ(logo->GetHeight(), 300);
    EXPECT_EQ(SendMessageA(logo->GetHandle(), WM_ERASEBKGND, 0, 0), 1);

    ASSERT_EQ(logo->GetControlCount(), 6);
    std::vector<TLabel*> labels;
    for (int i = 0; i < 6; ++i)
        labels.push_back(dynamic_cast<TLabel*>(logo->GetControl(i)));
    for (TLabel* label : labels)
        ASSERT_NE(label, nullptr);
    EXPECT_EQ(labels[0]->GetCaption(), "version");
    EXPECT_TRUE(labels[0]->GetFont()->GetStyle().Contains(fsBold));
    EXPECT_EQ(labels[0]->GetLeft(), 16);
    EXPECT_EQ(labels[0]->GetTop(), 75);
    EXPECT_EQ(labels[1]->GetCaption(), "1.7.0");
    EXPECT_GT(labels[1]->GetLeft(), labels[0]->GetLeft() + labels[0]->GetWidth());
    EXPECT_EQ(labels[1]->GetTop(), 75);
    EXPECT_EQ(labels[2]->GetCaption(), "Web:");
    EXPECT_EQ(labels[2]->GetAlignment(), taRightJustify);
    EXPECT_EQ(labels[2]->GetBoundsRect().left, 16);
    EXPECT_EQ(labels[2]->GetWidth(), 75);
    EXPECT_EQ(labels[2]->GetTop(), 126);
    EXPECT_EQ(labels[3]->GetCaption(), "www.sheetfold.com");
    EXPECT_EQ(labels[3]->GetHint(), TAboutForm::WebAddress);
    EXPECT_EQ(labels[3]->GetFont()->GetColor(), static_cast<TColor>(0xFF0000));
    EXPECT_TRUE(labels[3]->GetFont()->GetStyle().Contains(fsUnderline));
    EXPECT_EQ(labels[3]->GetCursor(), crHandPoint);
    EXPECT_GT(labels[3]->GetLeft(), 16 + 75);
    EXPECT_EQ(labels[4]->GetCaption(), "Support:");
    EXPECT_EQ(labels[4]->GetLeft(), 16);
    EXPECT_GT(labels[4]->GetTop(), labels[3]->GetTop() + labels[3]->GetHeight());
    EXPECT_EQ(labels[5]->GetHint(), TAboutForm::SupportAddress);
    EXPECT_EQ(labels[5]->GetTop(), labels[4]->GetTop());
    EXPECT_EQ(labels[5]->GetLeft(), labels[3]->GetLeft());
}

TEST(AboutBox, EscapeAndEnterCloseItOtherKeysDoNot)
{
    TEnglishTexts texts;
    std::unique_ptr<TAboutForm, TObjectFree> form(New<TAboutForm>(nullptr));
    TDialogWatchdog watchdog(15000);
    for (WORD key : {WORD(VK_ESCAPE), WORD(VK_RETURN)}) {
        bool stayedOpen = false;
        TScriptedSteps script({[&] {
                                   PressKey(form->GetHandle(), 'A');
                                   PressKey(form->GetHandle(), VK_SPACE);
                                   return true;
                               },
                               [&] {
                                   stayedOpen = IsWindowVisible(form->GetHandle()) != FALSE;
                                   PressKey(form->GetHandle(), key);
                                   return true;
                               }});
        form->ShowModal();
        EXPECT_TRUE(stayedOpen);
        EXPECT_TRUE(script.Done());
    }
    EXPECT_FALSE(watchdog.Fired());
}

TEST(AboutBox, TheLogoPaintsItsPicture)
{
    TEnglishTexts texts;
    std::unique_ptr<TAboutForm, TObjectFree> form(New<TAboutForm>(nullptr));
    form->Show();
    {
        TWindowDC screen;
        TGdiObject<HBITMAP> bitmap(CreateCompatibleBitmap(screen.Get(), 486, 300));
        TBitmapDC dc(screen.Get(), bitmap.Get());
        RECT all{0, 0, 486, 300};
        FillRect(dc.Get(), &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        form->GetLogo()->PaintTo(dc.Get(), 0, 0);
        // The orange block on the sheet, and the light background at the bottom left.
        EXPECT_EQ(GetPixel(dc.Get(), 370, 205) & 0xFFFFFF, RGB(230, 140, 60));
        COLORREF corner = GetPixel(dc.Get(), 5, 295) & 0xFFFFFF;
        EXPECT_GT(GetBValue(corner), 200);
        EXPECT_GT(GetRValue(corner), 180);
    }
    form->Hide();
}
