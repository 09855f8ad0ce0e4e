// CEnumerationBase, CEnumEntry and CEnumDelegate: entry order, selectable
// symbolics, lookups that ignore presence, duplicate values, the unknown
// number, access modes, info texts, the typed-value helpers and lock order.
#include "nodeapi/Enumeration.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "nodeapi/Category.h"
#include "nodeapi/EnumEntry.h"
#include "nodeapi/MaskedIntReg.h"
#include "nodeapi/Port.h"
#include "support/MemoryPort.h"
#include "support/PortFixture.h"
#include "support/TestNodeMap.h"

using namespace NodeApi;
using KacqTest::MemoryPort;
using KacqTest::Properties;
using KacqTest::TestInteger;
using KacqTest::TestNodeMap;

namespace {

// A typed enumeration in the manner of the camera interface.
class TestEnumeration : public CEnumerationBase {
public:
    void SetIntValue(int32_t value) { SetStoredOrLinkedValue(value); }
    int32_t GetIntValue() { return GetStoredOrLinkedValue(); }
    std::string ToString() override {
        std::string symbolic;
        m_EnumDelegate.ValueToSymbolic(symbolic, GetIntValue());
        return symbolic;
    }
};

class EnumerationTest : public KacqTest::PortFixture {
protected:
    EnumerationTest() {
        map.Add<CMaskedIntReg>("ModeReg",
                               RegisterProperties("0x1000", {{"LSB", "0"}, {"MSB", "7"}}));
        map.Add<TestInteger>("Present", {{"Value", "0"}});
        map.Add<TestInteger>("Enabled", {{"Value", "0"}});
    }

    CEnumEntry& AddEntry(const std::string& symbolic, const char* value, Properties extra = {}) {
        Properties props{{"Value", value}, {"Symbolic", symbolic}};
        props.insert(props.end(), extra.begin(), extra.end());
        return map.Add<CEnumEntry>("EnumEntry_Mode_" + symbolic, props);
    }

