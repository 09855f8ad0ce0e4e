// The GVCP/GVSP subset's parsers and encoders. Every parser checks each length
// against the datagram before reading; every encoder checks the capacity and
// the protocol's bounds before writing.
#include "gtrans/Wire.h"

#include <string.h>

namespace gvwire {

namespace {

// Largest UDP payload over IPv4: what a GVSP packet can carry at most.
constexpr size_t kMaxDatagram = 65507;
constexpr uint8_t kExtendedIdFlag = 0x80;
constexpr uint16_t kChunkBit = 0x4000;

struct StatusNameRow {
    uint16_t status;
    const char* name;
};

const StatusNameRow kStatusNames[] = {
    {0x0000, "SUCCESS"},
    {0x0100, "PACKET_RESEND"},
    {0x8001, "NOT_IMPLEMENTED"},
    {0x8002, "INVALID_PARAMETER"},
    {0x8003, "INVALID_ADDRESS"},
    {0x8004, "WRITE_PROTECT"},
    {0x8005, "BAD_ALIGNMENT"},
    {0x8006, "ACCESS_DENIED"},
    {0x8007, "BUSY"},
    {0x8008, "LOCAL_PROBLEM"},
    {0x8009, "MSG_MISMATCH"},
    {0x800A, "INVALID_PROTOCOL"},
    {0x800B, "NO_MSG"},
    {0x800C, "PACKET_UNAVAILABLE"},
    {0x800D, "DATA_OVERRUN"},
    {0x800E, "INVALID_HEADER"},
    {0x800F, "WRONG_CONFIG"},
    {0x8010, "PACKET_NOT_YET_AVAILABLE"},
    {0x8011, "PACKET_AND_PREV_REMOVED_FROM_MEMORY"},
    {0x8012, "PACKET_REMOVED_FROM_MEMORY"},
    {0x8013, "NO_REF_TIME"},
    {0x8014, "PACKET_TEMPORARILY_UNAVAILABLE"},
    {0x8015, "OVERFLOW"},
    {0x8016, "ACTION_LATE"},
    {0x8017, "LEADER_TRAILER_OVERFLOW"},
    {0x8FFF, "ERROR"},
};

// Copies a fixed-size text field and terminates it whatever the wire held.
void GetText(char* out, size_t fieldSize, const uint8_t* in) {
    memcpy(out, in, fieldSize);
    out[fieldSize] = '\0';
}

// Writes a text into a fixed-size field, NUL-padded; a text that fills the
// whole field carries no terminator (the reader adds one).
void PutText(uint8_t* out, size_t fieldSize, const char* text) {
    memset(out, 0, fieldSize);
    const size_t n = strnlen(text, fieldSize);
    memcpy(out, text, n);
}

// An 8-byte GVSP header in standard-id mode.
void PutGvspHeader(uint8_t* out, uint16_t status, uint16_t blockId, uint8_t format,
                   uint32_t packetId) {
    Put16(out, status);
    Put16(out + 2, blockId);
    out[4] = format;
    out[5] = uint8_t(packetId >> 16);
    out[6] = uint8_t(packetId >> 8);
    out[7] = uint8_t(packetId);
}

} // namespace

const char* StatusName(uint16_t status) {
    for (const StatusNameRow& row : kStatusNames)
        if (row.status == status)
            return row.name;
    return nullptr;
}

// --- GVCP headers -----------------------------------------------------------

bool ParseCommand(const uint8_t* data, size_t size, CommandHeader& header,
                  const uint8_t*& payload) {
    if (data == nullptr || size < kHeaderSize || data[0] != kCommandKey)
        return false;
    const uint16_t length = Get16(data + 4);
    const uint16_t reqId = Get16(data + 6);
    if (length % 4 != 0 || length > kMaxPayload || size != kHeaderSize + length || reqId == 0)
        return false;
    header.flags = data[1];
    header.command = Get16(data + 2);
    header.length = length;
    header.reqId = reqId;
    payload = data + kHeaderSize;
    return true;
}

bool ParseAck(const uint8_t* data, size_t size, AckHeader& header, const uint8_t*& payload) {
    if (data == nullptr || size < kHeaderSize)
        return false;
    const uint16_t length = Get16(data + 4);
    if (length % 4 != 0 || length > kMaxPayload || size < kHeaderSize + length)
        return false;
    header.status = Get16(data);
    header.ack = Get16(data + 2);
    header.length = length;
    header.ackId = Get16(data + 6);
    payload = data + kHeaderSize;
    return true;
}

size_t EncodeCommand(uint8_t* out, size_t capacity, const CommandHeader& header,
                     const uint8_t* payload) {
    const size_t total = kHeaderSize + header.length;
    if (out == nullptr || header.reqId == 0 || header.length % 4 != 0 ||
        header.length > kMaxPayload || capacity < total ||
        (header.length > 0 && payload == nullptr))
        return 0;
    out[0] = kCommandKey;
    out[1] = header.flags;
    Put16(out + 2, header.command);
    Put16(out + 4, header.length);
    Put16(out + 6, header.reqId);
    if (header.length > 0)
        memmove(out + kHeaderSize, payload, header.length);
    return total;
}

size_t EncodeAck(uint8_t* out, size_t capacity, const AckHeader& header, const uint8_t* payload) {
    const size_t total = kHeaderSize + header.length;
    if (out == nullptr || header.length % 4 != 0 || header.length > kMaxPayload ||
        capacity < total || (header.length > 0 && payload == nullptr))
        return 0;
    Put16(out, header.status);
    Put16(out + 2, header.ack);
    Put16(out + 4, header.length);
    Put16(out + 6, header.ackId);
    if (header.length > 0)
        memmove(out + kHeaderSize, payload, header.length);
    return total;
}

// --- DISCOVERY --------------------------------------------------------------

size_t EncodeDiscoveryCmd(uint8_t* out, size_t capacity, uint16_t reqId) {
    const CommandHeader header{kFlagAckRequired | kFlagBroadcastAck, kDiscoveryCmd, 0, reqId};
    return EncodeCommand(out, capacity, header, nullptr);
}

size_t EncodeDiscoveryAck(uint8_t* out, size_t capacity, uint16_t ackId,
                          const DeviceIdentity& identity) {
    if (out == nullptr || capacity < kHeaderSize + kDiscoveryAckSize)
        return 0;
    uint8_t* p = out + kHeaderSize;
    memset(p, 0, kDiscoveryAckSize);
    Put16(p + 0, identity.versionMajor);
    Put16(p + 2, identity.versionMinor);
    Put32(p + 4, identity.deviceMode);
    memcpy(p + 10, identity.mac, 6);
    Put32(p + 16, identity.ipConfigSupported);
    Put32(p + 20, identity.ipConfigCurrent);
    Put32(p + 36, identity.ip);
    Put32(p + 52, identity.subnet);
    Put32(p + 68, identity.gateway);
    PutText(p + 72, 32, identity.manufacturer);
    PutText(p + 104, 32, identity.model);
    PutText(p + 136, 32, identity.deviceVersion);
    PutText(p + 168, 48, identity.manufacturerInfo);
    PutText(p + 216, 16, identity.serial);
    PutText(p + 232, 16, identity.userName);
    const AckHeader header{kSuccess, kDiscoveryAck, uint16_t(kDiscoveryAckSize), ackId};
    return EncodeAck(out, capacity, header, p);
}

bool ParseDiscoveryAck(const uint8_t* payload, size_t length, DeviceIdentity& identity) {
    if (payload == nullptr || length < kDiscoveryAckSize)
        return false;
    const uint8_t* p = payload;
    identity.versionMajor = Get16(p + 0);
    identity.versionMinor = Get16(p + 2);
    identity.deviceMode = Get32(p + 4);
    memcpy(identity.mac, p + 10, 6);
    identity.ipConfigSupported = Get32(p + 16);
    identity.ipConfigCurrent = Get32(p + 20);
    identity.ip = Get32(p + 36);
    identity.subnet = Get32(p + 52);
    identity.gateway = Get32(p + 68);
    GetText(identity.manufacturer, 32, p + 72);
    GetText(identity.model, 32, p + 104);
    GetText(identity.deviceVersion, 32, p + 136);
    GetText(identity.manufacturerInfo, 48, p + 168);
    GetText(identity.serial, 16, p + 216);
    GetText(identity.userName, 16, p + 232);
    return true;
}

// --- READREG ----------------------------------------------------------------

size_t EncodeReadRegCmd(uint8_t* out, size_t capacity, uint16_t reqId, const uint32_t* addresses,
                        size_t count) {
    if (out == nullptr || addresses == nullptr || count == 0 || count > kMaxReadRegAddresses ||
        capacity < kHeaderSize + 4 * count)
        return 0;
    uint8_t payload[kMaxPayload];
    for (size_t i = 0; i < count; ++i)
        Put32(payload + 4 * i, addresses[i]);
    const CommandHeader header{kFlagAckRequired, kReadRegCmd, uint16_t(4 * count), reqId};
    return EncodeCommand(out, capacity, header, payload);
}

bool ParseReadRegCmd(const uint8_t* payload, size_t length, uint32_t* addresses, size_t maxCount,
                     size_t& count) {
    if (payload == nullptr || addresses == nullptr || length == 0 || length % 4 != 0)
        return false;
    const size_t n = length / 4;
    if (n > kMaxReadRegAddresses || n > maxCount)
        return false;
    for (size_t i = 0; i < n; ++i)
        addresses[i] = Get32(payload + 4 * i);
    count = n;
    return true;
}

size_t EncodeReadRegAck(uint8_t* out, size_t capacity, uint16_t ackId, uint16_t status,
                        const uint32_t* values, size_t count) {
    if (out == nullptr || count > kMaxReadRegAddresses || (count > 0 && values == nullptr) ||
        capacity < kHeaderSize + 4 * count)
        return 0;
    uint8_t payload[kMaxPayload];
    for (size_t i = 0; i < count; ++i)
        Put32(payload + 4 * i, values[i]);
    const AckHeader header{status, kReadRegAck, uint16_t(4 * count), ackId};
    return EncodeAck(out, capacity, header, payload);
}

bool ParseReadRegAck(const uint8_t* payload, size_t length, uint32_t* values, size_t maxCount,
                     size_t& count) {
    if (length % 4 != 0 || (length > 0 && (payload == nullptr || values == nullptr)))
        return false;
    const size_t n = length / 4;
    if (n > kMaxReadRegAddresses || n > maxCount)
        return false;
    for (size_t i = 0; i < n; ++i)
        values[i] = Get32(payload + 4 * i);
    count = n;
    return true;
}

// --- WRITEREG ---------------------------------------------------------------

size_t EncodeWriteRegCmd(uint8_t* out, size_t capacity, uint16_t reqId, const uint32_t* addresses,
                         const uint32_t* values, size_t count) {
    if (out == nullptr || addresses == nullptr || values == nullptr || count == 0 ||
        count > kMaxWriteRegPairs || capacity < kHeaderSize + 8 * count)
        return 0;
    uint8_t payload[kMaxPayload];
    for (size_t i = 0; i < count; ++i) {
        Put32(payload + 8 * i, addresses[i]);
        Put32(payload + 8 * i + 4, values[i]);
    }
    const CommandHeader header{kFlagAckRequired, kWriteRegCmd, uint16_t(8 * count), reqId};
    return EncodeCommand(out, capacity, header, payload);
}

bool ParseWriteRegCmd(const uint8_t* payload, size_t length, uint32_t* addresses, uint32_t* values,
                      size_t maxCount, size_t& count) {
    if (payload == nullptr || addresses == nullptr || values == nullptr || length == 0 ||
        length % 8 != 0)
        return false;
    const size_t n = length / 8;
    if (n > kMaxWriteRegPairs || n > maxCount)
        return false;
    for (size_t i = 0; i < n; ++i) {
        addresses[i] = Get32(payload + 8 * i);
        values[i] = Get32(payload + 8 * i + 4);
    }
    count = n;
    return true;
}

size_t EncodeWriteRegAck(uint8_t* out, size_t capacity, uint16_t ackId, uint16_t status,
                         uint16_t index) {
    if (index > kMaxWriteRegPairs)
        return 0;
    uint8_t payload[4] = {0, 0, 0, 0};
    Put16(payload + 2, index);
    const AckHeader header{status, kWriteRegAck, 4, ackId};
    return EncodeAck(out, capacity, header, payload);
}

bool ParseWriteRegAck(const uint8_t* payload, size_t length, uint16_t& index) {
    if (payload == nullptr || length != 4)
        return false;
    const uint16_t n = Get16(payload + 2);
    if (n > kMaxWriteRegPairs)
        return false;
    index = n;
    return true;
}

// --- PACKETRESEND -----------------------------------------------------------

size_t EncodePacketResendCmd(uint8_t* out, size_t capacity, uint16_t reqId,
                             const ResendRequest& request) {
    if (request.firstPacket > kMaxPacketId || request.lastPacket > kMaxPacketId ||
        request.firstPacket > request.lastPacket)
        return 0;
    uint8_t payload[12];
    Put16(payload, request.channel);
    Put16(payload + 2, request.blockId);
    Put32(payload + 4, request.firstPacket);
    Put32(payload + 8, request.lastPacket);
    // Unacknowledged: the answer is the packets themselves on the stream.
    const CommandHeader header{0, kPacketResendCmd, 12, reqId};
    return EncodeCommand(out, capacity, header, payload);
}

bool ParsePacketResendCmd(const uint8_t* payload, size_t length, ResendRequest& request) {
    if (payload == nullptr || length != 12)
        return false;
    const uint32_t first = Get32(payload + 4);
    const uint32_t last = Get32(payload + 8);
    // The top byte of each packet id is reserved (0).
    if (first > kMaxPacketId || last > kMaxPacketId || first > last)
        return false;
    request.channel = Get16(payload);
    request.blockId = Get16(payload + 2);
    request.firstPacket = first;
    request.lastPacket = last;
    return true;
}

// --- GVSP -------------------------------------------------------------------

uint32_t PixelFormatBytes(uint32_t pixelFormat) {
    const uint32_t bits = (pixelFormat >> 16) & 0xFF;
    if (bits == 0 || bits % 8 != 0)
        return 0;
    return bits / 8;
}

bool ParseGvsp(const uint8_t* data, size_t size, GvspHeader& header, const uint8_t*& body,
               size_t& bodyLength) {
    if (data == nullptr || size < kGvspHeaderSize || size > kMaxDatagram)
        return false;
    // Extended ids are never enabled on our stream channel; block id 0 is
    // never sent in standard-id mode.
    if ((data[4] & kExtendedIdFlag) != 0)
        return false;
    const uint16_t blockId = Get16(data + 2);
    if (blockId == 0)
        return false;
    header.status = Get16(data);
    header.blockId = blockId;
    header.format = data[4] & 0x7F;
    header.packetId = (uint32_t(data[5]) << 16) | (uint32_t(data[6]) << 8) | data[7];
    body = data + kGvspHeaderSize;
    bodyLength = size - kGvspHeaderSize;
    return true;
}

bool ParseLeader(const uint8_t* body, size_t length, ImageLeader& leader) {
    if (body == nullptr || length != kLeaderSize - kGvspHeaderSize)
        return false;
    const uint16_t payloadType = Get16(body + 2);
    if ((payloadType & ~kChunkBit) != kPayloadTypeImage)
        return false;
    leader.payloadType = payloadType;
    leader.timestamp = (uint64_t(Get32(body + 4)) << 32) | Get32(body + 8);
    leader.pixelFormat = Get32(body + 12);
    leader.sizeX = Get32(body + 16);
    leader.sizeY = Get32(body + 20);
    leader.offsetX = Get32(body + 24);
    leader.offsetY = Get32(body + 28);
    leader.paddingX = Get16(body + 32);
    leader.paddingY = Get16(body + 34);
    return true;
}

bool ParseTrailer(const uint8_t* body, size_t length, ImageTrailer& trailer) {
    if (body == nullptr || length != kTrailerSize - kGvspHeaderSize)
        return false;
    const uint16_t payloadType = Get16(body + 2);
    if ((payloadType & ~kChunkBit) != kPayloadTypeImage)
        return false;
    trailer.payloadType = payloadType;
    trailer.sizeY = Get32(body + 4);
    return true;
}

size_t EncodeLeader(uint8_t* out, size_t capacity, uint16_t blockId, const ImageLeader& leader) {
    if (out == nullptr || capacity < kLeaderSize || blockId == 0)
        return 0;
    PutGvspHeader(out, kSuccess, blockId, kFormatLeader, 0);
    uint8_t* b = out + kGvspHeaderSize;
    b[0] = 0; // progressive: field info 0
    b[1] = 0;
    Put16(b + 2, leader.payloadType);
    Put32(b + 4, uint32_t(leader.timestamp >> 32));
    Put32(b + 8, uint32_t(leader.timestamp));
    Put32(b + 12, leader.pixelFormat);
    Put32(b + 16, leader.sizeX);
    Put32(b + 20, leader.sizeY);
    Put32(b + 24, leader.offsetX);
    Put32(b + 28, leader.offsetY);
    Put16(b + 32, leader.paddingX);
    Put16(b + 34, leader.paddingY);
    return kLeaderSize;
}

size_t EncodePayload(uint8_t* out, size_t capacity, uint16_t blockId, uint32_t packetId,
                     const uint8_t* data, size_t length, uint16_t status) {
    const size_t total = kGvspHeaderSize + length;
    if (out == nullptr || blockId == 0 || packetId == 0 || packetId > kMaxPacketId ||
        total > kMaxDatagram || capacity < total || (length > 0 && data == nullptr))
        return 0;
    PutGvspHeader(out, status, blockId, kFormatPayload, packetId);
    if (length > 0)
        memmove(out + kGvspHeaderSize, data, length);
    return total;
}

size_t EncodeTrailer(uint8_t* out, size_t capacity, uint16_t blockId, uint32_t packetId,
                     const ImageTrailer& trailer) {
    if (out == nullptr || capacity < kTrailerSize || blockId == 0 || packetId == 0 ||
        packetId > kMaxPacketId)
        return 0;
    PutGvspHeader(out, kSuccess, blockId, kFormatTrailer, packetId);
    uint8_t* b = out + kGvspHeaderSize;
    Put16(b, 0);
    Put16(b + 2, trailer.payloadType);
    Put32(b + 4, trailer.sizeY);
    return kTrailerSize;
}

} // namespace gvwire
