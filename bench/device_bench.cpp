// A network camera through the device layer and the transport library, on
// loopback against the in-process networked emulator: opening a camera
// (CreateDevice to Open done) and reading every typed feature, warm and cold.
// Round trips are the GVCP commands the camera received per iteration.
// Baseline in the same run: BM_XCamBuildTree (the bare tree, no network).
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <memory>
#include <string>

#include "ReadTyped.h"
#include "device/DeviceManager.h"
#include "device/GxCam.h"
#include "emulator/net/NetServer.h"

using KacqBench::ReadAllTyped;
using XCamera::CGxCamera;
using XCamera::DeviceManager;

namespace {

// One emulated camera at 127.0.50.2 on an ephemeral port, enumerated once.
class NetworkRig {
public:
    NetworkRig() {
        Emulator::NetOptions options;
        options.model = "2mp-bayer";
        options.firstAddress = 0x7F003202;
        options.port = 0;
        m_Server = std::make_unique<Emulator::NetServer>(options);
        const uint16_t port = m_Server->Start();
        setenv("GTRANS_DISCOVERY", "127.0.50.2", 1);
        XCamera::PropertySet properties;
        properties.Set("PortNumber", std::to_string(port));
        if (port != 0 && XCamera::IsGxCamClassRegistered()) {
            const auto devices = DeviceManager::Instance().EnumerateDevices("GxCam", &properties);
            if (!devices.empty())
                m_Info = devices.front();
        }
    }
    ~NetworkRig() { m_Server->Stop(); }

    bool Ready() const { return !m_Info.Name.empty(); }
    uint64_t Commands() const { return m_Server->Counters(0).commands; }

    CGxCamera* Open() {
        auto* camera = dynamic_cast<CGxCamera*>(DeviceManager::Instance().CreateDevice(m_Info));
        camera->Open();
        return camera;
    }
    static void Destroy(CGxCamera* camera) { DeviceManager::Instance().DestroyDevice(camera); }

private:
    std::unique_ptr<Emulator::NetServer> m_Server;
    XCamera::DeviceInfo m_Info;
};

void RoundTrips(benchmark::State& state, uint64_t commands) {
    state.counters["round_trips"] =
        benchmark::Counter(static_cast<double>(commands), benchmark::Counter::kAvgIterations);
}

void BM_DeviceOpen(benchmark::State& state) {
    NetworkRig rig;
    if (!rig.Ready()) {
        state.SkipWithError("no emulated camera found");
        return;
    }
    uint64_t commands = 0;
    for (auto _ : state) {
        const uint64_t before = rig.Commands();
        CGxCamera* camera = rig.Open();
        state.PauseTiming();
        commands += rig.Commands() - before;
        NetworkRig::Destroy(camera);
        state.ResumeTiming();
    }
    RoundTrips(state, commands);
}
BENCHMARK(BM_DeviceOpen)->Unit(benchmark::kMicrosecond);

void BM_DeviceReadTypedWarm(benchmark::State& state) {
    NetworkRig rig;
    if (!rig.Ready()) {
        state.SkipWithError("no emulated camera found");
        return;
    }
    CGxCamera* camera = rig.Open();
    ReadAllTyped(*camera);
    const uint64_t before = rig.Commands();
    int read = 0;
    for (auto _ : state)
        read = ReadAllTyped(*camera);
    RoundTrips(state, rig.Commands() - before);
    state.counters["features_read"] = read;
    NetworkRig::Destroy(camera);
}
BENCHMARK(BM_DeviceReadTypedWarm)->Unit(benchmark::kMicrosecond);

void BM_DeviceReadTypedCold(benchmark::State& state) {
    NetworkRig rig;
    if (!rig.Ready()) {
        state.SkipWithError("no emulated camera found");
        return;
    }
    uint64_t commands = 0;
    int read = 0;
    for (auto _ : state) {
        state.PauseTiming();
        CGxCamera* camera = rig.Open();
        const uint64_t before = rig.Commands();
        state.ResumeTiming();
        read = ReadAllTyped(*camera);
        state.PauseTiming();
        commands += rig.Commands() - before;
        NetworkRig::Destroy(camera);
        state.ResumeTiming();
    }
    RoundTrips(state, commands);
    state.counters["features_read"] = read;
}
BENCHMARK(BM_DeviceReadTypedCold)->Unit(benchmark::kMicrosecond);

} // namespace
