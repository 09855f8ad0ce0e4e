// kacq param: read or write one host parameter of an opened camera, with the
// interface's "_description", "_range" and "_values" companions.
#include <errno.h>
#include <inttypes.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "Acquire.h"
#include "Common.h"
#include "korlan/KorlanApp.h"

namespace KacqTool {

const char* const kParamUsage = "kacq param get NAME | param set NAME VALUE... "
                                "[--device D] [--interface NAME]";

namespace {

int Fail(const std::string& what, KErr code) {
    return HostFailure(what, code);
}

int Usage(const std::string& message) {
    return UsageError(message, kParamUsage);
}

// A value that reads as a whole int32 number is an integer, anything else a
// text.
HostValue ValueOf(const std::string& text) {
    HostValue value{};
    char* end = nullptr;
    errno = 0;
    const long number = strtol(text.c_str(), &end, 10);
    if (!text.empty() && *end == '\0' && errno == 0 && number >= INT32_MIN && number <= INT32_MAX) {
        value.value.i = static_cast<int32_t>(number);
        value.type = HOST_VALUE_INT;
    } else {
        value.value.s = text.c_str();
        value.type = HOST_VALUE_TEXT;
    }
    return value;
}

void Print(const HostValue* values, int32_t count) {
    for (int32_t i = 0; i < count; ++i) {
        if (i > 0)
            printf(" ");
        if (values[i].type == HOST_VALUE_TEXT)
            printf("%s", values[i].value.s);
        else
            printf("%" PRId32, values[i].value.i);
    }
    printf("\n");
}

} // namespace

int RunParam(const std::vector<std::string>& args) {
    std::string interfaceName = "eXcite", device = "0";
    std::vector<std::string> words;
    for (size_t i = 0; i < args.size(); ++i) {
        if ((args[i] == "--device" || args[i] == "--interface") && i + 1 < args.size()) {
            (args[i] == "--device" ? device : interfaceName) = args[i + 1];
            ++i;
        } else {
            words.push_back(args[i]);
        }
    }
    if (words.size() < 2 || (words[0] != "get" && words[0] != "set"))
        return Usage("expected 'get NAME' or 'set NAME VALUE...'");
    const bool set = words[0] == "set";
    if (!set && words.size() != 2)
        return Usage("'get' takes one name");
    if (set && (words.size() < 3 || words.size() - 2 > K_MAX_PARAM_VALUES))
        return Usage("'set' takes a name and 1 to 16 values");
    if (device.empty() || device.size() >= sizeof(HostOpenParameters::device))
        return Usage("the device must be 1 to 1023 characters");

    KInterface* iface = nullptr;
    KErr rc = KOpenInterface(interfaceName.c_str(), &iface);
    if (rc != K_OK)
        return Fail("loading the interface", rc);
    HostOpenParameters params{};
    KGetDefaultOpenParameters(iface, &params);
    snprintf(params.device, sizeof params.device, "%s", device.c_str());
    KAcqInstance* instance = nullptr;
    rc = KOpenInstance(iface, &params, &instance);
    if (rc != K_OK) {
        KCloseInterface(iface);
        return Fail("opening the camera", rc);
    }
    int code = 0;
    const std::string& name = words[1];
    if (set) {
        std::vector<HostValue> values;
        for (size_t i = 2; i < words.size(); ++i)
            values.push_back(ValueOf(words[i]));
        rc = KSetParameter(instance, name.c_str(), values.data(),
                           static_cast<int32_t>(values.size()));
        code = rc == K_OK ? 0 : Fail(("setting '" + name + "'").c_str(), rc);
    }
    // Setting reads the parameter back when it can be read.
    HostValue* values = nullptr;
    int32_t count = 0;
    if (code == 0) {
        rc = KGetParameter(instance, name.c_str(), &values, &count);
        if (rc == K_OK)
            Print(values, count);
        else if (!set)
            code = Fail(("reading '" + name + "'").c_str(), rc);
    }
    if (values != nullptr)
        KXFree(nullptr, values);
    KCloseInstance(instance);
    KCloseInterface(iface);
    return code;
}

} // namespace KacqTool
