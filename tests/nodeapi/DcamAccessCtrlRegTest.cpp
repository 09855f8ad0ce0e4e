// CDcamAccessCtrlReg: the write-then-read protocol and its value.
#include "nodeapi/DcamAccessCtrlReg.h"

#include <gtest/gtest.h>

#include <cstring>

#include "support/PortFixture.h"

using namespace NodeApi;
using KacqTest::Props;
using KacqTest::Raised;
using DcamAccessCtrlRegTest = KacqTest::PortFixture;

namespace {

const char kLock[] = "pPort=Port;Address=0x1000;Length=8;AccessMode=RW";

} // namespace

TEST_F(DcamAccessCtrlRegTest, WritesIdentifierAndTimeoutThenReads) {
    auto& ctrl = map.Add<CDcamAccessCtrlReg>(
        "Lock", Props(std::string(kLock) + ";FeatureID=0x0030533B73C3;Timeout=0x3E8"));
    map.Build();
    EXPECT_EQ(std::make_pair(RO, int64_t{1}),
              std::make_pair(ctrl.GetAccessMode(), ctrl.GetValue()));
    // 0x0030533B73C3 >> 16 = 0x0030533B, then (0x73C3 << 16) | 0x3E8, as
    // big-endian quadlets; then one read of 8 bytes.
    std::string log;
    for (const auto& r : memory.Log()) {
        log += r.op + std::to_string(r.address - 0x1000) + ":";
        for (uint8_t b : r.data)
            log += r.op == 'W' ? std::to_string(b) + "," : "";
        log += (r.op == 'R' ? std::to_string(r.length) : "") + " ";
    }
    EXPECT_EQ("W0:0,48,83,59, W4:115,195,3,232, R0:8 ", log);
    EXPECT_EQ("1", ctrl.ToString());
}

TEST_F(DcamAccessCtrlRegTest, AllOnesReadsAsZeroAndWritesAreIgnored) {
    // A port that answers every read with all one bits.
    struct OnesPort : KacqTest::MemoryPort {
        OnesPort() : MemoryPort(0x1000, 0x10) {}
        void Read(void* destination, int64_t, int64_t length) override {
            std::memset(destination, 0xFF, static_cast<size_t>(length));
        }
    } ones;
    KacqTest::TestNodeMap onesMap;
    onesMap.AddExternal(ones, "Port");
    auto& ctrl = onesMap.Add<CDcamAccessCtrlReg>("Lock", Props(kLock));
    auto& shortOne = onesMap.Add<CDcamAccessCtrlReg>("Short", Props("Length=4"), false);
    onesMap.Build();
    // The text follows the last read.
    EXPECT_EQ((std::tuple<int64_t, std::string>{0, "0"}),
              (std::tuple<int64_t, std::string>{ctrl.GetValue(), ctrl.ToString()}));
    const int writes = ones.TotalWrites();
    ctrl.SetValue(1);
    ctrl.FromString("1");
    uint8_t b[8] = {};
    ctrl.Set(b, 8);
    EXPECT_EQ(std::make_tuple(writes, int64_t{0}, int64_t{1}, int64_t{0}),
              std::make_tuple(ones.TotalWrites(), ctrl.GetMin(), ctrl.GetMax(), ctrl.GetInc()));
    ones.SetOpen(false);
    EXPECT_EQ("Runtime: Can't read from Register 0x1000. Access mode is NP|Register : not present",
              Raised([&] { ctrl.GetValue(); }) + "|" + ctrl.GetInfo());
    // The register is 8 bytes long or refused.
    EXPECT_EQ("Property:", Raised([&] { shortOne.FinalConstruct(); }).substr(0, 9));
}
