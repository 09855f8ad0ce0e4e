// Control channel of one camera: commands with retries, and the heartbeat.
#include "gtrans/Device.h"

#include <arpa/inet.h>
#include <errno.h>
#include <poll.h>
#include <stdio.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <map>

#include "gtrans/Status.h"
#include "gtrans/Wire.h"

namespace gtrans {
namespace {

using Clock = std::chrono::steady_clock;

struct PortTable {
    std::mutex mutex;
    std::map<uint32_t, uint16_t> ports;
};

PortTable& Ports() {
    static PortTable* table = new PortTable;
    return *table;
}

std::string Hex(uint32_t value) {
    char text[16];
    snprintf(text, sizeof text, "0x%08X", unsigned(value));
    return text;
}

std::string RegisterList(const uint32_t* addresses, uint32_t count) {
    std::string text = "register " + Hex(addresses[0]);
    if (count > 1)
        text += " (and " + std::to_string(count - 1) + " more)";
    return text;
}

} // namespace

bool ParseLoopbackAddress(const char* text, size_t length, uint32_t& address) {
    uint32_t parts[4];
    size_t part = 0, i = 0;
    while (part < 4) {
        if (i >= length || text[i] < '0' || text[i] > '9')
            return false;
        uint32_t value = 0;
        size_t digits = 0;
        while (i < length && text[i] >= '0' && text[i] <= '9' && digits < 4) {
            value = value * 10 + uint32_t(text[i] - '0');
            ++i;
            ++digits;
        }
        if (value > 255 || digits > 3)
            return false;
        parts[part++] = value;
        if (part < 4) {
            if (i >= length || text[i] != '.')
                return false;
            ++i;
        }
    }
    if (i != length || parts[0] != 127)
        return false;
    address = (parts[0] << 24) | (parts[1] << 16) | (parts[2] << 8) | parts[3];
    return true;
}

std::string AddressText(uint32_t address) {
    char text[20];
    snprintf(text, sizeof text, "%u.%u.%u.%u", unsigned(address >> 24),
             unsigned(address >> 16 & 255), unsigned(address >> 8 & 255), unsigned(address & 255));
    return text;
}

uint16_t KnownPort(uint32_t address) {
    PortTable& table = Ports();
    std::lock_guard<std::mutex> lock(table.mutex);
    auto it = table.ports.find(address);
    return it == table.ports.end() ? kDefaultPort : it->second;
}

void RememberPort(uint32_t address, uint16_t port) {
    PortTable& table = Ports();
    std::lock_guard<std::mutex> lock(table.mutex);
    table.ports[address] = port;
}

Device::Device(uint32_t address, uint16_t port) : address_(address), port_(port) {}

Device::~Device() {
    StopHeartbeat();
    if (socket_ >= 0)
        close(socket_);
}

std::string Device::Describe() const {
    std::string text = "camera " + AddressText(address_);
    if (port_ != kDefaultPort)
        text += ":" + std::to_string(port_);
    if (!serial_.empty())
        text += " (" + serial_ + ")";
    return text;
}

uint32_t Device::Open(const std::string& expectedSerial) {
    socket_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (socket_ < 0)
        return Fail(kSocketError, std::string("socket: ") + strerror(errno));
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(port_);
    peer.sin_addr.s_addr = htonl(address_);
    if (connect(socket_, reinterpret_cast<sockaddr*>(&peer), sizeof peer) != 0)
        return Fail(kSocketError, "connect to " + Describe() + ": " + strerror(errno));

    const uint32_t ccp = gvwire::kRegCcp, control = gvwire::kCcpControl;
    uint32_t status = WriteRegs(&ccp, &control, 1);
    if (status != 0)
        return status;

    // Serial number (16 bytes), heartbeat time-out and capabilities in one read.
    uint32_t addresses[6], values[6];
    for (int i = 0; i < 4; ++i)
        addresses[i] = gvwire::kRegSerialNumber + 4 * uint32_t(i);
    addresses[4] = gvwire::kRegHeartbeatTimeout;
    addresses[5] = gvwire::kRegGvcpCapability;
    status = ReadRegs(addresses, values, 6);
    if (status == 0) {
        char serial[17] = {};
        for (int i = 0; i < 4; ++i)
            gvwire::Put32(reinterpret_cast<uint8_t*>(serial) + 4 * i, values[i]);
        serial_ = serial;
        heartbeatMs_ = values[4] ? values[4] : gvwire::kHeartbeatDefaultMs;
        capabilities_ = values[5];
        if (!expectedSerial.empty() && expectedSerial != serial_)
            status = Fail(kWrongDevice, Describe() + ", not " + expectedSerial);
    }
    if (status != 0) {
        const uint32_t release = 0;
        WriteRegs(&ccp, &release, 1);
        return status;
    }
    heartbeat_ = std::thread(&Device::Heartbeat, this);
    return 0;
}

uint32_t Device::Close() {
    StopHeartbeat();
    const uint32_t ccp = gvwire::kRegCcp, release = 0;
    return WriteRegs(&ccp, &release, 1);
}

void Device::StopHeartbeat() {
    {
        std::lock_guard<std::mutex> lock(heartbeatMutex_);
        heartbeatStop_ = true;
    }
    heartbeatWake_.notify_all();
    if (heartbeat_.joinable())
        heartbeat_.join();
}

void Device::Heartbeat() {
    // A read of CCP at a quarter of the camera's time-out (at most every
    // 1.5 s, at least 50 ms apart) keeps the privilege with a spare try. The
    // same read fetches the time-out, so a change by anyone is followed.
    std::unique_lock<std::mutex> lock(heartbeatMutex_);
    while (!heartbeatStop_) {
        uint32_t period = heartbeatMs_ / 4;
        period = period < 50 ? 50 : period > 1500 ? 1500 : period;
        if (heartbeatWake_.wait_for(lock, std::chrono::milliseconds(period),
                                    [this] { return heartbeatStop_ || heartbeatChanged_; }) &&
            heartbeatStop_)
            break;
        if (heartbeatChanged_) {
            heartbeatChanged_ = false;
            continue;
        }
        lock.unlock();
        const uint32_t addresses[2] = {gvwire::kRegCcp, gvwire::kRegHeartbeatTimeout};
        uint32_t values[2] = {0, 0};
        const bool read = ReadRegs(addresses, values, 2) == 0;
        lock.lock();
        if (read && values[1] != 0)
            heartbeatMs_ = values[1];
    }
}

void Device::HeartbeatChanged(uint32_t timeoutMs) {
    {
        std::lock_guard<std::mutex> lock(heartbeatMutex_);
        heartbeatMs_ = timeoutMs;
        heartbeatChanged_ = true;
    }
    heartbeatWake_.notify_all();
}

uint32_t Device::Exchange(uint16_t command, const uint8_t* payload, size_t length, uint16_t ack,
                          uint8_t* answer, size_t& answerLength, uint16_t& ackStatus,
                          const std::string& what) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    // One counter for every device of the process: a device opened again on
    // a reused local port never repeats the req_id its predecessor ended
    // with, which a camera would take for a retry and answer with the old
    // acknowledge.
    static std::atomic<uint16_t> nextReqId{0};
    do {
        reqId_ = uint16_t(nextReqId.fetch_add(1) + 1);
    } while (reqId_ == 0);
    uint8_t out[gvwire::kMaxMessage];
    gvwire::CommandHeader header{gvwire::kFlagAckRequired, command, uint16_t(length), reqId_};
    const size_t size = gvwire::EncodeCommand(out, sizeof out, header, payload);
    if (size == 0)
        return Fail(kInvalidArgument, what + ": command does not fit one message");
    for (int attempt = 0; attempt < kCommandTries; ++attempt) {
        if (send(socket_, out, size, 0) < 0) {
            if (errno == ECONNREFUSED)
                return Fail(kUnreachable, what + " on " + Describe());
            return Fail(kSocketError, what + " on " + Describe() + ": " + strerror(errno));
        }
        const auto deadline = Clock::now() + std::chrono::milliseconds(kCommandTryMs);
        for (;;) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now())
                    .count();
            if (left <= 0)
                break;
            pollfd fd{socket_, POLLIN, 0};
            const int ready = poll(&fd, 1, int(left) + 1);
            if (ready < 0 && errno != EINTR)
                return Fail(kSocketError, what + " on " + Describe() + ": " + strerror(errno));
            if (ready <= 0)
                continue;
            uint8_t in[gvwire::kMaxMessage + 64];
            const ssize_t got = recv(socket_, in, sizeof in, MSG_DONTWAIT);
            if (got < 0) {
                if (errno == ECONNREFUSED)
                    return Fail(kUnreachable, what + " on " + Describe());
                continue;
            }
            gvwire::AckHeader ackHeader{};
            const uint8_t* ackPayload = nullptr;
            // Stale, foreign and malformed answers are ignored: only the ack
            // of this very command counts.
            if (!gvwire::ParseAck(in, size_t(got), ackHeader, ackPayload))
                continue;
            if (ackHeader.ackId != reqId_ || ackHeader.ack != ack)
                continue;
            ackStatus = ackHeader.status;
            answerLength = ackHeader.length < answerLength ? ackHeader.length : answerLength;
            if (answerLength)
                memcpy(answer, ackPayload, answerLength);
            return 0;
        }
    }
    return Fail(kTimeout, what + " on " + Describe() + ": no answer after " +
                              std::to_string(kCommandTries) + " tries of " +
                              std::to_string(kCommandTryMs) + " ms");
}

