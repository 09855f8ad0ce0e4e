// Where the emulated camera's register blocks sit in the 64-bit node address
// space, and the IIDC offsets and bit fields the emulator serves. Every
// quadlet offset a camera publishes converts as kInitialSpace + 4 * offset.
#pragma once

#include <cstdint>

namespace Emulator {

constexpr uint64_t kInitialSpace = 0xFFFFF0000000ull;

// Quadlet offset of an address in the initial register space.
constexpr uint32_t QuadletOffset(uint64_t address) {
    return static_cast<uint32_t>((address - kInitialSpace) / 4);
}

// The network transport carries only the low 32 bits of an address; the IIDC
// space appears there at 0xF0000000 and above.
constexpr uint64_t NodeAddressFromWire(uint32_t wire) {
    return 0xFFFF00000000ull | wire;
}
constexpr uint32_t WireAddress(uint64_t address) {
    return static_cast<uint32_t>(address);
}

// Configuration ROM window (1 KiB).
constexpr uint64_t kRomBase = 0xFFFFF0000400ull;
constexpr uint64_t kRomSize = 0x400;

// IIDC command registers; the feature tree uses this base as a constant.
constexpr uint64_t kCommandBase = 0xFFFFF0F00000ull;
constexpr uint64_t kCommandSize = 0x1000;

// Format_7 mode CSR blocks, one per mode.
constexpr uint64_t kFormat7Base = 0xFFFFF0F08000ull;
constexpr uint64_t kFormat7Stride = 0x1000;
constexpr uint64_t kFormat7Size = 0x80;

// Maker block: access control register, then maker registers at offsets the
// feature tree uses as fixed addresses (PIO outputs, strobe block, temperatures).
constexpr uint64_t kAcrBase = 0xFFFFF2F00000ull;
constexpr uint64_t kAcrSize = 0x28;              // ACR, GUID inquiry and answer
constexpr uint64_t kPioBase = 0xFFFFF2F00180ull; // PIO_OUTPUT, PIO_INPUT
constexpr uint64_t kPioSize = 0x8;
constexpr uint64_t kPioOutBase = 0xFFFFF2F00190ull; // per-output blocks
constexpr uint64_t kPioOutStride = 0x18;
constexpr unsigned kPioOutputs = 4;
constexpr uint64_t kStrobeBase = 0xFFFFF2F00300ull; // IIDC strobe CSR block
constexpr uint64_t kStrobeSize = 0x210;
constexpr unsigned kMaxStrobes = 4;
constexpr uint64_t kTemperatureAddress = 0xFFFFF2F06000ull;

// Smart feature CSR blocks, found through the GUID inquiry at ACR + 0x10.
constexpr uint64_t kSmartTestImage = 0xFFFFF2F01000ull;
constexpr uint64_t kSmartExtVerInfo = 0xFFFFF2F01100ull;
constexpr uint64_t kSmartStrobeBase = 0xFFFFF2F01200ull;
constexpr uint64_t kSmartTriggerCounter = 0xFFFFF2F01300ull;
constexpr uint64_t kSmartStartupMemCh = 0xFFFFF2F01400ull;
constexpr uint64_t kSmartShutterBase = 0xFFFFF2F01500ull;
constexpr uint64_t kSmartSize = 0x100;
constexpr unsigned kExtVerInfoQuadlets = 16; // text quadlets after the header

// The feature ID the access control register recognises (company ID 00A5C1,
// feature set 9E2D47).
constexpr uint64_t kAdvancedFeatureId = 0x00A5C19E2D47ull;

// Command register offsets.
namespace Cmd {
constexpr uint32_t kInitialize = 0x000;
constexpr uint32_t kVFormatInq = 0x100;
constexpr uint32_t kVModeInq0 = 0x180; // + 4 * format
constexpr uint32_t kVRateInq0 = 0x200; // + 0x20 * format + 4 * mode
constexpr uint32_t kVCsrInq7 = 0x2E0;  // + 4 * mode
constexpr uint32_t kBasicFuncInq = 0x400;
constexpr uint32_t kFeatureHiInq = 0x404;
constexpr uint32_t kFeatureLoInq = 0x408;
constexpr uint32_t kOptFunctionInq = 0x40C;
constexpr uint32_t kAdvancedFeatureInq = 0x480;
constexpr uint32_t kPioCsrInq = 0x484;
constexpr uint32_t kSioCsrInq = 0x488;
constexpr uint32_t kStrobeCsrInq = 0x48C;
constexpr uint32_t kFeatureInq0 = 0x500; // + 4 * HI feature number
constexpr uint32_t kCurVFrmRate = 0x600;
constexpr uint32_t kCurVMode = 0x604;
constexpr uint32_t kCurVFormat = 0x608;
constexpr uint32_t kIsoChannel = 0x60C;
constexpr uint32_t kIsoEnable = 0x614;
constexpr uint32_t kMemorySave = 0x618;
constexpr uint32_t kOneShot = 0x61C;
constexpr uint32_t kMemSaveCh = 0x620;
constexpr uint32_t kCurMemCh = 0x624;
constexpr uint32_t kVModeErrorStatus = 0x628;
constexpr uint32_t kSoftwareTrigger = 0x62C;
constexpr uint32_t kDataDepth = 0x630;
constexpr uint32_t kFeatureErrorHi = 0x640;
constexpr uint32_t kFeatureErrorLo = 0x644;
constexpr uint32_t kFeatureCtrl0 = 0x800; // + 4 * HI feature number
} // namespace Cmd

// IIDC HI feature numbers (bit [n] of FEATURE_HI_INQ, LSB-0 bit 31 - n).
namespace Feature {
constexpr unsigned kBrightness = 0;
constexpr unsigned kWhiteBalance = 3;
constexpr unsigned kShutter = 7;
constexpr unsigned kGain = 8;
constexpr unsigned kTrigger = 12;
constexpr uint32_t Bit(unsigned n) {
    return 0x80000000u >> n;
}
} // namespace Feature

// Format_7 CSR offsets.
namespace F7 {
constexpr uint32_t kMaxImageSize = 0x000;
constexpr uint32_t kUnitSize = 0x004;
constexpr uint32_t kImagePosition = 0x008;
constexpr uint32_t kImageSize = 0x00C;
constexpr uint32_t kColorCodingId = 0x010;
constexpr uint32_t kColorCodingInq = 0x014;
constexpr uint32_t kMakerCodingInq = 0x024;
constexpr uint32_t kPixelNumber = 0x034;
constexpr uint32_t kTotalBytesHi = 0x038;
constexpr uint32_t kTotalBytesLo = 0x03C;
constexpr uint32_t kPacketParaInq = 0x040;
constexpr uint32_t kBytePerPacket = 0x044;
constexpr uint32_t kPacketPerFrame = 0x048;
constexpr uint32_t kUnitPosition = 0x04C;
constexpr uint32_t kFrameInterval = 0x050;
constexpr uint32_t kDataDepth = 0x054;
constexpr uint32_t kColorFilterId = 0x058;
constexpr uint32_t kValueSetting = 0x07C;
} // namespace F7

// Bits shared by several registers (LSB-0 masks).
constexpr uint32_t kPresence = 0x80000000;
constexpr uint32_t kSetting1 = 0x40000000;
constexpr uint32_t kErrorFlag1 = 0x00800000;
constexpr uint32_t kErrorFlag2 = 0x00400000;
constexpr uint32_t kOneShotBit = 0x80000000;
constexpr uint32_t kMultiShotBit = 0x40000000;
constexpr uint32_t kShotCountMask = 0x0000FFFF;

} // namespace Emulator
