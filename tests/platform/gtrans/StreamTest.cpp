// The stream grabber against the in-process emulator: frames under faults,
// incomplete and cancelled buffers, foreign datagrams, destruction under traffic.
#include <string.h>

#include <chrono>
#include <thread>
#include <tuple>
#include <utility>

#include "TransportFixture.h"
#include "emulator/net/UdpSocket.h"

namespace GTransTest {
namespace {

TEST(GTransStream, HundredFramesByteExactUnderLossDuplicatesAndReordering) {
    const std::tuple<const char*, uint8_t, std::string> codings[] = {
        {"vga-mono", 0, "vga Mono8"},
        {"vga-mono", 5, "vga Mono16"},
        {"2mp-bayer", 0, "bayer Mono8"},
        {"2mp-bayer", 9, "bayer Raw8"},
        {"2mp-bayer", 10, "bayer Raw16"}};
    // Probabilities of a lost, a duplicated and a reordered packet.
    const std::tuple<const char*, double, double, double> faults[] = {
        {"", 0, 0, 0},
        {" 1% loss", 0.01, 0, 0},
        {" 5% loss", 0.05, 0, 0},
        {" duplicated and reordered", 0, 0.05, 0.05}};
    Initialised init;
    uint32_t net = 30;
    for (const auto& [model, coding, name] : codings) {
        for (const auto& [fault, drop, duplicate, reorder] : faults) {
            SCOPED_TRACE(name + fault);
            Emulator::FaultOptions options;
            options.dropPacket = drop;
            options.duplicatePacket = duplicate;
            options.reorderPacket = reorder;
            Emulated emu(Ip(127, 0, net++, 1), 1, model, true, options);
            Stream stream(emu, 160, 120, coding);
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
            EXPECT_EQ(std::make_tuple(100u, 0u, 100u * stream.layout.totalBytes, drop > 0),
                      std::make_tuple(stats.framesCompleted, stats.framesIncomplete,
                                      stats.bytesCompleted, served.packetsDropped > 0));
            if (drop > 0) {
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
    Emulator::UdpSocket stranger;
    std::string error;
    ASSERT_TRUE(stranger.Bind(Ip(127, 0, 53, 99), 0, error)) << error;
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
        stranger.SendTo(packet, size, ntohl(stream.local.sin_addr.s_addr),
                        ntohs(stream.local.sin_port));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    stream.Shoot(2);
    for (uintptr_t i = 1; i <= 2; ++i) {
        ASSERT_EQ(GX_OK, stream.Next(3000).first);
        EXPECT_TRUE(stream.Holds(i - 1, i));
    }
    EXPECT_GE(stream.Stats().packetsDropped, 15u);
}

} // namespace
} // namespace GTransTest
