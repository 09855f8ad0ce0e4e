// CNodeImpl, CNodeMap and CCategory over software nodes in a TestNodeMap.
#include "nodeapi/Node.h"

#include <gtest/gtest.h>

#include <sstream>

#include "nodeapi/Category.h"
#include "nodeapi/Integer.h"
#include "support/Raised.h"
#include "support/TestNodeMap.h"

using namespace NodeApi;
using KacqTest::Props;
using KacqTest::Raised;
using KacqTest::TestCategory;
using KacqTest::TestInteger;
using KacqTest::TestNodeMap;
using Calls = std::vector<std::string>;
using Modes = std::vector<EAccessMode>;

namespace {

struct Recorder {
    Calls* calls;
    std::string tag;
    void operator()(INode* node) const { calls->push_back(tag + ":" + node->GetName()); }
};

} // namespace

TEST(NodeMapTest, LookupAndFirstEntryWins) {
    TestNodeMap map;
    EXPECT_EQ(nullptr, map.GetNode("Anything"));
    auto& first = map.Add<CNodeImpl>("A");
    auto& second = map.Add<CNodeImpl>("A"); // named, but not entered
    map.Build();
    EXPECT_EQ(std::make_tuple(static_cast<INode*>(&first), std::string("A"),
                              static_cast<INode*>(nullptr)),
              std::make_tuple(map.GetNode("A"), second.GetName(), map.GetNode("a")));
}

TEST(NodeTest, AccessModeFromPresenceEnabledAndChildren) {
    TestNodeMap map;
    auto& present = map.Add<TestInteger>("Present");
    auto& enabled = map.Add<TestInteger>("Enabled");
    auto& node = map.Add<CNodeImpl>("Node", Props("pIsPresent=Present;pIsEnabled=Enabled"));
    // An NP child makes the parent NP whatever its own links say.
    map.Add<TestInteger>("Yes", Props("Value=1"));
    map.Add<CNodeImpl>("Child", Props("pIsPresent=Present"));
    auto& parent = map.Add<TestCategory>("Parent", Props("pFeature=Child;pIsPresent=Yes"));
    auto& group = map.Add<CCategory>("Group", Props("pFeature=Child"));
    map.Build();
    Modes modes;
    for (auto pe : std::vector<std::pair<int, int>>{{0, 0}, {0, 1}, {1, 0}, {1, 1}, {7, 2}}) {
        present.SetValue(pe.first);
        enabled.SetValue(pe.second);
        modes.insert(modes.end(),
                     {node.GetAccessMode(), parent.GetAccessMode(), group.GetAccessMode()});
    }
    EXPECT_EQ((Modes{NP, NP, NP, NP, NP, NP, NE, RO, RO, RO, RO, RO, RO, RO, RO}), modes);
    NodeList_t children{nullptr};
    parent.GetChildren(children);
    EXPECT_EQ((NodeList_t{map.GetNode("Child"), map.GetNode("Yes")}), children);
}

TEST(NodeTest, CallbackHandlesOrderAndDeregistration) {
    TestNodeMap map;
    auto& node = map.Add<CNodeImpl>("Node");
    map.Build();
    Calls calls;
    auto first = MakeCallback(Recorder{&calls, "first"});
    auto second = MakeCallback(Recorder{&calls, "second"});
    CNodeCallback* none = nullptr; // an empty entry, skipped when firing
    EXPECT_EQ((std::vector<uint32_t>{10, 11, 12}),
              (std::vector<uint32_t>{node.RegisterCallback(&first), node.RegisterCallback(&second),
                                     node.RegisterCallback(none)}));
    node.FireCallbacks();
    EXPECT_EQ((std::vector<uint32_t>{0, 10, 0}),
              (std::vector<uint32_t>{node.DeregisterCallback(99), node.DeregisterCallback(10),
                                     node.DeregisterCallback(10)}));
    node.FireCallbacks();
    EXPECT_EQ((Calls{"first:Node", "second:Node", "second:Node"}), calls);
    EXPECT_EQ(13u, node.RegisterCallback(&first)); // handles are never reused

    int fired = 0;
    uint32_t handle = 0;
    auto selfRemoving = MakeCallback([&](INode* n) { fired += n->DeregisterCallback(handle) > 0; });
    handle = node.RegisterCallback(&selfRemoving);
    node.FireCallbacks();
    node.FireCallbacks();
    EXPECT_EQ(1, fired);
}

TEST(NodeTest, SetChangedInvalidatesAndNotifiesDependants) {
    TestNodeMap map;
    auto& leaf = map.Add<TestInteger>("Leaf");
    auto& mid = map.Add<CNodeImpl>("Mid", Props("pIsPresent=Leaf"));
    map.Add<TestCategory>("Root", Props("pFeature=Mid"));
    map.Build();
    EXPECT_EQ((std::set<INode*>{&mid, map.GetNode("Root")}), leaf.GetDependants());
    Calls calls;
    auto onLeaf = MakeCallback(Recorder{&calls, "leaf"});
    auto onMid = MakeCallback(Recorder{&calls, "mid"});
    leaf.RegisterCallback(&onLeaf);
    mid.RegisterCallback(&onMid);
    leaf.SetChanged(false);
    EXPECT_EQ(std::make_pair(size_t{0}, false), std::make_pair(calls.size(), leaf.IsChanged()));
    leaf.SetChanged(true);
    EXPECT_EQ((Calls{"leaf:Leaf", "mid:Mid"}), calls);
    EXPECT_EQ(std::make_pair(true, false), std::make_pair(leaf.IsChanged(), mid.IsChanged()));
}

