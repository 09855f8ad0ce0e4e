// The transport library against plain UDP on loopback, with the in-process
// emulator as the camera: one register read round trip, stream throughput
// and receiver CPU per MB with full assembly against the same datagrams
// received raw, and enumeration of 64 cameras against a plain probe.
#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "contracts/GTrans.h"
#include "emulator/net/NetServer.h"
#include "gtrans/GTransStats.h"
#include "gtrans/Wire.h"

namespace {

constexpr uint32_t kCamera = 0x7F004601;      // 127.0.70.1
constexpr uint32_t kManyCameras = 0x7F004701; // 127.0.71.1 .. 127.0.71.64
constexpr uint32_t kBrightness = 0xF0F00800u;
constexpr uint32_t kOneShot = 0xF0F0061Cu;
constexpr uint32_t kFramesPerIteration = 20;

std::string Dotted(uint32_t a) {
    return std::to_string(a >> 24) + "." + std::to_string(a >> 16 & 255) + "." +
           std::to_string(a >> 8 & 255) + "." + std::to_string(a & 255);
}

std::unique_ptr<Emulator::NetServer> Serve(uint32_t first, unsigned cameras, bool maxRate,
                                           const char* model = "vga-mono") {
    Emulator::NetOptions options;
    options.cameras = cameras;
    options.firstAddress = first;
    options.port = 0;
    options.maxRate = maxRate;
    options.model = model;
    options.resendRing = 64;
    std::unique_ptr<Emulator::NetServer> server(new Emulator::NetServer(options));
    server->Start();
    return server;
}

int Connected(uint32_t address, uint16_t port) {
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(port);
    peer.sin_addr.s_addr = htonl(address);
    connect(fd, reinterpret_cast<sockaddr*>(&peer), sizeof peer);
    return fd;
}

// One READREG through the library.
void BM_RegisterRead_GxReadReg(benchmark::State& state) {
    auto server = Serve(kCamera, 1, false);
    GxInit();
    GxHandle device = 0;
    const std::string name = Dotted(kCamera) + "@" + std::to_string(server->Port());
    if (GxOpen(name.c_str(), 2, &device) != GX_OK) {
        state.SkipWithError("open failed");
        return;
    }
    uint32_t value = 0;
    for (auto _ : state) {
        if (GxReadReg(device, &kBrightness, &value, 1) != GX_OK)
            state.SkipWithError("read failed");
    }
    GxClose(device);
    GxExit();
}
BENCHMARK(BM_RegisterRead_GxReadReg)->UseRealTime();

// Baseline: the same READREG as a plain request and answer on one socket.
void BM_RegisterRead_PlainUdp(benchmark::State& state) {
    auto server = Serve(kCamera, 1, false);
    const int fd = Connected(kCamera, server->Port());
    uint8_t out[64], in[600];
    uint16_t reqId = 0;
    for (auto _ : state) {
        if (++reqId == 0)
            reqId = 1;
        const size_t size = gvwire::EncodeReadRegCmd(out, sizeof out, reqId, &kBrightness, 1);
        send(fd, out, size, 0);
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 1000) <= 0 || recv(fd, in, sizeof in, 0) <= 0)
            state.SkipWithError("no answer");
    }
    close(fd);
}
BENCHMARK(BM_RegisterRead_PlainUdp)->UseRealTime();

// CPU seconds of this process's thread named `name` (0 if absent).
double ThreadCpu(const char* name) {
    DIR* dir = opendir("/proc/self/task");
    double seconds = 0;
    const long tick = sysconf(_SC_CLK_TCK);
    while (dirent* entry = dir ? readdir(dir) : nullptr) {
        const std::string base = std::string("/proc/self/task/") + entry->d_name;
        std::ifstream comm(base + "/comm");
        std::string found;
        std::getline(comm, found);
        if (found != name)
            continue;
        std::ifstream stat(base + "/stat");
        std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        const size_t close = text.rfind(')');
        std::vector<std::string> fields;
        std::string field;
        for (size_t i = close + 2; i <= text.size(); ++i) {
            if (i == text.size() || text[i] == ' ') {
                fields.push_back(field);
                field.clear();
            } else {
                field += text[i];
            }
        }
        if (fields.size() > 12)
            seconds += double(atoll(fields[11].c_str()) + atoll(fields[12].c_str())) / tick;
    }
    if (dir)
        closedir(dir);
    return seconds;
}

