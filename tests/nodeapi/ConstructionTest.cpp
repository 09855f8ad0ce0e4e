// Construction protocol: property conversion errors, links resolved at once,
// warning lines per class level, and the class registry.
#include <gtest/gtest.h>

#include "nodeapi/ClassRegistry.h"
#include "nodeapi/DcamAccessCtrlReg.h"
#include "nodeapi/FltReg.h"
#include "nodeapi/IntReg.h"
#include "nodeapi/MaskedIntReg.h"
#include "nodeapi/Port.h"
#include "nodeapi/SimpleString.h"
#include "support/MemoryPort.h"
#include "support/TestNodeMap.h"

using namespace NodeApi;
using KacqTest::MemoryPort;
using KacqTest::TestCategory;
using KacqTest::TestInteger;
using KacqTest::TestNodeMap;

namespace {

std::string PropertyError(INodeConstruct& node, const std::string& name, const std::string& value) {
    try {
        node.SetProperty(name, value);
    } catch (const PropertyException& e) {
        return e.GetDescription();
    }
    return "<accepted>";
}

// Lines written to standard output by one SetProperty call, and its result.
std::pair<int, bool> WarningLines(INodeConstruct& node, const std::string& name,
                                  const std::string& value, std::string* text = nullptr) {
    testing::internal::CaptureStdout();
    bool result = node.SetProperty(name, value);
    std::string out = testing::internal::GetCapturedStdout();
    if (text)
        *text = out;
    return {static_cast<int>(std::count(out.begin(), out.end(), '\n')), result};
}

} // namespace

