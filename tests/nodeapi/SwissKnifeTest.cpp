// CSwissKnife: properties and their errors, reads with fresh variable values,
// evaluator messages inside the node's message, the input variable, access
// modes, construction and dependency walk, dumps, and CInteger's physical
// value through two conversion formulas.
#include "nodeapi/SwissKnife.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <set>
#include <string>
#include <utility>

#include "nodeapi/Category.h"
#include "nodeapi/Float.h"
#include "nodeapi/IntReg.h"
#include "nodeapi/IntSwissKnife.h"
#include "nodeapi/Integer.h"
#include "nodeapi/MaskedIntReg.h"
#include "nodeapi/Port.h"
#include "support/MemoryPort.h"
#include "support/PortFixture.h"
#include "support/TestNodeMap.h"

using namespace NodeApi;
using KacqTest::MemoryPort;
using KacqTest::Properties;
using KacqTest::TestCategory;
using KacqTest::TestInteger;
using KacqTest::TestNodeMap;

namespace {

template <class E>
std::string MessageOf(const std::function<void()>& action,
                      const char* source = "nodeapi/SwissKnife") {
    return KacqTest::DescriptionOf<E>(action, source);
}

class SwissKnifeTest : public KacqTest::PortFixture {
protected:
    // A 32-bit big-endian register at address.
    CIntReg& AddRegister(const std::string& name, const char* address, const char* access = "RW",
                         Properties extra = {}) {
        return map.Add<CIntReg>(name, RegisterProperties(address, std::move(extra), access));
    }
};

} // namespace

TEST_F(SwissKnifeTest, ReadsIntegerAndFloatVariables) {
    map.Add<TestInteger>("Base", {{"Value", "3"}});
    map.Add<CFloat>("Scale", {{"Value", "2.5"}});
    auto& knife = map.Add<CSwissKnife>("Knife", {{"Formula", "BASE*VALUE/1024.0"},
                                                 {"pVariable", "BASE=Base"},
                                                 {"pVariable", "VALUE=Scale"}});
    auto& wide =
        map.Add<CSwissKnife>("Wide", {{"Formula", "BASE*10000000"}, {"pVariable", "BASE=Base"}});
    map.Build();
    EXPECT_DOUBLE_EQ(3 * 2.5 / 1024.0, knife.GetValue());
    EXPECT_DOUBLE_EQ(knife.GetValue(), knife());
    // Six significant digits, fixed or exponent form.
    EXPECT_EQ("0.00732422 3e+07 BASE*VALUE/1024.0",
              knife.ToString() + " " + wide.ToString() + " " + knife.GetFormula());
    EXPECT_EQ(Linear, knife.GetRepresentation());
}

TEST_F(SwissKnifeTest, EveryReadFetchesFreshValues) {
    auto& base = map.Add<TestInteger>("Base", {{"Value", "3"}});
    auto& knife =
        map.Add<CSwissKnife>("Knife", {{"Formula", "BASE+0.5"}, {"pVariable", "BASE=Base"}});
    map.Build();
    base.reads = 0;
    EXPECT_DOUBLE_EQ(3.5, knife.GetValue());
    base.SetValue(10);
    EXPECT_EQ((std::vector<double>{10.5, 10.5}),
              (std::vector<double>{knife.GetValue(), knife.GetValue()}));
    EXPECT_EQ(3, base.reads);
}

TEST_F(SwissKnifeTest, FormulaFailuresCarryTheEvaluatorMessage) {
    map.Add<TestInteger>("Num", {{"Value", "4"}});
    // The evaluator folds identifiers to upper case; "vbl" is bound as written.
    const char* cases[][3] = {
        {"vbl+1", "vbl=Num",
         "K0 : failed to parse formula 'vbl+1' : error message is '# VBL - Unknown "
         "function/variable!'"},
        {"VBL+1", "vbl=Num",
         "K1 : failed to parse formula 'VBL+1' : error message is '# VBL - Unknown "
         "function/variable!'"},
        {"X/0", "X=Num",
         "K2 : failed to parse formula 'X/0' : error message is '#Infinity somewhere!'"},
        {"(X", "X=Num",
         "K3 : failed to parse formula '(X' : error message is '#Brackets not match!'"},
        {"X X", "X=Num",
         "K4 : failed to parse formula 'X X' : error message is '#Internal error!'"},
    };
    std::vector<CSwissKnife*> knives;
    for (const auto& c : cases)
        knives.push_back(&map.Add<CSwissKnife>("K" + std::to_string(knives.size()),
                                               {{"Formula", c[0]}, {"pVariable", c[1]}}));
    map.Build();
    // The node stays usable: a failed read leaves nothing behind, the second fails alike.
    for (size_t i = 0; i < knives.size(); ++i)
        for (int round = 0; round < 2; ++round)
            EXPECT_EQ(cases[i][2],
                      MessageOf<LogicalErrorException>([&] { knives[i]->GetValue(); }));
}

