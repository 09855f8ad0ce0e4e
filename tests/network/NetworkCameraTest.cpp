// End to end: cameras of the networked emulator, found, opened and grabbed
// through the device layer and the transport library over loopback.
#include <stdlib.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "device/DeviceManager.h"
#include "device/GxCam.h"
#include "emulator/TestImage.h"
#include "emulator/net/NetServer.h"
#include "gxdevice/DeviceIoException.h"

namespace {

using XCamera::CGxCamera;
using XCamera::DeviceManager;

std::string Dotted(uint32_t address) {
    return std::to_string(address >> 24) + "." + std::to_string(address >> 16 & 255) + "." +
           std::to_string(address >> 8 & 255) + "." + std::to_string(address & 255);
}

// Cameras of one emulator on loopback addresses of the test's own, at an
// ephemeral port; the transport's discovery is pointed at exactly them.
class NetworkCameraTest : public ::testing::Test {
protected:
    // The "GxCam" class registers itself at start-up; asking for the
    // result keeps its registration linked into this program.
    void SetUp() override { ASSERT_TRUE(XCamera::IsGxCamClassRegistered()); }

    void Serve(uint32_t firstAddress, unsigned cameras, Emulator::FaultOptions faults = {}) {
        Emulator::NetOptions options;
        options.cameras = cameras;
        options.model = "vga-mono";
        options.firstAddress = firstAddress;
        options.port = 0;
        options.maxRate = true;
        options.resendRing = 64;
        options.faults = faults;
        m_Server = std::make_unique<Emulator::NetServer>(options);
        m_Port = m_Server->Start();
        ASSERT_NE(0, m_Port) << m_Server->Error();
        std::string list;
        for (unsigned i = 0; i < cameras; ++i)
            list += (i ? "," : "") + Dotted(firstAddress + i);
        setenv("GTRANS_DISCOVERY", list.c_str(), 1);
    }
    void TearDown() override {
        if (m_Server)
            m_Server->Stop();
        unsetenv("GTRANS_DISCOVERY");
    }

    XCamera::DeviceInfoList Enumerate() {
        XCamera::PropertySet properties;
        properties.Set("PortNumber", std::to_string(m_Port));
        return DeviceManager::Instance().EnumerateDevices("GxCam", &properties);
    }

    // The first camera found, created and opened.
    CGxCamera* OpenFirst() {
        const auto devices = Enumerate();
        if (devices.empty())
            return nullptr;
        auto* camera =
            dynamic_cast<CGxCamera*>(DeviceManager::Instance().CreateDevice(devices.front()));
        if (camera != nullptr)
            camera->Open();
        return camera;
    }

