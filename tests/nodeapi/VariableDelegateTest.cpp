// CVariableDelegate: bindings (first wins, "X=" refused), value lookups and
// the listing; the combined access mode is checked through CSwissKnife.
#include "nodeapi/VariableDelegate.h"

#include <gtest/gtest.h>

#include "nodeapi/Category.h"
#include "nodeapi/Float.h"
#include "nodeapi/Integer.h"
#include "support/Raised.h"
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
    for (const char* refused : {"Y=", "Y", ""})
        EXPECT_FALSE(variables.AddVariable(refused, "Knife", &map)) << refused;
    // Split at the first "=": the rest is the node name.
    EXPECT_EQ("Property: Knife : property 'Z' : node 'A=B' does not exist",
              KacqTest::Raised([&] { variables.AddVariable("Z=A=B", "Knife", &map); },
                               "nodeapi/VariableDelegate"));
    EXPECT_THROW(variables.AddVariable("Z=Gain", "Knife", nullptr), PropertyException);
    EXPECT_EQ(1u, variables.GetVariables().size());
}

TEST_F(VariableDelegateTest, ValuesByInterface) {
    variables.AddVariable("I=Gain", "Knife", &map);
    variables.AddVariable("F=Scale", "Knife", &map);
    variables.AddVariable("C=Group", "Knife", &map);
    int64_t i = 0;
    double f = 0, fromInt = 0;
    EXPECT_TRUE(variables.GetIntValue("I", i));
    EXPECT_TRUE(variables.GetFloatValue("I", fromInt));
    EXPECT_TRUE(variables.GetFloatValue("F", f));
    EXPECT_EQ(std::make_tuple(int64_t{5}, 5.0, 2.5), std::make_tuple(i, fromInt, f));
    i = 77;
    EXPECT_FALSE(variables.GetIntValue("F", i));
    EXPECT_EQ(77, i);
    EXPECT_FALSE(variables.GetFloatValue("C", f));
    for (const char* unknown : {"i", "Q", ""}) {
        EXPECT_EQ(std::string("InvalidArgument:  invalid enum value '") + unknown + "'",
                  KacqTest::Raised([&] { variables.GetIntValue(unknown, i); }));
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
    EXPECT_EQ("LogicalError: invalid type", KacqTest::Raised([&] { variables.ListVariables(); }));
}
