// The emulator tests' in-memory camera, quadlets by command-register or Format_7 offset.
#pragma once

#include "emulator/AddressMap.h"
#include "emulator/Model.h"
#include "emulator/RegisterSpace.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace EmulatorTest {

using namespace Emulator;

inline const ModelSpec& Vga() {
    return *FindModel("vga-mono");
}

using Q = std::vector<uint32_t>;

class Camera {
public:
    explicit Camera(const ModelSpec& model = Vga()) : space(model) {}
    uint32_t R(uint64_t address) { return space.ReadQuadlet(address); }
    Q Rs(std::initializer_list<uint64_t> addresses) {
        Q values;
        for (uint64_t a : addresses)
            values.push_back(R(a));
        return values;
    }
    void W(uint64_t address, uint32_t value) { space.WriteQuadlet(address, value); }
    uint32_t Cmd(uint32_t offset) { return R(kCommandBase + offset); }
    void SetCmd(uint32_t offset, uint32_t value) { W(kCommandBase + offset, value); }
    // Format_7 CSR of the current mode, found as a host finds it.
    uint64_t ModeCsr(uint32_t offset) {
        const unsigned mode = Cmd(Emulator::Cmd::kCurVMode) >> 29;
        return kInitialSpace + 4ull * Cmd(Emulator::Cmd::kVCsrInq7 + 4 * mode) + offset;
    }
    uint32_t F7(uint32_t offset) { return R(ModeCsr(offset)); }
    void SetF7(uint32_t offset, uint32_t value) { W(ModeCsr(offset), value); }
    // The number of the frame now due, 0 for none.
    uint64_t Frame() {
        const auto frame = space.TakeFrame();
        return frame ? frame->number : 0;
    }
    float FrameInterval() {
        const uint32_t bits = F7(Emulator::F7::kFrameInterval);
        float f;
        std::memcpy(&f, &bits, sizeof f);
        return f;
    }
    RegisterSpace space;
};

} // namespace EmulatorTest
