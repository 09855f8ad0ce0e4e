// The construction protocol over every node class, driven through TestNodeMap
// (no port); and the class registry.
#include <gtest/gtest.h>

#include "nodeapi/Boolean.h"
#include "nodeapi/Category.h"
#include "nodeapi/ClassRegistry.h"
#include "nodeapi/DcamAccessCtrlReg.h"
#include "nodeapi/EnumEntry.h"
#include "nodeapi/Enumeration.h"
#include "nodeapi/Float.h"
#include "nodeapi/FltReg.h"
#include "nodeapi/IEEE1212Parser.h"
#include "nodeapi/IntReg.h"
#include "nodeapi/IntSwissKnife.h"
#include "nodeapi/Integer.h"
#include "nodeapi/MaskedIntReg.h"
#include "nodeapi/Port.h"
#include "nodeapi/SimpleString.h"
#include "nodeapi/SwissKnife.h"
#include "nodeapi/TxtKey.h"
#include "support/MemoryPort.h"
#include "support/Raised.h"
#include "support/TestNodeMap.h"

using namespace NodeApi;
using KacqTest::Raised;
using KacqTest::TestCategory;
using KacqTest::TestInteger;
using KacqTest::TestNodeMap;

namespace {

class TestEnumeration : public CEnumerationBase {
public:
    std::string ToString() override { return ""; }
};

} // namespace

TEST(ConstructionTest, RefusedPropertiesNameNodePropertyAndText) {
    TestNodeMap map;
    map.Add<TestCategory>("Cat");
    map.Add<TestInteger>("Number");
    map.Add<CIntSwissKnife>("IntKnife");
    auto& n = map.Add<CNodeImpl>("Node", {}, false);
    auto& reg = map.Add<CIntReg>("Reg", {}, false);
    auto& masked = map.Add<CMaskedIntReg>("Field", {}, false);
    auto& ctrl = map.Add<CDcamAccessCtrlReg>("Ctrl", {}, false);
    auto& str = map.Add<CStringRegister>("Str", {}, false);
    auto& integer = map.Add<CInteger>("Int", {}, false);
    auto& flt = map.Add<CFloat>("Flt", {}, false);
    auto& flag = map.Add<CBoolean>("Flag", {}, false);
    auto& mode = map.Add<TestEnumeration>("Mode", {}, false);
    auto& knife = map.Add<CSwissKnife>("Knife", {}, false);
    auto& iknife = map.Add<CIntSwissKnife>("IKnife", {}, false);
    auto& key = map.Add<CTxtKey>("Key", {}, false);
    auto& group = map.Add<CCategory>("Group", {}, false);
    map.Build();
    const char* vd = "nodeapi/VariableDelegate";
    // raised: null for "cannot convert value", an interface name for "has no
    // interface", else after '=' the whole text after the node's name.
    const struct {
        INodeConstruct& node;
        const char *property, *value, *raised;
        const char* source = nullptr;
    } rows[] = {
        {n, "Cachable", "yes", nullptr},
        {n, "Visibility", "expert", nullptr},
        {n, "pIsPresent", "Cat", "IInteger"},
        {reg, "Address", "&h", nullptr},
        {reg, "pPort", "Cat", "IPort"},
        {reg, "pAddress", "Cat",
         "=property list element 'pAddress' : node 'Cat' has no interface 'IInteger'"},
        {masked, "LSB", "-1", nullptr},
        {ctrl, "Timeout", "70000", nullptr},
        {ctrl, "FeatureID", "-1", nullptr},
        {str, "pLength", "Cat", "IInteger"},
        {integer, "pToPhysical", "Number", "CSwissKnife"},
        {integer, "pValue", "Cat", "IInteger"},
        {integer, "Min", "ten", nullptr},
        {flt, "pValue", "Number", "IFloat"},
        {flt, "Max", "1e40", nullptr},
        {flag, "pValue", "Cat", "IInteger"},
        {flag, "OnValue", "on", nullptr},
        {mode, "pEnumEntry", "Number",
         "=property enum entry 'pEnumEntry' : node 'Number' is not of class IEnumEntry "},
        {mode, "pValue", "Cat", "IInteger"},
        {mode, "Value", "4294967296", nullptr},
        {knife, "pVariable", "A=", nullptr, "nodeapi/Node"},
        {knife, "pVariable", "A=Nowhere", "=property 'A' : node 'Nowhere' does not exist", vd},
        {iknife, "pVariable", "A=Nowhere", "=property 'A' : node 'Nowhere' does not exist", vd},
        {iknife, "Representation", "Hex", nullptr, "nodeapi/Node"},
        {key, "p1212Parser", "Missing", "=property 'p1212Parser' : node 'Missing' does not exist"},
        {key, "p1212Parser", "Number", "CIEEE1212Parser"},
        {key, "Key", "70000", nullptr},
        {group, "pFeature", "Missing", "=property 'pFeature' : node 'Missing' does not exist"},
    };
    for (const auto& r : rows) {
        const std::string v = r.value, p = std::string("property '") + r.property + "' : ";
        const std::string tail = !r.raised ? p + "cannot convert value '" + v + "'"
                                 : *r.raised == '='
                                     ? std::string(r.raised + 1)
                                     : p + "node '" + v + "' has no interface '" + r.raised + "'";
        EXPECT_EQ("Property: " + r.node.GetName() + " : " + tail,
                  Raised([&] { r.node.SetProperty(r.property, r.value); }, r.source))
            << r.property << " = " << r.value;
        NodeList_t children{nullptr};
        r.node.GetChildren(children);
        EXPECT_TRUE(children.empty()) << r.node.GetName() << " kept a refused link";
    }
    NodeList_t entries;
    mode.GetEntries(entries);
    EXPECT_EQ(std::make_tuple(size_t{0}, true, 0.0),
              std::make_tuple(entries.size(), flag.GetValue(), flt.GetValue()));
    for (const char* v : {"true", "false", "0", "1"})
        EXPECT_TRUE(n.SetProperty("Cachable", v)) << v;
    EXPECT_TRUE(ctrl.SetProperty("Timeout", "65535"));
}

