// Acquisition control and features as a camera manual states them: shots,
// triggers, feature limits and error status, memory channels, INITIALIZE.
#include "EmulatorTestSupport.h"

namespace EmulatorTest {
namespace {

constexpr uint32_t kShutter = Cmd::kFeatureCtrl0 + 4 * Feature::kShutter;
constexpr uint32_t kGain = Cmd::kFeatureCtrl0 + 4 * Feature::kGain;
constexpr uint32_t kBrightness = Cmd::kFeatureCtrl0 + 4 * Feature::kBrightness;
constexpr uint32_t kTrigger = Cmd::kFeatureCtrl0 + 4 * Feature::kTrigger;

TEST(Control, AfterAOneShotWriteOneFrameIsDueAndTheBitReadsZero) {
    Camera cam(Vga());
    EXPECT_FALSE(cam.space.TakeFrame().has_value()) << "idle camera sends nothing";
    cam.SetCmd(Cmd::kOneShot, kOneShotBit);
    EXPECT_EQ(kOneShotBit, cam.Cmd(Cmd::kOneShot)) << "reads 1 until the frame is taken";
    const auto frame = cam.space.TakeFrame();
    ASSERT_TRUE(frame.has_value());
    EXPECT_EQ((std::vector<uint64_t>{1, 640, 480, 307200, 0}),
              (std::vector<uint64_t>{frame->number, frame->width, frame->height, frame->totalBytes,
                                     cam.Cmd(Cmd::kOneShot)}));
    EXPECT_FALSE(cam.space.TakeFrame().has_value()) << "exactly one frame";
}

TEST(Control, MultiShotSendsCountNumberFramesThenClears) {
    Camera cam(Vga());
    cam.SetCmd(Cmd::kOneShot, kMultiShotBit | 3);
    for (uint32_t left = 2;; --left) {
        ASSERT_TRUE(cam.space.TakeFrame().has_value());
        if (left == 0) {
            break;
        }
        EXPECT_EQ(kMultiShotBit | left, cam.Cmd(Cmd::kOneShot));
    }
    EXPECT_EQ(0u, cam.Cmd(Cmd::kOneShot));
    EXPECT_FALSE(cam.space.TakeFrame().has_value());
    cam.SetCmd(Cmd::kOneShot, kMultiShotBit);
    EXPECT_EQ(0u, cam.Cmd(Cmd::kOneShot)) << "a multi-shot of no frames completes at once";
}

TEST(Control, ContinuousShotSendsUntilSwitchedOffAndOverridesShots) {
    Camera cam(Vga());
    cam.SetCmd(Cmd::kIsoEnable, 0x80000000);
    for (uint64_t n = 1; n <= 5; ++n) {
        const auto frame = cam.space.TakeFrame();
        ASSERT_TRUE(frame.has_value());
        EXPECT_EQ(n, frame->number);
    }
    EXPECT_EQ(0x80000000u, cam.Cmd(Cmd::kIsoEnable)) << "ISO_EN does not self-clear";
    cam.SetCmd(Cmd::kOneShot, kOneShotBit);
    EXPECT_EQ(0u, cam.Cmd(Cmd::kOneShot)) << "one-shot ignored while ISO_EN is on";
    cam.SetCmd(Cmd::kIsoEnable, 0);
    EXPECT_FALSE(cam.space.TakeFrame().has_value());
}

TEST(Control, FeatureValuesOutsideTheirLimitsAreRefusedAndFlagged) {
    struct Case {
        const char* what;
        uint32_t control;
        uint32_t value;
        uint32_t errorBit;
    };
    // VGA: brightness 0..255, shutter 1..4095, gain 0..680.
    const Case cases[] = {
        {"brightness above its maximum", kBrightness, 256, 0x80000000},
        {"shutter below its minimum", kShutter, 0, 0x01000000},
        {"gain above its maximum", kGain, 681, 0x00800000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Camera cam(Vga());
        const uint32_t before = cam.Cmd(c.control), top = before & 0xFFFFF000;
        const auto both = [&] {
            return cam.Rs({kCommandBase + c.control, kCommandBase + Cmd::kFeatureErrorHi});
        };
        cam.SetCmd(c.control, top | c.value);
        EXPECT_EQ((Q{before, c.errorBit}), both());
        // An accepted write to the same feature clears its error bit.
        cam.SetCmd(c.control, top | 1);
        EXPECT_EQ((Q{top | 1, 0}), both());
    }
}

TEST(Control, TriggerSettingsAreCheckedAgainstTheTriggerInquiry) {
    struct Case {
        const char* model;
        uint32_t value;
        bool accepted;
    };
    const Case cases[] = {
        {"vga-mono", 0x83E00000, true},   // on, high active, software source, mode 0
        {"vga-mono", 0x82010000, true},   // mode 1, source 0
        {"vga-mono", 0x82020000, false},  // mode 2 not offered
        {"vga-mono", 0x820F0000, false},  // mode 15 not offered
        {"vga-mono", 0x82200000, false},  // source 1 not offered
        {"vga-mono", 0x82C00000, false},  // source 6 does not exist
        {"2mp-bayer", 0x82200000, true},  // source 1 on the Bayer camera
        {"2mp-bayer", 0x82600000, false}, // source 3 not offered
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.model) + " " + std::to_string(c.value));
        Camera cam(*FindModel(c.model));
        cam.SetCmd(kTrigger, c.value);
        EXPECT_EQ((c.accepted ? Q{c.value, 0} : Q{0x80000000u, 0x00080000u}),
                  cam.Rs({kCommandBase + kTrigger, kCommandBase + Cmd::kFeatureErrorHi}));
    }
    // Without Polarity_Inq the polarity bit is read-only.
    Camera bayer(Bayer());
    bayer.SetCmd(kTrigger, 0x83000000);
    EXPECT_EQ(0x82000000u, bayer.Cmd(kTrigger));
    EXPECT_EQ(0x8CC1C000u, bayer.Cmd(0x530)) << "sources 0, 1, software; modes 0, 1";
}

TEST(Control, SoftwareTriggerInEdgeModeGivesOneFramePerTrigger) {
    Camera cam(Vga());
    cam.SetCmd(kTrigger, 0x83E00000); // on, software, mode 0
    cam.SetCmd(Cmd::kIsoEnable, 0x80000000);
    EXPECT_FALSE(cam.space.TakeFrame().has_value()) << "armed, waiting for a trigger";
    cam.SetCmd(Cmd::kSoftwareTrigger, 0x80000000);
    EXPECT_EQ(0x80000000u, cam.Cmd(Cmd::kSoftwareTrigger)) << "reads 1 until exposure starts";
    EXPECT_EQ(0x00100000u, cam.Cmd(kTrigger) & 0x00100000) << "Trigger_Value shows it";
    ASSERT_TRUE(cam.space.TakeFrame().has_value());
    EXPECT_EQ(0u, cam.Cmd(Cmd::kSoftwareTrigger));
    EXPECT_FALSE(cam.space.TakeFrame().has_value()) << "one frame per trigger";
    cam.SetCmd(Cmd::kSoftwareTrigger, 0); // hosts that release it themselves: harmless
    EXPECT_FALSE(cam.space.TakeFrame().has_value());
    // Unarmed, a trigger is dropped and the bit reads 0 at once.
    cam.SetCmd(Cmd::kIsoEnable, 0);
    cam.SetCmd(Cmd::kSoftwareTrigger, 0x80000000);
    EXPECT_EQ(0u, cam.Cmd(Cmd::kSoftwareTrigger));
    cam.SetCmd(Cmd::kOneShot, kOneShotBit);
    EXPECT_FALSE(cam.space.TakeFrame().has_value());
}

TEST(Control, SoftwareTriggerInLevelModeExposesUntilReleased) {
    Camera cam(Vga());
    cam.SetCmd(kTrigger, 0x83E10000); // on, software, mode 1
    cam.SetCmd(Cmd::kOneShot, kOneShotBit);
    cam.SetCmd(Cmd::kSoftwareTrigger, 0x80000000);
    EXPECT_EQ(0x80000000u, cam.Cmd(Cmd::kSoftwareTrigger)) << "stays 1 while held";
    EXPECT_FALSE(cam.space.TakeFrame().has_value()) << "still exposing";
    cam.SetCmd(Cmd::kSoftwareTrigger, 0);
    ASSERT_TRUE(cam.space.TakeFrame().has_value());
    EXPECT_EQ(0u, cam.Cmd(Cmd::kOneShot));
}

TEST(Control, HardwareTriggerFiresOnTheActiveEdgeOfTheSelectedInput) {
    Camera cam(Vga());
    cam.SetCmd(kTrigger, 0x82000000); // on, low active, input 0, mode 0
    cam.SetCmd(Cmd::kIsoEnable, 0x80000000);
    cam.space.SetInputLines(0x1);
    EXPECT_FALSE(cam.space.TakeFrame().has_value()) << "rising edge, low active: none";
    cam.space.SetInputLines(0x3);
    EXPECT_FALSE(cam.space.TakeFrame().has_value()) << "input 1 not selected";
    cam.space.SetInputLines(0x2);
    EXPECT_TRUE(cam.space.TakeFrame().has_value()) << "falling edge of input 0";
    EXPECT_EQ(0x2u, cam.R(kPioBase + 4)) << "PIO_INPUT shows the lines";
    // The trigger counter smart feature counted the trigger.
    EXPECT_EQ(kPresence | 1, cam.R(kSmartTriggerCounter));
}

TEST(Control, MemoryChannelsSaveAndRestoreSettings) {
    Camera cam(Vga());
    cam.SetCmd(kGain, 0x82000100);
    cam.SetF7(F7::kImageSize, (320u << 16) | 240);
    cam.SetCmd(Cmd::kMemSaveCh, 2u << 28);
    cam.SetCmd(Cmd::kMemorySave, 0x80000000);
    EXPECT_EQ(0u, cam.Cmd(Cmd::kMemorySave)) << "self-clears once stored";
    cam.SetCmd(kGain, 0x82000200);
    const auto state = [&] {
        return cam.Rs({kCommandBase + Cmd::kCurMemCh, kCommandBase + kGain,
                       cam.ModeCsr(F7::kImageSize), cam.ModeCsr(F7::kTotalBytesLo)});
    };
    cam.SetCmd(Cmd::kCurMemCh, 0); // factory settings
    EXPECT_EQ((Q{0, 0x82000000u, 640u << 16 | 480, 307200}), state());
    cam.SetCmd(Cmd::kCurMemCh, 2u << 28);
    EXPECT_EQ((Q{2u << 28, 0x82000100u, 320u << 16 | 240, 76800}), state());
    // Channels beyond BASIC_FUNC_INQ's Memory_Channel are refused; channel 0
    // is the factory set.
    for (uint32_t channel : {3u << 28, 0u})
        cam.SetCmd(Cmd::kMemSaveCh, channel);
    cam.SetCmd(Cmd::kCurMemCh, 3u << 28);
    EXPECT_EQ((Q{2u << 28, 2u << 28}),
              cam.Rs({kCommandBase + Cmd::kMemSaveCh, kCommandBase + Cmd::kCurMemCh}));
}

} // namespace
} // namespace EmulatorTest
