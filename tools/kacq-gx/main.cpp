// kacq-gx: a second process on the transport library. Lists the cameras that
// answer discovery, and grabs frames from one of them with the statistics
// of its stream grabber.
//   kacq-gx list [--port P]
//   kacq-gx grab DEVICE [--frames N]
// DEVICE is a first text of `list` ("127.0.0.3:serial") or "127.0.0.3@port".
// Exit codes: 0 success, 1 a transport call failed, 2 usage error.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "contracts/GTrans.h"
#include "gtrans/GTransStats.h"

namespace {

const char kUsage[] = "usage: kacq-gx list [--port P]\n"
                      "       kacq-gx grab DEVICE [--port P] [--frames N]\n"
                      "The discovery list comes from GTRANS_DISCOVERY (default 127.0.0.1-64).\n";

int Usage(const char* problem) {
    fprintf(stderr, "kacq-gx: %s\n%s", problem, kUsage);
    return 2;
}

std::string Text(GxStatus status) {
    uint32_t needed = 0;
    GxGetStatusMessage(status, nullptr, 0, &needed);
    std::string text(needed, '\0');
    if (needed == 0 || GxGetStatusMessage(status, &text[0], needed, &needed) != GX_OK)
        return "<no text>";
    text.resize(needed - 1);
    return text;
}

int Failed(const char* call, GxStatus status) {
    fprintf(stderr, "kacq-gx: %s: %s (0x%08X)\n", call, Text(status).c_str(), unsigned(status));
    return 1;
}

int32_t Print(const char* first, const char* second, void* context) {
    printf("%s\t%s\n", first, second);
    ++*static_cast<int*>(context);
    return 0;
}

int List(const std::string& port) {
    int count = 0;
    const GxStatus status = GxEnumServer(port.c_str(), 1000, Print, &count);
    if (status != GX_OK)
        return Failed("GxEnumServer", status);
    printf("%d camera%s\n", count, count == 1 ? "" : "s");
    return 0;
}

int Grab(const std::string& name, uint32_t frames) {
    GxHandle device = 0, grabber = 0;
    GxStatus status = GxOpen(name.c_str(), 2, &device);
    if (status != GX_OK)
        return Failed("GxOpen", status);
    // Format_7 mode 0: TOTAL_BYTES (low quadlet) and IMAGE_SIZE.
    const uint32_t addresses[2] = {0xF0F0803Cu, 0xF0F0800Cu};
    uint32_t values[2] = {0, 0};
    int rc = 0;
    if ((status = GxReadReg(device, addresses, values, 2)) != GX_OK) {
        rc = Failed("GxReadReg", status);
    } else {
        uint32_t size = values[0];
        const uint32_t pixels = (values[1] >> 16) * (values[1] & 0xFFFF);
        std::vector<std::vector<uint8_t>> buffers;
        GxStreamAddress address{};
        if ((status = GxStreamGrabberCreate(&grabber)) != GX_OK ||
            (status = GxStreamGrabberAllocResourcesEx(grabber, 50, &size, 1, 1500,
                                                      size > pixels)) != GX_OK ||
            (status = GxStreamGrabberGetAddress(grabber, &address)) != GX_OK ||
            (status = GxOpenStream(device, 0, &address, 1500)) != GX_OK)
            rc = Failed("opening the stream", status);
        for (uint32_t done = 0; rc == 0 && done < frames;) {
            const uint32_t batch = frames - done < 50 ? frames - done : 50;
            buffers.assign(batch, std::vector<uint8_t>(size));
            for (uint32_t i = 0; i < batch && rc == 0; ++i)
                if ((status = GxStreamGrabberReceiveAsync(grabber, buffers[i].data(), size, nullptr,
                                                          0)) != GX_OK)
                    rc = Failed("GxStreamGrabberReceiveAsync", status);
            const uint32_t shot = 0xF0F0061Cu, count = 0x40000000u | batch;
            if (rc == 0 && (status = GxWriteReg(device, &shot, &count, 1)) != GX_OK)
                rc = Failed("GxWriteReg", status);
            for (uint32_t i = 0; rc == 0 && i < batch; ++i) {
                void* context = nullptr;
                status = GxStreamGrabberWaitForBuffer(grabber, 2000, &context);
                printf("frame %u: %s\n", done + i + 1, Text(status).c_str());
            }
            done += batch;
        }
        if (grabber) {
            GxGrabberStatistics stats{};
            GxStreamGrabberGetStatistics(grabber, &stats);
            printf("%u frames: %llu complete, %llu incomplete; packets received %llu, resent "
                   "%llu, dropped %llu\n",
                   frames, (unsigned long long)stats.framesCompleted,
                   (unsigned long long)stats.framesIncomplete,
                   (unsigned long long)stats.packetsReceived,
                   (unsigned long long)stats.packetsResent,
                   (unsigned long long)stats.packetsDropped);
            GxStreamGrabberFlush(grabber);
            GxStreamGrabberDestroy(grabber);
            GxCloseStream(device, 0);
        }
    }
    status = GxClose(device);
    return rc ? rc : status != GX_OK ? Failed("GxClose", status) : 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return Usage("no command");
    const std::string command = argv[1];
    if (command == "--help" || command == "-h") {
        fputs(kUsage, stdout);
        return 0;
    }
    std::string device, port = "61696";
    uint32_t frames = 10;
    int i = 2;
    if (command == "grab") {
        if (argc < 3)
            return Usage("grab needs a device");
        device = argv[i++];
    } else if (command != "list") {
        return Usage("unknown command");
    }
    for (; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc)
            return Usage("option without a value");
        if (arg == "--port") {
            port = argv[++i];
        } else if (arg == "--frames" && command == "grab") {
            char* end = nullptr;
            const unsigned long n = strtoul(argv[++i], &end, 10);
            if (*end != '\0' || n == 0 || n > 100000)
                return Usage("--frames needs 1..100000");
            frames = uint32_t(n);
        } else {
            return Usage("unknown option");
        }
    }
    GxInit();
    int rc = 0;
    if (command == "list") {
        rc = List(port);
    } else {
        // The port is known to the library only after a discovery.
        if (device.find('@') == std::string::npos) {
            int ignored = 0;
            GxEnumServer(
                port.c_str(), 1000,
                [](const char*, const char*, void* c) -> int32_t {
                    ++*static_cast<int*>(c);
                    return 0;
                },
                &ignored);
        }
        rc = Grab(device, frames);
    }
    GxExit();
    return rc;
}
