// CVariableDelegate over software nodes in a TestNodeMap.
#include "nodeapi/VariableDelegate.h"

#include <gtest/gtest.h>

#include "nodeapi/Category.h"
#include "nodeapi/Float.h"
#include "nodeapi/Integer.h"
#include "support/Raised.h"
#include "support/TestNodeMap.h"

using namespace NodeApi;
using KacqTest::Props;
using KacqTest::Raised;

namespace {

class VariableDelegateTest : public testing::Test {
protected:
    VariableDelegateTest() {
        map.Add<CInteger>("Gain", Props("Value=5"));
        map.Add<CInteger>("Other", Props("Value=-9"));
        map.Add<CFloat>("Scale", Props("Value=2.5"));
        map.Add<CCategory>("Group");
        map.Build();
    }
    bool Add(const std::string& binding) { return variables.AddVariable(binding, "Knife", &map); }

    KacqTest::TestNodeMap map;
    CVariableDelegate variables;
};

} // namespace

TEST_F(VariableDelegateTest, BindingsFirstWins) {
    int64_t value = 0;
    EXPECT_EQ((std::vector<bool>{true, true, true, false, false, false}),
              (std::vector<bool>{Add("X=Gain"), Add("X=Other"), variables.GetIntValue("X", value),
                                 Add("Y="), Add("Y"), Add("")}));
    EXPECT_EQ(5, value);
    // Split at the first "=": the rest is the node name.
    EXPECT_EQ("Property: Knife : property 'Z' : node 'A=B' does not exist",
              Raised([&] { Add("Z=A=B"); }, "nodeapi/VariableDelegate"));
    EXPECT_EQ("Property: Knife : property 'Z' : node 'Gain' does not exist",
              Raised([&] { variables.AddVariable("Z=Gain", "Knife", nullptr); }));
    EXPECT_EQ(1u, variables.GetVariables().size());
}

TEST_F(VariableDelegateTest, ValuesByInterface) {
    Add("I=Gain");
    Add("F=Scale");
    Add("C=Group");
    int64_t i = 0;
    double f = 0, fromInt = 0;
    EXPECT_EQ(
        (std::vector<bool>{true, true, true}),
        (std::vector<bool>{variables.GetIntValue("I", i), variables.GetFloatValue("I", fromInt),
                           variables.GetFloatValue("F", f)}));
    EXPECT_EQ(std::make_tuple(int64_t{5}, 5.0, 2.5), std::make_tuple(i, fromInt, f));
    i = 77;
    EXPECT_EQ((std::vector<bool>{false, false}),
              (std::vector<bool>{variables.GetIntValue("F", i), variables.GetFloatValue("C", f)}));
    EXPECT_EQ(77, i);
    for (const char* unknown : {"i", "Q", ""}) {
        const std::string text =
            std::string("InvalidArgument:  invalid enum value '") + unknown + "'";
        EXPECT_EQ(text + "|" + text, Raised([&] { variables.GetIntValue(unknown, i); }) + "|" +
                                         Raised([&] { variables.GetFloatValue(unknown, f); }));
    }
}

TEST_F(VariableDelegateTest, ListingInNameOrder) {
    const std::string empty = variables.ListVariables();
    Add("X=Gain");
    Add("F=Scale");
    Add("B=Other");
    EXPECT_EQ("|B=-9,F=2.500000,X=5", empty + "|" + variables.ListVariables());
    Add("C=Group");
    EXPECT_EQ("LogicalError: invalid type", Raised([&] { variables.ListVariables(); }));
}
