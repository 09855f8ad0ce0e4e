// The register map of the emulated camera, block by block, as tables of rows:
// offset, name, reset value, writable mask, write-1-to-clear mask, flags,
// read hook, write hook, index. Values that differ between models come from
// the ModelSpec; the layout is the same for every model.
#include "emulator/AddressMap.h"
#include "emulator/ConfigRom.h"
#include "emulator/Guid.h"
#include "emulator/RegisterSpace.h"

#include <cstring>

namespace Emulator {

namespace {

using RS = RegisterSpace;

// Feature element inquiry (0x5xx): Presence, ReadOut, Manual, Min, Max.
uint32_t FeatureInq(const FeatureRange& f) {
    return f.present ? 0x89000000u | uint32_t(f.min) << 12 | f.max : 0;
}

// Feature control (0x8xx) at power-up: Presence, ON, manual, the value.
uint32_t FeatureCtrl(const FeatureRange& f) {
    return f.present ? 0x82000000u | f.reset : 0;
}

uint32_t FloatBits(float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}

// Smart features the GUID inquiry answers, with the GUIDs as the feature tree
// writes them.
struct SmartFeatureDef {
    const char* guid;
    uint64_t address;
};
const SmartFeatureDef kSmartFeatures[] = {
    {"2A411342 - C0CA - 4368 - B46E - EE5DEEBF0548", kSmartTestImage},
    {"2B2D8714 - C15E - 4176 - A235 - 6EF843D747B4", kSmartExtVerInfo},
    {"E77E6336 - E617 - 11D8 - 9653 - 00105A5BAE55", kSmartStrobeBase},
    {"16C31A78 - 3F75 - 11D8 - 94EC - 00105A5BAE55", kSmartTriggerCounter},
    {"93A06C5C - 87BF - 11D8 - 86DD - 00105A5BAE55", kSmartStartupMemCh},
    {"648BE1DA - A416 - 11D8 - 9B47 - 00105A5BAE55", kSmartShutterBase},
};

} // namespace

const char* RegisterSpace::Name(const std::string& name) {
    names_.push_back(name);
    return names_.back().c_str();
}

void RegisterSpace::AddBlock(const char* name, uint64_t base, uint64_t size,
                             const std::vector<Row>& rows) {
    blocks_.push_back({name, base, size});
    for (const Row& r : rows) {
        const uint64_t address = base + r.offset;
        if (r.offset >= size) {
            tableProblems_.push_back(std::string(r.name) + ": offset outside block " + name);
            continue;
        }
        if (!index_.emplace(address, registers_.size()).second) {
            tableProblems_.push_back(std::string(r.name) + ": address used twice");
            continue;
        }
        registers_.push_back({address, r.name, r.reset, r.writable, r.w1c, r.flags, r.read, r.write,
                              r.index, r.reset});
    }
}

void RegisterSpace::BuildMap() {
    BuildRom();
    BuildCommandBlock();
    BuildFormat7Blocks();
    BuildMakerBlocks();
    BuildSmartFeatures();
}

// Configuration ROM: one read-only row per quadlet of the image; the rest of
// the 1 KiB window is reserved and reads 0.
void RegisterSpace::BuildRom() {
    rom_ = BuildConfigRom(model_, QuadletOffset(kCommandBase));
    std::vector<Row> rows;
    for (size_t i = 0; i < rom_.size(); ++i) {
        rows.push_back({uint32_t(4 * i), "CONFIG_ROM", rom_[i], 0, 0, 0, nullptr, nullptr, 0});
    }
    AddBlock("configuration ROM", kRomBase, kRomSize, rows);
}

void RegisterSpace::BuildCommandBlock() {
    const ModelSpec& m = model_;
    uint32_t modeInq = 0;
    for (size_t i = 0; i < m.modes.size() && i < 8; ++i) {
        modeInq |= 0x80000000u >> i;
    }
    const uint32_t featureHi = (m.brightness.present ? Feature::Bit(Feature::kBrightness) : 0) |
                               (m.whiteBalance.present ? Feature::Bit(Feature::kWhiteBalance) : 0) |
                               (m.shutter.present ? Feature::Bit(Feature::kShutter) : 0) |
                               (m.gain.present ? Feature::Bit(Feature::kGain) : 0) |
                               ((m.triggerInq & kPresence) ? Feature::Bit(Feature::kTrigger) : 0);
    // Advanced features, VMODE and feature error status, optional CSRs,
    // 1394b, one-shot, multi-shot, user memory channels.
    const uint32_t basicFunc = 0xF0801800u | (m.memoryChannels & 0xF);
    const uint32_t wb = m.whiteBalance.reset;
    const uint32_t wbCtrl = m.whiteBalance.present ? 0x82000000u | wb << 12 | wb : 0;
    const uint32_t trigWritable =
        (m.triggerInq & kPresence) ? 0x02EF0FFFu | (m.triggerInq & 0x02000000 ? 0x01000000 : 0) : 0;
    const uint32_t trigReset = (m.triggerInq & kPresence) ? 0x80000000u : 0;
    const uint32_t lockedPersist = kPersist | kStreamLocked;

    using namespace Cmd;
    using namespace Feature;
    // clang-format off
    std::vector<Row> rows = {
        // offset                            name                        reset                        writable                                 w1c         flags           read                      write                       index
        {kInitialize,                        "INITIALIZE",               0,                           0x80000000,                              0,          0,              nullptr,                  &RS::WriteInitialize,       0},
        {kVFormatInq,                        "V_FORMAT_INQ",             0x01000000,                  0,                                       0,          0,              nullptr,                  nullptr,                    0},
        {kVModeInq0 + 4 * 7,                 "V_MODE_INQ_7",             modeInq,                     0,                                       0,          0,              nullptr,                  nullptr,                    0},
        {kBasicFuncInq,                      "BASIC_FUNC_INQ",           basicFunc,                   0,                                       0,          0,              nullptr,                  nullptr,                    0},
        {kFeatureHiInq,                      "FEATURE_HI_INQ",           featureHi,                   0,                                       0,          0,              nullptr,                  nullptr,                    0},
        {kFeatureLoInq,                      "FEATURE_LO_INQ",           0,                           0,                                       0,          0,              nullptr,                  nullptr,                    0},
        {kOptFunctionInq,                    "OPT_FUNCTION_INQ",         0x50000000,                  0,                                       0,          0,              nullptr,                  nullptr,                    0},
        {kAdvancedFeatureInq,                "ADVANCED_FEATURE_INQ",     QuadletOffset(kAcrBase),     0,                                       0,          0,              nullptr,                  nullptr,                    0},
        {kPioCsrInq,                         "PIO_CONTROL_CSR_INQ",      QuadletOffset(kPioBase),     0,                                       0,          0,              nullptr,                  nullptr,                    0},
        {kSioCsrInq,                         "SIO_CONTROL_CSR_INQ",      0,                           0,                                       0,          0,              nullptr,                  nullptr,                    0},
        {kStrobeCsrInq,                      "STROBE_OUTPUT_CSR_INQ",    QuadletOffset(kStrobeBase),  0,                                       0,          0,              nullptr,                  nullptr,                    0},
        {kFeatureInq0 + 4 * kBrightness,     "BRIGHTNESS_INQ",           FeatureInq(m.brightness),    0,                                       0,          0,              nullptr,                  nullptr,                    0},
        {kFeatureInq0 + 4 * kWhiteBalance,   "WHITE_BALANCE_INQ",        FeatureInq(m.whiteBalance),  0,                                       0,          0,              nullptr,                  nullptr,                    0},
        {kFeatureInq0 + 4 * kShutter,        "SHUTTER_INQ",              FeatureInq(m.shutter),       0,                                       0,          0,              nullptr,                  nullptr,                    0},
        {kFeatureInq0 + 4 * kGain,           "GAIN_INQ",                 FeatureInq(m.gain),          0,                                       0,          0,              nullptr,                  nullptr,                    0},
        {kFeatureInq0 + 4 * kTrigger,        "TRIGGER_INQ",              m.triggerInq,                0,                                       0,          0,              nullptr,                  nullptr,                    0},
        {kCurVFrmRate,                       "CUR_V_FRM_RATE",           0,                           0xE0000000,                              0,          lockedPersist,  nullptr,                  nullptr,                    0},
        {kCurVMode,                          "CUR_V_MODE",               0,                           0xE0000000,                              0,          lockedPersist,  nullptr,                  nullptr,                    0},
        {kCurVFormat,                        "CUR_V_FORMAT",             0xE0000000,                  0xE0000000,                              0,          lockedPersist,  nullptr,                  nullptr,                    0},
        // 1394b operation at S800 (Operation_Mode 1, ISO_Speed_B 3).
        {kIsoChannel,                        "ISO_CHANNEL",              0x00008003,                  0xF300BF07,                              0,          lockedPersist,  nullptr,                  nullptr,                    0},
        {kIsoEnable,                         "ISO_EN",                   0,                           0x80000000,                              0,          0,              nullptr,                  &RS::WriteIsoEnable,        0},
        {kMemorySave,                        "MEMORY_SAVE",              0,                           0x80000000,                              0,          0,              nullptr,                  &RS::WriteMemorySave,       0},
        {kOneShot,                           "ONE_SHOT",                 0,                           0xC000FFFF,                              0,          0,              nullptr,                  &RS::WriteOneShot,          0},
        {kMemSaveCh,                         "MEM_SAVE_CH",              0x10000000,                  0xF0000000,                              0,          0,              nullptr,                  &RS::WriteMemSaveChannel,   0},
        {kCurMemCh,                          "CUR_MEM_CH",               0,                           0xF0000000,                              0,          0,              nullptr,                  &RS::WriteCurMemChannel,    0},
        {kVModeErrorStatus,                  "VMODE_ERROR_STATUS",       0,                           0,                                       0,          0,              &RS::ReadVModeError,      nullptr,                    0},
        {kSoftwareTrigger,                   "SOFTWARE_TRIGGER",         0,                           0x80000000,                              0,          0,              nullptr,                  &RS::WriteSoftwareTrigger,  0},
        {kDataDepth,                         "DATA_DEPTH",               0,                           0,                                       0,          0,              &RS::ReadDataDepth,       nullptr,                    0},
        // Error bits latch on a refused feature write; a host clears them by
        // writing 1, a later accepted write to the feature clears its bit.
        {kFeatureErrorHi,                    "FEATURE_ERROR_STATUS_HI",  0,                           0,                                       featureHi,  0,              nullptr,                  nullptr,                    0},
        {kFeatureErrorLo,                    "FEATURE_ERROR_STATUS_LO",  0,                           0,                                       0,          0,              nullptr,                  nullptr,                    0},
        {kFeatureCtrl0 + 4 * kBrightness,    "BRIGHTNESS",               FeatureCtrl(m.brightness),   m.brightness.present ? 0xFFFu : 0,       0,          kPersist,       nullptr,                  &RS::WriteFeature,          kBrightness},
        {kFeatureCtrl0 + 4 * kWhiteBalance,  "WHITE_BALANCE",            wbCtrl,                      m.whiteBalance.present ? 0xFFFFFFu : 0,  0,          kPersist,       nullptr,                  &RS::WriteFeature,          kWhiteBalance},
        {kFeatureCtrl0 + 4 * kShutter,       "SHUTTER",                  FeatureCtrl(m.shutter),      m.shutter.present ? 0xFFFu : 0,          0,          kPersist,       nullptr,                  &RS::WriteFeature,          kShutter},
        {kFeatureCtrl0 + 4 * kGain,          "GAIN",                     FeatureCtrl(m.gain),         m.gain.present ? 0xFFFu : 0,             0,          kPersist,       nullptr,                  &RS::WriteFeature,          kGain},
        // ON_OFF, polarity (if settable), source, mode, parameter; bit 20 is
        // the raw trigger input, added on read.
        {kFeatureCtrl0 + 4 * kTrigger,       "TRIGGER_MODE",             trigReset,                   trigWritable,                            0,          kPersist,       &RS::ReadTriggerControl,  &RS::WriteTrigger,          kTrigger},
    };
    // clang-format on
    for (size_t i = 0; i < m.modes.size() && i < 8; ++i) {
        rows.push_back({uint32_t(kVCsrInq7 + 4 * i), Name("V_CSR_INQ_7_" + std::to_string(i)),
                        QuadletOffset(ModeBase(unsigned(i))), 0, 0, 0, nullptr, nullptr, 0});
    }
    AddBlock("command registers", kCommandBase, kCommandSize, rows);
}

void RegisterSpace::BuildFormat7Blocks() {
    for (size_t i = 0; i < model_.modes.size() && i < 8; ++i) {
        const Format7Mode& f = model_.modes[i];
        const uint8_t mode = uint8_t(i);
        const uint32_t maxSize = uint32_t(f.maxWidth) << 16 | f.maxHeight;
        using namespace F7;
        // clang-format off
        const std::vector<Row> rows = {
            // offset          name                     reset                                                        writable     w1c flags      read                      write                     index
            {kMaxImageSize,    "MAX_IMAGE_SIZE_INQ",    maxSize,                                                     0,           0,  0,         nullptr,                  nullptr,                  mode},
            {kUnitSize,        "UNIT_SIZE_INQ",         uint32_t(f.unitWidth) << 16 | f.unitHeight,                  0,           0,  0,         nullptr,                  nullptr,                  mode},
            {kImagePosition,   "IMAGE_POSITION",        0,                                                           0xFFFFFFFF,  0,  kPersist,  nullptr,                  &RS::WriteImagePosition,  mode},
            {kImageSize,       "IMAGE_SIZE",            maxSize,                                                     0xFFFFFFFF,  0,  kPersist,  nullptr,                  &RS::WriteImageSize,      mode},
            {kColorCodingId,   "COLOR_CODING_ID",       uint32_t(model_.resetColorCoding) << 24,                     0xFF000000,  0,  kPersist,  nullptr,                  &RS::WriteColorCoding,    mode},
            {kColorCodingInq,  "COLOR_CODING_INQ",      model_.colorCodings,                                         0,           0,  0,         nullptr,                  nullptr,                  mode},
            {kMakerCodingInq,  "MAKER_CODING_INQ",      0,                                                           0,           0,  0,         nullptr,                  nullptr,                  mode},
            {kPixelNumber,     "PIXEL_NUMBER_INQ",      0,                                                           0,           0,  0,         &RS::ReadPixelNumber,     nullptr,                  mode},
            {kTotalBytesHi,    "TOTAL_BYTES_HI_INQ",    0,                                                           0,           0,  0,         &RS::ReadTotalBytesHi,    nullptr,                  mode},
            {kTotalBytesLo,    "TOTAL_BYTES_LO_INQ",    0,                                                           0,           0,  0,         &RS::ReadTotalBytesLo,    nullptr,                  mode},
            {kPacketParaInq,   "PACKET_PARA_INQ",       uint32_t(f.unitBytesPerPacket) << 16 | f.maxBytesPerPacket,  0,           0,  0,         nullptr,                  nullptr,                  mode},
            // BytePerPacket (RW) | RecBytePerPacket (RO, the maximum).
            {kBytePerPacket,   "BYTE_PER_PACKET",       uint32_t(f.maxBytesPerPacket) << 16 | f.maxBytesPerPacket,   0xFFFF0000,  0,  kPersist,  nullptr,                  &RS::WriteBytePerPacket,  mode},
            {kPacketPerFrame,  "PACKET_PER_FRAME_INQ",  0,                                                           0,           0,  0,         &RS::ReadPacketPerFrame,  nullptr,                  mode},
            {kUnitPosition,    "UNIT_POSITION_INQ",     uint32_t(f.unitLeft) << 16 | f.unitTop,                      0,           0,  0,         nullptr,                  nullptr,                  mode},
            {kFrameInterval,   "FRAME_INTERVAL_INQ",    0,                                                           0,           0,  0,         &RS::ReadFrameInterval,   nullptr,                  mode},
            {kDataDepth,       "DATA_DEPTH_INQ",        0,                                                           0,           0,  0,         &RS::ReadModeDataDepth,   nullptr,                  mode},
            {kColorFilterId,   "COLOR_FILTER_ID",       uint32_t(model_.colorFilter) << 24,                          0,           0,  0,         nullptr,                  nullptr,                  mode},
            // Presence_Inq; Setting_1 self-clears; error flags set by the camera.
            {kValueSetting,    "VALUE_SETTING",         kPresence,                                                   kSetting1,   0,  0,         nullptr,                  &RS::WriteValueSetting,   mode},
        };
        // clang-format on
        AddBlock(Name("Format_7 mode " + std::to_string(i)), ModeBase(mode), kFormat7Size, rows);
    }
}

void RegisterSpace::BuildMakerBlocks() {
    // Access control register and the smart-feature GUID inquiry.
    // clang-format off
    AddBlock("access control", kAcrBase, kAcrSize, {
        // off  name                  reset writable     w1c flags read                     write     index
        {0x00,  "ACR_FEATURE_ID_HI",  0,    0xFFFFFFFF,  0,  0,    &RS::ReadAcr,            nullptr,  0},
        {0x04,  "ACR_FEATURE_ID_LO",  0,    0xFFFFFFFF,  0,  0,    &RS::ReadAcr,            nullptr,  1},
        {0x10,  "SF_INQUIRY_0",       0,    0xFFFFFFFF,  0,  0,    nullptr,                 nullptr,  0},
        {0x14,  "SF_INQUIRY_1",       0,    0xFFFFFFFF,  0,  0,    nullptr,                 nullptr,  1},
        {0x18,  "SF_INQUIRY_2",       0,    0xFFFFFFFF,  0,  0,    nullptr,                 nullptr,  2},
        {0x1C,  "SF_INQUIRY_3",       0,    0xFFFFFFFF,  0,  0,    nullptr,                 nullptr,  3},
        {0x20,  "SF_ADDRESS_LO",      0,    0,           0,  0,    &RS::ReadInquiryAnswer,  nullptr,  0},
        {0x24,  "SF_ADDRESS_HI",      0,    0,           0,  0,    &RS::ReadInquiryAnswer,  nullptr,  1},
    });
    // clang-format on

    // PIO: output lines (the user-set bits of the four outputs) and inputs.
    // clang-format off
    AddBlock("PIO", kPioBase, kPioSize, {
        {0x0,  "PIO_OUTPUT",  0,  0xF,  0,  0,  &RS::ReadPioOutput,  &RS::WritePioOutput,  0},
        {0x4,  "PIO_INPUT",   0,  0,    0,  0,  &RS::ReadPioInput,   nullptr,              0},
    });
    // clang-format on

    // Per-output blocks: inquiry bits + source select, source inquiry,
    // monitor, invert, user-set level. Sources: 0 integration enable,
    // 1 ready for trigger, 2 serial transmit (no serial port here), 3 user
    // set, 4 strobe n.
    for (unsigned n = 0; n < kPioOutputs; ++n) {
        const std::string p = "PIO_OUT" + std::to_string(n) + "_";
        const uint32_t srcInq = 0x0Bu | (n < model_.strobes ? 0x10u : 0);
        const uint8_t i = uint8_t(n);
        // clang-format off
        AddBlock(Name("PIO output " + std::to_string(n)), kPioOutBase + n * kPioOutStride, kPioOutStride, {
            {0x00,  Name(p + "CTRL"),     0xF0000003,  0xF,  0,  kPersist,  nullptr,              &RS::WritePioSource,  i},
            {0x04,  Name(p + "SRC_INQ"),  srcInq,      0,    0,  0,         nullptr,              nullptr,              i},
            {0x08,  Name(p + "MONITOR"),  0,           0,    0,  0,         &RS::ReadPioMonitor,  nullptr,              i},
            {0x0C,  Name(p + "INVERT"),   0,           0x1,  0,  kPersist,  nullptr,              nullptr,              i},
            {0x10,  Name(p + "USERSET"),  0,           0x1,  0,  kPersist,  nullptr,              nullptr,              i},
        });
        // clang-format on
    }

    // IIDC strobe block: STROBE_CTRL_INQ, STROBE_n_INQ (+0x100), STROBE_n_CNT
    // (+0x200). Present strobes: on/off, polarity, delay and duration 0..4095.
    std::vector<Row> strobeRows;
    uint32_t ctrlInq = 0;
    for (unsigned n = 0; n < kMaxStrobes; ++n) {
        const bool present = n < model_.strobes;
        ctrlInq |= present ? 0x80000000u >> n : 0;
        const std::string s = "STROBE_" + std::to_string(n);
        strobeRows.push_back({0x100 + 4 * n, Name(s + "_INQ"), present ? 0x8E000FFFu : 0, 0, 0, 0,
                              nullptr, nullptr, uint8_t(n)});
        strobeRows.push_back({0x200 + 4 * n, Name(s + "_CNT"), present ? kPresence : 0,
                              present ? 0x03FFFFFFu : 0, 0, kPersist, nullptr, nullptr,
                              uint8_t(n)});
    }
    strobeRows.push_back({0x000, "STROBE_CTRL_INQ", ctrlInq, 0, 0, 0, nullptr, nullptr, 0});
    AddBlock("strobe", kStrobeBase, kStrobeSize, strobeRows);

    // CPU temperature in bits 15..8, board temperature in bits 7..0, degrees C.
    // clang-format off
    AddBlock("temperatures", kTemperatureAddress, 4, {
        {0x0,  "TEMPERATURES",  uint32_t(model_.cpuTemperature) << 8 | model_.boardTemperature,  0,  0,  0,  nullptr,  nullptr,  0},
    });
    // clang-format on
}

void RegisterSpace::BuildSmartFeatures() {
    for (const SmartFeatureDef& f : kSmartFeatures) {
        smartFeatures_.push_back({ParseGuid(f.guid), f.address});
    }

    // Test image: presence, test images 1..3 available (bits 23..21), the
    // selection in bits 15..13 (0 = live picture).
    // clang-format off
    AddBlock("smart feature test image", kSmartTestImage, kSmartSize, {
        {0x0,  "TEST_IMAGE",  0x80E00000,  0x0000E000,  0,  kPersist,  nullptr,  &RS::WriteTestImage,  0},
    });
    // clang-format on

    // Extended version information: presence, length in quadlets (bits
    // 23..16), then the NUL-padded text.
    // clang-format off
    std::vector<Row> verRows = {
        {0x0,  "EXT_VER_INFO",  kPresence | kExtVerInfoQuadlets << 16,  0,  0,  0,  nullptr,  nullptr,  0},
    };
    // clang-format on
    const char* text = model_.versionText;
    const size_t len = text == nullptr ? 0 : strnlen(text, 4 * kExtVerInfoQuadlets);
    for (unsigned q = 0; q < kExtVerInfoQuadlets; ++q) {
        uint32_t v = 0;
        for (unsigned b = 0; b < 4; ++b) {
            const size_t i = 4 * q + b;
            v |= uint32_t(i < len ? uint8_t(text[i]) : 0) << (24 - 8 * b);
        }
        verRows.push_back({4 + 4 * q, "EXT_VER_INFO_TEXT", v, 0, 0, 0, nullptr, nullptr, 0});
    }
    AddBlock("smart feature version info", kSmartExtVerInfo, kSmartSize, verRows);

    // Strobe time bases: presence, duration base (bits 16..8), delay base
    // (bits 7..0), both 1 at power-up.
    // clang-format off
    AddBlock("smart feature strobe time base", kSmartStrobeBase, kSmartSize, {
        {0x0,  "STROBE_TIME_BASE",  0x80000101,  0x0001FFFF,  0,  kPersist,  nullptr,  nullptr,  0},
    });
    // clang-format on

    // Trigger counter: presence and accepted triggers (bits 15..0); flag
    // (bit 0): a trigger waits for its frame.
    // clang-format off
    AddBlock("smart feature trigger counter", kSmartTriggerCounter, kSmartSize, {
        {0x0,  "TRIGGER_COUNTER",  0,  0,  0,  0,  &RS::ReadTriggerCounter,  nullptr,  0},
        {0x4,  "TRIGGER_FLAG",     0,  0,  0,  0,  &RS::ReadTriggerFlag,     nullptr,  0},
    });
    // clang-format on

    // Memory channel loaded at power-up and INITIALIZE (bits 3..0).
    // clang-format off
    AddBlock("smart feature startup channel", kSmartStartupMemCh, kSmartSize, {
        {0x0,  "STARTUP_MEM_CH",  kPresence,  0xF,  0,  kNonVolatile,  nullptr,  &RS::WriteStartupChannel,  0},
    });
    // clang-format on

    // Shutter time base: presence and enable (bit 0); increment, minimum,
    // maximum and value as IEEE-754 singles in seconds.
    // clang-format off
    AddBlock("smart feature shutter time base", kSmartShutterBase, kSmartSize, {
        {0x00,  "SHUTTER_BASE_CTRL",   kPresence,                             0x1,         0,  kPersist,  nullptr,  nullptr,                     0},
        {0x04,  "SHUTTER_BASE_INC",    FloatBits(1e-6f),                      0,           0,  0,         nullptr,  nullptr,                     0},
        {0x08,  "SHUTTER_BASE_MIN",    FloatBits(1e-6f),                      0,           0,  0,         nullptr,  nullptr,                     0},
        {0x0C,  "SHUTTER_BASE_MAX",    FloatBits(1e-3f),                      0,           0,  0,         nullptr,  nullptr,                     0},
        {0x10,  "SHUTTER_BASE_VALUE",  FloatBits(float(model_.shutterUnit)),  0xFFFFFFFF,  0,  kPersist,  nullptr,  &RS::WriteShutterBaseValue,  0},
    });
    // clang-format on
}

} // namespace Emulator
