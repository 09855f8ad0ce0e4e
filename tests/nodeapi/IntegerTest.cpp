// CInteger: software variables, limits from properties, limit nodes and the
// value node, range errors that leave the register untouched, access modes,
// text forms and the physical view.
#include "nodeapi/Integer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "nodeapi/Category.h"
#include "nodeapi/IntSwissKnife.h"
#include "nodeapi/MaskedIntReg.h"
#include "nodeapi/Port.h"
#include "nodeapi/SwissKnife.h"
#include "support/MemoryPort.h"
#include "support/PortFixture.h"
#include "support/TestNodeMap.h"

using namespace NodeApi;
using KacqTest::MemoryPort;
using KacqTest::Properties;
using KacqTest::TestInteger;
using KacqTest::TestNodeMap;

namespace {

// A formula with one input: input * factor + offset.
class LinearKnife : public ISwissKnife, public CNodeImpl {
public:
    double factor = 1.0;
    double offset = 0.0;
    int calls = 0;
    void SetValue(double) override {}
    double GetValue() override { return offset; }
    double GetMin() override { return -1e300; }
    double GetMax() override { return 1e300; }
    ERepresentation GetRepresentation() override { return Linear; }
    double GetValueWithInput(double input) override {
        ++calls;
        return input * factor + offset;
    }
};

class IntegerTest : public KacqTest::PortFixture {
protected:
    // An 8-bit unsigned field in bits 8..15 of the big-endian quadlet at 0x1000.
    CMaskedIntReg& AddField(const std::string& name, const char* access = "RW") {
        return map.Add<CMaskedIntReg>(
            name, RegisterProperties("0x1000", {{"LSB", "8"}, {"MSB", "15"}}, access));
    }

    static std::string RangeError(IInteger& node, int64_t value) {
        return KacqTest::RangeErrorOf(node, value, "nodeapi/Integer");
    }
};

} // namespace

TEST_F(IntegerTest, SoftwareVariableWithoutLimitsAcceptsOnlyItsValue) {
    auto& number = map.Add<CInteger>("Number", {{"Value", "5"}});
    auto& fresh = map.Add<CInteger>("Fresh");
    map.Build();
    EXPECT_EQ(5, number.GetValue());
    EXPECT_EQ(5, number.GetMin());
    EXPECT_EQ(5, number.GetMax());
    EXPECT_EQ("Value 4 must be greater than or equal 5", RangeError(number, 4));
    EXPECT_EQ("Value 6 must be smaller than or equal 5", RangeError(number, 6));
    EXPECT_FALSE(number.IsChanged());
    EXPECT_EQ(5, number.GetValue());
    int fired = 0;
    auto callback = MakeCallback([&fired](INode*) { ++fired; });
    CNodeCallback* registered = &callback;
    number.RegisterCallback(registered);
    number = 5;
    EXPECT_TRUE(number.IsChanged());
    EXPECT_EQ(1, fired);
    // Defaults: value 0, increment 1, no representation, read-write.
    EXPECT_EQ(0, fresh.GetValue());
    EXPECT_EQ(1, fresh.GetInc());
    EXPECT_EQ(_UndefinedRepresentation, fresh.GetRepresentation());
    EXPECT_EQ(RW, fresh.GetAccessMode());
    EXPECT_EQ("", fresh.GetUnit());
}

TEST_F(IntegerTest, LimitsOverValueNodeCheckedBeforeAnyRegisterAccess) {
    AddField("Field");
    auto& gain = map.Add<CInteger>("Gain", {{"pValue", "Field"}, {"Min", "10"}});
    map.Build();
    memory.Poke32(0x1000, 0xAA00BB00u);
    memory.ResetCounts();
    EXPECT_EQ(10, gain.GetMin());
    EXPECT_EQ(255, gain.GetMax());
    const struct {
        int64_t value;
        const char* message;
    } refused[] = {
        {9, "Value 9 must be greater than or equal 10"},
        {-1, "Value -1 must be greater than or equal 10"},
        {256, "Value 256 must be smaller than or equal 255"},
        {std::numeric_limits<int64_t>::min(),
         "Value -9223372036854775808 must be greater than or equal 10"},
    };
    for (const auto& c : refused)
        EXPECT_EQ(c.message, RangeError(gain, c.value));
    EXPECT_EQ(0, memory.TotalReads() + memory.TotalWrites());
    EXPECT_EQ(0xAA00BB00u, memory.Peek32(0x1000));

    gain.SetValue(0x42);
    EXPECT_EQ(0xAA004200u, memory.Peek32(0x1000));
    EXPECT_EQ(1, memory.TotalWrites());
    EXPECT_EQ(0x42, gain.GetValue());
    EXPECT_EQ("66", gain.ToString());
}

