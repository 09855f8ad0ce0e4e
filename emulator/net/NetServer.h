// The emulator's network side: N emulated cameras, each on its own loopback
// address 127.0.0.k at one UDP port, answering discovery, register reads and
// writes (bootstrap registers and the IIDC register space at the low 32 bits
// of its addresses), control privilege with a heartbeat, and streaming frames
// as GVSP leader, payload packets and trailer, with resends from a ring of
// recent blocks and optional fault injection.
//
// Start() spawns two threads per camera (control, stream); Stop() joins them
// all within a few tens of milliseconds. Every accessor is thread-safe.
#pragma once

#include "emulator/RegisterSpace.h"
#include "emulator/net/Faults.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Emulator {

class NetCamera;

struct NetOptions {
    unsigned cameras = 1;
    std::string model = "vga-mono";     // a key of Models()
    uint32_t firstAddress = 0x7F000001; // 127.0.0.1, host order; camera i at first + i
    uint16_t port = 61696;              // 0 = one ephemeral port shared by all cameras
    bool maxRate = false;               // frames as fast as they can be sent
    uint64_t seed = 1;                  // fault dice; camera i uses seed + i
    unsigned resendRing = 4;            // blocks kept for resends
    FaultOptions faults;                // every camera's faults at start
};

// What a camera has done, for tests and tools.
struct NetCounters {
    uint64_t commands = 0;        // valid GVCP commands received
    uint64_t framesSent = 0;      // blocks whose sending finished (or was cut by a fault)
    uint64_t packetsSent = 0;     // stream packets sent the first time, duplicates included
    uint64_t packetsDropped = 0;  // stream packets dropped by the fault dice
    uint64_t resendRequests = 0;  // PACKETRESEND commands served
    uint64_t resendsServed = 0;   // packets sent again
    uint64_t unavailableSent = 0; // PACKET_UNAVAILABLE answers
    uint64_t acksDropped = 0;     // acknowledges dropped by the fault dice
    uint64_t heartbeatExpiries = 0;
};

class NetServer {
public:
    explicit NetServer(NetOptions options);
    ~NetServer();
    NetServer(const NetServer&) = delete;
    NetServer& operator=(const NetServer&) = delete;

    // Binds every camera's sockets and starts serving. Answers the port bound
    // (the one given, or the ephemeral one all cameras share), or 0 with
    // Error() set: unknown model, no camera, an address outside 127.0.0.0/8,
    // a port in use.
    uint16_t Start();
    // Stops every thread and closes every socket; harmless when not started.
    void Stop();
    const std::string& Error() const { return error_; }

    uint16_t Port() const { return port_; }
    unsigned Cameras() const { return unsigned(cameras_.size()); }
    // Camera i's address (host order), serial number text, register space.
    uint32_t Address(unsigned camera) const;
    std::string Serial(unsigned camera) const;
    RegisterSpace& Registers(unsigned camera);
    NetCounters Counters(unsigned camera) const;
    // Fault options of every camera, or of one.
    void SetFaults(const FaultOptions& faults);
    void SetFaults(unsigned camera, const FaultOptions& faults);
    // False once the camera stopped serving (exit after N frames, or Stop).
    bool Serving(unsigned camera) const;
    // Waits until no camera serves any more, or the time-out passes.
    bool WaitUntilFinished(std::chrono::milliseconds timeout) const;

private:
    NetOptions options_;
    std::string error_;
    uint16_t port_ = 0;
    bool started_ = false;
    std::atomic<bool> stop_{false};
    int wake_[2] = {-1, -1}; // self-pipe: readable once Stop begins
    std::vector<std::unique_ptr<NetCamera>> cameras_;
};

} // namespace Emulator
