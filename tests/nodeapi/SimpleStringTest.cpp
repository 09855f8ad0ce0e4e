// CStringRegister: text reads and writes, length nodes, hostile lengths.
#include "nodeapi/SimpleString.h"

#include <gtest/gtest.h>

#include "support/PortFixture.h"

using namespace NodeApi;
using KacqTest::Props;
using KacqTest::Raised;
using KacqTest::TestInteger;

namespace {

class SimpleStringTest : public KacqTest::PortFixture {
protected:
    // "Text", read-only at 0x1000, its length from "Len" (4).
    CStringRegister& AddText() {
        length = &map.Add<TestInteger>("Len", Props("Value=4"));
        return map.Add<CStringRegister>(
            "Text", Props("pPort=Port;Address=0x1000;pLength=Len;AccessMode=RO"));
    }
    TestInteger* length = nullptr;
};

} // namespace

TEST_F(SimpleStringTest, FixedLengthTextKeepsZeroBytes) {
    auto& str =
        map.Add<CStringRegister>("Name", Props("pPort=Port;Address=0x1000;Length=8;AccessMode=RW"));
    map.Build(); // no length node: stays unfinished, still usable with its Length
    memory.Poke(0x1000, {'e', 'X', 'c', 'i', 't', 'e', 0, 0});
    EXPECT_EQ(std::string("eXcite\0\0", 8), str.GetValue());
    str.SetValue("abc");
    // Exactly the text, no terminator or padding.
    EXPECT_EQ(std::make_tuple(1, int64_t{3}, std::vector<uint8_t>{'a', 'b', 'c', 'i'}),
              std::make_tuple(memory.WriteCount(0x1000), memory.Log().back().length,
                              memory.Peek(0x1000, 4)));
}

TEST_F(SimpleStringTest, LengthNodeDrivesTheRegisterLength) {
    auto& str = AddText();
    map.Build();
    EXPECT_EQ(std::make_pair(true, int64_t{4}),
              std::make_pair(str.IsInitialized(), str.GetLength()));
    memory.Poke(0x1000, {'a', 'b', 'c', 'd', 'e', 'f'});
    std::vector<std::string> texts{str.GetValue()};
    length->SetValue(6);
    texts.push_back(str.GetValue());
    length->SetValue(2); // the register never shrinks
    texts.push_back(str.GetValue() + " " + std::to_string(str.GetLength()));
    const int reads = memory.TotalReads();
    length->SetValue(0); // no port access for an empty text
    texts.push_back(str.GetValue());
    texts.push_back(std::to_string(memory.TotalReads() - reads));
    EXPECT_EQ((std::vector<std::string>{"abcd", "abcdef", "abcdef 6", "", "0"}), texts);
    EXPECT_NE(std::string::npos, str.GetInfo().find(", m_pLength_by="));
    // Hostile lengths are refused and leave the register's length.
    for (int64_t bad : {int64_t(-1), int64_t(INT64_MIN), int64_t(65537), int64_t(INT64_MAX)}) {
        length->SetValue(bad);
        EXPECT_EQ("OutOfRange: Text : string length " + std::to_string(bad) +
                      " is not between 0 and 65536",
                  Raised([&] { str.GetValue(); }));
    }
    EXPECT_EQ(6, str.GetLength());
}

TEST_F(SimpleStringTest, StaysUnfinishedWhileNotReadable) {
    auto& str = AddText();
    // A huge length from the node is refused at FinalConstruct too.
    map.Add<TestInteger>("Huge", Props("Value=1000000000"));
    auto& big = map.Add<CStringRegister>(
        "Big", Props("pPort=Memory;Address=0x1000;pLength=Huge;AccessMode=RO"), false);
    memory.SetOpen(false);
    map.Build();
    EXPECT_EQ(std::make_pair(false, std::string("CStringRegister : not present")),
              std::make_pair(str.IsInitialized(), str.GetInfo()));
    memory.SetOpen(true);
    str.FinalConstruct();
    EXPECT_TRUE(str.IsInitialized());
    EXPECT_EQ("LogicalError:", Raised([&] { str.FinalConstruct(); }).substr(0, 13));
    EXPECT_EQ("OutOfRange:", Raised([&] { big.FinalConstruct(); }).substr(0, 11));
    EXPECT_FALSE(big.IsInitialized());
}
