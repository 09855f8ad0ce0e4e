// The register value nodes CIntReg, CMaskedIntReg and CFltReg, one test per
// theme over the three: limits, range checks before any port access, byte
// order and sign extension, bit fields sharing a cache entry, text forms
// following the access mode, and description errors.
#include "nodeapi/IntReg.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>

#include "nodeapi/FltReg.h"
#include "nodeapi/MaskedIntReg.h"
#include "nodeapi/Port.h"
#include "support/MemoryPort.h"
#include "support/PortFixture.h"
#include "support/TestNodeMap.h"

using namespace NodeApi;
using KacqTest::MemoryPort;
using KacqTest::Properties;
using KacqTest::TestNodeMap;

namespace {

class IntRegTest : public KacqTest::PortFixture {
protected:
    template <class T>
    T& Add(const std::string& name, Properties extra) {
        Properties props{{"pPort", "Port"}, {"AccessMode", "RW"}};
        props.insert(props.end(), extra.begin(), extra.end());
        return map.Add<T>(name, props);
    }

    // A 4-byte float register at address.
    CFltReg& AddFloat(const std::string& name, const char* address, const char* access = "RW",
                      const char* endianess = "BigEndian") {
        return Add<CFltReg>(name, {{"Address", address},
                                   {"Length", "4"},
                                   {"AccessMode", access},
                                   {"Endianess", endianess}});
    }

    static std::string RangeError(IInteger& node, int64_t value) {
        return KacqTest::RangeErrorOf(node, value, "nodeapi/IntReg");
    }
};

} // namespace

TEST_F(IntRegTest, LimitsBySizeAndSign) {
    const struct {
        const char* length;
        const char* sign;
        int64_t min;
        int64_t max;
    } cases[] = {
        {"1", "Unsigned", 0, 255},
        {"1", "Signed", -128, 127},
        {"2", "Unsigned", 0, 65535},
        {"4", "Unsigned", 0, 4294967295LL},
        {"4", "Signed", -2147483648LL, 2147483647LL},
        {"7", "Signed", -(1LL << 55), (1LL << 55) - 1},
        {"8", "Signed", INT64_MIN, INT64_MAX},
        {"8", "Unsigned", 0, INT64_MAX},
    };
    int i = 0;
    for (const auto& c : cases) {
        auto& reg = Add<CIntReg>("R" + std::to_string(i++),
                                 {{"Address", "0x1000"}, {"Length", c.length}, {"Sign", c.sign}});
        (void)reg;
    }
    auto& flt = AddFloat("Flt", "0x1000");
    map.Build();
    EXPECT_EQ(-FLT_MAX, flt.GetMin()); // the finite single-precision range
    EXPECT_EQ(FLT_MAX, flt.GetMax());
    i = 0;
    for (const auto& c : cases) {
        auto& reg = map.Get<CIntReg>("R" + std::to_string(i++));
        EXPECT_EQ(c.min, reg.GetMin()) << c.length << c.sign;
        EXPECT_EQ(c.max, reg.GetMax()) << c.length << c.sign;
        EXPECT_EQ(1, reg.GetInc());
    }
}

TEST_F(IntRegTest, RangeChecksComeBeforeAnyPortAccess) {
    auto& reg = Add<CIntReg>("Reg", {{"Address", "0x1000"}, {"Length", "4"}, {"Sign", "Unsigned"}});
    auto& flt = AddFloat("Flt", "0x1010");
    map.Build();
    EXPECT_EQ("Value 4294967296 must be smaller than or equal 4294967295",
              RangeError(reg, 1LL << 32));
    EXPECT_EQ("Value -1 must be greater than or equal 0", RangeError(reg, -1));
    for (double refused : {1e39, -1e39, std::nan("")}) {
        EXPECT_EQ("OutOfRange: ", KacqTest::Raised([&] { flt.SetValue(refused); }).substr(0, 12))
            << refused;
    }
    EXPECT_EQ(0, memory.TotalWrites() + memory.TotalReads());
    reg.SetValue(4294967295LL);
    EXPECT_EQ(0xFFFFFFFFu, memory.Peek32(0x1000));
}

