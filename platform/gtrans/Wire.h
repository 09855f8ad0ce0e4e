// The wire format our transport and the camera emulator speak: a subset of the
// GVCP control protocol (discovery, register read/write, packet resend) and of
// the GVSP image stream (leader, payload, trailer, standard 16-bit block ids).
//
// Everything here is plain data in, bytes out (and back). Every field on the
// wire is big-endian. Every parser takes an untrusted datagram with its size,
// reads nothing outside it and answers false for anything malformed; the
// encoders answer the number of bytes written, or 0 when `capacity` is too
// small or the arguments are out of the protocol's bounds.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace gvwire {

// --- Byte order -------------------------------------------------------------

inline uint16_t Get16(const uint8_t* p) {
    return uint16_t((p[0] << 8) | p[1]);
}
inline uint32_t Get32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}
inline void Put16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v >> 8);
    p[1] = uint8_t(v);
}
inline void Put32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}

// --- GVCP -------------------------------------------------------------------

constexpr uint8_t kCommandKey = 0x42;
constexpr size_t kHeaderSize = 8;
// 576-byte IP datagram less IP (20), UDP (8) and the GVCP header (8).
constexpr size_t kMaxPayload = 540;
constexpr size_t kMaxMessage = kHeaderSize + kMaxPayload;
// What the protocol allows in one message, and what our calls use.
constexpr size_t kMaxReadRegAddresses = 135;
constexpr size_t kMaxWriteRegPairs = 67;
constexpr size_t kMaxRegistersPerCall = 32;
constexpr size_t kDiscoveryAckSize = 248;

// Command flags (byte 1 of a command).
constexpr uint8_t kFlagAckRequired = 0x01;
constexpr uint8_t kFlagBroadcastAck = 0x10; // DISCOVERY only

enum Command : uint16_t {
    kDiscoveryCmd = 0x0002,
    kDiscoveryAck = 0x0003,
    kPacketResendCmd = 0x0040,
    kPacketResendAck = 0x0041,
    kReadRegCmd = 0x0080,
    kReadRegAck = 0x0081,
    kWriteRegCmd = 0x0082,
    kWriteRegAck = 0x0083,
};

// Status of an acknowledge, and of a GVSP packet.
enum Status : uint16_t {
    kSuccess = 0x0000,
    kPacketResend = 0x0100,
    kNotImplemented = 0x8001,
    kInvalidParameter = 0x8002,
    kInvalidAddress = 0x8003,
    kWriteProtect = 0x8004,
    kBadAlignment = 0x8005,
    kAccessDenied = 0x8006,
    kBusy = 0x8007,
    kPacketUnavailable = 0x800C,
    kInvalidHeader = 0x800E,
    kPacketNotYetAvailable = 0x8010,
    kGenericError = 0x8FFF,
};

// The protocol's name of a status ("ACCESS_DENIED"), or null when unknown.
const char* StatusName(uint16_t status);

// Bootstrap registers (byte addresses, 32-bit values).
enum Bootstrap : uint32_t {
    kRegVersion = 0x0000,
    kRegDeviceMode = 0x0004,
    kRegMacHigh = 0x0008,
    kRegMacLow = 0x000C,
    kRegCurrentIp = 0x0024,
    kRegManufacturerName = 0x0048, // 32 bytes
    kRegModelName = 0x0068,        // 32 bytes
    kRegDeviceVersion = 0x0088,    // 32 bytes
    kRegSerialNumber = 0x00D8,     // 16 bytes
    kRegUserName = 0x00E8,         // 16 bytes
    kRegStreamChannels = 0x0904,
    kRegGvcpCapability = 0x0934,
    kRegHeartbeatTimeout = 0x0938,
    kRegCcp = 0x0A00,
    kRegScp0 = 0x0D00,   // stream channel 0: host port in the low 16 bits, 0 = closed
    kRegScps0 = 0x0D04,  // packet size in the low 16 bits (IP + UDP + GVSP headers included)
    kRegScpd0 = 0x0D08,  // inter-packet delay
    kRegScda0 = 0x0D18,  // destination IPv4 address
    kRegScsp0 = 0x0D1C,  // source port
    kRegScc0 = 0x0D20,   // stream channel capability
    kRegSccfg0 = 0x0D24, // stream channel configuration
};

