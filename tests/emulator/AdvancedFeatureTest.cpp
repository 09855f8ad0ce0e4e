// Maker features: the access control register, the smart-feature GUID
// inquiry and the feature blocks it answers, PIO, strobe and temperatures.
#include "EmulatorTestSupport.h"

#include "emulator/Guid.h"

namespace EmulatorTest {
namespace {

TEST(AdvancedFeature, AccessControlRecognisesOnlyItsFeatureId) {
    struct Case {
        const char* what;
        uint32_t hi, lo;
        bool recognised;
    };
    const Case cases[] = {
        {"feature ID, time-out 0", 0x00A5C19E, 0x2D470000, true},
        {"feature ID, time-out 0x123", 0x00A5C19E, 0x2D470123, true},
        {"other feature set", 0x00A5C19E, 0x2D480000, false},
        {"other company", 0x00A5C29E, 0x2D470000, false},
        {"feature ID sent little-endian", 0x9EC1A500, 0x0000472D, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Camera cam(Vga());
        EXPECT_EQ(0xFFFFFFFFu, cam.R(kAcrBase)) << "locked before any write";
        cam.W(kAcrBase, c.hi);
        cam.W(kAcrBase + 4, c.lo);
        uint8_t bytes[8];
        ASSERT_EQ(Status::Ok, cam.space.Read(kAcrBase, bytes, 8));
        const uint8_t want[8] = {uint8_t(c.hi >> 24), uint8_t(c.hi >> 16), uint8_t(c.hi >> 8),
                                 uint8_t(c.hi),       uint8_t(c.lo >> 24), uint8_t(c.lo >> 16),
                                 uint8_t(c.lo >> 8),  uint8_t(c.lo)};
        EXPECT_EQ(c.recognised ? std::vector<uint8_t>(want, want + 8)
                               : std::vector<uint8_t>(8, 0xFF),
                  std::vector<uint8_t>(bytes, bytes + 8));
    }
}

TEST(AdvancedFeature, PioOutputsFollowTheirSourceAndInversion) {
    Camera cam(Vga());
    const uint64_t out0 = kPioOutBase, out1 = kPioOutBase + kPioOutStride;
    EXPECT_EQ(0xF0000003u, cam.R(out0)) << "all inquiries, source user set";
    EXPECT_EQ(0x1Bu, cam.R(out0 + 4)) << "integration, ready, user set, strobe";
    // PIO_OUTPUT and the user-set bits are one state; the monitor (+8)
    // shows the level.
    cam.W(kPioBase, 0x5);
    EXPECT_EQ((Q{5, 1, 0, 1}), cam.Rs({kPioBase, out0 + 0x10, out1 + 0x10, out0 + 0x8}));
    cam.W(out1 + 0x10, 1);
    cam.W(out0 + 0xC, 1); // inverted
    EXPECT_EQ((Q{7, 0}), cam.Rs({kPioBase, out0 + 0x8}));
    // Integration enable is active while the camera is armed.
    cam.W(out1, 0);
    EXPECT_EQ((Q{0xF0000000u, 0}), cam.Rs({out1, out1 + 0x8}));
    cam.SetCmd(Cmd::kIsoEnable, 0x80000000);
    EXPECT_EQ(1u, cam.R(out1 + 0x8));
    // Serial transmit is not offered: refused.
    cam.W(out1, 2);
    EXPECT_EQ(0xF0000000u, cam.R(out1));
    // The Bayer camera has two strobes: outputs 2 and 3 cannot follow one.
    Camera bayer(Bayer());
    EXPECT_EQ(0x0Bu, bayer.R(kPioOutBase + 2 * kPioOutStride + 4));
    bayer.W(kPioOutBase + 2 * kPioOutStride, 4);
    EXPECT_EQ(0xF0000003u, bayer.R(kPioOutBase + 2 * kPioOutStride));
}

} // namespace
} // namespace EmulatorTest
