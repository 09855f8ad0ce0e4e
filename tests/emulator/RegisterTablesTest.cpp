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