TEST_F(SwissKnifeTest, InputVariable) {
    map.Add<TestInteger>("Offset", {{"Value", "7"}});
    auto& knife = map.Add<CSwissKnife>(
        "Knife", {{"Formula", "X*2+OFF"}, {"Input", "X"}, {"pVariable", "OFF=Offset"}});
    // The input comes first, so it hides a bound variable of the same name.
    auto& shadow = map.Add<CSwissKnife>(
        "Shadow", {{"Formula", "X"}, {"Input", "X"}, {"pVariable", "X=Offset"}});
    auto& plain = map.Add<CSwissKnife>("Plain", {{"Formula", "1"}});
    map.Build();
    EXPECT_EQ("NEVAL X 1", knife.ToString() + " " + knife.GetInputName() + " " + plain.ToString());
    EXPECT_EQ("SwissKnife undefined external variable",
              MessageOf<LogicalErrorException>([&] { knife.GetValue(); }));
    EXPECT_EQ((std::vector<double>{13.0, 6.0, -4.0}),
              (std::vector<double>{knife.GetValueWithInput(3.0), knife.GetValueWithInput(-0.5),
                                   shadow.GetValueWithInput(-4.0)}));
    EXPECT_EQ("SwissKnife has no external variable",
              MessageOf<LogicalErrorException>([&] { plain.GetValueWithInput(1.0); }));
}

TEST_F(SwissKnifeTest, AccessModeCombinesTheVariables) {
    map.Add<TestInteger>("Zero", {{"Value", "0"}});
    map.Add<TestInteger>("One", {{"Value", "1"}});
    map.Add<TestInteger>("Plain");
    map.Add<TestInteger>("Absent", {{"pIsPresent", "Zero"}});
    map.Add<TestInteger>("Disabled", {{"pIsEnabled", "Zero"}});
    AddRegister("WriteOnly", "0x1000", "WO");
    const struct {
        const char* name;
        Properties properties;
        EAccessMode mode;
    } cases[] = {
        {"NoVariables", {}, RO},
        {"Readable", {{"pVariable", "A=Plain"}, {"pVariable", "B=One"}}, RO},
        {"NotPresent", {{"pVariable", "A=Plain"}, {"pVariable", "B=Absent"}}, NP},
        {"NotEnabled", {{"pVariable", "A=Disabled"}}, NE},
        {"NpBeatsNe", {{"pVariable", "A=Disabled"}, {"pVariable", "B=Absent"}}, NP},
        {"OwnNotEnabled", {{"pVariable", "A=Plain"}, {"pIsEnabled", "Zero"}}, NE},
        {"OwnNotPresent", {{"pVariable", "A=Disabled"}, {"pIsPresent", "Zero"}}, NP},
        {"OwnEnabled", {{"pVariable", "A=Plain"}, {"pIsEnabled", "One"}}, RO},
    };
    for (const auto& c : cases)
        map.Add<CSwissKnife>(c.name, c.properties);
    auto& writeOnly = map.Add<CSwissKnife>(
        "WithWriteOnly", {{"pVariable", "A=Plain"}, {"pVariable", "W=WriteOnly"}});
    map.Build();
    for (const auto& c : cases)
        EXPECT_EQ(c.mode, map.Get<CSwissKnife>(c.name).GetAccessMode()) << c.name;
    EXPECT_EQ("Invalid access mode WO of variable W",
              MessageOf<RuntimeException>([&] { writeOnly.GetAccessMode(); },
                                          "nodeapi/VariableDelegate"));
}

TEST_F(SwissKnifeTest, DependencyWalkReachesTheVariables) {
    auto& a = map.Add<TestInteger>("A");
    auto& b = map.Add<TestInteger>("B");
    auto& knife = map.Add<CSwissKnife>("Knife", {{"pVariable", "Y=B"}, {"pVariable", "X=A"}});
    // Not finished: its variables are no children, the walk still visits them.
    auto& loose = map.Add<CSwissKnife>("Loose", {{"pVariable", "X=B"}}, false);
    auto& root = map.Add<TestCategory>("Root", {{"pFeature", "Knife"}, {"pFeature", "Loose"}});
    map.Build();
    EXPECT_EQ((std::set<INode*>{&knife, &root}), a.GetDependants());
    EXPECT_EQ((std::set<INode*>{&knife, &root, &loose}), b.GetDependants());
    EXPECT_EQ(std::set<INode*>{&root}, knife.GetDependants());

    // A node already on the path is a cycle: refused, path unchanged.
    NodeList_t path{&root, &knife}, empty;
    EXPECT_FALSE(knife.CollectDependants(path));
    EXPECT_TRUE(knife.CollectDependants(empty));
    EXPECT_EQ(std::make_pair(size_t{2}, size_t{0}), std::make_pair(path.size(), empty.size()));
}

