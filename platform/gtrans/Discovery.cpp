// Device enumeration: one DISCOVERY per address of the discovery list, each
// through its own connected UDP socket, so a closed port answers at once
// with ECONNREFUSED and the enumeration ends as soon as every address has
// answered or been refused.
//
// The list is 127.0.0.1-127.0.0.64 unless GTRANS_DISCOVERY holds one:
// comma-separated items, each an address ("127.0.0.5"), a range
// ("127.0.0.1-127.0.0.8" or "127.0.0.1-8") or a subnet broadcast address
// ("127.0.0.255" stands for 127.0.0.1-127.0.0.254; the loopback network's
// own "127.255.255.255" for the same). Loopback sockets bound to one address
// do not see broadcasts, so a broadcast is swept by unicast. Items outside
// 127.0.0.0/8 or malformed are ignored; an empty result means the default.
#include "gtrans/Discovery.h"

#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <string>
#include <vector>

#include "gtrans/Device.h"
#include "gtrans/Status.h"
#include "gtrans/Wire.h"

namespace gtrans {
namespace {

constexpr size_t kMaxAddresses = 1024;
constexpr size_t kBatch = 256; // sockets open at once
constexpr uint16_t kDiscoveryReqId = 1;

void AddRange(std::vector<uint32_t>& list, uint32_t first, uint32_t last) {
    for (uint64_t a = first; a <= last && list.size() < kMaxAddresses; ++a)
        list.push_back(uint32_t(a));
}

void ParseItem(const std::string& item, std::vector<uint32_t>& list) {
    const size_t dash = item.find('-');
    uint32_t first = 0, last = 0;
    if (dash == std::string::npos) {
        if (!ParseLoopbackAddress(item.data(), item.size(), first))
            return;
        if (first == 0x7FFFFFFFu)
            AddRange(list, 0x7F000001u, 0x7F0000FEu);
        else if ((first & 0xFF) == 0xFF)
            AddRange(list, (first & ~0xFFu) | 1, (first & ~0xFFu) | 0xFE);
        else
            list.push_back(first);
        return;
    }
    const std::string head = item.substr(0, dash), tail = item.substr(dash + 1);
    if (!ParseLoopbackAddress(head.data(), head.size(), first))
        return;
    if (tail.find('.') == std::string::npos) {
        char* end = nullptr;
        const unsigned long octet = strtoul(tail.c_str(), &end, 10);
        if (tail.empty() || *end != '\0' || octet > 255)
            return;
        last = (first & ~0xFFu) | uint32_t(octet);
    } else if (!ParseLoopbackAddress(tail.data(), tail.size(), last)) {
        return;
    }
    if (last >= first)
        AddRange(list, first, last);
}

std::string Trim(const std::string& text) {
    const size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos)
        return std::string();
    const size_t end = text.find_last_not_of(" \t");
    return text.substr(begin, end - begin + 1);
}

struct Probe {
    uint32_t address = 0;
    int socket = -1;
    bool done = false;
    bool found = false;
    gvwire::DeviceIdentity identity;
};

void Send(const Probe& probe) {
    uint8_t out[gvwire::kHeaderSize];
    const size_t size = gvwire::EncodeDiscoveryCmd(out, sizeof out, kDiscoveryReqId);
    send(probe.socket, out, size, MSG_DONTWAIT);
}

// Probes one batch; answers false on a socket failure.
void ProbeBatch(std::vector<Probe>& probes, uint16_t port, uint32_t timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const auto deadline = start + std::chrono::milliseconds(timeoutMs);
    for (Probe& probe : probes) {
        probe.socket = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_in peer{};
        peer.sin_family = AF_INET;
        peer.sin_port = htons(port);
        peer.sin_addr.s_addr = htonl(probe.address);
        if (probe.socket < 0 ||
            connect(probe.socket, reinterpret_cast<sockaddr*>(&peer), sizeof peer) != 0) {
            probe.done = true;
            continue;
        }
        Send(probe);
    }
    // A lost DISCOVERY or answer is sent again at a third of the time-out.
    auto retry = start + std::chrono::milliseconds(timeoutMs / 3);
    bool retried = false;
    std::vector<pollfd> fds;
    std::vector<Probe*> owners;
    for (;;) {
        fds.clear();
        owners.clear();
        for (Probe& probe : probes)
            if (!probe.done) {
                fds.push_back(pollfd{probe.socket, POLLIN, 0});
                owners.push_back(&probe);
            }
        const auto now = Clock::now();
        if (fds.empty() || now >= deadline)
            break;
        if (!retried && now >= retry) {
            retried = true;
            for (Probe* probe : owners)
                Send(*probe);
        }
        const auto until = retried ? deadline : std::min(deadline, retry);
        const auto wait =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - now).count() + 1;
        if (poll(fds.data(), fds.size(), int(wait)) <= 0)
            continue;
        for (size_t i = 0; i < fds.size(); ++i) {
            if (!fds[i].revents)
                continue;
            Probe& probe = *owners[i];
            uint8_t in[gvwire::kMaxMessage + 64];
            const ssize_t got = recv(probe.socket, in, sizeof in, MSG_DONTWAIT);
            if (got < 0) {
                if (errno == ECONNREFUSED)
                    probe.done = true; // nobody listens there
                continue;
            }
            gvwire::AckHeader header{};
            const uint8_t* payload = nullptr;
            if (!gvwire::ParseAck(in, size_t(got), header, payload) ||
                header.ack != gvwire::kDiscoveryAck || header.ackId != kDiscoveryReqId ||
                header.status != gvwire::kSuccess ||
                !gvwire::ParseDiscoveryAck(payload, header.length, probe.identity))
                continue; // not an answer to this DISCOVERY
            probe.done = probe.found = true;
        }
    }
    for (Probe& probe : probes)
        if (probe.socket >= 0)
            close(probe.socket);
}

} // namespace

