// The transport's GVSP block assembly fed hostile datagrams: whatever the
// ids, sizes and orders, nothing is written outside a queued buffer, every
// queued buffer comes back exactly once, and resend requests stay in range.
//
// Input: 1 byte data per packet (16..271), 2 bytes buffer size, then records
// of 1 byte operation and 2 bytes length: 0 a datagram of that many bytes,
// 1 time passes (length ms), 2 a buffer is queued, 3 a flush.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <deque>
#include <set>
#include <vector>

#include "gtrans/Assembler.h"

namespace {

constexpr size_t kGuard = 32;
constexpr uint8_t kFill = 0x5A;

void Check(bool condition) {
    if (!condition)
        abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3)
        return 0;
    const uint32_t dataPerPacket = 16u + data[0];
    const uint32_t bufferSize = 1u + ((uint32_t(data[1]) << 8) | data[2]);
    gtrans::Assembler assembler(dataPerPacket, true);
    std::deque<std::vector<uint8_t>> buffers;
    std::set<uintptr_t> outstanding;
    std::vector<gtrans::ResendRange> resend;
    uint64_t now = 1000000;
    size_t pos = 3;
    auto drain = [&] {
        for (const gtrans::Delivery& d : assembler.Delivered())
            Check(outstanding.erase(reinterpret_cast<uintptr_t>(d.context)) == 1);
        assembler.Delivered().clear();
        for (const gtrans::ResendRange& r : resend)
            Check(r.first <= r.last && r.last <= 0xFFFFFF);
        resend.clear();
    };
    while (pos + 3 <= size) {
        const uint8_t op = data[pos] & 3;
        const size_t length = (size_t(data[pos + 1]) << 8) | data[pos + 2];
        pos += 3;
        switch (op) {
        case 0: {
            const size_t take = length < size - pos ? length : size - pos;
            assembler.OnPacket(data + pos, take, now, resend);
            pos += take;
            break;
        }
        case 1:
            now += uint64_t(length) * 1000;
            assembler.OnTick(now, resend);
            break;
        case 2:
            if (buffers.size() < 64) {
                buffers.emplace_back(bufferSize + kGuard, kFill);
                const uintptr_t id = buffers.size();
                outstanding.insert(id);
                assembler.Queue(gtrans::QueuedBuffer{buffers.back().data(), bufferSize,
                                                     reinterpret_cast<void*>(id)});
            }
            break;
        default:
            assembler.Flush();
            break;
        }
        drain();
        for (const std::vector<uint8_t>& buffer : buffers)
            for (size_t i = bufferSize; i < buffer.size(); ++i)
                Check(buffer[i] == kFill);
    }
    assembler.Flush();
    drain();
    Check(outstanding.empty());
    return 0;
}
