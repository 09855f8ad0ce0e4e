// CIntSwissKnife: integer formulas over register fields (re-read after a
// register changes, served from the value cache while it is valid), integer
// variables only, property errors, read-only writes, texts,
// construction and the dependants that reach it.
#include "nodeapi/IntSwissKnife.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "nodeapi/Category.h"
#include "nodeapi/Float.h"
#include "nodeapi/IntReg.h"
#include "nodeapi/Integer.h"
#include "nodeapi/MaskedIntReg.h"
#include "nodeapi/Port.h"
#include "support/MemoryPort.h"
#include "support/PortFixture.h"
#include "support/TestNodeMap.h"

using namespace NodeApi;
using KacqTest::MemoryPort;
using KacqTest::Properties;
using KacqTest::TestCategory;
using KacqTest::TestInteger;
using KacqTest::TestNodeMap;

namespace {

template <class E>
std::string MessageOf(const std::function<void()>& action,
                      const char* source = "nodeapi/IntSwissKnife") {
    return KacqTest::DescriptionOf<E>(action, source);
}

using IntSwissKnifeTest = KacqTest::PortFixture;

} // namespace

TEST_F(IntSwissKnifeTest, RereadsItsRegistersAfterTheyChange) {
    auto& high = map.Add<CIntReg>("High", RegisterProperties("0x1000"));
    auto& low =
        map.Add<CMaskedIntReg>("Low", RegisterProperties("0x1004", {{"LSB", "8"}, {"MSB", "15"}}));
    auto& live = map.Add<CIntReg>("Live", RegisterProperties("0x1008", {{"Cachable", "false"}}));
    auto& knife = map.Add<CIntSwissKnife>(
        "Knife", {{"Formula", "H*256 + L"}, {"pVariable", "H=High"}, {"pVariable", "L=Low"}});
    auto& counter = map.Add<CIntSwissKnife>("Counter", {{"Formula", "V"}, {"pVariable", "V=Live"}});
    map.Add<TestCategory>("Root", {{"pFeature", "Knife"}, {"pFeature", "Counter"}});
    map.Build();
    int notified = 0;
    auto callback = MakeCallback([&notified](INode*) { ++notified; });
    knife.RegisterCallback(&callback);
    memory.Poke32(0x1000, 2);
    memory.Poke32(0x1004, 0x0300);
    memory.ResetCounts();
    EXPECT_EQ(2 * 256 + 3, knife.GetValue());
    EXPECT_EQ(std::make_pair(1, 1),
              std::make_pair(memory.ReadCount(0x1000), memory.ReadCount(0x1004)));
    // Cached registers: the next read evaluates again without port reads.
    EXPECT_EQ(2 * 256 + 3, knife.GetValue());
    EXPECT_EQ(2, memory.TotalReads());
    // A write through the register node updates the cache and notifies the
    // formula node, whose next read sees the new value.
    high.SetValue(5);
    EXPECT_EQ(std::make_pair(1, 1), std::make_pair(memory.WriteCount(0x1000), notified));
    EXPECT_EQ(5 * 256 + 3, knife.GetValue());
    EXPECT_EQ(2, memory.TotalReads());
    // The camera changes a register; once its cache entry is invalidated the
    // formula reads the port again.
    memory.Poke32(0x1004, 0x0700);
    low.InvalidateCache();
    EXPECT_EQ(5 * 256 + 7, knife.GetValue());
    EXPECT_EQ(std::make_pair(1, 2),
              std::make_pair(memory.ReadCount(0x1000), memory.ReadCount(0x1004)));
    // A register that is not cachable is read on every evaluation.
    for (uint32_t value : {10u, 11u, 12u}) {
        memory.Poke32(0x1008, value);
        EXPECT_EQ(value, counter.GetValue());
    }
    EXPECT_EQ(3, memory.ReadCount(0x1008));
    EXPECT_EQ(1u, live.GetDependants().count(&counter));
}

TEST_F(IntSwissKnifeTest, IntegerArithmetic) {
    map.Add<TestInteger>("Seven", {{"Value", "7"}});
    map.Add<TestInteger>("Big", {{"Value", "9223372036854775807"}});
    const struct {
        const char* formula;
        int64_t value;
    } cases[] = {
        {"S$2", 3},         {"S/2", 3}, {"2**3", 1}, {"B", 9223372036854775807},
        {"B+1", INT64_MIN}, {"", 0},    {"0", 0},    {"-S", -7},
    };
    std::vector<CIntSwissKnife*> knives;
    for (const auto& c : cases)
        knives.push_back(&map.Add<CIntSwissKnife>(
            "K" + std::to_string(knives.size()),
            {{"Formula", c.formula}, {"pVariable", "S=Seven"}, {"pVariable", "B=Big"}}));
    map.Build();
    for (size_t i = 0; i < knives.size(); ++i)
        EXPECT_EQ(cases[i].value, knives[i]->GetValue()) << cases[i].formula;
}

TEST_F(IntSwissKnifeTest, ReadFailures) {
    map.Add<TestInteger>("Num", {{"Value", "4"}});
    map.Add<CFloat>("Real", {{"Value", "1.5"}});
    auto& lower =
        map.Add<CIntSwissKnife>("Lower", {{"Formula", "vbl*2"}, {"pVariable", "vbl=Num"}});
    auto& real = map.Add<CIntSwissKnife>(
        "OverFloat", {{"Formula", "F+N"}, {"pVariable", "N=Num"}, {"pVariable", "F=Real"}});
    auto& zero = map.Add<CIntSwissKnife>("Zero", {{"Formula", "N%0"}, {"pVariable", "N=Num"}});
    map.Build();
    EXPECT_EQ("Lower : failed to parse formula 'vbl*2' : error message is '# VBL - Unknown "
              "function/variable!'",
              MessageOf<LogicalErrorException>([&] { lower.GetValue(); }));
    // An integer formula takes integer nodes only.
    for (auto read :
         std::vector<std::function<void()>>{[&] { real.GetValue(); }, [&] { real.ToString(); }})
        EXPECT_EQ("IntSwissKnife failed to get the value of : F ",
                  MessageOf<RuntimeException>(read));
    EXPECT_EQ("Zero : failed to parse formula 'N%0' : error message is '#Infinity somewhere!'",
              MessageOf<LogicalErrorException>([&] { zero.GetValue(); }));
}
