// CSwissKnife and CIntSwissKnife: values, errors, variable reads, access modes,
// dependencies, inputs, read-only writes, CInteger's physical value.
#include "nodeapi/SwissKnife.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "nodeapi/Category.h"
#include "nodeapi/Float.h"
#include "nodeapi/IntReg.h"
#include "nodeapi/IntSwissKnife.h"
#include "nodeapi/Integer.h"
#include "nodeapi/MaskedIntReg.h"
#include "support/PortFixture.h"

using namespace NodeApi;
using KacqTest::Properties;
using KacqTest::Props;
using KacqTest::Raised;
using KacqTest::TestInteger;

namespace {

const char *const kFlt = "nodeapi/SwissKnife", *const kInt = "nodeapi/IntSwissKnife";

// The formula, the input variable if any, "A=Node B=Other" as pVariables.
Properties Knife(const std::string& formula, const std::string& variables = "",
                 const std::string& input = "") {
    std::string text = "Formula=" + formula + (input.empty() ? "" : ";Input=" + input);
    std::istringstream in(variables);
    for (std::string v; in >> v;)
        text += ";pVariable=" + v;
    return Props(text);
}

std::string Read(INode& node) {
    const bool in = dynamic_cast<CIntSwissKnife*>(&node) != nullptr;
    std::string got;
    const std::string raised = Raised([&] { got = node.ToString(); }, in ? kInt : kFlt);
    return raised == "<no exception>" ? got : raised;
}

using SwissKnifeTest = KacqTest::PortFixture;

} // namespace

TEST_F(SwissKnifeTest, ValuesAndErrorsThroughTheFormula) {
    map.Add<TestInteger>("Num", {{"Value", "4"}});
    map.Add<TestInteger>("Big", {{"Value", "9223372036854775807"}});
    map.Add<CFloat>("Real", {{"Value", "2.5"}});
    map.Add<CCategory>("Group");
    const struct {
        const char* name;
        bool integer;
        std::string formula, variables, read; // read starting with '#': the evaluator's message
    } rows[] = {
        {"Wide", false, "N*10000000", "N=Num", "4e+07"},
        {"IntWide", true, "B", "B=Big", "9223372036854775807"},
        // The evaluator folds names to upper case; "vbl" is bound as written.
        {"Upper", false, "VBL+1", "vbl=Num", "# VBL - Unknown function/variable!"},
        {"IntLower", true, "vbl*2", "vbl=Num", "# VBL - Unknown function/variable!"},
        {"ByZero", false, "X/0", "X=Num", "#Infinity somewhere!"},
        {"IntByZero", true, "X%0", "X=Num", "#Infinity somewhere!"},
        {"IntOverFloat", true, "F+N", "N=Num F=Real",
         "Runtime: IntSwissKnife failed to get the value of : F "},
        {"OverGroup", false, "1", "G=Group", "Runtime: SwissKnife failed to get the value of : G "},
    };
    for (const auto& r : rows)
        r.integer ? (void)map.Add<CIntSwissKnife>(r.name, Knife(r.formula, r.variables))
                  : (void)map.Add<CSwissKnife>(r.name, Knife(r.formula, r.variables));
    map.Build();
    for (const auto& r : rows) {
        const std::string first = Read(*map.GetNode(r.name)), second = Read(*map.GetNode(r.name));
        std::string want = r.read;
        if (want[0] == '#')
            want = "LogicalError: " + std::string(r.name) + " : failed to parse formula '" +
                   r.formula + "' : error message is '" + want + "'";
        EXPECT_EQ(want, first == second ? first : first + " then " + second) << r.name;
    }
}

