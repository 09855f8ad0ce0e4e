// End to end: cameras of the networked emulator, found, opened and grabbed
// through the device layer and the transport library over loopback.
#include <stdlib.h>

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "device/DeviceManager.h"
#include "device/GxCam.h"
#include "emulator/TestImage.h"
#include "emulator/net/NetServer.h"

namespace {

// Two cameras at 127.0.41.2 and .3, this test's own, on an ephemeral port;
// the transport's discovery is pointed at exactly them.
TEST(NetworkCameraTest, EnumerateOpenConfigureAndGrab) {
    // The "GxCam" class registers itself at start-up; asking for the
    // result keeps its registration linked into this program.
    ASSERT_TRUE(XCamera::IsGxCamClassRegistered());
    Emulator::NetOptions options;
    options.cameras = 2;
    options.firstAddress = 0x7F002902;
    options.port = 0;
    options.maxRate = true;
    options.resendRing = 64;
    Emulator::NetServer server(options);
    const uint16_t port = server.Start();
    ASSERT_NE(0, port) << server.Error();
    setenv("GTRANS_DISCOVERY", "127.0.41.2,127.0.41.3", 1);
    XCamera::PropertySet properties;
    properties.Set("PortNumber", std::to_string(port));
    auto& manager = XCamera::DeviceManager::Instance();
    const auto devices = manager.EnumerateDevices("GxCam", &properties);
    std::string names;
    for (const auto& d : devices)
        names += d.Name.substr(0, d.Name.find(':')) + " " + d.DeviceClass + ";";
    ASSERT_EQ(names, "127.0.41.2 GxCam;127.0.41.3 GxCam;");
    auto* camera = dynamic_cast<XCamera::CGxCamera*>(manager.CreateDevice(devices.front()));
    ASSERT_NE(nullptr, camera);
    camera->Open();
    // The text leaf is quadlet-padded; its text ends at the first NUL.
    EXPECT_STREQ(server.Registers(0).Model().vendorName, camera->VendorName->GetValue().c_str());

    camera->Width->SetValue(320);
    camera->Height->SetValue(240);
    camera->XPosition->SetValue(64);
    camera->ColorCoding->FromString("Mono16");
    Emulator::FrameInfo layout = server.Registers(0).CurrentLayout();
    EXPECT_EQ((std::vector<uint32_t>{320, 64, 2}),
              (std::vector<uint32_t>{layout.width, layout.left, layout.bytesPerPixel}));

    // Three buffers queued, continuous shots started through the camera port
    // (the shot features are locked while a grab is prepared), and 100 frames
    // retrieved, bounded in tries: each byte checked against the frame the
    // camera says it sent, in the buffer rotation 0, 1, 2, 0, ...
    camera->PrepareGrab();
    const uint32_t size = static_cast<uint32_t>(camera->TotalBytes->GetValue());
    std::vector<std::vector<uint8_t>> buffers(3, std::vector<uint8_t>(size));
    for (uint32_t i = 0; i < 3; ++i)
        camera->QueueBuffer(size, buffers[i].data(), i);
    const uint8_t isoOn[4] = {0x80, 0, 0, 0}, isoOff[4] = {0, 0, 0, 0};
    camera->GetDelegate().Write(isoOn, 0xFFFFF0F00614, 4);
    int filled = 0, incomplete = 0, wrongBytes = 0, outOfTurn = 0;
    for (uint32_t turn = 0; filled < 100 && turn < 400; ++turn) {
        void* buffer = nullptr;
        uint32_t context = 99;
        const auto result = camera->RetrieveBuffer(&buffer, &context, 2000);
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
        camera->QueueBuffer(size, buffer, context);
    }
    EXPECT_EQ((std::vector<int>{100, 0, 0, 0}),
              (std::vector<int>{filled, incomplete, wrongBytes, outOfTurn}));
    camera->GetDelegate().Write(isoOff, 0xFFFFF0F00614, 4);
    camera->CancelGrab();
    for (int i = 0;
         i < 8 && camera->RetrieveBuffer(nullptr, nullptr, 0) != XCamera::RetrieveFlushed; ++i) {
    }
    camera->FinishGrab();
    EXPECT_FALSE(camera->IsPrepared());
    camera->Close();
    EXPECT_FALSE(camera->IsOpen());
    manager.DestroyDevice(camera);
    unsetenv("GTRANS_DISCOVERY");
}

} // namespace
