// CDcamAccessCtrlReg: the write-then-read protocol and its value.
#include "nodeapi/DcamAccessCtrlReg.h"

#include <gtest/gtest.h>

#include <cstring>

#include "nodeapi/Port.h"
#include "support/MemoryPort.h"
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
    EXPECT_EQ('W', log[0].op);
    EXPECT_EQ(0x1000, log[0].address);
    // 0x0030533B73C3 >> 16 = 0x0030533B, as a big-endian quadlet.
    EXPECT_EQ((std::vector<uint8_t>{0x00, 0x30, 0x53, 0x3B}), log[0].data);
    EXPECT_EQ(0x1004, log[1].address);
    // (0x73C3 << 16) | 0x3E8
    EXPECT_EQ((std::vector<uint8_t>{0x73, 0xC3, 0x03, 0xE8}), log[1].data);
    EXPECT_EQ('R', log[2].op);
    EXPECT_EQ(8, log[2].length);
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
    EXPECT_EQ(0, ctrl.GetMin());
    EXPECT_EQ(1, ctrl.GetMax());
    EXPECT_EQ(0, ctrl.GetInc());

    ones.SetOpen(false);
    try {
        ctrl.GetValue();
        FAIL();
    } catch (const RuntimeException& e) {
        EXPECT_EQ("Can't read from Register 0x1000. Access mode is NP", e.GetDescription());
    }
    EXPECT_EQ("Register : not present", ctrl.GetInfo());
}

TEST(DcamAccessCtrlRegTest, DescriptionErrors) {
    TestNodeMap map;
    auto& ctrl = map.Add<CDcamAccessCtrlReg>("Lock");
    ctrl.SetNodeMap(&map, "Lock");
    EXPECT_THROW(ctrl.SetProperty("Timeout", "70000"), PropertyException);
    EXPECT_THROW(ctrl.SetProperty("FeatureID", "-1"), PropertyException);
    ctrl.SetProperty("Length", "4");
    EXPECT_THROW(ctrl.FinalConstruct(), PropertyException);
}