constexpr uint32_t kCapabilityConcatenation = 0x00000001;
constexpr uint32_t kCapabilityPacketResend = 0x00000004;
constexpr uint32_t kCcpExclusive = 0x00000001;
constexpr uint32_t kCcpControl = 0x00000002;
constexpr uint32_t kScpPortMask = 0x0000FFFF;
constexpr uint32_t kScpsSizeMask = 0x0000FFFF;
constexpr uint32_t kHeartbeatDefaultMs = 3000;
constexpr uint32_t kHeartbeatMinimumMs = 500;

struct CommandHeader {
    uint8_t flags;
    uint16_t command;
    uint16_t length; // payload bytes after the header
    uint16_t reqId;  // never 0
};

struct AckHeader {
    uint16_t status;
    uint16_t ack;
    uint16_t length;
    uint16_t ackId;
};

// A command: key 0x42, length a multiple of 4 equal to what follows the header
// (extra trailing bytes are refused), req_id not 0. `payload` points into `data`.
bool ParseCommand(const uint8_t* data, size_t size, CommandHeader& header, const uint8_t*& payload);
// An acknowledge: length a multiple of 4 and not beyond the datagram.
bool ParseAck(const uint8_t* data, size_t size, AckHeader& header, const uint8_t*& payload);

size_t EncodeCommand(uint8_t* out, size_t capacity, const CommandHeader& header,
                     const uint8_t* payload);
size_t EncodeAck(uint8_t* out, size_t capacity, const AckHeader& header, const uint8_t* payload);

// DISCOVERY_ACK payload (248 bytes). Texts are NUL-terminated after parsing
// whatever the wire held.
struct DeviceIdentity {
    uint16_t versionMajor = 1;
    uint16_t versionMinor = 2;
    uint32_t deviceMode = 0x80000001u; // big-endian transmitter, UTF-8
    uint8_t mac[6] = {};
    uint32_t ipConfigSupported = 0x1;
    uint32_t ipConfigCurrent = 0x1;
    uint32_t ip = 0; // a.b.c.d as 0xAABBCCDD
    uint32_t subnet = 0;
    uint32_t gateway = 0;
    char manufacturer[33] = {};
    char model[33] = {};
    char deviceVersion[33] = {};
    char manufacturerInfo[49] = {};
    char serial[17] = {};
    char userName[17] = {};
};

size_t EncodeDiscoveryCmd(uint8_t* out, size_t capacity, uint16_t reqId);
size_t EncodeDiscoveryAck(uint8_t* out, size_t capacity, uint16_t ackId,
                          const DeviceIdentity& identity);
bool ParseDiscoveryAck(const uint8_t* payload, size_t length, DeviceIdentity& identity);

// READREG: `count` addresses (1..kMaxReadRegAddresses) in, as many values out.
size_t EncodeReadRegCmd(uint8_t* out, size_t capacity, uint16_t reqId, const uint32_t* addresses,
                        size_t count);
bool ParseReadRegCmd(const uint8_t* payload, size_t length, uint32_t* addresses, size_t maxCount,
                     size_t& count);
size_t EncodeReadRegAck(uint8_t* out, size_t capacity, uint16_t ackId, uint16_t status,
                        const uint32_t* values, size_t count);
bool ParseReadRegAck(const uint8_t* payload, size_t length, uint32_t* values, size_t maxCount,
                     size_t& count);

