// The transport tests' emulator on loopback addresses of their own, streams, status texts.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "contracts/GTrans.h"
#include "emulator/RegisterSpace.h"
#include "emulator/TestImage.h"
#include "emulator/net/NetServer.h"
#include "gtrans/GTransStats.h"
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
        // Port 0: ephemeral; seed 1; 64 blocks kept for resends.
        server.reset(new Emulator::NetServer({cameras, model, first, 0, maxRate, 1, 64, faults}));
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

constexpr uint32_t kImageSize = 0xF0F0800Cu;   // Format_7 mode 0 IMAGE_SIZE
constexpr uint32_t kColorCoding = 0xF0F08010u; // Format_7 mode 0 COLOR_CODING_ID
constexpr uint32_t kOneShot = 0xF0F0061Cu;     // One_Shot / Multi_Shot with count
constexpr uint32_t kIsoEnable = 0xF0F00614u;
constexpr uint32_t kGuard = 64;
using Result = std::pair<GxStatus, uintptr_t>;

// An open camera with an open stream into one grabber, closed at the end.
class Stream {
public:
    Stream(Emulated& emu, uint32_t width, uint32_t height, uint8_t coding, GxHandle made = 0)
        : grabber(made) {
        EXPECT_EQ(GX_OK, GxOpen(emu.Name().c_str(), 2, &device));
        const uint32_t addresses[2] = {kImageSize, kColorCoding};
        const uint32_t values[2] = {(width << 16) | height, uint32_t(coding) << 24};
        EXPECT_EQ(GX_OK, GxWriteReg(device, addresses, values, 2));
        layout = emu.server->Registers(0).CurrentLayout();
        EXPECT_EQ(uint64_t(width) * height * (coding == 5 || coding == 10 ? 2 : 1),
                  layout.totalBytes);
        uint32_t size = uint32_t(layout.totalBytes);
        if (!grabber) {
            EXPECT_EQ(GX_OK, GxStreamGrabberCreate(&grabber));
        }
        EXPECT_EQ(GX_OK, GxStreamGrabberAllocResourcesEx(grabber, 50, &size, 1, 1500,
                                                         layout.bytesPerPixel == 2));
        GxStreamAddress address{};
        EXPECT_EQ(GX_OK, GxStreamGrabberGetAddress(grabber, &address));
        EXPECT_EQ(GX_OK, GxOpenStream(device, 0, &address, 1500));
        memcpy(&local, address.bytes, sizeof local);
    }
    ~Stream() {
        if (grabber) {
            EXPECT_EQ(GX_OK, GxStreamGrabberFlush(grabber));
            for (int i = 0; i < 60 && Next(100).first != GX_STATUS_FLUSHED; ++i) {
            }
            EXPECT_EQ(GX_OK, GxStreamGrabberDestroy(grabber));
        }
        EXPECT_EQ(GX_OK, GxCloseStream(device, 0));
        EXPECT_EQ(GX_OK, GxClose(device));
    }
    // `count` buffers of `size` bytes (the frame's by default) and guard bytes, contexts 1..count.
    void Queue(size_t count, uint32_t size = 0) {
        size = size ? size : uint32_t(layout.totalBytes);
        buffers.assign(count, std::vector<uint8_t>(size + kGuard, 0xA5));
        for (size_t i = 0; i < count; ++i)
            ASSERT_EQ(GX_OK, GxStreamGrabberReceiveAsync(grabber, buffers[i].data(), size,
                                                         reinterpret_cast<void*>(i + 1), 0));
    }
    void Write(uint32_t address, uint32_t value) {
        ASSERT_EQ(GX_OK, GxWriteReg(device, &address, &value, 1));
    }
    void Shoot(uint32_t frames) { Write(kOneShot, 0x40000000u | frames); } // multi-shot
    // Whether buffer i holds frame `number` byte for byte, its guard intact.
    bool Holds(size_t i, uint64_t number) const {
        Emulator::FrameInfo frame = layout;
        frame.number = number;
        const std::vector<uint8_t> expected = Emulator::StreamImage(frame);
        return memcmp(expected.data(), buffers[i].data(), expected.size()) == 0 &&
               Guarded(i, expected.size());
    }
    bool Guarded(size_t i, size_t size) const {
        return std::all_of(buffers[i].begin() + size, buffers[i].end(),
                           [](uint8_t b) { return b == 0xA5; });
    }
    Result Next(uint32_t timeoutMs) {
        void* context = nullptr;
        const GxStatus status = GxStreamGrabberWaitForBuffer(grabber, timeoutMs, &context);
        return {status, reinterpret_cast<uintptr_t>(context)};
    }
    GxGrabberStatistics Stats() const {
        GxGrabberStatistics stats{};
        EXPECT_EQ(GX_OK, GxStreamGrabberGetStatistics(grabber, &stats));
        return stats;
    }

    GxHandle device = 0, grabber = 0;
    Emulator::FrameInfo layout{};
    sockaddr_in local{};
    std::vector<std::vector<uint8_t>> buffers;
};

struct Initialised {
    Initialised() { GxInit(); }
    ~Initialised() { GxExit(); }
};

} // namespace GTransTest
