// CFltReg: single-precision values, byte order, limits and text forms.
#include "nodeapi/FltReg.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>

#include "nodeapi/Port.h"
#include "support/MemoryPort.h"
#include "support/PortFixture.h"
#include "support/TestNodeMap.h"

using namespace NodeApi;
using KacqTest::MemoryPort;
using KacqTest::TestNodeMap;

namespace {

using FltRegTest = KacqTest::PortFixture;

} // namespace

TEST_F(FltRegTest, BigAndLittleEndianValues) {
    auto& be = map.Add<CFltReg>("Be", {{"pPort", "Port"},
                                       {"Address", "0x1000"},
                                       {"Length", "4"},
                                       {"AccessMode", "RW"},
                                       {"Endianess", "BigEndian"}});
    auto& le = map.Add<CFltReg>("Le", {{"pPort", "Port"},
                                       {"Address", "0x1010"},
                                       {"Length", "4"},
                                       {"AccessMode", "RW"},
                                       {"Endianess", "LittleEndian"}});
    map.Build();
    memory.Poke(0x1000, {0x3F, 0x80, 0x00, 0x00});
    EXPECT_EQ(1.0, be.GetValue());
    be.SetValue(-2.5);
    EXPECT_EQ(0xC0200000u, memory.Peek32(0x1000));
    le.SetValue(1.0);
    EXPECT_EQ((std::vector<uint8_t>{0x00, 0x00, 0x80, 0x3F}), memory.Peek(0x1010, 4));
    EXPECT_EQ(1.0, le.GetValue());
    // Zero is a value like any other.
    be.SetValue(0.0);
    EXPECT_EQ(0.0, be.GetValue());
}

TEST_F(FltRegTest, LimitsCoverTheFiniteSinglePrecisionRange) {
    auto& reg = map.Add<CFltReg>(
        "Reg", {{"pPort", "Port"}, {"Address", "0x1000"}, {"Length", "4"}, {"AccessMode", "RW"}});
    map.Build();
    EXPECT_EQ(-FLT_MAX, reg.GetMin());
    EXPECT_EQ(FLT_MAX, reg.GetMax());
    EXPECT_THROW(reg.SetValue(1e39), OutOfRangeException);
    EXPECT_THROW(reg.SetValue(-1e39), OutOfRangeException);
    EXPECT_THROW(reg.SetValue(std::nan("")), OutOfRangeException);
    EXPECT_EQ(0, memory.TotalWrites());
}

TEST_F(FltRegTest, TextFormsFollowTheAccessMode) {
    auto& rw = map.Add<CFltReg>("Rw", {{"pPort", "Port"},
                                       {"Address", "0x1000"},
                                       {"Length", "4"},
                                       {"AccessMode", "RW"},
                                       {"Endianess", "BigEndian"}});
    auto& ro = map.Add<CFltReg>(
        "Ro", {{"pPort", "Port"}, {"Address", "0x1010"}, {"Length", "4"}, {"AccessMode", "RO"}});
    auto& wo = map.Add<CFltReg>(
        "Wo", {{"pPort", "Port"}, {"Address", "0x1020"}, {"Length", "4"}, {"AccessMode", "WO"}});
    map.Build();
    rw.FromString("0.1");
    EXPECT_EQ("0.1", rw.ToString());
    EXPECT_EQ(static_cast<double>(0.1f), rw.GetValue());
    rw.FromString("123456789");
    EXPECT_EQ("1.23457e+08", rw.ToString());
    try {
        rw.FromString("fast");
        FAIL();
    } catch (const PropertyException& e) {
        EXPECT_EQ("Rw : property 'Value' : cannot convert value 'fast'", e.GetDescription());
    }
    EXPECT_EQ("0", ro.ToString());
    EXPECT_EQ("", wo.ToString());
    wo.FromString("2");
    EXPECT_EQ(0x40000000u, memory.Peek32(0x1020));
    // A read-only register refuses the text instead of dropping it silently.
    EXPECT_THROW(ro.FromString("2"), RuntimeException);
    EXPECT_EQ("FltReg: 1.23457e+08, Min= -3.40282e+38, Max= 3.40282e+38", rw.GetInfo());
    memory.SetOpen(false);
    EXPECT_EQ("Register: not present", rw.GetInfo());
    EXPECT_EQ("", rw.ToString());
}

TEST_F(FltRegTest, LengthMustBeFourBytes) {
    auto& reg = map.Add<CFltReg>("Reg");
    reg.SetNodeMap(&map, "Reg");
    reg.SetProperty("Length", "8");
    EXPECT_THROW(reg.FinalConstruct(), PropertyException);
}