double OwnCpu() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

// Full frames (640x480 Mono16, 1500-byte packets) at the camera's full rate,
// assembled, resent where needed and checked complete.
void BM_Stream_Grabber(benchmark::State& state) {
    auto server = Serve(kCamera, 1, true);
    GxInit();
    GxHandle device = 0, grabber = 0;
    const std::string name = Dotted(kCamera) + "@" + std::to_string(server->Port());
    const uint32_t coding = 0xF0F08010u, mono16 = 5u << 24;
    GxOpen(name.c_str(), 2, &device);
    GxWriteReg(device, &coding, &mono16, 1);
    uint32_t size = 640 * 480 * 2;
    GxStreamGrabberCreate(&grabber);
    GxStreamGrabberAllocResourcesEx(grabber, 50, &size, 1, 1500, 1);
    GxStreamAddress address{};
    GxStreamGrabberGetAddress(grabber, &address);
    GxOpenStream(device, 0, &address, 1500);
    std::vector<std::vector<uint8_t>> buffers(kFramesPerIteration, std::vector<uint8_t>(size));
    const double cpuBefore = ThreadCpu("gtrans-receive");
    uint64_t incomplete = 0;
    for (auto _ : state) {
        for (auto& buffer : buffers)
            GxStreamGrabberReceiveAsync(grabber, buffer.data(), size, nullptr, 0);
        const uint32_t shots = 0x40000000u | kFramesPerIteration;
        GxWriteReg(device, &kOneShot, &shots, 1);
        void* context = nullptr;
        for (uint32_t i = 0; i < kFramesPerIteration; ++i) {
            const GxStatus status = GxStreamGrabberWaitForBuffer(grabber, 5000, &context);
            if (status != GX_OK)
                ++incomplete;
        }
    }
    const double cpu = ThreadCpu("gtrans-receive") - cpuBefore;
    GxGrabberStatistics stats{};
    GxStreamGrabberGetStatistics(grabber, &stats);
    const double megabytes = double(stats.bytesCompleted) / 1e6;
    state.SetBytesProcessed(int64_t(stats.bytesCompleted));
    state.counters["incomplete"] = double(incomplete);
    state.counters["resent"] = double(stats.packetsResent);
    state.counters["cpu_ms_per_MB"] = megabytes > 0 ? cpu * 1000 / megabytes : 0;
    GxStreamGrabberFlush(grabber);
    GxStreamGrabberDestroy(grabber);
    GxCloseStream(device, 0);
    GxClose(device);
    GxExit();
}
BENCHMARK(BM_Stream_Grabber)->UseRealTime()->Unit(benchmark::kMillisecond);

