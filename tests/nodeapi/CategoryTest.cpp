// CCategory: members in property order, the info line and its cut, access mode.
#include "nodeapi/Category.h"

#include <gtest/gtest.h>

#include "nodeapi/Integer.h"
#include "support/TestNodeMap.h"

using namespace NodeApi;
using KacqTest::TestInteger;
using KacqTest::TestNodeMap;

TEST(CategoryTest, ChildrenInPropertyOrderAndInfo) {
    TestNodeMap map;
    auto& a = map.Add<CInteger>("A");
    auto& b = map.Add<CInteger>("B");
    auto& c = map.Add<CInteger>("C");
    auto& sub = map.Add<CCategory>("Sub", {{"pFeature", "A"}});
    auto& root = map.Add<CCategory>(
        "Root", {{"pFeature", "C"}, {"pCategory", "Sub"}, {"pFeature", "A"}, {"pFeature", "B"}});
    auto& empty = map.Add<CCategory>("Empty");
    map.Build();
    NodeList_t children;
    root.GetChildren(children);
    EXPECT_EQ((NodeList_t{&c, &sub, &a, &b}), children);
    EXPECT_EQ("Category ::Root :\n  containing 4 features|Category ::Sub :\n  containing 1 "
              "features|Category ::Empty :\n  containing 0 features",
              root.GetInfo() + "|" + sub.GetInfo() + "|" + empty.GetInfo());
    EXPECT_EQ(RO, root.GetAccessMode());
    // The map was linked from Root: a member knows its categories depend on it.
    EXPECT_EQ((std::set<INode*>{&root, &sub}), a.GetDependants());
}

TEST(CategoryTest, LongInfoIsCutAfter250Characters) {
    TestNodeMap map;
    const std::string name236(236, 'n'); // "Category ::" + 236 + " :" = 249
    const std::string name237(237, 'n');
    const std::string name300(300, 'x');
    auto& fits = map.Add<CCategory>(name236);
    auto& cut = map.Add<CCategory>(name237);
    auto& longer = map.Add<CCategory>(name300);
    map.Build();
    const std::string fitsInfo = "Category ::" + name236 + " :\n  containing 0 features";
    EXPECT_EQ(fitsInfo.substr(0, 250) + "[...]", fits.GetInfo());
    EXPECT_EQ("Category ::" + name237 + " :[...]", cut.GetInfo()); // 255 characters
    EXPECT_EQ("Category ::" + name300.substr(0, 239) + "[...]", longer.GetInfo());

    // Exactly 250 characters stay whole.
    TestNodeMap exact;
    const std::string name(250 - std::string("Category :: :\n  containing 0 features").size(), 'e');
    auto& whole250 = exact.Add<CCategory>(name);
    exact.Build();
    EXPECT_EQ("Category ::" + name + " :\n  containing 0 features", whole250.GetInfo());
}

TEST(CategoryTest, AMemberNotPresentMakesTheCategoryNotPresent) {
    TestNodeMap map;
    auto& present = map.Add<TestInteger>("Present", {{"Value", "1"}});
    map.Add<TestInteger>("Member", {{"pIsPresent", "Present"}});
    auto& group = map.Add<CCategory>("Group", {{"pFeature", "Member"}});
    map.Build();
    EXPECT_EQ(RO, group.GetAccessMode());
    present.SetValue(0);
    EXPECT_EQ(NP, group.GetAccessMode());
}
