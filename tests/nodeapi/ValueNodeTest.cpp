// CInteger, CFloat and CBoolean over registers in the fixture's MemoryPort,
// or as software variables.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>

#include "nodeapi/Boolean.h"
#include "nodeapi/Category.h"
#include "nodeapi/Float.h"
#include "nodeapi/FltReg.h"
#include "nodeapi/IntReg.h"
#include "nodeapi/Integer.h"
#include "nodeapi/MaskedIntReg.h"
#include "support/PortFixture.h"

using namespace NodeApi;
using KacqTest::Props;
using KacqTest::Raised;
using KacqTest::TestInteger;
using Texts = std::vector<std::string>;

namespace {

class TestFloat : public IFloat, public CNodeImpl {
public:
    double value = 0.0, minimum = -1e300, maximum = 1e300;
    int writes = 0;
    void SetValue(double v) override {
        ++writes;
        value = v;
    }
    double GetValue() override { return value; }
    double GetMin() override { return minimum; }
    double GetMax() override { return maximum; }
    ERepresentation GetRepresentation() override { return Logarithmic; }
};

template <class Node, class Value>
std::string Set(Node& node, Value value) {
    return Raised([&] { node.SetValue(value); });
}

const char kNan[] = "OutOfRange: Value nan is not a number";

class ValueNodeTest : public KacqTest::PortFixture {
protected:
    ValueNodeTest() {
        map.Add<CMaskedIntReg>("Field", RegisterProperties("0x1000", Props("LSB=8;MSB=15")));
        map.Add<CFltReg>("Flt", RegisterProperties("0x1010"));
        map.Add<CMaskedIntReg>("RoField",
                               RegisterProperties("0x1020", Props("LSB=8;MSB=15"), "RO"));
        map.Add<CIntReg>("Reg", RegisterProperties("0x1030"));
    }
};
using BooleanTest = ValueNodeTest;

} // namespace

TEST_F(ValueNodeTest, SoftwareVariablesWithoutLimitsAcceptOnlyTheirValue) {
    auto& i = map.Add<CInteger>("Int", Props("Value=5"));
    auto& f = map.Add<CFloat>("Flo", Props("Value=0.1"));
    auto& plain = map.Add<CFloat>("Plain");
    auto& flag = map.Add<CBoolean>("Flag");
    auto& off = map.Add<CBoolean>("Off", Props("Value=false"));
    map.Build();
    // No register below refuses nan: the node itself must. 0.1 as a double
    // lies below 0.1 in single precision, yet is the node's own value.
    EXPECT_EQ(
        (Texts{"OutOfRange: Value 4 must be greater than or equal 5",
               "OutOfRange: Value 6 must be smaller than or equal 5",
               "OutOfRange: Value 0.200000 must be smaller than or equal 0.100000",
               "OutOfRange: Value 0.000000 must be greater than or equal 0.100000", kNan,
               "<no exception>"}),
        (Texts{Set(i, 4), Set(i, 6), Set(f, 0.2), Set(f, 0.0), Set(f, std::nan("")), Set(f, 0.1)}));
    EXPECT_EQ(std::make_tuple(int64_t{5}, int64_t{5}, int64_t{5}, false),
              std::make_tuple(i.GetValue(), i.GetMin(), i.GetMax(), i.IsChanged()));
    EXPECT_EQ(std::make_tuple(double{0.1f}, double{0.1f}, std::string("0.1")),
              std::make_tuple(f.GetValue(), f.GetMin(), f.ToString()));
    EXPECT_EQ(std::make_tuple(true, false, RW),
              std::make_tuple(flag.GetValue(), off.GetValue(), flag.GetAccessMode()));
    int fired = 0;
    auto callback = MakeCallback([&fired](INode*) { ++fired; });
    i.RegisterCallback(&callback);
    flag.RegisterCallback(&callback);
    i = 5;
    flag.SetValue(false);
    EXPECT_EQ(std::make_tuple(true, false, true, 2, 0),
              std::make_tuple(i.IsChanged(), flag.GetValue(), flag.IsChanged(), fired,
                              memory.TotalReads() + memory.TotalWrites()));
    // Without limits: the single-precision epsilon as increment, the value as limits.
    EXPECT_EQ(std::make_tuple(double{FLT_EPSILON}, 0.0, 0.0),
              std::make_tuple(plain.GetInc(), plain.GetMin(), plain.GetMax()));
}

