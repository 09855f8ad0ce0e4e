// Loopback UDP sockets of the network camera.
#include "emulator/net/UdpSocket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace Emulator {

namespace {

// Room for a whole frame at the highest rate on the sending side; the
// receivers size their own buffers.
constexpr int kBufferBytes = 4 << 20;

sockaddr_in Endpoint(uint32_t address, uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(address);
    a.sin_port = htons(port);
    return a;
}

} // namespace

std::string AddressText(uint32_t address) {
    char text[INET_ADDRSTRLEN] = {};
    const in_addr a{htonl(address)};
    inet_ntop(AF_INET, &a, text, sizeof text);
    return text;
}

bool UdpSocket::Bind(uint32_t address, uint16_t port, std::string& error) {
    Close();
    if (!IsLoopback(address)) {
        error = AddressText(address) + " is not a loopback address";
        return false;
    }
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &kBufferBytes, sizeof kBufferBytes);
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &kBufferBytes, sizeof kBufferBytes);
    const sockaddr_in a = Endpoint(address, port);
    sockaddr_in bound{};
    socklen_t length = sizeof bound;
    if (bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length) != 0) {
        error = "bind " + AddressText(address) + ":" + std::to_string(port) + ": " +
                std::strerror(errno);
        close(fd);
        return false;
    }
    fd_ = fd;
    port_ = ntohs(bound.sin_port);
    return true;
}

void UdpSocket::Close() {
    if (fd_ >= 0) {
        close(fd_);
        fd_ = -1;
    }
}

bool UdpSocket::SendTo(const void* data, size_t size, uint32_t address, uint16_t port) const {
    if (fd_ < 0 || !IsLoopback(address) || port == 0) {
        return false;
    }
    const sockaddr_in a = Endpoint(address, port);
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (sendto(fd_, data, size, 0, reinterpret_cast<const sockaddr*>(&a), sizeof a) ==
            static_cast<ssize_t>(size)) {
            return true;
        }
        // A full send buffer drains within microseconds on loopback.
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != ENOBUFS) {
            return false;
        }
        usleep(50);
    }
    return false;
}

long UdpSocket::Receive(void* buffer, size_t capacity, sockaddr_in& peer) const {
    if (fd_ < 0) {
        return -1;
    }
    socklen_t length = sizeof peer;
    const ssize_t n =
        recvfrom(fd_, buffer, capacity, MSG_TRUNC, reinterpret_cast<sockaddr*>(&peer), &length);
    return n < 0 ? -1 : long(n);
}

} // namespace Emulator