TEST(ConstructionTest, ValueConversionFailuresNameNodePropertyAndText) {
    TestNodeMap map;
    auto& n = map.Add<CNodeImpl>("Node");
    auto& reg = map.Add<CIntReg>("Reg");
    auto& masked = map.Add<CMaskedIntReg>("Field");
    auto& ctrl = map.Add<CDcamAccessCtrlReg>("Ctrl");
    n.SetNodeMap(&map, "Node");
    reg.SetNodeMap(&map, "Reg");
    masked.SetNodeMap(&map, "Field");
    ctrl.SetNodeMap(&map, "Ctrl");
    const struct {
        INodeConstruct* node;
        const char* property;
        const char* value;
        const char* message;
    } cases[] = {
        {&n, "Cachable", "yes", "Node : property 'Cachable' : cannot convert value 'yes'"},
        {&n, "Cachable", "2", "Node : property 'Cachable' : cannot convert value '2'"},
        {&n, "Visibility", "expert",
         "Node : property 'Visibility' : cannot convert value 'expert'"},
        {&reg, "Address", "&h", "Reg : property 'Address' : cannot convert value '&h'"},
        {&reg, "Sign", "signed", "Reg : property 'Sign' : cannot convert value 'signed'"},
        {&reg, "AccessMode", "R/W", "Reg : property 'AccessMode' : cannot convert value 'R/W'"},
        {&masked, "LSB", "-1", "Field : property 'LSB' : cannot convert value '-1'"},
        {&ctrl, "Timeout", "70000", "Ctrl : property 'Timeout' : cannot convert value '70000'"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.message, PropertyError(*c.node, c.property, c.value)) << c.property;

    // Accepted forms.
    for (const char* v : {"true", "false", "0", "1"})
        EXPECT_TRUE(n.SetProperty("Cachable", v)) << v;
    EXPECT_TRUE(ctrl.SetProperty("Timeout", "65535"));
}

TEST(ConstructionTest, ListPropertiesAccumulateAndSingleOnesOverwrite) {
    TestNodeMap map;
    MemoryPort port(0, 0x10000);
    map.AddExternal(port, "Port");
    map.Add<TestInteger>("Base", {{"Value", "0x4000"}});
    map.Add<TestInteger>("Offset", {{"Value", "0x10"}});
    auto& reg = map.Add<CRegister>("Reg", {{"pPort", "Port"},
                                           {"Address", "0x100"},
                                           {"Address", "0x20"},
                                           {"pAddress", "Base"},
                                           {"pAddress", "Offset"},
                                           {"Length", "8"},
                                           {"Length", "4"},
                                           {"AccessMode", "RW"}});
    map.Build();
    EXPECT_EQ(0x4130, reg.GetAddress());
    EXPECT_EQ(4, reg.GetLength());
}

TEST(ConstructionTest, LinksResolveAtOnceAndNeedTheirInterface) {
    TestNodeMap map;
    auto& reg = map.Add<CIntReg>("Reg");
    auto& str = map.Add<CStringRegister>("Str");
    auto& plain = map.Add<CNodeImpl>("Plain");
    auto& category = map.Add<TestCategory>("Cat");
    auto& number = map.Add<TestInteger>("Number");
    reg.SetNodeMap(&map, "Reg");
    str.SetNodeMap(&map, "Str");
    plain.SetNodeMap(&map, "Plain");

    // "Number" is entered only later: the link fails at once.
    EXPECT_EQ("Plain : property 'pIsPresent' : node 'Number' does not exist",
              PropertyError(plain, "pIsPresent", "Number"));
    EXPECT_EQ("Reg : property 'pInvalidator' : node 'Later' does not exist",
              PropertyError(reg, "pInvalidator", "Later"));
    number.SetNodeMap(&map, "Number");
    EXPECT_EQ("<accepted>", PropertyError(plain, "pIsPresent", "Number"));

    category.SetNodeMap(&map, "Cat");
    EXPECT_EQ("Plain : property 'pIsPresent' : node 'Cat' has no interface 'IInteger'",
              PropertyError(plain, "pIsPresent", "Cat"));
    EXPECT_EQ("Plain : property 'pIsEnabled' : node 'Cat' has no interface 'IInteger'",
              PropertyError(plain, "pIsEnabled", "Cat"));
    EXPECT_EQ("Reg : property 'pPort' : node 'Cat' has no interface 'IPort'",
              PropertyError(reg, "pPort", "Cat"));
    EXPECT_EQ("Reg : property list element 'pAddress' : node 'Cat' has no interface 'IInteger'",
              PropertyError(reg, "pAddress", "Cat"));
    EXPECT_EQ("Str : property 'pLength' : node 'Cat' has no interface 'IInteger'",
              PropertyError(str, "pLength", "Cat"));
    // Only the successful link became a child.
    NodeList_t children;
    plain.GetChildren(children);
    EXPECT_EQ((NodeList_t{&number}), children);
    // The failed single link cleared the stored is-present node, so "Number"
    // reading 0 no longer makes the node NP.
    number.SetValue(0);
    EXPECT_EQ(RO, plain.GetAccessMode());
    // Any node will do as an invalidator.
    EXPECT_TRUE(reg.SetProperty("pInvalidator", "Cat"));
}

TEST(ConstructionTest, UnknownPropertyWritesOneWarningPerClassLevel) {
    TestNodeMap fresh;
    const struct {
        INodeConstruct* node;
        int lines;
    } cases[] = {
        {&fresh.Add<CNodeImpl>("Plain"), 1},      {&fresh.Add<CPort>("APort"), 1},
        {&fresh.Add<CRegister>("Reg"), 2},        {&fresh.Add<CIntReg>("Int"), 3},
        {&fresh.Add<CMaskedIntReg>("Masked"), 4}, {&fresh.Add<CFltReg>("Flt"), 3},
        {&fresh.Add<CStringRegister>("Str"), 3},  {&fresh.Add<CDcamAccessCtrlReg>("Ctrl"), 3},
    };
    for (const auto& c : cases) {
        c.node->SetNodeMap(&fresh, "N");
        std::string text;
        auto result = WarningLines(*c.node, "Colour", "blue", &text);
        EXPECT_EQ(c.lines, result.first) << text;
        EXPECT_FALSE(result.second);
    }
    std::string text;
    auto& masked = fresh.Add<CMaskedIntReg>("M2");
    masked.SetNodeMap(&fresh, "M2");
    WarningLines(masked, "Colour", "blue", &text);
    const std::string line = "WARNING - node 'M2' : cannot handle property 'Colour' = 'blue'\n";
    EXPECT_EQ(line + line + line + line, text);

    // The line is cut to 255 characters.
    auto& longValue = fresh.Add<CNodeImpl>("L");
    longValue.SetNodeMap(&fresh, "L");
    WarningLines(longValue, "P", std::string(400, 'v'), &text);
    EXPECT_EQ(255u, text.size());
}

TEST(ClassRegistryTest, StartupRegistrationsInTheirOrder) {
    const StringList_t startup = GetStartupNodeClasses();
    EXPECT_EQ((StringList_t{"CRegister", "CFltReg", "CCategory", "CPort", "CTxtKey",
                            "CStringRegister", "CSmartFeature", "CBoolean", "CIntReg",
                            "CIntSwissKnife", "CFloat", "CMaskedIntReg", "CInteger"}),
              startup);
    // Every registered class of this build, in the start-up order.
    StringList_t registered = GetRegisteredNodeClasses();
    ASSERT_GE(registered.size(), 6u);
    StringList_t expectedPrefix;
    for (const std::string& name : startup) {
        if (std::find(registered.begin(), registered.end(), name) != registered.end())
            expectedPrefix.push_back(name);
    }
    EXPECT_EQ(expectedPrefix,
              StringList_t(registered.begin(), registered.begin() + expectedPrefix.size()));
    for (const char* name :
         {"CRegister", "CFltReg", "CPort", "CStringRegister", "CIntReg", "CMaskedIntReg"}) {
        std::unique_ptr<INodeConstruct> node = CreateNode(name);
        ASSERT_NE(nullptr, node) << name;
    }
    EXPECT_NE(nullptr, dynamic_cast<CMaskedIntReg*>(CreateNode("CMaskedIntReg").get()));
    for (const char* name : {"CDcamAccessCtrlReg", "CEnumEntry", "CSwissKnife", "Nothing"})
        EXPECT_EQ(nullptr, CreateNode(name)) << name;
}

TEST(ClassRegistryTest, SecondRegistrationKeepsTheFirstFactory) {
    EXPECT_FALSE(RegisterNodeClass("CIntReg", &CreateNodeOfClass<CFltReg>));
    EXPECT_NE(nullptr, dynamic_cast<CIntReg*>(CreateNode("CIntReg").get()));
    // A factory answers only for its own class name.
    EXPECT_EQ(nullptr, CreateNodeOfClass<CIntReg>("CFltReg"));
    EXPECT_TRUE(RegisterNodeClass("CTestOnlyClass", &CreateNodeOfClass<CIntReg>));
    EXPECT_EQ(nullptr, CreateNode("CTestOnlyClass")); // the factory refuses a foreign name
}