TEST_F(IntegerTest, SentinelLimitsCountAsNotSet) {
    AddField("Field");
    auto& given = map.Add<CInteger>(
        "Given",
        {{"pValue", "Field"}, {"Min", "9223372036854775807"}, {"Max", "-9223372036854775808"}});
    auto& soft = map.Add<CInteger>("Soft", {{"Value", "-3"}, {"Min", "9223372036854775807"}});
    map.Build();
    EXPECT_EQ(0, given.GetMin());
    EXPECT_EQ(255, given.GetMax());
    EXPECT_EQ(-3, soft.GetMin());
    EXPECT_EQ(-3, soft.GetMax());
}

TEST_F(IntegerTest, LimitNodesAreAskedOnEveryUse) {
    auto& low = map.Add<TestInteger>("Low", {{"Value", "2"}});
    auto& high = map.Add<TestInteger>("High", {{"Value", "8"}});
    auto& step = map.Add<TestInteger>("Step", {{"Value", "4"}});
    auto& number = map.Add<CInteger>(
        "Number",
        {{"Value", "5"}, {"pMin", "Low"}, {"pMax", "High"}, {"pInc", "Step"}, {"Min", "0"}});
    map.Build();
    EXPECT_EQ(2, number.GetMin());
    EXPECT_EQ(8, number.GetMax());
    EXPECT_EQ(4, number.GetInc());
    low.SetValue(6);
    high.SetValue(7);
    step.SetValue(1);
    EXPECT_EQ(6, number.GetMin());
    EXPECT_EQ(7, number.GetMax());
    EXPECT_EQ(1, number.GetInc());
    EXPECT_EQ("Value 5 must be greater than or equal 6", RangeError(number, 5));
    number.SetValue(7);
    EXPECT_EQ(7, number.GetValue());
    // Children in the order the links were given.
    NodeList_t children;
    number.GetChildren(children);
    EXPECT_EQ((NodeList_t{&low, &high, &step}), children);
}

TEST_F(IntegerTest, IncrementAndRepresentation) {
    auto& field = AddField("Field");
    map.Add<CMaskedIntReg>("Log", {{"Length", "4"}, {"Representation", "Logarithmic"}});
    auto& fromNode = map.Add<CInteger>("FromNode", {{"pValue", "Log"}});
    auto& own = map.Add<CInteger>("Own", {{"pValue", "Log"}, {"Representation", "Boolean"}});
    auto& stepped = map.Add<CInteger>("Stepped", {{"pValue", "Field"}, {"Inc", "16"}});
    map.Build();
    (void)field;
    EXPECT_EQ(Logarithmic, fromNode.GetRepresentation());
    EXPECT_EQ(Boolean, own.GetRepresentation());
    EXPECT_EQ(_UndefinedRepresentation, stepped.GetRepresentation());
    EXPECT_EQ(16, stepped.GetInc());
    // The increment is not checked by SetValue.
    stepped.SetValue(3);
    EXPECT_EQ(3, stepped.GetValue());
}

TEST_F(IntegerTest, AccessModeFollowsValueNodeAndConditions) {
    AddField("RwField");
    AddField("RoField", "RO");
    auto& present = map.Add<TestInteger>("Present", {{"Value", "1"}});
    auto& enabled = map.Add<TestInteger>("Enabled", {{"Value", "1"}});
    auto& rw = map.Add<CInteger>("Rw", {{"pValue", "RwField"}});
    auto& ro = map.Add<CInteger>("Ro", {{"pValue", "RoField"}});
    auto& conditioned = map.Add<CInteger>(
        "Conditioned",
        {{"pValue", "RwField"}, {"pIsPresent", "Present"}, {"pIsEnabled", "Enabled"}});
    map.Build();
    EXPECT_EQ(RW, rw.GetAccessMode());
    EXPECT_EQ(RO, ro.GetAccessMode());
    EXPECT_EQ(RW, conditioned.GetAccessMode());
    enabled.SetValue(0);
    EXPECT_EQ(NE, conditioned.GetAccessMode());
    present.SetValue(0);
    EXPECT_EQ(NP, conditioned.GetAccessMode());
    EXPECT_EQ("Integer : not present", conditioned.GetInfo());
    present.SetValue(1);
    enabled.SetValue(1);
    // A closed port makes the register, and so the feature, not present.
    memory.SetOpen(false);
    EXPECT_EQ(NP, rw.GetAccessMode());
    EXPECT_EQ(NP, conditioned.GetAccessMode());
    memory.SetOpen(true);
    // Writing a read-only register fails in the register; nothing is written.
    EXPECT_THROW(ro.SetValue(1), RuntimeException);
    EXPECT_EQ(0, memory.TotalWrites());
}

