// CStringRegister: text reads and writes, length nodes, hostile lengths.
#include "nodeapi/SimpleString.h"

#include <gtest/gtest.h>

#include "nodeapi/IntReg.h"
#include "nodeapi/Port.h"
#include "support/MemoryPort.h"
#include "support/TestNodeMap.h"

using namespace NodeApi;
using KacqTest::MemoryPort;
using KacqTest::TestInteger;
using KacqTest::TestNodeMap;

namespace {

class SimpleStringTest : public testing::Test {
protected:
    SimpleStringTest() : memory(0x1000, 0x20000) {
        map.AddExternal(memory, "Memory");
        map.Add<CPort>("Port").SetPortImpl(&memory);
    }
    // "Text", read-only at 0x1000, its length from "Len" (4).
    CStringRegister& AddText() {
        length = &map.Add<TestInteger>("Len", {{"Value", "4"}});
        return map.Add<CStringRegister>(
            "Text",
            {{"pPort", "Port"}, {"Address", "0x1000"}, {"pLength", "Len"}, {"AccessMode", "RO"}});
    }
    MemoryPort memory;
    TestNodeMap map;
    TestInteger* length = nullptr;
};

} // namespace

TEST_F(SimpleStringTest, FixedLengthTextKeepsZeroBytes) {
    auto& str = map.Add<CStringRegister>(
        "Name", {{"pPort", "Port"}, {"Address", "0x1000"}, {"Length", "8"}, {"AccessMode", "RW"}});
    map.Build(); // no length node: stays unfinished, still usable with its Length
    memory.Poke(0x1000, {'e', 'X', 'c', 'i', 't', 'e', 0, 0});
    EXPECT_EQ(std::string("eXcite\0\0", 8), str.GetValue());
    str.SetValue("abc");
    // Exactly the text, no terminator or padding.
    EXPECT_EQ(std::make_pair(1, int64_t{3}),
              std::make_pair(memory.WriteCount(0x1000),
                             static_cast<int64_t>(memory.Log().back().length)));
    EXPECT_EQ((std::vector<uint8_t>{'a', 'b', 'c', 'i'}), memory.Peek(0x1000, 4));
}

TEST_F(SimpleStringTest, LengthNodeDrivesTheRegisterLength) {
    auto& str = AddText();
    map.Build();
    EXPECT_EQ(std::make_pair(true, int64_t{4}),
              std::make_pair(str.IsInitialized(), str.GetLength()));
    memory.Poke(0x1000, {'a', 'b', 'c', 'd', 'e', 'f'});
    EXPECT_EQ("abcd", str.GetValue());
    length->SetValue(6);
    EXPECT_EQ("abcdef", str.GetValue());
    length->SetValue(2); // the register never shrinks
    EXPECT_EQ(std::make_pair(std::string("abcdef"), int64_t{6}),
              std::make_pair(str.GetValue(), str.GetLength()));

    const int reads = memory.TotalReads();
    length->SetValue(0);
    EXPECT_EQ("", str.GetValue());
    EXPECT_EQ(reads, memory.TotalReads()); // no port access for an empty text
    EXPECT_NE(std::string::npos, str.GetInfo().find(", m_pLength_by="));
}

TEST_F(SimpleStringTest, HostileLengthsAreRefused) {
    auto& str = AddText();
    map.Build();
    for (int64_t bad : {int64_t(-1), int64_t(INT64_MIN), int64_t(65537), int64_t(INT64_MAX)}) {
        length->SetValue(bad);
        EXPECT_THROW(str.GetValue(), OutOfRangeException) << bad;
    }
    EXPECT_EQ(4, str.GetLength());
}

TEST_F(SimpleStringTest, StaysUnfinishedWhileNotReadable) {
    auto& str = AddText();
    memory.SetOpen(false);
    map.Build();
    EXPECT_FALSE(str.IsInitialized());
    EXPECT_EQ("CStringRegister : not present", str.GetInfo());
    memory.SetOpen(true);
    str.FinalConstruct();
    EXPECT_TRUE(str.IsInitialized());
    EXPECT_THROW(str.FinalConstruct(), LogicalErrorException);

    // A huge length from the node is refused at FinalConstruct too.
    MemoryPort otherMemory(0x1000, 0x100);
    TestNodeMap other;
    other.AddExternal(otherMemory, "Memory");
    other.Add<TestInteger>("Len", {{"Value", "1000000000"}});
    auto& big = other.Add<CStringRegister>(
        "Big",
        {{"pPort", "Memory"}, {"Address", "0x1000"}, {"pLength", "Len"}, {"AccessMode", "RO"}},
        false);
    other.Build();
    EXPECT_THROW(big.FinalConstruct(), OutOfRangeException);
    EXPECT_FALSE(big.IsInitialized());
}
