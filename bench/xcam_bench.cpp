// The camera feature tree on the emulated camera: building all 466 nodes,
// reading the 89 typed features warm and cold, and one warm Width read. Port
// reads per iteration are reported as counters.
#include <benchmark/benchmark.h>

#include <memory>

#include "ReadTyped.h"
#include "emulator/Model.h"
#include "nodeapi/Interfaces.h"
#include "support/emulated/EmulatorPort.h"
#include "xcam/XCamInterface.h"

using namespace NodeApi;
using XCamInterface::CTypedEnumeration;
using XCamInterface::CXCamInterface;

using KacqBench::ReadAllTyped;

namespace {

const Emulator::ModelSpec& Bayer() {
    return *Emulator::FindModel("2mp-bayer");
}

struct OpenCamera {
    OpenCamera() : camera(Bayer()), xcam(&camera.cameraPort, &camera.grabberPort) { camera.Open(); }
    Emulator::EmulatedCamera camera;
    CXCamInterface xcam;
};

void BM_XCamBuildTree(benchmark::State& state) {
    Emulator::EmulatedCamera camera(Bayer()); // closed, as when the camera object is made
    for (auto _ : state) {
        CXCamInterface xcam(&camera.cameraPort, &camera.grabberPort);
        benchmark::DoNotOptimize(&xcam);
    }
}
BENCHMARK(BM_XCamBuildTree)->Unit(benchmark::kMicrosecond);

// Step 6 alone (the dependency walk from Root), run again on a built tree: the
// share of the build that the walk takes.
void BM_XCamDependencyWalk(benchmark::State& state) {
    Emulator::EmulatedCamera camera(Bayer());
    CXCamInterface xcam(&camera.cameraPort, &camera.grabberPort);
    for (auto _ : state)
        benchmark::DoNotOptimize(xcam.GetNodeMap().CollectDependantsFromRoot());
}
BENCHMARK(BM_XCamDependencyWalk)->Unit(benchmark::kMicrosecond);

void BM_XCamReadTypedWarm(benchmark::State& state) {
    OpenCamera rig;
    ReadAllTyped(rig.xcam);
    rig.camera.cameraPort.ResetCounts();
    int read = 0;
    for (auto _ : state)
        read = ReadAllTyped(rig.xcam);
    state.counters["features_read"] = read;
    state.counters["port_reads"] = benchmark::Counter(
        static_cast<double>(rig.camera.cameraPort.ReadCount()), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_XCamReadTypedWarm)->Unit(benchmark::kMicrosecond);

void BM_XCamReadTypedCold(benchmark::State& state) {
    uint64_t reads = 0;
    int read = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto rig = std::make_unique<OpenCamera>();
        state.ResumeTiming();
        read = ReadAllTyped(rig->xcam);
        state.PauseTiming();
        reads += rig->camera.cameraPort.ReadCount();
        rig.reset();
        state.ResumeTiming();
    }
    state.counters["features_read"] = read;
    state.counters["port_reads"] =
        benchmark::Counter(static_cast<double>(reads), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_XCamReadTypedCold)->Unit(benchmark::kMicrosecond);

void BM_XCamWidthWarm(benchmark::State& state) {
    OpenCamera rig;
    IInteger* width = rig.xcam.Width;
    benchmark::DoNotOptimize(width->GetValue());
    rig.camera.cameraPort.ResetCounts();
    for (auto _ : state)
        benchmark::DoNotOptimize(width->GetValue());
    state.counters["port_reads"] = benchmark::Counter(
        static_cast<double>(rig.camera.cameraPort.ReadCount()), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_XCamWidthWarm);

} // namespace
