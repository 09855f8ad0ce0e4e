// CNodeImpl and CNodeMap: access-mode rule, callbacks, change propagation,
// dependants, cachability memo, dumps.
#include "nodeapi/Node.h"

#include <gtest/gtest.h>

#include <sstream>

#include "support/TestNodeMap.h"

using namespace NodeApi;
using KacqTest::TestCategory;
using KacqTest::TestInteger;
using KacqTest::TestNodeMap;

namespace {

// Records which node each call saw.
struct Recorder {
    std::vector<std::string>* calls;
    std::string tag;
    void operator()(INode* node) const { calls->push_back(tag + ":" + node->GetName()); }
};

} // namespace

TEST(NodeMapTest, LookupAndFirstEntryWins) {
    TestNodeMap map;
    EXPECT_EQ(nullptr, map.GetNode("Anything"));
    auto& first = map.Add<CNodeImpl>("A");
    auto& second = map.Add<CNodeImpl>("A");
    map.Build();
    EXPECT_EQ(&first, map.GetNode("A"));
    EXPECT_NE(static_cast<INodeConstruct*>(&second), map.GetNode("A"));
    EXPECT_EQ("A", second.GetName()); // named, but not entered
    EXPECT_EQ(nullptr, map.GetNode("a"));
}

TEST(NodeTest, AccessModeFromPresenceEnabledAndChildren) {
    const struct {
        int64_t present;
        int64_t enabled;
        EAccessMode expected;
    } cases[] = {{0, 0, NP}, {0, 1, NP}, {1, 0, NE}, {1, 1, RO}, {7, 2, RO}};
    for (const auto& c : cases) {
        TestNodeMap map;
        auto& present = map.Add<TestInteger>("Present");
        auto& enabled = map.Add<TestInteger>("Enabled");
        auto& node =
            map.Add<CNodeImpl>("Node", {{"pIsPresent", "Present"}, {"pIsEnabled", "Enabled"}});
        map.Build();
        present.SetValue(c.present);
        enabled.SetValue(c.enabled);
        EXPECT_EQ(c.expected, node.GetAccessMode()) << c.present << "/" << c.enabled;
    }

    // A child that is NP makes the parent NP whatever its own links say.
    TestNodeMap map;
    auto& gone = map.Add<TestInteger>("Gone");
    auto& yes = map.Add<TestInteger>("Yes", {{"Value", "1"}});
    map.Add<CNodeImpl>("Child", {{"pIsPresent", "Gone"}});
    auto& parent = map.Add<TestCategory>("Parent", {{"pFeature", "Child"}, {"pIsPresent", "Yes"}});
    map.Build();
    (void)gone;
    (void)yes;
    EXPECT_EQ(NP, parent.GetAccessMode());
    NodeList_t children{nullptr};
    parent.GetChildren(children);
    ASSERT_EQ(2u, children.size());
    EXPECT_EQ("Child", children[0]->GetName());
    EXPECT_EQ("Yes", children[1]->GetName());
}

TEST(NodeTest, CallbackHandlesOrderAndDeregistration) {
    TestNodeMap map;
    auto& node = map.Add<CNodeImpl>("Node");
    map.Build();
    std::vector<std::string> calls;
    auto first = MakeCallback(Recorder{&calls, "first"});
    auto second = MakeCallback(Recorder{&calls, "second"});
    EXPECT_EQ(10u, node.RegisterCallback(&first));
    EXPECT_EQ(11u, node.RegisterCallback(&second));
    CNodeCallback* none = nullptr;
    EXPECT_EQ(12u, node.RegisterCallback(none)); // empty entry, skipped when firing
    node.FireCallbacks();
    EXPECT_EQ((std::vector<std::string>{"first:Node", "second:Node"}), calls);

    EXPECT_EQ(0u, node.DeregisterCallback(99));
    EXPECT_EQ(10u, node.DeregisterCallback(10));
    EXPECT_EQ(0u, node.DeregisterCallback(10));
    calls.clear();
    node.FireCallbacks();
    EXPECT_EQ((std::vector<std::string>{"second:Node"}), calls);
    EXPECT_EQ(13u, node.RegisterCallback(&first)); // handles are never reused
}

TEST(NodeTest, CallbackMayDeregisterItselfWhileFiring) {
    TestNodeMap map;
    auto& node = map.Add<CNodeImpl>("Node");
    map.Build();
    int calls = 0;
    uint32_t handle = 0;
    auto selfRemoving = MakeCallback([&](INode* n) {
        ++calls;
        n->DeregisterCallback(handle);
    });
    handle = node.RegisterCallback(&selfRemoving);
    node.FireCallbacks();
    node.FireCallbacks();
    EXPECT_EQ(1, calls);
}

