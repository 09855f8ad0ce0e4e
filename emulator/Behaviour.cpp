// Camera behaviour behind the register hooks: derived Format_7 values,
// validation of host writes, shots and triggers, memory channels, PIO and the
// access control register. Every function here runs with the mutex held.
#include "emulator/AddressMap.h"
#include "emulator/RegisterSpace.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace Emulator {

namespace {

// Bits per pixel of the IIDC colour codings 0..10; 0 = not a known coding.
unsigned BitsPerPixel(uint8_t coding) {
    static const unsigned kBits[] = {8, 12, 16, 24, 24, 16, 48, 16, 48, 8, 16};
    return coding < sizeof kBits / sizeof kBits[0] ? kBits[coding] : 0;
}

// Trigger control fields (0x830).
constexpr uint32_t kTrigOn = 0x02000000;
constexpr uint32_t kTrigPolarityHigh = 0x01000000;
constexpr uint32_t kTrigValue = 0x00100000;
unsigned TrigSource(uint32_t v) {
    return (v >> 21) & 7;
}
unsigned TrigMode(uint32_t v) {
    return (v >> 16) & 0xF;
}
constexpr unsigned kSoftwareSource = 7;

constexpr double kCycleSeconds = 125e-6; // one isochronous packet per cycle
constexpr unsigned kBlankingLines = 16;  // sensor read-out overhead per frame

} // namespace

uint64_t RegisterSpace::ModeBase(unsigned mode) const {
    return kFormat7Base + uint64_t(mode) * kFormat7Stride;
}

unsigned RegisterSpace::CurrentMode() const {
    return Reg(kCommandBase + Cmd::kCurVMode).value >> 29;
}

const Format7Mode* RegisterSpace::ModeSpec(unsigned mode) const {
    return mode < model_.modes.size() ? &model_.modes[mode] : nullptr;
}

bool RegisterSpace::VideoModeValid() const {
    const unsigned format = Reg(kCommandBase + Cmd::kCurVFormat).value >> 29;
    const uint32_t formats = Reg(kCommandBase + Cmd::kVFormatInq).value;
    return (formats & (0x80000000u >> format)) && format == 7 && ModeSpec(CurrentMode()) != nullptr;
}

bool RegisterSpace::Armed() const {
    const uint32_t shot = Reg(kCommandBase + Cmd::kOneShot).value;
    return (Reg(kCommandBase + Cmd::kIsoEnable).value & 0x80000000) || (shot & kOneShotBit) ||
           ((shot & kMultiShotBit) && (shot & kShotCountMask));
}

bool RegisterSpace::Sending() const {
    return Armed();
}

uint8_t RegisterSpace::DepthOf(uint8_t coding) const {
    const unsigned bits = BitsPerPixel(coding);
    if (coding == kMono16 || coding == kRaw16) {
        return model_.depth16;
    }
    return uint8_t(bits);
}

uint64_t RegisterSpace::TotalBytes(unsigned mode) const {
    const uint64_t base = ModeBase(mode);
    const uint32_t size = Reg(base + F7::kImageSize).value;
    const uint64_t pixels = uint64_t(size >> 16) * (size & 0xFFFF);
    const uint8_t coding = uint8_t(Reg(base + F7::kColorCodingId).value >> 24);
    return (pixels * BitsPerPixel(coding) + 7) / 8;
}

uint32_t RegisterSpace::PacketsPerFrame(unsigned mode) const {
    const uint32_t bpp = Reg(ModeBase(mode) + F7::kBytePerPacket).value >> 16;
    if (bpp == 0) {
        return 0; // never stored: the write hook refuses 0
    }
    return uint32_t((TotalBytes(mode) + bpp - 1) / bpp);
}

double RegisterSpace::ShutterSeconds() const {
    if (!model_.shutter.present) {
        return 0.0;
    }
    const uint32_t raw = Reg(kCommandBase + Cmd::kFeatureCtrl0 + 4 * Feature::kShutter).value;
    double unit = model_.shutterUnit;
    if (Reg(kSmartShutterBase).value & 1) {
        float f;
        const uint32_t bits = Reg(kSmartShutterBase + 0x10).value;
        std::memcpy(&f, &bits, sizeof f);
        unit = f;
    }
    return (raw & 0xFFF) * unit;
}

