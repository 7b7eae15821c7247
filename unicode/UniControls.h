// Lets a control of the class library own a Unicode window and keeps the class library's view of
// it working: a wide twin of the control's window class, the window made with the wide API, a
// trap between the window and the control's message handling, wide captions and hints kept for
// controls without a window, and a hint window that shows wide hints.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "platform/Controls.h"
#include "platform/Forms.h"
#include "unicode/UniClasses.h"

// Start-up and shut-down in the start-up order.
void InitUniControls();
void DoneUniControls();

// ---- Wide texts of controls ----

// The wide caption and hint of a control (or any component) whose class library side holds only
// 8-bit ones; each is kept in step with its 8-bit twin.
class TWideControlHelper : public TWideComponentHelper {
    SF_CLASS(TWideControlHelper)
public:
    using TWideComponentHelper::TWideComponentHelper;
    std::wstring& Caption() { return FCaption; }
    std::wstring& Hint() { return FHint; }

private:
    std::wstring FCaption;
    std::wstring FHint;
};

TWideControlHelper* FindWideControlHelper(const TComponent* component);
// The component's helper, made when it has none.
TWideControlHelper* GetWideControlHelper(TComponent* component);

// A control's text as a Unicode window holds it, or as its helper keeps it in step with the
// 8-bit text; the widened 8-bit text where the window (or the platform) is not Unicode.
std::wstring GetWideText(TControl* control);
void SetWideText(TControl* control, const std::wstring& value);
std::wstring GetWideHint(TControl* control);
void SetWideHint(TControl* control, const std::wstring& value);
// The first wide hint that is not empty, from the control up its parents.
std::wstring GetWideParentHint(TControl* control);
// The part of a hint before the first "|", and the part after it; without "|" both are the whole.
std::wstring GetShortHint(const std::wstring& hint);
std::wstring GetLongHint(const std::wstring& hint);

// ---- Wide windows ----

// Makes the control's window with the wide API (from a CreateWindowHandle override): a wide twin
// of the parameters' window class whose default procedure is that of the wide system class
// subClass (DefWindowProcW when empty or unknown), then the trap. Without a Unicode platform the
// 8-bit window is made as the class library would. Failure raises the last system error.
void CreateWideWindow(TWinControl* control, const TCreateParams& params, const std::wstring& subClass, bool ideWindow);
// Registers the parameters' class name + ".UnicodeClass" as a wide class (once for the same
// procedure) and answers the name.
std::wstring RegisterWideWindowClass(const TCreateParams& params, bool ideWindow);
// The first procedure of every wide window: binds it to the control being made.
LRESULT CALLBACK InitWideWndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
// Puts the trap between the control's Unicode window and its message handling and gives the
// window its wide text (the helper's, else the 8-bit caption widened). Raises EUniInternalError
// when the window is not Unicode.
void SubClassUnicodeControl(TWinControl* control, const std::string& ansiCaption, bool ideWindow);

// ---- Characters above 255 on the class library's 8-bit key path ----

// Before the control's key handling sees a WM_CHAR, a character above 255 moves into bits 16..31
// of WParam and the code reads 255; handlers that change the code to another character (or 0)
// replace it. A message carried already is left as it is.
void MakeWMCharMsgSafeForAnsi(TMessage& message);
// Puts the carried character back (when the code still reads 255) and clears bits 16..31.
void RestoreWMCharMsg(TMessage& message);
// The character a WM_CHAR stands for, carried or not.
wchar_t GetWideCharFromWMCharMsg(const TMessage& message);

// The wide hint a Unicode control hands its hint window through THintInfo::HintData.
struct TWideHintData {
    static constexpr uint32_t Tag = 0x48494E55;  // "UNIH"
    uint32_t Signature = Tag;
    std::wstring Text;
};
// The wide hint behind hint data, or nullptr when the data is not a wide hint.
const TWideHintData* AsWideHintData(const void* data);

// One per subclassed window: the window's procedure and the control's default procedure pass
// through it, and it hooks the control's WindowProc, so that texts and characters keep their
// width on the way between the Unicode window and the 8-bit class library.
class TWinControlTrap : public TComponent {
    SF_CLASS(TWinControlTrap)
public:
    explicit TWinControlTrap(TWinControl* control);
    void BeforeDestruction() override;

    TWinControl* GetControl() const { return FControl; }
    HWND GetHandle() const { return FHandle; }

    // Binds a new window: its default procedure goes through the trap from the first message on.
    void Attach(HWND wnd);
    void SubClass(const std::string& ansiCaption);
    void UnSubClass();

    // The trap's window procedure, and the procedure the control's default handling reaches.
    static LRESULT CALLBACK WindowProcedure(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK DefaultProcedure(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
    // The control's WindowProc while the trap is in its chain.
    void WindowProcHandler(TMessage& message);

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    LRESULT DefaultWindowProc(UINT msg, WPARAM wParam, LPARAM lParam);
    bool IsInFlight(const TMessage& message) const;
    bool HandlerInChain();
    void PrepareWideHint(TMessage& message);
    void FreeWhenIdle();

    TWinControl* FControl;
    HWND FHandle = nullptr;
    // The window's procedure and the control's default procedure before the trap came.
    WNDPROC FWindowProc = nullptr;
    WNDPROC FDefWndProc = nullptr;
    TWndMethod FPrevWindowProc;
    // The message the window procedure is handling now (texts from elsewhere are 8-bit).
    struct TInFlight {
        UINT Msg = 0;
        WPARAM WParam = 0;
        LPARAM LParam = 0;
    } FInFlight;
    int FDepth = 0;
    bool FFreePending = false;
    bool FTestingChain = false;
    bool FChainTestSeen = false;
    TWideHintData FHintData;
};

// A hint window with a wide window that shows the wide hints of Unicode controls.
class TUniCustomHintWindow : public THintWindow {
    SF_CLASS(TUniCustomHintWindow)
public:
    using THintWindow::THintWindow;
    void ActivateHintData(RECT rect, const std::string& hint, void* data) override;
    RECT CalcHintRect(int maxWidth, const std::string& hint, void* data) override;
    void Dispatch(TMessage& message) override;

protected:
    void CreateWindowHandle(const TCreateParams& params) override;
    void PaintText(HDC dc, RECT& rect) override;

private:
    bool FActivating = false;
};
