// CVariableDelegate: bindings (first wins, "X=" refused), value lookups and
// the listing; the combined access mode is checked through CSwissKnife.
#include "nodeapi/VariableDelegate.h"

#include <gtest/gtest.h>

#include "nodeapi/Category.h"
#include "nodeapi/Float.h"
#include "nodeapi/Integer.h"
#include "support/TestNodeMap.h"

using namespace NodeApi;
using KacqTest::TestNodeMap;

namespace {

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

TEST_F(VariableDelegateTest, ListingInNameOrder) {
    EXPECT_EQ("", variables.ListVariables());
    variables.AddVariable("X=Gain", "Knife", &map);
    variables.AddVariable("F=Scale", "Knife", &map);
    variables.AddVariable("B=Other", "Knife", &map);
    EXPECT_EQ("B=-9,F=2.500000,X=5", variables.ListVariables());
    variables.AddVariable("C=Group", "Knife", &map);
    try {
        variables.ListVariables();
        FAIL();
    } catch (const LogicalErrorException& e) {
        EXPECT_EQ("invalid type", e.GetDescription());
    }
}