uint32_t Device::ReadRegs(const uint32_t* addresses, uint32_t* values, uint32_t count) {
    uint8_t payload[4 * gvwire::kMaxRegistersPerCall];
    for (uint32_t i = 0; i < count; ++i)
        gvwire::Put32(payload + 4 * i, addresses[i]);
    uint8_t answer[gvwire::kMaxPayload];
    size_t answerLength = sizeof answer;
    uint16_t ackStatus = 0;
    const std::string what = "reading " + RegisterList(addresses, count);
    uint32_t status = Exchange(gvwire::kReadRegCmd, payload, 4 * count, gvwire::kReadRegAck, answer,
                               answerLength, ackStatus, what);
    if (status != 0)
        return status;
    if (ackStatus != gvwire::kSuccess)
        return Fail(AckStatus(ackStatus), what + " of " + Describe());
    // Values reach the caller only from a whole, consistent answer.
    uint32_t parsed[gvwire::kMaxRegistersPerCall];
    size_t got = 0;
    if (!gvwire::ParseReadRegAck(answer, answerLength, parsed, count, got) || got != count)
        return Fail(kBadAnswer, what + " of " + Describe() + ": " + std::to_string(got) +
                                    " values for " + std::to_string(count) + " addresses");
    memcpy(values, parsed, sizeof(uint32_t) * count);
    return 0;
}

