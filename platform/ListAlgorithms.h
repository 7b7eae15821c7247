// What the class library's lists share: how their room grows, the binary search of a sorted list,
// and the quick sort of lists that compare and swap their items by index.
#pragma once

// The capacity after growing: by a quarter above 64, by 16 above 8, else by 4.
inline int GrownCapacity(int capacity)
{
    return capacity + (capacity > 64 ? capacity / 4 : capacity > 8 ? 16 : 4);
}

// Binary search of count sorted items, compareAt(i) comparing item i with the key: true when
// found; index is the first equal item, or where the key would be inserted.
template <class CompareAt>
bool SortedFind(int count, CompareAt compareAt, int& index)
{
    bool found = false;
    int low = 0;
    int high = count - 1;
    while (low <= high) {
        int mid = low + (high - low) / 2;
        int c = compareAt(mid);
        if (c < 0) {
            low = mid + 1;
        } else {
            high = mid - 1;
            if (c == 0)
                found = true;
        }
    }
    index = low;
    return found;
}

// Quick sort of the items left..right through compare(i, j) and swap(i, j). The order of equal
// items is not kept.
template <class Compare, class Swap>
void QuickSortIndexes(int left, int right, Compare compare, Swap swap)
{
    // The pivot is tracked by index as items move, since compare reads the list itself.
    int i;
    do {
        i = left;
        int j = right;
        int pivot = left + (right - left) / 2;
        do {
            while (i < right && compare(i, pivot) < 0)
                ++i;
            while (j > left && compare(j, pivot) > 0)
                --j;
            if (i <= j) {
                if (i != j)
                    swap(i, j);
                if (pivot == i)
                    pivot = j;
                else if (pivot == j)
                    pivot = i;
                ++i;
                --j;
            }
        } while (i <= j);
        if (left < j)
            QuickSortIndexes(left, j, compare, swap);
        left = i;
    } while (i < right);
}
