// kacq list, grab and stream: open one instance of the interface with the
// options given, grab through the host library and report what happened.
#include <errno.h>
#include <inttypes.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <chrono>
#include <string>
#include <vector>

#include "Acquire.h"
#include "Common.h"
#include "korlan/KorlanApp.h"

namespace KacqTool {

const char* const kHostListUsage = "kacq list [--interface NAME]";
const char* const kGrabUsage =
    "kacq grab [-n N] [-o DIR] [--device D] [--width W] [--height H] [--row R] [--column C]\n"
    "          [--bits 8|10|12] [--color-space gray|bayer] [--trigger] [--volatile] [--async]\n"
    "          [--timeout MS] [--interface NAME]";
const char* const kStreamUsage =
    "kacq stream [--seconds S] [--device D] [--width W] [--height H] [--bits 8|10|12]\n"
    "            [--color-space gray|bayer] [--volatile] [--timeout MS] [--interface NAME]";

namespace {

using Clock = std::chrono::steady_clock;

int Fail(const char* what, KErr code) {
    return HostFailure(what, code);
}

int Usage(const std::string& message, const char* usage) {
    return UsageError(message, usage);
}

bool ParseInt(const std::string& text, long low, long high, int32_t* out) {
    char* end = nullptr;
    errno = 0;
    const long value = strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || value < low || value > high)
        return false;
    *out = static_cast<int32_t>(value);
    return true;
}

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

// What grab and stream share: the interface, the open parameters and the
// switches that apply after opening.
struct Session {
    std::string interfaceName = "eXcite";
    HostOpenParameters params{};
    bool volatileMode = false;
    bool async = false;
    int32_t timeoutMs = 0; // 0: the interface's default
    int32_t frames = 1;
    std::string outDir = ".";
    double seconds = 1.0;
    KInterface* iface = nullptr;
    KAcqInstance* instance = nullptr;

    ~Session() {
        if (instance != nullptr)
            KCloseInstance(instance);
        if (iface != nullptr)
            KCloseInterface(iface);
    }
};

// Parses the options grab and stream share; `grab` allows the grab-only
// ones. Answers -1 when all was well, else the exit code.
int ParseOptions(const std::vector<std::string>& args, bool grab, Session& s) {
    const char* usage = grab ? kGrabUsage : kStreamUsage;
    std::string device = "0", colorSpace = "gray";
    int32_t width = 0, height = 0, row = 0, column = 0, bits = 8;
    bool trigger = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        const std::string value = hasValue ? args[i + 1] : std::string();
        int32_t* number = nullptr;
        long low = 0, high = 1 << 30;
        if (a == "--volatile") {
            s.volatileMode = true;
            continue;
        }
        if (grab && a == "--async") {
            s.async = true;
            continue;
        }
        if (grab && a == "--trigger") {
            trigger = true;
            continue;
        }
        if (!hasValue)
            return Usage("unexpected or incomplete argument '" + a + "'", usage);
        ++i;
        if (a == "--interface") {
            s.interfaceName = value;
        } else if (a == "--device") {
            if (value.empty() || value.size() >= sizeof s.params.device)
                return Usage("the device must be 1 to 1023 characters", usage);
            device = value;
        } else if (a == "--color-space") {
            if (value.empty() || value.size() >= sizeof s.params.colorSpace)
                return Usage("the colour space must be 1 to 1023 characters", usage);
            colorSpace = value;
        } else if (a == "--seconds" && !grab) {
            char* end = nullptr;
            s.seconds = strtod(value.c_str(), &end);
            if (value.empty() || *end != '\0' || !(s.seconds > 0 && s.seconds <= 3600))
                return Usage("--seconds takes a number of seconds up to 3600", usage);
        } else if (a == "-o" && grab) {
            s.outDir = value;
        } else {
            if (a == "-n" && grab) {
                number = &s.frames;
                low = 1;
                high = 1000000;
            } else if (a == "--width") {
                number = &width;
            } else if (a == "--height") {
                number = &height;
            } else if (a == "--row" && grab) {
                number = &row;
            } else if (a == "--column" && grab) {
                number = &column;
            } else if (a == "--bits") {
                number = &bits;
                high = 64;
            } else if (a == "--timeout") {
                number = &s.timeoutMs;
                low = 1;
                high = 3600000;
            } else {
                return Usage("unexpected argument '" + a + "'", usage);
            }
            if (!ParseInt(value, low, high, number))
                return Usage("'" + value + "' is not a valid value for " + a, usage);
        }
    }
    KErr rc = KOpenInterface(s.interfaceName.c_str(), &s.iface);
    if (rc != K_OK)
        return Fail("loading the interface", rc);
    rc = KGetDefaultOpenParameters(s.iface, &s.params);
    if (rc != K_OK)
        return Fail("reading the default open parameters", rc);
    snprintf(s.params.device, sizeof s.params.device, "%s", device.c_str());
    snprintf(s.params.colorSpace, sizeof s.params.colorSpace, "%s", colorSpace.c_str());
    s.params.imageWidth = width;
    s.params.imageHeight = height;
    s.params.startRow = row;
    s.params.startColumn = column;
    s.params.bitsPerChannel = bits;
    s.params.externalTrigger = trigger ? 1 : 0;
    return -1;
}

