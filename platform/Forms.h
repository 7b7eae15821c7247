// Forms, the screen and the application: top-level windows with modal loops and closing rules,
// the process-wide message loop with idle processing, hints and the exception handler.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/Controls.h"

enum TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };

enum TBorderIcon : uint8_t { biSystemMenu = 1, biMinimize = 2, biMaximize = 4, biHelp = 8 };
using TBorderIcons = uint8_t;

enum TPosition {
    poDesigned,
    poDefault,
    poDefaultPosOnly,
    poDefaultSizeOnly,
    poScreenCenter,
    poDesktopCenter,
    poMainFormCenter,
    poOwnerFormCenter,
};

// Multiple-document forms are not supported; their styles exist so callers can test for them.
enum TFormStyle { fsNormal, fsMDIChild, fsMDIForm, fsStayOnTop };

enum TCloseAction { caNone, caHide, caFree, caMinimize };

enum TFormStateFlag : uint32_t { fsCreating = 1, fsVisible = 2, fsShowing = 4, fsModal = 8, fsActivated = 16 };
using TFormState = uint32_t;

using TModalResult = int;
constexpr TModalResult mrNone = 0;
constexpr TModalResult mrOk = IDOK;
constexpr TModalResult mrCancel = IDCANCEL;
constexpr TModalResult mrAbort = IDABORT;
constexpr TModalResult mrRetry = IDRETRY;
constexpr TModalResult mrIgnore = IDIGNORE;
constexpr TModalResult mrYes = IDYES;
constexpr TModalResult mrNo = IDNO;
constexpr TModalResult mrAll = mrNo + 1;
constexpr TModalResult mrNoToAll = mrAll + 1;
constexpr TModalResult mrYesToAll = mrNoToAll + 1;

using TCloseEvent = TEvent<TObject*, TCloseAction&>;
using TCloseQueryEvent = TEvent<TObject*, bool&>;
using TShortCutEvent = TEvent<TMessage&, bool&>;

// A top-level window built in code: border, position, showing (modal or not), closing and
// the focused control among its children.
class TCustomForm : public TWinControl {
    SF_CLASS(TCustomForm)
public:
    explicit TCustomForm(TComponent* owner = nullptr);
    void AfterConstruction() override;
    void BeforeDestruction() override;

    TFormBorderStyle GetBorderStyle() const { return FBorderStyle; }
    void SetBorderStyle(TFormBorderStyle value);
    TBorderIcons GetBorderIcons() const { return FBorderIcons; }
    void SetBorderIcons(TBorderIcons value);
    TPosition GetPosition() const { return FPosition; }
    void SetPosition(TPosition value) { FPosition = value; }
    TFormStyle GetFormStyle() const { return FFormStyle; }
    void SetFormStyle(TFormStyle value);
    bool GetKeyPreview() const { return FKeyPreview; }
    void SetKeyPreview(bool value) { FKeyPreview = value; }
    TFormState GetFormState() const { return FFormState; }
    bool GetActive() const { return FActive; }
    // Multiple-document support is absent: no client window and no active child.
    HWND GetClientHandle() const { return nullptr; }
    TCustomForm* GetActiveMDIChild() const { return nullptr; }

    TWinControl* GetActiveControl() const { return FActiveControl; }
    void SetActiveControl(TWinControl* control);
    // Focuses a control of this form, activating the form when it is not active.
    void FocusControl(TWinControl* control);
    // Records the control that received the focus; false refuses it.
    bool SetFocusedControl(TWinControl* control);
    // Forgets a control that goes away (freed or moved to another parent).
    void DefocusControl(TWinControl* control, bool removing);
    void SelectFirst();

    TModalResult GetModalResult() const { return FModalResult; }
    void SetModalResult(TModalResult value) { FModalResult = value; }

    void Show();
    void Hide();
    void Close();
    virtual bool CloseQuery();
    // Shows the form with every other window of the thread disabled and runs the message loop
    // until ModalResult is set or the form closes.
    TModalResult ShowModal();
    // Frees the form once the messages now queued are handled (safe from its own handlers).
    void Release();
    // Lets the menus of the form handle a key message as a shortcut.
    virtual bool IsShortCut(TMessage& message);

    RECT GetClientRect() const override;
    void SetFocus() override;
    // Draws on the form; inside OnPaint it draws on the DC being painted.
    TCanvas* GetCanvas() const { return FCanvas.get(); }

    TNotifyEvent OnCreate;
    TNotifyEvent OnDestroy;
    TNotifyEvent OnShow;
    TNotifyEvent OnHide;
    TNotifyEvent OnActivate;
    TNotifyEvent OnDeactivate;
    TNotifyEvent OnPaint;
    TCloseEvent OnClose;
    TCloseQueryEvent OnCloseQuery;
    TShortCutEvent OnShortCut;

    void Dispatch(TMessage& message) override;

protected:
    void CreateParams(TCreateParams& params) override;
    void CreateWnd() override;
    void PaintWindow(HDC dc) override;
    virtual void DoCreate();
    virtual void DoDestroy();
    virtual void DoShow();
    virtual void DoHide();
    virtual void DoClose(TCloseAction& action);
    virtual void Activate();
    virtual void Deactivate();
    void SetActive(bool value);
    void SetWindowFocus();
    void PlaceOnFirstShow();