TEST_F(ValueNodeTest, RangeErrorsComeBeforeAnyRegisterAccess) {
    auto& gain = map.Add<CInteger>("Gain", Props("pValue=Field;Min=10"));
    auto& interval = map.Add<CFloat>("Interval", Props("pValue=Flt;Min=0;Max=1000"));
    auto& wide = map.Add<CFloat>("Wide", Props("Value=0;Min=-1e38;Max=3e38"));
    map.Build();
    memory.Poke32(0x1000, 0xAA00BB00u);
    memory.Poke32(0x1010, 0x3F800000u);
    EXPECT_EQ(std::make_pair(int64_t{10}, int64_t{255}),
              std::make_pair(gain.GetMin(), gain.GetMax()));
    // Beyond single precision: refused, never stored as infinity.
    EXPECT_EQ(
        (Texts{"OutOfRange: Value 9 must be greater than or equal 10",
               "OutOfRange: Value 256 must be smaller than or equal 255",
               "OutOfRange: Value -9223372036854775808 must be greater than or equal 10",
               "OutOfRange: Value -1.000000 must be greater than or equal 0.000000",
               "OutOfRange: Value 1000.500000 must be smaller than or equal 1000.000000", kNan,
               "Property: Gain : property 'Value' : cannot convert value 'twelve'",
               "Property: Interval : property 'Value' : cannot convert value 'much'",
               "OutOfRange: Value 999999999999999939709166371603178586112.000000 must be smaller "
               "than or equal 300000000549775575777803994281145270272.000000"}),
        (Texts{Set(gain, 9), Set(gain, 256), Set(gain, INT64_MIN), Set(interval, -1.0),
               Set(interval, 1000.5), Set(interval, std::nan("")),
               Raised([&] { gain.FromString("twelve"); }),
               Raised([&] { interval.FromString("much"); }), Set(wide, 1e39)}));
    EXPECT_EQ(0, memory.TotalReads() + memory.TotalWrites());
    EXPECT_EQ(std::make_tuple(0xAA00BB00u, 0x3F800000u, 0.0),
              std::make_tuple(memory.Peek32(0x1000), memory.Peek32(0x1010), wide.GetValue()));

    gain.SetValue(0x42);
    EXPECT_EQ(std::make_tuple(0xAA004200u, 1, std::string("66")),
              std::make_tuple(memory.Peek32(0x1000), memory.TotalWrites(), gain.ToString()));
    gain.FromString("0x1F");
    EXPECT_EQ(31, gain.GetValue());
    interval.SetValue(0.0);
    const uint32_t zero = memory.Peek32(0x1010);
    interval.SetValue(2.5);
    wide.SetValue(3e38);
    EXPECT_EQ(std::make_tuple(0u, 0x40200000u, std::string("2.5"), static_cast<double>(3e38f)),
              std::make_tuple(zero, memory.Peek32(0x1010), interval.ToString(), wide.GetValue()));
}

TEST_F(ValueNodeTest, LimitsFromTheValueNodeAndSentinelsThatCountAsNotSet) {
    auto& node = map.Add<TestFloat>("Node");
    const char* maxFloat = "Max=340282346638528859811704183484516925440";
    auto& intGiven = map.Add<CInteger>(
        "IntGiven", Props("pValue=Field;Min=9223372036854775807;Max=-9223372036854775808"));
    auto& intSoft = map.Add<CInteger>("IntSoft", Props("Value=-3;Min=9223372036854775807"));
    auto& fltGiven = map.Add<CFloat>(
        "FltGiven", Props(std::string("pValue=Node;Min=1.17549435e-38;") + maxFloat));
    auto& fltPlain = map.Add<CFloat>("FltPlain", Props("pValue=Node"));
    map.Build();
    EXPECT_EQ((std::vector<int64_t>{0, 255, -3, -3}),
              (std::vector<int64_t>{intGiven.GetMin(), intGiven.GetMax(), intSoft.GetMin(),
                                    intSoft.GetMax()}));
    node.minimum = -20.0;
    node.maximum = 20.0;
    EXPECT_EQ(std::make_pair(-20.0, 20.0), std::make_pair(fltGiven.GetMin(), fltGiven.GetMax()));
    node.minimum = -5.0; // kept once asked
    EXPECT_EQ(std::make_pair(-20.0, Logarithmic),
              std::make_pair(fltGiven.GetMin(), fltGiven.GetRepresentation()));
    // A value node that reports the not-set numbers itself sets no bound:
    // zero and negative values pass on instead of failing against 1.2e-38.
    node.minimum = std::numeric_limits<float>::min();
    node.maximum = std::numeric_limits<float>::max();
    EXPECT_EQ(static_cast<double>(std::numeric_limits<float>::min()), fltPlain.GetMin());
    fltPlain.SetValue(0.0);
    fltPlain.SetValue(-7.5);
    EXPECT_EQ(-7.5, node.value);
}

