// kacq's shared failure reports.
#include "Common.h"

#include <stdio.h>

namespace KacqTool {

int UsageError(const std::string& message, const char* usage) {
    fprintf(stderr, "kacq: %s\nusage: %s\n", message.c_str(), usage);
    return kExitUsage;
}

int HostFailure(const std::string& what, KErr code) {
    char message[1024];
    KGetLastErrorMessage(message, sizeof message);
    fprintf(stderr, "kacq: %s failed: host error %d (%s)\n", what.c_str(), code, KErrorText(code));
    if (message[0] != '\0')
        fprintf(stderr, "kacq: the interface said: %s\n", message);
    return kExitFailed;
}

} // namespace KacqTool