TEST_F(IntegerTest, TextFormsAndInfo) {
    AddField("Field");
    auto& number = map.Add<CInteger>("Number", {{"pValue", "Field"}, {"Unit", "ms"}});
    auto& soft = map.Add<CInteger>("Soft", {{"Value", "-7"}});
    map.Build();
    number.FromString("0x1F");
    EXPECT_EQ(31, number.GetValue());
    EXPECT_EQ("31", number.ToString());
    EXPECT_EQ("-7", soft.ToString());
    memory.ResetCounts();
    try {
        number.FromString("twelve");
        FAIL();
    } catch (const PropertyException& e) {
        EXPECT_EQ("Number : property 'Value' : cannot convert value 'twelve'", e.GetDescription());
    }
    EXPECT_EQ(0, memory.TotalWrites());
    EXPECT_EQ("Integer : Value = 31, Min = 0, Max = 255 Physical Unitms", number.GetInfo());
    EXPECT_EQ("Integer : Value = -7, Min = -7, Max = -7 Physical Unit", soft.GetInfo());
    EXPECT_EQ("ms", number.GetUnit());
}

TEST_F(IntegerTest, RegisterFailurePassesThroughAndLeavesValue) {
    AddField("Field");
    auto& number = map.Add<CInteger>("Number", {{"pValue", "Field"}});
    map.Build();
    number.SetValue(5);
    memory.FailAlways(0x1000, std::make_exception_ptr(RuntimeException("link down", "x", 1)));
    number.InvalidateCache();
    map.Get<CMaskedIntReg>("Field").InvalidateCache();
    try {
        number.SetValue(6);
        FAIL();
    } catch (const RuntimeException& e) {
        EXPECT_EQ("link down", e.GetDescription());
    }
    memory.ClearFailures();
    EXPECT_EQ(5, number.GetValue());
    EXPECT_EQ(0x00000500u, memory.Peek32(0x1000));
}

TEST_F(IntegerTest, PhysicalValueTruncatesTowardZero) {
    auto& number = map.Add<CInteger>("Number", {{"Value", "0"}, {"Min", "-10"}, {"Max", "10"}});
    map.Build();
    const struct {
        double physical;
        int64_t stored;
    } cases[] = {{2.9, 2}, {-2.9, -2}, {0.99, 0}, {-0.5, 0}, {10.7, 10}};
    for (const auto& c : cases) {
        number.SetPhysicalValue(c.physical);
        EXPECT_EQ(c.stored, number.GetValue()) << c.physical;
    }
    EXPECT_DOUBLE_EQ(10.0, number.GetPhysicalValue());
    EXPECT_DOUBLE_EQ(-10.0, number.GetPhysicalMin());
    EXPECT_DOUBLE_EQ(10.0, number.GetPhysicalMax());
    // Outside the integer range, and NaN, are refused before the value changes.
    EXPECT_THROW(number.SetPhysicalValue(11.0), OutOfRangeException);
    EXPECT_THROW(number.SetPhysicalValue(1e19), OutOfRangeException);
    EXPECT_THROW(number.SetPhysicalValue(-1e300), OutOfRangeException);
    EXPECT_THROW(number.SetPhysicalValue(std::nan("")), OutOfRangeException);
    try {
        number.SetPhysicalValue(1e19);
    } catch (const OutOfRangeException& e) {
        EXPECT_EQ("Value 10000000000000000000.000000 must be smaller than or equal 10",
                  e.GetDescription());
    }
    EXPECT_EQ(10, number.GetValue());
}

TEST_F(IntegerTest, PhysicalValueThroughConversionFormulas) {
    auto& toPhysical = map.Add<LinearKnife>("ToPhys");
    auto& fromPhysical = map.Add<LinearKnife>("FromPhys");
    AddField("Field");
    auto& number = map.Add<CInteger>(
        "Number", {{"pValue", "Field"}, {"pToPhysical", "ToPhys"}, {"pFromPhysical", "FromPhys"}});
    map.Build();
    toPhysical.factor = 0.5;
    fromPhysical.factor = 2.0;
    fromPhysical.offset = 0.9;
    number.SetPhysicalValue(10.0); // 10 * 2 + 0.9 = 20.9 -> 20
    EXPECT_EQ(20, number.GetValue());
    EXPECT_DOUBLE_EQ(10.0, number.GetPhysicalValue());
    EXPECT_DOUBLE_EQ(0.0, number.GetPhysicalMin());
    EXPECT_DOUBLE_EQ(127.5, number.GetPhysicalMax());
    EXPECT_EQ(1, fromPhysical.calls);
    NodeList_t children;
    number.GetChildren(children);
    ASSERT_EQ(3u, children.size());
    EXPECT_EQ(&toPhysical, children[1]);
    EXPECT_EQ(&fromPhysical, children[2]);
}

