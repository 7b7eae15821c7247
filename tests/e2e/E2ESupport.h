// What the end-to-end cases share: the program's settings written before a start, hand-built
// projects and pictures, decoded output pictures, and the page view read back from the screen.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ProgramDriver.h"
#include "document/LayerImage.h"
#include "document/SheetfoldProject.h"

// Command keys of the main window.
enum TSheetfoldCommand : int {
    cmdAddPage = 301,
    cmdSave = 307,
    cmdNew = 401,
    cmdOpen = 402,
    cmdSaveAs = 405,
    cmdExport = 406,
    cmdPrint = 407,
    cmdExit = 408,
    cmdCut = 501,
    cmdCopy = 502,
    cmdPaste = 503,
    cmdDelete = 504,
    cmdInsertImage = 701,
};

// The program's settings key under HKEY_CURRENT_USER.
constexpr const char* SheetfoldSettingsKey = "Software\\Sheetfold";
void WriteSetting(const std::string& name, DWORD value);
void WriteSetting(const std::string& name, const std::string& value);
// A REG_DWORD setting, or fallback when it is missing or of another type.
DWORD ReadDwordSetting(const std::string& name, DWORD fallback = 0xFFFFFFFF);
// A REG_SZ setting, or fallback when it is missing or of another type.
std::string ReadStringSetting(const std::string& name, const std::string& fallback = "<missing>");

using TProjectPtr = std::unique_ptr<TSheetfoldProject, TObjectFree>;

// A picture file of one colour at 24 bits per pixel, in the given format (IL_FILE_BMP...).
std::string WriteSolidPicture(const std::string& path, int width, int height, COLORREF color, int format = 6);

TProjectPtr NewTestProject();
// A Letter page (the paper of a page without a printer), turned when landscape is asked.
TSheetfoldPage* AddTestPage(TSheetfoldProject* project, bool landscape = false);
// An image element from the file with the bounds (0.01 mm).
TLayerImage* AddTestImage(TSheetfoldPage* page, const std::string& file, const RECT& bounds, const std::string& name);
TProjectPtr LoadTestProject(const std::string& path);
// The page's image elements, bottom first.
std::vector<TLayerImage*> PageImages(TSheetfoldPage* page);

// A decoded picture: RGB bytes, top row first.
struct TDecodedPicture {
    int Width = 0;
    int Height = 0;
    std::vector<uint8_t> Rgb;
    COLORREF Pixel(int x, int y) const;
};
// Reads a picture file through the imaging library; Width 0 when it cannot.
TDecodedPicture DecodePicture(const std::string& path);

// The client area of a window as it is on the screen.
TDecodedPicture CaptureClient(HWND wnd);
// A rectangle of the screen as it shows now.
TDecodedPicture CaptureScreen(const RECT& screen);
// The box of the pixels close to the colour (each channel within tolerance); empty when none.
RECT FindColorBox(const TDecodedPicture& picture, COLORREF color, int tolerance = 8);
bool NearColor(COLORREF a, COLORREF b, int tolerance);

// Size of a file in bytes, or -1 when it does not exist; and whether the writer has let go of it.
int64_t FileSize(const std::string& path);
bool FileComplete(const std::string& path);

// Save As through the program's dialog onto a new file; true once the caption names the file
// and the file is written.
bool SaveProjectAs(const TProgramDriver& program, const std::string& path);
// File > Export: the save picture dialog with the filter (1 bmp, 2 png, 3 jpg) and the name,
// then the export box with its resolution entry (0: 100 dpi ... 3: 600 dpi). True once the
// picture is written, under writtenAs when the program names it otherwise.
bool ExportPage(const TProgramDriver& program, const std::string& path, int filterIndex, int resolutionIndex,
                const std::string& writtenAs = "");

// The themed bars of the main window's top dock, told apart by the role of their items.
HWND MenuBarOf(const TProgramDriver& program);
HWND ToolbarOf(const TProgramDriver& program);
// The labels of accessible items, in their order.
std::vector<std::wstring> Labels(const std::vector<TAccessibleItem>& items);
// The toolbar's plain buttons (not drop-downs), each with the tip it shows under the mouse.
std::vector<std::pair<TAccessibleItem, std::wstring>> ToolButtonHints(const TProgramDriver& program, HWND toolbar);
// UTF-8, for messages of failed checks.
std::string Narrow(const std::wstring& text);

// Ends a stuck case: once the time is up, every program still running and then the test
// program itself, so that the run fails instead of hanging.
class TCaseWatchdog {
public:
    explicit TCaseWatchdog(DWORD timeoutMs);
    ~TCaseWatchdog();
    TCaseWatchdog(const TCaseWatchdog&) = delete;
    TCaseWatchdog& operator=(const TCaseWatchdog&) = delete;

private:
    static DWORD WINAPI Run(LPVOID param);

    DWORD FTimeout;
    HANDLE FStop;
    HANDLE FThread = nullptr;
};

// The longest a case that drives the program may take.
constexpr DWORD ProgramCaseTimeoutMs = 240000;

// A case that starts the program: settings that keep start-up and closing free of questions
// (no image hint, no demonstration), a driver that always ends the program, and a watchdog.
class TProgramTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Closes the program, answers No to a save question, and expects it to end.
    void CloseProgram(TProgramDriver& program);

    TProgramDriver Program;
    std::unique_ptr<TCaseWatchdog> Watchdog;
};

// A path's quoted form for a command line.
inline std::string Quoted(const std::string& path)
{
    return "\"" + path + "\"";
}

// A window's rectangle on the screen, and the centre of a rectangle.
RECT ScreenRect(HWND wnd);
POINT Centre(const RECT& r);
// What a window answers to a hit test at a point of the screen.
LRESULT HitAt(HWND wnd, POINT screen);
// The first point of the line from `from` in steps of `step` where the window answers the hit
// code, or {-1, -1}.
POINT FindHit(HWND wnd, LRESULT code, POINT from, POINT step, int count);
