// The emulated camera's register space: every register described as a row of
// data (address, reset value, writable mask, write-1-to-clear mask, hooks for
// derived values and side effects), one engine that applies the masks, and the
// camera behaviour behind the hooks. All public calls are serialized by one
// mutex, so a transport thread and a streaming thread may share an instance.
#pragma once

#include "emulator/Model.h"
#include "emulator/Status.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace Emulator {

class RegisterSpace;
struct Register;

// Derived value of a register, computed on every read.
using ReadHook = uint32_t (RegisterSpace::*)(const Register&) const;
// Side effect of a host write. Gets the masked new value and the raw written
// quadlet; stores (or refuses) the value itself.
using WriteHook = void (RegisterSpace::*)(Register&, uint32_t proposed, uint32_t written);

enum RegisterFlag : uint32_t {
    kPersist = 1u << 0,      // saved to and loaded from memory channels
    kStreamLocked = 1u << 1, // host writes ignored while images are being sent
    kNonVolatile = 1u << 2,  // keeps its value through INITIALIZE
};

struct Register {
    uint64_t address;
    const char* name;
    uint32_t reset;    // power-up value
    uint32_t writable; // bits a host write stores
    uint32_t w1c;      // bits a host write of 1 clears
    uint32_t flags;    // RegisterFlag
    ReadHook read;     // null: the stored value
    WriteHook write;   // null: store the masked value
    uint8_t index;     // mode, feature, output or strobe number for shared hooks
    uint32_t value;    // stored contents, host order
};

// A contiguous range of the address space. Quadlets inside a block without a
// register are reserved: they read 0 and ignore writes.
struct Block {
    const char* name;
    uint64_t base;
    uint64_t size;
};

// What the streaming side needs to produce one frame, taken under the lock.
struct FrameInfo {
    uint64_t number;        // 1 for the first frame after power-up
    uint32_t left, top;     // AOI position on the sensor
    uint32_t width, height; // AOI size
    uint8_t colorCoding;    // IIDC colour coding ID
    uint8_t dataDepth;      // significant bits per sample
    uint8_t bytesPerPixel;  // 1 or 2
    uint8_t colorFilter;    // Bayer tile for Raw codings
    uint8_t testImage;      // 0 = live picture, 1..7 = test pattern
    uint64_t totalBytes;    // width * height * bytes per pixel (TOTAL_BYTES)
};

class RegisterSpace {
public:
    // A camera of `model` in its power-up state.
    explicit RegisterSpace(const ModelSpec& model);
    RegisterSpace(const RegisterSpace&) = delete;
    RegisterSpace& operator=(const RegisterSpace&) = delete;

    // Bus accesses: `length` bytes at `address`, both multiples of 4; data in
    // big-endian quadlets. A failing access changes nothing.
    Status Read(uint64_t address, void* destination, size_t length);
    Status Write(uint64_t address, const void* source, size_t length);

    // Quadlet helpers that raise AccessError instead of returning a status.
    uint32_t ReadQuadlet(uint64_t address);
    void WriteQuadlet(uint64_t address, uint32_t value);

    // Called by the streaming side when it can send a frame. Answers whether
    // one is due now (continuous shot, one-shot, multi-shot, trigger) and, if
    // so, clears the self-clearing bits the frame completes and describes it.
    std::optional<FrameInfo> TakeFrame();

    // The frame a TakeFrame would describe now, without taking it.
    FrameInfo CurrentLayout() const;

    // Seconds between frames at the current mode, size and shutter (what
    // FRAME_INTERVAL_INQ of the current mode reads); 0 without a valid mode.
    double CurrentFramePeriod() const;

    // Levels of the four trigger/PIO input lines (bit n = input n). Edges on
    // the selected trigger source fire the hardware trigger.
    void SetInputLines(uint32_t levels);

    // INITIALIZE: back to the power-up state (memory channels are kept).
    void Initialize();

    const ModelSpec& Model() const { return model_; }
    // Address of the CSR block of Format_7 mode `mode`.
    uint64_t ModeBase(unsigned mode) const;
    const std::vector<uint32_t>& ConfigRom() const { return rom_; }
    const std::vector<Block>& Blocks() const { return blocks_; }
    // A copy of every register row with its current value, taken under the lock.
    std::vector<Register> Snapshot() const;

    // Consistency of the register tables: unique aligned addresses inside
    // their blocks, masks that do not overlap, derived rows without stored
    // bits, reset values their own write hooks accept. Empty when sound.
    // Runs the write hooks, then leaves the camera in its power-up state.
    std::vector<std::string> CheckTables();

private:
    struct Row {
        uint32_t offset;
        const char* name;
        uint32_t reset;
        uint32_t writable;
        uint32_t w1c;
        uint32_t flags;
        ReadHook read;
        WriteHook write;
        uint8_t index;
    };

    // Tables (RegisterTables.cpp).
    void BuildMap();
    void AddBlock(const char* name, uint64_t base, uint64_t size, const std::vector<Row>& rows);
    const char* Name(const std::string& name);
    void BuildRom();
    void BuildCommandBlock();
    void BuildFormat7Blocks();
    void BuildMakerBlocks();
    void BuildSmartFeatures();

