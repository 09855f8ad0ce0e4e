// Stream grabber against the in-process emulator: byte-exact frames under
// loss and reordering, incomplete and cancelled buffers, buffers smaller than
// the frame, foreign datagrams.
#include <string.h>

#include <chrono>
#include <thread>

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

bool GuardIntact(const std::vector<uint8_t>& buffer, size_t size) {
    for (size_t i = size; i < buffer.size(); ++i)
        if (buffer[i] != 0xA5)
            return false;
    return true;
}

TEST(GTransStream, HundredFramesByteExactUnderLossAndReordering) {
    struct Case {
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
    for (const Case& c : cases) {
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
                void* context = nullptr;
                const GxStatus waited =
                    GxStreamGrabberWaitForBuffer(stream.grabber, 5000, &context);
                ASSERT_EQ(GX_OK, waited) << "frame " << number + 1;
                ASSERT_EQ(reinterpret_cast<void*>(i), context) << "delivered in order";
                const std::vector<uint8_t> expected = stream.Expected(++number);
                const std::vector<uint8_t>& got = stream.buffers[i - 1];
                ASSERT_EQ(0, memcmp(expected.data(), got.data(), expected.size()))
                    << "frame " << number;
                ASSERT_TRUE(GuardIntact(got, expected.size()));
            }
        }
        const GxGrabberStatistics stats = stream.Stats();
        EXPECT_EQ(100u, stats.framesCompleted);
        EXPECT_EQ(0u, stats.framesIncomplete);
        EXPECT_EQ(100u * stream.layout.totalBytes, stats.bytesCompleted);
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
    void* context = nullptr;
    EXPECT_EQ(GX_OK, GxStreamGrabberWaitForBuffer(stream.grabber, 3000, &context));
    EXPECT_EQ(reinterpret_cast<void*>(1), context);
    EXPECT_EQ(GX_STATUS_INCOMPLETE, GxStreamGrabberWaitForBuffer(stream.grabber, 3000, &context));
    EXPECT_EQ(reinterpret_cast<void*>(2), context);
    EXPECT_EQ(GX_STATUS_TIMEOUT, GxStreamGrabberWaitForBuffer(stream.grabber, 200, &context));
    EXPECT_EQ(GX_STATUS_TIMEOUT, GxStreamGrabberWaitForBuffer(stream.grabber, 50, &context));
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
    EXPECT_EQ(GX_STATUS_TIMEOUT, GxStreamGrabberWaitForBuffer(stream.grabber, 20, &context));
    ASSERT_EQ(GX_OK, GxStreamGrabberFlush(stream.grabber));
    for (uintptr_t i = 1; i <= 5; ++i) {
        EXPECT_EQ(GX_STATUS_INCOMPLETE, GxStreamGrabberWaitForBuffer(stream.grabber, 10, &context));
        EXPECT_EQ(reinterpret_cast<void*>(i), context);
    }
    EXPECT_EQ(GX_STATUS_FLUSHED, GxStreamGrabberWaitForBuffer(stream.grabber, 10, &context));
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
        void* context = nullptr;
        EXPECT_EQ(GX_STATUS_INCOMPLETE,
                  GxStreamGrabberWaitForBuffer(stream.grabber, 3000, &context));
        EXPECT_EQ(reinterpret_cast<void*>(i), context);
        EXPECT_TRUE(GuardIntact(stream.buffers[i - 1], small));
    }
    EXPECT_GT(stream.Stats().packetsDropped, 0u);
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
        void* context = nullptr;
        ASSERT_EQ(GX_OK, GxStreamGrabberWaitForBuffer(stream.grabber, 3000, &context));
        const std::vector<uint8_t> expected = stream.Expected(i);
        EXPECT_EQ(0, memcmp(expected.data(), stream.buffers[i - 1].data(), expected.size()));
    }
    EXPECT_GE(stream.Stats().packetsDropped, 15u);
    close(stranger);
}

} // namespace
} // namespace GTransTest