TEST_F(SwissKnifeTest, VariableWithoutValueInterface) {
    map.Add<CCategory>("Group");
    auto& knife = map.Add<CSwissKnife>("Knife", {{"Formula", "1"}, {"pVariable", "G=Group"}});
    map.Build();
    EXPECT_EQ("SwissKnife failed to get the value of : G ",
              MessageOf<RuntimeException>([&] { knife.GetValue(); }));
}

TEST_F(SwissKnifeTest, FormulaThatReachesItselfIsRefused) {
    auto& self = map.Add<CSwissKnife>("Self", {{"Formula", "S+1"}, {"pVariable", "S=Self"}});
    map.Add<CSwissKnife>("Ping", {{"Formula", "P"}, {"pVariable", "P=Pong"}}, false);
    auto& pong = map.Add<CSwissKnife>("Pong", {{"Formula", "P"}, {"pVariable", "P=Ping"}});
    map.Add<TestCategory>("Root", {{"pFeature", "Self"}, {"pFeature", "Pong"}});
    map.Build(); // the dependency walk refuses the cycles and terminates
    const std::string own = " : formula depends on its own value";
    EXPECT_EQ("Self" + own, MessageOf<LogicalErrorException>([&] { self.GetValue(); }));
    EXPECT_EQ("Pong" + own, MessageOf<LogicalErrorException>([&] { pong.GetValue(); }));
    EXPECT_EQ("Self" + own, MessageOf<LogicalErrorException>([&] { self.GetAccessMode(); }));
}

TEST_F(SwissKnifeTest, VariableReadErrorsPassThroughUnchanged) {
    auto& reg = AddRegister("Reg", "0x1000", "RW", {{"Cachable", "false"}});
    auto& knife = map.Add<CSwissKnife>("Knife", {{"Formula", "R*2"}, {"pVariable", "R=Reg"}});
    map.Build();
    memory.Poke32(0x1000, 21);
    memory.FailOnce(0x1000, std::make_exception_ptr(RuntimeException("link down", "test", 7)));
    EXPECT_EQ("link down", MessageOf<RuntimeException>([&] { knife.GetValue(); }, "test"));
    EXPECT_EQ(std::make_pair(42.0, int64_t{21}), std::make_pair(knife.GetValue(), reg.GetValue()));
}

// CInteger's physical view: the to-physical formula turns the raw value into
// the physical one, the from-physical formula the other way; the result is
// truncated toward zero before it is written.
TEST_F(SwissKnifeTest, IntegerPhysicalValueThroughFormulas) {
    AddRegister("Reg", "0x1000", "RW", {{"Sign", "Signed"}});
    map.Add<CSwissKnife>("ToPhys", {{"Formula", "RAW*0.5"}, {"Input", "RAW"}});
    map.Add<CSwissKnife>(
        "FromPhys",
        {{"Formula", "PHYS*2+OFFSET"}, {"Input", "PHYS"}, {"pVariable", "OFFSET=Offset"}});
    map.Add<CFloat>("Offset", {{"Value", "0.75"}});
    map.Add<CSwissKnife>("NoInput", {{"Formula", "1"}});
    map.Add<CSwissKnife>("Broken", {{"Formula", "PHYS/0"}, {"Input", "PHYS"}});
    auto& number = map.Add<CInteger>("Number", {{"pValue", "Reg"},
                                                {"Min", "-100"},
                                                {"Max", "100"},
                                                {"pToPhysical", "ToPhys"},
                                                {"pFromPhysical", "FromPhys"},
                                                {"Unit", "us"}});
    auto& noInput = map.Add<CInteger>("NoInputNumber", {{"pToPhysical", "NoInput"}});
    auto& broken =
        map.Add<CInteger>("BrokenNumber", {{"pValue", "Reg"}, {"pFromPhysical", "Broken"}});
    map.Build();

    const struct {
        double physical;
        int64_t raw;
    } cases[] = {
        {10.0, 20}, // 10 * 2 + 0.75 = 20.75 -> 20
        {-2.9, -5}, // -2.9 * 2 + 0.75 = -5.05 -> -5
        {-0.2, 0},  // -0.4 + 0.75 = 0.35 -> 0
        {-0.5, 0},  // -1 + 0.75 = -0.25 -> 0 (toward zero, not down)
        {49.6, 99}, // 99.2 + 0.75 = 99.95 -> 99
    };
    for (const auto& c : cases) {
        number.SetPhysicalValue(c.physical);
        EXPECT_EQ(
            std::make_tuple(c.raw, static_cast<uint32_t>(c.raw), c.raw * 0.5),
            std::make_tuple(number.GetValue(), memory.Peek32(0x1000), number.GetPhysicalValue()))
            << c.physical;
    }
    EXPECT_EQ(std::make_tuple(-50.0, 50.0, std::string("us")),
              std::make_tuple(number.GetPhysicalMin(), number.GetPhysicalMax(), number.GetUnit()));

    // 60 * 2 + 0.75 lies above the maximum: refused, register untouched.
    const int writes = memory.WriteCount(0x1000);
    EXPECT_EQ(
        "Value 120 must be smaller than or equal 100",
        MessageOf<OutOfRangeException>([&] { number.SetPhysicalValue(60.0); }, "nodeapi/Integer"));
    EXPECT_EQ(writes, memory.WriteCount(0x1000));
    EXPECT_EQ(99, number.GetValue());

    // A failing formula reaches the caller; nothing is written.
    EXPECT_EQ("Broken : failed to parse formula 'PHYS/0' : error message is '#Infinity "
              "somewhere!'",
              MessageOf<LogicalErrorException>([&] { broken.SetPhysicalValue(1.0); }));
    EXPECT_EQ(writes, memory.WriteCount(0x1000));
    // A conversion formula without an input cannot convert.
    EXPECT_EQ("SwissKnife has no external variable",
              MessageOf<LogicalErrorException>([&] { noInput.GetPhysicalValue(); }));
}

