// kacq's feature commands: browse, read and write the feature tree of an
// emulated camera in this process.
#pragma once

#include <string>
#include <vector>

namespace KacqTool {

extern const char* const kFeaturesUsage;
extern const char* const kGetUsage;
extern const char* const kSetUsage;

// Each answers kacq's exit code: 0 done, 1 the feature operation failed,
// 2 usage error.
int RunFeatures(const std::vector<std::string>& args);
int RunGet(const std::vector<std::string>& args);
int RunSet(const std::vector<std::string>& args);

} // namespace KacqTool