TEST(ConstructionTest, ListPropertiesAccumulateSingleOnesOverwriteAndLinksResolveAtOnce) {
    TestNodeMap map;
    KacqTest::MemoryPort port(0, 0x10000);
    map.AddExternal(port, "Port");
    map.Add<TestInteger>("Base", KacqTest::Props("Value=0x4000"));
    map.Add<TestInteger>("Offset", KacqTest::Props("Value=0x10"));
    auto& reg = map.Add<CRegister>(
        "Reg", KacqTest::Props("pPort=Port;Address=0x100;Address=0x20;pAddress=Base;"
                               "pAddress=Offset;Length=8;Length=4;AccessMode=RW"));
    map.Build();
    EXPECT_EQ(std::make_pair(int64_t{0x4130}, int64_t{4}),
              std::make_pair(reg.GetAddress(), reg.GetLength()));

    TestNodeMap late; // never built: nodes are entered one at a time
    auto& plain = late.Add<CNodeImpl>("Plain");
    auto& category = late.Add<TestCategory>("Cat");
    auto& number = late.Add<TestInteger>("Number");
    auto& target = late.Add<CIntReg>("Target");
    plain.SetNodeMap(&late, "Plain");
    target.SetNodeMap(&late, "Target");
    const std::string missing = Raised([&] { plain.SetProperty("pIsPresent", "Number"); });
    number.SetNodeMap(&late, "Number");
    const std::string linked = Raised([&] { plain.SetProperty("pIsPresent", "Number"); });
    category.SetNodeMap(&late, "Cat");
    const std::string wrong = Raised([&] { plain.SetProperty("pIsPresent", "Cat"); });
    EXPECT_EQ("Property: Plain : property 'pIsPresent' : node 'Number' does not exist|<no "
              "exception>|Property: Plain : property 'pIsPresent' : node 'Cat' has no interface "
              "'IInteger'",
              missing + "|" + linked + "|" + wrong);
    EXPECT_TRUE(target.SetProperty("pInvalidator", "Cat")); // any node will do
    // The failed single link cleared the stored is-present node: "Number"
    // reading 0 no longer makes the node NP.
    NodeList_t children;
    plain.GetChildren(children);
    number.SetValue(0);
    EXPECT_EQ(std::make_pair(NodeList_t{&number}, RO),
              std::make_pair(children, plain.GetAccessMode()));
}

