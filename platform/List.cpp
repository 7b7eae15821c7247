#include "platform/List.h"

#include <algorithm>

#include "platform/ListAlgorithms.h"
#include "platform/SysUtils.h"

SF_IMPLEMENT_CLASS(TList, TObject)

void TList::CheckIndex(int index) const
{
    if (index < 0 || index >= FCount)
        throw EListError(Format("List index out of bounds (%d)", index));
}

void TList::Grow()
{
    SetCapacity(GrownCapacity(GetCapacity()));
}

int TList::Add(void* item)
{
    int index = FCount;
    if (FCount == GetCapacity())
        Grow();
    FItems[FCount++] = item;
    return index;
}

void TList::Insert(int index, void* item)
{
    if (index < 0 || index > FCount)
        throw EListError(Format("List index out of bounds (%d)", index));
    if (FCount == GetCapacity())
        Grow();
    std::move_backward(FItems.begin() + index, FItems.begin() + FCount, FItems.begin() + FCount + 1);
    FItems[index] = item;
    ++FCount;
}

void TList::Delete(int index)
{
    CheckIndex(index);
    std::move(FItems.begin() + index + 1, FItems.begin() + FCount, FItems.begin() + index);
    FItems[--FCount] = nullptr;
}

int TList::Remove(void* item)
{
    int index = IndexOf(item);
    if (index >= 0)
        Delete(index);
    return index;
}

void* TList::Extract(void* item)
{
    int index = IndexOf(item);
    if (index < 0)
        return nullptr;
    Delete(index);
    return item;
}

int TList::IndexOf(void* item) const
{
    for (int i = 0; i < FCount; ++i)
        if (FItems[i] == item)
            return i;
    return -1;
}

void TList::Move(int curIndex, int newIndex)
{
    if (curIndex == newIndex)
        return;
    CheckIndex(curIndex);
    CheckIndex(newIndex);
    auto first = FItems.begin();
    if (curIndex < newIndex)
        std::rotate(first + curIndex, first + curIndex + 1, first + newIndex + 1);
    else
        std::rotate(first + newIndex, first + curIndex, first + curIndex + 1);
}

void TList::Exchange(int index1, int index2)
{
    CheckIndex(index1);
    CheckIndex(index2);
    std::swap(FItems[index1], FItems[index2]);
}

void TList::Clear()
{
    FItems.clear();
    FItems.shrink_to_fit();
    FCount = 0;
}

void TList::Pack()
{
    auto end = std::remove(FItems.begin(), FItems.begin() + FCount, nullptr);
    std::fill(end, FItems.begin() + FCount, nullptr);
    FCount = static_cast<int>(end - FItems.begin());
}

void TList::Sort(TListSortCompare compare)
{
    std::stable_sort(FItems.begin(), FItems.begin() + FCount,
                     [compare](void* a, void* b) { return compare(a, b) < 0; });
}

void TList::SetCount(int newCount)
{
    if (newCount < 0)
        throw EListError(Format("List count out of bounds (%d)", newCount));
    if (newCount > GetCapacity())
        SetCapacity(newCount);
    if (newCount < FCount)
        std::fill(FItems.begin() + newCount, FItems.begin() + FCount, nullptr);
    FCount = newCount;
}

void TList::SetCapacity(int newCapacity)
{
    if (newCapacity < FCount)
        throw EListError(Format("List capacity out of bounds (%d)", newCapacity));
    FItems.resize(newCapacity, nullptr);
}

void* TList::GetItem(int index) const
{
    CheckIndex(index);
    return FItems[index];
}

void TList::SetItem(int index, void* item)
{
    CheckIndex(index);
    FItems[index] = item;
}
