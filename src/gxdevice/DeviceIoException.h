// DeviceIoException: a failing transport status, described by the transport
// library's own status text.
#pragma once

#include <cstdint>
#include <string>

#include "nodeapi/Exceptions.h"

namespace XCamera {

class DeviceIoException : public NodeApi::GenericException {
public:
    // The description is GetStatusText(status).
    DeviceIoException(uint32_t status, const std::string& sourceFileName, uint32_t sourceLine);
};

} // namespace XCamera
