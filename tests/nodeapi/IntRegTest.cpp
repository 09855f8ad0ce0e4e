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
using KacqTest::Properties;
using KacqTest::TestNodeMap;
using Bytes = std::vector<uint8_t>;

namespace {

class IntRegTest : public KacqTest::PortFixture {
protected:
    // A register at address: 4 bytes, unsigned, big-endian unless extra says otherwise.
    template <class T = CIntReg>
    T& Add(const std::string& name, const char* address, Properties extra = {},
           const char* access = "RW") {
        return map.Add<T>(name, RegisterProperties(address, std::move(extra), access));
    }

    static std::string RangeError(IInteger& node, int64_t value) {
        return KacqTest::RangeErrorOf(node, value, "nodeapi/IntReg");
    }

    // Finishing an unfinished register with these properties: the exception's
    // kind, whether it is initialized after, and what a read then raises.
    template <class T>
    static std::string FinishError(const Properties& properties) {
        TestNodeMap local;
        auto& reg = local.Add<T>("R");
        reg.SetNodeMap(&local, "R");
        for (const auto& p : properties)
            reg.SetProperty(p.first, p.second);
        std::string result = KacqTest::Raised([&] { reg.FinalConstruct(); }).substr(0, 9);
        result += reg.IsInitialized() ? " init " : " none ";
        return result + KacqTest::Raised([&] { reg.GetValue(); }).substr(0, 9);
    }
};

} // namespace

