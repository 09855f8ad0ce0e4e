// CRegister, CStringRegister, CPort, CDcamAccessCtrlReg and CopyData over the
// fixture's MemoryPort, which counts and logs every access.
#include "nodeapi/Register.h"

#include <gtest/gtest.h>

#include <cstring>

#include "nodeapi/DcamAccessCtrlReg.h"
#include "nodeapi/IntReg.h"
#include "nodeapi/Port.h"
#include "nodeapi/RegisterSetHelper.h"
#include "nodeapi/SimpleString.h"
#include "support/PortFixture.h"

using namespace NodeApi;
using KacqTest::Props;
using KacqTest::Raised;
using KacqTest::TestInteger;
using Bytes = std::vector<uint8_t>;
using Texts = std::vector<std::string>;
using DcamAccessCtrlRegTest = KacqTest::PortFixture;

namespace {

class RegisterTest : public KacqTest::PortFixture {
protected:
    CRegister& AddRegister(const std::string& name, const std::string& extra) {
        return map.Add<CRegister>(name, Props("pPort=Port;Length=4;AccessMode=RW;" + extra));
    }
    CStringRegister& AddText() {
        length = &map.Add<TestInteger>("Len", Props("Value=4"));
        return map.Add<CStringRegister>(
            "Text", Props("pPort=Port;Address=0x1000;pLength=Len;AccessMode=RO"));
    }
    static Bytes Read(IRegister& reg) {
        Bytes b(4);
        reg.Get(b.data(), 4);
        return b;
    }
    static std::string ReadError(IRegister& reg) {
        return Raised([&] { Read(reg); });
    }
    static std::string WriteError(IRegister& reg) {
        uint8_t b[4] = {};
        return Raised([&] { reg.Set(b, 4); });
    }
    TestInteger* length = nullptr;
};

using SimpleStringTest = RegisterTest;

const char kLock[] = "pPort=Port;Address=0x1000;Length=8;AccessMode=RW";

} // namespace

TEST_F(RegisterTest, GetCopiesAtMostTheRegisterLengthAndSetRefreshesTheCache) {
    auto& reg = AddRegister("Reg", "Address=0x1000");
    map.Build();
    memory.Poke(0x1000, {1, 2, 3, 4, 5, 6});
    Bytes small(2, 0xEE), large(6, 0xEE);
    reg.Get(small.data(), 1);
    reg.Get(large.data(), 6);
    EXPECT_EQ(std::make_pair(Bytes{1, 0xEE}, Bytes{1, 2, 3, 4, 0xEE, 0xEE}),
              std::make_pair(small, large));
    EXPECT_EQ((Texts{"InvalidArgument", "InvalidArgument", "InvalidArgument"}),
              (Texts{Raised([&] { reg.Get(nullptr, 4); }).substr(0, 15),
                     Raised([&] { reg.Get(large.data(), -1); }).substr(0, 15),
                     Raised([&] { reg.Set(nullptr, 4); }).substr(0, 15)}));
    int notified = 0;
    auto cb = MakeCallback([&](INode*) { ++notified; });
    reg.RegisterCallback(&cb);
    memory.ResetCounts();
    uint8_t data[4] = {9, 8, 7, 6};
    reg.Set(data, 4);
    EXPECT_EQ((std::vector<int64_t>{1, 1, 0x09080706, 1, 6, 0}),
              (std::vector<int64_t>{memory.WriteCount(0x1000), notified, memory.Peek32(0x1000),
                                    reg.IsChanged(), Read(reg)[3], memory.ReadCount(0x1000)}));
}

TEST_F(RegisterTest, CachedReadsAndInvalidators) {
    auto& trigger = AddRegister("Trigger", "Address=0x10F0");
    auto& cached = AddRegister("Cached", "Address=0x1000;pInvalidator=Trigger");
    auto& uncached = AddRegister("Uncached", "Address=0x1004;Cachable=false");
    map.Add<KacqTest::TestCategory>("Root", Props("pFeature=Cached;pFeature=Uncached"));
    map.Build();
    for (IRegister* reg : {&cached, &cached, &uncached, &uncached})
        Read(*reg);
    EXPECT_EQ(std::make_pair(1, 2),
              std::make_pair(memory.ReadCount(0x1000), memory.ReadCount(0x1004)));
    // Changed behind our back: the cache answers until the invalidator is written.
    memory.Poke32(0x1000, 0x11223344);
    const int before = Read(cached)[0];
    uint8_t one[4] = {0, 0, 0, 1};
    trigger.Set(one, 4);
    EXPECT_EQ((std::vector<int>{0, 0x11, 2}),
              (std::vector<int>{before, Read(cached)[0], memory.ReadCount(0x1000)}));
    EXPECT_EQ((std::set<INode*>{map.GetNode("Root"), &cached}), trigger.GetDependants());
}

