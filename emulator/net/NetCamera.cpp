// One emulated camera on the network: control channel and stream channel.
#include "emulator/net/NetCamera.h"

#include "emulator/AddressMap.h"
#include "emulator/TestImage.h"

#include <arpa/inet.h>
#include <poll.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace Emulator {

using namespace gvwire;

namespace {

// The IIDC space answers at the low 32 bits of its addresses.
constexpr uint32_t kIidcWireBase = 0xF0000000u;
constexpr uint64_t kIidcHighBits = 0xFFFF00000000ull;

constexpr uint32_t kRegSubnet = 0x0034;
constexpr uint32_t kRegGateway = 0x0044;
constexpr uint32_t kRegManufacturerInfo = 0x00A8;
constexpr uint32_t kRegTickHigh = 0x093C;
constexpr uint32_t kRegTickLow = 0x0940;
constexpr uint32_t kRegTimestampControl = 0x0944;
constexpr uint32_t kRegLatchedHigh = 0x0948;
constexpr uint32_t kRegLatchedLow = 0x094C;
constexpr uint32_t kTimestampLatch = 0x2;
constexpr uint32_t kTicksPerSecond = 1000000000; // timestamps in nanoseconds

// Packet sizes the stream accepts (IP, UDP and GVSP headers included).
constexpr uint32_t kMinPacketSize = 576;
constexpr uint32_t kMaxPacketSize = 9000;

constexpr int kPollMs = 20;               // longest a control thread sleeps between checks
constexpr size_t kMaxPeers = 256;         // remembered last acknowledges
constexpr uint32_t kMaxUnavailable = 256; // error packets answered per resend request

// The bootstrap registers this camera has; strings span several quadlets.
// Writable 0 = read-only (WRITE_PROTECT on a write).
struct BootstrapRow {
    uint32_t address;
    uint32_t quadlets;
    uint32_t writable;
    const char* name;
};

// clang-format off
const BootstrapRow kBootstrapRows[] = {
    {kRegVersion,           1,  0,          "Version"},
    {kRegDeviceMode,        1,  0,          "Device mode"},
    {kRegMacHigh,           1,  0,          "MAC address high"},
    {kRegMacLow,            1,  0,          "MAC address low"},
    {0x0010,                1,  0,          "Supported IP configuration"},
    {0x0014,                1,  0,          "Current IP configuration"},
    {kRegCurrentIp,         1,  0,          "Current IP address"},
    {kRegSubnet,            1,  0,          "Current subnet mask"},
    {kRegGateway,           1,  0,          "Current default gateway"},
    {kRegManufacturerName,  8,  0,          "Manufacturer name"},
    {kRegModelName,         8,  0,          "Model name"},
    {kRegDeviceVersion,     8,  0,          "Device version"},
    {kRegManufacturerInfo,  12, 0,          "Manufacturer-specific information"},
    {kRegSerialNumber,      4,  0,          "Serial number"},
    {kRegUserName,          4,  0xFFFFFFFF, "User-defined name"},
    {0x0600,                1,  0,          "Number of network interfaces"},
    {0x0900,                1,  0,          "Number of message channels"},
    {kRegStreamChannels,    1,  0,          "Number of stream channels"},
    {0x0908,                1,  0,          "Number of action signals"},
    {0x092C,                1,  0,          "Stream channel capabilities"},
    {0x0930,                1,  0,          "Message channel capabilities"},
    {kRegGvcpCapability,    1,  0,          "GVCP capability"},
    {kRegHeartbeatTimeout,  1,  0xFFFFFFFF, "Heartbeat timeout"},
    {kRegTickHigh,          1,  0,          "Timestamp tick frequency high"},
    {kRegTickLow,           1,  0,          "Timestamp tick frequency low"},
    {kRegTimestampControl,  1,  0x3,        "Timestamp control"},
    {kRegLatchedHigh,       1,  0,          "Timestamp value high"},
    {kRegLatchedLow,        1,  0,          "Timestamp value low"},
    {0x0950,                1,  0,          "Discovery ACK delay"},
    {0x0954,                1,  0,          "GVCP configuration"},
    {kRegCcp,               1,  0x3,        "Control channel privilege"},
    {kRegScp0,              1,  0x0000FFFF, "Stream channel port 0"},
    {kRegScps0,             1,  0x4000FFFF, "Stream channel packet size 0"},
    {kRegScpd0,             1,  0xFFFFFFFF, "Stream channel packet delay 0"},
    {kRegScda0,             1,  0xFFFFFFFF, "Stream channel destination address 0"},
    {kRegScsp0,             1,  0,          "Stream channel source port 0"},
    {kRegScc0,              1,  0,          "Stream channel capability 0"},
    {kRegSccfg0,            1,  0,          "Stream channel configuration 0"},
};
// clang-format on

const BootstrapRow* FindRow(uint32_t address) {
    for (const BootstrapRow& row : kBootstrapRows) {
        if (address >= row.address && address < row.address + 4 * row.quadlets) {
            return &row;
        }
    }
    return nullptr;
}

// Pixel format on the wire for an IIDC colour coding and Bayer tile
// (COLOR_FILTER_ID 0 RGGB, 1 GBRG, 2 GRBG, 3 BGGR); 0 when not streamable.
uint32_t PixelFormatOf(const FrameInfo& frame) {
    static const uint32_t kBayer8[4] = {0x01080009, 0x0108000A, 0x01080008, 0x0108000B};
    static const uint32_t kBayer16[4] = {0x0110002F, 0x01100030, 0x0110002E, 0x01100031};
    switch (frame.colorCoding) {
    case kMono8:
        return gvwire::kMono8;
    case kMono16:
        return gvwire::kMono16;
    case kRaw8:
        return kBayer8[frame.colorFilter & 3];
    case kRaw16:
        return kBayer16[frame.colorFilter & 3];
    default:
        return 0;
    }
}

uint32_t ClampPacketSize(uint32_t size) {
    return std::min(std::max(size, kMinPacketSize), kMaxPacketSize);
}

void CopyText(char* out, size_t capacity, const char* text) {
    std::snprintf(out, capacity, "%s", text != nullptr ? text : "");
}

} // namespace

