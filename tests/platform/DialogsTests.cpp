// Common dialogs driven through their hooks: choosing files, cancelling, several files, hook
// failures, and the font dialog's stored settings. A watchdog closes any dialog left open.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>
#include <dlgs.h>

#include <atomic>
#include <thread>
#include <fstream>
#include <memory>

#include "TestSupport.h"
#include "platform/Dialogs.h"
#include "platform/Printers.h"
#include "platform/Streams.h"

namespace {

// Cancels every dialog of the test's thread once the time is up, so a dialog that the test
// failed to drive ends the test instead of hanging it.
class TDialogWatchdog {
public:
    explicit TDialogWatchdog(DWORD timeoutMs = 8000)
        : FThreadId(GetCurrentThreadId()), FTimeout(timeoutMs), FStop(CreateEventA(nullptr, TRUE, FALSE, nullptr))
    {
        FThread = CreateThread(nullptr, 0, &TDialogWatchdog::Run, this, 0, nullptr);
    }
    ~TDialogWatchdog()
    {
        SetEvent(FStop);
        WaitForSingleObject(FThread, INFINITE);
        CloseHandle(FThread);
        CloseHandle(FStop);
    }
    bool Fired() const { return FFired; }

private:
    static DWORD WINAPI Run(LPVOID param)
    {
        auto* self = static_cast<TDialogWatchdog*>(param);
        while (WaitForSingleObject(self->FStop, self->FTimeout) == WAIT_TIMEOUT) {
            self->FFired = true;
            EnumThreadWindows(self->FThreadId, &TDialogWatchdog::CloseDialog, 0);
        }
        return 0;
    }
    static BOOL CALLBACK CloseDialog(HWND wnd, LPARAM)
    {
        PostMessageA(wnd, WM_COMMAND, IDCANCEL, 0);
        PostMessageA(wnd, WM_CLOSE, 0, 0);
        return TRUE;
    }

    DWORD FThreadId;
    DWORD FTimeout;
    HANDLE FStop;
    HANDLE FThread = nullptr;
    std::atomic<bool> FFired{false};
};

void TypeFileNameAndConfirm(HWND dialog, const std::string& text)
{
    // The file name box is a combo box (cmb13) in the explorer dialog, an edit (edt1) in others.
    SendMessageA(dialog, CDM_SETCONTROLTEXT, cmb13, reinterpret_cast<LPARAM>(text.c_str()));
    SendMessageA(dialog, CDM_SETCONTROLTEXT, edt1, reinterpret_cast<LPARAM>(text.c_str()));
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
}

struct FileDialogs : testing::Test {
    std::string Dir;
    void SetUp() override
    {
        Dir = TestTempDir() + "\\dialogs";
        CreateDirectoryA(Dir.c_str(), nullptr);
        for (const char* name : {"a.txt", "b.txt", "c.dat"})
            std::ofstream(Dir + "\\" + name) << name;
    }
    std::unique_ptr<TOpenDialog, TObjectFree> MakeOpen()
    {
        std::unique_ptr<TOpenDialog, TObjectFree> dlg(New<TOpenDialog>(nullptr));
        dlg->SetInitialDir(Dir);
        dlg->SetFilter("Text (*.txt)|*.txt|All (*.*)|*.*");
        dlg->SetOptions(dlg->GetOptions() | ofFileMustExist);
        return dlg;
    }
};

TEST_F(FileDialogs, ChoosesOneFileThroughTheShowNotification)
{
    auto dlg = MakeOpen();
    dlg->SetFilterIndex(2);
    int shown = 0, closed = 0;
    dlg->OnShow = [&](TObject*) {
        ++shown;
        EXPECT_TRUE(IsWindow(dlg->GetHandle()));
        EXPECT_TRUE(IsWindow(dlg->GetTemplateWindow()));
        TypeFileNameAndConfirm(dlg->GetHandle(), "c.dat");
    };
    dlg->OnClose = [&](TObject*) { ++closed; };
    TDialogWatchdog watchdog;
    ASSERT_TRUE(dlg->Execute());
    EXPECT_FALSE(watchdog.Fired());
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(closed, 1);
    EXPECT_EQ(_stricmp(dlg->GetFileName().c_str(), (Dir + "\\c.dat").c_str()), 0) << dlg->GetFileName();
    ASSERT_EQ(dlg->GetFiles()->Count(), 1);
    EXPECT_EQ(dlg->GetFiles()->Get(0), dlg->GetFileName());
    EXPECT_EQ(dlg->GetFilterIndex(), 2);
    EXPECT_EQ(dlg->GetHandle(), nullptr);
}

TEST_F(FileDialogs, CancelLeavesTheFileNameAlone)
{
    auto dlg = MakeOpen();
    dlg->SetFileName("before.txt");
    dlg->OnShow = [&](TObject*) { PostMessageA(dlg->GetHandle(), WM_COMMAND, IDCANCEL, 0); };
    TDialogWatchdog watchdog;
    EXPECT_FALSE(dlg->Execute());
    EXPECT_FALSE(watchdog.Fired());
    EXPECT_EQ(dlg->GetFileName(), "before.txt");
}

TEST_F(FileDialogs, ChoosesSeveralFiles)
{
    auto dlg = MakeOpen();
    dlg->SetOptions(dlg->GetOptions() | ofAllowMultiSelect);
    dlg->OnShow = [&](TObject*) { TypeFileNameAndConfirm(dlg->GetHandle(), "\"a.txt\" \"b.txt\""); };
    TDialogWatchdog watchdog;
    ASSERT_TRUE(dlg->Execute());
    EXPECT_FALSE(watchdog.Fired());
    ASSERT_EQ(dlg->GetFiles()->Count(), 2);
    EXPECT_EQ(_stricmp(dlg->GetFiles()->Get(0).c_str(), (Dir + "\\a.txt").c_str()), 0) << dlg->GetFiles()->Get(0);
    EXPECT_EQ(_stricmp(dlg->GetFiles()->Get(1).c_str(), (Dir + "\\b.txt").c_str()), 0) << dlg->GetFiles()->Get(1);
    EXPECT_EQ(dlg->GetFileName(), dlg->GetFiles()->Get(0));
}

TEST_F(FileDialogs, SaveAddsTheDefaultExtension)
{
    std::unique_ptr<TSaveDialog, TObjectFree> dlg(New<TSaveDialog>(nullptr));
    dlg->SetInitialDir(Dir);
    dlg->SetFilter("Project (*.sfp)|*.sfp");
    dlg->SetDefaultExt(".sfp");
    dlg->OnShow = [&](TObject*) { TypeFileNameAndConfirm(dlg->GetHandle(), "plan"); };
    TDialogWatchdog watchdog;
    ASSERT_TRUE(dlg->Execute());
    EXPECT_FALSE(watchdog.Fired());
    EXPECT_EQ(_stricmp(dlg->GetFileName().c_str(), (Dir + "\\plan.sfp").c_str()), 0) << dlg->GetFileName();
}

TEST_F(FileDialogs, HookFailureEndsTheDialogAndReachesTheCaller)
{
    auto dlg = MakeOpen();
    int closed = 0;
    dlg->OnShow = [](TObject*) { throw EConvertError("bad preview"); };
    dlg->OnClose = [&](TObject*) { ++closed; };
    TDialogWatchdog watchdog;
    try {
        dlg->Execute();
        ADD_FAILURE() << "no exception";
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "bad preview");
    }
    EXPECT_FALSE(watchdog.Fired());
    EXPECT_EQ(closed, 1);
    // The dialog is usable again afterwards.
    dlg->OnShow = [&](TObject*) { PostMessageA(dlg->GetHandle(), WM_COMMAND, IDCANCEL, 0); };
    EXPECT_FALSE(dlg->Execute());
}

