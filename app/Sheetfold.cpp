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
#include "unicode/UniClasses.h"
#include "unicode/UniControls.h"
#include "unicode/UniForms.h"
#include "unicode/UniMenus.h"
#include "unicode/UniSystem.h"

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
    // The Unicode layer after the application object it hooks: typed characters above 255 then
    // reach the program's wide windows instead of the 8-bit loop's '?'.
    InitUniSystem();
    InitUniClasses();
    InitUniControls();
    InitUniMenus();
    InitUniForms();
    InitSfLanguage();
    int exitCode = 0;
    try {
        RunApplication();
    } catch (const std::exception& e) {
        MessageBoxA(nullptr, e.what(), "Sheetfold", MB_OK | MB_ICONERROR);
        exitCode = 1;
    }
    // The hook goes before the application object it hangs on; the windows go next: closing the
    // main window stores the printer and uses the language.
    DoneUniForms();
    DoneForms();
    DonePrinters();
    DoneClipboard();
    DoneSfLanguage();
    DoneSkin();
    DoneUniMenus();
    DoneUniControls();
    DoneUniClasses();
    DoneUniSystem();
    DoneMenus();
    DoneControls();
    Gfx32Shutdown();
    UnloadHtmlHelp();
    CoUninitialize();
    return exitCode;
}
