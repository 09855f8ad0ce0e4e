// The bus side of the register space: which accesses fail and how, byte
// order, block accesses, reserved and read-only bits.
#include "EmulatorTestSupport.h"

#include <vector>

namespace EmulatorTest {
namespace {

TEST(RegisterSpace, RefusesBadAccessesWithTheirOwnStatus) {
    Camera cam(Vga());
    uint8_t buffer[16] = {};
    struct Case {
        const char* what;
        uint64_t address;
        size_t length;
        bool nullBuffer;
        Status expected;
    };
    const Case cases[] = {
        {"initial space base, nothing there", kInitialSpace, 4, false, Status::Unmapped},
        {"address 0", 0, 4, false, Status::Unmapped},
        {"low 32 bits only", 0xF0F00000, 4, false, Status::Unmapped},
        {"between command block and Format_7", kCommandBase + kCommandSize, 4, false,
         Status::Unmapped},
        {"past the last ROM quadlet", kRomBase + kRomSize, 4, false, Status::Unmapped},
        {"block running off the ROM window", kRomBase + kRomSize - 8, 16, false, Status::Unmapped},
        {"block running off a Format_7 CSR", kFormat7Base + kFormat7Size - 4, 8, false,
         Status::Unmapped},
        {"misaligned address", kCommandBase + 0x402, 4, false, Status::Misaligned},
        {"misaligned length", kCommandBase + 0x400, 3, false, Status::Misaligned},
        {"zero length", kCommandBase + 0x400, 0, false, Status::BadLength},
        {"wraps around", 0xFFFFFFFFFFFFFFFCull, 8, false, Status::BadLength},
        {"top of the address space", 0xFFFFFFFFFFFFFFFCull, 4, false, Status::Unmapped},
        {"no buffer", kCommandBase + 0x400, 4, true, Status::NullBuffer},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.expected, cam.space.Read(c.address, c.nullBuffer ? nullptr : buffer, c.length));
        EXPECT_EQ(c.expected,
                  cam.space.Write(c.address, c.nullBuffer ? nullptr : buffer, c.length));
    }
}

TEST(RegisterSpace, QuadletHelpersThrowAccessErrorsNamingTheAccess) {
    Camera cam(Vga());
    const auto thrown = [](auto access) {
        try {
            access();
        } catch (const AccessError& e) {
            return std::to_string(int(e.status())) + " " + std::to_string(e.address()) + " " +
                   e.what();
        }
        return std::string("no exception");
    };
    EXPECT_EQ(thrown([&] { cam.R(kInitialSpace); }),
              std::to_string(int(Status::Unmapped)) + " " + std::to_string(kInitialSpace) +
                  " emulator: read of 4 bytes at 0xfffff0000000: address not mapped");
    EXPECT_EQ(thrown([&] { cam.W(kCommandBase + 2, 0); }),
              std::to_string(int(Status::Misaligned)) + " " + std::to_string(kCommandBase + 2) +
                  " emulator: write of 4 bytes at 0xfffff0f00002: address or length not quadlet "
                  "aligned");
}

TEST(RegisterSpace, AFailedBlockAccessTouchesNothing) {
    Camera cam(Vga());
    // Read across the end of the Format_7 block: the buffer keeps its bytes.
    uint8_t buffer[8];
    std::memset(buffer, 0xA5, sizeof buffer);
    EXPECT_EQ(Status::Unmapped, cam.space.Read(kFormat7Base + 0x7C, buffer, 8));
    EXPECT_EQ(std::vector<uint8_t>(8, 0xA5), std::vector<uint8_t>(buffer, buffer + 8));
    // Write starting inside (IMAGE_POSITION region) and running off the block:
    // nothing is stored, not even the quadlets that were inside.
    const uint32_t sizeBefore = cam.R(kFormat7Base + F7::kImageSize);
    std::vector<uint8_t> data(kFormat7Size, 0);
    EXPECT_EQ(Status::Unmapped, cam.space.Write(kFormat7Base + 4, data.data(), data.size()));
    EXPECT_EQ(sizeBefore, cam.R(kFormat7Base + F7::kImageSize));
}

TEST(RegisterSpace, BlockAccessesSpanSeveralRegisters) {
    Camera cam(Vga());
    // TOTAL_BYTES_HI and _LO read as one 8-byte register.
    uint8_t bytes[8];
    ASSERT_EQ(Status::Ok, cam.space.Read(kFormat7Base + F7::kTotalBytesHi, bytes, 8));
    const uint8_t expected[8] = {0, 0, 0, 0, 0x00, 0x04, 0xB0, 0x00}; // 307200
    EXPECT_EQ(0, std::memcmp(expected, bytes, 8));
    // Position and size written in one block: applied quadlet by quadlet.
    const uint8_t aoi[8] = {0x00, 0x00, 0x00, 0x00, 0x01, 0x40, 0x00, 0xF0};
    ASSERT_EQ(Status::Ok, cam.space.Write(kFormat7Base + F7::kImagePosition, aoi, 8));
    EXPECT_EQ(0x014000F0u, cam.R(kFormat7Base + F7::kImageSize));
}

TEST(RegisterSpace, ReservedQuadletsReadZeroAndIgnoreWrites) {
    Camera cam(Vga());
    const uint32_t reserved[] = {0x004, 0x180, 0x200, 0x504, 0x700, 0x804, 0x880, 0xFFC};
    for (uint32_t offset : reserved) {
        SCOPED_TRACE(offset);
        cam.SetCmd(offset, 0xFFFFFFFF);
        EXPECT_EQ(0u, cam.Cmd(offset));
    }
}

TEST(RegisterSpace, ReadOnlyBitsIgnoreWrites) {
    Camera cam(Vga());
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
}

} // namespace
} // namespace EmulatorTest