TEST_F(IntegerTest, LinkPropertyErrors) {
    AddField("Field");
    map.Add<CCategory>("Group");
    auto& number = map.Add<CInteger>("Number");
    map.Build();
    const struct {
        const char* property;
        const char* value;
        const char* message;
    } cases[] = {
        {"pToPhysical", "Field",
         "Number : property 'pToPhysical' : node 'Field' has no interface 'CSwissKnife'"},
        {"pFromPhysical", "Nowhere",
         "Number : property 'pFromPhysical' : node 'Nowhere' does not exist"},
        {"pValue", "Group",
         "Number : property 'pValue' : node 'Group' has no interface 'IInteger'"},
        {"pMin", "Group", "Number : property 'pMin' : node 'Group' has no interface 'IInteger'"},
        {"Min", "ten", "Number : property 'Min' : cannot convert value 'ten'"},
        {"Representation", "linear",
         "Number : property 'Representation' : cannot convert value 'linear'"},
    };
    TestNodeMap fresh;
    fresh.Add<CMaskedIntReg>("Field", {}, false);
    fresh.Add<CCategory>("Group");
    auto& unfinished = fresh.Add<CInteger>("Number", {}, false);
    fresh.Build();
    for (const auto& c : cases) {
        try {
            unfinished.SetProperty(c.property, c.value);
            ADD_FAILURE() << c.property;
        } catch (const PropertyException& e) {
            EXPECT_EQ(c.message, e.GetDescription());
        }
    }
    NodeList_t children;
    unfinished.GetChildren(children);
    EXPECT_TRUE(children.empty());
    testing::internal::CaptureStdout();
    EXPECT_FALSE(unfinished.SetProperty("Colour", "red"));
    EXPECT_EQ("WARNING - node 'Number' : cannot handle property 'Colour' = 'red'\n"
              "WARNING - node 'Number' : cannot handle property 'Colour' = 'red'\n",
              testing::internal::GetCapturedStdout());
    EXPECT_THROW(number.SetProperty("Unit", "s"), LogicalErrorException);
}

TEST_F(IntegerTest, WriteThroughRegisterNotifiesTheFeature) {
    AddField("Field");
    auto& number = map.Add<CInteger>("Number", {{"pValue", "Field"}});
    map.Add<CCategory>("Root", {{"pFeature", "Number"}});
    map.Build();
    int fired = 0;
    auto callback = MakeCallback([&fired](INode*) { ++fired; });
    CNodeCallback* registered = &callback;
    number.RegisterCallback(registered);
    number.SetValue(3);
    EXPECT_EQ(1, fired);
}

TEST_F(IntegerTest, PhysicalValueThroughFormulaNodes) {
    map.Add<CInteger>("Scale", {{"Value", "10"}});
    map.Add<CSwissKnife>("FromPhys",
                         {{"Input", "X"}, {"Formula", "X*SCALE"}, {"pVariable", "SCALE=Scale"}});
    map.Add<CSwissKnife>("ToPhys",
                         {{"Input", "X"}, {"Formula", "X/SCALE"}, {"pVariable", "SCALE=Scale"}});
    map.Add<CIntSwissKnife>("IntKnife", {{"Formula", "1"}});
    auto& number = map.Add<CInteger>("Number", {{"Value", "0"},
                                                {"Min", "-100"},
                                                {"Max", "100"},
                                                {"Unit", "ms"},
                                                {"pFromPhysical", "FromPhys"},
                                                {"pToPhysical", "ToPhys"}});
    auto& wrong = map.Add<CInteger>("Wrong", {}, false);
    map.Build();
    const struct {
        double physical;
        int64_t stored;
    } cases[] = {{0.29, 2}, {-0.29, -2}, {1.55, 15}, {-9.99, -99}};
    for (const auto& c : cases) {
        number.SetPhysicalValue(c.physical);
        EXPECT_EQ(c.stored, number.GetValue()) << c.physical;
    }
    EXPECT_DOUBLE_EQ(-9.9, number.GetPhysicalValue());
    EXPECT_DOUBLE_EQ(-10.0, number.GetPhysicalMin());
    EXPECT_DOUBLE_EQ(10.0, number.GetPhysicalMax());
    EXPECT_THROW(number.SetPhysicalValue(10.11), OutOfRangeException);
    EXPECT_EQ(-99, number.GetValue());
    EXPECT_EQ(RW, number.GetAccessMode());
    try {
        wrong.SetProperty("pToPhysical", "IntKnife");
        FAIL();
    } catch (const PropertyException& e) {
        EXPECT_EQ("Wrong : property 'pToPhysical' : node 'IntKnife' has no interface 'CSwissKnife'",
                  e.GetDescription());
    }
}
