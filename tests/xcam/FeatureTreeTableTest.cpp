// Cross-checks of the feature tree table: counts, names, links, the property
// vocabulary of each class, value forms, and rows taken from the camera's
// feature description.
#include "xcam/FeatureTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

using namespace XCamInterface;

namespace {

using Props = std::vector<std::pair<std::string, std::string>>;

struct Table {
    std::vector<FeatureNodeRow> nodes;
    std::vector<FeaturePropertyRow> props;
    std::map<std::string, std::size_t> index; // node name -> node row

    Table() {
        std::size_t n = 0;
        const FeatureNodeRow* nr = FeatureNodes(&n);
        nodes.assign(nr, nr + n);
        std::size_t m = 0;
        const FeaturePropertyRow* pr = FeatureProperties(&m);
        props.assign(pr, pr + m);
        for (std::size_t i = 0; i < nodes.size(); ++i)
            index.emplace(nodes[i].name, i);
    }

    bool Has(const std::string& name) const { return index.count(name) != 0; }

    std::string ClassOf(const std::string& name) const {
        auto it = index.find(name);
        return it == index.end() ? std::string() : nodes[it->second].className;
    }

    Props Of(const std::string& name) const {
        Props out;
        auto it = index.find(name);
        if (it == index.end())
            return out;
        const FeatureNodeRow& row = nodes[it->second];
        for (std::size_t i = 0; i < row.propertyCount; ++i) {
            const FeaturePropertyRow& p = props[row.firstProperty + i];
            out.emplace_back(p.name, p.value);
        }
        return out;
    }

