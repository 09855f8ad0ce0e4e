// CPort: forwarding to an attached implementation, zeros without one.
#include "nodeapi/Port.h"

#include <gtest/gtest.h>

#include "nodeapi/IntReg.h"
#include "support/MemoryPort.h"
#include "support/Raised.h"
#include "support/TestNodeMap.h"

using namespace NodeApi;
using KacqTest::MemoryPort;
using KacqTest::TestCategory;
using KacqTest::TestNodeMap;

TEST(PortTest, UnattachedPortReadsZerosAndIgnoresWrites) {
    TestNodeMap map;
    auto& port = map.Add<CPort>("Port");
    auto& reg = map.Add<CIntReg>("Reg", {{"pPort", "Port"},
                                         {"Address", "0x10"},
                                         {"Length", "4"},
                                         {"AccessMode", "RW"},
                                         {"Cachable", "false"}});
    map.Build();
    std::vector<uint8_t> buffer(6, 0xAB);
    port.Read(buffer.data(), 0x1234, 6);
    EXPECT_EQ(std::vector<uint8_t>(6, 0), buffer);
    port.Write(buffer.data(), 0x1234, 6);
    EXPECT_EQ(RW, port.GetAccessMode());
    reg.SetValue(5);
    EXPECT_EQ(0, reg.GetValue());
    EXPECT_THROW(port.Read(nullptr, 0, 4), InvalidArgumentException);
}

TEST(PortTest, ForwardsTrafficStateAndNaming) {
    MemoryPort memory(0x100, 0x10);
    TestNodeMap map;
    auto& port = map.Add<CPort>("CameraPort");
    port.SetPortImpl(&memory);
    map.Add<CIntReg>(
        "Reg",
        {{"pPort", "CameraPort"}, {"Address", "0x100"}, {"Length", "4"}, {"AccessMode", "RW"}});
    map.Add<TestCategory>("Root", {{"pFeature", "Reg"}});
    map.Build();
    // The implementation takes the port's name and map, but the name finds the port.
    EXPECT_EQ("CameraPort", memory.GetName());
    EXPECT_EQ(&map, memory.GetNodeMap());
    EXPECT_EQ(&port, map.GetNode("CameraPort"));
    map.Get<CIntReg>("Reg").SetValue(0x01020304);
    EXPECT_EQ(std::make_pair(0x01020304u, 1),
              std::make_pair(memory.Peek32(0x100), memory.WriteCount(0x100)));

    // Access mode, changed flag and dependants are the implementation's.
    memory.SetOpen(false);
    EXPECT_EQ(std::make_pair(NP, NP),
              std::make_pair(port.GetAccessMode(), map.Get<CIntReg>("Reg").GetAccessMode()));
    port.SetChanged(true);
    EXPECT_TRUE(memory.IsChanged());
    // Reg and Root depend on the implementation, nothing on the port node.
    EXPECT_EQ(std::make_pair(size_t{2}, size_t{0}),
              std::make_pair(memory.GetDependants().size(), port.GetDependants().size()));
    // Attaching after FinalConstruct is refused.
    EXPECT_EQ("LogicalError: Node already initialized",
              KacqTest::Raised([&] { port.SetPortImpl(&memory); }));
}

TEST(PortTest, ImplementationThatIsNoNodeIsRefused) {
    struct BarePort : IPort {
        void Read(void*, int64_t, int64_t) override {}
        void Write(const void*, int64_t, int64_t) override {}
    } bare;
    TestNodeMap map;
    auto& port = map.Add<CPort>("Port");
    port.SetPortImpl(&bare);
    EXPECT_THROW(port.SetNodeMap(&map, "Port"), LogicalErrorException);
    EXPECT_THROW(port.GetAccessMode(), LogicalErrorException);
}
