#include "support/PArray.h"

#include <gtest/gtest.h>

#include <vector>

namespace quillon {
namespace {

struct Counted {
    explicit Counted(int& destroyed) : destroyed(destroyed) {}
    ~Counted() { ++destroyed; }
    int& destroyed;
};

// The elements in insertion order and the terminator after them.
void ExpectContents(const PArray<int>& array, const std::vector<int*>& expected) {
    ASSERT_EQ(array.Count(), static_cast<int32_t>(expected.size()));
    int32_t same = 0;
    while (same < array.Count() && array.Get(same) == expected[same]) {
        ++same;
    }
    EXPECT_EQ(same, array.Count()) << "first differing slot";
    EXPECT_EQ(array.Get(array.Count()), nullptr);
    EXPECT_EQ(array.IsEmpty(), expected.empty());
    EXPECT_EQ(array.Last(), expected.empty() ? nullptr : expected.back());
}

TEST(PArrayTest, GrowsByFiveSlotsKeepingElementsAndTerminator) {
    // Capacity after the 1st, 2nd, ... append: the second element and the terminator need 3 slots.
    const int32_t expectedCapacity[] = {2, 7, 7, 7, 7, 7, 12, 12, 12, 12, 12, 17};
    int values[12] = {};
    PArray<int> array;
    EXPECT_EQ(array.Capacity(), 2);
    ExpectContents(array, {});
    std::vector<int*> appended;
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(array.Append(&values[i]), &values[i]);
        appended.push_back(&values[i]);
        EXPECT_EQ(array.Capacity(), expectedCapacity[i]) << "after append " << i + 1;
        ExpectContents(array, appended);
    }
}

// A large list grows by half its size, so that building it costs a number of copies linear in its length.
TEST(PArrayTest, LargeArraysGrowGeometrically) {
    static int value = 0;
    PArray<int> array;
    int growths = 0;
    int32_t capacity = array.Capacity();
    for (int i = 0; i < 100000; ++i) {
        array.Append(&value);
        if (array.Capacity() != capacity) {
            ++growths;
            capacity = array.Capacity();
        }
    }
    EXPECT_EQ(array.Count(), 100000);
    EXPECT_EQ(array.Get(100000), nullptr);
    EXPECT_LT(growths, 200 + 30);  // 200 steps of 5 up to 1002 slots, then few
}

TEST(PArrayTest, NeverDeletesItsElements) {
    int destroyed = 0;
    Counted a(destroyed), b(destroyed);
    {
        PArray<Counted> array;
        array.Append(&a);
        array.Append(&b);
        array.RemoveLast();
        EXPECT_EQ(array.Count(), 1);
        EXPECT_EQ(array.Last(), &a);
        EXPECT_EQ(array.Get(1), nullptr);
    }
    EXPECT_EQ(destroyed, 0);

    PArray<Counted> owned;
    for (int i = 0; i < 8; ++i) {
        owned.Append(new Counted(destroyed));
    }
    DeleteAll(owned);
    EXPECT_EQ(destroyed, 8);
    EXPECT_EQ(owned.Get(0), nullptr);
}

TEST(PArrayTest, MovedFromArrayIsEmptyAndUsable) {
    int values[3] = {};
    PArray<int> source;
    source.Append(&values[0]);
    source.Append(&values[1]);
    PArray<int> target(std::move(source));
    ExpectContents(target, {&values[0], &values[1]});
    ExpectContents(source, {});
    source.Append(&values[2]);
    target = std::move(source);
    ExpectContents(target, {&values[2]});
    ExpectContents(source, {});
}

}  // namespace
}  // namespace quillon
