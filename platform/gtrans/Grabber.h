// One stream grabber: a UDP socket on 127.0.0.1 at an ephemeral port, the
// buffers queued by the caller, and a receive thread that feeds the
// camera's datagrams to the block assembler and asks the camera for missing
// packets.
#pragma once

#include <stdint.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "contracts/GTrans.h"
#include "gtrans/Assembler.h"
#include "gtrans/GTransStats.h"

namespace gtrans {

class Grabber {
public:
    ~Grabber(); // stops the thread, closes the socket

    uint32_t Create();
    uint32_t Alloc(uint32_t maxBuffers, uint32_t bufferSize, uint32_t packetSize);
    uint32_t GetAddress(GxStreamAddress& address) const;
    // True when `address` is this grabber's socket address.
    bool Owns(const uint8_t* address, size_t size) const;
    // From now on only datagrams from `camera` count; resends go to its
    // control port.
    void Bind(uint32_t camera, uint16_t controlPort, bool resend);
    uint32_t Queue(void* buffer, uint32_t size, void* context);
    uint32_t Wait(uint32_t timeoutMs, void** context);
    uint32_t Flush();
    void Stop();
    void Statistics(GxGrabberStatistics& stats);

private:
    void Run();
    void SendResends(const std::vector<ResendRange>& ranges, uint32_t camera, uint16_t port);

    int socket_ = -1;
    // PACKETRESEND goes out through a socket of its own, so the stream port
    // only ever carries the camera's GVSP packets.
    int resendSocket_ = -1;
    uint32_t localAddress_ = 0;
    uint16_t localPort_ = 0;

    std::mutex mutex_; // guards everything below, and the writes into queued buffers
    std::condition_variable delivered_;
    std::unique_ptr<Assembler> assembler_;
    uint32_t maxBuffers_ = 0;
    uint32_t packetSize_ = 0;
    uint32_t camera_ = 0;
    uint16_t cameraPort_ = 0;
    bool resend_ = false;
    bool stop_ = false;
    uint16_t resendReqId_ = 0; // used by the receive thread only
    std::thread thread_;
};

} // namespace gtrans
