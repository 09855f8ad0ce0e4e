// The in-memory register space as the bus sees it, its table check, the configuration ROM.
#include "EmulatorTestSupport.h"

#include "emulator/ConfigRom.h"

#include <algorithm>
#include <tuple>

namespace EmulatorTest {
namespace {

TEST(RegisterSpace, RefusesBadAccessesWithTheirOwnStatus) {
    Camera cam;
    uint8_t buffer[16] = {};
    constexpr Status U = Status::Unmapped, M = Status::Misaligned, L = Status::BadLength;
    const uint64_t cmd = kCommandBase + 0x400;
    const std::tuple<const char*, uint64_t, size_t, Status> rows[] = {
        {"initial space base, nothing there", kInitialSpace, 4, U},
        {"address 0", 0, 4, U},
        {"low 32 bits only", 0xF0F00000, 4, U},
        {"between command block and Format_7", kCommandBase + kCommandSize, 4, U},
        {"past the last ROM quadlet", kRomBase + kRomSize, 4, U},
        {"block running off the ROM window", kRomBase + kRomSize - 8, 16, U},
        {"block running off a Format_7 CSR", kFormat7Base + kFormat7Size - 4, 8, U},
        {"misaligned address", kCommandBase + 0x402, 4, M},
        {"misaligned length", cmd, 3, M},
        {"zero length", cmd, 0, L},
        {"wraps around", 0xFFFFFFFFFFFFFFFCull, 8, L},
        {"top of the address space", 0xFFFFFFFFFFFFFFFCull, 4, U},
        {"no buffer", cmd, 4, Status::NullBuffer},
    };
    for (const auto& [name, address, length, expected] : rows) {
        SCOPED_TRACE(name);
        uint8_t* b = expected == Status::NullBuffer ? nullptr : buffer;
        EXPECT_EQ(expected, cam.space.Read(address, b, length));
        EXPECT_EQ(expected, cam.space.Write(address, b, length));
    }
    const auto thrown = [](auto access) {
        try {
            access();
        } catch (const AccessError& e) {
            return std::to_string(int(e.status())) + " " + std::to_string(e.address()) + " " +
                   e.what();
        }
        return std::string("no exception");
    };
    EXPECT_EQ(std::to_string(int(U)) + " " + std::to_string(kInitialSpace) +
                  " emulator: read of 4 bytes at 0xfffff0000000: address not mapped",
              thrown([&] { cam.R(kInitialSpace); }));
    EXPECT_EQ(std::to_string(int(M)) + " " + std::to_string(kCommandBase + 2) +
                  " emulator: write of 4 bytes at 0xfffff0f00002: address or length not quadlet "
                  "aligned",
              thrown([&] { cam.W(kCommandBase + 2, 0); }));
}

TEST(RegisterSpace, BlockAccessesSpanRegistersOrTouchNothing) {
    Camera cam;
    // TOTAL_BYTES_HI and _LO read as one 8-byte register, big-endian.
    uint8_t bytes[8];
    ASSERT_EQ(Status::Ok, cam.space.Read(kFormat7Base + F7::kTotalBytesHi, bytes, 8));
    EXPECT_EQ((std::vector<uint8_t>{0, 0, 0, 0, 0x00, 0x04, 0xB0, 0x00}), // 307200
              std::vector<uint8_t>(bytes, bytes + 8));
    const uint8_t aoi[8] = {0x00, 0x00, 0x00, 0x00, 0x01, 0x40, 0x00, 0xF0};
    ASSERT_EQ(Status::Ok, cam.space.Write(kFormat7Base + F7::kImagePosition, aoi, 8));
    EXPECT_EQ(0x014000F0u, cam.R(kFormat7Base + F7::kImageSize));
    // Across the end of the Format_7 block: the read buffer keeps its bytes,
    // and a write stores nothing, not even the quadlets that were inside.
    std::memset(bytes, 0xA5, sizeof bytes);
    EXPECT_EQ(Status::Unmapped, cam.space.Read(kFormat7Base + 0x7C, bytes, 8));
    EXPECT_EQ(std::vector<uint8_t>(8, 0xA5), std::vector<uint8_t>(bytes, bytes + 8));
    std::vector<uint8_t> data(kFormat7Size, 0);
    EXPECT_EQ(Status::Unmapped, cam.space.Write(kFormat7Base + 4, data.data(), data.size()));
    EXPECT_EQ(0x014000F0u, cam.R(kFormat7Base + F7::kImageSize));
}

TEST(RegisterSpace, ReservedQuadletsReadZeroAndReadOnlyBitsIgnoreWrites) {
    Camera cam;
    for (uint32_t offset : {0x004, 0x180, 0x200, 0x504, 0x700, 0x804, 0x880, 0xFFC}) {
        SCOPED_TRACE(offset);
        cam.SetCmd(offset, 0xFFFFFFFF);
        EXPECT_EQ(0u, cam.Cmd(offset));
    }
    for (uint32_t offset : {Cmd::kVFormatInq, Cmd::kBasicFuncInq, Cmd::kFeatureHiInq,
                            Cmd::kAdvancedFeatureInq, 0x51Cu, 0x530u}) {
        SCOPED_TRACE(offset);
        const uint32_t before = cam.Cmd(offset);
        cam.SetCmd(offset, ~before);
        EXPECT_EQ(before, cam.Cmd(offset));
    }
    // Presence and ON of a feature control stay, only Value changes.
    cam.SetCmd(0x820, 0x00000123);
    EXPECT_EQ(0x82000123u, cam.Cmd(0x820));
    const uint32_t rom = cam.R(kRomBase + 4);
    cam.W(kRomBase + 4, 0x31333935);
    cam.W(kRomBase + 0x3FC, 0x12345678);
    EXPECT_EQ((Q{rom, 0}), cam.Rs({kRomBase + 4, kRomBase + 0x3FC}));
}

TEST(RegisterTables, TheCheckPassesEveryModelAndFindsFaultyModelData) {
    for (const ModelSpec& model : Models()) {
        SCOPED_TRACE(model.key);
        Camera cam(model);
        for (const std::string& p : cam.space.CheckTables())
            ADD_FAILURE() << p;
        // The check leaves the camera in its power-up state.
        EXPECT_EQ((Q{0, kPresence}), (Q{cam.Cmd(Cmd::kFeatureErrorHi), cam.F7(F7::kValueSetting)}));
    }
    ModelSpec spoilt = Vga();
    spoilt.gain.reset = 1000; // above its maximum
    const std::vector<std::string> problems = RegisterSpace(spoilt).CheckTables();
    EXPECT_TRUE(std::any_of(problems.begin(), problems.end(), [](const std::string& p) {
        return p.rfind("GAIN at ", 0) == 0;
    })) << ::testing::PrintToString(problems);
}

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
    // Overlong names are cut so the ROM stays within its window.
    const std::string longName(300, 'N');
    example.vendorName = example.modelName = example.versionText = longName.c_str();
    RegisterSpace space(example);
    EXPECT_TRUE(space.CheckTables().empty());
    const std::vector<uint32_t>& rom = space.ConfigRom();
    ASSERT_LE(rom.size(), 0x100u);
    EXPECT_EQ(rom[0], 4u << 24 | uint32_t(rom.size() - 1) << 16 | Crc16(&rom[1], rom.size() - 1));
}

} // namespace
} // namespace EmulatorTest