TEST_F(SwissKnifeTest, FloatReadsFreshValuesIntegerReadsThroughRegisterCaches) {
    auto& base = map.Add<TestInteger>("Base", {{"Value", "3"}});
    auto& fresh = map.Add<CSwissKnife>("Fresh", Knife("BASE+0.5", "BASE=Base"));
    auto& high = map.Add<CIntReg>("High", RegisterProperties("0x1000"));
    auto& low = map.Add<CMaskedIntReg>("Low", RegisterProperties("0x1004", Props("LSB=8;MSB=15")));
    auto& live = map.Add<CIntReg>("Live", RegisterProperties("0x1008", {{"Cachable", "false"}}));
    auto& knife = map.Add<CIntSwissKnife>("Knife", Knife("H*256 + L", "H=High L=Low"));
    auto& counter = map.Add<CIntSwissKnife>("Counter", Knife("V", "V=Live"));
    map.Add<KacqTest::TestCategory>("Root", {{"pFeature", "Knife"}, {"pFeature", "Counter"}});
    map.Build();
    base.reads = 0;
    const double before = fresh.GetValue();
    base.SetValue(10);
    EXPECT_EQ((std::vector<double>{3.5, 10.5, 10.5, 3}),
              (std::vector<double>{before, fresh.GetValue(), fresh.GetValue(), 1.0 * base.reads}));

    memory.Poke32(0x1000, 2);
    memory.Poke32(0x1004, 0x0300);
    memory.ResetCounts();
    // Cached registers: the second read evaluates again without port reads.
    EXPECT_EQ(std::make_tuple(515, 515, 2),
              (std::tuple{knife.GetValue(), knife.GetValue(), memory.TotalReads()}));
    high.SetValue(5);
    EXPECT_EQ(std::make_tuple(1, 5 * 256 + 3, 2),
              (std::tuple{memory.WriteCount(0x1000), knife.GetValue(), memory.TotalReads()}));
    memory.Poke32(0x1004, 0x0700);
    low.InvalidateCache();
    EXPECT_EQ(std::make_tuple(5 * 256 + 7, 1, 2),
              (std::tuple{knife.GetValue(), memory.ReadCount(0x1000), memory.ReadCount(0x1004)}));
    // Not cachable: read each time; its errors pass unchanged.
    memory.FailOnce(0x1008, std::make_exception_ptr(RuntimeException("link down", "test", 7)));
    EXPECT_EQ("Runtime: link down", Raised([&] { counter.GetValue(); }, "test"));
    memory.Poke32(0x1008, 10);
    const int64_t ten = counter.GetValue();
    memory.Poke32(0x1008, 11);
    EXPECT_EQ((std::vector<int64_t>{10, 11, 3, 1}),
              (std::vector<int64_t>{ten, counter.GetValue(), memory.ReadCount(0x1008),
                                    int64_t(live.GetDependants().count(&counter))}));
}

TEST_F(SwissKnifeTest, AccessModeCombinesTheVariables) {
    map.Add<TestInteger>("Zero", {{"Value", "0"}});
    map.Add<TestInteger>("One", {{"Value", "1"}});
    map.Add<TestInteger>("Plain");
    map.Add<TestInteger>("Absent", {{"pIsPresent", "Zero"}});
    map.Add<TestInteger>("Disabled", {{"pIsEnabled", "Zero"}});
    map.Add<CIntReg>("WriteOnly", RegisterProperties("0x1000", {}, "WO"));
    const struct {
        const char* name;
        Properties properties;
        EAccessMode mode;
    } cases[] = {
        {"Readable", {{"pVariable", "A=Plain"}, {"pVariable", "B=One"}}, RO},
        {"NotPresent", {{"pVariable", "A=Plain"}, {"pVariable", "B=Absent"}}, NP},
        {"NotEnabled", {{"pVariable", "A=Disabled"}}, NE},
        {"NpBeatsNe", {{"pVariable", "A=Disabled"}, {"pVariable", "B=Absent"}}, NP},
        {"OwnNotEnabled", {{"pVariable", "A=Plain"}, {"pIsEnabled", "Zero"}}, NE},
        {"OwnNotPresent", {{"pVariable", "A=Disabled"}, {"pIsPresent", "Zero"}}, NP},
        {"OwnEnabled", {{"pVariable", "A=Plain"}, {"pIsEnabled", "One"}}, RO},
    };
    for (const auto& c : cases) {
        map.Add<CSwissKnife>(c.name, c.properties);
        map.Add<CIntSwissKnife>(c.name + std::string("Int"), c.properties);
    }
    auto& writeOnly = map.Add<CSwissKnife>("WithWriteOnly", Knife("1", "A=Plain W=WriteOnly"));
    map.Build();
    const auto mode = [&](const std::string& name) { return map.GetNode(name)->GetAccessMode(); };
    for (const auto& c : cases)
        EXPECT_EQ(std::make_pair(c.mode, c.mode),
                  std::make_pair(mode(c.name), mode(c.name + std::string("Int"))))
            << c.name;
    EXPECT_EQ("Runtime: Invalid access mode WO of variable W",
              Raised([&] { writeOnly.GetAccessMode(); }, "nodeapi/VariableDelegate"));
}

