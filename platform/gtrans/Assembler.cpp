// GVSP block assembly: see Assembler.h.
#include "gtrans/Assembler.h"

#include <string.h>

#include "contracts/GTrans.h"
#include "gtrans/Wire.h"

namespace gtrans {

Assembler::Assembler(uint32_t dataPerPacket, bool resend)
    : dataPerPacket_(dataPerPacket ? dataPerPacket : 1), resend_(resend) {}

Assembler::Block* Assembler::Find(uint16_t id) {
    for (Block& block : active_)
        if (block.id == id && !block.finished)
            return &block;
    return nullptr;
}

uint32_t Assembler::KnownLastId(const Block& block) const {
    if (block.trailer)
        return block.lastId;
    if (block.leader && !block.failed && block.expectedBytes <= block.buffer.size)
        return uint32_t((block.expectedBytes + dataPerPacket_ - 1) / dataPerPacket_) + 1;
    return 0;
}

Assembler::Block* Assembler::Start(uint16_t id, uint64_t nowUs, std::vector<ResendRange>& resend) {
    started_ = true;
    lastStarted_ = id;
    // Older blocks without their trailer will not get it in order any more:
    // ask for their tail now.
    for (Block& older : active_) {
        if (older.finished || older.trailer || older.tailRequested)
            continue;
        older.tailRequested = true;
        const uint32_t last = KnownLastId(older);
        if (last > older.highest)
            Request(older, older.highest + 1, last, resend);
    }
    if (pending_.empty())
        return nullptr; // no buffer: the whole block is dropped
    if (active_.size() >= kMaxBlocks) {
        Finish(active_.front(), false);
        Deliver();
    }
    Block block;
    block.id = id;
    block.buffer = pending_.front();
    pending_.pop_front();
    block.payloadIds =
        uint32_t((uint64_t(block.buffer.size) + dataPerPacket_ - 1) / dataPerPacket_);
    block.state.assign(size_t(block.payloadIds) + 1, 0);
    block.startUs = block.lastUs = block.lastRoundUs = nowUs;
    active_.push_back(std::move(block));
    return &active_.back();
}

void Assembler::Request(Block& block, uint32_t first, uint32_t last,
                        std::vector<ResendRange>& resend) {
    if (!resend_ || first > last || block.commands >= kMaxCommandsPerBlock)
        return;
    ++block.commands;
    ++counters_.resendCommands;
    counters_.packetsRequested += last - first + 1;
    for (uint32_t id = first; id <= last && id <= block.payloadIds; ++id)
        if (id > 0 && block.state[id] == 0)
            block.state[id] = 1;
    resend.push_back(ResendRange{block.id, first, last});
}

void Assembler::RequestMissing(Block& block, std::vector<ResendRange>& resend) {
    size_t ranges = 0;
    if (!block.leader) {
        Request(block, 0, 0, resend);
        ++ranges;
    }
    const uint32_t known = KnownLastId(block);
    uint32_t end = known ? known - 1 : block.highest; // last payload id to look at
    if (end > block.payloadIds)
        end = block.payloadIds;
    uint32_t id = 1;
    while (id <= end && ranges < kMaxRangesPerRound) {
        if (block.state[id] == 2) {
            ++id;
            continue;
        }
        uint32_t last = id;
        while (last + 1 <= end && block.state[last + 1] != 2)
            ++last;
        Request(block, id, last, resend);
        ++ranges;
        id = last + 1;
    }
    if (known && !block.trailer && ranges < kMaxRangesPerRound)
        Request(block, known, known, resend);
}

void Assembler::Payload(Block& block, uint32_t packetId, const uint8_t* data, size_t length,
                        uint64_t nowUs, std::vector<ResendRange>& resend) {
    const uint64_t offset = uint64_t(packetId - 1) * dataPerPacket_;
    if (packetId > block.payloadIds || length > dataPerPacket_ ||
        offset + length > block.buffer.size || (block.trailer && packetId >= block.lastId)) {
        // Would write past the buffer, or lies beyond the trailer.
        ++counters_.packetsDropped;
        block.failed = true;
        return;
    }
    if (block.state[packetId] == 2) {
        ++counters_.packetsDropped; // duplicate
        return;
    }
    if (block.state[packetId] == 1)
        ++counters_.packetsResent;
    memcpy(block.buffer.data + offset, data, length);
    block.state[packetId] = 2;
    ++block.payloadCount;
    block.lastUs = nowUs;
    block.quietRounds = 0;
    if (packetId > block.highest + 1 && !block.trailer)
        Request(block, block.highest + 1, packetId - 1, resend);
    if (packetId > block.highest)
        block.highest = packetId;
}

void Assembler::OnPacket(const uint8_t* data, size_t size, uint64_t nowUs,
                         std::vector<ResendRange>& resend) {
    ++counters_.packetsReceived;
    gvwire::GvspHeader header;
    const uint8_t* body = nullptr;
    size_t bodyLength = 0;
    if (!gvwire::ParseGvsp(data, size, header, body, bodyLength)) {
        ++counters_.packetsDropped;
        return;
    }
    Block* block = Find(header.blockId);
    if (!block) {
        const bool newer = !started_ || int16_t(uint16_t(header.blockId - lastStarted_)) > 0;
        if (!newer || header.status != gvwire::kSuccess) {
            ++counters_.packetsDropped; // stale, delivered or skipped block
            return;
        }
        block = Start(header.blockId, nowUs, resend);
        if (!block) {
            ++counters_.packetsDropped;
            return;
        }
        // A block that begins without its leader asks for it at once: at full
        // rate the next blocks come long before any quiet round.
        if (header.format != gvwire::kFormatLeader && header.status == gvwire::kSuccess)
            Request(*block, 0, 0, resend);
    }
    if (header.status != gvwire::kSuccess && header.status != gvwire::kPacketResend) {
        // The camera says a packet will not come.
        ++counters_.packetsDropped;
        block->failed = true;
        Check(*block);
        Deliver();
        return;
    }
    switch (header.format) {
    case gvwire::kFormatLeader: {
        gvwire::ImageLeader leader;
        if (header.packetId != 0 || block->leader ||
            !gvwire::ParseLeader(body, bodyLength, leader)) {
            ++counters_.packetsDropped;
            break;
        }
        block->leader = true;
        block->lastUs = nowUs;
        block->quietRounds = 0;
        const uint32_t bytes = gvwire::PixelFormatBytes(leader.pixelFormat);
        block->expectedBytes = uint64_t(leader.sizeX) * leader.sizeY * bytes;
        if (bytes == 0 || leader.paddingX != 0 || leader.paddingY != 0 ||
            block->expectedBytes > block->buffer.size)
            block->failed = true; // a frame that does not fit is never written past the buffer
        break;
    }
    case gvwire::kFormatTrailer: {
        gvwire::ImageTrailer trailer;
        if (block->trailer || header.packetId == 0 || header.packetId <= block->highest ||
            !gvwire::ParseTrailer(body, bodyLength, trailer)) {
            ++counters_.packetsDropped;
            break;
        }
        block->trailer = true;
        block->lastId = header.packetId;
        block->lastUs = nowUs;
        block->quietRounds = 0;
        uint32_t end = header.packetId - 1;
        if (end > block->payloadIds) {
            end = block->payloadIds;
            block->failed = true;
        }
        if (!block->failed && block->highest < end)
            Request(*block, block->highest + 1, end, resend);
        break;
    }
    case gvwire::kFormatPayload:
        if (header.packetId == 0) {
            ++counters_.packetsDropped;
            break;
        }
        Payload(*block, header.packetId, body, bodyLength, nowUs, resend);
        break;
    default:
        ++counters_.packetsDropped;
        break;
    }
    Check(*block);
    Deliver();
}

void Assembler::Check(Block& block) {
    if (block.finished)
        return;
    if (block.failed && (block.trailer || !resend_)) {
        Finish(block, false);
        return;
    }
    if (!block.leader || !block.trailer || block.failed)
        return;
    const uint32_t payloads = block.lastId - 1;
    if (block.payloadCount < payloads)
        return;
    const uint64_t expectedPackets = (block.expectedBytes + dataPerPacket_ - 1) / dataPerPacket_;
    // Every payload packet but the last is full; the last ends the frame.
    bool sizes = expectedPackets == payloads;
    Finish(block, sizes);
}

void Assembler::Finish(Block& block, bool complete) {
    block.finished = true;
    block.complete = complete;
}

void Assembler::Deliver() {
    while (!active_.empty() && active_.front().finished) {
        Block& block = active_.front();
        if (block.complete) {
            ++counters_.framesCompleted;
            counters_.bytesCompleted += block.expectedBytes;
        } else {
            ++counters_.framesIncomplete;
        }
        delivered_.push_back(
            Delivery{block.buffer.context, block.complete ? 0u : GX_STATUS_INCOMPLETE});
        active_.pop_front();
    }
}

void Assembler::OnTick(uint64_t nowUs, std::vector<ResendRange>& resend) {
    for (Block& block : active_) {
        if (block.finished)
            continue;
        if (nowUs - block.startUs > kMaxBlockUs) {
            Finish(block, false);
            continue;
        }
        if (nowUs - block.lastUs < kQuietUs || nowUs - block.lastRoundUs < kQuietUs)
            continue;
        block.lastRoundUs = nowUs;
        if (++block.quietRounds > kMaxQuietRounds || block.failed) {
            Finish(block, false);
            continue;
        }
        RequestMissing(block, resend);
    }
    Deliver();
}

void Assembler::Flush() {
    for (Block& block : active_) {
        ++counters_.framesIncomplete;
        delivered_.push_back(Delivery{block.buffer.context, GX_STATUS_INCOMPLETE});
    }
    active_.clear();
    for (const QueuedBuffer& buffer : pending_) {
        ++counters_.framesIncomplete;
        delivered_.push_back(Delivery{buffer.context, GX_STATUS_INCOMPLETE});
    }
    pending_.clear();
}

} // namespace gtrans
