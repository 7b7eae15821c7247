// The small tool form that carries a dockable window while it floats: its own frame and small
// caption with a close button, hit codes for moving, closing and sizing, all forwarded to the
// window it carries, without taking the activation away from the form the window belongs to.
#pragma once

#include <windows.h>

#include <string>

#include "platform/Forms.h"

class TTBCustomDockableWindow;

// The parts of the floating frame a redraw names.
enum TTBFloatingRedrawPart : uint8_t { frpBorder = 1, frpCaption = 2, frpCloseButton = 4, frpAll = 7 };

class TTBFloatingWindowParent : public TCustomForm {
    SF_CLASS(TTBFloatingWindowParent)
public:
    explicit TTBFloatingWindowParent(TComponent* owner = nullptr);
    void BeforeDestruction() override;
    void Dispatch(TMessage& message) override;

    // Takes on the window to carry and the form it belongs to (which must exist).
    void AttachWindow(TTBCustomDockableWindow* window, TCustomForm* ownerForm);
    // The window leaves for good; the form is about to go.
    void DetachWindow();
    TTBCustomDockableWindow* GetHostedWindow() const { return FHostedWindow; }
    TCustomForm* GetOwnerForm() const { return FOwnerForm; }

    const std::wstring& GetCaption() const { return FCaption; }
    void SetCaption(const std::wstring& value);
    bool GetShowWanted() const { return FShowWanted; }
    // Whether the visibility rules want the form on screen; applied at once.
    void SetShowWanted(bool value);
    bool GetCloseButtonPressed() const { return FCloseButtonPressed; }

    // Geometry in window coordinates: the caption bar (optionally without the close button)
    // and the close button's square.
    RECT CaptionRect(bool minusCloseButton) const;
    RECT CloseButtonRect() const;
    // The hit code of a screen point: HTCLIENT, the private caption and close codes, sizing codes,
    // or HTBORDER.
    LRESULT HitTest(POINT screenPoint) const;
    void RedrawNCArea(uint8_t parts);

protected:
    void CreateParams(TCreateParams& params) override;
    void Notification(TComponent* component, TOperation operation) override;
    // Paints the named parts of the frame; the themed floating form replaces this.
    virtual void DrawNCArea(HDC dc, uint8_t parts);

private:
    SIZE Border() const;
    int CaptionHeight() const;
    void ApplyShowState();
    void TrackCloseButton();
    void WMActivate(TMessage& m);
    void WMMouseActivate(TMessage& m);
    void WMNCLButtonDown(TMessage& m);

    std::wstring FCaption;
    bool FCloseButtonPressed = false;
    TTBCustomDockableWindow* FHostedWindow = nullptr;
    TCustomForm* FOwnerForm = nullptr;
    bool FShowWanted = false;
};
