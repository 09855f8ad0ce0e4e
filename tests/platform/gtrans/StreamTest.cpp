// Stream grabber against the in-process emulator: byte-exact frames under
// loss, duplicates and reordering, incomplete and cancelled buffers, buffers
// smaller than the frame, foreign datagrams, destruction under traffic.
#include <string.h>

#include <algorithm>
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
constexpr uint32_t kIsoEnable = 0xF0F00614u;
constexpr uint32_t kGuard = 64;
using Result = std::pair<GxStatus, uintptr_t>;

// An open camera with an open stream into one grabber.
class Stream {
public:
    Stream(Emulated& emu, uint32_t width, uint32_t height, uint8_t coding) {
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
        if (grabber) {
            EXPECT_EQ(GX_OK, GxStreamGrabberFlush(grabber));
            for (int i = 0; i < 60 && Next(100).first != GX_STATUS_FLUSHED; ++i) {
            }
            EXPECT_EQ(GX_OK, GxStreamGrabberDestroy(grabber));
        }
        EXPECT_EQ(GX_OK, GxCloseStream(device, 0));
        EXPECT_EQ(GX_OK, GxClose(device));
    }
    // Queues `count` buffers of `size` bytes (frame size by default), each
    // followed by guard bytes, with contexts 1..count.
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
    // Whether buffer i holds frame `number` byte for byte, its guard intact
    // after `size` bytes.
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
    // The status and context of the next buffer.
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

TEST(GTransStream, HundredFramesByteExactUnderLossDuplicatesAndReordering) {
    const struct {
        const char* model;
        uint8_t coding;
        const char* name;
    } codings[] = {{"vga-mono", 0, "vga Mono8"},
                   {"vga-mono", 5, "vga Mono16"},
                   {"2mp-bayer", 0, "bayer Mono8"},
                   {"2mp-bayer", 9, "bayer Raw8"},
                   {"2mp-bayer", 10, "bayer Raw16"}};
    const struct {
        const char* name;
        double drop, duplicate, reorder;
    } faults[] = {{"", 0, 0, 0},
                  {" 1% loss", 0.01, 0, 0},
                  {" 5% loss", 0.05, 0, 0},
                  {" duplicated and reordered", 0, 0.05, 0.05}};
    Initialised init;
    uint32_t net = 30;
    for (const auto& c : codings) {
        for (const auto& f : faults) {
            SCOPED_TRACE(std::string(c.name) + f.name);
            Emulator::FaultOptions options;
            options.dropPacket = f.drop;
            options.duplicatePacket = f.duplicate;
            options.reorderPacket = f.reorder;
            Emulated emu(Ip(127, 0, net++, 1), 1, c.model, true, options);
            Stream stream(emu, 160, 120, c.coding);
            uint64_t number = 0;
            for (int batch = 0; batch < 2; ++batch) {
                stream.Queue(50);
                stream.Shoot(50);
                for (uintptr_t i = 1; i <= 50; ++i) {
                    ASSERT_EQ(Result(GX_OK, i), stream.Next(5000)) << "frame " << number + 1;
                    ASSERT_TRUE(stream.Holds(i - 1, ++number)) << "frame " << number;
                }
            }
            const GxGrabberStatistics stats = stream.Stats();
            const Emulator::NetCounters served = emu.server->Counters(0);
            EXPECT_EQ(std::make_tuple(100u, 0u, 100u * stream.layout.totalBytes, f.drop > 0),
                      std::make_tuple(stats.framesCompleted, stats.framesIncomplete,
                                      stats.bytesCompleted, served.packetsDropped > 0));
            if (f.drop > 0) {
                EXPECT_TRUE(stats.packetsResent > 0 && served.resendsServed > 0);
            }
        }
    }
}

TEST(GTransStream, CameraStoppingMidFrameGivesIncompleteThenTimeouts) {
    Initialised init;
    Emulator::FaultOptions faults;
    faults.stopFrame = 2;
    faults.stopAfterPackets = 5;
    Emulated emu(Ip(127, 0, 50, 1), 1, "vga-mono", false, faults);
    Stream stream(emu, 160, 120, 0);
    stream.Queue(3);
    stream.Shoot(3);
    EXPECT_EQ(Result(GX_OK, 1), stream.Next(3000));
    EXPECT_EQ(Result(GX_STATUS_INCOMPLETE, 2), stream.Next(3000));
    EXPECT_EQ(GX_STATUS_TIMEOUT, stream.Next(200).first);
    EXPECT_EQ(GX_STATUS_TIMEOUT, stream.Next(50).first);
    EXPECT_EQ(1u, stream.Stats().framesIncomplete);
}

TEST(GTransStream, FlushReturnsEveryQueuedBufferCancelledInOrder) {
    Initialised init;
    Emulated emu(Ip(127, 0, 51, 1), 1);
    Stream stream(emu, 160, 120, 0);
    void* context = reinterpret_cast<void*>(99);
    EXPECT_EQ(GX_STATUS_FLUSHED, GxStreamGrabberWaitForBuffer(stream.grabber, 10, &context));
    EXPECT_EQ(nullptr, context);
    stream.Queue(5);
    EXPECT_EQ(GX_STATUS_TIMEOUT, stream.Next(20).first);
    ASSERT_EQ(GX_OK, GxStreamGrabberFlush(stream.grabber));
    for (uintptr_t i = 1; i <= 5; ++i)
        EXPECT_EQ(Result(GX_STATUS_INCOMPLETE, i), stream.Next(10));
    EXPECT_EQ(GX_STATUS_FLUSHED, stream.Next(10).first);
    std::vector<uint8_t> one(16);
    GxStatus status = GX_OK;
    for (int i = 0; i < 51 && status == GX_OK; ++i)
        status = GxStreamGrabberReceiveAsync(stream.grabber, one.data(), 16, nullptr, 0);
    EXPECT_EQ(0xC102000Au, status) << "no more buffers queued than allocated";
}

TEST(GTransStream, BufferSmallerThanTheFrameIsNeverOverrun) {
    Initialised init;
    Emulated emu(Ip(127, 0, 52, 1), 1);
    Stream stream(emu, 160, 120, 5);
    const uint32_t small = uint32_t(stream.layout.totalBytes) - 1000;
    stream.Queue(2, small);
    stream.Shoot(2);
    for (uintptr_t i = 1; i <= 2; ++i) {
        EXPECT_EQ(Result(GX_STATUS_INCOMPLETE, i), stream.Next(3000));
        EXPECT_TRUE(stream.Guarded(i - 1, small));
    }
    EXPECT_GT(stream.Stats().packetsDropped, 0u);
}

TEST(GTransStream, DestroyWhileFramesArriveAndAWaiterBlocks) {
    Initialised init;
    Emulated emu(Ip(127, 0, 54, 1), 1, "vga-mono", true);
    Stream stream(emu, 640, 480, 0);
    stream.Queue(50);
    stream.Write(kIsoEnable, 0x80000000u);
    // A waiter that drains and keeps waiting while the grabber goes away.
    const GxHandle grabber = stream.grabber;
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
    stream.grabber = 0;
}

TEST(GTransStream, DatagramsFromAForeignSourceAreIgnored) {
    Initialised init;
    Emulated emu(Ip(127, 0, 53, 1), 1);
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
    for (uint32_t id = 0; id <= 14; ++id) {
        const size_t size =
            id == 0 ? gvwire::EncodeLeader(packet, sizeof packet, 1, leader)
                    : gvwire::EncodePayload(packet, sizeof packet, 1, id, junk.data(), junk.size());
        sendto(stranger, packet, size, 0, reinterpret_cast<sockaddr*>(&stream.local),
               sizeof stream.local);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    stream.Shoot(2);
    for (uintptr_t i = 1; i <= 2; ++i) {
        ASSERT_EQ(GX_OK, stream.Next(3000).first);
        EXPECT_TRUE(stream.Holds(i - 1, i));
    }
    EXPECT_GE(stream.Stats().packetsDropped, 15u);
    close(stranger);
}

} // namespace
} // namespace GTransTest
