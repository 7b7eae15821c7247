#include <gtest/gtest.h>

#include <cstdint>

#include "platform/List.h"

namespace {
void* P(intptr_t v)
{
    return reinterpret_cast<void*>(v);
}

std::vector<intptr_t> Values(const TList& list)
{
    std::vector<intptr_t> out;
    for (int i = 0; i < list.Count(); ++i)
        out.push_back(reinterpret_cast<intptr_t>(list[i]));
    return out;
}

void ExpectIndexError(const std::function<void()>& fn, const char* message)
{
    try {
        fn();
        ADD_FAILURE() << "no exception, expected " << message;
    } catch (const EListError& e) {
        EXPECT_STREQ(e.what(), message);
    }
}
}

TEST(List, AddInsertDeleteRemove)
{
    TList list;
    EXPECT_EQ(list.Add(P(1)), 0);
    EXPECT_EQ(list.Add(P(3)), 1);
    list.Insert(1, P(2));
    list.Insert(3, P(4));
    list.Insert(0, P(0));
    EXPECT_EQ(Values(list), (std::vector<intptr_t>{0, 1, 2, 3, 4}));
    list.Delete(0);
    EXPECT_EQ(list.Remove(P(3)), 2);
    EXPECT_EQ(list.Remove(P(99)), -1);
    EXPECT_EQ(Values(list), (std::vector<intptr_t>{1, 2, 4}));
    EXPECT_EQ(list.First(), P(1));
    EXPECT_EQ(list.Last(), P(4));
    EXPECT_EQ(list.IndexOf(P(4)), 2);
    EXPECT_EQ(list.Extract(P(2)), P(2));
    EXPECT_EQ(list.Extract(P(2)), nullptr);
    EXPECT_EQ(Values(list), (std::vector<intptr_t>{1, 4}));
    list.SetItem(1, P(5));
    EXPECT_EQ(list.GetItem(1), P(5));
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.GetCapacity(), 0);
}

TEST(List, MoveExchangeAndPack)
{
    TList list;
    for (intptr_t i = 0; i < 5; ++i)
        list.Add(P(i));
    list.Move(0, 3);
    EXPECT_EQ(Values(list), (std::vector<intptr_t>{1, 2, 3, 0, 4}));
    list.Move(4, 0);
    EXPECT_EQ(Values(list), (std::vector<intptr_t>{4, 1, 2, 3, 0}));
    list.Exchange(0, 4);
    EXPECT_EQ(Values(list), (std::vector<intptr_t>{0, 1, 2, 3, 4}));
    list.Pack();
    EXPECT_EQ(Values(list), (std::vector<intptr_t>{1, 2, 3, 4}));
    list.SetCount(6);
    EXPECT_EQ(list.GetItem(5), nullptr);
    list.Insert(0, nullptr);
    list.Pack();
    EXPECT_EQ(Values(list), (std::vector<intptr_t>{1, 2, 3, 4}));
    list.SetCount(2);
    list.SetCount(3);
    EXPECT_EQ(Values(list), (std::vector<intptr_t>{1, 2, 0}));
}

TEST(List, BoundsRaiseListError)
{
    TList list;
    ExpectIndexError([&] { list.First(); }, "List index out of bounds (0)");
    ExpectIndexError([&] { list.Last(); }, "List index out of bounds (-1)");
    list.Add(P(1));
    ExpectIndexError([&] { list.GetItem(1); }, "List index out of bounds (1)");
    ExpectIndexError([&] { list.SetItem(-1, nullptr); }, "List index out of bounds (-1)");
    ExpectIndexError([&] { list.Delete(1); }, "List index out of bounds (1)");
    ExpectIndexError([&] { list.Insert(2, nullptr); }, "List index out of bounds (2)");
    ExpectIndexError([&] { list.Exchange(0, 1); }, "List index out of bounds (1)");
    ExpectIndexError([&] { list.Move(0, 1); }, "List index out of bounds (1)");
    ExpectIndexError([&] { list.SetCount(-1); }, "List count out of bounds (-1)");
    ExpectIndexError([&] { list.SetCapacity(0); }, "List capacity out of bounds (0)");
    list.Insert(1, P(2));
    EXPECT_EQ(list.Count(), 2);
}

TEST(List, GrowthSteps)
{
    TList list;
    std::vector<int> capacities;
    for (int i = 0; i < 100; ++i) {
        list.Add(nullptr);
        if (capacities.empty() || capacities.back() != list.GetCapacity())
            capacities.push_back(list.GetCapacity());
    }
    EXPECT_EQ(capacities, (std::vector<int>{4, 8, 12, 28, 44, 60, 76, 95, 118}));
}

TEST(List, SortIsStable)
{
    TList list;
    for (intptr_t v : {31, 12, 22, 11, 32, 21})
        list.Add(P(v));
    // Compare by tens only: equal tens keep their insertion order.
    list.Sort([](void* a, void* b) {
        return static_cast<int>(reinterpret_cast<intptr_t>(a) / 10 - reinterpret_cast<intptr_t>(b) / 10);
    });
    EXPECT_EQ(Values(list), (std::vector<intptr_t>{12, 11, 22, 21, 31, 32}));
}
