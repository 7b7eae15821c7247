// What the tests of themed items, lists and bars share: a control that shows a view and answers
// the view type a test gives it, a canvas on a test surface, and image lists of plain squares.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "platform/Controls.h"
#include "platform/Graphics.h"
#include "platform/ImgList.h"
#include "toolbar/TBItem.h"
#include "toolbar/TBView.h"

class TThemedViewHost : public TCustomControl {
public:
    using TCustomControl::TCustomControl;
    TTBView* View = nullptr;
    uint32_t ViewType = 0x101;
    void Dispatch(TMessage& m) override;

protected:
    void Paint() override;
};

using TItemPtr = std::unique_ptr<TTBCustomItem, TObjectFree>;
using TImageListPtr = std::unique_ptr<TCustomImageList, TObjectFree>;

// A root item with a view of it in a hidden host control of the given view type.
struct TViewFixture {
    explicit TViewFixture(uint32_t viewType = 0x101, bool isToolbar = true,
                          TTBViewAxis orientation = TTBViewAxis::vaHorizontal);
    ~TViewFixture();
    TViewFixture(const TViewFixture&) = delete;
    TViewFixture& operator=(const TViewFixture&) = delete;

    // Adds the item to the root (which frees it) and returns its viewer.
    template <class T>
    T* Add(const std::wstring& caption)
    {
        T* item = New<T>(nullptr);
        item->SetCaption(caption);
        Root->Add(item);
        return item;
    }
    TTBItemViewer* ViewerOf(TTBCustomItem* item) const { return View->Find(item); }

    std::unique_ptr<TThemedViewHost, TObjectFree> Host;
    TItemPtr Root;
    std::unique_ptr<TTBView, TObjectFree> View;
};

// A canvas drawing on a DC, with the view's font; it leaves the DC as it found it.
class TTestCanvas {
public:
    TTestCanvas(HDC dc, TTBView* view);
    ~TTestCanvas();
    TTestCanvas(const TTestCanvas&) = delete;
    TTestCanvas& operator=(const TTestCanvas&) = delete;
    TCanvas* operator->() const { return FCanvas.get(); }
    TCanvas* Get() const { return FCanvas.get(); }

private:
    std::unique_ptr<TCanvas, TObjectFree> FCanvas;
};

// count images of width x height, image i filled with a colour of its own.
TImageListPtr MakeImageList(int width, int height, int count);
COLORREF ImageColor(int index);

// The size DrawTextW gives the text in the view's font (as the viewers measure).
SIZE TextSizeInViewFont(TTBView* view, const std::wstring& text, UINT flags);
