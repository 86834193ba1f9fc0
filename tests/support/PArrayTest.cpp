#include "support/PArray.h"

#include <gtest/gtest.h>

#include <vector>

namespace quillon {
namespace {

// The elements in order, the null slot after them, and Last().
void ExpectContents(const PArray<int>& array, const std::vector<int*>& expected) {
    ASSERT_EQ(array.Count(), static_cast<int32_t>(expected.size()));
    for (int32_t i = 0; i < array.Count(); ++i) {
        ASSERT_EQ(array.Get(i), expected[i]) << "slot " << i;
    }
    EXPECT_EQ(array.Get(array.Count()), nullptr);
    EXPECT_EQ(array.Last(), expected.empty() ? nullptr : expected.back());
}

// Building a list of 100 000 must not copy it once per 5 elements: 200 steps up to 1002 slots, then few.
TEST(PArrayTest, KeepsANullSlotAfterTheElementsAndGrowsByHalfWhenLarge) {
    std::vector<int> values(100000);
    std::vector<int*> appended;
    PArray<int> array;
    int growths = 0;
    for (int i = 0, capacity = array.Capacity(); i < 100000; ++i, capacity = array.Capacity()) {
        EXPECT_EQ(array.Append(&values[i]), &values[i]);
        appended.push_back(&values[i]);
        growths += array.Capacity() != capacity;
        if (i < 13) {
            ExpectContents(array, appended);  // across the first growth steps
        }
    }
    ExpectContents(array, appended);
    EXPECT_LT(growths, 200 + 30);
}

}  // namespace
}  // namespace quillon
