#include "toolbar/TBFramework.h"

#include <cstddef>
#include <memory>
#include <vector>

#include "platform/Forms.h"
#include "platform/ScopeGuards.h"
#include "toolbar/TBAcc.h"
#include "toolbar/TBAnim.h"
#include "toolbar/TBDock.h"
#include "toolbar/TBExtItems.h"
#include "toolbar/TBItem.h"
#include "toolbar/TBItemViewer.h"
#include "toolbar/TBToolbar.h"

namespace {

constexpr UINT WM_TB_POSTED = 0x500;
// Stands in a slot whose object went away while its message was pending. It is not a free slot:
// reusing it would let the stale message run the newer object.
TObject* const Neutralised = reinterpret_cast<TObject*>(1);

struct TThreadState {
    int LiveObjects = 0;
    HWND QueueWnd = nullptr;
    std::vector<TObject*> Queue;
};

TThreadState& ThreadState()
{
    thread_local TThreadState state;
    return state;
}

void DestroyQueue(TThreadState& state)
{
    if (state.QueueWnd)
        DestroyWindow(state.QueueWnd);
    state.QueueWnd = nullptr;
    state.Queue.clear();
}

void RunPosted(TObject* object, bool execute)
{
    if (Is<TTBCustomItem>(object))
        static_cast<TTBCustomItem*>(object)->Click();
    else if (Is<TTBItemViewer>(object))
        static_cast<TTBItemViewer*>(object)->HandleAccSelect(execute);
}

LRESULT CALLBACK QueueWndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg != WM_TB_POSTED)
        return DefWindowProcA(wnd, msg, wParam, lParam);
    TThreadState& state = ThreadState();
    size_t index = static_cast<size_t>(lParam);
    if (index >= state.Queue.size())
        return 0;
    TObject* object = state.Queue[index];
    state.Queue[index] = nullptr;
    while (!state.Queue.empty() && state.Queue.back() == nullptr)
        state.Queue.pop_back();
    if (!object || object == Neutralised)
        return 0;
    // The object run may be the thread's last live one, which takes this window and the queue
    // with it: nothing is touched afterwards.
    try {
        RunPosted(object, wParam != 0);
    } catch (...) {
        HandleCallbackException(nullptr);
    }
    return 0;
}

const char* QueueWindowClass()
{
    static const char* name = [] {
        WNDCLASSA wc{};
        wc.lpfnWndProc = QueueWndProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "TBPostQueueWindow";
        RegisterClassA(&wc);
        return "TBPostQueueWindow";
    }();
    return name;
}

void Post(TObject* object, bool flag)
{
    TThreadState& state = ThreadState();
    if (!state.QueueWnd) {
        state.QueueWnd = CreateWindowExA(0, QueueWindowClass(), "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                         GetModuleHandleA(nullptr), nullptr);
        if (!state.QueueWnd)
            RaiseLastOSError("CreateWindowEx");
    }
    size_t index = 0;
    while (index < state.Queue.size() && state.Queue[index] != nullptr)
        ++index;
    if (index == state.Queue.size())
        state.Queue.push_back(object);
    else
        state.Queue[index] = object;
    if (!PostMessageA(state.QueueWnd, WM_TB_POSTED, flag ? 1 : 0, static_cast<LPARAM>(index))) {
        state.Queue[index] = nullptr;
        RaiseLastOSError("PostMessage");
    }
}

// A memory DC to measure viewers on, with a canvas for the view's font and one for its bold form
// (taking turns on the DC).
class TMeasureCanvas {
public:
    explicit TMeasureCanvas(TFont* font)
    {
        if (font) {
            FNormal->GetFont()->Assign(font);
            FBold->GetFont()->Assign(font);
        }
        FBold->GetFont()->SetStyle(FBold->GetFont()->GetStyle() + fsBold);
    }
    ~TMeasureCanvas()
    {
        if (FCurrent)
            FCurrent->SetHandle(nullptr);
    }
    TMeasureCanvas(const TMeasureCanvas&) = delete;
    TMeasureCanvas& operator=(const TMeasureCanvas&) = delete;

    TCanvas* Canvas(bool bold)
    {
        TCanvas* canvas = bold ? FBold.get() : FNormal.get();
        if (canvas != FCurrent) {
            if (FCurrent)
                FCurrent->SetHandle(nullptr);
            canvas->SetHandle(FDC.Get());
            FCurrent = canvas;
        }
        return canvas;
    }

private:
    TMemoryDC FDC;
    std::unique_ptr<TCanvas, TObjectFree> FNormal{New<TCanvas>()};
    std::unique_ptr<TCanvas, TObjectFree> FBold{New<TCanvas>()};
    TCanvas* FCurrent = nullptr;
};

struct TSharedMeasure {
    std::unique_ptr<TMeasureCanvas> Canvas;
    HFONT Font = nullptr;
};

TSharedMeasure& SharedMeasure()
{
    thread_local TSharedMeasure shared;
    return shared;
}

int InitCount = 0;
// X of this value: no position stored.
constexpr LONG NoMousePos = static_cast<LONG>(0x80000000u);
POINT LastMousePos{NoMousePos, 0};
std::unique_ptr<TFont, TObjectFree> MenuFont;

} // namespace