TEST_F(SwissKnifeTest, DependencyWalkReachesTheVariablesAndRefusesCycles) {
    auto& a = map.Add<TestInteger>("A");
    auto& b = map.Add<TestInteger>("B");
    auto& knife = map.Add<CSwissKnife>("Knife", Knife("1", "Y=B X=A"));
    // Not finished: its variables are no children, the walk still visits them.
    auto& loose = map.Add<CSwissKnife>("Loose", Knife("1", "X=B"), false);
    auto& self = map.Add<CSwissKnife>("Self", Knife("S+1", "S=Self"));
    map.Add<CSwissKnife>("Ping", Knife("P", "P=Pong"), false);
    auto& pong = map.Add<CSwissKnife>("Pong", Knife("P", "P=Ping"));
    auto& root = map.Add<KacqTest::TestCategory>(
        "Root", Props("pFeature=Knife;pFeature=Loose;pFeature=Self;pFeature=Pong"));
    map.Build(); // the walk refuses the cycles and terminates
    EXPECT_EQ((std::set<INode*>{&knife, &root}), a.GetDependants());
    EXPECT_EQ((std::set<INode*>{&knife, &root, &loose}), b.GetDependants());
    EXPECT_EQ(std::set<INode*>{&root}, knife.GetDependants());
    NodeList_t path{&root, &knife}, empty;
    EXPECT_EQ(std::make_tuple(false, true, size_t{2}, size_t{0}),
              (std::tuple{knife.CollectDependants(path), knife.CollectDependants(empty),
                          path.size(), empty.size()}));
    const std::string own = " : formula depends on its own value";
    EXPECT_EQ("LogicalError: Self" + own, Raised([&] { self.GetValue(); }, kFlt));
    EXPECT_EQ("LogicalError: Pong" + own, Raised([&] { pong.GetValue(); }, kFlt));
    EXPECT_EQ("LogicalError: Self" + own, Raised([&] { self.GetAccessMode(); }, kFlt));
}

