// Assembles GVSP blocks (leader, payload packets, trailer) into queued
// buffers, and says which packets to ask for again. Pure logic without
// sockets or clocks: the grabber feeds it datagrams that came from its
// camera's address, and the time in microseconds.
//
// Several blocks may be in assembly at once (a newer image starts while the
// resends of an older one are under way); each takes the oldest queued
// buffer when its first packet arrives, and buffers are delivered in block
// order. A block is complete when its leader, its trailer and every payload
// packet between arrived and the sizes agree; it is delivered incomplete when
// a packet is reported unavailable, when a packet does not fit its buffer,
// when nothing arrives for it through kMaxQuietRounds resend rounds, or after
// kMaxBlockUs in all.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <deque>
#include <vector>

namespace gtrans {

struct QueuedBuffer {
    uint8_t* data = nullptr;
    uint32_t size = 0;
    void* context = nullptr;
};

struct Delivery {
    void* context = nullptr;
    uint32_t status = 0; // 0 complete, GX_STATUS_INCOMPLETE otherwise
};

struct ResendRange {
    uint16_t blockId = 0;
    uint32_t first = 0;
    uint32_t last = 0;
};

struct AssemblerCounters {
    uint64_t framesCompleted = 0;
    uint64_t framesIncomplete = 0;
    uint64_t packetsReceived = 0;
    uint64_t packetsResent = 0;
    uint64_t packetsRequested = 0;
    uint64_t resendCommands = 0;
    uint64_t packetsDropped = 0;
    uint64_t bytesCompleted = 0;
};

class Assembler {
public:
    static constexpr uint64_t kQuietUs = 20000;      // silence before a resend round
    static constexpr int kMaxQuietRounds = 12;       // rounds without progress, then give up
    static constexpr uint64_t kMaxBlockUs = 3000000; // hard limit per block
    static constexpr size_t kMaxBlocks = 256;        // blocks in assembly at once
    static constexpr uint32_t kMaxCommandsPerBlock = 1024;
    static constexpr size_t kMaxRangesPerRound = 64;

    // `dataPerPacket` image bytes per payload packet (packet size - 36);
    // `resend` whether the camera may be asked for packets again.
    Assembler(uint32_t dataPerPacket, bool resend);

    void SetResend(bool resend) { resend_ = resend; }
    void Queue(const QueuedBuffer& buffer) { pending_.push_back(buffer); }
    // Buffers queued or in assembly.
    size_t Outstanding() const { return pending_.size() + active_.size(); }

    // One datagram of the camera's stream; appends the packets to ask for.
    void OnPacket(const uint8_t* data, size_t size, uint64_t nowUs,
                  std::vector<ResendRange>& resend);
    // Timers: resend rounds and give-ups.
    void OnTick(uint64_t nowUs, std::vector<ResendRange>& resend);
    // Every queued and assembling buffer comes back as incomplete.
    void Flush();
    // Counts a datagram dropped before it reached the assembler.
    void CountDropped() {
        ++counters_.packetsReceived;
        ++counters_.packetsDropped;
    }

    std::deque<Delivery>& Delivered() { return delivered_; }
    const AssemblerCounters& Counters() const { return counters_; }

private:
    struct Block {
        uint16_t id = 0;
        QueuedBuffer buffer;
        bool leader = false, trailer = false;
        bool failed = false, finished = false, complete = false;
        uint64_t expectedBytes = 0;
        uint32_t lastId = 0;        // trailer's packet id; 0 while unknown
        uint32_t highest = 0;       // highest payload id seen
        uint32_t payloadIds = 0;    // payload ids that fit the buffer
        uint32_t payloadCount = 0;  // distinct payload packets received
        std::vector<uint8_t> state; // per payload id: 0 missing, 1 requested, 2 received
        uint64_t startUs = 0, lastUs = 0, lastRoundUs = 0;
        int quietRounds = 0;
        uint32_t commands = 0;
        bool tailRequested = false;
    };

    Block* Find(uint16_t id);
    Block* Start(uint16_t id, uint64_t nowUs, std::vector<ResendRange>& resend);
    void Payload(Block& block, uint32_t packetId, const uint8_t* data, size_t length,
                 uint64_t nowUs, std::vector<ResendRange>& resend);
    void Request(Block& block, uint32_t first, uint32_t last, std::vector<ResendRange>& resend);
    void RequestMissing(Block& block, std::vector<ResendRange>& resend);
    uint32_t KnownLastId(const Block& block) const;
    void Check(Block& block);
    void Finish(Block& block, bool complete);
    void Deliver();

    const uint32_t dataPerPacket_;
    bool resend_;
    std::deque<QueuedBuffer> pending_;
    std::deque<Block> active_;
    std::deque<Delivery> delivered_;
    bool started_ = false;
    uint16_t lastStarted_ = 0;
    AssemblerCounters counters_;
};

} // namespace gtrans
