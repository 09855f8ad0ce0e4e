// Fuzz target: arbitrary bytes as a GVCP datagram, parsed as a command and as
// an acknowledge of every kind. Whatever parses must encode back to the same
// bytes; nothing may read outside the datagram.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "gtrans/Wire.h"

using namespace gvwire;

namespace {

void Check(bool condition) {
    if (!condition)
        std::abort();
}

void Commands(const uint8_t* data, size_t size) {
    CommandHeader header{};
    const uint8_t* payload = nullptr;
    if (!ParseCommand(data, size, header, payload))
        return;
    Check(header.reqId != 0 && header.length % 4 == 0 && kHeaderSize + header.length == size);
    uint8_t out[kMaxMessage];
    Check(EncodeCommand(out, sizeof out, header, payload) == size);
    Check(std::memcmp(out, data, size) == 0);

    uint32_t addresses[kMaxReadRegAddresses], values[kMaxReadRegAddresses];
    size_t count = 0;
    if (ParseReadRegCmd(payload, header.length, addresses, kMaxReadRegAddresses, count)) {
        Check(count >= 1 && count <= kMaxReadRegAddresses && count * 4 == header.length);
        Check(EncodeReadRegCmd(out, sizeof out, header.reqId, addresses, count) == size);
        Check(std::memcmp(out + kHeaderSize, payload, header.length) == 0);
    }
    if (ParseWriteRegCmd(payload, header.length, addresses, values, kMaxWriteRegPairs, count)) {
        Check(count >= 1 && count <= kMaxWriteRegPairs && count * 8 == header.length);
        Check(EncodeWriteRegCmd(out, sizeof out, header.reqId, addresses, values, count) == size);
        Check(std::memcmp(out + kHeaderSize, payload, header.length) == 0);
    }
    ResendRequest request;
    if (ParsePacketResendCmd(payload, header.length, request)) {
        Check(request.firstPacket <= request.lastPacket && request.lastPacket <= kMaxPacketId);
        Check(EncodePacketResendCmd(out, sizeof out, header.reqId, request) == size);
        Check(std::memcmp(out + kHeaderSize, payload, header.length) == 0);
    }
}

void Acks(const uint8_t* data, size_t size) {
    AckHeader header{};
    const uint8_t* payload = nullptr;
    if (!ParseAck(data, size, header, payload))
        return;
    Check(kHeaderSize + header.length <= size);
    uint32_t values[kMaxReadRegAddresses];
    size_t count = 0;
    if (ParseReadRegAck(payload, header.length, values, kMaxReadRegAddresses, count))
        Check(count * 4 == header.length);
    uint16_t index = 0;
    if (ParseWriteRegAck(payload, header.length, index))
        Check(index <= kMaxWriteRegPairs);
    DeviceIdentity identity;
    if (ParseDiscoveryAck(payload, header.length, identity)) {
        Check(std::strlen(identity.manufacturer) <= 32 && std::strlen(identity.serial) <= 16);
        uint8_t out[kHeaderSize + kDiscoveryAckSize];
        Check(EncodeDiscoveryAck(out, sizeof out, header.ackId, identity) == sizeof out);
        DeviceIdentity again;
        Check(ParseDiscoveryAck(out + kHeaderSize, kDiscoveryAckSize, again));
        Check(std::strcmp(again.model, identity.model) == 0 && again.ip == identity.ip);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An exact-size copy, so a read past the end is caught.
    std::vector<uint8_t> copy(data, data + size);
    Commands(copy.data(), copy.size());
    Acks(copy.data(), copy.size());
    return 0;
}
