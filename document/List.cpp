#include "document/List.h"

#include "document/Layer.h"
#include "graphics/SfTypes.h"

SF_IMPLEMENT_ABSTRACT(TCustomList, TObject)
SF_IMPLEMENT_ABSTRACT(TLayerComposition, TCustomList)
SF_IMPLEMENT_CLASS(TLayerComposer, TCustomList)
SF_IMPLEMENT_CLASS(TLayerSelection, TCustomList)

namespace {
// The first item's bounds united with each further one's; (0, 0, 0, 0) for no items.
template <class List>
RECT UnionOfBounds(const List& list)
{
    RECT result{};
    for (int i = 0; i < list.Count(); ++i) {
        RECT b = list.GetItem(i)->GetBounds();
        if (i == 0)
            result = b;
        else
            SfTypes::UnionRect(result, result, b);
    }
    return result;
}
}

int TCustomList::Count() const
{
    return FList.Count();
}

// TLayerComposition

TLayerComposition::TLayerComposition(TLayerComposer* owner) : FPendingOwner(owner)
{
}

void TLayerComposition::AfterConstruction()
{
    TCustomList::AfterConstruction();
    SetOwner(FPendingOwner);
}

void TLayerComposition::BeforeDestruction()
{
    while (Count() > 0)
        GetItem(0)->Free();
    while (FSelections.Count() > 0) {
        auto* selection = static_cast<TLayerSelection*>(FSelections.Last());
        FSelections.Delete(FSelections.Count() - 1);
        selection->CompositionFreed(this);
    }
    SetOwner(nullptr);
    TCustomList::BeforeDestruction();
}

RECT TLayerComposition::GetReferenceRect()
{
    return GetBounds();
}

RECT TLayerComposition::GetBounds()
{
    return UnionOfBounds(*this);
}

void TLayerComposition::InvalidateRect(const RECT& r)
{
    if (FOwner && FVisible)
        FOwner->InvalidateRect(r);
}

void TLayerComposition::ElementChanged(TLayerElement* element)
{
    if (FOwner)
        FOwner->CompositionChanged(this, element);
}

void TLayerComposition::Changed()
{
    if (FOwner)
        FOwner->CompositionChanged(this, nullptr);
}

void TLayerComposition::Update()
{
    InvalidateRect(GetBounds());
    Changed();
}

void TLayerComposition::AdjustRect(TLayerElement*, RECT&, int)
{
}

void TLayerComposition::Paint(TLayerCanvas* canvas, const RECT& updateRect)
{
    for (int i = 0; i < Count(); ++i) {
        TLayerElement* element = GetItem(i);
        if (element->GetVisible())
            element->Paint(canvas, updateRect);
    }
}

void TLayerComposition::Print(HDC dc, const TMapMode& mapMode)
{
    for (int i = 0; i < Count(); ++i) {
        TLayerElement* element = GetItem(i);
        if (!element->GetVisible())
            continue;
        // One element that cannot print, for whatever reason (a large picture that finds no
        // memory as well), must not cost the user the rest of the page.
        try {
            element->Print(dc, mapMode);
        } catch (const std::exception& e) {
            OutputDebugStringA(("Printing element '" + element->GetName() + "' failed: " + e.what()).c_str());
        } catch (...) {
            OutputDebugStringA(("Printing element '" + element->GetName() + "' failed").c_str());
        }
    }
}

TLayerElement* TLayerComposition::GetItem(int index) const
{
    return static_cast<TLayerElement*>(GetList().GetItem(index));
}

int TLayerComposition::IndexOf(const TLayerElement* element) const
{
    return GetList().IndexOf(const_cast<TLayerElement*>(element));
}

void TLayerComposition::SetOwner(TLayerComposer* owner)
{
    if (owner == FOwner)
        return;
    if (FOwner)
        FOwner->GetList().Remove(this);
    if (owner && owner->GetList().IndexOf(this) < 0)
        owner->GetList().Add(this);
    FOwner = owner;
    InvalidateRect(GetBounds());
    Changed();
}

TLayerElement* TLayerComposition::ElementAt(const POINT& p) const
{
    for (int i = Count() - 1; i >= 0; --i) {
        TLayerElement* element = GetItem(i);
        if (element->GetVisible() && element->GetEnabled() && element->HitTest(p))
            return element;
    }
    return nullptr;
}