TEST_F(RegisterTest, PortFailuresLeaveCacheAndChangedFlagAlone) {
    auto& reg = AddRegister("Reg", "Address=0x1000");
    map.Build();
    memory.Poke32(0x1000, 0x01020304);
    const auto lost = std::make_exception_ptr(RuntimeException("link down", "x", 1));
    memory.FailOnce(0x1000, lost);
    EXPECT_EQ("Runtime: link down", ReadError(reg));
    Read(reg);
    EXPECT_EQ(2, memory.ReadCount(0x1000));
    memory.FailOnce(0x1000, lost);
    uint8_t data[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ("Runtime: link down (x:1)", KacqTest::RaisedWhere([&] { reg.Set(data, 4); }));
    EXPECT_EQ((std::vector<int>{false, 1, 2}),
              (std::vector<int>{reg.IsChanged(), Read(reg)[0], memory.ReadCount(0x1000)}));
}

TEST_F(RegisterTest, AccessModeRulesAndMessages) {
    auto& present = map.Add<TestInteger>("Present", Props("Value=1"));
    auto& enabled = map.Add<TestInteger>("Enabled", Props("Value=1"));
    auto& ro = AddRegister("RoReg", "Address=0x1000;AccessMode=RO");
    auto& wo = AddRegister("WoReg", "Address=0x1010;AccessMode=WO");
    auto& cond = AddRegister("CondReg", "Address=0x1020;pIsPresent=Present;pIsEnabled=Enabled");
    map.Build();
    const std::string rt = "Runtime: Can't ", none = "<no exception>";
    EXPECT_EQ((Texts{"RO", "RW", rt + "write to Register 0000000000001000. Access mode is RO",
                     rt + "read from Register 0x0000000000001010. Access mode is WO", none}),
              (Texts{AccessModeText(ro.GetAccessMode()), AccessModeText(cond.GetAccessMode()),
                     WriteError(ro), ReadError(wo), WriteError(wo)}));
    enabled.SetValue(0);
    EXPECT_EQ((Texts{"NE", rt + "write to Register 0000000000001020. Access mode is NE", none}),
              (Texts{AccessModeText(cond.GetAccessMode()), WriteError(cond), ReadError(cond)}));
    present.SetValue(0);
    EXPECT_EQ(NP, cond.GetAccessMode());
    memory.SetOpen(false);
    EXPECT_EQ(
        (Texts{"NP", rt + "read from Register 0x0000000000001000. Access mode is NP",
               rt + "write to Register 0000000000001010. Access mode is NP",
               "Register : not present"}),
        (Texts{AccessModeText(ro.GetAccessMode()), ReadError(ro), WriteError(wo), ro.GetInfo()}));
}

TEST_F(RegisterTest, TextFormsAndInfo) {
    auto& reg = AddRegister("Reg", "Address=0x1000");
    auto& big = AddRegister("Big", "Address=0x1040;Length=65");
    map.Build();
    memory.Poke(0x1000, {0x01, 0x02, 0x0A, 0x00});
    EXPECT_EQ("0x01020a00 ...", reg.ToString() + " " + big.ToString());
    // Bytes not given keep their contents; unprefixed text stops when full.
    std::vector<uint32_t> seen;
    for (const char* text : {"0xFFee", "&H10", "2021222324"}) {
        reg.FromString(text);
        seen.push_back(memory.Peek32(0x1000));
    }
    EXPECT_EQ("Property:", Raised([&] { reg.FromString("0xZZ"); }).substr(0, 9));
    seen.push_back(memory.Peek32(0x1000));
    EXPECT_EQ((std::vector<uint32_t>{0xFFEE0A00u, 0x10EE0A00u, 0x20212223u, 0x20212223u}), seen);
}

TEST_F(RegisterTest, DescriptionErrorsAtFinalConstruct) {
    KacqTest::TestNodeMap local;
    auto& low = local.Add<CRegister>("Low", Props("Length=-1"), false);
    auto& high = local.Add<CRegister>("High", Props("Length=1048577"), false);
    auto& noPort = local.Add<CRegister>("NoPort", Props("Length=4;AccessMode=RW"));
    local.Build();
    const std::string text = " : property 'Length' : length ";
    EXPECT_EQ((Texts{"Property: Low" + text + "-1 is not between 0 and 1048576",
                     "Property: High" + text + "1048577 is not between 0 and 1048576", "00",
                     "LogicalError: Node NoPort: no port (pPort) given"}),
              (Texts{Raised([&] { low.FinalConstruct(); }), Raised([&] { high.FinalConstruct(); }),
                     std::to_string(low.IsInitialized()) + std::to_string(high.IsInitialized()),
                     ReadError(noPort)}));
}

TEST(PortTest, UnattachedReadsZerosIgnoresWritesAndABareImplementationIsRefused) {
    KacqTest::TestNodeMap map;
    auto& port = map.Add<CPort>("Port");
    auto& reg = map.Add<CIntReg>(
        "Reg", Props("pPort=Port;Address=0x10;Length=4;AccessMode=RW;Cachable=false"));
    map.Build();
    std::vector<uint8_t> buffer(6, 0xAB);
    port.Read(buffer.data(), 0x1234, 6);
    const std::vector<uint8_t> read = buffer;
    port.Write(buffer.data(), 0x1234, 6);
    reg.SetValue(5);
    EXPECT_EQ(std::make_tuple(std::vector<uint8_t>(6, 0), RW, int64_t{0}),
              std::make_tuple(read, port.GetAccessMode(), reg.GetValue()));
    EXPECT_EQ("InvalidArgument:", Raised([&] { port.Read(nullptr, 0, 4); }).substr(0, 16));
    struct BarePort : IPort {
        void Read(void*, int64_t, int64_t) override {}
        void Write(const void*, int64_t, int64_t) override {}
    } bare;
    KacqTest::TestNodeMap other;
    auto& refused = other.Add<CPort>("Port");
    refused.SetPortImpl(&bare);
    EXPECT_EQ("LogicalError:|LogicalError:",
              Raised([&] { refused.SetNodeMap(&other, "Port"); }).substr(0, 13) + "|" +
                  Raised([&] { refused.GetAccessMode(); }).substr(0, 13));
}

TEST(PortTest, ForwardsTrafficStateAndNaming) {
    KacqTest::MemoryPort memory(0x100, 0x10);
    KacqTest::TestNodeMap map;
    auto& port = map.Add<CPort>("CameraPort");
    port.SetPortImpl(&memory);
    auto& reg =
        map.Add<CIntReg>("Reg", Props("pPort=CameraPort;Address=0x100;Length=4;AccessMode=RW"));
    map.Add<KacqTest::TestCategory>("Root", Props("pFeature=Reg"));
    map.Build();
    EXPECT_EQ(std::make_tuple(std::string("CameraPort"), static_cast<CNodeMap*>(&map),
                              static_cast<INode*>(&port)),
              std::make_tuple(memory.GetName(), memory.GetNodeMap(), map.GetNode("CameraPort")));
    reg.SetValue(0x01020304);
    EXPECT_EQ(std::make_pair(0x01020304u, 1),
              std::make_pair(memory.Peek32(0x100), memory.WriteCount(0x100)));
    // Dependants (Reg and Root) are the implementation's, none the port node's.
    memory.SetOpen(false);
    port.SetChanged(true);
    EXPECT_EQ(std::make_tuple(NP, NP, true, size_t{2}, size_t{0}),
              std::make_tuple(port.GetAccessMode(), reg.GetAccessMode(), memory.IsChanged(),
                              memory.GetDependants().size(), port.GetDependants().size()));
    EXPECT_EQ("LogicalError: Node already initialized", Raised([&] { port.SetPortImpl(&memory); }));
}

TEST_F(DcamAccessCtrlRegTest, WritesIdentifierAndTimeoutThenReads) {
    auto& ctrl = map.Add<CDcamAccessCtrlReg>(
        "Lock", Props(std::string(kLock) + ";FeatureID=0x0030533B73C3;Timeout=0x3E8"));
    map.Build();
    EXPECT_EQ(std::make_pair(RO, int64_t{1}),
              std::make_pair(ctrl.GetAccessMode(), ctrl.GetValue()));
    // 0x0030533B73C3 >> 16 = 0x0030533B, then (0x73C3 << 16) | 0x3E8, as
    // big-endian quadlets; then one read of 8 bytes.
    std::string log;
    for (const auto& r : memory.Log())
        log += r.op + std::to_string(r.address - 0x1000) + ":" + std::to_string(r.length) + " ";
    EXPECT_EQ(
        std::make_pair(std::string("W0:4 W4:4 R0:8 "), Bytes{0, 48, 83, 59, 115, 195, 3, 232}),
        std::make_pair(log, memory.Peek(0x1000, 8)));
    EXPECT_EQ("1", ctrl.ToString());
}

TEST_F(DcamAccessCtrlRegTest, AllOnesReadsAsZeroAndWritesAreIgnored) {
    struct OnesPort : KacqTest::MemoryPort {
        OnesPort() : MemoryPort(0x1000, 0x10) {}
        void Read(void* destination, int64_t, int64_t length) override {
            std::memset(destination, 0xFF, static_cast<size_t>(length));
        }
    } ones;
    KacqTest::TestNodeMap onesMap;
    onesMap.AddExternal(ones, "Port");
    auto& ctrl = onesMap.Add<CDcamAccessCtrlReg>("Lock", Props(kLock));
    auto& shortOne = onesMap.Add<CDcamAccessCtrlReg>("Short", Props("Length=4"), false);
    onesMap.Build();
    EXPECT_EQ((std::tuple<int64_t, std::string>{0, "0"}),
              (std::tuple<int64_t, std::string>{ctrl.GetValue(), ctrl.ToString()}));
    const int writes = ones.TotalWrites();
    ctrl.SetValue(1);
    ctrl.FromString("1");
    uint8_t b[8] = {};
    ctrl.Set(b, 8);
    EXPECT_EQ(std::make_tuple(writes, int64_t{0}, int64_t{1}, int64_t{0}),
              std::make_tuple(ones.TotalWrites(), ctrl.GetMin(), ctrl.GetMax(), ctrl.GetInc()));
    ones.SetOpen(false);
    EXPECT_EQ("Runtime: Can't read from Register 0x1000. Access mode is NP|Register : not present",
              Raised([&] { ctrl.GetValue(); }) + "|" + ctrl.GetInfo());
    EXPECT_EQ("Property:", Raised([&] { shortOne.FinalConstruct(); }).substr(0, 9));
}

TEST(RegisterSetHelperTest, CopyDataChecksSizesAndBuffers) {
    uint8_t src[5] = {1, 2, 3, 4, 5}, dst[5] = {};
    EXPECT_EQ((std::vector<int64_t>{5, 5}),
              (std::vector<int64_t>{CopyData(dst, 5, src, 5), dst[4]}));
    EXPECT_EQ(0, CopyData(nullptr, 0, nullptr, 0));
    // A 64-bit length whose low 32 bits match must not pass.
    EXPECT_EQ("OutOfRange: CopyData : Destination size (4294967297) does not fit source size (1) "
              "(nodeapi/RegisterSetHelper:31)",
              KacqTest::RaisedWhere([&] { CopyData(dst, (int64_t(1) << 32) + 1, src, 1); }));
    EXPECT_EQ("Runtime: Invalid user buffer (nodeapi/RegisterSetHelper:37)",
              KacqTest::RaisedWhere([&] { CopyData(nullptr, 1, src, 1); }));
}

TEST_F(SimpleStringTest, FixedLengthTextKeepsZeroBytes) {
    auto& str =
        map.Add<CStringRegister>("Name", Props("pPort=Port;Address=0x1000;Length=8;AccessMode=RW"));
    map.Build(); // no length node: unfinished, still usable with its Length
    memory.Poke(0x1000, {'e', 'X', 'c', 'i', 't', 'e', 0, 0});
    EXPECT_EQ(std::string("eXcite\0\0", 8), str.GetValue());
    str.SetValue("abc");
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
    length->SetValue(0);
    texts.push_back(str.GetValue());
    texts.push_back(std::to_string(memory.TotalReads() - reads));
    EXPECT_EQ((std::vector<std::string>{"abcd", "abcdef", "abcdef 6", "", "0"}), texts);
    EXPECT_NE(std::string::npos, str.GetInfo().find(", m_pLength_by="));
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
