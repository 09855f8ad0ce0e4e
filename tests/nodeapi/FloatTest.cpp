// CFloat: single-precision storage behind a double interface, limits with
// their not-set numbers, range errors that leave the register untouched,
// increment, representation, text forms.
#include "nodeapi/Float.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "nodeapi/FltReg.h"
#include "nodeapi/Port.h"
#include "support/MemoryPort.h"
#include "support/PortFixture.h"
#include "support/TestNodeMap.h"

using namespace NodeApi;
using KacqTest::MemoryPort;
using KacqTest::TestInteger;
using KacqTest::TestNodeMap;

namespace {

// A double-precision float node with settable limits.
class TestFloat : public IFloat, public CNodeImpl {
public:
    double value = 0.0;
    double minimum = -1e300;
    double maximum = 1e300;
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

uint32_t BitsOf(float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}

class FloatTest : public KacqTest::PortFixture {
protected:
    CFltReg& AddRegister(const std::string& name) {
        return map.Add<CFltReg>(name, {{"pPort", "Port"},
                                       {"AccessMode", "RW"},
                                       {"Address", "0x1000"},
                                       {"Length", "4"},
                                       {"Endianess", "BigEndian"}});
    }

    static std::string RangeError(IFloat& node, double value) {
        return KacqTest::RangeErrorOf(node, value, "nodeapi/Float");
    }
};

} // namespace

TEST_F(FloatTest, StoredInSinglePrecision) {
    auto& tenth = map.Add<CFloat>("Tenth", {{"Value", "0.1"}});
    auto& plain = map.Add<CFloat>("Plain");
    map.Build();
    EXPECT_EQ(static_cast<double>(0.1f), tenth.GetValue());
    EXPECT_NEAR(0.100000001, tenth.GetValue(), 1e-9);
    EXPECT_NE(0.1, tenth.GetValue());
    EXPECT_EQ("0.1", tenth.ToString());
    // No limits given: the stored value is both limits, and the node accepts
    // its own value although 0.1 as a double lies below 0.1 in single precision.
    EXPECT_EQ(static_cast<double>(0.1f), tenth.GetMin());
    EXPECT_EQ(static_cast<double>(0.1f), tenth.GetMax());
    tenth.SetValue(0.1);
    EXPECT_EQ("Value 0.200000 must be smaller than or equal 0.100000", RangeError(tenth, 0.2));
    EXPECT_EQ("Value 0.000000 must be greater than or equal 0.100000", RangeError(tenth, 0.0));
    EXPECT_EQ(static_cast<double>(0.1f), tenth.GetValue());
    // Defaults.
    EXPECT_EQ(0.0, plain.GetValue());
    EXPECT_EQ(0x34000000u, BitsOf(static_cast<float>(plain.GetInc())));
    EXPECT_EQ(_UndefinedRepresentation, plain.GetRepresentation());
    EXPECT_EQ(RW, plain.GetAccessMode());
    EXPECT_EQ(0x00800000u, BitsOf(CFloat::kMinNotSet));
    EXPECT_EQ(0x7F7FFFFFu, BitsOf(CFloat::kMaxNotSet));
}

TEST_F(FloatTest, SoftwareVariableWithLimits) {
    auto& number = map.Add<CFloat>(
        "Number", {{"Value", "1.5"}, {"Min", "-2.5"}, {"Max", "1000"}, {"Inc", "0.5"}});
    map.Build();
    number.SetValue(-2.5);
    EXPECT_EQ(-2.5, number.GetValue());
    EXPECT_TRUE(number.IsChanged());
    number = 0.0;
    EXPECT_EQ(0.0, number.GetValue());
    EXPECT_EQ(0.5, number.GetInc());
    EXPECT_EQ("Value -3.000000 must be greater than or equal -2.500000", RangeError(number, -3.0));
    EXPECT_EQ("Value 1000.500000 must be smaller than or equal 1000.000000",
              RangeError(number, 1000.5));
    EXPECT_EQ("Value nan is not a number", RangeError(number, std::nan("")));
    EXPECT_EQ(0.0, number.GetValue());
    number.FromString("12.25");
    EXPECT_EQ(12.25, number.GetValue());
    EXPECT_EQ("12.25", number.ToString());
    try {
        number.FromString("much");
        FAIL();
    } catch (const PropertyException& e) {
        EXPECT_EQ("Number : property 'Value' : cannot convert value 'much'", e.GetDescription());
    }
    EXPECT_EQ(12.25, number.GetValue());
    EXPECT_EQ("Float : Value = 12.250000, Min = -2.500000, Max = 1000.000000", number.GetInfo());
}

TEST_F(FloatTest, SoftwareVariableRefusesValuesBeyondSinglePrecision) {
    auto& wide = map.Add<CFloat>("Wide", {{"Value", "0"}, {"Min", "-1e38"}, {"Max", "3e38"}});
    map.Build();
    // The not-set maximum is exactly the largest float; a value beyond it
    // cannot be stored and must not become infinity.
    EXPECT_THROW(wide.SetValue(1e39), OutOfRangeException);
    EXPECT_THROW(wide.SetValue(-1e39), OutOfRangeException);
    EXPECT_EQ(0.0, wide.GetValue());
    wide.SetValue(3e38);
    EXPECT_EQ(static_cast<double>(3e38f), wide.GetValue());
}

TEST_F(FloatTest, RangeErrorsLeaveTheRegisterUntouched) {
    AddRegister("Reg");
    auto& interval =
        map.Add<CFloat>("Interval", {{"pValue", "Reg"}, {"Min", "0"}, {"Max", "1000"}});
    map.Build();
    memory.Poke32(0x1000, 0x3F800000u); // 1.0
    memory.ResetCounts();
    EXPECT_EQ("Value -1.000000 must be greater than or equal 0.000000", RangeError(interval, -1.0));
    EXPECT_EQ("Value 1000.500000 must be smaller than or equal 1000.000000",
              RangeError(interval, 1000.5));
    EXPECT_EQ(0, memory.TotalReads() + memory.TotalWrites());
    EXPECT_EQ(0x3F800000u, memory.Peek32(0x1000));
    // Zero is a value like any other.
    interval.SetValue(0.0);
    EXPECT_EQ(0u, memory.Peek32(0x1000));
    interval.SetValue(2.5);
    EXPECT_EQ(0x40200000u, memory.Peek32(0x1000));
    EXPECT_EQ(2.5, interval.GetValue());
    EXPECT_EQ("2.5", interval.ToString());
    EXPECT_EQ("Float : Value = 2.500000, Min = 0.000000, Max = 1000.000000", interval.GetInfo());
}

TEST_F(FloatTest, LimitsFromValueNodeAndNotSetNumbers) {
    auto& node = map.Add<TestFloat>("Node");
    auto& low = map.Add<TestFloat>("Low");
    auto& high = map.Add<TestFloat>("High");
    auto& step = map.Add<TestFloat>("Step");
    auto& fromNode = map.Add<CFloat>("FromNode", {{"pValue", "Node"}});
    // The not-set numbers given as properties count as not given.
    auto& sentinels =
        map.Add<CFloat>("Sentinels", {{"pValue", "Node"},
                                      {"Min", "1.17549435e-38"},
                                      {"Max", "340282346638528859811704183484516925440"}});
    auto& linked = map.Add<CFloat>(
        "Linked", {{"pValue", "Node"}, {"pMin", "Low"}, {"pMax", "High"}, {"pInc", "Step"}});
    map.Build();
    node.minimum = -20.0;
    node.maximum = 20.0;
    EXPECT_EQ(-20.0, fromNode.GetMin());
    EXPECT_EQ(20.0, fromNode.GetMax());
    EXPECT_EQ(-20.0, sentinels.GetMin());
    EXPECT_EQ(20.0, sentinels.GetMax());
    // The replacement is kept from then on.
    node.minimum = -5.0;
    EXPECT_EQ(-20.0, fromNode.GetMin());
    EXPECT_EQ(Logarithmic, fromNode.GetRepresentation());
    // Limit nodes are asked every time.
    low.value = 1.0;
    high.value = 2.0;
    step.value = 0.25;
    EXPECT_EQ(1.0, linked.GetMin());
    EXPECT_EQ(2.0, linked.GetMax());
    EXPECT_EQ(0.25, linked.GetInc());
    high.value = 3.0;
    EXPECT_EQ(3.0, linked.GetMax());
    EXPECT_EQ("Value 0.500000 must be greater than or equal 1.000000", RangeError(linked, 0.5));
    EXPECT_EQ(0, node.writes);
    linked.SetValue(2.75);
    EXPECT_EQ(2.75, node.value);
}

TEST_F(FloatTest, LimitNobodySetIsNotABound) {
    auto& node = map.Add<TestFloat>("Node");
    auto& feature = map.Add<CFloat>("Feature", {{"pValue", "Node"}});
    map.Build();
    // A value node that itself reports the not-set numbers leaves the limits
    // unset: they are reported as such, but zero and negative values pass on
    // to the value node instead of failing against 1.2e-38.
    node.minimum = std::numeric_limits<float>::min();
    node.maximum = std::numeric_limits<float>::max();
    EXPECT_EQ(static_cast<double>(std::numeric_limits<float>::min()), feature.GetMin());
    feature.SetValue(0.0);
    feature.SetValue(-7.5);
    EXPECT_EQ(-7.5, node.value);
    EXPECT_EQ(2, node.writes);
}

TEST_F(FloatTest, AccessModeAndNotPresent) {
    AddRegister("Reg");
    auto& present = map.Add<TestInteger>("Present", {{"Value", "1"}});
    auto& feature = map.Add<CFloat>("Feature", {{"pValue", "Reg"}, {"pIsPresent", "Present"}});
    map.Build();
    EXPECT_EQ(RW, feature.GetAccessMode());
    present.SetValue(0);
    EXPECT_EQ(NP, feature.GetAccessMode());
    EXPECT_EQ("Float : not present", feature.GetInfo());
}

TEST_F(FloatTest, PropertyErrors) {
    map.Add<TestInteger>("Int");
    auto& feature = map.Add<CFloat>("Feature", {}, false);
    map.Build();
    const struct {
        const char* property;
        const char* value;
        const char* message;
    } cases[] = {
        {"pValue", "Int", "Feature : property 'pValue' : node 'Int' has no interface 'IFloat'"},
        {"pInc", "None", "Feature : property 'pInc' : node 'None' does not exist"},
        {"Max", "1e40", "Feature : property 'Max' : cannot convert value '1e40'"},
        {"Value", "x", "Feature : property 'Value' : cannot convert value 'x'"},
    };
    for (const auto& c : cases) {
        try {
            feature.SetProperty(c.property, c.value);
            ADD_FAILURE() << c.property;
        } catch (const PropertyException& e) {
            EXPECT_EQ(c.message, e.GetDescription());
        }
    }
    EXPECT_EQ(0.0, feature.GetValue());
}
