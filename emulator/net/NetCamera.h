// One emulated camera on the network: its control channel (GVCP: discovery,
// READREG/WRITEREG over the bootstrap registers and the IIDC register space,
// control privilege and heartbeat, packet resend) and its stream channel
// (GVSP frames to the host the stream channel registers name).
//
// Two threads: the control thread owns the control socket and answers
// commands and resends; the stream thread takes frames from the register
// space and sends them. `mutex_` guards everything both of them touch.
#pragma once

#include "emulator/RegisterSpace.h"
#include "emulator/net/Faults.h"
#include "emulator/net/NetServer.h"
#include "emulator/net/UdpSocket.h"

#include "gtrans/Wire.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace Emulator {

class NetCamera {
public:
    using Clock = std::chrono::steady_clock;

    // Camera `index` of a server: `model` already carries the camera's own
    // GUID; `wakeFd` turns readable when the server stops.
    NetCamera(const ModelSpec& model, unsigned index, uint32_t address, const NetOptions& options,
              int wakeFd, const std::atomic<bool>& stop, Clock::time_point epoch);
    ~NetCamera();
    NetCamera(const NetCamera&) = delete;
    NetCamera& operator=(const NetCamera&) = delete;

    // Control socket at address:port (0 = ephemeral), stream socket at an
    // ephemeral port of the same address.
    bool Bind(uint16_t port, std::string& error);
    void Unbind();
    uint16_t Port() const { return control_.Port(); }
    void Start();
    // Wakes the threads (the server's stop flag is set) and joins them.
    void Join();

    uint32_t Address() const { return address_; }
    const std::string& Serial() const { return serial_; }
    RegisterSpace& Registers() { return registers_; }
    NetCounters Counters() const;
    void SetFaults(const FaultOptions& faults) { faults_.SetOptions(faults); }
    // True from Start until the control socket is closed.
    bool Serving() const { return serving_ || controlOpen_; }

private:
    struct Peer {
        uint32_t address;
        uint16_t port;
        bool operator<(const Peer& o) const {
            return address != o.address ? address < o.address : port < o.port;
        }
        bool operator==(const Peer& o) const { return address == o.address && port == o.port; }
    };
    struct PendingAck {
        Clock::time_point due;
        Peer peer;
        std::vector<uint8_t> bytes;
    };
    struct LastAck {
        uint16_t reqId;
        std::vector<uint8_t> bytes;
    };
    // One sent block: every packet as it went on the wire, leader first.
    struct SentBlock {
        uint16_t blockId;
        std::vector<std::vector<uint8_t>> packets;
    };
    struct Destination {
        uint32_t address;
        uint16_t port;
        uint32_t packetSize;
    };

    // Control thread.
    void ControlLoop();
    void HandleDatagram(const uint8_t* data, size_t size, const Peer& peer);
    std::vector<uint8_t> Execute(const gvwire::CommandHeader& header, const uint8_t* payload,
                                 const Peer& peer);
    uint16_t ReadRegister(uint32_t address, uint32_t& value);
    uint16_t WriteRegister(uint32_t address, uint32_t value, const Peer& peer);
    uint16_t WriteCcp(uint32_t value, const Peer& peer);
    void ServeResend(const gvwire::ResendRequest& request);
    void QueueAck(const Peer& peer, std::vector<uint8_t> bytes);
    void SendDueAcks();
    void CheckHeartbeat();
    void ReleaseControl(); // mutex_ held

    // Stream thread.
    void StreamLoop();
    bool StreamDestination(Destination& destination);
    void SendFrame(const FrameInfo& frame, const Destination& destination);
    std::shared_ptr<SentBlock> BuildBlock(const FrameInfo& frame, uint32_t packetSize);
    bool SendPacket(const std::vector<uint8_t>& packet, const Destination& destination);

    // Bootstrap registers (mutex_ held).
    void BuildBootstrap();
    bool Bootstrap(uint32_t address, uint32_t& value) const;

    const uint32_t address_;
    const NetOptions options_;
    const int wakeFd_;
    const std::atomic<bool>& stop_;
    const Clock::time_point epoch_;
    RegisterSpace registers_;
    FaultInjector faults_;
    std::string serial_;
    gvwire::DeviceIdentity identity_;
    UdpSocket control_;
    UdpSocket stream_;
    std::thread controlThread_;
    std::thread streamThread_;
    std::atomic<bool> serving_{false};
    std::atomic<bool> controlOpen_{false}; // the control thread still answers
    std::atomic<bool> streamHalted_{false};

    mutable std::mutex mutex_;
    std::condition_variable wake_;           // register writes and Stop wake the stream thread
    std::map<uint32_t, uint32_t> bootstrap_; // stored values by address
    bool controlled_ = false;
    Peer controller_{0, 0};
    Clock::time_point lastHeartbeat_;
    std::map<Peer, LastAck> lastAcks_;
    std::deque<PendingAck> pendingAcks_;
    std::deque<std::shared_ptr<SentBlock>> ring_;
    uint16_t nextBlockId_ = 1;
    uint64_t framesStarted_ = 0;

    // Counters (atomics: read by tests while the threads run).
    std::atomic<uint64_t> commands_{0}, framesSent_{0}, packetsSent_{0}, packetsDropped_{0},
        resendRequests_{0}, resendsServed_{0}, unavailableSent_{0}, acksDropped_{0},
        heartbeatExpiries_{0};
};

} // namespace Emulator