NetCamera::NetCamera(const ModelSpec& model, unsigned index, uint32_t address,
                     const NetOptions& options, int wakeFd, const std::atomic<bool>& stop,
                     Clock::time_point epoch)
    : address_(address), options_(options), wakeFd_(wakeFd), stop_(stop), epoch_(epoch),
      registers_(model), faults_(options.seed + index) {
    faults_.SetOptions(options.faults);
    char serial[17];
    std::snprintf(serial, sizeof serial, "%08X", unsigned(model.eui64 & 0xFFFFFFFFu));
    serial_ = serial;
    identity_.mac[0] = 0x02; // locally administered, derived from the address
    identity_.mac[2] = uint8_t(address >> 24);
    identity_.mac[3] = uint8_t(address >> 16);
    identity_.mac[4] = uint8_t(address >> 8);
    identity_.mac[5] = uint8_t(address);
    identity_.ip = address;
    identity_.subnet = 0xFF000000u;
    CopyText(identity_.manufacturer, sizeof identity_.manufacturer, model.vendorName);
    CopyText(identity_.model, sizeof identity_.model, model.modelName);
    CopyText(identity_.deviceVersion, sizeof identity_.deviceVersion, model.versionText);
    CopyText(identity_.manufacturerInfo, sizeof identity_.manufacturerInfo, model.key);
    CopyText(identity_.serial, sizeof identity_.serial, serial_.c_str());
    BuildBootstrap();
}

NetCamera::~NetCamera() {
    Join();
}

// --- Bootstrap registers ----------------------------------------------------

