// Format_7: geometry validation, the value-setting error flags, and the
// values the camera derives from size, colour coding and packet size.
#include "EmulatorTestSupport.h"

namespace EmulatorTest {
namespace {

uint32_t Pack(uint32_t hi, uint32_t lo) {
    return hi << 16 | lo;
}

TEST(Format7, RefusedGeometryWritesSetErrorFlag1AndLeaveTheValueUnchanged) {
    struct Case {
        const char* what;
        uint32_t offset;
        uint32_t value;
    };
    // VGA mode 0: 640x480, size units 8x2, position units 4x2; the AOI is
    // first set to 320x240 at (0, 0).
    const Case refused[] = {
        {"width not a multiple of the unit size", F7::kImageSize, Pack(324, 240)},
        {"height not a multiple of the unit size", F7::kImageSize, Pack(320, 241)},
        {"width zero", F7::kImageSize, Pack(0, 240)},
        {"height zero", F7::kImageSize, Pack(320, 0)},
        {"width beyond the sensor", F7::kImageSize, Pack(648, 240)},
        {"height beyond the sensor", F7::kImageSize, Pack(320, 482)},
        {"left not a multiple of the position unit", F7::kImagePosition, Pack(2, 0)},
        {"top not a multiple of the position unit", F7::kImagePosition, Pack(0, 1)},
        {"left + width beyond the sensor", F7::kImagePosition, Pack(324, 0)},
        {"top + height beyond the sensor", F7::kImagePosition, Pack(0, 242)},
        {"colour coding not offered", F7::kColorCodingId, uint32_t(kRaw8) << 24},
        {"colour coding out of the ID range", F7::kColorCodingId, 0xFF000000},
    };
    for (const Case& c : refused) {
        SCOPED_TRACE(c.what);
        Camera cam(Vga());
        cam.SetF7(F7::kImageSize, Pack(320, 240));
        const uint32_t before = cam.F7(c.offset);
        const uint32_t totalBefore = cam.F7(F7::kTotalBytesLo);
        cam.SetF7(c.offset, c.value);
        EXPECT_EQ((Q{before, totalBefore, kPresence | kErrorFlag1}),
                  cam.Rs({cam.ModeCsr(c.offset), cam.ModeCsr(F7::kTotalBytesLo),
                          cam.ModeCsr(F7::kValueSetting)}));
        // The next accepted write clears the flag again.
        cam.SetF7(F7::kImageSize, Pack(320, 240));
        EXPECT_EQ(kPresence, cam.F7(F7::kValueSetting));
    }
}

TEST(Format7, BytePerPacketIsCheckedAgainstUnitAndMaximum) {
    Camera cam(Vga()); // unit 256, maximum 8192
    EXPECT_EQ(Pack(256, 8192), cam.F7(F7::kPacketParaInq));
    EXPECT_EQ(Pack(8192, 8192), cam.F7(F7::kBytePerPacket)) << "recommended: the maximum";
    const uint32_t refused[] = {0, 100, 8448, 0xFFFF};
    for (uint32_t bpp : refused) {
        SCOPED_TRACE(bpp);
        cam.SetF7(F7::kBytePerPacket, bpp << 16);
        EXPECT_EQ((Q{Pack(8192, 8192), kPresence | kErrorFlag2}),
                  cam.Rs({cam.ModeCsr(F7::kBytePerPacket), cam.ModeCsr(F7::kValueSetting)}));
    }
    cam.SetF7(F7::kBytePerPacket, Pack(4096, 0x1234));
    EXPECT_EQ(Pack(4096, 8192), cam.F7(F7::kBytePerPacket)) << "RecBytePerPacket read-only";
    EXPECT_EQ(kPresence, cam.F7(F7::kValueSetting));
    EXPECT_EQ(75u, cam.F7(F7::kPacketPerFrame));
}

TEST(Format7, Setting1HandshakeSelfClearsAndClearsTheFlags) {
    Camera cam(Vga());
    cam.SetF7(F7::kImageSize, Pack(1, 1));
    cam.SetF7(F7::kBytePerPacket, 3u << 16);
    EXPECT_EQ(kPresence | kErrorFlag1 | kErrorFlag2, cam.F7(F7::kValueSetting));
    cam.SetF7(F7::kValueSetting, kSetting1);
    EXPECT_EQ(kPresence, cam.F7(F7::kValueSetting)) << "Setting_1 reads 0 at once";
    cam.SetF7(F7::kValueSetting, kErrorFlag1 | kErrorFlag2);
    EXPECT_EQ(kPresence, cam.F7(F7::kValueSetting)) << "error flags are not writable";
}

TEST(Format7, FrameIntervalIsTheLongestOfTransferReadOutAndExposure) {
    Camera cam(Vga()); // 120 fps at full height, 20 us shutter steps
    // Full frame Mono8: read-out 1/120 s beats 38 packets (4.75 ms) and 2 ms.
    EXPECT_NEAR(1.0 / 120, cam.FrameInterval(), 1e-6);
    // Smallest packets: 1200 packets * 125 us = 0.15 s.
    cam.SetF7(F7::kBytePerPacket, 256u << 16);
    EXPECT_NEAR(1200 * 125e-6, cam.FrameInterval(), 1e-6);
    cam.SetF7(F7::kBytePerPacket, 8192u << 16);
    // Long exposure: 4000 * 20 us = 80 ms.
    cam.SetCmd(0x81C, 0x82000000 | 4000);
    EXPECT_NEAR(0.080, cam.FrameInterval(), 1e-6);
    // The 2-megapixel camera streams Raw8 at about 30 fps.
    Camera bayer(Bayer());
    bayer.SetF7(F7::kColorCodingId, uint32_t(kRaw8) << 24);
    EXPECT_NEAR(1.0 / 30, bayer.FrameInterval(), 1e-6);
}

TEST(Format7, GeometryIsLockedWhileImagesAreSent) {
    Camera cam(Vga());
    cam.SetCmd(Cmd::kIsoEnable, 0x80000000);
    cam.SetF7(F7::kImageSize, Pack(320, 240));
    cam.SetF7(F7::kColorCodingId, uint32_t(kMono16) << 24);
    EXPECT_EQ((Q{Pack(640, 480), uint32_t(kMono8) << 24, kPresence | kErrorFlag1}),
              cam.Rs({cam.ModeCsr(F7::kImageSize), cam.ModeCsr(F7::kColorCodingId),
                      cam.ModeCsr(F7::kValueSetting)}));
    cam.SetCmd(Cmd::kCurVMode, 1u << 29);
    EXPECT_EQ(0u, cam.Cmd(Cmd::kCurVMode)) << "mode changes ignored too";
    cam.SetCmd(Cmd::kIsoEnable, 0);
    cam.SetF7(F7::kImageSize, Pack(320, 240));
    EXPECT_EQ(Pack(320, 240), cam.F7(F7::kImageSize));
}

} // namespace
} // namespace EmulatorTest
