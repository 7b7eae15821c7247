#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>
#include <utility>
#include <vector>

#include "LayerTestSupport.h"
#include "graphics/SfTypes.h"
#include "TestSupport.h"

namespace {

RECT R(int l, int t, int r, int b)
{
    return RECT{l, t, r, b};
}

// Placement, alignment and change reports.

TEST(LayerElementPlacement, AlignmentFlagsApplyInOrderWithTruncatingDivision)
{
    auto page = NewPage();
    page->Reference = R(0, 0, 10, 10);
    auto* e = AddElement<TLayerRect>(page.get(), 100, 100, 13, 7);
    // Odd negative slack: (10 - 13) div 2 is -1, not -2.
    e->SetAlign(laCenterHorz);
    EXPECT_RECT(R(-1, 100, 12, 107), e->GetBounds());
    e->SetAlign(laCenterVert);
    EXPECT_RECT(R(-1, 1, 12, 8), e->GetBounds());
    // Above wins over below, both over vertical centring.
    e->SetAlign(laCenterVert | laBelow);
    EXPECT_EQ(10, e->GetTop());
    e->SetAlign(laCenterVert | laBelow | laAbove);
    EXPECT_EQ(-7, e->GetTop());
    // Fitting comes before centring, so a fitted element is centred with no slack.
    e->SetAlign(laFitWidth | laFitHeight | laCenterHorz | laCenterVert);
    EXPECT_RECT(R(0, 0, 10, 10), e->GetBounds());
    page->Reference = R(-5, -5, 0, 0);
    e->SetAlign(laCenterHorz);
    // (5 - 10) div 2 = -2
    EXPECT_EQ(-7, e->GetLeft());
}

TEST(LayerElementPlacement, PlacingAtCurrentBoundsReportsNothing)
{
    TRecordingComposer composer;
    auto page = NewPage(&composer);
    auto* e = AddElement<TLayerRect>(page.get(), 10, 20, 30, 40);
    page->Reset();
    composer.Changes.clear();
    e->SetBounds(10, 20, 30, 40);
    e->SetBoundsRect(e->GetBounds());
    e->SetLeft(10);
    e->SetWidth(30);
    EXPECT_TRUE(page->Invalidated.empty());
    EXPECT_TRUE(page->Changed.empty());
    EXPECT_TRUE(composer.Changes.empty());

    e->SetLeft(15);
    ASSERT_EQ(1u, page->Invalidated.size());
    EXPECT_RECT(R(10, 20, 45, 60), page->Invalidated[0]);
    ASSERT_EQ(1u, composer.Changes.size());
    EXPECT_EQ(page.get(), composer.Changes[0].first);
    EXPECT_EQ(e, composer.Changes[0].second);
    composer.Changes.clear();
    page.reset();
}

TEST(LayerElementPlacement, OwnerAdjustsOnlyWithAReference)
{
    auto page = NewPage();
    page->SnapX = 500;
    auto* e = AddElement<TLayerRect>(page.get(), 0, 0, 100, 100);
    e->SetRect(R(40, 40, 140, 140), POINT{0, 0}, lpmMove);
    EXPECT_RECT(R(500, 40, 600, 140), e->GetBounds());
    EXPECT_EQ(lpmMove, page->Modes.back());

    // Unowned, there is neither reference nor correction: the rectangle is stored as given.
    TOwned<TLayerRect> loose(New<TLayerRect>(nullptr));
    loose->SetAlign(laCenterHorz);
    loose->SetRect(R(40, 40, 140, 140), POINT{0, 0}, lpmMove);
    EXPECT_RECT(R(40, 40, 140, 140), loose->GetBounds());
}

TEST(LayerElementPlacement, CaptionFollowsItsElement)
{
    auto page = NewPage();
    auto* image = AddElement<TLayerRect>(page.get(), 1000, 1000, 2000, 1000);
    auto* caption = AddElement<TLayerText>(page.get(), 0, 0, 500, 300);
    caption->SetAttachedTo(image);
    EXPECT_RECT(R(0, 0, 500, 300), caption->GetBounds());
    caption->SetAlign(laBelow | laCenterHorz | laFitWidth);
    EXPECT_RECT(R(1000, 2000, 3000, 2300), caption->GetBounds());
    EXPECT_EQ(caption, image->GetCaption());

    image->SetBounds(4000, 500, 1000, 600);
    EXPECT_RECT(R(4000, 1100, 5000, 1400), caption->GetBounds());
    image->SetHeight(100);
    EXPECT_EQ(600, caption->GetTop());

    // Detaching aligns to the page again.
    caption->SetAttachedTo(nullptr);
    EXPECT_EQ(page->Reference.bottom, caption->GetTop());
}

TEST(LayerElementPlacement, AttachmentCyclesAndForeignElementsAreRefused)
{
    auto page = NewPage();
    auto other = NewPage();
    auto* a = AddElement<TLayerRect>(page.get(), 0, 0, 10, 10);
    auto* b = AddElement<TLayerRect>(page.get(), 0, 0, 10, 10);
    auto* c = AddElement<TLayerRect>(page.get(), 0, 0, 10, 10);
    auto* foreign = AddElement<TLayerRect>(other.get(), 0, 0, 10, 10);
    b->SetAttachedTo(a);
    c->SetAttachedTo(b);
    EXPECT_THROW(a->SetAttachedTo(a), EInvalidOperation);
    EXPECT_THROW(a->SetAttachedTo(c), EInvalidOperation);
    EXPECT_THROW(a->SetAttachedTo(b), EInvalidOperation);
    EXPECT_THROW(a->SetAttachedTo(foreign), EInvalidOperation);
    EXPECT_EQ(nullptr, a->GetAttachedTo());

    // A chain of captions re-places itself down the chain.
    b->SetAlign(laBelow);
    c->SetAlign(laBelow);
    a->SetBounds(0, 0, 10, 50);
    EXPECT_EQ(50, b->GetTop());
    EXPECT_EQ(60, c->GetTop());
}

TEST(LayerElementPlacement, VisibilityRepaintsTheAreaBothWays)
{
    auto page = NewPage();
    auto* e = AddElement<TLayerRect>(page.get(), 10, 10, 20, 20);
    page->Reset();
    e->SetVisible(false);
    // Only the invalidation made while still visible gets through.
    EXPECT_EQ(1u, page->Invalidated.size());
    EXPECT_EQ(1u, page->Changed.size());
    page->Reset();
    e->SetLeft(50);
    EXPECT_TRUE(page->Invalidated.empty());
    EXPECT_EQ(1u, page->Changed.size());
    EXPECT_EQ(nullptr, page->ElementAt(POINT{55, 15}));
    page->Reset();
    e->SetVisible(true);
    EXPECT_EQ(1u, page->Invalidated.size());
    e->SetVisible(true);
    EXPECT_EQ(1u, page->Invalidated.size());
}

TEST(LayerElementPlacement, HitTestMissesRightAndBottomEdges)
{
    auto page = NewPage();
    auto* e = AddElement<TLayerRect>(page.get(), 10, 20, 30, 40);
    EXPECT_TRUE(e->HitTest(POINT{10, 20}));
    EXPECT_TRUE(e->HitTest(POINT{39, 59}));
    EXPECT_FALSE(e->HitTest(POINT{40, 30}));
    EXPECT_FALSE(e->HitTest(POINT{20, 60}));
    EXPECT_FALSE(e->HitTest(POINT{9, 30}));
    EXPECT_TRUE(e->IntersectsRect(R(39, 59, 100, 100)));
    EXPECT_FALSE(e->IntersectsRect(R(40, 20, 100, 100)));
    EXPECT_FALSE(e->IntersectsRect(R(0, 0, 10, 20)));

    auto* frame = AddElement<TLayerFrame>(page.get(), 0, 0, 100, 100);
    frame->SetInnerRect(R(10, 10, 90, 90));
    EXPECT_TRUE(frame->HitTest(POINT{5, 50}));
    EXPECT_FALSE(frame->HitTest(POINT{50, 50}));
    EXPECT_TRUE(frame->HitTest(POINT{90, 50}));
}

// Z-order.

std::vector<TLayerElement*> Order(TLayerComposition* page)
{
    std::vector<TLayerElement*> order;
    for (int i = 0; i < page->Count(); ++i)
        order.push_back(page->GetItem(i));
    return order;
}

TEST(LayerElementZOrder, CaptionsStayAboveTheirElements)
{
    auto page = NewPage();
    auto* a = AddElement<TLayerRect>(page.get(), 0, 0, 10, 10);
    auto* aCaption = AddElement<TLayerText>(page.get(), 0, 0, 10, 10);
    auto* b = AddElement<TLayerRect>(page.get(), 0, 0, 10, 10);
    auto* c = AddElement<TLayerRect>(page.get(), 0, 0, 10, 10);
    auto* cCaption = AddElement<TLayerText>(page.get(), 0, 0, 10, 10);
    auto* cCaption2 = AddElement<TLayerText>(page.get(), 0, 0, 10, 10);
    aCaption->SetAttachedTo(a);
    cCaption->SetAttachedTo(c);
    cCaption2->SetAttachedTo(cCaption);

    a->SetZIndex(1000);
    EXPECT_EQ((std::vector<TLayerElement*>{b, c, cCaption, cCaption2, a, aCaption}), Order(page.get()));
    a->SetZIndex(-1000);
    EXPECT_EQ((std::vector<TLayerElement*>{a, aCaption, b, c, cCaption, cCaption2}), Order(page.get()));
    c->SetZIndex(c->GetZIndex() - 1);
    EXPECT_EQ((std::vector<TLayerElement*>{a, aCaption, c, cCaption, cCaption2, b}), Order(page.get()));

    // A caption does not move by itself and is never inserted twice.
    cCaption->SetZIndex(0);
    cCaption2->SetZIndex(100);
    EXPECT_EQ((std::vector<TLayerElement*>{a, aCaption, c, cCaption, cCaption2, b}), Order(page.get()));
    EXPECT_EQ(6, page->Count());

    TOwned<TLayerRect> loose(New<TLayerRect>(nullptr));
    loose->SetZIndex(3);
    EXPECT_EQ(-1, loose->GetZIndex());
}

TEST(LayerElementZOrder, TopmostCaptionIsTheOneFound)
{
    auto page = NewPage();
    auto* a = AddElement<TLayerRect>(page.get(), 0, 0, 10, 10);
    auto* first = AddElement<TLayerText>(page.get(), 0, 0, 10, 10);
    auto* second = AddElement<TLayerText>(page.get(), 0, 0, 10, 10);
    first->SetAttachedTo(a);
    second->SetAttachedTo(a);
    EXPECT_EQ(second, a->GetCaption());
    EXPECT_EQ(nullptr, first->GetCaption());
}

// Ownership and lifetimes.

TEST(LayerElementLifetime, LeavingAPageFreesCaptionsAndLeavesSelections)
{
    auto page = NewPage();
    auto other = NewPage();
    auto* a = AddElement<TLayerRect>(page.get(), 0, 0, 10, 10);
    auto* caption = AddElement<TLayerText>(page.get(), 0, 0, 10, 10);
    auto* nested = AddElement<TLayerText>(page.get(), 0, 0, 10, 10);
    caption->SetAttachedTo(a);
    nested->SetAttachedTo(caption);
    TOwned<TLayerSelection> selection(New<TLayerSelection>());
    selection->Add(a);
    selection->Add(caption);
    selection->Add(nested);
    ASSERT_EQ(3, selection->Count());

    a->SetOwner(other.get());
    EXPECT_EQ(0, page->Count());
    EXPECT_EQ(1, other->Count());
    EXPECT_TRUE(selection->IsEmpty());
    EXPECT_EQ(a, other->GetItem(0));
}

TEST(LayerElementLifetime, FreeingElementsAndPagesCleansEverySelection)
{
    TOwned<TLayerSelection> first(New<TLayerSelection>());
    TOwned<TLayerSelection> second(New<TLayerSelection>());
    {
        auto page = NewPage();
        auto* a = AddElement<TLayerRect>(page.get(), 0, 0, 10, 10);
        auto* b = AddElement<TLayerRect>(page.get(), 0, 0, 10, 10);
        auto* caption = AddElement<TLayerText>(page.get(), 0, 0, 10, 10);
        caption->SetAttachedTo(a);
        first->Add(a);
        first->Add(caption);
        second->Add(caption);
        second->Add(b);
        a->Free();
        EXPECT_TRUE(first->IsEmpty());
        EXPECT_EQ(1, second->Count());
        EXPECT_EQ(b, second->First());
        EXPECT_EQ(1, page->Count());
    }
    EXPECT_TRUE(second->IsEmpty());
    // A selection freed before its page leaves nothing behind in the page.
    auto page = NewPage();
    auto* c = AddElement<TLayerRect>(page.get(), 0, 0, 10, 10);
    first->Add(c);
    first.reset();
    c->Free();
    EXPECT_EQ(0, page->Count());
}

TEST(LayerElementLifetime, ComposerFreesPagesWithCascadedCaptions)
{
    TOwned<TRecordingComposer> composer(New<TRecordingComposer>());
    TLayerComposition* page = New<TRecordingPage>(composer.get());
    New<TRecordingPage>(composer.get());
    ASSERT_EQ(2, composer->Count());
    auto* a = AddElement<TLayerRect>(page, 0, 0, 10, 10);
    TLayerElement* previous = a;
    for (int i = 0; i < 20; ++i) {
        auto* caption = AddElement<TLayerText>(page, 0, 0, 10, 10);
        caption->SetAttachedTo(previous);
        previous = caption;
    }
    // Moving the chain's top caption below its element keeps every caption once.
    a->SetZIndex(0);
    EXPECT_EQ(21, page->Count());
    composer->Clear();
    EXPECT_EQ(0, composer->Count());
}

// Lists and the selection.

TEST(LayerComposition, ElementAtSkipsInvisibleAndDisabledElements)
{
    auto page = NewPage();
    auto* bottom = AddElement<TLayerRect>(page.get(), 0, 0, 100, 100);
    auto* top = AddElement<TLayerRect>(page.get(), 50, 50, 100, 100);
    EXPECT_EQ(top, page->ElementAt(POINT{60, 60}));
    EXPECT_EQ(bottom, page->ElementAt(POINT{10, 10}));
    EXPECT_EQ(nullptr, page->ElementAt(POINT{150, 10}));
    top->SetEnabled(false);
    EXPECT_EQ(bottom, page->ElementAt(POINT{60, 60}));
    top->SetEnabled(true);
    top->SetVisible(false);
    EXPECT_EQ(bottom, page->ElementAt(POINT{60, 60}));
}

TEST(LayerComposition, SelectionAddsOnceAndRedirectsDisabledCaptions)
{
    auto page = NewPage();
    auto* a = AddElement<TLayerRect>(page.get(), 0, 0, 100, 100);
    auto* b = AddElement<TLayerRect>(page.get(), 200, 300, 100, 100);
    auto* caption = AddElement<TLayerText>(page.get(), 0, 0, 10, 10);
    caption->SetAttachedTo(a);
    caption->SetEnabled(false);
    TOwned<TLayerSelection> selection(New<TLayerSelection>());
    EXPECT_RECT(R(0, 0, 0, 0), selection->GetBounds());
    selection->Add(nullptr);
    selection->Add(caption);
    EXPECT_EQ(1, selection->Count());
    EXPECT_EQ(a, selection->First());
    selection->Add(a);
    EXPECT_EQ(1, selection->Count());
    b->SetEnabled(false);
    selection->Add(b);
    EXPECT_EQ(1, selection->Count());
    b->SetEnabled(true);
    selection->Add(b);
    EXPECT_TRUE(selection->Contains(b));
    EXPECT_RECT(R(0, 0, 300, 400), selection->GetBounds());
    selection->Remove(a);
    EXPECT_EQ(b, selection->First());
    selection->Clear();
    EXPECT_TRUE(selection->IsEmpty());
}

TEST(LayerComposition, InvisiblePageStopsRepaintsButNotChanges)
{
    TRecordingComposer composer;
    auto page = NewPage(&composer);
    auto* e = AddElement<TLayerRect>(page.get(), 0, 0, 10, 10);
    composer.Invalidated.clear();
    composer.Changes.clear();
    page->SetVisible(false);
    e->SetLeft(5);
    EXPECT_TRUE(composer.Invalidated.empty());
    EXPECT_EQ(1u, composer.Changes.size());
    page->SetVisible(true);
    e->SetLeft(6);
    EXPECT_EQ(1u, composer.Invalidated.size());
    page.reset();
    EXPECT_EQ(0, composer.Count());
}

TEST(LayerComposition, ComposerBoundsUniteItsPages)
{
    TOwned<TRecordingComposer> composer(New<TRecordingComposer>());
    EXPECT_RECT(R(0, 0, 0, 0), composer->GetBounds());
    auto* first = New<TRecordingPage>(composer.get());
    auto* second = New<TRecordingPage>(composer.get());
    AddElement<TLayerRect>(first, 10, 10, 10, 10);
    AddElement<TLayerRect>(second, 100, 5, 10, 10);
    EXPECT_RECT(R(10, 5, 110, 20), composer->GetBounds());
    EXPECT_EQ(first, composer->GetItem(0));
    first->SetOwner(nullptr);
    EXPECT_EQ(1, composer->Count());
    first->Free();
}

class TFailingElement : public TLayerRect {
public:
    using TLayerRect::TLayerRect;
    void Print(HDC, const TMapMode&) override { Fail(); }
    std::function<void()> Fail = [] { throw EOutOfResources("no ink"); };
};

class TCountingElement : public TLayerRect {
public:
    using TLayerRect::TLayerRect;
    void Print(HDC, const TMapMode&) override { ++Printed; }
    int Printed = 0;
};

TEST(LayerComposition, PrintingGoesOnAfterAFailingElement)
{
    // Whatever one element raises, out of memory included, the rest of the page prints.
    const std::vector<std::pair<const char*, std::function<void()>>> failures = {
        {"library exception", [] { throw EOutOfResources("no ink"); }},
        {"out of memory", [] { throw std::bad_alloc(); }},
        {"standard exception", [] { throw std::runtime_error("broken"); }},
        {"anything else", [] { throw 42; }},
    };
    for (const auto& [name, fail] : failures) {
        SCOPED_TRACE(name);
        auto page = NewPage();
        auto* before = AddElement<TCountingElement>(page.get(), 0, 0, 10, 10);
        AddElement<TFailingElement>(page.get(), 0, 0, 10, 10)->Fail = fail;
        auto* after = AddElement<TCountingElement>(page.get(), 0, 0, 10, 10);
        auto* hidden = AddElement<TCountingElement>(page.get(), 0, 0, 10, 10);
        hidden->SetVisible(false);
        THiMetric mapMode;
        mapMode.SetDPI(POINT{254, 254});
        EXPECT_NO_THROW(page->Print(nullptr, mapMode));
        EXPECT_EQ(1, before->Printed);
        EXPECT_EQ(1, after->Printed);
        EXPECT_EQ(0, hidden->Printed);
    }
}

}  // namespace
