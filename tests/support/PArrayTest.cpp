#include "support/PArray.h"

#include <gtest/gtest.h>

#include <vector>

namespace quillon {
namespace {

// The first count of values in order, the null slot after them, and Last().
void ExpectContents(const PArray<int>& array, std::vector<int>& values, int32_t count) {
    ASSERT_EQ(array.Count(), count);
    for (int32_t i = 0; i < count; ++i) {
        ASSERT_EQ(array.Get(i), &values[i]) << "slot " << i;
    }
    EXPECT_EQ(array.Get(count), nullptr);
    EXPECT_EQ(array.Last(), count == 0 ? nullptr : &values[count - 1]);
}

// Building a list of 100 000 must not copy it once per 5 elements: 200 steps up to 1002 slots, then few.
TEST(PArrayTest, KeepsANullSlotAfterTheElementsAndGrowsByHalfWhenLarge) {
    std::vector<int> values(100000);
    PArray<int> array;
    int growths = 0;
    for (int i = 0, capacity = array.Capacity(); i < 100000; ++i, capacity = array.Capacity()) {
        EXPECT_EQ(array.Append(&values[i]), &values[i]);
        growths += array.Capacity() != capacity;
        if (i < 13) {
            ExpectContents(array, values, i + 1);  // across the first growth steps
        }
    }
    ExpectContents(array, values, 100000);
    EXPECT_LT(growths, 200 + 30);
}

}  // namespace
}  // namespace quillon