TEST_F(IntRegTest, ByteOrderAndSignExtension) {
    auto& be = Add<CIntReg>(
        "Be",
        {{"Address", "0x1000"}, {"Length", "4"}, {"Sign", "Signed"}, {"Endianess", "BigEndian"}});
    auto& le = Add<CIntReg>("Le", {{"Address", "0x1010"},
                                   {"Length", "2"},
                                   {"Sign", "Unsigned"},
                                   {"Endianess", "LittleEndian"}});
    auto& big = Add<CIntReg>("Big", {{"Address", "0x1020"}, {"Length", "8"}, {"Sign", "Unsigned"}});
    auto& fbe = AddFloat("FBe", "0x1030");
    auto& fle = AddFloat("FLe", "0x1040", "RW", "LittleEndian");
    map.Build();
    memory.Poke(0x1030, {0x3F, 0x80, 0x00, 0x00});
    EXPECT_EQ(1.0, fbe.GetValue());
    fbe.SetValue(-2.5);
    EXPECT_EQ(0xC0200000u, memory.Peek32(0x1030));
    fle.SetValue(1.0);
    EXPECT_EQ((std::vector<uint8_t>{0x00, 0x00, 0x80, 0x3F}), memory.Peek(0x1040, 4));
    EXPECT_EQ(1.0, fle.GetValue());
    memory.Poke(0x1000, {0xFF, 0xFF, 0xFF, 0xFE});
    EXPECT_EQ(-2, be.GetValue());
    be.SetValue(-3);
    EXPECT_EQ(0xFFFFFFFDu, memory.Peek32(0x1000));
    be.SetValue(0x01020304);
    EXPECT_EQ((std::vector<uint8_t>{1, 2, 3, 4}), memory.Peek(0x1000, 4));

    memory.Poke(0x1010, {0x34, 0x12});
    EXPECT_EQ(0x1234, le.GetValue());
    le.SetValue(0xBEEF);
    EXPECT_EQ((std::vector<uint8_t>{0xEF, 0xBE}), memory.Peek(0x1010, 2));

    // An unsigned 8-byte register cannot hand out 2^63 and above as int64.
    memory.Poke(0x1020, {0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    EXPECT_EQ(INT64_MAX, big.GetValue());
    big.InvalidateCache();
    memory.Poke(0x1020, {0x80, 0, 0, 0, 0, 0, 0, 1});
    EXPECT_THROW(big.GetValue(), OutOfRangeException);
}

TEST_F(IntRegTest, TextFormsAndInfo) {
    auto& reg = Add<CIntReg>(
        "Reg",
        {{"Address", "0x1000"}, {"Length", "4"}, {"Sign", "Unsigned"}, {"Endianess", "BigEndian"}});
    auto& rw = AddFloat("FRw", "0x1004");
    auto& ro = AddFloat("FRo", "0x1010", "RO");
    auto& wo = AddFloat("FWo", "0x1020", "WO");
    map.Build();
    reg.FromString("0x1F");
    EXPECT_EQ("31", reg.ToString());
    reg.FromString("&h20");
    EXPECT_EQ(32, reg.GetValue());
    try {
        reg.FromString("many");
        FAIL();
    } catch (const PropertyException& e) {
        EXPECT_EQ("Reg : property 'Value' : cannot convert value 'many'", e.GetDescription());
    }
    EXPECT_EQ(32, reg.GetValue());

    rw.FromString("0.1");
    EXPECT_EQ("0.1", rw.ToString());
    EXPECT_EQ(static_cast<double>(0.1f), rw.GetValue());
    rw.FromString("123456789");
    EXPECT_EQ("1.23457e+08", rw.ToString());
    EXPECT_EQ("Property: FRw : property 'Value' : cannot convert value 'fast'",
              KacqTest::Raised([&] { rw.FromString("fast"); }));
    EXPECT_EQ("0", ro.ToString());
    EXPECT_EQ("", wo.ToString());
    wo.FromString("2");
    EXPECT_EQ(0x40000000u, memory.Peek32(0x1020));
    // A read-only register refuses the text instead of dropping it silently.
    EXPECT_THROW(ro.FromString("2"), RuntimeException);
    memory.SetOpen(false);
    EXPECT_EQ("Register: not present", rw.GetInfo());
    EXPECT_EQ("", rw.ToString());
}

TEST_F(IntRegTest, LengthsOutsideTheClassAreRefused) {
    for (const char* length : {"0", "9", "16"}) {
        TestNodeMap local;
        auto& reg = local.Add<CIntReg>("Reg");
        reg.SetNodeMap(&local, "Reg");
        reg.SetProperty("Length", length);
        EXPECT_THROW(reg.FinalConstruct(), PropertyException) << length;
        EXPECT_FALSE(reg.IsInitialized());
        // Unfinished, it still refuses rather than overrunning its buffer.
        EXPECT_THROW(reg.GetValue(), PropertyException);
    }
    TestNodeMap local;
    auto& flt = local.Add<CFltReg>("Flt");
    flt.SetNodeMap(&local, "Flt");
    flt.SetProperty("Length", "8");
    EXPECT_THROW(flt.FinalConstruct(), PropertyException) << "a float register is 4 bytes";
}

TEST_F(IntRegTest, MaskedFieldReadAndReadModifyWrite) {
    auto& top = Add<CMaskedIntReg>("Top", {{"Address", "0x1000"},
                                           {"Length", "4"},
                                           {"Sign", "Unsigned"},
                                           {"LSB", "28"},
                                           {"MSB", "31"}});
    auto& low = Add<CMaskedIntReg>(
        "Low",
        {{"Address", "0x1000"}, {"Length", "4"}, {"Sign", "Unsigned"}, {"LSB", "0"}, {"MSB", "0"}});
    auto& sfield = Add<CMaskedIntReg>(
        "Signed",
        {{"Address", "0x1000"}, {"Length", "4"}, {"Sign", "Signed"}, {"LSB", "8"}, {"MSB", "11"}});
    map.Build();
    EXPECT_EQ(0, top.GetMin());
    EXPECT_EQ(15, top.GetMax());
    EXPECT_EQ(-8, sfield.GetMin());
    EXPECT_EQ(7, sfield.GetMax());

    // A register's first address computation drops the entry at its address;
    // after that the fields share one entry.
    top.GetAddress();
    low.GetAddress();
    sfield.GetAddress();
    memory.Poke32(0x1000, 0x80000001u); // 2^31 + 1
    EXPECT_EQ(8, top.GetValue());
    EXPECT_EQ(1, low.GetValue());
    EXPECT_EQ(1, memory.ReadCount(0x1000)); // both fields served by one read

    top = 3; // the interface's assignment is SetValue
    EXPECT_EQ(0x30000001u, memory.Peek32(0x1000));
    EXPECT_EQ(3, top());
    EXPECT_EQ(1, memory.ReadCount(0x1000)); // the merge read came from the cache
    EXPECT_EQ(1, memory.WriteCount(0x1000));

    sfield.SetValue(-2);
    EXPECT_EQ(0x30000E01u, memory.Peek32(0x1000));
    EXPECT_EQ(-2, sfield.GetValue());
    EXPECT_EQ(3, top.GetValue());
    EXPECT_EQ("Value 16 must be smaller than or equal 15", RangeError(top, 16));
    EXPECT_EQ("Value -9 must be greater than or equal -8", RangeError(sfield, -9));
    EXPECT_EQ(2, memory.WriteCount(0x1000));
}

TEST_F(IntRegTest, WideFieldsUseAllSixtyFourBits) {
    auto& all = Add<CMaskedIntReg>(
        "All",
        {{"Address", "0x1000"}, {"Length", "8"}, {"Sign", "Signed"}, {"LSB", "0"}, {"MSB", "63"}});
    auto& high = Add<CMaskedIntReg>("High", {{"Address", "0x1000"},
                                             {"Length", "8"},
                                             {"Sign", "Unsigned"},
                                             {"LSB", "63"},
                                             {"MSB", "63"}});
    map.Build();
    EXPECT_EQ(INT64_MIN, all.GetMin());
    EXPECT_EQ(INT64_MAX, all.GetMax());
    all.SetValue(-1);
    EXPECT_EQ(-1, all.GetValue());
    EXPECT_EQ(1, high.GetValue());
    high.SetValue(0);
    EXPECT_EQ(INT64_MAX, all.GetValue());
}

TEST_F(IntRegTest, BitFieldsOutsideTheRegisterAreRefused) {
    const struct {
        const char* length;
        const char* lsb;
        const char* msb;
    } cases[] = {
        {"4", "5", "4"}, {"4", "0", "32"}, {"1", "8", "8"}, {"8", "0", "64"}, {"8", "64", "64"}};
    for (const auto& c : cases) {
        TestNodeMap local;
        auto& reg = local.Add<CMaskedIntReg>("F");
        reg.SetNodeMap(&local, "F");
        reg.SetProperty("Length", c.length);
        reg.SetProperty("LSB", c.lsb);
        reg.SetProperty("MSB", c.msb);
        EXPECT_THROW(reg.FinalConstruct(), PropertyException) << c.lsb << ".." << c.msb;
        EXPECT_FALSE(reg.IsInitialized());
        EXPECT_THROW(reg.GetValue(), LogicalErrorException);
    }
}
