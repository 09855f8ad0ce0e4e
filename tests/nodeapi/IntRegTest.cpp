// CIntReg, CMaskedIntReg and CFltReg over the fixture's MemoryPort at 0x1000.
#include "nodeapi/IntReg.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <thread>

#include "nodeapi/FltReg.h"
#include "nodeapi/MaskedIntReg.h"
#include "support/PortFixture.h"

using namespace NodeApi;
using KacqTest::Props;
using KacqTest::Raised;
using Bytes = std::vector<uint8_t>;
using Texts = std::vector<std::string>;

namespace {

class IntRegTest : public KacqTest::PortFixture {
protected:
    template <class T = CIntReg>
    T& Add(const std::string& name, const char* address, const std::string& extra = "",
           const char* access = "RW") {
        return map.Add<T>(name, RegisterProperties(address, Props(extra), access));
    }

    template <class Node, class Value>
    static std::string Set(Node& node, Value value, const char* source = "nodeapi/IntReg") {
        return Raised([&] { node.SetValue(value); }, source);
    }

    // The kind FinalConstruct raises, whether initialized after, the kind a read raises.
    template <class T>
    static std::string FinishError(const std::string& properties) {
        KacqTest::TestNodeMap local;
        auto& reg = local.Add<T>("R");
        reg.SetNodeMap(&local, "R");
        for (const auto& p : Props(properties))
            reg.SetProperty(p.first, p.second);
        std::string result = Raised([&] { reg.FinalConstruct(); }).substr(0, 9);
        result += reg.IsInitialized() ? " init " : " none ";
        return result + Raised([&] { reg.GetValue(); }).substr(0, 9);
    }
};

} // namespace

TEST_F(IntRegTest, LimitsBySizeAndSign) {
    const struct {
        const char* properties;
        int64_t min, max;
    } cases[] = {
        {"Length=1;Sign=Unsigned", 0, 255},
        {"Length=1;Sign=Signed", -128, 127},
        {"Length=2;Sign=Unsigned", 0, 65535},
        {"Length=4;Sign=Unsigned", 0, 4294967295LL},
        {"Length=4;Sign=Signed", -2147483648LL, 2147483647LL},
        {"Length=7;Sign=Signed", -(1LL << 55), (1LL << 55) - 1},
        {"Length=8;Sign=Signed", INT64_MIN, INT64_MAX},
        {"Length=8;Sign=Unsigned", 0, INT64_MAX},
    };
    std::vector<CIntReg*> regs;
    for (const auto& c : cases)
        regs.push_back(&Add("R" + std::to_string(regs.size()), "0x1000", c.properties));
    auto& flt = Add<CFltReg>("Flt", "0x1000");
    map.Build();
    EXPECT_EQ(std::make_pair(double{-FLT_MAX}, double{FLT_MAX}),
              std::make_pair(flt.GetMin(), flt.GetMax()));
    for (size_t i = 0; i < regs.size(); ++i)
        EXPECT_EQ(std::make_tuple(cases[i].min, cases[i].max, int64_t{1}),
                  std::make_tuple(regs[i]->GetMin(), regs[i]->GetMax(), regs[i]->GetInc()))
            << cases[i].properties;
}

TEST_F(IntRegTest, RangeChecksComeBeforeAnyPortAccess) {
    auto& reg = Add("Reg", "0x1000");
    auto& flt = Add<CFltReg>("Flt", "0x1010");
    map.Build();
    const char* fr = "nodeapi/FltReg";
    const Texts raised{Set(reg, 1LL << 32), Set(reg, -1), Set(flt, 1e39, fr).substr(0, 12),
                       Set(flt, -1e39, fr).substr(0, 12), Set(flt, std::nan(""), fr).substr(0, 12)};
    EXPECT_EQ((Texts{"OutOfRange: Value 4294967296 must be smaller than or equal 4294967295",
                     "OutOfRange: Value -1 must be greater than or equal 0",
                     "OutOfRange: ", "OutOfRange: ", "OutOfRange: "}),
              raised);
    EXPECT_EQ(0, memory.TotalWrites() + memory.TotalReads());
    reg.SetValue(4294967295LL);
    EXPECT_EQ(0xFFFFFFFFu, memory.Peek32(0x1000));
}