void TBLiveObjectCreated()
{
    ++ThreadState().LiveObjects;
}

void TBLiveObjectDestroyed()
{
    TThreadState& state = ThreadState();
    if (--state.LiveObjects == 0)
        DestroyQueue(state);
}

int TBLiveObjectCount()
{
    return ThreadState().LiveObjects;
}

void QueueClick(TTBCustomItem* item)
{
    Post(item, false);
}

void PostViewerAction(TTBItemViewer* viewer, bool execute)
{
    Post(viewer, execute);
}

void RemoveFromPostQueue(TObject* object)
{
    for (TObject*& slot : ThreadState().Queue)
        if (slot == object)
            slot = Neutralised;
}

int PostQueuePending()
{
    int count = 0;
    for (TObject* slot : ThreadState().Queue)
        if (slot && slot != Neutralised)
            ++count;
    return count;
}

void TBSetLastMousePos(POINT p)
{
    LastMousePos = p;
}

bool TBGetLastMousePos(POINT& p)
{
    p = LastMousePos;
    return LastMousePos.x != NoMousePos;
}

void TBForgetLastMousePos()
{
    LastMousePos.x = NoMousePos;
}

TCanvas* TBMeasureCanvas(TFont* font, bool bold)
{
    TSharedMeasure& shared = SharedMeasure();
    HFONT handle = font ? font->GetHandle() : nullptr;
    if (!shared.Canvas || handle != shared.Font) {
        shared.Canvas = std::make_unique<TMeasureCanvas>(font);
        shared.Font = handle;
    }
    return shared.Canvas->Canvas(bold);
}

TFont* TBMenuFont()
{
    return MenuFont.get();
}

void TBRefreshMenuFont()
{
    if (!MenuFont)
        return;
    // The size of the structure before the padded-border member, which older systems refuse.
    NONCLIENTMETRICSA metrics{};
    metrics.cbSize = offsetof(NONCLIENTMETRICSA, iPaddedBorderWidth);
    if (!SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0))
        return;
    if (HFONT font = CreateFontIndirectA(&metrics.lfMenuFont))
        MenuFont->SetHandle(font);
}

void InitTBFramework()
{
    if (InitCount++ > 0)
        return;
    InitTBAcc();
    MenuFont.reset(New<TFont>());
    TBRefreshMenuFont();
    RegisterClass(TTBCustomItem::StaticClass());
    RegisterClass(TTBRootItem::StaticClass());
    RegisterClass(TTBSeparatorItem::StaticClass());
    RegisterClass(TTBControlItem::StaticClass());
    RegisterClass(TTBDock::StaticClass());
    RegisterClass(TTBCustomToolbar::StaticClass());
    RegisterClass(TTBChevronItem::StaticClass());
    RegisterClass(TTBEditItem::StaticClass());
}

void DoneTBFramework()
{
    if (InitCount == 0 || --InitCount > 0)
        return;
    EndAnimation(nullptr);
    DestroyQueue(ThreadState());
    SharedMeasure() = TSharedMeasure{};
    MenuFont.reset();
    DoneTBAcc();
}