TEST_F(IntRegTest, LimitsBySizeAndSign) {
    const struct {
        const char *length, *sign;
        int64_t min, max;
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
    std::vector<CIntReg*> regs;
    for (const auto& c : cases)
        regs.push_back(&Add("R" + std::to_string(regs.size()), "0x1000",
                            {{"Length", c.length}, {"Sign", c.sign}}));
    auto& flt = Add<CFltReg>("Flt", "0x1000");
    map.Build();
    EXPECT_EQ(std::make_pair(double{-FLT_MAX}, double{FLT_MAX}),
              std::make_pair(flt.GetMin(), flt.GetMax()));
    for (size_t i = 0; i < regs.size(); ++i)
        EXPECT_EQ(std::make_tuple(cases[i].min, cases[i].max, int64_t{1}),
                  std::make_tuple(regs[i]->GetMin(), regs[i]->GetMax(), regs[i]->GetInc()))
            << cases[i].length << cases[i].sign;
}

TEST_F(IntRegTest, RangeChecksComeBeforeAnyPortAccess) {
    auto& reg = Add("Reg", "0x1000");
    auto& flt = Add<CFltReg>("Flt", "0x1010");
    map.Build();
    EXPECT_EQ("Value 4294967296 must be smaller than or equal 4294967295",
              RangeError(reg, 1LL << 32));
    EXPECT_EQ("Value -1 must be greater than or equal 0", RangeError(reg, -1));
    for (double refused : {1e39, -1e39, std::nan("")})
        EXPECT_EQ("OutOfRange: ", KacqTest::Raised([&] { flt.SetValue(refused); }).substr(0, 12))
            << refused;
    EXPECT_EQ(0, memory.TotalWrites() + memory.TotalReads());
    reg.SetValue(4294967295LL);
    EXPECT_EQ(0xFFFFFFFFu, memory.Peek32(0x1000));
}

TEST_F(IntRegTest, ByteOrderAndSignExtension) {
    auto& be = Add("Be", "0x1000", {{"Sign", "Signed"}});
    auto& le = Add("Le", "0x1010", {{"Length", "2"}, {"Endianess", "LittleEndian"}});
    auto& big = Add("Big", "0x1020", {{"Length", "8"}});
    auto& fbe = Add<CFltReg>("FBe", "0x1030");
    auto& fle = Add<CFltReg>("FLe", "0x1040", {{"Endianess", "LittleEndian"}});
    map.Build();
    memory.Poke(0x1030, {0x3F, 0x80, 0x00, 0x00});
    EXPECT_EQ(1.0, fbe.GetValue());
    fbe.SetValue(-2.5);
    EXPECT_EQ(0xC0200000u, memory.Peek32(0x1030));
    fle.SetValue(1.0);
    EXPECT_EQ((Bytes{0x00, 0x00, 0x80, 0x3F}), memory.Peek(0x1040, 4));
    EXPECT_EQ(1.0, fle.GetValue());
    memory.Poke(0x1000, {0xFF, 0xFF, 0xFF, 0xFE});
    EXPECT_EQ(-2, be.GetValue());
    be.SetValue(-3);
    EXPECT_EQ(0xFFFFFFFDu, memory.Peek32(0x1000));
    be.SetValue(0x01020304);
    EXPECT_EQ((Bytes{1, 2, 3, 4}), memory.Peek(0x1000, 4));
    memory.Poke(0x1010, {0x34, 0x12});
    EXPECT_EQ(0x1234, le.GetValue());
    le.SetValue(0xBEEF);
    EXPECT_EQ((Bytes{0xEF, 0xBE}), memory.Peek(0x1010, 2));
    // An unsigned 8-byte register cannot hand out 2^63 and above as int64.
    memory.Poke(0x1020, {0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    EXPECT_EQ(INT64_MAX, big.GetValue());
    big.InvalidateCache();
    memory.Poke(0x1020, {0x80, 0, 0, 0, 0, 0, 0, 1});
    EXPECT_THROW(big.GetValue(), OutOfRangeException);
}

TEST_F(IntRegTest, TextFormsAndInfo) {
    auto& reg = Add("Reg", "0x1000");
    auto& rw = Add<CFltReg>("FRw", "0x1004");
    auto& ro = Add<CFltReg>("FRo", "0x1010", {}, "RO");
    auto& wo = Add<CFltReg>("FWo", "0x1020", {}, "WO");
    map.Build();
    reg.FromString("0x1F");
    EXPECT_EQ("31", reg.ToString());
    reg.FromString("&h20");
    EXPECT_EQ("Property: Reg : property 'Value' : cannot convert value 'many'",
              KacqTest::Raised([&] { reg.FromString("many"); }));
    EXPECT_EQ(32, reg.GetValue());
    rw.FromString("0.1");
    EXPECT_EQ("0.1", rw.ToString());
    EXPECT_EQ(static_cast<double>(0.1f), rw.GetValue());
    rw.FromString("123456789");
    EXPECT_EQ("1.23457e+08", rw.ToString());
    EXPECT_EQ("Property: FRw : property 'Value' : cannot convert value 'fast'",
              KacqTest::Raised([&] { rw.FromString("fast"); }));
    EXPECT_EQ("0|", ro.ToString() + "|" + wo.ToString());
    wo.FromString("2");
    EXPECT_EQ(0x40000000u, memory.Peek32(0x1020));
    // A read-only register refuses the text instead of dropping it silently.
    EXPECT_THROW(ro.FromString("2"), RuntimeException);
    memory.SetOpen(false);
    EXPECT_EQ("Register: not present|", rw.GetInfo() + "|" + rw.ToString());
}

// Unfinished, a refused register still refuses reads rather than overrunning
// its buffer.
TEST_F(IntRegTest, LengthsAndBitFieldsOutsideTheRegisterAreRefused) {
    for (const char* length : {"0", "9", "16"})
        EXPECT_EQ("Property: none Property:", FinishError<CIntReg>({{"Length", length}})) << length;
    EXPECT_EQ("Property:", FinishError<CFltReg>({{"Length", "8"}}).substr(0, 9));
    const char* fields[][3] = {
        {"4", "5", "4"}, {"4", "0", "32"}, {"1", "8", "8"}, {"8", "0", "64"}, {"8", "64", "64"}};
    for (const auto& c : fields)
        EXPECT_EQ("Property: none LogicalEr",
                  FinishError<CMaskedIntReg>({{"Length", c[0]}, {"LSB", c[1]}, {"MSB", c[2]}}))
            << c[1] << ".." << c[2];
}

TEST_F(IntRegTest, MaskedFieldReadAndReadModifyWrite) {
    auto& top = Add<CMaskedIntReg>("Top", "0x1000", {{"LSB", "28"}, {"MSB", "31"}});
    auto& low = Add<CMaskedIntReg>("Low", "0x1000", {{"LSB", "0"}, {"MSB", "0"}});
    auto& sfield =
        Add<CMaskedIntReg>("Signed", "0x1000", {{"Sign", "Signed"}, {"LSB", "8"}, {"MSB", "11"}});
    map.Build();
    EXPECT_EQ((std::vector<int64_t>{0, 15, -8, 7}),
              (std::vector<int64_t>{top.GetMin(), top.GetMax(), sfield.GetMin(), sfield.GetMax()}));
    // A register's first address computation drops the entry at its address;
    // after that the fields share one entry.
    top.GetAddress();
    low.GetAddress();
    sfield.GetAddress();
    memory.Poke32(0x1000, 0x80000001u); // 2^31 + 1
    EXPECT_EQ(8, top.GetValue());
    EXPECT_EQ(1, low.GetValue());
    EXPECT_EQ(1, memory.ReadCount(0x1000)); // both fields served by one read
    top = 3;                                // the interface's assignment is SetValue
    EXPECT_EQ(0x30000001u, memory.Peek32(0x1000));
    EXPECT_EQ(3, top());
    // The merge read came from the cache.
    EXPECT_EQ(std::make_pair(1, 1),
              std::make_pair(memory.ReadCount(0x1000), memory.WriteCount(0x1000)));
    sfield.SetValue(-2);
    EXPECT_EQ(0x30000E01u, memory.Peek32(0x1000));
    EXPECT_EQ(std::make_pair(int64_t{-2}, int64_t{3}),
              std::make_pair(sfield.GetValue(), top.GetValue()));
    EXPECT_EQ("Value 16 must be smaller than or equal 15", RangeError(top, 16));
    EXPECT_EQ("Value -9 must be greater than or equal -8", RangeError(sfield, -9));
    EXPECT_EQ(2, memory.WriteCount(0x1000));
}

TEST_F(IntRegTest, WideFieldsUseAllSixtyFourBits) {
    auto& all = Add<CMaskedIntReg>(
        "All", "0x1000", {{"Length", "8"}, {"Sign", "Signed"}, {"LSB", "0"}, {"MSB", "63"}});
    auto& high =
        Add<CMaskedIntReg>("High", "0x1000", {{"Length", "8"}, {"LSB", "63"}, {"MSB", "63"}});
    map.Build();
    EXPECT_EQ(std::make_pair(INT64_MIN, INT64_MAX), std::make_pair(all.GetMin(), all.GetMax()));
    all.SetValue(-1);
    EXPECT_EQ(std::make_pair(int64_t{-1}, int64_t{1}),
              std::make_pair(all.GetValue(), high.GetValue()));
    high.SetValue(0);
    EXPECT_EQ(INT64_MAX, all.GetValue());
}