TEST_F(ValueNodeTest, LimitNodesAreAskedOnEveryUse) {
    auto& low = map.Add<TestInteger>("Low", Props("Value=2"));
    auto& high = map.Add<TestInteger>("High", Props("Value=8"));
    auto& step = map.Add<TestInteger>("Step", Props("Value=4"));
    auto& number = map.Add<CInteger>("Number", Props("Value=5;pMin=Low;pMax=High;pInc=Step;Min=0"));
    auto& node = map.Add<TestFloat>("Node");
    auto& fLow = map.Add<TestFloat>("FLow");
    auto& fHigh = map.Add<TestFloat>("FHigh");
    auto& fStep = map.Add<TestFloat>("FStep");
    auto& linked = map.Add<CFloat>("Linked", Props("pValue=Node;pMin=FLow;pMax=FHigh;pInc=FStep"));
    map.Build();
    EXPECT_EQ((std::vector<int64_t>{2, 8, 4}),
              (std::vector<int64_t>{number.GetMin(), number.GetMax(), number.GetInc()}));
    low.SetValue(6);
    high.SetValue(7);
    step.SetValue(1);
    fLow.value = 1.0;
    fHigh.value = 3.0;
    fStep.value = 0.25;
    EXPECT_EQ(std::make_tuple(int64_t{7}, int64_t{1}, 3.0, 0.25),
              std::make_tuple(number.GetMax(), number.GetInc(), linked.GetMax(), linked.GetInc()));
    EXPECT_EQ((Texts{"OutOfRange: Value 5 must be greater than or equal 6",
                     "OutOfRange: Value 0.500000 must be greater than or equal 1.000000"}),
              (Texts{Set(number, 5), Set(linked, 0.5)}));
    EXPECT_EQ(0, node.writes);
    number.SetValue(7);
    linked.SetValue(2.75);
    EXPECT_EQ(std::make_pair(int64_t{7}, 2.75), std::make_pair(number.GetValue(), node.value));
    NodeList_t children;
    number.GetChildren(children);
    EXPECT_EQ((NodeList_t{&low, &high, &step}), children);
}

TEST_F(ValueNodeTest, AccessModeFollowsTheValueNodeAndTheConditions) {
    auto& present = map.Add<TestInteger>("Present", Props("Value=1"));
    auto& enabled = map.Add<TestInteger>("Enabled", Props("Value=1"));
    auto& rw = map.Add<CInteger>("Rw", Props("pValue=Field"));
    auto& ro = map.Add<CInteger>("Ro", Props("pValue=RoField"));
    auto& i = map.Add<CInteger>("I", Props("pValue=Field;pIsPresent=Present;pIsEnabled=Enabled"));
    auto& f = map.Add<CFloat>("F", Props("pValue=Flt;pIsPresent=Present"));
    auto& b = map.Add<CBoolean>("B", Props("pValue=Field;pIsPresent=Present;pIsEnabled=Enabled"));
    map.Build();
    using Modes = std::vector<EAccessMode>;
    const auto modes = [&] {
        return Modes{rw.GetAccessMode(), ro.GetAccessMode(), i.GetAccessMode(), f.GetAccessMode(),
                     b.GetAccessMode()};
    };
    EXPECT_EQ((Modes{RW, RO, RW, RW, RW}), modes());
    enabled.SetValue(0);
    EXPECT_EQ((Modes{RW, RO, NE, RW, NE}), modes());
    present.SetValue(0);
    EXPECT_EQ((Modes{RW, RO, NP, NP, NP}), modes());
    EXPECT_EQ("Integer : not present|Float : not present|Boolean : not present",
              i.GetInfo() + "|" + f.GetInfo() + "|" + b.GetInfo());
    present.SetValue(1);
    enabled.SetValue(1);
    memory.SetOpen(false);
    EXPECT_EQ((Modes{NP, NP, NP, NP, NP}), modes());
    memory.SetOpen(true);
    EXPECT_EQ("Runtime: 0", Set(ro, 1).substr(0, 9) + std::to_string(memory.TotalWrites()));
}