// Baseline: the same stream into a plain socket, datagrams counted, no
// assembly (a lost packet is simply missing).
void BM_Stream_RawReceive(benchmark::State& state) {
    auto server = Serve(kCamera, 1, true);
    GxInit();
    GxHandle device = 0;
    const std::string name = Dotted(kCamera) + "@" + std::to_string(server->Port());
    const uint32_t coding = 0xF0F08010u, mono16 = 5u << 24;
    GxOpen(name.c_str(), 2, &device);
    GxWriteReg(device, &coding, &mono16, 1);
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    int bufferSize = 32 << 20;
    if (setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &bufferSize, sizeof bufferSize) != 0)
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bufferSize, sizeof bufferSize);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof local;
    bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local);
    getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length);
    GxStreamAddress address{};
    memcpy(address.bytes, &local, sizeof local);
    GxOpenStream(device, 0, &address, 1500);
    constexpr int kBatch = 64;
    std::vector<uint8_t> storage(1600 * kBatch);
    std::vector<mmsghdr> messages(kBatch);
    std::vector<iovec> vectors(kBatch);
    uint64_t bytes = 0;
    const double cpuBefore = OwnCpu();
    for (auto _ : state) {
        const uint32_t shots = 0x40000000u | kFramesPerIteration;
        GxWriteReg(device, &kOneShot, &shots, 1);
        uint32_t trailers = 0;
        while (trailers < kFramesPerIteration) {
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, 200) <= 0)
                break; // a lost trailer: the burst is over anyway
            for (int i = 0; i < kBatch; ++i) {
                vectors[i] = iovec{storage.data() + 1600 * size_t(i), 1600};
                messages[i].msg_hdr = msghdr{};
                messages[i].msg_hdr.msg_iov = &vectors[i];
                messages[i].msg_hdr.msg_iovlen = 1;
            }
            const int count = recvmmsg(fd, messages.data(), kBatch, MSG_DONTWAIT, nullptr);
            for (int i = 0; i < count; ++i) {
                const uint8_t* packet = storage.data() + 1600 * size_t(i);
                if (messages[i].msg_len >= 8 && (packet[4] & 0x7F) == gvwire::kFormatTrailer)
                    ++trailers;
                else if (messages[i].msg_len > 8 && (packet[4] & 0x7F) == gvwire::kFormatPayload)
                    bytes += messages[i].msg_len - 8;
            }
        }
    }
    const double cpu = OwnCpu() - cpuBefore;
    state.SetBytesProcessed(int64_t(bytes));
    state.counters["cpu_ms_per_MB"] = bytes ? cpu * 1000 / (double(bytes) / 1e6) : 0;
    close(fd);
    GxCloseStream(device, 0);
    GxClose(device);
    GxExit();
}
BENCHMARK(BM_Stream_RawReceive)->UseRealTime()->Unit(benchmark::kMillisecond);

int32_t Count(const char*, const char*, void* context) {
    ++*static_cast<int*>(context);
    return 0;
}

// 64 cameras on 127.0.71.1-64, found through GxEnumServer.
void BM_Enumerate64_GxEnumServer(benchmark::State& state) {
    auto server = Serve(kManyCameras, 64, false);
    const std::string list = Dotted(kManyCameras) + "-" + Dotted(kManyCameras + 63);
    setenv("GTRANS_DISCOVERY", list.c_str(), 1);
    const std::string port = std::to_string(server->Port());
    GxInit();
    int found = 0;
    for (auto _ : state) {
        found = 0;
        GxEnumServer(port.c_str(), 1000, Count, &found);
    }
    state.counters["cameras"] = found;
    GxExit();
    unsetenv("GTRANS_DISCOVERY");
}
BENCHMARK(BM_Enumerate64_GxEnumServer)->UseRealTime()->Unit(benchmark::kMillisecond);

// Baseline: one DISCOVERY per camera on plain sockets, all answers awaited.
void BM_Enumerate64_PlainUdp(benchmark::State& state) {
    auto server = Serve(kManyCameras, 64, false);
    std::vector<int> fds;
    for (uint32_t i = 0; i < 64; ++i)
        fds.push_back(Connected(kManyCameras + i, server->Port()));
    uint8_t out[16], in[600];
    int found = 0;
    for (auto _ : state) {
        const size_t size = gvwire::EncodeDiscoveryCmd(out, sizeof out, 1);
        for (int fd : fds)
            send(fd, out, size, 0);
        found = 0;
        for (int fd : fds) {
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, 1000) > 0 && recv(fd, in, sizeof in, 0) > 0)
                ++found;
        }
    }
    state.counters["cameras"] = found;
    for (int fd : fds)
        close(fd);
}
BENCHMARK(BM_Enumerate64_PlainUdp)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace
