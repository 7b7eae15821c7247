// The toolbar: a dockable window showing an item tree as a row or column of buttons, with a
// chevron whose menu lists the items that did not fit. It can act as its form's menu bar (the Alt
// key and accelerators), process its items' shortcuts for the form, and offers one floating size
// for each number of wrapped rows.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/Forms.h"
#include "toolbar/TBDockableWindow.h"
#include "toolbar/TBItem.h"
#include "toolbar/TBItemViewer.h"
#include "toolbar/TBView.h"

class TTBCustomToolbar;

enum TTBChevronPriorityForNewItems : uint8_t { tbcpHighest, tbcpLowest };

// The item at the end of a toolbar too short for its items; its menu lists those behind it.
class TTBChevronItem : public TTBCustomItem {
    SF_CLASS(TTBChevronItem)
public:
    explicit TTBChevronItem(TComponent* owner = nullptr);
    TTBCustomToolbar* GetToolbar() const { return FToolbar; }
    TTBView* FindChevronParentView() override;
    TTBItemViewerClass QueryViewerClass(TTBView* view) override;

private:
    TTBCustomToolbar* FToolbar = nullptr;
};

class TTBChevronItemViewer : public TTBItemViewer {
    SF_CLASS(TTBChevronItemViewer)
public:
    using TTBItemViewer::TTBItemViewer;
    void Paint(TCanvas* canvas, const RECT& clientAreaRect, bool isSelected, bool isPushed,
               bool useDisabledShadow) override;
};

// The view of a toolbar: reports its size to the toolbar and draws with the toolbar's font.
class TTBToolbarView : public TTBView {
    SF_CLASS(TTBToolbarView)
public:
    TTBToolbarView(TComponent* owner, TTBView* parentView, TTBCustomItem* parentItem, TWinControl* window,
                   bool isToolbar, bool customizing, bool usePriorityList);
    TTBCustomToolbar* GetToolbar() const { return FToolbar; }
    void AutoSize(int width, int height) override;
    void RunLayoutUpdate(POINT& size) override;
    void MarkLayoutStale() override;
    TFont* ResolveFont() override;
    TTBCustomItem* FindChevronItem() override;

private:
    TTBCustomToolbar* FToolbar = nullptr;
};

// A size a floating toolbar offers: the outer size of one layout.
struct TTBFloatingSize {
    int Width = 0;
    int Height = 0;
    int Lines = 1;
};

class TTBCustomToolbar : public TTBCustomDockableWindow, public ITBItems {
    SF_CLASS(TTBCustomToolbar)
public:
    explicit TTBCustomToolbar(TComponent* owner = nullptr);
    ~TTBCustomToolbar() override;
    void AfterConstruction() override;
    void BeforeDestruction() override;
    void Dispatch(TMessage& message) override;

    TTBCustomItem* GetItems() override { return FItems; }
    TTBToolbarView* GetView() const { return FView; }
    TTBChevronItem* GetChevronItem() const { return FChevronItem; }

