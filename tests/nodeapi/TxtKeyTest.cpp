// CTxtKey: properties, reading through the parser, read-only writes, dump and
// final construction.
#include "nodeapi/TxtKey.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/MemoryPort.h"
#include "support/TestNodeMap.h"

using namespace NodeApi;
using KacqTest::MemoryPort;
using KacqTest::TestInteger;
using KacqTest::TestNodeMap;

namespace {

constexpr int64_t kRomAddress = 0xFFFFF0000400;

// A minimal IIDC ROM, quadlet by quadlet: bus information block, a root
// directory with the unit directory, the unit directory with the unit
// specifier and the vendor text leaf "Vendor" (language 0).
const uint32_t kRom[] = {
    0x04000000, 0x31333934, 0x20FF9002, 0x00A0B100, 0x12345678, // bus information block
    0x00010000, 0xD1000001,                                     // root: unit directory
    0x00020000, 0x1200A02D, 0x81000001,                         // unit: specifier ID, vendor
    0x00040000, 0x00000000, 0x00000000, 0x56656E64, 0x6F720000, // leaf "Vendor"
};

std::vector<uint8_t> RomBytes() {
    std::vector<uint8_t> bytes(0x400, 0);
    for (size_t i = 0; i < sizeof kRom / sizeof kRom[0]; ++i) {
        for (size_t b = 0; b < 4; ++b)
            bytes[i * 4 + b] = static_cast<uint8_t>(kRom[i] >> (24 - 8 * b));
    }
    return bytes;
}

struct Fixture {
    MemoryPort port{kRomAddress, 0x400};
    TestNodeMap map;

    Fixture() {
        port.Poke(kRomAddress, RomBytes());
        map.AddExternal(port, "CameraPort");
        map.Add<CIEEE1212Parser>(
            "ConfRom",
            {{"Address", "0xFFFFF0000400"}, {"Length", "0x400"}, {"pPort", "CameraPort"}});
        map.Add<TestInteger>("Number");
    }
};

// Runs call and answers the description of the exception E it raises.
template <class E, class F>
std::string ErrorOf(F call) {
    try {
        call();
    } catch (const E& e) {
        return e.GetDescription();
    }
    return "<none>";
}

} // namespace

TEST(TxtKeyTest, ReadsTheTextOfItsKeyByte) {
    Fixture f;
    auto& vendor = f.map.Add<CTxtKey>("VendorName", {{"p1212Parser", "ConfRom"}, {"Key", "0x81"}});
    // The lookup uses the low byte; the message names the whole key.
    auto& wide = f.map.Add<CTxtKey>("Wide", {{"p1212Parser", "ConfRom"}, {"Key", "0x181"}});
    auto& model = f.map.Add<CTxtKey>("ModelName", {{"p1212Parser", "ConfRom"}, {"Key", "130"}});
    f.map.Build();
    EXPECT_EQ("TxtKey : Key = 0x81, Value = ", vendor.GetInfo());
    EXPECT_EQ(std::string("Vendor\0\0", 8), vendor.GetValue());
    EXPECT_EQ(std::string("Vendor\0\0", 8), vendor());
    EXPECT_EQ(std::string("Vendor\0\0", 8), wide.ToString());
    EXPECT_EQ("TxtKey : Key = 0x81, Value = Vendor", vendor.GetInfo());
    EXPECT_EQ("Key 0x82, not found", ErrorOf<RuntimeException>([&] { model.GetValue(); }));
    EXPECT_EQ("TxtKey : Key = 0x82, Value = ", model.GetInfo());
    EXPECT_EQ(1, f.port.TotalReads());
    EXPECT_EQ(RO, vendor.GetAccessMode());
    // The parser is the key's child: a closed port makes the key absent.
    NodeList_t children;
    vendor.GetChildren(children);
    ASSERT_EQ(1u, children.size());
    EXPECT_EQ("ConfRom", children[0]->GetName());
    f.port.SetOpen(false);
    EXPECT_EQ(NP, vendor.GetAccessMode());
}

TEST(TxtKeyTest, IsReadOnly) {
    Fixture f;
    auto& vendor = f.map.Add<CTxtKey>("VendorName", {{"p1212Parser", "ConfRom"}, {"Key", "0x81"}});
    f.map.Build();
    const std::string message = "TxtKey : VendorName SetValue to Other failed. TxtKey is read only";
    EXPECT_EQ(message, ErrorOf<LogicalErrorException>([&] { vendor.SetValue("Other"); }));
    EXPECT_EQ(message, ErrorOf<LogicalErrorException>(
                           [&] { static_cast<IString&>(vendor) = std::string("Other"); }));
    EXPECT_EQ(message, ErrorOf<LogicalErrorException>([&] { vendor.FromString("Other"); }));
    EXPECT_EQ(0, f.port.TotalWrites());
    EXPECT_EQ(std::string("Vendor\0\0", 8), vendor.GetValue());
}

TEST(TxtKeyTest, WithoutAParserReadsAreRefused) {
    Fixture f;
    auto& orphan = f.map.Add<CTxtKey>("Orphan", {{"Key", "0x81"}}, false);
    f.map.Build();
    // Refused after the node is finished; a read of the finished node fails
    // the same way instead of crashing.
    EXPECT_EQ("pParser not specified", ErrorOf<RuntimeException>([&] { orphan.FinalConstruct(); }));
    EXPECT_TRUE(orphan.IsInitialized());
    EXPECT_EQ("pParser not specified", ErrorOf<RuntimeException>([&] { orphan.GetValue(); }));
}