    // Every value of one property of a node, in order.
    std::vector<std::string> Values(const std::string& node, const std::string& prop) const {
        std::vector<std::string> out;
        for (const auto& p : Of(node))
            if (p.first == prop)
                out.push_back(p.second);
        return out;
    }
};

const Table& T() {
    static const Table table;
    return table;
}

bool IsEnumeration(const std::string& cls) {
    return cls.rfind("CEnumeration_", 0) == 0;
}

// The names each class takes, its own and those of its bases.
std::set<std::string> Vocabulary(const std::string& cls) {
    const std::set<std::string> node = {"Visibility", "ToolTip",    "DisplayName",
                                        "pIsPresent", "pIsEnabled", "Cachable"};
    const std::set<std::string> reg = {"Address",    "Length",       "pPort",
                                       "AccessMode", "pInvalidator", "pAddress"};
    std::map<std::string, std::set<std::string>> own = {
        {"CCategory", {"pFeature", "pCategory"}},
        {"CEnumEntry", {"Value", "Symbolic"}},
        {"CEnumeration", {"pEnumEntry", "pValue", "Value"}},
        {"CRegister", reg},
        {"CIntReg", {"Sign", "Endianess", "Representation"}},
        {"CMaskedIntReg", {"LSB", "MSB"}},
        {"CFltReg", {"Endianess", "Representation"}},
        {"CStringRegister", {"pLength"}},
        {"CDcamAccessCtrlReg", {"FeatureID", "Timeout"}},
        {"CBoolean", {"pValue", "Value", "OnValue", "OffValue"}},
        {"CFloat",
         {"pValue", "pMin", "pMax", "pInc", "Value", "Min", "Max", "Inc", "Representation"}},
        {"CInteger",
         {"pValue", "pMin", "pMax", "pInc", "pToPhysical", "pFromPhysical", "Unit", "Value", "Min",
          "Max", "Inc", "Representation"}},
        {"CSwissKnife", {"Formula", "Input", "pVariable", "Representation"}},
        {"CIntSwissKnife", {"Formula", "pVariable", "Representation"}},
        {"CIEEE1212Parser", {"Unit"}},
        {"CTxtKey", {"p1212Parser", "Key"}},
        {"CSmartFeature", {"FeatureID"}},
        {"CPort", {}},
    };
    std::map<std::string, std::string> base = {
        {"CIntReg", "CRegister"},
        {"CMaskedIntReg", "CIntReg"},
        {"CFltReg", "CRegister"},
        {"CStringRegister", "CRegister"},
        {"CDcamAccessCtrlReg", "CRegister"},
        {"CIEEE1212Parser", "CRegister"},
        {"CSmartFeature", "CRegister"},
    };
    std::set<std::string> out = node;
    std::string c = IsEnumeration(cls) ? "CEnumeration" : cls;
    while (!c.empty()) {
        auto it = own.find(c);
        if (it == own.end())
            return {}; // unknown class: takes nothing, every row fails
        out.insert(it->second.begin(), it->second.end());
        auto b = base.find(c);
        c = b == base.end() ? std::string() : b->second;
    }
    return out;
}

// Classes offering the interfaces that links require.
bool OffersInteger(const std::string& cls) {
    static const std::set<std::string> s = {"CIntReg",  "CMaskedIntReg",  "CDcamAccessCtrlReg",
                                            "CInteger", "CIntSwissKnife", "CSmartFeature"};
    return s.count(cls) != 0;
}
bool OffersFloat(const std::string& cls) {
    return cls == "CFltReg" || cls == "CFloat" || cls == "CSwissKnife";
}

// The int64 text rule of the construction protocol: hexadecimal after "0x",
// "0X", "&h", "&H" (more than two characters), decimal otherwise; trailing
// text is ignored, leading blanks skipped.
bool ParsesAsInt64(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    std::string s = text.substr(i);
    int base = 10;
    if (s.size() > 2 && (s.compare(0, 2, "0x") == 0 || s.compare(0, 2, "0X") == 0 ||
                         s.compare(0, 2, "&h") == 0 || s.compare(0, 2, "&H") == 0)) {
        s = s.substr(2);
        base = 16;
    }
    if (s.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    std::strtoll(s.c_str(), &end, base);
    return end != s.c_str() && errno == 0;
}

bool IsList(const std::string& prop) {
    return prop == "pFeature" || prop == "pCategory" || prop == "pEnumEntry" ||
           prop == "pVariable" || prop == "pInvalidator" || prop == "Address" || prop == "pAddress";
}

bool IsRegisterClass(const std::string& cls) {
    return cls == "CIntReg" || cls == "CMaskedIntReg" || cls == "CFltReg" ||
           cls == "CStringRegister" || cls == "CDcamAccessCtrlReg";
}

} // namespace

TEST(FeatureTreeTableTest, NodeAndPropertyRowsLineUp) {
    const Table& t = T();
    ASSERT_EQ(t.nodes.size(), 466u);
    ASSERT_EQ(t.nodes.size(), kFeatureNodeCount);
    EXPECT_STREQ(t.nodes.front().name, "Root");
    EXPECT_STREQ(t.nodes[t.nodes.size() - 2].name, "GrabberPort");
    EXPECT_STREQ(t.nodes.back().name, "CameraPort");
    std::size_t count = 0;
    EXPECT_NE(FeatureNodes(nullptr), nullptr);
    EXPECT_EQ(FeatureNodes(nullptr), FeatureNodes(&count));
    EXPECT_EQ(FeatureProperties(nullptr), FeatureProperties(&count));
    EXPECT_EQ(count, t.props.size());

    // Property rows are grouped by node in node order, with no gap and no
    // row left over, and every node carries a tool tip first.
    std::size_t next = 0;
    for (const FeatureNodeRow& n : t.nodes) {
        ASSERT_EQ(n.firstProperty, next) << n.name;
        ASSERT_GE(n.propertyCount, 1u) << n.name;
        for (std::size_t i = 0; i < n.propertyCount; ++i)
            ASSERT_STREQ(t.props[n.firstProperty + i].node, n.name);
        EXPECT_STREQ(t.props[n.firstProperty].name, "ToolTip") << n.name;
        EXPECT_STRNE(t.props[n.firstProperty].value, "") << n.name;
        next += n.propertyCount;
    }
    EXPECT_EQ(next, t.props.size());

    std::set<std::string> names;
    for (const FeatureNodeRow& n : t.nodes)
        EXPECT_TRUE(names.insert(n.name).second) << "duplicate " << n.name;
    for (const FeaturePropertyRow& p : t.props)
        EXPECT_TRUE(t.Has(p.node)) << p.node;
}

TEST(FeatureTreeTableTest, ClassCounts) {
    std::map<std::string, int> counts;
    std::set<std::string> enumClasses;
    for (const FeatureNodeRow& n : T().nodes) {
        if (IsEnumeration(n.className)) {
            EXPECT_EQ(std::string(n.className), "CEnumeration_" + std::string(n.name) + "Enums");
            enumClasses.insert(n.className);
            ++counts["enumeration"];
        } else {
            ++counts[n.className];
        }
    }
    const std::map<std::string, int> expected = {
        {"CMaskedIntReg", 219}, {"CEnumEntry", 89},
        {"CInteger", 32},       {"CIntSwissKnife", 29},
        {"enumeration", 22},    {"CBoolean", 21},
        {"CIntReg", 14},        {"CCategory", 12},
        {"CSwissKnife", 8},     {"CSmartFeature", 6},
        {"CFltReg", 5},         {"CFloat", 2},
        {"CTxtKey", 2},         {"CPort", 2},
        {"CStringRegister", 1}, {"CDcamAccessCtrlReg", 1},
        {"CIEEE1212Parser", 1},
    };
    EXPECT_EQ(counts, expected);
    EXPECT_EQ(enumClasses.size(), 22u);
}

TEST(FeatureTreeTableTest, EveryPropertyIsTakenByItsClassAndSetOnceUnlessAList) {
    for (const FeatureNodeRow& n : T().nodes) {
        const std::set<std::string> vocab = Vocabulary(n.className);
        std::map<std::string, int> seen;
        for (const auto& p : T().Of(n.name)) {
            EXPECT_TRUE(vocab.count(p.first))
                << n.name << " (" << n.className << ") cannot take " << p.first;
            if (!IsList(p.first)) {
                EXPECT_EQ(++seen[p.first], 1) << n.name << " sets " << p.first << " twice";
            }
        }
    }
}

TEST(FeatureTreeTableTest, EveryLinkResolvesToANodeOffering_TheRequiredInterface) {
    const Table& t = T();
    int links = 0;
    std::set<std::string> selfLinks;
    for (const FeaturePropertyRow& p : t.props) {
        const std::string name = p.name;
        if (name.empty() || name[0] != 'p')
            continue;
        ++links;
        const std::string owner = t.ClassOf(p.node);
        std::string target = p.value;
        if (name == "pVariable") {
            const std::string v = p.value;
            const auto eq = v.find('=');
            ASSERT_NE(eq, std::string::npos) << p.node << " " << v;
            const std::string var = v.substr(0, eq);
            target = v.substr(eq + 1);
            EXPECT_FALSE(var.empty()) << p.node;
            // The evaluator folds identifiers to upper case before the lookup.
            for (char c : var)
                EXPECT_TRUE(std::isupper(static_cast<unsigned char>(c))) << p.node << " " << v;
        }
        ASSERT_TRUE(t.Has(target)) << p.node << " " << name << " -> " << target;
        const std::string cls = t.ClassOf(target);
        if (target == p.node)
            selfLinks.insert(target + " " + name);

        // The interface the receiving class requires of the linked node.
        bool ok = true;
        if (name == "pIsPresent" || name == "pIsEnabled" || name == "pAddress" ||
            name == "pLength" || (name == "pValue" && owner != "CFloat") ||
            ((name == "pMin" || name == "pMax" || name == "pInc") && owner == "CInteger") ||
            (name == "pVariable" && owner == "CIntSwissKnife"))
            ok = OffersInteger(cls);
        else if (owner == "CFloat")
            ok = OffersFloat(cls);
        else if (name == "pVariable")
            ok = OffersInteger(cls) || OffersFloat(cls);
        else if (name == "pPort")
            ok = cls == "CPort";
        else if (name == "pEnumEntry")
            ok = cls == "CEnumEntry";
        else if (name == "p1212Parser")
            ok = cls == "CIEEE1212Parser";
        EXPECT_TRUE(ok) << p.node << " " << name << " -> " << target << " (" << cls << ")";
    }
    EXPECT_GT(links, 1000);
    // The bytes-per-packet register lists itself among its invalidators; the
    // dependants walk stops at the repeated node, so this is no cycle error.
    EXPECT_EQ(selfLinks, std::set<std::string>{"BytesPerPacketValueReg pInvalidator"});
}

TEST(FeatureTreeTableTest, ValueTextsConvert) {
    const std::set<std::string> access = {"RW", "RO", "WO", "NP", "NE"};
    const std::set<std::string> repr = {"Linear", "Logarithmic", "Boolean"};
    const std::set<std::string> numeric = {"Address", "Length", "Value", "Min",    "Max",
                                           "Inc",     "Unit",   "Key",   "Timeout"};
    for (const FeaturePropertyRow& p : T().props) {
        const std::string name = p.name, value = p.value, cls = T().ClassOf(p.node);
        SCOPED_TRACE(std::string(p.node) + " " + name + " = '" + value + "'");
        bool ok = true;
        if (name == "AccessMode")
            ok = access.count(value) != 0;
        else if (name == "Representation")
            ok = repr.count(value) != 0;
        else if (name == "Sign")
            ok = value == "Signed" || value == "Unsigned";
        else if (name == "Endianess")
            ok = value == "BigEndian" || value == "LittleEndian";
        else if (name == "Cachable")
            ok = value == "true" || value == "false";
        else if (name == "FeatureID" && cls == "CDcamAccessCtrlReg")
            ok = ParsesAsInt64(value);
        else if (numeric.count(name))
            ok = ParsesAsInt64(value);
        EXPECT_TRUE(ok);
    }
}

TEST(FeatureTreeTableTest, RegistersCarryTheRegisterDefaultsOnce) {
    const Table& t = T();
    for (const FeatureNodeRow& n : t.nodes) {
        const std::string cls = n.className;
        if (!IsRegisterClass(cls))
            continue;
        SCOPED_TRACE(n.name);
        EXPECT_EQ(t.Values(n.name, "AccessMode").size(), 1u);
        EXPECT_EQ(t.Values(n.name, "pPort").size(), 1u);
        EXPECT_EQ(t.Values(n.name, "Length").size(), 1u);
        EXPECT_FALSE(t.Values(n.name, "pAddress").empty() && t.Values(n.name, "Address").empty());
        if (cls == "CIntReg" || cls == "CMaskedIntReg") {
            EXPECT_EQ(t.Values(n.name, "Sign").size(), 1u);
            EXPECT_EQ(t.Values(n.name, "Endianess"), std::vector<std::string>{"BigEndian"});
        }
        if (cls == "CMaskedIntReg") {
            const auto lsb = t.Values(n.name, "LSB"), msb = t.Values(n.name, "MSB");
            ASSERT_EQ(lsb.size(), 1u);
            ASSERT_EQ(msb.size(), 1u);
            const long l = std::stol(lsb[0]), m = std::stol(msb[0]);
            const long bits = 8 * std::stol(t.Values(n.name, "Length")[0]);
            EXPECT_LE(0, l);
            EXPECT_LE(l, m);
            EXPECT_LT(m, bits);
        }
        const std::string port = t.Values(n.name, "pPort")[0];
        EXPECT_EQ(port, std::string(n.name) == "IsNotGrabbing" ? "GrabberPort" : "CameraPort");
    }
    // Only the grabbing flag lives on the grabber side.
    EXPECT_EQ(t.Values("IsNotGrabbing", "Length"), std::vector<std::string>{"1"});
    EXPECT_EQ(t.Values("TotalBytesReg", "Length"), std::vector<std::string>{"8"});
    EXPECT_EQ(t.Values("AdvFeatureLock", "Length"), std::vector<std::string>{"8"});
    EXPECT_EQ(t.Values("VFormat7ModeCsrQuadOffset", "Sign"), std::vector<std::string>{"Signed"});
    EXPECT_EQ(t.Values("VFormat7Inq", "Sign"), std::vector<std::string>{"Signed"});
    // A smart feature's length is fixed by its class; none is given.
    for (const char* sf : {"aTestImage", "aExtVerInfo", "aStrobeBase", "aTriggerCounter",
                           "aStartupMemCh", "aShutterBase"}) {
        EXPECT_EQ(t.ClassOf(sf), "CSmartFeature");
        EXPECT_TRUE(t.Values(sf, "Length").empty()) << sf;
        EXPECT_EQ(t.Values(sf, "pAddress"), std::vector<std::string>{"aAdvancedFeatureCSR"});
        EXPECT_EQ(t.Values(sf, "Address"), std::vector<std::string>{"0x10"});
        EXPECT_EQ(t.Values(sf, "pPort"), std::vector<std::string>{"CameraPort"});
    }
}

TEST(FeatureTreeTableTest, EnumerationsAndTheirEntries) {
    const Table& t = T();
    // Every enumerated feature with its value node and entries, Symbolic = Value.
    const struct {
        const char* feature;
        const char* pValue;
        std::vector<std::pair<std::string, std::string>> entries;
    } enums[] = {
        {"ColorCoding",
         "VFormat7ColorCodingReg",
         {{"Mono8", "0"},
          {"YUV8_4_1_1", "1"},
          {"YUV8_4_2_2", "2"},
          {"YUV8_4_4_4", "3"},
          {"RGB8", "4"},
          {"Mono16", "5"},
          {"RGB16", "6"},
          {"SMono16", "7"},
          {"SRGB16", "8"},
          {"Raw8", "9"},
          {"Raw16", "10"},
          {"VendorSpecific0", "128"},
          {"VendorSpecific1", "129"},
          {"VendorSpecific2", "130"},
          {"VendorSpecific3", "131"},
          {"VendorSpecific4", "132"},
          {"VendorSpecific5", "133"},
          {"VendorSpecific6", "134"}}},
        {"TriggerMode",
         "TriggerModeReg",
         {{"TriggerMode0", "0"},
          {"TriggerMode1", "1"},
          {"TriggerMode2", "2"},
          {"TriggerMode3", "3"}}},
        {"TriggerPolarity", "TriggerPolarityReg", {{"LowActive", "0"}, {"HighActive", "1"}}},
        {"TriggerSource",
         "TriggerSrcReg",
         {{"ExTrigPort0", "0"},
          {"ExTrigPort1", "1"},
          {"ExTrigPort2", "2"},
          {"ExTrigPort3", "3"},
          {"SoftTrig", "7"}}},
        {"TestImage",
         "TestImageFao",
         {{"Disabled", "0"},
          {"TestImage1", "1"},
          {"TestImage2", "2"},
          {"TestImage3", "3"},
          {"TestImage4", "4"},
          {"TestImage5", "5"},
          {"TestImage6", "6"},
          {"TestImage7", "7"}}},
        {"PioOut0Src",
         "PioOut0SrcFao",
         {{"IntegrationEnable", "0"},
          {"ReadyforTrigger", "1"},
          {"SerialTx", "2"},
          {"UserSet", "3"},
          {"Strobe0", "4"}}},
        {"PioOut0Monitor", "PioOut0MonitorFao", {{"Low", "0"}, {"High", "1"}}},
        {"PioOut0Setting", "PioOut0UserSetFao", {{"Low", "0"}, {"High", "1"}}},
        {"PioOut1Src",
         "PioOut1SrcFao",
         {{"IntegrationEnable", "0"},
          {"ReadyforTrigger", "1"},
          {"SerialTx", "2"},
          {"UserSet", "3"},
          {"Strobe1", "4"}}},
        {"PioOut1Monitor", "PioOut1MonitorFao", {{"Low", "0"}, {"High", "1"}}},
        {"PioOut1Setting", "PioOut1UserSetFao", {{"Low", "0"}, {"High", "1"}}},
        {"PioOut2Src",
         "PioOut2SrcFao",
         {{"IntegrationEnable", "0"},
          {"ReadyforTrigger", "1"},
          {"SerialTx", "2"},
          {"UserSet", "3"},
          {"Strobe2", "4"}}},
        {"PioOut2Monitor", "PioOut2MonitorFao", {{"Low", "0"}, {"High", "1"}}},
        {"PioOut2Setting", "PioOut2UserSetFao", {{"Low", "0"}, {"High", "1"}}},
        {"PioOut3Src",
         "PioOut3SrcFao",
         {{"IntegrationEnable", "0"},
          {"ReadyforTrigger", "1"},
          {"SerialTx", "2"},
          {"UserSet", "3"},
          {"Strobe3", "4"}}},
        {"PioOut3Monitor", "PioOut3MonitorFao", {{"Low", "0"}, {"High", "1"}}},
        {"PioOut3Setting", "PioOut3UserSetFao", {{"Low", "0"}, {"High", "1"}}},
        {"Strobe0Polarity",
         "Strobe0PolarityFao",
         {{"LowActiveOutput", "0"}, {"HighActiveOutput", "1"}}},
        {"Strobe1Polarity",
         "Strobe1PolarityFao",
         {{"LowActiveOutput", "0"}, {"HighActiveOutput", "1"}}},
        {"Strobe2Polarity",
         "Strobe2PolarityFao",
         {{"LowActiveOutput", "0"}, {"HighActiveOutput", "1"}}},
        {"Strobe3Polarity",
         "Strobe3PolarityFao",
         {{"LowActiveOutput", "0"}, {"HighActiveOutput", "1"}}},
        {"VideoMode",
         "CurVModeReg",
         {{"VideoMode0", "0"},
          {"VideoMode1", "1"},
          {"VideoMode2", "2"},
          {"VideoMode3", "3"},
          {"VideoMode4", "4"},
          {"VideoMode5", "5"},
          {"VideoMode6", "6"},
          {"VideoMode7", "7"}}},
    };
    std::set<std::string> listed;
    std::size_t entryCount = 0;
    for (const auto& e : enums) {
        SCOPED_TRACE(e.feature);
        EXPECT_EQ(t.ClassOf(e.feature), std::string("CEnumeration_") + e.feature + "Enums");
        EXPECT_EQ(t.Values(e.feature, "pValue"), std::vector<std::string>{e.pValue});
        const auto linked = t.Values(e.feature, "pEnumEntry");
        ASSERT_EQ(linked.size(), e.entries.size());
        for (std::size_t i = 0; i < linked.size(); ++i) {
            const std::string name =
                std::string("EnumEntry_") + e.feature + "_" + e.entries[i].first;
            EXPECT_EQ(linked[i], name);
            EXPECT_EQ(t.ClassOf(name), "CEnumEntry");
            EXPECT_EQ(t.Values(name, "Symbolic"), std::vector<std::string>{e.entries[i].first});
            EXPECT_EQ(t.Values(name, "Value"), std::vector<std::string>{e.entries[i].second});
            EXPECT_TRUE(listed.insert(name).second) << name << " listed twice";
        }
        entryCount += linked.size();
    }
    EXPECT_EQ(entryCount, 89u);
    // No entry node outside the enumerations' lists.
    for (const FeatureNodeRow& n : t.nodes)
        if (std::string(n.className) == "CEnumEntry") {
            EXPECT_TRUE(listed.count(n.name)) << n.name;
        }

    // Entry conditions as the camera's inquiry bits give them.
    EXPECT_EQ(t.Values("EnumEntry_ColorCoding_Raw8", "pIsEnabled"),
              std::vector<std::string>{"VFormat7Color9InqReg"});
    EXPECT_EQ(t.Values("EnumEntry_ColorCoding_VendorSpecific6", "pIsEnabled"),
              std::vector<std::string>{"VFormat7Color134InqReg"});
    EXPECT_EQ(t.Values("EnumEntry_TriggerSource_SoftTrig", "pIsPresent"),
              std::vector<std::string>{"TriggerSrc7InqFao"});
    EXPECT_TRUE(t.Of("EnumEntry_TestImage_Disabled").size() == 3u); // tool tip, Symbolic, Value
    EXPECT_EQ(t.Of("TriggerMode"), (Props{{"ToolTip", "Trigger Mode"},
                                          {"pValue", "TriggerModeReg"},
                                          {"pEnumEntry", "EnumEntry_TriggerMode_TriggerMode0"},
                                          {"pEnumEntry", "EnumEntry_TriggerMode_TriggerMode1"},
                                          {"pEnumEntry", "EnumEntry_TriggerMode_TriggerMode2"},
                                          {"pEnumEntry", "EnumEntry_TriggerMode_TriggerMode3"},
                                          {"pIsPresent", "TriggerModeEnumPresenceInqFao"},
                                          {"pIsEnabled", "TriggerModeEnabledInqFao"},
                                          {"DisplayName", "Trigger Mode"}}));
}

TEST(FeatureTreeTableTest, FormulasBindTheirVariablesOnceEach) {
    const Table& t = T();
    int formulas = 0;
    for (const FeatureNodeRow& n : t.nodes) {
        const std::string cls = n.className;
        if (cls != "CSwissKnife" && cls != "CIntSwissKnife")
            continue;
        ++formulas;
        SCOPED_TRACE(n.name);
        const auto f = t.Values(n.name, "Formula");
        ASSERT_EQ(f.size(), 1u);
        std::string upper = f[0];
        std::transform(upper.begin(), upper.end(), upper.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        std::set<std::string> vars;
        for (const auto& b : t.Values(n.name, "pVariable")) {
            const std::string var = b.substr(0, b.find('='));
            EXPECT_TRUE(vars.insert(var).second) << "second binding of " << var;
        }
        // Every bound variable but the documented unused high quadlet appears
        // in the formula.
        for (const auto& v : vars)
            if (!(std::string(n.name) == "TotalBytesExpr" && v == "HIQUAD")) {
                EXPECT_NE(upper.find(v), std::string::npos) << v;
            }
    }
    EXPECT_EQ(formulas, 29 + 8);

    EXPECT_EQ(
        t.Of("TriggerPolarityPresenceInqFao"),
        (Props{{"ToolTip", "((MASKEDREG & 0x8E) = 0x8E) && (FREG = 1) with "
                           "FREG=TriggerPresenceInqReg, MASKEDREG=TriggerPolarityPresenceInqReg"},
               {"pVariable", "FREG=TriggerPresenceInqReg"},
               {"pVariable", "MASKEDREG=TriggerPolarityPresenceInqReg"},
               {"Formula", "((MASKEDREG & 0x8E) = 0x8E) && (FREG = 1) "}}));
    EXPECT_EQ(t.Values("TotalBytesExpr", "pVariable"),
              (std::vector<std::string>{"HIQUAD=TotalBytesHiReg", "LOQUAD=TotalBytesLoReg"}));
    EXPECT_EQ(t.Values("TotalBytesExpr", "Formula"), std::vector<std::string>{"LOQUAD"});
    EXPECT_EQ(t.Values("AoiPosXMaxFao", "Formula"), std::vector<std::string>{"MaxWidth-CurWidth"});
    EXPECT_EQ(t.Values("Strobe0Duration_s", "pVariable"),
              (std::vector<std::string>{"BASE=StrobeDurationTimeBase", "VALUE=Strobe0Duration"}));
    EXPECT_EQ(t.Values("Strobe0Duration_s", "Formula"),
              std::vector<std::string>{"BASE*VALUE/1024.0"});
    EXPECT_EQ(t.ClassOf("Strobe0Duration_s"), "CSwissKnife");
    EXPECT_EQ(t.Values("aVModeInqSel", "pVariable"),
              (std::vector<std::string>{"INDEX=CurVFormatReg", "BASE=aCommandRegBase"}));
    EXPECT_EQ(t.Values("aVModeInqSel", "Formula"), std::vector<std::string>{"INDEX*4+BASE+0x180"});
    EXPECT_EQ(t.Values("aVFormat7ModeCsrBaseSel", "Formula"),
              std::vector<std::string>{"BASE+0x2E0+4*MODE"});
    EXPECT_EQ(t.Values("aCommandRegBase", "pVariable"),
              (std::vector<std::string>{"BASE=InitialNodeSpace", "OFFSET=CommandRegBase"}));
    EXPECT_TRUE(t.Values("InitialNodeSpace", "pVariable").empty());
    EXPECT_EQ(t.Values("InitialNodeSpace", "Formula"), std::vector<std::string>{"0xFFFFF0000000"});
    EXPECT_EQ(t.Values("CommandRegBase", "Formula"), std::vector<std::string>{"0x000003C0000"});
    EXPECT_EQ(t.Values("CommandRegBase", "ToolTip"),
              std::vector<std::string>{
                  "Quadlet offset of command register block (should be read from Confrom)"});
}

TEST(FeatureTreeTableTest, RootReachesTheCategoriesAndTheTypedFeatures) {
    const Table& t = T();
    EXPECT_EQ(t.Values("Root", "pFeature"),
              (std::vector<std::string>{"Control", "Video", "AOI", "DCAM", "ExternalTrigger",
                                        "SmartFeatures", "DigitalIO", "Strobe", "StrobeBase",
                                        "Info", "MemoryChannel", "AdvFeature"}));
    EXPECT_EQ(t.Values("Root", "ToolTip"), std::vector<std::string>{"eXite camera"});
    EXPECT_TRUE(t.Values("Root", "DisplayName").empty());
    EXPECT_EQ(t.Values("AOI", "pFeature"),
              (std::vector<std::string>{"XPosition", "YPosition", "Width", "Height"}));
    EXPECT_EQ(t.Values("Video", "pFeature"),
              (std::vector<std::string>{"VideoMode", "ColorCoding", "Bandwidth", "DataDepth",
                                        "PixelNumber", "PacketNumber", "TotalBytes"}));
    EXPECT_EQ(t.Values("DigitalIO", "pIsPresent"), std::vector<std::string>{"PioFeatureInq"});
    EXPECT_EQ(t.Values("DigitalIO", "DisplayName"), std::vector<std::string>{"Digital I/O"});
    EXPECT_EQ(t.Values("SmartFeatures", "DisplayName"), std::vector<std::string>{"Smart Features"});

    // Walk the categories from Root.
    std::set<std::string> reached;
    std::vector<std::string> todo = {"Root"};
    while (!todo.empty()) {
        const std::string n = todo.back();
        todo.pop_back();
        if (!reached.insert(n).second)
            continue;
        if (t.ClassOf(n) == "CCategory")
            for (const auto& f : t.Values(n, "pFeature"))
                todo.push_back(f);
    }
    int categories = 0;
    for (const FeatureNodeRow& n : t.nodes)
        if (std::string(n.className) == "CCategory") {
            ++categories;
            EXPECT_TRUE(reached.count(n.name)) << n.name;
        }
    EXPECT_EQ(categories, 12);

    // The 89 features the typed camera interface binds, with their classes;
    // all of them are reachable from Root.
    const std::vector<std::pair<const char*, const char*>> typed = {
        {"AdvFeature", "CInteger"},
        {"OneShot", "CBoolean"},
        {"ContinuousShot", "CBoolean"},
        {"ErrorFlag1", "CMaskedIntReg"},
        {"ErrorFlag2", "CMaskedIntReg"},
        {"ErrorShutter", "CBoolean"},
        {"ErrorGain", "CBoolean"},
        {"ErrorBrightness", "CBoolean"},
        {"ErrorTrigger", "CBoolean"},
        {"ErrorWhiteBalance", "CBoolean"},
        {"FrameInterval", "CFloat"},
        {"XPosition", "CInteger"},
        {"YPosition", "CInteger"},
        {"Width", "CInteger"},
        {"Height", "CInteger"},
        {"Shutter", "CInteger"},
        {"Brightness", "CInteger"},
        {"Gain", "CInteger"},
        {"WhiteBalanceUB", "CInteger"},
        {"WhiteBalanceVR", "CInteger"},
        {"TriggerEnable", "CBoolean"},
        {"TriggerMode", nullptr},
        {"TriggerPolarity", nullptr},
        {"TriggerSource", nullptr},
        {"SoftwareTrigger", "CBoolean"},
        {"TriggerFlag", "CBoolean"},
        {"TriggerCounter", "CInteger"},
        {"TestImage", nullptr},
        {"ShutterTimeBaseEnable", "CBoolean"},
        {"ShutterTimeBase", "CFloat"},
        {"ExtVerInfo", "CStringRegister"},
        {"PioOutput", "CMaskedIntReg"},
        {"PioInput", "CMaskedIntReg"},
        {"PioOut0Src", nullptr},
        {"PioOut0Monitor", nullptr},
        {"PioOut0Invert", "CBoolean"},
        {"PioOut0Setting", nullptr},
        {"PioOut1Src", nullptr},
        {"PioOut1Monitor", nullptr},
        {"PioOut1Invert", "CBoolean"},
        {"PioOut1Setting", nullptr},
        {"PioOut2Src", nullptr},
        {"PioOut2Monitor", nullptr},
        {"PioOut2Invert", "CBoolean"},
        {"PioOut2Setting", nullptr},
        {"PioOut3Src", nullptr},
        {"PioOut3Monitor", nullptr},
        {"PioOut3Invert", "CBoolean"},
        {"PioOut3Setting", nullptr},
        {"Strobe0Enable", "CBoolean"},
        {"Strobe0Polarity", nullptr},
        {"Strobe0Delay", "CInteger"},
        {"Strobe0Duration", "CInteger"},
        {"Strobe1Enable", "CBoolean"},
        {"Strobe1Polarity", nullptr},
        {"Strobe1Delay", "CInteger"},
        {"Strobe1Duration", "CInteger"},
        {"Strobe2Enable", "CBoolean"},
        {"Strobe2Polarity", nullptr},
        {"Strobe2Delay", "CInteger"},
        {"Strobe2Duration", "CInteger"},
        {"Strobe3Enable", "CBoolean"},
        {"Strobe3Polarity", nullptr},
        {"Strobe3Delay", "CInteger"},
        {"Strobe3Duration", "CInteger"},
        {"StrobeDurationTimeBase", "CInteger"},
        {"Strobe0Duration_s", "CSwissKnife"},
        {"Strobe1Duration_s", "CSwissKnife"},
        {"Strobe2Duration_s", "CSwissKnife"},
        {"Strobe3Duration_s", "CSwissKnife"},
        {"StrobeDelayTimeBase", "CInteger"},
        {"Strobe0Delay_s", "CSwissKnife"},
        {"Strobe1Delay_s", "CSwissKnife"},
        {"Strobe2Delay_s", "CSwissKnife"},
        {"Strobe3Delay_s", "CSwissKnife"},
        {"VideoMode", nullptr},
        {"ColorCoding", nullptr},
        {"Bandwidth", "CInteger"},
        {"DataDepth", "CInteger"},
        {"PixelNumber", "CInteger"},
        {"PacketNumber", "CInteger"},
        {"TotalBytes", "CInteger"},
        {"SaveMemory", "CBoolean"},
        {"SaveMemoryCh", "CInteger"},
        {"StartupMemoryCh", "CInteger"},
        {"VendorName", "CTxtKey"},
        {"ModelName", "CTxtKey"},
        {"CpuTemperature", "CInteger"},
        {"BoardTemperature", "CInteger"},
    };
    ASSERT_EQ(typed.size(), 89u);
    for (const auto& f : typed) {
        const std::string cls =
            f.second ? f.second : std::string("CEnumeration_") + f.first + "Enums";
        EXPECT_EQ(t.ClassOf(f.first), cls) << f.first;
        EXPECT_TRUE(reached.count(f.first)) << f.first << " not reachable from Root";
    }
    // MultiShot is a feature of the tree but of no category.
    EXPECT_EQ(t.ClassOf("MultiShot"), "CBoolean");
    EXPECT_FALSE(reached.count("MultiShot"));
}

TEST(FeatureTreeTableTest, RowsMatchTheFeatureDescription) {
    const Table& t = T();
    EXPECT_EQ(t.Of("XPosition"), (Props{{"ToolTip", "X Position"},
                                        {"pValue", "AoiPosXRegFao"},
                                        {"Min", "0"},
                                        {"pMax", "AoiPosXMaxFao"},
                                        {"pInc", "AoiPosIncCxFao"},
                                        {"Representation", "Linear"},
                                        {"pIsEnabled", "IsNotGrabbing"},
                                        {"DisplayName", " X Position"}}));
    EXPECT_EQ(t.Values("Height", "DisplayName"), std::vector<std::string>{"Height "});
    EXPECT_EQ(t.Values("Width", "pMin"), std::vector<std::string>{"AoiSizeIncCxFao"});
    EXPECT_EQ(t.Values("BoardTemperature", "DisplayName"),
              std::vector<std::string>{"Boart Temperature"});
    EXPECT_EQ(t.Values("WhiteBalanceUB", "DisplayName"),
              std::vector<std::string>{"White Balance (U/B)"});
    EXPECT_EQ(t.Values("Bandwidth", "ToolTip"),
              std::vector<std::string>{"Sets the data rate (in bytes per packet) for transferring "
                                       "captured images from the camera section to the "
                                       "processor section"});
    EXPECT_EQ(t.Values("GrabberPort", "ToolTip"),
              std::vector<std::string>{" Port giving access to the grabber. "});
    EXPECT_EQ(t.Of("CameraPort"), (Props{{"ToolTip", " Port giving access to the camera. "}}));
    EXPECT_EQ(t.Values("VFormat7ModeCsrBase", "ToolTip"),
              std::vector<std::string>{" Video Format 7 Mode CSR base address"});
    EXPECT_EQ(t.Values("AdvFeature", "ToolTip"),
              std::vector<std::string>{"Locks the advanced features"});
    EXPECT_EQ(t.Values("AdvFeatureLock", "ToolTip"),
              std::vector<std::string>{"Lock of the Advanced Featrue"});

    // Bit fields and addresses, in the order the node map sets them.
    EXPECT_EQ(t.Of("BrightnessValueFao"), (Props{{"ToolTip", "Bits 0..11 of the register at "
                                                             "0xFFFFF0F00800"},
                                                 {"Address", "0xFFFFF0F00800"},
                                                 {"LSB", "0"},
                                                 {"MSB", "11"},
                                                 {"AccessMode", "RW"},
                                                 {"Length", "4"},
                                                 {"Endianess", "BigEndian"},
                                                 {"Sign", "Unsigned"},
                                                 {"pPort", "CameraPort"}}));
    EXPECT_EQ(t.Of("BytesPerPacketValueReg"),
              (Props{{"ToolTip", "Bits 16..31 of the register at VFormat7ModeCsrBase + 0x44"},
                     {"pAddress", "VFormat7ModeCsrBase"},
                     {"Address", "0x44"},
                     {"LSB", "16"},
                     {"MSB", "31"},
                     {"AccessMode", "RW"},
                     {"Length", "4"},
                     {"Endianess", "BigEndian"},
                     {"Sign", "Unsigned"},
                     {"pPort", "CameraPort"},
                     {"pInvalidator", "VFormat7ColorCodingReg"},
                     {"pInvalidator", "BytesPerPacketValueReg"},
                     {"pIsEnabled", "IsNotGrabbing"}}));
    EXPECT_EQ(t.Of("IsNotGrabbing"), (Props{{"ToolTip", "Bit 0 of the register at 0x1"},
                                            {"Address", "0x1"},
                                            {"LSB", "0"},
                                            {"MSB", "0"},
                                            {"AccessMode", "RO"},
                                            {"Endianess", "BigEndian"},
                                            {"Sign", "Unsigned"},
                                            {"Length", "1"},
                                            {"pPort", "GrabberPort"},
                                            {"Cachable", "false"}}));
    EXPECT_EQ(t.Values("PioOut0MonitorFao", "Address"),
              (std::vector<std::string>{"0xfffff2f00190", "0x8"}));
    EXPECT_EQ(t.Values("PioOut0MonitorFao", "pInvalidator"),
              (std::vector<std::string>{"PioOut0UserSetFao", "PioOut0InvFao", "PioOutput",
                                        "PioOut0SrcFao", "Strobe0OnOffFao", "Strobe0PolarityFao",
                                        "ContinuousShotReg", "SingleShotReg"}));
    EXPECT_EQ(t.Values("TriggerCounterReg", "Address"), std::vector<std::string>{"0"});
    EXPECT_EQ(t.Values("TriggerCounterReg", "Cachable"), std::vector<std::string>{"false"});
    EXPECT_EQ(t.Values("TriggerCounterPresenceInqReg", "Cachable"),
              std::vector<std::string>{"true"});
    EXPECT_EQ(t.Values("StrobeDurationBase", "LSB"), std::vector<std::string>{"8"});
    EXPECT_EQ(t.Values("StrobeDurationBase", "MSB"), std::vector<std::string>{"16"});
    EXPECT_EQ(t.Values("CPUTemperatureReg", "Address"), std::vector<std::string>{"0xfffff2f06000"});
    EXPECT_EQ(t.ClassOf("FrameIntervalReg"), "CFltReg");
    EXPECT_TRUE(t.Values("FrameIntervalReg", "Sign").empty());
    EXPECT_EQ(t.Values("PioStrobe3InqFao", "Address"),
              (std::vector<std::string>{"0xfffff2f00300", "0x10c"}));
    EXPECT_EQ(t.Of("ExtVerInfo"), (Props{{"ToolTip", "Register at aExtVerInfo + 0x4"},
                                         {"pAddress", "aExtVerInfo"},
                                         {"Address", "0x4"},
                                         {"AccessMode", "RO"},
                                         {"Length", "4"},
                                         {"pPort", "CameraPort"},
                                         {"pLength", "ExtVerInfoLength"},
                                         {"pIsEnabled", "ExtVerInfoPresenceInqFao"}}));

    // Access control, smart features, ROM and text keys.
    EXPECT_EQ(t.Values("AdvFeatureLock", "FeatureID"), std::vector<std::string>{"0x00A5C19E2D47"});
    EXPECT_EQ(t.Values("AdvFeatureLock", "Timeout"), std::vector<std::string>{"0"});
    EXPECT_EQ(t.Values("AdvFeatureLock", "pAddress"),
              std::vector<std::string>{"aAdvancedFeatureCSR"});
    EXPECT_EQ(t.Values("aTestImage", "FeatureID"),
              std::vector<std::string>{"2A411342 - C0CA - 4368 - B46E - EE5DEEBF0548"});
    EXPECT_EQ(t.Values("aShutterBase", "FeatureID"),
              std::vector<std::string>{"648BE1DA - A416 - 11D8 - 9B47 - 00105A5BAE55"});
    EXPECT_EQ(t.Of("ConfRom"), (Props{{"ToolTip", "Configuration ROM"},
                                      {"Unit", "0x00A02D"},
                                      {"Address", "0x400"},
                                      {"pAddress", "InitialNodeSpace"},
                                      {"Length", "0x400"},
                                      {"pPort", "CameraPort"}}));
    EXPECT_EQ(t.Of("ModelName"), (Props{{"ToolTip", "Text of configuration ROM key 0x82"},
                                        {"p1212Parser", "ConfRom"},
                                        {"Key", "0x82"}}));
}