TEST(NodeTest, SetChangedInvalidatesAndNotifiesDependants) {
    TestNodeMap map;
    auto& leaf = map.Add<TestInteger>("Leaf");
    auto& mid = map.Add<CNodeImpl>("Mid", {{"pIsPresent", "Leaf"}});
    map.Add<TestCategory>("Root", {{"pFeature", "Mid"}});
    map.Build();
    EXPECT_EQ((std::set<INode*>{&mid, map.GetNode("Root")}), leaf.GetDependants());

    std::vector<std::string> calls;
    auto onLeaf = MakeCallback(Recorder{&calls, "leaf"});
    auto onMid = MakeCallback(Recorder{&calls, "mid"});
    leaf.RegisterCallback(&onLeaf);
    mid.RegisterCallback(&onMid);

    leaf.SetChanged(false);
    EXPECT_TRUE(calls.empty());
    EXPECT_FALSE(leaf.IsChanged());
    leaf.SetChanged(true);
    EXPECT_TRUE(leaf.IsChanged());
    EXPECT_EQ((std::vector<std::string>{"leaf:Leaf", "mid:Mid"}), calls);
    EXPECT_FALSE(mid.IsChanged()); // dependants are notified, not flagged
}

TEST(NodeTest, CollectDependantsGivesEveryPathToSharedAndCyclicNodes) {
    // A shared subtree reached on two paths gets both paths' nodes, and a
    // subtree whose first walk met a cycle is walked again on a new path:
    // the second walk from Root through S reaches A by way of T.
    TestNodeMap map;
    auto& root = map.Add<TestCategory>(
        "Root", {{"pFeature", "A"}, {"pFeature", "S"}, {"pFeature", "P"}, {"pFeature", "Q"}});
    auto& a = map.Add<TestCategory>("A", {{"pFeature", "S"}});
    auto& s = map.Add<TestCategory>("S", {{"pFeature", "T"}});
    auto& t = map.Add<TestCategory>("T", {{"pFeature", "A"}});
    auto& p = map.Add<TestCategory>("P", {{"pFeature", "L"}});
    auto& q = map.Add<TestCategory>("Q", {{"pFeature", "L"}});
    auto& l = map.Add<TestCategory>("L", {{"pFeature", "M"}});
    auto& m = map.Add<TestCategory>("M");
    map.Build();
    EXPECT_EQ((std::set<INode*>{&root, &s, &t}), a.GetDependants());
    EXPECT_EQ((std::set<INode*>{&root, &a}), s.GetDependants());
    EXPECT_EQ((std::set<INode*>{&root, &a, &s}), t.GetDependants());
    EXPECT_EQ((std::set<INode*>{&root, &p, &q}), l.GetDependants());
    EXPECT_EQ((std::set<INode*>{&root, &p, &q, &l}), m.GetDependants());
}

TEST(NodeTest, IsCachableIsComputedOnceFromTheChildren) {
    TestNodeMap map;
    auto& flag = map.Add<TestInteger>("Volatile", {{"Cachable", "false"}});
    auto& parent = map.Add<CNodeImpl>("Parent", {{"pIsPresent", "Volatile"}});
    auto& alone = map.Add<CNodeImpl>("Alone");
    map.Build();
    EXPECT_FALSE(flag.IsCachable());
    EXPECT_FALSE(parent.IsCachable());
    EXPECT_TRUE(alone.IsCachable());
    EXPECT_FALSE(parent.IsCachable());
    // Minimum time: the least of the children that are not cachable; without
    // such children the largest number; -1 before FinalConstruct.
    EXPECT_EQ(INT64_MAX, alone.GetMinTime());
    EXPECT_EQ(INT64_MAX, parent.GetMinTime()); // its child was finished first
    TestNodeMap early;
    early.Add<CNodeImpl>("Parent", {{"pIsPresent", "Volatile"}});
    early.Add<TestInteger>("Volatile", {{"Cachable", "false"}});
    early.Build();
    EXPECT_EQ(-1, early.Get<CNodeImpl>("Parent").GetMinTime()); // child not finished yet
}

TEST(NodeTest, DumpOfACyclicTreeStopsWithAnError) {
    TestNodeMap map;
    auto& a = map.Add<TestCategory>("A", {{"pFeature", "B"}});
    map.Add<TestCategory>("B", {{"pFeature", "A"}});
    map.Build();
    std::ostringstream out;
    EXPECT_THROW(a.Dump(nullptr, 0, out), LogicalErrorException);
    EXPECT_THROW(a.DumpChangedFlags(nullptr, 0, out), LogicalErrorException);
}

TEST(NodeTest, LockingOperationsNeedAMap) {
    CNodeImpl orphan;
    EXPECT_THROW(orphan.GetAccessMode(), LogicalErrorException);
    EXPECT_THROW(orphan.SetChanged(true), LogicalErrorException);
}