void TLayerComposition::ReplaceCaptions(TLayerElement* element)
{
    for (int i = 0; i < Count(); ++i) {
        TLayerElement* caption = GetItem(i);
        if (caption->GetAttachedTo() == element)
            caption->SetBounds(caption->GetLeft(), caption->GetTop(), caption->GetWidth(), caption->GetHeight());
    }
}

void TLayerComposition::DeleteCaptions(TLayerElement* element)
{
    // Freeing one caption frees its own captions too, so look again from the top each time.
    while (TLayerElement* caption = FindCaption(element))
        caption->Free();
}

TLayerElement* TLayerComposition::FindCaption(const TLayerElement* element) const
{
    for (int i = Count() - 1; i >= 0; --i)
        if (GetItem(i)->GetAttachedTo() == element)
            return GetItem(i);
    return nullptr;
}

void TLayerComposition::InsertElement(TLayerElement* element)
{
    if (IndexOf(element) < 0)
        GetList().Add(element);
}

void TLayerComposition::RemoveElement(TLayerElement* element)
{
    GetList().Remove(element);
    for (int i = FSelections.Count() - 1; i >= 0; --i) {
        if (i >= FSelections.Count())
            continue;
        static_cast<TLayerSelection*>(FSelections.GetItem(i))->Remove(element);
    }
}

void TLayerComposition::MoveElement(int curIndex, int newIndex)
{
    GetList().Move(curIndex, newIndex);
}

void TLayerComposition::InsertElementAt(int index, TLayerElement* element)
{
    GetList().Insert(index, element);
}

void TLayerComposition::AttachSelection(TLayerSelection* selection)
{
    if (FSelections.IndexOf(selection) < 0)
        FSelections.Add(selection);
}

void TLayerComposition::DetachSelection(TLayerSelection* selection)
{
    FSelections.Remove(selection);
}

// TLayerComposer

void TLayerComposer::BeforeDestruction()
{
    Clear();
    TCustomList::BeforeDestruction();
}

void TLayerComposer::InvalidateRect(const RECT&)
{
}

void TLayerComposer::CompositionChanged(TLayerComposition*, TLayerElement*)
{
}

RECT TLayerComposer::GetBounds()
{
    return UnionOfBounds(*this);
}

void TLayerComposer::Clear()
{
    while (Count() > 0)
        GetItem(0)->Free();
}

TLayerComposition* TLayerComposer::GetItem(int index) const
{
    return static_cast<TLayerComposition*>(GetList().GetItem(index));
}

// TLayerSelection

void TLayerSelection::BeforeDestruction()
{
    for (int i = 0; i < FCompositions.Count(); ++i)
        static_cast<TLayerComposition*>(FCompositions.GetItem(i))->DetachSelection(this);
    FCompositions.Clear();
    TCustomList::BeforeDestruction();
}

void TLayerSelection::Add(TLayerElement* element)
{
    if (!element || Contains(element))
        return;
    if (!element->GetEnabled()) {
        Add(element->GetAttachedTo());
        return;
    }
    GetList().Add(element);
    if (TLayerComposition* owner = element->GetOwner()) {
        owner->AttachSelection(this);
        if (FCompositions.IndexOf(owner) < 0)
            FCompositions.Add(owner);
    }
}

void TLayerSelection::Remove(TLayerElement* element)
{
    GetList().Remove(element);
}

RECT TLayerSelection::GetBounds()
{
    return UnionOfBounds(*this);
}

void TLayerSelection::Clear()
{
    GetList().Clear();
}

TLayerElement* TLayerSelection::First() const
{
    return Count() > 0 ? GetItem(0) : nullptr;
}

TLayerElement* TLayerSelection::GetItem(int index) const
{
    return static_cast<TLayerElement*>(GetList().GetItem(index));
}

std::vector<TLayerElement*> TLayerSelection::Snapshot() const
{
    std::vector<TLayerElement*> elements;
    elements.reserve(static_cast<size_t>(Count()));
    for (int i = 0; i < Count(); ++i)
        elements.push_back(GetItem(i));
    return elements;
}

bool TLayerSelection::Contains(const TLayerElement* element) const
{
    return GetList().IndexOf(const_cast<TLayerElement*>(element)) >= 0;
}

void TLayerSelection::CompositionFreed(TLayerComposition* composition)
{
    FCompositions.Remove(composition);
}
