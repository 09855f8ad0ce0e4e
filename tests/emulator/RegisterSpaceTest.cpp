// The bus side of the register space: which accesses fail and how, byte
// order, block accesses, reserved and read-only bits; the register tables'
// consistency under random writes; the configuration ROM as a host parses it.
#include "EmulatorTestSupport.h"

#include "emulator/ConfigRom.h"

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
    // The quadlet helpers throw, naming the access.
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
    // Position and size written in one block: applied quadlet by quadlet.
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
    // The configuration ROM is read-only.
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
    const std::tuple<const char*, void (*)(ModelSpec&), std::string> rows[] = {
        {"reset shutter below its minimum", [](ModelSpec& m) { m.shutter.reset = 0; }, "SHUTTER"},
        {"reset gain above its maximum", [](ModelSpec& m) { m.gain.reset = 1000; }, "GAIN"},
        {"reset coding not offered", [](ModelSpec& m) { m.resetColorCoding = kRaw8; },
         "COLOR_CODING_ID"},
        {"zero unit width", [](ModelSpec& m) { m.modes[0].unitWidth = 0; }, "IMAGE_SIZE"},
        {"sensor width not a multiple of the unit", [](ModelSpec& m) { m.modes[1].unitWidth = 12; },
         "IMAGE_SIZE"},
        {"maximum packet not a multiple of the unit",
         [](ModelSpec& m) { m.modes[0].unitBytesPerPacket = 300; }, "BYTE_PER_PACKET"},
    };
    for (const auto& [name, spoil, reg] : rows) {
        SCOPED_TRACE(name);
        ModelSpec spoilt = Vga();
        spoil(spoilt);
        const std::vector<std::string> problems = RegisterSpace(spoilt).CheckTables();
        ASSERT_FALSE(problems.empty());
        bool named = false;
        for (const std::string& p : problems)
            named = named || p.rfind(reg + " at ", 0) == 0;
        EXPECT_TRUE(named) << problems.front();
    }
}

// Random host writes over every register (fixed seed): whatever is written,
// the camera's state stays consistent and no self-clearing bit sticks.
TEST(RegisterTables, RandomWritesKeepTheCameraConsistent) {
    for (const ModelSpec& model : Models()) {
        SCOPED_TRACE(model.key);
        Camera cam(model);
        std::vector<uint64_t> addresses;
        for (const Register& r : cam.space.Snapshot())
            addresses.push_back(r.address);
        uint64_t seed = 0x9E3779B97F4A7C15ull;
        auto next = [&] {
            seed ^= seed << 13;
            seed ^= seed >> 7;
            seed ^= seed << 17;
            return seed;
        };
        for (int i = 0; i < 20000; ++i) {
            const uint64_t a = addresses[next() % addresses.size()];
            const uint64_t r = next();
            // Mix plain random values with small ones that pass more checks.
            cam.W(a, (r & 1) ? uint32_t(r >> 32) : uint32_t(r >> 32) & 0x00FF00FF);
            if (i % 7 == 0)
                cam.space.TakeFrame();
            if (i % 11 == 0)
                cam.space.SetInputLines(uint32_t(next()));
        }
        EXPECT_EQ((Q{0, 0}), (Q{cam.Cmd(Cmd::kInitialize), cam.Cmd(Cmd::kMemorySave)}));
        for (unsigned m = 0; m < model.modes.size(); ++m) {
            SCOPED_TRACE(m);
            const Format7Mode& f = model.modes[m];
            const uint64_t base = cam.space.ModeBase(m);
            const uint32_t pos = cam.R(base + F7::kImagePosition);
            const uint32_t size = cam.R(base + F7::kImageSize);
            const uint32_t w = size >> 16, h = size & 0xFFFF;
            const uint8_t coding = uint8_t(cam.R(base + F7::kColorCodingId) >> 24);
            const uint32_t bytes = (coding == kMono16 || coding == kRaw16) ? 2 : 1;
            const uint32_t bpp = cam.R(base + F7::kBytePerPacket) >> 16;
            ASSERT_TRUE(w > 0 && h > 0 && bpp > 0) << w << "x" << h << " " << bpp;
            EXPECT_EQ(0u, cam.R(base + F7::kValueSetting) & kSetting1);
            EXPECT_EQ((Q{0, 0}), (Q{w % f.unitWidth, h % f.unitHeight}));
            EXPECT_LE((pos >> 16) + w, f.maxWidth);
            EXPECT_LE((pos & 0xFFFF) + h, f.maxHeight);
            EXPECT_TRUE(model.colorCodings & CodingBit(coding));
            EXPECT_EQ((Q{w * h * bytes, (w * h * bytes + bpp - 1) / bpp}),
                      cam.Rs({base + F7::kTotalBytesLo, base + F7::kPacketPerFrame}));
        }
    }
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
