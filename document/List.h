// The containers of the document: an ordered list of references, the z-ordered elements of one
// page (composition), the list of pages (composer) and the set of selected elements. Changes and
// repaint requests run upward through the virtual operations that the page, the project and the
// view override.
#pragma once

#include <windows.h>

#include <vector>

#include "platform/List.h"

class TLayerElement;
class TLayerCanvas;
class TLayerComposer;
class TLayerSelection;
class TMapMode;

// An ordered list of item references. It frees the list, never the items: subclasses decide.
class TCustomList : public TObject {
    SF_CLASS(TCustomList)
public:
    TCustomList() = default;

    virtual int Count() const;

protected:
    TList& GetList() { return FList; }
    const TList& GetList() const { return FList; }

private:
    TList FList;
};

// The elements of one page in z-order, index 0 at the bottom. It owns its elements. Elements
// report here; a composition reports to its composer.
class TLayerComposition : public TCustomList {
    SF_CLASS(TLayerComposition)
public:
    // The composition joins the composer in AfterConstruction.
    explicit TLayerComposition(TLayerComposer* owner = nullptr);
    void AfterConstruction() override;
    // Frees the elements (bottom first), tells the selections that listed them, leaves the
    // composer.
    void BeforeDestruction() override;

    // The rectangle that unattached elements align to; the base gives GetBounds.
    virtual RECT GetReferenceRect();
    // The union of the elements' bounds.
    virtual RECT GetBounds();
    // A repaint request in logical units: passed to the composer when owned and Visible.
    virtual void InvalidateRect(const RECT& r);
    // An element changed: the composer's CompositionChanged(this, element).
    virtual void ElementChanged(TLayerElement* element);
    // The composition as a whole changed: the composer's CompositionChanged(this, nullptr).
    virtual void Changed();
    // Repaints everything: InvalidateRect(GetBounds()), then Changed.
    virtual void Update();
    // Lets the page correct a rectangle while the element is being placed (snapping).
    virtual void AdjustRect(TLayerElement* element, RECT& r, int mode);
    // Paints the visible elements bottom first.
    virtual void Paint(TLayerCanvas* canvas, const RECT& updateRect);
    // Prints the visible elements bottom first; one element's failure does not stop the others.
    virtual void Print(HDC dc, const TMapMode& mapMode);

    TLayerElement* GetItem(int index) const;
    int IndexOf(const TLayerElement* element) const;
    TLayerComposer* GetOwner() const { return FOwner; }
    void SetOwner(TLayerComposer* owner);
    bool GetVisible() const { return FVisible; }
    void SetVisible(bool value) { FVisible = value; }

    // The topmost element under the logical point that is Visible and Enabled, or nullptr.
    TLayerElement* ElementAt(const POINT& p) const;
    // Re-places every element attached to element against its current bounds.
    void ReplaceCaptions(TLayerElement* element);
    // Frees every element attached to element (and, through them, their own captions).
    void DeleteCaptions(TLayerElement* element);
    // The topmost element attached to element, or nullptr: the caption that files store.
    TLayerElement* FindCaption(const TLayerElement* element) const;

private:
    friend class TLayerElement;
    friend class TLayerSelection;
    // Called by the element when it joins or leaves the list.
    void InsertElement(TLayerElement* element);
    void RemoveElement(TLayerElement* element);
    void MoveElement(int curIndex, int newIndex);
    void InsertElementAt(int index, TLayerElement* element);
    // Selections that listed one of the elements; each leaving element is taken out of them.
    void AttachSelection(TLayerSelection* selection);
    void DetachSelection(TLayerSelection* selection);

    TLayerComposer* FOwner = nullptr;
    TLayerComposer* FPendingOwner = nullptr;
    bool FVisible = true;
    TList FSelections;
};

// The compositions of a project (its pages). It owns them. The project overrides the
// notifications to set its modified flag and to pass repaint requests to the view.
class TLayerComposer : public TCustomList {
    SF_CLASS(TLayerComposer)
public:
    TLayerComposer() = default;
    void BeforeDestruction() override;

    virtual void InvalidateRect(const RECT& r);
    // element is nullptr for a change of the composition as a whole.
    virtual void CompositionChanged(TLayerComposition* composition, TLayerElement* element);
    // The first composition's bounds united with each further one's; (0, 0, 0, 0) when empty.
    virtual RECT GetBounds();
    // Frees every composition.
    virtual void Clear();

    TLayerComposition* GetItem(int index) const;

private:
    friend class TLayerComposition;
};

// The selected elements in the order in which they were selected. It owns nothing; elements that
// leave their composition or are freed leave the selection by themselves.
class TLayerSelection : public TCustomList {
    SF_CLASS(TLayerSelection)
public:
    TLayerSelection() = default;
    void BeforeDestruction() override;

    // A disabled element selects the element it is attached to instead.
    virtual void Add(TLayerElement* element);
    virtual void Remove(TLayerElement* element);
    // The union of the selected elements' bounds; (0, 0, 0, 0) when nothing is selected.
    virtual RECT GetBounds();

    void Clear();
    TLayerElement* First() const;
    TLayerElement* GetItem(int index) const;
    bool IsEmpty() const { return Count() == 0; }
    bool Contains(const TLayerElement* element) const;
    // The selected elements as they are now, for loops that change elements as they go: a change
    // may add to or take from the selection (a caption follows its picture).
    std::vector<TLayerElement*> Snapshot() const;

private:
    friend class TLayerComposition;
    // The composition is going away: forget it (its elements have left already).
    void CompositionFreed(TLayerComposition* composition);

    TList FCompositions;
};
