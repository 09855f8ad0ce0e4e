// Device manager, property set and the "GxCam" class over the recording
// transport.
#include "device/DeviceManager.h"
#include "gxdevice/DeviceIoException.h"
#include "support/transport/CameraRig.h"

using namespace KacqTest;
using NodeApi::RuntimeException;
using XCamera::DeviceInfo;
using XCamera::DeviceManager;
using XCamera::PropertySet;

namespace {

const char* const kManager = "device/DeviceManager";

using DeviceManagerTest = CameraTest;

TEST_F(DeviceManagerTest, GxCamIsRegisteredOnceAtStartUp) {
    EXPECT_TRUE(XCamera::IsGxCamClassRegistered());
    EXPECT_FALSE(DeviceManager::Instance().RegisterDeviceClass("GxCam", nullptr, nullptr, nullptr))
        << "a second registration keeps the first";
}

TEST_F(DeviceManagerTest, EnumerationKeepsTheTransportsOrderAndPort) {
    PropertySet withPort;
    withPort.Set("PortNumber", "3956");
    PropertySet otherOnly;
    otherOnly.Set("Other", "1");
    struct Case {
        const char* name;
        const PropertySet* properties;
        std::vector<std::pair<std::string, std::string>> servers;
        std::string port;
    } cases[] = {
        {"no set", nullptr, {{"127.0.0.3:B", "second"}, {"127.0.0.2:A", "first"}}, "61696"},
        {"set without PortNumber", &otherOnly, {}, "61696"},
        {"PortNumber given", &withPort, {{"cam", ""}}, "3956"},
        {"long name cut", nullptr, {{std::string(600, 'n'), std::string(300, 'd')}}, "61696"},
    };
    for (const auto& c : cases) {
        Tr().Reset();
        Tr().Servers = c.servers;
        const auto list = DeviceManager::Instance().EnumerateDevices("GxCam", c.properties);
        EXPECT_EQ((std::vector<std::string>{"GxInit", "GxEnumServer"}), Tr().Names()) << c.name;
        EXPECT_EQ(c.port, Tr().Calls.at(1).Text) << c.name;
        EXPECT_EQ(1000u, Tr().Calls.at(1).Args.at(0)) << c.name;
        ASSERT_EQ(c.servers.size(), list.size()) << c.name;
        auto it = list.begin();
        for (const auto& server : c.servers) {
            EXPECT_EQ(server.first.substr(0, 255), it->Name) << c.name;
            EXPECT_EQ(server.second.substr(0, 255), it->Description) << c.name;
            EXPECT_EQ("GxCam", it->DeviceClass);
            EXPECT_TRUE(it->Properties.Empty() && it->SubDevices.empty());
            ++it;
        }
    }
    Tr().Reset();
    Tr().Script("GxInit", {0xC0000050u});
    EXPECT_EQ(Where("DeviceIo", TextOf(0xC0000050u), "gxdevice/Gx", 23),
              RaisedWhere([] { DeviceManager::Instance().EnumerateDevices("GxCam"); }))
        << "transport does not start";
}

TEST_F(DeviceManagerTest, CreateAndDestroy) {
    auto& manager = DeviceManager::Instance();
    DeviceInfo info;
    info.Name = "127.0.0.2:eXcite";
    info.DeviceClass = "GxCam";
    const size_t before = manager.CreatedDeviceCount();
    XCamera::IDevice* device = manager.CreateDevice(info);
    ASSERT_NE(nullptr, dynamic_cast<XCamera::CGxCamera*>(device));
    EXPECT_EQ(before + 1, manager.CreatedDeviceCount());
    EXPECT_EQ("127.0.0.2:eXcite", device->GetDeviceInfo().Name);
    device->Open();
    Tr().Calls.clear();
    manager.DestroyDevice(device);
    EXPECT_EQ((std::vector<std::string>{"GxClose", "GxExit"}), Tr().Names())
        << "destroying an open camera closes it";
    EXPECT_EQ(before, manager.CreatedDeviceCount());

    const std::string unknownDevice = Where("Runtime", "Unknown device", kManager, 43);
    EXPECT_EQ(unknownDevice, RaisedWhere([&] { manager.DestroyDevice(device); }))
        << "double destroy";
    EXPECT_EQ(unknownDevice, RaisedWhere([&] { manager.DestroyDevice(nullptr); })) << "null";

    info.DeviceClass = "NoSuchCam";
    EXPECT_EQ(Where("Runtime", "Unknown device type: 'NoSuchCam'", kManager, 35),
              RaisedWhere([&] { manager.CreateDevice(info); }))
        << "create";
    EXPECT_EQ(Where("Runtime", "Unknown device type: 'NoSuchCam'", kManager, 57),
              RaisedWhere([&] { manager.EnumerateDevices("NoSuchCam"); }))
        << "enumerate";
    EXPECT_EQ(before, manager.CreatedDeviceCount()) << "nothing listed after a failure";
}

TEST_F(DeviceManagerTest, PropertySetKeepsTheFirstValue) {
    PropertySet set;
    set.Set("PortNumber", "61696");
    set.Set("PortNumber", "1");
    EXPECT_EQ("61696", set.Get("PortNumber"));
    EXPECT_TRUE(set.Has("PortNumber") && !set.Has("portnumber"));
    EXPECT_EQ(Where("Runtime", "Requested non-existing property 'Nope'", "device/PropertySet", 15),
              RaisedWhere([&] { set.Get("Nope"); }))
        << "get";
}

} // namespace
