// kacq view: opens one camera through the device layer and serves it.
#include "ViewCommand.h"

#include <pthread.h>
#include <signal.h>
#include <stdio.h>
#include <time.h>

#include <atomic>
#include <cstdlib>
#include <exception>
#include <stdexcept>
#include <thread>

#include "../Common.h"
#include "ViewCamera.h"
#include "ViewServer.h"
#include "gxdevice/Gx.h"

namespace KacqView {

const char* const kViewUsage =
    "kacq view [--device ADDRESS] [--port PORT] [--listen HOST:PORT] [--stopped]";

namespace {

using KacqTool::kExitFailed;
using KacqTool::kExitOk;

int UsageError(const std::string& message) {
    return KacqTool::UsageError(message, kViewUsage);
}

bool ParsePort(const std::string& text, int* port) {
    if (text.empty() || text.size() > 5 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    *port = atoi(text.c_str());
    return *port <= 65535;
}

} // namespace

int RunView(const std::vector<std::string>& args) {
    std::string device = "0";
    std::string port = XCamera::kDefaultPortNumber;
    std::string host = "127.0.0.1";
    int listenPort = 8080;
    bool startGrabbing = true;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size() && !args[i + 1].empty();
        if (a == "--stopped") {
            startGrabbing = false;
        } else if ((a == "--device" || a == "--port" || a == "--listen") && !hasValue) {
            return UsageError("missing value of " + a);
        } else if (a == "--device") {
            device = args[++i];
        } else if (a == "--port") {
            int p = 0;
            if (!ParsePort(args[++i], &p) || p == 0)
                return UsageError("the port is a number 1..65535");
            port = args[i];
        } else if (a == "--listen") {
            const std::string& v = args[++i];
            const size_t colon = v.rfind(':');
            if (colon == std::string::npos || colon == 0 ||
                !ParsePort(v.substr(colon + 1), &listenPort))
                return UsageError("--listen takes HOST:PORT (port 0: any free one)");
            host = v.substr(0, colon);
        } else {
            return UsageError("unexpected argument '" + a + "'");
        }
    }

    // SIGINT and SIGTERM are taken by a watcher thread, never by a handler
    // in the middle of a camera call: blocked here, before any thread starts.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    uint64_t frames = 0;
    int received = 0;
    try {
        ViewCamera camera(device, port);
        ViewServer server(camera.Camera(), camera.Name(), startGrabbing);
        std::string error;
        const int bound = server.Bind(host, listenPort, &error);
        if (bound == 0) {
            fprintf(stderr, "kacq: %s\n", error.c_str());
            return kExitFailed;
        }
        if (host.compare(0, 4, "127.") != 0 && host != "localhost")
            fprintf(stderr,
                    "kacq: warning: listening on %s: whoever reaches it can change the "
                    "camera's settings\n",
                    host.c_str());
        printf("kacq: view of %s at http://%s:%d/ (Ctrl-C stops)\n", camera.Name().c_str(),
               host.c_str(), bound);
        fflush(stdout);
        std::atomic<bool> served{false};
        std::thread watcher([&] {
            const timespec tick{0, 100 * 1000 * 1000};
            while (!served) {
                const int s = sigtimedwait(&signals, nullptr, &tick);
                if (s == SIGINT || s == SIGTERM) {
                    received = s;
                    server.Stop();
                    return;
                }
            }
        });
        server.Serve();
        served = true;
        watcher.join();
        server.Stop();
        frames = server.Counters().frames;
    } catch (const std::exception& e) {
        fprintf(stderr, "kacq: %s\n", e.what());
        return kExitFailed;
    }
    // The server and the camera are gone: the stream was finished, the
    // device closed and destroyed.
    printf("kacq: view stopped%s after %llu frames; camera closed\n",
           received != 0 ? " by a signal" : "", static_cast<unsigned long long>(frames));
    return kExitOk;
}

} // namespace KacqView