// Shortest frame period: packet transfer, sensor read-out of the AOI lines,
// and the exposure, whichever is longest.
double RegisterSpace::FramePeriod(unsigned mode) const {
    const Format7Mode* f = ModeSpec(mode);
    if (f == nullptr) {
        return 0.0;
    }
    const uint32_t height = Reg(ModeBase(mode) + F7::kImageSize).value & 0xFFFF;
    const double transfer = PacketsPerFrame(mode) * kCycleSeconds;
    const double readout =
        (height + kBlankingLines) / (f->fullFrameRate * (f->maxHeight + kBlankingLines));
    return std::max({transfer, readout, ShutterSeconds()});
}

void RegisterSpace::SetFeatureError(unsigned feature, bool failed) {
    Register& status = Reg(kCommandBase + Cmd::kFeatureErrorHi);
    status.value =
        failed ? status.value | Feature::Bit(feature) : status.value & ~Feature::Bit(feature);
}

void RegisterSpace::SetValueSettingFlags(unsigned mode, uint32_t set, uint32_t clear) {
    Register& vs = Reg(ModeBase(mode) + F7::kValueSetting);
    vs.value = (vs.value | set) & ~clear;
}

void RegisterSpace::LatchTrigger() {
    triggerLatched_ = true;
    ++triggerCount_;
}

bool RegisterSpace::OutputLevel(unsigned output) const {
    const uint64_t base = kPioOutBase + output * kPioOutStride;
    const uint32_t trig = Reg(kCommandBase + Cmd::kFeatureCtrl0 + 4 * Feature::kTrigger).value;
    bool active = false;
    switch (Reg(base).value & 0xF) {
    case 0: // integration enable: the camera is exposing or armed to
        active = Armed();
        break;
    case 1: // ready for trigger
        active = (trig & kTrigOn) && Armed() && !triggerLatched_;
        break;
    case 3: // user set
        active = Reg(base + 0x10).value & 1;
        break;
    case 4: // strobe n
        active = output < model_.strobes && Armed() &&
                 (Reg(kStrobeBase + 0x200 + 4 * output).value & 0x02000000);
        break;
    default:
        break;
    }
    return active != bool(Reg(base + 0xC).value & 1);
}

void RegisterSpace::StoreChannel(unsigned channel) {
    std::vector<std::pair<size_t, uint32_t>> saved;
    for (size_t i = 0; i < registers_.size(); ++i) {
        if (registers_[i].flags & kPersist) {
            saved.emplace_back(i, registers_[i].value);
        }
    }
    channels_[channel] = std::move(saved);
}

// Channel 0, and a channel never saved, hold the factory settings.
void RegisterSpace::LoadChannel(unsigned channel) {
    for (Register& r : registers_) {
        if (r.flags & kPersist) {
            r.value = r.reset;
        }
    }
    const auto it = channels_.find(channel);
    if (channel != 0 && it != channels_.end()) {
        for (const auto& [index, value] : it->second) {
            registers_[index].value = value;
        }
    }
    for (size_t m = 0; m < model_.modes.size(); ++m) {
        SetValueSettingFlags(unsigned(m), 0, kErrorFlag1 | kErrorFlag2);
    }
    triggerLatched_ = false;
    exposureByLevel_ = false;
    Reg(kCommandBase + Cmd::kCurMemCh).value = channel << 28;
}

void RegisterSpace::ResetLocked() {
    for (Register& r : registers_) {
        if (!(r.flags & kNonVolatile)) {
            r.value = r.reset;
        }
    }
    triggerLatched_ = false;
    exposureByLevel_ = false;
    triggerCount_ = 0;
    const unsigned startup = Reg(kSmartStartupMemCh).value & 0xF;
    if (startup != 0) {
        LoadChannel(startup);
    }
}

