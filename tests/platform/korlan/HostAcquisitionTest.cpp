// The host library driving the real module end to end, over loopback UDP to the in-process
// emulator. The module always uses port 61696, so each test serves its cameras on loopback
// addresses of its own (127.<test>.0.k).
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "KorlanTest.h"
#include "emulator/TestImage.h"
#include "emulator/net/NetServer.h"

namespace {

using namespace KorlanTest;

struct HostAcquisition : ::testing::Test {
    static std::string Dotted(uint32_t address) { return inet_ntoa(in_addr{htonl(address)}); }

    std::unique_ptr<Emulator::NetServer> servers[2]; // mono cameras, then a bayer one; stop at exit
    KInterface* iface = nullptr;
    uint32_t first = 0;

    // Mono cameras from 127.<net>.0.1, a bayer one after them; discovery sees 127.<net>.0.1-64.
    void Serve(uint8_t net, unsigned cameras, bool bayer = false) {
        first = 0x7F000001u | (uint32_t(net) << 16);
        const std::string range = Dotted(first) + "-" + Dotted(first + 63);
        ASSERT_EQ(setenv("GTRANS_DISCOVERY", range.c_str(), 1), 0);
        for (int i = 0; i < (bayer ? 2 : 1); ++i) {
            Emulator::NetOptions options;
            options.cameras = i == 0 ? cameras : 1;
            options.model = i == 0 ? "vga-mono" : "2mp-bayer";
            options.firstAddress = first + (i == 0 ? 0 : cameras);
            options.port = 61696;
            servers[i] = std::make_unique<Emulator::NetServer>(options);
            ASSERT_NE(servers[i]->Start(), 0) << servers[i]->Error();
        }
        ASSERT_EQ(KOpenInterface("eXcite", &iface), K_OK);
        KDoLowError = 1;
    }

    void TearDown() override {
        EXPECT_EQ(iface != nullptr ? KCloseInterface(iface) : K_OK, K_OK);
        KTraceMemory = 0;
    }

    HostOpenParameters Params(const std::string& device, int32_t width, int32_t height) {
        HostOpenParameters params{};
        KGetDefaultOpenParameters(iface, &params);
        std::snprintf(params.device, sizeof params.device, "%s", device.c_str());
        std::tie(params.imageWidth, params.imageHeight) = std::tie(width, height);
        return params;
    }

