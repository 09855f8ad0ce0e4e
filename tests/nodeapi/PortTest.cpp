// CPort: forwarding to an attached implementation, zeros without one.
#include "nodeapi/Port.h"

#include <gtest/gtest.h>

#include "nodeapi/IntReg.h"
#include "support/MemoryPort.h"
#include "support/Raised.h"
#include "support/TestNodeMap.h"

using namespace NodeApi;
using KacqTest::Raised;
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
    const std::vector<uint8_t> read = buffer;
    port.Write(buffer.data(), 0x1234, 6);
    reg.SetValue(5);
    EXPECT_EQ(std::make_tuple(std::vector<uint8_t>(6, 0), RW, int64_t{0}),
              std::make_tuple(read, port.GetAccessMode(), reg.GetValue()));
    EXPECT_EQ("InvalidArgument:", Raised([&] { port.Read(nullptr, 0, 4); }).substr(0, 16));
}

TEST(PortTest, ForwardsTrafficStateAndNaming) {
    KacqTest::MemoryPort memory(0x100, 0x10);
    TestNodeMap map;
    auto& port = map.Add<CPort>("CameraPort");
    port.SetPortImpl(&memory);
    auto& reg = map.Add<CIntReg>(
        "Reg",
        {{"pPort", "CameraPort"}, {"Address", "0x100"}, {"Length", "4"}, {"AccessMode", "RW"}});
    map.Add<KacqTest::TestCategory>("Root", {{"pFeature", "Reg"}});
    map.Build();
    // The implementation takes the port's name and map, but the name finds the port.
    EXPECT_EQ(std::make_tuple(std::string("CameraPort"), static_cast<CNodeMap*>(&map),
                              static_cast<INode*>(&port)),
              std::make_tuple(memory.GetName(), memory.GetNodeMap(), map.GetNode("CameraPort")));
    reg.SetValue(0x01020304);
    EXPECT_EQ(std::make_pair(0x01020304u, 1),
              std::make_pair(memory.Peek32(0x100), memory.WriteCount(0x100)));
    // Access mode, changed flag and dependants (Reg and Root) are the
    // implementation's, none the port node's.
    memory.SetOpen(false);
    port.SetChanged(true);
    EXPECT_EQ(std::make_tuple(NP, NP, true, size_t{2}, size_t{0}),
              std::make_tuple(port.GetAccessMode(), reg.GetAccessMode(), memory.IsChanged(),
                              memory.GetDependants().size(), port.GetDependants().size()));
    EXPECT_EQ("LogicalError: Node already initialized", Raised([&] { port.SetPortImpl(&memory); }));
}

TEST(PortTest, ImplementationThatIsNoNodeIsRefused) {
    struct BarePort : IPort {
        void Read(void*, int64_t, int64_t) override {}
        void Write(const void*, int64_t, int64_t) override {}
    } bare;
    TestNodeMap map;
    auto& port = map.Add<CPort>("Port");
    port.SetPortImpl(&bare);
    EXPECT_EQ("LogicalError:", Raised([&] { port.SetNodeMap(&map, "Port"); }).substr(0, 13));
    EXPECT_EQ("LogicalError:", Raised([&] { port.GetAccessMode(); }).substr(0, 13));
}
