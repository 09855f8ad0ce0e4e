// Faults a network camera can be told to show, for tests and demonstrations,
// and the seeded dice that decide each packet's fate so runs repeat.
#pragma once

#include <cstdint>
#include <mutex>
#include <random>

namespace Emulator {

struct FaultOptions {
    // Probabilities (0..1) per stream packet. Resent packets are spared.
    double dropPacket = 0;
    double duplicatePacket = 0;
    double reorderPacket = 0; // held back and sent after the next packet
    // Control acknowledges: probability of dropping one, and a delay for all.
    double dropAck = 0;
    uint32_t ackDelayMs = 0;
    // Every attempt to take control answers ACCESS_DENIED.
    bool denyControl = false;
    // The stream dies inside frame `stopFrame` (1 = the camera's first frame
    // sent, 0 = never) after `stopAfterPackets` packets (leader included):
    // no further frames, resend requests go unanswered.
    uint64_t stopFrame = 0;
    uint32_t stopAfterPackets = 0;
    // The camera stops serving (control and stream sockets closed) once it
    // has sent this many frames; 0 = never.
    uint64_t exitAfterFrames = 0;
};

// Thread-safe holder of a camera's fault options and its random generator.
class FaultInjector {
public:
    explicit FaultInjector(uint64_t seed) : random_(seed) {}

    FaultOptions Options() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return options_;
    }
    void SetOptions(const FaultOptions& options) {
        std::lock_guard<std::mutex> lock(mutex_);
        options_ = options;
    }
    // True with probability `p`; never draws for p <= 0, so a run without
    // faults consumes no random numbers.
    bool Chance(double p) {
        if (p <= 0) {
            return false;
        }
        std::lock_guard<std::mutex> lock(mutex_);
        return std::uniform_real_distribution<double>(0.0, 1.0)(random_) < p;
    }

private:
    mutable std::mutex mutex_;
    FaultOptions options_;
    std::mt19937_64 random_;
};

} // namespace Emulator
