// CValueCache and CopyData.
#include "nodeapi/ValueCache.h"

#include <gtest/gtest.h>

#include "nodeapi/Exceptions.h"
#include "nodeapi/RegisterSetHelper.h"

using namespace NodeApi;

TEST(ValueCacheTest, EntriesKeepValidityAndLength) {
    CValueCache cache;
    EXPECT_FALSE(cache.IsValid(0x10));
    uint8_t out[8] = {};
    try {
        cache.GetValue(0x10, 4, out);
        FAIL();
    } catch (const RuntimeException& e) {
        EXPECT_EQ("CValueCache::GetValue() - value not present", e.GetDescription());
    }
    const uint8_t four[4] = {1, 2, 3, 4};
    cache.SetValue(0x10, 4, four);
    EXPECT_TRUE(cache.IsValid(0x10));
    cache.GetValue(0x10, 8, out); // copies only the entry's 4 bytes
    EXPECT_EQ(4, out[3]);
    EXPECT_EQ(0, out[4]);

    const uint8_t two[2] = {9, 9};
    cache.Invalidate(0x10);
    EXPECT_FALSE(cache.IsValid(0x10));
    cache.SetValue(0x10, 2, two); // over the start; the tail stays
    EXPECT_TRUE(cache.IsValid(0x10));
    EXPECT_TRUE(cache.TryGetValue(0x10, 4, out));
    EXPECT_EQ((std::vector<uint8_t>{9, 9, 3, 4}), std::vector<uint8_t>(out, out + 4));
    EXPECT_FALSE(cache.TryGetValue(0x10, 5, out)); // does not hold 5 bytes
    cache.Invalidate(0x99);                        // absent: nothing happens
    EXPECT_THROW(cache.SetValue(0x20, -1, two), InvalidArgumentException);
    EXPECT_THROW(cache.SetValue(0x20, 4, nullptr), InvalidArgumentException);
}

TEST(RegisterSetHelperTest, CopyDataChecksSizesAndBuffers) {
    uint8_t src[5] = {1, 2, 3, 4, 5};
    uint8_t dst[5] = {};
    EXPECT_EQ(5, CopyData(dst, 5, src, 5));
    EXPECT_EQ(5, dst[4]);
    try {
        CopyData(dst, 4, src, 1);
        FAIL();
    } catch (const OutOfRangeException& e) {
        EXPECT_STREQ("CopyData : Destination size (4) does not fit source size (1) "
                     "(nodeapi/RegisterSetHelper:31)",
                     e.what());
    }
    // A 64-bit length whose low 32 bits match must not pass.
    EXPECT_THROW(CopyData(dst, (int64_t(1) << 32) + 1, src, 1), OutOfRangeException);
    try {
        CopyData(nullptr, 1, src, 1);
        FAIL();
    } catch (const RuntimeException& e) {
        EXPECT_STREQ("Invalid user buffer (nodeapi/RegisterSetHelper:37)", e.what());
    }
    EXPECT_EQ(0, CopyData(nullptr, 0, nullptr, 0));
}