    std::unique_ptr<Emulator::NetServer> m_Server;
    uint16_t m_Port = 0;
};

// The frame number the camera stamps into the first four samples, one byte
// each, most significant first (16-bit samples travel little-endian).
uint64_t FrameNumber(const uint8_t* frame, unsigned bytesPerPixel) {
    uint64_t number = 0;
    for (unsigned i = 0; i < 4; ++i)
        number = number << 8 | frame[i * bytesPerPixel];
    return number;
}

struct GrabTally {
    int filled = 0;
    int incomplete = 0;
    int wrongBytes = 0;
    int outOfTurn = 0;
};

// Queues three buffers, starts continuous shots, and retrieves `frames`
// filled frames (bounded in tries), checking each byte against the frame
// the camera says it sent and the buffer rotation 0, 1, 2, 0, ...
GrabTally Grab(CGxCamera& camera, Emulator::NetServer& server, int frames) {
    GrabTally tally;
    camera.PrepareGrab();
    const uint32_t size = static_cast<uint32_t>(camera.TotalBytes->GetValue());
    const unsigned bytesPerPixel = camera.DataDepth->GetValue() > 8 ? 2 : 1;
    std::vector<std::vector<uint8_t>> buffers(3, std::vector<uint8_t>(size));
    for (uint32_t i = 0; i < 3; ++i)
        camera.QueueBuffer(size, buffers[i].data(), i);
    Emulator::FrameInfo layout = server.Registers(0).CurrentLayout();
    // Continuous shots through the camera port: the shot features are
    // locked while a grab is prepared.
    const uint8_t isoOn[4] = {0x80, 0, 0, 0};
    camera.GetDelegate().Write(isoOn, 0xFFFFF0F00614, 4);
    uint32_t turn = 0;
    for (int tries = 0; tally.filled < frames && tries < 4 * frames; ++tries) {
        void* buffer = nullptr;
        uint32_t context = 99;
        const auto result = camera.RetrieveBuffer(&buffer, &context, 2000);
        if (result == XCamera::RetrieveTimedOut)
            break;
        if (context != turn || buffer != buffers[turn % 3].data())
            ++tally.outOfTurn;
        turn = (turn + 1) % 3;
        if (result == XCamera::RetrieveFilled) {
            ++tally.filled;
            layout.number = FrameNumber(static_cast<uint8_t*>(buffer), bytesPerPixel);
            const std::vector<uint8_t> expected = Emulator::StreamImage(layout);
            if (expected.size() != size || std::memcmp(expected.data(), buffer, size) != 0)
                ++tally.wrongBytes;
        } else {
            ++tally.incomplete;
        }
        camera.QueueBuffer(size, buffer, context);
    }
    const uint8_t isoOff[4] = {0, 0, 0, 0};
    camera.GetDelegate().Write(isoOff, 0xFFFFF0F00614, 4);
    camera.CancelGrab();
    for (int i = 0; i < 8 && camera.RetrieveBuffer(nullptr, nullptr, 0) != XCamera::RetrieveFlushed;
         ++i) {
    }
    camera.FinishGrab();
    return tally;
}

TEST_F(NetworkCameraTest, EnumerateOpenConfigureAndGrab) {
    Serve(0x7F002902, 2); // 127.0.41.2 and .3
    const auto devices = Enumerate();
    ASSERT_EQ(2u, devices.size());
    EXPECT_EQ("127.0.41.2", devices.front().Name.substr(0, devices.front().Name.find(':')));
    EXPECT_EQ("127.0.41.3", devices.back().Name.substr(0, devices.back().Name.find(':')));
    EXPECT_EQ("GxCam", devices.front().DeviceClass);

    auto& manager = DeviceManager::Instance();
    auto* camera = dynamic_cast<CGxCamera*>(manager.CreateDevice(devices.front()));
    ASSERT_NE(nullptr, camera);
    camera->Open();
    EXPECT_FALSE(camera->VendorName->GetValue().empty());
    // The text leaf is quadlet-padded; its text ends at the first NUL.
    EXPECT_STREQ(m_Server->Registers(0).Model().vendorName, camera->VendorName->GetValue().c_str());

    camera->Width->SetValue(320);
    camera->Height->SetValue(240);
    camera->XPosition->SetValue(64);
    camera->ColorCoding->FromString("Mono16");
    const Emulator::FrameInfo layout = m_Server->Registers(0).CurrentLayout();
    EXPECT_EQ((std::vector<uint32_t>{320, 64, 2}),
              (std::vector<uint32_t>{layout.width, layout.left, layout.bytesPerPixel}));
    // Filled, incomplete, wrong bytes, out of turn.
    const GrabTally t = Grab(*camera, *m_Server, 100);
    EXPECT_EQ((std::vector<int>{100, 0, 0, 0}),
              (std::vector<int>{t.filled, t.incomplete, t.wrongBytes, t.outOfTurn}));
    EXPECT_FALSE(camera->IsPrepared());
    camera->Close();
    EXPECT_FALSE(camera->IsOpen());
    manager.DestroyDevice(camera);
}

TEST_F(NetworkCameraTest, CameraDisappearingMidGrabNeverHangs) {
    Emulator::FaultOptions faults;
    faults.exitAfterFrames = 5;
    Serve(0x7F002B02, 1); // 127.0.43.2
    CGxCamera* camera = OpenFirst();
    ASSERT_NE(nullptr, camera);
    camera->Width->SetValue(160);
    camera->Height->SetValue(120);
    m_Server->SetFaults(faults);
    camera->PrepareGrab();
    const uint32_t size = static_cast<uint32_t>(camera->TotalBytes->GetValue());
    std::vector<std::vector<uint8_t>> buffers(3, std::vector<uint8_t>(size));
    for (uint32_t i = 0; i < 3; ++i)
        camera->QueueBuffer(size, buffers[i].data(), i);
    const uint8_t isoOn[4] = {0x80, 0, 0, 0};
    camera->GetDelegate().Write(isoOn, 0xFFFFF0F00614, 4);
    bool ended = false;
    for (int i = 0; i < 50 && !ended; ++i) {
        try {
            void* buffer = nullptr;
            uint32_t context = 0;
            const auto result = camera->RetrieveBuffer(&buffer, &context, 300);
            if (result == XCamera::RetrieveTimedOut)
                ended = true;
            else if (buffer != nullptr)
                camera->QueueBuffer(size, buffer, context);
        } catch (const XCamera::DeviceIoException&) {
            ended = true;
        }
    }
    EXPECT_TRUE(ended) << "the grab ends with a time-out or a device error";
    EXPECT_FALSE(m_Server->Serving(0));
    // Closing a vanished camera may report its failure, but always finishes.
    try {
        camera->Close();
    } catch (const NodeApi::GenericException&) {
    }
    EXPECT_FALSE(camera->IsOpen() || camera->IsPrepared());
    DeviceManager::Instance().DestroyDevice(camera);
}

} // namespace
