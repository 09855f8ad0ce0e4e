// kacq-emu: serves emulated cameras on loopback addresses until SIGINT or
// SIGTERM. Exit codes: 0 stopped cleanly, 1 could not serve, 2 usage error.
#include "emulator/Model.h"
#include "emulator/net/NetServer.h"
#include "emulator/net/UdpSocket.h"

#include <arpa/inet.h>
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

using namespace Emulator;

const char kUsage[] =
    "usage: kacq-emu [options]\n"
    "Serves emulated cameras on loopback addresses until interrupted.\n"
    "  --cameras N            number of cameras, each on the next address (default 1)\n"
    "  --model KEY            vga-mono or 2mp-bayer (default vga-mono)\n"
    "  --address 127.0.0.K    first camera's address (default 127.0.0.1)\n"
    "  --port P               UDP port of every camera (default 61696; 0 = ephemeral)\n"
    "  --max-rate             send frames as fast as possible\n"
    "  --drop P               drop stream packets with probability P (0..1)\n"
    "  --duplicate P          send stream packets twice with probability P\n"
    "  --reorder P            send stream packets late with probability P\n"
    "  --drop-ack P           drop control acknowledges with probability P\n"
    "  --ack-delay MS         answer control commands MS milliseconds late\n"
    "  --deny-control         refuse every attempt to take control\n"
    "  --stop-mid-frame F:K   stop streaming after K packets of frame F\n"
    "  --stop-after-frames N  stop serving after N frames per camera\n"
    "  --seed S               seed of the fault dice (default 1)\n"
    "  --help                 this text\n";

volatile sig_atomic_t gSignal = 0;

void OnSignal(int signal) {
    gSignal = signal;
}

int Usage(const std::string& message) {
    std::fprintf(stderr, "kacq-emu: %s\n%s", message.c_str(), kUsage);
    return 2;
}

bool ParseUnsigned(const char* text, uint64_t max, uint64_t& value) {
    if (text == nullptr || *text < '0' || *text > '9') {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    const unsigned long long v = std::strtoull(text, &end, 10);
    if (errno != 0 || *end != '\0' || v > max) {
        return false;
    }
    value = v;
    return true;
}

bool ParseProbability(const char* text, double& value) {
    if (text == nullptr || *text == '\0') {
        return false;
    }
    char* end = nullptr;
    const double v = std::strtod(text, &end);
    if (*end != '\0' || !(v >= 0.0 && v <= 1.0)) {
        return false;
    }
    value = v;
    return true;
}

} // namespace

int main(int argc, char** argv) {
    NetOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        uint64_t number = 0;
        bool ok = true;
        bool takesValue = true;
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--max-rate") {
            options.maxRate = true;
            takesValue = false;
        } else if (arg == "--deny-control") {
            options.faults.denyControl = true;
            takesValue = false;
        } else if (arg == "--cameras") {
            ok = ParseUnsigned(value, 256, number) && number > 0;
            options.cameras = unsigned(number);
        } else if (arg == "--model") {
            ok = value != nullptr && FindModel(value) != nullptr;
            if (ok) {
                options.model = value;
            }
        } else if (arg == "--address") {
            in_addr a{};
            ok = value != nullptr && inet_pton(AF_INET, value, &a) == 1;
            options.firstAddress = ntohl(a.s_addr);
            if (ok && !IsLoopback(options.firstAddress)) {
                return Usage(std::string("refusing ") + value + ": not a loopback address");
            }
        } else if (arg == "--port") {
            ok = ParseUnsigned(value, 65535, number);
            options.port = uint16_t(number);
        } else if (arg == "--drop") {
            ok = ParseProbability(value, options.faults.dropPacket);
        } else if (arg == "--duplicate") {
            ok = ParseProbability(value, options.faults.duplicatePacket);
        } else if (arg == "--reorder") {
            ok = ParseProbability(value, options.faults.reorderPacket);
        } else if (arg == "--drop-ack") {
            ok = ParseProbability(value, options.faults.dropAck);
        } else if (arg == "--ack-delay") {
            ok = ParseUnsigned(value, 60000, number);
            options.faults.ackDelayMs = uint32_t(number);
        } else if (arg == "--stop-mid-frame") {
            const char* colon = value != nullptr ? std::strchr(value, ':') : nullptr;
            uint64_t packets = 0;
            ok = colon != nullptr &&
                 ParseUnsigned(std::string(value, colon).c_str(), UINT64_MAX, number) &&
                 number > 0 && ParseUnsigned(colon + 1, 0xFFFFFF, packets);
            options.faults.stopFrame = number;
            options.faults.stopAfterPackets = uint32_t(packets);
        } else if (arg == "--stop-after-frames") {
            ok = ParseUnsigned(value, UINT64_MAX, number) && number > 0;
            options.faults.exitAfterFrames = number;
        } else if (arg == "--seed") {
            ok = ParseUnsigned(value, UINT64_MAX, number);
            options.seed = number;
        } else {
            return Usage("unknown option '" + arg + "'");
        }
        if (!ok) {
            return Usage("bad or missing value for " + arg);
        }
        if (takesValue) {
            ++i;
        }
    }

    // Signals are noted, not acted on inside the handler.
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);

    NetServer server(options);
    const uint16_t port = server.Start();
    if (port == 0) {
        std::fprintf(stderr, "kacq-emu: cannot serve: %s\n", server.Error().c_str());
        return 1;
    }
    for (unsigned i = 0; i < server.Cameras(); ++i) {
        std::printf("kacq-emu: camera %u at %s:%u, model %s, serial %s\n", i,
                    AddressText(server.Address(i)).c_str(), unsigned(port), options.model.c_str(),
                    server.Serial(i).c_str());
    }
    std::fflush(stdout);
    while (gSignal == 0) {
        if (server.WaitUntilFinished(std::chrono::milliseconds(100))) {
            std::printf("kacq-emu: every camera stopped serving\n");
            break;
        }
    }
    server.Stop();
    if (gSignal != 0) {
        std::printf("kacq-emu: stopped by signal %d\n", int(gSignal));
    }
    return 0;
}