    // The number of the camera frame whose bytes the image holds, 0 if none
    // (frame numbers depend on how many shots the open took).
    uint64_t FrameNumber(Emulator::NetServer& camera, const HostImage& image) {
        Emulator::FrameInfo layout = camera.Registers(0).CurrentLayout();
        const size_t bytes = size_t(image.width) * image.height * image.bytesPerPixel;
        for (uint64_t number = 1; number <= 32; ++number) {
            layout.number = number;
            const std::vector<uint8_t> expected = Emulator::StreamImage(layout);
            if (expected.size() == bytes && std::memcmp(expected.data(), image.data, bytes) == 0)
                return number;
        }
        return 0;
    }
};

TEST_F(HostAcquisition, CopyAndVolatileImagesAreTheCameraBytes) {
    Serve(101, 1, true);
    const std::tuple<const char*, int32_t, const char*, bool, const char*> cases[] = {
        {"Mono 8", 8, "gray", false, "1 96x40 1B 8b owns 1"},
        {"Mono 10", 10, "gray", false, "1024 96x40 2B 10b owns 1"},
        {"Mono 12, GRAY in capitals", 12, "GRAY", false, "1024 96x40 2B 12b owns 1"},
        {"Raw 8", 8, "bayer", false, "1 96x40 1B 8b owns 1"},
        {"Raw 10", 10, "bayer", false, "1024 96x40 2B 10b owns 1"},
        {"Raw 12", 12, "bayer", false, "1024 96x40 2B 12b owns 1"},
        {"Mono 8 volatile", 8, "gray", true, "1 96x40 1B 8b owns 0"},
    };
    const HostValue on = Text("enable");
    for (const auto& [name, bits, colorSpace, volatileMode, shown] : cases) {
        SCOPED_TRACE(name);
        const int raw = std::strcmp(colorSpace, "bayer") == 0 ? 1 : 0;
        HostOpenParameters params = Params(Dotted(first + raw), 96, 40);
        params.bitsPerChannel = bits;
        std::snprintf(params.colorSpace, sizeof params.colorSpace, "%s", colorSpace);
        std::tie(params.startRow, params.startColumn) = std::make_pair(8, 32);
        KAcqInstance* instance = nullptr;
        ASSERT_EQ(KOpenInstance(iface, &params, &instance), K_OK);
        ASSERT_EQ(volatileMode ? KSetParameter(instance, "volatile", &on, 1) : K_OK, K_OK);
        HostImage image{};
        for (int n = 0; n < 2; ++n) {
            ASSERT_EQ(KGrabImage(instance, &image), K_OK) << n;
            EXPECT_EQ(Show(image), shown);
            EXPECT_NE(FrameNumber(*servers[raw], image), 0u) << "grab " << n;
        }
        KClearImage(&image);
        ASSERT_EQ(KCloseInstance(instance), K_OK);
    }
}

TEST_F(HostAcquisition, AsynchronousGrabsKeepOrRenewTheStartedFrame) {
    Serve(107, 1);
    HostOpenParameters params = Params("0", 64, 16);
    KAcqInstance* instance = nullptr;
    ASSERT_EQ(KOpenInstance(iface, &params, &instance), K_OK);
    const HostValue off = Text("disable");
    ASSERT_EQ(KSetParameter(instance, "start_async_after_grab_async", &off, 1), K_OK);
    HostImage image{};
    // The delay, and the frames the grab itself took.
    const std::tuple<const char*, double, uint64_t> cases[] = {{"within the delay", 10000.0, 0},
                                                               {"beyond the delay", 0.0, 1}};
    for (const auto& [name, maxDelay, newFrames] : cases) {
        SCOPED_TRACE(name);
        ASSERT_EQ(KStartAsyncGrab(instance, maxDelay), K_OK);
        // Long enough for the started frame to arrive and the shot to end.
        for (int i = 0; i < 100 && servers[0]->Counters(0).framesSent == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
        const uint64_t started = servers[0]->Counters(0).framesSent;
        ASSERT_EQ(KGrabImageAsync(instance, maxDelay, &image), K_OK);
        EXPECT_EQ(FrameNumber(*servers[0], image), started + newFrames);
    }
    KClearImage(&image);
    EXPECT_EQ(KCloseInstance(instance), K_OK);
}

TEST_F(HostAcquisition, SixtyFourCamerasOpenGrabAndCloseTwiceLeavingNoHostMemory) {
    KTraceMemory = 1;
    Serve(104, 64);
    KMemCheckClearFaults();
    const int32_t before = blockCount();
    std::vector<KAcqInstance*> instances(64, nullptr);
    HostImage image{};
    for (int round = 0; round < 2; ++round) {
        for (uint32_t i = 0; i < 64; ++i) {
            HostOpenParameters params = Params(Dotted(first + i), 64, 8);
            ASSERT_EQ(KOpenInstance(iface, &params, &instances[i]), K_OK) << i;
            ASSERT_EQ(KGrabImage(instances[i], &image), K_OK) << i;
        }
        for (KAcqInstance* instance : instances)
            ASSERT_EQ(KCloseInstance(instance), K_OK);
    }
    KClearImage(&image);
    int32_t faults = -1;
    EXPECT_EQ(KMemCheckFaultCount(&faults), K_OK);
    EXPECT_EQ(std::make_pair(blockCount(), faults), std::make_pair(before, 0));
}

TEST_F(HostAcquisition, CameraGoneMidGrabTimesOutAndClosesCleanly) {
    Serve(106, 1);
    HostOpenParameters params = Params("0", 64, 16);
    KAcqInstance* instance = nullptr;
    ASSERT_EQ(KOpenInstance(iface, &params, &instance), K_OK);
    HostImage image{};
    ASSERT_EQ(KGrabImage(instance, &image), K_OK);
    // The counter follows the frame's last packet: wait until it has.
    for (int i = 0; i < 200 && servers[0]->Counters(0).framesSent == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(servers[0]->Counters(0).framesSent, 1u);
    Emulator::FaultOptions faults;
    faults.stopFrame = 2;
    faults.stopAfterPackets = 2;
    servers[0]->SetFaults(0, faults);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(KGrabImage(instance, &image), K_ERR_GRAB_FAILED);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500))
        << "bounded by the 500 ms grab time-out";
    servers[0]->Stop();
    KClearImage(&image);
    EXPECT_EQ(KCloseInstance(instance), K_OK);
}

} // namespace
