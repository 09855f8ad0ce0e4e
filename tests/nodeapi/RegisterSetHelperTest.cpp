// CopyData, the bounded copy behind every register read.

#include <gtest/gtest.h>

#include "support/Raised.h"

#include "nodeapi/Exceptions.h"
#include "nodeapi/RegisterSetHelper.h"

using namespace NodeApi;

TEST(RegisterSetHelperTest, CopyDataChecksSizesAndBuffers) {
    uint8_t src[5] = {1, 2, 3, 4, 5};
    uint8_t dst[5] = {};
    EXPECT_EQ(5, CopyData(dst, 5, src, 5));
    EXPECT_EQ(5, dst[4]);
    EXPECT_EQ("OutOfRange: CopyData : Destination size (4) does not fit source size (1) "
              "(nodeapi/RegisterSetHelper:31)",
              KacqTest::RaisedWhere([&] { CopyData(dst, 4, src, 1); }));
    // A 64-bit length whose low 32 bits match must not pass.
    EXPECT_THROW(CopyData(dst, (int64_t(1) << 32) + 1, src, 1), OutOfRangeException);
    EXPECT_EQ("Runtime: Invalid user buffer (nodeapi/RegisterSetHelper:37)",
              KacqTest::RaisedWhere([&] { CopyData(nullptr, 1, src, 1); }));
    EXPECT_EQ(0, CopyData(nullptr, 0, nullptr, 0));
}
