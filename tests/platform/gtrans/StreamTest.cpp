// Stream grabber against the in-process emulator: byte-exact frames under
// loss and reordering, incomplete and cancelled buffers, buffers smaller than
// the frame, foreign datagrams.
#include <string.h>

#include <chrono>
#include <thread>
#include <tuple>
#include <utility>

#include "TransportFixture.h"
#include "emulator/RegisterSpace.h"
#include "emulator/TestImage.h"
#include "gtrans/GTransStats.h"

namespace GTransTest {
namespace {

constexpr uint32_t kImageSize = 0xF0F0800Cu;   // Format_7 mode 0 IMAGE_SIZE
constexpr uint32_t kColorCoding = 0xF0F08010u; // Format_7 mode 0 COLOR_CODING_ID
constexpr uint32_t kOneShot = 0xF0F0061Cu;     // One_Shot / Multi_Shot with count
constexpr uint32_t kMultiShot = 0x40000000u;
constexpr uint32_t kGuard = 64;

// An open camera with an open stream into one grabber.
class Stream {
public:
    Stream(Emulated& emu, uint32_t width, uint32_t height, uint8_t coding) : emu_(emu) {
        EXPECT_EQ(GX_OK, GxOpen(emu.Name().c_str(), 2, &device));
        const uint32_t addresses[2] = {kImageSize, kColorCoding};
        const uint32_t values[2] = {(width << 16) | height, uint32_t(coding) << 24};
        EXPECT_EQ(GX_OK, GxWriteReg(device, addresses, values, 2));
        layout = emu.server->Registers(0).CurrentLayout();
        EXPECT_EQ(uint64_t(width) * height * (coding == 5 || coding == 10 ? 2 : 1),
                  layout.totalBytes);
        uint32_t size = uint32_t(layout.totalBytes);
        EXPECT_EQ(GX_OK, GxStreamGrabberCreate(&grabber));
        EXPECT_EQ(GX_OK, GxStreamGrabberAllocResourcesEx(grabber, 50, &size, 1, 1500,
                                                         layout.bytesPerPixel == 2));
        GxStreamAddress address{};
        EXPECT_EQ(GX_OK, GxStreamGrabberGetAddress(grabber, &address));
        EXPECT_EQ(GX_OK, GxOpenStream(device, 0, &address, 1500));
        memcpy(&local, address.bytes, sizeof local);
    }
    ~Stream() {
        EXPECT_EQ(GX_OK, GxStreamGrabberFlush(grabber));
        void* context = nullptr;
        while (GxStreamGrabberWaitForBuffer(grabber, 100, &context) != GX_STATUS_FLUSHED) {
        }
        EXPECT_EQ(GX_OK, GxStreamGrabberDestroy(grabber));
        EXPECT_EQ(GX_OK, GxCloseStream(device, 0));
        EXPECT_EQ(GX_OK, GxClose(device));
    }
    // Queues `count` buffers of `size` bytes (frame size by default), each
    // followed by guard bytes, with contexts 1..count.
    void Queue(size_t count, uint32_t size = 0) {
        if (!size)
            size = uint32_t(layout.totalBytes);
        buffers.assign(count, std::vector<uint8_t>(size + kGuard, 0xA5));
        for (size_t i = 0; i < count; ++i)
            ASSERT_EQ(GX_OK, GxStreamGrabberReceiveAsync(grabber, buffers[i].data(), size,
                                                         reinterpret_cast<void*>(i + 1), 0));
    }
    void Shoot(uint32_t frames) {
        const uint32_t value = kMultiShot | frames, address = kOneShot;
        ASSERT_EQ(GX_OK, GxWriteReg(device, &address, &value, 1));
    }
    std::vector<uint8_t> Expected(uint64_t number) const {
        Emulator::FrameInfo frame = layout;
        frame.number = number;
        return Emulator::StreamImage(frame);
    }
    // The status and context of the next buffer.
    std::pair<GxStatus, uintptr_t> Next(uint32_t timeoutMs) {
        void* context = nullptr;
        const GxStatus status = GxStreamGrabberWaitForBuffer(grabber, timeoutMs, &context);
        return {status, reinterpret_cast<uintptr_t>(context)};
    }
    GxGrabberStatistics Stats() const {
        GxGrabberStatistics stats{};
        EXPECT_EQ(GX_OK, GxStreamGrabberGetStatistics(grabber, &stats));
        return stats;
    }

