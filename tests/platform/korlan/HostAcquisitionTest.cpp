// The host library driving the real module end to end: cameras served by the
// in-process emulator over loopback UDP, reached through the transport
// library. The module always uses port 61696, so every test serves its
// cameras on loopback addresses of its own (127.<test>.0.k) and narrows the
// transport's discovery to them.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "KorlanTest.h"
#include "emulator/TestImage.h"
#include "emulator/net/NetServer.h"

namespace {

using namespace KorlanTest;

std::string Dotted(uint32_t address) {
    return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 0xFF) + "." +
           std::to_string((address >> 8) & 0xFF) + "." + std::to_string(address & 0xFF);
}

HostValue Text(const char* s) {
    HostValue cell{};
    cell.value.s = s;
    cell.type = HOST_VALUE_TEXT;
    return cell;
}

struct HostAcquisition : ::testing::Test {
    std::unique_ptr<Emulator::NetServer> server;
    std::unique_ptr<Emulator::NetServer> bayer; // one more camera, after the others
    KInterface* iface = nullptr;
    uint32_t first = 0;

    // Serves `cameras` cameras of `model` from 127.<net>.0.1 and narrows
    // discovery to 127.<net>.0.1-64.
    void Serve(uint8_t net, unsigned cameras, const char* model = "vga-mono") {
        first = 0x7F000001u | (uint32_t(net) << 16);
        const std::string range = Dotted(first) + "-" + Dotted(first + 63);
        ASSERT_EQ(setenv("GTRANS_DISCOVERY", range.c_str(), 1), 0);
        Emulator::NetOptions options;
        options.cameras = cameras;
        options.model = model;
        options.firstAddress = first;
        options.port = 61696;
        server = std::make_unique<Emulator::NetServer>(options);
        if (cameras > 0) {
            ASSERT_NE(server->Start(), 0) << server->Error();
        }
        ASSERT_EQ(KOpenInterface("eXcite", &iface), K_OK);
        KDoLowError = 1;
    }

    void TearDown() override {
        if (iface != nullptr) {
            EXPECT_EQ(KCloseInterface(iface), K_OK);
        }
        if (bayer)
            bayer->Stop();
        if (server)
            server->Stop();
        KTraceMemory = 0;
    }