HWND FindChildOfClass(HWND parent, const char* className)
{
    for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char name[64] = {};
        GetClassNameA(child, name, sizeof(name));
        if (lstrcmpiA(name, className) == 0)
            return child;
        if (HWND found = FindChildOfClass(child, className))
            return found;
    }
    return nullptr;
}

void CALLBACK SelectFirstFile(HWND dialog, UINT, UINT_PTR id, DWORD)
{
    KillTimer(dialog, id);
    HWND listView = FindChildOfClass(dialog, "SysListView32");
    if (!listView) {
        PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        return;
    }
    LVITEMA item{};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageA(listView, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&item));
}

TEST_F(FileDialogs, SelectionChangeFollowsTheHighlightedFile)
{
    auto dlg = MakeOpen();
    std::string highlighted;
    // The shell view fills its list after the dialog is shown: select a little later.
    dlg->OnShow = [&](TObject*) { SetTimer(dlg->GetHandle(), 1, 300, &SelectFirstFile); };
    dlg->OnSelectionChange = [&](TObject*) {
        // Before a file is highlighted the dialog may report its folder.
        if (GetFileAttributesA(dlg->GetFileName().c_str()) & FILE_ATTRIBUTE_DIRECTORY)
            return;
        highlighted = dlg->GetFileName();
        PostMessageA(dlg->GetHandle(), WM_COMMAND, IDCANCEL, 0);
    };
    TDialogWatchdog watchdog;
    EXPECT_FALSE(dlg->Execute());
    EXPECT_FALSE(watchdog.Fired());
    EXPECT_EQ(_stricmp(highlighted.c_str(), (Dir + "\\a.txt").c_str()), 0) << highlighted;
}

TEST(FontDialog, ConfirmedDialogKeepsTheFont)
{
    std::unique_ptr<TFontDialog, TObjectFree> dlg(New<TFontDialog>(nullptr));
    dlg->GetFont()->SetName("Arial");
    dlg->GetFont()->SetSize(12);
    dlg->GetFont()->SetColor(clRed);
    int shown = 0;
    dlg->OnShow = [&](TObject*) {
        ++shown;
        PostMessageA(dlg->GetHandle(), WM_COMMAND, IDOK, 0);
    };
    TDialogWatchdog watchdog;
    ASSERT_TRUE(dlg->Execute());
    EXPECT_FALSE(watchdog.Fired());
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(dlg->GetFont()->GetSize(), 12);
    EXPECT_EQ(dlg->GetFont()->GetColor() & 0xFFFFFF, clRed);
    EXPECT_FALSE(dlg->GetFont()->GetName().empty());
}