    // Mode: A = 0, B = 1 (not present), C = 2 (not enabled), D = 1 (duplicate of B).
    TestEnumeration& AddMode(Properties extra = {}) {
        AddEntry("A", "0", {{"ToolTip", "first"}});
        AddEntry("B", "1", {{"pIsPresent", "Present"}});
        AddEntry("C", "2", {{"pIsEnabled", "Enabled"}});
        AddEntry("D", "1");
        Properties props{{"pValue", "ModeReg"},
                         {"pEnumEntry", "EnumEntry_Mode_A"},
                         {"pEnumEntry", "EnumEntry_Mode_B"},
                         {"pEnumEntry", "EnumEntry_Mode_C"},
                         {"pEnumEntry", "EnumEntry_Mode_D"}};
        props.insert(props.end(), extra.begin(), extra.end());
        return map.Add<TestEnumeration>("Mode", props);
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
    EXPECT_EQ("EnumEntry_Mode_A", entries[0]->GetName());
    EXPECT_EQ("EnumEntry_Mode_D", entries[3]->GetName());

    CEnumDelegate& table = mode.GetEnumDelegate();
    int64_t value = -1;
    EXPECT_TRUE(table.SymbolicToValue("B", value));
    EXPECT_EQ(1, value);
    EXPECT_TRUE(table.SymbolicToValue("C", value));
    EXPECT_EQ(2, value);
    EXPECT_FALSE(table.SymbolicToValue("c", value));
    EXPECT_FALSE(table.SymbolicToValue("", value));
    EXPECT_EQ(2, value);
    std::string symbolic;
    table.ValueToSymbolic(symbolic, 2);
    EXPECT_EQ("C", symbolic);
    // Two entries with value 1: the first one's name.
    table.ValueToSymbolic(symbolic, 1);
    EXPECT_EQ("B", symbolic);
    for (int64_t unknown : {int64_t(7), int64_t(-1), int64_t(0x100000003)}) {
        try {
            table.ValueToSymbolic(symbolic, unknown);
            ADD_FAILURE() << unknown;
        } catch (const InvalidArgumentException& e) {
            EXPECT_EQ("nodeapi/EnumDelegate", e.GetSourceFileName());
            EXPECT_EQ(" invalid enum value '" + std::to_string(static_cast<int32_t>(unknown)) + "'",
                      e.GetDescription());
        }
    }
    EXPECT_EQ("B", symbolic);
    EXPECT_EQ("A=0,B=1,C=2,D=1", table.ListEntries());
    EXPECT_EQ("EnumDelegate defines following enums:A=0,B=1,C=2,D=1", table.GetInfo());

    // Entries become selectable as their conditions change.
    map.Get<TestInteger>("Present").SetValue(1);
    map.Get<TestInteger>("Enabled").SetValue(3);
    mode.GetSymbolics(symbolics);
    EXPECT_EQ((StringList_t{"A", "B", "C", "D"}), symbolics);
}

TEST_F(EnumerationTest, ValueThroughValueNode) {
    auto& mode = AddMode();
    map.Build();
    memory.Poke32(0x1000, 0xABCDEF02u);
    EXPECT_EQ(2, mode.GetIntValue());
    EXPECT_EQ("C", mode.ToString());
    mode.SetIntValue(0);
    EXPECT_EQ(0xABCDEF00u, memory.Peek32(0x1000));
    EXPECT_EQ("A", mode.ToString());
    EXPECT_EQ("Enumeration : Value = A : EnumerationMap = A=0,B=1,C=2,D=1", mode.GetInfo());
    // Out of the register's range: refused by the register, nothing written.
    memory.ResetCounts();
    EXPECT_THROW(mode.SetIntValue(300), OutOfRangeException);
    EXPECT_EQ(0, memory.TotalWrites());
    // Entries are not children; the value node is.
    NodeList_t children;
    mode.GetChildren(children);
    EXPECT_EQ((NodeList_t{map.GetNode("ModeReg")}), children);
}

TEST_F(EnumerationTest, StoredValueWithoutValueNodeIsDefined) {
    AddEntry("A", "0");
    AddEntry("B", "1");
    auto& plain = map.Add<TestEnumeration>(
        "Plain", {{"pEnumEntry", "EnumEntry_Mode_A"}, {"pEnumEntry", "EnumEntry_Mode_B"}});
    auto& given = map.Add<TestEnumeration>("Given", {{"Value", "-2"}});
    map.Build();
    EXPECT_EQ(0, plain.GetIntValue());
    EXPECT_EQ("A", plain.ToString());
    EXPECT_EQ(-2, given.GetIntValue());
    EXPECT_FALSE(plain.IsChanged());
    plain.SetIntValue(1);
    EXPECT_EQ("B", plain.ToString());
    EXPECT_TRUE(plain.IsChanged());
    EXPECT_EQ(RO, plain.GetAccessMode());
    EXPECT_EQ(0, memory.TotalReads() + memory.TotalWrites());
}

TEST_F(EnumerationTest, AccessModes) {
    auto& mode = AddMode({{"pIsPresent", "Present"}});
    map.Add<CMaskedIntReg>("RoReg", {{"pPort", "Port"},
                                     {"AccessMode", "RO"},
                                     {"Address", "0x1004"},
                                     {"Length", "4"},
                                     {"LSB", "0"},
                                     {"MSB", "3"}});
    auto& readOnly = map.Add<TestEnumeration>("ReadOnly", {{"pValue", "RoReg"}});
    map.Build();
    EXPECT_EQ(NP, mode.GetAccessMode());
    EXPECT_EQ("Enumeration : not present", mode.GetInfo());
    map.Get<TestInteger>("Present").SetValue(1);
    EXPECT_EQ(RW, mode.GetAccessMode());
    EXPECT_EQ(RO, readOnly.GetAccessMode());
    memory.SetOpen(false);
    EXPECT_EQ(NP, readOnly.GetAccessMode());
    memory.SetOpen(true);

    // Entries: RO, NE or NP by their conditions, and their info lines.
    auto& a = map.Get<CEnumEntry>("EnumEntry_Mode_A");
    auto& b = map.Get<CEnumEntry>("EnumEntry_Mode_B");
    auto& c = map.Get<CEnumEntry>("EnumEntry_Mode_C");
    map.Get<TestInteger>("Present").SetValue(0);
    EXPECT_EQ(RO, a.GetAccessMode());
    EXPECT_EQ(NP, b.GetAccessMode());
    EXPECT_EQ(NE, c.GetAccessMode());
    EXPECT_EQ(" valid EnumEntry EnumEntry_Mode_A = 0 : ToolTip = first", a.GetInfo());
    EXPECT_EQ(" nonpresent EnumEntry EnumEntry_Mode_B = 1 : ToolTip = ", b.GetInfo());
    EXPECT_EQ(" not enabled EnumEntry EnumEntry_Mode_C = 2 : ToolTip = ", c.GetInfo());
    EXPECT_EQ("2", c.ToString());
    EXPECT_EQ(2, c.GetValue());
    EXPECT_EQ("C", c.GetSymbolic());
}

TEST_F(EnumerationTest, TableRefusesNodesThatAreNoEntries) {
    auto& plain = map.Add<CNodeImpl>("Plain");
    auto& mode = map.Add<TestEnumeration>("Mode");
    map.Build();
    CEnumDelegate& table = mode.GetEnumDelegate();
    EXPECT_THROW(table.AddEntry(nullptr), InvalidArgumentException);
    table.AddEntry(&plain);
    std::string symbolic;
    int64_t value = 0;
    StringList_t symbolics;
    for (int i = 0; i < 3; ++i) {
        try {
            if (i == 0)
                table.ValueToSymbolic(symbolic, 0);
            else if (i == 1)
                table.SymbolicToValue("A", value);
            else
                mode.GetSymbolics(symbolics);
            ADD_FAILURE() << i;
        } catch (const LogicalErrorException& e) {
            EXPECT_EQ("Unexpected type in dynamic cast", e.GetDescription());
        }
    }
    NodeList_t entries;
    mode.GetEntries(entries);
    EXPECT_EQ((NodeList_t{&plain}), entries);
}

// The table is reached both through its enumeration (map lock, then the
// table's) and directly (as the typed conversions do); both orders of use
// from two threads must not lock each other out.
TEST_F(EnumerationTest, TableAndMapLocksTakenInOneOrder) {
    auto& mode = AddMode();
    map.Build();
    std::atomic<bool> failed{false};
    std::thread viaNode([&] {
        StringList_t symbolics;
        for (int i = 0; i < 2000; ++i) {
            mode.GetSymbolics(symbolics);
            if (symbolics.size() != 2)
                failed = true;
        }
    });
    std::thread direct([&] {
        std::string symbolic;
        for (int i = 0; i < 2000; ++i) {
            mode.GetEnumDelegate().ValueToSymbolic(symbolic, 2);
            if (symbolic != "C")
                failed = true;
        }
    });
    viaNode.join();
    direct.join();
    EXPECT_FALSE(failed);
}
