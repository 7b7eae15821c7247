// The common controls of comctl32: up-down buttons, progress bars and tab controls.
#pragma once

#include <memory>

#include "platform/StdCtrls.h"

enum TUDBtnType { btNext, btPrev };
using TUDClickEvent = TEvent<TObject*, TUDBtnType>;
using TUDChangingEvent = TEvent<TObject*, bool&>;

// Up and down arrows that step a position between Min and Max. An associated control sits to
// their left and shows the position. OnChanging may refuse a step (the position then stays,
// while OnClick still tells which arrow was pressed).
class TUpDown : public TSystemControl {
    SF_CLASS(TUpDown)
public:
    explicit TUpDown(TComponent* owner = nullptr);

    int GetMin() const { return FMin; }
    void SetMin(int value);
    int GetMax() const { return FMax; }
    void SetMax(int value);
    int GetPosition() const;
    void SetPosition(int value);
    int GetIncrement() const { return FIncrement; }
    void SetIncrement(int value);
    bool GetWrap() const { return FWrap; }
    void SetWrap(bool value);
    TWinControl* GetAssociate() const { return FAssociate; }
    void SetAssociate(TWinControl* value);

    TUDClickEvent OnClick;
    TUDChangingEvent OnChanging;

protected:
    void CreateParams(TCreateParams& params) override;
    void CreateWnd() override;
    void CNNotify(TMessage& message) override;
    void Notification(TComponent* component, TOperation operation) override;
    void Dispatch(TMessage& message) override;

private:
    void ApplyRange();
    void ApplyAssociate();

    int FMin = 0;
    int FMax = 100;
    int FPosition = 0;
    int FIncrement = 1;
    bool FWrap = false;
    TWinControl* FAssociate = nullptr;
};

class TProgressBar : public TSystemControl {
    SF_CLASS(TProgressBar)
public:
    explicit TProgressBar(TComponent* owner = nullptr);

    int GetMin() const { return FMin; }
    void SetMin(int value) { SetRange(value, FMax); }
    int GetMax() const { return FMax; }
    void SetMax(int value) { SetRange(FMin, value); }
    int GetPosition() const { return FPosition; }
    // Clamped to Min..Max.
    void SetPosition(int value);
    int GetStep() const { return FStep; }
    void SetStep(int value);
    void StepIt();
    void StepBy(int delta) { SetPosition(FPosition + delta); }

protected:
    void CreateParams(TCreateParams& params) override;
    void CreateWnd() override;

private:
    void SetRange(int min, int max);

    int FMin = 0;
    int FMax = 100;
    int FPosition = 0;
    int FStep = 10;
};

using TTabChangingEvent = TEvent<TObject*, bool&>;

// A row of tabs over a display area where child controls live. Tabs survive the window being
// made again. Changing the tab by the user asks OnChanging, then tells OnChange.
class TTabControl : public TSystemControl {
    SF_CLASS(TTabControl)
public:
    explicit TTabControl(TComponent* owner = nullptr);
    ~TTabControl() override;

    TStrings* GetTabs() const { return FTabs.get(); }
    void SetTabs(TStrings* value) { FTabs->Assign(value); }
    int GetTabIndex() const;
    void SetTabIndex(int value);
    // The client area below the tabs, where the children go.
    RECT GetDisplayRect();

    TNotifyEvent OnChange;
    TTabChangingEvent OnChanging;

protected:
    void CreateParams(TCreateParams& params) override;
    void CreateWnd() override;
    void DestroyWnd() override;
    void CNNotify(TMessage& message) override;
    void AdjustClientRect(RECT& rect) override;

private:
    std::unique_ptr<TStrings, TObjectFree> FTabs;
    int FKeptIndex = -1;
};
