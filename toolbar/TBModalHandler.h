// The menu loop: while a menu bar entry, a toolbar drop-down or a popup menu is open, this loop
// runs in place of the application's. It holds the mouse capture, routes the mouse to the chain
// of open views, keys to the deepest one and timer ticks to popups, and stops as soon as a view
// sets the root view's done action, the capture goes elsewhere or the active window changes.
// What the menu ended with is carried out afterwards by ApplyDoneAction; a clicked item's Click
// runs later still, from the post queue, once every menu window is gone.
//
// A handler lives for one loop:
//     std::unique_ptr<TTBModalHandler, TObjectFree> handler(New<TTBModalHandler>(wnd));
//     handler->Loop(rootView, ...);
//     TTBDoneActionData done = rootView->GetDoneActionData();
//     handler.reset();   // capture and foreground lock released
//     TTBModalHandler::ApplyDoneAction(done, false);
// TTBView::RunToolbarLoop and TTBCustomItem::Popup do exactly this.
#pragma once

#include <windows.h>

#include <exception>
#include <memory>

#include "platform/ObjectModel.h"
#include "platform/ScopeGuards.h"
#include "toolbar/TBView.h"

class TTBPopupWindow;
class TTBCustomItem;

class TTBModalHandler : public TObject {
    SF_CLASS(TTBModalHandler)
public:
    // Takes the capture for existingWnd, or for the thread's utility window when it is nullptr
    // (created with the thread's first menu, kept for the thread's life); locks the foreground
    // window and announces the menu start to accessibility.
    explicit TTBModalHandler(HWND existingWnd);
    ~TTBModalHandler() override;
    TTBModalHandler(const TTBModalHandler&) = delete;
    TTBModalHandler& operator=(const TTBModalHandler&) = delete;

    HWND GetWnd() const { return FWnd; }
    bool GetCreatedWnd() const { return FCreatedWnd; }
    // The popup window of a popup menu run by this handler (nullptr for toolbars): losing the
    // mode (WM_CANCELMODE to the handler's own window) ends its tracking.
    TTBPopupWindow* GetRootPopup() const { return FRootPopup; }
    void SetRootPopup(TTBPopupWindow* value) { FRootPopup = value; }

    // Runs the loop for the root view until a done action is set, the capture is lost or the
    // active window changes. mouseDown passes the press that started the menu to the selected
    // viewer first; executeSelected runs the selection at once (with priority unless noPriority).
    void Loop(TTBView* rootView, bool mouseDown, bool trackRightButton, bool noPriority, bool executeSelected);

    // Carries out what a menu ended with: queues a clicked item's Click (unless
    // returnClickedItemOnly), opens a system menu or asks for help. The clicked item, else nullptr.
    static TTBCustomItem* ApplyDoneAction(const TTBDoneActionData& done, bool returnClickedItemOnly);

private:
    void RunLoop(TTBView* rootView, bool mouseDown, bool trackRightButton, bool noPriority, bool executeSelected);
    bool LoopGoesOn(TTBView* rootView, HWND activeWnd) const;
    // A message the loop dispatched, or a viewer's handler, freed the root view (its toolbar
    // went): nothing of it may be touched any more.
    bool RootGone() const { return FRootAlive.expired(); }
    bool PressBelongsToMenus(const MSG& msg, TTBView* rootView);
    void HandleMessage(MSG& msg, TTBView* rootView, bool trackRightButton, bool& mouseDownOnMenu);
    void HandleKey(MSG& msg, TTBView* rootView, bool trackRightButton);
    void HandleChar(const MSG& msg, TTBView* rootView, bool trackRightButton);
    void HandleMouse(const MSG& msg, TTBView* rootView, bool trackRightButton, bool& mouseDownOnMenu);
    void MouseMoved(TTBView* rootView, POINT p);
    // The application's hint: the long hint of the deepest selection.
    void UpdateApplicationHint(TTBView* rootView);

    bool FCreatedWnd = false;
    LONG_PTR FOuterHandler = 0;
    bool FInited = false;
    HWND FWnd = nullptr;
    TTBPopupWindow* FRootPopup = nullptr;
    std::weak_ptr<int> FRootAlive;
};

// The deepest view of the chain of open popups below the view.
TTBView* DeepestOpenView(TTBView* view);

// Hands an exception caught while a menu ran to the application's handler. Called once the
// menus are closed, so whatever the handler shows stands alone on the screen.
void ReportMenuException(std::exception_ptr failure) noexcept;