uint32_t Device::WriteRegs(const uint32_t* addresses, const uint32_t* values, uint32_t count) {
    uint8_t payload[8 * gvwire::kMaxRegistersPerCall];
    for (uint32_t i = 0; i < count; ++i) {
        gvwire::Put32(payload + 8 * i, addresses[i]);
        gvwire::Put32(payload + 8 * i + 4, values[i]);
    }
    uint8_t answer[gvwire::kMaxPayload];
    size_t answerLength = sizeof answer;
    uint16_t ackStatus = 0;
    const std::string what = "writing " + RegisterList(addresses, count);
    uint32_t status = Exchange(gvwire::kWriteRegCmd, payload, 8 * count, gvwire::kWriteRegAck,
                               answer, answerLength, ackStatus, what);
    if (status != 0)
        return status;
    uint16_t index = 0;
    const bool indexed = gvwire::ParseWriteRegAck(answer, answerLength, index);
    if (ackStatus != gvwire::kSuccess) {
        // The ack's index names the register that failed.
        const uint32_t failed = indexed && index < count ? index : 0;
        std::string detail = "writing register " + Hex(addresses[failed]);
        if (count > 1)
            detail +=
                " (" + std::to_string(failed) + " of " + std::to_string(count) + " written before)";
        return Fail(AckStatus(ackStatus), detail + " of " + Describe());
    }
    // A new heartbeat time-out takes effect for our own heartbeat at once.
    for (uint32_t i = 0; i < count; ++i)
        if (addresses[i] == gvwire::kRegHeartbeatTimeout && values[i] != 0)
            HeartbeatChanged(values[i]);
    if (indexed && index != count)
        return Fail(kBadAnswer, what + " of " + Describe() + ": success for " +
                                    std::to_string(index) + " of " + std::to_string(count));
    return 0;
}

} // namespace gtrans