TEST_F(IntRegTest, ByteOrderAndSignExtension) {
    auto& be = Add("Be", "0x1000", "Sign=Signed");
    auto& le = Add("Le", "0x1010", "Length=2;Endianess=LittleEndian");
    auto& big = Add("Big", "0x1020", "Length=8");
    auto& fbe = Add<CFltReg>("FBe", "0x1030");
    auto& fle = Add<CFltReg>("FLe", "0x1040", "Endianess=LittleEndian");
    map.Build();
    memory.Poke(0x1030, {0x3F, 0x80, 0x00, 0x00});
    EXPECT_EQ(1.0, fbe.GetValue());
    fbe.SetValue(-2.5);
    fle.SetValue(1.0);
    EXPECT_EQ(std::make_tuple(0xC0200000u, Bytes{0x00, 0x00, 0x80, 0x3F}, 1.0),
              std::make_tuple(memory.Peek32(0x1030), memory.Peek(0x1040, 4), fle.GetValue()));
    memory.Poke(0x1000, {0xFF, 0xFF, 0xFF, 0xFE});
    EXPECT_EQ(-2, be.GetValue());
    be.SetValue(-3);
    EXPECT_EQ(0xFFFFFFFDu, memory.Peek32(0x1000));
    be.SetValue(0x01020304);
    memory.Poke(0x1010, {0x34, 0x12});
    EXPECT_EQ(std::make_pair(Bytes{1, 2, 3, 4}, int64_t{0x1234}),
              std::make_pair(memory.Peek(0x1000, 4), le.GetValue()));
    le.SetValue(0xBEEF);
    EXPECT_EQ((Bytes{0xEF, 0xBE}), memory.Peek(0x1010, 2));
    memory.Poke(0x1020, {0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    EXPECT_EQ(INT64_MAX, big.GetValue());
    big.InvalidateCache();
    memory.Poke(0x1020, {0x80, 0, 0, 0, 0, 0, 0, 1});
    EXPECT_EQ("OutOfRange:", Raised([&] { big.GetValue(); }).substr(0, 11));
}

TEST_F(IntRegTest, TextFormsAndInfo) {
    auto& reg = Add("Reg", "0x1000");
    auto& rw = Add<CFltReg>("FRw", "0x1004");
    auto& ro = Add<CFltReg>("FRo", "0x1010", "", "RO");
    auto& wo = Add<CFltReg>("FWo", "0x1020", "", "WO");
    map.Build();
    reg.FromString("0x1F");
    EXPECT_EQ("31", reg.ToString());
    reg.FromString("&h20");
    EXPECT_EQ("Property: Reg : property 'Value' : cannot convert value 'many'",
              Raised([&] { reg.FromString("many"); }));
    EXPECT_EQ(32, reg.GetValue());
    rw.FromString("0.1");
    EXPECT_EQ(std::make_pair(std::string("0.1"), static_cast<double>(0.1f)),
              std::make_pair(rw.ToString(), rw.GetValue()));
    rw.FromString("123456789");
    EXPECT_EQ("1.23457e+08", rw.ToString());
    EXPECT_EQ("Property: FRw : property 'Value' : cannot convert value 'fast'",
              Raised([&] { rw.FromString("fast"); }));
    EXPECT_EQ("0|", ro.ToString() + "|" + wo.ToString());
    wo.FromString("2");
    EXPECT_EQ(0x40000000u, memory.Peek32(0x1020));
    EXPECT_EQ("Runtime:", Raised([&] { ro.FromString("2"); }).substr(0, 8));
    memory.SetOpen(false);
    EXPECT_EQ("Register: not present|", rw.GetInfo() + "|" + rw.ToString());
}

// A refused register still refuses reads rather than overrunning its buffer.
TEST_F(IntRegTest, LengthsAndBitFieldsOutsideTheRegisterAreRefused) {
    for (const char* length : {"Length=0", "Length=9", "Length=16"})
        EXPECT_EQ("Property: none Property:", FinishError<CIntReg>(length)) << length;
    EXPECT_EQ("Property:", FinishError<CFltReg>("Length=8").substr(0, 9));
    for (const char* field :
         {"Length=4;LSB=5;MSB=4", "Length=4;LSB=0;MSB=32", "Length=1;LSB=8;MSB=8",
          "Length=8;LSB=0;MSB=64", "Length=8;LSB=64;MSB=64"})
        EXPECT_EQ("Property: none LogicalEr", FinishError<CMaskedIntReg>(field)) << field;
}

TEST_F(IntRegTest, MaskedFieldsReadModifyWriteAndWideFields) {
    auto& top = Add<CMaskedIntReg>("Top", "0x1000", "LSB=28;MSB=31");
    auto& low = Add<CMaskedIntReg>("Low", "0x1000", "LSB=0;MSB=0");
    auto& sfield = Add<CMaskedIntReg>("Signed", "0x1000", "Sign=Signed;LSB=8;MSB=11");
    auto& all = Add<CMaskedIntReg>("All", "0x1008", "Length=8;Sign=Signed;LSB=0;MSB=63");
    auto& high = Add<CMaskedIntReg>("High", "0x1008", "Length=8;LSB=63;MSB=63");
    map.Build();
    EXPECT_EQ((std::vector<int64_t>{0, 15, -8, 7}),
              (std::vector<int64_t>{top.GetMin(), top.GetMax(), sfield.GetMin(), sfield.GetMax()}));
    // A register's first address computation drops the entry at its address;
    // after that the fields share one entry.
    top.GetAddress();
    low.GetAddress();
    sfield.GetAddress();
    memory.Poke32(0x1000, 0x80000001u); // 2^31 + 1
    EXPECT_EQ((std::vector<int64_t>{8, 1, 1}),
              (std::vector<int64_t>{top.GetValue(), low.GetValue(), memory.ReadCount(0x1000)}));
    top = 3; // the merge read comes from the cache
    EXPECT_EQ((std::vector<int64_t>{0x30000001, 3, 1, 1}),
              (std::vector<int64_t>{memory.Peek32(0x1000), top(), memory.ReadCount(0x1000),
                                    memory.WriteCount(0x1000)}));
    sfield.SetValue(-2);
    EXPECT_EQ((std::vector<int64_t>{0x30000E01, -2, 3}),
              (std::vector<int64_t>{memory.Peek32(0x1000), sfield.GetValue(), top.GetValue()}));
    EXPECT_EQ((Texts{"OutOfRange: Value 16 must be smaller than or equal 15",
                     "OutOfRange: Value -9 must be greater than or equal -8"}),
              (Texts{Set(top, 16), Set(sfield, -9)}));
    EXPECT_EQ(2, memory.WriteCount(0x1000));
    EXPECT_EQ(std::make_pair(INT64_MIN, INT64_MAX), std::make_pair(all.GetMin(), all.GetMax()));
    all.SetValue(-1);
    const int64_t allOnes = all.GetValue();
    EXPECT_EQ(std::make_pair(int64_t{-1}, int64_t{1}), std::make_pair(allOnes, high.GetValue()));
    high.SetValue(0);
    EXPECT_EQ(INT64_MAX, all.GetValue());
}

// The map lock serialises the read-modify-write: no update is lost.
TEST_F(IntRegTest, FieldsOfOneRegisterWrittenFromTwoThreads) {
    auto& low = Add<CMaskedIntReg>("Low", "0x1000", "LSB=0;MSB=15");
    auto& high = Add<CMaskedIntReg>("High", "0x1000", "LSB=16;MSB=31");
    auto& other = Add<CMaskedIntReg>("Other", "0x1004", "LSB=0;MSB=31;pInvalidator=Low");
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
    // One port write per update; the merge reads came from the cache.
    EXPECT_EQ((std::vector<int64_t>{false, kRounds << 16 | kRounds, kRounds, kRounds, 2 * kRounds}),
              (std::vector<int64_t>{torn, memory.Peek32(0x1000), low.GetValue(), high.GetValue(),
                                    memory.WriteCount(0x1000)}));
    EXPECT_LE(memory.ReadCount(0x1000), 2);
}
