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
    EXPECT_EQ("A", second.GetName()); // named, but not entered
    EXPECT_EQ(nullptr, map.GetNode("a"));
}

TEST(NodeTest, AccessModeFromPresenceEnabledAndChildren) {
    {
        TestNodeMap map;
        auto& present = map.Add<TestInteger>("Present");
        auto& enabled = map.Add<TestInteger>("Enabled");
        auto& node =
            map.Add<CNodeImpl>("Node", {{"pIsPresent", "Present"}, {"pIsEnabled", "Enabled"}});
        map.Build();
        // Present / enabled: 0/0, 0/1, 1/0, 1/1, 7/2.
        std::vector<EAccessMode> modes;
        for (auto pe : std::vector<std::pair<int, int>>{{0, 0}, {0, 1}, {1, 0}, {1, 1}, {7, 2}}) {
            present.SetValue(pe.first);
            enabled.SetValue(pe.second);
            modes.push_back(node.GetAccessMode());
        }
        EXPECT_EQ((std::vector<EAccessMode>{NP, NP, NE, RO, RO}), modes);
    }

    // A child that is NP makes the parent NP whatever its own links say.
    TestNodeMap map;
    map.Add<TestInteger>("Gone");
    map.Add<TestInteger>("Yes", {{"Value", "1"}});
    map.Add<CNodeImpl>("Child", {{"pIsPresent", "Gone"}});
    auto& parent = map.Add<TestCategory>("Parent", {{"pFeature", "Child"}, {"pIsPresent", "Yes"}});
    map.Build();
    EXPECT_EQ(NP, parent.GetAccessMode());
    NodeList_t children{nullptr};
    parent.GetChildren(children);
    EXPECT_EQ((NodeList_t{map.GetNode("Child"), map.GetNode("Yes")}), children);
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

    EXPECT_EQ((std::vector<uint32_t>{0, 10, 0}),
              (std::vector<uint32_t>{node.DeregisterCallback(99), node.DeregisterCallback(10),
                                     node.DeregisterCallback(10)}));
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
    EXPECT_EQ(std::make_pair(size_t{0}, false), std::make_pair(calls.size(), leaf.IsChanged()));
    leaf.SetChanged(true);
    EXPECT_EQ((std::vector<std::string>{"leaf:Leaf", "mid:Mid"}), calls);
    // Dependants are notified, not flagged.
    EXPECT_EQ(std::make_pair(true, false), std::make_pair(leaf.IsChanged(), mid.IsChanged()));
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
    EXPECT_EQ((std::vector<bool>{false, false, true, false}),
              (std::vector<bool>{flag.IsCachable(), parent.IsCachable(), alone.IsCachable(),
                                 parent.IsCachable()}));
    // Minimum time: the least of the children that are not cachable; without
    // such children the largest number; -1 before FinalConstruct.
    // The parent's child was finished first.
    EXPECT_EQ(std::make_pair(INT64_MAX, INT64_MAX),
              std::make_pair(alone.GetMinTime(), parent.GetMinTime()));
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