std::vector<uint32_t> DiscoveryList(const char* setting) {
    std::vector<uint32_t> list;
    if (setting) {
        std::string text(setting);
        size_t begin = 0;
        while (begin <= text.size()) {
            size_t end = text.find(',', begin);
            if (end == std::string::npos)
                end = text.size();
            ParseItem(Trim(text.substr(begin, end - begin)), list);
            begin = end + 1;
        }
    }
    std::sort(list.begin(), list.end());
    list.erase(std::unique(list.begin(), list.end()), list.end());
    if (list.empty())
        AddRange(list, 0x7F000001u, 0x7F000040u);
    return list;
}

bool ParsePort(const char* text, uint16_t& port) {
    if (!text || !*text)
        return false;
    uint32_t value = 0;
    for (const char* p = text; *p; ++p) {
        if (*p < '0' || *p > '9' || p - text >= 5)
            return false;
        value = value * 10 + uint32_t(*p - '0');
    }
    if (value == 0 || value > 65535)
        return false;
    port = uint16_t(value);
    return true;
}

uint32_t Enumerate(const char* portText, uint32_t timeoutMs, GxEnumCallback callback,
                   void* context) {
    uint16_t port = 0;
    if (!ParsePort(portText, port))
        return Fail(kInvalidArgument, std::string("port text '") +
                                          (portText ? portText : "(null)") +
                                          "' is not a number 1..65535");
    if (!callback)
        return Fail(kInvalidArgument, "enumeration without a callback");
    const std::vector<uint32_t> addresses = DiscoveryList(getenv(kDiscoveryVariable));
    std::vector<Probe> found;
    for (size_t begin = 0; begin < addresses.size(); begin += kBatch) {
        std::vector<Probe> probes;
        for (size_t i = begin; i < addresses.size() && i < begin + kBatch; ++i) {
            probes.emplace_back();
            probes.back().address = addresses[i];
        }
        ProbeBatch(probes, port, timeoutMs);
        for (Probe& probe : probes)
            if (probe.found)
                found.push_back(probe);
    }
    for (const Probe& probe : found) {
        RememberPort(probe.address, port);
        std::string first = AddressText(probe.address);
        if (probe.identity.serial[0])
            first += std::string(":") + probe.identity.serial;
        const std::string second =
            Trim(std::string(probe.identity.manufacturer) + " " + probe.identity.model);
        callback(first.c_str(), second.c_str(), context);
    }
    return 0;
}

} // namespace gtrans