    void WMClose(TMessage& m);
    void WMActivate(TMessage& m);
    void WMSysCommand(TMessage& m);
    void CMShowingChanged(TMessage& m);
    void CMDialogKey(TMessage& m);

private:
    void CloseModal();
    // The window styles of the border style, icons and form style.
    void FrameStyle(DWORD& style, DWORD& exStyle) const;

    TFormBorderStyle FBorderStyle = bsSizeable;
    TBorderIcons FBorderIcons = biSystemMenu | biMinimize | biMaximize;
    TPosition FPosition = poDesigned;
    TFormStyle FFormStyle = fsNormal;
    TFormState FFormState = 0;
    bool FKeyPreview = false;
    bool FActive = false;
    bool FPlaced = false;
    TModalResult FModalResult = mrNone;
    TWinControl* FActiveControl = nullptr;
    TWinControl* FFocusedControl = nullptr;
    std::unique_ptr<TControlCanvas, TObjectFree> FCanvas;

    friend class TScreen;
    friend class TApplication;
};

// A form as the program creates it by class.
class TForm : public TCustomForm {
    SF_CLASS(TForm)
public:
    using TCustomForm::TCustomForm;
};

// A window that shows a hint near the mouse without taking the activation.
class THintWindow : public TCustomControl {
    SF_CLASS(THintWindow)
public:
    explicit THintWindow(TComponent* owner = nullptr);
    // Shows the window over the screen rectangle with the text.
    virtual void ActivateHint(RECT rect, const std::string& hint);
    virtual void ActivateHintData(RECT rect, const std::string& hint, void* data);
    // The screen-sized rectangle (origin 0, 0) the text needs, at most maxWidth wide.
    virtual RECT CalcHintRect(int maxWidth, const std::string& hint, void* data);
    virtual bool IsHintMsg(const MSG& msg);
    void ReleaseHandle();

protected:
    void CreateParams(TCreateParams& params) override;
    void Paint() override;
    // Draws the hint's text into the rectangle, in the colours and font Paint selected.
    virtual void PaintText(HDC dc, RECT& rect);
    void Dispatch(TMessage& message) override;
};

// The display: the forms, the active form and control, the cursor, metrics and work area.
class TScreen : public TComponent {
    SF_CLASS(TScreen)
public:
    explicit TScreen(TComponent* owner = nullptr);
    ~TScreen() override;

    int GetFormCount() const { return static_cast<int>(FForms.size()); }
    // Forms, the most recently activated first.
    TCustomForm* GetForm(int index) const;
    TCustomForm* GetActiveForm() const { return FActiveForm; }
    TWinControl* GetActiveControl() const { return FActiveControl; }

    TCursor GetCursor() const { return FCursor; }
    void SetCursor(TCursor value);
    HCURSOR GetCursors(TCursor index);
    void SetCursors(TCursor index, HCURSOR cursor);

    int GetWidth() const;
    int GetHeight() const;
    RECT GetWorkAreaRect() const;
    int GetPixelsPerInch() const { return FPixelsPerInch; }
    // The font hints are shown in (the system's status font).
    TFont* GetHintFont() const { return FHintFont.get(); }
    void SetHintFont(TFont* font) { FHintFont->Assign(font); }

private:
    void AddForm(TCustomForm* form);
    void RemoveForm(TCustomForm* form);
    void MoveFormToFront(TCustomForm* form);

    std::vector<TCustomForm*> FForms;
    TCustomForm* FActiveForm = nullptr;
    TWinControl* FActiveControl = nullptr;
    TCursor FCursor = crDefault;
    int FPixelsPerInch = 96;
    std::unique_ptr<TFont, TObjectFree> FHintFont;
    struct TCursorEntry {
        TCursor Index;
        HCURSOR Handle;
        bool Owned;
    };
    std::vector<TCursorEntry> FCursors;

    friend class TCustomForm;
    friend class TApplication;
};

using TIdleEvent = TEvent<TObject*, bool&>;
using TMessageEvent = TEvent<MSG&, bool&>;
using TExceptionEvent = TEvent<TObject*, const Exception&>;
// A help request (a HELP_ command and its data); set handled when it was answered.
using THelpEvent = TEvent<WORD, ULONG_PTR, bool&>;
// A main-window hook: sees each message of the application window first; true handles it.
using TWindowHook = TEvent<TMessage&, bool&>;

// The process's application object: the hidden application window, the message loop with
// idle processing, the main form, hints and the handler every callback reports exceptions to.
class TApplication : public TComponent {
    SF_CLASS(TApplication)
public:
    explicit TApplication(TComponent* owner = nullptr);
    ~TApplication() override;
    void BeforeDestruction() override;

