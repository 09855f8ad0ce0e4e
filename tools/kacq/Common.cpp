// kacq's shared failure reports and category look-up.
#include "Common.h"

#include "xcam/FeatureTree.h"

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

int QueryInterface(
    const std::string& name, int32_t code, const char* what,
    const std::function<void(const char* text, const HostValue* values, int32_t count)>& print) {
    KInterface* iface = nullptr;
    KErr rc = KOpenInterface(name.c_str(), &iface);
    if (rc != K_OK)
        return HostFailure("loading the interface", rc);
    char text[1024];
    HostValue* values = nullptr;
    int32_t count = 0;
    rc = KQueryInfo(iface, code, text, sizeof text, &values, &count);
    if (rc != K_OK) {
        KCloseInterface(iface);
        return HostFailure(what, rc);
    }
    print(text, values, count);
    if (values != nullptr)
        KXFree(nullptr, values);
    KCloseInterface(iface);
    return kExitOk;
}

std::vector<std::string> CategoryMembers(const std::string& name) {
    std::size_t count = 0;
    const XCamInterface::FeatureNodeRow* nodes = XCamInterface::FeatureNodes(&count);
    const XCamInterface::FeaturePropertyRow* properties = XCamInterface::FeatureProperties(nullptr);
    std::vector<std::string> members;
    for (std::size_t i = 0; i < count; ++i) {
        if (name != nodes[i].name || std::string(nodes[i].className) != "CCategory")
            continue;
        for (std::size_t p = 0; p < nodes[i].propertyCount; ++p) {
            const XCamInterface::FeaturePropertyRow& row = properties[nodes[i].firstProperty + p];
            if (std::string(row.name) == "pFeature")
                members.push_back(row.value);
        }
    }
    return members;
}

} // namespace KacqTool