    Emulated& emu_;
    GxHandle device = 0, grabber = 0;
    Emulator::FrameInfo layout{};
    sockaddr_in local{};
    std::vector<std::vector<uint8_t>> buffers;
};

std::pair<GxStatus, uintptr_t> P(GxStatus status, uintptr_t context) {
    return {status, context};
}

bool GuardIntact(const std::vector<uint8_t>& buffer, size_t size) {
    for (size_t i = size; i < buffer.size(); ++i)
        if (buffer[i] != 0xA5)
            return false;
    return true;
}

TEST(GTransStream, HundredFramesByteExactUnderLossAndReordering) {
    const struct {
        const char* name;
        const char* model;
        uint8_t coding;
        double drop, reorder;
    } cases[] = {
        {"vga Mono8", "vga-mono", 0, 0, 0},
        {"vga Mono8 1% loss", "vga-mono", 0, 0.01, 0},
        {"vga Mono8 5% loss", "vga-mono", 0, 0.05, 0},
        {"vga Mono8 reordered", "vga-mono", 0, 0, 0.05},
        {"vga Mono16", "vga-mono", 5, 0, 0},
        {"vga Mono16 1% loss", "vga-mono", 5, 0.01, 0},
        {"vga Mono16 5% loss", "vga-mono", 5, 0.05, 0},
        {"vga Mono16 reordered", "vga-mono", 5, 0, 0.05},
        {"bayer Mono8", "2mp-bayer", 0, 0, 0},
        {"bayer Mono8 5% loss", "2mp-bayer", 0, 0.05, 0},
        {"bayer Raw8", "2mp-bayer", 9, 0, 0},
        {"bayer Raw8 1% loss", "2mp-bayer", 9, 0.01, 0},
        {"bayer Raw8 5% loss", "2mp-bayer", 9, 0.05, 0},
        {"bayer Raw8 reordered", "2mp-bayer", 9, 0, 0.05},
        {"bayer Raw16", "2mp-bayer", 10, 0, 0},
        {"bayer Raw16 1% loss", "2mp-bayer", 10, 0.01, 0},
        {"bayer Raw16 5% loss", "2mp-bayer", 10, 0.05, 0},
        {"bayer Raw16 reordered", "2mp-bayer", 10, 0, 0.05},
    };
    Initialised init;
    uint32_t net = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Emulator::FaultOptions faults;
        faults.dropPacket = c.drop;
        faults.reorderPacket = c.reorder;
        Emulated emu(Ip(127, 0, 30 + net++, 1), 1, c.model, true, faults);
        ASSERT_NE(0, emu.port) << emu.server->Error();
        Stream stream(emu, 160, 120, c.coding);
        uint64_t number = 0;
        for (int batch = 0; batch < 2; ++batch) {
            stream.Queue(50);
            stream.Shoot(50);
            for (uintptr_t i = 1; i <= 50; ++i) {
                ASSERT_EQ(P(GX_OK, i), stream.Next(5000))
                    << "frame " << number + 1 << " delivered in order";
                const std::vector<uint8_t> expected = stream.Expected(++number);
                const std::vector<uint8_t>& got = stream.buffers[i - 1];
                ASSERT_EQ(0, memcmp(expected.data(), got.data(), expected.size()))
                    << "frame " << number;
                ASSERT_TRUE(GuardIntact(got, expected.size()));
            }
        }
        const GxGrabberStatistics stats = stream.Stats();
        EXPECT_EQ(
            std::make_tuple(100u, 0u, 100u * stream.layout.totalBytes),
            std::make_tuple(stats.framesCompleted, stats.framesIncomplete, stats.bytesCompleted));
        if (c.drop > 0) {
            EXPECT_GT(stats.packetsResent, 0u);
            EXPECT_GT(emu.server->Counters(0).resendsServed, 0u);
        }
    }
}

TEST(GTransStream, CameraStoppingMidFrameGivesIncompleteThenTimeouts) {
    Initialised init;
    Emulator::FaultOptions faults;
    faults.stopFrame = 2;
    faults.stopAfterPackets = 5;
    Emulated emu(Ip(127, 0, 50, 1), 1, "vga-mono", false, faults);
    ASSERT_NE(0, emu.port);
    Stream stream(emu, 160, 120, 0);
    stream.Queue(3);
    stream.Shoot(3);
    EXPECT_EQ(P(GX_OK, 1), stream.Next(3000));
    EXPECT_EQ(P(GX_STATUS_INCOMPLETE, 2), stream.Next(3000));
    EXPECT_EQ(GX_STATUS_TIMEOUT, stream.Next(200).first);
    EXPECT_EQ(GX_STATUS_TIMEOUT, stream.Next(50).first);
    EXPECT_EQ(1u, stream.Stats().framesIncomplete);
}

TEST(GTransStream, FlushReturnsEveryQueuedBufferCancelledInOrder) {
    Initialised init;
    Emulated emu(Ip(127, 0, 51, 1), 1);
    ASSERT_NE(0, emu.port);
    Stream stream(emu, 160, 120, 0);
    void* context = reinterpret_cast<void*>(99);
    EXPECT_EQ(GX_STATUS_FLUSHED, GxStreamGrabberWaitForBuffer(stream.grabber, 10, &context));
    EXPECT_EQ(nullptr, context);
    stream.Queue(5);
    EXPECT_EQ(GX_STATUS_TIMEOUT, stream.Next(20).first);
    ASSERT_EQ(GX_OK, GxStreamGrabberFlush(stream.grabber));
    for (uintptr_t i = 1; i <= 5; ++i)
        EXPECT_EQ(P(GX_STATUS_INCOMPLETE, i), stream.Next(10));
    EXPECT_EQ(GX_STATUS_FLUSHED, stream.Next(10).first);
    EXPECT_EQ(0xC102000Au, [&] {
        std::vector<uint8_t> one(16);
        GxStatus status = GX_OK;
        for (int i = 0; i < 51 && status == GX_OK; ++i)
            status = GxStreamGrabberReceiveAsync(stream.grabber, one.data(), 16, nullptr, 0);
        return status;
    }()) << "no more buffers queued than allocated";
}

TEST(GTransStream, BufferSmallerThanTheFrameIsNeverOverrun) {
    Initialised init;
    Emulated emu(Ip(127, 0, 52, 1), 1);
    ASSERT_NE(0, emu.port);
    Stream stream(emu, 160, 120, 5);
    const uint32_t small = uint32_t(stream.layout.totalBytes) - 1000;
    stream.Queue(2, small);
    stream.Shoot(2);
    for (uintptr_t i = 1; i <= 2; ++i) {
        EXPECT_EQ(P(GX_STATUS_INCOMPLETE, i), stream.Next(3000));
        EXPECT_TRUE(GuardIntact(stream.buffers[i - 1], small));
    }
    EXPECT_GT(stream.Stats().packetsDropped, 0u);
}

TEST(GTransStream, DestroyWhileFramesArriveAndAWaiterBlocks) {
    Initialised init;
    Emulated emu(Ip(127, 0, 54, 1), 1, "vga-mono", true);
    ASSERT_NE(0, emu.port);
    GxHandle device = 0, grabber = 0;
    ASSERT_EQ(GX_OK, GxOpen(emu.Name().c_str(), 2, &device));
    uint32_t size = 640 * 480;
    ASSERT_EQ(GX_OK, GxStreamGrabberCreate(&grabber));
    ASSERT_EQ(GX_OK, GxStreamGrabberAllocResourcesEx(grabber, 50, &size, 1, 1500, 0));
    GxStreamAddress address{};
    ASSERT_EQ(GX_OK, GxStreamGrabberGetAddress(grabber, &address));
    ASSERT_EQ(GX_OK, GxOpenStream(device, 0, &address, 1500));
    std::vector<std::vector<uint8_t>> buffers(50, std::vector<uint8_t>(size));
    for (auto& buffer : buffers)
        ASSERT_EQ(GX_OK, GxStreamGrabberReceiveAsync(grabber, buffer.data(), size, nullptr, 0));
    const uint32_t isoEnable = 0xF0F00614u, on = 0x80000000u;
    ASSERT_EQ(GX_OK, GxWriteReg(device, &isoEnable, &on, 1));
    // A waiter that drains and keeps waiting while the grabber goes away.
    std::thread waiter([grabber] {
        void* context = nullptr;
        for (int i = 0; i < 200; ++i) {
            const GxStatus status = GxStreamGrabberWaitForBuffer(grabber, 1000, &context);
            if (status == GX_STATUS_FLUSHED || status == 0xC1020003u)
                break;
        }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(GX_OK, GxStreamGrabberDestroy(grabber));
    waiter.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900))
        << "the waiter is released at once";
    EXPECT_EQ(0xC1020003u, GxStreamGrabberDestroy(grabber));
    EXPECT_EQ(GX_OK, GxCloseStream(device, 0));
    EXPECT_EQ(GX_OK, GxClose(device));
}

TEST(GTransStream, DatagramsFromAForeignSourceAreIgnored) {
    Initialised init;
    Emulated emu(Ip(127, 0, 53, 1), 1);
    ASSERT_NE(0, emu.port);
    Stream stream(emu, 160, 120, 0);
    stream.Queue(2);
    // A stranger sends a plausible block 1 to the grabber first.
    int stranger = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in from{};
    from.sin_family = AF_INET;
    from.sin_addr.s_addr = htonl(Ip(127, 0, 53, 99));
    ASSERT_EQ(0, bind(stranger, reinterpret_cast<sockaddr*>(&from), sizeof from));
    std::vector<uint8_t> junk(1464, 0xEE);
    uint8_t packet[1500];
    gvwire::ImageLeader leader;
    leader.pixelFormat = gvwire::kMono8;
    leader.sizeX = 160;
    leader.sizeY = 120;
    size_t size = gvwire::EncodeLeader(packet, sizeof packet, 1, leader);
    sendto(stranger, packet, size, 0, reinterpret_cast<sockaddr*>(&stream.local),
           sizeof stream.local);
    for (uint32_t id = 1; id <= 14; ++id) {
        size = gvwire::EncodePayload(packet, sizeof packet, 1, id, junk.data(), junk.size());
        sendto(stranger, packet, size, 0, reinterpret_cast<sockaddr*>(&stream.local),
               sizeof stream.local);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    stream.Shoot(2);
    for (uintptr_t i = 1; i <= 2; ++i) {
        ASSERT_EQ(GX_OK, stream.Next(3000).first);
        const std::vector<uint8_t> expected = stream.Expected(i);
        EXPECT_EQ(0, memcmp(expected.data(), stream.buffers[i - 1].data(), expected.size()));
    }
    EXPECT_GE(stream.Stats().packetsDropped, 15u);
    close(stranger);
}

} // namespace
} // namespace GTransTest