FrameInfo RegisterSpace::LayoutLocked() const {
    FrameInfo info{};
    info.number = frameNumber_;
    if (!VideoModeValid()) {
        return info;
    }
    const unsigned mode = CurrentMode();
    const uint64_t base = ModeBase(mode);
    const uint32_t pos = Reg(base + F7::kImagePosition).value;
    const uint32_t size = Reg(base + F7::kImageSize).value;
    info.left = pos >> 16;
    info.top = pos & 0xFFFF;
    info.width = size >> 16;
    info.height = size & 0xFFFF;
    info.colorCoding = uint8_t(Reg(base + F7::kColorCodingId).value >> 24);
    info.dataDepth = DepthOf(info.colorCoding);
    info.bytesPerPixel = uint8_t((BitsPerPixel(info.colorCoding) + 7) / 8);
    info.colorFilter = uint8_t(Reg(base + F7::kColorFilterId).value >> 24);
    info.testImage = uint8_t((Reg(kSmartTestImage).value >> 13) & 7);
    info.totalBytes = TotalBytes(mode);
    return info;
}

FrameInfo RegisterSpace::CurrentLayout() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return LayoutLocked();
}

double RegisterSpace::CurrentFramePeriod() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return VideoModeValid() ? FramePeriod(CurrentMode()) : 0.0;
}

std::optional<FrameInfo> RegisterSpace::TakeFrame() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!VideoModeValid() || !Armed()) {
        return std::nullopt;
    }
    Register& trig = Reg(kCommandBase + Cmd::kFeatureCtrl0 + 4 * Feature::kTrigger);
    if (trig.value & kTrigOn) {
        if (!triggerLatched_) {
            return std::nullopt;
        }
        triggerLatched_ = false;
        // Edge mode: the software trigger bit clears once the exposure started.
        if (TrigMode(trig.value) == 0) {
            Reg(kCommandBase + Cmd::kSoftwareTrigger).value = 0;
        }
    }
    Register& shot = Reg(kCommandBase + Cmd::kOneShot);
    if (!(Reg(kCommandBase + Cmd::kIsoEnable).value & 0x80000000)) {
        if (shot.value & kOneShotBit) {
            shot.value &= ~kOneShotBit;
        } else {
            const uint32_t left = (shot.value & kShotCountMask) - 1;
            shot.value = (shot.value & ~kShotCountMask) | left;
            if (left == 0) {
                shot.value &= ~kMultiShotBit;
            }
        }
    }
    ++frameNumber_;
    return LayoutLocked();
}

void RegisterSpace::SetInputLines(uint32_t levels) {
    std::lock_guard<std::mutex> lock(mutex_);
    const uint32_t old = inputLines_;
    inputLines_ = levels & 0xF;
    const uint32_t trig = Reg(kCommandBase + Cmd::kFeatureCtrl0 + 4 * Feature::kTrigger).value;
    const unsigned source = TrigSource(trig);
    if (!(trig & kTrigOn) || source > 3 || !Armed()) {
        return;
    }
    const bool highActive = trig & kTrigPolarityHigh;
    const bool was = bool((old >> source) & 1) == highActive;
    const bool is = bool((inputLines_ >> source) & 1) == highActive;
    const unsigned mode = TrigMode(trig);
    if ((mode == 0 && !was && is) || (mode == 1 && was && !is)) {
        LatchTrigger();
    }
}

// ---- read hooks -------------------------------------------------------------

uint32_t RegisterSpace::ReadVModeError(const Register&) const {
    return VideoModeValid() ? 0 : 0x80000000;
}

uint32_t RegisterSpace::ReadDataDepth(const Register&) const {
    if (!VideoModeValid()) {
        return 0;
    }
    const uint8_t coding = uint8_t(Reg(ModeBase(CurrentMode()) + F7::kColorCodingId).value >> 24);
    return uint32_t(DepthOf(coding)) << 24;
}

uint32_t RegisterSpace::ReadPixelNumber(const Register& r) const {
    const uint32_t size = Reg(ModeBase(r.index) + F7::kImageSize).value;
    return (size >> 16) * (size & 0xFFFF);
}

uint32_t RegisterSpace::ReadTotalBytesHi(const Register& r) const {
    return uint32_t(TotalBytes(r.index) >> 32);
}

uint32_t RegisterSpace::ReadTotalBytesLo(const Register& r) const {
    return uint32_t(TotalBytes(r.index));
}

uint32_t RegisterSpace::ReadPacketPerFrame(const Register& r) const {
    return PacketsPerFrame(r.index);
}

uint32_t RegisterSpace::ReadFrameInterval(const Register& r) const {
    const float period = float(FramePeriod(r.index));
    uint32_t bits;
    std::memcpy(&bits, &period, sizeof bits);
    return bits;
}

