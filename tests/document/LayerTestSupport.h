// Test doubles for the owners of elements: a page with a fixed reference rectangle that records
// what its elements report, and a project that records what its pages report.
#pragma once

#include <memory>
#include <utility>
#include <vector>

#include "document/Layer.h"

class TRecordingComposer : public TLayerComposer {
public:
    void InvalidateRect(const RECT& r) override { Invalidated.push_back(r); }
    void CompositionChanged(TLayerComposition* composition, TLayerElement* element) override
    {
        Changes.emplace_back(composition, element);
    }

    std::vector<RECT> Invalidated;
    std::vector<std::pair<TLayerComposition*, TLayerElement*>> Changes;
};

class TRecordingPage : public TLayerComposition {
public:
    explicit TRecordingPage(TLayerComposer* owner = nullptr) : TLayerComposition(owner) {}

    RECT GetReferenceRect() override { return Reference; }
    void InvalidateRect(const RECT& r) override
    {
        Invalidated.push_back(r);
        TLayerComposition::InvalidateRect(r);
    }
    void ElementChanged(TLayerElement* element) override
    {
        Changed.push_back(element);
        TLayerComposition::ElementChanged(element);
    }
    void AdjustRect(TLayerElement*, RECT& r, int mode) override
    {
        Modes.push_back(mode);
        if (SnapX != 0 && mode == lpmMove) {
            r.right += SnapX - r.left;
            r.left = SnapX;
        }
    }
    void Reset()
    {
        Invalidated.clear();
        Changed.clear();
        Modes.clear();
    }

    RECT Reference{0, 0, 20000, 30000};
    int SnapX = 0;
    std::vector<RECT> Invalidated;
    std::vector<TLayerElement*> Changed;
    std::vector<int> Modes;
};

inline TOwned<TRecordingPage> NewPage(TLayerComposer* owner = nullptr)
{
    return TOwned<TRecordingPage>(New<TRecordingPage>(owner));
}

template <class T>
T* AddElement(TLayerComposition* page, int left, int top, int width, int height)
{
    T* element = New<T>(page);
    element->SetBounds(left, top, width, height);
    return element;
}
