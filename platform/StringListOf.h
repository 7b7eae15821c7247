// A list of strings held in memory, optionally kept sorted (then Find is a binary search): what the
// 8-bit TStringList and the wide string lists share. TList is the final class (a sort comparison
// takes it), TBase the abstract list it implements, TString its string type. Reached through
// Strings.h, which undoes the system headers' renaming of GetObject first.
#pragma once

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "platform/ListAlgorithms.h"
#include "platform/ObjectModel.h"

enum TDuplicates { dupIgnore, dupAccept, dupError };

// Linguistic comparison of list lines, with regard to case or without.
int CompareListStrings(const std::string& a, const std::string& b, bool caseSensitive);
int CompareListStrings(const std::wstring& a, const std::wstring& b, bool caseSensitive);

template <class TList, class TBase, class TString>
class TStringListOf : public TBase {
public:
    // Compares the lines at two indexes of the list, as a sort needs.
    using TSortCompare = int (*)(TList* list, int index1, int index2);

    ~TStringListOf() override
    {
        FOnChange = nullptr;
        FOnChanging = nullptr;
        if (FOwnsObjects)
            for (TItem& item : FItems)
                if (TObject* object = std::exchange(item.Object, nullptr))
                    object->Free();
    }

    TString Get(int index) const override
    {
        CheckIndex(index);
        return FItems[static_cast<size_t>(index)].String;
    }
    void Put(int index, const TString& s) override
    {
        CheckNotSorted();
        CheckIndex(index);
        Changing();
        FItems[static_cast<size_t>(index)].String = s;
        Changed();
    }
    TObject* GetObject(int index) const override
    {
        CheckIndex(index);
        return FItems[static_cast<size_t>(index)].Object;
    }
    void PutObject(int index, TObject* object) override
    {
        CheckIndex(index);
        Changing();
        FItems[static_cast<size_t>(index)].Object = object;
        Changed();
    }
    int GetCount() const override { return static_cast<int>(FItems.size()); }

    // A sorted list puts the line at its place; a line already present then follows Duplicates
    // (with dupIgnore the existing index comes back and the object stays the caller's).
    int Add(const TString& s) override { return AddObject(s, nullptr); }
    int AddObject(const TString& s, TObject* object) override
    {
        int index = GetCount();
        if (FSorted && Find(s, index)) {
            if (FDuplicates == dupIgnore)
                return index;
            if (FDuplicates == dupError)
                throw EStringListError("String list does not allow duplicates");
        }
        InsertItem(index, s, object);
        return index;
    }
    // Raises EStringListError on a sorted list.
    void Insert(int index, const TString& s) override { InsertObject(index, s, nullptr); }
    void InsertObject(int index, const TString& s, TObject* object) override
    {
        CheckNotSorted();
        if (index < 0 || index > GetCount())
            this->Error("List index out of bounds (%d)", index);
        InsertItem(index, s, object);
    }
    void Delete(int index) override
    {
        CheckIndex(index);
        Changing();
        TObject* object = FItems[static_cast<size_t>(index)].Object;
        FItems.erase(FItems.begin() + index);
        if (FOwnsObjects && object)
            object->Free();
        Changed();
    }
    void Clear() override
    {
        if (FItems.empty())
            return;
        Changing();
        std::vector<TItem> items;
        items.swap(FItems);
        FCapacity = 0;
        if (FOwnsObjects)
            for (TItem& item : items)
                if (item.Object)
                    item.Object->Free();
        Changed();
    }
    void Exchange(int index1, int index2) override
    {
        CheckIndex(index1);
        CheckIndex(index2);
        Changing();
        std::swap(FItems[static_cast<size_t>(index1)], FItems[static_cast<size_t>(index2)]);
        Changed();
    }
    void Move(int curIndex, int newIndex) override
    {
        if (curIndex == newIndex)
            return;
        CheckNotSorted();
        CheckIndex(curIndex);
        CheckIndex(newIndex);
        Changing();
        auto first = FItems.begin();
        if (curIndex < newIndex)
            std::rotate(first + curIndex, first + curIndex + 1, first + newIndex + 1);
        else
            std::rotate(first + newIndex, first + curIndex, first + curIndex + 1);
        Changed();
    }
    int IndexOf(const TString& s) const override
    {
        if (!FSorted)
            return TBase::IndexOf(s);
        int index = -1;
        return Find(s, index) ? index : -1;
    }

