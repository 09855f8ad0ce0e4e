// DeviceIoException: described by the transport's status text.
#include "gxdevice/DeviceIoException.h"

#include "gxdevice/Gx.h"

namespace XCamera {

DeviceIoException::DeviceIoException(uint32_t status, const std::string& sourceFileName,
                                     uint32_t sourceLine)
    : NodeApi::GenericException(GetStatusText(status), sourceFileName, sourceLine) {}

} // namespace XCamera