TEST_F(SwissKnifeTest, InputVariableAndIntegerPhysicalValue) {
    map.Add<CIntReg>("Reg", RegisterProperties("0x1000", {{"Sign", "Signed"}}));
    auto& toPhys = map.Add<CSwissKnife>("ToPhys", Knife("RAW*0.5", "", "RAW"));
    auto& from = map.Add<CSwissKnife>("FromPhys", Knife("PHYS*2+OFFSET", "OFFSET=Offset", "PHYS"));
    map.Add<CFloat>("Offset", {{"Value", "0.75"}});
    // The input comes first, so it hides a bound variable of the same name.
    auto& shadow = map.Add<CSwissKnife>("Shadow", Knife("X", "X=Offset", "X"));
    auto& plain = map.Add<CSwissKnife>("Plain", Knife("1"));
    map.Add<CSwissKnife>("Broken", Knife("PHYS/0", "", "PHYS"));
    auto& number = map.Add<CInteger>(
        "Number", Props("pValue=Reg;Min=-100;Max=100;pToPhysical=ToPhys;pFromPhysical=FromPhys"));
    auto& broken = map.Add<CInteger>("BrokenNumber", Props("pValue=Reg;pFromPhysical=Broken"));
    map.Build();
    EXPECT_EQ("NEVAL RAW 1",
              toPhys.ToString() + " " + toPhys.GetInputName() + " " + plain.ToString());
    EXPECT_EQ("LogicalError: SwissKnife undefined external variable",
              Raised([&] { toPhys.GetValue(); }, kFlt));
    EXPECT_EQ((std::vector<double>{6.75, -0.25, -4.0}),
              (std::vector<double>{from.GetValueWithInput(3.0), from.GetValueWithInput(-0.5),
                                   shadow.GetValueWithInput(-4.0)}));
    EXPECT_EQ("LogicalError: SwissKnife has no external variable",
              Raised([&] { plain.GetValueWithInput(1.0); }, kFlt));
    // 20.75 -> 20, -5.05 -> -5, -0.25 -> 0 (toward zero, not down), 99.95 -> 99.
    const std::pair<double, int64_t> cases[] = {{10.0, 20}, {-2.9, -5}, {-0.5, 0}, {49.6, 99}};
    for (const auto& c : cases) {
        number.SetPhysicalValue(c.first);
        EXPECT_EQ(
            std::make_tuple(c.second, uint32_t(c.second), c.second * 0.5),
            std::make_tuple(number.GetValue(), memory.Peek32(0x1000), number.GetPhysicalValue()))
            << c.first;
    }
    const int writes = memory.WriteCount(0x1000);
    EXPECT_EQ("OutOfRange: Value 120 must be smaller than or equal 100",
              Raised([&] { number.SetPhysicalValue(60.0); }, "nodeapi/Integer"));
    EXPECT_EQ("LogicalError: Broken : failed to parse formula 'PHYS/0' : error message is "
              "'#Infinity somewhere!'",
              Raised([&] { broken.SetPhysicalValue(1.0); }, kFlt));
    EXPECT_EQ(std::make_tuple(writes, int64_t{99}, -50.0, 50.0),
              std::make_tuple(memory.WriteCount(0x1000), number.GetValue(), number.GetPhysicalMin(),
                              number.GetPhysicalMax()));
}

TEST_F(SwissKnifeTest, ComputedNodesAreReadOnly) {
    map.Add<TestInteger>("Raw", {{"Value", "512"}});
    auto& knife = map.Add<CSwissKnife>("Knife", Knife("R/1024", "R=Raw"));
    auto& fltFeature = map.Add<CFloat>("FltFeature", {{"pValue", "Knife"}});
    auto& iknife = map.Add<CIntSwissKnife>("IKnife", Knife("40+2"));
    auto& intFeature = map.Add<CInteger>("IntFeature", {{"pValue", "IKnife"}});
    map.Build();
    const std::string flt =
        "LogicalError: SwissKnife : Knife SetValue failed. SwissKnife is read only";
    const std::string in =
        "LogicalError: IntSwissKnife : IKnife SetValue failed. IntSwissKnife is read only";
    EXPECT_EQ(
        (std::vector<std::string>{
            flt, flt, in, in,
            "LogicalError: NodeImpl Knife can't set value from string  : 4. Use derived class!"}),
        (std::vector<std::string>{Raised([&] { knife.SetValue(1.0); }, kFlt),
                                  Raised([&] { fltFeature.SetValue(0.25); }, kFlt),
                                  Raised([&] { iknife.SetValue(1); }, kInt),
                                  Raised([&] { intFeature.SetValue(3); }, kInt),
                                  Raised([&] { knife.FromString("4"); }, "nodeapi/Node")}));
    EXPECT_EQ(std::make_tuple(0.5, int64_t{42}, RO, RO),
              std::make_tuple(fltFeature.GetValue(), intFeature.GetValue(), knife.GetAccessMode(),
                              intFeature.GetAccessMode()));
}
