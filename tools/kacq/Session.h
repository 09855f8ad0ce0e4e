// The camera a kacq feature command works on: an emulated camera in this
// process, or a network camera opened through the device layer and the
// transport library ("--device ADDRESS").
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "emulator/Model.h"
#include "xcam/XCamInterface.h"

namespace KacqTool {

class CameraSession {
public:
    virtual ~CameraSession() = default;
    virtual XCamInterface::CXCamInterface& Features() = 0;
};

// The camera of one command: the network camera chosen by SelectDevice, else
// an emulated camera of model, open. Raises what opening raises.
std::unique_ptr<CameraSession> OpenSession(const Emulator::ModelSpec& model);

// A network camera: the enumerated "GxCam" device whose name up to its first
// ":" equals device ignoring case ("0": the first found), created and opened;
// closed and destroyed with the session. Raises when none matches.
std::unique_ptr<CameraSession> OpenNetworkCamera(const std::string& device,
                                                 const std::string& port);

// Takes "--device ADDRESS" and "--port PORT" out of args and remembers them
// for OpenSession. False with error set for an option without its value.
bool SelectDevice(std::vector<std::string>& args, std::string* error);

// kacq features/get/set with the device options taken out first.
int RunFeaturesOn(const std::vector<std::string>& args);
int RunGetOn(const std::vector<std::string>& args);
int RunSetOn(const std::vector<std::string>& args);

// kacq devices: every camera the transport finds, with vendor and model.
extern const char* const kListUsage;
int RunList(const std::vector<std::string>& args);

} // namespace KacqTool
