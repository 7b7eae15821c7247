// The status bar drawn by the current theme: panels laid out by size, view priority and stretch
// priority, each able to hold a control, a simple mode with one text across the bar, and the
// size grip at the form's corner.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/Controls.h"
#include "platform/ImgList.h"
#include "platform/StdCtrls.h"
#include "skin/SkinItems.h"

class TSkinCustomStatusBar;
class TSkinStatusPanels;

enum class TTextTruncation : uint8_t { twNone, twEndEllipsis, twPathEllipsis };
// 0 to 100.
using TPercent = uint8_t;

class TSkinStatusPanel : public TPersistent {
    SF_CLASS(TSkinStatusPanel)
public:
    explicit TSkinStatusPanel(TSkinStatusPanels* collection);
    ~TSkinStatusPanel() override;

    TSkinStatusPanels* GetCollection() const { return FCollection; }
    int GetIndex() const;

    TAlignment GetAlignment() const { return FAlignment; }
    void SetAlignment(TAlignment value);
    const std::wstring& GetCaption() const { return FCaption; }
    void SetCaption(const std::wstring& value);
    // Raises EInvalidOperation "Can't insert own parent" for the bar or a parent of it; a control
    // another panel holds moves here.
    TControl* GetControl() const { return FControl; }
    void SetControl(TControl* value);
    bool GetEnabled() const { return FEnabled; }
    void SetEnabled(bool value);
    bool GetFramed() const { return FFramed; }
    void SetFramed(bool value);
    TFontSettings* GetFontSettings() const { return FFontSettings.get(); }
    void SetFontSettings(TFontSettings* value) { FFontSettings->Assign(value); }
    const std::wstring& GetHint() const { return FHint; }
    void SetHint(const std::wstring& value) { FHint = value; }
    int GetImageIndex() const { return FImageIndex; }
    void SetImageIndex(int value);
    int GetMaxSize() const { return FMaxSize; }
    void SetMaxSize(int value);
    int GetSize() const { return FSize; }
    void SetSize(int value);
    TPercent GetStretchPriority() const { return FStretchPriority; }
    void SetStretchPriority(TPercent value);
    int GetTag() const { return FTag; }
    void SetTag(int value) { FTag = value; }
    TTextTruncation GetTextTruncation() const { return FTextTruncation; }
    void SetTextTruncation(TTextTruncation value);
    TPercent GetViewPriority() const { return FViewPriority; }
    void SetViewPriority(TPercent value);

    // The caption, else "[ name ]" of the control, else the class name.
    std::string GetDisplayName() const;
    // From another panel: its view priority and the control of the same name this bar's owner
    // holds.
    void Assign(TPersistent* source) override;

    // Results of the last layout.
    int GetEffectiveWidth() const { return FEffectiveWidth; }
    bool GetShown() const { return FShown; }
    bool GetLast() const { return FLast; }
    const RECT& GetPanelRect() const { return FPanelRect; }

private:
    friend class TSkinCustomStatusBar;
    friend class TSkinStatusPanels;
    void Changed(bool relayout);
    void FontChanged(TObject*) { Changed(false); }
    template <class T>
    void Store(T& field, const T& value, bool relayout)
    {
        if (field == value)
            return;
        field = value;
        Changed(relayout);
    }

    TSkinStatusPanels* FCollection;
    TAlignment FAlignment = taLeftJustify;
    std::wstring FCaption;
    TControl* FControl = nullptr;
    bool FEnabled = true;
    bool FFramed = true;
    TFontSettingsPtr FFontSettings;
    std::wstring FHint;
    int FImageIndex = -1;
    int FMaxSize = 0;
    int FSize = 50;
    TPercent FStretchPriority = 0;
    int FTag = 0;
    TTextTruncation FTextTruncation = TTextTruncation::twNone;
    TPercent FViewPriority = 100;
    int FEffectiveWidth = 0;
    bool FShown = false;
    bool FLast = false;
    RECT FPanelRect{};
};