uint32_t RegisterSpace::ReadModeDataDepth(const Register& r) const {
    const uint8_t coding = uint8_t(Reg(ModeBase(r.index) + F7::kColorCodingId).value >> 24);
    return uint32_t(DepthOf(coding)) << 24;
}

uint32_t RegisterSpace::ReadTriggerControl(const Register& r) const {
    if (!(model_.triggerInq & 0x01000000)) {
        return r.value; // raw input not readable
    }
    const unsigned source = TrigSource(r.value);
    bool level = false;
    if (source <= 3) {
        level = (inputLines_ >> source) & 1;
    } else if (source == kSoftwareSource) {
        level = Reg(kCommandBase + Cmd::kSoftwareTrigger).value & 0x80000000;
    }
    return r.value | (level ? kTrigValue : 0);
}

// Recognised feature ID: both quadlets echo what was written; otherwise (and
// before any write) both read all ones.
uint32_t RegisterSpace::ReadAcr(const Register& r) const {
    const uint32_t hi = Reg(kAcrBase).value;
    const uint32_t lo = Reg(kAcrBase + 4).value;
    const uint64_t id = uint64_t(hi) << 16 | lo >> 16;
    return id == kAdvancedFeatureId ? r.value : 0xFFFFFFFF;
}

// Address of the smart feature whose GUID was last written to ACR + 0x10;
// index 0 the low quadlet, 1 the high one; 0 for an unknown GUID.
uint32_t RegisterSpace::ReadInquiryAnswer(const Register& r) const {
    const std::array<uint32_t, 4> guid = {Reg(kAcrBase + 0x10).value, Reg(kAcrBase + 0x14).value,
                                          Reg(kAcrBase + 0x18).value, Reg(kAcrBase + 0x1C).value};
    for (const auto& [id, address] : smartFeatures_) {
        if (id == guid) {
            return r.index == 0 ? uint32_t(address) : uint32_t(address >> 32);
        }
    }
    return 0;
}

uint32_t RegisterSpace::ReadPioOutput(const Register&) const {
    uint32_t bits = 0;
    for (unsigned n = 0; n < kPioOutputs; ++n) {
        bits |= (Reg(kPioOutBase + n * kPioOutStride + 0x10).value & 1) << n;
    }
    return bits;
}

uint32_t RegisterSpace::ReadPioInput(const Register&) const {
    return inputLines_;
}

uint32_t RegisterSpace::ReadPioMonitor(const Register& r) const {
    return OutputLevel(r.index) ? 1 : 0;
}

uint32_t RegisterSpace::ReadTriggerCounter(const Register&) const {
    return kPresence | triggerCount_;
}

uint32_t RegisterSpace::ReadTriggerFlag(const Register&) const {
    return triggerLatched_ ? 1 : 0;
}

// ---- write hooks ------------------------------------------------------------

void RegisterSpace::WriteInitialize(Register& r, uint32_t, uint32_t written) {
    if (written & 0x80000000) {
        ResetLocked();
    }
    r.value = 0; // done at once: the busy bit never reads 1
}

void RegisterSpace::WriteIsoEnable(Register& r, uint32_t proposed, uint32_t) {
    r.value = proposed;
    if (!(proposed & 0x80000000) && !Armed()) {
        triggerLatched_ = false;
    }
}

void RegisterSpace::WriteMemorySave(Register& r, uint32_t, uint32_t written) {
    const unsigned channel = Reg(kCommandBase + Cmd::kMemSaveCh).value >> 28;
    if ((written & 0x80000000) && channel >= 1 && channel <= model_.memoryChannels) {
        StoreChannel(channel);
    }
    r.value = 0; // stored at once
}

void RegisterSpace::WriteMemSaveChannel(Register& r, uint32_t proposed, uint32_t) {
    const unsigned channel = proposed >> 28;
    if (channel >= 1 && channel <= model_.memoryChannels) {
        r.value = proposed;
    }
}

void RegisterSpace::WriteCurMemChannel(Register&, uint32_t proposed, uint32_t) {
    const unsigned channel = proposed >> 28;
    if (channel <= model_.memoryChannels && !Sending()) {
        LoadChannel(channel);
    }
}