void NetCamera::BuildBootstrap() {
    for (const BootstrapRow& row : kBootstrapRows) {
        for (uint32_t q = 0; q < row.quadlets; ++q) {
            bootstrap_[row.address + 4 * q] = 0;
        }
    }
    auto text = [this](uint32_t address, uint32_t quadlets, const char* value) {
        const size_t n = std::min(std::strlen(value), size_t(4 * quadlets));
        for (size_t i = 0; i < n; ++i) {
            uint32_t& q = bootstrap_[address + uint32_t(i & ~size_t(3))];
            q |= uint32_t(uint8_t(value[i])) << (24 - 8 * (i & 3));
        }
    };
    bootstrap_[kRegVersion] = uint32_t(identity_.versionMajor) << 16 | identity_.versionMinor;
    bootstrap_[kRegDeviceMode] = identity_.deviceMode;
    bootstrap_[kRegMacHigh] = uint32_t(identity_.mac[0]) << 8 | identity_.mac[1];
    bootstrap_[kRegMacLow] = Get32(identity_.mac + 2);
    bootstrap_[0x0010] = identity_.ipConfigSupported;
    bootstrap_[0x0014] = identity_.ipConfigCurrent;
    bootstrap_[kRegCurrentIp] = identity_.ip;
    bootstrap_[kRegSubnet] = identity_.subnet;
    text(kRegManufacturerName, 8, identity_.manufacturer);
    text(kRegModelName, 8, identity_.model);
    text(kRegDeviceVersion, 8, identity_.deviceVersion);
    text(kRegManufacturerInfo, 12, identity_.manufacturerInfo);
    text(kRegSerialNumber, 4, identity_.serial);
    bootstrap_[0x0600] = 1;
    bootstrap_[kRegStreamChannels] = 1;
    bootstrap_[kRegGvcpCapability] =
        0x80000000u | 0x40000000u | kCapabilityPacketResend | kCapabilityConcatenation;
    bootstrap_[kRegHeartbeatTimeout] = kHeartbeatDefaultMs;
    bootstrap_[kRegTickLow] = kTicksPerSecond;
    bootstrap_[kRegScps0] = 1500;
}

bool NetCamera::Bootstrap(uint32_t address, uint32_t& value) const {
    const auto it = bootstrap_.find(address);
    if (it == bootstrap_.end()) {
        return false;
    }
    value = it->second;
    return true;
}

// --- Sockets and threads ----------------------------------------------------

bool NetCamera::Bind(uint16_t port, std::string& error) {
    if (!control_.Bind(address_, port, error) || !stream_.Bind(address_, 0, error)) {
        Unbind();
        return false;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    bootstrap_[kRegScsp0] = stream_.Port();
    return true;
}

void NetCamera::Unbind() {
    control_.Close();
    stream_.Close();
}

void NetCamera::Start() {
    serving_ = true;
    controlOpen_ = true;
    controlThread_ = std::thread(&NetCamera::ControlLoop, this);
    streamThread_ = std::thread(&NetCamera::StreamLoop, this);
}

void NetCamera::Join() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        serving_ = false;
    }
    wake_.notify_all();
    if (controlThread_.joinable()) {
        controlThread_.join();
    }
    if (streamThread_.joinable()) {
        streamThread_.join();
    }
}

NetCounters NetCamera::Counters() const {
    NetCounters c;
    c.commands = commands_;
    c.framesSent = framesSent_;
    c.packetsSent = packetsSent_;
    c.packetsDropped = packetsDropped_;
    c.resendRequests = resendRequests_;
    c.resendsServed = resendsServed_;
    c.unavailableSent = unavailableSent_;
    c.acksDropped = acksDropped_;
    c.heartbeatExpiries = heartbeatExpiries_;
    return c;
}

// --- Control channel --------------------------------------------------------

