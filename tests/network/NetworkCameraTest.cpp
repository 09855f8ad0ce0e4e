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

namespace {

using XCamera::CGxCamera;
using XCamera::DeviceManager;

// Cameras of one emulator on loopback addresses of the test's own (127.0.N.2
// and up), at an ephemeral port; the transport's discovery is pointed at
// exactly them.
class NetworkCameraTest : public ::testing::Test {
protected:
    // The "GxCam" class registers itself at start-up; asking for the
    // result keeps its registration linked into this program.
    void SetUp() override { ASSERT_TRUE(XCamera::IsGxCamClassRegistered()); }
    void TearDown() override {
        if (m_Server)
            m_Server->Stop();
        unsetenv("GTRANS_DISCOVERY");
    }

    // The cameras found; the first created and opened.
    XCamera::DeviceInfoList Serve(unsigned net, unsigned cameras) {
        Emulator::NetOptions options;
        options.cameras = cameras;
        options.model = "vga-mono";
        options.firstAddress = 0x7F000002 | net << 8;
        options.port = 0;
        options.maxRate = true;
        options.resendRing = 64;
        m_Server = std::make_unique<Emulator::NetServer>(options);
        const uint16_t port = m_Server->Start();
        EXPECT_NE(0, port) << m_Server->Error();
        std::string list;
        for (unsigned i = 0; i < cameras; ++i)
            list += (i ? ",127.0." : "127.0.") + std::to_string(net) + "." + std::to_string(2 + i);
        setenv("GTRANS_DISCOVERY", list.c_str(), 1);
        XCamera::PropertySet properties;
        properties.Set("PortNumber", std::to_string(port));
        const auto devices = DeviceManager::Instance().EnumerateDevices("GxCam", &properties);
        if (!devices.empty()) {
            m_Camera =
                dynamic_cast<CGxCamera*>(DeviceManager::Instance().CreateDevice(devices.front()));
            if (m_Camera != nullptr)
                m_Camera->Open();
        }
        return devices;
    }

    // Prepares a grab of three queued buffers and starts continuous shots
    // through the camera port (the shot features are locked while a grab is
    // prepared).
    uint32_t StartShots(std::vector<std::vector<uint8_t>>& buffers) {
        m_Camera->PrepareGrab();
        const uint32_t size = static_cast<uint32_t>(m_Camera->TotalBytes->GetValue());
        buffers.assign(3, std::vector<uint8_t>(size));
        for (uint32_t i = 0; i < 3; ++i)
            m_Camera->QueueBuffer(size, buffers[i].data(), i);
        const uint8_t isoOn[4] = {0x80, 0, 0, 0};
        m_Camera->GetDelegate().Write(isoOn, 0xFFFFF0F00614, 4);
        return size;
    }

    std::unique_ptr<Emulator::NetServer> m_Server;
    CGxCamera* m_Camera = nullptr;
};

TEST_F(NetworkCameraTest, EnumerateOpenConfigureAndGrab) {
    const auto devices = Serve(41, 2);
    std::string names;
    for (const auto& d : devices)
        names += d.Name.substr(0, d.Name.find(':')) + " " + d.DeviceClass + ";";
    EXPECT_EQ(names, "127.0.41.2 GxCam;127.0.41.3 GxCam;");
    ASSERT_NE(nullptr, m_Camera);
    CGxCamera& camera = *m_Camera;
    // The text leaf is quadlet-padded; its text ends at the first NUL.
    EXPECT_STREQ(m_Server->Registers(0).Model().vendorName, camera.VendorName->GetValue().c_str());

    camera.Width->SetValue(320);
    camera.Height->SetValue(240);
    camera.XPosition->SetValue(64);
    camera.ColorCoding->FromString("Mono16");
    Emulator::FrameInfo layout = m_Server->Registers(0).CurrentLayout();
    EXPECT_EQ((std::vector<uint32_t>{320, 64, 2}),
              (std::vector<uint32_t>{layout.width, layout.left, layout.bytesPerPixel}));

    // 100 frames, each byte checked against the frame the camera says it
    // sent, in the buffer rotation 0, 1, 2, 0, ... (bounded in tries).
    std::vector<std::vector<uint8_t>> buffers;
    const uint32_t size = StartShots(buffers);
    int filled = 0, incomplete = 0, wrongBytes = 0, outOfTurn = 0;
    for (uint32_t turn = 0; filled < 100 && turn < 400; ++turn) {
        void* buffer = nullptr;
        uint32_t context = 99;
        const auto result = camera.RetrieveBuffer(&buffer, &context, 2000);
        if (result == XCamera::RetrieveTimedOut)
            break;
        outOfTurn += context != turn % 3 || buffer != buffers[turn % 3].data();
        if (result == XCamera::RetrieveFilled) {
            ++filled;
            // The camera stamps the frame number into the first four samples,
            // one byte each, most significant first; samples are little-endian.
            const uint8_t* b = static_cast<uint8_t*>(buffer);
            layout.number = uint64_t(b[0]) << 24 | b[2] << 16 | b[4] << 8 | b[6];
            const std::vector<uint8_t> expected = Emulator::StreamImage(layout);
            wrongBytes += expected.size() != size || std::memcmp(expected.data(), buffer, size);
        } else {
            ++incomplete;
        }
        camera.QueueBuffer(size, buffer, context);
    }
    EXPECT_EQ((std::vector<int>{100, 0, 0, 0}),
              (std::vector<int>{filled, incomplete, wrongBytes, outOfTurn}));
    const uint8_t isoOff[4] = {0, 0, 0, 0};
    camera.GetDelegate().Write(isoOff, 0xFFFFF0F00614, 4);
    camera.CancelGrab();
    for (int i = 0; i < 8 && camera.RetrieveBuffer(nullptr, nullptr, 0) != XCamera::RetrieveFlushed;
         ++i) {
    }
    camera.FinishGrab();
    EXPECT_FALSE(camera.IsPrepared());
    camera.Close();
    EXPECT_FALSE(camera.IsOpen());
    DeviceManager::Instance().DestroyDevice(&camera);
}

} // namespace