    // The defaults with device and, when given, the image size.
    HostOpenParameters Params(const std::string& device = "0", int32_t width = 0,
                              int32_t height = 0) {
        HostOpenParameters params{};
        KGetDefaultOpenParameters(iface, &params);
        std::snprintf(params.device, sizeof params.device, "%s", device.c_str());
        if (width > 0) {
            params.imageWidth = width;
            params.imageHeight = height;
        }
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
    Serve(101, 1);
    Emulator::NetOptions options;
    options.model = "2mp-bayer";
    options.firstAddress = first + 1;
    bayer = std::make_unique<Emulator::NetServer>(options);
    ASSERT_NE(bayer->Start(), 0) << bayer->Error();
    const struct {
        const char* name;
        int32_t bits;
        const char* colorSpace;
        bool volatileMode;
        const char* image; // as Show gives it
    } cases[] = {
        {"Mono 8", 8, "gray", false, "1 96x40 1B 8b owns 1"},
        {"Mono 10", 10, "gray", false, "1024 96x40 2B 10b owns 1"},
        {"Mono 12", 12, "gray", false, "1024 96x40 2B 12b owns 1"},
        {"Raw 8", 8, "bayer", false, "1 96x40 1B 8b owns 1"},
        {"Raw 10", 10, "bayer", false, "1024 96x40 2B 10b owns 1"},
        {"Raw 12", 12, "bayer", false, "1024 96x40 2B 12b owns 1"},
        {"Mono 8 volatile", 8, "gray", true, "1 96x40 1B 8b owns 0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const bool raw = std::strcmp(c.colorSpace, "bayer") == 0;
        HostOpenParameters params = Params(Dotted(first + (raw ? 1 : 0)), 96, 40);
        params.bitsPerChannel = c.bits;
        std::snprintf(params.colorSpace, sizeof params.colorSpace, "%s", c.colorSpace);
        params.startColumn = 32;
        params.startRow = 8;
        KAcqInstance* instance = nullptr;
        ASSERT_EQ(KOpenInstance(iface, &params, &instance), K_OK);
        if (c.volatileMode) {
            HostValue on = Text("enable");
            ASSERT_EQ(KSetParameter(instance, "volatile", &on, 1), K_OK);
        }
        HostImage image{};
        for (int n = 0; n < 2; ++n) {
            ASSERT_EQ(KGrabImage(instance, &image), K_OK) << n;
            EXPECT_EQ(Show(image), c.image);
            EXPECT_NE(FrameNumber(raw ? *bayer : *server, image), 0u) << "grab " << n;
        }
        KClearImage(&image);
        ASSERT_EQ(KCloseInstance(instance), K_OK);
    }
}

TEST_F(HostAcquisition, OpenCodesAndInstalledCameras) {
    Serve(102, 2);
    char text[256];
    HostValue* values = nullptr;
    int32_t count = 0;
    ASSERT_EQ(KQueryInfo(iface, 12, text, sizeof text, &values, &count), K_OK);
    EXPECT_EQ(Show(values, count), "s:" + Dotted(first) + " s:" + Dotted(first + 1));
    KXFree(nullptr, values);

    KAcqInstance* a = nullptr;
    KAcqInstance* b = nullptr;
    HostOpenParameters params = Params();
    ASSERT_EQ(KOpenInstance(iface, &params, &a), K_OK);
    EXPECT_EQ(KOpenInstance(iface, &params, &b), K_ERR_DEVICE_BUSY) << "device \"0\" twice";
    params = Params("127.0.0.250");
    EXPECT_EQ(KOpenInstance(iface, &params, &b), K_ERR_DEVICE_NOT_FOUND);
    params = Params(Dotted(first + 1));
    params.bitsPerChannel = 16;
    EXPECT_EQ(KOpenInstance(iface, &params, &b), K_ERR_BAD_BITS);
    params.bitsPerChannel = 8;
    std::strcpy(params.colorSpace, "rgb");
    EXPECT_EQ(KOpenInstance(iface, &params, &b), K_ERR_BAD_COLOR_SPACE);
    std::strcpy(params.colorSpace, "bayer");
    EXPECT_EQ(KOpenInstance(iface, &params, &b), K_ERR_BAD_COLOR_SPACE) << "a mono camera";
    std::strcpy(params.colorSpace, "GRAY");
    ASSERT_EQ(KOpenInstance(iface, &params, &b), K_OK);
    HostValue on = Text("on");
    EXPECT_EQ(KSetParameter(b, "continuous_grabbing", &on, 1), K_ERR_BAD_PARAM_TYPE);
    EXPECT_EQ(KSetParameter(b, "trigger_signal", &on, 1), K_ERR_BAD_PARAM_VALUE);
    EXPECT_EQ(KSetParameter(b, "software_trigger", &on, 1), K_ERR_UNKNOWN_PARAM);
    EXPECT_EQ(KCloseInstance(b), K_OK);
    EXPECT_EQ(KCloseInstance(a), K_OK);

    // With slot 0 open, the list names only its camera.
    params = Params(Dotted(first + 1));
    ASSERT_EQ(KOpenInstance(iface, &params, &a), K_OK);
    ASSERT_EQ(KQueryInfo(iface, 5, text, sizeof text, &values, &count), K_OK);
    EXPECT_EQ(Show(values, count), "s:device:" + Dotted(first + 1) + " port:61696");
    KXFree(nullptr, values);
    EXPECT_EQ(KCloseInstance(a), K_OK);
}

TEST_F(HostAcquisition, AsynchronousGrabsKeepOrRenewTheStartedFrame) {
    Serve(107, 1);
    HostOpenParameters params = Params("0", 64, 16);
    KAcqInstance* instance = nullptr;
    ASSERT_EQ(KOpenInstance(iface, &params, &instance), K_OK);
    HostValue off = Text("disable");
    ASSERT_EQ(KSetParameter(instance, "start_async_after_grab_async", &off, 1), K_OK);
    HostImage image{};
    const struct {
        const char* name;
        double maxDelay;
        uint64_t newFrames; // frames the grab itself took
    } cases[] = {{"within the delay", 10000.0, 0}, {"beyond the delay", 0.0, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(KStartAsyncGrab(instance, c.maxDelay), K_OK);
        // Long enough for the started frame to arrive and the shot to end.
        for (int i = 0; i < 100 && server->Counters(0).framesSent == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
        const uint64_t started = server->Counters(0).framesSent;
        ASSERT_EQ(KGrabImageAsync(instance, c.maxDelay, &image), K_OK);
        EXPECT_EQ(FrameNumber(*server, image), started + c.newFrames);
    }
    KClearImage(&image);
    EXPECT_EQ(KCloseInstance(instance), K_OK);
}

TEST_F(HostAcquisition, NoCameraInstalled) {
    Serve(103, 0);
    KAcqInstance* instance = nullptr;
    HostOpenParameters params = Params();
    EXPECT_EQ(KOpenInstance(iface, &params, &instance), K_ERR_NO_DEVICE);
    char text[256];
    HostValue* values = nullptr;
    int32_t count = -1;
    ASSERT_EQ(KQueryInfo(iface, 5, text, sizeof text, &values, &count), K_OK);
    EXPECT_STREQ(text, "Info about installed eXcites");
    EXPECT_EQ(count, 0);
    ASSERT_EQ(KQueryInfo(iface, 9, text, sizeof text, &values, &count), K_OK);
    EXPECT_EQ(Show(values, count), "i:8");
    KXFree(nullptr, values);
}

TEST_F(HostAcquisition, SixtyFourCamerasOpenGrabAndClose) {
    Serve(104, 64);
    std::vector<KAcqInstance*> instances(64, nullptr);
    HostImage image{};
    for (uint32_t i = 0; i < 64; ++i) {
        HostOpenParameters params = Params(Dotted(first + i), 64, 8);
        ASSERT_EQ(KOpenInstance(iface, &params, &instances[i]), K_OK) << i;
    }
    for (uint32_t i = 0; i < 64; ++i)
        ASSERT_EQ(KGrabImage(instances[i], &image), K_OK) << i;
    KClearImage(&image);
    for (KAcqInstance* instance : instances)
        ASSERT_EQ(KCloseInstance(instance), K_OK);
}

TEST_F(HostAcquisition, HundredCyclesLeaveNoHostMemory) {
    KTraceMemory = 1;
    Serve(105, 1);
    KMemCheckClearFaults();
    const int32_t before = blockCount();
    HostImage image{};
    for (int cycle = 0; cycle < 100; ++cycle) {
        HostOpenParameters params = Params("0", 64, 16);
        KAcqInstance* instance = nullptr;
        ASSERT_EQ(KOpenInstance(iface, &params, &instance), K_OK) << cycle;
        ASSERT_EQ(KGrabImage(instance, &image), K_OK) << cycle;
        ASSERT_EQ(KCloseInstance(instance), K_OK) << cycle;
    }
    KClearImage(&image);
    int32_t faults = -1;
    EXPECT_EQ(KMemCheckFaultCount(&faults), K_OK);
    EXPECT_EQ(std::make_pair(blockCount(), faults), std::make_pair(before, 0));
}

TEST_F(HostAcquisition, CameraGoneMidGrabTimesOutAndClosesCleanly) {
    Serve(106, 1);
    HostOpenParameters params = Params();
    KAcqInstance* instance = nullptr;
    ASSERT_EQ(KOpenInstance(iface, &params, &instance), K_OK);
    HostImage image{};
    ASSERT_EQ(KGrabImage(instance, &image), K_OK);
    // The counter follows the frame's last packet: wait until it has.
    for (int i = 0; i < 200 && server->Counters(0).framesSent == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(server->Counters(0).framesSent, 1u);
    // The camera dies inside the next frame's stream, then stops serving.
    Emulator::FaultOptions faults;
    faults.stopFrame = server->Counters(0).framesSent + 1;
    faults.stopAfterPackets = 2;
    server->SetFaults(0, faults);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(KGrabImage(instance, &image), K_ERR_GRAB_FAILED);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(waited).count(), 1500)
        << "bounded by the 500 ms grab time-out";
    server->Stop();
    KClearImage(&image);
    EXPECT_EQ(KCloseInstance(instance), K_OK);
}

} // namespace
