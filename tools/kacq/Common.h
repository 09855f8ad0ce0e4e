// What every kacq command shares: its exit codes, the two ways it reports a
// failure on standard error, and the feature tree's category members.
#pragma once

#include "korlan/KorlanApp.h"

#include <functional>
#include <string>
#include <vector>

namespace KacqTool {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1; // an operation failed; what and why printed
constexpr int kExitUsage = 2;  // the command line was wrong; the usage printed

// Prints "kacq: MESSAGE" and the command's usage line; answers kExitUsage.
int UsageError(const std::string& message, const char* usage);

// Prints the host code of a failed host-library call and what the interface
// last said, if anything; answers kExitFailed.
int HostFailure(const std::string& what, KErr code);

// Loads the interface `name`, asks information query `code` and hands its
// text and value list to `print`; the interface is closed and the list freed
// afterwards. Failures are reported as "WHAT failed". Answers the exit code.
int QueryInterface(
    const std::string& name, int32_t code, const char* what,
    const std::function<void(const char* text, const HostValue* values, int32_t count)>& print);

// The members of a category of the camera's feature tree as the tree lists
// them ("pFeature" rows, in order); empty for any other node. A category's own
// links (pIsPresent) are children too but not members.
std::vector<std::string> CategoryMembers(const std::string& name);

} // namespace KacqTool