void NetCamera::ControlLoop() {
    uint8_t buffer[2048];
    while (!stop_ && serving_) {
        int timeout = kPollMs;
        if (!pendingAcks_.empty()) {
            const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(
                pendingAcks_.front().due - Clock::now());
            timeout = int(std::max<int64_t>(0, std::min<int64_t>(timeout, wait.count() + 1)));
        }
        pollfd fds[2] = {{control_.Fd(), POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        poll(fds, 2, timeout);
        // A bounded batch per wake-up, so the time checks below keep running
        // under a flood.
        for (int i = 0; i < 64 && !stop_; ++i) {
            sockaddr_in peer{};
            const long n = control_.Receive(buffer, sizeof buffer, peer);
            if (n < 0) {
                break;
            }
            if (size_t(n) <= sizeof buffer) {
                HandleDatagram(buffer, size_t(n),
                               Peer{ntohl(peer.sin_addr.s_addr), ntohs(peer.sin_port)});
            }
        }
        SendDueAcks();
        CheckHeartbeat();
    }
    // A camera that stopped serving refuses further commands.
    control_.Close();
    controlOpen_ = false;
}

void NetCamera::HandleDatagram(const uint8_t* data, size_t size, const Peer& peer) {
    CommandHeader header{};
    const uint8_t* payload = nullptr;
    if (!ParseCommand(data, size, header, payload)) {
        return; // not a command of ours: no req_id to answer to
    }
    ++commands_;
    if (header.command == kPacketResendCmd) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (controlled_ && peer == controller_) {
                lastHeartbeat_ = Clock::now();
            }
        }
        ResendRequest request;
        if (ParsePacketResendCmd(payload, header.length, request)) {
            ServeResend(request);
        }
        return;
    }
    std::vector<uint8_t> ack;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (controlled_ && peer == controller_) {
            lastHeartbeat_ = Clock::now();
        }
        const auto last = lastAcks_.find(peer);
        if (last != lastAcks_.end() && last->second.reqId == header.reqId) {
            ack = last->second.bytes; // a retry: answered again, not executed twice
        } else {
            ack = Execute(header, payload, peer);
            if (lastAcks_.size() >= kMaxPeers && last == lastAcks_.end()) {
                lastAcks_.erase(lastAcks_.begin());
            }
            lastAcks_[peer] = LastAck{header.reqId, ack};
        }
    }
    wake_.notify_all();
    if ((header.flags & kFlagAckRequired) != 0 && !ack.empty()) {
        QueueAck(peer, std::move(ack));
    }
}

std::vector<uint8_t> NetCamera::Execute(const CommandHeader& header, const uint8_t* payload,
                                        const Peer& peer) {
    uint8_t out[kMaxMessage];
    size_t n = 0;
    uint32_t addresses[kMaxReadRegAddresses];
    uint32_t values[kMaxReadRegAddresses];
    size_t count = 0;
    switch (header.command) {
    case kDiscoveryCmd:
        n = EncodeDiscoveryAck(out, sizeof out, header.reqId, identity_);
        break;
    case kReadRegCmd: {
        if (!ParseReadRegCmd(payload, header.length, addresses, kMaxReadRegAddresses, count)) {
            n = EncodeReadRegAck(out, sizeof out, header.reqId, kInvalidParameter, nullptr, 0);
            break;
        }
        uint16_t status = kSuccess;
        size_t done = 0;
        for (; done < count; ++done) {
            status = ReadRegister(addresses[done], values[done]);
            if (status != kSuccess) {
                break;
            }
        }
        // On a failure the values read before it, then the status.
        n = EncodeReadRegAck(out, sizeof out, header.reqId, status, values, done);
        break;
    }
    case kWriteRegCmd: {
        if (!ParseWriteRegCmd(payload, header.length, addresses, values, kMaxWriteRegPairs,
                              count)) {
            n = EncodeWriteRegAck(out, sizeof out, header.reqId, kInvalidParameter, 0);
            break;
        }
        uint16_t status = kSuccess;
        size_t done = 0;
        for (; done < count; ++done) {
            status = WriteRegister(addresses[done], values[done], peer);
            if (status != kSuccess) {
                break;
            }
        }
        n = EncodeWriteRegAck(out, sizeof out, header.reqId, status, uint16_t(done));
        break;
    }
    default: {
        const AckHeader ack{kNotImplemented, uint16_t(header.command + 1), 0, header.reqId};
        n = EncodeAck(out, sizeof out, ack, nullptr);
        break;
    }
    }
    return std::vector<uint8_t>(out, out + n);
}

