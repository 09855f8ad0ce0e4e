// One opened camera: its control channel (one UDP socket connected to the
// camera's GVCP port), the command/acknowledge exchange with retries, and
// the heartbeat thread that keeps the control privilege.
#pragma once

#include <netinet/in.h>
#include <stdint.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace gtrans {

// Time per try and number of tries of a command.
constexpr int kCommandTryMs = 200;
constexpr int kCommandTries = 3;
// The control port unless the enumeration found the camera elsewhere.
constexpr uint16_t kDefaultPort = 61696;

// "a.b.c.d" inside 127.0.0.0/8, as 0xAABBCCDD; false for anything else.
bool ParseLoopbackAddress(const char* text, size_t length, uint32_t& address);
std::string AddressText(uint32_t address);
// The control port where the latest enumeration found a camera, else the default.
uint16_t KnownPort(uint32_t address);
void RememberPort(uint32_t address, uint16_t port);

class Device {
public:
    Device(uint32_t address, uint16_t port);
    ~Device(); // closes the socket; the heartbeat must have been stopped

    // Creates the socket and takes control; then reads the heartbeat time-out,
    // the capabilities and the serial number, and starts the heartbeat.
    uint32_t Open(const std::string& expectedSerial);
    // Stops the heartbeat and gives the control privilege back.
    uint32_t Close();

    uint32_t ReadRegs(const uint32_t* addresses, uint32_t* values, uint32_t count);
    uint32_t WriteRegs(const uint32_t* addresses, const uint32_t* values, uint32_t count);

    uint32_t Address() const { return address_; }
    uint16_t Port() const { return port_; }
    uint32_t Capabilities() const { return capabilities_; }
    // "127.0.0.3 (SN0003)" for status texts.
    std::string Describe() const;

private:
    uint32_t Exchange(uint16_t command, const uint8_t* payload, size_t length, uint16_t ack,
                      uint8_t* answer, size_t& answerLength, uint16_t& ackStatus,
                      const std::string& what);
    void Heartbeat();
    void StopHeartbeat();
    void HeartbeatChanged(uint32_t timeoutMs);

    const uint32_t address_;
    const uint16_t port_;
    int socket_ = -1;
    std::mutex commandMutex_; // one outstanding command; guards the socket and reqId_
    uint16_t reqId_ = 0;
    uint32_t capabilities_ = 0;
    std::string serial_;

    std::mutex heartbeatMutex_;
    std::condition_variable heartbeatWake_;
    bool heartbeatStop_ = false;
    bool heartbeatChanged_ = false;
    uint32_t heartbeatMs_ = 3000; // the camera's heartbeat time-out
    std::thread heartbeat_;
};

} // namespace gtrans
