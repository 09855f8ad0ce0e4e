// CDcamAccessCtrlReg: the write-then-read protocol and its value.
#include "nodeapi/DcamAccessCtrlReg.h"

#include <gtest/gtest.h>

#include <cstring>

#include "nodeapi/Port.h"
#include "support/MemoryPort.h"
#include "support/Raised.h"
#include "support/TestNodeMap.h"

using namespace NodeApi;
using KacqTest::MemoryPort;
using KacqTest::TestNodeMap;

TEST(DcamAccessCtrlRegTest, WritesIdentifierAndTimeoutThenReads) {
    MemoryPort memory(0x1000, 0x100);
    TestNodeMap map;
    map.AddExternal(memory, "Memory");
    map.Add<CPort>("Port").SetPortImpl(&memory);
    auto& ctrl = map.Add<CDcamAccessCtrlReg>("Lock", {{"pPort", "Port"},
                                                      {"Address", "0x1000"},
                                                      {"Length", "8"},
                                                      {"AccessMode", "RW"},
                                                      {"FeatureID", "0x0030533B73C3"},
                                                      {"Timeout", "0x3E8"}});
    map.Build();
    EXPECT_EQ(RO, ctrl.GetAccessMode());
    EXPECT_EQ(1, ctrl.GetValue());
    auto log = memory.Log();
    ASSERT_EQ(3u, log.size());
    // 0x0030533B73C3 >> 16 = 0x0030533B, then (0x73C3 << 16) | 0x3E8, as big-endian quadlets.
    EXPECT_EQ(std::make_tuple('W', int64_t{0x1000}, std::vector<uint8_t>{0x00, 0x30, 0x53, 0x3B}),
              std::make_tuple(log[0].op, static_cast<int64_t>(log[0].address), log[0].data));
    EXPECT_EQ(std::make_tuple(int64_t{0x1004}, std::vector<uint8_t>{0x73, 0xC3, 0x03, 0xE8}),
              std::make_tuple(static_cast<int64_t>(log[1].address), log[1].data));
    EXPECT_EQ(std::make_tuple('R', int64_t{8}),
              std::make_tuple(log[2].op, static_cast<int64_t>(log[2].length)));
    EXPECT_EQ("1", ctrl.ToString());
}

TEST(DcamAccessCtrlRegTest, AllOnesReadsAsZeroAndWritesAreIgnored) {
    // A port that answers every read with all one bits.
    struct OnesPort : MemoryPort {
        OnesPort() : MemoryPort(0x1000, 0x10) {}
        void Read(void* destination, int64_t, int64_t length) override {
            std::memset(destination, 0xFF, static_cast<size_t>(length));
        }
    } ones;
    TestNodeMap map;
    map.AddExternal(ones, "Port");
    auto& ctrl = map.Add<CDcamAccessCtrlReg>(
        "Lock", {{"pPort", "Port"}, {"Address", "0x1000"}, {"Length", "8"}, {"AccessMode", "RW"}});
    map.Build();
    EXPECT_EQ(0, ctrl.GetValue());
    EXPECT_EQ("0", ctrl.ToString());
    const int writes = ones.TotalWrites();
    ctrl.SetValue(1);
    ctrl.FromString("1");
    uint8_t b[8] = {};
    ctrl.Set(b, 8);
    EXPECT_EQ(writes, ones.TotalWrites());
    EXPECT_EQ(std::make_tuple(int64_t{0}, int64_t{1}, int64_t{0}),
              std::make_tuple(ctrl.GetMin(), ctrl.GetMax(), ctrl.GetInc()));
    ones.SetOpen(false);
    EXPECT_EQ("Runtime: Can't read from Register 0x1000. Access mode is NP",
              KacqTest::Raised([&] { ctrl.GetValue(); }));
    EXPECT_EQ("Register : not present", ctrl.GetInfo());
}

TEST(DcamAccessCtrlRegTest, DescriptionErrors) {
    TestNodeMap map;
    auto& ctrl = map.Add<CDcamAccessCtrlReg>("Lock");
    ctrl.SetNodeMap(&map, "Lock");
    EXPECT_THROW(ctrl.SetProperty("FeatureID", "-1"), PropertyException);
    ctrl.SetProperty("Length", "4");
    EXPECT_THROW(ctrl.FinalConstruct(), PropertyException);
}