    void BeginUpdate();
    void EndUpdate();
    // Opens the toolbar for keyboard use: key 0 selects the first item; otherwise the item with
    // that accelerator runs (or opens), a shared one is only selected, and only on a menu bar.
    // True when an item was opened.
    bool OpenByKeyboard(wchar_t key, bool requirePrimaryAccel);
    // OnShortCut first, then the items.
    bool IsShortCut(TMessage& message);
    void InitiateAction() override;
    void AlignControls(TControl* control, RECT& rect) override;
    void GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) override;
    void SetChildOrder(TComponent* child, int order);
    void GetTabOrderList(std::vector<TWinControl*>& list) const override;

    const std::wstring& GetChevronHint() const;
    void SetChevronHint(const std::wstring& value);
    bool GetChevronMoveItems() const { return FChevronMoveItems; }
    void SetChevronMoveItems(bool value);
    TTBChevronPriorityForNewItems GetChevronPriorityForNewItems() const { return FChevronPriorityForNewItems; }
    void SetChevronPriorityForNewItems(TTBChevronPriorityForNewItems value);
    int GetFloatingWrapWidth() const { return FFloatingWrapWidth; }
    void SetFloatingWrapWidth(int value);
    TCustomImageList* GetImages() const { return FItems->GetSubMenuImages(); }
    void SetImages(TCustomImageList* value) { FItems->SetSubMenuImages(value); }
    TTBCustomItem* GetLinkSubitems() const { return FItems->GetLinkSubitems(); }
    void SetLinkSubitems(TTBCustomItem* value) { FItems->SetLinkSubitems(value); }
    TTBItemOptions GetOptions() const { return FItems->GetOptions(); }
    void SetOptions(TTBItemOptions value) { FItems->SetOptions(value); }
    bool GetMenuBar() const { return FMenuBar; }
    void SetMenuBar(bool value);
    bool GetProcessShortCuts() const { return FProcessShortCuts; }
    void SetProcessShortCuts(bool value);
    TTBShrinkMode GetShrinkMode() const { return FShrinkMode; }
    void SetShrinkMode(TTBShrinkMode value);
    bool GetSystemFont() const { return FSystemFont; }
    void SetSystemFont(bool value);
    bool GetUpdateActions() const { return FUpdateActions; }
    void SetUpdateActions(bool value) { FUpdateActions = value; }
    // Rows (or columns) of the last layout computed for a size that was only asked for.
    int GetLines() const { return FLines; }
    POINT GetLayoutSize() const { return FLayoutSize; }
    bool GetMouseDownLoop() const { return FMouseDownLoop; }
    bool GetShortCutsRegistered() const { return FShortCutsRegistered; }

    TShortCutEvent OnShortCut;

    // ---- What the dockable window asks of its contents
    POINT ComputeArrangement(bool canMoveControls, TTBDockType dockType, bool floating, TTBDock* dock) override;
    void QueryBaseSize(POINT& size) override;
    void QueryMinShrinkSize(int& minimumSize) override;
    TTBShrinkMode QueryShrinkMode() override { return FShrinkMode; }
    bool HitTestContents(POINT clientPoint) override;
    void SizeStart(int edge) override;
    void SizeMove(RECT& rect, const RECT& startRect) override;
    void SizeApply() override;
    void SizeEnd() override;
    void LoadPosition(const TTBPositionData& data) override;
    void StorePosition(const TTBPositionData& data) override;

    // One size for each number of rows the items wrap into while floating, widest first; each is
    // the narrowest layout of its row count (the client size, without the floating frame).
    virtual void GetFloatingSizes(std::vector<TTBFloatingSize>& list);
    virtual TClass QueryChevronItemClass();
    virtual TClass QueryRootItemClass();
    virtual TTBViewClass QueryViewClass();

    // Raised while the view re-positions its viewers (they move hosted controls).
    int LayoutUpdateDepth = 0;

protected:
    friend class TTBToolbarView;

    void Loaded() override;
    void Paint() override;
    void DefineProperties(TFiler* filer) override;
    void MouseMove(TShiftState shift, int x, int y) override;
    void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;

private:
    struct TLayoutParams {
        TTBViewAxis Orientation = TTBViewAxis::vaHorizontal;
        int WrapOffset = 0;
        int ChevronOffset = 0;
    };
    struct TResizeData;

    TLayoutParams LayoutParamsFor(TTBDockType dockType, TTBDock* dock);
    void UpdateViewProperties();
    void UpdateShortCutRegistration();
    void WrapChildControl(TControl* control);
    void UnwrapChildControl(TControl* control);
    TTBControlItem* HostOf(TControl* control) const;
    void ClearSelectionUnlessFocused();
    void WMSysCommand(TMessage& m);
    void CMHintShow(TMessage& m);
    void WMSetCursor(TMessage& m);
    static void GetMessageHook(THookKind kind, HWND wnd, WPARAM wParam, LPARAM lParam);
    static void MainWindowHook(TMessage& message, bool& handled);

    POINT FLayoutSize{};
    TTBChevronItem* FChevronItem = nullptr;
    bool FChevronMoveItems = true;
    TTBChevronPriorityForNewItems FChevronPriorityForNewItems = tbcpHighest;
    int FFloatingWrapWidth = 0;
    TTBRootItem* FItems = nullptr;
    int FLines = 0;
    bool FMenuBar = false;
    bool FMouseDownLoop = false;
    bool FProcessShortCuts = false;
    std::unique_ptr<TResizeData> FResizeData;
    bool FShortCutsRegistered = false;
    TTBShrinkMode FShrinkMode = tbsmChevron;
    bool FSystemFont = true;
    bool FUpdateActions = true;
    TTBToolbarView* FView = nullptr;
    // Inside an arrangement: the view's refreshes keep the shrunk length the dock gave.
    int FArranging = 0;
    bool FMessageHookRegistered = false;
};