TEST_F(ValueNodeTest, RegisterFailurePassesThroughAndLeavesTheValue) {
    auto& number = map.Add<CInteger>("Number", Props("pValue=Field"));
    map.Add<CCategory>("Root", Props("pFeature=Number"));
    map.Build();
    int fired = 0;
    auto callback = MakeCallback([&fired](INode*) { ++fired; });
    number.RegisterCallback(&callback);
    number.SetValue(5);
    EXPECT_EQ(1, fired);
    memory.FailAlways(0x1000, std::make_exception_ptr(RuntimeException("link down", "x", 1)));
    map.Get<CMaskedIntReg>("Field").InvalidateCache();
    EXPECT_EQ("Runtime: link down", Set(number, 6));
    memory.ClearFailures();
    EXPECT_EQ(std::make_pair(int64_t{5}, 0x00000500u),
              std::make_pair(number.GetValue(), memory.Peek32(0x1000)));
}

TEST_F(ValueNodeTest, IntegerPhysicalValueTruncatesTowardZero) {
    auto& number = map.Add<CInteger>("Number", Props("Value=0;Min=-10;Max=10"));
    map.Build();
    number.SetPhysicalValue(-0.5); // toward zero, not down
    EXPECT_EQ(0, number.GetValue());
    number.SetPhysicalValue(10.7);
    const auto physical = [&](double v) { return Raised([&] { number.SetPhysicalValue(v); }); };
    EXPECT_EQ(
        (Texts{"OutOfRange: Value 11 must be smaller than or equal 10",
               "OutOfRange: Value 10000000000000000000.000000 must be smaller than or equal 10",
               "OutOfRange: Value -1000", kNan}),
        (Texts{physical(11.0), physical(1e19), physical(-1e300).substr(0, 23),
               physical(std::nan(""))}));
    EXPECT_EQ(10, number.GetValue());
}

TEST_F(BooleanTest, OnAndOffValuesOverRegister) {
    auto& flag = map.Add<CBoolean>("Flag", Props("pValue=Reg;OnValue=0x8E;OffValue=0"));
    map.Build();
    memory.Poke32(0x1030, 0x8E);
    EXPECT_EQ(std::make_pair(true, std::string("1")),
              std::make_pair(flag.GetValue(), flag.ToString()));
    map.Get<CIntReg>("Reg").InvalidateCache();
    memory.Poke32(0x1030, 1);
    EXPECT_EQ("LogicalError: Value 1 is neither true 142 nor false (0)",
              Raised([&] { flag.GetValue(); }, "nodeapi/Boolean"));
    std::vector<std::function<void()>> writes = {
        [&] { flag.SetValue(false); }, [&] { flag = true; }, [&] { flag.FromString("false"); },
        [&] { flag.FromString("1"); }};
    std::string seen;
    for (const auto& write : writes) {
        write();
        seen += std::to_string(memory.Peek32(0x1030)) + "/" + flag.ToString() + " ";
    }
    EXPECT_EQ("0/0 142/1 0/0 142/1 ", seen);
    memory.ResetCounts();
    EXPECT_EQ("Property: Flag : property 'Value' : cannot convert value 'yes'",
              Raised([&] { flag.FromString("yes"); }));
    EXPECT_EQ(std::make_pair(0, RW), std::make_pair(memory.TotalWrites(), flag.GetAccessMode()));
}

TEST_F(BooleanTest, OffValueAndFailedWrite) {
    auto& source = map.Add<TestInteger>("Source", Props("Value=5"));
    auto& flag = map.Add<CBoolean>("Flag", Props("pValue=Source;OnValue=5;OffValue=6"));
    auto& onReg = map.Add<CBoolean>("OnReg", Props("pValue=Reg"));
    map.Build();
    EXPECT_TRUE(flag.GetValue());
    flag.SetValue(false);
    EXPECT_EQ(6, source.GetValue());
    memory.FailAlways(0x1030, std::make_exception_ptr(RuntimeException("link down", "x", 1)));
    EXPECT_EQ("Runtime: link down", Raised([&] { onReg.SetValue(true); }));
    memory.ClearFailures();
    EXPECT_EQ(std::make_pair(false, 0u), std::make_pair(onReg.GetValue(), memory.Peek32(0x1030)));
}
