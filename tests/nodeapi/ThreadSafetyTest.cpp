// Two threads working on nodes of one map: the map lock serialises the
// read-modify-write of bit fields, so no update is lost and the cache stays
// in step with the register space.
#include <gtest/gtest.h>

#include <thread>

#include "nodeapi/MaskedIntReg.h"
#include "support/PortFixture.h"

using namespace NodeApi;
using KacqTest::Props;
using ThreadSafetyTest = KacqTest::PortFixture;

TEST_F(ThreadSafetyTest, FieldsOfOneRegisterWrittenFromTwoThreads) {
    auto& low = map.Add<CMaskedIntReg>("Low", RegisterProperties("0x1000", Props("LSB=0;MSB=15")));
    auto& high =
        map.Add<CMaskedIntReg>("High", RegisterProperties("0x1000", Props("LSB=16;MSB=31")));
    auto& other = map.Add<CMaskedIntReg>(
        "Other", RegisterProperties("0x1004", Props("LSB=0;MSB=31;pInvalidator=Low")));
    map.Add<KacqTest::TestCategory>("Root", Props("pFeature=Low;pFeature=Other"));
    map.Build();
    memory.KeepLog(false);

    constexpr int kRounds = 2000;
    std::atomic<bool> torn{false};
    auto writer = [&](CMaskedIntReg& mine, CMaskedIntReg& theirs) {
        for (int i = 1; i <= kRounds; ++i) {
            mine.SetValue(i);
            const int64_t mineNow = mine.GetValue(), theirsNow = theirs.GetValue();
            torn = torn || mineNow != i || theirsNow < 0 || theirsNow > kRounds;
            other.GetValue();
        }
    };
    std::thread a(writer, std::ref(low), std::ref(high));
    std::thread b(writer, std::ref(high), std::ref(low));
    a.join();
    b.join();
    // Neither thread's last update was lost in the other's merge; every write
    // costs one port write, the merge reads came from the cache.
    EXPECT_EQ((std::vector<int64_t>{false, kRounds << 16 | kRounds, kRounds, kRounds, 2 * kRounds}),
              (std::vector<int64_t>{torn, memory.Peek32(0x1000), low.GetValue(), high.GetValue(),
                                    memory.WriteCount(0x1000)}));
    EXPECT_LE(memory.ReadCount(0x1000), 2);
}
