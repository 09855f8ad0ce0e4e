// CEnumerationBase, CEnumEntry and CEnumDelegate over a bit field in the
// fixture's MemoryPort.
#include "nodeapi/Enumeration.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "nodeapi/EnumEntry.h"
#include "nodeapi/MaskedIntReg.h"
#include "support/PortFixture.h"

using namespace NodeApi;
using KacqTest::Props;
using KacqTest::Raised;
using KacqTest::TestInteger;

namespace {

class TestEnumeration : public CEnumerationBase {
public:
    int32_t GetIntValue() { return GetStoredOrLinkedValue(); }
    std::string ToString() override {
        std::string symbolic;
        m_EnumDelegate.ValueToSymbolic(symbolic, GetIntValue());
        return symbolic;
    }
};

// Mode over bits 0..7 at 0x1000: A = 0, B = 1 (not present), C = 2 (not
// enabled), D = 1 (duplicate of B).
class EnumerationTest : public KacqTest::PortFixture {
protected:
    TestEnumeration& AddMode(const std::string& extra = "") {
        map.Add<CMaskedIntReg>("ModeReg", RegisterProperties("0x1000", Props("LSB=0;MSB=7")));
        map.Add<TestInteger>("Present", Props("Value=0"));
        map.Add<TestInteger>("Enabled", Props("Value=0"));
        map.Add<CEnumEntry>("EnumEntry_Mode_A", Props("Value=0;Symbolic=A;ToolTip=first"));
        map.Add<CEnumEntry>("EnumEntry_Mode_B", Props("Value=1;Symbolic=B;pIsPresent=Present"));
        map.Add<CEnumEntry>("EnumEntry_Mode_C", Props("Value=2;Symbolic=C;pIsEnabled=Enabled"));
        map.Add<CEnumEntry>("EnumEntry_Mode_D", Props("Value=1;Symbolic=D"));
        return map.Add<TestEnumeration>(
            "Mode", Props("pValue=ModeReg;pEnumEntry=EnumEntry_Mode_A;pEnumEntry=EnumEntry_Mode_B;"
                          "pEnumEntry=EnumEntry_Mode_C;pEnumEntry=EnumEntry_Mode_D" +
                          extra));
    }
};

} // namespace

TEST_F(EnumerationTest, SymbolicsSkipAbsentEntriesButLookupsDoNot) {
    auto& mode = AddMode();
    map.Build();
    StringList_t symbolics{"stale"};
    mode.GetSymbolics(symbolics);
    EXPECT_EQ((StringList_t{"A", "D"}), symbolics);
    NodeList_t entries{nullptr};
    mode.GetEntries(entries);
    ASSERT_EQ(4u, entries.size());
    EXPECT_EQ("EnumEntry_Mode_A EnumEntry_Mode_D",
              entries[0]->GetName() + " " + entries[3]->GetName());

    CEnumDelegate& table = mode.GetEnumDelegate();
    int64_t b = -1, c = -1;
    EXPECT_EQ((std::vector<bool>{true, true, false, false}),
              (std::vector<bool>{table.SymbolicToValue("B", b), table.SymbolicToValue("C", c),
                                 table.SymbolicToValue("c", c), table.SymbolicToValue("", c)}));
    EXPECT_EQ(std::make_pair(int64_t{1}, int64_t{2}), std::make_pair(b, c));
    std::string symbolic, first;
    table.ValueToSymbolic(symbolic, 2);
    table.ValueToSymbolic(first, 1); // two entries with value 1: the first one's name
    EXPECT_EQ("C B", symbolic + " " + first);
    for (int64_t unknown : {int64_t(7), int64_t(-1), int64_t(0x100000003)})
        EXPECT_EQ("InvalidArgument:  invalid enum value '" +
                      std::to_string(static_cast<int32_t>(unknown)) + "'",
                  Raised([&] { table.ValueToSymbolic(first, unknown); }, "nodeapi/EnumDelegate"));
    EXPECT_EQ("B A=0,B=1,C=2,D=1", first + " " + table.ListEntries());

    map.Get<TestInteger>("Present").SetValue(1);
    map.Get<TestInteger>("Enabled").SetValue(3);
    mode.GetSymbolics(symbolics);
    EXPECT_EQ((StringList_t{"A", "B", "C", "D"}), symbolics);
}

TEST_F(EnumerationTest, AccessModes) {
    auto& mode = AddMode(";pIsPresent=Present");
    map.Add<CMaskedIntReg>("RoReg", RegisterProperties("0x1004", Props("LSB=0;MSB=3"), "RO"));
    auto& readOnly = map.Add<TestEnumeration>("ReadOnly", Props("pValue=RoReg"));
    map.Build();
    EXPECT_EQ(std::make_pair(NP, std::string("Enumeration : not present")),
              std::make_pair(mode.GetAccessMode(), mode.GetInfo()));
    map.Get<TestInteger>("Present").SetValue(1);
    EXPECT_EQ(std::make_pair(RW, RO),
              std::make_pair(mode.GetAccessMode(), readOnly.GetAccessMode()));
    memory.SetOpen(false);
    EXPECT_EQ(NP, readOnly.GetAccessMode());
    memory.SetOpen(true);

    auto& a = map.Get<CEnumEntry>("EnumEntry_Mode_A");
    auto& b = map.Get<CEnumEntry>("EnumEntry_Mode_B");
    auto& c = map.Get<CEnumEntry>("EnumEntry_Mode_C");
    map.Get<TestInteger>("Present").SetValue(0);
    EXPECT_EQ((std::vector<EAccessMode>{RO, NP, NE}),
              (std::vector<EAccessMode>{a.GetAccessMode(), b.GetAccessMode(), c.GetAccessMode()}));
    EXPECT_EQ(std::make_tuple(std::string("2"), int64_t{2}, std::string("C")),
              std::make_tuple(c.ToString(), c.GetValue(), c.GetSymbolic()));
}

// Through the enumeration (map lock, then the table's) and directly (as the
// typed conversions do): two threads must not lock each other out.
TEST_F(EnumerationTest, TableAndMapLocksTakenInOneOrder) {
    auto& mode = AddMode();
    map.Build();
    std::atomic<int> wrong{0};
    std::thread viaNode([&] {
        StringList_t symbolics;
        for (int i = 0; i < 2000; ++i, wrong += symbolics.size() != 2)
            mode.GetSymbolics(symbolics);
    });
    std::string symbolic;
    for (int i = 0; i < 2000; ++i, wrong += symbolic != "C")
        mode.GetEnumDelegate().ValueToSymbolic(symbolic, 2);
    viaNode.join();
    EXPECT_EQ(0, wrong);
}
