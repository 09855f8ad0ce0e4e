// The in-memory camera as its manual states it: shots, triggers, limits, memory
// channels, Format_7, access control and PIO.
#include "EmulatorTestSupport.h"

namespace EmulatorTest {
namespace {

constexpr uint64_t kOne = kCommandBase + Cmd::kOneShot, kIso = kCommandBase + Cmd::kIsoEnable;
constexpr uint64_t kSwt = kCommandBase + Cmd::kSoftwareTrigger;
constexpr uint64_t kErr = kCommandBase + Cmd::kFeatureErrorHi;
constexpr uint64_t kBri = kCommandBase + 0x800, kShu = kCommandBase + 0x81C;
constexpr uint64_t kGai = kCommandBase + 0x820, kTrg = kCommandBase + 0x830;
constexpr uint64_t kSave = kCommandBase + Cmd::kMemorySave, kInit = kCommandBase + Cmd::kInitialize;
constexpr uint64_t kSaveCh = kCommandBase + Cmd::kMemSaveCh, kCurCh = kCommandBase + Cmd::kCurMemCh;
constexpr uint64_t kMode = kCommandBase + Cmd::kCurVMode;
constexpr uint64_t kSize = kFormat7Base + F7::kImageSize, kTotal = kFormat7Base + F7::kTotalBytesLo;
constexpr uint64_t kCoding = kFormat7Base + F7::kColorCodingId,
                   kPos = kFormat7Base + F7::kImagePosition;
constexpr uint64_t kVs = kFormat7Base + F7::kValueSetting,
                   kPpf = kFormat7Base + F7::kPacketPerFrame;
constexpr uint64_t kBpp = kFormat7Base + F7::kBytePerPacket,
                   kPara = kFormat7Base + F7::kPacketParaInq;
constexpr uint64_t kOut0 = kPioOutBase, kOut1 = kOut0 + kPioOutStride,
                   kOut2 = kOut1 + kPioOutStride;
constexpr uint32_t kOn = 0x80000000, kMulti = kMultiShotBit, kVsErr1 = kPresence | kErrorFlag1;
constexpr uint32_t kVsErr2 = kPresence | kErrorFlag2;

constexpr uint32_t Pack(uint32_t hi, uint32_t lo) {
    return hi << 16 | lo;
}

// Pseudo-addresses: kFrame reads the number of the frame now due (0 for none),
// kLines sets the input lines.
constexpr uint64_t kFrame = 0, kLines = 4;
struct Step {
    uint64_t address;
    uint32_t value;
    bool read;
};
const auto W = [](uint64_t address, uint32_t value) { return Step{address, value, false}; };
const auto R = [](uint64_t address) { return Step{address, 0, true}; };
const Step F = R(kFrame);
std::vector<Step> Trg(uint32_t value) {
    return {W(kTrg, value), R(kTrg), R(kErr)};
}
std::vector<Step> Bpp(uint32_t value) {
    return {W(kBpp, value), R(kBpp), R(kVs)};
}
// A refused write on a 320x240 AOI at (0, 0), then an accepted one.
std::vector<Step> Geo(uint64_t address, uint32_t value) {
    return {W(kSize, Pack(320, 240)),
            W(address, value),
            R(address),
            R(kTotal),
            R(kVs),
            W(kSize, Pack(320, 240)),
            R(kVs)};
}
const Q kSizeKept = {Pack(320, 240), 76800, kVsErr1, kPresence};
const Q kPosKept = {0, 76800, kVsErr1, kPresence},
        kCodingKept = {kMono8 << 24, 76800, kVsErr1, kPresence};
std::vector<Step> Acr(uint32_t hi, uint32_t lo) {
    return {W(kAcrBase, hi), W(kAcrBase + 4, lo), R(kAcrBase), R(kAcrBase + 4)};
}

TEST(Control, ScenariosAsTheManualStatesThem) {
    const struct {
        const char* name;
        std::vector<Step> steps;
        Q expected;
        const char* model = "vga-mono";
    } rows[] = {
        {"idle, no frame; a one-shot reads 1 until its frame is taken",
         {F, W(kOne, kOneShotBit), R(kOne), F, R(kOne), F},
         {0, kOneShotBit, 1, 0, 0}},
        {"a multi-shot counts down with each frame, then clears",
         {W(kOne, kMulti | 3), F, R(kOne), F, R(kOne), F, R(kOne), F},
         {1, kMulti | 2, 2, kMulti | 1, 3, 0, 0}},
        {"a multi-shot of no frames completes at once", {W(kOne, kMulti), R(kOne), F}, {0, 0}},
        {"ISO_EN sends until off, stays set, and a one-shot meanwhile is ignored",
         {W(kIso, kOn), F, F, F, R(kIso), W(kOne, kOneShotBit), R(kOne), W(kIso, 0), F},
         {1, 2, 3, kOn, 0, 0}},
        // Limits: brightness 0..255, shutter 1..4095, gain 0..680.
        {"brightness above its maximum",
         {W(kBri, 0x82000100), R(kBri), R(kErr), W(kBri, 0x82000001), R(kBri), R(kErr)},
         {0x82000010, 0x80000000, 0x82000001, 0}},
        {"shutter below its minimum",
         {W(kShu, 0x82000000), R(kShu), R(kErr), W(kShu, 0x82000001), R(kShu), R(kErr)},
         {0x82000064, 0x01000000, 0x82000001, 0}},
        {"gain above its maximum",
         {W(kGai, 0x820002A9), R(kGai), R(kErr), W(kGai, 0x82000001), R(kGai), R(kErr)},
         {0x82000000, 0x00800000, 0x82000001, 0}},
        {"on, high active, software source, mode 0", Trg(0x83E00000), {0x83E00000, 0}},
        {"mode 1, source 0", Trg(0x82010000), {0x82010000, 0}},
        {"mode 2 not offered", Trg(0x82020000), {kOn, 0x00080000}},
        {"mode 15 not offered", Trg(0x820F0000), {kOn, 0x00080000}},
        {"source 1 not offered", Trg(0x82200000), {kOn, 0x00080000}},
        {"source 6 does not exist", Trg(0x82C00000), {kOn, 0x00080000}},
        {"Bayer: source 1", Trg(0x82200000), {0x82200000, 0}, "2mp-bayer"},
        {"Bayer: source 3 not offered", Trg(0x82600000), {kOn, 0x00080000}, "2mp-bayer"},
        {"Bayer: sources 0, 1, software, modes 0, 1, and no Polarity_Inq: polarity read-only",
         {W(kTrg, 0x83000000), R(kTrg), R(kCommandBase + 0x530)},
         {0x82000000, 0x8CC1C000},
         "2mp-bayer"},
        // Trigger_Value (0x00100000) shows a software trigger not yet taken.
        {"edge mode: one frame per software trigger",
         {W(kTrg, 0x83E00000), W(kIso, kOn), F, W(kSwt, kOn), R(kSwt), R(kTrg), F, R(kSwt), F,
          W(kSwt, 0), F},
         {0, kOn, 0x83F00000, 1, 0, 0, 0}},
        {"unarmed, a software trigger is dropped and reads 0 at once",
         {W(kTrg, 0x83E00000), W(kSwt, kOn), R(kSwt), W(kOne, kOneShotBit), F},
         {0, 0}},
        {"level mode: exposes while the software trigger is held",
         {W(kTrg, 0x83E10000), W(kOne, kOneShotBit), W(kSwt, kOn), R(kSwt), F, W(kSwt, 0), F,
          R(kOne)},
         {kOn, 0, 1, 0}},
        {"hardware trigger: the falling edge of input 0, low active; counted",
         {W(kTrg, 0x82000000), W(kIso, kOn), W(kLines, 1), F, W(kLines, 3), F, W(kLines, 2), F,
          R(kPioBase + 4), R(kSmartTriggerCounter)},
         {0, 0, 1, 2, kPresence | 1}},
        {"a saved memory channel restores its settings, channel 0 the factory ones",
         {W(kGai, 0x82000100), W(kSize, Pack(320, 240)), W(kSaveCh, 2u << 28), W(kSave, kOn),
          R(kSave), W(kGai, 0x82000200), W(kCurCh, 0), R(kCurCh), R(kGai), R(kSize), R(kTotal),
          W(kCurCh, 2u << 28), R(kCurCh), R(kGai), R(kSize), R(kTotal)},
         {0, 0, 0x82000000, Pack(640, 480), 307200, 2u << 28, 0x82000100, Pack(320, 240), 76800}},
        {"INITIALIZE restores the power-up settings and reads 0 at once",
         {W(kGai, 0x82000100), W(kInit, kOn), R(kInit), R(kGai)},
         {0, 0x82000000}},
        {"channels beyond Memory_Channel are refused, and channel 0 is not saved to",
         {W(kSaveCh, 2u << 28), W(kSaveCh, 3u << 28), W(kSaveCh, 0), W(kCurCh, 2u << 28),
          W(kCurCh, 3u << 28), R(kSaveCh), R(kCurCh)},
         {2u << 28, 2u << 28}},
        {"geometry and mode are locked while images are sent",
         {W(kIso, kOn), W(kSize, Pack(320, 240)), W(kCoding, kMono16 << 24), W(kMode, 1u << 29),
          R(kSize), R(kCoding), R(kVs), R(kMode), W(kIso, 0), W(kSize, Pack(320, 240)), R(kSize)},
         {Pack(640, 480), kMono8 << 24, kVsErr1, 0, Pack(320, 240)}},
        // VGA mode 0: 640x480, size units 8x2, position units 4x2.
        {"width not a multiple of the unit size", Geo(kSize, Pack(324, 240)), kSizeKept},
        {"height not a multiple of the unit size", Geo(kSize, Pack(320, 241)), kSizeKept},
        {"width zero", Geo(kSize, Pack(0, 240)), kSizeKept},
        {"height zero", Geo(kSize, Pack(320, 0)), kSizeKept},
        {"width beyond the sensor", Geo(kSize, Pack(648, 240)), kSizeKept},
        {"height beyond the sensor", Geo(kSize, Pack(320, 482)), kSizeKept},
        {"left not a multiple of the position unit", Geo(kPos, Pack(2, 0)), kPosKept},
        {"top not a multiple of the position unit", Geo(kPos, Pack(0, 1)), kPosKept},
        {"left + width beyond the sensor", Geo(kPos, Pack(324, 0)), kPosKept},
        {"top + height beyond the sensor", Geo(kPos, Pack(0, 242)), kPosKept},
        {"colour coding not offered", Geo(kCoding, uint32_t(kRaw8) << 24), kCodingKept},
        {"colour coding out of the ID range", Geo(kCoding, 0xFF000000), kCodingKept},
        // BYTE_PER_PACKET: unit 256, maximum 8192.
        {"packet size inquiry, and the maximum recommended and set",
         {R(kPara), R(kBpp), R(kVs)},
         {Pack(256, 8192), Pack(8192, 8192), kPresence}},
        {"packet size 0", Bpp(0), {Pack(8192, 8192), kVsErr2}},
        {"packet size off the unit", Bpp(100u << 16), {Pack(8192, 8192), kVsErr2}},
        {"packet size above the maximum", Bpp(8448u << 16), {Pack(8192, 8192), kVsErr2}},
        {"packet size 0xFFFF", Bpp(0xFFFF0000), {Pack(8192, 8192), kVsErr2}},
        {"RecBytePerPacket is read-only",
         {W(kBpp, Pack(4096, 0x1234)), R(kBpp), R(kVs), R(kPpf)},
         {Pack(4096, 8192), kPresence, 75}},
        {"Setting_1 reads 0 at once and clears both flags, which are not writable",
         {W(kSize, Pack(1, 1)), W(kBpp, 3u << 16), R(kVs), W(kVs, kSetting1), R(kVs),
          W(kVs, kErrorFlag1 | kErrorFlag2), R(kVs)},
         {kVsErr1 | kErrorFlag2, kPresence, kPresence}},
        {"ACR locked before any write", {R(kAcrBase), R(kAcrBase + 4)}, {~0u, ~0u}},
        {"ACR: feature ID, time-out 0", Acr(0x00A5C19E, 0x2D470000), {0x00A5C19E, 0x2D470000}},
        {"ACR: feature ID, time-out 0x123", Acr(0x00A5C19E, 0x2D470123), {0x00A5C19E, 0x2D470123}},
        {"ACR: other feature set", Acr(0x00A5C19E, 0x2D480000), {~0u, ~0u}},
        {"ACR: other company", Acr(0x00A5C29E, 0x2D470000), {~0u, ~0u}},
        {"ACR: feature ID sent little-endian", Acr(0x9EC1A500, 0x0000472D), {~0u, ~0u}},
        // PIO: PIO_OUTPUT and the user-set bits are one state; the monitor
        // (+8) shows the level, after the inversion (+0xC).
        {"PIO: all inquiries, source user set",
         {R(kOut0), R(kOut0 + 4), W(kPioBase, 5), R(kPioBase), R(kOut0 + 0x10), R(kOut1 + 0x10),
          R(kOut0 + 8), W(kOut1 + 0x10, 1), W(kOut0 + 0xC, 1), R(kPioBase), R(kOut0 + 8)},
         {0xF0000003, 0x1B, 5, 1, 0, 1, 7, 0}},
        {"PIO: integration enable is active while armed; serial transmit is refused",
         {W(kOut1, 0), R(kOut1), R(kOut1 + 8), W(kIso, kOn), R(kOut1 + 8), W(kOut1, 2), R(kOut1)},
         {0xF0000000, 0, 1, 0xF0000000}},
        {"PIO: the Bayer camera's outputs 2 and 3 cannot follow a strobe (it has two)",
         {W(kOut2, 4), R(kOut2), R(kOut2 + 4)},
         {0xF0000003, 0x0B},
         "2mp-bayer"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Camera cam(*FindModel(row.model));
        Q got;
        for (const Step& s : row.steps) {
            if (s.address == kLines)
                cam.space.SetInputLines(s.value);
            else if (s.address == kFrame)
                got.push_back(uint32_t(cam.Frame()));
            else if (s.read)
                got.push_back(cam.R(s.address));
            else
                cam.W(s.address, s.value);
        }
        EXPECT_EQ(row.expected, got);
    }
}

TEST(Format7, FrameIntervalIsTheLongestOfTransferReadOutAndExposure) {
    Camera cam; // 120 fps at full height, 20 us shutter steps
    // Full frame Mono8: read-out 1/120 s beats 38 packets (4.75 ms) and 2 ms.
    EXPECT_NEAR(1.0 / 120, cam.FrameInterval(), 1e-6);
    cam.SetF7(F7::kBytePerPacket, 256u << 16); // 1200 packets of 125 us
    EXPECT_NEAR(1200 * 125e-6, cam.FrameInterval(), 1e-6);
    cam.SetF7(F7::kBytePerPacket, 8192u << 16);
    cam.W(kShu, 0x82000000 | 4000); // 4000 steps of 20 us
    EXPECT_NEAR(0.080, cam.FrameInterval(), 1e-6);
    Camera bayer(*FindModel("2mp-bayer"));
    bayer.SetF7(F7::kColorCodingId, uint32_t(kRaw8) << 24);
    EXPECT_NEAR(1.0 / 30, bayer.FrameInterval(), 1e-6);
}

} // namespace
} // namespace EmulatorTest