    // Binary search of a sorted list: true when found; index is the first equal line, or where
    // the line would be inserted.
    virtual bool Find(const TString& s, int& index) const
    {
        return SortedFind(
            GetCount(), [&](int i) { return CompareStrings(FItems[static_cast<size_t>(i)].String, s); }, index);
    }
    virtual void Sort() { CustomSort(&CompareLines); }
    virtual void CustomSort(TSortCompare compare)
    {
        if (FSorted || GetCount() <= 1)
            return;
        Changing();
        QuickSortIndexes(
            0, GetCount() - 1, [&](int i, int j) { return compare(static_cast<TList*>(this), i, j); },
            [&](int i, int j) { std::swap(FItems[static_cast<size_t>(i)], FItems[static_cast<size_t>(j)]); });
        Changed();
    }

    bool GetSorted() const { return FSorted; }
    void SetSorted(bool value)
    {
        if (FSorted == value)
            return;
        if (value)
            Sort();
        FSorted = value;
    }
    TDuplicates GetDuplicates() const { return FDuplicates; }
    void SetDuplicates(TDuplicates value) { FDuplicates = value; }
    bool GetCaseSensitive() const { return FCaseSensitive; }
    void SetCaseSensitive(bool value)
    {
        if (FCaseSensitive == value)
            return;
        FCaseSensitive = value;
        if (FSorted) {
            FSorted = false;
            Sort();
            FSorted = true;
        }
    }
    // When set, the list frees the objects of lines it deletes or clears, and at its end.
    bool GetOwnsObjects() const { return FOwnsObjects; }
    void SetOwnsObjects(bool value) { FOwnsObjects = value; }
    // Room for lines before the list grows (GrownCapacity).
    int GetCapacity() const { return FCapacity; }
    void SetCapacity(int value)
    {
        if (value < GetCount())
            this->Error("List capacity out of bounds (%d)", value);
        FCapacity = value;
        FItems.reserve(static_cast<size_t>(value));
    }

    const TNotifyEvent& GetOnChange() const { return FOnChange; }
    void SetOnChange(TNotifyEvent handler) { FOnChange = std::move(handler); }
    const TNotifyEvent& GetOnChanging() const { return FOnChanging; }
    void SetOnChanging(TNotifyEvent handler) { FOnChanging = std::move(handler); }

    int CompareStrings(const TString& s1, const TString& s2) const override
    {
        return CompareListStrings(s1, s2, FCaseSensitive);
    }

protected:
    virtual void Changed()
    {
        if (this->GetUpdateCount() == 0 && FOnChange)
            FOnChange(this);
    }
    virtual void Changing()
    {
        if (this->GetUpdateCount() == 0 && FOnChanging)
            FOnChanging(this);
    }
    virtual void InsertItem(int index, const TString& s, TObject* object)
    {
        Changing();
        if (GetCount() == FCapacity)
            SetCapacity(GrownCapacity(FCapacity));
        FItems.insert(FItems.begin() + index, TItem{s, object});
        Changed();
    }
    void SetUpdateState(bool updating) override
    {
        if (updating)
            Changing();
        else
            Changed();
    }

private:
    struct TItem {
        TString String;
        TObject* Object = nullptr;
    };

    static int CompareLines(TList* list, int index1, int index2)
    {
        return list->CompareStrings(list->Get(index1), list->Get(index2));
    }
    void CheckIndex(int index) const
    {
        if (index < 0 || index >= GetCount())
            this->Error("List index out of bounds (%d)", index);
    }
    void CheckNotSorted() const
    {
        if (FSorted)
            throw EStringListError("Operation not allowed on sorted list");
    }

    std::vector<TItem> FItems;
    int FCapacity = 0;
    bool FSorted = false;
    TDuplicates FDuplicates = dupIgnore;
    bool FCaseSensitive = false;
    bool FOwnsObjects = false;
    TNotifyEvent FOnChange;
    TNotifyEvent FOnChanging;
};