KErr SetText(KAcqInstance* instance, const char* name, const char* text) {
    HostValue value{};
    value.value.s = text;
    value.type = HOST_VALUE_TEXT;
    return KSetParameter(instance, name, &value, 1);
}

KErr SetInt(KAcqInstance* instance, const char* name, int32_t number) {
    HostValue value{};
    value.value.i = number;
    value.type = HOST_VALUE_INT;
    return KSetParameter(instance, name, &value, 1);
}

// Opens the instance and applies the switches; answers -1 or the exit code.
int OpenSession(Session& s) {
    KErr rc = KOpenInstance(s.iface, &s.params, &s.instance);
    if (rc != K_OK) {
        s.instance = nullptr;
        return Fail("opening the camera", rc);
    }
    if (s.volatileMode && (rc = SetText(s.instance, "volatile", "enable")) != K_OK)
        return Fail("switching to volatile mode", rc);
    if (s.timeoutMs > 0 && (rc = SetInt(s.instance, "grab_timeout", s.timeoutMs)) != K_OK)
        return Fail("setting the grab time-out", rc);
    return -1;
}

// The camera's name as the interface lists it (its only instance is the
// first slot's), else the device text asked for.
std::string CameraName(Session& s) {
    char text[256];
    HostValue* values = nullptr;
    int32_t count = 0;
    std::string name = s.params.device;
    if (KQueryInfo(s.iface, 12, text, sizeof text, &values, &count) == K_OK && count > 0 &&
        values[0].type == HOST_VALUE_TEXT)
        name = values[0].value.s;
    if (values != nullptr)
        KXFree(nullptr, values);
    return name;
}

} // namespace

int RunHostList(const std::vector<std::string>& args) {
    std::string name = "eXcite";
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--interface" && i + 1 < args.size())
            name = args[++i];
        else
            return Usage("unexpected argument '" + args[i] + "'", kHostListUsage);
    }
    return QueryInterface(name, 5, "listing the cameras",
                          [](const char* text, const HostValue* values, int32_t count) {
                              printf("%s: %" PRId32 "\n", text, count);
                              for (int32_t i = 0; i < count; ++i)
                                  if (values[i].type == HOST_VALUE_TEXT)
                                      printf("  %s\n", values[i].value.s);
                          });
}