TEST(NodeTest, CollectDependantsGivesEveryPathToSharedAndCyclicNodes) {
    // A subtree whose first walk met a cycle is walked again on a new path:
    // the second walk from Root through S reaches A by way of T.
    TestNodeMap map;
    auto& root =
        map.Add<TestCategory>("Root", Props("pFeature=A;pFeature=S;pFeature=P;pFeature=Q"));
    auto& a = map.Add<TestCategory>("A", Props("pFeature=S"));
    auto& s = map.Add<TestCategory>("S", Props("pFeature=T"));
    auto& t = map.Add<TestCategory>("T", Props("pFeature=A"));
    auto& p = map.Add<TestCategory>("P", Props("pFeature=L"));
    auto& q = map.Add<TestCategory>("Q", Props("pFeature=L"));
    auto& l = map.Add<TestCategory>("L", Props("pFeature=M"));
    auto& m = map.Add<TestCategory>("M");
    map.Build();
    using Set = std::set<INode*>;
    EXPECT_EQ(
        (std::vector<Set>{
            {&root, &s, &t}, {&root, &a}, {&root, &a, &s}, {&root, &p, &q}, {&root, &p, &q, &l}}),
        (std::vector<Set>{a.GetDependants(), s.GetDependants(), t.GetDependants(),
                          l.GetDependants(), m.GetDependants()}));
}

TEST(NodeTest, IsCachableAndMinTimeAreComputedOnceFromTheChildren) {
    TestNodeMap map;
    auto& flag = map.Add<TestInteger>("Volatile", Props("Cachable=false"));
    auto& parent = map.Add<CNodeImpl>("Parent", Props("pIsPresent=Volatile"));
    auto& alone = map.Add<CNodeImpl>("Alone");
    map.Build();
    EXPECT_EQ((std::vector<bool>{false, false, true, false}),
              (std::vector<bool>{flag.IsCachable(), parent.IsCachable(), alone.IsCachable(),
                                 parent.IsCachable()}));
    TestNodeMap early;
    early.Add<CNodeImpl>("Parent", Props("pIsPresent=Volatile"));
    early.Add<TestInteger>("Volatile", Props("Cachable=false"));
    early.Build();
    EXPECT_EQ(std::make_tuple(INT64_MAX, INT64_MAX, int64_t{-1}),
              std::make_tuple(alone.GetMinTime(), parent.GetMinTime(),
                              early.Get<CNodeImpl>("Parent").GetMinTime()));
}

TEST(NodeTest, CyclicDumpsAndOrphansRaise) {
    TestNodeMap map;
    auto& a = map.Add<TestCategory>("A", Props("pFeature=B"));
    map.Add<TestCategory>("B", Props("pFeature=A"));
    map.Build();
    std::ostringstream out;
    CNodeImpl orphan; // locking operations need a map
    const Calls raised{Raised([&] { a.Dump(nullptr, 0, out); }).substr(0, 13),
                       Raised([&] { a.DumpChangedFlags(nullptr, 0, out); }).substr(0, 13),
                       Raised([&] { orphan.GetAccessMode(); }).substr(0, 13),
                       Raised([&] { orphan.SetChanged(true); }).substr(0, 13)};
    EXPECT_EQ(Calls(4, "LogicalError:"), raised);
}

TEST(CategoryTest, ChildrenInPropertyOrderAndInfo) {
    TestNodeMap map;
    auto& a = map.Add<CInteger>("A");
    auto& b = map.Add<CInteger>("B");
    auto& c = map.Add<CInteger>("C");
    auto& sub = map.Add<CCategory>("Sub", Props("pFeature=A"));
    auto& root =
        map.Add<CCategory>("Root", Props("pFeature=C;pCategory=Sub;pFeature=A;pFeature=B"));
    auto& empty = map.Add<CCategory>("Empty");
    map.Build();
    NodeList_t children;
    root.GetChildren(children);
    EXPECT_EQ((NodeList_t{&c, &sub, &a, &b}), children);
    EXPECT_EQ("Category ::Root :\n  containing 4 features|Category ::Sub :\n  containing 1 "
              "features|Category ::Empty :\n  containing 0 features",
              root.GetInfo() + "|" + sub.GetInfo() + "|" + empty.GetInfo());
    EXPECT_EQ(std::make_pair(std::set<INode*>{&root, &sub}, RO),
              std::make_pair(a.GetDependants(), root.GetAccessMode()));
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
    EXPECT_EQ((Calls{"Category ::" + name213 + tail,
                     ("Category ::" + name236 + tail).substr(0, 250) + "[...]",
                     "Category ::" + name237 + " :[...]",
                     "Category ::" + name300.substr(0, 239) + "[...]"}),
              (Calls{whole.GetInfo(), fits.GetInfo(), cut.GetInfo(), longer.GetInfo()}));
}
