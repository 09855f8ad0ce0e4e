// Device manager, property set and the "GxCam" class over the recording transport.
#include <tuple>

#include "device/DeviceManager.h"
#include "support/transport/CameraRig.h"

using namespace KacqTest;
using XCamera::DeviceManager;

namespace {

using DeviceManagerTest = CameraTest;

TEST_F(DeviceManagerTest, EnumerationKeepsTheTransportsOrderAndThePortAskedFor) {
    // Also what links the camera class's self-registration into this binary.
    EXPECT_TRUE(XCamera::IsGxCamClassRegistered());
    EXPECT_FALSE(DeviceManager::Instance().RegisterDeviceClass("GxCam", nullptr, nullptr, nullptr))
        << "a second registration keeps the first";
    XCamera::PropertySet port, other;
    // A property set keeps the first value it is given, by exact name.
    port.Set("PortNumber", "3956");
    port.Set("PortNumber", "1");
    other.Set("Other", "1");
    EXPECT_TRUE(port.Has("PortNumber") && !port.Has("portnumber"));
    EXPECT_EQ(Where("Runtime", "Requested non-existing property 'Nope'", "device/PropertySet", 15),
              RaisedWhere([&] { port.Get("Nope"); }));
    const std::string n(600, 'n'), d(300, 'd'), cut = n.substr(0, 255) + "/" + d.substr(0, 255);
    // Name, properties, servers; the port and time-out asked for, each device's name/description.
    const std::tuple<const char*, const XCamera::PropertySet*, decltype(Tr().Servers), std::string>
        cases[] = {
            {"no set", nullptr, {{"B:1", "b"}, {"A:1", "a"}}, "61696 1000;B:1/b;A:1/a"},
            {"set without PortNumber", &other, {}, "61696 1000"},
            {"PortNumber given", &port, {{"cam", ""}}, "3956 1000;cam/"},
            {"long name cut", nullptr, {{n, d}}, "61696 1000;" + cut},
        };
    for (const auto& [name, properties, servers, want] : cases) {
        Tr().Reset();
        Tr().Servers = servers;
        std::string got;
        for (const auto& i : DeviceManager::Instance().EnumerateDevices("GxCam", properties)) {
            const bool plain =
                i.DeviceClass == "GxCam" && i.Properties.Empty() && i.SubDevices.empty();
            got += ";" + i.Name + "/" + i.Description + (plain ? "" : "!");
        }
        EXPECT_EQ((std::vector<std::string>{"GxInit", "GxEnumServer"}), Tr().Names()) << name;
        const auto& call = Tr().Calls.at(1);
        EXPECT_EQ(want, call.Text + " " + std::to_string(call.Args.at(0)) + got) << name;
    }
    Tr().Reset();
    Tr().Script("GxInit", {0xC0000050u});
    EXPECT_EQ(Where("DeviceIo", TextOf(0xC0000050u), "gxdevice/Gx", 23),
              RaisedWhere([] { DeviceManager::Instance().EnumerateDevices("GxCam"); }));
}

TEST_F(DeviceManagerTest, CreateAndDestroy) {
    auto& manager = DeviceManager::Instance();
    XCamera::DeviceInfo info;
    info.Name = "127.0.0.2:eXcite";
    info.DeviceClass = "GxCam";
    const size_t before = manager.CreatedDeviceCount();
    XCamera::IDevice* device = manager.CreateDevice(info);
    ASSERT_NE(nullptr, dynamic_cast<XCamera::CGxCamera*>(device));
    EXPECT_EQ(std::make_pair(before + 1, info.Name),
              std::make_pair(manager.CreatedDeviceCount(), device->GetDeviceInfo().Name));
    device->Open();
    Tr().Calls.clear();
    manager.DestroyDevice(device);
    EXPECT_EQ((std::vector<std::string>{"GxClose", "GxExit"}), Tr().Names())
        << "destroying an open camera closes it";

    info.DeviceClass = "NoSuchCam";
    const std::string unknown = "Runtime: Unknown device (device/DeviceManager:43)";
    const std::string type = "Runtime: Unknown device type: 'NoSuchCam' (device/DeviceManager:";
    EXPECT_EQ(unknown + unknown + type + "35)" + type + "57)",
              RaisedWhere([&] { manager.DestroyDevice(device); }) + RaisedWhere([&] {
                  manager.DestroyDevice(nullptr);
              }) + RaisedWhere([&] { manager.CreateDevice(info); }) +
                  RaisedWhere([&] { manager.EnumerateDevices("NoSuchCam"); }));
    EXPECT_EQ(before, manager.CreatedDeviceCount()) << "nothing listed after a failure";
}

} // namespace
