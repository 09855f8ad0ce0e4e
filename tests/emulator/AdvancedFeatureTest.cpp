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
        const uint64_t read = uint64_t(bytes[0]) << 56 | uint64_t(bytes[1]) << 48 |
                              uint64_t(bytes[2]) << 40 | uint64_t(bytes[3]) << 32 |
                              uint32_t(bytes[4]) << 24 | uint32_t(bytes[5]) << 16 |
                              uint32_t(bytes[6]) << 8 | bytes[7];
        EXPECT_EQ(c.recognised ? uint64_t(c.hi) << 32 | c.lo : ~0ull, read);
    }
}

TEST(AdvancedFeature, PioOutputsFollowTheirSourceAndInversion) {
    Camera cam(Vga());
    const uint64_t out0 = kPioOutBase, out1 = kPioOutBase + kPioOutStride;
    EXPECT_EQ(0xF0000003u, cam.R(out0)) << "all inquiries, source user set";
    EXPECT_EQ(0x1Bu, cam.R(out0 + 4)) << "integration, ready, user set, strobe";
    // PIO_OUTPUT and the user-set bits are one state.
    cam.W(kPioBase, 0x5);
    EXPECT_EQ(0x5u, cam.R(kPioBase));
    EXPECT_EQ(1u, cam.R(out0 + 0x10));
    EXPECT_EQ(0u, cam.R(out1 + 0x10));
    EXPECT_EQ(1u, cam.R(out0 + 0x8)) << "monitor shows the level";
    cam.W(out1 + 0x10, 1);
    EXPECT_EQ(0x7u, cam.R(kPioBase));
    cam.W(out0 + 0xC, 1);
    EXPECT_EQ(0u, cam.R(out0 + 0x8)) << "inverted";
    // Integration enable is active while the camera is armed.
    cam.W(out1, 0);
    EXPECT_EQ(0xF0000000u, cam.R(out1));
    EXPECT_EQ(0u, cam.R(out1 + 0x8));
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
