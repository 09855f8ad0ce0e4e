// The configuration ROM as a host parses it: CRCs, bus information block,
// IIDC unit directory, command base and text leaves.
#include "EmulatorTestSupport.h"

#include "emulator/ConfigRom.h"

#include <vector>

namespace EmulatorTest {
namespace {

TEST(ConfigRom, ReproducesTheReferenceExampleQuadletForQuadlet) {
    ModelSpec example = Vga();
    example.vendorName = "EXAMPLE";
    example.modelName = "EMU-1";
    example.eui64 = 0xACDE480000000001ull;
    const std::vector<uint32_t> expected = {
        0x041BE329, 0x31333934, 0x20FF9002, 0xACDE4800, 0x00000001, 0x00036EB5, 0x03ACDE48,
        0x0C0083C0, 0xD1000001, 0x0003937D, 0x1200A02D, 0x13000102, 0xD4000001, 0x0004C939,
        0x403C0000, 0x81000003, 0x82000007, 0x38000010, 0x00043738, 0x00000000, 0x00000000,
        0x4558414D, 0x504C4500, 0x0004C98E, 0x00000000, 0x00000000, 0x454D552D, 0x31000000};
    EXPECT_EQ(expected, BuildConfigRom(example, 0x3C0000));
}

TEST(ConfigRom, IsReadOnly) {
    Camera cam(Vga());
    const uint32_t before = cam.R(kRomBase + 4);
    cam.W(kRomBase + 4, 0x31333935);
    cam.W(kRomBase + 0x3FC, 0x12345678);
    EXPECT_EQ((Q{before, 0}), cam.Rs({kRomBase + 4, kRomBase + 0x3FC}));
}

TEST(ConfigRom, OverlongNamesAreCutSoTheRomStaysWithinItsWindow) {
    const std::string longName(300, 'N');
    ModelSpec model = Vga();
    model.vendorName = longName.c_str();
    model.modelName = longName.c_str();
    model.versionText = longName.c_str();
    RegisterSpace space(model);
    EXPECT_TRUE(space.CheckTables().empty());
    const std::vector<uint32_t>& rom = space.ConfigRom();
    ASSERT_LE(rom.size(), 0x100u);
    EXPECT_EQ(rom[0], 4u << 24 | uint32_t(rom.size() - 1) << 16 | Crc16(&rom[1], rom.size() - 1));
}

} // namespace
} // namespace EmulatorTest