// WRITEREG: `count` address/value pairs (1..kMaxWriteRegPairs); the ack
// carries how many were written before a failure.
size_t EncodeWriteRegCmd(uint8_t* out, size_t capacity, uint16_t reqId, const uint32_t* addresses,
                         const uint32_t* values, size_t count);
bool ParseWriteRegCmd(const uint8_t* payload, size_t length, uint32_t* addresses, uint32_t* values,
                      size_t maxCount, size_t& count);
size_t EncodeWriteRegAck(uint8_t* out, size_t capacity, uint16_t ackId, uint16_t status,
                         uint16_t index);
bool ParseWriteRegAck(const uint8_t* payload, size_t length, uint16_t& index);

// PACKETRESEND (standard ids, 12-byte payload; never acknowledged).
struct ResendRequest {
    uint16_t channel = 0;
    uint16_t blockId = 0;
    uint32_t firstPacket = 0; // 24 bits
    uint32_t lastPacket = 0;  // 24 bits, >= firstPacket
};
size_t EncodePacketResendCmd(uint8_t* out, size_t capacity, uint16_t reqId,
                             const ResendRequest& request);
bool ParsePacketResendCmd(const uint8_t* payload, size_t length, ResendRequest& request);

// --- GVSP -------------------------------------------------------------------

constexpr size_t kGvspHeaderSize = 8;
constexpr size_t kLeaderSize = 44;  // header + 36
constexpr size_t kTrailerSize = 16; // header + 8
// Packet size counts IP (20) + UDP (8) + GVSP header (8): 1500 -> 1464 data bytes.
constexpr size_t kPacketOverhead = 36;
constexpr uint32_t kMaxPacketId = 0xFFFFFF;

enum PacketFormat : uint8_t {
    kFormatLeader = 1,
    kFormatTrailer = 2,
    kFormatPayload = 3,
};

constexpr uint16_t kPayloadTypeImage = 0x0001;

// Pixel formats that the stream carries.
enum PixelFormat : uint32_t {
    kMono8 = 0x01080001,
    kMono16 = 0x01100007,
    kBayerRG8 = 0x01080009,
    kBayerRG16 = 0x0110002F,
};
// Bytes per pixel on the wire from the format's occupied-bits field, 0 when
// that field is not a whole number of bytes.
uint32_t PixelFormatBytes(uint32_t pixelFormat);

struct GvspHeader {
    uint16_t status = 0;
    uint16_t blockId = 0;
    uint8_t format = 0;    // 7 bits; extended ids are refused
    uint32_t packetId = 0; // 24 bits
};

struct ImageLeader {
    uint16_t payloadType = kPayloadTypeImage;
    uint64_t timestamp = 0;
    uint32_t pixelFormat = kMono8;
    uint32_t sizeX = 0;
    uint32_t sizeY = 0;
    uint32_t offsetX = 0;
    uint32_t offsetY = 0;
    uint16_t paddingX = 0;
    uint16_t paddingY = 0;
};

struct ImageTrailer {
    uint16_t payloadType = kPayloadTypeImage;
    uint32_t sizeY = 0;
};

// Any GVSP packet in standard-id mode; `body` points after the 8-byte header.
bool ParseGvsp(const uint8_t* data, size_t size, GvspHeader& header, const uint8_t*& body,
               size_t& bodyLength);
bool ParseLeader(const uint8_t* body, size_t length, ImageLeader& leader);
bool ParseTrailer(const uint8_t* body, size_t length, ImageTrailer& trailer);

size_t EncodeLeader(uint8_t* out, size_t capacity, uint16_t blockId, const ImageLeader& leader);
size_t EncodePayload(uint8_t* out, size_t capacity, uint16_t blockId, uint32_t packetId,
                     const uint8_t* data, size_t length, uint16_t status = kSuccess);
size_t EncodeTrailer(uint8_t* out, size_t capacity, uint16_t blockId, uint32_t packetId,
                     const ImageTrailer& trailer);

} // namespace gvwire