uint16_t NetCamera::ReadRegister(uint32_t address, uint32_t& value) {
    if (address % 4 != 0) {
        return kBadAlignment;
    }
    if (address >= kIidcWireBase) {
        uint8_t quadlet[4];
        const Status status = registers_.Read(kIidcHighBits | address, quadlet, 4);
        if (status == Status::Ok) {
            value = Get32(quadlet);
            return kSuccess;
        }
        return status == Status::Unmapped ? kInvalidAddress : kGenericError;
    }
    return Bootstrap(address, value) ? kSuccess : kInvalidAddress;
}

uint16_t NetCamera::WriteRegister(uint32_t address, uint32_t value, const Peer& peer) {
    if (address % 4 != 0) {
        return kBadAlignment;
    }
    if (address == kRegCcp) {
        return WriteCcp(value, peer);
    }
    if (controlled_ && !(peer == controller_)) {
        return kAccessDenied;
    }
    if (address >= kIidcWireBase) {
        uint8_t quadlet[4];
        Put32(quadlet, value);
        const Status status = registers_.Write(kIidcHighBits | address, quadlet, 4);
        if (status == Status::Ok) {
            return kSuccess;
        }
        return status == Status::Unmapped ? kInvalidAddress : kGenericError;
    }
    const BootstrapRow* row = FindRow(address);
    if (row == nullptr) {
        return kInvalidAddress;
    }
    if (row->writable == 0) {
        return kWriteProtect;
    }
    switch (address) {
    case kRegHeartbeatTimeout:
        value = std::max(value, kHeartbeatMinimumMs);
        break;
    case kRegScps0:
        value = (value & ~kScpsSizeMask) | ClampPacketSize(value & kScpsSizeMask);
        break;
    case kRegScda0:
        // The stream never leaves this machine.
        if (value != 0 && !IsLoopback(value)) {
            return kInvalidParameter;
        }
        break;
    case kRegTimestampControl:
        if (value & kTimestampLatch) {
            const uint64_t now =
                uint64_t(std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - epoch_)
                             .count());
            bootstrap_[kRegLatchedHigh] = uint32_t(now >> 32);
            bootstrap_[kRegLatchedLow] = uint32_t(now);
        }
        return kSuccess; // self-clearing: reads 0
    default:
        break;
    }
    uint32_t& stored = bootstrap_[address];
    stored = (stored & ~row->writable) | (value & row->writable);
    return kSuccess;
}

uint16_t NetCamera::WriteCcp(uint32_t value, const Peer& peer) {
    if (controlled_ && !(peer == controller_)) {
        return kAccessDenied;
    }
    if (value & (kCcpControl | kCcpExclusive)) {
        if (faults_.Options().denyControl) {
            return kAccessDenied;
        }
        controlled_ = true;
        controller_ = peer;
        lastHeartbeat_ = Clock::now();
        bootstrap_[kRegCcp] = value & (kCcpControl | kCcpExclusive);
        return kSuccess;
    }
    if (controlled_) {
        ReleaseControl();
    }
    return kSuccess;
}

// Without a controller the stream channel closes and acquisition stops, so
// the next controller finds an idle camera.
void NetCamera::ReleaseControl() {
    controlled_ = false;
    controller_ = Peer{0, 0};
    bootstrap_[kRegCcp] = 0;
    bootstrap_[kRegScp0] = 0;
    registers_.WriteQuadlet(kCommandBase + Cmd::kIsoEnable, 0);
    registers_.WriteQuadlet(kCommandBase + Cmd::kOneShot, 0);
}

void NetCamera::CheckHeartbeat() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!controlled_ || Clock::now() - lastHeartbeat_ <=
                                std::chrono::milliseconds(bootstrap_[kRegHeartbeatTimeout])) {
            return;
        }
        ReleaseControl();
        ++heartbeatExpiries_;
    }
    wake_.notify_all();
}