// Computed nodes refuse writes, directly and through the feature above them,
// and report fixed limits; a plain node refuses a text.
TEST_F(SwissKnifeTest, ComputedNodesAreReadOnly) {
    map.Add<TestInteger>("Raw", {{"Value", "512"}});
    auto& knife = map.Add<CSwissKnife>("Knife", {{"Formula", "R/1024"}, {"pVariable", "R=Raw"}});
    auto& fltFeature = map.Add<CFloat>("FltFeature", {{"pValue", "Knife"}});
    auto& iknife = map.Add<CIntSwissKnife>("IKnife", {{"Formula", "40+2"}});
    auto& intFeature = map.Add<CInteger>("IntFeature", {{"pValue", "IKnife"}});
    auto& plain = map.Add<CNodeImpl>("Plain");
    map.Build();
    const std::string flt =
        "LogicalError: SwissKnife : Knife SetValue failed. SwissKnife is read only";
    const std::string integer =
        "LogicalError: IntSwissKnife : IKnife SetValue failed. IntSwissKnife is read only";
    const struct {
        const char* name;
        std::function<void()> write;
        std::string raised;
        const char* source;
    } rows[] = {
        {"knife", [&] { knife.SetValue(1.0); }, flt, "nodeapi/SwissKnife"},
        {"knife assigned", [&] { static_cast<IFloat&>(knife) = 3.0; }, flt, "nodeapi/SwissKnife"},
        {"float feature", [&] { fltFeature.SetValue(0.25); }, flt, "nodeapi/SwissKnife"},
        {"knife text", [&] { knife.FromString("4"); },
         "LogicalError: NodeImpl Knife can't set value from string  : 4. Use derived class!",
         "nodeapi/Node"},
        {"int knife", [&] { iknife.SetValue(1); }, integer, "nodeapi/IntSwissKnife"},
        {"int knife assigned", [&] { static_cast<IInteger&>(iknife) = 2; }, integer,
         "nodeapi/IntSwissKnife"},
        {"integer feature", [&] { intFeature.SetValue(3); }, integer, "nodeapi/IntSwissKnife"},
        {"plain text", [&] { plain.FromString("5"); },
         "LogicalError: NodeImpl Plain can't set value from string  : 5. Use derived class!",
         "nodeapi/Node"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(r.raised, KacqTest::Raised(r.write, r.source)) << r.name;
    EXPECT_EQ(std::make_pair(0.5, int64_t{42}),
              std::make_pair(fltFeature.GetValue(), intFeature.GetValue()));
    EXPECT_EQ(std::make_pair(RO, RO),
              std::make_pair(knife.GetAccessMode(), intFeature.GetAccessMode()));
    // The smallest positive normal double, not the most negative one.
    EXPECT_EQ(std::make_pair(2.2250738585072014e-308, 1.7976931348623157e308),
              std::make_pair(knife.GetMin(), knife.GetMax()));
    EXPECT_EQ(std::make_tuple(INT64_MIN, INT64_MAX, int64_t{1}, Linear),
              std::make_tuple(iknife.GetMin(), iknife.GetMax(), iknife.GetInc(),
                              iknife.GetRepresentation()));
}