TEST(ConstructionTest, FinishedNodesRefuseProperties) {
    TestNodeMap map;
    map.Add<TestInteger>("One", KacqTest::Props("Value=1"));
    INodeConstruct* nodes[] = {
        &map.Add<CNodeImpl>("Plain"),        &map.Add<CInteger>("Int"),
        &map.Add<CSwissKnife>("Knife"),      &map.Add<CIntSwissKnife>("IKnife"),
        &map.Add<CEnumEntry>("Entry"),       &map.Add<CCategory>("Group"),
        &map.Add<CTxtKey>("Key", {}, false),
    };
    map.Build();
    EXPECT_EQ("Runtime: pParser not specified", Raised([&] { nodes[6]->FinalConstruct(); }));
    for (INodeConstruct* node : nodes) {
        const std::string name = node->GetName();
        for (const char* property : {"ToolTip", "Formula", "Value", "pFeature", "Colour"}) {
            EXPECT_EQ("LogicalError: Node " + name + ": already initialized",
                      Raised([&] { node->SetProperty(property, "One"); }, "nodeapi/Node"))
                << name << " " << property;
        }
        EXPECT_EQ("LogicalError: Node already initialized", Raised([&] { node->FinalConstruct(); }))
            << name;
    }
}

TEST(ConstructionTest, UnknownPropertyWritesOneWarningPerClassLevel) {
    TestNodeMap map;
    const std::pair<INodeConstruct&, int> rows[] = {{map.Add<CMaskedIntReg>("M", {}, false), 4},
                                                    {map.Add<CIntSwissKnife>("K", {}, false), 2},
                                                    {map.Add<CCategory>("C", {}, false), 2}};
    map.Build();
    const std::string value(400, 'v'); // the line is cut at 255 characters
    for (const auto& [node, levels] : rows) {
        const std::string line = ("WARNING - node '" + node.GetName() +
                                  "' : cannot handle property 'Colour' = '" + value)
                                     .substr(0, 255);
        testing::internal::CaptureStdout();
        const bool handled = node.SetProperty("Colour", value);
        std::string expected;
        for (int i = 0; i < levels; ++i)
            expected += line;
        EXPECT_EQ(std::make_pair(false, expected),
                  std::make_pair(handled, testing::internal::GetCapturedStdout()))
            << levels;
    }
}

TEST(ClassRegistryTest, StartupRegistrationsFirstAndFirstFactoryWins) {
    const StringList_t startup = GetStartupNodeClasses(), registered = GetRegisteredNodeClasses();
    ASSERT_GE(registered.size(), startup.size());
    EXPECT_EQ(startup, StringList_t(registered.begin(), registered.begin() + startup.size()));
    for (const char* name : {"CRegister", "CFltReg", "CPort", "CStringRegister"})
        EXPECT_NE(nullptr, CreateNode(name)) << name;
    EXPECT_NE(nullptr, dynamic_cast<CMaskedIntReg*>(CreateNode("CMaskedIntReg").get()));
    for (const char* name : {"CDcamAccessCtrlReg", "CEnumEntry", "CSwissKnife", "Nothing"})
        EXPECT_EQ(nullptr, CreateNode(name)) << name;
    EXPECT_FALSE(RegisterNodeClass("CIntReg", &CreateNodeOfClass<CFltReg>));
    EXPECT_NE(nullptr, dynamic_cast<CIntReg*>(CreateNode("CIntReg").get()));
    EXPECT_EQ(nullptr, CreateNodeOfClass<CIntReg>("CFltReg"));
    EXPECT_TRUE(RegisterNodeClass("CTestOnlyClass", &CreateNodeOfClass<CIntReg>));
    EXPECT_EQ(nullptr, CreateNode("CTestOnlyClass"));
}
