// The register tables as a whole: their own consistency, and every register
// the camera feature tree reads or writes answering on every model.
#include "EmulatorTestSupport.h"

#include <vector>

namespace EmulatorTest {
namespace {

TEST(RegisterTables, AreConsistentOnEveryModel) {
    for (const ModelSpec& model : Models()) {
        SCOPED_TRACE(model.key);
        Camera cam(model);
        const std::vector<std::string> problems = cam.space.CheckTables();
        for (const std::string& p : problems) {
            ADD_FAILURE() << p;
        }
        // The check leaves the camera in its power-up state.
        EXPECT_EQ(0u, cam.Cmd(Cmd::kFeatureErrorHi));
        EXPECT_EQ(kPresence, cam.F7(F7::kValueSetting));
    }
}

TEST(RegisterTables, ResetValuesOfStoredRegistersReadBackAsTheyAre) {
    for (const ModelSpec& model : Models()) {
        SCOPED_TRACE(model.key);
        Camera cam(model);
        for (const Register& r : cam.space.Snapshot()) {
            if (r.read == nullptr) {
                EXPECT_EQ(r.reset, cam.R(r.address)) << r.name;
            }
        }
    }
}

TEST(RegisterTables, ModelsAreDistinctAndFoundByKey) {
    ASSERT_GE(Models().size(), 2u);
    EXPECT_EQ(&Models()[0], FindModel("vga-mono"));
    EXPECT_EQ(&Models()[1], FindModel("2mp-bayer"));
    EXPECT_EQ(nullptr, FindModel("VGA-MONO"));
    EXPECT_EQ(nullptr, FindModel(""));
    EXPECT_NE(Vga().eui64, Bayer().eui64);
}

// Registers of the feature tree: (address, length), with the Format_7 and
// smart-feature addresses resolved as the tree resolves them.
struct Access {
    uint64_t address;
    size_t length;
    bool writable;
};

std::vector<Access> TreeRegisters(Camera& cam) {
    std::vector<Access> list;
    auto add = [&](uint64_t a, size_t n, bool w) { list.push_back({a, n, w}); };
    add(kRomBase, 0x400, false);
    const uint32_t cmdRead[] = {0x100, 0x400, 0x404, 0x40C, 0x480, 0x484, 0x48C, 0x500,
                                0x50C, 0x51C, 0x520, 0x530, 0x628, 0x630, 0x640};
    for (uint32_t off : cmdRead) {
        add(kCommandBase + off, 4, false);
    }
    const uint32_t cmdWrite[] = {0x600, 0x604, 0x608, 0x614, 0x618, 0x61C, 0x620,
                                 0x624, 0x62C, 0x800, 0x80C, 0x81C, 0x820, 0x830};
    for (uint32_t off : cmdWrite) {
        add(kCommandBase + off, 4, true);
    }
    const uint32_t format = cam.Cmd(Cmd::kCurVFormat) >> 29;
    add(kCommandBase + 0x180 + 4 * format, 4, false);
    const uint32_t mode = cam.Cmd(Cmd::kCurVMode) >> 29;
    add(kCommandBase + 0x2E0 + 4 * mode, 4, false);
    const uint64_t f7 = cam.ModeCsr(0);
    const uint32_t f7Read[] = {0x00, 0x04, 0x14, 0x24, 0x34, 0x3C, 0x40, 0x48, 0x50, 0x54, 0x7C};
    for (uint32_t off : f7Read) {
        add(f7 + off, 4, false);
    }
    add(f7 + 0x38, 8, false); // TotalBytesReg, 8 bytes
    add(f7 + 0x38, 4, false);
    const uint32_t f7Write[] = {0x08, 0x0C, 0x10, 0x44};
    for (uint32_t off : f7Write) {
        add(f7 + off, 4, true);
    }
    const uint64_t acr = kInitialSpace + 4ull * cam.Cmd(Cmd::kAdvancedFeatureInq);
    add(acr, 8, false);
    add(acr + 0x10, 24, false);
    const uint64_t pio = kInitialSpace + 4ull * cam.Cmd(Cmd::kPioCsrInq);
    add(pio, 4, true);
    add(pio + 4, 4, false);
    for (uint64_t out :
         {0xFFFFF2F00190ull, 0xFFFFF2F001A8ull, 0xFFFFF2F001C0ull, 0xFFFFF2F001D8ull}) {
        add(out, 4, true);
        add(out + 0x4, 4, false);
        add(out + 0x8, 4, false);
        add(out + 0xC, 4, true);
        add(out + 0x10, 4, true);
    }
    for (uint32_t n = 0; n < 4; ++n) {
        add(0xFFFFF2F00300ull + 0x100 + 4 * n, 4, false); // PioStrobeNInqFao
    }
    const uint64_t strobe = kInitialSpace + 4ull * cam.Cmd(Cmd::kStrobeCsrInq);
    add(strobe, 4, false);
    for (uint32_t n = 0; n < 4; ++n) {
        add(strobe + 0x100 + 4 * n, 4, false);
        add(strobe + 0x200 + 4 * n, 4, true);
    }
    add(0xFFFFF2F06000ull, 4, false);
    add(kSmartTestImage, 4, true);
    add(kSmartExtVerInfo, 4, false);
    add(kSmartExtVerInfo + 4, 4 * ((cam.R(kSmartExtVerInfo) >> 16) & 0xFF), false);
    add(kSmartStrobeBase, 4, true);
    add(kSmartTriggerCounter, 4, false);
    add(kSmartTriggerCounter + 4, 4, false);
    add(kSmartStartupMemCh, 4, true);
    add(kSmartShutterBase, 4, true);
    add(kSmartShutterBase + 0x4, 4, false);
    add(kSmartShutterBase + 0x8, 4, false);
    add(kSmartShutterBase + 0xC, 4, false);
    add(kSmartShutterBase + 0x10, 4, true);
    return list;
}

TEST(RegisterTables, EveryRegisterTheFeatureTreeUsesAnswers) {
    for (const ModelSpec& model : Models()) {
        for (unsigned mode = 0; mode < model.modes.size(); ++mode) {
            SCOPED_TRACE(std::string(model.key) + " mode " + std::to_string(mode));
            Camera cam(model);
            cam.SetCmd(Cmd::kCurVMode, mode << 29);
            for (const Access& a : TreeRegisters(cam)) {
                std::vector<uint8_t> bytes(a.length);
                EXPECT_EQ(Status::Ok, cam.space.Read(a.address, bytes.data(), a.length))
                    << std::hex << a.address;
                if (a.writable) {
                    // Writing back what was read is accepted without an error.
                    EXPECT_EQ(Status::Ok, cam.space.Write(a.address, bytes.data(), a.length))
                        << std::hex << a.address;
                }
            }
            EXPECT_EQ(0u, cam.Cmd(Cmd::kFeatureErrorHi));
            EXPECT_EQ(kPresence, cam.F7(F7::kValueSetting));
            EXPECT_EQ(0u, cam.Cmd(Cmd::kVModeErrorStatus));
        }
    }
}

TEST(RegisterTables, TheTreesStrobeInquiryCopiesAreTheStrobeBlock) {
    Camera cam(Bayer());
    for (uint32_t n = 0; n < 4; ++n) {
        const uint64_t strobe = kInitialSpace + 4ull * cam.Cmd(Cmd::kStrobeCsrInq);
        EXPECT_EQ(cam.R(strobe + 0x100 + 4 * n), cam.R(0xFFFFF2F00400ull + 4 * n));
    }
}

} // namespace
} // namespace EmulatorTest

