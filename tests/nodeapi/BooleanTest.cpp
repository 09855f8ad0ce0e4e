// CBoolean: on and off values over an integer node, the neither-nor error,
// the software flag, access modes and text forms.
#include "nodeapi/Boolean.h"

#include <gtest/gtest.h>

#include "nodeapi/IntReg.h"
#include "support/PortFixture.h"

using namespace NodeApi;
using KacqTest::Props;
using KacqTest::Raised;
using KacqTest::TestInteger;

namespace {

class BooleanTest : public KacqTest::PortFixture {
protected:
    BooleanTest() { map.Add<CIntReg>("Reg", RegisterProperties("0x1000")); }
};

} // namespace

TEST_F(BooleanTest, OnAndOffValuesOverRegister) {
    auto& flag = map.Add<CBoolean>("Flag", Props("pValue=Reg;OnValue=0x8E;OffValue=0"));
    map.Build();
    memory.Poke32(0x1000, 0x8E);
    EXPECT_EQ(std::make_pair(true, std::string("1")),
              std::make_pair(flag.GetValue(), flag.ToString()));
    map.Get<CIntReg>("Reg").InvalidateCache();
    memory.Poke32(0x1000, 1);
    EXPECT_EQ("LogicalError: Value 1 is neither true 142 nor false (0)",
              Raised([&] { flag.GetValue(); }, "nodeapi/Boolean"));
    // Each way of writing, then the register and the value read back.
    std::vector<std::function<void()>> writes = {
        [&] { flag.SetValue(false); }, [&] { flag = true; }, [&] { flag.FromString("false"); },
        [&] { flag.FromString("1"); }};
    std::string seen;
    for (const auto& write : writes) {
        write();
        seen += std::to_string(memory.Peek32(0x1000)) + "/" + flag.ToString() + " ";
    }
    EXPECT_EQ("0/0 142/1 0/0 142/1 ", seen);
    memory.ResetCounts();
    EXPECT_EQ("Property: Flag : property 'Value' : cannot convert value 'yes'",
              Raised([&] { flag.FromString("yes"); }));
    EXPECT_EQ(std::make_pair(0, RW), std::make_pair(memory.TotalWrites(), flag.GetAccessMode()));
}

TEST_F(BooleanTest, SoftwareFlag) {
    auto& flag = map.Add<CBoolean>("Flag");
    auto& off = map.Add<CBoolean>("Off", Props("Value=false"));
    map.Build();
    EXPECT_EQ(std::make_tuple(true, false, RW),
              std::make_tuple(flag.GetValue(), off.GetValue(), flag.GetAccessMode()));
    int fired = 0;
    auto callback = MakeCallback([&fired](INode*) { ++fired; });
    flag.RegisterCallback(&callback);
    flag.SetValue(false);
    EXPECT_EQ(std::make_tuple(false, true, 1, 0),
              std::make_tuple(flag.GetValue(), flag.IsChanged(), fired,
                              memory.TotalReads() + memory.TotalWrites()));
}

TEST_F(BooleanTest, FailedWriteKeepsFlagAndConditions) {
    auto& source = map.Add<TestInteger>("Source", Props("Value=5"));
    auto& present = map.Add<TestInteger>("Present", Props("Value=1"));
    auto& enabled = map.Add<TestInteger>("Enabled", Props("Value=1"));
    auto& flag = map.Add<CBoolean>(
        "Flag", Props("pValue=Source;OnValue=5;OffValue=6;pIsPresent=Present;pIsEnabled=Enabled"));
    auto& onReg = map.Add<CBoolean>("OnReg", Props("pValue=Reg"));
    map.Build();
    EXPECT_TRUE(flag.GetValue());
    flag.SetValue(false);
    EXPECT_EQ(6, source.GetValue());
    enabled.SetValue(0);
    const EAccessMode notEnabled = flag.GetAccessMode();
    present.SetValue(0);
    EXPECT_EQ(std::make_tuple(NE, NP, std::string("Boolean : not present")),
              std::make_tuple(notEnabled, flag.GetAccessMode(), flag.GetInfo()));

    memory.FailAlways(0x1000, std::make_exception_ptr(RuntimeException("link down", "x", 1)));
    EXPECT_EQ("Runtime: link down", Raised([&] { onReg.SetValue(true); }));
    memory.ClearFailures();
    EXPECT_EQ(std::make_pair(false, 0u), std::make_pair(onReg.GetValue(), memory.Peek32(0x1000)));
}
