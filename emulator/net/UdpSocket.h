// A UDP/IPv4 socket bound to a loopback address, closed on destruction.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include <netinet/in.h>

namespace Emulator {

// True for 127.0.0.0/8 (host order).
constexpr bool IsLoopback(uint32_t address) {
    return (address >> 24) == 127;
}

std::string AddressText(uint32_t address); // "127.0.0.3"

class UdpSocket {
public:
    UdpSocket() = default;
    ~UdpSocket() { Close(); }
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;

    // Binds a non-blocking socket to address:port (host order; port 0 =
    // ephemeral). False with `error` set when the address is not loopback or
    // the system refuses.
    bool Bind(uint32_t address, uint16_t port, std::string& error);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }
    int Fd() const { return fd_; }
    uint16_t Port() const { return port_; }

    // One datagram to a loopback address (anything else is refused); false
    // when it could not be sent.
    bool SendTo(const void* data, size_t size, uint32_t address, uint16_t port) const;
    // One waiting datagram, or -1 when none is waiting. Answers the
    // datagram's full size, which exceeds `capacity` when it was cut.
    long Receive(void* buffer, size_t capacity, sockaddr_in& peer) const;

private:
    int fd_ = -1;
    uint16_t port_ = 0;
};

} // namespace Emulator