int RunGrab(const std::vector<std::string>& args) {
    Session s;
    int code = ParseOptions(args, true, s);
    if (code >= 0)
        return code;
    if (mkdir(s.outDir.c_str(), 0777) != 0 && errno != EEXIST) {
        fprintf(stderr, "kacq: cannot create '%s': %s\n", s.outDir.c_str(), strerror(errno));
        return kExitFailed;
    }
    if ((code = OpenSession(s)) >= 0)
        return code;
    const HostInstance* record = nullptr;
    KGetInstanceRecord(s.instance, &record);
    const std::string camera = CameraName(s);

    const Clock::time_point start = Clock::now();
    Clock::time_point lastProgress = start;
    bool progressShown = false;
    HostImage image{};
    KErr rc = K_OK;
    if (s.async)
        rc = KStartAsyncGrab(s.instance, 1000.0);
    for (int32_t n = 0; rc == K_OK && n < s.frames; ++n) {
        rc = s.async ? KGrabImageAsync(s.instance, 1000.0, &image) : KGrabImage(s.instance, &image);
        if (rc != K_OK) {
            if (progressShown)
                fprintf(stderr, "\n");
            KClearImage(&image);
            return Fail("grabbing", rc);
        }
        char path[4096];
        snprintf(path, sizeof path, "%s/image_%04" PRId32 ".png", s.outDir.c_str(), n);
        rc = KWritePng(&image, path);
        if (rc != K_OK) {
            KClearImage(&image);
            fprintf(stderr, "kacq: writing '%s' failed: host error %d (%s)\n", path, rc,
                    KErrorText(rc));
            return kExitFailed;
        }
        // Grabs that take longer than a second show how far they are.
        if (std::chrono::duration<double>(Clock::now() - lastProgress).count() >= 1.0) {
            lastProgress = Clock::now();
            fprintf(stderr, "\rkacq: %" PRId32 "/%" PRId32 " images, %.1f fps", n + 1, s.frames,
                    (n + 1) / Seconds(start));
            progressShown = true;
        }
    }
    const double elapsed = Seconds(start);
    KClearImage(&image);
    if (progressShown)
        fprintf(stderr, "\n");
    printf("camera %s: %" PRId32 " images of %" PRId32 "x%" PRId32 ", %" PRId32
           " bits, %s%s, in %.3f s (%.1f fps) to %s/\n",
           camera.c_str(), s.frames, record->params.imageWidth, record->params.imageHeight,
           record->params.bitsPerChannel, record->params.colorSpace,
           s.volatileMode ? ", volatile" : "", elapsed, elapsed > 0 ? s.frames / elapsed : 0.0,
           s.outDir.c_str());
    return kExitOk;
}

int RunStream(const std::vector<std::string>& args) {
    Session s;
    int code = ParseOptions(args, false, s);
    if (code >= 0)
        return code;
    if ((code = OpenSession(s)) >= 0)
        return code;
    const HostInstance* record = nullptr;
    KGetInstanceRecord(s.instance, &record);
    const std::string camera = CameraName(s);
    const int64_t frameBytes = int64_t(record->params.imageWidth) * record->params.imageHeight *
                               (record->params.bitsPerChannel == 8 ? 1 : 2);

    uint64_t frames = 0, incomplete = 0, failed = 0;
    HostImage image{};
    const Clock::time_point start = Clock::now();
    while (Seconds(start) < s.seconds) {
        const KErr rc = KGrabImage(s.instance, &image);
        if (rc == K_OK)
            ++frames;
        else if (rc == K_ERR_GRAB_FAILED)
            ++incomplete; // timed out or delivered incomplete
        else
            ++failed;
        if (failed > 100)
            break;
    }
    const double elapsed = Seconds(start);
    KClearImage(&image);
    printf("camera %s: %" PRId32 "x%" PRId32 ", %" PRId32 " bits, %.2f s\n", camera.c_str(),
           record->params.imageWidth, record->params.imageHeight, record->params.bitsPerChannel,
           elapsed);
    printf("frames %" PRIu64 ", %.1f fps, %.2f MB/s, incomplete or timed out %" PRIu64
           ", failed %" PRIu64 "\n",
           frames, frames / elapsed, frames * double(frameBytes) / elapsed / 1e6, incomplete,
           failed);
    // The transport's resend counters belong to the stream grabber inside the
    // module; the host API does not reach them.
    printf("resent packets: not visible through the host library\n");
    return failed > 100 ? kExitFailed : kExitOk;
}

} // namespace KacqTool
