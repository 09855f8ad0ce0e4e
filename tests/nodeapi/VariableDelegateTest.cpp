// CVariableDelegate: bindings (first wins, "X=" refused), value lookups,
// the combined access mode and the listing.
#include "nodeapi/VariableDelegate.h"

#include <gtest/gtest.h>

#include "nodeapi/Category.h"
#include "nodeapi/Float.h"
#include "nodeapi/Integer.h"
#include "support/TestNodeMap.h"

using namespace NodeApi;
using KacqTest::TestNodeMap;

namespace {

// A node whose access mode the test sets.
class ModeNode : public IInteger, public CNodeImpl {
public:
    EAccessMode mode = RO;
    EAccessMode GetAccessMode() override { return mode; }
    void SetValue(int64_t) override {}
    int64_t GetValue() override { return 1; }
    int64_t GetMin() override { return 0; }
    int64_t GetMax() override { return 1; }
    int64_t GetInc() override { return 1; }
    ERepresentation GetRepresentation() override { return Linear; }
};

class VariableDelegateTest : public testing::Test {
protected:
    VariableDelegateTest() {
        map.Add<CInteger>("Gain", {{"Value", "5"}});
        map.Add<CInteger>("Other", {{"Value", "-9"}});
        map.Add<CFloat>("Scale", {{"Value", "2.5"}});
        map.Add<CCategory>("Group");
        map.Build();
    }

    TestNodeMap map;
    CVariableDelegate variables;
};

} // namespace

TEST_F(VariableDelegateTest, BindingsFirstWins) {
    EXPECT_TRUE(variables.AddVariable("X=Gain", "Knife", &map));
    EXPECT_TRUE(variables.AddVariable("X=Other", "Knife", &map));
    int64_t value = 0;
    EXPECT_TRUE(variables.GetIntValue("X", value));
    EXPECT_EQ(5, value);
    EXPECT_FALSE(variables.AddVariable("Y=", "Knife", &map));
    EXPECT_FALSE(variables.AddVariable("Y", "Knife", &map));
    EXPECT_FALSE(variables.AddVariable("", "Knife", &map));
    // Split at the first "=": the rest is the node name.
    try {
        variables.AddVariable("Z=A=B", "Knife", &map);
        FAIL();
    } catch (const PropertyException& e) {
        EXPECT_EQ("Knife : property 'Z' : node 'A=B' does not exist", e.GetDescription());
        EXPECT_EQ("nodeapi/VariableDelegate", e.GetSourceFileName());
    }
    EXPECT_THROW(variables.AddVariable("Z=Gain", "Knife", nullptr), PropertyException);
    EXPECT_EQ(1u, variables.GetVariables().size());
}

TEST_F(VariableDelegateTest, ValuesByInterface) {
    variables.AddVariable("I=Gain", "Knife", &map);
    variables.AddVariable("F=Scale", "Knife", &map);
    variables.AddVariable("C=Group", "Knife", &map);
    int64_t i = 0;
    double f = 0;
    EXPECT_TRUE(variables.GetIntValue("I", i));
    EXPECT_EQ(5, i);
    EXPECT_TRUE(variables.GetFloatValue("I", f));
    EXPECT_EQ(5.0, f);
    EXPECT_TRUE(variables.GetFloatValue("F", f));
    EXPECT_EQ(2.5, f);
    i = 77;
    EXPECT_FALSE(variables.GetIntValue("F", i));
    EXPECT_EQ(77, i);
    EXPECT_FALSE(variables.GetFloatValue("C", f));
    for (const char* unknown : {"i", "Q", ""}) {
        try {
            variables.GetIntValue(unknown, i);
            ADD_FAILURE() << unknown;
        } catch (const InvalidArgumentException& e) {
            EXPECT_EQ(std::string(" invalid enum value '") + unknown + "'", e.GetDescription());
        }
        EXPECT_THROW(variables.GetFloatValue(unknown, f), InvalidArgumentException);
    }
}

TEST_F(VariableDelegateTest, AccessModeCombination) {
    EXPECT_EQ(RO, variables.GetAccessMode());
    TestNodeMap modes;
    auto& a = modes.Add<ModeNode>("A");
    auto& b = modes.Add<ModeNode>("B");
    modes.Build();
    variables.AddVariable("A=A", "Knife", &modes);
    variables.AddVariable("B=B", "Knife", &modes);
    const struct {
        EAccessMode a;
        EAccessMode b;
        EAccessMode expected;
    } cases[] = {{RO, RW, RO}, {NE, RO, NE}, {NP, NE, NP}, {NE, NP, NP}, {RW, NE, NE}};
    for (const auto& c : cases) {
        a.mode = c.a;
        b.mode = c.b;
        EXPECT_EQ(c.expected, variables.GetAccessMode()) << c.a << c.b;
    }
    a.mode = NP;
    b.mode = WO;
    try {
        variables.GetAccessMode();
        FAIL();
    } catch (const RuntimeException& e) {
        EXPECT_EQ("Invalid access mode WO of variable B", e.GetDescription());
    }
}

TEST_F(VariableDelegateTest, ListingInNameOrder) {
    EXPECT_EQ("", variables.ListVariables());
    variables.AddVariable("X=Gain", "Knife", &map);
    variables.AddVariable("F=Scale", "Knife", &map);
    variables.AddVariable("B=Other", "Knife", &map);
    EXPECT_EQ("B=-9,F=2.500000,X=5", variables.ListVariables());
    EXPECT_EQ("VariableDelegate defines following enums:B=-9,F=2.500000,X=5", variables.GetInfo());
    variables.AddVariable("C=Group", "Knife", &map);
    try {
        variables.ListVariables();
        FAIL();
    } catch (const LogicalErrorException& e) {
        EXPECT_EQ("invalid type", e.GetDescription());
    }
}