// One_Shot and Multi_Shot are ignored while ISO_EN is on; a multi-shot of
// zero frames completes at once.
void RegisterSpace::WriteOneShot(Register& r, uint32_t proposed, uint32_t) {
    if (Reg(kCommandBase + Cmd::kIsoEnable).value & 0x80000000) {
        proposed =
            (proposed & ~(kOneShotBit | kMultiShotBit)) | (r.value & (kOneShotBit | kMultiShotBit));
    }
    if ((proposed & kMultiShotBit) && !(proposed & kShotCountMask)) {
        proposed &= ~kMultiShotBit;
    }
    r.value = proposed;
}

// Edge mode (0): a 1 fires one trigger if the camera is armed and reads 1
// until the exposure starts; unarmed, the trigger is dropped and the bit reads
// 0 at once. Level mode (1): the exposure lasts from the write of 1 to the
// write of 0. The software trigger counts only while it is the selected source.
void RegisterSpace::WriteSoftwareTrigger(Register& r, uint32_t proposed, uint32_t) {
    const uint32_t trig = Reg(kCommandBase + Cmd::kFeatureCtrl0 + 4 * Feature::kTrigger).value;
    const bool fire = proposed & 0x80000000;
    if (!(trig & kTrigOn) || TrigSource(trig) != kSoftwareSource) {
        r.value = 0;
        return;
    }
    if (TrigMode(trig) == 1) {
        if (!fire && exposureByLevel_ && Armed()) {
            LatchTrigger();
        }
        exposureByLevel_ = fire;
        r.value = fire ? 0x80000000 : 0;
        return;
    }
    if (fire && Armed() && !triggerLatched_) {
        LatchTrigger();
        r.value = 0x80000000;
    } else if (!fire || !triggerLatched_) {
        r.value = 0;
    }
}

void RegisterSpace::WriteFeature(Register& r, uint32_t proposed, uint32_t) {
    const FeatureRange* range = nullptr;
    switch (r.index) {
    case Feature::kBrightness:
        range = &model_.brightness;
        break;
    case Feature::kWhiteBalance:
        range = &model_.whiteBalance;
        break;
    case Feature::kShutter:
        range = &model_.shutter;
        break;
    case Feature::kGain:
        range = &model_.gain;
        break;
    default:
        return;
    }
    auto inRange = [&](uint32_t v) { return v >= range->min && v <= range->max; };
    bool ok = inRange(proposed & 0xFFF);
    if (r.index == Feature::kWhiteBalance) {
        ok = ok && inRange((proposed >> 12) & 0xFFF);
    }
    if (ok) {
        r.value = proposed;
    }
    SetFeatureError(r.index, !ok);
}

void RegisterSpace::WriteTrigger(Register& r, uint32_t proposed, uint32_t) {
    const uint32_t inq = model_.triggerInq;
    const unsigned source = TrigSource(proposed);
    const unsigned mode = TrigMode(proposed);
    const bool sourceOk = source <= 3 ? bool(inq & (0x00800000u >> source))
                                      : source == kSoftwareSource && (inq & 0x00010000);
    const bool modeOk = mode <= 5    ? bool(inq & (0x00008000u >> mode))
                        : mode == 14 ? bool(inq & 2)
                        : mode == 15 ? bool(inq & 1)
                                     : false;
    const bool ok = sourceOk && modeOk;
    if (ok) {
        const uint32_t keep = kTrigOn | 0x00EF0000;
        if ((r.value & keep) != (proposed & keep)) {
            // Another source, mode or switch: a pending trigger is void.
            triggerLatched_ = false;
            exposureByLevel_ = false;
            Reg(kCommandBase + Cmd::kSoftwareTrigger).value = 0;
        }
        r.value = proposed & ~kTrigValue;
    }
    SetFeatureError(Feature::kTrigger, !ok);
}

void RegisterSpace::WriteImagePosition(Register& r, uint32_t proposed, uint32_t) {
    const Format7Mode& f = model_.modes[r.index];
    const uint32_t size = Reg(ModeBase(r.index) + F7::kImageSize).value;
    const uint32_t left = proposed >> 16, top = proposed & 0xFFFF;
    const bool ok = !Sending() && f.unitLeft && f.unitTop && left % f.unitLeft == 0 &&
                    top % f.unitTop == 0 && left + (size >> 16) <= f.maxWidth &&
                    top + (size & 0xFFFF) <= f.maxHeight;
    if (ok) {
        r.value = proposed;
    }
    SetValueSettingFlags(r.index, ok ? 0 : kErrorFlag1, ok ? kErrorFlag1 : 0);
}

