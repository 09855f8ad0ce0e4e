// CRegister: addresses, access modes, caching and invalidation, text forms.
#include "nodeapi/Register.h"

#include <gtest/gtest.h>

#include "nodeapi/Port.h"
#include "support/MemoryPort.h"
#include "support/Raised.h"
#include "support/TestNodeMap.h"

using namespace NodeApi;
using KacqTest::MemoryPort;
using KacqTest::Properties;
using KacqTest::TestCategory;
using KacqTest::TestInteger;
using KacqTest::TestNodeMap;
using Bytes = std::vector<uint8_t>;

namespace {

class RegisterTest : public testing::Test {
protected:
    RegisterTest() : memory(0x1000, 0x1000) {
        map.AddExternal(memory, "Memory");
        map.Add<CPort>("Port").SetPortImpl(&memory);
    }

    CRegister& AddRegister(const std::string& name, Properties extra) {
        Properties props{{"pPort", "Port"}, {"Length", "4"}, {"AccessMode", "RW"}};
        props.insert(props.end(), extra.begin(), extra.end());
        return map.Add<CRegister>(name, props);
    }

    // The four bytes a read gives.
    static Bytes Read(IRegister& reg) {
        Bytes b(4);
        reg.Get(b.data(), 4);
        return b;
    }
    static std::string ReadError(IRegister& reg) {
        return KacqTest::Raised([&] { Read(reg); }, nullptr);
    }
    static std::string WriteError(IRegister& reg) {
        uint8_t b[4] = {};
        return KacqTest::Raised([&] { reg.Set(b, 4); }, nullptr);
    }

    MemoryPort memory;
    TestNodeMap map;
};

} // namespace

TEST_F(RegisterTest, GetCopiesAtMostTheRegisterLength) {
    auto& reg = AddRegister("Reg", {{"Address", "0x1000"}});
    map.Build();
    memory.Poke(0x1000, {1, 2, 3, 4, 5, 6});
    Bytes small(2, 0xEE), large(6, 0xEE);
    reg.Get(small.data(), 1);
    reg.Get(large.data(), 6);
    EXPECT_EQ((Bytes{1, 0xEE}), small);
    EXPECT_EQ((Bytes{1, 2, 3, 4, 0xEE, 0xEE}), large);
    EXPECT_THROW(reg.Get(nullptr, 4), InvalidArgumentException);
    EXPECT_THROW(reg.Get(large.data(), -1), InvalidArgumentException);
    EXPECT_THROW(reg.Set(nullptr, 4), InvalidArgumentException);
}

TEST_F(RegisterTest, CachedReadsAndInvalidators) {
    auto& trigger = AddRegister("Trigger", {{"Address", "0x1100"}});
    auto& cached = AddRegister("Cached", {{"Address", "0x1000"}, {"pInvalidator", "Trigger"}});
    auto& uncached = AddRegister("Uncached", {{"Address", "0x1004"}, {"Cachable", "false"}});
    map.Add<TestCategory>("Root", {{"pFeature", "Cached"}, {"pFeature", "Uncached"}});
    map.Build();
    for (IRegister* reg : {&cached, &cached, &uncached, &uncached})
        Read(*reg);
    EXPECT_EQ(std::make_pair(1, 2),
              std::make_pair(memory.ReadCount(0x1000), memory.ReadCount(0x1004)));
    // The camera changes the register behind our back: the cache still answers.
    memory.Poke32(0x1000, 0x11223344);
    EXPECT_EQ(0, Read(cached)[0]);
    // Writing the invalidator drops the entry: the next read goes to the port.
    uint8_t one[4] = {0, 0, 0, 1};
    trigger.Set(one, 4);
    EXPECT_EQ(0x11, Read(cached)[0]);
    EXPECT_EQ(2, memory.ReadCount(0x1000));
    EXPECT_EQ((std::set<INode*>{map.GetNode("Root"), &cached}), trigger.GetDependants());
}

TEST_F(RegisterTest, WriteRefreshesTheCacheAndNotifies) {
    auto& reg = AddRegister("Reg", {{"Address", "0x1000"}});
    map.Build();
    int notified = 0;
    auto cb = MakeCallback([&](INode*) { ++notified; });
    reg.RegisterCallback(&cb);
    uint8_t data[4] = {9, 8, 7, 6};
    reg.Set(data, 4);
    EXPECT_EQ(std::make_pair(1, 1), std::make_pair(memory.WriteCount(0x1000), notified));
    EXPECT_EQ(0x09080706u, memory.Peek32(0x1000));
    EXPECT_TRUE(reg.IsChanged());
    EXPECT_EQ(6, Read(reg)[3]);
    EXPECT_EQ(0, memory.ReadCount(0x1000)); // served by the refreshed entry
}