namespace EmulatorTest {
namespace {

TEST(RegisterTables, TheCheckFindsFaultyModelData) {
    struct Case {
        const char* what;
        void (*spoil)(ModelSpec&);
        const char* register_;
    };
    const Case cases[] = {
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
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ModelSpec spoilt = Vga();
        c.spoil(spoilt);
        RegisterSpace space(spoilt);
        const std::vector<std::string> problems = space.CheckTables();
        ASSERT_FALSE(problems.empty());
        bool named = false;
        for (const std::string& p : problems) {
            named = named || p.rfind(std::string(c.register_) + " at ", 0) == 0;
        }
        EXPECT_TRUE(named) << problems.front();
    }
}

TEST(RegisterTables, WireAddressesMapToTheIidcSpace) {
    EXPECT_EQ(0xF0F00800u, WireAddress(0xFFFFF0F00800ull));
    EXPECT_EQ(0xFFFFF0000400ull, NodeAddressFromWire(0xF0000400));
    Camera cam(Vga());
    EXPECT_EQ(0x31333934u, cam.R(NodeAddressFromWire(WireAddress(kRomBase + 4))));
}

// Random host writes over every register (fixed seed): whatever is written,
// the camera's state stays consistent and no self-clearing bit sticks.
TEST(RegisterTables, RandomWritesKeepTheCameraConsistent) {
    for (const ModelSpec& model : Models()) {
        SCOPED_TRACE(model.key);
        Camera cam(model);
        std::vector<uint64_t> addresses;
        for (const Register& r : cam.space.Snapshot()) {
            addresses.push_back(r.address);
        }
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
            const uint32_t v = (r & 1) ? uint32_t(r >> 32) : uint32_t(r >> 32) & 0x00FF00FF;
            cam.W(a, v);
            if (i % 7 == 0) {
                cam.space.TakeFrame();
            }
            if (i % 11 == 0) {
                cam.space.SetInputLines(uint32_t(next()));
            }
        }
        EXPECT_EQ(0u, cam.Cmd(Cmd::kInitialize));
        EXPECT_EQ(0u, cam.Cmd(Cmd::kMemorySave));
        for (unsigned m = 0; m < model.modes.size(); ++m) {
            const Format7Mode& f = model.modes[m];
            const uint64_t base = cam.space.ModeBase(m);
            const uint32_t pos = cam.R(base + F7::kImagePosition);
            const uint32_t size = cam.R(base + F7::kImageSize);
            const uint32_t w = size >> 16, h = size & 0xFFFF;
            EXPECT_EQ(0u, cam.R(base + F7::kValueSetting) & kSetting1);
            EXPECT_GT(w, 0u);
            EXPECT_GT(h, 0u);
            EXPECT_EQ(0u, w % f.unitWidth);
            EXPECT_EQ(0u, h % f.unitHeight);
            EXPECT_LE((pos >> 16) + w, f.maxWidth);
            EXPECT_LE((pos & 0xFFFF) + h, f.maxHeight);
            const uint8_t coding = uint8_t(cam.R(base + F7::kColorCodingId) >> 24);
            EXPECT_TRUE(model.colorCodings & CodingBit(coding));
            const uint32_t bytes = (coding == kMono16 || coding == kRaw16) ? 2 : 1;
            EXPECT_EQ(w * h * bytes, cam.R(base + F7::kTotalBytesLo));
            const uint32_t bpp = cam.R(base + F7::kBytePerPacket) >> 16;
            ASSERT_GT(bpp, 0u);
            EXPECT_EQ((w * h * bytes + bpp - 1) / bpp, cam.R(base + F7::kPacketPerFrame));
        }
    }
}

} // namespace
} // namespace EmulatorTest
