// Two threads working on nodes of one map: the map lock serialises the
// read-modify-write of bit fields, so no update is lost and the cache stays
// in step with the register space.
#include <gtest/gtest.h>

#include <thread>

#include "nodeapi/MaskedIntReg.h"
#include "nodeapi/Port.h"
#include "support/MemoryPort.h"
#include "support/TestNodeMap.h"

using namespace NodeApi;
using KacqTest::MemoryPort;
using KacqTest::Properties;
using KacqTest::TestCategory;
using KacqTest::TestNodeMap;

TEST(ThreadSafetyTest, FieldsOfOneRegisterWrittenFromTwoThreads) {
    MemoryPort memory(0x1000, 0x10);
    TestNodeMap map;
    map.AddExternal(memory, "Memory");
    map.Add<CPort>("Port").SetPortImpl(&memory);
    auto field = [](const char* address, const char* lsb, const char* msb) {
        return Properties{{"pPort", "Port"},    {"Address", address}, {"Length", "4"},
                          {"AccessMode", "RW"}, {"LSB", lsb},         {"MSB", msb}};
    };
    auto& low = map.Add<CMaskedIntReg>("Low", field("0x1000", "0", "15"));
    auto& high = map.Add<CMaskedIntReg>("High", field("0x1000", "16", "31"));
    Properties otherProperties = field("0x1004", "0", "31");
    otherProperties.push_back({"pInvalidator", "Low"});
    auto& other = map.Add<CMaskedIntReg>("Other", otherProperties);
    map.Add<TestCategory>("Root", {{"pFeature", "Low"}, {"pFeature", "Other"}});
    map.Build();
    memory.KeepLog(false);

    constexpr int kRounds = 2000;
    std::atomic<bool> torn{false};
    auto writer = [&](CMaskedIntReg& mine, CMaskedIntReg& theirs) {
        for (int i = 1; i <= kRounds; ++i) {
            mine.SetValue(i);
            if (mine.GetValue() != i)
                torn = true;
            int64_t v = theirs.GetValue();
            if (v < 0 || v > kRounds)
                torn = true;
            other.GetValue();
        }
    };
    std::thread a(writer, std::ref(low), std::ref(high));
    std::thread b(writer, std::ref(high), std::ref(low));
    a.join();
    b.join();
    EXPECT_FALSE(torn);
    // Neither thread's last update was lost in the other's merge.
    EXPECT_EQ(static_cast<uint32_t>(kRounds << 16 | kRounds), memory.Peek32(0x1000));
    EXPECT_EQ(std::make_pair(int64_t{kRounds}, int64_t{kRounds}),
              std::make_pair(low.GetValue(), high.GetValue()));
    // Every write costs one port write; the merge reads came from the cache.
    EXPECT_EQ(2 * kRounds, memory.WriteCount(0x1000));
    EXPECT_LE(memory.ReadCount(0x1000), 2);
}
