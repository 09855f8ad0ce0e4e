// CopyData, the bounded copy behind every register read (its size message
// with source and line: camera/TliPortBaseTest).
#include <gtest/gtest.h>

#include "nodeapi/RegisterSetHelper.h"
#include "support/Raised.h"

using KacqTest::RaisedWhere;
using NodeApi::CopyData;

TEST(RegisterSetHelperTest, CopyDataChecksSizesAndBuffers) {
    uint8_t src[5] = {1, 2, 3, 4, 5}, dst[5] = {};
    EXPECT_EQ((std::vector<int64_t>{5, 5}),
              (std::vector<int64_t>{CopyData(dst, 5, src, 5), dst[4]}));
    EXPECT_EQ(0, CopyData(nullptr, 0, nullptr, 0));
    // A 64-bit length whose low 32 bits match must not pass.
    EXPECT_EQ("OutOfRange: CopyData : Destination size (4294967297) does not fit source size (1) "
              "(nodeapi/RegisterSetHelper:31)",
              RaisedWhere([&] { CopyData(dst, (int64_t(1) << 32) + 1, src, 1); }));
    EXPECT_EQ("Runtime: Invalid user buffer (nodeapi/RegisterSetHelper:37)",
              RaisedWhere([&] { CopyData(nullptr, 1, src, 1); }));
}
