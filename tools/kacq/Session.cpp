// kacq's camera sessions: emulated in process, or over the network.
#include "Session.h"

#include "Features.h"
#include "NetworkCamera.h"

#include <stdio.h>
#include <strings.h>

#include <exception>

#include "device/DeviceManager.h"
#include "device/GxCam.h"
#include "gxdevice/Gx.h"
#include "nodeapi/Exceptions.h"
#include "support/emulated/EmulatorPort.h"

namespace KacqTool {

const char* const kListUsage = "kacq devices [--port PORT]";

namespace {

// The device chosen with --device for this run, and the server port.
std::string g_Device;
std::string g_Port = XCamera::kDefaultPortNumber;

class EmulatedSession : public CameraSession {
public:
    explicit EmulatedSession(const Emulator::ModelSpec& model)
        : m_Camera(model), m_Features(&m_Camera.cameraPort, &m_Camera.grabberPort) {
        m_Camera.Open();
    }
    XCamInterface::CXCamInterface& Features() override { return m_Features; }

private:
    Emulator::EmulatedCamera m_Camera;
    XCamInterface::CXCamInterface m_Features;
};

class NetworkSession : public CameraSession {
public:
    NetworkSession(const std::string& device, const std::string& port) : m_Camera(device, port) {}
    XCamInterface::CXCamInterface& Features() override { return m_Camera.Camera(); }

private:
    NetworkCamera m_Camera;
};

XCamera::DeviceInfoList Enumerate(const std::string& port) {
    XCamera::PropertySet properties;
    properties.Set("PortNumber", port);
    return XCamera::DeviceManager::Instance().EnumerateDevices(XCamera::kGxCamClassName,
                                                               &properties);
}

// The address part of a device name ("127.0.0.2" of "127.0.0.2:SERIAL").
std::string AddressOf(const std::string& name) {
    return name.substr(0, name.find(':'));
}

} // namespace

std::unique_ptr<CameraSession> OpenSession(const Emulator::ModelSpec& model) {
    // Keeps the "GxCam" class's start-up registration linked into kacq.
    if (!XCamera::IsGxCamClassRegistered())
        NODEAPI_RAISE(RuntimeException, "the GxCam device class is not registered");
    if (!g_Device.empty())
        return OpenNetworkCamera(g_Device, g_Port);
    return std::make_unique<EmulatedSession>(model);
}

std::unique_ptr<CameraSession> OpenNetworkCamera(const std::string& device,
                                                 const std::string& port) {
    return std::make_unique<NetworkSession>(device, port);
}

bool SelectDevice(std::vector<std::string>& args, std::string* error) {
    std::vector<std::string> rest;
    for (size_t i = 0; i < args.size(); ++i) {
        const bool device = args[i] == "--device";
        if (device || args[i] == "--port") {
            if (i + 1 >= args.size() || args[i + 1].empty()) {
                *error = "missing value of " + args[i];
                return false;
            }
            (device ? g_Device : g_Port) = args[++i];
        } else {
            rest.push_back(args[i]);
        }
    }
    args.swap(rest);
    return true;
}

namespace {

int WithDevice(int (*run)(const std::vector<std::string>&), const char* usage,
               const std::vector<std::string>& arguments) {
    std::vector<std::string> args = arguments;
    std::string error;
    if (!SelectDevice(args, &error)) {
        fprintf(stderr, "kacq: %s\nusage: %s\n", error.c_str(), usage);
        return 2;
    }
    return run(args);
}

} // namespace

int RunFeaturesOn(const std::vector<std::string>& args) {
    return WithDevice(RunFeatures, kFeaturesUsage, args);
}
int RunGetOn(const std::vector<std::string>& args) {
    return WithDevice(RunGet, kGetUsage, args);
}
int RunSetOn(const std::vector<std::string>& args) {
    return WithDevice(RunSet, kSetUsage, args);
}

int RunList(const std::vector<std::string>& arguments) {
    std::vector<std::string> args = arguments;
    std::string error;
    if (!SelectDevice(args, &error) || !args.empty() || !g_Device.empty()) {
        fprintf(stderr, "kacq: %s\nusage: %s\n",
                error.empty() ? "unexpected argument" : error.c_str(), kListUsage);
        return 2;
    }
    try {
        const XCamera::DeviceInfoList devices = Enumerate(g_Port);
        int failures = 0;
        for (const XCamera::DeviceInfo& info : devices) {
            std::string vendor = "?";
            std::string model = "?";
            try {
                auto session = OpenNetworkCamera(AddressOf(info.Name), g_Port);
                vendor = session->Features().VendorName->GetValue();
                model = session->Features().ModelName->GetValue();
            } catch (const std::exception& e) {
                fprintf(stderr, "kacq: %s: %s\n", info.Name.c_str(), e.what());
                ++failures;
            }
            printf("%s  %s  %s\n", info.Name.c_str(), vendor.c_str(), model.c_str());
        }
        if (devices.empty())
            printf("no camera found at port %s\n", g_Port.c_str());
        return failures == 0 ? 0 : 1;
    } catch (const std::exception& e) {
        fprintf(stderr, "kacq: %s\n", e.what());
        return 1;
    }
}

} // namespace KacqTool