void NetCamera::QueueAck(const Peer& peer, std::vector<uint8_t> bytes) {
    const FaultOptions faults = faults_.Options();
    if (faults_.Chance(faults.dropAck)) {
        ++acksDropped_;
        return;
    }
    if (faults.ackDelayMs == 0) {
        control_.SendTo(bytes.data(), bytes.size(), peer.address, peer.port);
        return;
    }
    pendingAcks_.push_back(PendingAck{Clock::now() + std::chrono::milliseconds(faults.ackDelayMs),
                                      peer, std::move(bytes)});
}

void NetCamera::SendDueAcks() {
    const auto now = Clock::now();
    while (!pendingAcks_.empty() && pendingAcks_.front().due <= now) {
        const PendingAck& ack = pendingAcks_.front();
        control_.SendTo(ack.bytes.data(), ack.bytes.size(), ack.peer.address, ack.peer.port);
        pendingAcks_.pop_front();
    }
}

void NetCamera::ServeResend(const ResendRequest& request) {
    Destination destination;
    if (streamHalted_ || !StreamDestination(destination)) {
        return;
    }
    std::shared_ptr<SentBlock> block;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& b : ring_) {
            if (b->blockId == request.blockId) {
                block = b;
            }
        }
    }
    ++resendRequests_;
    uint32_t unavailableFrom = std::max<uint32_t>(request.firstPacket, 1);
    if (block) {
        const uint32_t lastId = uint32_t(block->packets.size() - 1);
        for (uint32_t id = request.firstPacket; id <= std::min(request.lastPacket, lastId); ++id) {
            stream_.SendTo(block->packets[id].data(), block->packets[id].size(),
                           destination.address, destination.port);
            ++resendsServed_;
        }
        unavailableFrom = std::max(unavailableFrom, lastId + 1);
    }
    // What is gone (or never was) is answered as unavailable, a bounded number.
    uint8_t packet[kGvspHeaderSize];
    for (uint32_t id = unavailableFrom;
         id <= request.lastPacket && id < unavailableFrom + kMaxUnavailable; ++id) {
        const size_t n = EncodePayload(packet, sizeof packet, request.blockId, id, nullptr, 0,
                                       kPacketUnavailable);
        if (n == 0) {
            break;
        }
        stream_.SendTo(packet, n, destination.address, destination.port);
        ++unavailableSent_;
    }
}

// --- Stream channel ---------------------------------------------------------

bool NetCamera::StreamDestination(Destination& destination) {
    std::lock_guard<std::mutex> lock(mutex_);
    destination.port = uint16_t(bootstrap_[kRegScp0] & kScpPortMask);
    destination.address = bootstrap_[kRegScda0];
    destination.packetSize = ClampPacketSize(bootstrap_[kRegScps0] & kScpsSizeMask);
    return destination.port != 0 && IsLoopback(destination.address);
}

void NetCamera::StreamLoop() {
    auto due = Clock::now();
    while (!stop_ && serving_) {
        Destination destination;
        std::optional<FrameInfo> frame;
        // The channel must be open before a frame is taken, so a one-shot
        // waits for its receiver.
        if (!streamHalted_ && StreamDestination(destination)) {
            frame = registers_.TakeFrame();
        }
        if (!frame) {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait_for(lock, std::chrono::milliseconds(5));
            continue;
        }
        if (!options_.maxRate) {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait_until(lock, due, [this] { return stop_ || !serving_; });
        }
        const auto start = Clock::now();
        SendFrame(*frame, destination);
        if (!options_.maxRate) {
            const double period = registers_.CurrentFramePeriod();
            due = std::max(due, start) + std::chrono::duration_cast<Clock::duration>(
                                             std::chrono::duration<double>(period));
        }
    }
}

