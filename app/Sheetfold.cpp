// Program entry: start the units the windows rely on, make the main and progress windows, apply
// the language to both, run the message loop, and shut the units down in reverse order.
#include <windows.h>

#include <objbase.h>

#include "app/HtmlHelpAPI.h"
#include "app/MainForm.h"
#include "app/ProgressFormUnit.h"
#include "app/SfLanguage1.h"
#include "app/XRegistry.h"
#include "graphics/Gfx32.h"
#include "platform/Clipboard.h"
#include "platform/Controls.h"
#include "platform/Forms.h"
#include "platform/Menus.h"
#include "platform/Printers.h"
#include "skin/Skin.h"

namespace {

void RunApplication()
{
    Application->Initialize();
    TSheetfoldForm* mainForm = nullptr;
    Application->CreateForm(mainForm);
    TProgressForm* progressForm = nullptr;
    Application->CreateForm(progressForm);
    mainForm->SetProgressForm(progressForm);
    mainForm->ApplyLanguage("");
    Application->Run();
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    LoadHtmlHelp();
    CF_Sheetfold();
    XRegistry::SetDefaultKey("Software\\Sheetfold");
    Gfx32Startup();
    InitControls();
    InitForms();
    InitMenus();
    InitSkin();
    InitSfLanguage();
    int exitCode = 0;
    try {
        RunApplication();
    } catch (const std::exception& e) {
        MessageBoxA(nullptr, e.what(), "Sheetfold", MB_OK | MB_ICONERROR);
        exitCode = 1;
    }
    // The windows go first: closing the main window stores the printer and uses the language.
    DoneForms();
    DonePrinters();
    DoneClipboard();
    DoneSfLanguage();
    DoneSkin();
    DoneMenus();
    DoneControls();
    Gfx32Shutdown();
    UnloadHtmlHelp();
    CoUninitialize();
    return exitCode;
}
