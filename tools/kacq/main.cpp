// kacq: command-line front end of the host library's application API.
// Exit codes: 0 success, 1 an operation failed (its host code is printed),
// 2 usage error.
#include <inttypes.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "Acquire.h"
#include "Common.h"
#include "Features.h"
#include "Session.h"
#include "korlan/KorlanApp.h"
#include "view/ViewCommand.h"

namespace {

using KacqTool::kExitFailed;
using KacqTool::kExitOk;
using KacqTool::kExitUsage;

const char* const kDefaultInterface = "eXcite";

struct Command {
    const char* name;
    const char* summary;
    const char* usage;
    int (*run)(const std::vector<std::string>& args);
};

int fail(const char* what, KErr code) {
    return KacqTool::HostFailure(what, code);
}

int usageError(const std::string& message, const char* usage) {
    return KacqTool::UsageError(message, usage);
}

void printValue(const HostValue& v) {
    if (v.type == HOST_VALUE_TEXT)
        printf("\"%s\"", v.value.s);
    else
        printf("%" PRId32, v.value.i);
}

// Options shared by the commands: --interface NAME. Returns false on a
// usage error (message already printed).
bool parseInterface(const std::vector<std::string>& args, std::string* name, const char* usage,
                    int* exitCode) {
    *name = kDefaultInterface;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--interface" && i + 1 < args.size()) {
            *name = args[++i];
        } else {
            *exitCode = usageError("unexpected argument '" + args[i] + "'", usage);
            return false;
        }
    }
    return true;
}

const char* const kInfoUsage = "kacq info [--interface NAME]";

int runInfo(const std::vector<std::string>& args) {
    std::string name;
    int exitCode = kExitOk;
    if (!parseInterface(args, &name, kInfoUsage, &exitCode))
        return exitCode;
    KInterface* iface = nullptr;
    KErr rc = KOpenInterface(name.c_str(), &iface);
    if (rc != K_OK)
        return fail("loading the interface", rc);
    int32_t maxInstances = 0;
    HostValue* values = nullptr;
    int32_t count = 0;
    rc = KGetMaxInstances(iface, &maxInstances);
    if (rc == K_OK)
        rc = KGetInterfaceDefaults(iface, &values, &count);
    if (rc != K_OK) {
        KCloseInterface(iface);
        return fail("reading the interface record", rc);
    }
    printf("Interface: %s\n", name.c_str());
    printf("Maximum instances: %" PRId32 "\n", maxInstances);
    printf("Default open parameters:\n");
    for (int32_t i = 0; i < count; ++i) {
        const char* paramName = KFgDefaultName(i);
        printf("  %s: ", paramName != nullptr ? paramName : "?");
        printValue(values[i]);
        printf("\n");
    }
    KXFree(nullptr, values);
    KCloseInterface(iface);
    return kExitOk;
}

const char* const kQueryUsage = "kacq query CODE [--interface NAME]";

int runQuery(const std::vector<std::string>& args) {
    if (args.empty())
        return usageError("missing query code", kQueryUsage);
    char* end = nullptr;
    long code = strtol(args[0].c_str(), &end, 10);
    if (args[0].empty() || *end != '\0' || code < INT32_MIN || code > INT32_MAX)
        return usageError("the query code must be an integer", kQueryUsage);
    std::string name;
    int exitCode = kExitOk;
    if (!parseInterface(std::vector<std::string>(args.begin() + 1, args.end()), &name, kQueryUsage,
                        &exitCode))
        return exitCode;
    return KacqTool::QueryInterface(name, static_cast<int32_t>(code), "the information query",
                                    [](const char* text, const HostValue* values, int32_t count) {
                                        printf("%s\n", text);
                                        for (int32_t i = 0; i < count; ++i) {
                                            printf("  ");
                                            printValue(values[i]);
                                            printf("\n");
                                        }
                                    });
}

const Command kCommands[] = {
    {"info", "load the interface; print its instance limit and default open parameters", kInfoUsage,
     runInfo},
    {"query", "run an information query of the interface and print its text and values",
     kQueryUsage, runQuery},
    {"list", "list the installed cameras as the interface reports them", KacqTool::kHostListUsage,
     KacqTool::RunHostList},
    {"devices", "list the cameras on the network through the device layer: name, vendor, model",
     KacqTool::kListUsage, KacqTool::RunList},
    {"grab", "grab images from a camera into PNG files", KacqTool::kGrabUsage, KacqTool::RunGrab},
    {"stream", "grab for a while and report frames, rate and losses", KacqTool::kStreamUsage,
     KacqTool::RunStream},
    {"param", "read or write a host parameter of a camera", KacqTool::kParamUsage,
     KacqTool::RunParam},
    {"features",
     "print the feature tree of a camera (emulated, or --device): values, access, ranges",
     KacqTool::kFeaturesUsage, KacqTool::RunFeaturesOn},
    {"get", "read one feature of a camera by name", KacqTool::kGetUsage, KacqTool::RunGetOn},
    {"set", "write one feature of a camera by name and read it back", KacqTool::kSetUsage,
     KacqTool::RunSetOn},
    {"view", "serve the live image and the settings of a camera to browsers", KacqView::kViewUsage,
     KacqView::RunView},
};

const char* const kUsage = "kacq [--help] [--trace-memory] COMMAND [ARGS]";

void printHelp(FILE* out) {
    fprintf(out,
            "usage: %s\n\n"
            "Drives acquisition interfaces through the Korlan host library.\n"
            "Interface modules are loaded from $KORLAN_MODULE_DIR if set.\n\n"
            "options:\n"
            "  --trace-memory  use the host's checked allocator and report host memory\n"
            "                  still allocated or freed wrongly when the command ends\n\n"
            "commands:\n",
            kUsage);
    for (const Command& c : kCommands)
        fprintf(out, "  %-8s %s\n", c.name, c.summary);
    fprintf(out, "\n'kacq COMMAND --help' describes a command.\n"
                 "exit codes: 0 success, 1 operation failed (host code printed), 2 usage error\n");
}

bool wantsHelp(const std::vector<std::string>& args) {
    for (const std::string& a : args) {
        if (a == "--help" || a == "-h")
            return true;
    }
    return false;
}

// Prints what the host's memory check recorded, if anything.
void reportMemory() {
    std::vector<char> text(1 << 16);
    KMemCheckReport(text.data(), text.size());
    if (text[0] != '\0')
        fprintf(stderr, "kacq: memory check:\n%s", text.data());
}

} // namespace

int main(int argc, char** argv) {
    int next = 1;
    bool traceMemory = false;
    if (next < argc && strcmp(argv[next], "--trace-memory") == 0) {
        traceMemory = true;
        ++next;
    }
    if (next >= argc)
        return usageError("missing command (see 'kacq --help')", kUsage);
    std::string first = argv[next];
    if (first == "--help" || first == "-h" || first == "help") {
        printHelp(stdout);
        return kExitOk;
    }
    std::vector<std::string> args(argv + next + 1, argv + argc);
    for (const Command& c : kCommands) {
        if (first == c.name) {
            if (wantsHelp(args)) {
                printf("usage: %s\n%s\n", c.usage, c.summary);
                return kExitOk;
            }
            KTraceMemory = traceMemory ? 1 : 0;
            // Let the module print the texts of the failures it catches.
            KDoLowError = 1;
            int code = c.run(args);
            if (traceMemory)
                reportMemory();
            return code;
        }
    }
    fprintf(stderr, "kacq: unknown command '%s'\n", first.c_str());
    printHelp(stderr);
    return kExitUsage;
}
