// CBoolean: on and off values over an integer node, the neither-nor error,
// the software flag, access modes and text forms.
#include "nodeapi/Boolean.h"

#include <gtest/gtest.h>

#include "nodeapi/IntReg.h"
#include "nodeapi/Port.h"
#include "support/MemoryPort.h"
#include "support/PortFixture.h"
#include "support/TestNodeMap.h"

using namespace NodeApi;
using KacqTest::MemoryPort;
using KacqTest::TestInteger;
using KacqTest::TestNodeMap;

namespace {

class BooleanTest : public KacqTest::PortFixture {
protected:
    BooleanTest() { map.Add<CIntReg>("Reg", RegisterProperties("0x1000")); }
};

} // namespace

TEST_F(BooleanTest, OnAndOffValuesOverRegister) {
    auto& flag =
        map.Add<CBoolean>("Flag", {{"pValue", "Reg"}, {"OnValue", "0x8E"}, {"OffValue", "0"}});
    map.Build();
    auto& reg = map.Get<CIntReg>("Reg");
    memory.Poke32(0x1000, 0x8E);
    EXPECT_EQ(std::make_pair(true, std::string("1")),
              std::make_pair(flag.GetValue(), flag.ToString()));
    reg.InvalidateCache();
    memory.Poke32(0x1000, 1);
    EXPECT_EQ("LogicalError: Value 1 is neither true 142 nor false (0)",
              KacqTest::Raised([&] { flag.GetValue(); }, "nodeapi/Boolean"));
    flag.SetValue(false);
    EXPECT_EQ(0u, memory.Peek32(0x1000));
    EXPECT_EQ(std::make_pair(false, std::string("0")),
              std::make_pair(flag.GetValue(), flag.ToString()));
    flag = true;
    EXPECT_EQ(0x8Eu, memory.Peek32(0x1000));
    flag.FromString("false");
    EXPECT_EQ(0u, memory.Peek32(0x1000));
    flag.FromString("1");
    EXPECT_EQ(0x8Eu, memory.Peek32(0x1000));
    memory.ResetCounts();
    EXPECT_EQ("Property: Flag : property 'Value' : cannot convert value 'yes'",
              KacqTest::Raised([&] { flag.FromString("yes"); }));
    EXPECT_EQ(std::make_pair(0, RW), std::make_pair(memory.TotalWrites(), flag.GetAccessMode()));
}

TEST_F(BooleanTest, SoftwareFlag) {
    auto& flag = map.Add<CBoolean>("Flag");
    auto& off = map.Add<CBoolean>("Off", {{"Value", "false"}});
    map.Build();
    EXPECT_EQ(std::make_tuple(true, false, RW),
              std::make_tuple(flag.GetValue(), off.GetValue(), flag.GetAccessMode()));
    int fired = 0;
    auto callback = MakeCallback([&fired](INode*) { ++fired; });
    flag.RegisterCallback(&callback);
    flag.SetValue(false);
    EXPECT_EQ(std::make_tuple(false, true, 1),
              std::make_tuple(flag.GetValue(), flag.IsChanged(), fired));
    EXPECT_EQ(0, memory.TotalReads() + memory.TotalWrites());
}

TEST_F(BooleanTest, FailedWriteKeepsFlagAndConditions) {
    auto& source = map.Add<TestInteger>("Source", {{"Value", "5"}});
    auto& present = map.Add<TestInteger>("Present", {{"Value", "1"}});
    auto& enabled = map.Add<TestInteger>("Enabled", {{"Value", "1"}});
    auto& flag = map.Add<CBoolean>("Flag", {{"pValue", "Source"},
                                            {"OnValue", "5"},
                                            {"OffValue", "6"},
                                            {"pIsPresent", "Present"},
                                            {"pIsEnabled", "Enabled"}});
    auto& onReg = map.Add<CBoolean>("OnReg", {{"pValue", "Reg"}});
    map.Build();
    EXPECT_TRUE(flag.GetValue());
    flag.SetValue(false);
    EXPECT_EQ(6, source.GetValue());
    enabled.SetValue(0);
    EXPECT_EQ(NE, flag.GetAccessMode());
    present.SetValue(0);
    EXPECT_EQ(NP, flag.GetAccessMode());
    EXPECT_EQ("Boolean : not present", flag.GetInfo());

    memory.FailAlways(0x1000, std::make_exception_ptr(RuntimeException("link down", "x", 1)));
    EXPECT_THROW(onReg.SetValue(true), RuntimeException);
    memory.ClearFailures();
    EXPECT_EQ(std::make_pair(false, 0u), std::make_pair(onReg.GetValue(), memory.Peek32(0x1000)));
}