    // Engine (RegisterSpace.cpp); the lock is held by the caller.
    Register* Find(uint64_t address);
    const Block* FindBlock(uint64_t address) const;
    Status Check(uint64_t address, const void* buffer, size_t length) const;
    uint32_t ReadLocked(uint64_t address);
    void WriteLocked(uint64_t address, uint32_t written);
    Register& Reg(uint64_t address);
    const Register& Reg(uint64_t address) const;
    void ResetLocked();

    // Camera state helpers (Behaviour.cpp); the lock is held.
    unsigned CurrentMode() const;
    const Format7Mode* ModeSpec(unsigned mode) const;
    bool VideoModeValid() const;
    bool Sending() const;
    bool Armed() const;
    uint64_t TotalBytes(unsigned mode) const;
    uint32_t PacketsPerFrame(unsigned mode) const;
    double FramePeriod(unsigned mode) const;
    double ShutterSeconds() const;
    uint8_t DepthOf(uint8_t coding) const;
    void SetFeatureError(unsigned feature, bool failed);
    void SetValueSettingFlags(unsigned mode, uint32_t set, uint32_t clear);
    void LatchTrigger();
    bool OutputLevel(unsigned output) const;
    void StoreChannel(unsigned channel);
    void LoadChannel(unsigned channel);
    FrameInfo LayoutLocked() const;

    // Read hooks.
    uint32_t ReadVModeError(const Register&) const;
    uint32_t ReadDataDepth(const Register&) const;
    uint32_t ReadPixelNumber(const Register&) const;
    uint32_t ReadTotalBytesHi(const Register&) const;
    uint32_t ReadTotalBytesLo(const Register&) const;
    uint32_t ReadPacketPerFrame(const Register&) const;
    uint32_t ReadFrameInterval(const Register&) const;
    uint32_t ReadModeDataDepth(const Register&) const;
    uint32_t ReadTriggerControl(const Register&) const;
    uint32_t ReadAcr(const Register&) const;
    uint32_t ReadInquiryAnswer(const Register&) const;
    uint32_t ReadPioOutput(const Register&) const;
    uint32_t ReadPioInput(const Register&) const;
    uint32_t ReadPioMonitor(const Register&) const;
    uint32_t ReadTriggerCounter(const Register&) const;
    uint32_t ReadTriggerFlag(const Register&) const;

    // Write hooks.
    void WriteInitialize(Register&, uint32_t proposed, uint32_t written);
    void WriteIsoEnable(Register&, uint32_t proposed, uint32_t written);
    void WriteMemorySave(Register&, uint32_t proposed, uint32_t written);
    void WriteMemSaveChannel(Register&, uint32_t proposed, uint32_t written);
    void WriteCurMemChannel(Register&, uint32_t proposed, uint32_t written);
    void WriteOneShot(Register&, uint32_t proposed, uint32_t written);
    void WriteSoftwareTrigger(Register&, uint32_t proposed, uint32_t written);
    void WriteFeature(Register&, uint32_t proposed, uint32_t written);
    void WriteTrigger(Register&, uint32_t proposed, uint32_t written);
    void WriteImagePosition(Register&, uint32_t proposed, uint32_t written);
    void WriteImageSize(Register&, uint32_t proposed, uint32_t written);
    void WriteColorCoding(Register&, uint32_t proposed, uint32_t written);
    void WriteBytePerPacket(Register&, uint32_t proposed, uint32_t written);
    void WriteValueSetting(Register&, uint32_t proposed, uint32_t written);
    void WritePioOutput(Register&, uint32_t proposed, uint32_t written);
    void WritePioSource(Register&, uint32_t proposed, uint32_t written);
    void WriteTestImage(Register&, uint32_t proposed, uint32_t written);
    void WriteStartupChannel(Register&, uint32_t proposed, uint32_t written);
    void WriteShutterBaseValue(Register&, uint32_t proposed, uint32_t written);

    mutable std::mutex mutex_;
    const ModelSpec model_; // a copy: the camera never depends on the caller's data
    std::vector<uint32_t> rom_;
    std::vector<Block> blocks_;
    std::vector<Register> registers_;
    std::unordered_map<uint64_t, size_t> index_;
    std::deque<std::string> names_;          // generated register names
    std::vector<std::string> tableProblems_; // found while building the map
    // Smart features: GUID inquiry quadlets and the CSR address they answer.
    std::vector<std::pair<std::array<uint32_t, 4>, uint64_t>> smartFeatures_;
    // Memory channels 1..n: saved register values by register index.
    std::map<unsigned, std::vector<std::pair<size_t, uint32_t>>> channels_;
    uint64_t frameNumber_ = 0;
    uint32_t inputLines_ = 0;
    uint16_t triggerCount_ = 0;
    bool triggerLatched_ = false;  // a trigger waits for its frame
    bool exposureByLevel_ = false; // trigger mode 1: active level holds the exposure
};

} // namespace Emulator
