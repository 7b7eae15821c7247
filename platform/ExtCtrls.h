// Painted controls: panels with bevels, bevels, paint boxes, radio groups and speed buttons.
#pragma once

#include <memory>
#include <vector>

#include "platform/StdCtrls.h"

enum TBevelCut { bvNone, bvLowered, bvRaised };

// A container painted with an outer and inner bevel, a border and a centred caption.
class TPanel : public TCustomControl {
    SF_CLASS(TPanel)
public:
    explicit TPanel(TComponent* owner = nullptr);

    TBevelCut GetBevelOuter() const { return FBevelOuter; }
    void SetBevelOuter(TBevelCut value);
    TBevelCut GetBevelInner() const { return FBevelInner; }
    void SetBevelInner(TBevelCut value);
    int GetBevelWidth() const { return FBevelWidth; }
    void SetBevelWidth(int value);
    int GetBorderWidth() const { return FBorderWidth; }
    void SetBorderWidth(int value);
    TAlignment GetAlignment() const { return FAlignment; }
    void SetAlignment(TAlignment value);

    void Dispatch(TMessage& message) override;

protected:
    void Paint() override;
    // Children are laid out inside the bevels and the border.
    void AdjustClientRect(RECT& rect) override;

private:
    void Changed();
    void DrawBevel(HDC dc, RECT& r, TBevelCut cut);

    TBevelCut FBevelOuter = bvRaised;
    TBevelCut FBevelInner = bvNone;
    int FBevelWidth = 1;
    int FBorderWidth = 0;
    TAlignment FAlignment = taCenter;
};

enum TBevelShape { bsBox, bsFrame, bsTopLine, bsBottomLine, bsLeftLine, bsRightLine, bsSpacer };
enum TBevelStyle { bsLowered, bsRaised };

class TBevel : public TGraphicControl {
    SF_CLASS(TBevel)
public:
    explicit TBevel(TComponent* owner = nullptr);

    TBevelShape GetShape() const { return FShape; }
    void SetShape(TBevelShape value);
    TBevelStyle GetStyle() const { return FStyle; }
    void SetStyle(TBevelStyle value);

protected:
    void Paint() override;

private:
    TBevelShape FShape = bsBox;
    TBevelStyle FStyle = bsLowered;
};

// A windowless area its owner paints in OnPaint through Canvas (valid while painting).
class TPaintBox : public TGraphicControl {
    SF_CLASS(TPaintBox)
public:
    explicit TPaintBox(TComponent* owner = nullptr);
    ~TPaintBox() override;

    TCanvas* GetCanvas() const { return FCanvas.get(); }
    TNotifyEvent OnPaint;

protected:
    void Paint() override;

private:
    std::unique_ptr<TCanvas, TObjectFree> FCanvas;
};

// A group box of radio buttons made from a list of captions, one of which is chosen.
class TRadioGroup : public TGroupBox {
    SF_CLASS(TRadioGroup)
public:
    explicit TRadioGroup(TComponent* owner = nullptr);
    ~TRadioGroup() override;

    TStrings* GetItems() const { return FItems.get(); }
    void SetItems(TStrings* value) { FItems->Assign(value); }
    int GetItemIndex() const { return FItemIndex; }
    void SetItemIndex(int value);
    int GetColumns() const { return FColumns; }
    void SetColumns(int value);
    // The button of an item (for focusing or inspection).
    TRadioButton* GetButton(int index) const;

protected:
    void Resize() override;

private:
    void ItemsChanged(TObject*);
    void ButtonClick(TObject* sender);
    void UpdateButtons();
    void ArrangeButtons();

    std::unique_ptr<TStringList, TObjectFree> FItems;
    std::vector<TRadioButton*> FButtons;
    int FItemIndex = -1;
    int FColumns = 1;
    bool FUpdating = false;
};

// A flat push button painted by its parent, with an optional glyph, which can stay down as a
// member of a group (GroupIndex > 0: pressing one releases the others of the parent's group).
class TSpeedButton : public TGraphicControl {
    SF_CLASS(TSpeedButton)
public:
    explicit TSpeedButton(TComponent* owner = nullptr);
    ~TSpeedButton() override;

    TBitmap* GetGlyph() const { return FGlyph.get(); }
    void SetGlyph(TBitmap* value);
    int GetGroupIndex() const { return FGroupIndex; }
    void SetGroupIndex(int value);
    bool GetDown() const { return FDown; }
    void SetDown(bool value);
    bool GetAllowAllUp() const { return FAllowAllUp; }
    void SetAllowAllUp(bool value) { FAllowAllUp = value; }
    bool GetFlat() const { return FFlat; }
    void SetFlat(bool value);
    // Clicks as a user would (disabled: nothing).
    void Click() override;

    void Dispatch(TMessage& message) override;

protected:
    void Paint() override;
    void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
    void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;

private:
    void ReleaseGroup();

    std::unique_ptr<TBitmap, TObjectFree> FGlyph;
    int FGroupIndex = 0;
    bool FDown = false;
    bool FAllowAllUp = false;
    bool FFlat = false;
    bool FPressed = false;
};
