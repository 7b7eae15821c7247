// Layout cost of a toolbar view of 20, 200 and 2,000 items with captions of 5 to 25 characters: the
// first layout (which measures every caption), wrapped at three widths, and with a chevron, against
// the bare GetTextExtentPoint32W measuring of the same captions, as they are shown (accelerator
// marks removed beforehand), in the menu font on a memory DC, as the layout measures them.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "platform/Controls.h"
#include "platform/Forms.h"
#include "platform/ScopeGuards.h"
#include "toolbar/TBCommon.h"
#include "toolbar/TBFramework.h"
#include "toolbar/TBItem.h"
#include "toolbar/TBView.h"

namespace {

const int ItemCounts[] = {20, 200, 2000};
// Small views are quick: they get more rounds, so that each median stands on as much time.
int RoundsFor(int itemCount)
{
    return std::max(31, 20001 / itemCount);
}
const int WrapWidths[] = {1600, 800, 400};
constexpr int ChevronLength = 900;

std::vector<std::wstring> Captions(int count)
{
    std::mt19937 random(20261209);
    static const wchar_t letters[] = L"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ      ";
    std::vector<std::wstring> captions;
    for (int i = 0; i < count; ++i) {
        size_t length = 5 + random() % 21;
        std::wstring caption;
        for (size_t c = 0; c < length; ++c)
            caption += letters[random() % (std::size(letters) - 1)];
        // Some carry an accelerator, as menu captions do.
        if (i % 3 == 0)
            caption.insert(random() % length, 1, L'&');
        captions.push_back(caption);
    }
    return captions;
}

class TChevronView : public TTBView {
public:
    using TTBView::TTBView;
    TTBCustomItem* FindChevronItem() override { return Chevron; }
    TTBCustomItem* Chevron = nullptr;
};

// Rows of a laid-out view and the viewers shown in them.
std::pair<int, int> RowsAndShown(TTBView* view)
{
    std::vector<int> tops;
    int shown = 0;
    for (int i = 0; i < view->GetViewerCount(); ++i)
        if (view->GetViewer(i)->GetShown()) {
            ++shown;
            tops.push_back(view->GetViewer(i)->GetBoundsRect().top);
        }
    std::sort(tops.begin(), tops.end());
    return {static_cast<int>(std::unique(tops.begin(), tops.end()) - tops.begin()), shown};
}

// The machine is shared: its load goes beside every figure.
void PrintLoad(const char* when)
{
    char text[128] = "unknown";
    if (FILE* f = std::fopen("Z:\\proc\\loadavg", "r")) {
        if (!std::fgets(text, sizeof text, f))
            std::snprintf(text, sizeof text, "unknown");
        std::fclose(f);
    }
    text[std::strcspn(text, "\n")] = 0;
    std::printf("load %s: %s\n", when, text);
}

void RunCount(int itemCount)
{
    std::vector<std::wstring> captions = Captions(itemCount);
    std::unique_ptr<TTBCustomItem, TObjectFree> root(New<TTBRootItem>(nullptr));
    for (const std::wstring& caption : captions) {
        TTBCustomItem* item = New<TTBCustomItem>(nullptr);
        item->SetCaption(caption);
        root->Add(item);
    }
    std::unique_ptr<TTBCustomItem, TObjectFree> chevron(New<TTBCustomItem>(nullptr));

    // The baseline: each caption as it is shown, measured once in the same font on a memory DC,
    // right before and after the layout it is compared with; each round gives its own ratio.
    std::vector<std::wstring> shownCaptions;
    for (const std::wstring& caption : captions)
        shownCaptions.push_back(RemoveAccelMarks(caption));
    TMemoryDC dc;
    TSelectGuard font(dc.Get(), TBMenuFont()->GetHandle());
    auto measureBare = [&] {
        double start = Now();
        for (const std::wstring& caption : shownCaptions) {
            SIZE size{};
            GetTextExtentPoint32W(dc.Get(), caption.data(), static_cast<int>(caption.size()), &size);
        }
        return Now() - start;
    };
    std::vector<double> bare, first, firstRatio, relayout[std::size(WrapWidths)],
        relayoutRatio[std::size(WrapWidths)], chevronLayout, chevronRatio;
    std::pair<int, int> shape[std::size(WrapWidths) + 1];
    const int rounds = RoundsFor(itemCount);
    for (int round = 0; round < rounds; ++round) {
        std::unique_ptr<TChevronView, TObjectFree> view(
            New<TChevronView>(nullptr, nullptr, root.get(), nullptr, true, false, true));
        view->Chevron = chevron.get();
        view->RebuildAllViewers();
        view->SetWrapLength(WrapWidths[0]);
        double before = measureBare();
        double start = Now();
        view->EnsureLayout();
        double elapsed = Now() - start;
        double base = (before + measureBare()) / 2;
        bare.push_back(base);
        first.push_back(elapsed);
        firstRatio.push_back(elapsed / base);
        shape[0] = RowsAndShown(view.get());
        for (size_t w = 0; w < std::size(WrapWidths); ++w) {
            view->SetWrapLength(WrapWidths[(w + 1) % std::size(WrapWidths)]);
            start = Now();
            view->EnsureLayout();
            elapsed = Now() - start;
            relayout[w].push_back(elapsed);
            relayoutRatio[w].push_back(elapsed / base);
            if (w + 1 < std::size(WrapWidths))
                shape[w + 1] = RowsAndShown(view.get());
        }
        view->SetWrapLength(0);
        view->SetChevronExtent(12);
        view->SetChevronGap(ChevronLength);
        start = Now();
        view->EnsureLayout();
        elapsed = Now() - start;
        chevronLayout.push_back(elapsed);
        chevronRatio.push_back(elapsed / base);
        shape[std::size(WrapWidths)] = RowsAndShown(view.get());
    }
    std::printf("%d captions of 5-25 characters, medians of %d rounds (ratios per round)\n", itemCount, rounds);
    std::printf("  bare GetTextExtentPoint32W measuring:  %7.3f ms  (baseline)\n", Median(bare));
    std::printf("  first layout, wrapped at %4d:         %7.3f ms  %.2fx  (target <= 1.50x; %d rows)\n",
                WrapWidths[0], Median(first), Median(firstRatio), shape[0].first);
    for (size_t w = 0; w < std::size(WrapWidths); ++w) {
        int width = WrapWidths[(w + 1) % std::size(WrapWidths)];
        int rows = (w + 1 < std::size(WrapWidths) ? shape[w + 1] : shape[0]).first;
        std::printf("  re-layout, wrapped at %4d:            %7.3f ms  %.2fx  (target <= 0.25x; %d rows)\n", width,
                    Median(relayout[w]), Median(relayoutRatio[w]), rows);
    }
    std::printf("  re-layout, one row, chevron at %4d:   %7.3f ms  %.2fx  (target <= 0.25x; %d of %d shown)\n",
                ChevronLength, Median(chevronLayout), Median(chevronRatio), shape[std::size(WrapWidths)].second,
                itemCount);
}

}  // namespace

int main()
{
    PrintArchitecture();
    InitControls();
    InitForms();
    InitTBFramework();
    PrintLoad("before");
    for (int count : ItemCounts)
        RunCount(count);
    PrintLoad("after");
    DoneTBFramework();
    DoneForms();
    DoneControls();
    return 0;
}
