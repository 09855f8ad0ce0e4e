// The module's grab path against the in-process emulator over loopback UDP:
// a copy-mode grab of a frame that has already arrived against one memcpy of
// the frame, the same grab in volatile mode, and the sustained one-shot grab
// rate at 640x480 Mono8 with the camera sending as fast as it can.
#include <stdlib.h>
#include <string.h>

#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "acquisition/IOeXcite.h"
#include "acquisition/InstanceTable.h"
#include "acquisition/Operations.h"
#include "contracts/Korlan.h"
#include "device/GxCam.h"
#include "emulator/net/NetServer.h"
#include "platform/korlan/KorlanApp.h"

namespace {

constexpr int32_t kWidth = 640;
constexpr int32_t kHeight = 480;
constexpr size_t kFrameBytes = size_t(kWidth) * kHeight;

// One vga-mono camera at 127.0.73.1, port 61696 (the module's only port),
// opened as the module's instance in slot 0.
struct Rig {
    std::unique_ptr<Emulator::NetServer> server;
    std::unique_ptr<InterfaceClass> ic{new InterfaceClass()};
    HostInstance instance{};
    int procCell = 0;
    KProcHandle proc = &procCell;
    bool open = false;

    explicit Rig(bool maxRate) {
        XCamera::IsGxCamClassRegistered();
        setenv("GTRANS_DISCOVERY", "127.0.73.1", 1);
        Emulator::NetOptions options;
        options.firstAddress = 0x7F004901;
        options.port = 61696;
        options.maxRate = maxRate;
        server = std::make_unique<Emulator::NetServer>(options);
        if (server->Start() == 0)
            return;
        FGInit(proc, ic.get());
        instance.params = ic->defaults;
        HostInstance** cell = IOeXcite::ReserveSlot(proc, &instance);
        if (cell == nullptr)
            return;
        *cell = &instance;
        open = IOeXcite::OpenInstance(proc, &instance) == K_OK;
    }
    ~Rig() {
        if (open)
            IOeXcite::CloseInstance(proc, &instance);
        server->Stop();
    }
    KErr SetText(const char* name, const char* text) {
        HostValue value{};
        value.value.s = text;
        value.type = HOST_VALUE_TEXT;
        return IOeXcite::SetParameter(proc, &instance, name, &value, 1);
    }
};

void BM_MemcpyFrame(benchmark::State& state) {
    std::vector<uint8_t> from(kFrameBytes, 0x5A), to(kFrameBytes);
    for (auto _ : state) {
        memcpy(to.data(), from.data(), kFrameBytes);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kFrameBytes));
}
BENCHMARK(BM_MemcpyFrame);

// The host's share of a copy-mode grab: a new image object of the frame's
// size (host global 64 at 0, as the grab holds it) and one memcpy into it.
void BM_HostImageAndMemcpy(benchmark::State& state) {
    std::vector<uint8_t> from(kFrameBytes, 0x5A);
    int procCell = 0;
    HostImage image{};
    KAccessGlVar(&procCell, K_GLOBAL_64, K_GLOBAL_WRITE, nullptr, 0.0, 0, 0, 0);
    for (auto _ : state) {
        KNewImage(&procCell, &image, K_PIXEL_BYTE, kWidth, kHeight);
        memcpy(image.data, from.data(), kFrameBytes);
        benchmark::DoNotOptimize(image.data);
        benchmark::ClobberMemory();
    }
    KAccessGlVar(&procCell, K_GLOBAL_64, K_GLOBAL_WRITE, nullptr, 1.0, 0, 0, 0);
    KClearImage(&image);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kFrameBytes));
}
BENCHMARK(BM_HostImageAndMemcpy);

// Starts an acquisition, waits (untimed) until its frame has arrived, then
// times the grab that delivers it: the check of the one-shot bit (one
// register read), the collection of the buffer and the image delivery.
void GrabReceived(benchmark::State& state, bool volatileMode) {
    Rig rig(false);
    if (!rig.open) {
        state.SkipWithError("the emulated camera did not open");
        return;
    }
    rig.SetText("start_async_after_grab_async", "disable");
    if (volatileMode)
        rig.SetText("volatile", "enable");
    HostImage image{};
    int32_t count = 0;
    int64_t failed = 0;
    for (auto _ : state) {
        state.PauseTiming();
        IOeXcite::StartAsyncGrab(rig.proc, &rig.instance, 1e6);
        std::this_thread::sleep_for(std::chrono::milliseconds(15));
        state.ResumeTiming();
        if (IOeXcite::GrabImageAsync(rig.proc, &rig.instance, 1e6, &image, &count) != K_OK)
            ++failed;
        benchmark::DoNotOptimize(image.data);
    }
    KClearImage(&image);
    state.counters["failed"] = double(failed);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kFrameBytes));
}

// What pausing and resuming the clock around the untimed part costs per
// iteration: to be taken off the two grabs above.
void BM_PauseResumeOnly(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_PauseResumeOnly)->Iterations(200)->UseRealTime();

void BM_CopyGrabOfReceivedFrame(benchmark::State& state) {
    GrabReceived(state, false);
}
BENCHMARK(BM_CopyGrabOfReceivedFrame)->Iterations(200)->UseRealTime();

void BM_VolatileGrabOfReceivedFrame(benchmark::State& state) {
    GrabReceived(state, true);
}
BENCHMARK(BM_VolatileGrabOfReceivedFrame)->Iterations(200)->UseRealTime();

// One-shot grabs back to back with the camera at its maximum rate: frames
// per second and the share of grabs that failed (time-out or incomplete).
void BM_SustainedGrabRate(benchmark::State& state) {
    Rig rig(true);
    if (!rig.open) {
        state.SkipWithError("the emulated camera did not open");
        return;
    }
    HostImage image{};
    int32_t count = 0;
    int64_t grabs = 0, lost = 0;
    for (auto _ : state) {
        ++grabs;
        if (IOeXcite::GrabImage(rig.proc, &rig.instance, &image, &count) != K_OK)
            ++lost;
    }
    KClearImage(&image);
    state.counters["fps"] = benchmark::Counter(double(grabs - lost), benchmark::Counter::kIsRate);
    state.counters["lost_share"] = grabs > 0 ? double(lost) / double(grabs) : 0.0;
    state.SetBytesProcessed(int64_t(grabs - lost) * int64_t(kFrameBytes));
}
BENCHMARK(BM_SustainedGrabRate)->MinTime(2.0)->UseRealTime();

} // namespace