// The bar's panels, in order; the bar owns them.
class TSkinStatusPanels : public TPersistent {
    SF_CLASS(TSkinStatusPanels)
public:
    explicit TSkinStatusPanels(TSkinCustomStatusBar* owner) : FOwner(owner) {}
    ~TSkinStatusPanels() override;
    TSkinCustomStatusBar* GetStatusBar() const { return FOwner; }
    int Count() const { return int(FItems.size()); }
    TSkinStatusPanel* GetItem(int index) const { return FItems.at(size_t(index)); }
    TSkinStatusPanel* Add();
    void Delete(int index);
    void Clear();
    int IndexOf(const TSkinStatusPanel* panel) const;
    // The panel that holds the control, or nullptr.
    TSkinStatusPanel* FindControl(const TControl* control) const;
    void BeginUpdate() { ++FUpdateCount; }
    void EndUpdate();

protected:
    TPersistent* GetOwner() const override;

private:
    friend class TSkinStatusPanel;
    void Changed(bool relayout);
    TSkinCustomStatusBar* FOwner;
    std::vector<TSkinStatusPanel*> FItems;
    int FUpdateCount = 0;
    bool FPendingRelayout = false;
};

using TSBAdjustContentRect = TEvent<TObject*, TSkinStatusPanel*, RECT&>;
using TSBPanelEvent = TEvent<TObject*, TSkinStatusPanel*>;

class TSkinCustomStatusBar : public TCustomControl {
    SF_CLASS(TSkinCustomStatusBar)
public:
    explicit TSkinCustomStatusBar(TComponent* owner = nullptr);
    ~TSkinCustomStatusBar() override;
    void BeforeDestruction() override;

    TSkinStatusPanels* GetPanels() const { return FPanels.get(); }
    TCustomImageList* GetImages() const { return FImages; }
    void SetImages(TCustomImageList* value);
    bool GetSimplePanel() const { return FSimplePanel; }
    void SetSimplePanel(bool value);
    const std::wstring& GetSimpleText() const { return FSimpleText; }
    void SetSimpleText(const std::wstring& value);
    bool GetSizeGrip() const { return FSizeGrip; }
    void SetSizeGrip(bool value);
    bool GetUseSystemFont() const { return FUseSystemFont; }
    void SetUseSystemFont(bool value);

    // The grip shows: asked for, and the bar's bottom-right corner is the corner of a parent
    // form's client area that is not maximized.
    bool SizeGripShown();
    RECT SizeGripRect() const;
    // The first shown panel whose rectangle holds the client point.
    TSkinStatusPanel* PanelAt(POINT p) const;

    TSBAdjustContentRect OnAdjustContentRect;
    TSBPanelEvent OnPanelClick;
    TSBPanelEvent OnPanelDblClick;

    virtual void DoAdjustContentRect(TSkinStatusPanel* panel, RECT& r);
    virtual void DoPanelEvent(TSkinStatusPanel*, const RECT&) {}
    virtual void DoPanelClick(TSkinStatusPanel* panel);
    virtual void DoPanelDblClick(TSkinStatusPanel* panel);
    virtual void PaintPanel(TCanvas* canvas, const RECT& r, TSkinStatusPanel* panel);
    virtual void ArrangePanels();
    virtual void UpdatePanels();

    void Click() override;
    void DblClick() override;
    void Dispatch(TMessage& message) override;

protected:
    void CreateParams(TCreateParams& params) override;
    void CreateWnd() override;
    void Paint() override;
    void Notification(TComponent* component, TOperation operation) override;

private:
    void ImagesChanged(TObject*) { Invalidate(); }
    void ControlChange(TControl* control, bool inserting);
    // The hint of the panel under the hint's cursor, else the bar's own.
    void HintShow(TMessage& m);
    POINT CursorPoint() const;

    std::unique_ptr<TSkinStatusPanels, TObjectFree> FPanels;
    std::unique_ptr<TChangeLink, TObjectFree> FImagesWatch;
    TCustomImageList* FImages = nullptr;
    bool FSimplePanel = false;
    std::wstring FSimpleText;
    bool FSizeGrip = true;
    bool FUseSystemFont = false;
    TSkinMargins FPanelMargins;
};

class TSkinStatusBar : public TSkinCustomStatusBar {
    SF_CLASS(TSkinStatusBar)
public:
    using TSkinCustomStatusBar::TSkinCustomStatusBar;
};