    void Initialize();
    // Creates a form owned by the application; the first one becomes the main form.
    TCustomForm* CreateForm(TClass formClass);
    template <class T>
    void CreateForm(T*& reference)
    {
        reference = As<T>(CreateForm(T::StaticClass()));
    }
    void Run();
    void ProcessMessages();
    // Handles one message, or runs the idle step (and waits) when the queue is empty.
    void HandleMessage();
    void Terminate();
    bool GetTerminated() const { return FTerminated; }

    TCustomForm* GetMainForm() const { return FMainForm; }
    void SetMainForm(TCustomForm* form) { FMainForm = form; }
    bool GetShowMainForm() const { return FShowMainForm; }
    void SetShowMainForm(bool value) { FShowMainForm = value; }
    HWND GetHandle() const { return FHandle; }
    const std::string& GetTitle() const { return FTitle; }
    void SetTitle(const std::string& value);
    std::string GetExeName() const;
    const std::string& GetHelpFile() const { return FHelpFile; }
    void SetHelpFile(const std::string& value) { FHelpFile = value; }
    // Passes a help request to OnHelp; true when it was answered. The program's help opens
    // through its own command, so nothing else answers.
    bool HelpCommand(WORD command, ULONG_PTR data);
    // The help topic of a context number (HelpCommand with HELP_CONTEXT).
    bool HelpContext(int context);
    bool GetActive() const { return FActive; }
    // A dialog window outside the class library whose keyboard navigation the loop provides.
    HWND GetDialogHandle() const { return FDialogHandle; }
    void SetDialogHandle(HWND wnd) { FDialogHandle = wnd; }

    // Reports the exception being handled (call inside a catch block): EAbort silently,
    // others through OnException or a message box.
    void HandleException(TObject* sender);
    virtual void ShowException(const Exception& e);

    const std::string& GetHint() const { return FHint; }
    void SetHint(const std::string& value);
    bool GetShowHint() const { return FShowHint; }
    void SetShowHint(bool value);
    TColor GetHintColor() const { return FHintColor; }
    void SetHintColor(TColor value) { FHintColor = value; }
    int GetHintPause() const { return FHintPause; }
    void SetHintPause(int value) { FHintPause = value; }
    int GetHintShortPause() const { return FHintShortPause; }
    void SetHintShortPause(int value) { FHintShortPause = value; }
    int GetHintHidePause() const { return FHintHidePause; }
    void SetHintHidePause(int value) { FHintHidePause = value; }
    bool GetHintShortCuts() const { return FHintShortCuts; }
    void SetHintShortCuts(bool value) { FHintShortCuts = value; }
    TControl* GetHintControl() const { return FHintControl; }
    THintWindow* GetHintWindow() const { return FHintWindow; }
    void CancelHint();
    // Shows the hint for the control under a screen point now (what the hint timer does).
    void ActivateHint(POINT cursorPos);
    // Every control passes its mouse messages here so hints follow the mouse.
    void HintMouseMessage(TControl* control, TMessage& message);

    // Hides the hint window when a message means the user moved on (a key, a click).
    bool IsHintMsg(const MSG& msg);

    void HookMainWindow(const TWindowHook& hook);
    void UnhookMainWindow(const TWindowHook& hook);

    // Forgets every reference to a control that is being freed.
    void ControlDestroyed(TControl* control);
    // The application window's messages: hooks first, then WndProc, behind the exception barrier.
    void MainWndProc(TMessage& message);

    TIdleEvent OnIdle;
    TMessageEvent OnMessage;
    TNotifyEvent OnHint;
    TExceptionEvent OnException;
    THelpEvent OnHelp;
    TNotifyEvent OnActivate;
    TNotifyEvent OnDeactivate;

protected:
    virtual void WndProc(TMessage& message);
    virtual void Idle(const MSG& msg);
    bool ProcessMessage(MSG& msg);
    bool IsKeyMsg(MSG& msg);
    bool IsDlgMsg(MSG& msg);

private:
    void CreateHandle();
    void DoMouseIdle();
    void HintTimerExpired();
    void StartHintTimer(int delay, int kind);
    void StopHintTimer();

    HWND FHandle = nullptr;
    HWND FDialogHandle = nullptr;
    TCustomForm* FMainForm = nullptr;
    std::string FTitle;
    std::string FHelpFile;
    std::string FHint;
    bool FTerminated = false;
    bool FShowMainForm = true;
    bool FActive = false;
    bool FHandleCreated = false;
    bool FShowHint = true;
    bool FHintActive = false;
    bool FHintShortCuts = true;
    TColor FHintColor = clInfoBk;
    int FHintPause = 500;
    int FHintShortPause = 50;
    int FHintHidePause = 2500;
    int FHintTimerKind = 0;
    TControl* FHintControl = nullptr;
    RECT FHintCursorRect{};
    THintWindow* FHintWindow = nullptr;
    TControl* FMouseControl = nullptr;
    std::vector<TWindowHook> FWindowHooks;
};

// The application and screen objects; they exist between InitForms and DoneForms.
extern TApplication* Application;
extern TScreen* Screen;
void InitForms();
void DoneForms();

// The exception barrier of every window procedure, hook and callback: reports the exception
// being handled to the application (or the debugger output) and never throws.
void HandleCallbackException(TObject* sender) noexcept;