TEST(FontDialog, SettingsStreamAsAComponent)
{
    std::unique_ptr<TFontDialog, TObjectFree> dlg(New<TFontDialog>(nullptr));
    dlg->GetFont()->SetName("Courier New");
    dlg->GetFont()->SetSize(14);
    dlg->GetFont()->SetStyle(TFontStyles{fsBold, fsItalic});
    dlg->GetFont()->SetColor(clBlue);
    dlg->SetOptions(fdEffects | fdLimitSize);
    dlg->SetMinFontSize(8);
    dlg->SetMaxFontSize(72);

    std::unique_ptr<TMemoryStream, TObjectFree> stream(New<TMemoryStream>());
    stream->WriteComponent(dlg.get());
    stream->SetPosition(0);
    std::unique_ptr<TFontDialog, TObjectFree> back(New<TFontDialog>(nullptr));
    stream->ReadComponent(back.get());
    EXPECT_EQ(back->GetFont()->GetName(), "Courier New");
    EXPECT_EQ(back->GetFont()->GetHeight(), dlg->GetFont()->GetHeight());
    EXPECT_TRUE(back->GetFont()->GetStyle() == (TFontStyles{fsBold, fsItalic}));
    EXPECT_EQ(back->GetFont()->GetColor(), clBlue);
    EXPECT_EQ(back->GetOptions(), fdEffects | fdLimitSize);
    EXPECT_EQ(back->GetMinFontSize(), 8);
    EXPECT_EQ(back->GetMaxFontSize(), 72);

    // A damaged blob raises.
    std::string bytes(static_cast<size_t>(stream->GetSize()), '\0');
    stream->SetPosition(0);
    stream->ReadBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
    std::unique_ptr<TMemoryStream, TObjectFree> cut(New<TMemoryStream>());
    cut->WriteBuffer(bytes.data(), static_cast<int32_t>(bytes.size() / 2));
    cut->SetPosition(0);
    std::unique_ptr<TFontDialog, TObjectFree> broken(New<TFontDialog>(nullptr));
    EXPECT_THROW(cut->ReadComponent(broken.get()), EReadError);
}

TEST(PrinterSetupDialog, AppliesTheConfirmedSettingsToThePrinter)
{
    std::unique_ptr<TPrinterSetupDialog, TObjectFree> dlg(New<TPrinterSetupDialog>(nullptr));
    TPrinter* printer = Printer();
    TDialogWatchdog watchdog;
    if (printer->GetPrinters().empty()) {
        // Without a printer the system dialog refuses to open; that is reported, not hidden.
        EXPECT_THROW(dlg->Execute(), EInvalidOperation);
        return;
    }
    int shown = 0;
    dlg->OnShow = [&](TObject*) {
        ++shown;
        PostMessageA(dlg->GetHandle(), WM_COMMAND, IDOK, 0);
    };
    int index = printer->GetPrinterIndex();
    for (TPrinterOrientation orientation : {TPrinterOrientation::poLandscape, TPrinterOrientation::poPortrait}) {
        printer->SetOrientation(orientation);
        ASSERT_TRUE(dlg->Execute());
        EXPECT_EQ(printer->GetOrientation(), orientation);
        EXPECT_EQ(printer->GetPrinterIndex(), index);
    }
    EXPECT_EQ(shown, 2);
    dlg->OnShow = [&](TObject*) { PostMessageA(dlg->GetHandle(), WM_COMMAND, IDCANCEL, 0); };
    printer->SetOrientation(TPrinterOrientation::poLandscape);
    EXPECT_FALSE(dlg->Execute());
    EXPECT_EQ(printer->GetOrientation(), TPrinterOrientation::poLandscape);
    printer->SetOrientation(TPrinterOrientation::poPortrait);
    EXPECT_FALSE(watchdog.Fired());
}

TEST(MessageDlg, ShowsTheTextUnderTheGivenCaptionAndGivesTheButton)
{
    std::atomic<bool> found{false};
    std::atomic<bool> done{false};
    std::thread presser([&] {
        for (int i = 0; i < 100 && !done; ++i) {
            if (HWND box = FindWindowA(nullptr, "Sheetfold test")) {
                found = true;
                PostMessageA(box, WM_COMMAND, IDCANCEL, 0);
                return;
            }
            Sleep(50);
        }
    });
    TDialogWatchdog watchdog;
    int answer = MessageDlg("File exists. Overwrite?", "Sheetfold test", MB_OKCANCEL | MB_ICONWARNING);
    done = true;
    presser.join();
    EXPECT_TRUE(found);
    EXPECT_EQ(answer, IDCANCEL);
    EXPECT_FALSE(watchdog.Fired());
}

}