void RegisterSpace::WriteImageSize(Register& r, uint32_t proposed, uint32_t) {
    const Format7Mode& f = model_.modes[r.index];
    const uint32_t pos = Reg(ModeBase(r.index) + F7::kImagePosition).value;
    const uint32_t width = proposed >> 16, height = proposed & 0xFFFF;
    const bool ok = !Sending() && f.unitWidth && f.unitHeight && width > 0 && height > 0 &&
                    width % f.unitWidth == 0 && height % f.unitHeight == 0 &&
                    (pos >> 16) + width <= f.maxWidth && (pos & 0xFFFF) + height <= f.maxHeight;
    if (ok) {
        r.value = proposed;
    }
    SetValueSettingFlags(r.index, ok ? 0 : kErrorFlag1, ok ? kErrorFlag1 : 0);
}

void RegisterSpace::WriteColorCoding(Register& r, uint32_t proposed, uint32_t) {
    const unsigned id = proposed >> 24;
    const bool ok =
        !Sending() && (model_.colorCodings & CodingBit(id)) && BitsPerPixel(uint8_t(id));
    if (ok) {
        r.value = proposed;
    }
    SetValueSettingFlags(r.index, ok ? 0 : kErrorFlag1, ok ? kErrorFlag1 : 0);
}

void RegisterSpace::WriteBytePerPacket(Register& r, uint32_t proposed, uint32_t) {
    const Format7Mode& f = model_.modes[r.index];
    const uint32_t bpp = proposed >> 16;
    const bool ok = !Sending() && bpp > 0 && f.unitBytesPerPacket &&
                    bpp % f.unitBytesPerPacket == 0 && bpp <= f.maxBytesPerPacket;
    if (ok) {
        r.value = proposed;
    }
    SetValueSettingFlags(r.index, ok ? 0 : kErrorFlag2, ok ? kErrorFlag2 : 0);
}

// Setting_1: the stored position, size and coding were validated when they
// were written, so the combination is sound and both flags clear; the bit
// itself reads 0 at once.
void RegisterSpace::WriteValueSetting(Register& r, uint32_t, uint32_t written) {
    if (written & kSetting1) {
        r.value &= ~(kErrorFlag1 | kErrorFlag2 | kSetting1);
    }
}

void RegisterSpace::WritePioOutput(Register&, uint32_t proposed, uint32_t) {
    for (unsigned n = 0; n < kPioOutputs; ++n) {
        Reg(kPioOutBase + n * kPioOutStride + 0x10).value = (proposed >> n) & 1;
    }
}

void RegisterSpace::WritePioSource(Register& r, uint32_t proposed, uint32_t) {
    const uint32_t offered = Reg(kPioOutBase + r.index * kPioOutStride + 0x4).value;
    if ((offered >> (proposed & 0xF)) & 1) {
        r.value = proposed;
    }
}

void RegisterSpace::WriteTestImage(Register& r, uint32_t proposed, uint32_t) {
    const unsigned selection = (proposed >> 13) & 7;
    if (selection == 0 || (r.reset & (0x01000000u >> selection))) {
        r.value = proposed;
    }
}

void RegisterSpace::WriteStartupChannel(Register& r, uint32_t proposed, uint32_t) {
    if ((proposed & 0xF) <= model_.memoryChannels) {
        r.value = proposed;
    }
}

void RegisterSpace::WriteShutterBaseValue(Register& r, uint32_t proposed, uint32_t) {
    float value, min, max;
    const uint32_t minBits = Reg(kSmartShutterBase + 0x8).value;
    const uint32_t maxBits = Reg(kSmartShutterBase + 0xC).value;
    std::memcpy(&value, &proposed, sizeof value);
    std::memcpy(&min, &minBits, sizeof min);
    std::memcpy(&max, &maxBits, sizeof max);
    if (std::isfinite(value) && value >= min && value <= max) {
        r.value = proposed;
    }
}

} // namespace Emulator
