// kacq's acquisition commands over the host library and the loaded module:
// list cameras, grab images to PNG files, measure a stream, read and write
// host parameters.
#pragma once

#include <string>
#include <vector>

namespace KacqTool {

extern const char* const kHostListUsage;
extern const char* const kGrabUsage;
extern const char* const kStreamUsage;
extern const char* const kParamUsage;

// Each answers kacq's exit code: 0 done, 1 an operation failed (its host
// code and text printed), 2 usage error.
int RunHostList(const std::vector<std::string>& args);
int RunGrab(const std::vector<std::string>& args);
int RunStream(const std::vector<std::string>& args);
int RunParam(const std::vector<std::string>& args);

} // namespace KacqTool
