// CCategory: members in property order, the info line and its cut, access mode.
#include "nodeapi/Category.h"

#include <gtest/gtest.h>

#include "nodeapi/Integer.h"
#include "support/TestNodeMap.h"

using namespace NodeApi;
using KacqTest::Props;
using KacqTest::TestInteger;
using KacqTest::TestNodeMap;

TEST(CategoryTest, ChildrenInPropertyOrderInfoAndAccessMode) {
    TestNodeMap map;
    auto& a = map.Add<CInteger>("A");
    auto& b = map.Add<CInteger>("B");
    auto& c = map.Add<CInteger>("C");
    auto& sub = map.Add<CCategory>("Sub", Props("pFeature=A"));
    auto& root =
        map.Add<CCategory>("Root", Props("pFeature=C;pCategory=Sub;pFeature=A;pFeature=B"));
    auto& empty = map.Add<CCategory>("Empty");
    // A member not present makes its category not present.
    auto& present = map.Add<TestInteger>("Present", Props("Value=1"));
    map.Add<TestInteger>("Member", Props("pIsPresent=Present"));
    auto& group = map.Add<CCategory>("Group", Props("pFeature=Member"));
    map.Build();
    NodeList_t children;
    root.GetChildren(children);
    EXPECT_EQ((NodeList_t{&c, &sub, &a, &b}), children);
    EXPECT_EQ("Category ::Root :\n  containing 4 features|Category ::Sub :\n  containing 1 "
              "features|Category ::Empty :\n  containing 0 features",
              root.GetInfo() + "|" + sub.GetInfo() + "|" + empty.GetInfo());
    // The map was linked from Root: a member knows its categories depend on it.
    EXPECT_EQ((std::set<INode*>{&root, &sub}), a.GetDependants());
    const EAccessMode before = group.GetAccessMode();
    present.SetValue(0);
    EXPECT_EQ((std::vector<EAccessMode>{RO, RO, NP}),
              (std::vector<EAccessMode>{root.GetAccessMode(), before, group.GetAccessMode()}));
}

TEST(CategoryTest, LongInfoIsCutAfter250Characters) {
    // "Category ::" + name + " :\n  containing 0 features" is 250 characters
    // for a name of 213; "Category ::" + 236 + " :" is 249.
    const std::string name213(213, 'e'), name236(236, 'n'), name237(237, 'n'), name300(300, 'x');
    TestNodeMap map;
    auto& whole = map.Add<CCategory>(name213);
    auto& fits = map.Add<CCategory>(name236);
    auto& cut = map.Add<CCategory>(name237);
    auto& longer = map.Add<CCategory>(name300);
    map.Build();
    const std::string tail = " :\n  containing 0 features";
    EXPECT_EQ((std::vector<std::string>{"Category ::" + name213 + tail,
                                        ("Category ::" + name236 + tail).substr(0, 250) + "[...]",
                                        "Category ::" + name237 + " :[...]",
                                        "Category ::" + name300.substr(0, 239) + "[...]"}),
              (std::vector<std::string>{whole.GetInfo(), fits.GetInfo(), cut.GetInfo(),
                                        longer.GetInfo()}));
}