std::shared_ptr<NetCamera::SentBlock> NetCamera::BuildBlock(const FrameInfo& frame,
                                                            uint32_t packetSize) {
    const uint32_t pixelFormat = PixelFormatOf(frame);
    const std::vector<uint8_t> image = StreamImage(frame);
    if (pixelFormat == 0 || image.empty()) {
        return nullptr;
    }
    const size_t perPacket = packetSize - kPacketOverhead;
    const size_t payloadPackets = (image.size() + perPacket - 1) / perPacket;
    if (payloadPackets + 1 > kMaxPacketId) {
        return nullptr;
    }
    auto block = std::make_shared<SentBlock>();
    block->blockId = nextBlockId_;
    nextBlockId_ = nextBlockId_ == 0xFFFF ? 1 : uint16_t(nextBlockId_ + 1); // 0 is never used
    block->packets.reserve(payloadPackets + 2);

    ImageLeader leader;
    leader.timestamp = uint64_t(
        std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - epoch_).count());
    leader.pixelFormat = pixelFormat;
    leader.sizeX = frame.width;
    leader.sizeY = frame.height;
    leader.offsetX = frame.left;
    leader.offsetY = frame.top;
    std::vector<uint8_t> packet(kLeaderSize);
    EncodeLeader(packet.data(), packet.size(), block->blockId, leader);
    block->packets.push_back(std::move(packet));
    for (size_t i = 0; i < payloadPackets; ++i) {
        const size_t offset = i * perPacket;
        const size_t length = std::min(perPacket, image.size() - offset);
        packet.assign(kGvspHeaderSize + length, 0);
        EncodePayload(packet.data(), packet.size(), block->blockId, uint32_t(i + 1),
                      image.data() + offset, length);
        block->packets.push_back(std::move(packet));
    }
    packet.assign(kTrailerSize, 0);
    EncodeTrailer(packet.data(), packet.size(), block->blockId, uint32_t(payloadPackets + 1),
                  ImageTrailer{kPayloadTypeImage, frame.height});
    block->packets.push_back(std::move(packet));
    return block;
}

bool NetCamera::SendPacket(const std::vector<uint8_t>& packet, const Destination& destination) {
    ++packetsSent_;
    return stream_.SendTo(packet.data(), packet.size(), destination.address, destination.port);
}

void NetCamera::SendFrame(const FrameInfo& frame, const Destination& destination) {
    const std::shared_ptr<SentBlock> block = BuildBlock(frame, destination.packetSize);
    if (!block) {
        return;
    }
    // In the ring before the first packet leaves: a receiver may ask for a
    // resend while the frame is still being sent.
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ring_.push_back(block);
        while (ring_.size() > std::max(1u, options_.resendRing)) {
            ring_.pop_front();
        }
    }
    const FaultOptions faults = faults_.Options();
    const uint64_t ordinal = ++framesStarted_;
    const bool cut = faults.stopFrame != 0 && ordinal == faults.stopFrame;
    const std::vector<uint8_t>* held = nullptr; // a packet sent late, after the next one
    for (size_t i = 0; i < block->packets.size(); ++i) {
        if (cut && i >= faults.stopAfterPackets) {
            streamHalted_ = true;
            held = nullptr;
            break;
        }
        if (i % 64 == 0) {
            // Stop, heartbeat expiry or a closed channel end the frame early.
            Destination now;
            if (stop_ || !serving_ || !StreamDestination(now) || now.port != destination.port ||
                now.address != destination.address) {
                held = nullptr;
                break;
            }
        }
        const std::vector<uint8_t>& packet = block->packets[i];
        if (faults_.Chance(faults.dropPacket)) {
            ++packetsDropped_;
            continue;
        }
        if (held == nullptr && faults_.Chance(faults.reorderPacket)) {
            held = &packet;
            continue;
        }
        SendPacket(packet, destination);
        if (faults_.Chance(faults.duplicatePacket)) {
            SendPacket(packet, destination);
        }
        if (held != nullptr) {
            SendPacket(*held, destination);
            held = nullptr;
        }
    }
    if (held != nullptr) {
        SendPacket(*held, destination);
    }
    const uint64_t sent = ++framesSent_;
    if (faults.exitAfterFrames != 0 && sent >= faults.exitAfterFrames) {
        serving_ = false;
    }
}

} // namespace Emulator
