// An ordered, growable list of untyped references; it never owns what it holds.
#pragma once

#include <vector>

#include "platform/ObjectModel.h"

// Negative when the first item sorts before the second, 0 when equal, positive after.
using TListSortCompare = int (*)(void* item1, void* item2);

class TList : public TObject {
    SF_CLASS(TList)
public:
    TList() = default;

    int Add(void* item);
    void Insert(int index, void* item);
    void Delete(int index);
    // Removes the first occurrence; returns its former index, or -1 when absent.
    int Remove(void* item);
    // Removes the first occurrence and returns it, or nullptr when absent.
    void* Extract(void* item);
    int IndexOf(void* item) const;
    void Move(int curIndex, int newIndex);
    void Exchange(int index1, int index2);
    void Clear();
    // Removes every nullptr entry.
    void Pack();
    // Stable: items that compare equal keep their order.
    void Sort(TListSortCompare compare);

    void* First() const { return GetItem(0); }
    void* Last() const { return GetItem(FCount - 1); }

    int GetCount() const { return FCount; }
    int Count() const { return FCount; }
    // Growing fills with nullptr; shrinking drops the items past the new count.
    void SetCount(int newCount);
    int GetCapacity() const { return static_cast<int>(FItems.size()); }
    // Raises EListError below the current count.
    void SetCapacity(int newCapacity);
    void* GetItem(int index) const;
    void SetItem(int index, void* item);
    void* operator[](int index) const { return GetItem(index); }

private:
    void CheckIndex(int index) const;
    void Grow();

    std::vector<void*> FItems;  // the size is the capacity
    int FCount = 0;
};
