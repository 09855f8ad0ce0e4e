// Shared helpers of the transport tests: an in-process emulator on loopback
// addresses of the test's own, and the status texts callers see.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "contracts/GTrans.h"
#include "emulator/net/NetServer.h"
#include "gtrans/Wire.h"

namespace GTransTest {

constexpr uint32_t Ip(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
    return (a << 24) | (b << 16) | (c << 8) | d;
}

inline std::string Dotted(uint32_t address) {
    return std::to_string(address >> 24) + "." + std::to_string(address >> 16 & 255) + "." +
           std::to_string(address >> 8 & 255) + "." + std::to_string(address & 255);
}

// GxGetStatusMessage as the transport delegate uses it: ask the size, then fetch.
inline std::string StatusText(GxStatus status) {
    uint32_t needed = 0;
    if (GxGetStatusMessage(status, nullptr, 0, &needed) != GX_STATUS_BUFFER_TOO_SMALL)
        return "<size query failed>";
    std::string text(needed, '\0');
    if (GxGetStatusMessage(status, &text[0], needed, &needed) != GX_OK)
        return "<fetch failed>";
    text.resize(needed - 1);
    return text;
}

// One emulator serving `cameras` cameras from `first` on an ephemeral port.
class Emulated {
public:
    Emulated(uint32_t first, unsigned cameras, const std::string& model = "vga-mono",
             bool maxRate = false, Emulator::FaultOptions faults = {}) {
        Emulator::NetOptions options;
        options.cameras = cameras;
        options.model = model;
        options.firstAddress = first;
        options.port = 0;
        options.maxRate = maxRate;
        options.resendRing = 64;
        options.faults = faults;
        server.reset(new Emulator::NetServer(options));
        port = server->Start();
        EXPECT_NE(0, port) << server->Error();
    }
    ~Emulated() { server->Stop(); }
    // The name GxOpen takes for camera i, with the port spelled out.
    std::string Name(unsigned camera = 0) const {
        return Dotted(server->Address(camera)) + "@" + std::to_string(port);
    }
    // How the status texts name camera i.
    std::string Camera(unsigned camera = 0) const {
        return "camera " + Dotted(server->Address(camera)) + ":" + std::to_string(port) + " (" +
               server->Serial(camera) + ")";
    }

    std::unique_ptr<Emulator::NetServer> server;
    uint16_t port = 0;
};

// Keeps the library initialised for a test.
struct Initialised {
    Initialised() { GxInit(); }
    ~Initialised() { GxExit(); }
};

} // namespace GTransTest