TEST_F(RegisterTest, PortFailuresLeaveCacheAndChangedFlagAlone) {
    auto& reg = AddRegister("Reg", {{"Address", "0x1000"}});
    map.Build();
    memory.Poke32(0x1000, 0x01020304);
    const auto lost = std::make_exception_ptr(RuntimeException("link down", "x", 1));
    memory.FailOnce(0x1000, lost);
    EXPECT_THROW(Read(reg), RuntimeException);
    Read(reg); // nothing was cached by the failed read
    EXPECT_EQ(2, memory.ReadCount(0x1000));
    memory.FailOnce(0x1000, lost);
    uint8_t data[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    try {
        reg.Set(data, 4);
        FAIL();
    } catch (const RuntimeException& e) {
        EXPECT_STREQ("link down (x:1)", e.what()); // port errors pass unchanged
    }
    EXPECT_FALSE(reg.IsChanged());
    EXPECT_EQ(1, Read(reg)[0]); // the cache kept the last good contents
    EXPECT_EQ(2, memory.ReadCount(0x1000));
}

TEST_F(RegisterTest, AccessModeRulesAndMessages) {
    auto& present = map.Add<TestInteger>("Present", {{"Value", "1"}});
    auto& enabled = map.Add<TestInteger>("Enabled", {{"Value", "1"}});
    auto& ro = AddRegister("RoReg", {{"Address", "0x1000"}, {"AccessMode", "RO"}});
    auto& wo = AddRegister("WoReg", {{"Address", "0x1010"}, {"AccessMode", "WO"}});
    auto& cond = AddRegister(
        "CondReg", {{"Address", "0x1020"}, {"pIsPresent", "Present"}, {"pIsEnabled", "Enabled"}});
    map.Build();
    const std::string rt = "Runtime: Can't ";
    EXPECT_EQ((std::vector<EAccessMode>{RO, RW}),
              (std::vector<EAccessMode>{ro.GetAccessMode(), cond.GetAccessMode()}));
    EXPECT_EQ(rt + "write to Register 0000000000001000. Access mode is RO", WriteError(ro));
    EXPECT_EQ(rt + "read from Register 0x0000000000001010. Access mode is WO", ReadError(wo));
    EXPECT_EQ("<no exception>", WriteError(wo));
    enabled.SetValue(0);
    EXPECT_EQ(NE, cond.GetAccessMode());
    EXPECT_EQ(rt + "write to Register 0000000000001020. Access mode is NE", WriteError(cond));
    EXPECT_EQ("<no exception>", ReadError(cond));
    present.SetValue(0);
    EXPECT_EQ(NP, cond.GetAccessMode());
    // A closed port makes every register on it NP through its children.
    memory.SetOpen(false);
    EXPECT_EQ(NP, ro.GetAccessMode());
    EXPECT_EQ(rt + "read from Register 0x0000000000001000. Access mode is NP", ReadError(ro));
    EXPECT_EQ(rt + "write to Register 0000000000001010. Access mode is NP", WriteError(wo));
    EXPECT_EQ("Register : not present", ro.GetInfo());
}

TEST_F(RegisterTest, TextFormsAndInfo) {
    auto& reg = AddRegister("Reg", {{"Address", "0x1000"}});
    auto& big = AddRegister("Big", {{"Address", "0x1100"}, {"Length", "65"}});
    map.Build();
    memory.Poke(0x1000, {0x01, 0x02, 0x0A, 0x00});
    EXPECT_EQ("0x01020a00 ...", reg.ToString() + " " + big.ToString());
    // Bytes not given keep their last read contents.
    reg.FromString("0xFFee");
    EXPECT_EQ(0xFFEE0A00u, memory.Peek32(0x1000));
    reg.FromString("&H10");
    EXPECT_EQ(0x10EE0A00u, memory.Peek32(0x1000));
    reg.FromString("2021222324"); // no prefix: read from the start, stops when full
    EXPECT_EQ(0x20212223u, memory.Peek32(0x1000));
    EXPECT_THROW(reg.FromString("0xZZ"), PropertyException);
    EXPECT_EQ(0x20212223u, memory.Peek32(0x1000));
}

TEST_F(RegisterTest, DescriptionErrorsAtFinalConstruct) {
    for (const char* length : {"-1", "1048577"}) {
        TestNodeMap local;
        auto& reg = local.Add<CRegister>("Reg", {{"Length", length}});
        reg.SetNodeMap(&local, "Reg");
        reg.SetProperty("Length", length);
        EXPECT_THROW(reg.FinalConstruct(), PropertyException) << length;
        EXPECT_FALSE(reg.IsInitialized());
    }
    // A register without a port refuses access instead of crashing.
    TestNodeMap local;
    auto& reg = local.Add<CRegister>("NoPort", {{"Length", "4"}, {"AccessMode", "RW"}});
    local.Build();
    EXPECT_THROW(Read(reg), LogicalErrorException);
}
