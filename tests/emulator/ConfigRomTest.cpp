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

// Reads the 1 KiB window in one block read, as the feature tree does.
std::vector<uint32_t> ReadRomWindow(Camera& cam) {
    uint8_t bytes[0x400];
    EXPECT_EQ(Status::Ok, cam.space.Read(kRomBase, bytes, sizeof bytes));
    std::vector<uint32_t> q(0x100);
    for (size_t i = 0; i < q.size(); ++i) {
        q[i] = uint32_t(bytes[4 * i]) << 24 | uint32_t(bytes[4 * i + 1]) << 16 |
               uint32_t(bytes[4 * i + 2]) << 8 | bytes[4 * i + 3];
    }
    return q;
}

// Checks a directory or leaf header's CRC; returns its length.
size_t CheckedBlock(const std::vector<uint32_t>& rom, size_t header) {
    const size_t length = rom.at(header) >> 16;
    EXPECT_LT(header + length, rom.size());
    EXPECT_EQ(rom[header] & 0xFFFF, Crc16(&rom[header + 1], length)) << "block at " << header;
    return length;
}

// Finds an entry with `key` in the directory at `dir`; returns its index or 0.
size_t FindEntry(const std::vector<uint32_t>& rom, size_t dir, uint8_t key) {
    const size_t length = CheckedBlock(rom, dir);
    for (size_t i = dir + 1; i <= dir + length; ++i) {
        if (rom[i] >> 24 == key) {
            return i;
        }
    }
    return 0;
}

std::string LeafText(const std::vector<uint32_t>& rom, size_t leaf) {
    const size_t length = CheckedBlock(rom, leaf);
    EXPECT_GE(length, 3u);
    EXPECT_EQ(0u, rom[leaf + 1]) << "descriptor type and specifier";
    EXPECT_EQ(0u, rom[leaf + 2]) << "width, character set, language";
    std::string text;
    for (size_t i = leaf + 3; i <= leaf + length; ++i) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            const char c = char((rom[i] >> shift) & 0xFF);
            if (c != 0) {
                text += c;
            }
        }
    }
    return text;
}

TEST(ConfigRom, EveryModelPublishesAnIidcUnitWithCorrectCrcs) {
    for (const ModelSpec& model : Models()) {
        SCOPED_TRACE(model.key);
        Camera cam(model);
        const std::vector<uint32_t> rom = ReadRomWindow(cam);

        // Bus information block: info_length 4, ROM CRC over crc_length quadlets.
        EXPECT_EQ(4u, rom[0] >> 24);
        const size_t crcLength = (rom[0] >> 16) & 0xFF;
        EXPECT_EQ(rom[0] & 0xFFFF, Crc16(&rom[1], crcLength));
        EXPECT_EQ(0x31333934u, rom[1]);
        EXPECT_EQ(model.eui64, uint64_t(rom[3]) << 32 | rom[4]);

        // Root directory -> unit directory with the camera unit specifier.
        const size_t root = 5;
        const size_t unitEntry = FindEntry(rom, root, 0xD1);
        ASSERT_NE(0u, unitEntry);
        const size_t unit = unitEntry + (rom[unitEntry] & 0xFFFFFF);
        EXPECT_EQ(unitEntry + (rom[unitEntry] & 0xFFFFFF), unit);
        const size_t specifier = FindEntry(rom, unit, 0x12);
        ASSERT_NE(0u, specifier);
        EXPECT_EQ(0x00A02Du, rom[specifier] & 0xFFFFFF);
        const size_t version = FindEntry(rom, unit, 0x13);
        ASSERT_NE(0u, version);
        EXPECT_EQ(0x000102u, rom[version] & 0xFFFFFF);

        // Unit-dependent directory: command base and the two text leaves.
        const size_t depEntry = FindEntry(rom, unit, 0xD4);
        ASSERT_NE(0u, depEntry);
        const size_t dep = depEntry + (rom[depEntry] & 0xFFFFFF);
        const size_t base = FindEntry(rom, dep, 0x40);
        ASSERT_NE(0u, base);
        EXPECT_EQ(kCommandBase, kInitialSpace + 4ull * (rom[base] & 0xFFFFFF));
        const size_t vendor = FindEntry(rom, dep, 0x81);
        const size_t modelKey = FindEntry(rom, dep, 0x82);
        ASSERT_NE(0u, vendor);
        ASSERT_NE(0u, modelKey);
        EXPECT_EQ(model.vendorName, LeafText(rom, vendor + (rom[vendor] & 0xFFFFFF)));
        EXPECT_EQ(model.modelName, LeafText(rom, modelKey + (rom[modelKey] & 0xFFFFFF)));

        // Past the ROM's end the window reads 0.
        for (size_t i = crcLength + 1; i < rom.size(); ++i) {
            ASSERT_EQ(0u, rom[i]) << "quadlet " << i;
        }
    }
}

TEST(ConfigRom, IsReadOnly) {
    Camera cam(Vga());
    const uint32_t before = cam.R(kRomBase + 4);
    cam.W(kRomBase + 4, 0x31333935);
    cam.W(kRomBase + 0x3FC, 0x12345678);
    EXPECT_EQ(before, cam.R(kRomBase + 4));
    EXPECT_EQ(0u, cam.R(kRomBase + 0x3FC));
}

} // namespace
} // namespace EmulatorTest

namespace EmulatorTest {
namespace {

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
    EXPECT_EQ(4u, rom[0] >> 24);
    EXPECT_EQ(rom.size() - 1, (rom[0] >> 16) & 0xFF);
    EXPECT_EQ(rom[0] & 0xFFFF, Crc16(&rom[1], rom.size() - 1));
}

} // namespace
} // namespace EmulatorTest
